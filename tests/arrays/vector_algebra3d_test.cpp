// QORMtxVectorAlgebra3D: products, tolerance tests and orthonormal bases.
#include <gtest/gtest.h>

#include <cmath>

#include "QORMtxVectorAlgebra3D.h"
#include "qormtx_death.h"
#include "qormtx_reference.h"

namespace {

using V3 = QORMtxVectorAlgebra3D;

TEST(VectorAlgebra3D, ProductsAndSquaredTolerances) {
  const double a[3] = {1, 2, 3}, b[3] = {-4, 5, 0.5}, e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1};
  double c[3], d[3];
  V3::Cross(a, b, c);
  V3::Copy(a, d);
  V3::Daxpy(2.0, b, d);
  EXPECT_EQ(V3::Dot(a, b), -4 + 10 + 1.5);
  EXPECT_TRUE(c[0] == 2 * 0.5 - 3 * 5 && c[1] == 3 * -4 - 1 * 0.5 && c[2] == 1 * 5 - 2 * -4);
  EXPECT_TRUE(d[0] == -7 && d[1] == 12 && d[2] == 4);
  EXPECT_DOUBLE_EQ(V3::Length(a), std::sqrt(14.0));
  EXPECT_EQ(V3::Volume(e1, e2, e3), 1.0);
  EXPECT_EQ(V3::Volume(e1, e3, e2), -1.0);
  V3::Normalize(a, d);
  EXPECT_NEAR(V3::Length(d), 1.0, 1e-15);
  EXPECT_NEAR(d[2] / d[0], 3.0, 1e-15);

  // The tolerances apply to squared quantities: the length itself would judge the second and fourth otherwise.
  const double small[3] = {1e-8, 0, 0}, notSmall[3] = {4e-8, 0, 0}, nearUnit[3] = {1 + 4e-16, 0, 0};
  const double offUnit[3] = {1 + 1e-15, 0, 0}, almost[3] = {1e-15, 1, 0}, tilted[3] = {2e-15, 1, 0};
  const double twoX[3] = {2, 0, 0}, skew[3] = {0, 1, 1e-7};
  EXPECT_TRUE(V3::IsZero(small));
  EXPECT_FALSE(V3::IsZero(notSmall));
  EXPECT_TRUE(V3::IsUnit(nearUnit));
  EXPECT_FALSE(V3::IsUnit(offUnit));
  EXPECT_TRUE(V3::AreOrthogonal(e1, almost));
  EXPECT_FALSE(V3::AreOrthogonal(e1, tilted));
  EXPECT_TRUE(V3::IsBasis(e2, e3, e1));
  EXPECT_FALSE(V3::IsBasis(e1, e3, e2));  // left-handed
  EXPECT_FALSE(V3::IsBasis(twoX, e2, e3));
  EXPECT_FALSE(V3::IsBasis(e1, e2, skew));
}

TEST(VectorAlgebra3D, MinMidMaxAbsOrdersAndBreaksTiesByIndex) {
  const struct {
    double a[3];
    int order[3];
  } cases[] = {{{1, -2, 3}, {0, 1, 2}}, {{1, 3, -2}, {0, 2, 1}}, {{-2, 1, 3}, {1, 0, 2}},  {{3, 1, -2}, {1, 2, 0}},
               {{2, 3, 1}, {2, 0, 1}},  {{3, 2, -1}, {2, 1, 0}}, {{1, 1, 1}, {0, 1, 2}},   {{2, 1, 2}, {1, 0, 2}},
               {{2, 2, 1}, {2, 0, 1}},  {{1, 2, 2}, {0, 1, 2}},  {{-0.0, 0, 0}, {0, 1, 2}}};
  for (const auto& c : cases) {
    int got[3] = {-1, -1, -1};
    V3::MinMidMaxAbs(c.a, got[0], got[1], got[2]);
    EXPECT_TRUE(got[0] == c.order[0] && got[1] == c.order[1] && got[2] == c.order[2])
        << c.a[0] << " " << c.a[1] << " " << c.a[2] << " gave " << got[0] << got[1] << got[2];
  }
}

TEST(VectorAlgebra3D, BasesFromOneAndTwoVectors) {
  std::mt19937_64 rng = ref::Rng(31);
  double e1[3], e2[3], e3[3], c[3];
  for (int trial = 0; trial < 500; ++trial) {
    const auto a = ref::RandomValues(3, rng), b = ref::RandomValues(3, rng);
    V3::Basis(a.data(), e1, e2, e3);
    V3::Cross(a.data(), e1, c);  // e1 along a, on a's side
    EXPECT_TRUE(V3::IsBasis(e1, e2, e3));
    EXPECT_LT(V3::Length(c), 1e-13 * V3::Length(a.data()));
    EXPECT_GT(V3::Dot(a.data(), e1), 0.0);

    double axb[3];
    V3::Cross(a.data(), b.data(), axb);
    const double sine = V3::Length(axb) / (V3::Length(a.data()) * V3::Length(b.data()));
    if (sine < 1e-3) continue;  // nearly parallel: the plane is ill-defined
    V3::Basis(a.data(), b.data(), e1, e2, e3);
    V3::Normalize(axb, axb);
    // One Gram-Schmidt step leaves an e1·e2 of order eps/sine: IsBasis's fixed tolerance holds only for a wide angle.
    EXPECT_TRUE(sine <= 0.5 || V3::IsBasis(e1, e2, e3));
    EXPECT_LT(std::fabs(V3::Dot(e1, e2)), 1e-15 / sine);
    EXPECT_NEAR(V3::Length(e2), 1.0, 1e-15);
    EXPECT_GT(V3::Dot(e2, b.data()), 0.0);      // b's own side of the plane
    EXPECT_NEAR(V3::Dot(e3, axb), 1.0, 1e-12);  // the normal, along a × b
  }
  const double z[3] = {0, 0, 5};  // an axis vector gives exact axes
  V3::Basis(z, e1, e2, e3);
  EXPECT_TRUE(e1[0] == 0 && e1[1] == 0 && e1[2] == 1 && e2[0] == 0);
}

TEST(VectorAlgebra3DDeathTest, TinyVectorsAreRejected) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may already run worker threads
  double out[3], e1[3], e2[3], e3[3];
  const double zero[3] = {0, 0, 0}, tiny[3] = {6e-37, 4e-37, 0}, parallel[3] = {0, 0, 2}, justAbove[3] = {2e-36, 0, 0};
  EXPECT_QORMTX_ASSERTION(V3::Normalize(tiny, out), "norm > TINY");  // length 7.2e-37
  EXPECT_QORMTX_ASSERTION(V3::Basis(zero, e1, e2, e3), "norm > TINY");
  EXPECT_QORMTX_ASSERTION(V3::Basis(parallel, parallel, e1, e2, e3), "norm > TINY");
  V3::Normalize(justAbove, out);
  EXPECT_DOUBLE_EQ(out[0], 1.0);
}

}  // namespace
