// QORMtxMatrix: construction, ownership of value arrays, copies, swaps, ordinals and transposition.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;

// Routes every value array through counting hooks: each allocation must come back exactly once, and a
// caller's array must never reach the deallocator.
class Ledger : public ::testing::Test {
 protected:
  static std::map<void*, size_t>& Live() {
    static std::map<void*, size_t> live;
    return live;
  }
  static int& Strays() {  // frees of pointers that were not allocated through the hook (or twice)
    static int strays = 0;
    return strays;
  }
  static int& Allocations() {
    static int n = 0;
    return n;
  }
  static void* Alloc(size_t bytes) {
    void* p = std::malloc(bytes);
    Live()[p] = bytes;
    ++Allocations();
    return p;
  }
  static void Free(void* p) {
    if (!p) return;
    if (Live().erase(p) == 0) {
      ++Strays();
      return;  // not ours: leave it to whoever owns it
    }
    std::free(p);
  }
  void SetUp() override {
    Live().clear();
    Strays() = 0;
    Allocations() = 0;
    QORMtxUtilities::SetAllocator(Alloc);
    QORMtxUtilities::SetDeallocator(Free);
  }
  void TearDown() override {
    QORMtxUtilities::SetAllocator(nullptr);
    QORMtxUtilities::SetDeallocator(nullptr);
    EXPECT_TRUE(Live().empty()) << Live().size() << " value arrays never released";
    EXPECT_EQ(Strays(), 0) << "released something the hooks did not allocate, or released it twice";
  }
};

TEST(MatrixConstruct, EmptyState) {
  M m;
  EXPECT_TRUE(m.IsNull());
  EXPECT_TRUE(!m);
  EXPECT_EQ(m.NumberOfRows(), 0);
  EXPECT_EQ(m.NumberOfColumns(), 0);
  EXPECT_EQ(m.Type(), M::UNKNOWN);
  EXPECT_TRUE(m.OwnMemory());
  EXPECT_EQ(m.NumberOfValues(), 0u);
  EXPECT_EQ(m.GetRowOrdinals(), nullptr);
  M copy(m);
  EXPECT_TRUE(copy.IsNull());
  m.Reset(0, 0, M::DIAG);  // both counts 0: empty, and the type falls back to UNKNOWN
  EXPECT_TRUE(m.IsNull());
  EXPECT_EQ(m.Type(), M::UNKNOWN);
}

TEST(MatrixConstruct, ValueCountsByType) {
  M full(3, 5);
  EXPECT_EQ(full.NumberOfValues(), 15u);
  EXPECT_EQ(full.LengthOfArray(), 15u);
  EXPECT_EQ(full.Type(), M::UNKNOWN);
  M diag(4, 4, M::DIAG);
  EXPECT_EQ(diag.NumberOfEntries(), 4);
  EXPECT_TRUE(diag.IsDiagonal());
  EXPECT_TRUE(diag.IsSquare());
  M row(1, 7), col(7, 1);
  EXPECT_EQ(row.NumberOfValues(), 7u);
  EXPECT_EQ(col.NumberOfValues(), 7u);
  EXPECT_FALSE(row.IsSquare());
}

TEST(MatrixConstruct, ElementAccessAndColumnMajorLayout) {
  M m(2, 3);
  for (int k = 0; k < 6; ++k) m.Values()[k] = k;
  EXPECT_EQ(m.value(1, 0), 1.0);
  EXPECT_EQ(m.value(0, 2), 4.0);
  EXPECT_EQ(m.SafeGet(1, 2), 5.0);
  EXPECT_EQ(m.Values(1, 1), m.Values() + 3);
  m.value(0, 1) = 9.0;
  EXPECT_EQ(m.Values()[2], 9.0);

  M d(3, 3, M::DIAG);
  d = 0.0;
  d.value(2, 2) = 7.0;
  EXPECT_EQ(d.Values()[2], 7.0);
  const M& cd = d;
  EXPECT_EQ(cd.value(1, 2), 0.0);  // off-diagonal reads as zero (the const form)
  EXPECT_EQ(d.Values(2, 2), d.Values() + 2);
  EXPECT_EQ(d.FastGet(2, 0), 7.0);  // full-storage formula regardless of type: index 2
}

TEST_F(Ledger, CallerArrayIsViewedNeverFreedAndLeftAloneOnResize) {
  std::vector<double> caller = {1, 2, 3, 4, 5, 6};
  const std::vector<double> before = caller;
  {
    M m(2, 3, caller.data());
    EXPECT_FALSE(m.OwnMemory());
    EXPECT_EQ(m.Values(), caller.data());
    EXPECT_EQ(m.value(1, 2), 6.0);
    EXPECT_EQ(Allocations(), 0);

    m.Reset(4, 4);  // a new size: the matrix gets an array of its own
    EXPECT_TRUE(m.OwnMemory());
    EXPECT_NE(m.Values(), caller.data());
    EXPECT_EQ(Allocations(), 1);
    m = 5.0;
    EXPECT_EQ(caller, before);

    m.Reset(2, 3, caller.data());  // viewing again releases the owned array
    EXPECT_TRUE(Live().empty());
    m.Reset(2, 3);  // same count as the view, but the view is still the caller's
    EXPECT_TRUE(m.OwnMemory());
    EXPECT_NE(m.Values(), caller.data());
    m.Reset(2, 3, caller.data());
  }
  EXPECT_EQ(caller, before);
}

TEST_F(Ledger, OwnedArrayKeptWhenCountUnchanged) {
  M m(3, 4);
  double* array = m.Values();
  m.Values()[11] = 42.0;
  m.Reset(6, 2);  // same 12 values: storage and contents stay
  EXPECT_EQ(m.Values(), array);
  EXPECT_EQ(m.Values()[11], 42.0);
  EXPECT_EQ(Allocations(), 1);
  m.Reset(5, 5, M::DIAG);  // 5 values: reallocated
  EXPECT_EQ(Allocations(), 2);
  EXPECT_EQ(Live().begin()->second, 5 * sizeof(double));
  m.Reset();
  EXPECT_TRUE(Live().empty());
}

TEST_F(Ledger, CopiesAndAssignmentsReleaseEveryArrayOnce) {
  const naive::Dense ref = naive::Random(4, 3, 11);
  const int rowOrds[] = {10, 11, 12, 13};
  const int colOrds[] = {20, 21, 22};
  std::vector<double> caller(ref.a);
  {
    M view(4, 3, rowOrds, colOrds, caller.data());
    M copy(view);
    EXPECT_TRUE(copy.OwnMemory());
    EXPECT_NE(copy.Values(), caller.data());
    EXPECT_TRUE(naive::Near(copy, ref, 0.0));
    ASSERT_NE(copy.GetRowOrdinals(), nullptr);
    EXPECT_NE(copy.GetRowOrdinals(), view.GetRowOrdinals());  // deep copy of the lists too
    EXPECT_EQ(copy.GetColOrdinals()[2], 22);

    M other(7, 7, M::DIAG);
    other.Reset(view);  // different count: reallocated, values, type and ordinals copied
    EXPECT_EQ(other.Type(), M::UNKNOWN);
    EXPECT_TRUE(naive::Near(other, ref, 0.0));
    EXPECT_EQ(other.GetRowOrdinals()[3], 13);

    M target(4, 3, M::SKEW);
    target = view;  // same shape: values copied, type and (absent) ordinals kept
    EXPECT_EQ(target.Type(), M::SKEW);
    EXPECT_EQ(target.GetRowOrdinals(), nullptr);
    EXPECT_TRUE(naive::Near(target, ref, 0.0));

    M empty;
    other.Reset(empty);
    EXPECT_TRUE(other.IsNull());
  }
  EXPECT_EQ(caller, ref.a);
}

TEST(MatrixConstruct, AssignmentRules) {
  // Same shape, full into full: the target keeps its type.
  M a = naive::ToMatrix(naive::Random(3, 3, 1), M::SYMM);
  const naive::Dense b = naive::Random(3, 3, 2);
  M bm = naive::ToMatrix(b);
  a = bm;
  EXPECT_EQ(a.Type(), M::SYMM);
  EXPECT_TRUE(naive::Near(a, b, 0.0));

  // Full into DIAG of the same size: reallocated with the full type.
  M d = naive::Diagonal({1, 2, 3});
  d = bm;
  EXPECT_EQ(d.Type(), M::UNKNOWN);
  EXPECT_EQ(d.NumberOfValues(), 9u);
  EXPECT_TRUE(naive::Near(d, b, 0.0));

  // DIAG into full of the same size: the full matrix is the expanded diagonal.
  M f = naive::ToMatrix(naive::Random(3, 3, 3));
  f = naive::Diagonal({4, 5, 6});
  EXPECT_EQ(f.Type(), M::UNKNOWN);
  EXPECT_TRUE(naive::Near(f, naive::DiagonalDense({4, 5, 6}), 0.0));

  // Different shape: takes rhs's counts; ordinals left in place.
  const int ords[] = {1, 2, 3};
  M g(3, 3);
  g.SetRowOrdinals(ords);
  const naive::Dense h = naive::Random(2, 5, 4);
  g = naive::ToMatrix(h);
  EXPECT_TRUE(naive::Near(g, h, 0.0));
  EXPECT_NE(g.GetRowOrdinals(), nullptr);

  // Assigning into a caller's array of the same shape writes into it.
  std::vector<double> caller(6, 0.0);
  M v(2, 3, caller.data());
  v = naive::ToMatrix(naive::Random(2, 3, 5));
  EXPECT_EQ(caller, naive::Random(2, 3, 5).a);

  const M& same = g;
  g = same;  // self-assignment changes nothing
  EXPECT_TRUE(naive::Near(g, h, 0.0));
}

TEST_F(Ledger, SwapOwnedExchangesArraysViewedExchangesValues) {
  const naive::Dense x = naive::Random(2, 3, 21), y = naive::Random(3, 2, 22);
  M a = naive::ToMatrix(x), b = naive::ToMatrix(y, M::SYMM);
  const int ords[] = {7, 8};
  a.SetRowOrdinals(ords);
  double* pa = a.Values();
  a.Swap(b);
  EXPECT_EQ(b.Values(), pa);
  EXPECT_EQ(b.GetRowOrdinals()[1], 8);
  EXPECT_EQ(a.GetRowOrdinals(), nullptr);
  EXPECT_EQ(a.Type(), M::SYMM);
  EXPECT_TRUE(naive::Near(a, y, 0.0));
  EXPECT_TRUE(naive::Near(b, x, 0.0));

  std::vector<double> caller(x.a);
  M v(2, 3, caller.data());
  M o = naive::ToMatrix(y);
  double* po = o.Values();
  v.Swap(o);  // v views the caller's array: values travel, arrays stay
  EXPECT_EQ(v.Values(), caller.data());
  EXPECT_EQ(o.Values(), po);
  EXPECT_EQ(v.NumberOfRows(), 3);
  EXPECT_TRUE(naive::Near(v, y, 0.0));
  EXPECT_TRUE(naive::Near(o, x, 0.0));
  EXPECT_EQ(caller, y.a);
}

TEST_F(Ledger, OrdinalsAreCopiedAndDropped) {
  int rows[] = {5, 6};
  int cols[] = {7, 8, 9};
  M m(2, 3);
  m.SetOrdinals(rows, cols);
  rows[0] = -1;  // the matrix holds its own copy
  EXPECT_EQ(m.GetRowOrdinals()[0], 5);
  const int* list = m.GetColOrdinals();
  const int newCols[] = {1, 2, 3};
  m.SetColOrdinals(newCols);
  EXPECT_EQ(m.GetColOrdinals(), list);  // allocated once, then overwritten
  EXPECT_EQ(m.GetColOrdinals()[2], 3);
  m.SetRowOrdinals(nullptr);
  EXPECT_EQ(m.GetRowOrdinals(), nullptr);
  m.Reset(2, 3);  // a reset drops the lists
  EXPECT_EQ(m.GetColOrdinals(), nullptr);
}

TEST(MatrixConstruct, TransposeInPlace) {
  const int rows[] = {1, 2};
  const int cols[] = {3, 4, 5};
  const naive::Dense x = naive::Random(2, 3, 31);
  M m = naive::ToMatrix(x);
  m.SetOrdinals(rows, cols);
  m.Transpose();
  EXPECT_TRUE(naive::Near(m, naive::Transpose(x), 0.0));
  EXPECT_EQ(m.GetRowOrdinals()[2], 5);
  EXPECT_EQ(m.GetColOrdinals()[1], 2);

  const naive::Dense s = naive::Random(5, 5, 32);  // square: exchanged in place
  M sq = naive::ToMatrix(s, M::SKEW);
  double* p = sq.Values();
  sq.Transpose();
  EXPECT_EQ(sq.Values(), p);
  EXPECT_TRUE(naive::Near(sq, naive::Transpose(s), 0.0));

  M sy = naive::ToMatrix(s, M::SYMM);  // SYMM: taken as symmetric, nothing done
  sy.Transpose();
  EXPECT_TRUE(naive::Near(sy, s, 0.0));

  std::vector<double> caller(x.a);  // rectangular view: transposed values written back in place
  M v(2, 3, caller.data());
  v.Transpose();
  EXPECT_EQ(v.Values(), caller.data());
  EXPECT_EQ(v.NumberOfRows(), 3);
  EXPECT_EQ(caller, naive::Transpose(x).a);

  M row = naive::ToMatrix(naive::Random(1, 4, 33));
  row.Transpose();
  EXPECT_EQ(row.NumberOfRows(), 4);
  EXPECT_TRUE(naive::Near(row, naive::Transpose(naive::Random(1, 4, 33)), 0.0));
}

TEST(MatrixConstruct, TransposeIntoAnother) {
  const int rows[] = {1, 2, 3};
  const naive::Dense x = naive::Random(3, 4, 41);
  M m = naive::ToMatrix(x);
  m.SetRowOrdinals(rows);
  M t(9, 9, M::DIAG);
  m.Transpose(t, nullptr);
  EXPECT_EQ(t.Type(), M::UNKNOWN);
  EXPECT_TRUE(t.OwnMemory());
  EXPECT_TRUE(naive::Near(t, naive::Transpose(x), 0.0));
  EXPECT_EQ(t.GetRowOrdinals(), nullptr);
  EXPECT_EQ(t.GetColOrdinals()[2], 3);

  std::vector<double> buffer(12, -1.0);
  M tb;
  m.Transpose(tb, buffer.data());
  EXPECT_EQ(tb.Values(), buffer.data());
  EXPECT_EQ(buffer, naive::Transpose(x).a);

  M d = naive::Diagonal({1, 2});
  d.Transpose(t, nullptr);  // DIAG: T untouched
  EXPECT_EQ(t.NumberOfRows(), 4);
  M empty;
  empty.Transpose(t, nullptr);
  EXPECT_TRUE(t.IsNull());
}

}  // namespace
