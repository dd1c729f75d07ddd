// Helpers of the element-matrix family tests: a scratch database per test and plain references.
#pragma once
#include <map>
#include <utility>
#include <vector>

#include "../stored/stored_util.h"
#include "qormtx_reference.h"

namespace families_test {

using stored_test::StoredTest;

/// Coordinate entries of a Matrix Market file (symmetric files: the lower triangle as stored); false when absent.
inline bool ReadMatrixMarket(const std::string& path, int& n, std::vector<std::pair<std::pair<int, int>, double>>& e) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  char line[512];
  int rows = 0, cols = 0, nnz = 0;
  while (std::fgets(line, sizeof line, f))
    if (line[0] != '%' && std::sscanf(line, "%d %d %d", &rows, &cols, &nnz) == 3) break;
  n = rows;
  for (int k = 0; k < nnz; ++k) {
    int i = 0, j = 0;
    double v = 0;
    if (std::fscanf(f, "%d %d %lf", &i, &j, &v) != 3) break;
    e.push_back({{i - 1, j - 1}, v});
  }
  std::fclose(f);
  return true;
}

}  // namespace families_test
