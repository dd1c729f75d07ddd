// Band geometry as a property over many block layouts, and the streaming loop's reads, writes and buffer turns.
#include <memory>

#include "QORMtxBands.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxUtilities.h"
#include "stored_util.h"

namespace {

using namespace qormtx_bands;
using stored_test::Pattern;
using Bands = stored_test::StoredTest;

// Block boundaries of one axis of A: first position of every block, then the extent.
std::vector<int> Boundaries(const QORMtxDenseMatrix& A, Axis axis) {
  const bool rows = axis == Axis::Rows;
  std::vector<int> b;
  const int nb = rows ? A.NumberOfRowBlocks() : A.NumberOfColumnBlocks();
  for (int k = 0; k < nb; ++k) b.push_back(rows ? A.FirstRowInBlock(k) : A.FirstColumnInBlock(k));
  b.push_back(rows ? A.NumberOfRows() : A.NumberOfColumns());
  return b;
}

void CheckPartition(const QORMtxDenseMatrix& A, Axis axis, const Geometry& g, int64_t budget, const std::string& at) {
  const std::vector<int> bounds = Boundaries(A, axis);
  const int extent = bounds.back();
  const int largest = axis == Axis::Rows ? A.MaxNumberOfRowsInBlock() : A.MaxNumberOfColumnsInBlock();
  ASSERT_EQ(g.Extent(), extent) << at;
  if (extent == 0) {
    EXPECT_EQ(g.NumberOfRanges(), 0) << at;
    return;
  }
  int next = 0, maxCount = 0;
  for (int b = 0; b < g.NumberOfRanges(); ++b) {
    const Range r = g[b];
    EXPECT_EQ(r.first, next) << at << " range " << b;
    EXPECT_GT(r.count, 0) << at << " range " << b;
    // Starts and ends on block boundaries, and the blocks named are those it covers.
    ASSERT_GE(r.firstBlock, 0) << at;
    EXPECT_EQ(bounds[r.firstBlock], r.first) << at << " range " << b;
    EXPECT_EQ(bounds[r.lastBlock + 1], r.first + r.count) << at << " range " << b;
    // Within the budget, unless one block alone exceeds it.
    if (r.lastBlock > r.firstBlock) {
      EXPECT_LE(r.count, budget) << at << " range " << b;
    }
    if (largest > budget) {
      EXPECT_EQ(r.firstBlock, r.lastBlock) << at << " range " << b;
    }
    next = r.first + r.count;
    maxCount = std::max(maxCount, r.count);
  }
  EXPECT_EQ(next, extent) << at;
  EXPECT_EQ(g.MaxCount(), maxCount) << at;
}

TEST_F(Bands, GeometryPartitionsEveryAxisOnBlockBoundariesWithinTheBudget) {
  const int shapes[][2] = {{0, 3}, {3, 0}, {1, 1}, {7, 5}, {10, 7}, {33, 9}};
  const int chunks[] = {1, 3, 4, 8, -1};
  const int64_t budgets[] = {1, 2, 5, 9, 1000};
  for (const auto& s : shapes)
    for (int ch : chunks) {
      const QORSimDistributionID id =
          QORMtxUtilities::Create2DDistribution(NewSet(s[0]), NewSet(s[1]), ch, ch == -1 ? -1 : ch + 1);
      QORMtxDenseMatrix whole(id);
      // A view starts and ends inside blocks: short first and last blocks.
      std::unique_ptr<QORMtxDenseMatrix> view(s[0] > 2 && s[1] > 2 ? whole.Submatrix(1, s[0] - 2, 1, s[1] - 1)
                                                                   : nullptr);
      for (const QORMtxDenseMatrix* A : {&whole, view.get()}) {
        if (!A) continue;
        for (Axis axis : {Axis::Rows, Axis::Columns})
          for (int64_t budget : budgets) {
            const std::string at = std::to_string(A->NumberOfRows()) + "x" + std::to_string(A->NumberOfColumns()) +
                                   " chunk " + std::to_string(ch) + (A == view.get() ? " view" : "") + " axis " +
                                   std::to_string(static_cast<int>(axis)) + " budget " + std::to_string(budget);
            CheckPartition(*A, axis, Geometry::BlocksWithin(*A, axis, budget), budget, at);
            CheckPartition(*A, axis, Geometry::Blocks(*A, axis, static_cast<int>(budget)), INT64_MAX, at + " k");
          }
      }
    }
  // Plain ranges ignore blocks: widths 3 over 7 positions.
  const Geometry r = Geometry::Ranges(7, 3);
  EXPECT_EQ((std::vector<int>{r.NumberOfRanges(), r[2].first, r[2].count, r.MaxCount()}),
            (std::vector<int>{3, 6, 1, 3}));
}

TEST_F(Bands, LoopReadsWritesBackCountsPassesAndKeepsThePreviousBandWithTwoBuffers) {
  const int m = 10, n = 7;
  const std::vector<double> ref = Pattern(m, n);
  for (bool two : {false, true}) {
    QORMtxDenseMatrix A(QORMtxUtilities::Create2DDistribution(NewSet(m), NewSet(n), 3, 4));
    A.SetValues(0, m - 1, 0, n - 1, ref.data());
    // Row bands of two blocks (rows 0-5, 6-9); each step doubles its band and, with two buffers, adds 1 to the
    // previous band, which must then reach the store after this step.
    Loop loop(Axis::Rows, Geometry::Blocks(A, Axis::Rows, 2));
    loop.Source(A).Target(A);
    if (two) loop.TwoBuffers();
    std::vector<int> firstRows;
    const Stats st = loop.Run([&](Band& b, Context&) {
      firstRows.push_back(b.r0);
      EXPECT_EQ(b.in[0], ref[b.r0]);  // read before the step
      for (int k = 0; k < b.rows * b.cols; ++k) b.in[k] *= 2;
      if (b.previous)
        for (int k = 0; k < b.previousAlong.count * n; ++k) b.previous[k] += 1;
    });
    EXPECT_EQ(st.passes, 2);
    EXPECT_EQ(firstRows, (std::vector<int>{0, 6}));
    std::vector<double> got(ref.size());
    A.GetAllValues(got.data());
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i)
        EXPECT_EQ(got[j * m + i], 2 * ref[j * m + i] + (two && i < 6 ? 1 : 0)) << i << "," << j << " two " << two;
  }
}

}  // namespace

// Inside a KeepBuffers scope a released buffer serves the next band it holds (the smallest that fits), a band no
// kept buffer holds replaces the largest kept one, and the innermost scope keeps; outside any scope nothing is kept.
TEST(BandBuffers, KeptWithinTheInnermostScopeAndReusedBySize) {
  double *small = nullptr, *large = nullptr;
  {
    KeepBuffers keep;
    {
      const Buffer a(100), b(1000);
      small = a.get();
      large = b.get();
    }
    EXPECT_EQ(Buffer(50).get(), small);
    EXPECT_EQ(Buffer(100).get(), small);
    EXPECT_EQ(Buffer(101).get(), large);
    {
      KeepBuffers inner;
      const Buffer c(10);
      EXPECT_NE(c.get(), small);  // the outer scope's buffers stay with it
    }
    EXPECT_EQ(Buffer(1000).get(), large);
    double* const grown = Buffer(5000).get();  // replaces the 1000, keeps the 100
    EXPECT_EQ(Buffer(100).get(), small);
    EXPECT_EQ(Buffer(4000).get(), grown);
    const Buffer x(10), y(10), z(10);  // three alive at once: the two kept and one new
    EXPECT_TRUE(x.get() == small || y.get() == small || z.get() == small);
  }
  const Buffer none(0);
  EXPECT_EQ(none.get(), nullptr);
}
