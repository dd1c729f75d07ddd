// Tests of the blac LAPACK routines: residuals of solves and factorisations, info codes, workspace queries.
#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using namespace qormtx_test;
using Vec = std::vector<double>;

constexpr double kTol = 1e-11;

// A random symmetric n × n matrix (full storage, ld = n; width 2 for interleaved complex values, symmetric without
// conjugation) with the real part of the diagonal shifted by `shift`.
Vec RandomSymmetric(int n, std::mt19937_64& rng, double shift, int width = 1) {
  auto a = RandomMatrix(width * n, n, width * n, rng);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < j; ++i)
      for (int w = 0; w < width; ++w) a[width * (j * n + i) + w] = a[width * (i * n + j) + w];
    a[width * (j * n + j)] += shift;
  }
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

TEST(BlacLapackSolve, LuAndSymmetricSolvesLeaveSmallResiduals) {
  auto rng = Rng(21);
  int n = 12, nrhs = 3, lda = 15, ldb = 14, info = -1;
  const auto a0 = RandomMatrix(n, n, lda, rng);
  auto a = a0;
  std::vector<int> ipiv(40);
  blac_dgetrf(&n, &n, a.data(), &lda, ipiv.data(), &info);
  ASSERT_EQ(info, 0);
  for (char t : {'N', 'T'}) {
    const auto b0 = RandomMatrix(n, nrhs, ldb, rng);
    auto x = b0;
    blac_dgetrs(&t, &n, &nrhs, a.data(), &lda, ipiv.data(), x.data(), &ldb, &info);
    ASSERT_EQ(info, 0);
    Vec back(static_cast<std::size_t>(ldb) * nrhs, -777.0);
    NaiveGemm(t, 'N', n, nrhs, n, 1.0, a0.data(), lda, x.data(), ldb, 0.0, back.data(), ldb);
    EXPECT_LT(MaxRelDiffMatrix(n, nrhs, back.data(), ldb, b0.data(), ldb), kTol) << t;
  }

  // Real symmetric indefinite with lwork = n (the unblocked path the library's solve takes).
  n = 40;
  const char uplo = 'L';
  const auto s0 = RandomSymmetric(n, rng, 0.0), b0 = RandomMatrix(n, nrhs, n, rng);
  auto s = s0, x = b0;
  Vec work(n), back(b0.size());
  blac_dsysv(&uplo, &n, &nrhs, s.data(), &n, ipiv.data(), x.data(), &n, work.data(), &n, &info);
  ASSERT_EQ(info, 0);
  NaiveGemm('N', 'N', n, nrhs, n, 1.0, s0.data(), n, x.data(), n, 0.0, back.data(), n);
  EXPECT_LT(MaxRelDiff(back, b0), kTol);

  // Complex symmetric, not Hermitian, with the queried workspace.
  n = 15, nrhs = 2;
  const auto z0 = RandomSymmetric(n, rng, 0.0, 2), zb0 = RandomMatrix(2 * n, nrhs, 2 * n, rng);
  auto z = z0;
  const int lwork = QueryWork([&](double* w, const int* lw, int* inf) {
    auto zx = zb0;
    blac_zsysv(&uplo, &n, &nrhs, z.data(), &n, ipiv.data(), zx.data(), &n, w, lw, inf);
  });
  Vec zwork(2 * static_cast<std::size_t>(lwork)), zx = zb0, zback(zb0.size());
  blac_zsysv(&uplo, &n, &nrhs, z.data(), &n, ipiv.data(), zx.data(), &n, zwork.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  NaiveZgemm('N', 'N', n, nrhs, n, 1.0, z0.data(), n, zx.data(), n, 0.0, zback.data(), n);
  EXPECT_LT(MaxRelDiff(zback, zb0), kTol);
}

TEST(BlacLapackSolve, InfoCodesSingularPivotsAndIllegalArguments) {
  std::vector<int> ipiv(40);
  int info = -1;
  const int one = 1, two = 2, three = 3, lda = 2, n = 40, nrhs = 3;
  // Second column twice the first: U(2,2) is exactly zero, reported as info = 2.
  double s[4] = {1.0, 2.0, 2.0, 4.0}, b[3] = {1.0, 1.0, 0.0};
  blac_dgesv(&two, &one, s, &two, ipiv.data(), b, &two, &info);
  EXPECT_EQ(info, 2);
  // Complex rank one: the second column (2i, -2) is 2i times the first (1, i).
  double z[8] = {1.0, 0.0, 0.0, 1.0, 0.0, 2.0, -2.0, 0.0}, zb[4] = {1.0, 0.0, 1.0, 0.0};
  blac_zgesv(&two, &one, z, &two, ipiv.data(), zb, &two, &info);
  EXPECT_EQ(info, 2);
  // A zero symmetric matrix: the first diagonal block is exactly singular.
  Vec zero(n * n, 0.0), x(n * nrhs, 1.0), work(n);
  blac_dsysv("L", &n, &nrhs, zero.data(), &n, ipiv.data(), x.data(), &n, work.data(), &n, &info);
  EXPECT_EQ(info, 1);
  // lda < n is argument 4 of dgesv and of dgetrf; a C interface layer would report -5.
  double a[9] = {};
  blac_dgesv(&three, &one, a, &lda, ipiv.data(), b, &three, &info);
  EXPECT_EQ(info, -4);
  blac_dgetrf(&three, &three, a, &lda, ipiv.data(), &info);
  EXPECT_EQ(info, -4);
}

TEST(BlacLapackEigen, ReductionPipelineSygstSytrdStevrOrmtr) {
  // The generalised problem K v = λ M v solved in steps: M = L Lᵀ, C = L⁻¹ K L⁻ᵀ, C = Q T Qᵀ,
  // T z = λ z, then v = L⁻ᵀ Q z. Checked against the residual of the original problem.
  auto rng = Rng(29);
  const int n = 16, itype = 1;
  const char lower = 'L';
  const auto k0 = RandomSymmetric(n, rng, 0.0), m0 = RandomSymmetric(n, rng, 2.0 * n);
  auto l = m0, c = k0;
  int info = -1;
  blac_dpotrf(&lower, &n, l.data(), &n, &info);
  ASSERT_EQ(info, 0);
  blac_dsygst(&itype, &lower, &n, c.data(), &n, l.data(), &n, &info);
  ASSERT_EQ(info, 0);
  Vec d(n), e(n), tau(n);
  int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
    blac_dsytrd(&lower, &n, c.data(), &n, d.data(), e.data(), tau.data(), wk, lw, inf);
  });
  Vec work(lwork);
  blac_dsytrd(&lower, &n, c.data(), &n, d.data(), e.data(), tau.data(), work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);

  Vec w(n), z(n * n), stevrWork(20 * n);
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

  Vec kv(n * n), mv(n * n);
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
