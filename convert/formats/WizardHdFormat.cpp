#include "WizardHdFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"

namespace dorvane {

namespace {

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url) {
    out.addLine({channel, u",", url});
}

} // namespace

void WizardHdFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    writeEntry(out, channel, url);
}

void WizardHdFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
                           int) const {
    writeEntry(out, channel, url);
}

} // namespace dorvane
