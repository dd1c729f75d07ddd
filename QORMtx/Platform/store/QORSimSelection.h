// QORSimSelection: moving a region of a drawer (a cross product of position runs) between the file and a packed
// buffer, by direct chunk I/O for whole chunks and by HDF5 hyperslab selections for the rest.
#pragma once
#include <hdf5.h>

#include <cstddef>
#include <string>
#include <vector>

namespace qorsim {

/// \brief Positions pos … pos + len − 1 of one dimension, which sit at canonical indices canon … canon + len − 1
/// of the packed buffer. Runs of a dimension are sorted, disjoint and not adjacent.
struct Run {
  hsize_t pos;
  hsize_t len;
  hsize_t canon;
};
using RunList = std::vector<Run>;

/// \brief What the region mover needs to know of a drawer.
struct DrawerGeometry {
  hid_t dataset = -1;
  hid_t memType = -1;
  size_t itemBytes = 0;
  std::vector<hsize_t> dims;
  std::vector<hsize_t> chunk;  // empty: contiguous dataset
  bool directChunkIo = false;
  std::vector<unsigned char> fill;  // one item: the initialisation value
};

/// \brief Per-thread scratch memory of the transfers (chunk images, staging), kept between transfers so that
/// each transfer does not fault in fresh pages; buffers above a limit are let go after the transfer.
class Scratch {
 public:
  enum Slot { CHUNK = 0, STAGING = 1 };
  /// \brief At least bytes of slot's buffer (contents not kept when it grows).
  static unsigned char* Get(Slot slot, size_t bytes);
  /// \brief Releases buffers larger than the retention limit.
  static void Trim();
};

/// \brief The one function that turns per-dimension runs into an HDF5 selection: adds to space the cross
/// product of the runs, in file positions (canonical = false) or in canonical buffer coordinates (true).
/// replace selects SET for the first block, OR after. Returns the number of blocks added.
size_t SelectRuns(hid_t space, const std::vector<const RunList*>& runs, bool canonical, bool replace);

/// \brief Moves the region (cross product over dimensions of runs[d]) between the dataset and buf, which holds
/// the region packed in canonical order (dimension 0 slowest, extents U[d] = canonical count of dimension d).
/// Whole chunks go by direct chunk I/O (straight into buf where the chunk is contiguous in it, through a chunk
/// buffer otherwise); the rest by one or a few hyperslab selections (SelectRuns), or, for chunks touched by
/// many scattered runs, by reading, patching and writing the whole chunk.
void MoveRegion(const DrawerGeometry& g, const std::vector<RunList>& runs, const std::vector<hsize_t>& U, void* buf,
                bool write);

}  // namespace qorsim
