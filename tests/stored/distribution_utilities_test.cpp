// Distribution utilities: colour variants, chunk rules, integer vectors, ordinals and ordinal maps.
#include "QORMtxUtilities.h"
#include "mem_Alloc.h"
#include "omi_IntTable.h"
#include "omi_Set.h"
#include "stored_util.h"

namespace {

using stored_test::StoredTest;
using Dist = StoredTest;

QORSimDrawerDescription Drawer(const QORSimDistributionID& id) { return QORSimDistribution(id).QueryDrawers()[0]; }

TEST_F(Dist, SquareMatrixOverOneSetMovesColumnsToColourOne) {
  const QORSimCSetID set = NewSet(6);
  QORSimPosition pos(Ctx());
  for (const QORSimDistributionID& id : {QORMtxUtilities::Create2DDistribution(set, set, 4, 4),
                                         QORMtxUtilities::Create2DDistribution(pos, -1, set, set, 4, 4),
                                         QORMtxUtilities::Create2DIntegerDistribution(set, set)}) {
    const QORSimDistribution dist(id);
    EXPECT_EQ(dist.Grid().CollectionID(0), set.CollectionID().AltColor(1));
    EXPECT_EQ(dist.Grid().CollectionID(1), set.CollectionID());
    EXPECT_EQ(Drawer(id).DimensionSizes(), (QORSimArray<int>{6, 6}));
    EXPECT_EQ(Drawer(id).Compartment().CSetID(0), set.AltColor(1));
  }
  EXPECT_EQ(Drawer(QORMtxUtilities::Create2DIntegerDistribution(set, set)).DataTypeKey(), QORSimIntKey);
}

TEST_F(Dist, ChunkRulesWithAndWithoutPosition) {
  const QORSimCSetID rows = NewSet(5), cols = NewSet(3);
  QORSimPosition pos(Ctx());
  struct Case {
    bool position;
    int rowChunk, colChunk;
    bool chunked;
    QORSimArray<int> chunks;  // [col, row]
    int extendable;
  };
  const Case cases[] = {
      {true, 8, 8, false, {}, 0},    {false, 8, 8, true, {8, 8}, 0}, {true, 2, 8, true, {3, 2}, 0},
      {true, -1, -1, false, {}, 0},  {false, -1, -1, false, {}, -1}, {false, 2, -1, true, {3, 2}, 0},
      {true, 5, 2, true, {2, 5}, 0},
  };
  for (const Case& c : cases) {
    const QORSimDistributionID id =
        c.position ? QORMtxUtilities::Create2DDistribution(pos, -1, rows, cols, c.rowChunk, c.colChunk)
                   : QORMtxUtilities::Create2DDistribution(rows, cols, c.rowChunk, c.colChunk);
    const QORSimDrawerDescription d = Drawer(id);
    EXPECT_EQ(d.IsChunked(), c.chunked) << c.rowChunk << " " << c.colChunk << " " << c.position;
    if (c.chunked) {
      EXPECT_EQ(d.ChunkSizes(), c.chunks);
    }
    EXPECT_EQ(d.ExtendableDim(), c.extendable);
  }
  EXPECT_FALSE(Drawer(QORMtxUtilities::Create1DDistribution(rows, -1)).IsChunked());
  const QORSimDistribution typed(QORMtxUtilities::Create1DDistribution(pos, 7, rows, 2));
  EXPECT_EQ(typed.QueryDrawers()[0].ChunkSizes(), (QORSimArray<int>{2}));
  EXPECT_EQ(typed.Type().Number(), 7);
}

TEST_F(Dist, CreateDistributionReversesRefusesTwoSharedPairsAndMakesSparse) {
  const QORSimCSetID a = NewSet(2), b = NewSet(3), c = NewSet(4);
  QORSimPosition pos(Ctx());
  const QORSimDistributionID id = QORMtxUtilities::CreateDistribution(pos, -1, {a, b, c}, {1, 2, 3}, false);
  EXPECT_EQ(Drawer(id).DimensionSizes(), (QORSimArray<int>{4, 3, 2}));
  EXPECT_EQ(Drawer(id).ChunkSizes(), (QORSimArray<int>{3, 2, 1}));
  const QORSimDistributionID shared = QORMtxUtilities::CreateDistribution(pos, 2, {a, b, a}, {}, true);
  EXPECT_EQ(QORSimDistribution(shared).Grid().CollectionID(2), a.CollectionID().AltColor(1));
  EXPECT_FALSE(Drawer(shared).IsChunked());
  EXPECT_TRUE(QORMtxUtilities::CreateDistribution(pos, -1, {a, a, a}, {}, false).IsNull());
  EXPECT_TRUE(QORMtxUtilities::IsMultiMatrix(QORSimDistribution(id)));
  EXPECT_FALSE(QORMtxUtilities::IsDenseMatrix(QORSimDistribution(id)));
  EXPECT_TRUE(QORMtxUtilities::IsDenseMatrix(QORSimDistribution(QORMtxUtilities::Create2DDistribution(a, b, -1, -1))));
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::CreateDistribution(pos, -1, {a, b}, {1}, false),
                          "chunkSizes.Size() == dimension");
  // A sparse distribution over one set: rows first, the column set moved to colour 1, no drawer yet.
  QORSimCSetID rows = NewSet(4), cols = rows;
  const QORSimDistribution sparse(QORMtxUtilities::CreateSparseDistribution(rows, cols));
  EXPECT_EQ(cols, rows.AltColor(1));
  EXPECT_EQ(sparse.Grid().CollectionID(0), rows.CollectionID());
  EXPECT_EQ(sparse.NumDrawers(), 0);
}

TEST_F(Dist, IntegerVectorsOrdinalsDomainsAndSubsets) {
  QORSimCollection coll(QORSimContext(Ctx()).CreateCollection(20));
  const int ords[] = {7, 2, 9};
  const QORSimCSetID set = coll.CreateOrderedCSet(ords, 3);
  const int values[] = {-4, 11, 30};
  const QORSimDistributionID id = QORMtxUtilities::Write1DIntegerDistribution(set, values, 3);
  QORSimCSetID got;
  QORBasVector<int> v{99};
  QORMtxUtilities::Read1DIntegerDistribution(id, got, v);
  EXPECT_EQ(v, (QORBasVector<int>{-4, 11, 30}));
  QORBasVector<int> gotOrds;
  QORMtxUtilities::GetOrdinals(got, gotOrds);
  EXPECT_EQ(gotOrds, (QORBasVector<int>{7, 2, 9}));

  const QORSimCSetID empty = coll.CreateOrderedCSet(ords, 0);
  QORMtxUtilities::Read1DIntegerDistribution(QORMtxUtilities::Write1DIntegerDistribution(empty, values, 0), got, v);
  EXPECT_TRUE(v.empty() && got.CollectionID() == empty.CollectionID());
  QORSimCSetID untouched = set;  // a null distribution leaves both outputs alone
  v = {5};
  QORMtxUtilities::Read1DIntegerDistribution(QORSimDistributionID(), untouched, v);
  EXPECT_TRUE(untouched == set && v == QORBasVector<int>{5});
  EXPECT_QORMTX_ASSERTION(
      QORMtxUtilities::Read1DIntegerDistribution(QORMtxUtilities::Create1DDistribution(set, -1), got, v),
      "drawerDescriptions[0].DataTypeKey() == QORSimIntKey");
  EXPECT_QORMTX_ASSERTION(
      QORMtxUtilities::Read1DIntegerDistribution(QORMtxUtilities::Create2DIntegerDistribution(set, NewSet(2)), got, v),
      "dist.NumDimensions() == 1");

  // Ordinals as a new array and as a vector (a null set has none), domains, subsets.
  const int ords4[] = {12, 3, 8, 15};
  const QORSimCSetID set4 = coll.CreateOrderedCSet(ords4, 4);
  int n = 0;
  int* arr = QORMtxUtilities::GetOrdinals(set4, n);
  EXPECT_EQ(std::vector<int>(arr, arr + n), std::vector<int>(ords4, ords4 + 4));
  mem_Free(arr);
  v = {1, 2};
  QORMtxUtilities::GetOrdinals(QORSimCSetID(), v);
  EXPECT_TRUE(v.empty());

  omi_Set domain;
  domain.Insert(100);
  QORMtxUtilities::AddDomain(set4, domain);
  EXPECT_EQ(domain.Size(), 5);
  QORMtxUtilities::GetDomain(set4, domain);
  QORBasVector<int> members;
  domain.Members(members);
  EXPECT_EQ(members, (QORBasVector<int>{3, 8, 12, 15}));

  EXPECT_EQ(QORMtxUtilities::SubCSet(set4, 2, 4), set4);
  EXPECT_TRUE(QORMtxUtilities::SubCSet(QORSimCSetID(), 0, 1).IsNull());
  QORMtxUtilities::GetOrdinals(QORMtxUtilities::SubCSet(set4, 1, 2), v);
  EXPECT_EQ(v, (QORBasVector<int>{3, 8}));
}

std::vector<std::pair<int, int>> Pairs(const omi_IntTable<int>& map) {
  std::vector<std::pair<int, int>> out;
  for (omi_IntTableIterator<int> it(map); !it.IsDone(); it.Next()) out.emplace_back(it.CurrentKey(), it.CurrentValue());
  return out;
}

TEST_F(Dist, OrdinalMaps) {
  using P = std::vector<std::pair<int, int>>;
  omi_IntTable<int> map;
  const int a[] = {5, -1, 7}, b[] = {7, 5};
  QORMtxUtilities::MapIntArrays(a, 3, b, 2, map);
  EXPECT_EQ(Pairs(map), (P{{0, 1}, {2, 0}}));
  const int negB[] = {-1, -1, 5};
  QORMtxUtilities::MapIntArrays(a, 3, negB, 3, map);  // negatives repeat freely and never match
  EXPECT_EQ(Pairs(map), (P{{0, 2}}));
  QORMtxUtilities::MapIntArrays(a, 0, b, 2, map);
  EXPECT_TRUE(map.IsEmpty());
  QORMtxUtilities::MapIntVectors({1, 2, 3}, {3, 2, 1, 0}, map);
  EXPECT_EQ(Pairs(map), (P{{0, 2}, {1, 1}, {2, 0}}));

  QORSimCollection coll(QORSimContext(Ctx()).CreateCollection(10));
  const int oa[] = {4, 6, 9}, ob[] = {9, 1, 4};
  QORMtxUtilities::MapCSets(coll.CreateOrderedCSet(oa, 3), coll.CreateOrderedCSet(ob, 3), map);
  EXPECT_EQ(Pairs(map), (P{{0, 2}, {2, 0}}));

  const int rep[] = {3, 3};
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::MapIntArrays(a, 3, rep, 2, map), "mapInvB.Insert(arrB[i], i)");
  QORMtxUtilities::MapIntArrays(rep, 2, b, 2, map);  // a's repeats go unchecked outside debug
  EXPECT_QORMTX_ASSERTION(
      {
        QORMtxUtilities::SetDebug(true);
        QORMtxUtilities::MapIntArrays(rep, 2, b, 2, map);
      },
      "mapInvA.Insert(arrA[i], i)");
}

}  // namespace
