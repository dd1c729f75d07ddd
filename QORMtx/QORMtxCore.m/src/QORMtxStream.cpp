// QORMtxStream: a stored dense matrix read and written as one column-major sequence of values.
#include "QORMtxStream.h"

#include <algorithm>

#include "QORMtxAssert.h"

QORMtxStream::QORMtxStream(const QORSimDistribution& dist, int extCols, int row, int col)
    : QORMtxDenseMatrix(dist), m_extCols(extCols), m_curRow(row), m_curCol(col) {
  // A sequence of columns needs columns of at least one value.
  QORMTX_ASSERT(m_numRows > 0 && "a stream needs a matrix with rows");
}

void QORMtxStream::Extend(int col) {
  QORMTX_ASSERT(m_extCols != 0);
  // Enough columns to hold column col, and never fewer than the growth step.
  ExtendDim(0, std::max(col - m_numCols + 1, m_extCols), nullptr);
}

void QORMtxStream::Write(const double* values, int len) {
  QORMTX_ASSERT(len > 0);
  const long long end = m_curRow + static_cast<long long>(len);
  // The last column touched: a write that ends exactly at a column's end does not reach into the next one.
  const int lastCol = m_curCol + static_cast<int>((end - 1) / m_numRows);
  if (lastCol >= m_numCols) Extend(lastCol);
  Move(const_cast<double*>(values), len, true);
}

void QORMtxStream::Read(double* values, int len, int row, int col) const {
  QORMTX_ASSERT(len > 0);
// The condition reads as it is reported; && binds tighter than ||, which is what it means.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wparentheses"
  QORMTX_ASSERT((row == -1 && col == -1) || (0 <= row && row < NumRows()) && (0 <= col && col < NumCols()));
#pragma GCC diagnostic pop
  if (!(row == -1 && col == -1)) {
    m_curRow = row;
    m_curCol = col;
  }
  const long long end = m_curRow + static_cast<long long>(len);
  const int endCol = m_curCol + static_cast<int>((end - 1) / m_numRows);  // the last column read
  QORMTX_ASSERT(endCol < NumCols());
  Move(values, len, false);
}

// The rest of the current column, the whole columns in between, then the head of the last one: at most three
// range transfers, each a rectangle of the matrix.
void QORMtxStream::Move(double* buf, int len, bool write) const {
  auto* self = const_cast<QORMtxStream*>(this);
  auto range = [&](int r0, int r1, int c0, int c1) {
    if (write)
      self->SetValues(r0, r1, c0, c1, static_cast<const double*>(buf));
    else
      GetValues(r0, r1, c0, c1, buf);
    buf += static_cast<size_t>(r1 - r0 + 1) * (c1 - c0 + 1);
  };
  const long long end = m_curRow + static_cast<long long>(len);
  const int endCol = m_curCol + static_cast<int>(end / m_numRows);
  const int endRow = static_cast<int>(end % m_numRows);
  if (endCol == m_curCol) {
    range(m_curRow, endRow - 1, m_curCol, m_curCol);
  } else {
    int firstFull = m_curCol;
    if (m_curRow > 0) {
      range(m_curRow, m_numRows - 1, m_curCol, m_curCol);
      firstFull = m_curCol + 1;
    }
    if (endCol - 1 >= firstFull) range(0, m_numRows - 1, firstFull, endCol - 1);
    if (endRow > 0) range(0, endRow - 1, endCol, endCol);
  }
  m_curRow = endRow;
  m_curCol = endCol;
}
