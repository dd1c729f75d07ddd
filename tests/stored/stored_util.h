// Helpers of the stored-matrix tests: a scratch database per test and an in-core reference matrix.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "QORSim.h"
#include "qormtx_death.h"

namespace stored_test {

/// A fresh file database per test, closed and removed afterwards.
class StoredTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = std::filesystem::path(::testing::TempDir()) /
            (std::string("qormtx_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    m_db.Create(Path().c_str());
  }
  void TearDown() override {
    m_db.Close();
    std::filesystem::remove_all(m_dir);
  }

 public:
  std::string Path() const { return (m_dir / "db.h5").string(); }
  QORSimContextID Ctx() const { return m_db.ContextID(); }
  /// The biggest set of a new collection of n members.
  QORSimCSetID NewSet(int n) {
    return QORSimCollection(QORSimContext(Ctx()).CreateCollection(n)).BiggestCSetID();
  }

  QORSimDatabase m_db;

 private:
  std::filesystem::path m_dir;
};

/// Distinct exact values, column-major m × n.
inline std::vector<double> Pattern(int m, int n, int salt = 0) {
  std::vector<double> v(static_cast<size_t>(m) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) v[static_cast<size_t>(j) * m + i] = i * 1000.0 + j + 0.5 + salt * 1e6;
  return v;
}

}  // namespace stored_test
