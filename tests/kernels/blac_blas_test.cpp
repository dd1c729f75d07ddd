// Tests of the blac BLAS layer against naive loops: flag parsing, strides and our own empty-size guards.
#include <gtest/gtest.h>

#include <complex>
#include <limits>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using namespace qormtx_test;
using Complex = std::complex<double>;
using Vec = std::vector<double>;

constexpr double kTol = 1e-13;

// The dispatch suite checks daxpby, ddot, zdotc and a forward fill through the library; here the rest of level 1.
TEST(BlacBlas1, VectorKernelsWithStrides) {
  auto rng = Rng(1);
  const int n = 37, negx = -3, incy = 2, negy = -2, one = 1, zero = 0;
  const Vec x = RandomVector(3 * n, rng), y0 = RandomVector(2 * n, rng);
  const double alpha = 0.75, v = 4.5, za[2] = {0.5, -1.5};
  Vec y = y0, ref = y0, z = y0, zref = y0;
  blac_daxpy(&n, &alpha, x.data(), &negx, y.data(), &incy);  // a negative incx walks x backwards
  for (int i = 0; i < n; ++i) ref[2 * i] += alpha * x[3 * (n - 1 - i)];
  EXPECT_LT(MaxRelDiff(y, ref), kTol);
  // Stride 0 in x fills y with one value (our own loop), a negative incy from the far end of the same slots.
  for (const int* inc : {&incy, &negy}) {
    Vec f(2 * n + 1, -1.0);
    blac_dcopy(&n, &v, &zero, f.data(), inc);
    for (int i = 0; i <= 2 * n; ++i) EXPECT_EQ(f[i], i % 2 == 0 && i < 2 * n ? 4.5 : -1.0) << *inc << " " << i;
  }
  blac_zaxpy(&n, za, x.data(), &one, z.data(), &one);
  for (int i = 0; i < n; ++i) {
    const Complex w = Complex(y0[2 * i], y0[2 * i + 1]) + Complex(za[0], za[1]) * Complex(x[2 * i], x[2 * i + 1]);
    zref[2 * i] = w.real(), zref[2 * i + 1] = w.imag();
  }
  EXPECT_LT(MaxRelDiff(z, zref), kTol);
}

TEST(BlacBlas3, DgemmAndZgemmEveryTransposeFlagWithPadding) {
  auto rng = Rng(4);
  const int m = 19, n = 11, k = 23;
  const double alpha = -0.7, beta = 1.3, za[2] = {0.3, -1.1}, zb[2] = {-0.4, 0.8};
  for (char ta : {'N', 'n', 'T', 't', 'C', 'c'})
    for (char tb : {'N', 'n', 'T', 't', 'C', 'c'}) {
      const bool tra = ta != 'N' && ta != 'n', trb = tb != 'N' && tb != 'n';
      const int ar = tra ? k : m, ac = tra ? m : k, br = trb ? n : k, bc = trb ? k : n;
      const int lda = ar + 3, ldb = br + 5, ldc = m + 2;
      const auto a = RandomMatrix(ar, ac, lda, rng), b = RandomMatrix(br, bc, ldb, rng);
      auto c = RandomMatrix(m, n, ldc, rng), ref = c;
      blac_dgemm(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c.data(), &ldc);
      NaiveGemm(ta, tb, m, n, k, alpha, a.data(), lda, b.data(), ldb, beta, ref.data(), ldc);
      EXPECT_LT(MaxRelDiffMatrix(m, n, c.data(), ldc, ref.data(), ldc), kTol) << ta << tb;
      for (int j = 0; j < n; ++j) EXPECT_EQ(c[j * ldc + m], -777.0);  // padding rows untouched

      // Complex: the same shapes as interleaved pairs, both kernels.
      const int zlda = ar + 1, zldb = br + 2, zldc = m + 1;
      const auto az = RandomMatrix(2 * ar, ac, 2 * zlda, rng);
      const auto bz = RandomMatrix(2 * br, bc, 2 * zldb, rng);
      const auto c0 = RandomMatrix(2 * m, n, 2 * zldc, rng);
      auto zref = c0, zc = c0, zc3 = c0;
      NaiveZgemm(ta, tb, m, n, k, Complex(za[0], za[1]), az.data(), zlda, bz.data(), zldb, Complex(zb[0], zb[1]),
                 zref.data(), zldc);
      blac_zgemm(&ta, &tb, &m, &n, &k, za, az.data(), &zlda, bz.data(), &zldb, zb, zc.data(), &zldc);
      blac_zgemm3m(&ta, &tb, &m, &n, &k, za, az.data(), &zlda, bz.data(), &zldb, zb, zc3.data(), &zldc);
      EXPECT_LT(MaxRelDiffMatrix(m, n, zc.data(), zldc, zref.data(), zldc, 2), kTol) << "zgemm " << ta << tb;
      EXPECT_LT(MaxRelDiffMatrix(m, n, zc3.data(), zldc, zref.data(), zldc, 2), 1e-12) << "zgemm3m " << ta << tb;
    }
}

TEST(BlacBlas, EmptySizesTouchNothingButBetaScaling) {
  auto rng = Rng(5);
  const int m = 4, n = 3, k = 5, zero = 0, one = 1;
  const double alpha = 2.0, beta = 3.0, betaZero = 0.0, oneD = 1.0, za[2] = {0.3, -1.1}, zb[2] = {-0.4, 0.8};
  double x[2] = {1.0, 2.0}, y[2] = {5.0, 6.0}, z[2] = {7.0, 8.0};  // level 1 with n = 0
  blac_daxpy(&zero, &alpha, x, &one, y, &one);
  blac_daxpby(&zero, &alpha, x, &one, &beta, y, &one);
  blac_dcopy(&zero, x, &one, y, &one);
  blac_dscal(&zero, &alpha, y, &one);
  blac_dswap(&zero, x, &one, y, &one);
  blac_zaxpy(&zero, x, x, &one, y, &one);
  blac_zscal(&zero, x, y, &one);
  EXPECT_EQ(blac_ddot(&zero, x, &one, y, &one), 0.0);
  blac_zdotc(z, &zero, x, &one, y, &one);
  EXPECT_EQ(Vec({x[0], y[0], y[1], z[0], z[1]}), Vec({1.0, 5.0, 6.0, 0.0, 0.0}));

  const auto a = RandomMatrix(m, k, m, rng), b = RandomMatrix(k, n, k, rng);
  // k = 0 with leading dimensions of 1: C = beta·C, and beta = 0 gives exact zeros even over NaN.
  Vec c2(m * n, 1.5), nanC(m * n, std::numeric_limits<double>::quiet_NaN()), c3(m, 9.0);
  blac_dgemm("N", "N", &m, &n, &zero, &oneD, a.data(), &m, b.data(), &one, &beta, c2.data(), &m);
  blac_dgemm("N", "N", &m, &n, &zero, &oneD, a.data(), &m, b.data(), &one, &betaZero, nanC.data(), &m);
  EXPECT_EQ(c2, Vec(m * n, 4.5));
  EXPECT_EQ(nanC, Vec(m * n, 0.0));
  double zc[2] = {1.0, 2.0};
  blac_zgemm3m("N", "N", &one, &one, &zero, za, zc, &one, zc, &one, zb, zc, &one);
  EXPECT_DOUBLE_EQ(zc[0], -0.4 * 1.0 - 0.8 * 2.0);
  EXPECT_DOUBLE_EQ(zc[1], -0.4 * 2.0 + 0.8 * 1.0);
  // m = 0 (dgemm) or n = 0 (dgemv): nothing is touched, no beta scaling, whatever the leading dimensions.
  blac_dgemm("N", "N", &zero, &n, &k, &oneD, a.data(), &one, b.data(), &k, &beta, c3.data(), &one);
  blac_dgemv("N", &m, &zero, &oneD, a.data(), &m, b.data(), &one, &beta, c3.data(), &one);
  EXPECT_EQ(c3, Vec(m, 9.0));
}

TEST(BlacBlas23, DgemvDtrsmAndZgeruFlags) {
  auto rng = Rng(7);
  const int m = 8, n = 5, one = 1, two = 2;
  const double alpha = 1.75, beta = -0.5;
  for (char t : {'n', 'T'}) {
    const int lda = m + 3, ylen = t == 'T' ? n : m, xlen = t == 'T' ? m : n;
    const auto a = RandomMatrix(m, n, lda, rng);
    const auto x = RandomVector(xlen, rng);
    Vec y = RandomVector(2 * ylen, rng), ref = y;
    blac_dgemv(&t, &m, &n, &alpha, a.data(), &lda, x.data(), &one, &beta, y.data(), &two);
    for (int i = 0; i < ylen; ++i) {
      double s = 0.0;
      for (int l = 0; l < xlen; ++l) s += OpAt(a.data(), lda, t, i, l) * x[l];
      ref[2 * i] = alpha * s + beta * ref[2 * i];
    }
    EXPECT_LT(MaxRelDiff(y, ref), kTol) << t;
  }
  // dtrsm: op(T)·X = alpha·B (or X·op(T)) with the triangle and unit diagonal actually read.
  for (char side : {'L', 'R'})
    for (char uplo : {'U', 'L'})
      for (char trans : {'N', 'T'})
        for (char diag : {'N', 'U'}) {
          const int na = side == 'L' ? m : n, lda = na + 2, ldb = m + 1;
          auto a = RandomMatrix(na, na, lda, rng);
          for (int i = 0; i < na; ++i) a[i * lda + i] += 4.0;
          const auto b0 = RandomMatrix(m, n, ldb, rng);
          auto x = b0;
          blac_dtrsm(&side, &uplo, &trans, &diag, &m, &n, &alpha, a.data(), &lda, x.data(), &ldb);
          Vec t(static_cast<std::size_t>(na) * na, 0.0), back(static_cast<std::size_t>(m) * n), want(back.size());
          for (int j = 0; j < na; ++j)
            for (int i = 0; i < na; ++i)
              if (i == j || (uplo == 'U') == (i < j)) t[j * na + i] = i == j && diag == 'U' ? 1.0 : a[j * lda + i];
          if (side == 'L')
            NaiveGemm(trans, 'N', m, n, m, 1.0, t.data(), na, x.data(), ldb, 0.0, back.data(), m);
          else
            NaiveGemm('N', trans, m, n, n, 1.0, x.data(), ldb, t.data(), na, 0.0, back.data(), m);
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) want[j * m + i] = alpha * b0[j * ldb + i];
          EXPECT_LT(MaxRelDiff(back, want), 1e-12) << side << uplo << trans << diag;
        }
  // zgeru is the unconjugated rank-one update: 1 + (1.2 + 0.4i)·i·i.
  const double zalpha[2] = {1.2, 0.4}, zx[2] = {0.0, 1.0}, zy[2] = {0.0, 1.0};
  double za[2] = {1.0, 0.0};
  blac_zgeru(&one, &one, zalpha, zx, &one, zy, &one, za, &one);
  EXPECT_DOUBLE_EQ(za[0], 1.0 - 1.2);
  EXPECT_DOUBLE_EQ(za[1], -0.4);
}

TEST(BlacThreads, ZeroKeepsTheLibraryDefault) {
  const int before = blac_get_num_threads(), zero = 0, one = 1;
  blac_set_num_threads(&zero);
  EXPECT_EQ(blac_get_num_threads(), before);
  blac_set_num_threads(&one);
  EXPECT_EQ(blac_get_num_threads(), 1);
  blac_set_num_threads(&before);
}

}  // namespace
