// QORMtxMappedOperations: copies, products, energy products and projections of operands paired by ordinal.
#pragma once
#include "QORBasVector.h"

class QORMtxDenseMatrix;
class QORMtxMatrix;
class QORMtxSparseMatrix;
class omi_Set;
template <class V>
class omi_IntTable;

/// \brief Static operations on matrices whose rows and columns are numbered differently and combined where their
/// degree-of-freedom ordinals agree.
///
/// Ordinals: a stored matrix takes them from its row and column collection sets, a sparse matrix from its row and
/// column ordinals, an in-core matrix from its own row ordinals or from a vector beside it. Negative ordinals take
/// no part; a repeated ordinal is fatal ("mapInvB.Insert(arrB[i], i)"). A mapped product sums only over paired
/// inner indices and writes only paired result rows; what happens to unpaired result rows is stated per form.
/// sym > 0 asks for a symmetric result, sym < 0 for a skew-symmetric one.
///
/// Memory: a stored operand is never read whole; each pass moves a slice of the pairs whose buffer is bounded by
/// the operands' block geometry (BufferSize) or by QORMtxUtilities::MaxDoublesInBuffer(0.1).
class QORMtxMappedOperations {
 public:
  QORMtxMappedOperations() {}
  ~QORMtxMappedOperations() {}

  // ---- Copies (QORMtxMappedCopies.cpp); target entries without a partner keep their values ----
  /// \brief Row j of B += alpha · row i of A (A's columns) for every pair i → j of equal row ordinals.
  /// Preconditions "!!A && !!B", "numColsA <= B.NumberOfColumns()".
  static void AddRows(double alpha, const QORMtxMatrix& A, const int* rowOrdinalsA, QORMtxMatrix& B,
                      const int* rowOrdinalsB);
  /// \brief Row j of B = row i of A. Preconditions "!!A && !!B", "numColsA <= B.NumberOfColumns()".
  static void CopyRows(const QORMtxMatrix& A, const int* rowOrdinalsA, QORMtxMatrix& B, const int* rowOrdinalsB);
  /// \brief Column j of B = column i of A. Preconditions "!!A && !!B", "numRowsA == numRowsB".
  static void CopyColumns(const QORMtxMatrix& A, const int* colOrdinalsA, QORMtxMatrix& B, const int* colOrdinalsB);
  /// \brief Paired rows of stored A into stored B (row sets), streamed by whole column blocks through one buffer.
  /// Preconditions "B.NumberOfColumns() >= numColsA", "numMappedRows <= numRowsA && numMappedRows <= numRowsB".
  static void CopyRows(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B);
  /// \brief As above with B's rows numbered by rowOrdinalsB. Also "rowOrdinalsB.size() == numRowsB".
  static void CopyRows(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B, const QORBasVector<int>& rowOrdinalsB);
  /// \brief Paired rows of stored A read into B. Preconditions "rowOrdinalsB", "B.NumberOfColumns() >= numColsA",
  /// "numMappedRows <= numRowsA && numMappedRows <= numRowsB".
  static void CopyRows(const QORMtxDenseMatrix& A, QORMtxMatrix& B, const int* rowOrdinalsB);
  /// \brief As above; also "rowOrdinalsB.size() <= numRowsB".
  static void CopyRows(const QORMtxDenseMatrix& A, QORMtxMatrix& B, const QORBasVector<int>& rowOrdinalsB);
  /// \brief Paired rows of A written into stored B. Preconditions "rowOrdinalsA.size()>0",
  /// "B.NumberOfColumns() >= numColsA", "numMappedRows <= numRowsA && numMappedRows <= numRowsB".
  static void CopyRows(const QORMtxMatrix& A, QORBasVector<int>& rowOrdinalsA, QORMtxDenseMatrix& B);
  /// \brief Paired columns of stored A into stored B, streamed by row blocks. Preconditions
  /// "B.NumberOfRows() >= numRowsA", "numMappedCols <= numColsA && numMappedCols <= numColsB".
  static void CopyColumns(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B);
  /// \brief Every column of B (by its column ordinals) from stored A. Preconditions "!!A",
  /// "numRows == B.NumberOfRows()", "numColsA >= numColsB", "colOrginalsB", "numMappedCols == numColsB".
  /// \warning "colOrginalsB" is the condition's own spelling.
  static void CopyColumns(const QORMtxDenseMatrix& A, QORMtxMatrix& B);
  static void CopyColumns(const QORMtxDenseMatrix& A, QORMtxMatrix& B, const int* colOrdinalsB);
  /// \brief B(rowMap[i], colMap[j]) = A(i, j) with the maps of the row and of the column sets.
  static void CopyValues(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B);
  /// \brief B(rowMap[i], colMap[j]) = A(i, j) for all paired i, j; an empty map does nothing. Preconditions
  /// "numMappedRows <= numRowsA && numMappedRows <= numRowsB", "numMappedCols <= numColsA && numMappedCols <= numColsB".
  static void CopyValues(const QORMtxDenseMatrix& A, QORMtxDenseMatrix& B, const omi_IntTable<int>& rowMap,
                         const omi_IntTable<int>& colMap);
  /// \brief As above with A numbered by the given ordinals. Precondition
  /// "A.NumberOfRows() == rowOrdinalsA.size() && A.NumberOfColumns() == colOrdinalsA.size()".
  static void CopyValues(const QORMtxDenseMatrix& A, const QORBasVector<int>& rowOrdinalsA,
                         const QORBasVector<int>& colOrdinalsA, QORMtxDenseMatrix& B);

  // ---- Products (QORMtxMappedProducts.cpp) ----
  /// \brief C = op(A)·B over the inner indices paired by collection set; no pair gives C = 0.
  /// Preconditions "B.NumberOfColumns() == numColsC", "numA == numRowsC".
  static void Multiply(const QORMtxDenseMatrix& A, const QORMtxDenseMatrix& B, QORMtxMatrix& C, bool transA, int sym);
  /// \brief C(paired rows, paired columns) = op(A)·B; other entries of C keep their values; any empty map: nothing.
  static void Multiply(const QORMtxDenseMatrix& A, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C, bool transA,
                       int sym);
  /// \brief Paired rows of C = the rows of op(A)·B; others keep their values. Preconditions
  /// "numColsB == C.NumberOfColumns()", "numA == numRowsB".
  static void Multiply(const QORMtxDenseMatrix& A, const QORMtxMatrix& B, QORMtxDenseMatrix& C, bool transA);
  /// \brief Rows of C paired (by C's row ordinals) with rows of op(A) = those rows of op(A)·B, the others 0; no pair
  /// leaves C untouched. Preconditions "!!A && !!B && !!C", "C.IsSquare()" (symmC ≠ 0), "numColsB == numColsC",
  /// "numColsA == numRowsB", "rowOrdinalsC", and "!symmC" when some rows of C are unpaired.
  static void Multiply(const QORMtxDenseMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& C, bool transA, int symmC);
  /// \brief C = op(B)·A (+ C when accumulate), A's rows paired with op(B)'s columns. Preconditions
  /// "rowOrdinalsA.size() == A.NumberOfRows()", "C.NumberOfRows() == BB.NumberOfRows()",
  /// "A.NumberOfColumns() == numColsC".
  static void Multiply(const QORMtxDenseMatrix& B, bool transB, const QORMtxSparseMatrix& A,
                       const QORBasVector<int>& rowOrdinalsA, QORMtxMatrix& C, bool accumulate);
  /// \brief C = op(A)·B into a stored C. Paired rows of C without an entry become 0, unpaired rows keep their
  /// values; any empty map leaves C untouched.
  static void Multiply(const QORMtxSparseMatrix& A, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C, bool transA);
  /// \brief C = op(A)·B, all by ordinals; C = 0 first unless nothing pairs (then C is untouched). Preconditions
  /// "rowOrdinalsB.size() == B.NumberOfRows()", "rowOrdinalsC.size() == C.NumberOfRows()".
  static void Multiply(const QORMtxSparseMatrix& A, const QORMtxMatrix& B, const QORBasVector<int>& rowOrdinalsB,
                       QORMtxMatrix& C, const QORBasVector<int>& rowOrdinalsC, bool transA);
  /// \brief C = alpha·op(A)·B + beta·C by ordinals (nothing pairs: C untouched).
  static void Multiply(double alpha, const QORMtxSparseMatrix& A, const QORMtxMatrix& B,
                       const QORBasVector<int>& rowOrdinalsB, double beta, QORMtxMatrix& C,
                       const QORBasVector<int>& rowOrdinalsC, bool transA);
  /// \brief As above with B's and C's own row ordinals.
  static void Multiply(double alpha, const QORMtxSparseMatrix& A, const QORMtxMatrix& B, double beta, QORMtxMatrix& C,
                       bool transA);
  /// \brief V = alpha·A·U(map[colDofsA[j]], :) + beta·V. Preconditions "!!A && !!U && !!V && !A.IsDiagonal()",
  /// "nRowsU >= nColsA && nRowsA == nRowsV && nColsU == nColsV", "nColsA == colDofsA.size()".
  static void MatrixProduct(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& colDofsA,
                            const QORMtxMatrix& U, const omi_IntTable<int>& map, double beta, QORMtxMatrix& V);

  // ---- Energy products and projections (QORMtxMappedProjections.cpp) ----
  /// \brief products[k·inc] = alpha·v_kᵀ·A·u_k + beta·products[k·inc]; every row of A must find its vector row
  /// ("mapMatVec.Size() == nA && \"Mapping operation failed; probably, vector DOFs are not sufficient\"").
  static void EnergyProduct(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& mtxDofs,
                            const QORMtxMatrix& U, const QORMtxMatrix& V, const QORBasVector<int>& vecDofs,
                            double beta, double* products, int incProducts);
  static void EnergyProduct(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& mtxDofs,
                            const QORMtxMatrix& U, const QORMtxMatrix& V, const omi_IntTable<int>& map, double beta,
                            double* products, int incProducts);
  /// \brief As EnergyProduct with V given transposed (m × nU: its rows are the vectors).
  static void EnergyProductTransp(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& mtxDofs,
                                  const QORMtxMatrix& U, const QORMtxMatrix& V, const QORBasVector<int>& vecDofs,
                                  double beta, double* products, int incProducts);
  static void EnergyProductTransp(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& mtxDofs,
                                  const QORMtxMatrix& U, const QORMtxMatrix& V, const omi_IntTable<int>& map,
                                  double beta, double* products, int incProducts);
  /// \brief products[k] = b_kᵀ·A·b_k for the columns of B.
  static void EnergyProduct(const QORMtxMatrix& A, const QORBasVector<int>& ordinalsA, const QORMtxMatrix& B,
                            const QORBasVector<int>& ordinalsB, double* products, int);
  /// \brief products[k] = b_kᵀ·A·b_k for the columns of a stored B, A paired with B's rows on A's nonzero rows.
  static void EnergyProduct(const QORMtxSparseMatrix& A, const QORMtxDenseMatrix& B, double* products);
  /// \brief C = B1ᵀ·K·B2 in core. Preconditions
  /// "C.NumberOfRows() == B1.NumberOfColumns() && C.NumberOfColumns() == B2.NumberOfColumns()",
  /// "B1.NumberOfRows() == rowOrdinalsB1.size()", "B2.NumberOfRows() == rowOrdinalsB2.size()".
  static void Project(const QORMtxMatrix& B1, const QORBasVector<int>& rowOrdinalsB1, const QORMtxSparseMatrix& K,
                      const QORMtxMatrix& B2, const QORBasVector<int>& rowOrdinalsB2, QORMtxMatrix& C, int sym);
  /// \brief C = B1ᵀ·K·B2 with stored operands: only the rows where K has nonzero entries are worked on, through a
  /// scratch T = K·B2 that is removed with its file before returning. With QORMtxUtilities::Debug() on the two
  /// product times go to standard error.
  static void Project(const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B2,
                      QORMtxDenseMatrix& C, int sym);
  /// \brief The same into an in-core C (an empty C becomes n × n). Preconditions "n == B2.NumberOfColumns()",
  /// "C.NumberOfRows() == n && C.NumberOfColumns() == n".
  static void Project(const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B2,
                      QORMtxMatrix& C, int sym);
  /// \brief C = B1ᵀ·K·B2 with a stored B1 and an in-core B2 numbered by rowOrdinals.
  static void Project(const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K, const QORMtxMatrix& B2,
                      QORBasVector<int>& rowOrdinals, QORMtxMatrix& C, int sym);
  /// \brief C = Bᵀ·K·B.
  static void Project(const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C, int sym);
  static void Project(const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B, QORMtxMatrix& C, int sym);
  /// \brief V = P·V, or V − P·V when complement, with P = K·B·(Bᵀ·K·B)⁻¹·Bᵀ (Bᵀ·B in place of Bᵀ·K·B for an empty
  /// K). Preconditions "!!B && !!V", "numRowsV == rowOrdinalsV.size()", "numRowsB == rowOrdinalsB.size()",
  /// "isSymmetric" (K not empty). A singular Bᵀ·K·B shows only in the unexamined solve status.
  static void SmallSubspaceProjector(const QORMtxSparseMatrix& K, const QORMtxMatrix& B,
                                     const QORBasVector<int>& rowOrdinalsB, QORMtxMatrix& V,
                                     const QORBasVector<int>& rowOrdinalsV, bool complement);

 private:
  friend struct QORMtxMappedOperationsTestPeer;  // white-box tests of the private members

  /// Doubles a pass of a stored × stored product may hold: at least a full row or column of either operand.
  static int BufferSize(const QORMtxDenseMatrix& A, const QORMtxDenseMatrix& B);
  /// C = op(A)·B on rows paired by mapB (inner index → row of B) and mapC (row of op(A) → row of C); C = 0 first.
  static void IncoreMultiply(const QORMtxSparseMatrix& A, bool transA, const QORMtxMatrix& B,
                             const omi_IntTable<int>& mapB, QORMtxMatrix& C, const omi_IntTable<int>& mapC);
  /// The alpha-beta form: C = alpha·op(A)·B + beta·C.
  static void IncoreMultiply(double alpha, const QORMtxSparseMatrix& A, bool transA, const QORMtxMatrix& B,
                             const omi_IntTable<int>& mapB, double beta, QORMtxMatrix& C,
                             const omi_IntTable<int>& mapC);
  /// Ascending ordinals of the rows and the columns that hold a nonzero entry of K (mirrors included).
  static void NonZeroDomain(const QORMtxSparseMatrix& K, omi_Set& rows, omi_Set& cols);
  /// Flags of the rows and the columns of K that hold a nonzero entry (mirrors included).
  static void NonZeroRowCol(const QORMtxSparseMatrix& K, QORBasVector<bool>& rowFlags, QORBasVector<bool>& colFlags);
};
