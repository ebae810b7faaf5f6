#include "source/Intake.h"

#include "playlist/Encoding.h"
#include "playlist/InputReader.h"
#include "playlist/LineRules.h"
#include "playlist/ShownText.h"
#include "playlist/TextFile.h"
#include "source/PlaylistReader.h"

namespace dorvane {

namespace {

QString cleaned(QString value, bool attribute) {
    for (QChar& c : value) {
        if (shown::becomesSpace(c.unicode(), true))
            c = u' ';
        else if (attribute && c == u'"')
            c = u'\'';
    }
    return value;
}

} // namespace

QString m3uText(const ReadPlaylist& playlist) {
    QString text = QStringLiteral("#EXTM3U");
    if (!playlist.guides.isEmpty())
        text += QStringLiteral(" url-tvg=\"%1\"").arg(cleaned(playlist.guides.join(u','), true));
    text += u"\r\n";
    for (const ReadEntry& entry : playlist.entries) {
        if (entry.address.isEmpty())
            continue;
        text += u"#EXTINF:-1";
        // Only the attributes that have a value, in this order.
        const std::pair<QStringView, const QString*> attributes[] = {
            {u"tvg-id", &entry.tvgId},
            {u"tvg-name", &entry.tvgName},
            {u"tvg-logo", &entry.logo},
            {u"tvg-chno", &entry.chno},
            {u"group-title", &entry.group},
            {u"catchup", &entry.catchup},
            {u"catchup-days", &entry.catchupDays},
            {u"catchup-source", &entry.catchupSource},
        };
        for (const auto& [key, value] : attributes)
            if (!value->isEmpty())
                text += QStringLiteral(" %1=\"%2\"").arg(key, cleaned(*value, true));
        text += u',';
        text += cleaned(entry.name.isEmpty() ? entry.address : entry.name, false);
        text += u"\r\n";
        const std::pair<QStringView, const QString*> options[] = {
            {u"http-user-agent", &entry.userAgent},
            {u"http-referrer", &entry.referer},
            {u"http-origin", &entry.origin},
        };
        for (const auto& [key, value] : options)
            if (!value->isEmpty())
                text += QStringLiteral("#EXTVLCOPT:%1=%2\r\n").arg(key, cleaned(*value, false));
        text += cleaned(entry.address, false);
        text += u"\r\n";
    }
    return text;
}

TakenPlaylist takeText(QString text, const PlaylistReader* format) {
    // Every reader sees the text up to its first U+0000, as the lines do.
    const auto* chars = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype end = lines::find(chars, chars + text.size(), u'\0') - chars;
    const QStringView visible = QStringView(text).first(end);
    TakenPlaylist taken;
    taken.reader = format ? format : &readerFor(visible);
    if (taken.reader == &m3uReader()) {
        taken.lines.setText(std::move(text), end);
        return taken;
    }
    const ReadPlaylist playlist = taken.reader->read(visible);
    text = QString(); // the lines below take its place
    taken.name = playlist.name;
    taken.lines.setText(m3uText(playlist));
    return taken;
}

TakenPlaylist takeBytes(const QByteArray& bytes, const TEncoding& fallback,
                        const PlaylistReader* format) {
    TextReading reading;
    TakenPlaylist taken =
        takeText(decodeFileBytes(bytes, TEncoding::UTF8(), fallback, &reading), format);
    taken.reading = std::move(reading);
    return taken;
}

TakenPlaylist takeBytes(const QByteArray& bytes, const PlaylistReader* format) {
    return takeBytes(bytes, TEncoding::Default(), format);
}

TakenPlaylist takeBytesAs(const QByteArray& bytes, const InputEncoding& encoding,
                          const PlaylistReader* format) {
    TextReading reading;
    TakenPlaylist taken = takeText(decodeAs(bytes, encoding, &reading), format);
    taken.reading = std::move(reading);
    return taken;
}

namespace {

// Whether the first piece of an input shows it to be M3U by itself, as the
// M3U reader decides. The piece ends after an LF, so a line that shows it
// there shows it in the whole input. What it cannot tell (a code page's
// blank space, which the lenient decoding here does not take for blank) is
// left to the readers on the whole text.
bool startsAsM3u(QByteArrayView piece) {
    if (const qsizetype nul = piece.indexOf('\0'); nul >= 0)
        piece = piece.first(nul);
    return m3uReader().claims(decodeUtf8Lenient(piece));
}

} // namespace

std::optional<TakenPlaylist> takeInput(InputReader& reader, const PlaylistReader* format,
                                       const TEncoding& fallback, const InputEncoding* encoding) {
    if (format == &m3uReader() && !encoding)
        return std::nullopt;
    if (!format && !encoding) {
        PieceBuffer buffer;
        const bool m3u = startsAsM3u(reader.next(buffer));
        reader.rewind();
        if (m3u)
            return std::nullopt;
    }
    QByteArray bytes = reader.rest();
    reader.rewind();
    if (encoding)
        return takeBytesAs(bytes, *encoding, format);
    TakenPlaylist taken = takeBytes(bytes, fallback, format);
    if (taken.reader == &m3uReader())
        return std::nullopt;
    return taken;
}

TakenPlaylist takeFile(const QString& fileName, const PlaylistReader* format) {
    TextReading reading;
    TakenPlaylist taken = takeText(readTextFile(fileName, TEncoding::Default(), &reading), format);
    taken.reading = std::move(reading);
    return taken;
}

} // namespace dorvane
