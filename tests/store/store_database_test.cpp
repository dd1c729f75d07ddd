// Databases: persistence across close and reopen (and across writers that ended with one open), temporary and
// volatile sets, in-memory databases, drawer descriptions, the chunk cache and chunk allocation, and the file's
// readable layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "store_test_util.h"

using namespace store_test;

namespace {
class StoreDatabase : public StoreTest {};
}  // namespace

TEST_F(StoreDatabase, CommittedWorkSurvivesCloseAndReopen) {
  const std::string path = Path("model.sim");
  std::vector<double> values(30 * 20);
  for (size_t i = 0; i < values.size(); ++i) values[i] = 0.125 * static_cast<double>(i);
  const std::vector<int> ordinals = {40, 7, 19};
  int matrixNumber = -1, vectorNumber = -1;
  {
    QORSimDatabase db;
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    QORSimTransaction transaction(db.ContextID());
    QORSimCollectionID rows = ctx.CreateCollection(30, QORSimTypeID(), "rows");
    QORSimCollectionID cols = ctx.CreateCollection(20, QORSimTypeID(3), "cols");
    QORSimCollection(cols).CreateColorVariant(1);
    // A volatile set that becomes a drawer's dimension is kept with the drawer, past the volatile limit; a
    // temporary set lives as long as the database is open.
    const QORSimCSetID listed = QORSimCollection(rows).CreateVolatileOrderedCSet(ordinals.data(), 3);
    const QORSimCSetID temp = QORSimCollection(rows).CreateTempOrderedCSet(ordinals.data(), 3);
    EXPECT_EQ(Members(QORSimCollection(rows).CreateCSetStrided(5, 4, 3)), (std::vector<int>{5, 8, 11, 14}));
    QORSimDistributionID id =
        QORSimPosition(db.ContextID())
            .CreateTypedDistribution(12, QORSimGrid{cols, rows}, QORSimRangeType(QORSimDoubleKey));
    matrixNumber = id.Number();
    MakeDrawer(id, {Whole(cols), Whole(rows)}, {8, 16}, values.data(), values.size() * 8, 0.0, 0);
    // Integers in a vector distribution over the listed rows, unchunked; a temporary distribution that goes.
    QORSimDistributionID vid = ctx.CreateDistribution(QORSimGrid{rows}, QORSimRangeType(QORSimIntKey));
    vectorNumber = vid.Number();
    std::vector<int> ints = {-1, -2, -3};
    MakeDrawer(vid, {listed}, {}, ints.data(), 12);
    for (int k = 0; k < 100; ++k) QORSimCollection(rows).CreateVolatileOrderedCSet(ordinals.data(), 1);
    EXPECT_EQ(Members(listed), ordinals);
    EXPECT_EQ(Members(temp), ordinals);
    ctx.CreateTempDistribution(QORSimGrid{rows}, QORSimRangeType(QORSimDoubleKey));
    transaction.Commit();
    db.Close();
  }
  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  QORSimContext ctx(db.ContextID());
  const QORSimCollectionID rows = ctx.FindCollection("rows"), cols = ctx.FindCollection("cols");
  ASSERT_FALSE(rows.IsNull() || cols.IsNull());
  EXPECT_EQ(QORSimCollection(rows).Size(), 30);
  QORSimCollection(cols.AltColor(1));  // the colour variant is still known
  QORSimArray<QORSimDistributionID> ids = ctx.Distributions();
  ASSERT_EQ(ids.Size(), 2);
  EXPECT_EQ(ids[0].Number(), matrixNumber);
  EXPECT_EQ(ids[1].Number(), vectorNumber);
  QORSimDistribution dist(ids[0]);
  EXPECT_EQ(dist.Type().Number(), 12);
  EXPECT_EQ(dist.Grid().CollectionID(0), cols);
  const QORSimDrawerDescription d = dist.QueryDrawers()[0];
  EXPECT_EQ(d.DimensionSizes(), (QORSimArray<int>{20, 30}));
  EXPECT_EQ(d.ChunkSizes(), (QORSimArray<int>{8, 16}));
  EXPECT_EQ(d.ExtendableDim(), 0);
  EXPECT_TRUE(d.SerializationType().IsStandard());
  EXPECT_EQ(ReadDrawer(ids[0], values.size()), values);
  const QORSimDrawerDescription vd = QORSimDistribution(ids[1]).QueryDrawers()[0];
  EXPECT_EQ(vd.DataTypeKey(), QORSimIntKey);
  EXPECT_EQ(Members(vd.Compartment().CSetID(0)), ordinals);
  EXPECT_EQ(vd.Compartment().CSetID(0).CollectionID(), rows);
  EXPECT_EQ(ReadDrawer<int>(ids[1], 3), (std::vector<int>{-1, -2, -3}));
  // The file shows readable names (checked when h5dump is installed).
  db.Close();
  if (std::system("h5dump --version > /dev/null 2>&1") != 0) return;
  const std::string listing = Path("listing.txt");
  ASSERT_EQ(std::system(("h5dump -n '" + path + "' > '" + listing + "'").c_str()), 0);
  std::stringstream text;
  text << std::ifstream(listing).rdbuf();
  for (const std::string& name : {std::string("/collections/rows/sets/0"), std::string("/collections/cols/sets/0"),
                                  "/distributions/" + std::to_string(matrixNumber) + "/drawer0"})
    EXPECT_NE(text.str().find(name), std::string::npos) << name << " missing from\n" << text.str();
}

TEST_F(StoreDatabase, WritersThatEndWithTheDatabaseOpen) {
  // A child writes 40 x 30 values (whole chunks and partial ones) and ends with the database open: by exit, the
  // database leaked (the store closes it on the way out, nothing lost), or killed (no exit handlers) after its last
  // commit, having written once more or only read.
  enum End { EXIT, KILLED_AFTER_WRITE, KILLED_AFTER_READ };
  Reference ref(40, 30);
  for (int j = 0; j < 30; ++j)
    for (int i = 0; i < 40; ++i) ref(i, j) = Value(i, j);
  auto writeAndEnd = [&ref](const std::string& path, End end) {
    static QORSimDatabase* const leaked = new QORSimDatabase;  // never deleted: only the store's exit handler closes it
    QORSimDatabase& db = *leaked;
    db.Create(path.c_str());
    const StoredMatrix m = MakeMatrix(db.ContextID(), 40, 30, 16, 8);
    Reference values = ref;
    RangeTransfer(m, 0, 39, 0, 29, values.a.data(), true);
    if (end == EXIT) std::exit(0);
    QORSimTransaction(db.ContextID()).Commit();
    RangeTransfer(m, 0, 39, 0, 29, values.a.data(), end == KILLED_AFTER_WRITE);
    _exit(0);
  };
  const std::string exited = Path("exited.sim"), dirty = Path("killed.sim"), clean = Path("killed-after-commit.sim");
  EXPECT_EXIT(writeAndEnd(exited, EXIT), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(writeAndEnd(dirty, KILLED_AFTER_WRITE), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(writeAndEnd(clean, KILLED_AFTER_READ), ::testing::ExitedWithCode(0), "");
  auto open = [](QORSimDatabase& db, const std::string& path, QORSimDatabase::Access access) {
    ::testing::internal::CaptureStderr();
    db.Open(path.c_str(), access);
    return ::testing::internal::GetCapturedStderr();
  };
  const std::string warning = "Warning: data-store database '" + dirty +
                              "' was not closed cleanly: it was still open for writing when its last writer ended, "
                              "so values written after that writer's last commit may read as the initialisation "
                              "value\n";
  for (auto access : {QORSimDatabase::ReadOnly, QORSimDatabase::ReadWrite}) {
    QORSimDatabase db;
    EXPECT_EQ(open(db, dirty, access), warning);
    EXPECT_FALSE(db.ClosedCleanly());
    EXPECT_EQ(ReadDrawer(QORSimContext(db.ContextID()).Distributions()[0], ref.a.size()), ref.a);
  }  // the writable one was closed: the file is clean again
  for (const std::string& path : {exited, dirty, clean}) {
    QORSimDatabase db;
    EXPECT_EQ(open(db, path, QORSimDatabase::ReadOnly), "");
    EXPECT_TRUE(db.ClosedCleanly());
    EXPECT_EQ(ReadDrawer(QORSimContext(db.ContextID()).Distributions()[0], ref.a.size()), ref.a);
  }
}

TEST_F(StoreDatabase, InMemoryDatabasesAndChunkSizesAsGiven) {
  // (Values in in-memory databases: the chunk path test.) Two of one name stay apart and leave no file.
  QORSimDatabase db, second;
  db.CreateInMemory("model");
  second.CreateInMemory("model");
  EXPECT_NE(second.ContextID(), db.ContextID());
  second.Close();
  // Chunks larger than the matrix, or as large as one dimension: accepted, reported as given, and usable.
  const StoredMatrix big = MakeMatrix(db.ContextID(), 5, 4, 100, 100), whole = MakeMatrix(db.ContextID(), 5, 4, 2, 4);
  EXPECT_EQ(QORSimDistribution(big.id).QueryDrawers()[0].ChunkSizes(), (QORSimArray<int>{100, 100}));
  EXPECT_EQ(QORSimDistribution(whole.id).QueryDrawers()[0].ChunkSizes(), (QORSimArray<int>{4, 2}));
  Reference ref(5, 4);
  WriteBlock(whole, ref, 0, 4, 0, 3, 0);
  EXPECT_EQ(ReadDrawer(whole.id, 20), ref.a);
  db.Close();
  EXPECT_FALSE(std::ifstream("model").good());
}

TEST_F(StoreDatabase, CacheSizeAndChunkAllocation) {
  QORSimDatabase db;
  db.Create(Path("cache.sim").c_str());
  StoredMatrix m = MakeMatrix(db.ContextID(), 40, 30, 10, 10, 2.0);
  QORSimDistribution dist(m.id);
  EXPECT_EQ(dist.SetCacheSize(8 * 100 * 3), 1u << 20);  // the previous size: HDF5's default
  EXPECT_EQ(dist.SetCacheSize(1u << 16), 8u * 100 * 3);
  dist.SecondaryCache(1);
  const QORSimDrawerID drawer = dist.QueryDrawers()[0].DrawerID();
  std::vector<double> piece = {1, 2, 3, 4};
  RangeTransfer(m, 19, 20, 12, 13, piece.data(), true);  // rows straddle row chunks 1 and 2, column chunk 1
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_EQ(dist.ChunkAllocated(drawer, {c, r}), c == 1 && (r == 1 || r == 2)) << c << r;
  // Partial accesses with a cache that holds a chunk give the same values.
  Reference ref(40, 30, 2.0);
  ref(19, 12) = 1, ref(20, 12) = 2, ref(19, 13) = 3, ref(20, 13) = 4;
  EXPECT_EQ(ReadDrawer(m.id, 1200), ref.a);
  StoredMatrix flat = MakeMatrix(db.ContextID(), 4, 3, 0, 0);
  QORSimDistribution fd(flat.id);
  EXPECT_FALSE(fd.ChunkAllocated(fd.QueryDrawers()[0].DrawerID(), {0, 0}));
  RangeTransfer(flat, 0, 0, 0, 0, piece.data(), true);
  EXPECT_TRUE(fd.ChunkAllocated(fd.QueryDrawers()[0].DrawerID(), {0, 0}));
}
