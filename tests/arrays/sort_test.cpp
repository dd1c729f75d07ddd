// Integer introsorts (alone and with a companion) and the split of sorted ordinals into runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "QORMtxCoreModuleC.h"
#include "QORMtxFindContiguousRanges.h"
#include "QORMtxSortInt.h"
#include "mem_Alloc.h"
#include "qormtx_reference.h"

namespace {

using IVec = std::vector<int>;

// The four entry points under one signature; the single-array forms must leave the companion alone.
enum Form { kCxx1, kCxx2, kC1, kC2 };
class IntSort : public ::testing::TestWithParam<Form> {
 protected:
  void SortAndCheck(const IVec& keys0, const IVec& comp0) {
    IVec keys = keys0, comp = comp0;
    int n = static_cast<int>(keys.size());
    const Form form = GetParam();
    if (form == kCxx1) QORMtxSortInt1(keys.data(), keys.data() + n);
    if (form == kCxx2) QORMtxSortInt2(keys.data(), keys.data() + n, comp.data(), comp.data() + n);
    if (form == kC1) QORMtxsortint1(keys.data(), &n);
    if (form == kC2) QORMtxsortint2(keys.data(), comp.data(), &n);
    // Reference: the (key, companion) pairs sorted by std::sort; only the keys' order is fixed.
    std::vector<std::pair<int, int>> want(keys0.size()), got(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) want[i] = {keys0[i], comp0[i]}, got[i] = {keys[i], comp[i]};
    std::sort(want.begin(), want.end());
    ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    if (form == kCxx1 || form == kC1) {
      ASSERT_EQ(comp, comp0) << "the single-array form touched the companion";
      for (auto& p : want) p.second = 0;
      for (auto& p : got) p.second = 0;
    }
    std::sort(got.begin(), got.end());
    ASSERT_TRUE(got == want) << "a key was lost or a companion entry left its key";
  }
};

TEST_P(IntSort, ShapedAndRandomInputsAroundTheInsertionCutoff) {
  std::mt19937_64 rng = ref::Rng(21);
  for (int n : {0, 1, 2, 3, 15, 16, 17, 18, 33, 1000, 4099}) {
    IVec shapes[6] = {IVec(n), IVec(n), IVec(n, 42), IVec(n), IVec(n), IVec(n)}, comp(n);
    std::iota(comp.begin(), comp.end(), 1000);  // companions name the original positions
    for (int i = 0; i < n; ++i) {
      shapes[0][i] = i - n / 2, shapes[1][i] = n - i;  // ascending, descending; [2] all equal
      shapes[3][i] = static_cast<int>(rng() % 5) - 2;  // many duplicates
      shapes[4][i] = std::min(i, n - 1 - i);           // pipe organ: hard for median-of-three
      shapes[5][i] = i % 7;                            // sawtooth
    }
    for (int s = 0; s < 6; ++s) {
      SCOPED_TRACE(::testing::Message() << "shape " << s << " n=" << n);
      SortAndCheck(shapes[s], comp);
    }
  }
  // Extreme keys must not break the comparisons.
  SortAndCheck(
      {INT32_MAX, INT32_MIN, 0, -1, INT32_MAX, INT32_MIN, 1, 5, -5, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2, 1, INT32_MIN},
      IVec(21, 0));
  // A million random keys from a range smaller than n: both duplicates and distinct values, deep recursion.
  IVec keys(1000000), comp(keys.size());
  for (int& k : keys) k = static_cast<int>(rng() % 400000) - 200000;
  for (int& c : comp) c = static_cast<int>(rng());
  SortAndCheck(keys, comp);
}

std::string FormName(const ::testing::TestParamInfo<Form>& info) {
  return std::vector<std::string>{"QORMtxSortInt1", "QORMtxSortInt2", "QORMtxsortint1", "QORMtxsortint2"}[info.param];
}
INSTANTIATE_TEST_SUITE_P(AllForms, IntSort, ::testing::Values(kCxx1, kCxx2, kC1, kC2), FormName);

TEST(IntSortEdges, NonPositiveCountLeavesArraysAlone) {
  IVec keys = {3, 1, 2}, comp = {7, 8, 9};
  for (int n : {0, 1, -4}) {
    QORMtxsortint1(keys.data(), &n);
    QORMtxsortint2(keys.data(), comp.data(), &n);
  }
  QORMtxSortInt2(keys.data(), keys.data() + 1, comp.data(), comp.data() + 1);
  EXPECT_TRUE(keys == (IVec{3, 1, 2}) && comp == (IVec{7, 8, 9}));
}

// Run starts of sorted ordinals (plus the end), or {} for the null of an empty input.
IVec Ranges(const IVec& ords, int maxLen) {
  int num = -1;
  int* starts = QORMtxFindContiguousRanges(ords.data(), static_cast<int>(ords.size()), maxLen, num);
  IVec out(starts, starts + (starts ? num + 1 : 0));
  mem_Free(starts);
  return out;
}

TEST(ContiguousRanges, SplitsAtGapsRepeatsAndMaxLen) {
  EXPECT_EQ(Ranges({5, 6, 7, 9}, 2), (IVec{0, 2, 3, 4}));
  EXPECT_EQ(Ranges({5, 6, 7, 9}, 10), (IVec{0, 3, 4}));
  EXPECT_EQ(Ranges({4}, 10), (IVec{0, 1}));
  EXPECT_EQ(Ranges({0, 1, 2, 3, 4, 5, 6}, 3), (IVec{0, 3, 6, 7}));  // cut every maxLen values
  EXPECT_EQ(Ranges({2, 2, 3, 3}, 10), (IVec{0, 1, 3, 4}));          // a repeat is not consecutive
  EXPECT_EQ(Ranges({-3, -2, -1, 0, 1, 7}, 10), (IVec{0, 5, 6}));    // negatives run through zero
  EXPECT_EQ(Ranges({INT32_MIN, INT32_MAX}, 10), (IVec{0, 1, 2}));   // no overflow in the difference
  EXPECT_EQ(Ranges({}, 5), IVec{});

  std::mt19937_64 rng = ref::Rng(23);
  for (int trial = 0; trial < 50; ++trial) {
    IVec ords;
    int v = static_cast<int>(rng() % 100);
    const int n = 1 + static_cast<int>(rng() % 300), maxLen = 1 + static_cast<int>(rng() % 20);
    for (int i = 0; i < n; ++i) ords.push_back(v += (rng() % 4 == 0) ? 2 + static_cast<int>(rng() % 5) : 1);
    // Reference by a greedy walk: a run goes on while the next value follows and the run is shorter than maxLen.
    IVec want = {0};
    for (int i = 1; i < n; ++i)
      if (ords[i] != ords[i - 1] + 1 || i - want.back() == maxLen) want.push_back(i);
    want.push_back(n);
    ASSERT_EQ(Ranges(ords, maxLen), want) << "trial " << trial;
  }
}

}  // namespace
