#include "WmpFormat.h"

#include "LineSink.h"
#include "XmlText.h"

namespace dorvane {

namespace {

constexpr QStringView kItemCountBegin = u"        <meta name=\"ItemCount\" content=\"";
constexpr QStringView kItemCountEnd = u"\"/>";

} // namespace

void WmpFormat::header(LineSink& out) const {
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

void WmpFormat::entry(LineSink& out, QStringView, QStringView url, int) const {
    thread_local QString urlBuffer;
    out.addLine({u"            <media src=\"", xmlAttributeValue(url, urlBuffer), u"\" />"});
}

void WmpFormat::footer(LineSink& out, int count) const {
    out.replaceLine(kItemCountLine, {kItemCountBegin, DecimalText(count), kItemCountEnd});
    out.addLine({u"        </seq>"});
    out.addLine({u"    </body>"});
    out.addLine({u"</smil>"});
}

} // namespace dorvane
