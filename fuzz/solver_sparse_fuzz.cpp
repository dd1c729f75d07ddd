// Fuzz harness: the importer of the solver sparse binary (code 1).
#include "matrix_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qormtx_fuzz::ImportOne(data, size, 1);
}
