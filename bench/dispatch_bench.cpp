// Cost of the dispatch layer on complex products: ComplexMultiply (zgemm and zgemm3m paths) beside raw cblas_zgemm.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <chrono>
#include <random>
#include <vector>

#include "QORMtxBlaUtilities.h"

namespace {

typedef std::chrono::steady_clock Clock;

struct Operands {
  explicit Operands(int n) : A(2 * n * n), B(2 * n * n), C(2 * n * n, 0.0) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (double& x : A) x = d(rng);
    for (double& x : B) x = d(rng);
  }
  std::vector<double> A, B, C;
};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Each iteration runs ours and the raw zgemm back to back (alternating which goes first), so that both see the
// same machine load and cache state; the reported time is ours, "ratio" is ours / raw over all iterations.
void ComplexProduct(benchmark::State& state, bool zgemm3m) {
  const int n = static_cast<int>(state.range(0));
  openblas_set_num_threads(1);  // the machine is shared: one thread keeps the two sides comparable
  Operands ops(n);
  const double alpha[2] = {1.0, 0.5}, beta[2] = {0.0, 0.0};
  const bool savedFlag = QORMtxBlaUtilities::Zgemm3mFlag();
  QORMtxBlaUtilities::SetZgemm3mFlag(zgemm3m);
  auto runOurs = [&] {
    QORMtxBlaUtilities::ComplexMultiply('N', 'N', n, n, n, alpha, ops.A.data(), n, ops.B.data(), n, beta, ops.C.data(),
                                        n, 0, 0);
  };
  auto runRaw = [&] {
    cblas_zgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, alpha, ops.A.data(), n, ops.B.data(), n, beta,
                ops.C.data(), n);
  };
  runOurs();  // warm both paths: first-touch and kernel set-up are not what is measured
  runRaw();
  double ours = 0.0, raw = 0.0;
  bool oursFirst = true;
  for (auto _ : state) {
    double tOurs = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
      const bool doOurs = (pass == 0) == oursFirst;
      const Clock::time_point t0 = Clock::now();
      doOurs ? runOurs() : runRaw();
      const Clock::time_point t1 = Clock::now();
      benchmark::DoNotOptimize(ops.C.data());
      benchmark::ClobberMemory();
      (doOurs ? tOurs : raw) += Seconds(t0, t1);
    }
    oursFirst = !oursFirst;
    ours += tOurs;
    state.SetIterationTime(tOurs);
  }
  QORMtxBlaUtilities::SetZgemm3mFlag(savedFlag);
  state.counters["ratio"] = ours / raw;
  state.counters["GFlops"] = benchmark::Counter(8.0 * n * n * static_cast<double>(n) * state.iterations() / 1e9 / ours);
}

void BM_ComplexMultiply(benchmark::State& state) { ComplexProduct(state, false); }
void BM_ComplexMultiply3m(benchmark::State& state) { ComplexProduct(state, true); }

}  // namespace

BENCHMARK(BM_ComplexMultiply)->Arg(64)->Arg(256)->Arg(512)->Arg(1024)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComplexMultiply3m)->Arg(64)->Arg(256)->Arg(512)->Arg(1024)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
