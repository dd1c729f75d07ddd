// QORSimDatabase: an HDF5 file (or an in-memory image) holding collections and distributions; with its context,
// creation positions, schema and transactions.
#pragma once
#include "QORSimArray.h"
#include "QORSimGrid.h"
#include "QORSimIDs.h"

/// \brief The types a database knows. The store keeps no type catalogue: an empty snapshot accepts every type
/// number and hands it back as an identifier.
class QORSimSchema {
 public:
  /// \brief The identifier of type number t; null for t < 0.
  QORSimTypeID TypeID(int type) const { return QORSimTypeID(type); }
};

/// \brief One database. A file database is one HDF5 file; an in-memory one lives in an HDF5 core-driver image
/// and vanishes with Close. Everything created in it is written through to the file; Close (and a committed
/// transaction) leaves the file complete, so that a later Open sees every value written before.
///
/// Failures to create or open a file (missing, truncated, not HDF5, not a data-store database, not writable) are
/// fatal validation failures whose text names the file and the cause.
class QORSimDatabase {
 public:
  enum Access { ReadWrite = 0, ReadOnly = 1 };

  QORSimDatabase() = default;
  /// \brief Closes the database if it is still open.
  virtual ~QORSimDatabase();
  QORSimDatabase(const QORSimDatabase&) = delete;
  QORSimDatabase& operator=(const QORSimDatabase&) = delete;

  /// \brief Creates the database file at path (UTF-8), replacing any file of that name, and opens it.
  void Create(const char* path, const QORSimSchema& schema = QORSimSchema());
  /// \brief Creates a database that needs no file (HDF5 core driver without backing store).
  void CreateInMemory(const char* name);
  /// \brief Opens an existing database file.
  void Open(const char* path, Access access = ReadWrite);
  /// \brief Writes everything out and closes the file. Temporary distributions are removed; identifiers of this
  /// database become stale (using one is a fatal validation failure). Nothing happens when not open.
  void Close();

  bool IsOpen() const { return m_context >= 0; }
  /// \brief False when the file, at Open, said its last writer ended without Commit or Close (values written after
  /// that writer's last commit may read as the initialisation value); a warning on the error stream said so too.
  bool ClosedCleanly() const;
  /// \brief The context of the open database; null when closed.
  QORSimContextID ContextID() const { return QORSimContextID(m_context); }
  /// \brief The file path (or the in-memory name); empty when closed.
  const char* Path() const;

 private:
  int m_context = -1;
};

/// \brief Where objects of one open database are created and found.
class QORSimContext {
 public:
  explicit QORSimContext(const QORSimContextID& id);
  QORSimContextID ID() const { return m_id; }
  QORSimSchema Schema() const { return QORSimSchema(); }

  /// \brief A new collection of size members (ordinals 0 … size − 1 make its biggest set). name is the
  /// collection's name in the file ("collection<number>" when null); names are unique within a database.
  QORSimCollectionID CreateCollection(int size, const QORSimTypeID& type = QORSimTypeID(), const char* name = nullptr);
  /// \brief The collection of that name, or a null identifier.
  QORSimCollectionID FindCollection(const char* name) const;

  /// \brief A new distribution over grid with values of range; it holds no drawer yet.
  QORSimDistributionID CreateDistribution(const QORSimGrid& grid, const QORSimRangeType& range,
                                          const QORSimTypeID& type = QORSimTypeID());
  /// \brief As CreateDistribution, but removed when the database closes.
  QORSimDistributionID CreateTempDistribution(const QORSimGrid& grid, const QORSimRangeType& range,
                                              const QORSimTypeID& type = QORSimTypeID());
  /// \brief Every distribution of the database, in creation order.
  QORSimArray<QORSimDistributionID> Distributions() const;

 private:
  QORSimContextID m_id;
};

/// \brief A place where persistent distributions are created.
class QORSimPosition {
 public:
  explicit QORSimPosition(const QORSimContextID& context) : m_context(context) {}
  QORSimContext Context() const { return QORSimContext(m_context); }
  QORSimDistributionID CreateDistribution(const QORSimGrid& grid, const QORSimRangeType& range);
  QORSimDistributionID CreateTypedDistribution(int type, const QORSimGrid& grid, const QORSimRangeType& range);

 private:
  QORSimContextID m_context;
};

/// \brief A unit of work in one context. Commit makes everything done so far durable (the file is flushed).
/// There is no rollback: a transaction destroyed without Commit leaves its work in the open database, and it
/// reaches the file at the next Commit or at Close.
class QORSimTransaction {
 public:
  explicit QORSimTransaction(const QORSimContextID& context);
  ~QORSimTransaction();
  QORSimTransaction(const QORSimTransaction&) = delete;
  QORSimTransaction& operator=(const QORSimTransaction&) = delete;
  void Commit();

 private:
  QORSimContextID m_context;
  bool m_open = true;
};
