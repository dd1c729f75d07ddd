// QORMtxFindContiguousRanges: splits a sorted ordinal list into runs of consecutive values.
#pragma once

/// \brief Splits ords[0..n) into runs: a new run starts at position i when ords[i] - ords[i-1] != 1 or
/// the current run already holds maxLen values (maxLen <= 1 makes every value its own run).
/// numRanges receives the run count. Returns a new array of numRanges + 1 starting positions, the last
/// being n, to be released with mem_Free; for n <= 0, numRanges = 0 and the result is null.
int* QORMtxFindContiguousRanges(const int* ords, int n, int maxLen, int& numRanges);
