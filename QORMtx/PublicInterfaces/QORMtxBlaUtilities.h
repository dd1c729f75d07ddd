// QORMtxBlaUtilities: the replaceable dense kernel table (hooks, their settings) and thin kernel wrappers.
#pragma once
#include <cstddef>
#include <cstdio>

/// Static members only. Dense products, solves, the generalised eigen solve, diagonal scaling and diagonal
/// addition go to a host-installed hook when one is set and m_linAlgExternalFlag is true, otherwise to the
/// built-in kernels. Complex arrays and scalars are interleaved (real, imaginary) pairs of doubles.
///
/// Hook rules: the thread count a hook receives is the caller's numThreads when non-zero, else m_numThreads
/// (Scale differs, see there); the block size is m_blkSize; solve hooks get m_zeroPivotTol twice.
/// \warning The settings and hooks are plain statics: set them before kernels run, never while they run.
class QORMtxBlaUtilities {
 public:
  // ---- Hook signatures ----
  typedef void (*MultiplyFunc)(char transA, char transB, int m, int n, int k, double alpha, const double* A, int lda,
                               const double* B, int ldb, double beta, double* C, int ldc, int resultKind, int blockSize,
                               int numThreads);
  typedef void (*ComplexMultiplyFunc)(char transA, char transB, int m, int n, int k, const double* alpha,
                                      const double* A, int lda, const double* B, int ldb, const double* beta, double* C,
                                      int ldc, int resultKind, int blockSize, int numThreads);
  typedef int (*SolveFunc)(double tol1, double tol2, int n, int nrhs, int blockSize, double* A, int lda, double* B,
                           int ldb, int numThreads);
  typedef int (*EigenSolveFunc)(char uplo, int n, double* K, double* M, double bound1, double bound2, bool flag,
                                int numThreads, int& numFound, double* eigenvalues, double* eigenvectors, FILE* log,
                                int option);
  typedef void (*ScaleFunc)(int n, int m, char inva, char sidea, double alpha, const double* a, const double* B,
                            int ldb, double beta, double* C, int ldc, int numBlocks, int numThreads);
  typedef void (*DiagAddFunc)(int n, int m, int blockSize, double alpha, const double* d, double* A, int lda,
                              int numThreads);

  // ---- Settings (defaults hold from load time) ----
  static bool m_linAlgExternalFlag;  ///< hooks are used only while true (default true)
  static int m_numThreads;           ///< thread count for hooks when a caller passes 0 (default 1)
  static int m_threadsBlas1;         ///< level-1 thread count for the host (default 1)
  static int m_maxThreadsBlas1;      ///< cap applied by SetNumberOfThreads (default 8)
  static int m_blkSize;              ///< block size handed to hooks (default 144)
  static double m_zeroPivotTol;      ///< pivot tolerance handed to solve hooks (default 1e-36)
  static bool m_zgemm3mFlag;         ///< complex products by the three-multiplication kernel (default false)
  static int m_numGpus;              ///< GPU count for the host's package (default 0)

  static bool LinAlgExternalFlag() { return m_linAlgExternalFlag; }
  static void SetLinAlgExternalFlag(bool on) { m_linAlgExternalFlag = on; }
  static int NumberOfThreads() { return m_numThreads; }
  /// \brief m_numThreads = n and m_threadsBlas1 = min(n, m_maxThreadsBlas1).
  static void SetNumberOfThreads(int n);
  static int ThreadsBlas1() { return m_threadsBlas1; }
  static void SetThreadsBlas1(int n) { m_threadsBlas1 = n; }
  static int MaxThreadsBlas1() { return m_maxThreadsBlas1; }
  /// \brief Stores the cap only; m_threadsBlas1 is not recomputed.
  static void SetMaxThreadsBlas1(int n) { m_maxThreadsBlas1 = n; }
  static bool Zgemm3mFlag() { return m_zgemm3mFlag; }
  static void SetZgemm3mFlag(bool on) { m_zgemm3mFlag = on; }
  static int NumberOfGpus() { return m_numGpus; }
  static void SetNumberOfGpus(int n) { m_numGpus = n; }

  // ---- Hooks (null by default) ----
  static MultiplyFunc m_multiply;
  static ComplexMultiplyFunc m_complexMultiply;
  static SolveFunc m_solve;
  static SolveFunc m_unsymmSolve;
  static SolveFunc m_complexSolve;
  static SolveFunc m_complexUnsymmSolve;
  static EigenSolveFunc m_eigenSolve;
  static ScaleFunc m_scale;
  static DiagAddFunc m_diagAdd;

  static void SetMultiply(MultiplyFunc f) { m_multiply = f; }
  static void SetComplexMultiply(ComplexMultiplyFunc f) { m_complexMultiply = f; }
  static void SetSolve(SolveFunc f) { m_solve = f; }
  static void SetUnsymmSolve(SolveFunc f) { m_unsymmSolve = f; }
  static void SetComplexSolve(SolveFunc f) { m_complexSolve = f; }
  static void SetComplexUnsymmSolve(SolveFunc f) { m_complexUnsymmSolve = f; }
  static void SetEigenSolve(EigenSolveFunc f) { m_eigenSolve = f; }
  static void SetScale(ScaleFunc f) { m_scale = f; }
  static void SetDiagAdd(DiagAddFunc f) { m_diagAdd = f; }

  // ---- Hooked operations ----
  /// \brief C = alpha·op(A)·op(B) + beta·C, op(A) m × k, op(B) k × n, trans 'N' or 'T'.
  /// resultKind (1 symmetric, −1 skew, 0 general) lets a hook compute one triangle; the built-in dgemm ignores
  /// it and numThreads.
  static void Multiply(char transA, char transB, int m, int n, int k, double alpha, const double* A, int lda,
                       const double* B, int ldb, double beta, double* C, int ldc, int resultKind, int numThreads);
  /// \brief Complex C = alpha·op(A)·op(B) + beta·C; built-in: zgemm3m when m_zgemm3mFlag, else zgemm.
  static void ComplexMultiply(char transA, char transB, int m, int n, int k, const double* alpha, const double* A,
                              int lda, const double* B, int ldb, const double* beta, double* C, int ldc, int resultKind,
                              int numThreads);
  /// \brief Solves A·X = B in place (B becomes X) for symmetric indefinite A (lower triangle, dsysv).
  /// A is overwritten by its factor. Returns the kernel's info: 0, −i (argument i illegal), +i (zero pivot i).
  static int Solve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads);
  /// \brief As Solve for general A (LU with partial pivoting, dgesv).
  static int UnsymmSolve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads);
  /// \brief As Solve for complex symmetric (not Hermitian) A (zsysv, lower triangle).
  static int ComplexSolve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads);
  /// \brief As UnsymmSolve for complex A (zgesv).
  static int ComplexUnsymmSolve(int n, int nrhs, double* A, int lda, double* B, int ldb, int numThreads);
  /// \brief Generalised eigen solve K·x = λ·M·x through the installed hook; there is no built-in path.
  /// Preconditions "numRows > 0", "K", "uplo == 'L' || uplo == 'U'", "eigenvalues && eigenvectors"; without a
  /// usable hook fails "0". flag, bound1, bound2 and option are only passed on.
  static int EigenSolve(char uplo, int numRows, double* K, double* M, int& numFound, double* eigenvalues,
                        double* eigenvectors, double bound1, double bound2, bool flag, int numThreads, FILE* log,
                        int option);
  /// \brief A(i, i) += alpha·d(i) through the installed hook; without a usable hook fails "0".
  static void DiagAdd(int n, int m, double alpha, const double* d, double* A, int lda, int numThreads);
  /// \brief C = alpha·diag(a)·B + beta·C (sidea 'L', a of n values) or C = alpha·B·diag(a) + beta·C ('R', a of m
  /// values); B and C are n × m; inva 'I' uses diag(a)⁻¹ (tiny entries replaced as qormtx_darray_invert does).
  /// Preconditions "n > 0 && m > 0", "inva == 'N' || inva == 'I'", "sidea == 'L' || sidea == 'R'",
  /// "A && B && C", "B != C || ldb == ldc". beta 0 leaves C unread.
  /// A hook gets t = min(numThreads or (m_numThreads + 1) / 2, m) threads and numBlocks when 1 <= numBlocks <= m,
  /// else (m − 1) / t + 1 blocks.
  static void Scale(int n, int m, char inva, char sidea, double alpha, const double* A, const double* B, int ldb,
                    double beta, double* C, int ldc, int numBlocks, int numThreads);
  /// \brief As the other Scale, inverting with qormtx_darray_invert_eps (|a_i| < eps becomes ±1/eps); a hook
  /// always gets the computed block count.
  static void Scale(int n, int m, char inva, char sidea, double alpha, const double* A, const double* B, int ldb,
                    double beta, double* C, int ldc, double eps, int numThreads);

  // ---- Thin kernel wrappers (a trailing numThreads has no effect) ----
  static void Daxpy(int n, double alpha, const double* x, int incx, double* y, int incy, int numThreads = 0);
  /// \brief y = alpha·x + beta·y.
  static void Daxpby(int n, double alpha, const double* x, int incx, double beta, double* y, int incy,
                     int numThreads = 0);
  static void Dcopy(int n, const double* x, int incx, double* y, int incy, int numThreads = 0);
  static double Ddot(int n, const double* x, int incx, const double* y, int incy, int numThreads = 0);
  static void Dscal(int n, double alpha, double* x, int incx, int numThreads = 0);
  static void Zaxpy(int n, const double* alpha, const double* x, int incx, double* y, int incy, int numThreads = 0);
  static void Zcopy(int n, const double* x, int incx, double* y, int incy, int numThreads = 0);
  static void Dlacpy(char uplo, int m, int n, const double* A, int lda, double* B, int ldb);
  static void Zlacpy(char uplo, int m, int n, const double* A, int lda, double* B, int ldb);
  static void Dlaset(char uplo, int m, int n, double alpha, double beta, double* A, int lda);
  static void Zlaset(char uplo, int m, int n, const double* alpha, const double* beta, double* A, int lda);
  /// \brief A += alpha·x·yᵀ, complex, unconjugated (zgeru).
  static void ComplexRank1Update(int m, int n, const double* alpha, const double* x, int incx, const double* y,
                                 int incy, double* A, int lda, int numThreads = 0);
  /// \brief y = alpha·op(A)·x + beta·y. Precondition "transa == 'N' || transa == 'n' || transa == 'T' ||
  /// transa == 't'".
  static void Dgemv(char transa, int m, int n, double alpha, const double* A, int lda, const double* x, int incx,
                    double beta, double* y, int incy, int numThreads = 0);
  /// \brief Complex product straight to the kernel (zgemm3m when m_zgemm3mFlag, else zgemm); no hook.
  static void Zgemm(char transa, char transb, int m, int n, int k, const double* alpha, const double* A, int lda,
                    const double* B, int ldb, const double* beta, double* C, int ldc, int numThreads = 0);

  /// \brief B = alpha·op(A), column-major, A rows × cols before op. Precondition "trans == 'N' || trans == 'n' ||
  /// trans == 'T' || trans == 't'".
  static void Domatcopy(char trans, size_t rows, size_t cols, double alpha, const double* A, size_t lda, double* B,
                        size_t ldb);
  /// \brief As Domatcopy with element strides inside the columns of A and B.
  static void Domatcopy2(char trans, size_t rows, size_t cols, double alpha, const double* A, size_t lda,
                         size_t stridea, double* B, size_t ldb, size_t strideb);
  /// \brief C = alpha·op(A) + beta·op(B), C rows × cols; the trans test above on transa and on transb.
  static void Domatadd(char transa, char transb, size_t rows, size_t cols, double alpha, const double* A, size_t lda,
                       double beta, const double* B, size_t ldb, double* C, size_t ldc);
  /// \brief Complex Domatcopy; trans also admits 'C'/'c' (conjugate transpose) and 'R'/'r' (conjugate).
  static void Zomatcopy(char trans, size_t rows, size_t cols, const double* alpha, const double* A, size_t lda,
                        double* B, size_t ldb);
  static void Zomatcopy2(char trans, size_t rows, size_t cols, const double* alpha, const double* A, size_t lda,
                         size_t stridea, double* B, size_t ldb, size_t strideb);
  static void Zomatadd(char transa, char transb, size_t rows, size_t cols, const double* alpha, const double* A,
                       size_t lda, const double* beta, const double* B, size_t ldb, double* C, size_t ldc);

  /// \brief Eigenvalues (ascending) and eigenvectors (into A) of symmetric A from its upper triangle (dsyev).
  /// Preconditions "n > 0", "A", "eigenvalues", "lda >= n". Returns the kernel's info.
  static int Dsyev(int n, double* A, int lda, double* eigenvalues, int numThreads = 0);
  /// \brief Hessenberg reduction Qᵀ·A·Q (dgehrd, ilo 1, ihi n); reflectors in A below the subdiagonal and tau.
  /// Precondition "n > 0".
  static int HessReduce(int n, double* A, int lda, double* tau, int numThreads = 0);
  /// \brief C = op(Q)·C ('L') or C·op(Q) ('R') with Q from HessReduce (dormhr). Preconditions
  /// "side == 'L' || side == 'R'", "trans == 'N' || trans == 'T'", "m > 0 && n > 0".
  static int HessTransform(char side, char trans, int m, int n, double* A, int lda, double* tau, double* C, int ldc,
                           int numThreads = 0);
  /// \brief Eigenvalues wr + i·wi and optional left/right eigenvectors of general A (dgeev). Preconditions
  /// "jobvl == 'N' || jobvl == 'V'", "jobvr == 'N' || jobvr == 'V'", "n > 0 && a && lda >= n && wr && wi",
  /// "jobvl == 'N' || (vl && ldvl >= n)", "jobvr == 'N' || (vr && ldvr >= n)", "numThreads >= 0".
  static int UnsymmEigenSolve(char jobvl, char jobvr, int n, double* a, int lda, double* wr, double* wi, double* vl,
                              int ldvl, double* vr, int ldvr, int numThreads);
  /// \brief Complex twin of UnsymmEigenSolve (zgeev) with one complex eigenvalue array w; the same tests with
  /// "n > 0 && a && lda >= n && w".
  static int ComplexUnsymmEigenSolve(char jobvl, char jobvr, int n, double* a, int lda, double* w, double* vl, int ldvl,
                                     double* vr, int ldvr, int numThreads);
  /// \brief Complex Hessenberg reduction (zgehrd, ilo 1, ihi n). Precondition "n > 0".
  static int ComplexHessReduce(int n, double* A, int lda, double* tau, int numThreads = 0);
  /// \brief C = op(Q)·C or C·op(Q) with Q from ComplexHessReduce (zunmhr). Preconditions "side == 'L' ||
  /// side == 'R'", "trans == 'N' || trans == 'C'", "m > 0 && n > 0".
  static int ComplexHessTransform(char side, char trans, int m, int n, double* A, int lda, double* tau, double* C,
                                  int ldc, int numThreads = 0);
  /// \brief Solves op(A)·X = B for triangular complex A (ztrtrs). Preconditions "uplo == 'L' || uplo == 'U'",
  /// "trans == 'N' || trans == 'T' || trans == 'C'", "diag == 'N' || diag == 'U'".
  static int ComplexTriangSolve(char uplo, char trans, char diag, int n, int nrhs, double* A, int lda, double* B,
                                int ldb, int numThreads = 0);
  /// \brief result (one complex value) = Σ conj(x_k)·y_k. Precondition "n > 0".
  static void ComplexDotProduct(int n, const double* x, int incx, const double* y, int incy, double* result);
  /// \brief Complex C(:, j) = alpha·(a ∘ B(:, j)) + beta·C(:, j) over m columns; B, C n × m, a of n values.
  /// Preconditions "n > 0 && m > 0", "inva == 'N'", "sidea == 'L'", "A && B && C", "B != C || ldb == ldc".
  static void ComplexScale(int n, int m, char inva, char sidea, double* alpha, const double* A, const double* B,
                           int ldb, double* beta, double* C, int ldc, int numBlocks, int numThreads);
};
