// QORMtxModalSolver: restarted block shift-and-invert Krylov iteration on one sparse factorisation.
#include "QORMtxModalSolver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <random>

#include "QORMtxBLA.h"
#include "QORMtxSparseFactor.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"

namespace {

using Op = QORMtxBLA::Operation;

/// Column-major n × m block of a larger array: columns [c0, c0 + m) of an n-row array.
struct Cols {
  double* p;
  int n, m;
  QORMtxMatrix View() const { return QORMtxMatrix(n, m, p); }
  double* Col(int j) const { return p + static_cast<long long>(j) * n; }
};

/// C = alpha·op(A)·op(B) + beta·C on plain column-major arrays.
void Gemm(double alpha, const Cols& A, Op opA, const Cols& B, Op opB, double beta, const Cols& C) {
  if (A.n == 0 || A.m == 0 || B.n == 0 || B.m == 0 || C.n == 0 || C.m == 0) return;
  const QORMtxMatrix a = A.View(), b = B.View();
  QORMtxMatrix c = C.View();
  QORMtxBLA::Multiply(alpha, a, opA, b, opB, beta, c, QORMtxBLA::UNKNOWN, 0);
}

/// Infinity norm of a symmetric sparse matrix (the mirrored entries of symmetric storage counted).
double InfNorm(const QORMtxSparseMatrix& A) {
  std::vector<double> rowSum(A.NumberOfRows(), 0.0);
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    rowSum[e.m_row] += std::fabs(e.m_value);
    if (it.IsSymmetric() && e.m_row != e.m_col) rowSum[e.m_col] += std::fabs(e.m_value);
  }
  return rowSum.empty() ? 0.0 : *std::max_element(rowSum.begin(), rowSum.end());
}

double ColInfNorm(const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s = std::max(s, std::fabs(x[i]));
  return s;
}

/// The growing M-orthonormal basis V with M·V beside it, so that projections never multiply by M twice.
class Basis {
 public:
  Basis(const QORMtxSparseMatrix& M, int n, int capacity)
      : m_M(M), m_n(n), m_v(static_cast<size_t>(n) * capacity), m_mv(static_cast<size_t>(n) * capacity) {}
  int Size() const { return m_size; }
  Cols V(int c0, int m) { return {m_v.data() + static_cast<long long>(c0) * m_n, m_n, m}; }
  Cols MV(int c0, int m) { return {m_mv.data() + static_cast<long long>(c0) * m_n, m_n, m}; }
  /// Columns [Size(), Size() + b) hold new vectors: orthonormalise them against the basis and among themselves,
  /// dropping directions that are numerically dependent. Two rounds: the first leaves errors of the size of the
  /// cancellation, the second removes them (twice is enough). Returns how many were kept.
  int Append(int b) {
    for (int round = 0; round < 2 && b > 0; ++round) b = Orthonormalise(b);
    m_size += b;
    return b;
  }
  void Truncate(int size) { m_size = size; }

 private:
  /// One round of Append: returns the number of columns kept, packed at the front of the new block.
  int Orthonormalise(int b) {
    const int c = m_size;
    Cols B = V(c, b), W = MV(c, b);
    m_M.Multiply(B.p, b, W.p, false);
    // The largest M-norm before projection is what "numerically dependent" is measured against.
    double reference = 0.0;
    for (int j = 0; j < b; ++j) {
      double d = 0.0;
      for (int i = 0; i < m_n; ++i) d += B.Col(j)[i] * W.Col(j)[i];
      reference = std::max(reference, d);
    }
    if (c > 0) {
      std::vector<double> coef(static_cast<size_t>(c) * b);
      Cols C{coef.data(), c, b};
      Gemm(1.0, V(0, c), QORMtxBLA::TRANS, W, QORMtxBLA::NOOP, 0.0, C);
      Gemm(-1.0, V(0, c), QORMtxBLA::NOOP, C, QORMtxBLA::NOOP, 1.0, B);
      Gemm(-1.0, MV(0, c), QORMtxBLA::NOOP, C, QORMtxBLA::NOOP, 1.0, W);
    }
    // Within the block: G = Bᵀ·M·B = Q·Λ·Qᵀ; B·Q·Λ^(-1/2) over the eigenvalues well above round-off.
    QORMtxMatrix G(b, b, QORMtxMatrix::SYMM), E, Q, none;
    Gemm(1.0, B, QORMtxBLA::TRANS, W, QORMtxBLA::NOOP, 0.0, {G.Values(), b, b});
    QORMtxBLA::EigenSolve(G, none, E, Q, 0.0, 0.0, 0);
    std::vector<int> keep;
    for (int j = 0; j < E.NumberOfRows(); ++j)
      if (E.Values()[j] > 1e-10 * reference) keep.push_back(j);
    const int r = static_cast<int>(keep.size());
    if (r == 0) return 0;
    std::vector<double> T(static_cast<size_t>(b) * r);
    for (int j = 0; j < r; ++j)
      for (int i = 0; i < b; ++i)
        T[static_cast<size_t>(j) * b + i] =
            Q.Values()[static_cast<size_t>(keep[j]) * b + i] / std::sqrt(E.Values()[keep[j]]);
    std::vector<double> nb(static_cast<size_t>(m_n) * r), nw(nb.size());
    Gemm(1.0, B, QORMtxBLA::NOOP, {T.data(), b, r}, QORMtxBLA::NOOP, 0.0, {nb.data(), m_n, r});
    Gemm(1.0, W, QORMtxBLA::NOOP, {T.data(), b, r}, QORMtxBLA::NOOP, 0.0, {nw.data(), m_n, r});
    std::copy(nb.begin(), nb.end(), B.p);
    std::copy(nw.begin(), nw.end(), W.p);
    return r;
  }

  const QORMtxSparseMatrix& m_M;
  int m_n;
  std::vector<double> m_v, m_mv;
  int m_size = 0;
};

}  // namespace

QORMtxModalResult QORMtxModalSolver::Solve(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M,
                                           const QORMtxModalOptions& options) {
  QORMtxModalResult result;
  const int n = K.NumberOfRows();
  QORMtxSparseFactor factor;
  if (factor.Factor(K, &M, options.shift) != QORMtxSparseFactor::e_ok) {
    result.status = 1;
    result.message = factor.Message();
    return result;
  }
  const int k = std::min(options.count, n);
  if (k <= 0) return result;
  const int p = std::min(n, options.blockSize > 0 ? std::max(options.blockSize, k) : k + 8);
  const int depth = options.depth > 0 ? options.depth : std::max(1, (std::max(20 * k, 400) + p - 1) / p - 1);
  const int capacity = std::min(n, p * (depth + 1));
  const double normK = InfNorm(K), normM = InfNorm(M);

  Basis basis(M, n, capacity);
  std::vector<double> mx(static_cast<size_t>(n) * p), kv(static_cast<size_t>(n) * capacity);
  // Start from S applied to seeded random vectors: the start then already lies in the span of the finite modes.
  {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Cols X = basis.V(0, p);
    for (long long i = 0; i < static_cast<long long>(n) * p; ++i) mx[i] = u(rng);
    M.Multiply(mx.data(), p, X.p, false);
    factor.Solve(X.p, p, n);
    basis.Append(p);
  }
  std::vector<double> theta;
  std::vector<int> order;
  for (int iter = 1; iter <= options.maxIterations; ++iter) {
    result.iterations = iter;
    // Krylov blocks S·X, S²·X, ... while room is left and the previous block was not exhausted.
    int last = 0, lastSize = basis.Size();
    while (basis.Size() < capacity && lastSize > 0) {
      const int b = std::min(lastSize, capacity - basis.Size());
      Cols next = basis.V(basis.Size(), b);
      std::copy(basis.MV(last, b).p, basis.MV(last, b).p + static_cast<long long>(n) * b, next.p);
      factor.Solve(next.p, b, n);
      last = basis.Size();
      lastSize = basis.Append(b);
      if (basis.Size() >= std::min(capacity, p * (depth + 1))) break;
    }
    // Rayleigh–Ritz on the basis: (Vᵀ·K·V)·y = θ·(Vᵀ·M·V)·y.
    const int m = basis.Size();
    Cols KV{kv.data(), n, m};
    K.Multiply(basis.V(0, m).p, m, KV.p, false);
    QORMtxMatrix A(m, m, QORMtxMatrix::SYMM), B(m, m, QORMtxMatrix::SYMM), E, Y;
    Gemm(1.0, basis.V(0, m), QORMtxBLA::TRANS, KV, QORMtxBLA::NOOP, 0.0, {A.Values(), m, m});
    Gemm(1.0, basis.V(0, m), QORMtxBLA::TRANS, basis.MV(0, m), QORMtxBLA::NOOP, 0.0, {B.Values(), m, m});
    for (int j = 0; j < m; ++j)
      for (int i = j + 1; i < m; ++i) {
        double* a = A.Values();
        double* bb = B.Values();
        a[i + static_cast<long long>(j) * m] = a[j + static_cast<long long>(i) * m] =
            0.5 * (a[i + static_cast<long long>(j) * m] + a[j + static_cast<long long>(i) * m]);
        bb[i + static_cast<long long>(j) * m] = bb[j + static_cast<long long>(i) * m] =
            0.5 * (bb[i + static_cast<long long>(j) * m] + bb[j + static_cast<long long>(i) * m]);
      }
    const int status = QORMtxBLA::EigenSolve(A, B, E, Y, 0.0, 0.0, 0);
    if (status != 0 || E.NumberOfRows() < std::min(p, m)) {
      result.status = 2;
      result.message = "the projected pencil could not be solved (status " + std::to_string(status) + ")";
      return result;
    }
    // The Ritz pairs nearest the shift become the next block, ascending.
    const int found = E.NumberOfRows(), keep = std::min(p, found);
    order.resize(found);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return std::fabs(E.Values()[a] - options.shift) < std::fabs(E.Values()[b] - options.shift);
    });
    order.resize(keep);
    std::sort(order.begin(), order.end());
    std::vector<double> Ysel(static_cast<size_t>(m) * keep);
    theta.resize(keep);
    for (int j = 0; j < keep; ++j) {
      theta[j] = E.Values()[order[j]];
      std::copy(Y.Values() + static_cast<long long>(order[j]) * m, Y.Values() + static_cast<long long>(order[j] + 1) * m,
                Ysel.begin() + static_cast<long long>(j) * m);
    }
    Cols Ys{Ysel.data(), m, keep};
    std::vector<double> x(static_cast<size_t>(n) * keep), kx(x.size());
    Gemm(1.0, basis.V(0, m), QORMtxBLA::NOOP, Ys, QORMtxBLA::NOOP, 0.0, {x.data(), n, keep});
    Gemm(1.0, KV, QORMtxBLA::NOOP, Ys, QORMtxBLA::NOOP, 0.0, {kx.data(), n, keep});
    Gemm(1.0, basis.MV(0, m), QORMtxBLA::NOOP, Ys, QORMtxBLA::NOOP, 0.0, {mx.data(), n, keep});
    // Backward errors of the wanted pairs.
    result.eigenvalues.assign(theta.begin(), theta.begin() + k);
    result.backwardErrors.assign(k, 0.0);
    result.residuals.assign(k, 0.0);
    int converged = 0;
    double worst = 0.0;
    for (int j = 0; j < k; ++j) {
      const double* xj = &x[static_cast<size_t>(j) * n];
      const double* kxj = &kx[static_cast<size_t>(j) * n];
      const double* mxj = &mx[static_cast<size_t>(j) * n];
      double r = 0.0;
      for (int i = 0; i < n; ++i) r = std::max(r, std::fabs(kxj[i] - theta[j] * mxj[i]));
      const double xn = ColInfNorm(xj, n);
      const double den = (normK + std::fabs(theta[j]) * normM) * xn;
      result.backwardErrors[j] = den > 0.0 ? r / den : r;
      const double kn = ColInfNorm(kxj, n);
      result.residuals[j] = kn > 0.0 ? r / kn : r;
      if (result.backwardErrors[j] <= options.tolerance) ++converged;
      worst = std::max(worst, result.backwardErrors[j]);
    }
    if (options.progress) options.progress(iter, converged, worst);
    // The new block replaces the basis; its M-products are known already.
    std::copy(x.begin(), x.end(), basis.V(0, keep).p);
    std::copy(mx.begin(), mx.begin() + static_cast<long long>(n) * keep, basis.MV(0, keep).p);
    basis.Truncate(keep);
    if (converged == k || m == n) {
      if (converged < k) {
        // The whole space was spanned: the pairs are as exact as the projected solve can make them.
        result.status = 2;
      }
      break;
    }
    if (iter == options.maxIterations) result.status = 2;
  }
  if (result.status == 2) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "not converged after %d iterations: largest backward error %.3g (tolerance %.3g)",
                  result.iterations,
                  *std::max_element(result.backwardErrors.begin(), result.backwardErrors.end()), options.tolerance);
    result.message = buf;
  }
  result.modes.Reset(n, k);
  std::copy(basis.V(0, k).p, basis.V(0, k).p + static_cast<long long>(n) * k, result.modes.Values());
  return result;
}
