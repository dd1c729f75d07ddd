// QORSimLayout: how the store lays a database out in its HDF5 file, shared by the code that writes objects and the
// code that loads them at open:
//   /                                    attributes qorsim_format, qorsim_version, open_for_writing
//   /collections/<name>                  attributes number, size, type, colors, biggest_set
//   /collections/<name>/sets/<number>    int dataset: the ordinals (kind "ordered") or start, count, step ("strided")
//   /distributions/<number>              attributes grid, grid_collections, grid_colors, range_type_key, type,
//                                        temporary
//   /distributions/<number>/drawer<k>    the values; attributes sets, serialization, extendable_dim, chunk_sizes
//   /collections/<name>/set_pool/index   int [sets][5]: number, kind (0 ordered, 1 strided), start, count, step of
//                                        each set numbered kSetsOwnDataset and on
//   /collections/<name>/set_pool/ordinals  int: the ordered ones' ordinals, set after set in index order
//   /distributions/<number>/elements/index   long [drawers][8]: drawer, serialization, set of dimension 0, 1, 2
//                                        (-1 for two dimensions), extendable_dim, first item, items
//   /distributions/<number>/elements/values  the element-matrix drawers' values, drawer after drawer
// Families of small objects (10^5 … 10^6 element matrices and their identifier sets) would otherwise cost one HDF5
// object each; the pools append them in pieces of at least kPoolPieceBytes.
// Included only by the store's own sources.
#pragma once
#ifndef QORSIM_INSIDE_STORE
#error "QORSimLayout.h is internal to the data store"
#endif
#include <string>
#include <vector>

#include "QORSimStore.h"

namespace qorsim {

constexpr const char* kFormatName = "QORSim data store";
constexpr int kFormatVersion = 1;

// Attribute and link helpers (call with a WhereScope naming the object).
bool HasAttr(hid_t obj, const char* name);
void WriteIntsAttr(hid_t obj, const char* name, const std::vector<int>& values);
std::vector<int> ReadIntsAttr(hid_t obj, const char* name);
/// \brief The attribute's one value; a missing attribute or another count is a damaged file.
int ReadIntAttr(hid_t obj, const char* name);
void WriteStringAttr(hid_t obj, const char* name, const std::string& text);
std::string ReadStringAttr(hid_t obj, const char* name);
std::vector<std::string> LinkNames(hid_t group);
/// \brief A link name that is a plain non-negative number (after an optional prefix), or -1.
int NumberAfter(const std::string& name, const std::string& prefix);

H5Handle FileAccessList(bool inMemory);
/// \brief The store's file attributes and top-level groups of a new database.
void WriteDatabaseHeader(DatabaseRecord& db);
/// \brief Writes a persistent set: a dataset of its own, or a row of the collection's set pool (kSetsOwnDataset).
void WriteSetDataset(DatabaseRecord& db, CollectionRecord& coll, const SetRecord& set);
void WriteCollectionAttrs(DatabaseRecord& db, CollectionRecord& coll);

/// \brief Refuses a damaged file at open, naming the object of the innermost WhereScope. Never returns.
[[noreturn]] void Damaged(const std::string& problem, const char* file, int line);
#define QORSIM_DAMAGED(problem) qorsim::Damaged((problem), __FILE__, __LINE__)
/// \brief Checks a loaded drawer's sets against the grid (each exists, with as many members as the extent) and its
/// extendable dimension.
void CheckDrawerSets(const DatabaseRecord& db, const DistributionRecord& dist, const DrawerRecord& drawer);

/// \brief Reads the collections, sets, distributions and drawers of an opened file into db.
void LoadDatabase(DatabaseRecord& db);

// ---------------------------------------------------------------------------------------------------------------
// Pools of small objects.

constexpr int kSetsOwnDataset = 64;        // sets 0 … 63 of a collection are datasets of their own
constexpr int kSetPoolWidth = 5;           // number, kind, start, count, step
constexpr int kElementPoolWidth = 8;       // drawer, serialization, three sets, extendable_dim, first, items
constexpr uint64_t kPoolPieceBytes = 1u << 20;  // pending bytes that start an append

/// \brief A new chunked dataset of 0 rows that grows by rows of width items (width 0: one-dimensional).
void CreateRowDataset(hid_t parent, const char* name, hid_t fileType, hsize_t width, hsize_t chunkRows);
/// \brief Reads or writes rows first … first + rows − 1 of a dataset made by CreateRowDataset (all its columns),
/// growing it first when a write ends past its end. The one selection of the pools.
void MoveRows(hid_t ds, hid_t memType, void* data, hsize_t first, hsize_t rows, bool write);
/// \brief The dataset's rank, its extent (up to two dimensions) and its type class.
int DatasetShape(hid_t ds, hsize_t* dims, H5T_class_t* typeClass);

/// \brief At open: checks a pool's dataset (rank, row width, type class) and that it stores every row it claims, so
/// that a damaged extent never sizes an allocation; returns its rows. what names it in the refusal.
hsize_t CheckedPoolRows(hid_t ds, hsize_t width, H5T_class_t typeClass, size_t itemBytes, const char* what);
/// \brief Records a persistent set of number kSetsOwnDataset or more in the collection's set pool.
void PoolSet(DatabaseRecord& db, CollectionRecord& coll, const SetRecord& set);
/// \brief Appends the collection's pending pooled sets to the file (a set named in the file must be there).
void FlushSetPool(DatabaseRecord& db, CollectionRecord& coll);
/// \brief Reads and checks the set pool of a collection group at open.
void LoadSetPool(DatabaseRecord& db, hid_t group, CollectionRecord& coll);
/// \brief Appends the distribution's pending element-matrix drawers (their sets' pools first).
void FlushElementPool(DatabaseRecord& db, DistributionRecord& dist);
/// \brief Reads and checks the element pool of a distribution group at open; appends (drawer index, record) pairs.
void LoadElementPool(DatabaseRecord& db, hid_t group, DistributionRecord& dist,
                     std::vector<std::pair<int, DrawerRecord>>& drawers);
/// \brief Flushes every pool of the database (before the file is flushed or closed).
void FlushPools(DatabaseRecord& db);

}  // namespace qorsim
