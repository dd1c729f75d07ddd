// mem_Alloc: the allocation functions every array of the library goes through.
#pragma once
#include <cstddef>

/// \brief Plain allocation; returns null when the memory cannot be had.
void* mem_Malloc(size_t nBytes);
/// \brief Allocation that reports a failure on standard error and returns null.
void* mem_Malloc_Handled(size_t nBytes);
/// \brief Throwing allocation (std::bad_alloc), 64-byte aligned so kernels see aligned columns.
void* mem_OperatorNewThrowBuiltin(size_t nBytes);
/// \brief Releases memory from any of the functions above; null is ignored.
void mem_Free(void* p);
/// \brief Advice that the nBytes at p are about to be written front to back (a large array being filled): the
/// system may back them by large pages, which spares most of the page faults of touching fresh memory. Only
/// advice: contents are unchanged and a refusal is ignored.
void mem_AdviseFill(void* p, size_t nBytes);
