// Base services: formatted streams, allocation, floating-point traps, file opening and paths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfenv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "QORBasAllocator.h"
#include "QORBasFileOps.h"
#include "QORBasMemAllocator.h"
#include "QORBasUtlFilePath.h"
#include "aio_ostream.h"
#include "cow_String.h"
#include "mem_Alloc.h"
#include "omn_FPE.h"

// Under AddressSanitizer an impossible allocation must fail as it does in production (null or bad_alloc), and a
// floating-point trap must arrive as SIGFPE, rather than either being turned into a sanitizer report.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:handle_sigfpe=0"; }

namespace {

std::string TempPath(const char* name) {
  return testing::TempDir() + "qormtx_platform_" + std::to_string(getpid()) + "_" + name;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AioOstream, WidthPrecisionAndFormatsFollowPrintf) {
  std::string text;
  aio_ostream out(&text);
  out.width(6);
  out << 42 << 7 << '|';  // the width applies to one item
  out.setf(aio_ostream::left);
  out.width(5);
  out << "ab" << '|';
  out.unsetf(aio_ostream::left);
  out.width(2);
  out << "long" << '|' << 0.1 << ' ' << 1e20 << ' ';  // a short width never cuts
  out.precision(3);
  out.setf(aio_ostream::scientific);
  out << 1234.5678 << ' ';
  out.flags(aio_ostream::fixed);
  out << -2.0 / 3.0 << ' ' << static_cast<unsigned long long>(UINT64_MAX) << ' ' << -5L << ' ' << true;
  EXPECT_EQ(text, "    427|ab   |long|0.1 1e+20 1.235e+03 -0.667 18446744073709551615 -5 1");

  const std::string path = TempPath("stream.txt");
  {
    aio_ofstream f(path.c_str());
    ASSERT_TRUE(f.is_open());
    f.width(4);
    f << 1 << aio_endl << cow_String("x") << 2.5;
  }  // closed by the destructor
  EXPECT_EQ(Slurp(path), "   1\nx2.5");
  std::remove(path.c_str());
  aio_ofstream bad("/nonexistent-dir/qormtx/file.txt");
  EXPECT_FALSE(bad.is_open());
  bad << "ignored";
}

TEST(Allocation, AlignedCountedAndFailingWithBadAlloc) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{1000}}) {
    void* p = mem_OperatorNewThrowBuiltin(n);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u) << n << " bytes";
    mem_Free(p);
  }
  EXPECT_THROW(mem_OperatorNewThrowBuiltin(static_cast<size_t>(-1)), std::bad_alloc);
  EXPECT_EQ(mem_Malloc(static_cast<size_t>(-1)), nullptr);
  EXPECT_THROW(QORBasAllocator().AllocateArray<double>(static_cast<size_t>(-1) / 4), std::bad_alloc);  // overflow
  QORBasMemAllocator counted;
  int* a = counted.AllocateArray<int>(10);
  void* b = counted.Allocate(3);
  EXPECT_TRUE(counted.LiveBlocks() == 2 && counted.BytesAllocated() == 43u);
  counted.Deallocate(a);
  counted.Deallocate(nullptr);
  counted.Deallocate(b);
  EXPECT_THROW(counted.AllocateArray<int>(static_cast<size_t>(-1) / 2), std::bad_alloc);
  EXPECT_EQ(counted.LiveBlocks(), 0);
}

constexpr int kTraps = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

TEST(FloatingPointTraps, MaskingRestoresWhatWasThereBefore) {
  fedisableexcept(FE_ALL_EXCEPT);
  omn_disableFPE();
  omn_enableFPE();
  EXPECT_EQ(fegetexcept() & kTraps, 0) << "a masked section must not switch traps on";
  EXPECT_EQ(omn_enableFPE(), 0);  // no section open: turns them on
  EXPECT_EQ(fegetexcept() & kTraps, kTraps);
  EXPECT_EQ(omn_disableFPE(), kTraps);
  EXPECT_EQ(omn_disableFPE(), 0);  // nested
  volatile double zero = 0.0;
  volatile double inf = 1.0 / zero;  // masked: no signal
  EXPECT_TRUE(inf > 1e308);
  omn_enableFPE();
  EXPECT_EQ(fegetexcept() & kTraps, 0) << "the inner close keeps the outer section masked";
  omn_enableFPE();
  EXPECT_EQ(fegetexcept() & kTraps, kTraps);
  EXPECT_EQ(fetestexcept(FE_DIVBYZERO), 0) << "stale flags are cleared before traps return";
  fedisableexcept(FE_ALL_EXCEPT);
}

TEST(FloatingPointTrapsDeathTest, AnEnabledTrapStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the kernel library may have started threads
  const auto divide = [] {
    omn_enableFPE();
    volatile double zero = 0.0;
    volatile double r = 1.0 / zero;
    std::exit(r > 0 ? 0 : 1);
  };
  EXPECT_EXIT(divide(), testing::KilledBySignal(SIGFPE), "");
}

TEST(FileOps, HostFlagsModesAndFailures) {
  using F = QORBasFileOps;
  EXPECT_EQ(F::BINARY | F::CREAT | F::WRONLY, 33025);  // the host's numeric flags map onto this system's
  EXPECT_EQ(F::BINARY | F::RDONLY, 32768);
  const std::string path = TempPath("binary.dat");
  std::remove(path.c_str());
  const mode_t oldMask = umask(022);
  const int out = F::Open(path.c_str(), 33025, 420);
  umask(oldMask);
  ASSERT_GE(out, 0);
  const double values[3] = {1.5, -2.0, 1e300};
  double back[4] = {};
  EXPECT_EQ(F::Write(out, values, sizeof values), static_cast<long long>(sizeof values));
  EXPECT_EQ(F::Close(out), 0);
  struct stat st {};
  EXPECT_TRUE(stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0644u);
  const int in = F::Open(cow_String(path), 32768, 420);
  EXPECT_EQ(F::Read(in, back, sizeof back), static_cast<long long>(sizeof values));  // short at EOF
  EXPECT_EQ(back[2], 1e300);
  EXPECT_EQ(F::Write(in, values, 8), -1);  // read-only
  F::Close(in);
  EXPECT_EQ(F::Open(path.c_str(), F::CREAT | F::EXCL | F::WRONLY, 420), -1);
  std::fclose(F::Fopen(cow_String(path), "w"));  // truncates
  EXPECT_EQ(Slurp(path), "");
  std::remove(path.c_str());
  EXPECT_EQ(F::Fopen(path.c_str(), "r"), nullptr);
  EXPECT_EQ(F::Open(path.c_str(), 32768, 420), -1);
}

TEST(UtlFilePath, ExistsAbsoluteAndCurrentDirectory) {
  using P = QORBasUtlFilePath;
  const cow_String cwd = P::CurrentDirectory();
  ASSERT_TRUE(!cwd.empty() && cwd.c_str()[0] == '/' && P::Exists(cwd));
  EXPECT_FALSE(P::Exists(""));
  EXPECT_EQ(P::AbsolutePathName("a/./b/../c"), cow_String(cwd.str() + "/a/c"));
  EXPECT_EQ(P::AbsolutePathName(""), cwd);
  EXPECT_EQ(P::AbsolutePathName("/tmp/x/", "f.sim"), cow_String("/tmp/x/f.sim"));
  EXPECT_EQ(P::AbsolutePathName("", "f.sim"), cow_String(cwd.str() + "/f.sim"));
  EXPECT_EQ(P::AbsolutePathName("/tmp", "/abs/f"), cow_String("/abs/f"));
  const std::string path = TempPath("exists.txt");
  EXPECT_FALSE(P::Exists(path));
  std::fclose(std::fopen(path.c_str(), "w"));
  EXPECT_TRUE(P::Exists(path));
  std::remove(path.c_str());
}

}  // namespace
