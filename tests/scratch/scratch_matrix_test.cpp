// Scratch dense matrices: their files (name, place, removal with the last holder and at exit), geometry, caller
// sets and the handle's misuse reports.
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "QORMtxScratchDenseMatrix.h"
#include "scratch_test_util.h"

namespace {

using scratch_test::Put;
using store_test::Members;

// Caller sets live in a database of their own, in memory, so that only scratch files reach the directory.
class ScratchMatrix : public scratch_test::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    m_caller.CreateInMemory("caller");
  }
  void TearDown() override {
    m_caller.Close();
    ScratchTest::TearDown();
  }
  QORSimCSetID CallerSet(const std::vector<int>& ordinals) {
    QORSimCollection coll(QORSimContext(m_caller.ContextID()).CreateCollection(200));
    return coll.CreateOrderedCSet(ordinals.data(), static_cast<int>(ordinals.size()));
  }
  QORSimDatabase m_caller;
};

std::string ExpectedName(const void* matrix, int tag) {
  char name[96];
  std::snprintf(name, sizeof name, "QORMtxScratchDenseMatrix%p%d.sim", matrix, tag);
  return name;
}

TEST_F(ScratchMatrix, EveryConstructorMakesItsFileShapeAndSetsAndTransposeSwapsThem) {
  const std::vector<int> r3{2, 4, 6}, c2{1, 0}, r4{7, 3, 9, 1}, c3{0, 1, 2}, r5{0, 1, 2, 3, 4};
  const QORSimCSetID rowSet = CallerSet({150, 5, 17}), colSet = CallerSet({42, 199});
  const QORBasVector<int> vr3(r3.begin(), r3.end()), vc2(c2.begin(), c2.end());
  struct Case {
    const char* name;
    std::function<QORMtxScratchDenseMatrix*()> make;
    int tag, rowBlock, colBlock;
    std::vector<int> rowOrdinals, colOrdinals;
    QORSimCSetID userRows, userCols;
  };
  const Case cases[] = {
      {"counts", [] { return new QORMtxScratchDenseMatrix(5, 3, 2, 2); }, 0, 2, 2, r5, c3, {}, {}},
      // Blocks larger than the matrix are cut to it.
      {"ordinal arrays", [&] { return new QORMtxScratchDenseMatrix(4, 3, r4.data(), nullptr, 10, 10); }, 0, 4, 3, r4,
       c3, {}, {}},
      {"vectors and tag", [&] { return new QORMtxScratchDenseMatrix(vr3, vc2, 2, 1, 7); }, 7, 2, 1, r3, c2, {}, {}},
      {"vector, column set", [&] { return new QORMtxScratchDenseMatrix(vr3, colSet, 2, 2); }, 0, 2, 2, r3,
       {42, 199}, {}, colSet},
      {"row set, vector", [&] { return new QORMtxScratchDenseMatrix(rowSet, vc2, 1, 5); }, 0, 1, 2, {150, 5, 17}, c2,
       rowSet, {}},
      {"two sets", [&] { return new QORMtxScratchDenseMatrix(rowSet, colSet, 2, 1); }, 0, 2, 1, {150, 5, 17},
       {42, 199}, rowSet, colSet},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<QORMtxScratchDenseMatrix> m(c.make());
    const int rows = static_cast<int>(c.rowOrdinals.size()), cols = static_cast<int>(c.colOrdinals.size());
    ASSERT_EQ(Files(), std::vector<std::string>{ExpectedName(m.get(), c.tag)});
    EXPECT_EQ(m->FileHandle().Path().str(), TempDir() + ExpectedName(m.get(), c.tag));
    EXPECT_EQ(m->NumberOfRows(), rows);
    EXPECT_EQ(m->NumberOfColumns(), cols);
    EXPECT_EQ(m->NumberOfRowsInBlock(0), c.rowBlock);
    EXPECT_EQ(m->NumberOfColumnsInBlock(0), c.colBlock);
    // The matrix's own sets carry the ordinals; a caller's set is what the matrix then reports.
    EXPECT_EQ(Members(m->QORMtxDenseMatrix::RowCSetID()), c.rowOrdinals);
    EXPECT_EQ(Members(m->QORMtxDenseMatrix::ColumnCSetID()), c.colOrdinals);
    EXPECT_EQ(m->RowCSetID(), c.userRows.IsNull() ? m->QORMtxDenseMatrix::RowCSetID() : c.userRows);
    EXPECT_EQ(m->ColumnCSetID(), c.userCols.IsNull() ? m->QORMtxDenseMatrix::ColumnCSetID() : c.userCols);
    const ref::Dense values = ref::Random(rows, cols, 3);
    Put(*m, values);
    EXPECT_EQ(ref::Load(*m).a, values.a);
    const QORSimCSetID rowSet = m->RowCSetID(), colSet = m->ColumnCSetID();
    m->Transpose();  // the sets, a caller's too, change places with the values
    EXPECT_TRUE(m->RowCSetID() == colSet && m->ColumnCSetID() == rowSet);
    EXPECT_EQ(ref::Load(*m).a, ref::Transpose(values).a);
    m.reset();
    EXPECT_EQ(Files(), std::vector<std::string>{});
  }
  QORMtxScratchDenseMatrix empty;
  EXPECT_FALSE(empty.FileHandle().HasDatabase());
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

TEST_F(ScratchMatrix, ViewsAndCopiesKeepTheFileUntilTheLastGoes) {
  auto m = std::make_unique<QORMtxScratchDenseMatrix>(6, 5, 4, 2);
  const ref::Dense values = ref::Random(6, 5, 1);
  Put(*m, values);
  const std::vector<std::string> file = Files();
  ASSERT_EQ(file.size(), 1u);
  std::unique_ptr<QORMtxDenseMatrix> view(m->Submatrix(1, 4, 1, 3));
  auto copy = std::make_unique<QORMtxScratchDenseMatrix>(*m);
  EXPECT_EQ(m->FileHandle().RefCount(), 3);
  m.reset();
  copy.reset();
  EXPECT_EQ(Files(), file);
  // The view still reads the values of the matrix it was cut from.
  EXPECT_EQ(ref::Load(*view).a, values.Block(1, 4, 1, 3).a);
  auto* scratchView = dynamic_cast<QORMtxScratchDenseMatrix*>(view.get());
  ASSERT_NE(scratchView, nullptr);
  EXPECT_EQ(Members(scratchView->RowCSetID()), (std::vector<int>{1, 2, 3, 4}));
  view.reset();
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

TEST_F(ScratchMatrix, AnEmptyTemporaryDirectoryMeansTheCurrentOne) {
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(TempDir());
  QORMtxUtilities::SetTempDirectory("");
  {
    QORMtxScratchDenseMatrix m(2, 2, 1, 1);
    EXPECT_EQ(m.FileHandle().Path().str(), TempDir() + ExpectedName(&m, 0));
    EXPECT_EQ(Files().size(), 1u);
  }
  std::filesystem::current_path(cwd);
}

TEST_F(ScratchMatrix, BlocksStayBelowTheTwoGigabyteChunkLimit) {
  // Nothing is written, so no chunk is ever allocated.
  QORMtxScratchDenseMatrix m(100000, 10000, 100000, 10000);
  EXPECT_EQ(m.NumberOfRowsInBlock(0), 268435456 / 10000);
  EXPECT_EQ(m.NumberOfColumnsInBlock(0), 268435456 / 100000);
}

TEST_F(ScratchMatrix, NormalProcessEndRemovesLiveFilesOfThatProcessOnly) {
  QORMtxScratchDenseMatrix parents(2, 2, 1, 1);
  const std::vector<std::string> file = Files();
  // The child leaks a matrix of its own and exits normally: its file goes, the parent's stays.
  EXPECT_EXIT(
      {
        new QORMtxScratchDenseMatrix(3, 3, 2, 2);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(Files(), file);
}

TEST_F(ScratchMatrix, HandleMisuseIsAValidationFailure) {
  QORMtxSimFileHandle none;
  EXPECT_EXIT(none.ContextID(), ::testing::ExitedWithCode(1),
              qormtx_test::Literal("Validation failed: pointer.HasValue() && \"File Handle is not associated with a "
                                   "SIM database.\""));
  QORMtxSimFileHandle handle;
  handle.Create((TempDir() + "h.sim").c_str());
  EXPECT_FALSE(handle.ContextID().IsNull());
  EXPECT_EXIT(handle.Create((TempDir() + "h2.sim").c_str()), ::testing::ExitedWithCode(1),
              qormtx_test::Literal("Validation failed: pointer.IsNull() && \"File Handle already associated with a "
                                   "SIM database.\""));
}

}  // namespace
