#pragma once

#include "source/readers/ReaderText.h"

#include <QXmlStreamReader>

namespace dorvane {

// An IPTVx channel list: each channel element's title and stream_url.
class IptvxReader final : public PlaylistReader {
public:
    QStringView caption() const override { return u"IPTVx XML"; }
    QStringList formats() const override { return {QStringLiteral("iptvx")}; }
    QStringList extensions() const override { return {QStringLiteral("xml")}; }

    bool claims(QStringView text) const override { return reading::xmlRoot(text).name == u"items"; }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        QXmlStreamReader xml(text.toString());
        ReadEntry entry;
        bool inChannel = false;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (xml.name() == u"channel") {
                    entry = {};
                    inChannel = true;
                } else if (inChannel && xml.name() == u"title") {
                    entry.name = reading::elementText(xml);
                } else if (inChannel && xml.name() == u"stream_url") {
                    entry.address = reading::elementText(xml);
                }
            } else if (token == QXmlStreamReader::EndElement && xml.name() == u"channel") {
                reading::addEntry(playlist, std::move(entry));
                inChannel = false;
            }
        }
        return playlist;
    }
};

} // namespace dorvane
