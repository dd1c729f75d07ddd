// QORMtxScratchDenseMatrix: a stored dense matrix in a private scratch database file of its own.
#pragma once
#include "QORBasVector.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxSimFileHandle.h"

/// \brief A QORMtxDenseMatrix whose distribution lives in a database file of its own, made in
/// QORMtxUtilities::GetTempDirectory() (the current directory when that is empty) and named
/// "QORMtxScratchDenseMatrix<address><tag>.sim". The file goes with the last matrix or view that uses it, and at
/// normal process end; a process that ends abnormally leaves it behind.
///
/// Rows and columns get collections of their own in the scratch database; ordinal lists (or the ordinals of a
/// caller's set) become the ordered sets of the matrix, so that only the ordinals carry over. Block sizes are cut
/// to the matrix and to the 2 GB chunk limit.
class QORMtxScratchDenseMatrix : public QORMtxDenseMatrix {
 public:
  /// \brief Empty matrix, no file.
  QORMtxScratchDenseMatrix();
  QORMtxScratchDenseMatrix(int numRows, int numCols, int rowChunk, int colChunk);
  /// \brief Rows (columns) carry the given ordinals; a null list stands for 0 … count − 1.
  QORMtxScratchDenseMatrix(int numRows, int numCols, const int* rowOrdinals, const int* colOrdinals, int rowChunk,
                           int colChunk);
  /// \brief tag enters the file name, so that one object may make several distinct files over its life.
  QORMtxScratchDenseMatrix(const QORBasVector<int>& rowOrdinals, const QORBasVector<int>& colOrdinals, int rowChunk,
                           int colChunk, int tag);
  /// \brief Columns carry the ordinals of cols, which ColumnCSetID then returns.
  QORMtxScratchDenseMatrix(const QORBasVector<int>& rowOrdinals, const QORSimCSetID& cols, int rowChunk,
                           int colChunk);
  /// \brief Rows carry the ordinals of rows, which RowCSetID then returns.
  QORMtxScratchDenseMatrix(const QORSimCSetID& rows, const QORBasVector<int>& colOrdinals, int rowChunk,
                           int colChunk);
  QORMtxScratchDenseMatrix(const QORSimCSetID& rows, const QORSimCSetID& cols, int rowChunk, int colChunk);
  /// \brief View of rows startRow … endRow and columns startCol … endCol that keeps rhs's file alive; it has no
  /// caller sets.
  QORMtxScratchDenseMatrix(const QORMtxScratchDenseMatrix& rhs, int startRow, int endRow, int startCol, int endCol);
  /// \brief Releases the file handle (the last one removes the file), then the distribution.
  ~QORMtxScratchDenseMatrix() override;

  /// \brief The caller's row set when one was given, else the matrix's own.
  QORSimCSetID RowCSetID() const override;
  QORSimCSetID ColumnCSetID() const override;
  /// \brief A scratch view (see the view constructor), owned by the caller.
  QORMtxDenseMatrix* Submatrix(int startRow, int endRow, int startCol, int endCol) const override;
  /// \brief Exchanges rows and columns, the caller's sets included.
  void Transpose() override;

  /// \brief The scratch database's handle (shared by views).
  const QORMtxSimFileHandle& FileHandle() const { return m_fileHandle; }

 protected:
  /// Creates the file and binds the matrix to a new distribution over it.
  void ConstructScratchDenseMatrix(int numRows, int numCols, const int* rowOrdinals, const int* colOrdinals,
                                   int rowChunk, int colChunk, int tag);

  QORMtxSimFileHandle m_fileHandle;
  QORSimCSetID m_userRowSetID;
  QORSimCSetID m_userColSetID;
};
