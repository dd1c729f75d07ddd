// Death-test helpers: match the library's fatal messages literally, not as regular expressions.
#pragma once
#include <gtest/gtest.h>

#include <string>

namespace qormtx_test {

/// \brief The text as a POSIX extended regular expression that matches it literally.
inline std::string Literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace qormtx_test

/// The statement must end the process with "Assertion failed: <condition>" (ReportAndAbort).
#define EXPECT_QORMTX_ASSERTION(statement, condition) \
  EXPECT_DEATH(statement, qormtx_test::Literal(std::string("Assertion failed: ") + (condition)))

/// The statement must end the process through PRLFatalError with "AssertionFailed:<condition>".
#define EXPECT_QORMTX_PRL_ASSERTION(statement, condition) \
  EXPECT_DEATH(statement, qormtx_test::Literal(std::string("AssertionFailed:") + (condition)))
