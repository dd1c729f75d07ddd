// QORMtxEigenSolvers: built-in symmetric standard and generalised eigen solvers on raw column-major arrays.
#include "QORMtxEigenSolvers.h"

#include <cstring>

#include "QORMtxAssert.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "mem_Alloc.h"
#include "omn_FPE.h"

int QORMtxEigenSolvers::Standard(double* A, int n, int& m, double* w, double* z, double lo, double hi) {
  const int nrows = n;
  const char upper = 'U';
  double* work = QORMtxUtilities::AllocateDouble(147 * static_cast<size_t>(n));
  double* d = work;
  double* e = work + n;
  double* tau = work + 2 * static_cast<size_t>(n);
  double* rest = work + 3 * static_cast<size_t>(n);
  const int lwork = 144 * n;
  // The condition is reported as written, so its spacing is kept.
  // clang-format off
  QORMTX_ASSERT(lwork > 20*nrows);
  // clang-format on
  int info = 0;
  blac_dsytrd(&upper, &n, A, &n, d, e, tau, rest, &lwork, &info);
  if (info != 0) {
    QORMtxUtilities::Deallocate(work);
    return 1;
  }

  int* iwork = static_cast<int*>(mem_OperatorNewThrowBuiltin(144 * static_cast<size_t>(n) * sizeof(int)));
  int* isuppz = iwork;
  const int liwork = 142 * n;
  // The condition is reported as written, so its spacing is kept.
  // clang-format off
  QORMTX_ASSERT(liwork > 10*nrows);
  // clang-format on
  const char safeMin = 'S';
  const double abstol = 2.0 * blac_dlamch(&safeMin);
  const char jobz = 'V', range = 'A';
  const int il = 1;
  // The solver probes with divisions that may overflow or divide by zero by design.
  omn_disableFPE();
  blac_dstevr(&jobz, &range, &n, d, e, &lo, &hi, &il, &n, &abstol, &m, w, z, &n, isuppz, rest, &lwork,
              iwork + 2 * static_cast<size_t>(n), &liwork, &info);
  omn_enableFPE();
  mem_Free(iwork);
  if (info != 0) {
    QORMtxUtilities::Deallocate(work);
    return 2;
  }

  if (m != 0) {
    // Keep the pairs inside [lo, hi], in ascending order, at the front. Done for every lo (lo = 0 included), so
    // that the first m entries are always the counted ones.
    int kept = 0;
    for (int i = 0; i < m; ++i) {
      if (!(lo <= w[i] && w[i] <= hi)) continue;
      if (kept != i) {
        w[kept] = w[i];
        std::memcpy(z + static_cast<size_t>(kept) * n, z + static_cast<size_t>(i) * n, sizeof(double) * n);
      }
      ++kept;
    }
    m = kept;
  }

  const char left = 'L', noTrans = 'N';
  blac_dormtr(&left, &upper, &noTrans, &n, &m, A, &n, tau, z, &n, rest, &lwork, &info);
  QORMtxUtilities::Deallocate(work);
  return info != 0 ? 3 : 0;
}

int QORMtxEigenSolvers::Generalized(int n, double* A, double* B, int& m, double* w, double* z, double lo, double hi) {
  const char upper = 'U';
  int info = 0;
  blac_dpotrf(&upper, &n, B, &n, &info);
  if (info != 0) return 4;
  const int itype = 1;
  blac_dsygst(&itype, &upper, &n, A, &n, B, &n, &info);
  if (info != 0) return 5;
  const int status = Standard(A, n, m, w, z, lo, hi);
  if (status == 0 && m != 0) {
    // x = U⁻¹·y turns the standard problem's orthonormal vectors into B-orthonormal ones.
    const char left = 'L', noTrans = 'N', nonUnit = 'N';
    const double one = 1.0;
    blac_dtrsm(&left, &upper, &noTrans, &nonUnit, &n, &m, &one, B, &n, z, &n);
  }
  return status;
}
