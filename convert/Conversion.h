#pragma once

#include "convert/SourceName.h"
#include "playlist/LineRules.h"
#include "playlist/Playlist.h"
#include "simd/Kernels.h"

#include <QString>
#include <QStringView>

namespace dorvane {

class TargetFormat;

namespace lines {

// The first ',' in [begin, end), or end; and whether an odd number of '"'
// stand before it. Name lines carry long attribute lists in front of the
// name, so each code unit width has a kernel of its own that takes several
// at a time (the bytes' looks for both characters in one pass, on the
// processor's widest vectors).
inline const char* firstComma(const char* begin, const char* end, bool& oddQuotesBefore) {
    return simd::kernels().firstComma(begin, end, oddQuotesBefore);
}
const char16_t* firstComma(const char16_t* begin, const char16_t* end, bool& oddQuotesBefore);

// Where the channel name of a name line starts (it runs to the line's end):
// after the first comma that stands outside double quotes (so
// `tvg-name="News, Weather"` does not cut it); with no such comma, after the
// first comma; with no comma at all, the whole line.
template <typename Char> const Char* channelNameStart(const Char* begin, const Char* end) {
    bool oddQuotes = false;
    const Char* firstComma = lines::firstComma(begin, end, oddQuotes);
    if (firstComma == end)
        return begin;
    // Usually every quote before the first comma is closed again and the name
    // is found without looking further.
    if (!oddQuotes)
        return firstComma + 1;
    bool quoted = true;
    for (const Char* p = firstComma + 1; p < end; ++p) {
        if (*p == Char('"'))
            quoted = !quoted;
        else if (*p == Char(',') && !quoted)
            return p + 1;
    }
    return firstComma + 1; // no comma outside quotes: the plain first comma counts
}

} // namespace lines

// True when the line names a channel: it contains "#EXTINF" (case-sensitive).
inline bool isNameLine(QStringView line) {
    return lines::isNameLine(line.utf16(), line.utf16() + line.size());
}

// The channel name of a name line (lines::channelNameStart).
inline QStringView channelNameOf(QStringView nameLine) {
    const char16_t* begin = nameLine.utf16();
    const char16_t* end = begin + nameLine.size();
    return QStringView(lines::channelNameStart(begin, end), end);
}

// The classification state of a conversion of text lines (runConversion
// does the rest): the current channel name and the last address.
class Conversion {
public:
    // `source` names the playlist, for targets whose header does.
    explicit Conversion(const TargetFormat& target, SourceName source = {});

    const TargetFormat& target() const { return *m_target; }
    const SourceName& sourceName() const { return m_source; }

    // Classifies one source line: a name line sets channel; a stream line sets
    // url and, with a channel name current, is an entry: write(channel, url).
    // For the M3U targets every line is an entry of its own, written as it is.
    template <typename Write> void processLine(QStringView line, Write&& write) {
        if (!m_converts) {
            write(QStringView(), line, QStringView());
            return;
        }
        // resize(0) keeps the capacity, so after the first few lines a run
        // copies names and addresses without allocating.
        if (isNameLine(line)) {
            channel.resize(0);
            channel.append(channelNameOf(line));
            if (m_attributes) {
                block.resize(0);
                block.append(line);
            }
            return;
        }
        if (!isStreamLine(line)) {
            // The directive lines of a block tell its channel's attributes.
            if (m_attributes && !channel.isEmpty() &&
                lines::isDirective(line.utf16(), line.utf16() + line.size())) {
                block.append(u'\n');
                block.append(line);
            }
            return;
        }
        url.resize(0);
        url.append(line);
        if (!channel.isEmpty())
            write(QStringView(channel), QStringView(url), QStringView(block));
    }

    int count = 0;   // entries written so far (kept by runConversion)
    QString channel; // the current channel name
    QString url;     // the last stream line, whole
    QString block;   // the name line and its directive lines (wantsAttributes)

private:
    const TargetFormat* m_target;
    bool m_converts;
    bool m_attributes;
    SourceName m_source;
};

} // namespace dorvane
