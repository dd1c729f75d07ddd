// QORMtxMatrix: blocks, listed and masked rows and columns, diagonals, packing, permutation, shrinking and tests.
#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "QORBasVector.h"
#include "QORMtxMatrix.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;
using naive::Pick;
using naive::Range;
using IV = QORBasVector<int>;
using BV = QORBasVector<bool>;

TEST(MatrixSubmatrix, ReadsByRangesListsAndMasks) {
  const Dense x = naive::Random(5, 6, 1);
  const M m = naive::ToMatrix(x);
  const Dense diag = naive::DiagonalDense({1, 2, 3, 4});
  M block, row, dblock, listed(3, 6), picked, sub(9, 9, M::DIAG), masked, none, dx, rows(2, 6), cols;
  m.GetValues(1, 3, 2, 5, block);  // an empty receiver takes the block's shape
  m.GetRows(4, 4, row);
  naive::Diagonal({1, 2, 3, 4}).GetValues(1, 2, 0, 3, dblock);  // a DIAG source yields its zeros too
  const int list[] = {4, 0, 4}, colList[] = {2, 0};             // list order, repeats allowed
  m.GetRows(list, 3, listed);
  m.GetValues(list, 2, colList, 2, picked);
  m.Extract(IV{3, 1}, IV{4, 0, 2}, sub);  // a receiver of the wrong shape is reset
  m.Extract(BV{true, false, false, true, false}, BV{false, true, true, false, true, false}, masked);
  m.Extract(IV{}, IV{1}, none);
  naive::Diagonal({1, 2, 3, 4}).Extract(IV{0, 2}, IV{2, 0}, dx);
  m.ExtractRows(IV{3, 0}, rows);
  const bool mask[] = {true, false, true, false, false, true};
  m.ExtractColumns(mask, cols);
  EXPECT_TRUE(naive::Near(block, Pick(x, Range(1, 3), Range(2, 5)), 0.0));
  EXPECT_TRUE(naive::Near(row, Pick(x, {4}, Range(0, 5)), 0.0));
  EXPECT_TRUE(naive::Near(dblock, Pick(diag, Range(1, 2), Range(0, 3)), 0.0));
  EXPECT_TRUE(naive::Near(listed, Pick(x, {4, 0, 4}, Range(0, 5)), 0.0));
  EXPECT_TRUE(naive::Near(picked, Pick(x, {4, 0}, {2, 0}), 0.0));
  EXPECT_EQ(sub.Type(), M::UNKNOWN);
  EXPECT_TRUE(naive::Near(sub, Pick(x, {3, 1}, {4, 0, 2}), 0.0));
  EXPECT_TRUE(naive::Near(masked, Pick(x, {0, 3}, {1, 2, 4}), 0.0));
  EXPECT_TRUE(none.IsNull());
  EXPECT_TRUE(naive::Near(dx, Pick(diag, {0, 2}, {2, 0}), 0.0));
  EXPECT_TRUE(naive::Near(rows, Pick(x, {3, 0}, Range(0, 5)), 0.0));
  EXPECT_TRUE(naive::Near(cols, Pick(x, Range(0, 4), {0, 2, 5}), 0.0));

  M big(4, 4);  // a receiver with room keeps its counts and gets the block packed (leading dimension 2)
  big = -7.0;
  m.GetValues(0, 1, 4, 5, big);
  EXPECT_EQ(big.NumberOfRows(), 4);
  const Dense b = Pick(x, {0, 1}, {4, 5});
  EXPECT_EQ(std::vector<double>(big.Values(), big.Values() + 5),
            (std::vector<double>{b.a[0], b.a[1], b.a[2], b.a[3], -7}));
}

TEST(MatrixSubmatrix, WritesByRangesListsAndMasks) {
  const Dense x = naive::Random(5, 4, 2), p23 = naive::Random(2, 3, 3), p24 = naive::Random(2, 4, 4);
  const Dense p52 = naive::Random(5, 2, 5), p22 = naive::Random(2, 2, 6);
  const int into[] = {3, 1}, intoCols[] = {2, 0};
  std::vector<M> m(9, naive::ToMatrix(x));
  m[0].SetValues(3, 4, 1, 3, p23.a.data());
  m[1].SetValues(3, 4, 1, 3, naive::ToMatrix(p23));
  m[2].SetRows(0, 1, naive::ToMatrix(p24));
  m[3].SetRows(into, naive::ToMatrix(p24));
  m[4].SetColumns(intoCols, naive::ToMatrix(p52));
  m[5].Insert(IV{2, 0}, IV{1, 3}, naive::ToMatrix(p22));
  m[6].Insert(BV{false, true, true, false, false}, BV{true, false, false, true}, naive::ToMatrix(p22));
  m[7].Insert(BV{true, true, false, false, false}, BV{false, false, true, true}, naive::Diagonal({5, 6}));
  m[8].InsertRows(IV{3, 0}, naive::ToMatrix(p24));
  const Dense expected[] = {
      naive::Put(x, {3, 4}, {1, 2, 3}, p23),   naive::Put(x, {3, 4}, {1, 2, 3}, p23),
      naive::Put(x, {0, 1}, Range(0, 3), p24), naive::Put(x, {3, 1}, Range(0, 3), p24),
      naive::Put(x, Range(0, 4), {2, 0}, p52), naive::Put(x, {2, 0}, {1, 3}, p22),
      naive::Put(x, {1, 2}, {0, 3}, p22),      naive::Put(x, {0, 1}, {2, 3}, naive::DiagonalDense({5, 6})),
      naive::Put(x, {3, 0}, Range(0, 3), p24)};
  for (int k = 0; k < 9; ++k) EXPECT_TRUE(naive::Near(m[k], expected[k], 0.0)) << "case " << k;
  M d = naive::Diagonal({1, 2, 3});  // diagonal positions of a DIAG matrix can be set
  d.SetValues(1, 1, 1, 1, std::vector<double>{9}.data());
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({1, 9, 3}), 0.0));
}

TEST(MatrixSubmatrix, DiagonalsPackingPermutationAndShrink) {
  const Dense x = naive::Random(4, 4, 11);
  M m = naive::ToMatrix(x), dm = naive::Diagonal({1, 2, 3, 4});
  double d[4], p[10], q[10];
  m.GetDiagonal(d);
  dm.SetDiagonal(m);  // from a full matrix's diagonal
  m.SetDiagonal(naive::Diagonal({4, 5, 6, 7}));
  Dense expected = x;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d[i], x(i, i));
  for (int i = 0; i < 4; ++i) expected(i, i) = 4 + i;
  EXPECT_TRUE(naive::Near(m, expected, 0.0));
  EXPECT_TRUE(naive::Near(dm, naive::DiagonalDense({x(0, 0), x(1, 1), x(2, 2), x(3, 3)}), 0.0));

  naive::ToMatrix(x).GetSymmetric(p);           // the symmetric part, packed upper triangle by columns
  naive::ToMatrix(x, M::SYMM).GetSymmetric(q);  // SYMM: the stored upper triangle as it is
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i <= j; ++i) {
      EXPECT_EQ(q[j * (j + 1) / 2 + i], x(i, j));
      EXPECT_DOUBLE_EQ(p[j * (j + 1) / 2 + i], 0.5 * (x(i, j) + x(j, i)));
    }
  naive::Diagonal({1, 2, 3}).GetSymmetric(p);
  EXPECT_EQ(std::vector<double>(p, p + 6), (std::vector<double>{1, 0, 2, 0, 0, 3}));

  const int perm[] = {2, 0, 3, 1}, swap[] = {1, 0};  // row i moves to perm[i]
  M pm = naive::ToMatrix(x), pd = naive::Diagonal({1, 2});
  pm.PermuteRowsInPlace(perm, 4);
  pd.PermuteRowsInPlace(swap, 2);  // a permuted diagonal is full
  EXPECT_TRUE(naive::Near(pm, naive::Put(Dense(4, 4), {2, 0, 3, 1}, Range(0, 3), x), 0.0));
  EXPECT_TRUE(naive::Near(pd, naive::Put(Dense(2, 2), {1, 0}, {0, 1}, naive::DiagonalDense({1, 2})), 0.0));

  const Dense y = naive::Random(5, 4, 14);
  for (auto shape : {std::pair<int, int>{3, 2}, {4, 4}, {5, 1}}) {  // {4, 4}: columns overlap their old places
    M s = naive::ToMatrix(y);
    double* array = s.Values();
    s.Shrink(shape.first, shape.second);
    EXPECT_EQ(s.Values(), array);
    EXPECT_TRUE(naive::Near(s, Pick(y, Range(0, shape.first - 1), Range(0, shape.second - 1)), 0.0));
  }
  M sd = naive::Diagonal({1, 2, 3}), z = naive::ToMatrix(y);
  sd.Shrink(2, 2);
  EXPECT_TRUE(naive::Near(sd, naive::DiagonalDense({1, 2}), 0.0));
  z.Shrink(0, 3);
  EXPECT_TRUE(z.IsNull());
}

TEST(MatrixTests, PredicatesAtTheirBoundaries) {
  const Dense x = naive::Random(2, 3, 15), s = naive::SymmetricPositive(4, 16);
  M y = naive::ToMatrix(x), nan = naive::ToMatrix(x), z(2, 2);
  y.value(1, 2) += 1e-15;
  nan.value(0, 0) = std::numeric_limits<double>::quiet_NaN();
  z = 0.0;
  z.value(1, 0) = -0.0;
  Dense u = s, nd = naive::DiagonalDense({10, 1, 5}), nr = naive::DiagonalDense({1, 10, 5}), pd(2, 2, 0.5);
  u(3, 0) += 1e-14;
  nd(0, 1) = 0.5;  // column 1's diagonal is 1: within tolerance 0.5, not 0.1
  nr(0, 1) = 0.9;  // within the column's bound (0.1·10) but not the row's (0.1·1)
  pd(0, 0) = pd(1, 1) = 1.0;
  EXPECT_TRUE(naive::ToMatrix(x) == naive::ToMatrix(x, M::SYMM));  // types other than DIAG do not matter
  EXPECT_FALSE(naive::ToMatrix(x) == y);
  EXPECT_FALSE(naive::ToMatrix(Dense(2, 2, 0.0)) == M(2, 2, M::DIAG));
  EXPECT_FALSE(nan == M(nan));
  EXPECT_TRUE(z.IsZero());
  EXPECT_TRUE(naive::Diagonal({1, 1}).IsUnit());
  EXPECT_FALSE(naive::Diagonal({1, 1 + 4e-16}).IsUnit());
  EXPECT_FALSE(naive::ToMatrix(naive::DiagonalDense({1, 1})).IsUnit());  // full storage never counts
  EXPECT_TRUE(naive::ToMatrix(s).IsSymmetricNumerically());
  EXPECT_FALSE(naive::ToMatrix(u).IsSymmetricNumerically());
  EXPECT_FALSE(naive::ToMatrix(nd).IsDiagonal(0.1));
  EXPECT_TRUE(naive::ToMatrix(nd).IsDiagonal(0.5));
  EXPECT_FALSE(naive::ToMatrix(nr).IsDiagonal(0.1));
  EXPECT_TRUE(naive::ToMatrix(nr, M::SYMM).IsDiagonal(0.1));  // SYMM: columns only
  EXPECT_TRUE(naive::ToMatrix(pd, M::SYMM).IsPositiveDefinite());
  EXPECT_FALSE(naive::ToMatrix(pd).IsPositiveDefinite());                         // only DIAG and SYMM qualify
  EXPECT_FALSE(naive::ToMatrix(Dense(2, 2, 1.0), M::SYMM).IsPositiveDefinite());  // singular
  EXPECT_FALSE(naive::Diagonal({1, 1e-17}).IsPositiveDefinite());                 // min/max below 2.22e-16
  EXPECT_TRUE(naive::Diagonal({1, -0.25}).IsSingular(0.5));
  EXPECT_TRUE(naive::Diagonal({1, 1e-37}).IsSingular(0.0));
}

}  // namespace
