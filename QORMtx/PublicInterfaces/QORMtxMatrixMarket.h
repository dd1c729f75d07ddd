// QORMtxMatrixMarket: reads and writes sparse matrices as Matrix Market text files (coordinate and array formats).
#pragma once
#include <cstddef>
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

  /// \brief Reads path into matrix (replacing its contents, domain and ordinals). True on success; false with
  /// "<path>:<line>: <message>" in *error (when error is not null) and matrix untouched on failure.
  static bool Read(const char* path, QORMtxSparseMatrix& matrix, std::string* error);
  /// \brief As Read on text[0..length) held in memory; name stands for the file in messages.
  static bool ReadText(const char* text, size_t length, const char* name, QORMtxSparseMatrix& matrix,
                       std::string* error);
  /// \brief Read, ending the process with the message when the file cannot be read.
  static void ReadOrAbort(const char* path, QORMtxSparseMatrix& matrix);

  /// \brief Writes matrix to path: symmetric storage as a `symmetric` file (diagonal and lower triangle), otherwise
  /// `general`; values with "%.17g", so that reading the file back gives the same doubles. Precondition
  /// "matrix.IsAssembled() || matrix.NumberOfCollectedEntries() == 0". False with "<path>: <message>" in *error when
  /// the file cannot be written.
  static bool Write(const char* path, const QORMtxSparseMatrix& matrix, std::string* error, Layout layout = COORDINATE);
  /// \brief Write, ending the process with the message when the file cannot be written.
  static void WriteOrAbort(const char* path, const QORMtxSparseMatrix& matrix, Layout layout = COORDINATE);
};
