// blac LAPACKE routines: the C-interface LAPACK calls with an explicit matrix layout (101 row-major, 102
// column-major), passed on to LAPACKE with every argument by address as in the rest of the layer.
#include <complex>

#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapacke.h>

#include "blac.h"

extern "C" {

double blac_lapacke_dlange(const int* matrixLayout, const char* norm, const int* m, const int* n, const double* a,
                           const int* lda) {
  return LAPACKE_dlange(*matrixLayout, *norm, *m, *n, a, *lda);
}

int blac_lapacke_dgetrf(const int* matrixLayout, const int* m, const int* n, double* a, const int* lda, int* ipiv) {
  return LAPACKE_dgetrf(*matrixLayout, *m, *n, a, *lda, ipiv);
}

int blac_lapacke_dgecon(const int* matrixLayout, const char* norm, const int* n, const double* a, const int* lda,
                        const double* anorm, double* rcond) {
  return LAPACKE_dgecon(*matrixLayout, *norm, *n, a, *lda, *anorm, rcond);
}

int blac_lapacke_dgesvd(const int* matrixLayout, const char* jobu, const char* jobvt, const int* m, const int* n,
                        double* a, const int* lda, double* s, double* u, const int* ldu, double* vt, const int* ldvt,
                        double* superb) {
  return LAPACKE_dgesvd(*matrixLayout, *jobu, *jobvt, *m, *n, a, *lda, s, u, *ldu, vt, *ldvt, superb);
}

}  // extern "C"
