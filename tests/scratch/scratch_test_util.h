// Helpers of the scratch-matrix tests: a temporary directory per test that must be empty again afterwards.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "../store/store_test_util.h"
#include "QORMtxDenseMatrix.h"
#include "QORMtxUtilities.h"
#include "qormtx_reference.h"

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

/// Writes the reference's values to the whole stored matrix.
inline void Put(QORMtxDenseMatrix& m, const ref::Dense& d) { m.SetValues(0, d.rows - 1, 0, d.cols - 1, d.a.data()); }

}  // namespace scratch_test
