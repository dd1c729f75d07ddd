// Tests of the blac LAPACK routines where they do more than pass their arguments on: info codes as the Fortran
// routines give them, machine constants and the block-size query. Residuals of the solves and the eigen pipeline
// are checked where the library uses them (dispatch, in-core factor, BLA eigen and LAPACK package suites).
#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using namespace qormtx_test;
using Vec = std::vector<double>;

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
