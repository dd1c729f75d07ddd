// QORMtxBulkMultiMatrix: element matrices in one value stream, with a location table and index sets stored once.
#include "QORMtxBulkMultiMatrix.h"

#include <algorithm>

#include "QORMtxAssert.h"
#include "QORMtxMatrix.h"
#include "QORMtxStream.h"
#include "QORMtxUtilities.h"
#include "QORSim.h"

QORMtxBulkMultiMatrix::QORMtxBulkMultiMatrix(const QORSimDistributionID& loc, const QORSimDistributionID& ind,
                                             const QORSimDistributionID& val, bool symmetric, int extCols) {
  Initialize(loc, ind, val, symmetric, extCols);
}

QORMtxBulkMultiMatrix::~QORMtxBulkMultiMatrix() { Reset(); }

void QORMtxBulkMultiMatrix::Reset(const QORSimDistributionID& loc, const QORSimDistributionID& ind,
                                  const QORSimDistributionID& val, bool symmetric, int extCols) {
  Reset();
  Initialize(loc, ind, val, symmetric, extCols);
}

void QORMtxBulkMultiMatrix::Initialize(const QORSimDistributionID& loc, const QORSimDistributionID& ind,
                                       const QORSimDistributionID& val, bool symmetric, int extCols) {
  if (loc.IsNull() || ind.IsNull() || val.IsNull()) return;
  m_locDist = QORSimDistribution(loc);
  m_indDist = QORSimDistribution(ind);
  m_valDist = QORSimDistribution(val);
  QORMTX_ASSERT(m_locDist.NumDimensions()==2 && "Location distribution must be 2-D");
  QORMTX_ASSERT(m_locDist.RangeType().TypeKey()==QORSimIntKey && "Location distribution range type must be integer");
  ReadLocation();
  QORMTX_ASSERT(m_indDist.NumDimensions()==1 && "Indices distribution must be 1-D");
  QORMTX_ASSERT(m_indDist.RangeType().TypeKey()==QORSimIntKey && "Indices distribution range type must be integer");
  ReadIndices();
  m_stream = new QORMtxStream(m_valDist, extCols, 0, 0);
  m_symmetric = symmetric;
  m_k = 0;
}

void QORMtxBulkMultiMatrix::Reset() {
  // Only what was added since opening is written: a table read from the store stays as it is.
  if (m_ids.size() > m_size0) {
    QORMTX_ASSERT(m_size0==0 && "Extending pre-existing data not supported");
    FlushPending();  // the values before the table that locates them
    WriteLocation();
  }
  m_locDist = QORSimDistribution();
  m_indDist = QORSimDistribution();
  m_valDist = QORSimDistribution();
  m_ids.Clear();
  m_locations.Clear();
  m_indsets.Clear();
  m_fullIndsets.clear();
  m_size0 = 0;
  m_k = 0;
  m_symmetric = false;
  delete m_stream;
  m_stream = nullptr;
  m_pending.Clear();
  m_ahead.Clear();
  m_aheadUsed = 0;
}

// ---- Tables ----

void QORMtxBulkMultiMatrix::ReadLocation() {
  const QORSimArray<QORSimDrawerDescription> drawers = m_locDist.QueryDrawers();
  QORMTX_ASSERT(drawers.Size()<=1 && "Location distribution may have only one drawer");
  m_ids.clear();
  m_locations.clear();
  m_size0 = 0;
  if (drawers.Size() == 0) return;
  const QORSimDrawerDescription& d = drawers[0];
  const int widLoc = QORSimCSet(d.Compartment().CSetID(1)).Size();
  QORMTX_ASSERT(widLoc==1 && "Location drawer width must be 1");
  const QORSimCSet idSet(d.Compartment().CSetID(0));
  const int n = idSet.Size();
  m_ids.resize(n);
  m_locations.resize(n);
  if (n > 0) {
    idSet.OrderedMembers(m_ids.data());
    QORMtxDrawerCache::ReadWhole(m_locDist, d, m_locations.data(), static_cast<uint64_t>(n) * sizeof(int));
  }
  m_size0 = n;
}

void QORMtxBulkMultiMatrix::ReadIndices() {
  m_indsets.clear();
  const QORSimArray<QORSimDrawerDescription> drawers = m_indDist.QueryDrawers();
  for (const QORSimDrawerDescription& d : drawers) {
    QORBasVector<int> set(QORSimCSet(d.Compartment().CSetID(0)).Size());
    QORMtxDrawerCache::ReadWhole(m_indDist, d, set.data(), static_cast<uint64_t>(set.size()) * sizeof(int));
    m_indsets.push_back(set);
  }
}

void QORMtxBulkMultiMatrix::WriteLocation() {
  const QORSimGrid grid = m_locDist.Grid();
  QORSimCollection ids(grid.CollectionID(0)), width(grid.CollectionID(1));
  QORSimTransfer t(m_locDist);
  t.SetMakeNewDrawer();
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetDim(0, ids.CreateOrderedCSet(m_ids.data(), m_ids.size()));
  t.SetDim(1, width.CreateCSetStrided(0, 1, 1));
  t.CheckView();
  t.SetBuffer(static_cast<const void*>(m_locations.data()), static_cast<uint64_t>(m_locations.size()) * sizeof(int));
  t.ExecWrite();
  t.RelinquishBuffers();
}

void QORMtxBulkMultiMatrix::WriteIndices(int n, const int* indices) {
  QORSimCollection positions(m_indDist.Grid().CollectionID(0));
  QORSimTransfer t(m_indDist);
  t.SetMakeNewDrawer();
  t.SetWrite();
  t.SetBufferPadding(false);
  t.SetDim(0, positions.CreateCSetStrided(0, n, 1));
  t.CheckView();
  t.SetBuffer(static_cast<const void*>(indices), static_cast<uint64_t>(n) * sizeof(int));
  t.ExecWrite();
  t.RelinquishBuffers();
}

// ---- Writing ----

void QORMtxBulkMultiMatrix::AddMatrix(int id, int n, const int* indices, const double* values) {
  QORMTX_ASSERT(m_stream && "AddMatrix on a bulk family that is not open");
  m_ids.push_back(id);
  int count = 0;
  if (n < 0) {
    m_locations.push_back(n);
    count = FullLength(-n);
  } else {
    int found = -1;
    for (int s = 0; s < m_indsets.size() && found < 0; ++s)
      if (m_indsets[s].size() == n && std::equal(indices, indices + n, m_indsets[s].begin())) found = s;
    if (found < 0) {
      found = m_indsets.size();
      m_indsets.push_back(QORBasVector<int>(indices, indices + n));
      WriteIndices(n, indices);
    }
    m_locations.push_back(found);
    count = n;
  }
  if (count <= 0) return;
  // A family written after it was read continues where the reads left the stream, as without the read-ahead.
  m_ahead.resize(0);
  m_aheadUsed = 0;
  m_pending.insert(m_pending.end(), values, values + count);
  if (m_pending.size() >= PieceLength()) FlushPending();
}

// ---- Pieces ----

int QORMtxBulkMultiMatrix::PieceLength() const {
  constexpr double kPieceGb = 1.0 / 64, kPieceFraction = 0.01;  // 16 MiB at most, and 1 % of the memory
  const int rows = m_stream->NumRows();
  return std::max(1, QORMtxUtilities::MaxDoublesInBuffer(kPieceGb, kPieceFraction) / rows) * rows;
}

void QORMtxBulkMultiMatrix::FlushPending() const {
  if (m_pending.empty()) return;
  m_stream->Write(m_pending.data(), m_pending.size());
  m_pending.resize(0);  // keeps its room for the next piece
}

void QORMtxBulkMultiMatrix::ReadAhead(double* values, int n) const {
  while (n > 0) {
    if (m_aheadUsed == m_ahead.size()) {
      const long long rows = m_stream->NumRows();
      const long long left =
          rows * m_stream->NumCols() - (m_stream->CurrentColumn() * rows + m_stream->CurrentRow());
      const long long len = std::min<long long>(std::max(PieceLength(), n), left);
      // Past the end of the stream: the stream's own read refuses it ("endCol < NumCols()").
      if (len <= 0) return m_stream->Read(values, n);
      m_ahead.resize(static_cast<int>(len));
      m_stream->Read(m_ahead.data(), static_cast<int>(len));
      m_aheadUsed = 0;
    }
    const int take = std::min(n, m_ahead.size() - m_aheadUsed);
    std::copy(m_ahead.data() + m_aheadUsed, m_ahead.data() + m_aheadUsed + take, values);
    m_aheadUsed += take;
    values += take;
    n -= take;
  }
}

// ---- Reading ----

int QORMtxBulkMultiMatrix::GetId(int k) const {
  QORMTX_ASSERT(0<=k && k<NumMatrices() && "GetId() index is out of range");
  return m_ids[k];
}

int QORMtxBulkMultiMatrix::NumEntries(int k) const {
  QORMTX_ASSERT(0<=k && k<NumMatrices() && "NumEntries() index is out of range");
  const int location = m_locations[k];
  return location >= 0 ? m_indsets[location].size() : FullLength(-location);
}

const int* QORMtxBulkMultiMatrix::GetIndset(int k, int& n) const {
  const int location = m_locations[k];
  if (location >= 0) {
    n = m_indsets[location].size();
    return m_indsets[location].data();
  }
  const int m = -location;
  QORBasVector<int>& full = m_fullIndsets[m];
  if (full.empty())
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < (m_symmetric ? j + 1 : m); ++i) full.push_back(j * m + i);
  n = full.size();
  return full.data();
}

const int* QORMtxBulkMultiMatrix::ReadNext(int k, int& n, double* values) const {
  QORMTX_ASSERT(k == m_k && "Random access not yet implemented");
  const int* positions = GetIndset(k, n);
  FlushPending();
  if (n > 0) ReadAhead(values, n);
  ++m_k;
  return positions;
}

void QORMtxBulkMultiMatrix::GetEntries(int k, int* indices, double* values) const {
  QORMTX_ASSERT(0<=k && k<NumMatrices() && "GetEntries() index is out of range");
  int n = 0;
  const int* positions = ReadNext(k, n, values);
  std::copy(positions, positions + n, indices);
}

const int* QORMtxBulkMultiMatrix::GetEntries(int k, double* values) const {
  QORMTX_ASSERT(0<=k && k<NumMatrices() && "GetEntries() index is out of range");
  int n = 0;
  return ReadNext(k, n, values);
}

void QORMtxBulkMultiMatrix::GetMatrix(int k, QORMtxMatrix& out) const {
  QORMTX_ASSERT(0<=k && k<NumMatrices() && "GetMatrix() index is out of range");
  const int size = NumEntries(k);
  QORBasVector<double> values(size > 0 ? size : 0);
  int n = 0;
  const int* positions = size > 0 ? ReadNext(k, n, values.data()) : nullptr;
  Scatter(size, positions, values.data(), m_symmetric, out);
}

void QORMtxBulkMultiMatrix::Sizes(int& numIndsets, int& numFull, int& numRows, int& numCols) const {
  if (m_stream) FlushPending();  // the stream's shape counts every value added
  numIndsets = m_indsets.size();
  numFull = static_cast<int>(std::count_if(m_locations.begin(), m_locations.end(), [](int l) { return l < 0; }));
  numRows = m_stream ? m_stream->NumRows() : 0;
  numCols = m_stream ? m_stream->NumCols() : 0;
}
