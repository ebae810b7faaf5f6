#pragma once

#include <QString>
#include <QStringView>

namespace dorvane {

class TStringList;

// True when the line holds one of the stream markers "http://", "https://",
// "rtmp://", "udp://", "rtsp://", "rtp://", "mms://" anywhere (case-sensitive).
bool isStreamLine(QStringView line);

// The number of channels of a playlist: stream lines that follow a line
// containing "EXTINF", with only empty lines and lines starting with "#"
// (group and option lines) allowed between the two.
int channelCount(const TStringList& lines);

// The same count taken one line at a time, for a playlist read in pieces.
class ChannelCounter {
public:
    void addLine(QStringView line);
    int count() const { return m_count; }

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
