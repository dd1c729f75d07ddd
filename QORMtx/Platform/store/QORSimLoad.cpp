// QORSimLoad: reading an existing database's objects into the registry's records at open.
#define QORSIM_INSIDE_STORE
#include <algorithm>

#include "QORSimLayout.h"

namespace qorsim {

namespace {

void LoadCollections(DatabaseRecord& db) {
  H5Handle top(QORSIM_H5(H5Gopen2, (db.file, "/collections", H5P_DEFAULT)));
  for (const std::string& name : LinkNames(top)) {
    CollectionRecord coll;
    coll.name = name;
    WhereScope where(db.path, coll.Path());
    H5Handle g(QORSIM_H5(H5Gopen2, (top, name.c_str(), H5P_DEFAULT)));
    coll.number = ReadIntAttr(g, "number");
    coll.size = ReadIntAttr(g, "size");
    coll.type = ReadIntAttr(g, "type");
    coll.biggestSet = ReadIntAttr(g, "biggest_set");
    for (int c : ReadIntsAttr(g, "colors"))
      if (c > 0) coll.colors.push_back(c);
    std::sort(coll.colors.begin(), coll.colors.end());
    H5Handle sets(QORSIM_H5(H5Gopen2, (g, "sets", H5P_DEFAULT)));
    for (const std::string& setName : LinkNames(sets)) {
      const int number = NumberAfter(setName, "");
      if (number < 0) continue;
      WhereScope setWhere(db.path, coll.Path() + "/sets/" + setName);
      H5Handle ds(QORSIM_H5(H5Dopen2, (sets, setName.c_str(), H5P_DEFAULT)));
      H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
      const hssize_t n = QORSIM_H5(H5Sget_simple_extent_npoints, (space));
      SetRecord set;
      set.number = number;
      if (ReadStringAttr(ds, "kind") == "strided") {
        if (n != 3) QORSIM_FAIL("a strided set must hold start, count and step" + DescribeWhere());
        int v[3];
        QORSIM_H5(H5Dread, (ds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, v));
        set.strided = true;
        set.start = v[0];
        set.count = v[1];
        set.step = v[2];
      } else {
        set.count = static_cast<int>(n);
        set.loaded = false;
      }
      coll.nextSet = std::max(coll.nextSet, number + 1);
      coll.sets[number] = std::move(set);
    }
    db.nextCollection = std::max(db.nextCollection, coll.number + 1);
    const int number = coll.number;
    if (db.collections.count(number))
      QORSIM_FAIL("two collections carry number " + std::to_string(number) + DescribeWhere());
    db.collections[number] = std::move(coll);
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
    QORSIM_FAIL("the drawer has " + std::to_string(rank) + " dimensions, its distribution " +
                std::to_string(dist.grid.size()) + DescribeWhere());
  drawer.dims.resize(static_cast<size_t>(rank));
  if (rank > 0) QORSIM_H5(H5Sget_simple_extent_dims, (space, drawer.dims.data(), nullptr));
  drawer.sets = ReadIntsAttr(ds, "sets");
  drawer.serialization = ReadIntAttr(ds, "serialization");
  drawer.extendableDim = ReadIntAttr(ds, "extendable_dim");
  if (HasAttr(ds, "chunk_sizes")) drawer.chunkSizes = ReadIntsAttr(ds, "chunk_sizes");
  H5Handle dcpl(QORSIM_H5(H5Dget_create_plist, (ds)));
  if (QORSIM_H5(H5Pget_layout, (dcpl)) == H5D_CHUNKED) {
    drawer.storageChunk.resize(static_cast<size_t>(rank));
    QORSIM_H5(H5Pget_chunk, (dcpl, rank, drawer.storageChunk.data()));
    H5Handle ftype(QORSIM_H5(H5Dget_type, (ds)));
    drawer.directChunkIo =
        QORSIM_H5(H5Pget_nfilters, (dcpl)) == 0 && QORSIM_H5(H5Tequal, (ftype, MemoryType(dist.typeKey))) > 0;
  }
  drawer.fill.assign(ItemBytes(dist.typeKey), 0);
  H5D_fill_value_t defined;
  QORSIM_H5(H5Pfill_value_defined, (dcpl, &defined));
  if (defined != H5D_FILL_VALUE_UNDEFINED)
    QORSIM_H5(H5Pget_fill_value, (dcpl, MemoryType(dist.typeKey), drawer.fill.data()));
  if (drawer.sets.size() != drawer.dims.size())
    QORSIM_FAIL("the drawer's sets do not match its dimensions" + DescribeWhere());
  dist.drawers.push_back(std::move(drawer));
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
    if (ReadIntAttr(g, "temporary")) {
      // Left behind by a process that ended without closing; nobody can name it any more.
      g.Reset();
      if (!db.readOnly) QORSIM_H5(H5Ldelete, (db.file, dist.Path().c_str(), H5P_DEFAULT));
      continue;
    }
    const std::vector<int> colls = ReadIntsAttr(g, "grid_collections");
    const std::vector<int> colors = ReadIntsAttr(g, "grid_colors");
    if (colls.size() != colors.size()) QORSIM_FAIL("the grid attributes disagree" + DescribeWhere());
    for (size_t d = 0; d < colls.size(); ++d) dist.grid.emplace_back(colls[d], colors[d]);
    dist.typeKey = ReadIntAttr(g, "range_type_key");
    dist.type = ReadIntAttr(g, "type");
    std::vector<std::pair<int, std::string>> drawers;
    for (const std::string& name : LinkNames(g)) {
      const int k = NumberAfter(name, "drawer");
      if (k >= 0) drawers.emplace_back(k, name);
    }
    std::sort(drawers.begin(), drawers.end());
    for (size_t i = 0; i < drawers.size(); ++i) {
      if (drawers[i].first != static_cast<int>(i))
        QORSIM_FAIL("drawer " + std::to_string(i) + " is missing" + DescribeWhere());
      LoadDrawer(db, dist, g, drawers[i].second, drawers[i].first);
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
