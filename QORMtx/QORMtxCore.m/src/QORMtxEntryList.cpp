// QORMtxEntryList: growable list of sparse entries, the collecting form of a sparse matrix under assembly.
#include "QORMtxEntryList.h"

#include <algorithm>

#include "QORMtxAssert.h"

QORMtxEntryList::QORMtxEntryList(int n) : m_entries(n > 0 ? n : 0) {}

void QORMtxEntryList::TooManyEntries() const {
  QORMTX_ASSERT(Length() < kMaxLength && "QORMtxEntryList: more entries than an int counts");
}

void QORMtxEntryList::Sort() {
  if (m_entries.size() < 2) return;
  std::sort(m_entries.begin(), m_entries.end());
}
