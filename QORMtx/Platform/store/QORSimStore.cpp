// QORSimStore: registry of open databases, the HDF5 lock and checked calls, and the file layout:
//   /                                    attributes qorsim_format, qorsim_version
//   /collections/<name>                  attributes number, size, type, colors, biggest_set
//   /collections/<name>/sets/<number>    int dataset: the ordinals (kind "ordered") or start, count, step ("strided")
//   /distributions/<number>              attributes grid, grid_collections, grid_colors, range_type_key, type,
//   temporary /distributions/<number>/drawer<k>    the values; attributes sets, serialization, extendable_dim,
//   chunk_sizes
#include "QORSimStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "QORSimUttAssert.h"

namespace qorsim {

namespace {

constexpr const char* kFormatName = "QORSim data store";
constexpr int kFormatVersion = 1;
constexpr size_t kVolatileSetsKept = 64;
constexpr size_t kCompactSetLimit = 8192;              // ordinals stored in the object header below this
constexpr uint64_t kInternalChunkBytes = 64ull << 20;  // chunking of an unchunked drawer that must grow
constexpr uint64_t kMaxChunkBytes = 0xFFFFFFFFull;     // HDF5 limit on one chunk

// The registry and the lock are never destroyed: a client's static object may still close its
// database while the process exits, after this file's statics would otherwise be gone.
std::map<int, std::unique_ptr<DatabaseRecord>>& Databases() {
  static auto* databases = new std::map<int, std::unique_ptr<DatabaseRecord>>();
  return *databases;
}
int g_nextContext = 0;
std::atomic<ChunkPath> g_chunkPathLimit{ChunkPath::RAW_FILE};

thread_local const WhereScope* t_where = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Lock, start-up, failures.

std::recursive_mutex& StoreMutex() {
  static auto* mutex = new std::recursive_mutex();
  return *mutex;
}

namespace {
// Registered after H5open, so it runs before HDF5 shuts itself down: every database still open
// at exit is closed (and so flushed) while HDF5 can still do it. Nothing written is lost.
void CloseAllDatabasesAtExit() {
  StoreLock lock(StoreMutex());
  while (!Databases().empty()) CloseDatabase(Databases().begin()->first);
}
}  // namespace

void StartHdf5() {
  static std::once_flag once;
  std::call_once(once, [] {
    H5open();
    // The store reports failures itself, naming the database; HDF5's own printing would only add noise.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    std::atexit(CloseAllDatabasesAtExit);
  });
}

WhereScope::WhereScope(const std::string& database, const std::string& object)
    : m_outer(t_where), m_database(database), m_object(object) {
  t_where = this;
}

WhereScope::~WhereScope() { t_where = m_outer; }

std::string DescribeWhere() {
  if (!t_where) return "";
  std::string text = " on data-store database '" + t_where->m_database + "'";
  if (!t_where->m_object.empty()) text += ", object '" + t_where->m_object + "'";
  return text;
}

namespace {
herr_t CollectError(unsigned /*n*/, const H5E_error2_t* err, void* data) {
  auto* lines = static_cast<std::vector<std::string>*>(data);
  char minor[160] = "";
  H5Eget_msg(err->min_num, nullptr, minor, sizeof minor);
  std::string line = std::string(err->func_name ? err->func_name : "?") + ": " + (err->desc ? err->desc : "");
  if (minor[0]) line += std::string(" (") + minor + ")";
  lines->push_back(line);
  return 0;
}
}  // namespace

std::string Hdf5ErrorText() {
  std::vector<std::string> lines;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD, CollectError, &lines);
  H5Eclear2(H5E_DEFAULT);
  // The call that failed, then the innermost causes, which say what the system refused (errno and its text).
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == 1 && lines.size() > 6) {
      text += "\n  …";
      i = lines.size() - 4;
    }
    text += "\n  " + lines[i];
  }
  return text;
}

void Hdf5Failure(const char* routine, const char* file, int line) {
  std::string message = std::string("HDF5 call ") + routine + " failed" + DescribeWhere() + ":" + Hdf5ErrorText();
  QORSimUttAssert::ReportValidationFailure(message.c_str(), file, line);
}

void Fail(const std::string& message, const char* file, int line) {
  QORSimUttAssert::ReportValidationFailure(message.c_str(), file, line);
}

void H5Handle::Reset() {
  if (m_id >= 0) {
    QORSIM_H5(H5Idec_ref, (m_id));
    m_id = -1;
  }
}

namespace {
IoCounters g_counters;
}
IoCounters Counters() {
  StoreLock lock(StoreMutex());
  return g_counters;
}
void ResetCounters() {
  StoreLock lock(StoreMutex());
  g_counters = IoCounters();
}
void Count(uint64_t IoCounters::*field) {
  StoreLock lock(StoreMutex());
  ++(g_counters.*field);
}

void SetChunkPathLimit(ChunkPath limit) { g_chunkPathLimit = limit; }
ChunkPath ChunkPathLimit() { return g_chunkPathLimit; }

hid_t MemoryType(int typeKey) { return typeKey == QORSimIntKey ? H5T_NATIVE_INT : H5T_NATIVE_DOUBLE; }
size_t ItemBytes(int typeKey) { return typeKey == QORSimIntKey ? 4 : 8; }

namespace {
// Values are stored little-endian whatever the machine; on the usual hosts that is the memory layout, which lets
// whole chunks move without conversion.
hid_t FileType(int typeKey) { return typeKey == QORSimIntKey ? H5T_STD_I32LE : H5T_IEEE_F64LE; }
}  // namespace

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

// ---------------------------------------------------------------------------------------------------------------
// Attribute and link helpers (call with a WhereScope naming the object).

namespace {

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
  H5G_info_t info;
  QORSIM_H5(H5Gget_info, (group, &info));
  std::vector<std::string> names;
  for (hsize_t i = 0; i < info.nlinks; ++i) {
    const ssize_t len =
        QORSIM_H5(H5Lget_name_by_idx, (group, ".", H5_INDEX_NAME, H5_ITER_INC, i, nullptr, 0, H5P_DEFAULT));
    std::string name(static_cast<size_t>(len) + 1, '\0');
    QORSIM_H5(H5Lget_name_by_idx, (group, ".", H5_INDEX_NAME, H5_ITER_INC, i, &name[0], name.size(), H5P_DEFAULT));
    name.resize(static_cast<size_t>(len));
    names.push_back(name);
  }
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

// ---------------------------------------------------------------------------------------------------------------
// Loading an existing file.

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

void WriteSetDataset(DatabaseRecord& db, const CollectionRecord& coll, const SetRecord& set) {
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

void WriteCollectionAttrs(DatabaseRecord& db, const CollectionRecord& coll) {
  WhereScope where(db.path, coll.Path());
  H5Handle g(QORSIM_H5(H5Gopen2, (db.file, coll.Path().c_str(), H5P_DEFAULT)));
  std::vector<int> colors{0};
  colors.insert(colors.end(), coll.colors.begin(), coll.colors.end());
  WriteIntsAttr(g, "colors", colors);
  WriteIntsAttr(g, "biggest_set", {coll.biggestSet});
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
  WriteStringAttr(db->file, "qorsim_format", kFormatName);
  WriteIntsAttr(db->file, "qorsim_version", {kFormatVersion});
  H5Handle(QORSIM_H5(H5Gcreate2, (db->file, "/collections", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
  H5Handle(QORSIM_H5(H5Gcreate2, (db->file, "/distributions", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
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
  WhereScope where(path, "/");
  if (!HasAttr(db->file, "qorsim_format") || ReadStringAttr(db->file, "qorsim_format") != kFormatName) {
    QORSIM_H5(H5Fclose, (db->file));
    QORSIM_FAIL(what + "it is an HDF5 file but not a data-store database (no qorsim_format attribute)");
  }
  const int version = ReadIntAttr(db->file, "qorsim_version");
  if (version != kFormatVersion) {
    QORSIM_H5(H5Fclose, (db->file));
    QORSIM_FAIL(what + "its store format version is " + std::to_string(version) + ", this store reads " +
                std::to_string(kFormatVersion));
  }
  LoadCollections(*db);
  LoadDistributions(*db);
  db->rawFd = RawFileDescriptor(db->file);
  return Register(std::move(db));
}

void FlushDatabase(DatabaseRecord& db) {
  WhereScope where(db.path, "");
  if (!db.readOnly) QORSIM_H5(H5Fflush, (db.file, H5F_SCOPE_LOCAL));
}

void CloseDatabase(int context) {
  auto it = Databases().find(context);
  if (it == Databases().end()) return;
  DatabaseRecord& db = *it->second;
  WhereScope where(db.path, "");
  for (auto& entry : db.distributions) {
    ResetDrawerDatasets(entry.second);
    if (entry.second.temporary && !db.readOnly)
      QORSIM_H5(H5Ldelete, (db.file, entry.second.Path().c_str(), H5P_DEFAULT));
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
  drawer.cacheDirty = drawer.cacheUsed = false;
  return DrawerDataset(id, dist, drawer);
}

void ResetDrawerDatasets(DistributionRecord& dist) {
  for (DrawerRecord& drawer : dist.drawers) {
    if (drawer.dataset >= 0) {
      QORSIM_H5(H5Dclose, (drawer.dataset));  // writes back the chunk cache
      drawer.dataset = -1;
      drawer.cacheDirty = drawer.cacheUsed = false;
    }
  }
}

}  // namespace qorsim
