// QORMtxCompactMultiMatrix: element matrices stored by their listed entries, one element-matrix drawer each.
#include "QORMtxCompactMultiMatrix.h"

#include "QORBasVector.h"
#include "QORMtxAssert.h"
#include "QORMtxMatrix.h"
#include "QORSim.h"

void QORMtxCompactMultiMatrix::Reset(const QORSimDistribution& dist) {
  InitializeState();
  SetDistribution(dist);
}

void QORMtxCompactMultiMatrix::Reset(const QORSimDistributionID& id) {
  InitializeState();
  if (!id.IsNull()) SetDistribution(QORSimDistribution(id));
}

void QORMtxCompactMultiMatrix::SetDistribution(const QORSimDistribution& dist) {
  QORMTX_ASSERT(dist.NumDimensions() == 2);
  m_cache.Bind(dist, false);
}

void QORMtxCompactMultiMatrix::AddMatrix(const QORSimCSetID& id, const QORSimCSetID& positions, const double* values,
                                         bool symmetric) {
  QORMTX_ASSERT(QORSimCSet(id).Size() == 1);
  const int n = QORSimCSet(positions).Size();
  QORSimSerializationType serialization;
  if (symmetric)
    serialization.SetMeiSymmetric();
  else
    serialization.SetMei();
  QORSimTransfer t(m_cache.Distribution());
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetMakeNewDrawer();
  t.SetDim(0, id);
  t.SetDim(1, positions);
  t.SetSerialization(serialization);
  t.CheckView();
  t.SetBuffer(static_cast<const void*>(values), static_cast<uint64_t>(n) * sizeof(double));
  t.ExecWrite();
  t.RelinquishBuffers();
  m_cache.SetStale();
}

bool QORMtxCompactMultiMatrix::IsSymmetric() const { return NumMatrices() > 0 && IsSymmetric(0); }

bool QORMtxCompactMultiMatrix::IsSymmetric(int k) const {
  return m_cache.Drawer(k).SerializationType().IsMeiSymmetric();
}

int QORMtxCompactMultiMatrix::GetId(int k) const {
  const QORSimCSetID setID = m_cache.Drawer(k).Compartment().CSetID(0);
  QORMTX_ASSERT(QORSimCSet(setID).Size() == 1);
  int id = 0;
  QORSimCSet(setID).OrderedMembers(&id);
  return id;
}

int QORMtxCompactMultiMatrix::NumEntries(int k) const {
  return static_cast<int>(m_cache.Drawer(k).DataSizeItems(0));
}

void QORMtxCompactMultiMatrix::GetEntries(int k, int* indices, double* values) const {
  const QORSimDrawerDescription& d = m_cache.Drawer(k);
  const QORSimArray<int>& dims = d.DimensionSizes();
  QORMTX_ASSERT(dims[0] == 1);
  const QORSimCSet positions(d.Compartment().CSetID(1));
  const int n = positions.Size();
  if (n == 0) return;
  positions.OrderedMembers(indices);
  QORMtxDrawerCache::ReadWhole(m_cache.Distribution(), d, values, static_cast<uint64_t>(n) * sizeof(double));
}

void QORMtxCompactMultiMatrix::GetMatrix(int k, QORMtxMatrix& out) const {
  const int size = NumEntries(k);
  QORBasVector<int> indices(size > 0 ? size : 0);
  QORBasVector<double> values(size > 0 ? size : 0);
  if (size > 0) GetEntries(k, indices.data(), values.data());
  Scatter(size, indices.data(), values.data(), IsSymmetric(k), out);
}

QORSimArray<QORSimCSetID> QORMtxCompactMultiMatrix::GetDomain(int k) const {
  return m_cache.Drawer(k).Compartment().Sets();
}
