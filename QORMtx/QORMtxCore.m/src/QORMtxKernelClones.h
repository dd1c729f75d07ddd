// QORMtxKernelClones: per-processor variants of the elementwise array kernels.
#pragma once

// The compiler emits a vector body for processors with AVX2 and a generic one; the loader picks one from the
// processor's feature flags once, when the library is loaded. Both round every element exactly as the plain scalar
// loop does: neither instruction set has fused multiply-add, and the kernels have no reductions. (An AVX-512 variant
// was left out on purpose: with it the compiler fuses multiply-adds, even against -ffp-contract=off in the complex
// product, so its results would differ in the last bit from the generic ones.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__)
#define QORMTX_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QORMTX_KERNEL_CLONES
#endif
