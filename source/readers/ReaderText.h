#pragma once

#include "playlist/LineRules.h"
#include "source/PlaylistReader.h"

#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

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

// Reads each `item` element of an XML document: field(name, xml, entry) is
// called at the start of each element inside one (the reader standing at
// its start), and the entry is added at the item's end. A document that
// breaks off is read up to the last item it closed.
template <typename Field>
ReadPlaylist readXmlItems(QStringView text, QStringView item, Field field);

// Adds the entry when it has an address; a name that is missing is its
// address.
void addEntry(ReadPlaylist& playlist, ReadEntry entry);

template <typename Line> void forEachLine(QStringView text, Line line) {
    const char16_t* begin = text.utf16();
    lines::forEachLine(begin, begin + text.size(), [&](const char16_t* from, const char16_t* to) {
        line(QStringView(from, to - from));
    });
}

template <typename Field>
ReadPlaylist readXmlItems(QStringView text, QStringView item, Field field) {
    ReadPlaylist playlist;
    QXmlStreamReader xml(text.toString());
    ReadEntry entry;
    bool inItem = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == item) {
                entry = {};
                inItem = true;
            } else if (inItem) {
                field(xml.name(), xml, entry);
            }
        } else if (token == QXmlStreamReader::EndElement && inItem && xml.name() == item) {
            addEntry(playlist, std::move(entry));
            inItem = false;
        }
    }
    return playlist;
}

// A reader's description as fixed data, given by its constructor.
struct ReaderNames {
    QStringView caption;
    QStringList formats;
    QStringList extensions;
};

class NamedReader : public PlaylistReader {
public:
    explicit NamedReader(ReaderNames names) : m_names(std::move(names)) {}
    QStringView caption() const override { return m_names.caption; }
    QStringList formats() const override { return m_names.formats; }
    QStringList extensions() const override { return m_names.extensions; }

private:
    ReaderNames m_names;
};

// A list of one channel a line: the format is every line (but blank ones)
// being one entry, and `Entry::of(line)` gives it, or nothing.
template <typename Entry> class LineListReader : public NamedReader {
public:
    using NamedReader::NamedReader;
    bool claims(QStringView text) const override {
        return everyLine(text, [](QStringView line) { return Entry::of(line).has_value(); });
    }
    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        forEachLine(text, [&](QStringView line) {
            if (const auto entry = Entry::of(line))
                addEntry(playlist, *entry);
        });
        return playlist;
    }
};

} // namespace dorvane::reading
