// QORMtxMappedOperations: products of stored, sparse and in-core operands paired by ordinal.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "QORMtxAssert.h"
#include "QORMtxBLA.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMappedKernels.h"
#include "QORMtxMappedOperations.h"
#include "QORMtxMatrix.h"
#include "QORMtxOrdinalPairs.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "omi_IntTable.h"

using namespace qormtx_mapped;

namespace {

// Pairs per pass: the larger of the two extents times the pass must stay within buf doubles and the pass bound.
int Chunk(int buf, int a, int b) {
  const int64_t w = std::max(1, std::max(a, b));
  return static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(buf, kPassDoubles) / w));
}

void Finish(QORMtxMatrix& C, int sym) {
  if (sym > 0) C.SetSymmetricResults();
  if (sym < 0) C.SetSkewSymmetricResults();
}

// Flips a stored matrix for the duration of a call and back on every exit.
class TransposedScope {
 public:
  TransposedScope(const QORMtxDenseMatrix& A, bool flip) : m_A(const_cast<QORMtxDenseMatrix&>(A)), m_flip(flip) {
    if (m_flip) m_A.Transpose();
  }
  ~TransposedScope() {
    if (m_flip) m_A.Transpose();
  }
  TransposedScope(const TransposedScope&) = delete;
  TransposedScope& operator=(const TransposedScope&) = delete;

 private:
  QORMtxDenseMatrix& m_A;
  bool m_flip;
};

std::vector<int> Lookup(const omi_IntTable<int>& map, int n) {
  std::vector<int> v(static_cast<size_t>(std::max(n, 0)), -1);
  for (omi_IntTableIterator<int> it(map); !it.IsDone(); it.Next())
    if (it.CurrentKey() >= 0 && it.CurrentKey() < n) v[it.CurrentKey()] = it.CurrentValue();
  return v;
}

}  // namespace

int QORMtxMappedOperations::BufferSize(const QORMtxDenseMatrix& A, const QORMtxDenseMatrix& B) {
  auto one = [](const QORMtxDenseMatrix& M) {
    return std::max(static_cast<int64_t>(M.NumberOfRows()) * M.MaxNumberOfColumnsInBlock(),
                    static_cast<int64_t>(M.NumberOfColumns()) * M.MaxNumberOfRowsInBlock());
  };
  return static_cast<int>(std::min<int64_t>(INT_MAX, std::max(one(A), one(B))));
}

void QORMtxMappedOperations::Multiply(const QORMtxDenseMatrix& A, const QORMtxDenseMatrix& B, QORMtxMatrix& C,
                                      bool transA, int sym) {
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(B.NumberOfColumns() == numColsC);
  const int numA = transA ? A.NumberOfColumns() : A.NumberOfRows();
  QORMTX_ASSERT(numA == numRowsC);
  const QORMtxOrdinalPairs inner =
      QORMtxOrdinalPairs::FromCSets(transA ? A.RowCSetID() : A.ColumnCSetID(), B.RowCSetID());
  if (inner.Empty() || numRowsC == 0 || numColsC == 0) {
    QORMtxBLA::Assign(0.0, C, 0);
    return;
  }
  const int p = inner.Size();
  const int chunk = std::min(p, Chunk(BufferSize(A, B), numRowsC, numColsC));
  std::vector<double> bk(Count(chunk, numColsC));
  const std::vector<int> colsB = Iota(0, numColsC), other = Iota(0, numRowsC);
  ForEachSlice(Slices(p, chunk), numRowsC, [&](int k0, int len, double* ak) {
    MoveBlock(false, B, inner.Targets() + k0, len, colsB.data(), numColsC, bk.data());
    QORMtxMatrix Bk(len, numColsC, bk.data());
    if (transA) {
      MoveBlock(false, A, inner.Sources() + k0, len, other.data(), numRowsC, ak);
      QORMtxMatrix Ak(len, numRowsC, ak);
      Ak.TransposeMultiply(Bk, C, sym, k0 > 0);
    } else {
      MoveBlock(false, A, other.data(), numRowsC, inner.Sources() + k0, len, ak);
      QORMtxMatrix Ak(numRowsC, len, ak);
      Ak.Multiply(Bk, C, sym, k0 > 0);
    }
  });
  Finish(C, sym);
}

void QORMtxMappedOperations::Multiply(const QORMtxDenseMatrix& A, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C,
                                      bool transA, int sym) {
  const QORMtxOrdinalPairs rows =
      QORMtxOrdinalPairs::FromCSets(transA ? A.ColumnCSetID() : A.RowCSetID(), C.RowCSetID());
  const QORMtxOrdinalPairs inner =
      QORMtxOrdinalPairs::FromCSets(transA ? A.RowCSetID() : A.ColumnCSetID(), B.RowCSetID());
  const QORMtxOrdinalPairs cols = QORMtxOrdinalPairs::FromCSets(B.ColumnCSetID(), C.ColumnCSetID());
  if (rows.Empty() || inner.Empty() || cols.Empty()) return;
  const int pR = rows.Size(), pK = inner.Size(), pC = cols.Size();
  QORMtxMatrix W(pR, pC, QORMtxMatrix::UNKNOWN);
  const int chunk = std::min(pK, Chunk(BufferSize(A, B), pR, pC));
  std::vector<double> bk(Count(chunk, pC));
  ForEachSlice(Slices(pK, chunk), pR, [&](int k0, int len, double* ak) {
    if (transA)
      MoveBlock(false, A, inner.Sources() + k0, len, rows.Sources(), pR, ak);
    else
      MoveBlock(false, A, rows.Sources(), pR, inner.Sources() + k0, len, ak);
    MoveBlock(false, B, inner.Targets() + k0, len, cols.Sources(), pC, bk.data());
    const QORMtxMatrix Ak(transA ? len : pR, transA ? pR : len, ak);
    const QORMtxMatrix Bk(len, pC, bk.data());
    QORMtxBLA::Multiply(1.0, Ak, transA ? QORMtxBLA::TRANS : QORMtxBLA::NOOP, Bk, QORMtxBLA::NOOP, k0 > 0 ? 1.0 : 0.0,
                        W, sym != 0 ? QORMtxBLA::SYMM : QORMtxBLA::UNKNOWN, 0);
  });
  MoveBlock(true, C, rows.Targets(), pR, cols.Targets(), pC, W.Values());
}

void QORMtxMappedOperations::Multiply(const QORMtxDenseMatrix& A, const QORMtxMatrix& B, QORMtxDenseMatrix& C,
                                      bool transA) {
  const int numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
  QORMTX_ASSERT(numColsB == C.NumberOfColumns());
  const int numA = transA ? A.NumberOfRows() : A.NumberOfColumns();
  QORMTX_ASSERT(numA == numRowsB);
  const QORMtxOrdinalPairs rows =
      QORMtxOrdinalPairs::FromCSets(transA ? A.ColumnCSetID() : A.RowCSetID(), C.RowCSetID());
  if (rows.Empty() || numColsB == 0) return;
  const int p = rows.Size();
  const int chunk = std::min(p, Chunk(BufferSize(A, C), numRowsB, numColsB));
  std::vector<double> out(Count(chunk, numColsB), 0.0);
  const std::vector<int> inner = Iota(0, numRowsB), colsC = Iota(0, numColsB);
  ForEachSlice(Slices(p, chunk), numRowsB, [&](int k0, int len, double* ak) {
    QORMtxMatrix Out(len, numColsB, out.data());
    if (numRowsB == 0) {
      std::fill(out.begin(), out.end(), 0.0);
    } else if (transA) {
      MoveBlock(false, A, inner.data(), numRowsB, rows.Sources() + k0, len, ak);
      QORMtxMatrix(numRowsB, len, ak).TransposeMultiply(B, Out, 0, 0);
    } else {
      MoveBlock(false, A, rows.Sources() + k0, len, inner.data(), numRowsB, ak);
      QORMtxMatrix(len, numRowsB, ak).Multiply(B, Out, 0, 0);
    }
    MoveBlock(true, C, rows.Targets() + k0, len, colsC.data(), numColsB, out.data());
  });
}

void QORMtxMappedOperations::Multiply(const QORMtxDenseMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& C, bool transA,
                                      int symmC) {
  QORMTX_ASSERT(!!A && !!B && !!C);
  if (symmC) QORMTX_ASSERT(C.IsSquare());
  const TransposedScope flipped(A, transA);
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns();
  const int numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(numColsB == numColsC);
  QORMTX_ASSERT(numColsA == numRowsB);
  const int* rowOrdinalsC = C.GetRowOrdinals();
  QORMTX_ASSERT(rowOrdinalsC);
  const std::vector<int> ordA = SetOrdinals(A.RowCSetID());
  const QORMtxOrdinalPairs pairs = QORMtxOrdinalPairs::FromArrays(rowOrdinalsC, numRowsC, ordA.data(), numRowsA);
  if (pairs.Empty()) return;
  const int p = pairs.Size();
  const int maxCols = std::max(1, A.MaxNumberOfColumnsInBlock());
  const int blocksPerPass = std::max(1, QORMtxUtilities::MaxDoublesInBuffer(0.1) / std::max(1, numRowsA) / maxCols);
  QORMtxMatrix T;
  const bool partial = p < numRowsC;
  if (partial) {
    QORMTX_ASSERT(!symmC);
    T.Reset(p, numColsC, QORMtxMatrix::UNKNOWN);
    QORMtxBLA::Assign(0.0, C, 0);
  }
  QORMtxMatrix& target = partial ? T : C;
  const int numBlocks = A.NumberOfColumnBlocks();
  const std::vector<int> cols = Iota(0, numColsA);
  ForEachSlice(qormtx_bands::Geometry::Blocks(A, qormtx_bands::Axis::Columns, blocksPerPass), p,
               [&](int c0, int w, double* ak) {
                 MoveBlock(false, A, pairs.Targets(), p, cols.data() + c0, w, ak);
                 QORMtxBlaUtilities::Multiply('N', 'N', p, numColsC, w, 1.0, ak, p, B.Values(c0, 0), numRowsB,
                                              c0 > 0 ? 1.0 : 0.0, target.Values(), p, symmC, 0);
               });
  if (numBlocks == 0) QORMtxBLA::Assign(0.0, target, 0);
  // Row k of T belongs to row Source(k) of C.
  if (partial)
    QORMtxOrdinalPairs(Iota(0, p), std::vector<int>(pairs.Sources(), pairs.Sources() + p))
        .MoveRows(1.0, T.Values(), p, C.Values(), numRowsC, numColsC, false);
}

void QORMtxMappedOperations::Multiply(const QORMtxDenseMatrix& B, bool transB, const QORMtxSparseMatrix& A,
                                      const QORBasVector<int>& rowOrdinalsA, QORMtxMatrix& C, bool accumulate) {
  QORMTX_ASSERT(rowOrdinalsA.size() == A.NumberOfRows());
  QORMtxDenseMatrix* view = B.Submatrix(0, B.NumberOfRows() - 1, 0, B.NumberOfColumns() - 1);
  const std::unique_ptr<QORMtxDenseMatrix> owned(view);
  QORMtxDenseMatrix& BB = *view;
  if (transB) BB.Transpose();
  const int numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(C.NumberOfRows() == BB.NumberOfRows());
  QORMTX_ASSERT(A.NumberOfColumns() == numColsC);
  if (!accumulate) QORMtxBLA::Assign(0.0, C, 0);
  const std::vector<int> ordBB = SetOrdinals(BB.ColumnCSetID());
  const QORMtxOrdinalPairs pairs =
      QORMtxOrdinalPairs::FromArrays(ordBB.data(), static_cast<int>(ordBB.size()), rowOrdinalsA.data(),
                                     rowOrdinalsA.size());
  if (pairs.Empty()) return;
  const int p = pairs.Size();
  // Columns of C are A's columns; the inner operand rows are the positions of A's rows among the paired columns.
  std::vector<int> innerOf(static_cast<size_t>(A.NumberOfRows()), -1);
  for (int k = 0; k < p; ++k) innerOf[pairs.Target(k)] = k;
  const PairedEntries product(A, true, Iota(0, numColsC), innerOf);
  const int numRows = BB.NumberOfRows();
  const int blocksPerPass = std::max(1, BB.NumberOfColumns() / p);
  ForEachSlice(qormtx_bands::Geometry::Blocks(BB, qormtx_bands::Axis::Rows, blocksPerPass), p,
               [&](int r0, int rows, double* t) {
                 const std::vector<int> rowList = Iota(r0, rows);
                 MoveBlock(false, BB, rowList.data(), rows, pairs.Sources(), p, t);
                 // Column pos of T times A's entries lands in C's columns, rows r0 onward.
                 product.Apply(1.0, t, static_cast<size_t>(rows), 1, C.Values() + r0, static_cast<size_t>(numRows), 1,
                               rows);
               });
}

void QORMtxMappedOperations::Multiply(const QORMtxSparseMatrix& A, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C,
                                      bool transA) {
  const std::vector<int> ordC = SetOrdinals(C.RowCSetID()), ordB = SetOrdinals(B.RowCSetID());
  const std::vector<int> outerOrd = SparseOrdinals(A, transA), innerOrd = SparseOrdinals(A, !transA);
  const QORMtxOrdinalPairs mapC = QORMtxOrdinalPairs::FromArrays(outerOrd.data(), static_cast<int>(outerOrd.size()),
                                                                 ordC.data(), static_cast<int>(ordC.size()));
  const QORMtxOrdinalPairs mapB = QORMtxOrdinalPairs::FromArrays(innerOrd.data(), static_cast<int>(innerOrd.size()),
                                                                 ordB.data(), static_cast<int>(ordB.size()));
  const QORMtxOrdinalPairs colMap = QORMtxOrdinalPairs::FromCSets(B.ColumnCSetID(), C.ColumnCSetID());
  if (mapC.Empty() || mapB.Empty() || colMap.Empty()) return;

  // Symbolic step: paired result rows numbered 0 … pC − 1 in key order; of the paired inner indices only those that
  // meet a nonzero entry are read, numbered 0 … q − 1.
  const int pC = mapC.Size();
  std::vector<int> resultOf(outerOrd.size(), -1), innerAll(innerOrd.size(), -1);
  for (int k = 0; k < pC; ++k) resultOf[mapC.Source(k)] = k;
  for (int k = 0; k < mapB.Size(); ++k) innerAll[mapB.Source(k)] = k;
  PairedEntries product(A, transA, resultOf, innerAll);
  const std::vector<char> used = product.UsedInner(mapB.Size());
  const QORMtxOrdinalPairs readB = mapB.Select(used);
  const int q = readB.Size();
  if (q == 0) return;
  std::vector<int> compact(static_cast<size_t>(mapB.Size()), -1);
  for (int k = 0, c = 0; k < mapB.Size(); ++k)
    if (used[k]) compact[k] = c++;
  product.RenumberInner(compact);

  // Numeric step: columns of B in slices, each slice turned row-major so that every update is contiguous. The
  // slice is as wide as the wider block width of B and C allows (never the whole of B).
  const int nc = colMap.Size();
  const int64_t maxElems = std::max(static_cast<int64_t>(B.NumberOfRows()) * B.MaxNumberOfColumnsInBlock(),
                                    static_cast<int64_t>(C.NumberOfRows()) * C.MaxNumberOfColumnsInBlock());
  const int chunk = static_cast<int>(std::max<int64_t>(
      1, std::min<int64_t>({nc, maxElems / pC, maxElems / q, static_cast<int64_t>(kSliceColumns)})));
  std::vector<double> rowMajorB(Count(q, chunk)), rowMajorC(Count(pC, chunk));
  ForEachSlice(Slices(nc, chunk), std::max(q, pC), [&](int k0, int len, double* colMajor) {
    MoveBlock(false, B, readB.Targets(), q, colMap.Sources() + k0, len, colMajor);
    TransposeInto(colMajor, q, len, rowMajorB.data());
    std::fill(rowMajorC.begin(), rowMajorC.begin() + Count(pC, len), 0.0);
    product.Apply(1.0, rowMajorB.data(), static_cast<size_t>(len), 1, rowMajorC.data(), static_cast<size_t>(len), 1,
                  len);
    TransposeInto(rowMajorC.data(), len, pC, colMajor);
    MoveBlock(true, C, mapC.Targets(), pC, colMap.Targets() + k0, len, colMajor);
  });
}

void QORMtxMappedOperations::Multiply(const QORMtxSparseMatrix& A, const QORMtxMatrix& B,
                                      const QORBasVector<int>& rowOrdinalsB, QORMtxMatrix& C,
                                      const QORBasVector<int>& rowOrdinalsC, bool transA) {
  Multiply(1.0, A, B, rowOrdinalsB, 0.0, C, rowOrdinalsC, transA);
}

void QORMtxMappedOperations::Multiply(double alpha, const QORMtxSparseMatrix& A, const QORMtxMatrix& B,
                                      const QORBasVector<int>& rowOrdinalsB, double beta, QORMtxMatrix& C,
                                      const QORBasVector<int>& rowOrdinalsC, bool transA) {
  QORMTX_ASSERT(rowOrdinalsB.size() == B.NumberOfRows());
  QORMTX_ASSERT(rowOrdinalsC.size() == C.NumberOfRows());
  const std::vector<int> outerOrd = SparseOrdinals(A, transA), innerOrd = SparseOrdinals(A, !transA);
  omi_IntTable<int> mapC, mapB;
  QORMtxUtilities::MapIntArrays(outerOrd.data(), static_cast<int>(outerOrd.size()), rowOrdinalsC.data(),
                                rowOrdinalsC.size(), mapC);
  if (mapC.IsEmpty()) return;
  QORMtxUtilities::MapIntArrays(innerOrd.data(), static_cast<int>(innerOrd.size()), rowOrdinalsB.data(),
                                rowOrdinalsB.size(), mapB);
  if (mapB.IsEmpty()) return;
  IncoreMultiply(alpha, A, transA, B, mapB, beta, C, mapC);
}

void QORMtxMappedOperations::Multiply(double alpha, const QORMtxSparseMatrix& A, const QORMtxMatrix& B, double beta,
                                      QORMtxMatrix& C, bool transA) {
  const int* rowOrdinalsB = B.GetRowOrdinals();
  const int* rowOrdinalsC = C.GetRowOrdinals();
  QORMTX_ASSERT(rowOrdinalsB && rowOrdinalsC);
  const QORBasVector<int> ordB(rowOrdinalsB, rowOrdinalsB + B.NumberOfRows());
  const QORBasVector<int> ordC(rowOrdinalsC, rowOrdinalsC + C.NumberOfRows());
  Multiply(alpha, A, B, ordB, beta, C, ordC, transA);
}

void QORMtxMappedOperations::IncoreMultiply(const QORMtxSparseMatrix& A, bool transA, const QORMtxMatrix& B,
                                            const omi_IntTable<int>& mapB, QORMtxMatrix& C,
                                            const omi_IntTable<int>& mapC) {
  IncoreMultiply(1.0, A, transA, B, mapB, 0.0, C, mapC);
}

void QORMtxMappedOperations::IncoreMultiply(double alpha, const QORMtxSparseMatrix& A, bool transA,
                                            const QORMtxMatrix& B, const omi_IntTable<int>& mapB, double beta,
                                            QORMtxMatrix& C, const omi_IntTable<int>& mapC) {
  const int numCols = B.NumberOfColumns();
  QORMTX_ASSERT(numCols == C.NumberOfColumns());
  if (beta == 0.0)
    QORMtxBLA::Assign(0.0, C, 0);
  else if (beta != 1.0)
    QORMtxBLA::Scale(beta, C, 0);
  const bool sym = A.Diagonal() != nullptr;
  const int outer = transA && !sym ? A.NumberOfColumns() : A.NumberOfRows();
  const int inner = transA && !sym ? A.NumberOfRows() : A.NumberOfColumns();
  const PairedEntries product(A, transA, Lookup(mapC, outer), Lookup(mapB, inner));
  if (C.IsNull() || B.IsNull()) return;
  product.Apply(alpha, B.Values(), 1, static_cast<size_t>(B.NumberOfRows()), C.Values(), 1,
                static_cast<size_t>(C.NumberOfRows()), numCols);
}

void QORMtxMappedOperations::MatrixProduct(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& colDofsA,
                                           const QORMtxMatrix& U, const omi_IntTable<int>& map, double beta,
                                           QORMtxMatrix& V) {
  QORMTX_ASSERT(!!A && !!U && !!V && !A.IsDiagonal());
  const int nRowsA = A.NumberOfRows(), nColsA = A.NumberOfColumns();
  const int nRowsU = U.NumberOfRows(), nColsU = U.NumberOfColumns();
  const int nRowsV = V.NumberOfRows(), nColsV = V.NumberOfColumns();
  QORMTX_ASSERT(nRowsU >= nColsA && nRowsA == nRowsV && nColsU == nColsV);
  QORMTX_ASSERT(nColsA == colDofsA.size());
  // G(j, :) = U(map[colDofsA[j]], :); a degree of freedom missing from the map is fatal in the lookup.
  std::vector<int> src(static_cast<size_t>(nColsA));
  for (int j = 0; j < nColsA; ++j) src[j] = map[colDofsA[j]];
  std::vector<double> g(Count(nColsA, nColsU));
  QORMtxOrdinalPairs(src, Iota(0, nColsA)).MoveRows(1.0, U.Values(), nRowsU, g.data(), nColsA, nColsU, false);
  if (nRowsA == 0 || nColsU == 0 || nColsA == 0) return;
  const char n = 'N';
  blac_dgemm(&n, &n, &nRowsA, &nColsU, &nColsA, &alpha, A.Values(), &nRowsA, g.data(), &nColsA, &beta, V.Values(),
             &nRowsV);
}
