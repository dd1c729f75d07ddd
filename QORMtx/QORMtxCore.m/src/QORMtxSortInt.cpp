// QORMtxSortInt: introsort of int keys, optionally carrying a companion array along.
#include "QORMtxSortInt.h"

#include <cstddef>

#include "QORMtxCoreModuleC.h"

namespace {

using Index = std::ptrdiff_t;

// Ranges of at most this many elements are left to the final insertion sort.
constexpr Index kThreshold = 16;

// One template serves both forms: with Paired, every move or exchange of a key is repeated on the
// companion entry at the same position; without it the companion code compiles away.
template <bool Paired>
class IntroSorter {
 public:
  IntroSorter(int* keys, int* companion) : m_key(keys), m_comp(companion) {}

  void Sort(Index n) {
    if (n < 2) return;
    IntroLoop(0, n, 2 * FloorLog2(n));
    FinalInsertionSort(0, n);
  }

 private:
  int* m_key;
  int* m_comp;

  static int FloorLog2(Index n) {
    int k = 0;
    for (; n > 1; n >>= 1) ++k;
    return k;
  }

  void Swap(Index i, Index j) {
    const int t = m_key[i];
    m_key[i] = m_key[j];
    m_key[j] = t;
    if constexpr (Paired) {
      const int u = m_comp[i];
      m_comp[i] = m_comp[j];
      m_comp[j] = u;
    }
  }

  void Move(Index dst, Index src) {
    m_key[dst] = m_key[src];
    if constexpr (Paired) m_comp[dst] = m_comp[src];
  }

  void Put(Index dst, int key, int comp) {
    m_key[dst] = key;
    if constexpr (Paired) m_comp[dst] = comp;
  }

  int Comp(Index i) const {
    if constexpr (Paired) return m_comp[i];
    return 0;
  }

  static int Median(int a, int b, int c) {
    if (a < b) {
      if (b < c) return b;
      return a < c ? c : a;
    }
    if (a < c) return a;
    return b < c ? c : b;
  }

  // Hoare partition without bounds checks: the median-of-three pivot lies inside the range, so each scan
  // stops at an element not less (not greater) than it before leaving the range.
  Index Partition(Index lo, Index hi, int pivot) {
    for (;;) {
      while (m_key[lo] < pivot) ++lo;
      --hi;
      while (pivot < m_key[hi]) --hi;
      if (!(lo < hi)) return lo;
      Swap(lo, hi);
      ++lo;
    }
  }

  // Quicksort down to ranges of kThreshold, recursing on the right part and looping on the left, and
  // falling back to heap sort when the depth budget runs out (bad pivots, e.g. organ-pipe input).
  void IntroLoop(Index lo, Index hi, int depthLimit) {
    while (hi - lo > kThreshold) {
      if (depthLimit == 0) {
        HeapSort(lo, hi);
        return;
      }
      --depthLimit;
      const int pivot = Median(m_key[lo], m_key[lo + (hi - lo) / 2], m_key[hi - 1]);
      const Index cut = Partition(lo, hi, pivot);
      IntroLoop(cut, hi, depthLimit);
      hi = cut;
    }
  }

  // Max-heap over [lo, hi), children of node i (relative) at 2i + 1 and 2i + 2.
  void SiftDown(Index lo, Index node, Index len, int key, int comp) {
    Index hole = node;
    for (Index child = 2 * hole + 1; child < len; child = 2 * hole + 1) {
      if (child + 1 < len && m_key[lo + child] < m_key[lo + child + 1]) ++child;
      if (!(key < m_key[lo + child])) break;
      Move(lo + hole, lo + child);
      hole = child;
    }
    Put(lo + hole, key, comp);
  }

  void HeapSort(Index lo, Index hi) {
    const Index len = hi - lo;
    for (Index node = len / 2 - 1; node >= 0; --node) SiftDown(lo, node, len, m_key[lo + node], Comp(lo + node));
    for (Index end = len - 1; end > 0; --end) {
      const int key = m_key[lo + end];
      const int comp = Comp(lo + end);
      Move(lo + end, lo);
      SiftDown(lo, 0, end, key, comp);
    }
  }

  // Shifts the element at i left until its left neighbour is not greater; needs a smaller-or-equal
  // element somewhere to its left as a sentinel.
  void UnguardedLinearInsert(Index i) {
    const int key = m_key[i];
    const int comp = Comp(i);
    Index j = i - 1;
    while (key < m_key[j]) {
      Move(j + 1, j);
      --j;
    }
    Put(j + 1, key, comp);
  }

  void InsertionSort(Index lo, Index hi) {
    for (Index i = lo + 1; i < hi; ++i) {
      if (m_key[i] < m_key[lo]) {  // new minimum: shift the whole prefix
        const int key = m_key[i];
        const int comp = Comp(i);
        for (Index j = i; j > lo; --j) Move(j, j - 1);
        Put(lo, key, comp);
      } else {
        UnguardedLinearInsert(i);
      }
    }
  }

  // After the quicksort phase every element is within its kThreshold-sized partition, and the first
  // partition holds the minimum, which then guards the unguarded inserts of everything beyond it.
  void FinalInsertionSort(Index lo, Index hi) {
    if (hi - lo > kThreshold) {
      InsertionSort(lo, lo + kThreshold);
      for (Index i = lo + kThreshold; i < hi; ++i) UnguardedLinearInsert(i);
    } else {
      InsertionSort(lo, hi);
    }
  }
};

}  // namespace

void QORMtxSortInt1(int* first, int* last) { IntroSorter<false>(first, nullptr).Sort(last - first); }

void QORMtxSortInt2(int* first, int* last, int* first2, int* /*last2*/) {
  IntroSorter<true>(first, first2).Sort(last - first);
}

extern "C" {

void QORMtxsortint1(int* a, const int* n) { IntroSorter<false>(a, nullptr).Sort(*n); }

void QORMtxsortint2(int* a, int* companion, const int* n) { IntroSorter<true>(a, companion).Sort(*n); }

}  // extern "C"
