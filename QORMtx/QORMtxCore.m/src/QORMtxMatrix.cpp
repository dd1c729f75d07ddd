// QORMtxMatrix: in-core real dense matrix, column-major, owning or viewing its value array.
#include "QORMtxMatrix.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "QORBasFileOps.h"
#include "QORBasVector.h"
#include "QORMtxAssert.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxDocument.h"
#include "QORMtxIntPieces.h"
#include "QORMtxTable.h"
#include "QORMtxUtilities.h"
#include "blac.h"
#include "mem_Alloc.h"

namespace {
const int kOne = 1;
const int kZero = 0;
const double kDOne = 1.0;
const char kN = 'N';
const char kT = 'T';
const char kColMajor = 'C';

using qormtx_detail::ForIntPieces;

void Copy(size_t n, const double* x, double* y) {
  ForIntPieces(n, [&](size_t off, int cnt) { blac_dcopy(&cnt, x + off, &kOne, y + off, &kOne); });
}

// C(m × n, ldc) = op(A)·op(B) + beta·C. Zero sizes never reach the kernel: m or n = 0 does nothing,
// k = 0 leaves beta·C, which is a cleared block for beta = 0.
void Gemm(char ta, char tb, int m, int n, int k, const double* a, int lda, const double* b, int ldb, double beta,
          double* c, int ldc) {
  if (m == 0 || n == 0) return;
  if (k == 0) {
    if (beta == 0.0)
      for (int j = 0; j < n; ++j) std::memset(c + static_cast<size_t>(ldc) * j, 0, sizeof(double) * m);
    return;
  }
  blac_dgemm(&ta, &tb, &m, &n, &k, &kDOne, a, &lda, b, &ldb, &beta, c, &ldc);
}

// Block boundaries of a dimension of n: a first block of first values, then blocks of size.
int BlockCount(int n, int first, int size) { return n <= first ? (n > 0 ? 1 : 0) : 1 + (n - first + size - 1) / size; }
int BlockStart(int b, int first, int size) { return b == 0 ? 0 : first + (b - 1) * size; }
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Construction, reset and ownership

QORMtxMatrix::QORMtxMatrix(int numRows, int numCols, MtxType type) { Reset(numRows, numCols, type); }

QORMtxMatrix::QORMtxMatrix(int numRows, int numCols, double* array, MtxType type) {
  Reset(numRows, numCols, array, type);
}

QORMtxMatrix::QORMtxMatrix(int numRows, int numCols, const int* rowOrds, const int* colOrds, double* array,
                           MtxType type) {
  Reset(numRows, numCols, rowOrds, colOrds, array, type);
}

QORMtxMatrix::QORMtxMatrix(const QORMtxMatrix& rhs) { Reset(rhs); }

QORMtxMatrix::~QORMtxMatrix() { Reset(); }

void QORMtxMatrix::ReleaseValues() {
  if (m_ownMem) QORMtxUtilities::Deallocate(m_array);
  m_array = nullptr;  // a viewed array stays with its owner
  m_ownMem = true;
}

void QORMtxMatrix::AllocateValues(size_t count) {
  m_array = QORMtxUtilities::AllocateDouble(count);
  m_ownMem = true;
}

void QORMtxMatrix::CopyOrdinals(int*& dst, const int* src, int count) {
  if (dst) mem_Free(dst);
  dst = nullptr;
  if (!src) return;
  dst = static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * static_cast<size_t>(count)));
  std::memcpy(dst, src, sizeof(int) * static_cast<size_t>(count));
}

void QORMtxMatrix::Reset() {
  ReleaseValues();
  CopyOrdinals(m_rowOrdinals, nullptr, 0);
  CopyOrdinals(m_colOrdinals, nullptr, 0);
  m_numRows = 0;
  m_numCols = 0;
  m_type = UNKNOWN;
}

void QORMtxMatrix::Reset(int numRows, int numCols, MtxType type) {
  if (numRows == 0 && numCols == 0) {
    Reset();
    return;
  }
  if (numRows <= 0 || numCols <= 0) QORMTX_ASSERT(0);
  if (type == DIAG) QORMTX_ASSERT(numRows == numCols);
  const size_t count =
      type == DIAG ? static_cast<size_t>(numRows) : static_cast<size_t>(numRows) * static_cast<size_t>(numCols);
  // An owned array of the right count is kept with its contents; anything else is replaced.
  if (!m_ownMem || NumberOfValues() != count) ReleaseValues();
  CopyOrdinals(m_rowOrdinals, nullptr, 0);
  CopyOrdinals(m_colOrdinals, nullptr, 0);
  m_numRows = numRows;
  m_numCols = numCols;
  m_type = type;
  if (!m_array) AllocateValues(count);
}

void QORMtxMatrix::Reset(int numRows, int numCols, double* array, MtxType type) {
  QORMTX_ASSERT(array);
  QORMTX_ASSERT(numRows > 0 && numCols > 0);
  if (type == DIAG) QORMTX_ASSERT(numRows == numCols);
  Reset();
  m_numRows = numRows;
  m_numCols = numCols;
  m_type = type;
  m_array = array;
  m_ownMem = false;
}

void QORMtxMatrix::Reset(int numRows, int numCols, const int* rowOrds, const int* colOrds, double* array,
                         MtxType type) {
  Reset(numRows, numCols, array, type);
  SetOrdinals(rowOrds, colOrds);
}

void QORMtxMatrix::Reset(const QORMtxMatrix& rhs) {
  if (&rhs == this) return;
  if (!rhs.m_array) {
    Reset();
    return;
  }
  const size_t count = rhs.NumberOfValues();
  if (!m_ownMem || NumberOfValues() != count) ReleaseValues();
  if (!m_array) AllocateValues(count);
  Copy(count, rhs.m_array, m_array);
  m_numRows = rhs.m_numRows;
  m_numCols = rhs.m_numCols;
  m_type = rhs.m_type;
  CopyOrdinals(m_rowOrdinals, rhs.m_rowOrdinals, rhs.m_numRows);
  CopyOrdinals(m_colOrdinals, rhs.m_colOrdinals, rhs.m_numCols);
}

QORMtxMatrix& QORMtxMatrix::operator=(const QORMtxMatrix& rhs) {
  if (&rhs == this) return *this;
  if (m_numRows == rhs.m_numRows && m_numCols == rhs.m_numCols && !(IsDiagonal() && !rhs.IsDiagonal())) {
    SetSlice(1.0, rhs, 0, 0, false);
    return *this;
  }
  QORMTX_ASSERT(m_ownMem);
  ReleaseValues();
  const size_t count = rhs.NumberOfValues();
  AllocateValues(count);
  m_numRows = rhs.m_numRows;
  m_numCols = rhs.m_numCols;
  m_type = rhs.m_type;
  if (count) Copy(count, rhs.m_array, m_array);
  return *this;
}

void QORMtxMatrix::Swap(QORMtxMatrix& rhs) {
  if (&rhs == this) return;
  if (m_ownMem && rhs.m_ownMem) {
    std::swap(m_numRows, rhs.m_numRows);
    std::swap(m_numCols, rhs.m_numCols);
    std::swap(m_type, rhs.m_type);
    std::swap(m_ownMem, rhs.m_ownMem);
    std::swap(m_array, rhs.m_array);
    std::swap(m_rowOrdinals, rhs.m_rowOrdinals);
    std::swap(m_colOrdinals, rhs.m_colOrdinals);
    return;
  }
  // A viewed array must stay where its owner put it, so the values travel instead of the arrays.
  QORMTX_ASSERT(!m_rowOrdinals && !m_colOrdinals && !rhs.m_rowOrdinals && !rhs.m_colOrdinals);
  const size_t count = NumberOfValues();
  if (count != rhs.NumberOfValues()) QORMTX_ASSERT(0);
  std::swap(m_numRows, rhs.m_numRows);
  std::swap(m_numCols, rhs.m_numCols);
  std::swap(m_type, rhs.m_type);
  ForIntPieces(count, [&](size_t off, int cnt) { blac_dswap(&cnt, m_array + off, &kOne, rhs.m_array + off, &kOne); });
}

void QORMtxMatrix::SetRowOrdinals(const int* rowOrds) {
  if (!rowOrds) {
    CopyOrdinals(m_rowOrdinals, nullptr, 0);
    return;
  }
  if (!m_rowOrdinals) m_rowOrdinals = static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * m_numRows));
  std::memcpy(m_rowOrdinals, rowOrds, sizeof(int) * m_numRows);
}

void QORMtxMatrix::SetColOrdinals(const int* colOrds) {
  if (!colOrds) {
    CopyOrdinals(m_colOrdinals, nullptr, 0);
    return;
  }
  if (!m_colOrdinals) m_colOrdinals = static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * m_numCols));
  std::memcpy(m_colOrdinals, colOrds, sizeof(int) * m_numCols);
}

void QORMtxMatrix::SetOrdinals(const int* rowOrds, const int* colOrds) {
  SetRowOrdinals(rowOrds);
  SetColOrdinals(colOrds);
}

// ---------------------------------------------------------------------------------------------------------------
// Element access

double& QORMtxMatrix::value(int i, int j) {
  if (m_type == DIAG) {
    if (i != j) QORMTX_ASSERT(0);
    return m_array[i];
  }
  return m_array[Index(i, j)];
}

double QORMtxMatrix::SafeGet(int r, int c) const {
  QORMTX_ASSERT(r >= 0 && r <= m_numRows && c >= 0 && c <= m_numCols);
  return value(r, c);
}

// ---------------------------------------------------------------------------------------------------------------
// Filling and elementwise operations

QORMtxMatrix& QORMtxMatrix::operator=(double s) {
  if (s == 0.0) {
    if (m_array) std::memset(m_array, 0, sizeof(double) * NumberOfValues());
  } else {
    Assign(s);
  }
  return *this;
}

void QORMtxMatrix::Assign(double s) {
  ForIntPieces(NumberOfValues(), [&](size_t off, int cnt) { blac_dcopy(&cnt, &s, &kZero, m_array + off, &kOne); });
}

void QORMtxMatrix::Abs() {
  if (!m_array) return;
  const size_t count = NumberOfValues();
  for (size_t k = 0; k < count; ++k) m_array[k] = std::fabs(m_array[k]);
}

void QORMtxMatrix::Multiply(double s) {
  ForIntPieces(NumberOfValues(), [&](size_t off, int cnt) { blac_dscal(&cnt, &s, m_array + off, &kOne); });
}

void QORMtxMatrix::Add(double a, const QORMtxMatrix& B) {
  QORMTX_ASSERT(m_array);
  if (a == 0.0) return;
  QORMTX_ASSERT(!!B && m_numRows == B.m_numRows && m_numCols == B.m_numCols);
  if (IsDiagonal() && !B.IsDiagonal()) ConvertToFull();
  if (!IsDiagonal() && B.IsDiagonal()) {
    const int step = m_numRows + 1;  // along the diagonal of the full array
    blac_daxpy(&B.m_numRows, &a, B.m_array, &kOne, m_array, &step);
    return;
  }
  ForIntPieces(B.NumberOfValues(),
               [&](size_t off, int cnt) { blac_daxpy(&cnt, &a, B.m_array + off, &kOne, m_array + off, &kOne); });
}

void QORMtxMatrix::Add(double a, const QORMtxDenseMatrix& B) {
  QORMTX_ASSERT(m_array);
  const int numRows = m_numRows, numCols = m_numCols;
  const int numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
  QORMTX_ASSERT(numRows == numRowsB && numCols == numColsB);
  if (IsDiagonal()) ConvertToFull();
  QORMtxMatrix values(numRows, numCols);
  B.GetAllValues(values.m_array);
  Add(a, values);
}

void QORMtxMatrix::Add(double a, const QORMtxMatrix& A, double b, const QORMtxMatrix& B) {
  *this = 0.0;
  Add(a, A);
  Add(b, B);
}

QORMtxMatrix& QORMtxMatrix::operator+=(const QORMtxMatrix& B) {
  Add(1.0, B);
  return *this;
}

void QORMtxMatrix::ConvertToFull() {
  if (m_type != DIAG) return;
  const int n = m_numRows;
  const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
  double* full = QORMtxUtilities::AllocateDouble(count);
  if (count) {
    std::memset(full, 0, sizeof(double) * count);
    const int step = n + 1;
    blac_dcopy(&n, m_array, &kOne, full, &step);
  }
  ReleaseValues();
  m_array = full;
  m_ownMem = true;
  m_type = SYMM;
}

void QORMtxMatrix::Interpolate(double a, const QORMtxMatrix& A, const QORMtxMatrix& B) {
  QORMTX_ASSERT(m_numRows == A.m_numRows && m_numCols == A.m_numCols && m_numRows == B.m_numRows &&
                m_numCols == B.m_numCols);
  QORMTX_ASSERT(0 <= a && a <= 1.0);
  const double c = 1.0 - a;
  if (IsDiagonal() && A.IsDiagonal() && B.IsDiagonal()) {
    for (int i = 0; i < m_numRows; ++i) m_array[i] = c * A.m_array[i] + a * B.m_array[i];
    return;
  }
  // A diagonal operand would be read past its array by full indexing; value() reads its zeros instead.
  ConvertToFull();
  for (int j = 0; j < m_numCols; ++j)
    for (int i = 0; i < m_numRows; ++i) m_array[Index(i, j)] = c * A.value(i, j) + a * B.value(i, j);
}

void QORMtxMatrix::SetSlice(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose) {
  CopySliceOrAdd(a, rhs, firstRow, firstCol, transpose, false);
}

void QORMtxMatrix::AddSlice(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose) {
  CopySliceOrAdd(a, rhs, firstRow, firstCol, transpose, true);
}

void QORMtxMatrix::CopySliceOrAdd(double a, const QORMtxMatrix& rhs, int firstRow, int firstCol, bool transpose,
                                  bool add) {
  // The condition is reported as written, so its spacing is kept.
  // clang-format off
  QORMTX_ASSERT(!IsDiagonal() || (rhs.IsDiagonal() && firstRow==firstCol));
  // clang-format on
  if (&rhs == this) {  // the kernels below must not read what they write
    const QORMtxMatrix copy(rhs);
    CopySliceOrAdd(a, copy, firstRow, firstCol, transpose, add);
    return;
  }
  const int rr = rhs.m_numRows;
  const int rc = rhs.m_numCols;
  if (rr == 0 || rc == 0) return;
  if (rhs.IsDiagonal()) {
    if (IsDiagonal()) {
      double* d = m_array + firstRow;
      for (int k = 0; k < rr; ++k) d[k] = add ? d[k] + a * rhs.m_array[k] : a * rhs.m_array[k];
      return;
    }
    if (!add)
      for (int k = 0; k < rc; ++k) std::memset(m_array + Index(firstRow, firstCol + k), 0, sizeof(double) * rr);
    const int step = m_numRows + 1;
    blac_daxpy(&rr, &a, rhs.m_array, &kOne, m_array + Index(firstRow, firstCol), &step);
    return;
  }
  double* target = m_array + Index(firstRow, firstCol);
  if (!add) {
    const size_t rows = rr, cols = rc, lda = rr, ldb = m_numRows;
    const char trans = transpose ? kT : kN;
    blac_domatcopy(&kColMajor, &trans, &rows, &cols, &a, rhs.m_array, &lda, target, &ldb);
    return;
  }
  // Column j of rhs goes down column firstCol + j, or transposed along row firstRow + j.
  for (int j = 0; j < rc; ++j) {
    const double* x = rhs.m_array + rhs.Index(0, j);
    if (transpose)
      blac_daxpy(&rr, &a, x, &kOne, target + j, &m_numRows);
    else
      blac_daxpy(&rr, &a, x, &kOne, target + static_cast<size_t>(m_numRows) * j, &kOne);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Products

void QORMtxMatrix::Multiply(const QORMtxMatrix& A, const QORMtxMatrix& B, bool transB) {
  if (!transB) {
    QORMTX_ASSERT(A.m_numCols == B.m_numRows);
    QORMTX_ASSERT(m_numRows == A.m_numRows && m_numCols == B.m_numCols);
  } else {
    QORMTX_ASSERT(A.m_numCols == B.m_numCols);
    QORMTX_ASSERT(m_numRows == A.m_numRows && m_numCols == B.m_numRows);
    QORMTX_ASSERT(A.IsDiagonal());
  }
  if (A.IsDiagonal() && B.IsDiagonal()) {
    if (!IsDiagonal()) *this = 0.0;
    const size_t step = IsDiagonal() ? 1 : static_cast<size_t>(m_numRows) + 1;
    for (int i = 0; i < A.m_numRows; ++i) m_array[step * i] = A.m_array[i] * B.m_array[i];
    return;
  }
  QORMTX_ASSERT(!IsDiagonal());
  const int m = m_numRows;
  const int n = m_numCols;
  if (m == 0 || n == 0) return;
  if (this == &A || this == &B) {  // the result may not overwrite an operand that is still being read
    QORMtxMatrix result(m, n);
    result.Multiply(A, B, transB);
    Copy(NumberOfValues(), result.m_array, m_array);
    return;
  }
  if (!A.IsDiagonal() && !B.IsDiagonal()) {
    Gemm(kN, kN, m, n, A.m_numCols, A.m_array, A.m_numRows, B.m_array, B.m_numRows, 0.0, m_array, m);
    return;
  }
  if (B.IsDiagonal()) {  // column scaling: this(:, j) = B.d_j·A(:, j)
    for (int j = 0; j < n; ++j) {
      double* col = m_array + Index(0, j);
      blac_dcopy(&m, A.m_array + A.Index(0, j), &kOne, col, &kOne);
      blac_dscal(&m, B.m_array + j, col, &kOne);
    }
    return;
  }
  // Row scaling by A's diagonal, of B or of Bᵀ.
  const double* d = A.m_array;
  for (int j = 0; j < n; ++j) {
    double* col = m_array + Index(0, j);
    if (transB)
      for (int i = 0; i < m; ++i) col[i] = d[i] * B.m_array[B.Index(j, i)];
    else
      for (int i = 0; i < m; ++i) col[i] = d[i] * B.m_array[B.Index(i, j)];
  }
}

void QORMtxMatrix::Multiply(const QORMtxMatrix& B, QORMtxMatrix& C, int /*unused*/, int accumulate) const {
  const int numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(numRowsB == NumberOfColumns());
  const int numRows = NumberOfRows();
  const int numRowsC = C.NumberOfRows();
  const int numColsC = C.NumberOfColumns();
  const int numColsB = B.NumberOfColumns();
  QORMTX_ASSERT(numRowsC == numRows && numColsC == numColsB);
  // The general product reads full arrays; a diagonal operand would be read past its end.
  QORMTX_ASSERT(!IsDiagonal() && !B.IsDiagonal() && !C.IsDiagonal());
  Gemm(kN, kN, numRows, numColsB, numRowsB, m_array, numRows, B.m_array, numRowsB, accumulate ? 1.0 : 0.0, C.m_array,
       numRowsC);
}

void QORMtxMatrix::TransposeMultiply(const QORMtxMatrix& B, QORMtxMatrix& C, int triangle, int accumulate) const {
  const int numRows = B.NumberOfRows();
  QORMTX_ASSERT(numRows == NumberOfRows());
  const int numColsA = NumberOfColumns();
  const int numColsB = B.NumberOfColumns();
  const int numRowsC = C.NumberOfRows();
  const int numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(numRowsC == numColsA && numColsC == numColsB);
  QORMTX_ASSERT(!IsDiagonal() && !B.IsDiagonal() && !C.IsDiagonal());
  const double beta = accumulate ? 1.0 : 0.0;
  if (!triangle) {
    Gemm(kT, kN, numRowsC, numColsC, numRows, m_array, numRows, B.m_array, numRows, beta, C.m_array, numRowsC);
    return;
  }
  // Blocks of kBlock, the last one holding the remainder; only one side of the block diagonal is formed.
  const int kBlock = 144;
  const bool upper = numRowsC < numColsC;
  for (int r0 = 0; r0 < numRowsC; r0 += kBlock) {
    const int rn = std::min(kBlock, numRowsC - r0);
    for (int c0 = 0; c0 < numColsC; c0 += kBlock) {
      if (upper ? c0 < r0 : r0 < c0) continue;
      const int cn = std::min(kBlock, numColsC - c0);
      Gemm(kT, kN, rn, cn, numRows, m_array + Index(0, r0), numRows, B.m_array + B.Index(0, c0), numRows, beta,
           C.m_array + C.Index(r0, c0), numRowsC);
    }
  }
}

void QORMtxMatrix::SymmetricMultiply(const QORMtxMatrix& A, const QORMtxMatrix& B) {
  QORMTX_ASSERT(m_numRows == m_numCols && m_numRows == A.m_numCols && A.m_numCols == B.m_numRows);
  QORMTX_ASSERT(m_numRows == A.m_numRows && m_numCols == B.m_numCols);
  QORMTX_ASSERT(!IsDiagonal() && !A.IsDiagonal() && !B.IsDiagonal());
  if (this == &A || this == &B) {  // this is cleared before the operands are read
    QORMtxMatrix result(m_numRows, m_numCols);
    result.SymmetricMultiply(A, B);
    Copy(NumberOfValues(), result.m_array, m_array);
    return;
  }
  *this = 0.0;
  const int n = m_numRows;
  const int kBlock = 128;
  const int first = n % kBlock ? n % kBlock : kBlock;  // the odd block first, so the others are whole
  const int nb = BlockCount(n, first, kBlock);
  for (int I = 0; I < nb; ++I) {
    const int i0 = BlockStart(I, first, kBlock);
    const int in = I == 0 ? std::min(first, n) : kBlock;
    for (int J = 0; J <= I; ++J) {
      const int j0 = BlockStart(J, first, kBlock);
      const int jn = J == 0 ? std::min(first, n) : kBlock;
      for (int K = 0; K < nb; ++K) {
        const int k0 = BlockStart(K, first, kBlock);
        const int kn = K == 0 ? std::min(first, n) : kBlock;
        Gemm(kN, kN, in, jn, kn, A.m_array + A.Index(i0, k0), n, B.m_array + B.Index(k0, j0), n, 1.0,
             m_array + Index(i0, j0), n);
      }
    }
  }
}

QORMtxMatrix& QORMtxMatrix::operator*=(const QORMtxMatrix& rhs) {
  QORMTX_ASSERT(this != &rhs);
  QORMTX_ASSERT(m_numCols == rhs.m_numRows);
  if (!m_array || !rhs.m_array) QORMTX_ASSERT(!"QORMtxMatrix::operator*= illegal input");
  const int m = m_numRows;
  const int k = m_numCols;
  const int p = rhs.m_numCols;
  if (IsDiagonal() && rhs.IsDiagonal()) {
    for (int i = 0; i < m; ++i) m_array[i] *= rhs.m_array[i];
  } else if (rhs.IsDiagonal()) {  // column scaling in place
    for (int j = 0; j < p; ++j) blac_dscal(&m, rhs.m_array + j, m_array + Index(0, j), &kOne);
    m_type = UNKNOWN;
  } else {
    double* result = QORMtxUtilities::AllocateDouble(static_cast<size_t>(m) * static_cast<size_t>(p));
    if (IsDiagonal()) {
      for (int j = 0; j < p; ++j)
        for (int i = 0; i < m; ++i) result[static_cast<size_t>(m) * j + i] = m_array[i] * rhs.m_array[rhs.Index(i, j)];
    } else if (p == 1) {
      const double zero = 0.0;
      blac_dgemv(&kN, &m, &k, &kDOne, m_array, &m, rhs.m_array, &kOne, &zero, result, &kOne);
    } else {
      Gemm(kN, kN, m, p, k, m_array, m, rhs.m_array, k, 0.0, result, m);
    }
    const size_t count = static_cast<size_t>(m) * static_cast<size_t>(p);
    if (!m_ownMem && NumberOfValues() == count) {  // the caller's array can hold the result
      Copy(count, result, m_array);
      QORMtxUtilities::Deallocate(result);
    } else {
      ReleaseValues();
      m_array = result;
      m_ownMem = true;
    }
    m_numCols = p;
    m_type = UNKNOWN;
  }
  CopyOrdinals(m_colOrdinals, rhs.m_colOrdinals, p);
  return *this;
}

void QORMtxMatrix::CompleteTriangle(double sign) {
  if (m_type == DIAG || !m_array) return;
  // Row k of one triangle is copied into column k of the other, with the row's stride.
  if (m_numRows < m_numCols) {
    for (int i = 1; i < m_numRows; ++i) {  // (i, k) = (k, i) for k < i
      blac_dcopy(&i, m_array + Index(0, i), &kOne, m_array + Index(i, 0), &m_numRows);
      if (sign < 0) blac_dscal(&i, &sign, m_array + Index(i, 0), &m_numRows);
    }
  } else {
    for (int c = 1; c < m_numCols; ++c) {  // (r, c) = (c, r) for r < c
      blac_dcopy(&c, m_array + Index(c, 0), &m_numRows, m_array + Index(0, c), &kOne);
      if (sign < 0) blac_dscal(&c, &sign, m_array + Index(0, c), &kOne);
    }
  }
}

void QORMtxMatrix::SetSymmetricResults() { CompleteTriangle(1.0); }

void QORMtxMatrix::SetSkewSymmetricResults() { CompleteTriangle(-1.0); }

// ---------------------------------------------------------------------------------------------------------------
// Transposition

void QORMtxMatrix::Transpose() {
  if (m_type == DIAG || m_type == SYMM) return;
  std::swap(m_rowOrdinals, m_colOrdinals);
  if (m_array && m_numRows == m_numCols) {
    const int n = m_numRows;
    for (int j = 0; j + 1 < n; ++j) {
      const int len = n - j - 1;
      blac_dswap(&len, m_array + Index(j + 1, j), &kOne, m_array + Index(j, j + 1), &m_numRows);
    }
  } else if (m_array) {
    const size_t count = NumberOfValues();
    double* t = QORMtxUtilities::AllocateDouble(count);
    const size_t rows = m_numRows, cols = m_numCols;
    blac_domatcopy(&kColMajor, &kT, &rows, &cols, &kDOne, m_array, &rows, t, &cols);
    if (m_ownMem) {
      QORMtxUtilities::Deallocate(m_array);
      m_array = t;
    } else {  // the caller's array keeps its place and receives the transposed values
      Copy(count, t, m_array);
      QORMtxUtilities::Deallocate(t);
    }
  }
  std::swap(m_numRows, m_numCols);
}

void QORMtxMatrix::Transpose(QORMtxMatrix& T, double* buffer) const {
  if (!m_array) {
    T.Reset();
    return;
  }
  if (m_type == DIAG || m_type == SYMM) return;
  if (&T == this) {  // resetting T would discard the values to be read: transpose in place instead
    T.Transpose();
    return;
  }
  if (buffer)
    T.Reset(m_numCols, m_numRows, buffer, UNKNOWN);
  else
    T.Reset(m_numCols, m_numRows, UNKNOWN);
  T.SetOrdinals(m_colOrdinals, m_rowOrdinals);
  const size_t rows = m_numRows, cols = m_numCols;
  blac_domatcopy(&kColMajor, &kT, &rows, &cols, &kDOne, m_array, &rows, T.m_array, &cols);
}

// ---------------------------------------------------------------------------------------------------------------
// Sub-matrix copies

void QORMtxMatrix::CheckBlock(int startRow, int lastRow, int startCol, int lastCol) const {
  QORMTX_ASSERT(0 <= startRow && 0 <= startCol && lastRow < m_numRows && lastCol < m_numCols && startRow <= lastRow &&
                startCol <= lastCol);
}

namespace {
// The receiving-size rule in 64 bits (int products wrap above 2^31 values), under the names its text quotes.
struct Shape64 {
  long long m_numRows, m_numCols;
};
void CheckHolds(const Shape64& dimMatrix, long long numRows, long long numCols) {
  QORMTX_ASSERT(numRows * numCols <= dimMatrix.m_numRows * dimMatrix.m_numCols);
}
}  // namespace

void QORMtxMatrix::PrepareReceiver(QORMtxMatrix& dimMatrix, int numRows, int numCols) {
  if (!dimMatrix.m_array) {
    dimMatrix.Reset(numRows, numCols, UNKNOWN);
    return;
  }
  CheckHolds({dimMatrix.m_numRows, dimMatrix.m_numCols}, numRows, numCols);
}

void QORMtxMatrix::CheckPackedSource(const QORMtxMatrix& dimMatrix, int numRows, int numCols) {
  CheckHolds({dimMatrix.m_numRows, dimMatrix.m_numCols}, numRows, numCols);
}

void QORMtxMatrix::CopyBlockOut(int startRow, int startCol, int numRows, int numCols, double* dst) const {
  if (m_type == DIAG) {  // the zeros off the diagonal are not stored, so the block is assembled element by element
    for (int j = 0; j < numCols; ++j)
      for (int i = 0; i < numRows; ++i) dst[static_cast<size_t>(numRows) * j + i] = value(startRow + i, startCol + j);
    return;
  }
  const char all = 'A';
  blac_dlacpy(&all, &numRows, &numCols, m_array + Index(startRow, startCol), &m_numRows, dst, &numRows);
}

void QORMtxMatrix::CopyBlockIn(int startRow, int startCol, int numRows, int numCols, const double* src) {
  if (m_type == DIAG) {
    for (int j = 0; j < numCols; ++j)
      for (int i = 0; i < numRows; ++i) value(startRow + i, startCol + j) = src[static_cast<size_t>(numRows) * j + i];
    return;
  }
  const char all = 'A';
  blac_dlacpy(&all, &numRows, &numCols, src, &numRows, m_array + Index(startRow, startCol), &m_numRows);
}

void QORMtxMatrix::GetValues(int startRow, int lastRow, int startCol, int lastCol, QORMtxMatrix& sub) const {
  CheckBlock(startRow, lastRow, startCol, lastCol);
  const int numRows = lastRow - startRow + 1;
  const int numCols = lastCol - startCol + 1;
  PrepareReceiver(sub, numRows, numCols);
  CopyBlockOut(startRow, startCol, numRows, numCols, sub.m_array);
}

void QORMtxMatrix::GetRows(int startRow, int lastRow, QORMtxMatrix& sub) const {
  GetValues(startRow, lastRow, 0, m_numCols - 1, sub);
}

void QORMtxMatrix::SetValues(int startRow, int lastRow, int startCol, int lastCol, const double* values) {
  CheckBlock(startRow, lastRow, startCol, lastCol);
  CopyBlockIn(startRow, startCol, lastRow - startRow + 1, lastCol - startCol + 1, values);
}

void QORMtxMatrix::SetValues(int startRow, int lastRow, int startCol, int lastCol, const QORMtxMatrix& rhs) {
  CheckBlock(startRow, lastRow, startCol, lastCol);
  const int numRows = lastRow - startRow + 1;
  const int numCols = lastCol - startCol + 1;
  CheckPackedSource(rhs, numRows, numCols);
  CopyBlockIn(startRow, startCol, numRows, numCols, rhs.m_array);
}

void QORMtxMatrix::SetRows(int startRow, int lastRow, const QORMtxMatrix& rhs) {
  SetValues(startRow, lastRow, 0, m_numCols - 1, rhs);
}

void QORMtxMatrix::GetRows(const int* rowNumbers, int numRows, QORMtxMatrix& rhs) const {
  QORMTX_ASSERT(!IsDiagonal());
  QORMTX_ASSERT(!rhs.IsDiagonal());
  QORMTX_ASSERT(numRows <= m_numRows);
  const int numCols = rhs.m_numCols;
  QORMTX_ASSERT(numCols == m_numCols);
  QORMTX_ASSERT(numRows <= rhs.m_numRows);
  for (int i = 0; i < numRows; ++i) {
    QORMTX_ASSERT(rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows);
    blac_dcopy(&numCols, m_array + rowNumbers[i], &m_numRows, rhs.m_array + i, &rhs.m_numRows);
  }
}

void QORMtxMatrix::GetValues(const int* rows, int numRows, const int* cols, int numCols, QORMtxMatrix& sub) const {
  PrepareReceiver(sub, numRows, numCols);
  for (int j = 0; j < numCols; ++j)
    for (int i = 0; i < numRows; ++i) sub.m_array[static_cast<size_t>(numRows) * j + i] = value(rows[i], cols[j]);
}

void QORMtxMatrix::SetRows(const int* rowNumbers, const QORMtxMatrix& rhs) {
  QORMTX_ASSERT(!IsDiagonal());
  QORMTX_ASSERT(!rhs.IsDiagonal());
  const int numRows = rhs.m_numRows;
  const int numCols = rhs.m_numCols;
  QORMTX_ASSERT(numRows <= m_numRows);
  QORMTX_ASSERT(numCols == m_numCols);
  for (int i = 0; i < numRows; ++i) {
    QORMTX_ASSERT(rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows);
    blac_dcopy(&numCols, rhs.m_array + i, &rhs.m_numRows, m_array + rowNumbers[i], &m_numRows);
  }
}

void QORMtxMatrix::SetColumns(const int* colNumbers, const QORMtxMatrix& rhs) {
  QORMTX_ASSERT(!IsDiagonal());
  QORMTX_ASSERT(!rhs.IsDiagonal());
  const int numRows = rhs.m_numRows;
  const int numCols = rhs.m_numCols;
  QORMTX_ASSERT(numCols <= m_numCols);
  QORMTX_ASSERT(numRows == m_numRows);
  for (int i = 0; i < numCols; ++i) {
    QORMTX_ASSERT(colNumbers[i] >= 0 && colNumbers[i] < m_numCols);
    blac_dcopy(&numRows, rhs.m_array + rhs.Index(0, i), &kOne, m_array + Index(0, colNumbers[i]), &kOne);
  }
}

void QORMtxMatrix::Extract(const QORBasVector<int>& rows, const QORBasVector<int>& cols, QORMtxMatrix& sub) const {
  const int numRows = rows.size();
  const int numCols = cols.size();
  QORMTX_ASSERT(numRows <= m_numRows && numCols <= m_numCols);
  if (numRows == 0 || numCols == 0) {  // nothing selected: an empty matrix rather than a failed reset
    sub.Reset();
    return;
  }
  if (sub.m_numRows != numRows || sub.m_numCols != numCols || !sub.m_array) sub.Reset(numRows, numCols, UNKNOWN);
  for (int j = 0; j < numCols; ++j)
    for (int i = 0; i < numRows; ++i) sub.value(i, j) = value(rows[i], cols[j]);
}

namespace {
QORBasVector<int> Selected(const QORBasVector<bool>& mask) {
  QORBasVector<int> list;
  for (int i = 0; i < mask.size(); ++i)
    if (mask[i]) list.push_back(i);
  return list;
}
}  // namespace

void QORMtxMatrix::Extract(const QORBasVector<bool>& rows, const QORBasVector<bool>& cols, QORMtxMatrix& sub) const {
  QORMTX_ASSERT(rows.size() == m_numRows && cols.size() == m_numCols);
  Extract(Selected(rows), Selected(cols), sub);
}

void QORMtxMatrix::Insert(const QORBasVector<int>& rows, const QORBasVector<int>& cols, const QORMtxMatrix& submatrix) {
  const int numRows = rows.size();
  const int numCols = cols.size();
  QORMTX_ASSERT(numRows == submatrix.NumberOfRows() && numCols == submatrix.NumberOfColumns());
  for (int j = 0; j < numCols; ++j)
    for (int i = 0; i < numRows; ++i) value(rows[i], cols[j]) = submatrix.value(i, j);
}

void QORMtxMatrix::Insert(const QORBasVector<bool>& rows, const QORBasVector<bool>& cols,
                          const QORMtxMatrix& submatrix) {
  QORMTX_ASSERT(rows.size() == m_numRows && cols.size() == m_numCols);
  const QORBasVector<int> rowList = Selected(rows);
  const QORBasVector<int> colList = Selected(cols);
  const int numRows = rowList.size();
  const int numCols = colList.size();
  QORMTX_ASSERT(numRows == submatrix.NumberOfRows() || numCols == submatrix.NumberOfColumns());
  // Only one count has to match; the other side stops at the smaller count so submatrix is never overrun.
  const int nr = std::min(numRows, submatrix.NumberOfRows());
  const int nc = std::min(numCols, submatrix.NumberOfColumns());
  for (int l = 0; l < nc; ++l)
    for (int k = 0; k < nr; ++k) value(rowList[k], colList[l]) = submatrix.value(k, l);
}

void QORMtxMatrix::ExtractRows(const QORBasVector<int>& rows, QORMtxMatrix& submatrix) const {
  QORMTX_ASSERT(!IsDiagonal());
  const int numRows = rows.size();
  QORMTX_ASSERT(numRows == submatrix.NumberOfRows() && m_numCols == submatrix.NumberOfColumns());
  if (submatrix.IsDiagonal()) {
    for (int j = 0; j < m_numCols; ++j)
      for (int i = 0; i < numRows; ++i) submatrix.value(i, j) = value(rows[i], j);
    return;
  }
  for (int i = 0; i < numRows; ++i)
    blac_dcopy(&m_numCols, m_array + rows[i], &m_numRows, submatrix.m_array + i, &submatrix.m_numRows);
}

void QORMtxMatrix::InsertRows(const QORBasVector<int>& rows, const QORMtxMatrix& submatrix) {
  QORMTX_ASSERT(!IsDiagonal());
  const int numRows = rows.size();
  QORMTX_ASSERT(numRows == submatrix.NumberOfRows() && m_numCols == submatrix.NumberOfColumns());
  for (int j = 0; j < m_numCols; ++j)
    for (int i = 0; i < numRows; ++i) m_array[Index(rows[i], j)] = submatrix.value(i, j);
}

void QORMtxMatrix::ExtractColumns(const bool* mask, QORMtxMatrix& sub) const {
  QORBasVector<int> cols;
  for (int j = 0; j < m_numCols; ++j)
    if (mask[j]) cols.push_back(j);
  QORBasVector<int> rows(m_numRows);
  for (int i = 0; i < m_numRows; ++i) rows[i] = i;
  Extract(rows, cols, sub);
}

void QORMtxMatrix::GetDiagonal(double* diag) const {
  QORMTX_ASSERT(IsSquare());
  QORMTX_ASSERT(diag);
  const int step = m_type == DIAG ? 1 : m_numRows + 1;
  if (m_numRows) blac_dcopy(&m_numRows, m_array, &step, diag, &kOne);
}

void QORMtxMatrix::SetDiagonal(const double* diag) {
  QORMTX_ASSERT(IsSquare());
  QORMTX_ASSERT(diag);
  const int step = m_type == DIAG ? 1 : m_numRows + 1;
  if (m_numRows) blac_dcopy(&m_numRows, diag, &kOne, m_array, &step);
}

void QORMtxMatrix::SetDiagonal(const QORMtxMatrix& rhs) {
  QORMTX_ASSERT(m_numRows == m_numCols && rhs.m_numRows == rhs.m_numCols);
  QORMTX_ASSERT(m_numRows == rhs.m_numRows);
  const int step = m_type == DIAG ? 1 : m_numRows + 1;
  const int rhsStep = rhs.m_type == DIAG ? 1 : rhs.m_numRows + 1;
  if (m_numRows) blac_dcopy(&m_numRows, rhs.m_array, &rhsStep, m_array, &step);
}

void QORMtxMatrix::GetSymmetric(double* packed) const {
  QORMTX_ASSERT(IsSquare());
  const int n = m_numRows;
  for (int j = 0; j < n; ++j) {
    double* col = packed + static_cast<size_t>(j) * (j + 1) / 2;
    if (m_type == DIAG) {
      std::fill(col, col + j, 0.0);
      col[j] = m_array[j];
    } else if (m_type == SYMM) {
      std::copy(m_array + Index(0, j), m_array + Index(0, j) + j + 1, col);
    } else {
      for (int i = 0; i < j; ++i) col[i] = 0.5 * (m_array[Index(i, j)] + m_array[Index(j, i)]);
      col[j] = m_array[Index(j, j)];
    }
  }
}

void QORMtxMatrix::PermuteRowsInPlace(const int* permVector, int permLength) {
  QORMTX_ASSERT(m_numRows == permLength);
  for (int iRow = 0; iRow < permLength; ++iRow) QORMTX_ASSERT(permVector[iRow] < m_numRows);
  if (m_numRows == 0) return;
  ConvertToFull();  // a permuted diagonal is no longer diagonal
  double* column = QORMtxUtilities::AllocateDouble(m_numRows);
  for (int j = 0; j < m_numCols; ++j) {
    double* a = m_array + Index(0, j);
    for (int i = 0; i < m_numRows; ++i) column[permVector[i]] = a[i];
    std::memcpy(a, column, sizeof(double) * m_numRows);
  }
  QORMtxUtilities::Deallocate(column);
}

void QORMtxMatrix::Shrink(int numRows, int numCols) {
  QORMTX_ASSERT(numRows <= m_numRows && numCols <= m_numCols);
  QORMTX_ASSERT(!(IsDiagonal() && numRows != numCols));
  if (numRows == 0 || numCols == 0) {
    Reset();
    return;
  }
  if (m_type != DIAG && numRows != m_numRows) {
    // Columns move towards the front in ascending order, so no column is overwritten before it has moved.
    for (int j = 1; j < numCols; ++j)
      std::memmove(m_array + static_cast<size_t>(numRows) * j, m_array + Index(0, j), sizeof(double) * numRows);
    m_numRows = numRows;
    m_numCols = numCols;
    return;
  }
  ShrinkColumns(numCols);
}

void QORMtxMatrix::ShrinkColumns(int numCols) {
  QORMTX_ASSERT(numCols <= m_numCols);
  if (numCols == 0) {
    Reset();
    return;
  }
  m_numCols = numCols;
  if (m_type == DIAG) m_numRows = numCols;
}

// ---------------------------------------------------------------------------------------------------------------
// Tests

bool QORMtxMatrix::operator==(const QORMtxMatrix& rhs) const {
  if (&rhs == this) return true;
  if (m_numRows != rhs.m_numRows || m_numCols != rhs.m_numCols || IsDiagonal() != rhs.IsDiagonal()) return false;
  const size_t count = NumberOfValues();
  for (size_t k = 0; k < count; ++k)
    if (!(m_array[k] == rhs.m_array[k])) return false;
  return true;
}

bool QORMtxMatrix::operator==(double s) const {
  const size_t count = m_array ? NumberOfValues() : 0;
  for (size_t k = 0; k < count; ++k)
    if (!(m_array[k] == s)) return false;
  return true;
}

bool QORMtxMatrix::IsZero() const { return *this == 0.0; }

bool QORMtxMatrix::IsUnit() const { return m_type == DIAG && *this == 1.0; }

bool QORMtxMatrix::IsSymmetricNumerically() const {
  if (m_type == DIAG) return true;
  if (m_numRows != m_numCols) return false;
  for (int j = 0; j < m_numCols; ++j)
    for (int i = j + 1; i < m_numRows; ++i)
      if (!(m_array[Index(i, j)] == m_array[Index(j, i)])) return false;
  return true;
}

bool QORMtxMatrix::IsDiagonal(double tol) const {
  if (m_type == DIAG) return true;
  if (tol < 0.0 || !m_array || m_numRows != m_numCols) return false;
  const int n = m_numRows;
  if (tol == 0.0) {
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        if (i != j && m_array[Index(i, j)] != 0.0) return false;
    return true;
  }
  for (int j = 0; j < n; ++j) {  // relative to the column's diagonal
    const double bound = tol * std::fabs(m_array[Index(j, j)]);
    for (int i = 0; i < n; ++i)
      if (i != j && !(std::fabs(m_array[Index(i, j)]) <= bound)) return false;
  }
  if (m_type == SYMM) return true;  // the row test would repeat the column test
  for (int i = 0; i < n; ++i) {     // relative to the row's diagonal
    const double bound = tol * std::fabs(m_array[Index(i, i)]);
    for (int j = 0; j < n; ++j)
      if (i != j && !(std::fabs(m_array[Index(i, j)]) <= bound)) return false;
  }
  return true;
}

bool QORMtxMatrix::IsPositiveDefinite() const {
  const double kEps = 2.22e-16;
  if (m_numRows != m_numCols || (m_type != DIAG && m_type != SYMM)) return false;
  const int n = m_numRows;
  const size_t step = m_type == DIAG ? 1 : static_cast<size_t>(n) + 1;
  double lo = 0.0, hi = 0.0;
  for (int i = 0; i < n; ++i) {
    const double d = m_array[step * i];
    if (!(d > 0.0)) return false;
    lo = i == 0 ? d : std::min(lo, d);
    hi = i == 0 ? d : std::max(hi, d);
  }
  if (!(n > 0 && lo / hi > kEps)) return false;
  if (m_type == DIAG) return true;
  for (int j = 1; j < n; ++j)
    for (int i = 0; i < j; ++i) {
      const double aij = m_array[Index(i, j)];
      if (!(m_array[Index(i, i)] * m_array[Index(j, j)] > aij * aij + kEps)) return false;
    }
  return true;
}

bool QORMtxMatrix::IsSingular(double tol) const {
  QORMTX_ASSERT(!IsNull() && IsDiagonal());
  if (m_numRows == 0) return true;
  for (int i = 0; i < m_numRows; ++i) {
    const double d = std::fabs(m_array[i]);
    if (d < tol || d < 1e-36) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------------------------
// Factorisation, solves, eigen-solve, norms

void QORMtxMatrix::Factorize(int* ipiv) {
  int info = 0;
  if (m_type == DIAG) {
    for (int i = 0; i < m_numRows; ++i) {
      QORMTX_ASSERT(m_array[i] != 0.0);
      m_array[i] = 1.0 / m_array[i];
    }
    return;
  }
  if (m_numRows == 0 || m_numCols == 0) return;
  if (m_type == SYMM) {
    const int n = m_numRows;
    const size_t workCount = static_cast<size_t>(n) * static_cast<size_t>(n);
    const int lwork = static_cast<int>(std::min<size_t>(workCount, INT_MAX));
    double* work = QORMtxUtilities::AllocateDouble(workCount);
    const char lower = 'L';
    blac_dsytrf(&lower, &n, m_array, &n, ipiv, work, &lwork, &info);
    QORMtxUtilities::Deallocate(work);
  } else {
    blac_dgetrf(&m_numRows, &m_numCols, m_array, &m_numRows, ipiv, &info);
  }
  QORMTX_ASSERT(info >= 0 && "QORMtxMatrix::Factorize");
}

void QORMtxMatrix::ForwardBackwardPass(const int* ipiv, QORMtxMatrix& B, bool transpose) const {
  const int nrhs = B.m_numCols;
  if (m_numRows == 0 || nrhs == 0) return;
  int info = 0;
  if (m_type == DIAG) {  // the factors are the reciprocals: the solve scales B's rows
    for (int j = 0; j < nrhs; ++j)
      for (int i = 0; i < m_numRows; ++i) B.m_array[static_cast<size_t>(m_numRows) * j + i] *= m_array[i];
    return;
  }
  if (m_type == SYMM) {
    const char lower = 'L';
    blac_dsytrs(&lower, &m_numRows, &nrhs, m_array, &m_numRows, ipiv, B.m_array, &m_numRows, &info);
  } else {
    const char trans = transpose ? kT : kN;
    blac_dgetrs(&trans, &m_numRows, &nrhs, m_array, &m_numRows, ipiv, B.m_array, &m_numRows, &info);
  }
  QORMTX_ASSERT(info >= 0 && "QORMtxMatrix::ForwardBackwardPass");
}

int QORMtxMatrix::SolveEigenproblemSymmetric(const QORMtxMatrix& B, QORMtxMatrix& Lambda, QORMtxMatrix& X) const {
  QORMTX_ASSERT(0 < m_numRows && m_numRows == m_numCols);
  QORMTX_ASSERT(!X.IsDiagonal());
  QORMTX_ASSERT(m_numRows == B.m_numRows && m_numRows == Lambda.m_numRows && m_numRows == X.m_numRows);
  QORMTX_ASSERT(m_numCols == B.m_numCols && m_numCols == X.m_numCols);
  QORMTX_ASSERT(IsDiagonal() || IsSymmetricNumerically());
  QORMTX_ASSERT(B.IsDiagonal() || B.IsSymmetricNumerically());
  const int n = m_numRows;
  // The kernel overwrites both matrices: X takes a full copy of this, a scratch matrix one of B.
  X.SetSlice(1.0, *this, 0, 0, false);
  QORMtxMatrix fullB(n, n);
  fullB.SetSlice(1.0, B, 0, 0, false);
  const int blockSizeQuery = 1, unset = -1;
  const int nb = blac_ilaenv(&blockSizeQuery, "DSYTRD", "L", &n, &unset, &unset, &unset);
  const int lwork = std::max((nb + 2) * n, 3 * n - 1);
  double* work = QORMtxUtilities::AllocateDouble(static_cast<size_t>(lwork));
  const int itype = 1;
  const char vectors = 'V', lower = 'L';
  int info = 0;
  blac_dsygv(&itype, &vectors, &lower, &n, X.m_array, &n, fullB.m_array, &n, Lambda.m_array, work, &lwork, &info);
  QORMtxUtilities::Deallocate(work);
  if (info == 0) return 0;
  if (info < 0) return 1;
  return info <= n ? 2 : 3;
}

namespace {
const int kRowMajor = 101;
}  // namespace

double QORMtxMatrix::Norm(char which) const {
  if (!m_array || m_numRows == 0 || m_numCols == 0) return 0.0;
  if (m_type == DIAG) {  // the kernel reads full storage
    QORMtxMatrix full(*this);
    full.ConvertToFull();
    return full.Norm(which);
  }
  return blac_lapacke_dlange(&kRowMajor, &which, &m_numRows, &m_numCols, m_array, &m_numCols);
}

void QORMtxMatrix::Properties(bool& ok, double& rcond) const {
  ok = true;
  rcond = 0.0;
  if (!m_array || m_numRows == 0 || m_numCols == 0) return;
  if (m_type == DIAG) {
    QORMtxMatrix full(*this);
    full.ConvertToFull();
    full.Properties(ok, rcond);
    return;
  }
  const size_t count = NumberOfValues();
  double* factors = QORMtxUtilities::AllocateDouble(count);
  Copy(count, m_array, factors);
  const int numPivots = std::min(m_numRows, m_numCols);
  int* ipiv = static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * static_cast<size_t>(numPivots)));
  const int info = blac_lapacke_dgetrf(&kRowMajor, &m_numRows, &m_numCols, factors, &m_numCols, ipiv);
  for (int i = 0; i < numPivots; ++i)
    if (ipiv[i] < 0) ok = false;
  // An exactly singular factor has no finite condition number: report it rather than ask the estimator.
  if (info > 0) ok = false;
  const char one = '1';
  const double anorm = blac_lapacke_dlange(&kRowMajor, &one, &m_numRows, &m_numCols, m_array, &m_numCols);
  if (info == 0) blac_lapacke_dgecon(&kRowMajor, &one, &m_numRows, factors, &m_numCols, &anorm, &rcond);
  mem_Free(ipiv);
  QORMtxUtilities::Deallocate(factors);
}

// ---------------------------------------------------------------------------------------------------------------
// Printing

void QORMtxMatrix::Output(FILE* outputFile, double zeroTol, int precision) const {
  QORMTX_ASSERT(outputFile && "Zero pointer to file");
  std::fprintf(outputFile, "%i %i %i\n", m_type == DIAG ? 1 : 0, m_numRows, m_numCols);
  std::vector<char> buf(static_cast<size_t>(std::max(precision, 0)) + 32);
  const size_t count = m_array ? NumberOfValues() : 0;
  for (size_t k = 0; k < count; ++k)
    std::fprintf(outputFile, "%s\n", QORMtxUtilities::DoubleToChar(m_array[k], buf.data(), zeroTol, precision));
}

void QORMtxMatrix::Mtx2Document(QORMtxDocument& doc, int width, int precision, double zeroTol) const {
  if (!m_array) {
    doc << cow_String("The matrix is NULL");
    doc.Endl();
    return;
  }
  doc << cow_String("    Matrix size: rows " + std::to_string(m_numRows) + ", columns " + std::to_string(m_numCols));
  doc.Endl();
  QORMtxTable table(doc);
  table.Format(7).Format(width).Precision(precision).Zero(static_cast<float>(zeroTol));
  if (m_type == DIAG) {
    table.Head("Row").Head("Diagonal value").Endl();
    for (int i = 0; i < m_numRows; ++i) table.Out(i).Out(m_array[i]).Endl();
    return;
  }
  table.Head("Row");
  for (int j = 0; j < m_numCols; ++j) table.Head(cow_String("Column " + std::to_string(j)));
  table.Endl();
  for (int i = 0; i < m_numRows; ++i) {
    table.Out(i);
    for (int j = 0; j < m_numCols; ++j) table.Out(m_array[Index(i, j)]);
    table.Endl();
  }
}

void QORMtxMatrix::Print2File(FILE* file, int width, int precision, double zeroTol, const char* title) const {
  aio_ostream out(file ? file : stdout);
  {
    QORMtxDocument doc(cow_String(title ? title : ""), QORMtxReportEnum::TEXT, out);
    Mtx2Document(doc, width, precision, zeroTol);
  }
  out.flush();
}

void QORMtxMatrix::Print(const char* fileName, int width, int precision, double zeroTol, const char* title) const {
  FILE* file = fileName ? QORBasFileOps::Fopen(fileName, "w") : stderr;
  const bool opened = fileName && file;
  if (!file) file = stdout;
  Print2File(file, width, precision, zeroTol, title);
  if (opened) std::fclose(file);
}
