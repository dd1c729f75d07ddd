// QORMtxArray: growable array of trivially copyable values whose new slots take a fill value kept past the end.
#pragma once
#include <cstring>
#include <new>
#include <utility>

#include "mem_Alloc.h"

/// \brief Allocator of QORMtxArray buffers: the handled base allocation (a failure is reported on standard
/// error and then thrown as std::bad_alloc, so that no caller goes on with a null buffer).
template <class T>
class QORMtxArrayAllocator {
 public:
  static T* Allocate(long long n) {
    void* p = mem_Malloc_Handled(static_cast<size_t>(n) * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  static void Release(T* p) { mem_Free(p); }
};

/// \brief Array of Size() used elements in a buffer of Capacity() + 1 slots. The slot at index Capacity() holds
/// the fill value: every slot that growth exposes receives it, so elements never written read the fill value.
///
/// Growth doubles the capacity (from at least 1), so n insertions at increasing indices cost O(n) copies.
/// \warning operator[] is unchecked, as in the hot loops that use it; Insert is the checked, growing write.
template <class T, class Alloc = QORMtxArrayAllocator<T>>
class QORMtxArray {
 public:
  /// \brief capacity slots (and the fill slot), every one holding fill; size 0.
  explicit QORMtxArray(long long capacity = 0, const T& fill = T()) : m_capacity(capacity < 0 ? 0 : capacity) {
    m_data = Alloc::Allocate(m_capacity + 1);
    for (long long k = 0; k <= m_capacity; ++k) m_data[k] = fill;
  }
  /// \brief Exactly the used elements, size = capacity = the source's size; the source's fill value is carried
  /// into the extra slot so that the copy grows as the source would.
  QORMtxArray(const QORMtxArray& rhs) : m_size(rhs.m_size), m_capacity(rhs.m_size) {
    m_data = Alloc::Allocate(m_capacity + 1);
    if (m_size) std::memcpy(m_data, rhs.m_data, static_cast<size_t>(m_size) * sizeof(T));
    m_data[m_capacity] = rhs.FillValue();
  }
  QORMtxArray& operator=(QORMtxArray rhs) noexcept {
    Swap(rhs);
    return *this;
  }
  ~QORMtxArray() {
    Alloc::Release(m_data);
    m_data = nullptr;
  }
  void Swap(QORMtxArray& rhs) noexcept {
    std::swap(m_data, rhs.m_data);
    std::swap(m_size, rhs.m_size);
    std::swap(m_capacity, rhs.m_capacity);
  }

  T& operator[](const long long& i) { return m_data[i]; }
  const T& operator[](const long long& i) const { return m_data[i]; }
  long long Size() const { return m_size; }
  long long Capacity() const { return m_capacity; }
  const T& FillValue() const { return m_data[m_capacity]; }
  T* Data() { return m_data; }
  const T* Data() const { return m_data; }

  /// \brief Doubles the capacity until it is at least n; exposed slots take the fill value.
  void Grow(long long n) {
    long long capacity = m_capacity;
    while (capacity < n) capacity = capacity ? 2 * capacity : 1;
    Regrow(capacity);
  }
  /// \brief Element i = v, growing (capacity doubled until it exceeds i) when i is past the buffer; the size
  /// becomes i + 1 when i is at or past it, and the skipped elements keep the fill value.
  void Insert(long long i, const T& v) {
    if (i >= m_capacity) {
      long long capacity = m_capacity;
      while (capacity <= i) capacity = capacity ? 2 * capacity : 1;
      Regrow(capacity);
    }
    m_data[i] = v;
    if (i >= m_size) m_size = i + 1;
  }

 private:
  void Regrow(long long capacity) {
    if (capacity == m_capacity) return;
    T* data = Alloc::Allocate(capacity + 1);
    if (m_size) std::memcpy(data, m_data, static_cast<size_t>(m_size) * sizeof(T));
    const T fill = FillValue();
    for (long long k = m_size; k <= capacity; ++k) data[k] = fill;
    Alloc::Release(m_data);
    m_data = data;
    m_capacity = capacity;
  }

  T* m_data = nullptr;
  long long m_size = 0;
  long long m_capacity = 0;
};
