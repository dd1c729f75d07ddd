// Data-store transfers against a plain column-major reference: ranges and sets, both packings, chunked and
// unchunked drawers, three dimensions, integers, padding, growth, and the equality of the chunk paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>

#include "QORSimCounters.h"
#include "store_test_util.h"

using namespace store_test;
using qorsim::ChunkPath;

namespace {

class StoreTransfer : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_db.Create(Path("transfer.sim").c_str());
  }
  void TearDown() override {
    qorsim::SetChunkPathLimit(ChunkPath::RAW_FILE);
    if (m_db.IsOpen()) m_db.Close();
    StoreTest::TearDown();
  }
  QORSimContextID Ctx() const { return m_db.ContextID(); }
  QORSimDatabase m_db;
};

constexpr ChunkPath kPaths[] = {ChunkPath::SELECTION, ChunkPath::HDF5_CHUNK, ChunkPath::RAW_FILE};

// Reads every listed block {r0, r1, c0, c1} in both packings and compares with the reference.
void ExpectBlocks(const StoredMatrix& m, const Reference& ref, const std::vector<std::array<int, 4>>& blocks) {
  for (const auto& b : blocks) {
    const int nr = b[1] - b[0] + 1, nc = b[3] - b[2] + 1;
    for (bool transposed : {false, true}) {
      std::vector<double> buf(static_cast<size_t>(nr) * nc, -1.0);
      RangeTransfer(m, b[0], b[1], b[2], b[3], buf.data(), false, transposed);
      for (int j = 0; j < nc; ++j)
        for (int i = 0; i < nr; ++i)
          ASSERT_EQ(buf[transposed ? static_cast<size_t>(i) * nc + j : static_cast<size_t>(j) * nr + i],
                    ref(b[0] + i, b[2] + j))
              << "rows " << b[0] << ".." << b[1] << " cols " << b[2] << ".." << b[3] << " at (" << i << "," << j
              << ") transposed " << transposed;
    }
  }
}

// Blocks that sit on, straddle and end at the chunk boundaries of a 10 x 7 matrix in 4 x 3 chunks.
const std::vector<std::array<int, 4>> kBlocks = {
    {0, 9, 0, 6}, {0, 3, 0, 2}, {4, 7, 3, 5}, {8, 9, 6, 6}, {2, 5, 1, 4},
    {3, 8, 0, 6}, {0, 9, 2, 3}, {9, 9, 0, 0}, {5, 5, 2, 5}, {1, 8, 5, 6},
};

}  // namespace

TEST_F(StoreTransfer, RangeAndSetTransfersMatchTheReference) {
  for (int rowChunk : {4, 0, 20}) {  // chunked, unchunked, chunks larger than the matrix
    SCOPED_TRACE(rowChunk);
    StoredMatrix m = MakeMatrix(Ctx(), 10, 7, rowChunk, rowChunk ? 3 : 0, -2.5);
    Reference ref(10, 7, -2.5);
    // Straddling pieces in both packings (the second write wins); chunk rows 8..9 x cols 0..2 is never written and
    // reads as the initial value, as do the unwritten parts of the chunks that are.
    int salt = 1;
    for (const auto& w : std::vector<std::array<int, 4>>{{2, 5, 1, 4}, {7, 9, 5, 6}, {0, 0, 0, 6}})
      for (bool transposed : {false, true}) WriteBlock(m, ref, w[0], w[1], w[2], w[3], salt++, transposed);
    // A write by sets in a scattered order, rows first (packed by rows), lands where the ordinals say.
    const std::vector<int> wrows = {7, 1, 5}, wcols = {3, 0};
    std::vector<double> vals = {11, 12, 21, 22, 31, 32};
    Move(m.id,
         {QORSimCollection(m.rows).CreateVolatileOrderedCSet(wrows.data(), 3),
          QORSimCollection(m.cols).CreateVolatileOrderedCSet(wcols.data(), 2)},
         vals, true);
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 2; ++b) ref(wrows[a], wcols[b]) = vals[static_cast<size_t>(a) * 2 + b];
    ExpectBlocks(m, ref, kBlocks);

    // Reads by sets and by position lists (the rows offset by one): rows permuted and repeated, columns
    // descending, in both packings.
    const std::vector<int> rows = {9, 0, 4, 4, 3, 8}, cols = {6, 2, 1}, rowsLessOne = {8, -1, 3, 3, 2, 7};
    const Dim rowSets[] = {QORSimCollection(m.rows).CreateVolatileOrderedCSet(rows.data(), 6),
                           QORSimSpan::Positions(m.rows, rowsLessOne.data(), 6, 1)};
    const Dim colSets[] = {QORSimCollection(m.cols).CreateTempOrderedCSet(cols.data(), 3),
                           QORSimSpan::Positions(m.cols, cols.data(), 3)};
    for (int form = 0; form < 4; ++form) {
      const bool transposed = form & 1;
      const Dim &rowSet = rowSets[form / 2], &colSet = colSets[form / 2];
      std::vector<double> buf(18);
      Move(m.id, transposed ? std::vector<Dim>{rowSet, colSet} : std::vector<Dim>{colSet, rowSet}, buf, false);
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 6; ++b)
          EXPECT_EQ(transposed ? buf[static_cast<size_t>(b) * 3 + a] : buf[static_cast<size_t>(a) * 6 + b],
                    ref(rows[b], cols[a]));
    }
  }
}

TEST_F(StoreTransfer, SetsTranslateOrdinalsAndColourVariantsMakeSquareMatrices) {
  // A drawer over ordinals that are not positions (made and filled at once): sets translate ordinals.
  QORSimContext ctx(Ctx());
  QORSimCollectionID dofs = ctx.CreateCollection(0, QORSimTypeID(), "dofs");
  QORSimCollectionID one = ctx.CreateCollection(1, QORSimTypeID(), "one");
  const std::vector<int> ords = {100, 7, 55, 3000, 12, 13, 14}, pick = {13, 100, 3000};
  QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{one, dofs}, QORSimRangeType(QORSimDoubleKey));
  std::vector<double> v = {0, 1, 2, 3, 4, 5, 6}, out(3);
  MakeDrawer(id, {Whole(one), QORSimCollection(dofs).CreateOrderedCSet(ords.data(), 7)}, {1, 2}, v.data(), 56);
  Move(id, {Range(one, 0, 0), QORSimCollection(dofs).CreateVolatileOrderedCSet(pick.data(), 3)}, out, false);
  EXPECT_EQ(out, (std::vector<double>{5, 0, 3}));

  // One collection for rows and columns: the columns run over its colour-1 variant; naming the rows first reads
  // the transpose.
  QORSimCollectionID nodes = ctx.CreateCollection(6, QORSimTypeID(), "nodes");
  QORSimCollection(nodes).CreateColorVariant(1);
  const QORSimCSetID rows = Whole(nodes), cols = rows.AltColor(1);
  QORSimDistributionID sq =
      ctx.CreateDistribution(QORSimGrid{cols.CollectionID(), nodes}, QORSimRangeType(QORSimDoubleKey));
  std::vector<double> a(36), at(36);
  std::iota(a.begin(), a.end(), 0.0);
  MakeDrawer(sq, {cols, rows}, {4, 4}, a.data(), 36 * 8);
  Move(sq, {Range(nodes, 0, 5), Range(nodes.AltColor(1), 0, 5)}, at, false);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) EXPECT_EQ(at[static_cast<size_t>(i) * 6 + j], a[static_cast<size_t>(j) * 6 + i]);
}

TEST_F(StoreTransfer, ThreeDimensionsInEveryOrder) {
  // 5 x 6 x 7 in chunks 2 x 4 x 3: every order of the transfer dimensions packs its block with the last fastest.
  QORSimContext ctx(Ctx());
  const QORSimCollectionID colls[3] = {ctx.CreateCollection(5), ctx.CreateCollection(6), ctx.CreateCollection(7)};
  QORSimDistributionID id =
      ctx.CreateDistribution(QORSimGrid{colls[0], colls[1], colls[2]}, QORSimRangeType(QORSimDoubleKey));
  std::vector<double> all(5 * 6 * 7);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<double>(i) + 0.5;
  MakeDrawer(id, {Whole(colls[0]), Whole(colls[1]), Whole(colls[2])}, {2, 4, 3}, all.data(), all.size() * 8);
  const int lo[3] = {1, 2, 1}, hi[3] = {4, 5, 5};
  std::array<int, 3> perm = {0, 1, 2};
  do {
    std::vector<Dim> dims;
    for (int p : perm) dims.push_back(Range(colls[p], lo[p], hi[p]));
    std::vector<double> out(4 * 4 * 5);
    Move(id, dims, out, false);
    size_t k = 0;
    int idx[3], pos[3];
    for (idx[0] = lo[perm[0]]; idx[0] <= hi[perm[0]]; ++idx[0])
      for (idx[1] = lo[perm[1]]; idx[1] <= hi[perm[1]]; ++idx[1])
        for (idx[2] = lo[perm[2]]; idx[2] <= hi[perm[2]]; ++idx[2]) {
          for (int t = 0; t < 3; ++t) pos[perm[t]] = idx[t];
          ASSERT_EQ(out[k++], all[static_cast<size_t>((pos[0] * 6 + pos[1]) * 7 + pos[2])])
              << "order " << perm[0] << perm[1] << perm[2];
        }
  } while (std::next_permutation(perm.begin(), perm.end()));
}

TEST_F(StoreTransfer, IntegerDistributionsAndPadding) {
  // A 3 x 5 integer matrix (unchunked) with initial value 7; column 1 written tightly packed.
  QORSimContext ctx(Ctx());
  QORSimCollectionID rows = ctx.CreateCollection(3), cols = ctx.CreateCollection(5);
  QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{cols, rows}, QORSimRangeType(QORSimIntKey));
  MakeDrawer(id, {Whole(cols), Whole(rows)}, {}, nullptr, 0, 7);
  EXPECT_EQ(QORSimDistribution(id).QueryDrawers()[0].DataTypeKey(), QORSimIntKey);
  std::vector<int> col = {10, 11, 12};
  Move(id, {Range(cols, 1, 1), Range(rows, 0, 2)}, col, true);
  // With padding (the default) each run of three ints takes 16 bytes; the padding is left alone.
  QORSimTransfer r{QORSimDistribution(id)};
  r.SetRead();
  SetDims(r, {Range(cols, 0, 2), Range(rows, 0, 2)});
  std::vector<int> out(12, -9);
  Exec(r, out, false);
  EXPECT_EQ(out, (std::vector<int>{7, 7, 7, -9, 10, 11, 12, -9, 7, 7, 7, -9}));
}

TEST_F(StoreTransfer, EveryChunkPathGivesTheSameBytes) {
  // The same writes into one matrix per write path; after each write a block around it is read through another
  // path without closing (selection writes still in HDF5's chunk cache, whole chunks written behind its back),
  // then everything through every path, twice (the second time from the known chunk places), again after close and
  // reopen, and in an in-memory database.
  std::mt19937 rng(20240611);
  SCOPED_TRACE("seed 20240611");
  const int nr = 70, nc = 45;  // chunks 16 x 8: edge chunks of 6 rows and 5 columns
  struct Op {
    int r0, r1, c0, c1;
    bool transposed;
  };
  // Partial pieces of fresh and written chunks, whole chunks over them, edge chunks, a chunk read partly first.
  std::vector<Op> ops = {{3, 5, 2, 4, false},   {0, 15, 0, 7, false},   {16, 63, 8, 23, true},
                         {20, 22, 9, 9, false}, {16, 31, 8, 15, false}, {0, 69, 40, 44, true},
                         {64, 69, 0, 44, true}, {3, 40, 9, 30, false},  {0, 69, 24, 39, false}};
  for (int k = 0; k < 16; ++k) {
    const int r0 = static_cast<int>(rng() % nr), r1 = static_cast<int>(rng() % nr);
    const int c0 = static_cast<int>(rng() % nc), c1 = static_cast<int>(rng() % nc);
    ops.push_back({std::min(r0, r1), std::max(r0, r1), std::min(c0, c1), std::max(c0, c1), (rng() & 1) != 0});
  }
  QORSimDatabase memory;
  memory.CreateInMemory("paths");
  std::vector<StoredMatrix> m;
  for (int p = 0; p < 3; ++p) m.push_back(MakeMatrix(Ctx(), nr, nc, 16, 8, 0.5));
  m.push_back(MakeMatrix(memory.ContextID(), nr, nc, 16, 8, 0.5));  // written through the fastest path allowed
  std::vector<Reference> ref(m.size(), Reference(nr, nc, 0.5));
  qorsim::ResetCounters();
  for (size_t k = 0; k < ops.size(); ++k) {
    const Op& op = ops[k];
    for (size_t p = 0; p < m.size(); ++p) {
      qorsim::SetChunkPathLimit(kPaths[std::min<size_t>(p, 2)]);
      WriteBlock(m[p], ref[p], op.r0, op.r1, op.c0, op.c1, static_cast<int>(k), op.transposed);
      qorsim::SetChunkPathLimit(kPaths[(p + k) % 3]);
      // The chunk-aligned block around the write: whole chunks and, at the drawer's edge, edge chunks.
      const int r0 = op.r0 / 16 * 16, c0 = op.c0 / 8 * 8;
      ExpectBlocks(m[p], ref[p],
                   {{r0, std::min(nr - 1, op.r1 / 16 * 16 + 15), c0, std::min(nc - 1, op.c1 / 8 * 8 + 7)}});
    }
  }
  const qorsim::IoCounters c = qorsim::Counters();
  EXPECT_GT(c.rawChunks, 0u);
  EXPECT_GT(c.cacheFlushes, 0u);
  EXPECT_GT(c.cacheResets, 0u);
  for (size_t p = 1; p < m.size(); ++p) ASSERT_EQ(ref[p].a, ref[0].a);
  auto expectAll = [&](size_t count) {
    for (ChunkPath read : kPaths) {
      qorsim::SetChunkPathLimit(read);
      for (size_t p = 0; p < count; ++p) {
        std::vector<double> all(static_cast<size_t>(nr) * nc);
        RangeTransfer(m[p], 0, nr - 1, 0, nc - 1, all.data(), false);
        EXPECT_EQ(0, std::memcmp(all.data(), ref[0].a.data(), all.size() * 8))
            << "written by path " << p << ", read by path " << static_cast<int>(read);
      }
    }
  };
  expectAll(m.size());
  // Every chunk is stored and was located by now: reading it all again asks no chunk index.
  qorsim::ResetCounters();
  expectAll(m.size());
  EXPECT_EQ(qorsim::Counters().indexQueries, 0u);
  memory.Close();
  m_db.Close();
  m_db.Open(Path("transfer.sim").c_str(), QORSimDatabase::ReadOnly);
  for (size_t p = 0; p < 3; ++p) m[p] = Rebind(m[p], m_db.ContextID());
  expectAll(3);
}

TEST_F(StoreTransfer, AFileOpenTwiceSeesItsOwnWrites) {
  // Both databases on one file share HDF5's chunk caches: a chunk the second one holds in the cache after a partial
  // read must not go stale when the first one writes the whole chunk.
  StoredMatrix m = MakeMatrix(Ctx(), 32, 16, 16, 8);
  Reference ref(32, 16);
  WriteBlock(m, ref, 0, 31, 0, 15, 1, false);
  QORSimDatabase other;
  other.Open(Path("transfer.sim").c_str());
  const StoredMatrix o = Rebind(m, other.ContextID());
  ExpectBlocks(o, ref, {{2, 5, 1, 3}});
  WriteBlock(m, ref, 0, 15, 0, 7, 2, false);
  ExpectBlocks(o, ref, {{2, 5, 1, 3}, {0, 31, 0, 15}});
  other.Close();
}

TEST_F(StoreTransfer, ScatteredSetsManyBlocks) {
  // Every other row and every third column of a 200 x 150 matrix in 32 x 32 chunks: thousands of blocks, which
  // go chunk by chunk (patched whole) rather than as one huge selection; the result must still be exact.
  const int nr = 200, nc = 150;
  std::vector<int> rows, cols;
  for (int i = 0; i < nr; i += 2) rows.push_back(i);
  for (int j = 0; j < nc; j += 3) cols.push_back(j);
  for (ChunkPath path : kPaths) {
    SCOPED_TRACE(static_cast<int>(path));
    qorsim::SetChunkPathLimit(path);
    StoredMatrix m = MakeMatrix(Ctx(), nr, nc, 32, 32, 1.0);
    Reference ref(nr, nc, 1.0);
    std::vector<double> buf(rows.size() * cols.size()), got(buf.size()), all(ref.a.size());
    for (size_t b = 0; b < cols.size(); ++b)
      for (size_t a = 0; a < rows.size(); ++a)
        buf[b * rows.size() + a] = ref(rows[a], cols[b]) = Value(rows[a], cols[b], 3);
    const QORSimCSetID rowSet =
        QORSimCollection(m.rows).CreateTempOrderedCSet(rows.data(), static_cast<int>(rows.size()));
    const QORSimCSetID colSet =
        QORSimCollection(m.cols).CreateTempOrderedCSet(cols.data(), static_cast<int>(cols.size()));
    Move(m.id, {colSet, rowSet}, buf, true);
    RangeTransfer(m, 0, nr - 1, 0, nc - 1, all.data(), false);
    EXPECT_EQ(all, ref.a);
    Move(m.id, {rowSet, colSet}, got, false);  // read back by the same sets, transposed
    for (size_t b = 0; b < cols.size(); ++b)
      for (size_t a = 0; a < rows.size(); ++a) ASSERT_EQ(got[a * cols.size() + b], buf[b * rows.size() + a]);
  }
}

TEST_F(StoreTransfer, ExtensionGrowsTheExtendableDimension) {
  // 5 rows x 3 columns in 2 x 2 chunks, columns extendable; two more columns by a strided set (new values read as
  // the initial value), then two by ordinals that are not a continuation (an ordered set of all members).
  StoredMatrix m = MakeMatrix(Ctx(), 5, 3, 2, 2, 9.0, true);
  Reference ref(5, 7, 9.0);
  WriteBlock(m, ref, 0, 4, 0, 2, 0);
  QORSimDrawerDescription d = Grow(m.id, QORSimCollection(m.cols).CreateCSetStrided(3, 2, 1));
  EXPECT_EQ(Members(d.Compartment().CSetID(0)), (std::vector<int>{0, 1, 2, 3, 4}));
  ExpectBlocks(m, ref, {{0, 4, 0, 4}, {1, 3, 2, 4}});
  WriteBlock(m, ref, 0, 4, 4, 4, 1, false);
  const std::vector<int> more = {40, 20};
  d = Grow(m.id, QORSimCollection(m.cols).CreateOrderedCSet(more.data(), 2));
  EXPECT_EQ(d.DimensionSizes(), (QORSimArray<int>{7, 5}));
  EXPECT_EQ(d.ExtendableDim(), 0);
  EXPECT_EQ(d.ChunkSizes(), (QORSimArray<int>{2, 2}));
  EXPECT_EQ(Members(d.Compartment().CSetID(0)), (std::vector<int>{0, 1, 2, 3, 4, 40, 20}));
  ExpectBlocks(m, ref, {{0, 4, 0, 6}, {0, 4, 4, 6}});
}

TEST_F(StoreTransfer, EmptySetsAndEmptyDimensions) {
  // A collection with no members yet: its sets are empty, a drawer over them holds nothing, a transfer of nothing
  // needs no buffer, and growing the empty dimension gives values that read as the initial value, 0.
  QORSimContext ctx(Ctx());
  QORSimCollectionID none = ctx.CreateCollection(0), some = ctx.CreateCollection(3);
  QORSimCSetID empty = QORSimCollection(none).CreateOrderedCSet(nullptr, 0);
  EXPECT_EQ(QORSimCSet(empty).Size() + QORSimCSet(Whole(none)).Size(), 0);
  EXPECT_EQ(QORSimCSet(QORSimCSetID()).Size(), 0);  // a null set reads as empty
  QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{none, some}, QORSimRangeType(QORSimDoubleKey));
  double unused = 0;  // made by a write of nothing: the transfer needs 0 bytes
  MakeDrawer(id, {empty, Whole(some)}, {4, 4}, &unused, 0, 0.0, 0);
  EXPECT_EQ(QORSimDistribution(id).QueryDrawers()[0].DimensionSizes(), (QORSimArray<int>{0, 3}));
  Grow(id, QORSimCollection(none).CreateCSetStrided(0, 2, 1));
  std::vector<double> out(6, -1.0);
  Move(id, {Range(none, 0, 1), Range(some, 0, 2)}, out, false);
  EXPECT_EQ(out, std::vector<double>(6, 0.0));
}

TEST_F(StoreTransfer, ConcurrentTransfersKeepEachOthersCacheFlags) {
  // Two readers of A, one through whole chunks and one through a selection that loads a chunk into HDF5's cache,
  // beside a writer of B. The selection's mark must survive the other reader, or the whole-chunk write that follows
  // bypasses the stale cached chunk and the next selection read returns old values.
  StoredMatrix a = MakeMatrix(Ctx(), 256, 256, 16, 16), b = MakeMatrix(Ctx(), 32, 32, 16, 16);
  std::vector<double> chunk(256), piece(196), other(1024, 1.0), whole(65536), part(196);
  for (int round = 0; round < 40; ++round) {
    std::atomic<bool> started{false}, partRead{false};
    std::thread r1([&] {
      started = true;
      do RangeTransfer(a, 0, 255, 0, 255, whole.data(), false);
      while (!partRead);
    });
    std::thread r2([&] {
      while (!started) std::this_thread::yield();
      RangeTransfer(a, 1, 14, 1, 14, part.data(), false);
      partRead = true;
    });
    std::thread w([&] { RangeTransfer(b, 0, 31, 0, 31, other.data(), true); });
    r1.join();
    r2.join();
    w.join();
    for (int j = 0; j < 16; ++j)
      for (int i = 0; i < 16; ++i) chunk[static_cast<size_t>(j) * 16 + i] = Value(i, j, round + 1);
    RangeTransfer(a, 0, 15, 0, 15, chunk.data(), true);
    RangeTransfer(a, 1, 14, 1, 14, piece.data(), false);
    for (int j = 0; j < 14; ++j)
      for (int i = 0; i < 14; ++i)
        ASSERT_EQ(piece[static_cast<size_t>(j) * 14 + i], Value(1 + i, 1 + j, round + 1)) << "round " << round;
    RangeTransfer(a, 0, 15, 0, 15, chunk.data(),
                  true);  // empties the cache the check used: the next round starts clean
  }
}
