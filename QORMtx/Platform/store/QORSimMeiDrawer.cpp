// QORSimMeiDrawer: element-matrix (MEI) drawers, and the registry of serialized drawer kinds they plug into.
//   /distributions/<n>/drawer<k>             group; attributes sets, serialization, extendable_dim
//   /distributions/<n>/drawer<k>/values      [identifiers][items per matrix] values, matrix after matrix
//   /distributions/<n>/drawer<k>/positions   [items per matrix] int: flat column-major position of each item (3-D
//                                            drawers; a 2-D drawer's positions are its position set)
#define QORSIM_INSIDE_STORE
#include <cstring>
#include <map>
#include <string>

#include "QORSimDistribution.h"
#include "QORSimLayout.h"
#include "QORSimSerialized.h"

namespace qorsim {

// ---------------------------------------------------------------------------------------------------------------
// Registry.

namespace {
std::map<int, const SerializedKind*>& Kinds() {
  static std::map<int, const SerializedKind*> kinds;
  return kinds;
}
}  // namespace

void RegisterSerializedKind(int kind, const SerializedKind* code) { Kinds()[kind] = code; }

const SerializedKind& FindSerializedKind(int serialization, const std::string& where) {
  const int kind = QORSimSerializationType::FromWord(serialization).Kind();
  auto it = Kinds().find(kind);
  if (it == Kinds().end())
    QORSIM_FAIL(where + ": serialization kind " + std::to_string(kind) + " is not stored by this data store");
  return *it->second;
}

void WriteSerializedDrawerAttrs(hid_t group, const DrawerRecord& drawer) {
  WriteIntsAttr(group, "sets", drawer.sets);
  WriteIntsAttr(group, "serialization", {drawer.serialization});
  WriteIntsAttr(group, "extendable_dim", {drawer.extendableDim});
}

void ReadSerializedDrawerAttrs(hid_t group, DrawerRecord& drawer) {
  drawer.sets = ReadIntsAttr(group, "sets");
  drawer.serialization = ReadIntAttr(group, "serialization");
  drawer.extendableDim = ReadIntAttr(group, "extendable_dim");
}

// ---------------------------------------------------------------------------------------------------------------
// Element matrices. Dimension 0 runs over the matrices' identifiers; every matrix has the same items:
//   2 dimensions (identifiers, positions): one item per member of the position set, whose ordinals are the flat
//     column-major positions in the matrix;
//   3 dimensions (identifiers, columns, rows): the whole rows × columns matrix by columns, or, symmetric, its
//     upper triangle by columns (rows 0 … j of column j), which needs as many rows as columns.

namespace {

constexpr uint64_t kCompactBytes = 16u << 10;  // HDF5 allows compact datasets up to 64 KiB

class MeiDrawers : public SerializedKind {
 public:
  MeiDrawers() {
    RegisterSerializedKind(QORSimSerializationType::MEI, this);
    RegisterSerializedKind(QORSimSerializationType::MEI_SYMMETRIC, this);
  }

  void Check(const SerializedTransfer& t) const override {
    const size_t rank = t.sets.size();
    if (rank != 2 && rank != 3)
      QORSIM_FAIL("element-matrix drawer of " + Describe(t.dist) + ": the distribution has " + std::to_string(rank) +
                  " dimensions; element matrices need 2 (identifiers, positions) or 3 (identifiers, columns, rows)");
    if (rank == 3 && Symmetric(t) && Size(t.sets[1]) != Size(t.sets[2]))
      QORSIM_FAIL("symmetric element-matrix drawer of " + Describe(t.dist) + ": " + std::to_string(Size(t.sets[2])) +
                  " rows and " + std::to_string(Size(t.sets[1])) + " columns; a symmetric matrix is square");
  }

  uint64_t RequiredBytes(const SerializedTransfer& t, int slot) const override {
    const DistributionRecord& dist = Distribution(t.dist);
    if (slot == QORSimbufMain)
      return static_cast<uint64_t>(Size(t.sets[0])) * static_cast<uint64_t>(PerMatrix(t)) * ItemBytes(dist.typeKey);
    if (slot == QORSimbufIndicesNZ) return static_cast<uint64_t>(PerMatrix(t)) * sizeof(int);
    return 0;
  }

  int Write(const SerializedTransfer& t) const override {
    DatabaseRecord& db = WritableDatabase(t.dist.ContextID(), "write an element-matrix drawer");
    DistributionRecord& dist = Distribution(t.dist);
    int index = t.drawer;
    if (index < 0) index = Make(db, dist, t);
    WhereScope where(db.path, dist.DrawerPath(index));
    H5Handle values(QORSIM_H5(H5Dopen2, (db.file, (dist.DrawerPath(index) + "/values").c_str(), H5P_DEFAULT)));
    if (RequiredBytes(t, QORSimbufMain))
      QORSIM_H5(H5Dwrite, (values, MemoryType(dist.typeKey), H5S_ALL, H5S_ALL, H5P_DEFAULT, t.buffers[QORSimbufMain]));
    return index;
  }

  void Read(const SerializedTransfer& t) const override {
    DatabaseRecord& db = Database(t.dist.ContextID());
    DistributionRecord& dist = Distribution(t.dist);
    const std::string path = dist.DrawerPath(t.drawer);
    WhereScope where(db.path, path);
    if (RequiredBytes(t, QORSimbufMain)) {
      H5Handle values(QORSIM_H5(H5Dopen2, (db.file, (path + "/values").c_str(), H5P_DEFAULT)));
      QORSIM_H5(H5Dread, (values, MemoryType(dist.typeKey), H5S_ALL, H5S_ALL, H5P_DEFAULT, t.buffers[QORSimbufMain]));
    }
    if (t.buffers[QORSimbufIndicesNZ] && PerMatrix(t)) {
      if (t.bytes[QORSimbufIndicesNZ] < RequiredBytes(t, QORSimbufIndicesNZ))
        QORSIM_FAIL("ExecRead of " + path + ": the positions buffer holds " +
                    std::to_string(t.bytes[QORSimbufIndicesNZ]) + " bytes, the drawer needs " +
                    std::to_string(RequiredBytes(t, QORSimbufIndicesNZ)));
      const std::vector<int> positions = Positions(t);
      std::memcpy(t.buffers[QORSimbufIndicesNZ], positions.data(), positions.size() * sizeof(int));
    }
  }

  void Load(hid_t obj, const DistributionRecord& /*dist*/, DrawerRecord& drawer) const override {
    H5Handle values(QORSIM_H5(H5Dopen2, (obj, "values", H5P_DEFAULT)));
    H5Handle space(QORSIM_H5(H5Dget_space, (values)));
    drawer.items = QORSIM_H5(H5Sget_simple_extent_npoints, (space));
  }

 private:
  static int Size(const QORSimCSetID& set) { return Set(set).count; }
  static bool Symmetric(const SerializedTransfer& t) {
    return QORSimSerializationType::FromWord(t.serialization).IsMeiSymmetric();
  }
  static int64_t PerMatrix(const SerializedTransfer& t) {
    if (t.sets.size() == 2) return Size(t.sets[1]);
    const int64_t cols = Size(t.sets[1]), rows = Size(t.sets[2]);
    return Symmetric(t) ? cols * (cols + 1) / 2 : rows * cols;
  }
  static std::vector<int> Positions(const SerializedTransfer& t) {
    std::vector<int> p;
    if (t.sets.size() == 2) {
      const SetRecord& set = LoadedSet(t.sets[1]);
      for (int k = 0; k < set.count; ++k) p.push_back(set.Ordinal(k));
      return p;
    }
    const int cols = Size(t.sets[1]), rows = Size(t.sets[2]);
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < (Symmetric(t) ? j + 1 : rows); ++i) p.push_back(j * rows + i);
    return p;
  }

  int Make(DatabaseRecord& db, DistributionRecord& dist, const SerializedTransfer& t) const {
    DrawerRecord drawer;
    drawer.index = static_cast<int>(dist.drawers.size());
    drawer.serialization = t.serialization;
    for (const QORSimCSetID& set : t.sets) {
      IndexOf(set);  // a drawer dimension may not repeat an ordinal
      MakePersistent(set);
      drawer.sets.push_back(set.Number());
      drawer.dims.push_back(static_cast<hsize_t>(Set(set).count));
    }
    drawer.fill.assign(ItemBytes(dist.typeKey), 0);
    const hsize_t perMatrix = static_cast<hsize_t>(PerMatrix(t));
    drawer.items = static_cast<int64_t>(drawer.dims[0] * perMatrix);
    const std::string path = dist.DrawerPath(drawer.index);
    WhereScope where(db.path, path);
    H5Handle group(QORSIM_H5(H5Gcreate2, (db.file, path.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)));
    WriteSerializedDrawerAttrs(group, drawer);
    const hsize_t shape[2] = {drawer.dims[0], perMatrix};
    H5Handle space(QORSIM_H5(H5Screate_simple, (2, shape, nullptr)));
    // Element matrices are small and many: a small one lives in the object header, read with it in one access.
    H5Handle dcpl(QORSIM_H5(H5Pcreate, (H5P_DATASET_CREATE)));
    if (static_cast<uint64_t>(drawer.items) * ItemBytes(dist.typeKey) <= kCompactBytes)
      QORSIM_H5(H5Pset_layout, (dcpl, H5D_COMPACT));
    H5Handle(QORSIM_H5(H5Dcreate2, (group, "values", FileType(dist.typeKey), space, H5P_DEFAULT, dcpl,
                                    H5P_DEFAULT)));
    if (t.sets.size() == 2) {
      dist.drawers.push_back(std::move(drawer));
      return static_cast<int>(dist.drawers.size()) - 1;
    }
    const std::vector<int> positions = Positions(t);
    H5Handle pspace(QORSIM_H5(H5Screate_simple, (1, &perMatrix, nullptr)));
    H5Handle pds(QORSIM_H5(H5Dcreate2, (group, "positions", H5T_STD_I32LE, pspace, H5P_DEFAULT, H5P_DEFAULT,
                                        H5P_DEFAULT)));
    if (perMatrix) QORSIM_H5(H5Dwrite, (pds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, positions.data()));
    dist.drawers.push_back(std::move(drawer));
    return static_cast<int>(dist.drawers.size()) - 1;
  }
};

const MeiDrawers g_meiDrawers;

}  // namespace

}  // namespace qorsim
