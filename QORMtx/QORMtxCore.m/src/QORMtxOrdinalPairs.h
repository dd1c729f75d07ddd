// QORMtxOrdinalPairs: positions of two operands paired by ordinal, in source order, with their contiguous runs.
#pragma once
#include <vector>

#include "QORBasVector.h"
#include "QORSimIDs.h"

template <class V>
class omi_IntTable;

/// \brief The pairs (source position, target position) of a map, sorted by source, and the maximal runs in which
/// both positions advance by one. Built once per operation and reused by every pass: in core a run moves as one
/// block copy per column; a slice of pairs whose stored rows form one run moves as one range transfer, any other
/// as one listed transfer (qormtx_mapped::MoveBlock).
class QORMtxOrdinalPairs {
 public:
  QORMtxOrdinalPairs() = default;
  /// \brief The pairs of map (key = source, value = target) in key order.
  explicit QORMtxOrdinalPairs(const omi_IntTable<int>& map);
  /// \brief Pairs from parallel lists, in the order given.
  QORMtxOrdinalPairs(std::vector<int> sources, std::vector<int> targets);

  /// \brief Pairs of QORMtxUtilities::MapIntArrays (its checks included).
  static QORMtxOrdinalPairs FromArrays(const int* a, int nA, const int* b, int nB);
  static QORMtxOrdinalPairs FromCSets(const QORSimCSetID& a, const QORSimCSetID& b);

  int Size() const { return static_cast<int>(m_src.size()); }
  bool Empty() const { return m_src.empty(); }
  const int* Sources() const { return m_src.data(); }
  const int* Targets() const { return m_tgt.data(); }
  int Source(int k) const { return m_src[k]; }
  int Target(int k) const { return m_tgt[k]; }

  /// \brief Number of runs; run r covers pairs RunStart(r) … RunStart(r + 1) − 1.
  int NumRuns() const { return static_cast<int>(m_runs.size()) - 1; }
  int RunStart(int r) const { return m_runs[r]; }
  /// \brief f(k, len) for every run cut to the slice [k0, k1): pairs k … k + len − 1 are consecutive on both sides.
  template <class F>
  void ForEachRun(int k0, int k1, F f) const {
    for (int r = RunOf(k0); r < NumRuns() && m_runs[r] < k1; ++r) {
      const int a = m_runs[r] < k0 ? k0 : m_runs[r];
      const int b = m_runs[r + 1] > k1 ? k1 : m_runs[r + 1];
      if (b > a) f(a, b - a);
    }
  }
  /// \brief The pairs k with keep[k], renumbered in order.
  QORMtxOrdinalPairs Select(const std::vector<char>& keep) const;

  // ---- Moving paired rows ----
  /// \brief dst(target rows, :) = alpha·src(source rows, :) (+ dst when add), ncols columns, run by run.
  void MoveRows(double alpha, const double* src, int ldSrc, double* dst, int ldDst, int ncols, bool add) const;

 private:
  void BuildRuns();
  int RunOf(int k) const;

  std::vector<int> m_src, m_tgt;
  std::vector<int> m_runs{0};
};
