// QORMtxComplexMatrix: in-core complex dense matrix of interleaved (re, im) pairs, owning or viewing its array.
#include "QORMtxComplexMatrix.h"

#include <algorithm>
#include <cstring>

#include "QORMtxArrayUtilities.h"
#include "QORMtxAssert.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxIntPieces.h"
#include "QORMtxUtilities.h"
#include "blac.h"

namespace {
const int kOne = 1;

using qormtx_detail::ForIntPieces;

// n interleaved entries from x to y; a piece starting at entry k starts at double 2·k.
void CopyEntries(size_t n, const double* x, double* y) {
  ForIntPieces(n, [&](size_t k, int cnt) { QORMtxBlaUtilities::Zcopy(cnt, x + 2 * k, 1, y + 2 * k, 1); });
}

// The complex type of re + i·im from the kinds of its parts (an absent part takes no part).
QORMtxComplexMatrix::MtxType PairType(const QORMtxMatrix& re, const QORMtxMatrix& im) {
  if (!im) return QORMtxComplexMatrix::MapMatrixType(re.Type());
  if (!re) return QORMtxComplexMatrix::MapMatrixType(im.Type());
  const int r = re.Type(), i = im.Type();
  if (r == i) return QORMtxComplexMatrix::MapMatrixType(re.Type());
  if ((r == QORMtxMatrix::DIAG && i == QORMtxMatrix::SYMM) || (r == QORMtxMatrix::SYMM && i == QORMtxMatrix::DIAG))
    return QORMtxComplexMatrix::SYMM;
  if (r == QORMtxMatrix::SYMM && i == QORMtxMatrix::SKEW) return QORMtxComplexMatrix::SYMMSKEW;
  return QORMtxComplexMatrix::UNKNOWN;
}
}  // namespace

// The two conditions with && inside || are kept exactly as their report text reads.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wparentheses"

// ---------------------------------------------------------------------------------------------------------------
// Construction, reset and ownership

QORMtxComplexMatrix::QORMtxComplexMatrix(int numRows, int numCols, MtxType type) { Reset(numRows, numCols, type); }

QORMtxComplexMatrix::QORMtxComplexMatrix(int numRows, int numCols, double* complexArray, MtxType type) {
  if (complexArray)
    Reset(numRows, numCols, complexArray, type);
  else
    Reset(numRows, numCols, type);
}

QORMtxComplexMatrix::QORMtxComplexMatrix(const QORMtxComplexMatrix& rhs) { Reset(rhs); }

QORMtxComplexMatrix::QORMtxComplexMatrix(const QORMtxMatrix& re, const QORMtxMatrix& im, double* buffer) {
  Reset(re, im, buffer);
}

QORMtxComplexMatrix::QORMtxComplexMatrix(const QORMtxReImMatrix& A) { Reset(A); }

QORMtxComplexMatrix& QORMtxComplexMatrix::operator=(const QORMtxComplexMatrix& rhs) {
  Reset(rhs);
  return *this;
}

void QORMtxComplexMatrix::ReleaseValues() {
  if (m_ownMem) QORMtxUtilities::Deallocate(m_array);
  m_array = nullptr;  // a viewed array stays with its owner
  m_ownMem = true;
}

void QORMtxComplexMatrix::SetStorage(int numRows, int numCols, MtxType type, double* view) {
  const size_t entries =
      type == DIAG ? static_cast<size_t>(numRows) : static_cast<size_t>(numRows) * static_cast<size_t>(numCols);
  // An owned array of the right length is kept; a viewed one is never resized, so it is replaced.
  if (view || !m_ownMem || NumberOfEntries() != entries) ReleaseValues();
  m_numRows = numRows;
  m_numCols = numCols;
  m_mtxType = type;
  if (view) {
    m_array = view;
    m_ownMem = false;
  } else if (!m_array) {
    m_array = QORMtxUtilities::AllocateDouble(2 * entries);
  }
}

void QORMtxComplexMatrix::Reset() {
  ReleaseValues();
  m_numRows = 0;
  m_numCols = 0;
  m_mtxType = UNKNOWN;
}

void QORMtxComplexMatrix::Reset(int numRows, int numCols, MtxType type) {
  if (numRows == 0 && numCols == 0) {
    Reset();
    return;
  }
  if (numRows <= 0 || numCols <= 0) QORMTX_ASSERT(0);
  if (type == DIAG) QORMTX_ASSERT(numRows == numCols);
  SetStorage(numRows, numCols, type, nullptr);
}

void QORMtxComplexMatrix::Reset(int numRows, int numCols, double* complexArray, MtxType type) {
  QORMTX_ASSERT(complexArray);
  QORMTX_ASSERT(numRows > 0 && numCols > 0);
  if (type == DIAG) QORMTX_ASSERT(numRows == numCols);
  SetStorage(numRows, numCols, type, complexArray);
}

void QORMtxComplexMatrix::Reset(const QORMtxComplexMatrix& rhs) {
  if (&rhs == this) return;
  if (!rhs) {
    Reset();
    return;
  }
  SetStorage(rhs.m_numRows, rhs.m_numCols, rhs.m_mtxType, nullptr);
  CopyEntries(NumberOfEntries(), rhs.m_array, m_array);
}

void QORMtxComplexMatrix::Reset(const QORMtxMatrix& re, const QORMtxMatrix& im, double* buffer) {
  if (!re && !im) {
    Reset();
    return;
  }
  QORMTX_ASSERT(!re || !im || re.NumberOfRows() == im.NumberOfRows() && re.NumberOfColumns() == im.NumberOfColumns());
  const QORMtxMatrix& part = !re ? im : re;
  SetStorage(part.NumberOfRows(), part.NumberOfColumns(), PairType(re, im), buffer);
  QORMTX_ASSERT(m_array);
  Interleave(re, im);
}

void QORMtxComplexMatrix::Reset(const QORMtxReImMatrix& A) { Reset(A.Re(), A.Im(), nullptr); }

QORMtxComplexMatrix::MtxType QORMtxComplexMatrix::MapMatrixType(QORMtxMatrix::MtxType type) {
  switch (type) {
    case QORMtxMatrix::DIAG:
      return DIAG;
    case QORMtxMatrix::SYMM:
      return SYMM;
    case QORMtxMatrix::SKEW:
      return HERM;
    default:
      return UNKNOWN;
  }
}

QORMtxReImMatrix::MtxType QORMtxComplexMatrix::ReImMatrixType() const {
  return m_mtxType <= SYMMSKEW ? static_cast<QORMtxReImMatrix::MtxType>(m_mtxType) : QORMtxReImMatrix::UNKNOWN;
}

// ---------------------------------------------------------------------------------------------------------------
// Values and arithmetic

void QORMtxComplexMatrix::Assign(const QORMtxComplexMatrix& rhs) {
  QORMTX_ASSERT(m_numRows == rhs.NumberOfRows() && m_numCols == rhs.NumberOfColumns());
  const size_t length = LengthOfArray();
  QORMTX_ASSERT(length == rhs.LengthOfArray());
  if (&rhs == this) return;
  CopyEntries(NumberOfEntries(), rhs.m_array, m_array);
}

void QORMtxComplexMatrix::Assign(double re, double im) {
  if (!m_array) return;
  if (re == 0.0 && im == 0.0) {
    std::memset(m_array, 0, sizeof(double) * LengthOfArray());
    return;
  }
  const double z[2] = {re, im};
  ForIntPieces(NumberOfEntries(), [&](size_t k, int cnt) { QORMtxBlaUtilities::Zcopy(cnt, z, 0, m_array + 2 * k, 1); });
}

void QORMtxComplexMatrix::Multiply(double re, double im) {
  const double z[2] = {re, im};
  ForIntPieces(NumberOfEntries(), [&](size_t k, int cnt) {
    if (im == 0.0)
      blac_zdscal(&cnt, &re, m_array + 2 * k, &kOne);
    else
      blac_zscal(&cnt, z, m_array + 2 * k, &kOne);
  });
}

double QORMtxComplexMatrix::MaxAbsValue() const {
  // izamax ranks by |re| + |im|, not by the modulus, so the moduli are compared here.
  double largest = 0.0;
  for (size_t k = 0, n = NumberOfEntries(); k < n; ++k) {
    double a;
    qormtx_complex_abs(m_array + 2 * k, &a);
    largest = std::max(largest, a);
  }
  return largest;
}

double QORMtxComplexMatrix::VecNorm() const {
  QORMTX_ASSERT(m_numCols == 1);
  double sum = 0.0;  // dzasum would sum |re| + |im|
  for (size_t k = 0, n = NumberOfEntries(); k < n; ++k) {
    double a;
    qormtx_complex_abs(m_array + 2 * k, &a);
    sum += a;
  }
  return sum;
}

bool QORMtxComplexMatrix::IsSingular() const {
  QORMTX_ASSERT(IsDiagonal() && m_numRows > 0);
  for (int i = 0; i < m_numRows; ++i) {
    double a;
    qormtx_complex_abs(m_array + 2 * static_cast<size_t>(i), &a);
    if (a < 1e-36) return true;
  }
  return false;
}

void QORMtxComplexMatrix::Invert() {
  QORMTX_ASSERT(IsDiagonal() && m_numRows > 0);
  qormtx_array_invert(&m_numRows, m_array);
}

// ---------------------------------------------------------------------------------------------------------------
// Split and assembly by parts

void QORMtxComplexMatrix::Interleave(const QORMtxMatrix& re, const QORMtxMatrix& im) {
  // Parts of this storage kind interleave entry by entry (an absent or other-kind part gives zeros first) ...
  const bool diag = IsDiagonal();
  auto sameKind = [diag](const QORMtxMatrix& p) { return !!p && p.IsDiagonal() == diag; };
  QORMtxArrayUtilities::SetReIm(NumberOfEntries(), sameKind(re) ? re.Values() : nullptr,
                                sameKind(im) ? im.Values() : nullptr, m_array);
  // ... and a part of the other kind meets this only on the diagonal: its diagonal goes into its component there.
  const int step = m_numRows + 1;
  const QORMtxMatrix* parts[2] = {&re, &im};
  for (int c = 0; c < 2; ++c) {
    const QORMtxMatrix& p = *parts[c];
    if (!p || sameKind(p)) continue;
    QORMtxBlaUtilities::Dcopy(m_numRows, p.Values(), diag ? step : 1, m_array + c, diag ? 2 : 2 * step);
  }
}

void QORMtxComplexMatrix::ReIm(QORMtxMatrix& re, QORMtxMatrix& im) const {
  QORMTX_ASSERT(re.NumberOfRows() == m_numRows && im.NumberOfRows() == m_numRows);
  QORMTX_ASSERT(re.NumberOfColumns() == m_numCols && im.NumberOfColumns() == m_numCols);
  QORMTX_ASSERT(re.IsDiagonal() && im.IsDiagonal() && IsDiagonal() ||
                !re.IsDiagonal() && !im.IsDiagonal() && !IsDiagonal());
  if (!m_array) return;
  QORMtxArrayUtilities::GetReIm(NumberOfEntries(), re.Values(), im.Values(), m_array);
}

void QORMtxComplexMatrix::ReIm(QORMtxReImMatrix& A, int startRow, int lastRow, int startCol, int lastCol) const {
  QORMTX_ASSERT(startRow == 0 && lastRow == -1 && startCol == 0 && lastCol == -1);
  if (!m_array) {
    A.Reset();
    return;
  }
  A.Reset(m_numRows, m_numCols, ReImMatrixType());
  ReIm(A.Re(), A.Im());
}

void QORMtxComplexMatrix::SetReIm(const QORMtxMatrix& re, const QORMtxMatrix& im, int startRow, int lastRow,
                                  int startCol, int lastCol) {
  QORMTX_ASSERT(startRow == 0 && lastRow == -1 && startCol == 0 && lastCol == -1);
  QORMTX_ASSERT(!re || !im || re.NumberOfRows() == im.NumberOfRows() && re.NumberOfColumns() == im.NumberOfColumns());
  const QORMtxMatrix& part = !re ? im : re;
  const int numRows = part.NumberOfRows();
  const int numCols = part.NumberOfColumns();
  QORMTX_ASSERT(m_numRows == numRows && m_numCols == numCols);
  if (m_array) Interleave(re, im);
}

void QORMtxComplexMatrix::SetReIm(const QORMtxReImMatrix& A, int startRow, int lastRow, int startCol, int lastCol) {
  SetReIm(A.Re(), A.Im(), startRow, lastRow, startCol, lastCol);
}

#pragma GCC diagnostic pop

// ---------------------------------------------------------------------------------------------------------------
// Blocks

void QORMtxComplexMatrix::GetBlock(int startRow, int startCol, QORMtxComplexMatrix& block) const {
  QORMTX_ASSERT(m_mtxType == UNKNOWN);
  QORMTX_ASSERT(block.Type() == UNKNOWN);
  if (!block) return;
  const int numBlkRows = block.NumberOfRows();
  const int numBlkCols = block.NumberOfColumns();
  QORMTX_ASSERT(startRow + numBlkRows - 1 < m_numRows);
  QORMTX_ASSERT(startCol + numBlkCols - 1 < m_numCols);
  QORMtxBlaUtilities::Zlacpy('A', numBlkRows, numBlkCols, Values(startRow, startCol), m_numRows, block.m_array,
                             numBlkRows);
}

void QORMtxComplexMatrix::Block(int mode, int startRowA, int startColA, const double* alpha,
                                const QORMtxComplexMatrix& B, int startRowB, int endRowB, int startColB, int endColB,
                                int numThreads) {
  const int numRowsB = B.NumberOfRows();
  const int numColsB = B.NumberOfColumns();
  const int nARows = endRowB - startRowB + 1;
  const int nACols = endColB - startColB + 1;
  QORMTX_ASSERT(!IsDiagonal());
  QORMTX_ASSERT(startRowA >= 0 && startRowA < m_numRows);
  QORMTX_ASSERT(startColA >= 0 && startColA < m_numCols);
  QORMTX_ASSERT(startRowB >= 0 && startRowB < numRowsB && endRowB >= 0 && endRowB < numRowsB);
  QORMTX_ASSERT(startColB >= 0 && startColB < numColsB && endColB >= 0 && endColB < numColsB);
  QORMTX_ASSERT(startRowA + nARows - 1 < m_numRows);
  QORMTX_ASSERT(startColA + nACols - 1 < m_numCols);
  if (nARows <= 0 || nACols <= 0) return;
  if (B.IsDiagonal()) {
    // The diagonal entries k inside the B range sit on a diagonal line of this: one strided element product,
    // this = alpha·d·1 + mode·this.
    const int k0 = std::max(startRowB, startColB), k1 = std::min(endRowB, endColB);
    if (k0 > k1) return;
    const int count = k1 - k0 + 1, step = m_numRows + 1, zero = 0;
    const double one[2] = {1.0, 0.0}, beta[2] = {static_cast<double>(mode), 0.0};
    qormtx_array_multiply(&count, alpha, B.Values(k0, k0), &kOne, one, &zero, beta,
                          Values(startRowA + k0 - startRowB, startColA + k0 - startColB), &step);
    return;
  }
  const double* b = B.Values(startRowB, startColB);
  double* a = Values(startRowA, startColA);
  if (mode == 0) {
    QORMtxBlaUtilities::Zomatcopy('N', nARows, nACols, alpha, b, numRowsB, a, m_numRows);
    return;
  }
  for (int j = 0; j < nACols; ++j)
    QORMtxBlaUtilities::Zaxpy(nARows, alpha, b + 2 * static_cast<size_t>(numRowsB) * j, 1,
                              a + 2 * static_cast<size_t>(m_numRows) * j, 1, numThreads);
}

namespace {
const double kUnit[2] = {1.0, 0.0};
}

void QORMtxComplexMatrix::SetBlock(int startRowA, int startColA, const QORMtxComplexMatrix& B, int startRowB,
                                   int endRowB, int startColB, int endColB, int numThreads) {
  Block(0, startRowA, startColA, kUnit, B, startRowB, endRowB, startColB, endColB, numThreads);
}

void QORMtxComplexMatrix::SetBlock(int startRowA, int startColA, double alphaRe, double alphaIm,
                                   const QORMtxComplexMatrix& B, int startRowB, int endRowB, int startColB, int endColB,
                                   int numThreads) {
  const double alpha[2] = {alphaRe, alphaIm};
  Block(0, startRowA, startColA, alpha, B, startRowB, endRowB, startColB, endColB, numThreads);
}

void QORMtxComplexMatrix::SetBlock(int startRowA, int startColA, const QORMtxMatrix& re, const QORMtxMatrix& im,
                                   int startRowB, int endRowB, int startColB, int endColB, int numThreads) {
  Block(0, startRowA, startColA, kUnit, QORMtxComplexMatrix(re, im, nullptr), startRowB, endRowB, startColB, endColB,
        numThreads);
}

void QORMtxComplexMatrix::SetBlock(int startRowA, int startColA, double alphaRe, double alphaIm, const QORMtxMatrix& re,
                                   const QORMtxMatrix& im, int startRowB, int endRowB, int startColB, int endColB,
                                   int numThreads) {
  const double alpha[2] = {alphaRe, alphaIm};
  Block(0, startRowA, startColA, alpha, QORMtxComplexMatrix(re, im, nullptr), startRowB, endRowB, startColB, endColB,
        numThreads);
}

void QORMtxComplexMatrix::AddBlock(int startRowA, int startColA, const QORMtxComplexMatrix& B, int startRowB,
                                   int endRowB, int startColB, int endColB, int numThreads) {
  Block(1, startRowA, startColA, kUnit, B, startRowB, endRowB, startColB, endColB, numThreads);
}

void QORMtxComplexMatrix::AddBlock(int startRowA, int startColA, double alphaRe, double alphaIm,
                                   const QORMtxComplexMatrix& B, int startRowB, int endRowB, int startColB, int endColB,
                                   int numThreads) {
  const double alpha[2] = {alphaRe, alphaIm};
  Block(1, startRowA, startColA, alpha, B, startRowB, endRowB, startColB, endColB, numThreads);
}

void QORMtxComplexMatrix::AddBlock(int startRowA, int startColA, const QORMtxMatrix& re, const QORMtxMatrix& im,
                                   int startRowB, int endRowB, int startColB, int endColB, int numThreads) {
  Block(1, startRowA, startColA, kUnit, QORMtxComplexMatrix(re, im, nullptr), startRowB, endRowB, startColB, endColB,
        numThreads);
}

void QORMtxComplexMatrix::AddBlock(int startRowA, int startColA, double alphaRe, double alphaIm, const QORMtxMatrix& re,
                                   const QORMtxMatrix& im, int startRowB, int endRowB, int startColB, int endColB,
                                   int numThreads) {
  const double alpha[2] = {alphaRe, alphaIm};
  Block(1, startRowA, startColA, alpha, QORMtxComplexMatrix(re, im, nullptr), startRowB, endRowB, startColB, endColB,
        numThreads);
}

// ---------------------------------------------------------------------------------------------------------------
// Printing

void QORMtxComplexMatrix::Print(const char* title, int width, double zeroTol) const {
  QORMtxReImMatrix(*this).Print(title, width, zeroTol);
}
