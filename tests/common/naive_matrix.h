// The dense reference of the QORMtxMatrix tests: conversions between QORMtxMatrix and ref::Dense.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "QORMtxMatrix.h"
#include "qormtx_reference.h"

namespace naive {

using ref::Lin;
using ref::MaxAbs;
using ref::Product;
using ref::Transpose;

using ref::Dense;

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

/// A random operand, full or DIAG (then square: r == c), with its full reference.
struct Operand {
  QORMtxMatrix m;
  Dense d;
};
inline Operand RandomOperand(int r, int c, bool diag, uint32_t seed) {
  if (!diag) {
    const Dense d = Random(r, c, seed);
    return {ToMatrix(d), d};
  }
  const std::vector<double> v = RandomValues(static_cast<size_t>(r), seed);
  return {Diagonal(v), DiagonalDense(v)};
}

/// first, first + 1, ..., last.
inline std::vector<int> Range(int first, int last) {
  std::vector<int> r;
  for (int i = first; i <= last; ++i) r.push_back(i);
  return r;
}

/// x(rows[i], cols[j]).
inline Dense Pick(const Dense& x, const std::vector<int>& rows, const std::vector<int>& cols) {
  Dense p(static_cast<int>(rows.size()), static_cast<int>(cols.size()));
  for (int j = 0; j < p.cols; ++j)
    for (int i = 0; i < p.rows; ++i) p(i, j) = x(rows[i], cols[j]);
  return p;
}

/// x with s(i, j) written at (rows[i], cols[j]).
inline Dense Put(Dense x, const std::vector<int>& rows, const std::vector<int>& cols, const Dense& s) {
  for (int j = 0; j < s.cols; ++j)
    for (int i = 0; i < s.rows; ++i) x(rows[i], cols[j]) = s(i, j);
  return x;
}

/// Symmetric positive definite n × n: X·Xᵀ + n·I.
inline Dense SymmetricPositive(int n, uint32_t seed) {
  const Dense x = Random(n, n, seed);
  Dense s = Product(x, Transpose(x));
  for (int i = 0; i < n; ++i) s(i, i) += n;
  return s;
}

/// Frobenius norm.
inline double Frobenius(const Dense& x) {
  double s = 0.0;
  for (double v : x.a) s += v * v;
  return std::sqrt(s);
}

/// R + Rᵀ for a random R: symmetric, indefinite in general.
inline Dense RandomSymmetric(int n, uint32_t seed) {
  const Dense r = Random(n, n, seed);
  return Lin(1, r, 1, Transpose(r));
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
