// QORSimLayout: how the store lays a database out in its HDF5 file, shared by the code that writes objects and the
// code that loads them at open:
//   /                                    attributes qorsim_format, qorsim_version, open_for_writing
//   /collections/<name>                  attributes number, size, type, colors, biggest_set
//   /collections/<name>/sets/<number>    int dataset: the ordinals (kind "ordered") or start, count, step ("strided")
//   /distributions/<number>              attributes grid, grid_collections, grid_colors, range_type_key, type,
//                                        temporary
//   /distributions/<number>/drawer<k>    the values; attributes sets, serialization, extendable_dim, chunk_sizes
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
void WriteSetDataset(DatabaseRecord& db, const CollectionRecord& coll, const SetRecord& set);
void WriteCollectionAttrs(DatabaseRecord& db, const CollectionRecord& coll);

/// \brief Refuses a damaged file at open, naming the object of the innermost WhereScope. Never returns.
[[noreturn]] void Damaged(const std::string& problem, const char* file, int line);
#define QORSIM_DAMAGED(problem) qorsim::Damaged((problem), __FILE__, __LINE__)
/// \brief Checks a loaded drawer's sets against the grid (each exists, with as many members as the extent) and its
/// extendable dimension.
void CheckDrawerSets(const DatabaseRecord& db, const DistributionRecord& dist, const DrawerRecord& drawer);

/// \brief Reads the collections, sets, distributions and drawers of an opened file into db.
void LoadDatabase(DatabaseRecord& db);

}  // namespace qorsim
