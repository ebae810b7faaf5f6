#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <type_traits>

namespace dorvane {

// The buffer the escaping functions take for a kind of text: QString for
// UTF-16 text (QStringView), QByteArray for UTF-8 bytes (QByteArrayView).
template <typename Text>
using XmlBuffer = std::conditional_t<std::is_same_v<Text, QByteArrayView>, QByteArray, QString>;

// Escaping for the XML targets, which write fixed line templates and only need
// the channel name and address made safe. Each function takes UTF-16 text or
// well-formed UTF-8 bytes alike (the bytes come out as encoding the text's
// result would give them), and returns `text` itself when nothing in it needs
// a change (the usual case, which then costs no copy), or else a view of
// `buffer`, which it overwrites; the view is valid until `buffer` next
// changes.
//
// All three leave out the characters XML 1.0 does not allow anywhere (C0
// controls other than tab, LF and CR, and U+FFFE, U+FFFF): no escape can
// represent them, and a reader stops at the first one.
namespace xml {

// An attribute value inside double quotes: & < > " become entities.
template <typename Text> Text attributeValue(Text text, XmlBuffer<Text>& buffer);
// Element content: & < > become entities.
template <typename Text> Text elementText(Text text, XmlBuffer<Text>& buffer);
// The inside of one CDATA section: each "]]>" is split across two sections
// ("]]]]><![CDATA[>") so that it does not end the section early.
template <typename Text> Text cdataContent(Text text, XmlBuffer<Text>& buffer);

} // namespace xml

// True for a UTF-16 code unit XML 1.0 allows in a document.
constexpr bool isXmlChar(char16_t c) {
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace dorvane
