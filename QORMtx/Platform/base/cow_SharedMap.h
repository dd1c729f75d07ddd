// cow_SharedMap: the ordered copy-on-write map behind cow_Map and cow_Btree.
#pragma once
#include <map>
#include <memory>
#include <utility>

namespace cow_detail {

/// \brief Ordered map from K to V with copy-on-write: copying is O(1) and shares the entries; the first change
/// through a map that shares them takes a private copy (O(n)). Lookups are O(log n); iteration yields
/// std::pair<const K, V> in ascending key order. Reading never copies.
template <class K, class V>
class SharedMap {
  using Rep = std::map<K, V>;

 public:
  using const_iterator = typename Rep::const_iterator;

  /// \brief Stores value under key unless the key is present; returns false and keeps the old value when it is.
  bool Insert(const K& key, const V& value) {
    if (IsMember(key)) return false;  // no private copy for a refused insertion
    return Own().emplace(key, value).second;
  }
  /// \brief Stores value under key, replacing any value there.
  void Set(const K& key, const V& value) { Own()[key] = value; }
  /// \brief Removes key; returns whether it was present.
  bool Remove(const K& key) {
    if (!IsMember(key)) return false;
    return Own().erase(key) == 1;
  }
  /// \brief The value under key, or null when absent. The pointer is valid until the map changes.
  const V* Find(const K& key) const {
    if (!m_rep) return nullptr;
    const auto it = m_rep->find(key);
    return it == m_rep->end() ? nullptr : &it->second;
  }
  bool IsMember(const K& key) const { return Find(key) != nullptr; }
  /// \brief Copies the value under key into value and returns true; false (value untouched) when absent.
  bool GetValue(const K& key, V& value) const {
    const V* v = Find(key);
    if (!v) return false;
    value = *v;
    return true;
  }
  int Size() const noexcept { return m_rep ? static_cast<int>(m_rep->size()) : 0; }
  bool IsEmpty() const noexcept { return Size() == 0; }
  /// \brief Empties this map; maps sharing its entries keep them.
  void Clear() noexcept { m_rep.reset(); }

  const_iterator begin() const noexcept { return m_rep ? m_rep->cbegin() : Empty().cbegin(); }
  const_iterator end() const noexcept { return m_rep ? m_rep->cend() : Empty().cend(); }

  /// \brief How many maps share these entries (0 for a map that holds none).
  int RefCount() const noexcept { return m_rep ? static_cast<int>(m_rep.use_count()) : 0; }

  friend bool operator==(const SharedMap& a, const SharedMap& b) {
    if (a.m_rep == b.m_rep) return true;
    if (a.Size() != b.Size()) return false;
    return a.Size() == 0 || *a.m_rep == *b.m_rep;
  }
  friend bool operator!=(const SharedMap& a, const SharedMap& b) { return !(a == b); }

 private:
  // One shared empty map gives an empty range for maps that hold no entries.
  static const Rep& Empty() noexcept {
    static const Rep empty;
    return empty;
  }
  Rep& Own() {
    if (!m_rep)
      m_rep = std::make_shared<Rep>();
    else if (m_rep.use_count() > 1)
      m_rep = std::make_shared<Rep>(*m_rep);
    return *m_rep;
  }
  std::shared_ptr<Rep> m_rep;  // null: the empty map
};

}  // namespace cow_detail
