#pragma once

#include "convert/TargetFormat.h"

namespace dorvane {

// The targets that convert nothing: selecting one shows the playlist itself,
// so they write no lines of their own.
class SourceFormat : public NamedTargetFormat {
public:
    using NamedTargetFormat::NamedTargetFormat;
    bool converts() const override { return false; }
    bool utf8ByteOrderMarkByDefault() const override { return false; }
    void entry(LineSink&, QStringView, QStringView, QStringView, int) const override {}
    void entry(ByteLineSink&, QByteArrayView, QByteArrayView, QByteArrayView, int) const override {}
};

class M3uFormat final : public SourceFormat {
public:
    M3uFormat()
        : SourceFormat({TTargetKind::tkM3U, u"M3U Playlist", u"m3u", u"playlist", u".m3u"}) {}
};

class M3u8Format final : public SourceFormat {
public:
    M3u8Format()
        : SourceFormat({TTargetKind::tkM3U8, u"M3U8 Playlist", u"m3u8", u"playlist", u".m3u8"}) {}
};

} // namespace dorvane
