#pragma once

#include "TargetFormat.h"

namespace dorvane {

// Nine-line blocks; every entry has the same title and the name stands only
// under [DESCRIPTION].
class OpenBoxFormat final : public NamedTargetFormat {
public:
    OpenBoxFormat()
        : NamedTargetFormat(
              {TTargetKind::tkOpenBox, u"OpenBox", u"openbox", u"internettv.feed", u".m3u"}) {}
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
};

} // namespace dorvane
