// QORMtxBLA eigen solves and QORMtxEigenSolvers: residuals, M-orthonormality, ordering and agreement with a direct
// LAPACK reference, through the LAPACK hook package and through a counting test hook; massless condensation.
#include <gtest/gtest.h>
#include <lapacke.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "QORBasVector.h"
#include "QORLapackHooks.h"
#include "QORMtxEigenSolvers.h"
#include "bla_test_util.h"
#include "qormtx_death.h"

namespace {

using bla_test::Dense;
using bla_test::M;
using B = QORMtxBLA;

// ---- A test hook: records its arguments and solves with the library's own generalised solver ----

struct EigenCall {
  int calls = 0, n = 0, threads = 0, option = -1;
  char uplo = 0;
  double bound1 = 0, bound2 = 0;
  bool flag = false;
  FILE* log = nullptr;
};
EigenCall g_call;
int g_forcedStatus = 0;

int CountingEigen(char uplo, int n, double* K, double* Mm, double bound1, double bound2, bool flag, int numThreads,
                  int& numFound, double* w, double* z, FILE* log, int option) {
  g_call.calls++;
  g_call = EigenCall{g_call.calls, n, numThreads, option, uplo, bound1, bound2, flag, log};
  if (g_forcedStatus != 0) return g_forcedStatus;
  const double inf = std::numeric_limits<double>::infinity();
  const bool interval = bound1 < bound2;
  return QORMtxEigenSolvers::Generalized(n, K, Mm, numFound, w, z, interval ? bound1 : -inf, interval ? bound2 : inf);
}

enum Backend { LAPACK_HOOKS, COUNTING_HOOK };

class EigenFixture : public bla_test::DispatchGuard {
 protected:
  void Use(Backend b) {
    g_call = EigenCall();
    g_forcedStatus = 0;
    if (b == LAPACK_HOOKS)
      QORLapackHooks_Install();
    else
      QORMtxBlaUtilities::SetEigenSolve(&CountingEigen);
  }
};

// Eigenvalues of (K, Mass) by LAPACK's dsygv on copies, ascending.
std::vector<double> Reference(const Dense& K, const Dense& Mass) {
  Dense k = K, m = Mass;
  std::vector<double> w(static_cast<size_t>(K.rows));
  EXPECT_EQ(LAPACKE_dsygv(LAPACK_COL_MAJOR, 1, 'N', 'U', K.rows, k.a.data(), K.rows, m.a.data(), K.rows, w.data()), 0);
  return w;
}

// An orthogonal n × n matrix: Gram–Schmidt on random columns.
Dense Orthogonal(int n, uint32_t seed) {
  Dense q = naive::Random(n, n, seed);
  for (int j = 0; j < n; ++j) {
    for (int p = 0; p < j; ++p) {
      double d = 0.0;
      for (int i = 0; i < n; ++i) d += q(i, p) * q(i, j);
      for (int i = 0; i < n; ++i) q(i, j) -= d * q(i, p);
    }
    double norm = 0.0;
    for (int i = 0; i < n; ++i) norm += q(i, j) * q(i, j);
    for (int i = 0; i < n; ++i) q(i, j) /= std::sqrt(norm);
  }
  return q;
}

Dense DiagonalOf(const Dense& d) {
  Dense r(d.rows, d.cols);
  for (int i = 0; i < d.rows; ++i) r(i, i) = d(i, i);
  return r;
}

enum Problem { WELL, CLUSTERED, DIAG_MASS, NO_MASS, DIAG_STIFFNESS };

struct Pencil {
  Dense k, m;
  M::MtxType typeK = M::SYMM, typeM = M::SYMM;
  bool absentM = false;
};

Pencil Make(Problem p, int n) {
  Pencil s;
  s.k = naive::SymmetricPositive(n, 70 + n);
  s.m = naive::SymmetricPositive(n, 80 + n);
  for (double& v : s.m.a) v *= 0.01;
  if (p == CLUSTERED) {  // a triple, near-doubles 1e-9 and 1e-12 apart, with an identity mass
    const double lambdas[] = {1, 1, 1, 1 + 1e-9, 2, 2, 5, 5 + 1e-12, 7, 9};
    const Dense q = Orthogonal(n, 90);
    Dense l(n, n);
    for (int i = 0; i < n; ++i) l(i, i) = lambdas[i % 10];
    s.k = naive::Product(naive::Product(q, l), naive::Transpose(q));
    s.m = naive::DiagonalDense(std::vector<double>(static_cast<size_t>(n), 1.0));
  } else if (p == DIAG_MASS) {
    s.m = DiagonalOf(s.m);
    s.typeM = M::DIAG;
  } else if (p == NO_MASS) {
    s.m = naive::DiagonalDense(std::vector<double>(static_cast<size_t>(n), 1.0));
    s.absentM = true;
  } else if (p == DIAG_STIFFNESS) {
    s.k = DiagonalOf(s.k);
    s.typeK = M::DIAG;
  }
  return s;
}

class EigenSolveReal : public EigenFixture, public ::testing::WithParamInterface<std::tuple<Backend, Problem>> {};

TEST_P(EigenSolveReal, PairsAreAccurateOrthonormalAndAscending) {
  const auto [backend, problem] = GetParam();
  Use(backend);
  const int n = 10;
  const Pencil p = Make(problem, n);
  M K = bla_test::Make(p.k, p.typeK), Mm = p.absentM ? M() : bla_test::Make(p.m, p.typeM), E, X;
  ASSERT_EQ(B::EigenSolve(K, Mm, E, X, 0.0, 0.0, 2), 0);
  ASSERT_TRUE(E.IsDiagonal());
  ASSERT_EQ(E.NumberOfRows(), n);
  ASSERT_EQ(X.NumberOfColumns(), n);
  EXPECT_EQ(X.Type(), M::UNKNOWN);
  const bla_test::PairQuality q = bla_test::Quality(p.k, p.m, E, X);
  EXPECT_LT(q.residual, 1e-14);
  EXPECT_LT(q.orthogonality, 1e-11);
  EXPECT_TRUE(q.ascending);
  const std::vector<double> ref = Reference(p.k, p.m);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(E.value(i, i), ref[i], 1e-12 * std::fabs(ref[n - 1])) << i;
  if (backend == COUNTING_HOOK) {
    EXPECT_EQ(g_call.calls, 1);
    EXPECT_EQ(g_call.uplo, 'U');
    EXPECT_EQ(g_call.n, n);
    EXPECT_EQ(g_call.threads, 2);
    EXPECT_EQ(g_call.option, 0);
    EXPECT_EQ(g_call.log, nullptr);
    EXPECT_FALSE(g_call.flag);  // every mass here passes the positive-definiteness test
  }
}

INSTANTIATE_TEST_SUITE_P(BackendsProblems, EigenSolveReal,
                         ::testing::Combine(::testing::Values(LAPACK_HOOKS, COUNTING_HOOK),
                                            ::testing::Values(WELL, CLUSTERED, DIAG_MASS, NO_MASS, DIAG_STIFFNESS)));

class EigenBackends : public EigenFixture, public ::testing::WithParamInterface<Backend> {};

TEST_P(EigenBackends, ValueIntervalShrinksOutputsAndBoundsPassUnchanged) {
  Use(GetParam());
  const Pencil p = Make(WELL, 10);
  const std::vector<double> ref = Reference(p.k, p.m);
  const double lo = 0.5 * (ref[1] + ref[2]), hi = 0.5 * (ref[5] + ref[6]);  // pairs 2..5
  M K = naive::ToMatrix(p.k, M::SYMM), Mm = naive::ToMatrix(p.m, M::SYMM), E, X;
  ASSERT_EQ(B::EigenSolve(K, Mm, E, X, lo, hi, 0), 0);
  ASSERT_EQ(E.NumberOfRows(), 4);
  ASSERT_EQ(X.NumberOfColumns(), 4);
  ASSERT_EQ(X.NumberOfRows(), 10);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(E.value(i, i), ref[i + 2], 1e-10 * ref[9]);
  EXPECT_LT(bla_test::Quality(p.k, p.m, E, X).residual, 1e-14);
  if (GetParam() == COUNTING_HOOK) {
    EXPECT_EQ(g_call.bound1, lo);
    EXPECT_EQ(g_call.bound2, hi);
    EXPECT_EQ(g_call.threads, QORMtxBlaUtilities::m_numThreads);
  }
}

TEST_P(EigenBackends, FailingKernelStatusIsPassedOnAndEmptiesGeneralOutputs) {
  Use(GetParam());
  const Pencil p = Make(WELL, 6);
  M K = naive::ToMatrix(p.k, M::SYMM), Mm, E, X;
  if (GetParam() == COUNTING_HOOK) {
    g_forcedStatus = 7;
    Mm = naive::ToMatrix(p.m, M::SYMM);
    EXPECT_EQ(B::EigenSolve(K, Mm, E, X, 0, 0, 0), 7);
    EXPECT_EQ(E.NumberOfRows(), 6);  // EigenSolve leaves the outputs as the kernel did
    K = naive::ToMatrix(p.k, M::SYMM);
    Mm = naive::ToMatrix(p.m, M::SYMM);
    EXPECT_EQ(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), 7);
  } else {
    // An indefinite mass that passes the cheap test (positive diagonal, |m_ij| < √(m_ii·m_jj)): the Cholesky
    // factorisation fails and, without the fallback flag, the LAPACK convention n + i comes back.
    Dense m(3, 3);
    const double v[9] = {1, .9, .9, .9, 1, -.9, .9, -.9, 1};
    m.a.assign(v, v + 9);
    K = naive::ToMatrix(naive::SymmetricPositive(3, 1), M::SYMM);
    Mm = naive::ToMatrix(m, M::SYMM);
    ASSERT_TRUE(Mm.IsPositiveDefinite());
    const int status = B::EigenSolve(K, Mm, E, X, 0, 0, 0);
    EXPECT_GT(status, 3);
    K = naive::ToMatrix(naive::SymmetricPositive(3, 1), M::SYMM);
    Mm = naive::ToMatrix(m, M::SYMM);
    EXPECT_EQ(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), status);
  }
  EXPECT_TRUE(E.IsNull());
  EXPECT_TRUE(X.IsNull());
}

// ---- Massless degrees of freedom ----

// 9 unknowns: mass on 0, 1, 3, 4, 6, 7; massless with stiffness at 2 and 5; unknown 8 has neither.
struct Massless {
  Dense k, m;
  std::vector<int> mass = {0, 1, 3, 4, 6, 7}, massless = {2, 5};
};

Massless MakeMassless(bool nullUnknown) {
  Massless s;
  const int n = nullUnknown ? 9 : 8;
  const Dense k8 = naive::SymmetricPositive(8, 123), m6 = naive::SymmetricPositive(6, 321);
  s.k = Dense(n, n);
  s.m = Dense(n, n);
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i) s.k(i, j) = k8(i, j);
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 6; ++i) s.m(s.mass[i], s.mass[j]) = 0.1 * m6(i, j);
  return s;
}

// Eigenvalues of the statically condensed pencil, K11 − K12·K22⁻¹·K21 against M11, by LAPACK directly.
std::vector<double> CondensedReference(const Massless& s) {
  const int nm = static_cast<int>(s.mass.size()), nz = static_cast<int>(s.massless.size());
  Dense k11(nm, nm), k12(nm, nz), k22(nz, nz), m11(nm, nm);
  for (int j = 0; j < nm; ++j)
    for (int i = 0; i < nm; ++i) k11(i, j) = s.k(s.mass[i], s.mass[j]), m11(i, j) = s.m(s.mass[i], s.mass[j]);
  for (int j = 0; j < nz; ++j) {
    for (int i = 0; i < nm; ++i) k12(i, j) = s.k(s.mass[i], s.massless[j]);
    for (int i = 0; i < nz; ++i) k22(i, j) = s.k(s.massless[i], s.massless[j]);
  }
  Dense y = naive::Transpose(k12);  // K22⁻¹·K21
  std::vector<int> ipiv(static_cast<size_t>(nz));
  EXPECT_EQ(LAPACKE_dgesv(LAPACK_COL_MAJOR, nz, nm, k22.a.data(), nz, ipiv.data(), y.a.data(), nz), 0);
  const Dense corr = naive::Product(k12, y);
  for (size_t e = 0; e < k11.a.size(); ++e) k11.a[e] -= corr.a[e];
  return Reference(k11, m11);
}

TEST_P(EigenBackends, GeneralCondensesMasslessUnknowns) {
  Use(GetParam());
  const Massless s = MakeMassless(true);
  M K = naive::ToMatrix(s.k, M::SYMM), Mm = naive::ToMatrix(s.m, M::SYMM), E, X;
  ASSERT_EQ(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), 0);
  ASSERT_EQ(E.NumberOfRows(), 6);
  ASSERT_EQ(X.NumberOfRows(), 9);
  ASSERT_EQ(X.NumberOfColumns(), 6);
  // The residual over all nine rows includes the massless equations K21·x1 + K22·x2 = 0.
  const bla_test::PairQuality q = bla_test::Quality(s.k, s.m, E, X);
  EXPECT_LT(q.residual, 1e-13);
  EXPECT_LT(q.orthogonality, 1e-11);
  EXPECT_TRUE(q.ascending);
  const std::vector<double> ref = CondensedReference(s);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(E.value(i, i), ref[i], 1e-11 * ref[5]) << i;
  for (int p = 0; p < 6; ++p) EXPECT_EQ(X.value(8, p), 0.0);  // outside the massless set: zero row
  if (GetParam() == COUNTING_HOOK) {
    EXPECT_EQ(g_call.n, 6);  // the kernel saw the reduced problem only
  }
}

TEST_P(EigenBackends, GeneralWithoutExtraMasslessColumnsSolvesTheFullProblem) {
  Use(GetParam());
  const Pencil p = Make(WELL, 7);
  M K = naive::ToMatrix(p.k, M::SYMM), Mm = naive::ToMatrix(p.m, M::SYMM), E, X;
  ASSERT_EQ(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), 0);
  EXPECT_EQ(E.NumberOfRows(), 7);
  EXPECT_LT(bla_test::Quality(p.k, p.m, E, X).residual, 1e-14);
  if (GetParam() == COUNTING_HOOK) {
    EXPECT_EQ(g_call.n, 7);
  }

  // B wholly zero: 6, outputs as they were, no kernel call.
  g_call = EigenCall();
  M zero(7, 7, M::SYMM);
  zero.Assign(0.0);
  K = naive::ToMatrix(p.k, M::SYMM);
  const M Ebefore = E;
  EXPECT_EQ(B::EigenSolveGeneral(K, zero, E, X, 0, 0, 0), 6);
  EXPECT_TRUE(E == Ebefore);
  EXPECT_EQ(X.NumberOfColumns(), 7);
  EXPECT_EQ(g_call.calls, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, EigenBackends, ::testing::Values(LAPACK_HOOKS, COUNTING_HOOK));

class LapackEigenHook : public EigenFixture {};

TEST_F(LapackEigenHook, SingularMassFallsBackToTheReversedPencil) {
  Use(LAPACK_HOOKS);
  const Massless s = MakeMassless(false);  // K positive definite, M with two zero columns
  M K = naive::ToMatrix(s.k, M::SYMM), Mm = naive::ToMatrix(s.m, M::SYMM), E, X;
  ASSERT_FALSE(Mm.IsPositiveDefinite());
  ASSERT_EQ(B::EigenSolve(K, Mm, E, X, 0, 0, 0), 0);
  ASSERT_EQ(E.NumberOfRows(), 6);  // the two infinite eigenvalues are dropped
  const bla_test::PairQuality q = bla_test::Quality(s.k, s.m, E, X);
  EXPECT_LT(q.residual, 1e-12);
  EXPECT_LT(q.orthogonality, 1e-9);
  const std::vector<double> ref = CondensedReference(s);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(E.value(i, i), ref[i], 1e-9 * ref[5]) << i;

  // An index range (option 1) straight through the dispatch layer, and the log line.
  Dense k = s.k, m = s.m;
  std::vector<double> w(8), z(64);
  int found = -1;
  FILE* log = std::tmpfile();
  ASSERT_EQ(
      QORMtxBlaUtilities::EigenSolve('L', 8, k.a.data(), m.a.data(), found, w.data(), z.data(), 2, 3, true, 0, log, 1),
      0);
  ASSERT_EQ(found, 2);
  EXPECT_NEAR(w[0], ref[1], 1e-9 * ref[5]);
  EXPECT_NEAR(w[1], ref[2], 1e-9 * ref[5]);
  std::rewind(log);
  char line[200] = {};
  ASSERT_NE(std::fgets(line, sizeof line, log), nullptr);
  EXPECT_STREQ(line, "QORLapackHooks::EigenSolve n = 8, reversed pencil, index range, found 2, status 0\n");
  std::fclose(log);

  // Neither pencil definite: the reversed attempt reports K's failed factorisation as n + i.
  Dense kIndefinite = s.k;
  kIndefinite(0, 0) = -kIndefinite(0, 0);
  K = naive::ToMatrix(kIndefinite, M::SYMM);
  Mm = naive::ToMatrix(s.m, M::SYMM);
  EXPECT_GT(B::EigenSolve(K, Mm, E, X, 0, 0, 0), 8);
}

// ---- The built-in solver ----

TEST(EigenSolversBuiltIn, GeneralizedSelectsAnInclusiveRangeAndReportsIndefiniteB) {
  const Pencil p = Make(WELL, 9);
  const std::vector<double> ref = Reference(p.k, p.m);
  Dense k = p.k, m = p.m;
  std::vector<double> w(9), z(81);
  int found = 0;
  // lo = 0 with all eigenvalues shifted so that some are negative: the counted ones come first.
  const double shift = 0.5 * (ref[3] + ref[4]);
  for (int i = 0; i < 9; ++i)
    for (int j = 0; j < 9; ++j) k(i, j) -= shift * p.m(i, j);
  ASSERT_EQ(QORMtxEigenSolvers::Generalized(9, k.a.data(), m.a.data(), found, w.data(), z.data(), 0.0, 1e300), 0);
  ASSERT_EQ(found, 5);
  for (int i = 0; i < found; ++i) EXPECT_NEAR(w[i], ref[4 + i] - shift, 1e-10 * ref[8]);

  m = p.m;
  m(4, 4) = -1.0;
  k = p.k;
  EXPECT_EQ(QORMtxEigenSolvers::Generalized(9, k.a.data(), m.a.data(), found, w.data(), z.data(), -1e300, 1e300), 4);
}

// ---- The Harwell–Boeing oil rig: pair 04 (66 massless unknowns) condenses to pair 02 ----

Dense ReadSymmetricMatrixMarket(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line[0] == '%') {
  }
  std::istringstream head(line);
  int rows = 0, cols = 0, entries = 0;
  head >> rows >> cols >> entries;
  Dense d(rows, cols);
  for (int e = 0; e < entries; ++e) {
    int i = 0, j = 0;
    double v = 0.0;
    in >> i >> j >> v;
    d(i - 1, j - 1) = d(j - 1, i - 1) = v;
  }
  return d;
}

class OilRig : public EigenFixture {};

TEST_F(OilRig, CondensedPairMatchesStaticallyCondensedModel) {
  const std::string dir = std::string(QORMTX_SHARED_DATA) + "/hb/";
  if (!std::ifstream(dir + "bcsstk04.mtx") || !std::ifstream(dir + "bcsstm02.mtx")) GTEST_SKIP() << "no HB data";
  Use(LAPACK_HOOKS);
  const Dense k2 = ReadSymmetricMatrixMarket(dir + "bcsstk02.mtx"),
              m2 = ReadSymmetricMatrixMarket(dir + "bcsstm02.mtx");
  const Dense k4 = ReadSymmetricMatrixMarket(dir + "bcsstk04.mtx"),
              m4 = ReadSymmetricMatrixMarket(dir + "bcsstm04.mtx");
  M K2 = naive::ToMatrix(k2, M::SYMM), M2 = naive::ToMatrix(m2, M::SYMM), E2, X2;
  M K4 = naive::ToMatrix(k4, M::SYMM), M4 = naive::ToMatrix(m4, M::SYMM), E4, X4;
  QORBasVector<bool> flags;
  ASSERT_EQ(B::CheckForTrivialCols(M4, flags), 66);
  ASSERT_EQ(B::EigenSolveGeneral(K2, M2, E2, X2, 0, 0, 0), 0);
  ASSERT_EQ(B::EigenSolveGeneral(K4, M4, E4, X4, 0, 0, 0), 0);
  ASSERT_EQ(E2.NumberOfRows(), 66);
  ASSERT_EQ(E4.NumberOfRows(), 66);
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(E4.value(i, i), E2.value(i, i), 1e-7 * E2.value(i, i)) << i;
  EXPECT_NEAR(E4.value(0, 0), 43.26501366, 1e-6);
  const bla_test::PairQuality q = bla_test::Quality(k4, m4, E4, X4);
  EXPECT_LT(q.residual, 1e-12);
  EXPECT_LT(q.orthogonality, 1e-8);
}

// ---- Trivial columns and fatal preconditions ----

TEST(EigenTrivialColumns, ToleranceIsRelativeToTheLargestEntry) {
  M m(3, 3);
  const double v[9] = {1.0, 0, 0, 2.22e-16, -2.22e-16, 0, 0, 3e-16, 0};
  std::copy(v, v + 9, m.Values());
  QORBasVector<bool> flags(5, true);
  EXPECT_EQ(B::CheckForTrivialCols(m, flags), 1);
  ASSERT_EQ(flags.size(), 3);
  EXPECT_FALSE(flags[0]);
  EXPECT_TRUE(flags[1]);   // at most 2.22e-16·max
  EXPECT_FALSE(flags[2]);  // 3e-16 is above it
  M zero(2, 2);
  zero.Assign(0.0);
  EXPECT_EQ(B::CheckForTrivialCols(zero, flags), 2);
}

class EigenDeath : public EigenFixture {};

TEST_F(EigenDeath, Preconditions) {
  M general = naive::ToMatrix(naive::Random(3, 3, 1)), symm = naive::ToMatrix(bla_test::RandomSymmetric(3, 2), M::SYMM);
  M diag = naive::Diagonal({1, 2, 3}), rect(3, 4), E, X, none;
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(symm, none, E, X, 0, 0, 0), "0");  // no eigen hook installed
  Use(COUNTING_HOOK);
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
  // A massless unknown coupled to a mass unknown without stiffness of its own: a constraint, refused.
  Dense k(3, 3), m(3, 3);
  k(0, 0) = k(1, 1) = 2.0;
  k(0, 2) = k(2, 0) = 1.0;
  m(0, 0) = m(1, 1) = 1.0;
  M K = naive::ToMatrix(k, M::SYMM), Mm = naive::ToMatrix(m, M::SYMM);
  EXPECT_QORMTX_ASSERTION(B::EigenSolveGeneral(K, Mm, E, X, 0, 0, 0), "0 && \"Lambda Set is not Empty\\n\"");
}

}  // namespace
