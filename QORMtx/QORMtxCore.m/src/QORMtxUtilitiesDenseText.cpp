// QORMtxUtilities: dense matrices as "row column value" text, appended by Export and read by Import.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "QORBasFileOps.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"

namespace {
constexpr int kCommentLine = 256;

void ReportOpenFailure(const char* path) {
  std::fprintf(stderr, "*** Error: cannot open file %s: ", path ? path : "(null)");
  std::perror(nullptr);
}

// Reads the rest of the current line (comment lines are read in pieces of the comment length).
void SkipLine(FILE* f) {
  char buf[kCommentLine + 1];
  while (std::fgets(buf, sizeof buf, f) && !std::strchr(buf, '\n')) {
  }
}
}  // namespace

void QORMtxUtilities::Export(const QORMtxMatrix& A, const char* path, const char* title) {
  FILE* f = QORBasFileOps::Fopen(path, "a");
  if (!f) {
    ReportOpenFailure(path);
    return;
  }
  if (title) std::fprintf(f, "%% %s\n", title);
  for (int i = 0; i < A.NumberOfRows(); ++i)
    for (int j = 0; j < A.NumberOfColumns(); ++j) std::fprintf(f, "%8d %8d  %28.16e\n", i + 1, j + 1, A.value(i, j));
  std::fprintf(f, "%%----------------------------------------------------------\n");
  std::fclose(f);
}

QORMtxMatrix* QORMtxUtilities::Import(const char* path) {
  FILE* f = QORBasFileOps::Fopen(path, "r");
  if (!f) {
    ReportOpenFailure(path);
    return nullptr;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> closer(f, std::fclose);
  // The first line that is not a comment is the sizing line.
  int c;
  while ((c = std::fgetc(f)) == '%') SkipLine(f);
  if (c != EOF) std::ungetc(c, f);
  char line[kCommentLine + 1] = {};
  int rows = 0, cols = 0;
  if (!std::fgets(line, sizeof line, f) || std::sscanf(line, "%d %d", &rows, &cols) != 2 || rows < 0 || cols < 0 ||
      (rows == 0) != (cols == 0)) {
    std::fprintf(stderr, "*** Error: %s: no valid sizing line \"rows columns\"\n", path);
    return nullptr;
  }
  if (!std::strchr(line, '\n')) SkipLine(f);
  if (rows == 1 && cols == 1)
    std::fprintf(stderr, "*** Warning: sizing line is probably missing from %s: size of matrix = %dx%d\n", path, 1, 1);
  std::unique_ptr<QORMtxMatrix> A;
  try {
    A.reset(new QORMtxMatrix(rows, cols));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "*** Error: %s: no memory for a %dx%d matrix\n", path, rows, cols);
    return nullptr;
  }
  A->Assign(0.0);
  int r = 0, col = 0;
  double v = 0.0;
  while (std::fscanf(f, "%d %d %lg\n", &r, &col, &v) == 3) {
    if (r < 1 || r > rows || col < 1 || col > cols) {
      std::fprintf(stderr, "*** Error: %s: element (%d, %d) lies outside the %dx%d matrix\n", path, r, col, rows, cols);
      return nullptr;
    }
    A->value(r - 1, col - 1) = v;
  }
  return A.release();
}
