// Tests of the blac out-of-place copy and add routines against a direct reading of their contract.
#include <gtest/gtest.h>

#include <complex>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using Complex = std::complex<double>;
constexpr double kPad = -777.0;

bool Transposes(char t) { return t == 'T' || t == 't' || t == 'C' || t == 'c'; }
bool Conjugates(char t) { return t == 'C' || t == 'c' || t == 'R' || t == 'r'; }
bool RowMajor(char o) { return o == 'R' || o == 'r'; }

// Offset of logical element (i, j) of a two-strided matrix: column-major puts `ld` between columns and `stride`
// between rows; row-major puts `ld` between rows and `stride` between columns.
std::size_t At(char ordering, std::size_t i, std::size_t j, std::size_t ld, std::size_t stride) {
  return RowMajor(ordering) ? i * ld + j * stride : i * stride + j * ld;
}

// Element (i, j) of a real (width 1) or interleaved complex (width 2) array at a logical offset.
Complex Get(const std::vector<double>& v, std::size_t at, int width) {
  return width == 1 ? Complex(v[at], 0.0) : Complex(v[2 * at], v[2 * at + 1]);
}
void Set(std::vector<double>& v, std::size_t at, int width, Complex x) {
  if (width == 1) {
    v[at] = x.real();
  } else {
    v[2 * at] = x.real();
    v[2 * at + 1] = x.imag();
  }
}

// op(X)(i, j) for X stored as (ordering, ld, stride); conjugation only matters for complex values.
Complex OpGet(const std::vector<double>& x, char ordering, char t, std::size_t i, std::size_t j, std::size_t ld,
              std::size_t stride, int width) {
  const Complex v =
      Transposes(t) ? Get(x, At(ordering, j, i, ld, stride), width) : Get(x, At(ordering, i, j, ld, stride), width);
  return width == 2 && Conjugates(t) ? std::conj(v) : v;
}

struct CopyCase {
  char ordering, trans;
  std::size_t rows, cols, lda, sa, ldb, sb;
};

// B = alpha·op(A) by the contract; everything else in B keeps its padding value.
std::vector<double> ReferenceCopy(const CopyCase& c, Complex alpha, const std::vector<double>& a, std::vector<double> b,
                                  int width) {
  const bool t = Transposes(c.trans);
  const std::size_t br = t ? c.cols : c.rows, bc = t ? c.rows : c.cols;
  for (std::size_t i = 0; i < br; ++i)
    for (std::size_t j = 0; j < bc; ++j)
      Set(b, At(c.ordering, i, j, c.ldb, c.sb), width, alpha * OpGet(a, c.ordering, c.trans, i, j, c.lda, c.sa, width));
  return b;
}

// The extent of a two-strided matrix's storage, in elements.
std::size_t Extent(char ordering, std::size_t rows, std::size_t cols, std::size_t ld, std::size_t stride) {
  return At(ordering, rows - 1, cols - 1, ld, stride) + 1;
}

std::vector<double> Random(std::size_t n, std::mt19937_64& rng) { return qormtx_test::RandomVector(n, rng); }

TEST(BlacOmat, CopyEveryOrderingTransAndStride) {
  auto rng = qormtx_test::Rng(13);
  // Shapes straddle the 32-element tiles of the transposed walk; stride 1 goes through omatcopy.
  for (std::size_t rows : {1, 33, 70}) {
    for (std::size_t cols : {1, 31, 65}) {
      for (char ordering : {'C', 'r'}) {
        for (char trans : {'N', 'n', 't', 'T', 'C', 'R', 'c', 'r'}) {
          for (std::size_t sa : {1, 3}) {
            const bool t = Transposes(trans);
            const std::size_t br = t ? cols : rows, bc = t ? rows : cols, sb = sa == 1 ? 1 : 2;
            // ld past the end of the strided run on both sides.
            const std::size_t lda = (RowMajor(ordering) ? cols : rows) * sa + 1;
            const std::size_t ldb = (RowMajor(ordering) ? bc : br) * sb + 3;
            CopyCase c{ordering, trans, rows, cols, lda, sa, ldb, sb};
            const std::string what = std::string(1, ordering) + trans + " " + std::to_string(rows) + "x" +
                                     std::to_string(cols) + " stride " + std::to_string(sa);
            const double alpha = 0.25, zalpha[2] = {-1.0, 0.75};
            const auto a = Random(Extent(ordering, rows, cols, lda, sa), rng);
            std::vector<double> b(Extent(ordering, br, bc, ldb, sb), kPad);
            const auto ref = ReferenceCopy(c, alpha, a, b, 1);
            if (sa == 1)
              blac_domatcopy(&ordering, &trans, &rows, &cols, &alpha, a.data(), &lda, b.data(), &ldb);
            else
              blac_domatcopy2(&ordering, &trans, &rows, &cols, &alpha, a.data(), &lda, &sa, b.data(), &ldb, &sb);
            EXPECT_EQ(b, ref) << "real " << what;
            const auto za = Random(2 * Extent(ordering, rows, cols, lda, sa), rng);
            std::vector<double> zb(2 * Extent(ordering, br, bc, ldb, sb), kPad);
            const auto zref = ReferenceCopy(c, Complex(zalpha[0], zalpha[1]), za, zb, 2);
            if (sa == 1)
              blac_zomatcopy(&ordering, &trans, &rows, &cols, zalpha, za.data(), &lda, zb.data(), &ldb);
            else
              blac_zomatcopy2(&ordering, &trans, &rows, &cols, zalpha, za.data(), &lda, &sa, zb.data(), &ldb, &sb);
            EXPECT_LT(qormtx_test::MaxRelDiff(zb, zref), 1e-15) << "complex " << what;
          }
        }
      }
    }
  }
}

// C = alpha·op(A) + beta·op(B) by the contract, for a rows × cols C.
std::vector<double> ReferenceAdd(char ordering, char ta, char tb, std::size_t rows, std::size_t cols, Complex alpha,
                                 const std::vector<double>& a, std::size_t lda, Complex beta,
                                 const std::vector<double>& b, std::size_t ldb, std::vector<double> c, std::size_t ldc,
                                 int width) {
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j)
      Set(c, At(ordering, i, j, ldc, 1), width,
          alpha * OpGet(a, ordering, ta, i, j, lda, 1, width) + beta * OpGet(b, ordering, tb, i, j, ldb, 1, width));
  return c;
}

// The leading dimension an operand of a rows × cols result needs, plus a gap.
std::size_t LeadingDim(char ordering, char t, std::size_t rows, std::size_t cols, std::size_t gap) {
  const std::size_t sr = Transposes(t) ? cols : rows, sc = Transposes(t) ? rows : cols;  // stored shape
  return (RowMajor(ordering) ? sc : sr) + gap;
}

TEST(BlacOmat, AddEveryOrderingAndTransPair) {
  auto rng = qormtx_test::Rng(14);
  const std::size_t rows = 35, cols = 40;
  for (char ordering : {'C', 'R'}) {
    for (char ta : {'N', 'n', 'T', 't', 'C', 'c', 'R', 'r'}) {
      for (char tb : {'N', 'n', 'T', 't', 'C', 'c', 'R', 'r'}) {
        const std::size_t lda = LeadingDim(ordering, ta, rows, cols, 2);
        const std::size_t ldb = LeadingDim(ordering, tb, rows, cols, 5);
        const std::size_t ldc = LeadingDim(ordering, 'N', rows, cols, 1);
        auto extent = [&](char t, std::size_t ld) {
          return Transposes(t) ? Extent(ordering, cols, rows, ld, 1) : Extent(ordering, rows, cols, ld, 1);
        };
        const std::string what = std::string(1, ordering) + ta + tb;
        const bool realFlags =
            ta != 'C' && ta != 'c' && ta != 'R' && ta != 'r' && tb != 'C' && tb != 'c' && tb != 'R' && tb != 'r';
        if (realFlags) {
          const double alpha = 1.25, beta = -0.5;
          const auto a = Random(extent(ta, lda), rng), b = Random(extent(tb, ldb), rng);
          std::vector<double> c(Extent(ordering, rows, cols, ldc, 1), kPad);
          const auto ref = ReferenceAdd(ordering, ta, tb, rows, cols, alpha, a, lda, beta, b, ldb, c, ldc, 1);
          blac_domatadd(&ordering, &ta, &tb, &rows, &cols, &alpha, a.data(), &lda, &beta, b.data(), &ldb, c.data(),
                        &ldc);
          EXPECT_LT(qormtx_test::MaxRelDiff(c, ref), 1e-15) << "real " << what;
        }
        const double alpha[2] = {0.5, -1.0}, beta[2] = {1.5, 0.25};
        const auto a = Random(2 * extent(ta, lda), rng), b = Random(2 * extent(tb, ldb), rng);
        std::vector<double> c(2 * Extent(ordering, rows, cols, ldc, 1), kPad);
        const auto ref = ReferenceAdd(ordering, ta, tb, rows, cols, Complex(alpha[0], alpha[1]), a, lda,
                                      Complex(beta[0], beta[1]), b, ldb, c, ldc, 2);
        blac_zomatadd(&ordering, &ta, &tb, &rows, &cols, alpha, a.data(), &lda, beta, b.data(), &ldb, c.data(), &ldc);
        EXPECT_LT(qormtx_test::MaxRelDiff(c, ref), 1e-15) << "complex " << what;
      }
    }
  }
}

TEST(BlacOmat, AddInPlaceAndZeroScalarsLeaveTheOperandUnread) {
  auto rng = qormtx_test::Rng(15);
  const std::size_t rows = 5, cols = 70, ld = 6;
  const char c = 'C', n = 'N', t = 'T';
  // C = A in place with a transposed B.
  auto a = Random(ld * cols, rng);
  const auto b = Random(cols * rows, rng);  // B stored cols × rows, ld = cols
  const std::size_t ldb = cols;
  const double alpha = 2.0, beta = -1.0;
  auto ref = ReferenceAdd('C', 'N', 'T', rows, cols, alpha, a, ld, beta, b, ldb, a, ld, 1);
  blac_domatadd(&c, &n, &t, &rows, &cols, &alpha, a.data(), &ld, &beta, b.data(), &ldb, a.data(), &ld);
  EXPECT_LT(qormtx_test::MaxRelDiff(a, ref), 1e-15);

  // beta = 0: B is not read (a NaN there must not reach C); alpha = 0 likewise for A.
  const std::vector<double> nan(ld * cols * 2, std::numeric_limits<double>::quiet_NaN());
  const auto x = Random(ld * cols * 2, rng);
  std::vector<double> out(ld * cols, kPad);
  const double zero = 0.0;
  blac_domatadd(&c, &n, &n, &rows, &cols, &alpha, x.data(), &ld, &zero, nan.data(), &ld, out.data(), &ld);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i) EXPECT_EQ(out[j * ld + i], 2.0 * x[j * ld + i]);
  const double zz[2] = {0.0, 0.0}, one[2] = {1.0, 0.0};
  std::vector<double> zout(2 * ld * cols, kPad);
  blac_zomatadd(&c, &n, &n, &rows, &cols, zz, nan.data(), &ld, one, x.data(), &ld, zout.data(), &ld);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < 2 * rows; ++i) EXPECT_EQ(zout[2 * j * ld + i], x[2 * j * ld + i]);
}

TEST(BlacOmat, EmptyShapesWriteNothing) {
  const std::size_t zero = 0, three = 3, one = 1;
  const double alpha[2] = {1.0, 0.0};
  const double a[6] = {1, 2, 3, 4, 5, 6};
  std::vector<double> b(6, kPad);
  const char c = 'C', n = 'N', t = 'T';
  blac_domatcopy(&c, &n, &zero, &three, alpha, a, &one, b.data(), &one);
  blac_domatcopy2(&c, &t, &three, &zero, alpha, a, &three, &one, b.data(), &one, &one);
  blac_domatadd(&c, &n, &t, &zero, &zero, alpha, a, &one, alpha, a, &one, b.data(), &one);
  blac_zomatcopy(&c, &t, &three, &zero, alpha, a, &three, b.data(), &one);
  blac_zomatcopy2(&c, &n, &zero, &three, alpha, a, &one, &one, b.data(), &one, &one);
  blac_zomatadd(&c, &n, &n, &three, &zero, alpha, a, &three, alpha, a, &three, b.data(), &three);
  EXPECT_EQ(b, std::vector<double>(6, kPad));
}

}  // namespace
