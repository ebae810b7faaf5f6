#include "convert/Conversion.h"

#include "convert/TargetFormat.h"
#include "playlist/Cpu.h"

#include <QtGlobal>

#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DORVANE_SSE2 1
#elif defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DORVANE_SSE2 1
#endif

namespace dorvane {

namespace lines {

namespace {

// The first comma of a block whose quotes and commas are the bits of
// `quotes` and `commas`, or nullptr; `parity` counts the quotes before it.
inline const char* firstCommaInBits(const char* at, unsigned quotes, unsigned commas,
                                    unsigned& parity, bool& oddQuotesBefore) {
    if (commas != 0) {
        const unsigned first = static_cast<unsigned>(__builtin_ctz(commas));
        oddQuotesBefore = (parity ^ __builtin_parity(quotes & ((1u << first) - 1))) != 0;
        return at + first;
    }
    parity ^= static_cast<unsigned>(__builtin_parity(quotes));
    return nullptr;
}

// From p on, `parity` the quotes' in [begin, p).
const char* firstCommaFrom(const char* begin, const char* p, const char* end, unsigned parity,
                           bool& oddQuotesBefore) {
#ifdef DORVANE_SSE2
    // Sixteen bytes at a time: a bit per quote and per comma.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i comma = _mm_set1_epi8(',');
    const auto scan = [&](const char* at, unsigned skip) -> const char* {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const unsigned quotes =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote))) >> skip << skip;
        const unsigned commas =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma))) >> skip << skip;
        return firstCommaInBits(at, quotes, commas, parity, oddQuotesBefore);
    };
    for (; end - p >= 16; p += 16)
        if (const char* found = scan(p, 0))
            return found;
    // The last few bytes as the end of a full sixteen, those seen already
    // masked off.
    if (p < end && end - begin >= 16) {
        const char* found = scan(end - 16, static_cast<unsigned>(16 - (end - p)));
        if (found)
            return found;
        oddQuotesBefore = parity != 0;
        return end;
    }
#endif
    for (; p < end; ++p) {
        if (*p == ',') {
            oddQuotesBefore = parity != 0;
            return p;
        }
        parity ^= *p == '"';
    }
    oddQuotesBefore = parity != 0;
    return end;
}

#if defined(__GNUC__) && defined(__x86_64__)
// The first comma among 32 bytes at `at`, the first `skip` of them left out,
// or nullptr (`parity` then counts their quotes too).
__attribute__((target("avx2"))) inline const char*
firstCommaIn32(const char* at, unsigned skip, unsigned& parity, bool& oddQuotesBefore) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const unsigned quotes =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('"')))) >>
        skip << skip;
    const unsigned commas =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(',')))) >>
        skip << skip;
    return firstCommaInBits(at, quotes, commas, parity, oddQuotesBefore);
}

// Thirty-two bytes at a time, the rest as above.
__attribute__((target("avx2"))) const char* firstCommaAvx2(const char* begin, const char* end,
                                                           bool& oddQuotesBefore) {
    unsigned parity = 0;
    const char* p = begin;
    for (; end - p >= 32; p += 32)
        if (const char* found = firstCommaIn32(p, 0, parity, oddQuotesBefore))
            return found;
    // The name's comma mostly lies among the last few bytes of a line: those
    // as the end of a full thirty-two, the bytes seen already masked off.
    if (p < end && end - begin >= 32) {
        const auto skip = static_cast<unsigned>(32 - (end - p));
        if (const char* found = firstCommaIn32(end - 32, skip, parity, oddQuotesBefore))
            return found;
        oddQuotesBefore = parity != 0;
        return end;
    }
    return firstCommaFrom(begin, p, end, parity, oddQuotesBefore);
}
#endif

} // namespace

const char* firstComma(const char* begin, const char* end, bool& oddQuotesBefore) {
#if defined(__GNUC__) && defined(__x86_64__)
    if (cpu::hasAvx2())
        return firstCommaAvx2(begin, end, oddQuotesBefore);
#endif
    return firstCommaFrom(begin, begin, end, 0, oddQuotesBefore);
}

namespace {

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

} // namespace

const char16_t* firstComma(const char16_t* begin, const char16_t* end, bool& oddQuotesBefore) {
    const char16_t* comma = find(begin, end, u',');
    oddQuotesBefore = oddQuotes(begin, comma);
    return comma;
}

} // namespace lines

Conversion::Conversion(const TargetFormat& target, SourceName source)
    : m_target(&target), m_converts(target.converts()), m_source(std::move(source)) {}

} // namespace dorvane
