#include "app/IconFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

namespace dorvane {

namespace {

constexpr qsizetype kDirectorySize = 6;
constexpr qsizetype kEntrySize = 16;
constexpr qsizetype kBitmapHeaderSize = 40;

// Clears the pixels that the AND mask of a BMP-form entry marks transparent.
// The mask follows the colour rows; both run bottom up, each row padded to
// four bytes.
void applyMask(QImage& image, QByteArrayView entry) {
    if (entry.size() < kBitmapHeaderSize ||
        qFromLittleEndian<quint32>(entry.data()) != kBitmapHeaderSize) {
        return; // a PNG entry, whose alpha Qt reads itself
    }
    const int bitCount = qFromLittleEndian<quint16>(entry.data() + 14);
    if (bitCount != 24) {
        return; // Qt applies the mask of palette entries, and 32-bit ones carry alpha
    }
    const qsizetype width = image.width();
    const qsizetype height = image.height();
    const qsizetype colourRow = (width * bitCount + 31) / 32 * 4;
    const qsizetype maskRow = (width + 31) / 32 * 4;
    const qsizetype maskStart = kBitmapHeaderSize + colourRow * height;
    if (entry.size() < maskStart + maskRow * height) {
        return;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (qsizetype y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const uchar*>(entry.data() + maskStart + maskRow * (height - 1 - y));
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (qsizetype x = 0; x < width; ++x) {
            if (row[x / 8] & (0x80 >> (x % 8))) {
                pixels[x] = 0;
            }
        }
    }
}

} // namespace

QList<QImage> readIconFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const int count = reader.imageCount();
    if (bytes.size() < kDirectorySize + kEntrySize * count) {
        return {};
    }
    QList<QImage> images;
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i)) {
            return {};
        }
        QImage image = reader.read();
        if (image.isNull()) {
            return {};
        }
        const char* entry = bytes.constData() + kDirectorySize + kEntrySize * i;
        const quint32 size = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        if (offset <= quint64(bytes.size()) && size <= quint64(bytes.size()) - offset) {
            applyMask(image, QByteArrayView(bytes).sliced(offset, size));
        }
        images.append(image);
    }
    return images;
}

QIcon iconFromFile(const QString& path) {
    QIcon icon;
    for (const QImage& image : readIconFile(path)) {
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace dorvane
