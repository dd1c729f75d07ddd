// QORMtxBLA::Multiply beside a raw cblas_dgemm, and EigenSolveGeneral (LAPACK hook package) beside a direct
// LAPACKE_dsygvd on the same pencil, timed in the same run.
#include <benchmark/benchmark.h>
#include <cblas.h>
#include <lapacke.h>

#include <chrono>
#include <random>
#include <vector>

#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxMatrix.h"

namespace {

using Clock = std::chrono::steady_clock;

void FillRandom(double* v, size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (size_t k = 0; k < n; ++k) v[k] = dist(gen);
}

// Runs raw and ours back to back in alternating order (warm caches and threads favour neither); prepare() runs
// untimed before each call. Reports our time, and ratio = raw time / our time (1.0: no overhead, > 1: faster).
template <class Prepare, class Raw, class Ours>
double Compare(benchmark::State& state, Prepare prepare, Raw raw, Ours ours) {
  double rawSeconds = 0.0, ourSeconds = 0.0;
  bool rawFirst = true;
  for (auto _ : state) {
    double seconds[2];
    for (int pass = 0; pass < 2; ++pass) {
      const bool runRaw = (pass == 0) == rawFirst;
      prepare();
      const auto t0 = Clock::now();
      runRaw ? raw() : ours();
      benchmark::ClobberMemory();
      seconds[runRaw ? 0 : 1] = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    rawSeconds += seconds[0];
    ourSeconds += seconds[1];
    state.SetIterationTime(seconds[1]);
    rawFirst = !rawFirst;
  }
  state.counters["ratio"] = ourSeconds > 0.0 ? rawSeconds / ourSeconds : 0.0;
  return ourSeconds;
}

void BM_BlaMultiply(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  QORMtxMatrix a(n, n), b(n, n), c(n, n), ref(n, n);
  FillRandom(a.Values(), a.NumberOfValues(), 1);
  FillRandom(b.Values(), b.NumberOfValues(), 2);
  const double seconds = Compare(
      state, [] {},
      [&] {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasTrans, n, n, n, 1.5, a.Values(), n, b.Values(), n, 0.0,
                    ref.Values(), n);
      },
      [&] { QORMtxBLA::Multiply(1.5, a, QORMtxBLA::NOOP, b, QORMtxBLA::TRANS, 0.0, c, QORMtxBLA::UNKNOWN, 0); });
  state.counters["GFLOPs"] = seconds > 0.0 ? 2e-9 * n * n * static_cast<double>(n) * state.iterations() / seconds : 0.0;
}
BENCHMARK(BM_BlaMultiply)->Arg(64)->Arg(512)->Arg(1024)->Arg(2048)->UseManualTime()->Unit(benchmark::kMillisecond);

// K = X·Xᵀ + n·I and M = 0.01·(Y·Yᵀ + n·I): symmetric positive definite, all eigenpairs wanted.
void BM_BlaEigenSolveGeneral(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const size_t nn = static_cast<size_t>(n) * n;
  std::vector<double> x(nn), k0(nn), m0(nn);
  FillRandom(x.data(), nn, 3);
  cblas_dgemm(CblasColMajor, CblasNoTrans, CblasTrans, n, n, n, 1.0, x.data(), n, x.data(), n, 0.0, k0.data(), n);
  FillRandom(x.data(), nn, 4);
  cblas_dgemm(CblasColMajor, CblasNoTrans, CblasTrans, n, n, n, 0.01, x.data(), n, x.data(), n, 0.0, m0.data(), n);
  for (int i = 0; i < n; ++i) {
    k0[i * (n + 1)] += n;
    m0[i * (n + 1)] += 0.01 * n;
  }
  QORLapackHooks_Install();
  // The hook runs on the threads it is given; the raw call uses the kernel library's current count.
  const int threads = openblas_get_num_threads();
  std::vector<double> kRaw(nn), mRaw(nn), w(static_cast<size_t>(n));
  QORMtxMatrix K(n, n, QORMtxMatrix::SYMM), M(n, n, QORMtxMatrix::SYMM), E, X;
  Compare(
      state,
      [&] {
        kRaw = k0;
        mRaw = m0;
        std::copy(k0.begin(), k0.end(), K.Values());
        std::copy(m0.begin(), m0.end(), M.Values());
      },
      [&] { LAPACKE_dsygvd(LAPACK_COL_MAJOR, 1, 'V', 'U', n, kRaw.data(), n, mRaw.data(), n, w.data()); },
      [&] { QORMtxBLA::EigenSolveGeneral(K, M, E, X, 0.0, 0.0, threads); });
  QORLapackHooks_Uninstall();
  state.counters["threads"] = threads;
}
BENCHMARK(BM_BlaEigenSolveGeneral)->Arg(64)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
