// QORMtxSparseImExPorter: sparse matrices to and from text and binary matrix files, chosen by a format code.
#include "QORMtxSparseImExPorter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "QORBasFileOps.h"
#include "QORFsmSystemDofDefinition.h"
#include "QORFtnRecordFile.h"
#include "QORMtxAssert.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORMtxSparseMatrixIterator.h"
#include "aio_ostream.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "binary matrix files are read and written as memory images");

using qormtx_sparse::NewDouble;
using qormtx_sparse::NewInt;
using qormtx_sparse::NewUnsigned;
using qormtx_sparse::NewZeroDouble;
using qormtx_sparse::Owned;

namespace {

// Host flag values of the binary files (QORBasFileOps): BINARY | CREAT | WRONLY, and BINARY | RDONLY; rw-r--r--.
constexpr int kWriteFlags = 33025;
constexpr int kReadFlags = 32768;
constexpr int kPermission = 420;
constexpr int kDmpBlockLog = 17;
constexpr long long kDmpBlock = 1LL << kDmpBlockLog;
constexpr double kDenseCut = 1e-16;
constexpr long long kMaxIndex = 2147483646;  // rows + 1 row starts must fit an int count
// Rows or columns that a file may announce without a value in them (their row starts and marks still cost memory).
constexpr int kMaxEmptyDimension = 1 << 20;

// Where a fault goes: back to the caller as "<path>: <what>", or, for the fatal members, on the error stream and
// then out through the assertion report with the failed condition's own text.
class Outcome {
 public:
  Outcome(const char* path, std::string* error, bool fatal) : m_path(path ? path : "(null)"), m_error(error), m_fatal(fatal) {}
  bool Fail(const char* condition, const char* file, int line, const std::string& what) const {
    const std::string message = m_path + ": " + what;
    if (m_fatal) {
      aio_cerr << message.c_str() << "\n";
      QORMtxUtilities::ReportAndAbort(condition, file, line);
    }
    if (m_error) *m_error = message;
    return false;
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::string* m_error;
  bool m_fatal;
};

// The check of every file fault: the condition's text is what a fatal caller sees, what a checked caller reads.
#define QORMTX_FILE_CHECK(outcome, cond, what)                                                          \
  do {                                                                                                  \
    if (!(cond)) return (outcome).Fail(#cond, qormtx_detail::SourcePath(__FILE__), __LINE__, (what)); \
  } while (0)

std::string Num(long long v) { return std::to_string(v); }

// ---- Binary files ----

// A binary file being read: its size is known up front, so that counts from a header are checked against it
// before they size anything.
class BinaryIn {
 public:
  explicit BinaryIn(int fd) : m_fd(fd) {
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) m_size = static_cast<long long>(st.st_size);
  }
  ~BinaryIn() {
    if (m_fd >= 0) QORBasFileOps::Close(m_fd);
  }
  BinaryIn(const BinaryIn&) = delete;
  BinaryIn& operator=(const BinaryIn&) = delete;
  long long Size() const { return m_size; }
  bool Read(void* p, long long n) {
    if (n <= 0) return true;
    const long long got = QORBasFileOps::Read(m_fd, p, static_cast<size_t>(n));
    return got == n;
  }
  bool Skip(long long n) { return n <= 0 || lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) != static_cast<off_t>(-1); }

 private:
  int m_fd;
  long long m_size = -1;
};

// A binary file being written, gathered into a buffer so that small items do not each cost a system call.
class BinaryOut {
 public:
  explicit BinaryOut(int fd) : m_fd(fd) { m_buf.reserve(kBuffer); }
  ~BinaryOut() {
    if (m_fd >= 0) QORBasFileOps::Close(m_fd);
  }
  BinaryOut(const BinaryOut&) = delete;
  BinaryOut& operator=(const BinaryOut&) = delete;
  void Put(const void* p, size_t n) {
    const char* c = static_cast<const char*>(p);
    if (n >= kBuffer) {
      Flush();
      if (m_ok && QORBasFileOps::Write(m_fd, c, n) < 0) m_ok = false;
      m_written += n;
      return;
    }
    if (m_buf.size() + n > kBuffer) Flush();
    m_buf.insert(m_buf.end(), c, c + n);
    m_written += n;
  }
  template <class T>
  void PutItems(const T* p, long long n) {
    if (n > 0) Put(static_cast<const void*>(p), static_cast<size_t>(n) * sizeof(T));
  }
  void PutInt(int v) { Put(static_cast<const void*>(&v), sizeof v); }
  void PutZeros(size_t n) {
    static const char zeros[4096] = {};
    for (size_t k; n; n -= k) Put(static_cast<const void*>(zeros), k = std::min(n, sizeof zeros));
  }
  // Flushes, drops old bytes past the end (the create flags keep them) and closes; false when anything failed.
  bool Finish() {
    Flush();
    if (m_ok && ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) m_ok = false;
    if (QORBasFileOps::Close(m_fd) != 0) m_ok = false;
    m_fd = -1;
    return m_ok;
  }

 private:
  static constexpr size_t kBuffer = size_t(1) << 20;
  void Flush() {
    if (m_ok && !m_buf.empty() && QORBasFileOps::Write(m_fd, m_buf.data(), m_buf.size()) < 0) m_ok = false;
    m_buf.clear();
  }
  int m_fd;
  bool m_ok = true;
  size_t m_written = 0;
  std::vector<char> m_buf;
};

// Reads count items of size bytes laid out in blocks of block items (the tail of the last block is padding).
bool ReadBlocked(BinaryIn& in, void* dest, long long count, long long blocks, long long block, size_t size) {
  char* p = static_cast<char*>(dest);
  for (long long b = 0; b < blocks; ++b) {
    const long long take = std::max(0LL, std::min(block, count - b * block));
    if (!in.Read(p, take * static_cast<long long>(size))) return false;
    p += take * static_cast<long long>(size);
    if (!in.Skip((block - take) * static_cast<long long>(size))) return false;
  }
  return true;
}

// Checks row starts read from a file: from 0, never decreasing, ending at nnz.
bool CheckRowStarts(const Outcome& out, const unsigned* rowP, int rows, long long nnz) {
  QORMTX_FILE_CHECK(out, rowP[0] == 0, "row starts do not begin at 0");
  for (int r = 0; r < rows; ++r)
    QORMTX_FILE_CHECK(out, rowP[r] <= rowP[r + 1] && rowP[r + 1] <= static_cast<unsigned long long>(nnz),
                      "row start " + Num(r + 1) + " (" + Num(static_cast<int>(rowP[r + 1])) + ") decreases or exceeds " +
                          Num(nnz) + " entries");
  QORMTX_FILE_CHECK(out, rowP[rows] == nnz,
                    "the last row start " + Num(rowP[rows]) + " differs from the " + Num(nnz) + " entries of the header");
  return true;
}

}  // namespace

// The formats, each a function on one file; nested in the matrix's friend, so it fills the matrix's fields.
class QORMtxSparseImExPorter::Formats {
 public:
  static bool Import(QORMtxSparseMatrix& target, const char* path, int format, const Outcome& out);
  static bool Export(const QORMtxSparseMatrix& mtx, const char* path, int format, const QORFsmSystemDofDefinition* dofs,
                     const Outcome& out);

 private:
  static bool ImportAms(QORMtxSparseMatrix& target, const char* path, const Outcome& out);
  static bool ImportSolverSparse(QORMtxSparseMatrix& target, const char* path, const Outcome& out);
  static bool ImportEntries(QORMtxSparseMatrix& target, const char* path, const char* mode, const Outcome& out);
  static bool ImportDmpSolverSparse(QORMtxSparseMatrix& target, const char* path, const Outcome& out);
  static bool ImportDmpSolverDense(QORMtxSparseMatrix& target, const char* path, const Outcome& out);
  static bool ExportEntries(const QORMtxSparseMatrix& mtx, const char* path, const Outcome& out);
  static bool ExportMINP(const QORMtxSparseMatrix& mtx, const char* path, const QORFsmSystemDofDefinition* dofs,
                         const Outcome& out);
  static bool ExportCOORD(const QORMtxSparseMatrix& mtx, const char* path, const Outcome& out);
  static bool ExportDmpSolverSparse(const QORMtxSparseMatrix& mtx, const char* path, const Outcome& out);
  static bool ExportDmpSolverDense(const QORMtxSparseMatrix& mtx, const char* path, const Outcome& out);
  static bool FinishText(FILE* fout, const Outcome& out);
  static void Adopt(QORMtxSparseMatrix& target, QORMtxSparseMatrix& built);
  static bool CheckAdopted(const Outcome& out, QORMtxSparseMatrix& mtx);
};

// Hands a matrix built aside over to the caller's, so that a failed import leaves the caller's matrix as it was.
// A file carries no domain or ordinals, so the caller's old ones go.
void QORMtxSparseImExPorter::Formats::Adopt(QORMtxSparseMatrix& target, QORMtxSparseMatrix& built) {
  target.Reset(0, 0);
  target.AdoptAssembled(built);
}

// Checks a symmetric-storage matrix adopted from a file as a whole (columns in range, ascending, no diagonal
// entry among the stored ones, no position stored with its mirror), after sorting each row.
bool QORMtxSparseImExPorter::Formats::CheckAdopted(const Outcome& out, QORMtxSparseMatrix& mtx) {
  const int rows = mtx.m_numRows;
  const unsigned* rowP = mtx.m_rowP;
  for (long long k = 0; k < rowP[rows]; ++k)
    QORMTX_FILE_CHECK(out, mtx.m_colI[k] >= 0 && mtx.m_colI[k] < rows,
                      "column index " + Num(mtx.m_colI[k]) + " of entry " + Num(k) + " lies outside 0.." +
                          Num(rows - 1));
  QORBasVector<int> perm;
  QORBasVector<double> scratch;
  for (int r = 0; r < rows; ++r)
    qormtx_sparse::SortRow(mtx.m_colI + rowP[r], mtx.m_data + rowP[r], static_cast<int>(rowP[r + 1] - rowP[r]), perm,
                           scratch);
  std::string why;
  QORMTX_FILE_CHECK(out, mtx.CheckInvariants(&why), "not a valid symmetric sparse structure: " + why);
  return true;
}

// ================================================================================================================
// Substructure files: Fortran unformatted records, one with the row count, then one per row holding
// (count, count column indices, count values), the row's diagonal first.
// ================================================================================================================

class AmsFile {
 public:
  /// Opens path and reads the row count.
  bool Open(const char* path, int& n, const Outcome& out) {
    std::string error;
    QORMTX_FILE_CHECK(out, m_reader.Open(path, &error), error.substr(error.find(": ") + 2));
    const QORFtnRecordReader::Status st = m_reader.NextView(m_record, &error);
    QORMTX_FILE_CHECK(out, st != QORFtnRecordReader::FAILED, Tail(error));
    QORMTX_FILE_CHECK(out, st == QORFtnRecordReader::RECORD, "empty file: no record with the number of rows");
    QORMTX_FILE_CHECK(out, m_record.size() == sizeof(int),
                      "record 1: " + Num(m_record.size()) + " bytes where the integer number of rows belongs");
    std::memcpy(&n, m_record.data(), sizeof n);
    // Every row record holds at least its diagonal: 4 markers' and count's bytes plus 12 per entry.
    QORMTX_FILE_CHECK(out, n >= 0 && n <= m_reader.BytesLeft() / 24,
                      "record 1: " + Num(n) + " rows cannot be held by the " + Num(m_reader.BytesLeft()) +
                          " bytes that follow");
    m_rows = n;
    m_row = 0;
    return true;
  }
  /// Reads the next row record into idx and vals, which hold room for the row count of Open.
  bool ReadRow(int& count, int* idx, double* vals, const Outcome& out) {
    const char *cols, *values;
    if (!NextRow(count, cols, values, out)) return false;
    std::memcpy(idx, cols, sizeof(int) * count);
    std::memcpy(vals, values, sizeof(double) * count);
    return true;
  }
  /// Reads and checks the next row record: its count entries' 1-based columns (ints) and values (doubles) lie in
  /// the record at cols and values, unaligned, until the next read.
  bool NextRow(int& count, const char*& cols, const char*& values, const Outcome& out) {
    std::string error;
    const QORFtnRecordReader::Status st = m_reader.NextView(m_record, &error);
    QORMTX_FILE_CHECK(out, st != QORFtnRecordReader::FAILED, Tail(error));
    // Built only for a message: this runs once per row.
    const auto where = [this] { return "record " + Num(m_reader.RecordNumber()) + " (row " + Num(m_row + 1) + "): "; };
    QORMTX_FILE_CHECK(out, st == QORFtnRecordReader::RECORD,
                      "truncated: the file ends after " + Num(m_row) + " of " + Num(m_rows) + " row records");
    QORMTX_FILE_CHECK(out, m_record.size() >= sizeof(int), where() + "too short to hold the entry count");
    std::memcpy(&count, m_record.data(), sizeof count);
    QORMTX_FILE_CHECK(out, count >= 1 && count <= m_rows,
                      where() + "entry count " + Num(count) + " outside 1.." + Num(m_rows));
    QORMTX_FILE_CHECK(out, m_record.size() == sizeof(int) + 12 * static_cast<size_t>(count),
                      where() + Num(m_record.size()) + " bytes do not hold " + Num(count) + " indices and values");
    cols = m_record.data() + sizeof(int);
    values = cols + sizeof(int) * count;
    for (int k = 0; k < count; ++k) {
      const int c = Column(cols, k);
      QORMTX_FILE_CHECK(out, c >= 1 && c <= m_rows, where() + "column " + Num(c) + " outside 1.." + Num(m_rows));
    }
    QORMTX_FILE_CHECK(out, Column(cols, 0) == m_row + 1,
                      where() + "the first entry is not the diagonal (column " + Num(Column(cols, 0)) + ")");
    ++m_row;
    return true;
  }
  void Close() { m_reader.Close(); }
  bool IsOpen() const { return m_reader.IsOpen(); }
  int Rows() const { return m_rows; }
  /// Bytes of the file not read yet.
  long long BytesLeft() const { return m_reader.BytesLeft(); }
  /// Column k of a row record's columns.
  static int Column(const char* cols, int k) {
    int c;
    std::memcpy(&c, cols + sizeof(int) * k, sizeof c);
    return c;
  }

 private:
  // The reader's message without its path, which the outcome adds.
  std::string Tail(const std::string& error) const {
    const std::string& p = m_reader.Path();
    return error.compare(0, p.size() + 2, p + ": ") == 0 ? error.substr(p.size() + 2) : error;
  }
  QORFtnRecordReader m_reader;
  QORFtnRecordReader::View m_record;
  int m_rows = 0;
  int m_row = 0;
};

namespace {
AmsFile& FortranUnit81() {
  static AmsFile unit;
  return unit;
}
}  // namespace

extern "C" void qormtxreadamsmatrix(int* n, int* mode, int* count, int* idx, double* vals, const char* name,
                                    size_t nameLength) {
  AmsFile& unit = FortranUnit81();
  if (*mode == 1) {
    unit.Close();
    return;
  }
  if (*mode == 0) {
    // A Fortran name is blank-padded to its declared length.
    std::string path(name, nameLength);
    path.erase(path.find_last_not_of(' ') + 1);
    unit.Open(path.c_str(), *n, Outcome(path.c_str(), nullptr, true));
    return;
  }
  QORMTX_ASSERT(*mode == 2 && unit.IsOpen());
  unit.ReadRow(*count, idx, vals, Outcome("unit 81", nullptr, true));
}

bool QORMtxSparseImExPorter::Formats::ImportAms(QORMtxSparseMatrix& target, const char* path, const Outcome& out) {
  // One pass, although the records give no sizes up front: each row record takes 12 bytes of markers and count
  // besides 12 per entry, so the bytes after the first record bound the entries, and the arrays are sized by that
  // bound and filled as the rows arrive (pages never reached are never touched).
  AmsFile file;
  int n = 0;
  if (!file.Open(path, n, out)) return false;
  const long long bound = file.BytesLeft() / 12;
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(n) + 1));
  Owned<int> colI(NewInt(static_cast<size_t>(bound)));
  Owned<double> data(NewDouble(static_cast<size_t>(bound)));
  Owned<double> diagonal(NewDouble(n));
  rowP[0] = 0;
  long long nnz = 0;
  for (int r = 0; r < n; ++r) {
    int count = 0;
    const char *cols, *values;
    if (!file.NextRow(count, cols, values, out)) return false;
    QORMTX_FILE_CHECK(out, nnz + count - 1 <= INT_MAX, "more than 2^31 - 1 entries");
    QORMTX_FILE_CHECK(out, nnz + count - 1 <= bound, "more entries than the file's size allows");
    std::memcpy(&diagonal[r], values, sizeof(double));
    for (int k = 1; k < count; ++k) colI[nnz + k - 1] = AmsFile::Column(cols, k) - 1;
    if (count > 1) std::memcpy(data.get() + nnz, values + sizeof(double), sizeof(double) * (count - 1));
    nnz += count - 1;
    rowP[r + 1] = static_cast<unsigned>(nnz);
  }
  file.Close();
  if (nnz == 0) {
    colI.Reset(nullptr);
    data.Reset(nullptr);
  }
  QORMtxSparseMatrix mtx(rowP.Release(), colI.Release(), data.Release(), diagonal.Release(), static_cast<int>(nnz),
                         n, n);
  if (!CheckAdopted(out, mtx)) return false;
  Adopt(target, mtx);
  return true;
}

// ================================================================================================================
// Entries text: "row column value" triples, 1-based, no header.
// ================================================================================================================

bool QORMtxSparseImExPorter::Formats::ImportEntries(QORMtxSparseMatrix& target, const char* path, const char* mode,
                                                  const Outcome& out) {
  FILE* fin = QORBasFileOps::Fopen(path, mode);
  QORMTX_FILE_CHECK(out, fin && "QORMtxSparseImExPorter::ImportEntries: failed to open file",
                    std::string("cannot open: ") + std::strerror(errno));
  struct Closer {
    FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{fin};
  // Read as long integers, which saturate instead of overflowing, so that no index wraps into range.
  long row = 0, col = 0;
  double value = 0.0;
  long long count = 0;
  long maxRow = 0, maxCol = 0;
  while (std::fscanf(fin, "%ld %ld %lf", &row, &col, &value) == 3) {
    ++count;
    QORMTX_FILE_CHECK(out, row >= 1 && row <= kMaxIndex && col >= 1 && col <= kMaxIndex,
                      "entry " + Num(count) + ": index (" + Num(row) + ", " + Num(col) + ") outside 1.." +
                          Num(kMaxIndex));
    QORMTX_FILE_CHECK(out, count <= INT_MAX, "more than 2^31 - 1 entries");
    maxRow = std::max(maxRow, row);
    maxCol = std::max(maxCol, col);
  }
  // Each entry fills at most one row and one column, so an index far beyond the entries met announces rows or
  // columns that only cost memory (row starts, column marks): refused before anything is sized by it.
  QORMTX_FILE_CHECK(out, maxRow <= count + kMaxEmptyDimension && maxCol <= count + kMaxEmptyDimension,
                    "the largest indices (" + Num(maxRow) + ", " + Num(maxCol) + ") leave more than " +
                        Num(kMaxEmptyDimension) + " rows or columns without entries");
  std::rewind(fin);
  std::vector<QORMtxSparseMatrixEntry> entries(static_cast<size_t>(count));
  for (long long k = 0; k < count; ++k) {
    QORMTX_FILE_CHECK(out, std::fscanf(fin, "%ld %ld %lf", &row, &col, &value) == 3 && row >= 1 && row <= maxRow &&
                               col >= 1 && col <= maxCol,
                      "the file changed while it was read");
    entries[k].m_row = static_cast<unsigned>(row - 1);
    entries[k].m_col = static_cast<unsigned>(col - 1);
    entries[k].m_value = value;
  }
  QORMtxSparseMatrix mtx;
  mtx.ResetData(entries.data(), static_cast<int>(count), static_cast<int>(maxRow), static_cast<int>(maxCol));
  mtx.m_symFlag = QORMtxSparseMatrix::e_unknown;
  Adopt(target, mtx);
  return true;
}

bool QORMtxSparseImExPorter::Formats::FinishText(FILE* fout, const Outcome& out) {
  const bool written = !std::ferror(fout);
  const int closed = std::fclose(fout);
  QORMTX_FILE_CHECK(out, written && closed == 0, std::string("write failed: ") + std::strerror(errno));
  return true;
}

bool QORMtxSparseImExPorter::Formats::ExportEntries(const QORMtxSparseMatrix& mtx, const char* path,
                                                  const Outcome& out) {
  QORMTX_FILE_CHECK(out, mtx.m_assemblyComplete, "the matrix is not assembled");
  FILE* fout = QORBasFileOps::Fopen(path, "w");
  QORMTX_FILE_CHECK(out, fout && "QORMtxSparseImExPorter::ExportEntries: failed to open file",
                    std::string("cannot create: ") + std::strerror(errno));
  // Symmetric storage is written as the full matrix: every diagonal entry first, then each stored entry with its
  // mirror. The iterator yields the diagonal entries (row == column) only in symmetric storage.
  const bool symmetric = mtx.m_diagonal != nullptr;
  for (int pass = symmetric ? 0 : 1; pass < 2; ++pass)
    for (QORMtxSparseMatrixIterator it(mtx); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      const long r = static_cast<long>(e.m_row) + 1, c = static_cast<long>(e.m_col) + 1;
      if (symmetric && (pass == 0) != (r == c)) continue;
      std::fprintf(fout, "%ld %ld %18.15le\n", r, c, e.m_value);
      if (symmetric && pass == 1) std::fprintf(fout, "%ld %ld %18.15le\n", c, r, e.m_value);
    }
  return FinishText(fout, out);
}

// ================================================================================================================
// Node/dof and coordinate text
// ================================================================================================================

bool QORMtxSparseImExPorter::Formats::ExportMINP(const QORMtxSparseMatrix& mtx, const char* path,
                                               const QORFsmSystemDofDefinition* dofs, const Outcome& out) {
  QORMTX_FILE_CHECK(out, mtx.m_assemblyComplete, "the matrix is not assembled");
  const int numDofs = dofs ? dofs->NumSolverDofs() : -1;
  QORMTX_FILE_CHECK(out, numDofs == mtx.m_numRows,
                    dofs ? "the degree-of-freedom definition has " + Num(numDofs) + " solver dofs for " +
                               Num(mtx.m_numRows) + " rows"
                         : std::string("no degree-of-freedom definition given"));
  FILE* fout = QORBasFileOps::Fopen(path, "w");
  QORMTX_FILE_CHECK(out, fout && "QORMtxSparseImExPorter::ExportMINP: failed to open file",
                    std::string("cannot create: ") + std::strerror(errno));
  const bool square = mtx.m_numRows == mtx.m_numCols;
  const bool symmetric = mtx.m_diagonal != nullptr;
  for (QORMtxSparseMatrixIterator it(mtx); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (symmetric && e.m_row == e.m_col) continue;  // stored entries only: the diagonal array is not written
    const QORFsmNodeDof rowNd = dofs->NodeDofFromSolverDof(static_cast<int>(e.m_row));
    QORFsmNodeDof colNd;
    if (square)
      colNd = dofs->NodeDofFromSolverDof(static_cast<int>(e.m_col));
    else
      colNd.m_node = static_cast<int>(e.m_col);
    std::fprintf(fout, "%d,%d,%d,%d,%18.15e\n", rowNd.m_node, rowNd.m_dof, colNd.m_node, colNd.m_dof, e.m_value);
  }
  return FinishText(fout, out);
}

bool QORMtxSparseImExPorter::Formats::ExportCOORD(const QORMtxSparseMatrix& mtx, const char* path, const Outcome& out) {
  QORMTX_FILE_CHECK(out, mtx.m_assemblyComplete, "the matrix is not assembled");
  FILE* fout = QORBasFileOps::Fopen(path, "w");
  QORMTX_FILE_CHECK(out, fout && "QORMtxSparseImExPorter::ExportCOORD: failed to open file",
                    std::string("cannot create: ") + std::strerror(errno));
  for (QORMtxSparseMatrixIterator it(mtx); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    std::fprintf(fout, "%d,%d, %18.15e\n", static_cast<int>(e.m_row), static_cast<int>(e.m_col), e.m_value);
  }
  return FinishText(fout, out);
}

// ================================================================================================================
// Solver sparse binary: header, row starts, diagonal, then index and value blocks of 2^k items.
// ================================================================================================================

bool QORMtxSparseImExPorter::Formats::ImportSolverSparse(QORMtxSparseMatrix& target, const char* path,
                                                       const Outcome& out) {
  const int opFd = QORBasFileOps::Open(path, kReadFlags, kPermission);
  QORMTX_FILE_CHECK(out, opFd != -1 && "QORMtxSparseImExPorter::ImportSolverSparse: failed to open file",
                    std::string("cannot open: ") + std::strerror(errno));
  BinaryIn in(opFd);
  int header[6] = {};
  QORMTX_FILE_CHECK(out, in.Size() >= 24 && in.Read(header, sizeof header), "truncated: no 24-byte header");
  const int rows = header[0], nnz = header[1], blocks = header[2], unsymmetric = header[3], logBlock = header[4];
  QORMTX_FILE_CHECK(out, rows >= 0 && rows <= kMaxIndex && nnz >= 0 && blocks >= 0 && logBlock >= 0 && logBlock <= 30,
                    "header (" + Num(rows) + " rows, " + Num(nnz) + " entries, " + Num(blocks) + " blocks, 2^" +
                        Num(logBlock) + " per block) out of range");
  const long long block = 1LL << logBlock;
  QORMTX_FILE_CHECK(out, static_cast<long long>(blocks) * block >= nnz,
                    Num(blocks) + " blocks of " + Num(block) + " cannot hold " + Num(nnz) + " entries");
  // Every block is laid out in full, so the file size bounds everything the header announces.
  const __int128 needed = 24 + 4 * (__int128(rows) + 1) + 8 * __int128(rows) +
                          __int128(blocks) * block * (unsymmetric ? 20 : 12);
  QORMTX_FILE_CHECK(out, needed <= in.Size(),
                    "truncated: the header announces more bytes than the file's " + Num(in.Size()));
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(rows) + 1));
  Owned<double> diagonal(NewDouble(rows));
  Owned<int> colI(NewInt(nnz));
  QORMTX_FILE_CHECK(out, in.Read(rowP.get(), 4LL * (rows + 1)) && in.Read(diagonal.get(), 8LL * rows) &&
                             ReadBlocked(in, colI.get(), nnz, blocks, block, sizeof(int)),
                    "read error");
  if (!CheckRowStarts(out, rowP.get(), rows, nnz)) return false;
  if (!unsymmetric) {
    Owned<double> data(NewDouble(nnz));
    QORMTX_FILE_CHECK(out, ReadBlocked(in, data.get(), nnz, blocks, block, sizeof(double)), "read error");
    QORMtxSparseMatrix mtx(rowP.Release(), colI.Release(), data.Release(), diagonal.Release(), nnz, rows, rows);
    if (!CheckAdopted(out, mtx)) return false;
    Adopt(target, mtx);
    return true;
  }
  // The lower triangle by columns, with a lower and an upper value for each position.
  Owned<double> lower(NewDouble(nnz)), upper(NewDouble(nnz));
  QORMTX_FILE_CHECK(out, ReadBlocked(in, lower.get(), nnz, blocks, block, sizeof(double)) &&
                             ReadBlocked(in, upper.get(), nnz, blocks, block, sizeof(double)),
                    "read error");
  for (int k = 0; k < nnz; ++k)
    QORMTX_FILE_CHECK(out, colI[k] >= 0 && colI[k] < rows,
                      "row index " + Num(colI[k]) + " of entry " + Num(k) + " lies outside 0.." + Num(rows - 1));
  if (rows == 0) {
    // An assembly without entries and rows stays collecting; what a file gives is always assembled.
    rowP[0] = 0;
    QORMtxSparseMatrix empty(rowP.Release(), nullptr, nullptr, nullptr, 0, 0, 0);
    Adopt(target, empty);
    return true;
  }
  QORMtxSparseMatrix mtx(rows, rows);
  mtx.BeginAssembly(false);
  mtx.ReserveEntries(static_cast<int>(std::min<long long>(INT_MAX, rows + 2LL * nnz)));
  for (int i = 0; i < rows; ++i) mtx.AddData(i, i, diagonal[i], false);
  for (int j = 0; j < rows; ++j)
    for (unsigned k = rowP[j]; k < rowP[j + 1]; ++k) {
      mtx.AddData(colI[k], j, lower[k], false);
      mtx.AddData(j, colI[k], upper[k], false);
    }
  mtx.EndAssembly(false);
  Adopt(target, mtx);
  return true;
}

// ================================================================================================================
// Blocked sparse binary: symmetric storage in blocks of 2^17 indices and values, padded, with a trailer.
// ================================================================================================================

bool QORMtxSparseImExPorter::Formats::ImportDmpSolverSparse(QORMtxSparseMatrix& target, const char* path,
                                                          const Outcome& out) {
  const int fin = QORBasFileOps::Open(path, kReadFlags, kPermission);
  QORMTX_FILE_CHECK(out, fin != -1 && "QORMtxSparseImExPorter::ImportDmpSolverSparse: failed to open file",
                    std::string("cannot open: ") + std::strerror(errno));
  BinaryIn in(fin);
  int header[6] = {};
  QORMTX_FILE_CHECK(out, in.Size() >= 24 && in.Read(header, sizeof header), "truncated: no 24-byte header");
  const int rows = header[0], nnz = header[1], unsymmFlag = header[3];
  QORMTX_FILE_CHECK(out, unsymmFlag == 0, "unsymmetric flag " + Num(unsymmFlag) + ": only symmetric files are read");
  QORMTX_FILE_CHECK(out, rows >= 0 && rows <= kMaxIndex && nnz >= 0,
                    "header (" + Num(rows) + " rows, " + Num(nnz) + " entries) out of range");
  const int numBlocks = static_cast<int>((nnz + kDmpBlock - 1) / kDmpBlock);
  QORMTX_FILE_CHECK(out, header[2] == numBlocks,
                    "header gives " + Num(header[2]) + " blocks where " + Num(nnz) + " entries need " + Num(numBlocks));
  const long long last = nnz - kDmpBlock * (numBlocks - 1);
  const __int128 needed = 24 + 4 * (__int128(rows) + 1) + 8 * __int128(rows) +
                          __int128(numBlocks - 1) * kDmpBlock * 12 + 4 * kDmpBlock + 8 * last;
  QORMTX_FILE_CHECK(out, needed <= in.Size(),
                    "truncated: the header announces more bytes than the file's " + Num(in.Size()));
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(rows) + 1));
  Owned<double> diagonal(NewDouble(rows));
  Owned<int> colI(NewInt(nnz));
  Owned<double> data(NewDouble(nnz));
  QORMTX_FILE_CHECK(out, in.Read(rowP.get(), 4LL * (rows + 1)) && in.Read(diagonal.get(), 8LL * rows), "read error");
  if (!CheckRowStarts(out, rowP.get(), rows, nnz)) return false;
  for (int b = 0; b < numBlocks; ++b) {
    const long long take = std::min(kDmpBlock, nnz - b * kDmpBlock);
    QORMTX_FILE_CHECK(out, in.Read(colI.get() + b * kDmpBlock, 4 * take) && in.Skip(4 * (kDmpBlock - take)) &&
                               in.Read(data.get() + b * kDmpBlock, 8 * take),
                      "read error in block " + Num(b + 1));
  }
  QORMtxSparseMatrix mtx(rowP.Release(), colI.Release(), data.Release(), diagonal.Release(), nnz, rows, rows);
  if (!CheckAdopted(out, mtx)) return false;
  Adopt(target, mtx);
  return true;
}

bool QORMtxSparseImExPorter::Formats::ExportDmpSolverSparse(const QORMtxSparseMatrix& mtx, const char* path,
                                                          const Outcome& out) {
  QORMTX_FILE_CHECK(out,
                    mtx.m_symFlag == QORMtxSparseMatrix::e_symmetric &&
                        "QORMtxSparseImExPorter::ExportDmpSolverSparse: unsymmetric not supported",
                    "only a matrix in symmetric storage can be written in this format");
  // A numerically symmetric matrix is flagged so too, yet has no diagonal array to write.
  QORMTX_FILE_CHECK(out, mtx.m_assemblyComplete && mtx.m_diagonal,
                    "only a matrix in symmetric storage can be written in this format");
  const int fout = QORBasFileOps::Open(path, kWriteFlags, kPermission);
  QORMTX_FILE_CHECK(out, fout != -1 && "QORMtxSparseImExPorter::ExportDmpSolverSparse: failed to open file",
                    std::string("cannot create: ") + std::strerror(errno));
  BinaryOut file(fout);
  const int rows = mtx.m_numRows, nnz = mtx.m_numNonzeros;
  const int numBlocks = nnz == 0 ? 1 : static_cast<int>((nnz - 1) / kDmpBlock + 1);
  const int header[6] = {rows, nnz, numBlocks, 0, kDmpBlockLog, 1};
  file.PutItems(header, 6);
  file.PutItems(mtx.m_rowP, rows + 1LL);
  file.PutItems(mtx.m_diagonal, rows);
  for (int b = 0; b < numBlocks; ++b) {
    const long long take = std::min(kDmpBlock, nnz - b * kDmpBlock);
    file.PutItems(mtx.m_colI + b * kDmpBlock, take);
    file.PutZeros(sizeof(int) * (kDmpBlock - take));
    file.PutItems(mtx.m_data + b * kDmpBlock, take);
    file.PutZeros(sizeof(double) * (kDmpBlock - take));
  }
  // The trailer: the structure once more, a unit weight and the identity numbering per row.
  file.PutInt(rows);
  file.PutItems(mtx.m_rowP, rows + 1LL);
  file.PutItems(mtx.m_colI, nnz);
  for (int r = 0; r < rows; ++r) file.PutInt(1);
  for (int r = 0; r < rows; ++r) file.PutInt(r);
  QORMTX_FILE_CHECK(out, file.Finish(), std::string("write failed: ") + std::strerror(errno));
  return true;
}

// ================================================================================================================
// Dense binary: rows, columns, block rows, block columns, then the block column-major.
// ================================================================================================================

bool QORMtxSparseImExPorter::Formats::ImportDmpSolverDense(QORMtxSparseMatrix& target, const char* path,
                                                         const Outcome& out) {
  const int fin = QORBasFileOps::Open(path, kReadFlags, kPermission);
  QORMTX_FILE_CHECK(out, fin != -1 && "QORMtxSparseImExPorter::ImportDmpSolverDense: failed to open file",
                    std::string("cannot open: ") + std::strerror(errno));
  BinaryIn in(fin);
  int header[4] = {};
  QORMTX_FILE_CHECK(out, in.Size() >= 16 && in.Read(header, sizeof header), "truncated: no 16-byte header");
  QORMtxSparseMatrix mtx;
  mtx.m_numRows = header[0];
  mtx.m_numCols = header[1];
  const int numRowsInBlock = header[2], numColsInBlock = header[3];
  QORMTX_FILE_CHECK(out, mtx.m_numRows == numRowsInBlock,
                    Num(mtx.m_numRows) + " rows but a block of " + Num(numRowsInBlock) + " rows");
  QORMTX_FILE_CHECK(out, mtx.m_numCols == numColsInBlock,
                    Num(mtx.m_numCols) + " columns but a block of " + Num(numColsInBlock) + " columns");
  const int rows = mtx.m_numRows, cols = mtx.m_numCols;
  QORMTX_FILE_CHECK(out, rows >= 0 && rows <= kMaxIndex && cols >= 0 && cols <= kMaxIndex,
                    "shape " + Num(rows) + " x " + Num(cols) + " out of range");
  // An empty block holds no values to bound its shape by, yet its rows still cost row starts.
  QORMTX_FILE_CHECK(out, (rows > 0 && cols > 0) || std::max(rows, cols) <= kMaxEmptyDimension,
                    "an empty " + Num(rows) + " x " + Num(cols) + " block: more than " +
                        Num(kMaxEmptyDimension) + " rows or columns without values");
  QORMTX_FILE_CHECK(out, 16 + 8 * __int128(rows) * cols <= in.Size(),
                    "truncated: a " + Num(rows) + " x " + Num(cols) + " block needs more than the file's " +
                        Num(in.Size()) + " bytes");
  // Column by column: count the kept elements of each row, then place them; the block is read twice so that only
  // one column is held at a time.
  std::vector<double> column(static_cast<size_t>(rows));
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(rows) + 1));
  std::fill(rowP.get(), rowP.get() + rows + 1, 0u);
  for (int c = 0; c < cols; ++c) {
    QORMTX_FILE_CHECK(out, in.Read(column.data(), 8LL * rows), "read error in column " + Num(c + 1));
    for (int r = 0; r < rows; ++r)
      if (std::fabs(column[r]) > kDenseCut) ++rowP[r + 1];
  }
  long long nnz = 0;
  for (int r = 0; r < rows; ++r) rowP[r + 1] = static_cast<unsigned>(nnz += rowP[r + 1]);
  QORMTX_FILE_CHECK(out, nnz <= INT_MAX, "more than 2^31 - 1 elements above 1e-16");
  Owned<int> colI(NewInt(nnz));
  Owned<double> data(NewDouble(nnz));
  std::vector<unsigned> next(rowP.get(), rowP.get() + rows);
  QORMTX_FILE_CHECK(out, lseek(fin, 16, SEEK_SET) == 16, "cannot seek");
  for (int c = 0; c < cols; ++c) {
    QORMTX_FILE_CHECK(out, in.Read(column.data(), 8LL * rows), "read error in column " + Num(c + 1));
    for (int r = 0; r < rows; ++r)
      if (std::fabs(column[r]) > kDenseCut) {
        QORMTX_FILE_CHECK(out, next[r] < rowP[r + 1], "the file changed while it was read");
        colI[next[r]] = c;
        data[next[r]++] = column[r];
      }
  }
  QORMtxSparseMatrix built(rowP.Release(), colI.Release(), data.Release(), nullptr, static_cast<int>(nnz), rows, cols);
  Adopt(target, built);
  return true;
}

bool QORMtxSparseImExPorter::Formats::ExportDmpSolverDense(const QORMtxSparseMatrix& mtx, const char* path,
                                                         const Outcome& out) {
  QORMTX_FILE_CHECK(out, mtx.m_assemblyComplete, "the matrix is not assembled");
  const int fout = QORBasFileOps::Open(path, kWriteFlags, kPermission);
  QORMTX_FILE_CHECK(out, fout != -1 && "QORMtxSparseImExPorter::ExportDmpSolverDense: failed to open file",
                    std::string("cannot create: ") + std::strerror(errno));
  BinaryOut file(fout);
  const int rows = mtx.m_numRows, cols = mtx.m_numCols;
  const int header[4] = {rows, cols, rows, cols};
  file.PutItems(header, 4);
  // The stored entries gathered by column (count, prefix sum, scatter), so that one column is built at a time.
  const bool symmetric = mtx.m_diagonal != nullptr;
  std::vector<long long> start(static_cast<size_t>(cols) + 1, 0);
  for (QORMtxSparseMatrixIterator it(mtx); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (!(symmetric && e.m_row == e.m_col)) ++start[e.m_col + 1];
  }
  qormtx_sparse::CountsToStarts(start.data(), static_cast<size_t>(cols));
  std::vector<unsigned> rowOf(static_cast<size_t>(start[cols]));
  std::vector<double> valOf(rowOf.size());
  std::vector<long long> next(start.begin(), start.end() - 1);
  for (QORMtxSparseMatrixIterator it(mtx); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (symmetric && e.m_row == e.m_col) continue;  // only stored entries: the diagonal array is not written
    rowOf[next[e.m_col]] = e.m_row;
    valOf[next[e.m_col]++] = e.m_value;
  }
  std::vector<double> column(static_cast<size_t>(rows), 0.0);
  for (int c = 0; c < cols; ++c) {
    for (long long k = start[c]; k < start[c + 1]; ++k) column[rowOf[k]] = valOf[k];
    file.PutItems(column.data(), rows);
    for (long long k = start[c]; k < start[c + 1]; ++k) column[rowOf[k]] = 0.0;
  }
  QORMTX_FILE_CHECK(out, file.Finish(), std::string("write failed: ") + std::strerror(errno));
  return true;
}

// ================================================================================================================
// Dispatch
// ================================================================================================================

bool QORMtxSparseImExPorter::Formats::Import(QORMtxSparseMatrix& target, const char* path, int format,
                                           const Outcome& out) {
  try {
    switch (format) {
      case 0: return ImportAms(target, path, out);
      case 1: return ImportSolverSparse(target, path, out);
      case 2: return ImportEntries(target, path, "rb", out);
      case 3: return ImportEntries(target, path, "r", out);
      case 6: return ImportDmpSolverSparse(target, path, out);
      case 7: return ImportDmpSolverDense(target, path, out);
      default: break;
    }
  } catch (const std::bad_alloc&) {
    QORMTX_FILE_CHECK(out, !"out of memory", "out of memory");
  }
  QORMTX_FILE_CHECK(out, !"QORMtxSparseImExPorter::Import: unsupported format",
                    "format code " + Num(format) + " cannot be read");
  return false;
}

bool QORMtxSparseImExPorter::Formats::Export(const QORMtxSparseMatrix& mtx, const char* path, int format,
                                           const QORFsmSystemDofDefinition* dofs, const Outcome& out) {
  try {
    switch (format) {
      case 3: return ExportEntries(mtx, path, out);
      case 4: return ExportMINP(mtx, path, dofs, out);
      case 5: return ExportCOORD(mtx, path, out);
      case 6: return ExportDmpSolverSparse(mtx, path, out);
      case 7: return ExportDmpSolverDense(mtx, path, out);
      default: break;
    }
  } catch (const std::bad_alloc&) {
    QORMTX_FILE_CHECK(out, !"out of memory", "out of memory");
  }
  QORMTX_FILE_CHECK(out, !"QORMtxSparseImExPorter::Export: unsupported format",
                    "format code " + Num(format) + " cannot be written");
  return false;
}

void QORMtxSparseImExPorter::Import(QORMtxSparseMatrix& mtx, const char* path, int format) {
  QORMtxSparseImExPorter::Formats::Import(mtx, path, format, Outcome(path, nullptr, true));
}

void QORMtxSparseImExPorter::Export(const QORMtxSparseMatrix& mtx, const char* path, int format,
                                    const QORFsmSystemDofDefinition* dofs) const {
  QORMtxSparseImExPorter::Formats::Export(mtx, path, format, dofs, Outcome(path, nullptr, true));
}

bool QORMtxSparseImExPorter::TryImport(QORMtxSparseMatrix& mtx, const char* path, int format, std::string* error) {
  return QORMtxSparseImExPorter::Formats::Import(mtx, path, format, Outcome(path, error, false));
}

bool QORMtxSparseImExPorter::TryExport(const QORMtxSparseMatrix& mtx, const char* path, int format,
                                       const QORFsmSystemDofDefinition* dofs, std::string* error) {
  return QORMtxSparseImExPorter::Formats::Export(mtx, path, format, dofs, Outcome(path, error, false));
}

bool QORMtxSparseImExPorter::CanImport(int format) { return format >= 0 && format <= 7 && format != 4 && format != 5; }

bool QORMtxSparseImExPorter::CanExport(int format) { return format >= 3 && format <= 7; }

// ---- The matrix's own members delegate ----

void QORMtxSparseMatrix::Import(const char* path, int format) {
  QORMtxSparseImExPorter porter;
  porter.Import(*this, path, format);
}

void QORMtxSparseMatrix::Export(const char* path, int format, const QORFsmSystemDofDefinition* dofs) const {
  const QORMtxSparseImExPorter porter;
  porter.Export(*this, path, format, dofs);
}
