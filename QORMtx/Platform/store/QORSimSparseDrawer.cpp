// QORSimSparseDrawer: drawers that hold a sparse matrix in compressed rows, a serialized drawer kind. In the file
// such a drawer is a group /distributions/<n>/drawer<k> (attributes sets, serialization, extendable_dim,
// num_nonzero) of the datasets
//   row_starts      int, rows + 1 (the first is 0 or 1, the base of the column indices)
//   column_indices  int, nnz
//   values          the range type, nnz
//   diagonal        double, rows (symmetric kinds only: the diagonal kept apart from the stored triangle)
// over the distribution's last two dimensions (rows, columns); any dimensions before them have one member each (a
// family of matrices keeps one per identifier). The drawer moves whole, through the transfer's four buffers.
#define QORSIM_INSIDE_STORE
#include <climits>
#include <string>
#include <vector>

#include "QORSimDistribution.h"
#include "QORSimLayout.h"
#include "QORSimSerialized.h"

namespace qorsim {

namespace {

// The compressed-row shape of a sparse drawer, and the bytes each buffer slot of a transfer holds.
struct SparseShape {
  int64_t rows = 0, cols = 0, nnz = 0;
  bool symmetric = false;
  size_t item = 8;  // bytes of one value
  uint64_t Bytes(int slot) const;
};

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
    return "its row starts end at " + Str(rowStarts[s.rows]) + ", not at " + Str(base + s.nnz) + " for " + Str(s.nnz) +
           " stored values";
  for (int64_t k = 0; k < s.nnz; ++k)
    if (columns[k] < base || columns[k] - base >= s.cols)
      return "its column index " + Str(columns[k]) + " (value " + Str(k) + ") lies outside the " + Str(s.cols) +
             " columns";
  return "";
}

uint64_t SparseShape::Bytes(int slot) const {
  const uint64_t n = static_cast<uint64_t>(Length(*this, slot));
  return n * (slot == QORSimbufMain ? item : slot == QORSimbufDiagonal ? 8 : 4);
}

bool IsSymmetricSparseKind(int serialization) {
  const int kind = QORSimSerializationType::FromWord(serialization).Kind();
  return kind == QORSimSerializationType::SPARSE_SYMMETRIC || kind == QORSimSerializationType::SPARSE_SYMMETRIC_BLOCKED;
}

// The compressed-row shape of a sparse drawer over sets of these counts (distribution order); fails, naming what,
// when a leading dimension has other than one member or the counts do not fit the int row starts.
SparseShape ShapeOf(const std::vector<int64_t>& counts, int64_t nnz, int serialization, size_t item,
                    const std::string& what) {
  const size_t rank = counts.size();
  if (rank < 2)
    QORSIM_FAIL(what + ": a sparse drawer needs two dimensions (rows, columns), not " +
                Str(static_cast<long long>(rank)));
  for (size_t d = 0; d + 2 < rank; ++d)
    if (counts[d] != 1)
      QORSIM_FAIL(what + ": dimension " + Str(static_cast<long long>(d)) + " of a sparse drawer has " + Str(counts[d]) +
                  " members; every dimension before the rows and columns has one");
  if (nnz < 0 || nnz > INT_MAX - 1)
    QORSIM_FAIL(what + ": " + Str(nnz) + " stored values do not fit the int row starts of a sparse drawer");
  SparseShape s;
  s.rows = counts[rank - 2];
  s.cols = counts[rank - 1];
  s.nnz = nnz;
  s.symmetric = IsSymmetricSparseKind(serialization);
  s.item = item;
  return s;
}

SparseShape ShapeOf(const SerializedTransfer& t) {
  const DistributionRecord& dist = Distribution(t.dist);
  std::vector<int64_t> counts;
  for (const QORSimCSetID& set : t.sets) counts.push_back(Set(set).count);
  const int64_t nnz = t.drawer < 0 ? t.numNonZero : dist.drawers.at(static_cast<size_t>(t.drawer)).items;
  return ShapeOf(counts, nnz, t.serialization, ItemBytes(dist.typeKey), "sparse drawer of " + Describe(t.dist));
}

class SparseDrawers : public SerializedKind {
 public:
  SparseDrawers() {
    RegisterSerializedKind(QORSimSerializationType::SPARSE, this);
    RegisterSerializedKind(QORSimSerializationType::SPARSE_SYMMETRIC, this);
    RegisterSerializedKind(QORSimSerializationType::SPARSE_SYMMETRIC_BLOCKED, this);
  }

  void Check(const SerializedTransfer& t) const override { ShapeOf(t); }

  uint64_t RequiredBytes(const SerializedTransfer& t, int slot) const override { return ShapeOf(t).Bytes(slot); }

  int Write(const SerializedTransfer& t) const override {
    const SparseShape shape = CheckBuffers(t, "ExecWrite");
    const std::string problem = CheckRows(shape, Ints(t, QORSimbufSparseMap), Ints(t, QORSimbufIndicesNZ));
    if (!problem.empty())
      QORSIM_FAIL("ExecWrite on " + Describe(t.dist) + ": the compressed rows are not valid: " + problem);
    const int index = t.drawer >= 0 ? t.drawer : Make(t, shape);
    Move(t, index, shape, true);
    return index;
  }

  void Read(const SerializedTransfer& t) const override {
    const SparseShape shape = CheckBuffers(t, "ExecRead");
    WhereScope where(Database(t.dist.ContextID()).path, Distribution(t.dist).DrawerPath(t.drawer));
    Move(t, t.drawer, shape, false);
    const std::string problem = CheckRows(shape, Ints(t, QORSimbufSparseMap), Ints(t, QORSimbufIndicesNZ));
    if (!problem.empty())
      QORSIM_FAIL("damaged data-store database: the sparse drawer's compressed rows are not valid: " + problem +
                  DescribeWhere());
  }

  void Load(hid_t obj, const DistributionRecord& dist, DrawerRecord& drawer) const override {
    const std::vector<int> nnz = ReadIntsAttr(obj, "num_nonzero");
    if (nnz.size() != 2 || nnz[0] < 0 || nnz[1] < 0)
      QORSIM_DAMAGED("attribute 'num_nonzero' should hold two non-negative words");
    drawer.items = (static_cast<int64_t>(nnz[0]) << 31) | nnz[1];
    if (drawer.dims.size() < 2 || drawer.items > INT_MAX - 1)
      QORSIM_DAMAGED("the sparse drawer has " + Str(static_cast<long long>(drawer.dims.size())) + " dimensions and " +
                     Str(drawer.items) + " stored values");
    for (size_t d = 0; d + 2 < drawer.dims.size(); ++d)
      if (drawer.dims[d] != 1)
        QORSIM_DAMAGED("dimension " + Str(static_cast<long long>(d)) + " has more than one member");
    const std::vector<int64_t> counts(drawer.dims.begin(), drawer.dims.end());
    const SparseShape shape = ShapeOf(counts, drawer.items, drawer.serialization, ItemBytes(dist.typeKey), "drawer");
    for (const Part& part : kParts) {
      if (part.slot == QORSimbufDiagonal && !shape.symmetric) continue;
      const int64_t want = Length(shape, part.slot);
      if (QORSIM_H5(H5Lexists, (obj, part.name, H5P_DEFAULT)) <= 0)
        QORSIM_DAMAGED(std::string("the sparse drawer has no dataset '") + part.name + "'");
      H5Handle ds(QORSIM_H5(H5Dopen2, (obj, part.name, H5P_DEFAULT)));
      H5Handle space(QORSIM_H5(H5Dget_space, (ds)));
      H5Handle type(QORSIM_H5(H5Dget_type, (ds)));
      const bool real =
          part.slot == QORSimbufDiagonal || (part.slot == QORSimbufMain && dist.typeKey == QORSimDoubleKey);
      if (QORSIM_H5(H5Sget_simple_extent_ndims, (space)) != 1 ||
          QORSIM_H5(H5Sget_simple_extent_npoints, (space)) != want ||
          QORSIM_H5(H5Tget_class, (type)) != (real ? H5T_FLOAT : H5T_INTEGER))
        QORSIM_DAMAGED(std::string("dataset '") + part.name + "' of the sparse drawer should hold " + Str(want) +
                       (real ? " reals" : " integers"));
    }
  }

 private:
  static const int* Ints(const SerializedTransfer& t, int slot) { return static_cast<const int*>(t.buffers[slot]); }

  // Every slot the shape uses has a buffer of at least its bytes.
  static SparseShape CheckBuffers(const SerializedTransfer& t, const char* routine) {
    const SparseShape shape = ShapeOf(t);
    for (int slot = 0; slot < 4; ++slot) {
      const uint64_t need = shape.Bytes(slot);
      if (need > 0 && (!t.buffers[slot] || t.bytes[slot] < need))
        QORSIM_FAIL(std::string(routine) + " on " + Describe(t.dist) + ": buffer " + std::to_string(slot) + " holds " +
                    std::to_string(t.buffers[slot] ? t.bytes[slot] : 0) + " bytes, the sparse drawer needs " +
                    std::to_string(need));
    }
    return shape;
  }

  static int Make(const SerializedTransfer& t, const SparseShape& shape) {
    DatabaseRecord& db = WritableDatabase(t.dist.ContextID(), "create a drawer");
    DistributionRecord& dist = Distribution(t.dist);
    DrawerRecord drawer;
    drawer.index = static_cast<int>(dist.drawers.size());
    drawer.serialization = t.serialization;
    drawer.items = shape.nnz;
    for (const QORSimCSetID& set : t.sets) {
      MakePersistent(set);
      SetInFile(set);
      drawer.sets.push_back(set.Number());
      drawer.dims.push_back(static_cast<hsize_t>(Set(set).count));
    }
    drawer.fill.assign(ItemBytes(dist.typeKey), 0);
    const std::string path = dist.DrawerPath(drawer.index);
    WhereScope where(db.path, path);
    H5Handle g(QORSIM_H5(H5Gcreate2, (db.file, path.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
    WriteSerializedDrawerAttrs(g, drawer);
    // The count as two words (high, low): one attribute type for every size.
    WriteIntsAttr(g, "num_nonzero", {static_cast<int>(shape.nnz >> 31), static_cast<int>(shape.nnz & INT_MAX)});
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

  static void Move(const SerializedTransfer& t, int index, const SparseShape& shape, bool write) {
    DatabaseRecord& db = Database(t.dist.ContextID());
    DistributionRecord& dist = Distribution(t.dist);
    const std::string path = dist.DrawerPath(index);
    WhereScope where(db.path, path);
    H5Handle g(QORSIM_H5(H5Gopen2, (db.file, path.c_str(), H5P_DEFAULT)));
    for (const Part& part : kParts) {
      if (Length(shape, part.slot) == 0) continue;
      H5Handle ds(QORSIM_H5(H5Dopen2, (g, part.name, H5P_DEFAULT)));
      const hid_t type = MemoryTypeOf(part.slot, dist.typeKey);
      if (write)
        QORSIM_H5(H5Dwrite, (ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, t.buffers[part.slot]));
      else
        QORSIM_H5(H5Dread, (ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, t.buffers[part.slot]));
    }
  }
};

const SparseDrawers g_sparseDrawers;

}  // namespace

}  // namespace qorsim
