// QORMtxMatrix: factorisations and solves by residual, the generalised eigen-solve, norms and condition estimates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "QORMtxMatrix.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;

double Frobenius(const Dense& x) {
  double s = 0.0;
  for (double v : x.a) s += v * v;
  return std::sqrt(s);
}

// ‖A·X − B‖ / (‖A‖·‖X‖ + ‖B‖), Frobenius norms.
double ScaledResidual(const Dense& a, const Dense& x, const Dense& b) {
  Dense r = naive::Product(a, x);
  for (size_t k = 0; k < r.a.size(); ++k) r.a[k] -= b.a[k];
  return Frobenius(r) / (Frobenius(a) * Frobenius(x) + Frobenius(b));
}

Dense RandomSymmetric(int n, uint32_t seed) {  // indefinite in general
  const Dense r = naive::Random(n, n, seed);
  Dense s(n, n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) s(i, j) = r(i, j) + r(j, i);
  return s;
}

TEST(MatrixFactor, LuSolvePlainAndTransposed) {
  for (int n : {1, 7, 60}) {
    SCOPED_TRACE(::testing::Message() << "n " << n);
    const Dense a = naive::Random(n, n, 100 + n), b = naive::Random(n, 3, 200 + n);
    M f = naive::ToMatrix(a);
    std::vector<int> ipiv(n);
    f.Factorize(ipiv.data());
    M x = naive::ToMatrix(b);
    f.ForwardBackwardPass(ipiv.data(), x, false);
    EXPECT_LT(ScaledResidual(a, naive::FromMatrix(x), b), 1e-14);
    M xt = naive::ToMatrix(b);
    f.ForwardBackwardPass(ipiv.data(), xt, true);
    EXPECT_LT(ScaledResidual(naive::Transpose(a), naive::FromMatrix(xt), b), 1e-14);
  }
}

TEST(MatrixFactor, SymmetricIndefiniteSolveReadsTheLowerTriangle) {
  const int n = 40;
  const Dense s = RandomSymmetric(n, 3);
  const Dense b = naive::Random(n, 2, 4);
  M f = naive::ToMatrix(s, M::SYMM);
  for (int j = 1; j < n; ++j)  // garbage above the diagonal: the kernels must never look there
    for (int i = 0; i < j; ++i) f.value(i, j) = 1e30;
  std::vector<int> ipiv(n);
  f.Factorize(ipiv.data());
  M x = naive::ToMatrix(b);
  f.ForwardBackwardPass(ipiv.data(), x, false);
  EXPECT_LT(ScaledResidual(s, naive::FromMatrix(x), b), 1e-13);
}

TEST(MatrixFactor, DiagonalFactorIsTheReciprocal) {
  M d = naive::Diagonal({2, -4, 0.5});
  int ipiv[3];
  d.Factorize(ipiv);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({0.5, -0.25, 2}), 0.0));
  const Dense b = naive::Random(3, 2, 5);
  M x = naive::ToMatrix(b);
  d.ForwardBackwardPass(ipiv, x, false);
  EXPECT_LT(ScaledResidual(naive::DiagonalDense({2, -4, 0.5}), naive::FromMatrix(x), b), 1e-15);
}

TEST(MatrixFactor, ZeroPivotIsNotFatal) {
  Dense a(3, 3, 1.0);  // rank one
  M f = naive::ToMatrix(a);
  int ipiv[3];
  f.Factorize(ipiv);  // the kernel's positive status is left to the caller's tests
  EXPECT_EQ(f.value(2, 2), 0.0);
}

// ‖A·v − λ·B·v‖ for every pair, ascending eigenvalues, and B-orthonormal vectors.
void CheckEigenpairs(const Dense& a, const Dense& b, const M& lambda, const M& x) {
  const int n = a.rows;
  const Dense v = naive::FromMatrix(x);
  const Dense av = naive::Product(a, v), bv = naive::Product(b, v);
  const double scale = naive::MaxAbs(a) + naive::MaxAbs(b);
  for (int k = 0; k < n; ++k) {
    const double l = lambda.Values()[k];
    if (k > 0) {
      EXPECT_LE(lambda.Values()[k - 1], l);
    }
    double r = 0.0;
    for (int i = 0; i < n; ++i) r = std::max(r, std::fabs(av(i, k) - l * bv(i, k)));
    EXPECT_LT(r, 1e-12 * n * scale * (1.0 + std::fabs(l))) << "pair " << k;
  }
  const Dense vtbv = naive::Product(naive::Transpose(v), bv);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) EXPECT_NEAR(vtbv(i, j), i == j ? 1.0 : 0.0, 1e-12 * n);
}

TEST(MatrixFactor, GeneralisedSymmetricEigenSolve) {
  for (int n : {1, 3, 30}) {
    SCOPED_TRACE(::testing::Message() << "n " << n);
    const Dense a = RandomSymmetric(n, 6), b = naive::SymmetricPositive(n, 7);
    const M am = naive::ToMatrix(a, M::SYMM);
    M lambda(n, 1), x(n, n);
    EXPECT_EQ(am.SolveEigenproblemSymmetric(naive::ToMatrix(b), lambda, x), 0);
    CheckEigenpairs(a, b, lambda, x);
    EXPECT_TRUE(naive::Near(am, a, 0.0));  // the operands are left alone
  }
}

TEST(MatrixFactor, EigenSolveWithDiagonalOperands) {
  const std::vector<double> bd = {2, 1, 4};
  const Dense a = RandomSymmetric(3, 8);
  M lambda(3, 3, M::DIAG), x(3, 3);  // a DIAG Lambda receives the eigenvalues in its array
  EXPECT_EQ(naive::ToMatrix(a).SolveEigenproblemSymmetric(naive::Diagonal(bd), lambda, x), 0);
  CheckEigenpairs(a, naive::DiagonalDense(bd), lambda, x);

  M l2(3, 1), x2(3, 3);
  EXPECT_EQ(naive::Diagonal({3, -1, 2}).SolveEigenproblemSymmetric(naive::Diagonal(bd), l2, x2), 0);
  EXPECT_NEAR(l2.Values()[0], -1.0, 1e-15);  // λ = a_i / b_i = 1.5, -1, 0.5, ascending
  EXPECT_NEAR(l2.Values()[1], 0.5, 1e-15);
  EXPECT_NEAR(l2.Values()[2], 1.5, 1e-15);
}

TEST(MatrixFactor, EigenSolveReportsAnIndefiniteB) {
  M lambda(2, 1), x(2, 2);
  Dense b = naive::DiagonalDense({1, -1});
  EXPECT_EQ(naive::ToMatrix(naive::DiagonalDense({1, 2})).SolveEigenproblemSymmetric(naive::ToMatrix(b), lambda, x), 3);
}

TEST(MatrixFactor, NormsReadTheArrayRowMajor) {
  const Dense a = naive::Random(4, 4, 9);
  const M m = naive::ToMatrix(a);
  double maxAbs = 0.0, rowSum = 0.0, colSum = 0.0;
  for (int i = 0; i < 4; ++i) {
    double r = 0.0, c = 0.0;
    for (int j = 0; j < 4; ++j) {
      r += std::fabs(a(i, j));
      c += std::fabs(a(j, i));
      maxAbs = std::max(maxAbs, std::fabs(a(i, j)));
    }
    rowSum = std::max(rowSum, r);
    colSum = std::max(colSum, c);
  }
  EXPECT_DOUBLE_EQ(m.Norm('M'), maxAbs);
  EXPECT_NEAR(m.Norm('F'), Frobenius(a), 1e-15);
  EXPECT_NEAR(m.Norm('1'), rowSum, 1e-15);  // the one-norm of the transposed reading
  EXPECT_NEAR(m.Norm('O'), rowSum, 1e-15);
  EXPECT_NEAR(m.Norm('I'), colSum, 1e-15);

  const Dense r = naive::Random(3, 5, 10);
  EXPECT_NEAR(naive::ToMatrix(r).Norm('F'), Frobenius(r), 1e-15);
  EXPECT_DOUBLE_EQ(naive::ToMatrix(r).Norm('M'), naive::MaxAbs(r));
  EXPECT_DOUBLE_EQ(naive::Diagonal({1, -3}).Norm('1'), 3.0);
  EXPECT_EQ(M().Norm('F'), 0.0);
}

TEST(MatrixFactor, ConditionEstimates) {
  bool ok = false;
  double rcond = -1.0;
  naive::ToMatrix(naive::DiagonalDense({1, 1, 1})).Properties(ok, rcond);
  EXPECT_TRUE(ok);
  EXPECT_DOUBLE_EQ(rcond, 1.0);

  naive::ToMatrix(naive::DiagonalDense({1, 1e-3})).Properties(ok, rcond);
  EXPECT_TRUE(ok);
  EXPECT_NEAR(rcond, 1e-3, 1e-15);

  Dense a(2, 2);  // [[2, 1], [1, 3]]: inverse [[3, -1], [-1, 2]] / 5, norms 4 and 0.8
  a(0, 0) = 2;
  a(0, 1) = a(1, 0) = 1;
  a(1, 1) = 3;
  naive::ToMatrix(a).Properties(ok, rcond);
  EXPECT_TRUE(ok);
  EXPECT_NEAR(rcond, 1.0 / (4.0 * 0.8), 1e-14);

  naive::Diagonal({2, 0.5}).Properties(ok, rcond);  // DIAG is read expanded
  EXPECT_NEAR(rcond, 0.25, 1e-15);

  Dense s(2, 2);  // [[1, 2], [2, 4]]: singular
  s(0, 0) = 1;
  s(0, 1) = s(1, 0) = 2;
  s(1, 1) = 4;
  naive::ToMatrix(s).Properties(ok, rcond);
  EXPECT_FALSE(ok);
  EXPECT_EQ(rcond, 0.0);
}

}  // namespace
