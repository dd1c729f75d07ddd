// Tests of the blac sparse kernels against dense references: the CSR × CSR product in its three requests, and the
// empty shapes of all. The matrix-vector kernels' panel widths are met through the sparse matrix's products.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using namespace qormtx_test;
constexpr double kTol = 1e-13;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A random CSR matrix with its dense twin (column-major, ld = rows). Every fifth row is empty, as is the last
// column, so that products meet rows and columns without entries.
struct Csr {
  int rows = 0, cols = 0;
  std::vector<unsigned> start;
  std::vector<int> col;
  std::vector<double> val;
  std::vector<double> dense;
  double At(int r, int c) const { return dense[static_cast<std::size_t>(c) * rows + r]; }
};

Csr RandomCsr(int rows, int cols, double density, std::mt19937_64& rng) {
  Csr a;
  a.rows = rows, a.cols = cols;
  a.dense.assign(static_cast<std::size_t>(rows) * cols, 0.0);
  a.start.push_back(0);
  std::uniform_real_distribution<double> u(0.0, 1.0), v(-1.0, 1.0);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c + 1 < cols && r % 5 != 4; ++c) {
      if (u(rng) < density) {
        a.col.push_back(c);
        a.val.push_back(v(rng));
        a.dense[static_cast<std::size_t>(c) * rows + r] = a.val.back();
      }
    }
    a.start.push_back(static_cast<unsigned>(a.col.size()));
  }
  return a;
}

// ---- CSR × CSR ----

// One-based copies of a CSR matrix, as the product takes them.
struct Csr1 {
  std::vector<int> ia, ja;
  std::vector<double> a;
};

Csr1 OneBased(const Csr& m) {
  Csr1 o;
  for (unsigned s : m.start) o.ia.push_back(static_cast<int>(s) + 1);
  for (int c : m.col) o.ja.push_back(c + 1);
  o.a = m.val;
  return o;
}

// The two-phase product: request 1, then request 2 into arrays sized from ic. ic gets one guard entry past the
// rows + 1 the product may write.
struct Product {
  std::vector<int> ic, jc;
  std::vector<double> c;
  int info1 = -9, info2 = -9;
};

Product TwoPhase(char trans, int m, int n, int k, const Csr1& a, const Csr1& b, int outRows) {
  Product p;
  p.ic.assign(static_cast<std::size_t>(outRows) + 2, -5);
  const int sort = 0, nzmax = 0, one = 1, two = 2;
  blac_dcsrmultcsr(&trans, &one, &sort, &m, &n, &k, a.a.data(), a.ja.data(), a.ia.data(), b.a.data(), b.ja.data(),
                   b.ia.data(), nullptr, nullptr, p.ic.data(), &nzmax, &p.info1);
  const int nnz = p.ic[outRows] - 1;
  p.jc.assign(static_cast<std::size_t>(std::max(nnz, 0)), -1);
  p.c.assign(p.jc.size(), kNaN);
  blac_dcsrmultcsr(&trans, &two, &sort, &m, &n, &k, a.a.data(), a.ja.data(), a.ia.data(), b.a.data(), b.ja.data(),
                   b.ia.data(), p.c.data(), p.jc.data(), p.ic.data(), &nzmax, &p.info2);
  return p;
}

// The product's arrays checked against op(A)·B from the dense twins, values and structure (a position is present
// exactly when some term A(i,l)·B(l,j) exists, whatever its value), with ascending columns in each row.
void ExpectProductOf(const Product& p, bool transA, const Csr& a, const Csr& b) {
  const int rows = transA ? a.cols : a.rows, inner = transA ? a.rows : a.cols, cols = b.cols;
  const std::size_t size = static_cast<std::size_t>(rows) * cols;
  std::vector<double> dense(size, 0.0), got(size, 0.0);
  std::vector<bool> structure(size, false), present(size, false);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i)
      for (int l = 0; l < inner; ++l) {
        const double av = transA ? a.At(l, i) : a.At(i, l), bv = b.At(l, j);
        const std::size_t at = static_cast<std::size_t>(j) * rows + i;
        if (av != 0.0 && bv != 0.0) dense[at] += av * bv, structure[at] = true;
      }
  EXPECT_EQ(p.ic[0], 1);
  EXPECT_EQ(p.ic[rows + 1], -5) << "ic written past its rows + 1 entries";
  for (int r = 0; r < rows; ++r)
    for (int q = p.ic[r] - 1; q < p.ic[r + 1] - 1; ++q) {
      const int c = p.jc[q] - 1;
      ASSERT_TRUE(c >= 0 && c < cols) << c;
      ASSERT_TRUE(q == p.ic[r] - 1 || p.jc[q - 1] < p.jc[q]) << "row " << r << " not strictly ascending";
      got[static_cast<std::size_t>(c) * rows + r] = p.c[q], present[static_cast<std::size_t>(c) * rows + r] = true;
    }
  EXPECT_EQ(present, structure);
  EXPECT_LT(MaxRelDiff(got, dense), kTol);
}

TEST(BlacCsrMultCsr, TwoPhaseProductValuesStructureAndAscendingColumns) {
  // A row whose columns lie close together is ordered by sweeping its markers; one whose few columns are spread
  // over a wide range is sorted. Both shapes, every transpose flag.
  auto rng = Rng(44);
  struct Shape {
    int m, n, k;
    double densityA, densityB;
  };
  for (const Shape& sh :
       {Shape{33, 21, 27, 0.15, 0.2}, Shape{12, 10, 40, 0.9, 0.7}, Shape{15, 12, 3000, 0.15, 0.002}}) {
    for (char trans : {'N', 'n', 'T', 't', 'C'}) {
      const bool t = trans != 'N' && trans != 'n';
      const Csr a = RandomCsr(sh.m, sh.n, sh.densityA, rng);
      const Csr b = RandomCsr(t ? sh.m : sh.n, sh.k, sh.densityB, rng);
      const int outRows = t ? sh.n : sh.m;
      const Product p = TwoPhase(trans, sh.m, sh.n, sh.k, OneBased(a), OneBased(b), outRows);
      EXPECT_TRUE(p.info1 == 0 && p.info2 == 0) << p.info1 << " " << p.info2;
      ExpectProductOf(p, t, a, b);
    }
  }
}

TEST(BlacCsrMultCsr, SinglePassStopsAtTheFirstRowThatDoesNotFit) {
  auto rng = Rng(46);
  const int m = 25, n = 18, k = 22;
  const Csr a = RandomCsr(m, n, 0.2, rng), b = RandomCsr(n, k, 0.2, rng);
  const Csr1 a1 = OneBased(a), b1 = OneBased(b);
  const Product ref = TwoPhase('N', m, n, k, a1, b1, m);
  const int nnz = ref.ic[m] - 1;
  ASSERT_GT(nnz, 10);
  // Single pass (request 0) into arrays of nzmax entries; returns info.
  const auto singlePass = [&](int nzmax, std::vector<int>& ic, std::vector<int>& jc, std::vector<double>& c) {
    const int zero = 0, sort = 0;
    int info = -9;
    blac_dcsrmultcsr("N", &zero, &sort, &m, &n, &k, a1.a.data(), a1.ja.data(), a1.ia.data(), b1.a.data(), b1.ja.data(),
                     b1.ia.data(), c.data(), jc.data(), ic.data(), &nzmax, &info);
    return info;
  };
  std::vector<int> ic(m + 1), jc(nnz);
  std::vector<double> c(nnz);
  EXPECT_EQ(singlePass(nnz, ic, jc, c), 0);
  EXPECT_EQ(ic, std::vector<int>(ref.ic.begin(), ref.ic.end() - 1));
  EXPECT_EQ(jc, ref.jc);
  EXPECT_EQ(c, ref.c);

  // Room for half the entries: the row that would cross nzmax is reported (1-based) and nothing past it written.
  const int nzmax = nnz / 2;
  int expected = 0;
  while (ref.ic[expected + 1] - 1 <= nzmax) ++expected;
  ic.assign(m + 1, -3), jc.assign(nnz, -3), c.assign(nnz, kNaN);
  EXPECT_EQ(singlePass(nzmax, ic, jc, c), expected + 1);
  for (int q = nzmax; q < nnz; ++q) EXPECT_EQ(jc[q], -3);
  for (int r = 0; r <= expected; ++r) EXPECT_EQ(ic[r], ref.ic[r]);
}

TEST(BlacSparse, EmptyShapesAndInvalidFlags) {
  const int nv = 2, zero = 0, two = 2, three = 3, sort = 0;
  const unsigned start[1] = {0};
  std::vector<double> y(6, kNaN), y2(6, kNaN);
  const double x[1] = {1.0};
  // No rows: A·x writes nothing; Aᵀ·x is the zero block of cols × nv; no vectors: nothing at all.
  blac_sparse_umv(nullptr, x, start, nullptr, y.data(), &zero, &three, &nv);
  EXPECT_TRUE(std::isnan(y[0]));
  blac_sparse_umtv(nullptr, x, start, nullptr, y.data(), &zero, &three, &zero);
  EXPECT_TRUE(std::isnan(y[0]));
  blac_sparse_umtv(nullptr, x, start, nullptr, y.data(), &zero, &three, &nv);
  EXPECT_EQ(y, std::vector<double>(6, 0.0));
  blac_sparse_sparse_umtv(nullptr, x, start, nullptr, y2.data(), &zero, &three, &nv, nullptr);
  EXPECT_EQ(y2, std::vector<double>(6, 0.0));

  // CSR × CSR with m = 0: C has no rows, ic is just {1}; a bad trans or request is argument -1 or -2.
  int ia[1] = {1}, ib[3] = {1, 1, 1}, ic[2] = {-5, -5};
  const auto empty = [&](const char* trans, int request) {
    int info = -9;
    blac_dcsrmultcsr(trans, &request, &sort, &zero, &two, &three, nullptr, nullptr, ia, nullptr, nullptr, ib, nullptr,
                     nullptr, ic, &zero, &info);
    return info;
  };
  EXPECT_EQ(empty("N", 1), 0);
  EXPECT_TRUE(ic[0] == 1 && ic[1] == -5) << ic[0] << " " << ic[1];
  EXPECT_EQ(empty("X", 1), -1);
  EXPECT_EQ(empty("N", 3), -2);
}

}  // namespace
