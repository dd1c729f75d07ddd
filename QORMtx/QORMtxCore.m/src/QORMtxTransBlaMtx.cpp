// QORMtxTransBlaMtx: read-only view of a QORMtxBlaMatrix, optionally transposed, cut into square blocks of 144.
#include "QORMtxTransBlaMtx.h"

#include "QORMtxAssert.h"
#include "QORMtxBlaMatrix.h"

namespace {
int Blocks(int n) { return (n + QORMtxTransBlaMtx::kBlockSize - 1) / QORMtxTransBlaMtx::kBlockSize; }
int Last(int n) {
  const int r = n % QORMtxTransBlaMtx::kBlockSize;
  return r == 0 ? QORMtxTransBlaMtx::kBlockSize : r;
}
}  // namespace

QORMtxTransBlaMtx::QORMtxTransBlaMtx(const QORMtxBlaMatrix* M, bool trans)
    : m_pMtx(M),
      m_trans(trans),
      m_numRows(trans ? M->NumberOfColumns() : M->NumberOfRows()),
      m_numCols(trans ? M->NumberOfRows() : M->NumberOfColumns()),
      m_lastRowBlock(Last(m_numRows)),
      m_lastColBlock(Last(m_numCols)),
      m_numRowBlocks(Blocks(m_numRows)),
      m_numColBlocks(Blocks(m_numCols)) {}

// Row block i of op(M) is a band of M's rows, or of M's columns when transposed; the kernel applies the transpose.
QORMtxBlaMatrix* QORMtxTransBlaMtx::GetRowBlock(int i) const {
  QORMTX_ASSERT(m_pMtx);
  QORMTX_ASSERT(i<m_numRowBlocks);
  const int first = i * m_blockSize, last = first + NumRowsInRowBlock(i) - 1;
  return m_trans ? m_pMtx->Submatrix(0, m_pMtx->NumberOfRows() - 1, first, last)
                 : m_pMtx->Submatrix(first, last, 0, m_pMtx->NumberOfColumns() - 1);
}

QORMtxBlaMatrix* QORMtxTransBlaMtx::GetColBlock(int j) const {
  QORMTX_ASSERT(m_pMtx);
  QORMTX_ASSERT(j<m_numColBlocks);
  const int first = j * m_blockSize, last = first + NumColsInColBlock(j) - 1;
  return m_trans ? m_pMtx->Submatrix(first, last, 0, m_pMtx->NumberOfColumns() - 1)
                 : m_pMtx->Submatrix(0, m_pMtx->NumberOfRows() - 1, first, last);
}
