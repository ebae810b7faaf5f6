#pragma once

// The UTF-16 way of converting a UTF-8 playlist, as dorvane-convert takes it
// without its direct path: decode, split into lines, convert line by line,
// encode. The reference the direct path is held to.
#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"

#include <QByteArray>
#include <QByteArrayView>

namespace dorvane::test {

struct ConvertedOutput {
    QByteArray bytes;
    int channels = 0;
    int entries = 0;
};

inline ConvertedOutput throughUtf16(QByteArrayView text, const TargetFormat& target,
                                    const TEncoding& encoding = TEncoding::UTF8()) {
    TStringList lines;
    lines.setText(decodeUtf8Strict(text));
    ConvertedOutput result{encoding.GetPreamble()};
    EncodingSink sink(result.bytes, encoding);
    Conversion conversion(target);
    if (target.converts()) {
        conversion.header(sink);
        for (int k = 0; k < lines.Count(); ++k)
            conversion.processLine(lines.line(k), sink);
        conversion.footer(sink);
    } else {
        for (int k = 0; k < lines.Count(); ++k)
            sink.addLine({lines.line(k)});
    }
    sink.flush();
    result.channels = channelCount(lines);
    result.entries = target.converts() ? conversion.count : result.channels;
    return result;
}

} // namespace dorvane::test
