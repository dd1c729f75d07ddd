// Sparse matrices in data-store drawers: written, kept across close and reopen, read back by Import and by the
// data-store constructor with their domain; the preconditions' texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../sparse/sparse_test_util.h"
#include "QORSim.h"
#include "qormtx_death.h"

namespace {

using sparse_test::RawDense;

class FilesStore : public ::testing::Test {
 protected:
  void SetUp() override { path = (std::filesystem::path(::testing::TempDir()) / "files_store.sim").string(); }
  void TearDown() override { std::filesystem::remove(path); }
  std::string path;
};

QORSimCSetID Whole(const QORSimCollectionID& c) { return QORSimCollection(c).BiggestCSetID(); }

// Symmetric storage 3 x 3 and unsymmetric 2 x 3 (an empty row included), as the file tests use them.
void Make(QORMtxSparseMatrix& A, bool symmetric) {
  A.Reset(symmetric ? 3 : 2, 3);
  if (symmetric) {
    for (int i = 0; i < 3; ++i) A.AddData(i, i, i + 1.0, false);
    A.AddData(1, 0, 5.0, false);
    A.AddData(2, 1, -0.5, false);
  } else {
    A.AddData(0, 0, 1.0, false);
    A.AddData(0, 2, -2.0, false);
  }
  A.EndAssembly(symmetric);
}

TEST_F(FilesStore, DrawersRoundTripAcrossReopenWithTheirDomain) {
  QORMtxSparseMatrix S, U;
  Make(S, true);
  Make(U, false);
  {
    QORSimDatabase db;
    db.Create(path.c_str());
    QORSimContext ctx(db.ContextID());
    for (const QORMtxSparseMatrix* A : {&S, &U}) {
      const QORSimCollectionID rows = ctx.CreateCollection(A->NumberOfRows()), cols = ctx.CreateCollection(3);
      const QORSimDistributionID id =
          ctx.CreateDistribution(QORSimGrid{rows, cols}, QORSimRangeType(QORSimDoubleKey));
      A->Export(Whole(rows), Whole(cols), id);
    }
    db.Close();
  }
  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  const QORSimArray<QORSimDistributionID> dists = QORSimContext(db.ContextID()).Distributions();
  ASSERT_EQ(dists.Size(), 2);
  for (int k = 0; k < 2; ++k) {
    const QORMtxSparseMatrix& A = k == 0 ? S : U;
    QORMtxSparseMatrix fromCtor(dists[k]), imported(5, 5);
    imported.Import(dists[k]);
    for (const QORMtxSparseMatrix* B : {&fromCtor, &imported}) {
      SCOPED_TRACE(k);
      EXPECT_EQ(B->Diagonal() != nullptr, k == 0);
      EXPECT_TRUE(B->CheckInvariants());
      EXPECT_EQ(RawDense(*B).a, RawDense(A).a);
      EXPECT_EQ(QORSimCSet(B->RowCSetID()).Size(), A.NumberOfRows());
      EXPECT_EQ(QORSimCSet(B->ColumnCSetID()).Size(), 3);
    }
    EXPECT_EQ(sparse_test::Peer::SymFlag(fromCtor), k == 0 ? 1 : 0);
  }
  EXPECT_TRUE(QORMtxSparseMatrix(QORSimDistributionID()).IsNull());
}

TEST_F(FilesStore, PreconditionsAreFatalWithTheirTexts) {
  QORMtxSparseMatrix S;
  Make(S, true);
  QORSimDatabase db;
  db.Create(path.c_str());
  QORSimContext ctx(db.ContextID());
  const QORSimCollectionID three = ctx.CreateCollection(3), two = ctx.CreateCollection(2), cols = ctx.CreateCollection(3);
  const QORSimDistributionID id = ctx.CreateDistribution(QORSimGrid{three, cols}, QORSimRangeType(QORSimDoubleKey));
  EXPECT_QORMTX_ASSERTION(S.Export(Whole(two), Whole(cols), id), "QORSimCSet(rowSetID).Size() == numRows");
  S.Export(Whole(three), Whole(cols), id);
  S.Export(Whole(three), Whole(cols), id);
  QORMtxSparseMatrix A;
  EXPECT_QORMTX_ASSERTION(A.Import(id), "distribution.NumDrawers() == 1");
}

}  // namespace
