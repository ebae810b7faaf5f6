#include "WmpFormat.h"

#include "ByteLineSink.h"
#include "LineSink.h"
#include "XmlText.h"

namespace dorvane {

namespace {

constexpr QStringView kItemCountBegin = u"        <meta name=\"ItemCount\" content=\"";
constexpr QStringView kItemCountEnd = u"\"/>";

template <typename Sink> void writeHeader(Sink& out) {
    out.addLine({u"<?wpl version=\"1.0\"?>"});
    out.addLine({u"<smil>"});
    out.addLine({u"    <head>"});
    out.addLine({u"        <meta name=\"Generator\" content=\"Microsoft Windows Media Player -- "
                 u"11.0.5721.5145\"/>"});
    out.addLine({u"        <meta name=\"AverageRating\" content=\"0\"/>"});
    out.addLine({u"        <meta name=\"TotalDuration\" content=\"0\"/>"});
    out.addLine({kItemCountBegin, kItemCountEnd}); // kItemCountLine, filled in by the footer
    out.addLine({u"        <author/>"});
    out.addLine({u"        <title></title>"});
    out.addLine({u"    </head>"});
    out.addLine({u"    <body>"});
    out.addLine({u"        <seq>"});
}

template <typename Sink, typename Text> void writeEntry(Sink& out, Text url) {
    thread_local XmlBuffer<Text> urlBuffer;
    out.addLine({u"            <media src=\"", xml::attributeValue(url, urlBuffer), u"\" />"});
}

template <typename Sink> void writeFooter(Sink& out, int count) {
    out.replaceLine(WmpFormat::kItemCountLine,
                    {kItemCountBegin, DecimalText(count), kItemCountEnd});
    out.addLine({u"        </seq>"});
    out.addLine({u"    </body>"});
    out.addLine({u"</smil>"});
}

} // namespace

void WmpFormat::header(LineSink& out) const {
    writeHeader(out);
}

void WmpFormat::header(ByteLineSink& out) const {
    writeHeader(out);
}

void WmpFormat::entry(LineSink& out, QStringView, QStringView url, int) const {
    writeEntry(out, url);
}

void WmpFormat::entry(ByteLineSink& out, QByteArrayView, QByteArrayView url, int) const {
    writeEntry(out, url);
}

void WmpFormat::footer(LineSink& out, int count) const {
    writeFooter(out, count);
}

void WmpFormat::footer(ByteLineSink& out, int count) const {
    writeFooter(out, count);
}

} // namespace dorvane
