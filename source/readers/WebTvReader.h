#pragma once

#include "source/readers/ReaderText.h"

#include <QXmlStreamReader>

namespace dorvane {

// A WebTV list: each webtv element's title and url attributes.
class WebTvReader final : public reading::NamedReader {
public:
    WebTvReader() : NamedReader({u"WebTV", {QStringLiteral("webtv")}, {QStringLiteral("xml")}}) {}

    bool claims(QStringView text) const override {
        return reading::xmlRoot(text).name == u"webtvs";
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        QXmlStreamReader xml(text.toString());
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"webtv")
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            reading::addEntry(playlist,
                              reading::entryOf(attributes.value(QLatin1String("title")).toString(),
                                               attributes.value(QLatin1String("url")).toString()));
        }
        return playlist;
    }
};

} // namespace dorvane
