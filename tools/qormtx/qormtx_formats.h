// The matrix file formats qormtx knows: how each is recognised, read into a sparse matrix, written from one and
// summarised by `info`. Each format registers itself once; the subcommands only ask this table.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QORMtxSparseMatrix;

class QORSimDatabase;

namespace qormtx {

/// Bad input or an unwritable output: the message names the file (and line), main prints it, exit status 1.
struct Failure {
  std::string message;
};

/// What a reader is asked to honour while it reads.
struct ReadLimits {
  /// Rows, columns and announced entries as soon as the file states them, before memory is sized by them; a
  /// non-empty answer refuses the file with that text. Empty function: no limit.
  std::function<std::string(long long rows, long long cols, long long entries)> checkSize;
  /// Bytes read so far and the file's length (−1 unknown), for the progress bar.
  std::function<void(long long done, long long total)> progress;
};

/// "key: value" lines that `info` prints, in order.
using InfoLines = std::vector<std::pair<std::string, std::string>>;

struct Format {
  std::string code;                     ///< what --format takes: "mtx", "db", "0".."7"
  std::string name;                     ///< shown by info and in messages
  std::vector<std::string> extensions;  ///< lower case with the dot, e.g. ".mtx"; the first is the usual one
  /// True when the first bytes of a file (up to 4 KiB) are this format's; null: recognised by extension only.
  std::function<bool(const std::string& head)> sniff;
  /// Reads the file into a sparse matrix; throws Failure naming the file. Null: not readable.
  std::function<void(const std::string& path, QORMtxSparseMatrix& matrix, const ReadLimits& limits)> read;
  /// Writes the matrix; throws Failure naming the file. Null: not writable.
  std::function<void(const std::string& path, const QORMtxSparseMatrix& matrix)> write;
  /// Lines of `info` for a file that is not one matrix (a database); null: info reads the matrix and summarises it.
  std::function<void(const std::string& path, InfoLines& lines)> info;
};

/// Adds a format to the table (a later one with the same code replaces the earlier).
void RegisterFormat(Format format);
/// Every registered format, in order of registration (the built-in ones first).
const std::vector<Format>& Formats();
/// The format with this code, or null.
const Format* FindFormat(const std::string& code);
/// The format of an existing input: by content when the file is a regular file whose head some format claims,
/// else by extension, else Matrix Market (text through a pipe). Throws Failure when the file cannot be opened.
const Format& DetectFormat(const std::string& path);
/// The format of an output: the code when given (Failure when unknown), else by extension, else Matrix Market.
const Format& OutputFormat(const std::string& path, const std::string& code);
/// The codes for --help: "mtx, db, 0, ...".
std::string FormatCodes();
/// Creates the database file path in db; a path that cannot be written throws Failure naming it (the store
/// itself treats a file it cannot create as fatal, while a user's wrong path is only bad input).
void CreateDatabaseFile(const std::string& path, QORSimDatabase& db);

}  // namespace qormtx
