// omi_Set: set of ints as two blocked bit vectors, one for negative and one for non-negative members.
#pragma once
#include <cstddef>

#include "QORBasVector.h"
#include "omi_BlkBitVect.h"

class omi_SetIT;

/// \brief Set of ints. Insert, Remove and IsMember are constant time; Members and omi_SetIT give the members
/// in ascending order. Memory grows with the magnitude of the members (see omi_BlkBitVect), so it suits
/// indices and ordinals, not arbitrary hashes.
class omi_Set {
 public:
  /// \brief Adds k; returns true when it was not a member.
  bool Insert(int k) { return k < 0 ? m_neg.Set(NegIndex(k)) : m_pos.Set(static_cast<size_t>(k)); }
  /// \brief Removes k; returns true when it was a member.
  bool Remove(int k) noexcept { return k < 0 ? m_neg.Reset(NegIndex(k)) : m_pos.Reset(static_cast<size_t>(k)); }
  bool IsMember(int k) const noexcept { return k < 0 ? m_neg.Test(NegIndex(k)) : m_pos.Test(static_cast<size_t>(k)); }
  /// \brief Removes every member and releases the storage.
  void Clear() noexcept {
    m_neg.ClearAll();
    m_pos.ClearAll();
  }
  /// \brief Number of members.
  int Size() const noexcept { return static_cast<int>(m_neg.Count() + m_pos.Count()); }
  bool IsEmpty() const noexcept { return Size() == 0; }
  /// \brief Replaces members with the members of the set, ascending.
  void Members(QORBasVector<int>& members) const {
    members.clear();
    members.reserve(Size());
    for (size_t i = m_neg.Prev(omi_BlkBitVect::npos); i != omi_BlkBitVect::npos; i = m_neg.Prev(i))
      members.push_back(FromNegIndex(i));
    for (size_t i = m_pos.Next(0); i != omi_BlkBitVect::npos; i = m_pos.Next(i + 1))
      members.push_back(static_cast<int>(i));
  }

 private:
  friend class omi_SetIT;
  // -1 -> 0, -2 -> 1, ..., INT_MIN -> 2^31 - 1: the negative half counts away from zero.
  static size_t NegIndex(int k) noexcept { return static_cast<size_t>(-(static_cast<long long>(k) + 1)); }
  static int FromNegIndex(size_t i) noexcept { return static_cast<int>(-static_cast<long long>(i) - 1); }

  omi_BlkBitVect m_neg;
  omi_BlkBitVect m_pos;
};

/// \brief Walks an omi_Set in ascending order: for (it.First(); !it.IsDone(); it.Next()) use(it.CurrentItem()).
/// \warning The set must not change during the walk.
class omi_SetIT {
 public:
  explicit omi_SetIT(const omi_Set& set) noexcept : m_set(&set) { First(); }
  void First() noexcept {
    m_inNeg = true;
    m_i = m_set->m_neg.Prev(omi_BlkBitVect::npos);
    if (m_i == omi_BlkBitVect::npos) EnterPositive(0);
  }
  void Next() noexcept {
    if (IsDone()) return;
    if (m_inNeg) {
      m_i = m_set->m_neg.Prev(m_i);
      if (m_i == omi_BlkBitVect::npos) EnterPositive(0);
    } else {
      m_i = m_set->m_pos.Next(m_i + 1);
    }
  }
  bool IsDone() const noexcept { return !m_inNeg && m_i == omi_BlkBitVect::npos; }
  /// \brief The current member; only while !IsDone().
  int CurrentItem() const noexcept { return m_inNeg ? omi_Set::FromNegIndex(m_i) : static_cast<int>(m_i); }

 private:
  void EnterPositive(size_t from) noexcept {
    m_inNeg = false;
    m_i = m_set->m_pos.Next(from);
  }
  const omi_Set* m_set;
  bool m_inNeg = true;
  size_t m_i = omi_BlkBitVect::npos;
};
