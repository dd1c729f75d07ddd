// Sparse iteration and what is built on it: entry lists, blocks, dense conversion, elimination, pattern expansion.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <tuple>

#include "QORMtxDenseMatrix.h"
#include "QORMtxEntryList.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixDualIterator.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"
#include "mem_Alloc.h"
#include "qormtx_death.h"
#include "naive_matrix.h"
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

// Copies and frees an array the matrix allocated.
template <typename T>
std::vector<T> Take(T* p, int n) {
  std::vector<T> out(p, p + n);
  mem_Free(p);
  return out;
}
std::vector<Triple> Take(QORMtxSparseMatrixEntry* e, int n) {
  std::vector<Triple> out;
  for (int i = 0; i < n; ++i) out.emplace_back(e[i].m_row, e[i].m_col, e[i].m_value);
  mem_Free(e);
  return out;
}

// The symmetric 3 × 3 matrix whose only stored entry is (2, 0) = 5.
void SymmetricExample(QORMtxSparseMatrix& A) { Assemble(A, 3, 3, {{2, 0, 5.0}}, true); }

}  // namespace

// ---- The walk ----

// The order within rows is checked on random matrices below; here the ends of the walk.
TEST(SparseIterator, SymmetricRowsOpenWithTheDiagonalAndTheEndsOfTheWalk) {
  QORMtxSparseMatrix S, U, collecting(4, 4), empty(4, 4);
  SymmetricExample(S);
  EXPECT_TRUE(QORMtxSparseMatrixIterator(S).IsSymmetric());
  EXPECT_EQ(Walk(S), (std::vector<Triple>{{0, 0, 0.0}, {1, 1, 0.0}, {2, 2, 0.0}, {2, 0, 5.0}}));

  Assemble(U, 3, 3, {{1, 2, 1.0}, {1, 0, 2.0}});  // empty rows are skipped
  QORMtxSparseMatrixIterator it(U);
  EXPECT_FALSE(it.IsSymmetric());
  for (int k = 0; k < 3; ++k) it.Next();  // past the end: stays done
  EXPECT_TRUE(it.IsDone() && it.Row() == 3);
  it.First();
  EXPECT_EQ(it.CurrentEntry().m_col, 0u);

  empty.EndAssembly(true);
  for (QORMtxSparseMatrix* A : {&collecting, &empty}) {  // null matrices are done at once
    QORMtxSparseMatrixIterator none(*A);
    none.Next();
    EXPECT_TRUE(none.IsDone());
  }
}

// One random matrix per storage, walked, copied into a core matrix and cut into a block.
TEST(SparseIterator, RandomMatricesWalkedCopiedAndCut) {
  for (bool symmetric : {false, true}) {
    std::mt19937_64 rng = ref::Rng(symmetric ? 31 : 32);
    const int rows = 41, cols = symmetric ? 41 : 17;
    const auto entries = RandomEntries(rng, rows, cols, 250, symmetric, {0, 7, 40});
    QORMtxSparseMatrix A, B;
    Assemble(A, rows, cols, entries, symmetric);
    const Dense full = Reference(rows, cols, entries, symmetric);
    // Row by row in the stored order (checked sorted by the invariants), a symmetric row opened by its diagonal.
    std::vector<Triple> stored;
    for (int r = 0; r < rows; ++r) {
      if (symmetric) stored.emplace_back(r, r, A.Diagonal()[r]);
      for (unsigned k = RowP(A)[r]; k < RowP(A)[r + 1]; ++k) stored.emplace_back(r, ColI(A)[k], Data(A)[k]);
    }
    ExpectValid(A);
    EXPECT_EQ(Walk(A), stored);
    EXPECT_EQ(static_cast<int>(stored.size()), A.NumberOfEntries());
    ExpectDenseEq(RawDense(A), full);

    QORMtxMatrix M(3, 3);  // the old shape goes
    QORMtxUtilities::Sparse2Core(A, M);
    EXPECT_EQ(M.Type(), QORMtxMatrix::UNKNOWN);
    ExpectDenseEq(naive::FromMatrix(M), full);

    QORBasVector<int> rowList, colList;
    for (int i = 0; i < 12; ++i) rowList.push_back(static_cast<int>(rng() % rows));
    for (int j = 0; j < 9; ++j) colList.push_back(static_cast<int>(rng() % cols));
    A.GetBlock(rowList, colList, B);
    ExpectValid(B);
    // The block grows with its entries: compare within the listed lengths, the first listing of an index winning.
    const Dense got = RawDense(B);
    for (int i = 0; i < rowList.size(); ++i)
      for (int j = 0; j < colList.size(); ++j) {
        bool first = true;
        for (int k = 0; k < i; ++k) first = first && rowList[k] != rowList[i];
        for (int k = 0; k < j; ++k) first = first && colList[k] != colList[j];
        const double want = first ? full(rowList[i], colList[j]) : 0.0;
        ASSERT_EQ(i < got.rows && j < got.cols ? got(i, j) : 0.0, want) << "block (" << i << ", " << j << ")";
      }
  }
  QORMtxMatrix M(2, 2);
  QORMtxUtilities::Sparse2Core(QORMtxSparseMatrix(0, 4), M);
  EXPECT_TRUE(M.IsNull());
}

// ---- The dual walk ----

using DualWalk = sparse_test::OrdinalStore;

TEST_F(DualWalk, MergesByOrdinalsAndPairsEqualPositions) {
  // A on ordinals {10, 20, 30}, B on {20, 30, 40}: A(20,30) and B(20,30) meet; the rest stand alone.
  QORMtxSparseMatrix A, B, none(2, 2);
  Assemble(A, 3, 3, {{0, 0, 1.0}, {1, 2, 2.0}, {2, 1, 3.0}});
  Assemble(B, 3, 3, {{0, 1, 5.0}, {2, 2, 7.0}, {0, 0, 4.0}});
  A.SetDomain(Set({10, 20, 30}), Set({10, 20, 30}));
  B.SetDomain(Set({20, 30, 40}), Set({20, 30, 40}));
  std::vector<std::tuple<int, int, double>> diff;
  for (QORMtxSparseMatrixDualIterator it(A, B); !it.IsDone(); it.Next())
    diff.emplace_back(it.Row(), it.Column(),
                      (it.HasFirst() ? it.Value1() : 0.0) - (it.HasSecond() ? it.Value2() : 0.0));
  EXPECT_EQ(diff, (std::vector<std::tuple<int, int, double>>{
                      {10, 10, 1.0}, {20, 20, -4.0}, {20, 30, -3.0}, {30, 20, 3.0}, {40, 40, -7.0}}));
  // An empty second matrix: every position is A's, the second side reads as the largest ordinal and zero.
  int count = 0;
  for (QORMtxSparseMatrixDualIterator it(A, none); !it.IsDone(); it.Next(), ++count) {
    EXPECT_TRUE(it.HasFirst());
    EXPECT_TRUE(it.Row2() == 2147483647 && it.Column2() == 2147483647 && it.Value2() == 0.0);
  }
  EXPECT_EQ(count, 3);
}

TEST_F(DualWalk, PreconditionsOfTheWalksAndSparse2Dense) {
  QORMtxSparseMatrix A, B, target;
  Assemble(A, 2, 2, {{1, 0, 1.0}});
  QORMtxSparseMatrixIterator it(A);
  it.Next();
  EXPECT_QORMTX_ASSERTION(it.CurrentEntry(), "!IsDone()");
  SymmetricExample(target);
  EXPECT_QORMTX_ASSERTION(A.GetBlock({0}, {0}, target), "A.IsNull()");
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrixDualIterator(A, B),
                          "!mtx1.RowCSetID().IsNull() && !mtx1.ColumnCSetID().IsNull()");
  A.SetDomain(Set({1, 2}), Set({1, 2, 3}));
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrixDualIterator(A, B),
                          "m_rdom1.size() == mtx1.NumberOfRows() && m_cdom1.size() == mtx1.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrixDualIterator(B, A),
                          "m_rdom2.size() == mtx2.NumberOfRows() && m_cdom2.size() == mtx2.NumberOfColumns()");

  // Sparse2Dense writes the leading block of a larger stored matrix and leaves the rest alone.
  QORMtxDenseMatrix D(ref::Store(m_db.ContextID(), Dense(4, 5, -1.0), 2, 2));
  QORMtxSparseMatrix S;
  SymmetricExample(S);
  QORMtxUtilities::Sparse2Dense(S, D);
  const Dense got = ref::Load(D), expected = RawDense(S);
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got(i, j), i < 3 && j < 3 ? expected(i, j) : -1.0) << i << ", " << j;
  QORMtxSparseMatrix big;
  Assemble(big, 5, 2, {{4, 0, 1.0}});
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::Sparse2Dense(big, D),
                          "nrows <= dense.NumberOfRows() && ncols <= dense.NumberOfColumns()");
}

// ---- Entry lists and structure ----

TEST(SparseEntries, EntryListsNontrivialRowsAndColumnsEntryOrderAndABlock) {
  QORMtxSparseMatrix S, U, A;
  SymmetricExample(S);  // symmetric storage lists the diagonal, then each entry with its mirror first
  int n = -1;
  QORMtxSparseMatrixEntry* e = S.GetEntries(n);
  EXPECT_EQ(Take(e, n), (std::vector<Triple>{{0, 0, 0.0}, {1, 1, 0.0}, {2, 2, 0.0}, {0, 2, 5.0}, {2, 0, 5.0}}));
  Assemble(U, 2, 3, {{1, 2, 1.0}, {0, 1, 2.0}});
  e = U.GetEntries(n);
  EXPECT_EQ(Take(e, n), (std::vector<Triple>{{0, 1, 2.0}, {1, 2, 1.0}}));
  EXPECT_EQ(QORMtxSparseMatrix().GetEntries(n), nullptr);
  EXPECT_EQ(n, 0);

  Assemble(A, 5, 6, {{3, 5, 1.0}, {1, 0, 1.0}, {3, 0, 1.0}});
  unsigned* p = A.FindNontrivialRows(n);
  EXPECT_EQ(Take(p, n), (std::vector<unsigned>{1, 3}));
  p = A.FindNontrivialColumns(n);
  EXPECT_EQ(Take(p, n), (std::vector<unsigned>{0, 5}));
  p = S.FindNontrivialRows(n);  // the diagonal of symmetric storage does not count
  EXPECT_EQ(Take(p, n), (std::vector<unsigned>{2}));

  QORMtxSparseMatrix E;  // a block of symmetric storage is unsymmetric: (2,0) = 5 and the explicit zero (0,0)
  S.GetBlock({2, 0}, {0}, E);
  ASSERT_TRUE(E.IsAssembled());
  EXPECT_TRUE(E.Diagonal() == nullptr && E.NumberOfNonzeros() == 2);
  ExpectDenseEq(RawDense(E), RowMajor(2, 1, {5.0, 0.0}));

  const QORMtxSparseMatrixEntry a{1, 2, 5.0}, b{1, 2, -1.0}, c{1, 3, 0.0}, big{0x80000000u, 0, 0.0};
  EXPECT_TRUE(a == b && !(a != b));  // positions only
  EXPECT_TRUE(a < c && !(c < a));
  EXPECT_TRUE(big < a);  // compared as signed
  QORMtxEntryList list;  // ...and so sorted
  for (const auto& entry : {c, big, a}) list.Append(entry);
  list.Sort();
  EXPECT_TRUE(list.ConstGet(0).m_row == 0x80000000u && list.ConstGet(2).m_col == 3u);
}

// ---- Conversions ----

TEST(SparseConversions, EliminateRowsAndColumns) {
  const naive::Dense a = naive::Random(4, 5, 3);
  std::unique_ptr<QORMtxMatrix> B(QORMtxUtilities::EliminateRowsCols(naive::ToMatrix(a), {1}, {0, 3}));
  ExpectDenseEq(naive::FromMatrix(*B), naive::Pick(a, {0, 2, 3}, {1, 2, 4}));

  QORMtxMatrix D = naive::Diagonal({1.0, 2.0, 3.0, 4.0});
  std::unique_ptr<QORMtxMatrix> same(QORMtxUtilities::EliminateRowsCols(D, {2}, {2}));
  EXPECT_TRUE(same->Type() == QORMtxMatrix::DIAG && same->value(2, 2) == 4.0);
  std::unique_ptr<QORMtxMatrix> shifted(QORMtxUtilities::EliminateRowsCols(D, {0}, {3}));
  EXPECT_EQ(shifted->Type(), QORMtxMatrix::UNKNOWN);  // D(1, 1) lands off the diagonal
  ExpectDenseEq(naive::FromMatrix(*shifted), RowMajor(3, 3, {0, 2, 0, 0, 0, 3, 0, 0, 0}));
  std::unique_ptr<QORMtxMatrix> none(QORMtxUtilities::EliminateRowsCols(D, {0, 1, 2, 3}, {}));
  EXPECT_TRUE(none->IsNull());
}

TEST(SparseConversions, ExpandSymmetricPattern) {
  QORMtxSparseMatrix A;
  Assemble(A, 4, 4, {{2, 0, 1.0}, {3, 0, 1.0}, {3, 2, 1.0}, {1, 1, 1.0}}, true);
  QORBasVector<unsigned> rowP;
  QORBasVector<int> colI;
  testing::internal::CaptureStdout();
  QORMtxUtilities::ExpandSymmetric(4, Peer::RowP(A), Peer::ColI(A), rowP, colI);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "*** QORMtxUtilities::Desymmetrize: numRows=4, nnz=3\n");
  EXPECT_EQ(rowP, (QORBasVector<unsigned>{0, 2, 2, 4, 6}));
  EXPECT_EQ(colI, (QORBasVector<int>{2, 3, 0, 3, 0, 2}));
}

TEST(SparsePrinting, TableIsTheDenseMatrixPrintAndTheListingNamesTheMatrix) {
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

  const std::string path = testing::TempDir() + "sparse_listing.txt";
  A.Print("K", path.c_str(), 4, 0.0);
  const std::string text = Slurp(std::fopen(path.c_str(), "r"));
  std::remove(path.c_str());
  for (const char* part : {"----- K -----", "Number of rows   : 3", "Number of entries: 4", "Row", "5.0"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " not in\n" << text;
}
