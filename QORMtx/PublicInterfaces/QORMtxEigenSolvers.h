// QORMtxEigenSolvers: built-in symmetric standard and generalised eigen solvers on raw column-major arrays.
#pragma once

/// \brief Dense symmetric eigen solutions from library kernels: tridiagonal reduction (dsytrd), the relatively
/// robust representation solver (dstevr) for all eigenpairs, then a selection by value and back-transformation.
/// Workspaces are sized once from n (147·n doubles, 144·n integers) instead of querying the kernels.
class QORMtxEigenSolvers {
 public:
  QORMtxEigenSolvers() = default;

  /// \brief A·x = λ·B·x for symmetric A and symmetric positive definite B (n × n, leading dimension n, upper
  /// triangles read); the eigenpairs with lo ≤ λ ≤ hi are returned in ascending order.
  ///
  /// B is overwritten by its Cholesky factor and A by the reduced standard problem. w needs n values and z n × n
  /// (the selection is made after all n pairs are computed). On return m pairs are found: w[0..m) and the first
  /// m columns of z, B-orthonormal (zᵀ·B·z = I).
  /// \return 0 success; 1 tridiagonal reduction failed; 2 tridiagonal eigen solver failed; 3 back-transformation
  /// failed; 4 B not positive definite (Cholesky failed); 5 reduction to standard form failed.
  static int Generalized(int n, double* A, double* B, int& m, double* w, double* z, double lo, double hi);

 private:
  /// \brief All eigenpairs of symmetric A (upper triangle, overwritten), then those with lo ≤ λ ≤ hi moved to
  /// the front of w and z, in ascending order. Preconditions "lwork > 20*nrows", "liwork > 10*nrows".
  /// \return 0 success, 1 dsytrd, 2 dstevr, 3 dormtr failed.
  static int Standard(double* A, int n, int& m, double* w, double* z, double lo, double hi);
};
