#pragma once

#include "convert/XmlText.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// One XML element per entry; the name serves as both title and description.
class WebTvFormat final : public TemplateFormat<WebTvFormat> {
public:
    WebTvFormat()
        : TemplateFormat({.kind = TTargetKind::tkWebTV,
                          .caption = u"WebTV",
                          .cliName = u"webtv",
                          .defaultFileName = u"webtv_usr",
                          .extension = u".xml",
                          .isXml = true}) {}

    template <typename Sink> static void writeHeader(Sink& out) {
        out.addLine({u"<?xml version=\"1.0\"?>"});
        out.addLine({u"<webtvs>"});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        thread_local XmlBuffer<Text> nameBuffer;
        thread_local XmlBuffer<Text> urlBuffer;
        const Text name = xml::attributeValue(channel, nameBuffer);
        out.addLine({u"<webtv title=\"", name, u"\" urlkey=\"0\" url=\"",
                     xml::attributeValue(url, urlBuffer), u"\" description=\"", name,
                     u"\" type=\"1\" group=\"1\" iconsrc=\"\"/>"});
    }

    template <typename Sink> static void writeFooter(Sink& out, int) {
        out.addLine({u"</webtvs>"});
    }
};

} // namespace dorvane
