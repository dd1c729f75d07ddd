// QORSimLayout: the database's objects in the HDF5 file: attributes, set datasets, distribution groups and drawer
// datasets (see QORSimLayout.h for the layout).
#define QORSIM_INSIDE_STORE
#include "QORSimLayout.h"

#include <algorithm>
#include <cstring>

namespace qorsim {

namespace {
constexpr size_t kCompactSetLimit = 8192;              // ordinals stored in the object header below this
constexpr uint64_t kInternalChunkBytes = 64ull << 20;  // chunking of an unchunked drawer that must grow
constexpr uint64_t kMaxChunkBytes = 0xFFFFFFFFull;     // HDF5 limit on one chunk
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Attribute and link helpers (call with a WhereScope naming the object).

bool HasAttr(hid_t obj, const char* name) { return QORSIM_H5(H5Aexists, (obj, name)) > 0; }

void WriteIntsAttr(hid_t obj, const char* name, const std::vector<int>& values) {
  if (HasAttr(obj, name)) QORSIM_H5(H5Adelete, (obj, name));
  hsize_t n = values.size();
  H5Handle space(n ? QORSIM_H5(H5Screate_simple, (1, &n, nullptr)) : QORSIM_H5(H5Screate, (H5S_NULL)));
  H5Handle attr(QORSIM_H5(H5Acreate2, (obj, name, H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT)));
  if (n) QORSIM_H5(H5Awrite, (attr, H5T_NATIVE_INT, values.data()));
}

std::vector<int> ReadIntsAttr(hid_t obj, const char* name) {
  if (!HasAttr(obj, name)) QORSIM_FAIL("attribute '" + std::string(name) + "' is missing" + DescribeWhere());
  H5Handle attr(QORSIM_H5(H5Aopen, (obj, name, H5P_DEFAULT)));
  H5Handle space(QORSIM_H5(H5Aget_space, (attr)));
  const hssize_t n = QORSIM_H5(H5Sget_simple_extent_npoints, (space));
  std::vector<int> values(static_cast<size_t>(n));
  if (n > 0) QORSIM_H5(H5Aread, (attr, H5T_NATIVE_INT, values.data()));
  return values;
}

int ReadIntAttr(hid_t obj, const char* name) {
  std::vector<int> v = ReadIntsAttr(obj, name);
  if (v.size() != 1) QORSIM_FAIL("attribute '" + std::string(name) + "' should hold one value" + DescribeWhere());
  return v[0];
}

void WriteStringAttr(hid_t obj, const char* name, const std::string& text) {
  if (HasAttr(obj, name)) QORSIM_H5(H5Adelete, (obj, name));
  H5Handle type(QORSIM_H5(H5Tcopy, (H5T_C_S1)));
  QORSIM_H5(H5Tset_size, (type, text.empty() ? 1 : text.size()));
  QORSIM_H5(H5Tset_strpad, (type, H5T_STR_NULLPAD));
  H5Handle space(QORSIM_H5(H5Screate, (H5S_SCALAR)));
  H5Handle attr(QORSIM_H5(H5Acreate2, (obj, name, type, space, H5P_DEFAULT, H5P_DEFAULT)));
  QORSIM_H5(H5Awrite, (attr, type, text.empty() ? "" : text.c_str()));
}

std::string ReadStringAttr(hid_t obj, const char* name) {
  H5Handle attr(QORSIM_H5(H5Aopen, (obj, name, H5P_DEFAULT)));
  H5Handle type(QORSIM_H5(H5Aget_type, (attr)));
  if (QORSIM_H5(H5Tget_class, (type)) != H5T_STRING || QORSIM_H5(H5Tis_variable_str, (type)) > 0) return "";
  const size_t size = QORSIM_H5(H5Tget_size, (type));
  std::string text(size, '\0');
  QORSIM_H5(H5Aread, (attr, type, &text[0]));
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::vector<std::string> LinkNames(hid_t group) {
  // One pass over the links: asking for them by index makes HDF5 sort the names again on every call.
  std::vector<std::string> names;
  auto collect = [](hid_t, const char* name, const H5L_info_t*, void* out) -> herr_t {
    static_cast<std::vector<std::string>*>(out)->emplace_back(name);
    return 0;
  };
  hsize_t at = 0;
  QORSIM_H5(H5Literate, (group, H5_INDEX_NAME, H5_ITER_INC, &at, collect, &names));
  return names;
}

// A link name that is a plain non-negative number (after an optional prefix), or -1.
int NumberAfter(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return -1;
  long long v = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || v > 100000000) return -1;
    v = v * 10 + (name[i] - '0');
  }
  return static_cast<int>(v);
}

H5Handle FileAccessList(bool inMemory) {
  H5Handle fapl(QORSIM_H5(H5Pcreate, (H5P_FILE_ACCESS)));
  // The 1.8+ object formats: checksummed metadata and the faster chunk indexes.
  QORSIM_H5(H5Pset_libver_bounds, (fapl, H5F_LIBVER_V18, H5F_LIBVER_LATEST));
  QORSIM_H5(H5Pset_fclose_degree, (fapl, H5F_CLOSE_STRONG));
  if (inMemory) QORSIM_H5(H5Pset_fapl_core, (fapl, 16u << 20, 0));
  return fapl;
}
void WriteDatabaseHeader(DatabaseRecord& db) {
  WriteStringAttr(db.file, "qorsim_format", kFormatName);
  WriteIntsAttr(db.file, "qorsim_version", {kFormatVersion});
  H5Handle(QORSIM_H5(H5Gcreate2, (db.file, "/collections", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
  H5Handle(QORSIM_H5(H5Gcreate2, (db.file, "/distributions", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
}

void MarkOpenForWriting(DatabaseRecord& db, bool open) {
  if (db.inMemory || db.readOnly || db.markedOpen == open) return;
  WhereScope where(db.path, "/");
  WriteIntsAttr(db.file, "open_for_writing", {open ? 1 : 0});
  // On disk before any value it guards: values written after it may be lost by a kill, the mark is not.
  QORSIM_H5(H5Fflush, (db.file, H5F_SCOPE_LOCAL));
  db.markedOpen = open;
}

void WriteSetDataset(DatabaseRecord& db, CollectionRecord& coll, const SetRecord& set) {
  if (set.number >= kSetsOwnDataset) return PoolSet(db, coll, set);
  const std::string path = coll.Path() + "/sets/" + std::to_string(set.number);
  WhereScope where(db.path, path);
  std::vector<int> data = set.strided ? std::vector<int>{set.start, set.count, set.step} : set.ordinals;
  hsize_t n = data.size();
  H5Handle space(QORSIM_H5(H5Screate_simple, (1, &n, nullptr)));
  H5Handle dcpl(QORSIM_H5(H5Pcreate, (H5P_DATASET_CREATE)));
  if (n <= kCompactSetLimit) QORSIM_H5(H5Pset_layout, (dcpl, H5D_COMPACT));
  H5Handle ds(QORSIM_H5(H5Dcreate2, (db.file, path.c_str(), H5T_STD_I32LE, space, H5P_DEFAULT, dcpl, H5P_DEFAULT)));
  if (n) QORSIM_H5(H5Dwrite, (ds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, data.data()));
  WriteStringAttr(ds, "kind", set.strided ? "strided" : "ordered");
}

void WriteCollectionAttrs(DatabaseRecord& db, CollectionRecord& coll) {
  FlushSetPool(db, coll);  // biggest_set may name a pooled set
  WhereScope where(db.path, coll.Path());
  H5Handle g(QORSIM_H5(H5Gopen2, (db.file, coll.Path().c_str(), H5P_DEFAULT)));
  std::vector<int> colors{0};
  colors.insert(colors.end(), coll.colors.begin(), coll.colors.end());
  WriteIntsAttr(g, "colors", colors);
  WriteIntsAttr(g, "biggest_set", {coll.biggestSet});
}

// ---------------------------------------------------------------------------------------------------------------
// Distributions and drawers.

QORSimDistributionID NewDistribution(const QORSimContextID& context, const std::vector<QORSimCollectionID>& grid,
                                     int typeKey, int type, bool temporary) {
  DatabaseRecord& db = WritableDatabase(context, "create a distribution");
  if (typeKey != QORSimIntKey && typeKey != QORSimDoubleKey)
    QORSIM_FAIL("range type key " + std::to_string(typeKey) + " is not stored by this data store (2 ints, 4 doubles)");
  DistributionRecord dist;
  dist.number = db.nextDistribution++;
  dist.typeKey = typeKey;
  dist.type = type;
  dist.temporary = temporary;
  std::vector<int> colls, colors;
  std::string names;
  for (const QORSimCollectionID& c : grid) {
    if (c.ContextID() != context)
      QORSIM_FAIL("the grid names " + Describe(c) + ", which is not in data-store database '" + db.path + "'");
    CollectionRecord& coll = Collection(c);
    dist.grid.emplace_back(c.Number(), c.Color());
    colls.push_back(c.Number());
    colors.push_back(c.Color());
    if (!names.empty()) names += ", ";
    names += coll.name + (c.Color() ? " (colour " + std::to_string(c.Color()) + ")" : "");
  }
  WhereScope where(db.path, dist.Path());
  H5Handle g(QORSIM_H5(H5Gcreate2, (db.file, dist.Path().c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
  WriteStringAttr(g, "grid", names);
  WriteIntsAttr(g, "grid_collections", colls);
  WriteIntsAttr(g, "grid_colors", colors);
  WriteIntsAttr(g, "range_type_key", {typeKey});
  WriteIntsAttr(g, "type", {type});
  WriteIntsAttr(g, "temporary", {temporary ? 1 : 0});
  const int number = dist.number;
  db.distributions[number] = std::move(dist);
  return QORSimDistributionID(context, number);
}

int NewDrawer(const QORSimDistributionID& id, const DrawerRequest& request) {
  DatabaseRecord& db = WritableDatabase(id.ContextID(), "create a drawer");
  DistributionRecord& dist = Distribution(id);
  const int rank = static_cast<int>(dist.grid.size());
  const size_t item = ItemBytes(dist.typeKey);
  DrawerRecord drawer;
  drawer.index = static_cast<int>(dist.drawers.size());
  drawer.serialization = request.serialization;
  drawer.extendableDim = request.extendableDim;
  drawer.chunkSizes = request.chunkSizes;
  for (int d = 0; d < rank; ++d) {
    const QORSimCSetID& set = request.sets[static_cast<size_t>(d)];
    IndexOf(set);  // a drawer dimension may not repeat an ordinal
    MakePersistent(set);
    SetInFile(set);
    drawer.sets.push_back(set.Number());
    drawer.dims.push_back(static_cast<hsize_t>(Set(set).count));
  }
  const bool anyEmpty = std::find(drawer.dims.begin(), drawer.dims.end(), 0u) != drawer.dims.end();
  std::vector<hsize_t> maxDims = drawer.dims;
  if (!request.chunkSizes.empty()) {
    for (int d = 0; d < rank; ++d) {
      long long c = request.chunkSizes[static_cast<size_t>(d)];
      const long long n = static_cast<long long>(drawer.dims[static_cast<size_t>(d)]);
      if (c <= 0 || (c > n && d != request.extendableDim)) c = n;
      drawer.storageChunk.push_back(static_cast<hsize_t>(std::max(1LL, c)));
    }
  } else if (request.extendableDim >= 0 || anyEmpty) {
    // HDF5 grows only chunked datasets: an unchunked drawer that may grow gets large chunks of its own shape.
    for (int d = 0; d < rank; ++d)
      drawer.storageChunk.push_back(std::max<hsize_t>(1, drawer.dims[static_cast<size_t>(d)]));
    auto bytes = [&] {
      uint64_t b = item;
      for (hsize_t c : drawer.storageChunk) b *= c;
      return b;
    };
    while (bytes() > kInternalChunkBytes) {
      auto big = std::max_element(drawer.storageChunk.begin(), drawer.storageChunk.end());
      *big = (*big + 1) / 2;
    }
  }
  if (!drawer.storageChunk.empty()) {
    uint64_t bytes = item;
    for (hsize_t c : drawer.storageChunk) bytes *= c;
    if (bytes > kMaxChunkBytes)
      QORSIM_FAIL("a chunk of " + std::to_string(bytes) + " bytes exceeds HDF5's limit of 4 GiB per chunk (" +
                  Describe(id) + "); choose smaller chunk sizes");
    // Any dimension of a chunked drawer may grow (a stored matrix adds rows as well as columns); the extendable
    // one only decides the chunk shape.
    std::fill(maxDims.begin(), maxDims.end(), H5S_UNLIMITED);
  }
  drawer.fill.assign(item, 0);
  if (dist.typeKey == QORSimIntKey) {
    const int v = request.fillIsInt ? request.fillInt : static_cast<int>(request.fillDouble);
    std::memcpy(drawer.fill.data(), &v, item);
  } else {
    const double v = request.fillIsInt ? static_cast<double>(request.fillInt) : request.fillDouble;
    std::memcpy(drawer.fill.data(), &v, item);
  }
  drawer.directChunkIo =
      !drawer.storageChunk.empty() && QORSIM_H5(H5Tequal, (FileType(dist.typeKey), MemoryType(dist.typeKey))) > 0;

  const std::string path = dist.DrawerPath(drawer.index);
  WhereScope where(db.path, path);
  H5Handle space(QORSIM_H5(H5Screate_simple, (rank, drawer.dims.data(), maxDims.data())));
  H5Handle dcpl(QORSIM_H5(H5Pcreate, (H5P_DATASET_CREATE)));
  if (!drawer.storageChunk.empty()) QORSIM_H5(H5Pset_chunk, (dcpl, rank, drawer.storageChunk.data()));
  QORSIM_H5(H5Pset_fill_value, (dcpl, MemoryType(dist.typeKey), drawer.fill.data()));
  H5Handle ds(
      QORSIM_H5(H5Dcreate2, (db.file, path.c_str(), FileType(dist.typeKey), space, H5P_DEFAULT, dcpl, H5P_DEFAULT)));
  WriteIntsAttr(ds, "sets", drawer.sets);
  WriteIntsAttr(ds, "serialization", {drawer.serialization});
  WriteIntsAttr(ds, "extendable_dim", {drawer.extendableDim});
  if (!drawer.chunkSizes.empty()) WriteIntsAttr(ds, "chunk_sizes", drawer.chunkSizes);
  dist.drawers.push_back(std::move(drawer));
  return static_cast<int>(dist.drawers.size()) - 1;
}

void ExtendDrawer(const QORSimDistributionID& id, int index, int dim, const QORSimCSetID& set) {
  DatabaseRecord& db = WritableDatabase(id.ContextID(), "grow a drawer");
  DistributionRecord& dist = Distribution(id);
  DrawerRecord& drawer = Drawer(dist, index, id);
  if (drawer.storageChunk.empty())
    QORSIM_FAIL("dimension " + std::to_string(dim) + " of drawer " + std::to_string(index) + " of " + Describe(id) +
                " cannot grow: the drawer is stored without chunks (give it chunk sizes or an extendable dimension)");
  const QORSimCollectionID coll(id.ContextID(), dist.grid[static_cast<size_t>(dim)].first,
                                dist.grid[static_cast<size_t>(dim)].second);
  const QORSimCSetID oldID(coll, drawer.sets[static_cast<size_t>(dim)]);
  const PositionIndex& oldIndex = IndexOf(oldID);
  SetRecord& added = LoadedSet(set);
  for (int k = 0; k < added.count; ++k)
    if (oldIndex.Find(added.Ordinal(k)) >= 0)
      QORSIM_FAIL("ordinal " + std::to_string(added.Ordinal(k)) + " of " + Describe(set) + " is already in dimension " +
                  std::to_string(dim) + " of drawer " + std::to_string(index) + " of " + Describe(id));
  IndexOf(set);  // no repeats among the new ordinals either
  const SetRecord& old = LoadedSet(oldID);
  QORSimCSetID grown;
  if (old.strided && added.strided) {
    // A strided dimension continued by its next members stays strided: no ordinal list is written.
    long long start = old.start, step = old.step;
    bool progression = true;
    if (old.count == 0) {
      start = added.start;
      step = added.step;
    } else if (added.count > 0) {
      if (old.count == 1) step = static_cast<long long>(added.start) - old.start;
      progression = step != 0 && static_cast<long long>(added.start) == start + old.count * step &&
                    (added.count == 1 || added.step == step) && step >= -2147483647LL && step <= 2147483647LL;
    }
    if (progression)
      grown =
          NewStridedSet(coll, static_cast<int>(start), old.count + added.count, static_cast<int>(step == 0 ? 1 : step));
  }
  if (grown.IsNull()) {
    std::vector<int> all;
    all.reserve(static_cast<size_t>(old.count + added.count));
    for (int k = 0; k < old.count; ++k) all.push_back(old.Ordinal(k));
    for (int k = 0; k < added.count; ++k) all.push_back(added.Ordinal(k));
    grown = NewOrderedSet(coll, all.data(), static_cast<int>(all.size()), SetKind::PERSISTENT);
  }
  SetInFile(grown);
  std::vector<hsize_t> dims = drawer.dims;
  dims[static_cast<size_t>(dim)] += static_cast<hsize_t>(added.count);
  WhereScope where(db.path, dist.DrawerPath(index));
  hid_t ds = DrawerDataset(id, dist, drawer);
  QORSIM_H5(H5Dset_extent, (ds, dims.data()));
  drawer.dims = dims;
  drawer.sets[static_cast<size_t>(dim)] = grown.Number();
  WriteIntsAttr(ds, "sets", drawer.sets);
}

hid_t DrawerDataset(const QORSimDistributionID& id, DistributionRecord& dist, DrawerRecord& drawer) {
  if (drawer.dataset >= 0) return drawer.dataset;
  if (drawer.serialization != 0)
    QORSIM_FAIL("drawer " + std::to_string(drawer.index) + " of " + Describe(id) +
                " is not a standard drawer: it has no chunks and no dataset of its own");
  DatabaseRecord& db = Database(id.ContextID());
  WhereScope where(db.path, dist.DrawerPath(drawer.index));
  H5Handle dapl(QORSIM_H5(H5Pcreate, (H5P_DATASET_ACCESS)));
  if (!drawer.storageChunk.empty()) {
    uint64_t chunkBytes = ItemBytes(dist.typeKey);
    for (hsize_t c : drawer.storageChunk) chunkBytes *= c;
    uint64_t bytes = dist.cacheBytes;
    if (dist.secondaryCache) bytes = std::max(bytes, chunkBytes);
    // HDF5 wants about a hundred hash slots per cached chunk, and a prime count.
    uint64_t slots =
        std::max<uint64_t>(521, std::min<uint64_t>(100 * std::max<uint64_t>(1, bytes / chunkBytes), 1000003));
    auto isPrime = [](uint64_t n) {
      for (uint64_t f = 2; f * f <= n; ++f)
        if (n % f == 0) return false;
      return true;
    };
    while (!isPrime(slots)) ++slots;
    QORSIM_H5(H5Pset_chunk_cache, (dapl, static_cast<size_t>(slots), static_cast<size_t>(bytes), 0.75));
  }
  drawer.dataset = QORSIM_H5(H5Dopen2, (db.file, dist.DrawerPath(drawer.index).c_str(), dapl));
  return drawer.dataset;
}

ChunkPlace ChunkLocation(hid_t dataset, const hsize_t* origin) {
  // H5Dget_chunk_storage_size fails for a chunk without storage once others have some; the chunk index query
  // answers an undefined address instead.
  unsigned filters = 0;
  ChunkPlace place;
  QORSIM_H5(H5Dget_chunk_info_by_coord, (dataset, origin, &filters, &place.address, &place.bytes));
  if (place.address == HADDR_UNDEF) place.bytes = 0;
  return place;
}

hsize_t ChunkStorageBytes(hid_t dataset, const hsize_t* origin) { return ChunkLocation(dataset, origin).bytes; }

int RawFileDescriptor(hid_t file) {
  H5Handle fapl(QORSIM_H5(H5Fget_access_plist, (file)));
  if (QORSIM_H5(H5Pget_driver, (fapl)) != H5FD_SEC2) return -1;
  // With a user block, HDF5's addresses start after it; our files never have one, others keep the HDF5 path.
  H5Handle fcpl(QORSIM_H5(H5Fget_create_plist, (file)));
  hsize_t userBlock = 0;
  QORSIM_H5(H5Pget_userblock, (fcpl, &userBlock));
  if (userBlock != 0) return -1;
  void* handle = nullptr;
  QORSIM_H5(H5Fget_vfd_handle, (file, fapl, &handle));
  return handle ? *static_cast<const int*>(handle) : -1;
}

hid_t ReopenDrawerDataset(const QORSimDistributionID& id, DistributionRecord& dist, DrawerRecord& drawer) {
  if (drawer.dataset >= 0) {
    QORSIM_H5(H5Dclose, (drawer.dataset));
    drawer.dataset = -1;
  }
  drawer.cache = CacheFlags();
  return DrawerDataset(id, dist, drawer);
}

void ResetDrawerDatasets(DistributionRecord& dist) {
  for (DrawerRecord& drawer : dist.drawers) {
    if (drawer.dataset >= 0) {
      QORSIM_H5(H5Dclose, (drawer.dataset));  // writes back the chunk cache
      drawer.dataset = -1;
      drawer.cache = CacheFlags();
    }
  }
}

}  // namespace qorsim
