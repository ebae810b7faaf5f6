#include "playlist/FileName.h"

#include <QFile>

namespace dorvane {

#if defined(_WIN32)

QString decodeFileName(QByteArrayView bytes) {
    return QFile::decodeName(bytes.toByteArray());
}

QByteArray encodeFileName(const QString& fileName) {
    return QFile::encodeName(fileName);
}

#else

namespace {

// The length of the well-formed UTF-8 sequence at p, or 0. p < end.
int sequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned b = *p;
    int trail = 0;
    unsigned low = 0x80, high = 0xBF;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b < 0xE0) {
        trail = 1;
    } else if (b >= 0xE0 && b < 0xF0) {
        trail = 2;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b < 0xF5) {
        trail = 3;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (int k = 1; k <= trail; ++k) {
        if (p + k == end || p[k] < low || p[k] > high)
            return 0;
        low = 0x80;
        high = 0xBF;
    }
    return trail + 1;
}

bool isEscapedByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

} // namespace

QString decodeFileName(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    QString name;
    name.reserve(bytes.size());
    const unsigned char* good = p; // the start of the well-formed bytes not yet decoded
    while (p < end) {
        const int length = sequenceLength(p, end);
        if (length > 0) {
            p += length;
            continue;
        }
        name += QString::fromUtf8(reinterpret_cast<const char*>(good), p - good);
        name += QChar(char16_t(0xDC00 + *p));
        good = ++p;
    }
    name += QString::fromUtf8(reinterpret_cast<const char*>(good), end - good);
    return name;
}

QByteArray encodeFileName(const QString& fileName) {
    QByteArray bytes;
    bytes.reserve(fileName.size());
    const QStringView name(fileName);
    qsizetype start = 0; // the start of the characters not yet encoded
    for (qsizetype k = 0; k < name.size(); ++k) {
        const char16_t c = name[k].unicode();
        if (QChar::isHighSurrogate(c) && k + 1 < name.size() && name[k + 1].isLowSurrogate()) {
            ++k; // a pair, whatever its low half
            continue;
        }
        if (!isEscapedByte(c))
            continue;
        bytes += name.sliced(start, k - start).toUtf8();
        bytes += char(c - 0xDC00);
        start = k + 1;
    }
    bytes += name.sliced(start).toUtf8();
    return bytes;
}

#endif

} // namespace dorvane
