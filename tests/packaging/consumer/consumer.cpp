// A client of the installed library: starts it, formats a number and stops it.
#include <cstdio>
#include <cstring>

#include "QORMtxCoreModule.h"
#include "QORMtxCoreModuleC.h"
#include "QORMtxUtilities.h"

int main() {
  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  QORMtxCoreModule_initializeC();
  char buf[32];
  const bool ok = std::strcmp(QORMtxUtilities::DoubleToGfmt(12.0, buf, 0.0, 6), "12.0") == 0;
  QORMtxCoreModule_finalizeC();
  QORMtxCoreModule_finalize(tally);
  std::printf("consumer: %s\n", ok ? "ok" : "wrong result");
  return ok ? 0 : 1;
}
