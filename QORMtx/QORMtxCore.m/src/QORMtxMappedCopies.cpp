// QORMtxMappedOperations: copies and adds of rows, columns and blocks between operands paired by ordinal.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "QORMtxAssert.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMappedKernels.h"
#include "QORMtxMappedOperations.h"
#include "QORMtxMatrix.h"
#include "QORMtxOrdinalPairs.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "omi_IntTable.h"

using namespace qormtx_mapped;

namespace {

std::vector<int> Iota(int first, int n) {
  std::vector<int> v(static_cast<size_t>(std::max(n, 0)));
  std::iota(v.begin(), v.end(), first);
  return v;
}

// Whole blocks along one axis of A per pass: as many as `along` positions allow, at least one.
int BlocksPerPass(int along, int maxBlock) { return along < maxBlock ? 1 : along / std::max(1, maxBlock); }

// The paired rows of stored A into stored B, by whole column blocks of A through one reused buffer.
void CopyPairedRows(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B, const QORMtxOrdinalPairs& pairs) {
  const int p = pairs.Size();
  const int64_t maxElems = std::max(static_cast<int64_t>(A.MaxNumberOfColumnsInBlock()) * A.NumberOfRows(),
                                    static_cast<int64_t>(B.MaxNumberOfColumnsInBlock()) * B.NumberOfRows());
  const int cols = static_cast<int>(std::min<int64_t>(A.NumberOfColumns(), maxElems / p));
  const int perPass = BlocksPerPass(cols, A.MaxNumberOfColumnsInBlock());
  std::vector<double> t(Count(p, perPass * A.MaxNumberOfColumnsInBlock()));
  for (int b0 = 0; b0 < A.NumberOfColumnBlocks(); b0 += perPass) {
    const int b1 = std::min(b0 + perPass, A.NumberOfColumnBlocks()) - 1;
    const int c0 = A.FirstColumnInBlock(b0), w = A.NumberOfColumnsInBlockRange(b0, b1);
    const std::vector<int> list = Iota(c0, w);
    MoveBlock(false, A, pairs.Sources(), p, list.data(), w, t.data());
    MoveBlock(true, B, pairs.Targets(), p, list.data(), w, t.data());
  }
}

// The paired rows of stored A, pair k into row k of the packed p × numCols buffer, by whole column blocks; each
// pass hands its block (columns c0 … c0 + w − 1) to f.
template <class F>
void ForEachRowPass(const QORMtxDenseMatrix& A, const int* rowsA, int p, F f) {
  const int64_t budget = std::max<int64_t>(static_cast<int64_t>(A.MaxNumberOfColumnsInBlock()) * A.NumberOfRows(), 1);
  const int cols = static_cast<int>(std::min<int64_t>(A.NumberOfColumns(), budget / p));
  const int perPass = BlocksPerPass(cols, A.MaxNumberOfColumnsInBlock());
  std::vector<double> t(Count(p, perPass * A.MaxNumberOfColumnsInBlock()));
  for (int b0 = 0; b0 < A.NumberOfColumnBlocks(); b0 += perPass) {
    const int b1 = std::min(b0 + perPass, A.NumberOfColumnBlocks()) - 1;
    const int c0 = A.FirstColumnInBlock(b0), w = A.NumberOfColumnsInBlockRange(b0, b1);
    const std::vector<int> list = Iota(c0, w);
    MoveBlock(false, A, rowsA, p, list.data(), w, t.data());
    f(c0, w, t.data());
  }
}

}  // namespace

void QORMtxMappedOperations::AddRows(double alpha, const QORMtxMatrix& A, const int* rowOrdinalsA, QORMtxMatrix& B,
                                     const int* rowOrdinalsB) {
  QORMTX_ASSERT(!!A && !!B);
  const int numColsA = A.NumberOfColumns();
  QORMTX_ASSERT(numColsA <= B.NumberOfColumns());
  QORMtxOrdinalPairs::FromArrays(rowOrdinalsA, A.NumberOfRows(), rowOrdinalsB, B.NumberOfRows())
      .MoveRows(alpha, A.Values(), A.NumberOfRows(), B.Values(), B.NumberOfRows(), numColsA, true);
}

void QORMtxMappedOperations::CopyRows(const QORMtxMatrix& A, const int* rowOrdinalsA, QORMtxMatrix& B,
                                      const int* rowOrdinalsB) {
  QORMTX_ASSERT(!!A && !!B);
  const int numColsA = A.NumberOfColumns();
  QORMTX_ASSERT(numColsA <= B.NumberOfColumns());
  QORMtxOrdinalPairs::FromArrays(rowOrdinalsA, A.NumberOfRows(), rowOrdinalsB, B.NumberOfRows())
      .MoveRows(1.0, A.Values(), A.NumberOfRows(), B.Values(), B.NumberOfRows(), numColsA, false);
}

void QORMtxMappedOperations::CopyColumns(const QORMtxMatrix& A, const int* colOrdinalsA, QORMtxMatrix& B,
                                         const int* colOrdinalsB) {
  QORMTX_ASSERT(!!A && !!B);
  const int numRowsA = A.NumberOfRows(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(numRowsA == numRowsB);
  // Columns are the rows of the transposed layout: one contiguous copy per run of paired columns.
  const QORMtxOrdinalPairs pairs =
      QORMtxOrdinalPairs::FromArrays(colOrdinalsA, A.NumberOfColumns(), colOrdinalsB, B.NumberOfColumns());
  const int one = 1;
  pairs.ForEachRun(0, pairs.Size(), [&](int k, int len) {
    const int n = len * numRowsA;
    blac_dcopy(&n, A.Values() + Count(numRowsA, pairs.Source(k)), &one, B.Values() + Count(numRowsA, pairs.Target(k)),
               &one);
  });
}

void QORMtxMappedOperations::CopyRows(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B) {
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(B.NumberOfColumns() >= numColsA);
  const QORMtxOrdinalPairs pairs = QORMtxOrdinalPairs::FromCSets(A.RowCSetID(), B.RowCSetID());
  const int numMappedRows = pairs.Size();
  if (numMappedRows == 0) return;
  QORMTX_ASSERT(numMappedRows <= numRowsA && numMappedRows <= numRowsB);
  CopyPairedRows(A, B, pairs);
}

void QORMtxMappedOperations::CopyRows(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B,
                                      const QORBasVector<int>& rowOrdinalsB) {
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(B.NumberOfColumns() >= numColsA);
  QORMTX_ASSERT(rowOrdinalsB.size() == numRowsB);
  const std::vector<int> ordA = SetOrdinals(A.RowCSetID());
  const QORMtxOrdinalPairs pairs =
      QORMtxOrdinalPairs::FromArrays(ordA.data(), numRowsA, rowOrdinalsB.data(), rowOrdinalsB.size());
  const int numMappedRows = pairs.Size();
  if (numMappedRows == 0) return;
  QORMTX_ASSERT(numMappedRows <= numRowsA && numMappedRows <= numRowsB);
  CopyPairedRows(A, B, pairs);
}

void QORMtxMappedOperations::CopyRows(const QORMtxDenseMatrix& A, QORMtxMatrix& B, const int* rowOrdinalsB) {
  QORMTX_ASSERT(rowOrdinalsB);
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(B.NumberOfColumns() >= numColsA);
  const std::vector<int> ordA = SetOrdinals(A.RowCSetID());
  const QORMtxOrdinalPairs pairs = QORMtxOrdinalPairs::FromArrays(ordA.data(), numRowsA, rowOrdinalsB, numRowsB);
  const int numMappedRows = pairs.Size();
  if (numMappedRows == 0) return;
  QORMTX_ASSERT(numMappedRows <= numRowsA && numMappedRows <= numRowsB);
  // Row k of each pass belongs to B's row Target(k).
  const QORMtxOrdinalPairs scatter(Iota(0, numMappedRows),
                                   std::vector<int>(pairs.Targets(), pairs.Targets() + numMappedRows));
  ForEachRowPass(A, pairs.Sources(), numMappedRows, [&](int c0, int w, const double* t) {
    scatter.MoveRows(1.0, t, numMappedRows, B.Values() + Count(numRowsB, c0), numRowsB, w, false);
  });
}

void QORMtxMappedOperations::CopyRows(const QORMtxDenseMatrix& A, QORMtxMatrix& B,
                                      const QORBasVector<int>& rowOrdinalsB) {
  const int numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(rowOrdinalsB.size() <= numRowsB);
  CopyRows(A, B, rowOrdinalsB.data());
}

void QORMtxMappedOperations::CopyRows(const QORMtxMatrix& A, QORBasVector<int>& rowOrdinalsA, QORMtxDenseMatrix& B) {
  QORMTX_ASSERT(rowOrdinalsA.size()>0);
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(B.NumberOfColumns() >= numColsA);
  const std::vector<int> ordB = SetOrdinals(B.RowCSetID());
  const QORMtxOrdinalPairs pairs =
      QORMtxOrdinalPairs::FromArrays(rowOrdinalsA.data(), rowOrdinalsA.size(), ordB.data(), numRowsB);
  const int numMappedRows = pairs.Size();
  if (numMappedRows == 0) return;
  QORMTX_ASSERT(numMappedRows <= numRowsA && numMappedRows <= numRowsB);
  // Gathered rows go out in passes of whole column blocks of B.
  const int perPass = std::max(1, BlocksPerPass(static_cast<int>(std::min<int64_t>(
                                                    numColsA, static_cast<int64_t>(B.MaxNumberOfColumnsInBlock()) *
                                                                  std::max(1, numRowsB) / numMappedRows)),
                                                B.MaxNumberOfColumnsInBlock()));
  const QORMtxOrdinalPairs gather(std::vector<int>(pairs.Sources(), pairs.Sources() + numMappedRows),
                                  Iota(0, numMappedRows));
  std::vector<double> t;
  for (int b0 = 0; b0 < B.NumberOfColumnBlocks(); b0 += perPass) {
    const int c0 = B.FirstColumnInBlock(b0);
    if (c0 >= numColsA) break;
    const int b1 = std::min(b0 + perPass, B.NumberOfColumnBlocks()) - 1;
    const int w = std::min(B.NumberOfColumnsInBlockRange(b0, b1), numColsA - c0);
    t.resize(Count(numMappedRows, w));
    gather.MoveRows(1.0, A.Values() + Count(numRowsA, c0), numRowsA, t.data(), numMappedRows, w, false);
    const std::vector<int> list = Iota(c0, w);
    MoveBlock(true, B, pairs.Targets(), numMappedRows, list.data(), w, t.data());
  }
}

void QORMtxMappedOperations::CopyColumns(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B) {
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numColsB = B.NumberOfColumns();
  QORMTX_ASSERT(B.NumberOfRows() >= numRowsA);
  const QORMtxOrdinalPairs pairs = QORMtxOrdinalPairs::FromCSets(A.ColumnCSetID(), B.ColumnCSetID());
  const int numMappedCols = pairs.Size();
  if (numMappedCols == 0) return;
  QORMTX_ASSERT(numMappedCols <= numColsA && numMappedCols <= numColsB);
  const int64_t maxElems = std::max(static_cast<int64_t>(A.MaxNumberOfRowsInBlock()) * numColsA,
                                    static_cast<int64_t>(B.MaxNumberOfRowsInBlock()) * numColsB);
  const int rows = static_cast<int>(std::min<int64_t>(numRowsA, maxElems / numMappedCols));
  const int perPass = BlocksPerPass(rows, A.MaxNumberOfRowsInBlock());
  std::vector<double> t(Count(perPass * A.MaxNumberOfRowsInBlock(), numMappedCols));
  for (int b0 = 0; b0 < A.NumberOfRowBlocks(); b0 += perPass) {
    const int b1 = std::min(b0 + perPass, A.NumberOfRowBlocks()) - 1;
    const int r0 = A.FirstRowInBlock(b0), h = A.NumberOfRowsInBlockRange(b0, b1);
    const std::vector<int> list = Iota(r0, h);
    MoveBlock(false, A, list.data(), h, pairs.Sources(), numMappedCols, t.data());
    MoveBlock(true, B, list.data(), h, pairs.Targets(), numMappedCols, t.data());
  }
}

void QORMtxMappedOperations::CopyColumns(const QORMtxDenseMatrix& A, QORMtxMatrix& B) {
  CopyColumns(A, B, B.GetColOrdinals());
}

void QORMtxMappedOperations::CopyColumns(const QORMtxDenseMatrix& A, QORMtxMatrix& B, const int* colOrdinalsB) {
  QORMTX_ASSERT(!!A);
  const int numRows = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numColsB = B.NumberOfColumns();
  QORMTX_ASSERT(numRows == B.NumberOfRows());
  QORMTX_ASSERT(numColsA >= numColsB);
  const int* colOrginalsB = colOrdinalsB;  // the condition's own spelling
  QORMTX_ASSERT(colOrginalsB);
  const std::vector<int> ordA = SetOrdinals(A.ColumnCSetID());
  const QORMtxOrdinalPairs pairs = QORMtxOrdinalPairs::FromArrays(colOrdinalsB, numColsB, ordA.data(), numColsA);
  const int numMappedCols = pairs.Size();
  QORMTX_ASSERT(numMappedCols == numColsB);
  if (numRows == 0 || numColsB == 0) return;
  // Every column of B is paired, so the pairs in key order list B's columns 0 … numColsB − 1.
  const std::vector<int> rows = Iota(0, numRows);
  MoveBlock(false, A, rows.data(), numRows, pairs.Targets(), numColsB, B.Values());
}

void QORMtxMappedOperations::CopyValues(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B) {
  omi_IntTable<int> rowMap, colMap;
  QORMtxUtilities::MapCSets(A.RowCSetID(), B.RowCSetID(), rowMap);
  QORMtxUtilities::MapCSets(A.ColumnCSetID(), B.ColumnCSetID(), colMap);
  CopyValues(A, B, rowMap, colMap);
}

void QORMtxMappedOperations::CopyValues(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B,
                                        const omi_IntTable<int>& rowMap, const omi_IntTable<int>& colMap) {
  if (rowMap.IsEmpty() || colMap.IsEmpty()) return;
  const int numRowsA = A.NumberOfRows(), numRowsB = B.NumberOfRows();
  const int numColsA = A.NumberOfColumns(), numColsB = B.NumberOfColumns();
  const int numMappedRows = rowMap.Size(), numMappedCols = colMap.Size();
  QORMTX_ASSERT(numMappedRows <= numRowsA && numMappedRows <= numRowsB);
  QORMTX_ASSERT(numMappedCols <= numColsA && numMappedCols <= numColsB);
  const QORMtxOrdinalPairs rows(rowMap), cols(colMap);
  const int64_t maxElems = std::max(static_cast<int64_t>(A.MaxNumberOfColumnsInBlock()) * numRowsA,
                                    static_cast<int64_t>(B.MaxNumberOfColumnsInBlock()) * numRowsB);
  const int width =
      static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(numMappedCols, maxElems / numMappedRows)));
  std::vector<double> work(Count(numMappedRows, width));
  for (int k0 = 0; k0 < numMappedCols; k0 += width) {
    const int len = std::min(width, numMappedCols - k0);
    MoveBlock(false, A, rows.Sources(), numMappedRows, cols.Sources() + k0, len, work.data());
    MoveBlock(true, B, rows.Targets(), numMappedRows, cols.Targets() + k0, len, work.data());
  }
}

void QORMtxMappedOperations::CopyValues(const QORMtxDenseMatrix& A, const QORBasVector<int>& rowOrdinalsA,
                                        const QORBasVector<int>& colOrdinalsA, QORMtxDenseMatrix& B) {
  QORMTX_ASSERT(A.NumberOfRows() == rowOrdinalsA.size() && A.NumberOfColumns() == colOrdinalsA.size());
  QORBasVector<int> ordRowsB, ordColsB;
  QORMtxUtilities::GetOrdinals(B.RowCSetID(), ordRowsB);
  QORMtxUtilities::GetOrdinals(B.ColumnCSetID(), ordColsB);
  omi_IntTable<int> rowMap, colMap;
  QORMtxUtilities::MapIntVectors(rowOrdinalsA, ordRowsB, rowMap);
  QORMtxUtilities::MapIntVectors(colOrdinalsA, ordColsB, colMap);
  CopyValues(A, B, rowMap, colMap);
}
