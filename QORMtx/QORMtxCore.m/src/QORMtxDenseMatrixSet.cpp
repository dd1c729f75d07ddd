// QORMtxDenseMatrixSet: Sᵀ·B for stored matrices with the same rows, streamed by row bands.
#include "QORMtxDenseMatrixSet.h"

#include <algorithm>
#include <cstddef>

#include "QORMtxAssert.h"
#include "QORMtxBands.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"

using qormtx_bands::Axis;
using qormtx_bands::Band;
using qormtx_bands::Context;
using qormtx_bands::Geometry;
using qormtx_bands::Loop;

QORMtxDenseMatrixSet::QORMtxDenseMatrixSet(const QORMtxDenseMatrix* const* set, int size)
    : m_MatrixSet(set),
      m_SizeOfSet(size),
      m_numRows(0),
      m_numCols(0),
      m_numRowBlocks(0),
      m_maxColsInBlock(0),
      m_maxRowsInBlock(0) {
  if (!m_MatrixSet || m_SizeOfSet < 1) return;
  m_numRows = m_MatrixSet[0]->NumberOfRows();
  m_numCols = m_MatrixSet[0]->NumberOfColumns();
  m_numRowBlocks = m_MatrixSet[0]->NumberOfRowBlocks();
  m_maxColsInBlock = m_MatrixSet[0]->MaxNumberOfColumnsInBlock();
  m_maxRowsInBlock = m_MatrixSet[0]->MaxNumberOfRowsInBlock();
  for (int i = 1; i < m_SizeOfSet; ++i) {
    QORMTX_PRL_ASSERT(m_MatrixSet[i] != NULL);
    QORMTX_PRL_ASSERT(m_MatrixSet[i]->NumberOfRows() == m_numRows);
    m_numCols += m_MatrixSet[i]->NumberOfColumns();
    m_maxColsInBlock = std::max(m_maxColsInBlock, m_MatrixSet[i]->MaxNumberOfColumnsInBlock());
  }
}

QORMtxDenseMatrixSet::~QORMtxDenseMatrixSet() {
  m_MatrixSet = nullptr;
  m_SizeOfSet = 0;
}

void QORMtxDenseMatrixSet::TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxDenseMatrix* C, int symmetry) const {
  QORMTX_PRL_ASSERT(B != NULL);
  QORMTX_PRL_ASSERT(C != NULL);
  QORMtxMatrix product(m_numCols, B->NumberOfColumns());
  TransposeMultiply(B, product, symmetry);
  C->SetValues(0, C->NumberOfRows() - 1, 0, B->NumberOfColumns() - 1, product);
}

void QORMtxDenseMatrixSet::TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxMatrix& C, int symmetry) const {
  QORMTX_PRL_ASSERT((m_MatrixSet != NULL) && (m_SizeOfSet>0));
  QORMTX_PRL_ASSERT(B != NULL);
  const int numRows = B->NumberOfRows();
  QORMTX_PRL_ASSERT(numRows == m_numRows);
  // A band as wide as S holds about as many values as a band of one block row of the widest member's blocks.
  const long long wide = static_cast<long long>(m_maxRowsInBlock) * m_numCols;
  const int k = wide > 0 ? static_cast<int>(static_cast<long long>(m_maxColsInBlock) * m_numRows / wide) : 1;
  const Geometry bands = Geometry::Blocks(*m_MatrixSet[0], Axis::Rows, std::max(k, 1));
  const int p = B->NumberOfColumns();
  QORMtxMatrix bBand(std::max(bands.MaxCount(), 1), std::max(p, 1));
  Loop(Axis::Rows, bands).Window(m_numCols).Run([&](Band& band, Context& ctx) {
    const int r0 = band.along.first, r1 = band.along.Last(), rows = band.along.count;
    // Each member's rows land in the band's next columns: the band is column-major, so they are contiguous.
    double* next = band.in;
    for (int i = 0; i < m_SizeOfSet; ++i) {
      const int cols = m_MatrixSet[i]->NumberOfColumns();
      ctx.Read(*m_MatrixSet[i], r0, r1, 0, cols - 1, next);
      next += static_cast<std::ptrdiff_t>(rows) * cols;
    }
    ctx.Read(*B, r0, r1, 0, p - 1, bBand.Values());
    const QORMtxMatrix s(rows, m_numCols, band.in), b(rows, p, bBand.Values());
    s.TransposeMultiply(b, C, symmetry, band.index == 0 ? 0 : 1);
  });
  if (symmetry != 0) C.SetSymmetricResults();
}
