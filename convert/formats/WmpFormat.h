#pragma once

#include "convert/XmlText.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// A media element per entry, addresses only. The item count stands in the
// header, so the footer goes back and fills it in.
class WmpFormat final : public TemplateFormat<WmpFormat> {
public:
    WmpFormat()
        : TemplateFormat({.kind = TTargetKind::tkWMP,
                          .caption = u"WMP Playlist",
                          .cliName = u"wmp",
                          .defaultFileName = u"playlist",
                          .extension = u".wpl",
                          .isXml = true,
                          .fillsInHeader = true}) {}

    // The header line that holds the item count, from 0.
    static constexpr int kItemCountLine = 6;

    static constexpr QStringView kItemCountBegin = u"        <meta name=\"ItemCount\" content=\"";
    static constexpr QStringView kItemCountEnd = u"\"/>";

    template <typename Sink> static void writeHeader(Sink& out) {
        out.addLine({u"<?wpl version=\"1.0\"?>"});
        out.addLine({u"<smil>"});
        out.addLine({u"    <head>"});
        out.addLine(
            {u"        <meta name=\"Generator\" content=\"Microsoft Windows Media Player -- "
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

    template <typename Sink, typename Text> static void writeEntry(Sink& out, Text, Text url, int) {
        thread_local XmlBuffer<Text> urlBuffer;
        out.addLine({u"            <media src=\"", xml::attributeValue(url, urlBuffer), u"\" />"});
    }

    template <typename Sink> static void writeFooter(Sink& out, int count) {
        out.replaceLine(kItemCountLine, {kItemCountBegin, DecimalText(count), kItemCountEnd});
        out.addLine({u"        </seq>"});
        out.addLine({u"    </body>"});
        out.addLine({u"</smil>"});
    }
};

} // namespace dorvane
