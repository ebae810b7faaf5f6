#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace dorvane {

// One channel as a list format gives it. Empty fields are absent ones.
struct ReadEntry {
    QString name;
    QString address;
    QString logo;
    QString group;
    QString tvgId;
    QString tvgName;
    QString chno;
    QString catchup;
    QString catchupDays;
    QString catchupSource;
    // The headers a player sends for the address.
    QString userAgent;
    QString referer;
    QString origin;
};

// What a reader takes from a text: its entries in the file's order and, for
// a format that names its list (an Enigma2 bouquet), that name; the
// addresses of its programme guide, where it names them.
struct ReadPlaylist {
    QString name;
    std::vector<ReadEntry> entries;
    QStringList guides;
};

// One input format: how it is recognised, which files are its own, and how
// its text becomes channels. Each reader is one file in readers/, registered
// by one line in Readers.cpp; the window's Open filters, dorvane-convert's
// --from and --list-formats, and the documents come from that registry.
//
// A reader is given the text up to its first U+0000 and must read any text
// at all: what is broken is read as far as it goes, never hanging, never
// failing, and in memory a small multiple of the text.
class PlaylistReader {
public:
    virtual ~PlaylistReader() = default;

    // What the Open dialog calls the format ("PLS Playlist").
    virtual QStringView caption() const = 0;
    // The --to names of the targets whose files it reads ("pls"); the
    // first one names the reader.
    virtual QStringList formats() const = 0;
    // The file extensions it claims, without their dot ("pls").
    virtual QStringList extensions() const = 0;

    // Whether the text is of this format, from its content alone.
    virtual bool claims(QStringView text) const = 0;
    // The text's channels.
    virtual ReadPlaylist read(QStringView text) const = 0;

    QString name() const { return formats().value(0); }
};

// Every reader, M3U first and then in the order they are asked.
const std::vector<const PlaylistReader*>& allReaders();
// The reader of the format with this --to name; nullptr when none.
const PlaylistReader* readerByFormat(QStringView format);
// The reader that claims the text: M3U when it starts as M3U does or no
// other reader claims it.
const PlaylistReader& readerFor(QStringView text);
// The M3U reader, which passes its text on as it is.
const PlaylistReader& m3uReader();
// The Open dialog's filters, as "description|pattern;pattern" pairs joined
// by "|": all playlists, each format, all files.
QString readerFileFilter();

} // namespace dorvane
