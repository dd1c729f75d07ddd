// A cantilever block of trilinear hexahedra (linear elastic, 3 unknowns per node, clamped at x = 0): the mesh, the
// element matrices, the assembly of stiffness K and consistent mass M with degree-of-freedom ordinals, and the
// trilinear interpolation from a coarser mesh of the same block. Header-only, on the public headers.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "QORMtxSparseMatrix.h"

namespace qormtx_cantilever {

/// \brief The block [0, lx] × [0, ly] × [0, lz] cut into nx × ny × nz equal bricks; steel by default.
///
/// Nodes are numbered with x slowest, so the clamped face x = 0 holds the first (ny+1)(nz+1) nodes. Degree of
/// freedom d (0, 1, 2 = x, y, z) of node n has the ordinal 3n + d over the whole mesh; the matrices hold only the
/// free nodes, each at row 3·(n − clamped nodes) + d.
struct Block {
  int nx = 4, ny = 1, nz = 1;
  double lx = 4.0, ly = 1.0, lz = 1.0;  // m
  double E = 210e9, nu = 0.3, rho = 7850.0;

  /// \brief m elements across, slender·m along (the block as many metres long as it is slender): about
  /// 3·slender·m³ unknowns (12·m³ for the default 4).
  static Block Across(int m, int slender = 4) {
    Block b;
    b.nx = slender * m;
    b.ny = b.nz = m;
    b.lx = slender;
    return b;
  }
  int NumNodes() const { return (nx + 1) * (ny + 1) * (nz + 1); }
  int FaceNodes() const { return (ny + 1) * (nz + 1); }
  int NumDofs() const { return 3 * (NumNodes() - FaceNodes()); }
  int Node(int i, int j, int k) const { return (i * (ny + 1) + j) * (nz + 1) + k; }
  double hx() const { return lx / nx; }
  double hy() const { return ly / ny; }
  double hz() const { return lz / nz; }
};

/// \brief Element stiffness and consistent mass of one brick (24 × 24, column-major, unknown 3a + d for local node
/// a = 4·ax + 2·ay + az), integrated exactly by 2 × 2 × 2 Gauss points.
inline void ElementMatrices(const Block& b, std::array<double, 576>& Ke, std::array<double, 576>& Me) {
  Ke.fill(0.0);
  Me.fill(0.0);
  const double h[3] = {b.hx(), b.hy(), b.hz()};
  const double lam = b.E * b.nu / ((1 + b.nu) * (1 - 2 * b.nu)), mu = b.E / (2 * (1 + b.nu));
  const double g = 1.0 / std::sqrt(3.0), w = h[0] * h[1] * h[2] / 8.0;  // Gauss weight × Jacobian
  for (int q = 0; q < 8; ++q) {
    const double xi[3] = {(q & 4 ? g : -g), (q & 2 ? g : -g), (q & 1 ? g : -g)};
    double N[8], dN[8][3];
    for (int a = 0; a < 8; ++a) {
      const double s[3] = {(a & 4 ? 1.0 : -1.0), (a & 2 ? 1.0 : -1.0), (a & 1 ? 1.0 : -1.0)};
      const double f[3] = {1 + s[0] * xi[0], 1 + s[1] * xi[1], 1 + s[2] * xi[2]};
      N[a] = f[0] * f[1] * f[2] / 8.0;
      for (int c = 0; c < 3; ++c) dN[a][c] = s[c] * f[(c + 1) % 3] * f[(c + 2) % 3] / 8.0 * 2.0 / h[c];
    }
    for (int a = 0; a < 8; ++a)
      for (int bb = 0; bb < 8; ++bb) {
        const double m = b.rho * N[a] * N[bb] * w;
        for (int d = 0; d < 3; ++d) Me[(3 * bb + d) * 24 + 3 * a + d] += m;
        // Isotropic elasticity: K_ab(d, e) = lam·∂d Na ∂e Nb + mu·∂e Na ∂d Nb + mu·δde·∇Na·∇Nb.
        const double dot = dN[a][0] * dN[bb][0] + dN[a][1] * dN[bb][1] + dN[a][2] * dN[bb][2];
        for (int d = 0; d < 3; ++d)
          for (int e = 0; e < 3; ++e)
            Ke[(3 * bb + e) * 24 + 3 * a + d] +=
                w * (lam * dN[a][d] * dN[bb][e] + mu * dN[a][e] * dN[bb][d] + (d == e ? mu * dot : 0.0));
      }
  }
}

/// \brief Assembles K and M of the free nodes in symmetric storage (lower triangle, every position added once) and
/// gives both the degree-of-freedom ordinals. progress(fraction) is called now and then.
inline void Assemble(const Block& b, QORMtxSparseMatrix& K, QORMtxSparseMatrix& M,
                     const std::function<void(double)>& progress = {}) {
  std::array<double, 576> Ke, Me;
  ElementMatrices(b, Ke, Me);
  const int n = b.NumDofs(), face = b.FaceNodes();
  QORMtxSparseMatrix* mats[2] = {&K, &M};
  const std::array<double, 576>* elems[2] = {&Ke, &Me};
  // Room for every entry once: a row couples with its own node and 13 lower neighbour nodes, in all three
  // directions for K and in its own direction for M.
  const int perRow[2] = {42, 14};
  for (int m = 0; m < 2; ++m) {
    mats[m]->Reset(n, n);
    mats[m]->ReserveEntries(static_cast<int>(std::min<long long>(static_cast<long long>(perRow[m]) * n, 2000000000LL)));
  }
  // Node by node: the 3 × 3 block with each lower neighbour sums the element blocks of the bricks both share.
  for (int i = 1; i <= b.nx; ++i) {
    if (progress && i % std::max(1, b.nx / 50) == 0) progress(static_cast<double>(i) / b.nx);
    for (int j = 0; j <= b.ny; ++j)
      for (int k = 0; k <= b.nz; ++k) {
        const int node = b.Node(i, j, k), row = 3 * (node - face);
        for (int di = -1; di <= 0; ++di)
          for (int dj = -1; dj <= 1; ++dj)
            for (int dk = -1; dk <= 1; ++dk) {
              const int mi = i + di, mj = j + dj, mk = k + dk;
              if (mi < 1 || mj < 0 || mj > b.ny || mk < 0 || mk > b.nz) continue;
              const int other = b.Node(mi, mj, mk);
              if (other > node) continue;
              const int col = 3 * (other - face);
              for (int m = 0; m < 2; ++m) {
                double block[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
                for (int ex = std::max(i, mi) - 1; ex <= std::min(i, mi); ++ex)
                  for (int ey = std::max(j, mj) - 1; ey <= std::min(j, mj); ++ey)
                    for (int ez = std::max(k, mk) - 1; ez <= std::min(k, mk); ++ez) {
                      if (ex < 0 || ex >= b.nx || ey < 0 || ey >= b.ny || ez < 0 || ez >= b.nz) continue;
                      const int a = 4 * (i - ex) + 2 * (j - ey) + (k - ez);
                      const int c = 4 * (mi - ex) + 2 * (mj - ey) + (mk - ez);
                      for (int d = 0; d < 3; ++d)
                        for (int e = 0; e < 3; ++e) block[3 * d + e] += (*elems[m])[(3 * c + e) * 24 + 3 * a + d];
                    }
                for (int d = 0; d < 3; ++d)
                  for (int e = 0; e < 3; ++e)
                    if (row + d >= col + e && block[3 * d + e] != 0.0)
                      mats[m]->AddData(row + d, col + e, block[3 * d + e], false);
              }
            }
      }
  }
  std::vector<int> ordinals(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) ordinals[r] = 3 * face + r;
  for (QORMtxSparseMatrix* A : mats) {
    A->EndAssembly(true);
    A->SetOrdinals(ordinals.data(), ordinals.data());
  }
  if (progress) progress(1.0);
}

/// \brief The value at fine node (i, j, k) of the trilinear shape function of node (ci, cj, ck) of a coarse block
/// whose bricks are whole multiples of the fine ones. The fine trilinear field that interpolates a coarse one
/// equals it, so a basis of these functions spans the coarse model inside the fine one.
inline double CoarseShape(const Block& fine, const Block& coarse, int i, int j, int k, int ci, int cj, int ck) {
  const double x[3] = {i * fine.hx() / coarse.hx(), j * fine.hy() / coarse.hy(), k * fine.hz() / coarse.hz()};
  const int c[3] = {ci, cj, ck};
  double v = 1.0;
  for (int d = 0; d < 3 && v != 0.0; ++d) v *= std::max(0.0, 1.0 - std::fabs(x[d] - c[d]));
  return v;
}

}  // namespace qormtx_cantilever
