#pragma once

#include "source/readers/ReaderText.h"

#include <QXmlStreamReader>

namespace dorvane {

// An XSPF playlist: per track, its first location, its title and its image.
class XspfReader final : public PlaylistReader {
public:
    QStringView caption() const override { return u"XSPF Playlist"; }
    QStringList formats() const override { return {QStringLiteral("xspf")}; }
    QStringList extensions() const override { return {QStringLiteral("xspf")}; }

    bool claims(QStringView text) const override {
        const reading::XmlRoot root = reading::xmlRoot(text);
        return root.name == u"playlist" && root.namespaceUri == u"http://xspf.org/ns/0/";
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        QXmlStreamReader xml(text.toString());
        ReadEntry entry;
        bool inTrack = false, located = false;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                const QStringView name = xml.name();
                if (name == u"track") {
                    entry = {};
                    inTrack = true;
                    located = false;
                } else if (inTrack && name == u"location" && !located) {
                    entry.address = reading::elementText(xml);
                    located = true;
                } else if (inTrack && name == u"title") {
                    entry.name = reading::elementText(xml);
                } else if (inTrack && name == u"image") {
                    entry.logo = reading::elementText(xml);
                }
            } else if (token == QXmlStreamReader::EndElement && xml.name() == u"track") {
                reading::addEntry(playlist, std::move(entry));
                inTrack = false;
            }
        }
        return playlist;
    }
};

} // namespace dorvane
