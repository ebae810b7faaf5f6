#include "convert/Conversion.h"

#include "convert/LineSink.h"
#include "convert/TargetFormat.h"
#include "playlist/Playlist.h"

#include <cstring>

namespace dorvane {

namespace {

// The number of '"' in the text, four characters at a time: name lines carry
// long attribute lists in front of the name, and this runs on every one.
qsizetype quoteCount(QStringView text) {
    constexpr quint64 kQuotes = 0x0022002200220022;
    constexpr quint64 kLow15 = 0x7FFF7FFF7FFF7FFF;
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    qsizetype count = 0;
    qsizetype k = 0;
    for (; k + 4 <= n; k += 4) {
        quint64 lanes;
        std::memcpy(&lanes, p + k, sizeof lanes);
        lanes ^= kQuotes; // a quote's lane is now 0
        // The top bit of each lane is set when the lane is not 0.
        const quint64 nonZero = ((lanes & kLow15) + kLow15) | lanes;
        // One bit per quote, at the bottom of its lane; the multiplication
        // adds the four lanes up in the top one (a portable popcount).
        const quint64 quotes = (~nonZero & ~kLow15) >> 15;
        count += static_cast<qsizetype>((quotes * 0x0001000100010001) >> 48);
    }
    for (; k < n; ++k)
        count += p[k] == u'"';
    return count;
}

} // namespace

bool isNameLine(QStringView line) {
    // Qt's vectorised search for the '#' first: QStringView::contains with a
    // text walks the line by a rolling hash, several times slower on the long
    // attribute-laden lines of real playlists.
    qsizetype from = 0;
    while (true) {
        const qsizetype at = line.indexOf(u'#', from);
        if (at < 0 || at + 7 > line.size())
            return false;
        if (line.sliced(at, 7) == u"#EXTINF")
            return true;
        from = at + 1;
    }
}

QStringView channelNameOf(QStringView nameLine) {
    const qsizetype firstComma = nameLine.indexOf(u',');
    if (firstComma < 0)
        return nameLine;
    // Usually every quote before the first comma is closed again (an even
    // number of them) and the name is found without looking further.
    if (quoteCount(nameLine.first(firstComma)) % 2 == 0)
        return nameLine.sliced(firstComma + 1);
    bool quoted = true;
    for (qsizetype k = firstComma + 1; k < nameLine.size(); ++k) {
        const QChar c = nameLine[k];
        if (c == u'"')
            quoted = !quoted;
        else if (c == u',' && !quoted)
            return nameLine.sliced(k + 1);
    }
    // No comma outside quotes: the plain first comma counts.
    return nameLine.sliced(firstComma + 1);
}

void Conversion::header(LineSink& out) {
    count = 0;
    m_target->header(out, m_source);
}

void Conversion::processLine(QStringView line, LineSink& out) {
    // resize(0) keeps the capacity, so after the first few lines a run copies
    // names and addresses without allocating.
    if (isNameLine(line)) {
        channel.resize(0);
        channel.append(channelNameOf(line));
        return;
    }
    if (!isStreamLine(line))
        return;
    url.resize(0);
    url.append(line);
    if (channel.isEmpty())
        return;
    ++count;
    m_target->entry(out, channel, url, count);
}

void Conversion::footer(LineSink& out) {
    m_target->footer(out, count);
}

} // namespace dorvane
