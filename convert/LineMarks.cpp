#include "convert/LineMarks.h"

#include "playlist/Cpu.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DORVANE_MARKS_AVX2 1
#elif defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace dorvane::linemarks {

void markPortable(const char* p, size_t blocks, quint64* out) {
    for (size_t b = 0; b < blocks; ++b, p += 64) {
        quint64 marks = 0;
#if defined(__SSE2__) || defined(_M_X64)
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i e = _mm_set1_epi8('E');
        const __m128i colon = _mm_set1_epi8(':');
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + k);
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, e), _mm_cmpeq_epi8(v, colon)));
            marks |= static_cast<quint64>(static_cast<unsigned>(_mm_movemask_epi8(hit)))
                     << (16 * k);
        }
#else
        for (int k = 0; k < 64; ++k) {
            const char c = p[k];
            if (c == '\r' || c == '\n' || c == 'E' || c == ':')
                marks |= quint64(1) << k;
        }
#endif
        out[b] = marks;
    }
}

#ifdef DORVANE_MARKS_AVX2

namespace {

// The marks of 32 bytes.
__attribute__((target("avx2"))) inline quint64 marks32(const char* at) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i ends = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')),
                                         _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n')));
    const __m256i others = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('E')),
                                           _mm256_cmpeq_epi8(v, _mm256_set1_epi8(':')));
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(ends, others)));
}

} // namespace

__attribute__((target("avx2"))) void markAvx2(const char* p, size_t blocks, quint64* out) {
    for (size_t b = 0; b < blocks; ++b, p += 64)
        out[b] = marks32(p) | marks32(p + 32) << 32;
}

#else

void markAvx2(const char* p, size_t blocks, quint64* out) {
    markPortable(p, blocks, out); // never chosen: no AVX2 here
}

#endif

void mark(const char* p, size_t blocks, quint64* out) {
    if (cpu::hasAvx2())
        markAvx2(p, blocks, out);
    else
        markPortable(p, blocks, out);
}

} // namespace dorvane::linemarks
