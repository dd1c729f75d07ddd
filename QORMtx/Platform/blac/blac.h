// blac: the dense and sparse kernel routines, in the reference BLAS/LAPACK calling convention:
// every argument by address, arrays column-major with explicit leading dimensions, status in info.
// Backed by OpenBLAS and LAPACKE; the routines OpenBLAS lacks are written in this layer.
#pragma once
#include <cstddef>

#ifndef QORMTX_BUILDING_LIBRARY
#ifndef QORMTX_INTERNAL_ACCESS
#error "blac.h is internal to the matrix core"
#endif
#endif

extern "C" {

// ---- BLAS 1 ----
void blac_daxpy(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy);
void blac_daxpby(const int* n, const double* alpha, const double* x, const int* incx, const double* beta, double* y,
                 const int* incy);
void blac_dcopy(const int* n, const double* x, const int* incx, double* y, const int* incy);
double blac_ddot(const int* n, const double* x, const int* incx, const double* y, const int* incy);
void blac_dscal(const int* n, const double* alpha, double* x, const int* incx);
void blac_dswap(const int* n, double* x, const int* incx, double* y, const int* incy);
// Complex arrays and scalars are interleaved (re, im) pairs of doubles.
void blac_zaxpy(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy);
void blac_zcopy(const int* n, const double* x, const int* incx, double* y, const int* incy);
/// Writes conj(x)·y to result (two doubles).
void blac_zdotc(double* result, const int* n, const double* x, const int* incx, const double* y, const int* incy);
void blac_zdscal(const int* n, const double* alpha, double* x, const int* incx);
void blac_zscal(const int* n, const double* alpha, double* x, const int* incx);

// ---- BLAS 2 and 3 ----
void blac_dgemv(const char* trans, const int* m, const int* n, const double* alpha, const double* a, const int* lda,
                const double* x, const int* incx, const double* beta, double* y, const int* incy);
void blac_dgemm(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                const double* beta, double* c, const int* ldc);
void blac_dtrsm(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
                const double* alpha, const double* a, const int* lda, double* b, const int* ldb);
void blac_zgemm(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                const double* beta, double* c, const int* ldc);
void blac_zgemm3m(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                  const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                  const double* beta, double* c, const int* ldc);
void blac_zgeru(const int* m, const int* n, const double* alpha, const double* x, const int* incx, const double* y,
                const int* incy, double* a, const int* lda);

// ---- LAPACK solves ----
void blac_dgetrf(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void blac_dgetrs(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
                 double* b, const int* ldb, int* info);
void blac_dgesv(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b, const int* ldb,
                int* info);
void blac_zgesv(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b, const int* ldb,
                int* info);
void blac_dsytrf(const char* uplo, const int* n, double* a, const int* lda, int* ipiv, double* work,
                 const int* lwork, int* info);
void blac_dsytrs(const char* uplo, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
                 double* b, const int* ldb, int* info);
void blac_dsysv(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b,
                const int* ldb, double* work, const int* lwork, int* info);
void blac_zsysv(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b,
                const int* ldb, double* work, const int* lwork, int* info);
void blac_ztrtrs(const char* uplo, const char* trans, const char* diag, const int* n, const int* nrhs,
                 const double* a, const int* lda, double* b, const int* ldb, int* info);
void blac_dpotrf(const char* uplo, const int* n, double* a, const int* lda, int* info);

// ---- LAPACK eigen ----
void blac_dsygst(const int* itype, const char* uplo, const int* n, double* a, const int* lda, const double* b,
                 const int* ldb, int* info);
void blac_dsytrd(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e, double* tau,
                 double* work, const int* lwork, int* info);
void blac_dormtr(const char* side, const char* uplo, const char* trans, const int* m, const int* n, const double* a,
                 const int* lda, const double* tau, double* c, const int* ldc, double* work, const int* lwork,
                 int* info);
void blac_dstevr(const char* jobz, const char* range, const int* n, double* d, double* e, const double* vl,
                 const double* vu, const int* il, const int* iu, const double* abstol, int* m, double* w, double* z,
                 const int* ldz, int* isuppz, double* work, const int* lwork, int* iwork, const int* liwork,
                 int* info);
void blac_dsyev(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
                const int* lwork, int* info);
void blac_dsygv(const int* itype, const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                double* b, const int* ldb, double* w, double* work, const int* lwork, int* info);
void blac_dgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
                double* vl, const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, int* info);
/// rwork holds 2·n doubles.
void blac_zgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* w, double* vl,
                const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, double* rwork,
                int* info);
void blac_dgehrd(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, double* tau, double* work,
                 const int* lwork, int* info);
void blac_zgehrd(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, double* tau, double* work,
                 const int* lwork, int* info);
void blac_dormhr(const char* side, const char* trans, const int* m, const int* n, const int* ilo, const int* ihi,
                 const double* a, const int* lda, const double* tau, double* c, const int* ldc, double* work,
                 const int* lwork, int* info);
void blac_zunmhr(const char* side, const char* trans, const int* m, const int* n, const int* ilo, const int* ihi,
                 const double* a, const int* lda, const double* tau, double* c, const int* ldc, double* work,
                 const int* lwork, int* info);

// ---- LAPACK auxiliary ----
void blac_dlacpy(const char* uplo, const int* m, const int* n, const double* a, const int* lda, double* b,
                 const int* ldb);
void blac_zlacpy(const char* uplo, const int* m, const int* n, const double* a, const int* lda, double* b,
                 const int* ldb);
void blac_dlaset(const char* uplo, const int* m, const int* n, const double* alpha, const double* beta, double* a,
                 const int* lda);
void blac_zlaset(const char* uplo, const int* m, const int* n, const double* alpha, const double* beta, double* a,
                 const int* lda);
double blac_dlamch(const char* cmach);
int blac_ilaenv(const int* kind, const char* name, const char* opts, const int* n1, const int* n2,
                const int* n3, const int* n4);

// ---- Out-of-place copy and add (ordering 'C' or 'R'; trans 'N','T' and, complex, 'C','R') ----
/// B = alpha·op(A); A is rows × cols.
void blac_domatcopy(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                    const double* alpha, const double* a, const size_t* lda, double* b, const size_t* ldb);
/// As domatcopy with element strides stridea and strideb inside each column (ordering 'C').
void blac_domatcopy2(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                     const double* alpha, const double* a, const size_t* lda, const size_t* stridea, double* b,
                     const size_t* ldb, const size_t* strideb);
/// C = alpha·op(A) + beta·op(B); C is rows × cols. A zero alpha (beta) leaves A (B) unread; C may be A (or B)
/// when that operand is not transposed and has C's leading dimension.
void blac_domatadd(const char* ordering, const char* transa, const char* transb, const size_t* rows,
                   const size_t* cols, const double* alpha, const double* a, const size_t* lda, const double* beta,
                   const double* b, const size_t* ldb, double* c, const size_t* ldc);
void blac_zomatcopy(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                    const double* alpha, const double* a, const size_t* lda, double* b, const size_t* ldb);
void blac_zomatcopy2(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                     const double* alpha, const double* a, const size_t* lda, const size_t* stridea, double* b,
                     const size_t* ldb, const size_t* strideb);
void blac_zomatadd(const char* ordering, const char* transa, const char* transb, const size_t* rows,
                   const size_t* cols, const double* alpha, const double* a, const size_t* lda, const double* beta,
                   const double* b, const size_t* ldb, double* c, const size_t* ldc);

// ---- Sparse products (the library's compressed rows: 0-based, row starts unsigned, column indices int) ----
// x and y are column-major blocks of numVectors columns whose leading dimension is their row count; y is
// overwritten. values, colIdx: the stored entries; rowStarts: numRows + 1 offsets into them.
/// y = A·x; A is numRows × numCols, x numCols × numVectors, y numRows × numVectors.
void blac_sparse_umv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
                     const int* numRows, const int* numCols, const int* numVectors);
/// y = Aᵀ·x; A is numRows × numCols, x numRows × numVectors, y numCols × numVectors.
void blac_sparse_umtv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
                      const int* numRows, const int* numCols, const int* numVectors);
/// y = A(idx, :)ᵀ·x: row i of x (numIdx × numVectors) belongs to row idx[i] of A; y is numCols × numVectors.
void blac_sparse_sparse_umtv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx,
                             double* y, const int* numIdx, const int* numCols, const int* numVectors,
                             const unsigned* idx);

/// C = op(A)·B on one-based CSR arrays (a, ja, ia), (b, jb, ib), (c, jc, ic), with the contract of the published
/// mkl_dcsrmultcsr. trans 'N': A is m × n, B n × k, C m × k (ic has m + 1 entries); 'T' or 'C': A is m × n,
/// B m × k, C = Aᵀ·B is n × k (ic has n + 1 entries). request 1 fills ic only (ic[last] - 1 = entries of C);
/// request 2 then fills jc and c, sized from ic; request 0 does both in one pass within nzmax entries and stops
/// with info = I > 0 at the 1-based row I that does not fit. Columns come back ascending in every row whatever
/// sort says; the inputs need not be sorted and are never reordered. A bad trans or request gives info -1 or -2.
/// Request 1 stops with info = I > 0 at the 1-based row I where the int row starts would pass INT_MAX.
void blac_dcsrmultcsr(const char* trans, const int* request, const int* sort, const int* m, const int* n,
                      const int* k, const double* a, const int* ja, const int* ia, const double* b, const int* jb,
                      const int* ib, double* c, int* jc, int* ic, const int* nzmax, int* info);

// ---- Threads of the kernel library ----
/// Sets the number of threads the dense kernels use; 0 (or less) leaves the library's default.
void blac_set_num_threads(const int* numThreads);
/// The number of threads the dense kernels currently use.
int blac_get_num_threads();

// ---- LAPACKE C interface (matrixLayout 101 row-major, 102 column-major); results returned as LAPACKE does ----
double blac_lapacke_dlange(const int* matrixLayout, const char* norm, const int* m, const int* n, const double* a,
                           const int* lda);
int blac_lapacke_dgetrf(const int* matrixLayout, const int* m, const int* n, double* a, const int* lda, int* ipiv);
int blac_lapacke_dgecon(const int* matrixLayout, const char* norm, const int* n, const double* a, const int* lda,
                        const double* anorm, double* rcond);
/// superb holds min(m, n) - 1 doubles.
int blac_lapacke_dgesvd(const int* matrixLayout, const char* jobu, const char* jobvt, const int* m, const int* n,
                        double* a, const int* lda, double* s, double* u, const int* ldu, double* vt, const int* ldvt,
                        double* superb);

// ---- LAPACK eigen, further (blac_eigen_extra.cpp) ----
/// Selected eigenpairs of symmetric A by relatively robust representations: range 'A' all, 'V' the eigenvalues
/// in (vl, vu], 'I' the il-th to iu-th (1-based, ascending). A is destroyed; isuppz holds 2·max(1, m) ints.
void blac_dsyevr(const char* jobz, const char* range, const char* uplo, const int* n, double* a, const int* lda,
                 const double* vl, const double* vu, const int* il, const int* iu, const double* abstol, int* m,
                 double* w, double* z, const int* ldz, int* isuppz, double* work, const int* lwork, int* iwork,
                 const int* liwork, int* info);

}  // extern "C"
