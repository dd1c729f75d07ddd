// QORMtxDenseMatrix: a real dense matrix in a data-store distribution; binding, geometry, block transfers.
#include "QORMtxDenseMatrix.h"

#include <algorithm>
#include <cstdlib>

#include "QORMtxAssert.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "mem_Alloc.h"
#include "omi_Set.h"

namespace {

// Sizes of the drawer's dimension and chunk arrays as the matrix sees them.
QORSimArray<QORSimDrawerDescription> Drawers(const QORSimDistribution& dist) { return dist.QueryDrawers(); }

// Blocks and the last block's size from the count and block size.
void Partition(int count, int blockSize, int& numBlocks, int& inLast) {
  numBlocks = (count - 1) / blockSize + 1;
  inLast = count % blockSize;
  if (inLast == 0) inLast = blockSize;
}

}  // namespace

QORMtxDenseMatrix::QORMtxDenseMatrix() { initializeState(); }

QORMtxDenseMatrix::QORMtxDenseMatrix(const QORSimDistribution& dist) {
  initializeState();
  setDistribution(dist);
}

QORMtxDenseMatrix::QORMtxDenseMatrix(const QORSimDistributionID& id) {
  initializeState();
  if (!id.IsNull()) setDistribution(QORSimDistribution(id));
}

QORMtxDenseMatrix::~QORMtxDenseMatrix() = default;

void QORMtxDenseMatrix::initializeState() {
  m_isView = 0;
  m_numRows = m_numCols = 0;
  m_numRowBlocks = m_numColBlocks = 0;
  m_rowBlockSize = m_colBlockSize = 0;
  m_rowsInFirstBlock = m_colsInFirstBlock = 0;
  m_rowsInLastBlock = m_colsInLastBlock = 0;
  m_rowOffset = m_colOffset = 0;
  m_transposed = false;
  m_savedCacheSize = 0;
}

void QORMtxDenseMatrix::setDistribution(const QORSimDistribution& dist) {
  if (QORMtxUtilities::SecondaryCache()) const_cast<QORSimDistribution&>(dist).SecondaryCache(1);
  const int numDim = dist.NumDimensions();
  QORMTX_ASSERT(numDim == 2 || numDim == 1);
  const QORSimArray<QORSimDrawerDescription> drawerDescriptions = Drawers(dist);
  QORMTX_ASSERT(drawerDescriptions.Size() == 1);
  const QORSimSerializationType serType = drawerDescriptions[0].SerializationType();
  QORMTX_ASSERT(serType.IsStandard());
  const QORSimDrawerDescription& drawer = drawerDescriptions[0];
  const QORSimArray<int>& dims = drawer.DimensionSizes();
  const QORSimArray<int>& chunks = drawer.ChunkSizes();
  const bool chunked = drawer.IsChunked();
  m_distribution = dist;
  if (numDim == 2) {
    m_numRows = dims[1];
    m_numCols = dims[0];
    m_rowBlockSize = chunked ? chunks[1] : m_numRows;
    m_colBlockSize = chunked ? chunks[0] : m_numCols;
    m_rowSetID = drawer.Compartment().CSetID(1);
    m_colSetID = drawer.Compartment().CSetID(0);
  } else {
    m_numRows = dims[0];
    m_numCols = 1;
    m_rowBlockSize = chunked ? chunks[0] : m_numRows;
    m_colBlockSize = 1;
    m_rowSetID = drawer.Compartment().CSetID(0);
    m_colSetID = QORSimCSetID();
  }
  Partition(m_numRows, m_rowBlockSize, m_numRowBlocks, m_rowsInLastBlock);
  Partition(m_numCols, m_colBlockSize, m_numColBlocks, m_colsInLastBlock);
  m_rowsInFirstBlock = m_numRowBlocks == 1 ? m_rowsInLastBlock : m_rowBlockSize;
  m_colsInFirstBlock = m_numColBlocks == 1 ? m_colsInLastBlock : m_colBlockSize;
  m_rowOffset = m_colOffset = 0;
}

QORMtxDenseMatrix::QORMtxDenseMatrix(const QORMtxDenseMatrix& rhs, int startRow, int endRow, int startCol,
                                     int endCol) {
  initializeState();
  QORMTX_ASSERT(startRow>=0 && startCol>=0);
  QORMTX_ASSERT(endRow<rhs.NumberOfRows() && endCol<rhs.NumberOfColumns());
  QORMTX_ASSERT(startRow<=endRow && startCol<=endCol);
  m_distribution = rhs.m_distribution;
  m_rowBlockSize = rhs.m_rowBlockSize;
  m_colBlockSize = rhs.m_colBlockSize;
  m_rowSetID = rhs.m_rowSetID;
  m_colSetID = rhs.m_colSetID;
  m_transposed = rhs.m_transposed;
  m_isView = 1;
  // Along each axis the view starts and ends inside the parent's blocks: its first and last blocks are partial.
  const auto axis = [](int start, int end, int first0, int size0, int first1, int b0, int b1, int& count,
                       int& blocks, int& inFirst, int& inLast) {
    count = end - start + 1;
    blocks = b1 - b0 + 1;
    inFirst = blocks == 1 ? count : first0 + size0 - start;
    inLast = blocks == 1 ? count : end - first1 + 1;
  };
  const int b0 = rhs.BlockContainingRow(startRow), b1 = rhs.BlockContainingRow(endRow);
  axis(startRow, endRow, rhs.FirstRowInBlock(b0), rhs.NumberOfRowsInBlock(b0), rhs.FirstRowInBlock(b1), b0, b1,
       m_numRows, m_numRowBlocks, m_rowsInFirstBlock, m_rowsInLastBlock);
  const int c0 = rhs.BlockContainingColumn(startCol), c1 = rhs.BlockContainingColumn(endCol);
  axis(startCol, endCol, rhs.FirstColumnInBlock(c0), rhs.NumberOfColumnsInBlock(c0), rhs.FirstColumnInBlock(c1), c0,
       c1, m_numCols, m_numColBlocks, m_colsInFirstBlock, m_colsInLastBlock);
  QORMTX_ASSERT(m_numRowBlocks > 0 && m_numColBlocks > 0);
  m_rowOffset = rhs.m_rowOffset + startRow;
  m_colOffset = rhs.m_colOffset + startCol;
}

// ---- Geometry ----

namespace {
int InBlock(int b, int numBlocks, int first, int last, int size) {
  if (b < 0) return 0;
  if (b == 0) return first;
  if (b >= numBlocks - 1) return last;
  return size;
}
int InBlockRange(int b0, int b1, int numBlocks, int first, int last, int size) {
  const int count = b1 - b0 + 1;
  if (count < 1 || b0 < 0 || b1 < 0) return 0;
  int n = InBlock(b0, numBlocks, first, last, size);
  if (count >= 2) n += InBlock(b1, numBlocks, first, last, size);
  if (count >= 3) n += (count - 2) * size;
  return n;
}
int FirstInBlock(int b, int first, int size) {
  if (b < 1) return 0;
  if (b == 1) return first;
  return first + (b - 1) * size;
}
int MaxInBlock(int numBlocks, int first, int last, int size) {
  return numBlocks < 3 ? std::max(first, last) : size;
}
}  // namespace

int QORMtxDenseMatrix::NumberOfRowsInBlock(int b) const {
  return InBlock(b, m_numRowBlocks, m_rowsInFirstBlock, m_rowsInLastBlock, m_rowBlockSize);
}
int QORMtxDenseMatrix::NumberOfColumnsInBlock(int b) const {
  return InBlock(b, m_numColBlocks, m_colsInFirstBlock, m_colsInLastBlock, m_colBlockSize);
}
int QORMtxDenseMatrix::NumberOfRowsInBlockRange(int b0, int b1) const {
  return InBlockRange(b0, b1, m_numRowBlocks, m_rowsInFirstBlock, m_rowsInLastBlock, m_rowBlockSize);
}
int QORMtxDenseMatrix::NumberOfColumnsInBlockRange(int b0, int b1) const {
  return InBlockRange(b0, b1, m_numColBlocks, m_colsInFirstBlock, m_colsInLastBlock, m_colBlockSize);
}
int QORMtxDenseMatrix::FirstRowInBlock(int b) const { return FirstInBlock(b, m_rowsInFirstBlock, m_rowBlockSize); }
int QORMtxDenseMatrix::FirstColumnInBlock(int b) const {
  return FirstInBlock(b, m_colsInFirstBlock, m_colBlockSize);
}

int QORMtxDenseMatrix::BlockContainingRow(int i) const {
  QORMTX_ASSERT(i>=0 && i<m_numRows);
  if (i < m_rowsInFirstBlock) return 0;
  if (m_numRows - i <= m_rowsInLastBlock) return m_numRowBlocks - 1;
  return (i - m_rowsInFirstBlock) / m_rowBlockSize + 1;
}

int QORMtxDenseMatrix::BlockContainingColumn(int j) const {
  QORMTX_ASSERT(j>=0 && j<m_numCols);
  if (j < m_colsInFirstBlock) return 0;
  if (m_numCols - j <= m_colsInLastBlock) return m_numColBlocks - 1;
  return (j - m_colsInFirstBlock) / m_colBlockSize + 1;
}

int QORMtxDenseMatrix::MaxNumberOfRowsInBlock() const {
  return MaxInBlock(m_numRowBlocks, m_rowsInFirstBlock, m_rowsInLastBlock, m_rowBlockSize);
}
int QORMtxDenseMatrix::MaxNumberOfColumnsInBlock() const {
  return MaxInBlock(m_numColBlocks, m_colsInFirstBlock, m_colsInLastBlock, m_colBlockSize);
}

int QORMtxDenseMatrix::NumberOfRowBlocksToIO(int n) const {
  const double ratio = static_cast<double>(m_colBlockSize) / m_rowBlockSize *
                       (static_cast<double>(m_numRows) / std::max(m_numCols, n));
  const int k = std::max(1, static_cast<int>(ratio));
  const double actualBufferSize = static_cast<double>(k) * m_rowBlockSize;
  const double maxDoubles = 268435456.0;
  QORMTX_ASSERT(actualBufferSize <= maxDoubles);
  return k;
}

QORSimCSetID QORMtxDenseMatrix::RowCSetID() const {
  return QORMtxUtilities::SubCSet(m_rowSetID, m_rowOffset, m_numRows);
}
QORSimCSetID QORMtxDenseMatrix::ColumnCSetID() const {
  return QORMtxUtilities::SubCSet(m_colSetID, m_colOffset, m_numCols);
}

QORMtxDenseMatrix* QORMtxDenseMatrix::Submatrix(int startRow, int endRow, int startCol, int endCol) const {
  return new QORMtxDenseMatrix(*this, startRow, endRow, startCol, endCol);
}

QORSimDistributionID QORMtxDenseMatrix::DistributionID() const {
  QORMTX_ASSERT(!m_distribution.IsMasked());
  return m_distribution.ID();
}

int QORMtxDenseMatrix::NumDim() const { return m_distribution.NumDimensions(); }

int QORMtxDenseMatrix::ExtendableDim() const { return Drawers(m_distribution)[0].ExtendableDim(); }

bool QORMtxDenseMatrix::BlockAllocated(int rowBlock, int colBlock) const {
  const QORSimArray<QORSimDrawerDescription> drawerDescriptions = Drawers(m_distribution);
  QORMTX_ASSERT(drawerDescriptions.Size() == 1);
  QORMTX_ASSERT(drawerDescriptions[0].IsChunked());
  QORSimArray<int> chunk(NumDim());
  // Dimension 1 runs over the row collection and 0 over the columns, whatever the transposed flag says.
  if (NumDim() == 2) {
    chunk[1] = m_transposed ? colBlock : rowBlock;
    chunk[0] = m_transposed ? rowBlock : colBlock;
  } else {
    chunk[0] = rowBlock;
  }
  return m_distribution.ChunkAllocated(drawerDescriptions[0].DrawerID(), chunk);
}

// ---- Transfers ----

void QORMtxDenseMatrix::RangeTransfer(bool write, int startRow, int lastRow, int startCol, int lastCol, void* buffer,
                                      const size_t* bufferBytes) const {
  QORMTX_ASSERT(startRow >= 0 && startCol >= 0 && lastRow < m_numRows && lastCol < m_numCols);
  QORMTX_ASSERT(lastRow >= startRow && lastCol >= startCol);
  const QORSimSpan rows = QORSimSpan::Range(m_rowSetID.CollectionID(), m_rowOffset + startRow, m_rowOffset + lastRow);
  const QORSimSpan cols =
      NumDim() == 2 ? QORSimSpan::Range(m_colSetID.CollectionID(), m_colOffset + startCol, m_colOffset + lastCol) : rows;
  const QORSimSpan dims[] = {cols, rows};  // a vector has only its rows
  QORSimSpanTransfer t(m_distribution.ID(), write, dims + 2 - NumDim(), NumDim());
  const uint64_t requiredBufferSize = t.RequiredBytes();
  if (bufferBytes) {
    const uint64_t bufferSize = *bufferBytes;
    QORMTX_ASSERT(requiredBufferSize <= bufferSize);
  }
  t.Execute(buffer, requiredBufferSize);
}

QORSimCSetID QORMtxDenseMatrix::AllMembers(const QORSimCSetID& set, int offset, int count) const {
  QORBasVector<int> members;
  QORMtxUtilities::GetOrdinals(set, members);
  return QORSimCollection(set.CollectionID()).CreateVolatileOrderedCSet(members.data() + offset, count);
}

void QORMtxDenseMatrix::ListTransfer(bool write, const int* rowNumbers, int numRows, const int* colNumbers,
                                     int numCols, void* buffer, size_t bufferBytes) const {
// The conditions are reported as written, so their precedence stays implicit.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wparentheses"
  QORMTX_ASSERT(rowNumbers && numRows > 0 || !rowNumbers && numRows == m_numRows-1);
  QORMTX_ASSERT(colNumbers && numCols > 0 || !colNumbers && numCols == m_numCols-1);
#pragma GCC diagnostic pop
  // The listed positions straight to the store; without a list, every row (column) in order.
  auto span = [](const QORSimCSetID& set, int offset, const int* list, int n, int all) {
    return list ? QORSimSpan::Positions(set.CollectionID(), list, n, offset)
                : QORSimSpan::Range(set.CollectionID(), offset, offset + all - 1);
  };
  const QORSimSpan rows = span(m_rowSetID, m_rowOffset, rowNumbers, numRows, m_numRows);
  const QORSimSpan cols = NumDim() == 2 ? span(m_colSetID, m_colOffset, colNumbers, numCols, m_numCols) : rows;
  const QORSimSpan dims[] = {cols, rows};  // a vector has only its rows
  QORSimSpanTransfer t(m_distribution.ID(), write, dims + 2 - NumDim(), NumDim());
  const uint64_t requiredBufferSize = t.RequiredBytes(), bufferSize = bufferBytes;
  QORMTX_ASSERT(requiredBufferSize <= bufferSize);
  // The listed forms hand over exactly the block.
  t.Execute(buffer, requiredBufferSize);
}

void QORMtxDenseMatrix::SetTransfer(bool write, const QORSimCSetID& rows, const QORSimCSetID* cols, void* buffer,
                                    size_t bufferBytes) const {
  const QORSimSpan rowSpan(rows);
  const QORSimSpan colSpan = NumDim() == 2 ? QORSimSpan(*cols) : rowSpan;
  const QORSimSpan dims[] = {colSpan, rowSpan};
  QORSimSpanTransfer t(m_distribution.ID(), write, dims + 2 - NumDim(), NumDim());
  const uint64_t requiredSize = t.RequiredBytes(), size = bufferBytes;
  QORMTX_ASSERT(requiredSize <= size);
  // The set forms hand over the whole array.
  t.Execute(buffer, bufferBytes);
}

namespace {
size_t Bytes(const QORMtxMatrix& m) { return 8 * m.LengthOfArray(); }
void* Buffer(const QORMtxMatrix& m) { return const_cast<double*>(m.Values()); }
}  // namespace

void QORMtxDenseMatrix::GetValues(int startRow, int lastRow, int startCol, int lastCol, QORMtxMatrix& out) const {
  const size_t bytes = Bytes(out);
  RangeTransfer(false, startRow, lastRow, startCol, lastCol, Buffer(out), &bytes);
}
void QORMtxDenseMatrix::GetValues(int startRow, int lastRow, int startCol, int lastCol, double* out) const {
  RangeTransfer(false, startRow, lastRow, startCol, lastCol, out, nullptr);
}
void QORMtxDenseMatrix::GetValues(const int* rowNumbers, int numRows, const int* colNumbers, int numCols,
                                  QORMtxMatrix& out) const {
  ListTransfer(false, rowNumbers, numRows, colNumbers, numCols, Buffer(out), Bytes(out));
}
void QORMtxDenseMatrix::GetValues(const QORSimCSet& rows, const QORSimCSet& cols, QORMtxMatrix& out) const {
  const QORSimCSetID colID = cols.ID();
  SetTransfer(false, rows.ID(), &colID, Buffer(out), Bytes(out));
}
void QORMtxDenseMatrix::GetRows(const QORSimCSet& rows, QORMtxMatrix& out) const {
  QORSimCSetID cols;
  if (NumDim() == 2) cols = AllMembers(m_colSetID, m_colOffset, m_numCols);
  SetTransfer(false, rows.ID(), &cols, Buffer(out), Bytes(out));
}
void QORMtxDenseMatrix::GetColumns(const QORSimCSet& cols, QORMtxMatrix& out) const {
  const QORSimCSetID rows = AllMembers(m_rowSetID, m_rowOffset, m_numRows);
  const QORSimCSetID colID = cols.ID();
  SetTransfer(false, rows, &colID, Buffer(out), Bytes(out));
}
void QORMtxDenseMatrix::SetValues(int startRow, int lastRow, int startCol, int lastCol, const QORMtxMatrix& in) {
  const size_t bytes = Bytes(in);
  RangeTransfer(true, startRow, lastRow, startCol, lastCol, Buffer(in), &bytes);
}
void QORMtxDenseMatrix::SetValues(int startRow, int lastRow, int startCol, int lastCol, const double* in) {
  RangeTransfer(true, startRow, lastRow, startCol, lastCol, const_cast<double*>(in), nullptr);
}
void QORMtxDenseMatrix::SetValues(const int* rowNumbers, int numRows, const int* colNumbers, int numCols,
                                  const QORMtxMatrix& in) {
  ListTransfer(true, rowNumbers, numRows, colNumbers, numCols, Buffer(in), Bytes(in));
}
void QORMtxDenseMatrix::SetValues(const QORSimCSet& rows, const QORSimCSet& cols, const QORMtxMatrix& in) {
  const QORSimCSetID colID = cols.ID();
  SetTransfer(true, rows.ID(), &colID, Buffer(in), Bytes(in));
}
void QORMtxDenseMatrix::SetRows(const QORSimCSet& rows, const QORMtxMatrix& in) {
  QORSimCSetID cols;
  if (NumDim() == 2) cols = AllMembers(m_colSetID, m_colOffset, m_numCols);
  SetTransfer(true, rows.ID(), &cols, Buffer(in), Bytes(in));
}
void QORMtxDenseMatrix::SetRows(int first, int last, const QORMtxMatrix& in) {
  SetValues(first, last, 0, m_numCols - 1, in);
}
void QORMtxDenseMatrix::SetColumns(const QORSimCSet& cols, const QORMtxMatrix& in) {
  const QORSimCSetID rows = AllMembers(m_rowSetID, m_rowOffset, m_numRows);
  const QORSimCSetID colID = cols.ID();
  SetTransfer(true, rows, &colID, Buffer(in), Bytes(in));
}

void QORMtxDenseMatrix::GetAllValues(double* out) const { GetValues(0, m_numRows - 1, 0, m_numCols - 1, out); }

namespace {
// Packs one triangle of the whole square matrix, read once into memory: for each outer index o the
// values element(all, n, o, q) for q = 0 .. o, in that order.
template <typename Element>
void PackTriangle(const QORMtxDenseMatrix& A, double* out, Element element) {
  const size_t n = static_cast<size_t>(A.NumberOfRows());
  double* all = QORMtxUtilities::AllocateDouble(n * n);
  A.GetAllValues(all);
  for (size_t o = 0, k = 0; o < n; ++o)
    for (size_t q = 0; q <= o; ++q) out[k++] = element(all, n, o, q);
  QORMtxUtilities::Deallocate(all);
}
}  // namespace

void QORMtxDenseMatrix::GetUpperValues(double* out) const {
  const int nRows = m_numRows, nColumns = m_numCols;
  QORMTX_ASSERT(nRows == nColumns);
  // Column after column, rows 0 .. column.
  PackTriangle(*this, out, [](const double* a, size_t n, size_t j, size_t i) { return a[j * n + i]; });
}

void QORMtxDenseMatrix::GetLowerValues(double* out) const {
  const int nRows = m_numRows, nColumns = m_numCols;
  QORMTX_ASSERT(nRows == nColumns);
  // Row after row, columns 0 .. row.
  PackTriangle(*this, out, [](const double* a, size_t n, size_t i, size_t j) { return a[j * n + i]; });
}

void QORMtxDenseMatrix::GetSymmetricValues(double* out) const {
  const int nRows = m_numRows, nColumns = m_numCols;
  QORMTX_ASSERT(nRows == nColumns);
  PackTriangle(*this, out,
               [](const double* a, size_t n, size_t j, size_t i) { return (a[j * n + i] + a[i * n + j]) * 0.5; });
}

void QORMtxDenseMatrix::Print(const char* label, int a, double b) const {
  QORMtxMatrix M(m_numRows, m_numCols);
  GetValues(0, m_numRows - 1, 0, m_numCols - 1, M);
  M.Print(label, a, static_cast<int>(b), 0.0, nullptr);
}

// ---- Whole matrix ----

void QORMtxDenseMatrix::AddAssign(const QORMtxDenseMatrix& B) {
  const int nrowA = m_numRows, ncolA = m_numCols, nrowB = B.NumberOfRows(), ncolB = B.NumberOfColumns();
  QORMTX_ASSERT(nrowA==nrowB && ncolA==ncolB);
  QORMtxMatrix a(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock());
  QORMtxMatrix b(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock());
  for (int cb = 0; cb < m_numColBlocks; ++cb) {
    const int c0 = FirstColumnInBlock(cb), c1 = c0 + NumberOfColumnsInBlock(cb) - 1;
    for (int rb = 0; rb < m_numRowBlocks; ++rb) {
      const int r0 = FirstRowInBlock(rb), r1 = r0 + NumberOfRowsInBlock(rb) - 1;
      GetValues(r0, r1, c0, c1, a);
      B.GetValues(r0, r1, c0, c1, b);
      const size_t n = static_cast<size_t>(r1 - r0 + 1) * (c1 - c0 + 1);
      double* pa = a.Values();
      const double* pb = b.Values();
      for (size_t k = 0; k < n; ++k) pa[k] += pb[k];
      SetValues(r0, r1, c0, c1, a);
    }
  }
}

void QORMtxDenseMatrix::Scale(double s) {
  QORMtxMatrix a(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock());
  for (int cb = 0; cb < m_numColBlocks; ++cb) {
    const int c0 = FirstColumnInBlock(cb), c1 = c0 + NumberOfColumnsInBlock(cb) - 1;
    for (int rb = 0; rb < m_numRowBlocks; ++rb) {
      const int r0 = FirstRowInBlock(rb), r1 = r0 + NumberOfRowsInBlock(rb) - 1;
      GetValues(r0, r1, c0, c1, a);
      const size_t n = static_cast<size_t>(r1 - r0 + 1) * (c1 - c0 + 1);
      double* pa = a.Values();
      for (size_t k = 0; k < n; ++k) pa[k] *= s;
      SetValues(r0, r1, c0, c1, a);
    }
  }
}

void QORMtxDenseMatrix::CopyValues(const QORMtxDenseMatrix* rhs) {
  QORMTX_ASSERT(rhs);
  const int numRows = rhs->NumberOfRows();
  QORMTX_ASSERT(numRows <= m_numRows && rhs->NumberOfColumns() <= m_numCols);
  QORMtxMatrix band(numRows, rhs->MaxNumberOfColumnsInBlock());
  for (int cb = 0; cb < rhs->NumberOfColumnBlocks(); ++cb) {
    const int c0 = rhs->FirstColumnInBlock(cb), c1 = c0 + rhs->NumberOfColumnsInBlock(cb) - 1;
    rhs->GetValues(0, numRows - 1, c0, c1, band);
    SetValues(0, numRows - 1, c0, c1, band);
  }
}

bool QORMtxDenseMatrix::IsSymmetric() const {
  if (m_numRows != m_numCols) return false;
  for (int i = 0; i < m_numRowBlocks; ++i) {
    const int r0 = FirstRowInBlock(i), nr = NumberOfRowsInBlock(i);
    for (int j = i; j < m_numRowBlocks; ++j) {
      // Column ranges follow the row partition so that block (j, i) is the mirror of (i, j).
      const int c0 = FirstRowInBlock(j), nc = NumberOfRowsInBlock(j);
      QORMtxMatrix bij(nr, nc);
      GetValues(r0, r0 + nr - 1, c0, c0 + nc - 1, bij);
      if (i == j) {
        if (!bij.IsSymmetricNumerically()) return false;
        continue;
      }
      QORMtxMatrix bji(nc, nr);
      GetValues(c0, c0 + nc - 1, r0, r0 + nr - 1, bji);
      bji.Transpose();
      if (!(bij == bji)) return false;
    }
  }
  return true;
}

void QORMtxDenseMatrix::Transpose() {
  const int numDim = NumDim();
  QORMTX_ASSERT(numDim == 2);
  std::swap(m_numRows, m_numCols);
  std::swap(m_numRowBlocks, m_numColBlocks);
  std::swap(m_rowBlockSize, m_colBlockSize);
  std::swap(m_rowsInFirstBlock, m_colsInFirstBlock);
  std::swap(m_rowsInLastBlock, m_colsInLastBlock);
  std::swap(m_rowOffset, m_colOffset);
  std::swap(m_rowSetID, m_colSetID);
  m_transposed = !m_transposed;
}

void QORMtxDenseMatrix::SetAccess(QORMtxAccessType type, int n) {
  const QORSimArray<QORSimDrawerDescription> drawerDescriptions = Drawers(m_distribution);
  QORMTX_ASSERT(drawerDescriptions.Size() == 1);
  const QORSimDrawerDescription& drawer = drawerDescriptions[0];
  if (!drawer.IsChunked()) return;
  uint64_t itemBytes = 0;
  switch (drawer.DataTypeKey()) {
    case 1:
    case 6:
      itemBytes = 1;
      break;
    case 2:
    case 5:
    case 7:
    case 8:
    case 9:
      itemBytes = 4;
      break;
    case 3:
    case 4:
      itemBytes = 8;
      break;
    default:
      QORSimUttAssert::ReportAssertionFailure("!\"Illegal QORSimTypeKey\"", __FILE__, __LINE__);
  }
  uint64_t chunkBytes = itemBytes;
  for (int c : drawer.ChunkSizes()) chunkBytes *= static_cast<uint64_t>(c);
  if (NumDim() == 1 && type != RestoreAccess) type = FullAccess;
  uint64_t bytes = 0;
  switch (type) {
    case RestoreAccess:
      if (m_savedCacheSize != 0) m_distribution.SetCacheSize(m_savedCacheSize);
      return;
    case ColumnAccess:
      bytes = static_cast<uint64_t>(m_numRowBlocks) * chunkBytes;
      break;
    case RowAccess:
      bytes = static_cast<uint64_t>(m_numColBlocks) * chunkBytes;
      break;
    case FullAccess:
      bytes = static_cast<uint64_t>(m_numRows) * static_cast<uint64_t>(m_numCols) * itemBytes;
      break;
    case ItemAccess:
      bytes = static_cast<uint64_t>(n) * itemBytes;
      break;
    default:
      QORMTX_ASSERT(0);
  }
  m_savedCacheSize = m_distribution.SetCacheSize(bytes);
}

int QORMtxDenseMatrix::ExtendDim(int dim, int count, const int* ordinals) {
  if (dim != 0 && dim != 1) return 3;
  const QORSimCSetID& current = dim == 1 ? m_rowSetID : m_colSetID;
  QORSimCollection collection(current.CollectionID());
  const QORSimCSetID set = ordinals ? collection.CreateOrderedCSet(ordinals, count)
                                    : collection.CreateCSetStrided(dim == 1 ? m_numRows : m_numCols, count, 1);
  return ExtendSet(set);
}

int QORMtxDenseMatrix::ExtendSet(const QORSimCSetID& set) {
  if (m_isView) return 1;
  const int added = QORSimCSet(set).Size();
  if (added == 0) return 2;
  const QORSimCollectionID coll = set.CollectionID();
  QORSimCSetID* target = nullptr;
  int* count = nullptr;
  if (!m_colSetID.IsNull() && coll == m_colSetID.CollectionID()) {
    target = &m_colSetID;
    count = &m_numCols;
  } else if (!m_rowSetID.IsNull() && coll == m_rowSetID.CollectionID()) {
    target = &m_rowSetID;
    count = &m_numRows;
  } else {
    return 3;
  }
  QORBasVector<int> members, extra;
  QORMtxUtilities::GetOrdinals(*target, members);
  QORMtxUtilities::GetOrdinals(set, extra);
  omi_Set present;
  for (int k : members) present.Insert(k);
  for (int k : extra)
    if (present.IsMember(k)) return 4;
  QORSimTransfer t(m_distribution);
  t.SetRead();
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetDimExtension(set);
  t.CheckView();
  t.InitializeExtension();
  t.RelinquishBuffers();
  members.insert(members.end(), extra.begin(), extra.end());
  *target = QORSimCollection(coll).CreateOrderedCSet(members.data(), members.size());
  *count += added;
  if (target == &m_colSetID) {
    Partition(m_numCols, m_colBlockSize, m_numColBlocks, m_colsInLastBlock);
    // A single block that grew into several keeps block 0 full, as binding would have made it.
    if (m_numColBlocks > 1) m_colsInFirstBlock = m_colBlockSize;
  } else {
    Partition(m_numRows, m_rowBlockSize, m_numRowBlocks, m_rowsInLastBlock);
    if (m_numRowBlocks > 1) m_rowsInFirstBlock = m_rowBlockSize;
  }
  return 0;
}
