// QORMtxStream: sequential reader and writer over a stored dense matrix, which grows by whole columns as written.
#pragma once
#include "QORMtxDenseMatrix.h"

/// \brief Sees the matrix as one sequence of values, column after column. The position (row, column) names the
/// next value; Write and Read move it on. A write past the last column adds max(needed, extCols) columns.
/// \warning Read is const but moves the position (it is the stream's, not the matrix's state).
class QORMtxStream : public QORMtxDenseMatrix {
 public:
  /// \brief Binds the dense matrix of dist; extCols columns are added per growth (0 forbids growth).
  QORMtxStream(const QORSimDistribution& dist, int extCols, int row, int col);
  int NumRows() const { return m_numRows; }
  int NumCols() const { return m_numCols; }
  int CurrentRow() const { return m_curRow; }
  int CurrentColumn() const { return m_curCol; }
  /// \brief Writes len values from the position on. Preconditions "len > 0", "m_extCols != 0" (to grow).
  void Write(const double* values, int len);
  /// \brief Reads len values from the position (row = col = -1) or from (row, col). Preconditions "len > 0",
  /// "(row == -1 && col == -1) || (0 <= row && row < NumRows()) && (0 <= col && col < NumCols())",
  /// "endCol < NumCols()". Never grows the matrix.
  void Read(double* values, int len, int row = -1, int col = -1) const;

 private:
  void Extend(int col);
  /// Moves len values between buf and the matrix from the position on, by whole column runs.
  void Move(double* buf, int len, bool write) const;

  int m_extCols;
  mutable int m_curRow, m_curCol;
};
