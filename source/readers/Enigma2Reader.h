#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// An Enigma2 bouquet: "#NAME" and the bouquet's name, then services. A
// service with a stream address ("#SERVICE 4097:0:1:0:0:0:0:0:0:0:ADDRESS:NAME")
// is a channel, named by the "#DESCRIPTION" line that follows it, else by
// its own last field; a marker ("#SERVICE 1:64:...") names the group of the
// services after it. Services of a tuner (no address) are not for a
// playlist. Read as the receiver reads them: every %xx of the address and
// the name decoded, and what follows an http, https or rtsp address's first
// '#' the headers for it, "Name=Value" pairs joined by '&'.
class Enigma2Reader final : public reading::NamedReader {
public:
    Enigma2Reader()
        : NamedReader({u"Enigma2 Bouquet",
                       {QStringLiteral("enigma2")},
                       {QStringLiteral("tv"), QStringLiteral("radio")}}) {}

    bool claims(QStringView text) const override {
        bool first = true, named = false, services = false;
        reading::forEachLine(text, [&](QStringView line) {
            if (first)
                named = reading::afterBlank(line).startsWith(u"#NAME");
            else
                services = services || line.startsWith(u"#SERVICE");
            first = false;
        });
        return named && services;
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        QString group;
        // The service waiting for a description on the next line.
        enum class Waiting { Nothing, Channel, Marker } waiting = Waiting::Nothing;
        ReadEntry entry;
        const auto settle = [&] {
            if (waiting == Waiting::Channel)
                reading::addEntry(playlist, std::move(entry));
            else if (waiting == Waiting::Marker)
                group = entry.name;
            waiting = Waiting::Nothing;
        };
        bool first = true;
        reading::forEachLine(text, [&](QStringView line) {
            if (first) {
                first = false;
                const QStringView head = reading::afterBlank(line);
                if (head.startsWith(u"#NAME")) {
                    playlist.name = afterKeyword(head, 5).toString();
                    return;
                }
            }
            if (line.startsWith(u"#DESCRIPTION") && waiting != Waiting::Nothing) {
                const QStringView description = afterKeyword(line, 12);
                if (!description.isEmpty())
                    entry.name = description.toString();
                settle();
                return;
            }
            settle();
            if (!line.startsWith(u"#SERVICE"))
                return;
            const QList<QStringView> fields = afterKeyword(line, 8).split(u':');
            if (fields.size() >= 2 && fields[0] == u"1" && fields[1] == u"64") {
                entry = reading::entryOf(fields.size() > 11 ? joined(fields, 11) : QString(), {});
                waiting = Waiting::Marker;
            } else if (fields.size() > 10 && !fields[10].isEmpty()) {
                entry = reading::entryOf(fields.size() > 11 ? percentDecoded(joined(fields, 11))
                                                            : QString(),
                                         percentDecoded(fields[10].toString()), group);
                takeHeaders(entry);
                waiting = Waiting::Channel;
            }
        });
        settle();
        return playlist;
    }

    // Every %xx of a service's field decoded, as UTF-8.
    static QString percentDecoded(const QString& field) {
        if (!field.contains(u'%'))
            return field;
        return QString::fromUtf8(QByteArray::fromPercentEncoding(field.toUtf8()));
    }

    // An http, https or rtsp address ends at its first '#': the headers
    // for it follow.
    static void takeHeaders(ReadEntry& entry) {
        const qsizetype hash = entry.address.indexOf(u'#');
        if (hash < 0 ||
            !(entry.address.startsWith(u"http://") || entry.address.startsWith(u"https://") ||
              entry.address.startsWith(u"rtsp://")))
            return;
        const QString headers = entry.address.sliced(hash + 1);
        entry.address.truncate(hash);
        for (const QStringView pair : QStringView(headers).split(u'&')) {
            const qsizetype equals = pair.indexOf(u'=');
            if (equals < 0)
                continue;
            const QStringView name = pair.first(equals);
            const QString value = pair.sliced(equals + 1).toString();
            if (name.compare(u"User-Agent", Qt::CaseInsensitive) == 0)
                entry.userAgent = value;
            else if (name.compare(u"Referer", Qt::CaseInsensitive) == 0 ||
                     name.compare(u"Referrer", Qt::CaseInsensitive) == 0)
                entry.referer = value;
            else if (name.compare(u"Origin", Qt::CaseInsensitive) == 0)
                entry.origin = value;
        }
    }

private:
    // The line after a keyword of that length and the one space (or colon)
    // that separates it from its text.
    static QStringView afterKeyword(QStringView line, qsizetype length) {
        QStringView rest = line.sliced(length);
        if (rest.startsWith(u' ') || rest.startsWith(u':'))
            rest = rest.sliced(1);
        return rest;
    }
    // The fields from `from` on, as the line had them: a name may hold colons.
    static QString joined(const QList<QStringView>& fields, qsizetype from) {
        QString text;
        for (qsizetype k = from; k < fields.size(); ++k) {
            if (k > from)
                text += u':';
            text += fields[k];
        }
        return text;
    }
};

} // namespace dorvane
