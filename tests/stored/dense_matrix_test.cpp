// Stored dense matrices: geometry, block transfers against an in-core reference, views, transposition, extension.
#include <memory>

#include "QORBasMemInfo.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "stored_util.h"

namespace {

using stored_test::Pattern;
using Dense = stored_test::StoredTest;

// A stored rows × cols matrix chunked rowChunk × colChunk (-1: unchunked), filled with Pattern(salt).
struct Made {
  QORSimDistributionID id;
  std::vector<double> ref;
};
Made Make(Dense& t, int rows, int cols, int rowChunk, int colChunk, int salt = 0) {
  ref::Dense d(rows, cols);
  d.a = Pattern(rows, cols, salt);
  return {ref::Store(t.Ctx(), d, rowChunk, colChunk), d.a};
}

// Column-major block of the reference (ld rows), rows r0 … r1, columns c0 … c1.
std::vector<double> Block(const std::vector<double>& ref, int ld, int r0, int r1, int c0, int c1) {
  std::vector<double> b;
  for (int j = c0; j <= c1; ++j)
    for (int i = r0; i <= r1; ++i) b.push_back(ref[static_cast<size_t>(j) * ld + i]);
  return b;
}

std::vector<double> All(const QORMtxDenseMatrix& A) { return ref::Load(A).a; }

std::vector<int> RowsInBlocks(const QORMtxDenseMatrix& A, std::vector<int> blocks) {
  for (int& b : blocks) b = A.NumberOfRowsInBlock(b);
  return blocks;
}

TEST_F(Dense, BlockGeometryViewsAndTheTransposedFlag) {
  Made mk = Make(*this, 10, 7, 4, 3);
  QORMtxDenseMatrix A(mk.id);
  EXPECT_EQ((std::vector<int>{A.NumberOfRowBlocks(), A.NumberOfColumnBlocks()}), (std::vector<int>{3, 3}));
  EXPECT_EQ(RowsInBlocks(A, {-1, 0, 1, 2, 5}), (std::vector<int>{0, 4, 4, 2, 2}));
  EXPECT_EQ((std::vector<int>{A.NumberOfColumnsInBlock(0), A.NumberOfColumnsInBlock(1), A.NumberOfColumnsInBlock(2)}),
            (std::vector<int>{3, 3, 1}));
  EXPECT_EQ(A.BlockContainingColumn(5), 1);
  EXPECT_EQ((std::vector<int>{A.NumberOfRowsInBlockRange(0, 2), A.NumberOfRowsInBlockRange(1, 2),
                              A.NumberOfRowsInBlockRange(2, 1), A.MaxNumberOfColumnsInBlock()}),
            (std::vector<int>{10, 6, 0, 3}));
  for (int i = 0; i < 10; ++i) {  // every row lies in the block whose range holds it
    const int b = A.BlockContainingRow(i);
    EXPECT_TRUE(A.FirstRowInBlock(b) <= i && i < A.FirstRowInBlock(b) + A.NumberOfRowsInBlock(b)) << i;
  }
  EXPECT_EQ(A.RowCSetID(), QORSimDistribution(A.DistributionID()).QueryDrawers()[0].Compartment().CSetID(1));
  // A view keeps the parent's block boundaries, cut to its window, and has a row set of its own.
  std::unique_ptr<QORMtxDenseMatrix> T(A.Submatrix(2, 9, 0, 6));
  EXPECT_EQ(RowsInBlocks(*T, {0, 1, 2}), (std::vector<int>{2, 4, 2}));
  EXPECT_EQ(T->FirstRowInBlock(1), 2);
  EXPECT_NE(T->RowCSetID(), A.RowCSetID());
  EXPECT_EQ(QORSimCSet(T->RowCSetID()).Size(), 8);
  QORMtxDenseMatrix one(Make(*this, 1, 1, -1, -1).id), empty;
  EXPECT_EQ(one.NumberOfRowBlocks() * one.NumberOfColumnBlocks() * one.NumberOfRowsInBlock(0), 1);
  EXPECT_EQ(empty.NumberOfRows() + empty.NumberOfRowBlocks(), 0);
  // A view of a view reads and writes through to the parent.
  std::unique_ptr<QORMtxDenseMatrix> V(A.Submatrix(3, 8, 2, 6));
  std::unique_ptr<QORMtxDenseMatrix> W(V->Submatrix(1, 4, 1, 3));  // rows 4 … 7, columns 3 … 5 of A
  EXPECT_EQ(All(*V), Block(mk.ref, 10, 3, 8, 2, 6));
  EXPECT_EQ(All(*W), Block(mk.ref, 10, 4, 7, 3, 5));
  EXPECT_EQ((std::vector<int>{V->NumberOfRowsInBlock(0), V->NumberOfColumnsInBlock(0), V->NumberOfColumnsInBlock(2)}),
            (std::vector<int>{1, 1, 1}));  // the parent's block boundaries, cut to the window
  double x[4] = {-1, -2, -3, -4};
  W->SetValues(0, 1, 1, 2, x);  // A rows 4 … 5, columns 4 … 5
  mk.ref[4 * 10 + 4] = -1, mk.ref[4 * 10 + 5] = -2, mk.ref[5 * 10 + 4] = -3, mk.ref[5 * 10 + 5] = -4;
  EXPECT_EQ(All(A), mk.ref);

  // The transposed flag reads (and views) the transpose; toggled back, the stored matrix.
  Made t = Make(*this, 6, 5, 4, 2);
  QORMtxDenseMatrix B(t.id);
  B.Transpose();
  EXPECT_EQ((std::vector<int>{B.NumberOfRows(), B.NumberOfRowBlocks()}), (std::vector<int>{5, 3}));
  QORMtxMatrix out(2, 6);
  B.GetValues(0, 1, 0, 5, out);  // the first two stored columns, as rows
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 6; ++j) EXPECT_EQ(out.value(i, j), t.ref[static_cast<size_t>(i) * 6 + j]);
  std::unique_ptr<QORMtxDenseMatrix> U(B.Submatrix(1, 3, 2, 4));
  const std::vector<double> u = All(*U);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_EQ(u[static_cast<size_t>(j) * 3 + i], t.ref[static_cast<size_t>(1 + i) * 6 + 2 + j]);
  B.Transpose();
  EXPECT_EQ(All(B), t.ref);
}

// Round trips of every block, straddling ranges and partial last blocks, over several chunkings.
TEST_F(Dense, RangeReadsAndWritesMatchReference) {
  struct Shape {
    int m, n, rc, cc;
  };
  for (const Shape s : {Shape{10, 7, 4, 3}, Shape{9, 9, 3, 3}, Shape{5, 8, -1, -1}, Shape{13, 4, 5, -1}}) {
    Made mk = Make(*this, s.m, s.n, s.rc, s.cc);
    QORMtxDenseMatrix A(mk.id);
    EXPECT_EQ(All(A), mk.ref);
    for (int rb = 0; rb < A.NumberOfRowBlocks(); ++rb)
      for (int cb = 0; cb < A.NumberOfColumnBlocks(); ++cb) {
        const int r0 = A.FirstRowInBlock(rb), r1 = r0 + A.NumberOfRowsInBlock(rb) - 1;
        const int c0 = A.FirstColumnInBlock(cb), c1 = c0 + A.NumberOfColumnsInBlock(cb) - 1;
        QORMtxMatrix out(A.MaxNumberOfRowsInBlock(), A.MaxNumberOfColumnsInBlock());
        A.GetValues(r0, r1, c0, c1, out);
        const std::vector<double> want = Block(mk.ref, s.m, r0, r1, c0, c1);
        EXPECT_EQ(std::vector<double>(out.Values(), out.Values() + want.size()), want);
      }
    // A window across block boundaries, written with new values and read back whole.
    const int r0 = 1, r1 = s.m - 2, c0 = 1, c1 = s.n - 1;
    std::vector<double> w = Pattern(r1 - r0 + 1, c1 - c0 + 1, 7);
    QORMtxMatrix in(r1 - r0 + 1, c1 - c0 + 1, w.data());
    A.SetValues(r0, r1, c0, c1, in);
    for (int j = c0; j <= c1; ++j)
      for (int i = r0; i <= r1; ++i)
        mk.ref[static_cast<size_t>(j) * s.m + i] = w[static_cast<size_t>(j - c0) * (r1 - r0 + 1) + (i - r0)];
    EXPECT_EQ(All(A), mk.ref) << s.m << "x" << s.n;
  }
}

TEST_F(Dense, ListAndSetTransfers) {
  Made mk = Make(*this, 8, 6, 3, 4);
  QORMtxDenseMatrix A(mk.id);
  auto at = [&](int i, int j) { return mk.ref[static_cast<size_t>(j) * 8 + i]; };
  const int rows[] = {7, 0, 3, 3}, cols[] = {5, 1};
  QORMtxMatrix out(4, 2), allCols(2, 6);
  A.GetValues(rows, 4, cols, 2, out);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_EQ(out.value(i, j), at(rows[i], cols[j]));
  A.GetValues(rows, 2, nullptr, 5, allCols);
  EXPECT_EQ(allCols.value(0, 4), at(7, 4));
  // Lists on a view count from the view's corner (rows 2 … 7, columns 1 … 5 of A); a listed write lands there.
  std::unique_ptr<QORMtxDenseMatrix> V(A.Submatrix(2, 7, 1, 5));
  const int vrows[] = {5, 0, 2}, vcols[] = {4, 0};
  QORMtxMatrix vout(3, 2);
  V->GetValues(vrows, 3, vcols, 2, vout);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_EQ(vout.value(i, j), at(2 + vrows[i], 1 + vcols[j]));
  vout.Multiply(-1.0);
  V->SetValues(vrows, 3, vcols, 2, vout);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) mk.ref[static_cast<size_t>(1 + vcols[j]) * 8 + 2 + vrows[i]] = vout.value(i, j);
  EXPECT_EQ(All(A), mk.ref);
  // Set forms: rows of a set of the row collection (all columns), doubled and written back; columns; both.
  const int rowOrds[] = {5, 2};
  const QORSimCSetID rowSet = QORSimCollection(A.RowCSetID().CollectionID()).CreateVolatileOrderedCSet(rowOrds, 2);
  const QORSimCSetID colSet = QORSimCollection(A.ColumnCSetID().CollectionID()).CreateVolatileOrderedCSet(cols, 2);
  QORMtxMatrix r(2, 6), c(8, 2), s(2, 2);
  A.GetRows(QORSimCSet(rowSet), r);
  for (int j = 0; j < 6; ++j) EXPECT_EQ(r.value(1, j), at(2, j));
  r.Multiply(2.0);
  A.SetRows(QORSimCSet(rowSet), r);
  for (int j = 0; j < 6; ++j) mk.ref[static_cast<size_t>(j) * 8 + 5] *= 2, mk.ref[static_cast<size_t>(j) * 8 + 2] *= 2;
  EXPECT_EQ(All(A), mk.ref);
  A.GetColumns(QORSimCSet(colSet), c);
  EXPECT_EQ(c.value(6, 0), at(6, 5));
  A.GetValues(QORSimCSet(rowSet), QORSimCSet(colSet), s);
  EXPECT_EQ(s.value(0, 1), at(5, 1));
}

TEST_F(Dense, PackedTrianglesSymmetryAndWholeMatrixOps) {
  // 150 × 150 with a 1 MB machine (13107 doubles of buffer): the triangles are read in two bands, never whole.
  QORBasMemInfo::SetPhysicalOverride(1);
  for (const int n : {150, 5}) {
    Made mk = Make(*this, n, n, n == 5 ? 2 : 20, n == 5 ? 2 : 30);
    QORMtxDenseMatrix A(mk.id);
    const size_t packed = static_cast<size_t>(n) * (n + 1) / 2;
    std::vector<double> up(packed), lo(packed), sym(packed);
    {
      stored_test::PeakAllocation peak;
      A.GetUpperValues(up.data());
      A.GetLowerValues(lo.data());
      A.GetSymmetricValues(sym.data());
      EXPECT_LE(peak.Doubles(), static_cast<size_t>(QORMtxUtilities::MaxDoublesInBuffer(0.1)));
    }
    auto at = [&](int i, int j) { return mk.ref[static_cast<size_t>(j) * n + i]; };
    for (int j = 0, k = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i, ++k) {
        ASSERT_EQ(up[k], at(i, j)) << n;
        ASSERT_EQ(sym[k], (at(i, j) + at(j, i)) * 0.5) << n;
        ASSERT_EQ(lo[k], at(j, i)) << n;  // the lower triangle by rows is the upper one by columns, mirrored
      }
  }
  QORBasMemInfo::SetPhysicalOverride(0);
  Made mk = Make(*this, 5, 5, 2, 2);
  QORMtxDenseMatrix A(mk.id);
  auto at = [&](int i, int j) { return mk.ref[static_cast<size_t>(j) * 5 + i]; };
  EXPECT_FALSE(A.IsSymmetric());
  // Symmetric through AddAssign of its transpose, then scaled; added into an in-core matrix.
  QORMtxDenseMatrix T(Make(*this, 5, 5, 2, 2).id);
  T.Transpose();
  A.AddAssign(T);
  EXPECT_TRUE(A.IsSymmetric());
  A.Scale(0.5);
  std::vector<double> got = All(A);
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i) EXPECT_EQ(got[static_cast<size_t>(j) * 5 + i], (at(i, j) + at(j, i)) * 0.5);
  QORMtxMatrix M(5, 5, QORMtxMatrix::DIAG);
  M = 1.0;
  M.Add(2.0, A);
  EXPECT_EQ(M.value(0, 1), 2.0 * got[5]);
  EXPECT_EQ(M.value(2, 2), 1.0 + 2.0 * got[12]);
  // CopyValues leaves rows and columns past rhs's untouched.
  Made small = Make(*this, 3, 4, 2, 3, 3);
  QORMtxDenseMatrix B(Make(*this, 6, 5, 4, 2, 1).id);
  std::vector<double> want = All(B);
  const QORMtxDenseMatrix S(small.id);
  B.CopyValues(&S);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 3; ++i) want[static_cast<size_t>(j) * 6 + i] = small.ref[static_cast<size_t>(j) * 3 + i];
  EXPECT_EQ(All(B), want);
}

TEST_F(Dense, VectorsExtensionAccessAndPersistence) {
  QORMtxDenseMatrix v(QORMtxUtilities::Create1DDistribution(NewSet(7), 3));
  EXPECT_EQ((std::vector<int>{v.NumberOfColumns(), v.NumberOfRowBlocks()}), (std::vector<int>{1, 3}));
  const std::vector<double> x = Pattern(7, 1);
  v.SetValues(0, 6, 0, 0, x.data());
  std::vector<double> part(3);
  v.GetValues(2, 4, 0, 0, part.data());
  EXPECT_EQ(part, (std::vector<double>{x[2], x[3], x[4]}));
  EXPECT_QORMTX_ASSERTION(v.Transpose(), "numDim == 2");

  // Columns grow on the extendable dimension; old values stay, new ones read 0. Refusals return their codes.
  Made mk = Make(*this, 4, 5, 2, 4);
  QORMtxDenseMatrix A(mk.id);
  EXPECT_EQ(A.ExtendableDim(), 0);
  EXPECT_TRUE(A.BlockAllocated(1, 1));
  EXPECT_EQ(A.ExtendDim(0, 4, nullptr), 0);
  EXPECT_EQ((std::vector<int>{A.NumberOfColumns(), A.NumberOfColumnBlocks(), A.NumberOfColumnsInBlock(2)}),
            (std::vector<int>{9, 3, 1}));
  std::vector<double> want = mk.ref;
  want.resize(36, 0.0);
  EXPECT_EQ(All(A), want);
  EXPECT_FALSE(A.BlockAllocated(0, 2));
  const int clash[] = {5};
  EXPECT_EQ((std::vector<int>{A.ExtendDim(0, 1, clash), A.ExtendDim(2, 1, nullptr), A.ExtendDim(0, 0, nullptr),
                              std::unique_ptr<QORMtxDenseMatrix>(A.Submatrix(0, 1, 0, 1))->ExtendDim(0, 1, nullptr)}),
            (std::vector<int>{4, 3, 2, 1}));

  // Cache sizes: a column of chunks, the whole matrix, restored, items.
  QORSimDistribution dist(A.DistributionID());
  std::vector<uint64_t> sizes;
  const std::pair<QORMtxAccessType, int> accesses[] = {
      {ColumnAccess, 0}, {FullAccess, 0}, {RestoreAccess, 0}, {ItemAccess, 10}};
  for (const auto& [access, items] : accesses) {
    A.SetAccess(access, items);
    sizes.push_back(dist.CacheSize());
  }
  EXPECT_EQ(sizes, (std::vector<uint64_t>{2 * 2 * 4 * 8, 4 * 9 * 8, 2 * 2 * 4 * 8, 80}));

  // Values persist across closing and reopening the database.
  const int num = A.DistributionID().Number();
  m_db.Close();
  m_db.Open(DbPath().c_str());
  QORMtxDenseMatrix R(QORSimDistributionID(m_db.ContextID(), num));
  EXPECT_EQ(R.NumberOfColumns(), 9);
  EXPECT_EQ(All(R), want);
  // Rows grow too, though the extendable dimension is the columns': a partial row block becomes full, a new one
  // reads 0 until written, and what is written there survives.
  EXPECT_EQ(R.ExtendDim(1, 3, nullptr), 0);
  EXPECT_EQ((std::vector<int>{R.NumberOfRows(), R.NumberOfRowBlocks()}), (std::vector<int>{7, 4}));
  std::vector<double> grown(63, 0.0);
  for (int j = 0; j < 9; ++j)
    for (int i = 0; i < 4; ++i) grown[static_cast<size_t>(j) * 7 + i] = want[static_cast<size_t>(j) * 4 + i];
  EXPECT_EQ(All(R), grown);
  const std::vector<double> row = Pattern(1, 9, 3);
  R.SetValues(6, 6, 0, 8, row.data());
  for (int j = 0; j < 9; ++j) grown[static_cast<size_t>(j) * 7 + 6] = row[static_cast<size_t>(j)];
  EXPECT_EQ(All(R), grown);
}

TEST_F(Dense, Preconditions) {
  QORMtxDenseMatrix A(Make(*this, 4, 3, 2, 2).id);
  QORMtxMatrix small(2, 2);
  std::vector<double> buf(16);
  EXPECT_QORMTX_ASSERTION(A.GetValues(0, 3, 0, 2, small), "requiredBufferSize <= bufferSize");
  EXPECT_QORMTX_ASSERTION(A.GetValues(0, 4, 0, 0, small),
                          "startRow >= 0 && startCol >= 0 && lastRow < m_numRows && lastCol < m_numCols");
  EXPECT_QORMTX_ASSERTION(A.GetValues(1, 0, 0, 0, small), "lastRow >= startRow && lastCol >= startCol");
  EXPECT_QORMTX_ASSERTION(A.BlockContainingRow(4), "i>=0 && i<m_numRows");
  EXPECT_QORMTX_ASSERTION(A.BlockContainingColumn(-1), "j>=0 && j<m_numCols");
  EXPECT_QORMTX_ASSERTION(A.Submatrix(0, 4, 0, 0), "endRow<rhs.NumberOfRows() && endCol<rhs.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(A.Submatrix(2, 1, 0, 0), "startRow<=endRow && startCol<=endCol");
  EXPECT_QORMTX_ASSERTION(A.GetValues(nullptr, 2, nullptr, 2, small),
                          "rowNumbers && numRows > 0 || !rowNumbers && numRows == m_numRows-1");
  EXPECT_QORMTX_ASSERTION(A.GetUpperValues(buf.data()), "nRows == nColumns");
  QORMtxDenseMatrix B(Make(*this, 3, 3, -1, -1).id);
  EXPECT_QORMTX_ASSERTION(A.AddAssign(B), "nrowA==nrowB && ncolA==ncolB");
  EXPECT_QORMTX_ASSERTION(B.CopyValues(&A), "numRows <= m_numRows && rhs->NumberOfColumns() <= m_numCols");
  EXPECT_QORMTX_ASSERTION(B.BlockAllocated(0, 0), "drawerDescriptions[0].IsChunked()");
  EXPECT_QORMTX_ASSERTION(QORMtxDenseMatrix().DistributionID(), "!m_distribution.IsMasked()");
  QORMtxMatrix M(3, 3);
  EXPECT_QORMTX_ASSERTION(M.Add(1.0, A), "numRows == numRowsB && numCols == numColsB");
  QORSimPosition pos(Ctx());
  const QORSimDistributionID three =
      QORMtxUtilities::CreateDistribution(pos, -1, {NewSet(2), NewSet(2), NewSet(2)}, {}, false);
  EXPECT_QORMTX_ASSERTION(QORMtxDenseMatrix{three}, "numDim == 2 || numDim == 1");
}

}  // namespace
