// Module lifecycle: order of the dependent modules, tallies and the shared use count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QORDependentModules.h"
#include "QORMtxCoreModule.h"
#include "QORMtxCoreModuleC.h"

namespace {

std::vector<std::string> g_calls;
void Trace(const char* module, bool init) { g_calls.push_back(std::string(init ? "+" : "-") + module); }

// Takes the load-time initialisation away for the duration of a test and puts it back after.
class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QORMtxCoreModule_Counts().moduleUse, 1) << "the load hook should have initialised the module once";
    QORMtxCoreModule_LoaderNotify(QORMTX_PROCESS_DETACH);
    ASSERT_EQ(QORMtxCoreModule_Counts().moduleUse, 0);
    g_calls.clear();
    QORDependentModules_SetTrace(Trace);
  }
  void TearDown() override {
    QORDependentModules_SetTrace(nullptr);
    QORMtxCoreModule_LoaderNotify(QORMTX_PROCESS_ATTACH);
  }
};

TEST_F(LifecycleTest, FirstInitialiseRunsChainInOrderAndLastFinaliseUndoesIt) {
  EXPECT_EQ(QORMtxCoreModule_LoaderNotify(QORMTX_THREAD_ATTACH), 1);  // thread notices change nothing
  EXPECT_EQ(QORMtxCoreModule_LoaderNotify(QORMTX_THREAD_DETACH), 1);
  EXPECT_TRUE(g_calls.empty());
  const std::vector<std::string> order = {"QORBlaModule",     "QORFsmShared",     "QORSrvBasic",
                                          "QORSimInterface",  "QORSimContainers", "QORBasShared",
                                          "QORBasCoreUtils",  "QORBasGenericsLib", "QORBasAlloc"};
  std::vector<std::string> up, down;
  for (const std::string& m : order) up.push_back("+" + m);
  for (auto it = order.rbegin(); it != order.rend(); ++it) down.push_back("-" + *it);
  int t = 0;
  QORMtxCoreModule_initialize(t);
  EXPECT_EQ(g_calls, up);
  EXPECT_EQ(t, 3 + 9);  // module, component, specific part, nine dependents
  g_calls.clear();
  QORMtxCoreModule_initialize(t);
  QORMtxCoreModule_finalize(t);  // one user remains
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(t, 12);
  QORMtxCoreModule_finalize(t);
  EXPECT_EQ(g_calls, down);
  EXPECT_EQ(t, 0);
  const QORMtxCoreModuleCounts c = QORMtxCoreModule_Counts();
  EXPECT_TRUE(c.component == 0 && c.specific == 0 && QORDependentModules_UseCount("QORBlaModule") == 0);
}

TEST_F(LifecycleTest, SpecificInitialiseFirstIsNotCountedTwice) {
  int s = 0, t = 0;
  QORMtxCoreModule_specific_initialize(s);
  QORMtxCoreModule_initialize(t);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(t, 2 + 9);  // module and component only
  QORMtxCoreModule_finalize(t);
  EXPECT_EQ(t, 0);  // the specific part stays up for its own caller: not counted down here
  QORMtxCoreModule_specific_finalize(s);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(QORMtxCoreModule_Counts().specific, 0);
}

TEST_F(LifecycleTest, ChainsShareOneUseCountButKeepTheirOwnTallies) {
  int t = 0;
  QORMtxCoreModule_initializeC();
  QORMtxCoreModule_initialize(t);
  EXPECT_EQ(QORMtxCoreModule_Counts().cTally, 12);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(QORMtxCoreModule_Counts().moduleUse, 2);
  QORMtxCoreModule_finalizeC();  // the C chain lets go first: nothing is torn down
  EXPECT_EQ(QORMtxCoreModule_Counts().cTally, 12);
  QORMtxCoreModule_finalize(t);
  EXPECT_EQ(t, -12);  // the last finalisation is counted against the tally that made it
  EXPECT_EQ(QORMtxCoreModule_Counts().moduleUse, 0);
}

}  // namespace
