// QORMtxSparseMatrixIterator: the one walk over the entries of a sparse matrix that every consumer uses.
#include "QORMtxSparseMatrixIterator.h"

#include "QORMtxAssert.h"

QORMtxSparseMatrixIterator::QORMtxSparseMatrixIterator(const QORMtxSparseMatrix& matrix) : m_matrix(&matrix) {
  First();
}

void QORMtxSparseMatrixIterator::SeekRow(int row) {
  const QORMtxSparseMatrix& A = *m_matrix;
  m_row = row;
  if (A.m_diagonal) {
    // Symmetric storage: every row yields at least its diagonal entry.
    if (m_row < A.m_numRows) {
      m_pos = -1;
      m_rowSize = static_cast<int>(A.m_rowP[m_row + 1] - A.m_rowP[m_row]);
    }
    return;
  }
  m_pos = 0;
  m_rowSize = 0;
  while (m_row < A.m_numRows) {
    m_rowSize = static_cast<int>(A.m_rowP[m_row + 1] - A.m_rowP[m_row]);
    if (m_rowSize > 0) return;
    ++m_row;
  }
}

void QORMtxSparseMatrixIterator::First() {
  if (m_matrix->NumberOfEntries() == 0) {
    m_row = 0;
    m_pos = 0;
    m_rowSize = 0;
    return;
  }
  SeekRow(0);
}

void QORMtxSparseMatrixIterator::Next() {
  if (IsDone()) return;
  if (++m_pos < m_rowSize) return;
  SeekRow(m_row + 1);
}

QORMtxSparseMatrixEntry QORMtxSparseMatrixIterator::CurrentEntry() const {
  QORMTX_ASSERT(!IsDone());
  const QORMtxSparseMatrix& A = *m_matrix;
  QORMtxSparseMatrixEntry e;
  e.m_row = static_cast<unsigned>(m_row);
  if (m_pos < 0) {
    e.m_col = static_cast<unsigned>(m_row);
    e.m_value = A.m_diagonal[m_row];
  } else {
    const unsigned k = A.m_rowP[m_row] + static_cast<unsigned>(m_pos);
    e.m_col = static_cast<unsigned>(A.m_colI[k]);
    e.m_value = A.m_data[k];
  }
  return e;
}
