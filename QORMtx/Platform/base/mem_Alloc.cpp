// mem_Alloc: aligned allocation over the C library, releasable by one function.
#include "mem_Alloc.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
constexpr size_t kAlignment = 64;  // a cache line: whole SIMD loads for the kernels

void* AlignedOrNull(size_t nBytes) {
  void* p = nullptr;
  if (posix_memalign(&p, kAlignment, nBytes == 0 ? 1 : nBytes) != 0) return nullptr;
  return p;
}
}  // namespace

void* mem_Malloc(size_t nBytes) { return AlignedOrNull(nBytes); }

void* mem_Malloc_Handled(size_t nBytes) {
  void* p = AlignedOrNull(nBytes);
  if (!p) std::fprintf(stderr, "mem_Malloc_Handled: cannot allocate %zu bytes\n", nBytes);
  return p;
}

void* mem_OperatorNewThrowBuiltin(size_t nBytes) {
  void* p = AlignedOrNull(nBytes);
  if (!p) throw std::bad_alloc();
  return p;
}

void mem_Free(void* p) { std::free(p); }
