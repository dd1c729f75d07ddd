// Database files in the qormtx format table: info lists the distributions and drawers; a matrix is read from the
// first two-dimensional dense drawer of doubles and written as one, band by band so memory stays bounded.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "qormtx_formats.h"

namespace qormtx {

namespace {

// Columns moved per transfer: about 8 MB of doubles, whatever the matrix.
int BandColumns(int rows) { return std::max(1, static_cast<int>((size_t(1) << 20) / std::max(rows, 1))); }

std::string Sizes(const QORSimArray<int>& a) {
  std::string s;
  for (int i = 0; i < a.Size(); ++i) s += (i ? " x " : "") + std::to_string(a[i]);
  return s.empty() ? "-" : s;
}

const char* KindName(const QORSimSerializationType& t) {
  switch (t.Kind()) {
    case QORSimSerializationType::STANDARD:
      return "dense";
    case QORSimSerializationType::SPARSE:
      return "sparse";
    case QORSimSerializationType::SPARSE_SYMMETRIC:
    case QORSimSerializationType::SPARSE_SYMMETRIC_BLOCKED:
      return "sparse symmetric";
    case QORSimSerializationType::MEI:
    case QORSimSerializationType::MEI_SYMMETRIC:
      return "element matrices";
    default:
      return "unknown";
  }
}

// A dense matrix of doubles with one drawer: what QORMtxDenseMatrix binds without a fatal precondition.
bool IsDenseMatrix(const QORSimDistribution& d) {
  if (d.NumDimensions() != 2 || d.NumDrawers() != 1) return false;
  const QORSimArray<QORSimDrawerDescription> drawers = d.QueryDrawers();
  return drawers[0].SerializationType().IsStandard() && drawers[0].DataTypeKey() == QORSimDoubleKey;
}

// Opens path read-only, runs f on the open database and closes it again.
template <class F>
void WithDatabase(const std::string& path, F f) {
  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  f(db);
  db.Close();
}

void Info(const std::string& path, InfoLines& lines) {
  WithDatabase(path, [&](QORSimDatabase& db) {
    const QORSimArray<QORSimDistributionID> ids = QORSimContext(db.ContextID()).Distributions();
    lines.emplace_back("distributions", std::to_string(ids.Size()));
    for (int i = 0; i < ids.Size(); ++i) {
      const QORSimDistribution d(ids[i]);
      const std::string name = "distribution " + std::to_string(ids[i].Number());
      lines.emplace_back(name, std::to_string(d.NumDimensions()) + "-D, " + std::to_string(d.NumDrawers()) +
                                   " drawer(s)" + (d.IsTemporary() ? ", temporary" : ""));
      const QORSimArray<QORSimDrawerDescription> drawers = d.QueryDrawers();
      for (int k = 0; k < drawers.Size(); ++k) {
        const QORSimDrawerDescription& dr = drawers[k];
        std::string text = std::string(KindName(dr.SerializationType())) + ", " + Sizes(dr.DimensionSizes()) + ", " +
                           (dr.DataTypeKey() == QORSimDoubleKey ? "doubles" : "integers") +
                           (dr.IsChunked() ? ", chunks " + Sizes(dr.ChunkSizes()) : ", unchunked");
        if (!dr.SerializationType().IsStandard()) text += ", " + std::to_string(dr.NumNonZero()) + " non-zeros";
        lines.emplace_back("  drawer " + std::to_string(k), text);
      }
    }
  });
}

void Read(const std::string& path, QORMtxSparseMatrix& matrix, const ReadLimits& limits) {
  WithDatabase(path, [&](QORSimDatabase& db) {
    const QORSimArray<QORSimDistributionID> ids = QORSimContext(db.ContextID()).Distributions();
    int pick = -1;
    for (int i = 0; i < ids.Size() && pick < 0; ++i)
      if (IsDenseMatrix(QORSimDistribution(ids[i]))) pick = i;
    if (pick < 0) throw Failure{path + ": the database holds no two-dimensional dense drawer of doubles"};
    const QORMtxDenseMatrix D(ids[pick]);
    const int rows = D.NumberOfRows(), cols = D.NumberOfColumns();
    if (limits.checkSize) {
      const std::string refusal = limits.checkSize(rows, cols, static_cast<long long>(rows) * cols);
      if (!refusal.empty()) throw Failure{path + ": " + refusal};
    }
    matrix.Reset(rows, cols);
    const int band = BandColumns(rows);
    QORMtxMatrix values;
    for (int c0 = 0; c0 < cols; c0 += band) {
      const int c1 = std::min(cols, c0 + band) - 1;
      values.Reset(rows, c1 - c0 + 1);
      D.GetValues(0, rows - 1, c0, c1, values);
      for (int j = c0; j <= c1; ++j)
        for (int i = 0; i < rows; ++i)
          if (values.value(i, j - c0) != 0.0)
            matrix.AddData(static_cast<unsigned>(i), static_cast<unsigned>(j), values.value(i, j - c0), false);
      if (limits.progress) limits.progress(c1 + 1, cols);
    }
    matrix.EndAssembly(false);
  });
}

void Write(const std::string& path, const QORMtxSparseMatrix& matrix) {
  const int rows = matrix.NumberOfRows(), cols = matrix.NumberOfColumns();
  if (rows == 0 || cols == 0) throw Failure{path + ": an empty matrix has no drawer"};
  QORSimDatabase db;
  CreateDatabaseFile(path, db);
  {
    QORSimContext ctx(db.ContextID());
    const QORSimCSetID r = QORSimCollection(ctx.CreateCollection(rows, QORSimTypeID(), "rows")).BiggestCSetID();
    const QORSimCSetID c = QORSimCollection(ctx.CreateCollection(cols, QORSimTypeID(), "columns")).BiggestCSetID();
    const int band = BandColumns(rows);
    QORMtxDenseMatrix D(QORMtxUtilities::Create2DDistribution(r, c, rows, std::min(band, cols)));
    const bool symmetric = matrix.Diagonal() != nullptr;
    QORMtxMatrix values;
    for (int c0 = 0; c0 < cols; c0 += band) {
      const int c1 = std::min(cols, c0 + band) - 1;
      values.Reset(rows, c1 - c0 + 1);
      values.Assign(0.0);
      // Symmetric storage holds one triangle: each stored entry fills its mirror too.
      for (QORMtxSparseMatrixIterator it(matrix); !it.IsDone(); it.Next()) {
        const QORMtxSparseMatrixEntry e = it.CurrentEntry();
        const int i = static_cast<int>(e.m_row), j = static_cast<int>(e.m_col);
        if (j >= c0 && j <= c1) values.value(i, j - c0) = e.m_value;
        if (symmetric && i != j && i >= c0 && i <= c1) values.value(j, i - c0) = e.m_value;
      }
      D.SetValues(0, rows - 1, c0, c1, values);
    }
  }
  db.Close();
}

}  // namespace

void CreateDatabaseFile(const std::string& path, QORSimDatabase& db) {
  if (FILE* probe = std::fopen(path.c_str(), "ab"))
    std::fclose(probe);
  else
    throw Failure{path + ": cannot open for writing: " + std::strerror(errno)};
  db.Create(path.c_str());
}

Format DatabaseFormat() {
  return Format{"db",
                "database",
                {".sim", ".h5"},
                [](const std::string& head) { return head.compare(0, 8, "\x89HDF\r\n\x1a\n") == 0; },
                Read,
                Write,
                Info};
}

}  // namespace qormtx
