// QORMtxMultiMatrix: the scatter of a family's entries into a dense matrix, and the drawer cache of the families.
#include "QORMtxMultiMatrix.h"

#include <algorithm>

#include "QORMtxAssert.h"
#include "QORMtxMatrix.h"
#include "QORSimTransfer.h"

void QORMtxMultiMatrix::Scatter(int size, const int* indices, const double* values, bool symmetric,
                                QORMtxMatrix& out) {
  const int numRows = out.NumberOfRows();
  const int numCols = out.NumberOfColumns();
  QORMTX_ASSERT(0 < size && size <= numRows*numCols);
  double* a = out.Values();
  std::fill(a, a + static_cast<size_t>(numRows) * numCols, 0.0);
  for (int e = 0; e < size; ++e) {
    const int index = indices[e];
    QORMTX_ASSERT(0 <= index && index < numRows*numCols);
    const int i = index % numRows, j = index / numRows;
    a[i + static_cast<size_t>(j) * numRows] = values[e];
    if (symmetric && i != j) a[j + static_cast<size_t>(i) * numRows] = values[e];
  }
}

void QORMtxDrawerCache::Reset() {
  m_distribution = QORSimDistribution();
  m_drawers.Clear();
  m_stale = true;
}

void QORMtxDrawerCache::Bind(const QORSimDistribution& dist, bool refresh) {
  m_distribution = dist;
  m_drawers.Clear();
  m_stale = true;
  if (refresh) Refresh();
}

const QORSimArray<QORSimDrawerDescription>& QORMtxDrawerCache::Drawers() const {
  if (m_stale) Refresh();
  return m_drawers;
}

void QORMtxDrawerCache::Refresh() const {
  m_drawers = m_distribution.IsNull() ? QORSimArray<QORSimDrawerDescription>() : m_distribution.QueryDrawers();
  m_stale = false;
}

void QORMtxDrawerCache::ReadWhole(const QORSimDistribution& dist, const QORSimDrawerDescription& drawer, void* buffer,
                                  uint64_t bytes) {
  if (bytes == 0) return;
  QORSimTransfer t(dist);
  t.SetRead();
  t.SetBufferPadding(false);
  t.SetLookInOnlyOneDrawer();
  t.SetDrawer(drawer.DrawerID());
  t.SetDims(drawer.Compartment());
  t.CheckView();
  t.SetBuffer(buffer, bytes);
  t.ExecRead();
  t.RelinquishBuffers();
}
