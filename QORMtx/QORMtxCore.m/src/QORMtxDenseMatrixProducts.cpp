// QORMtxDenseMatrix products: the stored matrix streamed band by band through the band driver into dgemm.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "QORMtxAssert.h"
#include "QORMtxBands.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "blac.h"

using qormtx_bands::Axis;
using qormtx_bands::Band;
using qormtx_bands::Buffer;
using qormtx_bands::Context;
using qormtx_bands::Geometry;
using qormtx_bands::Loop;

namespace {

// C(m × n, ldc) = alpha·op(A)·op(B) + beta·C; the kernel layer settles empty sizes without reading.
void Gemm(char ta, char tb, int m, int n, int k, double alpha, const double* a, int lda, const double* b, int ldb,
          double beta, double* c, int ldc) {
  blac_dgemm(&ta, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
}

size_t Doubles(int rows, int cols) { return static_cast<size_t>(std::max(rows, 0)) * std::max(cols, 0); }

// An overwritten in-core product with an empty inner dimension is zero.
void ClearIfNoBands(const Geometry& g, QORMtxMatrix& C) {
  if (g.NumberOfRanges() == 0 && !!C) C.Assign(0.0);
}

}  // namespace

// ---- Row bands: slots 4, 5, 8, 9 ----

void QORMtxDenseMatrix::Multiply(const double* x, int nVec, double* y) const {
  const int m = m_numRows, n = m_numCols;
  if (nVec <= 0) return;
  Loop loop(Axis::Rows, Geometry::Blocks(*this, Axis::Rows, 1));
  loop.Source(*this);
  loop.Run([&](Band& b, Context&) {
    Gemm('N', 'N', b.rows, nVec, n, 1.0, b.in, b.rows, x, n, 1.0, y + b.r0, m);
  });
}

void QORMtxDenseMatrix::Multiply(const QORMtxMatrix& B, QORMtxMatrix& C) const {
  const int numRowsA = m_numRows, numColsA = m_numCols, numColsB = B.NumberOfColumns();
  QORMTX_ASSERT(numColsA == B.NumberOfRows());
  QORMTX_ASSERT(numRowsA == C.NumberOfRows() && numColsB == C.NumberOfColumns());
  Loop loop(Axis::Rows, Geometry::Blocks(*this, Axis::Rows, 1));
  loop.Source(*this);
  const qormtx_bands::Stats stats = loop.Run([&](Band& b, Context&) {
    Gemm('N', 'N', b.rows, numColsB, numColsA, 1.0, b.in, b.rows, B.Values(), numColsA, 0.0, C.Values() + b.r0,
         numRowsA);
  });
  stats.Print("QORMtxDenseMatrix::Multiply()---Access  time", "QORMtxDenseMatrix::Multiply()---Compute time");
}

void QORMtxDenseMatrix::Multiply(double alpha, const QORMtxMatrix& B, double beta, QORMtxDenseMatrix& C) const {
  const int numColsA = m_numCols, numRowsA = m_numRows, numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(numColsA == numRowsB);
  QORMTX_ASSERT(numRowsC == numRowsA);
  QORMTX_ASSERT(numColsC == numColsB);
  const bool diagonal = B.IsDiagonal();
  // C's row blocks; its old values are read only when beta says they count.
  Loop loop(Axis::Rows, Geometry::Blocks(C, Axis::Rows, 1));
  loop.Source(C, 0, -1, beta != 0.0).Target(C);
  const Buffer aBand(Doubles(C.MaxNumberOfRowsInBlock(), numColsA));
  loop.Run([&](Band& b, Context& ctx) {
    const int rows = b.rows;
    ctx.Read(*this, b.r0, b.r0 + rows - 1, 0, numColsA - 1, aBand.get());
    if (!diagonal) {
      Gemm('N', 'N', rows, numColsC, numColsA, alpha, aBand.get(), rows, B.Values(), numRowsB, beta, b.out, rows);
      return;
    }
    // C band = beta·C band + alpha·(A band scaled by column): the diagonal B holds one value per column.
    const size_t count = Doubles(rows, numColsC);
    if (beta == 0.0)
      std::fill(b.out, b.out + count, 0.0);
    else if (beta != 1.0)
      for (size_t k = 0; k < count; ++k) b.out[k] *= beta;
    for (int j = 0; j < numColsC; ++j) {
      const double s = alpha * B.Values()[j];
      const double* a = aBand.get() + Doubles(rows, j);
      double* c = b.out + Doubles(rows, j);
      for (int i = 0; i < rows; ++i) c[i] += s * a[i];
    }
  });
}

void QORMtxDenseMatrix::MultiplyAssign(const QORMtxMatrix& B) {
  const int ncolA = m_numCols, nrowB = B.NumberOfRows(), ncolB = B.NumberOfColumns();
  QORMTX_ASSERT(ncolA == nrowB);
  QORMTX_ASSERT(ncolA == ncolB);
  // The band times B goes to a second buffer, which then replaces the band's rows.
  const Buffer result(Doubles(MaxNumberOfRowsInBlock(), ncolB));
  Loop loop(Axis::Rows, Geometry::Blocks(*this, Axis::Rows, 1));
  loop.Source(*this);
  loop.Run([&](Band& b, Context& ctx) {
    Gemm('N', 'N', b.rows, ncolB, ncolA, 1.0, b.in, b.rows, B.Values(), nrowB, 0.0, result.get(), b.rows);
    ctx.Write(*this, b.r0, b.r0 + b.rows - 1, 0, ncolB - 1, result.get());
  });
}

// ---- Column bands: slots 10, 11 ----

void QORMtxDenseMatrix::TransposeMultiply(const double* x, int nVec, double* y, int nRows) const {
  const int n = m_numCols;
  if (nVec <= 0) return;
  Loop loop(Axis::Columns, Geometry::Blocks(*this, Axis::Columns, 1));
  loop.Source(*this, 0, nRows);
  loop.Run([&](Band& b, Context&) {
    Gemm('T', 'N', b.cols, nVec, nRows, 1.0, b.in, nRows, x, nRows, 1.0, y + b.c0, n);
  });
}

void QORMtxDenseMatrix::TransposeMultiply(const int* permutation, const QORMtxMatrix& B, QORMtxMatrix& C, double alpha,
                                          double beta) {
  const int numColsA = m_numCols, numColsB = B.NumberOfColumns(), numRowsC = C.NumberOfRows(),
            numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(numColsB == numColsC && numColsA == numRowsC);
  const int m = m_numRows;
  Loop loop(Axis::Columns, Geometry::Blocks(*this, Axis::Columns, 1));
  loop.Source(*this);
  loop.Run([&](Band& b, Context&) {
    if (permutation && m > 0) {
      QORMtxMatrix band(m, b.cols, b.in);  // a view: the rows move inside the band buffer
      band.PermuteRowsInPlace(permutation, m_numRows);
    }
    Gemm('T', 'N', b.cols, numColsB, m, alpha, b.in, m, B.Values(), B.NumberOfRows(), beta, C.Values() + b.c0,
         numRowsC);
  });
}

// ---- Streamed transpose products: slots 12 to 16 ----

void QORMtxDenseMatrix::TransposeMultiply(const QORMtxMatrix& B, double* C, int symmetry) const {
  QORMtxMatrix result(m_numCols, B.NumberOfColumns(), C);
  QORMtxDenseMatrix::TransposeMultiply(B, result, symmetry);
}

void QORMtxDenseMatrix::TransposeMultiply(const QORMtxMatrix& B, QORMtxMatrix& C, int symmetry) const {
  const int numRows = B.NumberOfRows();
  QORMTX_ASSERT(numRows == NumberOfRows());
  const int n = m_numCols, p = B.NumberOfColumns();
  const Geometry bands = Geometry::Blocks(*this, Axis::Rows, NumberOfRowBlocksToIO(0));
  ClearIfNoBands(bands, C);
  const Buffer bBand(Doubles(bands.MaxCount(), p));
  Loop loop(Axis::Rows, bands);
  loop.Source(*this);
  loop.Run([&](Band& b, Context&) {
    const QORMtxMatrix aRows(b.rows, n, b.in);
    QORMtxMatrix bRows(b.rows, p, bBand.get());
    B.GetRows(b.r0, b.r0 + b.rows - 1, bRows);
    aRows.TransposeMultiply(bRows, C, symmetry, b.index > 0);
  });
  if (symmetry > 0)
    C.SetSymmetricResults();
  else if (symmetry < 0)
    C.SetSkewSymmetricResults();
}

void QORMtxDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxDenseMatrix* C, int symmetry) const {
  QORMTX_ASSERT(B != NULL);
  QORMTX_ASSERT(C != NULL);
  // The n × p result is formed in core, then written over C's rows.
  const int p = B->NumberOfColumns();
  QORMtxMatrix result(m_numCols, p);
  QORMtxDenseMatrix::TransposeMultiply(B, result, symmetry);
  C->SetValues(0, C->NumberOfRows() - 1, 0, p - 1, result);
}

void QORMtxDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix* B, double* C, int symmetry) const {
  QORMTX_ASSERT(B != NULL);
  QORMtxMatrix result(m_numCols, B->NumberOfColumns(), C);
  QORMtxDenseMatrix::TransposeMultiply(B, result, symmetry);
}

void QORMtxDenseMatrix::TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxMatrix& C, int symmetry) const {
  QORMTX_ASSERT(B != NULL);
  const int numRows = B->NumberOfRows();
  QORMTX_ASSERT(numRows == NumberOfRows());
  const int n = m_numCols, p = B->NumberOfColumns();
  const bool same = B == this;  // one read serves both operands
  const Geometry bands = Geometry::Blocks(*this, Axis::Rows, NumberOfRowBlocksToIO(p));
  ClearIfNoBands(bands, C);
  if (bands.NumberOfRanges() == 0) return;
  const Buffer aBand(Doubles(bands.MaxCount(), n)), bBand(same ? 0 : Doubles(bands.MaxCount(), p));
  double* ptrMatrixA = aBand.get();
  double* ptrMatrixB = same ? ptrMatrixA : bBand.get();
  QORMTX_ASSERT(ptrMatrixA);
  QORMTX_ASSERT(ptrMatrixB);
  const qormtx_bands::Stats stats = Loop(Axis::Rows, bands).Run([&](Band& b, Context& ctx) {
    const int r1 = b.along.Last();
    ctx.Read(*this, b.along.first, r1, 0, n - 1, ptrMatrixA);
    if (!same) ctx.Read(*B, b.along.first, r1, 0, p - 1, ptrMatrixB);
    const QORMtxMatrix aRows(b.along.count, n, ptrMatrixA), bRows(b.along.count, p, ptrMatrixB);
    aRows.TransposeMultiply(bRows, C, symmetry, b.index > 0);
  });
  if (symmetry > 0) C.SetSymmetricResults();
  stats.Print("QORMtxDenseMatrix::TransposeMultiply()---Access time",
              "QORMtxDenseMatrix::TransposeMultiply()---Compute time");
}

// ---- Dense times dense: slots 6, 7 ----

void QORMtxDenseMatrix::Multiply(const QORMtxDenseMatrix* B, double* C) const {
  QORMTX_ASSERT(B != NULL);
  const int ncolA = m_numCols, nrowB = B->NumberOfRows();
  QORMTX_ASSERT(ncolA == nrowB);
  const int m = m_numRows, p = B->NumberOfColumns();
  std::fill(C, C + Doubles(m, p), 0.0);
  const Buffer aBand(Doubles(MaxNumberOfRowsInBlock(), B->MaxNumberOfRowsInBlock()));
  const Buffer scratch(Doubles(MaxNumberOfRowsInBlock(), B->MaxNumberOfColumnsInBlock()));
  const Geometry aRows = Geometry::Blocks(*this, Axis::Rows, 1), bCols = Geometry::Blocks(*B, Axis::Columns, 1);
  // One row block of B (a k range, all columns) per pass; A's rows of that range block by block against it.
  Loop loop(Axis::Rows, Geometry::Blocks(*B, Axis::Rows, 1));
  loop.Source(*B);
  loop.Run([&](Band& kb, Context& ctx) {
    const int k0 = kb.r0, kn = kb.rows;
    for (int ra = 0; ra < aRows.NumberOfRanges(); ++ra) {
      const qormtx_bands::Range r = aRows[ra];
      ctx.Read(*this, r.first, r.Last(), k0, k0 + kn - 1, aBand.get());
      for (int cb = 0; cb < bCols.NumberOfRanges(); ++cb) {
        const qormtx_bands::Range c = bCols[cb];
        Gemm('N', 'N', r.count, c.count, kn, 1.0, aBand.get(), r.count, kb.in + Doubles(kn, c.first), kn, 0.0,
             scratch.get(), r.count);
        for (int j = 0; j < c.count; ++j) {
          const double* s = scratch.get() + Doubles(r.count, j);
          double* col = C + Doubles(m, c.first + j) + r.first;
          for (int i = 0; i < r.count; ++i) col[i] += s[i];
        }
      }
    }
  });
}

void QORMtxDenseMatrix::Multiply(const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C) const {
  const int dimN = m_numCols;
  QORMTX_ASSERT(dimN == B.NumberOfRows());
  const double m = m_numRows, n = dimN, p = B.NumberOfColumns();
  const double rA = MaxNumberOfRowsInBlock(), cA = MaxNumberOfColumnsInBlock(), cB = B.MaxNumberOfColumnsInBlock();
  if (m_numRows == 0 || B.NumberOfColumns() == 0) return;
  // The budget S balances an R × K band of A, a K × Q band of B and the R × Q band of C.
  const double S = p * n + (rA * n > m ? n * rA : m);
  const double q = std::min(p, (S - cA * rA) / (cA + rA));
  double r = (S - q * cA) / (q + cA);
  if (r > m)
    r = m;
  else if (!(r > 0))
    r = rA;
  double c = (S - r * q) / (r + q);
  if (c > n)
    c = n;
  else if (!(c > 0))
    c = cA;
  const auto blocks = [](double extent, double block) {
    return extent > 1 && block > 0 ? std::max(1, static_cast<int>(std::ceil(std::trunc(extent) / block))) : 1;
  };
  const int kr = blocks(r, rA), kc = blocks(c, cA), kq = blocks(q, cB);
  const Geometry rowBands = Geometry::Blocks(*this, Axis::Rows, kr), inner = Geometry::Blocks(*this, Axis::Columns, kc);
  const Geometry colBands = Geometry::Blocks(B, Axis::Columns, kq);
  // A view's short first block can make a later band longer than the shapes' formula; the larger one is taken.
  const int R = std::max((kr - 1) * static_cast<int>(rA) + NumberOfRowsInBlock(kr - 1), rowBands.MaxCount());
  const int K = std::max((kc - 1) * static_cast<int>(cA) + NumberOfColumnsInBlock(kc - 1), inner.MaxCount());
  const int Q = std::max((kq - 1) * static_cast<int>(cB) + B.NumberOfColumnsInBlock(kq - 1), colBands.MaxCount());
  const Buffer all(Doubles(R, K) + Doubles(R, Q) + Doubles(K, Q));
  double* aBuf = all.get();
  double* cBuf = aBuf + Doubles(R, K);
  double* bBuf = cBuf + Doubles(R, Q);
  // B's column bands outer, A's row bands inner: one tile of C per pass, summed over A's column bands.
  Loop loop(Axis::Columns, colBands);
  loop.Across(rowBands);
  loop.Run([&](Band& t, Context& ctx) {
    const int q0 = t.along.first, qn = t.along.count, r0 = t.across.first, rn = t.across.count;
    for (int s = 0; s < inner.NumberOfRanges(); ++s) {
      const qormtx_bands::Range k = inner[s];
      ctx.Read(*this, r0, r0 + rn - 1, k.first, k.Last(), aBuf);
      ctx.Read(B, k.first, k.Last(), q0, q0 + qn - 1, bBuf);
      Gemm('N', 'N', rn, qn, k.count, 1.0, aBuf, rn, bBuf, k.count, s == 0 ? 0.0 : 1.0, cBuf, rn);
    }
    if (inner.NumberOfRanges() == 0) std::fill(cBuf, cBuf + Doubles(rn, qn), 0.0);
    ctx.Write(C, r0, r0 + rn - 1, q0, q0 + qn - 1, cBuf);
  });
}

// ---- Groups of rows: slot 17 ----

void QORMtxDenseMatrix::IndexedMultiply(const QORMtxMatrix& B, QORMtxDenseMatrix& C, const int* rowIndex,
                                        const int* groupStart, int numGroups) const {
  if (numGroups <= 0) return;
  const int n = m_numCols, p = B.NumberOfColumns();
  // Group g is written to C's rows groupStart[g] … groupStart[g + 1] − 1 and read from the consecutive rows of A
  // its first and last index name.
  int largest = 0;
  for (int g = 0; g < numGroups; ++g) {
    const int size = groupStart[g + 1] - groupStart[g];
    if (size > 0) largest = std::max({largest, size, rowIndex[groupStart[g + 1] - 1] - rowIndex[groupStart[g]] + 1});
  }
  const Buffer aBand(Doubles(largest, n)), cBand(Doubles(largest, p));
  Loop loop(Axis::Rows, Geometry::FromStarts(std::vector<int>(groupStart, groupStart + numGroups + 1)));
  loop.Run([&](Band& b, Context& ctx) {
    if (b.along.count <= 0) return;
    const int first = rowIndex[b.along.first], last = rowIndex[b.along.Last()];
    const int rows = last - first + 1;
    ctx.Read(*this, first, last, 0, n - 1, aBand.get());
    Gemm('N', 'N', rows, p, n, 1.0, aBand.get(), rows, B.Values(), B.NumberOfRows(), 0.0, cBand.get(), rows);
    ctx.Write(C, b.along.first, b.along.Last(), 0, p - 1, cBand.get());
  });
}
