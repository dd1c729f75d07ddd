// QORMtxModalSolver: the lowest eigenpairs of a large sparse pencil K·x = λ·M·x by shift-and-invert.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "QORMtxMatrix.h"

class QORMtxSparseMatrix;

/// \brief Settings of one modal solve.
struct QORMtxModalOptions {
  int count = 10;            ///< wanted eigenpairs, those nearest the shift (the lowest for a shift below them)
  double shift = 0.0;        ///< sigma of the factor K - sigma·M
  double tolerance = 1e-12;  ///< on the normwise backward error of every wanted pair
  int maxIterations = 300;   ///< restarts before giving up
  int blockSize = 0;  ///< vectors carried between restarts; 0: count + 8, at most the order
  /// Krylov blocks added to the carried block in each restart; 0: enough for a basis of max(20·count, 400)
  /// vectors. A deep basis separates clusters in one or two restarts where a shallow one needs hundreds.
  int depth = 0;
  /// Called after each restart with the iteration, the number of wanted pairs converged and the largest backward
  /// error among the wanted ones.
  std::function<void(int, int, double)> progress;
};

/// \brief What a modal solve found.
struct QORMtxModalResult {
  int status = 0;       ///< 0: the wanted pairs met the tolerance; 1: factorisation refused; 2: not converged
  std::string message;  ///< why, when status is not 0
  int iterations = 0;
  std::vector<double> eigenvalues;     ///< ascending, count of them (status 2: the best reached, not results)
  std::vector<double> backwardErrors;  ///< ‖K·x - λ·M·x‖ / ((‖K‖ + |λ|·‖M‖)·‖x‖), infinity norms
  std::vector<double> residuals;       ///< ‖K·x - λ·M·x‖ / ‖K·x‖
  QORMtxMatrix modes;                  ///< n × count, M-orthonormal
};

/// \brief Block shift-and-invert Krylov iteration with Rayleigh–Ritz restarts.
///
/// Each restart takes the carried block X (M-orthonormal), appends S·X, S²·X, ... (S = (K - sigma·M)⁻¹·M, one
/// sparse factorisation for the whole solve, many columns per solve), orthonormalises the blocks in the M inner
/// product, projects K and M onto them, solves the small symmetric pencil and keeps the Ritz vectors nearest the
/// shift as the next X. A wide block and the Krylov blocks together separate clustered eigenvalues that a plain
/// subspace iteration of the same width stalls on. Massless unknowns (a singular M) need nothing special: S
/// maps every vector into the span of the finite modes.
///
/// Needs an eigen kernel in the dispatch table (QORMtxBLA::EigenSolve).
class QORMtxModalSolver {
 public:
  QORMtxModalSolver() = delete;
  static QORMtxModalResult Solve(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M,
                                 const QORMtxModalOptions& options);
};
