#include "playlist/Playlist.h"

#include "playlist/StringList.h"

namespace dorvane {

namespace {

bool endsWithScheme(QStringView before) {
    // Every marker is a scheme name followed by "://"; the line only has to
    // contain one, so the scheme may be glued to whatever precedes it.
    static constexpr QStringView schemes[] = {u"http", u"https", u"rtmp", u"udp",
                                              u"rtsp", u"rtp",   u"mms"};
    for (QStringView scheme : schemes)
        if (before.endsWith(scheme))
            return true;
    return false;
}

bool containsExtinf(QStringView line) {
    // As line.contains(u"EXTINF"), but by way of the vectorised search for 'E'.
    qsizetype from = 0;
    while (true) {
        const qsizetype at = line.indexOf(u'E', from);
        if (at < 0 || at + 6 > line.size())
            return false;
        if (line.sliced(at, 6) == u"EXTINF")
            return true;
        from = at + 1;
    }
}

} // namespace

bool isStreamLine(QStringView line) {
    // Looks for each ':' with Qt's vectorised character search: several times
    // faster on long lines than searching for "://" itself.
    qsizetype from = 0;
    while (true) {
        const qsizetype at = line.indexOf(u':', from);
        if (at < 0 || at + 2 >= line.size())
            return false;
        if (line[at + 1] == u'/' && line[at + 2] == u'/' && endsWithScheme(line.first(at)))
            return true;
        from = at + 1;
    }
}

int channelCount(const TStringList& lines) {
    ChannelCounter counter;
    const int n = lines.Count();
    for (int index = 0; index < n; ++index)
        counter.addLine(lines.line(index));
    return counter.count();
}

void ChannelCounter::addLine(QStringView line) {
    const bool stream = isStreamLine(line);
    if (stream && m_pending) {
        ++m_count;
        m_pending = false;
    }
    if (containsExtinf(line))
        m_pending = true;
    else if (stream)
        m_pending = false;
    else if (line.isEmpty() || line.front() == u'#')
        ; // group and option lines keep a name line waiting for its address
    else
        m_pending = false;
}

QString PluralForm(int n, QStringView one, QStringView few, QStringView many) {
    const int r100 = n % 100;
    const int r10 = n % 10;
    if (r100 > 10 && r100 < 20)
        return many.toString();
    if (r10 >= 2 && r10 <= 4)
        return few.toString();
    if (r10 == 1)
        return one.toString();
    return many.toString();
}

QString channelCountText(int count) {
    return QString::number(count) + u' ' + PluralForm(count, u"канал", u"канала", u"каналов");
}

} // namespace dorvane
