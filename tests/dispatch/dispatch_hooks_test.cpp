// The dispatch table's settings and its routing to installed hooks: arguments, block size, thread counts.
#include <gtest/gtest.h>

#include <complex>
#include <sstream>
#include <string>

#include "QORMtxBlaUtilities.h"
#include "dispatch_test_util.h"
#include "qormtx_death.h"

typedef QORMtxBlaUtilities BU;

namespace {

// The last hook call as its name and arguments; pointers print as addresses, so they are compared too.
int g_calls = 0;
std::string g_last;
template <class... T>
std::string Call(const char* which, const T&... args) {
  std::ostringstream s;
  s << which;
  ((s << ' ' << args), ...);
  return s.str();
}
template <class... T>
void Record(const char* which, const T&... args) {
  ++g_calls;
  g_last = Call(which, args...);
}

class DispatchHooks : public dispatch_test::DispatchFixture {
 protected:
  void SetUp() override {
    DispatchFixture::SetUp();
    g_calls = 0;
    g_last.clear();
  }
  double a[64] = {0}, b[64] = {0}, c[64] = {0};
};

TEST_F(DispatchHooks, ThreadSettings) {
  EXPECT_TRUE(BU::NumberOfThreads() == 1 && BU::ThreadsBlas1() == 1 && BU::MaxThreadsBlas1() == 8);
  BU::SetNumberOfThreads(12);  // the level-1 count follows, capped at 8
  EXPECT_EQ(BU::ThreadsBlas1(), 8);
  BU::SetNumberOfThreads(4);
  EXPECT_EQ(BU::ThreadsBlas1(), 4);
  BU::SetMaxThreadsBlas1(2);  // stores only: the level-1 count is not recomputed
  EXPECT_EQ(BU::ThreadsBlas1(), 4);
  BU::SetNumberOfThreads(6);
  EXPECT_EQ(BU::ThreadsBlas1(), 2);
}

TEST_F(DispatchHooks, EachRoutineHandsItsArgumentsBlockSizeAndThreadsToItsHook) {
  BU::SetMultiply([](auto... x) { Record("dgemm", x...); });
  BU::SetComplexMultiply([](auto... x) { Record("zgemm", x...); });
  BU::SetSolve([](auto... x) { return Record("sym", x...), 42; });
  BU::SetUnsymmSolve([](auto... x) { return Record("unsym", x...), 43; });
  BU::SetComplexSolve([](auto... x) { return Record("csym", x...), 44; });
  BU::SetComplexUnsymmSolve([](auto... x) { return Record("cunsym", x...), 45; });
  BU::SetDiagAdd([](auto... x) { Record("diagadd", x...); });
  BU::SetEigenSolve([](char u, int n, double* K, double* M, double b1, double b2, bool f, int t, int& found, double* ev,
                       double* vec, FILE* log, int last) {
    found = 7;  // numFound is the hook's, by reference
    return Record("eigen", u, n, K, M, b1, b2, f, t, ev, vec, log, last), -3;
  });
  BU::m_blkSize = 77;
  BU::m_zeroPivotTol = 1e-20;
  BU::SetNumberOfThreads(6);
  c[0] = 5.0;
  const double alpha[2] = {1, 2}, beta[2] = {3, 4};
  int found = 0;
  BU::Multiply('T', 'N', 2, 3, 4, 1.5, a, 5, b, 6, -0.5, c, 7, -1, 3);
  EXPECT_EQ(g_last, Call("dgemm", 'T', 'N', 2, 3, 4, 1.5, a, 5, b, 6, -0.5, c, 7, -1, 77, 3));
  EXPECT_EQ(c[0], 5.0);                                               // the built-in kernel did not run as well
  BU::Multiply('N', 'N', 1, 1, 1, 1.0, a, 1, b, 1, 0.0, c, 1, 0, 0);  // 0 threads select the module count
  EXPECT_EQ(g_last, Call("dgemm", 'N', 'N', 1, 1, 1, 1.0, a, 1, b, 1, 0.0, c, 1, 0, 77, 6));
  BU::ComplexMultiply('C', 'T', 3, 2, 1, alpha, a, 3, b, 2, beta, c, 3, 1, 0);
  EXPECT_EQ(g_last, Call("zgemm", 'C', 'T', 3, 2, 1, alpha, a, 3, b, 2, beta, c, 3, 1, 77, 6));
  EXPECT_EQ(BU::Solve(3, 2, a, 4, b, 5, 0), 42);
  EXPECT_EQ(g_last, Call("sym", 1e-20, 1e-20, 3, 2, 77, a, 4, b, 5, 6));
  EXPECT_EQ(BU::UnsymmSolve(3, 2, a, 4, b, 5, 2), 43);
  EXPECT_EQ(g_last, Call("unsym", 1e-20, 1e-20, 3, 2, 77, a, 4, b, 5, 2));
  EXPECT_EQ(BU::ComplexSolve(3, 2, a, 4, b, 5, 0), 44);
  EXPECT_EQ(g_last, Call("csym", 1e-20, 1e-20, 3, 2, 77, a, 4, b, 5, 6));
  EXPECT_EQ(BU::ComplexUnsymmSolve(3, 2, a, 4, b, 5, 0), 45);
  EXPECT_EQ(g_last, Call("cunsym", 1e-20, 1e-20, 3, 2, 77, a, 4, b, 5, 6));
  EXPECT_EQ(BU::EigenSolve('U', 4, a, b, found, c, c + 8, 0.5, 9.5, true, 0, stderr, 11), -3);
  EXPECT_EQ(g_last, Call("eigen", 'U', 4, a, b, 0.5, 9.5, true, 6, c, c + 8, stderr, 11));
  EXPECT_EQ(found, 7);
  BU::DiagAdd(5, 6, 2.5, b, a, 7, 4);
  EXPECT_EQ(g_last, Call("diagadd", 5, 6, 77, 2.5, b, a, 7, 4));
  EXPECT_EQ(g_calls, 9);

  BU::SetLinAlgExternalFlag(false);  // bypassed: every hooked routine runs its built-in kernel
  double A[4] = {2, 1, 3, 4}, B[2] = {1, 1}, C[2] = {0, 0}, S[4] = {2, 1, -99, 4}, rhs[2] = {5, 9};
  BU::Multiply('N', 'N', 2, 1, 2, 1.0, A, 2, B, 2, 0.0, C, 2, 0, 0);
  EXPECT_EQ(BU::Solve(2, 1, S, 2, rhs, 2, 0), 0);  // dsysv reads the lower triangle: [[2, 1], [1, 4]]
  EXPECT_TRUE(C[0] == 5.0 && C[1] == 5.0);
  EXPECT_NEAR(rhs[0], 11.0 / 7.0, 1e-14);
  EXPECT_NEAR(rhs[1], 13.0 / 7.0, 1e-14);
  double u = 4, ur = 2, z[2] = {0, 2}, zr[2] = {4, 2}, zu[2] = {0, 2}, zur[2] = {4, 2}, zb[2] = {1, 1}, zc[2] = {1, 1};
  EXPECT_EQ(BU::UnsymmSolve(1, 1, &u, 1, &ur, 1, 0), 0);  // 4·x = 2
  EXPECT_EQ(BU::ComplexSolve(1, 1, z, 1, zr, 1, 0), 0);   // 2i·x = 4 + 2i: x = 1 − 2i
  EXPECT_EQ(BU::ComplexUnsymmSolve(1, 1, zu, 1, zur, 1, 0), 0);
  // (1 + 2i)·(1 − 2i)·(1 + i) + (3 + 4i)·(1 + i) = 4 + 12i
  BU::ComplexMultiply('N', 'N', 1, 1, 1, alpha, zr, 1, zb, 1, beta, zc, 1, 0, 0);
  EXPECT_NEAR(ur, 0.5, 1e-15);
  EXPECT_LT(std::abs(std::complex<double>(zr[0], zr[1]) - std::complex<double>(1, -2)), 1e-15);
  EXPECT_LT(std::abs(std::complex<double>(zur[0], zur[1]) - std::complex<double>(1, -2)), 1e-15);
  EXPECT_LT(std::abs(std::complex<double>(zc[0], zc[1]) - std::complex<double>(4, 12)), 1e-14);
  EXPECT_EQ(g_calls, 9);
  // An installed hook that is switched off is no hook: EigenSolve and DiagAdd have no built-in path.
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('L', 2, a, b, found, c, c + 2, 0, 1, false, 0, nullptr, 0), "0");
  EXPECT_QORMTX_ASSERTION(BU::DiagAdd(2, 2, 1.0, b, a, 2, 0), "0");
}

TEST_F(DispatchHooks, ScaleBlockAndThreadCounts) {
  BU::SetScale([](auto... x) { Record("scale", x...); });
  BU::SetNumberOfThreads(4);
  // Default threads are half the module count, rounded up; blocks spread the m columns over them.
  BU::Scale(3, 10, 'I', 'R', 2.0, a, b, 3, 0.5, c, 4, 0, 0);
  EXPECT_EQ(g_last, Call("scale", 3, 10, 'I', 'R', 2.0, a, b, 3, 0.5, c, 4, 5, 2));
  struct Case {
    int m, nblocks, threads, wantBlocks, wantThreads;
  };
  for (const Case& k : {Case{10, 11, 0, 5, 2},  // beyond m: computed instead
                        Case{10, 10, 0, 10, 2}, Case{10, 1, 0, 1, 2}, Case{10, -2, 3, 4, 3}, Case{4, 0, 16, 1, 4}}) {
    BU::Scale(3, k.m, 'N', 'L', 1.0, a, b, 3, 0.0, c, 3, k.nblocks, k.threads);
    EXPECT_EQ(g_last, Call("scale", 3, k.m, 'N', 'L', 1.0, a, b, 3, 0.0, c, 3, k.wantBlocks, k.wantThreads))
        << k.nblocks << " blocks, " << k.threads << " threads";
  }
  BU::SetNumberOfThreads(5);
  BU::Scale(3, 10, 'I', 'L', 1.0, a, b, 3, 0.0, c, 3, 1e-8, 0);  // the eps form always computes the blocks
  EXPECT_EQ(g_last, Call("scale", 3, 10, 'I', 'L', 1.0, a, b, 3, 0.0, c, 3, 4, 3));
}

TEST_F(DispatchHooks, PreconditionsComeBeforeTheHook) {
  BU::SetEigenSolve([](auto...) { return ++g_calls; });
  BU::SetScale([](auto...) { ++g_calls; });
  int found = 0;
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('L', 0, a, b, found, c, c, 0, 1, false, 0, nullptr, 0), "numRows > 0");
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('X', 2, a, b, found, c, c, 0, 1, false, 0, nullptr, 0),
                          "uplo == 'L' || uplo == 'U'");
  EXPECT_QORMTX_ASSERTION(BU::EigenSolve('U', 2, a, b, found, c, nullptr, 0, 1, false, 0, nullptr, 0),
                          "eigenvalues && eigenvectors");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'X', 'L', 1.0, a, b, 2, 0.0, c, 2, 0, 0), "inva == 'N' || inva == 'I'");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 0, 'N', 'L', 1.0, a, b, 2, 0.0, c, 2, 0, 0), "n > 0 && m > 0");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'N', 'l', 1.0, a, b, 2, 0.0, c, 2, 0, 0), "sidea == 'L' || sidea == 'R'");
  EXPECT_QORMTX_ASSERTION(BU::Scale(2, 2, 'N', 'L', 1.0, a, c, 2, 0.0, c, 3, 1e-9, 0), "B != C || ldb == ldc");
  EXPECT_EQ(g_calls, 0);
}

}  // namespace
