// Sparse matrix assembly: both paths against a dense reference and each other, stored-form invariants, queries,
// preconditions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "QORFsmElementDofs.h"
#include "QORMtxSparseMatrix.h"
#include "omi_Set.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

std::string PrintArraysText(const QORMtxSparseMatrix& A, const char* title) {
  FILE* f = std::tmpfile();
  A.PrintArrays(title, f);
  return Slurp(f);
}

// Assembles the list on the sorting and the bucket path: the same valid arrays, and the dense reference when the
// shape is small enough to hold densely.
void ExpectBothPaths(int rows, int cols, const std::vector<QORMtxSparseMatrixEntry>& entries, bool symmetric) {
  QORMtxSparseMatrix sorted, bucketed;
  Assemble(sorted, rows, cols, entries, symmetric);
  Assemble(bucketed, rows, cols, entries, symmetric, true);
  ASSERT_TRUE(sorted.IsAssembled() && bucketed.IsAssembled());
  ExpectValid(sorted);
  ExpectValid(bucketed);
  EXPECT_EQ(Arrays(bucketed), Arrays(sorted));
  EXPECT_EQ(Diag(bucketed), Diag(sorted));
  EXPECT_EQ(sorted.Diagonal() != nullptr, symmetric);
  if (symmetric) {
    EXPECT_EQ(sorted.NumberOfEntries(), sorted.NumberOfNonzeros() + rows);
    EXPECT_EQ(Peer::SymFlag(sorted), QORMtxSparseMatrix::e_symmetric);
    EXPECT_TRUE(sorted.IsSymmetric());
  }
  if (static_cast<double>(rows) * cols <= 1e6)
    ExpectDenseEq(RawDense(sorted), Reference(rows, cols, entries, symmetric));
}

}  // namespace

// Past 65536 entries the list is bucketed in place, in passes over blocks of rows: the large cases have rows of
// unequal lengths, empty rows at block edges and one long row.
TEST(SparseAssembly, BothPathsMatchTheDenseReferenceAndEachOther) {
  const struct {
    int rows, cols, count;
    bool symmetric;
    std::vector<int> emptyRows;
  } cases[] = {{37, 23, 400, false, {0, 5, 36}},
               {29, 29, 300, true, {3}},
               {64, 64, 2000, false, {}},
               {64, 64, 2000, true, {}},
               {9000, 40, 90000, false, {0, 255, 256, 8999}},
               {9000, 9000, 90000, true, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << (c.symmetric ? " symmetric" : ""));
    std::mt19937_64 rng = ref::Rng(c.rows + c.symmetric);
    auto entries = RandomEntries(rng, c.rows, c.cols, c.count, c.symmetric, c.emptyRows);
    if (c.rows > 64 && !c.symmetric)
      for (unsigned col = 0; col < 40; ++col) entries.push_back({4096, col, 1.0});
    ExpectBothPaths(c.rows, c.cols, entries, c.symmetric);
  }
  // A row longer than the insertion-sort cut-off, filled in descending column order with duplicates; its columns
  // spread wider than four per entry, so that the rows are sorted one by one.
  std::vector<QORMtxSparseMatrixEntry> entries;
  for (int c = 199; c >= 0; --c) entries.push_back({1, static_cast<unsigned>(9 * c), 1.0 + c});
  for (int c = 0; c < 200; c += 7) entries.push_back({1, static_cast<unsigned>(9 * c), 0.5});
  ExpectBothPaths(3, 1800, entries, false);

  // A growing shape whose last column is the largest an int count can reach (a fixed overflow).
  for (bool bucket : {false, true}) {
    AssemblyPath path(bucket);
    QORMtxSparseMatrix A;
    A.BeginAssembly(true);
    A.AddData(0, 2147483646u, 1.0, true);
    A.AddData(1, 5, -2.0, true);
    A.AddData(0, 2147483646u, 0.5, true);
    testing::internal::CaptureStdout();
    A.EndAssembly(false);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(A.NumberOfColumns(), 2147483647);
    ExpectArrays(A, {0, 1, 2}, {2147483646, 5}, {1.5, -2.0});
  }
}

TEST(SparseAssembly, BucketPathPrintsItsNotice) {
  AssemblyPath path(true);
  const auto notice = [](QORMtxSparseMatrix& A, bool symmetric) {
    testing::internal::CaptureStdout();
    A.EndAssembly(symmetric);
    return testing::internal::GetCapturedStdout();
  };
  QORMtxSparseMatrix A(4, 5), S(2, 2);
  A.AddData(3, 4, 1.0, false);
  A.AddData(0, 0, 1.0, false);
  EXPECT_EQ(notice(A, false), "*** QORMtxSparseMatrix::NewAssemble: m_numRows=4, m_numCols=5, nnz=2, unsymmetric\n");
  S.AddData(1, 1, 1.0, false);
  EXPECT_EQ(notice(S, true), "*** QORMtxSparseMatrix::NewAssemble: m_numRows=2, m_numCols=2, nnz=1, symmetric\n");
}

TEST(SparseAssembly, UpperEntryInSymmetricAssembly) {
  // The sorting path refuses it; the bucket path stores it in its own row, where it still stands for both
  // positions. Given together with its mirror, the position would be stored twice.
  const std::vector<QORMtxSparseMatrixEntry> entries = {{1, 3, 2.0}, {3, 3, 1.0}};
  QORMtxSparseMatrix A;
  // Assembled without Assemble's stdout capture: the dying child would leave the capture file behind.
  EXPECT_QORMTX_ASSERTION(
      {
        A.Reset(4, 4);
        A.BeginAssembly(false);
        for (const auto& e : entries) A.AddData(e.m_row, e.m_col, e.m_value, false);
        A.EndAssembly(true);
      },
      "currEntry.m_row >= currEntry.m_col && \"Ensure lower half of symmetric matrix provided\"");
  Assemble(A, 4, 4, entries, true, true);
  ExpectArrays(A, {0, 0, 1, 1, 1}, {3}, {2.0});
  ExpectValid(A);
  std::string why;
  Assemble(A, 4, 4, {{1, 3, 2.0}, {3, 1, 2.0}}, true, true);
  EXPECT_FALSE(A.CheckInvariants(&why));
  EXPECT_EQ(why, "symmetric storage holds an entry and its mirror at row 1, column 3");
}

TEST(SparseAssembly, StatesShapesAndConstructorEntries) {
  QORMtxSparseMatrix A(3, 4);  // an empty list assembles to a zero matrix...
  A.EndAssembly(true);
  ASSERT_TRUE(A.IsAssembled());
  EXPECT_EQ(RowP(A), (std::vector<unsigned>(4, 0u)));
  EXPECT_EQ(A.Diagonal(), nullptr);  // no diagonal even when symmetric storage was asked for
  EXPECT_TRUE(A.IsZero() && A.IsNull());
  ExpectValid(A);
  QORMtxSparseMatrix Z, R(0, 7);  // ...an empty shape stays collecting
  Z.EndAssembly(false);
  R.EndAssembly(false);
  EXPECT_FALSE(Z.IsAssembled() || R.IsAssembled());

  QORMtxSparseMatrix G(10, 10);  // a growing shape ends just past the largest indices
  G.BeginAssembly(true);
  EXPECT_EQ(G.NumberOfRows(), 0);
  G.AddData(2, 5, 1.0, true);
  G.AddData(4, 1, 2.0, true);
  G.EndAssembly(false);
  ExpectDenseEq(RawDense(G), Reference(5, 6, {{2, 5, 1.0}, {4, 1, 2.0}}, false));
  G.BeginAssembly(false);  // without a reset the shape stays and the arrays go
  EXPECT_TRUE(!G.IsAssembled() && G.NumberOfRows() == 5 && G.NumberOfNonzeros() == 0 && Peer::RowP(G) == nullptr);
  ExpectValid(G);

  QORMtxSparseMatrix C(2, 3, 2);  // constructor entries become explicit zeros at the origin
  EXPECT_EQ(C.NumberOfCollectedEntries(), 2);
  C.AddData(1, 2, 7.0, false);
  C.EndAssembly(false);
  ExpectArrays(C, {0, 1, 2}, {0, 2}, {0.0, 7.0});
  EXPECT_FALSE(C.IsNull());
}

TEST(SparseAssembly, ReserveAvoidsReallocation) {
  QORMtxSparseMatrix A(100, 100);
  A.ReserveEntries(1000);
  for (unsigned i = 0; i < 1000; ++i) A.AddData(i % 100, (i * 7) % 100, 1.0, false);
  EXPECT_EQ(A.NumberOfEntryReallocations(), 0);
  A.BeginAssembly(false);
  for (unsigned i = 0; i < 1000; ++i) A.AddData(i % 100, (i * 7) % 100, 1.0, false);
  EXPECT_GT(A.NumberOfEntryReallocations(), 0);
  EXPECT_LT(A.NumberOfEntryReallocations(), 20);  // geometric growth
}

TEST(SparseAssembly, ResetDataSortsAndSumsEntriesInAnyOrder) {
  // Reverse order, one duplicate; more duplicates in a row than there are columns.
  std::vector<QORMtxSparseMatrixEntry> e = {{2, 1, 1.0}, {2, 0, 2.0}, {1, 1, 3.0}, {0, 1, 4.0}, {2, 1, 5.0}};
  for (int k = 0; k < 6; ++k) e.push_back({0, 0, 0.5});
  QORMtxSparseMatrix A;
  Peer::ResetData(A, e.data(), static_cast<int>(e.size()), 3, 2);
  ASSERT_TRUE(A.IsAssembled());
  ExpectValid(A);
  ExpectArrays(A, {0, 2, 3, 5}, {0, 1, 1, 0, 1}, {3.0, 4.0, 3.0, 2.0, 6.0});
  EXPECT_EQ(Peer::SymFlag(A), 0);
}

// ---- Element assembly ----

namespace {
// Element matrices given as dense column-major blocks on their elements' dofs; packed index = row + col·nDof.
struct FakeElements : Peer::ElementMatrices {
  struct Elem {
    int label;
    std::vector<int> idx;
    std::vector<double> val;
  };
  std::vector<Elem> elems;
  bool IsSymmetric() const override { return false; }
  int NumMatrices() const override { return static_cast<int>(elems.size()); }
  int GetId(int k) const override { return elems[k].label; }
  int NumEntries(int k) const override { return static_cast<int>(elems[k].idx.size()); }
  void GetEntries(int k, int* indices, double* values) const override {
    std::copy(elems[k].idx.begin(), elems[k].idx.end(), indices);
    std::copy(elems[k].val.begin(), elems[k].val.end(), values);
  }
};
}  // namespace

TEST(SparseAssembly, ElementMatricesOnTheirDegreesOfFreedom) {
  // Two bar elements 10 (dofs 30, 20) and 11 (dofs 20, 50), each [[1, -1], [-1, 1]] scaled by its label.
  QORFsmElementDofs dofs;
  const int d10[] = {30, 20}, d11[] = {20, 50};
  dofs.AddElement(10, d10, 2);
  dofs.AddElement(11, d11, 2);
  FakeElements m;
  m.elems.push_back({11, {0, 1, 2, 3}, {11.0, -11.0, -11.0, 11.0}});
  m.elems.push_back({10, {0, 1, 2, 3}, {10.0, -10.0, -10.0, 10.0}});
  omi_Set rows, cols;
  rows.Insert(40);  // the caller's sets are added to
  QORMtxSparseMatrix A;
  Peer::AssembleElmat(A, m, dofs, 0, rows, cols);
  ASSERT_TRUE(A.IsAssembled());
  // Rows: dofs {20, 30, 40, 50} → 0..3; columns {20, 30, 50} → 0..2; (20, 20) gets both elements.
  ExpectDenseEq(RawDense(A), RowMajor(4, 3, {21, -10, -11, -10, 10, 0, 0, 0, 0, -11, 0, 11}));

  // Column mode: the local column index stands for the column.
  omi_Set rows2, cols2;
  QORMtxSparseMatrix B;
  Peer::AssembleElmat(B, m, dofs, 1, rows2, cols2);
  EXPECT_TRUE(B.NumberOfRows() == 3 && B.NumberOfColumns() == 2 && cols2.Size() == 2);

  FakeElements two;  // more element matrices than elements with dofs
  two.elems = {{1, {0}, {1.0}}, {2, {0}, {1.0}}};
  QORFsmElementDofs none, one;
  const int d[] = {0};
  one.AddElement(1, d, 1);
  QORMtxSparseMatrix C;
  EXPECT_QORMTX_ASSERTION(Peer::AssembleElmat(C, two, none, 0, rows2, cols2), "!elemDofs.IsNull()");
  EXPECT_QORMTX_ASSERTION(Peer::AssembleElmat(C, two, one, 0, rows2, cols2), "nelems <= eldofsize");
}

// ---- Queries ----

TEST(SparseQueries, IsSymmetricWithinARelativeBoundAndIsZeroExactly) {
  const struct {
    int n;
    std::vector<QORMtxSparseMatrixEntry> entries;
    bool symmetric;
  } symmetry[] = {
      {2, {{0, 1, 2.0}, {1, 0, 2.0 + 1e-17}, {0, 0, 1.0}}, true},
      {2, {{0, 1, 2.0}, {1, 0, 2.0001}}, false},
      {2, {{0, 1, 0.0}, {1, 0, 1e-17}}, true},              // a zero against a tiny value: the absolute difference
      {2, {{0, 1, kNaN}, {1, 0, 1.0}}, true},               // a NaN difference does not exceed the bound
      {3, {{0, 1, 1.0}, {1, 0, 1.0}, {0, 2, 1.0}}, false},  // counts differ above and below
      {3, {{0, 1, 1.0}, {2, 0, 1.0}}, false},               // same counts, mirror missing
  };
  QORMtxSparseMatrix A;
  for (const auto& c : symmetry) {
    Assemble(A, c.n, c.n, c.entries);
    EXPECT_EQ(A.IsSymmetric(), c.symmetric) << c.entries[1].m_value;
  }
  // Cached: fixing the value does not change the answer until the next assembly.
  Assemble(A, 2, 2, {{0, 1, 2.0}, {1, 0, 2.0001}});
  EXPECT_FALSE(A.IsSymmetric());
  Peer::MutableData(A)[1] = 2.0;
  EXPECT_FALSE(A.IsSymmetric());
  Assemble(A, 2, 2, {{0, 1, 2.0}, {1, 0, 2.0}});
  EXPECT_TRUE(A.IsSymmetric());

  Assemble(A, 2, 2, {{0, 1, 0.0}, {1, 1, -0.0}});
  EXPECT_TRUE(A.IsZero());
  Assemble(A, 2, 2, {{0, 1, kNaN}});
  EXPECT_FALSE(A.IsZero());
  Assemble(A, 2, 2, {{1, 0, 0.0}, {1, 1, 3.0}}, true);
  EXPECT_FALSE(A.IsZero());  // the diagonal counts
  EXPECT_TRUE(QORMtxSparseMatrix().IsZero());
}

TEST(SparseQueries, RowAccessScaleAndZeroColumns) {
  QORMtxSparseMatrix A;
  Assemble(A, 3, 4, {{2, 3, 1.0}, {2, 0, 2.0}, {0, 1, 3.0}});
  ASSERT_EQ((std::vector<int>{A.RowSize(0), A.RowSize(1), A.RowSize(2)}), (std::vector<int>{1, 0, 2}));
  EXPECT_TRUE(A.RowColumns(2)[1] == 3 && A.RowValues(2)[1] == 1.0);
  EXPECT_TRUE(QORMtxSparseMatrix(3, 3).RowColumns(1) == nullptr);

  QORMtxSparseMatrix S;  // symmetric storage scales its diagonal too
  Assemble(S, 2, 2, {{0, 0, 1.0}, {1, 0, 2.0}, {1, 1, 3.0}}, true);
  S.Scale(-2.0);
  EXPECT_TRUE(Diag(S) == (std::vector<double>{-2.0, -6.0}) && Data(S) == std::vector<double>{-4.0});
  Assemble(A, 2, 3, {{0, 0, 1.0}, {0, 2, 2.0}, {1, 1, 3.0}, {1, 2, 4.0}});
  const int cols[] = {2, 7, -1};  // out-of-range columns are ignored; zeroed entries stay stored
  A.SetColumnsToZero(cols, 3);
  EXPECT_EQ(Data(A), (std::vector<double>{1.0, 0.0, 3.0, 0.0}));
}

using SparseDomain = sparse_test::OrdinalStore;

TEST_F(SparseDomain, OrdinalsFromListsOrTheDomainAndPerfectSquareness) {
  QORMtxSparseMatrix A(3, 3);
  EXPECT_TRUE(A.IsPerfectlySquare());
  const int r[] = {7, 3, 9}, d[] = {7, 9, 3};
  A.SetOrdinals(r, d);
  EXPECT_FALSE(A.IsPerfectlySquare());
  A.BeginAssembly(true);  // ordinals survive
  EXPECT_NE(A.GetRowOrdinals(), nullptr);
  A.Reset(2, 2);  // ...but not a reset
  EXPECT_EQ(A.GetRowOrdinals(), nullptr);

  QORMtxSparseMatrix B(3, 3);
  B.SetDomain(Set({40, 10, 30}), Set({40, 10, 30}));
  const int* got = B.GetRowOrdinals();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::vector<int>(got, got + 3), (std::vector<int>{40, 10, 30}));
  EXPECT_EQ(B.GetRowOrdinals(), got);  // fetched once
  EXPECT_TRUE(B.IsPerfectlySquare());
  EXPECT_QORMTX_ASSERTION(B.SetOrdinals(r, r), "m_rowSetID.IsNull() && m_colSetID.IsNull()");
  EXPECT_QORMTX_ASSERTION(B.SetRowOrdinals(r), "m_rowSetID.IsNull()");
  EXPECT_QORMTX_ASSERTION(B.SetColOrdinals(r), "m_colSetID.IsNull()");
  B.BeginAssembly(false);  // the domain stays
  EXPECT_FALSE(B.RowCSetID().IsNull());
  B.BeginAssembly(true);  // ...unless reset
  EXPECT_TRUE(B.RowCSetID().IsNull());
}

TEST(SparsePrinting, PrintArraysAndScanForNans) {
  QORMtxSparseMatrix A, S;
  Assemble(A, 3, 3, {{0, 2, 1.5}, {2, 0, -2.0}, {2, 1, 10.0}});
  EXPECT_EQ(PrintArraysText(A, "K"),
            "K: rows 3, columns 3, nonzeros 3\n  rowP:  0  1  1  3\n  colI:  2  0  1\n  data: 1.5 -2 10\n");
  Assemble(S, 2, 2, {{1, 0, 4.0}, {1, 1, 2.0}}, true);
  EXPECT_EQ(PrintArraysText(S, "100% S"),
            "100% S: rows 2, columns 2, nonzeros 1, symmetric storage\n"
            "  rowP:  0  0  1\n  colI:  0\n  data:  4\n  diag:  0  2\n");
  EXPECT_EQ(PrintArraysText(QORMtxSparseMatrix(2, 2), nullptr),
            ": rows 2, columns 2, nonzeros 0\n  rowP: null\n  colI: null\n  data: null\n");

  Assemble(A, 3, 3, {{1, 0, kNaN}, {2, 2, 1.0}, {0, 0, kNaN}});
  testing::internal::CaptureStdout();
  A.ScanForNans("K", "file.cpp", 42);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "*** NAN detected at K[0,0]:         nan at file.cpp, line 42\n"
            "*** NAN detected at K[1,0]:         nan at file.cpp, line 42\n");
}

TEST(SparseAssemblyDeath, Preconditions) {
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrix(0, 0, 2), "n <= 0 || (numRows > 0 && numCols > 0)");
  QORMtxSparseMatrix A(2, 3);
  EXPECT_QORMTX_ASSERTION(A.IsSymmetric(), "m_assemblyComplete");
  EXPECT_QORMTX_ASSERTION(A.AddData(2, 0, 1.0, false), "row < m_numRows && col < m_numCols");
  EXPECT_QORMTX_ASSERTION(A.AddData(0, 3, 1.0, false), "row < m_numRows && col < m_numCols");
  EXPECT_QORMTX_ASSERTION(A.AddData(0xFFFFFFFFu, 0, 1.0, false), "row < m_numRows && col < m_numCols");
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrix(2, 2).RowValues(0), "!IsNull() && row >=0 && row < m_numRows");
  A.AddData(1, 0, 1.0, false);
  A.EndAssembly(false);
  EXPECT_QORMTX_ASSERTION(A.AddData(0, 0, 1.0, true), "m_assemblyComplete == false");
  EXPECT_QORMTX_ASSERTION(A.RowSize(2), "row >=0 && row < m_numRows");
  EXPECT_QORMTX_ASSERTION(A.RowColumns(-1), "row >=0 && row < m_numRows");
  EXPECT_QORMTX_ASSERTION(A.RowValues(2), "!IsNull() && row >=0 && row < m_numRows");

  // Row access and zeroed columns are for unsymmetric storage only.
  QORMtxSparseMatrix S;
  Assemble(S, 2, 2, {{1, 0, 1.0}}, true);
  const std::string only = "is currently implemented for the unsymetric case only\"";
  EXPECT_QORMTX_ASSERTION(S.RowSize(0), "!m_diagonal && \"QORMtxSparseMatrix::RowSize() " + only);
  EXPECT_QORMTX_ASSERTION(S.RowColumns(0), "!m_diagonal && \"QORMtxSparseMatrix::RowColumns() " + only);
  EXPECT_QORMTX_ASSERTION(S.RowValues(0), "!m_diagonal && \"QORMtxSparseMatrix::RowValues() " + only);
  EXPECT_QORMTX_ASSERTION(S.SetColumnsToZero(nullptr, 0),
                          "!m_diagonal && \"QORMtxSparseMatrix::SetColumnsToZero: symmetric not supported\"");
}
