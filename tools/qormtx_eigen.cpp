// qormtx_eigen: the lowest eigenvalues and frequencies of a stiffness and mass pair read from Matrix Market files.
//
//   qormtx_eigen K.mtx M.mtx [count]
//
// Solves K·x = λ·M·x densely (massless degrees of freedom of M are condensed out) and prints the lowest count
// eigenvalues with their frequencies sqrt(λ)/(2π) as a text table. Every fault of the input is reported on standard
// error as "qormtx_eigen: <file>: <problem>" with exit status 1; the library's fatal assertions are never reached
// through bad input, because each of their conditions is checked here first.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "QORBasVector.h"
#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxCoreModule.h"
#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxTable.h"
#include "aio_ostream.h"

namespace {

// K, M, the vectors and the kernel's copies are all n × n doubles: at 5000 that is about 1 GB in all, and the
// O(n³) solve takes minutes on a workstation. Larger models belong to an iterative solver on sparse storage.
constexpr int kMaxOrder = 5000;
constexpr int kDefaultCount = 10;
constexpr double kTwoPi = 6.283185307179586476925286766559;

const char kUsage[] =
    "usage: qormtx_eigen K.mtx M.mtx [count]\n"
    "\n"
    "Reads a symmetric stiffness matrix K and mass matrix M in Matrix Market form, solves K x = lambda M x\n"
    "densely (zero mass columns are condensed out) and prints the lowest count eigenvalues (default 10) with\n"
    "their frequencies sqrt(lambda)/(2 pi). Both matrices must be square, symmetric, of the same order and of\n"
    "order 1 to 5000.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input is unusable or the eigen solve fails (message on stderr).\n";

// A problem with the input, reported once by main.
struct Failure {
  std::string message;
};

Failure FileFailure(const char* path, const std::string& what) { return Failure{std::string(path) + ": " + what}; }

std::string Shape(const QORMtxSparseMatrix& S) {
  return std::to_string(S.NumberOfRows()) + " x " + std::to_string(S.NumberOfColumns());
}

// count: a whole number from 1 up; the upper end is clipped later to the pairs found.
bool ParseCount(const char* text, int& count) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || v < 1 || v > 1000000000L) return false;
  count = static_cast<int>(v);
  return true;
}

// The size line's two leading numbers, when the file has one that reads as such; anything else is left to the
// reader's own messages. The reader sizes its row arrays from this line, so an order far beyond the dense limit
// is refused before it can claim gigabytes.
bool PeekShape(const char* path, long long& rows, long long& cols) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char line[1024];
  bool found = false, banner = true;
  while (std::fgets(line, sizeof line, f)) {
    if (banner) {  // the banner line, then comments and blank lines
      banner = false;
      continue;
    }
    if (line[0] == '%' || std::strspn(line, " \t\r\n") == std::strlen(line)) continue;
    found = std::sscanf(line, "%lld %lld", &rows, &cols) == 2;
    break;
  }
  std::fclose(f);
  return found;
}

// Reads path and checks everything the dense solve requires of one operand.
void ReadOperand(const char* path, QORMtxSparseMatrix& S) {
  long long rows = 0, cols = 0;
  if (PeekShape(path, rows, cols) && (rows > kMaxOrder || cols > kMaxOrder)) {
    if (rows != cols)
      throw FileFailure(path, "the matrix is " + std::to_string(rows) + " x " + std::to_string(cols) + ", not square");
    throw FileFailure(
        path, "order " + std::to_string(rows) + " exceeds the dense solver's limit of " + std::to_string(kMaxOrder));
  }
  std::string error;
  if (!QORMtxMatrixMarket::Read(path, S, &error)) throw Failure{error};  // the reader's text names the file
  if (!S.IsSquare()) throw FileFailure(path, "the matrix is " + Shape(S) + ", not square");
  if (S.NumberOfRows() == 0) throw FileFailure(path, "the matrix is empty (order 0)");
  if (S.NumberOfRows() > kMaxOrder)
    throw FileFailure(path, "order " + std::to_string(S.NumberOfRows()) + " exceeds the dense solver's limit of " +
                                std::to_string(kMaxOrder));
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (!std::isfinite(e.m_value))
      throw FileFailure(path, "entry (" + std::to_string(e.m_row + 1) + ", " + std::to_string(e.m_col + 1) +
                                  ") is not a finite number");
  }
  // The eigen kernel reads one triangle only; an unsymmetric file would be solved as a different matrix.
  if (!S.IsSymmetric()) throw FileFailure(path, "the matrix is not symmetric");
}

// The sparse matrix as a full symmetric dense one (both triangles, as the solver's condensation reads columns).
void ToDense(const QORMtxSparseMatrix& S, QORMtxMatrix& D) {
  const int n = S.NumberOfRows();
  D.Reset(n, n, QORMtxMatrix::SYMM);
  D = 0.0;
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    const int r = static_cast<int>(e.m_row), c = static_cast<int>(e.m_col);
    D.value(r, c) = e.m_value;
    D.value(c, r) = e.m_value;
  }
}

// When M has more zero columns than K, the solver condenses the first of its massless unknowns out through the
// singular values of their stiffness block, and a massless direction without stiffness of its own (a singular
// value below 1e-8: a constraint, not a degree of freedom) stops the process. Such a model is refused here, by the
// eigenvalues of that symmetric block, whose magnitudes are its singular values.
void CheckCondensable(const char* kPath, QORMtxMatrix& K, QORMtxMatrix& M) {
  const int n = K.NumberOfRows();
  QORBasVector<bool> kFlags, mFlags;
  const int tA = QORMtxBLA::CheckForTrivialCols(K, kFlags);
  const int tB = QORMtxBLA::CheckForTrivialCols(M, mFlags);
  if (tB <= tA || tB == n) return;  // nothing is condensed (a zero M is reported after the solve)
  std::vector<int> massless;
  for (int j = 0; j < n && static_cast<int>(massless.size()) < tB - tA; ++j)
    if (mFlags[j]) massless.push_back(j);
  const int r = static_cast<int>(massless.size());
  QORMtxMatrix block(r, r, QORMtxMatrix::SYMM), identity, E, X;
  for (int j = 0; j < r; ++j)
    for (int i = 0; i < r; ++i) block.value(i, j) = K.value(massless[i], massless[j]);
  if (QORMtxBLA::EigenSolve(block, identity, E, X, 0.0, 0.0, 0) != 0) return;  // the solver will judge
  for (int i = 0; i < E.NumberOfRows(); ++i)
    if (std::fabs(E.Values()[i]) < 1e-8)
      throw FileFailure(kPath, "the stiffness of the " + std::to_string(r) +
                                   " massless unknowns is singular: a direction without mass has no stiffness of "
                                   "its own, so it cannot be condensed out");
}

std::string StatusText(int status, int n) {
  // The kernel falls back to M·x = μ·K·x when M fails; n + i means the factorisation of order i failed for good.
  if (status > n)
    return "the pencil is not definite: Cholesky factorisation failed at order " + std::to_string(status - n) +
           " (neither M nor K is positive definite)";
  if (status > 0) return "the eigen solver did not converge";
  return "the eigen kernel rejected its argument " + std::to_string(-status);
}

void Report(const char* kPath, const char* mPath, int n, const std::vector<double>& lambda, int count) {
  const int shown = std::min(count, static_cast<int>(lambda.size()));
  QORMtxDocument doc("Generalised eigenvalues K x = lambda M x", QORMtxReportEnum::TEXT, aio_cout);
  doc << (std::string("K: ") + kPath + ", M: " + mPath + ", order " + std::to_string(n)).c_str();
  doc.Endl();
  doc << (std::to_string(lambda.size()) + " finite eigenvalues, lowest " + std::to_string(shown) + " shown").c_str();
  doc.Endl();
  {
    QORMtxTable t(doc, "", "  ");
    t.Format(6).Format(22).Format(22).Precision(10);
    t.Head("mode").Head("eigenvalue").Head("frequency") << QORMtxTable::Endl;
    t.HeadLine() << QORMtxTable::Endl;
    for (int i = 0; i < shown; ++i) {
      t.Out(i + 1).Out(lambda[i]);
      // A negative λ (indefinite mass, buckling-type pencils) has no real frequency.
      if (lambda[i] >= 0.0)
        t.Out(std::sqrt(lambda[i]) / kTwoPi);
      else
        t.Out("-");
      t << QORMtxTable::Endl;
    }
  }
}

int Run(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    aio_cout << kUsage;
    aio_cout.flush();
    return 0;
  }
  if (argc < 3 || argc > 4) throw Failure{std::string("expected K.mtx M.mtx [count]\n") + kUsage};
  int count = kDefaultCount;
  if (argc == 4 && !ParseCount(argv[3], count))
    throw Failure{std::string("count '") + argv[3] + "' is not a whole number of at least 1"};

  const char* kPath = argv[1];
  const char* mPath = argv[2];
  QORMtxMatrix K, M, E, X;
  {
    QORMtxSparseMatrix kSparse, mSparse;  // released before the dense solve needs the memory
    ReadOperand(kPath, kSparse);
    ReadOperand(mPath, mSparse);
    if (mSparse.NumberOfRows() != kSparse.NumberOfRows())
      throw FileFailure(mPath, "the matrix is " + Shape(mSparse) + ", but " + kPath + " is " + Shape(kSparse));
    ToDense(kSparse, K);
    ToDense(mSparse, M);
  }
  const int n = K.NumberOfRows();

  QORLapackHooks_Install();
  CheckCondensable(kPath, K, M);
  const int status = QORMtxBLA::EigenSolveGeneral(K, M, E, X, 0.0, 0.0, 0);
  if (status == 6) throw FileFailure(mPath, "the mass matrix is zero: there are no finite eigenvalues");
  if (status != 0)
    throw Failure{"eigen solve failed with status " + std::to_string(status) + ": " + StatusText(status, n)};

  std::vector<double> lambda(static_cast<size_t>(E.NumberOfRows()));
  for (int i = 0; i < E.NumberOfRows(); ++i) lambda[i] = E.Values()[i];
  std::sort(lambda.begin(), lambda.end());
  Report(kPath, mPath, n, lambda, count);
  aio_cout.flush();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  int code = 0;
  try {
    code = Run(argc, argv);
  } catch (const Failure& f) {
    aio_cerr << "qormtx_eigen: " << f.message << "\n";
    code = 1;
  } catch (const std::bad_alloc&) {
    aio_cerr << "qormtx_eigen: out of memory\n";
    code = 1;
  }
  aio_cerr.flush();
  QORMtxCoreModule_finalize(tally);
  return code;
}
