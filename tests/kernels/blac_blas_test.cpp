// Tests of the blac BLAS routines against naive loops.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using qormtx_test::MaxRelDiff;
using qormtx_test::MaxRelDiffMatrix;
using Complex = std::complex<double>;

constexpr double kTol = 1e-13;

TEST(BlacBlas1, RealVectorKernelsWithStrides) {
  auto rng = qormtx_test::Rng(1);
  const int n = 37;
  const std::vector<double> x = qormtx_test::RandomVector(3 * n, rng);
  const std::vector<double> y0 = qormtx_test::RandomVector(2 * n, rng);
  const double alpha = 0.75, beta = -1.25;

  // daxpy with incx 3, incy 2; and with a negative incx, which walks x backwards.
  std::vector<double> y = y0, ref = y0;
  int incx = 3, incy = 2;
  blac_daxpy(&n, &alpha, x.data(), &incx, y.data(), &incy);
  for (int i = 0; i < n; ++i) ref[2 * i] += alpha * x[3 * i];
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  y = y0, ref = y0;
  incx = -3;
  blac_daxpy(&n, &alpha, x.data(), &incx, y.data(), &incy);
  for (int i = 0; i < n; ++i) ref[2 * i] += alpha * x[3 * (n - 1 - i)];
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  y = y0, ref = y0;
  incx = 3;
  blac_daxpby(&n, &alpha, x.data(), &incx, &beta, y.data(), &incy);
  for (int i = 0; i < n; ++i) ref[2 * i] = alpha * x[3 * i] + beta * y0[2 * i];
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  double dot = 0.0;
  for (int i = 0; i < n; ++i) dot += x[3 * i] * y0[2 * i];
  EXPECT_NEAR(blac_ddot(&n, x.data(), &incx, y0.data(), &incy), dot, kTol * n);

  y = y0, ref = y0;
  blac_dscal(&n, &beta, y.data(), &incy);
  for (int i = 0; i < n; ++i) ref[2 * i] *= beta;
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  std::vector<double> xs = x, ys = y0;
  blac_dswap(&n, xs.data(), &incx, ys.data(), &incy);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(xs[3 * i], y0[2 * i]);
    EXPECT_EQ(ys[2 * i], x[3 * i]);
  }
}

TEST(BlacBlas1, CopyWithStrideZeroFillsAndNegativeStrideReverses) {
  const int n = 9, one = 1, zero = 0, two = 2, minusOne = -1;
  const double v = 4.5;
  std::vector<double> y(2 * n, -1.0);
  blac_dcopy(&n, &v, &zero, y.data(), &two);
  for (int i = 0; i < 2 * n; ++i) EXPECT_EQ(y[i], i % 2 == 0 ? 4.5 : -1.0) << i;

  std::vector<double> x(n), r(n, 0.0);
  for (int i = 0; i < n; ++i) x[i] = i;
  blac_dcopy(&n, x.data(), &one, r.data(), &minusOne);
  for (int i = 0; i < n; ++i) EXPECT_EQ(r[i], n - 1 - i);
}

TEST(BlacBlas1, ZeroLengthLeavesEverythingUntouched) {
  const int n = 0, one = 1;
  const double alpha = 2.0, beta = 3.0;
  double x[2] = {1.0, 2.0}, y[2] = {5.0, 6.0}, z[2] = {7.0, 8.0};
  blac_daxpy(&n, &alpha, x, &one, y, &one);
  blac_daxpby(&n, &alpha, x, &one, &beta, y, &one);
  blac_dcopy(&n, x, &one, y, &one);
  blac_dscal(&n, &alpha, y, &one);
  blac_dswap(&n, x, &one, y, &one);
  blac_zaxpy(&n, x, x, &one, y, &one);
  blac_zscal(&n, x, y, &one);
  EXPECT_EQ(blac_ddot(&n, x, &one, y, &one), 0.0);
  blac_zdotc(z, &n, x, &one, y, &one);
  EXPECT_EQ(y[0], 5.0);
  EXPECT_EQ(y[1], 6.0);
  EXPECT_EQ(x[0], 1.0);
  EXPECT_EQ(z[0], 0.0);
  EXPECT_EQ(z[1], 0.0);
}

TEST(BlacBlas1, ComplexKernelsConjugateTheFirstOperandOfTheDot) {
  auto rng = qormtx_test::Rng(2);
  const int n = 23, one = 1, two = 2;
  const std::vector<double> x = qormtx_test::RandomVector(2 * n, rng);
  const std::vector<double> y0 = qormtx_test::RandomVector(4 * n, rng);
  const double alpha[2] = {0.5, -1.5};
  auto X = [&](int i) { return Complex(x[2 * i], x[2 * i + 1]); };
  auto Y0 = [&](int i) { return Complex(y0[4 * i], y0[4 * i + 1]); };  // incy 2 in complex units

  std::vector<double> y = y0, ref = y0;
  blac_zaxpy(&n, alpha, x.data(), &one, y.data(), &two);
  for (int i = 0; i < n; ++i) {
    const Complex v = Y0(i) + Complex(alpha[0], alpha[1]) * X(i);
    ref[4 * i] = v.real(), ref[4 * i + 1] = v.imag();
  }
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  Complex dot = 0.0;
  for (int i = 0; i < n; ++i) dot += std::conj(X(i)) * Y0(i);
  double result[2];
  blac_zdotc(result, &n, x.data(), &one, y0.data(), &two);
  EXPECT_NEAR(result[0], dot.real(), kTol * n);
  EXPECT_NEAR(result[1], dot.imag(), kTol * n);

  // conj(i)·i = 1: the conjugate is taken of x, not of y.
  const double iu[2] = {0.0, 1.0}, two1[2] = {2.0, 1.0};
  blac_zdotc(result, &one, iu, &one, two1, &one);  // conj(i)·(2 + i) = 1 − 2i
  EXPECT_DOUBLE_EQ(result[0], 1.0);
  EXPECT_DOUBLE_EQ(result[1], -2.0);

  y = y0, ref = y0;
  blac_zscal(&n, alpha, y.data(), &two);
  for (int i = 0; i < n; ++i) {
    const Complex v = Complex(alpha[0], alpha[1]) * Y0(i);
    ref[4 * i] = v.real(), ref[4 * i + 1] = v.imag();
  }
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  y = y0, ref = y0;
  const double s = -2.5;
  blac_zdscal(&n, &s, y.data(), &two);
  for (int i = 0; i < n; ++i) ref[4 * i] *= s, ref[4 * i + 1] *= s;
  EXPECT_LT(MaxRelDiff(y, ref), kTol);

  y.assign(4 * n, 0.0), ref.assign(4 * n, 0.0);
  blac_zcopy(&n, x.data(), &one, y.data(), &two);
  for (int i = 0; i < n; ++i) ref[4 * i] = x[2 * i], ref[4 * i + 1] = x[2 * i + 1];
  EXPECT_EQ(y, ref);
}

TEST(BlacBlas2, DgemvBothTransposesWithPaddedLeadingDimension) {
  auto rng = qormtx_test::Rng(3);
  const int m = 13, n = 7, lda = 17, one = 1, incy = 2;
  const std::vector<double> a = qormtx_test::RandomMatrix(m, n, lda, rng);
  const std::vector<double> x = qormtx_test::RandomVector(std::max(m, n), rng);
  const double alpha = 1.5, beta = -0.5;
  for (char t : {'N', 'n', 'T', 't'}) {
    const bool tr = t == 'T' || t == 't';
    const int ylen = tr ? n : m, xlen = tr ? m : n;
    std::vector<double> y = qormtx_test::RandomVector(2 * ylen, rng), ref = y;
    blac_dgemv(&t, &m, &n, &alpha, a.data(), &lda, x.data(), &one, &beta, y.data(), &incy);
    for (int i = 0; i < ylen; ++i) {
      double s = 0.0;
      for (int l = 0; l < xlen; ++l) s += qormtx_test::OpAt(a.data(), lda, t, i, l) * x[l];
      ref[2 * i] = alpha * s + beta * ref[2 * i];
    }
    EXPECT_LT(MaxRelDiff(y, ref), kTol) << t;
  }
  // With an empty matrix y is left exactly as it was (no beta scaling), as in the reference routine.
  const int zero = 0;
  std::vector<double> y(m, 3.0);
  blac_dgemv("N", &m, &zero, &alpha, a.data(), &lda, x.data(), &one, &beta, y.data(), &one);
  EXPECT_EQ(y, std::vector<double>(m, 3.0));
}

TEST(BlacBlas3, DgemmEveryTransposeCombination) {
  auto rng = qormtx_test::Rng(4);
  const int m = 19, n = 11, k = 23;
  const double alpha = -0.7, beta = 1.3;
  for (char ta : {'N', 'n', 'T', 't', 'C'}) {
    for (char tb : {'N', 'n', 'T', 't', 'C'}) {
      const bool tra = ta != 'N' && ta != 'n', trb = tb != 'N' && tb != 'n';
      const int ar = tra ? k : m, ac = tra ? m : k, br = trb ? n : k, bc = trb ? k : n;
      const int lda = ar + 3, ldb = br + 5, ldc = m + 2;
      const auto a = qormtx_test::RandomMatrix(ar, ac, lda, rng);
      const auto b = qormtx_test::RandomMatrix(br, bc, ldb, rng);
      auto c = qormtx_test::RandomMatrix(m, n, ldc, rng), ref = c;
      blac_dgemm(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c.data(), &ldc);
      qormtx_test::NaiveGemm(ta, tb, m, n, k, alpha, a.data(), lda, b.data(), ldb, beta, ref.data(), ldc);
      EXPECT_LT(MaxRelDiffMatrix(m, n, c.data(), ldc, ref.data(), ldc), kTol) << ta << tb;
      // The padding rows of C are not written.
      for (int j = 0; j < n; ++j) EXPECT_EQ(c[j * ldc + m], -777.0);
    }
  }
}

TEST(BlacBlas3, DgemmBetaZeroIgnoresCAndEmptyInnerDimensionScales) {
  auto rng = qormtx_test::Rng(5);
  const int m = 4, n = 3, k = 5, zero = 0;
  const auto a = qormtx_test::RandomMatrix(m, k, m, rng);
  const auto b = qormtx_test::RandomMatrix(k, n, k, rng);
  const double one = 1.0, betaZero = 0.0, beta = 2.0;
  std::vector<double> c(m * n, std::numeric_limits<double>::quiet_NaN()), ref(m * n, 0.0);
  blac_dgemm("N", "N", &m, &n, &k, &one, a.data(), &m, b.data(), &k, &betaZero, c.data(), &m);
  qormtx_test::NaiveGemm('N', 'N', m, n, k, 1.0, a.data(), m, b.data(), k, 0.0, ref.data(), m);
  EXPECT_LT(MaxRelDiff(c, ref), kTol);

  // k = 0 with leading dimensions of 1 (an empty A and B): C = beta·C, and beta = 0 gives exact zeros.
  std::vector<double> c2(m * n, 1.5), nanC(m * n, std::numeric_limits<double>::quiet_NaN());
  const int ld1 = 1;
  blac_dgemm("N", "N", &m, &n, &zero, &one, a.data(), &m, b.data(), &ld1, &beta, c2.data(), &m);
  EXPECT_EQ(c2, std::vector<double>(m * n, 3.0));
  blac_dgemm("N", "N", &m, &n, &zero, &one, a.data(), &m, b.data(), &ld1, &betaZero, nanC.data(), &m);
  EXPECT_EQ(nanC, std::vector<double>(m * n, 0.0));

  // m = 0: nothing is touched, whatever the leading dimensions.
  std::vector<double> c3(4, 9.0);
  blac_dgemm("N", "N", &zero, &n, &k, &one, a.data(), &ld1, b.data(), &k, &beta, c3.data(), &ld1);
  EXPECT_EQ(c3, std::vector<double>(4, 9.0));
}

TEST(BlacBlas3, ZgemmAndZgemm3mEveryTransposeCombination) {
  auto rng = qormtx_test::Rng(6);
  const int m = 9, n = 7, k = 12;
  const double alpha[2] = {0.3, -1.1}, beta[2] = {-0.4, 0.8};
  for (char ta : {'N', 'T', 'C', 'c'}) {
    for (char tb : {'N', 't', 'T', 'C'}) {
      const bool tra = ta != 'N', trb = tb != 'N';
      const int ar = tra ? k : m, ac = tra ? m : k, br = trb ? n : k, bc = trb ? k : n;
      const int lda = ar + 2, ldb = br + 1, ldc = m + 3;
      const auto a = qormtx_test::RandomMatrix(2 * ar, ac, 2 * lda, rng);
      const auto b = qormtx_test::RandomMatrix(2 * br, bc, 2 * ldb, rng);
      const auto c0 = qormtx_test::RandomMatrix(2 * m, n, 2 * ldc, rng);
      auto ref = c0;
      qormtx_test::NaiveZgemm(ta, tb, m, n, k, Complex(alpha[0], alpha[1]), a.data(), lda, b.data(), ldb,
                              Complex(beta[0], beta[1]), ref.data(), ldc);
      auto c = c0;
      blac_zgemm(&ta, &tb, &m, &n, &k, alpha, a.data(), &lda, b.data(), &ldb, beta, c.data(), &ldc);
      EXPECT_LT(MaxRelDiffMatrix(m, n, c.data(), ldc, ref.data(), ldc, 2), kTol) << "zgemm " << ta << tb;
      c = c0;
      blac_zgemm3m(&ta, &tb, &m, &n, &k, alpha, a.data(), &lda, b.data(), &ldb, beta, c.data(), &ldc);
      EXPECT_LT(MaxRelDiffMatrix(m, n, c.data(), ldc, ref.data(), ldc, 2), 1e-12) << "zgemm3m " << ta << tb;
    }
  }
  // k = 0: C = beta·C in complex arithmetic.
  const int zero = 0, one = 1;
  double c[2] = {1.0, 2.0};
  blac_zgemm3m("N", "N", &one, &one, &zero, alpha, c, &one, c, &one, beta, c, &one);
  EXPECT_DOUBLE_EQ(c[0], -0.4 * 1.0 - 0.8 * 2.0);
  EXPECT_DOUBLE_EQ(c[1], -0.4 * 2.0 + 0.8 * 1.0);
}

TEST(BlacBlas3, DtrsmSolvesEverySideUploTransAndDiag) {
  auto rng = qormtx_test::Rng(7);
  const int m = 8, n = 5;
  const double alpha = 1.75;
  for (char side : {'L', 'R'}) {
    for (char uplo : {'U', 'L'}) {
      for (char trans : {'N', 'T'}) {
        for (char diag : {'N', 'U'}) {
          const int na = side == 'L' ? m : n, lda = na + 2, ldb = m + 1;
          auto a = qormtx_test::RandomMatrix(na, na, lda, rng);
          for (int i = 0; i < na; ++i) a[i * lda + i] += 4.0;  // well conditioned
          const auto b0 = qormtx_test::RandomMatrix(m, n, ldb, rng);
          auto x = b0;
          blac_dtrsm(&side, &uplo, &trans, &diag, &m, &n, &alpha, a.data(), &lda, x.data(), &ldb);
          // The triangle actually used, with a unit diagonal when asked: op(T)·X or X·op(T) must give alpha·B.
          std::vector<double> t(static_cast<std::size_t>(na) * na, 0.0);
          for (int j = 0; j < na; ++j)
            for (int i = 0; i < na; ++i)
              if (i == j) t[j * na + i] = diag == 'U' ? 1.0 : a[j * lda + i];
              else if ((uplo == 'U') == (i < j)) t[j * na + i] = a[j * lda + i];
          std::vector<double> back(static_cast<std::size_t>(m) * n, 0.0), want(back.size());
          if (side == 'L')
            qormtx_test::NaiveGemm(trans, 'N', m, n, m, 1.0, t.data(), na, x.data(), ldb, 0.0, back.data(), m);
          else
            qormtx_test::NaiveGemm('N', trans, m, n, n, 1.0, x.data(), ldb, t.data(), na, 0.0, back.data(), m);
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) want[j * m + i] = alpha * b0[j * ldb + i];
          EXPECT_LT(MaxRelDiff(back, want), 1e-12) << side << uplo << trans << diag;
        }
      }
    }
  }
}

TEST(BlacBlas2, ZgeruIsAnUnconjugatedRankOneUpdate) {
  auto rng = qormtx_test::Rng(8);
  const int m = 6, n = 4, lda = 9, one = 1, two = 2;
  const auto x = qormtx_test::RandomVector(2 * m, rng);
  const auto y = qormtx_test::RandomVector(4 * n, rng);
  const double alpha[2] = {1.2, 0.4};
  auto a = qormtx_test::RandomMatrix(2 * m, n, 2 * lda, rng), ref = a;
  blac_zgeru(&m, &n, alpha, x.data(), &one, y.data(), &two, a.data(), &lda);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      const std::size_t at = 2 * (static_cast<std::size_t>(j) * lda + i);
      const Complex v = Complex(ref[at], ref[at + 1]) +
                        Complex(alpha[0], alpha[1]) * Complex(x[2 * i], x[2 * i + 1]) * Complex(y[4 * j], y[4 * j + 1]);
      ref[at] = v.real(), ref[at + 1] = v.imag();
    }
  }
  EXPECT_LT(MaxRelDiff(a, ref), kTol);
}

TEST(BlacThreads, ZeroKeepsTheLibraryDefault) {
  const int before = blac_get_num_threads();
  const int zero = 0, one = 1;
  blac_set_num_threads(&zero);
  EXPECT_EQ(blac_get_num_threads(), before);
  blac_set_num_threads(&one);
  EXPECT_EQ(blac_get_num_threads(), 1);
  blac_set_num_threads(&before);
  EXPECT_EQ(blac_get_num_threads(), before);
}

}  // namespace
