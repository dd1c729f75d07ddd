/* QORMtxCoreModuleC: the functions of the matrix core with plain, unmangled names, callable from C
   and, through bind(C) interfaces, from Fortran. */
#ifndef QORMTXCOREMODULEC_H
#define QORMTXCOREMODULEC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Module lifecycle with the module's own tally. */
void QORMtxCoreModule_initializeC(void);
void QORMtxCoreModule_finalizeC(void);

/* ---- Array kernels ----
   Every argument is passed by address, counts and scalars included, so that Fortran callers pass
   them as they are. A complex value is two doubles (re, im); a complex array of n values is 2n doubles.
   Inputs and outputs may be the same array wherever each element is read before it is written.
   A count below 1 returns at once without touching memory. No kernel allocates or checks. */

/* Complex scalars: z, a, b, r point to two doubles. */
void qormtx_complex_set(const double* re, const double* im, double* z);
void qormtx_complex_get(double* re, double* im, const double* z);
void qormtxcomplexset(const double* re, const double* im, double* z);
void qormtxcomplexgetre(double* out, const double* z);
void qormtxcomplexgetim(double* out, const double* z);
void qormtx_complex_add(const double* a, const double* b, double* r);
void qormtx_complex_sub(const double* a, const double* b, double* r);
void qormtx_complex_mul(const double* a, const double* b, double* r);
/* r = a / b through d = |b|^2, without scaling against overflow. */
void qormtx_complex_div(const double* a, const double* b, double* r);
/* r = conj(a); the sign bit of the imaginary part is flipped, so +0 becomes -0. */
void qormtx_complex_con(const double* a, double* r);
/* out = |z|, the squares summed in extended precision so no finite z overflows. */
void qormtx_complex_abs(const double* z, double* out);

/* Real arrays of n doubles; a, b, c, f, v point to one double. */
/* z = a x + b y + c z */
void qormtx_array_add(const int* n, const double* a, const double* x, const double* b, const double* y,
                      const double* c, double* z);
/* y = a x + b y; y is not read when b == 0 (either sign), so it may hold NaN or garbage */
void qormtx_array_add2(const int* n, const double* a, const double* x, const double* b, double* y);
void qormtx_array_p1p1p0_add(const int* n, const double* x, const double* y, double* z); /* z = x + y */
void qormtx_array_p1m1p0_add(const int* n, const double* x, const double* y, double* z); /* z = x - y */
void qormtx_array_p1p1p1_add(const int* n, const double* x, const double* y, double* z); /* z += x + y */
void qormtx_array_p1m1p1_add(const int* n, const double* x, const double* y, double* z); /* z += x - y */
void qormtx_array_m1m1p1_add(const int* n, const double* x, const double* y, double* z); /* z = z - x - y */
void qormtx_array_minus(const int* n, double* x);                                      /* x = -x */
void qormtx_array_assign(const int* n, double* x, const double* v);                   /* x = v */
void qormtx_array_x_factor(const int* n, double* x, const double* f);                 /* x = x f */
void qormtx_daxpy(const int* n, const double* a, const double* x, double* y);         /* y = a x + y */
/* x = 1/x; |x| < 1e-36f becomes -1e36f when x < 0, else +1e36f (single-precision constants widened to double). */
void qormtx_darray_invert(const int* n, double* x);
/* x = 1/x; |x| < eps becomes |1/eps| with the sign of x (+ for a zero). */
void qormtx_darray_invert_eps(const int* n, double* x, const double* eps);
/* c[i incc] = alpha a[i inca] b[i incb] + beta c[i incc]; c unread when beta == 0. Strides count
   doubles from the element given, so a negative stride walks backwards from it and 0 repeats it. */
void qormtx_darray_multiply(const int* n, const double* alpha, const double* a, const int* inca, const double* b,
                            const int* incb, const double* beta, double* c, const int* incc);
/* z[k stride] = a x[k] + s y[k] (accumulate == 0) or += (otherwise); x and y contiguous.
   A zero a leaves x unread and a zero s leaves y unread, so an absent operand may be passed as null. */
void qormtx_daxsyzi(const int* n, const double* a, const double* x, const int* s, const double* y, double* z,
                    const int* stride, const int* accumulate);

/* Complex arrays: z and the strided a, b, c hold n complex values; re and im n doubles. */
void qormtx_array_setre(const int* n, const double* re, double* z);                /* z = (re, 0) */
void qormtx_array_setim(const int* n, const double* im, double* z);                /* z = (0, im) */
void qormtx_array_setreim(const int* n, const double* re, const double* im, double* z); /* z = (re, im) */
void qormtx_array_resetre(const int* n, const double* re, double* z);              /* Re z = re */
void qormtx_array_resetim(const int* n, const double* im, double* z);              /* Im z = im */
void qormtx_array_getre(const int* n, double* re, const double* z);                /* re = Re z */
void qormtx_array_getim(const int* n, double* im, const double* z);                /* im = Im z */
void qormtx_array_getreim(const int* n, double* re, double* im, const double* z);  /* both parts */
void qormtx_array_invert(const int* n, double* z);                                   /* z = 1/z */
/* c[i incc] = alpha a[i inca] b[i incb] + beta c[i incc] in complex arithmetic; strides count complex
   values from the element given (0 repeats one value); c unread when beta == 0 + 0i. */
void qormtx_array_multiply(const int* n, const double* alpha, const double* a, const int* inca, const double* b,
                           const int* incb, const double* beta, double* c, const int* incc);
/* (x + i y) *= f for two real arrays x, y and one complex factor f. */
void qormtx_reim_array_x_factor(const int* n, double* x, double* y, const double* f);
/* result = sum conj(x[k incx]) y[k incy], through the kernel library's zdotc (its stride convention). */
void qormtx_zdotc(const int* n, const double* x, const int* incx, const double* y, const int* incy,
                  double* result);

/* ---- Integer sorts ----
   Ascending introsort in place, not stable; the companion array is permuted exactly as the keys. */
void QORMtxsortint1(int* a, const int* n);
void QORMtxsortint2(int* a, int* companion, const int* n);


/* ---- Matrix container ----
   Stored dense matrices under integer keys in a private scratch database (QORMtxMatrixContainer.h). The
   handle is passed by value, every int by address. A key that holds no matrix is a fatal error. */
#ifdef __cplusplus
class QORMtxMatrixContainer;
#else
typedef struct QORMtxMatrixContainer QORMtxMatrixContainer;
#endif
/* A new container with its database file; null when it cannot be allocated. */
QORMtxMatrixContainer* qormtxmatrixcontainercreate(void);
/* Deletes the container, its matrices and its file; nothing for a null handle. */
void qormtxmatrixcontainerdelete(QORMtxMatrixContainer* handle);
int qormtxmatrixcontainernumrows(QORMtxMatrixContainer* handle, const int* key);
int qormtxmatrixcontainernumcolumns(QORMtxMatrixContainer* handle, const int* key);
/* values (rows x columns doubles) = the matrix under key, column-major with the row count as leading dimension. */
void qormtxmatrixcontainergetvalues(QORMtxMatrixContainer* handle, const int* key, double* values);

/* ---- Substructure matrix files ----
   Reads a Fortran unformatted sequential file on the library's unit 81: a record with the row count, then one
   record per row holding count, count 1-based column indices and count values, the row's diagonal first.
   mode 0 opens name (name_length characters, trailing blanks ignored) and reads the row count into n;
   mode 2 reads the next row into count, idx and vals, which must hold n items; mode 1 closes the unit.
   A damaged file ends the process with a message naming the file and the record.
   From Fortran: bind(C) with name_length as integer(c_size_t), value. */
void qormtxreadamsmatrix(int* n, int* mode, int* count, int* idx, double* vals, const char* name,
                         size_t name_length);

#ifdef __cplusplus
}
#endif

#endif
