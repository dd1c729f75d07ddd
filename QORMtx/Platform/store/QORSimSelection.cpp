// QORSimSelection: the region mover: whole chunks by direct chunk I/O, the rest by hyperslab selections.
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

void MoveRegion(DrawerGeometry& g, const std::vector<RunList>& runs, const std::vector<hsize_t>& U, void* buf,
                bool write) {
  const size_t n = runs.size();
  for (const RunList& r : runs)
    if (r.empty()) return;
  SelectionBatch batch(g, U, buf, write);
  std::vector<const RunList*> all;
  for (const RunList& r : runs) all.push_back(&r);
  if (g.chunk.empty()) {
    batch.Add(all);
    batch.Flush();
    return;
  }

  // Cut every dimension at chunk boundaries.
  std::vector<std::vector<TileDim>> tiles(n);
  for (size_t d = 0; d < n; ++d) {
    const hsize_t cs = g.chunk[d];
    for (const Run& r : runs[d]) {
      for (hsize_t p = r.pos; p < r.pos + r.len;) {
        const hsize_t c = p / cs;
        const hsize_t end = std::min((c + 1) * cs, r.pos + r.len);
        if (tiles[d].empty() || tiles[d].back().index != c) tiles[d].push_back(TileDim{c, {}, false});
        AppendCoalesced(tiles[d].back().pieces, Run{p, end - p, r.canon + (p - r.pos)});
        p = end;
      }
    }
    for (TileDim& t : tiles[d]) {
      hsize_t covered = 0;
      for (const Run& piece : t.pieces) covered += piece.len;
      t.full = covered == std::min((t.index + 1) * cs, g.dims[d]) - t.index * cs;
    }
  }
  const ChunkPath limit = ChunkPathLimit();
  const bool direct = g.directChunkIo && limit >= ChunkPath::HDF5_CHUNK;
  // pread needs the chunk's bytes as stored to be the values (unfiltered, in the memory type: directChunkIo) and
  // a descriptor whose offsets are HDF5's addresses.
  const bool raw = direct && g.fd >= 0 && limit == ChunkPath::RAW_FILE;

  const size_t item = g.itemBytes;
  size_t chunkItems = 1;
  for (hsize_t c : g.chunk) chunkItems *= c;
  const size_t chunkBytes = chunkItems * item;
  const std::vector<hsize_t> bs = Strides(U);
  const std::vector<hsize_t> cs = Strides(g.chunk);
  ChunkBuffer temp(chunkBytes);
  auto* bytes = static_cast<unsigned char*>(buf);

  auto chunkOrigin = [&](const std::vector<const TileDim*>& combo, std::vector<hsize_t>& origin,
                         std::vector<hsize_t>& extent) {
    bool edge = false;
    for (size_t d = 0; d < n; ++d) {
      origin[d] = combo[d]->index * g.chunk[d];
      extent[d] = std::min(g.chunk[d], g.dims[d] - origin[d]);
      edge = edge || extent[d] < g.chunk[d];
    }
    return edge;
  };
  // Where a chunk is stored. Values that selection writes left in HDF5's chunk cache reach the file (and a new
  // chunk its address) only when the cache is flushed, so flush first when there may be some.
  auto locate = [&](const std::vector<hsize_t>& origin) {
    if (g.cacheDirty) {
      QORSIM_H5(H5Dflush, (g.dataset));
      g.cacheDirty = false;
      Count(&IoCounters::cacheFlushes);
    }
    const ChunkPlace place = ChunkLocation(g.dataset, origin.data());
    if (place.bytes != 0 && place.bytes != chunkBytes)
      QORSIM_FAIL("chunk at element " + std::to_string(origin[0]) + " is stored with " + std::to_string(place.bytes) +
                  " bytes, not " + std::to_string(chunkBytes) + DescribeWhere());
    return place;
  };
  auto readChunk = [&](const std::vector<hsize_t>& origin, const ChunkPlace& place, void* dst) {
    if (raw) {
      t_segments.assign(1, Segment{0, static_cast<unsigned char*>(dst), chunkBytes});
      ReadSegments(g.fd, place.address, t_segments, nullptr, 0);
      return;
    }
    uint32_t filters = 0;
    QORSIM_H5(H5Dread_chunk, (g.dataset, H5P_DEFAULT, origin.data(), &filters, dst));
    if (filters != 0) QORSIM_FAIL("a chunk came back filtered" + DescribeWhere());
  };
  auto writeChunk = [&](const std::vector<hsize_t>& origin, const void* src) {
    QORSIM_H5(H5Dwrite_chunk, (g.dataset, H5P_DEFAULT, 0u, origin.data(), chunkBytes, src));
  };

  // Iterates over every combination of one tile per dimension (from the given lists), C order.
  auto forEachCombo = [&](const std::vector<std::vector<const TileDim*>>& lists, auto&& fn) {
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
  };

  std::vector<hsize_t> origin(n), extent(n), lo(n);
  std::vector<const RunList*> pieces(n);

  // 1. Chunks the region covers whole: straight between the file and the buffer.
  std::vector<std::vector<const TileDim*>> fullLists(n), allLists(n);
  for (size_t d = 0; d < n; ++d)
    for (const TileDim& t : tiles[d]) {
      allLists[d].push_back(&t);
      if (direct && t.full) fullLists[d].push_back(&t);
    }
  // Raw writes only where HDF5's chunk cache cannot hold a copy of the chunk: empty it first if selections used it.
  const bool rawWrite = raw && write && g.reopen;
  bool anyFull = true;
  for (const auto& l : fullLists) anyFull = anyFull && !l.empty();
  if (rawWrite && anyFull && g.cacheUsed) {
    g.dataset = g.reopen();
    g.cacheUsed = g.cacheDirty = false;
    Count(&IoCounters::cacheResets);
  }
  forEachCombo(fullLists, [&](const std::vector<const TileDim*>& combo) {
    const bool edge = chunkOrigin(combo, origin, extent);
    for (size_t d = 0; d < n; ++d) lo[d] = combo[d]->pieces.front().canon;
    // The chunk is one contiguous stretch of the buffer, laid out as in the file, when every dimension after the
    // first one it spans more than one position of covers the whole extent of the buffer.
    bool contiguous = !edge;
    size_t first = 0;
    while (first + 1 < n && extent[first] == 1) ++first;
    for (size_t d = first + 1; d < n && contiguous; ++d) contiguous = extent[d] == U[d];
    hsize_t off = 0;
    for (size_t d = 0; d < n; ++d) off += lo[d] * bs[d];
    unsigned char* base = bytes + off * item;
    for (size_t d = 0; d < n; ++d) pieces[d] = &combo[d]->pieces;
    if (!write) {
      const ChunkPlace place = locate(origin);
      if (place.address == HADDR_UNDEF) {
        Count(contiguous ? &IoCounters::directChunks : &IoCounters::packedChunks);
        FillBox(bytes, lo, extent, bs, g.fill.data(), item);
      } else if (raw) {
        // Each stretch of the stored chunk straight to its place in the buffer: no chunk image, no second copy.
        Count(&IoCounters::rawChunks);
        t_segments.clear();
        ChunkSegments(pieces, ImageMap::Chunk(pieces, origin, cs), bytes, bs, item, t_segments);
        ReadSegments(g.fd, place.address, t_segments, edge ? temp.Get() : nullptr, edge ? chunkBytes : 0);
      } else if (contiguous) {
        Count(&IoCounters::directChunks);
        readChunk(origin, place, base);
      } else {
        Count(&IoCounters::packedChunks);
        readChunk(origin, place, temp.Get());
        CopyCross(pieces, ImageMap::Chunk(pieces, origin, cs), temp.Get(), bytes, bs, item, true);
      }
      return;
    }
    if (rawWrite) {
      const ChunkPlace place = locate(origin);
      if (place.address != HADDR_UNDEF) {
        Count(&IoCounters::rawChunks);
        t_segments.clear();
        ChunkSegments(pieces, ImageMap::Chunk(pieces, origin, cs), bytes, bs, item, t_segments);
        WriteSegments(g.fd, place.address, t_segments);
        return;
      }
    }
    Count(contiguous ? &IoCounters::directChunks : &IoCounters::packedChunks);
    if (contiguous) {
      writeChunk(origin, base);
    } else {
      // The part of an edge chunk beyond the drawer holds the initialisation value, as HDF5 would leave it, so
      // that growing the drawer later shows that value there.
      if (edge) FillItems(temp.Get(), chunkItems, g.fill.data(), item);
      CopyCross(pieces, ImageMap::Chunk(pieces, origin, cs), temp.Get(), bytes, bs, item, false);
      writeChunk(origin, temp.Get());
    }
  });

  // 2. The partial chunks, one by one:
  //  - touched by many scattered blocks: read whole, patched here and written whole (one access each way);
  //  - holding a large piece: one selection between the chunk and a packed image of the piece, unpacked here, so
  //    that HDF5 moves each contiguous stretch of the file at once rather than one stretch per buffer row;
  //  - small pieces: gathered into a few selections straight on the buffer (the batch).
  H5Handle fileSpace;
  forEachCombo(allLists, [&](const std::vector<const TileDim*>& combo) {
    bool full = true;
    size_t blocks = 1, pieceItems = 1;
    for (size_t d = 0; d < n; ++d) {
      full = full && combo[d]->full;
      blocks *= combo[d]->pieces.size();
      hsize_t len = 0;
      for (const Run& r : combo[d]->pieces) len += r.len;
      pieceItems *= len;
      pieces[d] = &combo[d]->pieces;
    }
    if (full && direct) return;
    if (direct && blocks > kDenseChunkBlocks) {
      chunkOrigin(combo, origin, extent);
      Count(&IoCounters::patchedChunks);
      const ChunkPlace place = locate(origin);
      if (place.address != HADDR_UNDEF)
        readChunk(origin, place, temp.Get());
      else
        FillItems(temp.Get(), chunkItems, g.fill.data(), item);
      CopyCross(pieces, ImageMap::Chunk(pieces, origin, cs), temp.Get(), bytes, bs, item, !write);
      if (write) writeChunk(origin, temp.Get());
      return;
    }
    if (pieceItems * item < kImageMinBytes || blocks > kMaxBlocksPerCall) {
      batch.Add(pieces);
      return;
    }
    Count(&IoCounters::imagedChunks);
    Count(&IoCounters::selectionCalls);
    std::vector<hsize_t> imageExtent;
    const ImageMap map = ImageMap::Tile(pieces, imageExtent);
    if (fileSpace.Get() < 0) fileSpace = H5Handle(QORSIM_H5(H5Dget_space, (g.dataset)));
    SelectRuns(fileSpace, pieces, false, true);
    H5Handle memSpace(QORSIM_H5(H5Screate_simple, (static_cast<int>(n), imageExtent.data(), nullptr)));
    unsigned char* image = temp.Get();
    if (write) {
      CopyCross(pieces, map, image, bytes, bs, item, false);
      QORSIM_H5(H5Dwrite, (g.dataset, g.memType, memSpace, fileSpace, H5P_DEFAULT, image));
      g.cacheDirty = g.cacheUsed = true;
    } else {
      g.cacheUsed = true;
      QORSIM_H5(H5Dread, (g.dataset, g.memType, memSpace, fileSpace, H5P_DEFAULT, image));
      CopyCross(pieces, map, image, bytes, bs, item, true);
    }
  });
  batch.Flush();
  g.cacheDirty = g.cacheDirty || batch.Wrote();
  g.cacheUsed = g.cacheUsed || batch.Used();
}

}  // namespace qorsim
