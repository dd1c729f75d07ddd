// QORMtxBLA solves by residual; eigen solves by residual, M-orthonormality, ordering and a direct LAPACK reference,
// through the LAPACK hook package and through a recording test hook; massless condensation; QORMtxEigenSolvers.
#include <gtest/gtest.h>
#include <lapacke.h>

#include <complex>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "QORBasVector.h"
#include "QORLapackHooks.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxEigenSolvers.h"
#include "bla_test_util.h"
#include "qormtx_death.h"

namespace {

using namespace bla_test;
using CM = QORMtxComplexMatrix;
using cplx = std::complex<double>;

// ---- Solves ----

// ‖A·X − B‖ / (n·‖A‖·‖X‖ + ‖B‖), elementwise maxima.
double SolveResidual(const Dense& a, const M& X, const Dense& b) {
  const Dense x = naive::FromMatrix(X), ax = naive::Product(a, x);
  double r = 0.0;
  for (size_t e = 0; e < ax.a.size(); ++e) r = std::max(r, std::fabs(ax.a[e] - b.a[e]));
  return r / (naive::MaxAbs(a) * naive::MaxAbs(x) * a.rows + naive::MaxAbs(b));
}

class SolveReal : public DispatchGuard,
                  public ::testing::WithParamInterface<std::tuple<M::MtxType, int, bool, bool>> {};

TEST_P(SolveReal, ResidualIsSmall) {
  const auto [type, n, inPlace, lapackHooks] = GetParam();
  if (lapackHooks) QORLapackHooks_Install();
  const Dense a = type == M::SYMM ? RandomSymmetric(n, 40 + n) : naive::Random(n, n, 50 + n),
              b = naive::Random(n, 3, 6);
  M A = naive::ToMatrix(a, type), Bm = naive::ToMatrix(b), X;
  for (int j = 1; j < n && type == M::SYMM; ++j)  // the symmetric kernels read the lower triangle only
    for (int i = 0; i < j; ++i) A.FastGet(i, j) = kNaN;
  ASSERT_EQ(inPlace ? B::Solve(A, Bm, Bm, 0) : B::Solve(A, Bm, X, 0), 0);
  EXPECT_LT(SolveResidual(a, inPlace ? Bm : X, b), 1e-14);
  EXPECT_TRUE(inPlace || naive::Near(Bm, b, 0.0)) << "B must stay as it was";

  Dense s = a;  // unknown 3 uncoupled: an exactly zero pivot comes back as a positive status
  for (int i = 0; i < n; ++i) s(i, std::min(2, n - 1)) = s(std::min(2, n - 1), i) = 0.0;
  M S = naive::ToMatrix(s, type);
  const int status = B::Solve(S, naive::ToMatrix(b), X, 0);
  EXPECT_TRUE(status > 0 && status <= n) << status;
}

INSTANTIATE_TEST_SUITE_P(TypesShapes, SolveReal,
                         ::testing::Combine(::testing::Values(M::SYMM, M::UNKNOWN), ::testing::Values(1, 7, 90),
                                            ::testing::Bool(), ::testing::Bool()));

class SolveComplex : public DispatchGuard, public ::testing::WithParamInterface<std::tuple<CM::MtxType, bool>> {};

TEST_P(SolveComplex, ResidualIsSmall) {
  const auto [type, inPlace] = GetParam();
  QORLapackHooks_Install();  // SYMM goes to the package's zsysv, the others to the library's own paths
  const int n = 6;
  const Dense re = RandomSymmetric(n, 8), im = RandomSymmetric(n, 9), b = naive::Random(n, 2, 10);
  CM A(n, n, type), Bm(n, 2), X;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      if (type != CM::DIAG || i == j) A.Values(i, j)[0] = re(i, j) + (i == j ? 3.0 : 0.0), A.Values(i, j)[1] = im(i, j);
      if (j < 2) Bm.Values(i, j)[0] = b(i, j), Bm.Values(i, j)[1] = -b(i, j);
    }
  const CM A0(A);
  ASSERT_EQ(inPlace ? B::Solve(A, Bm, Bm, 0) : B::Solve(A, Bm, X, 0), 0);
  const auto at = [](const CM& c, bool diagonal) -> dispatch_test::Elem {  // zeros off a DIAG diagonal
    return
        [&c, diagonal](int i, int j) { return diagonal && i != j ? 0.0 : cplx(c.Values(i, j)[0], c.Values(i, j)[1]); };
  };
  const dispatch_test::Elem rhs = [&b](int i, int j) { return cplx(b(i, j), -b(i, j)); };
  // |B| ≤ √2, so the relative error below 7e-14 keeps every residual below 1e-13.
  EXPECT_LT(dispatch_test::ProductError(at(A0, type == CM::DIAG), at(inPlace ? Bm : X, false), rhs, n, 2, n), 7e-14);
}

INSTANTIATE_TEST_SUITE_P(Types, SolveComplex,
                         ::testing::Combine(::testing::Values(CM::SYMM, CM::UNKNOWN, CM::DIAG), ::testing::Bool()));

TEST_F(DispatchGuard, LapackPackageInstallsItsHooksAndAddsDiagonals) {
  QORLapackHooks_Install();
  EXPECT_TRUE(QORMtxBlaUtilities::m_eigenSolve && QORMtxBlaUtilities::m_diagAdd && QORMtxBlaUtilities::m_solve);
  std::vector<double> a(5 * 4, 1.0);  // a 3 × 4 block inside a leading dimension of 5
  const double d[3] = {1, 2, 3};
  QORMtxBlaUtilities::DiagAdd(3, 4, -2.0, d, a.data(), 5, 0);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i + 5 * j], i == j && i < 3 ? 1.0 - 2.0 * d[i] : 1.0) << i << "," << j;
  QORLapackHooks_Uninstall();
  EXPECT_FALSE(QORMtxBlaUtilities::m_eigenSolve || QORMtxBlaUtilities::m_diagAdd || QORMtxBlaUtilities::m_solve);
}

// ---- Eigen solves through two kernels: the LAPACK package and a recording hook on QORMtxEigenSolvers ----

struct EigenCall {
  int calls = 0, n = 0, threads = 0, option = -1;
  char uplo = 0;
  double bound1 = 0, bound2 = 0;
  bool flag = false;
} g_call;
int g_forcedStatus = 0;

int RecordingEigen(char uplo, int n, double* K, double* Mm, double bound1, double bound2, bool flag, int numThreads,
                   int& numFound, double* w, double* z, FILE*, int option) {
  g_call = EigenCall{g_call.calls + 1, n, numThreads, option, uplo, bound1, bound2, flag};
  if (g_forcedStatus != 0) return g_forcedStatus;
  const bool interval = bound1 < bound2;
  return QORMtxEigenSolvers::Generalized(n, K, Mm, numFound, w, z, interval ? bound1 : -1e300,
                                         interval ? bound2 : 1e300);
}

enum Backend { LAPACK_HOOKS, RECORDING_HOOK };

class EigenFixture : public DispatchGuard {
 protected:
  void Use(Backend b) {
    g_call = EigenCall();
    g_forcedStatus = 0;
    b == LAPACK_HOOKS ? QORLapackHooks_Install() : QORMtxBlaUtilities::SetEigenSolve(&RecordingEigen);
  }
};

std::vector<double> Reference(Dense k, Dense m) {  // eigenvalues by LAPACK's dsygv, ascending
  std::vector<double> w(static_cast<size_t>(k.rows));
  EXPECT_EQ(LAPACKE_dsygv(LAPACK_COL_MAJOR, 1, 'N', 'U', k.rows, k.a.data(), k.rows, m.a.data(), k.rows, w.data()), 0);
  return w;
}

Dense Scaled(Dense d, double s) {
  for (double& v : d.a) v *= s;
  return d;
}

enum Problem { WELL, CLUSTERED, DIAG_MASS, NO_MASS, DIAG_STIFFNESS };

class EigenSolveReal : public EigenFixture, public ::testing::WithParamInterface<std::tuple<Backend, Problem>> {};

TEST_P(EigenSolveReal, PairsAreAccurateOrthonormalAndAscending) {
  const auto [backend, problem] = GetParam();
  Use(backend);
  const int n = 10;
  Dense k = naive::SymmetricPositive(n, 70), m = Scaled(naive::SymmetricPositive(n, 80), 0.01);
  if (problem == CLUSTERED) {  // Q·Λ·Qᵀ with a triple and pairs 1e-9 and 1e-12 apart, identity mass
    Dense q = naive::Random(n, n, 90), l(n, n);
    std::vector<double> tau(n);
    LAPACKE_dgeqrf(LAPACK_COL_MAJOR, n, n, q.a.data(), n, tau.data());
    LAPACKE_dorgqr(LAPACK_COL_MAJOR, n, n, n, q.a.data(), n, tau.data());
    const double lambdas[] = {1, 1, 1, 1 + 1e-9, 2, 2, 5, 5 + 1e-12, 7, 9};
    for (int i = 0; i < n; ++i) l(i, i) = lambdas[i];
    k = naive::Product(naive::Product(q, l), naive::Transpose(q));
  }
  if (problem == CLUSTERED || problem == NO_MASS) m = naive::DiagonalDense(std::vector<double>(n, 1.0));
  if (problem == DIAG_MASS) m = DiagonalPart(m);
  if (problem == DIAG_STIFFNESS) k = DiagonalPart(k);
  M K = Make(k, problem == DIAG_STIFFNESS ? M::DIAG : M::SYMM), E, X;
  M Mm = problem == NO_MASS ? M() : Make(m, problem == DIAG_MASS ? M::DIAG : M::SYMM);
  ASSERT_EQ(B::EigenSolve(K, Mm, E, X, 0.0, 0.0, 2), 0);
  ASSERT_TRUE(E.IsDiagonal() && E.NumberOfRows() == n && X.NumberOfColumns() == n && X.Type() == M::UNKNOWN);
  const PairQuality q = Quality(k, m, E, X);
  EXPECT_LT(q.residual, 1e-14);
  EXPECT_LT(q.orthogonality, 1e-11);
  EXPECT_TRUE(q.ascending);
  const std::vector<double> ref = Reference(k, m);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(E.value(i, i), ref[i], 1e-12 * ref[n - 1]) << i;
  if (backend == RECORDING_HOOK) {  // what the kernel is handed; every mass here passes the positive-definiteness test
    EXPECT_EQ(std::make_tuple(g_call.calls, g_call.uplo, g_call.n, g_call.threads, g_call.option, g_call.flag),
              std::make_tuple(1, 'U', n, 2, 0, false));
  }
}

INSTANTIATE_TEST_SUITE_P(BackendsProblems, EigenSolveReal,
                         ::testing::Combine(::testing::Values(LAPACK_HOOKS, RECORDING_HOOK),
                                            ::testing::Values(WELL, CLUSTERED, DIAG_MASS, NO_MASS, DIAG_STIFFNESS)));

// 9 unknowns: mass on 0, 1, 3, 4, 6, 7; massless with stiffness at 2 and 5; unknown 8 (if any) has neither.
struct Massless {
  std::vector<int> mass = {0, 1, 3, 4, 6, 7}, massless = {2, 5};  // declared first: the matrices are built from them
  Dense k, m;
  explicit Massless(int n)
      : k(naive::Put(Dense(n, n), naive::Range(0, 7), naive::Range(0, 7), naive::SymmetricPositive(8, 123))),
        m(naive::Put(Dense(n, n), mass, mass, Scaled(naive::SymmetricPositive(6, 321), 0.1))) {}
  // Eigenvalues of the statically condensed pencil K11 − K12·K22⁻¹·K21 against M11, by LAPACK directly.
  std::vector<double> Condensed() const {
    const Dense k12 = naive::Pick(k, mass, massless);
    Dense k22 = naive::Pick(k, massless, massless), y = naive::Transpose(k12);
    std::vector<int> ipiv(2);
    EXPECT_EQ(LAPACKE_dgesv(LAPACK_COL_MAJOR, 2, 6, k22.a.data(), 2, ipiv.data(), y.a.data(), 2), 0);
    return Reference(naive::Lin(1, naive::Pick(k, mass, mass), -1, naive::Product(k12, y)), naive::Pick(m, mass, mass));
  }
};

class EigenBackends : public EigenFixture, public ::testing::WithParamInterface<Backend> {};

TEST_P(EigenBackends, ValueIntervalShrinksOutputsAndGeneralSolvesUncondensedProblems) {
  Use(GetParam());
  const Dense k = naive::SymmetricPositive(10, 70), m = Scaled(naive::SymmetricPositive(10, 80), 0.01);
  const std::vector<double> ref = Reference(k, m);
  const double lo = 0.5 * (ref[1] + ref[2]), hi = 0.5 * (ref[5] + ref[6]);  // pairs 2..5
  M K = naive::ToMatrix(k, M::SYMM), Mm = naive::ToMatrix(m, M::SYMM), E, X, zero(10, 10, M::SYMM);
  ASSERT_EQ(B::EigenSolve(K, Mm, E, X, lo, hi, 0), 0);
  ASSERT_TRUE(E.NumberOfRows() == 4 && X.NumberOfColumns() == 4 && X.NumberOfRows() == 10);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(E.value(i, i), ref[i + 2], 1e-10 * ref[9]);
  EXPECT_LT(Quality(k, m, E, X).residual, 1e-14);
  EXPECT_TRUE(GetParam() == LAPACK_HOOKS ||
              (g_call.bound1 == lo && g_call.bound2 == hi && g_call.threads == QORMtxBlaUtilities::m_numThreads));

  K = naive::ToMatrix(k, M::SYMM), Mm = naive::ToMatrix(m, M::SYMM);
  ASSERT_EQ(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), 0);  // no trivial columns: the full problem
  EXPECT_EQ(E.NumberOfRows(), 10);
  EXPECT_LT(Quality(k, m, E, X).residual, 1e-14);
  g_call = EigenCall();
  zero.Assign(0.0);
  K = naive::ToMatrix(k, M::SYMM);
  const M before = E;
  EXPECT_EQ(B::EigenSolveGeneral(K, zero, E, X, 0, 0, 0), 6);  // B wholly zero: 6, outputs as they were
  EXPECT_TRUE(E == before && X.NumberOfColumns() == 10 && g_call.calls == 0);
}

TEST_P(EigenBackends, GeneralCondensesMasslessUnknowns) {
  Use(GetParam());
  const Massless s(9);
  M K = naive::ToMatrix(s.k, M::SYMM), Mm = naive::ToMatrix(s.m, M::SYMM), E, X;
  ASSERT_EQ(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), 0);
  ASSERT_TRUE(E.NumberOfRows() == 6 && X.NumberOfRows() == 9 && X.NumberOfColumns() == 6);
  const PairQuality q = Quality(s.k, s.m, E, X);  // all nine rows: K21·x1 + K22·x2 = 0 included
  EXPECT_LT(q.residual, 1e-13);
  EXPECT_LT(q.orthogonality, 1e-11);
  EXPECT_TRUE(q.ascending);
  const std::vector<double> ref = s.Condensed();
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(E.value(i, i), ref[i], 1e-11 * ref[5]) << i;
  for (int p = 0; p < 6; ++p) EXPECT_EQ(X.value(8, p), 0.0);  // outside the massless set: a zero row
  EXPECT_TRUE(GetParam() == LAPACK_HOOKS || g_call.n == 6) << "the kernel sees the reduced problem only";
}

TEST_P(EigenBackends, FailingKernelStatusIsPassedOn) {
  Use(GetParam());
  M K = naive::ToMatrix(naive::SymmetricPositive(3, 1), M::SYMM), K0 = K, Mm, E, X;
  if (GetParam() == RECORDING_HOOK) {
    g_forcedStatus = 7;
    Mm = naive::ToMatrix(naive::SymmetricPositive(3, 2), M::SYMM);
  } else {  // both indefinite, yet M passes the cheap test: the package's own status
    Dense m(3, 3);
    m.a = {1, .9, .9, .9, 1, -.9, .9, -.9, 1};
    Mm = naive::ToMatrix(m, M::SYMM);
    K = naive::ToMatrix(m, M::SYMM);
    K0 = K;
    ASSERT_TRUE(Mm.IsPositiveDefinite());
  }
  M M0 = Mm;
  const int status = B::EigenSolve(K, Mm, E, X, 0, 0, 0);
  EXPECT_TRUE(status == 7 || status > 3) << status;
  EXPECT_EQ(B::EigenSolveGeneral(K0, M0, E, X, 0, 0, 0), status);
  EXPECT_TRUE(E.IsNull() && X.IsNull()) << "a failed general solve empties its outputs";
}

INSTANTIATE_TEST_SUITE_P(Backends, EigenBackends, ::testing::Values(LAPACK_HOOKS, RECORDING_HOOK));

TEST(EigenSolversBuiltIn, InclusiveRangeFirstAndIndefiniteB) {
  const Dense k0 = naive::SymmetricPositive(9, 70), m0 = Scaled(naive::SymmetricPositive(9, 80), 0.01);
  const std::vector<double> ref = Reference(k0, m0);
  const double shift = 0.5 * (ref[3] + ref[4]);  // K − shift·M: four negative eigenvalues, five positive
  Dense k = k0, m = m0;
  for (size_t e = 0; e < k.a.size(); ++e) k.a[e] -= shift * m0.a[e];
  std::vector<double> w(9), z(81);
  int found = 0;
  ASSERT_EQ(QORMtxEigenSolvers::Generalized(9, k.a.data(), m.a.data(), found, w.data(), z.data(), 0.0, 1e300), 0);
  ASSERT_EQ(found, 5);  // with lo = 0 too, the counted pairs come first
  for (int i = 0; i < found; ++i) EXPECT_NEAR(w[i], ref[4 + i] - shift, 1e-10 * ref[8]);
  k = k0, m = m0;
  m(4, 4) = -1.0;
  EXPECT_EQ(QORMtxEigenSolvers::Generalized(9, k.a.data(), m.a.data(), found, w.data(), z.data(), -1e300, 1e300), 4);
}

// The Harwell–Boeing oil rig: pair 04 (66 massless unknowns) condenses to the statically condensed pair 02.
Dense ReadSymmetricMatrixMarket(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line[0] == '%') {
  }
  int rows = 0, cols = 0, entries = 0, i = 0, j = 0;
  std::istringstream(line) >> rows >> cols >> entries;
  Dense d(rows, cols);
  for (double v = 0; entries-- > 0 && in >> i >> j >> v;) d(i - 1, j - 1) = d(j - 1, i - 1) = v;
  return d;
}

TEST_F(EigenFixture, OilRigCondensedPairMatchesStaticallyCondensedModel) {
  const std::string dir = std::string(QORMTX_SHARED_DATA) + "/hb/";
  if (!std::ifstream(dir + "bcsstk04.mtx") || !std::ifstream(dir + "bcsstm02.mtx")) GTEST_SKIP() << "no HB data";
  Use(LAPACK_HOOKS);
  const Dense k4 = ReadSymmetricMatrixMarket(dir + "bcsstk04.mtx"),
              m4 = ReadSymmetricMatrixMarket(dir + "bcsstm04.mtx");
  M K2 = naive::ToMatrix(ReadSymmetricMatrixMarket(dir + "bcsstk02.mtx"), M::SYMM), E2, X2, E4, X4;
  M M2 = naive::ToMatrix(ReadSymmetricMatrixMarket(dir + "bcsstm02.mtx"), M::SYMM);
  M K4 = naive::ToMatrix(k4, M::SYMM), M4 = naive::ToMatrix(m4, M::SYMM);
  QORBasVector<bool> flags;
  ASSERT_EQ(B::CheckForTrivialCols(M4, flags), 66);
  ASSERT_EQ(B::EigenSolveGeneral(K2, M2, E2, X2, 0, 0, 0), 0);
  ASSERT_EQ(B::EigenSolveGeneral(K4, M4, E4, X4, 0, 0, 0), 0);
  ASSERT_TRUE(E2.NumberOfRows() == 66 && E4.NumberOfRows() == 66);
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(E4.value(i, i), E2.value(i, i), 1e-7 * E2.value(i, i)) << i;
  EXPECT_NEAR(E4.value(0, 0), 43.26501366, 1e-6);
  const PairQuality q = Quality(k4, m4, E4, X4);
  EXPECT_LT(q.residual, 1e-12);
  EXPECT_LT(q.orthogonality, 1e-8);
}

TEST(EigenTrivialColumns, ToleranceIsRelativeToTheLargestEntry) {
  M m(3, 3);
  const double v[9] = {1.0, 0, 0, 2.22e-16, -2.22e-16, 0, 0, 3e-16, 0};
  std::copy(v, v + 9, m.Values());
  QORBasVector<bool> flags(5, true);
  EXPECT_EQ(B::CheckForTrivialCols(m, flags), 1);
  EXPECT_EQ(flags, QORBasVector<bool>({false, true, false}));  // 2.22e-16·max is trivial, 3e-16 is not
  m.Assign(0.0);
  EXPECT_EQ(B::CheckForTrivialCols(m, flags), 3);
}

TEST(EigenSolveComplex, LeftAndRightEigenvectors) {
  const int n = 5;
  const Dense re = naive::Random(n, n, 11), im = naive::Random(n, n, 12);
  CM A(n, n), E, XL, XR;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) A.Values(i, j)[0] = re(i, j), A.Values(i, j)[1] = im(i, j);
  ASSERT_EQ(B::EigenSolve(A, E, XL, XR, 0), 0);
  ASSERT_TRUE(E.IsDiagonal() && E.NumberOfRows() == n);
  auto at = [](const CM& x, int i, int j) { return cplx(x.Values(i, j)[0], x.Values(i, j)[1]); };
  for (int p = 0; p < n; ++p)
    for (int i = 0; i < n; ++i) {
      cplx right = -at(E, p, p) * at(XR, i, p), left = -at(E, p, p) * std::conj(at(XL, i, p));
      for (int k = 0; k < n; ++k) {
        const cplx aik(re(i, k), im(i, k)), aki(re(k, i), im(k, i));
        right += aik * at(XR, k, p);            // (A·xr − λ·xr)_i
        left += std::conj(at(XL, k, p)) * aki;  // (xlᴴ·A − λ·xlᴴ)_i
      }
      EXPECT_LT(std::abs(right) + std::abs(left), 1e-13) << p << "," << i;
    }
}

TEST_F(EigenFixture, FatalPreconditions) {
  M general = naive::ToMatrix(naive::Random(3, 3, 1)), symm = naive::ToMatrix(RandomSymmetric(3, 2), M::SYMM);
  M diag = naive::Diagonal({1, 2, 3}), rect(3, 4), rhs(3, 1), E, X, none;
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(symm, none, E, X, 0, 0, 0), "0");  // no eigen hook installed
  EXPECT_QORMTX_ASSERTION(B::Solve(none, rhs, X, 0), "!!A && !!B");
  EXPECT_QORMTX_ASSERTION(B::Solve(diag, rhs, X, 0),
                          "A.Type() == QORMtxMatrix::UNKNOWN || A.Type() == QORMtxMatrix::SYMM");
  EXPECT_QORMTX_ASSERTION(B::Solve(symm, diag, X, 0), "B.Type() != QORMtxMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::Solve(rect, rhs, X, 0), "numRowsA == numColsA && numRowsA == numRowsB");
  CM herm(2, 2, CM::HERM), full(2, 2), zd(2, 2, CM::DIAG), Z;
  EXPECT_QORMTX_ASSERTION(B::Solve(herm, full, Z, 0),
                          "A.Type() == QORMtxComplexMatrix::UNKNOWN || A.Type() == QORMtxComplexMatrix::SYMM || "
                          "A.Type() == QORMtxComplexMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(zd, Z, Z, Z, 0), "!!A && A.IsSquare() && !A.IsDiagonal()");
  Use(RECORDING_HOOK);
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(none, symm, E, X, 0, 0, 0), "!!A");
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(rect, none, E, X, 0, 0, 0), "n == numColsA");
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(symm, rect, E, X, 0, 0, 0), "n == numRowsB && n == numColsB");
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(general, symm, E, X, 0, 0, 0), "0");
  double buffer[4];
  M view(2, 2, buffer);
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(symm, diag, view, X, 0, 0, 0), "E.OwnMemory()");
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(symm, diag, E, view, 0, 0, 0), "X.OwnMemory()");
  EXPECT_QORMTX_ASSERTION(B::EigenSolveGeneral(symm, diag, E, X, 0, 0, 0), "!A.IsDiagonal() && !B.IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(B::EigenSolveGeneral(symm, rect, E, X, 0, 0, 0),
                          "n > 0 && A.IsSquare() && B.IsSquare() && B.NumberOfRows() == n");
  Dense k(3, 3), m(3, 3);  // massless unknown 2 coupled to unknown 0 without stiffness of its own: a constraint
  k(0, 0) = k(1, 1) = m(0, 0) = m(1, 1) = 2.0;
  k(0, 2) = k(2, 0) = 1.0;
  M K = naive::ToMatrix(k, M::SYMM), Mm = naive::ToMatrix(m, M::SYMM);
  EXPECT_QORMTX_ASSERTION(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), "0 && \"Lambda Set is not Empty\\n\"");
}

}  // namespace
