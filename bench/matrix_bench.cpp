// QORMtxMatrix::Multiply against a raw cblas_dgemm on the same operands, timed in the same run.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <chrono>
#include <random>

#include "QORMtxMatrix.h"

namespace {

void FillRandom(QORMtxMatrix& m, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  const size_t n = m.NumberOfValues();
  for (size_t k = 0; k < n; ++k) m.Values()[k] = dist(gen);
}

// Each iteration runs both products back to back, so that drift in clock or load hits both alike.
// The reported time is ours; ratio = raw time / our time (1.0: no overhead).
void BM_MatrixMultiply(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  QORMtxMatrix a(n, n), b(n, n), c(n, n), ref(n, n);
  FillRandom(a, 1);
  FillRandom(b, 2);
  using Clock = std::chrono::steady_clock;
  double rawSeconds = 0.0, ourSeconds = 0.0;
  bool rawFirst = true;
  const auto raw = [&] {
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0, a.Values(), n, b.Values(), n, 0.0,
                ref.Values(), n);
  };
  const auto ours = [&] { c.Multiply(a, b, false); };
  for (auto _ : state) {
    // The order alternates, so that whichever call runs second (warm threads, caches) is not always the same.
    const auto t0 = Clock::now();
    rawFirst ? raw() : ours();
    const auto t1 = Clock::now();
    rawFirst ? ours() : raw();
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(ref.Values());
    benchmark::DoNotOptimize(c.Values());
    benchmark::ClobberMemory();
    const double first = std::chrono::duration<double>(t1 - t0).count();
    const double second = std::chrono::duration<double>(t2 - t1).count();
    const double ourTime = rawFirst ? second : first;
    rawSeconds += rawFirst ? first : second;
    ourSeconds += ourTime;
    state.SetIterationTime(ourTime);
    rawFirst = !rawFirst;
  }
  state.counters["ratio"] = ourSeconds > 0.0 ? rawSeconds / ourSeconds : 0.0;
  state.counters["GFLOPs"] =
      ourSeconds > 0.0 ? 2.0 * n * n * static_cast<double>(n) * state.iterations() / ourSeconds * 1e-9 : 0.0;
}
BENCHMARK(BM_MatrixMultiply)
    ->Arg(64)
    ->Arg(256)
    ->Arg(512)
    ->Arg(1024)
    ->Arg(2048)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
