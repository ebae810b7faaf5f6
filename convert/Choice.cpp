#include "convert/Choice.h"

#include <QChar>

namespace dorvane {

void appendCaseFolded(QStringView text, std::u32string& out) {
    const qsizetype n = text.size();
    for (qsizetype k = 0; k < n; ++k) {
        char32_t c = text[k].unicode();
        if (QChar::isHighSurrogate(c) && k + 1 < n && text[k + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++k].unicode());
        else if (QChar::isSurrogate(c))
            c = QChar::ReplacementCharacter;
        out.push_back(QChar::toCaseFolded(c));
    }
}

void appendCaseFolded(QByteArrayView text, std::u32string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned b = *p;
        int length = b < 0x80                ? 1
                     : b >= 0xC2 && b < 0xE0 ? 2
                     : b >= 0xE0 && b < 0xF0 ? 3
                     : b >= 0xF0 && b < 0xF5 ? 4
                                             : 0;
        char32_t c = b;
        if (length > 1 && end - p >= length) {
            c = b & (0x7F >> length);
            for (int k = 1; k < length; ++k) {
                if ((p[k] & 0xC0) != 0x80) {
                    length = 0;
                    break;
                }
                c = (c << 6) | (p[k] & 0x3F);
            }
        } else if (length > 1) {
            length = 0;
        }
        if (length == 0) { // not UTF-8: one byte, one replacement character
            c = QChar::ReplacementCharacter;
            length = 1;
        }
        out.push_back(QChar::toCaseFolded(c));
        p += length;
    }
}

} // namespace dorvane
