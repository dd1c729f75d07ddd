// Matrix Market files: malformed input reported with file and line, every layout read right, exact round trips,
// and the Harwell-Boeing finite-element matrices checked against a naive reading.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include <unistd.h>

#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

// Reads text as a file named "m.mtx" into A (or a scratch matrix); returns the error message, or "" on success.
std::string ReadError(const std::string& text, QORMtxSparseMatrix* A = nullptr) {
  QORMtxSparseMatrix scratch;
  std::string error;
  if (QORMtxMatrixMarket::ReadText(text.data(), text.size(), "m.mtx", A ? *A : scratch, &error)) return "";
  return error.empty() ? "(no message)" : error;
}

const std::string kGeneral = "%%MatrixMarket matrix coordinate real general\n";
const std::string kSymmetric = "%%MatrixMarket matrix coordinate real symmetric\n";
const std::string kSkew = "%%MatrixMarket matrix coordinate real skew-symmetric\n";

std::string TempPath(const char* name) { return testing::TempDir() + name; }

// Values compared bit for bit: -0.0 is not 0.0 here.
std::vector<unsigned long long> Bits(const std::vector<double>& v) {
  std::vector<unsigned long long> b(v.size());
  if (!v.empty()) std::memcpy(b.data(), v.data(), v.size() * sizeof(double));
  return b;
}

void ExpectSameArrays(const QORMtxSparseMatrix& A, const QORMtxSparseMatrix& B) {
  ASSERT_EQ(std::make_tuple(A.NumberOfRows(), A.NumberOfColumns(), A.NumberOfNonzeros(), A.Diagonal() != nullptr),
            std::make_tuple(B.NumberOfRows(), B.NumberOfColumns(), B.NumberOfNonzeros(), B.Diagonal() != nullptr));
  EXPECT_EQ(RowP(A), RowP(B));
  EXPECT_EQ(ColI(A), ColI(B));
  EXPECT_EQ(Bits(Data(A)), Bits(Data(B)));
  if (A.Diagonal()) {
    EXPECT_EQ(Bits(Diag(A)), Bits(Diag(B)));
  }
}

}  // namespace

// Malformed files: one message each, naming the file and the line.
TEST(MatrixMarketErrors, OneMessageNamingFileAndLine) {
  const std::string g = kGeneral, e = kGeneral + "% comment\n3 4 3\n";
  const std::pair<std::string, const char*> cases[] = {
      // Banner.
      {"", "m.mtx:1: empty file: missing %%MatrixMarket banner"},
      {"3 3 1\n1 1 1\n", "m.mtx:1: missing %%MatrixMarket banner"},
      {"%%MatrixMarket matrix coordinate\n3 3 0\n",
       "m.mtx:1: incomplete banner: expected '%%MatrixMarket matrix <format> <field> <symmetry>'"},
      {"%%MatrixMarket vector coordinate real general\n", "m.mtx:1: unsupported object 'vector' (only 'matrix')"},
      {"%%MatrixMarket matrix coordinate complex general\n",
       "m.mtx:1: unsupported field 'complex' (real, integer or pattern)"},
      {"%%MatrixMarket matrix coordinate real hermitian\n",
       "m.mtx:1: unsupported symmetry 'hermitian' (general, symmetric or skew-symmetric)"},
      {"%%MatrixMarket matrix dense real general\n", "m.mtx:1: unsupported format 'dense' (coordinate or array)"},
      {"%%MatrixMarket matrix array pattern general\n2 2\n", "m.mtx:1: the array format cannot have a pattern field"},
      // Size line.
      {g + "% only comments\n\n", "m.mtx:4: missing size line 'rows columns entries'"},
      {g + "3 3\n", "m.mtx:2: size line must hold 'rows columns entries'"},
      {g + "3 3 1 1\n", "m.mtx:2: size line must hold 'rows columns entries'"},
      {g + "3 x 1\n", "m.mtx:2: column count 'x' is not an integer"},
      {g + "-3 3 1\n", "m.mtx:2: row count -3 is negative"},
      {g + "3000000000 3 1\n1 1 1\n", "m.mtx:2: size 3000000000 x 3 exceeds 2147483646 rows or columns"},
      {g + "99999999999999999999 3 1\n", "m.mtx:2: row count '99999999999999999999' is too large"},
      {g + "10 10 3000000000\n", "m.mtx:2: 3000000000 entries exceed the 2147483647 a sparse matrix can hold"},
      {kSkew + "10 10 1500000000\n", "m.mtx:2: 1500000000 entries exceed the 2147483647 a sparse matrix can hold"},
      {"%%MatrixMarket matrix array real general\n100000 100000\n",
       "m.mtx:2: 10000000000 entries exceed the 2147483647 a sparse matrix can hold"},
      // A count the file cannot hold is refused before any room is reserved for it.
      {g + "2000000000 2000000000 2000000000\n1 1 1\n",
       "m.mtx:2: 2000000000 entries announced, but the file is only 85 bytes long"},
      {kSymmetric + "3 4 1\n1 1 1\n", "m.mtx:2: a symmetric or skew-symmetric matrix must be square, not 3 x 4"},
      // Entries.
      {e + "1 1 1.0\n2 2 2.0\n", "m.mtx:6: file ends after 2 of the 3 entries announced on line 3"},
      {e + "1 1 1.0\n2 2 2.0\n3 3 3.0\n1 4 4.0\n", "m.mtx:7: more entries than the 3 announced on line 3"},
      {e + "1 1 1.0\n0 2 2.0\n3 3 3.0\n", "m.mtx:5: row index 0 out of range 1..3"},
      {e + "1 5 1.0\n", "m.mtx:4: column index 5 out of range 1..4"},
      {e + "4 1 1.0\n", "m.mtx:4: row index 4 out of range 1..3"},
      {e + "1 1 abc\n", "m.mtx:4: value 'abc' is not a number"},
      {e + "1 1 1.0e\n", "m.mtx:4: value '1.0e' is not a number"},
      {e + "1.5 1 1.0\n", "m.mtx:4: row index '1.5' is not an integer"},
      {e + "1 2\n", "m.mtx:4: entry line must hold 3 items (row, column, value), found 2"},
      {e + "1 2 3 4\n", "m.mtx:4: entry line must hold 3 items (row, column, value), found 4"},
      {"%%MatrixMarket matrix coordinate integer general\n2 2 1\n1 1 2.5\n", "m.mtx:3: value '2.5' is not an integer"},
      {"%%MatrixMarket matrix coordinate pattern general\n2 2 1\n1 1 2.5\n",
       "m.mtx:3: entry line must hold 2 items (row, column), found 3"},
      {kSkew + "2 2 1\n2 2 1.0\n", "m.mtx:3: skew-symmetric matrix with a non-zero diagonal entry"},
      {"%%MatrixMarket matrix array real general\n2 2\n1\n2\n3\n",
       "m.mtx:6: file ends after 3 of the 4 entries announced on line 2"},
      // Binary garbage: a message, not a crash.
      {e + std::string("1 1 \x01\x00\xff", 7) + "\n", "m.mtx:4: value '?\?\?' is not a number"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadError(c.first), c.second) << c.first;
  // The same faults deep in a long file, where entry lines are scanned in place: the same messages.
  std::string good;
  for (int k = 0; k < 300; ++k) good += k % 2 ? "1 1 1.0\n" : "2 3 -1\n";
  const std::pair<const char*, const char*> deep[] = {
      {"1 1 abc", "value 'abc' is not a number"},        {"1 1 1.0e", "value '1.0e' is not a number"},
      {"1.5 1 1.0", "row index '1.5' is not an integer"}, {"4 1 1.0", "row index 4 out of range 1..3"},
      {"1 5 -1", "column index 5 out of range 1..4"},     {"0 2 2", "row index 0 out of range 1..3"},
      {"1 2", "entry line must hold 3 items (row, column, value), found 2"},
      {"1 2 3 4", "entry line must hold 3 items (row, column, value), found 4"},
      {"1 1 --1", "value '--1' is not a number"},
  };
  for (const auto& d : deep)
    EXPECT_EQ(ReadError(kGeneral + "% comment\n3 4 601\n" + good + d.first + "\n" + good),
              std::string("m.mtx:304: ") + d.second)
        << d.first;
}

TEST(MatrixMarketErrors, FilesAndAFailedReadLeavingTheMatrixAlone) {
  QORMtxSparseMatrix A;
  Assemble(A, 2, 2, {{0, 1, 7.0}});
  EXPECT_NE(ReadError(kGeneral + "5 5 2\n1 1 1\n", &A), "");
  EXPECT_EQ(A.NumberOfRows(), 2);
  EXPECT_EQ(RawDense(A)(0, 1), 7.0);

  std::string error;
  EXPECT_FALSE(QORMtxMatrixMarket::Read("/nonexistent/dir/m.mtx", A, &error));
  EXPECT_EQ(error, "/nonexistent/dir/m.mtx: cannot open: No such file or directory");
  EXPECT_FALSE(QORMtxMatrixMarket::Read(testing::TempDir().c_str(), A, &error));
  EXPECT_NE(error.find(": cannot read: "), std::string::npos) << error;
  EXPECT_FALSE(QORMtxMatrixMarket::Read("/nonexistent/dir/m.mtx", A, nullptr));  // no message wanted
  EXPECT_FALSE(QORMtxMatrixMarket::Write("/nonexistent/dir/m.mtx", A, &error));
  EXPECT_EQ(error, "/nonexistent/dir/m.mtx: cannot open for writing: No such file or directory");
}

TEST(MatrixMarketDeath, FatalForms) {
  const std::string path = TempPath("bad.mtx");
  FILE* f = std::fopen(path.c_str(), "w");
  std::fputs("%%MatrixMarket matrix coordinate real general\n2 2 1\n3 1 1.0\n", f);
  std::fclose(f);
  QORMtxSparseMatrix A;
  EXPECT_DEATH(QORMtxMatrixMarket::ReadOrAbort(path.c_str(), A),
               qormtx_test::Literal(path + ":3: row index 3 out of range 1..2"));
  EXPECT_QORMTX_ASSERTION(QORMtxMatrixMarket::ReadOrAbort(path.c_str(), A),
                          "read && \"QORMtxMatrixMarket::ReadOrAbort: the matrix file cannot be read\"");
  std::remove(path.c_str());
  EXPECT_QORMTX_ASSERTION(QORMtxMatrixMarket::WriteOrAbort("/nonexistent/dir/m.mtx", A),
                          "written && \"QORMtxMatrixMarket::WriteOrAbort: the matrix file cannot be written\"");
  QORMtxSparseMatrix collecting(2, 2);
  collecting.AddData(0, 0, 1.0, false);
  EXPECT_QORMTX_ASSERTION(QORMtxMatrixMarket::Write(path.c_str(), collecting, nullptr),
                          "matrix.IsAssembled() || matrix.NumberOfCollectedEntries() == 0");
}

// Every layout against its dense matrix: symmetric storage keeps one triangle plus the diagonal, whatever triangle
// the file lists; array layouts run down the columns and do not store zeros.
TEST(MatrixMarketRead, EveryLayoutGivesItsDenseMatrix) {
  const std::string sym3 = kSymmetric + "3 3 4\n";
  const std::vector<double> tridiagonal = {4, -1, 0, -1, 0, -2, 0, -2, 5};  // the diagonal read once, not doubled
  const struct {
    std::string text;
    bool symmetricStorage;
    int nonzeros;  // stored off the diagonal in symmetric storage
    Dense dense;
  } cases[] = {
      {"%MatrixMarket MATRIX Coordinate Real General trailing words\r\n% a comment\r\n\r\n  2 3 3  \r\n1 3 +1.5\r\n"
       "% a comment among the entries\r\n2\t1 -2e-3\r\n\r\n1 3 1",  // no final line end, and a duplicate
       false, 2, RowMajor(2, 3, {0, 0, 2.5, -2e-3, 0, 0})},
      {sym3 + "1 1 4\n2 1 -1\n3 2 -2\n3 3 5\n", true, 2, RowMajor(3, 3, tridiagonal)},
      {sym3 + "1 1 4\n1 2 -1\n2 3 -2\n3 3 5\n", true, 2, RowMajor(3, 3, tridiagonal)},
      {sym3 + "3 3 5\n1 2 -1\n3 2 -2\n1 1 4\n", true, 2, RowMajor(3, 3, tridiagonal)},
      {kSkew + "3 3 3\n2 1 1.5\n1 3 2\n2 2 0\n", false, 4, RowMajor(3, 3, {0, -1.5, 2, 1.5, 0, 0, -2, 0, 0})},
      {"%%MatrixMarket matrix coordinate pattern general\n2 2 2\n2 1\n1 2\n", false, 2, RowMajor(2, 2, {0, 1, 1, 0})},
      {"%%MatrixMarket matrix coordinate integer symmetric\n2 2 2\n1 1 -7\n2 1 3\n", true, 1,
       RowMajor(2, 2, {-7, 3, 3, 0})},
      {"%%MatrixMarket matrix array real general\n2 3\n1\n0\n2\n3\n0\n4\n", false, 4,
       RowMajor(2, 3, {1, 2, 0, 0, 3, 4})},
      {"%%MatrixMarket matrix array real symmetric\n3 3\n1\n2\n0\n4\n5\n6\n", true, 2,
       RowMajor(3, 3, {1, 2, 0, 2, 4, 5, 0, 5, 6})},
      {"%%MatrixMarket matrix array real skew-symmetric\n3 3\n1\n2\n3\n", false, 6,
       RowMajor(3, 3, {0, -1, -2, 1, 0, -3, 2, 3, 0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    QORMtxSparseMatrix A;
    ASSERT_EQ(ReadError(c.text, &A), "");
    std::string why;
    EXPECT_TRUE(A.CheckInvariants(&why)) << why;
    EXPECT_EQ(A.Diagonal() != nullptr, c.symmetricStorage);
    EXPECT_EQ(A.NumberOfNonzeros(), c.nonzeros);
    ExpectDenseEq(RawDense(A), c.dense);
  }
  QORMtxSparseMatrix E, Z;
  ASSERT_EQ(ReadError(kSymmetric + "4 4 0\n", &E) + ReadError(kGeneral + "0 0 0\n", &Z), "");
  EXPECT_TRUE(E.IsAssembled() && E.IsNull() && E.NumberOfRows() == 4 && Z.NumberOfRows() == 0);
}

TEST(MatrixMarketWrite, RoundTripsAreExactAndTheTextIsFixed) {
  // Shortest texts, subnormals, the extremes, 17 significant digits, integers past what a double holds exactly.
  const double awkward[] = {0.1,         1.0 / 3.0,           -2.0 / 7.0,     1e-300,
                            4.9406564584124654e-324, 2.2250738585072009e-308, 1.7976931348623157e308, 1e308,
                            -123456789.123456789,   6.02214076e23,       0.30000000000000004, -0.0,
                            9007199254740993.0,     123456789012345678.0, -1.0,          26.0};
  const std::string path = TempPath("roundtrip.mtx");
  for (bool symmetric : {false, true})
    for (auto layout : {QORMtxMatrixMarket::COORDINATE, QORMtxMatrixMarket::ARRAY}) {
      std::mt19937_64 rng = ref::Rng(symmetric ? 61 : 62);
      const int rows = 17, cols = symmetric ? 17 : 11;
      auto entries = RandomEntries(rng, rows, cols, 80, symmetric);
      for (size_t k = 0; k < entries.size(); k += 3) entries[k].m_value = awkward[k / 3 % 16];
      QORMtxSparseMatrix A, B;
      Assemble(A, rows, cols, entries, symmetric);
      std::string error;
      ASSERT_TRUE(QORMtxMatrixMarket::Write(path.c_str(), A, &error, layout)) << error;
      ASSERT_TRUE(QORMtxMatrixMarket::Read(path.c_str(), B, &error)) << error;
      EXPECT_EQ(B.Diagonal() != nullptr, symmetric);
      ExpectDenseEq(RawDense(B), RawDense(A));
      // Explicit zeros survive the coordinate layout too, so the arrays are the same, bit for bit.
      if (layout == QORMtxMatrixMarket::COORDINATE) ExpectSameArrays(A, B);
    }
  QORMtxSparseMatrix S;
  Assemble(S, 2, 2, {{1, 0, 0.1}, {1, 1, 2.0}}, true);
  QORMtxMatrixMarket::WriteOrAbort(path.c_str(), S);
  EXPECT_EQ(Slurp(std::fopen(path.c_str(), "r")),
            "%%MatrixMarket matrix coordinate real symmetric\n2 2 3\n1 1 0\n2 2 2\n2 1 0.1\n");
  // Each value as its shortest text: integers up to the point where the exponent form is shorter, -0 signed.
  QORMtxSparseMatrix C;
  Assemble(C, 7, 1, {{0, 0, 9999}, {1, 0, -9999}, {2, 0, 10000}, {3, 0, 1e5}, {4, 0, -0.0}, {5, 0, 0.5}, {6, 0, -1e-7}});
  QORMtxMatrixMarket::WriteOrAbort(path.c_str(), C, QORMtxMatrixMarket::ARRAY);
  EXPECT_EQ(Slurp(std::fopen(path.c_str(), "r")),
            "%%MatrixMarket matrix array real general\n7 1\n9999\n-9999\n10000\n1e+05\n-0\n0.5\n-1e-07\n");
  std::remove(path.c_str());
}

// An independent reading of a finite-element file (lower triangle, no duplicates): the banner's symmetry, the
// shape and the entries as listed, 0-based.
struct NaiveFile {
  int rows = 0, cols = 0;
  bool symmetric = false;
  std::map<std::pair<unsigned, unsigned>, double> listed;
};

TEST(MatrixMarketHarwellBoeing, EveryFileMatchesANaiveReading) {
  const std::string dir = std::string(QORMTX_SHARED_DATA) + "/hb";
  DIR* d = opendir(dir.c_str());
  if (!d) GTEST_SKIP() << dir << " is absent";
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".mtx") == 0) names.push_back(n);
  }
  closedir(d);
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = dir + "/" + name;
    NaiveFile ref;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line) && line[0] == '%')
      if (line.rfind("%%MatrixMarket", 0) == 0) ref.symmetric = line.find("symmetric") != std::string::npos;
    size_t count = 0, offDiagonal = 0;
    std::istringstream(line) >> ref.rows >> ref.cols >> count;
    unsigned i, j;
    for (double v; in >> i >> j >> v; offDiagonal += i != j) {
      ASSERT_GE(i, j);
      ref.listed[{i - 1, j - 1}] = v;
    }
    ASSERT_EQ(ref.listed.size(), count);

    QORMtxSparseMatrix A;
    std::string error;
    ASSERT_TRUE(QORMtxMatrixMarket::Read(path.c_str(), A, &error)) << error;
    ASSERT_TRUE(A.CheckInvariants(&error)) << error;
    ASSERT_EQ(std::make_tuple(A.NumberOfRows(), A.NumberOfColumns(), A.Diagonal() != nullptr),
              std::make_tuple(ref.rows, ref.cols, ref.symmetric));
    EXPECT_EQ(A.NumberOfNonzeros(), static_cast<int>(offDiagonal));
    EXPECT_TRUE(A.IsSymmetric());
    // Every listed entry at its position, compared through the walk without a dense copy.
    size_t walked = 0;
    for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      const auto found = ref.listed.find({e.m_row, e.m_col});
      ASSERT_EQ(e.m_value, found == ref.listed.end() ? 0.0 : found->second) << e.m_row << ", " << e.m_col;
      walked += found != ref.listed.end();  // unlisted diagonal positions are 0.0
    }
    EXPECT_EQ(walked, ref.listed.size());
  }
}

namespace {

// Reads path with options, recording the progress calls; returns the error, or "" on success.
std::string ReadFile(const std::string& path, QORMtxSparseMatrix& A, long long* lastDone = nullptr,
                     long long* total = nullptr, const QORMtxMatrixMarket::ReadOptions& base = {}) {
  QORMtxMatrixMarket::ReadOptions options = base;
  options.progress = [&](long long done, long long all) {
    if (lastDone) *lastDone = done;
    if (total) *total = all;
  };
  std::string error;
  return QORMtxMatrixMarket::Read(path.c_str(), A, &error, options) ? "" : error;
}

// Runs the read on the reading end of a pipe while a thread writes text into it.
std::string ReadThroughPipe(const std::string& text, QORMtxSparseMatrix& A, long long* total = nullptr) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  std::thread writer([&] {
    for (size_t at = 0; at < text.size();) {
      const ssize_t put = write(fds[1], text.data() + at, text.size() - at);
      if (put <= 0) break;
      at += static_cast<size_t>(put);
    }
    close(fds[1]);
  });
  const std::string error = ReadFile("/proc/self/fd/" + std::to_string(fds[0]), A, nullptr, total);
  writer.join();
  close(fds[0]);
  return error;
}

}  // namespace

// The file is read in pieces of 1 MiB: lines that straddle pieces, pipes that have no length, the caller's bound
// on the shape before anything is allocated, and a line too long to buffer.
TEST(MatrixMarketStreamed, PiecesPipesAndTheCallersBound) {
  std::mt19937_64 rng = ref::Rng(63);
  std::string text = kGeneral;
  const auto entries = RandomEntries(rng, 300, 2000, 180000, false);
  text += "300 2000 " + std::to_string(entries.size()) + "\n";
  for (size_t k = 0; k < entries.size(); ++k) {
    if (k % 997 == 0) text += "%" + std::string(k % 5000, 'c') + "\n";  // comments of every length
    char line[96];
    std::snprintf(line, sizeof line, "%u %u %.17g\n", entries[k].m_row + 1, entries[k].m_col + 1, entries[k].m_value);
    text += line;
  }
  text.pop_back();  // no line end after the last entry
  ASSERT_GT(text.size(), size_t(2) << 20);
  QORMtxSparseMatrix ref, fromFile, fromPipe;
  ASSERT_EQ(ReadError(text, &ref), "");
  const std::string path = TempPath("streamed.mtx");
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  long long done = 0, total = 0;
  ASSERT_EQ(ReadFile(path, fromFile, &done, &total), "");
  EXPECT_EQ(done, static_cast<long long>(text.size()));
  EXPECT_EQ(total, static_cast<long long>(text.size()));
  ExpectDenseEq(RawDense(fromFile), RawDense(ref));
  ASSERT_EQ(ReadThroughPipe(text, fromPipe, &total), "");
  EXPECT_EQ(total, -1);
  ExpectDenseEq(RawDense(fromPipe), RawDense(ref));

  // The bound sees the size line's numbers and refuses at its line; the caller's matrix stays as it was.
  QORMtxMatrixMarket::ReadOptions bound;
  long long seen[3] = {};
  bound.checkSize = [&](long long r, long long c, long long n) {
    seen[0] = r, seen[1] = c, seen[2] = n;
    return r > 100 ? std::string("at most 100 rows here") : std::string();
  };
  EXPECT_EQ(ReadFile(path, fromFile, nullptr, nullptr, bound), path + ":2: at most 100 rows here");
  EXPECT_EQ(std::vector<long long>(seen, seen + 3),
            (std::vector<long long>{300, 2000, static_cast<long long>(entries.size())}));
  EXPECT_EQ(fromFile.NumberOfRows(), 300);

  // Announced counts a pipe cannot check up front are met as the entries come; a line beyond 16 MiB is refused.
  QORMtxSparseMatrix A;
  const std::string piped = ReadThroughPipe(kGeneral + "3 3 2000000000\n1 1 1\n", A);
  EXPECT_NE(piped.find(":4: file ends after 1 of the 2000000000 entries announced on line 2"), std::string::npos)
      << piped;
  f = std::fopen(path.c_str(), "wb");
  const std::string longLine = kGeneral + "%" + std::string(size_t(17) << 20, 'x') + "\n1 1 0\n";
  std::fwrite(longLine.data(), 1, longLine.size(), f);
  std::fclose(f);
  EXPECT_EQ(ReadFile(path, A), path + ": line 2 is longer than 16777216 bytes");
  std::remove(path.c_str());
}

// Entries in storage order go straight into compressed rows; any other order, a duplicate or a pipe takes the
// assembly. Every way gives the arrays the assembly of the same entries gives, bit for bit, also with indices of
// every length from 1 to 10 digits.
TEST(MatrixMarketRead, EveryEntryOrderGivesTheAssembledArrays) {
  for (bool symmetric : {false, true}) {
    SCOPED_TRACE(symmetric ? "symmetric" : "general");
    std::mt19937_64 rng = ref::Rng(symmetric ? 64 : 65);
    const int rows = symmetric ? 3000 : 40, cols = symmetric ? 3000 : 2147483646;
    auto entries = RandomEntries(rng, rows, symmetric ? rows : 1000, 6000, symmetric);
    if (!symmetric)  // columns spread over every length of index
      for (auto& e : entries)
        e.m_col = static_cast<unsigned>(std::min(cols - 1.0, std::pow(10.0, e.m_col % 100 / 10.0) * (e.m_col + 1)));
    // Storage order: by row, then column, each position once; the diagonal first in its row, as a row walk gives it.
    std::map<std::pair<unsigned, unsigned>, double> merged;
    for (const auto& e : entries) merged[{e.m_row, e.m_col}] += e.m_value;
    std::vector<QORMtxSparseMatrixEntry> ordered;
    for (const auto& m : merged) ordered.push_back({m.first.first, m.first.second, m.second});
    std::sort(ordered.begin(), ordered.end(), [](const QORMtxSparseMatrixEntry& a, const QORMtxSparseMatrixEntry& b) {
      return std::make_tuple(a.m_row, a.m_row != a.m_col, a.m_col) < std::make_tuple(b.m_row, b.m_row != b.m_col, b.m_col);
    });
    const double awkward[] = {-0.0, 0.30000000000000004, 1e-320, -1.0, 26.0, 123456789012345678.0};
    for (size_t k = 0; k < ordered.size(); k += 97) ordered[k].m_value = awkward[k / 97 % 6];
    QORMtxSparseMatrix want;
    Assemble(want, rows, cols, ordered, symmetric);
    const auto text = [&](const std::vector<QORMtxSparseMatrixEntry>& list) {
      std::string t = (symmetric ? kSymmetric : kGeneral) + std::to_string(rows) + " " + std::to_string(cols) + " " +
                      std::to_string(list.size()) + "\n";
      char line[96];
      for (const auto& e : list) {
        std::snprintf(line, sizeof line, "%u %u %.17g\n", e.m_row + 1, e.m_col + 1, e.m_value);
        t += line;
      }
      return t;
    };
    std::vector<QORMtxSparseMatrixEntry> reversed(ordered.rbegin(), ordered.rend()), shuffled = ordered;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    // A duplicate at the very end: the whole matrix moves from the rows to the assembly.
    std::vector<QORMtxSparseMatrixEntry> lateDuplicate = ordered;
    lateDuplicate.back().m_value = 0.5;
    lateDuplicate.push_back(ordered.back());
    lateDuplicate.back().m_value -= 0.5;
    for (const std::string& t : {text(ordered), text(reversed), text(shuffled), text(lateDuplicate)}) {
      QORMtxSparseMatrix fromText, fromPipe;
      ASSERT_EQ(ReadError(t, &fromText), "");
      ExpectSameArrays(fromText, want);
      ASSERT_EQ(ReadThroughPipe(t, fromPipe), "");
      ExpectSameArrays(fromPipe, want);
    }
  }
}

// Integer and pattern fields, and the blanks, signs and line ends that the in-place scan leaves to the general
// path, in a long file: the matrix the entries give.
TEST(MatrixMarketRead, IntegerAndPatternFieldsAndOddBlanksInALongFile) {
  std::mt19937_64 rng = ref::Rng(66);
  auto entries = RandomEntries(rng, 50, 70, 3000, false);
  std::vector<QORMtxSparseMatrixEntry> ones = entries;
  const std::string size = "50 70 " + std::to_string(entries.size()) + "\n";
  std::string integer = "%%MatrixMarket matrix coordinate integer general\n" + size;
  std::string pattern = "%%MatrixMarket matrix coordinate pattern general\n" + size;
  for (size_t k = 0; k < entries.size(); ++k) {
    auto& e = entries[k];
    e.m_value *= 8;  // multiples of 1/8: integers now
    const std::string row = std::to_string(e.m_row + 1), col = std::to_string(e.m_col + 1);
    const std::string value = (k % 11 == 0 && e.m_value >= 0 ? "+" : "") + std::to_string(static_cast<int>(e.m_value));
    integer += (k % 7 == 0 ? " " : "") + row + (k % 5 == 0 ? "\t" : " ") + col + " " + value + (k % 3 ? "\n" : "\r\n");
    pattern += row + (k % 4 == 0 ? "  " : " ") + col + "\n";
    ones[k].m_value = 1.0;
  }
  QORMtxSparseMatrix A, P;
  ASSERT_EQ(ReadError(integer, &A) + ReadError(pattern, &P), "");
  ExpectDenseEq(RawDense(A), Reference(50, 70, entries, false));
  ExpectDenseEq(RawDense(P), Reference(50, 70, ones, false));
}
