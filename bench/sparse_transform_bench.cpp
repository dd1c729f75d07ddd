// Sparse congruence Tᵀ·A·T (QORMtxSparseMatrix::ApplyTransformation) against Eigen 3's T.transpose() * A * T, on
// the 27-point Laplacian of an n = g³ grid and an aggregation-like prolongation (argument: the number of rows).
#include <benchmark/benchmark.h>

#include <Eigen/Sparse>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "QORMtxSparseMatrix.h"
#include "sparse_bench_common.h"

using namespace sparse_bench;

namespace {

// Prolongation onto 2 × 2 × 2 aggregates, kept square (n × n, only the first n/8 or so columns used), as a multigrid
// setup forms its Galerkin operator. smoothed false: one 1.0 per row (the tentative prolongation); true: the row also
// reaches the aggregates of its six face neighbours (weights 1/2 and 1/12 summed per aggregate), about 3 per row.
std::vector<Triplet> Prolongation(int g, bool smoothed) {
  const int ga = (g + 1) / 2;
  const auto id = [g](int i, int j, int k) { return static_cast<unsigned>((k * g + j) * g + i); };
  const auto agg = [ga](int i, int j, int k) { return static_cast<unsigned>(((k / 2) * ga + j / 2) * ga + i / 2); };
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

// Reported time: ours (best of the rounds as a counter too); counters: Eigen's, ratio = eigen / ours (>= 1: ours is
// as fast or faster), result nonzeros. The two sides take turns at going first; ours gets a fresh A every round
// (untimed), since the transformation overwrites it. Arguments: rows, smoothed prolongation (0/1).
void BM_Galerkin27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  const std::vector<Triplet>& a = Laplacian27(g);
  const std::vector<Triplet> p = Prolongation(g, state.range(1) != 0);
  QORMtxSparseMatrix T;
  AssembleOurs(p, n, T);
  EigenCsr EA(n, n), ET(n, n), ER;
  EA.setFromTriplets(a.begin(), a.end());
  ET.setFromTriplets(p.begin(), p.end());
  Duel duel;
  QORMtxSparseMatrix A;
  for (auto _ : state) {
    AssembleOurs(a, n, A);
    duel.Run(
        state,
        [&] {
          const auto t0 = Clock::now();
          A.ApplyTransformation(T, true);
          return Seconds(t0, Clock::now());
        },
        [&] {
          const auto t0 = Clock::now();
          ER = ET.transpose() * EA * ET;
          return Seconds(t0, Clock::now());
        });
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
  duel.Report(state);
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
