// The subcommands of qormtx: each adds itself to the command line and runs when chosen.
#pragma once
#include <functional>
#include <string>

#include "qormtx_formats.h"

class QORMtxSparseMatrix;

namespace CLI {
class App;
}

namespace qormtx {

/// Settings every subcommand sees.
struct Global {
  bool quiet = false;
};

/// What main runs after parsing: the chosen subcommand's action, returning the exit status.
using Action = std::function<int()>;

/// Reads a matrix file of any readable format, with a progress bar for a long read. Throws Failure.
void ReadMatrixFile(const std::string& path, QORMtxSparseMatrix& matrix, const Global& global,
                    const std::function<std::string(long long, long long, long long)>& checkSize = nullptr);

/// The K and M file operands of the pencil commands (eigen, modes).
void AddPencilOperands(CLI::App& cmd, std::string& k, std::string& m);
/// Throws Failure naming m when M's order is not K's.
void CheckSameOrder(const std::string& k, const QORMtxSparseMatrix& K, const std::string& m,
                    const QORMtxSparseMatrix& M);

void AddEigenCommand(CLI::App& app, const Global& global, Action& action);
void AddInfoCommand(CLI::App& app, const Global& global, Action& action);
void AddConvertCommand(CLI::App& app, const Global& global, Action& action);
void AddModesCommand(CLI::App& app, const Global& global, Action& action);

}  // namespace qormtx
