// Tests of the blac LAPACK routines: residuals of solves and factorisations, info codes, workspace queries.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <complex>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using Complex = std::complex<double>;
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

TEST(BlacLapackSolve, GeneralSolvesAndSingularPivots) {
  auto rng = qormtx_test::Rng(22);
  const int n = 10, nrhs = 2;
  std::vector<int> ipiv(n);
  int info = -1;
  {
    auto a = qormtx_test::RandomMatrix(n, n, n, rng);
    const auto a0 = a;
    const auto b0 = qormtx_test::RandomMatrix(n, nrhs, n, rng);
    auto x = b0;
    blac_dgesv(&n, &nrhs, a.data(), &n, ipiv.data(), x.data(), &n, &info);
    ASSERT_EQ(info, 0);
    std::vector<double> back(b0.size());
    NaiveGemm('N', 'N', n, nrhs, n, 1.0, a0.data(), n, x.data(), n, 0.0, back.data(), n);
    EXPECT_LT(MaxRelDiff(back, b0), kTol);
  }
  {
    auto a = qormtx_test::RandomMatrix(2 * n, n, 2 * n, rng);
    const auto a0 = a;
    const auto b0 = qormtx_test::RandomMatrix(2 * n, nrhs, 2 * n, rng);
    auto x = b0;
    blac_zgesv(&n, &nrhs, a.data(), &n, ipiv.data(), x.data(), &n, &info);
    ASSERT_EQ(info, 0);
    std::vector<double> back(b0.size());
    NaiveZgemm('N', 'N', n, nrhs, n, 1.0, a0.data(), n, x.data(), n, 0.0, back.data(), n);
    EXPECT_LT(MaxRelDiff(back, b0), kTol);
  }
  // Second column twice the first: U(2,2) is exactly zero, reported as info = 2.
  const int two = 2, one = 1;
  double s[4] = {1.0, 2.0, 2.0, 4.0}, b[2] = {1.0, 1.0};
  blac_dgesv(&two, &one, s, &two, ipiv.data(), b, &two, &info);
  EXPECT_EQ(info, 2);
  // Complex rank one: the second column (2i, -2) is 2i times the first (1, i).
  double z[8] = {1.0, 0.0, 0.0, 1.0, 0.0, 2.0, -2.0, 0.0};
  double zb[4] = {1.0, 0.0, 1.0, 0.0};
  blac_zgesv(&two, &one, z, &two, ipiv.data(), zb, &two, &info);
  EXPECT_EQ(info, 2);
}

TEST(BlacLapackSolve, IllegalArgumentCodesPassThroughUnshifted) {
  // lda < n is argument 4 of dgesv and of dgetrf; a C interface layer would report -5.
  const int n = 3, one = 1, lda = 2;
  double a[9] = {}, b[3] = {};
  int ipiv[3], info = 0;
  blac_dgesv(&n, &one, a, &lda, ipiv, b, &n, &info);
  EXPECT_EQ(info, -4);
  blac_dgetrf(&n, &n, a, &lda, ipiv, &info);
  EXPECT_EQ(info, -4);
}

TEST(BlacLapackSolve, SymmetricIndefiniteFactorAndSolvesWithQueriedOrMinimalWork) {
  auto rng = qormtx_test::Rng(23);
  const int n = 40, nrhs = 3;
  const char uplo = 'L';
  const auto a0 = RandomSymmetric(n, rng, 0.0);  // indefinite
  const auto b0 = qormtx_test::RandomMatrix(n, nrhs, n, rng);
  std::vector<int> ipiv(n);
  int info = -1;

  // dsytrf with a queried workspace, then dsytrs.
  auto a = a0;
  const int lwork = QueryWork([&](double* w, const int* lw, int* inf) {
    blac_dsytrf(&uplo, &n, a.data(), &n, ipiv.data(), w, lw, inf);
  });
  std::vector<double> work(lwork);
  blac_dsytrf(&uplo, &n, a.data(), &n, ipiv.data(), work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  auto x = b0;
  blac_dsytrs(&uplo, &n, &nrhs, a.data(), &n, ipiv.data(), x.data(), &n, &info);
  ASSERT_EQ(info, 0);
  std::vector<double> back(b0.size());
  NaiveGemm('N', 'N', n, nrhs, n, 1.0, a0.data(), n, x.data(), n, 0.0, back.data(), n);
  EXPECT_LT(MaxRelDiff(back, b0), kTol);

  // dsysv with lwork = n (the unblocked path the library's solve takes).
  a = a0, x = b0;
  work.assign(n, 0.0);
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

TEST(BlacLapackSolve, ComplexTriangularSolveEveryTransAndZeroDiagonal) {
  auto rng = qormtx_test::Rng(25);
  const int n = 9, nrhs = 4, lda = 11;
  for (char uplo : {'U', 'L'}) {
    for (char trans : {'N', 'T', 'C'}) {
      for (char diag : {'N', 'U'}) {
        auto a = qormtx_test::RandomMatrix(2 * n, n, 2 * lda, rng);
        for (int i = 0; i < n; ++i) a[2 * (i * lda + i)] += 3.0;
        // The triangle the routine reads, with the unit diagonal when asked.
        std::vector<double> t(2 * n * n, 0.0);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i)
            if (i == j || (uplo == 'U') == (i < j)) {
              t[2 * (j * n + i)] = i == j && diag == 'U' ? 1.0 : a[2 * (j * lda + i)];
              t[2 * (j * n + i) + 1] = i == j && diag == 'U' ? 0.0 : a[2 * (j * lda + i) + 1];
            }
        const auto b0 = qormtx_test::RandomMatrix(2 * n, nrhs, 2 * n, rng);
        auto x = b0;
        int info = -1;
        blac_ztrtrs(&uplo, &trans, &diag, &n, &nrhs, a.data(), &lda, x.data(), &n, &info);
        ASSERT_EQ(info, 0);
        std::vector<double> back(b0.size());
        NaiveZgemm(trans, 'N', n, nrhs, n, 1.0, t.data(), n, x.data(), n, 0.0, back.data(), n);
        EXPECT_LT(MaxRelDiff(back, b0), kTol) << uplo << trans << diag;
      }
    }
  }
  // A zero at diagonal position 3 (1-based) of a non-unit triangle: info = 3.
  const int three = 3, one = 1;
  double a[18] = {1, 0, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0, 1, 0, 1, 0, 0, 0};
  double b[6] = {1, 0, 1, 0, 1, 0};
  int info = 0;
  blac_ztrtrs("U", "N", "N", &three, &one, a, &three, b, &three, &info);
  EXPECT_EQ(info, 3);
}

TEST(BlacLapackSolve, CholeskyAndNotPositiveDefinite) {
  auto rng = qormtx_test::Rng(26);
  const int n = 20;
  auto m = qormtx_test::RandomMatrix(n, n, n, rng);
  std::vector<double> spd(n * n);
  NaiveGemm('N', 'T', n, n, n, 1.0, m.data(), n, m.data(), n, 0.0, spd.data(), n);
  for (int i = 0; i < n; ++i) spd[i * n + i] += n;
  auto l = spd;
  int info = -1;
  blac_dpotrf("L", &n, l.data(), &n, &info);
  ASSERT_EQ(info, 0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < j; ++i) l[j * n + i] = 0.0;
  std::vector<double> llt(n * n);
  NaiveGemm('N', 'T', n, n, n, 1.0, l.data(), n, l.data(), n, 0.0, llt.data(), n);
  EXPECT_LT(MaxRelDiff(llt, spd), kTol);

  // diag(4, 1, -1): the leading minor of order 3 is not positive.
  const int three = 3;
  double d[9] = {4, 0, 0, 0, 1, 0, 0, 0, -1};
  blac_dpotrf("U", &three, d, &three, &info);
  EXPECT_EQ(info, 3);
}

TEST(BlacLapackEigen, SymmetricEigenWithWorkspaceQuery) {
  auto rng = qormtx_test::Rng(27);
  const int n = 25;
  const auto a0 = RandomSymmetric(n, rng, 0.0);
  auto v = a0;
  std::vector<double> w(n);
  int info = -1;
  const int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
    blac_dsyev("V", "U", &n, v.data(), &n, w.data(), wk, lw, inf);
  });
  std::vector<double> work(lwork);
  blac_dsyev("V", "U", &n, v.data(), &n, w.data(), work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  std::vector<double> av(n * n), vl(n * n);
  NaiveGemm('N', 'N', n, n, n, 1.0, a0.data(), n, v.data(), n, 0.0, av.data(), n);
  for (int j = 0; j < n; ++j) {
    if (j > 0) {
      EXPECT_LE(w[j - 1], w[j]);
    }
    for (int i = 0; i < n; ++i) vl[j * n + i] = v[j * n + i] * w[j];
  }
  EXPECT_LT(MaxRelDiff(av, vl), kTol);
}

TEST(BlacLapackEigen, GeneralisedSymmetricDefiniteEigen) {
  auto rng = qormtx_test::Rng(28);
  const int n = 18, itype = 1;
  const auto k0 = RandomSymmetric(n, rng, 0.0);
  const auto m0 = RandomSymmetric(n, rng, 2.0 * n);  // diagonally dominant, hence positive definite
  auto k = k0, m = m0;
  std::vector<double> w(n);
  int info = -1;
  const int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
    blac_dsygv(&itype, "V", "L", &n, k.data(), &n, m.data(), &n, w.data(), wk, lw, inf);
  });
  std::vector<double> work(lwork);
  blac_dsygv(&itype, "V", "L", &n, k.data(), &n, m.data(), &n, w.data(), work.data(), &lwork, &info);
  ASSERT_EQ(info, 0);
  std::vector<double> kv(n * n), mv(n * n);
  NaiveGemm('N', 'N', n, n, n, 1.0, k0.data(), n, k.data(), n, 0.0, kv.data(), n);
  NaiveGemm('N', 'N', n, n, n, 1.0, m0.data(), n, k.data(), n, 0.0, mv.data(), n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) mv[j * n + i] *= w[j];
  EXPECT_LT(MaxRelDiff(kv, mv), kTol);

  // An indefinite M: the factorisation of M fails at its order, reported as n + that order.
  std::vector<double> bad(n * n, 0.0);
  for (int i = 0; i < n; ++i) bad[i * n + i] = i == 0 ? -1.0 : 1.0;
  k = k0;
  blac_dsygv(&itype, "V", "L", &n, k.data(), &n, bad.data(), &n, w.data(), work.data(), &lwork, &info);
  EXPECT_EQ(info, n + 1);
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

TEST(BlacLapackEigen, RealAndComplexGeneralEigenvectors) {
  auto rng = qormtx_test::Rng(30);
  const int n = 12;
  {
    const auto a0 = qormtx_test::RandomMatrix(n, n, n, rng);
    auto a = a0;
    std::vector<double> wr(n), wi(n), vr(n * n), vl(1);
    const int one = 1;
    int info = -1;
    const int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
      blac_dgeev("N", "V", &n, a.data(), &n, wr.data(), wi.data(), vl.data(), &one, vr.data(), &n, wk, lw, inf);
    });
    std::vector<double> work(lwork);
    blac_dgeev("N", "V", &n, a.data(), &n, wr.data(), wi.data(), vl.data(), &one, vr.data(), &n, work.data(), &lwork,
               &info);
    ASSERT_EQ(info, 0);
    // Eigenvector j (or the pair j, j+1 as re ± i·im) against A·v = λ·v in complex arithmetic.
    for (int j = 0; j < n; ++j) {
      std::vector<Complex> v(n);
      if (wi[j] == 0.0) {
        for (int i = 0; i < n; ++i) v[i] = vr[j * n + i];
      } else {
        const int base = wi[j] > 0.0 ? j : j - 1, sign = wi[j] > 0.0 ? 1 : -1;
        for (int i = 0; i < n; ++i) v[i] = Complex(vr[base * n + i], sign * vr[(base + 1) * n + i]);
      }
      const Complex lambda(wr[j], wi[j]);
      double res = 0.0;
      for (int i = 0; i < n; ++i) {
        Complex s = 0.0;
        for (int l = 0; l < n; ++l) s += a0[l * n + i] * v[l];
        res = std::max(res, std::abs(s - lambda * v[i]));
      }
      EXPECT_LT(res, kTol) << j;
    }
  }
  {
    const auto a0 = qormtx_test::RandomMatrix(2 * n, n, 2 * n, rng);
    auto a = a0;
    std::vector<double> w(2 * n), vr(2 * n * n), vl(2), rwork(2 * n);
    const int one = 1;
    int info = -1;
    const int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
      blac_zgeev("N", "V", &n, a.data(), &n, w.data(), vl.data(), &one, vr.data(), &n, wk, lw, rwork.data(), inf);
    });
    std::vector<double> work(2 * static_cast<std::size_t>(lwork));
    blac_zgeev("N", "V", &n, a.data(), &n, w.data(), vl.data(), &one, vr.data(), &n, work.data(), &lwork,
               rwork.data(), &info);
    ASSERT_EQ(info, 0);
    std::vector<double> av(2 * n * n);
    NaiveZgemm('N', 'N', n, n, n, 1.0, a0.data(), n, vr.data(), n, 0.0, av.data(), n);
    std::vector<double> vw(2 * n * n);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const Complex x = Complex(vr[2 * (j * n + i)], vr[2 * (j * n + i) + 1]) * Complex(w[2 * j], w[2 * j + 1]);
        vw[2 * (j * n + i)] = x.real();
        vw[2 * (j * n + i) + 1] = x.imag();
      }
    EXPECT_LT(MaxRelDiff(av, vw), kTol);
  }
}

TEST(BlacLapackEigen, HessenbergReductionAndBackTransformation) {
  auto rng = qormtx_test::Rng(31);
  const int n = 14, ilo = 1, ihi = n;
  int info = -1;
  {
    // A = Q H Qᵀ: apply Q from the left to H, then Qᵀ from the right.
    const auto a0 = qormtx_test::RandomMatrix(n, n, n, rng);
    auto a = a0;
    std::vector<double> tau(n);
    int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
      blac_dgehrd(&n, &ilo, &ihi, a.data(), &n, tau.data(), wk, lw, inf);
    });
    std::vector<double> work(lwork);
    blac_dgehrd(&n, &ilo, &ihi, a.data(), &n, tau.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    std::vector<double> h(n * n, 0.0);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= std::min(j + 1, n - 1); ++i) h[j * n + i] = a[j * n + i];
    lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
      blac_dormhr("L", "N", &n, &n, &ilo, &ihi, a.data(), &n, tau.data(), h.data(), &n, wk, lw, inf);
    });
    work.assign(lwork, 0.0);
    blac_dormhr("L", "N", &n, &n, &ilo, &ihi, a.data(), &n, tau.data(), h.data(), &n, work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    blac_dormhr("R", "T", &n, &n, &ilo, &ihi, a.data(), &n, tau.data(), h.data(), &n, work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    EXPECT_LT(MaxRelDiff(h, a0), kTol);
  }
  {
    const auto a0 = qormtx_test::RandomMatrix(2 * n, n, 2 * n, rng);
    auto a = a0;
    std::vector<double> tau(2 * n);
    int lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
      blac_zgehrd(&n, &ilo, &ihi, a.data(), &n, tau.data(), wk, lw, inf);
    });
    std::vector<double> work(2 * static_cast<std::size_t>(lwork));
    blac_zgehrd(&n, &ilo, &ihi, a.data(), &n, tau.data(), work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    std::vector<double> h(2 * n * n, 0.0);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= std::min(j + 1, n - 1); ++i) {
        h[2 * (j * n + i)] = a[2 * (j * n + i)];
        h[2 * (j * n + i) + 1] = a[2 * (j * n + i) + 1];
      }
    lwork = QueryWork([&](double* wk, const int* lw, int* inf) {
      blac_zunmhr("L", "N", &n, &n, &ilo, &ihi, a.data(), &n, tau.data(), h.data(), &n, wk, lw, inf);
    });
    work.assign(2 * static_cast<std::size_t>(lwork), 0.0);
    blac_zunmhr("L", "N", &n, &n, &ilo, &ihi, a.data(), &n, tau.data(), h.data(), &n, work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    blac_zunmhr("R", "C", &n, &n, &ilo, &ihi, a.data(), &n, tau.data(), h.data(), &n, work.data(), &lwork, &info);
    ASSERT_EQ(info, 0);
    EXPECT_LT(MaxRelDiff(h, a0), kTol);
  }
}

TEST(BlacLapackAux, CopyAndSetTriangles) {
  const int m = 4, n = 5, lda = 6, ldb = 5;
  std::vector<double> a(lda * n), za(2 * lda * n);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = 1.0 + i;
  for (std::size_t i = 0; i < za.size(); ++i) za[i] = 1.0 + i;
  for (char uplo : {'U', 'L', 'A'}) {
    std::vector<double> b(ldb * n, 0.0), zb(2 * ldb * n, 0.0);
    blac_dlacpy(&uplo, &m, &n, a.data(), &lda, b.data(), &ldb);
    blac_zlacpy(&uplo, &m, &n, za.data(), &lda, zb.data(), &ldb);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < ldb; ++i) {
        const bool in = i < m && (uplo == 'A' || (uplo == 'U' ? i <= j : i >= j));
        EXPECT_EQ(b[j * ldb + i], in ? a[j * lda + i] : 0.0) << uplo << i << j;
        EXPECT_EQ(zb[2 * (j * ldb + i) + 1], in ? za[2 * (j * lda + i) + 1] : 0.0) << uplo << i << j;
      }
    const double off = 7.0, diag = -2.0, zoff[2] = {1.0, 2.0}, zdiag[2] = {3.0, -4.0};
    std::vector<double> s(ldb * n, 9.0), zs(2 * ldb * n, 9.0);
    blac_dlaset(&uplo, &m, &n, &off, &diag, s.data(), &ldb);
    blac_zlaset(&uplo, &m, &n, zoff, zdiag, zs.data(), &ldb);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < ldb; ++i) {
        const bool strict = i < m && i != j && (uplo == 'A' || (uplo == 'U' ? i < j : i > j));
        const double want = i < m && i == j ? diag : strict ? off : 9.0;
        EXPECT_EQ(s[j * ldb + i], want) << uplo << i << j;
        const double zwant = i < m && i == j ? zdiag[1] : strict ? zoff[1] : 9.0;
        EXPECT_EQ(zs[2 * (j * ldb + i) + 1], zwant) << uplo << i << j;
      }
  }
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
