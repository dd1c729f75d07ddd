// QORMtxAssert: the one precondition mechanism of the library, on in every build.
#pragma once
#include "PRLFatalError.h"
#include "QORMtxUtilities.h"

namespace qormtx_detail {
/// \brief The source path from "QORMtx/QORMtxCore.m/" on, whatever directory the build ran in.
constexpr const char* SourcePath(const char* file) {
  constexpr char marker[] = "QORMtx/QORMtxCore.m/";
  for (const char* p = file; *p; ++p) {
    const char* a = p;
    const char* b = marker;
    while (*b && *a == *b) ++a, ++b;
    if (!*b) return p;
  }
  return file;
}
}  // namespace qormtx_detail

/// Reports "Assertion failed: <cond>" with this file and line through ReportAndAbort.
#define QORMTX_ASSERT(cond)                                                                         \
  do {                                                                                              \
    if (!(cond)) QORMtxUtilities::ReportAndAbort(#cond, qormtx_detail::SourcePath(__FILE__), __LINE__); \
  } while (0)

/// As QORMTX_ASSERT, reporting the given source path: for the classes whose failures name their file otherwise.
#define QORMTX_ASSERT_AT(cond, path)                                       \
  do {                                                                     \
    if (!(cond)) QORMtxUtilities::ReportAndAbort(#cond, (path), __LINE__); \
  } while (0)

/// The twin for the classes that report through the host's fatal-error routine.
#define QORMTX_PRL_ASSERT(cond)                                                                          \
  do {                                                                                                   \
    if (!(cond))                                                                                         \
      PRLFatalError("AssertionFailed:" #cond, nullptr, nullptr, nullptr, qormtx_detail::SourcePath(__FILE__), \
                    __LINE__);                                                                           \
  } while (0)
