// QORMtxTransBlaMtx: read-only view of a QORMtxBlaMatrix, optionally transposed, cut into square blocks of 144.
#pragma once

class QORMtxBlaMatrix;

/// \brief op(M) (M or Mᵀ) in blocks of 144 rows and columns; ceil(n / 144) blocks per side, the last holding the
/// remainder (144 when there is none).
class QORMtxTransBlaMtx {
 public:
  static const int kBlockSize = 144;

  QORMtxTransBlaMtx(const QORMtxBlaMatrix* M, bool trans);

  /// \brief New view (released with delete) of row block i of op(M), all its columns: "m_pMtx", "i<m_numRowBlocks".
  QORMtxBlaMatrix* GetRowBlock(int i) const;
  /// \brief New view of column block j of op(M), all its rows: "m_pMtx", "j<m_numColBlocks".
  QORMtxBlaMatrix* GetColBlock(int j) const;

  bool Transposed() const { return m_trans; }
  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  int NumberOfRowBlocks() const { return m_numRowBlocks; }
  int NumberOfColBlocks() const { return m_numColBlocks; }
  int NumRowsInRowBlock(int i) const { return i == m_numRowBlocks - 1 ? m_lastRowBlock : kBlockSize; }
  int NumColsInColBlock(int j) const { return j == m_numColBlocks - 1 ? m_lastColBlock : kBlockSize; }

 private:
  const QORMtxBlaMatrix* m_pMtx;
  bool m_trans;
  int m_numRows;
  int m_numCols;
  int m_lastRowBlock;
  int m_lastColBlock;
  int m_numRowBlocks;
  int m_numColBlocks;
  int m_blockSize = kBlockSize;
};
