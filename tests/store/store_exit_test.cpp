// A database still open when the process exits is closed on the way out: what was written stays.
#include <cstdlib>

#include "store_test_util.h"

namespace {

using store_test::StoredMatrix;

class StoreExitTest : public store_test::StoreTest {};

TEST_F(StoreExitTest, DatabaseLeftOpenAtExitKeepsItsValues) {
  const std::string path = Path("left-open.sim");
  store_test::Reference ref(40, 30);
  for (int j = 0; j < 30; ++j)
    for (int i = 0; i < 40; ++i) ref(i, j) = store_test::Value(i, j);

  // The child writes and exits with the database open, held by a static object as hosts often do.
  EXPECT_EXIT(
      {
        static QORSimDatabase db;
        db.Create(path.c_str());
        const StoredMatrix m = store_test::MakeMatrix(db.ContextID(), 40, 30, 16, 8);
        store_test::Reference values = ref;
        store_test::RangeTransfer(m, 0, 39, 0, 29, values.a.data(), true);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");

  QORSimDatabase db;
  db.Open(path.c_str(), QORSimDatabase::ReadOnly);
  StoredMatrix m;
  m.id = QORSimContext(db.ContextID()).Distributions()[0];
  m.cols = QORSimDistribution(m.id).Grid().CollectionID(0);
  m.rows = QORSimDistribution(m.id).Grid().CollectionID(1);
  store_test::Reference back(40, 30, -1.0);
  store_test::RangeTransfer(m, 0, 39, 0, 29, back.a.data(), false);
  EXPECT_EQ(back.a, ref.a);
}

}  // namespace
