// QORBasFileOps: fopen and POSIX open/read/write/close behind the host's flag values.
#include "QORBasFileOps.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "cow_String.h"

FILE* QORBasFileOps::Fopen(const char* path, const char* mode) { return path ? std::fopen(path, mode) : nullptr; }

FILE* QORBasFileOps::Fopen(const cow_String& path, const char* mode) { return Fopen(path.c_str(), mode); }

int QORBasFileOps::Open(const char* path, int flags, int permission) {
  if (!path) return -1;
  int native = (flags & RDWR) ? O_RDWR : (flags & WRONLY) ? O_WRONLY : O_RDONLY;
  if (flags & APPEND) native |= O_APPEND;
  if (flags & CREAT) native |= O_CREAT;
  if (flags & TRUNC) native |= O_TRUNC;
  if (flags & EXCL) native |= O_EXCL;
  return ::open(path, native | O_CLOEXEC, static_cast<mode_t>(permission));
}

int QORBasFileOps::Open(const cow_String& path, int flags, int permission) {
  return Open(path.c_str(), flags, permission);
}

long long QORBasFileOps::Write(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < n) {
    const ssize_t k = ::write(fd, p + done, n - done);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return -1;
    done += static_cast<size_t>(k);
  }
  return static_cast<long long>(done);
}

long long QORBasFileOps::Read(int fd, void* data, size_t n) {
  char* p = static_cast<char*>(data);
  size_t done = 0;
  while (done < n) {
    const ssize_t k = ::read(fd, p + done, n - done);
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) return -1;
    if (k == 0) break;  // end of file
    done += static_cast<size_t>(k);
  }
  return static_cast<long long>(done);
}

int QORBasFileOps::Close(int fd) { return ::close(fd) == 0 ? 0 : -1; }
