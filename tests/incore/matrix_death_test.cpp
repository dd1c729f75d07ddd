// QORMtxMatrix: fatal preconditions end the process with the condition's exact text.
#include <gtest/gtest.h>

#include <vector>

#include "QORMtxMatrix.h"
#include "naive_matrix.h"
#include "qormtx_death.h"

namespace {

using M = QORMtxMatrix;

class MatrixDeath : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }  // the kernels may start threads
};

TEST_F(MatrixDeath, ShapeAndStorage) {
  M m;
  EXPECT_QORMTX_ASSERTION(m.Reset(3, 4, M::DIAG), "numRows == numCols");
  EXPECT_QORMTX_ASSERTION(m.Reset(0, 5, M::UNKNOWN), "0");
  EXPECT_QORMTX_ASSERTION(m.Reset(-2, -2), "0");
  double values[4] = {};
  EXPECT_QORMTX_ASSERTION(m.Reset(2, 2, static_cast<double*>(nullptr)), "array");
  EXPECT_QORMTX_ASSERTION(m.Reset(2, 0, values), "numRows > 0 && numCols > 0");
  EXPECT_QORMTX_ASSERTION(M(2, 1, values, M::DIAG), "numRows == numCols");
}

TEST_F(MatrixDeath, ElementAccess) {
  M d = naive::Diagonal({1, 2, 3});
  const M& cd = d;
  EXPECT_EQ(cd.value(1, 2), 0.0);  // reading is fine
  EXPECT_QORMTX_ASSERTION(d.value(1, 2) = 1.0, "0");
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
  EXPECT_QORMTX_ASSERTION(view.Swap(same), "!m_rowOrdinals && !m_colOrdinals && !rhs.m_rowOrdinals && !rhs.m_colOrdinals");
  M bigger(4, 4);
  EXPECT_QORMTX_ASSERTION(view.Swap(bigger), "0");
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

}  // namespace
