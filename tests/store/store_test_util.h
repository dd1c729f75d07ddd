// Helpers of the data-store tests: a temporary directory per test, one-line transfers and a plain reference model.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "QORSim.h"
#include "qormtx_reference.h"
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

 public:
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

 private:
  std::filesystem::path m_dir;
};

/// A distinct value for every (row, column) of a matrix, exact in binary.
inline double Value(int row, int col, int salt = 0) { return row * 1024.0 + col + 0.25 + salt * 1048576.0; }

/// The statement must end the process with status 1 and the literal text (the store's validation failures).
#define EXPECT_STORE_FAILURE(statement, text) \
  EXPECT_EXIT(statement, ::testing::ExitedWithCode(1), qormtx_test::Literal(std::string(text)))

/// One transfer dimension: a set, or positions first … last of the drawer's set over a collection.
using Dim = QORSimSpan;
inline Dim Range(const QORSimCollectionID& c, int first, int last) { return QORSimSpan::Range(c, first, last); }

inline void SetDims(QORSimTransfer& t, const std::vector<Dim>& dims) {
  QORSimSpanTransfer::SetDims(t, dims.data(), static_cast<int>(dims.size()));
}

/// Checks the view and that the transfer needs exactly the given bytes, then reads or writes them.
inline void ExecBytes(QORSimTransfer& t, void* data, uint64_t bytes, bool write) {
  t.CheckView();
  EXPECT_EQ(t.RequiredBufferSize(0), bytes);
  t.SetBuffer(data, bytes);
  if (write)
    t.ExecWrite();
  else
    t.ExecRead();
  t.RelinquishBuffers();
}
template <typename Vector>
void Exec(QORSimTransfer& t, Vector& v, bool write) {
  ExecBytes(t, v.data(), v.size() * sizeof(v[0]), write);
}

/// Reads or writes the bytes (packed tightly, last dimension fastest) over the dimensions, in that order.
inline void MoveBytes(const QORSimDistributionID& id, const std::vector<Dim>& dims, void* data, uint64_t bytes,
                      bool write) {
  QORSimSpanTransfer t(id, write, dims.data(), static_cast<int>(dims.size()));
  EXPECT_EQ(t.RequiredBytes(), bytes);
  t.Execute(data, bytes);
}
template <typename Vector>
void Move(const QORSimDistributionID& id, const std::vector<Dim>& dims, Vector& v, bool write) {
  MoveBytes(id, dims, v.data(), v.size() * sizeof(v[0]), write);
}

/// Makes the first drawer over the sets (chunked when chunks is not empty); fills it with the bytes, or, without
/// them, lets it start at init.
inline void MakeDrawer(const QORSimDistributionID& id, const std::vector<Dim>& sets, const QORSimArray<int>& chunks,
                       void* data = nullptr, uint64_t bytes = 0, double init = 0.0, int extendable = -1) {
  QORSimTransfer t{QORSimDistribution(id)};
  if (chunks.Size())
    t.SetMakeNewDrawerChunked(chunks);
  else
    t.SetMakeNewDrawer();
  if (extendable >= 0) t.SetExtendableDim(extendable);
  t.SetWrite();
  t.SetBufferPadding(false);
  SetDims(t, sets);
  t.SetInitializationValue(init);
  if (data) return ExecBytes(t, data, bytes, true);
  t.CheckView();
  t.InitializePersistentDrawer();
}

/// The biggest set of a collection: a drawer dimension over all its members.
inline QORSimCSetID Whole(const QORSimCollectionID& c) { return QORSimCollection(c).BiggestCSetID(); }

/// Reads a drawer's whole compartment, count values packed tightly.
template <typename T = double>
std::vector<T> ReadDrawer(const QORSimDistributionID& id, size_t count) {
  std::vector<T> v(count);
  const QORSimArray<QORSimCSetID> sets = QORSimDistribution(id).QueryDrawers()[0].Compartment().Sets();
  Move(id, std::vector<Dim>(sets.begin(), sets.end()), v, false);
  return v;
}

/// Grows the drawer's extendable dimension by the members of added; returns the drawer as it now stands.
inline QORSimDrawerDescription Grow(const QORSimDistributionID& id, const QORSimCSetID& added) {
  QORSimTransfer t{QORSimDistribution(id)};
  t.SetRead();
  t.SetWrite();
  t.SetDimExtension(added);
  t.CheckView();
  t.InitializeExtension();
  return QORSimDistribution(id).QueryDrawers()[0];
}

/// A matrix distribution as the library makes them: dimension 0 over the columns, dimension 1 over the rows.
struct StoredMatrix {
  QORSimCollectionID rows, cols;
  QORSimDistributionID id;
};

/// Makes a rows × cols double matrix in context, chunked rowChunk × colChunk (0 for unchunked), initial value init.
inline StoredMatrix MakeMatrix(const QORSimContextID& context, int numRows, int numCols, int rowChunk, int colChunk,
                               double init = 0.0, bool extendable = false) {
  QORSimContext ctx(context);
  StoredMatrix m{ctx.CreateCollection(numRows), ctx.CreateCollection(numCols), {}};
  m.id = ctx.CreateDistribution(QORSimGrid{m.cols, m.rows}, QORSimRangeType(QORSimDoubleKey));
  MakeDrawer(m.id, {Whole(m.cols), Whole(m.rows)},
             rowChunk > 0 ? QORSimArray<int>{colChunk, rowChunk} : QORSimArray<int>{}, nullptr, 0, init,
             extendable ? 0 : -1);
  return m;
}

/// The same stored matrix as seen from another open database on its file.
inline StoredMatrix Rebind(const StoredMatrix& m, const QORSimContextID& context) {
  const QORSimDistributionID id(context, m.id.Number());
  return {QORSimDistribution(id).Grid().CollectionID(1), QORSimDistribution(id).Grid().CollectionID(0), id};
}

/// Reads or writes rows r0 … r1 and columns c0 … c1 by range; transposed packs the block by rows instead of columns.
inline void RangeTransfer(const StoredMatrix& m, int r0, int r1, int c0, int c1, double* buf, bool write,
                          bool transposed = false) {
  const Dim cols = Range(m.cols, c0, c1), rows = Range(m.rows, r0, r1);
  MoveBytes(m.id, transposed ? std::vector<Dim>{rows, cols} : std::vector<Dim>{cols, rows}, buf,
            8ull * (r1 - r0 + 1) * (c1 - c0 + 1), write);
}

/// The reference: a column-major array of the whole matrix.
using Reference = ref::Dense;

/// Writes a block of fresh values (packed by columns, or by rows) and records it in the reference.
inline void WriteBlock(const StoredMatrix& m, Reference& ref, int r0, int r1, int c0, int c1, int salt,
                       bool transposed = false) {
  const int h = r1 - r0 + 1, w = c1 - c0 + 1;
  std::vector<double> buf(static_cast<size_t>(h) * w);
  for (int j = 0; j < w; ++j)
    for (int i = 0; i < h; ++i)
      buf[transposed ? static_cast<size_t>(i) * w + j : static_cast<size_t>(j) * h + i] = ref(r0 + i, c0 + j) =
          Value(r0 + i, c0 + j, salt);
  RangeTransfer(m, r0, r1, c0, c1, buf.data(), true, transposed);
}

/// The members of a set, in set order.
inline std::vector<int> Members(const QORSimCSetID& id) {
  QORSimCSet set(id);
  std::vector<int> out(static_cast<size_t>(set.Size()));
  if (!out.empty()) set.OrderedMembers(out.data());
  return out;
}

/// Compressed rows of a dense row-major reference (only the upper triangle and a separate diagonal when symmetric).
struct Csr {
  int rows, cols;
  std::vector<int> starts, columns;
  std::vector<double> values, diagonal;
  Csr(int r, int c, const std::vector<double>& dense, bool symmetric, int base) : rows(r), cols(c) {
    starts.push_back(base);
    for (int i = 0; i < r; ++i) {
      for (int j = symmetric ? i : 0; j < c; ++j) {
        const double v = dense[static_cast<size_t>(i) * c + j];
        if (symmetric && j == i) {
          diagonal.push_back(v);
        } else if (v != 0.0) {
          columns.push_back(j + base);
          values.push_back(v);
        }
      }
      starts.push_back(base + static_cast<int>(values.size()));
    }
  }
  uint64_t Bytes(int slot) const {
    return slot == QORSimbufMain        ? 8 * values.size()
           : slot == QORSimbufIndicesNZ ? 4 * columns.size()
           : slot == QORSimbufSparseMap ? 4 * starts.size()
                                        : 8 * diagonal.size();
  }
  void* Buffer(int slot) {
    return slot == QORSimbufMain        ? static_cast<void*>(values.data())
           : slot == QORSimbufIndicesNZ ? static_cast<void*>(columns.data())
           : slot == QORSimbufSparseMap ? static_cast<void*>(starts.data())
                                        : static_cast<void*>(diagonal.data());
  }
  bool operator==(const Csr& o) const {
    return starts == o.starts && columns == o.columns && values == o.values && diagonal == o.diagonal;
  }
};

inline QORSimSerializationType SparseKind(bool symmetric) {
  QORSimSerializationType t;
  symmetric ? t.SetSparseSymmetric() : t.SetSparse();
  return t;
}

/// One whole sparse-drawer transfer: a new drawer written from m, or the existing one read into m (same sizes).
inline void SparseTransfer(const QORSimDistributionID& id, const std::vector<QORSimCSetID>& sets, Csr& m,
                           bool symmetric, bool makeNew) {
  QORSimTransfer t{QORSimDistribution(id)};
  makeNew ? t.SetWrite() : t.SetRead();
  if (makeNew) t.SetMakeNewDrawer();
  t.SetBufferPadding(false);
  t.SetSparseNNonzero(static_cast<int64_t>(m.values.size()));
  for (size_t d = 0; d < sets.size(); ++d) t.SetDim(static_cast<int>(d), sets[d]);
  t.SetSerialization(SparseKind(symmetric));
  t.CheckView();
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(t.RequiredBufferSize(slot), m.Bytes(slot)) << "slot " << slot;
    t.SetBuffer(slot, m.Buffer(slot), m.Bytes(slot));
  }
  makeNew ? t.ExecWrite() : t.ExecRead();
  t.RelinquishBuffers();
}

}  // namespace store_test
