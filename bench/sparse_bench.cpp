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
#include "blac.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

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
  double ours = 0.0, eigen = 0.0;
  for (auto _ : state) {
    double o, e;
    {
      QORMtxSparseMatrix A;
      const auto t0 = Clock::now();
      AssembleOurs(source, n, A);
      o = Seconds(t0, Clock::now());
      benchmark::DoNotOptimize(A.NumberOfNonzeros());
    }
    {
      const auto t0 = Clock::now();
      std::vector<Eigen::Triplet<double, int>> t;
      t.reserve(source.size());
      for (const Triplet& x : source) t.emplace_back(x.row(), x.col(), x.v);
      EigenCsr E(n, n);
      E.setFromTriplets(t.begin(), t.end());
      e = Seconds(t0, Clock::now());
      benchmark::DoNotOptimize(E.nonZeros());
    }
    state.SetIterationTime(o);
    ours += o;
    eigen += e;
  }
  state.counters["triplets"] = static_cast<double>(source.size());
  state.counters["eigen_s"] = benchmark::Counter(eigen, benchmark::Counter::kAvgIterations);
  state.counters["ratio"] = ours > 0.0 ? eigen / ours : 0.0;
}

// The build step alone: EndAssembly on the collected entries against setFromTriplets on a ready triplet vector.
void BM_AssemblyBuild27(benchmark::State& state) {
  const int g = GridEdge(state.range(0));
  const int n = g * g * g;
  const std::vector<Triplet>& t = Laplacian27(g);
  double ours = 0.0, eigen = 0.0;
  for (auto _ : state) {
    double o, e;
    {
      QORMtxSparseMatrix A;
      FillOurs(t, n, A);
      const auto t0 = Clock::now();
      A.EndAssembly(false);
      o = Seconds(t0, Clock::now());
      benchmark::DoNotOptimize(A.NumberOfNonzeros());
    }
    {
      EigenCsr E(n, n);
      const auto t0 = Clock::now();
      E.setFromTriplets(t.begin(), t.end());
      e = Seconds(t0, Clock::now());
      benchmark::DoNotOptimize(E.nonZeros());
    }
    state.SetIterationTime(o);
    ours += o;
    eigen += e;
  }
  state.counters["eigen_s"] = benchmark::Counter(eigen, benchmark::Counter::kAvgIterations);
  state.counters["ratio"] = ours > 0.0 ? eigen / ours : 0.0;
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

// y = A·x through the kernel layer on the assembled arrays, beside Eigen's CSR product. Counters: Eigen's time, the
// ratio, the bandwidth achieved (values, column indices, row starts, x once, y once) and its fraction of the triad's.
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
  // Row starts from the public row sizes; row 0's columns and values start the stored arrays.
  std::vector<unsigned> rowP(static_cast<size_t>(n) + 1, 0);
  for (int r = 0; r < n; ++r) rowP[r + 1] = rowP[r] + static_cast<unsigned>(A.RowSize(r));
  const int* colI = A.RowColumns(0);
  const double* vals = A.RowValues(0);
  Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(n, 1.0, 2.0), y(n), yE(n);
  const int one = 1;
  double ours = 0.0, eigen = 0.0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    blac_sparse_umv(vals, x.data(), rowP.data(), colI, y.data(), &n, &n, &one);
    benchmark::ClobberMemory();
    const double o = Seconds(t0, Clock::now());
    t0 = Clock::now();
    yE.noalias() = E * x;
    benchmark::ClobberMemory();
    const double e = Seconds(t0, Clock::now());
    state.SetIterationTime(o);
    ours += o;
    eigen += e;
  }
  if ((y - yE).cwiseAbs().maxCoeff() > 1e-12 * (1.0 + yE.cwiseAbs().maxCoeff())) {
    state.SkipWithError("products differ");
    return;
  }
  const double nnz = static_cast<double>(A.NumberOfNonzeros());
  const double bytes = nnz * (sizeof(double) + sizeof(int)) + (n + 1.0) * sizeof(unsigned) + 2.0 * n * sizeof(double);
  const double iters = static_cast<double>(state.iterations());
  const double rate = ours > 0.0 ? bytes * iters / ours : 0.0;
  state.counters["eigen_s"] = benchmark::Counter(eigen, benchmark::Counter::kAvgIterations);
  state.counters["ratio"] = ours > 0.0 ? eigen / ours : 0.0;
  state.counters["GB/s"] = rate / 1e9;
  state.counters["of_triad"] = rate / TriadBytesPerSecond();
}

}  // namespace

// Rows: 4³ (smoke), 50³ and 100³.
BENCHMARK(BM_Assembly27)->Arg(64)->Arg(125000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssemblyBuild27)->Arg(64)->Arg(125000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpMV27)->Arg(64)->Arg(125000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
