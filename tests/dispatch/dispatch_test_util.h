// Shared helpers of the dispatch tests: seeded random fill, naive products, setting snapshots.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

#include "QORMtxBlaUtilities.h"

namespace dispatch_test {

typedef std::complex<double> cplx;

inline std::mt19937& Rng() {
  static std::mt19937 rng([] {
    const unsigned seed = 20240611u;
    std::printf("dispatch tests: random seed %u\n", seed);
    return seed;
  }());
  return rng;
}

inline std::vector<double> Random(size_t n, double lo = -1.0, double hi = 1.0) {
  std::uniform_real_distribution<double> d(lo, hi);
  std::vector<double> v(n);
  for (double& x : v) x = d(Rng());
  return v;
}

inline cplx Z(const std::vector<double>& a, size_t k) { return cplx(a[2 * k], a[2 * k + 1]); }

/// Element (i, j) of op(A) for a column-major A with leading dimension lda; complex when cplx.
inline cplx OpElem(char trans, const std::vector<double>& A, int lda, int i, int j, bool isComplex) {
  const bool t = trans != 'N' && trans != 'n';
  const int r = t ? j : i, c = t ? i : j;
  const size_t k = static_cast<size_t>(lda) * c + r;
  if (!isComplex) return cplx(A[k], 0.0);
  cplx v = Z(A, k);
  return (trans == 'C' || trans == 'c') ? std::conj(v) : v;
}

/// An element reader (i, j) → value, so that naive products can mix stored, transposed and computed matrices.
typedef std::function<cplx(int, int)> Elem;
inline Elem Mat(const std::vector<double>& A, int lda, bool isComplex, char trans = 'N') {
  return [&A, lda, isComplex, trans](int i, int j) { return OpElem(trans, A, lda, i, j, isComplex); };
}

/// max |(X·Y)(i, j) − Z(i, j)| over m × n with inner dimension k, divided by max(1, max |Z|).
inline double ProductError(const Elem& x, const Elem& y, const Elem& z, int m, int n, int k) {
  double err = 0, ref = 1;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      cplx s = 0;
      for (int l = 0; l < k; ++l) s += x(i, l) * y(l, j);
      err = std::max(err, std::abs(s - z(i, j))), ref = std::max(ref, std::abs(z(i, j)));
    }
  return err / ref;
}

/// Every setting and hook of the dispatch table, as references, so that a test's changes can be undone.
inline auto Table() {
  typedef QORMtxBlaUtilities BU;
  return std::tie(BU::m_linAlgExternalFlag, BU::m_numThreads, BU::m_threadsBlas1, BU::m_maxThreadsBlas1, BU::m_blkSize,
                  BU::m_zeroPivotTol, BU::m_zgemm3mFlag, BU::m_numGpus, BU::m_multiply, BU::m_complexMultiply,
                  BU::m_solve, BU::m_unsymmSolve, BU::m_complexSolve, BU::m_complexUnsymmSolve, BU::m_eigenSolve,
                  BU::m_scale, BU::m_diagAdd);
}
template <class... T>
std::tuple<T...> Copy(const std::tuple<T&...>& refs) {
  return refs;
}

/// Restores every setting and hook of the dispatch table when a test ends.
class DispatchFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
    m_saved = Copy(Table());
  }
  void TearDown() override { Table() = m_saved; }

 private:
  decltype(Copy(Table())) m_saved;
};

}  // namespace dispatch_test
