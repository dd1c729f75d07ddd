// Base containers (vector, maps, integer tables and sets, bit vectors, copy-on-write types) against std references.
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "QORBasMap.h"
#include "QORBasVector.h"
#include "cow_CountedHld.h"
#include "cow_List.h"
#include "cow_Map.h"
#include "cow_String.h"
#include "naive_dense.h"
#include "omi_BlkBitVect.h"
#include "omi_IntTable.h"
#include "omi_Set.h"
#include "omi_UintTable.h"

namespace {

using qormtx_test::Rng;
using Gen = std::mt19937_64;

// QORBasVector and QORBasMap forward to std::vector and std::map; only what they add is checked.
TEST(BasVector, CountsMakeElementsAndClearReleases) {
  QORBasVector<double> zeros(4);  // the count constructor makes elements, not capacity
  EXPECT_TRUE(zeros == (QORBasVector<double>{0, 0, 0, 0}));
  zeros.clear();  // keeps the storage; Clear releases it
  EXPECT_TRUE(zeros.empty() && zeros.capacity() >= 4);
  zeros.Clear();
  QORBasMap<int, int> m{{5, 1}};
  m.Clear();
  EXPECT_TRUE(zeros.capacity() == 0 && m.empty());
}

// Keys mix a dense band around zero (page and block edges on both sides) with rare extreme magnitudes.
int RandomKey(Gen& rng) {
  static const int kFar[] = {INT_MIN, INT_MIN + 1, -1000000007, -4097, -4096,      -257,        -256,
                             255,     256,         4095,        4096,  1000000007, INT_MAX - 1, INT_MAX};
  if (rng() % 16 == 0) return kFar[rng() % (sizeof kFar / sizeof kFar[0])];
  return static_cast<int>(rng() % 1200) - 600;
}

template <class Table, class Iter, class Key>
void ExpectSame(const Table& table, const std::map<Key, int>& ref) {
  ASSERT_EQ(table.Size(), static_cast<int>(ref.size()));
  auto r = ref.begin();
  Iter it(table);
  for (it.First(); !it.IsDone(); it.Next(), ++r) {
    ASSERT_NE(r, ref.end()) << "iteration yields more keys than were inserted";
    EXPECT_EQ(it.CurrentKey(), r->first);
    EXPECT_EQ(it.CurrentValue(), r->second);
  }
  EXPECT_EQ(r, ref.end()) << "iteration stopped early";
}

// Random inserts, removals and lookups against std::map, with walks, clearing and a deep copy.
template <class Table, class Iter, class Key>
void RandomTableOperations(Key (*randomKey)(Gen&)) {
  Gen rng = Rng(2);
  Table table;
  std::map<Key, int> ref;
  for (int step = 0; step < 20000; ++step) {
    const Key key = randomKey(rng);
    const int value = static_cast<int>(rng() % 100000), op = static_cast<int>(rng() % 7);
    if (step % 5000 == 4999) table.Clear(), ref.clear();  // emptied tables must work as new ones
    const auto r = ref.find(key);
    int got = -1;
    if (op < 3) {
      ASSERT_EQ(table.Insert(key, value), ref.emplace(key, value).second) << key;
    } else if (op < 5) {
      ASSERT_EQ(table.Remove(key), ref.erase(key) == 1) << key;
    } else {
      ASSERT_EQ(table.ConstGetValue(key, got), r != ref.end());
      ASSERT_EQ(got, r != ref.end() ? r->second : -1);  // untouched on a miss
      ASSERT_EQ(table.IsMember(key), r != ref.end());
      ASSERT_TRUE(r == ref.end() || table[key] == r->second);
    }
    if (step % 1000 == 0) ExpectSame<Table, Iter>(table, ref);
  }
  const Table copy(table);
  table.Clear();
  ExpectSame<Table, Iter>(copy, ref);
}

TEST(IntTable, RandomOperationsMatchStdMap) {
  RandomTableOperations<omi_IntTable<int>, omi_IntTableIterator<int>>(RandomKey);
  omi_IntTable<int> renumber;  // a key and the value it names in one variable: the lookup reads the key first
  renumber.Insert(12, 0);
  int col = 12;
  EXPECT_TRUE(renumber.ConstGetValue(col, col));
  EXPECT_EQ(col, 0);
  omi_IntTableIterator<int> it(renumber);  // a second First restarts the walk
  it.Next();
  it.First();
  EXPECT_TRUE(!it.IsDone() && it.CurrentKey() == 12);
}

TEST(UintTable, RandomOperationsMatchStdMap) {
  RandomTableOperations<omi_UintTable<int>, omi_UintTableIterator<int>>(
      +[](Gen& rng) -> unsigned { return rng() % 8 == 0 ? UINT_MAX - rng() % 3 : rng() % 3000; });
}

TEST(IntTableDeathTest, ReadingAnAbsentKeyEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
  omi_IntTable<int> t;
  t.Insert(1, 1);
  EXPECT_DEATH((void)t[2], "omi_IntTable: no value under key 2");
}

TEST(Set, RandomOperationsMatchStdSet) {
  Gen rng = Rng(3);
  omi_Set set;
  std::set<int> ref;
  for (int step = 0; step < 30000; ++step) {
    const int k = RandomKey(rng);
    if (rng() % 3)
      ASSERT_EQ(set.Insert(k), ref.insert(k).second);
    else
      ASSERT_EQ(set.Remove(k), ref.erase(k) == 1);
    ASSERT_EQ(set.IsMember(k), ref.count(k) == 1);
    if (step % 2000 != 0 && step != 29999) continue;
    const std::vector<int> want(ref.begin(), ref.end());
    std::vector<int> walked;
    QORBasVector<int> members;
    set.Members(members);
    omi_SetIT it(set);
    for (it.First(); !it.IsDone(); it.Next()) walked.push_back(it.CurrentItem());
    ASSERT_EQ(set.Size(), static_cast<int>(ref.size()));
    EXPECT_EQ(std::vector<int>(members.begin(), members.end()), want);
    EXPECT_EQ(walked, want);
  }
  const omi_Set copy(set);
  set.Clear();
  EXPECT_TRUE(set.Size() == 0 && omi_SetIT(set).IsDone() && copy.Size() == static_cast<int>(ref.size()));
}

TEST(BlkBitVect, NextAndPrevFindNeighboursAcrossWordsAndBlocks) {
  Gen rng = Rng(4);
  omi_BlkBitVect bits;
  std::set<size_t> ref;
  for (int i = 0; i < 400; ++i) {
    const size_t k = rng() % 4 ? rng() % 20000 : (size_t{1} << 31) - 1 - rng() % 70;
    bits.Set(k);
    ref.insert(k);
  }
  for (int i = 0; i < 100; ++i) {  // emptied blocks must not stop the scans
    const size_t k = *std::next(ref.begin(), static_cast<long>(rng() % ref.size()));
    EXPECT_TRUE(bits.Reset(k));
    ref.erase(k);
  }
  ASSERT_EQ(bits.Count(), ref.size());
  for (int probe = 0; probe < 3000; ++probe) {
    size_t from = probe == 0 ? 0 : rng() % 21000;
    if (rng() % 5 == 0) from += (size_t{1} << 31) - 100;  // near the far block
    const auto nx = ref.lower_bound(from);
    EXPECT_EQ(bits.Next(from), nx == ref.end() ? omi_BlkBitVect::npos : *nx) << "from " << from;
    EXPECT_EQ(bits.Prev(from), nx == ref.begin() ? omi_BlkBitVect::npos : *std::prev(nx)) << "before " << from;
  }
  EXPECT_EQ(bits.Prev(omi_BlkBitVect::npos), *ref.rbegin());
}

TEST(CowList, CopiesShareUntilOneChanges) {
  cow_List<int> a{3, -1, 4};
  cow_List<int> b(a);
  EXPECT_EQ(a.RefCount(), 2);
  b.Set(0, 30);  // b detaches; a keeps its items
  cow_List<int> c = b;
  c.Append(9);
  c.Insert(0, 8);
  c.Remove(1);
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_EQ(std::vector<int>(a.begin(), a.end()), (std::vector<int>{3, -1, 4}));
  EXPECT_EQ(std::vector<int>(b.begin(), b.end()), (std::vector<int>{30, -1, 4}));
  EXPECT_EQ(std::vector<int>(c.begin(), c.end()), (std::vector<int>{8, -1, 4, 9}));
  c.Clear();
  EXPECT_TRUE(c.Size() == 0 && c.begin() == c.end() && c == cow_List<int>());
}

// cow_Btree is cow_Map under another name (one shared-map implementation): checked once, against std::map and a
// frozen copy.
TEST(CowMap, RandomOperationsFrozenCopiesAndRefusedChanges) {
  using IntMap = std::map<int, int>;
  Gen rng = Rng(5);
  cow_Map<int, int> m, frozen;
  IntMap ref, frozenRef;
  for (int step = 0; step < 4000; ++step) {
    const int k = static_cast<int>(rng() % 200) - 100, v = static_cast<int>(rng() % 1000), op = rng() % 5;
    int got = -7;
    if (op < 2) {
      ASSERT_EQ(m.Insert(k, v), ref.emplace(k, v).second);
    } else if (op == 2) {
      m.Set(k, v), ref[k] = v;
    } else if (op == 3) {
      ASSERT_EQ(m.Remove(k), ref.erase(k) == 1);
    } else {
      ASSERT_EQ(m.GetValue(k, got), ref.count(k) == 1);
      ASSERT_EQ(got, ref.count(k) ? ref[k] : -7);
    }
    if (step % 400 == 0) {  // a copy taken now must not see later changes
      ASSERT_EQ(IntMap(frozen.begin(), frozen.end()), frozenRef);
      frozen = m, frozenRef = ref;
    }
  }
  EXPECT_EQ(m.Size(), static_cast<int>(ref.size()));
  EXPECT_EQ(IntMap(m.begin(), m.end()), ref);
  EXPECT_EQ(IntMap(frozen.begin(), frozen.end()), frozenRef);

  cow_Map<int, int> a;  // a refused change must not detach a shared copy
  a.Insert(1, 10);
  cow_Map<int, int> b(a);
  EXPECT_FALSE(b.Insert(1, 11) || b.Remove(2));
  EXPECT_EQ(a.RefCount(), 2);
  EXPECT_TRUE(b.Remove(1));
  EXPECT_TRUE(a.RefCount() == 1 && a.IsMember(1) && b.IsEmpty() && b.begin() == b.end() && !b.Find(1));
}

struct Counted {
  explicit Counted(int* deaths) : deaths(deaths) {}
  ~Counted() { ++*deaths; }
  int* deaths;
};

TEST(CowCountedHld, LastHolderDeletesTheReferent) {
  int deaths = 0;
  {
    cow_CountedHld<Counted> a;
    EXPECT_TRUE(a.IsNull());
    a.Set(new Counted(&deaths));
    cow_CountedHld<Counted> b(a);
    {
      cow_CountedHld<Counted> c;
      c = b;
      c = c;  // self-assignment keeps the referent
      EXPECT_TRUE(a.RefCount() == 3 && c.Get() == a.Get());
    }
    b = cow_CountedHld<Counted>(new Counted(&deaths));  // b leaves a's family; the temporary's referent lives on
    EXPECT_EQ(a.RefCount(), 1);
    EXPECT_EQ(deaths, 0);
    cow_CountedHld<Counted> moved(std::move(a));  // a move is a copy: a keeps its share
    moved.Set(new Counted(&deaths));              // reaches a too, and replaces the old referent
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(a.Get(), moved.Get());  // NOLINT(bugprone-use-after-move)
  }
  EXPECT_EQ(deaths, 3);
}

TEST(CowString, CopiesShareTheTextAndChangesDetach) {
  cow_String a("scratch");
  cow_String b = a;
  EXPECT_EQ(a.c_str(), b.c_str());  // one text
  b += ".sim";
  a = a;
  EXPECT_TRUE(a.RefCount() == 1 && a == cow_String("scratch") && b == cow_String("scratch.sim"));
  EXPECT_TRUE(cow_String().RefCount() == 0 && cow_String() == cow_String("") && *cow_String().c_str() == 0);
  EXPECT_TRUE(cow_String("a") < cow_String("b") && a + "/x" == cow_String("scratch/x"));
  cow_List<cow_String> heads{"Ord", "Num"}, kept(heads);  // a list of shared texts detaches element-wise too
  heads.Set(1, "X");
  EXPECT_STREQ(kept[1].c_str(), "Num");
}

}  // namespace
