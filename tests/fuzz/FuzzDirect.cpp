// The converter's direct path against the UTF-16 way it stands in for:
// arbitrary bytes of a playlist file, the output in UTF-8 or in a code page
// (chosen by the first byte), the file cut into pieces after LF bytes chosen by
// the second. Well-formed UTF-8 must give the very bytes and counts of
// decoding, splitting, converting and encoding; anything else must be
// refused, so that the converter reads it the other way.
#include "ReferenceConversion.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>

using namespace dorvane;

namespace {

const TEncoding& outputEncoding(uint8_t selector) {
    static const int codePages[] = {1251, 1252, 932, 936, 949, 950, 1250, 1253, 1255, 1258, 874};
    if (selector % 2 == 0)
        return TEncoding::UTF8();
    return *TEncoding::ansi(codePages[selector / 2 % std::size(codePages)]);
}

using Output = test::ConvertedOutput;
using test::throughUtf16;

// Cut after the LF bytes whose bit in `cuts` (taken round and round) is set.
Output throughBytes(QByteArrayView text, const TargetFormat& target, const TEncoding& encoding,
                    uint8_t cuts) {
    Output result{target.preamble(encoding)};
    ByteLineSink sink(result.bytes, 0, encoding, target.lineEnd());
    int lf = 0;
    Utf8Source source(target, text, [&lf, cuts](QByteArrayView rest) {
        for (qsizetype k = 0; k < rest.size(); ++k)
            if (rest[k] == '\n' && (cuts >> (lf++ % 8) & 1))
                return k + 1;
        return rest.size();
    });
    const ConversionCounts counts = runConversion(target, source, sink);
    if (!source.wellFormed())
        std::abort();
    sink.finish();
    result.channels = counts.channels;
    result.entries = counts.entries;
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const TEncoding& encoding = outputEncoding(data[0]);
    const uint8_t cuts = data[1];
    const QByteArrayView text(reinterpret_cast<const char*>(data + 2),
                              static_cast<qsizetype>(size - 2));

    bool wellFormed = false;
    decodeUtf8Strict(text, &wellFormed);
    if (isWellFormedUtf8(text) != wellFormed)
        std::abort();
    if (!wellFormed) {
        QByteArray out;
        ByteLineSink sink(out, 0, encoding);
        Utf8Source source(formatFor(TTargetKind::tkPLS), text);
        runConversion(formatFor(TTargetKind::tkPLS), source, sink);
        if (source.wellFormed())
            std::abort();
        return 0;
    }

    for (const TargetFormat* target : allFormats()) {
        const Output expected = throughUtf16(text, *target, encoding);
        const Output actual = throughBytes(text, *target, encoding, cuts);
        if (actual.bytes != expected.bytes || actual.channels != expected.channels ||
            actual.entries != expected.entries)
            std::abort();
    }
    return 0;
}
