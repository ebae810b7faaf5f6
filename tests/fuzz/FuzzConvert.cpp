// Arbitrary lines through every target. Checks that the XML targets always
// write well-formed XML and that PLS counts exactly the entries it writes.
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/StringList.h"

#include <QXmlStreamReader>

#include <cstdint>
#include <cstdlib>

using namespace dorvane;

namespace {

bool wellFormed(const QString& text) {
    QXmlStreamReader reader(text);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

void checkPls(const TStringList& out, int count) {
    int files = 0;
    for (int k = 0; k < out.Count(); ++k)
        if (out.line(k).startsWith(u"File"))
            ++files;
    if (files != count ||
        out.line(out.Count() - 4) != QStringLiteral("NumberOfEntries=%1").arg(count))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes are taken as UTF-16 code units, so any text (unpaired
    // surrogates and control characters included) can reach the converter.
    const QString text(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));
    TStringList source;
    source.setText(text);

    for (const TargetFormat* format : allFormats()) {
        if (!format->converts())
            continue;
        TStringList out;
        StringListSink sink(out);
        const ConversionCounts counts = convertLines(*format, source, sink);

        if (format->isXml() && !wellFormed(out.Text()))
            std::abort();
        if (format->kind() == TTargetKind::tkPLS)
            checkPls(out, counts.entries);
    }
    return 0;
}
