// omi_IntTable: int-keyed table of values in two halves, negative and non-negative keys, walked in key order.
#pragma once
#include <cstddef>

#include "omi_TableHalf.h"

template <class V>
class omi_IntTableIterator;

/// \brief Table from int to V with constant-time lookup and insertion; omi_IntTableIterator walks it in ascending
/// key order. Memory grows with the magnitude of the keys (see omi_detail::TableHalf), so it suits indices,
/// ordinals and labels. Copies are deep.
template <class V>
class omi_IntTable {
 public:
  /// \brief Stores value under key unless the key is present; returns false and keeps the old value when it is.
  bool Insert(int key, const V& value) {
    return key < 0 ? m_neg.Insert(Neg(key), value) : m_pos.Insert(Pos(key), value);
  }
  /// \brief Removes key; returns whether it was present.
  bool Remove(int key) noexcept { return key < 0 ? m_neg.Remove(Neg(key)) : m_pos.Remove(Pos(key)); }
  /// \brief The value under key, or null when absent.
  const V* Find(int key) const noexcept { return key < 0 ? m_neg.Find(Neg(key)) : m_pos.Find(Pos(key)); }
  V* Find(int key) noexcept { return key < 0 ? m_neg.Find(Neg(key)) : m_pos.Find(Pos(key)); }
  bool IsMember(int key) const noexcept { return Find(key) != nullptr; }
  /// \brief Copies the value under key into value and returns true; returns false (value untouched) when absent.
  /// key is read before value is written, so both may name the same variable.
  bool ConstGetValue(int key, V& value) const {
    const V* v = Find(key);
    if (!v) return false;
    value = *v;
    return true;
  }
  /// \brief The value under key, which must be present (an absent key ends the process).
  const V& operator[](int key) const {
    const V* v = Find(key);
    if (!v) omi_detail::MissingKey("omi_IntTable", key);
    return *v;
  }
  /// \brief Number of keys: the sum of both halves.
  int Size() const noexcept { return static_cast<int>(m_neg.Size() + m_pos.Size()); }
  bool IsEmpty() const noexcept { return Size() == 0; }
  /// \brief Removes every key and releases the storage.
  void Clear() noexcept {
    m_neg.Clear();
    m_pos.Clear();
  }

 private:
  friend class omi_IntTableIterator<V>;
  // -1 -> 0, -2 -> 1, ..., INT_MIN -> 2^31 - 1.
  static size_t Neg(int k) noexcept { return static_cast<size_t>(-(static_cast<long long>(k) + 1)); }
  static size_t Pos(int k) noexcept { return static_cast<size_t>(k); }
  omi_detail::TableHalf<V> m_neg;
  omi_detail::TableHalf<V> m_pos;
};

/// \brief Walks an omi_IntTable in ascending key order:
/// for (it.First(); !it.IsDone(); it.Next()) use(it.CurrentKey(), it.CurrentValue()).
/// \warning The table must not gain or lose keys during the walk.
template <class V>
class omi_IntTableIterator {
  using Half = omi_detail::TableHalf<V>;

 public:
  explicit omi_IntTableIterator(const omi_IntTable<V>& table) noexcept : m_table(&table) { First(); }
  void First() noexcept {
    m_inNeg = true;
    m_i = m_table->m_neg.Prev(Half::npos);
    if (m_i == Half::npos) EnterPositive();
  }
  void Next() noexcept {
    if (IsDone()) return;
    if (m_inNeg) {
      m_i = m_table->m_neg.Prev(m_i);
      if (m_i == Half::npos) EnterPositive();
    } else {
      m_i = m_table->m_pos.Next(m_i + 1);
    }
  }
  bool IsDone() const noexcept { return !m_inNeg && m_i == Half::npos; }
  /// \brief Key and value at the current position; only while !IsDone().
  int CurrentKey() const noexcept {
    return m_inNeg ? static_cast<int>(-static_cast<long long>(m_i) - 1) : static_cast<int>(m_i);
  }
  const V& CurrentValue() const noexcept { return *(m_inNeg ? m_table->m_neg.Find(m_i) : m_table->m_pos.Find(m_i)); }

 private:
  void EnterPositive() noexcept {
    m_inNeg = false;
    m_i = m_table->m_pos.Next(0);
  }
  const omi_IntTable<V>* m_table;
  bool m_inNeg = true;
  size_t m_i = Half::npos;
};
