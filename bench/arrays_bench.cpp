// The int sort with companion beside std::sort of (key, companion) pairs, and the unmangled array kernels beside
// the matching BLAS-1 calls. Counter "ratio" = reference time / our time (above 1: ours is faster).
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <utility>
#include <vector>

#include "QORMtxCoreModuleC.h"
#include "QORMtxSortInt.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Each iteration runs ours and the reference back to back on the same data so both see the same machine load;
// the reported time is ours.
void Report(benchmark::State& state, double ours, double ref, double elements) {
  state.counters["ratio"] = ref / ours;
  state.counters["ours_ns_per_elem"] = 1e9 * ours / (elements * static_cast<double>(state.iterations()));
  state.counters["ref_ns_per_elem"] = 1e9 * ref / (elements * static_cast<double>(state.iterations()));
}

void BM_SortInt2(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(11);
  std::vector<int> keys0(n), comp0(n);
  for (int i = 0; i < n; ++i) keys0[i] = static_cast<int>(rng()), comp0[i] = i;
  std::vector<std::pair<int, int>> pairs0(n);
  for (int i = 0; i < n; ++i) pairs0[i] = {keys0[i], comp0[i]};
  std::vector<int> keys, comp;
  std::vector<std::pair<int, int>> pairs;
  double ours = 0.0, ref = 0.0;
  for (auto _ : state) {
    keys = keys0;
    comp = comp0;
    pairs = pairs0;
    const Clock::time_point t0 = Clock::now();
    QORMtxSortInt2(keys.data(), keys.data() + n, comp.data(), comp.data() + n);
    const Clock::time_point t1 = Clock::now();
    // Same contract as ours: ordered by key only, not stable.
    std::sort(pairs.begin(), pairs.end(),
              [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first < b.first; });
    const Clock::time_point t2 = Clock::now();
    benchmark::DoNotOptimize(keys.data());
    benchmark::DoNotOptimize(pairs.data());
    benchmark::ClobberMemory();
    ours += Seconds(t0, t1);
    ref += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
  }
  Report(state, ours, ref, n);
}

struct Arrays {
  explicit Arrays(int n) : x(n), y(n), z(2 * n), w(2 * n) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (double& v : x) v = d(rng);
    for (double& v : y) v = d(rng);
    for (double& v : z) v = d(rng);
    for (double& v : w) v = d(rng);
  }
  std::vector<double> x, y, z, w;
};

// Runs ours() and ref() alternately; the kernels are in place, so the factors keep the data bounded.
template <class Ours, class Ref>
void KernelPair(benchmark::State& state, Ours ours, Ref ref) {
  const int n = static_cast<int>(state.range(0));
  openblas_set_num_threads(1);  // our kernels are single-threaded: compare like with like
  Arrays arr(n);
  double tOurs = 0.0, tRef = 0.0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    ours(n, arr);
    const Clock::time_point t1 = Clock::now();
    ref(n, arr);
    const Clock::time_point t2 = Clock::now();
    benchmark::ClobberMemory();
    tOurs += Seconds(t0, t1);
    tRef += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
  }
  Report(state, tOurs, tRef, n);
}

void BM_Daxpy(benchmark::State& state) {
  const double a = 1e-3;
  KernelPair(
      state, [&](int n, Arrays& v) { qormtx_daxpy(&n, &a, v.x.data(), v.y.data()); },
      [&](int n, Arrays& v) { cblas_daxpy(n, a, v.x.data(), 1, v.y.data(), 1); });
}

void BM_Scale(benchmark::State& state) {  // qormtx_array_x_factor against dscal
  const double f = 1.0000001, g = 1.0 / 1.0000001;
  KernelPair(
      state, [&](int n, Arrays& v) { qormtx_array_x_factor(&n, v.x.data(), &f); },
      [&](int n, Arrays& v) { cblas_dscal(n, g, v.x.data(), 1); });
}

void BM_Add2(benchmark::State& state) {  // qormtx_array_add2 (y = a x + b y) against daxpby
  const double a = 1e-3, b = 0.999;
  KernelPair(
      state, [&](int n, Arrays& v) { qormtx_array_add2(&n, &a, v.x.data(), &b, v.y.data()); },
      [&](int n, Arrays& v) { cblas_daxpby(n, a, v.x.data(), 1, b, v.y.data(), 1); });
}

// There is no unmangled real dot product; the nearest pairing for ddot's read-two-arrays traffic is the
// elementwise product c = alpha a b, which also writes one array (so the ratio understates ours).
void BM_ElementProductVsDdot(benchmark::State& state) {
  const double alpha = 1.0, beta = 0.0;
  const int one = 1;
  double dot = 0.0;
  KernelPair(
      state,
      [&](int n, Arrays& v) {
        qormtx_darray_multiply(&n, &alpha, v.x.data(), &one, v.y.data(), &one, &beta, v.z.data(), &one);
      },
      [&](int n, Arrays& v) { dot += cblas_ddot(n, v.x.data(), 1, v.y.data(), 1); });
  benchmark::DoNotOptimize(dot);
}

void BM_Zdotc(benchmark::State& state) {  // our wrapper (through the kernel layer) against the raw call
  const int one = 1;
  double r[2] = {0, 0}, s[2] = {0, 0};
  KernelPair(
      state, [&](int n, Arrays& v) { qormtx_zdotc(&n, v.z.data(), &one, v.w.data(), &one, r); },
      [&](int n, Arrays& v) { cblas_zdotc_sub(n, v.z.data(), 1, v.w.data(), 1, s); });
  benchmark::DoNotOptimize(r);
  benchmark::DoNotOptimize(s);
}

}  // namespace

BENCHMARK(BM_SortInt2)->Arg(64)->Arg(1000000)->Arg(10000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Daxpy)->Arg(64)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scale)->Arg(64)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Add2)->Arg(64)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ElementProductVsDdot)->Arg(64)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Zdotc)->Arg(64)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
