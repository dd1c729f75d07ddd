// QORMtxHermitianScrDenseMatrix: a scratch matrix holding a Hermitian operator in real form, rows grouped in nodes.
#pragma once
#include "QORMtxScratchDenseMatrix.h"

/// \brief A scratch dense matrix A whose rows are grouped into nodes of even size; the first and second halves of
/// a node's rows are the two parts [X; Y] of its values. Its products use both A and J·A, where J maps each node's
/// [X; Y] to [−Y; X]: with B split into B1 (rows 0 … n − 1) and B2 (rows n … 2n − 1), n = columns of A,
///   C = alpha·(A·B1 + (J·A)·B2) + beta·C,   and   Cᵀ-products [Aᵀ·B; (J·A)ᵀ·B] of 2n rows.
///
/// The flip is done band by band as A streams through memory (two row-band buffers in turn), so a node may
/// straddle two bands. Every product ends with "AssertionFailed:currentNode == m_nNodes" and
/// "AssertionFailed:currentPosition == numRowsA" (the node sizes must add up to the rows).
///
/// Failures are reported through PRLFatalError. The products of two stored operands (Multiply with a stored B,
/// TransposeMultiply into an in-core C with an in-core B) are not available: "AssertionFailed:0".
class QORMtxHermitianScrDenseMatrix : public QORMtxScratchDenseMatrix {
 public:
  /// \brief numRows × numCols, nNodes nodes of the given sizes (copied); the last int is not used.
  QORMtxHermitianScrDenseMatrix(int numRows, int numCols, int nNodes, const int* nodeSizes, int rowChunk,
                                int colChunk, int);
  /// \brief As above, rows (columns) carrying the given ordinals (null: 0 … count − 1).
  QORMtxHermitianScrDenseMatrix(int numRows, int numCols, const int* rowOrdinals, const int* colOrdinals, int nNodes,
                                const int* nodeSizes, int rowChunk, int colChunk, int);
  ~QORMtxHermitianScrDenseMatrix() override;
  QORMtxHermitianScrDenseMatrix(const QORMtxHermitianScrDenseMatrix&) = delete;
  QORMtxHermitianScrDenseMatrix& operator=(const QORMtxHermitianScrDenseMatrix&) = delete;

  // The products this class keeps from the plain stored matrix stay callable on it.
  using QORMtxDenseMatrix::Multiply;
  using QORMtxDenseMatrix::TransposeMultiply;

  int NumberOfNodes() const { return m_nNodes; }
  const int* NodeSizes() const { return m_nodeSizes; }

  /// \brief A view of all rows and columns startCol … endCol.
  /// Precondition "AssertionFailed:startRow == 0 && endRow == rhs.NumberOfRows()-1".
  QORMtxDenseMatrix* Submatrix(int startRow, int endRow, int startCol, int endCol) const override;

  /// \brief y += A·x1 + (J·A)·x2; x is 2n × nVec (leading dimension 2n), y is m × nVec (leading dimension m).
  void Multiply(const double* x, int nVec, double* y) const override;
  /// \brief Not available: "AssertionFailed:0".
  void Multiply(const QORMtxDenseMatrix* B, double* C) const override;
  /// \brief Not available: "AssertionFailed:0".
  void Multiply(const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C) const override;
  /// \brief C = alpha·(A·B1 + (J·A)·B2) + beta·C, C a Hermitian scratch matrix (C not read when beta = 0).
  /// Preconditions "AssertionFailed:dynamic_cast<QORMtxHermitianScrDenseMatrix *>(&C)",
  /// "AssertionFailed:2*numColsA == numRowsB", "AssertionFailed:numRowsC == numRowsA",
  /// "AssertionFailed:numColsC == numColsB", "AssertionFailed:!B.IsDiagonal()".
  void Multiply(double alpha, const QORMtxMatrix& B, double beta, QORMtxDenseMatrix& C) const override;
  /// \brief A = A·B1 + (J·A)·B2, written back band by band into columns 0 … B's columns − 1.
  /// Preconditions "AssertionFailed:2*numColsA == numRowsB", "AssertionFailed:!B.IsDiagonal()".
  void MultiplyAssign(const QORMtxMatrix& B) override;
  /// \brief y = [Aᵀ·x; (J·A)ᵀ·x], 2n × nVec with leading dimension 2n (overwritten, not added to); x is
  /// nRows × nVec. Preconditions "AssertionFailed:numRowsA == numRowsB", "AssertionFailed:numColsC == numColsB".
  void TransposeMultiply(const double* x, int nVec, double* y, int nRows) const override;
  /// \brief C (2n × B's columns) = [Aᵀ·B; (J·A)ᵀ·B]. Precondition "AssertionFailed:symFlag==0".
  void TransposeMultiply(const QORMtxMatrix& B, double* C, int symFlag) const override;
  /// \brief Not available: "AssertionFailed:0".
  void TransposeMultiply(const QORMtxMatrix& B, QORMtxMatrix& C, int symmetry) const override;
  /// \brief Not available: "AssertionFailed:0".
  void TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxDenseMatrix* C, int symmetry) const override;
  /// \brief C (2n × B's columns, caller's array) = [Aᵀ·B; (J·A)ᵀ·B]. Precondition "AssertionFailed:symFlag == 0".
  void TransposeMultiply(const QORMtxDenseMatrix* B, double* C, int symFlag) const override;
  /// \brief C = [Aᵀ·B; (J·A)ᵀ·B] for a stored B. Preconditions "AssertionFailed:symFlag == 0",
  /// "AssertionFailed:2*numColsA == numRowsC", "AssertionFailed:numRowsA == numRowsB",
  /// "AssertionFailed:numColsC == numColsB".
  void TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxMatrix& C, int symFlag) const override;
  /// \brief Does nothing: C is left as it is.
  void IndexedMultiply(const QORMtxMatrix& B, QORMtxDenseMatrix& C, const int* rowIndex, const int* groupStart,
                       int numGroups) const override;

 private:
  QORMtxHermitianScrDenseMatrix(const QORMtxHermitianScrDenseMatrix& rhs, int startRow, int endRow, int startCol,
                                int endCol);
  void ConstructHermitianScrDenseMatrix(int numRows, int numCols, const int* rowOrdinals, const int* colOrdinals,
                                        int nNodes, const int* nodeSizes, int rowChunk, int colChunk, int);

  /// A row band of A in memory: rows first … first + count − 1, all columns, leading dimension count; index is
  /// the band's number.
  struct Piece {
    const double* a;
    int first, count, index;
  };
  /// Streams A's row bands (one block each), two buffers in turn: direct(piece, context) sees each band as stored,
  /// flipped(piece, context) the same band after J was applied to it, one band later, since a node may continue
  /// into the next band. Ends with the node checks.
  template <class Direct, class Flipped>
  void StreamFlipped(Direct direct, Flipped flipped) const;
  /// top = Aᵀ·B and bottom = (J·A)ᵀ·B (n × p each, leading dimension ldc), overwritten; rowsOfB(piece, context,
  /// ld) gives B's rows of the piece (read when the piece is first seen, the same rows again when flipped).
  template <class RowsOfB>
  void StreamTransposed(int p, RowsOfB rowsOfB, double* top, double* bottom, int ldc) const;
  /// Applies J to every node that ends at or before end2: band1 holds rows start1 … end1, band2 rows
  /// end1 + 1 … end2, both over all columns. A node not ending by end2 is left for the next call; a node
  /// that began before band1 (longer than a block) fails "AssertionFailed:currentPosition >= start1".
  void FlipBuffers(double* band1, int start1, int end1, double* band2, int end2, int& currentNode,
                   int& currentPosition) const;

  int m_nNodes;
  int* m_nodeSizes;
};
