// QORSimSparseDrawer: drawers that hold a sparse matrix in compressed rows. In the file such a drawer is a group
// /distributions/<n>/drawer<k> (attributes sets, serialization, extendable_dim, num_nonzero) of the datasets
//   row_starts      int, rows + 1 (the first is 0 or 1, the base of the column indices)
//   column_indices  int, nnz
//   values          the range type, nnz
//   diagonal        double, rows (symmetric kinds only: the diagonal kept apart from the stored triangle)
// over the distribution's last two dimensions (rows, columns); any dimensions before them have one member each (a
// family of matrices keeps one per identifier). Other grouped drawer kinds (element matrices) go beside this file.
// Included only by the store's own sources.
#pragma once
#ifndef QORSIM_INSIDE_STORE
#error "QORSimSparseDrawer.h is internal to the data store"
#endif
#include <cstdint>
#include <vector>

#include "QORSimStore.h"

namespace qorsim {

/// \brief Serialization kinds stored as compressed rows: sparse, sparse symmetric, sparse symmetric blocked.
bool IsSparseKind(int serialization);
bool IsSymmetricSparseKind(int serialization);

/// \brief The compressed-row shape of a sparse drawer, and the bytes each buffer slot of a transfer holds.
struct SparseShape {
  int64_t rows = 0, cols = 0, nnz = 0;
  bool symmetric = false;
  size_t item = 8;  // bytes of one value
  uint64_t Bytes(int slot) const;
};

/// \brief The shape a sparse drawer over sets of these counts (distribution order) would have; fails, naming
/// what, when a leading dimension has other than one member or the counts do not fit the compressed rows.
SparseShape SparseShapeOf(const std::vector<int64_t>& counts, int64_t nnz, int serialization, size_t item,
                          const std::string& what);
SparseShape SparseShapeOf(const DistributionRecord& dist, const DrawerRecord& drawer);

/// \brief Makes an empty-valued sparse drawer (datasets of the shape's sizes) over the sets, in distribution order.
int NewSparseDrawer(const QORSimDistributionID& id, const std::vector<QORSimCSetID>& sets, int serialization,
                    int64_t nnz);
/// \brief Moves the whole drawer between the file and the four buffers (main, indices, row starts, diagonal),
/// checking the compressed rows on the way (a caller's before writing, a file's after reading).
void MoveSparse(const QORSimDistributionID& id, int drawer, void* const buffers[4], bool write);
/// \brief Reads and checks the record of the sparse drawer stored as the group name of the distribution.
void LoadSparseDrawer(DatabaseRecord& db, DistributionRecord& dist, hid_t group, const std::string& name, int k);

}  // namespace qorsim
