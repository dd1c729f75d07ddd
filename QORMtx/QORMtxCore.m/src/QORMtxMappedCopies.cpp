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

// Whole blocks along one axis of A per pass: as many as `along` positions allow, at least one.
int BlocksPerPass(int along, int maxBlock) { return along < maxBlock ? 1 : along / std::max(1, maxBlock); }

// The rows rowsA of stored A (pair k into row k of a packed p × w buffer), by whole column blocks that fit budget
// doubles; each pass hands its block (columns c0 … c0 + w − 1) to f.
template <class F>
void ForEachRowPass(const QORMtxDenseMatrix& A, const int* rowsA, int p, int64_t budget, F f) {
  const int cols = static_cast<int>(std::min<int64_t>(A.NumberOfColumns(), std::max<int64_t>(budget, 1) / p));
  const int perPass = BlocksPerPass(cols, A.MaxNumberOfColumnsInBlock());
  ForEachSlice(qormtx_bands::Geometry::Blocks(A, qormtx_bands::Axis::Columns, perPass), p,
               [&](int c0, int w, double* t) {
                 const std::vector<int> list = Iota(c0, w);
                 MoveBlock(false, A, rowsA, p, list.data(), w, t);
                 f(c0, w, t);
               });
}

// The paired rows of stored A into stored B, through one reused buffer.
void CopyPairedRows(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B, const QORMtxOrdinalPairs& pairs) {
  const int64_t maxElems = std::max(static_cast<int64_t>(A.MaxNumberOfColumnsInBlock()) * A.NumberOfRows(),
                                    static_cast<int64_t>(B.MaxNumberOfColumnsInBlock()) * B.NumberOfRows());
  ForEachRowPass(A, pairs.Sources(), pairs.Size(), maxElems, [&](int c0, int w, const double* t) {
    const std::vector<int> list = Iota(c0, w);
    MoveBlock(true, B, pairs.Targets(), pairs.Size(), list.data(), w, const_cast<double*>(t));
  });
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
  ForEachRowPass(A, pairs.Sources(), numMappedRows, static_cast<int64_t>(A.MaxNumberOfColumnsInBlock()) * numRowsA,
                 [&](int c0, int w, const double* t) {
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
  ForEachSlice(qormtx_bands::Geometry::Blocks(B, qormtx_bands::Axis::Columns, perPass), numMappedRows,
               [&](int c0, int width, double* t) {
                 const int w = std::min(width, numColsA - c0);
                 if (w <= 0) return;
                 gather.MoveRows(1.0, A.Values() + Count(numRowsA, c0), numRowsA, t, numMappedRows, w, false);
                 const std::vector<int> list = Iota(c0, w);
                 MoveBlock(true, B, pairs.Targets(), numMappedRows, list.data(), w, t);
               });
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
  ForEachSlice(qormtx_bands::Geometry::Blocks(A, qormtx_bands::Axis::Rows, perPass), numMappedCols,
               [&](int r0, int h, double* t) {
                 const std::vector<int> list = Iota(r0, h);
                 MoveBlock(false, A, list.data(), h, pairs.Sources(), numMappedCols, t);
                 MoveBlock(true, B, list.data(), h, pairs.Targets(), numMappedCols, t);
               });
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
  ForEachSlice(Slices(numMappedCols, width), numMappedRows, [&](int k0, int len, double* work) {
    MoveBlock(false, A, rows.Sources(), numMappedRows, cols.Sources() + k0, len, work);
    MoveBlock(true, B, rows.Targets(), numMappedRows, cols.Targets() + k0, len, work);
  });
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
