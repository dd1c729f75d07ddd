// omi_UintTable: unsigned-keyed table of values, walked in key order.
#pragma once
#include <cstddef>

#include "omi_TableHalf.h"

template <class V>
class omi_UintTableIterator;

/// \brief Table from unsigned to V, the unsigned sibling of omi_IntTable (one half only): constant-time lookup
/// and insertion, ascending walks with omi_UintTableIterator, memory growing with the largest key. Copies are deep.
template <class V>
class omi_UintTable {
 public:
  /// \brief Stores value under key unless the key is present; returns false and keeps the old value when it is.
  bool Insert(unsigned key, const V& value) { return m_half.Insert(key, value); }
  bool Remove(unsigned key) noexcept { return m_half.Remove(key); }
  const V* Find(unsigned key) const noexcept { return m_half.Find(key); }
  V* Find(unsigned key) noexcept { return m_half.Find(key); }
  bool IsMember(unsigned key) const noexcept { return Find(key) != nullptr; }
  /// \brief As omi_IntTable::ConstGetValue.
  bool ConstGetValue(unsigned key, V& value) const {
    const V* v = Find(key);
    if (!v) return false;
    value = *v;
    return true;
  }
  /// \brief The value under key, which must be present (an absent key ends the process).
  const V& operator[](unsigned key) const {
    const V* v = Find(key);
    if (!v) omi_detail::MissingKey("omi_UintTable", key);
    return *v;
  }
  int Size() const noexcept { return static_cast<int>(m_half.Size()); }
  bool IsEmpty() const noexcept { return Size() == 0; }
  void Clear() noexcept { m_half.Clear(); }

 private:
  friend class omi_UintTableIterator<V>;
  omi_detail::TableHalf<V> m_half;
};

/// \brief Walks an omi_UintTable in ascending key order (First, Next, IsDone, CurrentKey, CurrentValue).
/// \warning The table must not gain or lose keys during the walk.
template <class V>
class omi_UintTableIterator {
  using Half = omi_detail::TableHalf<V>;

 public:
  explicit omi_UintTableIterator(const omi_UintTable<V>& table) noexcept : m_table(&table) { First(); }
  void First() noexcept { m_i = m_table->m_half.Next(0); }
  void Next() noexcept {
    if (!IsDone()) m_i = m_table->m_half.Next(m_i + 1);
  }
  bool IsDone() const noexcept { return m_i == Half::npos; }
  unsigned CurrentKey() const noexcept { return static_cast<unsigned>(m_i); }
  const V& CurrentValue() const noexcept { return *m_table->m_half.Find(m_i); }

 private:
  const omi_UintTable<V>* m_table;
  size_t m_i = Half::npos;
};
