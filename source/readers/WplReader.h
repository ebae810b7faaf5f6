#pragma once

#include "source/readers/ReaderText.h"

#include <QXmlStreamReader>

namespace dorvane {

// A Windows Media playlist: each media element's src is an address; the
// format has no names.
class WplReader final : public reading::NamedReader {
public:
    WplReader()
        : NamedReader({u"WMP Playlist", {QStringLiteral("wmp")}, {QStringLiteral("wpl")}}) {}

    bool claims(QStringView text) const override {
        return reading::afterBlank(text).startsWith(u"<?wpl") ||
               reading::xmlRoot(text).name == u"smil";
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        QXmlStreamReader xml(text.toString());
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"media")
                reading::addEntry(
                    playlist,
                    reading::entryOf({}, xml.attributes().value(QLatin1String("src")).toString()));
        return playlist;
    }
};

} // namespace dorvane
