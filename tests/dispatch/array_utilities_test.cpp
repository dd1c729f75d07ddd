// Split and interleaved complex arrays: conversions both ways and split scaling by a complex factor.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <vector>

#include "QORMtxArrayUtilities.h"
#include "dispatch_test_util.h"
#include "qormtx_death.h"

using dispatch_test::Random;
typedef QORMtxArrayUtilities AU;

TEST(ArrayUtilities, InterleavedSplitInterleavedIsExact) {
  for (size_t n : {size_t(1), size_t(2), size_t(17), size_t(1000)}) {
    const std::vector<double> Z = Random(2 * n, -1e6, 1e6);
    std::vector<double> re(n, -7.0), im(n, -7.0), back(2 * n, -7.0);
    AU::GetReIm(n, re.data(), im.data(), Z.data());
    for (size_t k = 0; k < n; ++k) ASSERT_TRUE(re[k] == Z[2 * k] && im[k] == Z[2 * k + 1]) << n << " " << k;
    AU::SetReIm(n, re.data(), im.data(), back.data());
    EXPECT_EQ(std::memcmp(back.data(), Z.data(), 2 * n * sizeof(double)), 0) << n;
  }
}

TEST(ArrayUtilities, MissingPartsAreZerosOrLeftAlone) {
  const double re[3] = {1, 2, 3}, im[3] = {-1, -2, -3};
  std::vector<double> Z(8, 9.0);  // one complex value of sentinel past the end
  AU::SetReIm(3, re, nullptr, Z.data());
  EXPECT_EQ(Z, (std::vector<double>{1, 0, 2, 0, 3, 0, 9, 9}));
  AU::SetReIm(3, nullptr, im, Z.data());
  EXPECT_EQ(Z, (std::vector<double>{0, -1, 0, -2, 0, -3, 9, 9}));
  AU::SetReIm(3, nullptr, nullptr, Z.data());
  EXPECT_EQ(Z, (std::vector<double>{0, 0, 0, 0, 0, 0, 9, 9}));

  const double W[6] = {1, 2, 3, 4, 5, 6};
  std::vector<double> r(4, 7.0), i(4, 7.0);
  AU::GetReIm(3, nullptr, i.data(), W);
  EXPECT_EQ(i, (std::vector<double>{2, 4, 6, 7}));
  EXPECT_EQ(r, (std::vector<double>(4, 7.0)));
  AU::GetReIm(3, r.data(), nullptr, W);
  EXPECT_EQ(r, (std::vector<double>{1, 3, 5, 7}));
}

TEST(ArrayUtilities, ReImMultiplyAgainstComplexArithmetic) {
  const size_t n = 33;
  std::vector<double> X = Random(n), Y = Random(n);
  const std::vector<double> X0(X), Y0(Y);
  const double f[2] = {0.75, -1.5};
  AU::ReImMultiply(n, X.data(), Y.data(), f);
  for (size_t k = 0; k < n; ++k) {
    const std::complex<double> want = std::complex<double>(X0[k], Y0[k]) * std::complex<double>(f[0], f[1]);
    EXPECT_NEAR(X[k], want.real(), 1e-15);
    EXPECT_NEAR(Y[k], want.imag(), 1e-15);
  }
}

TEST(ArrayUtilities, Preconditions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  double Z[2] = {0, 0}, x = 0, y = 0;
  const double f[2] = {1, 0};
  EXPECT_QORMTX_ASSERTION(AU::SetReIm(0, &x, &y, Z), "numValues");
  EXPECT_QORMTX_ASSERTION(AU::GetReIm(1, nullptr, nullptr, Z), "X || Y");
  EXPECT_QORMTX_ASSERTION(AU::ReImMultiply(1, &x, nullptr, f), "X && Y");
}
