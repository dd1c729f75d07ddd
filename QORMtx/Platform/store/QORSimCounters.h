// QORSimCounters: how the transfers moved their values, and the fastest path whole chunks may take: hooks for
// tests and benchmarks that check which path a transfer took.
#pragma once
#include <cstdint>

namespace qorsim {

/// \brief How the transfers moved their values, counted since the last reset (for tests and benchmarks).
struct IoCounters {
  uint64_t rawChunks = 0;       // whole chunks moved by preadv/pwritev straight between file and caller's buffer
  uint64_t cacheFlushes = 0;    // chunk caches flushed so that the file holds what selections wrote
  uint64_t cacheResets = 0;     // chunk caches emptied (dataset reopened) before writes behind HDF5's back
  uint64_t directChunks = 0;    // whole chunks straight between the file and the caller's buffer
  uint64_t packedChunks = 0;    // whole chunks through a chunk buffer (packing or unpacking)
  uint64_t patchedChunks = 0;   // chunks read, patched in memory and written back whole
  uint64_t imagedChunks = 0;    // partial chunks moved through a packed image of their piece
  uint64_t selectionCalls = 0;  // H5Dread/H5Dwrite calls with hyperslab selections
  uint64_t stagedSteps = 0;     // steps through the staging buffer of a transfer not in file order
  uint64_t poolPieces = 0;      // pieces of set and element-matrix pools moved (appends, read-ahead windows)
  uint64_t indexQueries = 0;    // chunk places asked of a dataset's chunk index (the rest were known)
};
IoCounters Counters();
void ResetCounters();

/// \brief The fastest path whole chunks may take (a hook for tests and benchmarks; RAW_FILE by default):
/// RAW_FILE moves unfiltered chunks of plain files with preadv/pwritev, HDF5_CHUNK moves them with H5Dread_chunk and
/// H5Dwrite_chunk, SELECTION sends them through hyperslab selections like partial chunks.
enum class ChunkPath { SELECTION = 0, HDF5_CHUNK = 1, RAW_FILE = 2 };
void SetChunkPathLimit(ChunkPath limit);
ChunkPath ChunkPathLimit();

}  // namespace qorsim
