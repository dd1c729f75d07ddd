// QORMtxRealArrayKernels: the unmangled elementwise kernels on arrays of doubles.
#include <cmath>
#include <cstddef>

#include "QORMtxCoreModuleC.h"
#include "QORMtxKernelClones.h"

// Each kernel is one plain ascending loop that the compiler vectorises; inputs may alias outputs
// elementwise, so no pointer is declared restrict and the compiler versions the loops on overlap.
// Scalars are loaded once before the loop: the store to an output array could otherwise alias them.

namespace {
using Index = std::ptrdiff_t;  // strided offsets of large arrays overflow int

// Pivot floor and its replacement are single-precision constants widened to double.
constexpr double kInvertFloor = static_cast<double>(1.0e-36f);
constexpr double kInvertBig = static_cast<double>(1.0e36f);
}  // namespace

extern "C" {

QORMTX_KERNEL_CLONES void qormtx_array_add(const int* n, const double* a, const double* x, const double* b,
                                           const double* y, const double* c, double* z) {
  const int len = *n;
  const double sa = *a, sb = *b, sc = *c;
  for (int i = 0; i < len; ++i) z[i] = sa * x[i] + sb * y[i] + sc * z[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_add2(const int* n, const double* a, const double* x, const double* b,
                                            double* y) {
  const int len = *n;
  const double sa = *a, sb = *b;
  if (sb == 0.0) {  // y may be uninitialised or hold NaN: never read it
    for (int i = 0; i < len; ++i) y[i] = sa * x[i];
  } else {
    for (int i = 0; i < len; ++i) y[i] = sa * x[i] + sb * y[i];
  }
}

QORMTX_KERNEL_CLONES void qormtx_array_p1p1p0_add(const int* n, const double* x, const double* y, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[i] = x[i] + y[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_p1m1p0_add(const int* n, const double* x, const double* y, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[i] = x[i] - y[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_p1p1p1_add(const int* n, const double* x, const double* y, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[i] = z[i] + (x[i] + y[i]);
}

QORMTX_KERNEL_CLONES void qormtx_array_p1m1p1_add(const int* n, const double* x, const double* y, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[i] = z[i] + (x[i] - y[i]);
}

QORMTX_KERNEL_CLONES void qormtx_array_m1m1p1_add(const int* n, const double* x, const double* y, double* z) {
  const int len = *n;
  for (int i = 0; i < len; ++i) z[i] = z[i] - x[i] - y[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_minus(const int* n, double* x) {
  const int len = *n;
  for (int i = 0; i < len; ++i) x[i] = -x[i];
}

QORMTX_KERNEL_CLONES void qormtx_array_assign(const int* n, double* x, const double* v) {
  const int len = *n;
  const double value = *v;
  for (int i = 0; i < len; ++i) x[i] = value;
}

QORMTX_KERNEL_CLONES void qormtx_array_x_factor(const int* n, double* x, const double* f) {
  const int len = *n;
  const double factor = *f;
  for (int i = 0; i < len; ++i) x[i] = x[i] * factor;
}

QORMTX_KERNEL_CLONES void qormtx_daxpy(const int* n, const double* a, const double* x, double* y) {
  const int len = *n;
  const double sa = *a;
  for (int i = 0; i < len; ++i) y[i] = sa * x[i] + y[i];
}

QORMTX_KERNEL_CLONES void qormtx_darray_invert(const int* n, double* x) {
  const int len = *n;
  for (int i = 0; i < len; ++i) {
    const double v = x[i];
    x[i] = std::fabs(v) < kInvertFloor ? (v < 0.0 ? -kInvertBig : kInvertBig) : 1.0 / v;
  }
}

QORMTX_KERNEL_CLONES void qormtx_darray_invert_eps(const int* n, double* x, const double* eps) {
  const int len = *n;
  const double e = *eps;
  const double big = std::fabs(1.0 / e);
  for (int i = 0; i < len; ++i) {
    const double v = x[i];
    x[i] = std::fabs(v) < e ? (v < 0.0 ? -big : big) : 1.0 / v;
  }
}

QORMTX_KERNEL_CLONES void qormtx_darray_multiply(const int* n, const double* alpha, const double* a, const int* inca,
                                                 const double* b, const int* incb, const double* beta, double* c,
                                                 const int* incc) {
  const int len = *n;
  if (len < 1) return;
  const double al = *alpha, be = *beta;
  const Index ia = *inca, ib = *incb, ic = *incc;
  if (ia == 1 && ib == 1 && ic == 1) {  // the common contiguous case, kept simple for the vectoriser
    if (be == 0.0) {
      for (int i = 0; i < len; ++i) c[i] = al * a[i] * b[i];
    } else {
      for (int i = 0; i < len; ++i) c[i] = al * a[i] * b[i] + be * c[i];
    }
    return;
  }
  if (be == 0.0) {  // c may be uninitialised or hold NaN: never read it
    for (Index i = 0; i < len; ++i) c[i * ic] = al * a[i * ia] * b[i * ib];
  } else {
    for (Index i = 0; i < len; ++i) c[i * ic] = al * a[i * ia] * b[i * ib] + be * c[i * ic];
  }
}

QORMTX_KERNEL_CLONES void qormtx_daxsyzi(const int* n, const double* a, const double* x, const int* s, const double* y,
                                         double* z, const int* stride, const int* accumulate) {
  const int len = *n;
  if (len < 1) return;
  const double sa = *a;
  const double ss = static_cast<double>(*s);
  const Index inc = *stride;
  const bool add = *accumulate != 0;
  // A zero factor drops its operand entirely, so the dense sums may pass an absent matrix's null array
  // and a NaN in an operand that contributes nothing does not leak into z.
  if (sa == 0.0 && ss == 0.0) {
    if (!add)
      for (Index k = 0; k < len; ++k) z[k * inc] = 0.0;
  } else if (sa == 0.0) {
    if (add) {
      for (Index k = 0; k < len; ++k) z[k * inc] += ss * y[k];
    } else {
      for (Index k = 0; k < len; ++k) z[k * inc] = ss * y[k];
    }
  } else if (ss == 0.0) {
    if (add) {
      for (Index k = 0; k < len; ++k) z[k * inc] += sa * x[k];
    } else {
      for (Index k = 0; k < len; ++k) z[k * inc] = sa * x[k];
    }
  } else if (add) {
    for (Index k = 0; k < len; ++k) z[k * inc] += sa * x[k] + ss * y[k];
  } else {
    for (Index k = 0; k < len; ++k) z[k * inc] = sa * x[k] + ss * y[k];
  }
}

}  // extern "C"
