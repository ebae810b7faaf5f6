#include "convert/XmlText.h"

#include "simd/Ascii.h"

#include <cstring>

namespace dorvane {

namespace {

// The escaping is written once over the code unit: char16_t for UTF-16 text,
// char for UTF-8 bytes. What changes is ASCII (the specials, the C0
// controls) or, for U+FFFE and U+FFFF, one code unit in UTF-16 and the three
// bytes EF BF BE / EF BF BF in UTF-8.

enum class Quoting { Attribute, Element };

template <typename Text>
using CharOf = std::conditional_t<std::is_same_v<Text, QByteArrayView>, char, char16_t>;

template <typename Char> struct TextOf;
template <> struct TextOf<char16_t> {
    using View = QStringView;
    using Buffer = QString;
    static const char16_t* units(View text) { return text.utf16(); }
    static char16_t* units(Buffer& buffer) { return reinterpret_cast<char16_t*>(buffer.data()); }
};
template <> struct TextOf<char> {
    using View = QByteArrayView;
    using Buffer = QByteArray;
    static const char* units(View text) { return text.data(); }
    static char* units(Buffer& buffer) { return buffer.data(); }
};

// The entity of a special character (one that XML would read as markup);
// null for any other character.
template <Quoting quoting> const char* entityFor(unsigned c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return quoting == Quoting::Attribute ? "&quot;" : nullptr;
    default:
        return nullptr;
    }
}

// The length of what starts at p[k] when it is a character XML does not
// allow (a C0 control but tab, LF, CR; U+FFFE; U+FFFF), else 0. UTF-8 text
// is well-formed, so an EF has two bytes after it.
inline qsizetype forbiddenLength(const char16_t* p, qsizetype k) {
    return isXmlChar(p[k]) ? 0 : 1;
}
inline qsizetype forbiddenLength(const char* text, qsizetype k) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char b = p[k];
    if (b < 0x20)
        return b == '\t' || b == '\n' || b == '\r' ? 0 : 1;
    if (b == 0xEF && p[k + 1] == 0xBF && (p[k + 2] == 0xBE || p[k + 2] == 0xBF))
        return 3;
    return 0;
}

// The code units that may start a forbidden character.
inline bool mayBeForbidden(char16_t c) {
    return c < 0x20 || c >= 0xFFFE;
}
inline bool mayBeForbidden(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0xEF;
}

// Skips code units that certainly stay as they are: sixteen bytes at a time
// for UTF-8 (addresses are long, and most need no change at all). The rule
// itself is nextChange's.
template <Quoting quoting> qsizetype skipPlain(const char16_t*, qsizetype k, qsizetype) {
    return k;
}
template <Quoting quoting> qsizetype skipPlain(const char* p, qsizetype k, qsizetype size) {
    return static_cast<qsizetype>(simd::skipXmlPlain(
        p, static_cast<size_t>(k), static_cast<size_t>(size), quoting == Quoting::Attribute));
}

// The next code unit from k on that starts a change, and how many units it
// replaces; size when there is none.
template <Quoting quoting, typename Char>
qsizetype nextChange(const Char* p, qsizetype k, qsizetype size, qsizetype& length) {
    for (k = skipPlain<quoting>(p, k, size); k < size; ++k) {
        const Char c = p[k];
        if (entityFor<quoting>(static_cast<std::make_unsigned_t<Char>>(c))) {
            length = 1;
            return k;
        }
        if (mayBeForbidden(c) && (length = forbiddenLength(p, k)) != 0)
            return k;
        k = skipPlain<quoting>(p, k + 1, size) - 1; // on past a unit that stays
    }
    return size;
}

template <typename Char> Char* copyUnits(Char* out, const Char* from, qsizetype count) {
    std::memcpy(out, from, static_cast<size_t>(count) * sizeof(Char));
    return out + count;
}

template <typename Char> Char* copyAscii(Char* out, const char* ascii) {
    while (*ascii)
        *out++ = static_cast<Char>(*ascii++);
    return out;
}

template <Quoting quoting, typename Char>
typename TextOf<Char>::View escape(typename TextOf<Char>::View text,
                                   typename TextOf<Char>::Buffer& buffer) {
    const Char* p = TextOf<Char>::units(text);
    const qsizetype size = text.size();
    qsizetype length = 0;
    qsizetype k = nextChange<quoting>(p, 0, size, length);
    if (k == size)
        return text;

    // Written through a pointer into room for the worst case ("&quot;" for
    // each unit): most addresses with a query string get here.
    if (buffer.size() < size * 6)
        buffer.resize(size * 6);
    Char* const begin = TextOf<Char>::units(buffer);
    Char* out = begin;
    qsizetype runStart = 0;
    while (k < size) {
        out = copyUnits(out, p + runStart, k - runStart);
        if (length == 1)
            if (const char* entity =
                    entityFor<quoting>(static_cast<std::make_unsigned_t<Char>>(p[k])))
                out = copyAscii(out, entity);
        runStart = k + length;
        k = nextChange<quoting>(p, runStart, size, length);
    }
    out = copyUnits(out, p + runStart, size - runStart);
    return typename TextOf<Char>::View(begin, out - begin);
}

template <typename Char>
typename TextOf<Char>::View escapeCData(typename TextOf<Char>::View text,
                                        typename TextOf<Char>::Buffer& buffer) {
    const Char* p = TextOf<Char>::units(text);
    const qsizetype size = text.size();
    const auto needsChange = [p, size](qsizetype k) {
        if (p[k] == Char(']'))
            return k + 2 < size && p[k + 1] == Char(']') && p[k + 2] == Char('>');
        return mayBeForbidden(p[k]) && forbiddenLength(p, k) != 0;
    };
    qsizetype k = 0;
    while (k < size && !needsChange(k))
        ++k;
    if (k == size)
        return text;

    // Rare: unit by unit, into room for the worst case (every unit a '>'
    // after "]]"). Forbidden characters go first, so that leaving one out
    // cannot make a "]]>" that is then not split.
    constexpr char kSplit[] = "]]><![CDATA["; // ends the section after "]]", opens one for ">"
    if (buffer.size() < size * qsizetype(sizeof kSplit))
        buffer.resize(size * qsizetype(sizeof kSplit));
    Char* const begin = TextOf<Char>::units(buffer);
    Char* out = begin;
    for (k = 0; k < size; ++k) {
        if (const qsizetype skip = mayBeForbidden(p[k]) ? forbiddenLength(p, k) : 0) {
            k += skip - 1;
            continue;
        }
        if (p[k] == Char('>') && out - begin >= 2 && out[-1] == Char(']') && out[-2] == Char(']'))
            out = copyAscii(out, kSplit);
        *out++ = p[k];
    }
    return typename TextOf<Char>::View(begin, out - begin);
}

} // namespace

namespace xml {

template <typename Text> Text attributeValue(Text text, XmlBuffer<Text>& buffer) {
    return escape<Quoting::Attribute, CharOf<Text>>(text, buffer);
}
template <typename Text> Text elementText(Text text, XmlBuffer<Text>& buffer) {
    return escape<Quoting::Element, CharOf<Text>>(text, buffer);
}
template <typename Text> Text cdataContent(Text text, XmlBuffer<Text>& buffer) {
    return escapeCData<CharOf<Text>>(text, buffer);
}

template QStringView attributeValue(QStringView, QString&);
template QStringView elementText(QStringView, QString&);
template QStringView cdataContent(QStringView, QString&);
template QByteArrayView attributeValue(QByteArrayView, QByteArray&);
template QByteArrayView elementText(QByteArrayView, QByteArray&);
template QByteArrayView cdataContent(QByteArrayView, QByteArray&);

} // namespace xml

} // namespace dorvane
