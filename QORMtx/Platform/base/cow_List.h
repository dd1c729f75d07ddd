// cow_List: reference-counted list; copies share the items until one of them changes.
#pragma once
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

/// \brief Sequence of T by value with copy-on-write: copying is O(1) and shares the items; the first change
/// through a list that shares them takes a private copy (O(n)). Reading never copies.
template <class T>
class cow_List {
 public:
  using const_iterator = typename std::vector<T>::const_iterator;

  cow_List() = default;
  cow_List(std::initializer_list<T> items) : m_rep(std::make_shared<std::vector<T>>(items)) {}

  int Size() const noexcept { return m_rep ? static_cast<int>(m_rep->size()) : 0; }
  bool IsEmpty() const noexcept { return Size() == 0; }
  /// \brief Item i, unchecked: 0 <= i < Size().
  const T& operator[](int i) const noexcept { return (*m_rep)[static_cast<size_t>(i)]; }
  const T& First() const noexcept { return m_rep->front(); }
  const T& Last() const noexcept { return m_rep->back(); }

  void Append(const T& item) { Own().push_back(item); }
  /// \brief Replaces item i: 0 <= i < Size().
  void Set(int i, const T& item) { Own()[static_cast<size_t>(i)] = item; }
  /// \brief Inserts item before position i: 0 <= i <= Size().
  void Insert(int i, const T& item) {
    std::vector<T>& v = Own();
    v.insert(v.begin() + i, item);
  }
  /// \brief Removes item i: 0 <= i < Size().
  void Remove(int i) {
    std::vector<T>& v = Own();
    v.erase(v.begin() + i);
  }
  /// \brief Empties this list; lists sharing its items keep them.
  void Clear() noexcept { m_rep.reset(); }

  const_iterator begin() const noexcept { return m_rep ? m_rep->cbegin() : const_iterator(); }
  const_iterator end() const noexcept { return m_rep ? m_rep->cend() : const_iterator(); }

  /// \brief How many lists share these items (0 for a list that holds none).
  int RefCount() const noexcept { return m_rep ? static_cast<int>(m_rep.use_count()) : 0; }

  friend bool operator==(const cow_List& a, const cow_List& b) {
    if (a.m_rep == b.m_rep) return true;
    if (a.Size() != b.Size()) return false;
    return a.Size() == 0 || *a.m_rep == *b.m_rep;
  }
  friend bool operator!=(const cow_List& a, const cow_List& b) { return !(a == b); }

 private:
  // The items, private to this list (copied first when shared).
  std::vector<T>& Own() {
    if (!m_rep)
      m_rep = std::make_shared<std::vector<T>>();
    else if (m_rep.use_count() > 1)
      m_rep = std::make_shared<std::vector<T>>(*m_rep);
    return *m_rep;
  }
  std::shared_ptr<std::vector<T>> m_rep;  // null: the empty list
};
