// The dependent modules: use counts only, plus start-up work where a module has real work.
#include "QORDependentModules.h"

#include <cstring>

namespace {

struct ModuleState {
  const char* name;
  int useCount;
};

// Constant-initialised: the chain may run from the shared object's load hook.
ModuleState g_modules[] = {
    {"QORBlaModule", 0},   {"QORFsmShared", 0},  {"QORSrvBasic", 0},       {"QORSimInterface", 0}, {"QORSimContainers", 0},
    {"QORBasShared", 0},   {"QORBasCoreUtils", 0}, {"QORBasGenericsLib", 0}, {"QORBasAlloc", 0},
};
QORModuleTraceFn g_trace = nullptr;

void Initialize(ModuleState& m, int& count) {
  if (g_trace) g_trace(m.name, true);
  if (m.useCount++ == 0) ++count;
}

void Finalize(ModuleState& m, int& count) {
  if (g_trace) g_trace(m.name, false);
  if (m.useCount-- == 1) --count;
}

}  // namespace

#define QOR_DEPENDENT_MODULE(index, name)                               \
  void name##_initialize(int& count) { Initialize(g_modules[index], count); } \
  void name##_finalize(int& count) { Finalize(g_modules[index], count); }

QOR_DEPENDENT_MODULE(0, QORBlaModule)
QOR_DEPENDENT_MODULE(1, QORFsmShared)
QOR_DEPENDENT_MODULE(2, QORSrvBasic)
QOR_DEPENDENT_MODULE(3, QORSimInterface)
QOR_DEPENDENT_MODULE(4, QORSimContainers)
QOR_DEPENDENT_MODULE(5, QORBasShared)
QOR_DEPENDENT_MODULE(6, QORBasCoreUtils)
QOR_DEPENDENT_MODULE(7, QORBasGenericsLib)
QOR_DEPENDENT_MODULE(8, QORBasAlloc)

void QORDependentModules_SetTrace(QORModuleTraceFn fn) { g_trace = fn; }

int QORDependentModules_UseCount(const char* module) {
  for (const ModuleState& m : g_modules)
    if (std::strcmp(m.name, module) == 0) return m.useCount;
  return -1;
}
