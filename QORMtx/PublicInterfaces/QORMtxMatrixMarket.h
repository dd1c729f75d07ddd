// QORMtxMatrixMarket: reads and writes sparse matrices as Matrix Market text files (coordinate and array formats).
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "QORMtxSparseMatrix.h"

/// \brief Matrix Market files for QORMtxSparseMatrix.
///
/// Reading accepts the object `matrix` in `coordinate` or `array` format, with a `real` (or `double`), `integer` or
/// `pattern` field (pattern: every value 1.0; not with array) and `general`, `symmetric` or `skew-symmetric`
/// symmetry. Banner words are case-insensitive; the banner may start with one '%' instead of two, and words after
/// the fourth are ignored. Lines may end in CR LF. '%' comment lines and blank lines may stand anywhere after the
/// banner.
/// - general: unsymmetric storage, every listed entry kept (explicit zeros too), duplicates summed;
/// - symmetric: symmetric storage (the diagonal read once, never doubled); each off-diagonal entry may come from
///   the lower or the upper triangle, so lower, upper and mixed files give the same matrix; a position listed in
///   both triangles is summed like any duplicate;
/// - skew-symmetric: unsymmetric storage holding both (i, j, v) and (j, i, -v); a non-zero diagonal entry is an
///   error;
/// - array: column-major values (symmetric: the lower triangle by columns; skew: the strict lower one); zeros are
///   not stored.
///
/// Error channel. A file reader meets bad input as a matter of course, so reading reports instead of aborting:
/// `Read` returns false, leaves the matrix as it was and puts "<file>:<line>: <what>" in *error. Every check that
/// bounds memory (sizes that overflow an int, more announced entries than the file can hold) comes before the
/// allocation it guards. `ReadOrAbort` and `WriteOrAbort` are the fatal conveniences for callers that cannot go
/// on without the file: they print the message on the error stream and end the process through the library's
/// assertion report.
class QORMtxMatrixMarket {
 public:
  /// How Write lays out the values.
  enum Layout {
    COORDINATE = 0,  ///< one "row column value" line per stored entry
    ARRAY = 1        ///< every element column by column, zeros included (small matrices)
  };

  /// What a caller may add to reading a file.
  struct ReadOptions {
    /// Called once the size line is read, before anything is sized by it, with the rows, columns and announced
    /// entries (values for the array format); a non-empty answer refuses the file with that text
    /// ("<path>:<line>: <text>"). Lets a caller bound what it accepts before memory is claimed for it.
    std::function<std::string(long long rows, long long cols, long long entries)> checkSize;
    /// Called after each piece read with the bytes read so far and the file's length (−1 for a pipe).
    std::function<void(long long done, long long total)> progress;
  };

  /// \brief Reads path into matrix (replacing its contents, domain and ordinals). True on success; false with
  /// "<path>:<line>: <message>" in *error (when error is not null) and matrix untouched on failure. The file is
  /// opened once and read in pieces of bounded size, so pipes and devices work and the text is never held whole.
  static bool Read(const char* path, QORMtxSparseMatrix& matrix, std::string* error);
  /// \brief Read with options.
  static bool Read(const char* path, QORMtxSparseMatrix& matrix, std::string* error, const ReadOptions& options);
  /// \brief As Read on text[0..length) held in memory; name stands for the file in messages.
  static bool ReadText(const char* text, size_t length, const char* name, QORMtxSparseMatrix& matrix,
                       std::string* error);
  /// \brief Read, ending the process with the message when the file cannot be read.
  static void ReadOrAbort(const char* path, QORMtxSparseMatrix& matrix);

  /// \brief Writes matrix to path: symmetric storage as a `symmetric` file (diagonal and lower triangle), otherwise
  /// `general`; each value as the shortest text that reads back as the same double (std::to_chars), so that
  /// reading the file back gives the same doubles bit for bit. Precondition
  /// "matrix.IsAssembled() || matrix.NumberOfCollectedEntries() == 0". False with "<path>: <message>" in *error when
  /// the file cannot be written.
  static bool Write(const char* path, const QORMtxSparseMatrix& matrix, std::string* error, Layout layout = COORDINATE);
  /// \brief Write, ending the process with the message when the file cannot be written.
  static void WriteOrAbort(const char* path, const QORMtxSparseMatrix& matrix, Layout layout = COORDINATE);

 private:
  // Runs the file's parser (opaque here) and adopts its entries into matrix; the reporting of both read paths.
  static bool Parse(void* parser, QORMtxSparseMatrix& matrix, std::string* error);
  // Assembles the collected entries and swaps the arrays into matrix (std::bad_alloc leaves matrix as it was).
  static void Adopt(QORMtxEntryList& entries, int rows, int cols, bool symmetric, QORMtxSparseMatrix& matrix);
};
