// QORBasFileOps: opening files as buffered streams or unbuffered descriptors, with the host's open flags.
#pragma once
#include <cstddef>
#include <cstdio>

class cow_String;

/// \brief File opening for the library's exports and imports. Open takes the host platform's flag values
/// (below; e.g. BINARY | CREAT | WRONLY = 33025, BINARY | RDONLY = 32768) and maps them onto this system's.
class QORBasFileOps {
 public:
  enum : int {
    RDONLY = 0x0000,
    WRONLY = 0x0001,
    RDWR = 0x0002,
    APPEND = 0x0008,
    CREAT = 0x0100,
    TRUNC = 0x0200,
    EXCL = 0x0400,
    TEXT = 0x4000,
    BINARY = 0x8000
  };

  /// \brief fopen(path, mode); null when the file cannot be opened.
  static FILE* Fopen(const char* path, const char* mode);
  static FILE* Fopen(const cow_String& path, const char* mode);
  /// \brief Unbuffered descriptor on path with the flags above and permission bits (e.g. 420 = 0644) for a
  /// created file; -1 when it cannot be opened. TEXT and BINARY make no difference here.
  /// \warning As on the host platform, CREAT without TRUNC keeps the old bytes past the end of what is written.
  static int Open(const char* path, int flags, int permission);
  static int Open(const cow_String& path, int flags, int permission);
  /// \brief Writes all n bytes (retrying short writes); returns n, or -1 on error.
  static long long Write(int fd, const void* data, size_t n);
  /// \brief Reads up to n bytes, stopping early only at end of file; returns the count read, or -1 on error.
  static long long Read(int fd, void* data, size_t n);
  /// \brief Closes fd; 0 on success, -1 on error.
  static int Close(int fd);
};
