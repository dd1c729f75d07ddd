// QORMtxComplexKernels: the unmangled kernels on single complex values held as (re, im) pairs.
#include <cmath>

#include "QORMtxCoreModuleC.h"

// Results go through locals first so that r may be the same value as a or b.

extern "C" {

void qormtx_complex_set(const double* re, const double* im, double* z) {
  const double r = *re, i = *im;
  z[0] = r;
  z[1] = i;
}

void qormtx_complex_get(double* re, double* im, const double* z) {
  const double r = z[0], i = z[1];
  *re = r;
  *im = i;
}

void qormtxcomplexset(const double* re, const double* im, double* z) { qormtx_complex_set(re, im, z); }

void qormtxcomplexgetre(double* out, const double* z) { *out = z[0]; }

void qormtxcomplexgetim(double* out, const double* z) { *out = z[1]; }

void qormtx_complex_add(const double* a, const double* b, double* r) {
  const double re = a[0] + b[0], im = a[1] + b[1];
  r[0] = re;
  r[1] = im;
}

void qormtx_complex_sub(const double* a, const double* b, double* r) {
  const double re = a[0] - b[0], im = a[1] - b[1];
  r[0] = re;
  r[1] = im;
}

void qormtx_complex_mul(const double* a, const double* b, double* r) {
  const double re = a[0] * b[0] - a[1] * b[1];
  const double im = a[1] * b[0] + a[0] * b[1];
  r[0] = re;
  r[1] = im;
}

void qormtx_complex_div(const double* a, const double* b, double* r) {
  // The textbook formula: callers rely on its exact rounding, not on Smith's scaling.
  const double d = b[0] * b[0] + b[1] * b[1];
  const double re = (a[0] * b[0] + a[1] * b[1]) / d;
  const double im = (a[1] * b[0] - a[0] * b[1]) / d;
  r[0] = re;
  r[1] = im;
}

void qormtx_complex_con(const double* a, double* r) {
  const double re = a[0], im = -a[1];  // negation flips the sign bit, so +0.0 becomes -0.0
  r[0] = re;
  r[1] = im;
}

void qormtx_complex_abs(const double* z, double* out) {
  // The wide exponent range of long double keeps z0^2 + z1^2 finite for every finite z.
  const long double re = z[0], im = z[1];
  *out = static_cast<double>(std::sqrt(re * re + im * im));
}

}  // extern "C"
