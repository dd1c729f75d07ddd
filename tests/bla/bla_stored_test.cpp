// QORMtxBLA products with a stored operand: several passes through small buffers against naive loops.
#include <gtest/gtest.h>

#include <tuple>

#include "../stored/stored_util.h"
#include "QORBasMemInfo.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxUtilities.h"
#include "bla_test_util.h"

namespace {

using namespace bla_test;

// A physical memory of 1 MB makes MaxDoublesInBuffer(0.1) 13107 doubles, so that small matrices need several passes.
class StoredProducts : public stored_test::StoredTest,
                       public ::testing::WithParamInterface<std::tuple<B::Operation, B::Operation, double>> {
 protected:
  void SetUp() override {
    StoredTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QORBasMemInfo::SetPhysicalOverride(1);
  }
  void TearDown() override {
    QORBasMemInfo::SetPhysicalOverride(0);
    StoredTest::TearDown();
  }
  QORSimDistributionID Store(const Dense& d, int rowChunk, int colChunk) { return ref::Store(Ctx(), d, rowChunk, colChunk); }
};

Dense Expected(double alpha, const Dense& opa, const Dense& opb, double beta, const Dense& c0) {
  return naive::Lin(alpha, naive::Product(opa, opb), beta, c0);
}

TEST_P(StoredProducts, RowBlocksOfStoredA) {
  const auto [opA, opB, beta] = GetParam();
  const int m = 70, k = 400, n = 3;  // op(A) 70 × 400: 32 rows fit, 4 blocks of 7 rows per pass, 3 passes
  const Dense opa = naive::Random(m, k, 1), opb = naive::Random(k, n, 2), c0 = naive::Random(m, n, 3);
  const QORSimDistributionID id =
      opA == B::NOOP ? Store(opa, 7, -1) : Store(naive::Transpose(opa), -1, 7);  // blocks of op(A)'s rows
  QORMtxDenseMatrix A(id);
  M C = naive::ToMatrix(c0);
  B::Multiply(-1.5, A, opA, naive::ToMatrix(opB == B::NOOP ? opb : naive::Transpose(opb)), opB, beta, C, B::UNKNOWN, 0);
  EXPECT_TRUE(naive::Near(C, Expected(-1.5, opa, opb, beta, c0), 1e-13));
  EXPECT_EQ(A.NumberOfRows(), opA == B::NOOP ? m : k);  // flipped back

  QORMtxDenseMatrix none;  // alpha = 0 only scales C, even without a stored A
  B::Multiply(0.0, none, opA, M(), opB, 2.0, C, B::SYMM, 0);
  EXPECT_TRUE(naive::Near(C, Expected(-3.0, opa, opb, 2.0 * beta, c0), 1e-13));  // twice the first result
}

TEST_P(StoredProducts, ColumnRangesOfStoredC) {
  const auto [opA, opB, beta] = GetParam();
  for (const int m : {600, 14000}) {  // 21 columns per pass; then a single column exceeds the buffer
    const int k = 4, n = m == 600 ? 50 : 3;
    const Dense opa = naive::Random(m, k, 4), opb = naive::Random(k, n, 5), c0 = naive::Random(m, n, 6);
    QORMtxDenseMatrix C(Store(c0, 64, 8));
    if (beta == 0.0) C.SetValues(0, m - 1, 0, n - 1, std::vector<double>(c0.a.size(), kNaN).data());
    B::Multiply(2.0, naive::ToMatrix(opA == B::NOOP ? opa : naive::Transpose(opa)), opA,
                naive::ToMatrix(opB == B::NOOP ? opb : naive::Transpose(opb)), opB, beta, C, B::SYMM, 0);
    M result(m, n);
    C.GetValues(0, m - 1, 0, n - 1, result);
    EXPECT_TRUE(naive::Near(result, Expected(2.0, opa, opb, beta, c0), 1e-13)) << m << " rows";
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, StoredProducts,
                         ::testing::Combine(::testing::Values(B::NOOP, B::TRANS), ::testing::Values(B::NOOP, B::TRANS),
                                            ::testing::Values(0.0, 0.5)));

using StoredProductsDebug = StoredProducts;

TEST_F(StoredProductsDebug, PassesAndTimingsArePrintedOnlyWhenDebugging) {
  QORMtxDenseMatrix A(Store(naive::Random(70, 400, 1), 7, -1)), C(Store(naive::Random(600, 50, 2), 64, 8));
  M b = naive::ToMatrix(naive::Random(400, 3, 3)), c(70, 3), a = naive::ToMatrix(naive::Random(600, 4, 4));
  M bc = naive::ToMatrix(naive::Random(4, 50, 5));
  for (bool debug : {false, true}) {
    QORMtxUtilities::SetDebug(debug);
    ::testing::internal::CaptureStderr();
    B::Multiply(1.0, A, B::NOOP, b, B::NOOP, 0.0, c, B::UNKNOWN, 0);
    B::Multiply(1.0, a, B::NOOP, bc, B::NOOP, 0.0, C, B::UNKNOWN, 0);
    const std::string text = ::testing::internal::GetCapturedStderr();
    QORMtxUtilities::SetDebug(false);
    EXPECT_EQ(text.find("70 x 400 stored A by row blocks, 3 passes") != std::string::npos, debug) << text;
    EXPECT_EQ(text.find("600 x 50 stored C by column ranges of 21, 3 passes") != std::string::npos, debug) << text;
    EXPECT_EQ(text.find("QORMtxBLA::Multiply (stored C) QORMtxTime: wall=") != std::string::npos, debug) << text;
  }
}

using StoredProductsDeath = StoredProducts;

TEST_F(StoredProductsDeath, Preconditions) {
  QORMtxDenseMatrix big(Store(naive::Random(100, 200, 7), 100, -1)), none;  // one block of 20000 doubles
  M b(200, 2), c(100, 2), d = naive::Diagonal({1, 2});
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, big, B::NOOP, b, B::NOOP, 0.0, c, B::UNKNOWN, 0),
                          "maxRowsInBlk <= maxRowsInBuffer && "
                          "\"QORMtxBLA::Multiply:QORMtxDenseMatrix block of rows > 16Gb\"");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, none, B::NOOP, b, B::NOOP, 0.0, c, B::UNKNOWN, 0), "!!A &&!!B");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, big, B::NOOP, b, B::NOOP, 0.0, c, B::SYMM, 0), "typeC == UNKNOWN");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, big, B::TRANS, b, B::NOOP, 0.0, c, B::UNKNOWN, 0), "nRowsB == numColsA");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, c, B::NOOP, d, B::NOOP, 0.0, big, B::UNKNOWN, 0),
                          "B.Type() != QORMtxMatrix::DIAG");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, c, B::NOOP, b, B::TRANS, 0.0, big, B::DIAG, 0), "typeC != DIAG");
  EXPECT_QORMTX_ASSERTION(B::Multiply(1.0, c, B::NOOP, b, B::TRANS, 0.0, none, B::UNKNOWN, 0), "!!A && !!B && !!C");
}

}  // namespace
