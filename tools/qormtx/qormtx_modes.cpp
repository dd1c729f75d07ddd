// qormtx modes: the lowest natural frequencies and mode shapes of a large sparse stiffness and mass pair, by
// shift-and-invert on one sparse factorisation (no dense limit on the order).
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "QORLapackHooks.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "QORMtxModalSolver.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxTable.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "aio_ostream.h"
#include "qormtx_commands.h"
#include "qormtx_formats.h"

namespace qormtx {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

struct ModesArgs {
  std::string k, m, out, html;
  int count = 10;
  double shift = 0.0, tolerance = 1e-12;
};

// Reads one operand and checks what the sparse factorisation needs of it.
void ReadOperand(const std::string& path, QORMtxSparseMatrix& S, const Global& global) {
  ReadMatrixFile(path, S, global, [](long long rows, long long cols, long long) -> std::string {
    if (rows != cols) return "the matrix is " + std::to_string(rows) + " x " + std::to_string(cols) + ", not square";
    return "";
  });
  if (S.NumberOfRows() != S.NumberOfColumns())
    throw Failure{path + ": the matrix is " + std::to_string(S.NumberOfRows()) + " x " +
                  std::to_string(S.NumberOfColumns()) + ", not square"};
  if (S.NumberOfRows() == 0) throw Failure{path + ": the matrix is empty (order 0)"};
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (!std::isfinite(e.m_value))
      throw Failure{path + ": entry (" + std::to_string(e.m_row + 1) + ", " + std::to_string(e.m_col + 1) +
                    ") is not a finite number"};
  }
  if (!S.IsSymmetric()) throw Failure{path + ": the matrix is not symmetric"};
}

// A mass matrix with a negative diagonal entry is indefinite outright; the solver finds the subtler cases.
void CheckMass(const std::string& path, const QORMtxSparseMatrix& M) {
  bool any = false;
  for (QORMtxSparseMatrixIterator it(M); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (e.m_value != 0.0) any = true;
    if (e.m_row == e.m_col && e.m_value < 0.0)
      throw Failure{path + ": the mass matrix is not positive semidefinite (diagonal entry (" +
                    std::to_string(e.m_row + 1) + ", " + std::to_string(e.m_row + 1) + ") is negative)"};
  }
  if (!any) throw Failure{path + ": the mass matrix is zero: there are no finite eigenvalues"};
}

std::string Sci(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2e", v);
  return buf;
}

void Report(const ModesArgs& a, int n, const QORMtxModalResult& r, double seconds,
            QORMtxReportEnum::QORMtxReportMode mode, aio_ostream& os) {
  QORMtxDocument doc("Lowest modes K x = lambda M x", mode, os);
  doc << ("K: " + a.k + ", M: " + a.m + ", order " + std::to_string(n)).c_str();
  doc.Endl();
  char line[200];
  std::snprintf(line, sizeof line,
                "lowest %zu eigenvalues above the shift %g: %d iteration(s), tolerance %g, solved in %.2f s",
                r.eigenvalues.size(), a.shift, r.iterations, a.tolerance, seconds);
  doc << line;
  doc.Endl();
  QORMtxTable t(doc, "", "  ");
  t.Format(6).Format(22).Format(22).Format(16).Format(16).Precision(10);
  t.Head("mode").Head("eigenvalue").Head("frequency [Hz]").Head("backward error").Head("residual")
      << QORMtxTable::Endl;
  t.HeadLine() << QORMtxTable::Endl;
  for (size_t i = 0; i < r.eigenvalues.size(); ++i) {
    const double lambda = r.eigenvalues[i];
    t.Out(static_cast<int>(i + 1)).Out(lambda);
    if (lambda >= 0.0)
      t.Out(std::sqrt(lambda) / kTwoPi);
    else
      t.Out("-");  // below a negative shift: no real frequency
    t.Out(Sci(r.backwardErrors[i]).c_str()).Out(Sci(r.residuals[i]).c_str()) << QORMtxTable::Endl;
  }
}

// Mode shapes as a stored dense matrix: rows on the unknowns of K (its ordinals 0..n-1), one column per mode.
void WriteModes(const std::string& path, const QORMtxDenseMatrix& modes) {
  const int n = modes.NumberOfRows(), k = modes.NumberOfColumns();
  QORSimDatabase db;
  CreateDatabaseFile(path, db);
  {
    QORSimContext ctx(db.ContextID());
    const QORSimCSetID dofs = QORSimCollection(ctx.CreateCollection(n, QORSimTypeID(), "dofs")).BiggestCSetID();
    const QORSimCSetID cols = QORSimCollection(ctx.CreateCollection(k, QORSimTypeID(), "modes")).BiggestCSetID();
    QORMtxDenseMatrix D(QORMtxUtilities::Create2DDistribution(dofs, cols, std::min(n, 65536), 1));
    D.CopyValues(&modes);
  }
  db.Close();
}

int Run(const ModesArgs& a, const Global& global) {
  QORMtxSparseMatrix K, M;
  ReadOperand(a.k, K, global);
  ReadOperand(a.m, M, global);
  CheckSameOrder(a.k, K, a.m, M);
  CheckMass(a.m, M);
  const int n = K.NumberOfRows();

  QORLapackHooks_Install();
  QORMtxModalOptions options;
  options.count = std::min(a.count, n);
  options.shift = a.shift;
  options.tolerance = a.tolerance;
  // Per-iteration lines only for a person watching: scripts and logs see the results and the messages.
  if (!global.quiet && isatty(STDERR_FILENO))
    options.progress = [wanted = options.count](int iteration, int converged, double worst) {
      std::fprintf(stderr, "iteration %d: %d of %d converged, largest error %.3g\n", iteration, converged, wanted,
                   worst);
    };
  // The solve alone (factorisation and iteration), apart from reading the files.
  const auto start = std::chrono::steady_clock::now();
  const QORMtxModalResult r = QORMtxModalSolver::Solve(K, M, options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string pair = a.k + ", " + a.m + ": ";
  if (r.status == 1 || r.status == 3) throw Failure{pair + r.message};
  if (r.status != 0) {
    // The values reached are not results: only how far from converged each pair is.
    aio_cerr << "qormtx: " << (pair + r.message).c_str() << "\n";
    for (size_t i = 0; i < r.backwardErrors.size(); ++i)
      aio_cerr << ("  mode " + std::to_string(i + 1) + ": backward error " + Sci(r.backwardErrors[i]) +
                   ", residual " + Sci(r.residuals[i]) + "\n")
                      .c_str();
    return 1;
  }
  if (r.eigenvalues.size() < static_cast<size_t>(options.count))
    aio_cerr << ("qormtx: " + pair + "only " + std::to_string(r.eigenvalues.size()) +
                 " finite eigenvalues exist (massless unknowns have none)\n")
                    .c_str();
  if (!a.out.empty() && r.modes) WriteModes(a.out, *r.modes);
  if (!a.html.empty()) {
    aio_ofstream html(a.html.c_str());
    if (!html.is_open()) throw Failure{a.html + ": cannot open for writing: " + std::strerror(errno)};
    Report(a, n, r, seconds, QORMtxReportEnum::HTML, html);
  }
  Report(a, n, r, seconds, QORMtxReportEnum::TEXT, aio_cout);
  return 0;
}

}  // namespace

void AddModesCommand(CLI::App& app, const Global& global, Action& action) {
  auto args = std::make_shared<ModesArgs>();
  CLI::App* cmd = app.add_subcommand(
      "modes",
      "Lowest eigenvalues of K x = lambda M x of any order, their frequencies sqrt(lambda)/(2 pi) and mode shapes, "
      "by shift-and-invert on a sparse factorisation of K - shift*M. A pair converges when its backward error "
      "|K x - lambda M x| / ((|K| + |lambda| |M|) |x|) and the square of 100 times its shift-inverted residual are "
      "below the "
      "tolerance; otherwise the errors reached are printed and the status is 1.");
  AddPencilOperands(*cmd, args->k, args->m);
  cmd->add_option("-n,--count", args->count, "How many of the lowest eigenvalues")
      ->default_val(10)
      ->check(CLI::Range(1, 100000));
  cmd->add_option("-s,--shift", args->shift,
                  "Shift below the wanted eigenvalues (a small negative one when K has rigid-body modes)")
      ->default_val(0.0);
  cmd->add_option("-t,--tol", args->tolerance, "Tolerance on the backward error")
      ->default_val(1e-12)
      ->check(CLI::Range(1e-16, 1e-2));
  cmd->add_option("-o,--out", args->out, "Database file for the mode shapes (a dense matrix, one column per mode)");
  cmd->add_option("--html", args->html, "HTML copy of the report");
  cmd->callback([args, &global, &action] { action = [args, &global] { return Run(*args, global); }; });
}

}  // namespace qormtx
