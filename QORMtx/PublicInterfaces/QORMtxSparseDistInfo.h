// QORMtxSparseDistInfo: what the store says of a stored sparse matrix (shape, entries, symmetry, sets), unread.
#pragma once
#include <cstdint>

#include "QORSimDistribution.h"

/// \brief The description of a sparse matrix in the data store, taken from its distribution's one drawer without
/// reading values. Null unless the distribution has two dimensions and one sparse or sparse symmetric drawer;
/// a null object answers 0 and null identifiers.
class QORMtxSparseDistInfo {
 public:
  explicit QORMtxSparseDistInfo(const QORSimDistributionID& id);
  bool IsNull() const { return m_id.IsNull(); }
  int NumRows() const;
  int NumCols() const;
  /// \brief Stored values (the strictly lower ones in symmetric storage).
  int64_t NumEntries() const { return IsNull() ? 0 : m_drawer.NumNonZero(); }
  /// \brief True for the symmetric sparse kinds. Precondition "!IsNull()".
  bool IsSymmetric() const;
  QORSimCSetID RowCSetID() const;
  QORSimCSetID ColCSetID() const;

 private:
  QORSimDistributionID m_id;
  QORSimDrawerDescription m_drawer;
};
