// Tests of the blac out-of-place copy and add routines against a direct reading of their contract.
#include <gtest/gtest.h>

#include <complex>
#include <cstddef>
#include <limits>
#include <vector>

#include "blac.h"
#include "naive_dense.h"

namespace {

using namespace qormtx_test;
using Complex = std::complex<double>;
using Vec = std::vector<double>;
constexpr double kPad = -777.0;

bool Transposes(char t) { return t == 'T' || t == 't' || t == 'C' || t == 'c'; }
bool Conjugates(char t) { return t == 'C' || t == 'c' || t == 'R' || t == 'r'; }
bool RowMajor(char o) { return o == 'R' || o == 'r'; }

// Offset of logical element (i, j) of a two-strided matrix: column-major puts `ld` between columns and `stride`
// between rows; row-major puts `ld` between rows and `stride` between columns.
std::size_t At(char ordering, std::size_t i, std::size_t j, std::size_t ld, std::size_t stride) {
  return RowMajor(ordering) ? i * ld + j * stride : i * stride + j * ld;
}

// The extent of a two-strided matrix's storage, in elements.
std::size_t Extent(char ordering, std::size_t rows, std::size_t cols, std::size_t ld, std::size_t stride) {
  return At(ordering, rows - 1, cols - 1, ld, stride) + 1;
}

// One term scale·op(X) of a result, X stored as (ordering, ld, stride).
struct Term {
  Complex scale;
  const Vec& x;
  char trans;
  std::size_t ld, stride;
};

// C = the sum of the terms over a rows × cols C stored as (ordering, ldc, sc), real (width 1) or interleaved complex
// (width 2); everything else in C keeps its value.
Vec Reference(char ordering, std::size_t rows, std::size_t cols, std::initializer_list<Term> terms, Vec c,
              std::size_t ldc, std::size_t sc, int width) {
  for (std::size_t i = 0; i < rows; ++i)
    for (std::size_t j = 0; j < cols; ++j) {
      Complex sum = 0.0;
      for (const Term& t : terms) {
        const std::size_t at =
            Transposes(t.trans) ? At(ordering, j, i, t.ld, t.stride) : At(ordering, i, j, t.ld, t.stride);
        const Complex v = width == 1 ? Complex(t.x[at], 0.0) : Complex(t.x[2 * at], t.x[2 * at + 1]);
        sum += t.scale * (width == 2 && Conjugates(t.trans) ? std::conj(v) : v);
      }
      const std::size_t at = At(ordering, i, j, ldc, sc);
      if (width == 1) c[at] = sum.real();
      if (width == 2) c[2 * at] = sum.real(), c[2 * at + 1] = sum.imag();
    }
  return c;
}

Vec Random(std::size_t n, std::mt19937_64& rng) { return RandomVector(n, rng); }

TEST(BlacOmat, CopyEveryOrderingTransAndStride) {
  auto rng = Rng(13);
  const double alpha[2] = {0.25, 0.75};  // the real kernels read the first value only
  // Shapes straddle the 32-element tiles of the transposed walk; stride 1 goes through omatcopy.
  for (std::size_t rows : {1, 33, 70})
    for (std::size_t cols : {1, 31, 65})
      for (char ordering : {'C', 'r'})
        for (char trans : {'N', 'n', 't', 'T', 'C', 'R', 'c', 'r'})
          for (std::size_t sa : {1, 3})
            for (int width : {1, 2}) {
              const bool t = Transposes(trans);
              const std::size_t br = t ? cols : rows, bc = t ? rows : cols, sb = sa == 1 ? 1 : 2;
              // ld past the end of the strided run on both sides.
              const std::size_t lda = (RowMajor(ordering) ? cols : rows) * sa + 1;
              const std::size_t ldb = (RowMajor(ordering) ? bc : br) * sb + 3;
              const auto a = Random(width * Extent(ordering, rows, cols, lda, sa), rng);
              Vec b(width * Extent(ordering, br, bc, ldb, sb), kPad);
              const Complex scale(alpha[0], width == 2 ? alpha[1] : 0.0);
              const auto ref = Reference(ordering, br, bc, {{scale, a, trans, lda, sa}}, b, ldb, sb, width);
              if (sa == 1)
                (width == 1 ? blac_domatcopy : blac_zomatcopy)(&ordering, &trans, &rows, &cols, alpha, a.data(), &lda,
                                                               b.data(), &ldb);
              else
                (width == 1 ? blac_domatcopy2 : blac_zomatcopy2)(&ordering, &trans, &rows, &cols, alpha, a.data(), &lda,
                                                                 &sa, b.data(), &ldb, &sb);
              EXPECT_TRUE(width == 1 ? b == ref : MaxRelDiff(b, ref) < 1e-15)  // a real copy is exact
                  << ordering << trans << " " << rows << "x" << cols << " stride " << sa << " width " << width;
            }
}

TEST(BlacOmat, AddEveryOrderingAndTransPair) {
  auto rng = Rng(14);
  const std::size_t rows = 35, cols = 40;
  const double alpha[2] = {1.25, -1.0}, beta[2] = {-0.5, 0.25};
  for (char ordering : {'C', 'R'})
    for (char ta : {'N', 'n', 'T', 't', 'C', 'c', 'R', 'r'})
      for (char tb : {'N', 'n', 'T', 't', 'C', 'c', 'R', 'r'})
        for (int width : {1, 2}) {
          if (width == 1 && (Conjugates(ta) || Conjugates(tb))) continue;  // conjugating flags are complex only
          // Each operand's leading dimension fits its stored shape plus a gap of its own.
          const auto ld = [&](char t, std::size_t gap) {
            return (RowMajor(ordering) == Transposes(t) ? rows : cols) + gap;
          };
          const auto extent = [&](char t, std::size_t ld) {
            return width * (Transposes(t) ? Extent(ordering, cols, rows, ld, 1) : Extent(ordering, rows, cols, ld, 1));
          };
          const std::size_t lda = ld(ta, 2), ldb = ld(tb, 5), ldc = ld('N', 1);
          const auto a = Random(extent(ta, lda), rng), b = Random(extent(tb, ldb), rng);
          Vec c(extent('N', ldc), kPad);
          const Complex sa(alpha[0], width == 2 ? alpha[1] : 0.0), sb(beta[0], width == 2 ? beta[1] : 0.0);
          const auto ref =
              Reference(ordering, rows, cols, {{sa, a, ta, lda, 1}, {sb, b, tb, ldb, 1}}, c, ldc, 1, width);
          (width == 1 ? blac_domatadd : blac_zomatadd)(&ordering, &ta, &tb, &rows, &cols, alpha, a.data(), &lda, beta,
                                                       b.data(), &ldb, c.data(), &ldc);
          EXPECT_LT(MaxRelDiff(c, ref), 1e-15) << ordering << ta << tb << " width " << width;
        }
}

TEST(BlacOmat, InPlaceAddZeroScalarsAndEmptyShapes) {
  auto rng = Rng(15);
  const std::size_t rows = 5, cols = 70, ld = 6, ldb = cols, zero = 0, three = 3, one = 1;
  const char c = 'C', n = 'N', t = 'T';
  // C = A in place with a transposed B (stored cols × rows).
  auto a = Random(ld * cols, rng);
  const auto b = Random(cols * rows, rng);
  const double alpha = 2.0, beta = -1.0;
  const auto ref = Reference('C', rows, cols, {{alpha, a, 'N', ld, 1}, {beta, b, 'T', ldb, 1}}, a, ld, 1, 1);
  blac_domatadd(&c, &n, &t, &rows, &cols, &alpha, a.data(), &ld, &beta, b.data(), &ldb, a.data(), &ld);
  EXPECT_LT(MaxRelDiff(a, ref), 1e-15);

  // beta = 0: B is not read (a NaN there must not reach C); alpha = 0 likewise for A.
  const Vec nan(ld * cols * 2, std::numeric_limits<double>::quiet_NaN()), x = Random(ld * cols * 2, rng);
  Vec out(ld * cols, kPad), zout(2 * ld * cols, kPad);
  const double dzero = 0.0, zz[2] = {0.0, 0.0}, zone[2] = {1.0, 0.0};
  blac_domatadd(&c, &n, &n, &rows, &cols, &alpha, x.data(), &ld, &dzero, nan.data(), &ld, out.data(), &ld);
  blac_zomatadd(&c, &n, &n, &rows, &cols, zz, nan.data(), &ld, zone, x.data(), &ld, zout.data(), &ld);
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i) {
      const std::size_t at = j * ld + i;
      EXPECT_TRUE(out[at] == 2.0 * x[at] && zout[2 * at] == x[2 * at] && zout[2 * at + 1] == x[2 * at + 1]) << i << j;
    }

  // Empty shapes write nothing, whatever the leading dimensions.
  const double e[6] = {1, 2, 3, 4, 5, 6};
  Vec d(6, kPad);
  blac_domatcopy(&c, &n, &zero, &three, zone, e, &one, d.data(), &one);
  blac_domatcopy2(&c, &t, &three, &zero, zone, e, &three, &one, d.data(), &one, &one);
  blac_domatadd(&c, &n, &t, &zero, &zero, zone, e, &one, zone, e, &one, d.data(), &one);
  blac_zomatcopy(&c, &t, &three, &zero, zone, e, &three, d.data(), &one);
  blac_zomatcopy2(&c, &n, &zero, &three, zone, e, &one, &one, d.data(), &one, &one);
  blac_zomatadd(&c, &n, &n, &three, &zero, zone, e, &three, zone, e, &three, d.data(), &three);
  EXPECT_EQ(d, Vec(6, kPad));
}

}  // namespace
