// The main job, end to end as far as the library goes today: start the module, build two matrices,
// project the stiffness onto a basis through the kernels, check the product against plain loops, solve the
// reduced eigenproblem and print it all.
#include <cmath>
#include <cstdio>

#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxCoreModule.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"

namespace {

void PrintMatrix(const char* name, const QORMtxMatrix& m) {
  std::printf("%s (%d x %d)\n", name, m.NumberOfRows(), m.NumberOfColumns());
  char buf[32];
  for (int i = 0; i < m.NumberOfRows(); ++i) {
    for (int j = 0; j < m.NumberOfColumns(); ++j) std::printf(" %s", QORMtxUtilities::DoubleToChar(m.value(i, j), buf, 1e-30, 4));
    std::printf("\n");
  }
}

}  // namespace

int main() {
  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  QORLapackHooks_Install();  // the dispatch layer has no eigen solver of its own

  // A small stiffness-like tridiagonal matrix and a basis of three smooth vectors.
  const int n = 6, k = 3;
  QORMtxMatrix K(n, n, QORMtxMatrix::SYMM);
  K = 0.0;
  for (int i = 0; i < n; ++i) {
    K.value(i, i) = 2.0;
    if (i + 1 < n) K.value(i, i + 1) = K.value(i + 1, i) = -1.0;
  }
  QORMtxMatrix B(n, k, QORMtxMatrix::UNKNOWN);
  for (int j = 0; j < k; ++j)
    for (int i = 0; i < n; ++i) B.value(i, j) = std::sin((j + 1) * M_PI * (i + 1) / (n + 1));

  QORMtxMatrix T(n, k, QORMtxMatrix::UNKNOWN);
  T.Multiply(K, B, false);            // T = K·B
  QORMtxMatrix C(k, k, QORMtxMatrix::SYMM);
  B.TransposeMultiply(T, C, 0, 0);    // C = Bᵀ·K·B

  double maxErr = 0.0;
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b) {
      double ref = 0.0;
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) ref += B.value(i, a) * K.value(i, j) * B.value(j, b);
      maxErr = std::fmax(maxErr, std::fabs(ref - C.value(a, b)));
    }

  PrintMatrix("K", K);
  PrintMatrix("B", B);
  PrintMatrix("C = B^T K B", C);
  std::printf("largest difference from plain loops: %.3e\n", maxErr);

  // Reduced eigenproblem C·y = λ·Mr·y with the projected unit mass Mr = Bᵀ·B. The basis spans eigenvectors of K
  // (sine modes), so the reduced eigenvalues are K's lowest: 2 − 2·cos(jπ/(n + 1)).
  QORMtxMatrix Mr(k, k, QORMtxMatrix::SYMM);
  B.TransposeMultiply(B, Mr, 0, 0);
  QORMtxMatrix Cs(C), E, X;  // the solver condenses in place: keep C for the report
  const int status = QORMtxBLA::EigenSolveGeneral(Cs, Mr, E, X, 0.0, 0.0, 0);
  double maxEigErr = status == 0 && E.NumberOfRows() == k ? 0.0 : 1.0;
  std::printf("reduced eigenproblem: status %d, %d eigenvalues\n", status, E.NumberOfRows());
  for (int j = 0; j < E.NumberOfRows(); ++j) {
    const double exact = 2.0 - 2.0 * std::cos((j + 1) * M_PI / (n + 1));
    std::printf("  lambda %d = %.12f (exact %.12f)\n", j + 1, E.Values()[j], exact);
    maxEigErr = std::fmax(maxEigErr, std::fabs(E.Values()[j] - exact));
  }
  std::printf("largest eigenvalue error: %.3e\n", maxEigErr);

  QORMtxCoreModule_finalize(tally);
  return maxErr < 1e-12 && maxEigErr < 1e-12 ? 0 : 1;
}
