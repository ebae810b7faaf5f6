#pragma once

#include "TargetFormat.h"

namespace dorvane {

// One XML element per entry; the name serves as both title and description.
class WebTvFormat final : public NamedTargetFormat {
public:
    WebTvFormat()
        : NamedTargetFormat({TTargetKind::tkWebTV, u"WebTV", u"webtv", u"webtv_usr", u".xml"}) {}
    void header(LineSink& out) const override;
    void header(ByteLineSink& out) const override;
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
    void footer(LineSink& out, int count) const override;
    void footer(ByteLineSink& out, int count) const override;
};

} // namespace dorvane
