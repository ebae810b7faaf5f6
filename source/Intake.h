#pragma once

#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace dorvane {

class InputReader;
class PlaylistReader;
class TEncoding;
struct ReadPlaylist;

// A playlist as every way in gives it: its lines in M3U, whatever format it
// came in, the reader that read it, and the name its format gave the list
// (an Enigma2 bouquet's), empty when it gave none.
struct TakenPlaylist {
    TStringList lines;
    const PlaylistReader* reader = nullptr;
    QString name;
    // How its bytes were read (nothing for a text, which was never bytes).
    TextReading reading;
};

// The playlist of a text: read by `format` when given, else by the reader
// that claims it. An M3U text becomes the lines as it stands; the text of
// any other format becomes the M3U that m3uText() writes of its channels.
// Every reader sees the text up to its first U+0000.
TakenPlaylist takeText(QString text, const PlaylistReader* format = nullptr);
// The same for a file's or a download's bytes, decoded as the playlist's
// bytes always are (decodeFileBytes, with `fallback` for text that is not
// UTF-8).
TakenPlaylist takeBytes(const QByteArray& bytes, const TEncoding& fallback,
                        const PlaylistReader* format = nullptr);
TakenPlaylist takeBytes(const QByteArray& bytes, const PlaylistReader* format = nullptr);
// The same, read in the encoding the user chose.
TakenPlaylist takeBytesAs(const QByteArray& bytes, const InputEncoding& encoding,
                          const PlaylistReader* format = nullptr);
// The same for a file; EFOpenError when it cannot be read.
TakenPlaylist takeFile(const QString& fileName, const PlaylistReader* format = nullptr);

// The playlist of an input read in pieces, when it is to be read whole: in
// another format than M3U (`format`, or else the content says), or in the
// encoding the user chose. Nothing for M3U read by the usual rules, which
// streams; the reader is then back at its start.
std::optional<TakenPlaylist> takeInput(InputReader& reader, const PlaylistReader* format,
                                       const TEncoding& fallback, const InputEncoding* encoding);

// The M3U a reader's channels are given on as: "#EXTM3U", then per entry
// "#EXTINF:-1" with its logo and group as attributes and ",NAME", and a
// line with its address. An attribute's '"' becomes '\''; CR, LF, TAB and
// the other characters of playlist/ShownText.h in any value become a space.
QString m3uText(const ReadPlaylist& playlist);

} // namespace dorvane
