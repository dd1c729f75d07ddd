// The main job end to end: a 3-D cantilever block of trilinear hexahedra is assembled (sparse stiffness K and
// consistent mass M with degree-of-freedom ordinals), a basis interpolated from a coarse mesh of the same block is
// written to a database file as a stored matrix on its own ordinals, Bᵀ·K·B and Bᵀ·M·B are formed through the store,
// the reduced eigenproblem is solved and the lowest natural frequencies are reported (text here, HTML beside it),
// with the time and peak memory of every stage.
//
// Checks, stated in the output; the program exits 1 when one fails:
// - the basis spans exactly the coarse model, so the reduced frequencies equal the coarse model's own, assembled
//   and solved densely and independently;
// - at a small size, the reduction through the store equals the same reduction formed in core with dense loops,
//   and every Rayleigh–Ritz frequency lies at or above the fine model's (solved densely).
//
// Usage: qormtx_example [--across M | --unknowns N] [--modes K] [--html FILE] [--keep]
//   --across M     M bricks across the block, 4M along it: about 12·M³ unknowns (default 29: about 3·10⁵)
//   --unknowns N   the size by unknowns instead (up to 3·10⁶)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxCoreModule.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxDocument.h"
#include "QORMtxMappedOperations.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxTable.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"
#include "aio_ostream.h"
#include "qormtx_cantilever.h"

using qormtx_cantilever::Block;

namespace {

constexpr int kCoarseAlong = 4;        // the basis: bricks of a coarse mesh of the same block, along and across
constexpr int kCoarseAcross = 1;
constexpr int kBasisRowChunk = 4096;   // stored basis blocks
constexpr int kBasisColChunk = 16;
constexpr double kSpanTolerance = 1e-8;    // reduced against coarse-model eigenvalues, relative
constexpr double kStoreTolerance = 1e-10;  // store path against in-core path, relative

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
double PeakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}
double Hertz(double lambda) { return std::sqrt(std::max(lambda, 0.0)) / (2.0 * M_PI); }

// Stages with their time and the peak resident memory when they ended; a stage over a second shows progress.
struct Stages {
  struct Row {
    std::string name;
    double seconds, peakMb;
  };
  std::vector<Row> rows;
  double start = 0.0, lastShown = 0.0;
  std::string current;
  bool tty = isatty(STDERR_FILENO);

  void Begin(const std::string& name) {
    current = name;
    start = lastShown = Seconds();
    std::fprintf(stderr, "%s ...%s", name.c_str(), tty ? "" : "\n");
  }
  void Progress(double fraction) {
    const double now = Seconds();
    if (!tty || now - lastShown < 1.0) return;
    lastShown = now;
    std::fprintf(stderr, "\r%s ... %3.0f%% (%.0f s)", current.c_str(), 100.0 * fraction, now - start);
  }
  void End() {
    rows.push_back({current, Seconds() - start, PeakMegabytes()});
    std::fprintf(stderr, "%s%s: %.2f s\n", tty ? "\r" : "", current.c_str(), rows.back().seconds);
  }
};

// Dense symmetric copy for the eigen solver.
QORMtxMatrix Symmetric(const QORMtxMatrix& C) {
  const int k = C.NumberOfRows();
  QORMtxMatrix S(k, k, QORMtxMatrix::SYMM);
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b) S.value(a, b) = 0.5 * (C.value(a, b) + C.value(b, a));
  return S;
}

// Eigenvalues of the pencil (K, M), ascending; empty when the solve fails.
std::vector<double> Eigenvalues(const QORMtxMatrix& K, const QORMtxMatrix& M) {
  QORMtxMatrix A = Symmetric(K), B = Symmetric(M), E, X;
  if (QORMtxBLA::EigenSolveGeneral(A, B, E, X, 0.0, 0.0, 0) != 0) return {};
  return std::vector<double>(E.Values(), E.Values() + E.NumberOfRows());
}

QORMtxMatrix Dense(const QORMtxSparseMatrix& S) {
  QORMtxMatrix D;
  QORMtxUtilities::Sparse2Core(S, D);
  return D;
}

// The coarse nodes off the clamped face and the basis column of each (3 per node).
struct Basis {
  Block fine, coarse;
  std::vector<int> nodes;  // coarse (ci, cj, ck) packed as coarse.Node
  int Columns() const { return 3 * static_cast<int>(nodes.size()); }
  Basis(const Block& f, const Block& c) : fine(f), coarse(c) {
    for (int ci = 1; ci <= c.nx; ++ci)
      for (int cj = 0; cj <= c.ny; ++cj)
        for (int ck = 0; ck <= c.nz; ++ck) nodes.push_back(c.Node(ci, cj, ck));
  }
  // Rows r0 … r0 + rows − 1 of B (row r: ordinal r over the whole mesh, clamped nodes included), column-major.
  void Rows(int r0, int rows, std::vector<double>& out) const {
    out.assign(static_cast<size_t>(rows) * Columns(), 0.0);
    const int perX = (fine.ny + 1) * (fine.nz + 1);
    for (int r = r0; r < r0 + rows; ++r) {
      const int node = r / 3, d = r % 3;
      const int i = node / perX, j = (node % perX) / (fine.nz + 1), k = node % (fine.nz + 1);
      for (size_t c = 0; c < nodes.size(); ++c) {
        const int cn = nodes[c], cperX = (coarse.ny + 1) * (coarse.nz + 1);
        const int ci = cn / cperX, cj = (cn % cperX) / (coarse.nz + 1), ck = cn % (coarse.nz + 1);
        out[static_cast<size_t>(3 * c + d) * rows + (r - r0)] =
            qormtx_cantilever::CoarseShape(fine, coarse, i, j, k, ci, cj, ck);
      }
    }
  }
};

Block CoarseOf(const Block& fine) {
  Block c = fine;
  c.nx = kCoarseAlong;
  c.ny = c.nz = kCoarseAcross;
  return c;
}

// B in a new database file on the ordinals of the whole mesh (which K's differ from), written band by band.
QORMtxDenseMatrix StoreBasis(const Basis& basis, const QORSimContextID& ctx, Stages* stages) {
  const int rows = 3 * basis.fine.NumNodes(), cols = basis.Columns();
  QORSimContext context(ctx);
  const QORSimCSetID dofs = QORSimCollection(context.CreateCollection(rows, QORSimTypeID(), "dofs")).BiggestCSetID();
  const QORSimCSetID modes = QORSimCollection(context.CreateCollection(cols, QORSimTypeID(), "basis")).BiggestCSetID();
  QORMtxDenseMatrix B(QORMtxUtilities::Create2DDistribution(dofs, modes, kBasisRowChunk, kBasisColChunk));
  std::vector<double> band;
  const int bandRows = 16 * kBasisRowChunk;
  for (int r0 = 0; r0 < rows; r0 += bandRows) {
    const int h = std::min(bandRows, rows - r0);
    basis.Rows(r0, h, band);
    B.SetValues(r0, r0 + h - 1, 0, cols - 1, band.data());
    if (stages) stages->Progress(static_cast<double>(r0 + h) / rows);
  }
  return B;
}

std::string DbPath(const char* name) {
  const std::string dir = QORMtxUtilities::GetTempDirectory().str();
  return (dir.empty() ? std::string() : dir + "/") + name;
}

// Bᵀ·K·B and Bᵀ·M·B of a block through the store (B in a database file of its own).
void ReduceThroughStore(const Block& fine, const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M, QORMtxMatrix& Kr,
                        QORMtxMatrix& Mr, const std::string& path, bool keep, Stages* stages) {
  QORSimDatabase db;
  db.Create(path.c_str());
  {
    if (stages) stages->Begin("basis written to " + path);
    const Basis basis(fine, CoarseOf(fine));
    const QORMtxDenseMatrix B = StoreBasis(basis, db.ContextID(), stages);
    if (stages) stages->End();
    if (stages) stages->Begin("B^T K B through the store");
    QORMtxMappedOperations::Project(K, B, Kr, 1);
    if (stages) stages->End();
    if (stages) stages->Begin("B^T M B through the store");
    QORMtxMappedOperations::Project(M, B, Mr, 1);
    if (stages) stages->End();
  }
  db.Close();
  if (!keep) std::remove(path.c_str());
}

struct SmallCheck {
  double storeVsCore = HUGE_VAL;  // largest relative eigenvalue difference
  bool ordered = false;           // every Rayleigh–Ritz value at or above the fine model's
  int fineDofs = 0;
};

// At a small size: the store path against dense loops in core, and the Rayleigh–Ritz ordering against the fine
// model's own eigenvalues.
SmallCheck CheckSmall() {
  SmallCheck r;
  const Block fine = Block::Across(2);
  QORMtxSparseMatrix K, M;
  qormtx_cantilever::Assemble(fine, K, M);
  r.fineDofs = K.NumberOfRows();
  QORMtxMatrix Kr, Mr;
  ReduceThroughStore(fine, K, M, Kr, Mr, DbPath("qormtx_example_check.h5"), false, nullptr);
  const std::vector<double> viaStore = Eigenvalues(Kr, Mr);

  // In core: B restricted to K's rows (its ordinal 3·face + row), then Bᵀ·(K·B) by plain loops.
  const Basis basis(fine, CoarseOf(fine));
  const int n = K.NumberOfRows(), m = basis.Columns(), face = 3 * fine.FaceNodes();
  std::vector<double> b;
  basis.Rows(face, n, b);
  const QORMtxMatrix Kd = Dense(K), Md = Dense(M);
  auto reduce = [&](const QORMtxMatrix& A) {
    std::vector<double> w(b.size(), 0.0);  // A·B
    for (int q = 0; q < m; ++q)
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) w[static_cast<size_t>(q) * n + i] += A.value(i, j) * b[static_cast<size_t>(q) * n + j];
    QORMtxMatrix C(m, m);
    for (int p = 0; p < m; ++p)
      for (int q = 0; q < m; ++q) {
        double s = 0.0;
        for (int i = 0; i < n; ++i) s += b[static_cast<size_t>(p) * n + i] * w[static_cast<size_t>(q) * n + i];
        C.value(p, q) = s;
      }
    return C;
  };
  const std::vector<double> inCore = Eigenvalues(reduce(Kd), reduce(Md));
  const std::vector<double> full = Eigenvalues(Kd, Md);
  if (viaStore.size() != inCore.size() || viaStore.empty() || full.size() < viaStore.size()) return r;
  r.storeVsCore = 0.0;
  r.ordered = true;
  for (size_t i = 0; i < viaStore.size(); ++i) {
    r.storeVsCore = std::max(r.storeVsCore, std::fabs(viaStore[i] - inCore[i]) / std::fabs(inCore[i]));
    r.ordered = r.ordered && viaStore[i] >= full[i] * (1.0 - 1e-10);
  }
  return r;
}

std::string Fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

struct Results {
  Block fine;
  int dofs = 0, entriesK = 0, entriesM = 0, basisColumns = 0, modes = 10;
  std::string dbPath;
  std::vector<double> reduced, coarse;
  double spanDiff = HUGE_VAL;
  SmallCheck small;
  Stages stages;
  bool Passed() const {
    return spanDiff < kSpanTolerance && small.storeVsCore < kStoreTolerance && small.ordered;
  }
};

void Report(const Results& r, QORMtxReportEnum::QORMtxReportMode mode, aio_ostream& out) {
  QORMtxDocument doc("Natural frequencies of a clamped block, reduced onto a stored basis", mode, out);
  doc << ("model: " + std::to_string(r.fine.nx) + " x " + std::to_string(r.fine.ny) + " x " +
          std::to_string(r.fine.nz) + " trilinear bricks of steel, " + Fmt("%.0f", r.fine.lx) + " m x " +
          Fmt("%.0f", r.fine.ly) + " m x " + Fmt("%.0f", r.fine.lz) + " m, clamped at x = 0")
             .c_str();
  doc.Endl();
  doc << ("unknowns: " + std::to_string(r.dofs) + "; stored entries (symmetric storage): K " +
          std::to_string(r.entriesK) + ", M " + std::to_string(r.entriesM))
             .c_str();
  doc.Endl();
  doc << ("basis: " + std::to_string(r.basisColumns) + " vectors interpolated from a " + std::to_string(kCoarseAlong) +
          " x " + std::to_string(kCoarseAcross) + " x " + std::to_string(kCoarseAcross) +
          " coarse mesh, stored in " + r.dbPath)
             .c_str();
  doc.Endl();
  {
    QORMtxTable t(doc, "Lowest natural frequencies", "  ");
    t.Format(6).Format(20).Format(16).Format(16).Format(12).Precision(10);
    t.Head("mode").Head("eigenvalue").Head("frequency Hz").Head("coarse model Hz").Head("rel. diff") << QORMtxTable::Endl;
    t.HeadLine() << QORMtxTable::Endl;
    for (int i = 0; i < r.modes && i < static_cast<int>(r.reduced.size()); ++i) {
      const double c = i < static_cast<int>(r.coarse.size()) ? r.coarse[i] : NAN;
      t.Out(i + 1).Out(r.reduced[i]).Out(Fmt("%.6f", Hertz(r.reduced[i])).c_str()).Out(Fmt("%.6f", Hertz(c)).c_str());
      t.Out(Fmt("%.2e", std::fabs(r.reduced[i] - c) / std::fabs(c)).c_str()) << QORMtxTable::Endl;
    }
  }
  {
    QORMtxTable t(doc, "Stages", "  ");
    t.Format(34).Format(10).Format(14);
    t.Head("stage").Head("time s").Head("peak memory MB") << QORMtxTable::Endl;
    t.HeadLine() << QORMtxTable::Endl;
    for (const auto& s : r.stages.rows)
      t.Out(s.name.substr(0, 34).c_str()).Out(Fmt("%.2f", s.seconds).c_str()).Out(Fmt("%.0f", s.peakMb).c_str())
          << QORMtxTable::Endl;
  }
  const auto verdict = [](bool ok) { return ok ? std::string("passed") : std::string("FAILED"); };
  doc << ("check 1, " + verdict(r.spanDiff < kSpanTolerance) + ": reduced eigenvalues equal the coarse model's (" +
          "largest relative difference " + Fmt("%.2e", r.spanDiff) + ", limit " + Fmt("%.0e", kSpanTolerance) + ")")
             .c_str();
  doc.Endl();
  doc << ("check 2, " + verdict(r.small.storeVsCore < kStoreTolerance) + ": at " + std::to_string(r.small.fineDofs) +
          " unknowns the reduction through the store equals the one formed in core (largest relative difference " +
          Fmt("%.2e", r.small.storeVsCore) + ")")
             .c_str();
  doc.Endl();
  doc << ("check 3, " + verdict(r.small.ordered) + ": at " + std::to_string(r.small.fineDofs) +
          " unknowns every Rayleigh-Ritz eigenvalue lies at or above the fine model's")
             .c_str();
  doc.Endl();
}

}  // namespace

int main(int argc, char** argv) {
  int across = 29, modes = 10;
  bool keep = false;
  std::string html = "qormtx_example.html";
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    const bool hasValue = a + 1 < argc;
    if (arg == "--across" && hasValue) {
      across = std::atoi(argv[++a]);
    } else if (arg == "--unknowns" && hasValue) {
      across = static_cast<int>(std::lround(std::cbrt(std::atof(argv[++a]) / 12.0)));
    } else if (arg == "--modes" && hasValue) {
      modes = std::atoi(argv[++a]);
    } else if (arg == "--html" && hasValue) {
      html = argv[++a];
    } else if (arg == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--across M | --unknowns N] [--modes K] [--html FILE] [--keep]\n", argv[0]);
      return 2;
    }
  }
  if (across < 1 || across > 63 || modes < 1) {
    std::fprintf(stderr, "%s: the size must lie between 1 and 63 bricks across (about 3e6 unknowns)\n", argv[0]);
    return 2;
  }

  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  QORLapackHooks_Install();  // the dispatch layer has no generalised eigen solver of its own

  Results r;
  r.fine = Block::Across(across);
  r.modes = modes;
  r.dbPath = DbPath("qormtx_example.h5");
  QORMtxSparseMatrix K, M;
  r.stages.Begin("assembly of K and M");
  qormtx_cantilever::Assemble(r.fine, K, M, [&](double f) { r.stages.Progress(f); });
  r.stages.End();
  r.dofs = K.NumberOfRows();
  r.entriesK = K.NumberOfEntries();
  r.entriesM = M.NumberOfEntries();

  QORMtxMatrix Kr, Mr;
  ReduceThroughStore(r.fine, K, M, Kr, Mr, r.dbPath, keep, &r.stages);
  r.basisColumns = Kr.NumberOfRows();

  r.stages.Begin("reduced eigen solve");
  r.reduced = Eigenvalues(Kr, Mr);
  r.stages.End();

  r.stages.Begin("checks");
  {
    const Block coarse = CoarseOf(r.fine);
    QORMtxSparseMatrix Kc, Mc;
    qormtx_cantilever::Assemble(coarse, Kc, Mc);
    r.coarse = Eigenvalues(Dense(Kc), Dense(Mc));
    if (r.coarse.size() == r.reduced.size() && !r.reduced.empty()) {
      r.spanDiff = 0.0;
      for (size_t i = 0; i < r.reduced.size(); ++i)
        r.spanDiff = std::max(r.spanDiff, std::fabs(r.reduced[i] - r.coarse[i]) / std::fabs(r.coarse[i]));
    }
    r.small = CheckSmall();
  }
  r.stages.End();

  Report(r, QORMtxReportEnum::TEXT, aio_cout);
  {
    aio_ofstream out(html.c_str());
    if (out.is_open()) {
      Report(r, QORMtxReportEnum::HTML, out);
      std::printf("report also written to %s\n", html.c_str());
    } else {
      std::fprintf(stderr, "cannot write the HTML report to %s\n", html.c_str());
    }
  }
  QORMtxCoreModule_finalize(tally);
  return r.Passed() ? 0 : 1;
}
