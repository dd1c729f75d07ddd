// Matrix Market files: malformed input reported with file and line, every layout read right, exact round trips,
// and the Harwell-Boeing finite-element matrices checked against a naive reading.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>

#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

// Reads text as a file named "m.mtx"; returns the error message, or "" on success.
std::string ReadError(const std::string& text, QORMtxSparseMatrix& A) {
  std::string error;
  if (QORMtxMatrixMarket::ReadText(text.data(), text.size(), "m.mtx", A, &error)) return "";
  return error.empty() ? "(no message)" : error;
}
std::string ReadError(const std::string& text) {
  QORMtxSparseMatrix A;
  return ReadError(text, A);
}
QORMtxSparseMatrix* ReadOk(const std::string& text) {
  auto* A = new QORMtxSparseMatrix;
  const std::string error = ReadError(text, *A);
  EXPECT_EQ(error, "");
  std::string why;
  EXPECT_TRUE(A->CheckInvariants(&why)) << why;
  return A;
}

const char* kGeneral = "%%MatrixMarket matrix coordinate real general\n";
const char* kSymmetric = "%%MatrixMarket matrix coordinate real symmetric\n";

std::string TempPath(const char* name) { return testing::TempDir() + name; }

}  // namespace

// ---- Malformed files: one message each, naming the file and the line ----

TEST(MatrixMarketErrors, BannerAndHeader) {
  EXPECT_EQ(ReadError(""), "m.mtx:1: empty file: missing %%MatrixMarket banner");
  EXPECT_EQ(ReadError("3 3 1\n1 1 1\n"), "m.mtx:1: missing %%MatrixMarket banner");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate\n3 3 0\n"),
            "m.mtx:1: incomplete banner: expected '%%MatrixMarket matrix <format> <field> <symmetry>'");
  EXPECT_EQ(ReadError("%%MatrixMarket vector coordinate real general\n"),
            "m.mtx:1: unsupported object 'vector' (only 'matrix')");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate complex general\n"),
            "m.mtx:1: unsupported field 'complex' (real, integer or pattern)");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate real hermitian\n"),
            "m.mtx:1: unsupported symmetry 'hermitian' (general, symmetric or skew-symmetric)");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix dense real general\n"),
            "m.mtx:1: unsupported format 'dense' (coordinate or array)");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix array pattern general\n2 2\n"),
            "m.mtx:1: the array format cannot have a pattern field");
}

TEST(MatrixMarketErrors, SizeLine) {
  const std::string g = kGeneral;
  EXPECT_EQ(ReadError(g + "% only comments\n\n"), "m.mtx:4: missing size line 'rows columns entries'");
  EXPECT_EQ(ReadError(g), "m.mtx:2: missing size line 'rows columns entries'");
  EXPECT_EQ(ReadError(g + "3 3\n"), "m.mtx:2: size line must hold 'rows columns entries'");
  EXPECT_EQ(ReadError(g + "3 3 1 1\n"), "m.mtx:2: size line must hold 'rows columns entries'");
  EXPECT_EQ(ReadError(g + "3 x 1\n"), "m.mtx:2: column count 'x' is not an integer");
  EXPECT_EQ(ReadError(g + "-3 3 1\n"), "m.mtx:2: row count -3 is negative");
  EXPECT_EQ(ReadError(g + "3000000000 3 1\n1 1 1\n"),
            "m.mtx:2: size 3000000000 x 3 exceeds 2147483646 rows or columns");
  EXPECT_EQ(ReadError(g + "99999999999999999999 3 1\n"), "m.mtx:2: row count '99999999999999999999' is too large");
  EXPECT_EQ(ReadError(g + "10 10 3000000000\n"),
            "m.mtx:2: 3000000000 entries exceed the 2147483647 a sparse matrix can hold");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate real skew-symmetric\n10 10 1500000000\n"),
            "m.mtx:2: 1500000000 entries exceed the 2147483647 a sparse matrix can hold");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix array real general\n100000 100000\n"),
            "m.mtx:2: 10000000000 entries exceed the 2147483647 a sparse matrix can hold");
  // A count the file cannot hold is refused before any room is reserved for it.
  EXPECT_EQ(ReadError(g + "2000000000 2000000000 2000000000\n1 1 1\n"),
            "m.mtx:2: 2000000000 entries announced, but the file is only 85 bytes long");
  EXPECT_EQ(ReadError(std::string(kSymmetric) + "3 4 1\n1 1 1\n"),
            "m.mtx:2: a symmetric or skew-symmetric matrix must be square, not 3 x 4");
}

TEST(MatrixMarketErrors, Entries) {
  const std::string g = std::string(kGeneral) + "% comment\n3 4 3\n";
  EXPECT_EQ(ReadError(g + "1 1 1.0\n2 2 2.0\n"), "m.mtx:6: file ends after 2 of the 3 entries announced on line 3");
  EXPECT_EQ(ReadError(g + "1 1 1.0\n2 2 2.0\n3 3 3.0\n1 4 4.0\n"),
            "m.mtx:7: more entries than the 3 announced on line 3");
  EXPECT_EQ(ReadError(g + "1 1 1.0\n0 2 2.0\n3 3 3.0\n"), "m.mtx:5: row index 0 out of range 1..3");
  EXPECT_EQ(ReadError(g + "1 5 1.0\n"), "m.mtx:4: column index 5 out of range 1..4");
  EXPECT_EQ(ReadError(g + "4 1 1.0\n"), "m.mtx:4: row index 4 out of range 1..3");
  EXPECT_EQ(ReadError(g + "-1 1 1.0\n"), "m.mtx:4: row index -1 out of range 1..3");
  EXPECT_EQ(ReadError(g + "1 1 abc\n"), "m.mtx:4: value 'abc' is not a number");
  EXPECT_EQ(ReadError(g + "1 1 1.0e\n"), "m.mtx:4: value '1.0e' is not a number");
  EXPECT_EQ(ReadError(g + "1.5 1 1.0\n"), "m.mtx:4: row index '1.5' is not an integer");
  EXPECT_EQ(ReadError(g + "1 2\n"), "m.mtx:4: entry line must hold 3 items (row, column, value), found 2");
  EXPECT_EQ(ReadError(g + "1 2 3 4\n"), "m.mtx:4: entry line must hold 3 items (row, column, value), found 4");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate integer general\n2 2 1\n1 1 2.5\n"),
            "m.mtx:3: value '2.5' is not an integer");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate pattern general\n2 2 1\n1 1 2.5\n"),
            "m.mtx:3: entry line must hold 2 items (row, column), found 3");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix coordinate real skew-symmetric\n2 2 1\n2 2 1.0\n"),
            "m.mtx:3: skew-symmetric matrix with a non-zero diagonal entry");
  EXPECT_EQ(ReadError("%%MatrixMarket matrix array real general\n2 2\n1\n2\n3\n"),
            "m.mtx:6: file ends after 3 of the 4 entries announced on line 2");
  // Binary garbage: a message, not a crash.
  const std::string junk = g + std::string("1 1 \x01\x00\xff", 7) + "\n";
  EXPECT_EQ(ReadError(junk), "m.mtx:4: value '?\?\?' is not a number");
}

TEST(MatrixMarketErrors, FailureLeavesTheMatrixAlone) {
  QORMtxSparseMatrix A;
  Assemble(A, 2, 2, {{0, 1, 7.0}}, false, false);
  EXPECT_NE(ReadError(std::string(kGeneral) + "5 5 2\n1 1 1\n", A), "");
  EXPECT_EQ(A.NumberOfRows(), 2);
  EXPECT_EQ(RawDense(A)(0, 1), 7.0);
}

TEST(MatrixMarketErrors, Files) {
  QORMtxSparseMatrix A;
  std::string error;
  EXPECT_FALSE(QORMtxMatrixMarket::Read("/nonexistent/dir/m.mtx", A, &error));
  EXPECT_EQ(error, "/nonexistent/dir/m.mtx: cannot open: No such file or directory");
  EXPECT_FALSE(QORMtxMatrixMarket::Read(testing::TempDir().c_str(), A, &error));
  EXPECT_NE(error.find(": cannot read: "), std::string::npos) << error;
  EXPECT_FALSE(QORMtxMatrixMarket::Read("/nonexistent/dir/m.mtx", A, nullptr));  // no message wanted
  QORMtxSparseMatrix B;
  Assemble(B, 1, 1, {{0, 0, 1.0}}, false, false);
  EXPECT_FALSE(QORMtxMatrixMarket::Write("/nonexistent/dir/m.mtx", B, &error));
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

// ---- Layouts ----

TEST(MatrixMarketRead, CrLfSinglePercentBannerCaseAndComments) {
  const std::string text =
      "%MatrixMarket MATRIX Coordinate Real General trailing words\r\n"
      "% a comment\r\n"
      "\r\n"
      "  2 3 3  \r\n"
      "1 3 +1.5\r\n"
      "% a comment among the entries\r\n"
      "2\t1 -2e-3\r\n"
      "\r\n"
      "1 3 1"; /* no line end at the end, and a duplicate */
  std::unique_ptr<QORMtxSparseMatrix> A(ReadOk(text));
  ASSERT_EQ(A->NumberOfRows(), 2);
  ASSERT_EQ(A->NumberOfColumns(), 3);
  EXPECT_EQ(A->Diagonal(), nullptr);
  EXPECT_EQ(A->NumberOfNonzeros(), 2);
  Dense ref(2, 3);
  ref(0, 2) = 2.5;
  ref(1, 0) = -2e-3;
  ExpectDenseEq(RawDense(*A), ref);
}

TEST(MatrixMarketRead, SymmetricFromLowerUpperOrMixedTriangles) {
  const std::string head = std::string(kSymmetric) + "3 3 4\n";
  std::unique_ptr<QORMtxSparseMatrix> lower(ReadOk(head + "1 1 4\n2 1 -1\n3 2 -2\n3 3 5\n"));
  std::unique_ptr<QORMtxSparseMatrix> upper(ReadOk(head + "1 1 4\n1 2 -1\n2 3 -2\n3 3 5\n"));
  std::unique_ptr<QORMtxSparseMatrix> mixed(ReadOk(head + "3 3 5\n1 2 -1\n3 2 -2\n1 1 4\n"));
  Dense ref(3, 3);
  ref(0, 0) = 4.0;  // read once, not doubled
  ref(2, 2) = 5.0;
  ref(0, 1) = ref(1, 0) = -1.0;
  ref(1, 2) = ref(2, 1) = -2.0;
  for (auto* A : {lower.get(), upper.get(), mixed.get()}) {
    ASSERT_NE(A->Diagonal(), nullptr);
    EXPECT_EQ(A->NumberOfNonzeros(), 2);
    ExpectDenseEq(RawDense(*A), ref);
  }
}

TEST(MatrixMarketRead, SkewPatternIntegerAndArrays) {
  std::unique_ptr<QORMtxSparseMatrix> skew(
      ReadOk("%%MatrixMarket matrix coordinate real skew-symmetric\n3 3 3\n2 1 1.5\n1 3 2\n2 2 0\n"));
  Dense s(3, 3);
  s(1, 0) = 1.5;
  s(0, 1) = -1.5;
  s(0, 2) = 2.0;
  s(2, 0) = -2.0;
  EXPECT_EQ(skew->Diagonal(), nullptr);
  ExpectDenseEq(RawDense(*skew), s);

  std::unique_ptr<QORMtxSparseMatrix> pattern(
      ReadOk("%%MatrixMarket matrix coordinate pattern general\n2 2 2\n2 1\n1 2\n"));
  Dense p(2, 2);
  p(1, 0) = p(0, 1) = 1.0;
  ExpectDenseEq(RawDense(*pattern), p);

  std::unique_ptr<QORMtxSparseMatrix> integer(
      ReadOk("%%MatrixMarket matrix coordinate integer symmetric\n2 2 2\n1 1 -7\n2 1 3\n"));
  Dense i(2, 2);
  i(0, 0) = -7.0;
  i(0, 1) = i(1, 0) = 3.0;
  ExpectDenseEq(RawDense(*integer), i);

  // Array layouts run down the columns; zeros are not stored.
  std::unique_ptr<QORMtxSparseMatrix> general(
      ReadOk("%%MatrixMarket matrix array real general\n2 3\n1\n0\n2\n3\n0\n4\n"));
  Dense g(2, 3);
  g(0, 0) = 1.0;
  g(0, 1) = 2.0;
  g(1, 1) = 3.0;
  g(1, 2) = 4.0;
  EXPECT_EQ(general->NumberOfNonzeros(), 4);
  ExpectDenseEq(RawDense(*general), g);

  std::unique_ptr<QORMtxSparseMatrix> symm(
      ReadOk("%%MatrixMarket matrix array real symmetric\n3 3\n1\n2\n0\n4\n5\n6\n"));
  Dense y(3, 3);
  y(0, 0) = 1.0;
  y(1, 0) = y(0, 1) = 2.0;
  y(1, 1) = 4.0;
  y(2, 1) = y(1, 2) = 5.0;
  y(2, 2) = 6.0;
  ASSERT_NE(symm->Diagonal(), nullptr);
  ExpectDenseEq(RawDense(*symm), y);

  std::unique_ptr<QORMtxSparseMatrix> askew(ReadOk("%%MatrixMarket matrix array real skew-symmetric\n3 3\n1\n2\n3\n"));
  Dense k(3, 3);
  k(1, 0) = 1.0;
  k(2, 0) = 2.0;
  k(2, 1) = 3.0;
  k(0, 1) = -1.0;
  k(0, 2) = -2.0;
  k(1, 2) = -3.0;
  ExpectDenseEq(RawDense(*askew), k);
}

TEST(MatrixMarketRead, EmptyMatrices) {
  std::unique_ptr<QORMtxSparseMatrix> A(ReadOk(std::string(kSymmetric) + "4 4 0\n"));
  EXPECT_TRUE(A->IsAssembled());
  EXPECT_TRUE(A->IsNull());
  EXPECT_EQ(A->NumberOfRows(), 4);
  std::unique_ptr<QORMtxSparseMatrix> Z(ReadOk(std::string(kGeneral) + "0 0 0\n"));
  EXPECT_EQ(Z->NumberOfRows(), 0);
}

// ---- Writing and round trips ----

TEST(MatrixMarketWrite, RoundTripsAreExact) {
  const double awkward[] = {0.1,
                            1.0 / 3.0,
                            -2.0 / 7.0,
                            1e-300,
                            4.9406564584124654e-324,
                            1.7976931348623157e308,
                            -123456789.123456789,
                            6.02214076e23};
  for (bool symmetric : {false, true})
    for (auto layout : {QORMtxMatrixMarket::COORDINATE, QORMtxMatrixMarket::ARRAY}) {
      std::mt19937 rng = SeededRng(symmetric ? 61 : 62);
      const int rows = 17, cols = symmetric ? 17 : 11;
      auto entries = RandomEntries(rng, rows, cols, 80, symmetric);
      for (size_t k = 0; k < entries.size(); ++k)
        if (k % 3 == 0) entries[k].m_value = awkward[k % 8];
      QORMtxSparseMatrix A, B;
      Assemble(A, rows, cols, entries, symmetric, false);
      const std::string path = TempPath("roundtrip.mtx");
      std::string error;
      ASSERT_TRUE(QORMtxMatrixMarket::Write(path.c_str(), A, &error, layout)) << error;
      ASSERT_TRUE(QORMtxMatrixMarket::Read(path.c_str(), B, &error)) << error;
      std::remove(path.c_str());
      EXPECT_EQ(B.NumberOfRows(), rows);
      EXPECT_EQ(B.NumberOfColumns(), cols);
      EXPECT_EQ(B.Diagonal() != nullptr, symmetric);
      ExpectDenseEq(RawDense(B), RawDense(A));
      if (layout == QORMtxMatrixMarket::COORDINATE) {
        // Explicit zeros survive the coordinate layout too, so the arrays are the same.
        EXPECT_EQ(B.NumberOfNonzeros(), A.NumberOfNonzeros());
      }
    }
}

TEST(MatrixMarketWrite, ExactText) {
  QORMtxSparseMatrix S;
  Assemble(S, 2, 2, {{1, 0, 0.1}, {1, 1, 2.0}}, true, false);
  const std::string path = TempPath("text.mtx");
  QORMtxMatrixMarket::WriteOrAbort(path.c_str(), S);
  FILE* f = std::fopen(path.c_str(), "r");
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(text,
            "%%MatrixMarket matrix coordinate real symmetric\n"
            "2 2 3\n"
            "1 1 0\n"
            "2 2 2\n"
            "2 1 0.10000000000000001\n");
}

// ---- The Harwell-Boeing finite-element matrices ----

namespace {

struct NaiveFile {
  int rows = 0, cols = 0;
  bool symmetric = false;
  std::vector<QORMtxSparseMatrixEntry> entries;  // 0-based, as listed
};

// An independent reading: fgets, CR stripped, sscanf.
bool ReadNaive(const std::string& path, NaiveFile& out) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  char line[1024];
  bool sized = false;
  int nnz = 0;
  while (std::fgets(line, sizeof line, f)) {
    line[std::strcspn(line, "\r\n")] = 0;
    if (line[0] == '%') {
      if (std::strstr(line, "MatrixMarket")) out.symmetric = std::strstr(line, "symmetric") != nullptr;
      continue;
    }
    if (!sized) {
      if (std::sscanf(line, "%d %d %d", &out.rows, &out.cols, &nnz) == 3) sized = true;
      continue;
    }
    int i, j;
    double v;
    if (std::sscanf(line, "%d %d %lf", &i, &j, &v) == 3)
      out.entries.push_back({static_cast<unsigned>(i - 1), static_cast<unsigned>(j - 1), v});
  }
  std::fclose(f);
  return sized && static_cast<int>(out.entries.size()) == nnz;
}

}  // namespace

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
  std::sort(names.begin(), names.end());
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = dir + "/" + name;
    NaiveFile ref;
    ASSERT_TRUE(ReadNaive(path, ref));
    QORMtxSparseMatrix A;
    std::string error;
    ASSERT_TRUE(QORMtxMatrixMarket::Read(path.c_str(), A, &error)) << error;
    std::string why;
    ASSERT_TRUE(A.CheckInvariants(&why)) << why;
    ASSERT_EQ(A.NumberOfRows(), ref.rows);
    ASSERT_EQ(A.NumberOfColumns(), ref.cols);
    ASSERT_EQ(A.Diagonal() != nullptr, ref.symmetric);
    // Lower triangle only, no duplicates: the stored off-diagonal count is the listed off-diagonal count.
    int offDiagonal = 0;
    for (const auto& e : ref.entries) {
      ASSERT_GE(e.m_row, e.m_col);
      offDiagonal += e.m_row != e.m_col;
    }
    EXPECT_EQ(A.NumberOfNonzeros(), offDiagonal);
    EXPECT_TRUE(A.IsSymmetric());
    if (ref.rows <= 2100) {
      ExpectDenseEq(RawDense(A), Reference(ref.rows, ref.cols, ref.entries, ref.symmetric));
    } else {
      // Large: every listed entry at its position, compared through the walk without a dense copy.
      std::map<std::pair<unsigned, unsigned>, double> listed;
      for (const auto& e : ref.entries) listed[{e.m_row, e.m_col}] += e.m_value;
      int walked = 0;
      for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
        const QORMtxSparseMatrixEntry e = it.CurrentEntry();
        const auto found = listed.find({e.m_row, e.m_col});
        const double want = found == listed.end() ? 0.0 : found->second;  // unlisted diagonal positions are 0.0
        ASSERT_EQ(e.m_value, want) << e.m_row << ", " << e.m_col;
        walked += found != listed.end();
      }
      EXPECT_EQ(walked, static_cast<int>(listed.size()));
    }
  }
}
