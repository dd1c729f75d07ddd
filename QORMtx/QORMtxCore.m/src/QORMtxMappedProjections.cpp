// QORMtxMappedOperations: energy products, projections onto a subspace and the small-subspace projector.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

#include "QORMtxAssert.h"
#include "QORMtxBLA.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMappedKernels.h"
#include "QORMtxMappedOperations.h"
#include "QORMtxMatrix.h"
#include "QORMtxOrdinalPairs.h"
#include "QORMtxScratchDenseMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxTimer.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "omi_IntTable.h"
#include "omi_Set.h"

using namespace qormtx_mapped;

namespace {

// The scratch product T of a data-store projection: rows 4096 and columns 32 per block.
constexpr int kScratchRowChunk = 4096;
constexpr int kScratchColChunk = 32;

// products[k·inc] = beta·products[k·inc] for the m products (beta = 0 never reads them).
void ScaleProducts(int m, double beta, double* products, int inc) {
  if (beta == 1.0 || m <= 0) return;
  if (beta == 0.0) {
    const double zero = 0.0;
    const int none = 0;
    blac_dcopy(&m, &zero, &none, products, &inc);
  } else {
    blac_dscal(&m, &beta, products, &inc);
  }
}

// The energy products once the rows of A have found their vector rows (rowOf[i] for row i of A): gather the rows
// that A needs, one matrix product, m dot products. V given transposed holds the vectors as its rows; V that is
// U is gathered once.
void EnergyCore(double alpha, const QORMtxMatrix& A, const std::vector<int>& rowOf, const QORMtxMatrix& U,
                const QORMtxMatrix& V, bool transpV, double beta, double* products, int inc) {
  const int nA = A.NumberOfRows(), m = U.NumberOfColumns();
  std::vector<double> ug(Count(nA, m)), w(Count(nA, m)), vg;
  const int ldU = U.NumberOfRows(), ldV = V.NumberOfRows();
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < nA; ++i) ug[Count(nA, j) + i] = U.Values()[Count(ldU, j) + rowOf[i]];
  const double* g = ug.data();
  if (&V != &U) {
    vg.resize(Count(nA, m));
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < nA; ++i)
        vg[Count(nA, j) + i] = transpV ? V.Values()[Count(ldV, rowOf[i]) + j] : V.Values()[Count(ldV, j) + rowOf[i]];
    g = vg.data();
  }
  if (nA > 0 && m > 0) {
    const char n = 'N';
    const double one = 1.0, zero = 0.0;
    blac_dgemm(&n, &n, &nA, &m, &nA, &one, A.Values(), &nA, ug.data(), &nA, &zero, w.data(), &nA);
  }
  const int inc1 = 1;
  for (int k = 0; k < m; ++k) {
    const double d = nA > 0 ? blac_ddot(&nA, w.data() + Count(nA, k), &inc1, g + Count(nA, k), &inc1) : 0.0;
    double& p = products[static_cast<size_t>(k) * inc];
    p = beta == 0.0 ? alpha * d : beta * p + alpha * d;
  }
}

std::vector<int> RowsOf(const omi_IntTable<int>& map, int nA) {
  std::vector<int> rowOf(static_cast<size_t>(nA));
  for (int i = 0; i < nA; ++i) rowOf[i] = map[i];  // a row of A without its vector row is fatal in the lookup
  return rowOf;
}

std::vector<int> Members(const omi_Set& set) {
  QORBasVector<int> v;
  set.Members(v);
  return std::vector<int>(v.begin(), v.end());
}

// Ordinals that carry a nonzero row of K and belong to the domain of set, ascending.
QORBasVector<int> RowsWorkedOn(const omi_Set& nonzeroRows, const QORSimCSetID& set) {
  omi_Set domain;
  QORMtxUtilities::GetDomain(set, domain);
  QORBasVector<int> rows;
  for (int o : Members(nonzeroRows))
    if (domain.IsMember(o)) rows.push_back(o);
  return rows;
}

void PrintTimes(double tMultiply, double tTranspose);

// T = K·B2, then C = B1ᵀ·T, both timed (C stored or in core).
template <class Result>
void ProjectThrough(QORMtxDenseMatrix& T, const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K,
                    const QORMtxDenseMatrix& B2, Result& C, int sym) {
  QORMtxTimer timer;
  timer.Start();
  QORMtxMappedOperations::Multiply(K, B2, T, false);
  const double tMultiply = timer.Stop().wall;
  timer.Start();
  QORMtxMappedOperations::Multiply(B1, T, C, true, sym);
  PrintTimes(tMultiply, timer.Stop().wall);
}

void PrintTimes(double tMultiply, double tTranspose) {
  if (!QORMtxUtilities::Debug()) return;
  std::fprintf(stderr, "\n");
  std::fprintf(stderr, "QORMtxMappedOperations::Project() :\n");
  std::fprintf(stderr, "t_Multiply         = %f\n", tMultiply);
  std::fprintf(stderr, "t_TransposeMultiply= %f\n", tTranspose);
  std::fprintf(stderr, "t_Total            = %f\n", tMultiply + tTranspose);
}

}  // namespace

// ---- Energy products ----

namespace {
// The ordinal forms of EnergyProduct and EnergyProductTransp: checks in order, the alpha = 0 shortcut, the map.
void EnergyByOrdinals(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& mtxDofs, const QORMtxMatrix& U,
                      const QORMtxMatrix& V, const QORBasVector<int>& vecDofs, bool transpV, double beta,
                      double* products, int incProducts) {
  QORMTX_ASSERT(!!A && !!U && !!V && "Matrix is not defined");
  QORMTX_ASSERT(A.IsSquare() && !A.IsDiagonal() && "Matrix type not supported");
  const int nA = A.NumberOfRows(), nU = U.NumberOfRows(), m = U.NumberOfColumns();
  QORMTX_ASSERT(nU >= nA);
  if (transpV) {
    QORMTX_ASSERT(nU == V.NumberOfColumns() && "U and V must have same dimensions");
    QORMTX_ASSERT(m == V.NumberOfRows() && "U and V must have same dimensions");
  } else {
    QORMTX_ASSERT(nU == V.NumberOfRows() && "U and V must have same dimensions");
    QORMTX_ASSERT(m == V.NumberOfColumns() && "U and V must have same dimensions");
  }
  QORMTX_ASSERT(mtxDofs.size() == nA && vecDofs.size() == nU && "Ordinals must be sized as matrix rows");
  QORMTX_ASSERT(products && "Null pointer");
  QORMTX_ASSERT(incProducts > 0 && "Increment must be positive");
  if (alpha == 0.0) return ScaleProducts(m, beta, products, incProducts);
  omi_IntTable<int> mapMatVec;
  QORMtxUtilities::MapIntVectors(mtxDofs, vecDofs, mapMatVec);
  QORMTX_ASSERT(mapMatVec.Size() == nA && "Mapping operation failed; probably, vector DOFs are not sufficient");
  EnergyCore(alpha, A, RowsOf(mapMatVec, nA), U, V, transpV, beta, products, incProducts);
}
}  // namespace

void QORMtxMappedOperations::EnergyProduct(double alpha, const QORMtxMatrix& A, const QORBasVector<int>& mtxDofs,
                                           const QORMtxMatrix& U, const QORMtxMatrix& V,
                                           const QORBasVector<int>& vecDofs, double beta, double* products,
                                           int incProducts) {
  EnergyByOrdinals(alpha, A, mtxDofs, U, V, vecDofs, false, beta, products, incProducts);
}

void QORMtxMappedOperations::EnergyProduct(double alpha, const QORMtxMatrix& A, const QORBasVector<int>&,
                                           const QORMtxMatrix& U, const QORMtxMatrix& V, const omi_IntTable<int>& map,
                                           double beta, double* products, int incProducts) {
  QORMTX_ASSERT(!!A && !!U && !!V && "Matrix is not defined");
  QORMTX_ASSERT(A.IsSquare() && !A.IsDiagonal() && "Matrix type not supported");
  const int nA = A.NumberOfRows(), nU = U.NumberOfRows(), m = U.NumberOfColumns();
  QORMTX_ASSERT(nU >= nA);
  QORMTX_ASSERT(m == V.NumberOfColumns());
  QORMTX_ASSERT(products && "Null pointer");
  QORMTX_ASSERT(incProducts > 0 && "Increment must be positive");
  if (alpha == 0.0) return ScaleProducts(m, beta, products, incProducts);
  EnergyCore(alpha, A, RowsOf(map, nA), U, V, false, beta, products, incProducts);
}

void QORMtxMappedOperations::EnergyProductTransp(double alpha, const QORMtxMatrix& A,
                                                 const QORBasVector<int>& mtxDofs, const QORMtxMatrix& U,
                                                 const QORMtxMatrix& V, const QORBasVector<int>& vecDofs, double beta,
                                                 double* products, int incProducts) {
  EnergyByOrdinals(alpha, A, mtxDofs, U, V, vecDofs, true, beta, products, incProducts);
}

void QORMtxMappedOperations::EnergyProductTransp(double alpha, const QORMtxMatrix& A, const QORBasVector<int>&,
                                                 const QORMtxMatrix& U, const QORMtxMatrix& V,
                                                 const omi_IntTable<int>& map, double beta, double* products,
                                                 int incProducts) {
  QORMTX_ASSERT(!!A && !!U && !!V && A.IsSquare() && !A.IsDiagonal());
  const int nA = A.NumberOfRows(), nU = U.NumberOfRows(), nV = V.NumberOfColumns(), m = U.NumberOfColumns();
  QORMTX_ASSERT(nU >= nA && nU == nV);
  QORMTX_ASSERT(m == V.NumberOfRows());
  QORMTX_ASSERT(products);
  QORMTX_ASSERT(incProducts > 0);
  if (alpha == 0.0) return ScaleProducts(m, beta, products, incProducts);
  EnergyCore(alpha, A, RowsOf(map, nA), U, V, true, beta, products, incProducts);
}

void QORMtxMappedOperations::EnergyProduct(const QORMtxMatrix& A, const QORBasVector<int>& ordinalsA,
                                           const QORMtxMatrix& B, const QORBasVector<int>& ordinalsB,
                                           double* products, int) {
  QORMTX_ASSERT(!!A && !!B && "Matrix is not defined");
  QORMTX_ASSERT(A.IsSquare() && !A.IsDiagonal() && "Matrix type is not supported");
  const int nA = A.NumberOfRows(), nB = B.NumberOfRows();
  QORMTX_ASSERT(ordinalsA.size() == nA && ordinalsB.size() == nB && "Ordinals are not defined");
  QORMTX_ASSERT(products && "Null pointer");
  omi_IntTable<int> mapAB;
  QORMtxUtilities::MapIntVectors(ordinalsA, ordinalsB, mapAB);
  QORMTX_ASSERT(mapAB.Size() == nA && "Mapping operation failed");
  EnergyCore(1.0, A, RowsOf(mapAB, nA), B, B, false, 0.0, products, 1);
}

void QORMtxMappedOperations::EnergyProduct(const QORMtxSparseMatrix& A, const QORMtxDenseMatrix& B,
                                           double* products) {
  QORMTX_ASSERT(!!B);
  QORMTX_ASSERT(products);
  QORMTX_ASSERT(A.IsPerfectlySquare());
  const int m = B.NumberOfColumns();
  std::fill(products, products + std::max(m, 0), 0.0);
  // The rows of A with nonzero entries, paired with B's rows; A is perfectly square, so one numbering serves its
  // rows and its columns.
  omi_Set rowsA, colsA;
  NonZeroDomain(A, rowsA, colsA);
  const std::vector<int> ordA = SparseOrdinals(A, false), ordB = SetOrdinals(B.RowCSetID());
  std::vector<int> domainOrd;
  for (int o : ordA) domainOrd.push_back(rowsA.IsMember(o) ? o : -1);
  const QORMtxOrdinalPairs pairs = QORMtxOrdinalPairs::FromArrays(
      domainOrd.data(), static_cast<int>(domainOrd.size()), ordB.data(), static_cast<int>(ordB.size()));
  const int p = pairs.Size();
  if (p == 0 || m == 0) return;
  std::vector<int> pairOf(ordA.size(), -1);
  for (int k = 0; k < p; ++k) pairOf[pairs.Source(k)] = k;
  const PairedEntries product(A, false, pairOf, pairOf);
  // Slices of a few columns, turned row-major so that every update of the product is one short contiguous stream.
  std::vector<double> rowMajor(Count(p, kSliceColumns)), w(Count(p, kSliceColumns));
  const std::vector<int> cols = Iota(0, m);
  // The driver's slices run along B's columns here, each p × len band in its buffer.
  ForEachSlice(Slices(m, kSliceColumns), p, [&](int c0, int len, double* band) {
    MoveBlock(false, B, pairs.Targets(), p, cols.data() + c0, len, band);
    TransposeInto(band, p, len, rowMajor.data());
    std::fill(w.begin(), w.begin() + Count(p, len), 0.0);
    product.Apply(1.0, rowMajor.data(), static_cast<size_t>(len), 1, w.data(), static_cast<size_t>(len), 1, len);
    for (int i = 0; i < p; ++i)
      for (int t = 0; t < len; ++t) products[c0 + t] += w[Count(i, len) + t] * rowMajor[Count(i, len) + t];
  });
}

// ---- Domains ----

void QORMtxMappedOperations::NonZeroDomain(const QORMtxSparseMatrix& K, omi_Set& rows, omi_Set& cols) {
  rows.Clear();
  cols.Clear();
  // Flags first, then one insertion per row and column: far fewer set operations than one per entry.
  QORBasVector<bool> rowFlags, colFlags;
  NonZeroRowCol(K, rowFlags, colFlags);
  const std::vector<int> rowOrd = SparseOrdinals(K, false), colOrd = SparseOrdinals(K, true);
  for (int r = 0; r < rowFlags.size(); ++r)
    if (rowFlags[r]) rows.Insert(rowOrd[r]);
  for (int c = 0; c < colFlags.size(); ++c)
    if (colFlags[c]) cols.Insert(colOrd[c]);
}

void QORMtxMappedOperations::NonZeroRowCol(const QORMtxSparseMatrix& K, QORBasVector<bool>& rowFlags,
                                           QORBasVector<bool>& colFlags) {
  rowFlags.clear();
  colFlags.clear();
  rowFlags.resize(K.NumberOfRows(), false);
  colFlags.resize(K.NumberOfColumns(), false);
  for (QORMtxSparseMatrixIterator it(K); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (e.m_value == 0.0) continue;
    rowFlags[e.m_row] = true;
    colFlags[e.m_col] = true;
    if (it.IsSymmetric() && e.m_row != e.m_col) {
      rowFlags[e.m_col] = true;
      colFlags[e.m_row] = true;
    }
  }
}

// ---- Projections ----

void QORMtxMappedOperations::Project(const QORMtxMatrix& B1, const QORBasVector<int>& rowOrdinalsB1,
                                     const QORMtxSparseMatrix& K, const QORMtxMatrix& B2,
                                     const QORBasVector<int>& rowOrdinalsB2, QORMtxMatrix& C, int sym) {
  QORMTX_ASSERT(C.NumberOfRows() == B1.NumberOfColumns() && C.NumberOfColumns() == B2.NumberOfColumns());
  QORMTX_ASSERT(B1.NumberOfRows() == rowOrdinalsB1.size());
  QORMTX_ASSERT(B2.NumberOfRows() == rowOrdinalsB2.size());
  if (B1.NumberOfRows() == 0 || B2.NumberOfColumns() == 0) {
    QORMtxBLA::Assign(0.0, C, 0);
    return;
  }
  // T starts at zero, so that rows of B1 that K does not reach (or nothing pairing at all) contribute nothing.
  QORMtxMatrix T(B1.NumberOfRows(), B2.NumberOfColumns(), QORMtxMatrix::UNKNOWN);
  QORMtxBLA::Assign(0.0, T, 0);
  Multiply(K, B2, rowOrdinalsB2, T, rowOrdinalsB1, false);
  B1.TransposeMultiply(T, C, sym, 0);
  if (sym != 0) C.SetSymmetricResults();
}

void QORMtxMappedOperations::Project(const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K,
                                     const QORMtxDenseMatrix& B2, QORMtxDenseMatrix& C, int sym) {
  omi_Set rowsK, colsK;
  NonZeroDomain(K, rowsK, colsK);
  const QORBasVector<int> rows = RowsWorkedOn(rowsK, B1.RowCSetID());
  omi_Set colsC, colsB2;
  QORMtxUtilities::GetDomain(C.ColumnCSetID(), colsC);
  QORMtxUtilities::GetDomain(B2.ColumnCSetID(), colsB2);
  QORBasVector<int> cols;
  for (int o : Members(colsC))
    if (colsB2.IsMember(o)) cols.push_back(o);
  if (rows.empty() || cols.empty()) return;
  QORMtxScratchDenseMatrix T(rows, cols, kScratchRowChunk, kScratchColChunk, 0);
  ProjectThrough(T, B1, K, B2, C, sym);
}

void QORMtxMappedOperations::Project(const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K,
                                     const QORMtxDenseMatrix& B2, QORMtxMatrix& C, int sym) {
  const int n = B1.NumberOfColumns();
  QORMTX_ASSERT(n == B2.NumberOfColumns());
  if (C.NumberOfRows() == 0 && C.NumberOfColumns() == 0) C.Reset(n, n, QORMtxMatrix::UNKNOWN);
  QORMTX_ASSERT(C.NumberOfRows() == n && C.NumberOfColumns() == n);
  omi_Set rowsK, colsK;
  NonZeroDomain(K, rowsK, colsK);
  const QORBasVector<int> rows = RowsWorkedOn(rowsK, B1.RowCSetID());
  if (rows.empty()) {
    QORMtxBLA::Assign(0.0, C, 0);
    return;
  }
  QORMtxScratchDenseMatrix T(rows, B2.ColumnCSetID(), kScratchRowChunk, kScratchColChunk);
  ProjectThrough(T, B1, K, B2, C, sym);
}

void QORMtxMappedOperations::Project(const QORMtxDenseMatrix& B1, const QORMtxSparseMatrix& K,
                                     const QORMtxMatrix& B2, QORBasVector<int>& rowOrdinals, QORMtxMatrix& C,
                                     int sym) {
  QORMTX_ASSERT(C.NumberOfRows() == B1.NumberOfColumns() && C.NumberOfColumns() == B2.NumberOfColumns());
  QORBasVector<int> ordB1;
  QORMtxUtilities::GetOrdinals(B1.RowCSetID(), ordB1);
  omi_Set domain;
  QORMtxUtilities::GetDomain(B1.RowCSetID(), domain);
  int p = static_cast<int>(ordB1.size()) - 1;
  while (p >= 0 && !domain.IsMember(ordB1[p])) --p;
  if (p < 0 || B1.NumberOfColumns() == 0) {
    QORMtxBLA::Assign(0.0, C, 0);
    return;
  }
  const std::unique_ptr<QORMtxDenseMatrix> V(B1.Submatrix(0, p, 0, B1.NumberOfColumns() - 1));
  ordB1.resize(p + 1);
  QORMtxMatrix T(p + 1, B2.NumberOfColumns(), QORMtxMatrix::UNKNOWN);
  QORMtxBLA::Assign(0.0, T, 0);
  Multiply(K, B2, rowOrdinals, T, ordB1, false);
  V->TransposeMultiply(T, C, sym);
  if (sym != 0) C.SetSymmetricResults();
}

void QORMtxMappedOperations::Project(const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B, QORMtxDenseMatrix& C,
                                     int sym) {
  Project(B, K, B, C, sym);
}

void QORMtxMappedOperations::Project(const QORMtxSparseMatrix& K, const QORMtxDenseMatrix& B, QORMtxMatrix& C,
                                     int sym) {
  Project(B, K, B, C, sym);
}

void QORMtxMappedOperations::SmallSubspaceProjector(const QORMtxSparseMatrix& K, const QORMtxMatrix& B,
                                                    const QORBasVector<int>& rowOrdinalsB, QORMtxMatrix& V,
                                                    const QORBasVector<int>& rowOrdinalsV, bool complement) {
  QORMTX_ASSERT(!!B && !!V);
  const int numRowsV = V.NumberOfRows(), numRowsB = B.NumberOfRows(), m = B.NumberOfColumns();
  QORMTX_ASSERT(numRowsV == rowOrdinalsV.size());
  QORMTX_ASSERT(numRowsB == rowOrdinalsB.size());
  QORMtxMatrix M(m, m, QORMtxMatrix::SYMM);
  const bool emptyK = K.IsNull();
  if (emptyK) {
    QORMtxBLA::Multiply(1.0, B, QORMtxBLA::TRANS, B, QORMtxBLA::NOOP, 0.0, M, QORMtxBLA::SYMM, 0);
  } else {
    const bool isSymmetric = K.IsSymmetric();
    QORMTX_ASSERT(isSymmetric);
    Project(B, rowOrdinalsB, K, B, rowOrdinalsB, M, 1);
  }
  // W: B in V's numbering.
  QORMtxMatrix W(numRowsV, m, QORMtxMatrix::UNKNOWN);
  QORMtxBLA::Assign(0.0, W, 0);
  CopyRows(B, rowOrdinalsB.data(), W, rowOrdinalsV.data());
  QORMtxMatrix Y(m, V.NumberOfColumns(), QORMtxMatrix::UNKNOWN), X;
  QORMtxBLA::Multiply(1.0, W, QORMtxBLA::TRANS, V, QORMtxBLA::NOOP, 0.0, Y, QORMtxBLA::UNKNOWN, 0);
  QORMtxBLA::Solve(M, Y, X, 0);  // a singular M shows only in this status, which is passed over
  if (!emptyK) Multiply(K, B, rowOrdinalsB, W, rowOrdinalsV, false);
  QORMtxBLA::Multiply(complement ? -1.0 : 1.0, W, QORMtxBLA::NOOP, X, QORMtxBLA::NOOP, complement ? 1.0 : 0.0, V,
                      QORMtxBLA::UNKNOWN, 0);
}
