// QORMtxAdjacencyMatrix: sparsity pattern without values, rows and columns named by ordinals.
#pragma once
#include <cstdint>

#include "QORBasVector.h"
#include "omi_Set.h"

/// \brief A list of rows, each named by a row ordinal and listing the ordinals of the columns it touches.
///
/// Filled row by row (the immature form: column entries are ordinals, rows in insertion order), then switched by
/// ChangeMaturity to the mature form: columns numbered 0 … NumCols() − 1 in ascending ordinal order, rows sorted by
/// ordinal, column entries holding column indices. Transpose, RowAdjacency and NonAdjSplit make the pattern mature
/// first. Costs are linear in the number of entries (plus the ordinal tables).
class QORMtxAdjacencyMatrix {
 public:
  QORMtxAdjacencyMatrix() = default;
  ~QORMtxAdjacencyMatrix() = default;
  QORMtxAdjacencyMatrix(const QORMtxAdjacencyMatrix&) = default;
  QORMtxAdjacencyMatrix& operator=(const QORMtxAdjacencyMatrix&) = default;

  /// \brief Appends row rowOrd with the numColOrds column ordinals (each plus offset), in their order; a mature
  /// pattern goes back to the immature form first.
  /// Precondition: "colOrds && numColOrds && !m_rowOrdSet.IsMember(rowOrd)".
  void AddRow(int rowOrd, const int* colOrds, int numColOrds, int offset);
  /// \brief Empty and immature.
  void Reset();
  /// \brief Switches between the immature and the mature form.
  void ChangeMaturity();
  bool IsMature() const { return m_mature; }
  /// \brief Sorts the columns of every row ascending (two transpositions).
  void SortColNums();
  /// \brief T = the transpose: T's rows are this pattern's columns and list their rows ascending. Mature.
  void Transpose(QORMtxAdjacencyMatrix& T);
  void Transpose();
  /// \brief R = for each row r, the rows sharing a column with r (r included), ascending, named by their
  /// ordinals, as R's row with r's ordinal (immature).
  void RowAdjacency(QORMtxAdjacencyMatrix& R);
  /// \brief Greedy split of the rows into groups of mutually non-adjacent rows (row indices of the mature
  /// order): each pass walks the unassigned rows ascending, takes a row still available and makes its
  /// neighbours unavailable for the rest of the pass. Precondition: "m_rowOrds == m_colOrds".
  void NonAdjSplit(QORBasVector<QORBasVector<int>>& groups);
  /// \brief The title, then "This adjacency matrix is NULL" or a table: "Ord", "Num" and one column per
  /// column ordinal, "X" where the row touches the column.
  void Print(const char* title) const;

  int NumRows() const { return m_rowOrds.size(); }
  int NumCols() const { return m_mature ? m_colOrds.size() : m_colOrdSet.Size(); }
  int64_t NumNonzeros() const { return m_colNum.size(); }
  bool IsNull() const { return NumRows() == 0; }

  /// \brief Row r's column entries (ordinals or indices by the form) and their count.
  const int* RowColumns(int r, int& n) const {
    n = static_cast<int>(m_rowStarts[r + 1] - m_rowStarts[r]);
    return m_colNum.data() + m_rowStarts[r];
  }
  const QORBasVector<int>& RowOrdinals() const { return m_rowOrds; }
  /// \brief Column ordinal of each column index (mature form only).
  const QORBasVector<int>& ColOrdinals() const { return m_colOrds; }

 private:
  QORBasVector<uint64_t> m_rowStarts;
  QORBasVector<int> m_colNum;
  QORBasVector<int> m_rowOrds;
  QORBasVector<int> m_colOrds;
  omi_Set m_rowOrdSet;
  omi_Set m_colOrdSet;
  bool m_mature = false;
};
