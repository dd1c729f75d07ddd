// blac eigen routines beyond the first set: the symmetric relatively robust representation solver, called
// directly in the Fortran LAPACK of OpenBLAS so that info codes and workspace queries are the reference ones.
#include <complex>

#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapack.h>

#include "blac.h"

extern "C" {

void blac_dsyevr(const char* jobz, const char* range, const char* uplo, const int* n, double* a, const int* lda,
                 const double* vl, const double* vu, const int* il, const int* iu, const double* abstol, int* m,
                 double* w, double* z, const int* ldz, int* isuppz, double* work, const int* lwork, int* iwork,
                 const int* liwork, int* info) {
  LAPACK_dsyevr(jobz, range, uplo, n, a, lda, vl, vu, il, iu, abstol, m, w, z, ldz, isuppz, work, lwork, iwork, liwork,
                info);
}

}  // extern "C"
