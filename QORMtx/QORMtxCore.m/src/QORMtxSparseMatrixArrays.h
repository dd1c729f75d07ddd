// The array helpers that QORMtxSparseMatrix's source files share: allocation, an owning guard, the row sort.
#pragma once
#include <cstddef>
#include <cstring>
#include <utility>

#include "QORBasVector.h"
#include "QORMtxSortInt.h"
#include "QORMtxUtilities.h"
#include "mem_Alloc.h"

namespace qormtx_sparse {

// Index arrays come from the module's allocation (released with mem_Free), value arrays from the host's hooks.
inline unsigned* NewUnsigned(size_t n) {
  return static_cast<unsigned*>(mem_OperatorNewThrowBuiltin(n * sizeof(unsigned)));
}
inline int* NewInt(size_t n) { return n ? static_cast<int*>(mem_OperatorNewThrowBuiltin(n * sizeof(int))) : nullptr; }
inline double* NewDouble(size_t n) { return QORMtxUtilities::AllocateDouble(n); }
inline double* NewZeroDouble(size_t n) {
  double* p = NewDouble(n);
  if (n) std::memset(p, 0, n * sizeof(double));
  return p;
}

// Owns an index array (mem_Free) or a value array (QORMtxUtilities::Deallocate) until it is handed over, so that
// scratch and half-built results are released on every exit path.
template <class T>
class Owned {
 public:
  explicit Owned(T* p = nullptr) : m_p(p) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Free(m_p); }
  T* get() const { return m_p; }
  T& operator[](size_t i) const { return m_p[i]; }
  T* Release() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  void Reset(T* p) {
    Free(m_p);
    m_p = p;
  }
  void Swap(Owned& other) { std::swap(m_p, other.m_p); }

 private:
  static void Free(T* p) { mem_Free(p); }
  T* m_p;
};
template <>
inline void Owned<double>::Free(double* p) {
  if (p) QORMtxUtilities::Deallocate(p);
}

// Count → prefix sum: start[1..n] hold the counts of slots 0..n-1 and start[0] is 0; afterwards slot k spans
// start[k] .. start[k + 1] - 1.
template <class T>
inline void CountsToStarts(T* start, size_t n) {
  for (size_t k = 0; k < n; ++k) start[k + 1] += start[k];
}

// Sorts cols[0..n) ascending with vals carried along; the columns are distinct. Short rows (the usual
// finite-element row) by insertion, long ones by the library's int sort on a permutation.
inline void SortRow(int* cols, double* vals, int n, QORBasVector<int>& perm, QORBasVector<double>& scratch) {
  if (n < 2) return;
  if (n <= 32) {
    for (int i = 1; i < n; ++i) {
      const int c = cols[i];
      const double v = vals[i];
      int j = i - 1;
      for (; j >= 0 && cols[j] > c; --j) {
        cols[j + 1] = cols[j];
        vals[j + 1] = vals[j];
      }
      cols[j + 1] = c;
      vals[j + 1] = v;
    }
    return;
  }
  perm.resize(n);
  scratch.resize(n);
  for (int i = 0; i < n; ++i) perm[i] = i;
  QORMtxSortInt2(cols, cols + n, perm.data(), perm.data() + n);
  for (int i = 0; i < n; ++i) scratch[i] = vals[perm[i]];
  std::memcpy(vals, scratch.data(), sizeof(double) * static_cast<size_t>(n));
}

}  // namespace qormtx_sparse
