// Bᵀ·K·B and the energy products bᵀ·K·b with K the 27-point Laplacian (symmetric storage) and B of 64 columns
// stored in a database file, against the in-core equivalent in Eigen (sparse K times dense B, then Bᵀ·T) in the
// same run. Counters: ratio = Eigen's best time / ours; mem_ratio = the resident memory our call adds at its peak
// over the size of B and T that the in-core path holds (B is 8·rows·64 bytes).
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMappedOperations.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "sparse_bench_common.h"

namespace {

using sparse_bench::Clock;
using sparse_bench::Seconds;
constexpr int kColumns = 64;

// Resident memory in kB: the current value and the peak since the last reset.
long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// K (symmetric storage), the same K in Eigen (full storage), B stored in a file and B in core.
struct Problem {
  int n = 0;
  QORMtxSparseMatrix K;
  sparse_bench::EigenCsr Ke;
  std::string path;
  QORSimDatabase db;
  QORMtxDenseMatrix* B = nullptr;
  Eigen::MatrixXd Bd;

  explicit Problem(int rows) {
    const int g = sparse_bench::GridEdge(rows);
    n = g * g * g;
    const std::vector<sparse_bench::Triplet>& t = sparse_bench::Laplacian27(g);
    K.Reset(n, n);
    K.ReserveEntries(static_cast<int>(t.size() / 2 + n));
    for (const auto& e : t)
      if (e.r >= e.c) K.AddData(e.r, e.c, e.v, false);
    K.EndAssembly(true);
    Ke.resize(n, n);
    Ke.setFromTriplets(t.begin(), t.end());
    Bd = Eigen::MatrixXd::Random(n, kColumns);
    const std::string dir = QORMtxUtilities::GetTempDirectory().str();
    path = (dir.empty() ? std::string("/tmp") : dir) + "/qormtx_mapped_bench_" + std::to_string(n) + ".h5";
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    const QORSimCSetID rowsSet = QORSimCollection(ctx.CreateCollection(n)).BiggestCSetID();
    const QORSimCSetID colsSet = QORSimCollection(ctx.CreateCollection(kColumns)).BiggestCSetID();
    B = new QORMtxDenseMatrix(QORMtxUtilities::Create2DDistribution(rowsSet, colsSet, 4096, 16));
    B->SetValues(0, n - 1, 0, kColumns - 1, Bd.data());
  }
  ~Problem() {
    delete B;
    db.Close();
    std::remove(path.c_str());
  }
  double BytesOfB() const { return 8.0 * n * kColumns; }
};

template <class Ours, class Theirs>
void Measure(benchmark::State& state, Problem& p, Ours ours, Theirs theirs) {
  sparse_bench::Duel duel;
  double peakKb = 0.0;
  for (auto _ : state) {
    duel.Run(
        state,
        [&] {
          ResetPeak();
          const long before = StatusKb("VmRSS:");
          const auto t0 = Clock::now();
          ours();
          const double s = Seconds(t0, Clock::now());
          peakKb = std::max(peakKb, static_cast<double>(StatusKb("VmHWM:") - before));
          return s;
        },
        [&] {
          const auto t0 = Clock::now();
          theirs();
          return Seconds(t0, Clock::now());
        });
  }
  duel.Report(state);
  state.counters["rows"] = p.n;
  state.counters["B_MB"] = p.BytesOfB() / 1048576.0;
  state.counters["peak_MB"] = peakKb / 1024.0;
  state.counters["mem_ratio"] = peakKb * 1024.0 / (2.0 * p.BytesOfB());
}

void BM_Project(benchmark::State& state) {
  Problem p(static_cast<int>(state.range(0)));
  QORMtxMatrix C;
  Eigen::MatrixXd T, Ce;
  Measure(
      state, p, [&] { QORMtxMappedOperations::Project(p.K, *p.B, C, 1); },
      [&] {
        T.noalias() = p.Ke * p.Bd;
        Ce.noalias() = p.Bd.transpose() * T;
        benchmark::DoNotOptimize(Ce.data());
      });
  double diff = 0.0;
  for (int j = 0; j < kColumns; ++j)
    for (int i = 0; i < kColumns; ++i) diff = std::max(diff, std::fabs(C.value(i, j) - Ce(i, j)) / (1.0 + std::fabs(Ce(i, j))));
  state.counters["max_rel_diff"] = diff;
}

void BM_EnergyProduct(benchmark::State& state) {
  Problem p(static_cast<int>(state.range(0)));
  std::vector<double> e(kColumns);
  Eigen::MatrixXd T;
  Eigen::VectorXd ee;
  Measure(
      state, p, [&] { QORMtxMappedOperations::EnergyProduct(p.K, *p.B, e.data()); },
      [&] {
        T.noalias() = p.Ke * p.Bd;
        ee = p.Bd.cwiseProduct(T).colwise().sum().transpose();
        benchmark::DoNotOptimize(ee.data());
      });
  double diff = 0.0;
  for (int k = 0; k < kColumns; ++k) diff = std::max(diff, std::fabs(e[k] - ee(k)) / (1.0 + std::fabs(ee(k))));
  state.counters["max_rel_diff"] = diff;
}

// Sparse K times a stored B of 64 columns into a stored U, with B and U chunked 1, 8 and 64 columns wide in the
// same run: the time and the added peak memory should not follow the chunk width (ratio_w = time with 1-column
// chunks over time with w-column chunks).
void BM_MultiplyDenseChunkWidth(benchmark::State& state) {
  Problem p(static_cast<int>(state.range(0)));
  QORSimContext ctx(p.db.ContextID());
  const int widths[3] = {1, 8, 64};
  std::vector<std::unique_ptr<QORMtxDenseMatrix>> B, U;
  for (int w : widths) {
    const QORSimCSetID rows = QORSimCollection(ctx.CreateCollection(p.n)).BiggestCSetID();
    const QORSimCSetID cols = QORSimCollection(ctx.CreateCollection(kColumns)).BiggestCSetID();
    B.emplace_back(new QORMtxDenseMatrix(QORMtxUtilities::Create2DDistribution(rows, cols, 4096, w)));
    B.back()->SetValues(0, p.n - 1, 0, kColumns - 1, p.Bd.data());
    U.emplace_back(new QORMtxDenseMatrix(QORMtxUtilities::Create2DDistribution(rows, cols, 4096, w)));
  }
  double best[3] = {1e300, 1e300, 1e300}, peakKb[3] = {0, 0, 0};
  for (auto _ : state) {
    double total = 0.0;
    for (int k = 0; k < 3; ++k) {
      ResetPeak();
      const long before = StatusKb("VmRSS:");
      const auto t0 = Clock::now();
      p.K.MultiplyDense(*B[k], *U[k], false);
      const double s = Seconds(t0, Clock::now());
      peakKb[k] = std::max(peakKb[k], static_cast<double>(StatusKb("VmHWM:") - before));
      best[k] = std::min(best[k], s);
      total += s;
    }
    state.SetIterationTime(total);
  }
  for (int k = 0; k < 3; ++k) {
    const std::string w = std::to_string(widths[k]);
    state.counters["best_s_" + w] = best[k];
    state.counters["peak_MB_" + w] = peakKb[k] / 1024.0;
    state.counters["ratio_" + w] = best[0] / best[k];
  }
}

}  // namespace

// Rows of K and B (rounded to a cube); 64 rows is the smoke size that ctest runs.
BENCHMARK(BM_Project)->Arg(64)->Arg(125000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EnergyProduct)->Arg(64)->Arg(125000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_MultiplyDenseChunkWidth)->Arg(64)->Arg(125000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
