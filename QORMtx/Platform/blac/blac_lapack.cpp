// blac LAPACK routines: direct calls of the Fortran LAPACK in OpenBLAS, so that info codes and workspace queries
// (lwork = -1) behave exactly as in the reference routines.
#include <complex>
#include <cstring>

// The Fortran COMPLEX*16 layout is that of std::complex<double>; declaring it so keeps lapack.h valid C++.
#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapack.h>

#include "blac.h"

// lapack.h passes the hidden Fortran length of every option character (LAPACK_FORTRAN_STRLEN_END), which is
// what gfortran-built routines read; ILAENV is absent from it, so it is declared here with its two lengths.
extern "C" lapack_int LAPACK_GLOBAL(ilaenv, ILAENV)(const lapack_int* kind, const char* name,
                                                    const char* opts, const lapack_int* n1, const lapack_int* n2,
                                                    const lapack_int* n3, const lapack_int* n4, size_t nameLength,
                                                    size_t optsLength);

namespace {

using Complex = std::complex<double>;

// Interleaved (re, im) doubles and std::complex<double> share their layout by the standard's guarantee.
inline Complex* Z(double* p) { return reinterpret_cast<Complex*>(p); }
inline const Complex* Z(const double* p) { return reinterpret_cast<const Complex*>(p); }

}  // namespace

extern "C" {

// ---- Solves ----

void blac_dgetrf(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info) {
  LAPACK_dgetrf(m, n, a, lda, ipiv, info);
}

void blac_dgetrs(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
                 double* b, const int* ldb, int* info) {
  LAPACK_dgetrs(trans, n, nrhs, a, lda, ipiv, b, ldb, info);
}

void blac_dgesv(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b, const int* ldb,
                int* info) {
  LAPACK_dgesv(n, nrhs, a, lda, ipiv, b, ldb, info);
}

void blac_zgesv(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b, const int* ldb,
                int* info) {
  LAPACK_zgesv(n, nrhs, Z(a), lda, ipiv, Z(b), ldb, info);
}

void blac_dsytrf(const char* uplo, const int* n, double* a, const int* lda, int* ipiv, double* work,
                 const int* lwork, int* info) {
  LAPACK_dsytrf(uplo, n, a, lda, ipiv, work, lwork, info);
}

void blac_dsytrs(const char* uplo, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
                 double* b, const int* ldb, int* info) {
  LAPACK_dsytrs(uplo, n, nrhs, a, lda, ipiv, b, ldb, info);
}

void blac_dsysv(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b,
                const int* ldb, double* work, const int* lwork, int* info) {
  LAPACK_dsysv(uplo, n, nrhs, a, lda, ipiv, b, ldb, work, lwork, info);
}

void blac_zsysv(const char* uplo, const int* n, const int* nrhs, double* a, const int* lda, int* ipiv, double* b,
                const int* ldb, double* work, const int* lwork, int* info) {
  LAPACK_zsysv(uplo, n, nrhs, Z(a), lda, ipiv, Z(b), ldb, Z(work), lwork, info);
}

void blac_ztrtrs(const char* uplo, const char* trans, const char* diag, const int* n, const int* nrhs,
                 const double* a, const int* lda, double* b, const int* ldb, int* info) {
  LAPACK_ztrtrs(uplo, trans, diag, n, nrhs, Z(a), lda, Z(b), ldb, info);
}

void blac_dpotrf(const char* uplo, const int* n, double* a, const int* lda, int* info) {
  LAPACK_dpotrf(uplo, n, a, lda, info);
}

// ---- Eigen ----

void blac_dsygst(const int* itype, const char* uplo, const int* n, double* a, const int* lda, const double* b,
                 const int* ldb, int* info) {
  LAPACK_dsygst(itype, uplo, n, a, lda, b, ldb, info);
}

void blac_dsytrd(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e, double* tau,
                 double* work, const int* lwork, int* info) {
  LAPACK_dsytrd(uplo, n, a, lda, d, e, tau, work, lwork, info);
}

void blac_dormtr(const char* side, const char* uplo, const char* trans, const int* m, const int* n, const double* a,
                 const int* lda, const double* tau, double* c, const int* ldc, double* work, const int* lwork,
                 int* info) {
  LAPACK_dormtr(side, uplo, trans, m, n, a, lda, tau, c, ldc, work, lwork, info);
}

void blac_dstevr(const char* jobz, const char* range, const int* n, double* d, double* e, const double* vl,
                 const double* vu, const int* il, const int* iu, const double* abstol, int* m, double* w, double* z,
                 const int* ldz, int* isuppz, double* work, const int* lwork, int* iwork, const int* liwork,
                 int* info) {
  LAPACK_dstevr(jobz, range, n, d, e, vl, vu, il, iu, abstol, m, w, z, ldz, isuppz, work, lwork, iwork, liwork, info);
}

void blac_dsyev(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
                const int* lwork, int* info) {
  LAPACK_dsyev(jobz, uplo, n, a, lda, w, work, lwork, info);
}

void blac_dsygv(const int* itype, const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                double* b, const int* ldb, double* w, double* work, const int* lwork, int* info) {
  LAPACK_dsygv(itype, jobz, uplo, n, a, lda, b, ldb, w, work, lwork, info);
}

void blac_dgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
                double* vl, const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, int* info) {
  LAPACK_dgeev(jobvl, jobvr, n, a, lda, wr, wi, vl, ldvl, vr, ldvr, work, lwork, info);
}

void blac_zgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* w, double* vl,
                const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, double* rwork,
                int* info) {
  LAPACK_zgeev(jobvl, jobvr, n, Z(a), lda, Z(w), Z(vl), ldvl, Z(vr), ldvr, Z(work), lwork, rwork, info);
}

void blac_dgehrd(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, double* tau, double* work,
                 const int* lwork, int* info) {
  LAPACK_dgehrd(n, ilo, ihi, a, lda, tau, work, lwork, info);
}

void blac_zgehrd(const int* n, const int* ilo, const int* ihi, double* a, const int* lda, double* tau, double* work,
                 const int* lwork, int* info) {
  LAPACK_zgehrd(n, ilo, ihi, Z(a), lda, Z(tau), Z(work), lwork, info);
}

void blac_dormhr(const char* side, const char* trans, const int* m, const int* n, const int* ilo, const int* ihi,
                 const double* a, const int* lda, const double* tau, double* c, const int* ldc, double* work,
                 const int* lwork, int* info) {
  LAPACK_dormhr(side, trans, m, n, ilo, ihi, a, lda, tau, c, ldc, work, lwork, info);
}

void blac_zunmhr(const char* side, const char* trans, const int* m, const int* n, const int* ilo, const int* ihi,
                 const double* a, const int* lda, const double* tau, double* c, const int* ldc, double* work,
                 const int* lwork, int* info) {
  LAPACK_zunmhr(side, trans, m, n, ilo, ihi, Z(a), lda, Z(tau), Z(c), ldc, Z(work), lwork, info);
}

// ---- Auxiliary ----

void blac_dlacpy(const char* uplo, const int* m, const int* n, const double* a, const int* lda, double* b,
                 const int* ldb) {
  LAPACK_dlacpy(uplo, m, n, a, lda, b, ldb);
}

void blac_zlacpy(const char* uplo, const int* m, const int* n, const double* a, const int* lda, double* b,
                 const int* ldb) {
  LAPACK_zlacpy(uplo, m, n, Z(a), lda, Z(b), ldb);
}

void blac_dlaset(const char* uplo, const int* m, const int* n, const double* alpha, const double* beta, double* a,
                 const int* lda) {
  LAPACK_dlaset(uplo, m, n, alpha, beta, a, lda);
}

void blac_zlaset(const char* uplo, const int* m, const int* n, const double* alpha, const double* beta, double* a,
                 const int* lda) {
  LAPACK_zlaset(uplo, m, n, Z(alpha), Z(beta), Z(a), lda);
}

double blac_dlamch(const char* cmach) { return LAPACK_dlamch(cmach); }

int blac_ilaenv(const int* kind, const char* name, const char* opts, const int* n1, const int* n2,
                const int* n3, const int* n4) {
  return LAPACK_GLOBAL(ilaenv, ILAENV)(kind, name, opts, n1, n2, n3, n4, std::strlen(name),
                                       std::strlen(opts));
}

}  // extern "C"
