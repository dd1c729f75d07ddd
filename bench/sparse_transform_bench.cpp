// Sparse congruence Tᵀ·A·T (QORMtxSparseMatrix::ApplyTransformation) against Eigen 3's T.transpose() * A * T, on
// the 27-point Laplacian of an n = g³ grid and an aggregation-like prolongation (argument: the number of rows).
#include <benchmark/benchmark.h>

#include <Eigen/Sparse>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "QORMtxSparseMatrix.h"

namespace {

using Clock = std::chrono::steady_clock;
using EigenCsr = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Triplet {
  int r, c;
  double v;
  int row() const { return r; }
  int col() const { return c; }
  double value() const { return v; }
};

int GridEdge(int64_t rows) { return static_cast<int>(std::lround(std::cbrt(static_cast<double>(rows)))); }

// 26 on the diagonal, -1 to every neighbour in the 3 × 3 × 3 box.
std::vector<Triplet> Laplacian27(int g) {
  std::vector<Triplet> t;
  t.reserve(static_cast<size_t>(27) * g * g * g);
  const auto id = [g](int i, int j, int k) { return (k * g + j) * g + i; };
  for (int k = 0; k < g; ++k)
    for (int j = 0; j < g; ++j)
      for (int i = 0; i < g; ++i)
        for (int dk = -1; dk <= 1; ++dk)
          for (int dj = -1; dj <= 1; ++dj)
            for (int di = -1; di <= 1; ++di) {
              const int ii = i + di, jj = j + dj, kk = k + dk;
              if (ii < 0 || jj < 0 || kk < 0 || ii >= g || jj >= g || kk >= g) continue;
              t.push_back({id(i, j, k), id(ii, jj, kk), ii == i && jj == j && kk == k ? 26.0 : -1.0});
            }
  return t;
}

// Prolongation onto 2 × 2 × 2 aggregates, kept square (n × n, only the first n/8 or so columns used), as a multigrid
// setup forms its Galerkin operator. smoothed false: one 1.0 per row (the tentative prolongation); true: the row also
// reaches the aggregates of its six face neighbours (weights 1/2 and 1/12 summed per aggregate), about 3 per row.
std::vector<Triplet> Prolongation(int g, bool smoothed) {
  const int ga = (g + 1) / 2;
  const auto id = [g](int i, int j, int k) { return (k * g + j) * g + i; };
  const auto agg = [ga](int i, int j, int k) { return ((k / 2) * ga + j / 2) * ga + i / 2; };
  std::vector<Triplet> t;
  const int step[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int k = 0; k < g; ++k)
    for (int j = 0; j < g; ++j)
      for (int i = 0; i < g; ++i) {
        t.push_back({id(i, j, k), agg(i, j, k), smoothed ? 0.5 : 1.0});
        if (!smoothed) continue;
        for (const auto& s : step) {
          const int ii = i + s[0], jj = j + s[1], kk = k + s[2];
          if (ii < 0 || jj < 0 || kk < 0 || ii >= g || jj >= g || kk >= g) continue;
          t.push_back({id(i, j, k), agg(ii, jj, kk), 1.0 / 12.0});  // duplicates are summed by both assemblies
        }
      }
  return t;
}

void AssembleOurs(const std::vector<Triplet>& t, int n, QORMtxSparseMatrix& A) {
  A.Reset(n, n);
  A.BeginAssembly(false);
  A.ReserveEntries(static_cast<int>(t.size()));
  for (const Triplet& e : t) A.AddData(static_cast<unsigned>(e.r), static_cast<unsigned>(e.c), e.v, false);
  A.EndAssembly(false);
}

// Reported time: ours (best of the rounds as a counter too); counters: Eigen's, ratio = eigen / ours (>= 1: ours is
// as fast or faster), result nonzeros. The two sides take turns at going first; ours gets a fresh A every round
// (untimed), since the transformation overwrites it. Arguments: rows, smoothed prolongation (0/1).
void BM_Galerkin27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  const std::vector<Triplet> a = Laplacian27(g), p = Prolongation(g, state.range(1) != 0);
  QORMtxSparseMatrix T;
  AssembleOurs(p, n, T);
  EigenCsr EA(n, n), ET(n, n), ER;
  EA.setFromTriplets(a.begin(), a.end());
  ET.setFromTriplets(p.begin(), p.end());
  double ours = 0.0, eigen = 0.0, bestOurs = 1e300, bestEigen = 1e300;
  int round = 0;
  QORMtxSparseMatrix A;
  for (auto _ : state) {
    AssembleOurs(a, n, A);
    const auto runOurs = [&] {
      const auto t0 = Clock::now();
      A.ApplyTransformation(T, true);
      return Seconds(t0, Clock::now());
    };
    const auto runEigen = [&] {
      const auto t0 = Clock::now();
      ER = ET.transpose() * EA * ET;
      return Seconds(t0, Clock::now());
    };
    double o, e;
    if (round++ % 2 == 0) {
      o = runOurs();
      e = runEigen();
    } else {
      e = runEigen();
      o = runOurs();
    }
    state.SetIterationTime(o);
    ours += o;
    eigen += e;
    bestOurs = std::min(bestOurs, o);
    bestEigen = std::min(bestEigen, e);
  }
  // The same operator on both sides: Eigen drops no structural zero either, so the patterns agree as well.
  ER.makeCompressed();
  double diff = 0.0, scale = 0.0;
  for (int r = 0; r < n; ++r) {
    const int* cols = A.RowColumns(r);
    const double* vals = A.RowValues(r);
    for (int k = 0; k < A.RowSize(r); ++k) {
      diff = std::max(diff, std::abs(vals[k] - ER.coeff(r, cols[k])));
      scale = std::max(scale, std::abs(vals[k]));
    }
  }
  if (ER.nonZeros() != A.NumberOfNonzeros() || diff > 1e-12 * (1.0 + scale)) {
    state.SkipWithError("Eigen and QORMtx disagree on Tt*A*T");
    return;
  }
  state.counters["eigen_s"] = benchmark::Counter(eigen, benchmark::Counter::kAvgIterations);
  state.counters["best_s"] = bestOurs;
  state.counters["eigen_best_s"] = bestEigen;
  state.counters["ratio"] = bestEigen / bestOurs;
  state.counters["nnz_out"] = static_cast<double>(A.NumberOfNonzeros());
}

// Rows: 4³ (smoke), 50³ and 100³; the large ones run a fixed few rounds (a round of 100³ takes seconds).
BENCHMARK(BM_Galerkin27)->Args({64, 0})->Args({64, 1})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Galerkin27)
    ->Args({125000, 0})
    ->Args({125000, 1})
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Galerkin27)
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
