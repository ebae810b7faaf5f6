#pragma once

// Which instruction sets this build can hold code for. SSE2 is part of
// x86-64 itself, so its code is chosen when the program is compiled; AVX2 is
// not, so its code is compiled beside the rest, for its functions only (the
// target attribute: a whole file compiled for AVX2 could lend an inline
// function of a shared header to callers that run without it), and chosen
// when the program starts (Kernels.h).
#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define DORVANE_SIMD_SSE2 1
#endif

#if defined(__GNUC__) && defined(__x86_64__)
#define DORVANE_SIMD_AVX2 1
#define DORVANE_TARGET_AVX2 __attribute__((target("avx2")))
#endif
