// QORMtxSparseMatrix, element assembly: a sparse matrix from a family of element matrices on their degrees of freedom.
#include <algorithm>
#include <utility>

#include "QORFsmElementDofs.h"
#include "QORMtxAssert.h"
#include "QORMtxMultiMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "omi_IntTable.h"
#include "omi_Set.h"

QORMtxSparseMatrix::QORMtxSparseMatrix(const QORMtxMultiMatrix& multi, const QORFsmElementDofs& elemDofs,
                                       int columnMode, omi_Set& rows, omi_Set& cols) {
  // What element assembly reads of a multi-matrix (a local class shares the constructor's access).
  class Elements : public ElementMatrices {
   public:
    explicit Elements(const QORMtxMultiMatrix& m) : m_multi(m) {}
    bool IsSymmetric() const override { return m_multi.IsSymmetric(); }
    int NumMatrices() const override { return m_multi.NumMatrices(); }
    int GetId(int k) const override { return m_multi.GetId(k); }
    int NumEntries(int k) const override { return m_multi.NumEntries(k); }
    void GetEntries(int k, int* indices, double* values) const override { m_multi.GetEntries(k, indices, values); }

   private:
    const QORMtxMultiMatrix& m_multi;
  };
  if (!multi.IsNull()) AssembleElmat(Elements(multi), elemDofs, columnMode, rows, cols);
}

// One pass reads each element matrix (a bulk family reads its value stream once, in order) and appends its entries
// on their degrees of freedom; the rows and columns met are then numbered and the entries renumbered in place, so
// the entries are held once, as the assembly holds them anyway.
void QORMtxSparseMatrix::AssembleElmat(const ElementMatrices& multi, const QORFsmElementDofs& elemDofs, int columnMode,
                                       omi_Set& rows, omi_Set& cols) {
  QORMTX_ASSERT(!elemDofs.IsNull());
  const int nelems = multi.NumMatrices();
  const int eldofsize = elemDofs.NumElements();
  QORMTX_ASSERT(nelems <= eldofsize);

  omi_IntTable<int> labelToPos;
  for (int p = 0; p < eldofsize; ++p) labelToPos.Insert(elemDofs.Label(p), p);

  BeginAssembly(false);

  long long total = 0;
  for (int i = 0; i < nelems; ++i) total += std::max(0, multi.NumEntries(i));
  QORMTX_ASSERT(total < 2147483647LL && "element assembly holds at most 2^31 - 1 entries");
  m_entries.Reserve(static_cast<int>(total));

  // A symmetric element matrix stores each off-diagonal pair once, on whichever side its local numbering puts it;
  // with rows and columns numbered alike, the pair goes below the diagonal, where symmetric storage keeps it.
  const bool mirrorToLower = multi.IsSymmetric() && columnMode < 1;
  QORBasVector<int> indices;
  QORBasVector<double> values;
  // The rows and columns met are marked by local index and entered once per element, not once per entry.
  constexpr unsigned char kRow = 1, kCol = 2;
  QORBasVector<unsigned char> met;
  for (int i = 0; i < nelems; ++i) {
    const int* position = labelToPos.Find(multi.GetId(i));
    QORMTX_ASSERT(position && "element matrix label is not in the element dof table");
    int nDof = 0;
    const int* dof = elemDofs.Dofs(*position, nDof);
    const int count = multi.NumEntries(i);
    if (count <= 0) continue;
    indices.resize(count);
    values.resize(count);
    met.resize(nDof, 0);
    multi.GetEntries(i, indices.data(), values.data());
    for (int k = 0; k < count; ++k) {
      const int index = indices[k];
      QORMTX_ASSERT(0 <= index && (columnMode >= 1 || index < nDof * nDof) && "local index outside the element");
      const int localRow = index % nDof, localCol = index / nDof;
      int rowDof = dof[localRow];
      int colDof = columnMode < 1 ? dof[localCol] : localCol;
      if (mirrorToLower) {
        if (rowDof < colDof) std::swap(rowDof, colDof);
        met[localRow] = met[localCol] = kRow | kCol;
      } else {
        met[localRow] |= kRow;
        if (columnMode < 1)
          met[localCol] |= kCol;
        else
          cols.Insert(colDof);
      }
      m_entries.Append(static_cast<unsigned>(rowDof), static_cast<unsigned>(colDof), values[k]);
    }
    for (int l = 0; l < nDof; ++l) {
      if (met[l] & kRow) rows.Insert(dof[l]);
      if (met[l] & kCol) cols.Insert(dof[l]);
      met[l] = 0;
    }
  }

  omi_IntTable<int> rowIndex, colIndex;
  QORBasVector<int> members;
  rows.Members(members);
  for (int r = 0; r < members.size(); ++r) rowIndex.Insert(members[r], r);
  m_numRows = members.size();
  cols.Members(members);
  for (int c = 0; c < members.size(); ++c) colIndex.Insert(members[c], c);
  m_numCols = members.size();

  QORMtxSparseMatrixEntry* entry = m_entries.Data();
  for (int e = 0; e < m_entries.Length(); ++e) {
    entry[e].m_row = static_cast<unsigned>(rowIndex[static_cast<int>(entry[e].m_row)]);
    entry[e].m_col = static_cast<unsigned>(colIndex[static_cast<int>(entry[e].m_col)]);
  }
  EndAssembly(multi.IsSymmetric());
}
