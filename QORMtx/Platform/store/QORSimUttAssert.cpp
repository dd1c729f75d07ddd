// QORSimUttAssert: the data store's fatal reports.
#include "QORSimUttAssert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aio_ostream.h"

namespace {

// The path from "QORMtx/" on, so that messages do not depend on where the tree was built.
const char* ShortPath(const char* file) {
  if (!file) return "";
  const char* p = std::strstr(file, "QORMtx/");
  return p ? p : file;
}

QORSimUttAssert::FailureHook g_hook = nullptr;

[[noreturn]] void Report(const char* what, const char* expression, const char* file, int line) {
  if (g_hook) g_hook((std::string(what) + (expression ? expression : "")).c_str());
  aio_cerr << what << (expression ? expression : "") << "\n";
  if (file) aio_cerr << "File " << ShortPath(file) << ", line " << line << "\n";
  aio_cerr.flush();
  std::fflush(nullptr);
  // No clean-up: the failure may have left HDF5 or the database in a state that must not be flushed further.
  std::_Exit(1);
}

}  // namespace

void QORSimUttAssert::ReportAssertionFailure(const char* expression, const char* file, int line) {
  Report("Assertion failed: ", expression, file, line);
}

void QORSimUttAssert::ReportValidationFailure(const char* expression, const char* file, int line) {
  Report("Validation failed: ", expression, file, line);
}

void QORSimUttAssert::SetFailureHook(FailureHook hook) { g_hook = hook; }
