#include "AzBoxFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"

namespace dorvane {

namespace {

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url, int n) {
    out.addLine({DecimalText(n), u",", channel, u",256,", url});
}

} // namespace

void AzBoxFormat::entry(LineSink& out, QStringView channel, QStringView url, int n) const {
    writeEntry(out, channel, url, n);
}

void AzBoxFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
                        int n) const {
    writeEntry(out, channel, url, n);
}

} // namespace dorvane
