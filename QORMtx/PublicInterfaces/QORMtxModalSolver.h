// QORMtxModalSolver: the lowest eigenpairs of a large sparse pencil K·x = λ·M·x by shift-and-invert.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QORMtxScratchDenseMatrix.h"

class QORMtxSparseMatrix;

/// \brief Settings of one modal solve.
struct QORMtxModalOptions {
  int count = 10;            ///< wanted eigenpairs, those nearest the shift (the lowest for a shift below them)
  double shift = 0.0;        ///< sigma of the factor K - sigma·M
  double tolerance = 1e-12;  ///< on the error of every wanted pair (see progress)
  int maxIterations = 300;   ///< restarts before giving up
  /// Width of the Krylov blocks; 0: count + 8 (at most the order). Wider than the largest cluster of nearly equal
  /// eigenvalues, so that each of them has a start direction of its own.
  int blockSize = 0;
  /// Vectors of the basis on which each Rayleigh–Ritz step is taken; 0: max(6·count + 2·block, 200). A deeper
  /// basis separates crowded eigenvalues in fewer restarts.
  int basisSize = 0;
  /// Called after each restart with the iteration, the number of wanted pairs converged and the largest error
  /// among the wanted ones. A pair's error is the larger of its backward error and the square of 100 times its
  /// residual in the shift-inverted problem, ‖S·x − μ·x‖/|μ| (which bounds the eigenvalue's relative error): on
  /// stiff models the backward error alone accepts vectors that mix nearly equal modes.
  std::function<void(int, int, double)> progress;
};

/// \brief What a modal solve found.
struct QORMtxModalResult {
  /// 0: the wanted pairs met the tolerance; 1: factorisation refused; 2: not converged; 3: M is indefinite
  int status = 0;
  std::string message;  ///< why, when status is not 0
  int iterations = 0;
  std::vector<double> eigenvalues;     ///< ascending, count of them (status 2: the best reached, not results)
  std::vector<double> backwardErrors;  ///< ‖K·x - λ·M·x‖ / ((‖K‖ + |λ|·‖M‖)·‖x‖), infinity norms
  std::vector<double> residuals;       ///< ‖K·x - λ·M·x‖ / ‖K·x‖
  /// n × count, M-orthonormal, in a scratch database file of its own (see QORMtxScratchDenseMatrix): copy it
  /// into a database with QORMtxDenseMatrix::CopyValues, read columns with GetValues. Null when no pair is found.
  std::unique_ptr<QORMtxScratchDenseMatrix> modes;
};

/// \brief Thick-restarted block shift-and-invert Krylov iteration with locking.
///
/// The basis grows by Krylov blocks R, S·R, S²·R, ... (S = (K - sigma·M)⁻¹·M, one sparse factorisation for the
/// whole solve, many columns per solve), kept M-orthonormal. When it is full, K is projected onto it and the
/// Ritz pairs nearest the shift are computed; about half of them are kept (rotated in place), with the next
/// Krylov block as the continuation, so a restart loses little of what the basis had learned. Pairs that meet
/// the tolerance are locked: they stay in the basis only as directions to orthogonalise against and no longer
/// take part in the projection. A block wider than a cluster and the retained Ritz vectors together separate
/// crowded eigenvalues that plain subspace iteration stalls on. Massless unknowns (a singular M) need nothing
/// special: S maps every vector into the span of the finite modes. An indefinite M shows itself as a
/// direction of negative M-norm and stops the solve (status 3).
///
/// Memory: the basis with its products (four n × (basisSize + blockSize) matrices), the candidates and the locked
/// vectors live in scratch stored matrices (QORMtxScratchDenseMatrix, files in QORMtxUtilities::GetTempDirectory());
/// in core stay the factorisation, K, M and five n × max(blockSize, count) arrays, whatever basisSize is.
///
/// Needs an eigen kernel in the dispatch table (QORMtxBLA::EigenSolve).
class QORMtxModalSolver {
 public:
  QORMtxModalSolver() = delete;
  static QORMtxModalResult Solve(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M,
                                 const QORMtxModalOptions& options);
};
