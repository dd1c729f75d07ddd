// Unmangled kernels on real arrays against naive long-double loops.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "QORMtxCoreModuleC.h"
#include "qormtx_reference.h"

namespace {

using Vec = std::vector<double>;
using L = long double;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double a = 1.75, b = -0.625, c = 2.5, f = -3.25, v = 0.125, eps = 1e-3;
const int one = 1, minusOne = -1, overwrite = 0;

// One kernel over three arrays x, y, z, and the expected new (x, y, z) of one element.
struct Triple {
  L x, y, z;
};
struct Case {
  const char* name;
  std::function<void(const int*, double*, double*, double*)> run;
  std::function<Triple(L, L, L)> ref;
};
// A table row: the call, then the reference for x, y and z (the table is aligned by hand).
// clang-format off
#define KERNEL(name, call, rx, ry, rz)                                                           \
  Case{name, [](const int* n, double* x, double* y, double* z) { (void)x, (void)y, (void)z, call; }, \
       [](L x, L y, L z) { return (void)x, (void)y, (void)z, Triple{rx, ry, rz}; }}

const Case kCases[] = {
    KERNEL("array_add", qormtx_array_add(n, &a, x, &b, y, &c, z), x, y, a * x + b * y + c * z),
    KERNEL("array_add2", qormtx_array_add2(n, &a, x, &b, y), x, a * x + b * y, z),
    KERNEL("p1p1p0", qormtx_array_p1p1p0_add(n, x, y, z), x, y, x + y),
    KERNEL("p1m1p0", qormtx_array_p1m1p0_add(n, x, y, z), x, y, x - y),
    KERNEL("p1p1p1", qormtx_array_p1p1p1_add(n, x, y, z), x, y, z + x + y),
    KERNEL("p1m1p1", qormtx_array_p1m1p1_add(n, x, y, z), x, y, z + x - y),
    KERNEL("m1m1p1", qormtx_array_m1m1p1_add(n, x, y, z), x, y, z - x - y),
    KERNEL("minus", qormtx_array_minus(n, x), -x, y, z),
    KERNEL("assign", qormtx_array_assign(n, x, &v), v, y, z),
    KERNEL("x_factor", qormtx_array_x_factor(n, x, &f), x * f, y, z),
    KERNEL("daxpy", qormtx_daxpy(n, &a, x, y), x, a * x + y, z),
    KERNEL("darray_invert", qormtx_darray_invert(n, x), 1 / x, y, z),
    KERNEL("darray_invert_eps", qormtx_darray_invert_eps(n, x, &eps), 1 / x, y, z),
    KERNEL("darray_multiply", qormtx_darray_multiply(n, &a, x, &one, y, &one, &b, z, &one), x, y, a * x * y + b * z),
    KERNEL("daxsyzi", qormtx_daxsyzi(n, &a, x, &minusOne, y, z, &one, &overwrite), x, y, a * x - y),
};
// clang-format on

TEST(RealArrayKernels, MatchNaiveLoopsAndLeaveOtherArraysAlone) {
  std::mt19937_64 rng = ref::Rng(1);
  for (int n : {1, 2, 3, 7, 8, 17, 1000, 1003}) {                  // around the vector widths and their remainders
    const Vec x0 = ref::RandomValues(n, rng, 0.5, 10.0);           // away from 0: the inverses stay plain
    const Vec y0 = ref::RandomValues(n, rng), z0 = ref::RandomValues(n, rng);
    for (const Case& k : kCases) {
      Vec x = x0, y = y0, z = z0;
      k.run(&n, x.data(), y.data(), z.data());
      for (int i = 0; i < n; ++i) {
        const Triple want = k.ref(x0[i], y0[i], z0[i]);
        const double tol = 8e-15 * (std::fabs(x0[i]) + std::fabs(y0[i]) + std::fabs(z0[i]) + 1.0);
        ASSERT_NEAR(x[i], static_cast<double>(want.x), tol) << k.name << " n=" << n << " i=" << i;
        ASSERT_NEAR(y[i], static_cast<double>(want.y), tol) << k.name << " n=" << n << " i=" << i;
        ASSERT_NEAR(z[i], static_cast<double>(want.z), tol) << k.name << " n=" << n << " i=" << i;
      }
    }
  }
  for (int n : {0, -1}) {  // a count below one touches nothing, not even a null array
    for (const Case& k : kCases) {
      Vec x(4, 1.5), y(4, 2.5), z(4, 3.5);
      k.run(&n, x.data(), y.data(), z.data());
      k.run(&n, nullptr, nullptr, nullptr);
      EXPECT_TRUE(x == Vec(4, 1.5) && y == Vec(4, 2.5) && z == Vec(4, 3.5)) << k.name;
    }
  }
}

// Whatever processor variant the loader picked, each element must be rounded as the written formula rounds it in
// plain double arithmetic: a variant that fused multiply-adds would differ in the last bit here.
TEST(RealArrayKernels, BitIdenticalToTheScalarFormula) {
  std::mt19937_64 rng = ref::Rng(5);
  int n = 1031;
  const Vec x = ref::RandomValues(n, rng), y0 = ref::RandomValues(n, rng);
  const Vec z0 = ref::RandomValues(n, rng);
  Vec y = y0, z = z0, w = z0;
  qormtx_daxpy(&n, &a, x.data(), y.data());
  qormtx_array_add(&n, &a, x.data(), &b, y0.data(), &c, z.data());
  qormtx_darray_multiply(&n, &a, x.data(), &one, y0.data(), &one, &b, w.data(), &one);
  for (int i = 0; i < n; ++i) {
    volatile double ax = a * x[i], by = b * y0[i], cz = c * z0[i], axy = ax * y0[i], bz = b * z0[i];
    ASSERT_EQ(y[i], ax + y0[i]) << i;
    ASSERT_EQ(z[i], (ax + by) + cz) << i;
    ASSERT_EQ(w[i], axy + bz) << i;
  }
}

TEST(RealArrayKernels, AliasesZeroFactorsSignsAndInversionFloors) {
  int n = 5;
  const Vec x0 = {1, 2, 3, 4, 5}, y0 = {-1, 0.5, 2, -3, 7};
  Vec x = x0, z = x0, y(5, kNaN), w(5, kNaN);
  qormtx_array_p1m1p0_add(&n, x.data(), y0.data(), x.data());  // the output may be an input
  qormtx_array_add(&n, &a, z.data(), &b, y0.data(), &c, z.data());
  const double zero = -0.0;  // a zero factor leaves its operand unread: the NaNs must not leak
  qormtx_array_add2(&n, &a, x0.data(), &zero, y.data());
  qormtx_darray_multiply(&n, &a, x0.data(), &one, x0.data(), &one, &zero, w.data(), &one);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(x[i], x0[i] - y0[i]);
    EXPECT_NEAR(z[i], (a + c) * x0[i] + b * y0[i], 1e-14);
    EXPECT_EQ(y[i], a * x0[i]);
    EXPECT_EQ(w[i], a * x0[i] * x0[i]);
  }
  Vec m = {0.0, -0.0};
  n = 2;
  qormtx_array_minus(&n, m.data());
  EXPECT_TRUE(std::signbit(m[0]) && !std::signbit(m[1]));

  // Below 1e-36 (as a float) a value inverts to the signed big value; -0.0 is not below zero.
  const double big = 9.999999616903162e+35, floor = 1.0000000359391298e-36;
  Vec t = {2.0, 1e-40, -1e-40, 0.0, -0.0, floor, 1e-36};
  n = static_cast<int>(t.size());
  qormtx_darray_invert(&n, t.data());
  EXPECT_EQ(t, (Vec{0.5, big, -big, big, big, 1.0 / floor, big}));
  Vec e = {0.001, -0.001, 4.0, 0.0, 0.01, -0.01};  // |x| < eps becomes ±1/eps; |x| == eps inverts normally
  const double eps2 = 0.01;
  n = static_cast<int>(e.size());
  qormtx_darray_invert_eps(&n, e.data(), &eps2);
  EXPECT_EQ(e, (Vec{100, -100, 0.25, 100, 100, -100}));
}

TEST(RealArrayKernels, StridedMultiplyAndDaxsyzi) {
  std::mt19937_64 rng = ref::Rng(3);
  int n = 37;
  const Vec A = ref::RandomValues(4 * n, rng), B = ref::RandomValues(4 * n, rng);
  const Vec C0 = ref::RandomValues(4 * n, rng);
  struct Strides {
    int a, b, c;
    int aStart, bStart, cStart;  // where the first element sits; negative strides walk back from it
  };
  for (const Strides s : {Strides{2, 3, 1, 0, 0, 0}, Strides{0, 1, 2, 5, 0, 0}, Strides{-1, 1, -2, n - 1, 0, 2 * n - 2},
                          Strides{1, -3, 3, 0, 3 * n - 3, 0}}) {
    Vec C = C0, want = C0;
    qormtx_darray_multiply(&n, &a, A.data() + s.aStart, &s.a, B.data() + s.bStart, &s.b, &b, C.data() + s.cStart, &s.c);
    for (int i = 0; i < n; ++i)
      want[s.cStart + i * s.c] = a * A[s.aStart + i * s.a] * B[s.bStart + i * s.b] + b * C0[s.cStart + i * s.c];
    for (int i = 0; i < 4 * n; ++i) ASSERT_NEAR(C[i], want[i], 1e-12) << "strides " << s.a << s.b << s.c << " i=" << i;
  }
  int m = 9;  // z along the diagonal of a 9 x 9 column-major matrix: stride m + 1
  const int diag = m + 1;
  const Vec x = ref::RandomValues(m, rng), y = ref::RandomValues(m, rng);
  const Vec z0 = ref::RandomValues(m * m, rng);
  for (int s : {-1, 0, 1, 3})
    for (int flag : {0, 1}) {  // overwrite or accumulate
      Vec z = z0;
      qormtx_daxsyzi(&m, &a, x.data(), &s, y.data(), z.data(), &diag, &flag);
      for (int k = 0; k < m * m; ++k) {
        const double add = a * x[k / diag] + s * y[k / diag];
        ASSERT_NEAR(z[k], k % diag ? z0[k] : (flag ? z0[k] : 0.0) + add, 1e-13) << s << " " << flag << " " << k;
      }
    }
  Vec z(m, kNaN), yNaN(m, kNaN);  // an operand with a zero factor is never read: it may be null or NaN
  const double zero = 0.0;
  const int s0 = 0;
  qormtx_daxsyzi(&m, &zero, nullptr, &minusOne, y.data(), z.data(), &one, &overwrite);
  for (int k = 0; k < m; ++k) EXPECT_EQ(z[k], -y[k]);
  qormtx_daxsyzi(&m, &a, x.data(), &s0, yNaN.data(), z.data(), &one, &overwrite);
  for (int k = 0; k < m; ++k) EXPECT_EQ(z[k], a * x[k]);
}

}  // namespace
