// Every test program works in a temporary directory of its own, removed when the program that made it exits:
// death-test children abort before their fixtures' TearDown and parameterised names may hold "/", so whatever
// they leave goes with the directory instead of piling up in the shared temporary directory.
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char* kOwner = "QORMTX_TEST_TMPDIR_OWNER";

class PrivateTmpDir {
 public:
  PrivateTmpDir() {
    // A re-executed death-test child inherits its parent's directory and leaves it to the parent.
    if (std::getenv(kOwner)) return;
    const char* base = std::getenv("TEST_TMPDIR");
    if (!base || !*base) base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qormtx_tests_XXXXXX";
    if (!mkdtemp(&pattern[0])) return;  // tests then use the shared directory as before
    m_dir = pattern;
    m_owner = getpid();
    const std::string withSlash = m_dir + "/";  // testing::TempDir() joins names without a separator
    setenv("TEST_TMPDIR", withSlash.c_str(), 1);
    setenv("TMPDIR", m_dir.c_str(), 1);
    setenv(kOwner, std::to_string(m_owner).c_str(), 1);
  }
  ~PrivateTmpDir() {
    // Forked death-test children run this too on a normal exit: only the process that made the directory removes it.
    if (m_dir.empty() || getpid() != m_owner) return;
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }

 private:
  std::string m_dir;
  pid_t m_owner = 0;
};

PrivateTmpDir g_privateTmpDir;

}  // namespace
