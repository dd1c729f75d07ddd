// Shared helpers of the dispatch and QORMtxBLA tests: seeded values, element readers for naive products, and a
// fixture that restores the whole dispatch table.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <functional>
#include <tuple>
#include <vector>

#include "QORMtxBlaUtilities.h"
#include "naive_dense.h"

namespace dispatch_test {

typedef std::complex<double> cplx;

/// n values uniform in [lo, hi) from the logged test seed.
inline std::vector<double> Random(size_t n, double lo = -1.0, double hi = 1.0) {
  static std::mt19937_64 rng = qormtx_test::Rng(17);
  return qormtx_test::RandomVector(n, rng, lo, hi);
}

inline cplx Z(const std::vector<double>& a, size_t k) { return cplx(a[2 * k], a[2 * k + 1]); }

/// An element reader (i, j) → value, so that naive products can mix stored, transposed and computed matrices.
typedef std::function<cplx(int, int)> Elem;
/// op(A) of a column-major A with leading dimension lda (complex units when isComplex); trans 'N', 'T' or 'C'.
inline Elem Mat(const std::vector<double>& A, int lda, bool isComplex, char trans = 'N') {
  return [&A, lda, isComplex, trans](int i, int j) {
    return isComplex ? qormtx_test::ZOpAt(A.data(), lda, trans, i, j)
                     : cplx(qormtx_test::OpAt(A.data(), lda, trans, i, j));
  };
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
