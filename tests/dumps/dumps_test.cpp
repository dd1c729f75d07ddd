// Diagnostic dumps against their golden text: one table of containers and the exact output each must give.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "QORMtxUtilities.h"
#include "cow_Btree.h"
#include "cow_Map.h"
#include "omi_IntTable.h"
#include "omi_Set.h"

namespace {

using U = QORMtxUtilities;

std::string Printed(const std::function<void()>& dump) {
  testing::internal::CaptureStdout();
  dump();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(Dumps, GoldenText) {
  const std::vector<int> twelve = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -11};
  const double d[] = {1.5, -0.25, 1e-7};
  QORBasVector<int> vi(2);
  vi[0] = 7, vi[1] = -3;
  QORBasVector<double> vd(1);
  vd[0] = 2.0;
  QORBasMap<int, int> bm, empty;
  cow_Btree<int, int> bt;
  cow_Map<int, cow_String> names;
  omi_IntTable<int> table;
  omi_Set one, eleven;
  for (int k = 0; k < 11; ++k) bm[k * 3] = k, eleven.Insert(k - 2);
  bt.Insert(5, 50), bt.Insert(-1, 2);
  names.Insert(1, cow_String("a")), names.Insert(4, cow_String(""));
  table.Insert(-2, 9), table.Insert(3, 1);
  one.Insert(3);
  const std::string blockOf10 =
      "\n i=      0:       0       1       2       3       4       5       6       7       8       9";
  const struct {
    std::function<void()> dump;
    std::string expected;
  } cases[] = {
      {[&] { U::DumpArray(twelve.data(), 12, "ints"); },
       "ints, size 12:" + blockOf10 + "\n i=     10:      10     -11\n"},
      {[&] { U::DumpArray(twelve.data(), 0, "none"); }, "none, size 0:\n"},
      {[&] { U::DumpArrLine(twelve.data(), 3, nullptr); }, "  0  1  2\n"},
      {[&] { U::DumpArrLine(d, 2, "d"); }, "d(2):  1.50000 -0.250000\n"},
      {[&] { U::DumpArray(d, 3, "d"); }, "d, size 3:\n i=      0:           1.5         -0.25         1e-07\n"},
      {[&] { U::DumpVecLine(vi, "v"); }, "v(2):  7 -3\n"},
      {[&] { U::DumpVecLine(vd, "v"); }, "v(1):  2.00000\n"},
      {[&] { U::DumpVector(vi, "v"); }, "v, size 2:\n i=      0:       7      -3\n"},
      {[&] { U::DumpVector(vd, "v"); }, "v, size 1:\n i=      0:             2\n"},
      {[&] { U::DumpMap(bm, "m"); },
       "m map size 11, key/value pairs:\n      0/0       3/1       6/2       9/3      12/4      15/5      18/6      "
       "21/7 "
       "     24/8      27/9 \n     30/10\n"},
      {[&] { U::DumpMap(empty, "e"); }, "e map size 0, key/value pairs:\n\n"},
      {[&] { U::DumpMap(bt, "b"); }, "b map size 2, key/value pairs:\n     -1/2       5/50\n"},
      {[&] { U::DumpMap(cow_Btree<int, int>(), "e"); }, "e map size 0, key/value pairs:\n"},
      {[&] { U::DumpMap(table, "t"); }, "t map size 2, key/value pairs:\n     -2/9       3/1 \n"},
      {[&] { U::DumpMapLine(bm, nullptr); }, " 0/0 3/1 6/2 9/3 12/4 15/5 18/6 21/7 24/8 27/9 30/10\n"},
      {[&] { U::DumpMapLine(bt, "b"); }, "b(2): -1/2 5/50\n"},
      {[&] { U::DumpMapLine(names, "n"); }, "n(2): 1/a 4/\n"},
      {[&] { U::DumpMapLine(table, "t"); }, "t(2): -2/9 3/1\n"},
      {[&] { U::DumpSet(one, "s"); }, "s set, size 1:\n       3\n"},
      {[&] { U::DumpSet(eleven, "s"); },
       "s set, size 11:\n      -2      -1       0       1       2       3       4       5       6       7\n       8\n"},
      {[&] { U::DumpSetLine(one, "s"); }, "s(1):  3\n"},
  };
  for (size_t k = 0; k < sizeof(cases) / sizeof(cases[0]); ++k)
    EXPECT_EQ(Printed(cases[k].dump), cases[k].expected) << k;
}

}  // namespace
