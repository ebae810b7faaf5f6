#pragma once

#include "TargetFormat.h"

namespace dorvane {

// A five-line channel element per entry, the address in a CDATA section.
class IptvxFormat final : public NamedTargetFormat {
public:
    IptvxFormat()
        : NamedTargetFormat({TTargetKind::tkIPTVx, u"IPTVx XML", u"iptvx", u"playlist", u".xml"}) {}
    void header(LineSink& out) const override;
    void header(ByteLineSink& out) const override;
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
    void footer(LineSink& out, int count) const override;
    void footer(ByteLineSink& out, int count) const override;
};

} // namespace dorvane
