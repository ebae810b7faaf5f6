#include "XmlText.h"

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

} // namespace

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
