// QORMtxCoreModule: reference-counted start-up and shut-down of the matrix core and its modules.
#pragma once

/// \brief Initialises the module (first call only: the nine dependent modules, the component and
/// the module-specific part), adding 1 to count for every part that starts for the first time.
void QORMtxCoreModule_initialize(int& count);
/// \brief Releases one initialisation; the last one takes everything down in reverse order.
void QORMtxCoreModule_finalize(int& count);
void QORMtxCoreModule_specific_initialize(int& count);
void QORMtxCoreModule_specific_finalize(int& count);
void QORMtxCore_initialize(int& count);
void QORMtxCore_finalize(int& count);

/// Loader notification codes, as the operating system's loader gives them.
enum QORMtxLoaderReason { QORMTX_PROCESS_DETACH = 0, QORMTX_PROCESS_ATTACH = 1, QORMTX_THREAD_ATTACH = 2,
                          QORMTX_THREAD_DETACH = 3 };

/// \brief The loader entry: the shared object's load hook calls it with QORMTX_PROCESS_ATTACH and its
/// unload hook with QORMTX_PROCESS_DETACH. Always returns 1.
extern "C" int QORMtxCoreModule_LoaderNotify(int reason);

/// Counters of the lifecycle, for diagnostics.
struct QORMtxCoreModuleCounts {
  int moduleUse;
  int component;
  int specific;
  int cTally;
  int loaderTally;
};
QORMtxCoreModuleCounts QORMtxCoreModule_Counts();
