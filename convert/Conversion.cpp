#include "convert/Conversion.h"

#include "convert/TargetFormat.h"

#include <QtGlobal>

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DORVANE_SSE2 1
#endif

namespace dorvane {

namespace lines {

bool oddQuotes(const char* p, const char* end) {
    unsigned parity = 0;
#ifdef DORVANE_SSE2
    // Sixteen bytes at a time: each quote sets a bit of the mask.
    const __m128i quote = _mm_set1_epi8('"');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        parity ^= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote)));
    }
#endif
    for (; p < end; ++p)
        parity ^= *p == '"';
    return __builtin_parity(parity);
}

bool oddQuotes(const char16_t* p, const char16_t* end) {
    // Four code units at a time in a 64-bit word.
    constexpr quint64 kQuotes = 0x0022002200220022;
    constexpr quint64 kLow15 = 0x7FFF7FFF7FFF7FFF;
    qsizetype count = 0;
    for (; end - p >= 4; p += 4) {
        quint64 lanes;
        std::memcpy(&lanes, p, sizeof lanes);
        lanes ^= kQuotes; // a quote's lane is now 0
        // The top bit of each lane is set when the lane is not 0.
        const quint64 nonZero = ((lanes & kLow15) + kLow15) | lanes;
        // One bit per quote, at the bottom of its lane; the multiplication
        // adds the four lanes up in the top one (a portable popcount).
        const quint64 quotes = (~nonZero & ~kLow15) >> 15;
        count += static_cast<qsizetype>((quotes * 0x0001000100010001) >> 48);
    }
    for (; p < end; ++p)
        count += *p == u'"';
    return count % 2 != 0;
}

} // namespace lines

Conversion::Conversion(const TargetFormat& target, SourceName source)
    : m_target(&target), m_converts(target.converts()), m_source(std::move(source)) {}

} // namespace dorvane
