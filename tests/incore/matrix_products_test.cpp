// QORMtxMatrix: products, blocked triangle products and in-place products against naive loops.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "QORMtxMatrix.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;

const double kSentinel = -12345.0;  // marks elements that must not be written

struct Shape {
  int m, k, n;
};

TEST(MatrixProducts, MultiplyFullOperandsManyShapes) {
  for (Shape s : {Shape{4, 3, 5}, {1, 6, 1}, {6, 1, 6}, {1, 1, 1}, {7, 2, 1}, {1, 3, 8}}) {
    const Dense a = naive::Random(s.m, s.k, 100 + s.m), b = naive::Random(s.k, s.n, 200 + s.n);
    M c(s.m, s.n, M::SKEW);
    c = kSentinel;
    c.Multiply(naive::ToMatrix(a), naive::ToMatrix(b), false);
    EXPECT_TRUE(naive::Near(c, naive::Product(a, b))) << s.m << "x" << s.k << "x" << s.n;
    EXPECT_EQ(c.Type(), M::SKEW);  // the type of the result is the caller's business
  }
  M empty;
  empty.Multiply(M(), M(), false);  // 0 × 0 product: nothing to do
  EXPECT_TRUE(empty.IsNull());
}

TEST(MatrixProducts, MultiplyWithDiagonalOperands) {
  const std::vector<double> da = {2, -1, 3}, db = {0.5, 4, -2, 1};
  const Dense x = naive::Random(3, 4, 1), y = naive::Random(4, 3, 2);

  M c(3, 4);  // full · DIAG: columns scaled
  c.Multiply(naive::ToMatrix(x), naive::Diagonal(db), false);
  EXPECT_TRUE(naive::Near(c, naive::Product(x, naive::DiagonalDense(db))));

  c = kSentinel;  // DIAG · full: rows scaled
  c.Multiply(naive::Diagonal(da), naive::ToMatrix(x), false);
  EXPECT_TRUE(naive::Near(c, naive::Product(naive::DiagonalDense(da), x)));

  c = kSentinel;  // DIAG · fullᵀ
  c.Multiply(naive::Diagonal(da), naive::ToMatrix(y), true);
  EXPECT_TRUE(naive::Near(c, naive::Product(naive::DiagonalDense(da), naive::Transpose(y))));

  M full(3, 3);  // DIAG · DIAG into a full matrix: cleared, then the diagonal
  full = kSentinel;
  full.Multiply(naive::Diagonal(da), naive::Diagonal(da), false);
  EXPECT_TRUE(naive::Near(full, naive::DiagonalDense({4, 1, 9})));
  M diag(3, 3, M::DIAG);
  diag.Multiply(naive::Diagonal(da), naive::Diagonal({1, 2, 3}), true);
  EXPECT_TRUE(diag.IsDiagonal());
  EXPECT_TRUE(naive::Near(diag, naive::DiagonalDense({2, -2, 9})));
}

TEST(MatrixProducts, MultiplyIntoAnOperand) {
  const Dense a = naive::Random(4, 4, 3), b = naive::Random(4, 4, 4);
  M am = naive::ToMatrix(a);
  am.Multiply(am, naive::ToMatrix(b), false);
  EXPECT_TRUE(naive::Near(am, naive::Product(a, b)));
  M bm = naive::ToMatrix(b);
  bm.Multiply(naive::Diagonal({1, 2, 3, 4}), bm, true);
  EXPECT_TRUE(naive::Near(bm, naive::Product(naive::DiagonalDense({1, 2, 3, 4}), naive::Transpose(b))));
}

TEST(MatrixProducts, ConstMultiplyAndAccumulate) {
  for (Shape s : {Shape{5, 3, 2}, {1, 4, 1}, {3, 1, 6}}) {
    const Dense a = naive::Random(s.m, s.k, 5), b = naive::Random(s.k, s.n, 6), c0 = naive::Random(s.m, s.n, 7);
    M c = naive::ToMatrix(c0);
    naive::ToMatrix(a).Multiply(naive::ToMatrix(b), c, 12345, 0);  // the first int has no effect
    EXPECT_TRUE(naive::Near(c, naive::Product(a, b)));
    c = naive::ToMatrix(c0);
    naive::ToMatrix(a).Multiply(naive::ToMatrix(b), c, 0, 1);
    Dense expected = naive::Product(a, b);
    for (size_t k = 0; k < expected.a.size(); ++k) expected.a[k] += c0.a[k];
    EXPECT_TRUE(naive::Near(c, expected));
  }
}

TEST(MatrixProducts, TransposeMultiplyFull) {
  for (Shape s : {Shape{6, 4, 3}, {1, 5, 1}, {5, 1, 7}}) {  // this is k × m, B is k × n
    const Dense a = naive::Random(s.k, s.m, 8), b = naive::Random(s.k, s.n, 9), c0 = naive::Random(s.m, s.n, 10);
    M c = naive::ToMatrix(c0);
    naive::ToMatrix(a).TransposeMultiply(naive::ToMatrix(b), c, 0, 0);
    EXPECT_TRUE(naive::Near(c, naive::Product(naive::Transpose(a), b)));
    naive::ToMatrix(a).TransposeMultiply(naive::ToMatrix(b), c, 0, 1);
    Dense twice = naive::Product(naive::Transpose(a), b);
    for (double& v : twice.a) v *= 2.0;
    EXPECT_TRUE(naive::Near(c, twice));
  }
}

// Block index of an index under the 144 blocking of TransposeMultiply.
int Block144(int i) { return i / 144; }

// The triangle flag forms only the blocks on one side of the block diagonal: those must equal the full
// product (plus what was there when accumulating), the others must keep the sentinel.
void CheckTriangleProduct(int m, int n, int k, int accumulate) {
  SCOPED_TRACE(::testing::Message() << "C " << m << "x" << n << ", k " << k << ", accumulate " << accumulate);
  const Dense a = naive::Random(k, m, 11), b = naive::Random(k, n, 12);
  M c(m, n);
  c = kSentinel;
  naive::ToMatrix(a).TransposeMultiply(naive::ToMatrix(b), c, 1, accumulate);
  const Dense full = naive::Product(naive::Transpose(a), b);
  const bool upper = m < n;
  int computed = 0, untouched = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      const bool formed = upper ? Block144(j) >= Block144(i) : Block144(i) >= Block144(j);
      const double expected = formed ? full(i, j) + (accumulate ? kSentinel : 0.0) : kSentinel;
      ASSERT_NEAR(c.value(i, j), expected, 1e-11 * (1.0 + std::fabs(expected))) << "element " << i << ", " << j;
      ++(formed ? computed : untouched);
    }
  // The split itself: the count of formed elements follows from the block sizes.
  std::vector<int> rb, cb;
  for (int s = 0; s < m; s += 144) rb.push_back(std::min(144, m - s));
  for (int s = 0; s < n; s += 144) cb.push_back(std::min(144, n - s));
  int expectedFormed = 0;
  for (size_t I = 0; I < rb.size(); ++I)
    for (size_t J = 0; J < cb.size(); ++J)
      if (upper ? J >= I : I >= J) expectedFormed += rb[I] * cb[J];
  EXPECT_EQ(computed, expectedFormed);
}

TEST(MatrixProducts, TransposeMultiplyTriangleBlocks) {
  CheckTriangleProduct(300, 300, 9, 0);  // blocks 144, 144, 12: lower block triangle
  CheckTriangleProduct(288, 288, 5, 0);  // a multiple of 144: two full blocks
  CheckTriangleProduct(145, 145, 5, 1);  // 144 and a single row
  CheckTriangleProduct(150, 300, 4, 0);  // fewer rows than columns: upper block triangle
  CheckTriangleProduct(300, 150, 4, 1);
  CheckTriangleProduct(20, 20, 3, 0);  // a single block: the whole product
}

TEST(MatrixProducts, TriangleThenSetSymmetricResultsGivesTheFullProduct) {
  const Dense a = naive::Random(7, 300, 13);
  M am = naive::ToMatrix(a);
  M c(300, 300);
  c = kSentinel;
  am.TransposeMultiply(am, c, 1, 0);
  c.SetSymmetricResults();
  EXPECT_TRUE(naive::Near(c, naive::Product(naive::Transpose(a), a), 1e-12));
}

// SymmetricMultiply blocks: a first block of n mod 128 (or 128), then blocks of 128.
int Block128(int i, int n) {
  const int first = n % 128 ? n % 128 : 128;
  return i < first ? 0 : 1 + (i - first) / 128;
}

TEST(MatrixProducts, SymmetricMultiplyLowerBlockTriangle) {
  for (int n : {1, 5, 128, 129, 256, 300}) {
    SCOPED_TRACE(::testing::Message() << "n " << n);
    // Unsymmetric operands, so that every element shows which blocks were formed.
    const Dense a = naive::Random(n, n, 14), b = naive::Random(n, n, 15);
    M c(n, n);
    c = kSentinel;
    c.SymmetricMultiply(naive::ToMatrix(a), naive::ToMatrix(b));
    const Dense full = naive::Product(a, b);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const double expected = Block128(i, n) >= Block128(j, n) ? full(i, j) : 0.0;
        ASSERT_NEAR(c.value(i, j), expected, 1e-11) << "element " << i << ", " << j;
      }
  }
}

TEST(MatrixProducts, SymmetricMultiplyOfASymmetricProduct) {
  const Dense x = naive::Random(140, 140, 16);
  const Dense xt = naive::Transpose(x);
  M c(140, 140);
  c.SymmetricMultiply(naive::ToMatrix(x), naive::ToMatrix(xt));
  c.SetSymmetricResults();
  EXPECT_TRUE(naive::Near(c, naive::Product(x, xt), 1e-12));
}

TEST(MatrixProducts, InPlaceProduct) {
  const Dense a = naive::Random(3, 4, 17), b = naive::Random(4, 2, 18), v = naive::Random(4, 1, 19);
  const int cols[] = {7, 8};
  M m = naive::ToMatrix(a, M::SYMM);
  M bm = naive::ToMatrix(b);
  bm.SetColOrdinals(cols);
  m *= bm;  // full · full
  EXPECT_TRUE(naive::Near(m, naive::Product(a, b)));
  EXPECT_EQ(m.Type(), M::UNKNOWN);
  EXPECT_EQ(m.GetColOrdinals()[1], 8);

  M mv = naive::ToMatrix(a);
  mv *= naive::ToMatrix(v);  // matrix-vector
  EXPECT_TRUE(naive::Near(mv, naive::Product(a, v)));

  M sc = naive::ToMatrix(a);
  sc *= naive::Diagonal({1, -1, 2, 0.5});
  EXPECT_TRUE(naive::Near(sc, naive::Product(a, naive::DiagonalDense({1, -1, 2, 0.5}))));

  M d = naive::Diagonal({2, 3, 4});
  d *= naive::ToMatrix(a);
  EXPECT_TRUE(naive::Near(d, naive::Product(naive::DiagonalDense({2, 3, 4}), a)));
  EXPECT_FALSE(d.IsDiagonal());

  M dd = naive::Diagonal({2, 3});
  dd *= naive::Diagonal({5, 7});
  EXPECT_TRUE(dd.IsDiagonal());
  EXPECT_TRUE(naive::Near(dd, naive::DiagonalDense({10, 21})));

  // A caller's array keeps the result when it has the room, and is left alone when not.
  const Dense s = naive::Random(3, 3, 20);
  std::vector<double> caller(a.a.begin(), a.a.begin() + 9);
  const Dense left = [&] {
    Dense l(3, 3);
    l.a = caller;
    return l;
  }();
  M view(3, 3, caller.data());
  view *= naive::ToMatrix(s);
  EXPECT_EQ(view.Values(), caller.data());
  EXPECT_TRUE(naive::Near(view, naive::Product(left, s)));
  std::vector<double> caller2(a.a);
  M view2(3, 4, caller2.data());
  view2 *= naive::ToMatrix(b);
  EXPECT_TRUE(view2.OwnMemory());
  EXPECT_EQ(caller2, a.a);
  EXPECT_TRUE(naive::Near(view2, naive::Product(a, b)));
}

}  // namespace
