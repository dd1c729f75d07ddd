// QORMtxBLA real solves by residual, on the built-in kernels and on the LAPACK hook package; the diagonal add hook.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "QORLapackHooks.h"
#include "bla_test_util.h"
#include "qormtx_death.h"

namespace {

using bla_test::Dense;
using bla_test::kNaN;
using bla_test::M;
using B = QORMtxBLA;

// ‖A·X − B‖∞ / (‖A‖·‖X‖ + ‖B‖), elementwise maxima.
double ScaledResidual(const Dense& a, const M& X, const Dense& b) {
  const Dense x = naive::FromMatrix(X), ax = naive::Product(a, x);
  double r = 0.0;
  for (size_t e = 0; e < ax.a.size(); ++e) r = std::max(r, std::fabs(ax.a[e] - b.a[e]));
  return r / (naive::MaxAbs(a) * naive::MaxAbs(x) * a.rows + naive::MaxAbs(b));
}

class SolveReal : public bla_test::DispatchGuard,
                  public ::testing::WithParamInterface<std::tuple<M::MtxType, int, int, bool, bool>> {};

TEST_P(SolveReal, ResidualIsSmall) {
  const auto [type, n, nrhs, inPlace, lapackHooks] = GetParam();
  if (lapackHooks) QORLapackHooks_Install();
  // Symmetric indefinite for SYMM (the kernel reads the lower triangle, so the upper one holds NaN), general else.
  const Dense a = type == M::SYMM ? bla_test::RandomSymmetric(n, 40 + n) : naive::Random(n, n, 50 + n);
  M A = naive::ToMatrix(a, type);
  if (type == M::SYMM)
    for (int j = 1; j < n; ++j)
      for (int i = 0; i < j; ++i) A.FastGet(i, j) = kNaN;
  const Dense b = naive::Random(n, nrhs, 60 + nrhs);
  M Bm = naive::ToMatrix(b), X;
  const int status = inPlace ? B::Solve(A, Bm, Bm, 0) : B::Solve(A, Bm, X, 0);
  ASSERT_EQ(status, 0);
  const M& solution = inPlace ? Bm : X;
  EXPECT_EQ(solution.NumberOfRows(), n);
  EXPECT_EQ(solution.NumberOfColumns(), nrhs);
  EXPECT_LT(ScaledResidual(a, solution, b), 1e-14);
  EXPECT_TRUE(inPlace || naive::Near(Bm, b, 0.0)) << "B must stay as it was";
  EXPECT_TRUE(n == 1 || !naive::Near(A, a, 1e-3)) << "A holds the factors now";
}

INSTANTIATE_TEST_SUITE_P(TypesShapes, SolveReal,
                         ::testing::Combine(::testing::Values(M::SYMM, M::UNKNOWN), ::testing::Values(1, 7, 90),
                                            ::testing::Values(1, 3), ::testing::Bool(), ::testing::Bool()));

class SolveStatus : public bla_test::DispatchGuard, public ::testing::WithParamInterface<bool> {};

TEST_P(SolveStatus, ExactlySingularIsReportedByStatus) {
  if (GetParam()) QORLapackHooks_Install();
  for (M::MtxType type : {M::SYMM, M::UNKNOWN}) {
    Dense a = bla_test::RandomSymmetric(6, 3);
    for (int i = 0; i < 6; ++i) a(i, 2) = a(2, i) = 0.0;  // unknown 3 is not coupled at all
    M A = naive::ToMatrix(a, type), X;
    const int status = B::Solve(A, naive::ToMatrix(naive::Random(6, 2, 4)), X, 0);
    EXPECT_GT(status, 0) << "type " << type;
    EXPECT_LE(status, 6);
  }
}

INSTANTIATE_TEST_SUITE_P(BuiltInAndHooks, SolveStatus, ::testing::Bool());

class LapackHooksPackage : public bla_test::DispatchGuard {};

TEST_F(LapackHooksPackage, InstallSetsOwnHooksAndUninstallRemovesThem) {
  QORMtxBlaUtilities::SetEigenSolve(nullptr);
  QORMtxBlaUtilities::SetUnsymmSolve(nullptr);
  QORLapackHooks_Install();
  EXPECT_NE(QORMtxBlaUtilities::m_eigenSolve, nullptr);
  EXPECT_NE(QORMtxBlaUtilities::m_diagAdd, nullptr);
  EXPECT_NE(QORMtxBlaUtilities::m_solve, nullptr);
  EXPECT_EQ(QORMtxBlaUtilities::m_unsymmSolve, nullptr);  // dgesv is already what the built-in path runs

  // DiagAdd on a 3 × 4 block inside a leading dimension of 5: only the three diagonal values move.
  std::vector<double> a(5 * 4, 1.0);
  const double d[3] = {1, 2, 3};
  QORMtxBlaUtilities::DiagAdd(3, 4, -2.0, d, a.data(), 5, 0);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i + 5 * j], i == j && i < 3 ? 1.0 - 2.0 * d[i] : 1.0) << i << "," << j;

  QORLapackHooks_Uninstall();
  EXPECT_EQ(QORMtxBlaUtilities::m_eigenSolve, nullptr);
  EXPECT_EQ(QORMtxBlaUtilities::m_diagAdd, nullptr);
  EXPECT_EQ(QORMtxBlaUtilities::m_solve, nullptr);
}

TEST_F(LapackHooksPackage, ComplexSymmetricSolveHook) {
  // A complex symmetric (Aᵀ = A, not Hermitian) system through the hook, checked by its residual.
  const int n = 4;
  const Dense re = bla_test::RandomSymmetric(n, 5), im = bla_test::RandomSymmetric(n, 6);
  std::vector<double> a(2 * n * n), b(2 * n), x;
  for (int k = 0; k < n * n; ++k) {
    a[2 * k] = re.a[k] + (k % (n + 1) == 0 ? 4.0 : 0.0);
    a[2 * k + 1] = im.a[k];
  }
  for (int i = 0; i < 2 * n; ++i) b[i] = 0.25 * i - 1.0;
  std::vector<double> factor = a;
  x = b;
  ASSERT_EQ(QORLapackHooks::ComplexSolve(0, 0, n, 1, 144, factor.data(), n, x.data(), n, 0), 0);
  for (int i = 0; i < n; ++i) {
    double rr = -b[2 * i], ri = -b[2 * i + 1];
    for (int j = 0; j < n; ++j) {
      const double ar = a[2 * (i + n * j)], ai = a[2 * (i + n * j) + 1];
      rr += ar * x[2 * j] - ai * x[2 * j + 1];
      ri += ar * x[2 * j + 1] + ai * x[2 * j];
    }
    EXPECT_NEAR(rr, 0.0, 1e-12);
    EXPECT_NEAR(ri, 0.0, 1e-12);
  }
}

TEST(BlaSolveDeath, Preconditions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  M diag = naive::Diagonal({1, 2}), full(2, 2), rect(2, 3), rhs(2, 1), X, empty;
  EXPECT_QORMTX_ASSERTION(B::Solve(empty, rhs, X, 0), "!!A && !!B");
  EXPECT_QORMTX_ASSERTION(B::Solve(diag, rhs, X, 0),
                          "A.Type() == QORMtxMatrix::UNKNOWN || A.Type() == QORMtxMatrix::SYMM");
  EXPECT_QORMTX_ASSERTION(B::Solve(full, diag, X, 0), "B.Type() != QORMtxMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::Solve(rect, rhs, X, 0), "numRowsA == numColsA && numRowsA == numRowsB");
  M rhs3(3, 1);
  EXPECT_QORMTX_ASSERTION(B::Solve(full, rhs3, X, 0), "numRowsA == numColsA && numRowsA == numRowsB");
}

}  // namespace
