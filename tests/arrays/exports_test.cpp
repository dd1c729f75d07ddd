// The unmangled names Fortran and C callers link against are exported by the shared library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <string>

#include "QORMtxCoreModuleC.h"

namespace {

// Every function the C header declares must resolve unmangled: scans the header's prototypes, so a declaration added
// later is covered, and a missing extern "C" or export fails here rather than at a Fortran client's link.
TEST(Exports, EveryFunctionOfTheCHeaderResolves) {
  const std::string path = std::string(QORMTX_TEST_SOURCE_DIR) + "/../QORMtx/PublicInterfaces/QORMtxCoreModuleC.h";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  // A prototype starts a line with its return type; the name is the identifier just before the first "(".
  std::set<std::string> names;
  for (std::string line; std::getline(in, line);) {
    const size_t paren = line.find('(');
    if (line.empty() || !std::isalpha(static_cast<unsigned char>(line[0])) || paren == std::string::npos) continue;
    size_t begin = paren;
    while (begin > 0 && (std::isalnum(static_cast<unsigned char>(line[begin - 1])) || line[begin - 1] == '_')) --begin;
    names.insert(line.substr(begin, paren - begin));
  }
  for (const std::string& name : names) EXPECT_NE(dlsym(RTLD_DEFAULT, name.c_str()), nullptr) << name;
  // The scan itself must see the families: one name of each, and the count of the whole set.
  for (const char* name : {"qormtx_complex_abs", "qormtx_array_p1m1p1_add", "qormtx_daxsyzi", "qormtx_zdotc",
                           "qormtx_reim_array_x_factor", "QORMtxsortint2", "qormtxmatrixcontainercreate",
                           "qormtxmatrixcontainerdelete", "qormtxmatrixcontainernumrows",
                           "qormtxmatrixcontainernumcolumns", "qormtxmatrixcontainergetvalues"})
    EXPECT_EQ(names.count(name), 1u) << name << " not found by the header scan";
  EXPECT_GE(names.size(), 40u);
  // A stale same-named symbol from another object must not shadow ours.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "qormtx_daxpy"), reinterpret_cast<void*>(&qormtx_daxpy));
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "QORMtxsortint2"), reinterpret_cast<void*>(&QORMtxsortint2));
}

}  // namespace
