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

namespace families_test {

/// One element matrix as a family holds it: its label, order, the flat positions it stores (a symmetric one only
/// rows 0 … j of each column j) and their values; Full() is the whole matrix it stands for.
struct Element {
  int label = 0;
  int order = 0;
  bool symmetric = false;
  std::vector<int> positions;
  std::vector<double> values;
  ref::Dense Full() const {
    ref::Dense a(order, order);
    for (size_t e = 0; e < positions.size(); ++e) {
      const int i = positions[e] % order, j = positions[e] / order;
      a(i, j) = values[e];
      if (symmetric) a(j, i) = values[e];
    }
    return a;
  }
};

/// A family of element matrices of orders 1 … 5, labels descending from 900; every third one stores all its
/// positions (a full matrix), the others a shuffled part of them; two share their positions with their neighbour.
inline std::vector<Element> MakeFamily(int count, bool symmetric, std::uint64_t salt) {
  std::mt19937_64 rng = ref::Rng(salt);
  std::vector<Element> family;
  for (int k = 0; k < count; ++k) {
    Element e;
    e.label = 900 - 3 * k;
    e.order = 1 + k % 5;
    e.symmetric = symmetric;
    for (int j = 0; j < e.order; ++j)
      for (int i = 0; i < (symmetric ? j + 1 : e.order); ++i) e.positions.push_back(i + j * e.order);
    if (k % 3 != 0) {
      std::shuffle(e.positions.begin(), e.positions.end(), rng);
      e.positions.resize(1 + rng() % e.positions.size());
    }
    if (k % 7 == 2 && k > 0 && family.back().order == e.order) e.positions = family.back().positions;
    e.values = ref::RandomValues(e.positions.size(), rng);
    family.push_back(e);
  }
  return family;
}

}  // namespace families_test
