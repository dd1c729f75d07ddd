// QORLapackHooks: an external linear-algebra package on LAPACK for the kernel dispatch table of QORMtxBlaUtilities.
#pragma once
#include <cstdio>

/// \brief Installs the package into QORMtxBlaUtilities: m_eigenSolve, m_diagAdd, m_solve and m_complexSolve.
///
/// The dispatch layer has no built-in generalised eigen solve and no built-in diagonal add; a host calls this once,
/// before it solves, to make QORMtxBLA::EigenSolve, EigenSolveGeneral and QORMtxBlaUtilities::DiagAdd work. The
/// hooks run only while QORMtxBlaUtilities::m_linAlgExternalFlag is true (its default); other hooks are left alone.
extern "C" void QORLapackHooks_Install(void);
/// \brief Removes the hooks this package installed (a hook replaced by someone else since stays).
extern "C" void QORLapackHooks_Uninstall(void);

/// The hook functions themselves, with the parameter lists of QORMtxBlaUtilities' hook table. Every one runs its
/// LAPACK calls on numThreads kernel threads (numThreads > 0) and restores the kernel library's count afterwards.
namespace QORLapackHooks {

/// Statuses of EigenSolve beyond LAPACK's argument errors; they stay clear of the small codes the core returns
/// itself (EigenSolveGeneral's 6, QORMtxEigenSolvers' 1 to 5), so a caller can tell whose verdict it holds.
enum Status {
  kNotConverged = 101,    ///< the eigen solver did not converge
  kNotDefinite = 102,     ///< neither M nor K is positive definite (both Cholesky factorisations failed)
  kNotFinite = 103,       ///< K or M holds an infinity or a NaN
  kResultNotFinite = 104  ///< an eigenvalue or vector overflowed (K and M too far apart in scale)
};

/// \brief K·x = λ·M·x for symmetric K and M (n × n, leading dimension n, the uplo triangle read: 'U' or 'L').
///
/// Method: when M is positive definite (its Cholesky factorisation succeeds), the full spectrum by divide and
/// conquer (dsygvd) and a selection by Cholesky, reduction, relatively robust representations on the selected
/// pairs only (dsyevr) and back-transformation, so that the lowest few cost a fraction of the full solve.
/// Eigenvalues ascending in eigenvalues[0..numFound), vectors as the first numFound columns of eigenvectors
/// (leading dimension n; n·n doubles, or n·(il..iu count) for an index range), M-orthonormal: xᵀ·M·x = 1 (−1 in the
/// reversed case below for a negative eigenvalue of an indefinite M). K and M are overwritten.
///
/// Bounds, chosen by option:
/// - option 0 (what QORMtxBLA::EigenSolve passes): bound1 < bound2 asks for the eigenvalues in the half-open
///   value interval (bound1, bound2]; bound1 ≥ bound2 (for example 0, 0) asks for all n eigenpairs.
/// - option 1: bound1 and bound2 are 1-based indices il ≤ iu into the ascending eigenvalues, rounded to the
///   nearest integer and clipped to 1..n; the pairs il..iu are returned (none when il > iu after clipping).
///
/// The flag (QORMtxBLA::EigenSolve passes "M failed the cheap positive-definiteness test") is not trusted: that
/// test is only necessary. Whenever the Cholesky factorisation of M fails, or succeeds with a smallest pivot² below
/// n·ε times the largest (M singular to working precision), the reversed pencil M·x = μ·K·x is solved instead (K
/// must then be positive definite; when it is not, a nearly singular M is used after all), λ = 1/μ for the μ that
/// are not negligible against the largest (|μ| > n·ε·max|μ|: thresholds relative to the pencil's own scale); the
/// directions with μ ≈ 0 (infinite λ, massless unknowns) are dropped, and the bounds apply to the finite λ. With a
/// positive semidefinite M an index range is computed alone (the largest μ), otherwise every pair is. log, when
/// not null, receives one line per call (size, path, pairs found, status, and why the reversed pencil was used).
///
/// \return 0 success; −i argument i illegal (LAPACK convention); otherwise one of Status. After a failure
/// numFound is 0.
int EigenSolve(char uplo, int n, double* K, double* M, double bound1, double bound2, bool flag, int numThreads,
               int& numFound, double* eigenvalues, double* eigenvectors, FILE* log, int option);

/// \brief A sentence for a status of EigenSolve, for messages.
const char* StatusText(int status);

/// \brief A(i, i) += alpha·d(i) for i < min(n, m): A is n × m with leading dimension lda. blockSize is not
/// needed by a strided update and is ignored.
void DiagAdd(int n, int m, int blockSize, double alpha, const double* d, double* A, int lda, int numThreads);

/// \brief Symmetric indefinite A·X = B in place (B becomes X), lower triangle, blocked Bunch–Kaufman (dsysv with
/// the workspace its query asks for, where the built-in path runs unblocked on n doubles). The two tolerances are
/// ignored: a pivot is singular only when it is exactly zero. Returns dsysv's info.
int Solve(double tol1, double tol2, int n, int nrhs, int blockSize, double* A, int lda, double* B, int ldb,
          int numThreads);

/// \brief Complex symmetric (not Hermitian) twin of Solve (zsysv with its queried workspace); arrays interleaved.
int ComplexSolve(double tol1, double tol2, int n, int nrhs, int blockSize, double* A, int lda, double* B, int ldb,
                 int numThreads);

}  // namespace QORLapackHooks
