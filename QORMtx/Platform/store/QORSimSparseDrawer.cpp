// QORSimSparseDrawer: sparse drawers as groups of compressed-row datasets (see the header).
#define QORSIM_INSIDE_STORE
#include "QORSimSparseDrawer.h"

#include <climits>

#include "QORSimDistribution.h"
#include "QORSimLayout.h"

namespace qorsim {

namespace {

constexpr const char* kRowStarts = "row_starts";
constexpr const char* kColumnIndices = "column_indices";
constexpr const char* kValues = "values";
constexpr const char* kDiagonal = "diagonal";

std::string Str(long long v) { return std::to_string(v); }

// The dataset of each buffer slot, its file and memory types, and its length for a shape.
struct Part {
  const char* name;
  int slot;
};
const Part kParts[] = {{kRowStarts, QORSimbufSparseMap},
                       {kColumnIndices, QORSimbufIndicesNZ},
                       {kValues, QORSimbufMain},
                       {kDiagonal, QORSimbufDiagonal}};

int64_t Length(const SparseShape& s, int slot) {
  switch (slot) {
    case QORSimbufSparseMap:
      return s.rows + 1;
    case QORSimbufIndicesNZ:
    case QORSimbufMain:
      return s.nnz;
    default:
      return s.symmetric ? s.rows : 0;
  }
}
hid_t MemoryTypeOf(int slot, int typeKey) {
  return slot == QORSimbufMain ? MemoryType(typeKey) : slot == QORSimbufDiagonal ? H5T_NATIVE_DOUBLE : H5T_NATIVE_INT;
}
hid_t FileTypeOf(int slot, int typeKey) {
  return slot == QORSimbufMain ? FileType(typeKey) : slot == QORSimbufDiagonal ? H5T_IEEE_F64LE : H5T_STD_I32LE;
}

// Row starts ascending from a base of 0 or 1 to base + nnz, column indices within base … base + cols − 1.
// Returns what is wrong, or an empty text.
std::string CheckRows(const SparseShape& s, const int* rowStarts, const int* columns) {
  const long long base = rowStarts[0];
  if (base != 0 && base != 1) return "its first row start is " + Str(base) + ", not 0 or 1";
  for (int64_t i = 0; i < s.rows; ++i)
    if (rowStarts[i + 1] < rowStarts[i])
      return "its row starts descend at row " + Str(i) + " (" + Str(rowStarts[i]) + " then " + Str(rowStarts[i + 1]) +
             ")";
  if (rowStarts[s.rows] - base != s.nnz)
    return "its row starts end at " + Str(rowStarts[s.rows]) + ", not at " + Str(base + s.nnz) + " for " +
           Str(s.nnz) + " stored values";
  for (int64_t k = 0; k < s.nnz; ++k)
    if (columns[k] < base || columns[k] - base >= s.cols)
      return "its column index " + Str(columns[k]) + " (value " + Str(k) + ") lies outside the " + Str(s.cols) +
             " columns";
  return "";
}

}  // namespace

bool IsSparseKind(int serialization) {
  const int kind = QORSimSerializationType::FromWord(serialization).Kind();
  return kind == QORSimSerializationType::SPARSE || IsSymmetricSparseKind(serialization);
}

bool IsSymmetricSparseKind(int serialization) {
  const int kind = QORSimSerializationType::FromWord(serialization).Kind();
  return kind == QORSimSerializationType::SPARSE_SYMMETRIC || kind == QORSimSerializationType::SPARSE_SYMMETRIC_BLOCKED;
}

uint64_t SparseShape::Bytes(int slot) const {
  const uint64_t n = static_cast<uint64_t>(Length(*this, slot));
  return n * (slot == QORSimbufMain ? item : slot == QORSimbufDiagonal ? 8 : 4);
}

SparseShape SparseShapeOf(const std::vector<int64_t>& counts, int64_t nnz, int serialization, size_t item,
                          const std::string& what) {
  const size_t rank = counts.size();
  if (rank < 2)
    QORSIM_FAIL(what + ": a sparse drawer needs two dimensions (rows, columns), not " + Str(static_cast<long long>(rank)));
  for (size_t d = 0; d + 2 < rank; ++d)
    if (counts[d] != 1)
      QORSIM_FAIL(what + ": dimension " + Str(static_cast<long long>(d)) + " of a sparse drawer has " + Str(counts[d]) +
                  " members; every dimension before the rows and columns has one");
  SparseShape s;
  s.rows = counts[rank - 2];
  s.cols = counts[rank - 1];
  s.nnz = nnz;
  s.symmetric = IsSymmetricSparseKind(serialization);
  s.item = item;
  // Row starts and column indices are ints.
  if (nnz < 0 || nnz > INT_MAX - 1)
    QORSIM_FAIL(what + ": " + Str(nnz) + " stored values do not fit the int row starts of a sparse drawer");
  return s;
}

SparseShape SparseShapeOf(const DistributionRecord& dist, const DrawerRecord& drawer) {
  std::vector<int64_t> counts(drawer.dims.begin(), drawer.dims.end());
  return SparseShapeOf(counts, drawer.numNonZero, drawer.serialization, ItemBytes(dist.typeKey),
                       "drawer " + Str(drawer.index) + " of distribution " + Str(dist.number));
}

int NewSparseDrawer(const QORSimDistributionID& id, const std::vector<QORSimCSetID>& sets, int serialization,
                    int64_t nnz) {
  DatabaseRecord& db = WritableDatabase(id.ContextID(), "create a drawer");
  DistributionRecord& dist = Distribution(id);
  DrawerRecord drawer;
  drawer.index = static_cast<int>(dist.drawers.size());
  drawer.serialization = serialization;
  drawer.numNonZero = nnz;
  for (const QORSimCSetID& set : sets) {
    MakePersistent(set);
    drawer.sets.push_back(set.Number());
    drawer.dims.push_back(static_cast<hsize_t>(Set(set).count));
  }
  const SparseShape shape = SparseShapeOf(dist, drawer);
  const std::string path = dist.DrawerPath(drawer.index);
  WhereScope where(db.path, path);
  H5Handle g(QORSIM_H5(H5Gcreate2, (db.file, path.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
  WriteIntsAttr(g, "sets", drawer.sets);
  WriteIntsAttr(g, "serialization", {drawer.serialization});
  WriteIntsAttr(g, "extendable_dim", {-1});
  // The count as two ints (high, low word): a file attribute of one type for every size.
  WriteIntsAttr(g, "num_nonzero", {static_cast<int>(nnz >> 31), static_cast<int>(nnz & INT_MAX)});
  for (const Part& part : kParts) {
    if (part.slot == QORSimbufDiagonal && !shape.symmetric) continue;
    hsize_t n = static_cast<hsize_t>(Length(shape, part.slot));
    H5Handle space(QORSIM_H5(H5Screate_simple, (1, &n, nullptr)));
    H5Handle(QORSIM_H5(H5Dcreate2, (g, part.name, FileTypeOf(part.slot, dist.typeKey), space, H5P_DEFAULT,
                                    H5P_DEFAULT, H5P_DEFAULT)));
  }
  dist.drawers.push_back(std::move(drawer));
  return static_cast<int>(dist.drawers.size()) - 1;
}

void MoveSparse(const QORSimDistributionID& id, int index, void* const buffers[4], bool write) {
  StoreLock lock(StoreMutex());
  DatabaseRecord& db = Database(id.ContextID());
  DistributionRecord& dist = Distribution(id);
  const DrawerRecord& drawer = Drawer(dist, index, id);
  const SparseShape shape = SparseShapeOf(dist, drawer);
  const std::string path = dist.DrawerPath(index);
  WhereScope where(db.path, path);
  const auto* rowStarts = static_cast<const int*>(buffers[QORSimbufSparseMap]);
  const auto* columns = static_cast<const int*>(buffers[QORSimbufIndicesNZ]);
  if (write) {
    const std::string problem = CheckRows(shape, rowStarts, columns);
    if (!problem.empty())
      QORSIM_FAIL("ExecWrite on " + Describe(id) + ": the compressed rows are not valid: " + problem);
    MarkOpenForWriting(db, true);
  }
  H5Handle g(QORSIM_H5(H5Gopen2, (db.file, path.c_str(), H5P_DEFAULT)));
  for (const Part& part : kParts) {
    if (Length(shape, part.slot) == 0) continue;
    H5Handle ds(QORSIM_H5(H5Dopen2, (g, part.name, H5P_DEFAULT)));
    const hid_t type = MemoryTypeOf(part.slot, dist.typeKey);
    if (write)
      QORSIM_H5(H5Dwrite, (ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, buffers[part.slot]));
    else
      QORSIM_H5(H5Dread, (ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, buffers[part.slot]));
  }
  if (!write) {
    const std::string problem = CheckRows(shape, rowStarts, columns);
    if (!problem.empty()) QORSIM_FAIL("damaged data-store database: the sparse drawer's compressed rows are not valid: " + problem +
                  DescribeWhere());
  }
}

void LoadSparseDrawer(DatabaseRecord& db, DistributionRecord& dist, hid_t group, const std::string& name, int k) {
  WhereScope where(db.path, dist.DrawerPath(k));
  H5Handle g(QORSIM_H5(H5Gopen2, (group, name.c_str(), H5P_DEFAULT)));
  DrawerRecord drawer;
  drawer.index = k;
  drawer.sets = ReadIntsAttr(g, "sets");
  drawer.serialization = ReadIntAttr(g, "serialization");
  drawer.extendableDim = ReadIntAttr(g, "extendable_dim");
  if (!IsSparseKind(drawer.serialization))
    QORSIM_DAMAGED("serialization " + Str(drawer.serialization) + " of a drawer stored as a group is not sparse");
  const std::vector<int> nnz = ReadIntsAttr(g, "num_nonzero");
  if (nnz.size() != 2 || nnz[0] < 0 || nnz[1] < 0)
    QORSIM_DAMAGED("attribute 'num_nonzero' should hold two non-negative words");
  drawer.numNonZero = (static_cast<int64_t>(nnz[0]) << 31) | nnz[1];
  if (drawer.sets.size() != dist.grid.size())
    QORSIM_DAMAGED("the drawer names " + Str(static_cast<long long>(drawer.sets.size())) + " sets for " +
                   Str(static_cast<long long>(dist.grid.size())) + " dimensions");
  for (size_t d = 0; d < drawer.sets.size(); ++d) {
    const CollectionRecord& coll = db.collections.at(dist.grid[d].first);
    auto set = coll.sets.find(drawer.sets[d]);
    drawer.dims.push_back(set == coll.sets.end() ? 0 : static_cast<hsize_t>(set->second.count));
  }
  CheckDrawerSets(db, dist, drawer);
  if (drawer.dims.size() < 2 || drawer.numNonZero > INT_MAX - 1)
    QORSIM_DAMAGED("the sparse drawer has " + Str(static_cast<long long>(drawer.dims.size())) + " dimensions and " +
                   Str(drawer.numNonZero) + " stored values");
  for (size_t d = 0; d + 2 < drawer.dims.size(); ++d)
    if (drawer.dims[d] != 1) QORSIM_DAMAGED("dimension " + Str(static_cast<long long>(d)) + " has more than one member");
  const SparseShape shape = SparseShapeOf(dist, drawer);
  for (const Part& part : kParts) {
    const int64_t want = Length(shape, part.slot);
    if (part.slot == QORSimbufDiagonal && !shape.symmetric) continue;
    if (QORSIM_H5(H5Lexists, (g, part.name, H5P_DEFAULT)) <= 0)
      QORSIM_DAMAGED(std::string("the sparse drawer has no dataset '") + part.name + "'");
    H5Handle ds(QORSIM_H5(H5Dopen2, (g, part.name, H5P_DEFAULT)));
    H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
    H5Handle type(QORSIM_H5(H5Dget_type, (ds)));
    const H5T_class_t cls = QORSIM_H5(H5Tget_class, (type));
    const bool real = part.slot == QORSimbufDiagonal || (part.slot == QORSimbufMain && dist.typeKey == QORSimDoubleKey);
    if (QORSIM_H5(H5Sget_simple_extent_ndims, (space)) != 1 ||
        QORSIM_H5(H5Sget_simple_extent_npoints, (space)) != want || cls != (real ? H5T_FLOAT : H5T_INTEGER))
      QORSIM_DAMAGED(std::string("dataset '") + part.name + "' of the sparse drawer should hold " + Str(want) +
                     (real ? " reals" : " integers"));
  }
  dist.drawers.push_back(std::move(drawer));
}

}  // namespace qorsim
