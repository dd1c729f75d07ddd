// Helpers of the sparse tests: raw access to the stored arrays, the dense reference of the stored form, and an
// environment guard.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "QORMtxSparseMatrix.h"
#include "QORSimCollection.h"
#include "QORSimDatabase.h"
#include "qormtx_reference.h"

/// White-box access to the stored form, so that references do not go through the code under test.
struct QORMtxSparseMatrixTestPeer {
  static const unsigned* RowP(const QORMtxSparseMatrix& A) { return A.m_rowP; }
  static const int* ColI(const QORMtxSparseMatrix& A) { return A.m_colI; }
  static const double* Data(const QORMtxSparseMatrix& A) { return A.m_data; }
  static double* MutableData(QORMtxSparseMatrix& A) { return A.m_data; }
  static int SymFlag(const QORMtxSparseMatrix& A) { return A.m_symFlag; }
  static void ResetData(QORMtxSparseMatrix& A, const QORMtxSparseMatrixEntry* e, int n, int rows, int cols) {
    A.ResetData(e, n, rows, cols);
  }
  using ElementMatrices = QORMtxSparseMatrix::ElementMatrices;
  static void AssembleElmat(QORMtxSparseMatrix& A, const ElementMatrices& m, const QORFsmElementDofs& dofs, int mode,
                            omi_Set& rows, omi_Set& cols) {
    A.AssembleElmat(m, dofs, mode, rows, cols);
  }
};

namespace sparse_test {

using Peer = QORMtxSparseMatrixTestPeer;

using ref::Dense;

/// The full matrix straight from the stored arrays (symmetric storage mirrored), without the iterator.
inline Dense RawDense(const QORMtxSparseMatrix& A) {
  Dense d(A.NumberOfRows(), A.NumberOfColumns());
  const unsigned* rowP = Peer::RowP(A);
  if (!rowP) return d;
  for (int r = 0; r < A.NumberOfRows(); ++r)
    for (unsigned k = rowP[r]; k < rowP[r + 1]; ++k) {
      d(r, Peer::ColI(A)[k]) = Peer::Data(A)[k];
      if (A.Diagonal()) d(Peer::ColI(A)[k], r) = Peer::Data(A)[k];
    }
  if (A.Diagonal())
    for (int r = 0; r < A.NumberOfRows(); ++r) d(r, r) = A.Diagonal()[r];
  return d;
}

/// Sum of the entries (exact for the values RandomEntries makes, whatever the order of summation).
inline Dense Reference(int rows, int cols, const std::vector<QORMtxSparseMatrixEntry>& entries, bool mirror) {
  Dense d(rows, cols);
  for (const auto& e : entries) {
    d(e.m_row, e.m_col) += e.m_value;
    if (mirror && e.m_row != e.m_col) d(e.m_col, e.m_row) += e.m_value;
  }
  return d;
}

/// A reference from its values listed row by row, as a matrix is written on paper.
inline Dense RowMajor(int rows, int cols, const std::vector<double>& v) {
  Dense byColumns(cols, rows);
  byColumns.a = v;
  return ref::Transpose(byColumns);
}
/// Copies of the stored arrays (empty when unset).
template <typename T>
std::vector<T> Copy(const T* p, int n) {
  return p ? std::vector<T>(p, p + n) : std::vector<T>();
}
inline std::vector<unsigned> RowP(const QORMtxSparseMatrix& A) { return Copy(Peer::RowP(A), A.NumberOfRows() + 1); }
inline std::vector<int> ColI(const QORMtxSparseMatrix& A) { return Copy(Peer::ColI(A), A.NumberOfNonzeros()); }
inline std::vector<double> Data(const QORMtxSparseMatrix& A) { return Copy(Peer::Data(A), A.NumberOfNonzeros()); }
inline std::vector<double> Diag(const QORMtxSparseMatrix& A) { return Copy(A.Diagonal(), A.NumberOfRows()); }

/// The three arrays of the stored form together, to compare before and after.
using Stored = std::tuple<std::vector<unsigned>, std::vector<int>, std::vector<double>>;
inline Stored Arrays(const QORMtxSparseMatrix& A) { return Stored(RowP(A), ColI(A), Data(A)); }

inline void ExpectArrays(const QORMtxSparseMatrix& A, const std::vector<unsigned>& rowP, const std::vector<int>& colI,
                         const std::vector<double>& data) {
  EXPECT_EQ(RowP(A), rowP);
  EXPECT_EQ(ColI(A), colI);
  EXPECT_EQ(Data(A), data);
}

inline void ExpectValid(const QORMtxSparseMatrix& A) {
  std::string why;
  EXPECT_TRUE(A.CheckInvariants(&why)) << why;
}

/// Everything left in f from its start; closes f.
inline std::string Slurp(FILE* f) {
  std::string s;
  if (!f) return s;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
  std::fclose(f);
  return s;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

inline void ExpectDenseEq(const Dense& a, const Dense& b) {
  ASSERT_EQ(a.rows, b.rows);
  ASSERT_EQ(a.cols, b.cols);
  for (int i = 0; i < a.rows; ++i)
    for (int j = 0; j < a.cols; ++j) ASSERT_EQ(a(i, j), b(i, j)) << "at (" << i << ", " << j << ")";
}

/// Random entries with duplicates, in random order; rows listed in emptyRows get none. lower: only c <= r.
inline std::vector<QORMtxSparseMatrixEntry> RandomEntries(std::mt19937_64& rng, int rows, int cols, int n, bool lower,
                                                          const std::vector<int>& emptyRows = {}) {
  std::uniform_int_distribution<int> R(0, rows - 1), C(0, cols - 1);
  // Multiples of 1/8 of modest size: their sums are exact in any order, since duplicates meet in no defined order.
  std::uniform_int_distribution<int> V8(-80, 80);
  const auto V = [&V8](std::mt19937_64& g) { return V8(g) / 8.0; };
  std::vector<QORMtxSparseMatrixEntry> out;
  while (static_cast<int>(out.size()) < n) {
    int r = R(rng), c = C(rng);
    if (lower && c > r) std::swap(r, c);
    bool skip = false;
    for (int e : emptyRows) skip = skip || e == r || (lower && e == c);
    if (skip) continue;
    out.push_back({static_cast<unsigned>(r), static_cast<unsigned>(c), V(rng)});
    // A duplicate now and then, later in the list, so that sums meet out of order.
    if (out.size() % 5 == 0) out.insert(out.begin() + static_cast<long>(rng() % out.size()), out.back());
  }
  return out;
}

/// Sets (bucket path) or clears ZUL_MTXSPARSE_NEWASMB for the guard's lifetime and restores the previous state.
class AssemblyPath {
 public:
  explicit AssemblyPath(bool bucket) {
    if (const char* old = std::getenv(kName)) m_old = old;
    bucket ? setenv(kName, "", 1) : unsetenv(kName);
  }
  ~AssemblyPath() { m_old ? setenv(kName, m_old->c_str(), 1) : unsetenv(kName); }

 private:
  static constexpr const char* kName = "ZUL_MTXSPARSE_NEWASMB";
  std::optional<std::string> m_old;
};

/// Assembles the entries on the chosen path; stdout notices of the bucket path are swallowed.
inline void Assemble(QORMtxSparseMatrix& A, int rows, int cols, const std::vector<QORMtxSparseMatrixEntry>& entries,
                     bool symmetric = false, bool bucket = false) {
  AssemblyPath path(bucket);
  A.Reset(rows, cols);
  A.BeginAssembly(false);
  for (const auto& e : entries) A.AddData(e.m_row, e.m_col, e.m_value, false);
  testing::internal::CaptureStdout();
  A.EndAssembly(symmetric);
  testing::internal::GetCapturedStdout();
}

/// An in-memory store with one collection of ordinals 0..99, for matrices that live in a domain.
class OrdinalStore : public testing::Test {
 protected:
  void SetUp() override {
    m_db.CreateInMemory("sparse_tests");
    m_dofs = QORSimCollection(QORSimContext(m_db.ContextID()).CreateCollection(100)).ID();
  }
  void TearDown() override { m_db.Close(); }
  QORSimCSetID Set(std::vector<int> ords) {
    return QORSimCollection(m_dofs).CreateOrderedCSet(ords.data(), static_cast<int>(ords.size()));
  }
  QORSimDatabase m_db;
  QORSimCollectionID m_dofs;
};

}  // namespace sparse_test
