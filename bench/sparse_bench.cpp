// Sparse matrix benchmarks: assembly from unsorted triplets with duplicates and sparse × vector, against Eigen 3 and
// against the memory-bandwidth bound, on the 27-point Laplacian of an n = g³ grid (argument: the number of rows).
#include <benchmark/benchmark.h>

#include <Eigen/Sparse>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "QORMtxSparseMatrix.h"
#include "sparse_bench_common.h"

using namespace sparse_bench;

namespace {

// The whole road from entries to a matrix on both sides: ours appends every entry with AddData and calls
// EndAssembly; Eigen's user appends every entry to a triplet vector and calls setFromTriplets. Reported time: ours;
// counters: Eigen's time and ratio = eigen_s / ours (>= 1: ours is as fast or faster).
void BM_Assembly27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  const std::vector<Triplet>& source = Laplacian27(g);
  Duel duel;
  for (auto _ : state) {
    duel.Run(
        state,
        [&] {
          QORMtxSparseMatrix A;
          const auto t0 = Clock::now();
          AssembleOurs(source, n, A);
          const double s = Seconds(t0, Clock::now());
          benchmark::DoNotOptimize(A.NumberOfNonzeros());
          return s;
        },
        [&] {
          const auto t0 = Clock::now();
          std::vector<Eigen::Triplet<double, int>> t;
          t.reserve(source.size());
          for (const Triplet& x : source) t.emplace_back(x.row(), x.col(), x.v);
          EigenCsr E(n, n);
          E.setFromTriplets(t.begin(), t.end());
          const double s = Seconds(t0, Clock::now());
          benchmark::DoNotOptimize(E.nonZeros());
          return s;
        });
  }
  state.counters["triplets"] = static_cast<double>(source.size());
  duel.Report(state);
}

// The build step alone: EndAssembly on the collected entries against setFromTriplets on a ready triplet vector.
void BM_AssemblyBuild27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  const std::vector<Triplet>& t = Laplacian27(g);
  Duel duel;
  for (auto _ : state) {
    duel.Run(
        state,
        [&] {
          QORMtxSparseMatrix A;
          FillOurs(t, n, A);
          const auto t0 = Clock::now();
          A.EndAssembly(false);
          const double s = Seconds(t0, Clock::now());
          benchmark::DoNotOptimize(A.NumberOfNonzeros());
          return s;
        },
        [&] {
          EigenCsr E(n, n);
          const auto t0 = Clock::now();
          E.setFromTriplets(t.begin(), t.end());
          const double s = Seconds(t0, Clock::now());
          benchmark::DoNotOptimize(E.nonZeros());
          return s;
        });
  }
  duel.Report(state);
}

// Achievable bandwidth of this machine, measured once: the STREAM triad a = b + s·c on arrays far beyond cache.
double TriadBytesPerSecond() {
  static double rate = 0.0;
  if (rate > 0.0) return rate;
  const size_t m = size_t{1} << 23;  // 8 Mi doubles = 64 MiB per array
  std::vector<double> a(m, 0.0), b(m, 1.0), c(m, 2.0);
  double best = 1e30;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = Clock::now();
    for (size_t i = 0; i < m; ++i) a[i] = b[i] + 3.0 * c[i];
    benchmark::ClobberMemory();
    best = std::min(best, Seconds(t0, Clock::now()));
  }
  benchmark::DoNotOptimize(a.data());
  rate = 3.0 * sizeof(double) * static_cast<double>(m) / best;
  return rate;
}

// Times y = A·x through QORMtxSparseMatrix::Multiply against eigen(yE), checks the results agree, and reports the
// duel with the bandwidth achieved: values, column indices and row starts once, plus vectorPasses passes over n
// doubles (x and y; the symmetric product also reads y back).
template <class EigenProduct>
void DuelSpMV(benchmark::State& state, const QORMtxSparseMatrix& A, const Eigen::VectorXd& x, EigenProduct&& eigen,
              int vectorPasses) {
  const int rows = A.NumberOfRows();
  Eigen::VectorXd y(rows), yE(rows);
  Duel duel;
  for (auto _ : state) {
    duel.Run(
        state,
        [&] {
          const auto t0 = Clock::now();
          A.Multiply(x.data(), 1, y.data(), false);
          benchmark::ClobberMemory();
          return Seconds(t0, Clock::now());
        },
        [&] {
          const auto t0 = Clock::now();
          eigen(yE);
          benchmark::ClobberMemory();
          return Seconds(t0, Clock::now());
        });
  }
  if ((y - yE).cwiseAbs().maxCoeff() > 1e-12 * (1.0 + yE.cwiseAbs().maxCoeff())) {
    state.SkipWithError("products differ");
    return;
  }
  const double n = rows, nnz = A.NumberOfNonzeros();
  const double bytes =
      nnz * (sizeof(double) + sizeof(int)) + (n + 1.0) * sizeof(unsigned) + vectorPasses * n * sizeof(double);
  const double rate = bytes / duel.bestOurs;
  duel.Report(state);
  state.counters["GB/s"] = rate / 1e9;
  state.counters["of_triad"] = rate / TriadBytesPerSecond();
}

// y = A·x through QORMtxSparseMatrix::Multiply, beside Eigen's CSR product. Counters: Eigen's time, the ratio, the
// bandwidth achieved (values, column indices, row starts, x once, y once) and its fraction of the triad's.
void BM_SpMV27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  const std::vector<Triplet>& t = Laplacian27(g);
  QORMtxSparseMatrix A;
  AssembleOurs(t, n, A);
  EigenCsr E(n, n);
  E.setFromTriplets(t.begin(), t.end());
  if (E.nonZeros() != A.NumberOfNonzeros()) {
    state.SkipWithError("Eigen and QORMtx disagree on the number of nonzeros");
    return;
  }
  const Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(n, 1.0, 2.0);
  DuelSpMV(
      state, A, x, [&](Eigen::VectorXd& yE) { yE.noalias() = E * x; }, 2);
}

// y = A·x in symmetric storage (strict lower triangle plus diagonal), beside Eigen's self-adjoint view of its lower
// CSR triangle: both read each off-diagonal entry once for two updates. Counters as for BM_SpMV27, with the bytes of
// the stored lower half.
void BM_SpMVSym27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  std::vector<Triplet> lower;
  for (const Triplet& e : Laplacian27(g))
    if (e.c <= e.r) lower.push_back(e);
  QORMtxSparseMatrix A;
  A.Reset(n, n);
  A.BeginAssembly(false);
  for (const Triplet& e : lower) A.AddData(e.r, e.c, e.v, false);
  A.EndAssembly(true);
  EigenCsr E(n, n);
  E.setFromTriplets(lower.begin(), lower.end());
  const Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(n, 1.0, 2.0);
  DuelSpMV(
      state, A, x, [&](Eigen::VectorXd& yE) { yE.noalias() = E.selfadjointView<Eigen::Lower>() * x; }, 3);
}

// Rows: 4³ (smoke), 50³ and 100³. The large sizes run a fixed few rounds: one round of 100³ takes seconds.
int RegisterAll() {
  const struct {
    const char* name;
    void (*fn)(benchmark::State&);
  } benches[] = {{"BM_Assembly27", BM_Assembly27}, {"BM_AssemblyBuild27", BM_AssemblyBuild27}};
  for (const auto& b : benches) {
    benchmark::RegisterBenchmark(b.name, b.fn)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(b.name, b.fn)
        ->Arg(125000)
        ->Iterations(6)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(b.name, b.fn)
        ->Arg(1000000)
        ->Iterations(4)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  // A product takes milliseconds: let the library choose the rounds.
  for (auto fn : {BM_SpMV27, BM_SpMVSym27})
    benchmark::RegisterBenchmark(fn == BM_SpMV27 ? "BM_SpMV27" : "BM_SpMVSym27", fn)
        ->Arg(64)
        ->Arg(125000)
        ->Arg(1000000)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  return 0;
}
const int kRegistered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
