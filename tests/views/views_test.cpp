// Kernel matrix views and static operations: ownership through the allocation hooks, blocked products against the
// triple loop, eigen solves by residual, windows, transposes, the text export, products with a stored operand.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "QORMtxBlaMatrix.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxOperations.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxTransBlaMtx.h"
#include "QORMtxUtilities.h"
#include "QORSimDatabase.h"
#include "mem_Alloc.h"
#include "qormtx_death.h"
#include "qormtx_reference.h"

namespace {

using BM = QORMtxBlaMatrix;
using ref::Dense;

BM Make(const Dense& d, BM::QORMtxProperty p = BM::GENERAL) { return BM(d.rows, d.cols, d.a.data(), p); }
Dense Read(const BM& m) {
  Dense d(m.NumberOfRows(), m.NumberOfColumns());
  if (d.rows && d.cols) m.GetValues(0, d.rows - 1, 0, d.cols - 1, d.a.data());
  return d;
}

// Allocation traffic through the library's hooks.
std::set<void*> g_live;
int g_allocs = 0, g_frees = 0;
void* CountingAlloc(size_t n) { return ++g_allocs, *g_live.insert(mem_OperatorNewThrowBuiltin(n)).first; }
void CountingFree(void* p) {
  if (!p) return;
  ++g_frees;
  EXPECT_EQ(g_live.erase(p), 1u) << "freed what the hooks did not hand out";
  mem_Free(p);
}
struct Hooks {
  Hooks() {
    g_allocs = g_frees = 0;
    QORMtxUtilities::SetAllocator(CountingAlloc);
    QORMtxUtilities::SetDeallocator(CountingFree);
  }
  ~Hooks() {
    QORMtxUtilities::SetAllocator(nullptr);
    QORMtxUtilities::SetDeallocator(nullptr);
  }
};

TEST(BlaMatrixViews, OneAllocationFreedByTheLastHolderNeverTheCallers) {
  QORMtxMatrix caller(4, 4);
  Hooks hooks;
  const Dense d = ref::Random(6, 5, 1);
  auto owner = std::make_unique<BM>(6, 5, d.a.data(), BM::GENERAL);
  EXPECT_EQ(g_allocs, 1);
  std::unique_ptr<BM> window(owner->Submatrix(2, 4, 1, 3)), inner(window->Submatrix(1, 2, 1, 1));
  EXPECT_EQ(g_allocs, 1);
  EXPECT_EQ(inner->Values(), owner->Values() + 3 + 6 * 2);
  owner.reset();
  window.reset();
  EXPECT_EQ(g_frees, 0);
  inner.reset();  // starts inside the allocation; the allocation's own start is freed
  EXPECT_EQ(g_frees, 1);
  EXPECT_TRUE(g_live.empty());

  g_allocs = g_frees = 0;
  { BM view(caller, BM::SYMMETRIC), copy(view); }
  EXPECT_EQ(g_allocs, 1);  // the deep copy only
  EXPECT_EQ(g_frees, 1);
}

// A structured matrix keeps one triangle (lower when tall) and mirrors it, negated when skew-symmetric.
Dense Mirror(const Dense& p, BM::QORMtxProperty prop) {
  const bool tall = p.cols <= p.rows;
  if (prop == BM::GENERAL) return p;
  Dense e = p;
  const double sign = prop == BM::SKEWSYMMETRIC ? -1.0 : 1.0;
  for (int j = 0; j < std::min(p.rows, p.cols); ++j)
    for (int i = j + 1; i < std::min(p.rows, p.cols); ++i)
      (tall ? e(j, i) : e(i, j)) = sign * (tall ? p(i, j) : p(j, i));
  return e;
}
// A structured product is mirrored only when it spans more than one block of 144.
Dense Expected(const Dense& p, BM::QORMtxProperty prop) { return p.rows <= 144 && p.cols <= 144 ? p : Mirror(p, prop); }

TEST(BlaMatrixViews, BlockedProductsAgainstTheTripleLoop) {
  struct Case {
    int m, n, k;
  };
  for (const Case c : {Case{1, 1, 3},
                       {143, 143, 5},
                       {144, 144, 7},
                       {145, 145, 4},
                       {288, 288, 3},
                       {300, 300, 2},
                       {300, 150, 3},
                       {150, 300, 3}})
    for (BM::QORMtxProperty prop : {BM::GENERAL, BM::SYMMETRIC, BM::SKEWSYMMETRIC})
      for (int t = 0; t < 4; ++t) {
        const bool ta = t & 1, tb = t & 2;
        const Dense a = ref::Random(c.m, c.k, 10 + t), b = ref::Random(c.k, c.n, 20 + t), c0 = ref::Random(c.m, c.n, 3);
        const BM A = Make(ta ? ref::Transpose(a) : a), B = Make(tb ? ref::Transpose(b) : b);
        BM C = Make(c0, prop);
        C.Multiply(A, B, 1.5, -0.5, ta, tb);
        EXPECT_TRUE(ref::Near(Read(C), Expected(ref::Lin(1.5, ref::Product(a, b), -0.5, c0), prop), 1e-13))
            << c.m << "x" << c.n << " property " << prop << " trans " << ta << tb;
      }
}

TEST(BlaMatrixViews, UpdatesWindowsAndTransposes) {
  const Dense x = ref::Random(5, 5, 4), y = ref::Random(5, 5, 5);
  BM S = Make(x, BM::SYMMETRIC);
  S.Add(-2.0, Make(y));
  S.Multiply(3.0);  // lower triangle computed and mirrored
  EXPECT_TRUE(ref::Near(Read(S), Mirror(ref::Lin(3.0, x, -6.0, y), BM::SYMMETRIC)));

  BM big = Make(ref::Random(7, 6, 6));
  const Dense before = Read(big);
  std::unique_ptr<BM> w(big.Submatrix(1, 3, 1, 3));
  w->Transpose();  // square window: in place, seen through the whole matrix
  EXPECT_TRUE(ref::Near(Read(big).Block(1, 3, 1, 3), ref::Transpose(before.Block(1, 3, 1, 3))));
  w->SetValues(0, 1, 2, 2, std::vector<double>{8, 9}.data());
  EXPECT_EQ(Read(big)(1, 3), 8.0);
  const Dense r = ref::Random(3, 4, 7);
  BM rect = Make(r);
  rect.Transpose();
  EXPECT_TRUE(ref::Near(Read(rect), ref::Transpose(r)));
  BM left = Make(r);
  left.LeftMultiply(Make(x.Block(0, 2, 0, 2)), 2.0, true);
  EXPECT_TRUE(ref::Near(Read(left), ref::Lin(2.0, ref::Product(ref::Transpose(x.Block(0, 2, 0, 2)), r), 0, r)));
}

TEST(BlaMatrixViews, EigenSolveOnViewsOfCallerMatrices) {
  const int n = 6;
  const Dense g = ref::Random(n, n, 8);
  Dense k = ref::Lin(1, g, 1, ref::Transpose(g)), m = ref::Product(g, ref::Transpose(g));
  for (int i = 0; i < n; ++i) m(i, i) += n;
  QORMtxMatrix K(n, n), M(n, n), Xc(n, n);
  std::copy(k.a.begin(), k.a.end(), K.Values());
  std::copy(m.a.begin(), m.a.end(), M.Values());
  BM Kv(K, BM::SYMMETRIC), Mv(M, BM::SYMMETRIC), X(Xc, BM::GENERAL);
  std::vector<double> lambda(n);
  Kv.SolveEigenproblemSymmetric(Mv, lambda.data(), X);
  const Dense x = Read(X), kx = ref::Product(k, x), mx = ref::Product(m, x);
  Dense lmx = mx;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) lmx(i, j) *= lambda[j];
  EXPECT_TRUE(ref::Near(kx, lmx, 1e-12));
  Dense id(n, n);
  for (int i = 0; i < n; ++i) id(i, i) = 1.0;
  EXPECT_TRUE(ref::Near(ref::Product(ref::Transpose(x), mx), id, 1e-12));
  EXPECT_TRUE(std::is_sorted(lambda.begin(), lambda.end()));
  EXPECT_TRUE(ref::Near(Read(Kv), k, 0));  // left as it was
}

TEST(BlaMatrixViews, ExportOnFileAndBlockCounts) {
  const std::string path = ::testing::TempDir() + "bla_export.txt";
  BM m(2, 2, std::vector<double>{1.0, -0.25, 12345.0, 0.0}.data(), BM::GENERAL);
  m.ExportOnFile(path.c_str());
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "1.00e+00 1.23e+04 \n-2.50e-01 0.00e+00 \n");
  std::remove(path.c_str());

  for (const auto& [n, blocks, last] : {std::tuple{300, 3, 12}, {288, 2, 144}, {1, 1, 1}}) {
    BM a(n, 2, nullptr, BM::GENERAL);
    const QORMtxTransBlaMtx op(&a, true);
    EXPECT_EQ(op.NumberOfColBlocks(), blocks);
    EXPECT_EQ(op.NumColsInColBlock(blocks - 1), last);
    EXPECT_EQ(op.NumberOfRowBlocks(), 1);
  }
}

TEST(BlaMatrixViewsDeath, Preconditions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  BM a(4, 3, nullptr, BM::GENERAL), b(3, 3, nullptr, BM::SYMMETRIC);
  std::unique_ptr<BM> w(a.Submatrix(0, 1, 0, 2));
  EXPECT_QORMTX_ASSERTION(w->Transpose(), "(m_offset==m_dim1) || (m_dim1==m_dim2)");
  EXPECT_QORMTX_ASSERTION(a.Submatrix(0, 4, 0, 0), "endRow<m_dim1 && endCol<m_dim2");
  EXPECT_QORMTX_ASSERTION(a.Add(1.0, b), "(m_dim1 == rhs.m_dim1) && (m_dim2 == rhs.m_dim2)");
  EXPECT_QORMTX_ASSERTION(b.Multiply(a, a, 1, 0, false, false), "NumColsOpA == OpB.NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(a.SolveEigenproblemSymmetric(b, nullptr, b), "IsSymmetric()");
  const QORMtxTransBlaMtx op(&a, false);
  EXPECT_QORMTX_ASSERTION(op.GetRowBlock(1), "i<m_numRowBlocks");
}

// ---- Static operations ----

QORMtxMatrix InCore(const Dense& d) {
  QORMtxMatrix m(d.rows, d.cols);
  std::copy(d.a.begin(), d.a.end(), m.Values());
  return m;
}

TEST(Operations, InCoreAndEnergyProducts) {
  for (const auto& [m, n, k] : {std::tuple{4, 3, 5}, {1, 1, 1}, {2, 5, 3}}) {
    const Dense a = ref::Random(m, k, 30), b = ref::Random(k, n, 31), c0 = ref::Random(m, n, 32);
    QORMtxMatrix C = InCore(c0);
    QORMtxOperations::Multiply(InCore(a), InCore(b), C, 2.0, -1.0);
    Dense got(m, n);
    std::copy(C.Values(), C.Values() + got.a.size(), got.a.begin());
    EXPECT_TRUE(ref::Near(got, ref::Lin(2.0, ref::Product(a, b), -1.0, c0))) << m << "x" << n << "x" << k;
  }
  const Dense a = ref::Random(6, 6, 33), b = ref::Random(6, 4, 34), ab = ref::Product(a, b);
  const QORMtxMatrix A = InCore(a), B = InCore(b);
  std::vector<double> work(24), products(4);
  {
    Hooks hooks;  // with a work array nothing is allocated
    QORMtxOperations::EnergyProducts(A, B, products.data(), work.data());
    EXPECT_EQ(g_allocs, 0);
  }
  for (double* w : {work.data(), static_cast<double*>(nullptr)}) {
    QORMtxOperations::EnergyProducts(A, B, products.data(), w);
    for (int j = 0; j < 4; ++j) {
      double e = 0;
      for (int i = 0; i < 6; ++i) e += b(i, j) * ab(i, j);
      EXPECT_NEAR(products[j], e, 1e-13) << j;
    }
  }
}

TEST(Operations, SparseTimesStoredAgainstTheDenseReference) {
  QORSimDatabase db;
  db.CreateInMemory("operations");
  for (bool symmetric : {false, true})
    for (bool trans : {false, true}) {
      const int rows = symmetric ? 6 : 7, cols = 6;
      QORMtxSparseMatrix K;
      K.BeginAssembly(true);
      Dense k(rows, cols);
      std::mt19937_64 rng = ref::Rng(40);
      for (int e = 0; e < 15; ++e) {
        int r = static_cast<int>(rng() % rows), c = static_cast<int>(rng() % cols);
        if (symmetric && c > r) std::swap(r, c);
        const double v = static_cast<double>(rng() % 9) - 4.0;
        K.AddData(r, c, v, true);
        k(r, c) += v;
        if (symmetric && r != c) k(c, r) += v;
      }
      K.AddData(rows - 1, cols - 1, 0.5, true);
      k(rows - 1, cols - 1) += 0.5;
      K.EndAssembly(symmetric);
      const Dense op = trans && !symmetric ? ref::Transpose(k) : k;
      const Dense b = ref::Random(op.cols, 9, 41);
      const QORMtxDenseMatrix B(ref::Store(db.ContextID(), b, 4, 3));
      QORMtxDenseMatrix C(ref::Store(db.ContextID(), Dense(op.rows, 9, -7.0), 3, 2));
      QORMtxOperations::Multiply(K, B, C, trans);
      EXPECT_TRUE(ref::Near(ref::Load(C), ref::Product(op, b))) << symmetric << trans;
    }
  db.Close();
}

TEST(OperationsDeath, FailuresNameTheirOwnFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  QORMtxMatrix A(2, 3), B(2, 2), C(2, 2), D(2, 2, QORMtxMatrix::DIAG);
  const std::string file = "File QORMtx/QORMtxCore.m/src/QORMtxOperations, line ";
  EXPECT_QORMTX_ASSERTION(QORMtxOperations::Multiply(A, B, C, 1, 0),
                          "numRowsB == numColsA && numRowsC == numRowsA && numColsC == numColsB");
  EXPECT_DEATH(QORMtxOperations::Multiply(A, B, C, 1, 0), qormtx_test::Literal(file));
  EXPECT_QORMTX_ASSERTION(QORMtxOperations::Multiply(D, B, C, 1, 0),
                          "!A.IsDiagonal() && !B.IsDiagonal() && !B.IsDiagonal()");
  double p[2];
  EXPECT_QORMTX_ASSERTION(QORMtxOperations::EnergyProducts(A, B, p, nullptr), "!!A && !!B && products && A.IsSquare()");
}

}  // namespace
