// Element-matrix families. (1) Sparse assembly of a 3-D mesh of 8-node hexahedra with three unknowns per node from a
// compact family in the store, beside AddData of the same entries from memory (ratio = AddData time / family time,
// 1 = as fast). (2) Writing and reading the element matrices through the store (compact and bulk families), beside
// plain pwrite/pread of the same bytes (ratio = raw time / store time).
// Reads start after the database is open (opening reads its whole catalogue, a cost of its own).
// Arguments: nodes per side (70 gives about 10^6 unknowns) and numbers of elements; the _smoke runs are tiny.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "QORFsmElementDofs.h"
#include "QORMtxBulkMultiMatrix.h"
#include "QORMtxCompactMultiMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "omi_Set.h"

namespace {

// Both sides are timed by the thread's processor time (user and system, page-cache copies included): on a shared
// machine the wall clock mostly measures the other processes.
struct Clock {
  static double now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  }
};
double Seconds(double a, double b) { return b - a; }

constexpr int kOrder = 24;                          // 8 nodes × 3 unknowns
constexpr int kPacked = kOrder * (kOrder + 1) / 2;  // upper triangle by columns

// A symmetric element matrix (upper triangle by columns) and its positions; element e scales it by 1 + e/1024.
struct Element {
  std::vector<int> positions;
  std::vector<double> values;
  Element() {
    for (int j = 0; j < kOrder; ++j)
      for (int i = 0; i <= j; ++i) {
        positions.push_back(i + j * kOrder);
        values.push_back(i == j ? 8.0 + j : -1.0 / (1 + i + j));
      }
  }
  double Value(int e, int k) const { return values[static_cast<size_t>(k)] * (1.0 + (e & 1023) / 1024.0); }
};

struct Scratch {
  std::string dir;
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qormtx_families_bench_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
  }
  ~Scratch() { std::filesystem::remove_all(dir); }
};

// The mesh's element dof lists: node (x, y, z) carries unknowns 3·node … 3·node + 2.
QORFsmElementDofs HexMesh(int side, int& numElements) {
  QORFsmElementDofs dofs;
  numElements = 0;
  const int s = side - 1;
  for (int z = 0; z < s; ++z)
    for (int y = 0; y < s; ++y)
      for (int x = 0; x < s; ++x) {
        int d[kOrder];
        int k = 0;
        for (int corner = 0; corner < 8; ++corner) {
          const int node = (x + (corner & 1)) + side * ((y + ((corner >> 1) & 1)) + side * (z + (corner >> 2)));
          for (int c = 0; c < 3; ++c) d[k++] = 3 * node + c;
        }
        dofs.AddElement(numElements++, d, kOrder);
      }
  return dofs;
}

// A compact family of the mesh's element matrices, all sharing one position set.
QORSimDistributionID WriteCompact(const QORSimContextID& context, int numElements, const Element& el) {
  QORSimContext ctx(context);
  const QORSimCollectionID ids = ctx.CreateCollection(numElements), positions = ctx.CreateCollection(kOrder * kOrder);
  const QORSimDistributionID id =
      ctx.CreateDistribution(QORSimGrid{ids, positions}, QORSimRangeType(QORSimDoubleKey));
  QORMtxCompactMultiMatrix family(id);
  const QORSimCSetID posSet = QORSimCollection(positions).CreateOrderedCSet(el.positions.data(), kPacked);
  std::vector<double> v(kPacked);
  for (int e = 0; e < numElements; ++e) {
    for (int k = 0; k < kPacked; ++k) v[static_cast<size_t>(k)] = el.Value(e, k);
    family.AddMatrix(QORSimCollection(ids).CreateOrderedCSet(&e, 1), posSet, v.data(), true);
  }
  return id;
}

void Assembly(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  int numElements = 0;
  const QORFsmElementDofs dofs = HexMesh(side, numElements);
  const Element el;
  Scratch scratch;
  QORSimDatabase db;
  db.Create((scratch.dir + "/family.sim").c_str());
  const QORSimDistributionID id = WriteCompact(db.ContextID(), numElements, el);
  double ours = 0, reference = 0;
  long long nnz = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    {
      omi_Set rows, cols;
      QORMtxSparseMatrix a(QORMtxCompactMultiMatrix(id), dofs, 0, rows, cols);
      nnz = a.NumberOfEntries();
      benchmark::DoNotOptimize(a.Diagonal());
    }
    const auto t1 = Clock::now();
    {
      const int n = 3 * side * side * side;
      QORMtxSparseMatrix b(n, n);
      b.BeginAssembly(false);
      for (int e = 0; e < numElements; ++e) {
        int nd = 0;
        const int* d = dofs.Dofs(e, nd);
        for (int k = 0; k < kPacked; ++k) {
          const int p = el.positions[static_cast<size_t>(k)];
          int r = d[p % kOrder], c = d[p / kOrder];
          if (r < c) std::swap(r, c);
          b.AddData(static_cast<unsigned>(r), static_cast<unsigned>(c), el.Value(e, k), false);
        }
      }
      b.EndAssembly(true);
      benchmark::DoNotOptimize(b.Diagonal());
    }
    const auto t2 = Clock::now();
    ours += Seconds(t0, t1);
    reference += Seconds(t1, t2);
  }
  state.counters["unknowns"] = 3.0 * side * side * side;
  state.counters["entries"] = static_cast<double>(nnz);
  state.counters["family_s"] = ours / static_cast<double>(state.iterations());
  state.counters["adddata_s"] = reference / static_cast<double>(state.iterations());
  state.counters["ratio"] = reference / ours;
}

void Throughput(benchmark::State& state) {
  const int numElements = static_cast<int>(state.range(0));
  const Element el;
  const size_t bytes = static_cast<size_t>(numElements) * kPacked * sizeof(double);
  std::vector<double> all(static_cast<size_t>(numElements) * kPacked);
  for (int e = 0; e < numElements; ++e)
    for (int k = 0; k < kPacked; ++k) all[static_cast<size_t>(e) * kPacked + k] = el.Value(e, k);
  std::vector<double> back(all.size());
  std::vector<int> idx(kPacked);
  double compactW = 0, compactR = 0, bulkW = 0, bulkR = 0, rawW = 0, rawR = 0;
  for (auto _ : state) {
    Scratch scratch;
    const std::string path = scratch.dir + "/family.sim";
    // Compact family: one drawer per element matrix.
    auto t0 = Clock::now();
    QORSimDatabase db;
    db.Create(path.c_str());
    const QORSimDistributionID compact = WriteCompact(db.ContextID(), numElements, el);
    db.Close();
    auto t1 = Clock::now();
    db.Open(path.c_str());  // not timed: opening reads the database's whole catalogue, a cost of its own
    double tOpen = Clock::now();
    {
      QORMtxCompactMultiMatrix family(QORSimDistributionID(db.ContextID(), compact.Number()));
      for (int e = 0; e < numElements; ++e) family.GetEntries(e, idx.data(), back.data() + static_cast<size_t>(e) * kPacked);
    }
    auto t2 = Clock::now();
    db.Close();
    compactW += Seconds(t0, t1);
    compactR += Seconds(tOpen, t2);
    benchmark::DoNotOptimize(back.data());
    // Bulk family: the values in one stream, one shared index set.
    t0 = Clock::now();
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    const QORSimDistributionID loc =
        ctx.CreateDistribution(QORSimGrid{ctx.CreateCollection(numElements), ctx.CreateCollection(1)},
                               QORSimRangeType(QORSimIntKey));
    const QORSimDistributionID ind =
        ctx.CreateDistribution(QORSimGrid{ctx.CreateCollection(kOrder * kOrder)}, QORSimRangeType(QORSimIntKey));
    const QORSimDistributionID val = QORMtxUtilities::Create2DDistribution(
        QORSimCollection(ctx.CreateCollection(4096)).BiggestCSetID(),
        QORSimCollection(ctx.CreateCollection(1)).BiggestCSetID(), 4096, 64);
    {
      QORMtxBulkMultiMatrix family(loc, ind, val, true, 64);
      for (int e = 0; e < numElements; ++e)
        family.AddMatrix(e, kPacked, el.positions.data(), all.data() + static_cast<size_t>(e) * kPacked);
    }
    db.Close();
    t1 = Clock::now();
    db.Open(path.c_str());
    tOpen = Clock::now();
    {
      const QORSimContextID c = db.ContextID();
      QORMtxBulkMultiMatrix family(QORSimDistributionID(c, loc.Number()), QORSimDistributionID(c, ind.Number()),
                                   QORSimDistributionID(c, val.Number()), true, 64);
      for (int e = 0; e < numElements; ++e) family.GetEntries(e, back.data() + static_cast<size_t>(e) * kPacked);
    }
    t2 = Clock::now();
    db.Close();
    bulkW += Seconds(t0, t1);
    bulkR += Seconds(tOpen, t2);
    // The same bytes through a plain file.
    const std::string raw = scratch.dir + "/family.raw";
    t0 = Clock::now();
    int fd = open(raw.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    for (int e = 0; e < numElements; ++e)
      if (pwrite(fd, all.data() + static_cast<size_t>(e) * kPacked, kPacked * sizeof(double),
                 static_cast<off_t>(e) * kPacked * sizeof(double)) < 0)
        state.SkipWithError("pwrite failed");
    close(fd);
    t1 = Clock::now();
    fd = open(raw.c_str(), O_RDONLY);
    for (int e = 0; e < numElements; ++e)
      if (pread(fd, back.data() + static_cast<size_t>(e) * kPacked, kPacked * sizeof(double),
                static_cast<off_t>(e) * kPacked * sizeof(double)) < 0)
        state.SkipWithError("pread failed");
    close(fd);
    t2 = Clock::now();
    rawW += Seconds(t0, t1);
    rawR += Seconds(t1, t2);
    benchmark::DoNotOptimize(back.data());
  }
  const double mb = static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["raw_write_MBs"] = mb / rawW;
  state.counters["raw_read_MBs"] = mb / rawR;
  state.counters["compact_write_MBs"] = mb / compactW;
  state.counters["compact_read_MBs"] = mb / compactR;
  state.counters["bulk_write_MBs"] = mb / bulkW;
  state.counters["bulk_read_MBs"] = mb / bulkR;
  state.counters["ratio_compact_write"] = rawW / compactW;
  state.counters["ratio_compact_read"] = rawR / compactR;
  state.counters["ratio_bulk_write"] = rawW / bulkW;
  state.counters["ratio_bulk_read"] = rawR / bulkR;
}

}  // namespace

BENCHMARK(Assembly)->Name("BM_HexAssembly")->Arg(20)->Arg(40)->Arg(70)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Assembly)->Name("BM_HexAssembly_smoke")->Arg(3)->Iterations(1);
BENCHMARK(Throughput)->Name("BM_ElementStore")->Arg(2048)->Arg(16384)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Throughput)->Name("BM_ElementStore_smoke")->Arg(16)->Iterations(1);
BENCHMARK_MAIN();
