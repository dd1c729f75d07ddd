// Tests of the blac LAPACK routines: residuals of solves and factorisations, info codes, workspace queries.
#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using qormtx_test::MaxRelDiff;
using qormtx_test::MaxRelDiffMatrix;
using qormtx_test::NaiveGemm;
using qormtx_test::NaiveZgemm;

constexpr double kTol = 1e-11;

// A random symmetric n × n matrix (full storage, ld = n) with the diagonal shifted by `shift`.
std::vector<double> RandomSymmetric(int n, std::mt19937_64& rng, double shift) {
  auto a = qormtx_test::RandomMatrix(n, n, n, rng);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < j; ++i) a[j * n + i] = a[i * n + j];
  for (int i = 0; i < n; ++i) a[i * n + i] += shift;
  return a;
}

// The optimal workspace of a routine: the first work element after an lwork = -1 call.
template <typename Call>
int QueryWork(Call call) {
  double work[2] = {0.0, 0.0};
  const int query = -1;
  int info = 99;
  call(work, &query, &info);
  EXPECT_EQ(info, 0);
  EXPECT_GE(work[0], 1.0);
  return static_cast<int>(work[0]);
}

TEST(BlacLapackSolve, LuFactorSolveBothTransposes) {
  auto rng = qormtx_test::Rng(21);
  const int n = 12, nrhs = 3, lda = 15, ldb = 14;
  auto a = qormtx_test::RandomMatrix(n, n, lda, rng);
  const auto a0 = a;
  std::vector<int> ipiv(n);
  int info = -1;
  blac_dgetrf(&n, &n, a.data(), &lda, ipiv.data(), &info);
  ASSERT_EQ(info, 0);
  for (char t : {'N', 'T'}) {
    const auto b0 = qormtx_test::RandomMatrix(n, nrhs, ldb, rng);
    auto x = b0;
    blac_dgetrs(&t, &n, &nrhs, a.data(), &lda, ipiv.data(), x.data(), &ldb, &info);
    ASSERT_EQ(info, 0);
    std::vector<double> back(static_cast<std::size_t>(ldb) * nrhs, -777.0);
    NaiveGemm(t, 'N', n, nrhs, n, 1.0, a0.data(), lda, x.data(), ldb, 0.0, back.data(), ldb);
    EXPECT_LT(MaxRelDiffMatrix(n, nrhs, back.data(), ldb, b0.data(), ldb), kTol) << t;
  }
}

TEST(BlacLapackSolve, InfoCodesSingularPivotsAndIllegalArguments) {
  const int n = 10;
  std::vector<int> ipiv(n);
  int info = -1;
  // Second column twice the first: U(2,2) is exactly zero, reported as info = 2.
  const int two = 2, one = 1;
  double s[4] = {1.0, 2.0, 2.0, 4.0}, b[3] = {1.0, 1.0, 0.0};
  blac_dgesv(&two, &one, s, &two, ipiv.data(), b, &two, &info);
  EXPECT_EQ(info, 2);
  // Complex rank one: the second column (2i, -2) is 2i times the first (1, i).
  double z[8] = {1.0, 0.0, 0.0, 1.0, 0.0, 2.0, -2.0, 0.0};
  double zb[4] = {1.0, 0.0, 1.0, 0.0};
  blac_zgesv(&two, &one, z, &two, ipiv.data(), zb, &two, &info);
  EXPECT_EQ(info, 2);
  // lda < n is argument 4 of dgesv and of dgetrf; a C interface layer would report -5.
  const int three = 3, lda = 2;
  double a[9] = {};
  blac_dgesv(&three, &one, a, &lda, ipiv.data(), b, &three, &info);
  EXPECT_EQ(info, -4);
  blac_dgetrf(&three, &three, a, &lda, ipiv.data(), &info);
  EXPECT_EQ(info, -4);
}

TEST(BlacLapackSolve, SymmetricIndefiniteSolveWithMinimalWork) {
  auto rng = qormtx_test::Rng(23);
  const int n = 40, nrhs = 3;
  const char uplo = 'L';
  const auto a0 = RandomSymmetric(n, rng, 0.0);  // indefinite
  const auto b0 = qormtx_test::RandomMatrix(n, nrhs, n, rng);
  std::vector<int> ipiv(n);
  int info = -1;

  // dsysv with lwork = n (the unblocked path the library's solve takes).
  auto a = a0, x = b0;
  std::vector<double> work(n), back(b0.size());
  blac_dsysv(&uplo, &n, &nrhs, a.data(), &n, ipiv.data(), x.data(), &n, work.data(), &n, &info);
  ASSERT_EQ(info, 0);
  NaiveGemm('N', 'N', n, nrhs, n, 1.0, a0.data(), n, x.data(), n, 0.0, back.data(), n);
  EXPECT_LT(MaxRelDiff(back, b0), kTol);

  // A zero matrix: the first diagonal block is exactly singular.
  std::vector<double> zero(n * n, 0.0);
  x = b0;
  blac_dsysv(&uplo, &n, &nrhs, zero.data(), &n, ipiv.data(), x.data(), &n, work.data(), &n, &info);
  EXPECT_EQ(info, 1);
}

TEST(BlacLapackSolve, ComplexSymmetricSolveIsNotHermitian) {
  auto rng = qormtx_test::Rng(24);
  const int n = 15, nrhs = 2;
  const char uplo = 'L';
  // Complex symmetric: A(i, j) = A(j, i) without conjugation.
  auto a0 = qormtx_test::RandomMatrix(2 * n, n, 2 * n, rng);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < j; ++i) {
      a0[2 * (j * n + i)] = a0[2 * (i * n + j)];
      a0[2 * (j * n + i) + 1] = a0[2 * (i * n + j) + 1];
    }
  const auto b0 = qormtx_test::RandomMatrix(2 * n, nrhs, 2 * n, rng);
  std::vector<int> ipiv(n);
  int info = -1;
  auto a = a0;
  const int lwork = QueryWork([&](double* w, const int* lw, int* inf) {
    auto x = b0;
    blac_zsysv(&uplo, &n, &nrhs, a.data(), &n, ipiv.data(), x.data(), &n, w, lw, inf);
  });
  std::vector<double> work(2 * static_cast<std::size_t>(lwork));
  auto x = b0;
  blac_zsysv(&uplo, &n, &nrhs, a.data(), &n, ipiv.data(), x.data(), &n, work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  std::vector<double> back(b0.size());
  NaiveZgemm('N', 'N', n, nrhs, n, 1.0, a0.data(), n, x.data(), n, 0.0, back.data(), n);
  EXPECT_LT(MaxRelDiff(back, b0), kTol);
}

TEST(BlacLapackEigen, ReductionPipelineSygstSytrdStevrOrmtr) {
  // The generalised problem K v = λ M v solved in steps: M = L Lᵀ, C = L⁻¹ K L⁻ᵀ, C = Q T Qᵀ,
  // T z = λ z, then v = L⁻ᵀ Q z. Checked against the residual of the original problem.
  auto rng = qormtx_test::Rng(29);
  const int n = 16, itype = 1;
  const char lower = 'L';
  const auto k0 = RandomSymmetric(n, rng, 0.0);
  const auto m0 = RandomSymmetric(n, rng, 2.0 * n);
  auto l = m0, c = k0;
  int info = -1;
  blac_dpotrf(&lower, &n, l.data(), &n, &info);
  ASSERT_EQ(info, 0);
  blac_dsygst(&itype, &lower, &n, c.data(), &n, l.data(), &n, &info);
  ASSERT_EQ(info, 0);
  std::vector<double> d(n), e(n), tau(n);
  int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
    blac_dsytrd(&lower, &n, c.data(), &n, d.data(), e.data(), tau.data(), wk, lw, inf);
  });
  std::vector<double> work(lwork);
  blac_dsytrd(&lower, &n, c.data(), &n, d.data(), e.data(), tau.data(), work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);

  std::vector<double> w(n), z(n * n), stevrWork(20 * n);
  std::vector<int> isuppz(2 * n), iwork(10 * n);
  const double vl = 0.0, vu = 0.0, abstol = 0.0;
  const int il = 0, iu = 0, lw = 20 * n, liw = 10 * n;
  int found = 0;
  blac_dstevr("V", "A", &n, d.data(), e.data(), &vl, &vu, &il, &iu, &abstol, &found, w.data(), z.data(), &n,
              isuppz.data(), stevrWork.data(), &lw, iwork.data(), &liw, &info);
  ASSERT_EQ(info, 0);
  ASSERT_EQ(found, n);

  lwork = QueryWork([&](double* wk, const int* lwq, int* inf) {
    blac_dormtr("L", &lower, "N", &n, &n, c.data(), &n, tau.data(), z.data(), &n, wk, lwq, inf);
  });
  work.assign(lwork, 0.0);
  blac_dormtr("L", &lower, "N", &n, &n, c.data(), &n, tau.data(), z.data(), &n, work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  const double one = 1.0;
  blac_dtrsm("L", &lower, "T", "N", &n, &n, &one, l.data(), &n, z.data(), &n);

  std::vector<double> kv(n * n), mv(n * n);
  NaiveGemm('N', 'N', n, n, n, 1.0, k0.data(), n, z.data(), n, 0.0, kv.data(), n);
  NaiveGemm('N', 'N', n, n, n, 1.0, m0.data(), n, z.data(), n, 0.0, mv.data(), n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) mv[j * n + i] *= w[j];
  EXPECT_LT(MaxRelDiff(kv, mv), kTol);
}

TEST(BlacLapackAux, MachineConstantsAndBlockSizeQuery) {
  EXPECT_EQ(blac_dlamch("E"), DBL_EPSILON / 2);  // relative machine precision with rounding
  EXPECT_EQ(blac_dlamch("S"), DBL_MIN);
  EXPECT_EQ(blac_dlamch("P"), DBL_EPSILON);
  const int one = 1, n = 1000, none = -1;
  const int nb = blac_ilaenv(&one, "DSYTRD", "U", &n, &none, &none, &none);
  EXPECT_GT(nb, 1);  // a blocked routine: the name (length included) was read correctly
  EXPECT_EQ(blac_ilaenv(&one, "dsytrd", "U", &n, &none, &none, &none), nb);
  EXPECT_EQ(blac_ilaenv(&one, "DGETRF", " ", &n, &none, &none, &none),
            blac_ilaenv(&one, "DGETRF", "", &n, &none, &none, &none));
}

}  // namespace
