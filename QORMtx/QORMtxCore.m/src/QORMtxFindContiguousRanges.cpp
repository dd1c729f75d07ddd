// QORMtxFindContiguousRanges: start positions of the runs of consecutive ordinals in a sorted list.
#include "QORMtxFindContiguousRanges.h"

#include <cstddef>

#include "mem_Alloc.h"

namespace {

// Calls visit(i) for every position i that starts a run; returns the run count. Both passes share it so
// that counting and filling cannot disagree.
template <class Visit>
int WalkRangeStarts(const int* ords, int n, int maxLen, Visit visit) {
  int count = 1;
  int runLength = 1;
  visit(0);
  for (int i = 1; i < n; ++i) {
    // Differences are taken in 64 bits: ordinals near the int limits must not overflow.
    const bool consecutive = static_cast<long long>(ords[i]) - ords[i - 1] == 1;
    if (!consecutive || runLength >= maxLen) {
      visit(i);
      ++count;
      runLength = 1;
    } else {
      ++runLength;
    }
  }
  return count;
}

}  // namespace

int* QORMtxFindContiguousRanges(const int* ords, int n, int maxLen, int& numRanges) {
  if (n <= 0) {
    numRanges = 0;
    return nullptr;
  }
  numRanges = WalkRangeStarts(ords, n, maxLen, [](int) {});
  int* starts = static_cast<int*>(mem_OperatorNewThrowBuiltin(sizeof(int) * (static_cast<size_t>(numRanges) + 1)));
  int k = 0;
  WalkRangeStarts(ords, n, maxLen, [&](int i) { starts[k++] = i; });
  starts[numRanges] = n;
  return starts;
}
