#pragma once

#include <QString>
#include <QStringView>

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

// True for a UTF-16 code unit XML 1.0 allows in a document.
constexpr bool isXmlChar(char16_t c) {
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace dorvane
