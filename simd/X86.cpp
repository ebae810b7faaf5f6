#include "simd/Isa.h"
#include "simd/Tables.h"

#ifdef DORVANE_SIMD_AVX2
#include <immintrin.h>
#endif

namespace dorvane::simd {

#ifdef DORVANE_SIMD_SSE2

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

void lineMarksSse2(const char* p, size_t blocks, quint64* out) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i e = _mm_set1_epi8('E');
    const __m128i colon = _mm_set1_epi8(':');
    for (size_t b = 0; b < blocks; ++b, p += 64) {
        quint64 marks = 0;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + k);
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, e), _mm_cmpeq_epi8(v, colon)));
            marks |= static_cast<quint64>(static_cast<unsigned>(_mm_movemask_epi8(hit)))
                     << (16 * k);
        }
        out[b] = marks;
    }
}

// From p on, `parity` the quotes' in [begin, p); sixteen bytes at a time.
const char* firstCommaFrom(const char* begin, const char* p, const char* end, unsigned parity,
                           bool& oddQuotesBefore) {
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

const char* firstCommaSse2(const char* begin, const char* end, bool& oddQuotesBefore) {
    return firstCommaFrom(begin, begin, end, 0, oddQuotesBefore);
}

// Sixteen bytes at a time, each with the byte after it (so the last byte is
// left to the plain loop). Signed compares on the bytes: a continuation byte
// is below -64, a byte C0 to FF from -64 to -1, C2 to F4 from -62 to -12.
void utf8TallyBoundsSse2(const char* p, size_t size, size_t& upper, size_t& lower) {
    upper = lower = 0;
    size_t k = 0;
    for (; k + 17 <= size; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        if (_mm_movemask_epi8(v) == 0)
            continue;
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
        const __m128i continued = _mm_cmplt_epi8(next, _mm_set1_epi8(-64));
        const __m128i high = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(-65)),
                                           _mm_cmplt_epi8(v, _mm_setzero_si128()));
        const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(-63)),
                                           _mm_cmplt_epi8(v, _mm_set1_epi8(-11)));
        upper += static_cast<size_t>(__builtin_popcount(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(lead, continued)))));
        lower += static_cast<size_t>(__builtin_popcount(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(continued, high)))));
    }
    utf8TallyBoundsFrom(p, k, size, upper, lower);
}

} // namespace

const Kernels kSse2Kernels = {"sse2", lineMarksSse2, firstCommaSse2, utf8TallyBoundsSse2};

#ifdef DORVANE_SIMD_AVX2

namespace {

// The marks of 32 bytes.
DORVANE_TARGET_AVX2 inline quint64 marks32(const char* at) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i ends = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')),
                                         _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n')));
    const __m256i others = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('E')),
                                           _mm256_cmpeq_epi8(v, _mm256_set1_epi8(':')));
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(ends, others)));
}

DORVANE_TARGET_AVX2 void lineMarksAvx2(const char* p, size_t blocks, quint64* out) {
    for (size_t b = 0; b < blocks; ++b, p += 64)
        out[b] = marks32(p) | marks32(p + 32) << 32;
}

// The first comma among 32 bytes at `at`, the first `skip` of them left out,
// or nullptr (`parity` then counts their quotes too).
DORVANE_TARGET_AVX2 inline const char* firstCommaIn32(const char* at, unsigned skip,
                                                      unsigned& parity, bool& oddQuotesBefore) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const unsigned quotes =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('"')))) >>
        skip << skip;
    const unsigned commas =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(',')))) >>
        skip << skip;
    return firstCommaInBits(at, quotes, commas, parity, oddQuotesBefore);
}

// Thirty-two bytes at a time; a name shorter than that as SSE2 takes it.
DORVANE_TARGET_AVX2 const char* firstCommaAvx2(const char* begin, const char* end,
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

// As utf8TallyBoundsSse2, thirty-two bytes at a time.
DORVANE_TARGET_AVX2 void utf8TallyBoundsAvx2(const char* p, size_t size, size_t& upper,
                                             size_t& lower) {
    upper = lower = 0;
    size_t k = 0;
    for (; k + 33 <= size; k += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k));
        if (_mm256_movemask_epi8(v) == 0)
            continue;
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k + 1));
        const __m256i continued = _mm256_cmpgt_epi8(_mm256_set1_epi8(-64), next);
        const __m256i high = _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(-65)),
                                              _mm256_cmpgt_epi8(_mm256_setzero_si256(), v));
        const __m256i lead = _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(-63)),
                                              _mm256_cmpgt_epi8(_mm256_set1_epi8(-11), v));
        upper += static_cast<size_t>(__builtin_popcount(
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(lead, continued)))));
        lower += static_cast<size_t>(__builtin_popcount(
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_andnot_si256(continued, high)))));
    }
    utf8TallyBoundsFrom(p, k, size, upper, lower);
}

} // namespace

const Kernels kAvx2Kernels = {"avx2", lineMarksAvx2, firstCommaAvx2, utf8TallyBoundsAvx2};

#endif // DORVANE_SIMD_AVX2

#endif // DORVANE_SIMD_SSE2

} // namespace dorvane::simd
