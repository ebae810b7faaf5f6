#include "convert/XmlText.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DORVANE_SSE2 1
#endif

namespace dorvane {

namespace {

enum class Quoting { Attribute, Element };

// True for a character written as it is. Checked first, and cheaply, for
// every character of every name and address.
template <Quoting quoting> bool isPlain(char16_t c) {
    if (c > u'>')
        return c < 0xFFFE;
    if (c >= 0x20)
        return c != u'&' && c != u'<' && c != u'>' && (quoting == Quoting::Element || c != u'"');
    return isXmlChar(c);
}

// What a character that is not plain becomes: an entity, or nothing at all.
QStringView replacementFor(char16_t c) {
    switch (c) {
    case u'&':
        return u"&amp;";
    case u'<':
        return u"&lt;";
    case u'>':
        return u"&gt;";
    case u'"':
        return u"&quot;";
    default:
        return u"";
    }
}

template <Quoting quoting> QStringView escape(QStringView text, QString& buffer) {
    const char16_t* p = text.utf16();
    const qsizetype size = text.size();
    qsizetype k = 0;
    while (k < size && isPlain<quoting>(p[k]))
        ++k;
    if (k == size)
        return text;

    buffer.resize(0);
    qsizetype runStart = 0;
    for (; k < size; ++k) {
        if (isPlain<quoting>(p[k]))
            continue;
        buffer.append(text.sliced(runStart, k - runStart));
        buffer.append(replacementFor(p[k]));
        runStart = k + 1;
    }
    buffer.append(text.sliced(runStart));
    return buffer;
}

// UTF-8: the length of what starts at p[k] when it is a character XML does
// not allow (a C0 control but tab, LF, CR; U+FFFE = EF BF BE; U+FFFF =
// EF BF BF), else 0. The text is well-formed, so an EF has two bytes after it.
qsizetype forbiddenLength(const unsigned char* p, qsizetype k) {
    const unsigned char b = p[k];
    if (b < 0x20)
        return b == '\t' || b == '\n' || b == '\r' ? 0 : 1;
    if (b == 0xEF && p[k + 1] == 0xBF && (p[k + 2] == 0xBE || p[k + 2] == 0xBF))
        return 3;
    return 0;
}

// Bytes that may start a change: controls, the four specials, EF.
template <Quoting quoting> bool mayChange(unsigned char b) {
    if (b >= 0x20 && b < 0x80)
        return b == '&' || b == '<' || b == '>' || (quoting == Quoting::Attribute && b == '"');
    return b < 0x20 || b == 0xEF;
}

QByteArrayView byteReplacementFor(unsigned char b) {
    switch (b) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    default:
        return "";
    }
}

// The next byte from k on that starts a change, and how many bytes it
// replaces; size when there is none. Sixteen bytes at a time: addresses are
// long, and most of them need no change at all.
template <Quoting quoting>
qsizetype nextChange(const unsigned char* p, qsizetype k, qsizetype size, qsizetype& length) {
    while (k < size) {
#ifdef DORVANE_SSE2
        const __m128i control = _mm_set1_epi8(0x1F);
        for (; k + 16 <= size; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            __m128i hit = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('&')),
                             _mm_cmpeq_epi8(v, _mm_set1_epi8('<'))),
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')),
                             _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xEF)))));
            if (quoting == Quoting::Attribute)
                hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_max_epu8(v, control), control));
            if (const int mask = _mm_movemask_epi8(hit)) {
                k += __builtin_ctz(static_cast<unsigned>(mask));
                break;
            }
        }
#endif
        for (; k < size; ++k) {
            if (!mayChange<quoting>(p[k]))
                continue;
            if (p[k] >= 0x20 && p[k] < 0x80) {
                length = 1;
                return k;
            }
            length = forbiddenLength(p, k);
            if (length)
                return k;
#ifdef DORVANE_SSE2
            ++k;
            break; // an EF of another character: on sixteen at a time
#endif
        }
    }
    return size;
}

template <Quoting quoting> QByteArrayView escape(QByteArrayView text, QByteArray& buffer) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const qsizetype size = text.size();
    qsizetype length = 0;
    qsizetype k = nextChange<quoting>(p, 0, size, length);
    if (k == size)
        return text;

    // Written through a pointer into room for the worst case ("&quot;" for
    // each byte): most addresses with a query string get here.
    if (buffer.size() < size * 6)
        buffer.resize(size * 6);
    char* const begin = buffer.data();
    char* out = begin;
    const auto copy = [&out](const void* from, qsizetype count) {
        std::memcpy(out, from, static_cast<size_t>(count));
        out += count;
    };
    qsizetype runStart = 0;
    while (k < size) {
        copy(p + runStart, k - runStart);
        if (length == 1) {
            const QByteArrayView entity = byteReplacementFor(p[k]);
            copy(entity.data(), entity.size());
        }
        runStart = k + length;
        k = nextChange<quoting>(p, runStart, size, length);
    }
    copy(p + runStart, size - runStart);
    return QByteArrayView(begin, out - begin);
}

} // namespace

QByteArrayView xmlAttributeValueUtf8(QByteArrayView text, QByteArray& buffer) {
    return escape<Quoting::Attribute>(text, buffer);
}

QByteArrayView xmlElementTextUtf8(QByteArrayView text, QByteArray& buffer) {
    return escape<Quoting::Element>(text, buffer);
}

QByteArrayView xmlCDataContentUtf8(QByteArrayView text, QByteArray& buffer) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const qsizetype size = text.size();
    const auto needsChange = [p, size](qsizetype k) {
        const unsigned char b = p[k];
        if (b == ']')
            return k + 2 < size && p[k + 1] == ']' && p[k + 2] == '>';
        return (b < 0x20 || b == 0xEF) && forbiddenLength(p, k) != 0;
    };
    qsizetype k = 0;
    while (k < size && !needsChange(k))
        ++k;
    if (k == size)
        return text;

    // As for UTF-16: forbidden characters go first.
    buffer.resize(0);
    for (k = 0; k < size; ++k) {
        if (const qsizetype skip = forbiddenLength(p, k)) {
            k += skip - 1;
            continue;
        }
        if (p[k] == '>' && buffer.endsWith("]]"))
            buffer.append("]]><![CDATA[");
        buffer.append(static_cast<char>(p[k]));
    }
    return buffer;
}

QStringView xmlAttributeValue(QStringView text, QString& buffer) {
    return escape<Quoting::Attribute>(text, buffer);
}

QStringView xmlElementText(QStringView text, QString& buffer) {
    return escape<Quoting::Element>(text, buffer);
}

QStringView xmlCDataContent(QStringView text, QString& buffer) {
    const char16_t* p = text.utf16();
    const qsizetype size = text.size();
    const auto needsChange = [p, size](qsizetype k) {
        const char16_t c = p[k];
        if (c > u']')
            return c >= 0xFFFE;
        return !isXmlChar(c) || (c == u']' && k + 2 < size && p[k + 1] == u']' && p[k + 2] == u'>');
    };
    qsizetype k = 0;
    while (k < size && !needsChange(k))
        ++k;
    if (k == size)
        return text;

    // Rare: character by character. Forbidden characters go first, so that
    // leaving one out cannot make a "]]>" that is then not split.
    buffer.resize(0);
    for (const QChar c : text) {
        if (!isXmlChar(c.unicode()))
            continue;
        if (c == u'>' && buffer.endsWith(u"]]"))
            buffer.append(u"]]><![CDATA["); // ends the section after "]]", opens one for ">"
        buffer.append(c);
    }
    return buffer;
}

} // namespace dorvane
