// QORMtxIntMatrix: in-core dense matrix of ints, column-major, owning or viewing its array; stored as an integer
// distribution.
#pragma once

class QORSimDistributionID;

/// \brief Dense int matrix: element (i, j) at i + j·NumberOfRows(). It owns its array (uninitialised, from the
/// throwing base allocation) when it allocated it, and views a caller's array otherwise, never releasing it.
class QORMtxIntMatrix {
 public:
  QORMtxIntMatrix() = default;
  /// \brief numRows × numCols on array (viewed), or owned and uninitialised when array is null.
  QORMtxIntMatrix(int numRows, int numCols, int* array);
  ~QORMtxIntMatrix();
  QORMtxIntMatrix(const QORMtxIntMatrix&) = delete;
  QORMtxIntMatrix& operator=(const QORMtxIntMatrix&) = delete;

  /// \brief Releases an owned array, then as the constructor.
  void Reset(int numRows, int numCols, int* array);
  /// \brief 0 × 0; an owned array is released.
  void Reset();

  int NumberOfRows() const { return m_numRows; }
  int NumberOfColumns() const { return m_numCols; }
  int* Array() { return m_array; }
  const int* Array() const { return m_array; }
  bool OwnsArray() const { return m_ownMem; }
  int& operator()(int i, int j) { return m_array[i + static_cast<long long>(j) * m_numRows]; }
  int operator()(int i, int j) const { return m_array[i + static_cast<long long>(j) * m_numRows]; }

  /// \brief Writes the values into the distribution's one standard integer drawer, whose dimension 0 runs over
  /// the columns and dimension 1 over the rows.
  ///
  /// Preconditions: "!did.IsNull()", "2 == numDim", "1 == drawerDescriptions.Size()", "serType.IsStandard()",
  /// "QORSimRangeType(QORSimIntKey) == range", "dimSizes[0] == m_numCols && dimSizes[1] == m_numRows".
  void Export(const QORSimDistributionID& did) const;
  /// \brief Replaces the matrix by the drawer's values (owned), with the shape of the drawer. The same
  /// preconditions as Export, without the shape.
  void Import(const QORSimDistributionID& did);

 private:
  void Transfer(const QORSimDistributionID& did, bool write);

  int m_numRows = 0;
  int m_numCols = 0;
  int* m_array = nullptr;
  bool m_ownMem = false;
};
