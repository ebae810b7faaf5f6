#pragma once

#include "playlist/LineRules.h"

#include <QString>
#include <QStringView>

namespace dorvane {

class TStringList;

// True when the line holds one of the stream markers "http://", "https://",
// "rtmp://", "udp://", "rtsp://", "rtp://", "mms://" anywhere (case-sensitive).
inline bool isStreamLine(QStringView line) {
    return lines::isStreamLine(line.utf16(), line.utf16() + line.size());
}

// The number of channels of a playlist: stream lines that follow a line
// containing "EXTINF", with only empty lines and lines starting with "#"
// (group and option lines) allowed between the two.
int channelCount(const TStringList& lines);

// The same count taken one line at a time, for a playlist read in pieces
// and for the converter's bytes.
class ChannelCounter {
public:
    // `waiting`: a name line before the first line waits for its address.
    explicit ChannelCounter(bool waiting = false) : m_pending(waiting) {}

    void addLine(QStringView line) { addLine(line.utf16(), line.utf16() + line.size()); }
    template <typename Char> void addLine(const Char* begin, const Char* end) {
        addLine(lines::hasExtinf(begin, end), lines::isStreamLine(begin, end),
                lines::keepsNameWaiting(begin, end));
    }
    // A line of which the three tests are known already.
    void addLine(bool extinf, bool stream, bool keepsNameWaiting) {
        if (stream && m_pending) {
            ++m_count;
            m_pending = false;
        }
        if (extinf)
            m_pending = true;
        else if (!keepsNameWaiting)
            m_pending = false;
    }
    int count() const { return m_count; }
    // Whether a name line waits for its address after the lines so far.
    bool waiting() const { return m_pending; }

private:
    int m_count = 0;
    bool m_pending = false; // a name line waits for its address
};

// The Russian word form for n: `one` (1, 21, 101, ...), `few` (2-4, 22-24,
// ...) or `many` (0, 5-20, 11-14 of every hundred, ...).
QString PluralForm(int n, QStringView one, QStringView few, QStringView many);

// "12 каналов": the count and its word, as the status bar shows it.
QString channelCountText(int count);

} // namespace dorvane
