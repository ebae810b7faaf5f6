#pragma once

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
};

} // namespace dorvane
