// blac two-phase product of one-based CSR matrices, C = op(A)·B (the contract of mkl_dcsrmultcsr).
#include <algorithm>
#include <climits>
#include <cstddef>
#include <vector>

#include "blac.h"

namespace {

// A CSR operand seen through its own index base: row r holds entries start[r] - base .. start[r + 1] - base - 1,
// and column col[p] - base.
struct CsrView {
  const double* val;
  const int* col;
  const int* start;
  int base;
};

// Aᵀ of an m-row, n-column one-based A as a zero-based CSR: counts per column, prefix sums, then each row's
// entries placed at their column's cursor. Rows of Aᵀ therefore list their columns (A's rows) ascending.
struct Transposed {
  std::vector<double> val;
  std::vector<int> col;
  std::vector<int> start;
  CsrView View() const { return {val.data(), col.data(), start.data(), 0}; }
};

Transposed Transpose(const CsrView& a, int m, int n) {
  Transposed t;
  t.start.assign(static_cast<std::size_t>(n) + 1, 0);
  for (int r = 0; r < m; ++r)
    for (int p = a.start[r] - a.base; p < a.start[r + 1] - a.base; ++p) ++t.start[a.col[p] - a.base + 1];
  for (int c = 0; c < n; ++c) t.start[c + 1] += t.start[c];
  const std::size_t nnz = static_cast<std::size_t>(t.start[n]);
  t.val.resize(nnz);
  t.col.resize(nnz);
  std::vector<int> cursor(t.start.begin(), t.start.end() - 1);
  for (int r = 0; r < m; ++r) {
    for (int p = a.start[r] - a.base; p < a.start[r + 1] - a.base; ++p) {
      const int q = cursor[a.col[p] - a.base]++;
      t.col[q] = r;
      t.val[q] = a.val[p];
    }
  }
  return t;
}

// Row-by-row Gustavson product P·B with P rows × inner and B inner × cols. A marker per output column
// (the stamp of the last pass that touched it) finds the row's distinct columns; the values gather in a dense
// accumulator. Every Count or Fill takes a fresh stamp, so the markers never need clearing between rows.
class RowProduct {
 public:
  RowProduct(const CsrView& p, const CsrView& b, int cols)
      : m_p(p), m_b(b), m_cols(cols), m_mark(static_cast<std::size_t>(cols), -1) {}

  // The number of distinct columns of row r of the product.
  int Count(int r) {
    const int stamp = NextStamp();
    int count = 0;
    for (int q = m_p.start[r] - m_p.base; q < m_p.start[r + 1] - m_p.base; ++q) {
      const int k = m_p.col[q] - m_p.base;
      for (int s = m_b.start[k] - m_b.base; s < m_b.start[k + 1] - m_b.base; ++s) {
        const int c = m_b.col[s] - m_b.base;
        if (m_mark[c] != stamp) {
          m_mark[c] = stamp;
          ++count;
        }
      }
    }
    return count;
  }

  // Row r of the product into jc/c (one-based columns, ascending); returns the number of entries written.
  int Fill(int r, int* jc, double* c) {
    if (m_acc.empty()) m_acc.resize(static_cast<std::size_t>(m_cols));
    const int stamp = NextStamp();
    m_cols_of_row.clear();
    int lo = m_cols, hi = -1;
    for (int q = m_p.start[r] - m_p.base; q < m_p.start[r + 1] - m_p.base; ++q) {
      const int k = m_p.col[q] - m_p.base;
      const double pv = m_p.val[q];
      for (int s = m_b.start[k] - m_b.base; s < m_b.start[k + 1] - m_b.base; ++s) {
        const int col = m_b.col[s] - m_b.base;
        if (m_mark[col] != stamp) {
          m_mark[col] = stamp;
          m_acc[col] = pv * m_b.val[s];
          m_cols_of_row.push_back(col);
          lo = std::min(lo, col);
          hi = std::max(hi, col);
        } else {
          m_acc[col] += pv * m_b.val[s];
        }
      }
    }
    const int count = static_cast<int>(m_cols_of_row.size());
    // Ascending columns: sweep the markers between the row's first and last column when that span is short
    // next to the cost of sorting (banded finite-element rows), else sort the list.
    if (count > 0 && static_cast<long long>(hi - lo) < 8LL * count) {
      m_cols_of_row.clear();
      for (int col = lo; col <= hi; ++col)
        if (m_mark[col] == stamp) m_cols_of_row.push_back(col);
    } else {
      std::sort(m_cols_of_row.begin(), m_cols_of_row.end());
    }
    for (int e = 0; e < count; ++e) {
      const int col = m_cols_of_row[e];
      jc[e] = col + 1;
      c[e] = m_acc[col];
    }
    return count;
  }

 private:
  int NextStamp() {
    if (m_stamp == INT_MAX) {
      std::fill(m_mark.begin(), m_mark.end(), -1);
      m_stamp = -1;
    }
    return ++m_stamp;
  }

  CsrView m_p, m_b;
  int m_cols;
  std::vector<int> m_mark;
  std::vector<double> m_acc;
  std::vector<int> m_cols_of_row;
  int m_stamp = -1;
};

}  // namespace

extern "C" {

void blac_dcsrmultcsr(const char* trans, const int* request, const int* sort, const int* m, const int* n,
                      const int* k, const double* a, const int* ja, const int* ia, const double* b, const int* jb,
                      const int* ib, double* c, int* jc, int* ic, const int* nzmax, int* info) {
  (void)sort;  // the output is always sorted and the inputs are read in any order
  *info = 0;
  bool transposeA = false;
  switch (*trans) {
    case 'N': case 'n': transposeA = false; break;
    case 'T': case 't': case 'C': case 'c': transposeA = true; break;
    default: *info = -1; return;
  }
  if (*request < 0 || *request > 2) {
    *info = -2;
    return;
  }

  const CsrView av{a, ja, ia, 1};
  const CsrView bv{b, jb, ib, 1};
  Transposed at;
  if (transposeA) at = Transpose(av, *m, *n);
  const CsrView pv = transposeA ? at.View() : av;
  const int rows = transposeA ? *n : *m;
  RowProduct product(pv, bv, *k);

  if (*request == 1) {
    // The one-based row starts are int: a product of INT_MAX entries or more has no representation, and row
    // r + 1 is reported where it would overflow, before the caller allocates anything for it.
    ic[0] = 1;
    for (int r = 0; r < rows; ++r) {
      const int count = product.Count(r);
      if (count > INT_MAX - ic[r]) {
        *info = r + 1;
        return;
      }
      ic[r + 1] = ic[r] + count;
    }
    return;
  }
  if (*request == 2) {
    for (int r = 0; r < rows; ++r) product.Fill(r, jc + (ic[r] - 1), c + (ic[r] - 1));
    return;
  }
  // request 0: one pass into arrays of nzmax entries; a row that does not fit stops the product.
  ic[0] = 1;
  for (int r = 0; r < rows; ++r) {
    const int used = ic[r] - 1;
    const int count = product.Count(r);
    if (count > *nzmax - used) {
      *info = r + 1;
      return;
    }
    product.Fill(r, jc + used, c + used);
    ic[r + 1] = ic[r] + count;
  }
}

}  // extern "C"
