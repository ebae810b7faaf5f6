#pragma once

#include "convert/XmlText.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// A five-line channel element per entry, the address in a CDATA section.
class IptvxFormat final : public TemplateFormat<IptvxFormat> {
public:
    IptvxFormat()
        : TemplateFormat({.kind = TTargetKind::tkIPTVx,
                          .caption = u"IPTVx XML",
                          .cliName = u"iptvx",
                          .defaultFileName = u"playlist",
                          .extension = u".xml",
                          .isXml = true}) {}

    template <typename Sink> static void writeHeader(Sink& out) {
        out.addLine({u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"});
        out.addLine({u"<items>"});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        thread_local XmlBuffer<Text> nameBuffer;
        thread_local XmlBuffer<Text> urlBuffer;
        out.addLine({u"<channel>"});
        out.addLine({u"    <title>", xml::elementText(channel, nameBuffer), u"</title>"});
        out.addLine({u"    <description></description>"});
        out.addLine(
            {u"    <stream_url><![CDATA[", xml::cdataContent(url, urlBuffer), u"]]></stream_url>"});
        out.addLine({u"</channel>"});
    }

    template <typename Sink> static void writeFooter(Sink& out, int) { out.addLine({u"</items>"}); }
};

} // namespace dorvane
