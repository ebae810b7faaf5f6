#include "Playlist.h"

#include "StringList.h"

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

} // namespace

bool isStreamLine(QStringView line) {
    qsizetype from = 0;
    while (true) {
        const qsizetype at = line.indexOf(u"://", from);
        if (at < 0)
            return false;
        if (endsWithScheme(line.first(at)))
            return true;
        from = at + 1;
    }
}

int channelCount(const TStringList& lines) {
    int count = 0;
    bool pending = false;
    const int n = lines.Count();
    for (int index = 0; index < n; ++index) {
        const QStringView line = lines.line(index);
        const bool stream = isStreamLine(line);
        if (stream && pending) {
            ++count;
            pending = false;
        }
        if (line.contains(u"EXTINF"))
            pending = true;
        else if (stream)
            pending = false;
        else if (line.isEmpty() || line.front() == u'#')
            ; // group and option lines keep a name line waiting for its address
        else
            pending = false;
    }
    return count;
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
