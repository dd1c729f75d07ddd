// QORMtxScratchFiles: the scratch database files a process still holds, closed and removed at its normal end.
#pragma once

namespace qormtx_scratch {

/// Closes the owner's database and removes its file.
using CloseAndRemoveFn = void (*)(void* owner);

/// \brief Records owner's open scratch file, to be closed and removed by fn if the process ends normally while it
/// is still open. Call it after the database was created, so that the exit handler runs before the store's.
void RegisterLiveFile(void* owner, CloseAndRemoveFn fn);
/// \brief The owner closed and removed its file itself.
void UnregisterLiveFile(void* owner);

}  // namespace qormtx_scratch
