// QORMtxIntPieces: arrays longer than the kernels' int counts handed over piece by piece.
#pragma once
#include <algorithm>
#include <climits>
#include <cstddef>

namespace qormtx_detail {
/// \brief Calls f(first, count) for consecutive pieces of at most INT_MAX of the n values, first being the index of
/// the piece's first value (an element index: a caller of interleaved complex values doubles it). n = 0 calls nothing.
template <class F>
void ForIntPieces(size_t n, F&& f) {
  const size_t kMax = INT_MAX;
  for (size_t first = 0; first < n; first += kMax) f(first, static_cast<int>(std::min(kMax, n - first)));
}
}  // namespace qormtx_detail
