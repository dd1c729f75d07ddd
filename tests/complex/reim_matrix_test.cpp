// QORMtxReImMatrix: part kinds and types, the complex factor against std::complex, and the print.
#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "QORMtxComplex.h"
#include "QORMtxComplexMatrix.h"
#include "QORMtxReImMatrix.h"
#include "complex_ref.h"
#include "naive_matrix.h"

namespace {

using R = QORMtxReImMatrix;
using M = QORMtxMatrix;
using cref::Z;

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
  EXPECT_EQ(R().Type(), R::UNKNOWN);
  const M symm = naive::ToMatrix(naive::Random(2, 2, 1), M::SYMM);
  EXPECT_EQ(R(symm, naive::ToMatrix(naive::Random(2, 2, 2), M::SKEW)).Type(), R::SYMMSKEW);
  R realOnly(symm, M());
  EXPECT_TRUE(!realOnly.Im() && realOnly.Re() == symm && realOnly.NumberOfColumns() == 2);
  EXPECT_EQ(realOnly.Type(), R::UNKNOWN);
  realOnly.Reset(realOnly.Im(), realOnly.Re());  // its own parts, exchanged
  EXPECT_TRUE(!realOnly.Re() && realOnly.Im() == symm);
}

TEST(ReImMatrix, MultiplyByAComplexFactor) {
  const M full = naive::ToMatrix(naive::Random(3, 3, 3)), diag = naive::Diagonal({1, -2, 3});
  for (const R& before : {R(full, diag), R(diag, diag), R(full, M()), R(M(), diag), R(full, full)})
    for (const Z w : {Z(2.5, 0), Z(0, 2), Z(0.5, -1.25)}) {
      R a(before);
      a.Multiply(QORMtxComplex(w.real(), w.imag()));
      const QORMtxComplexMatrix was(before), now(a);
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
          EXPECT_LE(std::abs(cref::At(now, i, j) - cref::At(was, i, j) * w), 1e-15) << i << ", " << j << " by " << w;
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
  const QORMtxComplexMatrix d(2, 2, z, QORMtxComplexMatrix::DIAG);
  const std::string head = "\n***** QORMtxReImMatrix*****\nNumber of rows   :2\nNumber of columns:2\n";
  const std::string expected = head +
                               "Type            :DIAG\n"
                               "\n***** Real part *****\n"
                               "    Matrix size: rows 2, columns 2\n"
                               "    Row Diagonal \n"
                               "      0       1.5\n"
                               "      1      -3.0\n"
                               "\n***** Imaginary part *****\n"
                               "    Matrix size: rows 2, columns 2\n"
                               "    Row Diagonal \n"
                               "      0      0.25\n"
                               "      1     1e-07\n";
  ::testing::internal::CaptureStderr();
  R(d).Print(nullptr, 3, 1.0);  // the int and the double have no effect
  d.Print();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), expected + expected);

  // To a named file; value 3 prints as UNKNOWN, an absent part as NULL.
  const std::string path = ::testing::TempDir() + "qormtx_reim_print.txt";
  R a(2, 2, R::SYMMSKEW);
  a.Re() = 0.5;
  a.Im().Reset();
  a.Print(path.c_str());
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string tail = "\n***** Imaginary part *****\nThe matrix is NULL\n";
  EXPECT_EQ(text.str().rfind(head + "Type            :UNKNOWN\n", 0), 0u) << text.str();
  ASSERT_GE(text.str().size(), tail.size());
  EXPECT_EQ(text.str().substr(text.str().size() - tail.size()), tail);
  std::remove(path.c_str());
}

}  // namespace
