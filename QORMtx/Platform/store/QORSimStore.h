// QORSimStore: the store's inner workings: the registry of open databases, their records, the one process-wide
// HDF5 lock and the checked HDF5 call. Included only by the store's own sources (they define QORSIM_INSIDE_STORE);
// the library sees the store through QORSim.h.
#pragma once
#ifndef QORSIM_INSIDE_STORE
#error "QORSimStore.h is internal to the data store"
#endif
#include <hdf5.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "QORSimCounters.h"
#include "QORSimIDs.h"

namespace qorsim {

// ---------------------------------------------------------------------------------------------------------------
// Lock and checked HDF5 calls.
// HDF5 (serial build) is not thread-safe: every HDF5 call and every access to the registry happens under this
// one recursive lock. Transfers release it while they pack buffers.

std::recursive_mutex& StoreMutex();
using StoreLock = std::lock_guard<std::recursive_mutex>;

/// \brief Turns off HDF5's automatic error printing (once per process); every checked call runs it first.
void StartHdf5();

/// \brief What a failing HDF5 call was working on, named in its message. Scopes nest per thread.
class WhereScope {
 public:
  WhereScope(const std::string& database, const std::string& object);
  ~WhereScope();
  WhereScope(const WhereScope&) = delete;
  WhereScope& operator=(const WhereScope&) = delete;

 private:
  const WhereScope* m_outer;
  std::string m_database;
  std::string m_object;
  friend std::string DescribeWhere();
};
std::string DescribeWhere();

/// \brief The HDF5 error stack as text (innermost cause last), and clears it.
std::string Hdf5ErrorText();

/// \brief Reports a failed HDF5 call: the routine, the database and object, the HDF5 error stack. Never returns.
[[noreturn]] void Hdf5Failure(const char* routine, const char* file, int line);

/// \brief Reports a store failure (misuse, bad file) with a composed text. Never returns.
[[noreturn]] void Fail(const std::string& message, const char* file, int line);

/// \brief HDF5's failure value: negative for signed results and enumerations, zero for sizes.
template <class T>
constexpr bool Hdf5Failed(T result) {
  if constexpr (std::is_enum<T>::value)
    return static_cast<long long>(result) < 0;
  else if constexpr (std::is_signed<T>::value)
    return result < 0;
  else
    return result == 0;
}

}  // namespace qorsim

/// Every HDF5 call of the store: QORSIM_H5(H5Dwrite, (dset, type, mem, file, H5P_DEFAULT, buf)). Takes the lock,
/// calls, and reports a negative result with the routine's name, the database and object, and HDF5's messages.
#define QORSIM_H5(routine, args)                                                              \
  ([&]() {                                                                                    \
    qorsim::StoreLock qorsimLock_(qorsim::StoreMutex());                                      \
    qorsim::StartHdf5();                                                                      \
    auto qorsimResult_ = routine args;                                                        \
    if (qorsim::Hdf5Failed(qorsimResult_)) qorsim::Hdf5Failure(#routine, __FILE__, __LINE__); \
    return qorsimResult_;                                                                     \
  }())

#define QORSIM_FAIL(message) qorsim::Fail((message), __FILE__, __LINE__)

namespace qorsim {

/// \brief RAII for an HDF5 identifier (closed with the matching H5?close through the checked call).
class H5Handle {
 public:
  H5Handle() = default;
  explicit H5Handle(hid_t id) : m_id(id) {}
  ~H5Handle() { Reset(); }
  H5Handle(H5Handle&& rhs) noexcept : m_id(rhs.m_id) { rhs.m_id = -1; }
  H5Handle& operator=(H5Handle&& rhs) noexcept {
    if (this != &rhs) {
      Reset();
      m_id = rhs.m_id;
      rhs.m_id = -1;
    }
    return *this;
  }
  H5Handle(const H5Handle&) = delete;
  H5Handle& operator=(const H5Handle&) = delete;
  hid_t Get() const { return m_id; }
  operator hid_t() const { return m_id; }  // NOLINT: handles pass straight to HDF5 calls
  void Reset();

 private:
  hid_t m_id = -1;
};

// ---------------------------------------------------------------------------------------------------------------
// Records of open databases.

/// \brief What the chunk cache of a drawer's open dataset may hold. Every transfer of the drawer updates the same
/// flags under the store's lock, so that concurrent transfers add to what the others recorded.
struct CacheFlags {
  bool dirty = false;  // selection writes may sit in the cache, not yet in the file
  bool used = false;   // selections went through the cache since the dataset was opened
};

enum class SetKind { PERSISTENT, TEMPORARY, VOLATILE };

/// \brief Ordinal → position in a set that indexes a drawer dimension; built once per set.
struct PositionIndex {
  int base = 0;
  std::vector<int> table;                   // dense: table[ordinal - base] = position, or -1
  std::vector<std::pair<int, int>> sorted;  // sparse: (ordinal, position) sorted by ordinal
  int Find(int ordinal) const;              // -1 when absent
};

struct SetRecord {
  int number = -1;
  SetKind kind = SetKind::PERSISTENT;
  bool strided = false;
  int start = 0;
  int step = 1;
  int count = 0;
  bool loaded = true;    // ordinals of a persistent ordered set are read on first use
  bool expired = false;  // a volatile set the collection has forgotten
  std::vector<int> ordinals;
  std::shared_ptr<PositionIndex> index;
  int Ordinal(int k) const {
    return strided ? static_cast<int>(start + static_cast<long long>(k) * step) : ordinals[static_cast<size_t>(k)];
  }
};

/// \brief The sets of a collection numbered kSetsOwnDataset and on (QORSimLayout.h): one index row per set and their
/// ordinals, appended to the collection's set pool in large pieces; what is not in the file yet.
struct SetPoolRecord {
  bool inFile = false;            // the pool's group and datasets exist
  std::vector<int> pendingRows;   // kSetPoolWidth ints per set
  std::vector<int> pendingOrdinals;
};

struct CollectionRecord {
  int number = -1;
  std::string name;
  int size = 0;
  int type = -1;
  std::vector<int> colors;  // variants besides colour 0, ascending
  std::map<int, SetRecord> sets;
  int nextSet = 0;
  int biggestSet = -1;
  std::deque<int> volatileSets;  // the most recent volatile sets, oldest first
  SetPoolRecord setPool;
  std::string Path() const { return "/collections/" + name; }
  bool HasColor(int color) const;
};

/// \brief Where a chunk is stored in the file: address and bytes (HADDR_UNDEF and 0: no storage yet).
struct ChunkPlace {
  haddr_t address = HADDR_UNDEF;
  hsize_t bytes = 0;
};

struct DrawerRecord {
  int index = -1;
  std::vector<hsize_t> dims;
  std::vector<int> chunkSizes;        // as given; empty: unchunked
  std::vector<hsize_t> storageChunk;  // HDF5 chunk dimensions; empty: contiguous dataset
  int extendableDim = -1;
  int serialization = 0;
  std::vector<int> sets;            // set number per dimension (collection and colour from the grid)
  std::vector<unsigned char> fill;  // the initialisation value, one item
  hid_t dataset = -1;               // open on first use, with the distribution's chunk cache
  bool directChunkIo = false;       // unfiltered chunks stored in the memory type: whole chunks bypass the selection
  CacheFlags cache;                 // what HDF5's chunk cache of the open dataset may hold (under the lock)
  // Places of stored chunks by origin, each asked of the chunk index once (a query walks the whole index, so
  // asking per transfer makes a pass quadratic in the chunks). An unfiltered chunk stays where it was first
  // stored for the life of its dataset, which is the life of this record. Under the lock.
  std::map<std::vector<hsize_t>, ChunkPlace> places;
  int64_t items = 0;                // serialized drawers (QORSimSerialized.h): the items of buffer 0
  int64_t poolFirst = -1;           // an element-matrix drawer: its first item in the distribution's element pool
};

/// \brief The element-matrix drawers of a distribution: their values one after the other in one dataset, an index
/// row per drawer, appended in large pieces, and a read-ahead window for walks in drawer order.
struct ElementPoolRecord {
  bool inFile = false;                       // the pool's group and datasets exist
  int64_t storedItems = 0;                   // items in the file; pending ones follow
  std::vector<long long> pendingRows;        // kElementPoolWidth per drawer
  std::vector<unsigned char> pendingValues;  // the items after storedItems
  int64_t windowFirst = 0;                   // read-ahead: items windowFirst … of the file
  std::vector<unsigned char> window;
};

struct DistributionRecord {
  int number = -1;
  std::vector<std::pair<int, int>> grid;  // (collection, colour) per dimension
  int typeKey = QORSimDoubleKey;
  int type = -1;
  bool temporary = false;
  std::vector<DrawerRecord> drawers;
  ElementPoolRecord elements;
  uint64_t cacheBytes = 1u << 20;
  bool secondaryCache = false;
  std::string Path() const { return "/distributions/" + std::to_string(number); }
  std::string DrawerPath(int k) const { return Path() + "/drawer" + std::to_string(k); }
};

struct DatabaseRecord {
  int context = -1;
  std::string path;
  bool inMemory = false;
  bool readOnly = false;
  hid_t file = -1;
  int rawFd = -1;  // the file's descriptor when chunks may be read from it directly (plain file, no user block)
  bool markedOpen = false;     // the file says it is open for writing (set before the first write after a commit)
  bool closedCleanly = true;   // false when the file said so at open: its last writer never committed or closed
  std::map<int, CollectionRecord> collections;
  std::map<int, DistributionRecord> distributions;
  int nextCollection = 0;
  int nextDistribution = 0;
};

// ---------------------------------------------------------------------------------------------------------------
// Registry (call with the lock held).

DatabaseRecord& CreateDatabase(const std::string& path, bool inMemory);
DatabaseRecord& OpenDatabase(const std::string& path, bool readOnly);
void CloseDatabase(int context);
void FlushDatabase(DatabaseRecord& db);
/// \brief Records in the file that it is open for writing (before the first write after a commit), or that it is
/// not (at commit and close), like a hot journal: a file left marked was not closed cleanly.
void MarkOpenForWriting(DatabaseRecord& db, bool open);
/// \brief Closes every open database (at process exit, while HDF5 still runs).
void CloseAllDatabases();

DatabaseRecord& Database(const QORSimContextID& context);
/// \brief As Database, for work that writes: a database opened read-only is a fatal validation failure.
DatabaseRecord& WritableDatabase(const QORSimContextID& context, const char* what);
CollectionRecord& Collection(const QORSimCollectionID& id);
/// \brief The set record; a null, unknown or forgotten identifier is a fatal validation failure.
SetRecord& Set(const QORSimCSetID& id);
DistributionRecord& Distribution(const QORSimDistributionID& id);
DrawerRecord& Drawer(DistributionRecord& dist, int index, const QORSimDistributionID& id);

/// \brief Text naming a set / collection / distribution for messages ("set 3 of collection 'rows'").
std::string Describe(const QORSimCSetID& id);
std::string Describe(const QORSimCollectionID& id);
std::string Describe(const QORSimDistributionID& id);

// Objects.
CollectionRecord& NewCollection(DatabaseRecord& db, int size, int type, const char* name);
QORSimCSetID NewOrderedSet(const QORSimCollectionID& coll, const int* ordinals, int count, SetKind kind);
QORSimCSetID NewStridedSet(const QORSimCollectionID& coll, int start, int count, int step,
                           SetKind kind = SetKind::PERSISTENT);
void AddColor(const QORSimCollectionID& coll, int color);
/// \brief The strided set 0 … size − 1 of the collection, made on first request.
QORSimCSetID BiggestSet(const QORSimCollectionID& coll);
/// \brief Loads a persistent ordered set's ordinals if needed.
SetRecord& LoadedSet(const QORSimCSetID& id);
/// \brief Writes a temporary or volatile set to the file (it now indexes a drawer dimension).
void MakePersistent(const QORSimCSetID& id);
/// \brief Puts a pooled persistent set into the file now (before an object in the file names it).
void SetInFile(const QORSimCSetID& id);
/// \brief The position index of a set; fatal when the set repeats an ordinal.
const PositionIndex& IndexOf(const QORSimCSetID& id);

QORSimDistributionID NewDistribution(const QORSimContextID& context, const std::vector<QORSimCollectionID>& grid,
                                     int typeKey, int type, bool temporary);

struct DrawerRequest {
  std::vector<QORSimCSetID> sets;  // per distribution dimension
  std::vector<int> chunkSizes;     // per distribution dimension; empty: unchunked
  int extendableDim = -1;          // distribution dimension
  int serialization = 0;
  double fillDouble = 0.0;
  int fillInt = 0;
  bool fillIsInt = false;
};
/// \brief Makes a drawer (an HDF5 dataset) and returns its index.
int NewDrawer(const QORSimDistributionID& id, const DrawerRequest& request);
/// \brief Grows dimension dim of the drawer by the members of set.
void ExtendDrawer(const QORSimDistributionID& id, int drawer, int dim, const QORSimCSetID& set);
/// \brief The drawer's dataset, opened with the distribution's chunk cache.
hid_t DrawerDataset(const QORSimDistributionID& id, DistributionRecord& dist, DrawerRecord& drawer);
/// \brief Closes the drawer's dataset, which writes back and empties its chunk cache, and opens it again.
hid_t ReopenDrawerDataset(const QORSimDistributionID& id, DistributionRecord& dist, DrawerRecord& drawer);
/// \brief Closes the open datasets of the distribution's drawers (they reopen with the new cache settings).
void ResetDrawerDatasets(DistributionRecord& dist);

/// \brief Where the chunk at origin (element coordinates) is stored: file address and bytes; address
/// HADDR_UNDEF and 0 bytes when the chunk has no storage yet. Each query walks the dataset's whole chunk index.
ChunkPlace ChunkLocation(hid_t dataset, const hsize_t* origin);
/// \brief Bytes stored for the chunk at origin (element coordinates); 0 when the chunk has no storage yet.
hsize_t ChunkStorageBytes(hid_t dataset, const hsize_t* origin);
/// \brief The descriptor of an open database file whose chunks may be read with pread (the sec2 driver, no user
/// block, so file addresses are offsets); -1 otherwise (in-memory and other drivers).
int RawFileDescriptor(hid_t file);

/// \brief The HDF5 memory type of a range type key.
hid_t MemoryType(int typeKey);
size_t ItemBytes(int typeKey);
/// \brief The HDF5 file type of a range type key: little-endian whatever the machine; on the usual hosts that is the
/// memory layout, which lets whole chunks move without conversion.
hid_t FileType(int typeKey);

void Count(uint64_t IoCounters::*field);

}  // namespace qorsim
