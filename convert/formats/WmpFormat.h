#pragma once

#include "TargetFormat.h"

namespace dorvane {

// A media element per entry, addresses only. The item count stands in the
// header, so the footer goes back and fills it in.
class WmpFormat final : public NamedTargetFormat {
public:
    WmpFormat()
        : NamedTargetFormat({TTargetKind::tkWMP, u"WMP Playlist", u"wmp", u"playlist", u".wpl"}) {}
    void header(LineSink& out) const override;
    void header(ByteLineSink& out) const override;
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
    void footer(LineSink& out, int count) const override;
    void footer(ByteLineSink& out, int count) const override;

    // The header line that holds the item count, from 0.
    static constexpr int kItemCountLine = 6;
};

} // namespace dorvane
