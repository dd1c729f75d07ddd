// QORMtxMatrix: blocks, listed and masked rows and columns, diagonals, packing, permutation, shrinking and tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "QORBasVector.h"
#include "QORMtxMatrix.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;

// The block of x, rows r0..r1 and columns c0..c1 inclusive.
Dense Block(const Dense& x, int r0, int r1, int c0, int c1) {
  Dense b(r1 - r0 + 1, c1 - c0 + 1);
  for (int j = 0; j < b.cols; ++j)
    for (int i = 0; i < b.rows; ++i) b(i, j) = x(r0 + i, c0 + j);
  return b;
}

// x(rows[i], cols[j]).
Dense Pick(const Dense& x, const std::vector<int>& rows, const std::vector<int>& cols) {
  Dense p(static_cast<int>(rows.size()), static_cast<int>(cols.size()));
  for (int j = 0; j < p.cols; ++j)
    for (int i = 0; i < p.rows; ++i) p(i, j) = x(rows[i], cols[j]);
  return p;
}

TEST(MatrixSubmatrix, BlocksIntoEmptyAndSizedReceivers) {
  const Dense x = naive::Random(5, 6, 1);
  const M m = naive::ToMatrix(x);
  M sub;
  m.GetValues(1, 3, 2, 5, sub);  // empty receiver: takes the block's shape
  EXPECT_EQ(sub.Type(), M::UNKNOWN);
  EXPECT_TRUE(naive::Near(sub, Block(x, 1, 3, 2, 5), 0.0));

  M big(4, 4);  // a receiver with room keeps its counts and gets the block packed (leading dimension 2)
  big = -7.0;
  m.GetValues(0, 1, 4, 5, big);
  EXPECT_EQ(big.NumberOfRows(), 4);
  const Dense b = Block(x, 0, 1, 4, 5);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(big.Values()[k], b.a[k]);
  EXPECT_EQ(big.Values()[4], -7.0);

  M rows;
  m.GetRows(4, 4, rows);  // a single row: 1 × n
  EXPECT_TRUE(naive::Near(rows, Block(x, 4, 4, 0, 5), 0.0));

  M d = naive::Diagonal({1, 2, 3, 4});  // a DIAG source yields its zeros too
  M dsub;
  d.GetValues(1, 2, 0, 3, dsub);
  EXPECT_TRUE(naive::Near(dsub, Block(naive::DiagonalDense({1, 2, 3, 4}), 1, 2, 0, 3), 0.0));
}

TEST(MatrixSubmatrix, SetBlocksFromPackedValuesAndMatrices) {
  const Dense x = naive::Random(5, 4, 2);
  const Dense v = naive::Random(2, 3, 3);
  M m = naive::ToMatrix(x);
  m.SetValues(3, 4, 1, 3, v.a.data());
  Dense expected = x;
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 2; ++i) expected(3 + i, 1 + j) = v(i, j);
  EXPECT_TRUE(naive::Near(m, expected, 0.0));

  M m2 = naive::ToMatrix(x);
  m2.SetValues(3, 4, 1, 3, naive::ToMatrix(v));
  EXPECT_TRUE(naive::Near(m2, expected, 0.0));

  const Dense r = naive::Random(2, 4, 4);
  M m3 = naive::ToMatrix(x);
  m3.SetRows(0, 1, naive::ToMatrix(r));
  expected = x;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 2; ++i) expected(i, j) = r(i, j);
  EXPECT_TRUE(naive::Near(m3, expected, 0.0));

  M d = naive::Diagonal({1, 2, 3});  // diagonal positions of a DIAG matrix can be set
  const double one[] = {9.0};
  d.SetValues(1, 1, 1, 1, one);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({1, 9, 3}), 0.0));
}

TEST(MatrixSubmatrix, ListedRowsAndColumns) {
  const Dense x = naive::Random(5, 3, 5);
  const M m = naive::ToMatrix(x);
  const int rows[] = {4, 0, 4};  // list order, repeats allowed
  M got(3, 3);
  m.GetRows(rows, 3, got);
  EXPECT_TRUE(naive::Near(got, Pick(x, {4, 0, 4}, {0, 1, 2}), 0.0));

  const int cols[] = {2, 0};
  M vals;
  m.GetValues(rows, 2, cols, 2, vals);
  EXPECT_TRUE(naive::Near(vals, Pick(x, {4, 0}, {2, 0}), 0.0));

  const Dense r = naive::Random(2, 3, 6);
  M target = naive::ToMatrix(x);
  const int into[] = {3, 1};
  target.SetRows(into, naive::ToMatrix(r));
  Dense expected = x;
  for (int j = 0; j < 3; ++j) {
    expected(3, j) = r(0, j);
    expected(1, j) = r(1, j);
  }
  EXPECT_TRUE(naive::Near(target, expected, 0.0));

  const Dense c = naive::Random(5, 2, 7);
  M tc = naive::ToMatrix(x);
  const int intoCols[] = {2, 0};
  tc.SetColumns(intoCols, naive::ToMatrix(c));
  expected = x;
  for (int i = 0; i < 5; ++i) {
    expected(i, 2) = c(i, 0);
    expected(i, 0) = c(i, 1);
  }
  EXPECT_TRUE(naive::Near(tc, expected, 0.0));
}

TEST(MatrixSubmatrix, ExtractAndInsertByListsAndMasks) {
  const Dense x = naive::Random(4, 5, 8);
  const M m = naive::ToMatrix(x);
  M sub(9, 9, M::DIAG);  // wrong shape: reset to the lists' shape
  m.Extract(QORBasVector<int>{3, 1}, QORBasVector<int>{4, 0, 2}, sub);
  EXPECT_EQ(sub.Type(), M::UNKNOWN);
  EXPECT_TRUE(naive::Near(sub, Pick(x, {3, 1}, {4, 0, 2}), 0.0));

  M masked;
  m.Extract(QORBasVector<bool>{true, false, false, true}, QORBasVector<bool>{false, true, true, false, true}, masked);
  EXPECT_TRUE(naive::Near(masked, Pick(x, {0, 3}, {1, 2, 4}), 0.0));

  M none;  // nothing selected: an empty result
  m.Extract(QORBasVector<int>{}, QORBasVector<int>{1}, none);
  EXPECT_TRUE(none.IsNull());

  const M d = naive::Diagonal({1, 2, 3});  // a DIAG source reads as zero off its diagonal
  M dx;
  d.Extract(QORBasVector<int>{0, 2}, QORBasVector<int>{2, 0}, dx);
  EXPECT_TRUE(naive::Near(dx, Pick(naive::DiagonalDense({1, 2, 3}), {0, 2}, {2, 0}), 0.0));

  const Dense s = naive::Random(2, 2, 9);
  M target = naive::ToMatrix(x);
  target.Insert(QORBasVector<int>{2, 0}, QORBasVector<int>{1, 3}, naive::ToMatrix(s));
  Dense expected = x;
  expected(2, 1) = s(0, 0);
  expected(0, 1) = s(1, 0);
  expected(2, 3) = s(0, 1);
  expected(0, 3) = s(1, 1);
  EXPECT_TRUE(naive::Near(target, expected, 0.0));

  M tm = naive::ToMatrix(x);
  tm.Insert(QORBasVector<bool>{false, true, true, false}, QORBasVector<bool>{true, false, false, false, true},
            naive::ToMatrix(s));
  expected = x;
  expected(1, 0) = s(0, 0);
  expected(2, 0) = s(1, 0);
  expected(1, 4) = s(0, 1);
  expected(2, 4) = s(1, 1);
  EXPECT_TRUE(naive::Near(tm, expected, 0.0));

  M withDiag = naive::ToMatrix(x);  // a DIAG piece writes its zeros off the diagonal
  withDiag.Insert(QORBasVector<bool>{true, true, false, false}, QORBasVector<bool>{false, false, true, true, false},
                  naive::Diagonal({5, 6}));
  expected = x;
  expected(0, 2) = 5;
  expected(1, 2) = 0;
  expected(0, 3) = 0;
  expected(1, 3) = 6;
  EXPECT_TRUE(naive::Near(withDiag, expected, 0.0));
}

TEST(MatrixSubmatrix, WholeRowsAndMaskedColumns) {
  const Dense x = naive::Random(4, 3, 10);
  const M m = naive::ToMatrix(x);
  M rows(2, 3);
  m.ExtractRows(QORBasVector<int>{3, 0}, rows);
  EXPECT_TRUE(naive::Near(rows, Pick(x, {3, 0}, {0, 1, 2}), 0.0));

  M target(4, 3);
  target = 0.0;
  target.InsertRows(QORBasVector<int>{3, 0}, rows);
  Dense expected(4, 3, 0.0);
  for (int j = 0; j < 3; ++j) {
    expected(3, j) = x(3, j);
    expected(0, j) = x(0, j);
  }
  EXPECT_TRUE(naive::Near(target, expected, 0.0));

  const bool mask[] = {true, false, true};
  M cols;
  m.ExtractColumns(mask, cols);
  EXPECT_TRUE(naive::Near(cols, Pick(x, {0, 1, 2, 3}, {0, 2}), 0.0));
}

TEST(MatrixSubmatrix, Diagonals) {
  const Dense x = naive::Random(3, 3, 11);
  M m = naive::ToMatrix(x);
  double d[3];
  m.GetDiagonal(d);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(d[i], x(i, i));
  const double nd[] = {7, 8, 9};
  m.SetDiagonal(nd);
  Dense expected = x;
  for (int i = 0; i < 3; ++i) expected(i, i) = nd[i];
  EXPECT_TRUE(naive::Near(m, expected, 0.0));

  M dm = naive::Diagonal({1, 2, 3});
  dm.SetDiagonal(naive::ToMatrix(x));  // from a full matrix's diagonal
  EXPECT_TRUE(naive::Near(dm, naive::DiagonalDense({x(0, 0), x(1, 1), x(2, 2)}), 0.0));
  m.SetDiagonal(naive::Diagonal({4, 5, 6}));
  dm.GetDiagonal(d);
  EXPECT_EQ(d[2], x(2, 2));
  EXPECT_EQ(m.value(1, 1), 5.0);
}

TEST(MatrixSubmatrix, PackedUpperTriangle) {
  double packed[6];
  naive::Diagonal({1, 2, 3}).GetSymmetric(packed);
  EXPECT_EQ(std::vector<double>(packed, packed + 6), (std::vector<double>{1, 0, 2, 0, 0, 3}));

  const Dense x = naive::Random(4, 4, 12);
  double p[10], q[10];
  naive::ToMatrix(x).GetSymmetric(p);
  naive::ToMatrix(x, M::SYMM).GetSymmetric(q);  // SYMM: the stored upper triangle as it is
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i <= j; ++i) {
      const int k = j * (j + 1) / 2 + i;
      EXPECT_EQ(q[k], x(i, j));
      EXPECT_DOUBLE_EQ(p[k], i == j ? x(j, j) : 0.5 * (x(i, j) + x(j, i)));  // the symmetric part
    }
}

TEST(MatrixSubmatrix, PermuteRows) {
  const Dense x = naive::Random(4, 3, 13);
  M m = naive::ToMatrix(x);
  const int perm[] = {2, 0, 3, 1};
  m.PermuteRowsInPlace(perm, 4);
  Dense expected(4, 3);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 4; ++i) expected(perm[i], j) = x(i, j);
  EXPECT_TRUE(naive::Near(m, expected, 0.0));

  M d = naive::Diagonal({1, 2});
  const int swap[] = {1, 0};
  d.PermuteRowsInPlace(swap, 2);
  Dense ed(2, 2);
  ed(1, 0) = 1;
  ed(0, 1) = 2;
  EXPECT_TRUE(naive::Near(d, ed, 0.0));
}

TEST(MatrixSubmatrix, ShrinkKeepsTheLeadingBlockInPlace) {
  const Dense x = naive::Random(5, 4, 14);
  M m = naive::ToMatrix(x);
  double* array = m.Values();
  m.Shrink(3, 2);  // row count changes: columns compacted to leading dimension 3
  EXPECT_EQ(m.Values(), array);
  EXPECT_TRUE(naive::Near(m, Block(x, 0, 2, 0, 1), 0.0));

  M overlap = naive::ToMatrix(x);  // each column lands over part of the next one's old place
  overlap.Shrink(4, 4);
  EXPECT_TRUE(naive::Near(overlap, Block(x, 0, 3, 0, 3), 0.0));

  M c = naive::ToMatrix(x);
  c.Shrink(5, 1);  // only the column count changes
  EXPECT_TRUE(naive::Near(c, Block(x, 0, 4, 0, 0), 0.0));
  c.ShrinkColumns(0);
  EXPECT_TRUE(c.IsNull());

  M d = naive::Diagonal({1, 2, 3});
  d.Shrink(2, 2);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({1, 2}), 0.0));
  d.ShrinkColumns(1);
  EXPECT_EQ(d.NumberOfRows(), 1);
  M z = naive::ToMatrix(x);
  z.Shrink(0, 3);
  EXPECT_TRUE(z.IsNull());
}

TEST(MatrixTests, EqualityAndZeroTests) {
  const Dense x = naive::Random(2, 3, 15);
  EXPECT_TRUE(naive::ToMatrix(x) == naive::ToMatrix(x, M::SYMM));  // types other than DIAG do not matter
  M y = naive::ToMatrix(x);
  y.value(1, 2) += 1e-15;
  EXPECT_FALSE(naive::ToMatrix(x) == y);
  EXPECT_FALSE(naive::ToMatrix(Dense(2, 2, 0.0)) == M(2, 2, M::DIAG));
  M nan = naive::ToMatrix(x);
  nan.value(0, 0) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(nan == nan);  // the same object
  EXPECT_FALSE(nan == M(nan));

  M z(2, 2);
  z = 0.0;
  EXPECT_TRUE(z.IsZero());
  EXPECT_TRUE(z == 0.0);
  z.value(1, 0) = -0.0;
  EXPECT_TRUE(z.IsZero());
  z.value(1, 1) = 1e-300;
  EXPECT_FALSE(z.IsZero());
  EXPECT_TRUE(M().IsZero());
  EXPECT_TRUE(M() == 3.0);

  EXPECT_TRUE(naive::Diagonal({1, 1}).IsUnit());
  EXPECT_FALSE(naive::Diagonal({1, 1 + 1e-16 * 4}).IsUnit());
  EXPECT_FALSE(naive::ToMatrix(naive::DiagonalDense({1, 1})).IsUnit());  // full storage never counts
}

TEST(MatrixTests, SymmetryAndDiagonalityTests) {
  const Dense s = naive::SymmetricPositive(4, 16);
  EXPECT_TRUE(naive::ToMatrix(s).IsSymmetricNumerically());
  Dense u = s;
  u(3, 0) += 1e-14;
  EXPECT_FALSE(naive::ToMatrix(u).IsSymmetricNumerically());
  EXPECT_FALSE(naive::ToMatrix(naive::Random(2, 3, 1)).IsSymmetricNumerically());
  EXPECT_TRUE(naive::Diagonal({1, 2}).IsSymmetricNumerically());

  Dense nd = naive::DiagonalDense({10, 1, 5});
  EXPECT_TRUE(naive::ToMatrix(nd).IsDiagonal(0.0));
  nd(0, 1) = 0.5;  // column 1's diagonal is 1: within tolerance 0.5, not 0.1
  EXPECT_FALSE(naive::ToMatrix(nd).IsDiagonal(0.0));
  EXPECT_FALSE(naive::ToMatrix(nd).IsDiagonal(0.1));
  EXPECT_TRUE(naive::ToMatrix(nd).IsDiagonal(0.5));  // column: 0.5 ≤ 0.5·1; row: 0.5 ≤ 0.5·10
  Dense nr = naive::DiagonalDense({1, 10, 5});
  nr(0, 1) = 0.9;  // within the column's bound (0.1·10) but not the row's (0.1·1)
  EXPECT_FALSE(naive::ToMatrix(nr).IsDiagonal(0.1));
  EXPECT_TRUE(naive::ToMatrix(nr, M::SYMM).IsDiagonal(0.1));  // SYMM: columns only
  EXPECT_FALSE(naive::ToMatrix(nr).IsDiagonal(-1.0));
  EXPECT_FALSE(M().IsDiagonal(1.0));
  EXPECT_TRUE(naive::Diagonal({1}).IsDiagonal(-1.0));
}

TEST(MatrixTests, PositiveDefinitenessAndSingularity) {
  Dense two(2, 2, 1.0);  // diagonal (1, 1), off-diagonal 1: singular
  EXPECT_FALSE(naive::ToMatrix(two, M::SYMM).IsPositiveDefinite());
  two(0, 1) = two(1, 0) = 0.5;
  EXPECT_TRUE(naive::ToMatrix(two, M::SYMM).IsPositiveDefinite());
  EXPECT_FALSE(naive::ToMatrix(two).IsPositiveDefinite());  // only DIAG and SYMM qualify
  EXPECT_TRUE(naive::Diagonal({1, 2}).IsPositiveDefinite());
  EXPECT_FALSE(naive::Diagonal({1, -2}).IsPositiveDefinite());
  EXPECT_FALSE(naive::Diagonal({1, 1e-17}).IsPositiveDefinite());  // min/max below 2.22e-16

  EXPECT_FALSE(naive::Diagonal({1, -2}).IsSingular(0.5));
  EXPECT_TRUE(naive::Diagonal({1, -0.25}).IsSingular(0.5));
  EXPECT_TRUE(naive::Diagonal({1, 1e-37}).IsSingular(0.0));
}

}  // namespace
