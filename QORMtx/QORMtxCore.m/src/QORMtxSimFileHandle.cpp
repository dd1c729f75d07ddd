// QORMtxSimFileHandle: counted ownership of a scratch database file; removal with the last holder or at exit.
#include "QORMtxSimFileHandle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <map>

#include "QORBasUtlFilePath.h"
#include "QORMtxAssert.h"
#include "QORMtxScratchFiles.h"
#include "QORSimDatabase.h"
#include "QORSimUttAssert.h"

/// Misuse of a handle: the store's validation report of the condition's own text, then exit status 1.
#define QORMTX_SIM_VALIDATE(cond)                                                                             \
  do {                                                                                                       \
    if (!(cond))                                                                                             \
      QORSimUttAssert::ReportValidationFailure(#cond, qormtx_detail::SourcePath(__FILE__), __LINE__);        \
  } while (0)

namespace {

// Scratch files still open, with the process that made each. The registry lives for the whole process (never
// destroyed), since a static matrix may release its file after this file's statics would be gone.
struct LiveFile {
  pid_t pid;
  qormtx_scratch::CloseAndRemoveFn closeAndRemove;
};
struct LiveFiles {
  std::mutex mutex;
  std::map<void*, LiveFile> files;
};
LiveFiles& Live() {
  static auto* live = new LiveFiles();
  return *live;
}

// Runs before the store's own close-at-exit handler and HDF5's shutdown, because it is registered after the
// first scratch database was created (atexit handlers run in reverse order). A forked child that exits
// removes only the files it made itself, never its parent's.
void RemoveLiveFilesAtExit() {
  std::map<void*, LiveFile> files;
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    files.swap(Live().files);
  }
  for (const auto& entry : files)
    if (entry.second.pid == ::getpid()) entry.second.closeAndRemove(entry.first);
}

}  // namespace

void qormtx_scratch::RegisterLiveFile(void* owner, CloseAndRemoveFn fn) {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(RemoveLiveFilesAtExit); });
  std::lock_guard<std::mutex> lock(Live().mutex);
  Live().files[owner] = LiveFile{::getpid(), fn};
}

void qormtx_scratch::UnregisterLiveFile(void* owner) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  Live().files.erase(owner);
}

namespace {

// The handle's state under the name its checks use.
struct Pointer {
  const QORMtxSimFileHandleRepr* repr;
  bool IsNull() const { return repr == nullptr; }
  bool HasValue() const { return repr != nullptr; }
};

}  // namespace

QORMtxSimFileHandleRepr::QORMtxSimFileHandleRepr(const cow_String& path) : m_database(nullptr), m_path(path) {
  m_database = new QORSimDatabase();
  m_database->Create(m_path.c_str(), QORSimSchema());
  qormtx_scratch::RegisterLiveFile(
      this, [](void* repr) { static_cast<QORMtxSimFileHandleRepr*>(repr)->CloseAndRemove(); });
}

QORMtxSimFileHandleRepr::~QORMtxSimFileHandleRepr() {
  qormtx_scratch::UnregisterLiveFile(this);
  CloseAndRemove();
}

void QORMtxSimFileHandleRepr::CloseAndRemove() {
  if (m_database) {
    m_database->Close();
    delete m_database;
    m_database = nullptr;
  }
  if (!m_path.empty() && QORBasUtlFilePath::Exists(m_path)) std::remove(m_path.c_str());
}

QORSimContextID QORMtxSimFileHandleRepr::ContextID() const {
  return m_database ? m_database->ContextID() : QORSimContextID();
}

void QORMtxSimFileHandle::Create(const cow_String& path) {
  const Pointer pointer{m_holder.Get()};
  QORMTX_SIM_VALIDATE(pointer.IsNull() && "File Handle already associated with a SIM database.");
  m_holder.Set(new QORMtxSimFileHandleRepr(path));
}

QORSimContextID QORMtxSimFileHandle::ContextID() const {
  const Pointer pointer{m_holder.Get()};
  QORMTX_SIM_VALIDATE(pointer.HasValue() && "File Handle is not associated with a SIM database.");
  return m_holder->ContextID();
}

cow_String QORMtxSimFileHandle::Path() const { return m_holder.IsNull() ? cow_String() : m_holder->Path(); }
