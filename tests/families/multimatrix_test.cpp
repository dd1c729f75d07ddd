// Element-matrix families: each layout written and read back exactly, the value stream, and sparse element
// assembly from every layout against a naive assembly.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "QORFsmElementDofs.h"
#include "QORMtxBulkMultiMatrix.h"
#include "QORMtxCompactMultiMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSimpleMultiMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxStream.h"
#include "QORMtxUtilities.h"
#include "families_test_util.h"
#include "omi_Set.h"

using families_test::Element;
using families_test::MakeFamily;

namespace {

// Whether the element stores every position, in the order a full matrix of the family keeps them.
bool IsFull(const Element& e) {
  std::vector<int> canonical;
  for (int j = 0; j < e.order; ++j)
    for (int i = 0; i < (e.symmetric ? j + 1 : e.order); ++i) canonical.push_back(i + j * e.order);
  return e.positions == canonical;
}

class FamiliesMulti : public families_test::StoredTest {
 public:
  QORSimCollectionID Coll(int n) { return QORSimContext(Ctx()).CreateCollection(n); }
  QORSimCSetID One(const QORSimCollectionID& c, int ordinal) {
    return QORSimCollection(c).CreateOrderedCSet(&ordinal, 1);
  }

  // A compact family of the elements.
  QORSimDistributionID WriteCompact(const std::vector<Element>& family) {
    const QORSimCollectionID ids = Coll(1000), positions = Coll(25);
    const QORSimDistributionID id =
        QORSimContext(Ctx()).CreateDistribution(QORSimGrid{ids, positions}, QORSimRangeType(QORSimDoubleKey));
    QORMtxCompactMultiMatrix m(id);
    for (const Element& e : family)
      m.AddMatrix(One(ids, e.label),
                  QORSimCollection(positions).CreateOrderedCSet(e.positions.data(), static_cast<int>(e.positions.size())),
                  e.values.data(), e.symmetric);
    return id;
  }

  // A bulk family: the three distributions; full matrices go in as such, the others by their positions.
  struct Bulk {
    QORSimDistributionID loc, ind, val;
  };
  Bulk WriteBulk(const std::vector<Element>& family, bool symmetric) {
    QORSimContext ctx(Ctx());
    Bulk b;
    b.loc = ctx.CreateDistribution(QORSimGrid{Coll(1000), Coll(1)}, QORSimRangeType(QORSimIntKey));
    b.ind = ctx.CreateDistribution(QORSimGrid{Coll(25)}, QORSimRangeType(QORSimIntKey));
    b.val = QORMtxUtilities::Create2DDistribution(QORSimCollection(Coll(7)).BiggestCSetID(),
                                                  QORSimCollection(Coll(1)).BiggestCSetID(), 7, 4);
    QORMtxBulkMultiMatrix m(b.loc, b.ind, b.val, symmetric, 3);
    for (const Element& e : family) {
      const bool full = IsFull(e);
      m.AddMatrix(e.label, full ? -e.order : static_cast<int>(e.positions.size()), e.positions.data(), e.values.data());
    }
    return b;
  }
};

// Every read of a family agrees with the elements it was written from.
void ExpectFamily(const QORMtxMultiMatrix& m, const std::vector<Element>& family) {
  ASSERT_EQ(m.NumMatrices(), static_cast<int>(family.size()));
  for (int k = 0; k < m.NumMatrices(); ++k) {
    const Element& e = family[static_cast<size_t>(k)];
    EXPECT_EQ(m.GetId(k), e.label);
    ASSERT_EQ(m.NumEntries(k), static_cast<int>(e.positions.size())) << k;
    std::vector<int> positions(e.positions.size());
    std::vector<double> values(e.values.size());
    m.GetEntries(k, positions.data(), values.data());
    EXPECT_EQ(positions, e.positions) << k;
    EXPECT_EQ(values, e.values) << k;
  }
}

void ExpectMatrices(const QORMtxMultiMatrix& m, const std::vector<Element>& family) {
  for (int k = 0; k < m.NumMatrices(); ++k) {
    const Element& e = family[static_cast<size_t>(k)];
    QORMtxMatrix out(e.order, e.order);
    m.GetMatrix(k, out);
    EXPECT_EQ(std::vector<double>(out.Values(), out.Values() + e.order * e.order), e.Full().a) << k;
  }
}

}  // namespace

TEST_F(FamiliesMulti, CompactAndBulkReadBackExactly) {
  for (bool symmetric : {false, true}) {
    const std::vector<Element> family = MakeFamily(17, symmetric, symmetric);
    const QORSimDistributionID compact = WriteCompact(family);
    EXPECT_EQ(QORMtxCompactMultiMatrix(compact).IsSymmetric(), symmetric);
    ExpectFamily(QORMtxCompactMultiMatrix(compact), family);
    ExpectMatrices(QORMtxCompactMultiMatrix(compact), family);

    const Bulk b = WriteBulk(family, symmetric);
    QORMtxBulkMultiMatrix bulk(b.loc, b.ind, b.val, symmetric, 3);
    int numIndsets = 0, numFull = 0, rows = 0, cols = 0;
    bulk.Sizes(numIndsets, numFull, rows, cols);
    int full = 0;
    std::set<std::vector<int>> distinct;  // each position list is stored once, however many share it
    for (const Element& e : family) {
      if (IsFull(e)) ++full;
      else distinct.insert(e.positions);
    }
    EXPECT_EQ(numFull, full);
    EXPECT_EQ(numIndsets, static_cast<int>(distinct.size()));
    EXPECT_GE(full, 6);
    EXPECT_EQ(rows, 7);
    ExpectFamily(bulk, family);
    QORMtxBulkMultiMatrix again(b.loc, b.ind, b.val, symmetric, 3);
    ExpectMatrices(again, family);
  }
}

TEST_F(FamiliesMulti, BulkSharesIndexSetsAndReadsInOrderOnly) {
  QORSimContext ctx(Ctx());
  const QORSimDistributionID loc = ctx.CreateDistribution(QORSimGrid{Coll(100), Coll(1)}, QORSimRangeType(QORSimIntKey));
  const QORSimDistributionID ind = ctx.CreateDistribution(QORSimGrid{Coll(9)}, QORSimRangeType(QORSimIntKey));
  const QORSimDistributionID val =
      QORMtxUtilities::Create2DDistribution(QORSimCollection(Coll(4)).BiggestCSetID(),
                                            QORSimCollection(Coll(2)).BiggestCSetID(), 4, 2);
  {
    QORMtxBulkMultiMatrix m(loc, ind, val, true, 2);
    const int idx[] = {0, 4};
    const double v[] = {1, 2, 3, 4, 5, 6};
    m.AddMatrix(7, 2, idx, v);
    m.AddMatrix(8, 2, idx, v + 2);
    m.AddMatrix(9, -3, nullptr, v);  // full symmetric order 3: six values
    EXPECT_EQ(m.NumEntries(2), 6);
  }
  EXPECT_EQ(QORSimDistribution(ind).NumDrawers(), 1);
  const std::vector<int> locations = store_test::ReadDrawer<int>(loc, 3);
  EXPECT_EQ(locations, (std::vector<int>{0, 0, -3}));
  QORMtxBulkMultiMatrix m(loc, ind, val, true, 2);
  double values[6];
  EXPECT_QORMTX_ASSERTION(m.GetEntries(1, values), "k == m_k && \"Random access not yet implemented\"");
  m.GetEntries(0, values);
  m.GetEntries(1, values);
  const int* positions = m.GetEntries(2, values);
  EXPECT_EQ(std::vector<int>(positions, positions + 6), (std::vector<int>{0, 3, 4, 6, 7, 8}));
  EXPECT_EQ(std::vector<double>(values, values + 6), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_QORMTX_ASSERTION(m.GetEntries(0, values), "k == m_k && \"Random access not yet implemented\"");
  EXPECT_QORMTX_ASSERTION(m.GetId(3), "0<=k && k<NumMatrices() && \"GetId() index is out of range\"");
  EXPECT_QORMTX_ASSERTION(m.AddMatrix(1, 1, positions, values); m.Reset(),
                          "m_size0==0 && \"Extending pre-existing data not supported\"");
  EXPECT_QORMTX_ASSERTION(QORMtxBulkMultiMatrix(val, ind, loc, true, 2),
                          "m_locDist.RangeType().TypeKey()==QORSimIntKey && \"Location distribution range type must be integer\"");
}

TEST_F(FamiliesMulti, CompactScatterPreconditions) {
  const std::vector<Element> pair = {{5, 2, false, {0, 3}, {1.5, 2.5}}, {6, 2, true, {2}, {4.0}}};
  QORMtxCompactMultiMatrix m(WriteCompact(pair));
  QORMtxMatrix out(2, 2);
  m.GetMatrix(0, out);  // the diagonal only
  EXPECT_EQ(std::vector<double>(out.Values(), out.Values() + 4), (std::vector<double>{1.5, 0, 0, 2.5}));
  m.GetMatrix(1, out);  // (0, 1) and its mirror
  EXPECT_EQ(std::vector<double>(out.Values(), out.Values() + 4), (std::vector<double>{0, 4, 4, 0}));
  QORMtxMatrix small(1, 1), wide(1, 2);
  EXPECT_QORMTX_ASSERTION(m.GetMatrix(0, small), "0 < size && size <= numRows*numCols");
  EXPECT_QORMTX_ASSERTION(m.GetMatrix(0, wide), "0 <= index && index < numRows*numCols");
  EXPECT_QORMTX_ASSERTION(QORMtxCompactMultiMatrix(QORMtxUtilities::Create1DDistribution(QORSimCollection(Coll(3)).BiggestCSetID(), -1)),
                          "dist.NumDimensions() == 2");
}

TEST_F(FamiliesMulti, SimpleDenseAndChunkedDrawers) {
  QORSimContext ctx(Ctx());
  const QORSimCollectionID ids = Coll(50), cols = Coll(9), rows = Coll(9);
  const QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{ids, cols, rows}, QORSimRangeType(QORSimDoubleKey));
  QORMtxSimpleMultiMatrix m(id);
  std::vector<ref::Dense> written;
  for (int k = 0; k < 6; ++k) {
    const int r = 1 + (k * 5) % 9, c = 1 + (k * 2) % 9;
    ref::Dense a = ref::Random(r, c, 40 + k);
    if (k == 1) a = ref::Dense(r, c);                  // all zero: no chunk written
    if (k == 3) a.SetBlock(0, 0, ref::Dense(3, 3));  // its first chunk is zero
    QORMtxMatrix mtx(r, c, a.a.data());
    const QORSimCSetID rs = QORSimCollection(rows).CreateCSetStrided(0, r, 1);
    const QORSimCSetID cs = QORSimCollection(cols).CreateCSetStrided(0, c, 1);
    if (k % 2)
      m.AddDrawerChunked(One(ids, 10 + k), rs, cs, mtx, 3);
    else
      m.AddDrawer(One(ids, 10 + k), rs, cs, mtx);
    written.push_back(a);
  }
  QORMtxSimpleMultiMatrix back(id);
  ASSERT_EQ(back.NumDrawers(), 6);
  for (int k = 0; k < 6; ++k) {
    QORMtxMatrix out;
    back.GetDrawer(k, out);
    EXPECT_EQ(out.NumberOfRows(), written[k].rows);
    EXPECT_EQ(std::vector<double>(out.Values(), out.Values() + written[k].a.size()), written[k].a) << k;
    EXPECT_EQ(back.NumDrawerItems(k), written[k].rows * written[k].cols);
  }
  const QORSimDistribution dist(id);
  EXPECT_FALSE(dist.ChunkAllocated(QORSimDrawerID(id, 1), QORSimArray<int>{0, 0, 0}));
  EXPECT_FALSE(dist.ChunkAllocated(QORSimDrawerID(id, 3), QORSimArray<int>{0, 0, 0}));
  EXPECT_TRUE(dist.ChunkAllocated(QORSimDrawerID(id, 3), QORSimArray<int>{0, 1, 1}));
  QORMtxMatrix wrong(2, 2);
  EXPECT_QORMTX_ASSERTION(m.AddDrawer(One(ids, 1), QORSimCollection(rows).CreateCSetStrided(0, 3, 1),
                                      QORSimCollection(cols).CreateCSetStrided(0, 2, 1), wrong),
                          "mtx.NumberOfRows() == numRows && mtx.NumberOfColumns() == numCols");
  EXPECT_QORMTX_ASSERTION(m.AddDrawer(QORSimCollection(ids).CreateCSetStrided(0, 2, 1),
                                      QORSimCollection(rows).CreateCSetStrided(0, 2, 1),
                                      QORSimCollection(cols).CreateCSetStrided(0, 2, 1), wrong),
                          "QORSimCSet(set0).Size() == 1");
}

TEST_F(FamiliesMulti, StreamRunsAcrossColumnsAndGrows) {
  const QORSimDistributionID id = QORMtxUtilities::Create2DDistribution(
      QORSimCollection(Coll(5)).BiggestCSetID(), QORSimCollection(Coll(2)).BiggestCSetID(), 5, 2);
  QORMtxStream s{QORSimDistribution(id), 2, 0, 0};
  std::vector<double> all;
  // Lengths that start and end mid-column, fill exact columns and jump several columns at once.
  for (int len : {3, 2, 5, 1, 13, 4, 2}) {
    std::vector<double> v(static_cast<size_t>(len));
    for (double& x : v) x = static_cast<double>(all.size() + (&x - v.data())) + 0.5;
    s.Write(v.data(), len);
    all.insert(all.end(), v.begin(), v.end());
    EXPECT_EQ(s.CurrentRow() + 5 * s.CurrentColumn(), static_cast<int>(all.size()));
  }
  EXPECT_EQ(s.NumCols(), 6);
  std::vector<double> back(all.size());
  s.Read(back.data(), static_cast<int>(all.size()), 0, 0);
  EXPECT_EQ(back, all);
  double v[3];
  s.Read(v, 3, 2, 1);
  EXPECT_EQ(v[0], all[7]);
  EXPECT_EQ(v[2], all[9]);
  EXPECT_EQ(s.CurrentRow(), 0);
  EXPECT_EQ(s.CurrentColumn(), 2);
  EXPECT_QORMTX_ASSERTION(s.Read(v, 0), "len > 0");
  EXPECT_QORMTX_ASSERTION(s.Read(v, 1, 5, 0),
                          "(row == -1 && col == -1) || (0 <= row && row < NumRows()) && (0 <= col && col < NumCols())");
  EXPECT_QORMTX_ASSERTION(s.Read(v, 3, 4, 5), "endCol < NumCols()");
  QORMtxStream fixed{QORSimDistribution(id), 0, 0, 5};
  EXPECT_QORMTX_ASSERTION(fixed.Write(v, 6), "m_extCols != 0");
}

// ---- Element assembly ----

namespace {

// Elements on a 2-D grid of quadrilaterals, two unknowns per node, dof lists in element-local order.
struct Mesh {
  QORFsmElementDofs dofs;
  std::vector<Element> elements;
  int numDofs = 0;
};

Mesh MakeMesh(bool symmetric) {
  Mesh mesh;
  const int nx = 4, ny = 3;
  mesh.numDofs = 2 * (nx + 1) * (ny + 1);
  std::mt19937_64 rng = ref::Rng(77 + symmetric);
  int k = 0;
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x, ++k) {
      const int n0 = y * (nx + 1) + x;
      // Corners counter-clockwise from the one nearest the origin: the local order is not ascending.
      const int nodes[4] = {n0, n0 + 1, n0 + nx + 2, n0 + nx + 1};
      std::vector<int> dofs;
      for (int c = 0; c < (k % 2 ? 4 : 3); ++c) dofs.insert(dofs.end(), {2 * nodes[c] + 10, 2 * nodes[c] + 11});
      Element e;
      e.label = 500 + 7 * k;
      e.order = static_cast<int>(dofs.size());
      e.symmetric = symmetric;
      for (int j = 0; j < e.order; ++j)
        for (int i = 0; i < (symmetric ? j + 1 : e.order); ++i)
          if ((i + j + k) % 5) e.positions.push_back(i + j * e.order);  // some entries left out
      e.values = ref::RandomValues(e.positions.size(), rng);
      mesh.dofs.AddElement(e.label, dofs.data(), e.order);
      mesh.elements.push_back(e);
    }
  return mesh;
}

// The naive assembly: every stored entry added at its dofs (its mirror too when symmetric), over the dofs met in
// ascending order.
struct Naive {
  std::set<int> rows, cols;
  ref::Dense a;
};
Naive NaiveAssembly(const Mesh& mesh) {
  std::map<std::pair<int, int>, double> sum;
  Naive n;
  for (int k = 0; k < static_cast<int>(mesh.elements.size()); ++k) {
    int nd = 0;
    const int* dof = mesh.dofs.Dofs(k, nd);
    const Element& e = mesh.elements[static_cast<size_t>(k)];
    for (size_t p = 0; p < e.positions.size(); ++p) {
      const int r = dof[e.positions[p] % nd], c = dof[e.positions[p] / nd];
      sum[{r, c}] += e.values[p];
      n.rows.insert(r);
      n.cols.insert(c);
      if (e.symmetric && r != c) {
        sum[{c, r}] += e.values[p];
        n.rows.insert(c);
        n.cols.insert(r);
      }
    }
  }
  std::map<int, int> ri, ci;
  for (int r : n.rows) ri.emplace(r, static_cast<int>(ri.size()));
  for (int c : n.cols) ci.emplace(c, static_cast<int>(ci.size()));
  n.a = ref::Dense(static_cast<int>(ri.size()), static_cast<int>(ci.size()));
  for (const auto& [rc, v] : sum) n.a(ri[rc.first], ci[rc.second]) += v;
  return n;
}

void ExpectAssembled(const QORMtxSparseMatrix& s, const Naive& expect, bool symmetric, const omi_Set& rows,
                     const omi_Set& cols) {
  EXPECT_EQ(s.Diagonal() != nullptr, symmetric);
  QORBasVector<int> members;
  rows.Members(members);
  EXPECT_EQ(std::set<int>(members.begin(), members.end()), expect.rows);
  cols.Members(members);
  EXPECT_EQ(std::set<int>(members.begin(), members.end()), expect.cols);
  QORMtxMatrix dense;
  QORMtxUtilities::Sparse2Core(s, dense);
  ASSERT_EQ(dense.NumberOfRows(), expect.a.rows);
  ASSERT_EQ(dense.NumberOfColumns(), expect.a.cols);
  ref::Dense got(expect.a.rows, expect.a.cols);
  got.a.assign(dense.Values(), dense.Values() + got.a.size());
  EXPECT_LE(ref::MaxAbs(ref::Lin(1.0, got, -1.0, expect.a)), 1e-14 * ref::MaxAbs(expect.a));
}

}  // namespace

TEST_F(FamiliesMulti, AssemblyFromEveryLayoutMatchesNaiveAssembly) {
  for (bool symmetric : {false, true}) {
    const Mesh mesh = MakeMesh(symmetric);
    const Naive expect = NaiveAssembly(mesh);
    {
      omi_Set rows, cols;
      QORMtxSparseMatrix s(QORMtxCompactMultiMatrix(WriteCompact(mesh.elements)), mesh.dofs, 0, rows, cols);
      ExpectAssembled(s, expect, symmetric, rows, cols);
    }
    const Bulk b = WriteBulk(mesh.elements, symmetric);
    omi_Set rows, cols;
    QORMtxSparseMatrix s(QORMtxBulkMultiMatrix(b.loc, b.ind, b.val, symmetric, 3), mesh.dofs, 0, rows, cols);
    ExpectAssembled(s, expect, symmetric, rows, cols);
  }
}

TEST_F(FamiliesMulti, AssemblyRefusesUnknownLabels) {
  Mesh mesh = MakeMesh(false);
  mesh.elements[3].label = 1;
  const QORSimDistributionID id = WriteCompact(mesh.elements);
  omi_Set rows, cols;
  EXPECT_QORMTX_ASSERTION(QORMtxSparseMatrix(QORMtxCompactMultiMatrix(id), mesh.dofs, 0, rows, cols),
                          "position && \"element matrix label is not in the element dof table\"");
}
