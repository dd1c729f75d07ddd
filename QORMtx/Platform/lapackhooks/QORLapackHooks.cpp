// QORLapackHooks: an external linear-algebra package on LAPACK for the kernel dispatch table of QORMtxBlaUtilities.
#include "QORLapackHooks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "QORMtxBlaUtilities.h"
#include "blac.h"

namespace {

// The kernel library's thread count for the duration of one hook call.
class KernelThreads {
 public:
  explicit KernelThreads(int numThreads) : m_previous(blac_get_num_threads()) {
    m_changed = numThreads > 0 && numThreads != m_previous;
    if (m_changed) blac_set_num_threads(&numThreads);
  }
  ~KernelThreads() {
    if (m_changed) blac_set_num_threads(&m_previous);
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
    s.il = std::max(1, static_cast<int>(std::lround(bound1)));
    s.iu = std::min(n, static_cast<int>(std::lround(bound2)));
    s.empty = s.il > s.iu;
  } else if (bound1 < bound2) {
    s.range = 'V';
    s.vl = bound1;
    s.vu = bound2;
  }
  return s;
}

// Eigenpairs of the standard problem held in A (destroyed), by dsyevr with queried workspaces. z needs n × n.
int StandardPairs(char uplo, int n, double* A, const Selection& sel, int& m, double* w, double* z) {
  const char jobz = 'V', safeMin = 'S';
  const double abstol = blac_dlamch(&safeMin);
  std::vector<int> isuppz(2 * static_cast<size_t>(n));
  double workQuery = 0.0;
  int iworkQuery = 0, lwork = -1, liwork = -1, info = 0;
  blac_dsyevr(&jobz, &sel.range, &uplo, &n, A, &n, &sel.vl, &sel.vu, &sel.il, &sel.iu, &abstol, &m, w, z, &n,
              isuppz.data(), &workQuery, &lwork, &iworkQuery, &liwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(workQuery), 1);
  liwork = std::max(iworkQuery, 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int> iwork(static_cast<size_t>(liwork));
  blac_dsyevr(&jobz, &sel.range, &uplo, &n, A, &n, &sel.vl, &sel.vu, &sel.il, &sel.iu, &abstol, &m, w, z, &n,
              isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info);
  return info;
}

// x = U⁻¹·y ('U', F = Uᵀ·U) or x = L⁻ᵀ·y ('L', F = L·Lᵀ) over m columns: y orthonormal gives xᵀ·F·x = I.
void BackTransform(char uplo, int n, int m, const double* factor, double* z) {
  if (m == 0) return;
  const char left = 'L', nonUnit = 'N', trans = uplo == 'U' ? 'N' : 'T';
  const double one = 1.0;
  blac_dtrsm(&left, &uplo, &trans, &nonUnit, &n, &m, &one, factor, &n, z, &n);
}

// K·x = λ·M·x with M positive definite; K and M overwritten. Returns 0 or the LAPACK-style status.
int DefinitePencil(char uplo, int n, double* K, double* M, const Selection& sel, int& m, double* w, double* z) {
  int info = 0;
  blac_dpotrf(&uplo, &n, M, &n, &info);
  if (info != 0) return n + info;
  const int itype = 1;
  blac_dsygst(&itype, &uplo, &n, K, &n, M, &n, &info);
  if (info != 0) return info;
  info = StandardPairs(uplo, n, K, sel, m, w, z);
  if (info != 0) return info;
  BackTransform(uplo, n, m, M, z);
  return 0;
}

// M·x = μ·K·x with K positive definite (M singular or indefinite), turned into K·x = λ·M·x with λ = 1/μ for
// the μ that are not negligible; selection on the finite λ. Mcopy holds the original M.
int ReversedPencil(char uplo, int n, double* K, double* Mcopy, double bound1, double bound2, int option, int& m,
                   double* w, double* z) {
  std::vector<double> mu(static_cast<size_t>(n)), y(static_cast<size_t>(n) * n);
  int all = 0;
  const int info = DefinitePencil(uplo, n, Mcopy, K, Selection(), all, mu.data(), y.data());
  if (info != 0) return info;
  double muMax = 0.0;
  for (double v : mu) muMax = std::max(muMax, std::fabs(v));
  const double tiny = n * 2.220446049250313e-16 * muMax;
  std::vector<int> finite;
  for (int i = 0; i < all; ++i)
    if (std::fabs(mu[i]) > tiny) finite.push_back(i);
  std::sort(finite.begin(), finite.end(), [&](int a, int b) { return 1.0 / mu[a] < 1.0 / mu[b]; });

  // The same selection rules as the definite path, applied to the ascending finite λ.
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
    const double* src = y.data() + static_cast<size_t>(i) * n;
    double* dst = z + static_cast<size_t>(m) * n;
    for (int r = 0; r < n; ++r) dst[r] = scale * src[r];
    w[m++] = lambda;
  }
  return 0;
}

}  // namespace

namespace QORLapackHooks {

int EigenSolve(char uplo, int n, double* K, double* M, double bound1, double bound2, bool flag, int numThreads,
               int& numFound, double* eigenvalues, double* eigenvectors, FILE* log, int option) {
  KernelThreads threads(numThreads);
  numFound = 0;
  const Selection sel = Select(n, bound1, bound2, option);
  int status = 0;
  bool reversed = false;
  if (!sel.empty) {
    // dpotrf overwrites M even when it fails, so the fallback needs the original.
    std::vector<double> Mcopy;
    if (flag) Mcopy.assign(M, M + static_cast<size_t>(n) * n);
    status = DefinitePencil(uplo, n, K, M, sel, numFound, eigenvalues, eigenvectors);
    if (flag && status > n) {
      reversed = true;
      numFound = 0;
      status = ReversedPencil(uplo, n, K, Mcopy.data(), bound1, bound2, option, numFound, eigenvalues, eigenvectors);
    }
  }
  if (log)
    std::fprintf(log, "QORLapackHooks::EigenSolve n = %d, %s pencil, %s, found %d, status %d\n", n,
                 reversed ? "reversed" : "definite",
                 sel.range == 'A'   ? "all pairs"
                 : sel.range == 'V' ? "value interval"
                                    : "index range",
                 numFound, status);
  return status;
}

void DiagAdd(int n, int m, int, double alpha, const double* d, double* A, int lda, int numThreads) {
  KernelThreads threads(numThreads);
  const int count = std::min(n, m), one = 1, step = lda + 1;
  blac_daxpy(&count, &alpha, d, &one, A, &step);
}

int Solve(double, double, int n, int nrhs, int, double* A, int lda, double* B, int ldb, int numThreads) {
  KernelThreads threads(numThreads);
  const char lower = 'L';
  std::vector<int> ipiv(static_cast<size_t>(std::max(n, 1)));
  double query = 0.0;
  int lwork = -1, info = 0;
  blac_dsysv(&lower, &n, &nrhs, A, &lda, ipiv.data(), B, &ldb, &query, &lwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(query), 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  blac_dsysv(&lower, &n, &nrhs, A, &lda, ipiv.data(), B, &ldb, work.data(), &lwork, &info);
  return info;
}

int ComplexSolve(double, double, int n, int nrhs, int, double* A, int lda, double* B, int ldb, int numThreads) {
  KernelThreads threads(numThreads);
  const char lower = 'L';
  std::vector<int> ipiv(static_cast<size_t>(std::max(n, 1)));
  double query[2] = {0.0, 0.0};
  int lwork = -1, info = 0;
  blac_zsysv(&lower, &n, &nrhs, A, &lda, ipiv.data(), B, &ldb, query, &lwork, &info);
  if (info != 0) return info;
  lwork = std::max(static_cast<int>(query[0]), 1);
  std::vector<double> work(2 * static_cast<size_t>(lwork));
  blac_zsysv(&lower, &n, &nrhs, A, &lda, ipiv.data(), B, &ldb, work.data(), &lwork, &info);
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
