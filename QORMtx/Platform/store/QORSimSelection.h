// QORSimSelection: moving a region of a drawer (a cross product of position runs) between the file and a packed
// buffer, by direct chunk I/O for whole chunks and by HDF5 hyperslab selections for the rest.
// Included only by the store's own sources.
#pragma once
#ifndef QORSIM_INSIDE_STORE
#error "QORSimSelection.h is internal to the data store"
#endif
#include <hdf5.h>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "QORSimStore.h"

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
  int fd = -1;                      // the file, for whole chunks by preadv/pwritev (-1: through HDF5 only)
  std::function<CacheFlags&()> cache;  // the drawer's chunk-cache flags (call with the store's lock held)
  std::function<std::map<std::vector<hsize_t>, ChunkPlace>&()> places;  // the drawer's known chunk places (same)
  std::function<hid_t()> reopen;       // closes and reopens the dataset (emptying its chunk cache); returns it
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
/// This is the one place that chooses how each chunk moves:
///  - whole chunks read from a plain file (g.fd ≥ 0): pread/preadv from the chunk's file address straight into
///    buf, scattered where the chunk is not one stretch of buf; HDF5's chunk cache is flushed first when
///    selection writes may still sit in it (dirty cache flag);
///  - whole chunks written to a plain file that already have storage: pwritev from buf to the chunk's address.
///    HDF5 does not see these writes, so its chunk cache must hold no copy of the chunk: when selections have
///    used the cache since the dataset was opened (used cache flag), the dataset is closed and reopened first
///    (g.reopen), which writes back and empties the cache; H5Dread_chunk and H5Dwrite_chunk never fill it;
///  - other whole chunks (first writes, in-memory files): H5Dwrite_chunk / H5Dread_chunk, straight from or into
///    buf where the chunk is contiguous in it, through a chunk buffer otherwise;
///  - chunks without storage read as the initialisation value;
///  - partial chunks: one or a few hyperslab selections (SelectRuns), or, for chunks touched by many scattered
///    runs, reading, patching and writing the whole chunk. Selections set the used flag, writes also the dirty one.
void MoveRegion(DrawerGeometry& g, const std::vector<RunList>& runs, const std::vector<hsize_t>& U, void* buf,
                bool write);

}  // namespace qorsim
