// QORMtxComplexMatrix: storage and ownership, algebra against std::complex loops, parts, round trips and blocks.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <vector>

#include "QORMtxComplexMatrix.h"
#include "QORMtxReImMatrix.h"
#include "complex_ref.h"
#include "naive_matrix.h"

namespace {

using CM = QORMtxComplexMatrix;
using M = QORMtxMatrix;
using cref::Ref;
using cref::Z;

TEST(ComplexMatrix, StorageAndOwnership) {
  CM m;
  EXPECT_TRUE(!m && m.Type() == CM::UNKNOWN && m.LengthOfArray() == 0u);
  m.Reset(3, 4);
  EXPECT_EQ(m.Values(2, 3), m.Values() + 2 * (3 * 3 + 2));
  const double* kept = m.Values();
  m.Reset(4, 3, CM::SYMM);  // same length: the owned array stays
  EXPECT_EQ(m.Values(), kept);
  m.Reset(5, 5, CM::DIAG);
  EXPECT_EQ(m.NumberOfValues(), 10u);
  EXPECT_EQ(m.Values(3, 3), m.Values() + 6);

  // A view writes into the caller's array; it is never resized or freed.
  std::vector<double> caller(12, 1.0);
  CM v(2, 3, caller.data());
  EXPECT_FALSE(v.OwnMemory());
  v.Multiply(2.0, 0.0);
  EXPECT_EQ(caller, std::vector<double>(12, 2.0));
  const CM copy(v);
  EXPECT_TRUE(copy.OwnMemory() && copy.Values() != caller.data());
  v.Reset(2, 3);
  EXPECT_TRUE(v.OwnMemory() && v.Values() != caller.data());
}

TEST(ComplexMatrix, AlgebraAgainstStdComplex) {
  for (CM::MtxType type : {CM::UNKNOWN, CM::DIAG}) {
    Ref x = cref::Random(4, 4, 5);
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i)
        if (type == CM::DIAG && i != j) x(i, j) = 0.0;
    CM m = cref::ToMatrix(x, type), other(4, 4, type);
    m.Multiply(0.25, -1.75);
    m.Multiply(-3.0, 0.0);
    double largest = 0;
    for (Z& z : x.a) largest = std::max(largest, std::abs(z *= Z(0.25, -1.75) * -3.0));
    EXPECT_TRUE(cref::Near(m, x));
    EXPECT_DOUBLE_EQ(m.MaxAbsValue(), largest);
    other.Assign(m);
    EXPECT_EQ(std::memcmp(other.Values(), m.Values(), sizeof(double) * m.LengthOfArray()), 0);
    other.Assign(0.5, -2.0);
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) EXPECT_EQ(cref::At(other, i, j), type == CM::DIAG && i != j ? Z(0) : Z(0.5, -2.0));
  }
  double col[4] = {3, 4, 0, 1};
  EXPECT_EQ(CM(2, 1, col).VecNorm(), 6.0);
  double d[6] = {2, 0, 0, -0.5, 1e-40, 0};
  CM diag(3, 3, d, CM::DIAG);
  EXPECT_TRUE(diag.IsSingular());
  d[4] = 1e-30;
  EXPECT_FALSE(diag.IsSingular());
  diag.Invert();
  EXPECT_EQ(cref::At(diag, 0, 0), Z(0.5, 0));
  EXPECT_EQ(cref::At(diag, 1, 1), Z(0, 2));
  EXPECT_DOUBLE_EQ(d[4], 1e30);
}

// re + i·im for real parts read through value() (zeros off a DIAG diagonal, for an absent part).
Ref Combine(const M& re, const M& im) {
  const M& p = !re ? im : re;
  Ref x(p.NumberOfRows(), p.NumberOfColumns());
  for (int j = 0; j < x.cols; ++j)
    for (int i = 0; i < x.rows; ++i) x(i, j) = Z(!re ? 0.0 : re.value(i, j), !im ? 0.0 : im.value(i, j));
  return x;
}

M Part(M::MtxType type, uint32_t seed) {
  return type == M::DIAG ? naive::Diagonal(naive::RandomValues(3, seed))
                         : naive::ToMatrix(naive::Random(3, 3, seed), type);
}

TEST(ComplexMatrix, AssemblyFromParts) {
  const M none;
  const struct {
    M::MtxType r, i;
    bool hasRe, hasIm;
    CM::MtxType expected;
  } cases[] = {{M::DIAG, M::DIAG, true, true, CM::DIAG},          {M::SKEW, M::SKEW, true, true, CM::HERM},
               {M::UNKNOWN, M::UNKNOWN, true, true, CM::UNKNOWN}, {M::DIAG, M::SYMM, true, true, CM::SYMM},
               {M::SYMM, M::DIAG, true, true, CM::SYMM},          {M::SYMM, M::SKEW, true, true, CM::SYMMSKEW},
               {M::SKEW, M::SYMM, true, true, CM::UNKNOWN},       {M::DIAG, M::UNKNOWN, true, true, CM::UNKNOWN},
               {M::UNKNOWN, M::DIAG, true, true, CM::UNKNOWN},    {M::SKEW, M::DIAG, true, false, CM::HERM},
               {M::DIAG, M::DIAG, false, true, CM::DIAG}};
  for (const auto& c : cases) {
    const M re = c.hasRe ? Part(c.r, 1) : M(), im = c.hasIm ? Part(c.i, 2) : M();
    const CM z(re, im);
    EXPECT_EQ(z.Type(), c.expected) << c.r << "/" << c.i;
    EXPECT_EQ(z.IsDiagonal(), z.LengthOfArray() == 6u);
    EXPECT_TRUE(cref::Near(z, Combine(re, im), 0.0)) << c.r << "/" << c.i;
  }
  EXPECT_TRUE(!CM(none, none));
  // Into existing storage of the other kind: a DIAG this takes the diagonal of a full part.
  const M full = Part(M::UNKNOWN, 4), diag = Part(M::DIAG, 5);
  CM d(3, 3, CM::DIAG);
  d.SetReIm(diag, full);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cref::At(d, i, i), Z(diag.value(i, i), full.value(i, i)));
}

TEST(ComplexMatrix, RoundTripsAreExact) {
  const std::pair<std::pair<int, int>, CM::MtxType> shapes[] = {
      {{1, 5}, CM::UNKNOWN}, {{6, 1}, CM::UNKNOWN}, {{4, 4}, CM::SYMMSKEW}, {{4, 4}, CM::DIAG}, {{3, 3}, CM::HERM}};
  for (const auto& s : shapes) {
    const CM z = cref::ToMatrix(cref::Random(s.first.first, s.first.second, 9), s.second);
    const QORMtxReImMatrix split(z);
    EXPECT_EQ(static_cast<int>(split.Type()), static_cast<int>(z.Type()));
    const CM back(split);
    EXPECT_EQ(back.Type(), z.Type());
    ASSERT_EQ(back.LengthOfArray(), z.LengthOfArray());
    EXPECT_EQ(std::memcmp(back.Values(), z.Values(), sizeof(double) * z.LengthOfArray()), 0);
    // Through real parts of the same storage kind, back into a caller's array.
    const M::MtxType kind = z.IsDiagonal() ? M::DIAG : M::UNKNOWN;
    M re(z.NumberOfRows(), z.NumberOfColumns(), kind), im(z.NumberOfRows(), z.NumberOfColumns(), kind);
    z.ReIm(re, im);
    std::vector<double> array(z.LengthOfArray());
    CM(z.NumberOfRows(), z.NumberOfColumns(), array.data(), z.Type()).SetReIm(re, im);
    EXPECT_EQ(std::memcmp(array.data(), z.Values(), sizeof(double) * array.size()), 0);
  }
  QORMtxReImMatrix split(2, 2);
  CM().ReIm(split);
  EXPECT_EQ(split.NumberOfRows(), 0);
  EXPECT_TRUE(!CM(split));
}

TEST(ComplexMatrix, BlocksAgainstReference) {
  const Ref a = cref::Random(5, 6, 21), b = cref::Random(4, 3, 22);
  const CM bm = cref::ToMatrix(b);
  CM block(2, 3);
  cref::ToMatrix(a).GetBlock(3, 2, block);
  Ref expected(2, 3);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 2; ++i) expected(i, j) = a(3 + i, 2 + j);
  EXPECT_TRUE(cref::Near(block, expected, 0.0));

  // B rows 1..3, columns 0..1 placed at (2, 4): set with a factor, then added.
  CM m = cref::ToMatrix(a);
  Ref x = a;
  m.SetBlock(2, 4, 0.5, 2.0, bm, 1, 3, 0, 1);
  m.AddBlock(2, 4, bm, 1, 3, 0, 1);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) x(2 + i, 4 + j) = Z(1.5, 2.0) * b(1 + i, j);
  EXPECT_TRUE(cref::Near(m, x));
  // From a full real part and a DIAG imaginary part, assembled first.
  const M re = naive::ToMatrix(naive::Random(3, 3, 23)), im = naive::Diagonal({1, 2, 3});
  m.AddBlock(0, 0, 0.0, -1.0, re, im, 0, 2, 1, 2);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) x(i, j) += Z(0, -1) * Z(re.value(i, 1 + j), im.value(i, 1 + j));
  EXPECT_TRUE(cref::Near(m, x));
  // A DIAG B writes only its diagonal entries inside the range (here d(1, 1) and d(2, 2)).
  const CM d(im, M());
  m.SetBlock(1, 0, 2.0, 0.0, d, 0, 2, 1, 2);
  m.AddBlock(1, 0, d, 0, 2, 1, 2);
  x(2, 0) = 6.0;
  x(3, 1) = 9.0;
  EXPECT_TRUE(cref::Near(m, x));
}

}  // namespace
