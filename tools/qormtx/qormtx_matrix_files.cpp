// The library's numbered matrix file formats (QORMtxSparseImExPorter codes 0 to 7) in the format table.
// Whatever the library would treat as a contract violation is checked here first, so a user gets a message.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "QORMtxSparseImExPorter.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "qormtx_formats.h"

namespace qormtx {

namespace {

// Integer k of a binary header (little-endian, as the files are written); false when the head is shorter.
bool HeaderInt(const std::string& head, size_t k, int32_t& v) {
  if (head.size() < 4 * (k + 1)) return false;
  std::memcpy(&v, head.data() + 4 * k, 4);
  return true;
}

// A Fortran record of one integer (the row count) followed by another record.
bool SniffSubstructure(const std::string& head) {
  int32_t lead, n, trail, next;
  return HeaderInt(head, 0, lead) && HeaderInt(head, 1, n) && HeaderInt(head, 2, trail) && HeaderInt(head, 3, next) &&
         lead == 4 && trail == 4 && n >= 0 && next > 0;
}
// Header: rows, nnz, blocks, 0, 17, 1.
bool SniffBlockedSparse(const std::string& head) {
  int32_t h[6];
  for (size_t k = 0; k < 6; ++k)
    if (!HeaderInt(head, k, h[k])) return false;
  return h[0] >= 0 && h[1] > 0 && h[3] == 0 && h[4] == 17 && h[5] == 1;
}
// Header: rows, columns, rows, columns.
bool SniffDenseBinary(const std::string& head) {
  int32_t h[4];
  for (size_t k = 0; k < 4; ++k)
    if (!HeaderInt(head, k, h[k])) return false;
  return h[0] > 0 && h[1] > 0 && h[0] == h[2] && h[1] == h[3];
}

std::function<void(const std::string&, QORMtxSparseMatrix&, const ReadLimits&)> Reader(int code) {
  return [code](const std::string& path, QORMtxSparseMatrix& matrix, const ReadLimits& limits) {
    // The importers bound what they allocate by the file's size, so the size limit is asked afterwards.
    std::string error;
    if (!QORMtxSparseImExPorter::TryImport(matrix, path.c_str(), code, &error)) throw Failure{error};
    if (limits.checkSize) {
      const std::string refusal =
          limits.checkSize(matrix.NumberOfRows(), matrix.NumberOfColumns(), matrix.NumberOfEntries());
      if (!refusal.empty()) throw Failure{path + ": " + refusal};
    }
  };
}

// The matrix with both triangles stored, for formats that write only what is stored.
void Expand(const QORMtxSparseMatrix& S, QORMtxSparseMatrix& full) {
  full.Reset(S.NumberOfRows(), S.NumberOfColumns());
  full.ReserveEntries(2 * S.NumberOfEntries());
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    full.AddData(e.m_row, e.m_col, e.m_value, false);
    if (e.m_row != e.m_col) full.AddData(e.m_col, e.m_row, e.m_value, false);
  }
  full.EndAssembly(false);
}

// The lower triangle and diagonal in symmetric storage, of a matrix whose values are symmetric.
void Fold(const QORMtxSparseMatrix& A, QORMtxSparseMatrix& lower) {
  lower.Reset(A.NumberOfRows(), A.NumberOfColumns());
  for (int i = 0; i < A.NumberOfRows(); ++i) lower.AddData(i, i, 0.0, false);  // every diagonal slot exists
  for (QORMtxSparseMatrixIterator it(A); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    if (e.m_row >= e.m_col) lower.AddData(e.m_row, e.m_col, e.m_value, false);
  }
  lower.EndAssembly(true);
}

void Write(const std::string& path, const QORMtxSparseMatrix& matrix, int code) {
  std::string error;
  if (!QORMtxSparseImExPorter::TryExport(matrix, path.c_str(), code, nullptr, &error)) throw Failure{error};
}

void WriteBlockedSparse(const std::string& path, const QORMtxSparseMatrix& matrix) {
  const std::string what = path + ": format 6 (blocked sparse binary) ";
  if (matrix.Diagonal()) {
    if (matrix.NumberOfNonzeros() == 0)
      throw Failure{what + "cannot hold a matrix without off-diagonal entries (it would not read back)"};
    Write(path, matrix, 6);
    return;
  }
  if (!matrix.IsSquare() || !matrix.IsAssembled() || !matrix.IsSymmetric())
    throw Failure{what + "holds symmetric matrices only, and this one is not symmetric"};
  QORMtxSparseMatrix lower;
  Fold(matrix, lower);
  WriteBlockedSparse(path, lower);
}

void WriteDenseBinary(const std::string& path, const QORMtxSparseMatrix& matrix) {
  // Every element is written: refuse what would fill a disk rather than start on it.
  constexpr double kLimit = 8.0 * 1024 * 1024 * 1024;
  const double bytes = 8.0 * matrix.NumberOfRows() * matrix.NumberOfColumns();
  if (bytes > kLimit)
    throw Failure{path + ": format 7 (dense binary) would take " + std::to_string(static_cast<long long>(bytes / 1e9)) +
                  " GB for a " + std::to_string(matrix.NumberOfRows()) + " x " +
                  std::to_string(matrix.NumberOfColumns()) + " matrix (limit 8 GiB)"};
  // The format writes what is stored; symmetric storage keeps only one triangle and the diagonal apart.
  if (matrix.Diagonal()) {
    QORMtxSparseMatrix full;
    Expand(matrix, full);
    Write(path, full, 7);
  } else {
    Write(path, matrix, 7);
  }
}

}  // namespace

void AddMatrixFileFormats(std::vector<Format>& t) {
  using W = std::function<void(const std::string&, const QORMtxSparseMatrix&)>;
  const auto plain = [](int code) -> W {
    return [code](const std::string& path, const QORMtxSparseMatrix& m) { Write(path, m, code); };
  };
  t.push_back(Format{"0", "substructure matrix (Fortran records)", {".ams"}, SniffSubstructure, Reader(0), nullptr,
                     nullptr});
  t.push_back(Format{"1", "solver sparse binary", {".solsp"}, nullptr, Reader(1), nullptr, nullptr});
  t.push_back(Format{"2", "entries text, binary mode", {}, nullptr, Reader(2), nullptr, nullptr});
  t.push_back(Format{"3", "entries text", {".ijv", ".entries"}, nullptr, Reader(3), plain(3), nullptr});
  t.push_back(Format{"4", "node/dof text", {".minp"}, nullptr, nullptr,
                     [](const std::string& path, const QORMtxSparseMatrix&) {
                       throw Failure{path + ": format 4 (node/dof text) names each row by its node and degree of "
                                            "freedom, which a matrix file does not carry"};
                     },
                     nullptr});
  t.push_back(Format{"5", "zero-based coordinate text", {".coord"}, nullptr, nullptr, plain(5), nullptr});
  t.push_back(Format{"6", "blocked sparse binary", {".dmps"}, SniffBlockedSparse, Reader(6), WriteBlockedSparse,
                     nullptr});
  t.push_back(Format{"7", "dense binary", {".dmpd"}, SniffDenseBinary, Reader(7), WriteDenseBinary, nullptr});
}

}  // namespace qormtx
