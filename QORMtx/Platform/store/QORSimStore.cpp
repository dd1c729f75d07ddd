// QORSimStore: the one process-wide HDF5 lock, start-up, checked calls and failure reports, the I/O counters.
#define QORSIM_INSIDE_STORE
#include "QORSimStore.h"

#include <atomic>
#include <cstdlib>

#include "QORSimUttAssert.h"

namespace qorsim {

namespace {
std::atomic<ChunkPath> g_chunkPathLimit{ChunkPath::RAW_FILE};
thread_local const WhereScope* t_where = nullptr;
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Lock, start-up, failures.

std::recursive_mutex& StoreMutex() {
  static auto* mutex = new std::recursive_mutex();
  return *mutex;
}

namespace {
// Registered after H5open, so it runs before HDF5 shuts itself down: every database still open
// at exit is closed (and so flushed) while HDF5 can still do it. Nothing written is lost.
void CloseAllDatabasesAtExit() { CloseAllDatabases(); }
}  // namespace

void StartHdf5() {
  static std::once_flag once;
  std::call_once(once, [] {
    H5open();
    // The store reports failures itself, naming the database; HDF5's own printing would only add noise.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    std::atexit(CloseAllDatabasesAtExit);
  });
}

WhereScope::WhereScope(const std::string& database, const std::string& object)
    : m_outer(t_where), m_database(database), m_object(object) {
  t_where = this;
}

WhereScope::~WhereScope() { t_where = m_outer; }

std::string DescribeWhere() {
  if (!t_where) return "";
  std::string text = " on data-store database '" + t_where->m_database + "'";
  if (!t_where->m_object.empty()) text += ", object '" + t_where->m_object + "'";
  return text;
}

namespace {
herr_t CollectError(unsigned /*n*/, const H5E_error2_t* err, void* data) {
  auto* lines = static_cast<std::vector<std::string>*>(data);
  char minor[160] = "";
  H5Eget_msg(err->min_num, nullptr, minor, sizeof minor);
  std::string line = std::string(err->func_name ? err->func_name : "?") + ": " + (err->desc ? err->desc : "");
  if (minor[0]) line += std::string(" (") + minor + ")";
  lines->push_back(line);
  return 0;
}
}  // namespace

std::string Hdf5ErrorText() {
  std::vector<std::string> lines;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD, CollectError, &lines);
  H5Eclear2(H5E_DEFAULT);
  // The call that failed, then the innermost causes, which say what the system refused (errno and its text).
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == 1 && lines.size() > 6) {
      text += "\n  …";
      i = lines.size() - 4;
    }
    text += "\n  " + lines[i];
  }
  return text;
}

void Hdf5Failure(const char* routine, const char* file, int line) {
  std::string message = std::string("HDF5 call ") + routine + " failed" + DescribeWhere() + ":" + Hdf5ErrorText();
  QORSimUttAssert::ReportValidationFailure(message.c_str(), file, line);
}

void Fail(const std::string& message, const char* file, int line) {
  QORSimUttAssert::ReportValidationFailure(message.c_str(), file, line);
}

void H5Handle::Reset() {
  if (m_id >= 0) {
    QORSIM_H5(H5Idec_ref, (m_id));
    m_id = -1;
  }
}

namespace {
IoCounters g_counters;
}
IoCounters Counters() {
  StoreLock lock(StoreMutex());
  return g_counters;
}
void ResetCounters() {
  StoreLock lock(StoreMutex());
  g_counters = IoCounters();
}
void Count(uint64_t IoCounters::*field) {
  StoreLock lock(StoreMutex());
  ++(g_counters.*field);
}

void SetChunkPathLimit(ChunkPath limit) { g_chunkPathLimit = limit; }
ChunkPath ChunkPathLimit() { return g_chunkPathLimit; }

hid_t MemoryType(int typeKey) { return typeKey == QORSimIntKey ? H5T_NATIVE_INT : H5T_NATIVE_DOUBLE; }
size_t ItemBytes(int typeKey) { return typeKey == QORSimIntKey ? 4 : 8; }

hid_t FileType(int typeKey) { return typeKey == QORSimIntKey ? H5T_STD_I32LE : H5T_IEEE_F64LE; }

}  // namespace qorsim
