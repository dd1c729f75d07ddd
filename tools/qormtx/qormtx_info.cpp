// qormtx info: what a matrix file (or database) holds, one "key: value" line each.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "aio_ostream.h"
#include "qormtx_commands.h"

namespace qormtx {

namespace {

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

void Summarise(const QORMtxSparseMatrix& S, InfoLines& lines) {
  const bool symmetricStorage = S.Diagonal() != nullptr;
  lines.emplace_back("shape", std::to_string(S.NumberOfRows()) + " x " + std::to_string(S.NumberOfColumns()));
  lines.emplace_back("stored entries", std::to_string(S.NumberOfEntries()));
  lines.emplace_back("symmetry", symmetricStorage ? "symmetric" : S.IsSymmetric() ? "symmetric values, general storage"
                                                                                   : "unsymmetric");
  lines.emplace_back("storage", symmetricStorage ? "sparse rows, diagonal and lower triangle" : "sparse rows, every entry");
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  long long nonFinite = 0;
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const double v = it.CurrentEntry().m_value;
    if (!(v == v) || v == std::numeric_limits<double>::infinity() || v == -std::numeric_limits<double>::infinity())
      ++nonFinite;
    if (v == v) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  lines.emplace_back("value range", lo <= hi ? Number(lo) + " .. " + Number(hi) : "none stored");
  if (nonFinite > 0) lines.emplace_back("non-finite values", std::to_string(nonFinite));
}

int Run(const std::string& path, const Global& global) {
  const Format& format = DetectFormat(path);
  InfoLines lines;
  lines.emplace_back("file", path);
  lines.emplace_back("format", format.name + " (" + format.code + ")");
  if (format.info) {
    format.info(path, lines);
  } else {
    QORMtxSparseMatrix S;
    ReadMatrixFile(path, S, global);
    Summarise(S, lines);
  }
  size_t width = 0;
  for (const auto& l : lines) width = std::max(width, l.first.size());
  for (const auto& l : lines)
    aio_cout << (l.first + ":" + std::string(width + 2 - l.first.size(), ' ') + l.second + "\n").c_str();
  return 0;
}

}  // namespace

void AddInfoCommand(CLI::App& app, const Global& global, Action& action) {
  auto path = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "info", "Format, shape, stored entries, symmetry, storage and value range of a matrix file; the distributions "
              "and drawers of a database.");
  cmd->add_option("FILE", *path, "Matrix file or database")->required();
  cmd->callback([path, &global, &action] { action = [path, &global] { return Run(*path, global); }; });
}

}  // namespace qormtx
