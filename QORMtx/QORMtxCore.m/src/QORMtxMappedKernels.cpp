// The compact sparse product and the block moves that the mapped operations share.
#include "QORMtxMappedKernels.h"

#include <algorithm>
#include <numeric>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"
#include "blac.h"

namespace qormtx_mapped {

std::vector<int> SparseOrdinals(const QORMtxSparseMatrix& A, bool columns) {
  const int n = columns ? A.NumberOfColumns() : A.NumberOfRows();
  const int* ords = columns ? A.GetColOrdinals() : A.GetRowOrdinals();
  std::vector<int> out(static_cast<size_t>(n));
  if (ords)
    std::copy(ords, ords + n, out.begin());
  else
    std::iota(out.begin(), out.end(), 0);
  return out;
}

std::vector<int> SetOrdinals(const QORSimCSetID& set) {
  QORBasVector<int> v;
  QORMtxUtilities::GetOrdinals(set, v);
  return std::vector<int>(v.begin(), v.end());
}

PairedEntries::PairedEntries(const QORMtxSparseMatrix& A, bool transA, std::vector<int> resultOf,
                             std::vector<int> innerOf)
    : m_A(A), m_transA(transA), m_resultOf(std::move(resultOf)), m_innerOf(std::move(innerOf)) {}

template <class F>
void PairedEntries::ForEachPaired(F f) const {
  const int numOuter = static_cast<int>(m_resultOf.size()), numInner = static_cast<int>(m_innerOf.size());
  const auto pair = [&](int outer, int inner, double v) {
    if (outer >= numOuter || inner >= numInner) return;
    const int i = m_resultOf[outer], j = m_innerOf[inner];
    if (i >= 0 && j >= 0) f(i, j, v);
  };
  for (QORMtxSparseMatrixIterator it(m_A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (e.m_value == 0.0) continue;
    const bool sym = it.IsSymmetric();
    const int r = static_cast<int>(e.m_row), c = static_cast<int>(e.m_col);
    if (sym || !m_transA) pair(r, c, e.m_value);
    if ((sym && r != c) || (!sym && m_transA)) pair(c, r, e.m_value);
  }
}

std::vector<char> PairedEntries::UsedInner(int numInner) const {
  std::vector<char> used(static_cast<size_t>(std::max(numInner, 0)), 0);
  ForEachPaired([&](int, int j, double) { used[j] = 1; });
  return used;
}

void PairedEntries::RenumberInner(const std::vector<int>& newIndex) {
  for (int& j : m_innerOf)
    if (j >= 0) j = newIndex[j];
}

void PairedEntries::Apply(double alpha, const double* in, size_t inRow, size_t inVal, double* out, size_t outRow,
                          size_t outVal, int n) const {
  if (inVal == 1 && outVal == 1) {
    ForEachPaired([&](int i, int j, double v) {
      const double a = alpha * v;
      const double* __restrict__ x = in + j * inRow;
      double* __restrict__ y = out + i * outRow;
      for (int t = 0; t < n; ++t) y[t] += a * x[t];
    });
    return;
  }
  // Strided rows (column-major operands): one strided update per entry.
  ForEachPaired([&](int i, int j, double v) {
    const double a = alpha * v;
    const double* x = in + j * inRow;
    double* y = out + i * outRow;
    for (int t = 0; t < n; ++t) y[t * outVal] += a * x[t * inVal];
  });
}

namespace {
bool IsConsecutive(const int* list, int n) {
  for (int k = 1; k < n; ++k)
    if (list[k] != list[k - 1] + 1) return false;
  return true;
}
}  // namespace

void MoveBlock(bool write, const QORMtxDenseMatrix& A, const int* rows, int nr, const int* cols, int nc, double* buf) {
  if (nr <= 0 || nc <= 0) return;
  QORMtxDenseMatrix& target = const_cast<QORMtxDenseMatrix&>(A);  // written only when write is set
  if (IsConsecutive(rows, nr) && IsConsecutive(cols, nc)) {
    if (write)
      target.SetValues(rows[0], rows[nr - 1], cols[0], cols[nc - 1], buf);
    else
      A.GetValues(rows[0], rows[nr - 1], cols[0], cols[nc - 1], buf);
    return;
  }
  QORMtxMatrix view(nr, nc, buf);
  if (write)
    target.SetValues(rows, nr, cols, nc, view);
  else
    A.GetValues(rows, nr, cols, nc, view);
}

void ForEachSlice(const qormtx_bands::Geometry& along, int width, const std::function<void(int, int, double*)>& step) {
  qormtx_bands::Loop loop(qormtx_bands::Axis::Rows, along);
  loop.Window(std::max(1, width));
  loop.Run([&](qormtx_bands::Band& b, qormtx_bands::Context&) { step(b.along.first, b.along.count, b.in); });
}

qormtx_bands::Geometry Slices(int n, int chunk) { return qormtx_bands::Geometry::Ranges(n, chunk); }

void TransposeInto(const double* in, int n, int m, double* out) {
  // Tiles of rows: the tile's m columns are read as m short streams and its rows written contiguously. The slices
  // here are tall and narrow, where a general out-of-place transpose does poorly.
  constexpr int kTile = 64;
  const size_t rows = static_cast<size_t>(std::max(n, 0)), cols = static_cast<size_t>(std::max(m, 0));
  for (size_t i0 = 0; i0 < rows; i0 += kTile) {
    const size_t i1 = std::min(rows, i0 + kTile);
    for (size_t t = 0; t < cols; ++t) {
      const double* src = in + t * rows;
      for (size_t i = i0; i < i1; ++i) out[i * cols + t] = src[i];
    }
  }
}

}  // namespace qormtx_mapped
