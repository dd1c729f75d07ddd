// QORMtxMatrix: fills, scaling, sums, interpolation, slices and triangle completion against naive loops.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "QORMtxMatrix.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;

TEST(MatrixAlgebra, FillsAndScaling) {
  M m(3, 4);
  m = 0.0;
  EXPECT_TRUE(naive::Near(m, Dense(3, 4, 0.0), 0.0));
  m = 2.5;
  EXPECT_TRUE(naive::Near(m, Dense(3, 4, 2.5), 0.0));
  m.Assign(-1.5);
  EXPECT_TRUE(naive::Near(m, Dense(3, 4, -1.5), 0.0));
  m.Abs();
  EXPECT_TRUE(naive::Near(m, Dense(3, 4, 1.5), 0.0));

  const Dense x = naive::Random(1, 9, 3);
  M row = naive::ToMatrix(x);
  row.Multiply(-3.0);
  Dense expected = x;
  for (double& v : expected.a) v *= -3.0;
  EXPECT_TRUE(naive::Near(row, expected));

  M d = naive::Diagonal({-1, 2, -3});  // only the stored diagonal is touched
  d.Abs();
  d.Multiply(2.0);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({2, 4, 6}), 0.0));

  M empty;  // nothing to do, and nothing read
  empty.Abs();
  empty.Multiply(2.0);
  empty.Assign(1.0);
  EXPECT_TRUE(empty.IsNull());
}

TEST(MatrixAlgebra, AddFullAndDiagonalCombinations) {
  const Dense a = naive::Random(4, 4, 5), b = naive::Random(4, 4, 6);
  const std::vector<double> dv = {1, -2, 3, -4};
  const Dense dd = naive::DiagonalDense(dv);

  M full = naive::ToMatrix(a);
  full.Add(0.5, naive::ToMatrix(b));
  Dense expected = a;
  for (size_t k = 0; k < expected.a.size(); ++k) expected.a[k] += 0.5 * b.a[k];
  EXPECT_TRUE(naive::Near(full, expected));

  // DIAG into full: only the diagonal moves, the type stays.
  M f2 = naive::ToMatrix(a, M::SKEW);
  f2 += naive::Diagonal(dv);
  expected = a;
  for (int i = 0; i < 4; ++i) expected(i, i) += dv[i];
  EXPECT_TRUE(naive::Near(f2, expected));
  EXPECT_EQ(f2.Type(), M::SKEW);

  // Full into DIAG: expanded to SYMM first, off-diagonal taken from the full operand.
  M d = naive::Diagonal(dv);
  d.Add(-1.0, naive::ToMatrix(b));
  EXPECT_EQ(d.Type(), M::SYMM);
  EXPECT_EQ(d.NumberOfValues(), 16u);
  expected = dd;
  for (size_t k = 0; k < expected.a.size(); ++k) expected.a[k] -= b.a[k];
  EXPECT_TRUE(naive::Near(d, expected));

  // DIAG into DIAG stays DIAG.
  M d2 = naive::Diagonal(dv);
  d2.Add(2.0, naive::Diagonal({1, 1, 1, 1}));
  EXPECT_TRUE(d2.IsDiagonal());
  EXPECT_TRUE(naive::Near(d2, naive::DiagonalDense({3, 0, 5, -2})));

  // a = 0 returns before looking at B, even an empty one.
  M keep = naive::ToMatrix(a);
  keep.Add(0.0, M());
  EXPECT_TRUE(naive::Near(keep, a, 0.0));

  // this = a·A + b·B, with a rectangular shape.
  const Dense p = naive::Random(2, 5, 7), q = naive::Random(2, 5, 8);
  M sum(2, 5);
  sum = 99.0;
  sum.Add(2.0, naive::ToMatrix(p), -1.0, naive::ToMatrix(q));
  expected = p;
  for (size_t k = 0; k < expected.a.size(); ++k) expected.a[k] = 2.0 * p.a[k] - q.a[k];
  EXPECT_TRUE(naive::Near(sum, expected));
}

TEST(MatrixAlgebra, ConvertToFullExpandsTheDiagonal) {
  std::vector<double> caller = {3, 4, 5};
  M d(3, 3, caller.data(), M::DIAG);
  d.ConvertToFull();
  EXPECT_EQ(d.Type(), M::SYMM);
  EXPECT_TRUE(d.OwnMemory());  // the caller's three values cannot hold nine
  EXPECT_EQ(caller, (std::vector<double>{3, 4, 5}));
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({3, 4, 5}), 0.0));
  const Dense x = naive::Random(2, 3, 9);
  M f = naive::ToMatrix(x);
  f.ConvertToFull();
  EXPECT_EQ(f.Type(), M::UNKNOWN);
  EXPECT_TRUE(naive::Near(f, x, 0.0));
}

TEST(MatrixAlgebra, Interpolate) {
  const Dense a = naive::Random(3, 2, 10), b = naive::Random(3, 2, 11);
  M m(3, 2);
  for (double t : {0.0, 0.25, 1.0}) {
    m.Interpolate(t, naive::ToMatrix(a), naive::ToMatrix(b));
    Dense expected = a;
    for (size_t k = 0; k < a.a.size(); ++k) expected.a[k] = (1 - t) * a.a[k] + t * b.a[k];
    EXPECT_TRUE(naive::Near(m, expected)) << "t = " << t;
  }
  M dd(2, 2, M::DIAG);
  dd.Interpolate(0.5, naive::Diagonal({2, 4}), naive::Diagonal({4, 8}));
  EXPECT_TRUE(dd.IsDiagonal());
  EXPECT_TRUE(naive::Near(dd, naive::DiagonalDense({3, 6})));
  // A DIAG operand among full ones reads as zero off its diagonal.
  const Dense c = naive::Random(2, 2, 12);
  M mixed(2, 2);
  mixed.Interpolate(0.5, naive::ToMatrix(c), naive::Diagonal({2, 2}));
  Dense expected = c;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) expected(i, j) = 0.5 * c(i, j) + (i == j ? 1.0 : 0.0);
  EXPECT_TRUE(naive::Near(mixed, expected));
}

TEST(MatrixAlgebra, SetAndAddSliceFullOperands) {
  const Dense big = naive::Random(6, 7, 13);
  const Dense s = naive::Random(2, 3, 14);
  for (bool transpose : {false, true}) {
    for (bool add : {false, true}) {
      M m = naive::ToMatrix(big);
      if (add)
        m.AddSlice(-2.0, naive::ToMatrix(s), 3, 1, transpose);
      else
        m.SetSlice(-2.0, naive::ToMatrix(s), 3, 1, transpose);
      Dense expected = big;
      for (int j = 0; j < s.cols; ++j)
        for (int i = 0; i < s.rows; ++i) {
          double& e = transpose ? expected(3 + j, 1 + i) : expected(3 + i, 1 + j);
          e = (add ? e : 0.0) - 2.0 * s(i, j);
        }
      EXPECT_TRUE(naive::Near(m, expected)) << "transpose " << transpose << " add " << add;
    }
  }
}

TEST(MatrixAlgebra, SlicesOfDiagonalOperands) {
  const Dense big = naive::Random(5, 5, 15);
  const std::vector<double> dv = {7, 8};
  M set = naive::ToMatrix(big);
  set.SetSlice(0.5, naive::Diagonal(dv), 1, 2, false);
  Dense expected = big;
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < 2; ++i) expected(1 + i, 2 + k) = 0.0;  // the block's columns are cleared
  expected(1, 2) = 3.5;
  expected(2, 3) = 4.0;
  EXPECT_TRUE(naive::Near(set, expected));

  M add = naive::ToMatrix(big);
  add.AddSlice(0.5, naive::Diagonal(dv), 1, 2, true);
  expected = big;
  expected(1, 2) += 3.5;
  expected(2, 3) += 4.0;
  EXPECT_TRUE(naive::Near(add, expected));

  M d = naive::Diagonal({1, 1, 1, 1});
  d.SetSlice(2.0, naive::Diagonal(dv), 2, 2, false);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({1, 1, 14, 16})));
  d.AddSlice(1.0, naive::Diagonal(dv), 0, 0, false);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({8, 9, 14, 16})));
}

TEST(MatrixAlgebra, SymmetricAndSkewCompletion) {
  for (auto shape : {std::pair<int, int>{5, 5}, {3, 6}, {6, 3}}) {
    const Dense x = naive::Random(shape.first, shape.second, 16);
    M sym = naive::ToMatrix(x);
    M skew = naive::ToMatrix(x);
    sym.SetSymmetricResults();
    skew.SetSkewSymmetricResults();
    Dense es = x, ek = x;
    const bool upperToLower = x.rows < x.cols;
    const int n = std::min(x.rows, x.cols);
    for (int j = 0; j < n; ++j)
      for (int i = j + 1; i < n; ++i) {
        if (upperToLower) {
          es(i, j) = x(j, i);
          ek(i, j) = -x(j, i);
        } else {
          es(j, i) = x(i, j);
          ek(j, i) = -x(i, j);
        }
      }
    EXPECT_TRUE(naive::Near(sym, es, 0.0)) << shape.first << "x" << shape.second;
    EXPECT_TRUE(naive::Near(skew, ek, 0.0)) << shape.first << "x" << shape.second;
    EXPECT_EQ(sym.Type(), M::UNKNOWN);
  }
}

}  // namespace
