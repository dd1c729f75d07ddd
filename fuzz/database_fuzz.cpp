// Fuzzing the database opener, structure-aware: each input is a list of edits of a valid database (attributes,
// dataset extents, set contents, links), applied through the HDF5 C API to a fresh copy; the damaged copy is then
// opened and everything in it read (sets, every drawer, and each matrix drawer bound as a stored matrix). The store
// may refuse a damaged file with a message; anything else (a crash, a sanitizer report, an abort, an unexplained
// refusal) is a finding.
//
// The template also holds an element-matrix family, whose drawers and identifier sets are rows of the store's pools.
// Input: repeated records  op(1) target(1) name(1) count(1) count × int32 (little endian).
#include <hdf5.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxMultiMatrix.h"
#include "QORSim.h"

namespace {

// The objects and attribute names the edits choose from (by index, modulo the list's size).
const char* const kObjects[] = {
    "/",
    "/collections/rows",
    "/collections/cols",
    "/collections/rows/sets/0",
    "/collections/cols/sets/0",
    "/collections/rows/sets/1",
    "/distributions/0",
    "/distributions/0/drawer0",
    "/distributions/1",
    "/distributions/1/drawer0",
    "/collections/rows/sets/2",
    "/distributions/2",
    "/distributions/2/drawer0",
    "/distributions/2/drawer0/row_starts",
    "/distributions/2/drawer0/column_indices",
    "/distributions/2/drawer0/values",
    "/distributions/2/drawer0/diagonal",
    "/distributions/3",
    "/distributions/3/elements/index",
    "/distributions/3/elements/values",
    "/collections/elements/set_pool/index",
    "/collections/elements/set_pool/ordinals",
};
const char* const kAttributes[] = {
    "number", "size",        "type",       "colors",         "biggest_set", "grid_collections", "grid_colors",
    "range_type_key", "temporary", "sets", "serialization", "extendable_dim", "chunk_sizes", "qorsim_version",
    "open_for_writing", "num_nonzero",
};
template <class T, size_t N>
constexpr size_t Count(const T (&)[N]) {
  return N;
}

struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};
void Throw(const char* text) { throw Refusal(text); }

std::string g_dir, g_template, g_work;

void MoveSparse(const QORSimDistributionID& id, const std::vector<QORSimCSetID>& sets, bool write,
                std::vector<int>& starts, std::vector<int>& columns, std::vector<double>& values,
                std::vector<double>& diagonal);

// The valid database every input starts from: a 9 x 7 matrix in 4 x 3 chunks over rows and columns with an
// ordered row set, an integer vector over the columns, unchunked and extendable, and a symmetric sparse matrix
// over (rows, rows colour 1) in compressed rows.
void MakeTemplate() {
  g_dir = (std::filesystem::temp_directory_path() / ("qorsim_database_fuzz_" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(g_dir);
  g_template = g_dir + "/template.sim";
  g_work = g_dir + "/work.sim";
  QORSimDatabase db;
  db.Create(g_template.c_str());
  QORSimContext ctx(db.ContextID());
  const QORSimCollectionID rows = ctx.CreateCollection(9, QORSimTypeID(), "rows");
  const QORSimCollectionID cols = ctx.CreateCollection(7, QORSimTypeID(), "cols");
  const QORSimCSetID allRows = QORSimCollection(rows).BiggestCSetID(), allCols = QORSimCollection(cols).BiggestCSetID();
  const int some[] = {8, 2, 5};
  QORSimCollection(rows).CreateOrderedCSet(some, 3);
  const QORSimDistributionID matrix = ctx.CreateDistribution(QORSimGrid{cols, rows}, QORSimRangeType(QORSimDoubleKey));
  std::vector<double> values(63);
  for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<double>(k) + 0.5;
  QORSimTransfer t{QORSimDistribution(matrix)};
  t.SetMakeNewDrawerChunked({3, 4});
  t.SetExtendableDim(0);
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetDim(0, allCols);
  t.SetDim(1, allRows);
  t.CheckView();
  t.SetBuffer(values.data(), 63 * 8);
  t.ExecWrite();
  const QORSimDistributionID vector = ctx.CreateDistribution(QORSimGrid{cols}, QORSimRangeType(QORSimIntKey));
  std::vector<int> ints = {1, 2, 3, 4, 5, 6, 7};
  QORSimTransfer v{QORSimDistribution(vector)};
  v.SetMakeNewDrawer();
  v.SetExtendableDim(0);
  v.SetWrite();
  v.SetBufferPadding(false);
  v.SetDim(0, allCols);
  v.CheckView();
  v.SetBuffer(ints.data(), 28);
  v.ExecWrite();
  QORSimCollection(rows).CreateColorVariant(1);
  const QORSimDistributionID sparse =
      ctx.CreateDistribution(QORSimGrid{rows, rows.AltColor(1)}, QORSimRangeType(QORSimDoubleKey));
  std::vector<int> starts = {0, 1, 1, 2, 2, 3, 3, 3, 4, 4}, columns = {3, 4, 8, 8};
  std::vector<double> offDiagonal = {1, 2, 3, 4}, diagonal(9, 5.0);
  MoveSparse(sparse, {allRows, allRows.AltColor(1)}, true, starts, columns, offDiagonal, diagonal);
  // A family of 70 symmetric 2 x 2 element matrices, each under an identifier set of its own: the matrices and the
  // identifier sets beyond the collection's 64th are rows of the store's pools.
  const QORSimCollectionID elements = ctx.CreateCollection(100, QORSimTypeID(), "elements");
  const QORSimCollectionID positions = ctx.CreateCollection(4, QORSimTypeID(), "positions");
  const QORSimDistributionID family =
      ctx.CreateDistribution(QORSimGrid{elements, positions}, QORSimRangeType(QORSimDoubleKey));
  const int upper[] = {0, 2, 3};
  const QORSimCSetID upperSet = QORSimCollection(positions).CreateOrderedCSet(upper, 3);
  QORSimSerializationType mei;
  mei.SetMeiSymmetric();
  for (int e = 0; e < 70; ++e) {
    const double element[] = {e + 1.0, 0.5, e + 2.0};
    QORSimTransfer m{QORSimDistribution(family)};
    m.SetMakeNewDrawer();
    m.SetWrite();
    m.SetBufferPadding(false);
    m.SetSerialization(mei);
    m.SetDim(0, QORSimCollection(elements).CreateOrderedCSet(&e, 1));
    m.SetDim(1, upperSet);
    m.CheckView();
    m.SetBuffer(element, sizeof element);
    m.ExecWrite();
  }
  db.Close();
}

// A sparse symmetric drawer written (new) or read whole.
void MoveSparse(const QORSimDistributionID& id, const std::vector<QORSimCSetID>& sets, bool write,
                std::vector<int>& starts, std::vector<int>& columns, std::vector<double>& values,
                std::vector<double>& diagonal) {
  QORSimTransfer t{QORSimDistribution(id)};
  write ? t.SetWrite() : t.SetRead();
  if (write) t.SetMakeNewDrawer();
  t.SetBufferPadding(false);
  t.SetSparseNNonzero(static_cast<int64_t>(values.size()));
  for (size_t d = 0; d < sets.size(); ++d) t.SetDim(static_cast<int>(d), sets[d]);
  QORSimSerializationType kind;
  kind.SetSparseSymmetric();
  t.SetSerialization(kind);
  t.CheckView();
  t.SetBuffer(QORSimbufSparseMap, starts.data(), 4 * starts.size());
  t.SetBuffer(QORSimbufIndicesNZ, columns.data(), 4 * columns.size());
  t.SetBuffer(QORSimbufMain, values.data(), 8 * values.size());
  t.SetBuffer(QORSimbufDiagonal, diagonal.data(), 8 * diagonal.size());
  write ? t.ExecWrite() : t.ExecRead();
  t.RelinquishBuffers();
}

void SetIntAttribute(hid_t obj, const char* name, const std::vector<int>& values) {
  if (H5Aexists(obj, name) > 0) H5Adelete(obj, name);
  hsize_t n = values.size();
  hid_t space = n ? H5Screate_simple(1, &n, nullptr) : H5Screate(H5S_NULL);
  hid_t attr = H5Acreate2(obj, name, H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT);
  if (attr >= 0 && n) H5Awrite(attr, H5T_NATIVE_INT, values.data());
  if (attr >= 0) H5Aclose(attr);
  H5Sclose(space);
}

// Replaces the dataset at path by an integer one holding values (a set of another count, or another kind).
void ReplaceDataset(hid_t file, const char* path, const std::vector<int>& values, bool strided) {
  H5Ldelete(file, path, H5P_DEFAULT);
  hsize_t n = values.size();
  hid_t space = H5Screate_simple(1, &n, nullptr);
  hid_t ds = H5Dcreate2(file, path, H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  if (ds >= 0) {
    if (n) H5Dwrite(ds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
    hid_t type = H5Tcopy(H5T_C_S1);
    const char* kind = strided ? "strided" : "ordered";
    H5Tset_size(type, std::strlen(kind));
    hid_t scalar = H5Screate(H5S_SCALAR);
    hid_t attr = H5Acreate2(ds, "kind", type, scalar, H5P_DEFAULT, H5P_DEFAULT);
    if (attr >= 0) {
      H5Awrite(attr, type, kind);
      H5Aclose(attr);
    }
    H5Sclose(scalar);
    H5Tclose(type);
    H5Dclose(ds);
  }
  H5Sclose(space);
}

// Applies the input's edits to the work copy; edits HDF5 refuses (an extent on an unchunked dataset, a missing
// object) are simply skipped.
void ApplyEdits(const uint8_t* data, size_t size) {
  hid_t file = H5Fopen(g_work.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  if (file < 0) return;
  for (size_t at = 0; at + 4 <= size;) {
    const uint8_t op = data[at], target = data[at + 1], name = data[at + 2];
    const size_t n = std::min<size_t>(data[at + 3] % 9, (size - at - 4) / 4);
    std::vector<int> values(n);
    if (n) std::memcpy(values.data(), data + at + 4, 4 * n);
    at += 4 + 4 * n;
    const char* path = kObjects[target % Count(kObjects)];
    switch (op % 5) {
      case 0:
      case 1: {  // an integer attribute replaced, or removed
        hid_t obj = H5Oopen(file, path, H5P_DEFAULT);
        if (obj < 0) break;
        const char* attr = kAttributes[name % Count(kAttributes)];
        if (op % 5 == 0)
          SetIntAttribute(obj, attr, values);
        else if (H5Aexists(obj, attr) > 0)
          H5Adelete(obj, attr);
        H5Oclose(obj);
        break;
      }
      case 2: {  // a dataset's extent
        hid_t ds = H5Dopen2(file, path, H5P_DEFAULT);
        if (ds < 0) break;
        std::vector<hsize_t> dims;
        for (int v : values) dims.push_back(static_cast<hsize_t>(static_cast<uint32_t>(v) % 4096));
        hid_t space = H5Dget_space(ds);
        if (static_cast<int>(dims.size()) == H5Sget_simple_extent_ndims(space)) H5Dset_extent(ds, dims.data());
        H5Sclose(space);
        H5Dclose(ds);
        break;
      }
      case 3:  // a set's contents, as an ordered or a strided set
        ReplaceDataset(file, path, values, name & 1);
        break;
      case 4:  // an object gone
        H5Ldelete(file, path, H5P_DEFAULT);
        break;
    }
  }
  H5Fclose(file);
}

// Everything an opened database offers, read; sizes stay bounded by the edits' extents.
void ReadEverything(const QORSimDatabase& db) {
  QORSimContext ctx(db.ContextID());
  const QORSimArray<QORSimDistributionID> dists = ctx.Distributions();
  for (int i = 0; i < dists.Size(); ++i) {
    const QORSimDistribution dist(dists[i]);
    const QORSimArray<QORSimDrawerDescription> drawers = dist.QueryDrawers();
    for (int k = 0; k < drawers.Size(); ++k) {
      const QORSimArray<QORSimCSetID> sets = drawers[k].Compartment().Sets();
      for (int d = 0; d < sets.Size(); ++d) {
        QORSimCSet set(sets[d]);
        std::vector<int> members(static_cast<size_t>(set.Size()));
        if (!members.empty()) set.OrderedMembers(members.data());
      }
      const int64_t items = drawers[k].DataSizeItems(QORSimbufMain);
      if (items > (1 << 22) || drawers[k].DataSizeItems(QORSimbufSparseMap) > (1 << 22)) continue;
      if (drawers[k].SerializationType().HasSparse() || drawers[k].SerializationType().HasSparseSym()) {
        if (!drawers[k].SerializationType().HasSparseSym()) continue;  // the template holds symmetric ones only
        std::vector<int> starts(static_cast<size_t>(drawers[k].DataSizeItems(QORSimbufSparseMap))),
            columns(static_cast<size_t>(items));
        std::vector<double> values(static_cast<size_t>(items)),
            diagonal(static_cast<size_t>(drawers[k].DataSizeItems(QORSimbufDiagonal)));
        MoveSparse(dists[i], std::vector<QORSimCSetID>(sets.begin(), sets.end()), false, starts, columns, values,
                   diagonal);
        continue;
      }
      if (drawers[k].SerializationType().IsMei() || drawers[k].SerializationType().IsMeiSymmetric()) {
        std::vector<double> values(static_cast<size_t>(items));
        QORMtxDrawerCache::ReadWhole(dist, drawers[k], values.data(), values.size() * sizeof(double));
        continue;
      }
      std::vector<double> values(static_cast<size_t>(items) + 1);
      QORSimSpanTransfer t(dists[i], false, std::vector<QORSimSpan>(sets.begin(), sets.end()).data(), sets.Size());
      t.Execute(values.data(), t.RequiredBytes());
    }
    // A matrix drawer as the library binds it: every block read.
    if (drawers.Size() == 1 && drawers[0].DataTypeKey() == QORSimDoubleKey && dist.NumDimensions() <= 2 &&
        drawers[0].SerializationType().IsStandard() &&
        drawers[0].DataSizeItems(QORSimbufMain) <= (1 << 22)) {
      QORMtxDenseMatrix m(dists[i]);
      for (int rb = 0; rb < m.NumberOfRowBlocks(); ++rb)
        for (int cb = 0; cb < m.NumberOfColumnBlocks(); ++cb) {
          const int r0 = m.FirstRowInBlock(rb), c0 = m.FirstColumnInBlock(cb);
          const int nr = m.NumberOfRowsInBlock(rb), nc = m.NumberOfColumnsInBlock(cb);
          if (nr <= 0 || nc <= 0) continue;
          QORMtxMatrix block(nr, nc);
          m.GetValues(r0, r0 + nr - 1, c0, c0 + nc - 1, block);
        }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    MakeTemplate();
    QORSimUttAssert::SetFailureHook(Throw);
    std::atexit([] { std::filesystem::remove_all(g_dir); });
    return true;
  }();
  (void)ready;
  std::filesystem::copy_file(g_template, g_work, std::filesystem::copy_options::overwrite_existing);
  ApplyEdits(data, size);
  QORSimDatabase db;
  try {
    db.Open(g_work.c_str(), QORSimDatabase::ReadOnly);
    ReadEverything(db);
  } catch (const Refusal& refusal) {
    if (std::getenv("DATABASE_FUZZ_VERBOSE")) std::fprintf(stderr, "%s\n", refusal.what());
    // Every refusal names the database file.
    if (std::strstr(refusal.what(), g_work.c_str()) == nullptr) {
      std::fprintf(stderr, "refusal without the file's name: %s\n", refusal.what());
      std::abort();
    }
  }
  try {
    db.Close();
  } catch (const Refusal&) {
  }
  return 0;
}
