// The dispatch table's built-in kernel paths and thin wrappers against naive references and residuals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "QORMtxBlaUtilities.h"
#include "blac.h"
#include "dispatch_test_util.h"
#include "qormtx_death.h"

using namespace dispatch_test;
typedef QORMtxBlaUtilities BU;
typedef std::vector<double> Vec;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

namespace {

// C = alpha·op(A)·op(B) + beta·C through the dispatcher against the triple loop, for every option pair; C's padding
// rows (beyond m in each column) must come back as they were. k = 0 leaves beta·C, whatever lda and ldb say; beta = 0
// must not read C (NaN there).
void CheckProduct(bool isComplex, const char* options, int k, bool zeroBeta) {
  const int m = 13, n = 7, pad = 3, w = isComplex ? 2 : 1, ldc = m + pad;
  const double alpha[2] = {1.25, isComplex ? -0.5 : 0.0};
  const double beta[2] = {zeroBeta ? 0.0 : -0.75, isComplex && !zeroBeta ? 0.25 : 0.0};
  for (const char* ta = options; *ta; ++ta)
    for (const char* tb = options; *tb; ++tb) {
      const int lda = (*ta != 'N' ? k : m) + pad, ldb = (*tb != 'N' ? n : k) + pad;
      const Vec A = Random(w * lda * (*ta != 'N' ? m : k)), B = Random(w * ldb * (*tb != 'N' ? k : n));
      Vec C = Random(w * ldc * n);
      for (int j = 0; j < n && zeroBeta; ++j) std::fill_n(C.begin() + w * ldc * j, w * m, kNaN);
      Vec want = C;
      if (isComplex) {
        BU::ComplexMultiply(*ta, *tb, m, n, k, alpha, A.data(), lda, B.data(), ldb, beta, C.data(), ldc, 0, 0);
        qormtx_test::NaiveZgemm(*ta, *tb, m, n, k, cplx(alpha[0], alpha[1]), A.data(), lda, B.data(), ldb,
                                cplx(beta[0], beta[1]), want.data(), ldc);
      } else {
        BU::Multiply(*ta, *tb, m, n, k, alpha[0], A.data(), lda, B.data(), ldb, beta[0], C.data(), ldc, 1, 4);
        qormtx_test::NaiveGemm(*ta, *tb, m, n, k, alpha[0], A.data(), lda, B.data(), ldb, beta[0], want.data(), ldc);
      }
      EXPECT_LT(qormtx_test::MaxRelDiff(C, want), 1e-13) << *ta << *tb << " k " << k << " beta 0 " << zeroBeta;
      EXPECT_TRUE(std::none_of(C.begin(), C.end(), [](double v) { return std::isnan(v); }));
    }
}

class DispatchKernels : public DispatchFixture {};

TEST_F(DispatchKernels, ProductsRouteToTheChosenComplexKernel) {
  // The kernels' own tests cover every transpose letter; here the dispatcher's edges: k = 0, beta = 0, padding.
  for (int k : {9, 0})
    for (bool zeroBeta : {false, true}) {
      CheckProduct(false, "T", k, zeroBeta);
      CheckProduct(true, "C", k, zeroBeta);
    }
  BU::Multiply('N', 'N', 0, 3, 2, 1.0, nullptr, 1, nullptr, 2, 0.0, nullptr, 1, 0, 0);  // empty C: nothing

  // Each path must give exactly what its kernel gives; where the two kernels round differently, this tells them apart.
  const int n = 40;
  const Vec A = Random(2 * n * n), B = Random(2 * n * n);
  const double alpha[2] = {0.5, 1.5}, beta[2] = {0, 0};
  const char t = 'N';
  Vec ref(2 * n * n), ref3m(2 * n * n), P(2 * n * n), Q(2 * n * n);
  blac_zgemm(&t, &t, &n, &n, &n, alpha, A.data(), &n, B.data(), &n, beta, ref.data(), &n);
  blac_zgemm3m(&t, &t, &n, &n, &n, alpha, A.data(), &n, B.data(), &n, beta, ref3m.data(), &n);
  for (bool flag : {false, true}) {
    BU::SetZgemm3mFlag(flag);
    BU::ComplexMultiply('N', 'N', n, n, n, alpha, A.data(), n, B.data(), n, beta, P.data(), n, 0, 0);
    BU::Zgemm('N', 'N', n, n, n, alpha, A.data(), n, B.data(), n, beta, Q.data(), n);
    EXPECT_TRUE(P == (flag ? ref3m : ref) && Q == P) << flag;
  }
}

TEST_F(DispatchKernels, SolvesByResidualAndSingularPivots) {
  typedef int (*SolveFn)(int, int, double*, int, double*, int, int);
  const struct {
    SolveFn solve;
    bool isComplex, symmetric;
  } cases[] = {{BU::Solve, false, true},
               {BU::UnsymmSolve, false, false},
               {BU::ComplexSolve, true, true},
               {BU::ComplexUnsymmSolve, true, false}};
  for (const auto& c : cases) {
    const int n = 23, nrhs = 4, w = c.isComplex ? 2 : 1;
    Vec A = Random(w * n * n), X = Random(w * n * nrhs);
    for (int j = 0; c.symmetric && j < n; ++j)
      for (int i = 0; i < j; ++i)
        for (int p = 0; p < w; ++p) A[w * (n * j + i) + p] = A[w * (n * i + j) + p];
    const Vec A0(A), B(X);
    for (int j = 0; c.symmetric && j < n; ++j)  // the symmetric kernels are handed the lower triangle only
      for (int i = 0; i < w * j; ++i) A[w * n * j + i] = kNaN;
    ASSERT_EQ(c.solve(n, nrhs, A.data(), n, X.data(), n, 0), 0);
    // A backward-error bound: the residual against n·max|A|·max|X| (B is within [-1, 1]).
    const auto maxAbs = [](const Vec& v) {
      double r = 0.0;
      for (double x : v) r = std::max(r, std::abs(x));
      return r;
    };
    const double scale = n * maxAbs(A0) * maxAbs(X);
    const Elem a = Mat(A0, n, c.isComplex), x = Mat(X, n, c.isComplex), b = Mat(B, n, c.isComplex);
    EXPECT_LT(ProductError(a, x, b, n, nrhs, n), 1e-14 * scale) << c.isComplex << c.symmetric;
  }
  // Second column zero: the LU pivot of column 2 is exactly zero, reported as +2 and never asserted.
  double A[9] = {1, 2, 3, 0, 0, 0, 4, 5, 7}, b[3] = {1, 1, 1}, S[4] = {0, 0, 0, 0}, c[2] = {1, 1};
  EXPECT_EQ(BU::UnsymmSolve(3, 1, A, 3, b, 3, 0), 2);
  EXPECT_GT(BU::Solve(2, 1, S, 2, c, 2, 0), 0);
}

TEST_F(DispatchKernels, ScaleBuiltInAgainstElementwiseReference) {
  for (int shape = 0; shape < 2; ++shape) {  // n > m and n < m: a has n values for 'L', m for 'R'
    const int n = shape ? 4 : 5, m = shape ? 5 : 4, ldb = 7, ldc = 6;
    Vec a = Random(std::max(n, m), 0.5, 2.0);
    a[1] = 1e-40;  // below the inversion floor: becomes 1/1e-36 as a float
    const Vec B = Random(ldb * m);
    for (char side : {'L', 'R'})
      for (char inv : {'N', 'I'})
        for (double beta : {0.0, -0.5}) {
          Vec C = beta == 0.0 ? Vec(ldc * m, kNaN) : Random(ldc * m);
          const Vec C0(C);  // with beta 0, C must not be read
          BU::Scale(n, m, inv, side, 1.5, a.data(), B.data(), ldb, beta, C.data(), ldc, 0, 0);
          for (int j = 0; j < m; ++j) {
            for (int i = 0; i < n; ++i) {
              const double d = side == 'L' ? a[i] : a[j];
              const double s = inv == 'N' ? d : d == 1e-40 ? 9.999999616903162e+35 : 1 / d;
              const double want = 1.5 * s * B[ldb * j + i] + (beta == 0.0 ? 0.0 : beta * C0[ldc * j + i]);
              ASSERT_NEAR(C[ldc * j + i], want, 1e-15 * std::abs(1.5 * s) + 1e-15) << side << inv << beta << i << j;
            }
            ASSERT_TRUE(std::isnan(C0[ldc * j + n]) ? std::isnan(C[ldc * j + n]) : C[ldc * j + n] == C0[ldc * j + n]);
          }
        }
  }
  double a[3] = {0.001, -0.001, 4}, X[6] = {1, 1, 1, 2, 2, 2}, r[2] = {0.5, 0.25};
  BU::Scale(3, 2, 'I', 'L', 1.0, a, X, 3, 0.0, X, 3, 0.01, 0);  // in place; |a| < eps becomes ±1/eps
  EXPECT_EQ(Vec(X, X + 6), (Vec{100, -100, 0.25, 200, -200, 0.5}));
  EXPECT_EQ(a[0], 0.001);                                       // a itself is left alone
  BU::Scale(3, 2, 'I', 'R', 2.0, r, X, 3, 1.0, X, 3, 0.01, 0);  // X = X·(2·diag(2, 4)) + X
  EXPECT_TRUE(X[0] == 500 && X[5] == 4.5);
}

TEST_F(DispatchKernels, EigenpairsAndHessenbergReductionsByResidual) {
  const int n = 9, lda = 11;
  Vec A = Random(lda * n), w(n);
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) A[lda * j + i] = A[lda * i + j];  // full symmetric copy for the reference
  const Vec A0(A);
  ASSERT_EQ(BU::Dsyev(n, A.data(), lda, w.data()), 0);
  EXPECT_TRUE(std::is_sorted(w.begin(), w.end()));
  const Elem V = Mat(A, lda, false), lambdaV = [&](int i, int j) { return w[j] * V(i, j); };
  EXPECT_LT(ProductError(Mat(A0, lda, false), V, lambdaV, n, n, n), 1e-13);

  for (bool isComplex : {false, true}) {  // Q·H·Qᴴ must give A back, H the upper Hessenberg part of the reduced A
    const int m = 8, k = isComplex ? 2 : 1;
    Vec H = Random(k * m * m), tau(k * m), Q(k * m * m, 0.0);
    const Vec H0(H);
    for (int i = 0; i < m; ++i) Q[k * (m * i + i)] = 1.0;
    if (isComplex) {
      ASSERT_EQ(BU::ComplexHessReduce(m, H.data(), m, tau.data()), 0);
      ASSERT_EQ(BU::ComplexHessTransform('L', 'N', m, m, H.data(), m, tau.data(), Q.data(), m), 0);
    } else {
      ASSERT_EQ(BU::HessReduce(m, H.data(), m, tau.data()), 0);
      ASSERT_EQ(BU::HessTransform('L', 'N', m, m, H.data(), m, tau.data(), Q.data(), m), 0);
    }
    const Elem q = Mat(Q, m, isComplex), h = Mat(H, m, isComplex), hqh = [&](int i, int j) {
      cplx s = 0;
      for (int l = std::max(i - 1, 0); l < m; ++l) s += h(i, l) * std::conj(q(j, l));
      return s;
    };
    EXPECT_LT(ProductError(q, hqh, Mat(H0, m, isComplex), m, m, m), 1e-13) << isComplex;
  }

  // Real matrix (complex pairs included): A·v = λ·v with v = vr(:, j) ± i·vr(:, j + 1) for a pair.
  const int p = 7;
  Vec R = Random(p * p), wr(p), wi(p), vr(p * p), C = Random(2 * p * p), wc(2 * p), vl(2 * p * p), vc(2 * p * p);
  const Vec R0(R), C0(C);
  ASSERT_EQ(BU::UnsymmEigenSolve('N', 'V', p, R.data(), p, wr.data(), wi.data(), nullptr, 0, vr.data(), p, 0), 0);
  ASSERT_EQ(BU::ComplexUnsymmEigenSolve('V', 'V', p, C.data(), p, wc.data(), vl.data(), p, vc.data(), p, 0), 0);
  const Elem v = [&](int i, int j) {
    const int j0 = wi[j] < 0 ? j - 1 : j;
    return cplx(vr[p * j0 + i], wi[j] == 0 ? 0.0 : (wi[j] < 0 ? -1 : 1) * vr[p * (j0 + 1) + i]);
  };
  const Elem lv = [&](int i, int j) { return cplx(wr[j], wi[j]) * v(i, j); };
  // Complex matrix, left eigenvectors too: uᴴ·A = λ·uᴴ.
  const Elem vcm = Mat(vc, p, true), uh = Mat(vl, p, true, 'C');
  const Elem lvc = [&](int i, int j) { return Z(wc, j) * vcm(i, j); },
             luh = [&](int i, int j) { return Z(wc, i) * uh(i, j); };
  EXPECT_LT(ProductError(Mat(R0, p, false), v, lv, p, p, p), 1e-12);
  EXPECT_LT(ProductError(Mat(C0, p, true), vcm, lvc, p, p, p), 1e-12);
  EXPECT_LT(ProductError(uh, Mat(C0, p, true), luh, p, p, p), 1e-12);
}

TEST_F(DispatchKernels, ComplexTriangularSolveScaleAndThinWrappers) {
  const int n = 6, nrhs = 2, ldb = n + 1;
  Vec T = Random(2 * n * n), X = Random(2 * n * nrhs);
  for (int i = 0; i < n; ++i) T[2 * (n * i + i)] += 4.0;  // well away from singular
  const Vec B(X);
  ASSERT_EQ(BU::ComplexTriangSolve('U', 'C', 'N', n, nrhs, T.data(), n, X.data(), n), 0);
  const Elem th = [&](int i, int j) { return i >= j ? std::conj(Z(T, n * i + j)) : cplx(0); };  // Tᴴ of T's upper part
  EXPECT_LT(ProductError(th, Mat(X, n, true), Mat(B, n, true), n, nrhs, n), 1e-14);

  Vec a = Random(2 * n), Bm = Random(2 * ldb * nrhs), C = Random(2 * n * nrhs);
  const Vec C0(C);
  double alpha[2] = {0.5, -2}, beta[2] = {1, 1};
  BU::ComplexScale(n, nrhs, 'N', 'L', alpha, a.data(), Bm.data(), ldb, beta, C.data(), n, 0, 0);
  for (int j = 0; j < nrhs; ++j)
    for (int i = 0; i < n; ++i)
      EXPECT_LT(
          std::abs(Z(C, n * j + i) - cplx(0.5, -2) * Z(a, i) * Z(Bm, ldb * j + i) - cplx(1, 1) * Z(C0, n * j + i)),
          1e-14);

  double x[6] = {1, 2, 3, 4, 5, 6}, y[6] = {1, 1, 1, 1, 1, 1}, r[2];
  BU::Daxpby(3, 2.0, x, 2, -1.0, y, 1);  // y = 2·(1, 3, 5) - 1
  EXPECT_TRUE(y[0] == 1 && y[1] == 5 && y[2] == 9);
  BU::Dcopy(4, x + 5, 0, y, 1);  // a fill by stride 0
  EXPECT_EQ(y[3], 6.0);
  EXPECT_EQ(BU::Ddot(3, x, 1, x + 3, 1), 4 + 10 + 18);
  const double zx[4] = {1, 2, 3, -1}, zy[8] = {2, 1, 9, 9, 0, 1, 9, 9};  // every other value of zy (incy 2)
  BU::ComplexDotProduct(2, zx, 1, zy, 2, r);
  EXPECT_EQ(cplx(r[0], r[1]), std::conj(cplx(1, 2)) * cplx(2, 1) + std::conj(cplx(3, -1)) * cplx(0, 1));
  const double M[6] = {1, 2, 3, 4, 5, 6}, zA[4] = {1, 2, 3, 4}, one[2] = {1, 0};  // M is 2 × 3
  double Mt[6] = {0}, S[6] = {0}, zB[4];
  BU::Domatcopy('t', 2, 3, 2.0, M, 2, Mt, 3);                  // Mt (3 × 2) = 2·Mᵀ
  BU::Domatadd('N', 'T', 2, 3, 1.0, M, 2, -0.5, Mt, 3, S, 2);  // M - 0.5·(2·Mᵀ)ᵀ = 0
  BU::Zomatcopy('R', 2, 1, one, zA, 2, zB, 2);                 // conjugate, no transpose
  EXPECT_TRUE(Mt[1] == 2 * M[2] && Mt[3] == 2 * M[1]);
  EXPECT_EQ(Vec(S, S + 6), Vec(6, 0.0));
  EXPECT_TRUE(zB[0] == 1 && zB[1] == -2 && zB[3] == -4);
}

TEST_F(DispatchKernels, OptionPreconditions) {
  double t[4] = {0}, w[4];
  EXPECT_QORMTX_ASSERTION(BU::Dsyev(2, t, 1, w), "lda >= n");
  EXPECT_QORMTX_ASSERTION(BU::HessTransform('L', 'C', 1, 1, t, 1, t, t, 1), "trans == 'N' || trans == 'T'");
  EXPECT_QORMTX_ASSERTION(BU::UnsymmEigenSolve('N', 'V', 2, t, 2, w, w, nullptr, 0, t, 1, 0),
                          "jobvr == 'N' || (vr && ldvr >= n)");
  EXPECT_QORMTX_ASSERTION(BU::ComplexScale(1, 1, 'I', 'L', t, t, t, 1, t, w, 1, 0, 0), "inva == 'N'");
  EXPECT_QORMTX_ASSERTION(BU::ComplexTriangSolve('U', 'X', 'N', 1, 1, t, 1, w, 1),
                          "trans == 'N' || trans == 'T' || trans == 'C'");
  EXPECT_QORMTX_ASSERTION(BU::Dgemv('C', 1, 1, 1.0, t, 1, t, 1, 0.0, w, 1),
                          "transa == 'N' || transa == 'n' || transa == 'T' || transa == 't'");
  EXPECT_QORMTX_ASSERTION(
      BU::Zomatadd('N', 'x', 1, 1, t, t, 1, t, t, 1, w, 1),
      "transb == 'N' || transb == 'n' || transb == 'T' || transb == 't' || transb == 'C' || transb == 'c' || "
      "transb == 'R' || transb == 'r'");
}

}  // namespace
