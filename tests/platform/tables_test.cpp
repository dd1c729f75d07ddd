// Integer tables, sets and bit vectors against std::map / std::set on random operation sequences.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "omi_BlkBitVect.h"
#include "omi_IntTable.h"
#include "omi_Set.h"
#include "omi_UintTable.h"

namespace {

// Keys mix a dense band around zero (both halves, page and block edges) with rare huge magnitudes.
int RandomKey(std::mt19937& rng) {
  static const int kFar[] = {INT_MIN, INT_MIN + 1, -1000000007, -4097, -4096,      -257,        -256,
                             255,     256,         4095,        4096,  1000000007, INT_MAX - 1, INT_MAX};
  if (rng() % 16 == 0) return kFar[rng() % (sizeof kFar / sizeof kFar[0])];
  return static_cast<int>(rng() % 1200) - 600;
}

template <class Table, class Iter, class K, class V>
void ExpectSameAsReference(const Table& table, const std::map<K, V>& ref) {
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

std::mt19937 SeededRng() {
  const unsigned seed = std::random_device{}();
  ::testing::Test::RecordProperty("seed", std::to_string(seed));
  std::printf("platform tests: seed %u\n", seed);
  return std::mt19937(seed);
}

TEST(IntTable, RandomOperationsMatchStdMap) {
  std::mt19937 rng = SeededRng();
  omi_IntTable<int> table;
  std::map<int, int> ref;
  for (int step = 0; step < 20000; ++step) {
    const int key = RandomKey(rng), value = static_cast<int>(rng());
    if (step % 5000 == 4999) table.Clear(), ref.clear();  // emptied tables must work as new ones
    const auto r = ref.find(key);
    int got = -1;
    switch (rng() % 7) {
      case 0:
      case 1:
      case 2:
        ASSERT_EQ(table.Insert(key, value), ref.emplace(key, value).second) << "key " << key;
        break;
      case 3:
      case 4:
        ASSERT_EQ(table.Remove(key), ref.erase(key) == 1) << "key " << key;
        break;
      default:
        ASSERT_EQ(table.ConstGetValue(key, got), r != ref.end());
        ASSERT_EQ(got, r != ref.end() ? r->second : -1);  // untouched on a miss
        ASSERT_EQ(table.IsMember(key), r != ref.end());
        ASSERT_TRUE(r == ref.end() || table[key] == r->second);
    }
    if (step % 1000 == 0) ExpectSameAsReference<omi_IntTable<int>, omi_IntTableIterator<int>>(table, ref);
  }
  ExpectSameAsReference<omi_IntTable<int>, omi_IntTableIterator<int>>(table, ref);
  const omi_IntTable<int> copy(table);  // copies are deep
  table.Clear();
  ExpectSameAsReference<omi_IntTable<int>, omi_IntTableIterator<int>>(copy, ref);

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

TEST(IntTableDeathTest, ReadingAnAbsentKeyEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
  omi_IntTable<int> t;
  t.Insert(1, 1);
  EXPECT_DEATH((void)t[2], "omi_IntTable: no value under key 2");
}

TEST(UintTable, RandomOperationsMatchStdMap) {
  std::mt19937 rng = SeededRng();
  omi_UintTable<const void*> table;
  std::map<unsigned, const void*> ref;
  for (int step = 0; step < 10000; ++step) {
    const unsigned key = rng() % 8 == 0 ? UINT_MAX - rng() % 3 : rng() % 3000;
    const void* value = reinterpret_cast<const void*>(static_cast<uintptr_t>(rng()));
    if (rng() % 3)
      ASSERT_EQ(table.Insert(key, value), ref.emplace(key, value).second);
    else
      ASSERT_EQ(table.Remove(key), ref.erase(key) == 1);
  }
  ExpectSameAsReference<omi_UintTable<const void*>, omi_UintTableIterator<const void*>>(table, ref);
}

TEST(Set, RandomOperationsMatchStdSet) {
  std::mt19937 rng = SeededRng();
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
  std::mt19937 rng = SeededRng();
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
    const auto pv = ref.lower_bound(from);
    EXPECT_EQ(bits.Prev(from), pv == ref.begin() ? omi_BlkBitVect::npos : *std::prev(pv)) << "before " << from;
  }
  EXPECT_EQ(bits.Prev(omi_BlkBitVect::npos), *ref.rbegin());
}

}  // namespace
