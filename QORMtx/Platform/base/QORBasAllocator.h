// QORBasAllocator: the default heap allocator handed to containers that take an allocator object.
#pragma once
#include <cstddef>

#include "mem_Alloc.h"

namespace qorbas_detail {
/// \brief n·size, or the largest size when that overflows, so that the allocation fails instead of coming out short.
inline size_t ArrayBytes(size_t n, size_t size) noexcept {
  return size != 0 && n > static_cast<size_t>(-1) / size ? static_cast<size_t>(-1) : n * size;
}
}  // namespace qorbas_detail

/// \brief Stateless allocator over the throwing base allocation (64-byte aligned; std::bad_alloc on failure).
/// Memory from Allocate or AllocateArray goes back through Deallocate (or mem_Free).
class QORBasAllocator {
 public:
  void* Allocate(size_t nBytes) { return mem_OperatorNewThrowBuiltin(nBytes); }
  /// \brief Uninitialised room for n objects of the trivially copyable type T.
  template <class T>
  T* AllocateArray(size_t n) {
    return static_cast<T*>(Allocate(qorbas_detail::ArrayBytes(n, sizeof(T))));
  }
  void Deallocate(void* p) noexcept { mem_Free(p); }
};
