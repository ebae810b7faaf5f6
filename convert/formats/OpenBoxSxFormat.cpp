#include "OpenBoxSxFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"

namespace dorvane {

namespace {

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url) {
    out.addLine({u"[TITLE]"});
    out.addLine({channel});
    out.addLine({u"[URL]"});
    out.addLine({url});
    out.addLine({u"[DESCRIPTION]"});
    out.addLine({channel});
    out.addLine({u"[TYPE]"});
    out.addLine({u"LIVE"});
    out.addLine({});
}

} // namespace

void OpenBoxSxFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    writeEntry(out, channel, url);
}

void OpenBoxSxFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
                            int) const {
    writeEntry(out, channel, url);
}

} // namespace dorvane
