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

/// \brief The entries of op(A) whose result index and inner index are both paired: the symbolic step of a mapped
/// sparse product (lookups from A's indices to result rows and operand rows), applied in every pass.
///
/// Each pass walks A with its iterator and updates only paired rows; zero values are skipped and the mirror of
/// every off-diagonal entry of symmetric storage is applied too. Nothing of A is copied: the memory of a mapped
/// product is its two lookups and its slices, never a second K.
class PairedEntries {
 public:
  /// resultOf[i]: result row of A's outer index i (or −1); innerOf[j]: operand row of A's inner index j (or −1).
  /// transA is ignored for symmetric storage.
  PairedEntries(const QORMtxSparseMatrix& A, bool transA, std::vector<int> resultOf, std::vector<int> innerOf);
  /// Marks of the operand rows 0 … numInner − 1 that some paired entry reads.
  std::vector<char> UsedInner(int numInner) const;
  /// Operand row j becomes newIndex[j] (every row that an entry reads must keep an index).
  void RenumberInner(const std::vector<int>& newIndex);
  /// out row i += alpha · v · in row j for every paired entry, over n values; element t of row r lies at
  /// base + r·rowStride + t·valStride (contiguous rows make every update one short stream).
  void Apply(double alpha, const double* in, size_t inRow, size_t inVal, double* out, size_t outRow, size_t outVal,
             int n) const;

 private:
  template <class F>
  void ForEachPaired(F f) const;

  const QORMtxSparseMatrix& m_A;
  bool m_transA;
  std::vector<int> m_resultOf, m_innerOf;
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
