// cow_Map: reference-counted ordered map; copies share the entries until one of them changes.
#pragma once
#include "cow_SharedMap.h"

/// \brief Copy-on-write ordered map (Insert, Set, Remove, Find, IsMember, GetValue, Size, ascending iteration);
/// see cow_detail::SharedMap for costs.
template <class K, class V>
class cow_Map : public cow_detail::SharedMap<K, V> {};
