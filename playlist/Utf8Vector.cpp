#include "playlist/Utf8Vector.h"

#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DORVANE_UTF8_AVX2 1
#endif

namespace dorvane::utf8vector {

#ifdef DORVANE_UTF8_AVX2

namespace {

// Each byte is checked against the one, two and three before it, 32 at a
// time, by table lookups on nibbles (Keiser and Lemire, "Validating UTF-8 in
// less than one instruction per byte", 2021). A byte pair's flags are the
// AND of three lookups: the first byte's high nibble, its low nibble, and
// the second byte's high nibble; any flag left over is an error, except
// that a continuation after a continuation is right exactly where a three-
// or four-byte lead two or three bytes back asks for one.
constexpr uint8_t kTooShort = 1 << 0;     // a lead then no continuation
constexpr uint8_t kTooLong = 1 << 1;      // ASCII then a continuation
constexpr uint8_t kOverlong3 = 1 << 2;    // E0 80..9F
constexpr uint8_t kTooLarge = 1 << 3;     // F4 90..BF, F5..FF then 80..BF
constexpr uint8_t kSurrogate = 1 << 4;    // ED A0..BF
constexpr uint8_t kOverlong2 = 1 << 5;    // C0, C1 then a continuation
constexpr uint8_t kTooLarge1000 = 1 << 6; // F5..FF then 80..8F
constexpr uint8_t kOverlong4 = 1 << 6;    // F0 80..8F
constexpr uint8_t kTwoConts = 1 << 7;     // a continuation then a continuation
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

#define DORVANE_AVX2 __attribute__((target("avx2")))

DORVANE_AVX2 inline __m256i table(const uint8_t (&t)[16]) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
}

constexpr uint8_t kFirstHigh[16] = {
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTwoConts,
    kTwoConts,
    kTwoConts,
    kTwoConts,
    kTooShort | kOverlong2,
    kTooShort,
    kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4,
};
constexpr uint8_t kFirstLow[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4,
    kCarry | kOverlong2,
    kCarry,
    kCarry,
    kCarry | kTooLarge,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
};
constexpr uint8_t kSecondHigh[16] = {
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
};

class Checker {
public:
    DORVANE_AVX2 Checker()
        : m_firstHigh(table(kFirstHigh)), m_firstLow(table(kFirstLow)),
          m_secondHigh(table(kSecondHigh)), m_nibble(_mm256_set1_epi8(0x0F)),
          m_error(_mm256_setzero_si256()), m_previous(_mm256_setzero_si256()),
          m_incomplete(_mm256_setzero_si256()) {}

    // The next 64 bytes.
    DORVANE_AVX2 void add(const uint8_t* p) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        if (_mm256_movemask_epi8(_mm256_or_si256(a, b)) == 0) {
            // All ASCII: a sequence the last block left open is cut short.
            m_error = _mm256_or_si256(m_error, m_incomplete);
            m_incomplete = _mm256_setzero_si256();
            m_previous = b;
            return;
        }
        check(a, m_previous);
        check(b, a);
        m_incomplete = incomplete(b);
        m_previous = b;
    }

    // Whether everything added was well-formed, and no sequence is left open.
    DORVANE_AVX2 bool wellFormed() const {
        const __m256i error = _mm256_or_si256(m_error, m_incomplete);
        return _mm256_testz_si256(error, error) != 0;
    }

private:
    // The 32 bytes from `n` bytes before `input`, the first of them from
    // the end of `previous`.
    template <int n> DORVANE_AVX2 static __m256i before(__m256i input, __m256i previous) {
        return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - n);
    }
    DORVANE_AVX2 __m256i lookup(__m256i table, __m256i index) const {
        return _mm256_shuffle_epi8(table, index);
    }
    DORVANE_AVX2 __m256i high(__m256i v) const {
        return _mm256_and_si256(_mm256_srli_epi16(v, 4), m_nibble);
    }

    DORVANE_AVX2 void check(__m256i input, __m256i previous) {
        const __m256i prev1 = before<1>(input, previous);
        const __m256i special = _mm256_and_si256(
            _mm256_and_si256(lookup(m_firstHigh, high(prev1)),
                             lookup(m_firstLow, _mm256_and_si256(prev1, m_nibble))),
            lookup(m_secondHigh, high(input)));
        // The third byte of E0..EF, or the third or fourth of F0..FF: a
        // continuation is expected there (high bit set after the subtraction).
        const __m256i third = _mm256_subs_epu8(before<2>(input, previous), _mm256_set1_epi8(0x60));
        const __m256i fourth = _mm256_subs_epu8(before<3>(input, previous), _mm256_set1_epi8(0x70));
        const __m256i expected =
            _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
        m_error = _mm256_or_si256(m_error, _mm256_xor_si256(expected, special));
    }

    // Flags the last three bytes where they begin a sequence longer than
    // what is left of the block: F0.. in the last three, E0.. in the last
    // two, C0.. in the last one.
    DORVANE_AVX2 static __m256i incomplete(__m256i input) {
        const __m256i most = _mm256_setr_epi8(
            -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
            -1, -1, -1, -1, -1, -1, -1, char(0xF0 - 1), char(0xE0 - 1), char(0xC0 - 1));
        return _mm256_subs_epu8(input, most);
    }

    const __m256i m_firstHigh;
    const __m256i m_firstLow;
    const __m256i m_secondHigh;
    const __m256i m_nibble;
    __m256i m_error;
    __m256i m_previous;
    __m256i m_incomplete;
};

DORVANE_AVX2 bool checkAvx2(const uint8_t* p, size_t size) {
    Checker checker;
    size_t k = 0;
    for (; k + 64 <= size; k += 64)
        checker.add(p + k);
    if (k < size) {
        // The rest, followed by zeros: ASCII, which ends any open sequence
        // as the end of the input would.
        uint8_t last[64] = {};
        std::memcpy(last, p + k, size - k);
        checker.add(last);
    }
    return checker.wellFormed();
}

} // namespace

bool isWellFormed(const uint8_t* p, size_t size) {
    return checkAvx2(p, size);
}

#else

bool isWellFormed(const uint8_t*, size_t) {
    return false; // never called: no AVX2 here
}

#endif

} // namespace dorvane::utf8vector
