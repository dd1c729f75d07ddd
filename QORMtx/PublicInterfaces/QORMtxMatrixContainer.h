// QORMtxMatrixContainer: stored dense matrices under integer keys in a private scratch database, for Fortran and C.
#pragma once
#include "QORSimDatabase.h"
#include "cow_Btree.h"
#include "cow_String.h"

class QORMtxDenseMatrix;

/// \brief A private database in a file of its own ("QORMtxMatrixContainer<address>.sim" in
/// QORMtxUtilities::GetTempDirectory(), or the current directory when that is empty) holding numbered stored
/// matrices. The container owns its matrices and its file: destroying it deletes both, and a container still
/// alive at normal process end has its file removed then. Failures end the process through PRLFatalError.
///
/// Callers that cannot hold objects reach it through the unmangled qormtxmatrixcontainer* functions of
/// QORMtxCoreModuleC.h.
class QORMtxMatrixContainer : public QORSimDatabase {
 public:
  /// \brief Creates the database file (removing a stale file of the same name) with a row and a column
  /// collection.
  QORMtxMatrixContainer();
  /// \brief Deletes every matrix, closes the database and removes the file.
  ~QORMtxMatrixContainer() override;

  /// \brief A new nRow × nCol matrix under key, rows and columns numbered 0 … n − 1.
  /// Preconditions "AssertionFailed:nRow > 0 && nCol > 0", "AssertionFailed:rowBlockSize > 0 && colBlockSize > 0",
  /// "AssertionFailed:status" (the key is new).
  QORMtxDenseMatrix& Create(int key, int nRow, int nCol, int rowBlockSize, int colBlockSize);
  /// \brief As above, rows (columns) carrying the given ordinals; a null list numbers them 0 … n − 1. Block sizes
  /// are cut to the 2 GB chunk limit.
  QORMtxDenseMatrix& Create(int key, int nRow, int nCol, const int* rowOrds, const int* colOrds, int rowBlockSize,
                            int colBlockSize);
  /// \brief The matrix under key. Precondition "AssertionFailed:matrix" (the key is present).
  QORMtxDenseMatrix& Get(int key);
  bool IsMember(int key) const { return m_matrices.IsMember(key); }
  /// \brief Deletes the matrix under key. Precondition "AssertionFailed:m_matrices.Remove(key)".
  void Remove(int key);
  /// \brief The database file's absolute path.
  const cow_String& FileName() const { return m_fileName; }

 private:
  QORMtxDenseMatrix& CreateMatrix(int key, int nRow, int nCol, const int* rowOrds, const int* colOrds,
                                  int rowBlockSize, int colBlockSize);
  void CloseAndRemove();

  QORSimContextID m_context;
  cow_String m_fileName;
  QORSimCollectionID m_rowCollection;
  QORSimCollectionID m_colCollection;
  cow_Btree<int, QORMtxDenseMatrix*> m_matrices;
};
