// Data-store transfers beside raw preadv/pwritev of the same bytes: a stored n x n matrix of doubles in chunks of
// n/8 x n/8 (or, "Tall", of all n rows x n/8 columns), read and written by column bands n/8 wide. Counters: store and
// raw MB/s and their ratio (raw time / store time, 1 = as fast as the plain file), and the chunk paths taken.
// Arguments: 64 (smoke) and 8192; the fine-chunked read 512 (smoke) and 4096.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "QORSim.h"
#include "QORSimCounters.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// One stored matrix and a plain file holding the same bytes (column-major), made band by band so that the set-up
// itself never holds the matrix in memory.
struct Fixture {
  int n = 0, chunk = 0;
  std::string dir, storePath, plainPath;
  QORSimDatabase db;
  QORSimCollectionID rows, cols;
  QORSimDistributionID id;
  int fd = -1;

  int chunkRows = 0;

  Fixture(int size, bool tall, int across) : n(size), chunk(size / across), chunkRows(tall ? size : size / across) {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qorsim_bench_" + std::to_string(getpid()) + "_" +
          std::to_string(n) + (tall ? "_tall" : "") + "_" + std::to_string(across);
    std::filesystem::create_directories(dir);
    storePath = dir + "/matrix.sim";
    plainPath = dir + "/matrix.raw";
    db.Create(storePath.c_str());
    QORSimContext ctx(db.ContextID());
    rows = ctx.CreateCollection(n, QORSimTypeID(), "rows");
    cols = ctx.CreateCollection(n, QORSimTypeID(), "cols");
    id = ctx.CreateDistribution(QORSimGrid{cols, rows}, QORSimRangeType(QORSimDoubleKey));
    QORSimTransfer t{QORSimDistribution(id)};
    t.SetMakeNewDrawerChunked({chunk, chunkRows});
    t.SetWrite();
    const QORSimSpan whole[] = {QORSimCollection(cols).BiggestCSetID(), QORSimCollection(rows).BiggestCSetID()};
    QORSimSpanTransfer::SetDims(t, whole, 2);
    t.CheckView();
    t.InitializePersistentDrawer();
    fd = open(plainPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    std::vector<double> band(static_cast<size_t>(n) * chunk);
    for (int c0 = 0; c0 < n; c0 += chunk) {
      for (size_t i = 0; i < band.size(); ++i) band[i] = static_cast<double>(c0) * n + static_cast<double>(i);
      Band(c0, chunk, band.data(), true);
      RawBand(c0, chunk, band.data(), true);
    }
    QORSimTransaction(db.ContextID()).Commit();
    fsync(fd);
  }

  ~Fixture() {
    close(fd);
    db.Close();
    std::filesystem::remove_all(dir);
  }

  // Columns c0 … c0 + w − 1, all rows, packed by columns.
  void Band(int c0, int w, double* buf, bool write) const {
    QORSimSpanTransfer t(id, write, {QORSimSpan::Range(cols, c0, c0 + w - 1), QORSimSpan::Range(rows, 0, n - 1)});
    t.Execute(buf, t.RequiredBytes());
  }

  // The raw file holds the matrix in the store's chunk layout (chunks in C order over (column chunk, row chunk),
  // each chunk's columns one after the other), so that the reference moves the same bytes, in the same file order,
  // between the same places of the same buffer as the store: one preadv/pwritev per chunk, one piece per column.
  void RawBand(int c0, int w, double* buf, bool write) const {
    const int rowChunks = n / chunkRows;
    std::vector<iovec> pieces;
    for (int jc = c0 / chunk; jc * chunk < c0 + w; ++jc) {
      const int j0 = std::max(c0, jc * chunk), j1 = std::min(c0 + w, (jc + 1) * chunk);
      for (int rc = 0; rc < rowChunks; ++rc) {
        pieces.clear();
        for (int j = j0; j < j1; ++j)
          pieces.push_back(iovec{buf + static_cast<size_t>(j - c0) * n + static_cast<size_t>(rc) * chunkRows,
                                 static_cast<size_t>(chunkRows) * 8});
        const off_t chunkAt = (static_cast<off_t>(jc) * rowChunks + rc) * chunk * chunkRows * 8;
        MoveAll(pieces, chunkAt + static_cast<off_t>(j0 - jc * chunk) * chunkRows * 8, write);
      }
    }
  }

  void MoveAll(std::vector<iovec>& pieces, off_t offset, bool write) const {
    for (size_t at = 0; at < pieces.size();) {
      const int count = static_cast<int>(std::min<size_t>(pieces.size() - at, IOV_MAX));
      size_t want = 0;
      for (int k = 0; k < count; ++k) want += pieces[at + static_cast<size_t>(k)].iov_len;
      const ssize_t got = write ? pwritev(fd, &pieces[at], count, offset) : preadv(fd, &pieces[at], count, offset);
      if (got != static_cast<ssize_t>(want)) {  // short transfers do not happen on a warm regular file
        std::perror("raw band");
        std::exit(1);
      }
      offset += static_cast<off_t>(want);
      at += static_cast<size_t>(count);
    }
  }
};

Fixture& Get(int n, bool tall = false, int across = 8) {
  static std::map<std::tuple<int, bool, int>, std::unique_ptr<Fixture>> fixtures;
  auto& f = fixtures[{n, tall, across}];
  if (!f) f = std::make_unique<Fixture>(n, tall, across);
  return *f;
}

void Report(benchmark::State& state, double storeSeconds, double rawSeconds, double bytes) {
  state.counters["store_MBps"] = benchmark::Counter(bytes / 1e6 / storeSeconds);
  state.counters["raw_MBps"] = benchmark::Counter(bytes / 1e6 / rawSeconds);
  state.counters["ratio"] = benchmark::Counter(rawSeconds / storeSeconds);
  const qorsim::IoCounters c = qorsim::Counters();
  const double iters = static_cast<double>(state.iterations());
  state.counters["raw_chunks"] = benchmark::Counter(static_cast<double>(c.rawChunks) / iters);
  state.counters["direct_chunks"] = benchmark::Counter(static_cast<double>(c.directChunks) / iters);
  state.counters["packed_chunks"] = benchmark::Counter(static_cast<double>(c.packedChunks) / iters);
  state.counters["selections"] = benchmark::Counter(static_cast<double>(c.selectionCalls) / iters);
  state.counters["patched_chunks"] = benchmark::Counter(static_cast<double>(c.patchedChunks) / iters);
  state.counters["cache_resets"] = benchmark::Counter(static_cast<double>(c.cacheResets) / iters);
}

// A full pass of chunk-aligned column bands (each band one chunk wide), beside pread/pwrite of the same bytes.
void BandPass(benchmark::State& state, bool write, int shift, bool tall = false,
              qorsim::ChunkPath path = qorsim::ChunkPath::RAW_FILE, int across = 8) {
  Fixture& f = Get(static_cast<int>(state.range(0)), tall, across);
  qorsim::SetChunkPathLimit(path);
  const int w = f.chunk;
  std::vector<double> buf(static_cast<size_t>(f.n) * w, 1.0);
  const int bands = f.n / w - (shift ? 1 : 0);
  for (int c = 0; c < bands; ++c) {  // warm the page cache for both files
    f.Band(c * w + shift, w, buf.data(), false);
    f.RawBand(c * w + shift, w, buf.data(), false);
  }
  qorsim::ResetCounters();
  double storeSeconds = 0, rawSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int c = 0; c < bands; ++c) f.RawBand(c * w + shift, w, buf.data(), write);
    const auto t1 = Clock::now();
    for (int c = 0; c < bands; ++c) f.Band(c * w + shift, w, buf.data(), write);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(buf.data());
    rawSeconds += Seconds(t0, t1);
    storeSeconds += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t1, t2));
  }
  Report(state, storeSeconds, rawSeconds, static_cast<double>(state.iterations()) * bands * f.n * w * 8.0);
  qorsim::SetChunkPathLimit(qorsim::ChunkPath::RAW_FILE);
}

void BM_StoreReadBands(benchmark::State& state) { BandPass(state, false, 0); }
void BM_StoreWriteBands(benchmark::State& state) { BandPass(state, true, 0); }
// The same with whole chunks through HDF5's chunk calls (H5Dread_chunk / H5Dwrite_chunk and a chunk image).
void BM_StoreReadBandsHdf5Chunk(benchmark::State& state) {
  BandPass(state, false, 0, false, qorsim::ChunkPath::HDF5_CHUNK);
}
void BM_StoreWriteBandsHdf5Chunk(benchmark::State& state) {
  BandPass(state, true, 0, false, qorsim::ChunkPath::HDF5_CHUNK);
}
// Chunks of all rows: each chunk is one stretch of the band's buffer and moves straight into or out of it.
void BM_StoreReadBandsTallChunks(benchmark::State& state) { BandPass(state, false, 0, true); }
void BM_StoreWriteBandsTallChunks(benchmark::State& state) { BandPass(state, true, 0, true); }
// Chunks of n/64 x n/64: 4096 of them, each found in the file once and then from the drawer's known places.
void BM_StoreReadBandsFineChunks(benchmark::State& state) {
  BandPass(state, false, 0, false, qorsim::ChunkPath::RAW_FILE, 64);
}
// Bands half a chunk off the grid: every chunk is partial, so all goes through hyperslab selections.
void BM_StoreReadMisalignedBands(benchmark::State& state) {
  BandPass(state, false, static_cast<int>(state.range(0)) / 16);
}
void BM_StoreWriteMisalignedBands(benchmark::State& state) {
  BandPass(state, true, static_cast<int>(state.range(0)) / 16);
}

// Set transfers: every other row of each column band, by sets, and the same band packed by rows (transposed);
// the raw reference reads the band and gathers (or transposes) in memory.
void SetOrTransposedPass(benchmark::State& state, bool everyOtherRow) {
  Fixture& f = Get(static_cast<int>(state.range(0)));
  const int w = f.chunk, n = f.n;
  std::vector<int> rowOrds;
  for (int i = 0; i < n; i += everyOtherRow ? 2 : 1) rowOrds.push_back(i);
  const int m = static_cast<int>(rowOrds.size());
  QORSimCSetID rowSet = QORSimCollection(f.rows).CreateTempOrderedCSet(rowOrds.data(), m);
  std::vector<double> buf(static_cast<size_t>(m) * w), raw(static_cast<size_t>(n) * w), out(buf.size());
  qorsim::ResetCounters();
  double storeSeconds = 0, rawSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int c0 = 0; c0 < n; c0 += w) {
      f.RawBand(c0, w, raw.data(), false);
      if (everyOtherRow) {
        for (int j = 0; j < w; ++j)
          for (int k = 0; k < m; ++k)
            out[static_cast<size_t>(j) * m + k] = raw[static_cast<size_t>(j) * n + rowOrds[k]];
      } else {
        for (int j = 0; j < w; ++j)
          for (int i = 0; i < n; ++i) out[static_cast<size_t>(i) * w + j] = raw[static_cast<size_t>(j) * n + i];
      }
      benchmark::DoNotOptimize(out.data());
    }
    const auto t1 = Clock::now();
    for (int c0 = 0; c0 < n; c0 += w) {
      const QORSimSpan band = QORSimSpan::Range(f.cols, c0, c0 + w - 1);
      QORSimSpanTransfer t(f.id, false,
                           everyOtherRow ? std::initializer_list<QORSimSpan>{band, rowSet}
                                         : std::initializer_list<QORSimSpan>{QORSimSpan::Range(f.rows, 0, n - 1), band});
      t.Execute(buf.data(), t.RequiredBytes());
      benchmark::DoNotOptimize(buf.data());
    }
    const auto t2 = Clock::now();
    rawSeconds += Seconds(t0, t1);
    storeSeconds += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t1, t2));
  }
  Report(state, storeSeconds, rawSeconds, static_cast<double>(state.iterations()) * m * static_cast<double>(n) * 8.0);
}

void BM_StoreReadEveryOtherRowBySet(benchmark::State& state) { SetOrTransposedPass(state, true); }
void BM_StoreReadBandsTransposed(benchmark::State& state) { SetOrTransposedPass(state, false); }

// Peak resident memory of a read-scale-write pass over the whole matrix through one band buffer: it is set by
// the band (and one chunk), not by the matrix.
void BM_StoreBandPassPeakMemory(benchmark::State& state) {
  Fixture& f = Get(static_cast<int>(state.range(0)));
  const int w = f.chunk;
  std::vector<double> buf(static_cast<size_t>(f.n) * w);
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int c0 = 0; c0 < f.n; c0 += w) {
      f.Band(c0, w, buf.data(), false);
      for (double& v : buf) v *= 1.0000001;
      f.Band(c0, w, buf.data(), true);
    }
    state.SetIterationTime(Seconds(t0, Clock::now()));
  }
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["maxrss_MB"] = benchmark::Counter(static_cast<double>(usage.ru_maxrss) / 1024.0);
  state.counters["band_MB"] = benchmark::Counter(static_cast<double>(buf.size()) * 8 / 1048576.0);
  state.counters["matrix_MB"] = benchmark::Counter(static_cast<double>(f.n) * f.n * 8 / 1048576.0);
}

}  // namespace

BENCHMARK(BM_StoreReadBands)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreWriteBands)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreReadBandsHdf5Chunk)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreWriteBandsHdf5Chunk)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreReadBandsTallChunks)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreWriteBandsTallChunks)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreReadBandsFineChunks)->Arg(512)->Arg(4096)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreReadMisalignedBands)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreWriteMisalignedBands)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreReadEveryOtherRowBySet)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreReadBandsTransposed)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);
// The peak is that of the whole process: run it alone (--benchmark_filter=PeakMemory) to see the pass by itself.
BENCHMARK(BM_StoreBandPassPeakMemory)->Arg(64)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
