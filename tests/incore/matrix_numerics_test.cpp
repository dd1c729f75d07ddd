// QORMtxMatrix: solves and eigenpairs by residual, norms, condition estimates, predicates at their boundaries,
// prints character for character, and fatal preconditions with the condition's exact text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "QORBasVector.h"
#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "aio_ostream.h"
#include "naive_matrix.h"
#include "qormtx_death.h"

namespace {

using M = QORMtxMatrix;
using naive::Dense;

// ‖A·X − B‖ / (‖A‖·‖X‖ + ‖B‖), Frobenius norms.
double ScaledResidual(const Dense& a, const M& x, const Dense& b) {
  const Dense xd = naive::FromMatrix(x);
  return naive::Frobenius(naive::Lin(1, naive::Product(a, xd), -1, b)) /
         (naive::Frobenius(a) * naive::Frobenius(xd) + naive::Frobenius(b));
}

TEST(MatrixFactor, LuSymmetricAndDiagonalSolvesByResidual) {
  std::vector<int> ipiv(60);
  for (int n : {1, 7, 60}) {
    const Dense a = naive::Random(n, n, 100 + n), b = naive::Random(n, 3, 200 + n);
    M f = naive::ToMatrix(a), x = naive::ToMatrix(b), xt = naive::ToMatrix(b);
    f.Factorize(ipiv.data());
    f.ForwardBackwardPass(ipiv.data(), x, false);
    f.ForwardBackwardPass(ipiv.data(), xt, true);
    EXPECT_LT(ScaledResidual(a, x, b), 1e-14) << "n " << n;
    EXPECT_LT(ScaledResidual(naive::Transpose(a), xt, b), 1e-14) << "n " << n;
  }
  const Dense s = naive::RandomSymmetric(40, 3), b = naive::Random(40, 2, 4);
  M f = naive::ToMatrix(s, M::SYMM), x = naive::ToMatrix(b);
  for (int j = 1; j < 40; ++j)  // garbage above the diagonal: the kernels must never look there
    for (int i = 0; i < j; ++i) f.value(i, j) = 1e30;
  f.Factorize(ipiv.data());
  f.ForwardBackwardPass(ipiv.data(), x, false);
  EXPECT_LT(ScaledResidual(s, x, b), 1e-13);

  M d = naive::Diagonal({2, -4, 0.5});
  d.Factorize(ipiv.data());  // a DIAG factor is the reciprocal
  EXPECT_TRUE(naive::Near(d, naive::DiagonalDense({0.5, -0.25, 2}), 0.0));
  const Dense b3 = naive::Random(3, 2, 5);
  M x3 = naive::ToMatrix(b3);
  d.ForwardBackwardPass(ipiv.data(), x3, false);
  EXPECT_LT(ScaledResidual(naive::DiagonalDense({2, -4, 0.5}), x3, b3), 1e-15);
  M singular = naive::ToMatrix(Dense(3, 3, 1.0));  // rank one: the kernel's positive status is not fatal
  singular.Factorize(ipiv.data());
  EXPECT_EQ(singular.value(2, 2), 0.0);
}

// ‖A·v − λ·B·v‖ for every pair, ascending eigenvalues, and B-orthonormal vectors.
void CheckEigenpairs(const Dense& a, const Dense& b, const M& lambda, const M& x) {
  const int n = a.rows;
  const Dense v = naive::FromMatrix(x), av = naive::Product(a, v), bv = naive::Product(b, v);
  const double scale = naive::MaxAbs(a) + naive::MaxAbs(b);
  for (int k = 0; k < n; ++k) {
    const double l = lambda.Values()[k];
    EXPECT_LE(k > 0 ? lambda.Values()[k - 1] : l, l);
    double r = 0.0;
    for (int i = 0; i < n; ++i) r = std::max(r, std::fabs(av(i, k) - l * bv(i, k)));
    EXPECT_LT(r, 1e-12 * n * scale * (1.0 + std::fabs(l))) << "pair " << k;
  }
  const Dense vtbv = naive::Product(naive::Transpose(v), bv);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) EXPECT_NEAR(vtbv(i, j), i == j ? 1.0 : 0.0, 1e-12 * n);
}

TEST(MatrixFactor, GeneralisedSymmetricEigenSolve) {
  for (int n : {1, 3, 30}) {
    SCOPED_TRACE(::testing::Message() << "n " << n);
    const Dense a = naive::RandomSymmetric(n, 6), b = naive::SymmetricPositive(n, 7);
    const M am = naive::ToMatrix(a, M::SYMM);
    M lambda(n, 1), x(n, n);
    EXPECT_EQ(am.SolveEigenproblemSymmetric(naive::ToMatrix(b), lambda, x), 0);
    CheckEigenpairs(a, b, lambda, x);
    EXPECT_TRUE(naive::Near(am, a, 0.0));  // the operands are left alone
  }
  const std::vector<double> bd = {2, 1, 4};
  const Dense a = naive::RandomSymmetric(3, 8);
  M lambda(3, 3, M::DIAG), x(3, 3);  // a DIAG Lambda receives the eigenvalues in its array
  EXPECT_EQ(naive::ToMatrix(a).SolveEigenproblemSymmetric(naive::Diagonal(bd), lambda, x), 0);
  CheckEigenpairs(a, naive::DiagonalDense(bd), lambda, x);
  M l3(2, 1), x3(2, 2);  // an indefinite B is reported, not fatal
  EXPECT_EQ(naive::Diagonal({1, 2}).SolveEigenproblemSymmetric(naive::Diagonal({1, -1}), l3, x3), 3);
}

TEST(MatrixFactor, NormsAndConditionEstimates) {
  // The kernel reads the array row-major, i.e. the transpose: its one-norm is the largest row sum.
  const Dense a = naive::Random(4, 4, 9), r = naive::Random(3, 5, 10);
  double rowSum = 0.0, colSum = 0.0;
  for (int i = 0; i < 4; ++i) {
    double rs = 0.0, cs = 0.0;
    for (int j = 0; j < 4; ++j) rs += std::fabs(a(i, j)), cs += std::fabs(a(j, i));
    rowSum = std::max(rowSum, rs), colSum = std::max(colSum, cs);
  }
  EXPECT_NEAR(naive::ToMatrix(a).Norm('1'), rowSum, 1e-15);
  EXPECT_NEAR(naive::ToMatrix(a).Norm('I'), colSum, 1e-15);
  EXPECT_NEAR(naive::ToMatrix(r).Norm('F'), naive::Frobenius(r), 1e-15);
  EXPECT_DOUBLE_EQ(naive::ToMatrix(r).Norm('M'), naive::MaxAbs(r));
  EXPECT_DOUBLE_EQ(naive::Diagonal({1, -3}).Norm('1'), 3.0);
  EXPECT_EQ(M().Norm('F'), 0.0);

  Dense spd(2, 2), sing(2, 2);  // [[2, 1], [1, 3]]: inverse [[3, -1], [-1, 2]] / 5, norms 4 and 0.8
  spd.a = {2, 1, 1, 3};
  sing.a = {1, 2, 2, 4};
  const std::pair<M, double> cases[] = {{naive::ToMatrix(naive::DiagonalDense({1, 1e-3})), 1e-3},
                                        {naive::ToMatrix(spd), 1.0 / (4.0 * 0.8)},
                                        {naive::Diagonal({2, 0.5}), 0.25},  // DIAG is read expanded
                                        {naive::ToMatrix(sing), 0.0}};      // singular: not ok
  for (const auto& c : cases) {
    bool ok = c.second == 0.0;
    double rcond = -1.0;
    c.first.Properties(ok, rcond);
    EXPECT_EQ(ok, c.second != 0.0);
    EXPECT_NEAR(rcond, c.second, 1e-14);
  }
}

TEST(MatrixTests, PredicatesAtTheirBoundaries) {
  const Dense x = naive::Random(2, 3, 15), s = naive::SymmetricPositive(4, 16);
  M y = naive::ToMatrix(x), nan = naive::ToMatrix(x), z(2, 2);
  y.value(1, 2) += 1e-15;
  nan.value(0, 0) = std::numeric_limits<double>::quiet_NaN();
  z = 0.0;
  z.value(1, 0) = -0.0;
  Dense u = s, nd = naive::DiagonalDense({10, 1, 5}), nr = naive::DiagonalDense({1, 10, 5}), pd(2, 2, 0.5);
  u(3, 0) += 1e-14;
  nd(0, 1) = 0.5;  // column 1's diagonal is 1: within tolerance 0.5, not 0.1
  nr(0, 1) = 0.9;  // within the column's bound (0.1·10) but not the row's (0.1·1)
  pd(0, 0) = pd(1, 1) = 1.0;
  EXPECT_TRUE(naive::ToMatrix(x) == naive::ToMatrix(x, M::SYMM));  // types other than DIAG do not matter
  EXPECT_FALSE(naive::ToMatrix(x) == y);
  EXPECT_FALSE(naive::ToMatrix(Dense(2, 2, 0.0)) == M(2, 2, M::DIAG));
  EXPECT_FALSE(nan == M(nan));
  EXPECT_TRUE(z.IsZero());
  EXPECT_TRUE(naive::Diagonal({1, 1}).IsUnit());
  EXPECT_FALSE(naive::Diagonal({1, 1 + 4e-16}).IsUnit());
  EXPECT_FALSE(naive::ToMatrix(naive::DiagonalDense({1, 1})).IsUnit());  // full storage never counts
  EXPECT_TRUE(naive::ToMatrix(s).IsSymmetricNumerically());
  EXPECT_FALSE(naive::ToMatrix(u).IsSymmetricNumerically());
  EXPECT_FALSE(naive::ToMatrix(nd).IsDiagonal(0.1));
  EXPECT_TRUE(naive::ToMatrix(nd).IsDiagonal(0.5));
  EXPECT_FALSE(naive::ToMatrix(nr).IsDiagonal(0.1));
  EXPECT_TRUE(naive::ToMatrix(nr, M::SYMM).IsDiagonal(0.1));  // SYMM: columns only
  EXPECT_TRUE(naive::ToMatrix(pd, M::SYMM).IsPositiveDefinite());
  EXPECT_FALSE(naive::ToMatrix(pd).IsPositiveDefinite());                         // only DIAG and SYMM qualify
  EXPECT_FALSE(naive::ToMatrix(Dense(2, 2, 1.0), M::SYMM).IsPositiveDefinite());  // singular
  EXPECT_FALSE(naive::Diagonal({1, 1e-17}).IsPositiveDefinite());                 // min/max below 2.22e-16
  EXPECT_TRUE(naive::Diagonal({1, -0.25}).IsSingular(0.5));
  EXPECT_TRUE(naive::Diagonal({1, 1e-37}).IsSingular(0.0));
}

// The Output dump, read back from a temporary file.
std::string Dumped(const M& m, double zeroTol, int precision) {
  FILE* f = std::tmpfile();
  m.Output(f, zeroTol, precision);
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

std::string Document(const M& m, int width, int precision, double zeroTol, const char* title) {
  std::string s;
  aio_ostream out(&s);
  {
    QORMtxDocument doc(title, QORMtxReportEnum::TEXT, out);
    m.Mtx2Document(doc, width, precision, zeroTol);
  }
  return s;
}

TEST(MatrixPrint, DumpsAndTablesCharacterForCharacter) {
  M m(2, 3);  // 1.5 0 3.25 / -2 1e-20 1e5
  const double v[] = {1.5, -2, 0, 1e-20, 3.25, 1e5};
  std::copy(v, v + 6, m.Values());
  const std::string table =
      "T\n"
      "    Matrix size: rows 2, columns 3\n"
      "    Row   Column 0   Column 1   Column 2\n"
      "      0        1.5        0.0       3.25\n"
      "      1       -2.0        0.0      1e+05\n";
  EXPECT_EQ(Dumped(naive::Diagonal({2, -0.125}), 1e-30, 3), "1 2 2\n 2.000e+00\n-1.250e-01\n");
  // Storage order; below the tolerance prints as 0.0.
  EXPECT_EQ(Dumped(m, 1e-10, 2), "0 2 3\n 1.50e+00\n-2.00e+00\n 0.0     \n 0.0     \n 3.25e+00\n 1.00e+05\n");
  EXPECT_EQ(Document(m, 10, 4, 1e-10, "T"), table);
  // Left-aligned values (negative width); the heading is cut to the column.
  EXPECT_EQ(Document(naive::Diagonal({2, -0.125}), -12, 3, 0.0, ""),
            "    Matrix size: rows 2, columns 2\n    Row Diagonal val\n      0 2.0         \n      1 -0.125      \n");
  EXPECT_EQ(Document(M(), 10, 4, 0.0, ""), "The matrix is NULL\n");

  const std::string path = ::testing::TempDir() + "qormtx_matrix_print.txt";
  m.Print(path.c_str(), 10, 4, 1e-10, "T");
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(), table);
  std::remove(path.c_str());
  ::testing::internal::CaptureStderr();  // without a file name the print goes to standard error
  m.Print(nullptr, 10, 4, 1e-10, "T");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), table);
  ::testing::internal::CaptureStdout();  // a file that cannot be opened falls back to standard output
  m.Print("/nonexistent-dir/x/y.txt", 10, 4, 1e-10, nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), table.substr(2));
}

TEST(MatrixDeathTest, PreconditionsReportTheirCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernels may start threads
  double values[9] = {};
  int ipiv[3];
  const int ords[] = {1, 2, 3}, rows[] = {0, 4}, outOfRange[] = {0, 3, 1};
  M m, a(2, 3), b(3, 4), c(2, 4), bt(4, 3), sq(3, 3), view(2, 3, values), withOrds(2, 3);
  M s2(2, 2), m45(4, 5), sub, two(2, 5), lambda(3, 1), x(3, 3);
  M d = naive::Diagonal({1, 2, 3}), dz = naive::Diagonal({1, 0, 2});
  const M spd = naive::ToMatrix(naive::SymmetricPositive(3, 1)), unsym = naive::ToMatrix(naive::Random(3, 3, 2));
  withOrds.SetRowOrdinals(ords);
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { m.Reset(3, 4, M::DIAG); }, "numRows == numCols"},
      {[&] { view = sq; }, "m_ownMem"},
      {[&] { view.Swap(withOrds); }, "!m_rowOrdinals && !m_colOrdinals && !rhs.m_rowOrdinals && !rhs.m_colOrdinals"},
      {[&] { a.Add(1.0, b); }, "!!B && m_numRows == B.m_numRows && m_numCols == B.m_numCols"},
      {[&] { d.AddSlice(1.0, naive::Diagonal({1}), 0, 1, false); },
       "!IsDiagonal() || (rhs.IsDiagonal() && firstRow==firstCol)"},
      {[&] { c.Multiply(a, a, false); }, "A.m_numCols == B.m_numRows"},
      {[&] { sq.Multiply(a, b, false); }, "m_numRows == A.m_numRows && m_numCols == B.m_numCols"},
      {[&] { c.Multiply(a, bt, true); }, "A.IsDiagonal()"},
      {[&] { a.Multiply(a, c, 0, 0); }, "numRowsB == NumberOfColumns()"},
      {[&] { sq.SymmetricMultiply(sq, a); },
       "m_numRows == m_numCols && m_numRows == A.m_numCols && A.m_numCols == B.m_numRows"},
      {[&] { a *= c; }, "m_numCols == rhs.m_numRows"},
      {[&] { m45.GetValues(0, 4, 0, 1, sub); },
       "0 <= startRow && 0 <= startCol && lastRow < m_numRows && lastCol < m_numCols && startRow <= lastRow && "
       "startCol <= lastCol"},
      {[&] { m45.SetRows(rows, two); }, "rowNumbers[i] >= 0 && rowNumbers[i] < m_numRows"},
      {[&] { m45.Extract(QORBasVector<int>(5), QORBasVector<int>(1), sub); },
       "numRows <= m_numRows && numCols <= m_numCols"},
      {[&] { m45.Insert(QORBasVector<int>(2), QORBasVector<int>(2), M(2, 3)); },
       "numRows == submatrix.NumberOfRows() && numCols == submatrix.NumberOfColumns()"},
      {[&] { sq.PermuteRowsInPlace(outOfRange, 3); }, "permVector[iRow] < m_numRows"},
      {[&] { dz.Factorize(ipiv); }, "m_array[i] != 0.0"},
      {[&] { spd.SolveEigenproblemSymmetric(s2, lambda, x); },
       "m_numRows == B.m_numRows && m_numRows == Lambda.m_numRows && m_numRows == X.m_numRows"},
      {[&] { unsym.SolveEigenproblemSymmetric(spd, lambda, x); }, "IsDiagonal() || IsSymmetricNumerically()"},
  };
  for (const auto& k : cases) EXPECT_QORMTX_ASSERTION(k.first(), k.second) << k.second;
  EXPECT_DEATH(m.Reset(3, 4, M::DIAG), "File QORMtx/QORMtxCore.m/src/QORMtxMatrix.cpp, line [0-9]+");
}

}  // namespace
