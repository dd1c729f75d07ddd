// Unmangled kernels on complex scalars and interleaved complex arrays against std::complex references.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "QORMtxCoreModuleC.h"
#include "arrays_random.h"

namespace {

using Vec = std::vector<double>;
using Cx = std::complex<long double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Cx At(const Vec& z, long i) { return Cx(z[2 * i], z[2 * i + 1]); }

void ExpectComplexNear(const double* got, Cx want, double tol, const char* what) {
  EXPECT_NEAR(got[0], static_cast<double>(want.real()), tol) << what;
  EXPECT_NEAR(got[1], static_cast<double>(want.imag()), tol) << what;
}

TEST(ComplexScalarKernels, ArithmeticMatchesStdComplex) {
  std::mt19937 rng = arrays_test::Rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const Vec v = arrays_test::RandomDoubles(rng, 4);
    const double A[2] = {v[0], v[1]}, B[2] = {v[2], v[3]};
    const Cx ca(A[0], A[1]), cb(B[0], B[1]);
    double r[2];
    qormtx_complex_add(A, B, r);
    ExpectComplexNear(r, ca + cb, 1e-14, "add");
    qormtx_complex_sub(A, B, r);
    ExpectComplexNear(r, ca - cb, 1e-14, "sub");
    qormtx_complex_mul(A, B, r);
    ExpectComplexNear(r, ca * cb, 1e-13, "mul");
    qormtx_complex_div(A, B, r);
    ExpectComplexNear(r, ca / cb, 1e-12 * (1.0 + std::abs(ca / cb)), "div");
    qormtx_complex_abs(A, r);
    EXPECT_NEAR(r[0], static_cast<double>(std::abs(ca)), 1e-14);
  }
}

TEST(ComplexScalarKernels, ResultMayOverwriteAnOperand) {
  double a[2] = {1.0, 2.0};
  const double b[2] = {3.0, -4.0};
  qormtx_complex_mul(a, b, a);  // (1 + 2i)(3 - 4i) = 11 + 2i
  EXPECT_EQ(a[0], 11.0);
  EXPECT_EQ(a[1], 2.0);
  qormtx_complex_div(a, b, a);  // back to 1 + 2i
  EXPECT_DOUBLE_EQ(a[0], 1.0);
  EXPECT_DOUBLE_EQ(a[1], 2.0);
}

TEST(ComplexScalarKernels, SetGetAndConjugate) {
  const double re = 1.5, im = -2.5;
  double z[2], w[2], out = 0, out2 = 0;
  qormtx_complex_set(&re, &im, z);
  qormtxcomplexset(&im, &re, w);
  EXPECT_EQ(z[0], 1.5);
  EXPECT_EQ(z[1], -2.5);
  EXPECT_EQ(w[0], -2.5);
  EXPECT_EQ(w[1], 1.5);
  qormtx_complex_get(&out, &out2, z);
  EXPECT_EQ(out, 1.5);
  EXPECT_EQ(out2, -2.5);
  qormtxcomplexgetre(&out, w);
  qormtxcomplexgetim(&out2, w);
  EXPECT_EQ(out, -2.5);
  EXPECT_EQ(out2, 1.5);

  const double one[2] = {1.0, 0.0};
  double c[2];
  qormtx_complex_con(one, c);
  EXPECT_EQ(c[0], 1.0);
  EXPECT_EQ(c[1], 0.0);
  EXPECT_TRUE(std::signbit(c[1]));  // +0 becomes -0
  qormtx_complex_con(z, z);
  EXPECT_EQ(z[1], 2.5);
}

TEST(ComplexScalarKernels, AbsDoesNotOverflowForLargeFiniteValues) {
  const double big[2] = {1e300, -1e300};
  double out = 0;
  qormtx_complex_abs(big, &out);
  EXPECT_DOUBLE_EQ(out, std::sqrt(2.0) * 1e300);
  const double huge[2] = {std::numeric_limits<double>::max(), 0.0};
  qormtx_complex_abs(huge, &out);
  EXPECT_EQ(out, std::numeric_limits<double>::max());
  const double tiny[2] = {3e-200, 4e-200};  // and no underflow to zero either
  qormtx_complex_abs(tiny, &out);
  EXPECT_DOUBLE_EQ(out, 5e-200);
}

TEST(ComplexArrayKernels, PartsMoveExactly) {
  std::mt19937 rng = arrays_test::Rng(12);
  for (int n : {1, 3, 16, 257}) {
    const Vec re = arrays_test::RandomDoubles(rng, n), im = arrays_test::RandomDoubles(rng, n);
    const Vec z0 = arrays_test::RandomDoubles(rng, 2 * n);
    Vec z = z0;
    qormtx_array_setre(&n, re.data(), z.data());
    for (int i = 0; i < n; ++i) EXPECT_EQ(At(z, i), Cx(re[i], 0.0));
    z = z0;
    qormtx_array_setim(&n, im.data(), z.data());  // clears the real parts
    for (int i = 0; i < n; ++i) EXPECT_EQ(At(z, i), Cx(0.0, im[i]));
    qormtx_array_setreim(&n, re.data(), im.data(), z.data());
    for (int i = 0; i < n; ++i) EXPECT_EQ(At(z, i), Cx(re[i], im[i]));
    z = z0;
    qormtx_array_resetre(&n, re.data(), z.data());
    for (int i = 0; i < n; ++i) EXPECT_EQ(At(z, i), Cx(re[i], z0[2 * i + 1]));
    z = z0;
    qormtx_array_resetim(&n, im.data(), z.data());  // keeps the real parts
    for (int i = 0; i < n; ++i) EXPECT_EQ(At(z, i), Cx(z0[2 * i], im[i]));

    Vec r(n), m(n), r2(n), m2(n);
    qormtx_array_getre(&n, r.data(), z0.data());
    qormtx_array_getim(&n, m.data(), z0.data());
    qormtx_array_getreim(&n, r2.data(), m2.data(), z0.data());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(r[i], z0[2 * i]);
      EXPECT_EQ(m[i], z0[2 * i + 1]);
    }
    EXPECT_EQ(r, r2);
    EXPECT_EQ(m, m2);
  }
}

TEST(ComplexArrayKernels, InvertAndFactor) {
  std::mt19937 rng = arrays_test::Rng(13);
  int n = 61;
  const Vec z0 = arrays_test::RandomDoubles(rng, 2 * n, 0.5, 4.0);
  Vec z = z0;
  qormtx_array_invert(&n, z.data());
  for (int i = 0; i < n; ++i) ExpectComplexNear(&z[2 * i], 1.0L / At(z0, i), 1e-15 * 8, "invert");

  const Vec x0 = arrays_test::RandomDoubles(rng, n), y0 = arrays_test::RandomDoubles(rng, n);
  const double f[2] = {0.75, -1.25};
  Vec x = x0, y = y0;
  qormtx_reim_array_x_factor(&n, x.data(), y.data(), f);
  for (int i = 0; i < n; ++i) {
    const Cx want = Cx(x0[i], y0[i]) * Cx(f[0], f[1]);
    EXPECT_NEAR(x[i], static_cast<double>(want.real()), 1e-13);
    EXPECT_NEAR(y[i], static_cast<double>(want.imag()), 1e-13);
  }
}

TEST(ComplexArrayKernels, MultiplyWithStrides) {
  std::mt19937 rng = arrays_test::Rng(14);
  int n = 23;
  const long m = 4 * n;  // complex values per array, room for every stride below
  const Vec A = arrays_test::RandomDoubles(rng, 2 * m), B = arrays_test::RandomDoubles(rng, 2 * m);
  const Vec C0 = arrays_test::RandomDoubles(rng, 2 * m);
  const double alpha[2] = {1.5, -0.5}, beta[2] = {-0.25, 2.0};
  struct Strides {
    int a, b, c;
    long aStart, bStart, cStart;  // in complex values
  };
  for (const Strides s : {Strides{1, 1, 1, 0, 0, 0}, Strides{2, 3, 1, 0, 0, 0}, Strides{0, 1, 1, 7, 0, 0},
                          Strides{1, 0, 2, 0, 3, 0}, Strides{-1, 2, -3, n - 1, 0, 3 * (n - 1)}}) {
    Vec C = C0;
    qormtx_array_multiply(&n, alpha, A.data() + 2 * s.aStart, &s.a, B.data() + 2 * s.bStart, &s.b, beta,
                          C.data() + 2 * s.cStart, &s.c);
    Vec want = C0;
    for (long i = 0; i < n; ++i) {
      const long ic = s.cStart + i * s.c;
      const Cx w = Cx(alpha[0], alpha[1]) * At(A, s.aStart + i * s.a) * At(B, s.bStart + i * s.b) +
                   Cx(beta[0], beta[1]) * At(C0, ic);
      want[2 * ic] = static_cast<double>(w.real());
      want[2 * ic + 1] = static_cast<double>(w.imag());
    }
    for (long i = 0; i < 2 * m; ++i)
      EXPECT_NEAR(C[i], want[i], 1e-12) << "strides " << s.a << "," << s.b << "," << s.c << " at " << i;
  }
  // A zero beta leaves c unread.
  const double zero[2] = {0.0, 0.0};
  const int one = 1;
  Vec C(2 * n, kNaN);
  qormtx_array_multiply(&n, alpha, A.data(), &one, B.data(), &one, zero, C.data(), &one);
  for (long i = 0; i < n; ++i)
    ExpectComplexNear(&C[2 * i], Cx(alpha[0], alpha[1]) * At(A, i) * At(B, i), 1e-12, "beta 0");
}

TEST(ComplexArrayKernels, ZdotcConjugatesTheFirstOperand) {
  std::mt19937 rng = arrays_test::Rng(15);
  int n = 40;
  const Vec X = arrays_test::RandomDoubles(rng, 6 * n), Y = arrays_test::RandomDoubles(rng, 6 * n);
  for (const int incx : {1, 2, 3}) {
    for (const int incy : {1, 3, -1}) {
      Cx want = 0;
      for (long k = 0; k < n; ++k) {
        // Kernel library convention: a negative stride starts at the far end of the vector.
        const long iy = incy > 0 ? k * incy : (n - 1 - k) * -incy;
        want += std::conj(At(X, k * incx)) * At(Y, iy);
      }
      double r[2];
      qormtx_zdotc(&n, X.data(), &incx, Y.data(), &incy, r);
      ExpectComplexNear(r, want, 1e-11, "zdotc");
    }
  }
  // conj(x)·x is |x|^2: real and non-negative.
  const int one = 1;
  double r[3] = {0, 0, kNaN};
  qormtx_zdotc(&n, X.data(), &one, X.data(), &one, r + 0);
  long double norm2 = 0;
  for (long k = 0; k < 2 * n; ++k) norm2 += static_cast<long double>(X[k]) * X[k];
  EXPECT_NEAR(r[0], static_cast<double>(norm2), 1e-11);
  EXPECT_EQ(r[1], 0.0);
  EXPECT_TRUE(std::isnan(r[2]));  // exactly one complex value written
  // An unaligned destination (odd double offset) is fine.
  double u[3] = {kNaN, 0, 0};
  qormtx_zdotc(&n, X.data(), &one, X.data(), &one, u + 1);
  EXPECT_TRUE(std::isnan(u[0]));
  EXPECT_EQ(u[1], r[0]);
}

TEST(ComplexArrayKernels, CountBelowOneTouchesNothing) {
  Vec z(4, 7.0), re(2, 1.0), im(2, 2.0);
  const double f[2] = {2.0, 3.0};
  const int one = 1;
  for (int n : {0, -2}) {
    qormtx_array_setre(&n, re.data(), z.data());
    qormtx_array_setim(&n, im.data(), z.data());
    qormtx_array_setreim(&n, re.data(), im.data(), z.data());
    qormtx_array_resetre(&n, re.data(), z.data());
    qormtx_array_resetim(&n, im.data(), z.data());
    qormtx_array_invert(&n, z.data());
    qormtx_array_multiply(&n, f, z.data(), &one, z.data(), &one, f, z.data(), &one);
    qormtx_reim_array_x_factor(&n, re.data(), im.data(), f);
    qormtx_array_getre(&n, re.data(), z.data());
    qormtx_array_getim(&n, im.data(), z.data());
    qormtx_array_getreim(&n, re.data(), im.data(), z.data());
    double r[2] = {kNaN, kNaN};
    qormtx_zdotc(&n, z.data(), &one, z.data(), &one, r);
    EXPECT_TRUE(std::isnan(r[0]) && std::isnan(r[1]));
    qormtx_array_multiply(&n, f, nullptr, &one, nullptr, &one, f, nullptr, &one);
    qormtx_array_invert(&n, nullptr);
  }
  EXPECT_EQ(z, Vec(4, 7.0));
  EXPECT_EQ(re, Vec(2, 1.0));
  EXPECT_EQ(im, Vec(2, 2.0));
}

}  // namespace
