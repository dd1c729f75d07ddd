// The pieces the mapped-operation sources share: operand ordinals and the compact sparse product.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "QORMtxBands.h"

#include "QORBasVector.h"
#include "QORSimIDs.h"

class QORMtxSparseMatrix;
class QORMtxDenseMatrix;

namespace qormtx_mapped {

/// Doubles of one operand's slice in a pass, whatever the block geometry allows: beyond this a slice only costs
/// memory (the kernels reach full speed well below it), and the bound keeps peak memory independent of the chunking.
constexpr int64_t kPassDoubles = int64_t{1} << 20;
/// Columns of a row-major slice in the sparse products: a row of it is a few cache lines, however wide the chunks.
constexpr int kSliceColumns = 16;

inline size_t Count(int rows, int cols) {
  return static_cast<size_t>(rows > 0 ? rows : 0) * static_cast<size_t>(cols > 0 ? cols : 0);
}

/// first, first + 1, …, first + n − 1.
inline std::vector<int> Iota(int first, int n) {
  std::vector<int> v(static_cast<size_t>(n > 0 ? n : 0));
  for (size_t k = 0; k < v.size(); ++k) v[k] = first + static_cast<int>(k);
  return v;
}

/// The row (or column) ordinals of a sparse matrix; positions 0 … n − 1 when it carries none.
std::vector<int> SparseOrdinals(const QORMtxSparseMatrix& A, bool columns);
/// The ordinals of a collection set, in set order.
std::vector<int> SetOrdinals(const QORSimCSetID& set);

/// \brief The entries of op(A) whose result index and inner index are both paired, renumbered and held as
/// compressed result rows (mirrors of symmetric storage spelled out, zero values dropped).
///
/// Built once per operation with one walk of the iterator, then applied in every pass: the passes run over plain
/// arrays instead of walking the matrix again. Memory: 12 bytes per kept entry, bounded by A, never by the dense
/// operands.
class CompactProduct {
 public:
  /// resultOf[i]: result row of A's outer index i (or −1); innerOf[j]: operand row of A's inner index j (or −1).
  /// numResults bounds the result rows. transA is ignored for symmetric storage.
  CompactProduct(const QORMtxSparseMatrix& A, bool transA, const std::vector<int>& resultOf,
                 const std::vector<int>& innerOf, int numResults);
  int NumResults() const { return static_cast<int>(m_start.size()) - 1; }
  size_t NumEntries() const { return m_inner.size(); }
  /// Marks of the inner operand rows that some entry reads.
  std::vector<char> UsedInner(int numInner) const;
  /// Inner row j becomes newIndex[j] (every inner row that an entry reads must keep an index).
  void RenumberInner(const std::vector<int>& newIndex);
  /// out row i += alpha · Σ v · in row j over n values; element t of row r is at base + r·rowStride + t·valStride.
  void Apply(double alpha, const double* in, size_t inRow, size_t inVal, double* out, size_t outRow, size_t outVal,
             int n) const;

 private:
  std::vector<size_t> m_start;
  std::vector<int> m_inner;
  std::vector<double> m_value;
};

/// \brief Moves a block of a stored matrix: rows listed in rows[0 … nr) and columns in cols[0 … nc), packed
/// column-major in buf. Consecutive lists go as one range transfer, others as one listed transfer.
void MoveBlock(bool write, const QORMtxDenseMatrix& A, const int* rows, int nr, const int* cols, int nc, double* buf);

/// \brief The passes of a mapped operation through the band driver: geometry along the pairs (or positions), one
/// reused buffer of (largest range) × width doubles, step(first, count, buffer) per range. The step moves its
/// listed rows itself, since paired rows are rarely one range of the stored matrix.
void ForEachSlice(const qormtx_bands::Geometry& along, int width, const std::function<void(int, int, double*)>& step);
/// Ranges of chunk positions over 0 … n − 1.
qormtx_bands::Geometry Slices(int n, int chunk);

/// buf (n × m, packed) becomes its transpose (m × n) using work of the same size.
void TransposeInto(const double* in, int n, int m, double* out);

}  // namespace qormtx_mapped
