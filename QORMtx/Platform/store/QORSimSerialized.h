// QORSimSerialized: drawers whose values are not one array over their sets (element matrices, sparse matrices):
// the hook through which transfers and the loader reach the code of each such serialization kind.
// Included only by the store's own sources.
#pragma once
#ifndef QORSIM_INSIDE_STORE
#error "QORSimSerialized.h is internal to the data store"
#endif
#include <cstdint>
#include <vector>

#include "QORSimStore.h"

namespace qorsim {

/// \brief A checked transfer of a serialized drawer: always the whole drawer, named by its sets.
struct SerializedTransfer {
  QORSimDistributionID dist;
  int drawer = -1;                 ///< the drawer, or -1 while a new one is to be made
  int serialization = 0;           ///< the serialization word
  std::vector<QORSimCSetID> sets;  ///< per distribution dimension
  int64_t numNonZero = 0;          ///< as given by SetSparseNNonzero
  void* const* buffers = nullptr;  ///< the transfer's four buffer slots
  const uint64_t* bytes = nullptr;
};

/// \brief The code of one serialization kind. Calls come with the store lock held.
class SerializedKind {
 public:
  virtual ~SerializedKind() = default;
  /// \brief Fails (QORSIM_FAIL) when the transfer cannot be served; t.sets are matched to the drawer already.
  virtual void Check(const SerializedTransfer& t) const = 0;
  /// \brief Bytes buffer slot needs.
  virtual uint64_t RequiredBytes(const SerializedTransfer& t, int slot) const = 0;
  /// \brief Makes the drawer when t.drawer < 0 (returning its index), then writes the buffers into it.
  virtual int Write(const SerializedTransfer& t) const = 0;
  virtual void Read(const SerializedTransfer& t) const = 0;
  /// \brief Completes (and checks against the file) the record of a drawer of dist stored as the group obj; its
  /// sets, dims, serialization and extendable dimension are read and checked already.
  virtual void Load(hid_t obj, const DistributionRecord& dist, DrawerRecord& drawer) const = 0;
};

/// \brief The code of the serialization word's kind, or null when none is registered.
const SerializedKind* SerializedKindOf(int serialization);
/// \brief The code of the serialization word's kind; fails naming the kind when none is registered.
const SerializedKind& FindSerializedKind(int serialization, const std::string& where);
/// \brief Registers the code of a kind (at load time, from a static object of the kind's source).
void RegisterSerializedKind(int kind, const SerializedKind* code);

/// \brief The group attributes every serialized drawer carries (sets, serialization, extendable_dim, items) and
/// the common part of its record; the loader calls Load of the kind after reading them.
void WriteSerializedDrawerAttrs(hid_t group, const DrawerRecord& drawer);
/// \brief Reads those attributes back into the record (the loader checks them, then calls Load of the kind).
void ReadSerializedDrawerAttrs(hid_t group, DrawerRecord& drawer);

}  // namespace qorsim
