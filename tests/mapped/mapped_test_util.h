// Helpers of the mapped-operation tests: operands on ordinal sets, the reference that pairs them by ordinal on plain
// arrays, and a fixture with an in-memory database whose scratch files must all be gone afterwards.
#pragma once
#include <algorithm>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "../scratch/scratch_test_util.h"
#include "QORMtxMatrix.h"
#include "QORMtxSparseMatrix.h"
#include "QORSim.h"
#include "qormtx_reference.h"

namespace mapped_test {

/// Ordinals are drawn from 0 … kUniverse − 1, so that random operands overlap in part.
constexpr int kUniverse = 40;

/// An operand: values, and the ordinal of every row and column (negative: takes no part).
struct Op {
  ref::Dense v;
  std::vector<int> rows, cols;
};

/// n distinct ordinals in random order; the first `negatives` of them replaced by negative values.
inline std::vector<int> Ordinals(std::mt19937_64& rng, int n, int negatives = 0) {
  std::vector<int> all(kUniverse);
  std::iota(all.begin(), all.end(), 0);
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(static_cast<size_t>(n));
  for (int k = 0; k < negatives && k < n; ++k) all[k] = -1 - k % 2;  // negatives may repeat
  std::shuffle(all.begin(), all.end(), rng);
  return all;
}

inline std::vector<int> Positions(int n) {
  std::vector<int> v(static_cast<size_t>(n));
  std::iota(v.begin(), v.end(), 0);
  return v;
}

/// A random operand on random ordinals (rows or columns given as -1 count: positions 0 … n − 1).
inline Op Random(std::mt19937_64& rng, std::vector<int> rows, std::vector<int> cols) {
  Op x{ref::Dense(static_cast<int>(rows.size()), static_cast<int>(cols.size())), std::move(rows), std::move(cols)};
  x.v.a = ref::RandomValues(x.v.a.size(), rng);
  return x;
}

inline Op Transposed(const Op& x) { return Op{ref::Transpose(x.v), x.cols, x.rows}; }

/// x seen through other ordinals: (i, j) is x at the row of ordinal rows[i] and the column of ordinal cols[j], 0
/// where x has none. Products in this ordinal space are the mapped products.
inline ref::Dense Reindex(const Op& x, const std::vector<int>& rows, const std::vector<int>& cols) {
  ref::Dense r(static_cast<int>(rows.size()), static_cast<int>(cols.size()));
  for (int p = 0; p < x.v.rows; ++p)
    for (int q = 0; q < x.v.cols; ++q) {
      if (x.rows[p] < 0 || x.cols[q] < 0) continue;
      for (size_t i = 0; i < rows.size(); ++i)
        for (size_t j = 0; j < cols.size(); ++j)
          if (rows[i] == x.rows[p] && cols[j] == x.cols[q]) r(static_cast<int>(i), static_cast<int>(j)) = x.v(p, q);
    }
  return r;
}

/// Every ordinal that can pair: the inner space of a mapped product.
inline std::vector<int> Universe() { return Positions(kUniverse); }

inline bool Has(const std::vector<int>& ords, int o) { return o >= 0 && std::count(ords.begin(), ords.end(), o) > 0; }

/// expected(i, j) = computed(i, j) where keep(i, j) is false, else old(i, j).
inline ref::Dense Keep(const ref::Dense& computed, const ref::Dense& old, const std::function<bool(int, int)>& keep) {
  ref::Dense r = computed;
  for (int j = 0; j < r.cols; ++j)
    for (int i = 0; i < r.rows; ++i)
      if (keep(i, j)) r(i, j) = old(i, j);
  return r;
}

inline QORMtxMatrix InCore(const ref::Dense& d) {
  QORMtxMatrix m(d.rows, d.cols, QORMtxMatrix::UNKNOWN);
  std::copy(d.a.begin(), d.a.end(), m.Values());
  return m;
}
inline ref::Dense Values(const QORMtxMatrix& m) {
  ref::Dense d(m.NumberOfRows(), m.NumberOfColumns());
  std::copy(m.Values(), m.Values() + d.a.size(), d.a.begin());
  return d;
}

/// K as a sparse matrix with its ordinals; symmetric storage keeps the lower triangle of a symmetric K. A few
/// entries are stored as explicit zeros, which every product must skip.
inline void Sparse(const Op& k, bool symmetric, QORMtxSparseMatrix& K, bool withOrdinals = true) {
  K.Reset(k.v.rows, k.v.cols);
  for (int i = 0; i < k.v.rows; ++i)
    for (int j = 0; j < (symmetric ? i + 1 : k.v.cols); ++j)
      if (k.v(i, j) != 0.0 || (i + j) % 7 == 0) K.AddData(i, j, k.v(i, j), false);
  K.EndAssembly(symmetric);
  if (withOrdinals) K.SetOrdinals(k.rows.data(), k.cols.data());
}

/// A sparse-looking operand: about a third of the values nonzero; symmetric (rows = columns) when asked.
inline Op SparseOp(std::mt19937_64& rng, std::vector<int> rows, std::vector<int> cols, bool symmetric) {
  if (symmetric) cols = rows;
  Op k = Random(rng, std::move(rows), std::move(cols));
  for (double& x : k.v.a)
    if (x > -0.33 && x < 0.33) x = 0.0;
  if (symmetric) {
    for (int j = 0; j < k.v.cols; ++j)
      for (int i = 0; i < j; ++i) k.v(i, j) = k.v(j, i);
  }
  return k;
}

inline QORBasVector<int> Vec(const std::vector<int>& v) { return QORBasVector<int>(v.begin(), v.end()); }

/// A fixture whose stored operands live in an in-memory database and whose scratch files go to its own directory.
class MappedTest : public scratch_test::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    m_db.CreateInMemory(("mapped" + std::to_string(++m_count)).c_str());
  }
  void TearDown() override {
    m_db.Close();
    ScratchTest::TearDown();
  }

 public:
  /// x stored on its ordinals (non-negative), chunked rowChunk × colChunk.
  QORSimDistributionID Store(const Op& x, int rowChunk, int colChunk) {
    QORSimContext ctx(m_db.ContextID());
    const QORSimCSetID rows = QORSimCollection(ctx.CreateCollection(kUniverse)).CreateOrderedCSet(x.rows.data(), x.v.rows);
    const QORSimCSetID cols = QORSimCollection(ctx.CreateCollection(kUniverse)).CreateOrderedCSet(x.cols.data(), x.v.cols);
    const QORSimDistributionID id = QORMtxUtilities::Create2DDistribution(rows, cols, rowChunk, colChunk);
    if (x.v.rows > 0 && x.v.cols > 0) QORMtxDenseMatrix(id).SetValues(0, x.v.rows - 1, 0, x.v.cols - 1, x.v.a.data());
    return id;
  }

 private:
  QORSimDatabase m_db;
  static inline int m_count = 0;
};

}  // namespace mapped_test
