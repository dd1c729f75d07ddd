// QORSimArray: the data store's small growable array of values (sets, chunk sizes, drawer descriptions).
#pragma once
#include <cstddef>
#include <initializer_list>
#include <vector>

template <class T>
class QORSimArray {
 public:
  QORSimArray() = default;
  explicit QORSimArray(int n, const T& value = T()) : m_items(n > 0 ? static_cast<size_t>(n) : 0, value) {}
  QORSimArray(std::initializer_list<T> items) : m_items(items) {}

  int Size() const { return static_cast<int>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  T& operator[](int i) { return m_items[static_cast<size_t>(i)]; }
  const T& operator[](int i) const { return m_items[static_cast<size_t>(i)]; }
  void Append(const T& value) { m_items.push_back(value); }
  void Resize(int n) { m_items.resize(n > 0 ? static_cast<size_t>(n) : 0); }
  void Clear() { m_items.clear(); }
  T* Data() { return m_items.data(); }
  const T* Data() const { return m_items.data(); }
  typename std::vector<T>::iterator begin() { return m_items.begin(); }
  typename std::vector<T>::iterator end() { return m_items.end(); }
  typename std::vector<T>::const_iterator begin() const { return m_items.begin(); }
  typename std::vector<T>::const_iterator end() const { return m_items.end(); }
  friend bool operator==(const QORSimArray& a, const QORSimArray& b) { return a.m_items == b.m_items; }
  friend bool operator!=(const QORSimArray& a, const QORSimArray& b) { return !(a == b); }

 private:
  std::vector<T> m_items;
};
