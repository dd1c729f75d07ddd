// QORBasMemAllocator: heap allocator that keeps count of its blocks, for callers that account for memory.
#pragma once
#include <cstddef>

#include "QORBasAllocator.h"
#include "mem_Alloc.h"

/// \brief Allocator with the interface of QORBasAllocator that also counts the blocks it has handed out and not
/// yet taken back, and the bytes handed out in all. Each object counts only its own traffic; not thread-safe.
class QORBasMemAllocator {
 public:
  void* Allocate(size_t nBytes) {
    void* p = mem_OperatorNewThrowBuiltin(nBytes);
    ++m_liveBlocks;
    m_bytesAllocated += nBytes;
    return p;
  }
  /// \brief Uninitialised room for n objects of the trivially copyable type T.
  template <class T>
  T* AllocateArray(size_t n) {
    return static_cast<T*>(Allocate(qorbas_detail::ArrayBytes(n, sizeof(T))));
  }
  /// \brief Releases p (null is ignored and not counted).
  void Deallocate(void* p) noexcept {
    if (!p) return;
    mem_Free(p);
    --m_liveBlocks;
  }
  /// \brief Blocks allocated and not yet released through this object.
  long long LiveBlocks() const noexcept { return m_liveBlocks; }
  /// \brief Bytes requested from this object since its construction.
  size_t BytesAllocated() const noexcept { return m_bytesAllocated; }

 private:
  long long m_liveBlocks = 0;
  size_t m_bytesAllocated = 0;
};
