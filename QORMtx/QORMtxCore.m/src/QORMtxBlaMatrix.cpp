// QORMtxBlaMatrix: reference-counted dense matrix, or window into one, in the kernels' column-major layout.
#include "QORMtxBlaMatrix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "QORBasFileOps.h"
#include "QORMtxAssert.h"
#include "QORMtxMatrix.h"
#include "QORMtxTransBlaMtx.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "cow_Counter.h"

namespace {

// Copies a rows × cols block between two column-major arrays with their own leading dimensions.
void CopyBlock(int rows, int cols, const double* from, int ldFrom, double* to, int ldTo) {
  if (rows <= 0) return;
  for (int j = 0; j < cols; ++j)
    std::memcpy(to + static_cast<size_t>(ldTo) * j, from + static_cast<size_t>(ldFrom) * j, sizeof(double) * rows);
}

double* NewValues(int rows, int cols) {
  return QORMtxUtilities::AllocateDouble(static_cast<size_t>(rows) * static_cast<size_t>(cols));
}

}  // namespace

QORMtxBlaMatrix::QORMtxBlaMatrix(QORMtxMatrix& M, QORMtxProperty property)
    : m_values(M.Values()),
      m_ownsValues(false),
      m_offset(M.NumberOfRows()),
      m_dim1(M.NumberOfRows()),
      m_dim2(M.NumberOfColumns()),
      m_property(property),
      m_tall(m_dim2 <= m_dim1),
      m_counter(new cow_Counter(m_values)) {}

QORMtxBlaMatrix::QORMtxBlaMatrix(int rows, int cols, const double* values, QORMtxProperty property)
    : m_values(NewValues(rows, cols)),
      m_ownsValues(true),
      m_offset(rows),
      m_dim1(rows),
      m_dim2(cols),
      m_property(property),
      m_tall(cols <= rows),
      m_counter(nullptr) {
  std::unique_ptr<double, void (*)(double*)> guard(m_values, [](double* p) {
    if (p) QORMtxUtilities::Deallocate(p);
  });
  m_counter = new cow_Counter(m_values);
  guard.release();
  const size_t n = static_cast<size_t>(rows) * static_cast<size_t>(cols);
  if (values)
    std::memcpy(m_values, values, sizeof(double) * n);
  else
    std::fill(m_values, m_values + n, 0.0);
}

QORMtxBlaMatrix::QORMtxBlaMatrix(const QORMtxBlaMatrix& rhs)
    : QORMtxBlaMatrix(rhs.m_dim1, rhs.m_dim2, nullptr, rhs.m_property) {
  CopyBlock(m_dim1, m_dim2, rhs.m_values, rhs.m_offset, m_values, m_offset);
}

QORMtxBlaMatrix::QORMtxBlaMatrix(double* values, cow_Counter* counter, int offset, int rows, int cols, bool owns)
    : m_values(values),
      m_ownsValues(owns),
      m_offset(offset),
      m_dim1(rows),
      m_dim2(cols),
      m_property(GENERAL),
      m_tall(cols <= rows),
      m_counter(counter) {
  m_counter->Increment();
}

QORMtxBlaMatrix::~QORMtxBlaMatrix() { Release(); }

void QORMtxBlaMatrix::Release() {
  if (!m_counter->Decrement()) return;
  // The last holder frees the allocation itself, wherever in it this window starts.
  if (m_ownsValues) {
    double* allocation = static_cast<double*>(m_counter->Allocation());
    if (allocation) QORMtxUtilities::Deallocate(allocation);
  }
  delete m_counter;
  m_counter = nullptr;
}

QORMtxBlaMatrix& QORMtxBlaMatrix::operator=(const QORMtxBlaMatrix& rhs) {
  if (&rhs == this) return *this;
  QORMTX_ASSERT(m_dim1 == rhs.NumberOfRows() && m_dim2 == rhs.NumberOfColumns());
  m_property = rhs.m_property;
  CopyBlock(m_dim1, m_dim2, rhs.m_values, rhs.m_offset, m_values, m_offset);
  return *this;
}

QORMtxBlaMatrix& QORMtxBlaMatrix::operator=(double value) {
  for (int j = 0; j < m_dim2; ++j) std::fill(&At(0, j), &At(0, j) + m_dim1, value);
  return *this;
}

QORMtxBlaMatrix* QORMtxBlaMatrix::Submatrix(int startRow, int endRow, int startCol, int endCol) const {
  QORMTX_ASSERT(startRow>=0 && startCol>=0);
  QORMTX_ASSERT(endRow<m_dim1 && endCol<m_dim2);
  QORMTX_ASSERT(startRow<=endRow && startCol<=endCol);
  return new QORMtxBlaMatrix(&At(startRow, startCol), m_counter, m_offset, endRow - startRow + 1, endCol - startCol + 1,
                             m_ownsValues);
}

// ---- Windows in and out ----

void QORMtxBlaMatrix::GetValues(int startRow, int lastRow, int startCol, int lastCol,
                                QORMtxBlaMatrix& dimMatrix) const {
  QORMTX_ASSERT(startRow>=0 && startCol>=0);
  QORMTX_ASSERT(lastRow < m_dim1 && lastCol< m_dim2);
  QORMTX_ASSERT(lastRow >= startRow && lastCol >= startCol);
  QORMTX_ASSERT(dimMatrix.NumberOfRows() == lastRow-startRow+1);
  QORMTX_ASSERT(dimMatrix.NumberOfColumns() == lastCol-startCol+1);
  CopyBlock(dimMatrix.m_dim1, dimMatrix.m_dim2, &At(startRow, startCol), m_offset, dimMatrix.m_values,
            dimMatrix.m_offset);
}

void QORMtxBlaMatrix::GetValues(int startRow, int lastRow, int startCol, int lastCol, double* out) const {
  QORMTX_ASSERT(startRow>=0 && startCol>=0);
  QORMTX_ASSERT(lastRow < m_dim1 && lastCol< m_dim2);
  QORMTX_ASSERT(lastRow >= startRow && lastCol >= startCol);
  const int rows = lastRow - startRow + 1;
  CopyBlock(rows, lastCol - startCol + 1, &At(startRow, startCol), m_offset, out, rows);
}

void QORMtxBlaMatrix::SetValues(int startRow, int lastRow, int startCol, int lastCol,
                                const QORMtxBlaMatrix& dimMatrix) {
  QORMTX_ASSERT(startRow>=0 && startCol>=0);
  QORMTX_ASSERT(lastRow < m_dim1 && lastCol< m_dim2);
  QORMTX_ASSERT(lastRow >= startRow && lastCol >= startCol);
  QORMTX_ASSERT(dimMatrix.NumberOfRows() == lastRow-startRow+1);
  QORMTX_ASSERT(dimMatrix.NumberOfColumns() == lastCol-startCol+1);
  CopyBlock(dimMatrix.m_dim1, dimMatrix.m_dim2, dimMatrix.m_values, dimMatrix.m_offset, &At(startRow, startCol),
            m_offset);
}

void QORMtxBlaMatrix::SetValues(int startRow, int lastRow, int startCol, int lastCol, const double* in) {
  QORMTX_ASSERT(startRow>=0 && startCol>=0);
  QORMTX_ASSERT(lastRow < m_dim1 && lastCol< m_dim2);
  QORMTX_ASSERT(lastRow >= startRow && lastCol >= startCol);
  const int rows = lastRow - startRow + 1;
  CopyBlock(rows, lastCol - startCol + 1, in, rows, &At(startRow, startCol), m_offset);
}

void QORMtxBlaMatrix::SetDiagonal(const double* d) {
  for (int i = 0; i < std::min(m_dim1, m_dim2); ++i) At(i, i) = d[i];
}

// ---- Updates: a structured matrix computes the triangle it keeps (lower when tall), then mirrors ----

void QORMtxBlaMatrix::SetSymmetricResults() {
  const int n = std::min(m_dim1, m_dim2);
  const double sign = m_property == SKEWSYMMETRIC ? -1.0 : 1.0;
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) {
      if (m_tall)
        At(j, i) = sign * At(i, j);
      else
        At(i, j) = sign * At(j, i);
    }
}

template <class Update>
void QORMtxBlaMatrix::UpdateKeptPart(Update update) {
  // A structured matrix updates rows j … of column j when tall, rows … j otherwise, then mirrors.
  const bool structured = Structured();
  for (int j = 0; j < m_dim2; ++j) {
    const int i0 = structured && m_tall ? j : 0;
    const int i1 = structured && !m_tall ? std::min(j + 1, m_dim1) : m_dim1;
    update(j, i0, i1);
  }
  if (structured) SetSymmetricResults();
}

void QORMtxBlaMatrix::Add(double alpha, const QORMtxBlaMatrix& rhs) {
  QORMTX_ASSERT((m_dim1 == rhs.m_dim1) && (m_dim2 == rhs.m_dim2));
  if (alpha == 0.0) return;
  UpdateKeptPart([&](int j, int i0, int i1) {
    double* to = &At(0, j);
    const double* from = &rhs.At(0, j);
    if (alpha == 1.0)
      for (int i = i0; i < i1; ++i) to[i] += from[i];
    else if (alpha == -1.0)
      for (int i = i0; i < i1; ++i) to[i] -= from[i];
    else
      for (int i = i0; i < i1; ++i) to[i] += alpha * from[i];
  });
}

void QORMtxBlaMatrix::Multiply(double s) {
  if (s == 1.0) return;
  UpdateKeptPart([&](int j, int i0, int i1) {
    double* col = &At(0, j);
    for (int i = i0; i < i1; ++i) col[i] *= s;
  });
}

void QORMtxBlaMatrix::Multiply(const QORMtxBlaMatrix& A, const QORMtxBlaMatrix& B, double alpha, double beta,
                               bool transA, bool transB) {
  const QORMtxTransBlaMtx OpA(&A, transA), OpB(&B, transB);
  const int NumColsOpA = OpA.NumberOfColumns(), NumRowsOpA = OpA.NumberOfRows(), NumColsOpB = OpB.NumberOfColumns();
  QORMTX_ASSERT(NumColsOpA == OpB.NumberOfRows());
  QORMTX_ASSERT((m_dim1 == NumRowsOpA) && (m_dim2 == NumColsOpB));
  const char ta = transA ? 'T' : 'N', tb = transB ? 'T' : 'N';
  const int k = NumColsOpA;
  if (!Structured()) {
    if (m_dim1 == 0 || m_dim2 == 0) return;
    blac_dgemm(&ta, &tb, &m_dim1, &m_dim2, &k, &alpha, A.m_values, &A.m_offset, B.m_values, &B.m_offset, &beta,
               m_values, &m_offset);
    return;
  }
  // Only the block triangle holding the kept triangle: upper blocks (j ≥ i) when wide, lower (i ≥ j) when tall.
  const int rowBlocks = OpA.NumberOfRowBlocks(), colBlocks = OpB.NumberOfColBlocks();
  for (int i = 0; i < rowBlocks; ++i) {
    std::unique_ptr<QORMtxBlaMatrix> OpABlock(OpA.GetRowBlock(i));
    QORMTX_ASSERT(OpABlock);
    const int mi = OpA.NumRowsInRowBlock(i);
    for (int j = m_tall ? 0 : i; j < (m_tall ? std::min(i + 1, colBlocks) : colBlocks); ++j) {
      std::unique_ptr<QORMtxBlaMatrix> OpBBlock(OpB.GetColBlock(j));
      QORMTX_ASSERT(OpBBlock);
      const int nj = OpB.NumColsInColBlock(j);
      double* c = m_values + (static_cast<size_t>(m_offset) * QORMtxTransBlaMtx::kBlockSize * j +
                              static_cast<size_t>(QORMtxTransBlaMtx::kBlockSize) * i);
      blac_dgemm(&ta, &tb, &mi, &nj, &k, &alpha, OpABlock->m_values, &OpABlock->m_offset, OpBBlock->m_values,
                 &OpBBlock->m_offset, &beta, c, &m_offset);
    }
  }
  if (rowBlocks > 1 || colBlocks > 1) SetSymmetricResults();
}

void QORMtxBlaMatrix::LeftMultiply(const QORMtxBlaMatrix& A, double alpha, bool trans) {
  const QORMtxBlaMatrix copy(*this);
  Multiply(A, copy, alpha, 0.0, trans, false);
}

void QORMtxBlaMatrix::RightMultiply(const QORMtxBlaMatrix& A, double alpha, bool trans) {
  const QORMtxBlaMatrix copy(*this);
  Multiply(copy, A, alpha, 0.0, false, trans);
}

void QORMtxBlaMatrix::Transpose() {
  QORMTX_ASSERT((m_offset==m_dim1) || (m_dim1==m_dim2));
  if (m_dim1 == m_dim2) {
    for (int j = 0; j < m_dim2; ++j)
      for (int i = j + 1; i < m_dim1; ++i) std::swap(At(i, j), At(j, i));
    return;
  }
  // A new array, so that other holders of the old one keep seeing what they saw.
  double* t = NewValues(m_dim2, m_dim1);
  for (int j = 0; j < m_dim2; ++j)
    for (int i = 0; i < m_dim1; ++i) t[j + static_cast<size_t>(m_dim2) * i] = At(i, j);
  Release();
  m_counter = new cow_Counter(t);
  m_values = t;
  m_ownsValues = true;
  std::swap(m_dim1, m_dim2);
  m_offset = m_dim1;
  m_tall = m_dim2 <= m_dim1;
}

// ---- Eigen solve and export ----

void QORMtxBlaMatrix::SolveEigenproblemSymmetric(const QORMtxBlaMatrix& B, double* Lambda, QORMtxBlaMatrix& X) const {
  QORMTX_ASSERT(IsSymmetric());
  QORMTX_ASSERT(B.IsSymmetric());
  QORMTX_ASSERT(m_dim1 == m_dim2);
  QORMTX_ASSERT((m_dim1 == B.NumberOfRows()) && (m_dim2 == B.NumberOfColumns()));
  QORMTX_ASSERT((m_dim1 == X.NumberOfRows()) && (m_dim2 == X.NumberOfColumns()));
  QORMTX_ASSERT(Lambda);
  const int n = m_dim1;
  if (n == 0) return;
  X = *this;
  QORMtxBlaMatrix Bwork(B);
  const int one = 1, none = -1;
  const int nb = blac_ilaenv(&one, "DSYTRD", "L", &n, &none, &none, &none);
  const int lwork = std::max((nb + 2) * n, 3 * n - 1);
  std::vector<double> work(static_cast<size_t>(lwork));
  int info = 0;
  blac_dsygv(&one, "V", "L", &n, X.m_values, &X.m_offset, Bwork.m_values, &n, Lambda, work.data(), &lwork, &info);
  QORMTX_ASSERT(info==0);
}

void QORMtxBlaMatrix::ExportOnFile(const char* path) const {
  FILE* f = QORBasFileOps::Fopen(path, "w");
  if (!f) return;
  for (int i = 0; i < m_dim1; ++i) {
    for (int j = 0; j < m_dim2; ++j) std::fprintf(f, "%8.2e ", At(i, j));
    std::fputc('\n', f);
  }
  std::fclose(f);
}
