// The dispatch table's settings and its routing to installed hooks: arguments, block size, thread counts.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "QORMtxBlaUtilities.h"
#include "dispatch_test_util.h"
#include "qormtx_death.h"

using dispatch_test::DispatchFixture;
typedef QORMtxBlaUtilities BU;

namespace {

// What the last hook call received; every hook bumps its own counter.
struct Seen {
  int calls = 0;
  char c1 = 0, c2 = 0;
  int m = 0, n = 0, k = 0, lda = 0, ldb = 0, ldc = 0, kind = 0, blk = 0, threads = 0, nblocks = 0, last = 0;
  double alpha = 0, beta = 0, tol1 = 0, tol2 = 0, b1 = 0, b2 = 0;
  bool flag = false;
  const void *A = nullptr, *B = nullptr, *C = nullptr, *M = nullptr, *alphaP = nullptr, *betaP = nullptr;
  FILE* log = nullptr;
  const char* which = "";
};
Seen g_seen;

void MultiplyHook(char ta, char tb, int m, int n, int k, double alpha, const double* A, int lda, const double* B,
                  int ldb, double beta, double* C, int ldc, int kind, int blk, int threads) {
  Seen& s = g_seen;
  ++s.calls;
  s.c1 = ta, s.c2 = tb, s.m = m, s.n = n, s.k = k, s.alpha = alpha, s.A = A, s.lda = lda, s.B = B, s.ldb = ldb;
  s.beta = beta, s.C = C, s.ldc = ldc, s.kind = kind, s.blk = blk, s.threads = threads;
}

void ComplexMultiplyHook(char ta, char tb, int m, int n, int k, const double* alpha, const double* A, int lda,
                         const double* B, int ldb, const double* beta, double* C, int ldc, int kind, int blk,
                         int threads) {
  MultiplyHook(ta, tb, m, n, k, 0.0, A, lda, B, ldb, 0.0, C, ldc, kind, blk, threads);
  g_seen.alphaP = alpha, g_seen.betaP = beta;
}

int SolveCommon(const char* which, double t1, double t2, int n, int nrhs, int blk, double* A, int lda, double* B,
                int ldb, int threads) {
  Seen& s = g_seen;
  ++s.calls;
  s.which = which, s.tol1 = t1, s.tol2 = t2, s.n = n, s.k = nrhs, s.blk = blk, s.A = A, s.lda = lda, s.B = B;
  s.ldb = ldb, s.threads = threads;
  return 42;
}
int SolveHook(double a, double b, int n, int r, int k, double* A, int l, double* B, int lb, int t) {
  return SolveCommon("sym", a, b, n, r, k, A, l, B, lb, t);
}
int UnsymmHook(double a, double b, int n, int r, int k, double* A, int l, double* B, int lb, int t) {
  return SolveCommon("unsym", a, b, n, r, k, A, l, B, lb, t);
}
int ComplexHook(double a, double b, int n, int r, int k, double* A, int l, double* B, int lb, int t) {
  return SolveCommon("csym", a, b, n, r, k, A, l, B, lb, t);
}
int ComplexUnsymmHook(double a, double b, int n, int r, int k, double* A, int l, double* B, int lb, int t) {
  return SolveCommon("cunsym", a, b, n, r, k, A, l, B, lb, t);
}

int EigenHook(char uplo, int n, double* K, double* M, double b1, double b2, bool flag, int threads, int& found,
              double* ev, double* vec, FILE* log, int last) {
  Seen& s = g_seen;
  ++s.calls;
  s.c1 = uplo, s.n = n, s.A = K, s.M = M, s.b1 = b1, s.b2 = b2, s.flag = flag, s.threads = threads, s.B = ev;
  s.C = vec, s.log = log, s.last = last;
  found = 7;
  return -3;
}

void ScaleHook(int n, int m, char inva, char sidea, double alpha, const double* a, const double* B, int ldb,
               double beta, double* C, int ldc, int nblocks, int threads) {
  Seen& s = g_seen;
  ++s.calls;
  s.n = n, s.m = m, s.c1 = inva, s.c2 = sidea, s.alpha = alpha, s.A = a, s.B = B, s.ldb = ldb, s.beta = beta;
  s.C = C, s.ldc = ldc, s.nblocks = nblocks, s.threads = threads;
}

void DiagAddHook(int n, int m, int blk, double alpha, const double* d, double* A, int lda, int threads) {
  Seen& s = g_seen;
  ++s.calls;
  s.n = n, s.m = m, s.blk = blk, s.alpha = alpha, s.B = d, s.A = A, s.lda = lda, s.threads = threads;
}

class DispatchHooks : public DispatchFixture {
 protected:
  void SetUp() override {
    DispatchFixture::SetUp();
    g_seen = Seen();
  }
  double m_a[64] = {0}, m_b[64] = {0}, m_c[64] = {0};
};

}  // namespace

TEST_F(DispatchHooks, DefaultsAndThreadSettings) {
  EXPECT_TRUE(BU::LinAlgExternalFlag());
  EXPECT_EQ(BU::NumberOfThreads(), 1);
  EXPECT_EQ(BU::ThreadsBlas1(), 1);
  EXPECT_EQ(BU::MaxThreadsBlas1(), 8);
  EXPECT_EQ(BU::m_blkSize, 144);
  EXPECT_EQ(BU::m_zeroPivotTol, 1e-36);
  EXPECT_FALSE(BU::Zgemm3mFlag());
  EXPECT_EQ(BU::NumberOfGpus(), 0);
  EXPECT_TRUE(!BU::m_multiply && !BU::m_complexMultiply && !BU::m_solve && !BU::m_unsymmSolve && !BU::m_complexSolve &&
              !BU::m_complexUnsymmSolve && !BU::m_eigenSolve && !BU::m_scale && !BU::m_diagAdd);

  BU::SetNumberOfThreads(12);
  EXPECT_EQ(BU::NumberOfThreads(), 12);
  EXPECT_EQ(BU::ThreadsBlas1(), 8);
  BU::SetNumberOfThreads(4);
  EXPECT_EQ(BU::ThreadsBlas1(), 4);
  BU::SetMaxThreadsBlas1(2);  // stores only: the level-1 count is not recomputed
  EXPECT_EQ(BU::ThreadsBlas1(), 4);
  BU::SetNumberOfThreads(6);
  EXPECT_EQ(BU::ThreadsBlas1(), 2);
  BU::SetThreadsBlas1(5);
  BU::SetNumberOfGpus(3);
  BU::SetZgemm3mFlag(true);
  EXPECT_EQ(BU::ThreadsBlas1(), 5);
  EXPECT_EQ(BU::NumberOfGpus(), 3);
  EXPECT_TRUE(BU::Zgemm3mFlag());
}

TEST_F(DispatchHooks, MultiplyHandsOnArgumentsBlockSizeAndThreads) {
  BU::SetMultiply(MultiplyHook);
  BU::m_blkSize = 77;
  BU::SetNumberOfThreads(6);
  m_c[0] = 5.0;
  BU::Multiply('T', 'N', 2, 3, 4, 1.5, m_a, 5, m_b, 6, -0.5, m_c, 7, -1, 3);
  const Seen& s = g_seen;
  EXPECT_EQ(s.calls, 1);
  EXPECT_EQ(s.c1, 'T');
  EXPECT_EQ(s.c2, 'N');
  EXPECT_EQ(s.m * 100 + s.n * 10 + s.k, 234);
  EXPECT_EQ(s.alpha, 1.5);
  EXPECT_EQ(s.beta, -0.5);
  EXPECT_TRUE(s.A == m_a && s.B == m_b && s.C == m_c);
  EXPECT_EQ(s.lda * 100 + s.ldb * 10 + s.ldc, 567);
  EXPECT_EQ(s.kind, -1);
  EXPECT_EQ(s.blk, 77);
  EXPECT_EQ(s.threads, 3);
  EXPECT_EQ(m_c[0], 5.0);  // the built-in kernel did not run as well

  BU::Multiply('N', 'N', 1, 1, 1, 1.0, m_a, 1, m_b, 1, 0.0, m_c, 1, 0, 0);
  EXPECT_EQ(g_seen.threads, 6);  // 0 selects the module count

  BU::SetComplexMultiply(ComplexMultiplyHook);
  const double alpha[2] = {1, 2}, beta[2] = {3, 4};
  BU::ComplexMultiply('C', 'T', 3, 2, 1, alpha, m_a, 3, m_b, 2, beta, m_c, 3, 1, 0);
  EXPECT_EQ(g_seen.calls, 3);
  EXPECT_EQ(g_seen.c1, 'C');
  EXPECT_TRUE(g_seen.alphaP == alpha && g_seen.betaP == beta && g_seen.C == m_c);
  EXPECT_EQ(g_seen.kind, 1);
  EXPECT_EQ(g_seen.blk, 77);
  EXPECT_EQ(g_seen.threads, 6);
}

TEST_F(DispatchHooks, HooksAreBypassedWhenExternalAlgebraIsOff) {
  BU::SetMultiply(MultiplyHook);
  BU::SetSolve(SolveHook);
  BU::SetLinAlgExternalFlag(false);
  double A[4] = {2, 1, 3, 4}, B[2] = {1, 1}, C[2] = {0, 0};
  BU::Multiply('N', 'N', 2, 1, 2, 1.0, A, 2, B, 2, 0.0, C, 2, 0, 0);
  EXPECT_EQ(C[0], 5.0);
  EXPECT_EQ(C[1], 5.0);
  // dsysv reads the lower triangle: [[2, 1], [1, 4]] x = (5, 9) gives x = (11/7, 13/7).
  double S[4] = {2, 1, -99, 4}, rhs[2] = {5, 9};
  EXPECT_EQ(BU::Solve(2, 1, S, 2, rhs, 2, 0), 0);
  EXPECT_NEAR(rhs[0], 11.0 / 7.0, 1e-14);
  EXPECT_NEAR(rhs[1], 13.0 / 7.0, 1e-14);
  EXPECT_EQ(g_seen.calls, 0);
}

TEST_F(DispatchHooks, EachSolveReachesItsOwnHook) {
  BU::SetSolve(SolveHook);
  BU::SetUnsymmSolve(UnsymmHook);
  BU::SetComplexSolve(ComplexHook);
  BU::SetComplexUnsymmSolve(ComplexUnsymmHook);
  BU::m_zeroPivotTol = 1e-20;
  BU::m_blkSize = 32;
  BU::SetNumberOfThreads(5);
  EXPECT_EQ(BU::Solve(3, 2, m_a, 4, m_b, 5, 0), 42);
  const Seen& s = g_seen;
  EXPECT_STREQ(s.which, "sym");
  EXPECT_EQ(s.tol1, 1e-20);
  EXPECT_EQ(s.tol2, 1e-20);
  EXPECT_EQ(s.n * 10 + s.k, 32);
  EXPECT_EQ(s.blk, 32);
  EXPECT_TRUE(s.A == m_a && s.B == m_b);
  EXPECT_EQ(s.lda * 10 + s.ldb, 45);
  EXPECT_EQ(s.threads, 5);
  EXPECT_EQ(BU::UnsymmSolve(3, 2, m_a, 4, m_b, 5, 2), 42);
  EXPECT_STREQ(s.which, "unsym");
  EXPECT_EQ(s.threads, 2);
  EXPECT_EQ(BU::ComplexSolve(3, 2, m_a, 4, m_b, 5, 0), 42);
  EXPECT_STREQ(s.which, "csym");
  EXPECT_EQ(BU::ComplexUnsymmSolve(3, 2, m_a, 4, m_b, 5, 0), 42);
  EXPECT_STREQ(s.which, "cunsym");
  EXPECT_EQ(s.calls, 4);
}

TEST_F(DispatchHooks, EigenSolveAndDiagAddReachTheirHooks) {
  BU::SetEigenSolve(EigenHook);
  BU::SetNumberOfThreads(3);
  int found = 0;
  FILE* log = stderr;
  EXPECT_EQ(BU::EigenSolve('U', 4, m_a, m_b, found, m_c, m_c + 8, 0.5, 9.5, true, 0, log, 11), -3);
  const Seen& s = g_seen;
  EXPECT_EQ(found, 7);  // numFound is the hook's, by reference
  EXPECT_EQ(s.c1, 'U');
  EXPECT_EQ(s.n, 4);
  EXPECT_TRUE(s.A == m_a && s.M == m_b && s.B == m_c && s.C == m_c + 8);
  EXPECT_EQ(s.b1, 0.5);
  EXPECT_EQ(s.b2, 9.5);
  EXPECT_TRUE(s.flag);
  EXPECT_EQ(s.threads, 3);
  EXPECT_EQ(s.log, log);
  EXPECT_EQ(s.last, 11);

  BU::SetDiagAdd(DiagAddHook);
  BU::m_blkSize = 16;
  BU::DiagAdd(5, 6, 2.5, m_b, m_a, 7, 4);
  EXPECT_EQ(s.calls, 2);
  EXPECT_EQ(s.n * 10 + s.m, 56);
  EXPECT_EQ(s.blk, 16);
  EXPECT_EQ(s.alpha, 2.5);
  EXPECT_TRUE(s.B == m_b && s.A == m_a);
  EXPECT_EQ(s.lda, 7);
  EXPECT_EQ(s.threads, 4);
}

TEST_F(DispatchHooks, ScaleBlockAndThreadCounts) {
  BU::SetScale(ScaleHook);
  BU::SetNumberOfThreads(4);
  const Seen& s = g_seen;
  // Default threads are half the module count, rounded up; blocks spread the m columns over them.
  BU::Scale(3, 10, 'I', 'R', 2.0, m_a, m_b, 3, 0.5, m_c, 4, 0, 0);
  EXPECT_EQ(s.threads, 2);
  EXPECT_EQ(s.nblocks, 5);
  EXPECT_EQ(s.n * 100 + s.m, 310);
  EXPECT_EQ(s.c1, 'I');
  EXPECT_EQ(s.c2, 'R');
  EXPECT_EQ(s.alpha, 2.0);
  EXPECT_EQ(s.beta, 0.5);
  EXPECT_TRUE(s.A == m_a && s.B == m_b && s.C == m_c);
  EXPECT_EQ(s.ldb * 10 + s.ldc, 34);
  BU::Scale(3, 10, 'N', 'L', 1.0, m_a, m_b, 3, 0.0, m_c, 3, 11, 0);  // beyond m: computed instead
  EXPECT_EQ(s.nblocks, 5);
  BU::Scale(3, 10, 'N', 'L', 1.0, m_a, m_b, 3, 0.0, m_c, 3, 10, 0);  // m itself is kept
  EXPECT_EQ(s.nblocks, 10);
  BU::Scale(3, 10, 'N', 'L', 1.0, m_a, m_b, 3, 0.0, m_c, 3, 1, 0);
  EXPECT_EQ(s.nblocks, 1);
  BU::Scale(3, 10, 'N', 'L', 1.0, m_a, m_b, 3, 0.0, m_c, 3, -2, 3);  // (10 - 1) / 3 + 1
  EXPECT_EQ(s.threads, 3);
  EXPECT_EQ(s.nblocks, 4);
  BU::Scale(3, 4, 'N', 'L', 1.0, m_a, m_b, 3, 0.0, m_c, 3, 0, 16);  // threads capped by the column count
  EXPECT_EQ(s.threads, 4);
  EXPECT_EQ(s.nblocks, 1);
  BU::SetNumberOfThreads(5);
  BU::Scale(3, 10, 'I', 'L', 1.0, m_a, m_b, 3, 0.0, m_c, 3, 1e-8, 0);  // eps form: always computed
  EXPECT_EQ(s.threads, 3);
  EXPECT_EQ(s.nblocks, 4);
  EXPECT_EQ(s.calls, 7);
}

TEST_F(DispatchHooks, RoutinesWithoutBuiltInPathFail) {
  int found = 0;
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('L', 2, m_a, m_b, found, m_c, m_c + 2, 0, 1, false, 0, nullptr, 0), "0");
  EXPECT_QORMTX_ASSERTION(BU::DiagAdd(2, 2, 1.0, m_b, m_a, 2, 0), "0");
  BU::SetEigenSolve(EigenHook);
  BU::SetDiagAdd(DiagAddHook);
  BU::SetLinAlgExternalFlag(false);  // an installed hook that is switched off is no hook
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('L', 2, m_a, m_b, found, m_c, m_c + 2, 0, 1, false, 0, nullptr, 0), "0");
  EXPECT_QORMTX_ASSERTION(BU::DiagAdd(2, 2, 1.0, m_b, m_a, 2, 0), "0");
}

TEST_F(DispatchHooks, PreconditionsComeBeforeTheHook) {
  BU::SetEigenSolve(EigenHook);
  BU::SetScale(ScaleHook);
  int found = 0;
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('L', 0, m_a, m_b, found, m_c, m_c, 0, 1, false, 0, nullptr, 0), "numRows > 0");
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('L', 2, nullptr, m_b, found, m_c, m_c, 0, 1, false, 0, nullptr, 0), "K");
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('X', 2, m_a, m_b, found, m_c, m_c, 0, 1, false, 0, nullptr, 0),
                          "uplo == 'L' || uplo == 'U'");
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('U', 2, m_a, m_b, found, m_c, nullptr, 0, 1, false, 0, nullptr, 0),
                          "eigenvalues && eigenvectors");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'X', 'L', 1.0, m_a, m_b, 2, 0.0, m_c, 2, 0, 0), "inva == 'N' || inva == 'I'");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 0, 'N', 'L', 1.0, m_a, m_b, 2, 0.0, m_c, 2, 0, 0), "n > 0 && m > 0");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'N', 'l', 1.0, m_a, m_b, 2, 0.0, m_c, 2, 0, 0),
                          "sidea == 'L' || sidea == 'R'");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'N', 'L', 1.0, nullptr, m_b, 2, 0.0, m_c, 2, 0, 0), "A && B && C");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'N', 'L', 1.0, m_a, m_c, 2, 0.0, m_c, 3, 1e-9, 0), "B != C || ldb == ldc");
  EXPECT_EQ(g_seen.calls, 0);
}
