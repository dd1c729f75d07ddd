// Naive dense reference for QORMtxMatrix tests: plain loops on a full column-major copy.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "QORMtxMatrix.h"

namespace naive {

/// Full column-major matrix; element (i, j) at rows·j + i.
struct Dense {
  int rows = 0;
  int cols = 0;
  std::vector<double> a;

  Dense() = default;
  Dense(int r, int c, double fill = 0.0) : rows(r), cols(c), a(static_cast<size_t>(r) * c, fill) {}
  double& operator()(int i, int j) { return a[static_cast<size_t>(rows) * j + i]; }
  double operator()(int i, int j) const { return a[static_cast<size_t>(rows) * j + i]; }
};

/// Values uniform in [-1, 1) from a fixed seed, so a failure can be replayed.
inline std::vector<double> RandomValues(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = dist(gen);
  return v;
}

inline Dense Random(int r, int c, uint32_t seed) {
  Dense d(r, c);
  d.a = RandomValues(d.a.size(), seed);
  return d;
}

/// The matrix as a full reference, read element by element through value() (zeros off a DIAG diagonal).
inline Dense FromMatrix(const QORMtxMatrix& m) {
  Dense d(m.NumberOfRows(), m.NumberOfColumns());
  for (int j = 0; j < d.cols; ++j)
    for (int i = 0; i < d.rows; ++i) d(i, j) = m.value(i, j);
  return d;
}

/// Writes a full reference into a full matrix of the same shape.
inline void Fill(QORMtxMatrix& m, const Dense& d) {
  for (int j = 0; j < d.cols; ++j)
    for (int i = 0; i < d.rows; ++i) m.FastGet(i, j) = d(i, j);
}

/// A full matrix of the given type holding the reference's values.
inline QORMtxMatrix ToMatrix(const Dense& d, QORMtxMatrix::MtxType type = QORMtxMatrix::UNKNOWN) {
  QORMtxMatrix m(d.rows, d.cols, type);
  Fill(m, d);
  return m;
}

/// A DIAG matrix with the given diagonal.
inline QORMtxMatrix Diagonal(const std::vector<double>& d) {
  QORMtxMatrix m(static_cast<int>(d.size()), static_cast<int>(d.size()), QORMtxMatrix::DIAG);
  for (size_t i = 0; i < d.size(); ++i) m.Values()[i] = d[i];
  return m;
}

inline Dense DiagonalDense(const std::vector<double>& d) {
  Dense r(static_cast<int>(d.size()), static_cast<int>(d.size()));
  for (size_t i = 0; i < d.size(); ++i) r(static_cast<int>(i), static_cast<int>(i)) = d[i];
  return r;
}

inline Dense Transpose(const Dense& x) {
  Dense t(x.cols, x.rows);
  for (int j = 0; j < x.cols; ++j)
    for (int i = 0; i < x.rows; ++i) t(j, i) = x(i, j);
  return t;
}

inline Dense Product(const Dense& x, const Dense& y) {
  Dense p(x.rows, y.cols);
  for (int j = 0; j < y.cols; ++j)
    for (int k = 0; k < x.cols; ++k)
      for (int i = 0; i < x.rows; ++i) p(i, j) += x(i, k) * y(k, j);
  return p;
}

/// Symmetric positive definite n × n: X·Xᵀ + n·I.
inline Dense SymmetricPositive(int n, uint32_t seed) {
  const Dense x = Random(n, n, seed);
  Dense s = Product(x, Transpose(x));
  for (int i = 0; i < n; ++i) s(i, i) += n;
  return s;
}

/// Largest |x|, for relative tolerances.
inline double MaxAbs(const Dense& x) {
  double m = 0.0;
  for (double v : x.a) m = std::max(m, std::fabs(v));
  return m;
}

/// Every element of m (read through value()) within tol·max(1, max|expected|) of the reference.
inline ::testing::AssertionResult Near(const QORMtxMatrix& m, const Dense& expected, double tol = 1e-12) {
  if (m.NumberOfRows() != expected.rows || m.NumberOfColumns() != expected.cols)
    return ::testing::AssertionFailure() << "shape " << m.NumberOfRows() << "x" << m.NumberOfColumns() << ", expected "
                                         << expected.rows << "x" << expected.cols;
  const double bound = tol * std::max(1.0, MaxAbs(expected));
  for (int j = 0; j < expected.cols; ++j)
    for (int i = 0; i < expected.rows; ++i)
      if (!(std::fabs(m.value(i, j) - expected(i, j)) <= bound))
        return ::testing::AssertionFailure()
               << "element (" << i << ", " << j << ") is " << m.value(i, j) << ", expected " << expected(i, j);
  return ::testing::AssertionSuccess();
}

}  // namespace naive
