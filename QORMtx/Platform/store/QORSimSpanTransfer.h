// QORSimSpanTransfer: the one set-up of a plain transfer of values (read or write, dimensions, check, buffer,
// execute, relinquish) for the library, its tests and its benchmarks, with each dimension given as a span.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "QORSimIDs.h"
#include "QORSimTransfer.h"

/// \brief The members of one transfer dimension: positions first … last of the drawer's set over a collection, the
/// members of a set in set order, or listed positions (offset + list[k]) of the drawer's set. A span does not own
/// its list; the list must outlive the QORSimSpanTransfer constructor only.
struct QORSimSpan {
  enum Kind { RANGE, SET, POSITIONS };
  Kind kind = SET;
  QORSimCSetID set;
  QORSimCollectionID collection;
  int first = 0, last = -1;
  const int* positions = nullptr;
  int count = 0, offset = 0;

  QORSimSpan(const QORSimCSetID& s) : set(s) {}  // NOLINT: a set reads as its span in a dimension list
  static QORSimSpan Range(const QORSimCollectionID& collection, int first, int last);
  static QORSimSpan Positions(const QORSimCollectionID& collection, const int* positions, int count, int offset = 0);
};

/// \brief One read or write over the distribution's drawer, dimensions in buffer order (the last varies fastest),
/// set up and checked at construction: RequiredBytes says how large the buffer must be, Execute moves the values.
/// Buffers are packed tightly unless padding is asked for.
class QORSimSpanTransfer {
 public:
  QORSimSpanTransfer(const QORSimDistributionID& distribution, bool write, std::initializer_list<QORSimSpan> dims,
                     bool padding = false);
  QORSimSpanTransfer(const QORSimDistributionID& distribution, bool write, const QORSimSpan* dims, int numDims,
                     bool padding = false);
  /// \brief Gives transfer t its dimensions 0 … numDims − 1 (for transfers that make or grow drawers).
  static void SetDims(QORSimTransfer& t, const QORSimSpan* dims, int numDims);
  uint64_t RequiredBytes() const { return m_required; }
  /// \brief Hands the buffer (bytes as declared to the store) over, moves the values and takes the buffer back.
  void Execute(void* buffer, uint64_t bytes);

 private:
  QORSimTransfer m_transfer;
  bool m_write;
  uint64_t m_required = 0;
};
