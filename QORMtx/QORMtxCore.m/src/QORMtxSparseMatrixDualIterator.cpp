// QORMtxSparseMatrixDualIterator: walks two sparse matrices side by side in global (row, column) ordinal order.
#include "QORMtxSparseMatrixDualIterator.h"

#include "QORMtxAssert.h"
#include "QORMtxUtilities.h"

QORMtxSparseMatrixDualIterator::QORMtxSparseMatrixDualIterator(const QORMtxSparseMatrix& mtx1,
                                                               const QORMtxSparseMatrix& mtx2)
    : m_it1(mtx1), m_it2(mtx2) {
  if (!mtx1.IsNull()) {
    QORMTX_ASSERT(!mtx1.RowCSetID().IsNull() && !mtx1.ColumnCSetID().IsNull());
    QORMtxUtilities::GetOrdinals(mtx1.RowCSetID(), m_rdom1);
    QORMtxUtilities::GetOrdinals(mtx1.ColumnCSetID(), m_cdom1);
    QORMTX_ASSERT(m_rdom1.size() == mtx1.NumberOfRows() && m_cdom1.size() == mtx1.NumberOfColumns());
  }
  if (!mtx2.IsNull()) {
    QORMTX_ASSERT(!mtx2.RowCSetID().IsNull() && !mtx2.ColumnCSetID().IsNull());
    QORMtxUtilities::GetOrdinals(mtx2.RowCSetID(), m_rdom2);
    QORMtxUtilities::GetOrdinals(mtx2.ColumnCSetID(), m_cdom2);
    QORMTX_ASSERT(m_rdom2.size() == mtx2.NumberOfRows() && m_cdom2.size() == mtx2.NumberOfColumns());
  }
  First();
}

void QORMtxSparseMatrixDualIterator::Side(const QORMtxSparseMatrixIterator& it, const QORBasVector<int>& rdom,
                                          const QORBasVector<int>& cdom, int& row, int& col, double& value) {
  if (it.IsDone()) {
    row = col = kEnd;
    value = 0.0;
    return;
  }
  const QORMtxSparseMatrixEntry e = it.CurrentEntry();
  row = rdom[static_cast<int>(e.m_row)];
  col = cdom[static_cast<int>(e.m_col)];
  value = e.m_value;
}

void QORMtxSparseMatrixDualIterator::Merge() {
  Side(m_it1, m_rdom1, m_cdom1, m_row1, m_col1, m_value1);
  Side(m_it2, m_rdom2, m_cdom2, m_row2, m_col2, m_value2);
  if (m_row1 < m_row2) {
    m_row = m_row1;
    m_col = m_col1;
  } else if (m_row2 < m_row1) {
    m_row = m_row2;
    m_col = m_col2;
  } else {
    m_row = m_row1;
    m_col = m_col1 < m_col2 ? m_col1 : m_col2;
  }
}

void QORMtxSparseMatrixDualIterator::First() {
  m_it1.First();
  m_it2.First();
  Merge();
}

void QORMtxSparseMatrixDualIterator::Next() {
  if (IsDone()) return;
  if (!m_it1.IsDone() && m_row1 == m_row && m_col1 == m_col) m_it1.Next();
  if (!m_it2.IsDone() && m_row2 == m_row && m_col2 == m_col) m_it2.Next();
  Merge();
}
