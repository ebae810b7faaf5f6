#include "playlist/Cpu.h"

namespace dorvane::cpu {

bool hasAvx2() {
#if defined(__GNUC__) && defined(__x86_64__)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

} // namespace dorvane::cpu
