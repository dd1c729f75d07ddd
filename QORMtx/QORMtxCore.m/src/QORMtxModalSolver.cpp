// QORMtxModalSolver: thick-restarted block shift-and-invert Krylov iteration on one sparse factorisation.
#include "QORMtxModalSolver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <memory>
#include <random>

#include "QORMtxBLA.h"
#include "QORMtxBands.h"
#include "QORMtxScratchDenseMatrix.h"
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

// The stored matrices of a solve: n rows in blocks of kRowChunk, columns in blocks of kColChunk. A streamed
// product over a window of them holds a band of about n × kColChunk values, whatever the basis width.
constexpr int kRowChunk = 16384;
constexpr int kColChunk = 8;

/// An n-row column-major array in core, `width` columns of room.
class Work {
 public:
  Work(int n, int width) : m_n(n), m_v(static_cast<size_t>(n) * width) {}
  Cols operator()(int m) { return {m_v.data(), m_n, m}; }
  double* Col(int j) { return m_v.data() + static_cast<long long>(j) * m_n; }
  void Swap(Work& other) { m_v.swap(other.m_v); }

 private:
  int m_n;
  std::vector<double> m_v;
};

/// An n × capacity matrix of the solve in a scratch file of its own, used by column windows: each call is one
/// transfer or one streamed product.
class Stored {
 public:
  Stored(int n, int capacity)
      : m_n(n), m_a(n, capacity, std::min(n, kRowChunk), std::max(1, std::min(capacity, kColChunk))) {}
  /// out = columns c0 … c0 + m − 1
  void Read(int c0, int m, double* out) const {
    if (m > 0) m_a.GetValues(0, m_n - 1, c0, c0 + m - 1, out);
  }
  void Write(int c0, int m, const double* in) {
    if (m > 0) m_a.SetValues(0, m_n - 1, c0, c0 + m - 1, in);
  }
  /// out (n × q) = A(:, c0 … c0 + m − 1)·Y, Y m × q
  void Times(int c0, int m, const double* Y, int q, double* out) const {
    if (q == 0) return;
    if (m == 0) {
      std::fill(out, out + static_cast<long long>(m_n) * q, 0.0);
      return;
    }
    const QORMtxMatrix y(m, q, const_cast<double*>(Y));
    QORMtxMatrix o(m_n, q, out);
    Window(c0, m)->Multiply(y, o);
  }
  /// out (m × q) = A(:, c0 … c0 + m − 1)ᵀ·W, W n × q in core
  void TransposeTimes(int c0, int m, const double* W, int q, double* out) const {
    if (m == 0 || q == 0) return;
    const QORMtxMatrix w(m_n, q, const_cast<double*>(W));
    QORMtxMatrix o(m, q, out);
    Window(c0, m)->TransposeMultiply(w, o, 0);
  }
  /// out (m × m) = A(:, c0 … c0 + m − 1)ᵀ·B(:, c0 … c0 + m − 1)
  void TransposeTimes(const Stored& B, int c0, int m, double* out) const {
    if (m == 0) return;
    QORMtxMatrix o(m, m, out);
    const std::unique_ptr<QORMtxDenseMatrix> b = B.Window(c0, m);
    Window(c0, m)->TransposeMultiply(b.get(), o, 0);
  }
  /// Columns c0 … c0 + q − 1 become A(:, c0 … c0 + m − 1)·Y (Y m × q, q ≤ m), in place in the store.
  void Rotate(int c0, int m, const double* Y, int q) {
    if (m == 0) return;
    QORMtxMatrix square(m, m);
    std::fill(square.Values(), square.Values() + static_cast<long long>(m) * m, 0.0);
    std::copy(Y, Y + static_cast<long long>(m) * q, square.Values());
    Window(c0, m)->MultiplyAssign(square);
  }

 private:
  std::unique_ptr<QORMtxDenseMatrix> Window(int c0, int m) const {
    return std::unique_ptr<QORMtxDenseMatrix>(m_a.Submatrix(0, m_n - 1, c0, c0 + m - 1));
  }
  int m_n;
  QORMtxScratchDenseMatrix m_a;
};

/// The M-orthonormal basis V with M·V, K·V and S·V beside it (S = (K - sigma·M)⁻¹·M), so that projections and
/// Ritz vectors never multiply or solve twice, all four in the store. Columns [0, Size()) are the basis; the rest is
/// room for new vectors. K·V and S·V are filled by the solver as it needs them. New vectors come in through
/// Block(), an n × width array in core, with two more of its size for the orthonormalisation.
class Basis {
 public:
  Basis(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M, int n, int capacity, int width)
      : m_K(K), m_M(M), m_n(n), m_capacity(capacity), m_width(width), m_v(n, capacity), m_mv(n, capacity),
        m_kv(n, capacity), m_sv(n, capacity), m_block(n, width), m_mblock(n, width), m_work(n, width) {}
  int Size() const { return m_size; }
  int Capacity() const { return m_capacity; }
  int Width() const { return m_width; }
  bool Indefinite() const { return m_indefinite; }
  Stored& V() { return m_v; }
  Stored& MV() { return m_mv; }
  Stored& KV() { return m_kv; }
  Stored& SV() { return m_sv; }
  Work& Block() { return m_block; }
  Work& MBlock() { return m_mblock; }
  Work& Scratch() { return m_work; }
  /// The b vectors in Block(): orthonormalise them against the basis and among themselves, dropping directions
  /// that are numerically dependent, and store them behind it. Two rounds: the first leaves errors of the size of
  /// the cancellation, the second removes them (twice is enough). Returns how many were kept.
  int Append(int b) {
    for (int round = 0; round < 2 && b > 0 && !m_indefinite; ++round) b = Orthonormalise(b);
    if (m_indefinite) b = 0;
    m_v.Write(m_size, b, m_block.Col(0));
    m_mv.Write(m_size, b, m_mblock.Col(0));
    m_size += b;
    return b;
  }
  /// K·V of columns [c0, c0 + m), a panel of Width() at a time.
  void ComputeK(int c0, int m) {
    for (int j = 0; j < m; j += m_width) {
      const int w = std::min(m_width, m - j);
      m_v.Read(c0 + j, w, m_block.Col(0));
      m_K.Multiply(m_block.Col(0), w, m_work.Col(0), false);
      m_kv.Write(c0 + j, w, m_work.Col(0));
    }
  }
  /// Columns [c0, c0 + keep) of V, M·V, K·V and S·V become the columns [c0, c0 + active) times Y (active × keep);
  /// the basis ends after them.
  void Rotate(int c0, int active, const double* Y, int keep) {
    for (Stored* s : {&m_v, &m_mv, &m_kv, &m_sv}) s->Rotate(c0, active, Y, keep);
    m_size = c0 + keep;
  }
  /// Moves columns [from, from + m) of V and M·V to the end of the basis (from >= Size(), m <= Width()).
  void Adopt(int from, int m) {
    if (from != m_size)
      for (Stored* s : {&m_v, &m_mv}) {
        s->Read(from, m, m_block.Col(0));
        s->Write(m_size, m, m_block.Col(0));
      }
    m_size += m;
  }
  void Truncate(int size) { m_size = size; }

 private:
  /// One round of Append: returns the number of columns kept, packed at the front of Block().
  int Orthonormalise(int b) {
    const int c = m_size;
    Cols B = m_block(b), W = m_mblock(b), T = m_work(b);
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
      const long long len = static_cast<long long>(m_n) * b;
      m_v.TransposeTimes(0, c, W.p, b, coef.data());
      m_v.Times(0, c, coef.data(), b, T.p);
      for (long long i = 0; i < len; ++i) B.p[i] -= T.p[i];
      // M·B afresh: a sparse product of b columns costs less than reading c stored columns of M·V, and is exact.
      m_M.Multiply(B.p, b, W.p, false);
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
    std::vector<double> Tm(static_cast<size_t>(b) * r);
    for (int j = 0; j < r; ++j)
      for (int i = 0; i < b; ++i)
        Tm[static_cast<size_t>(j) * b + i] =
            Q.Values()[static_cast<size_t>(keep[j]) * b + i] / std::sqrt(E.Values()[keep[j]]);
    Gemm(1.0, B, QORMtxBLA::NOOP, {Tm.data(), b, r}, QORMtxBLA::NOOP, 0.0, m_work(r));
    m_block.Swap(m_work);
    Gemm(1.0, W, QORMtxBLA::NOOP, {Tm.data(), b, r}, QORMtxBLA::NOOP, 0.0, m_work(r));
    m_mblock.Swap(m_work);
    return r;
  }

  const QORMtxSparseMatrix& m_K;
  const QORMtxSparseMatrix& m_M;
  int m_n, m_capacity, m_width;
  Stored m_v, m_mv, m_kv, m_sv;
  Work m_block, m_mblock, m_work;
  int m_size = 0;
  bool m_indefinite = false;
};

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
  int stalls = 0;  ///< restarts in a row that cut its shift-inverted residual by less than a tenth
};

/// What a pair is judged by: the larger of its backward error and the square of 100 times its shift-inverted
/// residual. The eigenvalue's relative error is about the square of that residual over the relative gap to the
/// modes outside its cluster; inside a cluster as tight as bcsstk25's (10⁻⁹ apart) a residual of 10⁻⁶ still lets
/// the vectors mix and the eigenvalues drift by 10⁻⁷, 10⁻⁸ pins them to about 10⁻¹² in a few more restarts.
double Error(const Pair& p) { return std::max(p.backward, 1e4 * p.shifted * p.shifted); }
/// The shift-inverted residual has a floor: the factor solves S·x only to about ε·κ(K − σ·M), and on large,
/// ill-conditioned models that floor may lie just above what the tolerance asks (a slender beam of 10⁶ unknowns
/// stays at 1.1·10⁻¹² against 10⁻¹²). A pair whose backward error meets the tolerance, whose error is within a
/// hundred times it and whose residual stopped falling for kStalls restarts is as accurate as this factor allows.
constexpr int kStalls = 3;
bool Converged(const Pair& p, double tolerance) {
  return Error(p) <= tolerance || (p.backward <= tolerance && Error(p) <= 100 * tolerance && p.stalls >= kStalls);
}

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

/// One solve: the stored basis, the pairs found so far and the restart loop.
class Solver {
 public:
  Solver(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M, const QORMtxSparseFactor& factor,
         const QORMtxModalOptions& options, int k, double normK, double normM)
      : m_K(K), m_M(M), m_factor(factor), m_options(options), m_n(K.NumberOfRows()), m_k(k), m_sigma(options.shift),
        m_normK(normK), m_normM(normM),
        m_b(std::min(m_n, options.blockSize > 0 ? options.blockSize : k + 8)),
        m_m(std::min(m_n, std::max(options.basisSize > 0 ? options.basisSize : std::max(6 * k + 2 * m_b, 200),
                                   k + m_b))),
        m_capacity(std::min(m_n, m_m + m_b)),  // room for the continuation block beyond the projected basis
        m_basis(K, M, m_n, m_capacity, std::max(m_b, k)), m_purified(m_n, k), m_locked(m_n, k),
        m_x(m_n, std::max(m_b, k)), m_mx(m_n, std::max(m_b, k)), m_hasS(m_capacity, 0) {}

  QORMtxModalResult Run();

 private:
  int AppendRandom(int width);
  void ApplyS(int from, int width);
  int AppendKrylov(int from, int width);
  void Grow();
  bool RayleighRitz(int active, std::vector<double>& Ys, std::vector<Pair>& candidates);
  int Judge(int active, const std::vector<double>& Ys, std::vector<Pair>& candidates);
  void Restart(int active, const std::vector<double>& Ys, int keep);
  void Finish();
  bool Fail(int status, const std::string& message) {
    m_result.status = status;
    m_result.message = message;
    return false;
  }

  const QORMtxSparseMatrix& m_K;
  const QORMtxSparseMatrix& m_M;
  const QORMtxSparseFactor& m_factor;
  const QORMtxModalOptions& m_options;
  const int m_n, m_k;
  const double m_sigma, m_normK, m_normM;
  const int m_b, m_m, m_capacity;  // block width, projected basis, columns stored
  Basis m_basis;
  Stored m_purified;  // this restart's judged candidates, purified and M-normalised, in candidate order
  Stored m_locked;    // the purified vectors of the locked pairs
  Work m_x, m_mx;     // Ritz vectors of the judged candidates and their M-products; then the results
  std::mt19937_64 m_rng{20261207};
  std::uniform_real_distribution<double> m_uniform{-1.0, 1.0};
  std::vector<char> m_hasS;  // which columns have S·V already: each block gets it when the next grows from it
  int m_frontStart = 0, m_frontSize = 0;  // the newest block, from which the next grows
  int m_lockedCount = 0, m_kDone = 0;     // locked columns lead the basis; K·V is known for columns [0, m_kDone)
  bool m_exhausted = false;               // the basis holds every direction S can reach
  std::vector<Pair> m_lockedPairs, m_wanted, m_lastWanted;
  double m_worst = 0.0;  // the largest error among the wanted pairs at the last restart
  QORMtxModalResult m_result;
};

// Appends S·M·(random block): such vectors already lie in the span of the finite modes. Returns the block kept.
int Solver::AppendRandom(int width) {
  width = std::min(width, m_capacity - m_basis.Size());
  if (width <= 0) return 0;
  double* r = m_basis.Scratch().Col(0);
  double* x = m_basis.Block().Col(0);
  for (long long i = 0; i < static_cast<long long>(m_n) * width; ++i) r[i] = m_uniform(m_rng);
  m_M.Multiply(r, width, x, false);
  m_factor.Solve(x, width, m_n);
  return m_basis.Append(width);
}

// S·V of columns [from, from + width), a panel at a time through Block(), which keeps the last one.
void Solver::ApplyS(int from, int width) {
  for (int j = 0; j < width; j += m_basis.Width()) {
    const int w = std::min(m_basis.Width(), width - j);
    double* x = m_basis.Block().Col(0);
    m_basis.MV().Read(from + j, w, x);
    m_factor.Solve(x, w, m_n);
    m_basis.SV().Write(from + j, w, x);
  }
  std::fill(m_hasS.begin() + from, m_hasS.begin() + from + width, 1);
}

// Appends S applied to the given block of the basis (at most Width() columns). Returns the block kept.
int Solver::AppendKrylov(int from, int width) {
  const int c = m_basis.Size();
  width = std::min(width, m_capacity - c);
  if (width <= 0) return 0;
  ApplyS(from, width);
  std::fill(m_hasS.begin() + c, m_hasS.begin() + c + width, 0);
  return m_basis.Append(width);
}

// Grows the basis by whole blocks (a narrower block would narrow every later one); directions lost to deflation
// are made up by fresh random ones so that the block keeps its width. A basis of the whole order is filled up to
// it: the projection is then exact.
void Solver::Grow() {
  while (m_basis.Size() < m_m && !m_basis.Indefinite()) {
    const int c = m_basis.Size(), width = std::min(m_b, m_m - c);
    if (width < m_b && m_m < m_n) break;
    int r = m_frontSize > 0 ? AppendKrylov(m_frontStart, std::min(m_frontSize, width)) : 0;
    if (r < width) r += AppendRandom(width - r);
    if (r == 0) {  // nothing new is reachable: the basis spans every finite mode
      m_exhausted = true;
      break;
    }
    m_frontStart = c;
    m_frontSize = r;
  }
}

// Rayleigh–Ritz for S on the active columns: (Vᵀ·M·S·V)·y = μ·y, θ = sigma + 1/μ (the basis is M-orthonormal).
// Projecting S rather than K keeps the relation S·X ⊂ span(X, next block) for the kept Ritz vectors X, so that the
// restarted basis is again a Krylov space and nothing learnt is lost. Ys receives the kept Ritz vectors' coordinates
// (active × keep), candidates their places ordered by distance to the shift.
bool Solver::RayleighRitz(int active, std::vector<double>& Ys, std::vector<Pair>& candidates) {
  const int locked = m_lockedCount;
  QORMtxMatrix H(active, active, QORMtxMatrix::SYMM), E, Y, none;
  m_basis.MV().TransposeTimes(m_basis.SV(), locked, active, H.Values());
  Symmetrise(H.Values(), active);
  const int status = active > 0 ? QORMtxBLA::EigenSolve(H, none, E, Y, 0.0, 0.0, 0) : 0;
  if (status != 0 || (active > 0 && E.NumberOfRows() < active))
    return Fail(2, "the projected problem could not be solved (status " + std::to_string(status) + ")");
  // The active Ritz pairs nearest the shift (largest |μ|); about half of them survive the restart, at least the
  // wanted ones and a block beyond.
  std::vector<int> order(active);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int p, int q) { return std::fabs(E.Values()[p]) > std::fabs(E.Values()[q]); });
  const int keep = std::min(active, std::max((m_k - locked) + m_b, active / 2));
  std::vector<double> Ysel(static_cast<size_t>(active) * keep);
  for (int j = 0; j < keep; ++j)
    std::copy(Y.Values() + static_cast<long long>(order[j]) * active,
              Y.Values() + static_cast<long long>(order[j] + 1) * active,
              Ysel.begin() + static_cast<long long>(j) * active);
  // Within the kept subspace, the Ritz vectors of K rather than S: S's weigh the error along stiff modes by 1/λ and
  // leave it there, K's by λ and remove it, which is what the backward error measures. A rotation within the
  // subspace leaves its Krylov relation intact. Their Rayleigh quotients xᵀ·K·x are the eigenvalues F.
  QORMtxMatrix A(active, active, QORMtxMatrix::SYMM), Ak(keep, keep, QORMtxMatrix::SYMM), T(active, keep), Z, F;
  m_basis.V().TransposeTimes(m_basis.KV(), locked, active, A.Values());
  Gemm(1.0, {A.Values(), active, active}, QORMtxBLA::NOOP, {Ysel.data(), active, keep}, QORMtxBLA::NOOP, 0.0,
       {T.Values(), active, keep});
  Gemm(1.0, {Ysel.data(), active, keep}, QORMtxBLA::TRANS, {T.Values(), active, keep}, QORMtxBLA::NOOP, 0.0,
       {Ak.Values(), keep, keep});
  Symmetrise(Ak.Values(), keep);
  const int st = keep > 0 ? QORMtxBLA::EigenSolve(Ak, none, F, Z, 0.0, 0.0, 0) : 0;
  if (st != 0 || F.NumberOfRows() < keep)
    return Fail(2, "the projected problem could not be solved (status " + std::to_string(st) + ")");
  Ys.assign(static_cast<size_t>(active) * keep, 0.0);
  Gemm(1.0, {Ysel.data(), active, keep}, QORMtxBLA::NOOP, {Z.Values(), keep, keep}, QORMtxBLA::NOOP, 0.0,
       {Ys.data(), active, keep});
  candidates.assign(keep, Pair());
  for (int j = 0; j < keep; ++j) {
    candidates[j].column = j;
    candidates[j].theta = F.Values()[j];
  }
  std::stable_sort(candidates.begin(), candidates.end(), [&](const Pair& p, const Pair& q) {
    return std::fabs(p.theta - m_sigma) < std::fabs(q.theta - m_sigma);
  });
  return true;
}

// The wanted pairs: the k nearest the shift among the locked and the kept active ones, ordered by the Rayleigh
// quotient. The active candidates are judged on their purified vectors S·x: one more application of S damps what
// round-off left along the stiff modes by 1/λ, and that remnant, times the stiffness, is what bounds the backward
// error of x itself on stiff, ill-conditioned models. Returns how many wanted pairs converged.
int Solver::Judge(int active, const std::vector<double>& Ys, std::vector<Pair>& candidates) {
  const int n = m_n, locked = m_lockedCount;
  const int judged = std::min(static_cast<int>(candidates.size()), m_k - locked);
  std::vector<double> Yj(static_cast<size_t>(active) * judged);
  for (int j = 0; j < judged; ++j)
    std::copy(Ys.begin() + static_cast<long long>(candidates[j].column) * active,
              Ys.begin() + static_cast<long long>(candidates[j].column + 1) * active,
              Yj.begin() + static_cast<long long>(j) * active);
  // x, M·x and y = S·x of the judged, then M·y and K·y.
  double* x = m_x.Col(0);
  double* mx = m_mx.Col(0);
  double* py = m_basis.Block().Col(0);
  double* pmy = m_basis.MBlock().Col(0);
  double* pky = m_basis.Scratch().Col(0);
  m_basis.V().Times(locked, active, Yj.data(), judged, x);
  m_basis.MV().Times(locked, active, Yj.data(), judged, mx);
  m_basis.SV().Times(locked, active, Yj.data(), judged, py);
  if (judged > 0) {
    m_M.Multiply(py, judged, pmy, false);
    m_K.Multiply(py, judged, pky, false);
  }
  std::vector<Pair> pairs = m_lockedPairs;
  for (int j = 0; j < judged; ++j) {
    const size_t c = static_cast<size_t>(j) * n;
    double* y = py + c;
    double* my = pmy + c;
    double* ky = pky + c;
    Pair& p = candidates[j];
    double mu = 0.0, d2 = 0.0;
    for (int i = 0; i < n; ++i) mu += mx[c + i] * y[i];
    // Formed term by term: the difference of the squared norms would cancel every digit that matters.
    for (int i = 0; i < n; ++i) d2 += (y[i] - mu * x[c + i]) * (my[i] - mu * mx[c + i]);
    p.shifted = mu != 0.0 ? std::sqrt(std::fabs(d2)) / std::fabs(mu) : std::numeric_limits<double>::infinity();
    double norm2 = 0.0;
    for (int i = 0; i < n; ++i) norm2 += y[i] * my[i];
    const double scale = norm2 > 0.0 ? 1.0 / std::sqrt(norm2) : 0.0;
    for (int i = 0; i < n; ++i) {
      y[i] *= scale;
      my[i] *= scale;
      ky[i] *= scale;
    }
    p.vector = j;
    if (scale > 0.0)
      Measure(y, ky, my, n, m_normK, m_normM, p);
    else
      p.backward = p.residual = std::numeric_limits<double>::infinity();
    pairs.push_back(p);
  }
  m_purified.Write(0, judged, py);
  std::stable_sort(pairs.begin(), pairs.end(), [&](const Pair& p, const Pair& q) {
    return std::fabs(p.theta - m_sigma) < std::fabs(q.theta - m_sigma);
  });
  m_wanted.assign(pairs.begin(), pairs.begin() + std::min<size_t>(m_k, pairs.size()));
  // Each active pair is followed from the last restart by its eigenvalue estimate.
  for (Pair& p : m_wanted) {
    if (p.locked) continue;
    const Pair* before = nullptr;
    for (const Pair& q : m_lastWanted)
      if (!q.locked && std::fabs(q.theta - p.theta) <= 1e-8 * std::fabs(p.theta) &&
          (!before || std::fabs(q.theta - p.theta) < std::fabs(before->theta - p.theta)))
        before = &q;
    p.stalls = before && p.shifted > 0.9 * before->shifted ? before->stalls + 1 : 0;
  }
  m_lastWanted = m_wanted;
  int converged = 0;
  m_worst = 0.0;
  for (const Pair& p : m_wanted) {
    if (Converged(p, m_options.tolerance)) ++converged;
    m_worst = std::max(m_worst, Error(p));
  }
  return converged;
}

// Keeps the kept Ritz vectors, the converged wanted ones locked in front, with the next Krylov block behind them.
void Solver::Restart(int active, const std::vector<double>& Ys, int keep) {
  const int locked = m_lockedCount;
  // The continuation: S applied to the newest block, orthogonal to the whole basis (its S-image is known already
  // from the projection).
  const int contStart = m_basis.Size();
  // An order just above the basis leaves less room than a block behind it.
  const int width = std::min(m_frontSize, m_capacity - contStart);
  m_basis.SV().Read(m_frontStart, width, m_basis.Block().Col(0));
  int contSize = m_basis.Append(width);
  if (contSize < m_b) contSize += AppendRandom(m_b - contSize);
  if (m_basis.Indefinite()) return;
  m_basis.Truncate(contStart);
  // Lock the wanted pairs that converged: they lead the kept columns, in the order of the wanted list.
  std::vector<int> newOrder;
  std::vector<char> taken(keep, 0);
  for (const Pair& p : m_wanted)
    if (!p.locked && Converged(p, m_options.tolerance)) {
      taken[p.column] = 1;
      newOrder.push_back(p.column);
    }
  const int newlyLocked = static_cast<int>(newOrder.size());
  for (int j = 0; j < keep; ++j)
    if (!taken[j]) newOrder.push_back(j);
  for (int j = 0; j < newlyLocked; ++j)
    for (Pair p : m_wanted)
      if (!p.locked && p.column == newOrder[j]) {
        p.locked = true;
        m_purified.Read(p.vector, 1, m_x.Col(0));
        p.vector = static_cast<int>(m_lockedPairs.size());
        m_locked.Write(p.vector, 1, m_x.Col(0));
        m_lockedPairs.push_back(p);
      }
  // The kept columns [locked, locked + keep) end before the continuation (contStart >= locked + keep): rotate in
  // the store first, then bring the continuation behind them.
  std::vector<double> moved(static_cast<size_t>(active) * keep);
  for (int j = 0; j < keep; ++j)
    std::copy(Ys.begin() + static_cast<long long>(newOrder[j]) * active,
              Ys.begin() + static_cast<long long>(newOrder[j] + 1) * active,
              moved.begin() + static_cast<long long>(j) * active);
  m_basis.Rotate(locked, active, moved.data(), keep);
  std::fill(m_hasS.begin() + locked, m_hasS.begin() + locked + keep, 1);
  m_kDone = m_basis.Size();
  m_lockedCount += newlyLocked;
  m_frontStart = m_basis.Size();
  m_frontSize = contSize;
  m_basis.Adopt(contStart, contSize);
  std::fill(m_hasS.begin() + m_frontStart, m_hasS.begin() + m_frontStart + contSize, 0);
}

QORMtxModalResult Solver::Run() {
  m_frontSize = AppendRandom(m_b);
  for (int iter = 1; iter <= m_options.maxIterations && !m_basis.Indefinite(); ++iter) {
    m_result.iterations = iter;
    Grow();
    if (m_basis.Indefinite()) break;
    const int size = m_basis.Size(), active = size - m_lockedCount;
    m_basis.ComputeK(m_kDone, size - m_kDone);
    m_kDone = size;
    for (int j = m_lockedCount; j < size;) {
      int e = j;
      while (e < size && !m_hasS[e]) ++e;
      if (e > j) ApplyS(j, e - j);
      j = std::max(e, j + 1);
    }
    std::vector<double> Ys;
    std::vector<Pair> candidates;
    if (!RayleighRitz(active, Ys, candidates)) return std::move(m_result);
    const int converged = Judge(active, Ys, candidates);
    if (m_options.progress) m_options.progress(iter, converged, m_worst);
    // Done, out of iterations, or nothing left to learn: the basis holds every direction the pencil has. With every
    // finite mode spanned, fewer than count pairs may exist (massless unknowns have none).
    const bool all = converged == static_cast<int>(m_wanted.size()) && (converged == m_k || m_exhausted || size == m_n);
    if (all || m_exhausted || size == m_n || iter == m_options.maxIterations) {
      if (!all) m_result.status = 2;
      break;
    }
    Restart(active, Ys, static_cast<int>(candidates.size()));
  }
  if (m_basis.Indefinite()) {
    Fail(3, kIndefiniteMass);
    return std::move(m_result);
  }
  Finish();
  return std::move(m_result);
}

// Results ascending, from the purified vectors. Those of a tight cluster are M-orthogonal only to about the size of
// their residuals: a symmetric orthonormalisation (the least change) makes them so to round-off, and the pairs are
// measured again on the vectors that are returned.
void Solver::Finish() {
  const int n = m_n;
  std::vector<Pair> out = m_wanted;
  std::sort(out.begin(), out.end(), [](const Pair& p, const Pair& q) { return p.theta < q.theta; });
  const int w = static_cast<int>(out.size());
  Work &X = m_x, &MX = m_mx, &KX = m_basis.Block(), &Xn = m_basis.Scratch();
  for (int j = 0; j < w; ++j) (out[j].locked ? m_locked : m_purified).Read(out[j].vector, 1, X.Col(j));
  if (w > 0) {
    m_M.Multiply(X.Col(0), w, MX.Col(0), false);
    QORMtxMatrix G(w, w, QORMtxMatrix::SYMM), L, Q, none;
    Gemm(1.0, X(w), QORMtxBLA::TRANS, MX(w), QORMtxBLA::NOOP, 0.0, {G.Values(), w, w});
    Symmetrise(G.Values(), w);
    if (QORMtxBLA::EigenSolve(G, none, L, Q, 0.0, 0.0, 0) == 0 && L.NumberOfRows() == w && L.Values()[0] > 0.0) {
      // T = Q·Λ^(-1/2)·Qᵀ
      std::vector<double> QL(static_cast<size_t>(w) * w), T(QL.size());
      for (int j = 0; j < w; ++j)
        for (int i = 0; i < w; ++i)
          QL[i + static_cast<size_t>(j) * w] = Q.Values()[i + static_cast<size_t>(j) * w] / std::sqrt(L.Values()[j]);
      Gemm(1.0, {QL.data(), w, w}, QORMtxBLA::NOOP, {Q.Values(), w, w}, QORMtxBLA::TRANS, 0.0, {T.data(), w, w});
      Gemm(1.0, X(w), QORMtxBLA::NOOP, {T.data(), w, w}, QORMtxBLA::NOOP, 0.0, Xn(w));
      X.Swap(Xn);
      m_M.Multiply(X.Col(0), w, MX.Col(0), false);
    }
    m_K.Multiply(X.Col(0), w, KX.Col(0), false);
    m_result.modes = std::make_unique<QORMtxScratchDenseMatrix>(n, w, std::min(n, kRowChunk), std::min(w, kColChunk));
    m_result.modes->SetValues(0, n - 1, 0, w - 1, X.Col(0));
  }
  for (int j = 0; j < w; ++j) {
    Pair p;
    Measure(X.Col(j), KX.Col(j), MX.Col(j), n, m_normK, m_normM, p);
    m_result.eigenvalues.push_back(p.theta);
    m_result.backwardErrors.push_back(p.backward);
    m_result.residuals.push_back(p.residual);
    if (m_result.status == 0 && !(p.backward <= m_options.tolerance)) m_result.status = 2;
    m_worst = std::max(m_worst, p.backward);
  }
  if (m_result.status == 2) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "not converged after %d iterations: largest error %.3g (tolerance %.3g)",
                  m_result.iterations, m_worst, m_options.tolerance);
    m_result.message = buf;
  }
}

}  // namespace

QORMtxModalResult QORMtxModalSolver::Solve(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M,
                                           const QORMtxModalOptions& options) {
  QORMtxModalResult result;
  const int n = K.NumberOfRows();
  const double normK = InfNorm(K), normM = InfNorm(M);
  // An indefinite M has no lowest modes: its negative directions hold eigenvalues below any shift, and the M
  // inner product the iteration relies on is none. M + 1e-10·‖M‖·I factorises exactly when M is positive
  // semidefinite to that level (massless unknowns pass). Checked before K - sigma·M is factorised, so that the two
  // factors never take memory together.
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
  QORMtxSparseFactor factor;
  if (factor.Factor(K, &M, options.shift) != QORMtxSparseFactor::e_ok) {
    result.status = 1;
    result.message = factor.Message();
    return result;
  }
  const int k = std::min(options.count, n);
  if (k <= 0) return result;
  // Thousands of products on bands of a few sizes follow: keep their buffers warm.
  const qormtx_bands::KeepBuffers keep;
  return Solver(K, M, factor, options, k, normK, normM).Run();
}
