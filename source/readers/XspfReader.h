#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// An XSPF playlist: per track, its first location, its title and its image.
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
                                         }
                                     });
    }
};

} // namespace dorvane
