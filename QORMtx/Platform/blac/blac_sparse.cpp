// blac sparse matrix-vector kernels: products of a 0-based CSR matrix with blocks of dense vectors.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "blac.h"

namespace {

// Several vectors are handled as panels of kPanel columns packed row by row (x[c·kPanel + v]): one stored entry
// then meets one contiguous run of kPanel values instead of kPanel cache lines, and works on all of them at once.
// The matrix is read once per panel; the last panel narrows (4, 2, 1) rather than running padded.
constexpr int kPanel = 8;

// Scratch whose data starts on a cache line, so that a panel row of kPanel doubles is one line, not two.
class Scratch {
 public:
  void Resize(std::size_t n) { m_store.resize(n + kLine); }
  double* data() {
    const std::size_t mis = reinterpret_cast<std::uintptr_t>(m_store.data()) % (kLine * sizeof(double));
    return m_store.data() + (mis ? kLine - mis / sizeof(double) : 0);
  }

 private:
  static constexpr std::size_t kLine = 8;  // doubles per 64-byte line
  std::vector<double> m_store;
};

// Copies columns v0 .. v0+W-1 of the column-major block src (n rows, leading dimension n) into the row-wise panel.
// Row by row: W sequential column streams in, one contiguous panel row out, so the panel is written once.
template <int W>
void PackPanel(const double* src, std::size_t n, int v0, double* panel) {
  const double* cols[W];
  for (int v = 0; v < W; ++v) cols[v] = src + static_cast<std::size_t>(v0 + v) * n;
  for (std::size_t r = 0; r < n; ++r)
    for (int v = 0; v < W; ++v) panel[r * W + v] = cols[v][r];
}

template <int W>
void UnpackPanel(const double* panel, std::size_t n, int v0, double* dst) {
  double* cols[W];
  for (int v = 0; v < W; ++v) cols[v] = dst + static_cast<std::size_t>(v0 + v) * n;
  for (std::size_t r = 0; r < n; ++r)
    for (int v = 0; v < W; ++v) cols[v][r] = panel[r * W + v];
}

// W doubles worked on together. With GCC and Clang they are held as W/2 two-lane vectors, the width every x86-64
// and AArch64 target has in registers (wider generic vectors would be split through the stack without AVX);
// elsewhere as a plain array. Loads and stores go through memcpy, so panel rows need no particular alignment.
template <int W>
struct Lanes {
#if defined(__GNUC__)
  typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
  static_assert(W % 2 == 0, "lanes come in pairs");
  Pair v[W / 2] = {};
  static Lanes Load(const double* p) {
    Lanes l;
    for (int k = 0; k < W / 2; ++k) std::memcpy(&l.v[k], p + 2 * k, sizeof(Pair));
    return l;
  }
  void Store(double* p) const {
    for (int k = 0; k < W / 2; ++k) std::memcpy(p + 2 * k, &v[k], sizeof(Pair));
  }
  void AddScaled(double a, const Lanes& x) {
    for (int k = 0; k < W / 2; ++k) v[k] += a * x.v[k];
  }
  double operator[](int i) const { return v[i / 2][i % 2]; }
#else
  double v[W] = {};
  static Lanes Load(const double* p) {
    Lanes l;
    for (int i = 0; i < W; ++i) l.v[i] = p[i];
    return l;
  }
  void Store(double* p) const {
    for (int i = 0; i < W; ++i) p[i] = v[i];
  }
  void AddScaled(double a, const Lanes& x) {
    for (int i = 0; i < W; ++i) v[i] += a * x.v[i];
  }
  double operator[](int i) const { return v[i]; }
#endif
};

// y(:, v0 .. v0+W-1) = A·x(:, v0 .. v0+W-1): each row gathers into W accumulators.
template <int W>
void UmvPanel(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
              std::size_t numRows, std::size_t numCols, int v0, Scratch& panel) {
  if constexpr (W == 1) {
    const double* xv = x + static_cast<std::size_t>(v0) * numCols;
    double* yv = y + static_cast<std::size_t>(v0) * numRows;
    for (std::size_t r = 0; r < numRows; ++r) {
      double acc = 0.0;
      for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) acc += values[p] * xv[colIdx[p]];
      yv[r] = acc;
    }
  } else {
    double* xp = panel.data();
    PackPanel<W>(x, numCols, v0, xp);
    for (std::size_t r = 0; r < numRows; ++r) {
      Lanes<W> acc;
      for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p)
        acc.AddScaled(values[p], Lanes<W>::Load(xp + static_cast<std::size_t>(colIdx[p]) * W));
      for (int v = 0; v < W; ++v) y[static_cast<std::size_t>(v0 + v) * numRows + r] = acc[v];
    }
  }
}

// y(:, v0 .. v0+W-1) = sum over listed rows i of A(row(i), :)ᵀ·x(i, v0 .. v0+W-1), scattering into a zeroed panel.
// row(i) is i for the plain transposed product and idx[i] for the gathered one.
template <int W, typename RowOf>
void UmtvPanel(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
               std::size_t numXRows, std::size_t numCols, int v0, RowOf rowOf, Scratch& xPanel, Scratch& yPanel) {
  if constexpr (W == 1) {
    const double* xv = x + static_cast<std::size_t>(v0) * numXRows;
    double* yv = y + static_cast<std::size_t>(v0) * numCols;
    for (std::size_t c = 0; c < numCols; ++c) yv[c] = 0.0;
    for (std::size_t i = 0; i < numXRows; ++i) {
      const std::size_t r = rowOf(i);
      const double xr = xv[i];
      for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) yv[colIdx[p]] += values[p] * xr;
    }
  } else {
    double* xp = xPanel.data();
    double* yp = yPanel.data();
    PackPanel<W>(x, numXRows, v0, xp);
    for (std::size_t q = 0; q < numCols * W; ++q) yp[q] = 0.0;
    for (std::size_t i = 0; i < numXRows; ++i) {
      const std::size_t r = rowOf(i);
      const Lanes<W> xr = Lanes<W>::Load(xp + i * W);
      for (unsigned p = rowStarts[r], e = rowStarts[r + 1]; p < e; ++p) {
        double* yc = yp + static_cast<std::size_t>(colIdx[p]) * W;
        Lanes<W> yr = Lanes<W>::Load(yc);
        yr.AddScaled(values[p], xr);
        yr.Store(yc);
      }
    }
    UnpackPanel<W>(yp, numCols, v0, y);
  }
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
  Scratch* panel;
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
  Scratch* xPanel;
  Scratch* yPanel;
  template <int W>
  void operator()(int v0) const {
    UmtvPanel<W>(values, x, rowStarts, colIdx, y, numXRows, numCols, v0, rowOf, *xPanel, *yPanel);
  }
};

template <typename RowOf>
void Umtv(const double* values, const double* x, const unsigned* rowStarts, const int* colIdx, double* y,
          std::size_t numXRows, std::size_t numCols, int numVectors, RowOf rowOf) {
  Scratch xPanel, yPanel;
  if (numVectors > 1) {
    xPanel.Resize(numXRows * kPanel);
    yPanel.Resize(numCols * kPanel);
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
  Scratch panel;
  if (*numVectors > 1) panel.Resize(nc * kPanel);
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
