#pragma once

#include "convert/XmlText.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// An XML Shareable Playlist: a track element per entry, with the name as
// title, the address as location and the logo as image; the headers a
// player sends for the address as the player's options, in its extension.
// Written in UTF-8 only, as XML readers take it without a declaration of
// another encoding.
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
        out.addLine({u"<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\" "
                     u"xmlns:vlc=\"http://www.videolan.org/vlc/playlist/ns/0/\">"});
        out.addLine({u"  <trackList>"});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, const ChannelAttributes<Text>& attributes,
                           int) {
        thread_local XmlBuffer<Text> nameBuffer;
        thread_local XmlBuffer<Text> urlBuffer;
        thread_local XmlBuffer<Text> valueBuffer;
        out.addLine({u"    <track>"});
        out.addLine({u"      <title>", xml::elementText(channel, nameBuffer), u"</title>"});
        out.addLine(
            {u"      <location>", xml::elementText(attributes.address, urlBuffer), u"</location>"});
        if (!attributes.logo.isEmpty())
            out.addLine(
                {u"      <image>", xml::elementText(attributes.logo, urlBuffer), u"</image>"});
        if (attributes.hasHeaders()) {
            out.addLine(
                {u"      <extension application=\"http://www.videolan.org/vlc/playlist/0\">"});
            const QStringView options[] = {u"http-user-agent=", u"http-referrer=", u"http-origin="};
            for (int k = 0; k < kHeaderCount; ++k) {
                if (!attributes.headerRank[size_t(k)])
                    continue;
                const Text value = headerValue(attributes, static_cast<Header>(k), nameBuffer);
                out.addLine({u"        <vlc:option>", options[k],
                             xml::elementText(value, valueBuffer), u"</vlc:option>"});
            }
            out.addLine({u"      </extension>"});
        }
        out.addLine({u"    </track>"});
    }

    template <typename Sink> static void writeFooter(Sink& out, int) {
        out.addLine({u"  </trackList>"});
        out.addLine({u"</playlist>"});
    }
};

} // namespace dorvane
