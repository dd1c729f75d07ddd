// blac sparse matrix-vector kernels: products of a 0-based CSR matrix with blocks of dense vectors.
#include <cstddef>
#include <vector>

#include "blac.h"

namespace {

// Several vectors are handled as panels of kPanel columns packed row by row (x[c·kPanel + v]): one stored entry
// then meets one contiguous run of kPanel values instead of kPanel cache lines, and the panel loop vectorises.
// The matrix is read once per panel; the last panel narrows (4, 2, 1) rather than running padded.
constexpr int kPanel = 8;

// Copies columns v0 .. v0+W-1 of the column-major block src (n rows, leading dimension n) into the row-wise panel.
template <int W>
void PackPanel(const double* src, std::size_t n, int v0, double* panel) {
  for (int v = 0; v < W; ++v) {
    const double* col = src + static_cast<std::size_t>(v0 + v) * n;
    for (std::size_t r = 0; r < n; ++r) panel[r * W + v] = col[r];
  }
}

template <int W>
void UnpackPanel(const double* panel, std::size_t n, int v0, double* dst) {
  for (int v = 0; v < W; ++v) {
    double* col = dst + static_cast<std::size_t>(v0 + v) * n;
    for (std::size_t r = 0; r < n; ++r) col[r] = panel[r * W + v];
  }
}

// y(:, v0 .. v0+W-1) = A·x(:, v0 .. v0+W-1): each row gathers into W accumulators.
template <int W>
void UmvPanel(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
              std::size_t numRows, std::size_t numCols, int v0, std::vector<double>& panel) {
  if (W == 1) {
    const double* xv = x + static_cast<std::size_t>(v0) * numCols;
    double* yv = y + static_cast<std::size_t>(v0) * numRows;
    for (std::size_t r = 0; r < numRows; ++r) {
      double acc = 0.0;
      for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) acc += values[p] * xv[colIdx[p]];
      yv[r] = acc;
    }
    return;
  }
  double* xp = panel.data();
  PackPanel<W>(x, numCols, v0, xp);
  for (std::size_t r = 0; r < numRows; ++r) {
    double acc[W] = {};
    for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) {
      const double a = values[p];
      const double* xr = xp + static_cast<std::size_t>(colIdx[p]) * W;
      for (int v = 0; v < W; ++v) acc[v] += a * xr[v];
    }
    for (int v = 0; v < W; ++v) y[static_cast<std::size_t>(v0 + v) * numRows + r] = acc[v];
  }
}

// y(:, v0 .. v0+W-1) = sum over listed rows i of A(row(i), :)ᵀ·x(i, v0 .. v0+W-1), scattering into a zeroed panel.
// row(i) is i for the plain transposed product and idx[i] for the gathered one.
template <int W, typename RowOf>
void UmtvPanel(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
               std::size_t numXRows, std::size_t numCols, int v0, RowOf rowOf, std::vector<double>& xPanel,
               std::vector<double>& yPanel) {
  if (W == 1) {
    const double* xv = x + static_cast<std::size_t>(v0) * numXRows;
    double* yv = y + static_cast<std::size_t>(v0) * numCols;
    for (std::size_t c = 0; c < numCols; ++c) yv[c] = 0.0;
    for (std::size_t i = 0; i < numXRows; ++i) {
      const std::size_t r = rowOf(i);
      const double xr = xv[i];
      for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) yv[colIdx[p]] += values[p] * xr;
    }
    return;
  }
  double* xp = xPanel.data();
  double* yp = yPanel.data();
  PackPanel<W>(x, numXRows, v0, xp);
  for (std::size_t q = 0; q < numCols * W; ++q) yp[q] = 0.0;
  for (std::size_t i = 0; i < numXRows; ++i) {
    const std::size_t r = rowOf(i);
    const double* xr = xp + i * W;
    for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) {
      const double a = values[p];
      double* yc = yp + static_cast<std::size_t>(colIdx[p]) * W;
      for (int v = 0; v < W; ++v) yc[v] += a * xr[v];
    }
  }
  UnpackPanel<W>(yp, numCols, v0, y);
}

// Walks the vectors in panels of kPanel, then 4, 2 and 1 for the remainder.
template <typename PanelFn>
void ForEachPanel(int numVectors, PanelFn fn) {
  int v0 = 0;
  for (; v0 + kPanel <= numVectors; v0 += kPanel) fn.template operator()<kPanel>(v0);
  if (v0 + 4 <= numVectors) fn.template operator()<4>(v0), v0 += 4;
  if (v0 + 2 <= numVectors) fn.template operator()<2>(v0), v0 += 2;
  if (v0 < numVectors) fn.template operator()<1>(v0);
}

struct Identity {
  std::size_t operator()(std::size_t i) const { return i; }
};

struct Listed {
  const unsigned* idx;
  std::size_t operator()(std::size_t i) const { return idx[i]; }
};

struct UmvPanels {
  const double* values;
  const double* x;
  const unsigned* rowStarts;
  const int* colIdx;
  double* y;
  std::size_t numRows, numCols;
  std::vector<double>* panel;
  template <int W>
  void operator()(int v0) const {
    UmvPanel<W>(values, x, rowStarts, colIdx, y, numRows, numCols, v0, *panel);
  }
};

template <typename RowOf>
struct UmtvPanels {
  const double* values;
  const double* x;
  const unsigned* rowStarts;
  const int* colIdx;
  double* y;
  std::size_t numXRows, numCols;
  RowOf rowOf;
  std::vector<double>* xPanel;
  std::vector<double>* yPanel;
  template <int W>
  void operator()(int v0) const {
    UmtvPanel<W>(values, x, rowStarts, colIdx, y, numXRows, numCols, v0, rowOf, *xPanel, *yPanel);
  }
};

template <typename RowOf>
void Umtv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
          std::size_t numXRows, std::size_t numCols, int numVectors, RowOf rowOf) {
  std::vector<double> xPanel, yPanel;
  if (numVectors > 1) {
    xPanel.resize(numXRows * kPanel);
    yPanel.resize(numCols * kPanel);
  }
  ForEachPanel(numVectors,
               UmtvPanels<RowOf>{values, x, rowStarts, colIdx, y, numXRows, numCols, rowOf, &xPanel, &yPanel});
}

}  // namespace

extern "C" {

void blac_sparse_umv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
                     const int* numRows, const int* numCols, const int* numVectors) {
  if (*numRows <= 0 || *numVectors <= 0) return;
  const std::size_t nr = static_cast<std::size_t>(*numRows);
  const std::size_t nc = *numCols > 0 ? static_cast<std::size_t>(*numCols) : 0;
  std::vector<double> panel;
  if (*numVectors > 1) panel.resize(nc * kPanel);
  ForEachPanel(*numVectors, UmvPanels{values, x, rowStarts, colIdx, y, nr, nc, &panel});
}

void blac_sparse_umtv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
                      const int* numRows, const int* numCols, const int* numVectors) {
  if (*numCols <= 0 || *numVectors <= 0) return;
  const std::size_t nr = *numRows > 0 ? static_cast<std::size_t>(*numRows) : 0;
  Umtv(values, x, rowStarts, colIdx, y, nr, static_cast<std::size_t>(*numCols), *numVectors, Identity{});
}

void blac_sparse_sparse_umtv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx,
                             double* y, const int* numIdx, const int* numCols, const int* numVectors,
                             const unsigned* idx) {
  if (*numCols <= 0 || *numVectors <= 0) return;
  const std::size_t ni = *numIdx > 0 ? static_cast<std::size_t>(*numIdx) : 0;
  Umtv(values, x, rowStarts, colIdx, y, ni, static_cast<std::size_t>(*numCols), *numVectors, Listed{idx});
}

}  // extern "C"
