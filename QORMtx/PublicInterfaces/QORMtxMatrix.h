// QORMtxMatrix: in-core real dense matrix, column-major, owning or viewing its value array.
#pragma once
#include <cstddef>

/// \brief Dense matrix of doubles held in memory.
///
/// Full storage is column-major with the row count as leading dimension: element (i, j) is at
/// m_numRows·j + i. A DIAG matrix is square and stores only its diagonal (element (i, i) at i).
/// The matrix owns its array (from QORMtxUtilities::AllocateDouble, released through Deallocate, so the
/// host's hooks apply) unless it was built on a caller's array, which it views and never frees or
/// resizes; an operation that needs a different size then allocates a new owned array. Row and column
/// ordinals are optional owned copies. Values obtained by allocation are not initialised.
///
/// The enumerator 2 of MtxType is SKEW: a full-storage matrix known to be skew-symmetric, as left by
/// SetSkewSymmetricResults (and the SKEW result type of the dense products). The class computes with it
/// exactly as with UNKNOWN; only transposition and the symmetry tests see it as unsymmetric.
class QORMtxMatrix {
 public:
  enum MtxType {
    DIAG = 0,    ///< square; only the diagonal is stored, off-diagonal elements read as 0.0
    SYMM = 1,    ///< symmetric, both triangles stored; factorisation and eigen kernels read the lower one
    SKEW = 2,    ///< full storage, treated as unsymmetric (skew-symmetric by the caller's knowledge)
    UNKNOWN = 3  ///< general full storage; the default type
  };

  // ---- Construction, reset and ownership ----
  /// \brief The empty matrix: 0 × 0, UNKNOWN, no array, no ordinals.
  QORMtxMatrix() = default;
  /// \brief Owned, uninitialised storage; see Reset(int, int, MtxType).
  QORMtxMatrix(int numRows, int numCols, MtxType type = UNKNOWN);
  /// \brief Views the caller's array; see Reset(int, int, double*, MtxType).
  QORMtxMatrix(int numRows, int numCols, double* array, MtxType type = UNKNOWN);
  /// \brief Views the caller's array and copies the two ordinal lists (null: none).
  QORMtxMatrix(int numRows, int numCols, const int* rowOrds, const int* colOrds, double* array,
               MtxType type = UNKNOWN);
  /// \brief Deep copy into owned storage: values, counts, type and ordinals.
  QORMtxMatrix(const QORMtxMatrix& rhs);
  /// \brief Releases owned values and the ordinals; a viewed array is left alone.
  ~QORMtxMatrix();

  /// \brief Returns to the empty state, releasing owned values and the ordinals.
  void Reset();
  /// \brief Owned storage for numRows × numCols (numRows values for DIAG); ordinals dropped.
  ///
  /// Both counts 0 empties the matrix; one count ≤ 0 otherwise fails "0"; DIAG needs
  /// "numRows == numCols". An owned array with the same value count is kept with its contents; a viewed
  /// array is left to its owner and replaced by a new owned one.
  void Reset(int numRows, int numCols, MtxType type = UNKNOWN);
  /// \brief Views the caller's array (released never). Preconditions "array",
  /// "numRows > 0 && numCols > 0" and, for DIAG, "numRows == numCols". Ordinals dropped.
  void Reset(int numRows, int numCols, double* array, MtxType type = UNKNOWN);
  /// \brief As Reset(int, int, double*, MtxType), then copies the two ordinal lists.
  void Reset(int numRows, int numCols, const int* rowOrds, const int* colOrds, double* array,
             MtxType type = UNKNOWN);
  /// \brief Deep copy of rhs into owned storage (an owned array of the same count is reused); an empty
  /// rhs empties this. Ordinals replaced by copies of rhs's.
  void Reset(const QORMtxMatrix& rhs);

  /// \brief this = rhs.
  ///
  /// Same counts, and not (this DIAG while rhs is full): values copied into the present storage as
  /// SetSlice(1.0, rhs, 0, 0, false), keeping this's type and ordinals. Otherwise precondition
  /// "m_ownMem", and a new array of rhs's count takes rhs's counts, type and values.
  /// \warning In the second case the ordinal lists are left as they were, whatever the new counts.
  QORMtxMatrix& operator=(const QORMtxMatrix& rhs);

  /// \brief Exchanges the two matrices. Both owning: all fields swapped. Otherwise the values are swapped
  /// element by element so that each keeps its array; precondition
  /// "!m_rowOrdinals && !m_colOrdinals && !rhs.m_rowOrdinals && !rhs.m_colOrdinals", and equal value
  /// counts (else "0").
  void Swap(QORMtxMatrix& rhs);

  /// \brief Copies m_numRows row ordinals (allocated on first use); null drops the list.
  void SetRowOrdinals(const int* rowOrds);
  /// \brief Copies m_numCols column ordinals (allocated on first use); null drops the list.
  void SetColOrdinals(const int* colOrds);
  void SetOrdinals(const int* rowOrds, const int* colOrds);
  const int* GetRowOrdinals() const { return m_rowOrdinals; }
  const int* GetColOrdinals() const { return m_colOrdinals; }

  // ---- Accessors ----
  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  MtxType Type() const { return m_type; }
  bool IsSquare() const { return m_numRows == m_numCols; }
  bool IsSymmetric() const { return m_type == SYMM; }
  bool IsDiagonal() const { return m_type == DIAG; }
  bool OwnMemory() const { return m_ownMem; }
  bool IsNull() const { return m_array == nullptr; }
  bool operator!() const { return m_array == nullptr; }
  /// \brief Stored values: m_numRows for DIAG, m_numRows·m_numCols otherwise.
  size_t NumberOfValues() const {
    return m_type == DIAG ? static_cast<size_t>(m_numRows)
                          : static_cast<size_t>(m_numRows) * static_cast<size_t>(m_numCols);
  }
  size_t LengthOfArray() const { return NumberOfValues(); }
  int NumberOfEntries() const { return static_cast<int>(NumberOfValues()); }
  double* Values() { return m_array; }
  const double* Values() const { return m_array; }
  double* getPtr() { return m_array; }
  const double* constPtr() const { return m_array; }

  // ---- Element access ----
  /// \brief Element (i, j); a DIAG matrix reads 0.0 off the diagonal.
  double value(int i, int j) const {
    if (m_type == DIAG) return i == j ? m_array[i] : 0.0;
    return m_array[Index(i, j)];
  }
  /// \brief Reference to element (i, j); off the diagonal of a DIAG matrix fails "0".
  double& value(int i, int j);
  /// \brief value(r, c) after "r >= 0 && r <= m_numRows && c >= 0 && c <= m_numCols" (bounds inclusive).
  double SafeGet(int r, int c) const;
  /// \brief Element (i, j) by the full-storage formula, whatever the type.
  double& FastGet(int i, int j) { return m_array[Index(i, j)]; }
  /// \brief Address of element (i, j); for DIAG, of diagonal value i.
  double* Values(int i, int j) { return m_type == DIAG ? m_array + i : m_array + Index(i, j); }
  const double* Values(int i, int j) const { return m_type == DIAG ? m_array + i : m_array + Index(i, j); }

  // ---- Filling and elementwise operations (on the stored values) ----
  /// \brief Every stored value set to s.
  QORMtxMatrix& operator=(double s);
  /// \brief Every stored value set to s (kernel copy of one value, stride 0).
  void Assign(double s);
  /// \brief Every stored value replaced by its absolute value.
  void Abs();
  /// \brief this = s·this.
  void Multiply(double s);
  /// \brief this += a·B. Preconditions "m_array"; then (a ≠ 0)
  /// "!!B && m_numRows == B.m_numRows && m_numCols == B.m_numCols". A DIAG this receiving a full B is
  /// first expanded by ConvertToFull; a DIAG B changes only the diagonal of a full this.
  void Add(double a, const QORMtxMatrix& B);
  /// \brief this = a·A + b·B: stored values cleared, then Add(a, A) and Add(b, B).
  /// \warning this must not be A or B: it is cleared first.
  void Add(double a, const QORMtxMatrix& A, double b, const QORMtxMatrix& B);
  /// \brief Add(1.0, B).
  QORMtxMatrix& operator+=(const QORMtxMatrix& B);
  /// \brief A DIAG matrix becomes a full SYMM one with zeros off the diagonal; others are unchanged.
  void ConvertToFull();
  /// \brief this(i, j) = (1 − a)·A(i, j) + a·B(i, j). Preconditions
  /// "m_numRows == A.m_numRows && m_numCols == A.m_numCols && m_numRows == B.m_numRows && m_numCols == B.m_numCols"
  /// and "0 <= a && a <= 1.0". All three DIAG: the diagonals are combined; otherwise a DIAG this is
  /// expanded and DIAG operands read as 0.0 off their diagonal.
  void Interpolate(double a, const QORMtxMatrix& A, const QORMtxMatrix& B);
  /// \brief this(firstRow + i, firstCol + j) = a·rhs(i, j), or a·rhs(j, i) placed transposed.
  ///
  /// Precondition "!IsDiagonal() || (rhs.IsDiagonal() && firstRow==firstCol)". A DIAG rhs into a full this
  /// zeroes the block's columns and sets their diagonal. No bounds are tested.
  void SetSlice(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose);
  /// \brief As SetSlice, adding; a DIAG rhs adds on the block's diagonal only.
  void AddSlice(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose);

  // ---- Products ----
  /// \brief this = A·B, or with transB this = A·Bᵀ (A must then be DIAG: "A.IsDiagonal()").
  ///
  /// Without transB: "A.m_numCols == B.m_numRows", "m_numRows == A.m_numRows && m_numCols == B.m_numCols".
  /// With transB: "A.m_numCols == B.m_numCols", "m_numRows == A.m_numRows && m_numCols == B.m_numRows".
  /// A full or B full: this must be full ("!IsDiagonal()"); two full operands go to gemm, a DIAG operand
  /// scales rows or columns. Both DIAG: only the diagonal of this is set (a full this is cleared first).
  /// The type of this is kept.
  void Multiply(const QORMtxMatrix& A, const QORMtxMatrix& B, bool transB);
  /// \brief C = this·B (accumulate ≠ 0: C += this·B); all three full storage.
  /// Preconditions "numRowsB == NumberOfColumns()", "numRowsC == numRows && numColsC == numColsB".
  /// The first int has no effect.
  void Multiply(const QORMtxMatrix& B, QORMtxMatrix& C, int unused, int accumulate) const;
  /// \brief C = thisᵀ·B (accumulate ≠ 0: C += thisᵀ·B); all three full storage.
  ///
  /// Preconditions "numRows == NumberOfRows()" (B's rows), "numRowsC == numColsA && numColsC == numColsB".
  /// triangle ≠ 0: only the 144 × 144 blocks of C on one side of the block diagonal are computed (upper
  /// when C has fewer rows than columns, else lower), the others are not written; SetSymmetricResults
  /// completes C.
  void TransposeMultiply(const QORMtxMatrix& B, QORMtxMatrix& C, int triangle, int accumulate) const;
  /// \brief this = lower block triangle of A·B, for a product known to be symmetric.
  ///
  /// Preconditions "m_numRows == m_numCols && m_numRows == A.m_numCols && A.m_numCols == B.m_numRows",
  /// "m_numRows == A.m_numRows && m_numCols == B.m_numCols", "!IsDiagonal() && !A.IsDiagonal() && !B.IsDiagonal()".
  /// Blocks of 128 (the first holds n mod 128, or 128); blocks above the block diagonal are left 0.
  void SymmetricMultiply(const QORMtxMatrix& A, const QORMtxMatrix& B);
  /// \brief this = this·rhs. Preconditions "this != &rhs", "m_numCols == rhs.m_numRows".
  ///
  /// Handled: any combination of full and DIAG operands that both hold values (gemm, gemv for a single
  /// column, scaling for a DIAG factor). Two DIAG give DIAG; a full result is UNKNOWN and takes rhs's
  /// column ordinals. An empty operand fails "!"QORMtxMatrix::operator*= illegal input"". A result of
  /// another size than a viewed array goes to a new owned array.
  QORMtxMatrix& operator*=(const QORMtxMatrix& rhs);

  /// \brief Copies one triangle onto the other: upper onto lower within the leading square when there are
  /// fewer rows than columns, lower onto upper otherwise. The type is kept; DIAG: nothing.
  void SetSymmetricResults();
  /// \brief As SetSymmetricResults with the copied values negated.
  void SetSkewSymmetricResults();

  // ---- Transposition ----
  /// \brief this = thisᵀ, ordinal lists exchanged. DIAG and SYMM: nothing. A rectangular matrix is
  /// transposed through a new array, copied back into a viewed array.
  void Transpose();
  /// \brief T = thisᵀ, UNKNOWN, viewing buffer when not null, with this's ordinals exchanged.
  /// An empty this empties T. DIAG and SYMM: T is not touched.
  void Transpose(QORMtxMatrix& T, double* buffer) const;

 private:
  size_t Index(int i, int j) const { return static_cast<size_t>(m_numRows) * static_cast<size_t>(j) + i; }
  void ReleaseValues();
  void AllocateValues(size_t count);
  void CopySliceOrAdd(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose, bool add);
  void CompleteTriangle(double sign);
  static void CopyOrdinals(int*& dst, const int* src, int count);

  int m_numRows = 0;
  int m_numCols = 0;
  MtxType m_type = UNKNOWN;
  bool m_ownMem = true;
  double* m_array = nullptr;
  int* m_rowOrdinals = nullptr;
  int* m_colOrdinals = nullptr;
};
