#pragma once

#include "convert/ByteLineSink.h"
#include "convert/LineSink.h"
#include "convert/TargetFormat.h"

namespace dorvane {

// A format whose lines are written by three function templates over the
// sink, so that one template serves both the text lines and the UTF-8 bytes:
//   Derived::writeHeader(out)
//   Derived::writeEntry(out, channel, url, n)
//   Derived::writeFooter(out, count)
// A format without opening or closing lines leaves those two out.
template <typename Derived> class TemplateFormat : public NamedTargetFormat {
public:
    using NamedTargetFormat::NamedTargetFormat;

    void header(LineSink& out) const override { Derived::writeHeader(out); }
    void header(ByteLineSink& out) const override { Derived::writeHeader(out); }
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override {
        Derived::writeEntry(out, channel, url, n);
    }
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
               int n) const override {
        Derived::writeEntry(out, channel, url, n);
    }
    void footer(LineSink& out, int count) const override { Derived::writeFooter(out, count); }
    void footer(ByteLineSink& out, int count) const override { Derived::writeFooter(out, count); }

    template <typename Sink> static void writeHeader(Sink&) {}
    template <typename Sink> static void writeFooter(Sink&, int) {}
};

} // namespace dorvane
