// Element-matrix families as the store lays them out: thousands of small drawers and identifier sets written and read
// back exactly (pending, flushed, reopened, overwritten, in order and out of it) in a few large transfers, readable
// with h5dump, and a damaged pool refused at open naming the file and the object.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "QORMtxMultiMatrix.h"
#include "QORSimCounters.h"
#include "families_test_util.h"
#include "qormtx_death.h"

namespace {

struct PoolCase {
  const char* name;
  int rank;        // 2: (identifiers, positions); 3: (identifiers, columns, rows)
  bool symmetric;
  int drawers;
  int ids;         // identifiers per drawer
  int width;       // rank 2: most positions per drawer (drawer k has k % (width + 1), so some none); rank 3: order
};

const PoolCase kCases[] = {
    {"rank 2, mixed sizes over several pieces", 2, false, 5000, 1, 120},
    {"rank 2 symmetric, several identifiers per drawer", 2, true, 300, 3, 10},
    {"rank 3 symmetric upper triangles", 3, true, 500, 1, 6},
    {"rank 3 full matrices of two identifiers", 3, false, 200, 2, 4},
};

// The family of one case in the store, and what each drawer must hold.
struct Family {
  QORSimDistributionID id;
  std::vector<std::vector<int>> ids;
  std::vector<std::vector<double>> values;
};

double Value(int drawer, size_t item, int round) { return drawer * 1000.0 + static_cast<double>(item) + 0.25 * round; }

class FamilyLayout : public families_test::StoredTest {
 public:
  QORSimSerializationType Kind(bool symmetric) {
    QORSimSerializationType kind;
    if (symmetric)
      kind.SetMeiSymmetric();
    else
      kind.SetMei();
    return kind;
  }

  Family Make(const PoolCase& c) {
    QORSimContext ctx(Ctx());
    const QORSimCollectionID idColl = ctx.CreateCollection(1 << 20), second = ctx.CreateCollection(1000),
                             rowColl = ctx.CreateCollection(1000);
    Family f;
    f.id = c.rank == 2 ? ctx.CreateDistribution(QORSimGrid{idColl, second}, QORSimRangeType(QORSimDoubleKey))
                       : ctx.CreateDistribution(QORSimGrid{idColl, second, rowColl}, QORSimRangeType(QORSimDoubleKey));
    Append(f, c, c.drawers);
    return f;
  }

  // Appends n drawers of the case (identifiers continue after the family's last).
  void Append(Family& f, const PoolCase& c, int n) {
    const QORSimDistribution dist(f.id);
    const QORSimGrid grid = dist.Grid();
    const QORSimCollectionID idColl = grid.CollectionID(0), second = grid.CollectionID(1);
    const QORSimCSetID cols = QORSimCollection(second).CreateCSetStrided(0, c.width, 1);
    const QORSimCSetID rows =
        c.rank == 3 ? QORSimCollection(grid.CollectionID(2)).CreateCSetStrided(0, c.width, 1) : cols;
    for (int k = 0; k < n; ++k) {
      const int drawer = static_cast<int>(f.ids.size());
      std::vector<int> ids;
      for (int i = 0; i < c.ids; ++i) ids.push_back(7 * (drawer * c.ids + i) + 3);
      std::vector<int> positions;
      for (int p = 0; p < drawer % (c.width + 1); ++p) positions.push_back(3 * p + drawer % 3);
      const size_t per = c.rank == 2 ? positions.size()
                                     : static_cast<size_t>(c.symmetric ? c.width * (c.width + 1) / 2 : c.width * c.width);
      std::vector<double> values(per * static_cast<size_t>(c.ids));
      for (size_t i = 0; i < values.size(); ++i) values[i] = Value(drawer, i, 0);
      QORSimTransfer t{dist};
      t.SetMakeNewDrawer();
      t.SetWrite();
      t.SetBufferPadding(false);
      t.SetSerialization(Kind(c.symmetric));
      t.SetDim(0, QORSimCollection(idColl).CreateOrderedCSet(ids.data(), c.ids));
      t.SetDim(1, c.rank == 2 ? QORSimCollection(second).CreateOrderedCSet(positions.data(),
                                                                           static_cast<int>(positions.size()))
                              : cols);
      if (c.rank == 3) t.SetDim(2, rows);
      t.CheckView();
      t.SetBuffer(values.data(), values.size() * sizeof(double));
      t.ExecWrite();
      t.RelinquishBuffers();
      f.ids.push_back(ids);
      f.values.push_back(values);
    }
  }

  // Drawer k written again with new values.
  void Overwrite(Family& f, int k, int round) {
    std::vector<double>& values = f.values[static_cast<size_t>(k)];
    for (size_t i = 0; i < values.size(); ++i) values[i] = Value(k, i, round);
    const QORSimDrawerDescription d = QORSimDistribution(f.id).QueryDrawers()[k];
    QORSimTransfer t{QORSimDistribution(f.id)};
    t.SetWrite();
    t.SetBufferPadding(false);
    t.SetDrawer(d.DrawerID());
    t.SetDims(d.Compartment());
    t.CheckView();
    t.SetBuffer(values.data(), values.size() * sizeof(double));
    t.ExecWrite();
    t.RelinquishBuffers();
  }

  // Reads the drawers in the given order and compares items, identifiers and values with what was written.
  void Expect(const Family& f, const std::vector<int>& order, const std::string& when) {
    const QORSimDistribution dist(f.id);
    const QORSimArray<QORSimDrawerDescription> drawers = dist.QueryDrawers();
    ASSERT_EQ(drawers.Size(), static_cast<int>(f.ids.size())) << when;
    for (int k : order) {
      const std::vector<double>& expect = f.values[static_cast<size_t>(k)];
      const QORSimDrawerDescription& d = drawers[k];
      ASSERT_EQ(d.DataSizeItems(0), static_cast<int64_t>(expect.size())) << when << ", drawer " << k;
      const QORSimCSet ids(d.Compartment().CSetID(0));
      std::vector<int> members(static_cast<size_t>(ids.Size()));
      ids.OrderedMembers(members.data());
      EXPECT_EQ(members, f.ids[static_cast<size_t>(k)]) << when << ", drawer " << k;
      std::vector<double> values(expect.size(), -1.0);
      QORMtxDrawerCache::ReadWhole(dist, d, values.data(), values.size() * sizeof(double));
      ASSERT_EQ(values, expect) << when << ", drawer " << k;
    }
  }

  // The family's distribution keeps its number in the reopened database.
  void Reopen(Family& f) {
    m_db.Close();
    m_db.Open(DbPath().c_str());
    f.id = QORSimDistributionID(Ctx(), f.id.Number());
  }
};

std::vector<int> Forward(int n) {
  std::vector<int> v;
  for (int k = 0; k < n; ++k) v.push_back(k);
  return v;
}

// Backwards, then jumping by 7: every read misses the read-ahead window.
std::vector<int> Scattered(int n) {
  std::vector<int> v;
  for (int k = n - 1; k >= 0; --k) v.push_back(k);
  for (int k = 0; k < n; k += 7) v.push_back(k);
  return v;
}

}  // namespace

TEST_F(FamilyLayout, DrawersSurvivePiecesReopeningOverwritesAndAppends) {
  for (const PoolCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Family f = Make(c);
    Expect(f, Forward(c.drawers), "before the database is flushed");
    Overwrite(f, 1, 1);              // early: in the file once a piece went out, and in the last walk's read-ahead
    Overwrite(f, c.drawers - 1, 1);  // last: still waiting in memory
    Expect(f, Scattered(c.drawers), "after overwrites");
    Reopen(f);
    qorsim::ResetCounters();
    Expect(f, Forward(c.drawers), "after reopening");
    // A walk in order moves a piece at a time, never a transfer per drawer.
    uint64_t bytes = 0;
    for (const auto& v : f.values) bytes += v.size() * sizeof(double);
    EXPECT_LE(qorsim::Counters().poolPieces, bytes / (1u << 20) + 2);
    Expect(f, Scattered(c.drawers), "after reopening, out of order");
    Append(f, c, 70);
    Overwrite(f, c.drawers + 3, 2);
    Reopen(f);
    Expect(f, Forward(static_cast<int>(f.ids.size())), "after appending to a reopened family");
  }
}

TEST_F(FamilyLayout, FamiliesStillInMemoryAreKeptAtExitAndCommit) {
  // Smaller than a piece, so everything waits in memory: a writer that exits with its database open, and one killed
  // after a commit, both leave the whole family in the file.
  const PoolCase& c = kCases[1];
  Family f = Make(c);  // the reference: a fresh database's first distribution, as in each writer
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "killed after a commit" : "exit with the database open");
    const std::string path = Path(commit ? "committed.sim" : "left-open.sim");
    EXPECT_EXIT(
        {
          m_db.Close();
          m_db.Create(path.c_str());
          Make(c);
          if (!commit) std::exit(0);
          QORSimTransaction(Ctx()).Commit();
          _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    m_db.Close();
    m_db.Open(path.c_str());
    f.id = QORSimDistributionID(Ctx(), f.id.Number());
    Expect(f, Forward(c.drawers), path);
  }
}

TEST_F(FamilyLayout, PoolsAreReadableWithHdf5Tools) {
  Family f = Make(kCases[2]);  // rank 3 symmetric of order 6: 21 items per drawer
  m_db.Close();
  const std::string dump = Path("dump.txt");
  const std::string cmd = "h5dump -d /distributions/" + std::to_string(f.id.Number()) + "/elements/index -d " +
                          "/collections/collection0/set_pool/index " + DbPath() + " > " + dump + " 2>&1";
  const int status = std::system(cmd.c_str());
  m_db.Open(DbPath().c_str());
  if (std::system("h5dump --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "h5dump not available";
  ASSERT_EQ(status, 0);
  std::stringstream text;
  text << std::ifstream(dump).rdbuf();
  // Drawer 100: MEI symmetric (6 << 12), identifier set 100, the shared strided sets, items 2100 … 2120.
  EXPECT_NE(text.str().find("(100,0): 100, 24576, 100, 0, 0, -1, 2100, 21"), std::string::npos) << text.str();
  // Set 64 of the identifiers, the first in the set pool: ordered, one member.
  EXPECT_NE(text.str().find("(0,0): 64, 0, 0, 1, 1"), std::string::npos) << text.str();
}

namespace {

// One cell of a pool's table changed through the HDF5 C API (row kExtent: the dataset's row count set to value), and
// the refusal it must meet: the object named and the problem.
constexpr hsize_t kExtent = static_cast<hsize_t>(-1);
struct PoolDamage {
  std::string object;
  hsize_t row, column;
  long long value;
  std::string where, problem;
};

void Apply(const std::string& path, const PoolDamage& d) {
  hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  ASSERT_GE(f, 0);
  hid_t ds = H5Dopen2(f, d.object.c_str(), H5P_DEFAULT);
  ASSERT_GE(ds, 0) << d.object;
  hid_t space = H5Dget_space(ds);
  hsize_t dims[2] = {0, 0};
  H5Sget_simple_extent_dims(space, dims, nullptr);
  if (d.row == kExtent) {
    dims[0] = static_cast<hsize_t>(d.value);
    EXPECT_GE(H5Dset_extent(ds, dims), 0);
  } else {
    const hsize_t start[2] = {d.row, d.column}, count[2] = {1, 1};
    H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr);
    hsize_t one = 1;
    hid_t memory = H5Screate_simple(1, &one, nullptr);
    EXPECT_GE(H5Dwrite(ds, H5T_NATIVE_LLONG, memory, space, H5P_DEFAULT, &d.value), 0);
    H5Sclose(memory);
  }
  H5Sclose(space);
  H5Dclose(ds);
  H5Fclose(f);
}

}  // namespace

TEST_F(FamilyLayout, DamagedPoolsAreRefusedAtOpenNamingTheObject) {
  // Case 2's family: drawer k holds items 21k … 21k + 20; the identifier sets 64 … 99 are rows 0 … 35 of the set pool.
  Family f = Make(kCases[2]);
  m_db.Close();
  const std::string index = "/distributions/" + std::to_string(f.id.Number()) + "/elements/index";
  const std::string values = "/distributions/" + std::to_string(f.id.Number()) + "/elements/values";
  const std::string sets = "/collections/collection0/set_pool/index";
  const std::vector<PoolDamage> cases = {
      {index, 1, 6, 22, index, "index row 1: drawer 1 starts at item 22, the drawer before it ends at 21"},
      {index, 1, 7, 20, index, "index row 1: drawer 1 holds 20 items, its sets make 21"},
      {index, 499, 6, -21, index, "index row 499: drawer 499 starts at item -21, the drawer before it ends at 10479"},
      {index, 3, 0, 2, "/distributions/" + std::to_string(f.id.Number()), "drawer 2 is stored twice"},
      {index, 4, 1, 0, index, "index row 4: serialization 0 is not an element-matrix kind"},
      {index, 5, 2, 100000, index + " (drawer 5)",
       "dimension 0 names set 100000 of collection 'collection0', which is missing"},
      {index, 5, 2, 1LL << 40, index, "index row 5: column 2 holds 1099511627776, not an int"},
      {values, kExtent, 0, 10000, index, "index row 476: drawer 476 runs to item 10017, the values hold 10000"},
      {index, kExtent, 0, 100000, index, "the element pool's index claims 100000 rows but stores 65536 bytes"},
      {sets, 2, 1, 5, sets, "index row 2: kind 5 is neither 0 (ordered) nor 1"},
      {sets, 2, 3, 2, sets, "index row 435: set 499 needs 1 ordinals from 436, the pool holds 436"},
      {sets, 2, 3, 0, sets, "the set pool holds 436 ordinals, its index names 435"},
      {sets, 2, 3, -1, sets, "index row 2: the set has a negative count -1"},
      {sets, 3, 0, 64, sets, "index row 3: set 64 is stored twice"},
  };
  int k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    const std::string copy = Path("damaged" + std::to_string(k++) + ".sim");
    std::filesystem::copy_file(DbPath(), copy);
    Apply(copy, c);
    EXPECT_EXIT(
        {
          QORSimDatabase db;
          db.Open(copy.c_str());
        },
        ::testing::ExitedWithCode(1),
        qormtx_test::Literal("Validation failed: damaged data-store database: " + c.problem +
                             " on data-store database '" + copy + "', object '" + c.where + "'"));
  }
  m_db.Open(DbPath().c_str());
}

// ---- The bulk family's value stream moves in pieces ----

#include "QORBasMemInfo.h"
#include "QORMtxBulkMultiMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"

TEST_F(FamilyLayout, BulkFamilyValuesSurvivePieceBoundaries) {
  // With 1 MB of memory a piece is 1 % of it: 1309 values, 187 columns of the 7-row stream; the family spans several
  // pieces, so values are written when a piece fills, at reset, and read ahead piece after piece.
  struct Memory {
    Memory() { QORBasMemInfo::SetPhysicalOverride(1); }
    ~Memory() { QORBasMemInfo::SetPhysicalOverride(0); }
  } memory;
  for (bool symmetric : {false, true}) {
    SCOPED_TRACE(symmetric ? "symmetric" : "unsymmetric");
    const std::vector<families_test::Element> family = families_test::MakeFamily(1000, symmetric, 17);
    QORSimContext ctx(Ctx());
    const QORSimDistributionID loc = ctx.CreateDistribution(
        QORSimGrid{ctx.CreateCollection(1000), ctx.CreateCollection(1)}, QORSimRangeType(QORSimIntKey));
    const QORSimDistributionID ind =
        ctx.CreateDistribution(QORSimGrid{ctx.CreateCollection(25)}, QORSimRangeType(QORSimIntKey));
    const QORSimDistributionID val =
        QORMtxUtilities::Create2DDistribution(QORSimCollection(ctx.CreateCollection(7)).BiggestCSetID(),
                                              QORSimCollection(ctx.CreateCollection(1)).BiggestCSetID(), 7, 4);
    size_t total = 0;
    {
      QORMtxBulkMultiMatrix m(loc, ind, val, symmetric, 3);
      for (const families_test::Element& e : family) {
        m.AddMatrix(e.label, static_cast<int>(e.positions.size()), e.positions.data(), e.values.data());
        total += e.values.size();
      }
      int numIndsets = 0, numFull = 0, rows = 0, cols = 0;
      m.Sizes(numIndsets, numFull, rows, cols);  // counts the values still on their way
      EXPECT_GE(static_cast<size_t>(rows) * cols, total);
      EXPECT_LT(static_cast<size_t>(rows) * cols, total + 7 * 3);
    }
    ASSERT_GT(total, 3u * 1309u);
    const QORMtxBulkMultiMatrix m(loc, ind, val, symmetric, 3);
    ASSERT_EQ(m.NumMatrices(), static_cast<int>(family.size()));
    for (int k = 0; k < m.NumMatrices(); ++k) {
      const families_test::Element& e = family[static_cast<size_t>(k)];
      if (k % 2) {
        QORMtxMatrix out(e.order, e.order);
        m.GetMatrix(k, out);
        ASSERT_EQ(std::vector<double>(out.Values(), out.Values() + e.order * e.order), e.Full().a) << k;
      } else {
        std::vector<double> values(e.values.size());
        const int* positions = m.GetEntries(k, values.data());
        ASSERT_EQ(std::vector<int>(positions, positions + e.positions.size()), e.positions) << k;
        ASSERT_EQ(values, e.values) << k;
      }
    }
  }
}
