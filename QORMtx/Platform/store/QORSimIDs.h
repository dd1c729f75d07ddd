// QORSimIDs: the data store's identifiers, small values that are null until set.
#pragma once
#include <cstdint>

/// \brief Type keys of a distribution's range (its value type): 2 integers (4 bytes), 4 doubles (8 bytes).
enum QORSimTypeKey : int { QORSimIntKey = 2, QORSimDoubleKey = 4 };

/// \brief Buffer slots of a transfer. A standard drawer uses only the main buffer; the sparse
/// serializations use the index, row-start and diagonal slots as well.
enum QORSimBufferSlot : int {
  QORSimbufMain = 0,
  QORSimbufIndicesNZ = 1,
  QORSimbufSparseMap = 2,
  QORSimbufDiagonal = 3
};

/// \brief An open database (its context). Null when default-constructed or after the database closed.
class QORSimContextID {
 public:
  QORSimContextID() = default;
  explicit QORSimContextID(int number) : m_number(number) {}
  bool IsNull() const { return m_number < 0; }
  int Number() const { return m_number; }
  friend bool operator==(const QORSimContextID& a, const QORSimContextID& b) { return a.m_number == b.m_number; }
  friend bool operator!=(const QORSimContextID& a, const QORSimContextID& b) { return !(a == b); }

 private:
  int m_number = -1;
};

/// \brief A user type of distributions (the schema's type number); null means untyped.
class QORSimTypeID {
 public:
  QORSimTypeID() = default;
  explicit QORSimTypeID(int type) : m_type(type < 0 ? -1 : type) {}
  bool IsNull() const { return m_type < 0; }
  int Number() const { return m_type; }
  friend bool operator==(const QORSimTypeID& a, const QORSimTypeID& b) { return a.m_type == b.m_type; }
  friend bool operator!=(const QORSimTypeID& a, const QORSimTypeID& b) { return !(a == b); }

 private:
  int m_type = -1;
};

/// \brief A collection in one colour. Colour 0 is the collection itself; colour c > 0 is its colour
/// variant c (made by QORSimCollection::CreateColorVariant), the same members under a distinct identity, so that
/// one grid can run over the same collection twice.
class QORSimCollectionID {
 public:
  QORSimCollectionID() = default;
  QORSimCollectionID(const QORSimContextID& context, int number, int color = 0)
      : m_context(context.Number()), m_number(number), m_color(color) {}
  bool IsNull() const { return m_context < 0 || m_number < 0; }
  QORSimContextID ContextID() const { return QORSimContextID(m_context); }
  int Number() const { return m_number; }
  int Color() const { return m_color; }
  /// \brief Moves this identifier to colour c of the same collection (the minor part of the identifier).
  void SetColor(int color) { m_color = color; }
  /// \brief The same collection in colour c.
  QORSimCollectionID AltColor(int color) const { return QORSimCollectionID(ContextID(), m_number, color); }
  friend bool operator==(const QORSimCollectionID& a, const QORSimCollectionID& b) {
    return a.m_context == b.m_context && a.m_number == b.m_number && a.m_color == b.m_color;
  }
  friend bool operator!=(const QORSimCollectionID& a, const QORSimCollectionID& b) { return !(a == b); }

 private:
  int m_context = -1;
  int m_number = -1;
  int m_color = 0;
};

/// \brief A collection set: an ordered list of ordinals of one collection, seen in one colour of it.
class QORSimCSetID {
 public:
  QORSimCSetID() = default;
  QORSimCSetID(const QORSimCollectionID& collection, int number) : m_collection(collection), m_number(number) {}
  bool IsNull() const { return m_collection.IsNull() || m_number < 0; }
  QORSimCollectionID CollectionID() const { return m_collection; }
  QORSimContextID ContextID() const { return m_collection.ContextID(); }
  int Number() const { return m_number; }
  int Color() const { return m_collection.Color(); }
  /// \brief The same set, with the same members, in colour c of its collection.
  QORSimCSetID AltColor(int color) const { return QORSimCSetID(m_collection.AltColor(color), m_number); }
  friend bool operator==(const QORSimCSetID& a, const QORSimCSetID& b) {
    return a.m_collection == b.m_collection && a.m_number == b.m_number;
  }
  friend bool operator!=(const QORSimCSetID& a, const QORSimCSetID& b) { return !(a == b); }

 private:
  QORSimCollectionID m_collection;
  int m_number = -1;
};

/// \brief A distribution: context and number.
class QORSimDistributionID {
 public:
  QORSimDistributionID() = default;
  QORSimDistributionID(const QORSimContextID& context, int number) : m_context(context.Number()), m_number(number) {}
  bool IsNull() const { return m_context < 0 || m_number < 0; }
  QORSimContextID ContextID() const { return QORSimContextID(m_context); }
  int Number() const { return m_number; }
  friend bool operator==(const QORSimDistributionID& a, const QORSimDistributionID& b) {
    return a.m_context == b.m_context && a.m_number == b.m_number;
  }
  friend bool operator!=(const QORSimDistributionID& a, const QORSimDistributionID& b) { return !(a == b); }

 private:
  int m_context = -1;
  int m_number = -1;
};

/// \brief A drawer of a distribution: the distribution and the drawer's index in drawer order.
class QORSimDrawerID {
 public:
  QORSimDrawerID() = default;
  QORSimDrawerID(const QORSimDistributionID& distribution, int index) : m_distribution(distribution), m_index(index) {}
  bool IsNull() const { return m_distribution.IsNull() || m_index < 0; }
  QORSimDistributionID DistributionID() const { return m_distribution; }
  int Index() const { return m_index; }
  friend bool operator==(const QORSimDrawerID& a, const QORSimDrawerID& b) {
    return a.m_distribution == b.m_distribution && a.m_index == b.m_index;
  }
  friend bool operator!=(const QORSimDrawerID& a, const QORSimDrawerID& b) { return !(a == b); }

 private:
  QORSimDistributionID m_distribution;
  int m_index = -1;
};
