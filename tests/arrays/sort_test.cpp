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
#include "arrays_random.h"
#include "mem_Alloc.h"

namespace {

using IVec = std::vector<int>;

// The four entry points under one signature; the companion is ignored by the single-array forms.
enum class Form { Cxx1, Cxx2, C1, C2 };
void SortWith(Form form, IVec& keys, IVec& comp) {
  const int n = static_cast<int>(keys.size());
  int* k = keys.data();
  switch (form) {
    case Form::Cxx1:
      QORMtxSortInt1(k, k + n);
      break;
    case Form::Cxx2:
      QORMtxSortInt2(k, k + n, comp.data(), comp.data() + n);
      break;
    case Form::C1:
      QORMtxsortint1(k, &n);
      break;
    case Form::C2:
      QORMtxsortint2(k, comp.data(), &n);
      break;
  }
}
bool Paired(Form f) { return f == Form::Cxx2 || f == Form::C2; }

// Keys sorted, same multiset, and (for the paired forms) the very same (key, companion) pairs.
void ExpectSortedPermutation(Form form, const IVec& keys0, const IVec& keys, const IVec& comp0, const IVec& comp,
                             const char* what) {
  ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end())) << what;
  IVec ref = keys0;
  std::sort(ref.begin(), ref.end());
  ASSERT_EQ(keys, ref) << what;
  if (!Paired(form)) {
    ASSERT_EQ(comp, comp0) << what << ": the single-array form touched the companion";
    return;
  }
  std::vector<std::pair<int, int>> before(keys0.size()), after(keys.size());
  for (size_t i = 0; i < keys0.size(); ++i) before[i] = {keys0[i], comp0[i]};
  for (size_t i = 0; i < keys.size(); ++i) after[i] = {keys[i], comp[i]};
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  ASSERT_EQ(after, before) << what << ": a companion entry lost its key";
}

class IntSort : public ::testing::TestWithParam<Form> {};

TEST_P(IntSort, ShapedInputs) {
  std::mt19937 rng = arrays_test::Rng(21);
  struct Input {
    const char* name;
    IVec keys;
  };
  std::vector<Input> inputs;
  for (int n : {0, 1, 2, 3, 15, 16, 17, 18, 33, 1000, 4099}) {
    IVec asc(n), desc(n), equal(n, 42), dups(n), organ(n), saw(n);
    std::iota(asc.begin(), asc.end(), -n / 2);
    for (int i = 0; i < n; ++i) {
      desc[i] = n - i;
      dups[i] = static_cast<int>(rng() % 5) - 2;
      organ[i] = std::min(i, n - 1 - i);  // pipe organ: hard for median-of-three
      saw[i] = i % 7;
    }
    inputs.push_back({"ascending", asc});
    inputs.push_back({"descending", desc});
    inputs.push_back({"all equal", equal});
    inputs.push_back({"many duplicates", dups});
    inputs.push_back({"organ pipe", organ});
    inputs.push_back({"sawtooth", saw});
  }
  // Extreme keys must not break the comparisons.
  inputs.push_back({"int limits", {INT32_MAX, INT32_MIN, 0, -1, INT32_MAX, INT32_MIN, 1, 5, -5, 3,        2,
                                   9,         8,         7, 6,  5,         4,         3, 2, 1,  INT32_MIN}});
  for (const Input& in : inputs) {
    IVec keys = in.keys, comp(keys.size());
    std::iota(comp.begin(), comp.end(), 1000);  // companions name the original positions
    const IVec comp0 = comp;
    SortWith(GetParam(), keys, comp);
    SCOPED_TRACE(testing::Message() << in.name << " n=" << in.keys.size());
    ExpectSortedPermutation(GetParam(), in.keys, keys, comp0, comp, in.name);
  }
}

TEST_P(IntSort, MillionRandomWithCompanion) {
  std::mt19937 rng = arrays_test::Rng(22);
  const int n = 1000000;
  IVec keys(n), comp(n);
  // Keys from a range smaller than n give both duplicates and distinct values.
  for (int i = 0; i < n; ++i) keys[i] = static_cast<int>(rng() % 400000) - 200000;
  for (int i = 0; i < n; ++i) comp[i] = static_cast<int>(rng());
  const IVec keys0 = keys, comp0 = comp;
  SortWith(GetParam(), keys, comp);
  ExpectSortedPermutation(GetParam(), keys0, keys, comp0, comp, "1e6 random");
}

std::string FormName(const ::testing::TestParamInfo<Form>& info) {
  static const char* const names[] = {"QORMtxSortInt1", "QORMtxSortInt2", "QORMtxsortint1", "QORMtxsortint2"};
  return names[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(AllForms, IntSort, ::testing::Values(Form::Cxx1, Form::Cxx2, Form::C1, Form::C2), FormName);

TEST(IntSort, NonPositiveCountLeavesArraysAlone) {
  IVec keys = {3, 1, 2}, comp = {7, 8, 9};
  for (int n : {0, 1, -4}) {
    QORMtxsortint1(keys.data(), &n);
    QORMtxsortint2(keys.data(), comp.data(), &n);
  }
  QORMtxSortInt1(keys.data(), keys.data());
  QORMtxSortInt2(keys.data(), keys.data() + 1, comp.data(), comp.data() + 1);
  EXPECT_EQ(keys, (IVec{3, 1, 2}));
  EXPECT_EQ(comp, (IVec{7, 8, 9}));
}

// ---- Contiguous ranges ----

IVec Ranges(const IVec& ords, int maxLen, int& numRanges) {
  numRanges = -1;
  int* starts = QORMtxFindContiguousRanges(ords.data(), static_cast<int>(ords.size()), maxLen, numRanges);
  if (!starts) return {};
  IVec out(starts, starts + numRanges + 1);
  mem_Free(starts);
  return out;
}

TEST(ContiguousRanges, SplitsAtGapsAndAtMaxLen) {
  int num = 0;
  EXPECT_EQ(Ranges({5, 6, 7, 9}, 2, num), (IVec{0, 2, 3, 4}));
  EXPECT_EQ(num, 3);
  EXPECT_EQ(Ranges({5, 6, 7, 9}, 10, num), (IVec{0, 3, 4}));
  EXPECT_EQ(num, 2);
  EXPECT_EQ(Ranges({4}, 10, num), (IVec{0, 1}));  // single value
  EXPECT_EQ(num, 1);
  EXPECT_EQ(Ranges({0, 1, 2, 3, 4, 5, 6}, 100, num), (IVec{0, 7}));  // all consecutive
  EXPECT_EQ(num, 1);
  EXPECT_EQ(Ranges({0, 1, 2, 3, 4, 5, 6}, 3, num), (IVec{0, 3, 6, 7}));  // cut every maxLen values
  EXPECT_EQ(num, 3);
  EXPECT_EQ(Ranges({1, 3, 5}, 10, num), (IVec{0, 1, 2, 3}));  // every gap
  EXPECT_EQ(num, 3);
  EXPECT_EQ(Ranges({2, 2, 3, 3}, 10, num), (IVec{0, 1, 3, 4}));  // a repeat is not consecutive
  EXPECT_EQ(num, 3);
  EXPECT_EQ(Ranges({-3, -2, -1, 0, 1, 7}, 10, num), (IVec{0, 5, 6}));  // negatives run through zero
  EXPECT_EQ(num, 2);
  EXPECT_EQ(Ranges({INT32_MIN, INT32_MAX}, 10, num), (IVec{0, 1, 2}));  // no overflow in the difference
  EXPECT_EQ(num, 2);
  EXPECT_EQ(Ranges({1, 2, 3}, 1, num), (IVec{0, 1, 2, 3}));
  EXPECT_EQ(num, 3);
}

TEST(ContiguousRanges, EmptyGivesNull) {
  int num = -1;
  EXPECT_EQ(QORMtxFindContiguousRanges(nullptr, 0, 5, num), nullptr);
  EXPECT_EQ(num, 0);
}

TEST(ContiguousRanges, RandomRunsAgainstNaiveWalk) {
  std::mt19937 rng = arrays_test::Rng(23);
  for (int trial = 0; trial < 50; ++trial) {
    IVec ords;
    int v = static_cast<int>(rng() % 100);
    const int n = 1 + static_cast<int>(rng() % 300);
    for (int i = 0; i < n; ++i) ords.push_back(v += (rng() % 4 == 0) ? 2 + static_cast<int>(rng() % 5) : 1);
    const int maxLen = 1 + static_cast<int>(rng() % 20);
    int num = 0;
    const IVec got = Ranges(ords, maxLen, num);
    // Reference: every run is consecutive, at most maxLen long, and could not have been extended.
    ASSERT_EQ(static_cast<int>(got.size()), num + 1);
    ASSERT_EQ(got.front(), 0);
    ASSERT_EQ(got.back(), n);
    for (int k = 0; k < num; ++k) {
      const int len = got[k + 1] - got[k];
      ASSERT_GE(len, 1);
      ASSERT_LE(len, maxLen);
      for (int i = got[k] + 1; i < got[k + 1]; ++i) ASSERT_EQ(ords[i], ords[i - 1] + 1);
      if (k + 1 < num && ords[got[k + 1]] == ords[got[k + 1] - 1] + 1) {
        ASSERT_EQ(len, maxLen);
      }
    }
  }
}

}  // namespace
