#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// The playlist format itself: its text is passed on as it is, and read by
// the playlist's own rules. A text that no other reader claims is read as
// M3U too, so that what was always read is read the same way.
class M3uReader final : public reading::NamedReader {
public:
    M3uReader()
        : NamedReader({u"M3U Playlist",
                       {QStringLiteral("m3u"), QStringLiteral("m3u8")},
                       {QStringLiteral("m3u"), QStringLiteral("m3u8")}}) {}

    bool claims(QStringView text) const override {
        if (reading::afterBlank(text).startsWith(u"#EXTM3U"))
            return true;
        // A line that starts with "#EXTINF", after blank space.
        for (qsizetype at = text.indexOf(u"#EXTINF"); at >= 0;
             at = text.indexOf(u"#EXTINF", at + 1)) {
            qsizetype k = at;
            while (k > 0 && text[k - 1] != u'\n' && text[k - 1] != u'\r' &&
                   (text[k - 1].isSpace() || text[k - 1] == u'\xFEFF'))
                --k;
            if (k == 0 || text[k - 1] == u'\n' || text[k - 1] == u'\r')
                return true;
        }
        return false;
    }
    // Not used for reading: the intake keeps an M3U text as it is.
    ReadPlaylist read(QStringView) const override { return {}; }
};

} // namespace dorvane
