// QORMtxCoreModule: the lifecycle chains, the C entry points and the shared object's load hooks.
#include "QORMtxCoreModule.h"

#include "QORDependentModules.h"
#include "QORMtxCoreModuleC.h"

#include <iterator>

namespace {

// Plain counters, constant-initialised so that the load hook may run before any other static set-up.
int g_moduleUse = 0;
int g_componentCount = 0;
int g_specificCount = 0;
int g_cTally = 0;
int g_loaderTally = 0;

using ModuleFn = void (*)(int&);
struct DependentModule {
  ModuleFn initialize;
  ModuleFn finalize;
};

// Initialisation order; finalisation walks it backwards.
constexpr DependentModule kDependents[] = {
    {QORBlaModule_initialize, QORBlaModule_finalize},
    {QORFsmShared_initialize, QORFsmShared_finalize},
    {QORSrvBasic_initialize, QORSrvBasic_finalize},
    {QORSimInterface_initialize, QORSimInterface_finalize},
    {QORSimContainers_initialize, QORSimContainers_finalize},
    {QORBasShared_initialize, QORBasShared_finalize},
    {QORBasCoreUtils_initialize, QORBasCoreUtils_finalize},
    {QORBasGenericsLib_initialize, QORBasGenericsLib_finalize},
    {QORBasAlloc_initialize, QORBasAlloc_finalize},
};

void ModuleInitialize(int& tally) {
  if (g_moduleUse++ != 0) return;
  ++tally;
  for (const DependentModule& m : kDependents) m.initialize(tally);
  QORMtxCore_initialize(tally);
  if (g_specificCount++ == 0) ++tally;
}

void ModuleFinalize(int& tally) {
  if (g_moduleUse-- != 1) return;
  --tally;
  if (g_specificCount-- == 1) --tally;
  QORMtxCore_finalize(tally);
  for (auto m = std::rbegin(kDependents); m != std::rend(kDependents); ++m) m->finalize(tally);
}

}  // namespace

void QORMtxCoreModule_initialize(int& count) { ModuleInitialize(count); }
void QORMtxCoreModule_finalize(int& count) { ModuleFinalize(count); }

void QORMtxCoreModule_specific_initialize(int& count) {
  if (g_specificCount++ == 0) ++count;
}

void QORMtxCoreModule_specific_finalize(int& count) {
  if (g_specificCount-- == 1) --count;
}

void QORMtxCore_initialize(int& count) {
  if (g_componentCount++ == 0) ++count;
}

void QORMtxCore_finalize(int& count) {
  if (g_componentCount-- == 1) --count;
}

extern "C" void QORMtxCoreModule_initializeC(void) { ModuleInitialize(g_cTally); }
extern "C" void QORMtxCoreModule_finalizeC(void) { ModuleFinalize(g_cTally); }

extern "C" int QORMtxCoreModule_LoaderNotify(int reason) {
  if (reason == QORMTX_PROCESS_ATTACH) ModuleInitialize(g_loaderTally);
  else if (reason == QORMTX_PROCESS_DETACH) ModuleFinalize(g_loaderTally);
  return 1;
}

QORMtxCoreModuleCounts QORMtxCoreModule_Counts() {
  return {g_moduleUse, g_componentCount, g_specificCount, g_cTally, g_loaderTally};
}

// Linux has no loader entry point: the shared object's constructor and destructor play its part,
// so a loaded library is already up and the counts stay balanced at unload.
__attribute__((constructor)) static void QORMtxCoreModule_OnLoad() {
  QORMtxCoreModule_LoaderNotify(QORMTX_PROCESS_ATTACH);
}
__attribute__((destructor)) static void QORMtxCoreModule_OnUnload() {
  QORMtxCoreModule_LoaderNotify(QORMTX_PROCESS_DETACH);
}
