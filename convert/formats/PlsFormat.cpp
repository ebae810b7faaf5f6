#include "PlsFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"

namespace dorvane {

namespace {

template <typename Sink> void writeHeader(Sink& out) {
    out.addLine({u"[playlist]"});
    out.addLine({});
}

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url, int n) {
    const DecimalText number(n);
    out.addLine({u"File", number, u"=", url});
    out.addLine({u"Title", number, u"=", channel});
    out.addLine({u"Length", number, u"=0"});
    out.addLine({});
}

template <typename Sink> void writeFooter(Sink& out, int count) {
    out.addLine({u"NumberOfEntries=", DecimalText(count)});
    out.addLine({});
    out.addLine({u"Version=2"});
    out.addLine({});
}

} // namespace

void PlsFormat::header(LineSink& out) const {
    writeHeader(out);
}

void PlsFormat::header(ByteLineSink& out) const {
    writeHeader(out);
}

void PlsFormat::entry(LineSink& out, QStringView channel, QStringView url, int n) const {
    writeEntry(out, channel, url, n);
}

void PlsFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const {
    writeEntry(out, channel, url, n);
}

void PlsFormat::footer(LineSink& out, int count) const {
    writeFooter(out, count);
}

void PlsFormat::footer(ByteLineSink& out, int count) const {
    writeFooter(out, count);
}

} // namespace dorvane
