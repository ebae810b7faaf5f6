#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// An IPTVx channel list: each channel element's title and stream_url.
class IptvxReader final : public reading::NamedReader {
public:
    IptvxReader()
        : NamedReader({u"IPTVx XML", {QStringLiteral("iptvx")}, {QStringLiteral("xml")}}) {}

    bool claims(QStringView text) const override { return reading::xmlRoot(text).name == u"items"; }

    ReadPlaylist read(QStringView text) const override {
        return reading::readXmlItems(text, u"channel",
                                     [](QStringView name, QXmlStreamReader& xml, ReadEntry& entry) {
                                         if (name == u"title")
                                             entry.name = reading::elementText(xml);
                                         else if (name == u"stream_url")
                                             entry.address = reading::elementText(xml);
                                     });
    }
};

} // namespace dorvane
