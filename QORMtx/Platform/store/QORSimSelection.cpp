// QORSimSelection: the region mover: whole chunks by direct chunk I/O, the rest by hyperslab selections.
#define QORSIM_INSIDE_STORE
#include "QORSimSelection.h"

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "QORSimStore.h"
#include "mem_Alloc.h"

namespace qorsim {

namespace {

// HDF5 1.10 builds a union of hyperslabs in time quadratic in the number of blocks (16 000 blocks take about
// twenty seconds), so one HDF5 call never carries more than this many blocks.
constexpr size_t kMaxBlocksPerCall = 128;
// A chunk touched by more blocks than this is read whole, patched in memory and written whole: that is one
// read and one write of the chunk instead of many tiny accesses.
constexpr size_t kDenseChunkBlocks = 32;
// A piece of a chunk at least this large goes through a packed image of its own (see MoveRegion).
constexpr size_t kImageMinBytes = 64u << 10;

constexpr size_t kScratchKept = 64u << 20;

#ifdef IOV_MAX
constexpr int kMaxIov = IOV_MAX;
#else
constexpr int kMaxIov = 1024;
#endif

struct ScratchBuffers {
  unsigned char* data[2] = {nullptr, nullptr};
  size_t bytes[2] = {0, 0};
  ~ScratchBuffers() {
    for (unsigned char* p : data) mem_Free(p);
  }
};
thread_local ScratchBuffers t_scratch;

// The chunk image of one MoveRegion: taken from the thread's scratch on first use.
class ChunkBuffer {
 public:
  explicit ChunkBuffer(size_t bytes) : m_bytes(bytes) {}
  unsigned char* Get() {
    if (!m_data) m_data = Scratch::Get(Scratch::CHUNK, m_bytes);
    return m_data;
  }

 private:
  size_t m_bytes;
  unsigned char* m_data = nullptr;
};

void FillItems(unsigned char* dst, size_t count, const unsigned char* fill, size_t item) {
  bool zero = true;
  for (size_t i = 0; i < item; ++i) zero = zero && fill[i] == 0;
  if (zero) {
    std::memset(dst, 0, count * item);
    return;
  }
  for (size_t i = 0; i < count; ++i) std::memcpy(dst + i * item, fill, item);
}

std::vector<hsize_t> Strides(const std::vector<hsize_t>& extent) {
  std::vector<hsize_t> s(extent.size(), 1);
  for (size_t d = extent.size(); d-- > 1;) s[d - 1] = s[d] * extent[d];
  return s;
}

// Where each piece of a cross product sits in an image (a chunk as stored, or a tile of pieces packed together):
// the image offset of each piece's first position, per dimension, and the image's strides.
struct ImageMap {
  std::vector<std::vector<hsize_t>> start;
  std::vector<hsize_t> strides;

  // A chunk image: positions relative to the chunk's origin, strides of the chunk's dimensions.
  static ImageMap Chunk(const std::vector<const RunList*>& pieces, const std::vector<hsize_t>& origin,
                        const std::vector<hsize_t>& strides) {
    ImageMap m;
    m.strides = strides;
    for (size_t d = 0; d < pieces.size(); ++d) {
      m.start.emplace_back();
      for (const Run& r : *pieces[d]) m.start.back().push_back(r.pos - origin[d]);
    }
    return m;
  }
  // A tile image: the pieces packed one after another in every dimension. extent receives its dimensions.
  static ImageMap Tile(const std::vector<const RunList*>& pieces, std::vector<hsize_t>& extent) {
    ImageMap m;
    extent.assign(pieces.size(), 0);
    for (size_t d = 0; d < pieces.size(); ++d) {
      m.start.emplace_back();
      for (const Run& r : *pieces[d]) {
        m.start.back().push_back(extent[d]);
        extent[d] += r.len;
      }
    }
    m.strides = Strides(extent);
    return m;
  }
};

// Copies the cross product of the pieces between an image and the canonical buffer (canonical coordinates,
// strides bs). The last dimension's pieces are contiguous in both, so each is one memcpy.
struct CrossCopy {
  const std::vector<const RunList*>& pieces;
  const ImageMap& map;
  unsigned char* image;
  unsigned char* buf;
  const std::vector<hsize_t>& bs;
  size_t item;
  bool toBuffer;

  void Run(size_t d, hsize_t io, hsize_t bo) const {
    const RunList& list = *pieces[d];
    const std::vector<hsize_t>& start = map.start[d];
    if (d + 1 == pieces.size()) {
      for (size_t i = 0; i < list.size(); ++i) {
        unsigned char* c = image + (io + start[i]) * item;
        unsigned char* b = buf + (bo + list[i].canon) * item;
        if (toBuffer)
          std::memcpy(b, c, list[i].len * item);
        else
          std::memcpy(c, b, list[i].len * item);
      }
      return;
    }
    for (size_t i = 0; i < list.size(); ++i)
      for (hsize_t k = 0; k < list[i].len; ++k)
        Run(d + 1, io + (start[i] + k) * map.strides[d], bo + (list[i].canon + k) * bs[d]);
  }
};

void CopyCross(const std::vector<const RunList*>& pieces, const ImageMap& map, unsigned char* image, unsigned char* buf,
               const std::vector<hsize_t>& bs, size_t item, bool toBuffer) {
  CrossCopy{pieces, map, image, buf, bs, item, toBuffer}.Run(0, 0, 0);
}

// Fills a box of the canonical buffer (origin lo, extent n, strides bs) with the fill item.
void FillBox(unsigned char* buf, const std::vector<hsize_t>& lo, const std::vector<hsize_t>& n,
             const std::vector<hsize_t>& bs, const unsigned char* fill, size_t item, size_t d = 0, hsize_t off = 0) {
  if (d + 1 == n.size()) {
    FillItems(buf + (off + lo[d]) * item, n[d], fill, item);
    return;
  }
  for (hsize_t k = 0; k < n[d]; ++k) FillBox(buf, lo, n, bs, fill, item, d + 1, off + (lo[d] + k) * bs[d]);
}

// Accumulates hyperslab blocks (file and canonical side alike) and moves them with one H5Dread/H5Dwrite per
// kMaxBlocksPerCall blocks.
class SelectionBatch {
 public:
  SelectionBatch(const DrawerGeometry& g, const std::vector<hsize_t>& U, void* buf, bool write)
      : m_g(g), m_U(U), m_buf(buf), m_write(write) {}
  ~SelectionBatch() = default;

  void Add(const std::vector<const RunList*>& runs) {
    size_t total = 1;
    for (const RunList* r : runs) total *= r->size();
    for (size_t begin = 0; begin < total;) {
      if (m_blocks == 0) Open();
      const size_t take = std::min(total - begin, kMaxBlocksPerCall - m_blocks);
      SelectRunsRange(m_file, runs, false, m_blocks == 0, begin, begin + take);
      SelectRunsRange(m_mem, runs, true, m_blocks == 0, begin, begin + take);
      m_blocks += take;
      begin += take;
      if (m_blocks >= kMaxBlocksPerCall) Flush();
    }
  }

  void Flush() {
    if (m_blocks == 0) return;
    Count(&IoCounters::selectionCalls);
    m_used = true;
    m_wrote = m_wrote || m_write;
    if (m_write)
      QORSIM_H5(H5Dwrite, (m_g.dataset, m_g.memType, m_mem, m_file, H5P_DEFAULT, m_buf));
    else
      QORSIM_H5(H5Dread, (m_g.dataset, m_g.memType, m_mem, m_file, H5P_DEFAULT, m_buf));
    m_blocks = 0;
  }

  static void SelectRunsRange(hid_t space, const std::vector<const RunList*>& runs, bool canonical, bool replace,
                              size_t begin, size_t end);
  /// True once values went (were written) through HDF5's chunk cache.
  bool Used() const { return m_used; }
  bool Wrote() const { return m_wrote; }

 private:
  void Open() {
    if (m_file.Get() < 0) {
      m_file = H5Handle(QORSIM_H5(H5Dget_space, (m_g.dataset)));
      m_mem = H5Handle(QORSIM_H5(H5Screate_simple, (static_cast<int>(m_U.size()), m_U.data(), nullptr)));
    }
  }

  const DrawerGeometry& m_g;
  const std::vector<hsize_t>& m_U;
  void* m_buf;
  bool m_write;
  size_t m_blocks = 0;
  bool m_used = false;
  bool m_wrote = false;
  H5Handle m_file;
  H5Handle m_mem;
};

void SelectionBatch::SelectRunsRange(hid_t space, const std::vector<const RunList*>& runs, bool canonical, bool replace,
                                     size_t begin, size_t end) {
  const size_t n = runs.size();
  std::vector<size_t> at(n, 0);
  size_t rest = begin;
  for (size_t d = n; d-- > 0;) {
    at[d] = rest % runs[d]->size();
    rest /= runs[d]->size();
  }
  std::vector<hsize_t> start(n), count(n);
  for (size_t b = begin; b < end; ++b) {
    for (size_t d = 0; d < n; ++d) {
      const Run& r = (*runs[d])[at[d]];
      start[d] = canonical ? r.canon : r.pos;
      count[d] = r.len;
    }
    QORSIM_H5(H5Sselect_hyperslab, (space, (replace && b == begin) ? H5S_SELECT_SET : H5S_SELECT_OR, start.data(),
                                    nullptr, count.data(), nullptr));
    for (size_t d = n; d-- > 0;) {
      if (++at[d] < runs[d]->size()) break;
      at[d] = 0;
    }
  }
}

// One dimension cut at chunk boundaries: the pieces of the runs inside each chunk the region touches.
struct TileDim {
  hsize_t index;  // chunk number along the dimension
  RunList pieces;
  bool full;  // the region covers the chunk's whole extent in this dimension
};

void AppendCoalesced(RunList& list, const Run& r) {
  if (!list.empty() && list.back().pos + list.back().len == r.pos && list.back().canon + list.back().len == r.canon)
    list.back().len += r.len;
  else
    list.push_back(r);
}

// A stretch of a stored chunk read straight from the file: len bytes at offset off of the chunk land at dst.
struct Segment {
  hsize_t off;
  unsigned char* dst;
  size_t len;
};

// Where each contiguous stretch of a stored chunk goes in the canonical buffer, in file order (the walk of
// CrossCopy); stretches adjacent in both the file and the buffer are merged, so a chunk that is one stretch of
// the buffer becomes one segment.
void ChunkSegments(const std::vector<const RunList*>& pieces, const ImageMap& map, unsigned char* buf,
                   const std::vector<hsize_t>& bs, size_t item, std::vector<Segment>& out, size_t d = 0, hsize_t io = 0,
                   hsize_t bo = 0) {
  const RunList& list = *pieces[d];
  const std::vector<hsize_t>& start = map.start[d];
  if (d + 1 == pieces.size()) {
    for (size_t i = 0; i < list.size(); ++i) {
      const Segment s{(io + start[i]) * item, buf + (bo + list[i].canon) * item, list[i].len * item};
      if (!out.empty() && out.back().off + out.back().len == s.off && out.back().dst + out.back().len == s.dst)
        out.back().len += s.len;
      else
        out.push_back(s);
    }
    return;
  }
  for (size_t i = 0; i < list.size(); ++i)
    for (hsize_t k = 0; k < list[i].len; ++k)
      ChunkSegments(pieces, map, buf, bs, item, out, d + 1, io + (start[i] + k) * map.strides[d],
                    bo + (list[i].canon + k) * bs[d]);
}

// preadv (pwritev when write) until every byte of the vector has moved, or a fatal failure that names the cause.
// A short transfer resumes where it stopped, inside a segment if need be.
void MoveFully(bool write, int fd, iovec* iov, int count, off_t offset) {
  while (count > 0) {
    const ssize_t moved = write ? pwritev(fd, iov, count, offset) : preadv(fd, iov, count, offset);
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0)
      QORSIM_FAIL(std::string(write ? "writing a chunk to the file failed: " : "reading a chunk from the file failed: ") +
                  std::strerror(errno) + DescribeWhere());
    if (moved == 0)
      QORSIM_FAIL(std::string(write ? "writing a chunk to the file failed: nothing written"
                                    : "the file ends inside a chunk") +
                  DescribeWhere());
    offset += moved;
    size_t left = static_cast<size_t>(moved);
    while (count > 0 && left >= iov->iov_len) {
      left -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<unsigned char*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
}

// Reads the segments of the chunk stored at address: one preadv per run of file-contiguous segments (at most
// kMaxIov each). Gaps of at most sinkBytes (the part of an edge chunk beyond the drawer) are read into sink
// rather than ending the call.
void ReadSegments(int fd, haddr_t address, const std::vector<Segment>& segs, unsigned char* sink, size_t sinkBytes) {
  iovec iov[kMaxIov];
  for (size_t i = 0; i < segs.size();) {
    const hsize_t first = segs[i].off;
    hsize_t end = first;
    int k = 0;
    while (i < segs.size() && k < kMaxIov) {
      const Segment& s = segs[i];
      if (s.off != end) {
        if (s.off - end > sinkBytes || k + 2 > kMaxIov) break;
        iov[k++] = iovec{sink, static_cast<size_t>(s.off - end)};
        end = s.off;
      }
      iov[k++] = iovec{s.dst, s.len};
      end += s.len;
      ++i;
    }
    MoveFully(false, fd, iov, k, static_cast<off_t>(address + first));
  }
}

// Writes the segments to the chunk stored at address: one pwritev per run of file-contiguous segments (at most
// kMaxIov each); a gap (the part of an edge chunk beyond the drawer) is left as it is in the file.
void WriteSegments(int fd, haddr_t address, const std::vector<Segment>& segs) {
  iovec iov[kMaxIov];
  for (size_t i = 0; i < segs.size();) {
    const hsize_t first = segs[i].off;
    hsize_t end = first;
    int k = 0;
    for (; i < segs.size() && k < kMaxIov && segs[i].off == end; ++i) {
      iov[k++] = iovec{segs[i].dst, segs[i].len};
      end += segs[i].len;
    }
    MoveFully(true, fd, iov, k, static_cast<off_t>(address + first));
  }
}

thread_local std::vector<Segment> t_segments;

}  // namespace

unsigned char* Scratch::Get(Slot slot, size_t bytes) {
  if (t_scratch.bytes[slot] < bytes) {
    mem_Free(t_scratch.data[slot]);
    t_scratch.data[slot] = nullptr;
    t_scratch.bytes[slot] = 0;
    t_scratch.data[slot] = static_cast<unsigned char*>(mem_OperatorNewThrowBuiltin(bytes));
    t_scratch.bytes[slot] = bytes;
  }
  return t_scratch.data[slot];
}

void Scratch::Trim() {
  for (int s = 0; s < 2; ++s)
    if (t_scratch.bytes[s] > kScratchKept) {
      mem_Free(t_scratch.data[s]);
      t_scratch.data[s] = nullptr;
      t_scratch.bytes[s] = 0;
    }
}

size_t SelectRuns(hid_t space, const std::vector<const RunList*>& runs, bool canonical, bool replace) {
  size_t total = 1;
  for (const RunList* r : runs) total *= r->size();
  if (total) SelectionBatch::SelectRunsRange(space, runs, canonical, replace, 0, total);
  return total;
}

namespace {

// Selections went through the dataset's chunk cache (and left written values there).
void MarkCacheUsed(DrawerGeometry& g, bool wrote) {
  StoreLock lock(StoreMutex());
  CacheFlags& cache = g.cache();
  cache.used = true;
  cache.dirty = cache.dirty || wrote;
}

// Calls fn for every combination of one tile per dimension (from the given lists), C order.
template <class Fn>
void ForEachCombo(const std::vector<std::vector<const TileDim*>>& lists, Fn&& fn) {
  const size_t n = lists.size();
  for (const auto& l : lists)
    if (l.empty()) return;
  std::vector<size_t> at(n, 0);
  std::vector<const TileDim*> combo(n);
  for (;;) {
    for (size_t d = 0; d < n; ++d) combo[d] = lists[d][at[d]];
    fn(combo);
    size_t d = n;
    while (d-- > 0) {
      if (++at[d] < lists[d].size()) break;
      at[d] = 0;
    }
    if (d == static_cast<size_t>(-1)) return;
  }
}

// One MoveRegion over a chunked drawer: the region cut into tiles (one chunk's share per dimension), whole chunks
// moved first, then the partial ones.
class RegionMover {
 public:
  RegionMover(DrawerGeometry& g, const std::vector<RunList>& runs, const std::vector<hsize_t>& U, void* buf,
              bool write)
      : m_g(g),
        m_U(U),
        m_write(write),
        m_n(runs.size()),
        m_item(g.itemBytes),
        m_bs(Strides(U)),
        m_cs(Strides(g.chunk)),
        m_bytes(static_cast<unsigned char*>(buf)),
        m_origin(m_n),
        m_extent(m_n),
        m_lo(m_n),
        m_pieces(m_n) {
    const ChunkPath limit = ChunkPathLimit();
    m_direct = g.directChunkIo && limit >= ChunkPath::HDF5_CHUNK;
    // pread needs the chunk's bytes as stored to be the values (unfiltered, in the memory type: directChunkIo)
    // and a descriptor whose offsets are HDF5's addresses.
    m_raw = m_direct && g.fd >= 0 && limit == ChunkPath::RAW_FILE;
    // Raw writes only where HDF5's chunk cache cannot hold a copy of the chunk (emptied first if selections used
    // it).
    m_rawWrite = m_raw && write && g.reopen;
    for (hsize_t c : g.chunk) m_chunkItems *= c;
    m_chunkBytes = m_chunkItems * m_item;
    m_temp = std::make_unique<ChunkBuffer>(m_chunkBytes);
    CutTiles(runs);
  }

  void Run(SelectionBatch& batch) {
    MoveWholeChunks();
    MovePartialChunks(batch);
  }

 private:
  // Every dimension cut at chunk boundaries.
  void CutTiles(const std::vector<RunList>& runs) {
    m_tiles.resize(m_n);
    for (size_t d = 0; d < m_n; ++d) {
      const hsize_t cs = m_g.chunk[d];
      for (const qorsim::Run& r : runs[d]) {
        for (hsize_t p = r.pos; p < r.pos + r.len;) {
          const hsize_t c = p / cs;
          const hsize_t end = std::min((c + 1) * cs, r.pos + r.len);
          if (m_tiles[d].empty() || m_tiles[d].back().index != c) m_tiles[d].push_back(TileDim{c, {}, false});
          AppendCoalesced(m_tiles[d].back().pieces, qorsim::Run{p, end - p, r.canon + (p - r.pos)});
          p = end;
        }
      }
      for (TileDim& t : m_tiles[d]) {
        hsize_t covered = 0;
        for (const qorsim::Run& piece : t.pieces) covered += piece.len;
        t.full = covered == std::min((t.index + 1) * cs, m_g.dims[d]) - t.index * cs;
      }
    }
  }

  // Sets origin and extent of the combination's chunk and its pieces; true for a chunk cut by the drawer's edge.
  bool ChunkOf(const std::vector<const TileDim*>& combo) {
    bool edge = false;
    for (size_t d = 0; d < m_n; ++d) {
      m_origin[d] = combo[d]->index * m_g.chunk[d];
      m_extent[d] = std::min(m_g.chunk[d], m_g.dims[d] - m_origin[d]);
      edge = edge || m_extent[d] < m_g.chunk[d];
      m_pieces[d] = &combo[d]->pieces;
    }
    return edge;
  }

  // Where a chunk is stored. Values that selection writes left in HDF5's chunk cache reach the file (and a new
  // chunk its address) only when the cache is flushed, so flush first when there may be some.
  // A chunk once stored is looked up in the drawer's known places; only chunks not known yet are asked of the
  // chunk index, and a chunk without storage is asked again next time (a write may have stored it since).
  ChunkPlace Locate() {
    {
      StoreLock lock(StoreMutex());
      CacheFlags& cache = m_g.cache();
      if (cache.dirty) {
        QORSIM_H5(H5Dflush, (m_g.dataset));
        cache.dirty = false;
        Count(&IoCounters::cacheFlushes);
      }
      if (m_g.places) {
        const auto& known = m_g.places();
        const auto it = known.find(m_origin);
        if (it != known.end()) return it->second;
      }
    }
    const ChunkPlace place = ChunkLocation(m_g.dataset, m_origin.data());
    Count(&IoCounters::indexQueries);
    if (place.bytes != 0 && place.bytes != m_chunkBytes)
      QORSIM_FAIL("chunk at element " + std::to_string(m_origin[0]) + " is stored with " +
                  std::to_string(place.bytes) + " bytes, not " + std::to_string(m_chunkBytes) + DescribeWhere());
    if (place.bytes != 0 && m_g.places) {
      StoreLock lock(StoreMutex());
      m_g.places().emplace(m_origin, place);
    }
    return place;
  }

  void ReadChunk(const ChunkPlace& place, void* dst) {
    if (m_raw) {
      t_segments.assign(1, Segment{0, static_cast<unsigned char*>(dst), m_chunkBytes});
      ReadSegments(m_g.fd, place.address, t_segments, nullptr, 0);
      return;
    }
    uint32_t filters = 0;
    QORSIM_H5(H5Dread_chunk, (m_g.dataset, H5P_DEFAULT, m_origin.data(), &filters, dst));
    if (filters != 0) QORSIM_FAIL("a chunk came back filtered" + DescribeWhere());
  }

  void WriteChunk(const void* src) {
    QORSIM_H5(H5Dwrite_chunk, (m_g.dataset, H5P_DEFAULT, 0u, m_origin.data(), m_chunkBytes, src));
  }

  // Each stretch of the stored chunk straight to or from its place in the buffer: no chunk image, no second copy.
  void MoveRawChunk(const ChunkPlace& place, bool edge) {
    Count(&IoCounters::rawChunks);
    t_segments.clear();
    ChunkSegments(m_pieces, ImageMap::Chunk(m_pieces, m_origin, m_cs), m_bytes, m_bs, m_item, t_segments);
    if (m_write)
      WriteSegments(m_g.fd, place.address, t_segments);
    else
      ReadSegments(m_g.fd, place.address, t_segments, edge ? m_temp->Get() : nullptr, edge ? m_chunkBytes : 0);
  }

  // 1. Chunks the region covers whole: straight between the file and the buffer.
  void MoveWholeChunks() {
    std::vector<std::vector<const TileDim*>> fullLists(m_n);
    bool anyFull = true;
    for (size_t d = 0; d < m_n; ++d) {
      for (const TileDim& t : m_tiles[d])
        if (m_direct && t.full) fullLists[d].push_back(&t);
      anyFull = anyFull && !fullLists[d].empty();
    }
    if (m_rawWrite && anyFull) {
      StoreLock lock(StoreMutex());
      if (m_g.cache().used) {
        m_g.dataset = m_g.reopen();  // clears the drawer's flags
        Count(&IoCounters::cacheResets);
      }
    }
    ForEachCombo(fullLists, [&](const std::vector<const TileDim*>& combo) { MoveWholeChunk(combo); });
  }

  void MoveWholeChunk(const std::vector<const TileDim*>& combo) {
    const bool edge = ChunkOf(combo);
    for (size_t d = 0; d < m_n; ++d) m_lo[d] = combo[d]->pieces.front().canon;
    // The chunk is one contiguous stretch of the buffer, laid out as in the file, when every dimension after the
    // first one it spans more than one position of covers the whole extent of the buffer.
    bool contiguous = !edge;
    size_t first = 0;
    while (first + 1 < m_n && m_extent[first] == 1) ++first;
    for (size_t d = first + 1; d < m_n && contiguous; ++d) contiguous = m_extent[d] == m_U[d];
    hsize_t off = 0;
    for (size_t d = 0; d < m_n; ++d) off += m_lo[d] * m_bs[d];
    unsigned char* base = m_bytes + off * m_item;
    if (!m_write) {
      const ChunkPlace place = Locate();
      if (place.address == HADDR_UNDEF) {
        Count(contiguous ? &IoCounters::directChunks : &IoCounters::packedChunks);
        FillBox(m_bytes, m_lo, m_extent, m_bs, m_g.fill.data(), m_item);
      } else if (m_raw) {
        MoveRawChunk(place, edge);
      } else if (contiguous) {
        Count(&IoCounters::directChunks);
        ReadChunk(place, base);
      } else {
        Count(&IoCounters::packedChunks);
        ReadChunk(place, m_temp->Get());
        CopyCross(m_pieces, ImageMap::Chunk(m_pieces, m_origin, m_cs), m_temp->Get(), m_bytes, m_bs, m_item, true);
      }
      return;
    }
    if (m_rawWrite) {
      const ChunkPlace place = Locate();
      if (place.address != HADDR_UNDEF) {
        MoveRawChunk(place, edge);
        return;
      }
    }
    Count(contiguous ? &IoCounters::directChunks : &IoCounters::packedChunks);
    if (contiguous) {
      WriteChunk(base);
    } else {
      // The part of an edge chunk beyond the drawer holds the initialisation value, as HDF5 would leave it, so
      // that growing the drawer later shows that value there.
      if (edge) FillItems(m_temp->Get(), m_chunkItems, m_g.fill.data(), m_item);
      CopyCross(m_pieces, ImageMap::Chunk(m_pieces, m_origin, m_cs), m_temp->Get(), m_bytes, m_bs, m_item, false);
      WriteChunk(m_temp->Get());
    }
  }

  // 2. The partial chunks, one by one:
  //  - touched by many scattered blocks: read whole, patched here and written whole (one access each way);
  //  - holding a large piece: one selection between the chunk and a packed image of the piece, unpacked here, so
  //    that HDF5 moves each contiguous stretch of the file at once rather than one stretch per buffer row;
  //  - small pieces: gathered into a few selections straight on the buffer (the batch).
  void MovePartialChunks(SelectionBatch& batch) {
    std::vector<std::vector<const TileDim*>> allLists(m_n);
    for (size_t d = 0; d < m_n; ++d)
      for (const TileDim& t : m_tiles[d]) allLists[d].push_back(&t);
    ForEachCombo(allLists, [&](const std::vector<const TileDim*>& combo) {
      bool full = true;
      size_t blocks = 1, pieceItems = 1;
      for (size_t d = 0; d < m_n; ++d) {
        full = full && combo[d]->full;
        blocks *= combo[d]->pieces.size();
        hsize_t len = 0;
        for (const qorsim::Run& r : combo[d]->pieces) len += r.len;
        pieceItems *= len;
      }
      if (full && m_direct) return;
      ChunkOf(combo);
      if (m_direct && blocks > kDenseChunkBlocks)
        PatchChunk();
      else if (pieceItems * m_item < kImageMinBytes || blocks > kMaxBlocksPerCall)
        batch.Add(m_pieces);
      else
        MoveImagedPiece();
    });
  }

  void PatchChunk() {
    Count(&IoCounters::patchedChunks);
    const ChunkPlace place = Locate();
    if (place.address != HADDR_UNDEF)
      ReadChunk(place, m_temp->Get());
    else
      FillItems(m_temp->Get(), m_chunkItems, m_g.fill.data(), m_item);
    CopyCross(m_pieces, ImageMap::Chunk(m_pieces, m_origin, m_cs), m_temp->Get(), m_bytes, m_bs, m_item, !m_write);
    if (m_write) WriteChunk(m_temp->Get());
  }

  void MoveImagedPiece() {
    Count(&IoCounters::imagedChunks);
    Count(&IoCounters::selectionCalls);
    std::vector<hsize_t> imageExtent;
    const ImageMap map = ImageMap::Tile(m_pieces, imageExtent);
    if (m_fileSpace.Get() < 0) m_fileSpace = H5Handle(QORSIM_H5(H5Dget_space, (m_g.dataset)));
    SelectRuns(m_fileSpace, m_pieces, false, true);
    H5Handle memSpace(QORSIM_H5(H5Screate_simple, (static_cast<int>(m_n), imageExtent.data(), nullptr)));
    unsigned char* image = m_temp->Get();
    MarkCacheUsed(m_g, m_write);
    if (m_write) {
      CopyCross(m_pieces, map, image, m_bytes, m_bs, m_item, false);
      QORSIM_H5(H5Dwrite, (m_g.dataset, m_g.memType, memSpace, m_fileSpace, H5P_DEFAULT, image));
    } else {
      QORSIM_H5(H5Dread, (m_g.dataset, m_g.memType, memSpace, m_fileSpace, H5P_DEFAULT, image));
      CopyCross(m_pieces, map, image, m_bytes, m_bs, m_item, true);
    }
  }

  DrawerGeometry& m_g;
  const std::vector<hsize_t>& m_U;
  const bool m_write;
  const size_t m_n;
  const size_t m_item;
  const std::vector<hsize_t> m_bs, m_cs;
  unsigned char* const m_bytes;
  bool m_direct = false, m_raw = false, m_rawWrite = false;
  size_t m_chunkItems = 1, m_chunkBytes = 0;
  std::unique_ptr<ChunkBuffer> m_temp;
  std::vector<std::vector<TileDim>> m_tiles;
  std::vector<hsize_t> m_origin, m_extent, m_lo;
  std::vector<const RunList*> m_pieces;
  H5Handle m_fileSpace;
};

}  // namespace

void MoveRegion(DrawerGeometry& g, const std::vector<RunList>& runs, const std::vector<hsize_t>& U, void* buf,
                bool write) {
  for (const RunList& r : runs)
    if (r.empty()) return;
  SelectionBatch batch(g, U, buf, write);
  if (g.chunk.empty()) {
    std::vector<const RunList*> all;
    for (const RunList& r : runs) all.push_back(&r);
    batch.Add(all);
  } else {
    RegionMover(g, runs, U, buf, write).Run(batch);
  }
  batch.Flush();
  if (batch.Used()) MarkCacheUsed(g, batch.Wrote());
}

}  // namespace qorsim
