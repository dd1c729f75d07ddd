// Reference for the complex matrix tests: a full column-major std::complex<double> copy and plain loops.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <vector>

#include "QORMtxComplexMatrix.h"
#include "naive_matrix.h"

namespace cref {

using Z = std::complex<double>;

struct Ref {
  int rows, cols;
  std::vector<Z> a;
  Ref(int r, int c) : rows(r), cols(c), a(static_cast<size_t>(r) * c) {}
  Z& operator()(int i, int j) { return a[static_cast<size_t>(rows) * j + i]; }
  Z operator()(int i, int j) const { return a[static_cast<size_t>(rows) * j + i]; }
};

/// Both parts uniform in [-1, 1), from a fixed seed.
inline Ref Random(int r, int c, uint32_t seed) {
  Ref x(r, c);
  const std::vector<double> v = naive::RandomValues(2 * x.a.size(), seed);
  for (size_t k = 0; k < x.a.size(); ++k) x.a[k] = Z(v[2 * k], v[2 * k + 1]);
  return x;
}

/// Entry (i, j) read straight from the interleaved array; 0 off the diagonal of a DIAG matrix.
inline Z At(const QORMtxComplexMatrix& m, int i, int j) {
  if (m.IsDiagonal() && i != j) return 0.0;
  return Z(m.Values(i, j)[0], m.Values(i, j)[1]);
}

/// A matrix of the given type holding the reference (its diagonal only for DIAG).
inline QORMtxComplexMatrix ToMatrix(const Ref& x, QORMtxComplexMatrix::MtxType type = QORMtxComplexMatrix::UNKNOWN) {
  QORMtxComplexMatrix m(x.rows, x.cols, type);
  for (int j = 0; j < x.cols; ++j)
    for (int i = 0; i < x.rows; ++i)
      if (type != QORMtxComplexMatrix::DIAG || i == j) {
        m.Values(i, j)[0] = x(i, j).real();
        m.Values(i, j)[1] = x(i, j).imag();
      }
  return m;
}

/// Every entry of m within tol·max(1, max|expected|) of the reference; tol 0 asks for equality.
inline ::testing::AssertionResult Near(const QORMtxComplexMatrix& m, const Ref& expected, double tol = 1e-14) {
  if (m.NumberOfRows() != expected.rows || m.NumberOfColumns() != expected.cols)
    return ::testing::AssertionFailure() << "shape " << m.NumberOfRows() << "x" << m.NumberOfColumns();
  double scale = 1.0;
  for (const Z& z : expected.a) scale = std::max(scale, std::abs(z));
  for (int j = 0; j < expected.cols; ++j)
    for (int i = 0; i < expected.rows; ++i)
      if (!(std::abs(At(m, i, j) - expected(i, j)) <= tol * scale))
        return ::testing::AssertionFailure()
               << "entry (" << i << ", " << j << ") is " << At(m, i, j) << ", expected " << expected(i, j);
  return ::testing::AssertionSuccess();
}

}  // namespace cref
