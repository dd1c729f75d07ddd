// Products of the Hermitian scratch matrix (A and J·A, nodes across band boundaries) and of the dense matrix set,
// against textbook references; their fatal texts.
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

#include "QORMtxDenseMatrixSet.h"
#include "QORMtxHermitianScrDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "scratch_test_util.h"

namespace {

using ref::Dense;
using ref::Near;
using ref::Product;
using scratch_test::Put;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// J·A: each node's rows [X; Y] become [−Y; X].
Dense Flip(const Dense& a, const std::vector<int>& nodes) {
  Dense j = a;
  int start = 0;
  for (int s : nodes) {
    for (int c = 0; c < a.cols; ++c)
      for (int r = 0; r < s / 2; ++r) {
        j(start + r, c) = -a(start + r + s / 2, c);
        j(start + r + s / 2, c) = a(start + r, c);
      }
    start += s;
  }
  return j;
}

QORMtxMatrix InCore(Dense& d) { return QORMtxMatrix(d.rows, d.cols, d.a.data()); }

class Hermitian : public scratch_test::ScratchTest {};

// Row blocks of rowChunk; nodes chosen to straddle band boundaries (marked |) where noted.
struct HermitianCase {
  const char* name;
  int rows, cols, rowChunk;
  std::vector<int> nodes;
  int firstCol;  // > 0: products of the view of columns firstCol … cols − 1
};
const HermitianCase kHermitianCases[] = {
    {"one band, nodes 2 and 4", 6, 3, 6, {2, 4}, 0},
    {"blocks 5 5 2, nodes over 4|5 and 9|10", 12, 4, 5, {2, 4, 2, 4}, 0},
    {"blocks of 3, a node in every boundary", 14, 3, 3, {2, 2, 4, 2, 4}, 0},
    {"view of columns 1 … 4", 10, 5, 4, {4, 2, 4}, 1},
};

TEST_F(Hermitian, ProductsWithAAndJAAgainstReference) {
  for (const HermitianCase& hc : kHermitianCases) {
    SCOPED_TRACE(hc.name);
    const int m = hc.rows, nodes = static_cast<int>(hc.nodes.size());
    QORMtxHermitianScrDenseMatrix whole(m, hc.cols, nodes, hc.nodes.data(), hc.rowChunk, 2, 0);
    const Dense stored = ref::Random(m, hc.cols, 1);
    Put(whole, stored);
    std::unique_ptr<QORMtxDenseMatrix> view(whole.Submatrix(0, m - 1, hc.firstCol, hc.cols - 1));
    const QORMtxDenseMatrix& A = hc.firstCol > 0 ? *view : whole;
    const Dense a = stored.Block(0, m - 1, hc.firstCol, hc.cols - 1), ja = Flip(a, hc.nodes);
    const int n = a.cols, p = 3;
    Dense b = ref::Random(2 * n, p, 2);
    const Dense b1 = b.Block(0, n - 1, 0, p - 1), b2 = b.Block(n, 2 * n - 1, 0, p - 1);
    const Dense direct = ref::Lin(1.0, Product(a, b1), 1.0, Product(ja, b2));

    // Slot 8: beta = 0 never reads C (NaN there), then beta ≠ 0 accumulates.
    QORMtxHermitianScrDenseMatrix C(m, p, nodes, hc.nodes.data(), hc.rowChunk, 2, 0);
    Put(C, Dense(m, p, kNaN));
    const QORMtxMatrix B = InCore(b);
    A.Multiply(1.5, B, 0.0, C);
    EXPECT_TRUE(Near(ref::Load(C), ref::Lin(1.5, direct, 0.0, direct)));
    A.Multiply(2.0, B, -0.5, C);
    EXPECT_TRUE(Near(ref::Load(C), ref::Lin(2.0, direct, -0.75, direct)));

    // Slot 4 adds into y.
    Dense y = ref::Random(m, p, 3);
    const Dense y0 = y;
    A.Multiply(b.a.data(), p, y.a.data());
    EXPECT_TRUE(Near(y, ref::Lin(1.0, y0, 1.0, direct)));

    // Transposed products overwrite [Aᵀ·x; (J·A)ᵀ·x]; x in core (slots 10, 12) or stored (slots 15, 16).
    Dense x = ref::Random(m, p, 4);
    Dense want(2 * n, p);
    want.SetBlock(0, 0, Product(ref::Transpose(a), x));
    want.SetBlock(n, 0, Product(ref::Transpose(ja), x));
    Dense got(2 * n, p, kNaN);
    for (int twice = 0; twice < 2; ++twice) {
      A.TransposeMultiply(x.a.data(), p, got.a.data(), m);
      EXPECT_TRUE(Near(got, want)) << "slot 10, call " << twice;
    }
    got = Dense(2 * n, p, kNaN);
    A.TransposeMultiply(InCore(x), got.a.data(), 0);
    EXPECT_TRUE(Near(got, want)) << "slot 12";
    QORMtxScratchDenseMatrix xs(m, p, 5, 2);  // blocked unlike A
    Put(xs, x);
    got = Dense(2 * n, p, kNaN);
    A.TransposeMultiply(&xs, got.a.data(), 0);
    EXPECT_TRUE(Near(got, want)) << "slot 15";
    got = Dense(2 * n, p, kNaN);
    QORMtxMatrix gotMatrix = InCore(got);
    A.TransposeMultiply(&xs, gotMatrix, 0);
    EXPECT_TRUE(Near(got, want)) << "slot 16";

    // IndexedMultiply leaves C alone.
    const Dense before = ref::Load(C);
    const int rowIndex[] = {0}, groupStart[] = {0, 1};
    A.IndexedMultiply(B, C, rowIndex, groupStart, 1);
    EXPECT_TRUE(Near(ref::Load(C), before, 0.0));

    // Slot 9 last, as it rewrites A: A = A·B1 + (J·A)·B2 with a square B1.
    if (hc.firstCol == 0) {
      Dense sq = ref::Random(2 * n, n, 5);
      const Dense s1 = sq.Block(0, n - 1, 0, n - 1), s2 = sq.Block(n, 2 * n - 1, 0, n - 1);
      whole.MultiplyAssign(InCore(sq));
      EXPECT_TRUE(Near(ref::Load(whole), ref::Lin(1.0, Product(a, s1), 1.0, Product(ja, s2))));
    }
  }
}

TEST_F(Hermitian, PreconditionsAndUnavailableProducts) {
  const int sizes[] = {2, 4};
  QORMtxHermitianScrDenseMatrix A(6, 2, 2, sizes, 4, 2, 0);
  QORMtxHermitianScrDenseMatrix C(6, 3, 2, sizes, 4, 2, 0);
  QORMtxScratchDenseMatrix plain(6, 3, 4, 2);
  QORMtxMatrix B(4, 3), wrongB(3, 3), D(4, 4, QORMtxMatrix::DIAG);
  std::vector<double> y(4 * 3);
  EXPECT_QORMTX_PRL_ASSERTION(A.Submatrix(1, 5, 0, 1), "startRow == 0 && endRow == rhs.NumberOfRows()-1");
  EXPECT_QORMTX_PRL_ASSERTION(A.Multiply(1.0, B, 0.0, plain), "dynamic_cast<QORMtxHermitianScrDenseMatrix *>(&C)");
  EXPECT_QORMTX_PRL_ASSERTION(A.Multiply(1.0, wrongB, 0.0, C), "2*numColsA == numRowsB");
  EXPECT_QORMTX_PRL_ASSERTION(A.MultiplyAssign(D), "!B.IsDiagonal()");
  EXPECT_QORMTX_PRL_ASSERTION(A.TransposeMultiply(B, y.data(), 1), "symFlag==0");
  EXPECT_QORMTX_PRL_ASSERTION(A.Multiply(&plain, y.data()), "0");
  // Node sizes that do not add up to the rows: short, or a node running past the end.
  const int shortNodes[] = {2, 2}, longNodes[] = {2, 6};
  QORMtxHermitianScrDenseMatrix shortA(6, 2, 2, shortNodes, 4, 2, 0), longA(6, 2, 2, longNodes, 4, 2, 0);
  EXPECT_QORMTX_PRL_ASSERTION(shortA.Multiply(1.0, B, 0.0, C), "currentPosition == numRowsA");
  EXPECT_QORMTX_PRL_ASSERTION(longA.Multiply(1.0, B, 0.0, C), "currentNode == m_nNodes");
}

// ---- Dense matrix set ----

class MatrixSet : public scratch_test::ScratchTest {};

TEST_F(MatrixSet, TransposeProductOfMembersWithDifferentBlocksAgainstReference) {
  const int m = 11;
  struct Member {
    int cols, rowChunk, colChunk;
  };
  struct Case {
    const char* name;
    std::vector<Member> members;
    int symmetry;
  };
  const Case cases[] = {
      {"three blockings, bands of one block", {{3, 4, 2}, {5, 3, 5}, {1, 11, 1}}, 0},
      {"one member, bands of several blocks", {{2, 2, 2}}, 0},
      {"one member, B = S, symmetric", {{4, 3, 3}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<QORMtxScratchDenseMatrix>> members;
    std::vector<const QORMtxDenseMatrix*> pointers;
    Dense s(m, 0);
    for (size_t i = 0; i < c.members.size(); ++i) {
      const Member& mb = c.members[i];
      const Dense v = ref::Random(m, mb.cols, 10 + i);
      members.push_back(std::make_unique<QORMtxScratchDenseMatrix>(m, mb.cols, mb.rowChunk, mb.colChunk));
      Put(*members.back(), v);
      pointers.push_back(members.back().get());
      Dense wider(m, s.cols + v.cols);
      wider.SetBlock(0, 0, s);
      wider.SetBlock(0, s.cols, v);
      s = wider;
    }
    const QORMtxDenseMatrixSet set(pointers.data(), static_cast<int>(pointers.size()));
    ASSERT_EQ(set.NumberOfColumns(), s.cols);
    std::unique_ptr<QORMtxScratchDenseMatrix> ownB;
    const QORMtxDenseMatrix* B = members[0].get();
    Dense b = s;
    if (!c.symmetry) {
      b = ref::Random(m, 4, 20);
      ownB = std::make_unique<QORMtxScratchDenseMatrix>(m, 4, 5, 3);
      Put(*ownB, b);
      B = ownB.get();
    }
    const Dense want = Product(ref::Transpose(s), b);
    Dense got(s.cols, b.cols, kNaN);
    QORMtxMatrix gotMatrix = InCore(got);
    set.TransposeMultiply(B, gotMatrix, c.symmetry);
    EXPECT_TRUE(Near(got, want));
    QORMtxScratchDenseMatrix stored(s.cols, b.cols, 2, 2);
    set.TransposeMultiply(B, &stored, c.symmetry);
    EXPECT_TRUE(Near(ref::Load(stored), want));
  }
}

TEST_F(MatrixSet, Preconditions) {
  QORMtxScratchDenseMatrix a(5, 2, 2, 2), shorter(4, 2, 2, 2);
  QORMtxMatrix C(2, 2);
  const QORMtxDenseMatrixSet empty(nullptr, 3);
  EXPECT_QORMTX_PRL_ASSERTION(empty.TransposeMultiply(&a, C, 0), "(m_MatrixSet != NULL) && (m_SizeOfSet>0)");
  const QORMtxDenseMatrix* withNull[] = {&a, nullptr};
  EXPECT_QORMTX_PRL_ASSERTION(QORMtxDenseMatrixSet(withNull, 2), "m_MatrixSet[i] != NULL");
  const QORMtxDenseMatrix* mixed[] = {&a, &shorter};
  EXPECT_QORMTX_PRL_ASSERTION(QORMtxDenseMatrixSet(mixed, 2), "m_MatrixSet[i]->NumberOfRows() == m_numRows");
  const QORMtxDenseMatrix* one[] = {&a};
  const QORMtxDenseMatrixSet set(one, 1);
  EXPECT_QORMTX_PRL_ASSERTION(set.TransposeMultiply(&shorter, C, 0), "numRows == m_numRows");
}

}  // namespace
