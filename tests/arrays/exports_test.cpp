// The unmangled names Fortran and C callers link against are exported by the shared library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "QORMtxCoreModuleC.h"

namespace {

// Every unmangled kernel and sort; a name dropped from the export list or mangled by a missing
// extern "C" fails here rather than at a Fortran client's link.
const char* const kUnmangledNames[] = {
    "qormtx_complex_set",
    "qormtx_complex_get",
    "qormtxcomplexset",
    "qormtxcomplexgetre",
    "qormtxcomplexgetim",
    "qormtx_complex_add",
    "qormtx_complex_sub",
    "qormtx_complex_mul",
    "qormtx_complex_div",
    "qormtx_complex_con",
    "qormtx_complex_abs",
    "qormtx_array_add",
    "qormtx_array_add2",
    "qormtx_array_p1p1p0_add",
    "qormtx_array_p1m1p0_add",
    "qormtx_array_p1p1p1_add",
    "qormtx_array_p1m1p1_add",
    "qormtx_array_m1m1p1_add",
    "qormtx_array_minus",
    "qormtx_array_assign",
    "qormtx_array_x_factor",
    "qormtx_daxpy",
    "qormtx_darray_invert",
    "qormtx_darray_invert_eps",
    "qormtx_darray_multiply",
    "qormtx_daxsyzi",
    "qormtx_array_setre",
    "qormtx_array_setim",
    "qormtx_array_setreim",
    "qormtx_array_resetre",
    "qormtx_array_resetim",
    "qormtx_array_getre",
    "qormtx_array_getim",
    "qormtx_array_getreim",
    "qormtx_array_invert",
    "qormtx_array_multiply",
    "qormtx_reim_array_x_factor",
    "qormtx_zdotc",
    "QORMtxsortint1",
    "QORMtxsortint2",
};

TEST(Exports, EveryUnmangledNameResolves) {
  for (const char* name : kUnmangledNames) EXPECT_NE(dlsym(RTLD_DEFAULT, name), nullptr) << name;
}

// Whatever the C header declares must also be exported: scans the header's prototypes, so a declaration added
// later is covered without touching this test.
TEST(Exports, EveryFunctionOfTheCHeaderResolves) {
  const std::string path = std::string(QORMTX_TEST_SOURCE_DIR) + "/../QORMtx/PublicInterfaces/QORMtxCoreModuleC.h";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A prototype: a return type at the start of a line, the name, then "(".
  const std::regex proto(R"((?:^|\n)(?:const\s+)?(?:void|int|double|char|[A-Za-z_]\w*)\s*\**\s+\**(\w+)\s*\()");
  int found = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), proto), end; it != end; ++it) {
    const std::string name = (*it)[1];
    EXPECT_NE(dlsym(RTLD_DEFAULT, name.c_str()), nullptr) << name << " is declared but not exported";
    ++found;
  }
  EXPECT_GE(found, static_cast<int>(sizeof(kUnmangledNames) / sizeof(kUnmangledNames[0])));
}

TEST(Exports, ResolvedSymbolIsTheDeclaredFunction) {
  // Guards against a stale same-named symbol from another object shadowing ours.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "qormtx_daxpy"), reinterpret_cast<void*>(&qormtx_daxpy));
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "QORMtxsortint2"), reinterpret_cast<void*>(&QORMtxsortint2));
}

}  // namespace
