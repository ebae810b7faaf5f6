#include "source/readers/ReaderText.h"

#include "playlist/LineRules.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace dorvane::reading {

QStringView afterBlank(QStringView text) {
    qsizetype k = 0;
    while (k < text.size() && (text[k] == u'\xFEFF' || text[k].isSpace()))
        ++k;
    return text.sliced(k);
}

qsizetype streamMarkerAt(QStringView line) {
    const char16_t* begin = line.utf16();
    const char16_t* end = begin + line.size();
    for (qsizetype at = line.indexOf(u':'); at >= 0; at = line.indexOf(u':', at + 1)) {
        const char16_t* colon = begin + at;
        if (!lines::slashesFollow(colon, end))
            continue;
        for (const QStringView scheme :
             {u"https", u"http", u"rtmp", u"rtsp", u"udp", u"rtp", u"mms"})
            if (at >= scheme.size() && line.sliced(at - scheme.size(), scheme.size()) == scheme)
                return at - scheme.size();
    }
    return -1;
}

XmlRoot xmlRoot(QStringView text) {
    // Only as much of the text as it takes to reach the root: a big text
    // that is no XML at all is given up on at its first bytes.
    constexpr qsizetype kChunk = 64 * 1024;
    QXmlStreamReader xml;
    for (qsizetype from = 0; from < text.size() || from == 0; from += kChunk) {
        xml.addData(text.sliced(from, std::min(kChunk, text.size() - from)).toString());
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement)
                return {xml.name().toString(), xml.namespaceUri().toString()};
        }
        if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            break;
    }
    return {};
}

QString elementText(QXmlStreamReader& xml) {
    // Counted, not recursed: Qt's own reading of child elements calls
    // itself once per level, and a file of 70,000 nested elements ran the
    // stack out.
    QString text;
    for (qint64 depth = 1; depth > 0 && !xml.atEnd();) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            text += xml.text();
            break;
        default:
            break;
        }
    }
    return text;
}

void addEntry(ReadPlaylist& playlist, ReadEntry entry) {
    if (entry.address.isEmpty())
        return;
    if (entry.name.isEmpty())
        entry.name = entry.address;
    playlist.entries.push_back(std::move(entry));
}

} // namespace dorvane::reading
