// QORMtxOperations: unmapped in-core, energy and sparse-times-stored products (static operations only).
#include "QORMtxOperations.h"

#include <algorithm>
#include <memory>

#include "QORMtxAssert.h"
#include "QORMtxBLA.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "blac.h"

// These operations report failures under their file's name without its extension.
#define QORMTX_OPERATIONS_ASSERT(cond) QORMTX_ASSERT_AT(cond, "QORMtx/QORMtxCore.m/src/QORMtxOperations")

void QORMtxOperations::Multiply(const QORMtxMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& C, double alpha,
                                double beta) {
  QORMTX_OPERATIONS_ASSERT(!A.IsDiagonal() && !B.IsDiagonal() && !B.IsDiagonal());
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns();
  const int numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_OPERATIONS_ASSERT(numRowsB == numColsA && numRowsC == numRowsA && numColsC == numColsB);
  if (numRowsC == 0 || numColsC == 0) return;
  // The kernel wants leading dimensions of at least 1 even for an empty inner dimension.
  const int lda = std::max(1, numRowsA), ldb = std::max(1, numRowsB), ldc = numRowsC;
  blac_dgemm("N", "N", &numRowsA, &numColsB, &numColsA, &alpha, A.Values(), &lda, B.Values(), &ldb, &beta, C.Values(),
             &ldc);
}

void QORMtxOperations::EnergyProducts(const QORMtxMatrix& A, const QORMtxMatrix& B, double* products, double* work) {
  QORMTX_OPERATIONS_ASSERT(!!A && !!B && products && A.IsSquare());
  const int m = A.NumberOfRows(), n = B.NumberOfColumns();
  QORMTX_OPERATIONS_ASSERT(m == B.NumberOfRows());
  QORMtxMatrix W;
  if (work)
    W.Reset(m, n, work);
  else
    W.Reset(m, n);
  QORMtxBLA::Multiply(1.0, A, QORMtxBLA::NOOP, B, QORMtxBLA::NOOP, 0.0, W, QORMtxBLA::UNKNOWN, 0);
  const int one = 1;
  for (int j = 0; j < n; ++j) {
    const size_t at = static_cast<size_t>(m) * j;
    products[j] = blac_ddot(&m, B.Values() + at, &one, W.Values() + at, &one);
  }
}

// Column r of CT is row r of the product: each stored entry adds a multiple of one contiguous column of BT.
void QORMtxOperations::FastIncoreMultiply(const QORMtxSparseMatrix& K, bool trans, const QORMtxMatrix& BT,
                                          QORMtxMatrix& CT) {
  const int numCols = BT.NumberOfRows();
  QORMTX_OPERATIONS_ASSERT(numCols == CT.NumberOfRows());
  std::fill(CT.Values(), CT.Values() + CT.LengthOfArray(), 0.0);
  QORMtxSparseMatrixIterator it(K);
  const bool symmetric = it.IsSymmetric();
  if (symmetric) trans = false;
  const size_t ld = static_cast<size_t>(numCols);
  for (; !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (e.m_value == 0.0) continue;
    const double* btRow = BT.Values() + ld * e.m_row;
    const double* btCol = BT.Values() + ld * e.m_col;
    if (!trans) qormtx_daxpy(&numCols, &e.m_value, btCol, CT.Values() + ld * e.m_row);
    if ((symmetric && e.m_row != e.m_col) || trans)
      qormtx_daxpy(&numCols, &e.m_value, btRow, CT.Values() + ld * e.m_col);
  }
}

void QORMtxOperations::Multiply(const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C,
                                bool trans) {
  const int rowsB = B.NumberOfRows(), rowsC = C.NumberOfRows();
  if (rowsB == 0 || B.NumberOfColumns() == 0) return;
  // Transposed copies put one column block of B (and of C) in contiguous rows of the block's width.
  std::unique_ptr<QORMtxDenseMatrix> copy(B.Submatrix(0, rowsB - 1, 0, B.NumberOfColumns() - 1));
  copy->Transpose();
  C.Transpose();
  for (int b = 0; b < B.NumberOfColumnBlocks(); ++b) {
    const int first = B.FirstColumnInBlock(b), w = B.NumberOfColumnsInBlock(b);
    QORMtxMatrix BT(w, rowsB), CT(w, rowsC);
    copy->GetValues(first, first + w - 1, 0, rowsB - 1, BT);
    FastIncoreMultiply(K, trans, BT, CT);
    if (rowsC > 0) C.SetValues(first, first + w - 1, 0, rowsC - 1, CT);
  }
  C.Transpose();
}
