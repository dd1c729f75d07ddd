// QORSimCollection and QORSimCSet.
#define QORSIM_INSIDE_STORE
#include "QORSimCollection.h"

#include <algorithm>

#include "QORSimStore.h"

using namespace qorsim;

QORSimCollection::QORSimCollection(const QORSimCollectionID& id) : m_id(id) {
  StoreLock lock(StoreMutex());
  Collection(id);
}

int QORSimCollection::Size() const {
  StoreLock lock(StoreMutex());
  return Collection(m_id).size;
}

const char* QORSimCollection::Name() const {
  StoreLock lock(StoreMutex());
  return Collection(m_id).name.c_str();
}

QORSimCSetID QORSimCollection::CreateOrderedCSet(const int* ordinals, int count) {
  StoreLock lock(StoreMutex());
  return NewOrderedSet(m_id, ordinals, count, SetKind::PERSISTENT);
}

QORSimCSetID QORSimCollection::CreateTempOrderedCSet(const int* ordinals, int count) {
  StoreLock lock(StoreMutex());
  return NewOrderedSet(m_id, ordinals, count, SetKind::TEMPORARY);
}

QORSimCSetID QORSimCollection::CreateVolatileOrderedCSet(const int* ordinals, int count) {
  StoreLock lock(StoreMutex());
  return NewOrderedSet(m_id, ordinals, count, SetKind::VOLATILE);
}

QORSimCSetID QORSimCollection::CreateCSetStrided(int start, int count, int step) {
  StoreLock lock(StoreMutex());
  return NewStridedSet(m_id, start, count, step);
}

QORSimCSetID QORSimCollection::BiggestCSetID() {
  StoreLock lock(StoreMutex());
  return BiggestSet(m_id);
}

void QORSimCollection::CreateColorVariant(int color) {
  StoreLock lock(StoreMutex());
  AddColor(m_id, color);
}

// ---------------------------------------------------------------------------------------------------------------

QORSimCSet::QORSimCSet(const QORSimCSetID& id) : m_id(id) {
  if (id.IsNull()) return;
  StoreLock lock(StoreMutex());
  Set(id);
}

int QORSimCSet::Size() const {
  if (m_id.IsNull()) return 0;
  StoreLock lock(StoreMutex());
  return Set(m_id).count;
}

void QORSimCSet::OrderedMembers(int* ordinals) const {
  if (m_id.IsNull()) return;
  StoreLock lock(StoreMutex());
  const SetRecord& set = LoadedSet(m_id);
  if (set.strided)
    for (int k = 0; k < set.count; ++k) ordinals[k] = set.Ordinal(k);
  else
    std::copy(set.ordinals.begin(), set.ordinals.end(), ordinals);
}
