// Sparse iteration and what is built on it: entry lists, blocks, dense conversion, elimination, pattern expansion.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <tuple>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixDualIterator.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"
#include "QORSimCollection.h"
#include "QORSimDatabase.h"
#include "mem_Alloc.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

using Triple = std::tuple<unsigned, unsigned, double>;

std::vector<Triple> Walk(const QORMtxSparseMatrix& A) {
  std::vector<Triple> out;
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    out.emplace_back(e.m_row, e.m_col, e.m_value);
  }
  return out;
}

// The symmetric 3 × 3 matrix whose only stored entry is (2, 0) = 5.
void SymmetricExample(QORMtxSparseMatrix& A) { Assemble(A, 3, 3, {{2, 0, 5.0}}, true, false); }

Dense FromCore(const QORMtxMatrix& M) {
  Dense d(M.NumberOfRows(), M.NumberOfColumns());
  for (int i = 0; i < d.rows; ++i)
    for (int j = 0; j < d.cols; ++j) d(i, j) = M.value(i, j);
  return d;
}

}  // namespace

// ---- The walk ----

TEST(SparseIterator, SymmetricStorageYieldsEveryDiagonalThenTheLowerEntries) {
  QORMtxSparseMatrix A;
  SymmetricExample(A);
  QORMtxSparseMatrixIterator it(A);
  EXPECT_TRUE(it.IsSymmetric());
  EXPECT_EQ(Walk(A), (std::vector<Triple>{{0, 0, 0.0}, {1, 1, 0.0}, {2, 2, 0.0}, {2, 0, 5.0}}));
}

TEST(SparseIterator, UnsymmetricStorageSkipsEmptyRows) {
  QORMtxSparseMatrix A;
  Assemble(A, 3, 3, {{1, 2, 1.0}, {1, 0, 2.0}}, false, false);
  QORMtxSparseMatrixIterator it(A);
  EXPECT_FALSE(it.IsSymmetric());
  EXPECT_EQ(Walk(A), (std::vector<Triple>{{1, 0, 2.0}, {1, 2, 1.0}}));
  it.Next();
  it.Next();
  EXPECT_TRUE(it.IsDone());
  EXPECT_EQ(it.Row(), 3);
  it.Next();  // past the end: stays done
  EXPECT_TRUE(it.IsDone());
  it.First();
  EXPECT_EQ(std::get<1>(Walk(A)[0]), it.CurrentEntry().m_col);
}

TEST(SparseIterator, NullMatricesAreDoneAtOnce) {
  QORMtxSparseMatrix collecting(4, 4);
  EXPECT_TRUE(QORMtxSparseMatrixIterator(collecting).IsDone());
  QORMtxSparseMatrix empty(4, 4);
  empty.EndAssembly(true);
  QORMtxSparseMatrixIterator it(empty);
  EXPECT_TRUE(it.IsDone());
  it.Next();
  EXPECT_TRUE(it.IsDone());
}

TEST(SparseIterator, RandomWalkCoversTheStoredMatrix) {
  for (bool symmetric : {false, true}) {
    std::mt19937 rng = SeededRng(symmetric ? 31 : 32);
    const int rows = 41, cols = symmetric ? 41 : 17;
    const auto entries = RandomEntries(rng, rows, cols, 250, symmetric, {0, 7, 40});
    QORMtxSparseMatrix A;
    Assemble(A, rows, cols, entries, symmetric, false);
    Dense walked(rows, cols);
    int count = 0, lastRow = -1, lastStored = -1;
    for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next(), ++count) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      const int r = static_cast<int>(e.m_row), c = static_cast<int>(e.m_col);
      // Rows ascend; symmetric storage opens every row with its diagonal; stored columns ascend (below the
      // diagonal in symmetric storage).
      ASSERT_GE(r, lastRow);
      if (r != lastRow) {
        lastStored = -1;
        if (symmetric) {
          ASSERT_EQ(c, r);
          lastRow = r;
          walked(r, c) = e.m_value;
          continue;
        }
      }
      ASSERT_GT(c, lastStored);
      if (symmetric) {
        ASSERT_LT(c, r);
      }
      lastRow = r;
      lastStored = c;
      walked(r, c) = e.m_value;
      if (symmetric) walked(c, r) = e.m_value;
    }
    EXPECT_EQ(count, A.NumberOfEntries());
    ExpectDenseEq(walked, Reference(rows, cols, entries, symmetric));
  }
}

TEST(SparseIteratorDeath, CurrentEntryPastTheEnd) {
  QORMtxSparseMatrix A;
  Assemble(A, 2, 2, {{0, 0, 1.0}}, false, false);
  QORMtxSparseMatrixIterator it(A);
  it.Next();
  EXPECT_QORMTX_ASSERTION(it.CurrentEntry(), "!IsDone()");
}

// ---- The dual walk ----

class DualWalk : public testing::Test {
 protected:
  void SetUp() override {
    m_db.CreateInMemory("sparse_dual");
    m_dofs = QORSimCollection(QORSimContext(m_db.ContextID()).CreateCollection(100)).ID();
  }
  void TearDown() override { m_db.Close(); }
  QORSimCSetID Set(std::vector<int> ords) {
    return QORSimCollection(m_dofs).CreateOrderedCSet(ords.data(), static_cast<int>(ords.size()));
  }
  QORSimDatabase m_db;
  QORSimCollectionID m_dofs;
};

TEST_F(DualWalk, MergesByOrdinalsAndPairsEqualPositions) {
  // A on ordinals {10, 20, 30}, B on {20, 30, 40}: A(20,30) and B(20,30) meet; the rest stand alone.
  QORMtxSparseMatrix A, B;
  Assemble(A, 3, 3, {{0, 0, 1.0}, {1, 2, 2.0}, {2, 1, 3.0}}, false, false);
  Assemble(B, 3, 3, {{0, 1, 5.0}, {2, 2, 7.0}, {0, 0, 4.0}}, false, false);
  A.SetDomain(Set({10, 20, 30}), Set({10, 20, 30}));
  B.SetDomain(Set({20, 30, 40}), Set({20, 30, 40}));
  std::vector<std::tuple<int, int, double>> diff;
  for (QORMtxSparseMatrixDualIterator it(A, B); !it.IsDone(); it.Next())
    diff.emplace_back(it.Row(), it.Column(),
                      (it.HasFirst() ? it.Value1() : 0.0) - (it.HasSecond() ? it.Value2() : 0.0));
  EXPECT_EQ(diff, (std::vector<std::tuple<int, int, double>>{
                      {10, 10, 1.0}, {20, 20, -4.0}, {20, 30, -3.0}, {30, 20, 3.0}, {40, 40, -7.0}}));
}

TEST_F(DualWalk, EmptySecondMatrix) {
  QORMtxSparseMatrix A, B(2, 2);
  Assemble(A, 2, 2, {{1, 0, 1.0}, {0, 1, 2.0}}, false, false);
  A.SetDomain(Set({3, 5}), Set({3, 5}));
  int count = 0;
  for (QORMtxSparseMatrixDualIterator it(A, B); !it.IsDone(); it.Next(), ++count) {
    EXPECT_TRUE(it.HasFirst());
    EXPECT_EQ(it.Row2(), 2147483647);
    EXPECT_EQ(it.Column2(), 2147483647);
    EXPECT_EQ(it.Value2(), 0.0);
  }
  EXPECT_EQ(count, 2);
}

TEST_F(DualWalk, Preconditions) {
  QORMtxSparseMatrix A, B;
  Assemble(A, 2, 2, {{1, 0, 1.0}}, false, false);
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrixDualIterator(A, B),
                          "!mtx1.RowCSetID().IsNull() && !mtx1.ColumnCSetID().IsNull()");
  A.SetDomain(Set({1, 2}), Set({1, 2, 3}));
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrixDualIterator(A, B),
                          "m_rdom1.size() == mtx1.NumberOfRows() && m_cdom1.size() == mtx1.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrixDualIterator(B, A),
                          "m_rdom2.size() == mtx2.NumberOfRows() && m_cdom2.size() == mtx2.NumberOfColumns()");
}

TEST_F(DualWalk, Sparse2DenseWritesTheLeadingBlockOnly) {
  QORSimContext context(m_db.ContextID());
  const QORSimCSetID rows = QORSimCollection(context.CreateCollection(4)).BiggestCSetID();
  const QORSimCSetID cols = QORSimCollection(context.CreateCollection(5)).BiggestCSetID();
  QORMtxDenseMatrix D(QORMtxUtilities::Create2DDistribution(rows, cols, 2, 2));
  std::vector<double> all(20, -1.0);
  D.SetValues(0, 3, 0, 4, all.data());
  QORMtxSparseMatrix A;
  SymmetricExample(A);
  QORMtxUtilities::Sparse2Dense(A, D);
  D.GetValues(0, 3, 0, 4, all.data());
  const Dense ref = RawDense(A);
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(all[j * 4 + i], i < 3 && j < 3 ? ref(i, j) : -1.0) << i << ", " << j;
  QORMtxSparseMatrix big;
  Assemble(big, 5, 2, {{4, 0, 1.0}}, false, false);
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::Sparse2Dense(big, D),
                          "nrows <= dense.NumberOfRows() && ncols <= dense.NumberOfColumns()");
}

// ---- Entry lists and structure ----

TEST(SparseEntries, SymmetricStorageGivesMirrorThenEntry) {
  QORMtxSparseMatrix A;
  SymmetricExample(A);
  int count = -1;
  QORMtxSparseMatrixEntry* e = A.GetEntries(count);
  ASSERT_EQ(count, 5);
  const unsigned expect[5][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 2}, {2, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(e[i].m_row, expect[i][0]);
    EXPECT_EQ(e[i].m_col, expect[i][1]);
  }
  EXPECT_EQ(e[3].m_value, 5.0);
  EXPECT_EQ(e[4].m_value, 5.0);
  mem_Free(e);

  QORMtxSparseMatrix U;
  Assemble(U, 2, 3, {{1, 2, 1.0}, {0, 1, 2.0}}, false, false);
  e = U.GetEntries(count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(e[0].m_col, 1u);
  EXPECT_EQ(e[1].m_value, 1.0);
  mem_Free(e);
  EXPECT_EQ(QORMtxSparseMatrix().GetEntries(count), nullptr);
  EXPECT_EQ(count, 0);
}

TEST(SparseEntries, NontrivialRowsAndColumns) {
  QORMtxSparseMatrix A;
  Assemble(A, 5, 6, {{3, 5, 1.0}, {1, 0, 1.0}, {3, 0, 1.0}}, false, false);
  int n = -1;
  unsigned* rows = A.FindNontrivialRows(n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(rows[0], 1u);
  EXPECT_EQ(rows[1], 3u);
  mem_Free(rows);
  unsigned* cols = A.FindNontrivialColumns(n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cols[0], 0u);
  EXPECT_EQ(cols[1], 5u);
  mem_Free(cols);
  // Symmetric storage: the diagonal does not count.
  QORMtxSparseMatrix S;
  SymmetricExample(S);
  rows = S.FindNontrivialRows(n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(rows[0], 2u);
  mem_Free(rows);
}

TEST(SparseEntries, EntryOrderAndEquality) {
  const QORMtxSparseMatrixEntry a{1, 2, 5.0}, b{1, 2, -1.0}, c{1, 3, 0.0}, big{0x80000000u, 0, 0.0};
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a != b);
  EXPECT_TRUE(a < c);
  EXPECT_FALSE(c < a);
  EXPECT_TRUE(big < a);  // compared as signed
  QORMtxEntryList list;
  list.Append(c);
  list.Append(big);
  list.Append(a);
  list.Sort();
  EXPECT_EQ(list.ConstGet(0).m_row, 0x80000000u);
  EXPECT_EQ(list.ConstGet(2).m_col, 3u);
}

// ---- Blocks ----

TEST(SparseBlocks, SymmetricExampleBlock) {
  QORMtxSparseMatrix A;
  SymmetricExample(A);
  QORMtxSparseMatrix B;
  A.GetBlock({2, 0}, {0}, B);
  ASSERT_TRUE(B.IsAssembled());
  ASSERT_EQ(B.NumberOfRows(), 2);
  ASSERT_EQ(B.NumberOfColumns(), 1);
  EXPECT_EQ(B.Diagonal(), nullptr);
  EXPECT_EQ(B.NumberOfNonzeros(), 2);  // (2,0) = 5 and the explicit zero diagonal (0,0)
  Dense ref(2, 1);
  ref(0, 0) = 5.0;
  ExpectDenseEq(RawDense(B), ref);
}

TEST(SparseBlocks, RandomBlocksMatchTheDenseReference) {
  for (bool symmetric : {false, true}) {
    std::mt19937 rng = SeededRng(symmetric ? 41 : 42);
    const int n = 30;
    const auto entries = RandomEntries(rng, n, n, 300, symmetric);
    QORMtxSparseMatrix A;
    Assemble(A, n, n, entries, symmetric, false);
    const Dense full = Reference(n, n, entries, symmetric);
    QORBasVector<int> rows, cols;
    for (int i = 0; i < 12; ++i) rows.push_back(static_cast<int>(rng() % n));
    for (int j = 0; j < 9; ++j) cols.push_back(static_cast<int>(rng() % n));
    QORMtxSparseMatrix B;
    A.GetBlock(rows, cols, B);
    std::string why;
    ASSERT_TRUE(B.CheckInvariants(&why)) << why;
    // The block grows with its entries: compare within the listed lengths, the first listing of an index winning.
    const Dense got = RawDense(B);
    for (int i = 0; i < rows.size(); ++i)
      for (int j = 0; j < cols.size(); ++j) {
        int fi = i, fj = j;
        for (int k = 0; k < i; ++k)
          if (rows[k] == rows[i]) fi = std::min(fi, k);
        for (int k = 0; k < j; ++k)
          if (cols[k] == cols[j]) fj = std::min(fj, k);
        const double want = (fi == i && fj == j) ? full(rows[i], cols[j]) : 0.0;
        const double have = i < got.rows && j < got.cols ? got(i, j) : 0.0;
        ASSERT_EQ(have, want) << "block (" << i << ", " << j << ")";
      }
  }
}

TEST(SparseBlocksDeath, TargetMustBeNull) {
  QORMtxSparseMatrix A, B;
  SymmetricExample(A);
  SymmetricExample(B);
  EXPECT_QORMTX_ASSERTION(A.GetBlock({0}, {0}, B), "A.IsNull()");
}

// ---- Conversions ----

TEST(SparseConversions, Sparse2CoreFillsBothTriangles) {
  for (bool symmetric : {false, true}) {
    std::mt19937 rng = SeededRng(symmetric ? 51 : 52);
    const int rows = 19, cols = symmetric ? 19 : 8;
    const auto entries = RandomEntries(rng, rows, cols, 90, symmetric);
    QORMtxSparseMatrix A;
    Assemble(A, rows, cols, entries, symmetric, false);
    QORMtxMatrix M(3, 3);
    QORMtxUtilities::Sparse2Core(A, M);
    EXPECT_EQ(M.Type(), QORMtxMatrix::UNKNOWN);
    ExpectDenseEq(FromCore(M), Reference(rows, cols, entries, symmetric));
  }
  QORMtxMatrix M(2, 2);
  QORMtxUtilities::Sparse2Core(QORMtxSparseMatrix(0, 4), M);
  EXPECT_TRUE(M.IsNull());
}

TEST(SparseConversions, EliminateRowsAndColumns) {
  QORMtxMatrix A(4, 5);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 5; ++j) A.value(i, j) = 10.0 * i + j;
  std::unique_ptr<QORMtxMatrix> B(QORMtxUtilities::EliminateRowsCols(A, {1}, {0, 3}));
  ASSERT_EQ(B->NumberOfRows(), 3);
  ASSERT_EQ(B->NumberOfColumns(), 3);
  const int keptRows[] = {0, 2, 3}, keptCols[] = {1, 2, 4};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(B->value(i, j), A.value(keptRows[i], keptCols[j]));

  QORMtxMatrix D(4, 4, QORMtxMatrix::DIAG);
  for (int i = 0; i < 4; ++i) D.value(i, i) = i + 1.0;
  std::unique_ptr<QORMtxMatrix> same(QORMtxUtilities::EliminateRowsCols(D, {2}, {2}));
  EXPECT_EQ(same->Type(), QORMtxMatrix::DIAG);
  EXPECT_EQ(same->value(2, 2), 4.0);
  std::unique_ptr<QORMtxMatrix> shifted(QORMtxUtilities::EliminateRowsCols(D, {0}, {3}));
  EXPECT_EQ(shifted->Type(), QORMtxMatrix::UNKNOWN);
  EXPECT_EQ(shifted->value(0, 1), 2.0);  // D(1, 1) lands off the diagonal
  EXPECT_EQ(shifted->value(0, 0), 0.0);
  std::unique_ptr<QORMtxMatrix> none(QORMtxUtilities::EliminateRowsCols(D, {0, 1, 2, 3}, {}));
  EXPECT_TRUE(none->IsNull());
}

TEST(SparseConversions, ExpandSymmetricPattern) {
  QORMtxSparseMatrix A;
  Assemble(A, 4, 4, {{2, 0, 1.0}, {3, 0, 1.0}, {3, 2, 1.0}, {1, 1, 1.0}}, true, false);
  QORBasVector<unsigned> rowP;
  QORBasVector<int> colI;
  testing::internal::CaptureStdout();
  QORMtxUtilities::ExpandSymmetric(4, Peer::RowP(A), Peer::ColI(A), rowP, colI);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "*** QORMtxUtilities::Desymmetrize: numRows=4, nnz=3\n");
  EXPECT_EQ(rowP, (QORBasVector<unsigned>{0, 2, 2, 4, 6}));
  EXPECT_EQ(colI, (QORBasVector<int>{2, 3, 0, 3, 0, 2}));
}

namespace {
std::string Slurp(FILE* f) {
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}
}  // namespace

TEST(SparsePrinting, DenseTableIsTheDenseMatrixPrint) {
  QORMtxSparseMatrix A;
  SymmetricExample(A);
  QORMtxMatrix M(3, 3);
  M.Assign(0.0);
  M.value(2, 0) = M.value(0, 2) = 5.0;
  FILE* expected = std::tmpfile();
  M.Print2File(expected, 12, 4, 1e-12, "S");
  FILE* got = std::tmpfile();
  A.PrintTable("S", got, 12, 4, 1e-12);
  EXPECT_EQ(Slurp(got), Slurp(expected));
}

// ---- Listing ----

TEST(SparsePrinting, EntryListing) {
  QORMtxSparseMatrix A;
  SymmetricExample(A);
  const std::string path = testing::TempDir() + "sparse_listing.txt";
  A.Print("K", path.c_str(), 4, 0.0);
  FILE* f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_NE(text.find("----- K -----"), std::string::npos) << text;
  EXPECT_NE(text.find("Number of rows   : 3"), std::string::npos) << text;
  EXPECT_NE(text.find("Number of entries: 4"), std::string::npos) << text;
  EXPECT_NE(text.find("Row"), std::string::npos) << text;
  EXPECT_NE(text.find("5.0"), std::string::npos) << text;
}
