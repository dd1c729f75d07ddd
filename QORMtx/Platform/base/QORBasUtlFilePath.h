// QORBasUtlFilePath: file-path queries: existence, absolute paths and the current working directory.
#pragma once

class cow_String;

/// \brief Path utilities over std::filesystem. Paths are returned lexically normalised ("a/./b/../c" -> "a/c");
/// symbolic links are not resolved. None of them throws.
class QORBasUtlFilePath {
 public:
  /// \brief Whether something (file or directory) exists at path.
  static bool Exists(const cow_String& path);
  /// \brief path made absolute against the current directory; an empty path gives the current directory.
  static cow_String AbsolutePathName(const cow_String& path);
  /// \brief name joined to dir, made absolute; an empty dir stands for the current directory, and an absolute
  /// name is returned as it is (normalised).
  static cow_String AbsolutePathName(const cow_String& dir, const cow_String& name);
  /// \brief The process's current working directory (empty if it cannot be read).
  static cow_String CurrentDirectory();
};
