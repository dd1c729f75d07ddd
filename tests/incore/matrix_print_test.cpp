// QORMtxMatrix: the plain value dump and the table prints, compared character for character.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "QORMtxDocument.h"
#include "QORMtxMatrix.h"
#include "aio_ostream.h"
#include "naive_matrix.h"

namespace {

using M = QORMtxMatrix;

std::string ReadAll(FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

M TwoByThree() {  // 1.5 3.25 / -2 1e-20 / 0 1e5 by columns
  M m(2, 3);
  const double v[] = {1.5, -2, 0, 1e-20, 3.25, 1e5};
  for (int k = 0; k < 6; ++k) m.Values()[k] = v[k];
  return m;
}

TEST(MatrixPrint, OutputWritesHeaderAndStoredValues) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  naive::Diagonal({2, -0.125}).Output(f, 1e-30, 3);
  EXPECT_EQ(ReadAll(f), "1 2 2\n 2.000e+00\n-1.250e-01\n");
  std::fclose(f);

  f = std::tmpfile();
  TwoByThree().Output(f, 1e-10, 2);  // storage order; below the tolerance prints as 0.0
  EXPECT_EQ(ReadAll(f), "0 2 3\n 1.50e+00\n-2.00e+00\n 0.0     \n 0.0     \n 3.25e+00\n 1.00e+05\n");
  std::fclose(f);
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

const char kFullTable[] =
    "T\n"
    "    Matrix size: rows 2, columns 3\n"
    "    Row   Column 0   Column 1   Column 2\n"
    "      0        1.5        0.0       3.25\n"
    "      1       -2.0        0.0      1e+05\n";

TEST(MatrixPrint, DocumentTables) {
  EXPECT_EQ(Document(TwoByThree(), 10, 4, 1e-10, "T"), kFullTable);
  // Left-aligned values (negative width); the heading is cut to the column.
  EXPECT_EQ(Document(naive::Diagonal({2, -0.125}), -12, 3, 0.0, ""),
            "    Matrix size: rows 2, columns 2\n"
            "    Row Diagonal val\n"
            "      0 2.0         \n"
            "      1 -0.125      \n");
  EXPECT_EQ(Document(M(), 10, 4, 0.0, ""), "The matrix is NULL\n");
}

TEST(MatrixPrint, PrintToFilesAndStreams) {
  FILE* f = std::tmpfile();
  TwoByThree().Print2File(f, 10, 4, 1e-10, "T");
  EXPECT_EQ(ReadAll(f), kFullTable);
  std::fclose(f);

  const std::string path = ::testing::TempDir() + "qormtx_matrix_print.txt";
  TwoByThree().Print(path.c_str(), 10, 4, 1e-10, "T");
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), kFullTable);
  std::remove(path.c_str());

  // Without a file name the print goes to standard error.
  ::testing::internal::CaptureStderr();
  TwoByThree().Print(nullptr, 10, 4, 1e-10, "T");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), kFullTable);
  // A file that cannot be opened falls back to standard output.
  ::testing::internal::CaptureStdout();
  TwoByThree().Print("/nonexistent-dir/x/y.txt", 10, 4, 1e-10, nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string(kFullTable).substr(2));
}

}  // namespace
