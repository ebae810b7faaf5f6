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

// The bytes of a file of the target: its preamble, its line ends.
inline ConvertedOutput throughUtf16(QByteArrayView text, const TargetFormat& target,
                                    const TEncoding& encoding = TEncoding::UTF8(),
                                    const SourceName& source = {}) {
    TStringList lines;
    lines.setText(decodeUtf8Strict(text));
    ConvertedOutput result{target.preamble(encoding)};
    EncodingSink sink(result.bytes, encoding, target.lineEnd());
    Conversion conversion(target, source);
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
