// Complex scalars, interleaved complex matrices and split (real, imaginary) matrices against std::complex loops,
// exact round trips between the storages, the print, and the fatal preconditions with their exact texts.
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxReImMatrix.h"
#include "naive_matrix.h"
#include "qormtx_death.h"

namespace {

using CM = QORMtxComplexMatrix;
using M = QORMtxMatrix;
using R = QORMtxReImMatrix;
using Z = std::complex<double>;

// A full column-major std::complex reference.
struct Ref {
  int rows, cols;
  std::vector<Z> a;
  Ref(int r, int c) : rows(r), cols(c), a(static_cast<size_t>(r) * c) {}
  Z& operator()(int i, int j) { return a[static_cast<size_t>(rows) * j + i]; }
  Z operator()(int i, int j) const { return a[static_cast<size_t>(rows) * j + i]; }
};

Ref Random(int r, int c, uint32_t seed) {  // both parts uniform in [-1, 1)
  Ref x(r, c);
  const std::vector<double> v = naive::RandomValues(2 * x.a.size(), seed);
  for (size_t k = 0; k < x.a.size(); ++k) x.a[k] = Z(v[2 * k], v[2 * k + 1]);
  return x;
}

// Entry (i, j) read straight from the interleaved array; 0 off the diagonal of a DIAG matrix.
Z At(const CM& m, int i, int j) { return m.IsDiagonal() && i != j ? Z() : Z(m.Values(i, j)[0], m.Values(i, j)[1]); }

CM ToMatrix(const Ref& x, CM::MtxType type = CM::UNKNOWN) {  // the diagonal only for DIAG
  CM m(x.rows, x.cols, type);
  for (int j = 0; j < x.cols; ++j)
    for (int i = 0; i < x.rows; ++i)
      if (type != CM::DIAG || i == j) m.Values(i, j)[0] = x(i, j).real(), m.Values(i, j)[1] = x(i, j).imag();
  return m;
}

// Every entry within tol·max(1, max|expected|) of the reference; tol 0 asks for equality.
::testing::AssertionResult Near(const CM& m, const Ref& expected, double tol = 1e-14) {
  if (m.NumberOfRows() != expected.rows || m.NumberOfColumns() != expected.cols)
    return ::testing::AssertionFailure() << "shape " << m.NumberOfRows() << "x" << m.NumberOfColumns();
  double scale = 1.0;
  for (const Z& z : expected.a) scale = std::max(scale, std::abs(z));
  for (int j = 0; j < expected.cols; ++j)
    for (int i = 0; i < expected.rows; ++i)
      if (!(std::abs(At(m, i, j) - expected(i, j)) <= tol * scale))
        return ::testing::AssertionFailure()
               << "entry (" << i << ", " << j << ") is " << At(m, i, j) << ", expected " << expected(i, j);
  return ::testing::AssertionSuccess();
}

Z Of(const QORMtxComplex& c) { return Z(c.Re(), c.Im()); }

TEST(ComplexScalar, ArithmeticMatchesStdComplexAndViewsWriteThrough) {
  const Z a(1.5, -2.25), b(-0.75, 3.0);
  const QORMtxComplex x(a.real(), a.imag()), y(b.real(), b.imag());
  EXPECT_EQ(Of(QORMtxComplex(x).Add(y)), a + b);
  EXPECT_EQ(Of(QORMtxComplex(x).Sub(b.real(), b.imag())), a - b);
  EXPECT_EQ(Of(QORMtxComplex(x).Mul(y)),
            Z(a.real() * b.real() - a.imag() * b.imag(), a.imag() * b.real() + a.real() * b.imag()));
  EXPECT_LE(std::abs(Of(QORMtxComplex(x).Div(b.real(), b.imag())) - a / b), 1e-15 * std::abs(a / b));
  EXPECT_DOUBLE_EQ(x.Abs(), std::abs(a));
  QORMtxComplex c(x);  // chained calls work on the same pair; x is left alone
  c.Mul(y).Add(1.0, 0.0).Con().Neg();
  EXPECT_LE(std::abs(Of(c) + std::conj(a * b + 1.0)), 1e-15);
  EXPECT_EQ(Of(x), a);

  double pair[2] = {3.0, 4.0};
  QORMtxComplex(pair).Mul(0.0, 1.0);  // a view: rotation by i in the caller's pair
  EXPECT_EQ(Z(pair[0], pair[1]), Z(-4.0, 3.0));
  QORMtxComplex v(pair), alias(v);  // a copy of a view views the same pair
  alias.Set(1.0, 2.0);
  EXPECT_TRUE(Of(v) == Z(1, 2) && v.Get() == pair);
  const QORMtxComplex owned(5.0, 6.0);
  QORMtxComplex copy(owned);
  copy.Neg();
  EXPECT_EQ(Of(owned), Z(5, 6));  // a copy of an owned pair is its own
  v = owned;                      // assignment writes into the viewed pair
  EXPECT_EQ(Z(pair[0], pair[1]), Z(5, 6));
  const double source[2] = {7.0, -8.0};
  double re = 0, im = 0;
  copy.Set(source).Get(re, im);
  EXPECT_EQ(Z(re, im), Z(7, -8));
}

TEST(ComplexMatrix, StorageOwnershipAndAlgebra) {
  CM m(3, 4);
  EXPECT_EQ(m.Values(2, 3), m.Values() + 2 * (3 * 3 + 2));  // interleaved, column-major
  m.Reset(5, 5, CM::DIAG);
  EXPECT_TRUE(m.NumberOfValues() == 10u && m.Values(3, 3) == m.Values() + 6);
  std::vector<double> caller(12, 1.0);  // a view writes into the caller's array and is never resized or freed
  CM v(2, 3, caller.data());
  v.Multiply(2.0, 0.0);
  EXPECT_EQ(caller, std::vector<double>(12, 2.0));
  const CM copy(v);
  v.Reset(2, 3);
  EXPECT_TRUE(copy.OwnMemory() && copy.Values() != caller.data() && v.OwnMemory() && v.Values() != caller.data());

  for (CM::MtxType type : {CM::UNKNOWN, CM::DIAG}) {
    Ref x = Random(4, 4, 5);
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) x(i, j) = type == CM::DIAG && i != j ? 0.0 : x(i, j) * Z(0.25, -1.75) * -3.0;
    CM z = ToMatrix(Random(4, 4, 5), type), other(4, 4, type);
    z.Multiply(0.25, -1.75);
    z.Multiply(-3.0, 0.0);
    EXPECT_TRUE(Near(z, x));
    double largest = 0;
    for (const Z& e : x.a) largest = std::max(largest, std::abs(e));
    EXPECT_DOUBLE_EQ(z.MaxAbsValue(), largest);
    other.Assign(0.5, -2.0);
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) EXPECT_EQ(At(other, i, j), type == CM::DIAG && i != j ? Z(0) : Z(0.5, -2.0));
    other.Assign(z);
    EXPECT_EQ(std::memcmp(other.Values(), z.Values(), sizeof(double) * z.LengthOfArray()), 0);
  }
  double col[4] = {3, 4, 0, 1};
  EXPECT_EQ(CM(2, 1, col).VecNorm(), 6.0);
  double d[6] = {2, 0, 0, -0.5, 1e-40, 0};  // singular by an absolute threshold on the modulus
  CM diag(3, 3, d, CM::DIAG);
  EXPECT_TRUE(diag.IsSingular());
  d[4] = 1e-30;
  EXPECT_FALSE(diag.IsSingular());
  diag.Invert();
  EXPECT_TRUE(At(diag, 0, 0) == Z(0.5, 0) && At(diag, 1, 1) == Z(0, 2) && d[4] == 1e30);
}

M Part(M::MtxType type, uint32_t seed) {
  return type == M::DIAG ? naive::Diagonal(naive::RandomValues(3, seed))
                         : naive::ToMatrix(naive::Random(3, 3, seed), type);
}

TEST(ComplexMatrix, AssemblyFromPartsGivesTheType) {
  const struct {
    M::MtxType r, i;
    bool hasRe, hasIm;
    CM::MtxType expected;
  } cases[] = {{M::DIAG, M::DIAG, true, true, CM::DIAG},          {M::SKEW, M::SKEW, true, true, CM::HERM},
               {M::UNKNOWN, M::UNKNOWN, true, true, CM::UNKNOWN}, {M::DIAG, M::SYMM, true, true, CM::SYMM},
               {M::SYMM, M::DIAG, true, true, CM::SYMM},          {M::SYMM, M::SKEW, true, true, CM::SYMMSKEW},
               {M::SKEW, M::SYMM, true, true, CM::UNKNOWN},       {M::DIAG, M::UNKNOWN, true, true, CM::UNKNOWN},
               {M::UNKNOWN, M::DIAG, true, true, CM::UNKNOWN},    {M::SKEW, M::DIAG, true, false, CM::HERM},
               {M::DIAG, M::DIAG, false, true, CM::DIAG}};
  for (const auto& c : cases) {
    const M re = c.hasRe ? Part(c.r, 1) : M(), im = c.hasIm ? Part(c.i, 2) : M();
    const CM z(re, im);
    Ref x(3, 3);  // re + i·im read through value(): zeros off a DIAG diagonal and for an absent part
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) x(i, j) = Z(!re ? 0.0 : re.value(i, j), !im ? 0.0 : im.value(i, j));
    EXPECT_EQ(z.Type(), c.expected) << c.r << "/" << c.i;
    EXPECT_EQ(z.IsDiagonal(), z.LengthOfArray() == 6u);
    EXPECT_TRUE(Near(z, x, 0.0)) << c.r << "/" << c.i;
  }
  EXPECT_TRUE(!CM(M(), M()));
  const M full = Part(M::UNKNOWN, 4), diag = Part(M::DIAG, 5);
  CM d(3, 3, CM::DIAG);  // into DIAG storage: the diagonal of a full part
  d.SetReIm(diag, full);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(At(d, i, i), Z(diag.value(i, i), full.value(i, i)));
}

TEST(ComplexMatrix, RoundTripsThroughSplitStorageAreExact) {
  const std::pair<std::pair<int, int>, CM::MtxType> shapes[] = {
      {{1, 5}, CM::UNKNOWN}, {{6, 1}, CM::UNKNOWN}, {{4, 4}, CM::SYMMSKEW}, {{4, 4}, CM::DIAG}, {{3, 3}, CM::HERM}};
  for (const auto& s : shapes) {
    const CM z = ToMatrix(Random(s.first.first, s.first.second, 9), s.second);
    const R split(z);
    EXPECT_EQ(static_cast<int>(split.Type()), static_cast<int>(z.Type()));
    const CM back(split);
    EXPECT_EQ(back.Type(), z.Type());
    ASSERT_EQ(back.LengthOfArray(), z.LengthOfArray());
    EXPECT_EQ(std::memcmp(back.Values(), z.Values(), sizeof(double) * z.LengthOfArray()), 0);
    // Through real parts of the same storage kind, back into a caller's array.
    const M::MtxType kind = z.IsDiagonal() ? M::DIAG : M::UNKNOWN;
    M re(z.NumberOfRows(), z.NumberOfColumns(), kind), im(z.NumberOfRows(), z.NumberOfColumns(), kind);
    z.ReIm(re, im);
    std::vector<double> array(z.LengthOfArray());
    CM(z.NumberOfRows(), z.NumberOfColumns(), array.data(), z.Type()).SetReIm(re, im);
    EXPECT_EQ(std::memcmp(array.data(), z.Values(), sizeof(double) * array.size()), 0);
  }
  R split(2, 2);
  CM().ReIm(split);
  EXPECT_TRUE(split.NumberOfRows() == 0 && !CM(split));
}

TEST(ComplexMatrix, BlocksAgainstReference) {
  const Ref a = Random(5, 6, 21), b = Random(4, 3, 22);
  const CM bm = ToMatrix(b);
  CM block(2, 3);
  ToMatrix(a).GetBlock(3, 2, block);
  Ref expected(2, 3);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 2; ++i) expected(i, j) = a(3 + i, 2 + j);
  EXPECT_TRUE(Near(block, expected, 0.0));

  CM m = ToMatrix(a);  // B rows 1..3, columns 0..1 placed at (2, 4): set with a factor, then added
  Ref x = a;
  m.SetBlock(2, 4, 0.5, 2.0, bm, 1, 3, 0, 1);
  m.AddBlock(2, 4, bm, 1, 3, 0, 1);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) x(2 + i, 4 + j) = Z(1.5, 2.0) * b(1 + i, j);
  EXPECT_TRUE(Near(m, x));
  const M re = naive::ToMatrix(naive::Random(3, 3, 23)), im = naive::Diagonal({1, 2, 3});
  m.AddBlock(0, 0, 0.0, -1.0, re, im, 0, 2, 1, 2);  // from a full real and a DIAG imaginary part
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) x(i, j) += Z(0, -1) * Z(re.value(i, 1 + j), im.value(i, 1 + j));
  EXPECT_TRUE(Near(m, x));
  const CM d(im, M());  // a DIAG B writes only its diagonal entries inside the range: d(1, 1) and d(2, 2)
  m.SetBlock(1, 0, 2.0, 0.0, d, 0, 2, 1, 2);
  m.AddBlock(1, 0, d, 0, 2, 1, 2);
  x(2, 0) = 6.0;
  x(3, 1) = 9.0;
  EXPECT_TRUE(Near(m, x));
}

TEST(ReImMatrix, PartKindsFollowTheType) {
  const M::MtxType parts[5][2] = {
      {M::DIAG, M::DIAG}, {M::SYMM, M::SYMM}, {M::SKEW, M::SKEW}, {M::SYMM, M::SKEW}, {M::UNKNOWN, M::UNKNOWN}};
  for (int t = 0; t < 5; ++t) {
    R a(3, 3, static_cast<R::MtxType>(t));
    EXPECT_TRUE(a.Re().Type() == parts[t][0] && a.Im().Type() == parts[t][1]) << t;
    EXPECT_EQ(a.Re().NumberOfValues(), t == 0 ? 3u : 9u);
    a.ResetType();  // the rule recovers the type from the parts
    EXPECT_EQ(a.Type(), t);
  }
  const M symm = naive::ToMatrix(naive::Random(2, 2, 1), M::SYMM);
  EXPECT_EQ(R(symm, naive::ToMatrix(naive::Random(2, 2, 2), M::SKEW)).Type(), R::SYMMSKEW);
  R realOnly(symm, M());
  EXPECT_TRUE(!realOnly.Im() && realOnly.Re() == symm && realOnly.Type() == R::UNKNOWN);
  realOnly.Reset(realOnly.Im(), realOnly.Re());  // its own parts, exchanged
  EXPECT_TRUE(!realOnly.Re() && realOnly.Im() == symm);
}

TEST(ReImMatrix, MultiplyByAComplexFactor) {
  const M full = naive::ToMatrix(naive::Random(3, 3, 3)), diag = naive::Diagonal({1, -2, 3});
  for (const R& before : {R(full, diag), R(diag, diag), R(full, M()), R(M(), diag), R(full, full)})
    for (const Z w : {Z(2.5, 0), Z(0, 2), Z(0.5, -1.25)}) {
      R a(before);
      a.Multiply(QORMtxComplex(w.real(), w.imag()));
      const CM was(before), now(a);
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
          EXPECT_LE(std::abs(At(now, i, j) - At(was, i, j) * w), 1e-15) << i << ", " << j << " by " << w;
    }
  // By 2i the parts are exchanged with their kinds; a real factor keeps a DIAG part, a general one expands it.
  R a(diag, full);
  a.Multiply(QORMtxComplex(0.0, 2.0));
  EXPECT_TRUE(a.Re().Type() == M::UNKNOWN && a.Im().IsDiagonal());
  a.Multiply(QORMtxComplex(3.0, 0.0));
  EXPECT_TRUE(a.Im().IsDiagonal());
  a.Multiply(QORMtxComplex(1.0, 1.0));
  EXPECT_FALSE(a.Im().IsDiagonal());
}

TEST(ReImMatrix, PrintsToStreamsAndFiles) {
  double z[4] = {1.5, 0.25, -3.0, 1e-7};
  const CM d(2, 2, z, CM::DIAG);
  const std::string head = "\n***** QORMtxReImMatrix*****\nNumber of rows   :2\nNumber of columns:2\n";
  const std::string part = "    Matrix size: rows 2, columns 2\n    Row Diagonal \n";
  const std::string expected = head + "Type            :DIAG\n\n***** Real part *****\n" + part +
                               "      0       1.5\n      1      -3.0\n\n***** Imaginary part *****\n" + part +
                               "      0      0.25\n      1     1e-07\n";
  ::testing::internal::CaptureStderr();
  R(d).Print(nullptr, 3, 1.0);  // the int and the double have no effect
  d.Print();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), expected + expected);

  const std::string path = ::testing::TempDir() + "qormtx_reim_print.txt";
  R a(2, 2, R::SYMMSKEW);  // to a named file; value 3 prints as UNKNOWN, an absent part as NULL
  a.Re() = 0.5;
  a.Im().Reset();
  a.Print(path.c_str());
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string s = text.str(), tail = "\n***** Imaginary part *****\nThe matrix is NULL\n";
  EXPECT_EQ(s.rfind(head + "Type            :UNKNOWN\n", 0), 0u) << s;
  EXPECT_TRUE(s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail) << s;
  std::remove(path.c_str());
}

TEST(ComplexDeathTest, PreconditionsReportTheirCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernels may start threads
  const char kWhole[] = "startRow == 0 && lastRow == -1 && startCol == 0 && lastCol == -1";
  const char kPartShape[] =
      "!re || !im || re.NumberOfRows() == im.NumberOfRows() && re.NumberOfColumns() == im.NumberOfColumns()";
  CM m, full(2, 2), diag(2, 2, CM::DIAG), wide(2, 3), a(4, 4), symm(4, 4, CM::SYMM), block(2, 2), b(3, 3);
  M re(2, 2), im(2, 2), tall(3, 2), d = naive::Diagonal({1, 2});
  R split;
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
  EXPECT_QORMTX_ASSERTION(full.SetReIm(tall, M()), "m_numRows == numRows && m_numCols == numCols");
  EXPECT_QORMTX_ASSERTION(symm.GetBlock(0, 0, block), "m_mtxType == UNKNOWN");
  EXPECT_QORMTX_ASSERTION(a.GetBlock(3, 0, block), "startRow + numBlkRows - 1 < m_numRows");
  EXPECT_QORMTX_ASSERTION(diag.SetBlock(0, 0, b, 0, 1, 0, 1), "!IsDiagonal()");
  EXPECT_QORMTX_ASSERTION(a.SetBlock(0, 0, b, 0, 3, 0, 1),
                          "startRowB >= 0 && startRowB < numRowsB && endRowB >= 0 && endRowB < numRowsB");
  EXPECT_QORMTX_ASSERTION(a.SetBlock(2, 0, b, 0, 2, 0, 1), "startRowA + nARows - 1 < m_numRows");
  EXPECT_QORMTX_ASSERTION(a.AddBlock(0, 3, 1.0, 0.0, b, 0, 1, 0, 1), "startColA + nACols - 1 < m_numCols");
  EXPECT_QORMTX_ASSERTION(split.Reset(2, 3, R::DIAG), "numRows == numCols");
  EXPECT_QORMTX_ASSERTION(split.Reset(re, tall), "numRowsRe == numRowsIm && numColsRe == numColsIm");
}

}  // namespace
