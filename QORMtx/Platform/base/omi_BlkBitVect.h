// omi_BlkBitVect: bit vector over non-negative indices, stored in blocks that exist only where bits are set.
#pragma once
#include <cstddef>

#include "omi_PagedArray.h"

/// \brief Bits addressed by index (below 2^36), kept in blocks of 4096 bits (512 bytes) that exist only while they
/// hold a set bit. Test, Set and Reset are constant time; Next and Prev skip clear words and absent blocks.
/// Memory: the blocks in use, 2 KB per run of 1 048 576 indices that holds a set bit, and 8 bytes per such run
/// below the largest index set.
class omi_BlkBitVect {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  bool Test(size_t i) const noexcept {
    const Block* blk = m_blocks.Find(i / kBits);
    return blk && blk->bits.Test(i % kBits);
  }
  /// \brief Sets bit i; returns true when it was clear.
  bool Set(size_t i) {
    Block& blk = m_blocks.Make(i / kBits);
    if (blk.bits.Test(i % kBits)) return false;
    blk.bits.Set(i % kBits);
    ++blk.count;
    ++m_count;
    return true;
  }
  /// \brief Clears bit i; returns true when it was set. A block left empty is released.
  bool Reset(size_t i) noexcept {
    Block* blk = m_blocks.Find(i / kBits);
    if (!blk || !blk->bits.Test(i % kBits)) return false;
    blk->bits.Reset(i % kBits);
    --m_count;
    if (--blk->count == 0) m_blocks.Release(i / kBits);
    return true;
  }
  /// \brief Clears every bit and releases all storage.
  void ClearAll() noexcept {
    m_blocks.Clear();
    m_count = 0;
  }
  /// \brief Number of set bits.
  size_t Count() const noexcept { return m_count; }

  /// \brief Smallest set index >= from, or npos.
  size_t Next(size_t from) const noexcept {
    if (m_count == 0 || from == npos) return npos;
    size_t b = from / kBits;
    if (const Block* blk = m_blocks.Find(b)) {
      const size_t s = blk->bits.NextIn(from % kBits);
      if (s != npos) return b * kBits + s;
    }
    b = m_blocks.NextPage(b + 1);  // every block that exists holds a set bit
    return b == npos ? npos : b * kBits + m_blocks.Find(b)->bits.NextIn(0);
  }
  /// \brief Largest set index < before, or npos (Prev(npos) gives the largest set index).
  size_t Prev(size_t before) const noexcept {
    if (m_count == 0 || before == 0) return npos;
    const size_t last = before - 1;
    size_t b = last / kBits;
    if (const Block* blk = m_blocks.Find(b)) {
      const size_t s = blk->bits.PrevIn(last % kBits);
      if (s != npos) return b * kBits + s;
    }
    b = b == 0 ? npos : m_blocks.PrevPage(b - 1);
    return b == npos ? npos : b * kBits + m_blocks.Find(b)->bits.PrevIn(kBits - 1);
  }

 private:
  struct Block {
    omi_detail::BitMask<64> bits;
    size_t count = 0;
  };
  static constexpr size_t kBits = omi_detail::BitMask<64>::kBits;
  omi_detail::PagedArray<Block> m_blocks;
  size_t m_count = 0;
};
