// QORMtxBLA: level-3 dense linear algebra on in-core and stored matrices (sums, products, solves, eigen solves).
#pragma once

#include "QORMtxMatrix.h"

class QORMtxComplex;
class QORMtxComplexMatrix;
class QORMtxReImMatrix;
class QORMtxDenseMatrix;
template <class T>
class QORBasVector;

/// \brief Static operations only. Every member checks its operands with fatal assertions, applies DIAG
/// operands itself (element loops or strided kernels, never expanded) and hands full operands to the dispatch
/// layer QORMtxBlaUtilities, which calls an installed hook or the built-in kernels.
///
/// A matrix is *present* (`!!A`) when its value pointer is not null; an empty QORMtxMatrix is absent.
/// A trailing numThreads is passed to the kernel call unchanged; 0 selects QORMtxBlaUtilities::m_numThreads.
class QORMtxBLA {
 public:
  /// \brief op(X): X as stored ('N'), transposed ('T'), conjugate-transposed ('C', complex operands).
  /// For real operands every value other than NOOP means transposition.
  enum Operation { NOOP = 0, TRANS = 1, CONJTRANS = 2 };
  /// \brief What the caller knows of a product's result. The kernel receives +1 for SYMM (and HERM in complex
  /// products), −1 for SKEW, else 0, so that an external kernel may compute one triangle and mirror it.
  enum ResultType { UNKNOWN = 0, SYMM = 1, SKEW = 2, DIAG = 3, HERM = 4 };

  QORMtxBLA() = delete;

  // ---- Sums, fills, scaling ----

  /// \brief Type of A + B: absent operands are ignored (neither present: UNKNOWN); DIAG+DIAG is DIAG;
  /// DIAG or SYMM with SYMM is SYMM; anything else is UNKNOWN.
  static QORMtxMatrix::MtxType MatrixType(const QORMtxMatrix& A, const QORMtxMatrix& B);

  /// \brief C = a·A + s·B for square A, B of one size n, with an integer factor on B.
  ///
  /// Precondition "&C != &A && &C != &B". An operand contributes when it is present and its factor is not 0;
  /// with no contribution, or n = 0, C is emptied. Present operands must be n × n:
  /// "!A || A.IsSquare() && A.NumberOfRows() == n", "!B || B.IsSquare() && B.NumberOfRows() == n".
  /// C is kept when it is n × n of type MatrixType(A, B), otherwise reset to that. A DIAG operand is added
  /// along the diagonal of a full C (stride n + 1); the other entries of C then come from the full operand, or
  /// are 0 when the diagonal operand is the only contribution.
  static void Add(double a, const QORMtxMatrix& A, int s, const QORMtxMatrix& B, QORMtxMatrix& C);

  /// \brief C = a·A + b·B, as the integer form, with a zero factor counting as absence when C's type is chosen
  /// (a = 0: B's type; b = 0: A's type). Square preconditions "!A || !!A && A.IsSquare() && A.NumberOfRows() == n"
  /// and "!B || !!B && B.IsSquare() && B.NumberOfRows() == n"; the stored counts must agree with C's:
  /// "numValA == numValC" / "numValB == numValC", and a DIAG operand added to a full one needs
  /// "numValB == n" / "numValA == n". Full arrays go to Domatcopy/Domatadd, a diagonal to Daxpy (stride n + 1).
  static void Add(double a, const QORMtxMatrix& A, double b, const QORMtxMatrix& B, QORMtxMatrix& C, int numThreads);

  /// \brief C = a·A + b·B + c·C in place; shapes are fixed.
  ///
  /// Preconditions in order: "!!A" when a ≠ 0, "!!B" when b ≠ 0, "!!C", all three DIAG or none
  /// ("A.IsDiagonal() && B.IsDiagonal() && C.IsDiagonal() || !A.IsDiagonal() && !B.IsDiagonal() &&
  /// !C.IsDiagonal()"), and equal shapes ("numRowsA == numRowsB && numRowsB == numRowsC && numColsA == numColsB
  /// && numColsB == numColsC"). Computed as Daxpby (C = b·B + c·C) then Daxpy (C += a·A).
  static void Add(double a, const QORMtxMatrix& A, double b, const QORMtxMatrix& B, double c, QORMtxMatrix& C);

  /// \brief Every stored value of C = v (rows values for DIAG, rows·cols otherwise); an absent C is left alone.
  static void Assign(double v, QORMtxMatrix& C, int numThreads);
  /// \brief Every stored value of C multiplied by s; an absent C is left alone.
  static void Scale(double s, QORMtxMatrix& C, int numThreads);

  // ---- Products ----

  /// \brief C = alpha·op(A)·op(B) + beta·C, in core. C is not reshaped: the caller shapes it.
  ///
  /// Preconditions: "!!A && !!B && !!C"; for a DIAG C "A.IsDiagonal() && B.IsDiagonal()"; "nRowsB == nColsA",
  /// "nRowsA == numRowsC", "nColsB == numColsC" (nRowsX × nColsX is the shape of op(X)).
  /// DIAG operands scale rows or columns; two full operands go to QORMtxBlaUtilities::Multiply with the
  /// symmetry flag of typeC. beta = 0 never reads C (it may hold NaN).
  /// Two DIAG operands into a full C: the diagonal gets the product; the off-diagonal entries are scaled by
  /// beta (set to 0 when beta = 0), so that the result is alpha·A·B + beta·C in every entry.
  static void Multiply(double alpha, const QORMtxMatrix& A, Operation opA, const QORMtxMatrix& B, Operation opB,
                       double beta, QORMtxMatrix& C, ResultType typeC, int numThreads);

  /// \brief C = alpha·op(A)·op(B) + beta·C with A in the data store, streamed by row blocks of op(A).
  ///
  /// alpha = 0 only scales C (A and B are not looked at). Otherwise preconditions
  /// "C.Type() != QORMtxMatrix::DIAG", "typeC == UNKNOWN", "!!A &&!!B", then the shapes "nRowsB == numColsA",
  /// "numRowsA == numRowsC", "nColsB == numColsC". For opA ≠ NOOP A is transposed in place for the call and back.
  /// Memory: each pass reads as many whole row blocks as fit MaxDoublesInBuffer(0.1) doubles (at least one), so
  /// the buffer never exceeds that bound; a single block larger than it is refused
  /// ("maxRowsInBlk <= maxRowsInBuffer && \"QORMtxBLA::Multiply:QORMtxDenseMatrix block of rows > 16Gb\"").
  /// With QORMtxUtilities::Debug() on, the pass count and the timing go to standard error.
  static void Multiply(double alpha, const QORMtxDenseMatrix& A, Operation opA, const QORMtxMatrix& B, Operation opB,
                       double beta, QORMtxMatrix& C, ResultType typeC, int numThreads);

  /// \brief C = alpha·op(A)·op(B) + beta·C with C in the data store, computed by column ranges of C that fit
  /// MaxDoublesInBuffer(0.1) doubles (at least one column per pass); beta = 0 never reads C. With
  /// QORMtxUtilities::Debug() on, the pass count and the timing go to standard error.
  ///
  /// Preconditions "!!A && !!B && !!C", "A.Type() != QORMtxMatrix::DIAG", "B.Type() != QORMtxMatrix::DIAG",
  /// "typeC != DIAG", "nRowsB == nColsA", "nRowsA == numRowsC", "nColsB == numColsC". The symmetry flag of typeC
  /// reaches the kernel only when one pass covers all columns.
  static void Multiply(double alpha, const QORMtxMatrix& A, Operation opA, const QORMtxMatrix& B, Operation opB,
                       double beta, QORMtxDenseMatrix& C, ResultType typeC, int numThreads);

  /// \brief Complex C = alpha·op(A)·op(B) + beta·C (op 'N', 'T' or 'C').
  ///
  /// Preconditions "!!A & !!B && !!C", "nRowsB == nColsA", "nRowsA == numRowsC", "nColsB == numColsC".
  /// Two DIAG operands need a DIAG C (else "0"); one DIAG operand, or none, needs a full C ("!C.IsDiagonal()").
  /// DIAG operands are applied by element kernels (a DIAG A scales rows, a DIAG B columns); there CONJTRANS
  /// conjugates through a copy of the operand, so every path computes alpha·op(A)·op(B) + beta·C exactly.
  static void Multiply(const QORMtxComplex& alpha, const QORMtxComplexMatrix& A, Operation opA,
                       const QORMtxComplexMatrix& B, Operation opB, const QORMtxComplex& beta, QORMtxComplexMatrix& C,
                       ResultType typeC, int numThreads);

  /// \brief Split complex C = alpha·A·B + beta·C by three real products (Gauss) and two real temporaries.
  ///
  /// Preconditions "operA == NOOP && operB == NOOP", "A.Type() != QORMtxReImMatrix::DIAG",
  /// "B.Type() != QORMtxReImMatrix::DIAG", "typeC != HERM && typeC != DIAG", "nRowsB == nColsA",
  /// "nRowsA == numRowsC", "nColsB == numColsC". beta = 0 gives alpha·A·B whatever C held.
  static void Multiply(const QORMtxComplex& alpha, const QORMtxReImMatrix& A, Operation operA,
                       const QORMtxReImMatrix& B, Operation operB, const QORMtxComplex& beta, QORMtxReImMatrix& C,
                       ResultType typeC, int numThreads);

  // ---- Linear solves ----

  /// \brief X = A⁻¹·B. A SYMM: symmetric indefinite factorisation of its lower triangle; A UNKNOWN: LU with
  /// partial pivoting. A is overwritten by its factors. X becomes a copy of B first unless X is B (in place).
  ///
  /// Preconditions "!!A && !!B", "A.Type() == QORMtxMatrix::UNKNOWN || A.Type() == QORMtxMatrix::SYMM",
  /// "B.Type() != QORMtxMatrix::DIAG", "numRowsA == numColsA && numRowsA == numRowsB".
  /// \return The kernel's status: 0, −i (argument i illegal), +i (pivot i exactly zero; X holds no solution).
  static int Solve(QORMtxMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& X, int numThreads);

  /// \brief Complex X = A⁻¹·B: SYMM (complex symmetric) and UNKNOWN factorise A; a DIAG A is inverted entry by
  /// entry on a copy and applied as a product (A unchanged, status 0).
  /// Preconditions "!!A && !!B", "A.Type() == QORMtxComplexMatrix::UNKNOWN || A.Type() ==
  /// QORMtxComplexMatrix::SYMM || A.Type() == QORMtxComplexMatrix::DIAG", "B.Type() != QORMtxComplexMatrix::DIAG",
  /// "numRowsA == numColsA && numRowsA == numRowsB".
  static int Solve(QORMtxComplexMatrix& A, const QORMtxComplexMatrix& B, QORMtxComplexMatrix& X, int numThreads);

  // ---- Eigen solvers ----

  /// \brief Number of trivial columns of M; flags[j] tells column j. A column is trivial when every entry is
  /// at most tol = 2.22e-16·max|M| in magnitude (an all-zero M has every column trivial).
  static int CheckForTrivialCols(QORMtxMatrix& M, QORBasVector<bool>& flags);

  /// \brief A·x = λ·B·x for symmetric A (DIAG or SYMM) and B (absent = identity, DIAG or SYMM), by the eigen
  /// kernel installed in QORMtxBlaUtilities (without one the dispatch layer fails "0").
  ///
  /// Preconditions "!!A", "n == numColsA", and for a present B "n == numRowsB && n == numColsB"; another type
  /// fails "0". The kernel reads the upper triangles and may overwrite A's and B's values (DIAG operands and an
  /// absent B are expanded into temporaries). It is told whether B failed IsPositiveDefinite. range1, range2 go to
  /// the kernel unchanged. E becomes DIAG with one eigenvalue per pair and X (n rows, UNKNOWN) the vectors; each
  /// is reset only when its shape must change ("E.OwnMemory()", "X.OwnMemory()"). With status 0 and m < n pairs
  /// found, E and X are shrunk to m.
  /// \return The kernel's status, unchanged.
  static int EigenSolve(QORMtxMatrix& A, QORMtxMatrix& B, QORMtxMatrix& E, QORMtxMatrix& X, double range1,
                        double range2, int numThreads);

  /// \brief As EigenSolve for full A and B where B (and possibly A) has trivial columns (massless degrees of
  /// freedom). When B has more trivial columns than A, the massless unknowns that carry stiffness are
  /// condensed out (SVD of their stiffness block, then a Schur complement), the reduced problem is solved and
  /// the vectors are expanded so that the massless equations A21·x1 + A22·x2 = 0 hold. A is modified in place.
  ///
  /// Preconditions "n > 0 && A.IsSquare() && B.IsSquare() && B.NumberOfRows() == n",
  /// "!A.IsDiagonal() && !B.IsDiagonal()". A massless direction coupled to the mass unknowns but without
  /// stiffness of its own fails "0 && \"Lambda Set is not Empty\\n\"".
  /// \return 6 when every column of B is trivial (E and X untouched); else the inner EigenSolve's status
  /// (E and X emptied when it is not 0).
  static int EigenSolveGeneral(QORMtxMatrix& A, QORMtxMatrix& B, QORMtxMatrix& E, QORMtxMatrix& X, double range1,
                               double range2, int numThreads);

  /// \brief Complex A·x = λ·x with left (XL) and right (XR) eigenvectors (zgeev through the dispatch layer).
  /// Precondition "!!A && A.IsSquare() && !A.IsDiagonal()"; outputs reset when their shape must change
  /// ("E.OwnMemory()", "XL.OwnMemory()", "XR.OwnMemory()"). A is overwritten.
  /// \return The kernel's status.
  static int EigenSolve(QORMtxComplexMatrix& A, QORMtxComplexMatrix& E, QORMtxComplexMatrix& XL,
                        QORMtxComplexMatrix& XR, int numThreads);

  // ---- Self-test (QORMtxBLATest.cpp) ----

  /// \brief A demonstration run on standard error of the test that the environment variable ZUK_MTX_TEST selects
  /// (1 … 11; unset or unparsable runs as 0, which like any other value prints that it is not supported). Values 9
  /// and 10 write QORMtxSparseMatrix_*.debug files in the working directory. Value 11 uses the installed eigen
  /// kernel, or for its duration the library's own dense one when none is installed.
  /// \warning The unsupported-value text says "nQORMtxBLA::Test" on purpose.
  static void Test();
};
