// QORBasVector: growable contiguous vector with int sizes, as the matrix code counts rows and columns.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

/// \brief A std::vector whose size() is an int, so that it compares with int dimensions without casts.
/// The count constructor and resize() create that many elements (not a reserved capacity).
/// \warning Sizes beyond INT_MAX elements are not supported.
template <class T>
class QORBasVector {
  using Base = std::vector<T>;

 public:
  using value_type = T;
  using reference = typename Base::reference;
  using const_reference = typename Base::const_reference;
  using iterator = typename Base::iterator;
  using const_iterator = typename Base::const_iterator;

  QORBasVector() = default;
  /// \brief n value-initialised elements (0 for arithmetic types).
  explicit QORBasVector(int n) : m_v(static_cast<size_t>(n)) {}
  QORBasVector(int n, const T& fill) : m_v(static_cast<size_t>(n), fill) {}
  QORBasVector(std::initializer_list<T> items) : m_v(items) {}
  template <class It, class = typename std::iterator_traits<It>::iterator_category>
  QORBasVector(It first, It last) : m_v(first, last) {}

  int size() const noexcept { return static_cast<int>(m_v.size()); }
  bool empty() const noexcept { return m_v.empty(); }
  int capacity() const noexcept { return static_cast<int>(m_v.capacity()); }
  void reserve(int n) { m_v.reserve(static_cast<size_t>(n)); }
  /// \brief New elements are value-initialised, or copies of fill.
  void resize(int n) { m_v.resize(static_cast<size_t>(n)); }
  void resize(int n, const T& fill) { m_v.resize(static_cast<size_t>(n), fill); }
  /// \brief Empties the vector and releases its storage.
  void Clear() noexcept { Base().swap(m_v); }
  /// \brief Empties the vector, keeping the storage for reuse.
  void clear() noexcept { m_v.clear(); }

  void push_back(const T& v) { m_v.push_back(v); }
  void push_back(T&& v) { m_v.push_back(std::move(v)); }
  template <class... Args>
  reference emplace_back(Args&&... args) {
    return m_v.emplace_back(std::forward<Args>(args)...);
  }
  void pop_back() { m_v.pop_back(); }
  iterator insert(const_iterator pos, const T& v) { return m_v.insert(pos, v); }
  iterator insert(const_iterator pos, int n, const T& v) { return m_v.insert(pos, static_cast<size_t>(n), v); }
  template <class It, class = typename std::iterator_traits<It>::iterator_category>
  iterator insert(const_iterator pos, It first, It last) {
    return m_v.insert(pos, first, last);
  }
  iterator erase(const_iterator pos) { return m_v.erase(pos); }
  iterator erase(const_iterator first, const_iterator last) { return m_v.erase(first, last); }
  void swap(QORBasVector& rhs) noexcept { m_v.swap(rhs.m_v); }

  /// \brief Element i, unchecked: 0 <= i < size().
  reference operator[](int i) { return m_v[static_cast<size_t>(i)]; }
  const_reference operator[](int i) const { return m_v[static_cast<size_t>(i)]; }
  reference front() { return m_v.front(); }
  const_reference front() const { return m_v.front(); }
  reference back() { return m_v.back(); }
  const_reference back() const { return m_v.back(); }
  T* data() noexcept { return m_v.data(); }
  const T* data() const noexcept { return m_v.data(); }

  iterator begin() noexcept { return m_v.begin(); }
  iterator end() noexcept { return m_v.end(); }
  const_iterator begin() const noexcept { return m_v.begin(); }
  const_iterator end() const noexcept { return m_v.end(); }

  friend bool operator==(const QORBasVector& a, const QORBasVector& b) { return a.m_v == b.m_v; }
  friend bool operator!=(const QORBasVector& a, const QORBasVector& b) { return a.m_v != b.m_v; }
  friend bool operator<(const QORBasVector& a, const QORBasVector& b) { return a.m_v < b.m_v; }
  friend void swap(QORBasVector& a, QORBasVector& b) noexcept { a.swap(b); }

 private:
  Base m_v;
};
