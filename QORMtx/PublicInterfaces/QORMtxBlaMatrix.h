// QORMtxBlaMatrix: reference-counted dense matrix, or window into one, in the kernels' column-major layout.
#pragma once
class cow_Counter;

class QORMtxMatrix;

/// \brief A dense dim1 × dim2 matrix with leading dimension offset (entry (i, j) at values[i + offset·j]) and a
/// structural property. Windows (Submatrix) share the values and a counter; the last holder frees the allocation
/// the values came from (QORMtxUtilities::AllocateDouble / Deallocate), never a caller's memory.
///
/// A structured property lets the updates and products compute one triangle and mirror it: the lower one when the
/// matrix is tall (dim2 ≤ dim1), the upper one otherwise.
class QORMtxBlaMatrix {
 public:
  enum QORMtxProperty { GENERAL = 0, SYMMETRIC = 1, SKEWSYMMETRIC = 2, SYMMETRIC2 = 3 };

  /// \brief A view on M's values (not owned), leading dimension M's row count.
  QORMtxBlaMatrix(QORMtxMatrix& M, QORMtxProperty property);
  /// \brief An owned rows × cols copy of the column-major values (leading dimension rows), zeros when null.
  QORMtxBlaMatrix(int rows, int cols, const double* values, QORMtxProperty property);
  /// \brief Deep copy: owned, leading dimension the row count, same property.
  QORMtxBlaMatrix(const QORMtxBlaMatrix& rhs);
  virtual ~QORMtxBlaMatrix();

  /// \brief Copies property and values; "m_dim1 == rhs.NumberOfRows() && m_dim2 == rhs.NumberOfColumns()".
  QORMtxBlaMatrix& operator=(const QORMtxBlaMatrix& rhs);
  /// \brief Every entry becomes value.
  QORMtxBlaMatrix& operator=(double value);

  /// \brief New view of rows startRow … endRow and columns startCol … endCol, sharing values and counter, property
  /// GENERAL; released with delete. Preconditions "startRow>=0 && startCol>=0", "endRow<m_dim1 && endCol<m_dim2",
  /// "startRow<=endRow && startCol<=endCol".
  virtual QORMtxBlaMatrix* Submatrix(int startRow, int endRow, int startCol, int endCol) const;

  /// \brief Copies the inclusive window out into a matrix of its shape (its own leading dimension).
  void GetValues(int startRow, int lastRow, int startCol, int lastCol, QORMtxBlaMatrix& out) const;
  /// \brief Copies the inclusive window out, packed column-major.
  void GetValues(int startRow, int lastRow, int startCol, int lastCol, double* out) const;
  void SetValues(int startRow, int lastRow, int startCol, int lastCol, const QORMtxBlaMatrix& in);
  void SetValues(int startRow, int lastRow, int startCol, int lastCol, const double* in);
  /// \brief Diagonal entries i < min(dim1, dim2) from d.
  void SetDiagonal(const double* d);

  /// \brief this += alpha·rhs; "(m_dim1 == rhs.m_dim1) && (m_dim2 == rhs.m_dim2)". Structured: one triangle,
  /// then mirrored.
  void Add(double alpha, const QORMtxBlaMatrix& rhs);
  /// \brief this = s·this.
  void Multiply(double s);
  /// \brief this = alpha·op(A)·op(B) + beta·this. A structured result is formed in blocks of 144 (only the block
  /// triangle that holds the computed triangle) and mirrored when it spans more than one block.
  /// \warning A structured result is taken as structured: the mirrored half is overwritten, not computed.
  void Multiply(const QORMtxBlaMatrix& A, const QORMtxBlaMatrix& B, double alpha, double beta, bool transA,
                bool transB);
  /// \brief this = alpha·op(A)·this through a deep copy of this.
  void LeftMultiply(const QORMtxBlaMatrix& A, double alpha, bool trans);
  /// \brief this = alpha·this·op(A) through a deep copy of this.
  void RightMultiply(const QORMtxBlaMatrix& A, double alpha, bool trans);
  /// \brief In-place transposition; "(m_offset==m_dim1) || (m_dim1==m_dim2)". A non-square matrix gets a new
  /// owned array.
  void Transpose();

  /// \brief this·x = λ·B·x for symmetric this and symmetric positive definite B (lower triangles read): ascending
  /// eigenvalues into lambda, B-orthonormal eigenvectors into X. this and B are left as they were.
  void SolveEigenproblemSymmetric(const QORMtxBlaMatrix& B, double* lambda, QORMtxBlaMatrix& X) const;
  /// \brief One line per row, every entry as "%8.2e" followed by a blank.
  void ExportOnFile(const char* path) const;

  bool IsSymmetric() const { return m_property == SYMMETRIC || m_property == SYMMETRIC2; }
  bool IsSkewSymmetric() const { return m_property == SKEWSYMMETRIC; }
  QORMtxProperty Property() const { return m_property; }
  int NumberOfRows() const { return m_dim1; }
  int NumberOfColumns() const { return m_dim2; }
  int GetOffset() const { return m_offset; }
  const double* Values() const { return m_values; }
  double* Values() { return m_values; }

 private:
  QORMtxBlaMatrix(double* values, cow_Counter* counter, int offset, int rows, int cols, bool owns);
  double& At(int i, int j) const { return m_values[i + static_cast<long long>(m_offset) * j]; }
  bool Structured() const { return m_property != GENERAL; }
  /// Copies the computed triangle of the leading square part onto the other, negated when skew-symmetric.
  void SetSymmetricResults();
  /// Calls update(j, i0, i1) for the rows i0 … i1 - 1 of each column j that the property keeps, then mirrors.
  template <class Update>
  void UpdateKeptPart(Update update);
  void Release();

  double* m_values;
  bool m_ownsValues;
  int m_offset;
  int m_dim1;
  int m_dim2;
  QORMtxProperty m_property;
  bool m_tall;
  cow_Counter* m_counter;
};
