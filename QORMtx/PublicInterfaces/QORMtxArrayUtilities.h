// QORMtxArrayUtilities: conversions between interleaved and split complex arrays, and split complex scaling.
#pragma once
#include <cstddef>

/// Static operations only. An interleaved array holds n (real, imaginary) pairs; a split array holds the n real
/// parts and the n imaginary parts in two separate arrays.
class QORMtxArrayUtilities {
 public:
  /// \brief Z[k] = (re[k], im[k]) for k < n; a null part gives zeros in its place, both null zero Z.
  /// Preconditions "numValues" (n != 0), "Z".
  static void SetReIm(size_t n, const double* re, const double* im, double* Z);
  /// \brief re[k] = Re Z[k] and im[k] = Im Z[k] for k < n; a null output is skipped and left alone.
  /// Preconditions "numValues", "Z", "X || Y" (re or im given).
  static void GetReIm(size_t n, double* re, double* im, const double* Z);
  /// \brief X[k] + i·Y[k] ·= factor (two doubles: real, imaginary), in place, for k < n.
  /// Preconditions "numValues", "X && Y", "factor".
  static void ReImMultiply(size_t n, double* X, double* Y, const double* factor);
};
