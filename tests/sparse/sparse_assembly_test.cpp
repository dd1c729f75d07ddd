// Sparse matrix assembly: both paths against a dense reference, stored-form invariants, simple members, preconditions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "QORFsmElementDofs.h"
#include "QORMtxEntryList.h"
#include "QORMtxSparseMatrix.h"
#include "QORSimCollection.h"
#include "QORSimDatabase.h"
#include "mem_Alloc.h"
#include "omi_Set.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

std::vector<unsigned> RowP(const QORMtxSparseMatrix& A) {
  const unsigned* p = Peer::RowP(A);
  return p ? std::vector<unsigned>(p, p + A.NumberOfRows() + 1) : std::vector<unsigned>();
}
std::vector<int> ColI(const QORMtxSparseMatrix& A) {
  const int* p = Peer::ColI(A);
  return p ? std::vector<int>(p, p + A.NumberOfNonzeros()) : std::vector<int>();
}
std::vector<double> Data(const QORMtxSparseMatrix& A) {
  const double* p = Peer::Data(A);
  return p ? std::vector<double>(p, p + A.NumberOfNonzeros()) : std::vector<double>();
}
std::vector<double> Diag(const QORMtxSparseMatrix& A) {
  const double* p = A.Diagonal();
  return p ? std::vector<double>(p, p + A.NumberOfRows()) : std::vector<double>();
}

void ExpectSameArrays(const QORMtxSparseMatrix& A, const QORMtxSparseMatrix& B) {
  EXPECT_EQ(A.NumberOfNonzeros(), B.NumberOfNonzeros());
  EXPECT_EQ(RowP(A), RowP(B));
  EXPECT_EQ(ColI(A), ColI(B));
  EXPECT_EQ(Data(A), Data(B));
  EXPECT_EQ(Diag(A), Diag(B));
}

void ExpectValid(const QORMtxSparseMatrix& A) {
  std::string why;
  EXPECT_TRUE(A.CheckInvariants(&why)) << why;
}

std::string PrintArraysText(const QORMtxSparseMatrix& A, const char* title) {
  FILE* f = std::tmpfile();
  A.PrintArrays(title, f);
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

}  // namespace

// ---- Both assembly paths against the dense reference ----

class AssemblyPaths : public testing::TestWithParam<bool> {};

TEST_P(AssemblyPaths, UnsymmetricWithDuplicatesEmptyRowsAndUnorderedEntries) {
  const bool bucket = GetParam();
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 rng = SeededRng(seed);
    const int rows = 37, cols = 23;
    const auto entries = RandomEntries(rng, rows, cols, 400, false, {0, 5, 36});
    QORMtxSparseMatrix A;
    Assemble(A, rows, cols, entries, false, bucket);
    ASSERT_TRUE(A.IsAssembled());
    ExpectValid(A);
    EXPECT_EQ(A.Diagonal(), nullptr);
    ExpectDenseEq(RawDense(A), Reference(rows, cols, entries, false));
    EXPECT_EQ(RowP(A)[1], 0u);                    // row 0 is empty
    EXPECT_EQ(RowP(A)[rows], RowP(A)[rows - 1]);  // so is the last row
  }
}

TEST_P(AssemblyPaths, SymmetricFromTheLowerTriangle) {
  const bool bucket = GetParam();
  std::mt19937 rng = SeededRng(11);
  const int n = 29;
  const auto entries = RandomEntries(rng, n, n, 300, true, {3});
  QORMtxSparseMatrix A;
  Assemble(A, n, n, entries, true, bucket);
  ExpectValid(A);
  ASSERT_NE(A.Diagonal(), nullptr);
  EXPECT_EQ(A.NumberOfEntries(), A.NumberOfNonzeros() + n);
  EXPECT_EQ(Peer::SymFlag(A), QORMtxSparseMatrix::e_symmetric);
  EXPECT_TRUE(A.IsSymmetric());
  ExpectDenseEq(RawDense(A), Reference(n, n, entries, true));
  for (int c : ColI(A)) EXPECT_GE(c, 0);
}

TEST_P(AssemblyPaths, DuplicatesOfOnePositionBecomeOneStoredSum) {
  QORMtxSparseMatrix A(2, 2);
  AssemblyPath path(GetParam());
  A.BeginAssembly(false);
  A.AddData(1, 0, 1.5, false);
  A.AddData(0, 1, 4.0, false);
  A.AddData(1, 0, 2.25, false);
  testing::internal::CaptureStdout();
  A.EndAssembly(false);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(A.NumberOfNonzeros(), 2);
  EXPECT_EQ(RowP(A), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_EQ(ColI(A), (std::vector<int>{1, 0}));
  EXPECT_EQ(Data(A), (std::vector<double>{4.0, 3.75}));
}

TEST_P(AssemblyPaths, SymmetricWithoutDiagonalEntriesStillHasAZeroDiagonal) {
  QORMtxSparseMatrix A;
  Assemble(A, 3, 3, {{2, 0, 5.0}, {1, 0, -1.0}}, true, GetParam());
  EXPECT_EQ(Diag(A), (std::vector<double>{0.0, 0.0, 0.0}));
  EXPECT_EQ(A.NumberOfEntries(), 5);
  EXPECT_EQ(A.NumberOfNonzeros(), 2);
}

TEST_P(AssemblyPaths, LongRowsAreSortedToo) {
  // A row longer than the insertion-sort cut-off, filled in descending column order with duplicates.
  std::vector<QORMtxSparseMatrixEntry> entries;
  for (int c = 199; c >= 0; --c) entries.push_back({1, static_cast<unsigned>(c), 1.0 + c});
  for (int c = 0; c < 200; c += 7) entries.push_back({1, static_cast<unsigned>(c), 0.5});
  QORMtxSparseMatrix A;
  Assemble(A, 3, 200, entries, false, GetParam());
  ExpectValid(A);
  EXPECT_EQ(A.NumberOfNonzeros(), 200);
  ExpectDenseEq(RawDense(A), Reference(3, 200, entries, false));
}

INSTANTIATE_TEST_SUITE_P(SortingAndBucket, AssemblyPaths, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Bucket" : "Sorting"; });

TEST(SparseAssembly, LargeListsAreBucketedInPlaceInPasses) {
  // Past 65536 entries the list is bucketed in place, in passes over blocks of rows: rows of unequal lengths, empty
  // rows at block edges and one long row included.
  std::mt19937 rng = SeededRng(77);
  const int rows = 9000, cols = 40;
  auto entries = RandomEntries(rng, rows, cols, 90000, false, {0, 255, 256, 8999});
  for (unsigned c = 0; c < 40; ++c) entries.push_back({4096, c, 1.0});
  for (bool symmetric : {false, true}) {
    QORMtxSparseMatrix A;
    if (symmetric) {
      auto lower = RandomEntries(rng, rows, rows, 90000, true);
      Assemble(A, rows, rows, lower, true, false);
      ExpectValid(A);
      QORMtxSparseMatrix B;
      Assemble(B, rows, rows, lower, true, true);
      ExpectSameArrays(A, B);
      continue;
    }
    Assemble(A, rows, cols, entries, false, false);
    ExpectValid(A);
    ExpectDenseEq(RawDense(A), Reference(rows, cols, entries, false));
  }
}

TEST(SparseAssembly, BothPathsGiveIdenticalArrays) {
  for (bool symmetric : {false, true}) {
    std::mt19937 rng = SeededRng(symmetric ? 21 : 22);
    const int n = 64;
    const auto entries = RandomEntries(rng, n, n, 2000, symmetric);
    QORMtxSparseMatrix sorted, bucketed;
    Assemble(sorted, n, n, entries, symmetric, false);
    Assemble(bucketed, n, n, entries, symmetric, true);
    ExpectSameArrays(sorted, bucketed);
  }
}

TEST(SparseAssembly, BucketPathPrintsItsNotice) {
  AssemblyPath path(true);
  QORMtxSparseMatrix A(4, 5);
  A.BeginAssembly(false);
  A.AddData(3, 4, 1.0, false);
  A.AddData(0, 0, 1.0, false);
  testing::internal::CaptureStdout();
  A.EndAssembly(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "*** QORMtxSparseMatrix::NewAssemble: m_numRows=4, m_numCols=5, nnz=2, unsymmetric\n");
  QORMtxSparseMatrix S(2, 2);
  S.BeginAssembly(false);
  S.AddData(1, 1, 1.0, false);
  testing::internal::CaptureStdout();
  S.EndAssembly(true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "*** QORMtxSparseMatrix::NewAssemble: m_numRows=2, m_numCols=2, nnz=1, symmetric\n");
}

TEST(SparseAssembly, UpperEntryInSymmetricAssembly) {
  // The sorting path refuses it; the bucket path stores it in its own row, which breaks the lower-triangle form.
  const std::vector<QORMtxSparseMatrixEntry> entries = {{1, 3, 2.0}, {3, 3, 1.0}};
  QORMtxSparseMatrix A;
  EXPECT_QORMTX_ASSERTION(Assemble(A, 4, 4, entries, true, false),
                          "currEntry.m_row >= currEntry.m_col && \"Ensure lower half of symmetric matrix provided\"");
  Assemble(A, 4, 4, entries, true, true);
  EXPECT_EQ(RowP(A), (std::vector<unsigned>{0, 0, 1, 1, 1}));
  EXPECT_EQ(ColI(A), (std::vector<int>{3}));
  std::string why;
  EXPECT_FALSE(A.CheckInvariants(&why));
  EXPECT_EQ(why, "symmetric storage holds an entry on or above the diagonal at row 1, column 3");
}

TEST(SparseAssembly, EmptyEntryList) {
  QORMtxSparseMatrix A(3, 4);
  A.EndAssembly(true);
  ASSERT_TRUE(A.IsAssembled());
  EXPECT_EQ(RowP(A), (std::vector<unsigned>(4, 0u)));
  EXPECT_EQ(A.Diagonal(), nullptr);  // no diagonal even when symmetric storage was asked for
  EXPECT_TRUE(A.IsZero());
  EXPECT_TRUE(A.IsNull());
  ExpectValid(A);

  QORMtxSparseMatrix Z;
  Z.EndAssembly(false);
  EXPECT_FALSE(Z.IsAssembled());
  QORMtxSparseMatrix R(0, 7);
  R.EndAssembly(false);
  EXPECT_FALSE(R.IsAssembled());
}

TEST(SparseAssembly, GrowingShape) {
  QORMtxSparseMatrix A(10, 10);
  A.BeginAssembly(true);
  EXPECT_EQ(A.NumberOfRows(), 0);
  A.AddData(2, 5, 1.0, true);
  A.AddData(4, 1, 2.0, true);
  A.EndAssembly(false);
  EXPECT_EQ(A.NumberOfRows(), 5);
  EXPECT_EQ(A.NumberOfColumns(), 6);
  Dense ref(5, 6);
  ref(2, 5) = 1.0;
  ref(4, 1) = 2.0;
  ExpectDenseEq(RawDense(A), ref);
}

TEST(SparseAssembly, BeginAssemblyKeepsShapeWithoutReset) {
  QORMtxSparseMatrix A(3, 3);
  A.AddData(0, 0, 1.0, false);
  A.EndAssembly(false);
  A.BeginAssembly(false);
  EXPECT_FALSE(A.IsAssembled());
  EXPECT_EQ(A.NumberOfRows(), 3);
  EXPECT_EQ(A.NumberOfNonzeros(), 0);
  EXPECT_EQ(Peer::RowP(A), nullptr);
  ExpectValid(A);
}

TEST(SparseAssembly, ConstructorEntriesBecomeAnExplicitZeroAtOrigin) {
  QORMtxSparseMatrix A(2, 3, 2);
  EXPECT_EQ(A.NumberOfCollectedEntries(), 2);
  A.AddData(1, 2, 7.0, false);
  A.EndAssembly(false);
  EXPECT_EQ(RowP(A), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_EQ(ColI(A), (std::vector<int>{0, 2}));
  EXPECT_EQ(Data(A), (std::vector<double>{0.0, 7.0}));
  EXPECT_FALSE(A.IsNull());
  EXPECT_TRUE(QORMtxEntryList(0).Length() == 0);
  EXPECT_EQ(QORMtxEntryList(3).Length(), 3);
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
  EXPECT_EQ(RowP(A), (std::vector<unsigned>{0, 2, 3, 5}));
  EXPECT_EQ(ColI(A), (std::vector<int>{0, 1, 1, 0, 1}));
  EXPECT_EQ(Data(A), (std::vector<double>{3.0, 4.0, 3.0, 2.0, 6.0}));
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
  bool symmetric = false;
  bool IsSymmetric() const override { return symmetric; }
  int NumMatrices() const override { return static_cast<int>(elems.size()); }
  int GetId(int k) const override { return elems[k].label; }
  int NumEntries(int k) const override { return static_cast<int>(elems[k].idx.size()); }
  void GetEntries(int k, int* indices, double* values) const override {
    for (size_t i = 0; i < elems[k].idx.size(); ++i) {
      indices[i] = elems[k].idx[i];
      values[i] = elems[k].val[i];
    }
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
  // Rows: dofs {20, 30, 40, 50} → 0..3; columns {20, 30, 50} → 0..2.
  ASSERT_EQ(A.NumberOfRows(), 4);
  ASSERT_EQ(A.NumberOfColumns(), 3);
  Dense ref(4, 3);
  ref(0, 0) = 21.0;   // (20, 20) from both elements
  ref(1, 1) = 10.0;   // (30, 30)
  ref(0, 1) = -10.0;  // (20, 30)
  ref(1, 0) = -10.0;
  ref(3, 2) = 11.0;  // (50, 50)
  ref(0, 2) = -11.0;
  ref(3, 0) = -11.0;
  ExpectDenseEq(RawDense(A), ref);

  // Column mode: the local column index stands for the column.
  omi_Set rows2, cols2;
  QORMtxSparseMatrix B;
  Peer::AssembleElmat(B, m, dofs, 1, rows2, cols2);
  EXPECT_EQ(B.NumberOfRows(), 3);
  EXPECT_EQ(B.NumberOfColumns(), 2);
  EXPECT_EQ(cols2.Size(), 2);
}

TEST(SparseAssemblyDeath, ElementAssemblyPreconditions) {
  FakeElements m;
  m.elems.push_back({1, {0}, {1.0}});
  m.elems.push_back({2, {0}, {1.0}});
  QORFsmElementDofs empty, one;
  const int d[] = {0};
  one.AddElement(1, d, 1);
  omi_Set rows, cols;
  QORMtxSparseMatrix A;
  EXPECT_QORMTX_ASSERTION(Peer::AssembleElmat(A, m, empty, 0, rows, cols), "!elemDofs.IsNull()");
  EXPECT_QORMTX_ASSERTION(Peer::AssembleElmat(A, m, one, 0, rows, cols), "nelems <= eldofsize");
}

// ---- Queries and simple members ----

TEST(SparseQueries, IsSymmetricWithinRelativeBoundAndCached) {
  QORMtxSparseMatrix A;
  Assemble(A, 2, 2, {{0, 1, 2.0}, {1, 0, 2.0 + 1e-17}, {0, 0, 1.0}}, false, false);
  EXPECT_TRUE(A.IsSymmetric());
  Assemble(A, 2, 2, {{0, 1, 2.0}, {1, 0, 2.0001}}, false, false);
  EXPECT_FALSE(A.IsSymmetric());
  // Cached: fixing the value does not change the answer until the next assembly.
  Peer::MutableData(A)[1] = 2.0;
  EXPECT_FALSE(A.IsSymmetric());
  Assemble(A, 2, 2, {{0, 1, 2.0}, {1, 0, 2.0}}, false, false);
  EXPECT_TRUE(A.IsSymmetric());
  // A zero against a tiny value: the absolute difference decides.
  Assemble(A, 2, 2, {{0, 1, 0.0}, {1, 0, 1e-17}}, false, false);
  EXPECT_TRUE(A.IsSymmetric());
  // A NaN difference does not exceed the bound.
  Assemble(A, 2, 2, {{0, 1, std::nan("")}, {1, 0, 1.0}}, false, false);
  EXPECT_TRUE(A.IsSymmetric());
  // Counts differ above and below.
  Assemble(A, 3, 3, {{0, 1, 1.0}, {1, 0, 1.0}, {0, 2, 1.0}}, false, false);
  EXPECT_FALSE(A.IsSymmetric());
  // Same counts, mirror missing.
  Assemble(A, 3, 3, {{0, 1, 1.0}, {2, 0, 1.0}}, false, false);
  EXPECT_FALSE(A.IsSymmetric());
}

TEST(SparseQueries, IsZero) {
  QORMtxSparseMatrix A;
  Assemble(A, 2, 2, {{0, 1, 0.0}, {1, 1, -0.0}}, false, false);
  EXPECT_TRUE(A.IsZero());
  Assemble(A, 2, 2, {{0, 1, std::nan("")}}, false, false);
  EXPECT_FALSE(A.IsZero());
  Assemble(A, 2, 2, {{1, 0, 0.0}, {1, 1, 3.0}}, true, false);
  EXPECT_FALSE(A.IsZero());  // the diagonal counts
  EXPECT_TRUE(QORMtxSparseMatrix().IsZero());
}

TEST(SparseQueries, RowAccess) {
  QORMtxSparseMatrix A;
  Assemble(A, 3, 4, {{2, 3, 1.0}, {2, 0, 2.0}, {0, 1, 3.0}}, false, false);
  EXPECT_EQ(A.RowSize(0), 1);
  EXPECT_EQ(A.RowSize(1), 0);
  ASSERT_EQ(A.RowSize(2), 2);
  EXPECT_EQ(A.RowColumns(2)[0], 0);
  EXPECT_EQ(A.RowColumns(2)[1], 3);
  A.RowValues(2)[1] = 9.0;
  EXPECT_EQ(RawDense(A)(2, 3), 9.0);
  QORMtxSparseMatrix N(3, 3);
  EXPECT_EQ(N.RowSize(1), 0);
  EXPECT_EQ(N.RowColumns(1), nullptr);
}

TEST(SparseQueries, ScaleAndZeroColumns) {
  QORMtxSparseMatrix S;
  Assemble(S, 2, 2, {{0, 0, 1.0}, {1, 0, 2.0}, {1, 1, 3.0}}, true, false);
  S.Scale(-2.0);
  EXPECT_EQ(Diag(S), (std::vector<double>{-2.0, -6.0}));
  EXPECT_EQ(Data(S), (std::vector<double>{-4.0}));

  QORMtxSparseMatrix A;
  Assemble(A, 2, 3, {{0, 0, 1.0}, {0, 2, 2.0}, {1, 1, 3.0}, {1, 2, 4.0}}, false, false);
  const int cols[] = {2, 7, -1};
  A.SetColumnsToZero(cols, 3);
  EXPECT_EQ(Data(A), (std::vector<double>{1.0, 0.0, 3.0, 0.0}));
  EXPECT_EQ(A.NumberOfNonzeros(), 4);
}

TEST(SparseQueries, OrdinalsAndPerfectSquareness) {
  QORMtxSparseMatrix A(3, 3);
  EXPECT_EQ(A.GetRowOrdinals(), nullptr);
  EXPECT_TRUE(A.IsPerfectlySquare());
  const int r[] = {7, 3, 9}, c[] = {7, 3, 9}, d[] = {7, 9, 3};
  A.SetOrdinals(r, c);
  EXPECT_TRUE(A.IsPerfectlySquare());
  ASSERT_NE(A.GetColOrdinals(), nullptr);
  EXPECT_EQ(A.GetColOrdinals()[2], 9);
  A.SetColOrdinals(d);
  EXPECT_FALSE(A.IsPerfectlySquare());
  A.SetColOrdinals(nullptr);
  EXPECT_FALSE(A.IsPerfectlySquare());
  A.BeginAssembly(true);  // ordinals survive
  EXPECT_NE(A.GetRowOrdinals(), nullptr);
  A.Reset(2, 2);  // ...but not a reset
  EXPECT_EQ(A.GetRowOrdinals(), nullptr);
  EXPECT_FALSE(QORMtxSparseMatrix(2, 3).IsPerfectlySquare());
}

TEST(SparseQueries, OrdinalsFromTheDomain) {
  QORSimDatabase db;
  db.CreateInMemory("sparse_domain");
  QORSimCollection dofs(QORSimContext(db.ContextID()).CreateCollection(100));
  const int rowOrds[] = {40, 10, 30}, colOrds[] = {40, 10, 30};
  const QORSimCSetID rows = dofs.CreateOrderedCSet(rowOrds, 3), cols = dofs.CreateOrderedCSet(colOrds, 3);
  QORMtxSparseMatrix A(3, 3);
  A.SetDomain(rows, cols);
  EXPECT_EQ(A.RowCSetID(), rows);
  EXPECT_EQ(A.ColumnCSetID(), cols);
  const int* got = A.GetRowOrdinals();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got[0], 40);
  EXPECT_EQ(got[2], 30);
  EXPECT_EQ(A.GetRowOrdinals(), got);  // fetched once
  EXPECT_TRUE(A.IsPerfectlySquare());
  EXPECT_QORMTX_ASSERTION(A.SetOrdinals(rowOrds, colOrds), "m_rowSetID.IsNull() && m_colSetID.IsNull()");
  EXPECT_QORMTX_ASSERTION(A.SetRowOrdinals(rowOrds), "m_rowSetID.IsNull()");
  EXPECT_QORMTX_ASSERTION(A.SetColOrdinals(colOrds), "m_colSetID.IsNull()");
  A.BeginAssembly(false);  // the domain stays
  EXPECT_FALSE(A.RowCSetID().IsNull());
  A.BeginAssembly(true);  // ...unless reset
  EXPECT_TRUE(A.RowCSetID().IsNull());
  db.Close();
}

TEST(SparsePrinting, PrintArrays) {
  QORMtxSparseMatrix A;
  Assemble(A, 3, 3, {{0, 2, 1.5}, {2, 0, -2.0}, {2, 1, 10.0}}, false, false);
  EXPECT_EQ(PrintArraysText(A, "K"),
            "K: rows 3, columns 3, nonzeros 3\n"
            "  rowP:  0  1  1  3\n"
            "  colI:  2  0  1\n"
            "  data: 1.5 -2 10\n");
  QORMtxSparseMatrix S;
  Assemble(S, 2, 2, {{1, 0, 4.0}, {1, 1, 2.0}}, true, false);
  EXPECT_EQ(PrintArraysText(S, "100% S"),
            "100% S: rows 2, columns 2, nonzeros 1, symmetric storage\n"
            "  rowP:  0  0  1\n"
            "  colI:  0\n"
            "  data:  4\n"
            "  diag:  0  2\n");
  EXPECT_EQ(PrintArraysText(QORMtxSparseMatrix(2, 2), nullptr),
            ": rows 2, columns 2, nonzeros 0\n  rowP: null\n  colI: null\n  data: null\n");
}

TEST(SparsePrinting, ScanForNans) {
  QORMtxSparseMatrix A;
  Assemble(A, 3, 3, {{1, 0, std::nan("")}, {2, 2, 1.0}, {0, 0, std::nan("")}}, false, false);
  testing::internal::CaptureStdout();
  A.ScanForNans("K", "file.cpp", 42);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "*** NAN detected at K[0,0]:         nan at file.cpp, line 42\n"
            "*** NAN detected at K[1,0]:         nan at file.cpp, line 42\n");
}

// ---- Preconditions ----

TEST(SparseAssemblyDeath, AddData) {
  QORMtxSparseMatrix A(2, 3);
  EXPECT_QORMTX_ASSERTION(A.AddData(2, 0, 1.0, false), "row < m_numRows && col < m_numCols");
  EXPECT_QORMTX_ASSERTION(A.AddData(0, 3, 1.0, false), "row < m_numRows && col < m_numCols");
  EXPECT_QORMTX_ASSERTION(A.AddData(0xFFFFFFFFu, 0, 1.0, false), "row < m_numRows && col < m_numCols");
  A.AddData(1, 2, 1.0, false);
  A.EndAssembly(false);
  EXPECT_QORMTX_ASSERTION(A.AddData(0, 0, 1.0, false), "m_assemblyComplete == false");
  EXPECT_QORMTX_ASSERTION(A.AddData(0, 0, 1.0, true), "m_assemblyComplete == false");
}

TEST(SparseAssemblyDeath, Queries) {
  QORMtxSparseMatrix C(2, 2);
  EXPECT_QORMTX_ASSERTION(C.IsSymmetric(), "m_assemblyComplete");
  QORMtxSparseMatrix S;
  Assemble(S, 2, 2, {{1, 0, 1.0}}, true, false);
  EXPECT_QORMTX_ASSERTION(
      S.RowSize(0),
      "!m_diagonal && \"QORMtxSparseMatrix::RowSize() is currently implemented for the unsymetric case only\"");
  EXPECT_QORMTX_ASSERTION(
      S.RowColumns(0),
      "!m_diagonal && \"QORMtxSparseMatrix::RowColumns() is currently implemented for the unsymetric case only\"");
  EXPECT_QORMTX_ASSERTION(
      S.RowValues(0),
      "!m_diagonal && \"QORMtxSparseMatrix::RowValues() is currently implemented for the unsymetric case only\"");
  EXPECT_QORMTX_ASSERTION(S.SetColumnsToZero(nullptr, 0),
                          "!m_diagonal && \"QORMtxSparseMatrix::SetColumnsToZero: symmetric not supported\"");
  QORMtxSparseMatrix A;
  Assemble(A, 2, 2, {{1, 0, 1.0}}, false, false);
  EXPECT_QORMTX_ASSERTION(A.RowSize(2), "row >=0 && row < m_numRows");
  EXPECT_QORMTX_ASSERTION(A.RowColumns(-1), "row >=0 && row < m_numRows");
  EXPECT_QORMTX_ASSERTION(A.RowValues(2), "!IsNull() && row >=0 && row < m_numRows");
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrix(2, 2).RowValues(0), "!IsNull() && row >=0 && row < m_numRows");
}

TEST(SparseAssemblyDeath, OrdinalsAndConstruction) {
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrix(0, 0, 2), "n <= 0 || (numRows > 0 && numCols > 0)");
}
