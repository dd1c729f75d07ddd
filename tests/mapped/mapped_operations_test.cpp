// Mapped copies, products, energy products and projections on shuffled, partly overlapping ordinal sets, against the
// reference that pairs by ordinal on plain arrays. Stored operands come in small chunks, so every streamed form
// makes several passes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "QORMtxMappedOperations.h"
#include "mapped_test_util.h"
#include "omi_IntTable.h"
#include "qormtx_death.h"

using namespace mapped_test;
using ref::Dense;
using ref::Near;
using ref::Product;
using ref::Transpose;

namespace {

struct Shapes {
  int rowChunk, colChunk;
};

struct Case {
  const char* name;
  std::function<::testing::AssertionResult(MappedTest&, std::mt19937_64&, Shapes)> run;
};

Dense Stored(const QORSimDistributionID& id) { return ref::Load(QORMtxDenseMatrix(id)); }
Dense Row(const std::vector<double>& v) {
  Dense d(1, static_cast<int>(v.size()));
  d.a = v;
  return d;
}

// op(A)·B in ordinal space, on the given result rows and columns.
Dense MappedProduct(const Op& opA, const Op& B, const std::vector<int>& rows, const std::vector<int>& cols) {
  return Product(Reindex(opA, rows, Universe()), Reindex(B, Universe(), cols));
}

// b_kᵀ·A·u_k for the columns of two blocks already in A's numbering.
std::vector<double> Energies(const Dense& A, const Dense& U, const Dense& V) {
  const Dense W = Product(A, U);
  std::vector<double> e(static_cast<size_t>(U.cols), 0.0);
  for (int k = 0; k < U.cols; ++k)
    for (int i = 0; i < U.rows; ++i) e[k] += V(i, k) * W(i, k);
  return e;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"stored x stored into core, both orientations",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const bool transA = rng() % 2;
         const Op A = Random(rng, Ordinals(rng, 14), Ordinals(rng, 25)), B = Random(rng, Ordinals(rng, 22), Positions(5));
         const Op opA = transA ? Transposed(A) : A;
         const QORMtxDenseMatrix a(t.Store(A, s.rowChunk, s.colChunk)), b(t.Store(B, s.rowChunk, s.colChunk));
         QORMtxMatrix C(opA.v.rows, 5);
         QORMtxMappedOperations::Multiply(a, b, C, transA, 0);
         return Near(Values(C), MappedProduct(opA, B, opA.rows, B.cols));
       }},
      {"stored x stored into stored: unpaired entries of C kept",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const bool transA = rng() % 2;
         const Op A = Random(rng, Ordinals(rng, 15), Ordinals(rng, 24)), B = Random(rng, Ordinals(rng, 20), Ordinals(rng, 9));
         const Op C0 = Random(rng, Ordinals(rng, 18), Ordinals(rng, 12));
         const Op opA = transA ? Transposed(A) : A;
         const QORMtxDenseMatrix a(t.Store(A, s.rowChunk, s.colChunk)), b(t.Store(B, s.colChunk, s.rowChunk));
         const QORSimDistributionID c = t.Store(C0, s.rowChunk, s.colChunk);
         QORMtxDenseMatrix cm(c);
         QORMtxMappedOperations::Multiply(a, b, cm, transA, 0);
         return Near(Stored(c), Keep(MappedProduct(opA, B, C0.rows, C0.cols), C0.v, [&](int i, int j) {
                       return !Has(opA.rows, C0.rows[i]) || !Has(B.cols, C0.cols[j]);
                     }));
       }},
      {"stored x core into stored and into core by row ordinals",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const bool transA = rng() % 2;
         const Op A = Random(rng, Ordinals(rng, 16), Ordinals(rng, 11));
         const Op opA = transA ? Transposed(A) : A;
         const Dense B = ref::Random(opA.v.cols, 4, rng());
         const Op C0 = Random(rng, Ordinals(rng, 13), Positions(4));
         const QORMtxDenseMatrix a(t.Store(A, s.rowChunk, s.colChunk));
         const QORSimDistributionID c = t.Store(C0, s.rowChunk, s.colChunk);
         QORMtxDenseMatrix cm(c);
         QORMtxMappedOperations::Multiply(a, InCore(B), cm, transA);
         const Dense full = Product(Reindex(opA, C0.rows, opA.cols), B);
         const auto stored = Near(Stored(c), Keep(full, C0.v, [&](int i, int) { return !Has(opA.rows, C0.rows[i]); }));
         if (!stored) return stored;
         const std::vector<int> ordC = Ordinals(rng, 13, 3);  // unpaired rows of C become 0
         QORMtxMatrix Cc = InCore(ref::Random(13, 4, rng()));
         Cc.SetRowOrdinals(ordC.data());
         QORMtxMappedOperations::Multiply(a, InCore(B), Cc, transA, 0);
         return Near(Values(Cc), Product(Reindex(opA, ordC, opA.cols), B));
       }},
      {"stored x sparse into core, accumulating",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const bool transB = rng() % 2, sym = rng() % 2;
         const Op B = Random(rng, Ordinals(rng, 12), Ordinals(rng, 21));
         const Op opB = transB ? Transposed(B) : B;
         const Op K = SparseOp(rng, Ordinals(rng, 17, 2), Positions(17), sym);
         QORMtxSparseMatrix k;
         Sparse(K, sym, k, false);
         const Dense C0 = ref::Random(opB.v.rows, 17, rng());
         QORMtxMatrix C = InCore(C0);
         QORMtxMappedOperations::Multiply(QORMtxDenseMatrix(t.Store(B, s.rowChunk, s.colChunk)), transB, k,
                                          Vec(K.rows), C, true);
         Op kRows = K;
         kRows.cols = Positions(17);
         return Near(Values(C), ref::Lin(1.0, MappedProduct(opB, kRows, opB.rows, kRows.cols), 1.0, C0));
       }},
      {"sparse x stored into stored, symmetric storage mirrored",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const bool transA = rng() % 2, sym = rng() % 2;
         const Op K = SparseOp(rng, Ordinals(rng, 19, 3), Ordinals(rng, 19, 2), sym);
         const Op opK = transA && !sym ? Transposed(K) : K;
         QORMtxSparseMatrix k;
         Sparse(K, sym, k);
         const Op B = Random(rng, Ordinals(rng, 23), Ordinals(rng, 7));
         const Op C0 = Random(rng, Ordinals(rng, 21), Ordinals(rng, 8));
         const QORSimDistributionID c = t.Store(C0, s.rowChunk, s.colChunk);
         QORMtxDenseMatrix cm(c);
         QORMtxMappedOperations::Multiply(k, QORMtxDenseMatrix(t.Store(B, s.rowChunk, s.colChunk)), cm, transA);
         return Near(Stored(c), Keep(MappedProduct(opK, B, C0.rows, C0.cols), C0.v, [&](int i, int j) {
                       return !Has(opK.rows, C0.rows[i]) || !Has(B.cols, C0.cols[j]);
                     }));
       }},
      {"sparse x core, alpha and beta, and the dense matrix product through a map",
       [](MappedTest& t, std::mt19937_64& rng, Shapes) {
         (void)t;
         const bool transA = rng() % 2, sym = rng() % 2;
         const Op K = SparseOp(rng, Ordinals(rng, 15, 2), Ordinals(rng, 15, 1), sym);
         const Op opK = transA && !sym ? Transposed(K) : K;
         QORMtxSparseMatrix k;
         Sparse(K, sym, k);
         const Op B = Random(rng, Ordinals(rng, 18, 2), Positions(3));
         const Op C0 = Random(rng, Ordinals(rng, 16, 2), Positions(3));
         QORMtxMatrix C = InCore(C0.v);
         QORMtxMappedOperations::Multiply(0.5, k, InCore(B.v), Vec(B.rows), -2.0, C, Vec(C0.rows), transA);
         const auto r = Near(Values(C), ref::Lin(0.5, MappedProduct(opK, B, C0.rows, B.cols), -2.0, C0.v));
         if (!r) return r;
         // V = alpha·A·U(map[dof], :) + beta·V
         const Dense A = ref::Random(6, 4, rng()), U = ref::Random(9, 3, rng()), V0 = ref::Random(6, 3, rng());
         const std::vector<int> dofs = {30, 11, 25, 7};
         omi_IntTable<int> map;
         for (int d = 0; d < 4; ++d) map.Insert(dofs[d], 8 - 2 * d);
         QORMtxMatrix V = InCore(V0);
         QORMtxMappedOperations::MatrixProduct(2.0, InCore(A), Vec(dofs), InCore(U), map, 0.5, V);
         Dense G(4, 3);
         for (int d = 0; d < 4; ++d) G.SetBlock(d, 0, U.Block(8 - 2 * d, 8 - 2 * d, 0, 2));
         return Near(Values(V), ref::Lin(2.0, Product(A, G), 0.5, V0));
       }},
      {"copies of rows, columns and values, in core and stored",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const Op A = Random(rng, Ordinals(rng, 17, 2), Ordinals(rng, 6)), B0 = Random(rng, Ordinals(rng, 19, 2), Ordinals(rng, 8));
         const auto rowsKept = [&](const std::vector<int>& from, const std::vector<int>& to) {
           return [from, to](int i, int j) { return j >= 6 || !Has(from, to[i]); };
         };
         const Dense rowsOfA = Reindex(Op{A.v, A.rows, Positions(6)}, B0.rows, Positions(8));
         QORMtxMatrix B = InCore(B0.v);
         QORMtxMappedOperations::AddRows(-1.5, InCore(A.v), A.rows.data(), B, B0.rows.data());
         auto r = Near(Values(B), ref::Lin(-1.5, rowsOfA, 1.0, B0.v));
         if (!r) return r << " (AddRows)";
         B = InCore(B0.v);
         QORMtxMappedOperations::CopyRows(InCore(A.v), A.rows.data(), B, B0.rows.data());
         const Dense copied = Keep(rowsOfA, B0.v, rowsKept(A.rows, B0.rows));
         if (!(r = Near(Values(B), copied))) return r << " (CopyRows in core)";
         QORMtxMatrix Bt = InCore(Transpose(B0.v).Block(0, 5, 0, 18));
         QORMtxMappedOperations::CopyColumns(InCore(Transpose(A.v)), A.rows.data(), Bt, B0.rows.data());
         if (!(r = Near(Values(Bt), Transpose(copied).Block(0, 5, 0, 18)))) return r << " (CopyColumns in core)";
         // Stored: A and B on non-negative ordinals.
         const Op SA = Random(rng, Ordinals(rng, 17), Ordinals(rng, 6)), SB = Random(rng, Ordinals(rng, 19), Ordinals(rng, 8));
         const Dense stored = Keep(Reindex(Op{SA.v, SA.rows, Positions(6)}, SB.rows, Positions(8)), SB.v,
                                   rowsKept(SA.rows, SB.rows));
         const QORMtxDenseMatrix sa(t.Store(SA, s.rowChunk, s.colChunk));
         QORSimDistributionID b = t.Store(SB, s.colChunk, s.rowChunk);
         QORMtxDenseMatrix sb(b);
         QORMtxMappedOperations::CopyRows(sa, sb);
         if (!(r = Near(Stored(b), stored))) return r << " (CopyRows stored)";
         QORMtxDenseMatrix sb2(b = t.Store(SB, s.rowChunk, s.colChunk));
         QORMtxMappedOperations::CopyRows(sa, sb2, Vec(SB.rows));
         if (!(r = Near(Stored(b), stored))) return r << " (CopyRows stored, ordinals)";
         B = InCore(SB.v);
         QORMtxMappedOperations::CopyRows(sa, B, Vec(SB.rows));
         if (!(r = Near(Values(B), stored))) return r << " (CopyRows stored into core)";
         QORMtxDenseMatrix sb3(b = t.Store(SB, s.rowChunk, s.colChunk));
         QORBasVector<int> ordA = Vec(SA.rows);
         QORMtxMappedOperations::CopyRows(InCore(SA.v), ordA, sb3);
         if (!(r = Near(Stored(b), stored))) return r << " (CopyRows core into stored)";
         const Op TSA = Transposed(SA), TSB = Transposed(SB);
         QORMtxDenseMatrix sb4(b = t.Store(TSB, s.rowChunk, s.colChunk));
         QORMtxMappedOperations::CopyColumns(QORMtxDenseMatrix(t.Store(TSA, s.rowChunk, s.colChunk)), sb4);
         if (!(r = Near(Stored(b), Transpose(stored)))) return r << " (CopyColumns stored)";
         // Every column of an in-core B found in A, in B's own order.
         std::vector<int> pick = {SA.rows[4], SA.rows[0], SA.rows[9]};
         QORMtxMatrix Bc(6, 3);
         Bc.SetColOrdinals(pick.data());
         QORMtxMappedOperations::CopyColumns(QORMtxDenseMatrix(t.Store(TSA, s.rowChunk, s.colChunk)), Bc);
         if (!(r = Near(Values(Bc), Reindex(TSA, TSA.rows, pick)))) return r << " (CopyColumns into core)";
         // Values: paired rows and paired columns only.
         const Op V0 = Random(rng, Ordinals(rng, 20), Ordinals(rng, 9));
         QORMtxDenseMatrix sv(b = t.Store(V0, s.rowChunk, s.colChunk));
         QORMtxMappedOperations::CopyValues(QORMtxDenseMatrix(t.Store(SA, s.rowChunk, s.colChunk)), sv);
         return Near(Stored(b), Keep(Reindex(SA, V0.rows, V0.cols), V0.v, [&](int i, int j) {
                       return !Has(SA.rows, V0.rows[i]) || !Has(SA.cols, V0.cols[j]);
                     })) << " (CopyValues)";
       }},
      {"energy products: in core, transposed, by map and by ordinals, sparse with stored",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const std::vector<int> dofs = Ordinals(rng, 9), vecDofs = Ordinals(rng, kUniverse - 5, 0);
         std::vector<int> vd = dofs;  // the vectors cover A's degrees of freedom, and more
         for (int o : vecDofs)
           if (!Has(vd, o) && vd.size() < 20) vd.push_back(o);
         std::shuffle(vd.begin(), vd.end(), rng);
         const Dense A = ref::Random(9, 9, rng());
         const Op U = Random(rng, vd, Positions(4)), V = Random(rng, vd, Positions(4));
         const Dense Ug = Reindex(U, dofs, Positions(4)), Vg = Reindex(V, dofs, Positions(4));
         const std::vector<double> e = Energies(A, Ug, Vg);
         std::vector<double> p(8, 7.0), q(8, 7.0), expect(8, 7.0);
         for (int k = 0; k < 4; ++k) expect[2 * k] = 3.0 * e[k] + 0.5 * 7.0;
         QORMtxMappedOperations::EnergyProduct(3.0, InCore(A), Vec(dofs), InCore(U.v), InCore(V.v), Vec(vd), 0.5,
                                               p.data(), 2);
         QORMtxMappedOperations::EnergyProductTransp(3.0, InCore(A), Vec(dofs), InCore(U.v), InCore(Transpose(V.v)),
                                                     Vec(vd), 0.5, q.data(), 2);
         auto r = Near(Row(p), Row(expect));
         if (!r || !(r = Near(Row(q), Row(expect)))) return r;
         omi_IntTable<int> map;
         for (int i = 0; i < 9; ++i) map.Insert(i, static_cast<int>(std::find(vd.begin(), vd.end(), dofs[i]) - vd.begin()));
         p.assign(8, 7.0);
         q.assign(8, 7.0);
         QORMtxMappedOperations::EnergyProduct(3.0, InCore(A), Vec(dofs), InCore(U.v), InCore(V.v), map, 0.5, p.data(), 2);
         QORMtxMappedOperations::EnergyProductTransp(3.0, InCore(A), Vec(dofs), InCore(U.v), InCore(Transpose(V.v)), map,
                                                     0.5, q.data(), 2);
         if (!(r = Near(Row(p), Row(expect))) || !(r = Near(Row(q), Row(expect)))) return r << " (map forms)";
         std::vector<double> b(4);
         QORMtxMappedOperations::EnergyProduct(InCore(A), Vec(dofs), InCore(U.v), Vec(vd), b.data(), 0);
         if (!(r = Near(Row(b), Row(Energies(A, Ug, Ug))))) return r << " (by ordinals)";
         // Sparse K, perfectly square, against a stored B that misses some of K's rows.
         const Op K = SparseOp(rng, Ordinals(rng, 18), {}, true);
         QORMtxSparseMatrix k;
         Sparse(K, true, k);
         const Op B = Random(rng, Ordinals(rng, 24), Positions(5));
         b.assign(5, 7.0);
         QORMtxMappedOperations::EnergyProduct(k, QORMtxDenseMatrix(t.Store(B, s.rowChunk, s.colChunk)), b.data());
         const Dense Bg = Reindex(B, K.rows, B.cols);
         return Near(Row(b), Row(Energies(K.v, Bg, Bg))) << " (sparse with stored)";
       }},
      {"projections: in core, stored into stored, stored into core, stored with core",
       [](MappedTest& t, std::mt19937_64& rng, Shapes s) {
         const bool sym = rng() % 2;
         const Op K = SparseOp(rng, Ordinals(rng, 22, sym ? 0 : 2), Ordinals(rng, 22, 2), sym);
         QORMtxSparseMatrix k;
         Sparse(K, sym, k);
         const Op B1 = Random(rng, Ordinals(rng, 26, 3), Ordinals(rng, 4)), B2 = Random(rng, Ordinals(rng, 25, 2), Ordinals(rng, 5));
         const auto project = [&](const Op& b1, const Op& b2, const std::vector<int>& rows, const std::vector<int>& cols) {
           return Product(Transpose(Reindex(b1, Universe(), rows)), Product(Reindex(K, Universe(), Universe()),
                                                                             Reindex(b2, Universe(), cols)));
         };
         QORMtxMatrix C(4, 5);
         QORMtxMappedOperations::Project(InCore(B1.v), Vec(B1.rows), k, InCore(B2.v), Vec(B2.rows), C, 0);
         auto r = Near(Values(C), project(B1, B2, B1.cols, B2.cols));
         if (!r) return r << " (in core)";
         // Stored operands: non-negative ordinals; B1 and B2 of equal width for the in-core result.
         const Op S1 = Random(rng, Ordinals(rng, 27), Ordinals(rng, 5)), S2 = Random(rng, Ordinals(rng, 24), Ordinals(rng, 5));
         const QORMtxDenseMatrix s1(t.Store(S1, s.rowChunk, s.colChunk)), s2(t.Store(S2, s.rowChunk, s.colChunk));
         const Op C0 = Random(rng, Ordinals(rng, 8), Ordinals(rng, 7));
         const QORSimDistributionID c = t.Store(C0, s.rowChunk, s.colChunk);
         QORMtxDenseMatrix cm(c);
         QORMtxMappedOperations::Project(s1, k, s2, cm, 0);
         r = Near(Stored(c), Keep(project(S1, S2, C0.rows, C0.cols), C0.v, [&](int i, int j) {
                    return !Has(S1.cols, C0.rows[i]) || !Has(S2.cols, C0.cols[j]);
                  }));
         if (!r) return r << " (stored into stored)";
         const Op P1{S1.v, S1.rows, Positions(5)}, P2{S2.v, S2.rows, Positions(5)};
         QORMtxMatrix Ci;
         QORMtxMappedOperations::Project(s1, k, s2, Ci, 0);
         if (!(r = Near(Values(Ci), project(P1, P2, Positions(5), Positions(5))))) return r << " (stored into core)";
         QORBasVector<int> ord2 = Vec(B2.rows);
         QORMtxMatrix Cm(5, 5);
         QORMtxMappedOperations::Project(s1, k, InCore(B2.v), ord2, Cm, 0);
         return Near(Values(Cm), project(P1, Op{B2.v, B2.rows, Positions(5)}, Positions(5), Positions(5)))
                << " (stored with core)";
       }},
  };
  return cases;
}

}  // namespace

class Mapped : public MappedTest {};

TEST_F(Mapped, EveryFormAgainstTheOrdinalReference) {
  const Shapes shapes[] = {{1, 1}, {3, 2}, {5, 7}, {64, 64}};
  for (const Case& c : Cases())
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE(std::string(c.name) + ", chunks " + std::to_string(shapes[round].rowChunk) + " x " +
                   std::to_string(shapes[round].colChunk));
      std::mt19937_64 rng = ref::Rng(static_cast<uint64_t>(round) * 131 + (&c - Cases().data()));
      EXPECT_TRUE(c.run(*this, rng, shapes[round]));
    }
}

TEST_F(Mapped, EdgeCases) {
  // Energy products with alpha = 0: beta 0 zeroes, beta 1 keeps; an increment leaves the entries between alone.
  const QORMtxMatrix A = InCore(ref::Random(3, 3, 1)), U = InCore(ref::Random(3, 2, 2));
  const QORBasVector<int> dofs = {4, 5, 6};
  std::vector<double> p = {9.0, 8.0, 9.0, 8.0};
  QORMtxMappedOperations::EnergyProduct(0.0, A, dofs, U, U, dofs, 1.0, p.data(), 2);
  EXPECT_EQ(p, (std::vector<double>{9.0, 8.0, 9.0, 8.0}));
  QORMtxMappedOperations::EnergyProduct(0.0, A, dofs, U, U, dofs, 0.0, p.data(), 2);
  EXPECT_EQ(p, (std::vector<double>{0.0, 8.0, 0.0, 8.0}));

  // No common inner ordinal: C = 0. The in-core sparse product with no row of C paired leaves C as it was.
  const Op X{ref::Random(4, 3, 3), {0, 1, 2, 3}, {10, 11, 12}}, Y{ref::Random(3, 2, 4), {20, 21, 22}, {0, 1}};
  QORMtxMatrix C = InCore(ref::Random(4, 2, 5));
  QORMtxMappedOperations::Multiply(QORMtxDenseMatrix(Store(X, 2, 2)), QORMtxDenseMatrix(Store(Y, 2, 2)), C, false, 0);
  EXPECT_TRUE(ref::Near(Values(C), Dense(4, 2)));
  QORMtxSparseMatrix k;
  Sparse(Op{ref::Random(3, 3, 6), {0, 1, 2}, {0, 1, 2}}, false, k);
  const Dense before = ref::Random(2, 2, 7);
  QORMtxMatrix D = InCore(before);
  QORMtxMappedOperations::Multiply(1.0, k, InCore(ref::Random(3, 2, 8)), QORBasVector<int>{0, 1, 2}, 0.0, D,
                                   QORBasVector<int>{30, 31}, false);
  EXPECT_EQ(Values(D).a, before.a);

  // sym ≠ 0: an exactly symmetric projection.
  std::mt19937_64 rng = ref::Rng(99);
  const Op K = SparseOp(rng, Ordinals(rng, 30), {}, true);
  QORMtxSparseMatrix ks;
  Sparse(K, true, ks);
  const Op B = Random(rng, Ordinals(rng, 33), Positions(6));
  QORMtxMatrix P;
  // With debugging on, the two product times; the scratch product goes with its file (the fixture checks).
  QORMtxUtilities::SetDebug(true);
  ::testing::internal::CaptureStderr();
  QORMtxMappedOperations::Project(ks, QORMtxDenseMatrix(Store(B, 4, 3)), P, 1);
  const std::string log = ::testing::internal::GetCapturedStderr();
  QORMtxUtilities::SetDebug(false);
  EXPECT_NE(log.find("\nQORMtxMappedOperations::Project() :\nt_Multiply         = "), std::string::npos) << log;
  EXPECT_NE(log.find("\nt_TransposeMultiply= "), std::string::npos) << log;
  EXPECT_NE(log.find("\nt_Total            = "), std::string::npos) << log;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) EXPECT_EQ(P.value(i, j), P.value(j, i));

  // The small-subspace projector leaves a remainder orthogonal to the basis: Bᵀ·K·(V − P·V) = 0, and with an empty K
  // Bᵀ·(V − P·V) = 0 in V's numbering.
  const std::vector<int> all = Universe();
  const Op V = Random(rng, all, Positions(3)), Bb = Random(rng, Ordinals(rng, 25), Positions(2));
  for (bool emptyK : {true, false}) {
    QORMtxSparseMatrix kk;
    if (!emptyK) Sparse(Op{Reindex(K, Bb.rows, Bb.rows), Bb.rows, Bb.rows}, true, kk);
    if (emptyK) kk.Reset(0, 0);
    QORMtxMatrix W = InCore(V.v);
    QORMtxMappedOperations::SmallSubspaceProjector(kk, InCore(Bb.v), Vec(Bb.rows), W, Vec(all), true);
    const Dense Bv = Reindex(Bb, all, Positions(2));
    EXPECT_TRUE(ref::Near(Product(Transpose(Bv), Values(W)), Dense(2, 3), 1e-10)) << (emptyK ? "empty K" : "K");
  }
}

TEST_F(Mapped, FatalPreconditions) {
  const QORMtxMatrix A = InCore(ref::Random(3, 3, 1)), U = InCore(ref::Random(3, 2, 2));
  std::vector<double> p(2);
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::EnergyProduct(1.0, A, {4, 5, 6}, U, U, {4, 5, 9}, 0.0, p.data(), 1),
                          "mapMatVec.Size() == nA && \"Mapping operation failed; probably, vector DOFs are not "
                          "sufficient\"");
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::EnergyProduct(1.0, A, {4, 5, 6}, U, U, {4, 5, 6}, 0.0, p.data(), 0),
                          "incProducts > 0 && \"Increment must be positive\"");
  QORMtxMatrix B = InCore(ref::Random(3, 3, 3));
  const int twice[] = {1, 2, 1};
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::CopyRows(A, twice, B, twice), "mapInvB.Insert(arrB[i], i)");
  const Op S{ref::Random(4, 3, 4), {0, 1, 2, 3}, {5, 6, 7}};
  const QORMtxDenseMatrix s(Store(S, 2, 2));
  QORMtxMatrix Bc(4, 2);
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::CopyColumns(s, Bc), "colOrginalsB");
  const int missing[] = {6, 8};
  Bc.SetColOrdinals(missing);
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::CopyColumns(s, Bc), "numMappedCols == numColsB");
  QORMtxMatrix C(3, 3);
  const int some[] = {0, 1, 9};
  C.SetRowOrdinals(some);
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::Multiply(s, InCore(ref::Random(3, 3, 5)), C, false, 1), "!symmC");
  QORMtxSparseMatrix k;
  Sparse(Op{ref::Random(3, 3, 6), {0, 1, 2}, {0, 1, 2}}, false, k);
  QORMtxMatrix V = InCore(ref::Random(3, 1, 7));
  EXPECT_QORMTX_ASSERTION(QORMtxMappedOperations::SmallSubspaceProjector(k, U, {0, 1, 2}, V, {0, 1, 2}, false),
                          "isSymmetric");
}
