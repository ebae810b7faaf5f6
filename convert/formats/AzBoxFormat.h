#pragma once

#include "convert/formats/Delimiters.h"
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

    // The name ends at the last ",256," before the line's first stream
    // marker: a name may hold ",256," but no marker, an address no ",256,"
    // before its marker. A channel without a name of its own, named by its
    // address, is written all the same: receivers take the line.
    template <typename Text> static bool carries(Text channel, Text url) {
        return (delimiters::same(channel, url) || !delimiters::holdsMarker(channel)) &&
               !delimiters::beforeMarker(url, ",256,");
    }
};

} // namespace dorvane
