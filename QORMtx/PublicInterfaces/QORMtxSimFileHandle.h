// QORMtxSimFileHandle: counted ownership of a scratch data-store database file; the last holder removes the file.
#pragma once
#include "QORSimIDs.h"
#include "cow_CountedHld.h"
#include "cow_String.h"

class QORSimDatabase;

/// \brief One open scratch database and the file it lives in. Destroying it closes the database and removes
/// the file. A representation still alive when the process ends normally is closed and removed then.
class QORMtxSimFileHandleRepr {
 public:
  /// \brief Creates the database file at path (absolute, UTF-8), replacing a file of that name.
  explicit QORMtxSimFileHandleRepr(const cow_String& path);
  /// \brief Closes the database, then removes the file if one exists at the path.
  ~QORMtxSimFileHandleRepr();
  QORMtxSimFileHandleRepr(const QORMtxSimFileHandleRepr&) = delete;
  QORMtxSimFileHandleRepr& operator=(const QORMtxSimFileHandleRepr&) = delete;

  /// \brief The database's context; null when there is no database.
  QORSimContextID ContextID() const;
  const cow_String& Path() const { return m_path; }

  /// \brief Closes the database and removes the file now; the destructor then has nothing left to do.
  void CloseAndRemove();

 private:
  QORSimDatabase* m_database;
  cow_String m_path;
};

/// \brief Counted handle on a QORMtxSimFileHandleRepr: copies share it, and the last one to go deletes it (closing
/// the database and removing its file). A default handle has no database until Create.
///
/// Misuse is reported through the data store's validation routine, and the process ends with status 1.
class QORMtxSimFileHandle {
 public:
  QORMtxSimFileHandle() = default;

  /// \brief Creates the database file at path for this handle and all its copies.
  /// Precondition "pointer.IsNull() && \"File Handle already associated with a SIM database.\"".
  void Create(const cow_String& path);
  /// \brief The database's context.
  /// Precondition "pointer.HasValue() && \"File Handle is not associated with a SIM database.\"".
  QORSimContextID ContextID() const;

  /// \brief Whether a database is attached.
  bool HasDatabase() const { return !m_holder.IsNull(); }
  /// \brief The file's absolute path; empty without a database.
  cow_String Path() const;
  /// \brief Handles sharing the database (this one included).
  int RefCount() const { return m_holder.RefCount(); }

 private:
  cow_CountedHld<QORMtxSimFileHandleRepr> m_holder;
};
