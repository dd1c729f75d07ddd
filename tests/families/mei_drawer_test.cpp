// Element-matrix drawers of the data store: items, values and positions through transfers and a reopened file.
#include <gtest/gtest.h>

#include "families_test_util.h"

namespace {

struct MeiCase {
  int rank;        // 2: (identifiers, positions); 3: (identifiers, columns, rows)
  bool symmetric;
  int ids, cols, rows;  // rank 2: cols = number of positions
  std::vector<int> expectPositions;
};

// Flat positions of the items of one matrix, written out by hand for each case.
const MeiCase kCases[] = {
    {2, false, 3, 4, 0, {7, 0, 5, 2}},  // the position set's ordinals, in set order
    {2, true, 1, 2, 0, {0, 2}},
    {3, false, 2, 2, 3, {0, 1, 2, 3, 4, 5}},
    {3, true, 2, 3, 3, {0, 3, 4, 6, 7, 8}},  // upper triangle by columns
    {3, false, 1, 1, 1, {0}},
};

}  // namespace

class FamiliesMeiDrawer : public families_test::StoredTest {};

TEST_F(FamiliesMeiDrawer, ItemsValuesAndPositionsSurviveReopen) {
  QORSimContext ctx(Ctx());
  std::vector<std::pair<int, std::vector<double>>> written;  // distribution number, values
  for (const MeiCase& c : kCases) {
    const QORSimCollectionID idColl = ctx.CreateCollection(100), colColl = ctx.CreateCollection(10);
    const QORSimCollectionID rowColl = ctx.CreateCollection(10);
    std::vector<int> idOrds;
    for (int k = 0; k < c.ids; ++k) idOrds.push_back(90 - 7 * k);
    const QORSimCSetID ids = QORSimCollection(idColl).CreateOrderedCSet(idOrds.data(), c.ids);
    QORSimCSetID second = c.rank == 2 ? QORSimCollection(colColl).CreateOrderedCSet(c.expectPositions.data(), c.cols)
                                      : QORSimCollection(colColl).CreateCSetStrided(0, c.cols, 1);
    const QORSimCSetID rows = QORSimCollection(rowColl).CreateCSetStrided(0, c.rows, 1);
    const QORSimDistributionID id =
        c.rank == 2 ? ctx.CreateDistribution(QORSimGrid{idColl, colColl}, QORSimRangeType(QORSimDoubleKey))
                    : ctx.CreateDistribution(QORSimGrid{idColl, colColl, rowColl}, QORSimRangeType(QORSimDoubleKey));
    const size_t per = c.expectPositions.size();
    std::vector<double> values(c.ids * per);
    for (size_t k = 0; k < values.size(); ++k) values[k] = store_test::Value(static_cast<int>(k), c.rank, c.symmetric);
    QORSimSerializationType ser;
    if (c.symmetric)
      ser.SetMeiSymmetric();
    else
      ser.SetMei();
    QORSimTransfer t{QORSimDistribution(id)};
    t.SetMakeNewDrawer();
    t.SetWrite();
    t.SetBufferPadding(false);
    t.SetSerialization(ser);
    t.SetDim(0, ids);
    if (c.rank == 3) t.SetDim(2, rows);  // dimensions may be named in any order
    t.SetDim(1, second);
    store_test::Exec(t, values, true);
    const QORSimDrawerDescription d = QORSimDistribution(id).QueryDrawers()[0];
    EXPECT_EQ(d.DataSizeItems(0), static_cast<int64_t>(values.size()));
    EXPECT_EQ(d.SerializationType().IsMeiSymmetric(), c.symmetric);
    EXPECT_EQ(d.SerializationType().IsMei(), !c.symmetric);
    written.push_back({id.Number(), values});
  }
  m_db.Close();
  m_db.Open(DbPath().c_str());
  for (size_t k = 0; k < written.size(); ++k) {
    const QORSimDistributionID id(Ctx(), written[k].first);
    const QORSimDrawerDescription d = QORSimDistribution(id).QueryDrawers()[0];
    std::vector<double> values(static_cast<size_t>(d.DataSizeItems(0)), -1.0);
    std::vector<int> positions(kCases[k].expectPositions.size(), -1);
    QORSimTransfer t{QORSimDistribution(id)};
    t.SetRead();
    t.SetBufferPadding(false);
    t.SetDims(d.Compartment());
    t.CheckView();
    EXPECT_EQ(t.RequiredBufferSize(1), positions.size() * sizeof(int));
    t.SetBuffer(1, positions.data(), positions.size() * sizeof(int));
    store_test::Exec(t, values, false);
    EXPECT_EQ(values, written[k].second) << "case " << k;
    EXPECT_EQ(positions, kCases[k].expectPositions) << "case " << k;
  }
}

TEST_F(FamiliesMeiDrawer, RefusesWhatItCannotHold) {
  QORSimContext ctx(Ctx());
  const QORSimCollectionID a = ctx.CreateCollection(3), b = ctx.CreateCollection(3), c = ctx.CreateCollection(2);
  const QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{a, b, c}, QORSimRangeType(QORSimDoubleKey));
  QORSimSerializationType ser;
  ser.SetMeiSymmetric();
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetMakeNewDrawer();
  t.SetWrite();
  t.SetSerialization(ser);
  t.SetDim(0, store_test::Whole(a));
  t.SetDim(1, store_test::Whole(b));
  t.SetDim(2, store_test::Whole(c));
  EXPECT_DEATH(t.CheckView(), "2 rows and 3 columns; a symmetric matrix is square");
}

// ---- Sparse distribution info: only a two-dimensional distribution with one sparse drawer is described ----

#include "QORMtxCompactMultiMatrix.h"
#include "QORMtxSparseDistInfo.h"
#include "QORMtxUtilities.h"

TEST_F(FamiliesMeiDrawer, SparseInfoOfWhatIsNotSparseIsNull) {
  QORSimContext ctx(Ctx());
  const QORSimCSetID a = NewSet(3), b = NewSet(4), c = NewSet(2);
  QORSimPosition pos{Ctx()};
  const QORSimDistributionID dense = QORMtxUtilities::Create2DDistribution(a, b, -1, -1);
  const QORSimDistributionID three = QORMtxUtilities::CreateDistribution(pos, -1, {a, b, c}, {}, false);
  const QORSimDistributionID twoDrawers = QORMtxUtilities::Create2DDistribution(a, b, -1, -1);
  store_test::MakeDrawer(twoDrawers, {b, QORSimCollection(a.CollectionID()).CreateCSetStrided(0, 2, 1)}, {});
  const QORSimDistributionID element =
      ctx.CreateDistribution(QORSimGrid{a.CollectionID(), b.CollectionID()}, QORSimRangeType(QORSimDoubleKey));
  const double value = 1.0;
  QORMtxCompactMultiMatrix(element).AddMatrix(QORSimCollection(a.CollectionID()).CreateCSetStrided(0, 1, 1),
                                              QORSimCollection(b.CollectionID()).CreateCSetStrided(0, 1, 1), &value,
                                              false);
  for (const QORSimDistributionID& id : {QORSimDistributionID(), dense, three, twoDrawers, element}) {
    const QORMtxSparseDistInfo info(id);
    EXPECT_TRUE(info.IsNull());
    EXPECT_EQ(info.NumRows() + info.NumCols() + info.NumEntries(), 0);
    EXPECT_TRUE(info.RowCSetID().IsNull() && info.ColCSetID().IsNull());
    EXPECT_QORMTX_ASSERTION(info.IsSymmetric(), "!IsNull()");
  }
}

TEST_F(FamiliesMeiDrawer, SparseInfoDescribesSparseDrawers) {
  for (bool symmetric : {false, true}) {  // row-major 4 x 3 (six entries), or 4 x 4 (two above the diagonal)
    const int cols = symmetric ? 4 : 3;
    const std::vector<double> dense = symmetric ? std::vector<double>{4, 1, 0, 0, 5, 0, 0, 0, 0, 0, 6, 3, 0, 0, 0, 7}
                                                : std::vector<double>{4, 1, 0, 0, 5, 0, 0, 0, 6, 3, 0, 7};
    QORSimCSetID rowSet = NewSet(4), colSet = NewSet(cols);  // CreateSparseDistribution takes them by reference
    const QORSimDistributionID id = QORMtxUtilities::CreateSparseDistribution(rowSet, colSet);
    store_test::Csr m(4, cols, dense, symmetric, 0);
    store_test::SparseTransfer(id, {rowSet, colSet}, m, symmetric, true);
    const QORMtxSparseDistInfo info(id);
    ASSERT_FALSE(info.IsNull());
    EXPECT_EQ(info.NumRows(), 4);
    EXPECT_EQ(info.NumCols(), cols);
    EXPECT_EQ(info.NumEntries(), symmetric ? 2 : 6);
    EXPECT_EQ(info.IsSymmetric(), symmetric);
    EXPECT_EQ(info.RowCSetID(), rowSet);
    EXPECT_EQ(info.ColCSetID(), colSet);
  }
}
