// Integer matrices through the store, the fill-value array, and the adjacency pattern with its greedy split.
#include <gtest/gtest.h>

#include <numeric>

#include "QORMtxAdjacencyMatrix.h"
#include "QORMtxArray.h"
#include "QORMtxIntMatrix.h"
#include "QORMtxUtilities.h"
#include "families_test_util.h"

using families_test::StoredTest;

// ---- QORMtxArray: every slot exposed by growth reads the fill value, against a vector model ----

TEST(FamiliesArray, InsertsAndGrowthKeepFillValue) {
  struct Case {
    long long capacity;
    std::vector<std::pair<long long, int>> inserts;
    long long grow, expectCapacity, expectSize;
  };
  const Case cases[] = {
      {4, {{10, 7}}, 0, 16, 11},               // doubled until it exceeds the index
      {4, {{3, 1}}, 0, 4, 4},                  // last slot of the buffer: no growth
      {4, {{4, 1}}, 0, 8, 5},                  // first slot past it
      {0, {{0, 5}, {1, 6}, {5, 9}}, 0, 8, 6},  // from nothing
      {3, {{1, 2}}, 13, 24, 2},                // Grow: at least n
  };
  for (const Case& c : cases) {
    QORMtxArray<int> a(c.capacity, -3);
    std::vector<int> model;
    for (auto [i, v] : c.inserts) {
      a.Insert(i, v);
      if (static_cast<long long>(model.size()) <= i) model.resize(static_cast<size_t>(i) + 1, -3);
      model[static_cast<size_t>(i)] = v;
    }
    if (c.grow) a.Grow(c.grow);
    EXPECT_EQ(a.Capacity(), c.expectCapacity);
    EXPECT_EQ(a.Size(), c.expectSize);
    for (long long k = 0; k <= a.Capacity(); ++k)
      EXPECT_EQ(a[k], k < static_cast<long long>(model.size()) ? model[static_cast<size_t>(k)] : -3) << k;
    // A copy holds exactly the used elements and grows with the source's fill value.
    QORMtxArray<int> copy(a);
    EXPECT_EQ(copy.Capacity(), a.Size());
    copy.Insert(a.Size() + 2, 1);
    EXPECT_EQ(copy[a.Size()], -3);
    for (long long k = 0; k < a.Size(); ++k) EXPECT_EQ(copy[k], a[k]);
  }
}

// ---- QORMtxIntMatrix: ownership, and the store round trip in both shapes ----

class FamiliesIntMatrix : public StoredTest {};

TEST_F(FamiliesIntMatrix, OwnershipAndStoreRoundTrip) {
  int caller[6] = {1, 2, 3, 4, 5, 6};
  QORMtxIntMatrix viewed(2, 3, caller);
  EXPECT_FALSE(viewed.OwnsArray());
  viewed.Reset();
  EXPECT_EQ(caller[5], 6);  // a view never frees nor touches the caller's array

  for (auto [rows, cols] : {std::pair{3, 5}, std::pair{7, 1}}) {
    const QORSimCSetID r = NewSet(rows), c = NewSet(cols);
    const QORSimDistributionID did = QORMtxUtilities::Create2DIntegerDistribution(r, c);
    QORMtxIntMatrix out(rows, cols, nullptr);
    EXPECT_TRUE(out.OwnsArray());
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < rows; ++i) out(i, j) = 100 * i + j - 50;
    out.Export(did);
    // The drawer is columns × rows: read it back raw in that order.
    const std::vector<int> raw = store_test::ReadDrawer<int>(did, static_cast<size_t>(rows) * cols);
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < rows; ++i) EXPECT_EQ(raw[static_cast<size_t>(j) * rows + i], out(i, j));
    QORMtxIntMatrix in(1, 1, caller);
    in.Import(did);
    ASSERT_EQ(in.NumberOfRows(), rows);
    ASSERT_EQ(in.NumberOfColumns(), cols);
    EXPECT_TRUE(in.OwnsArray());
    EXPECT_TRUE(std::equal(in.Array(), in.Array() + rows * cols, out.Array()));
  }
}

TEST_F(FamiliesIntMatrix, RefusesOtherDistributions) {
  const QORSimCSetID a = NewSet(2), b = NewSet(3), c = NewSet(4);
  QORMtxIntMatrix m(2, 3, nullptr);
  EXPECT_QORMTX_ASSERTION(m.Import(QORSimDistributionID()), "!did.IsNull()");
  QORSimPosition pos{Ctx()};
  const QORSimDistributionID three = QORMtxUtilities::CreateDistribution(pos, -1, {a, b, c}, {}, false);
  EXPECT_QORMTX_ASSERTION(m.Import(three), "2 == numDim");
  const QORSimDistributionID doubles = QORMtxUtilities::Create2DDistribution(a, b, -1, -1);
  EXPECT_QORMTX_ASSERTION(m.Export(doubles), "QORSimRangeType(QORSimIntKey) == range");
  const QORSimDistributionID ints = QORMtxUtilities::Create2DIntegerDistribution(b, a);
  EXPECT_QORMTX_ASSERTION(m.Export(ints), "dimSizes[0] == m_numCols && dimSizes[1] == m_numRows");
}

// ---- QORMtxAdjacencyMatrix ----

namespace {
// A pattern from (row ordinal, column ordinals) rows, added in the given order.
QORMtxAdjacencyMatrix Pattern(const std::vector<std::pair<int, std::vector<int>>>& rows) {
  QORMtxAdjacencyMatrix m;
  for (const auto& [ord, cols] : rows) m.AddRow(ord, cols.data(), static_cast<int>(cols.size()), 0);
  return m;
}
std::vector<std::vector<int>> Rows(const QORMtxAdjacencyMatrix& m) {
  std::vector<std::vector<int>> out;
  for (int r = 0; r < m.NumRows(); ++r) {
    int n = 0;
    const int* c = m.RowColumns(r, n);
    out.emplace_back(c, c + n);
  }
  return out;
}
std::vector<std::vector<int>> Groups(QORMtxAdjacencyMatrix& m) {
  QORBasVector<QORBasVector<int>> g;
  m.NonAdjSplit(g);
  std::vector<std::vector<int>> out;
  for (const auto& group : g) out.emplace_back(group.begin(), group.end());
  return out;
}
}  // namespace

TEST(FamiliesAdjacency, MaturityTransposeAndRowAdjacency) {
  QORMtxAdjacencyMatrix m = Pattern({{30, {100, 7}}, {10, {7, 55}}});
  EXPECT_EQ(m.NumCols(), 3);
  m.ChangeMaturity();
  EXPECT_EQ(std::vector<int>(m.RowOrdinals().begin(), m.RowOrdinals().end()), (std::vector<int>{10, 30}));
  EXPECT_EQ(std::vector<int>(m.ColOrdinals().begin(), m.ColOrdinals().end()), (std::vector<int>{7, 55, 100}));
  EXPECT_EQ(Rows(m), (std::vector<std::vector<int>>{{0, 1}, {2, 0}}));  // order kept until sorted
  QORMtxAdjacencyMatrix t;
  m.Transpose(t);
  EXPECT_EQ(Rows(t), (std::vector<std::vector<int>>{{0, 1}, {0}, {1}}));
  EXPECT_EQ(std::vector<int>(t.ColOrdinals().begin(), t.ColOrdinals().end()), (std::vector<int>{10, 30}));
  m.SortColNums();
  EXPECT_EQ(Rows(m), (std::vector<std::vector<int>>{{0, 1}, {0, 2}}));
  QORMtxAdjacencyMatrix r;
  m.RowAdjacency(r);
  EXPECT_EQ(Rows(r), (std::vector<std::vector<int>>{{10, 30}, {10, 30}}));
  m.ChangeMaturity();  // back to ordinals
  EXPECT_EQ(Rows(m), (std::vector<std::vector<int>>{{7, 55}, {7, 100}}));
  EXPECT_EQ(m.NumNonzeros(), 4);
}

TEST(FamiliesAdjacency, GreedySplitOrderAndIndependentCover) {
  QORMtxAdjacencyMatrix path = Pattern({{0, {0, 1}}, {1, {0, 1, 2}}, {2, {1, 2}}});
  EXPECT_EQ(Groups(path), (std::vector<std::vector<int>>{{0, 2}, {1}}));
  // A 2-D grid graph of 7 × 5 points with its 9-point stencil, rows added in shuffled order.
  const int nx = 7, ny = 5;
  std::vector<std::pair<int, std::vector<int>>> rows;
  for (int p = 0; p < nx * ny; ++p) {
    std::vector<int> nb;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int x = p % nx + dx, y = p / nx + dy;
        if (x >= 0 && x < nx && y >= 0 && y < ny) nb.push_back(y * nx + x);
      }
    rows.push_back({p, nb});
  }
  std::vector<std::pair<int, std::vector<int>>> shuffled;
  for (int k = 0; k < nx * ny; ++k) shuffled.push_back(rows[static_cast<size_t>(k * 11 % (nx * ny))]);
  QORMtxAdjacencyMatrix m = Pattern(shuffled);
  const auto groups = Groups(m);
  // Greedy by ascending index on a 9-point stencil: the four parity classes, in this order.
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0].front(), 0);
  EXPECT_EQ(groups[1].front(), 1);
  EXPECT_EQ(groups[2].front(), nx);
  EXPECT_EQ(groups[3].front(), nx + 1);
  std::vector<int> seen(nx * ny, 0);
  for (const auto& g : groups)
    for (size_t a = 0; a < g.size(); ++a) {
      ++seen[static_cast<size_t>(g[a])];
      for (size_t b = a + 1; b < g.size(); ++b) {
        const auto& nb = rows[static_cast<size_t>(g[a])].second;
        EXPECT_EQ(std::count(nb.begin(), nb.end(), g[b]), 0) << g[a] << " and " << g[b] << " are adjacent";
      }
    }
  EXPECT_EQ(seen, std::vector<int>(nx * ny, 1));
}

TEST(FamiliesAdjacency, PrintsAndPreconditions) {
  testing::internal::CaptureStdout();
  QORMtxAdjacencyMatrix().Print("empty");
  Pattern({{4, {4, 9}}}).Print("one");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("empty\nThis adjacency matrix is NULL"), std::string::npos) << out;
  EXPECT_NE(out.find("Ord Num   4   9"), std::string::npos) << out;
  EXPECT_NE(out.find("  4   0   X   X"), std::string::npos) << out;
  QORMtxAdjacencyMatrix m = Pattern({{1, {1}}});
  const int cols[] = {2};
  EXPECT_QORMTX_ASSERTION(m.AddRow(1, cols, 1, 0), "colOrds && numColOrds && !m_rowOrdSet.IsMember(rowOrd)");
  EXPECT_QORMTX_ASSERTION(m.AddRow(2, cols, 0, 0), "colOrds && numColOrds && !m_rowOrdSet.IsMember(rowOrd)");
  QORMtxAdjacencyMatrix rect = Pattern({{1, {1, 2}}});
  QORBasVector<QORBasVector<int>> groups;
  EXPECT_QORMTX_ASSERTION(rect.NonAdjSplit(groups), "m_rowOrds == m_colOrds");
}
