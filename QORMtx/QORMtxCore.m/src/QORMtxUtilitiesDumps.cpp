// QORMtxUtilities, diagnostic dumps: arrays, vectors, maps and sets printed to standard output in fixed layouts.
#include <cstdio>

#include "QORMtxUtilities.h"
#include "cow_Btree.h"
#include "cow_Map.h"
#include "omi_IntTable.h"
#include "omi_Set.h"

namespace {

void Item(const char* format, int v) { std::printf(format, v); }
void Item(const char* format, double v) { std::printf(format, v); }

template <class T>
void OnOneLine(const T* a, int n, const char* title, const char* format) {
  if (title) std::printf("%s(%i):", title, n);
  for (int i = 0; i < n; ++i) Item(format, a[i]);
  std::printf("\n");
}

template <class T>
void InBlocks(const T* a, int n, const char* title, const char* format) {
  if (title) std::printf("%s, size %i:", title, n);
  for (int i = 0; i < n; ++i) {
    if (i % 10 == 0) std::printf("\n i=%7i:", i);
    Item(format, a[i]);
  }
  std::printf("\n");
}

// Key/value pairs ten to a line after a header that ends its own line; nothing more for an empty map.
template <class Walk>
void PairsInBlocks(Walk walk) {
  int i = 0;
  walk([&i](int key, int value) {
    if (i > 0 && i % 10 == 0) std::printf("\n");
    std::printf(" %6i/%-2i", key, value);
    ++i;
  });
  if (i > 0) std::printf("\n");
}

template <class Map>
void StdPairs(const Map& map, bool blocks) {
  const auto walk = [&map](auto&& use) {
    for (const auto& kv : map) use(kv.first, kv.second);
  };
  if (blocks) {
    PairsInBlocks(walk);
  } else {
    walk([](int key, int value) { std::printf(" %i/%i", key, value); });
    std::printf("\n");
  }
}

void TablePairs(const omi_IntTable<int>& map, bool blocks) {
  const auto walk = [&map](auto&& use) {
    for (omi_IntTableIterator<int> it(map); !it.IsDone(); it.Next()) use(it.CurrentKey(), it.CurrentValue());
  };
  if (blocks) {
    PairsInBlocks(walk);
  } else {
    walk([](int key, int value) { std::printf(" %i/%i", key, value); });
    std::printf("\n");
  }
}

}  // namespace

void QORMtxUtilities::DumpArrLine(const int* a, int n, const char* title) { OnOneLine(a, n, title, " %2i"); }
void QORMtxUtilities::DumpArrLine(const double* a, int n, const char* title) { OnOneLine(a, n, title, " % #g"); }
void QORMtxUtilities::DumpArray(const int* a, int n, const char* title) { InBlocks(a, n, title, " %7i"); }
void QORMtxUtilities::DumpArray(const double* a, int n, const char* title) { InBlocks(a, n, title, " %13g"); }
void QORMtxUtilities::DumpVecLine(const QORBasVector<int>& v, const char* title) {
  OnOneLine(v.data(), v.size(), title, " %2i");
}
void QORMtxUtilities::DumpVecLine(const QORBasVector<double>& v, const char* title) {
  OnOneLine(v.data(), v.size(), title, " % #g");
}
void QORMtxUtilities::DumpVector(const QORBasVector<int>& v, const char* title) {
  InBlocks(v.data(), v.size(), title, " %7i");
}
void QORMtxUtilities::DumpVector(const QORBasVector<double>& v, const char* title) {
  InBlocks(v.data(), v.size(), title, " %13g");
}

void QORMtxUtilities::DumpMap(const QORBasMap<int, int>& map, const char* title) {
  if (title) std::printf("%s map size %zi, key/value pairs:\n", title, map.size());
  if (map.empty()) std::printf("\n");
  StdPairs(map, true);
}
void QORMtxUtilities::DumpMap(const cow_Btree<int, int>& map, const char* title) {
  if (title) std::printf("%s map size %i, key/value pairs:\n", title, map.Size());
  StdPairs(map, true);
}
void QORMtxUtilities::DumpMap(const omi_IntTable<int>& map, const char* title) {
  if (title) std::printf("%s map size %i, key/value pairs:\n", title, map.Size());
  TablePairs(map, true);
}

void QORMtxUtilities::DumpMapLine(const QORBasMap<int, int>& map, const char* title) {
  if (title) std::printf("%s(%zi):", title, map.size());
  StdPairs(map, false);
}
void QORMtxUtilities::DumpMapLine(const cow_Btree<int, int>& map, const char* title) {
  if (title) std::printf("%s(%i):", title, map.Size());
  StdPairs(map, false);
}
void QORMtxUtilities::DumpMapLine(const cow_Map<int, cow_String>& map, const char* title) {
  if (title) std::printf("%s(%i):", title, map.Size());
  for (const auto& kv : map) std::printf(" %i/%s", kv.first, kv.second.size() ? kv.second.c_str() : "");
  std::printf("\n");
}
void QORMtxUtilities::DumpMapLine(const omi_IntTable<int>& map, const char* title) {
  if (title) std::printf("%s(%i):", title, map.Size());
  TablePairs(map, false);
}

void QORMtxUtilities::DumpSet(const omi_Set& set, const char* title) {
  if (title) std::printf("%s set, size %i:", title, set.Size());
  int i = 0;
  for (omi_SetIT it(set); !it.IsDone(); it.Next(), ++i) {
    if (i % 10 == 0) std::printf("\n");
    std::printf(" %7i", it.CurrentItem());
  }
  std::printf("\n");
}
void QORMtxUtilities::DumpSetLine(const omi_Set& set, const char* title) {
  if (title) std::printf("%s(%i):", title, set.Size());
  for (omi_SetIT it(set); !it.IsDone(); it.Next()) std::printf(" %2i", it.CurrentItem());
  std::printf("\n");
}
