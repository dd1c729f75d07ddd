// QORMtxMatrix: fatal preconditions end the process with the condition's exact text.
#include <gtest/gtest.h>

#include <vector>

#include "QORBasVector.h"
#include "QORMtxMatrix.h"
#include "naive_matrix.h"
#include "qormtx_death.h"

namespace {

using M = QORMtxMatrix;

// The bare "0" condition, followed by the file line so that no longer condition starting with 0 matches.
const char kZero[] = "0\nFile ";

class MatrixDeath : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }  // the kernels may start threads
};

TEST_F(MatrixDeath, ShapeAndStorage) {
  M m;
  EXPECT_QORMTX_ASSERTION(m.Reset(3, 4, M::DIAG), "numRows == numCols");
  EXPECT_QORMTX_ASSERTION(m.Reset(0, 5, M::UNKNOWN), kZero);
  EXPECT_QORMTX_ASSERTION(m.Reset(-2, -2), kZero);
  double values[4] = {};
  EXPECT_QORMTX_ASSERTION(m.Reset(2, 2, static_cast<double*>(nullptr)), "array");
  EXPECT_QORMTX_ASSERTION(m.Reset(2, 0, values), "numRows > 0 && numCols > 0");
  EXPECT_QORMTX_ASSERTION(M(2, 1, values, M::DIAG), "numRows == numCols");
}

TEST_F(MatrixDeath, ElementAccess) {
  M d = naive::Diagonal({1, 2, 3});
  const M& cd = d;
  EXPECT_EQ(cd.value(1, 2), 0.0);  // reading is fine
  EXPECT_QORMTX_ASSERTION(d.value(1, 2) = 1.0, kZero);
  const M full(2, 3);
  EXPECT_QORMTX_ASSERTION(full.SafeGet(-1, 0), "r >= 0 && r <= m_numRows && c >= 0 && c <= m_numCols");
  EXPECT_QORMTX_ASSERTION(full.SafeGet(0, 4), "r >= 0 && r <= m_numRows && c >= 0 && c <= m_numCols");
}

TEST_F(MatrixDeath, AssignmentAndSwapOfViews) {
  double values[6] = {};
  M view(2, 3, values);
  M other(3, 3);
  EXPECT_QORMTX_ASSERTION(view = other, "m_ownMem");
  const int ords[] = {1, 2, 3};
  other.SetRowOrdinals(ords);
  M same(2, 3);
  same.SetRowOrdinals(ords);
  EXPECT_QORMTX_ASSERTION(view.Swap(same),
                          "!m_rowOrdinals && !m_colOrdinals && !rhs.m_rowOrdinals && !rhs.m_colOrdinals");
  M bigger(4, 4);
  EXPECT_QORMTX_ASSERTION(view.Swap(bigger), kZero);
}

TEST_F(MatrixDeath, SumsAndSlices) {
  M empty;
  M a(2, 3), b(3, 2);
  EXPECT_QORMTX_ASSERTION(empty.Add(1.0, a), "m_array");
  EXPECT_QORMTX_ASSERTION(a.Add(1.0, b), "!!B && m_numRows == B.m_numRows && m_numCols == B.m_numCols");
  EXPECT_QORMTX_ASSERTION(a.Add(1.0, empty), "!!B && m_numRows == B.m_numRows && m_numCols == B.m_numCols");
  EXPECT_QORMTX_ASSERTION(a.Interpolate(1.5, a, a), "0 <= a && a <= 1.0");
  EXPECT_QORMTX_ASSERTION(a.Interpolate(0.5, a, b),
                          "m_numRows == A.m_numRows && m_numCols == A.m_numCols && m_numRows == B.m_numRows && "
                          "m_numCols == B.m_numCols");
  M d = naive::Diagonal({1, 2, 3});
  EXPECT_QORMTX_ASSERTION(d.SetSlice(1.0, a, 0, 0, false), "!IsDiagonal() || (rhs.IsDiagonal() && firstRow==firstCol)");
  EXPECT_QORMTX_ASSERTION(d.AddSlice(1.0, naive::Diagonal({1}), 0, 1, false),
                          "!IsDiagonal() || (rhs.IsDiagonal() && firstRow==firstCol)");
}

TEST_F(MatrixDeath, Products) {
  M a(2, 3), b(3, 4), c(2, 4), wrong(3, 3);
  EXPECT_QORMTX_ASSERTION(c.Multiply(a, a, false), "A.m_numCols == B.m_numRows");
  EXPECT_QORMTX_ASSERTION(wrong.Multiply(a, b, false), "m_numRows == A.m_numRows && m_numCols == B.m_numCols");
  EXPECT_QORMTX_ASSERTION(c.Multiply(a, b, true), "A.m_numCols == B.m_numCols");
  M bt(4, 3);
  EXPECT_QORMTX_ASSERTION(wrong.Multiply(a, bt, true), "m_numRows == A.m_numRows && m_numCols == B.m_numRows");
  EXPECT_QORMTX_ASSERTION(c.Multiply(a, bt, true), "A.IsDiagonal()");
  M d3(3, 3, M::DIAG);
  EXPECT_QORMTX_ASSERTION(d3.Multiply(wrong, d3, false), "!IsDiagonal()");

  EXPECT_QORMTX_ASSERTION(a.Multiply(a, c, 0, 0), "numRowsB == NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(a.Multiply(b, wrong, 0, 0), "numRowsC == numRows && numColsC == numColsB");
  M ct(3, 4);
  EXPECT_QORMTX_ASSERTION(a.TransposeMultiply(b, ct, 0, 0), "numRows == NumberOfRows()");
  EXPECT_QORMTX_ASSERTION(a.TransposeMultiply(c, c, 1, 0), "numRowsC == numColsA && numColsC == numColsB");

  M s(3, 3);
  EXPECT_QORMTX_ASSERTION(s.SymmetricMultiply(wrong, a),
                          "m_numRows == m_numCols && m_numRows == A.m_numCols && A.m_numCols == B.m_numRows");
  M s2(2, 2);
  M a32(3, 2), b23(2, 3);
  EXPECT_QORMTX_ASSERTION(s2.SymmetricMultiply(a32, b23), "m_numRows == A.m_numRows && m_numCols == B.m_numCols");
  EXPECT_QORMTX_ASSERTION(s.SymmetricMultiply(d3, wrong), "!IsDiagonal() && !A.IsDiagonal() && !B.IsDiagonal()");

  EXPECT_QORMTX_ASSERTION(wrong *= wrong, "this != &rhs");
  EXPECT_QORMTX_ASSERTION(a *= c, "m_numCols == rhs.m_numRows");
  M e1, e2;
  EXPECT_QORMTX_ASSERTION(e1 *= e2, "!\"QORMtxMatrix::operator*= illegal input\"");
}

TEST_F(MatrixDeath, ReportNamesTheSourceFile) {
  M m;
  EXPECT_DEATH(m.Reset(3, 4, M::DIAG), "File QORMtx/QORMtxCore.m/src/QORMtxMatrix.cpp, line [0-9]+");
}

TEST_F(MatrixDeath, SubmatrixPreconditions) {
  const char* block =
      "0 <= startRow && 0 <= startCol && lastRow < m_numRows && lastCol < m_numCols && startRow <= lastRow && "
      "startCol <= lastCol";
  M m(4, 5), sub;
  EXPECT_QORMTX_ASSERTION(m.GetValues(0, 4, 0, 1, sub), block);
  EXPECT_QORMTX_ASSERTION(m.GetValues(2, 1, 0, 1, sub), block);
  EXPECT_QORMTX_ASSERTION(m.SetValues(-1, 0, 0, 0, static_cast<const double*>(nullptr)), block);
  M small(2, 2);
  EXPECT_QORMTX_ASSERTION(m.GetValues(0, 2, 0, 1, small),
                          "numRows * numCols <= dimMatrix.m_numRows * dimMatrix.m_numCols");

  const int rows[] = {0, 4};
  M two(2, 5), wrongCols(2, 4);
  EXPECT_QORMTX_ASSERTION(naive::Diagonal({1, 2}).GetRows(rows, 1, two), "!IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(m.GetRows(rows, 2, wrongCols), "numCols == m_numCols");
  EXPECT_QORMTX_ASSERTION(m.GetRows(rows, 2, two), "rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows");
  EXPECT_QORMTX_ASSERTION(m.SetRows(rows, two), "rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows");
  EXPECT_QORMTX_ASSERTION(m.SetRows(rows, naive::Diagonal({1, 2})), "!rhs.IsDiagonal()");
  const int cols[] = {1, 5};
  M col2(4, 2);
  EXPECT_QORMTX_ASSERTION(m.SetColumns(cols, col2), "colNumbers[i] >= 0 && colNumbers[i] < m_numCols");
  EXPECT_QORMTX_ASSERTION(m.SetColumns(cols, M(3, 2)), "numRows == m_numRows");

  EXPECT_QORMTX_ASSERTION(m.Extract(QORBasVector<int>(5), QORBasVector<int>(1), sub),
                          "numRows <= m_numRows && numCols <= m_numCols");
  EXPECT_QORMTX_ASSERTION(m.Extract(QORBasVector<bool>(4), QORBasVector<bool>(4), sub),
                          "rows.size() == m_numRows && cols.size() == m_numCols");
  EXPECT_QORMTX_ASSERTION(m.Insert(QORBasVector<int>(2), QORBasVector<int>(2), M(2, 3)),
                          "numRows == submatrix.NumberOfRows() && numCols == submatrix.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(m.Insert(QORBasVector<bool>(4, true), QORBasVector<bool>(5, true), M(2, 2)),
                          "numRows == submatrix.NumberOfRows() || numCols == submatrix.NumberOfColumns()");
  M d = naive::Diagonal({1, 2, 3});
  EXPECT_QORMTX_ASSERTION(d.Insert(QORBasVector<int>{0}, QORBasVector<int>{1}, M(1, 1)), kZero);
  EXPECT_QORMTX_ASSERTION(m.ExtractRows(QORBasVector<int>{0}, two),
                          "numRows == submatrix.NumberOfRows() && m_numCols == submatrix.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(d.InsertRows(QORBasVector<int>{0}, M(1, 3)), "!IsDiagonal()");
}

TEST_F(MatrixDeath, DiagonalPackingPermutationAndShrink) {
  M m(2, 3);
  double buf[9];
  EXPECT_QORMTX_ASSERTION(m.GetDiagonal(buf), "IsSquare()");
  M sq(3, 3);
  EXPECT_QORMTX_ASSERTION(sq.SetDiagonal(static_cast<const double*>(nullptr)), "diag");
  EXPECT_QORMTX_ASSERTION(sq.SetDiagonal(m), "m_numRows == m_numCols && rhs.m_numRows == rhs.m_numCols");
  EXPECT_QORMTX_ASSERTION(sq.SetDiagonal(naive::Diagonal({1, 2})), "m_numRows == rhs.m_numRows");
  EXPECT_QORMTX_ASSERTION(m.GetSymmetric(buf), "IsSquare()");
  const int perm[] = {1, 2, 0};
  const int outOfRange[] = {0, 3, 1};
  EXPECT_QORMTX_ASSERTION(m.PermuteRowsInPlace(perm, 3), "m_numRows == permLength");
  EXPECT_QORMTX_ASSERTION(sq.PermuteRowsInPlace(outOfRange, 3), "permVector[iRow] < m_numRows");
  EXPECT_QORMTX_ASSERTION(m.Shrink(3, 1), "numRows <= m_numRows && numCols <= m_numCols");
  EXPECT_QORMTX_ASSERTION(naive::Diagonal({1, 2}).Shrink(2, 1), "!(IsDiagonal() && numRows != numCols)");
  EXPECT_QORMTX_ASSERTION(m.ShrinkColumns(4), "numCols <= m_numCols");
  EXPECT_QORMTX_ASSERTION(m.IsSingular(0.0), "!IsNull() && IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(M().IsSingular(0.0), "!IsNull() && IsDiagonal()");
}

TEST_F(MatrixDeath, FactorisationEigenSolveAndOutput) {
  M d = naive::Diagonal({1, 0, 2});
  int ipiv[3];
  EXPECT_QORMTX_ASSERTION(d.Factorize(ipiv), "m_array[i] != 0.0");

  const M a = naive::ToMatrix(naive::SymmetricPositive(3, 1));
  M lambda(3, 1), x(3, 3), xd(3, 3, M::DIAG), wrong(2, 2), x32(3, 2);
  EXPECT_QORMTX_ASSERTION(M().SolveEigenproblemSymmetric(a, lambda, x), "0 < m_numRows && m_numRows == m_numCols");
  EXPECT_QORMTX_ASSERTION(a.SolveEigenproblemSymmetric(a, lambda, xd), "!X.IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(a.SolveEigenproblemSymmetric(wrong, lambda, x),
                          "m_numRows == B.m_numRows && m_numRows == Lambda.m_numRows && m_numRows == X.m_numRows");
  EXPECT_QORMTX_ASSERTION(a.SolveEigenproblemSymmetric(a, lambda, x32),
                          "m_numCols == B.m_numCols && m_numCols == X.m_numCols");
  M unsym = naive::ToMatrix(naive::Random(3, 3, 2));
  EXPECT_QORMTX_ASSERTION(unsym.SolveEigenproblemSymmetric(a, lambda, x), "IsDiagonal() || IsSymmetricNumerically()");
  EXPECT_QORMTX_ASSERTION(a.SolveEigenproblemSymmetric(unsym, lambda, x),
                          "B.IsDiagonal() || B.IsSymmetricNumerically()");

  EXPECT_QORMTX_ASSERTION(a.Output(nullptr, 0.0, 3), "outputFile && \"Zero pointer to file\"");
}

}  // namespace
