// QORSimTransfer: checks a transfer's set-up, plans it as position runs per distribution dimension, and moves the
// values: straight between the caller's buffer and the file when the buffer is already in file order, through a
// bounded staging buffer (and a permutation) otherwise.
#define QORSIM_INSIDE_STORE
#include "QORSimTransfer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "QORSimSelection.h"
#include "QORSimSerialized.h"
#include "QORSimStore.h"
#include "mem_Alloc.h"

using namespace qorsim;

namespace {

constexpr uint64_t kStagingBytes = 32ull << 20;  // staging for buffers not in file order, per step

struct DimSetting {
  bool given = false;
  bool isRange = false;
  bool isList = false;          // listed positions of the drawer's set
  std::vector<hsize_t> positions;
  bool ByPosition() const { return isRange || isList; }  // over a collection, not a set
  QORSimCSetID set;
  QORSimCollectionID collection;
  int first = 0;
  int last = -1;
};

// One transfer dimension as planned: its distribution dimension, its member count in the buffer, and where
// each member sits among the distribution dimension's sorted distinct positions (empty: in order).
struct DimPlan {
  int distDim = -1;
  size_t count = 0;
  std::vector<hsize_t> canon;
};

std::string Dim(int t) { return "transfer dimension " + std::to_string(t); }

}  // namespace

struct QORSimTransfer::Impl {
  QORSimDistributionID dist;
  bool read = false;
  bool write = false;
  bool padding = true;
  std::vector<DimSetting> dims;
  int drawer = -1;
  bool makeNew = false;
  bool chunked = false;
  std::vector<int> chunkSizes;
  int extendableDim = -1;
  double fillDouble = 0.0;
  int fillInt = 0;
  bool fillIsInt = false;
  QORSimSerializationType serialization;
  int64_t numNonZero = 0;
  QORSimCSetID extension;

  // The plan, made by CheckView.
  bool checked = false;
  int target = -1;
  int typeKey = QORSimDoubleKey;
  size_t item = 8;
  std::vector<DimPlan> plans;   // per transfer dimension
  std::vector<RunList> runs;    // per distribution dimension
  std::vector<hsize_t> extent;  // per distribution dimension: distinct positions
  size_t paddedInner = 0;
  bool natural = false;
  uint64_t required = 0;
  int extensionDim = -1;
  const SerializedKind* serialized = nullptr;  // set when the transfer moves a serialized (sparse, MEI) drawer
  SerializedTransfer serializedTransfer;

  void* buffers[4] = {nullptr, nullptr, nullptr, nullptr};
  uint64_t bufferBytes[4] = {0, 0, 0, 0};
  bool readOnlyBuffer[4] = {false, false, false, false};

  void Changed() { checked = false; }
  std::string Name() const { return Describe(dist); }
  void Check();
  void CheckExtension(DistributionRecord& record);
  void MatchDimensions(const DistributionRecord& record);
  void CheckNewDrawer();
  bool CheckSerialized(const DistributionRecord& record);
  // Bytes the checks demand in a slot: a serialized kind checks its other slots itself.
  uint64_t SlotBytes(int slot) const { return slot == QORSimbufMain ? required : 0; }
  int TargetDrawer(const DistributionRecord& record, const char* what) const;
  int GridDimension(const DistributionRecord& record, const QORSimCollectionID& coll) const;
  void Plan(const DistributionRecord& record);
  void MakeDrawer();
  void Move(bool isWrite);
  DrawerGeometry Geometry(bool isWrite, std::string& database, std::string& object);
  void MoveStaged(DrawerGeometry& g, bool isWrite);
  void Permute(unsigned char* staging, const std::vector<hsize_t>& slabExtent, hsize_t lo, hsize_t hi, bool toStaging);
};

// ---------------------------------------------------------------------------------------------------------------
// Planning.

namespace {

// Sorted distinct positions as coalesced runs, and each member's canonical index.
void Canonicalize(const std::vector<hsize_t>& pos, RunList& runs, hsize_t& extent, std::vector<hsize_t>& canon) {
  runs.clear();
  canon.clear();
  bool increasing = true;
  for (size_t k = 1; k < pos.size() && increasing; ++k) increasing = pos[k] > pos[k - 1];
  std::vector<hsize_t> sorted;
  const std::vector<hsize_t>* distinct = &pos;
  if (!increasing) {
    sorted = pos;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    distinct = &sorted;
    canon.resize(pos.size());
    for (size_t k = 0; k < pos.size(); ++k)
      canon[k] = static_cast<hsize_t>(std::lower_bound(sorted.begin(), sorted.end(), pos[k]) - sorted.begin());
  }
  for (size_t k = 0; k < distinct->size(); ++k) {
    const hsize_t p = (*distinct)[k];
    if (!runs.empty() && runs.back().pos + runs.back().len == p)
      ++runs.back().len;
    else
      runs.push_back(Run{p, 1, k});
  }
  extent = distinct->size();
}

}  // namespace

void QORSimTransfer::Impl::Check() {
  DistributionRecord& record = Distribution(dist);
  typeKey = record.typeKey;
  item = ItemBytes(typeKey);
  checked = false;
  serialized = nullptr;
  if (!extension.IsNull()) {
    CheckExtension(record);
    return;
  }
  MatchDimensions(record);
  if (CheckSerialized(record)) return;
  if (makeNew) {
    CheckNewDrawer();
    return;
  }
  if (record.drawers.empty()) QORSIM_FAIL("CheckView: " + Name() + " has no drawer to read or write");
  target = TargetDrawer(record, "CheckView");
  Plan(record);
}

int QORSimTransfer::Impl::TargetDrawer(const DistributionRecord& record, const char* what) const {
  const int k = drawer >= 0 ? drawer : (record.drawers.size() == 1 ? 0 : -1);
  if (k < 0)
    QORSIM_FAIL(std::string(what) + " on " + Name() + ", which has " + std::to_string(record.drawers.size()) +
                " drawers: name the drawer with SetDrawer");
  return k;
}

int QORSimTransfer::Impl::GridDimension(const DistributionRecord& record, const QORSimCollectionID& coll) const {
  int d = -1;
  if (coll.ContextID() == dist.ContextID())
    for (size_t e = 0; e < record.grid.size(); ++e)
      if (record.grid[e] == std::make_pair(coll.Number(), coll.Color())) d = static_cast<int>(e);
  return d;
}

// Growth names no dimensions: the set's collection says which dimension grows.
void QORSimTransfer::Impl::CheckExtension(DistributionRecord& record) {
  extensionDim = GridDimension(record, extension.CollectionID());
  if (extensionDim < 0)
    QORSIM_FAIL("SetDimExtension: " + Describe(extension) + " is not over a dimension of " + Name());
  Set(extension);
  target = TargetDrawer(record, "SetDimExtension");
  Drawer(record, target, dist);
  checked = true;
}

// Each transfer dimension to the distribution dimension its set or range runs over, one to one.
void QORSimTransfer::Impl::MatchDimensions(const DistributionRecord& record) {
  const int rank = static_cast<int>(record.grid.size());
  if (static_cast<int>(dims.size()) != rank)
    QORSIM_FAIL("CheckView on " + Name() + ": the transfer names " + std::to_string(dims.size()) +
                " dimensions, the distribution has " + std::to_string(rank));
  plans.assign(static_cast<size_t>(rank), DimPlan());
  std::vector<int> transferOf(static_cast<size_t>(rank), -1);
  for (int t = 0; t < rank; ++t) {
    const DimSetting& setting = dims[static_cast<size_t>(t)];
    if (!setting.given)
      QORSIM_FAIL("CheckView on " + Name() + ": " + Dim(t) + " was never set (SetDim or SetDimOrdinalRange)");
    const QORSimCollectionID coll = setting.ByPosition() ? setting.collection : setting.set.CollectionID();
    const int d = GridDimension(record, coll);
    if (d < 0)
      QORSIM_FAIL("CheckView: " + Dim(t) + " runs over " + Describe(coll) + ", which is not a dimension of " + Name());
    if (transferOf[static_cast<size_t>(d)] >= 0)
      QORSIM_FAIL("CheckView on " + Name() + ": " + Dim(transferOf[static_cast<size_t>(d)]) + " and " + Dim(t) +
                  " both run over distribution dimension " + std::to_string(d));
    transferOf[static_cast<size_t>(d)] = t;
    plans[static_cast<size_t>(t)].distDim = d;
    if (!setting.ByPosition()) Set(setting.set);
  }
}

// Serialized drawers (a new one with a serialization, or an existing one) move whole, through their kind's code.
bool QORSimTransfer::Impl::CheckSerialized(const DistributionRecord& record) {
  if (!makeNew && record.drawers.empty()) return false;
  const int drawerIndex = makeNew ? -1 : TargetDrawer(record, "CheckView");
  const int word = makeNew ? serialization.Word() : record.drawers[static_cast<size_t>(drawerIndex)].serialization;
  if (QORSimSerializationType::FromWord(word).IsStandard()) return false;
  const SerializedKind* registered = SerializedKindOf(word);  // the message is composed only for a refusal
  const SerializedKind& kind = registered ? *registered : FindSerializedKind(word, "CheckView on " + Name());
  SerializedTransfer& t = serializedTransfer;
  t = SerializedTransfer();
  t.dist = dist;
  t.drawer = drawerIndex;
  t.serialization = word;
  t.numNonZero = numNonZero;
  t.sets.resize(dims.size());
  for (size_t k = 0; k < dims.size(); ++k) {
    const size_t d = static_cast<size_t>(plans[k].distDim);
    if (dims[k].ByPosition())
      QORSIM_FAIL("CheckView on " + Name() + ": " + Dim(static_cast<int>(k)) + " is not a set; a serialized drawer " +
                  "moves whole, over its sets");
    if (drawerIndex >= 0 && dims[k].set.Number() != record.drawers[static_cast<size_t>(drawerIndex)].sets[d])
      QORSIM_FAIL("CheckView on " + Name() + ": " + Dim(static_cast<int>(k)) + " names " + Describe(dims[k].set) +
                  ", not the drawer's own set; a serialized drawer moves whole");
    t.sets[d] = dims[k].set;
  }
  t.buffers = buffers;
  t.bytes = bufferBytes;
  kind.Check(t);
  serialized = &kind;
  target = drawerIndex;
  required = kind.RequiredBytes(t, QORSimbufMain);
  checked = true;
  return true;
}

void QORSimTransfer::Impl::CheckNewDrawer() {
  const int rank = static_cast<int>(dims.size());
  for (int t = 0; t < rank; ++t)
    if (dims[static_cast<size_t>(t)].ByPosition())
      QORSIM_FAIL("CheckView on " + Name() + ": a new drawer needs a set for every dimension; " + Dim(t) +
                  (dims[static_cast<size_t>(t)].isRange ? " is a range" : " is a position list"));
  if (chunked && static_cast<int>(chunkSizes.size()) != rank)
    QORSIM_FAIL("SetMakeNewDrawerChunked on " + Name() + " gave " + std::to_string(chunkSizes.size()) +
                " chunk sizes for " + std::to_string(rank) + " dimensions");
  for (int t = 0; chunked && t < rank; ++t)
    if (chunkSizes[static_cast<size_t>(t)] <= 0)
      QORSIM_FAIL("SetMakeNewDrawerChunked on " + Name() + ": chunk size " +
                  std::to_string(chunkSizes[static_cast<size_t>(t)]) + " of " + Dim(t) + " is not positive");
  if (extendableDim >= rank)
    QORSIM_FAIL("SetExtendableDim(" + std::to_string(extendableDim) + ") on " + Name() + " of " +
                std::to_string(rank) + " dimensions");
  size_t inner = static_cast<size_t>(Set(dims.back().set).count);
  paddedInner = padding ? (inner * item + 7) / 8 * 8 / item : inner;
  required = paddedInner * item;
  for (int t = 0; t + 1 < rank; ++t) required *= static_cast<uint64_t>(Set(dims[static_cast<size_t>(t)].set).count);
  target = -1;
  checked = true;
}

void QORSimTransfer::Impl::Plan(const DistributionRecord& record) {
  const DrawerRecord& d = record.drawers.at(static_cast<size_t>(target));
  if (d.serialization != 0)
    QORSIM_FAIL("drawer " + std::to_string(target) + " of " + Name() + " is not a standard drawer; this data store " +
                "reads and writes only standard drawers yet");
  const int rank = static_cast<int>(plans.size());
  runs.assign(static_cast<size_t>(rank), RunList());
  extent.assign(static_cast<size_t>(rank), 0);
  natural = true;
  for (int t = 0; t < rank; ++t) {
    DimPlan& plan = plans[static_cast<size_t>(t)];
    const DimSetting& setting = dims[static_cast<size_t>(t)];
    const size_t dd = static_cast<size_t>(plan.distDim);
    const hsize_t size = d.dims[dd];
    const QORSimCollectionID coll(dist.ContextID(), record.grid[dd].first, record.grid[dd].second);
    const QORSimCSetID drawerSet(coll, d.sets[dd]);
    std::vector<hsize_t> pos;
    bool range = false;
    hsize_t first = 0, count = 0;
    if (setting.isRange) {
      if (setting.first < 0 || setting.last < setting.first - 1 || static_cast<hsize_t>(setting.last + 1) > size)
        QORSIM_FAIL("SetDimOrdinalRange: positions " + std::to_string(setting.first) + " … " +
                    std::to_string(setting.last) + " of " + Dim(t) + " lie outside the drawer's " +
                    std::to_string(size) + " positions (" + Name() + ")");
      range = true;
      first = static_cast<hsize_t>(setting.first);
      count = static_cast<hsize_t>(setting.last - setting.first + 1);
    } else if (setting.isList) {
      pos = setting.positions;
      for (size_t k = 0; k < pos.size(); ++k)
        if (pos[k] >= size)
          QORSIM_FAIL("SetDimPositions: position " + std::to_string(static_cast<long long>(pos[k])) + " (entry " +
                      std::to_string(k) + ") of " + Dim(t) + " lies outside the drawer's " + std::to_string(size) +
                      " positions (" + Name() + ")");
    } else if (setting.set.Number() == drawerSet.Number()) {
      range = true;  // the drawer's own set: every position, in order
      count = size;
    } else {
      const SetRecord& set = LoadedSet(setting.set);
      const PositionIndex& index = IndexOf(drawerSet);
      pos.resize(static_cast<size_t>(set.count));
      for (int k = 0; k < set.count; ++k) {
        const int p = index.Find(set.Ordinal(k));
        if (p < 0)
          QORSIM_FAIL("ordinal " + std::to_string(set.Ordinal(k)) + " (member " + std::to_string(k) + " of " +
                      Describe(setting.set) + ") is not in dimension " + std::to_string(dd) + " of drawer " +
                      std::to_string(target) + " of " + Name());
        pos[static_cast<size_t>(k)] = static_cast<hsize_t>(p);
      }
    }
    if (range) {
      plan.canon.clear();
      plan.count = count;
      if (count) runs[dd].push_back(Run{first, count, 0});
      extent[dd] = count;
    } else {
      plan.count = pos.size();
      Canonicalize(pos, runs[dd], extent[dd], plan.canon);
    }
    natural = natural && plan.distDim == t && plan.canon.empty();
  }
  const size_t inner = plans.back().count;
  paddedInner = padding ? (inner * item + 7) / 8 * 8 / item : inner;
  natural = natural && paddedInner == inner;
  required = paddedInner * item;
  for (int t = 0; t + 1 < rank; ++t) required *= plans[static_cast<size_t>(t)].count;
  checked = true;
}

void QORSimTransfer::Impl::MakeDrawer() {
  DistributionRecord& record = Distribution(dist);
  const size_t rank = record.grid.size();
  DrawerRequest request;
  request.sets.resize(rank);
  if (chunked) request.chunkSizes.resize(rank);
  for (size_t t = 0; t < rank; ++t) {
    const size_t d = static_cast<size_t>(plans[t].distDim);
    request.sets[d] = dims[t].set;
    if (chunked) request.chunkSizes[d] = chunkSizes[t];
  }
  request.extendableDim = extendableDim >= 0 ? plans[static_cast<size_t>(extendableDim)].distDim : -1;
  request.serialization = serialization.Word();
  request.fillDouble = fillDouble;
  request.fillInt = fillInt;
  request.fillIsInt = fillIsInt;
  target = NewDrawer(dist, request);
  makeNew = false;
  // From now on the transfer works on the new drawer, over its own sets.
  Plan(Distribution(dist));
}

// ---------------------------------------------------------------------------------------------------------------
// Moving values.

namespace {

template <class Item>
struct PermuteLoop {
  const std::vector<DimPlan>& plans;
  const std::vector<std::vector<long long>>& offsets;  // per transfer dim: staging offset of member k, -1 outside
  const std::vector<size_t>& callerStride;
  Item* caller;
  Item* staging;
  bool toStaging;

  void Copy(size_t c, long long s) const {
    if (toStaging)
      staging[s] = caller[c];
    else
      caller[c] = staging[s];
  }

  void Run(size_t t, size_t c, long long s) const {
    const size_t rank = plans.size();
    if (rank == 1) {
      const auto& off = offsets[0];
      for (size_t k = 0; k < plans[0].count; ++k)
        if (off[k] >= 0) Copy(c + k, s + off[k]);
      return;
    }
    if (t + 2 < rank) {
      const auto& off = offsets[t];
      for (size_t k = 0; k < plans[t].count; ++k)
        if (off[k] >= 0) Run(t + 1, c + k * callerStride[t], s + off[k]);
      return;
    }
    // The two fastest dimensions, in tiles, so that a transposition touches both buffers in cache-sized pieces.
    const auto& offA = offsets[t];
    const auto& offB = offsets[t + 1];
    const size_t na = plans[t].count, nb = plans[t + 1].count, sa = callerStride[t];
    bool contiguousB = true;
    for (size_t k = 0; k < nb && contiguousB; ++k) contiguousB = offB[k] == offB[0] + static_cast<long long>(k);
    if (contiguousB) {
      for (size_t ka = 0; ka < na; ++ka) {
        if (offA[ka] < 0) continue;
        Item* cp = caller + c + ka * sa;
        Item* sp = staging + s + offA[ka] + offB[0];
        if (toStaging)
          std::memcpy(sp, cp, nb * sizeof(Item));
        else
          std::memcpy(cp, sp, nb * sizeof(Item));
      }
      return;
    }
    constexpr size_t tile = 32;
    for (size_t a0 = 0; a0 < na; a0 += tile)
      for (size_t b0 = 0; b0 < nb; b0 += tile)
        for (size_t ka = a0; ka < std::min(na, a0 + tile); ++ka) {
          if (offA[ka] < 0) continue;
          for (size_t kb = b0; kb < std::min(nb, b0 + tile); ++kb)
            if (offB[kb] >= 0) Copy(c + ka * sa + kb, s + offA[ka] + offB[kb]);
        }
  }
};

}  // namespace

void QORSimTransfer::Impl::Permute(unsigned char* stagingBytes, const std::vector<hsize_t>& slabExtent, hsize_t lo,
                                   hsize_t hi, bool toStaging) {
  const size_t rank = plans.size();
  std::vector<hsize_t> ss(rank, 1);
  for (size_t d = rank; d-- > 1;) ss[d - 1] = ss[d] * slabExtent[d];
  std::vector<std::vector<long long>> offsets(rank);
  for (size_t t = 0; t < rank; ++t) {
    const DimPlan& plan = plans[t];
    const size_t d = static_cast<size_t>(plan.distDim);
    offsets[t].resize(plan.count);
    for (size_t k = 0; k < plan.count; ++k) {
      const hsize_t c = plan.canon.empty() ? k : plan.canon[k];
      if (d == 0 && (c < lo || c >= hi))
        offsets[t][k] = -1;
      else
        offsets[t][k] = static_cast<long long>((d == 0 ? c - lo : c) * ss[d]);
    }
  }
  std::vector<size_t> callerStride(rank, 1);
  if (rank >= 2) callerStride[rank - 2] = paddedInner;
  for (size_t t = rank - 1; t-- > 1;) callerStride[t - 1] = callerStride[t] * plans[t].count;
  void* caller = buffers[QORSimbufMain];
  if (item == 8)
    PermuteLoop<uint64_t>{
        plans,    offsets, callerStride, static_cast<uint64_t*>(caller), reinterpret_cast<uint64_t*>(stagingBytes),
        toStaging}
        .Run(0, 0, 0);
  else
    PermuteLoop<uint32_t>{
        plans,    offsets, callerStride, static_cast<uint32_t*>(caller), reinterpret_cast<uint32_t*>(stagingBytes),
        toStaging}
        .Run(0, 0, 0);
}

DrawerGeometry QORSimTransfer::Impl::Geometry(bool isWrite, std::string& database, std::string& object) {
  DrawerGeometry g;
  StoreLock lock(StoreMutex());
  DistributionRecord& record = Distribution(dist);
  DrawerRecord& d = Drawer(record, target, dist);
  database = Database(dist.ContextID()).path;
  object = record.DrawerPath(target);
  g.dataset = DrawerDataset(dist, record, d);
  g.memType = MemoryType(record.typeKey);
  g.itemBytes = item;
  g.dims = d.dims;
  g.chunk = d.storageChunk;
  g.directChunkIo = d.directChunkIo;
  g.fill = d.fill;
  // A file open twice in the process shares its datasets' chunk caches between the two databases, which this
  // drawer's records cannot see: then whole chunks go through HDF5, which keeps the shared cache right.
  DatabaseRecord& db = Database(dist.ContextID());
  if (isWrite) MarkOpenForWriting(db, true);
  if (db.rawFd >= 0 && QORSIM_H5(H5Fget_obj_count, (db.file, H5F_OBJ_FILE)) == 1) g.fd = db.rawFd;
  g.cache = [this]() -> CacheFlags& { return Drawer(Distribution(dist), target, dist).cache; };
  g.places = [this]() -> std::map<std::vector<hsize_t>, ChunkPlace>& {
    return Drawer(Distribution(dist), target, dist).places;
  };
  g.reopen = [this] {
    StoreLock lock(StoreMutex());
    DistributionRecord& record = Distribution(dist);
    return ReopenDrawerDataset(dist, record, Drawer(record, target, dist));
  };
  return g;
}

void QORSimTransfer::Impl::Move(bool isWrite) {
  std::string database, object;
  DrawerGeometry g = Geometry(isWrite, database, object);
  WhereScope where(database, object);
  for (hsize_t e : extent)
    if (e == 0) return;
  struct Trim {
    ~Trim() { Scratch::Trim(); }
  } trim;
  if (natural)
    MoveRegion(g, runs, extent, buffers[QORSimbufMain], isWrite);
  else
    MoveStaged(g, isWrite);
}

namespace {
// The end of the step that starts at piece i: whole pieces while they fit the budget (at least one).
size_t StepEnd(const RunList& pieces, size_t i, uint64_t inner, uint64_t budget, hsize_t& rows) {
  rows = 0;
  size_t j = i;
  while (j < pieces.size() && (rows == 0 || (rows + pieces[j].len) * inner <= budget)) rows += pieces[j++].len;
  return j;
}
}  // namespace

// Not in file order: steps of whole chunk rows along distribution dimension 0, each staged in file order.
void QORSimTransfer::Impl::MoveStaged(DrawerGeometry& g, bool isWrite) {
  const size_t rank = plans.size();
  uint64_t inner = item;
  for (size_t d = 1; d < rank; ++d) inner *= extent[d];
  const hsize_t chunkRows = g.chunk.empty() ? 1 : g.chunk[0];
  const uint64_t budget = std::max<uint64_t>(kStagingBytes, inner * chunkRows);
  RunList pieces;  // the runs of dimension 0, cut at chunk boundaries
  for (const Run& r : runs[0]) {
    for (hsize_t p = r.pos; p < r.pos + r.len;) {
      const hsize_t end = std::min((p / chunkRows + 1) * chunkRows, r.pos + r.len);
      pieces.push_back(Run{p, end - p, r.canon + (p - r.pos)});
      p = end;
    }
  }
  hsize_t maxRows = 0, rows = 0;
  for (size_t i = 0; i < pieces.size();) {
    i = StepEnd(pieces, i, inner, budget, rows);
    maxRows = std::max(maxRows, rows);
  }
  unsigned char* staging = Scratch::Get(Scratch::STAGING, static_cast<size_t>(maxRows * inner));
  std::vector<RunList> slabRuns = runs;
  std::vector<hsize_t> slabExtent = extent;
  for (size_t i = 0, j = 0; i < pieces.size(); i = j) {
    j = StepEnd(pieces, i, inner, budget, rows);
    const hsize_t lo = pieces[i].canon;
    slabRuns[0].clear();
    for (size_t k = i; k < j; ++k) {
      Run r = pieces[k];
      r.canon -= lo;
      if (!slabRuns[0].empty() && slabRuns[0].back().pos + slabRuns[0].back().len == r.pos)
        slabRuns[0].back().len += r.len;
      else
        slabRuns[0].push_back(r);
    }
    slabExtent[0] = rows;
    Count(&IoCounters::stagedSteps);
    if (isWrite) {
      Permute(staging, slabExtent, lo, lo + rows, true);
      MoveRegion(g, slabRuns, slabExtent, staging, true);
    } else {
      MoveRegion(g, slabRuns, slabExtent, staging, false);
      Permute(staging, slabExtent, lo, lo + rows, false);
    }
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Front door.

QORSimTransfer::QORSimTransfer(const QORSimDistribution& distribution) : QORSimTransfer(distribution.ID()) {}

QORSimTransfer::QORSimTransfer(const QORSimDistributionID& distribution) : m_impl(std::make_unique<Impl>()) {
  StoreLock lock(StoreMutex());
  Distribution(distribution);
  m_impl->dist = distribution;
}

QORSimTransfer::~QORSimTransfer() = default;

void QORSimTransfer::SetRead() { m_impl->read = true; }
void QORSimTransfer::SetWrite() { m_impl->write = true; }
void QORSimTransfer::SetBufferPadding(bool padding) {
  m_impl->padding = padding;
  m_impl->Changed();
}

namespace {
DimSetting& DimAt(QORSimTransfer::Impl& impl, int dim, const char* routine) {
  if (dim < 0 || dim > 63) {
    StoreLock lock(StoreMutex());
    QORSIM_FAIL(std::string(routine) + ": dimension " + std::to_string(dim) + " is out of range (" + impl.Name() + ")");
  }
  if (impl.dims.size() <= static_cast<size_t>(dim)) impl.dims.resize(static_cast<size_t>(dim) + 1);
  impl.Changed();
  return impl.dims[static_cast<size_t>(dim)];
}
}  // namespace

void QORSimTransfer::SetDim(int dim, const QORSimCSetID& set) {
  if (set.IsNull()) {
    StoreLock lock(StoreMutex());
    QORSIM_FAIL("SetDim(" + std::to_string(dim) + ") with a null set (" + m_impl->Name() + ")");
  }
  DimSetting& setting = DimAt(*m_impl, dim, "SetDim");
  setting = DimSetting();
  setting.given = true;
  setting.set = set;
}

void QORSimTransfer::SetDimOrdinalRange(int dim, const QORSimCollectionID& collection, int first, int last) {
  DimSetting& setting = DimAt(*m_impl, dim, "SetDimOrdinalRange");
  setting = DimSetting();
  setting.given = true;
  setting.isRange = true;
  setting.collection = collection;
  setting.first = first;
  setting.last = last;
}

void QORSimTransfer::SetDimPositions(int dim, const QORSimCollectionID& collection, const int* positions, int count,
                                     int offset) {
  DimSetting& setting = DimAt(*m_impl, dim, "SetDimPositions");
  setting = DimSetting();
  if (count < 0 || (count > 0 && !positions)) {
    StoreLock lock(StoreMutex());
    QORSIM_FAIL("SetDimPositions(" + std::to_string(dim) + ") with " + std::to_string(count) +
                " positions and " + (positions ? "a list" : "no list") + " (" + m_impl->Name() + ")");
  }
  setting.given = true;
  setting.isList = true;
  setting.collection = collection;
  setting.positions.resize(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const long long p = static_cast<long long>(positions[k]) + offset;
    // A negative position wraps to a huge one, which the plan reports as outside the drawer.
    setting.positions[static_cast<size_t>(k)] = p < 0 ? ~hsize_t(0) : static_cast<hsize_t>(p);
  }
}

void QORSimTransfer::SetDims(const QORSimArray<QORSimCSetID>& sets) {
  for (int i = 0; i < sets.Size(); ++i) SetDim(i, sets[i]);
}

void QORSimTransfer::SetDrawer(const QORSimDrawerID& drawer) {
  StoreLock lock(StoreMutex());
  if (drawer.DistributionID() != m_impl->dist)
    QORSIM_FAIL("SetDrawer: drawer " + std::to_string(drawer.Index()) + " belongs to " +
                Describe(drawer.DistributionID()) + ", the transfer to " + m_impl->Name());
  Drawer(Distribution(m_impl->dist), drawer.Index(), m_impl->dist);
  m_impl->drawer = drawer.Index();
  m_impl->Changed();
}

void QORSimTransfer::SetLookInOnlyOneDrawer() { m_impl->Changed(); }

QORSimDrawerID QORSimTransfer::DrawerID() const {
  return m_impl->target >= 0 ? QORSimDrawerID(m_impl->dist, m_impl->target) : QORSimDrawerID();
}

void QORSimTransfer::SetMakeNewDrawer() {
  m_impl->makeNew = true;
  m_impl->chunked = false;
  m_impl->chunkSizes.clear();
  m_impl->Changed();
}

void QORSimTransfer::SetMakeNewDrawerChunked(const QORSimArray<int>& chunkSizes) {
  m_impl->makeNew = true;
  m_impl->chunked = true;
  m_impl->chunkSizes.assign(chunkSizes.begin(), chunkSizes.end());
  m_impl->Changed();
}

void QORSimTransfer::SetExtendableDim(int dim) {
  m_impl->extendableDim = dim;
  m_impl->Changed();
}

void QORSimTransfer::SetInitializationValue(double value) {
  m_impl->fillDouble = value;
  m_impl->fillIsInt = false;
}

void QORSimTransfer::SetInitializationValue(int value) {
  m_impl->fillInt = value;
  m_impl->fillIsInt = true;
}

void QORSimTransfer::SetSerialization(const QORSimSerializationType& serialization) {
  m_impl->serialization = serialization;
  m_impl->Changed();
}

void QORSimTransfer::SetSparseNNonzero(int64_t numNonZero) { m_impl->numNonZero = numNonZero; }

void QORSimTransfer::InitializePersistentDrawer() {
  StoreLock lock(StoreMutex());
  if (!m_impl->checked || !m_impl->makeNew)
    QORSIM_FAIL("InitializePersistentDrawer on " + m_impl->Name() +
                " needs SetMakeNewDrawer (or SetMakeNewDrawerChunked) and CheckView first");
  if (m_impl->serialized)
    QORSIM_FAIL("InitializePersistentDrawer on " + m_impl->Name() + ": a serialized drawer is made with its values " +
                "(SetBuffer and ExecWrite)");
  m_impl->MakeDrawer();
}

void QORSimTransfer::SetDimExtension(const QORSimCSetID& set) {
  StoreLock lock(StoreMutex());
  if (set.IsNull()) QORSIM_FAIL("SetDimExtension with a null set (" + m_impl->Name() + ")");
  m_impl->extension = set;
  m_impl->Changed();
}

void QORSimTransfer::InitializeExtension() {
  StoreLock lock(StoreMutex());
  if (!m_impl->checked || m_impl->extension.IsNull())
    QORSIM_FAIL("InitializeExtension on " + m_impl->Name() + " needs SetDimExtension and CheckView first");
  ExtendDrawer(m_impl->dist, m_impl->target, m_impl->extensionDim, m_impl->extension);
  m_impl->extension = QORSimCSetID();
  m_impl->Changed();
}

void QORSimTransfer::CheckView() {
  StoreLock lock(StoreMutex());
  m_impl->Check();
}

uint64_t QORSimTransfer::RequiredBufferSize(int slot) const {
  StoreLock lock(StoreMutex());
  if (!m_impl->checked) QORSIM_FAIL("RequiredBufferSize on " + m_impl->Name() + " before CheckView");
  if (slot < 0 || slot > QORSimbufDiagonal) QORSIM_FAIL("buffer slot " + std::to_string(slot) + " does not exist");
  if (m_impl->serialized) return m_impl->serialized->RequiredBytes(m_impl->serializedTransfer, slot);
  return slot == QORSimbufMain ? m_impl->required : 0;
}

void QORSimTransfer::SetBuffer(int slot, void* data, uint64_t bytes) {
  if (slot < 0 || slot > QORSimbufDiagonal) {
    StoreLock lock(StoreMutex());
    QORSIM_FAIL("buffer slot " + std::to_string(slot) + " does not exist (" + m_impl->Name() + ")");
  }
  m_impl->buffers[slot] = data;
  m_impl->bufferBytes[slot] = bytes;
  m_impl->readOnlyBuffer[slot] = false;
}

void QORSimTransfer::SetBuffer(int slot, const void* data, uint64_t bytes) {
  SetBuffer(slot, const_cast<void*>(data), bytes);
  m_impl->readOnlyBuffer[slot] = true;
}

void QORSimTransfer::RelinquishBuffers() {
  for (int s = 0; s < 4; ++s) {
    m_impl->buffers[s] = nullptr;
    m_impl->bufferBytes[s] = 0;
    m_impl->readOnlyBuffer[s] = false;
  }
}

namespace {
void CheckBuffer(const QORSimTransfer::Impl& impl, const char* routine, bool mode, const char* setter) {
  if (!mode)
    QORSIM_FAIL(std::string(routine) + " on a transfer of " + impl.Name() + " that was not set up with " + setter);
  if (!impl.checked) QORSIM_FAIL(std::string(routine) + " on " + impl.Name() + " before CheckView");
  for (int slot = 0; slot < 4; ++slot) {
    const uint64_t need = impl.SlotBytes(slot);
    const std::string which = slot == QORSimbufMain ? "the buffer" : "buffer " + std::to_string(slot);
    if (need > 0 && !impl.buffers[slot])
      QORSIM_FAIL(std::string(routine) + " on " + impl.Name() + " without " +
                  (slot == QORSimbufMain ? "a buffer (SetBuffer)" : which + " (SetBuffer)"));
    if (impl.bufferBytes[slot] < need)
      QORSIM_FAIL(std::string(routine) + " on " + impl.Name() + ": " + which + " holds " +
                  std::to_string(impl.bufferBytes[slot]) + " bytes, the transfer needs " + std::to_string(need));
  }
}
}  // namespace

void QORSimTransfer::ExecRead() {
  {
    StoreLock lock(StoreMutex());
    CheckBuffer(*m_impl, "ExecRead", m_impl->read, "SetRead");
    if (m_impl->makeNew) QORSIM_FAIL("ExecRead on " + m_impl->Name() + ": the new drawer holds nothing to read yet");
    if (m_impl->readOnlyBuffer[QORSimbufMain]) QORSIM_FAIL("ExecRead on " + m_impl->Name() + " into a const buffer");
    if (m_impl->serialized) return m_impl->serialized->Read(m_impl->serializedTransfer);
  }
  m_impl->Move(false);
}

void QORSimTransfer::ExecWrite() {
  {
    StoreLock lock(StoreMutex());
    CheckBuffer(*m_impl, "ExecWrite", m_impl->write, "SetWrite");
    WritableDatabase(m_impl->dist.ContextID(), "write values");
    if (m_impl->serialized) {
      m_impl->target = m_impl->serializedTransfer.drawer = m_impl->serialized->Write(m_impl->serializedTransfer);
      m_impl->makeNew = false;
      return;
    }
    if (m_impl->makeNew) m_impl->MakeDrawer();
  }
  m_impl->Move(true);
}
