#pragma once

#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// Nine-line blocks; every entry has the same title and the name stands only
// under [DESCRIPTION].
class OpenBoxFormat final : public TemplateFormat<OpenBoxFormat> {
public:
    OpenBoxFormat()
        : TemplateFormat(
              {TTargetKind::tkOpenBox, u"OpenBox", u"openbox", u"internettv.feed", u".m3u"}) {}

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        out.addLine({u"[TITLE]"});
        out.addLine({u"OPENBOX"});
        out.addLine({u"[URL]"});
        out.addLine({url});
        out.addLine({u"[DESCRIPTION]"});
        out.addLine({channel});
        out.addLine({u"[TYPE]"});
        out.addLine({u"FILE"});
        out.addLine({});
    }
};

} // namespace dorvane
