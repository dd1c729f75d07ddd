// QORMtxSparseMatrixIterator: the one walk over the entries of a sparse matrix that every consumer uses.
#pragma once
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixEntry.h"

/// \brief Walks the entries of a QORMtxSparseMatrix:
/// `for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) use(it.CurrentEntry());`
///
/// Order. Unsymmetric storage: rows ascending, within a row the stored (ascending) columns; empty rows are skipped.
/// Symmetric storage: every row, ascending, empty or not; each row yields first its diagonal entry (r, r), whatever
/// its value, 0.0 included, then its stored strictly-lower entries. The mirrored upper entries are never yielded:
/// a consumer that needs the full matrix mirrors each off-diagonal entry itself.
///
/// The iterator holds no copy: the matrix must outlive it and stay unchanged while it is used. Iterators are plain
/// values; any number may walk one unchanged matrix at the same time.
class QORMtxSparseMatrixIterator {
 public:
  /// \brief Stores the matrix and positions on its first entry.
  explicit QORMtxSparseMatrixIterator(const QORMtxSparseMatrix& matrix);

  /// \brief Back to the first entry; nothing when the matrix has no entries.
  void First();
  /// \brief To the next entry; at the end of the walk the row becomes the number of rows.
  void Next();
  /// \brief True when the matrix has no entries or the walk has passed the last row.
  bool IsDone() const { return m_matrix->NumberOfEntries() == 0 || m_row >= m_matrix->m_numRows; }
  /// \brief The current (row, column, value). Precondition "!IsDone()".
  QORMtxSparseMatrixEntry CurrentEntry() const;
  /// \brief True when the matrix is in symmetric storage (has a diagonal array).
  bool IsSymmetric() const { return m_matrix->m_diagonal != nullptr; }

  /// \brief Current row (the number of rows once done).
  int Row() const { return m_row; }

 private:
  /// Moves to the first row at or after row that yields an entry, position at its start.
  void SeekRow(int row);

  const QORMtxSparseMatrix* m_matrix;
  int m_row = 0;
  int m_pos = 0;      // position in the row's stored entries; -1: the diagonal entry in symmetric storage
  int m_rowSize = 0;  // stored (off-diagonal in symmetric storage) entries of the current row
};
