// Helpers of the data-store tests: a temporary directory per test and a plain reference model of a drawer.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "QORSim.h"
#include "qormtx_death.h"

namespace store_test {

/// A fixture with its own directory under the test temp dir, removed afterwards.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = std::filesystem::path(::testing::TempDir()) /
            (std::string("qorsim_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

 private:
  std::filesystem::path m_dir;
};

/// A distinct value for every (row, column) of a matrix, exact in binary.
inline double Value(int row, int col, int salt = 0) { return row * 1024.0 + col + 0.25 + salt * 1048576.0; }

/// A matrix distribution as the library makes them: dimension 0 over the columns, dimension 1 over the rows.
struct StoredMatrix {
  QORSimCollectionID rows, cols;
  QORSimCSetID rowSet, colSet;
  QORSimDistributionID id;
  int numRows = 0, numCols = 0;
};

/// Makes a rows × cols double matrix in context, chunked rowChunk × colChunk (0 for unchunked), initial value init.
inline StoredMatrix MakeMatrix(const QORSimContextID& context, int numRows, int numCols, int rowChunk, int colChunk,
                               double init = 0.0, bool extendable = false) {
  QORSimContext ctx(context);
  StoredMatrix m;
  m.numRows = numRows;
  m.numCols = numCols;
  m.rows = ctx.CreateCollection(numRows);
  m.cols = ctx.CreateCollection(numCols);
  m.rowSet = QORSimCollection(m.rows).BiggestCSetID();
  m.colSet = QORSimCollection(m.cols).BiggestCSetID();
  m.id = ctx.CreateDistribution(QORSimGrid{m.cols, m.rows}, QORSimRangeType(QORSimDoubleKey));
  QORSimTransfer t{QORSimDistribution(m.id)};
  if (rowChunk > 0)
    t.SetMakeNewDrawerChunked({colChunk, rowChunk});
  else
    t.SetMakeNewDrawer();
  if (extendable) t.SetExtendableDim(0);
  t.SetWrite();
  t.SetDim(0, m.colSet);
  t.SetDim(1, m.rowSet);
  t.SetInitializationValue(init);
  t.CheckView();
  t.InitializePersistentDrawer();
  return m;
}

/// Reads or writes rows r0 … r1 and columns c0 … c1 by range; transposed packs the block by rows instead of columns.
inline void RangeTransfer(const StoredMatrix& m, int r0, int r1, int c0, int c1, double* buf, bool write,
                          bool transposed = false) {
  QORSimTransfer t{QORSimDistribution(m.id)};
  if (write)
    t.SetWrite();
  else
    t.SetRead();
  t.SetBufferPadding(false);
  t.SetDimOrdinalRange(transposed ? 1 : 0, m.cols, c0, c1);
  t.SetDimOrdinalRange(transposed ? 0 : 1, m.rows, r0, r1);
  t.CheckView();
  const uint64_t bytes = t.RequiredBufferSize(0);
  EXPECT_EQ(bytes, 8ull * (r1 - r0 + 1) * (c1 - c0 + 1));
  t.SetBuffer(buf, bytes);
  if (write)
    t.ExecWrite();
  else
    t.ExecRead();
  t.RelinquishBuffers();
}

/// Checks the view and that the transfer needs exactly all of v, then reads or writes it.
template <typename Vector>
void Exec(QORSimTransfer& t, Vector& v, bool write) {
  t.CheckView();
  const uint64_t bytes = v.size() * sizeof(v[0]);
  EXPECT_EQ(t.RequiredBufferSize(0), bytes);
  t.SetBuffer(v.data(), bytes);
  if (write)
    t.ExecWrite();
  else
    t.ExecRead();
}

/// The reference: a column-major array of the whole matrix.
struct Reference {
  int numRows, numCols;
  std::vector<double> a;
  Reference(int r, int c, double init = 0.0) : numRows(r), numCols(c), a(static_cast<size_t>(r) * c, init) {}
  double& operator()(int i, int j) { return a[static_cast<size_t>(j) * numRows + i]; }
  double operator()(int i, int j) const { return a[static_cast<size_t>(j) * numRows + i]; }
};

}  // namespace store_test
