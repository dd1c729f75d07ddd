// QORSimTransfer: one movement of values between a caller's buffer and a distribution (also makes and grows drawers).
#pragma once
#include <cstdint>
#include <memory>

#include "QORSimArray.h"
#include "QORSimDistribution.h"
#include "QORSimIDs.h"

/// \brief A transfer names its dimensions 0 … n − 1, one per distribution dimension, each by a set (SetDim), by a
/// range of positions (SetDimOrdinalRange) or by a list of positions (SetDimPositions). A transfer dimension is
/// matched to the distribution dimension over the same collection (colour included), so the order of the transfer
/// dimensions is the caller's choice: the buffer is packed with the last transfer dimension varying fastest. For a
/// matrix distribution (dimension 0 columns, dimension 1 rows), transfer dimensions (0 = columns, 1 = rows) give the
/// column-major block and (0 = rows, 1 = columns) its transpose.
///
/// Set dimensions select, for every ordinal of the set in set order, its position in the drawer's set for that
/// dimension (sets may permute or, when reading, repeat). Range dimensions select positions first … last.
///
/// Sequence: SetRead and/or SetWrite, SetBufferPadding(false), the dimensions, CheckView, RequiredBufferSize,
/// SetBuffer, ExecRead or ExecWrite, RelinquishBuffers. Changing a dimension requires a new CheckView.
/// New drawers: SetMakeNewDrawer or SetMakeNewDrawerChunked, every dimension by SetDim, optionally
/// SetExtendableDim and SetInitializationValue, CheckView, then InitializePersistentDrawer (values start at the
/// initialisation value) or SetBuffer and ExecWrite (the drawer made and filled at once).
/// Every misuse is a fatal validation failure with a text that says what is wrong.
class QORSimTransfer {
 public:
  explicit QORSimTransfer(const QORSimDistribution& distribution);
  explicit QORSimTransfer(const QORSimDistributionID& distribution);
  ~QORSimTransfer();
  QORSimTransfer(const QORSimTransfer&) = delete;
  QORSimTransfer& operator=(const QORSimTransfer&) = delete;

  void SetRead();
  void SetWrite();
  /// \brief Padding on (the default) rounds the fastest dimension of the buffer up to a multiple of 8 bytes
  /// (it matters only for 4-byte values); off packs the buffer tightly.
  void SetBufferPadding(bool padding);

  /// \brief Transfer dimension dim covers the members of set, in set order.
  void SetDim(int dim, const QORSimCSetID& set);
  /// \brief Transfer dimension dim covers positions first … last of the drawer's set over collection.
  void SetDimOrdinalRange(int dim, const QORSimCollectionID& collection, int first, int last);
  /// \brief Transfer dimension dim covers positions offset + positions[k] of the drawer's set over collection, in
  /// list order (the list is copied; reading may repeat a position).
  void SetDimPositions(int dim, const QORSimCollectionID& collection, const int* positions, int count, int offset = 0);
  /// \brief SetDim(i, sets[i]) for every i.
  void SetDims(const QORSimArray<QORSimCSetID>& sets);
  void SetDims(const QORSimCompartment& compartment) { SetDims(compartment.Sets()); }

  /// \brief Work on that drawer (by default the distribution's only drawer).
  void SetDrawer(const QORSimDrawerID& drawer);
  /// \brief Look only in the drawer named by SetDrawer (the store never combines drawers in one transfer).
  void SetLookInOnlyOneDrawer();
  /// \brief The drawer the transfer works on (after CheckView; for a new drawer after it is made).
  QORSimDrawerID DrawerID() const;

  // ---- New drawers ----
  void SetMakeNewDrawer();
  /// \brief A chunked drawer with the chunk size per transfer dimension. Sizes must be positive; one
  /// larger than its dimension chunks that dimension whole; the sizes are reported back as given.
  void SetMakeNewDrawerChunked(const QORSimArray<int>& chunkSizes);
  /// \brief Transfer dimension dim (its distribution dimension) of the new drawer may grow later.
  void SetExtendableDim(int dim);
  void SetInitializationValue(double value);
  void SetInitializationValue(int value);
  void SetSerialization(const QORSimSerializationType& serialization);
  void SetSparseNNonzero(int64_t numNonZero);
  void InitializePersistentDrawer();

  // ---- Growth ----
  /// \brief The drawer's dimension over set's collection grows by the members of set (new ordinals, none
  /// already in the dimension). Only the drawer's extendable dimension can grow.
  void SetDimExtension(const QORSimCSetID& set);
  /// \brief Grows the drawer; the new values read as the initialisation value.
  void InitializeExtension();

  // ---- Values ----
  void CheckView();
  /// \brief Bytes the buffer of slot needs (after CheckView).
  uint64_t RequiredBufferSize(int slot) const;
  void SetBuffer(void* data, uint64_t bytes) { SetBuffer(QORSimbufMain, data, bytes); }
  void SetBuffer(int slot, void* data, uint64_t bytes);
  /// \brief A buffer that is only written from (ExecRead into it is a validation failure).
  void SetBuffer(const void* data, uint64_t bytes) { SetBuffer(QORSimbufMain, data, bytes); }
  void SetBuffer(int slot, const void* data, uint64_t bytes);
  void ExecRead();
  void ExecWrite();
  void RelinquishBuffers();

  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};
