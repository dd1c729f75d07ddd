// QORMtxScratchDenseMatrix: a stored dense matrix in a scratch database file of its own.
#include "QORMtxScratchDenseMatrix.h"

#include <algorithm>
#include <cstdio>

#include "QORBasUtlFilePath.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"

namespace {
// The ordinals of a caller's set, which the matrix's own collection then carries.
QORBasVector<int> OrdinalsOf(const QORSimCSetID& set) {
  QORBasVector<int> ordinals;
  QORMtxUtilities::GetOrdinals(set, ordinals);
  return ordinals;
}
}  // namespace

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix() = default;

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(int numRows, int numCols, int rowChunk, int colChunk) {
  ConstructScratchDenseMatrix(numRows, numCols, nullptr, nullptr, rowChunk, colChunk, 0);
}

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(int numRows, int numCols, const int* rowOrdinals,
                                                   const int* colOrdinals, int rowChunk, int colChunk) {
  ConstructScratchDenseMatrix(numRows, numCols, rowOrdinals, colOrdinals, rowChunk, colChunk, 0);
}

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(const QORBasVector<int>& rowOrdinals,
                                                   const QORBasVector<int>& colOrdinals, int rowChunk, int colChunk,
                                                   int tag) {
  ConstructScratchDenseMatrix(rowOrdinals.size(), colOrdinals.size(), rowOrdinals.data(), colOrdinals.data(),
                              rowChunk, colChunk, tag);
}

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(const QORBasVector<int>& rowOrdinals, const QORSimCSetID& cols,
                                                   int rowChunk, int colChunk)
    : m_userColSetID(cols) {
  const QORBasVector<int> colOrdinals = OrdinalsOf(cols);
  ConstructScratchDenseMatrix(rowOrdinals.size(), colOrdinals.size(), rowOrdinals.data(), colOrdinals.data(),
                              rowChunk, colChunk, 0);
}

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(const QORSimCSetID& rows, const QORBasVector<int>& colOrdinals,
                                                   int rowChunk, int colChunk)
    : m_userRowSetID(rows) {
  const QORBasVector<int> rowOrdinals = OrdinalsOf(rows);
  ConstructScratchDenseMatrix(rowOrdinals.size(), colOrdinals.size(), rowOrdinals.data(), colOrdinals.data(),
                              rowChunk, colChunk, 0);
}

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(const QORSimCSetID& rows, const QORSimCSetID& cols, int rowChunk,
                                                   int colChunk)
    : m_userRowSetID(rows), m_userColSetID(cols) {
  const QORBasVector<int> rowOrdinals = OrdinalsOf(rows), colOrdinals = OrdinalsOf(cols);
  ConstructScratchDenseMatrix(rowOrdinals.size(), colOrdinals.size(), rowOrdinals.data(), colOrdinals.data(),
                              rowChunk, colChunk, 0);
}

QORMtxScratchDenseMatrix::QORMtxScratchDenseMatrix(const QORMtxScratchDenseMatrix& rhs, int startRow, int endRow,
                                                   int startCol, int endCol)
    : QORMtxDenseMatrix(rhs, startRow, endRow, startCol, endCol), m_fileHandle(rhs.m_fileHandle) {}

// Members go in reverse order: the handle (and with the last one the file) before the base's distribution.
QORMtxScratchDenseMatrix::~QORMtxScratchDenseMatrix() = default;

void QORMtxScratchDenseMatrix::ConstructScratchDenseMatrix(int numRows, int numCols, const int* rowOrdinals,
                                                           const int* colOrdinals, int rowChunk, int colChunk,
                                                           int tag) {
  // The object's address makes the name unique within the process for as long as the matrix lives.
  char name[96];
  std::snprintf(name, sizeof name, "QORMtxScratchDenseMatrix%p%d.sim", static_cast<void*>(this), tag);
  cow_String dir = QORMtxUtilities::GetTempDirectory();
  if (dir.empty()) dir = QORBasUtlFilePath::CurrentDirectory();
  m_fileHandle.Create(QORBasUtlFilePath::AbsolutePathName(dir, name));

  const QORSimContextID context = m_fileHandle.ContextID();
  QORSimDistributionID id;
  {
    QORSimTransaction transaction(context);
    QORSimContext ctx(context);
    QORSimCollection rowColl(ctx.CreateCollection(numRows, QORSimTypeID()));
    QORSimCollection colColl(ctx.CreateCollection(numCols, QORSimTypeID()));
    const QORSimCSetID rows = rowOrdinals ? rowColl.CreateOrderedCSet(rowOrdinals, numRows) : rowColl.BiggestCSetID();
    const QORSimCSetID cols = colOrdinals ? colColl.CreateOrderedCSet(colOrdinals, numCols) : colColl.BiggestCSetID();
    rowChunk = std::min(numRows, rowChunk);
    colChunk = std::min(numCols, colChunk);
    QORMtxUtilities::LimitChunkSize2GB(rowChunk, colChunk, numRows, numCols);
    id = QORMtxUtilities::Create2DDistribution(rows, cols, rowChunk, colChunk);
    transaction.Commit();
  }
  setDistribution(QORSimDistribution(id));
}

QORSimCSetID QORMtxScratchDenseMatrix::RowCSetID() const {
  return m_userRowSetID.IsNull() ? QORMtxDenseMatrix::RowCSetID() : m_userRowSetID;
}

QORSimCSetID QORMtxScratchDenseMatrix::ColumnCSetID() const {
  return m_userColSetID.IsNull() ? QORMtxDenseMatrix::ColumnCSetID() : m_userColSetID;
}

QORMtxDenseMatrix* QORMtxScratchDenseMatrix::Submatrix(int startRow, int endRow, int startCol, int endCol) const {
  return new QORMtxScratchDenseMatrix(*this, startRow, endRow, startCol, endCol);
}

void QORMtxScratchDenseMatrix::Transpose() {
  QORMtxDenseMatrix::Transpose();
  std::swap(m_userRowSetID, m_userColSetID);
}
