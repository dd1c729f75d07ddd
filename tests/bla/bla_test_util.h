// Shared helpers of the QORMtxBLA tests: a fixture that restores the dispatch table, references and residuals.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "QORMtxBLA.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxMatrix.h"
#include "naive_matrix.h"

namespace bla_test {

using M = QORMtxMatrix;
using naive::Dense;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Saves and restores the hooks and the external flag, so a test may install its own.
class DispatchGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
    m_saved = Saved{QORMtxBlaUtilities::m_linAlgExternalFlag,
                    QORMtxBlaUtilities::m_multiply,
                    QORMtxBlaUtilities::m_solve,
                    QORMtxBlaUtilities::m_unsymmSolve,
                    QORMtxBlaUtilities::m_complexSolve,
                    QORMtxBlaUtilities::m_complexMultiply,
                    QORMtxBlaUtilities::m_eigenSolve,
                    QORMtxBlaUtilities::m_diagAdd};
  }
  void TearDown() override {
    QORMtxBlaUtilities::m_linAlgExternalFlag = m_saved.flag;
    QORMtxBlaUtilities::SetMultiply(m_saved.multiply);
    QORMtxBlaUtilities::SetSolve(m_saved.solve);
    QORMtxBlaUtilities::SetUnsymmSolve(m_saved.unsymmSolve);
    QORMtxBlaUtilities::SetComplexSolve(m_saved.complexSolve);
    QORMtxBlaUtilities::SetComplexMultiply(m_saved.complexMultiply);
    QORMtxBlaUtilities::SetEigenSolve(m_saved.eigenSolve);
    QORMtxBlaUtilities::SetDiagAdd(m_saved.diagAdd);
  }

 private:
  struct Saved {
    bool flag;
    QORMtxBlaUtilities::MultiplyFunc multiply;
    QORMtxBlaUtilities::SolveFunc solve, unsymmSolve, complexSolve;
    QORMtxBlaUtilities::ComplexMultiplyFunc complexMultiply;
    QORMtxBlaUtilities::EigenSolveFunc eigenSolve;
    QORMtxBlaUtilities::DiagAddFunc diagAdd;
  } m_saved{};
};

/// A matrix of the given type with the reference's values (a DIAG one takes the diagonal).
inline M Make(const Dense& d, M::MtxType type) {
  if (type != M::DIAG) return naive::ToMatrix(d, type);
  std::vector<double> diag(static_cast<size_t>(d.rows));
  for (int i = 0; i < d.rows; ++i) diag[i] = d(i, i);
  return naive::Diagonal(diag);
}

/// Random symmetric n × n reference.
inline Dense RandomSymmetric(int n, uint32_t seed) {
  Dense s = naive::Random(n, n, seed);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < j; ++i) s(i, j) = s(j, i);
  return s;
}

/// Max over the returned pairs of ‖K·x − λ·M·x‖ / (‖K‖·‖x‖), and of |XᵀMX − I|, on references.
struct PairQuality {
  double residual = 0.0;
  double orthogonality = 0.0;
  bool ascending = true;
};

inline PairQuality Quality(const Dense& K, const Dense& Mass, const M& E, const M& X) {
  PairQuality q;
  const int n = K.rows, m = X.NumberOfColumns();
  const double normK = std::max(naive::MaxAbs(K), 1e-300);
  const Dense x = naive::FromMatrix(X), kx = naive::Product(K, x), mx = naive::Product(Mass, x);
  for (int p = 0; p < m; ++p) {
    const double lambda = E.value(p, p);
    if (p > 0 && lambda < E.value(p - 1, p - 1)) q.ascending = false;
    double xmax = 0.0, r = 0.0;
    for (int i = 0; i < n; ++i) {
      xmax = std::max(xmax, std::fabs(x(i, p)));
      r = std::max(r, std::fabs(kx(i, p) - lambda * mx(i, p)));
    }
    q.residual = std::max(q.residual, r / (n * normK * std::max(xmax, 1e-300)));
    for (int p2 = 0; p2 < m; ++p2) {
      double g = 0.0;
      for (int i = 0; i < n; ++i) g += x(i, p2) * mx(i, p);
      q.orthogonality = std::max(q.orthogonality, std::fabs(g - (p == p2 ? 1.0 : 0.0)));
    }
  }
  return q;
}

}  // namespace bla_test
