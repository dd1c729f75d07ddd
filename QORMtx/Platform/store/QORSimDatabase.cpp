// QORSimDatabase, QORSimContext, QORSimPosition, QORSimTransaction.
#define QORSIM_INSIDE_STORE
#include "QORSimDatabase.h"

#include <string>
#include <vector>

#include "QORSimStore.h"

using namespace qorsim;

QORSimDatabase::~QORSimDatabase() { Close(); }

void QORSimDatabase::Create(const char* path, const QORSimSchema& /*schema*/) {
  StoreLock lock(StoreMutex());
  if (IsOpen()) QORSIM_FAIL(std::string("Create on a database that is already open ('") + Path() + "')");
  if (!path || !*path) QORSIM_FAIL("Create needs a file path");
  m_context = CreateDatabase(path, false).context;
}

void QORSimDatabase::CreateInMemory(const char* name) {
  StoreLock lock(StoreMutex());
  if (IsOpen()) QORSIM_FAIL(std::string("CreateInMemory on a database that is already open ('") + Path() + "')");
  m_context = CreateDatabase(name && *name ? name : "memory", true).context;
}

bool QORSimDatabase::ClosedCleanly() const {
  StoreLock lock(StoreMutex());
  return !IsOpen() || Database(QORSimContextID(m_context)).closedCleanly;
}

void QORSimDatabase::Open(const char* path, Access access) {
  StoreLock lock(StoreMutex());
  if (IsOpen()) QORSIM_FAIL(std::string("Open on a database that is already open ('") + Path() + "')");
  if (!path || !*path) QORSIM_FAIL("Open needs a file path");
  m_context = OpenDatabase(path, access == ReadOnly).context;
}

void QORSimDatabase::Close() {
  if (!IsOpen()) return;
  StoreLock lock(StoreMutex());
  CloseDatabase(m_context);
  m_context = -1;
}

const char* QORSimDatabase::Path() const {
  if (!IsOpen()) return "";
  StoreLock lock(StoreMutex());
  return Database(ContextID()).path.c_str();
}

// ---------------------------------------------------------------------------------------------------------------

QORSimContext::QORSimContext(const QORSimContextID& id) : m_id(id) {
  StoreLock lock(StoreMutex());
  Database(id);
}

QORSimCollectionID QORSimContext::CreateCollection(int size, const QORSimTypeID& type, const char* name) {
  StoreLock lock(StoreMutex());
  DatabaseRecord& db = Database(m_id);
  return QORSimCollectionID(m_id, NewCollection(db, size, type.Number(), name).number);
}

QORSimCollectionID QORSimContext::FindCollection(const char* name) const {
  StoreLock lock(StoreMutex());
  for (const auto& entry : Database(m_id).collections)
    if (name && entry.second.name == name) return QORSimCollectionID(m_id, entry.first);
  return QORSimCollectionID();
}

namespace {
std::vector<QORSimCollectionID> GridCollections(const QORSimGrid& grid) {
  if (grid.NumDimensions() < 1) QORSIM_FAIL("a distribution needs a grid of at least one dimension");
  return std::vector<QORSimCollectionID>(grid.Collections().begin(), grid.Collections().end());
}
}  // namespace

QORSimDistributionID QORSimContext::CreateDistribution(const QORSimGrid& grid, const QORSimRangeType& range,
                                                       const QORSimTypeID& type) {
  StoreLock lock(StoreMutex());
  return NewDistribution(m_id, GridCollections(grid), range.TypeKey(), type.Number(), false);
}

QORSimDistributionID QORSimContext::CreateTempDistribution(const QORSimGrid& grid, const QORSimRangeType& range,
                                                           const QORSimTypeID& type) {
  StoreLock lock(StoreMutex());
  return NewDistribution(m_id, GridCollections(grid), range.TypeKey(), type.Number(), true);
}

QORSimArray<QORSimDistributionID> QORSimContext::Distributions() const {
  StoreLock lock(StoreMutex());
  QORSimArray<QORSimDistributionID> ids;
  for (const auto& entry : Database(m_id).distributions) ids.Append(QORSimDistributionID(m_id, entry.first));
  return ids;
}

QORSimDistributionID QORSimPosition::CreateDistribution(const QORSimGrid& grid, const QORSimRangeType& range) {
  return Context().CreateDistribution(grid, range);
}

QORSimDistributionID QORSimPosition::CreateTypedDistribution(int type, const QORSimGrid& grid,
                                                             const QORSimRangeType& range) {
  return Context().CreateDistribution(grid, range, QORSimTypeID(type));
}

// ---------------------------------------------------------------------------------------------------------------

QORSimTransaction::QORSimTransaction(const QORSimContextID& context) : m_context(context) {
  StoreLock lock(StoreMutex());
  Database(context);
}

// Nothing to undo: the store writes through, so an uncommitted transaction's work is already in the database.
QORSimTransaction::~QORSimTransaction() = default;

void QORSimTransaction::Commit() {
  StoreLock lock(StoreMutex());
  if (!m_open) QORSIM_FAIL("Commit on a transaction that was already committed");
  FlushDatabase(Database(m_context));
  m_open = false;
}
