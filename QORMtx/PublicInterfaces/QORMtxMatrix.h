// QORMtxMatrix: in-core real dense matrix, column-major, owning or viewing its value array.
#pragma once
#include <cstddef>
#include <cstdio>

template <class T>
class QORBasVector;
class QORMtxDocument;
class QORMtxDenseMatrix;

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
  QORMtxMatrix(int numRows, int numCols, const int* rowOrds, const int* colOrds, double* array, MtxType type = UNKNOWN);
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
  void Reset(int numRows, int numCols, const int* rowOrds, const int* colOrds, double* array, MtxType type = UNKNOWN);
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
  /// \brief this += a·B for a stored dense B of the same shape, read whole. Preconditions "m_array",
  /// "numRows == numRowsB && numCols == numColsB"; a DIAG this is expanded by ConvertToFull first.
  void Add(double a, const QORMtxDenseMatrix& B);
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

  // ---- Sub-matrix copies ----
  // Blocks are (startRow, lastRow, startCol, lastCol), inclusive, checked with
  // "0 <= startRow && 0 <= startCol && lastRow < m_numRows && lastCol < m_numCols && startRow <= lastRow &&
  // startCol <= lastCol".
  // An empty receiving matrix is reset to the block's shape (UNKNOWN); one with values keeps its counts, must hold the
  // block ("numRows * numCols <= dimMatrix.m_numRows * dimMatrix.m_numCols") and receives it packed column by column
  // with the block's row count as leading dimension.

  /// \brief sub = this(startRow..lastRow, startCol..lastCol), packed.
  void GetValues(int startRow, int lastRow, int startCol, int lastCol, QORMtxMatrix& sub) const;
  /// \brief sub = this(startRow..lastRow, all columns), packed.
  void GetRows(int startRow, int lastRow, QORMtxMatrix& sub) const;
  /// \brief this(startRow..lastRow, startCol..lastCol) = the packed block values (leading dimension = block rows).
  /// A DIAG this accepts only diagonal positions (else "0").
  void SetValues(int startRow, int lastRow, int startCol, int lastCol, const double* values);
  /// \brief As SetValues from rhs's array, which must hold the block
  /// ("numRows * numCols <= dimMatrix.m_numRows * dimMatrix.m_numCols").
  void SetValues(int startRow, int lastRow, int startCol, int lastCol, const QORMtxMatrix& rhs);
  void SetRows(int startRow, int lastRow, const QORMtxMatrix& rhs);
  /// \brief rhs(i, :) = this(rowNumbers[i], :) for i < numRows. Preconditions "!IsDiagonal()", "!rhs.IsDiagonal()",
  /// "numRows <= m_numRows", "numCols == m_numCols" (rhs's columns), "numRows <= rhs.m_numRows", and per row
  /// "rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows".
  void GetRows(const int* rowNumbers, int numRows, QORMtxMatrix& rhs) const;
  /// \brief sub(i, j) = this(rows[i], cols[j]) (read as by value()), packed under the receiving rule above.
  void GetValues(const int* rows, int numRows, const int* cols, int numCols, QORMtxMatrix& sub) const;
  /// \brief this(rowNumbers[i], :) = rhs(i, :). Preconditions "!IsDiagonal()", "!rhs.IsDiagonal()",
  /// "numRows <= m_numRows", "numCols == m_numCols", "rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows".
  void SetRows(const int* rowNumbers, const QORMtxMatrix& rhs);
  /// \brief this(:, colNumbers[j]) = rhs(:, j). Preconditions "!IsDiagonal()", "!rhs.IsDiagonal()",
  /// "numCols <= m_numCols", "numRows == m_numRows", "colNumbers[i] >= 0 && colNumbers[i] < m_numCols".
  void SetColumns(const int* colNumbers, const QORMtxMatrix& rhs);
  /// \brief sub(i, j) = this(rows[i], cols[j]), as by value(). Precondition
  /// "numRows <= m_numRows && numCols <= m_numCols" (list sizes). sub is reset to the lists' shape (UNKNOWN) unless
  /// it has it already; a DIAG sub of that shape accepts only diagonal positions (else "0"). An empty list empties sub.
  void Extract(const QORBasVector<int>& rows, const QORBasVector<int>& cols, QORMtxMatrix& sub) const;
  /// \brief As Extract with selection masks: "rows.size() == m_numRows && cols.size() == m_numCols".
  void Extract(const QORBasVector<bool>& rows, const QORBasVector<bool>& cols, QORMtxMatrix& sub) const;
  /// \brief this(rows[i], cols[j]) = submatrix(i, j). Precondition
  /// "numRows == submatrix.NumberOfRows() && numCols == submatrix.NumberOfColumns()"; a DIAG this accepts only
  /// diagonal positions (else "0").
  void Insert(const QORBasVector<int>& rows, const QORBasVector<int>& cols, const QORMtxMatrix& submatrix);
  /// \brief this(k-th selected row, l-th selected column) = submatrix(k, l). Preconditions
  /// "rows.size() == m_numRows && cols.size() == m_numCols" and
  /// "numRows == submatrix.NumberOfRows() || numCols == submatrix.NumberOfColumns()"; selections beyond submatrix's
  /// counts are not written.
  void Insert(const QORBasVector<bool>& rows, const QORBasVector<bool>& cols, const QORMtxMatrix& submatrix);
  /// \brief submatrix(i, :) = this(rows[i], :). Preconditions "!IsDiagonal()",
  /// "numRows == submatrix.NumberOfRows() && m_numCols == submatrix.NumberOfColumns()".
  void ExtractRows(const QORBasVector<int>& rows, QORMtxMatrix& submatrix) const;
  /// \brief this(rows[i], :) = submatrix(i, :), under the preconditions of ExtractRows.
  void InsertRows(const QORBasVector<int>& rows, const QORMtxMatrix& submatrix);
  /// \brief sub = the columns whose mask entry is true, in order; sub is reset unless it has that shape.
  void ExtractColumns(const bool* mask, QORMtxMatrix& sub) const;
  /// \brief diag = the m_numRows diagonal values. Preconditions "IsSquare()", "diag".
  void GetDiagonal(double* diag) const;
  /// \brief The diagonal = diag. Preconditions "IsSquare()", "diag".
  void SetDiagonal(const double* diag);
  /// \brief The diagonal = rhs's diagonal. Preconditions "m_numRows == m_numCols && rhs.m_numRows == rhs.m_numCols",
  /// "m_numRows == rhs.m_numRows".
  void SetDiagonal(const QORMtxMatrix& rhs);
  /// \brief The upper triangle packed by columns, (i, j ≥ i) at j(j+1)/2 + i: n(n+1)/2 values. SYMM and DIAG as
  /// stored; other types give the symmetric part ½·(A(i, j) + A(j, i)). Precondition "IsSquare()".
  void GetSymmetric(double* packed) const;
  /// \brief Row i moves to row permVector[i] in every column. Preconditions "m_numRows == permLength",
  /// "permVector[iRow] < m_numRows". A DIAG matrix is expanded to full storage first.
  void PermuteRowsInPlace(const int* permVector, int permLength);
  /// \brief Keeps the leading numRows × numCols block, compacted in the same array (never reallocated).
  /// Preconditions "numRows <= m_numRows && numCols <= m_numCols", "!(IsDiagonal() && numRows != numCols)".
  /// Either count 0 empties the matrix.
  void Shrink(int numRows, int numCols);
  /// \brief Keeps the leading numCols columns (a DIAG matrix: numCols rows too). Precondition
  /// "numCols <= m_numCols"; 0 empties the matrix.
  void ShrinkColumns(int numCols);

  // ---- Tests ----
  /// \brief Same counts, both DIAG or both not, every stored value equal (NaN never equal).
  bool operator==(const QORMtxMatrix& rhs) const;
  /// \brief Every stored value equals s (true when empty).
  bool operator==(double s) const;
  /// \brief Every stored value is exactly 0 (true when empty).
  bool IsZero() const;
  /// \brief DIAG with every diagonal value exactly 1.0; a full matrix gives false.
  bool IsUnit() const;
  /// \brief DIAG: true; non-square: false; else A(i, j) == A(j, i) for every pair.
  bool IsSymmetricNumerically() const;
  /// \brief DIAG: true. tol < 0, no values or non-square: false. tol = 0: off-diagonal all exactly 0. tol > 0:
  /// |A(i, j)| ≤ tol·|A(j, j)| in every column, and, unless SYMM, |A(i, j)| ≤ tol·|A(i, i)| in every row.
  bool IsDiagonal(double tol) const;
  /// \brief A cheap necessary test: square DIAG or SYMM, positive diagonal with min/max > 2.22e-16, and for SYMM
  /// A(i, i)·A(j, j) > A(i, j)² + 2.22e-16 for every i < j.
  bool IsPositiveDefinite() const;
  /// \brief Some |d_i| < tol or < 1e-36 (true for an empty diagonal). Precondition "!IsNull() && IsDiagonal()".
  bool IsSingular(double tol) const;

  // ---- Factorisation, solves, eigen-solve, norms ----
  /// \brief In-place factorisation; ipiv holds m_numRows pivots.
  ///
  /// DIAG: reciprocals of the diagonal (each "m_array[i] != 0.0"), so that the solve is a row scaling. SYMM:
  /// Bunch-Kaufman LDLᵀ of the lower triangle (sytrf, workspace n²). Other types: LU with partial pivoting (getrf).
  /// A negative kernel status fails "info >= 0 && "QORMtxMatrix::Factorize""; a zero pivot is not reported.
  void Factorize(int* ipiv);
  /// \brief Solves with the factors of Factorize, in place in B (nrhs = B's columns, ldb = this's rows).
  /// SYMM: sytrs ('L'); DIAG: B's rows scaled by the stored reciprocals; others: getrs, with Aᵀ when transpose.
  /// A negative kernel status fails "info >= 0 && "QORMtxMatrix::ForwardBackwardPass"".
  void ForwardBackwardPass(const int* ipiv, QORMtxMatrix& B, bool transpose) const;
  /// \brief this·x = λ·B·x with B symmetric positive definite (sygv, type 1, lower triangles): Lambda's array gets the
  /// n eigenvalues ascending, X's columns the B-orthonormal eigenvectors.
  ///
  /// Preconditions "0 < m_numRows && m_numRows == m_numCols", "!X.IsDiagonal()",
  /// "m_numRows == B.m_numRows && m_numRows == Lambda.m_numRows && m_numRows == X.m_numRows",
  /// "m_numCols == B.m_numCols && m_numCols == X.m_numCols", "IsDiagonal() || IsSymmetricNumerically()",
  /// "B.IsDiagonal() || B.IsSymmetricNumerically()".
  /// \return 0 success; 1 illegal kernel argument; 2 no convergence; 3 B not positive definite.
  int SolveEigenproblemSymmetric(const QORMtxMatrix& B, QORMtxMatrix& Lambda, QORMtxMatrix& X) const;
  /// \brief The kernel's matrix norm on the array read row-major (lda = m_numCols): 'M' and 'F' as for the matrix;
  /// for a square matrix '1'/'O' gives the largest absolute row sum and 'I' the largest column sum. DIAG is read
  /// expanded; an empty matrix gives 0.
  double Norm(char which) const;
  /// \brief rcond = reciprocal condition estimate from an LU of a copy (row-major reading, as Norm with '1');
  /// ok is false when a pivot entry is negative or the LU meets an exactly zero pivot (rcond is then 0).
  void Properties(bool& ok, double& rcond) const;

  // ---- Printing ----
  /// \brief "%i %i %i\n" (1 for DIAG, else 0; rows; columns), then every stored value on its own line through
  /// QORMtxUtilities::DoubleToChar(value, zeroTol, precision). Precondition
  /// "outputFile && "Zero pointer to file"".
  void Output(FILE* outputFile, double zeroTol, int precision) const;
  /// \brief The matrix as a table of doc: size line, then "Row", "Column j" headings and one row per matrix row (a
  /// DIAG matrix: "Row", "Diagonal value"); "The matrix is NULL" for an empty one.
  void Mtx2Document(QORMtxDocument& doc, int width, int precision, double zeroTol) const;
  /// \brief Mtx2Document on a text document titled title (empty when null) on file (standard output when null).
  void Print2File(FILE* file, int width, int precision, double zeroTol, const char* title) const;
  /// \brief Print2File on the named file (closed afterwards), on standard error when fileName is null, and on
  /// standard output when the file cannot be opened.
  void Print(const char* fileName, int width, int precision, double zeroTol, const char* title) const;

 private:
  size_t Index(int i, int j) const { return static_cast<size_t>(m_numRows) * static_cast<size_t>(j) + i; }
  void ReleaseValues();
  void AllocateValues(size_t count);
  void CopySliceOrAdd(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose, bool add);
  void CompleteTriangle(double sign);
  static void CopyOrdinals(int*& dst, const int* src, int count);
  static void PrepareReceiver(QORMtxMatrix& dimMatrix, int numRows, int numCols);
  static void CheckPackedSource(const QORMtxMatrix& dimMatrix, int numRows, int numCols);
  void CheckBlock(int startRow, int lastRow, int startCol, int lastCol) const;
  void CopyBlockOut(int startRow, int startCol, int numRows, int numCols, double* dst) const;
  void CopyBlockIn(int startRow, int startCol, int numRows, int numCols, const double* src);

  int m_numRows = 0;
  int m_numCols = 0;
  MtxType m_type = UNKNOWN;
  bool m_ownMem = true;
  double* m_array = nullptr;
  int* m_rowOrdinals = nullptr;
  int* m_colOrdinals = nullptr;
};
