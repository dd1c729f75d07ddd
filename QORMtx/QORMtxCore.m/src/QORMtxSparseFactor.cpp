// QORMtxSparseFactor: the one place that talks to CHOLMOD.
#include "QORMtxSparseFactor.h"

#include <cholmod.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "QORMtxAssert.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"

struct QORMtxSparseFactor::Impl {
  cholmod_common common;
  cholmod_factor* factor = nullptr;
  int order = 0;
  double rcond = 0.0;
  std::string message;

  Impl() {
    cholmod_l_start(&common);
    // Failures come back as statuses with our own messages; CHOLMOD must not print them.
    common.print = 0;
    common.error_handler = nullptr;
    common.supernodal = CHOLMOD_SUPERNODAL;
    // Stop at the first non-positive pivot instead of factorising the rest: an indefinite shift is refused anyway.
    common.quick_return_if_not_posdef = 1;
  }
  ~Impl() {
    Release();
    cholmod_l_finish(&common);
  }
  void Release() {
    if (factor) cholmod_l_free_factor(&factor, &common);
    order = 0;
    rcond = 0.0;
  }
};

namespace {
/// Counts the lower-triangle entries a matrix contributes (each stored entry once, the diagonal of symmetric
/// storage included).
long long LowerEntries(const QORMtxSparseMatrix& A) {
  long long n = 0;
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (it.IsSymmetric() || e.m_row >= e.m_col) ++n;
  }
  return n;
}

/// Appends scale·A's lower triangle to the triplet; false when a value is not finite.
bool AppendLower(const QORMtxSparseMatrix& A, double scale, cholmod_triplet* T) {
  auto* ri = static_cast<SuiteSparse_long*>(T->i);
  auto* ci = static_cast<SuiteSparse_long*>(T->j);
  auto* x = static_cast<double*>(T->x);
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    // Unsymmetric storage holds both triangles: keep the lower one. Symmetric storage holds one side of each pair
    // (either side after a permutation): fold it into the lower triangle.
    if (!it.IsSymmetric() && e.m_row < e.m_col) continue;
    if (!std::isfinite(e.m_value)) return false;
    const size_t k = T->nnz++;
    ri[k] = std::max(e.m_row, e.m_col);
    ci[k] = std::min(e.m_row, e.m_col);
    x[k] = scale * e.m_value;
  }
  return true;
}

const char* kShiftAdvice =
    "choose a shift below the lowest wanted eigenvalue (a small negative one when K has rigid-body modes)";
}  // namespace

QORMtxSparseFactor::QORMtxSparseFactor() : m_impl(new Impl) {}
QORMtxSparseFactor::~QORMtxSparseFactor() = default;

bool QORMtxSparseFactor::IsFactored() const { return m_impl->factor != nullptr; }
int QORMtxSparseFactor::Order() const { return m_impl->order; }
double QORMtxSparseFactor::ReciprocalCondition() const { return m_impl->rcond; }
const std::string& QORMtxSparseFactor::Message() const { return m_impl->message; }
long long QORMtxSparseFactor::FactorEntries() const {
  const cholmod_factor* L = m_impl->factor;
  if (!L) return 0;
  return L->is_super ? static_cast<long long>(L->xsize) : static_cast<long long>(L->nzmax);
}

QORMtxSparseFactor::Status QORMtxSparseFactor::Factor(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix* M,
                                                      double sigma) {
  Impl& d = *m_impl;
  d.Release();
  d.message.clear();
  const int n = K.NumberOfRows();
  if (!K.IsSquare() || (M && (!M->IsSquare() || M->NumberOfRows() != n))) {
    d.message = "K and M must be square and of one order";
    return e_notSquare;
  }
  if (!std::isfinite(sigma)) {
    d.message = "the shift is not a finite number";
    return e_notFinite;
  }
  const bool withM = M && sigma != 0.0;
  const long long nnz = LowerEntries(K) + (withM ? LowerEntries(*M) : 0);
  cholmod_triplet* T =
      cholmod_l_allocate_triplet(n, n, static_cast<size_t>(std::max(nnz, 1LL)), -1, CHOLMOD_REAL, &d.common);
  if (!T) {
    d.message = "not enough memory for the shifted matrix";
    return e_outOfMemory;
  }
  const bool finite = AppendLower(K, 1.0, T) && (!withM || AppendLower(*M, -sigma, T));
  if (!finite) {
    cholmod_l_free_triplet(&T, &d.common);
    d.message = "K or M holds a value that is not finite";
    return e_notFinite;
  }
  // Duplicates (K and M at one position, or both mirrors of a pair) are summed here.
  cholmod_sparse* A = cholmod_l_triplet_to_sparse(T, T->nnz, &d.common);
  cholmod_l_free_triplet(&T, &d.common);
  if (!A) {
    d.message = "not enough memory for the shifted matrix";
    return e_outOfMemory;
  }
  d.factor = cholmod_l_analyze(A, &d.common);
  if (d.factor) cholmod_l_factorize(A, d.factor, &d.common);
  cholmod_l_free_sparse(&A, &d.common);
  char buf[512];
  if (!d.factor || d.common.status == CHOLMOD_OUT_OF_MEMORY || d.common.status == CHOLMOD_TOO_LARGE) {
    d.Release();
    d.message = "the factor of K - sigma*M does not fit in memory";
    return e_outOfMemory;
  }
  if (d.common.status == CHOLMOD_NOT_POSDEF || d.factor->minor < static_cast<size_t>(n)) {
    std::snprintf(buf, sizeof buf,
                  "K - sigma*M is not positive definite for sigma = %g (the factorisation broke down at pivot %lld "
                  "of %d): %s",
                  sigma, static_cast<long long>(d.factor->minor) + 1, n, kShiftAdvice);
    d.Release();
    d.message = buf;
    return e_indefinite;
  }
  d.order = n;
  d.rcond = n ? cholmod_l_rcond(d.factor, &d.common) : 1.0;
  // The pivot ratio squared: beyond this the solves carry no correct digit.
  if (n && !(d.rcond > std::numeric_limits<double>::epsilon())) {
    std::snprintf(buf, sizeof buf,
                  "K - sigma*M is numerically singular for sigma = %g (reciprocal condition %.3g): the shift is at "
                  "an eigenvalue or K is singular; %s",
                  sigma, d.rcond, kShiftAdvice);
    const double rc = d.rcond;
    d.Release();
    d.rcond = rc;
    d.message = buf;
    return e_singular;
  }
  return e_ok;
}

void QORMtxSparseFactor::Solve(double* X, int numVectors, long long ld) const {
  Impl& d = *m_impl;
  QORMTX_ASSERT(IsFactored());
  const int n = d.order;
  if (numVectors <= 0 || n == 0) return;
  QORMTX_ASSERT(ld >= n);
  // The right-hand sides are solved in blocks so that the solver's workspace stays a few columns wide whatever
  // the caller passes; 16 columns keep the supernodal triangular solves at matrix-matrix speed.
  const int block = 16;
  cholmod_dense B;
  std::memset(&B, 0, sizeof B);
  B.nrow = n;
  B.d = ld;
  B.xtype = CHOLMOD_REAL;
  B.dtype = CHOLMOD_DOUBLE;
  cholmod_dense* Y = nullptr;
  cholmod_dense* E = nullptr;
  cholmod_dense* R = nullptr;
  for (int j0 = 0; j0 < numVectors; j0 += block) {
    const int nb = std::min(block, numVectors - j0);
    B.ncol = nb;
    B.nzmax = static_cast<size_t>(ld) * nb;
    B.x = X + static_cast<long long>(j0) * ld;
    // R, Y and E are reused across blocks (solve2 reallocates them only when the width changes).
    const int ok = cholmod_l_solve2(CHOLMOD_A, d.factor, &B, nullptr, &R, nullptr, &Y, &E, &d.common);
    QORMTX_ASSERT(ok && R);
    const double* r = static_cast<const double*>(R->x);
    for (int j = 0; j < nb; ++j)
      std::memcpy(X + static_cast<long long>(j0 + j) * ld, r + static_cast<long long>(j) * R->d, sizeof(double) * n);
  }
  cholmod_l_free_dense(&R, &d.common);
  cholmod_l_free_dense(&Y, &d.common);
  cholmod_l_free_dense(&E, &d.common);
}
