// QORMtxDenseMatrixSet: stored dense matrices with the same rows, side by side, acting as one in Sᵀ·B.
#pragma once

class QORMtxDenseMatrix;
class QORMtxMatrix;

/// \brief S = [M0 M1 … Mk−1]: the members' columns side by side, for the product Sᵀ·B with a stored B of the same
/// rows, streamed by row bands, without copying the members into one distribution. The members are borrowed: the
/// caller keeps them alive while the set is used. Failures are reported through PRLFatalError.
class QORMtxDenseMatrixSet {
 public:
  /// \brief Set of size members. A null array or size < 1 leaves the set empty. Member 0 must not be null.
  /// Preconditions "AssertionFailed:m_MatrixSet[i] != NULL", "AssertionFailed:m_MatrixSet[i]->NumberOfRows() ==
  /// m_numRows" for each further member.
  QORMtxDenseMatrixSet(const QORMtxDenseMatrix* const* set, int size);
  /// \brief Forgets the members; frees nothing.
  virtual ~QORMtxDenseMatrixSet();
  QORMtxDenseMatrixSet(const QORMtxDenseMatrixSet&) = delete;
  QORMtxDenseMatrixSet& operator=(const QORMtxDenseMatrixSet&) = delete;

  /// \brief Rows 0 … (total columns) − 1, columns 0 … B's columns − 1 of the stored C = Sᵀ·B.
  /// Preconditions "AssertionFailed:B != NULL", "AssertionFailed:C != NULL", then those of the in-core form.
  virtual void TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxDenseMatrix* C, int symmetry) const;
  /// \brief C = Sᵀ·B (C total columns × B's columns); symmetry ≠ 0 computes one triangle and mirrors it.
  /// Preconditions "AssertionFailed:(m_MatrixSet != NULL) && (m_SizeOfSet>0)", "AssertionFailed:B != NULL",
  /// "AssertionFailed:numRows == m_numRows".
  ///
  /// Memory: one band of k row blocks of member 0 across all columns of S and of B, with
  /// k = (largest column block · rows) / (largest row block · total columns), at least 1.
  virtual void TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxMatrix& C, int symmetry) const;

  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  int SizeOfSet() const { return m_SizeOfSet; }

 private:
  const QORMtxDenseMatrix* const* m_MatrixSet;
  int m_SizeOfSet;
  int m_numRows;
  int m_numCols;
  int m_numRowBlocks;
  int m_maxColsInBlock;
  int m_maxRowsInBlock;
};
