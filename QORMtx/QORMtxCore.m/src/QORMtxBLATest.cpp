// QORMtxBLA::Test: a demonstration run of the dense operations on fixed small matrices, printed on standard error.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "QORBasVector.h"
#include "QORMtxBLA.h"
#include "QORMtxBlaUtilities.h"
#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxEigenSolvers.h"
#include "QORMtxMatrix.h"
#include "QORMtxReImMatrix.h"
#include "QORMtxSparseMatrix.h"

namespace {

using B = QORMtxBLA;
using CM = QORMtxComplexMatrix;

void Say(const char* text) { std::fprintf(stderr, "%s", text); }
void Show(const QORMtxMatrix& m) { m.Print(nullptr, 12, 5, 0.0, nullptr); }

// rows × cols with entry (i, j) = f(i, j).
template <class F>
QORMtxMatrix Real(int rows, int cols, F f) {
  QORMtxMatrix m(rows, cols);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) m.Values()[i + rows * j] = f(i, j);
  return m;
}
template <class F>
CM Complex(int rows, int cols, F f, CM::MtxType type = CM::UNKNOWN) {
  CM m(rows, cols, type);
  const int n = type == CM::DIAG ? rows : rows * cols;
  for (int k = 0; k < n; ++k) {
    const int i = type == CM::DIAG ? k : k % rows, j = type == CM::DIAG ? k : k / rows;
    const QORMtxComplex z = f(i, j);
    m.Values()[2 * k] = z.Re();
    m.Values()[2 * k + 1] = z.Im();
  }
  return m;
}

void RealProduct() {
  const QORMtxMatrix A = Real(2, 3, [](int i, int j) { return 1.0 + i + 2.0 * j; });
  const QORMtxMatrix Bm = Real(3, 2, [](int i, int j) { return i == j ? 1.0 : 0.5; });
  QORMtxMatrix C(2, 2);
  B::Multiply(1.0, A, B::NOOP, Bm, B::NOOP, 0.0, C, B::UNKNOWN, 0);
  Say("Matrix A\n");
  Show(A);
  Say("Matrix B\n");
  Show(Bm);
  Say("Matrix C\n");
  Show(C);
}

// C = alpha·A·B + beta·C in one complex storage, with its three prints.
template <class M>
void ComplexProduct(const char* kind, const QORMtxComplex& alpha, const M& A, const M& Bm, const QORMtxComplex& beta) {
  M C(2, 2);
  B::Multiply(alpha, A, B::NOOP, Bm, B::NOOP, beta, C, B::UNKNOWN, 0);
  const M* shown[] = {&A, &Bm, &C};
  const char* names[] = {"A", "B", "C=AB"};
  for (int k = 0; k < 3; ++k) {
    std::fprintf(stderr, "\n%s %s\n", kind, names[k]);
    shown[k]->Print();
  }
}

void ComplexProducts() {
  const double xa = 1.0, ya = 0.5, xb = 0.0, yb = 0.0;
  std::fprintf(stderr, "\n xa=%f ya=%f xb=%f yb=%f \n\n", xa, ya, xb, yb);
  const CM A = Complex(2, 2, [](int i, int j) { return QORMtxComplex(1.0 + i, j - 1.0); });
  const CM Bm = Complex(2, 2, [](int i, int j) { return QORMtxComplex(i == j ? 2.0 : 0.0, 1.0); });
  const QORMtxComplex alpha(xa, ya), beta(xb, yb);
  ComplexProduct("QORMtxComplexMatrix", alpha, A, Bm, beta);
  ComplexProduct("QORMtxReImMatrix", alpha, QORMtxReImMatrix(A), QORMtxReImMatrix(Bm), beta);
}

void RealSolve() {
  QORMtxMatrix A = Real(3, 3, [](int i, int j) { return i == j ? 4.0 : 1.0 / (1 + i + j); });
  const QORMtxMatrix Bm = Real(3, 1, [](int i, int) { return 1.0 + i; });
  QORMtxMatrix X;
  B::Solve(A, Bm, X, 0);
  Say("\nQORMtxMatrix X=A^(-1)*B\n");
  Show(X);
}

void ComplexSolve(CM::MtxType type) {
  CM A = Complex(
      3, 3, [](int i, int j) { return i == j ? QORMtxComplex(4.0, 1.0) : QORMtxComplex(1.0 / (1 + i + j), 0.25); },
      type);
  const CM Bm = Complex(3, 1, [](int i, int) { return QORMtxComplex(1.0 + i, -1.0); });
  CM X;
  B::Solve(A, Bm, X, 0);
  Say("\nQORMtxComplexMatrix X=A^(-1)*B\n");
  X.Print();
}

void ComplexEigen() {
  CM A = Complex(3, 3, [](int i, int j) { return QORMtxComplex(i == j ? 2.0 + i : 0.5, i < j ? 0.25 : 0.0); });
  Say("Matrix A\n");
  A.Print();
  CM E, QL, QR;
  const int status = B::EigenSolve(A, E, QL, QR, 0);
  std::fprintf(stderr, "status = %d\n", status);
  Say("Matrix E\n");
  E.Print();
  Say("Matrix QL\n");
  QL.Print();
  Say("Matrix QR\n");
  QR.Print();
}

// A hook with the dispatch layer's scaling contract, by plain loops, to show the registered path.
void LoopScale(int n, int m, char inva, char sidea, double alpha, const double* a, const double* Bv, int ldb,
               double beta, double* C, int ldc, int, int) {
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < n; ++i) {
      const double d = sidea == 'L' ? a[i] : a[j];
      const double s = inva == 'I' ? 1.0 / d : d;
      C[i + ldc * j] = alpha * s * Bv[i + ldb * j] + (beta == 0.0 ? 0.0 : beta * C[i + ldc * j]);
    }
}

void DispatchScale() {
  const int n = 3;
  const QORMtxMatrix A = Real(n, n, [](int i, int j) { return i == j ? 2.0 + i : 0.5; });
  const QORMtxMatrix Bm = Real(n, n, [](int i, int j) { return 1.0 + i * n + j; });
  QORMtxMatrix C = Real(n, n, [](int, int) { return 1.0; });
  QORMtxBlaUtilities::Multiply('N', 'N', n, n, n, 2.0, A.Values(), n, Bm.Values(), n, 0.5, C.Values(), n, 0, 0);
  Say("\nQORMtxMatrix C= alpha*A*B + beta*C; (external)\n");
  Show(C);
  const std::vector<double> diag = {2.0, 4.0, 8.0};
  const QORMtxBlaUtilities::ScaleFunc saved = QORMtxBlaUtilities::m_scale;
  for (bool external : {false, true}) {
    QORMtxBlaUtilities::m_scale = external ? &LoopScale : nullptr;
    QORMtxMatrix D = Real(n, n, [](int, int) { return 1.0; });
    QORMtxBlaUtilities::Scale(n, n, 'I', 'L', 2.0, diag.data(), Bm.Values(), n, 0.5, D.Values(), n, 0, 0);
    Say(external ? "\nQORMtxMatrix C= alpha*A^(-1)*B + beta*C; (external)\n"
                 : "\nQORMtxMatrix C= alpha*A^(-1)*B + beta*C; (built-in)\n");
    Show(D);
  }
  QORMtxBlaUtilities::m_scale = saved;
}

void SparseBlocks(bool more) {
  QORMtxSparseMatrix A;
  A.BeginAssembly(true);
  for (int i = 0; i < 5; ++i) {
    A.AddData(i, i, 10.0 + i, true);
    if (i > 0) A.AddData(i, i - 1, -1.0 * i, true);
    if (i < 4) A.AddData(i, 4, 0.5 * (i + 1), true);
  }
  A.EndAssembly(false);
  QORBasVector<int> rows(2), cols(3);
  rows[0] = 1, rows[1] = 3;
  cols[0] = 0, cols[1] = 2, cols[2] = 4;
  QORMtxSparseMatrix Bm;
  A.GetBlock(rows, cols, Bm);
  A.Print("A", "QORMtxSparseMatrix_A.debug", 6, 0.0);
  Bm.Print("B = A(1 3, 0 2 4)", "QORMtxSparseMatrix_B.debug", 6, 0.0);
  if (!more) return;
  QORMtxSparseMatrix C, Ct;
  A.GetBlock(cols, rows, C);
  C.Transpose(Ct);
  C.Print("C = A(0 2 4, 1 3)", "QORMtxSparseMatrix_C.debug", 6, 0.0);
  Ct.Print("Ct", "QORMtxSparseMatrix_Ct.debug", 6, 0.0);
}

// The library's own dense generalised solver in the eigen hook's shape, for runs without an installed kernel.
int DenseEigenSolve(char, int n, double* K, double* M, double bound1, double bound2, bool, int, int& numFound,
                    double* eigenvalues, double* eigenvectors, FILE*, int) {
  if (!M) return -1;
  return QORMtxEigenSolvers::Generalized(n, K, M, numFound, eigenvalues, eigenvectors, bound1, bound2);
}

void MasslessEigen() {
  Say("\n***** QORMtxBLA::EigenSolveLM *****\n");
  Say("\n***** Correct eigenvalues: 1; 3 *****\n");
  // The third unknown has stiffness but no mass; condensing it leaves diag(2 - 1, 3).
  static const double a[3][3] = {{2, 0, 1}, {0, 3, 0}, {1, 0, 1}}, m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}};
  QORMtxMatrix A = Real(3, 3, [](int i, int j) { return a[i][j]; });
  QORMtxMatrix M = Real(3, 3, [](int i, int j) { return m[i][j]; });
  Say("\nMATRIX A\n");
  Show(A);
  Say("\nMATRIX B\n");
  Show(M);
  const QORMtxBlaUtilities::EigenSolveFunc saved = QORMtxBlaUtilities::m_eigenSolve;
  if (!saved) QORMtxBlaUtilities::m_eigenSolve = &DenseEigenSolve;
  QORMtxMatrix E, X;
  const int status = B::EigenSolveGeneral(A, M, E, X, -1.0e30, 1.0e30, 0);
  QORMtxBlaUtilities::m_eigenSolve = saved;
  std::fprintf(stderr, "\nstatus=%i\n", status);
  Say("\nMATRIX E\n");
  Show(E);
}

}  // namespace

void QORMtxBLA::Test() {
  int value = 0;
  // An unset variable runs as 0, like one that does not parse.
  if (const char* env = std::getenv("ZUK_MTX_TEST")) std::sscanf(env, "%d", &value);
  Say("QORMtxBLA::Test - Start\n\n");
  static const struct {
    int value;
    const char* heading;
    void (*run)();
  } kRuns[] = {
      {1, "\n***** QORMtxBLA: Real matrix multiplication test *****\n\n", RealProduct},
      {2, "\n***** QORMtxBLA:  Complex matrix multiplication test *****\n", ComplexProducts},
      {3, "\n***** QORMtxBLA:  Real system of equations solver test *****\n", RealSolve},
      {4, "\n***** Complex system of equations solver test (symmetric solver)*****\n", [] { ComplexSolve(CM::SYMM); }},
      {5, "\n***** Complex eigensolver test*****\n", ComplexEigen},
      {6, "\n***** Complex system of equations solver test (unsymmetric solver)*****\n",
       [] { ComplexSolve(CM::UNKNOWN); }},
      {7, "\n***** Complex system of equations solver test (diagonal solver)*****\n", [] { ComplexSolve(CM::DIAG); }},
      {8, "\n***** QORMtxBlaUtilities::Scale test *****\n", DispatchScale},
      {9, "\n***** QORMtxSparseMatrix::GetBlock test *****\n", [] { SparseBlocks(false); }},
      {10, "\n***** QORMtxSparseMatrix::GetBlock test *****\n", [] { SparseBlocks(true); }},
      {11, "\n***** Test for solving eigenproblem with Lagrange multipliers *****\n", MasslessEigen},
  };
  bool ran = false;
  for (const auto& run : kRuns) {
    if (run.value != value) continue;
    Say(run.heading);
    run.run();
    ran = true;
  }
  if (!ran) std::fprintf(stderr, "*** ERROR: ZUK_MTX_TEST= %i is not supported in nQORMtxBLA::Test\n", value);
  Say("\n\nQORMtxBLA::Test - End\n");
}
