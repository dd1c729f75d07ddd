// QORMtxOrdinalPairs: the one place where operands are paired by ordinal and paired rows are moved.
#include "QORMtxOrdinalPairs.h"

#include <algorithm>

#include "QORMtxUtilities.h"
#include "blac.h"
#include "omi_IntTable.h"

QORMtxOrdinalPairs::QORMtxOrdinalPairs(const omi_IntTable<int>& map) {
  m_src.reserve(static_cast<size_t>(map.Size()));
  m_tgt.reserve(static_cast<size_t>(map.Size()));
  for (omi_IntTableIterator<int> it(map); !it.IsDone(); it.Next()) {
    m_src.push_back(it.CurrentKey());
    m_tgt.push_back(it.CurrentValue());
  }
  BuildRuns();
}

QORMtxOrdinalPairs::QORMtxOrdinalPairs(std::vector<int> sources, std::vector<int> targets)
    : m_src(std::move(sources)), m_tgt(std::move(targets)) {
  BuildRuns();
}

QORMtxOrdinalPairs QORMtxOrdinalPairs::FromArrays(const int* a, int nA, const int* b, int nB) {
  omi_IntTable<int> map;
  QORMtxUtilities::MapIntArrays(a, nA, b, nB, map);
  return QORMtxOrdinalPairs(map);
}

QORMtxOrdinalPairs QORMtxOrdinalPairs::FromCSets(const QORSimCSetID& a, const QORSimCSetID& b) {
  omi_IntTable<int> map;
  QORMtxUtilities::MapCSets(a, b, map);
  return QORMtxOrdinalPairs(map);
}

void QORMtxOrdinalPairs::BuildRuns() {
  m_runs.assign(1, 0);
  for (size_t k = 1; k <= m_src.size(); ++k)
    if (k == m_src.size() || m_src[k] != m_src[k - 1] + 1 || m_tgt[k] != m_tgt[k - 1] + 1)
      m_runs.push_back(static_cast<int>(k));
}

int QORMtxOrdinalPairs::RunOf(int k) const {
  // The last run start not after k.
  const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), k);
  return it == m_runs.begin() ? 0 : static_cast<int>(it - m_runs.begin()) - 1;
}

QORMtxOrdinalPairs QORMtxOrdinalPairs::Select(const std::vector<char>& keep) const {
  std::vector<int> s, t;
  for (size_t k = 0; k < m_src.size(); ++k)
    if (keep[k]) {
      s.push_back(m_src[k]);
      t.push_back(m_tgt[k]);
    }
  return QORMtxOrdinalPairs(std::move(s), std::move(t));
}

void QORMtxOrdinalPairs::MoveRows(double alpha, const double* src, int ldSrc, double* dst, int ldDst, int ncols,
                                  bool add) const {
  const int one = 1;
  ForEachRun(0, Size(), [&](int k, int len) {
    for (int j = 0; j < ncols; ++j) {
      const double* x = src + static_cast<size_t>(j) * ldSrc + m_src[k];
      double* y = dst + static_cast<size_t>(j) * ldDst + m_tgt[k];
      if (add)
        blac_daxpy(&len, &alpha, x, &one, y, &one);
      else
        blac_dcopy(&len, x, &one, y, &one);
    }
  });
}
