// Sparse products with vectors, stored dense matrices and diagonals, against dense references built from the entries.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../stored/stored_util.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORMtxUtilities.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

namespace {

// Column-major block of small integers (exact products with the eighths of RandomEntries).
std::vector<double> Block(int rows, int cols, int salt) {
  std::vector<double> x(static_cast<size_t>(rows) * cols);
  for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<double>((k * 7 + salt * 3) % 11) - 5.0;
  return x;
}

// y = op(R)·x for column-major x and y.
std::vector<double> Product(const Dense& R, bool transpose, const std::vector<double>& x, int numVectors) {
  Dense X(transpose ? R.rows : R.cols, numVectors);
  X.a = x;
  return ref::Product(transpose ? ref::Transpose(R) : R, X).a;
}

// Entries of a matrix that has a stored entry in its last row and last column (so growth keeps the shape).
std::vector<QORMtxSparseMatrixEntry> Entries(unsigned seed, int rows, int cols, int n, bool lower,
                                             const std::vector<int>& emptyRows = {}) {
  std::mt19937_64 rng = ref::Rng(seed);
  std::vector<QORMtxSparseMatrixEntry> e = RandomEntries(rng, rows, cols, n, lower, emptyRows);
  if (n > 0) e.push_back({static_cast<unsigned>(rows - 1), static_cast<unsigned>(lower ? 0 : cols - 1), 0.625});
  if (n > 0 && !lower) e.push_back({0, static_cast<unsigned>(cols - 1), -1.5});
  return e;
}

struct Shape {
  const char* name;
  int rows, cols, n;
  bool symmetric;
  std::vector<int> emptyRows;
};

const std::vector<Shape> kShapes = {
    {"no nonzeros", 4, 3, 0, false, {}},     {"no nonzeros, symmetric asked", 3, 3, 0, true, {}},
    {"single row", 1, 7, 5, false, {}},      {"wide", 5, 9, 20, false, {2}},
    {"tall", 9, 4, 15, false, {0, 5}},       {"square", 12, 12, 40, false, {}},
    {"symmetric", 12, 12, 30, true, {3, 7}}, {"symmetric 1 x 1", 1, 1, 1, true, {}},
};

TEST(SparseMultiply, VectorsAndDiagonalsAgreeWithDenseReferenceForAllShapes) {
  for (const Shape& s : kShapes) {
    const auto entries = Entries(11, s.rows, s.cols, s.n, s.symmetric, s.emptyRows);
    QORMtxSparseMatrix A;
    Assemble(A, s.rows, s.cols, entries, s.symmetric);
    ASSERT_TRUE(A.IsAssembled()) << s.name;
    const Dense R = Reference(s.rows, s.cols, entries, A.Diagonal() != nullptr);
    for (bool transpose : {false, true})
      for (int numVectors : {1, 2, 3, 4, 8, 15}) {   // the kernels' panels of 8, then 4, 2 and 1
        const bool op = transpose && !A.Diagonal();  // symmetric storage ignores the flag
        const std::vector<double> x = Block(op ? s.rows : s.cols, numVectors, numVectors);
        std::vector<double> y(static_cast<size_t>(op ? s.cols : s.rows) * numVectors, kNaN);
        A.Multiply(x.data(), numVectors, y.data(), transpose);
        EXPECT_EQ(y, Product(R, op, x, numVectors)) << s.name << ", transpose " << transpose << ", " << numVectors;
      }
    if (A.IsNull()) continue;
    // Diagonal scaling keeps the storage; the stored lower triangle (all of unsymmetric storage) is that of D·A, A·D.
    for (bool left : {true, false}) {
      const int n = left ? s.rows : s.cols;
      QORMtxMatrix D(n, n, QORMtxMatrix::DIAG);
      for (int i = 0; i < n; ++i) D.Values()[i] = 0.5 * (i + 1) - 2.0;
      QORMtxSparseMatrix B;
      A.MultiplyByDiagonal(left, D, B);
      ASSERT_TRUE(B.IsAssembled());
      EXPECT_EQ(B.Diagonal() != nullptr, s.symmetric) << s.name;
      const Dense got = RawDense(B);
      ASSERT_TRUE(got.rows == s.rows && got.cols == s.cols);
      for (int i = 0; i < s.rows; ++i)
        for (int j = 0; j < (s.symmetric ? i + 1 : s.cols); ++j)
          EXPECT_EQ(got(i, j), R(i, j) * D.Values()[left ? i : j]) << s.name << " (" << i << ", " << j << ")";
    }
  }
}

// ---- Products with stored dense matrices ----

class SparseStoredProducts : public stored_test::StoredTest {
 protected:
  void SetUp() override {
    StoredTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
  // A stored rows × cols matrix holding x (column-major), chunked rowChunk × colChunk.
  QORSimDistributionID Store(int rows, int cols, int rowChunk, int colChunk, const std::vector<double>& x) {
    Dense d(rows, cols);
    d.a = x;
    return ref::Store(Ctx(), d, rowChunk, colChunk);
  }
};

TEST_F(SparseStoredProducts, DenseByColumnBlocksZeroesTheRowsPastTheProduct) {
  const int numCols = 10;  // blocks of 3 columns: the last holds 1
  for (const Shape& s : {kShapes[3], kShapes[4], kShapes[6]})
    for (bool transpose : {false, true}) {
      const auto entries = Entries(31, s.rows, s.cols, s.n, s.symmetric, s.emptyRows);
      QORMtxSparseMatrix A;
      Assemble(A, s.rows, s.cols, entries, s.symmetric);
      const bool op = transpose && !A.Diagonal();
      const int inner = op ? s.rows : s.cols, outer = op ? s.cols : s.rows;
      // v has two rows beyond the inner dimension, which must not take part; u has three beyond the product.
      Dense x(inner + 2, numCols);
      x.a = Block(inner + 2, numCols, 5);
      QORMtxDenseMatrix v(Store(inner + 2, numCols, 4, 3, x.a));
      QORMtxDenseMatrix u(Store(outer + 3, numCols, 5, 4, std::vector<double>((outer + 3) * numCols, kNaN)));
      A.MultiplyDense(v, u, transpose);
      const std::vector<double> y = Product(Reference(s.rows, s.cols, entries, s.symmetric), op,
                                            x.Block(0, inner - 1, 0, numCols - 1).a, numCols);
      const std::vector<double> got = ref::Load(u).a;
      for (int j = 0; j < numCols; ++j)
        for (int i = 0; i < outer + 3; ++i)
          EXPECT_EQ(got[j * (outer + 3) + i], i < outer ? y[j * outer + i] : 0.0)
              << s.name << ", transpose " << transpose << " (" << i << ", " << j << ")";
    }
}

// The gathered product reads v run by run below 1000 runs of listed rows and by whole spans above; a block of 13
// columns meets every panel width of the kernel.
TEST_F(SparseStoredProducts, TransposedIntoArrayReadsOnlyListedRows) {
  struct Case {
    const char* name;
    int rows, cols, period, gap, numCols, colChunk;  // row r has entries unless r % period < gap
    bool Empty(int r) const { return r % period < gap; }
  };
  for (const Case& c : {Case{"one run", 30, 6, 1, 0, 5, 3}, Case{"runs of 3", 40, 7, 5, 2, 7, 3},
                        Case{"2000 runs", 4000, 5, 2, 1, 13, 13}}) {
    std::vector<QORMtxSparseMatrixEntry> entries;
    for (int r = 0; r < c.rows; ++r)
      for (int k = 0; k < 2 && !c.Empty(r); ++k)
        entries.push_back(
            {static_cast<unsigned>(r), static_cast<unsigned>((r * 3 + k * 2) % c.cols), 0.125 * (r % 13) - 0.5});
    QORMtxSparseMatrix A;
    Assemble(A, c.rows, c.cols, entries);
    // Rows without entries hold NaN: reading them into the product would show.
    std::vector<double> x = Block(c.rows, c.numCols, 2), xClean = x;
    for (int j = 0; j < c.numCols; ++j)
      for (int r = 0; r < c.rows; ++r)
        if (c.Empty(r)) x[j * c.rows + r] = kNaN, xClean[j * c.rows + r] = 0.0;
    QORMtxDenseMatrix v(Store(c.rows, c.numCols, 256, c.colChunk, x));
    std::vector<double> u(static_cast<size_t>(c.cols) * c.numCols, kNaN);
    A.MultiplyDense(v, u.data(), true);
    EXPECT_EQ(u, Product(Reference(c.rows, c.cols, entries, false), true, xClean, c.numCols)) << c.name;
  }
}

TEST_F(SparseStoredProducts, MappedPairsInnerIndicesWithRowsOfVByOrdinal) {
  const int n = 12, numCols = 7;  // v: n rows with ordinals 0 .. n-1, blocks of 2 columns
  const std::vector<double> x = Block(n, numCols, 4);
  QORMtxDenseMatrix v(Store(n, numCols, 5, 2, x));
  struct Case {
    const char* name;
    int rows, cols, nnz;
    bool symmetric, transpose;
  };
  // Inner ordinals out of order; a 12 × 4 A groups three blocks of v per read (4 mapped rows of 12).
  for (const Case& c : {Case{"square", n, n, 40, false, false}, Case{"square, transposed", n, n, 40, false, true},
                        Case{"symmetric", n, n, 30, true, false}, Case{"12 x 4", n, 4, 20, false, false},
                        Case{"4 x 12, transposed", 4, n, 20, false, true}}) {
    const int inner = c.transpose ? c.rows : c.cols;
    std::vector<int> ords(inner);
    for (int i = 0; i < inner; ++i) ords[i] = (i * 5 + 3) % n;  // distinct: 5 is prime to 12
    QORSimCollection coll(QORSimContext(Ctx()).CreateCollection(n));
    const QORSimCSetID innerSet = coll.CreateOrderedCSet(ords.data(), inner), other;
    const auto entries = Entries(41, c.rows, c.cols, c.nnz, c.symmetric);
    QORMtxSparseMatrix A;
    Assemble(A, c.rows, c.cols, entries, c.symmetric);
    A.SetDomain(c.transpose ? innerSet : other, c.transpose ? other : innerSet);
    const int outer = c.transpose ? c.cols : c.rows;
    QORMtxDenseMatrix u(Store(outer + 1, numCols, 3, 3, std::vector<double>((outer + 1) * numCols, kNaN)));
    A.MultiplyDenseMapped(v, u, c.transpose);

    std::vector<double> xm(static_cast<size_t>(inner) * numCols);  // row i of x comes from v's row ords[i]
    for (int j = 0; j < numCols; ++j)
      for (int i = 0; i < inner; ++i) xm[j * inner + i] = x[j * n + ords[i]];
    const std::vector<double> y = Product(Reference(c.rows, c.cols, entries, c.symmetric), c.transpose, xm, numCols);
    const std::vector<double> got = ref::Load(u).a;
    for (int j = 0; j < numCols; ++j) {
      for (int i = 0; i < outer; ++i)
        EXPECT_EQ(got[j * (outer + 1) + i], y[j * outer + i]) << c.name << " " << i << "," << j;
      EXPECT_TRUE(std::isnan(got[j * (outer + 1) + outer])) << c.name << ": the row past the product is not written";
    }
  }
  // Without a domain nothing pairs, and u keeps its values.
  QORMtxSparseMatrix A;
  Assemble(A, n, n, Entries(43, n, n, 10, false));
  QORMtxDenseMatrix u(Store(n, numCols, 4, 4, Block(n, numCols, 9)));
  A.MultiplyDenseMapped(v, u, false);
  EXPECT_EQ(ref::Load(u).a, Block(n, numCols, 9));
}

// ---- Preconditions ----

using SparseProductsDeath = SparseStoredProducts;

TEST_F(SparseProductsDeath, Preconditions) {
  QORMtxSparseMatrix collecting(3, 3), A, S, B;
  collecting.BeginAssembly(false);
  Assemble(A, 4, 3, Entries(51, 4, 3, 6, false));
  Assemble(S, 3, 3, Entries(52, 3, 3, 3, true), true);
  Assemble(B, 3, 3, {{1, 1, 1.0}});
  double x[12] = {}, y[12] = {};
  EXPECT_QORMTX_ASSERTION(collecting.Multiply(x, 1, y, false), "m_assemblyComplete");

  QORMtxDenseMatrix v2(Store(2, 3, 2, 2, Block(2, 3, 1))), v4(Store(4, 3, 2, 2, Block(4, 3, 1)));
  QORMtxDenseMatrix u(Store(4, 3, 2, 2, Block(4, 3, 2)));
  EXPECT_QORMTX_ASSERTION(A.MultiplyDense(v2, u, false), "numRows >= numColsT");
  EXPECT_QORMTX_ASSERTION(collecting.MultiplyDense(v4, u, false), "m_assemblyComplete");
  EXPECT_QORMTX_ASSERTION(S.MultiplyDense(v4, y, true),
                          "!m_diagonal && \"QORMtxSparseMatrix::MultiplyDense: symmetric not supported\"");
  EXPECT_QORMTX_ASSERTION(A.MultiplyDense(v4, y, false),
                          "transpose && \"QORMtxSparseMatrix::MultiplyIndexed: non-transposed not supported\"");

  // Mapped: B's columns carry ordinals 0, 1 and 7; v's rows 0 .. 3.
  const int ords[3] = {0, 1, 7};
  B.SetDomain(NewSet(3), QORSimCollection(QORSimContext(Ctx()).CreateCollection(8)).CreateOrderedCSet(ords, 3));
  QORMtxDenseMatrix v3(Store(3, 3, 2, 2, Block(3, 3, 1))), u2(Store(3, 2, 2, 2, Block(3, 2, 1)));
  EXPECT_QORMTX_ASSERTION(B.MultiplyDenseMapped(v4, u, false), "numRowsT == v.NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(B.MultiplyDenseMapped(v3, u2, false), "numColsU == v.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(B.MultiplyDenseMapped(v3, u, false), "numMapped==numColsT");

  QORMtxMatrix D3(3, 3, QORMtxMatrix::DIAG), D4(4, 4, QORMtxMatrix::DIAG), full(4, 4);
  QORMtxSparseMatrix out;
  EXPECT_QORMTX_ASSERTION(A.MultiplyByDiagonal(true, full, out), "D.Type() == QORMtxMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(A.MultiplyByDiagonal(true, D3, out), "NumberOfRows() == D.NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(A.MultiplyByDiagonal(false, D4, out), "NumberOfColumns() == D.NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(A.MultiplyByDiagonal(true, D4, B), "A.IsNull()");
}

}  // namespace
