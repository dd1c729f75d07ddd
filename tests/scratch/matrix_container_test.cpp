// The matrix container: its file, keyed matrices with their ordinals and blocking, and its fatal texts.
#include <cstdio>
#include <fstream>
#include <new>

#include "QORMtxCoreModuleC.h"
#include "QORMtxMatrixContainer.h"
#include "scratch_test_util.h"

namespace {

using scratch_test::Put;

class MatrixContainer : public scratch_test::ScratchTest {};

std::string FileName(const void* container) {
  char name[64];
  std::snprintf(name, sizeof name, "QORMtxMatrixContainer%p.sim", container);
  return name;
}

TEST_F(MatrixContainer, KeysHoldMatricesInOneFileThatGoesWithTheContainer) {
  // A stale file of the name the container will take is replaced by a fresh database.
  alignas(QORMtxMatrixContainer) unsigned char place[sizeof(QORMtxMatrixContainer)] = {};
  std::ofstream(TempDir() + FileName(place)) << "stale";
  auto* container = new (place) QORMtxMatrixContainer();
  auto* other = new QORMtxMatrixContainer();
  EXPECT_EQ(Files(), (std::vector<std::string>{std::min(FileName(place), FileName(other)),
                                               std::max(FileName(place), FileName(other))}));
  EXPECT_EQ(container->FileName().str(), TempDir() + FileName(place));

  const int rowOrds[] = {9, 4, 7};
  QORMtxDenseMatrix& a = container->Create(1, 3, 2, rowOrds, nullptr, 2, 5);
  QORMtxDenseMatrix& b = container->Create(2, 4, 5, 3, 2);
  QORMtxDenseMatrix& c = other->Create(1, 2, 2, 1, 1);
  EXPECT_EQ(store_test::Members(a.RowCSetID()), (std::vector<int>{9, 4, 7}));
  EXPECT_EQ(store_test::Members(a.ColumnCSetID()), (std::vector<int>{0, 1}));
  EXPECT_EQ(a.NumberOfColumnsInBlock(0), 2);  // cut to the matrix
  EXPECT_EQ(b.NumberOfRowsInBlock(0), 3);
  EXPECT_EQ(b.NumberOfColumnsInBlock(0), 2);
  const ref::Dense va = ref::Random(3, 2, 1), vb = ref::Random(4, 5, 2), vc = ref::Random(2, 2, 3);
  Put(a, va);
  Put(b, vb);
  Put(c, vc);
  EXPECT_EQ(&container->Get(2), &b);
  EXPECT_TRUE(container->IsMember(1) && container->IsMember(2) && !container->IsMember(3));

  // The unmangled view of the same: shapes and the values column by column.
  const int key = 1;
  EXPECT_EQ(qormtxmatrixcontainernumrows(container, &key), 3);
  EXPECT_EQ(qormtxmatrixcontainernumcolumns(container, &key), 2);
  std::vector<double> values(7, -1.0);
  qormtxmatrixcontainergetvalues(container, &key, values.data());
  std::vector<double> want = va.a;
  want.push_back(-1.0);
  EXPECT_EQ(values, want);
  EXPECT_EQ(ref::Load(c).a, vc.a);

  container->Remove(1);
  EXPECT_FALSE(container->IsMember(1));
  EXPECT_EQ(ref::Load(container->Get(2)).a, vb.a);
  container->~QORMtxMatrixContainer();
  EXPECT_EQ(Files(), std::vector<std::string>{FileName(other)});
  qormtxmatrixcontainerdelete(other);
  qormtxmatrixcontainerdelete(nullptr);
  EXPECT_EQ(Files(), std::vector<std::string>{});
}

TEST_F(MatrixContainer, MisuseEndsThroughTheFatalErrorRoutine) {
  QORMtxMatrixContainer* container = qormtxmatrixcontainercreate();
  ASSERT_NE(container, nullptr);
  container->Create(5, 2, 2, 1, 1);
  EXPECT_QORMTX_PRL_ASSERTION(container->Create(5, 3, 3, 1, 1), "status");
  EXPECT_QORMTX_PRL_ASSERTION(container->Create(1, 3, 2, 0, 4), "rowBlockSize > 0 && colBlockSize > 0");
  EXPECT_QORMTX_PRL_ASSERTION(container->Create(1, 0, 2, 1, 1), "nRow > 0 && nCol > 0");
  EXPECT_QORMTX_PRL_ASSERTION(container->Remove(6), "m_matrices.Remove(key)");
  const int missing = 6;
  EXPECT_QORMTX_PRL_ASSERTION(qormtxmatrixcontainernumrows(container, &missing), "matrix");
  qormtxmatrixcontainerdelete(container);
}

TEST_F(MatrixContainer, NormalProcessEndRemovesALiveContainersFile) {
  EXPECT_EXIT(
      {
        qormtxmatrixcontainercreate()->Create(1, 2, 2, 1, 1);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
