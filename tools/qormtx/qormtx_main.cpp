// qormtx: matrix files and dense eigen solves at the terminal.
//
//   qormtx eigen K M [--count N]     lowest eigenvalues and frequencies of a stiffness/mass pair
//   qormtx modes K M [--count N]     the same for large sparse pairs, with mode shapes
//   qormtx info FILE                 what a matrix file or database holds
//   qormtx convert IN OUT [--format CODE|mtx]
//
// Exit status: 0 success; 1 bad input (the message names the file and, where there is one, the line); 2 bad usage.
#include <CLI/CLI.hpp>

#include <new>

#include "QORMtxCoreModule.h"
#include "QORMtxSparseMatrix.h"
#include "aio_ostream.h"
#include "qormtx_commands.h"
#include "qormtx_progress.h"

namespace qormtx {

void AddPencilOperands(CLI::App& cmd, std::string& k, std::string& m) {
  cmd.add_option("K", k, "Stiffness matrix file")->required();
  cmd.add_option("M", m, "Mass matrix file")->required();
}

void CheckSameOrder(const std::string& k, const QORMtxSparseMatrix& K, const std::string& m,
                    const QORMtxSparseMatrix& M) {
  if (M.NumberOfRows() == K.NumberOfRows()) return;
  auto shape = [](const QORMtxSparseMatrix& A) {
    return std::to_string(A.NumberOfRows()) + " x " + std::to_string(A.NumberOfColumns());
  };
  throw Failure{m + ": the matrix is " + shape(M) + ", but " + k + " is " + shape(K)};
}

void ReadMatrixFile(const std::string& path, QORMtxSparseMatrix& matrix, const Global& global,
                    const std::function<std::string(long long, long long, long long)>& checkSize) {
  const Format& format = DetectFormat(path);
  if (!format.read) throw Failure{path + ": " + format.name + " files cannot be read as one matrix"};
  Progress progress("reading " + path, global.quiet);
  ReadLimits limits;
  limits.checkSize = checkSize;
  limits.progress = [&progress](long long done, long long total) { progress.Update(done, total); };
  format.read(path, matrix, limits);
}

}  // namespace qormtx

namespace {

int Run(int argc, char** argv) {
  CLI::App app("Matrix files and dense eigen solves of the QORMtx core.", "qormtx");
  app.require_subcommand(1);
  app.fallthrough();  // --quiet after the subcommand too
  app.set_help_all_flag("--help-all", "Help on every subcommand");
  qormtx::Global global;
  app.add_flag("-q,--quiet", global.quiet, "No progress display on standard error");
  app.footer("Exit status: 0 success, 1 bad input (message on standard error), 2 bad usage.");
  qormtx::Action action;
  qormtx::AddEigenCommand(app, global, action);
  qormtx::AddInfoCommand(app, global, action);
  qormtx::AddConvertCommand(app, global, action);
  qormtx::AddModesCommand(app, global, action);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);  // prints help (status 0) or the usage error
    return code == 0 ? 0 : 2;
  }
  return action();
}

}  // namespace

int main(int argc, char** argv) {
  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  int code = 0;
  try {
    code = Run(argc, argv);
  } catch (const qormtx::Failure& f) {
    aio_cerr << "qormtx: " << f.message.c_str() << "\n";
    code = 1;
  } catch (const std::bad_alloc&) {
    aio_cerr << "qormtx: out of memory\n";
    code = 1;
  }
  aio_cout.flush();
  aio_cerr.flush();
  QORMtxCoreModule_finalize(tally);
  return code;
}
