// QORMtxUtilities, sparse part: dense expansion of sparse matrices (in core and stored), elimination, patterns.
#include <cstdio>

#include "QORMtxAssert.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"

void QORMtxUtilities::Sparse2Core(const QORMtxSparseMatrix& S, QORMtxMatrix& M) {
  const int numRows = S.NumberOfRows(), numCols = S.NumberOfColumns();
  // A dense matrix has no shape with exactly one zero count: such a sparse matrix has no element to copy.
  if (numRows == 0 || numCols == 0) {
    M.Reset();
    return;
  }
  M.Reset(numRows, numCols, QORMtxMatrix::UNKNOWN);
  M.Assign(0.0);
  QORMtxSparseMatrixIterator it(S);
  const bool mirror = it.IsSymmetric();
  for (; !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    M.FastGet(static_cast<int>(e.m_row), static_cast<int>(e.m_col)) = e.m_value;
    if (mirror && e.m_row != e.m_col) M.FastGet(static_cast<int>(e.m_col), static_cast<int>(e.m_row)) = e.m_value;
  }
}

void QORMtxUtilities::Sparse2Dense(const QORMtxSparseMatrix& S, QORMtxDenseMatrix& dense) {
  const int nrows = S.NumberOfRows(), ncols = S.NumberOfColumns();
  QORMTX_ASSERT(nrows <= dense.NumberOfRows() && ncols <= dense.NumberOfColumns());
  if (nrows == 0 || ncols == 0) return;
  QORMtxMatrix M;
  Sparse2Core(S, M);
  dense.SetValues(0, nrows - 1, 0, ncols - 1, M);
}

namespace {
// The indices 0..n-1 that the ascending list does not name, in order.
QORBasVector<int> Kept(int n, const QORBasVector<int>& removed) {
  QORBasVector<int> kept;
  kept.reserve(n - removed.size());
  int next = 0;
  for (int i = 0; i < n; ++i) {
    if (next < removed.size() && removed[next] == i)
      ++next;
    else
      kept.push_back(i);
  }
  return kept;
}
}  // namespace

QORMtxMatrix* QORMtxUtilities::EliminateRowsCols(const QORMtxMatrix& A, QORBasVector<int> rows,
                                                 QORBasVector<int> cols) {
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns();
  // Each list must be strictly ascending inside A, so that the result is exactly the shape minus the lists.
  for (int i = 0; i < rows.size(); ++i)
    QORMTX_ASSERT(rows[i] >= 0 && rows[i] < numRowsA && (i == 0 || rows[i - 1] < rows[i]));
  for (int j = 0; j < cols.size(); ++j)
    QORMTX_ASSERT(cols[j] >= 0 && cols[j] < numColsA && (j == 0 || cols[j - 1] < cols[j]));

  const QORBasVector<int> keptRows = Kept(numRowsA, rows);
  const QORBasVector<int> keptCols = Kept(numColsA, cols);
  rows.Clear();
  cols.Clear();
  auto* B = new QORMtxMatrix();
  if (keptRows.size() == 0 || keptCols.size() == 0) return B;

  if (A.IsDiagonal() && keptRows == keptCols) {
    B->Reset(keptRows.size(), keptCols.size(), QORMtxMatrix::DIAG);
    for (int i = 0; i < keptRows.size(); ++i) B->value(i, i) = A.value(keptRows[i], keptRows[i]);
    return B;
  }
  B->Reset(keptRows.size(), keptCols.size(), A.IsDiagonal() ? QORMtxMatrix::UNKNOWN : A.Type());
  for (int j = 0; j < keptCols.size(); ++j)
    for (int i = 0; i < keptRows.size(); ++i) B->FastGet(i, j) = A.value(keptRows[i], keptCols[j]);
  return B;
}

void QORMtxUtilities::ExpandSymmetric(int numRows, const unsigned* rowP, const int* colI,
                                      QORBasVector<unsigned>& outRowP, QORBasVector<int>& outColI) {
  std::printf("*** QORMtxUtilities::Desymmetrize: numRows=%i, nnz=%u\n", numRows, rowP[numRows]);
  // Every stored value appears twice in the result, whose columns an int-sized vector holds.
  QORMTX_ASSERT(numRows < 2147483647 && rowP[numRows] <= 1073741823u &&
                "the expanded pattern would hold more than 2^31 - 1 entries");
  outRowP.resize(numRows + 1);
  for (int r = 0; r <= numRows; ++r) outRowP[r] = 0;
  for (int r = 0; r < numRows; ++r)
    for (unsigned k = rowP[r]; k < rowP[r + 1]; ++k) {
      ++outRowP[r + 1];
      ++outRowP[colI[k] + 1];
    }
  qormtx_sparse::CountsToStarts(outRowP.data(), static_cast<size_t>(numRows));
  outColI.resize(static_cast<int>(outRowP[numRows]));
  QORBasVector<unsigned> cursor(outRowP.begin(), outRowP.end() - 1);
  for (int r = 0; r < numRows; ++r)
    for (unsigned k = rowP[r]; k < rowP[r + 1]; ++k) {
      const int c = colI[k];
      outColI[static_cast<int>(cursor[r]++)] = c;
      outColI[static_cast<int>(cursor[c]++)] = r;
    }
}
