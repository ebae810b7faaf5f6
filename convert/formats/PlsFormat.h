#pragma once

#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// Numbered File/Title/Length keys; the footer carries the number of entries.
class PlsFormat final : public TemplateFormat<PlsFormat> {
public:
    PlsFormat()
        : TemplateFormat({TTargetKind::tkPLS, u"PLS Playlist", u"pls", u"playlist", u".pls"}) {}

    template <typename Sink> static void writeHeader(Sink& out) {
        out.addLine({u"[playlist]"});
        out.addLine({});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int n) {
        const DecimalText number(n);
        out.addLine({u"File", number, u"=", url});
        out.addLine({u"Title", number, u"=", channel});
        out.addLine({u"Length", number, u"=0"});
        out.addLine({});
    }

    template <typename Sink> static void writeFooter(Sink& out, int count) {
        out.addLine({u"NumberOfEntries=", DecimalText(count)});
        out.addLine({});
        out.addLine({u"Version=2"});
        out.addLine({});
    }
};

} // namespace dorvane
