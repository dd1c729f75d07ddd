// blac out-of-place matrix copy and add (omatcopy, omatcopy2, omatadd) for real and interleaved complex values.
#include <cblas.h>

#include <climits>
#include <complex>
#include <cstddef>
#include <cstdio>

#include "blac.h"

namespace {

using Complex = std::complex<double>;

// One reading of the option characters: op = transpose and/or conjugate. For real values conjugation is the
// identity, so 'C' acts as 'T' and 'R' as 'N'.
struct Op {
  bool valid;
  bool transpose;
  bool conjugate;
};

Op ParseOp(char c) {
  switch (c) {
    case 'N': case 'n': return {true, false, false};
    case 'T': case 't': return {true, true, false};
    case 'C': case 'c': return {true, true, true};
    case 'R': case 'r': return {true, false, true};
    default: return {false, false, false};
  }
}

// Row-major ordering is the column-major problem on the transposed storage: the rows and columns exchange roles
// while every op stays as it is (op(A)ᵀ read as column-major is op applied to the stored Aᵀ).
bool ParseRowMajor(char c, bool* rowMajor) {
  switch (c) {
    case 'C': case 'c': *rowMajor = false; return true;
    case 'R': case 'r': *rowMajor = true; return true;
    default: return false;
  }
}

// The reference BLAS error report (xerbla's wording), for an option the front door should have refused.
void ReportIllegal(const char* routine, int argument) {
  std::fprintf(stderr, " ** On entry to %s parameter number %d had an illegal value\n", routine, argument);
}

inline double Conj(double v) { return v; }
inline Complex Conj(const Complex& v) { return std::conj(v); }

// Plain complex product: the library's operands are finite, and this avoids the out-of-line NaN/Inf recovery
// the compiler otherwise calls for every std::complex multiplication.
inline double Mul(double x, double y) { return x * y; }
inline Complex Mul(const Complex& x, const Complex& y) {
  return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()};
}

template <typename T>
inline T Apply(const T& v, bool conjugate) {
  return conjugate ? Conj(v) : v;
}

// Square tiles for the transposed walks: both the rows read and the columns written stay in cache.
constexpr size_t kTile = 32;

// B = alpha·op(A), column-major with two strides: A(i, j) = a[i·sa + j·lda] for the rows × cols source,
// B(i, j) = b[i·sb + j·ldb] for the result (rows × cols, or cols × rows when transposed).
template <typename T>
void CopyKernel(Op op, size_t rows, size_t cols, T alpha, const T* a, size_t lda, size_t sa, T* b, size_t ldb,
                size_t sb) {
  if (!op.transpose) {
    for (size_t j = 0; j < cols; ++j) {
      const T* ac = a + j * lda;
      T* bc = b + j * ldb;
      for (size_t i = 0; i < rows; ++i) bc[i * sb] = Mul(alpha, Apply(ac[i * sa], op.conjugate));
    }
    return;
  }
  for (size_t j0 = 0; j0 < cols; j0 += kTile) {
    const size_t j1 = j0 + kTile < cols ? j0 + kTile : cols;
    for (size_t i0 = 0; i0 < rows; i0 += kTile) {
      const size_t i1 = i0 + kTile < rows ? i0 + kTile : rows;
      // B(j, i) = alpha·op(A(i, j)); B's column i is written contiguously (for unit strideb).
      for (size_t i = i0; i < i1; ++i) {
        T* bc = b + i * ldb;
        for (size_t j = j0; j < j1; ++j) bc[j * sb] = Mul(alpha, Apply(a[i * sa + j * lda], op.conjugate));
      }
    }
  }
}

// The element (i, j) of op(X) for a column-major X with leading dimension ld.
template <typename T>
inline T OpElement(const T* x, size_t ld, Op op, size_t i, size_t j) {
  return Apply(op.transpose ? x[j + i * ld] : x[i + j * ld], op.conjugate);
}

// C = alpha·op(A) + beta·op(B) for a column-major rows × cols C. A zero alpha (beta) leaves A (B) unread, so
// that a caller may pass an operand it has not filled. C may be A (or B) when that operand is not transposed
// and shares C's leading dimension: every element is read before its own position is written.
template <typename T>
void AddKernel(Op opA, Op opB, size_t rows, size_t cols, T alpha, const T* a, size_t lda, T beta, const T* b,
               size_t ldb, T* c, size_t ldc) {
  const bool useA = alpha != T(0.0), useB = beta != T(0.0);
  const bool tiled = (useA && opA.transpose) || (useB && opB.transpose);
  const size_t tile = tiled ? kTile : rows;
  for (size_t j0 = 0; j0 < cols; j0 += kTile) {
    const size_t j1 = j0 + kTile < cols ? j0 + kTile : cols;
    for (size_t i0 = 0; i0 < rows; i0 += tile) {
      const size_t i1 = i0 + tile < rows ? i0 + tile : rows;
      for (size_t j = j0; j < j1; ++j) {
        T* cc = c + j * ldc;
        for (size_t i = i0; i < i1; ++i) {
          T v = T(0.0);
          if (useA) v = Mul(alpha, OpElement(a, lda, opA, i, j));
          if (useB) v += Mul(beta, OpElement(b, ldb, opB, i, j));
          cc[i] = v;
        }
      }
    }
  }
}

bool FitsInt(size_t v) { return v <= static_cast<size_t>(INT_MAX); }

CBLAS_TRANSPOSE CblasOp(Op op) {
  if (op.transpose) return op.conjugate ? CblasConjTrans : CblasTrans;
  return op.conjugate ? CblasConjNoTrans : CblasNoTrans;
}

}  // namespace

extern "C" {

void blac_domatcopy(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                    const double* alpha, const double* a, const size_t* lda, double* b, const size_t* ldb) {
  bool rowMajor = false;
  if (!ParseRowMajor(*ordering, &rowMajor)) return ReportIllegal("blac_domatcopy", 1);
  Op op = ParseOp(*trans);
  if (!op.valid) return ReportIllegal("blac_domatcopy", 2);
  if (*rows == 0 || *cols == 0) return;
  op.conjugate = false;
  if (FitsInt(*rows) && FitsInt(*cols) && FitsInt(*lda) && FitsInt(*ldb)) {
    cblas_domatcopy(rowMajor ? CblasRowMajor : CblasColMajor, CblasOp(op), static_cast<int>(*rows),
                    static_cast<int>(*cols), *alpha, a, static_cast<int>(*lda), b, static_cast<int>(*ldb));
    return;
  }
  // Beyond the kernel library's int sizes: the same copy in our own loops.
  const size_t r = rowMajor ? *cols : *rows, c = rowMajor ? *rows : *cols;
  CopyKernel<double>(op, r, c, *alpha, a, *lda, 1, b, *ldb, 1);
}

void blac_domatcopy2(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                     const double* alpha, const double* a, const size_t* lda, const size_t* stridea, double* b,
                     const size_t* ldb, const size_t* strideb) {
  bool rowMajor = false;
  if (!ParseRowMajor(*ordering, &rowMajor)) return ReportIllegal("blac_domatcopy2", 1);
  Op op = ParseOp(*trans);
  if (!op.valid) return ReportIllegal("blac_domatcopy2", 2);
  if (*rows == 0 || *cols == 0) return;
  op.conjugate = false;
  const size_t r = rowMajor ? *cols : *rows, c = rowMajor ? *rows : *cols;
  CopyKernel<double>(op, r, c, *alpha, a, *lda, *stridea, b, *ldb, *strideb);
}

void blac_domatadd(const char* ordering, const char* transa, const char* transb, const size_t* rows,
                   const size_t* cols, const double* alpha, const double* a, const size_t* lda, const double* beta,
                   const double* b, const size_t* ldb, double* c, const size_t* ldc) {
  bool rowMajor = false;
  if (!ParseRowMajor(*ordering, &rowMajor)) return ReportIllegal("blac_domatadd", 1);
  Op opA = ParseOp(*transa), opB = ParseOp(*transb);
  if (!opA.valid) return ReportIllegal("blac_domatadd", 2);
  if (!opB.valid) return ReportIllegal("blac_domatadd", 3);
  if (*rows == 0 || *cols == 0) return;
  opA.conjugate = opB.conjugate = false;
  const size_t r = rowMajor ? *cols : *rows, cc = rowMajor ? *rows : *cols;
  AddKernel<double>(opA, opB, r, cc, *alpha, a, *lda, *beta, b, *ldb, c, *ldc);
}

void blac_zomatcopy(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                    const double* alpha, const double* a, const size_t* lda, double* b, const size_t* ldb) {
  bool rowMajor = false;
  if (!ParseRowMajor(*ordering, &rowMajor)) return ReportIllegal("blac_zomatcopy", 1);
  const Op op = ParseOp(*trans);
  if (!op.valid) return ReportIllegal("blac_zomatcopy", 2);
  if (*rows == 0 || *cols == 0) return;
  if (FitsInt(*rows) && FitsInt(*cols) && FitsInt(*lda) && FitsInt(*ldb)) {
    cblas_zomatcopy(rowMajor ? CblasRowMajor : CblasColMajor, CblasOp(op), static_cast<int>(*rows),
                    static_cast<int>(*cols), alpha, a, static_cast<int>(*lda), b, static_cast<int>(*ldb));
    return;
  }
  const size_t r = rowMajor ? *cols : *rows, c = rowMajor ? *rows : *cols;
  CopyKernel<Complex>(op, r, c, Complex(alpha[0], alpha[1]), reinterpret_cast<const Complex*>(a), *lda, 1,
                      reinterpret_cast<Complex*>(b), *ldb, 1);
}

void blac_zomatcopy2(const char* ordering, const char* trans, const size_t* rows, const size_t* cols,
                     const double* alpha, const double* a, const size_t* lda, const size_t* stridea, double* b,
                     const size_t* ldb, const size_t* strideb) {
  bool rowMajor = false;
  if (!ParseRowMajor(*ordering, &rowMajor)) return ReportIllegal("blac_zomatcopy2", 1);
  const Op op = ParseOp(*trans);
  if (!op.valid) return ReportIllegal("blac_zomatcopy2", 2);
  if (*rows == 0 || *cols == 0) return;
  const size_t r = rowMajor ? *cols : *rows, c = rowMajor ? *rows : *cols;
  CopyKernel<Complex>(op, r, c, Complex(alpha[0], alpha[1]), reinterpret_cast<const Complex*>(a), *lda, *stridea,
                      reinterpret_cast<Complex*>(b), *ldb, *strideb);
}

void blac_zomatadd(const char* ordering, const char* transa, const char* transb, const size_t* rows,
                   const size_t* cols, const double* alpha, const double* a, const size_t* lda, const double* beta,
                   const double* b, const size_t* ldb, double* c, const size_t* ldc) {
  bool rowMajor = false;
  if (!ParseRowMajor(*ordering, &rowMajor)) return ReportIllegal("blac_zomatadd", 1);
  const Op opA = ParseOp(*transa), opB = ParseOp(*transb);
  if (!opA.valid) return ReportIllegal("blac_zomatadd", 2);
  if (!opB.valid) return ReportIllegal("blac_zomatadd", 3);
  if (*rows == 0 || *cols == 0) return;
  const size_t r = rowMajor ? *cols : *rows, cc = rowMajor ? *rows : *cols;
  AddKernel<Complex>(opA, opB, r, cc, Complex(alpha[0], alpha[1]), reinterpret_cast<const Complex*>(a), *lda,
                     Complex(beta[0], beta[1]), reinterpret_cast<const Complex*>(b), *ldb,
                     reinterpret_cast<Complex*>(c), *ldc);
}

}  // extern "C"
