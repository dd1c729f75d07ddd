// qormtx eigen: the lowest eigenvalues and frequencies of a stiffness and mass pair, K·x = λ·M·x, solved densely.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "QORBasVector.h"
#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxTable.h"
#include "aio_ostream.h"
#include "qormtx_commands.h"
#include "qormtx_progress.h"

namespace qormtx {

namespace {

// K, M, the vectors and LAPACK's copies are all n × n doubles: at 5000 that is about 1 GB in all, and the O(n³)
// solve takes minutes on a workstation. Larger models belong to an iterative solver on sparse storage.
constexpr long long kMaxOrder = 5000;
constexpr double kTwoPi = 6.283185307179586476925286766559;

struct EigenArgs {
  std::string k, m;
  int count = 10;
};

std::string Shape(long long rows, long long cols) { return std::to_string(rows) + " x " + std::to_string(cols); }

// The dense solver's bounds on an operand's shape, applied as soon as the reader knows the shape and before it
// sizes anything by it.
std::string CheckOrder(long long rows, long long cols, long long) {
  if (rows != cols) return "the matrix is " + Shape(rows, cols) + ", not square";
  if (rows > kMaxOrder)
    return "order " + std::to_string(rows) + " exceeds the dense solver's limit of " + std::to_string(kMaxOrder) +
           " (qormtx modes finds the lowest modes of large sparse pairs)";
  return "";
}

// Reads one operand and checks what the dense symmetric solve needs of it.
void ReadOperand(const std::string& path, QORMtxSparseMatrix& S, const Global& global) {
  ReadMatrixFile(path, S, global, CheckOrder);
  const std::string error = CheckOrder(S.NumberOfRows(), S.NumberOfColumns(), 0);  // formats without the hook
  if (!error.empty()) throw Failure{path + ": " + error};
  if (S.NumberOfRows() == 0) throw Failure{path + ": the matrix is empty (order 0)"};
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (!std::isfinite(e.m_value))
      throw Failure{path + ": entry (" + std::to_string(e.m_row + 1) + ", " + std::to_string(e.m_col + 1) +
                    ") is not a finite number"};
  }
  // The solver reads one triangle only; an unsymmetric file would be solved as a different matrix.
  if (!S.IsSymmetric()) throw Failure{path + ": the matrix is not symmetric"};
}

// The sparse matrix as a full symmetric dense one (both triangles: the trivial-column rule reads whole columns).
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

void Report(const EigenArgs& a, int n, int massless, const std::vector<double>& lambda) {
  QORMtxDocument doc("Generalised eigenvalues K x = lambda M x", QORMtxReportEnum::TEXT, aio_cout);
  doc << ("K: " + a.k + ", M: " + a.m + ", order " + std::to_string(n)).c_str();
  doc.Endl();
  if (massless > 0) {
    doc << (std::to_string(massless) + " massless unknowns (zero columns of M)").c_str();
    doc.Endl();
  }
  doc << ("lowest " + std::to_string(lambda.size()) + " finite eigenvalues").c_str();
  doc.Endl();
  QORMtxTable t(doc, "", "  ");
  t.Format(6).Format(22).Format(22).Precision(10);
  t.Head("mode").Head("eigenvalue").Head("frequency") << QORMtxTable::Endl;
  t.HeadLine() << QORMtxTable::Endl;
  for (size_t i = 0; i < lambda.size(); ++i) {
    t.Out(static_cast<int>(i + 1)).Out(lambda[i]);
    // A negative λ (indefinite mass, buckling-type pencils) has no real frequency.
    if (lambda[i] >= 0.0)
      t.Out(std::sqrt(lambda[i]) / kTwoPi);
    else
      t.Out("-");
    t << QORMtxTable::Endl;
  }
}

int Run(const EigenArgs& a, const Global& global) {
  QORMtxMatrix K, M;
  {
    QORMtxSparseMatrix kSparse, mSparse;  // released before the dense solve needs the memory
    ReadOperand(a.k, kSparse, global);
    ReadOperand(a.m, mSparse, global);
    CheckSameOrder(a.k, kSparse, a.m, mSparse);
    ToDense(kSparse, K);
    ToDense(mSparse, M);
  }
  const int n = K.NumberOfRows();

  // Massless unknowns are the library's trivial columns of M; the solver drops their infinite eigenvalues itself.
  QORBasVector<bool> trivial;
  const int massless = QORMtxBLA::CheckForTrivialCols(M, trivial);
  if (massless == n) throw Failure{a.m + ": the mass matrix is zero: there are no finite eigenvalues"};

  // Only the wanted lowest pairs are computed: an index range into the ascending eigenvalues.
  const int wanted = std::min(a.count, n);
  std::vector<double> lambda(static_cast<size_t>(n));
  std::vector<double> vectors(static_cast<size_t>(n) * static_cast<size_t>(wanted));
  int found = 0, status = 0;
  {
    Progress progress("eigen solve of order " + std::to_string(n), global.quiet, "");
    status = QORLapackHooks::EigenSolve('U', n, K.Values(), M.Values(), 1.0, wanted, false, 0, found, lambda.data(),
                                        vectors.data(), nullptr, 1);
  }
  switch (status) {
    case 0:
      break;
    case QORLapackHooks::kNotDefinite:
      throw Failure{a.k + ", " + a.m +
                    ": the pencil is not definite: neither the mass nor the stiffness matrix is positive definite"};
    case QORLapackHooks::kResultNotFinite:
      throw Failure{a.k + ", " + a.m +
                    ": the eigenvalues are not finite in double precision (K and M differ too much in scale)"};
    default:
      throw Failure{"eigen solve of " + a.k + ", " + a.m + " failed: " + QORLapackHooks::StatusText(status)};
  }
  lambda.resize(static_cast<size_t>(found));
  Report(a, n, massless, lambda);
  return 0;
}

}  // namespace

void AddEigenCommand(CLI::App& app, const Global& global, Action& action) {
  auto args = std::make_shared<EigenArgs>();
  CLI::App* cmd = app.add_subcommand(
      "eigen",
      "Lowest eigenvalues of K x = lambda M x and their frequencies sqrt(lambda)/(2 pi), for a symmetric stiffness "
      "matrix K and mass matrix M of order 1 to 5000. Zero columns of M are massless unknowns; their infinite "
      "eigenvalues are left out.");
  AddPencilOperands(*cmd, args->k, args->m);
  cmd->add_option("-n,--count", args->count, "How many of the lowest eigenvalues to print")
      ->default_val(10)
      ->check(CLI::Range(1, 1000000000));
  cmd->callback([args, &global, &action] { action = [args, &global] { return Run(*args, global); }; });
}

}  // namespace qormtx
