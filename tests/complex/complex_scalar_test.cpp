// QORMtxComplex: arithmetic against std::complex, and viewing scalars that change a caller's pair in place.
#include <gtest/gtest.h>

#include <complex>

#include "QORMtxComplex.h"
#include "complex_ref.h"

namespace {

using cref::Z;

Z Of(const QORMtxComplex& c) { return Z(c.Re(), c.Im()); }

TEST(ComplexScalar, ArithmeticMatchesStdComplex) {
  const Z a(1.5, -2.25), b(-0.75, 3.0);
  const QORMtxComplex x(a.real(), a.imag()), y(b.real(), b.imag());
  EXPECT_EQ(Of(QORMtxComplex(x).Add(y)), a + b);
  EXPECT_EQ(Of(QORMtxComplex(x).Sub(b.real(), b.imag())), a - b);
  EXPECT_EQ(Of(QORMtxComplex(x).Mul(y)),
            Z(a.real() * b.real() - a.imag() * b.imag(), a.imag() * b.real() + a.real() * b.imag()));
  EXPECT_LE(std::abs(Of(QORMtxComplex(x).Div(b.real(), b.imag())) - a / b), 1e-15 * std::abs(a / b));
  EXPECT_DOUBLE_EQ(x.Abs(), std::abs(a));
  QORMtxComplex c(x);  // chained calls work on the same pair; x is left alone
  c.Mul(y).Add(1.0, 0.0).Con().Neg();
  EXPECT_LE(std::abs(Of(c) + std::conj(a * b + 1.0)), 1e-15);
  EXPECT_EQ(Of(x), a);
}

TEST(ComplexScalar, ViewsWriteThroughCopiesOfOwnedValuesDoNot) {
  double pair[2] = {3.0, 4.0};
  QORMtxComplex(pair).Mul(0.0, 1.0);  // rotation by i
  EXPECT_EQ(Z(pair[0], pair[1]), Z(-4.0, 3.0));
  QORMtxComplex v(pair), alias(v);  // a copy of a view views the same pair
  alias.Set(1.0, 2.0);
  EXPECT_EQ(Of(v), Z(1, 2));
  EXPECT_EQ(v.Get(), pair);
  const QORMtxComplex owned(5.0, 6.0);
  QORMtxComplex copy(owned);
  copy.Neg();
  EXPECT_EQ(Of(owned), Z(5, 6));
  v = owned;  // assignment writes into the viewed pair
  EXPECT_EQ(Z(pair[0], pair[1]), Z(5, 6));
  const double source[2] = {7.0, -8.0};
  double re = 0, im = 0;
  copy.Set(source).Get(re, im);
  EXPECT_EQ(Z(re, im), Z(7, -8));
}

}  // namespace
