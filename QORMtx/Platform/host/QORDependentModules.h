// The nine modules the matrix core stands on, each with an initialise/finalise pair that
// follows the tally convention: the first initialisation adds 1 to the caller's tally,
// the last finalisation subtracts 1, every other call only moves the module's own count.
#pragma once

void QORBlaModule_initialize(int& count);
void QORBlaModule_finalize(int& count);
void QORFsmShared_initialize(int& count);
void QORFsmShared_finalize(int& count);
void QORSrvBasic_initialize(int& count);
void QORSrvBasic_finalize(int& count);
void QORSimInterface_initialize(int& count);
void QORSimInterface_finalize(int& count);
void QORSimContainers_initialize(int& count);
void QORSimContainers_finalize(int& count);
void QORBasShared_initialize(int& count);
void QORBasShared_finalize(int& count);
void QORBasCoreUtils_initialize(int& count);
void QORBasCoreUtils_finalize(int& count);
void QORBasGenericsLib_initialize(int& count);
void QORBasGenericsLib_finalize(int& count);
void QORBasAlloc_initialize(int& count);
void QORBasAlloc_finalize(int& count);

/// \brief Observer of module start and stop, for tests and diagnostics: called with the
/// module's name and true (initialise) or false (finalise) on every call, first-time or not.
using QORModuleTraceFn = void (*)(const char* module, bool initialize);
void QORDependentModules_SetTrace(QORModuleTraceFn fn);

/// \brief Use count of a dependent module by name (-1 for an unknown name).
int QORDependentModules_UseCount(const char* module);
