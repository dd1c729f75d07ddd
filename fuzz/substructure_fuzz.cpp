// Fuzz harness: the importer of the substructure files of Fortran records (code 0).
#include "matrix_file_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return qormtx_fuzz::ImportOne(data, size, 0);
}
