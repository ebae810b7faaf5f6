#include "playlist/FileName.h"

#include "playlist/Encoding.h"

#include <QFile>

namespace dorvane {

#if defined(_WIN32)

QString decodeFileName(QByteArrayView bytes) {
    return QFile::decodeName(bytes.toByteArray());
}

QByteArray encodeFileName(const QString& fileName) {
    return QFile::encodeName(fileName);
}

QString localFileOf(const QUrl& url) {
    return url.toLocalFile();
}

#else

namespace {

bool isEscapedByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

} // namespace

QString decodeFileName(QByteArrayView bytes) {
    QString name;
    name.reserve(bytes.size());
    qsizetype good = 0; // the start of the well-formed bytes not yet decoded
    for (qsizetype k = 0; k < bytes.size();) {
        const int length = utf8SequenceAt(bytes.sliced(k));
        if (length > 0) {
            k += length;
            continue;
        }
        name += QString::fromUtf8(bytes.sliced(good, k - good));
        for (int n = 0; n < -length; ++n, ++k)
            name += QChar(char16_t(0xDC00 + static_cast<unsigned char>(bytes[k])));
        good = k;
    }
    name += QString::fromUtf8(bytes.sliced(good));
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

QString localFileOf(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    return decodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

#endif

} // namespace dorvane
