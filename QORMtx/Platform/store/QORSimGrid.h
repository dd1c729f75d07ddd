// QORSimGrid and QORSimRangeType: the domain (one collection per dimension) and the value type of a distribution.
#pragma once
#include <initializer_list>

#include "QORSimArray.h"
#include "QORSimIDs.h"

/// \brief The dimensions of a distribution: one collection (in one colour) per dimension, dimension 0 first.
/// A collection may appear only once; a square matrix over one collection uses its colour-1 variant for the
/// second dimension. Naming a collection twice is a fatal validation failure.
class QORSimGrid {
 public:
  QORSimGrid() = default;
  explicit QORSimGrid(const QORSimArray<QORSimCollectionID>& collections);
  QORSimGrid(std::initializer_list<QORSimCollectionID> collections);

  int NumDimensions() const { return m_collections.Size(); }
  QORSimCollectionID CollectionID(int dim) const { return m_collections[dim]; }
  const QORSimArray<QORSimCollectionID>& Collections() const { return m_collections; }
  /// \brief The dimension that runs over the collection (colour included), or -1.
  int DimensionOf(const QORSimCollectionID& collection) const;

 private:
  void Validate() const;
  QORSimArray<QORSimCollectionID> m_collections;
};

/// \brief The value type of a distribution, from its type key (QORSimDoubleKey 4 or QORSimIntKey 2).
class QORSimRangeType {
 public:
  QORSimRangeType() = default;
  explicit QORSimRangeType(int typeKey) : m_typeKey(typeKey) {}
  int TypeKey() const { return m_typeKey; }
  /// \brief Bytes of one value: 1 for keys 1 and 6; 4 for 2, 5, 7, 8, 9; 8 for 3 and 4; 0 for any other key.
  int ItemBytes() const;
  friend bool operator==(const QORSimRangeType& a, const QORSimRangeType& b) { return a.m_typeKey == b.m_typeKey; }
  friend bool operator!=(const QORSimRangeType& a, const QORSimRangeType& b) { return !(a == b); }

 private:
  int m_typeKey = QORSimDoubleKey;
};
