// Unmangled kernels on real arrays against naive long-double loops.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "QORMtxCoreModuleC.h"
#include "arrays_random.h"

namespace {

using Vec = std::vector<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Close to a long-double reference, relative to the size of the operands that made it.
void ExpectClose(double got, long double want, double scale, const std::string& what) {
  EXPECT_NEAR(got, static_cast<double>(want), 4e-16 * scale) << what;
}

// One kernel over three arrays x, y, z, and its reference as the expected new (x, y, z) of one element.
struct Triple {
  long double x, y, z;
};
struct Case {
  const char* name;
  std::function<void(const int*, double*, double*, double*)> run;
  std::function<Triple(long double, long double, long double)> ref;
};

const double a = 1.75, b = -0.625, c = 2.5, f = -3.25, v = 0.125;

std::vector<Case> Cases() {
  return {
      {"array_add", [](const int* n, double* x, double* y, double* z) { qormtx_array_add(n, &a, x, &b, y, &c, z); },
       [](long double x, long double y, long double z) {
         return Triple{x, y, a * x + b * y + c * z};
       }},
      {"array_add2", [](const int* n, double* x, double* y, double*) { qormtx_array_add2(n, &a, x, &b, y); },
       [](long double x, long double y, long double z) {
         return Triple{x, a * x + b * y, z};
       }},
      {"p1p1p0", [](const int* n, double* x, double* y, double* z) { qormtx_array_p1p1p0_add(n, x, y, z); },
       [](long double x, long double y, long double) {
         return Triple{x, y, x + y};
       }},
      {"p1m1p0", [](const int* n, double* x, double* y, double* z) { qormtx_array_p1m1p0_add(n, x, y, z); },
       [](long double x, long double y, long double) {
         return Triple{x, y, x - y};
       }},
      {"p1p1p1", [](const int* n, double* x, double* y, double* z) { qormtx_array_p1p1p1_add(n, x, y, z); },
       [](long double x, long double y, long double z) {
         return Triple{x, y, z + x + y};
       }},
      {"p1m1p1", [](const int* n, double* x, double* y, double* z) { qormtx_array_p1m1p1_add(n, x, y, z); },
       [](long double x, long double y, long double z) {
         return Triple{x, y, z + x - y};
       }},
      {"m1m1p1", [](const int* n, double* x, double* y, double* z) { qormtx_array_m1m1p1_add(n, x, y, z); },
       [](long double x, long double y, long double z) {
         return Triple{x, y, z - x - y};
       }},
      {"minus", [](const int* n, double* x, double*, double*) { qormtx_array_minus(n, x); },
       [](long double x, long double y, long double z) {
         return Triple{-x, y, z};
       }},
      {"assign", [](const int* n, double* x, double*, double*) { qormtx_array_assign(n, x, &v); },
       [](long double, long double y, long double z) {
         return Triple{v, y, z};
       }},
      {"x_factor", [](const int* n, double* x, double*, double*) { qormtx_array_x_factor(n, x, &f); },
       [](long double x, long double y, long double z) {
         return Triple{x * f, y, z};
       }},
      {"daxpy", [](const int* n, double* x, double* y, double*) { qormtx_daxpy(n, &a, x, y); },
       [](long double x, long double y, long double z) {
         return Triple{x, a * x + y, z};
       }},
      {"darray_invert", [](const int* n, double* x, double*, double*) { qormtx_darray_invert(n, x); },
       [](long double x, long double y, long double z) {
         return Triple{1.0L / x, y, z};
       }},
      {"darray_invert_eps",
       [](const int* n, double* x, double*, double*) {
         const double eps = 1e-3;
         qormtx_darray_invert_eps(n, x, &eps);
       },
       [](long double x, long double y, long double z) {
         return Triple{1.0L / x, y, z};
       }},
      {"darray_multiply",
       [](const int* n, double* x, double* y, double* z) {
         const int one = 1;
         qormtx_darray_multiply(n, &a, x, &one, y, &one, &b, z, &one);
       },
       [](long double x, long double y, long double z) {
         return Triple{x, y, a * x * y + b * z};
       }},
      {"daxsyzi",
       [](const int* n, double* x, double* y, double* z) {
         const int s = -1, one = 1, overwrite = 0;
         qormtx_daxsyzi(n, &a, x, &s, y, z, &one, &overwrite);
       },
       [](long double x, long double y, long double) {
         return Triple{x, y, a * x - y};
       }},
  };
}

TEST(RealArrayKernels, MatchNaiveLoopsAndLeaveOtherArraysAlone) {
  std::mt19937 rng = arrays_test::Rng(1);
  // Lengths around the vector widths and their remainders.
  for (int n : {1, 2, 3, 7, 8, 17, 1000, 1003}) {
    const Vec x0 = arrays_test::RandomDoubles(rng, n, 0.5, 10.0);  // away from 0: the inverses stay plain
    Vec y0 = arrays_test::RandomDoubles(rng, n), z0 = arrays_test::RandomDoubles(rng, n);
    for (const Case& k : Cases()) {
      Vec x = x0, y = y0, z = z0;
      k.run(&n, x.data(), y.data(), z.data());
      for (int i = 0; i < n; ++i) {
        const Triple want = k.ref(x0[i], y0[i], z0[i]);
        const std::string where = std::string(k.name) + " n=" + std::to_string(n) + " i=" + std::to_string(i);
        const double scale = 20.0 * (std::fabs(x0[i]) + std::fabs(y0[i]) + std::fabs(z0[i]) + 1.0);
        ExpectClose(x[i], want.x, scale, where + " x");
        ExpectClose(y[i], want.y, scale, where + " y");
        ExpectClose(z[i], want.z, scale, where + " z");
      }
    }
  }
}

// Whatever processor variant the loader picked, each element must be rounded as the written formula rounds it
// in plain double arithmetic: a variant that fused multiply-adds would differ in the last bit here.
TEST(RealArrayKernels, BitIdenticalToTheScalarFormula) {
  std::mt19937 rng = arrays_test::Rng(5);
  int n = 1031;
  const Vec x = arrays_test::RandomDoubles(rng, n), y0 = arrays_test::RandomDoubles(rng, n);
  const Vec z0 = arrays_test::RandomDoubles(rng, n);
  const int one = 1;
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

TEST(RealArrayKernels, CountBelowOneTouchesNothing) {
  for (int n : {0, -1, -100}) {
    for (const Case& k : Cases()) {
      Vec x(4, 1.5), y(4, 2.5), z(4, 3.5);
      k.run(&n, x.data(), y.data(), z.data());
      EXPECT_EQ(x, Vec(4, 1.5)) << k.name;
      EXPECT_EQ(y, Vec(4, 2.5)) << k.name;
      EXPECT_EQ(z, Vec(4, 3.5)) << k.name;
      k.run(&n, nullptr, nullptr, nullptr);  // must not dereference anything
    }
  }
}

TEST(RealArrayKernels, OutputMayBeAnInput) {
  std::mt19937 rng = arrays_test::Rng(2);
  int n = 101;
  const Vec x0 = arrays_test::RandomDoubles(rng, n), y0 = arrays_test::RandomDoubles(rng, n);
  Vec x = x0;
  qormtx_array_p1m1p0_add(&n, x.data(), y0.data(), x.data());  // x = x - y
  for (int i = 0; i < n; ++i) EXPECT_EQ(x[i], x0[i] - y0[i]);
  Vec z = x0;
  qormtx_array_add(&n, &a, z.data(), &b, y0.data(), &c, z.data());  // z = a z + b y + c z
  for (int i = 0; i < n; ++i) ExpectClose(z[i], (a + c) * (long double)x0[i] + b * (long double)y0[i], 100.0, "add");
}

TEST(RealArrayKernels, ZeroCoefficientLeavesOutputUnread) {
  int n = 5;
  const Vec x = {1, 2, 3, 4, 5};
  for (double zero : {0.0, -0.0}) {
    Vec y(5, kNaN);
    qormtx_array_add2(&n, &a, x.data(), &zero, y.data());
    for (int i = 0; i < n; ++i) EXPECT_EQ(y[i], a * x[i]);
    Vec cc(5, kNaN);
    const int one = 1;
    qormtx_darray_multiply(&n, &a, x.data(), &one, x.data(), &one, &zero, cc.data(), &one);
    for (int i = 0; i < n; ++i) EXPECT_EQ(cc[i], a * x[i] * x[i]);
  }
}

TEST(RealArrayKernels, MinusFlipsTheSignBit) {
  Vec x = {0.0, -0.0, 3.0};
  int n = 3;
  qormtx_array_minus(&n, x.data());
  EXPECT_TRUE(std::signbit(x[0]));
  EXPECT_FALSE(std::signbit(x[1]));
  EXPECT_EQ(x[2], -3.0);
}

TEST(RealArrayKernels, InvertReplacesTinyValuesBySignedBig) {
  Vec x = {2.0, 1e-40, -1e-40, 0.0, -0.0, 1.0000000359391298e-36, 1e-36};
  int n = static_cast<int>(x.size());
  qormtx_darray_invert(&n, x.data());
  const double big = 9.999999616903162e+35;
  EXPECT_EQ(x[0], 0.5);
  EXPECT_EQ(x[1], big);
  EXPECT_EQ(x[2], -big);
  EXPECT_EQ(x[3], big);
  EXPECT_EQ(x[4], big);                           // -0.0 is not below zero
  EXPECT_EQ(x[5], 1.0 / 1.0000000359391298e-36);  // the floor itself is inverted (strict test)
  EXPECT_EQ(x[6], big);                           // 1e-36 as a double lies below the widened single-precision floor
}

TEST(RealArrayKernels, InvertEpsUsesTheSignOfTheValue) {
  Vec x = {0.001, -0.001, 4.0, 0.0, 0.01, -0.01};
  int n = static_cast<int>(x.size());
  const double eps = 0.01;
  qormtx_darray_invert_eps(&n, x.data(), &eps);
  EXPECT_EQ(x[0], 1.0 / 0.01);
  EXPECT_EQ(x[1], -1.0 / 0.01);
  EXPECT_EQ(x[2], 0.25);
  EXPECT_EQ(x[3], 1.0 / 0.01);
  EXPECT_EQ(x[4], 1.0 / 0.01);  // |x| == eps is inverted normally
  EXPECT_EQ(x[5], -1.0 / 0.01);
}

TEST(RealArrayKernels, MultiplyStrides) {
  std::mt19937 rng = arrays_test::Rng(3);
  int n = 37;
  const Vec A = arrays_test::RandomDoubles(rng, 4 * n), B = arrays_test::RandomDoubles(rng, 4 * n);
  const Vec C0 = arrays_test::RandomDoubles(rng, 4 * n);
  struct Strides {
    int a, b, c;
    int aStart, bStart, cStart;  // where the first element sits; negative strides walk back from it
  };
  for (const Strides s : {Strides{2, 3, 1, 0, 0, 0}, Strides{0, 1, 2, 5, 0, 0}, Strides{-1, 1, -2, n - 1, 0, 2 * n - 2},
                          Strides{1, -3, 3, 0, 3 * n - 3, 0}}) {
    Vec C = C0;
    qormtx_darray_multiply(&n, &a, A.data() + s.aStart, &s.a, B.data() + s.bStart, &s.b, &b, C.data() + s.cStart, &s.c);
    Vec want = C0;
    for (int i = 0; i < n; ++i) {
      const int ic = s.cStart + i * s.c;
      want[ic] = a * A[s.aStart + i * s.a] * B[s.bStart + i * s.b] + b * C0[ic];
    }
    for (int i = 0; i < 4 * n; ++i)
      EXPECT_NEAR(C[i], want[i], 1e-12) << "strides " << s.a << "," << s.b << "," << s.c << " i=" << i;
  }
}

TEST(RealArrayKernels, DaxsyziStridesFactorsAndAccumulation) {
  std::mt19937 rng = arrays_test::Rng(4);
  int n = 9;  // the diagonal of a 9 x 9 column-major matrix: stride n + 1
  const int diag = n + 1, overwrite = 0, accumulate = 1;
  const Vec x = arrays_test::RandomDoubles(rng, n), y = arrays_test::RandomDoubles(rng, n);
  const Vec z0 = arrays_test::RandomDoubles(rng, n * n);
  for (int s : {-1, 0, 1, 3}) {
    for (int flag : {overwrite, accumulate}) {
      Vec z = z0;
      qormtx_daxsyzi(&n, &a, x.data(), &s, y.data(), z.data(), &diag, &flag);
      for (int k = 0; k < n * n; ++k) {
        const bool onDiag = k % diag == 0;
        const double base = flag ? z0[k] : 0.0;
        const double want = onDiag ? base + (a * x[k / diag] + s * y[k / diag]) : z0[k];
        EXPECT_NEAR(z[k], want, 1e-13) << "s=" << s << " flag=" << flag << " k=" << k;
      }
    }
  }
  // An operand with a zero factor is never read: absent operands come as null, NaNs do not leak.
  Vec z(n, kNaN);
  const double zero = 0.0;
  const int one = 1, minus = -1;
  qormtx_daxsyzi(&n, &zero, nullptr, &minus, y.data(), z.data(), &one, &overwrite);
  for (int k = 0; k < n; ++k) EXPECT_EQ(z[k], -y[k]);
  const int s0 = 0;
  Vec xNaN(n, kNaN);
  qormtx_daxsyzi(&n, &a, x.data(), &s0, xNaN.data(), z.data(), &one, &overwrite);
  for (int k = 0; k < n; ++k) EXPECT_EQ(z[k], a * x[k]);
}

}  // namespace
