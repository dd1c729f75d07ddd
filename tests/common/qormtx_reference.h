// The tests' one reference vocabulary: a column-major dense matrix with textbook operations, one seeded and logged
// random source, and a helper that puts a reference matrix into a store database with given chunks.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "QORMtxDenseMatrix.h"
#include "QORMtxUtilities.h"
#include "QORSimCollection.h"
#include "QORSimDatabase.h"

namespace ref {

/// \brief The seed of the random tests: QORMTX_TEST_SEED when set, else a fixed value; logged with each test.
inline std::uint64_t Seed() {
  static const std::uint64_t seed = [] {
    const char* env = std::getenv("QORMTX_TEST_SEED");
    return env ? std::strtoull(env, nullptr, 10) : std::uint64_t{20240611};
  }();
  // Logged once per test, however many sources the test draws.
  static const ::testing::TestInfo* logged = nullptr;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (test != logged) {
    logged = test;
    ::testing::Test::RecordProperty("seed", std::to_string(seed));
    std::cout << "[ seed     ] QORMTX_TEST_SEED=" << seed << "\n";
  }
  return seed;
}

/// \brief A generator from Seed() and a per-use salt, so that tests stay independent of their order.
inline std::mt19937_64 Rng(std::uint64_t salt = 0) { return std::mt19937_64(Seed() * 1000003u + salt); }

/// \brief n values uniform in [lo, hi).
inline std::vector<double> RandomValues(std::size_t n, std::mt19937_64& rng, double lo = -1.0, double hi = 1.0) {
  std::uniform_real_distribution<double> dist(lo, hi);
  std::vector<double> v(n);
  for (double& x : v) x = dist(rng);
  return v;
}

/// \brief A full column-major rows × cols matrix; element (i, j) at rows·j + i.
struct Dense {
  int rows = 0;
  int cols = 0;
  std::vector<double> a;

  Dense() = default;
  Dense(int r, int c, double fill = 0.0) : rows(r), cols(c), a(static_cast<std::size_t>(r) * c, fill) {}
  double& operator()(int i, int j) { return a[static_cast<std::size_t>(rows) * j + i]; }
  double operator()(int i, int j) const { return a[static_cast<std::size_t>(rows) * j + i]; }

  /// Rows r0 … r1 and columns c0 … c1 (inclusive) as a matrix of their own.
  Dense Block(int r0, int r1, int c0, int c1) const {
    Dense b(r1 - r0 + 1, c1 - c0 + 1);
    for (int j = 0; j < b.cols; ++j)
      for (int i = 0; i < b.rows; ++i) b(i, j) = (*this)(r0 + i, c0 + j);
    return b;
  }
  /// Writes b with its (0, 0) at (r0, c0).
  void SetBlock(int r0, int c0, const Dense& b) {
    for (int j = 0; j < b.cols; ++j)
      for (int i = 0; i < b.rows; ++i) (*this)(r0 + i, c0 + j) = b(i, j);
  }
};

/// \brief Values uniform in [-1, 1) from the logged seed and a salt.
inline Dense Random(int r, int c, std::uint64_t salt) {
  std::mt19937_64 rng = Rng(salt);
  Dense d(r, c);
  d.a = RandomValues(d.a.size(), rng);
  return d;
}

inline Dense Transpose(const Dense& x) {
  Dense t(x.cols, x.rows);
  for (int j = 0; j < x.cols; ++j)
    for (int i = 0; i < x.rows; ++i) t(j, i) = x(i, j);
  return t;
}

/// \brief x·y by the triple loop.
inline Dense Product(const Dense& x, const Dense& y) {
  Dense p(x.rows, y.cols);
  for (int j = 0; j < y.cols; ++j)
    for (int k = 0; k < x.cols; ++k)
      for (int i = 0; i < x.rows; ++i) p(i, j) += x(i, k) * y(k, j);
  return p;
}

/// \brief a·x + b·y element by element (shapes must agree).
inline Dense Lin(double a, const Dense& x, double b, const Dense& y) {
  Dense r = x;
  for (std::size_t k = 0; k < r.a.size(); ++k) r.a[k] = a * x.a[k] + b * y.a[k];
  return r;
}

/// \brief Largest |x|, for relative tolerances.
inline double MaxAbs(const Dense& x) {
  double m = 0.0;
  for (double v : x.a) m = std::max(m, std::fabs(v));
  return m;
}

/// \brief Every element of x within tol·max(1, max|y|) of y, naming the first that is not (NaN never passes).
inline ::testing::AssertionResult Near(const Dense& x, const Dense& y, double tol = 1e-12) {
  if (x.rows != y.rows || x.cols != y.cols)
    return ::testing::AssertionFailure() << "shape " << x.rows << "x" << x.cols << ", expected " << y.rows << "x"
                                         << y.cols;
  const double bound = tol * std::max(1.0, MaxAbs(y));
  for (int j = 0; j < y.cols; ++j)
    for (int i = 0; i < y.rows; ++i)
      if (!(std::fabs(x(i, j) - y(i, j)) <= bound))
        return ::testing::AssertionFailure()
               << "element (" << i << ", " << j << ") is " << x(i, j) << ", expected " << y(i, j);
  return ::testing::AssertionSuccess();
}

/// \brief A new stored rows × cols matrix of doubles in the context, chunked rowChunk × colChunk as
/// Create2DDistribution takes them, holding the reference's values.
inline QORSimDistributionID Store(const QORSimContextID& context, const Dense& d, int rowChunk, int colChunk) {
  QORSimContext ctx(context);
  const QORSimCSetID rows = QORSimCollection(ctx.CreateCollection(d.rows)).BiggestCSetID();
  const QORSimCSetID cols = QORSimCollection(ctx.CreateCollection(d.cols)).BiggestCSetID();
  const QORSimDistributionID id = QORMtxUtilities::Create2DDistribution(rows, cols, rowChunk, colChunk);
  if (d.rows > 0 && d.cols > 0) QORMtxDenseMatrix(id).SetValues(0, d.rows - 1, 0, d.cols - 1, d.a.data());
  return id;
}

/// \brief The whole stored matrix as a reference.
inline Dense Load(const QORMtxDenseMatrix& m) {
  Dense d(m.NumberOfRows(), m.NumberOfColumns());
  if (d.rows > 0 && d.cols > 0) m.GetValues(0, d.rows - 1, 0, d.cols - 1, d.a.data());
  return d;
}

}  // namespace ref
