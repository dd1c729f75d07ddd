// Sparse drawers: compressed rows written and read back whole (through the transfer's four buffers), kept across
// close and reopen, described, and refused when the rows or the file are not valid (the damage names the datasets).
#include <gtest/gtest.h>
#include <hdf5.h>

#include <cstring>
#include <string>
#include <vector>

#include "store_test_util.h"

using namespace store_test;

namespace {

class StoreSparse : public StoreTest {};

const std::vector<double> kDense = {4, 1, 0, 2, 1, 5, 0, 0, 0, 0, 6, 3, 2, 0, 3, 7};  // 4 x 4, symmetric

}  // namespace

TEST_F(StoreSparse, CompressedRowsRoundTripAcrossReopen) {
  const std::string path = Path("sparse.sim");
  struct Case {
    bool symmetric, family;  // family: a leading identifier dimension of one member
    int base, rows, cols;
  };
  const Case cases[] = {{false, false, 0, 4, 4}, {true, false, 1, 4, 4},  {false, true, 1, 4, 4},
                        {true, true, 0, 4, 4},   {false, false, 0, 2, 3}, {false, false, 0, 0, 3}};
  std::vector<Csr> written;
  {
    QORSimDatabase db;
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    const QORSimCollectionID id = ctx.CreateCollection(1, QORSimTypeID(), "ids");
    for (const Case& c : cases) {
      const QORSimCollectionID rows = ctx.CreateCollection(c.rows), cols = ctx.CreateCollection(c.cols);
      std::vector<QORSimCSetID> sets = {Whole(rows), Whole(cols)};
      if (c.family) sets.insert(sets.begin(), Whole(id));
      const QORSimDistributionID dist = ctx.CreateDistribution(
          c.family ? QORSimGrid{id, rows, cols} : QORSimGrid{rows, cols}, QORSimRangeType(QORSimDoubleKey));
      std::vector<double> dense(static_cast<size_t>(c.rows) * c.cols);
      for (int i = 0; i < c.rows; ++i)
        for (int j = 0; j < c.cols; ++j)
          dense[static_cast<size_t>(i) * c.cols + j] = kDense[static_cast<size_t>(i) * 4 + j];
      written.emplace_back(c.rows, c.cols, dense, c.symmetric, c.base);
      SparseTransfer(dist, sets, written.back(), c.symmetric, true);
    }
    db.Close();
  }
  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  const QORSimArray<QORSimDistributionID> dists = QORSimContext(db.ContextID()).Distributions();
  ASSERT_EQ(dists.Size(), 6);
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    const QORSimDrawerDescription d = QORSimDistribution(dists[k]).QueryDrawers()[0];
    const Csr& w = written[static_cast<size_t>(k)];
    EXPECT_EQ(d.NumNonZero(), static_cast<int64_t>(w.values.size()));
    EXPECT_EQ(d.IsSymmetric(), cases[k].symmetric);
    EXPECT_EQ(d.DataSizeItems(QORSimbufSparseMap), w.rows + 1);
    Csr back = w;
    for (int slot = 0; slot < 4; ++slot)
      if (back.Bytes(slot)) std::memset(back.Buffer(slot), 0xff, back.Bytes(slot));
    const QORSimArray<QORSimCSetID> sets = d.Compartment().Sets();
    SparseTransfer(dists[k], std::vector<QORSimCSetID>(sets.begin(), sets.end()), back, cases[k].symmetric, false);
    EXPECT_TRUE(back == w);
  }
}

TEST_F(StoreSparse, InvalidRowsAndDamagedDrawersAreRefused) {
  const std::string path = Path("bad.sim");
  Csr good(4, 4, kDense, false, 0);
  auto make = [&](Csr m) {
    QORSimDatabase db;
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    const QORSimCollectionID rows = ctx.CreateCollection(4), cols = ctx.CreateCollection(4);
    const QORSimDistributionID dist = ctx.CreateDistribution(QORSimGrid{rows, cols}, QORSimRangeType(QORSimDoubleKey));
    SparseTransfer(dist, {Whole(rows), Whole(cols)}, m, false, true);
    db.Close();
  };
  Csr descending = good, outside = good;
  std::swap(descending.starts[1], descending.starts[2]);
  outside.columns.back() = 4;
  EXPECT_STORE_FAILURE(make(descending), "ExecWrite on distribution 0 of '" + path +
                                             "': the compressed rows are not valid: its row starts descend at row 1");
  EXPECT_STORE_FAILURE(make(outside),
                       "the compressed rows are not valid: its column index 4 (value 9) lies outside "
                       "the 4 columns");
  // Damaged in the file: row starts that descend (met when read), a values dataset of another length (at open).
  const std::string drawer = "/distributions/0/drawer0";
  auto damage = [&](const char* dataset, const std::vector<int>& ints) {
    make(good);
    hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    const std::string where = drawer + "/" + dataset;
    H5Ldelete(f, where.c_str(), H5P_DEFAULT);
    hsize_t n = ints.size();
    hid_t space = H5Screate_simple(1, &n, nullptr);
    hid_t ds = H5Dcreate2(f, where.c_str(), H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    H5Dwrite(ds, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, ints.data());
    H5Dclose(ds);
    H5Sclose(space);
    H5Fclose(f);
  };
  auto read = [&] {
    QORSimDatabase db;
    db.Open(path.c_str(), QORSimDatabase::ReadOnly);
    Csr m = good;
    SparseTransfer(QORSimContext(db.ContextID()).Distributions()[0],
                   {Whole(QORSimCollectionID(db.ContextID(), 0)), Whole(QORSimCollectionID(db.ContextID(), 1))}, m,
                   false, false);
  };
  damage("row_starts", {0, 3, 2, 5, 8});
  EXPECT_STORE_FAILURE(read(),
                       "damaged data-store database: the sparse drawer's compressed rows are not valid: its "
                       "row starts descend at row 1 (3 then 2) on data-store database '" +
                           path + "', object '" + drawer + "'");
  damage("column_indices", {0, 1});
  EXPECT_STORE_FAILURE(read(),
                       "damaged data-store database: dataset 'column_indices' of the sparse drawer should hold "
                       "10 integers on data-store database '" +
                           path + "', object '" + drawer + "'");
}
