#pragma once

#include "convert/formats/TemplateFormat.h"

#include <type_traits>

namespace dorvane {

// A bouquet of IPTV services, named after the playlist. Each entry is a
// service line, whose fields are separated by ':' (so a colon of the address
// is written "%3a"; the name is the last field and stays as it is), and a
// description line with the name. Receivers read it as UTF-8, lines ending
// in LF.
class Enigma2Format final : public TemplateFormat<Enigma2Format> {
public:
    Enigma2Format()
        : TemplateFormat({.kind = TTargetKind::tkEnigma2,
                          .caption = u"Enigma2 Bouquet",
                          .cliName = u"enigma2",
                          .defaultFileName = u"userbouquet.dorvane",
                          .extension = u".tv",
                          .lineEnd = LineEnd::Lf,
                          .utf8ByteOrderMark = false,
                          .allowsAnsi = false}) {}

    template <typename Sink> static void writeHeader(Sink& out, const SourceName& source) {
        out.addLine({u"#NAME ", source.text()});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        thread_local Buffer<Text> urlBuffer;
        out.addLine(
            {u"#SERVICE 4097:0:1:0:0:0:0:0:0:0:", escapedColons(url, urlBuffer), u":", channel});
        out.addLine({u"#DESCRIPTION ", channel});
    }

private:
    template <typename Text>
    using Buffer = std::conditional_t<std::is_same_v<Text, QByteArrayView>, QByteArray, QString>;

    // The text itself when it has no colon, else a view of `buffer`.
    template <typename Text> static Text escapedColons(Text text, Buffer<Text>& buffer) {
        constexpr bool bytes = std::is_same_v<Text, QByteArrayView>;
        const auto colon = [] {
            if constexpr (bytes)
                return ':';
            else
                return u':';
        }();
        qsizetype at = text.indexOf(colon);
        if (at < 0)
            return text;
        buffer.resize(0);
        qsizetype from = 0;
        for (; at >= 0; at = text.indexOf(colon, from)) {
            buffer.append(text.sliced(from, at - from));
            if constexpr (bytes)
                buffer.append(QByteArrayView("%3a"));
            else
                buffer.append(QStringView(u"%3a"));
            from = at + 1;
        }
        buffer.append(text.sliced(from));
        return Text(buffer);
    }
};

} // namespace dorvane
