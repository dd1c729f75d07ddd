#include "qormtx_formats.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"

namespace qormtx {

Format DatabaseFormat();  // qormtx_database.cpp

namespace {

std::vector<Format>& Table();

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(path.substr(dot));
}

const Format* ByExtension(const std::string& path) {
  const std::string ext = Extension(path);
  if (ext.empty()) return nullptr;
  for (const Format& f : Table())
    if (std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end()) return &f;
  return nullptr;
}

// ---- Matrix Market ----

bool SniffMatrixMarket(const std::string& head) {
  const std::string start = Lower(head.substr(0, 15));
  return start.rfind("%%matrixmarket", 0) == 0 || start.rfind("%matrixmarket", 0) == 0;
}

void ReadMatrixMarket(const std::string& path, QORMtxSparseMatrix& matrix, const ReadLimits& limits) {
  QORMtxMatrixMarket::ReadOptions options;
  options.checkSize = limits.checkSize;
  options.progress = limits.progress;
  std::string error;
  if (!QORMtxMatrixMarket::Read(path.c_str(), matrix, &error, options)) throw Failure{error};
}

void WriteMatrixMarket(const std::string& path, const QORMtxSparseMatrix& matrix) {
  std::string error;
  if (!QORMtxMatrixMarket::Write(path.c_str(), matrix, &error)) throw Failure{error};
}

// The built-in formats; later registrations add to them.
std::vector<Format>& Table() {
  static std::vector<Format> table = [] {
    std::vector<Format> t;
    t.push_back(Format{"mtx", "Matrix Market", {".mtx", ".mm"}, SniffMatrixMarket, ReadMatrixMarket,
                       WriteMatrixMarket, nullptr});
    t.push_back(DatabaseFormat());
    return t;
  }();
  return table;
}

}  // namespace

void RegisterFormat(Format format) {
  std::vector<Format>& table = Table();
  for (Format& f : table)
    if (f.code == format.code) {
      f = std::move(format);
      return;
    }
  table.push_back(std::move(format));
}

const std::vector<Format>& Formats() { return Table(); }

const Format* FindFormat(const std::string& code) {
  const std::string c = Lower(code);
  for (const Format& f : Table())
    if (f.code == c) return &f;
  return nullptr;
}

const Format& DetectFormat(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) throw Failure{path + ": cannot open: " + std::strerror(errno)};
  if (S_ISDIR(st.st_mode)) throw Failure{path + ": is a directory, not a matrix file"};
  // Only a regular file may be looked at before it is read: a pipe gives its bytes once.
  if (S_ISREG(st.st_mode)) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw Failure{path + ": cannot open: " + std::strerror(errno)};
    std::string head(4096, '\0');
    head.resize(std::fread(&head[0], 1, head.size(), f));
    std::fclose(f);
    for (const Format& format : Table())
      if (format.sniff && format.sniff(head)) return format;
  }
  if (const Format* f = ByExtension(path)) return *f;
  return Table().front();
}

const Format& OutputFormat(const std::string& path, const std::string& code) {
  if (!code.empty()) {
    const Format* f = FindFormat(code);
    if (!f) throw Failure{"unknown format '" + code + "' (known: " + FormatCodes() + ")"};
    return *f;
  }
  if (const Format* f = ByExtension(path)) return *f;
  return Table().front();
}

std::string FormatCodes() {
  std::string codes;
  for (const Format& f : Table()) codes += (codes.empty() ? "" : ", ") + f.code;
  return codes;
}

}  // namespace qormtx
