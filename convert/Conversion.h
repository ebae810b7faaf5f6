#pragma once

#include "convert/SourceName.h"

#include <QString>
#include <QStringView>

namespace dorvane {

class LineSink;
class TargetFormat;

// True when the line names a channel: it contains "#EXTINF" (case-sensitive).
bool isNameLine(QStringView line);

// The channel name of a name line: the text after its first comma that stands
// outside double quotes (so `tvg-name="News, Weather"` does not cut it); with
// no such comma, after the first comma; with no comma at all, the whole line.
QStringView channelNameOf(QStringView nameLine);

// The state of one conversion to one target: the header, then each source
// line in order, then the footer.
class Conversion {
public:
    explicit Conversion(const TargetFormat& target, SourceName source = {})
        : m_target(&target), m_source(std::move(source)) {}

    const TargetFormat& target() const { return *m_target; }

    // Sets count to 0 and writes the target's opening lines.
    void header(LineSink& out);
    // Classifies one source line: a name line sets channel; a stream line sets
    // url and, with a channel name current, writes one entry.
    void processLine(QStringView line, LineSink& out);
    // Writes the target's closing lines.
    void footer(LineSink& out);

    int count = 0;   // entries written so far
    QString channel; // the current channel name
    QString url;     // the last stream line, whole

private:
    const TargetFormat* m_target;
    SourceName m_source;
};

} // namespace dorvane
