#include "simd/Tables.h"

namespace dorvane::simd {

namespace {

void lineMarks(const char* p, size_t blocks, quint64* out) {
    for (size_t b = 0; b < blocks; ++b, p += 64) {
        quint64 marks = 0;
        for (int k = 0; k < 64; ++k) {
            const char c = p[k];
            if (c == '\r' || c == '\n' || c == 'E' || c == ':')
                marks |= quint64(1) << k;
        }
        out[b] = marks;
    }
}

const char* firstComma(const char* p, const char* end, bool& oddQuotesBefore) {
    bool odd = false;
    for (; p < end && *p != ','; ++p)
        odd ^= *p == '"';
    oddQuotesBefore = odd;
    return p;
}

} // namespace

void utf8TallyBoundsFrom(const char* p, size_t k, size_t size, size_t& upper, size_t& lower) {
    for (; k < size; ++k) {
        const auto b = static_cast<unsigned char>(p[k]);
        if (b < 0xC0)
            continue;
        const bool continued =
            k + 1 < size && (static_cast<unsigned char>(p[k + 1]) & 0xC0) == 0x80;
        upper += continued && b >= 0xC2 && b <= 0xF4;
        lower += !continued;
    }
}

namespace {

void utf8TallyBounds(const char* p, size_t size, size_t& upper, size_t& lower) {
    upper = lower = 0;
    utf8TallyBoundsFrom(p, 0, size, upper, lower);
}

} // namespace

const Kernels kScalarKernels = {"scalar", lineMarks, firstComma, utf8TallyBounds};

} // namespace dorvane::simd
