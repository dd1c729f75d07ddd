// QORSimRegistry: the open databases and their records, look-ups by identifier, collections and sets.
#define QORSIM_INSIDE_STORE
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "QORSimLayout.h"

namespace qorsim {

namespace {

constexpr size_t kVolatileSetsKept = 64;

// The registry and the lock are never destroyed: a client's static object may still close its
// database while the process exits, after this file's statics would otherwise be gone.
std::map<int, std::unique_ptr<DatabaseRecord>>& Databases() {
  static auto* databases = new std::map<int, std::unique_ptr<DatabaseRecord>>();
  return *databases;
}
int g_nextContext = 0;

}  // namespace

void CloseAllDatabases() {
  StoreLock lock(StoreMutex());
  while (!Databases().empty()) CloseDatabase(Databases().begin()->first);
}

// ---------------------------------------------------------------------------------------------------------------
// Position index.

int PositionIndex::Find(int ordinal) const {
  if (!table.empty()) {
    const long long k = static_cast<long long>(ordinal) - base;
    return (k >= 0 && k < static_cast<long long>(table.size())) ? table[static_cast<size_t>(k)] : -1;
  }
  auto it = std::lower_bound(sorted.begin(), sorted.end(), std::make_pair(ordinal, -1));
  return (it != sorted.end() && it->first == ordinal) ? it->second : -1;
}

bool CollectionRecord::HasColor(int color) const {
  return color == 0 || std::binary_search(colors.begin(), colors.end(), color);
}

namespace {

std::string FileSizeText(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? std::to_string(static_cast<long long>(st.st_size)) + " bytes" : "unknown size";
}

DatabaseRecord& Register(std::unique_ptr<DatabaseRecord> db) {
  db->context = g_nextContext++;
  DatabaseRecord& ref = *db;
  Databases()[ref.context] = std::move(db);
  return ref;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Databases.

DatabaseRecord& CreateDatabase(const std::string& path, bool inMemory) {
  auto db = std::make_unique<DatabaseRecord>();
  db->path = path;
  db->inMemory = inMemory;
  WhereScope where(path, "");
  std::string fileName = path;
  // The core driver identifies open images by name; keep in-memory databases apart.
  if (inMemory) fileName = "qorsim-memory-" + std::to_string(g_nextContext) + "-" + path;
  H5Handle fapl = FileAccessList(inMemory);
  H5Eclear2(H5E_DEFAULT);
  db->file = H5Fcreate(fileName.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, fapl);
  if (db->file < 0) {
    const int err = errno;
    QORSIM_FAIL("cannot create data-store database '" + path +
                "': " + (err ? std::string(std::strerror(err)) : std::string("HDF5 refused")) + Hdf5ErrorText());
  }
  WriteDatabaseHeader(*db);
  if (!inMemory) db->rawFd = RawFileDescriptor(db->file);
  return Register(std::move(db));
}

DatabaseRecord& OpenDatabase(const std::string& path, bool readOnly) {
  StartHdf5();
  const std::string what = "cannot open data-store database '" + path + "': ";
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const int err = errno;
    QORSIM_FAIL(what + (err == ENOENT ? std::string("the file does not exist") : std::string(std::strerror(err))));
  }
  if (!S_ISREG(st.st_mode)) QORSIM_FAIL(what + "it is not a regular file");
  if (access(path.c_str(), readOnly ? R_OK : R_OK | W_OK) != 0) {
    const int err = errno;
    QORSIM_FAIL(what + std::strerror(err) + (readOnly ? "" : " (it was opened for writing)"));
  }
  htri_t isHdf5;
  {
    StoreLock lock(StoreMutex());
    isHdf5 = H5Fis_hdf5(path.c_str());
    H5Eclear2(H5E_DEFAULT);
  }
  if (isHdf5 <= 0)
    QORSIM_FAIL(what + "it is not an HDF5 file (no HDF5 signature in its " + FileSizeText(path) +
                "); it is empty, truncated before its header, or some other kind of file");
  auto db = std::make_unique<DatabaseRecord>();
  db->path = path;
  db->readOnly = readOnly;
  {
    StoreLock lock(StoreMutex());
    H5Handle fapl = FileAccessList(false);
    H5Eclear2(H5E_DEFAULT);
    db->file = H5Fopen(path.c_str(), readOnly ? H5F_ACC_RDONLY : H5F_ACC_RDWR, fapl);
    if (db->file < 0) {
      const std::string stack = Hdf5ErrorText();
      if (stack.find("truncated") != std::string::npos)
        QORSIM_FAIL(what + "the file is truncated (it holds " + FileSizeText(path) +
                    ", less than its HDF5 header records):" + stack);
      QORSIM_FAIL(what + "HDF5 cannot read it (damaged or unsupported):" + stack);
    }
  }
  // A refusal that a fuzz harness's failure hook turns into an exception must not leave the file open.
  struct CloseUnlessRegistered {
    DatabaseRecord* db;
    ~CloseUnlessRegistered() {
      if (!db || db->file < 0) return;
      StoreLock lock(StoreMutex());
      H5Fclose(db->file);
    }
  } guard{db.get()};
  WhereScope where(path, "/");
  if (!HasAttr(db->file, "qorsim_format") || ReadStringAttr(db->file, "qorsim_format") != kFormatName) {
    QORSIM_FAIL(what + "it is an HDF5 file but not a data-store database (no qorsim_format attribute)");
  }
  const int version = ReadIntAttr(db->file, "qorsim_version");
  if (version != kFormatVersion) {
    QORSIM_FAIL(what + "its store format version is " + std::to_string(version) + ", this store reads " +
                std::to_string(kFormatVersion));
  }
  if (HasAttr(db->file, "open_for_writing") && ReadIntAttr(db->file, "open_for_writing") != 0) {
    // Like a hot journal: the last writer neither committed nor closed. Its values since its last commit may have
    // been lost (they would read as the initialisation value); say so, and keep the mark until this writer commits.
    db->closedCleanly = false;
    db->markedOpen = !readOnly;
    std::fprintf(stderr,
                 "Warning: data-store database '%s' was not closed cleanly: it was still open for writing when its "
                 "last writer ended, so values written after that writer's last commit may read as the "
                 "initialisation value\n",
                 path.c_str());
  }
  LoadDatabase(*db);
  db->rawFd = RawFileDescriptor(db->file);
  guard.db = nullptr;
  return Register(std::move(db));
}

void FlushDatabase(DatabaseRecord& db) {
  WhereScope where(db.path, "");
  if (db.readOnly) return;
  FlushPools(db);
  QORSIM_H5(H5Fflush, (db.file, H5F_SCOPE_LOCAL));
  MarkOpenForWriting(db, false);  // only once the values it guarded are in the file
}

void CloseDatabase(int context) {
  auto it = Databases().find(context);
  if (it == Databases().end()) return;
  DatabaseRecord& db = *it->second;
  WhereScope where(db.path, "");
  if (!db.readOnly) FlushPools(db);
  for (auto& entry : db.distributions) {
    ResetDrawerDatasets(entry.second);
    if (entry.second.temporary && !db.readOnly)
      QORSIM_H5(H5Ldelete, (db.file, entry.second.Path().c_str(), H5P_DEFAULT));
  }
  if (db.markedOpen) {
    QORSIM_H5(H5Fflush, (db.file, H5F_SCOPE_LOCAL));
    MarkOpenForWriting(db, false);
  }
  QORSIM_H5(H5Fclose, (db.file));
  Databases().erase(it);
}

DatabaseRecord& Database(const QORSimContextID& context) {
  auto it = Databases().find(context.Number());
  if (context.IsNull() || it == Databases().end())
    QORSIM_FAIL("data-store context " + std::to_string(context.Number()) +
                " is not an open database (a null identifier, or its database was closed)");
  return *it->second;
}

DatabaseRecord& WritableDatabase(const QORSimContextID& context, const char* what) {
  DatabaseRecord& db = Database(context);
  if (db.readOnly)
    QORSIM_FAIL(std::string("cannot ") + what + " in data-store database '" + db.path + "': it was opened read-only");
  MarkOpenForWriting(db, true);
  return db;
}

// ---------------------------------------------------------------------------------------------------------------
// Lookups.

CollectionRecord& Collection(const QORSimCollectionID& id) {
  if (id.IsNull()) QORSIM_FAIL("a null collection identifier was used");
  DatabaseRecord& db = Database(id.ContextID());
  auto it = db.collections.find(id.Number());
  if (it == db.collections.end())
    QORSIM_FAIL("collection " + std::to_string(id.Number()) + " does not exist in data-store database '" + db.path +
                "'");
  if (!it->second.HasColor(id.Color()))
    QORSIM_FAIL("colour " + std::to_string(id.Color()) + " of " + Describe(id) +
                " does not exist (CreateColorVariant makes it)");
  return it->second;
}

SetRecord& Set(const QORSimCSetID& id) {
  if (id.IsNull()) QORSIM_FAIL("a null collection-set identifier was used");
  CollectionRecord& coll = Collection(id.CollectionID());
  auto it = coll.sets.find(id.Number());
  if (it == coll.sets.end()) QORSIM_FAIL(Describe(id) + " does not exist");
  if (it->second.expired)
    QORSIM_FAIL(Describe(id) + " was a volatile set and has been forgotten (the collection keeps the " +
                std::to_string(kVolatileSetsKept) + " most recent ones); use a temporary set to keep it longer");
  return it->second;
}

DistributionRecord& Distribution(const QORSimDistributionID& id) {
  if (id.IsNull()) QORSIM_FAIL("a null distribution identifier was used");
  DatabaseRecord& db = Database(id.ContextID());
  auto it = db.distributions.find(id.Number());
  if (it == db.distributions.end())
    QORSIM_FAIL("distribution " + std::to_string(id.Number()) + " does not exist in data-store database '" + db.path +
                "'");
  return it->second;
}

DrawerRecord& Drawer(DistributionRecord& dist, int index, const QORSimDistributionID& id) {
  if (index < 0 || index >= static_cast<int>(dist.drawers.size()))
    QORSIM_FAIL(Describe(id) + " has no drawer " + std::to_string(index) + " (it has " +
                std::to_string(dist.drawers.size()) + ")");
  return dist.drawers[static_cast<size_t>(index)];
}

std::string Describe(const QORSimCollectionID& id) {
  auto it = Databases().find(id.ContextID().Number());
  if (it == Databases().end()) return "collection " + std::to_string(id.Number());
  auto c = it->second->collections.find(id.Number());
  std::string text =
      "collection '" + (c == it->second->collections.end() ? std::to_string(id.Number()) : c->second.name) + "'";
  if (id.Color() != 0) text += " (colour " + std::to_string(id.Color()) + ")";
  return text + " of '" + it->second->path + "'";
}

std::string Describe(const QORSimCSetID& id) {
  return "set " + std::to_string(id.Number()) + " of " + Describe(id.CollectionID());
}

std::string Describe(const QORSimDistributionID& id) {
  auto it = Databases().find(id.ContextID().Number());
  return "distribution " + std::to_string(id.Number()) +
         (it == Databases().end() ? std::string() : " of '" + it->second->path + "'");
}

// ---------------------------------------------------------------------------------------------------------------
// Collections and sets.

CollectionRecord& NewCollection(DatabaseRecord& db, int size, int type, const char* name) {
  WritableDatabase(QORSimContextID(db.context), "create a collection");
  if (size < 0) QORSIM_FAIL("a collection cannot have " + std::to_string(size) + " members");
  CollectionRecord coll;
  coll.number = db.nextCollection++;
  coll.size = size;
  coll.type = type;
  coll.name = name ? name : "collection" + std::to_string(coll.number);
  if (coll.name.empty() || coll.name.find_first_of("/.") != std::string::npos)
    QORSIM_FAIL("collection name '" + coll.name + "' is empty or holds '/' or '.'");
  for (const auto& entry : db.collections)
    if (entry.second.name == coll.name)
      QORSIM_FAIL("data-store database '" + db.path + "' already has a collection named '" + coll.name + "'");
  WhereScope where(db.path, coll.Path());
  H5Handle g(QORSIM_H5(H5Gcreate2, (db.file, coll.Path().c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
  H5Handle(QORSIM_H5(H5Gcreate2, (g, "sets", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
  WriteIntsAttr(g, "number", {coll.number});
  WriteIntsAttr(g, "size", {coll.size});
  WriteIntsAttr(g, "type", {coll.type});
  WriteIntsAttr(g, "colors", {0});
  WriteIntsAttr(g, "biggest_set", {-1});
  const int number = coll.number;
  return db.collections[number] = std::move(coll);
}

QORSimCSetID NewOrderedSet(const QORSimCollectionID& id, const int* ordinals, int count, SetKind kind) {
  if (count < 0 || (count > 0 && !ordinals))
    QORSIM_FAIL("a set of " + std::to_string(count) + " ordinals needs an array of them (" + Describe(id) + ")");
  CollectionRecord& coll = Collection(id);
  DatabaseRecord& db =
      kind == SetKind::PERSISTENT ? WritableDatabase(id.ContextID(), "create a set") : Database(id.ContextID());
  SetRecord set;
  set.number = coll.nextSet++;
  set.kind = kind;
  set.count = count;
  set.ordinals.assign(ordinals, ordinals + count);
  if (kind == SetKind::PERSISTENT) WriteSetDataset(db, coll, set);
  const int number = set.number;
  coll.sets[number] = std::move(set);
  if (kind == SetKind::VOLATILE) {
    coll.volatileSets.push_back(number);
    while (coll.volatileSets.size() > kVolatileSetsKept) {
      SetRecord& old = coll.sets[coll.volatileSets.front()];
      if (old.kind == SetKind::VOLATILE) {
        old.expired = true;
        std::vector<int>().swap(old.ordinals);
        old.index.reset();
      }
      coll.volatileSets.pop_front();
    }
  }
  return QORSimCSetID(id, number);
}

QORSimCSetID NewStridedSet(const QORSimCollectionID& id, int start, int count, int step, SetKind kind) {
  if (count < 0) QORSIM_FAIL("a strided set cannot have " + std::to_string(count) + " members (" + Describe(id) + ")");
  if (step == 0 && count > 1)
    QORSIM_FAIL("a strided set of " + std::to_string(count) + " members needs a non-zero step");
  const long long last = static_cast<long long>(start) + static_cast<long long>(count > 0 ? count - 1 : 0) * step;
  if (last > 2147483647LL || last < -2147483647LL - 1) QORSIM_FAIL("the strided set runs past the int range");
  CollectionRecord& coll = Collection(id);
  SetRecord set;
  set.number = coll.nextSet++;
  set.kind = kind;
  set.strided = true;
  set.start = start;
  set.count = count;
  set.step = step == 0 ? 1 : step;
  if (kind == SetKind::PERSISTENT) WriteSetDataset(WritableDatabase(id.ContextID(), "create a set"), coll, set);
  const int number = set.number;
  coll.sets[number] = std::move(set);
  return QORSimCSetID(id, number);
}

void AddColor(const QORSimCollectionID& id, int color) {
  if (color < 1) QORSIM_FAIL("colour variants are numbered from 1, not " + std::to_string(color));
  CollectionRecord& coll = Collection(id.AltColor(0));
  if (coll.HasColor(color)) return;
  WritableDatabase(id.ContextID(), "create a colour variant");
  coll.colors.insert(std::upper_bound(coll.colors.begin(), coll.colors.end(), color), color);
  WriteCollectionAttrs(Database(id.ContextID()), coll);
}

QORSimCSetID BiggestSet(const QORSimCollectionID& id) {
  CollectionRecord& coll = Collection(id);
  if (coll.biggestSet < 0) {
    // A read-only database cannot record it: there it is a temporary set, made again after the next open.
    const bool readOnly = Database(id.ContextID()).readOnly;
    coll.biggestSet = NewStridedSet(id, 0, coll.size, 1, readOnly ? SetKind::TEMPORARY : SetKind::PERSISTENT).Number();
    if (!readOnly) WriteCollectionAttrs(Database(id.ContextID()), coll);
  }
  return QORSimCSetID(id, coll.biggestSet);
}

SetRecord& LoadedSet(const QORSimCSetID& id) {
  SetRecord& set = Set(id);
  if (!set.loaded) {
    CollectionRecord& coll = Collection(id.CollectionID());
    DatabaseRecord& db = Database(id.ContextID());
    const std::string path = coll.Path() + "/sets/" + std::to_string(set.number);
    WhereScope where(db.path, path);
    H5Handle ds(QORSIM_H5(H5Dopen2, (db.file, path.c_str(), H5P_DEFAULT)));
    set.ordinals.resize(static_cast<size_t>(set.count));
    if (set.count) QORSIM_H5(H5Dread, (ds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, set.ordinals.data()));
    set.loaded = true;
  }
  return set;
}

void MakePersistent(const QORSimCSetID& id) {
  SetRecord& set = LoadedSet(id);
  if (set.kind == SetKind::PERSISTENT) return;
  WritableDatabase(id.ContextID(), "keep a set");
  set.kind = SetKind::PERSISTENT;
  CollectionRecord& coll = Collection(id.CollectionID());
  auto v = std::find(coll.volatileSets.begin(), coll.volatileSets.end(), set.number);
  if (v != coll.volatileSets.end()) coll.volatileSets.erase(v);
  WriteSetDataset(Database(id.ContextID()), coll, set);
}

void SetInFile(const QORSimCSetID& id) {
  const SetRecord& set = Set(id);
  if (set.kind != SetKind::PERSISTENT || set.number < kSetsOwnDataset) return;
  FlushSetPool(Database(id.ContextID()), Collection(id.CollectionID().AltColor(0)));
}

const PositionIndex& IndexOf(const QORSimCSetID& id) {
  SetRecord& set = LoadedSet(id);
  if (set.index) return *set.index;
  auto index = std::make_shared<PositionIndex>();
  if (set.strided) {
    // Strided sets never repeat (step 0 only with one member); an explicit table keeps Find uniform.
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(static_cast<size_t>(set.count));
    for (int k = 0; k < set.count; ++k) pairs.emplace_back(set.Ordinal(k), k);
    std::sort(pairs.begin(), pairs.end());
    index->sorted = std::move(pairs);
  } else {
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(set.ordinals.size());
    for (int k = 0; k < set.count; ++k) pairs.emplace_back(set.ordinals[static_cast<size_t>(k)], k);
    std::sort(pairs.begin(), pairs.end());
    for (size_t i = 1; i < pairs.size(); ++i)
      if (pairs[i].first == pairs[i - 1].first)
        QORSIM_FAIL(Describe(id) + " holds ordinal " + std::to_string(pairs[i].first) +
                    " twice; a set that indexes a drawer dimension must not repeat an ordinal");
    index->sorted = std::move(pairs);
  }
  // A dense table when the ordinals are packed closely enough: one lookup per ordinal instead of a search.
  if (!index->sorted.empty()) {
    const long long lo = index->sorted.front().first, hi = index->sorted.back().first;
    const long long span = hi - lo + 1;
    if (span <= 4 * static_cast<long long>(index->sorted.size()) + 1024) {
      index->base = static_cast<int>(lo);
      index->table.assign(static_cast<size_t>(span), -1);
      for (const auto& p : index->sorted) index->table[static_cast<size_t>(p.first - lo)] = p.second;
      std::vector<std::pair<int, int>>().swap(index->sorted);
    }
  }
  set.index = std::move(index);
  return *set.index;
}

}  // namespace qorsim
