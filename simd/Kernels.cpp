#include "simd/Kernels.h"

#include "simd/Isa.h"
#include "simd/Tables.h"

namespace dorvane::simd {

namespace {

bool hasAvx2() {
#ifdef DORVANE_SIMD_AVX2
    // Before the runtime's own constructor may have run.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const Kernels* best() {
#ifdef DORVANE_SIMD_AVX2
    if (hasAvx2())
        return &kAvx2Kernels;
#endif
#ifdef DORVANE_SIMD_SSE2
    return &kSse2Kernels;
#else
    return &kScalarKernels;
#endif
}

} // namespace

namespace detail {
// Constant-initialized, so a kernel asked for by another file's static
// initializer, before the choice below, gets the plain table.
const Kernels* active = &kScalarKernels;
namespace {
[[maybe_unused]] const bool chosen = (active = best(), true);
} // namespace
} // namespace detail

std::vector<const Kernels*> availableKernels() {
    std::vector<const Kernels*> tables{&kScalarKernels};
#ifdef DORVANE_SIMD_SSE2
    tables.push_back(&kSse2Kernels);
#endif
#ifdef DORVANE_SIMD_AVX2
    if (hasAvx2())
        tables.push_back(&kAvx2Kernels);
#endif
    return tables;
}

} // namespace dorvane::simd
