// Bytes of a playlist file into lines: the UTF-8, UTF-16 and ANSI readings and
// the split. Checks that joining the lines and splitting again gives them back;
// that the reading which never fails (almost-UTF-8) replaces exactly the
// maximal subparts ICU replaces, and leaves well-formed UTF-8 as it is.
#include "playlist/Encoding.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <unicode/ustring.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace dorvane;

namespace {
const int kCodePages[] = {1250, 1251, 1252, 1253, 1254, 1255, 1256,
                          1257, 1258, 874,  932,  936,  949,  950};
}

namespace {

// ICU's reading of UTF-8 with U+FFFD for each ill-formed part, and how many.
QString icuLenient(QByteArrayView bytes, int32_t& replaced) {
    std::vector<UChar> text(static_cast<size_t>(bytes.size()) + 1);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    replaced = 0;
    u_strFromUTF8WithSub(text.data(), static_cast<int32_t>(text.size()), &length, bytes.data(),
                         static_cast<int32_t>(bytes.size()), 0xFFFD, &replaced, &status);
    if (U_FAILURE(status))
        std::abort();
    return QString(reinterpret_cast<const QChar*>(text.data()), length);
}

void checkLenientReading(QByteArrayView bytes) {
    int32_t replaced = 0;
    const QString icu = icuLenient(bytes, replaced);
    if (decodeUtf8Lenient(bytes) != icu)
        std::abort();
    Utf8Tally tally;
    tally.add(bytes);
    if (tally.illFormed != replaced)
        std::abort();
    QByteArray repaired;
    repairUtf8(bytes, repaired);
    bool ok = false;
    if (decodeUtf8Strict(repaired, &ok) != icu || !ok)
        std::abort();

    // Well-formed UTF-8 made of the same bytes reads unchanged, every way.
    const QByteArray wellFormed = icu.toUtf8();
    Utf8Tally clean;
    clean.add(wellFormed);
    if (clean.illFormed != 0 || decodeUtf8Lenient(wellFormed) != icu ||
        decodeFileBytes(wellFormed, TEncoding::UTF8(), TEncoding::UTF8()) !=
            (wellFormed.startsWith("\xEF\xBB\xBF") ? icu.sliced(1) : icu))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const TEncoding& fallback = *TEncoding::ansi(kCodePages[data[0] % std::size(kCodePages)]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));

    checkLenientReading(bytes);

    TStringList lines;
    lines.setText(decodeFileBytes(bytes, TEncoding::UTF8(), fallback));
    for (int k = 0; k < lines.Count(); ++k) {
        const QStringView line = lines.line(k);
        if (line.contains(u'\r') || line.contains(u'\n') || line.contains(QChar(0)))
            std::abort();
    }

    TStringList again;
    again.setText(lines.Text());
    if (again.Count() != lines.Count())
        std::abort();
    for (int k = 0; k < lines.Count(); ++k)
        if (again.line(k) != lines.line(k))
            std::abort();
    return 0;
}
