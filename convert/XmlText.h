#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <type_traits>

namespace dorvane {

// Escaping for the XML targets, which write fixed line templates and only need
// the channel name and address made safe. Each function returns `text` itself
// when nothing in it needs a change (the usual case, which then costs no
// copy), or else a view of `buffer`, which it overwrites; the view is valid
// until `buffer` next changes.
//
// All three leave out the characters XML 1.0 does not allow anywhere (C0
// controls other than tab, LF and CR, and U+FFFE, U+FFFF): no escape can
// represent them, and a reader stops at the first one.

// An attribute value inside double quotes: & < > " become entities.
QStringView xmlAttributeValue(QStringView text, QString& buffer);
// Element content: & < > become entities.
QStringView xmlElementText(QStringView text, QString& buffer);
// The inside of one CDATA section: each "]]>" is split across two sections
// ("]]]]><![CDATA[>") so that it does not end the section early.
QStringView xmlCDataContent(QStringView text, QString& buffer);

// The same for UTF-8 text (which must be well-formed), byte for byte what
// encoding the UTF-16 results would give.
QByteArrayView xmlAttributeValueUtf8(QByteArrayView text, QByteArray& buffer);
QByteArrayView xmlElementTextUtf8(QByteArrayView text, QByteArray& buffer);
QByteArrayView xmlCDataContentUtf8(QByteArrayView text, QByteArray& buffer);

// The buffer the functions above take for a kind of text view.
template <typename Text>
using XmlBuffer = std::conditional_t<std::is_same_v<Text, QByteArrayView>, QByteArray, QString>;

// Both kinds under one name each, for the formats, which write their lines
// once for UTF-16 and UTF-8 text.
namespace xml {
inline QStringView attributeValue(QStringView text, QString& buffer) {
    return xmlAttributeValue(text, buffer);
}
inline QByteArrayView attributeValue(QByteArrayView text, QByteArray& buffer) {
    return xmlAttributeValueUtf8(text, buffer);
}
inline QStringView elementText(QStringView text, QString& buffer) {
    return xmlElementText(text, buffer);
}
inline QByteArrayView elementText(QByteArrayView text, QByteArray& buffer) {
    return xmlElementTextUtf8(text, buffer);
}
inline QStringView cdataContent(QStringView text, QString& buffer) {
    return xmlCDataContent(text, buffer);
}
inline QByteArrayView cdataContent(QByteArrayView text, QByteArray& buffer) {
    return xmlCDataContentUtf8(text, buffer);
}
} // namespace xml

// True for a UTF-16 code unit XML 1.0 allows in a document.
constexpr bool isXmlChar(char16_t c) {
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace dorvane
