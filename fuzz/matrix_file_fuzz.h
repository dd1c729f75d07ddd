// Shared by the matrix-file harnesses: each input becomes a scratch file, read through the checked import.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "QORMtxSparseImExPorter.h"
#include "QORMtxSparseMatrix.h"

namespace qormtx_fuzz {

/// A per-process scratch file in memory-backed storage when there is one, removed at exit.
inline const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string p = std::string(base) + "/qormtx_fuzz_" + std::to_string(getpid());
    std::atexit([] { std::remove(ScratchPath().c_str()); });
    return p;
  }();
  return path;
}

inline const char* WriteScratch(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(ScratchPath().c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return ScratchPath().c_str();
}

/// Imports the input in format; a file that is accepted must give a matrix whose stored form is valid.
inline int ImportOne(const uint8_t* data, size_t size, int format) {
  const char* path = WriteScratch(data, size);
  QORMtxSparseMatrix A;
  std::string error;
  if (QORMtxSparseImExPorter::TryImport(A, path, format, &error)) {
    if (!A.IsAssembled() || !A.CheckInvariants()) std::abort();
  } else if (error.empty()) {
    std::abort();  // a refusal must say why
  }
  return 0;
}

}  // namespace qormtx_fuzz
