#pragma once

#include "convert/formats/Delimiters.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// "name,address", one line per entry.
class WizardHdFormat final : public TemplateFormat<WizardHdFormat> {
public:
    WizardHdFormat()
        : TemplateFormat({TTargetKind::tkWizardHD, u"Wizard HD", u"wizard-hd", u"iptv", u".txt"}) {}

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        out.addLine({channel, u",", url});
    }

    // The name ends at the last comma before the line's first stream
    // marker: a name may hold commas but no marker, an address no comma
    // before its marker. A channel without a name of its own, named by its
    // address, is written all the same: receivers take the line.
    template <typename Text> static bool carries(Text channel, Text url) {
        return (delimiters::same(channel, url) || !delimiters::holdsMarker(channel)) &&
               !delimiters::beforeMarker(url, ",");
    }
};

} // namespace dorvane
