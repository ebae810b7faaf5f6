#include "WebTvFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"
#include "XmlText.h"

namespace dorvane {

namespace {

template <typename Sink> void writeHeader(Sink& out) {
    out.addLine({u"<?xml version=\"1.0\"?>"});
    out.addLine({u"<webtvs>"});
}

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url) {
    thread_local XmlBuffer<Text> nameBuffer;
    thread_local XmlBuffer<Text> urlBuffer;
    const Text name = xml::attributeValue(channel, nameBuffer);
    out.addLine({u"<webtv title=\"", name, u"\" urlkey=\"0\" url=\"",
                 xml::attributeValue(url, urlBuffer), u"\" description=\"", name,
                 u"\" type=\"1\" group=\"1\" iconsrc=\"\"/>"});
}

template <typename Sink> void writeFooter(Sink& out) {
    out.addLine({u"</webtvs>"});
}

} // namespace

void WebTvFormat::header(LineSink& out) const {
    writeHeader(out);
}

void WebTvFormat::header(ByteLineSink& out) const {
    writeHeader(out);
}

void WebTvFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    writeEntry(out, channel, url);
}

void WebTvFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int) const {
    writeEntry(out, channel, url);
}

void WebTvFormat::footer(LineSink& out, int) const {
    writeFooter(out);
}

void WebTvFormat::footer(ByteLineSink& out, int) const {
    writeFooter(out);
}

} // namespace dorvane
