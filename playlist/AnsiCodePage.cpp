#include "playlist/AnsiCodePage.h"

#include "simd/Ascii.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unorm2.h>

#include <iterator>
#include <vector>

namespace dorvane {

namespace {

constexpr uint16_t kUnmapped = 0xFFFF; // while building: no bytes yet
constexpr uint16_t kQuestionMark = 0x3F;
// In the pair table: the second byte cannot follow the lead byte at all, so
// the lead byte alone is invalid and the second byte is read again on its own
// (a lead byte before CR LF must not swallow the CR).
constexpr char16_t kIllegalTrail = 0xFFFF;
constexpr char16_t kReplacement = 0xFFFD;

// A BMP character that is no surrogate (every character the tables decode
// to) in UTF-8.
inline uint8_t* putUtf8(char16_t c, uint8_t* out) {
    if (c < 0x80) {
        *out++ = static_cast<uint8_t>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<uint8_t>(0xC0 | c >> 6);
        *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<uint8_t>(0xE0 | c >> 12);
        *out++ = static_cast<uint8_t>(0x80 | (c >> 6 & 0x3F));
        *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    }
    return out;
}

bool isControlByte(uint16_t bytes) {
    return bytes < 0x20 || bytes == 0x7F;
}

// A converter that stops at the first character it cannot convert, so that
// "no mapping" is told apart from the code page's own "?".
struct Converter {
    UConverter* cnv = nullptr;

    explicit Converter(const char* name, bool fallbacks = false) {
        UErrorCode error = U_ZERO_ERROR;
        cnv = ucnv_open(name, &error);
        if (U_FAILURE(error)) {
            cnv = nullptr;
            return;
        }
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        ucnv_setFallback(cnv, fallbacks);
    }
    ~Converter() {
        if (cnv)
            ucnv_close(cnv);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The one or two bytes of a BMP character; kUnmapped when it has none.
    uint16_t fromUnicode(char16_t c) {
        char bytes[8];
        UErrorCode error = U_ZERO_ERROR;
        ucnv_resetFromUnicode(cnv);
        const UChar in = c;
        const int32_t length = ucnv_fromUChars(cnv, bytes, sizeof bytes, &in, 1, &error);
        if (U_FAILURE(error))
            return kUnmapped;
        if (length == 1)
            return static_cast<uint8_t>(bytes[0]);
        if (length == 2 && static_cast<uint8_t>(bytes[0]) >= 0x80)
            return static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) << 8 |
                                         static_cast<uint8_t>(bytes[1]));
        return kUnmapped;
    }

    // Decodes a complete byte sequence to one UTF-16 unit; the ICU error
    // otherwise (U_TRUNCATED_CHAR_FOUND for a lead byte on its own).
    UErrorCode toUnicode(const char* bytes, int32_t length, char16_t* out) {
        UChar units[4];
        UErrorCode error = U_ZERO_ERROR;
        ucnv_resetToUnicode(cnv);
        const int32_t got = ucnv_toUChars(cnv, units, 4, bytes, length, &error);
        if (U_SUCCESS(error) && got != 1)
            error = U_INVALID_CHAR_FOUND;
        if (U_SUCCESS(error))
            *out = units[0];
        return error;
    }
};

// Letters whose stroke or bar is part of the letter, so Unicode gives them no
// decomposition, though the plain letter is the obvious stand-in.
struct StrokeLetter {
    char16_t letter;
    char16_t base;
};
constexpr StrokeLetter kStrokeLetters[] = {
    {0x0110, u'D'}, {0x0111, u'd'}, {0x0126, u'H'}, {0x0127, u'h'}, {0x0131, u'i'}, {0x0141, u'L'},
    {0x0142, u'l'}, {0x0166, u'T'}, {0x0167, u't'}, {0x0180, u'b'}, {0x0197, u'I'}, {0x019A, u'l'},
    {0x01B5, u'Z'}, {0x01B6, u'z'}, {0x01E4, u'G'}, {0x01E5, u'g'}, {0x00D8, u'O'}, {0x00F8, u'o'},
};

} // namespace

struct TAnsiEncoding::Tables {
    // Text to bytes for every BMP code unit: below 0x100 one byte, otherwise
    // lead << 8 | trail. Every entry is filled ("?" at worst); U+0000 is 00.
    std::vector<uint16_t> encode = std::vector<uint16_t>(65536, kUnmapped);
    // Bytes to text for single bytes. In a double-byte page, lead[b] marks the
    // bytes that start a pair and pairs[lead << 8 | trail] holds its character.
    char16_t single[256] = {};
    bool lead[256] = {};
    std::vector<char16_t> pairs;
    // Whether 00 to 7F are ASCII both ways, for the fast path.
    bool asciiIdentity = true;
    // One bit per BMP code unit: set when `encode` holds a substitute rather
    // than the character's own bytes (surrogates included). 8 KiB, so it
    // stays in the cache beside the part of `encode` in use.
    std::vector<uint64_t> substitute = std::vector<uint64_t>(65536 / 64);

    bool isSubstitute(char16_t c) const { return (substitute[c >> 6] >> (c & 63)) & 1; }

    // single[] in UTF-8, for decodeToUtf8: the bytes from the lowest, the
    // count in the top byte.
    uint32_t singleUtf8[256] = {};
};

TAnsiEncoding::TAnsiEncoding(int codePage, const char* icuName)
    // The East Asian code pages are the double-byte ones. Known without
    // ICU: opening a converter to ask costs a tenth of a short run's start,
    // and a run that stays in UTF-8 never needs one.
    : TMBCSEncoding(codePage), m_icuName(icuName),
      m_doubleByte(codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950) {}

const TAnsiEncoding::Tables& TAnsiEncoding::tables() const {
    std::call_once(m_built, [this] { m_tables = buildTables(); });
    return *m_tables;
}

std::unique_ptr<TAnsiEncoding::Tables> TAnsiEncoding::buildTables() const {
    auto tables = std::make_unique<Tables>();
    Tables& t = *tables;
    const char* const icuName = m_icuName;
    Converter cnv(icuName);

    // Bytes to text.
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        char16_t c = 0;
        const UErrorCode error = cnv.cnv ? cnv.toUnicode(&byte, 1, &c) : U_INVALID_CHAR_FOUND;
        if (U_SUCCESS(error))
            t.single[b] = c;
        else if (m_doubleByte && error == U_TRUNCATED_CHAR_FOUND)
            t.lead[b] = true;
        else
            t.single[b] = m_doubleByte ? kReplacement : static_cast<char16_t>(b);
    }
    // Windows keeps 00 to 7F as ASCII in every ANSI code page; ICU's IBM
    // tables for 932 swap 1A, 1C and 7F.
    for (int b = 0; b < 0x80; ++b) {
        t.single[b] = static_cast<char16_t>(b);
        t.lead[b] = false;
    }
    if (m_doubleByte) {
        t.pairs.assign(65536, kReplacement);
        for (int l = 0x80; l < 256; ++l) {
            if (!t.lead[l])
                continue;
            for (int trail = 0; trail < 256; ++trail) {
                const char bytes[2] = {static_cast<char>(l), static_cast<char>(trail)};
                char16_t c = 0;
                const UErrorCode error = cnv.toUnicode(bytes, 2, &c);
                char16_t& entry = t.pairs[static_cast<size_t>(l << 8 | trail)];
                if (U_SUCCESS(error))
                    entry = c;
                else if (error == U_ILLEGAL_CHAR_FOUND)
                    entry = kIllegalTrail;
                else
                    entry = kReplacement; // a valid pair the code page leaves unassigned
            }
        }
    }

    // Text to bytes: the code page's own characters first.
    auto& encode = t.encode;
    if (cnv.cnv) {
        for (int c = 0x80; c < 0x10000; ++c)
            if (c < 0xD800 || c > 0xDFFF)
                encode[c] = cnv.fromUnicode(static_cast<char16_t>(c));
    }
    for (int c = 0; c < 0x80; ++c)
        encode[c] = static_cast<uint16_t>(c);
    // A byte the page leaves undefined is read as the C1 control of the same
    // value; writing that control gives the byte back, so such text survives.
    if (!m_doubleByte)
        for (int b = 0x80; b < 0xA0; ++b)
            if (t.single[b] == b && encode[b] == kUnmapped)
                encode[b] = static_cast<uint16_t>(b);

    // Best fit, first from the converter's own fallback mappings (full-width
    // forms, Arabic-Indic digits, Latin letters in the CJK pages). Two kinds
    // are left out: control bytes (the old DOS glyph positions some tables
    // keep) and a symbol turned into a letter (box drawing into Thai).
    const std::vector<uint16_t> roundTrip = encode;
    if (cnv.cnv) {
        Converter fallback(icuName, true);
        for (int c = 0x80; c < 0x10000; ++c) {
            if ((c >= 0xD800 && c <= 0xDFFF) || encode[c] != kUnmapped)
                continue;
            const uint16_t bytes = fallback.fromUnicode(static_cast<char16_t>(c));
            if (bytes == kUnmapped || isControlByte(bytes))
                continue;
            if ((U_GET_GC_MASK(c) & U_GC_S_MASK) != 0) {
                char16_t back = 0;
                const char raw[2] = {static_cast<char>(bytes >> 8), static_cast<char>(bytes)};
                const bool two = bytes >= 0x100;
                if (U_SUCCESS(cnv.toUnicode(two ? raw : raw + 1, two ? 2 : 1, &back)) &&
                    (U_GET_GC_MASK(back) & U_GC_L_MASK) != 0)
                    continue;
            }
            encode[c] = bytes;
        }
    }

    // Then the character without its diacritics: the compatibility
    // decomposition with the combining marks dropped, when that leaves one
    // character the code page has ("é" to "e", "ﬀ" stays unmapped).
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* nfkd = unorm2_getNFKDInstance(&error);
    for (int c = 0x80; c < 0x10000; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || encode[c] != kUnmapped || U_FAILURE(error))
            continue;
        UChar decomposition[32];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            unorm2_getDecomposition(nfkd, c, decomposition, std::size(decomposition), &status);
        if (U_FAILURE(status) || length <= 0)
            continue;
        char16_t base = 0;
        int bases = 0;
        for (int32_t k = 0; k < length; ++k) {
            if ((U_GET_GC_MASK(decomposition[k]) & U_GC_M_MASK) != 0)
                continue;
            base = decomposition[k];
            ++bases;
        }
        if (bases == 1 && (base < 0xD800 || base > 0xDFFF) && roundTrip[base] != kUnmapped)
            encode[c] = roundTrip[base];
    }
    for (const StrokeLetter& s : kStrokeLetters)
        if (encode[s.letter] == kUnmapped && roundTrip[s.base] != kUnmapped)
            encode[s.letter] = roundTrip[s.base];

    for (uint16_t& bytes : encode)
        if (bytes == kUnmapped)
            bytes = kQuestionMark;
    // A character is written as itself when its bytes read back as it; all
    // else (best fits, "?", surrogates) stands in for it.
    for (int c = 0x80; c < 0x10000; ++c) {
        const uint16_t bytes = encode[c];
        char16_t back;
        if (bytes >= 0x100)
            back = t.pairs[bytes];
        else if (m_doubleByte && t.lead[bytes])
            back = kReplacement; // a lead byte alone
        else
            back = t.single[bytes];
        if (back != c || (c >= 0xD800 && c <= 0xDFFF))
            t.substitute[c >> 6] |= uint64_t(1) << (c & 63);
    }
    for (int c = 0; c < 0x80 && t.asciiIdentity; ++c)
        t.asciiIdentity = encode[c] == c && t.single[c] == c;
    for (int b = 0; b < 256; ++b) {
        uint8_t utf8[4];
        const int length = static_cast<int>(putUtf8(t.single[b], utf8) - utf8);
        uint32_t packed = static_cast<uint32_t>(length) << 24;
        for (int k = 0; k < length; ++k)
            packed |= static_cast<uint32_t>(utf8[k]) << (8 * k);
        t.singleUtf8[b] = packed;
    }
    return tables;
}

TAnsiEncoding::~TAnsiEncoding() = default;

void TAnsiEncoding::appendBytes(QStringView text, QByteArray& out) const {
    qsizetype replaced = 0;
    encodeText<false>(text, out, replaced);
}

qsizetype TAnsiEncoding::appendBytesCounting(QStringView text, QByteArray& out) const {
    qsizetype replaced = 0;
    encodeText<true>(text, out, replaced);
    return replaced;
}

template <bool Count>
void TAnsiEncoding::encodeText(QStringView text, QByteArray& out, qsizetype& replaced) const {
    const Tables& t = tables();
    const uint16_t* const encode = t.encode.data();
    // Counted here rather than in `replaced`, which the byte stores below
    // could alias: the compiler would keep writing it to memory.
    qsizetype substitutes = 0;
    const bool asciiIdentity = t.asciiIdentity;
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = s + text.size();
    const qsizetype old = out.size();
    // Sized for the worst case once, cut to what was written at the end.
    out.resize(old + text.size() * maxBytesPerChar());
    auto* o = reinterpret_cast<uint8_t*>(out.data()) + old;
    auto* const begin = o;
    while (s < end) {
        // ASCII runs on the vectors, as they are in the addresses.
        if (asciiIdentity) {
            const size_t ascii = simd::narrowAscii(s, static_cast<size_t>(end - s), o);
            s += ascii;
            o += ascii;
        }
        while (s < end) {
            const char16_t c = *s++;
            if (c < 0x80 && asciiIdentity) {
                *o++ = static_cast<uint8_t>(c);
                break;
            }
            // A surrogate pair is one character, so it becomes one "?"; the
            // table already says "?" for either surrogate on its own.
            if ((c & 0xFC00) == 0xD800 && s < end && (*s & 0xFC00) == 0xDC00)
                ++s;
            const uint16_t bytes = encode[c];
            if constexpr (Count)
                substitutes += t.isSubstitute(c);
            if (bytes >= 0x100)
                *o++ = static_cast<uint8_t>(bytes >> 8);
            *o++ = static_cast<uint8_t>(bytes);
        }
    }
    out.resize(old + (o - begin));
    replaced += substitutes;
}

bool TAnsiEncoding::keepsAscii() const {
    return tables().asciiIdentity;
}

char* TAnsiEncoding::encodeUtf8(const char* begin, const char* end, char* out) const {
    qsizetype replaced = 0;
    return encodeUtf8Bytes<false>(begin, end, out, replaced);
}

char* TAnsiEncoding::encodeUtf8(const char* begin, const char* end, char* out,
                                qsizetype& replaced) const {
    return encodeUtf8Bytes<true>(begin, end, out, replaced);
}

template <bool Count>
char* TAnsiEncoding::encodeUtf8Bytes(const char* begin, const char* end, char* out,
                                     qsizetype& replaced) const {
    const Tables& t = tables();
    const uint16_t* const encode = t.encode.data();
    // Counted here rather than in `replaced`, which the byte stores below
    // could alias: the compiler would keep writing it to memory.
    qsizetype substitutes = 0;
    const bool asciiIdentity = t.asciiIdentity;
    const auto* p = reinterpret_cast<const uint8_t*>(begin);
    const auto* const stop = reinterpret_cast<const uint8_t*>(end);
    auto* o = reinterpret_cast<uint8_t*>(out);
    while (p < stop) {
        // ASCII runs on the vectors, as they are in the addresses.
        if (asciiIdentity) {
            const size_t ascii = simd::copyAscii(p, static_cast<size_t>(stop - p), o);
            p += ascii;
            o += ascii;
        }
        while (p < stop) {
            const unsigned b = *p;
            char16_t c;
            if (b < 0x80) {
                ++p;
                if (asciiIdentity) {
                    *o++ = static_cast<uint8_t>(b);
                    break;
                }
                c = static_cast<char16_t>(b);
            } else if (b < 0xE0) {
                c = static_cast<char16_t>((b & 0x1F) << 6 | (p[1] & 0x3F));
                p += 2;
            } else if (b < 0xF0) {
                c = static_cast<char16_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
                p += 3;
            } else {
                // Outside the BMP: appendBytes writes what the table says for
                // the pair's first half.
                const char32_t u =
                    (b & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
                c = static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
                p += 4;
            }
            const uint16_t bytes = encode[c];
            if constexpr (Count)
                substitutes += t.isSubstitute(c);
            if (bytes >= 0x100)
                *o++ = static_cast<uint8_t>(bytes >> 8);
            *o++ = static_cast<uint8_t>(bytes);
        }
    }
    replaced += substitutes;
    return reinterpret_cast<char*>(o);
}

QString TAnsiEncoding::GetString(QByteArrayView bytes) const {
    const Tables& t = tables();
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* end = p + bytes.size();
    // Each byte gives at most one UTF-16 unit.
    QString text(bytes.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    auto* const begin = out;
    if (!m_doubleByte) {
        while (p < end)
            *out++ = t.single[*p++];
        return text;
    }
    while (p < end) {
        const uint8_t b = *p++;
        if (!t.lead[b]) {
            *out++ = t.single[b];
            continue;
        }
        if (p == end) { // a lead byte cut off by the end of the text
            *out++ = kReplacement;
            break;
        }
        const char16_t c = t.pairs[static_cast<size_t>(b << 8 | *p)];
        if (c == kIllegalTrail) {
            *out++ = kReplacement;
            continue;
        }
        ++p;
        *out++ = c;
    }
    text.resize(out - begin);
    return text;
}

char* TAnsiEncoding::decodeToUtf8(const char* begin, const char* end, char* out) const {
    const Tables& t = tables();
    const auto* p = reinterpret_cast<const uint8_t*>(begin);
    const auto* const stop = reinterpret_cast<const uint8_t*>(end);
    auto* o = reinterpret_cast<uint8_t*>(out);
    while (p < stop) {
        // ASCII runs on the vectors, as they are in the addresses; every code
        // page reads 00 to 7F as ASCII.
        const size_t ascii = simd::copyAscii(p, static_cast<size_t>(stop - p), o);
        p += ascii;
        o += ascii;
        while (p < stop) {
            const uint8_t b = *p++;
            if (b < 0x80) {
                *o++ = b;
                break;
            }
            if (!t.lead[b]) {
                // All four bytes stored at once; `out` has room past the end.
                const uint32_t packed = t.singleUtf8[b];
                o[0] = static_cast<uint8_t>(packed);
                o[1] = static_cast<uint8_t>(packed >> 8);
                o[2] = static_cast<uint8_t>(packed >> 16);
                o += packed >> 24;
                continue;
            }
            // As GetString reads a lead byte.
            char16_t c = kReplacement;
            if (p < stop) {
                const char16_t pair = t.pairs[static_cast<size_t>(b << 8 | *p)];
                if (pair != kIllegalTrail) {
                    c = pair;
                    ++p;
                }
            }
            o = putUtf8(c, o);
        }
    }
    return reinterpret_cast<char*>(o);
}

const TEncoding* ansiCodePageEncoding(int codePage) {
    // Each table is built on first use of its code page only; function-local
    // statics make that safe when two threads ask at the same moment.
#define DORVANE_CODE_PAGE(number, name)                                                            \
    case number: {                                                                                 \
        static const TAnsiEncoding encoding(number, name);                                         \
        return &encoding;                                                                          \
    }
    switch (codePage) {
        DORVANE_CODE_PAGE(1250, "windows-1250")
        DORVANE_CODE_PAGE(1251, "windows-1251")
        DORVANE_CODE_PAGE(1252, "windows-1252")
        DORVANE_CODE_PAGE(1253, "windows-1253")
        DORVANE_CODE_PAGE(1254, "windows-1254")
        DORVANE_CODE_PAGE(1255, "windows-1255")
        DORVANE_CODE_PAGE(1256, "windows-1256")
        DORVANE_CODE_PAGE(1257, "windows-1257")
        DORVANE_CODE_PAGE(1258, "windows-1258")
        DORVANE_CODE_PAGE(874, "windows-874-2000")
        DORVANE_CODE_PAGE(932, "ibm-943_P15A-2003")
        DORVANE_CODE_PAGE(936, "windows-936-2000")
        DORVANE_CODE_PAGE(949, "windows-949-2000")
        DORVANE_CODE_PAGE(950, "windows-950-2000")
        // Read only, by the user's choice (DOS and Unix Cyrillic lists).
        DORVANE_CODE_PAGE(866, "ibm-866")
        DORVANE_CODE_PAGE(20866, "KOI8-R")
        DORVANE_CODE_PAGE(21866, "KOI8-U")
        DORVANE_CODE_PAGE(28595, "ISO-8859-5")
    default:
        return nullptr;
    }
#undef DORVANE_CODE_PAGE
}

} // namespace dorvane
