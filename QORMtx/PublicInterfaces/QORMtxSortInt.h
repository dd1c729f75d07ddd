// QORMtxSortInt: in-place introsorts of int arrays, alone or with a companion array.
#pragma once

/// \brief Sorts [first, last) ascending in place (introsort: median-of-three quicksort, heap sort past
/// 2·floor(log2 n) levels, final insertion sort). Not stable. O(n log n) worst case.
void QORMtxSortInt1(int* first, int* last);

/// \brief Sorts the keys [first, last) ascending and applies the same permutation to the companion range
/// starting at first2, so that every (key, companion) pair stays together. Not stable.
/// \warning last2 is accepted for symmetry only; the companion must hold at least last - first values.
void QORMtxSortInt2(int* first, int* last, int* first2, int* last2);
