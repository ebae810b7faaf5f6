#pragma once

#include "playlist/LineRules.h"
#include "source/PlaylistReader.h"

#include <QString>
#include <QStringView>

class QXmlStreamReader;

namespace dorvane::reading {

// The text without a leading byte-order mark and blank space: where a
// format's signature is looked for.
QStringView afterBlank(QStringView text);

// Calls line(QStringView) for each line of the text (ending at CR, LF or
// CR LF), as the playlist's lines are split.
template <typename Line> void forEachLine(QStringView text, Line line);

// Whether every line that is not blank passes `test`, and there is one.
template <typename Test> bool everyLine(QStringView text, Test test) {
    bool any = false, all = true;
    forEachLine(text, [&](QStringView line) {
        if (!all || line.trimmed().isEmpty())
            return;
        any = true;
        all = test(line);
    });
    return any && all;
}

// Where the line's first stream marker ("http://", "udp://", ...) begins,
// or -1.
qsizetype streamMarkerAt(QStringView line);

// The name and namespace of an XML document's root element; empty when the
// text is no XML or has no element.
struct XmlRoot {
    QString name;
    QString namespaceUri;
};
XmlRoot xmlRoot(QStringView text);

// The text of the element the reader stands at the start of, with its
// entities and CDATA sections resolved; as far as it goes when the document
// breaks off.
QString elementText(QXmlStreamReader& xml);

// An entry of a name and an address (and a group).
inline ReadEntry entryOf(QString name, QString address, QString group = {}) {
    ReadEntry entry;
    entry.name = std::move(name);
    entry.address = std::move(address);
    entry.group = std::move(group);
    return entry;
}

// Adds the entry when it has an address; a name that is missing is its
// address.
void addEntry(ReadPlaylist& playlist, ReadEntry entry);

template <typename Line> void forEachLine(QStringView text, Line line) {
    const char16_t* begin = text.utf16();
    lines::forEachLine(begin, begin + text.size(), [&](const char16_t* from, const char16_t* to) {
        line(QStringView(from, to - from));
    });
}

} // namespace dorvane::reading
