// PRLFatalError: message, optional texts, location, abort.
#include "PRLFatalError.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

void PRLFatalError(const char* message, const char* text1, const char* text2, const char* text3, const char* file,
                   int line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", message ? message : "");
  for (const char* t : {text1, text2, text3})
    if (t) std::fprintf(stderr, "%s\n", t);
  if (file) std::fprintf(stderr, "File %s, line %d\n", file, line);
  std::fflush(stderr);
  std::abort();
}
