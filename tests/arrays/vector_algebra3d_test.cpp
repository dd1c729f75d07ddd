// QORMtxVectorAlgebra3D: products, tolerance tests and orthonormal bases.
#include <gtest/gtest.h>

#include <cmath>

#include "QORMtxVectorAlgebra3D.h"
#include "arrays_random.h"
#include "qormtx_death.h"

namespace {

using V3 = QORMtxVectorAlgebra3D;

TEST(VectorAlgebra3D, ProductsAgainstComponentFormulas) {
  const double a[3] = {1, 2, 3}, b[3] = {-4, 5, 0.5};
  EXPECT_EQ(V3::Dot(a, b), -4 + 10 + 1.5);
  double c[3];
  V3::Cross(a, b, c);
  EXPECT_EQ(c[0], 2 * 0.5 - 3 * 5);
  EXPECT_EQ(c[1], 3 * -4 - 1 * 0.5);
  EXPECT_EQ(c[2], 1 * 5 - 2 * -4);
  EXPECT_EQ(V3::Dot(a, c), 0.0);
  EXPECT_DOUBLE_EQ(V3::Length(a), std::sqrt(14.0));
  const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1};
  EXPECT_EQ(V3::Volume(e1, e2, e3), 1.0);
  EXPECT_EQ(V3::Volume(e1, e3, e2), -1.0);
  double d[3];
  V3::Copy(a, d);
  V3::Daxpy(2.0, b, d);
  EXPECT_EQ(d[0], -7.0);
  EXPECT_EQ(d[1], 12.0);
  EXPECT_EQ(d[2], 4.0);
  V3::Normalize(a, d);
  EXPECT_NEAR(V3::Length(d), 1.0, 1e-15);
  EXPECT_NEAR(d[2] / d[0], 3.0, 1e-15);
  V3::Normalize(d, d);  // in place
  EXPECT_NEAR(V3::Length(d), 1.0, 1e-15);
}

TEST(VectorAlgebra3D, TolerancesAreOnSquaredQuantities) {
  const double small[3] = {1e-8, 0, 0};  // squared length 1e-16 < 1.11e-15
  EXPECT_TRUE(V3::IsZero(small));
  const double notSmall[3] = {4e-8, 0, 0};  // 1.6e-15: the length, not its square, would pass
  EXPECT_FALSE(V3::IsZero(notSmall));
  const double nearUnit[3] = {1.0 + 4e-16, 0, 0};  // |a·a - 1| ~ 8.9e-16
  EXPECT_TRUE(V3::IsUnit(nearUnit));
  const double offUnit[3] = {1.0 + 1e-15, 0, 0};
  EXPECT_FALSE(V3::IsUnit(offUnit));
  const double x[3] = {1, 0, 0}, almost[3] = {1e-15, 1, 0}, tilted[3] = {2e-15, 1, 0};
  EXPECT_TRUE(V3::AreOrthogonal(x, almost));
  EXPECT_FALSE(V3::AreOrthogonal(x, tilted));
}

TEST(VectorAlgebra3D, IsBasisNeedsRightHandedness) {
  const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
  EXPECT_TRUE(V3::IsBasis(x, y, z));
  EXPECT_TRUE(V3::IsBasis(y, z, x));
  EXPECT_FALSE(V3::IsBasis(x, z, y));  // left-handed
  const double twoX[3] = {2, 0, 0}, skew[3] = {0, 1, 1e-7};
  EXPECT_FALSE(V3::IsBasis(twoX, y, z));  // not unit
  EXPECT_FALSE(V3::IsBasis(x, y, skew));  // not unit and not orthogonal
}

TEST(VectorAlgebra3D, MinMidMaxAbsOrdersAndBreaksTies) {
  struct Case {
    double a[3];
    int iMin, iMid, iMax;
  };
  const Case cases[] = {
      {{1, -2, 3}, 0, 1, 2}, {{1, 3, -2}, 0, 2, 1}, {{-2, 1, 3}, 1, 0, 2},   {{3, 1, -2}, 1, 2, 0},
      {{2, 3, 1}, 2, 0, 1},  {{3, 2, -1}, 2, 1, 0}, {{1, 1, 1}, 0, 1, 2},    {{2, 1, 2}, 1, 0, 2},
      {{2, 2, 1}, 2, 0, 1},  {{1, 2, 2}, 0, 1, 2},  {{-0.0, 0, 0}, 0, 1, 2},
  };
  for (const Case& c : cases) {
    int iMin = -1, iMid = -1, iMax = -1;
    V3::MinMidMaxAbs(c.a, iMin, iMid, iMax);
    EXPECT_EQ(iMin, c.iMin) << c.a[0] << " " << c.a[1] << " " << c.a[2];
    EXPECT_EQ(iMid, c.iMid) << c.a[0] << " " << c.a[1] << " " << c.a[2];
    EXPECT_EQ(iMax, c.iMax) << c.a[0] << " " << c.a[1] << " " << c.a[2];
  }
}

TEST(VectorAlgebra3D, BasisFromOneVector) {
  const double z[3] = {0, 0, 5};
  double e1[3], e2[3], e3[3];
  V3::Basis(z, e1, e2, e3);
  EXPECT_EQ(e1[0], 0.0);
  EXPECT_EQ(e1[1], 0.0);
  EXPECT_EQ(e1[2], 1.0);
  EXPECT_EQ(e2[0], 0.0);
  EXPECT_TRUE(V3::IsBasis(e1, e2, e3));

  std::mt19937 rng = arrays_test::Rng(31);
  for (int trial = 0; trial < 500; ++trial) {
    const auto v = arrays_test::RandomDoubles(rng, 3);
    V3::Basis(v.data(), e1, e2, e3);
    EXPECT_TRUE(V3::IsBasis(e1, e2, e3)) << v[0] << " " << v[1] << " " << v[2];
    double c[3];
    V3::Cross(v.data(), e1, c);  // e1 is along v
    EXPECT_LT(V3::Length(c), 1e-13 * V3::Length(v.data()));
    EXPECT_GT(V3::Dot(v.data(), e1), 0.0);
  }
}

TEST(VectorAlgebra3D, BasisFromTwoVectorsKeepsThePlane) {
  std::mt19937 rng = arrays_test::Rng(32);
  for (int trial = 0; trial < 500; ++trial) {
    const auto a = arrays_test::RandomDoubles(rng, 3), b = arrays_test::RandomDoubles(rng, 3);
    double axb[3];
    V3::Cross(a.data(), b.data(), axb);
    const double sine = V3::Length(axb) / (V3::Length(a.data()) * V3::Length(b.data()));
    if (sine < 1e-3) continue;  // nearly parallel: the plane is ill-defined
    double e1[3], e2[3], e3[3];
    V3::Basis(a.data(), b.data(), e1, e2, e3);
    // One Gram-Schmidt step leaves an e1·e2 of order eps/sine, so the fixed tolerance of IsBasis
    // holds only for well separated a and b.
    if (sine > 0.5) {
      EXPECT_TRUE(V3::IsBasis(e1, e2, e3));
    }
    EXPECT_LT(std::fabs(V3::Dot(e1, e2)), 1e-15 / sine);
    EXPECT_NEAR(V3::Length(e2), 1.0, 1e-15);
    EXPECT_GT(V3::Dot(e2, b.data()), 0.0);  // b's own side of the plane
    // e3 is the normal of the plane of a and b, in the direction of a × b.
    V3::Normalize(axb, axb);
    EXPECT_NEAR(V3::Dot(e3, axb), 1.0, 1e-12);
  }
}

TEST(VectorAlgebra3DDeathTest, NormalizeRejectsTinyVectors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may already run worker threads
  double out[3];
  const double zero[3] = {0, 0, 0};
  EXPECT_QORMTX_ASSERTION(V3::Normalize(zero, out), "norm > TINY");
  const double tiny[3] = {6e-37, 4e-37, 0};  // length 7.2e-37
  EXPECT_QORMTX_ASSERTION(V3::Normalize(tiny, out), "norm > TINY");
  const double parallel[3] = {0, 0, 2};
  double e1[3], e2[3], e3[3];
  EXPECT_QORMTX_ASSERTION(V3::Basis(zero, e1, e2, e3), "norm > TINY");
  EXPECT_QORMTX_ASSERTION(V3::Basis(parallel, parallel, e1, e2, e3), "norm > TINY");
  const double justAbove[3] = {2e-36, 0, 0};
  V3::Normalize(justAbove, out);
  EXPECT_DOUBLE_EQ(out[0], 1.0);
}

}  // namespace
