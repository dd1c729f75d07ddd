// QORMtxSparseImExPorter: sparse matrices to and from text and binary matrix files, chosen by a format code.
#pragma once
#include <string>

class QORMtxSparseMatrix;
class QORFsmSystemDofDefinition;
class QORSimCSetID;
class QORSimDistributionID;

/// \brief Stateless reader and writer of QORMtxSparseMatrix files; a friend of the matrix that fills its fields.
///
/// | Code | Import | Export |
/// |---|---|---|
/// | 0 | substructure file: Fortran unformatted records (qormtxreadamsmatrix) | — |
/// | 1 | solver sparse binary | — |
/// | 2, 3 | entries text "row column value" (opened "rb" / "r") | 3: entries text |
/// | 4 | — | node/dof text "node,dof,node,dof,value" |
/// | 5 | — | zero-based coordinate text "row,column, value" |
/// | 6 | blocked sparse binary (symmetric storage, blocks of 131072) | the same |
/// | 7 | dense binary, column-major | the same |
///
/// Binary files hold 32-bit little-endian integers and 64-bit IEEE doubles. Any other code is fatal:
/// "!\"QORMtxSparseImExPorter::Import: unsupported format\"" (Export likewise).
///
/// Two error channels. Import and Export treat a file that cannot be used as a contract violation: they end the
/// process with the assertion texts of the formats (for instance "header[2] == numBlocks") after a line
/// "<path>: <what>" on the error stream. TryImport and TryExport meet the same faults as a matter of course, for
/// callers handling untrusted files: they return false with "<path>: <what>" in *error and leave the matrix as it
/// was. Either way every count read from a file is checked against the file's size before it sizes an allocation,
/// and every index against the shape, so a damaged file never crashes or silently yields a wrong matrix.
class QORMtxSparseImExPorter {
 public:
  /// \brief Fills mtx from the file at path (replacing shape and values; domain and ordinals are cleared); mtx is
  /// assembled afterwards.
  ///
  /// - 0: symmetric storage; each row record holds its diagonal first, then (column, value) entries.
  /// - 1: symmetric flag 0 gives symmetric storage as stored; otherwise unsymmetric storage from the lower and upper
  ///   values of the lower-triangle structure.
  /// - 2, 3: unsymmetric storage, duplicates summed; the shape is the largest indices met. Reading stops at the
  ///   first line that is not a triple "%d %d %lf".
  /// - 6: symmetric storage; "unsymmFlag == 0", "header[2] == numBlocks" (so nnz = 0 is refused).
  /// - 7: unsymmetric storage of the elements with |value| > 1e-16; "mtx.m_numRows == numRowsInBlock",
  ///   "mtx.m_numCols == numColsInBlock".
  /// \warning The 1e-16 cut of code 7 is absolute, not relative to the matrix's scale: tiny matrices lose values.
  void Import(QORMtxSparseMatrix& mtx, const char* path, int format);
  /// \brief Writes mtx to path; dofs is read by code 4 only. Precondition "mtx.m_assemblyComplete".
  ///
  /// - 3: one "%ld %ld %18.15le" line per entry, 1-based; symmetric storage writes the full matrix (diagonal
  ///   first, then each lower entry and its mirror).
  /// - 4: stored entries only, "numDofs == mtx.m_numRows"; a square matrix names both sides by (node, dof).
  /// - 5: "%d,%d, %18.15e", zero-based; symmetric storage writes the diagonal and the lower triangle.
  /// - 6: symmetric storage only.
  /// - 7: the stored entries as a dense block, 0.0 elsewhere.
  /// \warning Code 7 of symmetric storage writes only the stored lower triangle, not the diagonal or the mirror.
  void Export(const QORMtxSparseMatrix& mtx, const char* path, int format, const QORFsmSystemDofDefinition* dofs) const;

  /// \brief Replaces mtx by the one sparse drawer of distribution id (symmetric storage for a symmetric drawer),
  /// with the drawer's row and column sets as its domain. Preconditions "distribution.NumDrawers() == 1" and the
  /// buffer sizes of the drawer against its description; a stored form that breaks the matrix's invariants is fatal.
  void Import(QORMtxSparseMatrix& mtx, const QORSimDistributionID& id);
  /// \brief Writes mtx (assembled) as a new sparse drawer of distribution id over rowSetID and colSetID:
  /// "QORSimCSet(rowSetID).Size() == numRows", "QORSimCSet(colSetID).Size() == numCols"; a sparse symmetric drawer
  /// for symmetric storage, a sparse one otherwise.
  void Export(const QORMtxSparseMatrix& mtx, const QORSimCSetID& rowSetID, const QORSimCSetID& colSetID,
              const QORSimDistributionID& id) const;
  /// \brief Import that reports instead of ending the process: false with "<path>: <what>" in *error (when not
  /// null), mtx untouched.
  static bool TryImport(QORMtxSparseMatrix& mtx, const char* path, int format, std::string* error);
  /// \brief Export that reports instead of ending the process; a partly written file may remain on failure.
  static bool TryExport(const QORMtxSparseMatrix& mtx, const char* path, int format,
                        const QORFsmSystemDofDefinition* dofs, std::string* error);
  /// \brief True when format can be read (0, 1, 2, 3, 6, 7) or written (3, 4, 5, 6, 7).
  static bool CanImport(int format);
  static bool CanExport(int format);

 private:
  class Formats;  // the readers and writers, in the source file
};
