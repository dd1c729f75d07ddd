// QORMtxBlaUtilities: the replaceable dense kernel table (hooks, their settings) and thin kernel wrappers.
#include "QORMtxBlaUtilities.h"

#include <algorithm>

#include "QORMtxAssert.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "mem_Alloc.h"

bool QORMtxBlaUtilities::m_linAlgExternalFlag = true;
int QORMtxBlaUtilities::m_numThreads = 1;
int QORMtxBlaUtilities::m_threadsBlas1 = 1;
int QORMtxBlaUtilities::m_maxThreadsBlas1 = 8;
int QORMtxBlaUtilities::m_blkSize = 144;
double QORMtxBlaUtilities::m_zeroPivotTol = 1e-36;
bool QORMtxBlaUtilities::m_zgemm3mFlag = false;
int QORMtxBlaUtilities::m_numGpus = 0;

QORMtxBlaUtilities::MultiplyFunc QORMtxBlaUtilities::m_multiply = nullptr;
QORMtxBlaUtilities::ComplexMultiplyFunc QORMtxBlaUtilities::m_complexMultiply = nullptr;
QORMtxBlaUtilities::SolveFunc QORMtxBlaUtilities::m_solve = nullptr;
QORMtxBlaUtilities::SolveFunc QORMtxBlaUtilities::m_unsymmSolve = nullptr;
QORMtxBlaUtilities::SolveFunc QORMtxBlaUtilities::m_complexSolve = nullptr;
QORMtxBlaUtilities::SolveFunc QORMtxBlaUtilities::m_complexUnsymmSolve = nullptr;
QORMtxBlaUtilities::EigenSolveFunc QORMtxBlaUtilities::m_eigenSolve = nullptr;
QORMtxBlaUtilities::ScaleFunc QORMtxBlaUtilities::m_scale = nullptr;
QORMtxBlaUtilities::DiagAddFunc QORMtxBlaUtilities::m_diagAdd = nullptr;

namespace {

template <typename F>
bool Usable(F hook) {
  return hook != nullptr && QORMtxBlaUtilities::m_linAlgExternalFlag;
}

int HookThreads(int numThreads) { return numThreads != 0 ? numThreads : QORMtxBlaUtilities::m_numThreads; }

// Scratch arrays of the built-in paths; released on every way out.
class PivotArray {
 public:
  explicit PivotArray(int n)
      : m_p(static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * static_cast<size_t>(std::max(n, 1))))) {}
  ~PivotArray() { mem_Free(m_p); }
  PivotArray(const PivotArray&) = delete;
  PivotArray& operator=(const PivotArray&) = delete;
  int* get() { return m_p; }

 private:
  int* m_p;
};

class ValueArray {
 public:
  explicit ValueArray(size_t n) : m_p(QORMtxUtilities::AllocateDouble(std::max<size_t>(n, 1))) {}
  ~ValueArray() { QORMtxUtilities::Deallocate(m_p); }
  ValueArray(const ValueArray&) = delete;
  ValueArray& operator=(const ValueArray&) = delete;
  double* get() { return m_p; }

 private:
  double* m_p;
};

// The size a workspace query left in work[0], as a count of at least one element.
int QueriedSize(double w0) { return std::max(static_cast<int>(w0), 1); }

// Workspace of lwork doubles (or complex values: two doubles each) held in an owned single-column matrix.
class MatrixWork {
 public:
  MatrixWork(int lwork, int doublesPerValue) : m_work(lwork * doublesPerValue, 1, QORMtxMatrix::UNKNOWN) {}
  double* get() { return m_work.Values(); }

 private:
  QORMtxMatrix m_work;
};

using SymmetricSolveKernel = void (*)(const char*, const int*, const int*, double*, const int*, int*, double*,
                                      const int*, double*, const int*, int*);
using GeneralSolveKernel = void (*)(const int*, const int*, double*, const int*, int*, double*, const int*, int*);

// The one road of the four solves: a usable hook gets the pivot tolerance (twice), the block size and the thread
// count; otherwise the symmetric kernel (sysv, when given) or the general one (gesv) runs with its pivot array.
// The symmetric kernels get lwork = n, which keeps the scratch at one column of doublesPerValue doubles a value;
// the factorisation then runs unblocked.
int DispatchSolve(QORMtxBlaUtilities::SolveFunc hook, SymmetricSolveKernel sysv, GeneralSolveKernel gesv,
                  int doublesPerValue, int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads) {
  if (Usable(hook))
    return hook(QORMtxBlaUtilities::m_zeroPivotTol, QORMtxBlaUtilities::m_zeroPivotTol, n, nrhs,
                QORMtxBlaUtilities::m_blkSize, A, lda, B, ldb, HookThreads(numThreads));
  PivotArray ipiv(n);
  int info = 0;
  if (!sysv) {
    gesv(&n, &nrhs, A, &lda, ipiv.get(), B, &ldb, &info);
    return info;
  }
  ValueArray work(static_cast<size_t>(doublesPerValue) * static_cast<size_t>(std::max(n, 0)));
  const char uplo = 'L';
  const int lwork = n;
  sysv(&uplo, &n, &nrhs, A, &lda, ipiv.get(), B, &ldb, work.get(), &lwork, &info);
  return info;
}

// The block count and thread count a Scale hook receives.
void ScaleHookShape(int m, int numBlocks, int numThreads, int& blocks, int& threads) {
  const int t0 = numThreads != 0 ? numThreads : (QORMtxBlaUtilities::m_numThreads + 1) / 2;
  threads = std::min(t0, m);
  // A thread count of 0 (m_numThreads 0) would divide by zero; such a hook call still gets one block per column.
  const int tDiv = std::max(threads, 1);
  blocks = (numBlocks >= 1 && numBlocks <= m) ? numBlocks : (m - 1) / tDiv + 1;
}

// Column sweep of the built-in Scale; a holds diag(a) or its inverse already.
void ScaleColumns(int n, int m, char sidea, double alpha, const double* a, const double* B, int ldb, double beta,
                  double* C, int ldc) {
  int one = 1;
  for (int j = 0; j < m; ++j) {
    const double* bj = B + static_cast<size_t>(ldb) * j;
    double* cj = C + static_cast<size_t>(ldc) * j;
    if (sidea == 'R') {
      double s = alpha * a[j];
      qormtx_array_add2(&n, &s, bj, &beta, cj);
    } else {
      qormtx_darray_multiply(&n, &alpha, a, &one, bj, &one, &beta, cj, &one);
    }
  }
}

// The body of both Scale forms; they differ only in the inversion of diag(A): plain, or with eps as the floor of
// |a| (eps non-null), and in the block count the hook receives.
void ScaleWith(int n, int m, char inva, char sidea, double alpha, const double* A, const double* B, int ldb,
               double beta, double* C, int ldc, int numBlocks, int numThreads, const double* eps) {
  QORMTX_ASSERT(n > 0 && m > 0);
  QORMTX_ASSERT(inva == 'N' || inva == 'I');
  QORMTX_ASSERT(sidea == 'L' || sidea == 'R');
  QORMTX_ASSERT(A && B && C);
  QORMTX_ASSERT(B != C || ldb == ldc);
  if (Usable(QORMtxBlaUtilities::m_scale)) {
    int blocks = 0, threads = 0;
    ScaleHookShape(m, numBlocks, numThreads, blocks, threads);
    QORMtxBlaUtilities::m_scale(n, m, inva, sidea, alpha, A, B, ldb, beta, C, ldc, blocks, threads);
    return;
  }
  if (inva == 'N') {
    ScaleColumns(n, m, sidea, alpha, A, B, ldb, beta, C, ldc);
    return;
  }
  int count = sidea == 'L' ? n : m;
  ValueArray inv(static_cast<size_t>(count));
  std::copy(A, A + count, inv.get());
  if (eps)
    qormtx_darray_invert_eps(&count, inv.get(), eps);
  else
    qormtx_darray_invert(&count, inv.get());
  ScaleColumns(n, m, sidea, alpha, inv.get(), B, ldb, beta, C, ldc);
}

}  // namespace

void QORMtxBlaUtilities::SetNumberOfThreads(int n) {
  m_numThreads = n;
  m_threadsBlas1 = std::min(n, m_maxThreadsBlas1);
}

// ---------------------------------------------------------------------------------------------------------------
// Hooked operations
// ---------------------------------------------------------------------------------------------------------------

void QORMtxBlaUtilities::Multiply(char transA, char transB, int m, int n, int k, double alpha, const double* A, int lda,
                                  const double* B, int ldb, double beta, double* C, int ldc, int resultKind,
                                  int numThreads) {
  if (Usable(m_multiply)) {
    m_multiply(transA, transB, m, n, k, alpha, A, lda, B, ldb, beta, C, ldc, resultKind, m_blkSize,
               HookThreads(numThreads));
    return;
  }
  // An empty C is a no-op for dgemm too; returning first spares the kernel's leading-dimension checks on it.
  if (m == 0 || n == 0) return;
  blac_dgemm(&transA, &transB, &m, &n, &k, &alpha, A, &lda, B, &ldb, &beta, C, &ldc);
}

void QORMtxBlaUtilities::ComplexMultiply(char transA, char transB, int m, int n, int k, const double* alpha,
                                         const double* A, int lda, const double* B, int ldb, const double* beta,
                                         double* C, int ldc, int resultKind, int numThreads) {
  if (Usable(m_complexMultiply)) {
    m_complexMultiply(transA, transB, m, n, k, alpha, A, lda, B, ldb, beta, C, ldc, resultKind, m_blkSize,
                      HookThreads(numThreads));
    return;
  }
  if (m == 0 || n == 0) return;
  if (m_zgemm3mFlag)
    blac_zgemm3m(&transA, &transB, &m, &n, &k, alpha, A, &lda, B, &ldb, beta, C, &ldc);
  else
    blac_zgemm(&transA, &transB, &m, &n, &k, alpha, A, &lda, B, &ldb, beta, C, &ldc);
}

int QORMtxBlaUtilities::Solve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads) {
  return DispatchSolve(m_solve, blac_dsysv, nullptr, 1, n, nrhs, A, lda, B, ldb, numThreads);
}

int QORMtxBlaUtilities::UnsymmSolve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads) {
  return DispatchSolve(m_unsymmSolve, nullptr, blac_dgesv, 1, n, nrhs, A, lda, B, ldb, numThreads);
}

int QORMtxBlaUtilities::ComplexSolve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads) {
  return DispatchSolve(m_complexSolve, blac_zsysv, nullptr, 2, n, nrhs, A, lda, B, ldb, numThreads);
}

int QORMtxBlaUtilities::ComplexUnsymmSolve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads) {
  return DispatchSolve(m_complexUnsymmSolve, nullptr, blac_zgesv, 2, n, nrhs, A, lda, B, ldb, numThreads);
}

int QORMtxBlaUtilities::EigenSolve(char uplo, int numRows, double* K, double* M, int& numFound, double* eigenvalues,
                                   double* eigenvectors, double bound1, double bound2, bool flag, int numThreads,
                                   FILE* log, int option) {
  QORMTX_ASSERT(numRows > 0);
  QORMTX_ASSERT(K);
  QORMTX_ASSERT(uplo == 'L' || uplo == 'U');
  QORMTX_ASSERT(eigenvalues && eigenvectors);
  if (Usable(m_eigenSolve))
    return m_eigenSolve(uplo, numRows, K, M, bound1, bound2, flag, HookThreads(numThreads), numFound, eigenvalues,
                        eigenvectors, log, option);
  // The generalised solver lives only in an external package.
  QORMTX_ASSERT(0);
  return -1;
}

void QORMtxBlaUtilities::DiagAdd(int n, int m, double alpha, const double* d, double* A, int lda, int numThreads) {
  if (Usable(m_diagAdd)) {
    m_diagAdd(n, m, m_blkSize, alpha, d, A, lda, HookThreads(numThreads));
    return;
  }
  QORMTX_ASSERT(0);
}

void QORMtxBlaUtilities::Scale(int n, int m, char inva, char sidea, double alpha, const double* A, const double* B,
                               int ldb, double beta, double* C, int ldc, int numBlocks, int numThreads) {
  ScaleWith(n, m, inva, sidea, alpha, A, B, ldb, beta, C, ldc, numBlocks, numThreads, nullptr);
}

void QORMtxBlaUtilities::Scale(int n, int m, char inva, char sidea, double alpha, const double* A, const double* B,
                               int ldb, double beta, double* C, int ldc, double eps, int numThreads) {
  // This form leaves the block count to the hook shape rule.
  ScaleWith(n, m, inva, sidea, alpha, A, B, ldb, beta, C, ldc, 0, numThreads, &eps);
}

// ---------------------------------------------------------------------------------------------------------------
// Thin wrappers
// ---------------------------------------------------------------------------------------------------------------

void QORMtxBlaUtilities::Daxpy(int n, double alpha, const double* x, int incx, double* y, int incy, int) {
  blac_daxpy(&n, &alpha, x, &incx, y, &incy);
}

void QORMtxBlaUtilities::Daxpby(int n, double alpha, const double* x, int incx, double beta, double* y, int incy, int) {
  blac_daxpby(&n, &alpha, x, &incx, &beta, y, &incy);
}

void QORMtxBlaUtilities::Dcopy(int n, const double* x, int incx, double* y, int incy, int) {
  blac_dcopy(&n, x, &incx, y, &incy);
}

double QORMtxBlaUtilities::Ddot(int n, const double* x, int incx, const double* y, int incy, int) {
  return blac_ddot(&n, x, &incx, y, &incy);
}

void QORMtxBlaUtilities::Dscal(int n, double alpha, double* x, int incx, int) { blac_dscal(&n, &alpha, x, &incx); }

void QORMtxBlaUtilities::Zaxpy(int n, const double* alpha, const double* x, int incx, double* y, int incy, int) {
  blac_zaxpy(&n, alpha, x, &incx, y, &incy);
}

void QORMtxBlaUtilities::Zcopy(int n, const double* x, int incx, double* y, int incy, int) {
  blac_zcopy(&n, x, &incx, y, &incy);
}

void QORMtxBlaUtilities::Dlacpy(char uplo, int m, int n, const double* A, int lda, double* B, int ldb) {
  blac_dlacpy(&uplo, &m, &n, A, &lda, B, &ldb);
}

void QORMtxBlaUtilities::Zlacpy(char uplo, int m, int n, const double* A, int lda, double* B, int ldb) {
  blac_zlacpy(&uplo, &m, &n, A, &lda, B, &ldb);
}

void QORMtxBlaUtilities::Dlaset(char uplo, int m, int n, double alpha, double beta, double* A, int lda) {
  blac_dlaset(&uplo, &m, &n, &alpha, &beta, A, &lda);
}

void QORMtxBlaUtilities::Zlaset(char uplo, int m, int n, const double* alpha, const double* beta, double* A, int lda) {
  blac_zlaset(&uplo, &m, &n, alpha, beta, A, &lda);
}

void QORMtxBlaUtilities::ComplexRank1Update(int m, int n, const double* alpha, const double* x, int incx,
                                            const double* y, int incy, double* A, int lda, int) {
  blac_zgeru(&m, &n, alpha, x, &incx, y, &incy, A, &lda);
}

void QORMtxBlaUtilities::Dgemv(char transa, int m, int n, double alpha, const double* A, int lda, const double* x,
                               int incx, double beta, double* y, int incy, int) {
  QORMTX_ASSERT(transa == 'N' || transa == 'n' || transa == 'T' || transa == 't');
  blac_dgemv(&transa, &m, &n, &alpha, A, &lda, x, &incx, &beta, y, &incy);
}

void QORMtxBlaUtilities::Zgemm(char transa, char transb, int m, int n, int k, const double* alpha, const double* A,
                               int lda, const double* B, int ldb, const double* beta, double* C, int ldc, int) {
  if (m_zgemm3mFlag)
    blac_zgemm3m(&transa, &transb, &m, &n, &k, alpha, A, &lda, B, &ldb, beta, C, &ldc);
  else
    blac_zgemm(&transa, &transb, &m, &n, &k, alpha, A, &lda, B, &ldb, beta, C, &ldc);
}

void QORMtxBlaUtilities::Domatcopy(char trans, size_t rows, size_t cols, double alpha, const double* A, size_t lda,
                                   double* B, size_t ldb) {
  QORMTX_ASSERT(trans == 'N' || trans == 'n' || trans == 'T' || trans == 't');
  const char ordering = 'C';
  blac_domatcopy(&ordering, &trans, &rows, &cols, &alpha, A, &lda, B, &ldb);
}

void QORMtxBlaUtilities::Domatcopy2(char trans, size_t rows, size_t cols, double alpha, const double* A, size_t lda,
                                    size_t stridea, double* B, size_t ldb, size_t strideb) {
  QORMTX_ASSERT(trans == 'N' || trans == 'n' || trans == 'T' || trans == 't');
  const char ordering = 'C';
  blac_domatcopy2(&ordering, &trans, &rows, &cols, &alpha, A, &lda, &stridea, B, &ldb, &strideb);
}

void QORMtxBlaUtilities::Domatadd(char transa, char transb, size_t rows, size_t cols, double alpha, const double* A,
                                  size_t lda, double beta, const double* B, size_t ldb, double* C, size_t ldc) {
  QORMTX_ASSERT(transa == 'N' || transa == 'n' || transa == 'T' || transa == 't');
  QORMTX_ASSERT(transb == 'N' || transb == 'n' || transb == 'T' || transb == 't');
  const char ordering = 'C';
  blac_domatadd(&ordering, &transa, &transb, &rows, &cols, &alpha, A, &lda, &beta, B, &ldb, C, &ldc);
}

void QORMtxBlaUtilities::Zomatcopy(char trans, size_t rows, size_t cols, const double* alpha, const double* A,
                                   size_t lda, double* B, size_t ldb) {
  QORMTX_ASSERT(trans == 'N' || trans == 'n' || trans == 'T' || trans == 't' || trans == 'C' || trans == 'c' ||
                trans == 'R' || trans == 'r');
  const char ordering = 'C';
  blac_zomatcopy(&ordering, &trans, &rows, &cols, alpha, A, &lda, B, &ldb);
}

void QORMtxBlaUtilities::Zomatcopy2(char trans, size_t rows, size_t cols, const double* alpha, const double* A,
                                    size_t lda, size_t stridea, double* B, size_t ldb, size_t strideb) {
  QORMTX_ASSERT(trans == 'N' || trans == 'n' || trans == 'T' || trans == 't' || trans == 'C' || trans == 'c' ||
                trans == 'R' || trans == 'r');
  const char ordering = 'C';
  blac_zomatcopy2(&ordering, &trans, &rows, &cols, alpha, A, &lda, &stridea, B, &ldb, &strideb);
}

void QORMtxBlaUtilities::Zomatadd(char transa, char transb, size_t rows, size_t cols, const double* alpha,
                                  const double* A, size_t lda, const double* beta, const double* B, size_t ldb,
                                  double* C, size_t ldc) {
  QORMTX_ASSERT(transa == 'N' || transa == 'n' || transa == 'T' || transa == 't' || transa == 'C' || transa == 'c' ||
                transa == 'R' || transa == 'r');
  QORMTX_ASSERT(transb == 'N' || transb == 'n' || transb == 'T' || transb == 't' || transb == 'C' || transb == 'c' ||
                transb == 'R' || transb == 'r');
  const char ordering = 'C';
  blac_zomatadd(&ordering, &transa, &transb, &rows, &cols, alpha, A, &lda, beta, B, &ldb, C, &ldc);
}

// Workspace queries: one call with lwork = -1 leaves the optimal size in work[0]; the second call uses it.

int QORMtxBlaUtilities::Dsyev(int n, double* A, int lda, double* eigenvalues, int) {
  QORMTX_ASSERT(n > 0);
  QORMTX_ASSERT(A);
  QORMTX_ASSERT(eigenvalues);
  QORMTX_ASSERT(lda >= n);
  const char jobz = 'V', uplo = 'U';
  double query = 0.0;
  int lwork = -1, info = 0;
  blac_dsyev(&jobz, &uplo, &n, A, &lda, eigenvalues, &query, &lwork, &info);
  lwork = QueriedSize(query);
  MatrixWork work(lwork, 1);
  blac_dsyev(&jobz, &uplo, &n, A, &lda, eigenvalues, work.get(), &lwork, &info);
  return info;
}

int QORMtxBlaUtilities::HessReduce(int n, double* A, int lda, double* tau, int) {
  QORMTX_ASSERT(n > 0);
  const int ilo = 1, ihi = n;
  double query = 0.0;
  int lwork = -1, info = 0;
  blac_dgehrd(&n, &ilo, &ihi, A, &lda, tau, &query, &lwork, &info);
  lwork = QueriedSize(query);
  MatrixWork work(lwork, 1);
  blac_dgehrd(&n, &ilo, &ihi, A, &lda, tau, work.get(), &lwork, &info);
  return info;
}

int QORMtxBlaUtilities::HessTransform(char side, char trans, int m, int n, double* A, int lda, double* tau, double* C,
                                      int ldc, int) {
  QORMTX_ASSERT(side == 'L' || side == 'R');
  QORMTX_ASSERT(trans == 'N' || trans == 'T');
  QORMTX_ASSERT(m > 0 && n > 0);
  const int ilo = 1, ihi = side == 'L' ? m : n;
  double query = 0.0;
  int lwork = -1, info = 0;
  blac_dormhr(&side, &trans, &m, &n, &ilo, &ihi, A, &lda, tau, C, &ldc, &query, &lwork, &info);
  lwork = QueriedSize(query);
  MatrixWork work(lwork, 1);
  blac_dormhr(&side, &trans, &m, &n, &ilo, &ihi, A, &lda, tau, C, &ldc, work.get(), &lwork, &info);
  return info;
}

int QORMtxBlaUtilities::UnsymmEigenSolve(char jobvl, char jobvr, int n, double* a, int lda, double* wr, double* wi,
                                         double* vl, int ldvl, double* vr, int ldvr, int numThreads) {
  QORMTX_ASSERT(jobvl == 'N' || jobvl == 'V');
  QORMTX_ASSERT(jobvr == 'N' || jobvr == 'V');
  QORMTX_ASSERT(n > 0 && a && lda >= n && wr && wi);
  QORMTX_ASSERT(jobvl == 'N' || (vl && ldvl >= n));
  QORMTX_ASSERT(jobvr == 'N' || (vr && ldvr >= n));
  QORMTX_ASSERT(numThreads >= 0);
  // dgeev checks ldvl/ldvr >= 1 even when no vectors are wanted.
  double dummy[1] = {0.0};
  if (jobvl == 'N' && !vl) vl = dummy;
  if (jobvr == 'N' && !vr) vr = dummy;
  ldvl = std::max(ldvl, 1);
  ldvr = std::max(ldvr, 1);
  double query = 0.0;
  int lwork = -1, info = 0;
  blac_dgeev(&jobvl, &jobvr, &n, a, &lda, wr, wi, vl, &ldvl, vr, &ldvr, &query, &lwork, &info);
  lwork = QueriedSize(query);
  ValueArray work(static_cast<size_t>(lwork));
  blac_dgeev(&jobvl, &jobvr, &n, a, &lda, wr, wi, vl, &ldvl, vr, &ldvr, work.get(), &lwork, &info);
  return info;
}

int QORMtxBlaUtilities::ComplexUnsymmEigenSolve(char jobvl, char jobvr, int n, double* a, int lda, double* w,
                                                double* vl, int ldvl, double* vr, int ldvr, int numThreads) {
  QORMTX_ASSERT(jobvl == 'N' || jobvl == 'V');
  QORMTX_ASSERT(jobvr == 'N' || jobvr == 'V');
  QORMTX_ASSERT(n > 0 && a && lda >= n && w);
  QORMTX_ASSERT(jobvl == 'N' || (vl && ldvl >= n));
  QORMTX_ASSERT(jobvr == 'N' || (vr && ldvr >= n));
  QORMTX_ASSERT(numThreads >= 0);
  double dummy[2] = {0.0, 0.0};
  if (jobvl == 'N' && !vl) vl = dummy;
  if (jobvr == 'N' && !vr) vr = dummy;
  ldvl = std::max(ldvl, 1);
  ldvr = std::max(ldvr, 1);
  ValueArray rwork(2 * static_cast<size_t>(n));
  double query[2] = {0.0, 0.0};
  int lwork = -1, info = 0;
  blac_zgeev(&jobvl, &jobvr, &n, a, &lda, w, vl, &ldvl, vr, &ldvr, query, &lwork, rwork.get(), &info);
  lwork = QueriedSize(query[0]);
  // lwork counts complex values: two doubles each.
  ValueArray work(2 * static_cast<size_t>(lwork));
  blac_zgeev(&jobvl, &jobvr, &n, a, &lda, w, vl, &ldvl, vr, &ldvr, work.get(), &lwork, rwork.get(), &info);
  return info;
}

int QORMtxBlaUtilities::ComplexHessReduce(int n, double* A, int lda, double* tau, int) {
  QORMTX_ASSERT(n > 0);
  const int ilo = 1, ihi = n;
  double query[2] = {0.0, 0.0};
  int lwork = -1, info = 0;
  blac_zgehrd(&n, &ilo, &ihi, A, &lda, tau, query, &lwork, &info);
  lwork = QueriedSize(query[0]);
  MatrixWork work(lwork, 2);
  blac_zgehrd(&n, &ilo, &ihi, A, &lda, tau, work.get(), &lwork, &info);
  return info;
}

int QORMtxBlaUtilities::ComplexHessTransform(char side, char trans, int m, int n, double* A, int lda, double* tau,
                                             double* C, int ldc, int) {
  QORMTX_ASSERT(side == 'L' || side == 'R');
  QORMTX_ASSERT(trans == 'N' || trans == 'C');
  QORMTX_ASSERT(m > 0 && n > 0);
  const int ilo = 1, ihi = side == 'L' ? m : n;
  double query[2] = {0.0, 0.0};
  int lwork = -1, info = 0;
  blac_zunmhr(&side, &trans, &m, &n, &ilo, &ihi, A, &lda, tau, C, &ldc, query, &lwork, &info);
  lwork = QueriedSize(query[0]);
  MatrixWork work(lwork, 2);
  blac_zunmhr(&side, &trans, &m, &n, &ilo, &ihi, A, &lda, tau, C, &ldc, work.get(), &lwork, &info);
  return info;
}

int QORMtxBlaUtilities::ComplexTriangSolve(char uplo, char trans, char diag, int n, int nrhs, double* A, int lda,
                                           double* B, int ldb, int) {
  QORMTX_ASSERT(uplo == 'L' || uplo == 'U');
  QORMTX_ASSERT(trans == 'N' || trans == 'T' || trans == 'C');
  QORMTX_ASSERT(diag == 'N' || diag == 'U');
  int info = 0;
  blac_ztrtrs(&uplo, &trans, &diag, &n, &nrhs, A, &lda, B, &ldb, &info);
  return info;
}

void QORMtxBlaUtilities::ComplexDotProduct(int n, const double* x, int incx, const double* y, int incy,
                                           double* result) {
  QORMTX_ASSERT(n > 0);
  qormtx_zdotc(&n, x, &incx, y, &incy, result);
}

void QORMtxBlaUtilities::ComplexScale(int n, int m, char inva, char sidea, double* alpha, const double* A,
                                      const double* B, int ldb, double* beta, double* C, int ldc, int, int) {
  QORMTX_ASSERT(n > 0 && m > 0);
  QORMTX_ASSERT(inva == 'N');
  QORMTX_ASSERT(sidea == 'L');
  QORMTX_ASSERT(A && B && C);
  QORMTX_ASSERT(B != C || ldb == ldc);
  int one = 1;
  for (int j = 0; j < m; ++j) {
    const double* bj = B + 2 * static_cast<size_t>(ldb) * j;
    double* cj = C + 2 * static_cast<size_t>(ldc) * j;
    qormtx_array_multiply(&n, alpha, A, &one, bj, &one, beta, cj, &one);
  }
}
