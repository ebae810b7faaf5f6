#pragma once

#include "simd/Isa.h"

#include <cstddef>
#include <cstdint>

// The loops over runs of ASCII that the encodings and the XML escaping take
// between their characters of one at a time: each gives how far it got, and
// the caller goes on one character at a time from there. They run between
// two single characters, often for a few bytes only, so they are inline and
// take the vectors every processor of the build has (SSE2 on x86-64), never
// a table of the processor's own: a call through a pointer would cost more
// than the run. Each has a plain form (scalar::), which the tests hold the
// vector one to.
namespace dorvane::simd {

namespace scalar {

// The first byte in [p, end) that is not ASCII, or end.
inline const uint8_t* skipAscii(const uint8_t* p, const uint8_t* end) {
    while (p < end && *p < 0x80)
        ++p;
    return p;
}

// The ASCII bytes [p, p + k) copied to out, as UTF-16 (widen) or as they
// are (copy); k, at most size, ends at the first byte that is not ASCII or
// anywhere before it. `out` has room for `size` units.
inline size_t widenAscii(const uint8_t* p, size_t size, char16_t* out) {
    size_t k = 0;
    for (; k < size && p[k] < 0x80; ++k)
        out[k] = p[k];
    return k;
}
inline size_t copyAscii(const uint8_t* p, size_t size, uint8_t* out) {
    size_t k = 0;
    for (; k < size && p[k] < 0x80; ++k)
        out[k] = p[k];
    return k;
}
// The same for UTF-16 units below 0x80, written as bytes.
inline size_t narrowAscii(const char16_t* s, size_t size, uint8_t* out) {
    size_t k = 0;
    for (; k < size && s[k] < 0x80; ++k)
        out[k] = static_cast<uint8_t>(s[k]);
    return k;
}

// From k on, the first byte of p[0, size) that XML may have to change: '&',
// '<', '>', a control character (below 20), EF (U+FFFE and U+FFFF begin
// with it), and with `quote` also '"'; or any byte before it.
inline size_t skipXmlPlain(const char* p, size_t k, size_t size, bool quote) {
    for (; k < size; ++k) {
        const auto b = static_cast<unsigned char>(p[k]);
        if (b == '&' || b == '<' || b == '>' || b < 0x20 || b == 0xEF || (quote && b == '"'))
            break;
    }
    return k;
}

// From k on, the first byte of p[0, size) that may have to change where a
// name or a value is written (playlist/ShownText.h): a control character
// (below 20), 7F, C2 (U+0080-U+009F begin with it), E2 (U+2028 and U+2029
// do), and with `quote` also '"'; or any byte before it.
inline size_t skipM3uPlain(const char* p, size_t k, size_t size, bool quote) {
    for (; k < size; ++k) {
        const auto b = static_cast<unsigned char>(p[k]);
        if (b < 0x20 || b == 0x7F || b == 0xC2 || b == 0xE2 || (quote && b == '"'))
            break;
    }
    return k;
}

// The quotes and the line ends of the sixteen bytes at p: bit k of `quotes`
// for a '"' at p[k], of `ends` for a CR or an LF.
inline void quotesAndEnds(const char* p, unsigned& quotes, unsigned& ends) {
    quotes = ends = 0;
    for (unsigned k = 0; k < 16; ++k) {
        quotes |= unsigned(p[k] == '"') << k;
        ends |= unsigned(p[k] == '\r' || p[k] == '\n') << k;
    }
}

} // namespace scalar

#ifdef DORVANE_SIMD_SSE2
// Sixteen bytes at a time; they leave the last few bytes, or the bytes after
// the first that stops them, to the caller.
namespace sse2 {

inline const uint8_t* skipAscii(const uint8_t* p, const uint8_t* end) {
    // Four vectors at a time while everything is ASCII, as addresses are.
    while (end - p >= 64) {
        const auto* q = reinterpret_cast<const __m128i*>(p);
        const __m128i any =
            _mm_or_si128(_mm_or_si128(_mm_loadu_si128(q), _mm_loadu_si128(q + 1)),
                         _mm_or_si128(_mm_loadu_si128(q + 2), _mm_loadu_si128(q + 3)));
        if (_mm_movemask_epi8(any) != 0)
            break;
        p += 64;
    }
    while (end - p >= 16) {
        const int nonAscii =
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (nonAscii != 0)
            return p + __builtin_ctz(static_cast<unsigned>(nonAscii));
        p += 16;
    }
    return scalar::skipAscii(p, end);
}

inline size_t widenAscii(const uint8_t* p, size_t size, char16_t* out) {
    size_t k = 0;
    for (; size - k >= 16; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        // Widening all sixteen is safe even when only a prefix is ASCII: the
        // output has room for as many units as there are bytes.
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8), _mm_unpackhi_epi8(v, zero));
        if (const int nonAscii = _mm_movemask_epi8(v))
            return k + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(nonAscii)));
    }
    return k;
}

inline size_t copyAscii(const uint8_t* p, size_t size, uint8_t* out) {
    size_t k = 0;
    for (; size - k >= 16; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        if (_mm_movemask_epi8(v) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), v);
    }
    return k;
}

inline size_t narrowAscii(const char16_t* s, size_t size, uint8_t* out) {
    size_t k = 0;
    for (; size - k >= 16; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k + 8));
        const __m128i high =
            _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(a, b));
    }
    return k;
}

inline size_t skipXmlPlain(const char* p, size_t k, size_t size, bool quote) {
    const __m128i control = _mm_set1_epi8(0x1F);
    for (; k + 16 <= size; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')),
                                      _mm_cmpeq_epi8(v, _mm_set1_epi8('<'))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')),
                                      _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xEF)))));
        if (quote)
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_max_epu8(v, control), control));
        if (const int mask = _mm_movemask_epi8(hit))
            return k + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
    return k;
}

inline size_t skipM3uPlain(const char* p, size_t k, size_t size, bool quote) {
    const __m128i control = _mm_set1_epi8(0x1F);
    for (; k + 16 <= size; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, control), control),
                                      _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xC2))),
                                      _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xE2)))));
        if (quote)
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
        if (const int mask = _mm_movemask_epi8(hit))
            return k + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
    return k;
}

inline void quotesAndEnds(const char* p, unsigned& quotes, unsigned& ends) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    quotes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
    ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')))));
}

} // namespace sse2

using namespace sse2;
#else
using namespace scalar;
#endif

} // namespace dorvane::simd
