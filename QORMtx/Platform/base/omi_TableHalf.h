// omi_TableHalf: direct-addressed, paged storage of values under non-negative indices (one half of the int tables).
#pragma once
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "omi_PagedArray.h"

namespace omi_detail {

/// \brief Values addressed by index (below 2^32) in pages of 256 slots that exist only while they hold a value.
/// Lookup, insertion and removal are constant time; walks visit indices in order and skip absent pages.
/// Memory: the pages in use, 2 KB per run of 65 536 indices that holds a value, and 8 bytes per such run below
/// the largest index used.
/// V must be default-constructible and copyable.
template <class V>
class TableHalf {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  const V* Find(size_t i) const noexcept {
    const Page* pg = m_pages.Find(i / kSlots);
    return pg && pg->used.Test(i % kSlots) ? &pg->values[i % kSlots] : nullptr;
  }
  V* Find(size_t i) noexcept { return const_cast<V*>(static_cast<const TableHalf*>(this)->Find(i)); }

  /// \brief Stores v under i unless i holds a value already; returns whether it stored.
  bool Insert(size_t i, const V& v) {
    Page& pg = m_pages.Make(i / kSlots);
    if (pg.used.Test(i % kSlots)) return false;
    pg.values[i % kSlots] = v;
    pg.used.Set(i % kSlots);
    ++pg.count;
    ++m_size;
    return true;
  }
  /// \brief Removes the value under i; returns whether there was one. An emptied page is released.
  bool Remove(size_t i) noexcept {
    Page* pg = m_pages.Find(i / kSlots);
    if (!pg || !pg->used.Test(i % kSlots)) return false;
    pg->used.Reset(i % kSlots);
    pg->values[i % kSlots] = V();
    --m_size;
    if (--pg->count == 0) m_pages.Release(i / kSlots);
    return true;
  }
  void Clear() noexcept {
    m_pages.Clear();
    m_size = 0;
  }
  size_t Size() const noexcept { return m_size; }

  /// \brief Smallest used index >= from, or npos.
  size_t Next(size_t from) const noexcept {
    if (m_size == 0 || from == npos) return npos;
    size_t p = from / kSlots;
    if (const Page* pg = m_pages.Find(p)) {
      const size_t s = pg->used.NextIn(from % kSlots);
      if (s != npos) return p * kSlots + s;
    }
    p = m_pages.NextPage(p + 1);  // every page that exists holds a value
    return p == npos ? npos : p * kSlots + m_pages.Find(p)->used.NextIn(0);
  }
  /// \brief Largest used index < before, or npos (Prev(npos) gives the largest used index).
  size_t Prev(size_t before) const noexcept {
    if (m_size == 0 || before == 0) return npos;
    const size_t last = before - 1;
    size_t p = last / kSlots;
    if (const Page* pg = m_pages.Find(p)) {
      const size_t s = pg->used.PrevIn(last % kSlots);
      if (s != npos) return p * kSlots + s;
    }
    p = p == 0 ? npos : m_pages.PrevPage(p - 1);
    return p == npos ? npos : p * kSlots + m_pages.Find(p)->used.PrevIn(kSlots - 1);
  }

 private:
  static constexpr size_t kSlots = 256;
  struct Page {
    BitMask<kSlots / 64> used;
    size_t count = 0;
    V values[kSlots] = {};
  };
  PagedArray<Page> m_pages;
  size_t m_size = 0;
};

/// \brief Ends the process for a lookup of an absent key: reading a value that is not there is a caller error.
[[noreturn]] inline void MissingKey(const char* table, long long key) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: no value under key %lld\n", table, key);
  std::fflush(stderr);
  std::abort();
}

}  // namespace omi_detail
