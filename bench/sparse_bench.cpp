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

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

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

int GridEdge(int64_t rows) { return static_cast<int>(std::lround(std::cbrt(static_cast<double>(rows)))); }

// The 27-point Laplacian (26 on the diagonal, -1 to every neighbour in the 3 × 3 × 3 box), as unsorted triplets:
// every fourth off-diagonal value is split into two halves so that assembly has duplicates to sum, then the list is
// shuffled. Cached per size: building it costs more than assembling it.
const std::vector<Triplet>& Laplacian27(int g) {
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

void FillOurs(const std::vector<Triplet>& t, int n, QORMtxSparseMatrix& A) {
  A.Reset(n, n);
  A.BeginAssembly(false);
  A.ReserveEntries(static_cast<int>(t.size()));
  for (const Triplet& e : t) A.AddData(e.r, e.c, e.v, false);
}

void AssembleOurs(const std::vector<Triplet>& t, int n, QORMtxSparseMatrix& A) {
  FillOurs(t, n, A);
  A.EndAssembly(false);
}

using EigenCsr = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

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
  Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(n, 1.0, 2.0), y(n), yE(n);
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
          yE.noalias() = E * x;
          benchmark::ClobberMemory();
          return Seconds(t0, Clock::now());
        });
  }
  if ((y - yE).cwiseAbs().maxCoeff() > 1e-12 * (1.0 + yE.cwiseAbs().maxCoeff())) {
    state.SkipWithError("products differ");
    return;
  }
  const double nnz = static_cast<double>(A.NumberOfNonzeros());
  const double bytes = nnz * (sizeof(double) + sizeof(int)) + (n + 1.0) * sizeof(unsigned) + 2.0 * n * sizeof(double);
  const double rate = bytes / duel.bestOurs;
  duel.Report(state);
  state.counters["GB/s"] = rate / 1e9;
  state.counters["of_triad"] = rate / TriadBytesPerSecond();
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
  Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(n, 1.0, 2.0), y(n), yE(n);
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
          yE.noalias() = E.selfadjointView<Eigen::Lower>() * x;
          benchmark::ClobberMemory();
          return Seconds(t0, Clock::now());
        });
  }
  if ((y - yE).cwiseAbs().maxCoeff() > 1e-12 * (1.0 + yE.cwiseAbs().maxCoeff())) {
    state.SkipWithError("products differ");
    return;
  }
  const double nnz = static_cast<double>(A.NumberOfNonzeros());
  const double bytes = nnz * (sizeof(double) + sizeof(int)) + (n + 1.0) * sizeof(unsigned) + 3.0 * n * sizeof(double);
  const double rate = bytes / duel.bestOurs;
  duel.Report(state);
  state.counters["GB/s"] = rate / 1e9;
  state.counters["of_triad"] = rate / TriadBytesPerSecond();
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
