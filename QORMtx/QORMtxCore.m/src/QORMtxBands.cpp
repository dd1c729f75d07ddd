// QORMtxBands: band geometry of stored matrices and the streaming loop shared by every streamed product.
#include "QORMtxBands.h"

#include <algorithm>
#include <utility>

#include "QORMtxAssert.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxTimer.h"
#include "QORMtxUtilities.h"

namespace qormtx_bands {

namespace {

int NumBlocks(const QORMtxDenseMatrix& A, Axis axis) {
  return axis == Axis::Rows ? A.NumberOfRowBlocks() : A.NumberOfColumnBlocks();
}
int FirstIn(const QORMtxDenseMatrix& A, Axis axis, int b) {
  return axis == Axis::Rows ? A.FirstRowInBlock(b) : A.FirstColumnInBlock(b);
}
int InRange(const QORMtxDenseMatrix& A, Axis axis, int b0, int b1) {
  return axis == Axis::Rows ? A.NumberOfRowsInBlockRange(b0, b1) : A.NumberOfColumnsInBlockRange(b0, b1);
}
int AxisExtent(const QORMtxDenseMatrix& A, Axis axis) {
  return axis == Axis::Rows ? A.NumberOfRows() : A.NumberOfColumns();
}

QORMtxTime Minus(const QORMtxTime& a, const QORMtxTime& b) {
  return QORMtxTime(a.wall - b.wall, a.user - b.user, a.sys - b.sys);
}

// The rectangle of a band in matrix coordinates.
struct Rect {
  int r0, rows, c0, cols;
};
Rect Place(Axis axis, const Range& along, int crossFirst, int crossCount) {
  if (axis == Axis::Rows) return {along.first, along.count, crossFirst, crossCount};
  return {crossFirst, crossCount, along.first, along.count};
}

}  // namespace

namespace {
thread_local KeepBuffers* t_keep = nullptr;  // per thread: no lock, and no buffer crosses threads
}

KeepBuffers::KeepBuffers() : m_outer(t_keep) { t_keep = this; }
KeepBuffers::~KeepBuffers() {
  t_keep = m_outer;
  for (Kept& k : m_kept) QORMtxUtilities::Deallocate(k.p);
}

Buffer::Buffer(size_t n) : m_p(nullptr), m_capacity(n) {
  if (n == 0) return;
  if (t_keep) {
    // The smallest kept buffer that holds n: the larger ones stay for larger bands.
    auto& kept = t_keep->m_kept;
    auto best = kept.end();
    for (auto it = kept.begin(); it != kept.end(); ++it)
      if (it->capacity >= n && (best == kept.end() || it->capacity < best->capacity)) best = it;
    if (best != kept.end()) {
      m_p = best->p;
      m_capacity = best->capacity;
      kept.erase(best);
      return;
    }
    // Every kept buffer is too small: this one replaces the largest of them, so that no more are held than were
    // ever alive at once.
    if (!kept.empty()) {
      const auto byCapacity = [](const KeepBuffers::Kept& a, const KeepBuffers::Kept& b) {
        return a.capacity < b.capacity;
      };
      const auto largest = std::max_element(kept.begin(), kept.end(), byCapacity);
      QORMtxUtilities::Deallocate(largest->p);
      kept.erase(largest);
    }
  }
  m_p = QORMtxUtilities::AllocateDouble(n);
}

Buffer::~Buffer() {
  if (!m_p) return;
  if (t_keep) {
    t_keep->m_kept.push_back({m_p, m_capacity});
    return;
  }
  QORMtxUtilities::Deallocate(m_p);
}

// ---- Geometry ----

Geometry Geometry::Blocks(const QORMtxDenseMatrix& A, Axis axis, int k) {
  k = std::max(1, k);
  const int nb = NumBlocks(A, axis);
  Geometry g;
  if (nb <= 0 || AxisExtent(A, axis) <= 0) return g;
  g.m_starts.push_back(0);
  for (int b = 0; b < nb; b += k) {
    const int last = std::min(nb - 1, b + k - 1);
    const int count = InRange(A, axis, b, last);
    g.m_blockStarts.push_back(b);
    g.m_starts.push_back(FirstIn(A, axis, b) + count);
    g.m_maxCount = std::max(g.m_maxCount, count);
    if (nb - 1 - b < k) break;  // b + k would overflow for a huge k
  }
  g.m_blockStarts.push_back(nb);
  return g;
}

Geometry Geometry::BlocksWithin(const QORMtxDenseMatrix& A, Axis axis, int64_t maxPositions) {
  const int largest = axis == Axis::Rows ? A.MaxNumberOfRowsInBlock() : A.MaxNumberOfColumnsInBlock();
  if (largest <= 0) return Geometry();
  const int64_t k = std::max<int64_t>(1, std::min<int64_t>(maxPositions / largest, NumBlocks(A, axis)));
  return Blocks(A, axis, static_cast<int>(k));
}

Geometry Geometry::Ranges(int count, int width) {
  width = std::max(1, width);
  Geometry g;
  if (count <= 0) return g;
  g.m_starts.push_back(0);
  for (int first = 0; first < count;) {
    const int n = std::min(width, count - first);
    first += n;
    g.m_starts.push_back(first);
    g.m_maxCount = std::max(g.m_maxCount, n);
  }
  return g;
}

Geometry Geometry::FromStarts(std::vector<int> starts) {
  Geometry g;
  if (starts.size() < 2) return g;
  for (size_t b = 0; b + 1 < starts.size(); ++b) g.m_maxCount = std::max(g.m_maxCount, starts[b + 1] - starts[b]);
  g.m_starts = std::move(starts);
  return g;
}

Range Geometry::operator[](int b) const {
  Range r;
  r.first = m_starts[b];
  r.count = m_starts[b + 1] - m_starts[b];
  if (!m_blockStarts.empty()) {
    r.firstBlock = m_blockStarts[b];
    r.lastBlock = m_blockStarts[b + 1] - 1;
  }
  return r;
}

// ---- Stats and context ----

void Stats::Print(const char* accessLabel, const char* computeLabel) const {
  access.Print(accessLabel);
  compute.Print(computeLabel);
}

void Context::Read(const QORMtxDenseMatrix& M, int r0, int r1, int c0, int c1, double* out) {
  if (r1 < r0 || c1 < c0) return;
  QORMtxTimer t;
  t.Start();
  M.GetValues(r0, r1, c0, c1, out);
  m_access += t.Stop();
}

void Context::Write(QORMtxDenseMatrix& M, int r0, int r1, int c0, int c1, const double* in) {
  if (r1 < r0 || c1 < c0) return;
  QORMtxTimer t;
  t.Start();
  M.SetValues(r0, r1, c0, c1, in);
  m_access += t.Stop();
}

void Context::Access(const std::function<void()>& transfer) {
  QORMtxTimer t;
  t.Start();
  transfer();
  m_access += t.Stop();
}

// ---- Loop ----

Loop::Loop(Axis axis, Geometry along) : m_axis(axis), m_along(std::move(along)) {}

Loop& Loop::Source(const QORMtxDenseMatrix& M, int crossFirst, int crossCount, bool read) {
  const int cross = AxisExtent(M, m_axis == Axis::Rows ? Axis::Columns : Axis::Rows);
  m_source = &M;
  m_read = read;
  m_srcFirst = crossFirst;
  m_srcCount = crossCount < 0 ? std::max(0, cross - crossFirst) : crossCount;
  return *this;
}

Loop& Loop::Target(QORMtxDenseMatrix& M, int crossFirst, int crossCount) {
  const int cross = AxisExtent(M, m_axis == Axis::Rows ? Axis::Columns : Axis::Rows);
  m_target = &M;
  m_dstFirst = crossFirst;
  m_dstCount = crossCount < 0 ? std::max(0, cross - crossFirst) : crossCount;
  return *this;
}

Loop& Loop::Across(Geometry across) {
  m_across = std::move(across);
  m_tiles = true;
  return *this;
}

Loop& Loop::Window(int crossCount) {
  m_srcFirst = 0;
  m_srcCount = std::max(0, crossCount);
  return *this;
}

Loop& Loop::TwoBuffers() {
  m_twoBuffers = true;
  return *this;
}

Stats Loop::Run(const Step& step) {
  Stats stats;
  // The write window shares the read buffer when it is the same rectangle of the same matrix, or when nothing is
  // read from a stored source (the step fills the buffer that is written).
  const bool shared = !m_target || !m_source || (m_target == m_source && (m_tiles || (m_dstFirst == m_srcFirst &&
                                                                                        m_dstCount == m_srcCount)));
  const bool windowFromTarget = m_target && !m_source && !m_tiles && m_srcCount == 0;
  const int inCross = m_tiles ? m_across.MaxCount() : windowFromTarget ? m_dstCount : m_srcCount;
  const int outCross = m_tiles ? m_across.MaxCount() : m_dstCount;
  const size_t along = static_cast<size_t>(m_along.MaxCount());
  const size_t inSize = along * static_cast<size_t>(inCross);
  const size_t outSize = shared ? 0 : along * static_cast<size_t>(outCross);
  const int numSlots = m_twoBuffers ? 2 : 1;
  Buffer inBuf(inSize * numSlots), outBuf(outSize * numSlots);

  Context ctx;
  Band pending;  // with two buffers: the band whose write waits for the next step
  bool hasPending = false;
  const auto writeBack = [&](const Band& b) {
    if (!m_target) return;
    const int crossFirst = m_tiles ? m_dstFirst + b.across.first : m_dstFirst;
    const int crossCount = m_tiles ? b.across.count : m_dstCount;
    const Rect w = Place(m_axis, b.along, crossFirst, crossCount);
    ctx.Write(*m_target, w.r0, w.r0 + w.rows - 1, w.c0, w.c0 + w.cols - 1, b.out);
  };

  const int numAcross = m_tiles ? m_across.NumberOfRanges() : 1;
  int slot = 0;
  for (int a = 0; a < m_along.NumberOfRanges() && !ctx.m_stop; ++a) {
    for (int t = 0; t < numAcross && !ctx.m_stop; ++t) {
      Band band;
      band.index = stats.passes;
      band.along = m_along[a];
      if (m_tiles) {
        band.across = m_across[t];
        band.across.first += m_srcFirst;
      } else {
        band.across.first = windowFromTarget ? m_dstFirst : m_srcFirst;
        band.across.count = inCross;
      }
      const Rect r = Place(m_axis, band.along, band.across.first, band.across.count);
      band.rows = r.rows;
      band.cols = r.cols;
      band.r0 = r.r0;
      band.c0 = r.c0;
      band.in = inBuf.get() ? inBuf.get() + slot * inSize : nullptr;
      band.out = shared ? band.in : outBuf.get() + slot * outSize;
      const Rect w = Place(m_axis, band.along, 0, m_tiles ? band.across.count : outCross);
      band.outRows = w.rows;
      band.outCols = w.cols;
      if (hasPending) {
        band.previous = pending.in;
        band.previousAlong = pending.along;
      }
      if (m_source && m_read) ctx.Read(*m_source, r.r0, r.r0 + r.rows - 1, r.c0, r.c0 + r.cols - 1, band.in);

      const QORMtxTime accessBefore = ctx.m_access;
      QORMtxTimer timer;
      timer.Start();
      step(band, ctx);
      stats.compute += Minus(timer.Stop(), Minus(ctx.m_access, accessBefore));
      ++stats.passes;

      if (m_twoBuffers) {
        if (hasPending) writeBack(pending);
        pending = band;
        hasPending = true;
        slot ^= 1;
      } else {
        writeBack(band);
      }
    }
  }
  if (hasPending) writeBack(pending);
  stats.access = ctx.m_access;
  return stats;
}

}  // namespace qormtx_bands
