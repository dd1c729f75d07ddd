// The shifted sparse factorisation: solves checked by their residual on a dense copy, refusals by status and text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "QORMtxSparseFactor.h"
#include "QORMtxSparseMatrix.h"
#include "qormtx_death.h"

namespace {

/// A symmetric test pencil kept both as a sparse matrix and as a dense (row-major) reference.
struct Pencil {
  int n;
  std::vector<double> K, M;  // dense references
  QORMtxSparseMatrix Ks, Ms;
};

/// Spring chain of n unknowns, fixed at the left end (free at both when free), unit springs scaled by
/// k[i] = 1 + i/n (1 when free), lumped masses 1 + (i % 3); built in symmetric or unsymmetric storage.
void Chain(Pencil& p, int n, bool symmetricStorage, bool free) {
  p.n = n;
  p.K.assign(static_cast<size_t>(n) * n, 0.0);
  p.M.assign(static_cast<size_t>(n) * n, 0.0);
  auto add = [&](int i, int j, double v) { p.K[static_cast<size_t>(i) * n + j] += v; };
  for (int e = free ? 0 : -1; e < n - 1; ++e) {  // spring between e and e + 1 (e = -1: the support)
    const double k = free ? 1.0 : 1.0 + (e + 1.0) / n;  // unit springs: exactly singular when free
    if (e >= 0) add(e, e, k);
    add(e + 1, e + 1, k);
    if (e >= 0) add(e, e + 1, -k), add(e + 1, e, -k);
  }
  for (int i = 0; i < n; ++i) p.M[static_cast<size_t>(i) * n + i] = 1.0 + i % 3;
  for (auto* pair : {&p.Ks, &p.Ms}) {
    const std::vector<double>& d = pair == &p.Ks ? p.K : p.M;
    pair->Reset(n, n);
    pair->BeginAssembly(false);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        if (d[static_cast<size_t>(i) * n + j] != 0.0 && (!symmetricStorage || j <= i))
          pair->AddData(i, j, d[static_cast<size_t>(i) * n + j], false);
    pair->EndAssembly(symmetricStorage);
  }
}

/// Largest |(K - sigma M) x - b| / |b| over the columns.
double Residual(const Pencil& p, double sigma, const std::vector<double>& x, const std::vector<double>& b, int nv,
                long long ld) {
  double worst = 0.0;
  for (int v = 0; v < nv; ++v) {
    double rn = 0.0, bn = 0.0;
    for (int i = 0; i < p.n; ++i) {
      double s = -b[v * ld + i];
      for (int j = 0; j < p.n; ++j)
        s += (p.K[static_cast<size_t>(i) * p.n + j] - sigma * p.M[static_cast<size_t>(i) * p.n + j]) * x[v * ld + j];
      rn += s * s;
      bn += b[v * ld + i] * b[v * ld + i];
    }
    worst = std::max(worst, std::sqrt(rn / bn));
  }
  return worst;
}

struct SolveCase {
  int n;
  bool symmetricStorage;
  double sigma;
  int numVectors;  // crosses the 16-column blocks of the solve
  int pad;         // ld - n
};

TEST(SparseFactor, SolvesShiftedPencilsInEitherStorage) {
  // The fixed chain's lowest eigenvalue (about 3e-4 at n = 60) lies above 1e-5, so these shifts keep the pencil positive definite.
  const SolveCase cases[] = {{1, false, 0.0, 1, 0},  {40, false, 0.0, 1, 0},   {40, true, 0.0, 17, 3},
                             {60, true, -2.5, 33, 0}, {60, false, 1e-5, 16, 1}, {200, true, 0.0, 5, 7}};
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (const SolveCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "n=" << c.n << " sym=" << c.symmetricStorage << " sigma=" << c.sigma);
    Pencil p;
    Chain(p, c.n, c.symmetricStorage, false);
    QORMtxSparseFactor f;
    ASSERT_EQ(f.Factor(p.Ks, &p.Ms, c.sigma), QORMtxSparseFactor::e_ok) << f.Message();
    EXPECT_EQ(f.Order(), c.n);
    EXPECT_GT(f.FactorEntries(), 0);
    const long long ld = c.n + c.pad;
    std::vector<double> b(static_cast<size_t>(ld) * c.numVectors);
    for (double& v : b) v = u(rng);
    std::vector<double> x = b;
    f.Solve(x.data(), c.numVectors, ld);
    EXPECT_LT(Residual(p, c.sigma, x, b, c.numVectors, ld), 1e-10);
    for (int v = 0; v < c.numVectors; ++v)  // padding rows are the caller's and stay untouched
      for (int i = c.n; i < ld; ++i) EXPECT_EQ(x[v * ld + i], b[v * ld + i]);
  }
}

TEST(SparseFactor, RefusesWithTheCauseAndAnotherShift) {
  Pencil fixed, freeChain;
  Chain(fixed, 30, true, false);
  Chain(freeChain, 30, false, true);
  QORMtxSparseFactor f;
  // A shift far above the lowest eigenvalue makes the pencil indefinite.
  EXPECT_EQ(f.Factor(fixed.Ks, &fixed.Ms, 2.0), QORMtxSparseFactor::e_indefinite);
  EXPECT_NE(f.Message().find("not positive definite for sigma = 2"), std::string::npos) << f.Message();
  EXPECT_NE(f.Message().find("choose a shift below"), std::string::npos);
  EXPECT_FALSE(f.IsFactored());
  // A free chain has a rigid-body mode: at shift 0 it is singular (or breaks down on round-off); a negative
  // shift factors.
  const QORMtxSparseFactor::Status s = f.Factor(freeChain.Ks, &freeChain.Ms, 0.0);
  EXPECT_TRUE(s == QORMtxSparseFactor::e_indefinite || s == QORMtxSparseFactor::e_singular) << f.Message();
  EXPECT_NE(f.Message().find("rigid-body"), std::string::npos);
  EXPECT_EQ(f.Factor(freeChain.Ks, &freeChain.Ms, -0.1), QORMtxSparseFactor::e_ok) << f.Message();

  QORMtxSparseMatrix rect(3, 4), nan(2, 2);
  rect.BeginAssembly(false);
  rect.AddData(0, 0, 1.0, false);
  rect.EndAssembly(false);
  EXPECT_EQ(f.Factor(rect, nullptr, 0.0), QORMtxSparseFactor::e_notSquare);
  Pencil small;
  Chain(small, 5, true, false);
  EXPECT_EQ(f.Factor(fixed.Ks, &small.Ms, 0.5), QORMtxSparseFactor::e_notSquare);
  nan.BeginAssembly(false);
  nan.AddData(0, 0, 1.0, false);
  nan.AddData(1, 1, std::nan(""), false);
  nan.EndAssembly(false);
  EXPECT_EQ(f.Factor(nan, nullptr, 0.0), QORMtxSparseFactor::e_notFinite);
  EXPECT_EQ(f.Factor(fixed.Ks, &fixed.Ms, std::numeric_limits<double>::infinity()),
            QORMtxSparseFactor::e_notFinite);
  double x = 1.0;
  EXPECT_QORMTX_ASSERTION(f.Solve(&x, 1, 1), "IsFactored()");
}

}  // namespace
