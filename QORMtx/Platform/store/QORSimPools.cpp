// QORSimPools: families of small objects kept as rows of a few growing datasets instead of one HDF5 object each:
// the row datasets they share, the set pool of a collection, and the flush of every pool of a database.
#define QORSIM_INSIDE_STORE
#include <climits>

#include "QORSimLayout.h"

namespace qorsim {

// ---------------------------------------------------------------------------------------------------------------
// Row datasets.

void CreateRowDataset(hid_t parent, const char* name, hid_t fileType, hsize_t width, hsize_t chunkRows) {
  const int rank = width ? 2 : 1;
  const hsize_t dims[2] = {0, width}, maxDims[2] = {H5S_UNLIMITED, width}, chunk[2] = {chunkRows, width};
  H5Handle space(QORSIM_H5(H5Screate_simple, (rank, dims, maxDims)));
  H5Handle dcpl(QORSIM_H5(H5Pcreate, (H5P_DATASET_CREATE)));
  QORSIM_H5(H5Pset_chunk, (dcpl, rank, chunk));
  // Every row is written before it is read: filling new chunks first would write them twice.
  QORSIM_H5(H5Pset_fill_time, (dcpl, H5D_FILL_TIME_NEVER));
  H5Handle(QORSIM_H5(H5Dcreate2, (parent, name, fileType, space, H5P_DEFAULT, dcpl, H5P_DEFAULT)));
}

int DatasetShape(hid_t ds, hsize_t* dims, H5T_class_t* typeClass) {
  H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
  const int rank = QORSIM_H5(H5Sget_simple_extent_ndims, (space));
  dims[0] = dims[1] = 0;
  if (rank >= 1 && rank <= 2) QORSIM_H5(H5Sget_simple_extent_dims, (space, dims, nullptr));
  H5Handle type(QORSIM_H5(H5Dget_type, (ds)));
  *typeClass = QORSIM_H5(H5Tget_class, (type));
  return rank;
}

void MoveRows(hid_t ds, hid_t memType, void* data, hsize_t first, hsize_t rows, bool write) {
  if (rows == 0) return;
  hsize_t dims[2];
  H5T_class_t typeClass;
  const int rank = DatasetShape(ds, dims, &typeClass);
  if (write && first + rows > dims[0]) {
    dims[0] = first + rows;
    QORSIM_H5(H5Dset_extent, (ds, dims));
  }
  H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
  const hsize_t start[2] = {first, 0}, count[2] = {rows, rank == 2 ? dims[1] : 1};
  QORSIM_H5(H5Sselect_hyperslab, (space, H5S_SELECT_SET, start, nullptr, count, nullptr));
  const hsize_t n = rows * count[1];
  H5Handle memory(QORSIM_H5(H5Screate_simple, (1, &n, nullptr)));
  if (write)
    QORSIM_H5(H5Dwrite, (ds, memType, memory, space, H5P_DEFAULT, data));
  else
    QORSIM_H5(H5Dread, (ds, memType, memory, space, H5P_DEFAULT, data));
  Count(&IoCounters::poolPieces);
}

// ---------------------------------------------------------------------------------------------------------------
// Set pool.

void PoolSet(DatabaseRecord& db, CollectionRecord& coll, const SetRecord& set) {
  SetPoolRecord& pool = coll.setPool;
  pool.pendingRows.insert(pool.pendingRows.end(), {set.number, set.strided ? 1 : 0, set.strided ? set.start : 0,
                                                   set.count, set.strided ? set.step : 1});
  if (!set.strided) pool.pendingOrdinals.insert(pool.pendingOrdinals.end(), set.ordinals.begin(), set.ordinals.end());
  if ((pool.pendingRows.size() + pool.pendingOrdinals.size()) * sizeof(int) >= kPoolPieceBytes)
    FlushSetPool(db, coll);
}

void FlushSetPool(DatabaseRecord& db, CollectionRecord& coll) {
  SetPoolRecord& pool = coll.setPool;
  if (pool.pendingRows.empty()) return;
  const std::string path = coll.Path() + "/set_pool";
  WhereScope where(db.path, path);
  if (!pool.inFile) {
    H5Handle g(QORSIM_H5(H5Gcreate2, (db.file, path.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
    CreateRowDataset(g, "index", H5T_STD_I32LE, kSetPoolWidth, 4096);
    CreateRowDataset(g, "ordinals", H5T_STD_I32LE, 0, 65536);
    pool.inFile = true;
  }
  // The ordinals first: a row in the file names ordinals that are there.
  H5Handle ordinals(QORSIM_H5(H5Dopen2, (db.file, (path + "/ordinals").c_str(), H5P_DEFAULT)));
  hsize_t dims[2];
  H5T_class_t typeClass;
  DatasetShape(ordinals, dims, &typeClass);
  MoveRows(ordinals, H5T_NATIVE_INT, pool.pendingOrdinals.data(), dims[0], pool.pendingOrdinals.size(), true);
  H5Handle index(QORSIM_H5(H5Dopen2, (db.file, (path + "/index").c_str(), H5P_DEFAULT)));
  DatasetShape(index, dims, &typeClass);
  MoveRows(index, H5T_NATIVE_INT, pool.pendingRows.data(), dims[0], pool.pendingRows.size() / kSetPoolWidth, true);
  pool.pendingRows.clear();
  pool.pendingOrdinals.clear();
}

namespace {

std::string Str(long long v) { return std::to_string(v); }

}  // namespace

hsize_t CheckedPoolRows(hid_t ds, hsize_t width, H5T_class_t typeClass, size_t itemBytes, const char* what) {
  hsize_t dims[2];
  H5T_class_t found;
  const int rank = DatasetShape(ds, dims, &found);
  if (rank != (width ? 2 : 1) || (width && dims[1] != width))
    QORSIM_DAMAGED(std::string(what) + " must be " + (width ? "a table of " + Str(static_cast<long long>(width)) +
                                                                  " columns"
                                                            : std::string("one-dimensional")));
  if (found != typeClass)
    QORSIM_DAMAGED(std::string(what) + (typeClass == H5T_INTEGER ? " must hold integers" : " must hold reals"));
  hsize_t stored = 0;
  {
    StoreLock lock(StoreMutex());
    stored = H5Dget_storage_size(ds);  // 0 both when nothing is stored and on failure
  }
  if (dims[0] > 0 && stored / itemBytes / (width ? width : 1) < dims[0])
    QORSIM_DAMAGED(std::string(what) + " claims " + Str(static_cast<long long>(dims[0])) + " rows but stores " +
                   Str(static_cast<long long>(stored)) + " bytes");
  return dims[0];
}

void LoadSetPool(DatabaseRecord& db, hid_t group, CollectionRecord& coll) {
  if (QORSIM_H5(H5Lexists, (group, "set_pool", H5P_DEFAULT)) <= 0) return;
  WhereScope where(db.path, coll.Path() + "/set_pool/index");
  H5Handle g(QORSIM_H5(H5Gopen2, (group, "set_pool", H5P_DEFAULT)));
  H5Handle indexDs(QORSIM_H5(H5Dopen2, (g, "index", H5P_DEFAULT)));
  H5Handle ordinalsDs(QORSIM_H5(H5Dopen2, (g, "ordinals", H5P_DEFAULT)));
  const hsize_t rows = CheckedPoolRows(indexDs, kSetPoolWidth, H5T_INTEGER, sizeof(int), "the set pool's index");
  const hsize_t numOrdinals = CheckedPoolRows(ordinalsDs, 0, H5T_INTEGER, sizeof(int), "the set pool's ordinals");
  std::vector<int> index(static_cast<size_t>(rows) * kSetPoolWidth);
  std::vector<int> ordinals(static_cast<size_t>(numOrdinals));
  MoveRows(indexDs, H5T_NATIVE_INT, index.data(), 0, rows, false);
  MoveRows(ordinalsDs, H5T_NATIVE_INT, ordinals.data(), 0, numOrdinals, false);
  // The ordered sets' ordinals follow one another in index order: the offsets are implied, so none can be wrong.
  size_t next = 0;
  for (hsize_t r = 0; r < rows; ++r) {
    const int* row = &index[static_cast<size_t>(r) * kSetPoolWidth];
    const auto at = [&] { return "index row " + Str(static_cast<long long>(r)) + ": "; };  // composed on refusal only
    SetRecord set;
    set.number = row[0];
    set.strided = row[1] == 1;
    set.count = row[3];
    if (set.number < 0 || set.number == INT_MAX) QORSIM_DAMAGED(at() + "set number " + Str(set.number));
    if (coll.sets.count(set.number)) QORSIM_DAMAGED(at() + "set " + Str(set.number) + " is stored twice");
    if (row[1] != 0 && row[1] != 1) QORSIM_DAMAGED(at() + "kind " + Str(row[1]) + " is neither 0 (ordered) nor 1");
    if (set.count < 0) QORSIM_DAMAGED(at() + "the set has a negative count " + Str(set.count));
    if (set.strided) {
      set.start = row[2];
      set.step = row[4];
      const long long last =
          static_cast<long long>(set.start) + static_cast<long long>(set.count > 0 ? set.count - 1 : 0) * set.step;
      if (set.step == 0) QORSIM_DAMAGED(at() + "the strided set has step 0");
      if (last > INT_MAX || last < INT_MIN) QORSIM_DAMAGED(at() + "the strided set runs past the int range");
    } else {
      if (static_cast<size_t>(set.count) > ordinals.size() - next)
        QORSIM_DAMAGED(at() + "set " + Str(set.number) + " needs " + Str(set.count) + " ordinals from " +
                       Str(static_cast<long long>(next)) + ", the pool holds " +
                       Str(static_cast<long long>(ordinals.size())));
      set.ordinals.assign(ordinals.begin() + static_cast<std::ptrdiff_t>(next),
                          ordinals.begin() + static_cast<std::ptrdiff_t>(next + static_cast<size_t>(set.count)));
      next += static_cast<size_t>(set.count);
    }
    coll.nextSet = std::max(coll.nextSet, set.number + 1);
    coll.sets[set.number] = std::move(set);
  }
  if (next != ordinals.size())
    QORSIM_DAMAGED("the set pool holds " + Str(static_cast<long long>(ordinals.size())) +
                   " ordinals, its index names " + Str(static_cast<long long>(next)));
  coll.setPool.inFile = true;
}

void FlushPools(DatabaseRecord& db) {
  for (auto& entry : db.collections) FlushSetPool(db, entry.second);
  for (auto& entry : db.distributions) FlushElementPool(db, entry.second);
}

}  // namespace qorsim
