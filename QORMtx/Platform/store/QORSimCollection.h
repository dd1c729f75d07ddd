// QORSimCollection and QORSimCSet: collections of ordinals and their ordered sets.
#pragma once
#include "QORSimIDs.h"

/// \brief A collection: the domain of one kind of item (degrees of freedom, identifiers, positions), whose
/// members are named by integer ordinals. Its sets are ordered lists of ordinals.
///
/// Lifetimes: ordered and strided sets are persistent (written to the file). Temporary sets live until the
/// database closes. Volatile sets serve the transfers that follow their creation: the collection keeps the 64
/// most recent ones and forgets older ones (using a forgotten one is a fatal validation failure). A temporary
/// or volatile set that becomes a drawer's dimension is made persistent.
class QORSimCollection {
 public:
  explicit QORSimCollection(const QORSimCollectionID& id);
  QORSimCollectionID ID() const { return m_id; }
  /// \brief Members at creation: the biggest set holds ordinals 0 … Size() − 1.
  int Size() const;
  const char* Name() const;

  /// \brief A persistent set of the count ordinals in the given order. Ordinals may be any int and may repeat,
  /// but a set that indexes a drawer dimension must not repeat an ordinal.
  QORSimCSetID CreateOrderedCSet(const int* ordinals, int count);
  QORSimCSetID CreateTempOrderedCSet(const int* ordinals, int count);
  QORSimCSetID CreateVolatileOrderedCSet(const int* ordinals, int count);
  /// \brief The persistent set start, start + step, …, count members (step 0 only for count ≤ 1).
  QORSimCSetID CreateCSetStrided(int start, int count, int step);
  /// \brief The set of all members, 0 … Size() − 1 (made once, then the same identifier).
  QORSimCSetID BiggestCSetID();
  /// \brief Makes colour variant c (c ≥ 1) of the collection exist; repeating it is harmless.
  void CreateColorVariant(int color);

 private:
  QORSimCollectionID m_id;
};

/// \brief Read access to one set. A null identifier gives an empty set.
class QORSimCSet {
 public:
  explicit QORSimCSet(const QORSimCSetID& id);
  QORSimCSetID ID() const { return m_id; }
  int Size() const;
  /// \brief Copies the Size() ordinals, in set order, to ordinals.
  void OrderedMembers(int* ordinals) const;

 private:
  QORSimCSetID m_id;
};
