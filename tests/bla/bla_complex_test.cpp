// QORMtxBLA complex and split complex products, complex solves and the complex eigen solve, against naive loops.
#include <gtest/gtest.h>

#include <complex>
#include <random>
#include <tuple>
#include <vector>

#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxReImMatrix.h"
#include "bla_test_util.h"
#include "qormtx_death.h"

namespace {

using B = QORMtxBLA;
using CM = QORMtxComplexMatrix;
using cplx = std::complex<double>;
using bla_test::kNaN;

// Column-major complex reference.
struct ZDense {
  int rows = 0, cols = 0;
  std::vector<cplx> a;
  ZDense(int r, int c) : rows(r), cols(c), a(static_cast<size_t>(r) * c) {}
  cplx& operator()(int i, int j) { return a[static_cast<size_t>(j) * rows + i]; }
  cplx operator()(int i, int j) const { return a[static_cast<size_t>(j) * rows + i]; }
};

ZDense ZRandom(int r, int c, unsigned seed, bool diagonal = false) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  ZDense z(r, c);
  for (int j = 0; j < c; ++j)
    for (int i = 0; i < r; ++i) z(i, j) = diagonal && i != j ? cplx() : cplx(d(gen), d(gen));
  return z;
}

ZDense Op(const ZDense& x, B::Operation op) {
  if (op == B::NOOP) return x;
  ZDense t(x.cols, x.rows);
  for (int j = 0; j < x.cols; ++j)
    for (int i = 0; i < x.rows; ++i) t(j, i) = op == B::CONJTRANS ? std::conj(x(i, j)) : x(i, j);
  return t;
}

ZDense Product(const ZDense& x, const ZDense& y) {
  ZDense p(x.rows, y.cols);
  for (int j = 0; j < y.cols; ++j)
    for (int k = 0; k < x.cols; ++k)
      for (int i = 0; i < x.rows; ++i) p(i, j) += x(i, k) * y(k, j);
  return p;
}

CM ToComplex(const ZDense& z, CM::MtxType type = CM::UNKNOWN) {
  CM m(z.rows, z.cols, type);
  for (int j = 0; j < z.cols; ++j)
    for (int i = 0; i < z.rows; ++i) {
      if (type == CM::DIAG && i != j) continue;
      m.Values(i, j)[0] = z(i, j).real();
      m.Values(i, j)[1] = z(i, j).imag();
    }
  return m;
}

// Largest |m(i, j) − z(i, j)| relative to max |z| (a DIAG m reads 0 off its diagonal).
double Diff(const CM& m, const ZDense& z) {
  double d = 0.0, s = 1e-300;
  for (int j = 0; j < z.cols; ++j)
    for (int i = 0; i < z.rows; ++i) {
      const cplx v = m.IsDiagonal() && i != j ? cplx() : cplx(m.Values(i, j)[0], m.Values(i, j)[1]);
      d = std::max(d, std::abs(v - z(i, j)));
      s = std::max(s, std::abs(z(i, j)));
    }
  return d / s;
}

enum Kinds { FULL_FULL, DIAG_FULL, FULL_DIAG, DIAG_DIAG };

class MultiplyComplex
    : public ::testing::TestWithParam<std::tuple<B::Operation, B::Operation, Kinds, std::tuple<cplx, cplx>>> {};

TEST_P(MultiplyComplex, MatchesTripleLoopWithConjugation) {
  const auto [opA, opB, kinds, scalars] = GetParam();
  const auto [alpha, beta] = scalars;
  const bool diagA = kinds == DIAG_FULL || kinds == DIAG_DIAG, diagB = kinds == FULL_DIAG || kinds == DIAG_DIAG;
  struct Shape {
    int m, k, n;
  };
  unsigned seed = 1;
  for (Shape s : {Shape{3, 4, 2}, Shape{1, 5, 1}, Shape{5, 1, 4}}) {
    if (diagA) s.m = s.k;
    if (diagB) s.n = s.k;
    // Stored operands; their op() is the reference factor.
    const ZDense a = ZRandom(opA == B::NOOP ? s.m : s.k, opA == B::NOOP ? s.k : s.m, ++seed, diagA);
    const ZDense b = ZRandom(opB == B::NOOP ? s.k : s.n, opB == B::NOOP ? s.n : s.k, ++seed, diagB);
    const bool diagC = kinds == DIAG_DIAG;
    const ZDense c0 = ZRandom(s.m, s.n, ++seed, diagC);
    CM C = ToComplex(c0, diagC ? CM::DIAG : CM::UNKNOWN);
    if (beta == 0.0) C.Assign(kNaN, kNaN);
    ZDense expected = Product(Op(a, opA), Op(b, opB));
    for (size_t e = 0; e < expected.a.size(); ++e) expected.a[e] = alpha * expected.a[e] + beta * c0.a[e];
    const QORMtxComplex al(alpha.real(), alpha.imag()), be(beta.real(), beta.imag());
    B::Multiply(al, ToComplex(a, diagA ? CM::DIAG : CM::UNKNOWN), opA, ToComplex(b, diagB ? CM::DIAG : CM::UNKNOWN),
                opB, be, C, B::UNKNOWN, 0);
    EXPECT_LT(Diff(C, expected), 1e-14) << s.m << "x" << s.k << "x" << s.n;
  }
}

INSTANTIATE_TEST_SUITE_P(AllPaths, MultiplyComplex,
                         ::testing::Combine(::testing::Values(B::NOOP, B::TRANS, B::CONJTRANS),
                                            ::testing::Values(B::NOOP, B::TRANS, B::CONJTRANS),
                                            ::testing::Values(FULL_FULL, DIAG_FULL, FULL_DIAG, DIAG_DIAG),
                                            ::testing::Values(std::make_tuple(cplx(1.5, -0.5), cplx(0.0)),
                                                              std::make_tuple(cplx(0.0, 1.0), cplx(0.25, 2.0)),
                                                              std::make_tuple(cplx(1.0), cplx(1.0)))));

// ---- Split complex: three real products ----

QORMtxReImMatrix ToSplit(const ZDense& z, bool imaginaryPart = true) {
  QORMtxMatrix re(z.rows, z.cols), im(z.rows, z.cols);
  for (int j = 0; j < z.cols; ++j)
    for (int i = 0; i < z.rows; ++i) {
      re.FastGet(i, j) = z(i, j).real();
      im.FastGet(i, j) = z(i, j).imag();
    }
  return imaginaryPart ? QORMtxReImMatrix(re, im) : QORMtxReImMatrix(re, QORMtxMatrix());
}

double Diff(const QORMtxReImMatrix& m, const ZDense& z) { return Diff(CM(m), z); }

TEST(MultiplySplitComplex, GaussProductMatchesReference) {
  struct Case {
    int m, k, n;
    cplx alpha, beta;
    bool realA;
  };
  for (const Case& c : {Case{3, 4, 2, {1.5, -0.5}, {0.0, 0.0}, false}, Case{4, 4, 4, {0.0, 2.0}, {-1.0, 0.5}, false},
                        Case{1, 5, 1, {1.0, 0.0}, {1.0, 0.0}, true}, Case{2, 3, 2, {0.0, 0.0}, {0.5, 0.5}, false}}) {
    ZDense a = ZRandom(c.m, c.k, 3), b = ZRandom(c.k, c.n, 4), c0 = ZRandom(c.m, c.n, 5);
    if (c.realA)
      for (cplx& v : a.a) v = v.real();
    QORMtxReImMatrix C = ToSplit(c0);
    if (c.beta == 0.0) {  // beta = 0: C's values play no part
      C.Re().Assign(kNaN);
      C.Im().Assign(kNaN);
    }
    ZDense expected = Product(a, b);
    for (size_t e = 0; e < expected.a.size(); ++e)
      expected.a[e] = c.alpha * expected.a[e] + (c.beta == 0.0 ? cplx() : c.beta * c0.a[e]);
    B::Multiply(QORMtxComplex(c.alpha.real(), c.alpha.imag()), ToSplit(a, !c.realA), B::NOOP, ToSplit(b), B::NOOP,
                QORMtxComplex(c.beta.real(), c.beta.imag()), C, B::UNKNOWN, 0);
    EXPECT_LT(Diff(C, expected), 1e-14) << c.m << "x" << c.k << "x" << c.n;
  }
}

// ---- Complex solves and the unsymmetric eigen solve ----

class SolveComplex : public bla_test::DispatchGuard,
                     public ::testing::WithParamInterface<std::tuple<CM::MtxType, bool>> {};

TEST_P(SolveComplex, ResidualIsSmall) {
  const auto [type, inPlace] = GetParam();
  const int n = 6, nrhs = 2;
  ZDense a = ZRandom(n, n, 9, type == CM::DIAG);
  for (int i = 0; i < n; ++i) a(i, i) += 3.0;
  if (type == CM::SYMM)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < j; ++i) a(i, j) = a(j, i);
  const ZDense b = ZRandom(n, nrhs, 10);
  CM A = ToComplex(a, type), Bm = ToComplex(b), X;
  ASSERT_EQ(inPlace ? B::Solve(A, Bm, Bm, 0) : B::Solve(A, Bm, X, 0), 0);
  const CM& x = inPlace ? Bm : X;
  ZDense xr(n, nrhs);
  for (int j = 0; j < nrhs; ++j)
    for (int i = 0; i < n; ++i) xr(i, j) = cplx(x.Values(i, j)[0], x.Values(i, j)[1]);
  EXPECT_LT(Diff(ToComplex(Product(a, xr)), b), 1e-14);
  EXPECT_TRUE(type != CM::DIAG || Diff(A, a) == 0.0) << "the diagonal path leaves A alone";
}

INSTANTIATE_TEST_SUITE_P(Types, SolveComplex,
                         ::testing::Combine(::testing::Values(CM::SYMM, CM::UNKNOWN, CM::DIAG), ::testing::Bool()));

TEST(EigenSolveComplex, LeftAndRightEigenvectors) {
  const int n = 5;
  const ZDense a = ZRandom(n, n, 11);
  CM A = ToComplex(a), E, XL, XR;
  ASSERT_EQ(B::EigenSolve(A, E, XL, XR, 0), 0);
  ASSERT_TRUE(E.IsDiagonal());
  ASSERT_EQ(E.NumberOfRows(), n);
  for (int p = 0; p < n; ++p) {
    const cplx lambda(E.Values(p, p)[0], E.Values(p, p)[1]);
    double right = 0.0, left = 0.0;
    for (int i = 0; i < n; ++i) {
      cplx ar = 0.0, la = 0.0;  // (A·xr)_i and (xlᴴ·A)_i
      for (int k = 0; k < n; ++k) {
        ar += a(i, k) * cplx(XR.Values(k, p)[0], XR.Values(k, p)[1]);
        la += std::conj(cplx(XL.Values(k, p)[0], XL.Values(k, p)[1])) * a(k, i);
      }
      right = std::max(right, std::abs(ar - lambda * cplx(XR.Values(i, p)[0], XR.Values(i, p)[1])));
      left = std::max(left, std::abs(la - lambda * std::conj(cplx(XL.Values(i, p)[0], XL.Values(i, p)[1]))));
    }
    EXPECT_LT(right, 1e-13) << p;
    EXPECT_LT(left, 1e-13) << p;
  }
}

TEST(BlaComplexDeath, Preconditions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const QORMtxComplex one(1.0, 0.0);
  CM full(2, 2), d(2, 2, CM::DIAG), empty, X;
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, empty, B::NOOP, full, B::NOOP, one, full, B::UNKNOWN, 0),
                          "!!A & !!B && !!C");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, d, B::NOOP, d, B::NOOP, one, full, B::UNKNOWN, 0), "0");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, d, B::NOOP, full, B::NOOP, one, d, B::UNKNOWN, 0), "!C.IsDiagonal()");
  QORMtxReImMatrix s(2, 2), sd(2, 2, QORMtxReImMatrix::DIAG);
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, s, B::TRANS, s, B::NOOP, one, s, B::UNKNOWN, 0),
                          "operA == NOOP && operB == NOOP");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, sd, B::NOOP, s, B::NOOP, one, s, B::UNKNOWN, 0),
                          "A.Type() != QORMtxReImMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, s, B::NOOP, s, B::NOOP, one, s, B::HERM, 0),
                          "typeC != HERM && typeC != DIAG");
  CM herm(2, 2, CM::HERM);
  EXPECT_QORMTX_ASSERTION(B::Solve(herm, full, X, 0),
                          "A.Type() == QORMtxComplexMatrix::UNKNOWN || A.Type() == QORMtxComplexMatrix::SYMM || "
                          "A.Type() == QORMtxComplexMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::EigenSolve(d, X, X, X, 0), "!!A && A.IsSquare() && !A.IsDiagonal()");
}

}  // namespace
