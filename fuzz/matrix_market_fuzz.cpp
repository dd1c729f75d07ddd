// The Matrix Market reader on arbitrary bytes, through the streamed file path the tool uses (an in-memory file
// descriptor), with the shape bounded as the tool bounds it so that a huge announced order is refused rather than
// allocated. A successful read must give a consistent, assembled matrix.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("matrix_market_fuzz", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  QORMtxMatrixMarket::ReadOptions options;
  options.checkSize = [](long long rows, long long cols, long long) {
    return rows > (1 << 16) || cols > (1 << 16) ? std::string("too large for the fuzzer") : std::string();
  };
  QORMtxSparseMatrix A;
  std::string error;
  if (QORMtxMatrixMarket::Read(path.c_str(), A, &error, options)) {
    if (!A.IsAssembled() || A.NumberOfRows() < 0 || A.NumberOfColumns() < 0) std::abort();
    long long count = 0;
    for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
      const QORMtxSparseMatrixEntry e = it.CurrentEntry();
      if (e.m_row >= static_cast<unsigned>(A.NumberOfRows()) || e.m_col >= static_cast<unsigned>(A.NumberOfColumns()))
        std::abort();
      ++count;
    }
    if (count != A.NumberOfEntries()) std::abort();
  } else if (error.empty()) {
    std::abort();  // a refusal always says why
  }
  close(fd);
  return 0;
}
