#pragma once

#include "convert/Conversion.h"
#include "convert/TargetFormat.h"
#include "playlist/Playlist.h"
#include "playlist/ShownText.h"
#include "playlist/StringList.h"

namespace dorvane {

class LineSink;

// What a conversion run counts.
struct ConversionCounts {
    int channels = 0; // the channel count of the lines, as intake counts it
    int entries = 0;  // the entries written; for the M3U targets, which write
                      // the playlist itself, the channels
    int refused = 0;  // entries left out: the target cannot carry them
                      // (TargetFormat::carries)
};

// The one way to run a conversion: the target's header, then the entries the
// source gives, then its footer, into `out` (a LineSink for text lines, a
// ByteLineSink for UTF-8 bytes).
//
// The source gives the entries a batch at a time: source.next(write) calls
// write(channel, line, block) for each entry of its next batch and returns
// false once there is none left (`block`: the channel's name line and
// directive lines, for a target that wantsAttributes(), else empty);
// source.channels() is then the channel count of all its lines. For the M3U
// targets every line is an entry, with an empty channel, and is written as
// it is. Text lines are classified by Conversion (convertLines, the window's
// run, dorvane-convert's UTF-16 way), UTF-8 bytes by ByteScanner
// (Utf8Source, ScannedPieceSource).
//
// `name` names the playlist, for targets whose header does. `count` holds
// the number of entries written so far, from 0: the number of
// the entry being written, and the final one the footer writes.
template <typename Source, typename Sink>
ConversionCounts runConversion(const TargetFormat& target, Source& source, Sink& out,
                               const SourceName& name, int& count) {
    const bool converts = target.converts();
    count = 0;
    if (converts)
        target.header(out, name);
    // No control character reaches a target's file, nor the terminal it
    // may be written to (playlist/ShownText.h); the attributes of a
    // channel's block are shown alike where a target reads them
    // (TemplateFormat).
    struct {
        QString text[2];
        QByteArray bytes[2];
        QStringView operator()(QStringView view, int k) { return shown::forTarget(view, text[k]); }
        QByteArrayView operator()(QByteArrayView view, int k) {
            return shown::forTarget(view, bytes[k]);
        }
    } shownText;
    int refused = 0;
    const auto write = [&](auto channel, auto line, auto block) {
        if (!converts) {
            out.addLine({shownText(line, 1)});
            return;
        }
        const auto shownChannel = shownText(channel, 0);
        const auto shownLine = shownText(line, 1);
        if (!target.carries(shownChannel, shownLine)) {
            ++refused;
            return;
        }
        target.entry(out, shownChannel, shownLine, block, ++count);
    };
    while (source.next(write)) {
    }
    if (converts)
        target.footer(out, count);
    const int channels = source.channels();
    return {channels, converts ? count : channels, refused};
}

template <typename Source, typename Sink>
ConversionCounts runConversion(const TargetFormat& target, Source& source, Sink& out,
                               const SourceName& name = {}) {
    int count = 0;
    return runConversion(target, source, out, name, count);
}

// A source for runConversion: all lines of a line list, as one batch.
class LineListSource {
public:
    LineListSource(const TargetFormat& target, const TStringList& lines)
        : m_conversion(target), m_lines(lines) {}

    template <typename Write> bool next(Write& write) {
        if (m_done)
            return false;
        m_done = true;
        for (int i = 0; i < m_lines.Count(); ++i)
            m_conversion.processLine(m_lines.line(i), write);
        return true;
    }
    int channels() const { return channelCount(m_lines); }

private:
    Conversion m_conversion;
    const TStringList& m_lines;
    bool m_done = false;
};

// All lines of a line list (LineListSource).
ConversionCounts convertLines(const TargetFormat& target, const TStringList& lines, LineSink& out,
                              const SourceName& name = {});

} // namespace dorvane
