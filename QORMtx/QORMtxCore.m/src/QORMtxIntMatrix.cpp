// QORMtxIntMatrix: in-core dense int matrix and its integer-distribution transfers.
#include "QORMtxIntMatrix.h"

#include "QORMtxAssert.h"
#include "QORSim.h"
#include "mem_Alloc.h"

QORMtxIntMatrix::QORMtxIntMatrix(int numRows, int numCols, int* array) { Reset(numRows, numCols, array); }

QORMtxIntMatrix::~QORMtxIntMatrix() { Reset(); }

void QORMtxIntMatrix::Reset(int numRows, int numCols, int* array) {
  Reset();
  m_numRows = numRows;
  m_numCols = numCols;
  if (array) {
    m_array = array;
  } else {
    m_array = static_cast<int*>(
        mem_OperatorNewThrowBuiltin(static_cast<size_t>(numRows) * static_cast<size_t>(numCols) * sizeof(int)));
    m_ownMem = true;
  }
}

void QORMtxIntMatrix::Reset() {
  if (m_ownMem) mem_Free(m_array);
  m_array = nullptr;
  m_ownMem = false;
  m_numRows = 0;
  m_numCols = 0;
}

// A write leaves the matrix as it is; one routine serves both directions so that their checks cannot drift.
void QORMtxIntMatrix::Export(const QORSimDistributionID& did) const {
  const_cast<QORMtxIntMatrix*>(this)->Transfer(did, true);
}

void QORMtxIntMatrix::Import(const QORSimDistributionID& did) { Transfer(did, false); }

// Both directions check the drawer alike; a read first takes the drawer's shape into an owned array.
void QORMtxIntMatrix::Transfer(const QORSimDistributionID& did, bool write) {
  QORMTX_ASSERT(!did.IsNull());
  const QORSimDistribution dist(did);
  const int numDim = dist.NumDimensions();
  QORMTX_ASSERT(2 == numDim);
  const QORSimArray<QORSimDrawerDescription> drawerDescriptions = dist.QueryDrawers();
  QORMTX_ASSERT(1 == drawerDescriptions.Size());
  const QORSimDrawerDescription& drawer = drawerDescriptions[0];
  const QORSimSerializationType serType = drawer.SerializationType();
  QORMTX_ASSERT(serType.IsStandard());
  const QORSimRangeType range = drawer.RangeType();
  QORMTX_ASSERT(QORSimRangeType(QORSimIntKey) == range);
  const QORSimArray<int>& dimSizes = drawer.DimensionSizes();
  if (write) {
    QORMTX_ASSERT(dimSizes[0] == m_numCols && dimSizes[1] == m_numRows);
  } else {
    Reset(dimSizes[1], dimSizes[0], nullptr);
  }
  const uint64_t bytes = static_cast<uint64_t>(m_numRows) * static_cast<uint64_t>(m_numCols) * sizeof(int);
  if (bytes == 0) return;
  QORSimTransfer t(dist);
  if (write)
    t.SetWrite();
  else
    t.SetRead();
  t.SetBufferPadding(false);
  t.SetDim(1, drawer.Compartment().CSetID(1));
  t.SetDim(0, drawer.Compartment().CSetID(0));
  t.CheckView();
  t.SetBuffer(static_cast<void*>(m_array), bytes);
  if (write)
    t.ExecWrite();
  else
    t.ExecRead();
  t.RelinquishBuffers();
}
