// Block sparse rows in all four instantiations: dense forms against a naive expansion, the iterator, copies and
// the printed and exported texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "QORMtxMatrixBsr.h"
#include "families_test_util.h"

namespace {

template <class M>
using Value = std::remove_pointer_t<decltype(std::declval<M&>().DenseMatrix())>;

// The lower triangle of element matrices assembled on their dofs, in a dense reference beside the BSR matrix.
template <class M>
void AssembleRandom(M& m, ref::Dense& lower, int numElements, int numDofs, unsigned seed) {
  std::mt19937_64 rng(ref::Seed() + seed);
  for (int e = 0; e < numElements; ++e) {
    const int n = 1 + static_cast<int>(rng() % 4);
    std::vector<unsigned> both(2 * n);
    for (int i = 0; i < n; ++i) both[n + i] = static_cast<unsigned>(rng() % numDofs);
    std::vector<Value<M>> packed;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i) {
        packed.push_back(static_cast<Value<M>>(static_cast<int>(rng() % 19) - 9));
        const int a = both[n + i], b = both[n + j];
        lower(std::max(a, b), std::min(a, b)) += packed.back();
      }
    m.AddValues(n, both.data(), packed.data());
  }
}

template <class T>
class FamiliesBsr : public ::testing::Test {};
using Instantiations = ::testing::Types<QORMtxMatrixBsr<int, QORBasAllocator>, QORMtxMatrixBsr<int, QORBasMemAllocator>,
                                        QORMtxMatrixBsr<double, QORBasAllocator>,
                                        QORMtxMatrixBsr<double, QORBasMemAllocator>>;
TYPED_TEST_SUITE(FamiliesBsr, Instantiations);

}  // namespace

TYPED_TEST(FamiliesBsr, DenseFormsAgainstNaiveExpansion) {
  using M = TypeParam;
  using T = Value<M>;
  for (int d : {1, 2, 3, 5}) {
    const int n = 17;
    M m(d, n, n);
    ref::Dense lower(n, n);
    AssembleRandom(m, lower, 25, n, d);
    T* dense = m.DenseMatrix();
    T* diag = m.DiagonalVector();
    T* diagM = m.DiagonalMatrix();
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        EXPECT_EQ(dense[i * n + j], static_cast<T>(lower(i, j))) << "d " << d << " at " << i << "," << j;
        EXPECT_EQ(diagM[i * n + j], i == j ? static_cast<T>(lower(i, i)) : T(0));
      }
      EXPECT_EQ(diag[i], static_cast<T>(lower(i, i)));
    }
    const int pick[] = {16, 0, 5, 5};
    const T* packed = m.PackSelectRows(4, pick);
    for (int k = 0; k < 4; ++k)
      for (int j = 0; j < n; ++j) EXPECT_EQ(packed[k * n + j], dense[pick[k] * n + j]);
    // The iterator visits every stored value once, at its scalar position.
    ref::Dense walked(n, n);
    QORMtxMatrixBsrIterator<T> it(m);
    long long count = 0;
    for (T* v = it.First(); v != QORMtxMatrixBsrIterator<T>::END; v = it.Next(), ++count) {
      if (it.Row() < n && it.Col() < n)
        walked(it.Row(), it.Col()) += *v;
      else
        EXPECT_EQ(*v, T(0)) << "a block's slot past the matrix edge";
    }
    EXPECT_EQ(walked.a, lower.a);
    EXPECT_EQ(count % (d * d), 0);
    M copy(m);
    EXPECT_TRUE(copy.Equal(m));
    copy.AddValue(0, 0, T(1));
    EXPECT_FALSE(copy.Equal(m));
    testing::internal::CaptureStdout();
    copy = m;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSIGNMENT\nSWAPPING...\n");
    EXPECT_TRUE(copy.Equal(m));
    m.Allocator().Deallocate(dense);
    m.Allocator().Deallocate(diag);
    m.Allocator().Deallocate(diagM);
  }
}

TYPED_TEST(FamiliesBsr, PlacementMirrorAndFull) {
  using M = TypeParam;
  using T = Value<M>;
  M m(2, 4, 4);
  m.AddValue(3, 0, T(3));
  EXPECT_EQ(*m.Find(3, 0), T(3));
  EXPECT_EQ(m.Find(1, 1), M::END);
  T* diag = m.DiagonalVector();  // no block row 0: leading zeros
  EXPECT_EQ(diag[0], T(0));
  EXPECT_EQ(diag[1], T(0));
  m.Allocator().Deallocate(diag);

  M e(1);
  const unsigned both[] = {0, 0, 5, 2};
  const T packed[] = {T(1), T(2), T(4)};
  e.AddValues(2, both, packed);
  EXPECT_EQ(*e.Find(5, 5), T(1));
  EXPECT_EQ(*e.Find(5, 2), T(2));
  EXPECT_EQ(*e.Find(2, 2), T(4));

  M mirrored(2);
  mirrored.Reserve(3, 3);
  mirrored.AddValue(1, 2, T(5));
  mirrored.AddValue(1, 2, T(7));
  EXPECT_EQ(*mirrored.Find(1, 2), T(12));  // the blocks sum, the mirror keeps the last value
  std::string text;
  aio_ostream os(&text);
  mirrored.PrintStorage(os);
  EXPECT_EQ(text, "  .   .   . \n  .   .   7 \n  .   .   . \n");
  const int row[] = {1};
  EXPECT_EQ(mirrored.PackSelectRows(1, row)[2], T(7));

  T a[6] = {T(1), T(2), T(3), T(4), T(5), T(6)};  // 3 × 2, column-major
  typename std::remove_reference_t<decltype(m.Allocator())> alloc;
  T* full = M::Full(a, 3, 2, &alloc);
  const T expect[6] = {T(1), T(4), T(3), T(4), T(5), T(6)};
  EXPECT_TRUE(std::equal(full, full + 6, expect));
  alloc.Deallocate(full);
}

TYPED_TEST(FamiliesBsr, Texts) {
  using M = TypeParam;
  using T = Value<M>;
  M m(1);
  m.AddValue(0, 0, T(2));
  std::string printed;
  aio_ostream os(&printed);
  os << &m;
  EXPECT_EQ(printed, "\n  blockdim: 1\n  indexing: 0\n    values: \n   columns: \n  rowIndex: \n  pointerB: \n"
                     "  pointerE: \n");
  const std::string path = ::testing::TempDir() + "/bsr_texts_" + std::to_string(::getpid()) + ".txt";
  testing::internal::CaptureStdout();
  m.Export(path.c_str(), 0);
  m.Dump("x");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Exporting BSR matrix to " + path + "\nDumping of BSR matrix is not implemented yet \n");
  std::stringstream file;
  file << std::ifstream(path).rdbuf();
  std::remove(path.c_str());
  const std::string expect = std::is_same<T, int>::value ? "     1      1                          2\n"
                                                        : "     1      1     2.0000000000000000e+00\n";
  EXPECT_EQ(file.str(), expect);
  testing::internal::CaptureStderr();
  m.Export("/nonexistent-dir/bsr.txt", 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "*** Error: Could not create /nonexistent-dir/bsr.txt\n");
}

TEST(FamiliesBsrHuge, RowsOfInfiniteStiffnessRecordedByOneInstantiation) {
  QORMtxMatrixBsr<double, QORBasAllocator> a(2);
  QORMtxMatrixBsr<double, QORBasMemAllocator> b(2);
  for (int r : {4, 1, 4}) {
    a.AddValue(r, 0, 1e36);
    b.AddValue(r, 0, 1e36);
  }
  a.AddValue(2, 0, 1e35);
  EXPECT_EQ(std::vector<int>(a.HugeValueRows().begin(), a.HugeValueRows().end()), (std::vector<int>{4, 1, 4}));
  EXPECT_EQ(b.HugeValueRows().size(), 0);
}

// A real stiffness matrix in blocks of 6 (three translations and three rotations per node): the exported text
// against one written here from the file's entries.
TEST(FamiliesBsrHb, ExportOfStiffnessInBlocksOfSix) {
  int n = 0;
  std::vector<std::pair<std::pair<int, int>, double>> entries;
  if (!families_test::ReadMatrixMarket(std::string(QORMTX_SHARED_DATA) + "/hb/bcsstk01.mtx", n, entries))
    GTEST_SKIP() << "bcsstk01.mtx not available";
  QORMtxMatrixBsr<double, QORBasAllocator> m(6, n, n);
  std::map<std::pair<int, int>, std::vector<double>> blocks;
  for (const auto& [rc, v] : entries) {
    const int r = std::max(rc.first, rc.second), c = std::min(rc.first, rc.second);
    m.AddValue(r, c, v);
    auto& b = blocks[{r / 6, c / 6}];
    b.resize(36, 0.0);
    b[(r % 6) * 6 + c % 6] += v;
  }
  std::string expect;
  char line[64];
  for (const auto& [key, b] : blocks)
    for (int k = 0; k < 36; ++k) {
      std::snprintf(line, sizeof line, "%6d %6d %26.16e\n", 6 * key.first + k / 6 + 1, 6 * key.second + k % 6 + 1, b[k]);
      expect += line;
    }
  const std::string path = ::testing::TempDir() + "/bsr_hb_" + std::to_string(::getpid()) + ".txt";
  {
    aio_ofstream out(path.c_str());
    m.Export(out, 0);
  }
  std::stringstream file;
  file << std::ifstream(path).rdbuf();
  std::remove(path.c_str());
  EXPECT_EQ(file.str(), expect);
  EXPECT_GT(blocks.size(), 8u);
}
