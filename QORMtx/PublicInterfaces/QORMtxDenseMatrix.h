// QORMtxDenseMatrix: a real dense matrix whose values live in a data-store distribution, moved block by block.
#pragma once
#include <cstdint>

#include "QORSimDistribution.h"
#include "QORSimIDs.h"

class QORMtxMatrix;
class QORSimCSet;

/// \brief Cache patterns for QORMtxDenseMatrix::SetAccess.
enum QORMtxAccessType { RestoreAccess = 0, ColumnAccess = 1, RowAccess = 2, FullAccess = 3, ItemAccess = 4 };

/// \brief Callback interface for staged data requests; it holds no data.
class QORMtxDataRequest {
 public:
  virtual ~QORMtxDataRequest() = default;
  virtual int NumberOfRequests() const = 0;
  virtual void Request(int i) = 0;
  virtual void Complete() = 0;
};

/// \brief Dense matrix in a distribution: dimension 0 over the columns, 1 over the rows (a one-dimensional
/// distribution is a column vector). The object holds only the distribution, the shape and the block geometry;
/// blocks are the drawer's chunks (one block when unchunked). A view (Submatrix) addresses a window of another
/// matrix's distribution through offsets; Transpose swaps the roles of the two collections without moving values.
class QORMtxDenseMatrix {
 public:
  /// \brief Empty matrix: no distribution, all counts 0.
  QORMtxDenseMatrix();
  /// \brief Bound to dist. Preconditions "numDim == 2 || numDim == 1", "drawerDescriptions.Size() == 1",
  /// "serType.IsStandard()".
  explicit QORMtxDenseMatrix(const QORSimDistribution& dist);
  /// \brief Bound to the distribution id names; empty for a null id.
  explicit QORMtxDenseMatrix(const QORSimDistributionID& id);
  /// \brief Releases the handle; the stored values stay.
  virtual ~QORMtxDenseMatrix();

  // ---- Geometry ----
  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  /// \brief True when the matrix has no data: no distribution is bound.
  bool operator!() const { return m_distribution.IsNull(); }
  int NumberOfRowBlocks() const { return m_numRowBlocks; }
  int NumberOfColumnBlocks() const { return m_numColBlocks; }
  /// \brief Rows of row block b: first and last blocks may be short; 0 for b < 0.
  int NumberOfRowsInBlock(int b) const;
  int NumberOfColumnsInBlock(int b) const;
  /// \brief Rows of row blocks b0 … b1; 0 for an empty or negative range.
  int NumberOfRowsInBlockRange(int b0, int b1) const;
  int NumberOfColumnsInBlockRange(int b0, int b1) const;
  /// \brief Matrix row of the first row of block b.
  int FirstRowInBlock(int b) const;
  int FirstColumnInBlock(int b) const;
  /// \brief Row block holding row i. Precondition "i>=0 && i<m_numRows".
  int BlockContainingRow(int i) const;
  /// \brief Column block holding column j. Precondition "j>=0 && j<m_numCols".
  int BlockContainingColumn(int j) const;
  int MaxNumberOfRowsInBlock() const;
  int MaxNumberOfColumnsInBlock() const;
  /// \brief Row blocks per step of a streamed product whose other operand has n columns.
  int NumberOfRowBlocksToIO(int n) const;
  /// \brief The rows' set: the drawer's set for a whole matrix, a temporary subset for a view.
  virtual QORSimCSetID RowCSetID() const;
  virtual QORSimCSetID ColumnCSetID() const;
  /// \brief View of rows startRow … endRow and columns startCol … endCol, owned by the caller.
  virtual QORMtxDenseMatrix* Submatrix(int startRow, int endRow, int startCol, int endCol) const;

  // ---- Products (streamed one block band at a time) ----
  virtual void Multiply(const double* x, int nVec, double* y) const;
  virtual void Multiply(const QORMtxMatrix& B, QORMtxMatrix& C) const;
  virtual void Multiply(const QORMtxDenseMatrix* B, double* C) const;
  virtual void Multiply(const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C) const;
  virtual void Multiply(double alpha, const QORMtxMatrix& B, double beta, QORMtxDenseMatrix& C) const;
  virtual void MultiplyAssign(const QORMtxMatrix& B);
  virtual void TransposeMultiply(const double* x, int nVec, double* y, int nRows) const;
  virtual void TransposeMultiply(const int* permutation, const QORMtxMatrix& B, QORMtxMatrix& C, double alpha,
                                 double beta);
  virtual void TransposeMultiply(const QORMtxMatrix& B, double* C, int symmetry) const;
  virtual void TransposeMultiply(const QORMtxMatrix& B, QORMtxMatrix& C, int symmetry) const;
  virtual void TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxDenseMatrix* C, int symmetry) const;
  virtual void TransposeMultiply(const QORMtxDenseMatrix* B, double* C, int symmetry) const;
  virtual void TransposeMultiply(const QORMtxDenseMatrix* B, QORMtxMatrix& C, int symmetry) const;
  virtual void IndexedMultiply(const QORMtxMatrix& B, QORMtxDenseMatrix& C, const int* rowIndex,
                               const int* groupStart, int numGroups) const;
  /// \brief Exchanges rows and columns without moving values. Precondition "numDim == 2".
  virtual void Transpose();

  /// \brief The distribution's identifier. Precondition "!m_distribution.IsMasked()".
  QORSimDistributionID DistributionID() const;
  /// \brief The drawer's extendable dimension (-1 when none).
  int ExtendableDim() const;
  /// \brief Whether block (rowBlock, colBlock) has storage. Preconditions "drawerDescriptions.Size() == 1",
  /// "drawerDescriptions[0].IsChunked()".
  bool BlockAllocated(int rowBlock, int colBlock) const;

  // ---- Values: one transfer per call; out receives the packed column-major block at its start ----
  /// \brief out = A(startRow … lastRow, startCol … lastCol). Precondition "requiredBufferSize <= bufferSize"
  /// against out's array.
  void GetValues(int startRow, int lastRow, int startCol, int lastCol, QORMtxMatrix& out) const;
  void GetValues(int startRow, int lastRow, int startCol, int lastCol, double* out) const;
  /// \brief out = A(rowNumbers, colNumbers) in list order. A null list with count = last index takes all.
  void GetValues(const int* rowNumbers, int numRows, const int* colNumbers, int numCols, QORMtxMatrix& out) const;
  /// \brief out = A(rows, cols) by collection sets. Precondition "requiredSize <= size".
  void GetValues(const QORSimCSet& rows, const QORSimCSet& cols, QORMtxMatrix& out) const;
  void GetRows(const QORSimCSet& rows, QORMtxMatrix& out) const;
  void GetColumns(const QORSimCSet& cols, QORMtxMatrix& out) const;
  void SetValues(int startRow, int lastRow, int startCol, int lastCol, const QORMtxMatrix& in);
  void SetValues(int startRow, int lastRow, int startCol, int lastCol, const double* in);
  void SetValues(const int* rowNumbers, int numRows, const int* colNumbers, int numCols, const QORMtxMatrix& in);
  void SetValues(const QORSimCSet& rows, const QORSimCSet& cols, const QORMtxMatrix& in);
  void SetRows(const QORSimCSet& rows, const QORMtxMatrix& in);
  /// \brief Rows first … last, all columns.
  void SetRows(int first, int last, const QORMtxMatrix& in);
  void SetColumns(const QORSimCSet& cols, const QORMtxMatrix& in);
  /// \brief The whole matrix, column-major.
  void GetAllValues(double* out) const;
  /// \brief Upper triangle packed by columns. Precondition "nRows == nColumns".
  void GetUpperValues(double* out) const;
  /// \brief Lower triangle packed by rows. Precondition "nRows == nColumns".
  void GetLowerValues(double* out) const;
  /// \brief (A + Aᵀ)/2 packed as GetUpperValues. Precondition "nRows == nColumns".
  void GetSymmetricValues(double* out) const;
  /// \brief QORMtxMatrix::Print of the whole matrix (width a, precision b).
  void Print(const char* label, int a, double b) const;

  // ---- Whole matrix ----
  /// \brief this += B block by block. Precondition "nrowA==nrowB && ncolA==ncolB".
  void AddAssign(const QORMtxDenseMatrix& B);
  void Scale(double s);
  /// \brief Rows 0 … rhs rows − 1 of this take rhs's values. Preconditions "rhs",
  /// "numRows <= m_numRows && rhs->NumberOfColumns() <= m_numCols".
  void CopyValues(const QORMtxDenseMatrix* rhs);
  bool IsSymmetric() const;
  /// \brief Sizes the distribution's cache for an access pattern; RestoreAccess puts back the size before.
  void SetAccess(QORMtxAccessType type, int n);
  /// \brief Adds count rows (dim 1) or columns (dim 0), from ordinals or continuing the current numbering.
  /// Returns 0 on success, 1 for a view, 2 for an empty set, 3 for a foreign collection or dim, 4 on overlap.
  int ExtendDim(int dim, int count, const int* ordinals);

 protected:
  QORMtxDenseMatrix(const QORMtxDenseMatrix& rhs, int startRow, int endRow, int startCol, int endCol);
  void setDistribution(const QORSimDistribution& dist);

  QORSimDistribution m_distribution;
  int m_isView;
  int m_numRows, m_numCols;
  int m_numRowBlocks, m_numColBlocks;
  int m_rowBlockSize, m_colBlockSize;
  int m_rowsInFirstBlock, m_colsInFirstBlock;
  int m_rowsInLastBlock, m_colsInLastBlock;
  int m_rowOffset, m_colOffset;
  QORSimCSetID m_rowSetID, m_colSetID;
  bool m_transposed;
  uint64_t m_savedCacheSize;

 private:
  void initializeState();
  int ExtendSet(const QORSimCSetID& set);
  int NumDim() const;
  void RangeTransfer(bool write, int startRow, int lastRow, int startCol, int lastCol, void* buffer,
                     const size_t* bufferBytes) const;
  void ListTransfer(bool write, const int* rowNumbers, int numRows, const int* colNumbers, int numCols,
                    void* buffer, size_t bufferBytes) const;
  /// One transfer over row and column sets (cols null for a vector).
  void SetTransfer(bool write, const QORSimCSetID& rows, const QORSimCSetID* cols, void* buffer,
                   size_t bufferBytes) const;
  QORSimCSetID AllMembers(const QORSimCSetID& set, int offset, int count) const;
};
