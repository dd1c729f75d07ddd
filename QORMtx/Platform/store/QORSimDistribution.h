// QORSimDistribution: values on a grid of collections, held in drawers; with the drawer descriptions.
#pragma once
#include <cstdint>

#include "QORSimArray.h"
#include "QORSimGrid.h"
#include "QORSimIDs.h"

/// \brief How a drawer lays out its values, as a word whose bits from 12 upwards hold the kind: 0 standard
/// (dense), 3 sparse, 4 sparse symmetric, 9 sparse symmetric blocked, 5 element matrix (MEI), 6 symmetric MEI.
class QORSimSerializationType {
 public:
  enum Kind : int {
    STANDARD = 0,
    SPARSE = 3,
    SPARSE_SYMMETRIC = 4,
    MEI = 5,
    MEI_SYMMETRIC = 6,
    SPARSE_SYMMETRIC_BLOCKED = 9
  };

  QORSimSerializationType() = default;
  static QORSimSerializationType FromWord(int word) {
    QORSimSerializationType t;
    t.m_word = word;
    return t;
  }
  int Word() const { return m_word; }
  int Kind() const { return m_word >> 12; }

  void SetStandard() { m_word = STANDARD << 12; }
  void SetSparse() { m_word = SPARSE << 12; }
  void SetSparseSymmetric() { m_word = SPARSE_SYMMETRIC << 12; }
  void SetMei() { m_word = MEI << 12; }
  void SetMeiSymmetric() { m_word = MEI_SYMMETRIC << 12; }

  bool IsStandard() const { return Kind() == STANDARD; }
  bool HasSparse() const { return Kind() == SPARSE; }
  bool HasSparseSym() const { return Kind() == SPARSE_SYMMETRIC || Kind() == SPARSE_SYMMETRIC_BLOCKED; }
  /// \brief True for the symmetric sparse kinds (4 and 9).
  bool SparseSymmetric() const { return HasSparseSym(); }
  bool IsSparseSymmetricBlocked() const { return Kind() == SPARSE_SYMMETRIC_BLOCKED; }
  bool IsMei() const { return Kind() == MEI; }
  bool IsMeiSymmetric() const { return Kind() == MEI_SYMMETRIC; }
  friend bool operator==(const QORSimSerializationType& a, const QORSimSerializationType& b) {
    return a.m_word == b.m_word;
  }

 private:
  int m_word = 0;
};

/// \brief The sets a drawer covers, one per dimension of its distribution.
class QORSimCompartment {
 public:
  QORSimCompartment() = default;
  explicit QORSimCompartment(const QORSimArray<QORSimCSetID>& sets) : m_sets(sets) {}
  int NumDimensions() const { return m_sets.Size(); }
  QORSimCSetID CSetID(int dim) const { return m_sets[dim]; }
  const QORSimArray<QORSimCSetID>& Sets() const { return m_sets; }

 private:
  QORSimArray<QORSimCSetID> m_sets;
};

/// \brief A snapshot of one drawer's description.
class QORSimDrawerDescription {
 public:
  QORSimDrawerID DrawerID() const { return m_id; }
  int NumDimensions() const { return m_dims.Size(); }
  /// \brief Size of every dimension: the sizes of the compartment's sets.
  const QORSimArray<int>& DimensionSizes() const { return m_dims; }
  /// \brief The chunk sizes given when the drawer was made (per dimension); empty for an unchunked drawer.
  const QORSimArray<int>& ChunkSizes() const { return m_chunks; }
  bool IsChunked() const { return m_chunked; }
  int DataTypeKey() const { return m_typeKey; }
  QORSimRangeType RangeType() const { return QORSimRangeType(m_typeKey); }
  QORSimSerializationType SerializationType() const { return m_serialization; }
  bool IsSymmetric() const { return m_serialization.SparseSymmetric(); }
  const QORSimCompartment& Compartment() const { return m_compartment; }
  /// \brief The dimension that may grow (SetDimExtension), or -1.
  int ExtendableDim() const { return m_extendableDim; }
  /// \brief Items held in buffer slot k: for a standard drawer the product of the dimension sizes in slot 0.
  int64_t DataSizeItems(int slot) const;
  /// \brief Stored non-zeros of a sparse drawer; 0 for a standard one.
  int64_t NumNonZero() const { return m_numNonZero; }

 private:
  friend struct QORSimDrawerDescriptionAccess;
  QORSimDrawerID m_id;
  QORSimArray<int> m_dims;
  QORSimArray<int> m_chunks;
  bool m_chunked = false;
  int m_typeKey = QORSimDoubleKey;
  QORSimSerializationType m_serialization;
  QORSimCompartment m_compartment;
  int m_extendableDim = -1;
  int64_t m_numNonZero = 0;
};
using QORSimPersistentDrawerDesc = QORSimDrawerDescription;

/// \brief A handle on one distribution. Copies share the distribution; the values belong to the database.
class QORSimDistribution {
 public:
  QORSimDistribution() = default;
  /// \brief Opens the distribution; an identifier of no open distribution is a fatal validation failure.
  explicit QORSimDistribution(const QORSimDistributionID& id);

  bool IsNull() const { return m_id.IsNull(); }
  /// \brief A handle that gives no identifier (a null one).
  bool IsMasked() const { return m_id.IsNull(); }
  QORSimDistributionID ID() const { return m_id; }
  int NumDimensions() const;
  QORSimGrid Grid() const;
  QORSimRangeType RangeType() const;
  QORSimTypeID Type() const;
  bool IsTemporary() const;
  int NumDrawers() const;
  /// \brief The drawers in drawer order (the order they were made).
  QORSimArray<QORSimDrawerDescription> QueryDrawers() const;

  /// \brief state 1 switches on the secondary cache: the chunk cache of every drawer then holds at least one
  /// whole chunk, whatever SetCacheSize asked, so that partial accesses that return to a chunk find it in memory.
  /// state 0 switches it off (the default).
  void SecondaryCache(int state);
  /// \brief Sets the chunk cache of every drawer of the distribution to bytes and returns the size in force
  /// before (1 MiB until first set). Size it for what a pattern of partial-chunk accesses reuses (a row or a
  /// column of chunks): transfers of whole chunks bypass the cache, and a cache larger than needed slows writes.
  uint64_t SetCacheSize(uint64_t bytes);
  uint64_t CacheSize() const;
  /// \brief Whether chunk chunkIndex (one chunk number per dimension) of the drawer has storage; an unchunked
  /// drawer answers whether it has any. Chunks never written read as the initialisation value.
  bool ChunkAllocated(const QORSimDrawerID& drawer, const QORSimArray<int>& chunkIndex) const;

 private:
  QORSimDistributionID m_id;
};
