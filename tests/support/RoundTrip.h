#pragma once

// A target's file read back through the intake: the round trip that every
// target's file makes when a later run, or another tool, opens it again.
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/SourceName.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/LineRules.h"
#include "playlist/StringList.h"
#include "source/Intake.h"
#include "source/PlaylistReader.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace dorvane::test {

// The bytes of the target's UTF-8 file of the lines, for a list named `name`.
inline QByteArray writtenAs(const TStringList& lines, const TargetFormat& target,
                            const QString& name) {
    QByteArray bytes = target.preamble(TEncoding::UTF8());
    EncodingSink sink(bytes, TEncoding::UTF8(), target.lineEnd());
    convertLines(target, lines, sink, SourceName::named(name));
    sink.flush();
    return bytes;
}

// The channels a conversion of the lines finds, as names and addresses.
inline std::vector<std::pair<QString, QString>> channelsOf(const TStringList& lines) {
    const TargetFormat& pls = *formatByCliName(u"pls");
    TStringList out;
    StringListSink sink(out);
    convertLines(pls, lines, sink);
    std::vector<std::pair<QString, QString>> channels;
    for (int k = 0; k + 1 < out.Count(); ++k)
        if (out.line(k).startsWith(u"File") && out.line(k + 1).startsWith(u"Title")) {
            const QStringView file = out.line(k), title = out.line(k + 1);
            channels.emplace_back(title.sliced(title.indexOf(u'=') + 1).toString(),
                                  file.sliced(file.indexOf(u'=') + 1).toString());
        }
    return channels;
}

// Why the target's own bytes cannot carry the playlist's channels back, or
// nullptr when they can. Only here: what is listed is a limit of the
// format, not of its reader.
inline const char* cannotCarry(const TStringList& lines, const TargetFormat& target) {
    const QString kind = target.cliName().toString();
    if (!target.converts())
        return nullptr;
    for (const auto& [name, address] : channelsOf(lines)) {
        for (const QString& value : {name, address}) {
            if (value.contains(u"#EXTINF"))
                return "a name or address holding \"#EXTINF\" makes a line the M3U reading "
                       "takes for a name line";
            if (value.contains(u'\t'))
                return "a tab: XML attribute values and the M3U the readers make turn it "
                       "into a space";
            for (const QChar c : value)
                if (target.isXml() && c.unicode() < 0x20)
                    return "a character XML does not allow is left out of the file";
        }
        if (kind == u"enigma2" && address.contains(u'#') &&
            (address.startsWith(u"http://") || address.startsWith(u"https://") ||
             address.startsWith(u"rtsp://")))
            return "an http, https or rtsp address holding '#': the receiver takes what "
                   "follows as headers";
        if (name.isEmpty() || (kind == u"wmp" && name != address))
            return "a channel without a name (or a format without names) is named by its "
                   "address";
        const auto* text = reinterpret_cast<const char16_t*>(name.utf16());
        if ((kind == u"wizard-hd" || kind == u"azbox") && name == address &&
            lines::isStreamLine(text, text + name.size()))
            return "a channel named by its address: these lists' names end before the first "
                   "stream marker";
    }
    // Told by its content, the file is another format's: a Wizard HD list
    // whose first name is "[TITLE]" is an OpenBox feed's start. Read as
    // what it is (--from), it reads back.
    const QString written =
        decodeUtf8Lenient(writtenAs(lines, target, QStringLiteral("list"))).remove(u'\xFEFF');
    if (&readerFor(written) != readerByFormat(kind))
        return "the file begins as another format's does, and is read as that format";
    return nullptr;
}

struct RoundTrip {
    QByteArray written; // the target's file
    QByteArray again;   // the target's file of what was read back from it
    bool holds() const { return written == again; }
};

// Writes the lines as the target, reads the file back by its content, and
// writes what was read as the target again: the two files are the same when
// the reader gave back every channel with the name and address written.
inline RoundTrip roundTrip(const TStringList& lines, const TargetFormat& target) {
    const QString name = QStringLiteral("list");
    RoundTrip trip;
    trip.written = writtenAs(lines, target, name);
    const TakenPlaylist back = takeBytes(trip.written);
    trip.again = writtenAs(back.lines, target, back.name.isEmpty() ? name : back.name);
    return trip;
}

} // namespace dorvane::test
