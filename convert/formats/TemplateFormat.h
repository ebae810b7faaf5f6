#pragma once

#include "convert/ByteLineSink.h"
#include "convert/ChannelAttributes.h"
#include "convert/LineSink.h"
#include "convert/TargetFormat.h"
#include "playlist/ShownText.h"

#include <type_traits>

namespace dorvane {

// A format whose lines are written by three function templates over the
// sink, so that one template serves both the text lines and the UTF-8 bytes:
//   Derived::writeHeader(out), or writeHeader(out, source) for a header
//     that names the playlist (SourceName)
//   Derived::writeEntry(out, channel, url, n), or for a format that carries
//     the channel's attributes (wantsAttributes) writeEntry(out, channel,
//     attributes, n) with a ChannelAttributes of the channel's block
//   Derived::writeFooter(out, count)
//   Derived::carries(channel, url), for a format that cannot carry every
//     name and address (TargetFormat::carries)
// A format without opening or closing lines leaves those two out.
template <typename Derived> class TemplateFormat : public NamedTargetFormat {
public:
    using NamedTargetFormat::NamedTargetFormat;

    void header(LineSink& out, const SourceName& source) const override {
        writeHeaderOf(out, source);
    }
    void header(ByteLineSink& out, const SourceName& source) const override {
        writeHeaderOf(out, source);
    }
    bool wantsAttributes() const override { return true; }
    void entry(LineSink& out, QStringView channel, QStringView url, QStringView block,
               int n) const override {
        entryOf(out, channel, url, block, n);
    }
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, QByteArrayView block,
               int n) const override {
        entryOf(out, channel, url, block, n);
    }
    void footer(LineSink& out, int count) const override { Derived::writeFooter(out, count); }
    void footer(ByteLineSink& out, int count) const override { Derived::writeFooter(out, count); }
    bool carries(QStringView channel, QStringView url) const override {
        return carriesOf(channel, url);
    }
    bool carries(QByteArrayView channel, QByteArrayView url) const override {
        return carriesOf(channel, url);
    }

    template <typename Sink> static void writeHeader(Sink&) {}
    template <typename Sink> static void writeFooter(Sink&, int) {}

private:
    template <typename Text> static bool carriesOf(Text channel, Text url) {
        if constexpr (requires { Derived::carries(channel, url); })
            return Derived::carries(channel, url);
        else
            return true;
    }
    static constexpr bool takesAttributes() {
        return requires(LineSink & out) {
            Derived::writeEntry(out, QStringView(), ChannelAttributes<QStringView>(), 0);
        };
    }
    // The attributes as a target writes them: no control character, as in
    // the name and the address (playlist/ShownText.h).
    template <typename View>
    static ChannelAttributes<View> shownAttributes(ChannelAttributes<View> a) {
        using Scratch =
            std::conditional_t<std::is_same_v<View, QByteArrayView>, QByteArray, QString>;
        thread_local Scratch scratch[8 + kHeaderCount];
        int k = 0;
        for (View* value : {&a.tvgId, &a.tvgName, &a.logo, &a.chno, &a.group, &a.catchup,
                            &a.catchupDays, &a.catchupSource})
            *value = shown::forTarget(*value, scratch[k++]);
        for (View& value : a.headers)
            value = shown::forTarget(value, scratch[k++]);
        return a;
    }
    template <typename Sink, typename Text>
    static void entryOf(Sink& out, Text channel, Text url, Text block, int n) {
        if constexpr (takesAttributes()) {
            Derived::writeEntry(out, channel, shownAttributes(channelAttributes(block, url)), n);
        } else {
            // Said, not silent: what the entry cannot hold is counted.
            const LostParts lost = lostParts(block, url);
            out.lost.headers += lost.headers;
            out.lost.logos += lost.logo;
            Derived::writeEntry(out, channel, url, n);
        }
    }
    template <typename Sink> static void writeHeaderOf(Sink& out, const SourceName& source) {
        if constexpr (requires { Derived::writeHeader(out, source); })
            Derived::writeHeader(out, source);
        else
            Derived::writeHeader(out);
    }
};

} // namespace dorvane
