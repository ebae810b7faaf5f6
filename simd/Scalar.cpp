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

const Kernels kScalarKernels = {"scalar", lineMarks, firstComma};

} // namespace dorvane::simd
