// QORMtxSparseMatrix, transformations (split from QORMtxSparseMatrix.cpp for size): congruence, difference,
// transposes, permutations and column renumbering.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "QORMtxAssert.h"
#include "QORMtxSortInt.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixArrays.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "mem_Alloc.h"

using namespace qormtx_sparse;

namespace {

// The row starts are unsigned in the matrix and int in the kernel; the same bits as long as a matrix holds fewer
// than 2^31 values, which its int nonzero count guarantees.
int* AsInt(unsigned* p) { return reinterpret_cast<int*>(p); }

// inv[perm[i]] = i for the n new indices i.
std::vector<int> Inverse(const int* perm, int n) {
  std::vector<int> inv(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) inv[perm[i]] = i;
  return inv;
}

// Replaces each of the nnz column indices by the position of its column in the ascending list used[0..n).
void RenumberColumns(int* colI, int nnz, int numCols, const unsigned* used, int n) {
  std::vector<int> position(static_cast<size_t>(numCols), -1);
  for (int i = 0; i < n; ++i) position[used[i]] = i;
  for (int k = 0; k < nnz; ++k) colI[k] = position[colI[k]];
}

// Collects the entries of M scaled by sign into D; symmetric storage contributes both mirrors of an off-diagonal
// entry, so that D holds the full matrix.
void AddScaled(QORMtxSparseMatrix& D, const QORMtxSparseMatrix& M, double sign, bool grow) {
  for (QORMtxSparseMatrixIterator it(M); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    D.AddData(e.m_row, e.m_col, sign * e.m_value, grow);
    if (it.IsSymmetric() && e.m_row != e.m_col) D.AddData(e.m_col, e.m_row, sign * e.m_value, grow);
  }
}

}  // namespace

// ================================================================================================================
// Congruence and difference
// ================================================================================================================

// this = Tᵀ·(this·T) by two two-phase products: each phase counts the result rows first (request 1) so that the
// result arrays are allocated exactly once, then fills them (request 2). The kernel is 1-based. Preconditions
// "m_numRows == m_numCols && m_diagonal == NULL", "m_numRows == T.m_numRows && m_numRows == T.m_numCols &&
// T.m_diagonal == NULL", "m_assemblyComplete && T.m_assemblyComplete", "0 < m_numRows && 0 < m_numNonzeros".
// Cost: the nonzeros of this·T in scratch, besides the result. T is converted only when it is 0-based (first row
// start 0), so a T left 1-based by restoreT false is used as it stands; it must not be read as a matrix meanwhile.
void QORMtxSparseMatrix::ApplyTransformation(QORMtxSparseMatrix& T, bool restoreT) {
  QORMTX_ASSERT(m_numRows == m_numCols && m_diagonal == NULL);
  QORMTX_ASSERT(m_numRows == T.m_numRows && m_numRows == T.m_numCols && T.m_diagonal == NULL);
  QORMTX_ASSERT(m_assemblyComplete && T.m_assemblyComplete);
  QORMTX_ASSERT(0 < m_numRows && 0 < m_numNonzeros);
  if (&T == this) {
    // Tᵀ·T·T: the second product overwrites this matrix while it still reads T, so T must be a copy.
    const size_t nnz = static_cast<size_t>(m_numNonzeros);
    Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(m_numRows) + 1));
    Owned<int> colI(NewInt(nnz));
    Owned<double> data(QORMtxUtilities::AllocateDouble(nnz));
    std::memcpy(rowP.get(), m_rowP, sizeof(unsigned) * (static_cast<size_t>(m_numRows) + 1));
    std::memcpy(colI.get(), m_colI, sizeof(int) * nnz);
    std::memcpy(data.get(), m_data, sizeof(double) * nnz);
    QORMtxSparseMatrix copy(rowP.Release(), colI.Release(), data.Release(), nullptr, m_numNonzeros, m_numRows,
                            m_numCols);
    ApplyTransformation(copy, true);
    return;
  }

  ToOneBased();
  if (T.m_rowP[0] == 0) T.ToOneBased();
  const int n = m_numRows;
  const int request1 = 1, request2 = 2, sort = 0, noSize = 0;
  int info = 0;

  // C = this·T.
  Owned<unsigned> cRowP(NewUnsigned(static_cast<size_t>(n) + 1));
  blac_dcsrmultcsr("N", &request1, &sort, &n, &n, &n, m_data, m_colI, AsInt(m_rowP), T.m_data, T.m_colI,
                   AsInt(T.m_rowP), nullptr, nullptr, AsInt(cRowP.get()), &noSize, &info);
  QORMTX_ASSERT(info == 0 && "request 1 C = A * T");
  const int cCount = static_cast<int>(cRowP[n] - 1);
  Owned<int> cColI(NewInt(static_cast<size_t>(cCount)));
  Owned<double> cData(QORMtxUtilities::AllocateDouble(static_cast<size_t>(cCount)));
  blac_dcsrmultcsr("N", &request2, &sort, &n, &n, &n, m_data, m_colI, AsInt(m_rowP), T.m_data, T.m_colI,
                   AsInt(T.m_rowP), cData.get(), cColI.get(), AsInt(cRowP.get()), &cCount, &info);
  QORMTX_ASSERT(info == 0 && "request 2 C = A * T");

  // this = Tᵀ·C: the old values are no longer read, so the result takes this matrix's own arrays (kept when the
  // count is unchanged, the usual case for a transformation that preserves the pattern).
  blac_dcsrmultcsr("T", &request1, &sort, &n, &n, &n, T.m_data, T.m_colI, AsInt(T.m_rowP), cData.get(), cColI.get(),
                   AsInt(cRowP.get()), nullptr, nullptr, AsInt(m_rowP), &noSize, &info);
  QORMTX_ASSERT(info == 0 && "request 1 A = T^ * C");
  const int count = static_cast<int>(m_rowP[n] - 1);
  if (count != m_numNonzeros) {
    // Allocate before releasing, so that a failed allocation leaves the old arrays in place.
    Owned<int> colI(NewInt(static_cast<size_t>(count)));
    Owned<double> data(QORMtxUtilities::AllocateDouble(static_cast<size_t>(count)));
    mem_Free(m_colI);
    if (m_data) QORMtxUtilities::Deallocate(m_data);
    m_colI = colI.Release();
    m_data = data.Release();
    m_numNonzeros = count;
  }
  blac_dcsrmultcsr("T", &request2, &sort, &n, &n, &n, T.m_data, T.m_colI, AsInt(T.m_rowP), cData.get(), cColI.get(),
                   AsInt(cRowP.get()), m_data, m_colI, AsInt(m_rowP), &count, &info);
  QORMTX_ASSERT(info == 0 && "request 2 A = T^ * C");

  ToZeroBased();
  if (restoreT) T.ToZeroBased();
  m_symFlag = e_unknown;
}

// this = A - B in unsymmetric storage: every position stored in A or B is kept, a shared one holds the difference
// (0.0 included). Either all four set identifiers are non-null, or none is ("!rowID_A.IsNull() && ..."); with
// domains the ordinal lists must agree in size ("numRows_A == numRows_B && numCols_A == numCols_B") and element by
// element ("sameRows", "sameCols"). Shape and domain of this matrix are kept; grow true enlarges the shape to
// hold both operands' shapes, grow false requires it to hold their entries. Without a domain this matrix takes
// A's. A or B may be this matrix itself.
void QORMtxSparseMatrix::Subtract(const QORMtxSparseMatrix& A, const QORMtxSparseMatrix& B, bool grow) {
  const QORSimCSetID rowID_A = A.RowCSetID(), colID_A = A.ColumnCSetID();
  const QORSimCSetID rowID_B = B.RowCSetID(), colID_B = B.ColumnCSetID();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wparentheses"
  QORMTX_ASSERT(!rowID_A.IsNull() && !colID_A.IsNull() && !rowID_B.IsNull() && !colID_B.IsNull() ||
                rowID_A.IsNull() && colID_A.IsNull() && rowID_B.IsNull() && colID_B.IsNull());
#pragma GCC diagnostic pop
  if (!rowID_A.IsNull()) {
    QORBasVector<int> rows_A, cols_A, rows_B, cols_B;
    QORMtxUtilities::GetOrdinals(rowID_A, rows_A);
    QORMtxUtilities::GetOrdinals(colID_A, cols_A);
    QORMtxUtilities::GetOrdinals(rowID_B, rows_B);
    QORMtxUtilities::GetOrdinals(colID_B, cols_B);
    const int numRows_A = rows_A.size(), numCols_A = cols_A.size();
    const int numRows_B = rows_B.size(), numCols_B = cols_B.size();
    QORMTX_ASSERT(numRows_A == numRows_B && numCols_A == numCols_B);
    const bool sameRows = std::equal(rows_A.begin(), rows_A.end(), rows_B.begin());
    QORMTX_ASSERT(sameRows);
    const bool sameCols = std::equal(cols_A.begin(), cols_A.end(), cols_B.begin());
    QORMTX_ASSERT(sameCols);
  }

  // When this matrix is an operand its arrays must outlive the walk: the difference is built aside and adopted.
  const bool aliased = this == &A || this == &B;
  QORMtxSparseMatrix aside(m_numRows, m_numCols);
  QORMtxSparseMatrix& D = aliased ? aside : *this;
  D.BeginAssembly(false);
  if (grow) {
    // Growth covers the operands' shapes, not only their entries: A - A on an empty matrix has A's shape even
    // when A's last rows or columns are empty.
    D.m_numRows = std::max({D.m_numRows, A.m_numRows, B.m_numRows});
    D.m_numCols = std::max({D.m_numCols, A.m_numCols, B.m_numCols});
  }
  const auto collected = [](const QORMtxSparseMatrix& M) {
    return M.NumberOfEntries() + (M.Diagonal() ? M.NumberOfNonzeros() : 0);
  };
  D.ReserveEntries(collected(A) + collected(B));
  AddScaled(D, A, 1.0, grow);
  AddScaled(D, B, -1.0, grow);
  D.EndAssembly(false);
  if (aliased) {
    AdoptAssembled(aside);
    m_symFlag = e_unknown;
  }
  if (m_rowSetID.IsNull() && m_colSetID.IsNull() && !rowID_A.IsNull()) SetDomain(rowID_A, colID_A);
}

// ================================================================================================================
// Transposes
// ================================================================================================================

// Count per column, prefix sums, then each old row's entries in order at their column's cursor: every new row's
// columns (the old rows) ascend without a sort. O(nonzeros + columns).
void QORMtxSparseMatrix::TransposeSparseData(double** data, int** colI, unsigned** rowP) const {
  const size_t nnz = static_cast<size_t>(m_numNonzeros);
  Owned<unsigned> tRowP(NewUnsigned(static_cast<size_t>(m_numCols) + 1));
  Owned<int> tColI(NewInt(nnz));
  Owned<double> tData(QORMtxUtilities::AllocateDouble(nnz));
  std::fill(tRowP.get(), tRowP.get() + m_numCols + 1, 0u);
  for (size_t k = 0; k < nnz; ++k) ++tRowP[static_cast<size_t>(m_colI[k]) + 1];
  CountsToStarts(tRowP.get(), static_cast<size_t>(m_numCols));
  // tRowP[c] serves as column c's cursor and ends at column c's end, the next row's start: shift back afterwards.
  for (int r = 0; r < m_numRows; ++r)
    for (unsigned k = m_rowP[r]; k < m_rowP[r + 1]; ++k) {
      const unsigned pos = tRowP[m_colI[k]]++;
      tColI[pos] = r;
      tData[pos] = m_data[k];
    }
  for (int c = m_numCols; c > 0; --c) tRowP[c] = tRowP[c - 1];
  tRowP[0] = 0;
  *data = tData.Release();
  *colI = tColI.Release();
  *rowP = tRowP.Release();
}

// The transposed shape, ordinals and set identifiers. The cached symmetry becomes "unsymmetric" whatever the values:
// IsSymmetric() of a transposed matrix answers false until the next assembly.
void QORMtxSparseMatrix::Transpose() {
  QORMTX_ASSERT(m_assemblyComplete && !m_diagonal);
  double* data = nullptr;
  int* colI = nullptr;
  unsigned* rowP = nullptr;
  TransposeSparseData(&data, &colI, &rowP);
  ReleaseArrays();
  m_data = data;
  m_colI = colI;
  m_rowP = rowP;
  std::swap(m_numRows, m_numCols);
  m_rowOrdinals.swap(m_colOrdinals);
  std::swap(m_rowSetID, m_colSetID);
  m_symFlag = e_unsymmetric;
}

// T = thisᵀ with exchanged ordinals and set identifiers; T's former content is dropped (T may be this matrix).
void QORMtxSparseMatrix::Transpose(QORMtxSparseMatrix& T) const {
  QORMTX_ASSERT(m_assemblyComplete && !m_diagonal);
  double* data = nullptr;
  int* colI = nullptr;
  unsigned* rowP = nullptr;
  TransposeSparseData(&data, &colI, &rowP);
  QORBasVector<int> rowOrdinals(m_colOrdinals), colOrdinals(m_rowOrdinals);
  const QORSimCSetID rowSetID = m_colSetID, colSetID = m_rowSetID;
  const int numNonzeros = m_numNonzeros, numRows = m_numCols, numCols = m_numRows;
  T.Reset(numRows, numCols);
  T.m_data = data;
  T.m_colI = colI;
  T.m_rowP = rowP;
  T.m_numNonzeros = numNonzeros;
  T.m_rowOrdinals.swap(rowOrdinals);
  T.m_colOrdinals.swap(colOrdinals);
  T.m_rowSetID = rowSetID;
  T.m_colSetID = colSetID;
  T.m_symFlag = e_unsymmetric;
  T.m_assemblyComplete = true;
}

// ================================================================================================================
// Permutations
// ================================================================================================================

// B(i, j) = A(perm[i], perm[j]) for a square matrix and a permutation perm of its indices; ordinals and domain
// are not carried over. Symmetric storage stays symmetric: every stored entry keeps standing for itself and its
// mirror, and may therefore lie above the diagonal afterwards.
QORMtxSparseMatrix* QORMtxSparseMatrix::Permute(const int* perm) const {
  QORMTX_ASSERT(m_assemblyComplete);
  const int n = m_numRows;
  const size_t nnz = static_cast<size_t>(m_numNonzeros);
  const std::vector<int> inv = Inverse(perm, n);
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(n) + 1));
  Owned<int> colI(NewInt(nnz));
  Owned<double> data(QORMtxUtilities::AllocateDouble(nnz));
  Owned<double> diagonal(m_diagonal ? QORMtxUtilities::AllocateDouble(static_cast<size_t>(n)) : nullptr);
  QORBasVector<int> sortPerm;
  QORBasVector<double> sortScratch;
  rowP[0] = 0;
  for (int i = 0; i < n; ++i) {
    const unsigned begin = m_rowP[perm[i]], end = m_rowP[perm[i] + 1];
    unsigned pos = rowP[i];
    for (unsigned k = begin; k < end; ++k, ++pos) {
      colI[pos] = inv[m_colI[k]];
      data[pos] = m_data[k];
    }
    rowP[i + 1] = pos;
    SortRow(colI.get() + rowP[i], data.get() + rowP[i], static_cast<int>(end - begin), sortPerm, sortScratch);
    if (m_diagonal) diagonal[i] = m_diagonal[perm[i]];
  }
  return new QORMtxSparseMatrix(rowP.Release(), colI.Release(), data.Release(), diagonal.Release(), m_numNonzeros, n,
                                m_numCols);
}

// As Permute, in this matrix: columns renamed in place, rows moved by one cycle-following reorder of the arrays
// (a position permutation of 4 bytes per value as scratch instead of new arrays of 12).
void QORMtxSparseMatrix::PermuteInPlace(const int* perm) {
  QORMTX_ASSERT(m_assemblyComplete);
  m_symFlag = e_unknown;
  const int n = m_numRows;
  const size_t nnz = static_cast<size_t>(m_numNonzeros);
  const std::vector<int> inv = Inverse(perm, n);
  for (size_t k = 0; k < nnz; ++k) m_colI[k] = inv[m_colI[k]];
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(n) + 1));
  Owned<unsigned> from(NewUnsigned(nnz));
  rowP[0] = 0;
  for (int i = 0; i < n; ++i) {
    unsigned pos = rowP[i];
    for (unsigned k = m_rowP[perm[i]]; k < m_rowP[perm[i] + 1]; ++k) from[pos++] = k;
    rowP[i + 1] = pos;
  }
  InPlaceReorderArrays(m_colI, m_data, from.get(), m_numNonzeros);
  mem_Free(m_rowP);
  m_rowP = rowP.Release();
  QORBasVector<int> sortPerm;
  QORBasVector<double> sortScratch;
  for (int i = 0; i < n; ++i)
    SortRow(m_colI + m_rowP[i], m_data + m_rowP[i], static_cast<int>(m_rowP[i + 1] - m_rowP[i]), sortPerm,
            sortScratch);
  if (m_diagonal) {
    const std::vector<double> old(m_diagonal, m_diagonal + n);
    for (int i = 0; i < n; ++i) m_diagonal[i] = old[perm[i]];
    m_symFlag = e_symmetric;
  }
}

// Old row r becomes row perm[r] (perm maps old to new here, unlike Permute); columns, ordinals and domain are
// unchanged.
void QORMtxSparseMatrix::PermuteRows(const int* perm) {
  QORMTX_ASSERT(!m_diagonal && "QORMtxSparseMatrix::PermuteRows: symmetric not supported");
  m_symFlag = e_unknown;
  if (!m_rowP) return;
  const int n = m_numRows;
  Owned<unsigned> rowP(NewUnsigned(static_cast<size_t>(n) + 1));
  Owned<unsigned> from(NewUnsigned(static_cast<size_t>(m_numNonzeros)));
  rowP[0] = 0;
  for (int r = 0; r < n; ++r) rowP[static_cast<size_t>(perm[r]) + 1] = m_rowP[r + 1] - m_rowP[r];
  CountsToStarts(rowP.get(), static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    unsigned pos = rowP[perm[r]];
    for (unsigned k = m_rowP[r]; k < m_rowP[r + 1]; ++k) from[pos++] = k;
  }
  InPlaceReorderArrays(m_colI, m_data, from.get(), m_numNonzeros);
  mem_Free(m_rowP);
  m_rowP = rowP.Release();
}

// Each cycle of perm is walked once with one saved element, so the reorder needs no second copy of the arrays.
void QORMtxSparseMatrix::InPlaceReorderArrays(int* cols, double* vals, unsigned* perm, int n) const {
  m_symFlag = e_unknown;
  const unsigned count = static_cast<unsigned>(n);
  for (unsigned i = 0; i < count; ++i) {
    if (perm[i] == i) continue;
    const int col = cols[i];
    const double val = vals[i];
    unsigned j = i;
    while (perm[j] != i) {
      const unsigned src = perm[j];
      cols[j] = cols[src];
      vals[j] = vals[src];
      perm[j] = j;
      j = src;
    }
    cols[j] = col;
    vals[j] = val;
    perm[j] = j;
  }
}

// ================================================================================================================
// Column renumbering
// ================================================================================================================

// Used columns renumbered 0.. in ascending order; explicit column ordinals follow ("m_colSetID.IsNull()" then,
// since a set's ordinals cannot be reduced here). A null matrix is left alone.
void QORMtxSparseMatrix::CompressColumns() {
  QORMTX_ASSERT(!m_diagonal && "QORMtxSparseMatrix::CompressColumns() is implemented for unsymetric case only");
  if (IsNull()) return;
  const bool hasOrdinals = m_colOrdinals.size() > 0;
  if (hasOrdinals) QORMTX_ASSERT(m_colSetID.IsNull());
  int n = 0;
  Owned<unsigned> used(FindNontrivialColumns(n));
  RenumberColumns(m_colI, m_numNonzeros, m_numCols, used.get(), n);
  if (hasOrdinals) {
    QORBasVector<int> kept(n);
    for (int i = 0; i < n; ++i) kept[i] = m_colOrdinals[static_cast<int>(used[i])];
    m_colOrdinals.swap(kept);
  }
  if (n != m_numCols) m_symFlag = e_unknown;
  m_numCols = n;
}

// As CompressColumns, also for a null matrix (which ends with 0 columns), ordinals untouched; the returned array
// (the old indices of the kept columns) lets the caller map its own column data. Meant for unsymmetric storage:
// symmetric storage checks nothing here and loses the square shape its diagonal needs.
unsigned* QORMtxSparseMatrix::EliminateTrivialColumns(int& n) {
  unsigned* used = FindNontrivialColumns(n);
  RenumberColumns(m_colI, m_numNonzeros, m_numCols, used, n);
  if (n != m_numCols) m_symFlag = e_unknown;
  m_numCols = n;
  return used;
}
