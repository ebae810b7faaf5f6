#pragma once

#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// "n,name,256,address", numbered from 1.
class AzBoxFormat final : public TemplateFormat<AzBoxFormat> {
public:
    AzBoxFormat()
        : TemplateFormat({TTargetKind::tkAzBox, u"AzBox", u"azbox", u"http_streams", u".txt"}) {}

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int n) {
        out.addLine({DecimalText(n), u",", channel, u",256,", url});
    }
};

} // namespace dorvane
