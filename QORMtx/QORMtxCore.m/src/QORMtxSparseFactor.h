// QORMtxSparseFactor: sparse Cholesky factorisation of a shifted pencil K - sigma·M, for shift-and-invert.
#pragma once
#include <memory>
#include <string>

class QORMtxSparseMatrix;

/// \brief Supernodal Cholesky factor L·Lᵀ = P·(K - sigma·M)·Pᵀ with a fill-reducing ordering P, solving many
/// right-hand sides at once.
///
/// The factorisation kernel lives behind this class alone: nothing else of the library sees it. K and M are read
/// through the sparse iterator, in either storage; only their lower triangles are used (they must be symmetric),
/// an entry above the diagonal standing for its mirror. M may be absent (sigma·I is then not subtracted: the factor
/// is of K alone).
///
/// A shifted matrix that is not positive definite (a shift above the lowest eigenvalue, a singular K at shift 0)
/// or numerically singular is refused with a status and a message that names the cause and suggests another
/// shift; never a crash. Not thread-safe: one object, one thread at a time.
class QORMtxSparseFactor {
 public:
  enum Status {
    e_ok = 0,
    e_notSquare = 1,      ///< K (or M) not square, or of different orders
    e_notFinite = 2,      ///< a NaN or an infinity among the entries or the shift
    e_indefinite = 3,     ///< the factorisation broke down: K - sigma·M is not positive definite
    e_singular = 4,       ///< factorised, but the reciprocal condition estimate is below the round-off level
    e_outOfMemory = 5     ///< the factor does not fit
  };

  QORMtxSparseFactor();
  ~QORMtxSparseFactor();
  QORMtxSparseFactor(const QORMtxSparseFactor&) = delete;
  QORMtxSparseFactor& operator=(const QORMtxSparseFactor&) = delete;

  /// \brief Factorises K - sigma·M (M null: K). Returns a Status; Message() then says why in a sentence.
  /// A previous factor is released first, also on failure.
  Status Factor(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix* M, double sigma);
  /// \brief X = (K - sigma·M)⁻¹·X in place for numVectors column-major columns of leading dimension ld >= Order().
  /// Precondition "IsFactored()".
  void Solve(double* X, int numVectors, long long ld) const;
  bool IsFactored() const;
  /// \brief Order of the factored matrix (0 before a successful Factor).
  int Order() const;
  /// \brief Entries of the factor L (its memory is about 8 bytes each).
  long long FactorEntries() const;
  /// \brief Reciprocal condition estimate of the last factor (the ratio of the extreme pivots squared).
  double ReciprocalCondition() const;
  /// \brief The last failure's explanation; empty after success.
  const std::string& Message() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
