// Sparse transformations against dense references: congruence, difference, transposes, permutations, column
// renumbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "QORMtxSparseMatrix.h"
#include "QORMtxUtilities.h"
#include "mem_Alloc.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

// Random matrix with about density·rows·cols entries (values multiples of 1/8, so every product below is exact in
// any summation order and the references compare exactly). lower: symmetric storage.
void Random(QORMtxSparseMatrix& A, std::mt19937_64& rng, int rows, int cols, double density, bool lower = false) {
  const int n = std::max(1, static_cast<int>(density * rows * cols));
  Assemble(A, rows, cols, RandomEntries(rng, rows, cols, n, lower), lower);
}

// Tᵀ·A·T.
Dense Congruence(const Dense& a, const Dense& t) { return ref::Product(ref::Transpose(t), ref::Product(a, t)); }

// Stored positions (symmetric storage: the diagonal, the stored triangle and its mirror).
std::set<std::pair<int, int>> Pattern(const QORMtxSparseMatrix& A) {
  std::set<std::pair<int, int>> out;
  for (int r = 0; r < A.NumberOfRows(); ++r) {
    for (unsigned k = Peer::RowP(A)[r]; k < Peer::RowP(A)[r + 1]; ++k) {
      out.emplace(r, Peer::ColI(A)[k]);
      if (A.Diagonal()) out.emplace(Peer::ColI(A)[k], r);
    }
    if (A.Diagonal()) out.emplace(r, r);
  }
  return out;
}

std::vector<int> RandomPerm(std::mt19937_64& rng, int n) {
  std::vector<int> p(static_cast<size_t>(n));
  std::iota(p.begin(), p.end(), 0);
  std::shuffle(p.begin(), p.end(), rng);
  return p;
}

using TransformStore = sparse_test::OrdinalStore;

}  // namespace

// ---- Tᵀ·A·T ----

TEST(SparseTransform, CongruenceMatchesDenseReference) {
  struct Case {
    int n;
    double densityA, densityT;
  };
  // From a single row to rows long enough for the product's scatter; sparse T shrinks the pattern, dense T fills.
  for (const Case& c : {Case{1, 1.0, 1.0}, Case{5, 0.3, 0.2}, Case{17, 0.1, 0.05}, Case{40, 0.05, 0.3},
                        Case{60, 0.2, 0.02}}) {
    std::mt19937_64 rng = ref::Rng(100u + static_cast<unsigned>(c.n));
    QORMtxSparseMatrix A, T;
    Random(A, rng, c.n, c.n, c.densityA);
    Random(T, rng, c.n, c.n, c.densityT);
    const Dense expected = Congruence(RawDense(A), RawDense(T));
    const std::vector<unsigned> tRowP = RowP(T);
    A.ApplyTransformation(T, true);
    ExpectValid(A);
    ExpectValid(T);
    EXPECT_EQ(RowP(T), tRowP) << "n=" << c.n;
    ExpectDenseEq(RawDense(A), expected);
    EXPECT_FALSE(A.Diagonal());
  }
}

TEST(SparseTransform, OneBasedTZeroTAndSelfAsT) {
  std::mt19937_64 rng = ref::Rng(7);
  // restoreT false leaves T one-based; the next call takes it as it is, and restoreT true brings it back.
  QORMtxSparseMatrix B, C, T;
  Random(B, rng, 12, 12, 0.3);
  Random(C, rng, 12, 12, 0.1);
  Random(T, rng, 12, 12, 0.15);
  const Dense t = RawDense(T);
  const Dense refB = Congruence(RawDense(B), t), refC = Congruence(RawDense(C), t);
  B.ApplyTransformation(T, false);
  EXPECT_EQ(Peer::RowP(T)[0], 1u);
  C.ApplyTransformation(T, true);
  ExpectDenseEq(RawDense(B), refB);
  ExpectDenseEq(RawDense(C), refC);
  ExpectValid(T);
  ExpectDenseEq(RawDense(T), t);

  // A zero T empties the result (the arrays shrink to nothing).
  QORMtxSparseMatrix Z(12, 12);
  Z.EndAssembly(false);
  B.ApplyTransformation(Z, true);
  ExpectValid(B);
  EXPECT_EQ(B.NumberOfNonzeros(), 0);
  // T may be the matrix itself: Aᵀ·A·A.
  QORMtxSparseMatrix S;
  Random(S, rng, 9, 9, 0.3);
  const Dense s = RawDense(S);
  S.ApplyTransformation(S, false);
  ExpectValid(S);
  ExpectDenseEq(RawDense(S), Congruence(s, s));
}

// ---- A − B ----

TEST(SparseTransform, SubtractKeepsEveryPosition) {
  std::mt19937_64 rng = ref::Rng(11);
  QORMtxSparseMatrix A, B, Even, Odd, SymA;
  Random(A, rng, 8, 7, 0.3);
  Random(B, rng, 8, 7, 0.3);
  // Disjoint patterns, and the last row and column empty in one operand.
  Assemble(Even, 8, 7, {{0, 0, 1.0}, {3, 2, 2.0}, {7, 6, 3.0}});
  Assemble(Odd, 8, 7, {{0, 1, 4.0}, {3, 5, 5.0}, {6, 3, 6.0}});
  Random(SymA, rng, 8, 8, 0.2, true);
  struct Case {
    const QORMtxSparseMatrix *a, *b;
  };
  for (const Case& c : {Case{&A, &B}, Case{&Even, &Odd}, Case{&Odd, &Odd}, Case{&A, &A}, Case{&SymA, &SymA}}) {
    QORMtxSparseMatrix D;
    D.Subtract(*c.a, *c.b, true);
    ExpectValid(D);
    EXPECT_FALSE(D.Diagonal());
    const Dense a = RawDense(*c.a), b = RawDense(*c.b);
    Dense expected = ref::Lin(1, a, -1, b);
    ExpectDenseEq(RawDense(D), expected);
    // Every stored position survives, cancellations included.
    std::set<std::pair<int, int>> both = Pattern(*c.a);
    for (const auto& rc : Pattern(*c.b)) both.insert(rc);
    EXPECT_EQ(Pattern(D), both);
  }
  // A full matrix minus symmetric storage mirrors the stored triangle; an operand may be the target.
  QORMtxSparseMatrix Sq;
  Random(Sq, rng, 8, 8, 0.3);
  const Dense expected = ref::Lin(1, RawDense(Sq), -1, RawDense(SymA));
  Sq.Subtract(Sq, SymA, false);
  ExpectValid(Sq);
  ExpectDenseEq(RawDense(Sq), expected);
}

TEST_F(TransformStore, SubtractWithDomains) {
  QORMtxSparseMatrix A, B, C, D, E;
  Assemble(A, 2, 2, {{0, 0, 5.0}, {1, 0, 1.0}});
  Assemble(B, 2, 2, {{0, 0, 2.0}});
  Assemble(C, 3, 2, {{0, 0, 2.0}});
  A.SetDomain(Set({4, 6}), Set({1, 2}));
  B.SetDomain(Set({4, 6}), Set({1, 2}));
  D.Subtract(A, B, true);
  EXPECT_TRUE(D.RowCSetID() == A.RowCSetID() && D.ColumnCSetID() == A.ColumnCSetID());
  ExpectDenseEq(RawDense(D), RowMajor(2, 2, {3.0, 0.0, 1.0, 0.0}));

  const char* both = "!rowID_A.IsNull() && !colID_A.IsNull() && !rowID_B.IsNull() && !colID_B.IsNull() || "
                     "rowID_A.IsNull() && colID_A.IsNull() && rowID_B.IsNull() && colID_B.IsNull()";
  EXPECT_QORMTX_ASSERTION(E.Subtract(A, C, true), both);
  C.SetDomain(Set({4, 6, 8}), Set({1, 2}));
  EXPECT_QORMTX_ASSERTION(E.Subtract(A, C, true), "numRows_A == numRows_B && numCols_A == numCols_B");
  B.SetDomain(Set({4, 7}), Set({1, 2}));
  EXPECT_QORMTX_ASSERTION(E.Subtract(A, B, true), "sameRows");
  B.SetDomain(Set({4, 6}), Set({2, 1}));
  EXPECT_QORMTX_ASSERTION(E.Subtract(A, B, true), "sameCols");
  QORMtxSparseMatrix Small(1, 1);
  EXPECT_QORMTX_ASSERTION(Small.Subtract(A, A, false), "row < m_numRows && col < m_numCols");
}

// ---- Transposes ----

TEST_F(TransformStore, TransposeSwapsEverythingAndTwiceRestores) {
  std::mt19937_64 rng = ref::Rng(21);
  for (const auto& shape : std::vector<std::pair<int, int>>{{1, 9}, {9, 1}, {7, 11}, {30, 20}}) {
    QORMtxSparseMatrix A, T;
    Random(A, rng, shape.first, shape.second, 0.2);
    Random(T, rng, 2, 2, 1.0);
    std::vector<int> rowOrd(static_cast<size_t>(shape.first)), colOrd(static_cast<size_t>(shape.second));
    std::iota(rowOrd.begin(), rowOrd.end(), 50);
    std::iota(colOrd.begin(), colOrd.end(), 10);
    A.SetOrdinals(rowOrd.data(), colOrd.data());
    const Stored before = Arrays(A);
    const Dense expected = ref::Transpose(RawDense(A));

    A.Transpose(T);  // T's former content is dropped
    ExpectValid(T);
    ExpectDenseEq(RawDense(T), expected);
    EXPECT_TRUE(T.GetRowOrdinals()[0] == 10 && T.GetColOrdinals()[0] == 50);
    EXPECT_EQ(Peer::SymFlag(T), QORMtxSparseMatrix::e_unsymmetric);

    A.Transpose();
    ExpectValid(A);
    ExpectDenseEq(RawDense(A), expected);
    EXPECT_EQ(A.GetRowOrdinals()[0], 10);
    A.Transpose();
    EXPECT_EQ(Arrays(A), before);
    EXPECT_EQ(Copy(A.GetRowOrdinals(), shape.first), rowOrd);
    EXPECT_EQ(Copy(A.GetColOrdinals(), shape.second), colOrd);
  }
  // Domains swap; an empty 3 × 4 matrix becomes an empty 4 × 3 one.
  QORMtxSparseMatrix E(3, 4);
  E.EndAssembly(false);
  const QORSimCSetID rows = Set({1, 2, 3}), cols = Set({5, 6, 7, 8});
  E.SetDomain(rows, cols);
  E.Transpose();
  ExpectValid(E);
  EXPECT_EQ(E.NumberOfRows(), 4);
  EXPECT_EQ(E.RowCSetID(), cols);
  E.Transpose();
  EXPECT_TRUE(E.RowCSetID() == rows && E.ColumnCSetID() == cols);
  EXPECT_EQ(E.GetRowOrdinals()[2], 3);
}

// ---- Permutations ----

TEST(SparseTransform, PermuteBothStoragesAndRows) {
  std::mt19937_64 rng = ref::Rng(31);
  struct Case {
    int n;
    double density;
    bool symmetric;
  };
  // 60 × 60 at 0.9 gives rows past the insertion-sort length.
  for (const Case& c : {Case{1, 1.0, false}, Case{1, 1.0, true}, Case{10, 0.3, false}, Case{10, 0.3, true},
                        Case{60, 0.9, false}, Case{60, 0.9, true}}) {
    QORMtxSparseMatrix A;
    Random(A, rng, c.n, c.n, c.density, c.symmetric);
    const std::vector<int> perm = RandomPerm(rng, c.n);
    const Dense a = RawDense(A);
    Dense expected(c.n, c.n);
    for (int i = 0; i < c.n; ++i)
      for (int j = 0; j < c.n; ++j) expected(i, j) = a(perm[i], perm[j]);
    std::unique_ptr<QORMtxSparseMatrix> B(A.Permute(perm.data()));
    ExpectValid(*B);
    ExpectDenseEq(RawDense(*B), expected);
    EXPECT_EQ(B->Diagonal() != nullptr, c.symmetric);
    A.PermuteInPlace(perm.data());
    ExpectValid(A);
    ExpectDenseEq(RawDense(A), expected);
    EXPECT_EQ(Peer::SymFlag(A), c.symmetric ? 1 : 0);
  }
  // Rows alone move the other way: old row r becomes row perm[r].
  QORMtxSparseMatrix R;
  Random(R, rng, 25, 9, 0.2);
  const std::vector<int> perm = RandomPerm(rng, 25);
  const Dense before = RawDense(R);
  R.PermuteRows(perm.data());
  ExpectValid(R);
  const Dense after = RawDense(R);
  for (int r = 0; r < 25; ++r)
    for (int c = 0; c < 9; ++c) ASSERT_EQ(after(perm[r], c), before(r, c)) << r << ", " << c;
  EXPECT_EQ(Peer::SymFlag(R), 0);
}

// ---- Column renumbering ----

TEST_F(TransformStore, CompressAndEliminateColumns) {
  // Columns 1, 3 and 4 of six are used.
  const std::vector<QORMtxSparseMatrixEntry> entries = {{0, 3, 1.0}, {1, 1, 2.0}, {2, 4, 3.0}, {2, 1, 4.0}};
  const std::vector<double> compressed = {0.0, 1.0, 0.0, 2.0, 0.0, 0.0, 4.0, 0.0, 3.0};
  const int rowOrd[] = {7, 8, 9}, colOrd[] = {10, 11, 12, 13, 14, 15};
  QORMtxSparseMatrix A, B;
  Assemble(A, 3, 6, entries);
  A.SetOrdinals(rowOrd, colOrd);
  A.CompressColumns();
  ExpectValid(A);
  ExpectDenseEq(RawDense(A), RowMajor(3, 3, compressed));
  EXPECT_EQ(Copy(A.GetColOrdinals(), 3), (std::vector<int>{11, 13, 14}));

  Assemble(B, 3, 6, entries);
  B.SetOrdinals(rowOrd, colOrd);
  int n = -1;
  unsigned* kept = B.EliminateTrivialColumns(n);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(Copy(kept, n), (std::vector<unsigned>{1, 3, 4}));
  mem_Free(kept);
  ExpectValid(B);
  ExpectDenseEq(RawDense(B), RowMajor(3, 3, compressed));
  EXPECT_EQ(B.GetColOrdinals()[0], 10);  // untouched

  // A null matrix: CompressColumns leaves it alone, EliminateTrivialColumns leaves no column.
  QORMtxSparseMatrix Z(2, 4);
  Z.EndAssembly(false);
  Z.CompressColumns();
  EXPECT_EQ(Z.NumberOfColumns(), 4);
  mem_Free(Z.EliminateTrivialColumns(n));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Z.NumberOfColumns(), 0);
  ExpectValid(Z);

  QORMtxSparseMatrix Sym, Dom;
  Assemble(Sym, 2, 2, {{1, 0, 1.0}}, true);
  EXPECT_QORMTX_ASSERTION(
      Sym.CompressColumns(),
      "!m_diagonal && \"QORMtxSparseMatrix::CompressColumns() is implemented for unsymetric case only\"");
  Assemble(Dom, 2, 3, {{1, 0, 1.0}});
  Dom.SetDomain(Set({1, 2}), Set({3, 4, 5}));
  ASSERT_NE(Dom.GetColOrdinals(), nullptr);  // the set's ordinals, fetched into the list
  EXPECT_QORMTX_ASSERTION(Dom.CompressColumns(), "m_colSetID.IsNull()");
}

// ---- Preconditions ----

TEST(SparseTransformDeath, Preconditions) {
  QORMtxSparseMatrix A, T, Sym, Rect, Empty(3, 3), Open(3, 3);
  Assemble(A, 3, 3, {{0, 1, 1.0}});
  Assemble(T, 3, 3, {{1, 1, 1.0}});
  Assemble(Sym, 3, 3, {{1, 0, 1.0}}, true);
  Assemble(Rect, 3, 4, {{0, 1, 1.0}});
  Empty.EndAssembly(false);
  EXPECT_QORMTX_ASSERTION(Sym.ApplyTransformation(T, true), "m_numRows == m_numCols && m_diagonal == NULL");
  EXPECT_QORMTX_ASSERTION(Rect.ApplyTransformation(T, true), "m_numRows == m_numCols && m_diagonal == NULL");
  EXPECT_QORMTX_ASSERTION(A.ApplyTransformation(Sym, true),
                          "m_numRows == T.m_numRows && m_numRows == T.m_numCols && T.m_diagonal == NULL");
  EXPECT_QORMTX_ASSERTION(A.ApplyTransformation(Open, true), "m_assemblyComplete && T.m_assemblyComplete");
  EXPECT_QORMTX_ASSERTION(Empty.ApplyTransformation(T, true), "0 < m_numRows && 0 < m_numNonzeros");
  EXPECT_QORMTX_ASSERTION(Sym.Transpose(), "m_assemblyComplete && !m_diagonal");
  EXPECT_QORMTX_ASSERTION(Open.Transpose(), "m_assemblyComplete && !m_diagonal");
  const int perm[] = {1, 0, 2};
  EXPECT_QORMTX_ASSERTION(Sym.PermuteRows(perm),
                          "!m_diagonal && \"QORMtxSparseMatrix::PermuteRows: symmetric not supported\"");
  EXPECT_QORMTX_ASSERTION(Open.PermuteInPlace(perm), "m_assemblyComplete");
}

// A full column times a full row: 65537² = 2^32 + 131073 entries do not fit the int row starts (a fixed overflow).
// The expanded symmetric pattern doubles its count: the guard reads only the last row start.
TEST(SparseTransformDeath, CountsBeyondTheIntRowStartsStopBeforeAllocating) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const int n = 65537;
  QORMtxSparseMatrix A(n, n), T(n, n);
  for (unsigned i = 0; i < static_cast<unsigned>(n); ++i) {
    A.AddData(i, 0, 1.0, false);
    T.AddData(0, i, 1.0, false);
  }
  A.EndAssembly(false);
  T.EndAssembly(false);
  EXPECT_QORMTX_ASSERTION(A.ApplyTransformation(T, true), "info == 0 && \"request 1 C = A * T\"");
  const unsigned rowP[] = {0, 1073741824u};
  QORBasVector<unsigned> outRowP;
  QORBasVector<int> outColI;
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::ExpandSymmetric(1, rowP, nullptr, outRowP, outColI),
                          "numRows < 2147483647 && rowP[numRows] <= 1073741823u && \"the expanded pattern would hold "
                          "more than 2^31 - 1 entries\"");
}
