// What a solver module does on the C++ side of a Fortran caller: puts matrices into a container by key, so that
// the Fortran client can read them back through the unmangled functions.
#include <cstring>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxMatrixContainer.h"

extern "C" {

/// A new nrow × ncol matrix under key holding 1000·key + 10·i + j at (i, j), 0-based.
void qormtx_test_container_fill(QORMtxMatrixContainer* handle, const int* key, const int* nrow, const int* ncol,
                                const int* rowBlock, const int* colBlock) {
  QORMtxDenseMatrix& m = handle->Create(*key, *nrow, *ncol, *rowBlock, *colBlock);
  QORMtxMatrix values(*nrow, *ncol);
  for (int j = 0; j < *ncol; ++j)
    for (int i = 0; i < *nrow; ++i) values.value(i, j) = 1000.0 * *key + 10.0 * i + j;
  m.SetValues(0, *nrow - 1, 0, *ncol - 1, values);
}

void qormtx_test_container_remove(QORMtxMatrixContainer* handle, const int* key) { handle->Remove(*key); }

int qormtx_test_container_ismember(QORMtxMatrixContainer* handle, const int* key) {
  return handle->IsMember(*key) ? 1 : 0;
}

/// The container's file path, blank-padded to len characters as Fortran strings are.
void qormtx_test_container_path(QORMtxMatrixContainer* handle, char* path, const int* len) {
  const size_t n = std::strlen(handle->FileName().c_str());
  std::memset(path, ' ', static_cast<size_t>(*len));
  std::memcpy(path, handle->FileName().c_str(), n < static_cast<size_t>(*len) ? n : static_cast<size_t>(*len));
}
}
