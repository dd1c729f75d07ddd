// QORMtxAdjacencyMatrix: ordinal-named sparsity pattern, its mature indexed form, transposes and greedy splits.
#include "QORMtxAdjacencyMatrix.h"

#include <string>

#include "QORMtxAssert.h"
#include "QORMtxDocument.h"
#include "QORMtxTable.h"
#include "QORMtxUtilities.h"
#include "omi_IntTable.h"

void QORMtxAdjacencyMatrix::AddRow(int rowOrd, const int* colOrds, int numColOrds, int offset) {
  QORMTX_ASSERT(colOrds && numColOrds && !m_rowOrdSet.IsMember(rowOrd));
  if (m_mature) ChangeMaturity();
  if (m_rowStarts.empty()) m_rowStarts.push_back(0);
  m_rowOrds.push_back(rowOrd);
  m_rowOrdSet.Insert(rowOrd);
  for (int k = 0; k < numColOrds; ++k) {
    const int c = offset ? colOrds[k] + offset : colOrds[k];
    m_colNum.push_back(c);
    m_colOrdSet.Insert(c);
  }
  m_rowStarts.push_back(static_cast<uint64_t>(m_colNum.size()));
}

void QORMtxAdjacencyMatrix::Reset() { *this = QORMtxAdjacencyMatrix(); }

void QORMtxAdjacencyMatrix::ChangeMaturity() {
  if (!m_mature) {
    m_colOrdSet.Members(m_colOrds);
    omi_IntTable<int> mapCols;
    for (int k = 0; k < m_colOrds.size(); ++k) mapCols.Insert(m_colOrds[k], k);
    for (int n = 0; n < m_colNum.size(); ++n) QORMTX_ASSERT(mapCols.ConstGetValue(m_colNum[n], m_colNum[n]));

    bool ascending = true;
    for (int r = 1; r < m_rowOrds.size() && ascending; ++r) ascending = m_rowOrds[r - 1] < m_rowOrds[r];
    if (!ascending) {
      const int numRows = m_rowOrds.size();
      QORBasVector<int> rowOrds;
      m_rowOrdSet.Members(rowOrds);
      QORMTX_ASSERT(rowOrds.size() == numRows);
      omi_IntTable<int> newPos;  // new position → old position
      QORMtxUtilities::MapIntVectors(rowOrds, m_rowOrds, newPos);
      QORBasVector<uint64_t> rowStarts(numRows + 1, 0);
      QORBasVector<int> colNum;
      colNum.reserve(m_colNum.size());
      for (int r = 0; r < numRows; ++r) {
        const int old = newPos[r];
        for (uint64_t k = m_rowStarts[old]; k < m_rowStarts[old + 1]; ++k) colNum.push_back(m_colNum[k]);
        rowStarts[r + 1] = static_cast<uint64_t>(colNum.size());
      }
      m_rowStarts.swap(rowStarts);
      m_colNum.swap(colNum);
      m_rowOrds.swap(rowOrds);
    }
  } else {
    for (int n = 0; n < m_colNum.size(); ++n) m_colNum[n] = m_colOrds[m_colNum[n]];
    m_colOrds.Clear();
  }
  m_mature = !m_mature;
}

void QORMtxAdjacencyMatrix::Transpose(QORMtxAdjacencyMatrix& T) {
  if (!m_mature) ChangeMaturity();
  T.Reset();
  const int numCols = m_colOrds.size();
  // Count → prefix sum → scatter; walking the rows in order leaves every row of T ascending.
  T.m_rowStarts.resize(numCols + 1, 0);
  for (int n = 0; n < m_colNum.size(); ++n) ++T.m_rowStarts[m_colNum[n] + 1];
  for (int c = 0; c < numCols; ++c) T.m_rowStarts[c + 1] += T.m_rowStarts[c];
  QORBasVector<uint64_t> cursor(T.m_rowStarts.begin(), T.m_rowStarts.end() - 1);
  T.m_colNum.resize(m_colNum.size());
  for (int r = 0; r < NumRows(); ++r)
    for (uint64_t k = m_rowStarts[r]; k < m_rowStarts[r + 1]; ++k) T.m_colNum[cursor[m_colNum[k]]++] = r;
  T.m_rowOrds = m_colOrds;
  T.m_colOrds = m_rowOrds;
  T.m_rowOrdSet = m_colOrdSet;
  T.m_colOrdSet = m_rowOrdSet;
  T.m_mature = true;
}

void QORMtxAdjacencyMatrix::Transpose() {
  QORMtxAdjacencyMatrix T;
  Transpose(T);
  *this = std::move(T);
}

void QORMtxAdjacencyMatrix::SortColNums() {
  QORMtxAdjacencyMatrix T;
  Transpose(T);
  T.Transpose(*this);
}

void QORMtxAdjacencyMatrix::RowAdjacency(QORMtxAdjacencyMatrix& R) {
  QORMtxAdjacencyMatrix T;
  Transpose(T);
  R.Reset();
  QORBasVector<int> members;
  for (int r = 0; r < NumRows(); ++r) {
    omi_Set adjacent;
    for (uint64_t k = m_rowStarts[r]; k < m_rowStarts[r + 1]; ++k) {
      const int c = m_colNum[k];
      for (uint64_t t = T.m_rowStarts[c]; t < T.m_rowStarts[c + 1]; ++t) adjacent.Insert(T.m_colNum[t]);
    }
    adjacent.Members(members);
    // Rows are sorted by ordinal, so ascending indices are ascending ordinals.
    for (int k = 0; k < members.size(); ++k) members[k] = m_rowOrds[members[k]];
    R.AddRow(m_rowOrds[r], members.data(), members.size(), 0);
  }
}

void QORMtxAdjacencyMatrix::NonAdjSplit(QORBasVector<QORBasVector<int>>& groups) {
  if (!m_mature) ChangeMaturity();
  QORMTX_ASSERT(m_rowOrds == m_colOrds);
  groups.clear();
  const int numRows = NumRows();
  QORBasVector<char> assigned(numRows, 0);
  QORBasVector<char> available(numRows, 0);
  int left = numRows;
  while (left > 0) {
    for (int r = 0; r < numRows; ++r) available[r] = !assigned[r];
    QORBasVector<int> group;
    for (int r = 0; r < numRows; ++r) {
      if (!available[r]) continue;
      group.push_back(r);
      assigned[r] = 1;
      --left;
      for (uint64_t k = m_rowStarts[r]; k < m_rowStarts[r + 1]; ++k) available[m_colNum[k]] = 0;
    }
    if (group.empty()) break;
    groups.push_back(group);
  }
}

void QORMtxAdjacencyMatrix::Print(const char* title) const {
  QORMtxDocument doc(cow_String(""), QORMtxReportEnum::TEXT, aio_cout);
  if (title) {
    doc << cow_String(title);
    doc.Endl();
  }
  if (IsNull()) {
    doc << cow_String("This adjacency matrix is NULL");
    doc.Endl();
    return;
  }
  QORBasVector<int> colOrds;
  m_colOrdSet.Members(colOrds);
  omi_IntTable<int> column;
  for (int k = 0; k < colOrds.size(); ++k) column.Insert(colOrds[k], k);
  int width = 3;
  for (int k = 0; k < colOrds.size(); ++k) width = std::max(width, static_cast<int>(std::to_string(colOrds[k]).size()));
  for (int r = 0; r < m_rowOrds.size(); ++r)
    width = std::max(width, static_cast<int>(std::to_string(m_rowOrds[r]).size()));
  QORMtxTable table(doc);
  table.Format(width);
  table.Out(cow_String("Ord")).Out(cow_String("Num"));
  for (int k = 0; k < colOrds.size(); ++k) table.Out(colOrds[k]);
  table.Endl();
  QORBasVector<char> marks;
  for (int r = 0; r < m_rowOrds.size(); ++r) {
    marks.clear();
    marks.resize(colOrds.size(), 0);
    for (uint64_t k = m_rowStarts[r]; k < m_rowStarts[r + 1]; ++k)
      marks[column[m_mature ? m_colOrds[m_colNum[k]] : m_colNum[k]]] = 1;
    table.Out(m_rowOrds[r]).Out(r);
    for (int k = 0; k < colOrds.size(); ++k) table.Out(cow_String(marks[k] ? "X" : ""));
    table.Endl();
  }
}
