// QORMtxArrayUtilities: conversions between interleaved and split complex arrays, and split complex scaling.
#include "QORMtxArrayUtilities.h"

#include "QORMtxAssert.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxIntPieces.h"

using qormtx_detail::ForIntPieces;

void QORMtxArrayUtilities::SetReIm(size_t n, const double* re, const double* im, double* Z) {
  const size_t numValues = n;
  QORMTX_ASSERT(numValues);
  QORMTX_ASSERT(Z);
  const double zero[2] = {0.0, 0.0};
  if (!re && !im) {
    ForIntPieces(n, [&](size_t k0, int count) { QORMtxBlaUtilities::Zcopy(count, zero, 0, Z + 2 * k0, 1); });
    return;
  }
  // A missing part is copied from a single zero with stride 0.
  ForIntPieces(n, [&](size_t k0, int count) {
    if (re)
      QORMtxBlaUtilities::Dcopy(count, re + k0, 1, Z + 2 * k0, 2);
    else
      QORMtxBlaUtilities::Dcopy(count, zero, 0, Z + 2 * k0, 2);
    if (im)
      QORMtxBlaUtilities::Dcopy(count, im + k0, 1, Z + 2 * k0 + 1, 2);
    else
      QORMtxBlaUtilities::Dcopy(count, zero, 0, Z + 2 * k0 + 1, 2);
  });
}

void QORMtxArrayUtilities::GetReIm(size_t n, double* re, double* im, const double* Z) {
  const size_t numValues = n;
  const double* X = re;
  const double* Y = im;
  QORMTX_ASSERT(numValues);
  QORMTX_ASSERT(Z);
  QORMTX_ASSERT(X || Y);
  ForIntPieces(n, [&](size_t k0, int count) {
    if (re) QORMtxBlaUtilities::Dcopy(count, Z + 2 * k0, 2, re + k0, 1);
    if (im) QORMtxBlaUtilities::Dcopy(count, Z + 2 * k0 + 1, 2, im + k0, 1);
  });
}

void QORMtxArrayUtilities::ReImMultiply(size_t n, double* X, double* Y, const double* factor) {
  const size_t numValues = n;
  QORMTX_ASSERT(numValues);
  QORMTX_ASSERT(X && Y);
  QORMTX_ASSERT(factor);
  ForIntPieces(n, [&](size_t k0, int count) { qormtx_reim_array_x_factor(&count, X + k0, Y + k0, factor); });
}
