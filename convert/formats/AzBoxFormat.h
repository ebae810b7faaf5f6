#pragma once

#include "TargetFormat.h"

namespace dorvane {

// "n,name,256,address", numbered from 1.
class AzBoxFormat final : public NamedTargetFormat {
public:
    AzBoxFormat()
        : NamedTargetFormat({TTargetKind::tkAzBox, u"AzBox", u"azbox", u"http_streams", u".txt"}) {}
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
};

} // namespace dorvane
