// Fatal paths of the data store: bad database files, writes HDF5 refuses, and misuse, each ending the process
// with status 1 and a message that names the file and the cause.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "store_test_util.h"

using namespace store_test;

namespace {

class StoreDeath : public StoreTest {};

// A database holding one rows x cols matrix of 3.5 in chunks of a quarter of each dimension.
std::string MakeDatabase(const std::string& path, int rows = 100, int cols = 80) {
  QORSimDatabase db;
  db.Create(path.c_str());
  StoredMatrix m = MakeMatrix(db.ContextID(), rows, cols, rows / 4, cols / 4);
  std::vector<double> all(static_cast<size_t>(rows) * cols, 3.5);
  RangeTransfer(m, 0, rows - 1, 0, cols - 1, all.data(), true);
  db.Close();
  return path;
}

void OpenDatabase(const std::string& path) {
  QORSimDatabase db;
  db.Open(path.c_str());
}

// One edit of a valid database through the HDF5 C API: replace the integer attribute of an object, replace a
// dataset's values, or set a dataset's extent.
struct Damage {
  enum Kind { ATTRIBUTE, VALUES, EXTENT } kind;
  std::string object, name;  // name: the attribute
  std::vector<int> values;   // attribute values, dataset values, or extents
};

void Apply(const std::string& path, const Damage& d) {
  hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  ASSERT_GE(f, 0);
  hid_t obj = H5Oopen(f, d.object.c_str(), H5P_DEFAULT);
  ASSERT_GE(obj, 0) << d.object;
  if (d.kind == Damage::ATTRIBUTE) {
    if (H5Aexists(obj, d.name.c_str()) > 0) H5Adelete(obj, d.name.c_str());
    hsize_t n = d.values.size();
    hid_t space = H5Screate_simple(1, &n, nullptr);
    hid_t attr = H5Acreate2(obj, d.name.c_str(), H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT);
    EXPECT_GE(H5Awrite(attr, H5T_NATIVE_INT, d.values.data()), 0);
    H5Aclose(attr);
    H5Sclose(space);
  } else if (d.kind == Damage::VALUES) {
    EXPECT_GE(H5Dwrite(obj, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, d.values.data()), 0);
  } else {
    const std::vector<hsize_t> dims(d.values.begin(), d.values.end());
    EXPECT_GE(H5Dset_extent(obj, dims.data()), 0);
  }
  H5Oclose(obj);
  H5Fclose(f);
}

}  // namespace

TEST_F(StoreDeath, DamagedDatabasesAreRefusedAtOpenNamingTheObject) {
  // The database of MakeDatabase: collections 0 (rows, 100) and 1 (columns, 80), each with its biggest set 0;
  // distribution 0 over (columns, rows) with one drawer of 80 x 100 in chunks of 20 x 25.
  const std::string drawer = "/distributions/0/drawer0", rowSet = "/collections/collection0/sets/0";
  const struct {
    Damage damage;
    std::string object, problem;
  } cases[] = {
      {{Damage::ATTRIBUTE, drawer, "chunk_sizes", {0, 0}}, drawer, "chunk size 0 of dimension 0 is not positive"},
      {{Damage::ATTRIBUTE, drawer, "chunk_sizes", {20, -25}}, drawer, "chunk size -25 of dimension 1 is not positive"},
      {{Damage::ATTRIBUTE, drawer, "chunk_sizes", {20}}, drawer, "the drawer has 1 chunk sizes for 2 dimensions"},
      {{Damage::EXTENT, drawer, "", {80, 120}}, drawer, "dimension 1 has extent 120 but its set 0 has 100 members"},
      {{Damage::ATTRIBUTE, drawer, "sets", {0, 7}}, drawer,
       "dimension 1 names set 7 of collection 'collection0', which is missing"},
      {{Damage::ATTRIBUTE, drawer, "sets", {0}}, drawer, "the drawer names 1 sets for 2 dimensions"},
      {{Damage::ATTRIBUTE, drawer, "extendable_dim", {2}}, drawer,
       "extendable dimension 2 of a drawer of 2 dimensions"},
      {{Damage::ATTRIBUTE, drawer, "serialization", {9}}, drawer,
       "serialization 9 is not a kind this data store reads"},
      {{Damage::VALUES, rowSet, "", {0, -100, 1}}, rowSet, "the strided set has a negative count -100"},
      {{Damage::VALUES, rowSet, "", {0, 100, 0}}, rowSet, "the strided set has step 0"},
      {{Damage::VALUES, rowSet, "", {2147483600, 100, 1}}, rowSet, "the strided set runs past the int range"},
      {{Damage::ATTRIBUTE, "/collections/collection0", "size", {-1}}, "/collections/collection0",
       "the collection has -1 members"},
      {{Damage::ATTRIBUTE, "/collections/collection0", "biggest_set", {3}}, "/collections/collection0",
       "biggest_set names set 3, which is missing"},
      {{Damage::ATTRIBUTE, "/collections/collection1", "number", {0}}, "/collections/collection1",
       "collections 'collection0' and 'collection1' carry number 0"},
      {{Damage::ATTRIBUTE, "/distributions/0", "grid_collections", {1, 5}}, "/distributions/0",
       "grid dimension 1 names collection 5, which is missing"},
      {{Damage::ATTRIBUTE, "/distributions/0", "grid_colors", {0, 2}}, "/distributions/0",
       "grid dimension 1 names colour 2 of collection 'collection0', which is missing"},
      {{Damage::ATTRIBUTE, "/distributions/0", "grid_collections", {1, 1}}, "/distributions/0",
       "the grid names collection 'collection1' twice"},
      {{Damage::ATTRIBUTE, "/distributions/0", "range_type_key", {3}}, "/distributions/0",
       "range type key 3 is neither 2 (ints) nor 4 (doubles)"},
  };
  int k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    const std::string path = MakeDatabase(Path("damaged" + std::to_string(k++) + ".sim"));
    Apply(path, c.damage);
    EXPECT_STORE_FAILURE(OpenDatabase(path), "Validation failed: damaged data-store database: " + c.problem +
                                                 " on data-store database '" + path + "', object '" + c.object + "'");
  }
}

TEST_F(StoreDeath, FilesThatAreNotDatabasesAreNamedWithTheCause) {
  const std::string absent = Path("absent.sim"), notes = Path("notes.sim"), other = Path("other.h5");
  EXPECT_STORE_FAILURE(OpenDatabase(absent),
                       "Validation failed: cannot open data-store database '" + absent + "': the file does not exist");
  std::ofstream(notes) << "these are not the values you are looking for\n";
  EXPECT_STORE_FAILURE(OpenDatabase(notes), "cannot open data-store database '" + notes +
                                                "': it is not an HDF5 file (no HDF5 signature in its 45 bytes)");
  std::ofstream(notes, std::ios::trunc).close();
  EXPECT_STORE_FAILURE(OpenDatabase(notes),
                       "'" + notes + "': it is not an HDF5 file (no HDF5 signature in its 0 bytes)");
  const std::string cut = MakeDatabase(Path("cut.sim"));
  const auto size = std::filesystem::file_size(cut);
  std::filesystem::resize_file(cut, size / 2);
  EXPECT_STORE_FAILURE(OpenDatabase(cut), "cannot open data-store database '" + cut +
                                              "': the file is truncated (it holds " + std::to_string(size / 2) +
                                              " bytes, less than its HDF5 header records)");
  hid_t f = H5Fcreate(other.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  ASSERT_GE(f, 0);
  H5Fclose(f);
  EXPECT_STORE_FAILURE(OpenDatabase(other), "cannot open data-store database '" + other +
                                                "': it is an HDF5 file but not a data-store database");
}

TEST_F(StoreDeath, WriteToReadOnlyDatabaseIsReported) {
  const std::string path = MakeDatabase(Path("ro.sim"));
  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  const StoredMatrix m = Rebind({{}, {}, QORSimContext(db.ContextID()).Distributions()[0]}, db.ContextID());
  std::vector<double> ones(100 * 80, 1.0);
  EXPECT_STORE_FAILURE(RangeTransfer(m, 0, 99, 0, 79, ones.data(), true),
                       "Validation failed: cannot write values in data-store database '" + path +
                           "': it was opened read-only");
  EXPECT_EQ(ReadDrawer(m.id, 100 * 80), std::vector<double>(100 * 80, 3.5));  // the values written before are intact
}

TEST_F(StoreDeath, FullDiskIsReported) {
  // A file-size limit stands in for a full disk: the write that crosses it fails and is reported.
  const std::string path = Path("full.sim");
  auto fill = [&] {
    struct rlimit limit = {256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN);
    MakeDatabase(path, 200, 200);
  };
  EXPECT_EXIT(fill(), ::testing::ExitedWithCode(1),
              "Validation failed: HDF5 call H5[A-Za-z_]+ failed on data-store database '" + qormtx_test::Literal(path) +
                  "'(.|\n)*File too large");
}

TEST_F(StoreDeath, MisuseIsExplained) {
  QORSimDatabase db;
  const std::string path = Path("misuse.sim");
  db.Create(path.c_str());
  StoredMatrix m = MakeMatrix(db.ContextID(), 10, 4, 4, 2);
  QORSimContext ctx(db.ContextID());

  EXPECT_STORE_FAILURE(QORSimGrid({m.rows, m.rows}),
                       "a grid may not name a collection twice: dimensions 0 and 1 both run over collection "
                       "'collection0' of '" +
                           path + "'; use a colour variant for one of them");
  EXPECT_STORE_FAILURE(
      QORSimCollection(m.rows.AltColor(1)),
      "colour 1 of collection 'collection0' (colour 1) of '" + path + "' does not exist (CreateColorVariant makes it)");
  std::vector<double> buf(64);
  EXPECT_STORE_FAILURE(RangeTransfer(m, 0, 10, 0, 1, buf.data(), false),
                       "SetDimOrdinalRange: positions 0 … 10 of transfer dimension 1 lie outside the drawer's 10 "
                       "positions (distribution 0 of '" +
                           path + "')");
  const int listed[3] = {2, 9, 10};
  EXPECT_STORE_FAILURE(MoveBytes(m.id, {Range(m.cols, 0, 1), QORSimSpan::Positions(m.rows, listed, 3)}, buf.data(),
                                 48, false),
                       "SetDimPositions: position 10 (entry 2) of transfer dimension 1 lies outside the drawer's 10 "
                       "positions (distribution 0 of '" +
                           path + "')");
  auto execRead = [&](bool setRead, uint64_t bytes) {
    QORSimTransfer t{QORSimDistribution(m.id)};
    setRead ? t.SetRead() : t.SetWrite();
    SetDims(t, {Range(m.cols, 0, 1), Range(m.rows, 0, 1)});
    t.CheckView();
    t.SetBuffer(buf.data(), bytes);
    t.ExecRead();
  };
  EXPECT_STORE_FAILURE(execRead(true, 24), "ExecRead on distribution 0 of '" + path +
                                               "': the buffer holds 24 bytes, the transfer needs 32");
  EXPECT_STORE_FAILURE(execRead(false, 32),
                       "ExecRead on a transfer of distribution 0 of '" + path + "' that was not set up with SetRead");
  auto unknownOrdinal = [&] {
    const int ords[2] = {3, 99};
    QORSimTransfer t{QORSimDistribution(m.id)};
    t.SetRead();
    SetDims(t, {Whole(m.cols), QORSimCollection(m.rows).CreateVolatileOrderedCSet(ords, 2)});
    t.CheckView();
  };
  EXPECT_STORE_FAILURE(unknownOrdinal(), "ordinal 99 (member 1 of set 1 of collection 'collection0' of '" + path +
                                             "') is not in dimension 1 of drawer 0 of distribution 0 of '" + path +
                                             "'");
  auto repeated = [&] {
    const int ords[3] = {5, 1, 5};
    MakeDrawer(ctx.CreateDistribution(QORSimGrid{m.rows}, QORSimRangeType(QORSimDoubleKey)),
               {QORSimCollection(m.rows).CreateOrderedCSet(ords, 3)}, {});
  };
  EXPECT_STORE_FAILURE(repeated(),
                       "holds ordinal 5 twice; a set that indexes a drawer dimension must not repeat an ordinal");
  const StoredMatrix flat = MakeMatrix(db.ContextID(), 10, 4, 0, 0);  // contiguous: HDF5 cannot grow it
  EXPECT_STORE_FAILURE(Grow(flat.id, QORSimCollection(flat.rows).CreateCSetStrided(10, 2, 1)),
                       "dimension 1 of drawer 0 of distribution " + std::to_string(flat.id.Number()) + " of '" + path +
                           "' cannot grow: the drawer is stored without chunks (give it chunk sizes or an extendable "
                           "dimension)");
  auto forgotten = [&] {
    const int one = 1;
    QORSimCSetID first = QORSimCollection(m.rows).CreateVolatileOrderedCSet(&one, 1);
    for (int k = 0; k < 64; ++k) QORSimCollection(m.rows).CreateVolatileOrderedCSet(&one, 1);
    QORSimCSet(first).Size();
  };
  EXPECT_STORE_FAILURE(forgotten(),
                       "was a volatile set and has been forgotten (the collection keeps the 64 most recent ones)");
  const QORSimContextID stale = db.ContextID();
  db.Close();
  EXPECT_STORE_FAILURE(QORSimContext{stale},
                       "data-store context " + std::to_string(stale.Number()) +
                           " is not an open database (a null identifier, or its database was closed)");
  EXPECT_STORE_FAILURE(QORSimUttAssert::ReportAssertionFailure("!\"Illegal QORSimTypeKey\"", "QORMtx/x.cpp", 7),
                       "Assertion failed: !\"Illegal QORSimTypeKey\"\nFile QORMtx/x.cpp, line 7");
}
