// QORMtxOperations: unmapped in-core, energy and sparse-times-stored products (static operations only).
#pragma once

class QORMtxMatrix;
class QORMtxSparseMatrix;
class QORMtxDenseMatrix;

class QORMtxOperations {
 public:
  QORMtxOperations() = delete;

  /// \brief C = alpha·A·B + beta·C on full matrices by one kernel call.
  /// Preconditions "!A.IsDiagonal() && !B.IsDiagonal() && !B.IsDiagonal()" and
  /// "numRowsB == numColsA && numRowsC == numRowsA && numColsC == numColsB".
  /// \warning The first precondition tests B twice and C never, as its text says.
  static void Multiply(const QORMtxMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& C, double alpha, double beta);
  /// \brief products[j] = b_jᵀ·A·b_j for every column b_j of B. work, when not null, holds m·n doubles for A·B
  /// (nothing is allocated then). Preconditions "!!A && !!B && products && A.IsSquare()", "m == B.NumberOfRows()".
  static void EnergyProducts(const QORMtxMatrix& A, const QORMtxMatrix& B, double* products, double* work);
  /// \brief C = op(K)·B with B and C in the data store, one column block of B in core at a time (transposed, so
  /// that every stored entry of K updates a contiguous row). A symmetric K ignores trans.
  static void Multiply(const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C, bool trans);

 private:
  /// CT = (op(K)·B)ᵀ with B given as BT = Bᵀ: "numCols == CT.NumberOfRows()".
  static void FastIncoreMultiply(const QORMtxSparseMatrix& K, bool trans, const QORMtxMatrix& BT, QORMtxMatrix& CT);
};
