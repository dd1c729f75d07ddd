// QORMtxHermitianScrDenseMatrix: scratch matrix of a Hermitian operator in real form; products with A and J·A.
#include "QORMtxHermitianScrDenseMatrix.h"

#include <algorithm>

#include "QORMtxAssert.h"
#include "QORMtxBands.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "blac.h"

using qormtx_bands::Axis;
using qormtx_bands::Band;
using qormtx_bands::Context;
using qormtx_bands::Geometry;
using qormtx_bands::Loop;

namespace {

// c = alpha·op(a)·b + beta·c on column-major arrays; nothing for an empty product.
void Gemm(bool transA, int m, int n, int k, double alpha, const double* a, int lda, const double* b, int ldb,
          double beta, double* c, int ldc) {
  if (m <= 0 || n <= 0) return;
  if (k <= 0 && beta == 1.0) return;
  blac_dgemm(transA ? "T" : "N", "N", &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
}

// Checks the view's rows before the scratch view is cut, so that its own text is the one reported.
const QORMtxHermitianScrDenseMatrix& AllRows(const QORMtxHermitianScrDenseMatrix& rhs, int startRow, int endRow) {
  QORMTX_PRL_ASSERT(startRow == 0 && endRow == rhs.NumberOfRows()-1);
  return rhs;
}

}  // namespace

QORMtxHermitianScrDenseMatrix::QORMtxHermitianScrDenseMatrix(int numRows, int numCols, int nNodes,
                                                             const int* nodeSizes, int rowChunk, int colChunk,
                                                             int unused)
    : m_nNodes(0), m_nodeSizes(nullptr) {
  ConstructHermitianScrDenseMatrix(numRows, numCols, nullptr, nullptr, nNodes, nodeSizes, rowChunk, colChunk, unused);
}

QORMtxHermitianScrDenseMatrix::QORMtxHermitianScrDenseMatrix(int numRows, int numCols, const int* rowOrdinals,
                                                             const int* colOrdinals, int nNodes,
                                                             const int* nodeSizes, int rowChunk, int colChunk,
                                                             int unused)
    : m_nNodes(0), m_nodeSizes(nullptr) {
  ConstructHermitianScrDenseMatrix(numRows, numCols, rowOrdinals, colOrdinals, nNodes, nodeSizes, rowChunk, colChunk,
                                   unused);
}

QORMtxHermitianScrDenseMatrix::QORMtxHermitianScrDenseMatrix(const QORMtxHermitianScrDenseMatrix& rhs, int startRow,
                                                             int endRow, int startCol, int endCol)
    : QORMtxScratchDenseMatrix(AllRows(rhs, startRow, endRow), startRow, endRow, startCol, endCol),
      m_nNodes(rhs.m_nNodes),
      m_nodeSizes(new int[static_cast<size_t>(std::max(rhs.m_nNodes, 0))]) {
  std::copy(rhs.m_nodeSizes, rhs.m_nodeSizes + m_nNodes, m_nodeSizes);
}

QORMtxHermitianScrDenseMatrix::~QORMtxHermitianScrDenseMatrix() { delete[] m_nodeSizes; }

void QORMtxHermitianScrDenseMatrix::ConstructHermitianScrDenseMatrix(int numRows, int numCols,
                                                                     const int* rowOrdinals, const int* colOrdinals,
                                                                     int nNodes, const int* nodeSizes, int rowChunk,
                                                                     int colChunk, int) {
  ConstructScratchDenseMatrix(numRows, numCols, rowOrdinals, colOrdinals, rowChunk, colChunk, 0);
  m_nNodes = std::max(nNodes, 0);
  m_nodeSizes = new int[static_cast<size_t>(m_nNodes)];
  std::copy(nodeSizes, nodeSizes + m_nNodes, m_nodeSizes);
}

QORMtxDenseMatrix* QORMtxHermitianScrDenseMatrix::Submatrix(int startRow, int endRow, int startCol,
                                                            int endCol) const {
  return new QORMtxHermitianScrDenseMatrix(*this, startRow, endRow, startCol, endCol);
}

// ---- The flip and the stream ----

void QORMtxHermitianScrDenseMatrix::FlipBuffers(double* band1, int start1, int end1, double* band2, int end2,
                                                int& currentNode, int& currentPosition) const {
  const size_t ld1 = static_cast<size_t>(end1 - start1 + 1), ld2 = static_cast<size_t>(end2 - end1);
  const auto at = [&](int row, int col) -> double& {
    return row <= end1 ? band1[col * ld1 + static_cast<size_t>(row - start1)]
                       : band2[col * ld2 + static_cast<size_t>(row - end1 - 1)];
  };
  while (currentNode < m_nNodes && currentPosition + m_nodeSizes[currentNode] - 1 <= end2) {
    QORMTX_PRL_ASSERT(currentPosition >= start1);
    const int half = m_nodeSizes[currentNode] / 2;
    for (int j = 0; j < m_numCols; ++j)
      for (int r = currentPosition; r < currentPosition + half; ++r) {
        double& x = at(r, j);
        double& y = at(r + half, j);
        const double oldX = x;
        x = -y;
        y = oldX;
      }
    ++currentNode;
    currentPosition += m_nodeSizes[currentNode - 1];
  }
}

template <class Direct, class Flipped>
void QORMtxHermitianScrDenseMatrix::StreamFlipped(Direct direct, Flipped flipped) const {
  const int numRowsA = m_numRows;
  int currentNode = 0, currentPosition = 0;
  const Geometry bands = Geometry::Blocks(*this, Axis::Rows, 1);
  const int last = bands.NumberOfRanges() - 1;
  Loop(Axis::Rows, bands).Source(*this).TwoBuffers().Run([&](Band& band, Context& ctx) {
    const Piece current{band.in, band.along.first, band.along.count, band.index};
    direct(current, ctx);
    // The previous band is complete once this one is in memory: a node it began ends here at the latest.
    if (band.previous) {
      const qormtx_bands::Range& p = band.previousAlong;
      FlipBuffers(band.previous, p.first, p.Last(), band.in, band.along.Last(), currentNode, currentPosition);
      flipped(Piece{band.previous, p.first, p.count, band.index - 1}, ctx);
    }
    if (band.index == last) {
      FlipBuffers(band.in, band.along.first, band.along.Last(), nullptr, band.along.Last(), currentNode,
                  currentPosition);
      flipped(current, ctx);
    }
  });
  QORMTX_PRL_ASSERT(currentNode == m_nNodes);
  QORMTX_PRL_ASSERT(currentPosition == numRowsA);
}

template <class RowsOfB>
void QORMtxHermitianScrDenseMatrix::StreamTransposed(int p, RowsOfB rowsOfB, double* top, double* bottom,
                                                     int ldc) const {
  const int n = m_numCols;
  for (int j = 0; j < p; ++j) {
    std::fill(top + static_cast<size_t>(j) * ldc, top + static_cast<size_t>(j) * ldc + n, 0.0);
    std::fill(bottom + static_cast<size_t>(j) * ldc, bottom + static_cast<size_t>(j) * ldc + n, 0.0);
  }
  const auto term = [&](double* c) {
    return [&, c](const Piece& a, Context& ctx) {
      int ldb = 0;
      const double* b = rowsOfB(a, ctx, c == top, ldb);
      Gemm(true, n, p, a.count, 1.0, a.a, a.count, b, ldb, 1.0, c, ldc);
    };
  };
  StreamFlipped(term(top), term(bottom));
}

// ---- Products ----

void QORMtxHermitianScrDenseMatrix::Multiply(const double* x, int nVec, double* y) const {
  const int n = m_numCols, m = m_numRows;
  StreamFlipped(
      [&](const Piece& a, Context&) { Gemm(false, a.count, nVec, n, 1.0, a.a, a.count, x, 2 * n, 1.0, y + a.first, m); },
      [&](const Piece& a, Context&) {
        Gemm(false, a.count, nVec, n, 1.0, a.a, a.count, x + n, 2 * n, 1.0, y + a.first, m);
      });
}

void QORMtxHermitianScrDenseMatrix::Multiply(const QORMtxDenseMatrix*, double*) const { QORMTX_PRL_ASSERT(0); }

void QORMtxHermitianScrDenseMatrix::Multiply(const QORMtxDenseMatrix&, QORMtxDenseMatrix&) const {
  QORMTX_PRL_ASSERT(0);
}

void QORMtxHermitianScrDenseMatrix::Multiply(double alpha, const QORMtxMatrix& B, double beta,
                                             QORMtxDenseMatrix& C) const {
  QORMTX_PRL_ASSERT(dynamic_cast<QORMtxHermitianScrDenseMatrix *>(&C));
  const int numColsA = m_numCols, numRowsA = m_numRows;
  const int numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_PRL_ASSERT(2*numColsA == numRowsB);
  QORMTX_PRL_ASSERT(numRowsC == numRowsA);
  QORMTX_PRL_ASSERT(numColsC == numColsB);
  QORMTX_PRL_ASSERT(!B.IsDiagonal());
  const int n = numColsA, p = numColsB;
  const size_t bandSize = static_cast<size_t>(MaxNumberOfRowsInBlock()) * static_cast<size_t>(p);
  QORMtxMatrix cBands(2 * MaxNumberOfRowsInBlock(), std::max(p, 1));  // two C bands, used in turn
  const auto cBand = [&](const Piece& a) { return cBands.Values() + (a.index % 2) * bandSize; };
  StreamFlipped(
      [&](const Piece& a, Context& ctx) {
        double* c = cBand(a);
        if (beta != 0.0) ctx.Read(C, a.first, a.first + a.count - 1, 0, p - 1, c);
        Gemm(false, a.count, p, n, alpha, a.a, a.count, B.Values(), numRowsB, beta, c, a.count);
      },
      [&](const Piece& a, Context& ctx) {
        double* c = cBand(a);
        Gemm(false, a.count, p, n, alpha, a.a, a.count, B.Values() + n, numRowsB, 1.0, c, a.count);
        ctx.Write(C, a.first, a.first + a.count - 1, 0, p - 1, c);
      });
}

void QORMtxHermitianScrDenseMatrix::MultiplyAssign(const QORMtxMatrix& B) {
  const int numColsA = m_numCols, numRowsB = B.NumberOfRows();
  QORMTX_PRL_ASSERT(2*numColsA == numRowsB);
  QORMTX_PRL_ASSERT(!B.IsDiagonal());
  const int n = numColsA, p = B.NumberOfColumns();
  const size_t bandSize = static_cast<size_t>(MaxNumberOfRowsInBlock()) * static_cast<size_t>(p);
  QORMtxMatrix outBands(2 * MaxNumberOfRowsInBlock(), std::max(p, 1));
  const auto outBand = [&](const Piece& a) { return outBands.Values() + (a.index % 2) * bandSize; };
  // A band is written back only after its flipped term, when the stream no longer needs its old values.
  StreamFlipped(
      [&](const Piece& a, Context&) {
        Gemm(false, a.count, p, n, 1.0, a.a, a.count, B.Values(), numRowsB, 0.0, outBand(a), a.count);
      },
      [&](const Piece& a, Context& ctx) {
        double* c = outBand(a);
        Gemm(false, a.count, p, n, 1.0, a.a, a.count, B.Values() + n, numRowsB, 1.0, c, a.count);
        ctx.Write(*this, a.first, a.first + a.count - 1, 0, p - 1, c);
      });
}

void QORMtxHermitianScrDenseMatrix::TransposeMultiply(const double* x, int nVec, double* y, int nRows) const {
  const int numRowsA = m_numRows, numRowsB = nRows, numColsB = nVec, numColsC = nVec;
  QORMTX_PRL_ASSERT(numRowsA == numRowsB);
  QORMTX_PRL_ASSERT(numColsC == numColsB);
  const int n = m_numCols;
  StreamTransposed(
      nVec,
      [&](const Piece& a, Context&, bool, int& ld) {
        ld = nRows;
        return x + a.first;
      },
      y, y + n, 2 * n);
}

void QORMtxHermitianScrDenseMatrix::TransposeMultiply(const QORMtxMatrix& B, double* C, int symFlag) const {
  QORMTX_PRL_ASSERT(symFlag==0);
  TransposeMultiply(B.Values(), B.NumberOfColumns(), C, B.NumberOfRows());
}

void QORMtxHermitianScrDenseMatrix::TransposeMultiply(const QORMtxMatrix&, QORMtxMatrix&, int) const {
  QORMTX_PRL_ASSERT(0);
}

void QORMtxHermitianScrDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix*, QORMtxDenseMatrix*, int) const {
  QORMTX_PRL_ASSERT(0);
}

void QORMtxHermitianScrDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix* B, double* C, int symFlag) const {
  QORMTX_PRL_ASSERT(symFlag == 0);
  QORMtxMatrix result(2 * m_numCols, B->NumberOfColumns(), C);
  TransposeMultiply(B, result, symFlag);
}

void QORMtxHermitianScrDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxMatrix& C,
                                                      int symFlag) const {
  QORMTX_PRL_ASSERT(symFlag == 0);
  const int numColsA = m_numCols, numRowsA = m_numRows;
  const int numRowsB = B->NumberOfRows(), numColsB = B->NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_PRL_ASSERT(2*numColsA == numRowsC);
  QORMTX_PRL_ASSERT(numRowsA == numRowsB);
  QORMTX_PRL_ASSERT(numColsC == numColsB);
  const int n = numColsA, p = numColsB;
  // B's rows of a band are read once and kept until the band's flipped term, one band later.
  const size_t bandSize = static_cast<size_t>(MaxNumberOfRowsInBlock()) * static_cast<size_t>(p);
  QORMtxMatrix bBands(2 * MaxNumberOfRowsInBlock(), std::max(p, 1));
  QORMtxMatrix top(n, p), bottom(n, p);
  StreamTransposed(
      p,
      [&](const Piece& a, Context& ctx, bool first, int& ld) {
        double* b = bBands.Values() + (a.index % 2) * bandSize;
        if (first) ctx.Read(*B, a.first, a.first + a.count - 1, 0, p - 1, b);
        ld = a.count;
        return static_cast<const double*>(b);
      },
      top.Values(), bottom.Values(), n);
  if (n > 0 && p > 0) {
    C.SetValues(0, n - 1, 0, p - 1, top);
    C.SetValues(n, 2 * n - 1, 0, p - 1, bottom);
  }
}

void QORMtxHermitianScrDenseMatrix::IndexedMultiply(const QORMtxMatrix&, QORMtxDenseMatrix&, const int*, const int*,
                                                    int) const {}
