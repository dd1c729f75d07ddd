// Shared helpers of the QORMtxBLA tests: the dispatch table guard, typed operands and eigen pair quality.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "../dispatch/dispatch_test_util.h"
#include "QORMtxBLA.h"
#include "QORMtxBlaUtilities.h"
#include "naive_matrix.h"

namespace bla_test {

using M = QORMtxMatrix;
using B = QORMtxBLA;
using naive::Dense;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Restores every hook and setting of the dispatch table a test changes.
using DispatchGuard = dispatch_test::DispatchFixture;

/// The reference with zeros off the diagonal.
inline Dense DiagonalPart(const Dense& d) {
  Dense r(d.rows, d.cols);
  for (int i = 0; i < std::min(d.rows, d.cols); ++i) r(i, i) = d(i, i);
  return r;
}

/// A matrix of the given type with the reference's values (a DIAG one takes the diagonal).
inline M Make(const Dense& d, M::MtxType type) {
  if (type != M::DIAG) return naive::ToMatrix(d, type);
  std::vector<double> diag(static_cast<size_t>(d.rows));
  for (int i = 0; i < d.rows; ++i) diag[i] = d(i, i);
  return naive::Diagonal(diag);
}

using naive::RandomSymmetric;

/// Over the returned pairs: max ‖K·x − λ·M·x‖∞ / (n·‖K‖·‖x‖), max |XᵀMX − I|, and whether λ ascends.
struct PairQuality {
  double residual = 0.0, orthogonality = 0.0;
  bool ascending = true;
};

inline PairQuality Quality(const Dense& K, const Dense& Mass, const M& E, const M& X) {
  PairQuality q;
  const int n = K.rows, m = X.NumberOfColumns();
  const Dense x = naive::FromMatrix(X), kx = naive::Product(K, x), mx = naive::Product(Mass, x);
  for (int p = 0; p < m; ++p) {
    const double lambda = E.value(p, p);
    q.ascending = q.ascending && (p == 0 || lambda >= E.value(p - 1, p - 1));
    double xmax = 1e-300, r = 0.0;
    for (int i = 0; i < n; ++i) {
      xmax = std::max(xmax, std::fabs(x(i, p)));
      r = std::max(r, std::fabs(kx(i, p) - lambda * mx(i, p)));
    }
    q.residual = std::max(q.residual, r / (n * naive::MaxAbs(K) * xmax));
    for (int p2 = 0; p2 < m; ++p2) {
      double g = p == p2 ? -1.0 : 0.0;
      for (int i = 0; i < n; ++i) g += x(i, p2) * mx(i, p);
      q.orthogonality = std::max(q.orthogonality, std::fabs(g));
    }
  }
  return q;
}

}  // namespace bla_test
