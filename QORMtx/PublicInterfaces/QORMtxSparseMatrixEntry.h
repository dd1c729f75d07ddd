// QORMtxSparseMatrixEntry: one (row, column, value) entry of a sparse matrix, a plain copyable value.
#pragma once

/// \brief One sparse entry with 0-based indices.
///
/// Ordering and equality look at the position only: `operator<` orders by row, then column, both compared as
/// signed 32-bit integers; `operator==` is true for equal positions whatever the values.
struct QORMtxSparseMatrixEntry {
  unsigned m_row = 0;    ///< row index, 0-based
  unsigned m_col = 0;    ///< column index, 0-based
  double m_value = 0.0;  ///< value

  QORMtxSparseMatrixEntry() = default;
  QORMtxSparseMatrixEntry(unsigned row, unsigned col, double value) : m_row(row), m_col(col), m_value(value) {}

  /// \brief Row first, then column, as signed integers; the value takes no part.
  bool operator<(const QORMtxSparseMatrixEntry& rhs) const {
    const int r = static_cast<int>(m_row), rr = static_cast<int>(rhs.m_row);
    return r < rr || (r == rr && static_cast<int>(m_col) < static_cast<int>(rhs.m_col));
  }
  /// \brief Same position; the values are not compared.
  bool operator==(const QORMtxSparseMatrixEntry& rhs) const { return m_row == rhs.m_row && m_col == rhs.m_col; }
  bool operator!=(const QORMtxSparseMatrixEntry& rhs) const { return !(*this == rhs); }
};
