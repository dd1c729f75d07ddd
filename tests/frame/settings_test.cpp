// Runtime settings, buffer sizing, formatters and the fatal report.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QORBasMemInfo.h"
#include "QORMtxTime.h"
#include "QORMtxTimer.h"
#include "QORMtxUtilities.h"
#include "qormtx_death.h"

namespace {

class PhysicalMemory {  // pins the reported machine size for one test
 public:
  explicit PhysicalMemory(uint64_t mb) { QORBasMemInfo::SetPhysicalOverride(mb); }
  ~PhysicalMemory() { QORBasMemInfo::SetPhysicalOverride(0); }
};

TEST(Settings, BufferSizingFollowsPhysicalMemory) {
  PhysicalMemory mem(65536);
  EXPECT_EQ(QORMtxUtilities::MaxDoublesInBuffer(0.25), 2147483647);  // 2^31 doubles: capped
  EXPECT_EQ(QORMtxUtilities::MaxDoublesInBuffer(0.1), 858993459);
  EXPECT_EQ(QORMtxUtilities::MaxDoublesInBuffer(1.0, 0.25), 134217728);
  // Out-of-range maxGb and factor are capped at 16 GB and one half.
  EXPECT_EQ(QORMtxUtilities::MaxDoublesInBuffer(100.0, 0.9), QORMtxUtilities::MaxDoublesInBuffer(16.0, 0.5));
}

TEST(Settings, BufferBlockSizeRoundsToMinBlock) {
  PhysicalMemory mem(1024);  // 1 GB: 134 217 728 doubles in all
  // 0.01 of memory = 1 342 177 doubles; 1000 per unit -> 1342 units -> lowered to a multiple of 100.
  EXPECT_EQ(QORMtxUtilities::BufferBlockSize(16.0, 0.01, 100, 5000, 1000), 1300);
  EXPECT_EQ(QORMtxUtilities::BufferBlockSize(16.0, 0.01, 100, 1342, 1000), 1342);  // n == maxBlock
  EXPECT_EQ(QORMtxUtilities::BufferBlockSize(16.0, 0.01, 2000, 5000, 1000), 2000);  // below minBlock
  EXPECT_EQ(QORMtxUtilities::BufferBlockSize(1e-6, 0.5, 1, 5000, 1), 134);  // the gigabyte cap wins
}

TEST(Settings, LimitChunkSize2GB) {
  int r = 1 << 30, c = 1 << 30;
  QORMtxUtilities::LimitChunkSize2GB(r, c, 1000, 1);
  EXPECT_EQ(r, 268435456);  // one column never lowers the row chunk below 2^28
  EXPECT_EQ(c, 268435);
  r = 10, c = 20;
  QORMtxUtilities::LimitChunkSize2GB(r, c, 1000, 1000);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(c, 20);
}

TEST(Settings, Formatters) {
  char buf[64];
  EXPECT_STREQ(QORMtxUtilities::DoubleToChar(1.5, buf, 1e-30, 3), " 1.500e+00");
  EXPECT_STREQ(QORMtxUtilities::DoubleToChar(-1.5e-7, buf, 1e-30, 3), "-1.500e-07");
  EXPECT_STREQ(QORMtxUtilities::DoubleToChar(1e-40, buf, 1e-30, 3), " 0.0      ");
  EXPECT_STREQ(QORMtxUtilities::DoubleToChar(2.5e200, buf, 0.0, 2), " 2.50e+200");
  EXPECT_STREQ(QORMtxUtilities::DoubleToGfmt(12.0, buf, 0.0, 6), "12.0");
  EXPECT_STREQ(QORMtxUtilities::DoubleToGfmt(0.0, buf, 0.0, 6), "0.0");
  EXPECT_STREQ(QORMtxUtilities::DoubleToGfmt(1e20, buf, 0.0, 6), "1e+20");
  EXPECT_STREQ(QORMtxUtilities::DoubleToGfmt(0.125, buf, 0.0, 6), "0.125");
  EXPECT_STREQ(QORMtxUtilities::DoubleToGfmt(1e-9, buf, 1e-9, 6), "0.0");  // tolerance is inclusive
}

int g_hookCalls = 0;
void* CountingAlloc(size_t n) { ++g_hookCalls; return std::malloc(n); }
void CountingFree(void* p) { ++g_hookCalls; std::free(p); }

TEST(Settings, AllocationHooks) {
  double* p = QORMtxUtilities::AllocateDouble(0);
  EXPECT_EQ(p, nullptr);
  QORMtxUtilities::SetAllocator(CountingAlloc);
  QORMtxUtilities::SetDeallocator(CountingFree);
  g_hookCalls = 0;
  EXPECT_EQ(QORMtxUtilities::AllocateDouble(0), nullptr);
  EXPECT_EQ(g_hookCalls, 0);
  p = QORMtxUtilities::AllocateDouble(10);
  p[9] = 1.0;
  QORMtxUtilities::Deallocate(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(g_hookCalls, 2);
  QORMtxUtilities::Deallocate(p);  // null is passed on and stays null
  EXPECT_EQ(p, nullptr);
  QORMtxUtilities::SetAllocator(nullptr);
  QORMtxUtilities::SetDeallocator(nullptr);
  EXPECT_THROW(QORMtxUtilities::AllocateDouble(size_t(1) << 62), std::bad_alloc);
}

TEST(Settings, TempDirectoryIsShared) {
  EXPECT_TRUE(QORMtxUtilities::GetTempDirectory().empty());
  cow_String dir("/tmp/qormtx");
  QORMtxUtilities::SetTempDirectory(dir);
  EXPECT_EQ(QORMtxUtilities::GetTempDirectory(), dir);
  EXPECT_GE(dir.RefCount(), 2);
  QORMtxUtilities::SetTempDirectory(cow_String());
}

TEST(Settings, TimePrintOnlyWithDebug) {
  QORMtxTime t(3.0, 1.0, 0.5);
  EXPECT_DOUBLE_EQ(t.cpu, 1.5);
  EXPECT_DOUBLE_EQ(t.other, 1.5);
  t += QORMtxTime(1.0, 0.25, 0.25);
  EXPECT_DOUBLE_EQ(t.wall, 4.0);
  EXPECT_DOUBLE_EQ(t.other, 2.0);
  testing::internal::CaptureStderr();
  t.Print("quiet");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  QORMtxUtilities::SetDebug(true);
  testing::internal::CaptureStderr();
  t.Print("loud");
  QORMtxUtilities::SetDebug(false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "loud QORMtxTime: wall=    4.00 cpu=    2.00 user=    1.25 sys=    0.75\n");
}

TEST(SettingsDeath, Preconditions) {
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::MaxDoublesInBuffer(0.5), "factor > 0.0 && factor < 0.5");
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::MaxDoublesInBuffer(1.0, 0.0), "factor > 0 && maxGb > 0");
  int r = 1, c = 1;
  EXPECT_QORMTX_ASSERTION(QORMtxUtilities::LimitChunkSize2GB(r, c, 0, 5),
                          "nRow > 0 && nCol > 0 && nRow <= maxDoubles && nCol <= maxDoubles");
  EXPECT_DEATH(QORMtxUtilities::ReportAndAbort("x > 1", "QORMtx/QORMtxCore.m/src/Foo.cpp", 42),
               "Assertion failed: x > 1\nFile QORMtx/QORMtxCore.m/src/Foo.cpp, line 42\n");
}

TEST(SettingsDeath, TimerStates) {
  EXPECT_DEATH(
      {
        QORMtxTimer t;
        t.Start();
        t.Start();
      },
      "Assertion failed: !m_started\nFile QORMtx/QORMtxCore.m/src/QORMtxTimer.cpp, line [0-9]+");
  QORMtxTimer t;
  EXPECT_QORMTX_ASSERTION(t.Stop(), "m_started");
  t.Start();
  const QORMtxTime elapsed = t.Stop();
  EXPECT_GE(elapsed.wall, 0.0);
  t.Start();  // a stopped timer starts again
  t.Stop();
}

}  // namespace
