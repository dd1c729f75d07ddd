// The LAPACK hook package's generalised eigen solve beside LAPACK's dsygvd on the same pencil, one kernel thread:
// the full spectrum (ratio_full = dsygvd time / ours) and the lowest 10 by an index range (ratio_lowest10). Pencils:
// the real pairs 21 and 24 when the shared data is present, generated ones otherwise (n = 64 for the smoke run).
#include <benchmark/benchmark.h>
#include <cblas.h>
#include <lapacke.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "QORLapackHooks.h"
#include "QORMtxMatrixMarket.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxSparseMatrixIterator.h"

namespace {

struct Pencil {
  int n = 0;
  std::vector<double> K, M;
};

void Scatter(const QORMtxSparseMatrix& S, int n, std::vector<double>& D) {
  D.assign(static_cast<size_t>(n) * n, 0.0);
  for (QORMtxSparseMatrixIterator it(S); !it.IsDone(); it.Next()) {
    const QORMtxSparseMatrixEntry e = it.CurrentEntry();
    D[static_cast<size_t>(e.m_col) * n + e.m_row] = e.m_value;
    D[static_cast<size_t>(e.m_row) * n + e.m_col] = e.m_value;
  }
}

bool ReadPair(const std::string& id, Pencil& p) {
  const std::string dir = QORMTX_SHARED_DATA "/hb/";
  QORMtxSparseMatrix k, m;
  if (!QORMtxMatrixMarket::Read((dir + "bcsstk" + id + ".mtx").c_str(), k, nullptr) ||
      !QORMtxMatrixMarket::Read((dir + "bcsstm" + id + ".mtx").c_str(), m, nullptr))
    return false;
  p.n = k.NumberOfRows();
  Scatter(k, p.n, p.K);
  Scatter(m, p.n, p.M);
  return true;
}

// A stiffness-like K (diagonally dominant, banded couplings) and a positive diagonal M.
Pencil Generated(int n) {
  Pencil p;
  p.n = n;
  p.K.assign(static_cast<size_t>(n) * n, 0.0);
  p.M.assign(static_cast<size_t>(n) * n, 0.0);
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(0.5, 1.5);
  for (int j = 0; j < n; ++j) {
    for (int i = std::max(0, j - 8); i < j; ++i) {
      const double v = -0.1 * u(gen);
      p.K[static_cast<size_t>(j) * n + i] = p.K[static_cast<size_t>(i) * n + j] = v;
    }
    p.K[static_cast<size_t>(j) * n + j] = 4.0 + u(gen);
    p.M[static_cast<size_t>(j) * n + j] = u(gen);
  }
  return p;
}

double Seconds(const std::chrono::steady_clock::time_point& t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_Eigen(benchmark::State& state, const Pencil* p) {
  const int n = p->n, lowest = std::min(10, n);
  openblas_set_num_threads(1);
  std::vector<double> K, M, w(static_cast<size_t>(n)), z(static_cast<size_t>(n) * n);
  double ref = 0.0, full = 0.0, few = 0.0, gap = 0.0;
  for (auto _ : state) {
    K = p->K;
    M = p->M;
    auto t0 = std::chrono::steady_clock::now();
    LAPACKE_dsygvd(LAPACK_COL_MAJOR, 1, 'V', 'U', n, K.data(), n, M.data(), n, w.data());
    ref += Seconds(t0);
    const double reference = w[0];

    int found = 0;
    K = p->K;
    M = p->M;
    t0 = std::chrono::steady_clock::now();
    QORLapackHooks::EigenSolve('U', n, K.data(), M.data(), 0, 0, false, 1, found, w.data(), z.data(), nullptr, 0);
    full += Seconds(t0);

    K = p->K;
    M = p->M;
    t0 = std::chrono::steady_clock::now();
    QORLapackHooks::EigenSolve('U', n, K.data(), M.data(), 1, lowest, false, 1, found, w.data(), z.data(), nullptr,
                               1);
    const double s = Seconds(t0);
    few += s;
    state.SetIterationTime(s);
    gap = std::max(gap, std::fabs(w[0] - reference) / std::fabs(reference));
  }
  state.counters["n"] = n;
  state.counters["dsygvd_s"] = ref / state.iterations();
  state.counters["ratio_full"] = ref / full;
  state.counters["ratio_lowest10"] = ref / few;
  state.counters["lambda1_reldiff"] = gap;  // lowest eigenvalue against dsygvd's
}

}  // namespace

int main(int argc, char** argv) {
  static std::vector<std::pair<std::string, Pencil>> pencils;
  pencils.emplace_back("generated/64", Generated(64));
  Pencil p;
  bool real = false;
  for (const char* id : {"21", "24"})
    if (ReadPair(id, p)) {
      pencils.emplace_back(std::string("hb") + id, p);
      real = true;
    }
  if (!real) pencils.emplace_back("generated/1500", Generated(1500));
  for (const auto& [name, pencil] : pencils) {
    auto* b = benchmark::RegisterBenchmark(("BM_Eigen/" + name).c_str(), BM_Eigen, &pencil);
    b->UseManualTime()->Unit(benchmark::kSecond);
    if (pencil.n > 64) b->Iterations(1);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
