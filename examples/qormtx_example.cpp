// The main job end to end: assemble a sparse stiffness matrix, store a basis in a database file, project the
// stiffness and the mass onto it (Bᵀ·K·B, Bᵀ·B), solve the reduced eigenproblem and print a report.
//
// The structure is a square membrane on an N × N grid of free nodes with a fixed rim (the five-point stiffness).
// The basis is the lowest sine modes of the grid, which are exact eigenvectors of K, so the reduced eigenvalues
// must equal K's own: (2 − 2cos(pπ/(N+1))) + (2 − 2cos(qπ/(N+1))). The program exits 1 if they do not.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxCoreModule.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxTable.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "aio_ostream.h"

namespace {

constexpr int kGrid = 40;              // free nodes per side: 1600 unknowns
constexpr int kModesPerSide = 3;       // basis: p, q = 1..3, nine modes
constexpr int kChunkRows = 256;        // stored basis chunks: several row blocks per column
constexpr double kTolerance = 1e-10;   // on eigenvalues of order 0.01 .. 0.1

int Node(int i, int j) { return i * kGrid + j; }

double ChainEigenvalue(int p) { return 2.0 - 2.0 * std::cos(p * M_PI / (kGrid + 1)); }

// Springs between neighbouring nodes, and to the fixed rim, added element by element as an assembly would:
// every shared diagonal position receives several contributions, which the assembly sums.
void AssembleStiffness(QORMtxSparseMatrix& K) {
  const int n = kGrid * kGrid;
  K.Reset(n, n);
  K.ReserveEntries(6 * n);
  for (int i = 0; i < kGrid; ++i)
    for (int j = 0; j < kGrid; ++j) {
      const int a = Node(i, j);
      // Right and lower neighbours: a two-node spring [1 −1; −1 1]; the rim: a grounded spring on one node.
      const int neighbours[2][2] = {{i, j + 1}, {i + 1, j}};
      for (const auto& nb : neighbours) {
        if (nb[0] < kGrid && nb[1] < kGrid) {
          const int b = Node(nb[0], nb[1]);
          K.AddData(a, a, 1.0, false);
          K.AddData(b, b, 1.0, false);
          K.AddData(std::max(a, b), std::min(a, b), -1.0, false);  // symmetric storage: the lower triangle
        } else {
          K.AddData(a, a, 1.0, false);
        }
      }
      if (i == 0) K.AddData(a, a, 1.0, false);
      if (j == 0) K.AddData(a, a, 1.0, false);
    }
  K.EndAssembly(true);
}

// Dense symmetric copy of a product that the stored-operand path returns without a symmetry type.
QORMtxMatrix Symmetric(const QORMtxMatrix& C) {
  const int k = C.NumberOfRows();
  QORMtxMatrix S(k, k, QORMtxMatrix::SYMM);
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b) S.value(a, b) = 0.5 * (C.value(a, b) + C.value(b, a));
  return S;
}

}  // namespace

int main() {
  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  QORLapackHooks_Install();  // the dispatch layer has no generalised eigen solver of its own

  const int n = kGrid * kGrid, k = kModesPerSide * kModesPerSide;
  QORMtxSparseMatrix K;
  AssembleStiffness(K);

  // The basis goes to a database file, as a solver's stored modes would; chunks of kChunkRows rows × 1 column.
  // The library's temporary directory, or the current one when none is set.
  const std::string tempDir = QORMtxUtilities::GetTempDirectory().str();
  const std::string dbPath = (tempDir.empty() ? std::string() : tempDir + "/") + "qormtx_example.h5";
  QORSimDatabase db;
  db.Create(dbPath.c_str());
  QORSimContext ctx(db.ContextID());
  const QORSimCSetID dofs = QORSimCollection(ctx.CreateCollection(n)).BiggestCSetID();
  const QORSimCSetID modes = QORSimCollection(ctx.CreateCollection(k)).BiggestCSetID();
  QORMtxDenseMatrix B(QORMtxUtilities::Create2DDistribution(dofs, modes, kChunkRows, 1));
  QORMtxDenseMatrix T(QORMtxUtilities::Create2DDistribution(dofs, modes, kChunkRows, 1));
  std::vector<double> exact(k);
  {
    QORMtxMatrix column(n, 1, QORMtxMatrix::UNKNOWN);
    for (int p = 1; p <= kModesPerSide; ++p)
      for (int q = 1; q <= kModesPerSide; ++q) {
        const int m = (p - 1) * kModesPerSide + (q - 1);
        for (int i = 0; i < kGrid; ++i)
          for (int j = 0; j < kGrid; ++j)
            column.value(Node(i, j), 0) =
                std::sin(p * M_PI * (i + 1) / (kGrid + 1)) * std::sin(q * M_PI * (j + 1) / (kGrid + 1));
        B.SetValues(0, n - 1, m, m, column);
        exact[m] = ChainEigenvalue(p) + ChainEigenvalue(q);
      }
  }
  std::sort(exact.begin(), exact.end());

  // Projection: T = K·B column block by column block through the store, then Bᵀ·T and Bᵀ·B with the stored B
  // streamed by row blocks.
  K.MultiplyDense(B, T, false);
  QORMtxMatrix Tc(n, k, QORMtxMatrix::UNKNOWN), Bc(n, k, QORMtxMatrix::UNKNOWN);
  T.GetValues(0, n - 1, 0, k - 1, Tc);
  B.GetValues(0, n - 1, 0, k - 1, Bc);
  QORMtxMatrix C(k, k, QORMtxMatrix::UNKNOWN), Mr(k, k, QORMtxMatrix::UNKNOWN);
  QORMtxBLA::Multiply(1.0, B, QORMtxBLA::TRANS, Tc, QORMtxBLA::NOOP, 0.0, C, QORMtxBLA::UNKNOWN, 0);
  QORMtxBLA::Multiply(1.0, B, QORMtxBLA::TRANS, Bc, QORMtxBLA::NOOP, 0.0, Mr, QORMtxBLA::UNKNOWN, 0);

  QORMtxMatrix Cs = Symmetric(C), Ms = Symmetric(Mr), E, X;
  const int status = QORMtxBLA::EigenSolveGeneral(Cs, Ms, E, X, 0.0, 0.0, 0);

  double maxErr = status == 0 && E.NumberOfRows() == k ? 0.0 : HUGE_VAL;
  {
    QORMtxDocument doc("Reduced eigenproblem of a fixed membrane", QORMtxReportEnum::TEXT, aio_cout);
    doc << ("stiffness: " + std::to_string(n) + " x " + std::to_string(n) + " sparse, " +
            std::to_string(K.NumberOfEntries()) + " stored entries (symmetric storage)")
               .c_str();
    doc.Endl();
    doc << ("basis: " + std::to_string(k) + " stored modes in " + dbPath + ", projected as B^T K B and B^T B").c_str();
    doc.Endl();
    doc << ("eigen solve status " + std::to_string(status)).c_str();
    doc.Endl();
    QORMtxTable t(doc, "", "  ");
    t.Format(6).Format(22).Format(22).Format(12).Precision(12);
    t.Head("mode").Head("eigenvalue").Head("exact").Head("error") << QORMtxTable::Endl;
    t.HeadLine() << QORMtxTable::Endl;
    for (int m = 0; m < E.NumberOfRows() && m < k; ++m) {
      const double err = std::fabs(E.Values()[m] - exact[m]);
      maxErr = std::fmax(maxErr, err);
      t.Out(m + 1).Out(E.Values()[m]).Out(exact[m]).Out(err) << QORMtxTable::Endl;
    }
  }
  std::printf("largest eigenvalue error: %.3e\n", maxErr);

  db.Close();
  std::remove(dbPath.c_str());
  QORMtxCoreModule_finalize(tally);
  return maxErr < kTolerance ? 0 : 1;
}
