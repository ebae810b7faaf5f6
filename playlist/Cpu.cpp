#include "playlist/Cpu.h"

namespace dorvane::cpu {

namespace {

bool detectAvx2() {
#if defined(__GNUC__) && defined(__x86_64__)
    // Before the runtime's own constructor may have run.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace

namespace detail {
const bool kHasAvx2 = detectAvx2();
} // namespace detail

} // namespace dorvane::cpu
