// The compact sparse product and the block moves that the mapped operations share.
#include "QORMtxMappedKernels.h"

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

CompactProduct::CompactProduct(const QORMtxSparseMatrix& A, bool transA, const std::vector<int>& resultOf,
                               const std::vector<int>& innerOf, int numResults) {
  // Count, prefix sums, fill: two walks of the iterator, exactly sized arrays.
  const auto lookup = [](const std::vector<int>& v, int i) { return i < static_cast<int>(v.size()) ? v[i] : -1; };
  m_start.assign(static_cast<size_t>(numResults) + 1, 0);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<size_t> cursor;
    if (pass == 1) {
      for (size_t i = 1; i < m_start.size(); ++i) m_start[i] += m_start[i - 1];
      cursor.assign(m_start.begin(), m_start.end() - 1);
      m_inner.resize(m_start.back());
      m_value.resize(m_start.back());
    }
    for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      if (e.m_value == 0.0) continue;
      const bool sym = it.IsSymmetric();
      const int r = static_cast<int>(e.m_row), c = static_cast<int>(e.m_col);
      auto add = [&](int outer, int inner) {
        const int i = lookup(resultOf, outer), j = lookup(innerOf, inner);
        if (i < 0 || j < 0) return;
        if (pass == 0) {
          ++m_start[static_cast<size_t>(i) + 1];
        } else {
          m_inner[cursor[i]] = j;
          m_value[cursor[i]++] = e.m_value;
        }
      };
      if (sym || !transA) add(r, c);
      if ((sym && r != c) || (!sym && transA)) add(c, r);
    }
  }
}

std::vector<char> CompactProduct::UsedInner(int numInner) const {
  std::vector<char> used(static_cast<size_t>(numInner), 0);
  for (int j : m_inner) used[j] = 1;
  return used;
}

void CompactProduct::RenumberInner(const std::vector<int>& newIndex) {
  for (int& j : m_inner) j = newIndex[j];
}

void CompactProduct::Apply(double alpha, const double* in, size_t inRow, size_t inVal, double* out, size_t outRow,
                           size_t outVal, int n) const {
  const int rows = NumResults();
  if (inVal == 1 && outVal == 1) {
    // Rows of values are contiguous: gather each result row over its entries, every update one short stream.
    for (int i = 0; i < rows; ++i) {
      double* __restrict__ y = out + i * outRow;
      for (size_t p = m_start[i]; p < m_start[i + 1]; ++p) {
        const double a = alpha * m_value[p];
        const double* __restrict__ x = in + m_inner[p] * inRow;
        for (int t = 0; t < n; ++t) y[t] += a * x[t];
      }
    }
    return;
  }
  // Column-major operands: one sparse matrix-vector product per column.
  for (int t = 0; t < n; ++t) {
    const double* x = in + t * inVal;
    double* y = out + t * outVal;
    for (int i = 0; i < rows; ++i) {
      double sum = 0.0;
      for (size_t p = m_start[i]; p < m_start[i + 1]; ++p) sum += m_value[p] * x[m_inner[p] * inRow];
      if (m_start[i + 1] > m_start[i]) y[i * outRow] += alpha * sum;
    }
  }
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
  const size_t rows = static_cast<size_t>(n), cols = static_cast<size_t>(m);
  if (rows == 0 || cols == 0) return;
  const double one = 1.0;
  blac_domatcopy("C", "T", &rows, &cols, &one, in, &rows, out, &cols);
}

}  // namespace qormtx_mapped
