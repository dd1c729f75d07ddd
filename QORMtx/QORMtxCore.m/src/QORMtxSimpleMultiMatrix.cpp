// QORMtxSimpleMultiMatrix: small matrices, one drawer each (dense, chunked dense or sparse) over identifier × columns × rows.
#include "QORMtxSimpleMultiMatrix.h"

#include <algorithm>
#include <vector>

#include "QORMtxAssert.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORSim.h"

namespace {

// What every new drawer requires: one identifier, and the matrix shaped as the row and column sets.
template <class Matrix>
void CheckShape(const QORSimCSetID& set0, const QORSimCSetID& rows, const QORSimCSetID& cols, const Matrix& mtx) {
  QORMTX_ASSERT(QORSimCSet(set0).Size() == 1);
  const int numRows = QORSimCSet(rows).Size();
  const int numCols = QORSimCSet(cols).Size();
  QORMTX_ASSERT(mtx.NumberOfRows() == numRows && mtx.NumberOfColumns() == numCols);
}

// The matrix's values column-major, a diagonal one expanded (its array holds only the diagonal).
const double* ColumnMajor(const QORMtxMatrix& mtx, std::vector<double>& expanded) {
  if (!mtx.IsDiagonal()) return mtx.Values();
  const int n = mtx.NumberOfRows();
  expanded.assign(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) expanded[static_cast<size_t>(i) * n + i] = mtx.Values()[i];
  return expanded.data();
}

// Reads or writes one buffer slot's bytes (nothing for an empty one).
void SetSlot(QORSimTransfer& t, int slot, const void* data, uint64_t bytes) {
  if (bytes) t.SetBuffer(slot, const_cast<void*>(data), bytes);
}

}  // namespace

void QORMtxSimpleMultiMatrix::Reset(const QORSimDistribution& dist) {
  InitializeState();
  SetDistribution(dist);
}

void QORMtxSimpleMultiMatrix::Reset(const QORSimDistributionID& id) {
  InitializeState();
  if (!id.IsNull()) SetDistribution(QORSimDistribution(id));
}

void QORMtxSimpleMultiMatrix::SetDistribution(const QORSimDistribution& dist) {
  QORMTX_ASSERT(dist.NumDimensions() == 3);
  m_cache.Bind(dist, true);
}

void QORMtxSimpleMultiMatrix::AddDrawer(const QORSimCSetID& id, const QORSimCSetID& rows, const QORSimCSetID& cols,
                                        const QORMtxMatrix& mtx) {
  CheckShape(id, rows, cols, mtx);
  std::vector<double> expanded;
  const double* values = ColumnMajor(mtx, expanded);
  QORSimTransfer t(m_cache.Distribution());
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetMakeNewDrawer();
  t.SetDim(0, id);
  t.SetDim(2, rows);
  t.SetDim(1, cols);
  t.CheckView();
  t.SetBuffer(static_cast<const void*>(values), static_cast<uint64_t>(mtx.NumberOfRows()) * mtx.NumberOfColumns() * 8u);
  t.ExecWrite();
  t.RelinquishBuffers();
  m_cache.SetStale();
}

void QORMtxSimpleMultiMatrix::AddDrawerChunked(const QORSimCSetID& id, const QORSimCSetID& rows,
                                               const QORSimCSetID& cols, const QORMtxMatrix& mtx, int chunk) {
  CheckShape(id, rows, cols, mtx);
  const int numRows = mtx.NumberOfRows(), numCols = mtx.NumberOfColumns();
  std::vector<double> expanded;
  const double* values = ColumnMajor(mtx, expanded);
  QORSimDrawerID drawer;
  {
    QORSimTransfer t(m_cache.Distribution());
    t.SetWrite();
    t.SetBufferPadding(false);
    t.SetMakeNewDrawerChunked(QORSimArray<int>{1, chunk, chunk});
    t.SetExtendableDim(0);
    t.SetDim(0, id);
    t.SetDim(2, rows);
    t.SetDim(1, cols);
    t.SetInitializationValue(0.0);
    t.CheckView();
    t.InitializePersistentDrawer();
    drawer = t.DrawerID();
  }
  QORSimTransfer t(m_cache.Distribution());
  t.SetDrawer(drawer);
  t.SetWrite();
  t.SetBufferPadding(false);
  const int step = chunk > 0 ? chunk : std::max(1, std::max(numRows, numCols));
  std::vector<double> block;
  for (int r0 = 0; r0 < numRows; r0 += step) {
    const int r1 = std::min(numRows, r0 + step) - 1;
    for (int c0 = 0; c0 < numCols; c0 += step) {
      const int c1 = std::min(numCols, c0 + step) - 1;
      block.clear();
      bool zero = true;
      for (int c = c0; c <= c1; ++c)
        for (int r = r0; r <= r1; ++r) {
          const double v = values[r + static_cast<size_t>(c) * numRows];
          zero = zero && v == 0.0;  // a NaN counts as non-zero
          block.push_back(v);
        }
      // An untouched chunk stays unallocated and reads as the initial 0.
      if (zero) continue;
      t.SetDimOrdinalRange(0, id.CollectionID(), 0, 0);
      t.SetDimOrdinalRange(2, rows.CollectionID(), r0, r1);
      t.SetDimOrdinalRange(1, cols.CollectionID(), c0, c1);
      t.CheckView();
      t.SetBuffer(static_cast<const void*>(block.data()), block.size() * sizeof(double));
      t.ExecWrite();
    }
  }
  t.RelinquishBuffers();
  m_cache.SetStale();
}

void QORMtxSimpleMultiMatrix::AddDrawerSparse(const QORSimCSetID& id, const QORSimCSetID& rows,
                                              const QORSimCSetID& cols, const QORMtxSparseMatrix& mtx) {
  CheckShape(id, rows, cols, mtx);
  const int numRows = mtx.NumberOfRows();
  const int64_t nnz = mtx.m_rowP ? mtx.m_rowP[numRows] : 0;
  const bool symmetric = mtx.m_diagonal != nullptr;
  QORSimSerializationType serialization;
  if (symmetric)
    serialization.SetSparseSymmetric();
  else
    serialization.SetSparse();
  // An empty matrix still has its row starts (all zero).
  std::vector<unsigned> zeroStarts;
  const unsigned* rowP = mtx.m_rowP;
  if (!rowP) {
    zeroStarts.assign(static_cast<size_t>(numRows) + 1, 0u);
    rowP = zeroStarts.data();
  }
  QORSimTransfer t(m_cache.Distribution());
  t.SetMakeNewDrawer();
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetSparseNNonzero(nnz);
  t.SetDim(0, id);
  t.SetDim(1, rows);
  t.SetDim(2, cols);
  t.SetSerialization(serialization);
  t.CheckView();
  SetSlot(t, QORSimbufSparseMap, rowP, (static_cast<uint64_t>(numRows) + 1) * sizeof(int));
  SetSlot(t, QORSimbufIndicesNZ, mtx.m_colI, static_cast<uint64_t>(nnz) * sizeof(int));
  SetSlot(t, QORSimbufMain, mtx.m_data, static_cast<uint64_t>(nnz) * sizeof(double));
  if (symmetric) SetSlot(t, QORSimbufDiagonal, mtx.m_diagonal, static_cast<uint64_t>(numRows) * sizeof(double));
  t.ExecWrite();
  t.RelinquishBuffers();
  m_cache.SetStale();
}

void QORMtxSimpleMultiMatrix::ReadDense(const QORSimDrawerDescription& d, double* out) const {
  const QORSimArray<int>& dims = d.DimensionSizes();
  QORMtxDrawerCache::ReadWhole(m_cache.Distribution(), d, out, static_cast<uint64_t>(dims[1]) * dims[2] * sizeof(double));
}

void QORMtxSimpleMultiMatrix::GetDrawer(int k, QORMtxMatrix& out) const {
  const QORSimDrawerDescription d = m_cache.Drawer(k);
  const QORSimArray<int>& dims = d.DimensionSizes();
  QORMTX_ASSERT(dims[0] == 1);
  const QORSimSerializationType serialization = d.SerializationType();
  if (!serialization.HasSparse() && !serialization.HasSparseSym()) {
    out.Reset(dims[2], dims[1], QORMtxMatrix::UNKNOWN);
    ReadDense(d, out.Values());
    return;
  }
  const int numRows = dims[1], numCols = dims[2];
  out.Reset(numRows, numCols, QORMtxMatrix::UNKNOWN);
  double* a = out.Values();
  std::fill(a, a + static_cast<size_t>(numRows) * numCols, 0.0);
  const int64_t nnz = d.DataSizeItems(0);
  const bool symmetric = serialization.HasSparseSym();
  std::vector<int> rowP(static_cast<size_t>(numRows) + 1), colI(static_cast<size_t>(nnz));
  std::vector<double> data(static_cast<size_t>(nnz)), diagonal(symmetric ? static_cast<size_t>(numRows) : 0);
  QORSimTransfer t(m_cache.Distribution());
  t.SetRead();
  t.SetBufferPadding(false);
  t.SetLookInOnlyOneDrawer();
  t.SetDrawer(d.DrawerID());
  t.SetDims(d.Compartment());
  t.SetSerialization(serialization);
  t.CheckView();
  SetSlot(t, QORSimbufSparseMap, rowP.data(), rowP.size() * sizeof(int));
  SetSlot(t, QORSimbufIndicesNZ, colI.data(), colI.size() * sizeof(int));
  SetSlot(t, QORSimbufMain, data.data(), data.size() * sizeof(double));
  if (symmetric) SetSlot(t, QORSimbufDiagonal, diagonal.data(), diagonal.size() * sizeof(double));
  t.ExecRead();
  t.RelinquishBuffers();
  auto at = [&](int i, int j) -> double& { return a[i + static_cast<size_t>(j) * numRows]; };
  if (symmetric)
    for (int i = 0; i < numRows && i < numCols; ++i) at(i, i) = diagonal[static_cast<size_t>(i)];
  for (int i = 0; i < numRows; ++i)
    for (int p = rowP[static_cast<size_t>(i)]; p < rowP[static_cast<size_t>(i) + 1]; ++p) {
      const int j = colI[static_cast<size_t>(p)];
      at(i, j) = data[static_cast<size_t>(p)];
      if (symmetric) at(j, i) = data[static_cast<size_t>(p)];
    }
}

void QORMtxSimpleMultiMatrix::GetDrawer(int k, double* out) const {
  const QORSimDrawerDescription d = m_cache.Drawer(k);
  const QORSimArray<int>& dims = d.DimensionSizes();
  QORMTX_ASSERT(dims[0] == 1);
  ReadDense(d, out);
}
