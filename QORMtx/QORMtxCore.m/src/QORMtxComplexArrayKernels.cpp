// QORMtxComplexArrayKernels: the unmangled elementwise kernels on interleaved complex arrays.
#include <cstddef>

#include "QORMtxCoreModuleC.h"
#include "QORMtxKernelClones.h"
#include "blac.h"

// A complex array of n values is 2n doubles (re, im). Loops stay plain and ascending so the compiler
// vectorises them; nothing is restrict because inputs may alias outputs elementwise.

namespace {
using Index = std::ptrdiff_t;
}  // namespace

extern "C" {

QORMTX_KERNEL_CLONES void qormtx_array_setre(const int* n, const double* re, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) {
    z[2 * i] = re[i];
    z[2 * i + 1] = 0.0;
  }
}

QORMTX_KERNEL_CLONES void qormtx_array_setim(const int* n, const double* im, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) {
    z[2 * i] = 0.0;
    z[2 * i + 1] = im[i];
  }
}

QORMTX_KERNEL_CLONES void qormtx_array_setreim(const int* n, const double* re, const double* im, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) {
    z[2 * i] = re[i];
    z[2 * i + 1] = im[i];
  }
}

QORMTX_KERNEL_CLONES void qormtx_array_resetre(const int* n, const double* re, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[2 * i] = re[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_resetim(const int* n, const double* im, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[2 * i + 1] = im[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_getre(const int* n, double* re, const double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) re[i] = z[2 * i];
}

QORMTX_KERNEL_CLONES void qormtx_array_getim(const int* n, double* im, const double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) im[i] = z[2 * i + 1];
}

QORMTX_KERNEL_CLONES void qormtx_array_getreim(const int* n, double* re, double* im, const double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) {
    const double r = z[2 * i], m = z[2 * i + 1];
    re[i] = r;
    im[i] = m;
  }
}

QORMTX_KERNEL_CLONES void qormtx_array_invert(const int* n, double* z) {
  // 1/z = conj(z)/|z|^2, the same unscaled formula as qormtx_complex_div with a numerator of 1.
  const int len = *n;
  for (int i = 0; i < len; ++i) {
    const double r = z[2 * i], m = z[2 * i + 1];
    const double d = r * r + m * m;
    z[2 * i] = r / d;
    z[2 * i + 1] = -m / d;
  }
}

QORMTX_KERNEL_CLONES void qormtx_array_multiply(const int* n, const double* alpha, const double* a, const int* inca,
                                                const double* b, const int* incb, const double* beta, double* c,
                                                const int* incc) {
  const int len = *n;
  if (len < 1) return;
  const double ar = alpha[0], ai = alpha[1], br = beta[0], bi = beta[1];
  // Offsets in doubles: two per complex value.
  const Index sa = 2 * static_cast<Index>(*inca), sb = 2 * static_cast<Index>(*incb),
              sc = 2 * static_cast<Index>(*incc);
  // As for the real kernel, a zero beta leaves c unread so that it may be uninitialised.
  const bool readC = br != 0.0 || bi != 0.0;
  for (Index i = 0; i < len; ++i) {
    const double* pa = a + i * sa;
    const double* pb = b + i * sb;
    double* pc = c + i * sc;
    const double tr = pa[0] * pb[0] - pa[1] * pb[1];  // t = a b
    const double ti = pa[1] * pb[0] + pa[0] * pb[1];
    double rr = ar * tr - ai * ti;  // alpha t
    double ri = ai * tr + ar * ti;
    if (readC) {
      rr += br * pc[0] - bi * pc[1];
      ri += bi * pc[0] + br * pc[1];
    }
    pc[0] = rr;
    pc[1] = ri;
  }
}

QORMTX_KERNEL_CLONES void qormtx_reim_array_x_factor(const int* n, double* x, double* y, const double* f) {
  const int len = *n;
  const double fr = f[0], fi = f[1];
  for (int i = 0; i < len; ++i) {
    const double xr = x[i], yi = y[i];
    x[i] = xr * fr - yi * fi;
    y[i] = xr * fi + yi * fr;
  }
}

void qormtx_zdotc(const int* n, const double* x, const int* incx, const double* y, const int* incy, double* result) {
  if (*n < 1) return;
  // The kernel writes its result as one aligned complex; the caller's pointer may be only 8-byte aligned.
  alignas(16) double tmp[2];
  blac_zdotc(tmp, n, x, incx, y, incy);
  result[0] = tmp[0];
  result[1] = tmp[1];
}

}  // extern "C"
