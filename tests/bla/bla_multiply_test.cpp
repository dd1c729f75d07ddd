// QORMtxBLA sums, fills and in-core real products against naive loops; the symmetry flag through a test hook.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "bla_test_util.h"
#include "qormtx_death.h"

namespace {

using bla_test::Dense;
using bla_test::kNaN;
using bla_test::M;
using B = QORMtxBLA;

// ---- Products: every operation pair × operand kinds × alpha/beta, over several shapes ----

enum Kinds { FULL_FULL, DIAG_FULL, FULL_DIAG, DIAG_DIAG };

struct Scalars {
  double alpha, beta;
};

class MultiplyReal : public ::testing::TestWithParam<std::tuple<B::Operation, B::Operation, Kinds, Scalars>> {};

// op(X) of a reference; a diagonal is its own transpose.
Dense Op(const Dense& x, B::Operation op) { return op == B::NOOP ? x : naive::Transpose(x); }

TEST_P(MultiplyReal, MatchesTripleLoop) {
  const auto [opA, opB, kinds, s] = GetParam();
  const bool diagA = kinds == DIAG_FULL || kinds == DIAG_DIAG, diagB = kinds == FULL_DIAG || kinds == DIAG_DIAG;
  struct Shape {
    int m, k, n;
  };
  // Full operands: row and column vectors, a rank-one product, inner dimension 1. A diagonal operand is square.
  std::vector<Shape> shapes = {{4, 3, 5}, {1, 6, 1}, {6, 1, 6}, {1, 1, 7}, {7, 2, 1}, {1, 5, 4}};
  uint32_t seed = 10;
  for (Shape sh : shapes) {
    if (diagA) sh.m = sh.k;
    if (diagB) sh.n = sh.k;
    const Dense opa = naive::Random(sh.m, sh.k, ++seed), opb = naive::Random(sh.k, sh.n, ++seed);
    // op(A) and op(B) as references (zeros off a diagonal operand); the stored operands are their op back.
    Dense refA = opa, refB = opb;
    if (diagA)
      for (int j = 0; j < sh.k; ++j)
        for (int i = 0; i < sh.k; ++i)
          if (i != j) refA(i, j) = 0.0;
    if (diagB)
      for (int j = 0; j < sh.k; ++j)
        for (int i = 0; i < sh.k; ++i)
          if (i != j) refB(i, j) = 0.0;
    const M A = bla_test::Make(Op(refA, opA), diagA ? M::DIAG : M::UNKNOWN);
    const M Bm = bla_test::Make(Op(refB, opB), diagB ? M::DIAG : M::UNKNOWN);

    // Two DIAG operands write a DIAG C or a full one; otherwise C is full.
    for (bool diagC : {false, true}) {
      if (diagC && kinds != DIAG_DIAG) continue;
      const Dense c0 = naive::Random(sh.m, sh.n, ++seed);
      Dense c0ref = c0;
      if (diagC)
        for (int j = 0; j < sh.n; ++j)
          for (int i = 0; i < sh.m; ++i)
            if (i != j) c0ref(i, j) = 0.0;
      M C = bla_test::Make(c0ref, diagC ? M::DIAG : M::UNKNOWN);
      if (s.beta == 0.0) B::Assign(kNaN, C, 0);  // beta = 0 must not read C

      Dense expected = naive::Product(refA, refB);
      for (size_t e = 0; e < expected.a.size(); ++e)
        expected.a[e] = s.alpha * expected.a[e] + (s.beta == 0.0 ? 0.0 : s.beta * c0ref.a[e]);
      B::Multiply(s.alpha, A, opA, Bm, opB, s.beta, C, B::UNKNOWN, 0);
      EXPECT_TRUE(naive::Near(C, expected, 1e-13))
          << sh.m << "x" << sh.k << "x" << sh.n << (diagC ? " into DIAG C" : " into full C");
      EXPECT_EQ(C.IsDiagonal(), diagC);
    }
  }
}

std::string ScalarName(double v) { return v == 0.0 ? "0" : v == 1.0 ? "1" : v < 0 ? "neg" : "frac"; }

std::string ProductName(const ::testing::TestParamInfo<MultiplyReal::ParamType>& info) {
  const char* kinds[] = {"FF", "DF", "FD", "DD"};
  const Scalars s = std::get<3>(info.param);
  return std::string(std::get<0>(info.param) == B::NOOP ? "N" : "T") +
         (std::get<1>(info.param) == B::NOOP ? "N" : "T") + "_" + kinds[std::get<2>(info.param)] + "_a" +
         ScalarName(s.alpha) + "_b" + ScalarName(s.beta);
}

INSTANTIATE_TEST_SUITE_P(AllPaths, MultiplyReal,
                         ::testing::Combine(::testing::Values(B::NOOP, B::TRANS), ::testing::Values(B::NOOP, B::TRANS),
                                            ::testing::Values(FULL_FULL, DIAG_FULL, FULL_DIAG, DIAG_DIAG),
                                            ::testing::Values(Scalars{1.0, 0.0}, Scalars{-2.5, 0.0}, Scalars{0.0, 0.0},
                                                              Scalars{1.0, 1.0}, Scalars{-2.5, 0.75},
                                                              Scalars{0.0, 0.75})),
                         ProductName);

// ---- The symmetry flag reaches an installed product hook ----

struct HookCall {
  int calls = 0, resultKind = -99, threads = -99;
  char ta = 0, tb = 0;
};
HookCall g_hook;

void RecordingMultiply(char ta, char tb, int m, int n, int k, double alpha, const double* A, int lda, const double* Bv,
                       int ldb, double beta, double* C, int ldc, int resultKind, int, int numThreads) {
  g_hook.calls++;
  g_hook.resultKind = resultKind;
  g_hook.threads = numThreads;
  g_hook.ta = ta;
  g_hook.tb = tb;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      double sum = 0.0;
      for (int l = 0; l < k; ++l)
        sum += (ta == 'N' ? A[i + l * lda] : A[l + i * lda]) * (tb == 'N' ? Bv[l + j * ldb] : Bv[j + l * ldb]);
      C[i + j * ldc] = alpha * sum + (beta == 0.0 ? 0.0 : beta * C[i + j * ldc]);
    }
}

class MultiplyHook : public bla_test::DispatchGuard {};

TEST_F(MultiplyHook, ResultTypeBecomesSymmetryFlag) {
  QORMtxBlaUtilities::SetMultiply(&RecordingMultiply);
  const Dense x = naive::Random(5, 3, 7);
  const M X = naive::ToMatrix(x);
  const struct {
    B::ResultType type;
    int flag;
  } cases[] = {{B::UNKNOWN, 0}, {B::SYMM, 1}, {B::SKEW, -1}, {B::DIAG, 0}, {B::HERM, 0}};
  for (const auto& c : cases) {
    g_hook = HookCall();
    M C(5, 5);
    B::Multiply(2.0, X, B::NOOP, X, B::CONJTRANS, 0.0, C, c.type, 3);
    EXPECT_EQ(g_hook.calls, 1);
    EXPECT_EQ(g_hook.resultKind, c.flag) << "result type " << c.type;
    EXPECT_EQ(g_hook.threads, 3);
    EXPECT_EQ(g_hook.ta, 'N');
    EXPECT_EQ(g_hook.tb, 'T');  // CONJTRANS of a real operand is a transposition too
    Dense expected = naive::Product(x, naive::Transpose(x));
    for (double& v : expected.a) v *= 2.0;
    EXPECT_TRUE(naive::Near(C, expected));
  }
  // Diagonal operands never reach the kernel.
  g_hook = HookCall();
  M C(5, 3);
  B::Multiply(1.0, naive::Diagonal({1, 2, 3, 4, 5}), B::NOOP, X, B::NOOP, 0.0, C, B::UNKNOWN, 0);
  EXPECT_EQ(g_hook.calls, 0);
}

// ---- Sums ----

enum Present { ABSENT, DIAGONAL, SYMMETRIC, GENERAL };

M Operand(Present p, const Dense& d) {
  switch (p) {
    case ABSENT:
      return M();
    case DIAGONAL:
      return bla_test::Make(d, M::DIAG);
    case SYMMETRIC:
      return naive::ToMatrix(d, M::SYMM);
    default:
      return naive::ToMatrix(d, M::UNKNOWN);
  }
}

M::MtxType TypeOf(Present p) {
  return p == DIAGONAL ? M::DIAG : p == SYMMETRIC ? M::SYMM : p == GENERAL ? M::UNKNOWN : M::UNKNOWN;
}

// Reference of a present operand as it is read: a DIAG one has zeros off its diagonal.
Dense Read(Present p, const Dense& d) {
  if (p == ABSENT) return Dense(d.rows, d.cols, 0.0);
  Dense r = d;
  if (p == DIAGONAL)
    for (int j = 0; j < d.cols; ++j)
      for (int i = 0; i < d.rows; ++i)
        if (i != j) r(i, j) = 0.0;
  return r;
}

class AddReal : public ::testing::TestWithParam<std::tuple<Present, Present, double, double, bool>> {};

TEST_P(AddReal, BothFormsMatchReferenceAndType) {
  const auto [pa, pb, a, b, integerForm] = GetParam();
  const int n = 5;
  const Dense da = bla_test::RandomSymmetric(n, 31), db = bla_test::RandomSymmetric(n, 32);
  const M A = Operand(pa, da), Bm = Operand(pb, db);
  const bool useA = pa != ABSENT && a != 0.0, useB = pb != ABSENT && b != 0.0;

  // C starts as a NaN-filled matrix of a shape that must be replaced, or of the result's own shape.
  for (bool preshaped : {false, true}) {
    M C;
    if (preshaped && (useA || useB)) {
      M::MtxType t = integerForm ? B::MatrixType(A, Bm) : !useA ? Bm.Type() : !useB ? A.Type() : B::MatrixType(A, Bm);
      C.Reset(n, n, t);
    } else {
      C.Reset(n, n + 1, M::UNKNOWN);
    }
    B::Assign(kNaN, C, 0);
    if (integerForm)
      B::Add(a, A, static_cast<int>(b), Bm, C);
    else
      B::Add(a, A, b, Bm, C, 0);

    if (!useA && !useB) {
      EXPECT_TRUE(C.IsNull());
      EXPECT_EQ(C.NumberOfRows(), 0);
      continue;
    }
    Dense expected(n, n);
    const Dense ra = Read(pa, da), rb = Read(pb, db);
    for (size_t e = 0; e < expected.a.size(); ++e)
      expected.a[e] = (useA ? a * ra.a[e] : 0.0) + (useB ? b * rb.a[e] : 0.0);
    EXPECT_TRUE(naive::Near(C, expected, 1e-14)) << (preshaped ? "reused C" : "reshaped C");
    // The integer form types by presence, the other by contribution.
    const M::MtxType want = integerForm ? B::MatrixType(A, Bm)
                            : !useA     ? TypeOf(pb)
                            : !useB     ? TypeOf(pa)
                                        : B::MatrixType(A, Bm);
    EXPECT_EQ(C.Type(), want);
  }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, AddReal,
                         ::testing::Combine(::testing::Values(ABSENT, DIAGONAL, SYMMETRIC, GENERAL),
                                            ::testing::Values(ABSENT, DIAGONAL, SYMMETRIC, GENERAL),
                                            ::testing::Values(0.0, 1.5), ::testing::Values(0.0, -2.0),
                                            ::testing::Bool()));

TEST(BlaSums, MatrixTypeRule) {
  const M d = naive::Diagonal({1, 2}), s(2, 2, M::SYMM), u(2, 2, M::UNKNOWN), k(2, 2, M::SKEW), none;
  EXPECT_EQ(B::MatrixType(none, none), M::UNKNOWN);
  EXPECT_EQ(B::MatrixType(d, none), M::DIAG);
  EXPECT_EQ(B::MatrixType(none, k), M::SKEW);
  EXPECT_EQ(B::MatrixType(d, d), M::DIAG);
  EXPECT_EQ(B::MatrixType(d, s), M::SYMM);
  EXPECT_EQ(B::MatrixType(s, d), M::SYMM);
  EXPECT_EQ(B::MatrixType(s, s), M::SYMM);
  EXPECT_EQ(B::MatrixType(d, u), M::UNKNOWN);
  EXPECT_EQ(B::MatrixType(s, k), M::UNKNOWN);
}

TEST(BlaSums, InPlaceThreeFactorsAndFills) {
  const Dense a = naive::Random(3, 4, 1), b = naive::Random(3, 4, 2), c = naive::Random(3, 4, 3);
  M C = naive::ToMatrix(c);
  B::Add(2.0, naive::ToMatrix(a), -1.0, naive::ToMatrix(b), 0.5, C);
  Dense expected(3, 4);
  for (size_t e = 0; e < expected.a.size(); ++e) expected.a[e] = 2.0 * a.a[e] - b.a[e] + 0.5 * c.a[e];
  EXPECT_TRUE(naive::Near(C, expected, 1e-14));

  M D = naive::Diagonal({1, 2, 3});  // all three diagonal: n values
  B::Add(1.0, naive::Diagonal({1, 1, 1}), 2.0, naive::Diagonal({0, 1, 2}), -1.0, D);
  EXPECT_TRUE(naive::Near(D, naive::DiagonalDense({0, 1, 2})));

  B::Assign(4.0, D, 0);
  EXPECT_TRUE(naive::Near(D, naive::DiagonalDense({4, 4, 4})));  // off-diagonal stays implicit
  B::Scale(-0.5, C, 0);
  for (double& v : expected.a) v *= -0.5;
  EXPECT_TRUE(naive::Near(C, expected, 1e-14));
  M empty;
  B::Assign(1.0, empty, 0);  // absent: nothing happens
  B::Scale(2.0, empty, 0);
  EXPECT_TRUE(empty.IsNull());
}

// ---- Fatal preconditions ----

TEST(BlaDeath, ProductsAndSums) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const M a(3, 4), b(4, 2), d = naive::Diagonal({1, 2, 3});
  M c(3, 2), cd = naive::Diagonal({0, 0, 0}), empty;
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, empty, B::NOOP, b, B::NOOP, 0, c, B::UNKNOWN, 0), "!!A && !!B && !!C");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, d, B::NOOP, a, B::NOOP, 0, cd, B::UNKNOWN, 0),
                          "A.IsDiagonal() && B.IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, a, B::TRANS, b, B::NOOP, 0, c, B::UNKNOWN, 0), "nRowsB == nColsA");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, b, B::TRANS, b, B::NOOP, 0, c, B::UNKNOWN, 0), "nRowsA == numRowsC");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, a, B::NOOP, b, B::TRANS, 0, c, B::UNKNOWN, 0), "nRowsB == nColsA");
  M c3(3, 3);
  EXPECT_QORMTX_ASSERTION(B::Multiply(1, a, B::NOOP, b, B::NOOP, 0, c3, B::UNKNOWN, 0), "nColsB == numColsC");

  M sq(3, 3), other(4, 4);
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1, other, sq), "&C != &A && &C != &B");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1, other, c), "!B || B.IsSquare() && B.NumberOfRows() == n");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, a, 1, sq, c), "!A || A.IsSquare() && A.NumberOfRows() == n");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1.0, other, c, 0), "!B || !!B && B.IsSquare() && B.NumberOfRows() == n");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, d, 1.0, sq, 1.0, sq),
                          "A.IsDiagonal() && B.IsDiagonal() && C.IsDiagonal() || !A.IsDiagonal() && "
                          "!B.IsDiagonal() && !C.IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, empty, 1.0, sq, 1.0, sq), "!!A");
  EXPECT_QORMTX_ASSERTION(B::Add(1.0, sq, 1.0, other, 1.0, sq),
                          "numRowsA == numRowsB && numRowsB == numRowsC && numColsA == numColsB && "
                          "numColsB == numColsC");
}

}  // namespace
