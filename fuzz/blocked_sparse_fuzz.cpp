// Fuzz harness: the importer of the blocked sparse binary (code 6).
#include "matrix_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qormtx_fuzz::ImportOne(data, size, 6);
}
