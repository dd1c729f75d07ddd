// QORMtxUtilities, data-store members: distributions for matrices and vectors, integer vectors, ordinal maps.
#include <cstring>

#include "QORMtxAssert.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "mem_Alloc.h"
#include "omi_IntTable.h"
#include "omi_Set.h"

namespace {

// A grid may not name one collection twice: the later dimension moves to the colour-1 variant.
QORSimCSetID MoveToColor1(const QORSimCSetID& set) {
  QORSimCollection(set.CollectionID()).CreateColorVariant(1);
  return set.AltColor(1);
}

int SetSize(const QORSimCSetID& set) { return QORSimCSet(set).Size(); }

// The first drawer of a fresh matrix or vector distribution: sets[i] on transfer dimension i.
void MakeFirstDrawer(const QORSimDistributionID& id, const QORSimArray<QORSimCSetID>& sets,
                     const QORSimArray<int>* chunks, bool extendableAfterInit, bool extendableAfterChunk) {
  QORSimTransfer t{QORSimDistribution(id)};
  if (chunks) {
    t.SetMakeNewDrawerChunked(*chunks);
    if (extendableAfterChunk) t.SetExtendableDim(0);
  } else {
    t.SetMakeNewDrawer();
  }
  t.SetWrite();
  for (int i = 0; i < sets.Size(); ++i) t.SetDim(i, sets[i]);
  t.SetInitializationValue(0.0);
  if (extendableAfterInit) t.SetExtendableDim(0);
  t.CheckView();
  t.InitializePersistentDrawer();
}

QORSimDistributionID NewAt(QORSimPosition& position, int type, const QORSimGrid& grid) {
  const QORSimRangeType range(QORSimDoubleKey);
  return type < 0 ? position.CreateDistribution(grid, range) : position.CreateTypedDistribution(type, grid, range);
}

QORSimDistributionID NewInRowsContext(const QORSimCSetID& rows, const QORSimGrid& grid, int typeKey) {
  return QORSimContext(rows.ContextID()).CreateDistribution(grid, QORSimRangeType(typeKey), QORSimTypeID());
}

}  // namespace

QORSimDistributionID QORMtxUtilities::Create1DDistribution(QORSimPosition& position, int type,
                                                           const QORSimCSetID& rows, int chunk) {
  const QORSimDistributionID id = NewAt(position, type, QORSimGrid{rows.CollectionID()});
  const QORSimArray<int> chunks{chunk};
  MakeFirstDrawer(id, QORSimArray<QORSimCSetID>{rows}, chunk == -1 ? nullptr : &chunks, true, false);
  return id;
}

QORSimDistributionID QORMtxUtilities::Create1DDistribution(const QORSimCSetID& rows, int chunk) {
  const QORSimDistributionID id = NewInRowsContext(rows, QORSimGrid{rows.CollectionID()}, QORSimDoubleKey);
  const QORSimArray<int> chunks{chunk};
  const bool chunked = chunk != -1;
  MakeFirstDrawer(id, QORSimArray<QORSimCSetID>{rows}, chunked ? &chunks : nullptr, false, chunked);
  return id;
}

QORSimDistributionID QORMtxUtilities::Create2DDistribution(QORSimPosition& position, int type,
                                                           const QORSimCSetID& rows, const QORSimCSetID& colsIn,
                                                           int rowChunk, int colChunk) {
  QORSimCSetID cols = colsIn;
  if (cols.CollectionID() == rows.CollectionID()) cols = MoveToColor1(cols);
  const QORSimDistributionID id = NewAt(position, type, QORSimGrid{cols.CollectionID(), rows.CollectionID()});
  const int nRows = SetSize(rows), nCols = SetSize(cols);
  // A chunk as large as its set adds nothing; both such gives an unchunked drawer.
  if (rowChunk >= nRows) rowChunk = -1;
  if (colChunk >= nCols) colChunk = -1;
  const QORSimArray<int> chunks{colChunk == -1 ? nCols : colChunk, rowChunk == -1 ? nRows : rowChunk};
  const bool chunked = rowChunk != -1 || colChunk != -1;
  MakeFirstDrawer(id, QORSimArray<QORSimCSetID>{cols, rows}, chunked ? &chunks : nullptr, true, false);
  return id;
}

QORSimDistributionID QORMtxUtilities::Create2DDistribution(const QORSimCSetID& rows, const QORSimCSetID& colsIn,
                                                           int rowChunk, int colChunk) {
  QORSimCSetID cols = colsIn;
  if (cols.CollectionID() == rows.CollectionID()) cols = MoveToColor1(cols);
  const QORSimDistributionID id =
      NewInRowsContext(rows, QORSimGrid{cols.CollectionID(), rows.CollectionID()}, QORSimDoubleKey);
  const bool chunked = rowChunk != -1 || colChunk != -1;
  const QORSimArray<int> chunks{colChunk == -1 ? SetSize(cols) : colChunk, rowChunk == -1 ? SetSize(rows) : rowChunk};
  MakeFirstDrawer(id, QORSimArray<QORSimCSetID>{cols, rows}, chunked ? &chunks : nullptr, false, chunked);
  return id;
}

QORSimDistributionID QORMtxUtilities::Create2DIntegerDistribution(const QORSimCSetID& rows,
                                                                  const QORSimCSetID& colsIn) {
  QORSimCSetID cols = colsIn;
  if (cols.CollectionID() == rows.CollectionID()) cols = MoveToColor1(cols);
  const QORSimDistributionID id =
      NewInRowsContext(rows, QORSimGrid{cols.CollectionID(), rows.CollectionID()}, QORSimIntKey);
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetMakeNewDrawer();
  t.SetWrite();
  t.SetDim(0, cols);
  t.SetDim(1, rows);
  t.SetInitializationValue(0);
  t.CheckView();
  t.InitializePersistentDrawer();
  return id;
}

QORSimDistributionID QORMtxUtilities::CreateDistribution(QORSimPosition& position, int type,
                                                         QORSimArray<QORSimCSetID> sets, QORSimArray<int> chunkSizes,
                                                         bool temporary) {
  const int dimension = sets.Size();
  // The first set given is the last (fastest) dimension.
  QORSimArray<QORSimCSetID> dims(dimension);
  for (int i = 0; i < dimension; ++i) dims[i] = sets[dimension - 1 - i];
  int moves = 0;
  for (int i = 0; i < dimension; ++i)
    for (int j = i + 1; j < dimension; ++j)
      if (dims[j].CollectionID() == dims[i].CollectionID()) {
        dims[j] = MoveToColor1(dims[j]);
        ++moves;
      }
  if (moves >= 2) return QORSimDistributionID();
  QORSimArray<QORSimCollectionID> collections(dimension);
  for (int i = 0; i < dimension; ++i) collections[i] = dims[i].CollectionID();
  const QORSimGrid grid(collections);
  QORSimDistributionID id;
  if (temporary) {
    QORSimContext context = position.Context();
    id = context.CreateTempDistribution(grid, QORSimRangeType(QORSimDoubleKey),
                                        type < 0 ? QORSimTypeID() : context.Schema().TypeID(type));
  } else {
    id = NewAt(position, type, grid);
  }
  QORSimTransfer t{QORSimDistribution(id)};
  if (!chunkSizes.IsEmpty()) {
    QORMTX_ASSERT(chunkSizes.Size() == dimension);
    QORSimArray<int> chunks(dimension);
    for (int i = 0; i < dimension; ++i) chunks[i] = chunkSizes[dimension - 1 - i];
    t.SetMakeNewDrawerChunked(chunks);
    t.SetExtendableDim(0);
  } else {
    t.SetMakeNewDrawer();
  }
  t.SetWrite();
  for (int i = 0; i < dimension; ++i) t.SetDim(i, dims[i]);
  t.SetInitializationValue(0.0);
  t.CheckView();
  t.InitializePersistentDrawer();
  return id;
}

QORSimDistributionID QORMtxUtilities::CreateSparseDistribution(QORSimCSetID& rows, QORSimCSetID& cols) {
  if (cols.CollectionID() == rows.CollectionID()) cols = MoveToColor1(cols);
  return NewInRowsContext(rows, QORSimGrid{rows.CollectionID(), cols.CollectionID()}, QORSimDoubleKey);
}

QORSimDistributionID QORMtxUtilities::CreateSparseDistribution(QORSimPosition& position, int type, QORSimCSetID& rows,
                                                               QORSimCSetID& cols) {
  if (cols.CollectionID() == rows.CollectionID()) cols = MoveToColor1(cols);
  return NewAt(position, type, QORSimGrid{rows.CollectionID(), cols.CollectionID()});
}

QORSimDistributionID QORMtxUtilities::Write1DIntegerDistribution(const QORSimCSetID& set, const int* values, int n) {
  const QORSimDistributionID id = NewInRowsContext(set, QORSimGrid{set.CollectionID()}, QORSimIntKey);
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetMakeNewDrawer();
  t.SetBufferPadding(false);
  t.SetWrite();
  t.SetDim(0, set);
  t.CheckView();
  t.SetBuffer(static_cast<const void*>(values), static_cast<uint64_t>(n) * 4u);
  t.ExecWrite();
  t.RelinquishBuffers();
  return id;
}

void QORMtxUtilities::Read1DIntegerDistribution(const QORSimDistributionID& id, QORSimCSetID& set,
                                                QORBasVector<int>& values) {
  if (id.IsNull()) return;
  const QORSimDistribution dist(id);
  QORMTX_ASSERT(dist.NumDimensions() == 1);
  const QORSimArray<QORSimDrawerDescription> drawerDescriptions = dist.QueryDrawers();
  QORMTX_ASSERT(drawerDescriptions.Size() == 1);
  QORMTX_ASSERT(drawerDescriptions[0].SerializationType().IsStandard());
  QORMTX_ASSERT(drawerDescriptions[0].DataTypeKey() == QORSimIntKey);
  set = drawerDescriptions[0].Compartment().CSetID(0);
  values.clear();
  const int n = static_cast<int>(drawerDescriptions[0].DataSizeItems(0));
  if (n <= 0) return;
  values.resize(n, 0);
  QORSimTransfer t(dist);
  t.SetBufferPadding(false);
  t.SetRead();
  t.SetDim(0, set);
  t.CheckView();
  t.SetBuffer(static_cast<void*>(values.data()), static_cast<uint64_t>(n) * 4u);
  t.ExecRead();
  t.RelinquishBuffers();
}

int* QORMtxUtilities::GetOrdinals(const QORSimCSetID& set) {
  int n = 0;
  return GetOrdinals(set, n);
}

int* QORMtxUtilities::GetOrdinals(const QORSimCSetID& set, int& n) {
  const QORSimCSet cset(set);
  n = cset.Size();
  int* ordinals = static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * static_cast<size_t>(n)));
  cset.OrderedMembers(ordinals);
  return ordinals;
}

void QORMtxUtilities::GetOrdinals(const QORSimCSetID& set, QORBasVector<int>& ordinals) {
  ordinals.clear();
  if (set.IsNull()) return;
  const QORSimCSet cset(set);
  ordinals.resize(cset.Size());
  cset.OrderedMembers(ordinals.data());
}

void QORMtxUtilities::GetDomain(const QORSimCSetID& set, omi_Set& domain) {
  domain.Clear();
  AddDomain(set, domain);
}

void QORMtxUtilities::AddDomain(const QORSimCSetID& set, omi_Set& domain) {
  QORBasVector<int> ordinals;
  GetOrdinals(set, ordinals);
  for (int k : ordinals) domain.Insert(k);
}

QORSimCSetID QORMtxUtilities::SubCSet(const QORSimCSetID& set, int first, int count) {
  if (set.IsNull()) return QORSimCSetID();
  if (count == QORSimCSet(set).Size()) return set;
  int n = 0;
  int* ordinals = GetOrdinals(set, n);
  const QORSimCSetID sub = QORSimCollection(set.CollectionID()).CreateTempOrderedCSet(ordinals + first, count);
  mem_Free(ordinals);
  return sub;
}

void QORMtxUtilities::MapIntArrays(const int* arrA, int nA, const int* arrB, int nB, omi_IntTable<int>& map) {
  map.Clear();
  if (nA < 1 || nB < 1) return;
  if (Debug()) {
    omi_IntTable<int> mapInvA;
    for (int i = 0; i < nA; ++i)
      if (arrA[i] >= 0) QORMTX_ASSERT(mapInvA.Insert(arrA[i], i));
  }
  omi_IntTable<int> mapInvB;
  for (int i = 0; i < nB; ++i)
    if (arrB[i] >= 0) QORMTX_ASSERT(mapInvB.Insert(arrB[i], i));
  for (int i = 0; i < nA; ++i) {
    if (arrA[i] < 0) continue;
    if (const int* posB = mapInvB.Find(arrA[i])) map.Insert(i, *posB);
  }
}

void QORMtxUtilities::MapIntVectors(const QORBasVector<int>& a, const QORBasVector<int>& b, omi_IntTable<int>& map) {
  MapIntArrays(a.data(), a.size(), b.data(), b.size(), map);
}

void QORMtxUtilities::MapCSets(const QORSimCSetID& a, const QORSimCSetID& b, omi_IntTable<int>& map) {
  QORBasVector<int> ordA, ordB;
  GetOrdinals(a, ordA);
  GetOrdinals(b, ordB);
  MapIntVectors(ordA, ordB, map);
}

bool QORMtxUtilities::IsDenseMatrix(const QORSimDistribution& dist) {
  const int numDim = dist.NumDimensions();
  if (numDim != 1 && numDim != 2) return false;
  const QORSimArray<QORSimDrawerDescription> drawers = dist.QueryDrawers();
  return drawers.Size() == 1 && drawers[0].SerializationType().IsStandard();
}

bool QORMtxUtilities::IsSparseMatrix(const QORSimDistribution& dist) {
  if (dist.NumDimensions() != 2) return false;
  const QORSimArray<QORSimDrawerDescription> drawers = dist.QueryDrawers();
  return drawers.Size() == 1 &&
         (drawers[0].SerializationType().HasSparse() || drawers[0].SerializationType().HasSparseSym());
}

bool QORMtxUtilities::IsMultiMatrix(const QORSimDistribution& dist) { return dist.NumDimensions() == 3; }
