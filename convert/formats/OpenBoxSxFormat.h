#pragma once

#include "TargetFormat.h"

namespace dorvane {

// The OpenBox block with the name as title too, and live streams.
class OpenBoxSxFormat final : public NamedTargetFormat {
public:
    OpenBoxSxFormat()
        : NamedTargetFormat({TTargetKind::tkOpenBoxSX, u"OpenBox SX", u"openbox-sx",
                             u"internettv.feed", u".m3u"}) {}
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
};

} // namespace dorvane
