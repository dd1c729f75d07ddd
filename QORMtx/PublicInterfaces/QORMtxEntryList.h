// QORMtxEntryList: growable list of sparse entries, the collecting form of a sparse matrix under assembly.
#pragma once
#include "QORBasVector.h"
#include "QORMtxSparseMatrixEntry.h"

class QORMtxEntryList {
 public:
  /// \brief A list of n entries, each (0, 0, 0.0): a length, not a reserved capacity. n = 0 gives an empty list.
  explicit QORMtxEntryList(int n = 0);

  /// \brief Number of entries.
  int Length() const { return m_entries.size(); }
  /// \brief Entry i; no bound check (0 <= i < Length()).
  const QORMtxSparseMatrixEntry& ConstGet(int i) const { return m_entries[i]; }
  /// \brief Appends one entry at the end (amortised O(1); the storage doubles when full). Length() is an int: the
  /// list stops with a fatal assertion rather than hold 2^31 - 1 entries and more.
  void Append(const QORMtxSparseMatrixEntry& entry) {
    if (m_entries.size() == kMaxLength) TooManyEntries();
    m_entries.push_back(entry);
  }
  /// \brief Appends the entry (row, col, value), built in place.
  void Append(unsigned row, unsigned col, double value) {
    if (m_entries.size() == kMaxLength) TooManyEntries();
    m_entries.emplace_back(row, col, value);
  }
  /// \brief Empties the list and releases its storage.
  void Clear() { m_entries.Clear(); }
  /// \brief Orders the entries ascending by row, then column (QORMtxSparseMatrixEntry::operator<). Unstable:
  /// entries at the same position end up adjacent in no defined order. O(n log n).
  void Sort();

  /// \brief Room for n entries without reallocation (a capacity, not a length).
  void Reserve(int n) { m_entries.reserve(n); }
  /// \brief Entries that fit before the next reallocation.
  int Capacity() const { return m_entries.capacity(); }
  /// \brief The entries as one contiguous array of Length() values (null or dangling when empty).
  const QORMtxSparseMatrixEntry* Data() const { return m_entries.data(); }
  QORMtxSparseMatrixEntry* Data() { return m_entries.data(); }
  /// \brief Exchanges the contents of two lists in O(1).
  void Swap(QORMtxEntryList& rhs) { m_entries.swap(rhs.m_entries); }

 private:
  static constexpr int kMaxLength = 2147483647;
  /// Fatal: the list is full.
  void TooManyEntries() const;
  QORBasVector<QORMtxSparseMatrixEntry> m_entries;
};
