#pragma once

// What the processor offers beyond the compiler's baseline, asked once: the
// few kernels that run over every byte of the input take wider vectors
// where there are any.
namespace dorvane::cpu {

namespace detail {
// Set while the program starts. A function-local static was asked before
// every channel name, and its guard cost as much as a tenth of the search.
extern const bool kHasAvx2;
} // namespace detail

// x86-64 with AVX2; false on any other processor or compiler.
inline bool hasAvx2() {
    return detail::kHasAvx2;
}

} // namespace dorvane::cpu
