#pragma once

// The UTF-16 way of converting a UTF-8 playlist, as dorvane-convert takes it
// without its direct path: decode, split into lines, convert line by line,
// encode. (Both ways share runConversion: what is held here is the reading
// of the bytes.) The reference the direct path is held to.
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
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
    const ConversionCounts counts = convertLines(target, lines, sink, source);
    sink.flush();
    result.channels = counts.channels;
    result.entries = counts.entries;
    return result;
}

} // namespace dorvane::test
