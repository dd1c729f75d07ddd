// The main job end to end: a 3-D cantilever block of trilinear hexahedra is assembled (sparse stiffness K and
// consistent mass M with degree-of-freedom ordinals), a basis interpolated from a coarse mesh of the same block is
// written to a database file as a stored matrix on its own ordinals, Bᵀ·K·B and Bᵀ·M·B are formed through the store
// and the reduced eigenproblem is solved; then the lowest modes of the full K, M are computed out of core by
// shift-and-invert (mode shapes in a stored scratch matrix). The natural frequencies of both are reported (text
// here, HTML beside it), with the time and peak memory of every stage.
//
// Checks, stated in the output; the program exits 1 when one fails:
// - the basis spans exactly the coarse model, so the reduced frequencies equal the coarse model's own, assembled
//   and solved densely and independently;
// - the modal solve converges, every backward error is below its tolerance, the stored modes are M-orthonormal and
//   every modal eigenvalue lies at or below the reduced (Rayleigh–Ritz) one of the same index;
// - at a small size, the reduction through the store equals the same reduction formed in core with dense loops,
//   every Rayleigh–Ritz eigenvalue lies at or above the fine model's (solved densely) and the modal solve gives
//   the dense solve's eigenvalues.
//
// Usage: qormtx_example [--across M | --unknowns N] [--slender R] [--modes K] [--html FILE] [--keep]
//                       [--write-pair DIR]
//   --across M        M bricks across the block, R·M along it: about 3·R·M³ unknowns (default 29: about 3·10⁵)
//   --unknowns N      the size by unknowns instead (up to 3·10⁶)
//   --slender R       the block R times as long as it is wide (default 4; a multiple of 4); a slender beam fills
//                     its factor less at the same size
//   --modes K         how many of the lowest modes (default 20)
//   --write-pair DIR  only assemble K and M and write them to DIR/k.mtx and DIR/m.mtx (Matrix Market, symmetric
//                     lower triangles), for programs that read matrix files
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "QORLapackHooks.h"
#include "QORMtxBLA.h"
#include "QORMtxCoreModule.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxDocument.h"
#include "QORMtxMappedOperations.h"
#include "QORMtxMatrix.h"
#include "QORMtxMatrixMarket.h"
#include "QORMtxModalSolver.h"
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
constexpr double kModalTolerance = 1e-12;  // the modal solver's own: on every backward error
constexpr double kDenseTolerance = 1e-8;   // modal against dense eigenvalues at the small size, relative
constexpr double kOrthoTolerance = 1e-10;  // largest entry of Xᵀ·M·X − I
constexpr int kPanelDoubles = 1 << 22;     // a column panel of the stored modes read at a time (32 MB)

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
// Peak resident memory since the last reset (the process's peak where the kernel cannot reset it).
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, 6, "VmHWM:") == 0) return std::atof(line.c_str() + 6) / 1024.0;
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}
// Lets the next peak be the next stage's own rather than the process's.
void ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}
double Hertz(double lambda) { return std::sqrt(std::max(lambda, 0.0)) / (2.0 * M_PI); }

// Stages with their time and their own peak resident memory; a stage over a second shows progress.
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
    ResetPeak();
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

// The lowest count modes of K, M out of core; with a progress line per restart when shown.
QORMtxModalResult SolveModes(const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M, int count, bool show) {
  QORMtxModalOptions options;
  options.count = std::min(count, K.NumberOfRows());
  options.tolerance = kModalTolerance;
  if (show)
    options.progress = [wanted = options.count, start = Seconds()](int restart, int converged, double worst) {
      std::fprintf(stderr, "  restart %d (%.0f s): %d of %d converged, largest error %.2e\n", restart,
                   Seconds() - start, converged, wanted, worst);
    };
  return QORMtxModalSolver::Solve(K, M, options);
}

// Largest entry of Xᵀ·M·X − I, X read from the store in column panels, so that it never has to fit in memory whole.
double OrthonormalityError(const QORMtxSparseMatrix& M, const QORMtxDenseMatrix& X) {
  const int n = X.NumberOfRows(), k = X.NumberOfColumns();
  const int w = std::max(1, std::min(k, kPanelDoubles / std::max(n, 1)));
  std::vector<double> pj, mpj, pi;
  double worst = 0.0;
  for (int j0 = 0; j0 < k; j0 += w) {
    const int wj = std::min(w, k - j0);
    pj.resize(static_cast<size_t>(n) * wj);
    mpj.resize(pj.size());
    X.GetValues(0, n - 1, j0, j0 + wj - 1, pj.data());
    M.Multiply(pj.data(), wj, mpj.data(), false);
    for (int i0 = 0; i0 <= j0; i0 += w) {
      const int wi = std::min(w, k - i0);
      const double* p = pj.data();
      if (i0 != j0) {
        pi.resize(static_cast<size_t>(n) * wi);
        X.GetValues(0, n - 1, i0, i0 + wi - 1, pi.data());
        p = pi.data();
      }
      for (int a = 0; a < wi; ++a)
        for (int b = 0; b < wj; ++b) {
          double dot = 0.0;
          for (int r = 0; r < n; ++r) dot += p[static_cast<size_t>(a) * n + r] * mpj[static_cast<size_t>(b) * n + r];
          worst = std::max(worst, std::fabs(dot - (i0 + a == j0 + b ? 1.0 : 0.0)));
        }
    }
  }
  return worst;
}

// Largest relative difference of the first count values of a against b; infinity when either is short.
double LargestDifference(const std::vector<double>& a, const std::vector<double>& b, size_t count) {
  if (count == 0 || a.size() < count || b.size() < count) return HUGE_VAL;
  double d = 0.0;
  for (size_t i = 0; i < count; ++i) d = std::max(d, std::fabs(a[i] - b[i]) / std::fabs(b[i]));
  return d;
}

struct SmallCheck {
  double storeVsCore = HUGE_VAL;  // largest relative eigenvalue difference
  bool ordered = false;           // every Rayleigh–Ritz value at or above the fine model's
  double modalVsDense = HUGE_VAL; // largest relative difference of the modal eigenvalues from the dense ones
  int fineDofs = 0;
};

// At a small size: the store path against dense loops in core, the Rayleigh–Ritz ordering and the modal solve
// against the fine model's own eigenvalues.
SmallCheck CheckSmall(int modes) {
  SmallCheck r;
  const Block fine = Block::Across(3);
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
  const QORMtxModalResult modal = SolveModes(K, M, modes, false);
  if (modal.status == 0) r.modalVsDense = LargestDifference(modal.eigenvalues, full, modal.eigenvalues.size());
  if (viaStore.size() != inCore.size() || viaStore.empty() || full.size() < viaStore.size()) return r;
  r.storeVsCore = LargestDifference(viaStore, inCore, viaStore.size());
  r.ordered = true;
  for (size_t i = 0; i < viaStore.size(); ++i) r.ordered = r.ordered && viaStore[i] >= full[i] * (1.0 - 1e-10);
  return r;
}

std::string Fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

struct Check {
  bool ok;
  std::string text;
};

struct Results {
  Block fine;
  int dofs = 0, entriesK = 0, entriesM = 0, basisColumns = 0, modes = 20;
  std::string dbPath;
  std::vector<double> reduced, coarse;
  QORMtxModalResult modal;
  double orthonormality = HUGE_VAL;  // largest entry of Xᵀ·M·X − I
  SmallCheck small;
  Stages stages;
  std::vector<Check> checks;
  bool Passed() const {
    for (const Check& c : checks)
      if (!c.ok) return false;
    return !checks.empty();
  }
};

// Every check with its verdict's figures, in the order the report states them.
std::vector<Check> Checks(const Results& r) {
  std::vector<Check> c;
  const size_t shown = std::min(static_cast<size_t>(r.modes), r.reduced.size());
  const double span = r.coarse.size() == r.reduced.size() ? LargestDifference(r.reduced, r.coarse, r.reduced.size())
                                                          : HUGE_VAL;
  c.push_back({span < kSpanTolerance, "reduced eigenvalues equal the coarse model's (largest relative difference " +
                                          Fmt("%.2e", span) + ", limit " + Fmt("%.0e", kSpanTolerance) + ")"});
  const std::string atSmall = "at " + std::to_string(r.small.fineDofs) + " unknowns ";
  c.push_back({r.small.storeVsCore < kStoreTolerance,
               atSmall + "the reduction through the store equals the one formed in core (largest relative difference " +
                   Fmt("%.2e", r.small.storeVsCore) + ")"});
  c.push_back({r.small.ordered, atSmall + "every Rayleigh-Ritz eigenvalue lies at or above the fine model's"});

  const QORMtxModalResult& m = r.modal;
  c.push_back({m.status == 0, "the modal solve converged" + (m.status == 0 ? std::string(" (") +
                                                                                 std::to_string(m.iterations) +
                                                                                 " restarts)"
                                                                           : ": " + m.message)});
  double worst = m.backwardErrors.empty() ? HUGE_VAL : 0.0;
  for (double e : m.backwardErrors) worst = std::max(worst, e);
  c.push_back({m.status == 0 && worst < kModalTolerance,
               "every backward error is below the tolerance (largest " + Fmt("%.2e", worst) + ", tolerance " +
                   Fmt("%.0e", kModalTolerance) + ")"});
  c.push_back({m.status == 0 && r.orthonormality < kOrthoTolerance,
               "the stored modes are M-orthonormal (largest entry of X^T M X - I " + Fmt("%.2e", r.orthonormality) +
                   ", limit " + Fmt("%.0e", kOrthoTolerance) + ")"});
  bool bounded = m.status == 0 && m.eigenvalues.size() >= shown;
  for (size_t i = 0; bounded && i < shown; ++i) bounded = m.eigenvalues[i] <= r.reduced[i] * (1.0 + 1e-10);
  c.push_back({bounded, "every modal eigenvalue lies at or below the reduced one of the same index"});
  c.push_back({r.small.modalVsDense < kDenseTolerance,
               atSmall + "the modal eigenvalues equal the dense solve's (largest relative difference " +
                   Fmt("%.2e", r.small.modalVsDense) + ", limit " + Fmt("%.0e", kDenseTolerance) + ")"});
  return c;
}

// A report table: one heading and width per column, then rows of cells already formatted.
using Cells = std::vector<std::string>;
void WriteTable(QORMtxDocument& doc, const char* title, const std::vector<std::pair<const char*, int>>& columns,
                const std::vector<Cells>& rows) {
  QORMtxTable t(doc, title, "  ");
  for (const auto& c : columns) t.Format(c.second);
  for (const auto& c : columns) t.Head(c.first);
  t << QORMtxTable::Endl;
  t.HeadLine() << QORMtxTable::Endl;
  for (const Cells& row : rows) {
    for (const std::string& cell : row) t.Out(cell.c_str());
    t << QORMtxTable::Endl;
  }
}

void WriteLine(QORMtxDocument& doc, const std::string& text) {
  doc << text.c_str();
  doc.Endl();
}

void Report(const Results& r, QORMtxReportEnum::QORMtxReportMode mode, aio_ostream& out) {
  QORMtxDocument doc("Natural frequencies of a clamped block: reduced onto a stored basis and solved out of core",
                     mode, out);
  WriteLine(doc, "model: " + std::to_string(r.fine.nx) + " x " + std::to_string(r.fine.ny) + " x " +
                     std::to_string(r.fine.nz) + " trilinear bricks of steel, " + Fmt("%.0f", r.fine.lx) + " m x " +
                     Fmt("%.0f", r.fine.ly) + " m x " + Fmt("%.0f", r.fine.lz) + " m, clamped at x = 0");
  WriteLine(doc, "unknowns: " + std::to_string(r.dofs) + "; stored entries (symmetric storage): K " +
                     std::to_string(r.entriesK) + ", M " + std::to_string(r.entriesM));
  WriteLine(doc, "basis: " + std::to_string(r.basisColumns) + " vectors interpolated from a " +
                     std::to_string(kCoarseAlong) + " x " + std::to_string(kCoarseAcross) + " x " +
                     std::to_string(kCoarseAcross) + " coarse mesh, stored in " + r.dbPath);
  {
    std::vector<Cells> rows;
    for (int i = 0; i < r.modes && i < static_cast<int>(r.reduced.size()); ++i) {
      const double c = i < static_cast<int>(r.coarse.size()) ? r.coarse[i] : NAN;
      rows.push_back({std::to_string(i + 1), Fmt("%.10g", r.reduced[i]), Fmt("%.6f", Hertz(r.reduced[i])),
                      Fmt("%.6f", Hertz(c)), Fmt("%.2e", std::fabs(r.reduced[i] - c) / std::fabs(c))});
    }
    WriteTable(doc, "Lowest natural frequencies of the reduced model",
               {{"mode", 6}, {"eigenvalue", 20}, {"frequency Hz", 16}, {"coarse model Hz", 16}, {"rel. diff", 12}},
               rows);
  }
  if (r.modal.status == 0) {
    const QORMtxModalResult& m = r.modal;
    std::vector<Cells> rows;
    for (size_t i = 0; i < m.eigenvalues.size(); ++i)
      rows.push_back({std::to_string(i + 1), Fmt("%.10g", m.eigenvalues[i]), Fmt("%.6f", Hertz(m.eigenvalues[i])),
                      Fmt("%.2e", m.backwardErrors[i]), Fmt("%.2e", m.residuals[i])});
    WriteTable(doc, "Lowest natural frequencies of the full model, out of core",
               {{"mode", 6}, {"eigenvalue", 20}, {"frequency Hz", 16}, {"backward error", 16}, {"residual", 12}}, rows);
  } else {
    // Values that did not converge are no results: only why.
    WriteLine(doc, "modal solve: " + r.modal.message);
  }
  {
    // Each stage's peak is its own (the high-water mark is reset at its start), so the whole run's is their largest.
    std::vector<Cells> rows;
    double seconds = 0.0, peak = 0.0;
    for (const auto& s : r.stages.rows) {
      rows.push_back({s.name.substr(0, 40), Fmt("%.2f", s.seconds), Fmt("%.0f", s.peakMb)});
      seconds += s.seconds;
      peak = std::max(peak, s.peakMb);
    }
    rows.push_back({"whole run", Fmt("%.2f", seconds), Fmt("%.0f", peak)});
    WriteTable(doc, "Stages", {{"stage", 40}, {"time s", 10}, {"peak memory MB", 14}}, rows);
  }
  for (size_t i = 0; i < r.checks.size(); ++i)
    WriteLine(doc, "check " + std::to_string(i + 1) + ", " + (r.checks[i].ok ? "passed" : "FAILED") + ": " +
                       r.checks[i].text);
}

// K and M as Matrix Market files (symmetric lower triangles) in dir; false with the message on failure.
bool WritePair(const std::string& dir, const QORMtxSparseMatrix& K, const QORMtxSparseMatrix& M, Stages& stages) {
  const std::pair<const char*, const QORMtxSparseMatrix*> files[] = {{"k.mtx", &K}, {"m.mtx", &M}};
  for (const auto& f : files) {
    const std::string path = dir + "/" + f.first;
    std::string error;
    stages.Begin("writing " + path);
    if (!QORMtxMatrixMarket::Write(path.c_str(), *f.second, &error)) {
      std::fprintf(stderr, "qormtx_example: %s\n", error.c_str());
      return false;
    }
    stages.End();
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int across = 29, modes = 20, slender = 4;
  double unknowns = 0.0;
  bool keep = false;
  std::string html = "qormtx_example.html", pairDir;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    const bool hasValue = a + 1 < argc;
    if (arg == "--across" && hasValue) {
      across = std::atoi(argv[++a]);
    } else if (arg == "--unknowns" && hasValue) {
      unknowns = std::atof(argv[++a]);
    } else if (arg == "--slender" && hasValue) {
      slender = std::atoi(argv[++a]);
    } else if (arg == "--modes" && hasValue) {
      modes = std::atoi(argv[++a]);
    } else if (arg == "--html" && hasValue) {
      html = argv[++a];
    } else if (arg == "--write-pair" && hasValue) {
      pairDir = argv[++a];
    } else if (arg == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--across M | --unknowns N] [--slender R] [--modes K] [--html FILE] [--keep] "
                   "[--write-pair DIR]\n",
                   argv[0]);
      return 2;
    }
  }
  if (slender < 4 || slender % kCoarseAlong != 0 || slender > 400) {
    // The basis interpolates a coarse mesh of 4 bricks along: the fine bricks must divide its.
    std::fprintf(stderr, "%s: --slender must be a multiple of 4 between 4 and 400\n", argv[0]);
    return 2;
  }
  if (unknowns > 0.0) across = static_cast<int>(std::lround(std::cbrt(unknowns / (3.0 * slender))));
  if (across < 1 || 3.0 * slender * across * across * across > 3.1e6 || modes < 1) {
    std::fprintf(stderr, "%s: the size must lie between 1 brick across and about 3e6 unknowns\n", argv[0]);
    return 2;
  }

  int tally = 0;
  QORMtxCoreModule_initialize(tally);
  QORLapackHooks_Install();  // the dispatch layer has no generalised eigen solver of its own

  Results r;
  r.fine = Block::Across(across, slender);
  r.modes = modes;
  r.dbPath = DbPath("qormtx_example.h5");
  QORMtxSparseMatrix K, M;
  r.stages.Begin("assembly of K and M");
  qormtx_cantilever::Assemble(r.fine, K, M, [&](double f) { r.stages.Progress(f); });
  r.stages.End();
  r.dofs = K.NumberOfRows();
  r.entriesK = K.NumberOfEntries();
  r.entriesM = M.NumberOfEntries();
  if (!pairDir.empty()) {
    const bool written = WritePair(pairDir, K, M, r.stages);
    QORMtxCoreModule_finalize(tally);
    return written ? 0 : 1;
  }

  QORMtxMatrix Kr, Mr;
  ReduceThroughStore(r.fine, K, M, Kr, Mr, r.dbPath, keep, &r.stages);
  r.basisColumns = Kr.NumberOfRows();

  r.stages.Begin("reduced eigen solve");
  r.reduced = Eigenvalues(Kr, Mr);
  r.stages.End();

  r.stages.Begin("modal solve out of core, " + std::to_string(modes) + " modes");
  r.modal = SolveModes(K, M, modes, true);
  r.stages.End();

  r.stages.Begin("checks");
  {
    if (r.modal.status == 0 && r.modal.modes) r.orthonormality = OrthonormalityError(M, *r.modal.modes);
    r.modal.modes.reset();  // its scratch file goes now
    const Block coarse = CoarseOf(r.fine);
    QORMtxSparseMatrix Kc, Mc;
    qormtx_cantilever::Assemble(coarse, Kc, Mc);
    r.coarse = Eigenvalues(Dense(Kc), Dense(Mc));
    r.small = CheckSmall(modes);
  }
  r.stages.End();
  r.checks = Checks(r);

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
