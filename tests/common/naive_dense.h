// Naive dense references for tests: seeded random fills, textbook products and relative differences.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "qormtx_reference.h"

namespace qormtx_test {

using ref::Rng;
using ref::RandomValues;
inline std::uint64_t TestSeed() { return ref::Seed(); }

inline std::vector<double> RandomVector(std::size_t n, std::mt19937_64& rng, double lo = -1.0, double hi = 1.0) {
  return RandomValues(n, rng, lo, hi);
}

/// \brief A column-major rows × cols matrix with leading dimension ld (≥ rows); the padding rows hold `pad`,
/// so that a kernel reading or writing outside the matrix shows.
inline std::vector<double> RandomMatrix(int rows, int cols, int ld, std::mt19937_64& rng, double pad = -777.0) {
  std::vector<double> a(static_cast<std::size_t>(ld) * std::max(cols, 1), pad);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) a[static_cast<std::size_t>(j) * ld + i] = dist(rng);
  return a;
}

/// \brief Element (i, j) of op(X) for a column-major X with leading dimension ld; op 'N', 'T' or 'C'
/// (for real values 'C' is 'T').
inline double OpAt(const double* x, int ld, char op, int i, int j) {
  const bool t = op == 'T' || op == 't' || op == 'C' || op == 'c';
  return t ? x[i * static_cast<std::size_t>(ld) + j] : x[j * static_cast<std::size_t>(ld) + i];
}

/// \brief Complex element (i, j) of op(X), X interleaved (re, im) with leading dimension ld in complex units;
/// op 'N', 'T', 'C' (conjugate transpose) or 'R' (conjugate, no transpose).
inline std::complex<double> ZOpAt(const double* x, int ld, char op, int i, int j) {
  const bool t = op == 'T' || op == 't' || op == 'C' || op == 'c';
  const bool c = op == 'C' || op == 'c' || op == 'R' || op == 'r';
  const std::size_t at = t ? i * static_cast<std::size_t>(ld) + j : j * static_cast<std::size_t>(ld) + i;
  const std::complex<double> v(x[2 * at], x[2 * at + 1]);
  return c ? std::conj(v) : v;
}

/// \brief C = alpha·op(A)·op(B) + beta·C by the triple loop; beta = 0 overwrites C without reading it.
inline void NaiveGemm(char ta, char tb, int m, int n, int k, double alpha, const double* a, int lda, const double* b,
                      int ldb, double beta, double* c, int ldc) {
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      double s = 0.0;
      for (int l = 0; l < k; ++l) s += OpAt(a, lda, ta, i, l) * OpAt(b, ldb, tb, l, j);
      double& cij = c[static_cast<std::size_t>(j) * ldc + i];
      cij = alpha * s + (beta == 0.0 ? 0.0 : beta * cij);
    }
  }
}

/// \brief Complex C = alpha·op(A)·op(B) + beta·C on interleaved arrays (leading dimensions in complex units).
inline void NaiveZgemm(char ta, char tb, int m, int n, int k, std::complex<double> alpha, const double* a, int lda,
                       const double* b, int ldb, std::complex<double> beta, double* c, int ldc) {
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < m; ++i) {
      std::complex<double> s = 0.0;
      for (int l = 0; l < k; ++l) s += ZOpAt(a, lda, ta, i, l) * ZOpAt(b, ldb, tb, l, j);
      const std::size_t at = static_cast<std::size_t>(j) * ldc + i;
      const std::complex<double> old(c[2 * at], c[2 * at + 1]);
      const std::complex<double> v = alpha * s + (beta == 0.0 ? 0.0 : beta * old);
      c[2 * at] = v.real();
      c[2 * at + 1] = v.imag();
    }
  }
}

/// \brief |x − y|, infinite when exactly one of them is NaN (so a NaN left in a result is never hidden by
/// std::max, which drops NaN), 0 when both are.
inline double AbsDiff(double x, double y) {
  if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y) ? 0.0 : HUGE_VAL;
  return std::abs(x - y);
}

/// \brief max |x − y| / max |y| over n values (the difference relative to the reference's largest magnitude);
/// an all-zero reference compares absolutely.
inline double MaxRelDiff(const double* x, const double* y, std::size_t n) {
  double diff = 0.0, scale = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    diff = std::max(diff, AbsDiff(x[i], y[i]));
    scale = std::max(scale, std::abs(y[i]));
  }
  return scale > 0.0 ? diff / scale : diff;
}

inline double MaxRelDiff(const std::vector<double>& x, const std::vector<double>& y) {
  EXPECT_EQ(x.size(), y.size());
  return MaxRelDiff(x.data(), y.data(), std::min(x.size(), y.size()));
}

/// \brief As MaxRelDiff over the rows × cols part of two column-major matrices with their own leading dimensions
/// (`width` doubles per element: 1 real, 2 complex).
inline double MaxRelDiffMatrix(int rows, int cols, const double* x, int ldx, const double* y, int ldy,
                               int width = 1) {
  double diff = 0.0, scale = 0.0;
  for (int j = 0; j < cols; ++j) {
    for (int i = 0; i < rows * width; ++i) {
      const double xv = x[static_cast<std::size_t>(j) * ldx * width + i];
      const double yv = y[static_cast<std::size_t>(j) * ldy * width + i];
      diff = std::max(diff, AbsDiff(xv, yv));
      scale = std::max(scale, std::abs(yv));
    }
  }
  return scale > 0.0 ? diff / scale : diff;
}

}  // namespace qormtx_test
