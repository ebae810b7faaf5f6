#pragma once

#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// The OpenBox block with the name as title too, and live streams.
class OpenBoxSxFormat final : public TemplateFormat<OpenBoxSxFormat> {
public:
    OpenBoxSxFormat()
        : TemplateFormat({TTargetKind::tkOpenBoxSX, u"OpenBox SX", u"openbox-sx",
                          u"internettv.feed", u".m3u"}) {}

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        out.addLine({u"[TITLE]"});
        out.addLine({channel});
        out.addLine({u"[URL]"});
        out.addLine({url});
        out.addLine({u"[DESCRIPTION]"});
        out.addLine({channel});
        out.addLine({u"[TYPE]"});
        out.addLine({u"LIVE"});
        out.addLine({});
    }
};

} // namespace dorvane
