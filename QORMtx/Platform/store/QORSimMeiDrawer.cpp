// QORSimMeiDrawer: element-matrix (MEI) drawers, and the registry of serialized drawer kinds they plug into.
// A family holds 10^5 … 10^6 of them, so they are rows of the distribution's element pool (QORSimLayout.h):
//   /distributions/<n>/elements/index    one row per drawer: number, serialization, sets, first item, items
//   /distributions/<n>/elements/values   [items] values, drawer after drawer, each [identifiers][items per matrix]
// appended in pieces of kPoolPieceBytes and read through a read-ahead window of the distribution's cache size.
// Files of the first layout (a group drawer<k> with a values dataset) are still read and written in place.
#define QORSIM_INSIDE_STORE
#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <string>

#include "QORSimDistribution.h"
#include "QORSimLayout.h"
#include "QORSimSerialized.h"

namespace qorsim {

// ---------------------------------------------------------------------------------------------------------------
// Registry.

namespace {
std::map<int, const SerializedKind*>& Kinds() {
  static std::map<int, const SerializedKind*> kinds;
  return kinds;
}
}  // namespace

void RegisterSerializedKind(int kind, const SerializedKind* code) { Kinds()[kind] = code; }

const SerializedKind* SerializedKindOf(int serialization) {
  auto it = Kinds().find(QORSimSerializationType::FromWord(serialization).Kind());
  return it == Kinds().end() ? nullptr : it->second;
}

const SerializedKind& FindSerializedKind(int serialization, const std::string& where) {
  const SerializedKind* kind = SerializedKindOf(serialization);
  if (!kind)
    QORSIM_FAIL(where + ": serialization kind " + std::to_string(QORSimSerializationType::FromWord(serialization).Kind()) +
                " is not stored by this data store");
  return *kind;
}

void WriteSerializedDrawerAttrs(hid_t group, const DrawerRecord& drawer) {
  WriteIntsAttr(group, "sets", drawer.sets);
  WriteIntsAttr(group, "serialization", {drawer.serialization});
  WriteIntsAttr(group, "extendable_dim", {drawer.extendableDim});
}

void ReadSerializedDrawerAttrs(hid_t group, DrawerRecord& drawer) {
  drawer.sets = ReadIntsAttr(group, "sets");
  drawer.serialization = ReadIntAttr(group, "serialization");
  drawer.extendableDim = ReadIntAttr(group, "extendable_dim");
}

// ---------------------------------------------------------------------------------------------------------------
// Element matrices. Dimension 0 runs over the matrices' identifiers; every matrix has the same items:
//   2 dimensions (identifiers, positions): one item per member of the position set, whose ordinals are the flat
//     column-major positions in the matrix;
//   3 dimensions (identifiers, columns, rows): the whole rows × columns matrix by columns, or, symmetric, its
//     upper triangle by columns (rows 0 … j of column j), which needs as many rows as columns.

namespace {

std::string Str(long long v) { return std::to_string(v); }

bool IsMeiKind(int serialization) {
  const QORSimSerializationType type = QORSimSerializationType::FromWord(serialization);
  return type.IsMei() || type.IsMeiSymmetric();
}

// Items of one matrix: rank 2, the position set's size (cols); rank 3, the matrix or its upper triangle.
int64_t ItemsPerMatrix(size_t rank, int64_t cols, int64_t rows, bool symmetric) {
  if (rank == 2) return cols;
  return symmetric ? cols * (cols + 1) / 2 : rows * cols;
}

std::string PoolPath(const DistributionRecord& dist) { return dist.Path() + "/elements"; }

H5Handle OpenPoolValues(const DatabaseRecord& db, const DistributionRecord& dist) {
  return H5Handle(QORSIM_H5(H5Dopen2, (db.file, (PoolPath(dist) + "/values").c_str(), H5P_DEFAULT)));
}

// Items first … first + count − 1 of the pool, between the caller's buffer and the file or the pending piece. Reads
// of the file go through the read-ahead window (a walk in drawer order reads each piece once); a drawer larger
// than the window moves directly.
void MovePoolItems(DatabaseRecord& db, DistributionRecord& dist, int64_t first, int64_t count, unsigned char* data,
                   bool write) {
  ElementPoolRecord& pool = dist.elements;
  const size_t item = ItemBytes(dist.typeKey);
  auto bytes = [item](int64_t items) { return static_cast<size_t>(items) * item; };
  if (first + count > pool.storedItems) {
    const int64_t from = std::max(first, pool.storedItems);
    unsigned char* pending = pool.pendingValues.data() + bytes(from - pool.storedItems);
    unsigned char* caller = data + bytes(from - first);
    if (write)
      std::memcpy(pending, caller, bytes(first + count - from));
    else
      std::memcpy(caller, pending, bytes(first + count - from));
    count = from - first;
  }
  if (count <= 0) return;
  const int64_t windowItems = static_cast<int64_t>(pool.window.size() / item);
  const bool inWindow = first >= pool.windowFirst && first + count <= pool.windowFirst + windowItems;
  if (write) {
    WhereScope where(db.path, PoolPath(dist) + "/values");
    H5Handle values = OpenPoolValues(db, dist);
    MoveRows(values, MemoryType(dist.typeKey), data, static_cast<hsize_t>(first), static_cast<hsize_t>(count), true);
    if (inWindow) std::memcpy(pool.window.data() + bytes(first - pool.windowFirst), data, bytes(count));
    else if (first < pool.windowFirst + windowItems && first + count > pool.windowFirst) pool.window.clear();
    return;
  }
  if (!inWindow) {
    const int64_t capacity = static_cast<int64_t>(std::max<uint64_t>(kPoolPieceBytes, dist.cacheBytes) / item);
    WhereScope where(db.path, PoolPath(dist) + "/values");
    H5Handle values = OpenPoolValues(db, dist);
    if (count >= capacity) {
      MoveRows(values, MemoryType(dist.typeKey), data, static_cast<hsize_t>(first), static_cast<hsize_t>(count), false);
      return;
    }
    const int64_t n = std::min(capacity, pool.storedItems - first);
    pool.window.resize(bytes(n));
    pool.windowFirst = first;
    MoveRows(values, MemoryType(dist.typeKey), pool.window.data(), static_cast<hsize_t>(first),
             static_cast<hsize_t>(n), false);
  }
  std::memcpy(data, pool.window.data() + bytes(first - pool.windowFirst), bytes(count));
}

}  // namespace

void FlushElementPool(DatabaseRecord& db, DistributionRecord& dist) {
  ElementPoolRecord& pool = dist.elements;
  if (pool.pendingRows.empty()) return;
  // The rows name sets and values: those go into the file first.
  for (const auto& dim : dist.grid) FlushSetPool(db, db.collections.at(dim.first));
  const std::string path = PoolPath(dist);
  WhereScope where(db.path, path);
  if (!pool.inFile) {
    H5Handle g(QORSIM_H5(H5Gcreate2, (db.file, path.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
    CreateRowDataset(g, "index", H5T_STD_I64LE, kElementPoolWidth, 1024);
    CreateRowDataset(g, "values", FileType(dist.typeKey), 0, kPoolPieceBytes / 2 / ItemBytes(dist.typeKey));
    pool.inFile = true;
  }
  const size_t item = ItemBytes(dist.typeKey);
  const int64_t items = static_cast<int64_t>(pool.pendingValues.size() / item);
  {
    H5Handle values = OpenPoolValues(db, dist);
    MoveRows(values, MemoryType(dist.typeKey), pool.pendingValues.data(), static_cast<hsize_t>(pool.storedItems),
             static_cast<hsize_t>(items), true);
  }
  H5Handle index(QORSIM_H5(H5Dopen2, (db.file, (path + "/index").c_str(), H5P_DEFAULT)));
  hsize_t dims[2];
  H5T_class_t typeClass;
  DatasetShape(index, dims, &typeClass);
  MoveRows(index, H5T_NATIVE_LLONG, pool.pendingRows.data(), dims[0], pool.pendingRows.size() / kElementPoolWidth,
           true);
  pool.storedItems += items;
  pool.pendingRows.clear();
  pool.pendingValues.clear();
}

void LoadElementPool(DatabaseRecord& db, hid_t group, DistributionRecord& dist,
                     std::vector<std::pair<int, DrawerRecord>>& drawers) {
  if (QORSIM_H5(H5Lexists, (group, "elements", H5P_DEFAULT)) <= 0) return;
  const std::string path = PoolPath(dist);
  WhereScope where(db.path, path + "/index");
  H5Handle g(QORSIM_H5(H5Gopen2, (group, "elements", H5P_DEFAULT)));
  H5Handle indexDs(QORSIM_H5(H5Dopen2, (g, "index", H5P_DEFAULT)));
  H5Handle valuesDs(QORSIM_H5(H5Dopen2, (g, "values", H5P_DEFAULT)));
  const size_t item = ItemBytes(dist.typeKey);
  const hsize_t rows =
      CheckedPoolRows(indexDs, kElementPoolWidth, H5T_INTEGER, sizeof(long long), "the element pool's index");
  const int64_t numItems = static_cast<int64_t>(CheckedPoolRows(
      valuesDs, 0, dist.typeKey == QORSimIntKey ? H5T_INTEGER : H5T_FLOAT, item, "the element pool's values"));
  const size_t rank = dist.grid.size();
  if (rows > 0 && rank != 2 && rank != 3)
    QORSIM_DAMAGED("element-matrix drawers in a distribution of " + Str(static_cast<long long>(rank)) +
                   " dimensions (2 or 3)");
  // Read in pieces, so that the index of a large family is never held twice.
  constexpr hsize_t kPieceRows = 16384;
  std::vector<long long> piece;
  int64_t expectedFirst = 0;
  for (hsize_t r0 = 0; r0 < rows; r0 += kPieceRows) {
    const hsize_t n = std::min(kPieceRows, rows - r0);
    piece.resize(static_cast<size_t>(n) * kElementPoolWidth);
    MoveRows(indexDs, H5T_NATIVE_LLONG, piece.data(), r0, n, false);
    for (hsize_t i = 0; i < n; ++i) {
      const long long* row = &piece[static_cast<size_t>(i) * kElementPoolWidth];
      // Messages are composed only on a refusal: a family may have 10^6 rows.
      const auto at = [&] { return "index row " + Str(static_cast<long long>(r0 + i)) + ": "; };
      auto inInt = [](long long v) { return v >= INT_MIN && v <= INT_MAX; };
      for (int c = 0; c < 6; ++c)
        if (!inInt(row[c])) QORSIM_DAMAGED(at() + "column " + Str(c) + " holds " + Str(row[c]) + ", not an int");
      if (row[0] < 0) QORSIM_DAMAGED(at() + "drawer number " + Str(row[0]));
      DrawerRecord drawer;
      drawer.index = static_cast<int>(row[0]);
      drawer.serialization = static_cast<int>(row[1]);
      if (!IsMeiKind(drawer.serialization))
        QORSIM_DAMAGED(at() + "serialization " + Str(row[1]) + " is not an element-matrix kind");
      for (size_t d = 0; d < 3; ++d) {
        if (d < rank) {
          drawer.sets.push_back(static_cast<int>(row[2 + d]));
          const CollectionRecord& coll = db.collections.at(dist.grid[d].first);
          auto set = coll.sets.find(drawer.sets.back());
          drawer.dims.push_back(set == coll.sets.end() ? 0 : static_cast<hsize_t>(set->second.count));
        } else if (row[2 + d] != -1) {
          QORSIM_DAMAGED(at() + "a drawer of " + Str(static_cast<long long>(rank)) + " dimensions names a set " +
                         "for dimension " + Str(static_cast<long long>(d)));
        }
      }
      drawer.extendableDim = static_cast<int>(row[5]);
      bool setsFound = drawer.extendableDim >= -1 && drawer.extendableDim < static_cast<int>(rank);
      for (size_t d = 0; d < rank; ++d)
        setsFound = setsFound && db.collections.at(dist.grid[d].first).sets.count(drawer.sets[d]) > 0;
      if (!setsFound) {  // the drawer's sets checked as every drawer's are, the drawer named
        WhereScope drawerWhere(db.path, path + "/index (drawer " + Str(drawer.index) + ")");
        CheckDrawerSets(db, dist, drawer);
      }
      const bool symmetric = QORSimSerializationType::FromWord(drawer.serialization).IsMeiSymmetric();
      const int64_t cols = static_cast<int64_t>(drawer.dims[1]);
      const int64_t matrixRows = rank == 3 ? static_cast<int64_t>(drawer.dims[2]) : 0;
      if (rank == 3 && symmetric && cols != matrixRows)
        QORSIM_DAMAGED(at() + "a symmetric element matrix of " + Str(matrixRows) + " rows and " + Str(cols) + " columns");
      const long long first = row[6], items = row[7];
      const int64_t perMatrix = ItemsPerMatrix(rank, cols, matrixRows, symmetric);  // below 2^62: sets count in int
      if (perMatrix > 0 && static_cast<int64_t>(drawer.dims[0]) > INT64_MAX / perMatrix)
        QORSIM_DAMAGED(at() + "drawer " + Str(drawer.index) + ": its sets make more items than a drawer can hold");
      const int64_t expectedItems = static_cast<int64_t>(drawer.dims[0]) * perMatrix;
      if (first != expectedFirst)
        QORSIM_DAMAGED(at() + "drawer " + Str(drawer.index) + " starts at item " + Str(first) + ", the drawer before it " +
                       "ends at " + Str(expectedFirst));
      if (items != expectedItems)
        QORSIM_DAMAGED(at() + "drawer " + Str(drawer.index) + " holds " + Str(items) + " items, its sets make " +
                       Str(expectedItems));
      if (items > numItems - first)
        QORSIM_DAMAGED(at() + "drawer " + Str(drawer.index) + " runs to item " + Str(first + items) +
                       ", the values hold " + Str(numItems));
      drawer.poolFirst = first;
      drawer.items = items;
      drawer.fill.assign(item, 0);
      expectedFirst = first + items;
      drawers.emplace_back(drawer.index, std::move(drawer));
    }
  }
  if (expectedFirst != numItems)
    QORSIM_DAMAGED("the values hold " + Str(numItems) + " items, the index names " + Str(expectedFirst));
  dist.elements.inFile = true;
  dist.elements.storedItems = numItems;
}

namespace {

class MeiDrawers : public SerializedKind {
 public:
  MeiDrawers() {
    RegisterSerializedKind(QORSimSerializationType::MEI, this);
    RegisterSerializedKind(QORSimSerializationType::MEI_SYMMETRIC, this);
  }

  void Check(const SerializedTransfer& t) const override {
    const size_t rank = t.sets.size();
    if (rank != 2 && rank != 3)
      QORSIM_FAIL("element-matrix drawer of " + Describe(t.dist) + ": the distribution has " + std::to_string(rank) +
                  " dimensions; element matrices need 2 (identifiers, positions) or 3 (identifiers, columns, rows)");
    if (rank == 3 && Symmetric(t) && Size(t.sets[1]) != Size(t.sets[2]))
      QORSIM_FAIL("symmetric element-matrix drawer of " + Describe(t.dist) + ": " + std::to_string(Size(t.sets[2])) +
                  " rows and " + std::to_string(Size(t.sets[1])) + " columns; a symmetric matrix is square");
  }

  uint64_t RequiredBytes(const SerializedTransfer& t, int slot) const override {
    const DistributionRecord& dist = Distribution(t.dist);
    if (slot == QORSimbufMain)
      return static_cast<uint64_t>(Size(t.sets[0])) * static_cast<uint64_t>(PerMatrix(t)) * ItemBytes(dist.typeKey);
    if (slot == QORSimbufIndicesNZ) return static_cast<uint64_t>(PerMatrix(t)) * sizeof(int);
    return 0;
  }

  int Write(const SerializedTransfer& t) const override {
    DatabaseRecord& db = WritableDatabase(t.dist.ContextID(), "write an element-matrix drawer");
    DistributionRecord& dist = Distribution(t.dist);
    auto* values = static_cast<unsigned char*>(t.buffers[QORSimbufMain]);
    if (t.drawer < 0) return Append(db, dist, t, values);
    DrawerRecord& drawer = dist.drawers[static_cast<size_t>(t.drawer)];
    if (drawer.poolFirst >= 0) {
      MovePoolItems(db, dist, drawer.poolFirst, drawer.items, values, true);
      return t.drawer;
    }
    WhereScope where(db.path, dist.DrawerPath(t.drawer));
    H5Handle ds(QORSIM_H5(H5Dopen2, (db.file, (dist.DrawerPath(t.drawer) + "/values").c_str(), H5P_DEFAULT)));
    if (RequiredBytes(t, QORSimbufMain))
      QORSIM_H5(H5Dwrite, (ds, MemoryType(dist.typeKey), H5S_ALL, H5S_ALL, H5P_DEFAULT, values));
    return t.drawer;
  }

  void Read(const SerializedTransfer& t) const override {
    DatabaseRecord& db = Database(t.dist.ContextID());
    DistributionRecord& dist = Distribution(t.dist);
    const DrawerRecord& drawer = dist.drawers[static_cast<size_t>(t.drawer)];
    auto* values = static_cast<unsigned char*>(t.buffers[QORSimbufMain]);
    if (drawer.poolFirst >= 0) {
      MovePoolItems(db, dist, drawer.poolFirst, drawer.items, values, false);
    } else if (RequiredBytes(t, QORSimbufMain)) {
      const std::string path = dist.DrawerPath(t.drawer);
      WhereScope where(db.path, path);
      H5Handle ds(QORSIM_H5(H5Dopen2, (db.file, (path + "/values").c_str(), H5P_DEFAULT)));
      QORSIM_H5(H5Dread, (ds, MemoryType(dist.typeKey), H5S_ALL, H5S_ALL, H5P_DEFAULT, values));
    }
    if (t.buffers[QORSimbufIndicesNZ] && PerMatrix(t)) {
      if (t.bytes[QORSimbufIndicesNZ] < RequiredBytes(t, QORSimbufIndicesNZ))
        QORSIM_FAIL("ExecRead of " + dist.DrawerPath(t.drawer) + ": the positions buffer holds " +
                    std::to_string(t.bytes[QORSimbufIndicesNZ]) + " bytes, the drawer needs " +
                    std::to_string(RequiredBytes(t, QORSimbufIndicesNZ)));
      const std::vector<int> positions = Positions(t);
      std::memcpy(t.buffers[QORSimbufIndicesNZ], positions.data(), positions.size() * sizeof(int));
    }
  }

  // A group drawer<k> of the first layout: its values dataset gives the items.
  void Load(hid_t obj, const DistributionRecord& /*dist*/, DrawerRecord& drawer) const override {
    H5Handle values(QORSIM_H5(H5Dopen2, (obj, "values", H5P_DEFAULT)));
    H5Handle space(QORSIM_H5(H5Dget_space, (values)));
    drawer.items = QORSIM_H5(H5Sget_simple_extent_npoints, (space));
  }

 private:
  static int Size(const QORSimCSetID& set) { return Set(set).count; }
  static bool Symmetric(const SerializedTransfer& t) {
    return QORSimSerializationType::FromWord(t.serialization).IsMeiSymmetric();
  }
  static int64_t PerMatrix(const SerializedTransfer& t) {
    return ItemsPerMatrix(t.sets.size(), Size(t.sets[1]), t.sets.size() == 3 ? Size(t.sets[2]) : 0, Symmetric(t));
  }
  static std::vector<int> Positions(const SerializedTransfer& t) {
    std::vector<int> p;
    if (t.sets.size() == 2) {
      const SetRecord& set = LoadedSet(t.sets[1]);
      for (int k = 0; k < set.count; ++k) p.push_back(set.Ordinal(k));
      return p;
    }
    const int cols = Size(t.sets[1]), rows = Size(t.sets[2]);
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < (Symmetric(t) ? j + 1 : rows); ++i) p.push_back(j * rows + i);
    return p;
  }

  // A new drawer: a record, its values and index row pending in the pool until a piece is full or the database is
  // flushed.
  int Append(DatabaseRecord& db, DistributionRecord& dist, const SerializedTransfer& t,
             const unsigned char* values) const {
    DrawerRecord drawer;
    drawer.index = static_cast<int>(dist.drawers.size());
    drawer.serialization = t.serialization;
    for (const QORSimCSetID& set : t.sets) {
      IndexOf(set);  // a drawer dimension may not repeat an ordinal
      MakePersistent(set);
      drawer.sets.push_back(set.Number());
      drawer.dims.push_back(static_cast<hsize_t>(Set(set).count));
    }
    const size_t item = ItemBytes(dist.typeKey);
    drawer.fill.assign(item, 0);
    drawer.items = static_cast<int64_t>(drawer.dims[0]) * PerMatrix(t);
    ElementPoolRecord& pool = dist.elements;
    drawer.poolFirst = pool.storedItems + static_cast<int64_t>(pool.pendingValues.size() / item);
    if (drawer.items > 0)
      pool.pendingValues.insert(pool.pendingValues.end(), values, values + static_cast<size_t>(drawer.items) * item);
    pool.pendingRows.insert(pool.pendingRows.end(),
                            {drawer.index, drawer.serialization, drawer.sets[0], drawer.sets[1],
                             drawer.sets.size() == 3 ? drawer.sets[2] : -1, drawer.extendableDim, drawer.poolFirst,
                             drawer.items});
    dist.drawers.push_back(std::move(drawer));
    if (pool.pendingValues.size() + pool.pendingRows.size() * sizeof(long long) >= kPoolPieceBytes)
      FlushElementPool(db, dist);
    return static_cast<int>(dist.drawers.size()) - 1;
  }
};

const MeiDrawers g_meiDrawers;

}  // namespace

}  // namespace qorsim
