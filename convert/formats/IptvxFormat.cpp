#include "IptvxFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"
#include "XmlText.h"

namespace dorvane {

namespace {

template <typename Sink> void writeHeader(Sink& out) {
    out.addLine({u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"});
    out.addLine({u"<items>"});
}

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url) {
    thread_local XmlBuffer<Text> nameBuffer;
    thread_local XmlBuffer<Text> urlBuffer;
    out.addLine({u"<channel>"});
    out.addLine({u"    <title>", xml::elementText(channel, nameBuffer), u"</title>"});
    out.addLine({u"    <description></description>"});
    out.addLine(
        {u"    <stream_url><![CDATA[", xml::cdataContent(url, urlBuffer), u"]]></stream_url>"});
    out.addLine({u"</channel>"});
}

template <typename Sink> void writeFooter(Sink& out) {
    out.addLine({u"</items>"});
}

} // namespace

void IptvxFormat::header(LineSink& out) const {
    writeHeader(out);
}

void IptvxFormat::header(ByteLineSink& out) const {
    writeHeader(out);
}

void IptvxFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    writeEntry(out, channel, url);
}

void IptvxFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int) const {
    writeEntry(out, channel, url);
}

void IptvxFormat::footer(LineSink& out, int) const {
    writeFooter(out);
}

void IptvxFormat::footer(ByteLineSink& out, int) const {
    writeFooter(out);
}

} // namespace dorvane
