// QORMtxBLA sums and real, complex and split complex products against naive loops; the symmetry flag of a hook.
#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <tuple>

#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxReImMatrix.h"
#include "bla_test_util.h"
#include "naive_dense.h"
#include "qormtx_death.h"

namespace {

using namespace bla_test;
using CM = QORMtxComplexMatrix;
using cplx = std::complex<double>;

// ---- Real and complex products: every operation pair, full or DIAG operands, shapes, a table of factors ----

enum Kinds { FF, DF, FD, DD };  // full or DIAG operands A, B
struct Shape {
  int m, k, n;
};
// Row and column vectors, a rank-one product, inner dimension 1; a DIAG operand makes its side square.
const Shape kShapes[] = {{4, 3, 5}, {1, 6, 1}, {6, 1, 6}, {1, 1, 7}, {7, 2, 1}};

Shape Fit(Shape s, Kinds kinds) {
  if (kinds == DF || kinds == DD) s.m = s.k;
  if (kinds == FD || kinds == DD) s.n = s.k;
  return s;
}

// (alpha, beta): general; alpha 0 (C only scaled); beta 0 (C never read); both 1; both 0 (real products: real parts).
const cplx kFactors[][2] = {{{-2.5, 0.5}, {0.75, -1}}, {0, {0.75, 2}}, {{1.5, -0.5}, 0}, {1, 1}, {0, 0}};

// Column-major r × c values of w doubles each (1 real, 2 interleaved complex); zeros off a diagonal one's diagonal.
std::vector<double> Values(int w, int r, int c, uint32_t seed, bool diagonal = false) {
  std::vector<double> z = naive::RandomValues(w * static_cast<size_t>(r) * c, seed);
  for (int j = 0; j < c; ++j)
    for (int i = 0; i < r && diagonal; ++i)
      for (int p = 0; p < w && i != j; ++p) z[w * (i + static_cast<size_t>(r) * j) + p] = 0.0;
  return z;
}

// A real matrix holding the values, or for DIAG one of their diagonal.
M Real(int r, int c, const std::vector<double>& z, bool diagonal) {
  Dense d(r, c);
  d.a = z;
  return Make(d, diagonal ? M::DIAG : M::UNKNOWN);
}

// A view of the complex values, or for DIAG an owned matrix of their diagonal.
CM Complex(int r, int c, std::vector<double>& z, bool diagonal) {
  if (!diagonal) return CM(r, c, z.data());
  CM d(r, r, CM::DIAG);
  for (int i = 0; i < r; ++i) d.Values(i, i)[0] = z[2 * i * (r + 1)], d.Values(i, i)[1] = z[2 * i * (r + 1) + 1];
  return d;
}

// All entries of C as an interleaved column-major array (zeros off a DIAG diagonal).
std::vector<double> Full(const CM& C) {
  const int r = C.NumberOfRows(), c = C.NumberOfColumns();
  std::vector<double> f(2 * static_cast<size_t>(r) * c, 0.0);
  for (int j = 0; j < c; ++j)
    for (int i = 0; i < r; ++i)
      if (!C.IsDiagonal() || i == j) f[2 * (i + r * j)] = C.Values(i, j)[0], f[2 * (i + r * j) + 1] = C.Values(i, j)[1];
  return f;
}

class Multiply : public ::testing::TestWithParam<std::tuple<bool, B::Operation, B::Operation, Kinds, int>> {};

TEST_P(Multiply, MatchesTripleLoop) {
  const auto [isComplex, opA, opB, kinds, factors] = GetParam();
  const cplx alpha = isComplex ? kFactors[factors][0] : kFactors[factors][0].real();
  const cplx beta = isComplex ? kFactors[factors][1] : kFactors[factors][1].real();
  const bool diagA = kinds == DF || kinds == DD, diagB = kinds == FD || kinds == DD;
  const int w = isComplex ? 2 : 1;
  const char letter[] = {'N', 'T', 'C'};
  uint32_t seed = 1;
  for (Shape s : kShapes) {
    s = Fit(s, kinds);
    const int ra = opA == B::NOOP ? s.m : s.k, ca = opA == B::NOOP ? s.k : s.m;  // stored shapes
    const int rb = opB == B::NOOP ? s.k : s.n, cb = opB == B::NOOP ? s.n : s.k;
    std::vector<double> a = Values(w, ra, ca, ++seed, diagA), b = Values(w, rb, cb, ++seed, diagB);
    for (bool diagC : {false, true}) {  // two DIAG operands write a DIAG C, a real one a full C as well
      if (diagC ? kinds != DD : kinds == DD && isComplex) continue;
      std::vector<double> expected = Values(w, s.m, s.n, ++seed, diagC), c = expected, got;
      if (beta == 0.0) std::fill(c.begin(), c.end(), kNaN);  // beta = 0 must not read C
      if (isComplex) {
        CM C = Complex(s.m, s.n, c, diagC);
        B::Multiply(QORMtxComplex(alpha.real(), alpha.imag()), Complex(ra, ca, a, diagA), opA,
                    Complex(rb, cb, b, diagB), opB, QORMtxComplex(beta.real(), beta.imag()), C, B::UNKNOWN, 0);
        got = Full(C);
        qormtx_test::NaiveZgemm(letter[opA], letter[opB], s.m, s.n, s.k, alpha, a.data(), ra, b.data(), rb, beta,
                                expected.data(), s.m);
      } else {
        M C = Real(s.m, s.n, c, diagC);
        B::Multiply(alpha.real(), Real(ra, ca, a, diagA), opA, Real(rb, cb, b, diagB), opB, beta.real(), C, B::UNKNOWN,
                    0);
        got = naive::FromMatrix(C).a;
        qormtx_test::NaiveGemm(letter[opA], letter[opB], s.m, s.n, s.k, alpha.real(), a.data(), ra, b.data(), rb,
                               beta.real(), expected.data(), s.m);
      }
      EXPECT_LT(qormtx_test::MaxRelDiff(got, expected), 1e-13) << s.m << "x" << s.k << "x" << s.n << " " << diagC;
      EXPECT_TRUE(std::none_of(got.begin(), got.end(), [](double v) { return std::isnan(v); }));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Real, Multiply,
                         ::testing::Combine(::testing::Values(false), ::testing::Values(B::NOOP, B::TRANS),
                                            ::testing::Values(B::NOOP, B::TRANS), ::testing::Values(FF, DF, FD, DD),
                                            ::testing::Range(0, 5)));
INSTANTIATE_TEST_SUITE_P(Complex, Multiply,
                         ::testing::Combine(::testing::Values(true), ::testing::Values(B::NOOP, B::TRANS, B::CONJTRANS),
                                            ::testing::Values(B::NOOP, B::TRANS, B::CONJTRANS),
                                            ::testing::Values(FF, DF, FD, DD), ::testing::Range(0, 5)));

// What the product hook was handed: letters, sizes, factors, leading dimensions, symmetry flag and threads.
int g_calls = 0;
std::string g_args;
const double *g_a, *g_b, *g_c;
void RecordingMultiply(char ta, char tb, int m, int n, int k, double alpha, const double* A, int lda, const double* Bv,
                       int ldb, double beta, double* C, int ldc, int resultKind, int, int numThreads) {
  ++g_calls, g_a = A, g_b = Bv, g_c = C;
  g_args = std::string{ta, tb} + " " + std::to_string(m) + "x" + std::to_string(n) + "x" + std::to_string(k) + " " +
           std::to_string(alpha) + " " + std::to_string(beta) + " ld " + std::to_string(lda) + "," +
           std::to_string(ldb) + "," + std::to_string(ldc) + " flag " + std::to_string(resultKind) + " threads " +
           std::to_string(numThreads);
}

TEST_F(DispatchGuard, ResultTypeBecomesTheHooksSymmetryFlag) {
  QORMtxBlaUtilities::SetMultiply(&RecordingMultiply);
  const M X(5, 3);
  const std::pair<B::ResultType, int> cases[] = {
      {B::UNKNOWN, 0}, {B::SYMM, 1}, {B::SKEW, -1}, {B::DIAG, 0}, {B::HERM, 0}};
  for (const auto& [type, flag] : cases) {
    M C(5, 5);
    B::Multiply(2.0, X, B::NOOP, X, B::CONJTRANS, -0.5, C, type, 3);  // CONJTRANS of a real operand: 'T'
    EXPECT_EQ(g_args, "NT 5x5x3 2.000000 -0.500000 ld 5,5,5 flag " + std::to_string(flag) + " threads 3");
    EXPECT_TRUE(g_a == X.Values() && g_b == X.Values() && g_c == C.Values());
  }
  M C(5, 3);  // a diagonal operand never reaches the kernel
  B::Multiply(1.0, naive::Diagonal({1, 2, 3, 4, 5}), B::NOOP, X, B::NOOP, 0.0, C, B::UNKNOWN, 0);
  EXPECT_EQ(g_calls, 5);
}

// ---- Sums: operands absent, DIAG, SYMM or general, factors zero or not, both forms ----

enum Kind { ABSENT, DIAG_, SYMM_, GENERAL };
M::MtxType TypeOf(Kind k) { return k == DIAG_ ? M::DIAG : k == SYMM_ ? M::SYMM : M::UNKNOWN; }

// The documented rule, written out: DIAG+DIAG DIAG; DIAG/SYMM with SYMM SYMM; else UNKNOWN; one side alone: its type.
M::MtxType SumType(Kind a, Kind b) {
  if (a == ABSENT || b == ABSENT) return a == ABSENT ? TypeOf(b) : TypeOf(a);
  if (a == DIAG_ && b == DIAG_) return M::DIAG;
  return (a == DIAG_ || a == SYMM_) && (b == DIAG_ || b == SYMM_) ? M::SYMM : M::UNKNOWN;
}

class AddReal : public ::testing::TestWithParam<std::tuple<Kind, Kind, double, double, bool>> {};

TEST_P(AddReal, MatchesReferenceAndTypeRule) {
  const auto [ka, kb, a, b, integerForm] = GetParam();
  const bool useA = ka != ABSENT && a != 0.0, useB = kb != ABSENT && b != 0.0;
  // The integer form types by presence, the other by contribution.
  const M::MtxType want = integerForm ? SumType(ka, kb) : SumType(useA ? ka : ABSENT, useB ? kb : ABSENT);
  for (int n : {1, 5}) {  // one row: a diagonal's stride n + 1 into a full C already steps past the array
    const Dense da = RandomSymmetric(n, 31), db = RandomSymmetric(n, 32);
    const M A = ka == ABSENT ? M() : Make(da, TypeOf(ka)), Bm = kb == ABSENT ? M() : Make(db, TypeOf(kb));
    EXPECT_EQ(B::MatrixType(A, Bm), SumType(ka, kb));
    for (bool reuse : {false, true}) {  // a NaN-filled C of the result's shape is reused, another one replaced
      M C(n, reuse ? n : n + 1, reuse ? want : M::UNKNOWN);
      B::Assign(kNaN, C, 0);
      integerForm ? B::Add(a, A, static_cast<int>(b), Bm, C) : B::Add(a, A, b, Bm, C, 0);
      if (!useA && !useB) {
        EXPECT_TRUE(C.IsNull());
        continue;
      }
      const Dense ra = ka == DIAG_ ? DiagonalPart(da) : da, rb = kb == DIAG_ ? DiagonalPart(db) : db;
      EXPECT_TRUE(naive::Near(C, naive::Lin(useA ? a : 0.0, ra, useB ? b : 0.0, rb), 1e-14))
          << "n " << n << " reuse " << reuse;
      EXPECT_EQ(C.Type(), want);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, AddReal,
                         ::testing::Combine(::testing::Values(ABSENT, DIAG_, SYMM_, GENERAL),
                                            ::testing::Values(ABSENT, DIAG_, SYMM_, GENERAL),
                                            ::testing::Values(0.0, 1.5), ::testing::Values(0.0, -2.0),
                                            ::testing::Bool()));

TEST(BlaSums, InPlaceThreeFactorsScaleAndAssign) {
  const Dense a = naive::Random(3, 4, 1), b = naive::Random(3, 4, 2), c = naive::Random(3, 4, 3);
  M C = naive::ToMatrix(c), D = naive::Diagonal({1, 2, 3}), empty;
  B::Add(2.0, naive::ToMatrix(a), -1.0, naive::ToMatrix(b), 0.5, C);
  B::Scale(-2.0, C, 0);
  EXPECT_TRUE(naive::Near(C, naive::Lin(-4.0, a, 2.0, naive::Lin(1.0, b, -0.5, c)), 1e-14));
  B::Add(1.0, naive::Diagonal({1, 1, 1}), 2.0, naive::Diagonal({0, 1, 2}), -1.0, D);
  EXPECT_TRUE(naive::Near(D, naive::DiagonalDense({0, 1, 2})));
  B::Assign(4.0, D, 0);  // a DIAG matrix stores n values
  EXPECT_TRUE(naive::Near(D, naive::DiagonalDense({4, 4, 4})));
  B::Assign(1.0, empty, 0);  // absent: nothing happens
  B::Scale(2.0, empty, 0);
  EXPECT_TRUE(empty.IsNull());
}

// ---- The split complex Gauss product ----

TEST(MultiplySplitComplex, GaussProductMatchesReference) {
  struct Case {
    int m, k, n;
    cplx alpha, beta;
    bool realA;
  };
  for (const Case& t : {Case{3, 4, 2, {1.5, -0.5}, {0.0, 0.0}, false}, Case{4, 4, 4, {0.0, 2.0}, {-1.0, 0.5}, false},
                        Case{1, 5, 1, {1.0, 0.0}, {1.0, 0.0}, true}, Case{2, 3, 2, {0.0, 0.0}, {0.5, 0.5}, false}}) {
    std::vector<double> a = Values(2, t.m, t.k, 3), b = Values(2, t.k, t.n, 4), expected = Values(2, t.m, t.n, 5);
    for (size_t k = 1; k < a.size() && t.realA; k += 2) a[k] = 0.0;
    QORMtxReImMatrix A(CM(t.m, t.k, a.data())), Bs(CM(t.k, t.n, b.data())), C(CM(t.m, t.n, expected.data()));
    if (t.realA) A.Im().Reset();  // a real matrix held as a split one: no imaginary part at all
    if (t.beta == 0.0) B::Assign(kNaN, C.Re(), 0), B::Assign(kNaN, C.Im(), 0);  // C's values play no part
    B::Multiply(QORMtxComplex(t.alpha.real(), t.alpha.imag()), A, B::NOOP, Bs, B::NOOP,
                QORMtxComplex(t.beta.real(), t.beta.imag()), C, B::UNKNOWN, 0);
    qormtx_test::NaiveZgemm('N', 'N', t.m, t.n, t.k, t.alpha, a.data(), t.m, b.data(), t.k, t.beta, expected.data(),
                            t.m);
    EXPECT_LT(qormtx_test::MaxRelDiff(Full(CM(C)), expected), 1e-14) << t.m << "x" << t.k << "x" << t.n;
  }
}

// ---- Fatal preconditions ----

TEST(BlaProductsDeath, Preconditions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const M a(3, 4), b(4, 2), d = naive::Diagonal({1, 2, 3});
  M c(3, 2), c3(3, 3), cd = naive::Diagonal({0, 0, 0}), sq(3, 3), other(4, 4), empty;
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, empty, B::NOOP, b, B::NOOP, 0, c, B::UNKNOWN, 0), "!!A && !!B && !!C");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, d, B::NOOP, a, B::NOOP, 0, cd, B::UNKNOWN, 0),
                          "A.IsDiagonal() && B.IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, a, B::TRANS, b, B::NOOP, 0, c, B::UNKNOWN, 0), "nRowsB == nColsA");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, b, B::TRANS, b, B::NOOP, 0, c, B::UNKNOWN, 0), "nRowsA == numRowsC");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, a, B::NOOP, b, B::NOOP, 0, c3, B::UNKNOWN, 0), "nColsB == numColsC");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1, other, sq), "&C != &A && &C != &B");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1, other, c), "!B || B.IsSquare() && B.NumberOfRows() == n");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, a, 1, sq, c), "!A || A.IsSquare() && A.NumberOfRows() == n");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1.0, other, c, 0), "!B || !!B && B.IsSquare() && B.NumberOfRows() == n");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, empty, 1.0, sq, 1.0, sq), "!!A");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, d, 1.0, sq, 1.0, sq),
                          "A.IsDiagonal() && B.IsDiagonal() && C.IsDiagonal() || "
                          "!A.IsDiagonal() && !B.IsDiagonal() && !C.IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1.0, other, 1.0, sq),
                          "numRowsA == numRowsB && numRowsB == numRowsC && numColsA == numColsB && "
                          "numColsB == numColsC");
  const QORMtxComplex one(1.0, 0.0);
  CM full(2, 2), zd(2, 2, CM::DIAG), none;
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, none, B::NOOP, full, B::NOOP, one, full, B::UNKNOWN, 0), "!!A & !!B && !!C");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, zd, B::NOOP, zd, B::NOOP, one, full, B::UNKNOWN, 0), "0");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, zd, B::NOOP, full, B::NOOP, one, zd, B::UNKNOWN, 0), "!C.IsDiagonal()");
  QORMtxReImMatrix s(2, 2), sd(2, 2, QORMtxReImMatrix::DIAG);
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, s, B::TRANS, s, B::NOOP, one, s, B::UNKNOWN, 0),
                          "operA == NOOP && operB == NOOP");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, sd, B::NOOP, s, B::NOOP, one, s, B::UNKNOWN, 0),
                          "A.Type() != QORMtxReImMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::Multiply(one, s, B::NOOP, s, B::NOOP, one, s, B::HERM, 0),
                          "typeC != HERM && typeC != DIAG");
}

}  // namespace
