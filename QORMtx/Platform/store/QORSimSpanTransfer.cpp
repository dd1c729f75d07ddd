// QORSimSpanTransfer: see the header.
#include "QORSimSpanTransfer.h"

QORSimSpan QORSimSpan::Range(const QORSimCollectionID& collection, int first, int last) {
  QORSimSpan span{QORSimCSetID()};
  span.kind = RANGE;
  span.collection = collection;
  span.first = first;
  span.last = last;
  return span;
}

QORSimSpan QORSimSpan::Positions(const QORSimCollectionID& collection, const int* positions, int count, int offset) {
  QORSimSpan span{QORSimCSetID()};
  span.kind = POSITIONS;
  span.collection = collection;
  span.positions = positions;
  span.count = count;
  span.offset = offset;
  return span;
}

QORSimSpanTransfer::QORSimSpanTransfer(const QORSimDistributionID& distribution, bool write,
                                       std::initializer_list<QORSimSpan> dims, bool padding)
    : QORSimSpanTransfer(distribution, write, dims.begin(), static_cast<int>(dims.size()), padding) {}

QORSimSpanTransfer::QORSimSpanTransfer(const QORSimDistributionID& distribution, bool write, const QORSimSpan* dims,
                                       int numDims, bool padding)
    : m_transfer(distribution), m_write(write) {
  if (write)
    m_transfer.SetWrite();
  else
    m_transfer.SetRead();
  m_transfer.SetBufferPadding(padding);
  SetDims(m_transfer, dims, numDims);
  m_transfer.CheckView();
  m_required = m_transfer.RequiredBufferSize(QORSimbufMain);
}

void QORSimSpanTransfer::SetDims(QORSimTransfer& t, const QORSimSpan* dims, int numDims) {
  for (int d = 0; d < numDims; ++d) {
    const QORSimSpan& s = dims[d];
    switch (s.kind) {
      case QORSimSpan::RANGE:
        t.SetDimOrdinalRange(d, s.collection, s.first, s.last);
        break;
      case QORSimSpan::SET:
        t.SetDim(d, s.set);
        break;
      case QORSimSpan::POSITIONS:
        t.SetDimPositions(d, s.collection, s.positions, s.count, s.offset);
        break;
    }
  }
}

void QORSimSpanTransfer::Execute(void* buffer, uint64_t bytes) {
  m_transfer.SetBuffer(QORSimbufMain, buffer, bytes);
  if (m_write)
    m_transfer.ExecWrite();
  else
    m_transfer.ExecRead();
  m_transfer.RelinquishBuffers();
}
