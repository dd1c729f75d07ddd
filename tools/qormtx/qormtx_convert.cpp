// qormtx convert: a matrix from one file format into another.
#include <CLI/CLI.hpp>

#include <string>

#include "QORMtxSparseMatrix.h"
#include "qormtx_commands.h"
#include "qormtx_progress.h"

namespace qormtx {

namespace {

struct ConvertArgs {
  std::string in, out, format;
};

int Run(const ConvertArgs& a, const Global& global) {
  const Format& to = OutputFormat(a.out, a.format);
  if (!to.write) throw Failure{a.out + ": " + to.name + " files cannot be written"};
  QORMtxSparseMatrix S;
  ReadMatrixFile(a.in, S, global);
  Progress progress("writing " + a.out, global.quiet, "");
  to.write(a.out, S);
  return 0;
}

}  // namespace

void AddConvertCommand(CLI::App& app, const Global& global, Action& action) {
  auto args = std::make_shared<ConvertArgs>();
  CLI::App* cmd = app.add_subcommand(
      "convert", "Reads a matrix file in any readable format and writes it in another (by --format, else by the "
                 "output's extension, else Matrix Market).");
  cmd->add_option("IN", args->in, "Input matrix file")->required();
  cmd->add_option("OUT", args->out, "Output file")->required();
  cmd->add_option("-f,--format", args->format, "Output format code: " + FormatCodes())
      ->check(CLI::Validator(
          [](std::string& code) { return FindFormat(code) ? std::string() : "unknown format '" + code + "'"; },
          "CODE"));
  cmd->callback([args, &global, &action] { action = [args, &global] { return Run(*args, global); }; });
}

}  // namespace qormtx
