// QORMtxReImMatrix: a complex matrix held as two real QORMtxMatrix parts, its real and its imaginary part.
#pragma once
#include "QORMtxMatrix.h"

class QORMtxComplex;
class QORMtxComplexMatrix;

/// \brief Split complex matrix R + i·I.
///
/// Both parts have the matrix's shape when present; an absent part is an empty QORMtxMatrix. The parts keep the
/// real storage kinds, so that complex work can use the real kernels (a diagonal or symmetric real part, say).
/// The type says which part kinds go together:
///
/// | type       | printed     | real part | imaginary part |
/// |------------|-------------|-----------|----------------|
/// | DIAG 0     | "DIAG"      | DIAG      | DIAG           |
/// | SYMM 1     | "SYMM"      | SYMM      | SYMM           |
/// | HERM 2     | "HERM"      | SKEW (2)  | SKEW (2)       |
/// | SYMMSKEW 3 | "UNKNOWN"   | SYMM      | SKEW (2)       |
/// | UNKNOWN 4  | "UNKNOWN"   | UNKNOWN   | UNKNOWN        |
///
/// UNKNOWN is the default and the type of the empty matrix.
class QORMtxReImMatrix {
 public:
  enum MtxType {
    DIAG = 0,
    SYMM = 1,
    HERM = 2,      ///< named as it prints; both parts of real type 2
    SYMMSKEW = 3,  ///< symmetric real part, real-type-2 imaginary part
    UNKNOWN = 4
  };

  /// \brief The empty matrix: 0 × 0, UNKNOWN, both parts empty.
  QORMtxReImMatrix() = default;
  /// \brief See Reset(int, int, MtxType).
  QORMtxReImMatrix(int numRows, int numCols, MtxType type = UNKNOWN);
  /// \brief See Reset(const QORMtxMatrix&, const QORMtxMatrix&).
  QORMtxReImMatrix(const QORMtxMatrix& re, const QORMtxMatrix& im);
  QORMtxReImMatrix(const QORMtxReImMatrix& rhs);
  /// \brief See Reset(const QORMtxComplexMatrix&).
  explicit QORMtxReImMatrix(const QORMtxComplexMatrix& rhs);
  /// \brief Reset(rhs): deep copy.
  QORMtxReImMatrix& operator=(const QORMtxReImMatrix& rhs);
  ~QORMtxReImMatrix() { Reset(); }

  /// \brief Both counts 0, type UNKNOWN, both parts emptied.
  void Reset();
  /// \brief Owned, uninitialised parts of numRows × numCols with the part types of the table.
  /// Preconditions "numRows > 0 && numCols > 0" and, for DIAG, "numRows == numCols".
  void Reset(int numRows, int numCols, MtxType type = UNKNOWN);
  /// \brief Deep copies of the present parts (an absent part stays empty), shape from them, type by ResetType.
  /// Both present: "numRowsRe == numRowsIm && numColsRe == numColsIm". Neither: the empty matrix.
  void Reset(const QORMtxMatrix& re, const QORMtxMatrix& im);
  /// \brief Reset(rhs.Re(), rhs.Im()).
  void Reset(const QORMtxReImMatrix& rhs);
  /// \brief The whole-matrix split rhs.ReIm(*this): this shape, the mapped type, the real and imaginary values.
  void Reset(const QORMtxComplexMatrix& rhs);

  /// \brief The type from the parts: both DIAG 0; both SYMM 1; both real type 2 → 2; SYMM and real type 2 → 3;
  /// anything else (an empty part counting as UNKNOWN) 4.
  void ResetType();

  /// \brief (R, I) = (a·R − b·I, a·I + b·R) for z = a + bi.
  ///
  /// b = 0: both parts scaled by a, types kept. a = 0: the parts scaled by −b and b and exchanged (Swap), the
  /// type recomputed. Otherwise a DIAG part beside a full one is expanded first (ConvertToFull), an absent part is
  /// made a zero partner of the other's shape and kind, and the pairs are combined by
  /// QORMtxArrayUtilities::ReImMultiply.
  void Multiply(const QORMtxComplex& z);

  /// \brief Prints the counts, the type name and both parts (QORMtxMatrix::Mtx2Document, width 9, precision 6, zero
  /// tolerance 0) as a text document on the named file ("w"), on standard error when fileName is null, and on
  /// standard output when the file cannot be opened. The int and the double are accepted and have no effect.
  void Print(const char* fileName = nullptr, int width = 9, double zeroTol = 0.0) const;

  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  MtxType Type() const { return m_mtxType; }
  QORMtxMatrix& Re() { return m_re; }
  const QORMtxMatrix& Re() const { return m_re; }
  QORMtxMatrix& Im() { return m_im; }
  const QORMtxMatrix& Im() const { return m_im; }

 private:
  int m_numRows = 0;
  int m_numCols = 0;
  MtxType m_mtxType = UNKNOWN;
  QORMtxMatrix m_re;
  QORMtxMatrix m_im;
};
