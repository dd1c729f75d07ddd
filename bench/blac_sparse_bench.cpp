// blac_sparse_umv / blac_sparse_umtv against the plain one-vector-at-a-time CSR loops, timed in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "blac.h"

namespace {

// A finite-element-like pattern: 50 000 rows, about 27 entries per row within a band of ±600 columns.
struct Pattern {
  int n = 50000;
  std::vector<unsigned> start;
  std::vector<int> col;
  std::vector<double> val;
  Pattern() {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> off(-600, 600);
    std::uniform_real_distribution<double> v(-1.0, 1.0);
    start.push_back(0);
    std::vector<int> row;
    for (int r = 0; r < n; ++r) {
      row.clear();
      for (int e = 0; e < 27; ++e) row.push_back(std::min(n - 1, std::max(0, r + off(gen))));
      std::sort(row.begin(), row.end());
      row.erase(std::unique(row.begin(), row.end()), row.end());
      for (int c : row) col.push_back(c), val.push_back(v(gen));
      start.push_back(static_cast<unsigned>(col.size()));
    }
  }
};

const Pattern& Matrix() {
  static const Pattern p;
  return p;
}

void RawUmv(const Pattern& a, const double* x, double* y, int nv) {
  for (int v = 0; v < nv; ++v)
    for (int r = 0; r < a.n; ++r) {
      double s = 0.0;
      const double* xv = x + static_cast<size_t>(v) * a.n;
      for (unsigned p = a.start[r]; p < a.start[r + 1]; ++p) s += a.val[p] * xv[a.col[p]];
      y[static_cast<size_t>(v) * a.n + r] = s;
    }
}

void RawUmtv(const Pattern& a, const double* x, double* y, int nv) {
  for (int v = 0; v < nv; ++v) {
    double* yv = y + static_cast<size_t>(v) * a.n;
    for (int c = 0; c < a.n; ++c) yv[c] = 0.0;
    const double* xv = x + static_cast<size_t>(v) * a.n;
    for (int r = 0; r < a.n; ++r)
      for (unsigned p = a.start[r]; p < a.start[r + 1]; ++p) yv[a.col[p]] += a.val[p] * xv[r];
  }
}

// ratio = raw time / our time (above 1: the kernel is faster than the plain loops).
template <bool Transposed>
void BM_Sparse(benchmark::State& state) {
  const Pattern& a = Matrix();
  const int nv = static_cast<int>(state.range(0));
  std::vector<double> x(static_cast<size_t>(a.n) * nv, 0.5), y(x.size()), raw(x.size());
  for (size_t i = 0; i < x.size(); ++i) x[i] = 1.0 / (1.0 + static_cast<double>(i % 97));
  using Clock = std::chrono::steady_clock;
  double rawSeconds = 0.0, ourSeconds = 0.0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    Transposed ? RawUmtv(a, x.data(), raw.data(), nv) : RawUmv(a, x.data(), raw.data(), nv);
    const auto t1 = Clock::now();
    if (Transposed)
      blac_sparse_umtv(a.val.data(), x.data(), a.start.data(), a.col.data(), y.data(), &a.n, &a.n, &nv);
    else
      blac_sparse_umv(a.val.data(), x.data(), a.start.data(), a.col.data(), y.data(), &a.n, &a.n, &nv);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(raw.data());
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
    const double ours = std::chrono::duration<double>(t2 - t1).count();
    rawSeconds += std::chrono::duration<double>(t1 - t0).count();
    ourSeconds += ours;
    state.SetIterationTime(ours);
  }
  state.counters["ratio"] = ourSeconds > 0.0 ? rawSeconds / ourSeconds : 0.0;
  state.counters["GFLOPs"] =
      ourSeconds > 0.0 ? 2.0 * static_cast<double>(a.val.size()) * nv * state.iterations() / ourSeconds * 1e-9 : 0.0;
}

void BM_SparseUmv(benchmark::State& state) { BM_Sparse<false>(state); }
void BM_SparseUmtv(benchmark::State& state) { BM_Sparse<true>(state); }

BENCHMARK(BM_SparseUmv)->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SparseUmtv)->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
