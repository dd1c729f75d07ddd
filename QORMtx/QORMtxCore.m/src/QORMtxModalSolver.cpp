// QORMtxModalSolver: thick-restarted block shift-and-invert Krylov iteration on one sparse factorisation.
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

/// The mean of a square column-major array and its transpose, in place: projections are symmetric only up to
/// round-off, and the eigen kernel reads one triangle.
void Symmetrise(double* a, int m) {
  for (int j = 0; j < m; ++j)
    for (int i = j + 1; i < m; ++i) {
      double& lower = a[i + static_cast<long long>(j) * m];
      double& upper = a[j + static_cast<long long>(i) * m];
      lower = upper = 0.5 * (lower + upper);
    }
}

double ColInfNorm(const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s = std::max(s, std::fabs(x[i]));
  return s;
}

/// The M-orthonormal basis V with M·V, K·V and S·V beside it (S = (K - sigma·M)⁻¹·M), so that projections and
/// Ritz vectors never multiply or solve twice. Columns [0, Size()) are the basis; the rest is room for new
/// vectors. K·V and S·V are filled by the solver as it needs them.
class Basis {
 public:
  Basis(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M, int n, int capacity)
      : m_K(K), m_M(M), m_n(n), m_capacity(capacity), m_v(static_cast<size_t>(n) * capacity),
        m_mv(m_v.size()), m_kv(m_v.size()), m_sv(m_v.size()) {}
  int Size() const { return m_size; }
  int Capacity() const { return m_capacity; }
  bool Indefinite() const { return m_indefinite; }
  Cols V(int c0, int m) { return {m_v.data() + static_cast<long long>(c0) * m_n, m_n, m}; }
  Cols MV(int c0, int m) { return {m_mv.data() + static_cast<long long>(c0) * m_n, m_n, m}; }
  Cols KV(int c0, int m) { return {m_kv.data() + static_cast<long long>(c0) * m_n, m_n, m}; }
  Cols SV(int c0, int m) { return {m_sv.data() + static_cast<long long>(c0) * m_n, m_n, m}; }
  /// Columns [Size(), Size() + b) hold new vectors: orthonormalise them against the basis and among themselves,
  /// dropping directions that are numerically dependent. Two rounds: the first leaves errors of the size of the
  /// cancellation, the second removes them (twice is enough). Returns how many were kept.
  int Append(int b) {
    for (int round = 0; round < 2 && b > 0 && !m_indefinite; ++round) b = Orthonormalise(b);
    if (m_indefinite) b = 0;
    m_size += b;
    return b;
  }
  void ComputeK(int c0, int m) {
    if (m > 0) m_K.Multiply(V(c0, m).p, m, KV(c0, m).p, false);
  }
  /// Replaces the columns from c0 on by the given n-row blocks (V, M·V, K·V, S·V), the basis ending after them.
  void Replace(int c0, const std::vector<double> (&blocks)[4], int l) {
    const size_t len = static_cast<size_t>(m_n) * l;
    const Cols to[4] = {V(c0, l), MV(c0, l), KV(c0, l), SV(c0, l)};
    for (int a = 0; a < 4; ++a) std::copy(blocks[a].begin(), blocks[a].begin() + len, to[a].p);
    m_size = c0 + l;
  }
  /// Moves columns [from, from + m) of V and M·V to the end of the basis (from >= Size()).
  void Adopt(int from, int m) {
    if (from != m_size) {
      std::copy(V(from, m).p, V(from, m).p + static_cast<long long>(m_n) * m, V(m_size, m).p);
      std::copy(MV(from, m).p, MV(from, m).p + static_cast<long long>(m_n) * m, MV(m_size, m).p);
    }
    m_size += m;
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
      reference = std::max(reference, std::fabs(d));
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
    for (int j = 0; j < E.NumberOfRows(); ++j) {
      // A direction of clearly negative M-norm: M is indefinite and the M inner product meaningless.
      if (E.Values()[j] < -1e-8 * reference) m_indefinite = true;
      if (E.Values()[j] > 1e-14 * reference) keep.push_back(j);
    }
    const int r = static_cast<int>(keep.size());
    if (r == 0 || m_indefinite) return 0;
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

  const QORMtxSparseMatrix& m_K;
  const QORMtxSparseMatrix& m_M;
  int m_n, m_capacity;
  std::vector<double> m_v, m_mv, m_kv, m_sv;
  int m_size = 0;
  bool m_indefinite = false;
};

constexpr int kModeRowChunk = 8192;  // rows per block of the stored modes

const char* const kIndefiniteMass = "M is not positive semidefinite: the pencil has no lowest modes";

/// One Ritz pair's place and quality.
struct Pair {
  double theta = 0.0, backward = 0.0, residual = 0.0;
  /// ‖S·x - μ·x‖ / |μ| in the M-norm, μ = xᵀ·M·S·x. On a stiff model the backward error cannot see an x that
  /// mixes nearly equal modes (‖K‖ dwarfs their differences); this residual of the shift-inverted problem can.
  double shifted = 0.0;
  int column = -1;  ///< active: its Ritz index
  int vector = -1;  ///< its purified vector: in the locked store when locked, else among this restart's candidates
  bool locked = false;
};

/// What a pair is judged by: the larger of its backward error and the square of 100 times its shift-inverted
/// residual. The eigenvalue's relative error is about the square of that residual over the relative gap to the
/// modes outside its cluster; inside a cluster as tight as bcsstk25's (10⁻⁹ apart) a residual of 10⁻⁶ still lets
/// the vectors mix and the eigenvalues drift by 10⁻⁷, 10⁻⁸ pins them to about 10⁻¹² in a few more restarts.
double Error(const Pair& p) { return std::max(p.backward, 1e4 * p.shifted * p.shifted); }
bool Converged(const Pair& p, double tolerance) { return Error(p) <= tolerance; }

/// Eigenvalue estimate, backward error and residual of the M-normalised vector y from its products K·y and M·y.
void Measure(const double* y, const double* ky, const double* my, int n, double normK, double normM, Pair& p) {
  p.theta = 0.0;
  for (int i = 0; i < n; ++i) p.theta += y[i] * ky[i];
  double r = 0.0;
  for (int i = 0; i < n; ++i) r = std::max(r, std::fabs(ky[i] - p.theta * my[i]));
  const double den = (normK + std::fabs(p.theta) * normM) * ColInfNorm(y, n);
  p.backward = den > 0.0 ? r / den : r;
  const double kn = ColInfNorm(ky, n);
  p.residual = kn > 0.0 ? r / kn : r;
}

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
  const double normK = InfNorm(K), normM = InfNorm(M);
  // An indefinite M has no lowest modes: its negative directions hold eigenvalues below any shift, and the M
  // inner product the iteration relies on is none. M + 1e-10·‖M‖·I factorises exactly when M is positive
  // semidefinite to that level (massless unknowns pass).
  {
    QORMtxSparseMatrix D;
    D.Reset(n, n);
    D.BeginAssembly(false);
    for (int i = 0; i < n; ++i) D.AddData(i, i, 1e-10 * normM, false);
    D.EndAssembly(true);
    QORMtxSparseFactor massFactor;
    if (massFactor.Factor(M, &D, -1.0) == QORMtxSparseFactor::e_indefinite) {
      result.status = 3;
      result.message = kIndefiniteMass;
      return result;
    }
  }
  const double sigma = options.shift;
  const int b = std::min(n, options.blockSize > 0 ? options.blockSize : k + 8);
  const int m = std::min(n, std::max(options.basisSize > 0 ? options.basisSize : std::max(6 * k + 2 * b, 200), k + b));
  const int capacity = std::min(n, m + b);  // room for the continuation block beyond the projected basis

  Basis basis(K, M, n, capacity);
  std::mt19937_64 rng(20261207);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  // Appends S·M·(random block): such vectors already lie in the span of the finite modes. Returns the block kept.
  auto appendRandom = [&](int width) {
    const int c = basis.Size();
    width = std::min(width, capacity - c);
    if (width <= 0) return 0;
    Cols R = basis.KV(c, width), X = basis.V(c, width);  // K·V of these columns is not needed yet: scratch
    for (long long i = 0; i < static_cast<long long>(n) * width; ++i) R.p[i] = uniform(rng);
    M.Multiply(R.p, width, X.p, false);
    factor.Solve(X.p, width, n);
    return basis.Append(width);
  };
  // Which columns have S·V already: each block gets it when the next block grows from it.
  std::vector<char> hasS(capacity, 0);
  auto applyS = [&](int from, int width) {
    std::copy(basis.MV(from, width).p, basis.MV(from, width).p + static_cast<long long>(n) * width,
              basis.SV(from, width).p);
    factor.Solve(basis.SV(from, width).p, width, n);
    std::fill(hasS.begin() + from, hasS.begin() + from + width, 1);
  };
  // Appends S applied to the given block of the basis. Returns the block kept.
  auto appendKrylov = [&](int from, int width) {
    const int c = basis.Size();
    width = std::min(width, capacity - c);
    if (width <= 0) return 0;
    applyS(from, width);
    std::copy(basis.SV(from, width).p, basis.SV(from, width).p + static_cast<long long>(n) * width,
              basis.V(c, width).p);
    std::fill(hasS.begin() + c, hasS.begin() + c + width, 0);
    return basis.Append(width);
  };

  int frontStart = 0, frontSize = appendRandom(b);
  int locked = 0, kDone = 0;  // locked columns lead the basis; K·V is known for columns [0, kDone)
  bool exhausted = false;     // the basis holds every direction S can reach
  std::vector<Pair> lockedPairs, wanted;
  std::vector<double> ritz[4], moved[4];  // X, M·X, K·X, S·X of the kept Ritz vectors
  std::vector<double> purified;           // Y, M·Y, K·Y of the judged candidates (Y = S·X, M-normalised)
  std::vector<double> lockedVectors;      // the purified vectors of the locked pairs
  double worst = 0.0;                     // the largest error among the wanted pairs at the last restart
  for (int iter = 1; iter <= options.maxIterations && !basis.Indefinite(); ++iter) {
    result.iterations = iter;
    // Grow the basis by whole blocks (a narrower block would narrow every later one); directions lost to
    // deflation are made up by fresh random ones so that the block keeps its width. A basis of the whole order
    // is filled up to it: the projection is then exact.
    while (basis.Size() < m && !basis.Indefinite()) {
      const int c = basis.Size(), width = std::min(b, m - c);
      if (width < b && m < n) break;
      int r = frontSize > 0 ? appendKrylov(frontStart, std::min(frontSize, width)) : 0;
      if (r < width) r += appendRandom(width - r);
      if (r == 0) {  // nothing new is reachable: the basis spans every finite mode
        exhausted = true;
        break;
      }
      frontStart = c;
      frontSize = r;
    }
    if (basis.Indefinite()) break;
    const int size = basis.Size(), active = size - locked;
    basis.ComputeK(kDone, size - kDone);
    kDone = size;
    for (int j = locked; j < size;) {
      int e = j;
      while (e < size && !hasS[e]) ++e;
      if (e > j) applyS(j, e - j);
      j = std::max(e, j + 1);
    }
    // Rayleigh–Ritz for S on the active columns: (Vᵀ·M·S·V)·y = μ·y, θ = sigma + 1/μ (the basis is
    // M-orthonormal). Projecting S rather than K keeps the relation S·X ⊂ span(X, next block) for the kept Ritz
    // vectors X, so that the restarted basis is again a Krylov space and nothing learnt is lost.
    QORMtxMatrix H(active, active, QORMtxMatrix::SYMM), E, Y, none;
    Gemm(1.0, basis.MV(locked, active), QORMtxBLA::TRANS, basis.SV(locked, active), QORMtxBLA::NOOP, 0.0,
         {H.Values(), active, active});
    Symmetrise(H.Values(), active);
    const int status = active > 0 ? QORMtxBLA::EigenSolve(H, none, E, Y, 0.0, 0.0, 0) : 0;
    if (status != 0 || (active > 0 && E.NumberOfRows() < active)) {
      result.status = 2;
      result.message = "the projected problem could not be solved (status " + std::to_string(status) + ")";
      return result;
    }
    // The active Ritz pairs nearest the shift (largest |μ|); about half of them survive the restart, at least
    // the wanted ones and a block beyond.
    std::vector<int> order(active);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int p, int q) { return std::fabs(E.Values()[p]) > std::fabs(E.Values()[q]); });
    const int keep = std::min(active, std::max((k - locked) + b, active / 2));
    std::vector<double> Ysel(static_cast<size_t>(active) * keep);
    for (int j = 0; j < keep; ++j)
      std::copy(Y.Values() + static_cast<long long>(order[j]) * active,
                Y.Values() + static_cast<long long>(order[j] + 1) * active,
                Ysel.begin() + static_cast<long long>(j) * active);
    // Within the kept subspace, the Ritz vectors of K rather than S: S's weigh the error along stiff modes by
    // 1/λ and leave it there, K's by λ and remove it, which is what the backward error measures. A rotation
    // within the subspace leaves its Krylov relation intact.
    {
      QORMtxMatrix A(active, active, QORMtxMatrix::SYMM), Ak(keep, keep, QORMtxMatrix::SYMM), T(active, keep), Z, F;
      Gemm(1.0, basis.V(locked, active), QORMtxBLA::TRANS, basis.KV(locked, active), QORMtxBLA::NOOP, 0.0,
           {A.Values(), active, active});
      Gemm(1.0, {A.Values(), active, active}, QORMtxBLA::NOOP, {Ysel.data(), active, keep}, QORMtxBLA::NOOP, 0.0,
           {T.Values(), active, keep});
      Gemm(1.0, {Ysel.data(), active, keep}, QORMtxBLA::TRANS, {T.Values(), active, keep}, QORMtxBLA::NOOP, 0.0,
           {Ak.Values(), keep, keep});
      Symmetrise(Ak.Values(), keep);
      const int st = QORMtxBLA::EigenSolve(Ak, none, F, Z, 0.0, 0.0, 0);
      if (st != 0 || F.NumberOfRows() < keep) {
        result.status = 2;
        result.message = "the projected problem could not be solved (status " + std::to_string(st) + ")";
        return result;
      }
      std::vector<double> rotated(Ysel.size());
      Gemm(1.0, {Ysel.data(), active, keep}, QORMtxBLA::NOOP, {Z.Values(), keep, keep}, QORMtxBLA::NOOP, 0.0,
           {rotated.data(), active, keep});
      Ysel.swap(rotated);
    }
    const Cols Ys{Ysel.data(), active, keep};
    const Cols from[4] = {basis.V(locked, active), basis.MV(locked, active), basis.KV(locked, active),
                          basis.SV(locked, active)};
    for (int a = 0; a < 4; ++a) {
      ritz[a].assign(static_cast<size_t>(n) * keep, 0.0);
      Gemm(1.0, from[a], QORMtxBLA::NOOP, Ys, QORMtxBLA::NOOP, 0.0, {ritz[a].data(), n, keep});
    }
    // The wanted pairs: the k nearest the shift among the locked and the kept active ones, ordered by the
    // Rayleigh quotient xᵀ·K·x. The active candidates are judged on their purified vectors S·x: one more
    // application of S damps what round-off left along the stiff modes by 1/λ, and that remnant, times the
    // stiffness, is what bounds the backward error of x itself on stiff, ill-conditioned models.
    std::vector<Pair> pairs = lockedPairs, candidates(keep);
    for (int j = 0; j < keep; ++j) {
      candidates[j].column = j;
      const double* xj = &ritz[0][static_cast<size_t>(j) * n];
      const double* kxj = &ritz[2][static_cast<size_t>(j) * n];
      for (int i = 0; i < n; ++i) candidates[j].theta += xj[i] * kxj[i];
    }
    std::stable_sort(candidates.begin(), candidates.end(), [&](const Pair& p, const Pair& q) {
      return std::fabs(p.theta - sigma) < std::fabs(q.theta - sigma);
    });
    const int judged = std::min(keep, k - locked);
    purified.assign(static_cast<size_t>(3) * n * judged, 0.0);
    double* py = purified.data();
    double* pmy = py + static_cast<size_t>(n) * judged;
    double* pky = pmy + static_cast<size_t>(n) * judged;
    for (int j = 0; j < judged; ++j)
      std::copy(ritz[3].begin() + static_cast<long long>(candidates[j].column) * n,
                ritz[3].begin() + static_cast<long long>(candidates[j].column + 1) * n, py + static_cast<size_t>(j) * n);
    if (judged > 0) {
      M.Multiply(py, judged, pmy, false);
      K.Multiply(py, judged, pky, false);
    }
    for (int j = 0; j < judged; ++j) {
      double* y = py + static_cast<size_t>(j) * n;
      double* my = pmy + static_cast<size_t>(j) * n;
      double* ky = pky + static_cast<size_t>(j) * n;
      Pair& p = candidates[j];
      {
        const double* xj = &ritz[0][static_cast<size_t>(p.column) * n];
        const double* mxj = &ritz[1][static_cast<size_t>(p.column) * n];
        double mu = 0.0, d2 = 0.0;
        for (int i = 0; i < n; ++i) mu += mxj[i] * y[i];
        // Formed term by term: the difference of the squared norms would cancel every digit that matters.
        for (int i = 0; i < n; ++i) d2 += (y[i] - mu * xj[i]) * (my[i] - mu * mxj[i]);
        p.shifted = mu != 0.0 ? std::sqrt(std::fabs(d2)) / std::fabs(mu) : std::numeric_limits<double>::infinity();
      }
      double norm2 = 0.0;
      for (int i = 0; i < n; ++i) norm2 += y[i] * my[i];
      const double scale = norm2 > 0.0 ? 1.0 / std::sqrt(norm2) : 0.0;
      for (int i = 0; i < n; ++i) {
        y[i] *= scale;
        my[i] *= scale;
        ky[i] *= scale;
      }
      p.vector = j;
      if (scale > 0.0) Measure(y, ky, my, n, normK, normM, p);
      else p.backward = p.residual = std::numeric_limits<double>::infinity();
      pairs.push_back(p);
    }
    std::stable_sort(pairs.begin(), pairs.end(), [&](const Pair& p, const Pair& q) {
      return std::fabs(p.theta - sigma) < std::fabs(q.theta - sigma);
    });
    wanted.assign(pairs.begin(), pairs.begin() + std::min<size_t>(k, pairs.size()));
    int converged = 0;
    worst = 0.0;
    for (const Pair& p : wanted) {
      if (Converged(p, options.tolerance)) ++converged;
      worst = std::max(worst, Error(p));
    }
    if (options.progress) options.progress(iter, converged, worst);
    // Done, out of iterations, or nothing left to learn: the basis holds every direction the pencil has.
    // With every finite mode spanned, fewer than count pairs may exist (massless unknowns have none).
    const bool all = converged == static_cast<int>(wanted.size()) && (converged == k || exhausted || size == n);
    if (all || exhausted || size == n || iter == options.maxIterations) {
      if (!all) result.status = 2;
      // The result is read from the wanted pairs: the active ones go behind the locked ones.
      basis.Replace(locked, ritz, keep);
      break;
    }
    // The continuation: S applied to the newest block, orthogonal to the whole basis (its S-image is known
    // already from the projection).
    const int contStart = basis.Size();
    std::copy(basis.SV(frontStart, frontSize).p,
              basis.SV(frontStart, frontSize).p + static_cast<long long>(n) * frontSize,
              basis.V(contStart, frontSize).p);
    int contSize = basis.Append(frontSize);
    if (contSize < b) contSize += appendRandom(b - contSize);
    if (basis.Indefinite()) break;
    basis.Truncate(contStart);
    // Lock the wanted pairs that converged: they lead the kept columns, in the order of the wanted list.
    std::vector<int> newOrder;
    std::vector<char> taken(keep, 0);
    for (const Pair& p : wanted)
      if (!p.locked && Converged(p, options.tolerance)) {
        taken[p.column] = 1;
        newOrder.push_back(p.column);
      }
    const int newlyLocked = static_cast<int>(newOrder.size());
    for (int j = 0; j < keep; ++j)
      if (!taken[j]) newOrder.push_back(j);
    for (int a = 0; a < 4; ++a) {
      moved[a].resize(ritz[a].size());
      for (int j = 0; j < keep; ++j)
        std::copy(ritz[a].begin() + static_cast<long long>(newOrder[j]) * n,
                  ritz[a].begin() + static_cast<long long>(newOrder[j] + 1) * n,
                  moved[a].begin() + static_cast<long long>(j) * n);
    }
    for (int j = 0; j < newlyLocked; ++j)
      for (Pair p : wanted)
        if (!p.locked && p.column == newOrder[j]) {
          p.locked = true;
          lockedVectors.insert(lockedVectors.end(), purified.begin() + static_cast<long long>(p.vector) * n,
                               purified.begin() + static_cast<long long>(p.vector + 1) * n);
          p.vector = static_cast<int>(lockedPairs.size());
          lockedPairs.push_back(p);
        }
    // The kept columns [locked, locked + keep) end before the continuation (contStart >= locked + keep): rotate
    // first, then bring the continuation behind them.
    basis.Replace(locked, moved, keep);
    std::fill(hasS.begin() + locked, hasS.begin() + locked + keep, 1);
    kDone = basis.Size();
    locked += newlyLocked;
    frontStart = basis.Size();
    frontSize = contSize;
    basis.Adopt(contStart, contSize);
    std::fill(hasS.begin() + frontStart, hasS.begin() + frontStart + contSize, 0);
  }
  if (basis.Indefinite()) {
    result.status = 3;
    result.message = kIndefiniteMass;
    result.eigenvalues.clear();
    return result;
  }
  // Results ascending, from the purified vectors. Those of a tight cluster are M-orthogonal only to about the
  // size of their residuals: a symmetric orthonormalisation (the least change) makes them so to round-off, and
  // the pairs are measured again on the vectors that are returned.
  std::vector<Pair> out = wanted;
  std::sort(out.begin(), out.end(), [](const Pair& p, const Pair& q) { return p.theta < q.theta; });
  const int w = static_cast<int>(out.size());
  std::vector<double> X(static_cast<size_t>(n) * w), MX(X.size()), KX(X.size());
  for (int j = 0; j < w; ++j) {
    const double* from = out[j].locked ? &lockedVectors[static_cast<size_t>(out[j].vector) * n]
                                       : &purified[static_cast<size_t>(out[j].vector) * n];
    std::copy(from, from + n, X.begin() + static_cast<long long>(j) * n);
  }
  if (w > 0) {
    M.Multiply(X.data(), w, MX.data(), false);
    QORMtxMatrix G(w, w, QORMtxMatrix::SYMM), L, Q, none;
    Gemm(1.0, {X.data(), n, w}, QORMtxBLA::TRANS, {MX.data(), n, w}, QORMtxBLA::NOOP, 0.0, {G.Values(), w, w});
    Symmetrise(G.Values(), w);
    if (QORMtxBLA::EigenSolve(G, none, L, Q, 0.0, 0.0, 0) == 0 && L.NumberOfRows() == w && L.Values()[0] > 0.0) {
      // T = Q·Λ^(-1/2)·Qᵀ
      std::vector<double> QL(static_cast<size_t>(w) * w), T(QL.size());
      for (int j = 0; j < w; ++j)
        for (int i = 0; i < w; ++i)
          QL[i + static_cast<size_t>(j) * w] = Q.Values()[i + static_cast<size_t>(j) * w] / std::sqrt(L.Values()[j]);
      Gemm(1.0, {QL.data(), w, w}, QORMtxBLA::NOOP, {Q.Values(), w, w}, QORMtxBLA::TRANS, 0.0, {T.data(), w, w});
      std::vector<double> Xn(X.size());
      Gemm(1.0, {X.data(), n, w}, QORMtxBLA::NOOP, {T.data(), w, w}, QORMtxBLA::NOOP, 0.0, {Xn.data(), n, w});
      X.swap(Xn);
      M.Multiply(X.data(), w, MX.data(), false);
    }
    K.Multiply(X.data(), w, KX.data(), false);
  }
  if (w > 0) result.modes = std::make_unique<QORMtxScratchDenseMatrix>(n, w, std::min(n, kModeRowChunk), w);
  for (int j = 0; j < w; ++j) {
    const size_t c = static_cast<size_t>(j) * n;
    Pair p;
    Measure(&X[c], &KX[c], &MX[c], n, normK, normM, p);
    result.eigenvalues.push_back(p.theta);
    result.backwardErrors.push_back(p.backward);
    result.residuals.push_back(p.residual);
    if (result.status == 0 && !(p.backward <= options.tolerance)) result.status = 2;
    worst = std::max(worst, p.backward);
  }
  if (w > 0) result.modes->SetValues(0, n - 1, 0, w - 1, X.data());
  if (result.status == 2) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "not converged after %d iterations: largest error %.3g (tolerance %.3g)",
                  result.iterations, worst, options.tolerance);
    result.message = buf;
  }
  return result;
}
