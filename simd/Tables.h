#pragma once

#include "simd/Kernels.h"

// The tables of each instruction set, for Kernels.cpp's choice.
namespace dorvane::simd {

extern const Kernels kScalarKernels;
// The plain kernel's loop from byte k on, for the vector kernels' last bytes.
void utf8TallyBoundsFrom(const char* p, size_t k, size_t size, size_t& upper, size_t& lower);
#ifdef DORVANE_SIMD_SSE2
extern const Kernels kSse2Kernels;
#endif
#ifdef DORVANE_SIMD_AVX2
extern const Kernels kAvx2Kernels;
#endif

} // namespace dorvane::simd
