// Helpers of the scratch-matrix tests: a temporary directory per test that must be empty again afterwards.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "../stored/stored_util.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxMatrix.h"
#include "QORMtxUtilities.h"

namespace scratch_test {

/// Scratch files go to this test's own directory; every case must leave it as empty as it found it.
class ScratchTest : public store_test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_savedTempDir = QORMtxUtilities::GetTempDirectory();
    QORMtxUtilities::SetTempDirectory(TempDir().c_str());
  }
  void TearDown() override {
    EXPECT_EQ(Files(), std::vector<std::string>{}) << "files left in the temporary directory";
    QORMtxUtilities::SetTempDirectory(m_savedTempDir);
    StoreTest::TearDown();
  }

 public:
  std::string TempDir() const { return Path(""); }
  /// The names of the files in the test's directory, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(TempDir())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  cow_String m_savedTempDir;
};

/// Writes distinct exact values (store_test::Value) to the whole matrix.
inline void Fill(QORMtxDenseMatrix& m, int salt = 0) {
  const std::vector<double> v = stored_test::Pattern(m.NumberOfRows(), m.NumberOfColumns(), salt);
  m.SetValues(0, m.NumberOfRows() - 1, 0, m.NumberOfColumns() - 1, v.data());
}

/// The whole matrix, column-major.
inline std::vector<double> All(const QORMtxDenseMatrix& m) {
  std::vector<double> v(static_cast<size_t>(m.NumberOfRows()) * m.NumberOfColumns());
  m.GetAllValues(v.data());
  return v;
}

}  // namespace scratch_test
