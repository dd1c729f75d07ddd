// QORMtxBLA: level-3 dense linear algebra on in-core and stored matrices (sums, products, solves, eigen solves).
#include "QORMtxBLA.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "QORBasVector.h"
#include "QORMtxAssert.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxIntPieces.h"
#include "QORMtxMatrix.h"
#include "QORMtxReImMatrix.h"
#include "QORMtxTimer.h"
#include "QORMtxBands.h"
#include "QORMtxUtilities.h"
#include "blac.h"

// Several preconditions are quoted verbatim in the form `x || y && z`; their text is part of the fatal message.
#pragma GCC diagnostic ignored "-Wparentheses"

using qormtx_detail::ForIntPieces;

namespace {

const int kOne = 1;
const int kZero = 0;

// Real operands: anything but NOOP transposes.
char RealLetter(QORMtxBLA::Operation op) { return op == QORMtxBLA::NOOP ? 'N' : 'T'; }

// The symmetry flag a real product hands to the kernel; HERM means nothing for real values.
int RealSymmetryFlag(QORMtxBLA::ResultType type) {
  if (type == QORMtxBLA::SYMM) return 1;
  if (type == QORMtxBLA::SKEW) return -1;
  return 0;
}

// Complex operands: conjugate transposition has its own letter.
char ComplexLetter(QORMtxBLA::Operation op) {
  return op == QORMtxBLA::NOOP ? 'N' : op == QORMtxBLA::CONJTRANS ? 'C' : 'T';
}

// Rows and columns of op(X), for any of the matrix classes.
template <class Mtx>
void OpShape(const Mtx& X, QORMtxBLA::Operation op, int& rows, int& cols) {
  rows = op == QORMtxBLA::NOOP ? X.NumberOfRows() : X.NumberOfColumns();
  cols = op == QORMtxBLA::NOOP ? X.NumberOfColumns() : X.NumberOfRows();
}

// op(A) is nRowsA × nColsA, op(B) nColsA × nColsB, C their product's shape: checked once for every product.
struct ProductShape {
  int nRowsA, nColsA, nColsB;
};
template <class MA, class MB, class MC>
ProductShape CheckedShape(const MA& A, QORMtxBLA::Operation opA, const MB& B, QORMtxBLA::Operation opB, const MC& C) {
  int nRowsA = 0, nColsA = 0, nRowsB = 0, nColsB = 0;
  OpShape(A, opA, nRowsA, nColsA);
  OpShape(B, opB, nRowsB, nColsB);
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(nRowsB == nColsA);
  QORMTX_ASSERT(nRowsA == numRowsC);
  QORMTX_ASSERT(nColsB == numColsC);
  return {nRowsA, nColsA, nColsB};
}

size_t At(int ld, int i, int j) { return static_cast<size_t>(ld) * static_cast<size_t>(j) + static_cast<size_t>(i); }

// The result of a sum is kept when it already has the shape and type, otherwise given fresh n × n storage.
void ShapeSum(QORMtxMatrix& C, int n, QORMtxMatrix::MtxType type) {
  if (!!C && C.NumberOfRows() == n && C.NumberOfColumns() == n && C.Type() == type) return;
  C.Reset(n, n, type);
}

// The start both sums share: with no contributing operand, or an order of 0, C is left empty. Returns the order n
// (rows of A when present, else of B), 0 when the sum is done.
int SumOrder(bool useA, bool useB, const QORMtxMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& C) {
  const int n = !useA && !useB ? 0 : !!A ? A.NumberOfRows() : B.NumberOfRows();
  if (n == 0) C.Reset();
  return n;
}

// The passes both sums make, in one order: a lone contributor is written alone, two operands of one layout in one
// pass, otherwise the full operand first and the diagonal one accumulated along C's diagonal. write(isA) writes
// factor·operand over C, writeBoth() the two-operand pass, addDiagonal(isA) accumulates an operand on the diagonal.
template <class Write, class WriteBoth, class AddDiagonal>
void SumPasses(bool useA, bool useB, bool sameLayout, bool diagonalB, Write write, WriteBoth writeBoth,
               AddDiagonal addDiagonal) {
  if (!useA) {
    write(false);
  } else if (!useB) {
    write(true);
  } else if (sameLayout) {
    writeBoth();
  } else if (diagonalB) {
    write(true);
    addDiagonal(false);
  } else {
    write(false);
    addDiagonal(true);
  }
}

// A diagonal operand lands on the diagonal of a full result: every (n + 1)-th value of the column-major array.
int SumStride(const QORMtxMatrix& X, const QORMtxMatrix& C, int n) {
  return X.IsDiagonal() && !C.IsDiagonal() ? n + 1 : 1;
}

// Flips a stored matrix to its transpose for the guard's lifetime.
class FlipGuard {
 public:
  FlipGuard(QORMtxDenseMatrix& m, bool flip) : m_m(m), m_flip(flip) {
    if (m_flip) m_m.Transpose();
  }
  ~FlipGuard() {
    if (m_flip) m_m.Transpose();
  }
  FlipGuard(const FlipGuard&) = delete;
  FlipGuard& operator=(const FlipGuard&) = delete;

 private:
  QORMtxDenseMatrix& m_m;
  bool m_flip;
};

// A full SYMM copy of a diagonal matrix, zeros off the diagonal (d null: the identity).
void ExpandDiagonal(int n, const double* d, QORMtxMatrix& full) {
  full.Reset(n, n, QORMtxMatrix::SYMM);
  full.Assign(0.0);
  for (int i = 0; i < n; ++i) full.FastGet(i, i) = d ? d[i] : 1.0;
}

// z(k·stride) = a·x(k) + s·y(k), overwriting or accumulating; a zero factor leaves its operand unread.
void Axsy(int count, double a, const double* x, int s, const double* y, double* z, int stride, int accumulate) {
  qormtx_daxsyzi(&count, &a, x, &s, y, z, &stride, &accumulate);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Sums, fills, scaling
// ---------------------------------------------------------------------------------------------------------------

QORMtxMatrix::MtxType QORMtxBLA::MatrixType(const QORMtxMatrix& A, const QORMtxMatrix& B) {
  if (!A && !B) return QORMtxMatrix::UNKNOWN;
  if (!A) return B.Type();
  if (!B) return A.Type();
  const QORMtxMatrix::MtxType ta = A.Type(), tb = B.Type();
  if (ta == QORMtxMatrix::DIAG && tb == QORMtxMatrix::DIAG) return QORMtxMatrix::DIAG;
  const bool symmA = ta == QORMtxMatrix::DIAG || ta == QORMtxMatrix::SYMM;
  const bool symmB = tb == QORMtxMatrix::DIAG || tb == QORMtxMatrix::SYMM;
  return symmA && symmB ? QORMtxMatrix::SYMM : QORMtxMatrix::UNKNOWN;
}

void QORMtxBLA::Add(double a, const QORMtxMatrix& A, int s, const QORMtxMatrix& B, QORMtxMatrix& C) {
  QORMTX_ASSERT(&C != &A && &C != &B);
  const bool useA = a != 0.0 && !!A;
  const bool useB = s != 0 && !!B;
  const int n = SumOrder(useA, useB, A, B, C);
  if (n == 0) return;
  QORMTX_ASSERT(!A || A.IsSquare() && A.NumberOfRows() == n);
  QORMTX_ASSERT(!B || B.IsSquare() && B.NumberOfRows() == n);
  ShapeSum(C, n, MatrixType(A, B));

  const int strideA = SumStride(A, C, n), strideB = SumStride(B, C, n);
  double* c = C.Values();
  // A lone diagonal written into a full C would leave the off-diagonal entries as they were; they are part of
  // the sum and must be 0.
  if ((!useA && strideB != 1) || (!useB && strideA != 1)) C.Assign(0.0);
  // One operand's pass, along its own stride into C.
  const auto pass = [&](bool isA, int accumulate) {
    const QORMtxMatrix& X = isA ? A : B;
    const size_t stride = static_cast<size_t>(isA ? strideA : strideB);
    ForIntPieces(X.LengthOfArray(), [&](size_t off, int cnt) {
      if (isA)
        Axsy(cnt, a, A.Values() + off, 0, nullptr, c + off * stride, strideA, accumulate);
      else
        Axsy(cnt, 0.0, nullptr, s, B.Values() + off, c + off * stride, strideB, accumulate);
    });
  };
  const auto writeBoth = [&] {
    ForIntPieces(A.LengthOfArray(), [&](size_t off, int cnt) {
      Axsy(cnt, a, A.Values() + off, s, B.Values() + off, c + off * static_cast<size_t>(strideA), strideA, 0);
    });
  };
  const auto write = [&](bool isA) { pass(isA, 0); };
  const auto addDiagonal = [&](bool isA) { pass(isA, 1); };
  SumPasses(useA, useB, strideA == strideB, strideA == 1, write, writeBoth, addDiagonal);
}

void QORMtxBLA::Add(double a, const QORMtxMatrix& A, double b, const QORMtxMatrix& B, QORMtxMatrix& C, int numThreads) {
  QORMTX_ASSERT(&C != &A && &C != &B);
  const bool useA = a != 0.0 && !!A;
  const bool useB = b != 0.0 && !!B;
  const int n = SumOrder(useA, useB, A, B, C);
  if (n == 0) return;
  QORMTX_ASSERT(!A || !!A && A.IsSquare() && A.NumberOfRows() == n);
  QORMTX_ASSERT(!B || !!B && B.IsSquare() && B.NumberOfRows() == n);
  ShapeSum(C, n, !useA ? B.Type() : !useB ? A.Type() : MatrixType(A, B));

  // Signed counts, so that they compare with n as the conditions are written.
  const long long numValA = A.LengthOfArray(), numValB = B.LengthOfArray(), numValC = C.LengthOfArray();
  double* c = C.Values();
  const auto write = [&](bool isA) {
    if (isA)
      QORMTX_ASSERT(numValA == numValC);
    else
      QORMTX_ASSERT(numValB == numValC);
    QORMtxBlaUtilities::Domatcopy('N', numValC, 1, isA ? a : b, (isA ? A : B).Values(), numValC, c, numValC);
  };
  const auto writeBoth = [&] {
    QORMTX_ASSERT(numValA == numValC);
    QORMtxBlaUtilities::Domatadd('N', 'N', numValC, 1, a, A.Values(), numValC, b, B.Values(), numValC, c, numValC);
  };
  const auto addDiagonal = [&](bool isA) {
    if (isA)
      QORMTX_ASSERT(numValA == n);
    else
      QORMTX_ASSERT(numValB == n);
    QORMtxBlaUtilities::Daxpy(n, isA ? a : b, (isA ? A : B).Values(), 1, c, n + 1, numThreads);
  };
  SumPasses(useA, useB, numValA == numValB, numValB < numValA, write, writeBoth, addDiagonal);
}

void QORMtxBLA::Add(double a, const QORMtxMatrix& A, double b, const QORMtxMatrix& B, double c, QORMtxMatrix& C) {
  if (a != 0.0) QORMTX_ASSERT(!!A);
  if (b != 0.0) QORMTX_ASSERT(!!B);
  QORMTX_ASSERT(!!C);
  QORMTX_ASSERT(A.IsDiagonal() && B.IsDiagonal() && C.IsDiagonal() ||
                !A.IsDiagonal() && !B.IsDiagonal() && !C.IsDiagonal());
  const int numRowsA = A.NumberOfRows(), numRowsB = B.NumberOfRows(), numRowsC = C.NumberOfRows();
  const int numColsA = A.NumberOfColumns(), numColsB = B.NumberOfColumns(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(numRowsA == numRowsB && numRowsB == numRowsC && numColsA == numColsB && numColsB == numColsC);
  const size_t count = A.IsDiagonal() ? static_cast<size_t>(numRowsA) : A.LengthOfArray();
  ForIntPieces(count, [&](size_t off, int cnt) {
    QORMtxBlaUtilities::Daxpby(cnt, b, B.Values() + off, 1, c, C.Values() + off, 1, 0);
    QORMtxBlaUtilities::Daxpy(cnt, a, A.Values() + off, 1, C.Values() + off, 1, 0);
  });
}

void QORMtxBLA::Assign(double v, QORMtxMatrix& C, int numThreads) {
  if (!C) return;
  ForIntPieces(C.LengthOfArray(), [&](size_t off, int cnt) {
    QORMtxBlaUtilities::Dcopy(cnt, &v, 0, C.Values() + off, 1, numThreads);
  });
}

void QORMtxBLA::Scale(double s, QORMtxMatrix& C, int numThreads) {
  if (!C) return;
  ForIntPieces(C.LengthOfArray(), [&](size_t off, int cnt) {
    QORMtxBlaUtilities::Dscal(cnt, s, C.Values() + off, 1, numThreads);
  });
}

// ---------------------------------------------------------------------------------------------------------------
// In-core real product
// ---------------------------------------------------------------------------------------------------------------

void QORMtxBLA::Multiply(double alpha, const QORMtxMatrix& A, Operation opA, const QORMtxMatrix& B, Operation opB,
                         double beta, QORMtxMatrix& C, ResultType typeC, int numThreads) {
  QORMTX_ASSERT(!!A && !!B && !!C);
  if (C.IsDiagonal()) QORMTX_ASSERT(A.IsDiagonal() && B.IsDiagonal());
  const ProductShape shape = CheckedShape(A, opA, B, opB, C);
  const int nRowsA = shape.nRowsA, nColsA = shape.nColsA, nColsB = shape.nColsB;

  const double* a = A.Values();
  const double* b = B.Values();
  double* c = C.Values();
  const int lda = A.NumberOfRows(), ldb = B.NumberOfRows(), ldc = C.NumberOfRows();

  if (A.IsDiagonal() && B.IsDiagonal()) {
    const int n = nRowsA;
    int step = 1;
    if (!C.IsDiagonal()) {
      // The whole of C takes part in beta·C; the diagonal then receives the product.
      if (beta == 0.0)
        C.Assign(0.0);
      else
        QORMtxBlaUtilities::Dscal(C.NumberOfEntries(), beta, c, 1, numThreads);
      step = n + 1;
    }
    const double diagBeta = C.IsDiagonal() ? beta : 1.0;
    qormtx_darray_multiply(&n, &alpha, a, &kOne, b, &kOne, &diagBeta, c, &step);
    return;
  }
  if (A.IsDiagonal()) {  // rows of op(B) scaled: column j of C = alpha·(a ∘ op(B)(:, j)) + beta·C(:, j)
    const int incb = opB == NOOP ? 1 : ldb;
    for (int j = 0; j < nColsB; ++j) {
      const double* bj = opB == NOOP ? b + At(ldb, 0, j) : b + j;
      qormtx_darray_multiply(&nRowsA, &alpha, a, &kOne, bj, &incb, &beta, c + At(ldc, 0, j), &kOne);
    }
    return;
  }
  if (B.IsDiagonal()) {  // columns of op(A) scaled: column j of C = alpha·B(j, j)·op(A)(:, j) + beta·C(:, j)
    const int inca = opA == NOOP ? 1 : lda;
    for (int j = 0; j < nColsB; ++j) {
      const double* aj = opA == NOOP ? a + At(lda, 0, j) : a + j;
      qormtx_darray_multiply(&nRowsA, &alpha, b + j, &kZero, aj, &inca, &beta, c + At(ldc, 0, j), &kOne);
    }
    return;
  }
  QORMtxBlaUtilities::Multiply(RealLetter(opA), RealLetter(opB), nRowsA, nColsB, nColsA, alpha, a, lda, b, ldb, beta, c,
                               ldc, RealSymmetryFlag(typeC), numThreads);
}

// ---------------------------------------------------------------------------------------------------------------
// Products with a stored operand
// ---------------------------------------------------------------------------------------------------------------

void QORMtxBLA::Multiply(double alpha, const QORMtxDenseMatrix& A, Operation opA, const QORMtxMatrix& B, Operation opB,
                         double beta, QORMtxMatrix& C, ResultType typeC, int numThreads) {
  QORMTX_ASSERT(!!C);
  if (alpha == 0.0) {
    C.Multiply(beta);
    return;
  }
  QORMTX_ASSERT(C.Type() != QORMtxMatrix::DIAG);
  QORMTX_ASSERT(typeC == UNKNOWN);
  // The condition is reported as written, so its spacing is kept.
  // clang-format off
  QORMTX_ASSERT(!!A &&!!B);
  // clang-format on
  // The stored matrix is flipped in place (no values move), so that its rows and blocks below are those of op(A);
  // the guard flips it back on every way out, an allocation failure included.
  const FlipGuard flip(const_cast<QORMtxDenseMatrix&>(A), opA != NOOP);
  const QORMtxDenseMatrix& stored = A;
  int nRowsB = 0, nColsB = 0;
  OpShape(B, opB, nRowsB, nColsB);
  const int numRowsA = stored.NumberOfRows(), numColsA = stored.NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(nRowsB == numColsA);
  QORMTX_ASSERT(numRowsA == numRowsC);
  QORMTX_ASSERT(nColsB == numColsC);

  // A stored A without columns still scales C by beta: no reads, an empty inner dimension.
  const int maxRowsInBuffer = std::min(numRowsA, QORMtxUtilities::MaxDoublesInBuffer(0.1) / std::max(1, numColsA));
  const int maxRowsInBlk = stored.MaxNumberOfRowsInBlock();
  QORMTX_ASSERT(maxRowsInBlk <= maxRowsInBuffer && "QORMtxBLA::Multiply:QORMtxDenseMatrix block of rows > 16Gb");
  // Whole row blocks per pass, as many as the buffer holds (at least one).
  const int k = maxRowsInBlk > 0 ? std::max(1, maxRowsInBuffer / maxRowsInBlk) : 1;
  QORMtxTimer timer;
  timer.Start();
  qormtx_bands::Loop loop(qormtx_bands::Axis::Rows, qormtx_bands::Geometry::Blocks(stored, qormtx_bands::Axis::Rows, k));
  loop.Source(stored);
  const qormtx_bands::Stats stats = loop.Run([&](qormtx_bands::Band& band, qormtx_bands::Context&) {
    const int rows = band.rows;
    if (B.IsDiagonal()) {  // column j of the band scaled by B(j, j): the diagonal is never expanded
      for (int j = 0; j < numColsC; ++j)
        qormtx_darray_multiply(&rows, &alpha, B.Values() + j, &kZero, band.in + At(rows, 0, j), &kOne, &beta,
                               C.Values(band.r0, j), &kOne);
      return;
    }
    QORMtxBlaUtilities::Multiply('N', RealLetter(opB), rows, numColsC, numColsA, alpha, band.in, rows, B.Values(),
                                 B.NumberOfRows(), beta, C.Values(band.r0, 0), numRowsC, 0, numThreads);
  });
  if (QORMtxUtilities::Debug())
    std::fprintf(stderr, "QORMtxBLA::Multiply: %d x %d stored A by row blocks, %d passes\n", numRowsA, numColsA,
                 stats.passes);
  timer.Stop().Print("QORMtxBLA::Multiply (stored A)");
}

void QORMtxBLA::Multiply(double alpha, const QORMtxMatrix& A, Operation opA, const QORMtxMatrix& B, Operation opB,
                         double beta, QORMtxDenseMatrix& C, ResultType typeC, int numThreads) {
  QORMTX_ASSERT(!!A && !!B && !!C);
  QORMTX_ASSERT(A.Type() != QORMtxMatrix::DIAG);
  QORMTX_ASSERT(B.Type() != QORMtxMatrix::DIAG);
  QORMTX_ASSERT(typeC != DIAG);
  const ProductShape shape = CheckedShape(A, opA, B, opB, C);
  const int nRowsA = shape.nRowsA, nColsA = shape.nColsA, nColsB = shape.nColsB;
  // Column ranges of C that fit the buffer; a single column larger than the buffer still goes one per pass.
  const int width =
      std::max(1, std::min(nColsB, QORMtxUtilities::MaxDoublesInBuffer(0.1) / std::max(1, nRowsA)));
  QORMtxTimer timer;
  timer.Start();
  qormtx_bands::Loop loop(qormtx_bands::Axis::Columns, qormtx_bands::Geometry::Ranges(nColsB, width));
  loop.Source(C, 0, -1, beta != 0.0).Target(C);  // with beta = 0 the stored C is never read
  const qormtx_bands::Stats stats = loop.Run([&](qormtx_bands::Band& band, qormtx_bands::Context&) {
    const int j0 = band.along.first, cols = band.along.count;
    const double* b = opB == NOOP ? B.Values(0, j0) : B.Values(j0, 0);
    // The symmetry of C says nothing of a column range, only of the whole.
    const int flag = cols == nColsB ? RealSymmetryFlag(typeC) : 0;
    QORMtxBlaUtilities::Multiply(RealLetter(opA), RealLetter(opB), nRowsA, cols, nColsA, alpha, A.Values(),
                                 A.NumberOfRows(), b, B.NumberOfRows(), beta, band.out, nRowsA, flag, numThreads);
  });
  if (QORMtxUtilities::Debug())
    std::fprintf(stderr, "QORMtxBLA::Multiply: %d x %d stored C by column ranges of %d, %d passes\n", nRowsA,
                 nColsB, width, stats.passes);
  timer.Stop().Print("QORMtxBLA::Multiply (stored C)");
}

// ---------------------------------------------------------------------------------------------------------------
// Complex products
// ---------------------------------------------------------------------------------------------------------------

namespace {

// A conjugated copy of X, for a diagonal path that meets CONJTRANS: the element kernels do not conjugate.
const QORMtxComplexMatrix& Conjugated(const QORMtxComplexMatrix& X, QORMtxBLA::Operation op,
                                      QORMtxComplexMatrix& scratch) {
  if (op != QORMtxBLA::CONJTRANS) return X;
  scratch.Reset(X);
  double* v = scratch.Values();
  const size_t length = scratch.LengthOfArray();
  for (size_t k = 1; k < length; k += 2) v[k] = -v[k];
  return scratch;
}

// A part as a full matrix of the given shape: an absent part reads as zeros, a diagonal one is expanded.
const QORMtxMatrix& FullPart(const QORMtxMatrix& part, int rows, int cols, QORMtxMatrix& scratch) {
  if (!!part && !part.IsDiagonal()) return part;
  scratch.Reset(rows, cols, QORMtxMatrix::UNKNOWN);
  scratch.Assign(0.0);
  if (!!part)
    for (int i = 0; i < rows; ++i) scratch.FastGet(i, i) = part.Values()[i];
  return scratch;
}

}  // namespace

void QORMtxBLA::Multiply(const QORMtxComplex& alpha, const QORMtxComplexMatrix& A, Operation opA,
                         const QORMtxComplexMatrix& B, Operation opB, const QORMtxComplex& beta, QORMtxComplexMatrix& C,
                         ResultType typeC, int numThreads) {
  QORMTX_ASSERT(!!A & !!B && !!C);
  const ProductShape shape = CheckedShape(A, opA, B, opB, C);
  const int nRowsA = shape.nRowsA, nColsA = shape.nColsA, nColsB = shape.nColsB;
  const int ldc = C.NumberOfRows();
  double* c = C.Values();

  if (A.IsDiagonal() || B.IsDiagonal()) {
    // op(X) of a diagonal is the diagonal itself, or its conjugate; a full operand with CONJTRANS is read
    // transposed from a conjugated copy.
    QORMtxComplexMatrix conjA, conjB;
    const QORMtxComplexMatrix& a = Conjugated(A, opA, conjA);
    const QORMtxComplexMatrix& b = Conjugated(B, opB, conjB);
    if (A.IsDiagonal() && B.IsDiagonal()) {
      if (!C.IsDiagonal()) QORMTX_ASSERT(0);
      qormtx_array_multiply(&nRowsA, alpha.Get(), a.Values(), &kOne, b.Values(), &kOne, beta.Get(), c, &kOne);
    } else if (A.IsDiagonal()) {  // row i of C = alpha·A(i, i)·(row i of op(B)) + beta·(row i of C)
      QORMTX_ASSERT(!C.IsDiagonal());
      const int ldb = B.NumberOfRows(), incb = opB == NOOP ? ldb : 1;
      for (int i = 0; i < nColsA; ++i) {
        const double* bi = opB == NOOP ? b.Values(i, 0) : b.Values(0, i);
        qormtx_array_multiply(&nColsB, alpha.Get(), a.Values(i, i), &kZero, bi, &incb, beta.Get(), C.Values(i, 0),
                              &ldc);
      }
    } else {  // column j of C = alpha·(column j of op(A))·B(j, j) + beta·(column j of C)
      QORMTX_ASSERT(!C.IsDiagonal());
      const int inca = opA == NOOP ? 1 : nColsA;
      for (int j = 0; j < nColsA; ++j) {
        const double* aj = opA == NOOP ? a.Values(0, j) : a.Values(j, 0);
        qormtx_array_multiply(&nRowsA, alpha.Get(), aj, &inca, b.Values(j, j), &kZero, beta.Get(), C.Values(0, j),
                              &kOne);
      }
    }
    return;
  }
  QORMTX_ASSERT(!C.IsDiagonal());
  const int flag = typeC == SYMM || typeC == HERM ? 1 : typeC == SKEW ? -1 : 0;
  QORMtxBlaUtilities::ComplexMultiply(ComplexLetter(opA), ComplexLetter(opB), nRowsA, nColsB, nColsA, alpha.Get(),
                                      A.Values(), A.NumberOfRows(), B.Values(), B.NumberOfRows(), beta.Get(), c, ldc,
                                      flag, numThreads);
}

void QORMtxBLA::Multiply(const QORMtxComplex& alpha, const QORMtxReImMatrix& A, Operation operA,
                         const QORMtxReImMatrix& B, Operation operB, const QORMtxComplex& beta, QORMtxReImMatrix& C,
                         ResultType typeC, int numThreads) {
  QORMTX_ASSERT(operA == NOOP && operB == NOOP);
  QORMTX_ASSERT(A.Type() != QORMtxReImMatrix::DIAG);
  QORMTX_ASSERT(B.Type() != QORMtxReImMatrix::DIAG);
  QORMTX_ASSERT(typeC != HERM && typeC != DIAG);
  const int nRowsA = A.NumberOfRows(), nColsA = A.NumberOfColumns();
  const int nRowsB = B.NumberOfRows(), nColsB = B.NumberOfColumns();
  const int numRowsC = C.NumberOfRows(), numColsC = C.NumberOfColumns();
  QORMTX_ASSERT(nRowsB == nColsA);
  QORMTX_ASSERT(nRowsA == numRowsC);
  QORMTX_ASSERT(nColsB == numColsC);
  if (alpha.Abs() == 0.0) {
    C.Multiply(beta);
    return;
  }
  // C = alpha·(A·B + (beta/alpha)·C): the three products then need no factor of their own.
  QORMtxComplex t(0.0, 0.0);
  if (beta.Abs() != 0.0) t.Set(beta).Div(alpha);
  C.Multiply(t);
  // A part that is absent (a real or purely imaginary matrix) or diagonal takes part as a full matrix.
  QORMtxMatrix zeroRe, zeroIm, zeroBRe, zeroBIm;
  const QORMtxMatrix& aRe = FullPart(A.Re(), nRowsA, nColsA, zeroRe);
  const QORMtxMatrix& aIm = FullPart(A.Im(), nRowsA, nColsA, zeroIm);
  const QORMtxMatrix& bRe = FullPart(B.Re(), nRowsB, nColsB, zeroBRe);
  const QORMtxMatrix& bIm = FullPart(B.Im(), nRowsB, nColsB, zeroBIm);
  for (QORMtxMatrix* part : {&C.Re(), &C.Im()})
    if (!*part) {
      part->Reset(numRowsC, numColsC, QORMtxMatrix::UNKNOWN);
      part->Assign(0.0);
    }

  QORMtxMatrix T1(nRowsA, nColsA, QORMtxMatrix::UNKNOWN), T2(nRowsB, nColsB, QORMtxMatrix::UNKNOWN);
  Add(1.0, aRe, 1.0, aIm, 0.0, T1);
  Add(1.0, bRe, 1.0, bIm, 0.0, T2);
  Multiply(1.0, T1, NOOP, T2, NOOP, 1.0, C.Im(), typeC, numThreads);  // Im += (Ar + Ai)·(Br + Bi)
  // The temporaries take C's shape for the two remaining products (A and B need not be square).
  T1.Reset(numRowsC, numColsC, QORMtxMatrix::UNKNOWN);
  T2.Reset(numRowsC, numColsC, QORMtxMatrix::UNKNOWN);
  Multiply(1.0, aRe, NOOP, bRe, NOOP, 0.0, T1, typeC, numThreads);   // T1 = Ar·Br
  Multiply(-1.0, aIm, NOOP, bIm, NOOP, 0.0, T2, typeC, numThreads);  // T2 = −Ai·Bi
  Add(1.0, T1, 1.0, T2, 1.0, C.Re());                                // Re += Ar·Br − Ai·Bi
  Add(-1.0, T1, 1.0, T2, 1.0, C.Im());                               // Im −= Ar·Br + Ai·Bi
  C.Multiply(alpha);
}

// ---------------------------------------------------------------------------------------------------------------
// Real linear solve
// ---------------------------------------------------------------------------------------------------------------

int QORMtxBLA::Solve(QORMtxMatrix& A, const QORMtxMatrix& B, QORMtxMatrix& X, int numThreads) {
  QORMTX_ASSERT(!!A && !!B);
  QORMTX_ASSERT(A.Type() == QORMtxMatrix::UNKNOWN || A.Type() == QORMtxMatrix::SYMM);
  QORMTX_ASSERT(B.Type() != QORMtxMatrix::DIAG);
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(numRowsA == numColsA && numRowsA == numRowsB);
  if (&X != &B) X.Reset(B);
  const int n = B.NumberOfRows(), nrhs = B.NumberOfColumns();
  if (A.Type() == QORMtxMatrix::SYMM)
    return QORMtxBlaUtilities::Solve(n, nrhs, A.Values(), numRowsA, X.Values(), n, numThreads);
  return QORMtxBlaUtilities::UnsymmSolve(n, nrhs, A.Values(), numRowsA, X.Values(), n, numThreads);
}

int QORMtxBLA::Solve(QORMtxComplexMatrix& A, const QORMtxComplexMatrix& B, QORMtxComplexMatrix& X, int numThreads) {
  QORMTX_ASSERT(!!A && !!B);
  QORMTX_ASSERT(A.Type() == QORMtxComplexMatrix::UNKNOWN || A.Type() == QORMtxComplexMatrix::SYMM ||
                A.Type() == QORMtxComplexMatrix::DIAG);
  QORMTX_ASSERT(B.Type() != QORMtxComplexMatrix::DIAG);
  const int numRowsA = A.NumberOfRows(), numColsA = A.NumberOfColumns(), numRowsB = B.NumberOfRows();
  QORMTX_ASSERT(numRowsA == numColsA && numRowsA == numRowsB);
  const bool inPlace = &X == &B;
  if (!inPlace) X.Reset(B);
  const int n = B.NumberOfRows(), nrhs = B.NumberOfColumns();
  if (A.Type() == QORMtxComplexMatrix::SYMM)
    return QORMtxBlaUtilities::ComplexSolve(n, nrhs, A.Values(), numRowsA, X.Values(), n, numThreads);
  if (A.Type() == QORMtxComplexMatrix::UNKNOWN)
    return QORMtxBlaUtilities::ComplexUnsymmSolve(n, nrhs, A.Values(), numRowsA, X.Values(), n, numThreads);
  // Diagonal A: X = D⁻¹·B as a product, from a copy of B when X is B so that the product never reads what it writes.
  QORMtxComplexMatrix D(A), copyB;
  D.Invert();
  if (inPlace) copyB.Reset(B);
  const QORMtxComplex one(1.0, 0.0), zero(0.0, 0.0);
  Multiply(one, D, NOOP, inPlace ? copyB : B, NOOP, zero, X, UNKNOWN, 0);
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Real eigen solvers
// ---------------------------------------------------------------------------------------------------------------

int QORMtxBLA::CheckForTrivialCols(QORMtxMatrix& M, QORBasVector<bool>& flags) {
  const int rows = M.NumberOfRows(), cols = M.NumberOfColumns();
  double maxAbs = 0.0;
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) maxAbs = std::max(maxAbs, std::fabs(M.value(i, j)));
  const double tol = maxAbs * 2.22e-16;
  flags.clear();
  flags.resize(cols, false);
  int numTrivial = 0;
  for (int j = 0; j < cols; ++j) {
    bool trivial = true;
    for (int i = 0; i < rows && trivial; ++i) trivial = std::fabs(M.value(i, j)) <= tol;
    if (trivial) {
      flags[j] = true;
      ++numTrivial;
    }
  }
  return numTrivial;
}

int QORMtxBLA::EigenSolve(QORMtxMatrix& A, QORMtxMatrix& B, QORMtxMatrix& E, QORMtxMatrix& X, double range1,
                          double range2, int numThreads) {
  QORMTX_ASSERT(!!A);
  const int n = A.NumberOfRows();
  const int numColsA = A.NumberOfColumns();
  QORMTX_ASSERT(n == numColsA);
  if (!!B) {
    const int numRowsB = B.NumberOfRows(), numColsB = B.NumberOfColumns();
    QORMTX_ASSERT(n == numRowsB && n == numColsB);
  }
  const bool typeA = A.Type() == QORMtxMatrix::DIAG || A.Type() == QORMtxMatrix::SYMM;
  const bool typeB = !B || B.Type() == QORMtxMatrix::DIAG || B.Type() == QORMtxMatrix::SYMM;
  if (!(typeA && typeB)) QORMTX_ASSERT(0);

  // The kernel wants full storage; diagonal operands and the implied identity live in temporaries.
  QORMtxMatrix fullA, fullB;
  double* k = A.Values();
  double* m = B.Values();
  if (A.IsDiagonal()) {
    ExpandDiagonal(n, A.Values(), fullA);
    k = fullA.Values();
  }
  if (!B || B.IsDiagonal()) {
    ExpandDiagonal(n, B.Values(), fullB);
    m = fullB.Values();
  }
  const bool notPosDef = !!B && !B.IsPositiveDefinite();

  if (!(E.NumberOfRows() == n && E.IsDiagonal())) {
    QORMTX_ASSERT(E.OwnMemory());
    E.Reset(n, n, QORMtxMatrix::DIAG);
  }
  if (!(X.NumberOfRows() == n && X.NumberOfColumns() == n && X.Type() == QORMtxMatrix::UNKNOWN)) {
    QORMTX_ASSERT(X.OwnMemory());
    X.Reset(n, n, QORMtxMatrix::UNKNOWN);
  }
  int numFound = 0;
  const int status = QORMtxBlaUtilities::EigenSolve('U', n, k, m, numFound, E.Values(), X.Values(), range1, range2,
                                                    notPosDef, numThreads, nullptr, 0);
  if (status == 0 && numFound < n) {
    E.ShrinkColumns(numFound);
    X.ShrinkColumns(numFound);
  }
  return status;
}

namespace {

// The reduction of a pencil whose B has more trivial columns than A onto its mass unknowns.
struct Condensation {
  int r = 0;     // massless unknowns kept
  int rank = 0;  // their directions with stiffness
  QORBasVector<int> massSet, masslessSet, rankSet;
  QORMtxMatrix U;   // rotation of the massless unknowns, x2 = U·z
  QORMtxMatrix T1;  // z (first rank directions) = T1·x1
  bool constraints = false;
};

// Mass unknowns Im; massless unknowns Iz (the first r of the B-trivial ones). The remaining B-trivial unknowns
// take no part: their rows of X stay 0.
void SplitUnknowns(const QORBasVector<bool>& trivialB, int n, Condensation& c) {
  for (int j = 0; j < n; ++j) {
    if (!trivialB[j])
      c.massSet.push_back(j);
    else if (c.masslessSet.size() < c.r)
      c.masslessSet.push_back(j);
  }
}

// A22 = U·S·Vᵀ. For symmetric A22, Vᵀ·A22·U = S, so in the rotated unknowns z (x2 = U·z) the massless rows,
// multiplied by Vᵀ, read W·x1 + S·z = 0 with W = Vᵀ·A21: each direction of nonzero S is condensed by itself.
// A is rewritten in the rotated unknowns.
void RotateMassless(QORMtxMatrix& A, int nB, int numThreads, Condensation& c) {
  const int r = c.r;
  QORMtxMatrix A22(r, r, QORMtxMatrix::SYMM), A21;
  A.Extract(c.masslessSet, c.masslessSet, A22);
  A.Extract(c.masslessSet, c.massSet, A21);
  QORMtxMatrix S(r, 1), VT(r, r), superb(std::max(r - 1, 1), 1);
  c.U.Reset(r, r);
  const int colMajor = 102;
  const char all = 'A';
  blac_lapacke_dgesvd(&colMajor, &all, &all, &r, &r, A22.Values(), &r, S.Values(), c.U.Values(), &r, VT.Values(), &r,
                      superb.Values());
  A22.Reset();
  c.rank = r;
  for (int i = 0; i < r; ++i)
    if (std::fabs(S.Values()[i]) < 1e-8) {
      c.rank = i;
      break;
    }

  QORMtxMatrix rotated(r, r);
  rotated.Assign(0.0);
  for (int i = 0; i < c.rank; ++i) rotated.FastGet(i, i) = S.Values()[i];
  A.Insert(c.masslessSet, c.masslessSet, rotated);
  QORMtxMatrix W(r, nB), WT;
  QORMtxBLA::Multiply(1.0, VT, QORMtxBLA::NOOP, A21, QORMtxBLA::NOOP, 0.0, W, QORMtxBLA::UNKNOWN, numThreads);
  W.Transpose(WT, nullptr);
  A.Insert(c.masslessSet, c.massSet, W);
  A.Insert(c.massSet, c.masslessSet, WT);

  // A direction without stiffness must not couple to the mass unknowns: it could only be a constraint
  // (a Lagrange multiplier), which this condensation does not handle.
  if (c.rank < r) {
    QORMtxMatrix coupling;
    WT.GetValues(0, nB - 1, c.rank, r - 1, coupling);
    QORBasVector<bool> dropped;
    c.constraints = QORMtxBLA::CheckForTrivialCols(coupling, dropped) < r - c.rank;
  }
}

// Static condensation: Ared = A11 − A13·S⁻¹·A31 over the first rank directions.
QORMtxMatrix Condense(QORMtxMatrix& A, int nB, int numThreads, Condensation& c) {
  const int rank = c.rank;
  c.rankSet = QORBasVector<int>(c.masslessSet.begin(), c.masslessSet.begin() + rank);
  QORMtxMatrix Ared(nB, nB, QORMtxMatrix::SYMM);
  A.Extract(c.massSet, c.massSet, Ared);
  if (rank > 0) {
    QORMtxMatrix Dinv(rank, rank, QORMtxMatrix::DIAG), A31, A13;
    for (int i = 0; i < rank; ++i) Dinv.Values()[i] = -1.0 / A.value(c.rankSet[i], c.rankSet[i]);
    A.Extract(c.rankSet, c.massSet, A31);
    c.T1.Reset(rank, nB);
    QORMtxBLA::Multiply(1.0, Dinv, QORMtxBLA::NOOP, A31, QORMtxBLA::NOOP, 0.0, c.T1, QORMtxBLA::UNKNOWN, numThreads);
    A.Extract(c.massSet, c.rankSet, A13);
    QORMtxBLA::Multiply(1.0, A13, QORMtxBLA::NOOP, c.T1, QORMtxBLA::NOOP, 1.0, Ared, QORMtxBLA::SYMM, numThreads);
    A.Insert(c.massSet, c.massSet, Ared);
  }
  return Ared;
}

// X from the reduced vectors: mass rows as solved, massless ones from the condensed equations, z = T1·x1, rotated
// back, x2 = U·z.
void Recover(const Condensation& c, const QORMtxMatrix& Xr, int n, int numThreads, QORMtxMatrix& X) {
  const int q = Xr.NumberOfColumns(), r = c.r;
  X.Reset(n, q, QORMtxMatrix::UNKNOWN);
  X.Assign(0.0);
  X.SetRows(c.massSet.data(), Xr);
  if (c.rank == 0) return;
  QORMtxMatrix Y(c.rank, q), Z1(r, q), Z2(r, q);
  QORMtxBLA::Multiply(1.0, c.T1, QORMtxBLA::NOOP, Xr, QORMtxBLA::NOOP, 0.0, Y, QORMtxBLA::UNKNOWN, numThreads);
  X.SetRows(c.rankSet.data(), Y);
  X.GetRows(c.masslessSet.data(), r, Z1);
  QORMtxBLA::Multiply(1.0, c.U, QORMtxBLA::NOOP, Z1, QORMtxBLA::NOOP, 0.0, Z2, QORMtxBLA::UNKNOWN, numThreads);
  X.SetRows(c.masslessSet.data(), Z2);
}

}  // namespace

int QORMtxBLA::EigenSolveGeneral(QORMtxMatrix& A, QORMtxMatrix& B, QORMtxMatrix& E, QORMtxMatrix& X, double range1,
                                 double range2, int numThreads) {
  const int n = A.NumberOfRows();
  QORMTX_ASSERT(n > 0 && A.IsSquare() && B.IsSquare() && B.NumberOfRows() == n);
  QORMTX_ASSERT(!A.IsDiagonal() && !B.IsDiagonal());
  QORBasVector<bool> trivialA, trivialB;
  const int tA = CheckForTrivialCols(A, trivialA);
  const int tB = CheckForTrivialCols(B, trivialB);
  const int nA = n - tA, nB = n - tB;
  if (nB == 0) return 6;
  E.Reset();
  X.Reset();
  if (tB <= tA) {
    const int status = EigenSolve(A, B, E, X, range1, range2, numThreads);
    if (status != 0) {
      E.Reset();
      X.Reset();
    }
    return status;
  }

  Condensation c;
  c.r = nA - nB;
  SplitUnknowns(trivialB, n, c);
  RotateMassless(A, nB, numThreads, c);
  QORMtxMatrix Ared = Condense(A, nB, numThreads, c);
  QORMtxMatrix Bred(nB, nB, QORMtxMatrix::SYMM);
  B.Extract(c.massSet, c.massSet, Bred);
  if (c.constraints) QORMTX_ASSERT(0 && "Lambda Set is not Empty\n");

  QORMtxMatrix Xr;
  const int status = EigenSolve(Ared, Bred, E, Xr, range1, range2, numThreads);
  if (status != 0) {
    E.Reset();
    X.Reset();
    return status;
  }
  if (Xr.NumberOfColumns() == 0) return 0;  // nothing in the requested range: E and X stay empty
  Recover(c, Xr, n, numThreads, X);
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Complex eigen solver
// ---------------------------------------------------------------------------------------------------------------

int QORMtxBLA::EigenSolve(QORMtxComplexMatrix& A, QORMtxComplexMatrix& E, QORMtxComplexMatrix& XL,
                          QORMtxComplexMatrix& XR, int numThreads) {
  QORMTX_ASSERT(!!A && A.IsSquare() && !A.IsDiagonal());
  const int n = A.NumberOfRows();
  if (!(!!E && E.IsDiagonal() && E.NumberOfRows() == n)) {
    QORMTX_ASSERT(E.OwnMemory());
    E.Reset(n, n, QORMtxComplexMatrix::DIAG);
  }
  if (!(!!XL && XL.IsSquare() && XL.NumberOfRows() == n)) {
    QORMTX_ASSERT(XL.OwnMemory());
    XL.Reset(n, n, QORMtxComplexMatrix::UNKNOWN);
  }
  if (!(!!XR && XR.IsSquare() && XR.NumberOfRows() == n)) {
    QORMTX_ASSERT(XR.OwnMemory());
    XR.Reset(n, n, QORMtxComplexMatrix::UNKNOWN);
  }
  return QORMtxBlaUtilities::ComplexUnsymmEigenSolve('V', 'V', n, A.Values(), n, E.Values(), XL.Values(), n,
                                                     XR.Values(), n, numThreads);
}
