// QORBasUtlFilePath: std::filesystem with error codes, so that no query throws.
#include "QORBasUtlFilePath.h"

#include <filesystem>
#include <system_error>

#include "cow_String.h"

namespace fs = std::filesystem;

namespace {
fs::path Absolute(const fs::path& p) {
  if (p.empty()) return QORBasUtlFilePath::CurrentDirectory().str();
  std::error_code ec;
  fs::path a = fs::absolute(p, ec);
  return ec ? p : a;
}
}  // namespace

bool QORBasUtlFilePath::Exists(const cow_String& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return fs::exists(fs::path(path.str()), ec);
}

cow_String QORBasUtlFilePath::AbsolutePathName(const cow_String& path) {
  return Absolute(path.str()).lexically_normal().string();
}

cow_String QORBasUtlFilePath::AbsolutePathName(const cow_String& dir, const cow_String& name) {
  return (Absolute(dir.str()) / name.str()).lexically_normal().string();
}

cow_String QORBasUtlFilePath::CurrentDirectory() {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  return ec ? cow_String() : cow_String(cwd.string());
}
