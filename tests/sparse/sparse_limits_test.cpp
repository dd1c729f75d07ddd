// Sizes at the edge of the int and unsigned counts: representable ones work, the others stop before allocating.
#include <gtest/gtest.h>

#include "QORMtxUtilities.h"
#include "qormtx_death.h"
#include "sparse_test_util.h"

using namespace sparse_test;

TEST(SparseLimits, LastGrowableColumnAssemblesOnEitherPath) {
  for (bool bucket : {false, true}) {
    AssemblyPath path(bucket);
    QORMtxSparseMatrix A;
    A.BeginAssembly(true);
    A.AddData(0, 2147483646u, 1.0, true);
    A.AddData(1, 5, -2.0, true);
    A.AddData(0, 2147483646u, 0.5, true);
    testing::internal::CaptureStdout();
    A.EndAssembly(false);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(A.NumberOfColumns(), 2147483647);
    ExpectArrays(A, {0, 1, 2}, {2147483646, 5}, {1.5, -2.0});
    ExpectValid(A);
  }
}

TEST(SparseLimitsDeath, CountsBeyondTheIntRowStartsStopBeforeAllocating) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A full column 0 times a full row 0: A·T has 65537² = 2^32 + 131073 entries.
  const int n = 65537;
  QORMtxSparseMatrix A(n, n), T(n, n);
  A.BeginAssembly(false);
  T.BeginAssembly(false);
  for (unsigned i = 0; i < static_cast<unsigned>(n); ++i) {
    A.AddData(i, 0, 1.0, false);
    T.AddData(0, i, 1.0, false);
  }
  A.EndAssembly(false);
  T.EndAssembly(false);
  EXPECT_QORMTX_ASSERTION(A.ApplyTransformation(T, true), "info == 0 && \"request 1 C = A * T\"");

  // The expanded pattern doubles the count: the guard reads only the last row start.
  const unsigned rowP[] = {0, 1073741824u};
  QORBasVector<unsigned> outRowP;
  QORBasVector<int> outColI;
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::ExpandSymmetric(1, rowP, nullptr, outRowP, outColI),
                          "numRows < 2147483647 && rowP[numRows] <= 1073741823u && \"the expanded pattern would hold "
                          "more than 2^31 - 1 entries\"");
}
