#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

// The kernels that the converter runs over every byte of its input, one
// table of them per instruction set (plain, SSE2, AVX2), the widest the
// processor has chosen once while the program starts: a caller asks
// kernels() and never the processor. Every table gives the same results; the
// tests hold each one the processor runs to the plain one on the same input
// (availableKernels).
namespace dorvane::simd {

struct Kernels {
    const char* name; // "scalar", "sse2", "avx2"

    // Where something may happen in lines of UTF-8 text: for each block of
    // 64 bytes at p, p + 64, ... (`blocks` of them, all readable), one bit
    // per byte that is a CR, an LF, an 'E' (of "EXTINF") or a ':' (of
    // "://"), into out[0], out[1], ...
    void (*lineMarks)(const char* p, size_t blocks, quint64* out);

    // The first comma in [begin, end), or end; `oddQuotesBefore` tells
    // whether an odd number of '"' stand before it (the channel name's
    // comma is the first one outside quotes).
    const char* (*firstComma)(const char* begin, const char* end, bool& oddQuotesBefore);

    // Bounds on what a tally of [p, p + size) as UTF-8 would count, in one
    // pass: `multiByte` is at most `upper`, the bytes C2 to F4 (a lead)
    // followed by a continuation byte (80 to BF), for a well-formed sequence
    // begins with one; `illFormed` is at least `lower`, the bytes C0 to FF
    // followed by anything else or by the end, for such a byte begins an
    // ill-formed part of its own. Text in a code page is mostly the latter.
    void (*utf8TallyBounds)(const char* p, size_t size, size_t& upper, size_t& lower);
};

namespace detail {
// The plain table until the choice is made, then the chosen one: a variable,
// not a function-local static, whose guard cost a tenth of the comma search
// when it was asked before every channel name.
extern const Kernels* active;
} // namespace detail

// The table for this processor.
inline const Kernels& kernels() {
    return *detail::active;
}

// Every table this processor can run, the plain one first.
std::vector<const Kernels*> availableKernels();

} // namespace dorvane::simd
