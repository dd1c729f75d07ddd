// Unmangled kernels on complex scalars and interleaved complex arrays against std::complex references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "QORMtxCoreModuleC.h"
#include "qormtx_reference.h"

namespace {

using Vec = std::vector<double>;
using Cx = std::complex<long double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Cx At(const Vec& z, long i) { return Cx(z[2 * i], z[2 * i + 1]); }
Cx At(const double* z) { return Cx(z[0], z[1]); }

TEST(ComplexScalarKernels, ArithmeticMatchesStdComplex) {
  std::mt19937_64 rng = ref::Rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const Vec v = ref::RandomValues(4, rng);
    const double A[2] = {v[0], v[1]}, B[2] = {v[2], v[3]};
    const Cx ca = At(A), cb = At(B);
    double r[5][2];
    qormtx_complex_add(A, B, r[0]);
    qormtx_complex_sub(A, B, r[1]);
    qormtx_complex_mul(A, B, r[2]);
    qormtx_complex_div(A, B, r[3]);
    qormtx_complex_abs(A, r[4]);
    EXPECT_LT(std::abs(At(r[0]) - (ca + cb)), 1e-14);
    EXPECT_LT(std::abs(At(r[1]) - (ca - cb)), 1e-14);
    EXPECT_LT(std::abs(At(r[2]) - ca * cb), 1e-13);
    EXPECT_LT(std::abs(At(r[3]) - ca / cb), 1e-12 * (1.0 + std::abs(ca / cb)));
    EXPECT_NEAR(r[4][0], static_cast<double>(std::abs(ca)), 1e-14);
  }
  double z[2] = {1.0, 2.0}, w[2], re = 0, im = 0;
  const double b[2] = {3.0, -4.0}, big[2] = {1e300, -1e300}, tiny[2] = {3e-200, 4e-200};
  qormtx_complex_mul(z, b, z);  // the result may overwrite an operand: (1 + 2i)(3 - 4i) = 11 + 2i
  EXPECT_EQ(At(z), Cx(11, 2));
  qormtx_complex_abs(big, &re);  // neither overflow nor underflow on the way
  qormtx_complex_abs(tiny, &im);
  EXPECT_DOUBLE_EQ(re, std::sqrt(2.0) * 1e300);
  EXPECT_DOUBLE_EQ(im, 5e-200);

  const double one[2] = {1.0, 0.0}, x = 1.5, y = -2.5;
  qormtx_complex_con(one, w);
  EXPECT_TRUE(w[0] == 1.0 && std::signbit(w[1]));  // +0 becomes -0
  qormtx_complex_set(&x, &y, z);                   // the real part comes first in every setter and getter
  qormtxcomplexset(&y, &x, w);
  EXPECT_TRUE(At(z) == Cx(1.5, -2.5) && At(w) == Cx(-2.5, 1.5));
  qormtx_complex_get(&re, &im, z);
  EXPECT_TRUE(re == 1.5 && im == -2.5);
  qormtxcomplexgetre(&re, w);
  qormtxcomplexgetim(&im, w);
  EXPECT_TRUE(re == -2.5 && im == 1.5);
}

// Each kernel against a naive loop over the first n values; a count below one must leave everything as it was.
TEST(ComplexArrayKernels, PartsInverseAndFactorAgainstNaiveLoops) {
  std::mt19937_64 rng = ref::Rng(12);
  for (int n : {-2, 0, 1, 3, 16, 257}) {
    const int len = std::max(n, 3);
    const Vec re = ref::RandomValues(len, rng), im = ref::RandomValues(len, rng);
    const Vec z0 = ref::RandomValues(2 * len, rng, 0.5, 4.0);
    Vec z[6] = {z0, z0, z0, z0, z0, z0}, want[6] = {z0, z0, z0, z0, z0, z0}, got[4] = {re, im, re, im};
    Vec x = re, y = im, wantGot[4] = {re, im, re, im}, wantX = re, wantY = im;
    const double f[2] = {0.75, -1.25};
    qormtx_array_setre(&n, re.data(), z[0].data());
    qormtx_array_setim(&n, im.data(), z[1].data());  // clears the real parts
    qormtx_array_setreim(&n, re.data(), im.data(), z[2].data());
    qormtx_array_resetre(&n, re.data(), z[3].data());
    qormtx_array_resetim(&n, im.data(), z[4].data());  // keeps the real parts
    qormtx_array_invert(&n, z[5].data());
    qormtx_reim_array_x_factor(&n, x.data(), y.data(), f);
    qormtx_array_getre(&n, got[0].data(), z0.data());
    qormtx_array_getim(&n, got[1].data(), z0.data());
    qormtx_array_getreim(&n, got[2].data(), got[3].data(), z0.data());
    for (int i = 0; i < n; ++i) {
      const Cx inv = 1.0L / At(z0, i), xf = Cx(re[i], im[i]) * At(f);
      want[0][2 * i] = re[i], want[0][2 * i + 1] = 0.0, want[1][2 * i] = 0.0, want[1][2 * i + 1] = im[i];
      want[2][2 * i] = re[i], want[2][2 * i + 1] = im[i], want[3][2 * i] = re[i], want[4][2 * i + 1] = im[i];
      want[5][2 * i] = static_cast<double>(inv.real()), want[5][2 * i + 1] = static_cast<double>(inv.imag());
      wantX[i] = static_cast<double>(xf.real()), wantY[i] = static_cast<double>(xf.imag());
      wantGot[0][i] = wantGot[2][i] = z0[2 * i], wantGot[1][i] = wantGot[3][i] = z0[2 * i + 1];
    }
    SCOPED_TRACE(::testing::Message() << "n " << n);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(z[k], want[k]) << "kernel " << k;  // exact moves
    for (int k = 0; k < 4; ++k) EXPECT_EQ(got[k], wantGot[k]) << "get " << k;
    for (int i = 0; i < 2 * len; ++i) ASSERT_NEAR(z[5][i], want[5][i], 1e-14) << "invert " << i;
    for (int i = 0; i < len; ++i) ASSERT_NEAR(x[i], wantX[i], 1e-13) << "x_factor " << i;
    for (int i = 0; i < len; ++i) ASSERT_NEAR(y[i], wantY[i], 1e-13) << "x_factor " << i;
  }
}

TEST(ComplexArrayKernels, MultiplyWithStrides) {
  std::mt19937_64 rng = ref::Rng(14);
  int n = 23;
  const long m = 4 * n;  // complex values per array, room for every stride below
  const Vec A = ref::RandomValues(2 * m, rng), B = ref::RandomValues(2 * m, rng);
  const Vec C0 = ref::RandomValues(2 * m, rng);
  const double alpha[2] = {1.5, -0.5}, beta[2] = {-0.25, 2.0}, zero[2] = {0.0, 0.0};
  struct Strides {
    int a, b, c;
    long aStart, bStart, cStart;  // in complex values
  };
  for (const Strides s : {Strides{1, 1, 1, 0, 0, 0}, Strides{2, 3, 1, 0, 0, 0}, Strides{0, 1, 1, 7, 0, 0},
                          Strides{1, 0, 2, 0, 3, 0}, Strides{-1, 2, -3, n - 1, 0, 3 * (n - 1)}}) {
    Vec C = C0, want = C0;
    qormtx_array_multiply(&n, alpha, A.data() + 2 * s.aStart, &s.a, B.data() + 2 * s.bStart, &s.b, beta,
                          C.data() + 2 * s.cStart, &s.c);
    for (long i = 0; i < n; ++i) {
      const long ic = s.cStart + i * s.c;
      const Cx w = At(alpha) * At(A, s.aStart + i * s.a) * At(B, s.bStart + i * s.b) + At(beta) * At(C0, ic);
      want[2 * ic] = static_cast<double>(w.real()), want[2 * ic + 1] = static_cast<double>(w.imag());
    }
    for (long i = 0; i < 2 * m; ++i) ASSERT_NEAR(C[i], want[i], 1e-12) << "strides " << s.a << s.b << s.c << " " << i;
  }
  const int one = 1;  // a zero beta leaves c unread
  Vec C(2 * n, kNaN);
  qormtx_array_multiply(&n, alpha, A.data(), &one, B.data(), &one, zero, C.data(), &one);
  for (long i = 0; i < n; ++i) ASSERT_LT(std::abs(At(C, i) - At(alpha) * At(A, i) * At(B, i)), 1e-12);
  for (int none : {0, -2}) {  // a count below one touches nothing, not even a null array
    double r[2] = {kNaN, kNaN};
    qormtx_zdotc(&none, alpha, &one, alpha, &one, r);
    qormtx_array_multiply(&none, alpha, nullptr, &one, nullptr, &one, beta, nullptr, &one);
    qormtx_array_invert(&none, nullptr);
    EXPECT_TRUE(std::isnan(r[0]) && std::isnan(r[1]));
  }
}

TEST(ComplexArrayKernels, ZdotcConjugatesTheFirstOperand) {
  std::mt19937_64 rng = ref::Rng(15);
  int n = 40;
  const Vec X = ref::RandomValues(6 * n, rng), Y = ref::RandomValues(6 * n, rng);
  for (const int incx : {1, 2, 3})
    for (const int incy : {1, 3, -1}) {
      Cx want = 0;  // kernel library convention: a negative stride starts at the far end of the vector
      for (long k = 0; k < n; ++k)
        want += std::conj(At(X, k * incx)) * At(Y, incy > 0 ? k * incy : (n - 1 - k) * -incy);
      double r[2];
      qormtx_zdotc(&n, X.data(), &incx, Y.data(), &incy, r);
      EXPECT_LT(std::abs(At(r) - want), 1e-11) << incx << " " << incy;
    }
  const int one = 1;  // conj(x)·x is |x|^2, written as exactly one complex value, at any alignment
  double u[4] = {kNaN, kNaN, kNaN, kNaN};
  qormtx_zdotc(&n, X.data(), &one, X.data(), &one, u + 1);
  long double norm2 = 0;
  for (long k = 0; k < 2 * n; ++k) norm2 += static_cast<long double>(X[k]) * X[k];
  EXPECT_NEAR(u[1], static_cast<double>(norm2), 1e-11);
  EXPECT_EQ(u[2], 0.0);
  EXPECT_TRUE(std::isnan(u[0]) && std::isnan(u[3]));
}

}  // namespace
