// Bytes of a playlist file into lines: the UTF-8, UTF-16 and ANSI readings and
// the split. Checks that joining the lines and splitting again gives them back.
#include "playlist/Encoding.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <cstdint>
#include <cstdlib>

using namespace dorvane;

namespace {
const int kCodePages[] = {1250, 1251, 1252, 1253, 1254, 1255, 1256,
                          1257, 1258, 874,  932,  936,  949,  950};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const TEncoding& fallback = *TEncoding::ansi(kCodePages[data[0] % std::size(kCodePages)]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));

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
