#pragma once

#include "TargetFormat.h"

namespace dorvane {

// Numbered File/Title/Length keys; the footer carries the number of entries.
class PlsFormat final : public NamedTargetFormat {
public:
    PlsFormat()
        : NamedTargetFormat({TTargetKind::tkPLS, u"PLS Playlist", u"pls", u"playlist", u".pls"}) {}
    void header(LineSink& out) const override;
    void header(ByteLineSink& out) const override;
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
    void footer(LineSink& out, int count) const override;
    void footer(ByteLineSink& out, int count) const override;
};

} // namespace dorvane
