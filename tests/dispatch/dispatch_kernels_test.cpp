// The dispatch table's built-in kernel paths and thin wrappers against naive references and residuals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "QORMtxBlaUtilities.h"
#include "blac.h"
#include "dispatch_test_util.h"
#include "qormtx_death.h"

using dispatch_test::cplx;
using dispatch_test::DispatchFixture;
using dispatch_test::OpElem;
using dispatch_test::Random;
using dispatch_test::Z;
typedef QORMtxBlaUtilities BU;

namespace {

// Largest |got - want| over the m × n block of C (leading dimension ldc), relative to the largest |want|.
double RelErr(const std::vector<cplx>& want, const std::vector<double>& C, int m, int n, int ldc, bool isComplex) {
  double err = 0, ref = 1e-300;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      const size_t k = static_cast<size_t>(ldc) * j + i;
      const cplx got = isComplex ? Z(C, k) : cplx(C[k], 0.0);
      err = std::max(err, std::abs(got - want[static_cast<size_t>(m) * j + i]));
      ref = std::max(ref, std::abs(want[static_cast<size_t>(m) * j + i]));
    }
  return err / ref;
}

// C = alpha·op(A)·op(B) + beta·C through the dispatcher, checked against triple loops, for every option pair.
void CheckProduct(bool isComplex, const char* options) {
  const int m = 13, n = 7, k = 9, pad = 3;
  const int w = isComplex ? 2 : 1;
  const cplx alpha(1.25, isComplex ? -0.5 : 0.0), beta(-0.75, isComplex ? 0.25 : 0.0);
  const double alphaZ[2] = {alpha.real(), alpha.imag()}, betaZ[2] = {beta.real(), beta.imag()};
  for (const char* ta = options; *ta; ++ta)
    for (const char* tb = options; *tb; ++tb) {
      const bool tA = *ta != 'N', tB = *tb != 'N';
      const int lda = (tA ? k : m) + pad, ldb = (tB ? n : k) + pad, ldc = m + pad;
      std::vector<double> A = Random(static_cast<size_t>(w) * lda * (tA ? m : k));
      std::vector<double> B = Random(static_cast<size_t>(w) * ldb * (tB ? k : n));
      std::vector<double> C = Random(static_cast<size_t>(w) * ldc * n);
      std::vector<cplx> want(static_cast<size_t>(m) * n);
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
          cplx s = 0;
          for (int l = 0; l < k; ++l) s += OpElem(*ta, A, lda, i, l, isComplex) * OpElem(*tb, B, ldb, l, j, isComplex);
          const size_t c = static_cast<size_t>(ldc) * j + i;
          want[static_cast<size_t>(m) * j + i] = alpha * s + beta * (isComplex ? Z(C, c) : cplx(C[c], 0.0));
        }
      std::vector<double> padBefore(C);
      if (isComplex)
        BU::ComplexMultiply(*ta, *tb, m, n, k, alphaZ, A.data(), lda, B.data(), ldb, betaZ, C.data(), ldc, 0, 0);
      else
        BU::Multiply(*ta, *tb, m, n, k, alpha.real(), A.data(), lda, B.data(), ldb, beta.real(), C.data(), ldc, 1, 4);
      EXPECT_LT(RelErr(want, C, m, n, ldc, isComplex), 1e-13) << *ta << *tb;
      for (int j = 0; j < n; ++j)  // rows beyond m in each column are left alone
        for (int i = m; i < ldc; ++i)
          for (int p = 0; p < w; ++p) {
            const size_t c = w * (static_cast<size_t>(ldc) * j + i) + p;
            ASSERT_EQ(C[c], padBefore[c]);
          }
    }
}

// max |A·X - B| / (|A|·|X|) over n × nrhs for a real (w = 1) or complex (w = 2) column-major A of leading dim n.
double Residual(const std::vector<double>& A, const std::vector<double>& X, const std::vector<double>& B, int n,
                int nrhs, bool isComplex) {
  double err = 0, na = 0, nx = 0;
  auto at = [&](const std::vector<double>& v, size_t k) { return isComplex ? Z(v, k) : cplx(v[k], 0.0); };
  for (size_t q = 0; q < static_cast<size_t>(n) * n; ++q) na = std::max(na, std::abs(at(A, q)));
  for (size_t q = 0; q < static_cast<size_t>(n) * nrhs; ++q) nx = std::max(nx, std::abs(at(X, q)));
  for (int j = 0; j < nrhs; ++j)
    for (int i = 0; i < n; ++i) {
      cplx s = 0;
      for (int l = 0; l < n; ++l) s += at(A, static_cast<size_t>(n) * l + i) * at(X, static_cast<size_t>(n) * j + l);
      err = std::max(err, std::abs(s - at(B, static_cast<size_t>(n) * j + i)));
    }
  return err / (na * nx * n);
}

void Symmetrise(std::vector<double>& A, int n, int w) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < j; ++i)
      for (int p = 0; p < w; ++p)
        A[w * (static_cast<size_t>(n) * j + i) + p] = A[w * (static_cast<size_t>(n) * i + j) + p];
}

typedef int (*SolveFn)(int, int, double*, int, double*, int, int);

void CheckSolve(SolveFn solve, bool isComplex, bool symmetric) {
  const int n = 23, nrhs = 4, w = isComplex ? 2 : 1;
  std::vector<double> A = Random(static_cast<size_t>(w) * n * n);
  if (symmetric) Symmetrise(A, n, w);
  std::vector<double> B = Random(static_cast<size_t>(w) * n * nrhs);
  std::vector<double> A0(A), X(B);
  ASSERT_EQ(solve(n, nrhs, A.data(), n, X.data(), n, 0), 0);
  EXPECT_LT(Residual(A0, X, B, n, nrhs, isComplex), 1e-14);
}

class DispatchKernels : public DispatchFixture {};

}  // namespace

TEST_F(DispatchKernels, RealProductMatchesTripleLoop) { CheckProduct(false, "NT"); }

TEST_F(DispatchKernels, ComplexProductMatchesTripleLoopWithEitherKernel) {
  CheckProduct(true, "NTC");
  BU::SetZgemm3mFlag(true);
  CheckProduct(true, "NTC");
}

TEST_F(DispatchKernels, Zgemm3mFlagSelectsTheKernel) {
  // Each path must give exactly what its kernel gives; where the two kernels round differently, this tells them apart.
  const int n = 40;
  const std::vector<double> A = Random(2 * n * n), B = Random(2 * n * n);
  const double alpha[2] = {0.5, 1.5}, beta[2] = {0, 0};
  const char t = 'N';
  std::vector<double> ref(2 * n * n), ref3m(2 * n * n), C(2 * n * n), D(2 * n * n);
  blac_zgemm(&t, &t, &n, &n, &n, alpha, A.data(), &n, B.data(), &n, beta, ref.data(), &n);
  blac_zgemm3m(&t, &t, &n, &n, &n, alpha, A.data(), &n, B.data(), &n, beta, ref3m.data(), &n);
  for (bool flag : {false, true}) {
    BU::SetZgemm3mFlag(flag);
    BU::ComplexMultiply('N', 'N', n, n, n, alpha, A.data(), n, B.data(), n, beta, C.data(), n, 0, 0);
    BU::Zgemm('N', 'N', n, n, n, alpha, A.data(), n, B.data(), n, beta, D.data(), n);
    EXPECT_EQ(C, flag ? ref3m : ref) << flag;
    EXPECT_EQ(D, flag ? ref3m : ref) << flag;
  }
  if (ref == ref3m) std::printf("zgemm and zgemm3m agree bitwise here: the kernel choice is not observable\n");
}

TEST_F(DispatchKernels, ProductWithNoInnerDimensionScalesC) {
  double C[2] = {2, 3};
  BU::Multiply('N', 'N', 2, 1, 0, 1.0, nullptr, 2, nullptr, 1, -1.5, C, 2, 0, 0);
  EXPECT_EQ(C[0], -3.0);
  EXPECT_EQ(C[1], -4.5);
  BU::Multiply('N', 'N', 0, 3, 2, 1.0, nullptr, 1, nullptr, 2, 0.0, nullptr, 1, 0, 0);  // empty C: nothing
}

TEST_F(DispatchKernels, SolvesByResidual) {
  CheckSolve(BU::Solve, false, true);
  CheckSolve(BU::UnsymmSolve, false, false);
  CheckSolve(BU::ComplexSolve, true, true);
  CheckSolve(BU::ComplexUnsymmSolve, true, false);
}

TEST_F(DispatchKernels, SingularSolvesReportThePivot) {
  // Second column zero: the LU pivot of column 2 is exactly zero, reported as +2 and never asserted.
  double A[9] = {1, 2, 3, 0, 0, 0, 4, 5, 7}, b[3] = {1, 1, 1};
  EXPECT_EQ(BU::UnsymmSolve(3, 1, A, 3, b, 3, 0), 2);
  double S[4] = {0, 0, 0, 0}, c[2] = {1, 1};
  EXPECT_GT(BU::Solve(2, 1, S, 2, c, 2, 0), 0);
}

TEST_F(DispatchKernels, ScaleBuiltInMatchesElementwiseReference) {
  for (int shape = 0; shape < 2; ++shape) {  // n > m and n < m: a has n values for 'L', m for 'R'
    const int n = shape ? 4 : 5, m = shape ? 5 : 4, ldb = 7, ldc = 6;
    const double alpha = 1.5, nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> a = Random(std::max(n, m), 0.5, 2.0);
    a[1] = 1e-40;  // below the inversion floor: becomes 1/1e-36 as a float
    const std::vector<double> B = Random(static_cast<size_t>(ldb) * m);
    for (char side : {'L', 'R'})
      for (char inv : {'N', 'I'})
        for (double beta : {0.0, -0.5}) {
          std::vector<double> C = Random(static_cast<size_t>(ldc) * m);
          if (beta == 0.0) std::fill(C.begin(), C.end(), nan);  // beta 0 must not read C
          const std::vector<double> C0(C);
          BU::Scale(n, m, inv, side, alpha, a.data(), B.data(), ldb, beta, C.data(), ldc, 0, 0);
          for (int j = 0; j < m; ++j)
            for (int i = 0; i < n; ++i) {
              double d = side == 'L' ? a[i] : a[j];
              if (inv == 'I') d = d == 1e-40 ? 9.999999616903162e+35 : 1.0 / d;
              const double c0 = beta == 0.0 ? 0.0 : beta * C0[ldc * j + i];
              EXPECT_NEAR(C[ldc * j + i], alpha * d * B[ldb * j + i] + c0, 1e-15 * std::abs(alpha * d) + 1e-15)
                  << side << inv << beta << " (" << i << "," << j << ")";
            }
          for (int j = 0; j < m; ++j) {  // row n is padding
            const double was = C0[ldc * j + n], now = C[ldc * j + n];
            EXPECT_TRUE(std::isnan(was) ? std::isnan(now) : now == was);
          }
        }
  }
}

TEST_F(DispatchKernels, ScaleInPlaceAndEpsInversion) {
  const int n = 3, m = 2;
  double a[3] = {0.001, -0.001, 4}, X[6] = {1, 1, 1, 2, 2, 2};
  BU::Scale(n, m, 'I', 'L', 1.0, a, X, 3, 0.0, X, 3, 0.01, 0);  // |a| < eps becomes ±1/eps
  const double want[6] = {100, -100, 0.25, 200, -200, 0.5};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(X[k], want[k], 1e-12);
  EXPECT_EQ(a[0], 0.001);  // a itself is left alone
  double r[2] = {0.5, 0.25};
  BU::Scale(n, m, 'I', 'R', 2.0, r, X, 3, 1.0, X, 3, 0.01, 0);  // X = X·(2·diag(2, 4)) + X
  EXPECT_NEAR(X[0], 500, 1e-12);
  EXPECT_NEAR(X[5], 0.5 * 9, 1e-12);
}

TEST_F(DispatchKernels, SymmetricEigenpairs) {
  const int n = 9, lda = 11;
  std::vector<double> A = Random(static_cast<size_t>(lda) * n);
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) A[lda * j + i] = A[lda * i + j];  // full symmetric copy for the reference
  const std::vector<double> A0(A);
  std::vector<double> w(n);
  ASSERT_EQ(BU::Dsyev(n, A.data(), lda, w.data()), 0);
  EXPECT_TRUE(std::is_sorted(w.begin(), w.end()));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int l = 0; l < n; ++l) s += A0[lda * l + i] * A[lda * j + l];
      EXPECT_NEAR(s, w[j] * A[lda * j + i], 1e-13);
    }
  EXPECT_QORMTX_ASSERTION(BU::Dsyev(n, A.data(), n - 1, w.data()), "lda >= n");
  EXPECT_QORMTX_ASSERTION(BU::Dsyev(n, A.data(), lda, nullptr), "eigenvalues");
}

TEST_F(DispatchKernels, HessenbergReductionReassembles) {
  for (bool isComplex : {false, true}) {
    const int n = 8, w = isComplex ? 2 : 1;
    std::vector<double> A = Random(static_cast<size_t>(w) * n * n), tau(static_cast<size_t>(w) * n);
    const std::vector<double> A0(A);
    std::vector<double> Q(static_cast<size_t>(w) * n * n, 0.0);
    for (int i = 0; i < n; ++i) Q[w * (static_cast<size_t>(n) * i + i)] = 1.0;
    if (isComplex) {
      ASSERT_EQ(BU::ComplexHessReduce(n, A.data(), n, tau.data()), 0);
      ASSERT_EQ(BU::ComplexHessTransform('L', 'N', n, n, A.data(), n, tau.data(), Q.data(), n), 0);
    } else {
      ASSERT_EQ(BU::HessReduce(n, A.data(), n, tau.data()), 0);
      ASSERT_EQ(BU::HessTransform('L', 'N', n, n, A.data(), n, tau.data(), Q.data(), n), 0);
    }
    // Q·H·Q^H must give A back, H being the upper Hessenberg part of the reduced A.
    auto H = [&](int i, int j) { return i > j + 1 ? cplx(0) : (isComplex ? Z(A, n * j + i) : cplx(A[n * j + i])); };
    auto q = [&](int i, int j) { return isComplex ? Z(Q, n * j + i) : cplx(Q[n * j + i]); };
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        cplx s = 0;
        for (int k = 0; k < n; ++k)
          for (int l = 0; l < n; ++l) s += q(i, k) * H(k, l) * std::conj(q(j, l));
        EXPECT_LT(std::abs(s - (isComplex ? Z(A0, n * j + i) : cplx(A0[n * j + i]))), 1e-13) << isComplex;
      }
  }
  double t[1];
  EXPECT_QORMTX_ASSERTION(BU::HessTransform('L', 'C', 1, 1, t, 1, t, t, 1), "trans == 'N' || trans == 'T'");
  EXPECT_QORMTX_ASSERTION(BU::ComplexHessTransform('L', 'T', 1, 1, t, 1, t, t, 1), "trans == 'N' || trans == 'C'");
}

TEST_F(DispatchKernels, GeneralEigenpairsSatisfyTheirEquation) {
  const int n = 7;
  // Real matrix (complex pairs included): A·v = λ·v with v = vr(:, j) ± i·vr(:, j + 1) for a pair.
  std::vector<double> A = Random(static_cast<size_t>(n) * n), wr(n), wi(n), vr(n * n);
  const std::vector<double> A0(A);
  ASSERT_EQ(BU::UnsymmEigenSolve('N', 'V', n, A.data(), n, wr.data(), wi.data(), nullptr, 0, vr.data(), n, 0), 0);
  for (int j = 0; j < n; ++j) {
    const bool pair = wi[j] != 0;
    const int j0 = pair && wi[j] < 0 ? j - 1 : j;
    const double sign = wi[j] < 0 ? -1 : 1;
    auto v = [&](int i) { return cplx(vr[n * j0 + i], pair ? sign * vr[n * (j0 + 1) + i] : 0.0); };
    for (int i = 0; i < n; ++i) {
      cplx s = 0;
      for (int l = 0; l < n; ++l) s += A0[n * l + i] * v(l);
      EXPECT_LT(std::abs(s - cplx(wr[j], wi[j]) * v(i)), 1e-12);
    }
  }
  // Complex matrix, left eigenvectors too: u^H·A = λ·u^H.
  std::vector<double> C = Random(2 * static_cast<size_t>(n) * n), w(2 * n), vl(2 * n * n), vc(2 * n * n);
  const std::vector<double> C0(C);
  ASSERT_EQ(BU::ComplexUnsymmEigenSolve('V', 'V', n, C.data(), n, w.data(), vl.data(), n, vc.data(), n, 0), 0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      cplx r = 0, l = 0;
      for (int k = 0; k < n; ++k) {
        r += Z(C0, n * k + i) * Z(vc, n * j + k);
        l += std::conj(Z(vl, n * j + k)) * Z(C0, n * i + k);
      }
      EXPECT_LT(std::abs(r - Z(w, j) * Z(vc, n * j + i)), 1e-12);
      EXPECT_LT(std::abs(l - Z(w, j) * std::conj(Z(vl, n * j + i))), 1e-12);
    }
  EXPECT_QORMTX_ASSERTION(
      BU::UnsymmEigenSolve('N', 'V', n, A.data(), n, wr.data(), wi.data(), nullptr, 0, vr.data(), n - 1, 0),
      "jobvr == 'N' || (vr && ldvr >= n)");
  EXPECT_QORMTX_ASSERTION(BU::ComplexUnsymmEigenSolve('V', 'N', n, C.data(), n, w.data(), nullptr, n, nullptr, 0, 0),
                          "jobvl == 'N' || (vl && ldvl >= n)");
}

TEST_F(DispatchKernels, ComplexTriangularSolveAndScale) {
  const int n = 6, nrhs = 2;
  std::vector<double> T = Random(2 * n * n), X = Random(2 * n * nrhs);
  for (int i = 0; i < n; ++i) T[2 * (n * i + i)] += 4.0;  // well away from singular
  const std::vector<double> B(X);
  ASSERT_EQ(BU::ComplexTriangSolve('U', 'C', 'N', n, nrhs, T.data(), n, X.data(), n), 0);
  // Reference: T^H restricted to the upper triangle of T, times X, must give B.
  std::vector<double> TH(2 * n * n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i)
      TH[2 * (n * i + j)] = T[2 * (n * j + i)], TH[2 * (n * i + j) + 1] = -T[2 * (n * j + i) + 1];
  EXPECT_LT(Residual(TH, X, B, n, nrhs, true), 1e-14);

  const int ldb = n + 1;
  std::vector<double> a = Random(2 * n), Bm = Random(2 * ldb * nrhs), C = Random(2 * n * nrhs);
  const std::vector<double> C0(C);
  double alpha[2] = {0.5, -2}, beta[2] = {1, 1};
  BU::ComplexScale(n, nrhs, 'N', 'L', alpha, a.data(), Bm.data(), ldb, beta, C.data(), n, 0, 0);
  for (int j = 0; j < nrhs; ++j)
    for (int i = 0; i < n; ++i) {
      const cplx want = cplx(0.5, -2) * Z(a, i) * Z(Bm, ldb * j + i) + cplx(1, 1) * Z(C0, n * j + i);
      EXPECT_LT(std::abs(Z(C, n * j + i) - want), 1e-14);
    }
  EXPECT_QORMTX_ASSERTION(BU::ComplexScale(n, 1, 'I', 'L', alpha, a.data(), Bm.data(), n, beta, C.data(), n, 0, 0),
                          "inva == 'N'");
  EXPECT_QORMTX_ASSERTION(BU::ComplexScale(n, 1, 'N', 'R', alpha, a.data(), Bm.data(), n, beta, C.data(), n, 0, 0),
                          "sidea == 'L'");
  EXPECT_QORMTX_ASSERTION(BU::ComplexTriangSolve('U', 'X', 'N', n, 1, T.data(), n, X.data(), n),
                          "trans == 'N' || trans == 'T' || trans == 'C'");
}

TEST_F(DispatchKernels, LevelOneWrappersAndDotProduct) {
  double x[6] = {1, 2, 3, 4, 5, 6}, y[6] = {1, 1, 1, 1, 1, 1};
  BU::Daxpby(3, 2.0, x, 2, -1.0, y, 1);  // y = 2·(1, 3, 5) - 1
  EXPECT_EQ(y[0] + y[1] * 10 + y[2] * 100, 1 + 50 + 900);
  const double v = 7.5;
  BU::Dcopy(4, &v, 0, y, 1);  // a fill by stride 0
  EXPECT_EQ(y[3], 7.5);
  EXPECT_EQ(BU::Ddot(3, x, 1, x + 3, 1), 4 + 10 + 18);
  // zdotc conjugates its first argument; every other value of y is taken (incy 2).
  const double zx[4] = {1, 2, 3, -1}, zy[8] = {2, 1, 9, 9, 0, 1, 9, 9};
  double r[2];
  BU::ComplexDotProduct(2, zx, 1, zy, 2, r);
  const cplx want = std::conj(cplx(1, 2)) * cplx(2, 1) + std::conj(cplx(3, -1)) * cplx(0, 1);
  EXPECT_DOUBLE_EQ(r[0], want.real());
  EXPECT_DOUBLE_EQ(r[1], want.imag());
  EXPECT_QORMTX_ASSERTION(BU::ComplexDotProduct(0, zx, 1, zy, 1, r), "n > 0");
  EXPECT_QORMTX_ASSERTION(BU::Dgemv('C', 1, 1, 1.0, x, 1, x, 1, 0.0, y, 1),
                          "transa == 'N' || transa == 'n' || transa == 'T' || transa == 't'");
}

TEST_F(DispatchKernels, OutOfPlaceCopyAndAdd) {
  const double A[6] = {1, 2, 3, 4, 5, 6};  // 2 × 3 (lda 2)
  double B[6] = {0}, C[6] = {0};
  BU::Domatcopy('t', 2, 3, 2.0, A, 2, B, 3);  // B (3 × 2) = 2·Aᵀ
  EXPECT_EQ(B[1], 2 * A[2]);
  EXPECT_EQ(B[3], 2 * A[1]);
  BU::Domatadd('N', 'T', 2, 3, 1.0, A, 2, -0.5, B, 3, C, 2);  // A - 0.5·(2·Aᵀ)ᵀ = 0
  for (double c : C) EXPECT_EQ(c, 0.0);
  const double zA[4] = {1, 2, 3, 4}, one[2] = {1, 0};
  double zB[4];
  BU::Zomatcopy('R', 2, 1, one, zA, 2, zB, 2);  // conjugate, no transpose
  EXPECT_EQ(zB[1], -2.0);
  EXPECT_EQ(zB[3], -4.0);
  EXPECT_QORMTX_ASSERTION(BU::Domatcopy('C', 1, 1, 1.0, A, 1, B, 1),
                          "trans == 'N' || trans == 'n' || trans == 'T' || trans == 't'");
  EXPECT_QORMTX_ASSERTION(BU::Domatadd('N', 'x', 1, 1, 1.0, A, 1, 1.0, A, 1, B, 1),
                          "transb == 'N' || transb == 'n' || transb == 'T' || transb == 't'");
  EXPECT_QORMTX_ASSERTION(
      BU::Zomatadd('N', 'x', 1, 1, one, zA, 1, one, zA, 1, zB, 1),
      "transb == 'N' || transb == 'n' || transb == 'T' || transb == 't' || transb == 'C' || transb == 'c' || "
      "transb == 'R' || transb == 'r'");
}
