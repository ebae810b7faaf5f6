// Text into bytes: UTF-8 must decode back to the same text whenever the text
// has no unpaired surrogate; every ANSI code page must take any text, and
// say truly whether it had to replace any of it.
#include "playlist/Encoding.h"

#include <cstdint>
#include <cstdlib>

using namespace dorvane;

namespace {

bool hasUnpairedSurrogate(QStringView text) {
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t c = text[k].unicode();
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (k + 1 < text.size() && text[k + 1].isLowSurrogate()) {
                ++k;
                continue;
            }
            return true;
        }
        if (c >= 0xDC00 && c <= 0xDFFF)
            return true;
    }
    return false;
}

const int kCodePages[] = {1250, 1251, 1252, 1253, 1254, 1255, 1256,
                          1257, 1258, 874,  932,  936,  949,  950};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));

    const QByteArray utf8 = TEncoding::UTF8().GetBytes(text);
    bool ok = false;
    const QString back = decodeUtf8Strict(utf8, &ok);
    if (!ok)
        std::abort(); // UTF-8 output must always be well-formed
    if (!hasUnpairedSurrogate(text) && back != text)
        std::abort();

    for (int codePage : kCodePages) {
        const TEncoding& ansi = *TEncoding::ansi(codePage);
        const QByteArray bytes = ansi.GetBytes(text);
        if (bytes.size() > text.size() * ansi.maxBytesPerChar())
            std::abort();
        // Counting changes no byte, and a text comes back whole exactly when
        // none of its characters was replaced.
        QByteArray counted;
        const qsizetype replaced = ansi.appendBytesCounting(text, counted);
        if (counted != bytes || replaced > text.size())
            std::abort();
        if ((replaced == 0) != (ansi.GetString(bytes) == text))
            std::abort();
    }
    return 0;
}
