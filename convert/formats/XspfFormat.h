#pragma once

#include "convert/XmlText.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// An XML Shareable Playlist: a track element per entry, with the name as
// title and the address as location. Written in UTF-8 only, as XML readers
// take it without a declaration of another encoding.
class XspfFormat final : public TemplateFormat<XspfFormat> {
public:
    XspfFormat()
        : TemplateFormat({.kind = TTargetKind::tkXSPF,
                          .caption = u"XSPF Playlist",
                          .cliName = u"xspf",
                          .defaultFileName = u"playlist",
                          .extension = u".xspf",
                          .allowsAnsi = false,
                          .isXml = true}) {}

    template <typename Sink> static void writeHeader(Sink& out) {
        out.addLine({u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"});
        out.addLine({u"<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">"});
        out.addLine({u"  <trackList>"});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        thread_local XmlBuffer<Text> nameBuffer;
        thread_local XmlBuffer<Text> urlBuffer;
        out.addLine({u"    <track>"});
        out.addLine({u"      <title>", xml::elementText(channel, nameBuffer), u"</title>"});
        out.addLine({u"      <location>", xml::elementText(url, urlBuffer), u"</location>"});
        out.addLine({u"    </track>"});
    }

    template <typename Sink> static void writeFooter(Sink& out, int) {
        out.addLine({u"  </trackList>"});
        out.addLine({u"</playlist>"});
    }
};

} // namespace dorvane
