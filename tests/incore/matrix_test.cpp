// QORMtxMatrix against naive loops, every test under counting allocation hooks: ownership, copies, transposition,
// sums, slices, blocks and listed or masked rows and columns, and products with the blocking of the triangle ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "QORBasVector.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;
using naive::Pick;
using naive::Range;
using IV = QORBasVector<int>;
using BV = QORBasVector<bool>;

// Each value array allocated through the hooks must come back exactly once; a caller's array never reaches them.
std::map<void*, size_t> g_live;
int g_strays = 0;  // frees of pointers the hooks did not allocate, or freed twice

class Ledger : public ::testing::Test {
 protected:
  static void* Alloc(size_t bytes) {
    void* p = std::malloc(bytes);
    g_live[p] = bytes;
    return p;
  }
  static void Free(void* p) {
    if (p && g_live.erase(p) == 0)
      ++g_strays;  // not ours: leave it to whoever owns it
    else
      std::free(p);
  }
  void SetUp() override {
    g_live.clear();
    g_strays = 0;
    QORMtxUtilities::SetAllocator(Alloc);
    QORMtxUtilities::SetDeallocator(Free);
  }
  void TearDown() override {
    QORMtxUtilities::SetAllocator(nullptr);
    QORMtxUtilities::SetDeallocator(nullptr);
    EXPECT_TRUE(g_live.empty()) << g_live.size() << " value arrays never released";
    EXPECT_EQ(g_strays, 0) << "released something the hooks did not allocate, or released it twice";
  }
};

TEST_F(Ledger, CallerArraysOwnedArraysAndResets) {
  std::vector<double> caller = {1, 2, 3, 4, 5, 6};
  {
    M m(2, 3, caller.data());
    EXPECT_EQ(m.value(1, 2), 6.0);  // column-major, leading dimension the row count
    m.Reset(4, 4);                  // a new size: the matrix gets an array of its own
    EXPECT_EQ(g_live.size(), 1u);
    m = 5.0;
    m.Reset(2, 3, caller.data());  // viewing again releases the owned array
    EXPECT_TRUE(g_live.empty());
    m.Reset(2, 3);  // same count as the view, but the view is still the caller's
    EXPECT_NE(m.Values(), caller.data());
  }
  EXPECT_EQ(caller, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  M owned(3, 4);
  double* array = owned.Values();
  owned.Values()[11] = 42.0;
  owned.Reset(6, 2);  // same 12 values: storage and contents stay
  EXPECT_TRUE(owned.Values() == array && owned.Values()[11] == 42.0);
  owned.Reset(5, 5, M::DIAG);  // a DIAG matrix holds only its 5 diagonal values
  ASSERT_EQ(g_live.size(), 1u);
  EXPECT_EQ(g_live.begin()->second, 5 * sizeof(double));
}

TEST_F(Ledger, CopiesAssignmentsAndSwaps) {
  const Dense x = naive::Random(2, 3, 11), y = naive::Random(3, 2, 12), s = naive::Random(3, 3, 2);
  int rowOrds[] = {10, 11};
  const int colOrds[] = {20, 21, 22};
  std::vector<double> caller(x.a);
  {
    M view(2, 3, rowOrds, colOrds, caller.data());
    rowOrds[0] = -1;  // the matrix holds its own copy of the lists
    M copy(view), other(7, 7, M::DIAG), target(2, 3);
    other.Reset(view);  // different count: reallocated; values, type and ordinals copied
    target = view;      // same shape: values copied
    for (const M* r : {&copy, &other, &target}) EXPECT_TRUE(naive::Near(*r, x, 0.0));
    EXPECT_TRUE(copy.OwnMemory() && copy.GetRowOrdinals()[0] == 10 && other.GetColOrdinals()[2] == 22);
    M o = naive::ToMatrix(y);
    double* po = o.Values();
    view.SetRowOrdinals(nullptr);
    view.SetColOrdinals(nullptr);
    view.Swap(o);  // a view keeps the caller's array: values travel, arrays stay
    EXPECT_TRUE(o.Values() == po && naive::Near(view, y, 0.0) && naive::Near(o, x, 0.0) && caller == y.a);
  }
  M a = naive::ToMatrix(x), b = naive::ToMatrix(y, M::SYMM);
  a.SetRowOrdinals(rowOrds);
  double* pa = a.Values();
  a.Swap(b);  // both owned: arrays, types and ordinals exchanged
  EXPECT_TRUE(b.Values() == pa && b.GetRowOrdinals()[1] == 11 && a.Type() == M::SYMM && naive::Near(a, y, 0.0));
  M d = naive::Diagonal({1, 2, 3}), f = naive::ToMatrix(s, M::SYMM);
  d = naive::ToMatrix(s);          // full into DIAG of the same size: reallocated with the full type
  f = naive::Diagonal({4, 5, 6});  // DIAG into full: the expanded diagonal, type kept
  EXPECT_TRUE(naive::Near(d, s, 0.0) && naive::Near(f, naive::DiagonalDense({4, 5, 6}), 0.0));
  f = naive::ToMatrix(x);  // a different shape takes rhs's counts
  EXPECT_TRUE(naive::Near(f, x, 0.0));
}

TEST_F(Ledger, Transposition) {
  const int rows[] = {1, 2}, cols[] = {3, 4, 5};
  const Dense x = naive::Random(2, 3, 31), s = naive::Random(5, 5, 32);
  M m = naive::ToMatrix(x), sq = naive::ToMatrix(s, M::SKEW), sy = naive::ToMatrix(s, M::SYMM), t(9, 9, M::DIAG), tb;
  std::vector<double> caller(x.a), buffer(6, -1.0);
  M v(2, 3, caller.data());
  m.SetOrdinals(rows, cols);
  m.Transpose(t, nullptr);
  m.Transpose(tb, buffer.data());
  m.Transpose();
  double* p = sq.Values();
  sq.Transpose();  // square: exchanged in place
  sy.Transpose();  // SYMM: taken as symmetric, nothing done
  v.Transpose();   // rectangular view: transposed values written back in place
  for (const M* r : {&m, &t, &tb, &v}) EXPECT_TRUE(naive::Near(*r, naive::Transpose(x), 0.0));
  EXPECT_TRUE(m.GetRowOrdinals()[2] == 5 && t.GetColOrdinals()[1] == 2);
  EXPECT_TRUE(tb.Values() == buffer.data() && v.Values() == caller.data() && sq.Values() == p);
  EXPECT_TRUE(naive::Near(sq, naive::Transpose(s), 0.0) && naive::Near(sy, s, 0.0));
  naive::Diagonal({1, 2}).Transpose(t, nullptr);  // DIAG: T untouched
  EXPECT_EQ(t.NumberOfRows(), 3);
  M().Transpose(t, nullptr);
  EXPECT_TRUE(t.IsNull());
}

TEST_F(Ledger, ElementwiseOperationsOverOperandKinds) {
  for (bool diagA : {false, true}) {
    const naive::Operand a = naive::RandomOperand(4, 4, diagA, 5);
    M scaled = a.m, absolute = a.m, filled = a.m;
    scaled.Multiply(-3.0);
    absolute.Abs();  // a DIAG matrix touches only its stored diagonal
    filled = 2.5;
    Dense absx = a.d, fill = diagA ? naive::DiagonalDense(std::vector<double>(4, 2.5)) : Dense(4, 4, 2.5);
    for (double& v : absx.a) v = std::fabs(v);
    EXPECT_TRUE(naive::Near(scaled, naive::Lin(-3, a.d, 0, a.d)));
    EXPECT_TRUE(naive::Near(absolute, absx, 0.0) && naive::Near(filled, fill, 0.0));
    for (bool diagB : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "DIAG A " << diagA << ", DIAG B " << diagB);
      const naive::Operand b = naive::RandomOperand(4, 4, diagB, 6);
      M sum = a.m, t(4, 4, diagA && diagB ? M::DIAG : M::UNKNOWN);
      sum.Add(0.5, b.m);
      t.Interpolate(0.25, a.m, b.m);
      EXPECT_TRUE(naive::Near(sum, naive::Lin(1, a.d, 0.5, b.d)));
      EXPECT_TRUE(naive::Near(t, naive::Lin(0.75, a.d, 0.25, b.d)));
      // DIAG stays DIAG with a DIAG operand and is expanded to SYMM otherwise.
      EXPECT_EQ(sum.Type(), !diagA ? M::UNKNOWN : diagB ? M::DIAG : M::SYMM);
    }
  }
  const Dense p = naive::Random(2, 5, 7), q = naive::Random(2, 5, 8);
  M sum(2, 5), keep = naive::ToMatrix(p), empty;
  sum = 99.0;
  sum.Add(2.0, naive::ToMatrix(p), -1.0, naive::ToMatrix(q));
  keep.Add(0.0, M());  // a = 0 returns before looking at B, even an empty one
  empty.Abs();
  empty.Multiply(2.0);
  EXPECT_TRUE(naive::Near(sum, naive::Lin(2, p, -1, q)) && naive::Near(keep, p, 0.0));
  std::vector<double> caller = {3, 4, 5};
  M dc(3, 3, caller.data(), M::DIAG);
  dc.ConvertToFull();  // the caller's three values cannot hold nine
  EXPECT_TRUE(dc.OwnMemory() && caller == (std::vector<double>{3, 4, 5}));
  EXPECT_TRUE(naive::Near(dc, naive::DiagonalDense({3, 4, 5}), 0.0));

  // A wide matrix copies its upper triangle down, a tall or square one its lower triangle up.
  for (auto shape : {std::pair<int, int>{5, 5}, {3, 6}, {6, 3}}) {
    const Dense x = naive::Random(shape.first, shape.second, 16);
    M sym = naive::ToMatrix(x), skew = naive::ToMatrix(x);
    sym.SetSymmetricResults();
    skew.SetSkewSymmetricResults();
    Dense es = x, ek = x;
    for (int j = 0; j < std::min(x.rows, x.cols); ++j)
      for (int i = j + 1; i < std::min(x.rows, x.cols); ++i) {
        if (x.rows < x.cols)
          es(i, j) = x(j, i), ek(i, j) = -x(j, i);
        else
          es(j, i) = x(i, j), ek(j, i) = -x(i, j);
      }
    EXPECT_TRUE(naive::Near(sym, es, 0.0) && naive::Near(skew, ek, 0.0)) << shape.first << "x" << shape.second;
  }
}

TEST_F(Ledger, SetAndAddSlices) {
  const Dense big = naive::Random(6, 7, 13), s = naive::Random(2, 3, 14);
  const std::vector<double> dv = {7, 8};
  for (bool diag : {false, true})
    for (bool transpose : {false, true})
      for (bool add : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "DIAG " << diag << ", transpose " << transpose << ", add " << add);
        M m = naive::ToMatrix(big);
        const M rhs = diag ? naive::Diagonal(dv) : naive::ToMatrix(s);
        (m.*(add ? &M::AddSlice : &M::SetSlice))(-2.0, rhs, 3, 1, transpose);
        // A DIAG slice ignores the flag; setting it clears the rest of its block.
        const Dense piece = diag ? naive::DiagonalDense(dv) : transpose ? naive::Transpose(s) : s;
        const std::vector<int> rows = Range(3, 2 + piece.rows), cols = Range(1, piece.cols);
        const Dense old = Pick(big, rows, cols);
        EXPECT_TRUE(naive::Near(m, naive::Put(big, rows, cols, naive::Lin(-2, piece, add ? 1 : 0, old))));
      }
  M d = naive::Diagonal({1, 1, 1, 1});
  d.SetSlice(2.0, naive::Diagonal(dv), 2, 2, false);
  d.AddSlice(1.0, naive::Diagonal(dv), 0, 0, false);
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({8, 9, 14, 16}), 0.0));
}

TEST_F(Ledger, ReadsByRangesListsAndMasks) {
  const Dense x = naive::Random(5, 6, 1), diag = naive::DiagonalDense({1, 2, 3, 4});
  const M m = naive::ToMatrix(x);
  M block, dblock, listed(3, 6), picked, sub(9, 9, M::DIAG), masked, none, rows(2, 6), cols;
  m.GetValues(1, 3, 2, 5, block);                               // an empty receiver takes the block's shape
  naive::Diagonal({1, 2, 3, 4}).GetValues(1, 2, 0, 3, dblock);  // a DIAG source yields its zeros too
  const int list[] = {4, 0, 4}, colList[] = {2, 0};             // list order, repeats allowed
  m.GetRows(list, 3, listed);
  m.GetValues(list, 2, colList, 2, picked);
  m.Extract(IV{3, 1}, IV{4, 0, 2}, sub);  // a receiver of the wrong shape is reset
  m.Extract(BV{true, false, false, true, false}, BV{false, true, true, false, true, false}, masked);
  m.Extract(IV{}, IV{1}, none);
  m.ExtractRows(IV{3, 0}, rows);
  const bool mask[] = {true, false, true, false, false, true};
  m.ExtractColumns(mask, cols);
  const std::pair<const M*, Dense> expected[] = {
      {&block, Pick(x, Range(1, 3), Range(2, 5))}, {&dblock, Pick(diag, Range(1, 2), Range(0, 3))},
      {&listed, Pick(x, {4, 0, 4}, Range(0, 5))},  {&picked, Pick(x, {4, 0}, {2, 0})},
      {&sub, Pick(x, {3, 1}, {4, 0, 2})},          {&masked, Pick(x, {0, 3}, {1, 2, 4})},
      {&rows, Pick(x, {3, 0}, Range(0, 5))},       {&cols, Pick(x, Range(0, 4), {0, 2, 5})}};
  for (const auto& e : expected) EXPECT_TRUE(naive::Near(*e.first, e.second, 0.0)) << &e - expected;
  EXPECT_TRUE(sub.Type() == M::UNKNOWN && none.IsNull());

  M big(4, 4);  // a receiver with room keeps its counts and gets the block packed (leading dimension 2)
  big = -7.0;
  m.GetValues(0, 1, 4, 5, big);
  const Dense b = Pick(x, {0, 1}, {4, 5});
  EXPECT_EQ(big.NumberOfRows(), 4);
  EXPECT_EQ(std::vector<double>(big.Values(), big.Values() + 5),
            (std::vector<double>{b.a[0], b.a[1], b.a[2], b.a[3], -7}));
}

TEST_F(Ledger, WritesByRangesListsAndMasks) {
  const Dense x = naive::Random(5, 4, 2), p23 = naive::Random(2, 3, 3), p24 = naive::Random(2, 4, 4);
  const Dense p52 = naive::Random(5, 2, 5), p22 = naive::Random(2, 2, 6);
  const int into[] = {3, 1}, intoCols[] = {2, 0};
  std::vector<M> m(9, naive::ToMatrix(x));
  m[0].SetValues(3, 4, 1, 3, p23.a.data());
  m[1].SetValues(3, 4, 1, 3, naive::ToMatrix(p23));
  m[2].SetRows(0, 1, naive::ToMatrix(p24));
  m[3].SetRows(into, naive::ToMatrix(p24));
  m[4].SetColumns(intoCols, naive::ToMatrix(p52));
  m[5].Insert(IV{2, 0}, IV{1, 3}, naive::ToMatrix(p22));
  m[6].Insert(BV{false, true, true, false, false}, BV{true, false, false, true}, naive::ToMatrix(p22));
  m[7].Insert(BV{true, true, false, false, false}, BV{false, false, true, true}, naive::Diagonal({5, 6}));
  m[8].InsertRows(IV{3, 0}, naive::ToMatrix(p24));
  const Dense expected[] = {
      naive::Put(x, {3, 4}, {1, 2, 3}, p23),   naive::Put(x, {3, 4}, {1, 2, 3}, p23),
      naive::Put(x, {0, 1}, Range(0, 3), p24), naive::Put(x, {3, 1}, Range(0, 3), p24),
      naive::Put(x, Range(0, 4), {2, 0}, p52), naive::Put(x, {2, 0}, {1, 3}, p22),
      naive::Put(x, {1, 2}, {0, 3}, p22),      naive::Put(x, {0, 1}, {2, 3}, naive::DiagonalDense({5, 6})),
      naive::Put(x, {3, 0}, Range(0, 3), p24)};
  for (int k = 0; k < 9; ++k) EXPECT_TRUE(naive::Near(m[k], expected[k], 0.0)) << "case " << k;
  M d = naive::Diagonal({1, 2, 3});  // diagonal positions of a DIAG matrix can be set
  d.SetValues(1, 1, 1, 1, std::vector<double>{9}.data());
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({1, 9, 3}), 0.0));
}

TEST_F(Ledger, DiagonalsPackingPermutationAndShrink) {
  const Dense x = naive::Random(4, 4, 11);
  M m = naive::ToMatrix(x), dm = naive::Diagonal({1, 2, 3, 4});
  double d[4], p[10], q[10];
  m.GetDiagonal(d);
  dm.SetDiagonal(m);  // from a full matrix's diagonal
  m.SetDiagonal(naive::Diagonal({4, 5, 6, 7}));
  Dense expected = x;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d[i], x(i, i));
  for (int i = 0; i < 4; ++i) expected(i, i) = 4 + i;
  EXPECT_TRUE(naive::Near(m, expected, 0.0));
  EXPECT_TRUE(naive::Near(dm, naive::DiagonalDense({x(0, 0), x(1, 1), x(2, 2), x(3, 3)}), 0.0));

  naive::ToMatrix(x).GetSymmetric(p);           // the symmetric part, packed upper triangle by columns
  naive::ToMatrix(x, M::SYMM).GetSymmetric(q);  // SYMM: the stored upper triangle as it is
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i <= j; ++i) {
      EXPECT_EQ(q[j * (j + 1) / 2 + i], x(i, j));
      EXPECT_DOUBLE_EQ(p[j * (j + 1) / 2 + i], 0.5 * (x(i, j) + x(j, i)));
    }
  naive::Diagonal({1, 2, 3}).GetSymmetric(p);
  EXPECT_EQ(std::vector<double>(p, p + 6), (std::vector<double>{1, 0, 2, 0, 0, 3}));

  const int perm[] = {2, 0, 3, 1}, swap[] = {1, 0};  // row i moves to perm[i]
  M pm = naive::ToMatrix(x), pd = naive::Diagonal({1, 2});
  pm.PermuteRowsInPlace(perm, 4);
  pd.PermuteRowsInPlace(swap, 2);  // a permuted diagonal is full
  EXPECT_TRUE(naive::Near(pm, naive::Put(Dense(4, 4), {2, 0, 3, 1}, Range(0, 3), x), 0.0));
  EXPECT_TRUE(naive::Near(pd, naive::Put(Dense(2, 2), {1, 0}, {0, 1}, naive::DiagonalDense({1, 2})), 0.0));

  const Dense y = naive::Random(5, 4, 14);
  for (auto shape : {std::pair<int, int>{3, 2}, {4, 4}, {5, 1}}) {  // {4, 4}: columns overlap their old places
    M s = naive::ToMatrix(y);
    double* array = s.Values();
    s.Shrink(shape.first, shape.second);
    EXPECT_EQ(s.Values(), array);
    EXPECT_TRUE(naive::Near(s, Pick(y, Range(0, shape.first - 1), Range(0, shape.second - 1)), 0.0));
  }
  M sd = naive::Diagonal({1, 2, 3}), z = naive::ToMatrix(y);
  sd.Shrink(2, 2);
  z.Shrink(0, 3);
  EXPECT_TRUE(naive::Near(sd, naive::DiagonalDense({1, 2}), 0.0) && z.IsNull());
}

const double kSentinel = -12345.0;  // marks elements that must not be written

TEST_F(Ledger, ProductsOverShapesAndOperandKinds) {
  struct Shape {
    int m, k, n;
    bool diagA = false, diagB = false, transB = false;
  };
  for (Shape s : {Shape{4, 3, 5},
                  {1, 6, 1},
                  {6, 1, 6},
                  {1, 1, 1},
                  {7, 2, 1},
                  {1, 3, 8},
                  {3, 4, 4, false, true},
                  {3, 3, 4, true, false},
                  {3, 3, 4, true, false, true},
                  {3, 3, 3, true, true}}) {
    SCOPED_TRACE(::testing::Message() << s.m << "x" << s.k << "x" << s.n << " DIAG " << s.diagA << s.diagB << " T "
                                      << s.transB);
    const naive::Operand a = naive::RandomOperand(s.m, s.k, s.diagA, 1);
    const naive::Operand b =
        s.transB ? naive::RandomOperand(s.n, s.k, s.diagB, 2) : naive::RandomOperand(s.k, s.n, s.diagB, 2);
    const Dense ab = naive::Product(a.d, s.transB ? naive::Transpose(b.d) : b.d), c0 = naive::Random(s.m, s.n, 3);
    M c(s.m, s.n), inPlace = a.m;
    c = kSentinel;
    c.Multiply(a.m, b.m, s.transB);
    EXPECT_TRUE(naive::Near(c, ab));
    if (!s.transB) {  // *= keeps DIAG only for two DIAG operands
      inPlace *= b.m;
      EXPECT_TRUE(naive::Near(inPlace, ab) && inPlace.IsDiagonal() == (s.diagA && s.diagB));
    }
    for (int acc : {0, 1}) {  // the general products take full operands only
      if (s.diagA || s.diagB) break;
      M c1 = naive::ToMatrix(c0), c2 = naive::ToMatrix(c0);
      a.m.Multiply(b.m, c1, 12345, acc);  // the third argument has no effect
      naive::ToMatrix(naive::Transpose(a.d)).TransposeMultiply(b.m, c2, 0, acc);
      EXPECT_TRUE(naive::Near(c1, naive::Lin(1, ab, acc, c0))) << "accumulate " << acc;
      EXPECT_TRUE(naive::Near(c2, naive::Lin(1, ab, acc, c0))) << "accumulate " << acc;
    }
  }
  const Dense x = naive::Random(4, 4, 6), y = naive::Random(4, 4, 7);
  M diag(3, 3, M::DIAG), empty, xm = naive::ToMatrix(x), ym = naive::ToMatrix(y);
  diag.Multiply(naive::Diagonal({1, 2, 3}), naive::Diagonal({4, 5, 6}), true);
  empty.Multiply(M(), M(), false);
  xm.Multiply(xm, ym, false);  // the result may be an operand
  ym.Multiply(naive::Diagonal({1, 2, 3, 4}), ym, true);
  EXPECT_TRUE(diag.IsDiagonal() && naive::Near(diag, naive::DiagonalDense({4, 10, 18})) && empty.IsNull());
  EXPECT_TRUE(naive::Near(xm, naive::Product(x, y)));
  EXPECT_TRUE(naive::Near(ym, naive::Product(naive::DiagonalDense({1, 2, 3, 4}), naive::Transpose(y))));
}

TEST_F(Ledger, TriangleProductsFormWholeBlocksOnOneSide) {
  // TransposeMultiply with the triangle flag forms the 144-blocks on one side of the block diagonal only (the
  // upper side when C has fewer rows than columns); the others keep the sentinel.
  for (auto s : {std::vector<int>{300, 300, 9, 0}, {145, 145, 5, 1}, {150, 300, 4, 0}, {300, 150, 4, 1}}) {
    const int m = s[0], n = s[1], k = s[2], accumulate = s[3];
    SCOPED_TRACE(::testing::Message() << "C " << m << "x" << n << ", k " << k << ", accumulate " << accumulate);
    const Dense a = naive::Random(k, m, 11), b = naive::Random(k, n, 12), full = naive::Product(naive::Transpose(a), b);
    M c(m, n);
    c = kSentinel;
    naive::ToMatrix(a).TransposeMultiply(naive::ToMatrix(b), c, 1, accumulate);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) {
        const bool formed = m < n ? j / 144 >= i / 144 : i / 144 >= j / 144;
        const double expected = formed ? full(i, j) + (accumulate ? kSentinel : 0.0) : kSentinel;
        ASSERT_NEAR(c.value(i, j), expected, 1e-11 * (1.0 + std::fabs(expected))) << "element " << i << ", " << j;
      }
  }
  // SymmetricMultiply forms the lower block triangle: a first block of n mod 128 (or 128), then blocks of 128.
  // Unsymmetric operands, so that every element shows which blocks were formed.
  for (int n : {5, 128, 129, 300}) {
    const int first = n % 128 ? n % 128 : 128;
    auto block = [&](int i) { return i < first ? 0 : 1 + (i - first) / 128; };
    const Dense a = naive::Random(n, n, 14), b = naive::Random(n, n, 15), full = naive::Product(a, b);
    M c(n, n);
    c = kSentinel;
    c.SymmetricMultiply(naive::ToMatrix(a), naive::ToMatrix(b));
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        ASSERT_NEAR(c.value(i, j), block(i) >= block(j) ? full(i, j) : 0.0, 1e-11) << i << ", " << j << " of " << n;
  }
}

TEST_F(Ledger, InPlaceProductKeepsOrdinalsAndCallerArrays) {
  const Dense a = naive::Random(3, 4, 17), b = naive::Random(4, 2, 18), sq = naive::Random(4, 4, 20);
  const int cols[] = {7, 8};
  M m = naive::ToMatrix(a, M::SYMM), bm = naive::ToMatrix(b);
  bm.SetColOrdinals(cols);
  m *= bm;
  M scaled = naive::ToMatrix(sq, M::SYMM);
  scaled *= naive::Diagonal({1, 2, 3, 4});  // column scaling: no longer symmetric
  EXPECT_TRUE(m.Type() == M::UNKNOWN && scaled.Type() == M::UNKNOWN);
  EXPECT_EQ(m.GetColOrdinals()[1], 8);  // the column ordinals come from the right
  // A caller's array keeps the result when it has the room, and is left alone when not.
  std::vector<double> caller(a.a), caller2(a.a);
  M view(3, 4, caller.data()), view2(3, 4, caller2.data());
  view *= naive::ToMatrix(sq);
  view2 *= bm;
  EXPECT_TRUE(view.Values() == caller.data() && naive::Near(view, naive::Product(a, sq)));
  EXPECT_TRUE(view2.OwnMemory() && caller2 == a.a && naive::Near(view2, naive::Product(a, b)));
}

}  // namespace
