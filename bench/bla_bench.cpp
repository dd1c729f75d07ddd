// QORMtxBLA::Multiply beside a raw cblas_dgemm; the product with a stored A streamed through a buffer of 1/8 of A
// beside the in-core product of the same values; EigenSolveGeneral (LAPACK hook package) beside a direct
// LAPACKE_dsygvd on the same pencil. Each pair is timed in the same run.
#include <benchmark/benchmark.h>
#include <cblas.h>
#include <lapacke.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QORBasMemInfo.h"
#include "QORLapackHooks.h"
#include "QORMtxBands.h"
#include "QORMtxBLA.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"

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

// A stored n × n matrix in a scratch file database (column-major) and the same values in core. Blocks: n/16 rows ×
// all columns (tiles = false: a basis written band by band) or n/8 × n/8 tiles (a matrix written block by block).
struct StoredOperand {
  std::filesystem::path dir;
  QORSimDatabase db;
  QORMtxMatrix inCore;
  std::unique_ptr<QORMtxDenseMatrix> stored;

  StoredOperand(int n, bool tiles, unsigned seed) : inCore(n, n) {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
          ("qormtx_bla_bench_" + std::to_string(::getpid()) + "_" + std::to_string(n));
    std::filesystem::create_directories(dir);
    db.Create((dir / "a.sim").string().c_str());
    QORSimContext ctx(db.ContextID());
    const QORSimCSetID rows = QORSimCollection(ctx.CreateCollection(n)).BiggestCSetID();
    const QORSimCSetID cols = QORSimCollection(ctx.CreateCollection(n)).BiggestCSetID();
    stored = std::make_unique<QORMtxDenseMatrix>(QORMtxUtilities::Create2DDistribution(
        rows, cols, std::max(1, n / (tiles ? 8 : 16)), tiles ? std::max(1, n / 8) : -1));
    FillRandom(inCore.Values(), inCore.NumberOfValues(), seed);
    stored->SetValues(0, n - 1, 0, n - 1, inCore);
  }
  ~StoredOperand() {
    stored.reset();
    db.Close();
    std::filesystem::remove_all(dir);
  }
};

// Physical memory as the buffer rules read it, set so that MaxDoublesInBuffer(0.1) is `doubles`, for one scope.
class BufferOverride {
 public:
  explicit BufferOverride(double doubles) {
    const double megaBytes = doubles * 8.0 / (0.1 * 1048576.0);
    QORBasMemInfo::SetPhysicalOverride(static_cast<uint64_t>(std::max(1.0, std::round(megaBytes))));
  }
  ~BufferOverride() { QORBasMemInfo::SetPhysicalOverride(0); }
  BufferOverride(const BufferOverride&) = delete;
  BufferOverride& operator=(const BufferOverride&) = delete;
};

// C = A·B with A (n × n) stored and read in row bands through a buffer of n²/8 doubles (B: n × n/16), against the
// in-core product of the same values, alternating which runs first. Arguments: n, block shape (0 bands, 1 tiles).
// ratio = in-core time / streamed time (1: streaming is free). Where the streamed time goes, as shares of it:
// read_share, the store reads of the same bands alone into one buffer; fresh_read_share, the same into a new buffer
// per band (the price of not reusing the band buffer); band_gemm_share, the same per-band products on the in-core A
// (one kernel call per band instead of one for all). What the shares leave is bookkeeping and the noise of a shared
// machine.
void BM_BlaStreamedProduct(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), m = std::max(4, n / 16);
  StoredOperand A(n, state.range(1) != 0, 5);
  QORMtxMatrix b(n, m), streamed(n, m), inCore(n, m), banded(n, m);
  FillRandom(b.Values(), b.NumberOfValues(), 6);
  const BufferOverride buffer(static_cast<double>(n) * n / 8.0);
  const int bandRows = std::min(n, QORMtxUtilities::MaxDoublesInBuffer(0.1) / n);
  const int perPass = std::max(1, bandRows / A.stored->MaxNumberOfRowsInBlock());
  QORMtxMatrix band;

  auto runInCore = [&] {
    QORMtxBLA::Multiply(1.0, A.inCore, QORMtxBLA::NOOP, b, QORMtxBLA::NOOP, 0.0, inCore, QORMtxBLA::UNKNOWN, 0);
  };
  auto runStreamed = [&] {
    QORMtxBLA::Multiply(1.0, *A.stored, QORMtxBLA::NOOP, b, QORMtxBLA::NOOP, 0.0, streamed, QORMtxBLA::UNKNOWN, 0);
  };
  const qormtx_bands::Geometry bands = qormtx_bands::Geometry::Blocks(*A.stored, qormtx_bands::Axis::Rows, perPass);
  auto forEachBand = [&](auto step) {  // the streamed product's band geometry
    for (int b = 0; b < bands.NumberOfRanges(); ++b) step(bands[b].first, bands[b].count);
  };
  auto runReads = [&] {
    forEachBand([&](int r0, int rows) {
      band.Reset(rows, n);
      A.stored->GetValues(r0, r0 + rows - 1, 0, n - 1, band);
    });
  };
  auto runFreshReads = [&] {
    forEachBand([&](int r0, int rows) {
      QORMtxMatrix fresh(rows, n);
      A.stored->GetValues(r0, r0 + rows - 1, 0, n - 1, fresh);
    });
  };
  auto runBandedGemm = [&] {
    forEachBand([&](int r0, int rows) {
      QORMtxBlaUtilities::Multiply('N', 'N', rows, m, n, 1.0, A.inCore.Values(r0, 0), n, b.Values(), n, 0.0,
                                   banded.Values(r0, 0), n, 0, 0);
    });
  };

  const int kinds = 5;
  double seconds[kinds] = {0.0, 0.0, 0.0, 0.0, 0.0};  // in core, streamed, reads, banded in core, fresh reads
  double fastest[kinds] = {1e300, 1e300, 1e300, 1e300, 1e300};
  int rotation = 0;
  for (auto _ : state) {
    double pass[kinds];
    for (int k = 0; k < kinds; ++k) {
      const int which = (k + rotation) % kinds;
      const auto t0 = Clock::now();
      if (which == 0) runInCore();
      if (which == 1) runStreamed();
      if (which == 2) runReads();
      if (which == 3) runBandedGemm();
      if (which == 4) runFreshReads();
      benchmark::ClobberMemory();
      pass[which] = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    for (int k = 0; k < kinds; ++k) {
      seconds[k] += pass[k];
      fastest[k] = std::min(fastest[k], pass[k]);
    }
    state.SetIterationTime(pass[1]);
    rotation = (rotation + 1) % kinds;
  }

  double maxDiff = 0.0, maxAbs = 0.0;
  for (size_t k = 0; k < static_cast<size_t>(inCore.NumberOfValues()); ++k) {
    maxDiff = std::max(maxDiff, std::fabs(inCore.Values()[k] - streamed.Values()[k]));
    maxAbs = std::max(maxAbs, std::fabs(inCore.Values()[k]));
  }
  if (maxDiff > 1e-12 * std::max(1.0, maxAbs)) state.SkipWithError("streamed product differs from the in-core one");
  state.counters["ratio"] = seconds[1] > 0.0 ? seconds[0] / seconds[1] : 0.0;
  // Fastest against fastest: on a machine shared with other work, the runs least disturbed by it.
  state.counters["ratio_fastest"] = fastest[1] > 0.0 ? fastest[0] / fastest[1] : 0.0;
  state.counters["read_share"] = seconds[1] > 0.0 ? seconds[2] / seconds[1] : 0.0;
  state.counters["fresh_read_share"] = seconds[1] > 0.0 ? seconds[4] / seconds[1] : 0.0;
  state.counters["band_gemm_share"] = seconds[1] > 0.0 ? seconds[3] / seconds[1] : 0.0;
  state.counters["bands"] = bands.NumberOfRanges();
  state.counters["read_MBps"] =
      seconds[2] > 0.0 ? 8e-6 * n * static_cast<double>(n) * state.iterations() / seconds[2] : 0.0;
}
BENCHMARK(BM_BlaStreamedProduct)
    ->Args({64, 0})
    ->Args({4096, 0})
    ->Args({4096, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

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
