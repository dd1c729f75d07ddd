// QORBasMap and QORBasPair: ordered map on a balanced tree and its key/value pair.
#pragma once
#include <functional>
#include <map>
#include <utility>

template <class K, class V>
using QORBasPair = std::pair<K, V>;

/// \brief std::map under the maker's name: find, count, insert (unique keys: an existing key keeps its value),
/// lower_bound, operator[] (inserts a value-initialised V for a new key); iteration in ascending key order.
/// size() is a size_t.
template <class K, class V, class Less = std::less<K>>
class QORBasMap : public std::map<K, V, Less> {
 public:
  using std::map<K, V, Less>::map;
  /// \brief Removes every entry.
  void Clear() noexcept { this->clear(); }
};
