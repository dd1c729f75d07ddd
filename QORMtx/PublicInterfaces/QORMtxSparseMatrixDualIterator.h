// QORMtxSparseMatrixDualIterator: walks two sparse matrices side by side in global (row, column) ordinal order.
#pragma once
#include "QORBasVector.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"

/// \brief Merges the walks of two matrices that live in data-store domains, by the ordinals of their rows and
/// columns: `for (QORMtxSparseMatrixDualIterator it(A, B); !it.IsDone(); it.Next()) ...`.
///
/// Each side's position is the (row ordinal, column ordinal) of its iterator's current entry, with that entry's
/// value; a side that is done stands at (2147483647, 2147483647) with 0.0. The merged position is the smaller row
/// ordinal, and for equal rows the smaller column ordinal. A side's value belongs to the merged position only when
/// its own position equals it (HasFirst(), HasSecond()); a difference A - B is Value1() - Value2() with 0.0 taken
/// for a side that is elsewhere. The merge is exact when each matrix's ordinals ascend with its indices, since each
/// side is walked in index order. Symmetric storage contributes its diagonal and lower entries only, as its walk.
///
/// Preconditions, for each matrix that has entries: "!mtx1.RowCSetID().IsNull() && !mtx1.ColumnCSetID().IsNull()"
/// and "m_rdom1.size() == mtx1.NumberOfRows() && m_cdom1.size() == mtx1.NumberOfColumns()" (the same with 2).
class QORMtxSparseMatrixDualIterator {
 public:
  static constexpr int kEnd = 2147483647;

  /// \brief Fetches both matrices' ordinals and positions on the first merged position.
  QORMtxSparseMatrixDualIterator(const QORMtxSparseMatrix& mtx1, const QORMtxSparseMatrix& mtx2);

  void First();
  /// \brief Advances every side that stands at the merged position.
  void Next();
  /// \brief True once both sides are done.
  bool IsDone() const { return m_row == kEnd; }

  /// \brief Merged position: row and column ordinals.
  int Row() const { return m_row; }
  int Column() const { return m_col; }
  /// \brief First side's position and value.
  int Row1() const { return m_row1; }
  int Column1() const { return m_col1; }
  double Value1() const { return m_value1; }
  /// \brief Second side's position and value.
  int Row2() const { return m_row2; }
  int Column2() const { return m_col2; }
  double Value2() const { return m_value2; }
  /// \brief Whether a side stands at the merged position.
  bool HasFirst() const { return m_row1 == m_row && m_col1 == m_col && m_row1 != kEnd; }
  bool HasSecond() const { return m_row2 == m_row && m_col2 == m_col && m_row2 != kEnd; }

 private:
  static void Side(const QORMtxSparseMatrixIterator& it, const QORBasVector<int>& rdom, const QORBasVector<int>& cdom,
                   int& row, int& col, double& value);
  void Merge();

  QORMtxSparseMatrixIterator m_it1;
  QORMtxSparseMatrixIterator m_it2;
  QORBasVector<int> m_rdom1;
  QORBasVector<int> m_cdom1;
  QORBasVector<int> m_rdom2;
  QORBasVector<int> m_cdom2;
  int m_row1 = kEnd, m_col1 = kEnd;
  int m_row2 = kEnd, m_col2 = kEnd;
  int m_row = kEnd, m_col = kEnd;
  double m_value1 = 0.0;
  double m_value2 = 0.0;
};
