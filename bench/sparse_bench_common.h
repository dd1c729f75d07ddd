// What the sparse benchmarks share: the timed duel against Eigen, the 27-point Laplacian as unsorted triplets with
// duplicates, and the assembly of our matrix from them.
#pragma once
#include <benchmark/benchmark.h>

#include <Eigen/Sparse>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "QORMtxSparseMatrix.h"

namespace sparse_bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Both sides of a comparison, timed in the same iteration. The machine may be shared, so the ratio compares the best
// times, and the two sides take turns at going first.
struct Duel {
  double ours = 0.0, theirs = 0.0, bestOurs = 1e300, bestTheirs = 1e300;
  int round = 0;
  template <class Ours, class Theirs>
  void Run(benchmark::State& state, Ours&& ours_, Theirs&& theirs_) {
    double o, t;
    if (round++ % 2 == 0) {
      o = ours_();
      t = theirs_();
    } else {
      t = theirs_();
      o = ours_();
    }
    state.SetIterationTime(o);
    ours += o;
    theirs += t;
    bestOurs = std::min(bestOurs, o);
    bestTheirs = std::min(bestTheirs, t);
  }
  void Report(benchmark::State& state) const {
    state.counters["eigen_s"] = benchmark::Counter(theirs, benchmark::Counter::kAvgIterations);
    state.counters["best_s"] = bestOurs;
    state.counters["eigen_best_s"] = bestTheirs;
    state.counters["ratio"] = bestTheirs / bestOurs;
  }
};

// One triplet type that both sides read: our AddData takes the fields, Eigen's setFromTriplets the accessors.
struct Triplet {
  unsigned r, c;
  double v;
  int row() const { return static_cast<int>(r); }
  int col() const { return static_cast<int>(c); }
  double value() const { return v; }
};

inline int GridEdge(int64_t rows) { return static_cast<int>(std::lround(std::cbrt(static_cast<double>(rows)))); }

// The 27-point Laplacian (26 on the diagonal, -1 to every neighbour in the 3 × 3 × 3 box), as unsorted triplets:
// every fourth off-diagonal value is split into two halves so that assembly has duplicates to sum, then the list is
// shuffled. Cached per size: building it costs more than assembling it.
inline const std::vector<Triplet>& Laplacian27(int g) {
  static std::map<int, std::vector<Triplet>> cache;
  auto found = cache.find(g);
  if (found != cache.end()) return found->second;
  cache.clear();  // one size at a time keeps the memory bounded
  std::vector<Triplet>& t = cache[g];
  const auto id = [g](int i, int j, int k) { return static_cast<unsigned>((k * g + j) * g + i); };
  unsigned split = 0;
  for (int k = 0; k < g; ++k)
    for (int j = 0; j < g; ++j)
      for (int i = 0; i < g; ++i)
        for (int dk = -1; dk <= 1; ++dk)
          for (int dj = -1; dj <= 1; ++dj)
            for (int di = -1; di <= 1; ++di) {
              const int ii = i + di, jj = j + dj, kk = k + dk;
              if (ii < 0 || jj < 0 || kk < 0 || ii >= g || jj >= g || kk >= g) continue;
              const unsigned r = id(i, j, k), c = id(ii, jj, kk);
              if (r == c) {
                t.push_back({r, c, 26.0});
              } else if (++split % 4 == 0) {
                t.push_back({r, c, -0.5});
                t.push_back({r, c, -0.5});
              } else {
                t.push_back({r, c, -1.0});
              }
            }
  std::shuffle(t.begin(), t.end(), std::mt19937(12345));
  return t;
}

inline void FillOurs(const std::vector<Triplet>& t, int n, QORMtxSparseMatrix& A) {
  A.Reset(n, n);
  A.BeginAssembly(false);
  A.ReserveEntries(static_cast<int>(t.size()));
  for (const Triplet& e : t) A.AddData(e.r, e.c, e.v, false);
}

inline void AssembleOurs(const std::vector<Triplet>& t, int n, QORMtxSparseMatrix& A) {
  FillOurs(t, n, A);
  A.EndAssembly(false);
}

using EigenCsr = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

}  // namespace sparse_bench
