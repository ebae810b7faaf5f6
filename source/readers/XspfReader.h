#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// An XSPF playlist: per track, its first location, its title, its image and
// the headers among a player's options (vlc:option elements of its
// extension).
class XspfReader final : public reading::NamedReader {
public:
    XspfReader()
        : NamedReader({u"XSPF Playlist", {QStringLiteral("xspf")}, {QStringLiteral("xspf")}}) {}

    bool claims(QStringView text) const override {
        const reading::XmlRoot root = reading::xmlRoot(text);
        return root.name == u"playlist" && root.namespaceUri == u"http://xspf.org/ns/0/";
    }

    ReadPlaylist read(QStringView text) const override {
        // The first location that holds an address: the others are its
        // alternatives.
        return reading::readXmlItems(text, u"track",
                                     [](QStringView name, QXmlStreamReader& xml, ReadEntry& entry) {
                                         if (name == u"location") {
                                             if (entry.address.isEmpty())
                                                 entry.address = reading::elementText(xml);
                                         } else if (name == u"title") {
                                             entry.name = reading::elementText(xml);
                                         } else if (name == u"image") {
                                             entry.logo = reading::elementText(xml);
                                         } else if (name == u"option") {
                                             takeOption(reading::elementText(xml), entry);
                                         }
                                     });
    }

private:
    static void takeOption(const QString& option, ReadEntry& entry) {
        const struct {
            QStringView key;
            QString ReadEntry::*field;
        } keys[] = {{u"http-user-agent=", &ReadEntry::userAgent},
                    {u"http-referrer=", &ReadEntry::referer},
                    {u"http-referer=", &ReadEntry::referer},
                    {u"http-origin=", &ReadEntry::origin}};
        for (const auto& key : keys)
            if (option.startsWith(key.key)) {
                entry.*key.field = option.sliced(key.key.size());
                return;
            }
    }
};

} // namespace dorvane
