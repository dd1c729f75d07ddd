// Stored dense products: every slot × block layouts against the triple-loop reference; preconditions; debug labels.
#include <limits>
#include <memory>

#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"
#include "naive_matrix.h"
#include "qormtx_death.h"
#include "stored_util.h"

namespace {

using ref::Dense;
using M = QORMtxMatrix;
using Products = stored_test::StoredTest;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A stored m × n operand as the products meet it: chunked, one block, a view with short first blocks, or flipped.
struct Layout {
  const char* name;
  int m, n, p, rowChunk, colChunk;
  enum { Whole, View, Flipped } kind;
};

const Layout kLayouts[] = {
    {"row bands straddle, short last", 42, 4, 2, 4, 2, Layout::Whole},  // transpose bands of 5 blocks: 20, 20, 2
    {"one block", 5, 4, 3, -1, -1, Layout::Whole},
    {"view", 11, 8, 4, 4, 2, Layout::View},
    {"transposed flag", 7, 6, 5, 3, 4, Layout::Flipped},
};

class Stored {
 public:
  Stored(Products& t, const Layout& l, std::uint64_t salt) : ref(ref::Random(l.m, l.n, salt)) {
    if (l.kind == Layout::View) {
      Dense parent = ref::Random(l.m + 2, l.n + 1, salt + 1);
      parent.SetBlock(1, 1, ref);
      m_parent = std::make_unique<QORMtxDenseMatrix>(ref::Store(t.Ctx(), parent, l.rowChunk, l.colChunk));
      m_view.reset(m_parent->Submatrix(1, l.m, 1, l.n));
    } else if (l.kind == Layout::Flipped) {
      m_view = std::make_unique<QORMtxDenseMatrix>(ref::Store(t.Ctx(), ref::Transpose(ref), l.colChunk, l.rowChunk));
      m_view->Transpose();
    } else {
      m_view = std::make_unique<QORMtxDenseMatrix>(ref::Store(t.Ctx(), ref, l.rowChunk, l.colChunk));
    }
  }
  QORMtxDenseMatrix& operator*() { return *m_view; }
  QORMtxDenseMatrix* get() { return m_view.get(); }
  Dense ref;

 private:
  std::unique_ptr<QORMtxDenseMatrix> m_parent, m_view;
};

Dense Nan(int r, int c) { return Dense(r, c, kNaN); }
Dense FromArray(int r, int c, const std::vector<double>& v) {
  Dense d(r, c);
  d.a = v;
  return d;
}
// The completion of SetSymmetricResults on a square result: the lower triangle copied (sign: negated) onto the upper.
Dense Completed(Dense x, double sign) {
  for (int c = 0; c < x.cols; ++c)
    for (int r = 0; r < c; ++r) x(r, c) = sign * x(c, r);
  return x;
}

TEST_F(Products, EverySlotOnEveryLayoutAgainstTheReference) {
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(l.name);
    const int m = l.m, n = l.n, p = l.p;
    Stored A(*this, l, 10);
    const Dense& a = A.ref;
    const Dense b = ref::Random(n, p, 11), bt = ref::Random(m, p, 12), bs = ref::Random(m, n, 13);
    const Dense ab = ref::Product(a, b), atb = ref::Product(ref::Transpose(a), bt);
    const auto stored = [&](const Dense& d) { return QORMtxDenseMatrix(ref::Store(Ctx(), d, 3, 2)); };

    {  // 4 and 10: y accumulates
      const Dense y0 = ref::Random(m, p, 14), z0 = ref::Random(n, p, 15), x = ref::Random(m - 1, p, 16);
      Dense y = y0, z = z0;
      (*A).Multiply(b.a.data(), p, y.a.data());
      EXPECT_TRUE(ref::Near(y, ref::Lin(1, y0, 1, ab))) << "slot 4";
      (*A).TransposeMultiply(x.a.data(), p, z.a.data(), m - 1);
      EXPECT_TRUE(ref::Near(z, ref::Lin(1, z0, 1, ref::Product(ref::Transpose(a.Block(0, m - 2, 0, n - 1)), x))))
          << "slot 10";
    }
    {  // 5: overwrite of a C full of NaN
      M C = naive::ToMatrix(Nan(m, p));
      (*A).Multiply(naive::ToMatrix(b), C);
      EXPECT_TRUE(naive::Near(C, ab)) << "slot 5";
    }
    {  // 6 and 7: B stored
      QORMtxDenseMatrix B = stored(b), C = stored(Nan(m, p));
      std::vector<double> c(static_cast<size_t>(m) * p, kNaN);
      (*A).Multiply(&B, c.data());
      EXPECT_TRUE(ref::Near(FromArray(m, p, c), ab)) << "slot 6";
      (*A).Multiply(B, C);
      EXPECT_TRUE(ref::Near(ref::Load(C), ab)) << "slot 7";
    }
    {  // 8: alpha·A·B + beta·C, full B with beta, diagonal B over NaN with beta 0
      const Dense c0 = ref::Random(m, p, 17);
      QORMtxDenseMatrix C = stored(c0), D = stored(Nan(m, n));
      (*A).Multiply(1.5, naive::ToMatrix(b), 0.5, C);
      EXPECT_TRUE(ref::Near(ref::Load(C), ref::Lin(1.5, ab, 0.5, c0))) << "slot 8";
      const std::vector<double> d = naive::RandomValues(n, 18);
      (*A).Multiply(-2.0, naive::Diagonal(d), 0.0, D);
      EXPECT_TRUE(ref::Near(ref::Load(D), ref::Lin(-2.0, ref::Product(a, naive::DiagonalDense(d)), 0, a)))
          << "slot 8 diagonal";
    }
    {  // 11: permuted rows, alpha and beta; then no permutation over NaN with beta 0
      std::vector<int> perm(m);
      Dense pa(m, n);
      for (int i = 0; i < m; ++i) perm[i] = m - 1 - i;
      for (int i = 0; i < m; ++i) pa.SetBlock(perm[i], 0, a.Block(i, i, 0, n - 1));
      const Dense c0 = ref::Random(n, p, 19);
      M C = naive::ToMatrix(c0), D = naive::ToMatrix(Nan(n, p));
      (*A).TransposeMultiply(perm.data(), naive::ToMatrix(bt), C, 1.5, 0.5);
      EXPECT_TRUE(naive::Near(C, ref::Lin(1.5, ref::Product(ref::Transpose(pa), bt), 0.5, c0))) << "slot 11";
      (*A).TransposeMultiply(nullptr, naive::ToMatrix(bt), D, 1.0, 0.0);
      EXPECT_TRUE(naive::Near(D, atb)) << "slot 11 unpermuted";
    }
    {  // 12 to 16: Aᵀ·B, general and with the symmetry rule
      QORMtxDenseMatrix B = stored(bt), Bs = stored(bs), C = stored(Nan(n, p));
      std::vector<double> c12(static_cast<size_t>(n) * p, kNaN), c15 = c12;
      M C13 = naive::ToMatrix(Nan(n, p)), C16 = C13;
      (*A).TransposeMultiply(naive::ToMatrix(bt), c12.data(), 0);
      (*A).TransposeMultiply(naive::ToMatrix(bt), C13, 0);
      (*A).TransposeMultiply(&B, &C, 0);
      (*A).TransposeMultiply(&B, c15.data(), 0);
      (*A).TransposeMultiply(&B, C16, 0);
      EXPECT_TRUE(ref::Near(FromArray(n, p, c12), atb)) << "slot 12";
      EXPECT_TRUE(naive::Near(C13, atb)) << "slot 13";
      EXPECT_TRUE(ref::Near(ref::Load(C), atb)) << "slot 14";
      EXPECT_TRUE(ref::Near(FromArray(n, p, c15), atb)) << "slot 15";
      EXPECT_TRUE(naive::Near(C16, atb)) << "slot 16";

      const Dense x = ref::Product(ref::Transpose(a), bs);  // n × n, completed from its lower triangle
      M S13 = naive::ToMatrix(Nan(n, n)), K13 = S13, S16 = S13, AA = S13;
      (*A).TransposeMultiply(naive::ToMatrix(bs), S13, 1);
      (*A).TransposeMultiply(naive::ToMatrix(bs), K13, -1);
      (*A).TransposeMultiply(&Bs, S16, 1);
      (*A).TransposeMultiply(A.get(), AA, 1);  // B is A: one read serves both
      EXPECT_TRUE(naive::Near(S13, Completed(x, 1))) << "slot 13 symmetric";
      EXPECT_TRUE(naive::Near(K13, Completed(x, -1))) << "slot 13 skew";
      EXPECT_TRUE(naive::Near(S16, Completed(x, 1))) << "slot 16 symmetric";
      EXPECT_TRUE(naive::Near(AA, ref::Product(ref::Transpose(a), a))) << "slot 16 with B = A";
    }
    {  // 17: a group of all rows but the first, then a group of one row
      std::vector<int> rowIndex(m), groupStart = {0, m - 1, m};
      for (int i = 0; i < m - 1; ++i) rowIndex[i] = i + 1;
      rowIndex[m - 1] = 0;
      QORMtxDenseMatrix C = stored(Nan(m, p));
      (*A).IndexedMultiply(naive::ToMatrix(b), C, rowIndex.data(), groupStart.data(), 2);
      Dense want(m, p);
      for (int i = 0; i < m; ++i) want.SetBlock(i, 0, ab.Block(rowIndex[i], rowIndex[i], 0, p - 1));
      EXPECT_TRUE(ref::Near(ref::Load(C), want)) << "slot 17";
    }
    if (l.kind == Layout::Whole) {  // 9: A = A·B in place
      const Dense sq = ref::Random(n, n, 20);
      QORMtxDenseMatrix A9(ref::Store(Ctx(), a, l.rowChunk, l.colChunk));
      A9.MultiplyAssign(naive::ToMatrix(sq));
      EXPECT_TRUE(ref::Near(ref::Load(A9), ref::Product(a, sq))) << "slot 9";
    }
  }
}

TEST_F(Products, EmptyStoredDimensionsDoNothingOrClear) {
  QORMtxDenseMatrix noRows(ref::Store(Ctx(), Dense(0, 3), -1, -1)), noRowsChunked(ref::Store(Ctx(), Dense(0, 3), 2, 2));
  for (QORMtxDenseMatrix* A : {&noRows, &noRowsChunked}) {
    EXPECT_EQ(A->NumberOfRowBlocks(), 0);
    std::vector<double> z(6, 1.0);
    A->TransposeMultiply(nullptr, 2, z.data(), 0);  // y += nothing
    EXPECT_EQ(z, std::vector<double>(6, 1.0));
    M C = naive::ToMatrix(Nan(3, 3));
    A->TransposeMultiply(A, C, 0);  // an empty inner dimension: Aᵀ·A = 0
    EXPECT_TRUE(naive::Near(C, Dense(3, 3)));
  }
}

TEST_F(Products, TimingsUnderTheirLabelsOnlyWhenDebugging) {
  QORMtxDenseMatrix A(ref::Store(Ctx(), ref::Random(9, 4, 1), 2, 2));
  M C(9, 2), D(4, 4);
  for (bool debug : {false, true}) {
    QORMtxUtilities::SetDebug(debug);
    ::testing::internal::CaptureStderr();
    A.Multiply(naive::ToMatrix(ref::Random(4, 2, 2)), C);
    A.TransposeMultiply(&A, D, 0);
    const std::string text = ::testing::internal::GetCapturedStderr();
    QORMtxUtilities::SetDebug(false);
    for (const char* label : {"Multiply()---Access  time", "Multiply()---Compute time",
                              "TransposeMultiply()---Access time", "TransposeMultiply()---Compute time"})
      EXPECT_EQ(text.find(std::string("QORMtxDenseMatrix::") + label + " QORMtxTime:") != std::string::npos, debug)
          << label << "\n" << text;
  }
}

using ProductsDeath = Products;

TEST_F(ProductsDeath, Preconditions) {
  QORMtxDenseMatrix A(ref::Store(Ctx(), ref::Random(5, 4, 1), 2, 2)), B(ref::Store(Ctx(), ref::Random(3, 2, 2), 2, 2));
  M b3(3, 2), c52(5, 2), c42(4, 2), sq(4, 4), b43(4, 3);
  QORMtxDenseMatrix C(ref::Store(Ctx(), Dense(5, 2), 2, 2));
  EXPECT_QORMTX_ASSERTION(A.Multiply(b3, c52), "numColsA == B.NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(A.Multiply(naive::ToMatrix(ref::Random(4, 2, 3)), c42),
                          "numRowsA == C.NumberOfRows() && numColsB == C.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(A.Multiply(nullptr, c52.Values()), "B != NULL");
  EXPECT_QORMTX_ASSERTION(A.Multiply(&B, c52.Values()), "ncolA == nrowB");
  EXPECT_QORMTX_ASSERTION(A.Multiply(B, C), "dimN == B.NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(A.Multiply(1.0, b3, 0.0, C), "numColsA == numRowsB");
  EXPECT_QORMTX_ASSERTION(A.MultiplyAssign(b43), "ncolA == ncolB");
  EXPECT_QORMTX_ASSERTION(A.TransposeMultiply(nullptr, c52, c52, 1.0, 0.0),
                          "numColsB == numColsC && numColsA == numRowsC");
  EXPECT_QORMTX_ASSERTION(A.TransposeMultiply(c42, sq, 0), "numRows == NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(A.TransposeMultiply(static_cast<const QORMtxDenseMatrix*>(nullptr), sq, 0), "B != NULL");
  EXPECT_QORMTX_ASSERTION(A.TransposeMultiply(&B, sq, 0), "numRows == NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(A.TransposeMultiply(&A, static_cast<QORMtxDenseMatrix*>(nullptr), 0), "C != NULL");
}

}  // namespace
