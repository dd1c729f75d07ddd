// mem_Alloc: aligned allocation over the C library, releasable by one function.
#include "mem_Alloc.h"

#include <sys/mman.h>

#include <cstdint>
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

void mem_AdviseFill(void* p, size_t nBytes) {
  // Below two large pages there is nothing to gain; the advice covers only whole pages inside the block.
  constexpr size_t kLargePage = size_t(2) << 20, kPage = 4096;
  if (!p || nBytes < 2 * kLargePage) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kPage - 1) & ~uintptr_t(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + nBytes) & ~uintptr_t(kPage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}
