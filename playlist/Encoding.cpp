#include "playlist/Encoding.h"

#include "playlist/AnsiCodePage.h"
#include "simd/Ascii.h"
#include "simd/Utf8.h"

#include <QByteArray>

#include <cstdint>

namespace dorvane {

namespace {

// Playlists are mostly ASCII (addresses, directives), so both directions try
// sixteen characters at a time before falling back to one sequence at a time.

// The well-formed sequence at p: its length; or else the maximal subpart
// there, as a negative length (a lead byte and the continuation bytes that
// may follow it, or one byte that cannot begin a sequence). p < end.
inline __attribute__((always_inline)) int utf8SequenceAt(const uint8_t* p, const uint8_t* end) {
    const unsigned b = *p;
    if (b < 0x80)
        return 1;
    int trail = 0;
    unsigned low = 0x80, high = 0xBF;
    if (b < 0xC2) {
        return -1; // a stray continuation byte, or C0/C1 (always overlong)
    } else if (b < 0xE0) {
        trail = 1;
    } else if (b < 0xF0) {
        trail = 2;
        // E0 needs A0 or more (else overlong); ED at most 9F (else a surrogate).
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b < 0xF5) {
        trail = 3;
        // F0 needs 90 or more (else overlong); F4 at most 8F (else above U+10FFFF).
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1; // F5 to FF never occur in UTF-8
    }
    for (int k = 1; k <= trail; ++k) {
        if (p + k == end || p[k] < low || p[k] > high)
            return -k;
        low = 0x80;
        high = 0xBF;
    }
    return trail + 1;
}

// Walks [p, end) as strict UTF-8 (RFC 3629), each sequence as
// utf8SequenceAt reads it: the one reading of UTF-8, for decoding and for
// the converter's check alike. With kDecode it writes the
// text into out, which has room for at least end - p code units (a UTF-8
// sequence never gives more UTF-16 units than it has bytes), and returns the
// number of units written; without, it only checks (out is not used) and
// returns 0. -1 at the first ill-formed sequence.
template <bool kDecode>
qsizetype walkUtf8(const uint8_t* p, const uint8_t* const end, char16_t* const outBegin) {
    char16_t* out = outBegin;
    const auto put = [&out](unsigned unit) {
        if constexpr (kDecode)
            *out++ = static_cast<char16_t>(unit);
    };
    while (p < end) {
        // ASCII runs on the vectors (simd/Ascii.h).
        if constexpr (kDecode) {
            const size_t ascii = simd::widenAscii(p, static_cast<size_t>(end - p), out);
            p += ascii;
            out += ascii;
        } else {
            p = simd::skipAscii(p, end);
        }
        // One sequence at a time until the next ASCII byte.
        while (p < end) {
            const unsigned b = *p;
            if (b < 0x80) {
                put(b);
                ++p;
                break;
            }
            // Two bytes, C2 to DF and a continuation byte, the common case
            // (Cyrillic, Greek, the accented Latin letters), without the
            // general reading's range tests.
            if (b - 0xC2u < 0x1Eu && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
                put((b & 0x1F) << 6 | (p[1] & 0x3F));
                p += 2;
                continue;
            }
            const int length = utf8SequenceAt(p, end);
            if (length < 0)
                return -1;
            if (length == 2) {
                put((b & 0x1F) << 6 | (p[1] & 0x3F));
            } else if (length == 3) {
                put((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
            } else {
                const char32_t cp =
                    (b & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
                put(0xD7C0 + (cp >> 10));
                put(0xDC00 | (cp & 0x3FF));
            }
            p += length;
        }
    }
    return out - outBegin;
}

bool isHighSurrogate(char16_t c) {
    return (c & 0xFC00) == 0xD800;
}
bool isLowSurrogate(char16_t c) {
    return (c & 0xFC00) == 0xDC00;
}

uint8_t* encodeUtf8(const char16_t* s, const char16_t* const end, uint8_t* out) {
    while (s < end) {
        // Every unit takes at least one byte, so the output has room for
        // the ASCII run's bytes.
        const size_t ascii = simd::narrowAscii(s, static_cast<size_t>(end - s), out);
        s += ascii;
        out += ascii;
        // One character at a time until the next ASCII one.
        while (s < end) {
            const char16_t c = *s++;
            if (c < 0x80) {
                *out++ = static_cast<uint8_t>(c);
                break;
            }
            if (c < 0x800) {
                *out++ = static_cast<uint8_t>(0xC0 | c >> 6);
                *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
            } else if (isHighSurrogate(c) && s < end && isLowSurrogate(*s)) {
                const char32_t cp =
                    0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(*s++) - 0xDC00);
                *out++ = static_cast<uint8_t>(0xF0 | cp >> 18);
                *out++ = static_cast<uint8_t>(0x80 | (cp >> 12 & 0x3F));
                *out++ = static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F));
                *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            } else {
                const char16_t u = (c & 0xF800) == 0xD800 ? char16_t(0xFFFD) : c;
                *out++ = static_cast<uint8_t>(0xE0 | u >> 12);
                *out++ = static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F));
                *out++ = static_cast<uint8_t>(0x80 | (u & 0x3F));
            }
        }
    }
    return out;
}

} // namespace

QString decodeUtf8Strict(QByteArrayView bytes, bool* ok) {
    if (ok)
        *ok = true;
    if (bytes.isEmpty())
        return QString();
    QString text(bytes.size(), Qt::Uninitialized);
    const qsizetype units = decodeUtf8Into(bytes, reinterpret_cast<char16_t*>(text.data()));
    if (units < 0) {
        if (ok)
            *ok = false;
        return QString();
    }
    text.resize(units);
    // Text that is mostly multi-byte (Cyrillic, CJK) would otherwise keep up to
    // three times the memory it needs for as long as the lines live.
    if (units < bytes.size() - bytes.size() / 4)
        text.squeeze();
    return text;
}

qsizetype decodeUtf8Into(QByteArrayView bytes, char16_t* out) {
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    return walkUtf8<true>(in, in + bytes.size(), out);
}

bool isWellFormedUtf8(QByteArrayView bytes) {
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() >= 64)
        return simd::isWellFormedUtf8(bytes.data(), static_cast<size_t>(bytes.size()));
    return walkUtf8<false>(in, in + bytes.size(), nullptr) >= 0;
}

int utf8SequenceAt(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    return utf8SequenceAt(p, p + bytes.size());
}

char32_t utf8CharacterAt(QByteArrayView bytes, int* length) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const int sequence = utf8SequenceAt(p, p + bytes.size());
    *length = sequence < 0 ? -sequence : sequence;
    if (sequence < 0)
        return 0xFFFD;
    if (sequence == 1)
        return p[0];
    char32_t c = p[0] & (0x7F >> sequence);
    for (int k = 1; k < sequence; ++k)
        c = c << 6 | (p[k] & 0x3F);
    return c;
}

void Utf8Tally::add(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = p + bytes.size();
    while ((p = simd::skipAscii(p, end)) < end) {
        const int length = utf8SequenceAt(p, end);
        if (length > 0) {
            ++multiByte;
            p += length;
        } else {
            ++illFormed;
            p -= length;
        }
    }
}

void repairUtf8(QByteArrayView bytes, QByteArray& out) {
    const auto* const begin = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = begin + bytes.size();
    const uint8_t* good = begin; // the start of the bytes not yet copied
    out.reserve(out.size() + bytes.size() + bytes.size() / 8 + 16);
    for (const uint8_t* p = begin; (p = simd::skipAscii(p, end)) < end;) {
        const int length = utf8SequenceAt(p, end);
        if (length > 0) {
            p += length;
            continue;
        }
        out.append(reinterpret_cast<const char*>(good), p - good);
        out.append("\xEF\xBF\xBD", 3);
        p -= length;
        good = p;
    }
    out.append(reinterpret_cast<const char*>(good), end - good);
}

QString decodeUtf8Lenient(QByteArrayView bytes) {
    bool ok = true;
    QString text = decodeUtf8Strict(bytes, &ok);
    if (ok)
        return text;
    QByteArray repaired;
    repairUtf8(bytes, repaired);
    return decodeUtf8Strict(repaired);
}

QByteArray TUTF8Encoding::GetPreamble() const {
    return QByteArray("\xEF\xBB\xBF", 3);
}

QString TUTF8Encoding::GetString(QByteArrayView bytes) const {
    return decodeUtf8Strict(bytes);
}

void TUTF8Encoding::appendBytes(QStringView text, QByteArray& out) const {
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* end = s + text.size();
    const qsizetype old = out.size();
    // Sized once for the worst case, three bytes a unit: pages never written
    // are never touched, and giving back the rest is cheap for big buffers.
    out.resize(old + text.size() * 3);
    uint8_t* start = reinterpret_cast<uint8_t*>(out.data()) + old;
    out.resize(old + (encodeUtf8(s, end, start) - start));
    if (out.capacity() - out.size() > (qsizetype(1) << 20))
        out.squeeze();
}

const TEncoding& TEncoding::UTF8() {
    static const TUTF8Encoding utf8;
    return utf8;
}

const TEncoding& TEncoding::Default() {
    // systemAnsiCodePage() only ever gives a supported code page.
    static const TEncoding& encoding = *ansi(systemAnsiCodePage());
    return encoding;
}

const TEncoding* TEncoding::ansi(int codePage) {
    return ansiCodePageEncoding(codePage);
}

bool isSupportedAnsiCodePage(int codePage) {
    return (codePage >= 1250 && codePage <= 1258) || codePage == 874 || codePage == 932 ||
           codePage == 936 || codePage == 949 || codePage == 950;
}

int ansiCodePageForLocale(QStringView localeName) {
    // "language[_territory][.codeset][@modifier]"; only the language counts,
    // except that Chinese differs by territory.
    qsizetype languageEnd = 0;
    while (languageEnd < localeName.size() &&
           !QStringView(u"_-.@").contains(localeName[languageEnd]))
        ++languageEnd;
    const QString language = localeName.first(languageEnd).toString().toLower();
    QString territory;
    if (languageEnd < localeName.size() &&
        (localeName[languageEnd] == u'_' || localeName[languageEnd] == u'-')) {
        qsizetype end = languageEnd + 1;
        while (end < localeName.size() && !QStringView(u"_-.@").contains(localeName[end]))
            ++end;
        territory = localeName.sliced(languageEnd + 1, end - languageEnd - 1).toString().toUpper();
    }

    if (language == u"zh" && !territory.isEmpty()) {
        // Traditional script where it is the norm; simplified everywhere
        // else. Without a territory the script is unknown, and Chinese is
        // treated as any language without a code page of its own.
        if (territory == u"TW" || territory == u"HK" || territory == u"MO")
            return 950;
        return 936;
    }

    struct Entry {
        const char16_t* languages;
        int codePage;
    };
    static const Entry table[] = {
        {u" ru uk be bg sr mk kk ky tt mn ", 1251},
        {u" cs pl hu sk sl hr ro sq bs ", 1250},
        {u" el ", 1253},
        {u" tr az uz ", 1254},
        {u" he ", 1255},
        {u" ar fa ur ", 1256},
        {u" et lv lt ", 1257},
        {u" vi ", 1258},
        {u" th ", 874},
        {u" ja ", 932},
        {u" ko ", 949},
    };
    if (!language.isEmpty()) {
        const QString key = u' ' + language + u' ';
        for (const Entry& entry : table)
            if (QStringView(entry.languages).contains(key))
                return entry.codePage;
    }
    return 1252;
}

int systemAnsiCodePage() {
    static const int codePage = [] {
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const QByteArray value = qgetenv(name);
            if (!value.isEmpty())
                return ansiCodePageForLocale(QString::fromLatin1(value));
        }
        return 1252;
    }();
    return codePage;
}

} // namespace dorvane
