// QORSimLoad: reading an existing database's objects into the registry's records at open. A database file is
// untrusted: everything read is checked here (ranks, counts, signs, extents against sets, references between
// objects), so that a damaged file is refused at open with its name and the object, never met later as a crash.
#define QORSIM_INSIDE_STORE
#include <algorithm>
#include <climits>
#include <set>

#include "QORSimLayout.h"
#include "QORSimSerialized.h"

namespace qorsim {

void Damaged(const std::string& problem, const char* file, int line) {
  Fail("damaged data-store database: " + problem + DescribeWhere(), file, line);
}

namespace {

std::string Str(long long v) { return std::to_string(v); }

int DatasetRank(hid_t ds) {
  H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
  return QORSIM_H5(H5Sget_simple_extent_ndims, (space));
}

SetRecord LoadSet(hid_t sets, const std::string& name, int number) {
  H5Handle ds(QORSIM_H5(H5Dopen2, (sets, name.c_str(), H5P_DEFAULT)));
  if (DatasetRank(ds) != 1) QORSIM_DAMAGED("a set must be a one-dimensional dataset");
  H5Handle type(QORSIM_H5(H5Dget_type, (ds)));
  if (QORSIM_H5(H5Tget_class, (type)) != H5T_INTEGER) QORSIM_DAMAGED("a set must hold integers");
  H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
  const hssize_t n = QORSIM_H5(H5Sget_simple_extent_npoints, (space));
  SetRecord set;
  set.number = number;
  if (ReadStringAttr(ds, "kind") == "strided") {
    if (n != 3) QORSIM_DAMAGED("a strided set must hold start, count and step, not " + Str(n) + " values");
    int v[3];
    QORSIM_H5(H5Dread, (ds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, v));
    if (v[1] < 0) QORSIM_DAMAGED("the strided set has a negative count " + Str(v[1]));
    if (v[2] == 0) QORSIM_DAMAGED("the strided set has step 0");
    const long long last = static_cast<long long>(v[0]) + static_cast<long long>(v[1] > 0 ? v[1] - 1 : 0) * v[2];
    if (last > INT_MAX || last < INT_MIN) QORSIM_DAMAGED("the strided set runs past the int range");
    set.strided = true;
    set.start = v[0];
    set.count = v[1];
    set.step = v[2];
  } else {
    if (n > INT_MAX) QORSIM_DAMAGED("the set holds " + Str(n) + " ordinals, more than an int counts");
    set.count = static_cast<int>(n);
    set.loaded = false;
  }
  return set;
}

CollectionRecord LoadCollection(DatabaseRecord& db, hid_t top, const std::string& name) {
  CollectionRecord coll;
  coll.name = name;
  WhereScope where(db.path, coll.Path());
  H5Handle g(QORSIM_H5(H5Gopen2, (top, name.c_str(), H5P_DEFAULT)));
  coll.number = ReadIntAttr(g, "number");
  coll.size = ReadIntAttr(g, "size");
  coll.type = ReadIntAttr(g, "type");
  coll.biggestSet = ReadIntAttr(g, "biggest_set");
  if (coll.number < 0 || coll.number == INT_MAX) QORSIM_DAMAGED("collection number " + Str(coll.number));
  if (coll.size < 0) QORSIM_DAMAGED("the collection has " + Str(coll.size) + " members");
  for (int c : ReadIntsAttr(g, "colors")) {
    if (c < 0) QORSIM_DAMAGED("colour " + Str(c) + " is negative");
    if (c > 0) coll.colors.push_back(c);
  }
  std::sort(coll.colors.begin(), coll.colors.end());
  coll.colors.erase(std::unique(coll.colors.begin(), coll.colors.end()), coll.colors.end());
  H5Handle sets(QORSIM_H5(H5Gopen2, (g, "sets", H5P_DEFAULT)));
  for (const std::string& setName : LinkNames(sets)) {
    const int number = NumberAfter(setName, "");
    if (number < 0) continue;
    WhereScope setWhere(db.path, coll.Path() + "/sets/" + setName);
    coll.sets[number] = LoadSet(sets, setName, number);
    coll.nextSet = std::max(coll.nextSet, number + 1);
  }
  LoadSetPool(db, g, coll);
  if (coll.biggestSet != -1) {
    auto it = coll.sets.find(coll.biggestSet);
    if (it == coll.sets.end()) QORSIM_DAMAGED("biggest_set names set " + Str(coll.biggestSet) + ", which is missing");
    if (!it->second.strided || it->second.start != 0 || it->second.step != 1 || it->second.count != coll.size)
      QORSIM_DAMAGED("biggest_set names set " + Str(coll.biggestSet) + ", which is not 0 … " + Str(coll.size - 1));
  }
  return coll;
}

void LoadCollections(DatabaseRecord& db) {
  H5Handle top(QORSIM_H5(H5Gopen2, (db.file, "/collections", H5P_DEFAULT)));
  for (const std::string& name : LinkNames(top)) {
    CollectionRecord coll = LoadCollection(db, top, name);
    const int number = coll.number;
    if (db.collections.count(number)) {
      WhereScope where(db.path, coll.Path());
      QORSIM_DAMAGED("collections '" + db.collections[number].name + "' and '" + coll.name + "' carry number " +
                     Str(number));
    }
    db.nextCollection = std::max(db.nextCollection, number + 1);
    db.collections[number] = std::move(coll);
  }
}

}  // namespace

void CheckDrawerSets(const DatabaseRecord& db, const DistributionRecord& dist, const DrawerRecord& drawer) {
  const size_t rank = dist.grid.size();
  if (drawer.sets.size() != rank)
    QORSIM_DAMAGED("the drawer names " + Str(static_cast<long long>(drawer.sets.size())) + " sets for " +
                   Str(static_cast<long long>(rank)) + " dimensions");
  for (size_t d = 0; d < rank; ++d) {
    const CollectionRecord& coll = db.collections.at(dist.grid[d].first);
    auto set = coll.sets.find(drawer.sets[d]);
    if (set == coll.sets.end())
      QORSIM_DAMAGED("dimension " + Str(static_cast<long long>(d)) + " names set " + Str(drawer.sets[d]) +
                     " of collection '" + coll.name + "', which is missing");
    if (drawer.dims[d] != static_cast<hsize_t>(set->second.count))
      QORSIM_DAMAGED("dimension " + Str(static_cast<long long>(d)) + " has extent " +
                     Str(static_cast<long long>(drawer.dims[d])) + " but its set " + Str(drawer.sets[d]) + " has " +
                     Str(set->second.count) + " members");
  }
  if (drawer.extendableDim < -1 || drawer.extendableDim >= static_cast<int>(rank))
    QORSIM_DAMAGED("extendable dimension " + Str(drawer.extendableDim) + " of a drawer of " +
                   Str(static_cast<long long>(rank)) + " dimensions");
}

namespace {

// A standard drawer's recorded sets and chunk sizes against its dataset and the distribution's grid.
void CheckDrawer(const DatabaseRecord& db, const DistributionRecord& dist, const DrawerRecord& drawer) {
  const size_t rank = dist.grid.size();
  CheckDrawerSets(db, dist, drawer);
  if (drawer.serialization != 0)
    QORSIM_DAMAGED("serialization " + Str(drawer.serialization) + " is not a kind this data store reads");
  if (!drawer.chunkSizes.empty()) {
    if (drawer.chunkSizes.size() != rank)
      QORSIM_DAMAGED("the drawer has " + Str(static_cast<long long>(drawer.chunkSizes.size())) + " chunk sizes for " +
                     Str(static_cast<long long>(rank)) + " dimensions");
    for (size_t d = 0; d < rank; ++d)
      if (drawer.chunkSizes[d] <= 0)
        QORSIM_DAMAGED("chunk size " + Str(drawer.chunkSizes[d]) + " of dimension " + Str(static_cast<long long>(d)) +
                       " is not positive");
    if (drawer.storageChunk.empty()) QORSIM_DAMAGED("the drawer records chunk sizes but is stored without chunks");
  }
}

void LoadDrawer(DatabaseRecord& db, DistributionRecord& dist, hid_t group, const std::string& name, int k) {
  WhereScope where(db.path, dist.DrawerPath(k));
  H5Handle ds(QORSIM_H5(H5Dopen2, (group, name.c_str(), H5P_DEFAULT)));
  DrawerRecord drawer;
  drawer.index = k;
  H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
  const int rank = QORSIM_H5(H5Sget_simple_extent_ndims, (space));
  if (rank != static_cast<int>(dist.grid.size()))
    QORSIM_DAMAGED("the drawer has " + Str(rank) + " dimensions, its distribution " +
                   Str(static_cast<long long>(dist.grid.size())));
  drawer.dims.resize(static_cast<size_t>(rank));
  if (rank > 0) QORSIM_H5(H5Sget_simple_extent_dims, (space, drawer.dims.data(), nullptr));
  H5Handle ftype(QORSIM_H5(H5Dget_type, (ds)));
  const H5T_class_t typeClass = QORSIM_H5(H5Tget_class, (ftype));
  if (typeClass != (dist.typeKey == QORSimIntKey ? H5T_INTEGER : H5T_FLOAT))
    QORSIM_DAMAGED(std::string("the drawer's values are not ") + (dist.typeKey == QORSimIntKey ? "integers" : "reals") +
                   " as its distribution's range says");
  drawer.sets = ReadIntsAttr(ds, "sets");
  drawer.serialization = ReadIntAttr(ds, "serialization");
  drawer.extendableDim = ReadIntAttr(ds, "extendable_dim");
  if (HasAttr(ds, "chunk_sizes")) drawer.chunkSizes = ReadIntsAttr(ds, "chunk_sizes");
  H5Handle dcpl(QORSIM_H5(H5Dget_create_plist, (ds)));
  if (QORSIM_H5(H5Pget_layout, (dcpl)) == H5D_CHUNKED) {
    drawer.storageChunk.resize(static_cast<size_t>(rank));
    QORSIM_H5(H5Pget_chunk, (dcpl, rank, drawer.storageChunk.data()));
    drawer.directChunkIo =
        QORSIM_H5(H5Pget_nfilters, (dcpl)) == 0 && QORSIM_H5(H5Tequal, (ftype, MemoryType(dist.typeKey))) > 0;
  }
  drawer.fill.assign(ItemBytes(dist.typeKey), 0);
  H5D_fill_value_t defined;
  QORSIM_H5(H5Pfill_value_defined, (dcpl, &defined));
  if (defined != H5D_FILL_VALUE_UNDEFINED)
    QORSIM_H5(H5Pget_fill_value, (dcpl, MemoryType(dist.typeKey), drawer.fill.data()));
  CheckDrawer(db, dist, drawer);
  dist.drawers.push_back(std::move(drawer));
}

// A serialized drawer keeps its arrays in a group: the attributes every such drawer carries, checked against the
// grid and the sets, then the rest through its kind's code.
void LoadGroupDrawer(DatabaseRecord& db, DistributionRecord& dist, hid_t group, const std::string& name, int k) {
  WhereScope where(db.path, dist.DrawerPath(k));
  H5Handle obj(QORSIM_H5(H5Gopen2, (group, name.c_str(), H5P_DEFAULT)));
  DrawerRecord drawer;
  drawer.index = k;
  ReadSerializedDrawerAttrs(obj, drawer);
  if (drawer.sets.size() != dist.grid.size())
    QORSIM_DAMAGED("the drawer names " + Str(static_cast<long long>(drawer.sets.size())) + " sets for " +
                   Str(static_cast<long long>(dist.grid.size())) + " dimensions");
  for (size_t d = 0; d < drawer.sets.size(); ++d) {
    const CollectionRecord& coll = db.collections.at(dist.grid[d].first);
    auto set = coll.sets.find(drawer.sets[d]);
    drawer.dims.push_back(set == coll.sets.end() ? 0 : static_cast<hsize_t>(set->second.count));
  }
  CheckDrawerSets(db, dist, drawer);
  drawer.fill.assign(ItemBytes(dist.typeKey), 0);
  FindSerializedKind(drawer.serialization, "damaged data-store database: drawer" + DescribeWhere())
      .Load(obj, dist, drawer);
  dist.drawers.push_back(std::move(drawer));
}

// The grid's collections and colours exist, each pair at most once.
void LoadGrid(const DatabaseRecord& db, hid_t g, DistributionRecord& dist) {
  const std::vector<int> colls = ReadIntsAttr(g, "grid_collections");
  const std::vector<int> colors = ReadIntsAttr(g, "grid_colors");
  if (colls.size() != colors.size())
    QORSIM_DAMAGED("the grid names " + Str(static_cast<long long>(colls.size())) + " collections and " +
                   Str(static_cast<long long>(colors.size())) + " colours");
  std::set<std::pair<int, int>> seen;
  for (size_t d = 0; d < colls.size(); ++d) {
    auto coll = db.collections.find(colls[d]);
    if (coll == db.collections.end())
      QORSIM_DAMAGED("grid dimension " + Str(static_cast<long long>(d)) + " names collection " + Str(colls[d]) +
                     ", which is missing");
    if (colors[d] < 0 || !coll->second.HasColor(colors[d]))
      QORSIM_DAMAGED("grid dimension " + Str(static_cast<long long>(d)) + " names colour " + Str(colors[d]) +
                     " of collection '" + coll->second.name + "', which is missing");
    if (!seen.insert({colls[d], colors[d]}).second)
      QORSIM_DAMAGED("the grid names collection '" + coll->second.name + "' twice");
    dist.grid.emplace_back(colls[d], colors[d]);
  }
}

void LoadDistributions(DatabaseRecord& db) {
  H5Handle top(QORSIM_H5(H5Gopen2, (db.file, "/distributions", H5P_DEFAULT)));
  std::vector<int> numbers;
  for (const std::string& name : LinkNames(top)) {
    const int n = NumberAfter(name, "");
    if (n >= 0) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  for (int number : numbers) {
    DistributionRecord dist;
    dist.number = number;
    WhereScope where(db.path, dist.Path());
    H5Handle g(QORSIM_H5(H5Gopen2, (db.file, dist.Path().c_str(), H5P_DEFAULT)));
    db.nextDistribution = std::max(db.nextDistribution, number + 1);
    const int temporary = ReadIntAttr(g, "temporary");
    if (temporary != 0 && temporary != 1) QORSIM_DAMAGED("attribute 'temporary' is " + Str(temporary));
    if (temporary) {
      // Left behind by a process that ended without closing; nobody can name it any more.
      g.Reset();
      if (!db.readOnly) QORSIM_H5(H5Ldelete, (db.file, dist.Path().c_str(), H5P_DEFAULT));
      continue;
    }
    LoadGrid(db, g, dist);
    dist.typeKey = ReadIntAttr(g, "range_type_key");
    if (dist.typeKey != QORSimIntKey && dist.typeKey != QORSimDoubleKey)
      QORSIM_DAMAGED("range type key " + Str(dist.typeKey) + " is neither 2 (ints) nor 4 (doubles)");
    dist.type = ReadIntAttr(g, "type");
    std::vector<std::pair<int, std::string>> drawers;
    for (const std::string& name : LinkNames(g)) {
      const int k = NumberAfter(name, "drawer");
      if (k >= 0) drawers.emplace_back(k, name);
    }
    std::sort(drawers.begin(), drawers.end());
    // Drawers are objects of their own or rows of the element pool; together they number 0, 1, 2, … once each.
    std::vector<std::pair<int, DrawerRecord>> pooled;
    LoadElementPool(db, g, dist, pooled);
    std::sort(pooled.begin(), pooled.end(),
              [](const std::pair<int, DrawerRecord>& a, const std::pair<int, DrawerRecord>& b) {
                return a.first < b.first;
              });
    size_t nextObject = 0, nextPooled = 0;
    for (int k = 0; nextObject < drawers.size() || nextPooled < pooled.size(); ++k) {
      if ((nextObject < drawers.size() && drawers[nextObject].first < k) ||
          (nextPooled < pooled.size() && pooled[nextPooled].first < k))
        QORSIM_DAMAGED("drawer " + Str(k - 1) + " is stored twice");
      const bool object = nextObject < drawers.size() && drawers[nextObject].first == k;
      const bool row = nextPooled < pooled.size() && pooled[nextPooled].first == k;
      if (object && row) QORSIM_DAMAGED("drawer " + Str(k) + " is both an object and a row of the element pool");
      if (!object && !row) QORSIM_DAMAGED("drawer " + Str(k) + " is missing");
      if (row) {
        dist.drawers.push_back(std::move(pooled[nextPooled++].second));
        continue;
      }
      const std::string& name = drawers[nextObject++].second;
      H5O_info_t info;
      QORSIM_H5(H5Oget_info_by_name2, (g, name.c_str(), &info, H5O_INFO_BASIC, H5P_DEFAULT));
      if (info.type == H5O_TYPE_GROUP)
        LoadGroupDrawer(db, dist, g, name, k);
      else
        LoadDrawer(db, dist, g, name, k);
    }
    db.distributions[number] = std::move(dist);
  }
}

}  // namespace

void LoadDatabase(DatabaseRecord& db) {
  LoadCollections(db);
  LoadDistributions(db);
}

}  // namespace qorsim
