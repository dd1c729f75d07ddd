// Products of a stored dense matrix beside cblas_dgemm on the same values in core, in the same run. A is m × n in a
// scratch file database, chunked m/32 × n/8 (8192 × 2048: blocks of 256 × 256), warm in the page cache.
//   slot 5  C = A·B,  B n × 64 in core, A read one row block (256 × 2048, 1/32 of A) at a time;
//   slot 16 C = Aᵀ·B, B m × 64 stored, bands of NumberOfRowBlocksToIO(64) row blocks (1/8 of A) of A and of B;
//   slot 7  C = A·B,  B n × 64 and C m × 64 stored, tiles sized by the product's budget.
// Counters: ratio = in-core time / stored time (1: streaming is free); peak_MB, the growth of the resident set while
// the stored product runs (the high-water mark is reset first), against budget_MB, the product's band buffers, and
// A_MB for scale; read_share, the time of the same band reads alone over the stored product's time. Arguments m, n: 64 × 16 (smoke) and 8192 × 2048.
#include <benchmark/benchmark.h>
#include <cblas.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kVectors = 64;

void FillRandom(double* v, size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (size_t k = 0; k < n; ++k) v[k] = dist(gen);
}

// Resident set in kB: the current size, or the high-water mark since the last reset.
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t len = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, len, field) == 0) return std::atol(line.c_str() + len + 1);
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// One scratch database holding the stored operands, removed with the object.
struct Database {
  std::filesystem::path dir;
  QORSimDatabase db;
  Database() {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / ("qormtx_stored_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    db.Create((dir / "products.sim").string().c_str());
  }
  ~Database() {
    db.Close();
    std::filesystem::remove_all(dir);
  }
  // A stored rows × cols matrix chunked as given holding values (column-major), written band by band.
  std::unique_ptr<QORMtxDenseMatrix> Store(int rows, int cols, int rowChunk, int colChunk, const double* values) {
    QORSimContext ctx(db.ContextID());
    auto m = std::make_unique<QORMtxDenseMatrix>(QORMtxUtilities::Create2DDistribution(
        QORSimCollection(ctx.CreateCollection(rows)).BiggestCSetID(),
        QORSimCollection(ctx.CreateCollection(cols)).BiggestCSetID(), rowChunk, colChunk));
    if (values) m->SetValues(0, rows - 1, 0, cols - 1, values);
    return m;
  }
};

struct Operands {
  int m, n, p = kVectors;
  Database db;
  QORMtxMatrix a, b, bt;  // A m × n, B n × p, Bt m × p (the operand of Aᵀ·B)
  std::unique_ptr<QORMtxDenseMatrix> A, B, Bt, C;
  Operands(int rows, int cols) : m(rows), n(cols), a(rows, cols), b(cols, kVectors), bt(rows, kVectors) {
    FillRandom(a.Values(), a.NumberOfValues(), 1);
    FillRandom(b.Values(), b.NumberOfValues(), 2);
    FillRandom(bt.Values(), bt.NumberOfValues(), 3);
    const int rc = std::max(1, m / 32), cc = std::max(1, n / 8);
    A = db.Store(m, n, rc, cc, a.Values());
    B = db.Store(n, p, cc, p, b.Values());
    Bt = db.Store(m, p, rc, p, bt.Values());
    C = db.Store(m, p, rc, p, nullptr);
  }
};

// Runs the in-core reference and the stored product back to back, alternating which goes first; the stored runs are
// timed as the benchmark's time. Then one more stored run with the resident high-water mark reset before it.
// reads: the stored operands' band reads alone, as the product makes them, for read_share = reads / stored time.
template <class InCore, class Stored, class Reads>
void Compare(benchmark::State& state, const Operands& op, double budgetDoubles, InCore inCore, Stored stored,
             Reads reads) {
  double seconds[3] = {0.0, 0.0, 0.0};  // in core, stored, reads
  int rotation = 0;
  for (auto _ : state) {
    double pass[3];
    for (int k = 0; k < 3; ++k) {
      const int which = (k + rotation) % 3;
      const auto t0 = Clock::now();
      which == 0 ? inCore() : which == 1 ? stored() : reads();
      benchmark::ClobberMemory();
      pass[which] = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    for (int k = 0; k < 3; ++k) seconds[k] += pass[k];
    state.SetIterationTime(pass[1]);
    rotation = (rotation + 1) % 3;
  }
  const double coreSeconds = seconds[0], storedSeconds = seconds[1];
  state.counters["read_share"] = storedSeconds > 0.0 ? seconds[2] / storedSeconds : 0.0;
  // Freed heap pages go back to the system first, so that the growth counts what the product itself touches.
  malloc_trim(0);
  const long before = StatusKb("VmRSS:");
  ResetPeak();
  stored();
  const long peak = StatusKb("VmHWM:");
  state.counters["ratio"] = storedSeconds > 0.0 ? coreSeconds / storedSeconds : 0.0;
  state.counters["peak_MB"] = std::max(0L, peak - before) / 1024.0;
  state.counters["budget_MB"] = budgetDoubles * 8.0 / 1048576.0;
  state.counters["A_MB"] = static_cast<double>(op.m) * op.n * 8.0 / 1048576.0;
}

// Every row of X in bands of k row blocks, all columns, into one buffer.
void ReadBands(const QORMtxDenseMatrix& X, int k, int cols, std::vector<double>& buffer) {
  const int rows = X.NumberOfRows(), step = k * X.MaxNumberOfRowsInBlock();
  for (int r0 = 0; r0 < rows; r0 += step)
    X.GetValues(r0, std::min(rows, r0 + step) - 1, 0, cols - 1, buffer.data());
}

bool Same(const QORMtxMatrix& x, const double* y) {
  double diff = 0.0, big = 0.0;
  for (size_t k = 0; k < x.NumberOfValues(); ++k) {
    diff = std::max(diff, std::fabs(x.Values()[k] - y[k]));
    big = std::max(big, std::fabs(y[k]));
  }
  return diff <= 1e-10 * std::max(1.0, big);
}

void BM_Slot5_AB(benchmark::State& state) {
  Operands op(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  QORMtxMatrix c(op.m, op.p), ref(op.m, op.p);
  std::vector<double> band(static_cast<size_t>(op.A->MaxNumberOfRowsInBlock()) * op.n);
  Compare(
      state, op, static_cast<double>(op.A->MaxNumberOfRowsInBlock()) * op.n,
      [&] {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, op.m, op.p, op.n, 1.0, op.a.Values(), op.m,
                    op.b.Values(), op.n, 0.0, ref.Values(), op.m);
      },
      [&] { op.A->Multiply(op.b, c); },
      [&] { ReadBands(*op.A, 1, op.n, band); });
  if (!Same(c, ref.Values())) state.SkipWithError("stored A·B differs from the in-core product");
}

void BM_Slot16_AtB(benchmark::State& state) {
  Operands op(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  QORMtxMatrix c(op.n, op.p), ref(op.n, op.p);
  const int k = op.A->NumberOfRowBlocksToIO(op.p);
  const double bandRows = static_cast<double>(k) * op.A->MaxNumberOfRowsInBlock();
  std::vector<double> band(static_cast<size_t>(bandRows) * op.n), bBand(static_cast<size_t>(bandRows) * op.p);
  Compare(
      state, op, bandRows * (op.n + op.p),
      [&] {
        cblas_dgemm(CblasColMajor, CblasTrans, CblasNoTrans, op.n, op.p, op.m, 1.0, op.a.Values(), op.m,
                    op.bt.Values(), op.m, 0.0, ref.Values(), op.n);
      },
      [&] { op.A->TransposeMultiply(op.Bt.get(), c, 0); },
      [&] {
        ReadBands(*op.A, k, op.n, band);
        ReadBands(*op.Bt, k * op.A->MaxNumberOfRowsInBlock() / op.Bt->MaxNumberOfRowsInBlock(), op.p, bBand);
      });
  if (!Same(c, ref.Values())) state.SkipWithError("stored Aᵀ·B differs from the in-core product");
}

void BM_Slot7_StoredAB(benchmark::State& state) {
  Operands op(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  QORMtxMatrix c(op.m, op.p), ref(op.m, op.p);
  // The product's own budget S (its three buffers hold about that many doubles).
  const double rA = op.A->MaxNumberOfRowsInBlock(), n = op.n, m = op.m;
  const double budget = op.p * n + (rA * n > m ? n * rA : m);
  std::vector<double> whole(static_cast<size_t>(rA) * op.n);  // A once, as a lower bound of its tile reads
  Compare(
      state, op, budget,
      [&] {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, op.m, op.p, op.n, 1.0, op.a.Values(), op.m,
                    op.b.Values(), op.n, 0.0, ref.Values(), op.m);
      },
      [&] { op.A->Multiply(*op.B, *op.C); },
      [&] { ReadBands(*op.A, 1, op.n, whole); });
  op.C->GetValues(0, op.m - 1, 0, op.p - 1, c);
  if (!Same(c, ref.Values())) state.SkipWithError("stored × stored differs from the in-core product");
}

BENCHMARK(BM_Slot5_AB)->Args({64, 16})->Args({8192, 2048})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slot16_AtB)->Args({64, 16})->Args({8192, 2048})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slot7_StoredAB)->Args({64, 16})->Args({8192, 2048})->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
