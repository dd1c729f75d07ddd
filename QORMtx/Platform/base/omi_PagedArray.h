// omi_PagedArray: sparse directory of fixed-size pages, the storage under the int tables and the bit vectors.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace omi_detail {

/// \brief Fixed-size bit mask of W words with neighbour searches; the building block of pages and directories.
template <size_t W>
struct BitMask {
  static constexpr size_t kBits = W * 64;
  static constexpr size_t npos = static_cast<size_t>(-1);
  uint64_t words[W] = {};

  bool Test(size_t i) const noexcept { return words[i / 64] >> (i % 64) & 1u; }
  void Set(size_t i) noexcept { words[i / 64] |= uint64_t{1} << (i % 64); }
  void Reset(size_t i) noexcept { words[i / 64] &= ~(uint64_t{1} << (i % 64)); }
  /// \brief Smallest set bit >= i (i < kBits), or npos.
  size_t NextIn(size_t i) const noexcept {
    uint64_t bits = words[i / 64] & (~uint64_t{0} << (i % 64));
    for (size_t w = i / 64;;) {
      if (bits) return w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
      if (++w == W) return npos;
      bits = words[w];
    }
  }
  /// \brief Largest set bit <= i (i < kBits), or npos.
  size_t PrevIn(size_t i) const noexcept {
    uint64_t bits = words[i / 64] & (i % 64 == 63 ? ~uint64_t{0} : (uint64_t{2} << (i % 64)) - 1);
    for (size_t w = i / 64;;) {
      if (bits) return w * 64 + 63 - static_cast<size_t>(__builtin_clzll(bits));
      if (w-- == 0) return npos;
      bits = words[w];
    }
  }
};

/// \brief Pages addressed by a page number, created on demand, in a two-level directory: groups of 256 page slots
/// with a bit mask of the slots in use. Finding a page is constant time; NextPage and PrevPage skip absent pages
/// 64 at a time and absent groups one pointer at a time. Beyond the pages, a page number n costs one pointer per
/// 256 page numbers below n and one 2 KB group per run of 256 page numbers in use. Page must be copy-constructible.
template <class Page>
class PagedArray {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  PagedArray() = default;
  PagedArray(const PagedArray& rhs) : m_groups(rhs.m_groups.size()) {
    for (size_t g = 0; g < m_groups.size(); ++g)
      if (rhs.m_groups[g]) m_groups[g] = std::make_unique<Group>(*rhs.m_groups[g]);
  }
  PagedArray(PagedArray&&) noexcept = default;
  PagedArray& operator=(const PagedArray& rhs) {
    if (this != &rhs) {
      PagedArray copy(rhs);
      m_groups.swap(copy.m_groups);
    }
    return *this;
  }
  PagedArray& operator=(PagedArray&&) noexcept = default;

  Page* Find(size_t p) const noexcept {
    const size_t g = p / kGroup;
    return g < m_groups.size() && m_groups[g] ? m_groups[g]->pages[p % kGroup].get() : nullptr;
  }
  /// \brief The page numbered p, created (value-initialised) when absent.
  Page& Make(size_t p) {
    const size_t g = p / kGroup;
    if (g >= m_groups.size()) m_groups.resize(g + 1);
    if (!m_groups[g]) m_groups[g] = std::make_unique<Group>();
    Group& grp = *m_groups[g];
    std::unique_ptr<Page>& slot = grp.pages[p % kGroup];
    if (!slot) {
      slot = std::make_unique<Page>();
      grp.live.Set(p % kGroup);
      ++grp.count;
    }
    return *slot;
  }
  /// \brief Releases page p (and its group when that empties).
  void Release(size_t p) noexcept {
    const size_t g = p / kGroup;
    if (g >= m_groups.size() || !m_groups[g] || !m_groups[g]->pages[p % kGroup]) return;
    Group& grp = *m_groups[g];
    grp.pages[p % kGroup].reset();
    grp.live.Reset(p % kGroup);
    if (--grp.count == 0) m_groups[g].reset();
  }
  void Clear() noexcept { std::vector<std::unique_ptr<Group>>().swap(m_groups); }

  /// \brief Smallest page number >= p that exists, or npos.
  size_t NextPage(size_t p) const noexcept {
    for (size_t g = p / kGroup; g < m_groups.size(); ++g) {
      const Group* grp = m_groups[g].get();
      const size_t s = grp ? grp->live.NextIn(g == p / kGroup ? p % kGroup : 0) : npos;
      if (s != npos) return g * kGroup + s;
    }
    return npos;
  }
  /// \brief Largest page number <= p that exists, or npos (PrevPage(npos) gives the last page).
  size_t PrevPage(size_t p) const noexcept {
    if (m_groups.empty()) return npos;
    if (p / kGroup >= m_groups.size()) p = m_groups.size() * kGroup - 1;
    for (size_t g = p / kGroup + 1; g-- > 0;) {
      const Group* grp = m_groups[g].get();
      const size_t s = grp ? grp->live.PrevIn(g == p / kGroup ? p % kGroup : kGroup - 1) : npos;
      if (s != npos) return g * kGroup + s;
    }
    return npos;
  }

 private:
  static constexpr size_t kGroup = 256;
  struct Group {
    Group() = default;
    Group(const Group& rhs) : live(rhs.live), count(rhs.count) {
      for (size_t s = 0; s < kGroup; ++s)
        if (rhs.pages[s]) pages[s] = std::make_unique<Page>(*rhs.pages[s]);
    }
    BitMask<kGroup / 64> live;
    size_t count = 0;
    std::unique_ptr<Page> pages[kGroup];
  };
  std::vector<std::unique_ptr<Group>> m_groups;
};

}  // namespace omi_detail
