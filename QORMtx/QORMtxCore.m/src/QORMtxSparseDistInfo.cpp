// QORMtxSparseDistInfo: the description of a stored sparse matrix from its drawer.
#include "QORMtxSparseDistInfo.h"

#include "QORMtxAssert.h"

QORMtxSparseDistInfo::QORMtxSparseDistInfo(const QORSimDistributionID& id) {
  if (id.IsNull()) return;
  const QORSimDistribution dist(id);
  if (dist.NumDimensions() != 2) return;
  const QORSimArray<QORSimDrawerDescription> drawers = dist.QueryDrawers();
  if (drawers.Size() != 1) return;
  const QORSimSerializationType kind = drawers[0].SerializationType();
  if (kind.Kind() != QORSimSerializationType::SPARSE && kind.Kind() != QORSimSerializationType::SPARSE_SYMMETRIC)
    return;
  m_id = id;
  m_drawer = drawers[0];
}

int QORMtxSparseDistInfo::NumRows() const { return IsNull() ? 0 : m_drawer.DimensionSizes()[0]; }

int QORMtxSparseDistInfo::NumCols() const { return IsNull() ? 0 : m_drawer.DimensionSizes()[1]; }

bool QORMtxSparseDistInfo::IsSymmetric() const {
  QORMTX_ASSERT(!IsNull());
  return m_drawer.SerializationType().SparseSymmetric();
}

QORSimCSetID QORMtxSparseDistInfo::RowCSetID() const {
  return IsNull() ? QORSimCSetID() : m_drawer.Compartment().CSetID(0);
}

QORSimCSetID QORMtxSparseDistInfo::ColCSetID() const {
  return IsNull() ? QORSimCSetID() : m_drawer.Compartment().CSetID(1);
}
