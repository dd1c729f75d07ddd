// blac BLAS routines: the by-address reference calling convention mapped onto OpenBLAS's CBLAS interface.
#include <cblas.h>

#include <cstddef>

#include "blac.h"

namespace {

// An option the caller got wrong becomes an enumerator CBLAS rejects, so that OpenBLAS's own error
// handler names the routine and the argument instead of the call silently taking a default.
constexpr int kBadOption = 0;

CBLAS_TRANSPOSE ToTrans(char c) {
  switch (c) {
    case 'N': case 'n': return CblasNoTrans;
    case 'T': case 't': return CblasTrans;
    case 'C': case 'c': return CblasConjTrans;
    default: return static_cast<CBLAS_TRANSPOSE>(kBadOption);
  }
}

CBLAS_UPLO ToUplo(char c) {
  switch (c) {
    case 'U': case 'u': return CblasUpper;
    case 'L': case 'l': return CblasLower;
    default: return static_cast<CBLAS_UPLO>(kBadOption);
  }
}

CBLAS_SIDE ToSide(char c) {
  switch (c) {
    case 'L': case 'l': return CblasLeft;
    case 'R': case 'r': return CblasRight;
    default: return static_cast<CBLAS_SIDE>(kBadOption);
  }
}

CBLAS_DIAG ToDiag(char c) {
  switch (c) {
    case 'N': case 'n': return CblasNonUnit;
    case 'U': case 'u': return CblasUnit;
    default: return static_cast<CBLAS_DIAG>(kBadOption);
  }
}

// A product whose inner dimension is 0 is C = beta·C, done here: CBLAS would check lda/ldb against k there and
// reject the leading dimensions a caller legitimately passes for empty operands. As in the reference routine,
// beta = 0 writes zeros without reading C. Returns true when nothing is left for the kernel (also for an empty C).
// kWidth: doubles per value, 1 real, 2 interleaved complex.
template <int kWidth>
bool SettledWithoutKernel(int m, int n, int k, const double* beta, double* c, int ldc) {
  if (m <= 0 || n <= 0) return true;
  if (k > 0) return false;
  const double br = beta[0], bi = kWidth == 2 ? beta[1] : 0.0;
  if (br == 1.0 && bi == 0.0) return true;
  const bool zero = br == 0.0 && bi == 0.0;
  for (int j = 0; j < n; ++j) {
    double* col = c + kWidth * static_cast<std::size_t>(ldc) * j;
    for (int i = 0; i < m; ++i) {
      double* v = col + kWidth * i;
      if (zero) {
        for (int w = 0; w < kWidth; ++w) v[w] = 0.0;
      } else if (kWidth == 1) {
        v[0] *= br;
      } else {
        const double re = v[0], im = v[1];
        v[0] = br * re - bi * im;
        v[1] = br * im + bi * re;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" {

// ---- BLAS 1 ----

void blac_daxpy(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy) {
  if (*n <= 0) return;
  cblas_daxpy(*n, *alpha, x, *incx, y, *incy);
}

void blac_daxpby(const int* n, const double* alpha, const double* x, const int* incx, const double* beta, double* y,
                 const int* incy) {
  if (*n <= 0) return;
  cblas_daxpby(*n, *alpha, x, *incx, *beta, y, *incy);
}

void blac_dcopy(const int* n, const double* x, const int* incx, double* y, const int* incy) {
  if (*n <= 0) return;
  if (*incx == 0) {
    // A fill: one value broadcast along y. Written here because stride-0 sources are where optimised
    // copy kernels are least trustworthy, and the loop is as fast as the kernel for this case.
    const double v = *x;
    const int inc = *incy;
    double* p = inc >= 0 ? y : y - static_cast<std::ptrdiff_t>(*n - 1) * inc;
    for (int i = 0; i < *n; ++i, p += inc) *p = v;
    return;
  }
  cblas_dcopy(*n, x, *incx, y, *incy);
}

double blac_ddot(const int* n, const double* x, const int* incx, const double* y, const int* incy) {
  if (*n <= 0) return 0.0;
  return cblas_ddot(*n, x, *incx, y, *incy);
}

void blac_dscal(const int* n, const double* alpha, double* x, const int* incx) {
  if (*n <= 0 || *incx <= 0) return;
  cblas_dscal(*n, *alpha, x, *incx);
}

void blac_dswap(const int* n, double* x, const int* incx, double* y, const int* incy) {
  if (*n <= 0) return;
  cblas_dswap(*n, x, *incx, y, *incy);
}

void blac_zaxpy(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy) {
  if (*n <= 0) return;
  cblas_zaxpy(*n, alpha, x, *incx, y, *incy);
}

void blac_zcopy(const int* n, const double* x, const int* incx, double* y, const int* incy) {
  if (*n <= 0) return;
  cblas_zcopy(*n, x, *incx, y, *incy);
}

void blac_zdotc(double* result, const int* n, const double* x, const int* incx, const double* y, const int* incy) {
  if (*n <= 0) {
    result[0] = 0.0;
    result[1] = 0.0;
    return;
  }
  cblas_zdotc_sub(*n, x, *incx, y, *incy, result);
}

void blac_zdscal(const int* n, const double* alpha, double* x, const int* incx) {
  if (*n <= 0 || *incx <= 0) return;
  cblas_zdscal(*n, *alpha, x, *incx);
}

void blac_zscal(const int* n, const double* alpha, double* x, const int* incx) {
  if (*n <= 0 || *incx <= 0) return;
  cblas_zscal(*n, alpha, x, *incx);
}

// ---- BLAS 2 and 3 ----

void blac_dgemv(const char* trans, const int* m, const int* n, const double* alpha, const double* a, const int* lda,
                const double* x, const int* incx, const double* beta, double* y, const int* incy) {
  // The reference routine leaves y untouched when either dimension is 0.
  if (*m <= 0 || *n <= 0) return;
  cblas_dgemv(CblasColMajor, ToTrans(*trans), *m, *n, *alpha, a, *lda, x, *incx, *beta, y, *incy);
}

void blac_dgemm(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                const double* beta, double* c, const int* ldc) {
  if (SettledWithoutKernel<1>(*m, *n, *k, beta, c, *ldc)) return;
  cblas_dgemm(CblasColMajor, ToTrans(*transa), ToTrans(*transb), *m, *n, *k, *alpha, a, *lda, b, *ldb, *beta, c,
              *ldc);
}

void blac_dtrsm(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
                const double* alpha, const double* a, const int* lda, double* b, const int* ldb) {
  if (*m <= 0 || *n <= 0) return;
  cblas_dtrsm(CblasColMajor, ToSide(*side), ToUplo(*uplo), ToTrans(*transa), ToDiag(*diag), *m, *n, *alpha, a, *lda,
              b, *ldb);
}

void blac_zgemm(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                const double* beta, double* c, const int* ldc) {
  if (SettledWithoutKernel<2>(*m, *n, *k, beta, c, *ldc)) return;
  cblas_zgemm(CblasColMajor, ToTrans(*transa), ToTrans(*transb), *m, *n, *k, alpha, a, *lda, b, *ldb, beta, c, *ldc);
}

void blac_zgemm3m(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                  const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                  const double* beta, double* c, const int* ldc) {
  if (SettledWithoutKernel<2>(*m, *n, *k, beta, c, *ldc)) return;
  cblas_zgemm3m(CblasColMajor, ToTrans(*transa), ToTrans(*transb), *m, *n, *k, alpha, a, *lda, b, *ldb, beta, c,
                *ldc);
}

void blac_zgeru(const int* m, const int* n, const double* alpha, const double* x, const int* incx, const double* y,
                const int* incy, double* a, const int* lda) {
  if (*m <= 0 || *n <= 0) return;
  cblas_zgeru(CblasColMajor, *m, *n, alpha, x, *incx, y, *incy, a, *lda);
}

// ---- Threads ----

void blac_set_num_threads(const int* numThreads) {
  if (*numThreads > 0) openblas_set_num_threads(*numThreads);
}

int blac_get_num_threads() { return openblas_get_num_threads(); }

}  // extern "C"
