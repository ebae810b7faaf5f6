#include "playlist/Playlist.h"

#include "playlist/StringList.h"

namespace dorvane {

int channelCount(const TStringList& lines) {
    ChannelCounter counter;
    const int n = lines.Count();
    for (int index = 0; index < n; ++index)
        counter.addLine(lines.line(index));
    return counter.count();
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
