// Stored dense matrices: block geometry and transfers against an in-core reference, views, transposition, extension.
#include <algorithm>
#include <memory>

#include "QORBasMemInfo.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "naive_matrix.h"
#include "stored_util.h"

namespace {

using stored_test::Pattern;
using ref::Load;
using Dense = stored_test::StoredTest;

// A stored rows × cols matrix chunked rowChunk × colChunk (-1: unchunked) holding Pattern(salt), with its reference.
struct Made {
  QORSimDistributionID id;
  ref::Dense ref;
};
Made Make(Dense& t, int rows, int cols, int rowChunk, int colChunk, int salt = 0) {
  ref::Dense d(rows, cols);
  d.a = Pattern(rows, cols, salt);
  return {ref::Store(t.Ctx(), d, rowChunk, colChunk), d};
}

// The sizes of the blocks of chunk positions (-1: one block) that meet positions first … last.
std::vector<int> Sizes(int chunk, int first, int last) {
  std::vector<int> sizes;
  const int step = chunk > 0 ? chunk : last + 1;
  for (int b = first - first % step; b <= last; b += step)
    sizes.push_back(std::min(b + step - 1, last) - std::max(b, first) + 1);
  return sizes;
}

// Block counts, sizes, firsts, the largest, and the block of every row and column against the expected sizes.
void ExpectGeometry(const QORMtxDenseMatrix& A, const std::vector<int>& rows, const std::vector<int>& cols) {
  std::vector<int> gotRows, gotCols;
  for (int b = 0; b < A.NumberOfRowBlocks(); ++b) gotRows.push_back(A.NumberOfRowsInBlock(b));
  for (int b = 0; b < A.NumberOfColumnBlocks(); ++b) gotCols.push_back(A.NumberOfColumnsInBlock(b));
  ASSERT_EQ(gotRows, rows);
  ASSERT_EQ(gotCols, cols);
  EXPECT_EQ(A.MaxNumberOfRowsInBlock(), *std::max_element(rows.begin(), rows.end()));
  EXPECT_EQ(A.MaxNumberOfColumnsInBlock(), *std::max_element(cols.begin(), cols.end()));
  for (int i = 0, b = 0, first = 0; i < A.NumberOfRows(); ++i) {
    if (i == first + rows[b]) first += rows[b++];
    EXPECT_TRUE(A.BlockContainingRow(i) == b && A.FirstRowInBlock(b) == first) << "row " << i;
  }
  for (int j = 0, b = 0, first = 0; j < A.NumberOfColumns(); ++j) {
    if (j == first + cols[b]) first += cols[b++];
    EXPECT_TRUE(A.BlockContainingColumn(j) == b && A.FirstColumnInBlock(b) == first) << "column " << j;
  }
}

// Every chunking, the whole matrix and a view that starts and ends inside blocks: geometry, each block read on its
// own, and a window across block boundaries written and read back whole.
TEST_F(Dense, GeometryAndBlockTransfersOfMatricesAndViews) {
  struct Shape {
    int m, n, rc, cc;
  };
  for (const Shape s :
       {Shape{10, 7, 4, 3}, Shape{9, 9, 3, 3}, Shape{5, 8, -1, -1}, Shape{13, 4, 5, -1}, Shape{1, 1, -1, -1}}) {
    SCOPED_TRACE(testing::Message() << s.m << "x" << s.n << " chunks " << s.rc << "x" << s.cc);
    Made mk = Make(*this, s.m, s.n, s.rc, s.cc);
    QORMtxDenseMatrix A(mk.id);
    std::unique_ptr<QORMtxDenseMatrix> view(s.m > 2 ? A.Submatrix(1, s.m - 2, 1, s.n - 1) : nullptr);
    for (const QORMtxDenseMatrix* X : {&A, view.get()}) {
      if (!X) continue;
      const int r0 = X == &A ? 0 : 1, c0 = X == &A ? 0 : 1;
      const ref::Dense x = mk.ref.Block(r0, r0 + X->NumberOfRows() - 1, c0, c0 + X->NumberOfColumns() - 1);
      ExpectGeometry(*X, Sizes(s.rc, r0, r0 + x.rows - 1), Sizes(s.cc, c0, c0 + x.cols - 1));
      EXPECT_EQ(Load(*X).a, x.a);
      for (int rb = 0; rb < X->NumberOfRowBlocks(); ++rb)
        for (int cb = 0; cb < X->NumberOfColumnBlocks(); ++cb) {
          const int i0 = X->FirstRowInBlock(rb), i1 = i0 + X->NumberOfRowsInBlock(rb) - 1;
          const int j0 = X->FirstColumnInBlock(cb), j1 = j0 + X->NumberOfColumnsInBlock(cb) - 1;
          QORMtxMatrix out(X->MaxNumberOfRowsInBlock(), X->MaxNumberOfColumnsInBlock());
          X->GetValues(i0, i1, j0, j1, out);
          const std::vector<double> want = x.Block(i0, i1, j0, j1).a;
          EXPECT_EQ(std::vector<double>(out.Values(), out.Values() + want.size()), want) << rb << "," << cb;
        }
    }
    if (!view) continue;
    const ref::Dense w = naive::Random(s.m - 2, s.n - 1, 7);
    A.SetValues(1, s.m - 2, 1, s.n - 1, naive::ToMatrix(w));
    mk.ref.SetBlock(1, 1, w);
    EXPECT_EQ(Load(A).a, mk.ref.a);
    EXPECT_EQ(QORSimCSet(view->RowCSetID()).Size(), s.m - 2);  // a row set of its own
    EXPECT_NE(view->RowCSetID(), A.RowCSetID());
  }
  // Block numbers outside the matrix: none before, the last one's size past the end; empty block ranges.
  QORMtxDenseMatrix A(Make(*this, 10, 7, 4, 3).id), empty;
  EXPECT_EQ((std::vector<int>{A.NumberOfRowsInBlock(-1), A.NumberOfRowsInBlock(5), A.NumberOfRowsInBlockRange(1, 2),
                              A.NumberOfRowsInBlockRange(2, 1), empty.NumberOfRows() + empty.NumberOfRowBlocks()}),
            (std::vector<int>{0, 2, 6, 0, 0}));
  EXPECT_EQ(A.RowCSetID(), QORSimDistribution(A.DistributionID()).QueryDrawers()[0].Compartment().CSetID(1));
}

TEST_F(Dense, ViewsOfViewsAndTheTransposedFlag) {
  Made mk = Make(*this, 10, 7, 4, 3);
  QORMtxDenseMatrix A(mk.id);
  std::unique_ptr<QORMtxDenseMatrix> V(A.Submatrix(3, 8, 2, 6));
  std::unique_ptr<QORMtxDenseMatrix> W(V->Submatrix(1, 4, 1, 3));  // rows 4 … 7, columns 3 … 5 of A
  ExpectGeometry(*W, Sizes(4, 4, 7), Sizes(3, 3, 5));
  EXPECT_EQ(Load(*W).a, mk.ref.Block(4, 7, 3, 5).a);
  const ref::Dense x = naive::Random(2, 2, 3);
  W->SetValues(0, 1, 1, 2, naive::ToMatrix(x));  // reads and writes go through to A: rows 4 … 5, columns 4 … 5
  mk.ref.SetBlock(4, 4, x);
  EXPECT_EQ(Load(A).a, mk.ref.a);

  // The transposed flag reads (and views) the transpose; toggled back, the stored matrix.
  Made t = Make(*this, 6, 5, 4, 2);
  const ref::Dense tt = ref::Transpose(t.ref);
  QORMtxDenseMatrix B(t.id);
  B.Transpose();
  ExpectGeometry(B, Sizes(2, 0, 4), Sizes(4, 0, 5));
  QORMtxMatrix out(2, 6);
  B.GetValues(0, 1, 0, 5, out);
  EXPECT_TRUE(naive::Near(out, tt.Block(0, 1, 0, 5), 0.0));
  EXPECT_EQ(Load(*std::unique_ptr<QORMtxDenseMatrix>(B.Submatrix(1, 3, 2, 4))).a, tt.Block(1, 3, 2, 4).a);
  B.Transpose();
  EXPECT_EQ(Load(B).a, t.ref.a);
}

TEST_F(Dense, ListAndSetTransfers) {
  Made mk = Make(*this, 8, 6, 3, 4);
  QORMtxDenseMatrix A(mk.id);
  const std::vector<int> rows = {7, 0, 3, 3}, cols = {5, 1};
  QORMtxMatrix out(4, 2), allCols(2, 6);
  A.GetValues(rows.data(), 4, cols.data(), 2, out);
  EXPECT_TRUE(naive::Near(out, naive::Pick(mk.ref, rows, cols), 0.0));
  A.GetValues(rows.data(), 2, nullptr, 5, allCols);  // no column list: all columns
  EXPECT_TRUE(naive::Near(allCols, naive::Pick(mk.ref, {7, 0}, naive::Range(0, 5)), 0.0));
  // Lists on a view count from the view's corner (rows 2 … 7, columns 1 … 5 of A); a listed write lands there.
  std::unique_ptr<QORMtxDenseMatrix> V(A.Submatrix(2, 7, 1, 5));
  const std::vector<int> vrows = {5, 0, 2}, vcols = {4, 0}, arows = {7, 2, 4}, acols = {5, 1};
  QORMtxMatrix vout(3, 2);
  V->GetValues(vrows.data(), 3, vcols.data(), 2, vout);
  EXPECT_TRUE(naive::Near(vout, naive::Pick(mk.ref, arows, acols), 0.0));
  vout.Multiply(-1.0);
  V->SetValues(vrows.data(), 3, vcols.data(), 2, vout);
  mk.ref = naive::Put(mk.ref, arows, acols, naive::FromMatrix(vout));
  EXPECT_EQ(Load(A).a, mk.ref.a);
  // Set forms: rows of a set of the row collection (all columns), doubled and written back; columns; both.
  const int rowOrds[] = {5, 2};
  const QORSimCSetID rowSet = QORSimCollection(A.RowCSetID().CollectionID()).CreateVolatileOrderedCSet(rowOrds, 2);
  const QORSimCSetID colSet =
      QORSimCollection(A.ColumnCSetID().CollectionID()).CreateVolatileOrderedCSet(cols.data(), 2);
  QORMtxMatrix r(2, 6), c(8, 2), s(2, 2);
  A.GetRows(QORSimCSet(rowSet), r);
  EXPECT_TRUE(naive::Near(r, naive::Pick(mk.ref, {5, 2}, naive::Range(0, 5)), 0.0));
  r.Multiply(2.0);
  A.SetRows(QORSimCSet(rowSet), r);
  mk.ref = naive::Put(mk.ref, {5, 2}, naive::Range(0, 5), naive::FromMatrix(r));
  EXPECT_EQ(Load(A).a, mk.ref.a);
  A.GetColumns(QORSimCSet(colSet), c);
  EXPECT_TRUE(naive::Near(c, naive::Pick(mk.ref, naive::Range(0, 7), cols), 0.0));
  A.GetValues(QORSimCSet(rowSet), QORSimCSet(colSet), s);
  EXPECT_TRUE(naive::Near(s, naive::Pick(mk.ref, {5, 2}, cols), 0.0));
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
    const ref::Dense& a = mk.ref;
    for (int j = 0, k = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i, ++k) {
        ASSERT_EQ(up[k], a(i, j)) << n;
        ASSERT_EQ(sym[k], (a(i, j) + a(j, i)) * 0.5) << n;
        ASSERT_EQ(lo[k], a(j, i)) << n;  // the lower triangle by rows is the upper one by columns, mirrored
      }
  }
  QORBasMemInfo::SetPhysicalOverride(0);
  Made mk = Make(*this, 5, 5, 2, 2);
  QORMtxDenseMatrix A(mk.id);
  EXPECT_FALSE(A.IsSymmetric());
  // Symmetric through AddAssign of its transpose, then scaled; added into an in-core DIAG matrix, which expands.
  QORMtxDenseMatrix T(Make(*this, 5, 5, 2, 2).id);
  T.Transpose();
  A.AddAssign(T);
  EXPECT_TRUE(A.IsSymmetric());
  A.Scale(0.5);
  const ref::Dense s = ref::Lin(0.5, mk.ref, 0.5, ref::Transpose(mk.ref));
  EXPECT_EQ(Load(A).a, s.a);
  QORMtxMatrix M = naive::Diagonal(std::vector<double>(5, 1.0));
  M.Add(2.0, A);
  EXPECT_TRUE(naive::Near(M, ref::Lin(1.0, naive::DiagonalDense(std::vector<double>(5, 1.0)), 2.0, s), 0.0));
  // CopyValues leaves rows and columns past rhs's untouched.
  Made small = Make(*this, 3, 4, 2, 3, 3), big = Make(*this, 6, 5, 4, 2, 1);
  QORMtxDenseMatrix B(big.id);
  const QORMtxDenseMatrix S(small.id);
  B.CopyValues(&S);
  big.ref.SetBlock(0, 0, small.ref);
  EXPECT_EQ(Load(B).a, big.ref.a);
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
  ExpectGeometry(A, {2, 2}, {4, 4, 1});
  ref::Dense want(4, 9);
  want.SetBlock(0, 0, mk.ref);
  EXPECT_EQ(Load(A).a, want.a);
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

  // Values persist across closing and reopening the database. Rows grow too, though the extendable dimension is
  // the columns': a partial row block becomes full, a new one reads 0 until written, and what is written survives.
  const int num = A.DistributionID().Number();
  m_db.Close();
  m_db.Open(DbPath().c_str());
  QORMtxDenseMatrix R(QORSimDistributionID(m_db.ContextID(), num));
  EXPECT_EQ(Load(R).a, want.a);
  EXPECT_EQ(R.ExtendDim(1, 3, nullptr), 0);
  ExpectGeometry(R, {2, 2, 2, 1}, {4, 4, 1});
  ref::Dense grown(7, 9);
  grown.SetBlock(0, 0, want);
  EXPECT_EQ(Load(R).a, grown.a);
  const ref::Dense row = naive::Random(1, 9, 3);
  R.SetValues(6, 6, 0, 8, row.a.data());
  grown.SetBlock(6, 0, row);
  EXPECT_EQ(Load(R).a, grown.a);
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
