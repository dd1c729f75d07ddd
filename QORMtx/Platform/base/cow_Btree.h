// cow_Btree: reference-counted ordered (search-tree) map; copies share the entries until one of them changes.
#pragma once
#include "cow_SharedMap.h"

/// \brief Copy-on-write ordered map with the interface of cow_Map; a distinct type because callers overload on
/// it. Balanced-tree storage gives the logarithmic lookups that the B-tree name promises.
template <class K, class V>
class cow_Btree : public cow_detail::SharedMap<K, V> {};
