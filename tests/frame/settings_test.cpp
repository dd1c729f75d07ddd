// Runtime settings, buffer sizing, formatters, timing prints and the fatal report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "QORBasMemInfo.h"
#include "QORMtxTime.h"
#include "QORMtxTimer.h"
#include "QORMtxUtilities.h"
#include "qormtx_death.h"

namespace {

using U = QORMtxUtilities;

class PhysicalMemory {  // pins the reported machine size for one test
 public:
  explicit PhysicalMemory(uint64_t mb) { QORBasMemInfo::SetPhysicalOverride(mb); }
  ~PhysicalMemory() { QORBasMemInfo::SetPhysicalOverride(0); }
};

TEST(Settings, BufferSizingAndChunkLimits) {
  {
    PhysicalMemory mem(65536);
    EXPECT_EQ(U::MaxDoublesInBuffer(0.25), 2147483647);  // 2^31 doubles: capped
    EXPECT_EQ(U::MaxDoublesInBuffer(0.1), 858993459);
    EXPECT_EQ(U::MaxDoublesInBuffer(1.0, 0.25), 134217728);
    // Out-of-range maxGb and factor are capped at 16 GB and one half.
    EXPECT_EQ(U::MaxDoublesInBuffer(100.0, 0.9), U::MaxDoublesInBuffer(16.0, 0.5));
  }
  PhysicalMemory mem(1024);  // 1 GB: 134 217 728 doubles in all
  // 0.01 of memory = 1 342 177 doubles; 1000 per unit -> 1342 units -> lowered to a multiple of 100.
  EXPECT_EQ(U::BufferBlockSize(16.0, 0.01, 100, 5000, 1000), 1300);
  EXPECT_EQ(U::BufferBlockSize(16.0, 0.01, 100, 1342, 1000), 1342);   // n == maxBlock
  EXPECT_EQ(U::BufferBlockSize(16.0, 0.01, 2000, 5000, 1000), 2000);  // below minBlock
  EXPECT_EQ(U::BufferBlockSize(1e-6, 0.5, 1, 5000, 1), 134);          // the gigabyte cap wins

  int r = 1 << 30, c = 1 << 30;
  U::LimitChunkSize2GB(r, c, 1000, 1);
  EXPECT_TRUE(r == 268435456 && c == 268435) << r << " " << c;  // one column never lowers rows below 2^28
  r = 10, c = 20;
  U::LimitChunkSize2GB(r, c, 1000, 1000);
  EXPECT_TRUE(r == 10 && c == 20) << r << " " << c;
}

TEST(Settings, Formatters) {
  char buf[64];
  EXPECT_STREQ(U::DoubleToChar(1.5, buf, 1e-30, 3), " 1.500e+00");
  EXPECT_STREQ(U::DoubleToChar(-1.5e-7, buf, 1e-30, 3), "-1.500e-07");
  EXPECT_STREQ(U::DoubleToChar(1e-40, buf, 1e-30, 3), " 0.0      ");
  EXPECT_STREQ(U::DoubleToChar(2.5e200, buf, 0.0, 2), " 2.50e+200");
  EXPECT_STREQ(U::DoubleToGfmt(12.0, buf, 0.0, 6), "12.0");
  EXPECT_STREQ(U::DoubleToGfmt(0.0, buf, 0.0, 6), "0.0");
  EXPECT_STREQ(U::DoubleToGfmt(1e20, buf, 0.0, 6), "1e+20");
  EXPECT_STREQ(U::DoubleToGfmt(0.125, buf, 0.0, 6), "0.125");
  EXPECT_STREQ(U::DoubleToGfmt(1e-9, buf, 1e-9, 6), "0.0");  // tolerance is inclusive
}

int g_hookCalls = 0;

TEST(Settings, AllocationHooks) {
  U::SetAllocator([](size_t n) {
    ++g_hookCalls;
    return std::malloc(n);
  });
  U::SetDeallocator([](void* p) {
    ++g_hookCalls;
    std::free(p);
  });
  EXPECT_EQ(U::AllocateDouble(0), nullptr);  // no call for nothing
  double* p = U::AllocateDouble(10);
  p[9] = 1.0;
  U::Deallocate(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(g_hookCalls, 2);
  U::SetAllocator(nullptr);
  U::SetDeallocator(nullptr);
  U::Deallocate(p);  // null is passed on and stays null
  EXPECT_EQ(p, nullptr);
  EXPECT_THROW(U::AllocateDouble(size_t(1) << 62), std::bad_alloc);
}

TEST(Settings, TimesAccumulateAndPrintOnlyWithDebug) {
  QORMtxTime t(3.0, 1.0, 0.5);
  t += QORMtxTime(1.0, 0.25, 0.25);
  testing::internal::CaptureStderr();
  t.Print("quiet");
  U::SetDebug(true);
  t.Print("loud");
  U::SetDebug(false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "loud QORMtxTime: wall=    4.00 cpu=    2.00 user=    1.25 sys=    0.75\n");
  EXPECT_DOUBLE_EQ(t.other, 2.0);
}

TEST(SettingsDeathTest, Preconditions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_QORMTX_ASSERTION(U::MaxDoublesInBuffer(0.5), "factor > 0.0 && factor < 0.5");
  EXPECT_QORMTX_ASSERTION(U::MaxDoublesInBuffer(1.0, 0.0), "factor > 0 && maxGb > 0");
  int r = 1, c = 1;
  EXPECT_QORMTX_ASSERTION(U::LimitChunkSize2GB(r, c, 0, 5),
                          "nRow > 0 && nCol > 0 && nRow <= maxDoubles && nCol <= maxDoubles");
  EXPECT_DEATH(U::ReportAndAbort("x > 1", "QORMtx/QORMtxCore.m/src/Foo.cpp", 42),
               "Assertion failed: x > 1\nFile QORMtx/QORMtxCore.m/src/Foo.cpp, line 42\n");
  QORMtxTimer t;
  EXPECT_QORMTX_ASSERTION(t.Stop(), "m_started");
  t.Start();
  EXPECT_DEATH(t.Start(), "Assertion failed: !m_started\nFile QORMtx/QORMtxCore.m/src/QORMtxTimer.cpp, line [0-9]+");
  EXPECT_GE(t.Stop().wall, 0.0);
  t.Start();  // a stopped timer starts again
  t.Stop();
}

}  // namespace
