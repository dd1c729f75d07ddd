// QORMtxBands: where the bands of a stored matrix start and end, and the one loop that moves them through memory.
//
// Every streamed product is a geometry (which rows or columns go through memory together, decided from the block
// layout and the product's own budget, without I/O) and a compute step. The loop owns the band buffers, reads a
// band only when the product needs its old values, writes it back when asked, counts passes and separates
// access time (transfers) from compute time (the rest of the step).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "QORMtxTime.h"

class QORMtxDenseMatrix;

namespace qormtx_bands {

/// \brief n doubles from the host's allocation hooks (none for n = 0), released with the object, or taken from and
/// given back to the innermost KeepBuffers of this thread.
class Buffer {
 public:
  explicit Buffer(size_t n);
  ~Buffer();
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  double* get() const { return m_p; }

 private:
  double* m_p;
  size_t m_capacity;
};

/// \brief While one lives on a thread, the band buffers its products release are kept for the next product of that
/// thread, and all are released when it ends. A solver that runs thousands of products on bands of the same sizes
/// then reuses warm pages instead of having the system fault in and zero fresh ones for every band (a fifth of the
/// time of small stored products). A band that no kept buffer holds replaces the largest kept one, so a scope never
/// holds more buffers than were alive at once, each within its product's budget. Scopes nest; the innermost keeps.
class KeepBuffers {
 public:
  KeepBuffers();
  ~KeepBuffers();
  KeepBuffers(const KeepBuffers&) = delete;
  KeepBuffers& operator=(const KeepBuffers&) = delete;

 private:
  friend class Buffer;
  struct Kept {
    double* p;
    size_t capacity;
  };
  std::vector<Kept> m_kept;
  KeepBuffers* m_outer;
};

/// Rows: a band is a range of rows, all (or a window of) the columns. Columns: the other way round.
enum class Axis { Rows, Columns };

/// One range along an axis: positions first … first + count − 1, made of blocks firstBlock … lastBlock
/// (both −1 when the geometry is not made of a matrix's blocks).
struct Range {
  int first = 0, count = 0;
  int firstBlock = -1, lastBlock = -1;
  int Last() const { return first + count - 1; }
};

/// \brief Consecutive ranges that partition 0 … Extent() − 1. Cheap to copy; computed without touching the store.
class Geometry {
 public:
  Geometry() = default;
  /// \brief k whole blocks of A per range along axis (k < 1 counts as 1); the last range may hold fewer.
  /// An empty axis has no range.
  static Geometry Blocks(const QORMtxDenseMatrix& A, Axis axis, int k);
  /// \brief As many whole blocks per range as fit maxPositions positions: k = maxPositions / largest block, at least
  /// one block (a single block larger than the budget still goes alone).
  static Geometry BlocksWithin(const QORMtxDenseMatrix& A, Axis axis, int64_t maxPositions);
  /// \brief Ranges of width positions (at least 1) over 0 … count − 1, without regard to blocks.
  static Geometry Ranges(int count, int width);
  /// \brief Range b is starts[b] … starts[b + 1] − 1 (starts ascending; empty ranges allowed).
  static Geometry FromStarts(std::vector<int> starts);

  int NumberOfRanges() const { return m_starts.empty() ? 0 : static_cast<int>(m_starts.size()) - 1; }
  Range operator[](int b) const;
  /// \brief Positions in the largest range (0 without ranges): the band buffers are sized by it.
  int MaxCount() const { return m_maxCount; }
  int Extent() const { return m_starts.empty() ? 0 : m_starts.back(); }

 private:
  std::vector<int> m_starts;       // range b: m_starts[b] … m_starts[b + 1] − 1
  std::vector<int> m_blockStarts;  // first block of range b (empty when not made of blocks)
  int m_maxCount = 0;
};

/// \brief A band in a step: its place along the loop's axis, its window across it, and the buffers.
/// A buffer holds the band's rectangle packed column-major: rows × columns with leading dimension = rows.
struct Band {
  int index = 0;        ///< pass number, 0 …
  Range along;          ///< along the loop's axis
  Range across;         ///< across it: the read window (or the tile, with an across geometry)
  int rows = 0, cols = 0;  ///< shape of the read window's rectangle (leading dimension of in = rows)
  int r0 = 0, c0 = 0;      ///< its first row and column in the matrix read
  double* in = nullptr;    ///< the read window's buffer (old values when the loop reads them)
  double* out = nullptr;   ///< what is written back (= in unless the write window differs)
  int outRows = 0, outCols = 0;  ///< shape of the written rectangle
  /// With two buffers: the previous band's buffer, its values still in memory and not yet written back
  /// (null for the first band). Changes made to it are written with it.
  double* previous = nullptr;
  Range previousAlong;
};

/// \brief Passes and times of one run of a loop.
struct Stats {
  int passes = 0;
  QORMtxTime access;   ///< the loop's and the step's transfers
  QORMtxTime compute;  ///< the steps, transfers excluded
  /// \brief Prints both times under the product's labels (only with debugging on, as QORMtxTime::Print).
  void Print(const char* accessLabel, const char* computeLabel) const;
};

class Loop;

/// \brief What a step may ask of the loop: timed transfers of other operands, and an early end.
class Context {
 public:
  /// \brief out = M(r0 … r1, c0 … c1), packed; nothing for an empty rectangle. Counted as access time.
  void Read(const QORMtxDenseMatrix& M, int r0, int r1, int c0, int c1, double* out);
  /// \brief M(r0 … r1, c0 … c1) = in; nothing for an empty rectangle. Counted as access time.
  void Write(QORMtxDenseMatrix& M, int r0, int r1, int c0, int c1, const double* in);
  /// \brief Runs another kind of transfer (lists, sets) and counts it as access time.
  void Access(const std::function<void()>& transfer);
  /// \brief Ends the loop after this step (the bands already processed are written back).
  void Stop() { m_stop = true; }

 private:
  friend class Loop;
  QORMtxTime m_access;
  bool m_stop = false;
};

/// \brief The streaming loop: for each range of the geometry along the axis (and each tile of an across geometry),
/// read the band when a source is set, call the step, write the band when a target is set.
class Loop {
 public:
  using Step = std::function<void(Band&, Context&)>;

  Loop(Axis axis, Geometry along);
  /// \brief Reads each band from M, across positions crossFirst … crossFirst + crossCount − 1 (crossCount < 0: to the
  /// end of M's other axis). Without a source the band buffer is allocated but not read (old values not needed);
  /// call it with read = false to size the buffer by M's window without reading.
  Loop& Source(const QORMtxDenseMatrix& M, int crossFirst = 0, int crossCount = -1, bool read = true);
  /// \brief Writes each band to M after its step, across its own window. The same matrix and window as the source
  /// share one buffer; otherwise the step fills band.out.
  Loop& Target(QORMtxDenseMatrix& M, int crossFirst = 0, int crossCount = -1);
  /// \brief Tiles instead of whole bands: each range along is cut across by this geometry (source window only).
  Loop& Across(Geometry across);
  /// \brief A buffer of crossCount positions across without a stored source (steps that fill or gather it).
  Loop& Window(int crossCount);
  /// \brief Two buffers in turn: a band stays in memory, and is written back, only after the next band's step.
  Loop& TwoBuffers();

  Stats Run(const Step& step);

 private:
  Axis m_axis;
  Geometry m_along, m_across;
  bool m_tiles = false;
  const QORMtxDenseMatrix* m_source = nullptr;
  bool m_read = false;
  int m_srcFirst = 0, m_srcCount = 0;
  QORMtxDenseMatrix* m_target = nullptr;
  int m_dstFirst = 0, m_dstCount = 0;
  bool m_twoBuffers = false;
};

}  // namespace qormtx_bands
