// QORMtxComplexMatrix: in-core complex dense matrix of interleaved (re, im) pairs, owning or viewing its array.
#pragma once
#include <cstddef>

#include "QORMtxMatrix.h"
#include "QORMtxReImMatrix.h"

/// \brief Dense complex matrix held in memory, with the ownership and diagonal-storage rules of QORMtxMatrix and no
/// ordinals.
///
/// Full storage is column-major with leading dimension m_numRows: entry (i, j) is the pair at doubles
/// 2(m_numRows·j + i) (real) and the next (imaginary). A DIAG matrix is square and stores only its diagonal, entry
/// i at doubles 2i and 2i + 1. The matrix owns its array (QORMtxUtilities::AllocateDouble / Deallocate) unless it
/// was built on a caller's array, which it views and never frees. Values obtained by allocation are not
/// initialised.
///
/// Types 2 and 3 are full storage. They carry the kinds of the split parts through conversions (see
/// QORMtxReImMatrix): HERM has both parts of real type 2, SYMMSKEW a symmetric real part with a real-type-2
/// imaginary part. The class computes with them as with UNKNOWN.
class QORMtxComplexMatrix {
 public:
  enum MtxType {
    DIAG = 0,      ///< square; only the diagonal is stored
    SYMM = 1,      ///< complex symmetric, full storage
    HERM = 2,      ///< full storage, both split parts of real type 2
    SYMMSKEW = 3,  ///< full storage, symmetric real part and real-type-2 imaginary part
    UNKNOWN = 4    ///< general full storage; the default
  };

  // ---- Construction, reset and ownership (each first empties the matrix) ----
  /// \brief The empty matrix: 0 × 0, UNKNOWN, no array.
  QORMtxComplexMatrix() = default;
  /// \brief Owned, uninitialised storage; see Reset(int, int, MtxType).
  QORMtxComplexMatrix(int numRows, int numCols, MtxType type = UNKNOWN);
  /// \brief A null complexArray gives owned storage as Reset(int, int, MtxType); otherwise the array is viewed
  /// after "numRows > 0 && numCols > 0" and, for DIAG, "numRows == numCols".
  QORMtxComplexMatrix(int numRows, int numCols, double* complexArray, MtxType type = UNKNOWN);
  /// \brief Deep copy into owned storage.
  QORMtxComplexMatrix(const QORMtxComplexMatrix& rhs);
  /// \brief See Reset(const QORMtxMatrix&, const QORMtxMatrix&, double*).
  QORMtxComplexMatrix(const QORMtxMatrix& re, const QORMtxMatrix& im, double* buffer = nullptr);
  /// \brief Reset(A.Re(), A.Im(), nullptr).
  explicit QORMtxComplexMatrix(const QORMtxReImMatrix& A);
  /// \brief Reset(rhs): deep copy.
  QORMtxComplexMatrix& operator=(const QORMtxComplexMatrix& rhs);
  /// \brief Releases an owned array; a viewed array is left alone.
  ~QORMtxComplexMatrix() { Reset(); }

  /// \brief The empty state, releasing an owned array.
  void Reset();
  /// \brief Owned storage for numRows × numCols entries (numRows for DIAG).
  ///
  /// Both counts 0 empties the matrix; one count ≤ 0 otherwise fails "0"; DIAG needs "numRows == numCols". An owned
  /// array of the right length is kept with its contents; a viewed array is left to its owner and replaced.
  void Reset(int numRows, int numCols, MtxType type = UNKNOWN);
  /// \brief Views the caller's array (never released). Preconditions "complexArray", "numRows > 0 && numCols > 0"
  /// and, for DIAG, "numRows == numCols".
  void Reset(int numRows, int numCols, double* complexArray, MtxType type = UNKNOWN);
  /// \brief Deep copy into owned storage (an owned array of the same length is reused); an empty rhs empties this.
  void Reset(const QORMtxComplexMatrix& rhs);
  /// \brief this = re + i·im.
  ///
  /// Both parts empty: the empty matrix. Otherwise the part-shape precondition
  /// "!re || !im || re.NumberOfRows() == im.NumberOfRows() && re.NumberOfColumns() == im.NumberOfColumns()"; shape
  /// from the present part; type: one part present → MapMatrixType of its type; both with equal types r → that
  /// type mapped; DIAG with SYMM → SYMM; SYMM real with real-type-2 imaginary → SYMMSKEW; any other pair → UNKNOWN.
  /// A non-null buffer is viewed, otherwise owned storage is reused or allocated. An absent part gives zeros; a DIAG
  /// part beside a full one gives its diagonal and zeros elsewhere. No storage at the end fails "m_array".
  void Reset(const QORMtxMatrix& re, const QORMtxMatrix& im, double* buffer = nullptr);
  /// \brief Reset(A.Re(), A.Im(), nullptr).
  void Reset(const QORMtxReImMatrix& A);

  /// \brief 0 → DIAG, 1 → SYMM, 2 → HERM, any other → UNKNOWN.
  static MtxType MapMatrixType(QORMtxMatrix::MtxType type);
  /// \brief This type as a split-matrix type: 0..3 unchanged, any other → UNKNOWN.
  QORMtxReImMatrix::MtxType ReImMatrixType() const;

  // ---- Accessors ----
  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  MtxType Type() const { return m_mtxType; }
  bool IsSquare() const { return m_numRows == m_numCols; }
  bool IsDiagonal() const { return m_mtxType == DIAG; }
  bool OwnMemory() const { return m_ownMem; }
  /// \brief True for an empty matrix (no array).
  bool operator!() const { return m_array == nullptr; }
  /// \brief Stored doubles: 2·m_numRows for DIAG, 2·m_numRows·m_numCols otherwise.
  size_t LengthOfArray() const { return 2 * NumberOfEntries(); }
  size_t NumberOfValues() const { return LengthOfArray(); }
  double* Values() { return m_array; }
  const double* Values() const { return m_array; }
  /// \brief Address of the pair of entry (i, j); for DIAG, of diagonal entry i.
  double* Values(int i, int j) { return m_array + Offset(i, j); }
  const double* Values(int i, int j) const { return m_array + Offset(i, j); }

  // ---- Values and arithmetic (over the stored entries) ----
  /// \brief Copies rhs's values. Preconditions "m_numRows == rhs.NumberOfRows() && m_numCols == rhs.NumberOfColumns()"
  /// and "length == rhs.LengthOfArray()" (same storage kind).
  void Assign(const QORMtxComplexMatrix& rhs);
  /// \brief Every stored entry = re + i·im (0 + 0i by a byte fill).
  void Assign(double re, double im);
  /// \brief this = (re + i·im)·this (zdscal when im = 0, else zscal).
  void Multiply(double re, double im);
  /// \brief max |a_k| over the stored entries (0 when empty).
  double MaxAbsValue() const;
  /// \brief Σ |a_k| (moduli) of a column. Precondition "m_numCols == 1".
  double VecNorm() const;
  /// \brief Some |d_i| < 1e-36. Precondition "IsDiagonal() && m_numRows > 0".
  bool IsSingular() const;
  /// \brief d_i = 1/d_i (qormtx_array_invert). Precondition "IsDiagonal() && m_numRows > 0".
  void Invert();

  // ---- Split and assembly by parts ----
  /// \brief re = Re(this), im = Im(this) into the parts' existing storage.
  ///
  /// Preconditions "re.NumberOfRows() == m_numRows && im.NumberOfRows() == m_numRows",
  /// "re.NumberOfColumns() == m_numCols && im.NumberOfColumns() == m_numCols" and
  /// "re.IsDiagonal() && im.IsDiagonal() && IsDiagonal() || !re.IsDiagonal() && !im.IsDiagonal() && !IsDiagonal()".
  void ReIm(QORMtxMatrix& re, QORMtxMatrix& im) const;
  /// \brief A = this, split: A is reset to this shape and ReImMatrixType() and receives both parts (an empty this
  /// empties A). Whole matrix only: "startRow == 0 && lastRow == -1 && startCol == 0 && lastCol == -1".
  void ReIm(QORMtxReImMatrix& A, int startRow = 0, int lastRow = -1, int startCol = 0, int lastCol = -1) const;
  /// \brief Writes re + i·im into the existing storage, keeping type and ownership.
  ///
  /// Preconditions "startRow == 0 && lastRow == -1 && startCol == 0 && lastCol == -1", the part-shape condition
  /// of Reset(re, im, buffer) and "m_numRows == numRows && m_numCols == numCols". An absent part writes zeros; a
  /// DIAG part into a full this gives its diagonal and zeros elsewhere; a full part into a DIAG this gives its
  /// diagonal.
  void SetReIm(const QORMtxMatrix& re, const QORMtxMatrix& im, int startRow = 0, int lastRow = -1, int startCol = 0,
               int lastCol = -1);
  /// \brief SetReIm(A.Re(), A.Im(), ...).
  void SetReIm(const QORMtxReImMatrix& A, int startRow = 0, int lastRow = -1, int startCol = 0, int lastCol = -1);

  // ---- Blocks ----
  /// \brief block = this(startRow.., startCol..) in block's own shape. Preconditions "m_mtxType == UNKNOWN" and
  /// "block.Type() == UNKNOWN"; an empty block does nothing; then "startRow + numBlkRows - 1 < m_numRows" and
  /// "startCol + numBlkCols - 1 < m_numCols".
  void GetBlock(int startRow, int startCol, QORMtxComplexMatrix& block) const;

  /// \brief this(startRowA + i, startColA + j) = alpha·B(startRowB + i, startColB + j) over the inclusive B range
  /// (alpha = 1 in the forms without it; re, im build B as Reset(re, im, nullptr) does).
  ///
  /// Preconditions in order: "!IsDiagonal()", "startRowA >= 0 && startRowA < m_numRows",
  /// "startColA >= 0 && startColA < m_numCols",
  /// "startRowB >= 0 && startRowB < numRowsB && endRowB >= 0 && endRowB < numRowsB",
  /// "startColB >= 0 && startColB < numColsB && endColB >= 0 && endColB < numColsB",
  /// "startRowA + nARows - 1 < m_numRows", "startColA + nACols - 1 < m_numCols" (nARows = endRowB − startRowB + 1,
  /// nACols = endColB − startColB + 1). numThreads is passed on to the kernels.
  /// \warning A DIAG B contributes its diagonal only: the positions of its zero entries are not written.
  void SetBlock(int startRowA, int startColA, const QORMtxComplexMatrix& B, int startRowB, int endRowB, int startColB,
                int endColB, int numThreads = 0);
  void SetBlock(int startRowA, int startColA, double alphaRe, double alphaIm, const QORMtxComplexMatrix& B,
                int startRowB, int endRowB, int startColB, int endColB, int numThreads = 0);
  void SetBlock(int startRowA, int startColA, const QORMtxMatrix& re, const QORMtxMatrix& im, int startRowB,
                int endRowB, int startColB, int endColB, int numThreads = 0);
  void SetBlock(int startRowA, int startColA, double alphaRe, double alphaIm, const QORMtxMatrix& re,
                const QORMtxMatrix& im, int startRowB, int endRowB, int startColB, int endColB, int numThreads = 0);
  /// \brief As SetBlock, adding alpha·B (one complex axpy per column of the range).
  void AddBlock(int startRowA, int startColA, const QORMtxComplexMatrix& B, int startRowB, int endRowB, int startColB,
                int endColB, int numThreads = 0);
  void AddBlock(int startRowA, int startColA, double alphaRe, double alphaIm, const QORMtxComplexMatrix& B,
                int startRowB, int endRowB, int startColB, int endColB, int numThreads = 0);
  void AddBlock(int startRowA, int startColA, const QORMtxMatrix& re, const QORMtxMatrix& im, int startRowB,
                int endRowB, int startColB, int endColB, int numThreads = 0);
  void AddBlock(int startRowA, int startColA, double alphaRe, double alphaIm, const QORMtxMatrix& re,
                const QORMtxMatrix& im, int startRowB, int endRowB, int startColB, int endColB, int numThreads = 0);

  /// \brief QORMtxReImMatrix(*this).Print(title, width, zeroTol).
  /// \warning The split print takes its first argument as a file name: a non-null title names the file written.
  void Print(const char* title = nullptr, int width = 9, double zeroTol = 0.0) const;

 private:
  size_t NumberOfEntries() const {
    return m_mtxType == DIAG ? static_cast<size_t>(m_numRows)
                             : static_cast<size_t>(m_numRows) * static_cast<size_t>(m_numCols);
  }
  size_t Offset(int i, int j) const {
    return m_mtxType == DIAG ? 2 * static_cast<size_t>(i)
                             : 2 * (static_cast<size_t>(m_numRows) * static_cast<size_t>(j) + i);
  }
  void ReleaseValues();
  void SetStorage(int numRows, int numCols, MtxType type, double* view);
  void Interleave(const QORMtxMatrix& re, const QORMtxMatrix& im);
  void Block(int mode, int startRowA, int startColA, const double* alpha, const QORMtxComplexMatrix& B, int startRowB,
             int endRowB, int startColB, int endColB, int numThreads);

  int m_numRows = 0;
  int m_numCols = 0;
  MtxType m_mtxType = UNKNOWN;
  bool m_ownMem = true;
  double* m_array = nullptr;
};
