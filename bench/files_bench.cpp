// Matrix files beside raw read/write of the same bytes: a 27-point Laplacian on an m x m x m grid (symmetric
// storage) written and read in each binary format and in Matrix Market. Counters: our and raw MB/s of file and
// their ratio (raw time / our time, 1 = as fast as moving the bytes). Arguments: rows, 64 (smoke) and 10^6; the
// dense format (rows^2 doubles) only up to 4096 rows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QORFtnRecordFile.h"
#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseImExPorter.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"

namespace {

// CPU time of the process, not the wall clock: the files sit in the page cache, so the work is CPU work, and on a
// shared machine the wall clock mostly measures the other users.
struct Clock {
  using time_point = double;
  static double now() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  }
};
double Seconds(double a, double b) { return b - a; }

const std::string& Dir() {
  // Never destroyed: the exit handler that removes the folder runs after function-local statics are gone.
  static const std::string* dir = [] {
    char tmpl[] = "/tmp/qormtx_files_bench_XXXXXX";
    auto* d = new std::string(mkdtemp(tmpl) ? tmpl : "/tmp");
    std::atexit([] {
      for (const char* f : {"/a", "/b", "/raw"}) std::remove((*dir + f).c_str());
      rmdir(dir->c_str());
    });
    return d;
  }();
  return *dir;
}

// The Laplacian of a grid with n = m^3 points: 26 on the diagonal, -1 to each of the up to 26 neighbours.
const QORMtxSparseMatrix& Laplacian(int n) {
  static std::map<int, std::unique_ptr<QORMtxSparseMatrix>> cache;
  auto& slot = cache[n];
  if (slot) return *slot;
  const int m = static_cast<int>(std::lround(std::cbrt(n)));
  slot.reset(new QORMtxSparseMatrix(n, n));
  QORMtxSparseMatrix& A = *slot;
  A.ReserveEntries(14 * n);
  for (int z = 0; z < m; ++z)
    for (int y = 0; y < m; ++y)
      for (int x = 0; x < m; ++x) {
        const int r = (z * m + y) * m + x;
        A.AddData(r, r, 26.0, false);
        for (int dz = -1; dz <= 1; ++dz)
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const int X = x + dx, Y = y + dy, Z = z + dz;
              if (X < 0 || Y < 0 || Z < 0 || X >= m || Y >= m || Z >= m) continue;
              const int c = (Z * m + Y) * m + X;
              if (c < r) A.AddData(r, c, -1.0, false);
            }
      }
  A.EndAssembly(true);
  return A;
}

std::vector<char> Slurp(const std::string& path) {
  std::vector<char> bytes;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  bytes.resize(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  if (pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) bytes.clear();
  close(fd);
  return bytes;
}

void RawWrite(const std::string& path, const std::vector<char>& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
  close(fd);
}

// Formats: codes of the porter, and -1 for Matrix Market.
constexpr int kMarket = -1;

void WriteFile(const QORMtxSparseMatrix& A, const std::string& path, int format) {
  if (format == kMarket) {
    QORMtxMatrixMarket::WriteOrAbort(path.c_str(), A);
    return;
  }
  if (format == 0 || format == 1) {
    // Import-only formats: laid out here from the stored arrays through the iterator.
    std::vector<std::vector<std::pair<int, double>>> rows(A.NumberOfRows());
    for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      rows[e.m_row].push_back({static_cast<int>(e.m_col), e.m_value});
    }
    if (format == 0) {
      QORFtnRecordWriter w;
      std::string error;
      const int n = A.NumberOfRows();
      w.Open(path.c_str(), &error);
      w.Write(&n, sizeof n, &error);
      std::vector<char> rec;
      for (auto& row : rows) {  // the diagonal comes first from the iterator
        const int count = static_cast<int>(row.size());
        rec.resize(4 + 12 * row.size());
        std::memcpy(rec.data(), &count, 4);
        for (int k = 0; k < count; ++k) {
          const int col = row[k].first + 1;
          std::memcpy(rec.data() + 4 + 4 * k, &col, 4);
          std::memcpy(rec.data() + 4 + 4 * count + 8 * k, &row[k].second, 8);
        }
        w.Write(rec.data(), rec.size(), &error);
      }
      if (!w.Close()) std::abort();
      return;
    }
    const int n = A.NumberOfRows(), nnz = A.NumberOfNonzeros(), L = 1 << 17, blocks = nnz / L + 1;
    std::vector<int> head = {n, nnz, blocks, 0, 17, 0}, rowP(1, 0), cols;
    std::vector<double> diag, vals;
    for (auto& row : rows) {
      diag.push_back(row[0].second);
      for (size_t k = 1; k < row.size(); ++k) cols.push_back(row[k].first), vals.push_back(row[k].second);
      rowP.push_back(static_cast<int>(cols.size()));
    }
    cols.resize(static_cast<size_t>(blocks) * L);
    vals.resize(cols.size());
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(head.data(), 4, head.size(), f);
    std::fwrite(rowP.data(), 4, rowP.size(), f);
    std::fwrite(diag.data(), 8, diag.size(), f);
    std::fwrite(cols.data(), 4, cols.size(), f);
    std::fwrite(vals.data(), 8, vals.size(), f);
    std::fclose(f);
    return;
  }
  A.Export(path.c_str(), format);
}

void ReadFile(QORMtxSparseMatrix& A, const std::string& path, int format) {
  if (format == kMarket)
    QORMtxMatrixMarket::ReadOrAbort(path.c_str(), A);
  else
    A.Import(path.c_str(), format);
}

// ratio: summed times; best_ratio: the fastest pass of each, which a loaded machine disturbs least.
void Report(benchmark::State& state, double ours, double raw, double bestOurs, double bestRaw, double bytes) {
  state.counters["MBps"] = benchmark::Counter(bytes / 1e6 / ours);
  state.counters["raw_MBps"] = benchmark::Counter(bytes / 1e6 / raw);
  state.counters["ratio"] = benchmark::Counter(raw / ours);
  state.counters["best_ratio"] = benchmark::Counter(bestRaw / bestOurs);
}

void Pass(benchmark::State& state, int format, bool write) {
  const int n = static_cast<int>(state.range(0));
  if (format == 7 && n > 4096) {
    state.SkipWithError("the dense format holds rows^2 doubles");
    return;
  }
  const QORMtxSparseMatrix& A = Laplacian(n);
  const std::string a = Dir() + "/a", raw = Dir() + "/raw";
  WriteFile(A, a, format);
  const std::vector<char> bytes = Slurp(a);
  RawWrite(raw, bytes);
  std::vector<char> buffer(bytes.size());
  // Both targets exist before the first timed pass, so that neither pays alone for creating its file.
  if (write) WriteFile(A, Dir() + "/b", format);
  double ours = 0, rawSeconds = 0, bestOurs = 1e300, bestRaw = 1e300;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (write) {
      RawWrite(raw, bytes);
    } else {
      const int fd = open(raw.c_str(), O_RDONLY);
      if (read(fd, buffer.data(), buffer.size()) < 0) std::abort();
      close(fd);
      benchmark::DoNotOptimize(buffer.data());
    }
    const auto t1 = Clock::now();
    if (write) {
      WriteFile(A, Dir() + "/b", format);
    } else {
      QORMtxSparseMatrix B;
      ReadFile(B, a, format);
      benchmark::DoNotOptimize(B.NumberOfNonzeros());
    }
    const auto t2 = Clock::now();
    rawSeconds += Seconds(t0, t1);
    ours += Seconds(t1, t2);
    bestRaw = std::min(bestRaw, Seconds(t0, t1));
    bestOurs = std::min(bestOurs, Seconds(t1, t2));
    state.SetIterationTime(Seconds(t1, t2));
  }
  Report(state, ours, rawSeconds, bestOurs, bestRaw, static_cast<double>(state.iterations()) * static_cast<double>(bytes.size()));
}

void BM_ReadSubstructure(benchmark::State& s) { Pass(s, 0, false); }
void BM_ReadSolverSparse(benchmark::State& s) { Pass(s, 1, false); }
void BM_ReadBlockedSparse(benchmark::State& s) { Pass(s, 6, false); }
void BM_WriteBlockedSparse(benchmark::State& s) { Pass(s, 6, true); }
void BM_ReadDenseBinary(benchmark::State& s) { Pass(s, 7, false); }
void BM_WriteDenseBinary(benchmark::State& s) { Pass(s, 7, true); }
void BM_ReadMatrixMarket(benchmark::State& s) { Pass(s, kMarket, false); }
void BM_WriteMatrixMarket(benchmark::State& s) { Pass(s, kMarket, true); }

#define QORMTX_FILES_BENCH(fn) BENCHMARK(fn)->Arg(64)->Arg(4096)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)
QORMTX_FILES_BENCH(BM_ReadSubstructure);
QORMTX_FILES_BENCH(BM_ReadSolverSparse);
QORMTX_FILES_BENCH(BM_ReadBlockedSparse);
QORMTX_FILES_BENCH(BM_WriteBlockedSparse);
QORMTX_FILES_BENCH(BM_ReadDenseBinary);
QORMTX_FILES_BENCH(BM_WriteDenseBinary);
QORMTX_FILES_BENCH(BM_ReadMatrixMarket);
QORMTX_FILES_BENCH(BM_WriteMatrixMarket);

}  // namespace

BENCHMARK_MAIN();
