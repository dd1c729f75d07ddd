// The LAPACK hook package's generalised eigen solve against pencils built with known eigenvalues:
// K = Qᵀ·diag(k)·Q and M = Qᵀ·diag(m)·Q have λ = k/m (m = 0: infinite, dropped), whatever Q is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "QORLapackHooks.h"
#include "QORMtxMatrix.h"
#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "naive_matrix.h"

namespace {

using naive::Dense;

struct Pencil {
  Dense K, M;
  std::vector<double> lambda;  // the finite eigenvalues, ascending
};

// Qᵀ·diag(d)·Q for a well-conditioned random Q (identity plus a small random part).
Dense Congruent(const std::vector<double>& d, uint32_t seed) {
  const int n = static_cast<int>(d.size());
  Dense Q = naive::Random(n, n, seed);
  for (double& v : Q.a) v *= 0.3 / std::sqrt(static_cast<double>(n));
  for (int i = 0; i < n; ++i) Q(i, i) += 1.0;
  return naive::Product(naive::Transpose(Q), naive::Product(naive::DiagonalDense(d), Q));
}

Pencil Build(const std::vector<double>& k, const std::vector<double>& m, double kScale = 1.0, double mScale = 1.0) {
  std::vector<double> ks(k), ms(m);
  for (double& v : ks) v *= kScale;
  for (double& v : ms) v *= mScale;
  Pencil p{Congruent(ks, 7), Congruent(ms, 7), {}};
  for (size_t i = 0; i < k.size(); ++i)
    if (m[i] != 0.0) p.lambda.push_back(ks[i] / ms[i]);
  std::sort(p.lambda.begin(), p.lambda.end());
  return p;
}

struct Result {
  int status = 0, found = -1;
  std::vector<double> w, z;
  std::string log;
};

Result Solve(Pencil p, double b1, double b2, int option, char uplo = 'U') {
  const int n = p.K.rows;
  Result r;
  r.w.assign(static_cast<size_t>(n), -1.0);
  r.z.assign(static_cast<size_t>(n) * n, 0.0);
  FILE* log = std::tmpfile();
  // The flag is the core's cheap test; false here: the package must find an indefinite M on its own.
  r.status = QORLapackHooks::EigenSolve(uplo, n, p.K.a.data(), p.M.a.data(), b1, b2, false, 0, r.found, r.w.data(),
                                        r.z.data(), log, option);
  char line[256] = {};
  std::rewind(log);
  if (std::fgets(line, sizeof line, log)) r.log = line;
  std::fclose(log);
  r.w.resize(static_cast<size_t>(std::max(r.found, 0)));
  return r;
}

// ‖K·x − λ·M·x‖ / (‖K‖ + |λ|·‖M‖)‖x‖, largest over the pairs found.
double Residual(const Pencil& p, const Result& r) {
  const int n = p.K.rows;
  double worst = 0.0;
  const double nk = naive::Frobenius(p.K), nm = naive::Frobenius(p.M);
  for (int j = 0; j < r.found; ++j) {
    const double* x = r.z.data() + static_cast<size_t>(j) * n;
    double res = 0.0, nx = 0.0;
    for (int i = 0; i < n; ++i) {
      double s = 0.0;
      for (int c = 0; c < n; ++c) s += (p.K(i, c) - r.w[j] * p.M(i, c)) * x[c];
      res += s * s;
      nx += x[i] * x[i];
    }
    worst = std::max(worst, std::sqrt(res) / ((nk + std::fabs(r.w[j]) * nm) * std::sqrt(nx)));
  }
  return worst;
}

struct Case {
  const char* name;
  std::vector<double> k, m;
  double kScale, mScale;
  double b1, b2;
  int option;
  size_t first, count;  // the expected slice of the ascending finite eigenvalues
  const char* logPart;  // expected in the log line
};

TEST(LapackHooksEigen, PencilsWithKnownEigenvalues) {
  const std::vector<double> k6 = {1, 2, 3, 4, 5, 6}, mPos = {2, 1, 0.5, 1, 4, 1};
  const std::vector<double> mIndef = {1, -1, 0.5, 1, -4, 2}, mSingular = {1, 0, 0.5, 0, 4, 1};
  // Twelve unknowns: a range of at most an eighth of the spectrum goes through dsyevr on the selection alone.
  const std::vector<double> k12 = {3, 1, 4, 1.5, 9, 2.6, 5, 3.5, 8, 9.7, 9.3, 2.3};
  const std::vector<double> m12 = {1, 2, 1, 0.5, 1, 1, 2, 1, 0.25, 1, 3, 1}, m12Singular = {1, 2, 1, 0, 1, 1, 2, 1,
                                                                                            0.25, 0, 3, 1};
  const Case cases[] = {
      {"definite, all pairs", k6, mPos, 1, 1, 0, 0, 0, 0, 6, "definite pencil, all pairs"},
      {"definite, index range 2..4", k6, mPos, 1, 1, 2, 4, 1, 1, 3, "definite pencil, index range, found 3"},
      {"definite, lowest 1", k6, mPos, 1, 1, 1, 1, 1, 0, 1, "found 1"},
      {"definite, index range clipped 5..99", k6, mPos, 1, 1, 5, 99, 1, 4, 2, "found 2"},
      {"definite, empty index range", k6, mPos, 1, 1, 4, 3, 1, 0, 0, "found 0"},
      {"selection alone: lowest 1 of 12", k12, m12, 1, 1, 1, 1, 1, 0, 1, "definite pencil, index range, found 1"},
      {"selection alone: 5th of 12", k12, m12, 1, 1, 5, 5, 1, 4, 1, "found 1"},
      {"selection alone, singular M", k12, m12Singular, 1, 1, 2, 2, 1, 1, 1, "reversed pencil, index range, found 1"},
      {"many of 12: divide and conquer", k12, m12, 1, 1, 3, 9, 1, 2, 7, "found 7"},
      {"definite, value interval (1, 5]", k6, mPos, 1, 1, 1, 5, 0, 1, 3, "value interval"},
      {"indefinite M: reversed, all", k6, mIndef, 1, 1, 0, 0, 0, 0, 6, "reversed pencil, all pairs, found 6"},
      {"indefinite M: reversed, lowest 3", k6, mIndef, 1, 1, 1, 3, 1, 0, 3, "M not positive definite at order 2"},
      {"singular M: massless dropped", k6, mSingular, 1, 1, 0, 0, 0, 0, 4, "reversed pencil, all pairs, found 4"},
      // The massless threshold follows the pencil's scale: the same pencil at 1e10 and 1e-10 drops the same two.
      {"singular M at scale 1e10 / 1e-10", k6, mSingular, 1e10, 1e-10, 0, 0, 0, 0, 4, "found 4"},
      {"singular M at scale 1e-10 / 1e10", k6, mSingular, 1e-10, 1e10, 1, 2, 1, 0, 2, "found 2"},
      {"definite at scale 1e12 / 1e-6", k6, mPos, 1e12, 1e-6, 0, 0, 0, 0, 6, "definite pencil"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Pencil p = Build(c.k, c.m, c.kScale, c.mScale);
    for (char uplo : {'U', 'L'}) {
      const Result r = Solve(p, c.b1, c.b2, c.option, uplo);
      ASSERT_EQ(r.status, 0) << r.log;
      ASSERT_EQ(r.found, static_cast<int>(c.count)) << r.log;
      for (size_t i = 0; i < c.count; ++i) {
        const double ref = p.lambda[c.first + i];
        EXPECT_NEAR(r.w[i], ref, 1e-11 * std::fabs(p.lambda.back())) << i;
      }
      EXPECT_LT(Residual(p, r), 1e-13);
      EXPECT_NE(r.log.find(c.logPart), std::string::npos) << r.log;
    }
  }
}

TEST(LapackHooksEigen, RefusalsHaveTheirOwnStatus) {
  const std::vector<double> k3 = {1, 2, 3};
  struct Refusal {
    const char* name;
    Pencil p;
    int status;
    const char* logPart;
  };
  Pencil nan = Build(k3, k3), inf = Build(k3, k3), overflow = Build({1, 1, 1}, {1, 1, 1});
  nan.M(1, 2) = std::numeric_limits<double>::quiet_NaN();
  inf.K(0, 0) = std::numeric_limits<double>::infinity();
  for (double& v : overflow.K.a) v = 1e308;  // eigenvalue 3e308
  const Refusal refusals[] = {
      {"both indefinite", Build({1, -2, 3}, {1, -1, 2}), QORLapackHooks::kNotDefinite,
       "M not positive definite at order 2, K not positive definite at order 2"},
      {"NaN in M", nan, QORLapackHooks::kNotFinite, "status 103"},
      {"infinity in K", inf, QORLapackHooks::kNotFinite, "status 103"},
      {"eigenvalue beyond double", overflow, QORLapackHooks::kResultNotFinite, "status 104"},
  };
  for (const Refusal& c : refusals) {
    SCOPED_TRACE(c.name);
    const Result r = Solve(c.p, 0, 0, 0);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.found, 0);
    EXPECT_NE(r.log.find(c.logPart), std::string::npos) << r.log;
    EXPECT_STRNE(QORLapackHooks::StatusText(c.status), "unknown status");
  }
}

// Pair 27 of the real matrices: K positive definite, M indefinite though it passes the cheap test; the lowest
// positive eigenvalues follow the 31 negative ones (reference values in the data folder's SOURCES.md).
TEST(LapackHooksEigen, RealPairWithIndefiniteMass) {
  const std::string dir = std::string(QORMTX_SHARED_DATA) + "/hb/";
  QORMtxSparseMatrix sk, sm;
  std::string error;
  if (!QORMtxMatrixMarket::Read((dir + "bcsstk27.mtx").c_str(), sk, &error) ||
      !QORMtxMatrixMarket::Read((dir + "bcsstm27.mtx").c_str(), sm, &error))
    GTEST_SKIP() << "pair 27 not available: " << error;
  const int n = sk.NumberOfRows();
  Pencil p{Dense(n, n), Dense(n, n), {}};
  for (auto [S, D] : {std::make_pair(&sk, &p.K), std::make_pair(&sm, &p.M)})
    for (QORMtxSparseMatrixIterator it(*S); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      (*D)(static_cast<int>(e.m_row), static_cast<int>(e.m_col)) = e.m_value;
      (*D)(static_cast<int>(e.m_col), static_cast<int>(e.m_row)) = e.m_value;
    }
  const Result r = Solve(p, 31, 34, 1);
  ASSERT_EQ(r.status, 0) << r.log;
  ASSERT_EQ(r.found, 4);
  EXPECT_LT(r.w[0], 0.0);
  const double ref[] = {3.097275364, 3.729445824, 4.035913868};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.w[i + 1], ref[i], 1e-8 * ref[i]);
  EXPECT_NE(r.log.find("reversed pencil"), std::string::npos) << r.log;
}

}  // namespace
