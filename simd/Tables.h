#pragma once

#include "simd/Kernels.h"

// The tables of each instruction set, for Kernels.cpp's choice.
namespace dorvane::simd {

extern const Kernels kScalarKernels;
#ifdef DORVANE_SIMD_SSE2
extern const Kernels kSse2Kernels;
#endif
#ifdef DORVANE_SIMD_AVX2
extern const Kernels kAvx2Kernels;
#endif

} // namespace dorvane::simd
