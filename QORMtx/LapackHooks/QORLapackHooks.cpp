// QORLapackHooks: an external linear-algebra package on LAPACK for the kernel dispatch table of QORMtxBlaUtilities.
#include "QORLapackHooks.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapack.h>

#include "QORMtxBlaUtilities.h"

namespace {

// The kernel library's thread count for the duration of one hook call.
class KernelThreads {
 public:
  explicit KernelThreads(int numThreads) : m_previous(openblas_get_num_threads()) {
    m_changed = numThreads > 0 && numThreads != m_previous;
    if (m_changed) openblas_set_num_threads(numThreads);
  }
  ~KernelThreads() {
    if (m_changed) openblas_set_num_threads(m_previous);
  }
  KernelThreads(const KernelThreads&) = delete;
  KernelThreads& operator=(const KernelThreads&) = delete;

 private:
  int m_previous;
  bool m_changed;
};

// What the bounds select, in the terms of dsyevr.
struct Selection {
  char range = 'A';
  double vl = 0.0, vu = 0.0;
  int il = 1, iu = 1;
  bool empty = false;  // an index range that selects nothing
};

Selection Select(int n, double bound1, double bound2, int option) {
  Selection s;
  if (option == 1) {
    s.range = 'I';
    if (n == 0 || std::isnan(bound1) || std::isnan(bound2)) {
      s.empty = true;
      return s;
    }
    // Clip in double first: lround of a bound beyond the int range is undefined.
    s.il = static_cast<int>(std::lround(std::clamp(bound1, 1.0, static_cast<double>(n))));
    s.iu = static_cast<int>(std::lround(std::clamp(bound2, 0.0, static_cast<double>(n))));
    s.empty = s.il > s.iu;
  } else if (bound1 < bound2) {
    s.range = 'V';
    s.vl = bound1;
    s.vu = bound2;
  }
  return s;
}

size_t Square(int n) { return static_cast<size_t>(n) * static_cast<size_t>(n); }

bool AllFinite(const double* a, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (!std::isfinite(a[i])) return false;
  return true;
}

// Every eigenpair of the definite pencil A·x = λ·B·x by divide and conquer (dsygvd): vectors overwrite A, B holds
// its Cholesky factor. LAPACK's info: n + i when the leading minor of order i of B is not positive definite, in
// which case A is untouched.
int AllPairs(char uplo, int n, double* A, double* B, double* w) {
  const int itype = 1;
  const char jobz = 'V';
  double workQuery = 0.0;
  int iworkQuery = 0, lwork = -1, liwork = -1, info = 0;
  LAPACK_dsygvd(&itype, &jobz, &uplo, &n, A, &n, B, &n, w, &workQuery, &lwork, &iworkQuery, &liwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(workQuery), 1);
  liwork = std::max(iworkQuery, 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int> iwork(static_cast<size_t>(liwork));
  LAPACK_dsygvd(&itype, &jobz, &uplo, &n, A, &n, B, &n, w, work.data(), &lwork, iwork.data(), &liwork, &info);
  return info;
}

// Selected eigenpairs of the standard problem held in A (destroyed) by dsyevr; z needs n columns per pair selected.
int SelectedPairs(char uplo, int n, double* A, const Selection& sel, int& m, double* w, double* z) {
  const char jobz = 'V', safeMin = 'S';
  const double abstol = LAPACK_dlamch(&safeMin);
  std::vector<int> isuppz(2 * static_cast<size_t>(n));
  double workQuery = 0.0;
  int iworkQuery = 0, lwork = -1, liwork = -1, info = 0;
  LAPACK_dsyevr(&jobz, &sel.range, &uplo, &n, A, &n, &sel.vl, &sel.vu, &sel.il, &sel.iu, &abstol, &m, w, z, &n,
                isuppz.data(), &workQuery, &lwork, &iworkQuery, &liwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(workQuery), 1);
  liwork = std::max(iworkQuery, 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int> iwork(static_cast<size_t>(liwork));
  LAPACK_dsyevr(&jobz, &sel.range, &uplo, &n, A, &n, &sel.vl, &sel.vu, &sel.il, &sel.iu, &abstol, &m, w, z, &n,
                isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
  return info;
}

// K·x = λ·M·x with M positive definite: the full spectrum by dsygvd; a selection by Cholesky, reduction, dsyevr on
// the selection only and back-transformation (the dsygvx scheme with the faster dsyevr). K and M are overwritten.
// LAPACK-style info: n + i when M's leading minor of order i is not positive definite (K then untouched).
int DefinitePencil(char uplo, int n, double* K, double* M, const Selection& sel, int& m, double* w, double* z) {
  int info = 0;
  if (sel.range == 'A') {
    info = AllPairs(uplo, n, K, M, w);
    if (info != 0) return info;
    std::copy(K, K + Square(n), z);
    m = n;
    return 0;
  }
  LAPACK_dpotrf(&uplo, &n, M, &n, &info);
  if (info != 0) return n + info;
  const int itype = 1;
  LAPACK_dsygst(&itype, &uplo, &n, K, &n, M, &n, &info);
  if (info != 0) return info;
  info = SelectedPairs(uplo, n, K, sel, m, w, z);
  if (info != 0 || m == 0) return info;
  // x = U⁻¹·y ('U', M = Uᵀ·U) or x = L⁻ᵀ·y ('L', M = L·Lᵀ): orthonormal y give xᵀ·M·x = I.
  cblas_dtrsm(CblasColMajor, CblasLeft, uplo == 'U' ? CblasUpper : CblasLower, uplo == 'U' ? CblasNoTrans : CblasTrans,
              CblasNonUnit, n, m, 1.0, M, n, z, n);
  return 0;
}

// M·x = μ·K·x with K positive definite (M singular or indefinite), turned into K·x = λ·M·x with λ = 1/μ. A μ that is
// negligible against the largest |μ| is an infinite λ (a massless direction) and is dropped; the selection applies
// to the ascending finite λ. Mcopy holds the original M and is overwritten, K becomes its Cholesky factor.
int ReversedPencil(char uplo, int n, double* K, double* Mcopy, double bound1, double bound2, int option, int& m,
                   double* w, double* z) {
  std::vector<double> mu(static_cast<size_t>(n));
  const int info = AllPairs(uplo, n, Mcopy, K, mu.data());
  if (info != 0) return info;
  const double* y = Mcopy;
  double muMax = 0.0;
  for (double v : mu) muMax = std::max(muMax, std::fabs(v));
  const double tiny = n * 2.220446049250313e-16 * muMax;
  std::vector<int> finite;
  for (int i = 0; i < n; ++i)
    if (std::fabs(mu[i]) > tiny) finite.push_back(i);
  std::sort(finite.begin(), finite.end(), [&](int a, int b) { return 1.0 / mu[a] < 1.0 / mu[b]; });

  const Selection sel = Select(static_cast<int>(finite.size()), bound1, bound2, option);
  size_t first = 0, last = finite.size();  // [first, last)
  if (sel.range == 'I') {
    first = sel.empty ? 0 : static_cast<size_t>(sel.il - 1);
    last = sel.empty ? 0 : static_cast<size_t>(sel.iu);
  }
  m = 0;
  for (size_t k = first; k < last; ++k) {
    const int i = finite[k];
    const double lambda = 1.0 / mu[i];
    if (sel.range == 'V' && !(sel.vl < lambda && lambda <= sel.vu)) continue;
    // yᵀ·K·y = 1 and yᵀ·M·y = μ: scaled so that xᵀ·M·x = ±1.
    const double scale = 1.0 / std::sqrt(std::fabs(mu[i]));
    const double* src = y + static_cast<size_t>(i) * n;
    double* dst = z + static_cast<size_t>(m) * n;
    for (int r = 0; r < n; ++r) dst[r] = scale * src[r];
    w[m++] = lambda;
  }
  return 0;
}

// The package's own status for a LAPACK-style info of a solve (not a Cholesky failure).
int SolverStatus(int info) { return info < 0 ? info : QORLapackHooks::kNotConverged; }

}  // namespace

namespace QORLapackHooks {

int EigenSolve(char uplo, int n, double* K, double* M, double bound1, double bound2, bool, int numThreads,
               int& numFound, double* eigenvalues, double* eigenvectors, FILE* log, int option) {
  KernelThreads threads(numThreads);
  numFound = 0;
  const Selection sel = Select(n, bound1, bound2, option);
  int status = 0, mOrder = 0, kOrder = 0;
  bool reversed = false;
  if (!AllFinite(K, Square(n)) || !AllFinite(M, Square(n))) {
    status = kNotFinite;
  } else if (!sel.empty) {
    // The caller's positive-definiteness flag comes from a cheap necessary test only, so the Cholesky factorisation
    // decides; dpotrf overwrites M even when it fails, and the reversed pencil needs the original.
    std::vector<double> Mcopy(M, M + Square(n));
    status = DefinitePencil(uplo, n, K, M, sel, numFound, eigenvalues, eigenvectors);
    if (status > n) {
      mOrder = status - n;
      reversed = true;
      numFound = 0;
      status = ReversedPencil(uplo, n, K, Mcopy.data(), bound1, bound2, option, numFound, eigenvalues, eigenvectors);
      if (status > n) kOrder = status - n;
      status = status > n ? kNotDefinite : status == 0 ? 0 : SolverStatus(status);
    } else if (status != 0) {
      status = SolverStatus(status);
    }
    if (status == 0 && !(AllFinite(eigenvalues, static_cast<size_t>(numFound)) &&
                         AllFinite(eigenvectors, static_cast<size_t>(numFound) * static_cast<size_t>(n)))) {
      status = kResultNotFinite;
      numFound = 0;
    }
  }
  if (log) {
    std::fprintf(log, "QORLapackHooks::EigenSolve n = %d, %s pencil, %s, found %d, status %d", n,
                 reversed ? "reversed" : "definite",
                 sel.range == 'A'   ? "all pairs"
                 : sel.range == 'V' ? "value interval"
                                    : "index range",
                 numFound, status);
    if (mOrder > 0) std::fprintf(log, ", M not positive definite at order %d", mOrder);
    if (kOrder > 0) std::fprintf(log, ", K not positive definite at order %d", kOrder);
    std::fputc('\n', log);
  }
  return status;
}

const char* StatusText(int status) {
  switch (status) {
    case 0:
      return "success";
    case kNotConverged:
      return "the eigen solver did not converge";
    case kNotDefinite:
      return "the pencil is not definite: neither M nor K is positive definite";
    case kNotFinite:
      return "K or M holds a value that is not a finite number";
    case kResultNotFinite:
      return "the eigenpairs are not finite in double precision (K and M differ too much in scale)";
    default:
      return status < 0 ? "a LAPACK argument was illegal" : "unknown status";
  }
}

void DiagAdd(int n, int m, int, double alpha, const double* d, double* A, int lda, int numThreads) {
  KernelThreads threads(numThreads);
  cblas_daxpy(std::min(n, m), alpha, d, 1, A, lda + 1);
}

int Solve(double, double, int n, int nrhs, int, double* A, int lda, double* B, int ldb, int numThreads) {
  KernelThreads threads(numThreads);
  const char lower = 'L';
  std::vector<int> ipiv(static_cast<size_t>(std::max(n, 1)));
  double query = 0.0;
  int lwork = -1, info = 0;
  LAPACK_dsysv(&lower, &n, &nrhs, A, &lda, ipiv.data(), B, &ldb, &query, &lwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(query), 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  LAPACK_dsysv(&lower, &n, &nrhs, A, &lda, ipiv.data(), B, &ldb, work.data(), &lwork, &info);
  return info;
}

int ComplexSolve(double, double, int n, int nrhs, int, double* A, int lda, double* B, int ldb, int numThreads) {
  KernelThreads threads(numThreads);
  const char lower = 'L';
  auto* a = reinterpret_cast<std::complex<double>*>(A);
  auto* b = reinterpret_cast<std::complex<double>*>(B);
  std::vector<int> ipiv(static_cast<size_t>(std::max(n, 1)));
  std::complex<double> query = 0.0;
  int lwork = -1, info = 0;
  LAPACK_zsysv(&lower, &n, &nrhs, a, &lda, ipiv.data(), b, &ldb, &query, &lwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(query.real()), 1);
  std::vector<std::complex<double>> work(static_cast<size_t>(lwork));
  LAPACK_zsysv(&lower, &n, &nrhs, a, &lda, ipiv.data(), b, &ldb, work.data(), &lwork, &info);
  return info;
}

}  // namespace QORLapackHooks

extern "C" void QORLapackHooks_Install(void) {
  QORMtxBlaUtilities::SetEigenSolve(&QORLapackHooks::EigenSolve);
  QORMtxBlaUtilities::SetDiagAdd(&QORLapackHooks::DiagAdd);
  QORMtxBlaUtilities::SetSolve(&QORLapackHooks::Solve);
  QORMtxBlaUtilities::SetComplexSolve(&QORLapackHooks::ComplexSolve);
}

extern "C" void QORLapackHooks_Uninstall(void) {
  if (QORMtxBlaUtilities::m_eigenSolve == &QORLapackHooks::EigenSolve) QORMtxBlaUtilities::SetEigenSolve(nullptr);
  if (QORMtxBlaUtilities::m_diagAdd == &QORLapackHooks::DiagAdd) QORMtxBlaUtilities::SetDiagAdd(nullptr);
  if (QORMtxBlaUtilities::m_solve == &QORLapackHooks::Solve) QORMtxBlaUtilities::SetSolve(nullptr);
  if (QORMtxBlaUtilities::m_complexSolve == &QORLapackHooks::ComplexSolve) QORMtxBlaUtilities::SetComplexSolve(nullptr);
}
