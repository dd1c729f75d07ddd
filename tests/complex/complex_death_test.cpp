// Complex and split complex matrices: fatal preconditions end the process with the condition's exact text.
#include <gtest/gtest.h>

#include "QORMtxComplexMatrix.h"
#include "QORMtxReImMatrix.h"
#include "naive_matrix.h"
#include "qormtx_death.h"

namespace {

using CM = QORMtxComplexMatrix;
using M = QORMtxMatrix;

const char kWhole[] = "startRow == 0 && lastRow == -1 && startCol == 0 && lastCol == -1";
const char kPartShape[] =
    "!re || !im || re.NumberOfRows() == im.NumberOfRows() && re.NumberOfColumns() == im.NumberOfColumns()";

class ComplexDeath : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }  // the kernels may start threads
};

TEST_F(ComplexDeath, ComplexMatrix) {
  CM m, full(2, 2), diag(2, 2, CM::DIAG), wide(2, 3), a(4, 4), symm(4, 4, CM::SYMM), block(2, 2), b(3, 3);
  M re(2, 2), im(2, 2), tall(3, 2), d = naive::Diagonal({1, 2});
  QORMtxReImMatrix split;
  double values[8] = {};
  EXPECT_QORMTX_ASSERTION(m.Reset(3, 4, CM::DIAG), "numRows == numCols");
  EXPECT_QORMTX_ASSERTION(m.Reset(0, 5), "0\nFile ");
  EXPECT_QORMTX_ASSERTION(m.Reset(2, 2, static_cast<double*>(nullptr)), "complexArray");
  EXPECT_QORMTX_ASSERTION(CM(2, 0, values), "numRows > 0 && numCols > 0");
  EXPECT_QORMTX_ASSERTION(full.Assign(wide), "m_numRows == rhs.NumberOfRows() && m_numCols == rhs.NumberOfColumns()");
  EXPECT_QORMTX_ASSERTION(full.Assign(diag), "length == rhs.LengthOfArray()");
  EXPECT_QORMTX_ASSERTION(full.VecNorm(), "m_numCols == 1");
  EXPECT_QORMTX_ASSERTION(full.Invert(), "IsDiagonal() && m_numRows > 0");
  EXPECT_QORMTX_ASSERTION(CM(re, tall), kPartShape);
  EXPECT_QORMTX_ASSERTION(full.ReIm(tall, im), "re.NumberOfRows() == m_numRows && im.NumberOfRows() == m_numRows");
  EXPECT_QORMTX_ASSERTION(full.ReIm(re, d),
                          "re.IsDiagonal() && im.IsDiagonal() && IsDiagonal() || "
                          "!re.IsDiagonal() && !im.IsDiagonal() && !IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(full.ReIm(split, 0, 1, 0, -1), kWhole);
  EXPECT_QORMTX_ASSERTION(full.SetReIm(re, tall), kPartShape);
  EXPECT_QORMTX_ASSERTION(full.SetReIm(tall, M()), "m_numRows == numRows && m_numCols == numCols");
  EXPECT_QORMTX_ASSERTION(symm.GetBlock(0, 0, block), "m_mtxType == UNKNOWN");
  EXPECT_QORMTX_ASSERTION(a.GetBlock(3, 0, block), "startRow + numBlkRows - 1 < m_numRows");
  EXPECT_QORMTX_ASSERTION(diag.SetBlock(0, 0, b, 0, 1, 0, 1), "!IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(a.SetBlock(0, 0, b, 0, 3, 0, 1),
                          "startRowB >= 0 && startRowB < numRowsB && endRowB >= 0 && endRowB < numRowsB");
  EXPECT_QORMTX_ASSERTION(a.SetBlock(2, 0, b, 0, 2, 0, 1), "startRowA + nARows - 1 < m_numRows");
  EXPECT_QORMTX_ASSERTION(a.AddBlock(0, 3, 1.0, 0.0, b, 0, 1, 0, 1), "startColA + nACols - 1 < m_numCols");
}

TEST_F(ComplexDeath, ReImMatrix) {
  M re(2, 2), tall(3, 2);
  QORMtxReImMatrix split;
  EXPECT_QORMTX_ASSERTION(split.Reset(2, 3, QORMtxReImMatrix::DIAG), "numRows == numCols");
  EXPECT_QORMTX_ASSERTION(split.Reset(re, tall), "numRowsRe == numRowsIm && numColsRe == numColsIm");
}

}  // namespace
