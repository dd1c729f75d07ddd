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

constexpr double kEps = 2.220446049250313e-16;

// Every eigenpair of the symmetric matrix A by divide and conquer (dsyevd): the vectors overwrite A.
int AllPairs(char uplo, int n, double* A, double* w) {
  const char jobz = 'V';
  double workQuery = 0.0;
  int iworkQuery = 0, lwork = -1, liwork = -1, info = 0;
  LAPACK_dsyevd(&jobz, &uplo, &n, A, &n, w, &workQuery, &lwork, &iworkQuery, &liwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(workQuery), 1);
  liwork = std::max(iworkQuery, 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int> iwork(static_cast<size_t>(liwork));
  LAPACK_dsyevd(&jobz, &uplo, &n, A, &n, w, work.data(), &lwork, iwork.data(), &liwork, &info);
  return info;
}

// Selected eigenpairs of the symmetric matrix A (destroyed) by dsyevr; z needs n columns per pair selected.
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

// A·x = λ·B·x given the Cholesky factor of B: reduction to the standard problem, the selected pairs of it and
// back-transformation x = U⁻¹·y ('U', B = Uᵀ·U) or L⁻ᵀ·y ('L'), so that xᵀ·B·x = I. The full spectrum, and an
// index range of more than an eighth of it, by divide and conquer (dsyevd: the kernels of dsygvd, several times
// faster than dsyevr on many pairs); fewer pairs or a value interval by dsyevr on the selection only (the dsygvx
// scheme). A is overwritten; z needs n columns per pair selected.
int ReducedPairs(char uplo, int n, double* A, const double* factor, const Selection& sel, int& m, double* w,
                 double* z) {
  const int itype = 1;
  int info = 0;
  LAPACK_dsygst(&itype, &uplo, &n, A, &n, factor, &n, &info);
  if (info != 0) return info;
  const int count = sel.range == 'I' ? sel.iu - sel.il + 1 : n;
  if (sel.range == 'A' || (sel.range == 'I' && 8 * static_cast<long long>(count) > n)) {
    info = AllPairs(uplo, n, A, w);
    if (info != 0) return info;
    const int first = sel.range == 'I' ? sel.il - 1 : 0;
    std::copy(w + first, w + first + count, w);
    std::copy(A + static_cast<size_t>(first) * n, A + static_cast<size_t>(first + count) * n, z);
    m = count;
  } else {
    info = SelectedPairs(uplo, n, A, sel, m, w, z);
  }
  if (info != 0 || m == 0) return info;
  cblas_dtrsm(CblasColMajor, CblasLeft, uplo == 'U' ? CblasUpper : CblasLower, uplo == 'U' ? CblasNoTrans : CblasTrans,
              CblasNonUnit, n, m, 1.0, factor, n, z, n);
  return 0;
}

// A Cholesky factor whose smallest pivot² is negligible against the largest: the matrix is singular to working
// precision, whatever the factorisation's success says (a relative test, so the matrix's scale does not matter).
bool NearlySingular(int n, const double* factor) {
  double lo = HUGE_VAL, hi = 0.0;
  for (int i = 0; i < n; ++i) {
    const double d = factor[static_cast<size_t>(i) * n + i] * factor[static_cast<size_t>(i) * n + i];
    lo = std::min(lo, d);
    hi = std::max(hi, d);
  }
  return lo <= n * kEps * hi;
}

// M·x = μ·K·x with K positive definite (M singular or indefinite), turned into K·x = λ·M·x with λ = 1/μ. A μ that is
// negligible against the largest |μ| is an infinite λ (a massless direction) and is dropped; the selection applies
// to the ascending finite λ. When M is known to be positive (semi)definite no μ is negative, so the lowest λ are the
// largest μ and an index range is computed alone; otherwise every pair is. K becomes its Cholesky factor, Mcopy is
// overwritten. LAPACK-style info: n + i when K's leading minor of order i is not positive definite.
int ReversedPencil(char uplo, int n, double* K, double* Mcopy, bool massPositive, double bound1, double bound2,
                   int option, int& m, double* w, double* z) {
  int info = 0;
  LAPACK_dpotrf(&uplo, &n, K, &n, &info);
  if (info != 0) return n + info;
  const Selection wanted = Select(n, bound1, bound2, option);
  Selection sel;  // in μ
  if (massPositive && wanted.range == 'I' && !wanted.empty) {
    sel.range = 'I';
    sel.il = n - wanted.iu + 1;
    sel.iu = n;
  }
  const int columns = sel.range == 'I' ? sel.iu - sel.il + 1 : n;
  std::vector<double> mu(static_cast<size_t>(n)), y(static_cast<size_t>(n) * static_cast<size_t>(columns));
  int found = 0;
  info = ReducedPairs(uplo, n, Mcopy, K, sel, found, mu.data(), y.data());
  if (info != 0) return info;
  double muMax = 0.0;
  for (int i = 0; i < found; ++i) muMax = std::max(muMax, std::fabs(mu[i]));
  const double tiny = n * kEps * muMax;
  std::vector<int> finite;
  for (int i = 0; i < found; ++i)
    if (std::fabs(mu[i]) > tiny) finite.push_back(i);
  std::sort(finite.begin(), finite.end(), [&](int a, int b) { return 1.0 / mu[a] < 1.0 / mu[b]; });

  // The selection rules of the definite path, applied to the ascending finite λ; a partial solve holds the lowest
  // wanted.iu of them (or fewer when some were infinite), so the index range counts from the first.
  const Selection lam = Select(sel.range == 'I' ? wanted.iu : static_cast<int>(finite.size()), bound1, bound2, option);
  size_t first = 0, last = finite.size();  // [first, last)
  if (lam.range == 'I') {
    first = lam.empty ? 0 : std::min(finite.size(), static_cast<size_t>(lam.il - 1));
    last = lam.empty ? 0 : std::min(finite.size(), static_cast<size_t>(lam.iu));
  }
  m = 0;
  for (size_t k = first; k < last; ++k) {
    const int i = finite[k];
    const double lambda = 1.0 / mu[i];
    if (lam.range == 'V' && !(lam.vl < lambda && lambda <= lam.vu)) continue;
    // yᵀ·K·y = 1 and yᵀ·M·y = μ: scaled so that xᵀ·M·x = ±1.
    const double scale = 1.0 / std::sqrt(std::fabs(mu[i]));
    const double* src = y.data() + static_cast<size_t>(i) * n;
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
    // decides. dpotrf overwrites M even when it fails, and the reversed pencil needs the original.
    std::vector<double> Mcopy(M, M + Square(n));
    int info = 0;
    LAPACK_dpotrf(&uplo, &n, M, &n, &info);
    const bool singular = info == 0 && NearlySingular(n, M);
    if (info == 0 && !singular) {
      status = ReducedPairs(uplo, n, K, M, sel, numFound, eigenvalues, eigenvectors);
    } else {
      // M indefinite or singular to working precision: through K if K is positive definite. A merely nearly
      // singular M still has its factor, the way back when K is not.
      mOrder = info > 0 ? info : 0;
      std::vector<double> Kcopy;
      if (singular) Kcopy.assign(K, K + Square(n));
      reversed = true;
      status = ReversedPencil(uplo, n, K, Mcopy.data(), singular, bound1, bound2, option, numFound, eigenvalues,
                              eigenvectors);
      if (status > n) {
        kOrder = status - n;
        numFound = 0;
        if (singular) {
          reversed = false;
          std::copy(Kcopy.begin(), Kcopy.end(), K);
          status = ReducedPairs(uplo, n, K, M, sel, numFound, eigenvalues, eigenvectors);
        }
      }
    }
    if (status != 0) status = kOrder > 0 && !singular ? kNotDefinite : SolverStatus(status);
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
    if (reversed && mOrder == 0) std::fprintf(log, ", M singular to working precision");
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
