// Data-store transfers against a plain column-major reference: ranges and sets, both packings, chunked and
// unchunked drawers, three dimensions, integers, padding, and the two I/O paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <tuple>

#include "QORSimStore.h"
#include "store_test_util.h"

using namespace store_test;

namespace {

class StoreTransfer : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_db.Create(Path("transfer.sim").c_str());
  }
  void TearDown() override {
    qorsim::SetDirectChunkIo(true);
    m_db.Close();
    StoreTest::TearDown();
  }
  QORSimContextID Ctx() const { return m_db.ContextID(); }
  QORSimDatabase m_db;
};

// Reads every listed block in both packings and compares with the reference.
void ExpectBlocks(const StoredMatrix& m, const Reference& ref, const std::vector<std::array<int, 4>>& blocks) {
  for (const auto& b : blocks) {
    const int r0 = b[0], r1 = b[1], c0 = b[2], c1 = b[3];
    const int nr = r1 - r0 + 1, nc = c1 - c0 + 1;
    std::vector<double> buf(static_cast<size_t>(nr) * nc, -1.0);
    RangeTransfer(m, r0, r1, c0, c1, buf.data(), false);
    for (int j = 0; j < nc; ++j)
      for (int i = 0; i < nr; ++i)
        ASSERT_EQ(buf[static_cast<size_t>(j) * nr + i], ref(r0 + i, c0 + j))
            << "block rows " << r0 << ".." << r1 << " cols " << c0 << ".." << c1 << " at (" << i << "," << j << ")";
    std::fill(buf.begin(), buf.end(), -1.0);
    RangeTransfer(m, r0, r1, c0, c1, buf.data(), false, true);
    for (int i = 0; i < nr; ++i)
      for (int j = 0; j < nc; ++j)
        ASSERT_EQ(buf[static_cast<size_t>(i) * nc + j], ref(r0 + i, c0 + j))
            << "transposed block rows " << r0 << ".." << r1 << " cols " << c0 << ".." << c1;
  }
}

// Blocks that sit on, straddle and end at the chunk boundaries of a 10 x 7 matrix in 4 x 3 chunks.
const std::vector<std::array<int, 4>> kBlocks = {
    {0, 9, 0, 6}, {0, 3, 0, 2}, {4, 7, 3, 5}, {8, 9, 6, 6}, {2, 5, 1, 4},
    {3, 8, 0, 6}, {0, 9, 2, 3}, {9, 9, 0, 0}, {5, 5, 2, 5}, {1, 8, 5, 6},
};

}  // namespace

TEST_F(StoreTransfer, RangeBlocksChunkedAndUnchunked) {
  for (int rowChunk : {4, 0, 20}) {  // chunked, unchunked, chunks larger than the matrix
    SCOPED_TRACE(rowChunk);
    StoredMatrix m = MakeMatrix(Ctx(), 10, 7, rowChunk, rowChunk ? 3 : 0, -2.5);
    Reference ref(10, 7, -2.5);
    // Straddling pieces in both packings; chunk rows 8..9 x cols 0..2 is never written and reads as the initial
    // value, as do the unwritten parts of the chunks that are.
    const std::vector<std::array<int, 4>> writes = {{2, 5, 1, 4}, {7, 9, 5, 6}, {0, 0, 0, 6}};
    int salt = 1;
    for (const auto& w : writes) {
      const int nr = w[1] - w[0] + 1, nc = w[3] - w[2] + 1;
      std::vector<double> byCols(static_cast<size_t>(nr) * nc), byRows(byCols.size());
      for (int j = 0; j < nc; ++j)
        for (int i = 0; i < nr; ++i) {
          byCols[static_cast<size_t>(j) * nr + i] = Value(w[0] + i, w[2] + j, salt);
          byRows[static_cast<size_t>(i) * nc + j] = Value(w[0] + i, w[2] + j, salt + 1);
          ref(w[0] + i, w[2] + j) = Value(w[0] + i, w[2] + j, salt + 1);
        }
      RangeTransfer(m, w[0], w[1], w[2], w[3], byCols.data(), true);
      RangeTransfer(m, w[0], w[1], w[2], w[3], byRows.data(), true, true);  // the transposed write wins
      salt += 2;
    }
    ExpectBlocks(m, ref, kBlocks);
  }
}

TEST_F(StoreTransfer, SetTransfersFollowSetOrder) {
  for (int chunk : {4, 0}) {
    SCOPED_TRACE(chunk);
    StoredMatrix m = MakeMatrix(Ctx(), 10, 7, chunk, chunk ? 3 : 0);
    Reference ref(10, 7);
    for (int j = 0; j < 7; ++j)
      for (int i = 0; i < 10; ++i) ref(i, j) = Value(i, j);
    RangeTransfer(m, 0, 9, 0, 6, ref.a.data(), true);

    // Rows permuted and repeated, columns descending: a read may name a member twice.
    const std::vector<int> rows = {9, 0, 4, 4, 3, 8};
    const std::vector<int> cols = {6, 2, 1};
    QORSimCSetID rowSet = QORSimCollection(m.rows).CreateVolatileOrderedCSet(rows.data(), 6);
    QORSimCSetID colSet = QORSimCollection(m.cols).CreateTempOrderedCSet(cols.data(), 3);
    for (bool transposed : {false, true}) {
      QORSimTransfer t{QORSimDistribution(m.id)};
      t.SetRead();
      t.SetBufferPadding(false);
      t.SetDim(transposed ? 1 : 0, colSet);
      t.SetDim(transposed ? 0 : 1, rowSet);
      std::vector<double> buf(18);
      Exec(t, buf, false);
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 6; ++b)
          EXPECT_EQ(transposed ? buf[static_cast<size_t>(b) * 3 + a] : buf[static_cast<size_t>(a) * 6 + b],
                    ref(rows[b], cols[a]));
    }

    // A write by sets, in a scattered order, lands where the ordinals say.
    const std::vector<int> wrows = {7, 1, 5};
    const std::vector<int> wcols = {3, 0};
    QORSimTransfer w{QORSimDistribution(m.id)};
    w.SetWrite();
    w.SetBufferPadding(false);
    w.SetDim(0, QORSimCollection(m.rows).CreateVolatileOrderedCSet(wrows.data(), 3));  // rows first: by rows
    w.SetDim(1, QORSimCollection(m.cols).CreateVolatileOrderedCSet(wcols.data(), 2));
    std::vector<double> vals = {11, 12, 21, 22, 31, 32};
    Exec(w, vals, true);
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 2; ++b) ref(wrows[a], wcols[b]) = vals[static_cast<size_t>(a) * 2 + b];
    ExpectBlocks(m, ref, kBlocks);
  }
}

TEST_F(StoreTransfer, SetsOfOtherOrdinalsMapThroughTheDrawerSet) {
  // A drawer over ordinals that are not positions: set transfers translate ordinals, range transfers do not.
  QORSimContext ctx(Ctx());
  QORSimCollectionID rows = ctx.CreateCollection(0, QORSimTypeID(), "dofs");
  QORSimCollectionID one = ctx.CreateCollection(1, QORSimTypeID(), "one");
  const std::vector<int> ords = {100, 7, 55, 3000, 12, 13, 14};
  QORSimCSetID rowSet = QORSimCollection(rows).CreateOrderedCSet(ords.data(), 7);
  QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{one, rows}, QORSimRangeType(QORSimDoubleKey));
  QORSimTransfer make{QORSimDistribution(id)};
  make.SetMakeNewDrawerChunked({1, 2});
  make.SetWrite();
  make.SetBufferPadding(false);
  make.SetDim(0, QORSimCollection(one).BiggestCSetID());
  make.SetDim(1, rowSet);
  std::vector<double> v = {0, 1, 2, 3, 4, 5, 6};
  Exec(make, v, true);  // made and filled at once

  const std::vector<int> pick = {13, 100, 3000};
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetRead();
  t.SetBufferPadding(false);
  t.SetDimOrdinalRange(0, one, 0, 0);
  t.SetDim(1, QORSimCollection(rows).CreateVolatileOrderedCSet(pick.data(), 3));
  std::vector<double> out(3);
  Exec(t, out, false);
  EXPECT_EQ(out, (std::vector<double>{5, 0, 3}));
}

TEST_F(StoreTransfer, ThreeDimensionsInEveryOrder) {
  QORSimContext ctx(Ctx());
  // Three dimensions (5 x 6 x 7, chunks 2 x 4 x 3): every order of the transfer dimensions packs its block with
  // the last one fastest.
  QORSimCollectionID a = ctx.CreateCollection(5), b = ctx.CreateCollection(6), d = ctx.CreateCollection(7);
  QORSimDistributionID id3 = ctx.CreateDistribution(QORSimGrid{a, b, d}, QORSimRangeType(QORSimDoubleKey));
  std::vector<double> all(5 * 6 * 7);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<double>(i) + 0.5;
  {
    QORSimTransfer w{QORSimDistribution(id3)};
    w.SetMakeNewDrawerChunked({2, 4, 3});
    w.SetWrite();
    w.SetBufferPadding(false);
    w.SetDim(0, QORSimCollection(a).BiggestCSetID());
    w.SetDim(1, QORSimCollection(b).BiggestCSetID());
    w.SetDim(2, QORSimCollection(d).BiggestCSetID());
    Exec(w, all, true);
  }
  const QORSimCollectionID colls[3] = {a, b, d};
  const int lo[3] = {1, 2, 1}, hi[3] = {4, 5, 5};
  std::array<int, 3> perm = {0, 1, 2};
  do {
    QORSimTransfer r{QORSimDistribution(id3)};
    r.SetRead();
    r.SetBufferPadding(false);
    for (int t3 = 0; t3 < 3; ++t3) r.SetDimOrdinalRange(t3, colls[perm[t3]], lo[perm[t3]], hi[perm[t3]]);
    std::vector<double> out(4 * 4 * 5);  // 4 x 4 x 5 positions in every order
    Exec(r, out, false);
    size_t k = 0;
    int idx[3];
    for (idx[0] = lo[perm[0]]; idx[0] <= hi[perm[0]]; ++idx[0])
      for (idx[1] = lo[perm[1]]; idx[1] <= hi[perm[1]]; ++idx[1])
        for (idx[2] = lo[perm[2]]; idx[2] <= hi[perm[2]]; ++idx[2]) {
          int pos[3];
          for (int t3 = 0; t3 < 3; ++t3) pos[perm[t3]] = idx[t3];
          ASSERT_EQ(out[k++], all[static_cast<size_t>((pos[0] * 6 + pos[1]) * 7 + pos[2])])
              << "order " << perm[0] << perm[1] << perm[2];
        }
  } while (std::next_permutation(perm.begin(), perm.end()));
}

TEST_F(StoreTransfer, IntegerDistributionsAndPadding) {
  // A 3 x 5 integer matrix (unchunked) with initial value 7.
  QORSimContext ctx(Ctx());
  QORSimCollectionID rows = ctx.CreateCollection(3), cols = ctx.CreateCollection(5);
  QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{cols, rows}, QORSimRangeType(QORSimIntKey));
  {
    QORSimTransfer t{QORSimDistribution(id)};
    t.SetMakeNewDrawer();
    t.SetWrite();
    t.SetDim(0, QORSimCollection(cols).BiggestCSetID());
    t.SetDim(1, QORSimCollection(rows).BiggestCSetID());
    t.SetInitializationValue(7);
    t.CheckView();
    t.InitializePersistentDrawer();
  }
  EXPECT_EQ(QORSimDistribution(id).QueryDrawers()[0].DataTypeKey(), QORSimIntKey);

  // Column 1, rows 0..2: three ints, tightly packed without padding.
  std::vector<int> col = {10, 11, 12};
  QORSimTransfer w{QORSimDistribution(id)};
  w.SetWrite();
  w.SetBufferPadding(false);
  w.SetDimOrdinalRange(0, cols, 1, 1);
  w.SetDimOrdinalRange(1, rows, 0, 2);
  Exec(w, col, true);

  // With padding (the default) each run of three ints takes 16 bytes; the padding is left alone.
  QORSimTransfer r{QORSimDistribution(id)};
  r.SetRead();
  r.SetDimOrdinalRange(0, cols, 0, 2);
  r.SetDimOrdinalRange(1, rows, 0, 2);
  std::vector<int> out(12, -9);
  Exec(r, out, false);
  EXPECT_EQ(out, (std::vector<int>{7, 7, 7, -9, 10, 11, 12, -9, 7, 7, 7, -9}));
}

TEST_F(StoreTransfer, DirectChunkAndSelectionPathsGiveIdenticalBytes) {
  // The same writes through each path, into two matrices; then both read back through each path.
  std::mt19937 rng(20240611);
  SCOPED_TRACE("seed 20240611");
  const int nr = 70, nc = 45;
  StoredMatrix m[2] = {MakeMatrix(Ctx(), nr, nc, 16, 8, 0.5), MakeMatrix(Ctx(), nr, nc, 16, 8, 0.5)};
  Reference ref(nr, nc, 0.5);
  struct Op {
    int r0, r1, c0, c1;
    bool transposed;
  };
  std::vector<Op> ops = {{0, 15, 0, 7, false},  {16, 63, 8, 23, true}, {0, 69, 40, 44, false},
                         {64, 69, 0, 44, true}, {3, 40, 9, 30, false}, {0, 69, 24, 39, false}};
  for (int k = 0; k < 20; ++k) {
    int r0 = static_cast<int>(rng() % nr), r1 = static_cast<int>(rng() % nr);
    int c0 = static_cast<int>(rng() % nc), c1 = static_cast<int>(rng() % nc);
    ops.push_back({std::min(r0, r1), std::max(r0, r1), std::min(c0, c1), std::max(c0, c1), (rng() & 1) != 0});
  }
  int salt = 0;
  for (const Op& op : ops) {
    const int h = op.r1 - op.r0 + 1, w = op.c1 - op.c0 + 1;
    std::vector<double> buf(static_cast<size_t>(h) * w);
    ++salt;
    for (int j = 0; j < w; ++j)
      for (int i = 0; i < h; ++i) {
        const double v = Value(op.r0 + i, op.c0 + j, salt);
        buf[op.transposed ? static_cast<size_t>(i) * w + j : static_cast<size_t>(j) * h + i] = v;
        ref(op.r0 + i, op.c0 + j) = v;
      }
    for (int p = 0; p < 2; ++p) {
      qorsim::SetDirectChunkIo(p == 0);
      RangeTransfer(m[p], op.r0, op.r1, op.c0, op.c1, buf.data(), true, op.transposed);
    }
  }
  for (int readPath = 0; readPath < 2; ++readPath) {
    qorsim::SetDirectChunkIo(readPath == 0);
    for (int p = 0; p < 2; ++p) {
      std::vector<double> all(static_cast<size_t>(nr) * nc);
      RangeTransfer(m[p], 0, nr - 1, 0, nc - 1, all.data(), false);
      EXPECT_EQ(0, std::memcmp(all.data(), ref.a.data(), all.size() * 8))
          << "written by path " << p << ", read by path " << readPath;
    }
    ExpectBlocks(m[0], ref, {{16, 31, 8, 15}, {0, 69, 8, 15}, {5, 50, 3, 41}});
  }
}

TEST_F(StoreTransfer, ScatteredSetsManyBlocks) {
  // Every other row and every third column of a 200 x 150 matrix in 32 x 32 chunks: thousands of blocks, which
  // go chunk by chunk (patched whole) rather than as one huge selection; the result must still be exact.
  const int nr = 200, nc = 150;
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct);
    qorsim::SetDirectChunkIo(direct);
    StoredMatrix m = MakeMatrix(Ctx(), nr, nc, 32, 32, 1.0);
    Reference ref(nr, nc, 1.0);
    std::vector<int> rows, cols;
    for (int i = 0; i < nr; i += 2) rows.push_back(i);
    for (int j = 0; j < nc; j += 3) cols.push_back(j);
    std::vector<double> buf(rows.size() * cols.size());
    for (size_t b = 0; b < cols.size(); ++b)
      for (size_t a = 0; a < rows.size(); ++a)
        buf[b * rows.size() + a] = ref(rows[a], cols[b]) = Value(rows[a], cols[b], 3);
    QORSimTransfer w{QORSimDistribution(m.id)};
    w.SetWrite();
    w.SetBufferPadding(false);
    w.SetDim(0, QORSimCollection(m.cols).CreateVolatileOrderedCSet(cols.data(), static_cast<int>(cols.size())));
    w.SetDim(1, QORSimCollection(m.rows).CreateVolatileOrderedCSet(rows.data(), static_cast<int>(rows.size())));
    qorsim::ResetCounters();
    Exec(w, buf, true);
    if (direct) {
      EXPECT_GT(qorsim::Counters().patchedChunks, 0u);  // many blocks per chunk: chunks are patched whole
    }
    std::vector<double> all(static_cast<size_t>(nr) * nc);
    RangeTransfer(m, 0, nr - 1, 0, nc - 1, all.data(), false);
    EXPECT_EQ(all, ref.a);
    // And read back by the same scattered sets, transposed.
    QORSimTransfer r{QORSimDistribution(m.id)};
    r.SetRead();
    r.SetBufferPadding(false);
    r.SetDim(1, QORSimCollection(m.cols).CreateVolatileOrderedCSet(cols.data(), static_cast<int>(cols.size())));
    r.SetDim(0, QORSimCollection(m.rows).CreateVolatileOrderedCSet(rows.data(), static_cast<int>(rows.size())));
    std::vector<double> got(buf.size());
    Exec(r, got, false);
    for (size_t b = 0; b < cols.size(); ++b)
      for (size_t a = 0; a < rows.size(); ++a) ASSERT_EQ(got[a * cols.size() + b], buf[b * rows.size() + a]);
  }
}

TEST_F(StoreTransfer, ColourVariantMakesASquareMatrix) {
  // One collection for rows and columns: the columns run over its colour-1 variant.
  QORSimContext ctx(Ctx());
  QORSimCollectionID dofs = ctx.CreateCollection(6, QORSimTypeID(), "dofs");
  QORSimCollection(dofs).CreateColorVariant(1);
  QORSimCSetID rows = QORSimCollection(dofs).BiggestCSetID();
  QORSimCSetID cols = rows.AltColor(1);
  QORSimDistributionID id =
      ctx.CreateDistribution(QORSimGrid{cols.CollectionID(), dofs}, QORSimRangeType(QORSimDoubleKey));
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetMakeNewDrawerChunked({4, 4});
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetDim(0, cols);
  t.SetDim(1, rows);
  std::vector<double> a(36);
  std::iota(a.begin(), a.end(), 0.0);
  Exec(t, a, true);
  // The transpose by naming the row collection first.
  QORSimTransfer r{QORSimDistribution(id)};
  r.SetRead();
  r.SetBufferPadding(false);
  r.SetDimOrdinalRange(0, dofs, 0, 5);
  r.SetDimOrdinalRange(1, dofs.AltColor(1), 0, 5);
  std::vector<double> at(36);
  Exec(r, at, false);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) EXPECT_EQ(at[static_cast<size_t>(i) * 6 + j], a[static_cast<size_t>(j) * 6 + i]);
}

TEST_F(StoreTransfer, ExtensionGrowsTheExtendableDimension) {
  // 5 rows x 3 columns in 2 x 2 chunks, columns extendable; two more columns by a strided set.
  StoredMatrix m = MakeMatrix(Ctx(), 5, 3, 2, 2, 9.0, true);
  Reference ref(5, 5, 9.0);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 5; ++i) ref(i, j) = Value(i, j);
  std::vector<double> first(ref.a.begin(), ref.a.begin() + 15);
  RangeTransfer(m, 0, 4, 0, 2, first.data(), true);
  {
    QORSimTransfer t{QORSimDistribution(m.id)};
    t.SetRead();
    t.SetWrite();
    t.SetBufferPadding(false);
    t.SetDimExtension(QORSimCollection(m.cols).CreateCSetStrided(3, 2, 1));
    t.CheckView();
    t.InitializeExtension();
    t.RelinquishBuffers();
  }
  QORSimDrawerDescription d = QORSimDistribution(m.id).QueryDrawers()[0];
  EXPECT_EQ(d.DimensionSizes(), (QORSimArray<int>{5, 5}));
  EXPECT_EQ(d.ExtendableDim(), 0);
  EXPECT_EQ(d.ChunkSizes(), (QORSimArray<int>{2, 2}));
  const QORSimCSetID grown = d.Compartment().CSetID(0);
  std::vector<int> ords(5);
  QORSimCSet(grown).OrderedMembers(ords.data());
  EXPECT_EQ(ords, (std::vector<int>{0, 1, 2, 3, 4}));
  m.numCols = 5;
  ExpectBlocks(m, ref, {{0, 4, 0, 4}, {1, 3, 2, 4}});  // new columns read as the initial value
  std::vector<double> col4 = {1, 2, 3, 4, 5};
  RangeTransfer(m, 0, 4, 4, 4, col4.data(), true);
  for (int i = 0; i < 5; ++i) ref(i, 4) = col4[static_cast<size_t>(i)];
  // Ordinals that are not a continuation make an ordered set of the old members followed by the new ones.
  const std::vector<int> more = {40, 20};
  QORSimTransfer t{QORSimDistribution(m.id)};
  t.SetRead();
  t.SetWrite();
  t.SetDimExtension(QORSimCollection(m.cols).CreateOrderedCSet(more.data(), 2));
  t.CheckView();
  t.InitializeExtension();
  d = QORSimDistribution(m.id).QueryDrawers()[0];
  ords.resize(7);
  QORSimCSet(d.Compartment().CSetID(0)).OrderedMembers(ords.data());
  EXPECT_EQ(ords, (std::vector<int>{0, 1, 2, 3, 4, 40, 20}));
  Reference ref7(5, 7, 9.0);
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 5; ++i) ref7(i, j) = ref(i, j);
  m.numCols = 7;
  ExpectBlocks(m, ref7, {{0, 4, 0, 6}, {0, 4, 4, 6}});
}

TEST_F(StoreTransfer, WholeChunksBypassTheSelection) {
  // Column bands of a 64 x 32 matrix. With chunks of all 64 rows a chunk is one stretch of the band's buffer and
  // is read straight into it; with 16-row chunks it is unpacked from a chunk buffer; a band off the chunk grid
  // goes through one hyperslab selection.
  std::vector<double> band(64 * 8);
  StoredMatrix tall = MakeMatrix(Ctx(), 64, 32, 64, 8);
  StoredMatrix square = MakeMatrix(Ctx(), 64, 32, 16, 8);
  std::vector<double> all(64 * 32);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<double>(i);
  RangeTransfer(tall, 0, 63, 0, 31, all.data(), true);
  RangeTransfer(square, 0, 63, 0, 31, all.data(), true);

  qorsim::ResetCounters();
  RangeTransfer(tall, 0, 63, 8, 15, band.data(), false);
  qorsim::IoCounters c = qorsim::Counters();
  EXPECT_EQ(c.directChunks, 1u);
  EXPECT_EQ(c.packedChunks + c.selectionCalls + c.stagedSteps, 0u);
  EXPECT_TRUE(std::equal(band.begin(), band.end(), all.begin() + 64 * 8));

  qorsim::ResetCounters();
  RangeTransfer(square, 0, 63, 8, 15, band.data(), false);
  c = qorsim::Counters();
  EXPECT_EQ(c.packedChunks, 4u);
  EXPECT_EQ(c.directChunks + c.selectionCalls, 0u);
  EXPECT_TRUE(std::equal(band.begin(), band.end(), all.begin() + 64 * 8));

  qorsim::ResetCounters();
  RangeTransfer(square, 0, 63, 4, 11, band.data(), false);
  c = qorsim::Counters();
  EXPECT_EQ(c.selectionCalls, 1u);
  EXPECT_EQ(c.directChunks + c.packedChunks, 0u);
  EXPECT_TRUE(std::equal(band.begin(), band.end(), all.begin() + 64 * 4));
}

TEST_F(StoreTransfer, EmptySetsAndEmptyDimensions) {
  // A collection with no members yet: its sets are empty, a drawer over them holds nothing, and a transfer of
  // nothing needs no buffer.
  QORSimContext ctx(Ctx());
  QORSimCollectionID none = ctx.CreateCollection(0), some = ctx.CreateCollection(3);
  QORSimCSetID empty = QORSimCollection(none).CreateOrderedCSet(nullptr, 0);
  EXPECT_EQ(QORSimCSet(empty).Size(), 0);
  EXPECT_EQ(QORSimCSet(QORSimCollection(none).BiggestCSetID()).Size(), 0);
  EXPECT_EQ(QORSimCSet(QORSimCSetID()).Size(), 0);  // a null set reads as empty
  QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{none, some}, QORSimRangeType(QORSimDoubleKey));
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetMakeNewDrawerChunked({4, 4});
  t.SetExtendableDim(0);
  t.SetWrite();
  t.SetDim(0, empty);
  t.SetDim(1, QORSimCollection(some).BiggestCSetID());
  t.CheckView();
  EXPECT_EQ(t.RequiredBufferSize(0), 0u);
  t.ExecWrite();
  EXPECT_EQ(QORSimDistribution(id).QueryDrawers()[0].DimensionSizes(), (QORSimArray<int>{0, 3}));
  // Growing the empty dimension gives values that read as the initial value, 0.
  QORSimTransfer g{QORSimDistribution(id)};
  g.SetRead();
  g.SetWrite();
  g.SetDimExtension(QORSimCollection(none).CreateCSetStrided(0, 2, 1));
  g.CheckView();
  g.InitializeExtension();
  QORSimTransfer r{QORSimDistribution(id)};
  r.SetRead();
  r.SetBufferPadding(false);
  r.SetDimOrdinalRange(0, none, 0, 1);
  r.SetDimOrdinalRange(1, some, 0, 2);
  std::vector<double> out(6, -1.0);
  Exec(r, out, false);
  EXPECT_EQ(out, std::vector<double>(6, 0.0));
}
