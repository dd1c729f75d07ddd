// QORSimGrid, QORSimRangeType, QORSimDrawerDescription and QORSimDistribution.
#define QORSIM_INSIDE_STORE
#include "QORSimDistribution.h"

#include <string>

#include "QORSimStore.h"

using namespace qorsim;

QORSimGrid::QORSimGrid(const QORSimArray<QORSimCollectionID>& collections) : m_collections(collections) { Validate(); }

QORSimGrid::QORSimGrid(std::initializer_list<QORSimCollectionID> collections) : m_collections(collections) {
  Validate();
}

int QORSimGrid::DimensionOf(const QORSimCollectionID& collection) const {
  for (int d = 0; d < m_collections.Size(); ++d)
    if (m_collections[d] == collection) return d;
  return -1;
}

void QORSimGrid::Validate() const {
  for (int i = 0; i < m_collections.Size(); ++i) {
    if (m_collections[i].IsNull()) QORSIM_FAIL("grid dimension " + std::to_string(i) + " names a null collection");
    for (int j = 0; j < i; ++j)
      if (m_collections[j] == m_collections[i]) {
        StoreLock lock(StoreMutex());
        QORSIM_FAIL("a grid may not name a collection twice: dimensions " + std::to_string(j) + " and " +
                    std::to_string(i) + " both run over " + Describe(m_collections[i]) +
                    "; use a colour variant for one of them");
      }
  }
}

int QORSimRangeType::ItemBytes() const {
  switch (m_typeKey) {
    case 1:
    case 6:
      return 1;
    case 2:
    case 5:
    case 7:
    case 8:
    case 9:
      return 4;
    case 3:
    case 4:
      return 8;
    default:
      return 0;
  }
}

int64_t QORSimDrawerDescription::DataSizeItems(int slot) const {
  if (!m_serialization.IsStandard()) {
    // Compressed rows over the last two dimensions: row starts, column indices and values, and the diagonal.
    const int64_t rows = m_dims.Size() >= 2 ? m_dims[m_dims.Size() - 2] : 0;
    switch (slot) {
      case QORSimbufMain:
      case QORSimbufIndicesNZ:
        return m_numNonZero;
      case QORSimbufSparseMap:
        return rows + 1;
      case QORSimbufDiagonal:
        return m_serialization.SparseSymmetric() ? rows : 0;
      default:
        return 0;
    }
  }
  if (slot != QORSimbufMain) return 0;
  int64_t n = 1;
  for (int d : m_dims) n *= d;
  return n;
}

// Fills descriptions from the store's records.
struct QORSimDrawerDescriptionAccess {
  static QORSimDrawerDescription Make(const QORSimDistributionID& id, const DistributionRecord& dist,
                                      const DrawerRecord& drawer) {
    QORSimDrawerDescription desc;
    desc.m_id = QORSimDrawerID(id, drawer.index);
    for (size_t d = 0; d < drawer.dims.size(); ++d) {
      desc.m_dims.Append(static_cast<int>(drawer.dims[d]));
      const QORSimCollectionID coll(id.ContextID(), dist.grid[d].first, dist.grid[d].second);
      QORSimArray<QORSimCSetID> sets = desc.m_compartment.Sets();
      sets.Append(QORSimCSetID(coll, drawer.sets[d]));
      desc.m_compartment = QORSimCompartment(sets);
    }
    desc.m_chunked = !drawer.chunkSizes.empty();
    for (int c : drawer.chunkSizes) desc.m_chunks.Append(c);
    desc.m_typeKey = dist.typeKey;
    desc.m_serialization = QORSimSerializationType::FromWord(drawer.serialization);
    desc.m_extendableDim = drawer.extendableDim;
    desc.m_numNonZero = drawer.items;
    return desc;
  }
};

// ---------------------------------------------------------------------------------------------------------------

QORSimDistribution::QORSimDistribution(const QORSimDistributionID& id) : m_id(id) {
  StoreLock lock(StoreMutex());
  Distribution(id);
}

int QORSimDistribution::NumDimensions() const {
  StoreLock lock(StoreMutex());
  return static_cast<int>(Distribution(m_id).grid.size());
}

QORSimGrid QORSimDistribution::Grid() const {
  StoreLock lock(StoreMutex());
  QORSimArray<QORSimCollectionID> colls;
  for (const auto& g : Distribution(m_id).grid) colls.Append(QORSimCollectionID(m_id.ContextID(), g.first, g.second));
  return QORSimGrid(colls);
}

QORSimRangeType QORSimDistribution::RangeType() const {
  StoreLock lock(StoreMutex());
  return QORSimRangeType(Distribution(m_id).typeKey);
}

QORSimTypeID QORSimDistribution::Type() const {
  StoreLock lock(StoreMutex());
  return QORSimTypeID(Distribution(m_id).type);
}

bool QORSimDistribution::IsTemporary() const {
  StoreLock lock(StoreMutex());
  return Distribution(m_id).temporary;
}

int QORSimDistribution::NumDrawers() const {
  StoreLock lock(StoreMutex());
  return static_cast<int>(Distribution(m_id).drawers.size());
}

QORSimArray<QORSimDrawerDescription> QORSimDistribution::QueryDrawers() const {
  StoreLock lock(StoreMutex());
  const DistributionRecord& dist = Distribution(m_id);
  QORSimArray<QORSimDrawerDescription> out;
  for (const DrawerRecord& drawer : dist.drawers) out.Append(QORSimDrawerDescriptionAccess::Make(m_id, dist, drawer));
  return out;
}

void QORSimDistribution::SecondaryCache(int state) {
  StoreLock lock(StoreMutex());
  DistributionRecord& dist = Distribution(m_id);
  if (dist.secondaryCache == (state != 0)) return;
  dist.secondaryCache = state != 0;
  ResetDrawerDatasets(dist);
}

uint64_t QORSimDistribution::SetCacheSize(uint64_t bytes) {
  StoreLock lock(StoreMutex());
  DistributionRecord& dist = Distribution(m_id);
  const uint64_t previous = dist.cacheBytes;
  if (bytes != previous) {
    dist.cacheBytes = bytes;
    ResetDrawerDatasets(dist);  // HDF5 takes a dataset's chunk cache when the dataset is opened
  }
  return previous;
}

uint64_t QORSimDistribution::CacheSize() const {
  StoreLock lock(StoreMutex());
  return Distribution(m_id).cacheBytes;
}

bool QORSimDistribution::ChunkAllocated(const QORSimDrawerID& drawerID, const QORSimArray<int>& chunkIndex) const {
  StoreLock lock(StoreMutex());
  DistributionRecord& dist = Distribution(m_id);
  if (drawerID.DistributionID() != m_id)
    QORSIM_FAIL("ChunkAllocated: drawer " + std::to_string(drawerID.Index()) + " does not belong to " + Describe(m_id));
  DrawerRecord& drawer = Drawer(dist, drawerID.Index(), m_id);
  const size_t rank = drawer.dims.size();
  if (static_cast<size_t>(chunkIndex.Size()) != rank)
    QORSIM_FAIL("ChunkAllocated needs one chunk number per dimension (" + std::to_string(rank) + "), not " +
                std::to_string(chunkIndex.Size()));
  DatabaseRecord& db = Database(m_id.ContextID());
  WhereScope where(db.path, dist.DrawerPath(drawer.index));
  const hid_t ds = DrawerDataset(m_id, dist, drawer);
  if (drawer.storageChunk.empty()) {
    H5D_space_status_t status;
    QORSIM_H5(H5Dget_space_status, (ds, &status));
    return status != H5D_SPACE_STATUS_NOT_ALLOCATED;
  }
  std::vector<hsize_t> origin(rank);
  for (size_t d = 0; d < rank; ++d) {
    const long long c = chunkIndex[static_cast<int>(d)];
    origin[d] = static_cast<hsize_t>(c) * drawer.storageChunk[d];
    if (c < 0 || origin[d] >= drawer.dims[d])
      QORSIM_FAIL("ChunkAllocated: chunk " + std::to_string(c) + " of dimension " + std::to_string(d) +
                  " lies outside the drawer (" + std::to_string(drawer.dims[d]) + " positions in chunks of " +
                  std::to_string(drawer.storageChunk[d]) + ")");
  }
  return ChunkStorageBytes(ds, origin.data()) != 0;
}
