// Vector, ordered map and the copy-on-write containers against std references and each other's copies.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "QORBasMap.h"
#include "QORBasVector.h"
#include "cow_Btree.h"
#include "cow_CountedHld.h"
#include "cow_List.h"
#include "cow_Map.h"
#include "cow_String.h"

namespace {

std::mt19937 SeededRng() {
  const unsigned seed = std::random_device{}();
  ::testing::Test::RecordProperty("seed", std::to_string(seed));
  std::printf("platform tests: seed %u\n", seed);
  return std::mt19937(seed);
}

TEST(BasVector, RandomEditsMatchStdVector) {
  std::mt19937 rng = SeededRng();
  QORBasVector<int> v;
  std::vector<int> ref;
  for (int step = 0; step < 5000; ++step) {
    const int x = static_cast<int>(rng() % 1000), at = static_cast<int>(rng() % (ref.size() + 1));
    switch (rng() % 6) {
      case 0:
        v.push_back(x), ref.push_back(x);
        break;
      case 1:
        v.insert(v.begin() + at, x), ref.insert(ref.begin() + at, x);
        break;
      case 2:
        v.resize(x % 40, x), ref.resize(x % 40, x);
        break;
      case 3:
        if (!ref.empty()) v[x % v.size()] = -x, ref[x % ref.size()] = -x;
        break;
      case 4:
        if (!ref.empty()) v.erase(v.begin()), ref.erase(ref.begin());
        break;
      default:
        if (step % 500 == 0) v.Clear(), ref.clear();
    }
    ASSERT_EQ(std::vector<int>(v.data(), v.data() + v.size()), ref) << "step " << step;
  }
  QORBasVector<double> zeros(4);  // the count constructor makes elements, not capacity
  QORBasVector<int> a(3, 7), b{1, 2};
  a.swap(b);
  EXPECT_EQ(zeros, (QORBasVector<double>{0, 0, 0, 0}));
  EXPECT_TRUE(a == (QORBasVector<int>{1, 2}) && b == (QORBasVector<int>{7, 7, 7}));
}

TEST(BasMap, InsertUniqueLowerBoundAndDefaultOnIndex) {
  QORBasMap<int, QORBasVector<int>> m;
  EXPECT_TRUE(m.insert({5, {1}}).second);
  EXPECT_FALSE(m.insert({5, {2}}).second);
  EXPECT_EQ(m[5], QORBasVector<int>{1});
  EXPECT_TRUE(m[-2].empty());  // inserted by the index
  EXPECT_EQ(m.size(), 2u);
  EXPECT_EQ(m.lower_bound(0)->first, 5);
  EXPECT_EQ(m.begin()->first, -2);
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
  cow_List<cow_String> heads{"Ord", "Num"}, kept(heads);
  heads.Set(1, "X");
  EXPECT_STREQ(kept[1].c_str(), "Num");
}

// cow_Map and cow_Btree share one design; both are checked against std::map and against a frozen copy.
template <class M>
class CowMapTest : public ::testing::Test {};
using CowMaps = ::testing::Types<cow_Map<int, int>, cow_Btree<int, int>>;
TYPED_TEST_SUITE(CowMapTest, CowMaps);

TYPED_TEST(CowMapTest, RandomOperationsFrozenCopiesAndRefusedChanges) {
  using IntMap = std::map<int, int>;
  std::mt19937 rng = SeededRng();
  TypeParam m, frozen;
  IntMap ref, frozenRef;
  for (int step = 0; step < 4000; ++step) {
    const int k = static_cast<int>(rng() % 200) - 100, v = static_cast<int>(rng() % 1000);
    int got = -7;
    switch (rng() % 5) {
      case 0:
      case 1:
        ASSERT_EQ(m.Insert(k, v), ref.emplace(k, v).second);
        break;
      case 2:
        m.Set(k, v), ref[k] = v;
        break;
      case 3:
        ASSERT_EQ(m.Remove(k), ref.erase(k) == 1);
        break;
      default:
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

  TypeParam a;  // a refused change must not detach a shared copy
  a.Insert(1, 10);
  TypeParam b(a);
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
  EXPECT_TRUE(cow_String("a") < cow_String("b"));
  EXPECT_EQ(a + "/x", cow_String("scratch/x"));
}

}  // namespace
