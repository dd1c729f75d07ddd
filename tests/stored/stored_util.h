// Helpers of the stored-matrix tests: a scratch database per test (on the data-store test helpers) and exact values.
#pragma once
#include <cstdlib>
#include <new>

#include "../store/store_test_util.h"
#include "QORMtxUtilities.h"

namespace stored_test {

/// A fresh file database per test, closed and removed afterwards.
class StoredTest : public store_test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_db.Create(DbPath().c_str());
  }
  void TearDown() override {
    m_db.Close();
    StoreTest::TearDown();
  }

 public:
  std::string DbPath() const { return Path("db.h5"); }
  QORSimContextID Ctx() const { return m_db.ContextID(); }
  /// The biggest set of a new collection of n members.
  QORSimCSetID NewSet(int n) { return QORSimCollection(QORSimContext(Ctx()).CreateCollection(n)).BiggestCSetID(); }

  QORSimDatabase m_db;
};

/// Distinct exact values, column-major m × n.
inline std::vector<double> Pattern(int m, int n, int salt = 0) {
  std::vector<double> v(static_cast<size_t>(m) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) v[static_cast<size_t>(j) * m + i] = store_test::Value(i, j, salt);
  return v;
}

/// The largest array the library asks for while this lives (through the host allocation hooks); with failAbove > 0
/// a request above that many bytes throws std::bad_alloc as a host's allocator would.
class PeakAllocation {
 public:
  explicit PeakAllocation(size_t failAbove = 0) {
    Peak() = 0;
    Limit() = failAbove;
    QORMtxUtilities::SetAllocator(&Allocate);
    QORMtxUtilities::SetDeallocator(&std::free);
  }
  ~PeakAllocation() {
    QORMtxUtilities::SetAllocator(nullptr);
    QORMtxUtilities::SetDeallocator(nullptr);
  }
  size_t Doubles() const { return Peak() / sizeof(double); }

 private:
  static size_t& Peak() {
    static size_t peak = 0;
    return peak;
  }
  static size_t& Limit() {
    static size_t limit = 0;
    return limit;
  }
  static void* Allocate(size_t bytes) {
    if (Limit() > 0 && bytes > Limit()) throw std::bad_alloc();
    Peak() = std::max(Peak(), bytes);
    return std::malloc(bytes);
  }
};

}  // namespace stored_test
