// QORMtxMatrix: fatal preconditions end the process with the condition's exact text.
#include <gtest/gtest.h>

#include <functional>

#include "QORBasVector.h"
#include "QORMtxMatrix.h"
#include "naive_matrix.h"
#include "qormtx_death.h"

namespace {

using M = QORMtxMatrix;
using IV = QORBasVector<int>;

TEST(MatrixDeathTest, PreconditionsReportTheirCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernels may start threads
  // The bare "0" condition, followed by the file line so that no longer condition starting with 0 matches.
  const char* const kZero = "0\nFile ";
  double values[9] = {}, buf[9];
  int ipiv[3];
  const int ords[] = {1, 2, 3}, rows[] = {0, 4}, cols[] = {1, 5}, perm[] = {1, 2, 0}, outOfRange[] = {0, 3, 1};
  M m, a(2, 3), b(3, 4), c(2, 4), bt(4, 3), ct(3, 4), sq(3, 3), e1, e2, view(2, 3, values), withOrds(2, 3);
  M bigger(4, 4), s2(2, 2), m45(4, 5), sub, small(2, 2), two(2, 5), col2(4, 2), lambda(3, 1), x(3, 3);
  M d = naive::Diagonal({1, 2, 3}), dz = naive::Diagonal({1, 0, 2});
  const M spd = naive::ToMatrix(naive::SymmetricPositive(3, 1)), unsym = naive::ToMatrix(naive::Random(3, 3, 2));
  withOrds.SetRowOrdinals(ords);
  struct Case {
    std::function<void()> run;
    const char* condition;
  };
  const Case cases[] = {
      {[&] { m.Reset(3, 4, M::DIAG); }, "numRows == numCols"},
      {[&] { m.Reset(0, 5, M::UNKNOWN); }, kZero},
      {[&] { d.value(1, 2) = 1.0; }, kZero},
      {[&] { a.SafeGet(2, 4); }, "r >= 0 && r <= m_numRows && c >= 0 && c <= m_numCols"},
      {[&] { view = sq; }, "m_ownMem"},
      {[&] { view.Swap(withOrds); }, "!m_rowOrdinals && !m_colOrdinals && !rhs.m_rowOrdinals && !rhs.m_colOrdinals"},
      {[&] { view.Swap(bigger); }, kZero},
      {[&] { a.Add(1.0, b); }, "!!B && m_numRows == B.m_numRows && m_numCols == B.m_numCols"},
      {[&] { a.Interpolate(1.5, a, a); }, "0 <= a && a <= 1.0"},
      {[&] { d.AddSlice(1.0, naive::Diagonal({1}), 0, 1, false); },
       "!IsDiagonal() || (rhs.IsDiagonal() && firstRow==firstCol)"},
      {[&] { c.Multiply(a, a, false); }, "A.m_numCols == B.m_numRows"},
      {[&] { sq.Multiply(a, b, false); }, "m_numRows == A.m_numRows && m_numCols == B.m_numCols"},
      {[&] { c.Multiply(a, b, true); }, "A.m_numCols == B.m_numCols"},
      {[&] { c.Multiply(a, bt, true); }, "A.IsDiagonal()"},
      {[&] { a.Multiply(a, c, 0, 0); }, "numRowsB == NumberOfColumns()"},
      {[&] { a.TransposeMultiply(b, ct, 0, 0); }, "numRows == NumberOfRows()"},
      {[&] { sq.SymmetricMultiply(sq, a); },
       "m_numRows == m_numCols && m_numRows == A.m_numCols && A.m_numCols == B.m_numRows"},
      {[&] { sq *= sq; }, "this != &rhs"},
      {[&] { a *= c; }, "m_numCols == rhs.m_numRows"},
      {[&] { e1 *= e2; }, "!\"QORMtxMatrix::operator*= illegal input\""},
      {[&] { m45.GetValues(0, 4, 0, 1, sub); },
       "0 <= startRow && 0 <= startCol && lastRow < m_numRows && lastCol < m_numCols && startRow <= lastRow && "
       "startCol <= lastCol"},
      {[&] { m45.GetValues(0, 2, 0, 1, small); }, "numRows * numCols <= dimMatrix.m_numRows * dimMatrix.m_numCols"},
      {[&] { m45.SetRows(rows, two); }, "rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows"},
      {[&] { m45.SetColumns(cols, col2); }, "colNumbers[i] >= 0 && colNumbers[i] < m_numCols"},
      {[&] { m45.Extract(IV(5), IV(1), sub); }, "numRows <= m_numRows && numCols <= m_numCols"},
      {[&] { m45.Insert(IV(2), IV(2), M(2, 3)); },
       "numRows == submatrix.NumberOfRows() && numCols == submatrix.NumberOfColumns()"},
      {[&] { m45.Insert(QORBasVector<bool>(4, true), QORBasVector<bool>(5, true), M(2, 2)); },
       "numRows == submatrix.NumberOfRows() || numCols == submatrix.NumberOfColumns()"},
      {[&] { a.GetDiagonal(buf); }, "IsSquare()"},
      {[&] { a.PermuteRowsInPlace(perm, 3); }, "m_numRows == permLength"},
      {[&] { sq.PermuteRowsInPlace(outOfRange, 3); }, "permVector[iRow] < m_numRows"},
      {[&] { a.Shrink(3, 1); }, "numRows <= m_numRows && numCols <= m_numCols"},
      {[&] { a.IsSingular(0.0); }, "!IsNull() && IsDiagonal()"},
      {[&] { dz.Factorize(ipiv); }, "m_array[i] != 0.0"},
      {[&] { spd.SolveEigenproblemSymmetric(s2, lambda, x); },
       "m_numRows == B.m_numRows && m_numRows == Lambda.m_numRows && m_numRows == X.m_numRows"},
      {[&] { unsym.SolveEigenproblemSymmetric(spd, lambda, x); }, "IsDiagonal() || IsSymmetricNumerically()"},
      {[&] { spd.Output(nullptr, 0.0, 3); }, "outputFile && \"Zero pointer to file\""},
  };
  for (const Case& k : cases) EXPECT_QORMTX_ASSERTION(k.run(), k.condition) << k.condition;
  EXPECT_DEATH(m.Reset(3, 4, M::DIAG), "File QORMtx/QORMtxCore.m/src/QORMtxMatrix.cpp, line [0-9]+");
}

}  // namespace
