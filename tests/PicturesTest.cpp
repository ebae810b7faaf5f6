// The program's pictures: each decodes through Qt's image readers to its size,
// and its file is in the exact format the window and the platform expect,
// checked on the bytes since a reader accepts more than one form of each.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <gtest/gtest.h>

#include "QtPrinters.h"
#include "app/IconFile.h"

namespace dorvane {
namespace {

const QString kResources = QStringLiteral(DORVANE_RESOURCES);

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

quint16 le16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 le32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint32 be32(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}
quint16 be16(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint16>(b.constData() + at);
}

struct PngChunk {
    QByteArray type;
    QByteArray data;
};

QList<PngChunk> pngChunks(const QByteArray& png) {
    QList<PngChunk> chunks;
    if (!png.startsWith("\x89PNG\r\n\x1a\n")) {
        ADD_FAILURE() << "no PNG signature";
        return chunks;
    }
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = be32(png, at);
        chunks.append({png.mid(at + 4, 4), png.mid(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

QByteArrayList chunkTypes(const QList<PngChunk>& chunks) {
    QByteArrayList types;
    for (const PngChunk& chunk : chunks) {
        types.append(chunk.type);
    }
    return types;
}

struct IcoEntry {
    int size;     // 0 in the directory stands for 256
    int bitCount; // as the directory states it
    QByteArray data;
};

QList<IcoEntry> icoEntries(const QByteArray& ico) {
    QList<IcoEntry> entries;
    EXPECT_EQ(le16(ico, 0), 0);
    EXPECT_EQ(le16(ico, 2), 1) << "not an icon file";
    const int count = le16(ico, 4);
    for (int i = 0; i < count; ++i) {
        const qsizetype at = 6 + 16 * i;
        const int width = quint8(ico.at(at)) == 0 ? 256 : quint8(ico.at(at));
        const int height = quint8(ico.at(at + 1)) == 0 ? 256 : quint8(ico.at(at + 1));
        EXPECT_EQ(width, height);
        EXPECT_EQ(le16(ico, at + 4), 1) << "planes";
        entries.append({width, le16(ico, at + 6), ico.mid(le32(ico, at + 12), le32(ico, at + 8))});
    }
    return entries;
}

// An icon entry in BMP form: its header states the bit count, and its size
// shows that the 1-bit mask follows the colour rows.
void expectBmpEntryWithMask(const IcoEntry& entry, int bitCount) {
    SCOPED_TRACE(entry.size);
    ASSERT_GE(entry.data.size(), 40);
    EXPECT_EQ(le32(entry.data, 0), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(qint32(le32(entry.data, 4)), entry.size);
    EXPECT_EQ(qint32(le32(entry.data, 8)), entry.size * 2) << "colour and mask together";
    EXPECT_EQ(le16(entry.data, 14), bitCount);
    const qsizetype colourRow = (entry.size * bitCount / 8 + 3) / 4 * 4;
    const qsizetype maskRow = ((entry.size + 7) / 8 + 3) / 4 * 4;
    EXPECT_EQ(entry.data.size(), 40 + (colourRow + maskRow) * entry.size);
}

bool hasTranslucentPixel(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(argb.pixel(x, y));
            if (alpha > 0 && alpha < 255) {
                return true;
            }
        }
    }
    return false;
}

TEST(Pictures, LogoIsAnEightBitPalettePngWithTransparency) {
    const QList<PngChunk> chunks = pngChunks(fileBytes(QStringLiteral(":/pictures/logo.png")));
    ASSERT_FALSE(chunks.isEmpty());
    const QByteArray& header = chunks.first().data;
    ASSERT_EQ(chunks.first().type, "IHDR");
    EXPECT_EQ(be32(header, 0), 70u);
    EXPECT_EQ(be32(header, 4), 70u);
    EXPECT_EQ(int(header.at(8)), 8) << "bit depth";
    EXPECT_EQ(int(header.at(9)), 3) << "colour type: palette";
    const QByteArrayList types = chunkTypes(chunks);
    ASSERT_TRUE(types.contains("PLTE"));
    ASSERT_TRUE(types.contains("tRNS"));
    EXPECT_LT(types.indexOf("PLTE"), types.indexOf("tRNS"));
    EXPECT_LT(types.indexOf("tRNS"), types.indexOf("IDAT"));
    EXPECT_LE(chunks.at(types.indexOf("tRNS")).data.size(),
              chunks.at(types.indexOf("PLTE")).data.size() / 3);

    QImageReader reader(QStringLiteral(":/pictures/logo.png"));
    EXPECT_EQ(reader.format(), "png");
    const QImage logo = reader.read();
    ASSERT_FALSE(logo.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(logo.size(), QSize(70, 70));
    EXPECT_EQ(logo.format(), QImage::Format_Indexed8);
    EXPECT_TRUE(logo.hasAlphaChannel());
    EXPECT_EQ(qAlpha(logo.pixel(0, 0)), 0) << "the corners show the window through";
    EXPECT_TRUE(hasTranslucentPixel(logo)) << "the glass is partly transparent";
}

TEST(Pictures, StatusPictureIsAProgressiveThreeComponentJpeg) {
    const QByteArray jpeg = fileBytes(QStringLiteral(":/pictures/status.jpg"));
    ASSERT_TRUE(jpeg.startsWith("\xff\xd8"));
    QList<int> frames; // start-of-frame markers: C0 baseline, C1 extended, C2 progressive
    for (qsizetype at = 2; at + 4 <= jpeg.size() && quint8(jpeg.at(at)) == 0xff;) {
        const int marker = quint8(jpeg.at(at + 1));
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 &&
            marker != 0xcc) {
            frames.append(marker);
            EXPECT_EQ(int(jpeg.at(at + 4)), 8) << "precision";
            EXPECT_EQ(be16(jpeg, at + 5), 12) << "height";
            EXPECT_EQ(be16(jpeg, at + 7), 25) << "width";
            EXPECT_EQ(int(jpeg.at(at + 9)), 3) << "components";
        }
        if (marker == 0xda) {
            break; // entropy-coded data follows the first scan header
        }
        at += 2 + be16(jpeg, at + 2);
    }
    EXPECT_EQ(frames, QList<int>{0xc2});

    QImageReader reader(QStringLiteral(":/pictures/status.jpg"));
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage status = reader.read();
    ASSERT_FALSE(status.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(status.size(), QSize(25, 12));
    EXPECT_FALSE(status.isGrayscale());
}

TEST(Pictures, WindowIconHoldsSixteenAndThirtyTwoPixel24BitImagesWithMasks) {
    const QList<IcoEntry> entries = icoEntries(fileBytes(QStringLiteral(":/pictures/window.ico")));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(0).size, 16);
    EXPECT_EQ(entries.at(1).size, 32);
    for (const IcoEntry& entry : entries) {
        EXPECT_EQ(entry.bitCount, 24);
        expectBmpEntryWithMask(entry, 24);
    }

    QImageReader reader(QStringLiteral(":/pictures/window.ico"));
    EXPECT_EQ(reader.format(), "ico");
    EXPECT_EQ(reader.imageCount(), 2);
    const QList<QImage> icons = readIconFile(QStringLiteral(":/pictures/window.ico"));
    ASSERT_EQ(icons.size(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const QImage& icon = icons.at(i);
        EXPECT_EQ(icon.size(), QSize(entries.at(i).size, entries.at(i).size));
        // The mask cuts the corners of the round button out.
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(icon.width() - 1, icon.height() - 1)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(icon.width() / 2, icon.height() / 2)), 255);
    }
    EXPECT_EQ(iconFromFile(QStringLiteral(":/pictures/window.ico")).availableSizes(),
              (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
}

TEST(Pictures, ProgramFileIconHoldsSeven32BitImagesWithAlpha) {
    const QString path = kResources + QStringLiteral("/dorvane.ico");
    const QList<IcoEntry> entries = icoEntries(fileBytes(path));
    QList<int> sizes;
    for (const IcoEntry& entry : entries) {
        SCOPED_TRACE(entry.size);
        sizes.append(entry.size);
        EXPECT_EQ(entry.bitCount, 32);
        if (entry.data.startsWith("\x89PNG")) {
            const QList<PngChunk> chunks = pngChunks(entry.data);
            ASSERT_FALSE(chunks.isEmpty());
            EXPECT_EQ(be32(chunks.first().data, 0), quint32(entry.size));
            EXPECT_EQ(int(chunks.first().data.at(8)), 8) << "bit depth";
            EXPECT_EQ(int(chunks.first().data.at(9)), 6) << "colour type: RGBA";
        } else {
            expectBmpEntryWithMask(entry, 32);
        }
    }
    EXPECT_EQ(sizes, (QList<int>{256, 128, 64, 48, 32, 24, 16}));

    const QList<QImage> icons = readIconFile(path);
    ASSERT_EQ(icons.size(), 7);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(sizes.value(i));
        const QImage& icon = icons.at(i);
        EXPECT_EQ(icon.size(), QSize(sizes.value(i), sizes.value(i)));
        EXPECT_TRUE(hasTranslucentPixel(icon)) << "alpha, not just a mask";
    }
}

TEST(Pictures, ThemeIconsHaveTheSizesOfTheirFolders) {
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage icon(kResources +
                          QStringLiteral("/icons/hicolor/%1x%1/apps/dorvane.png").arg(size));
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel());
    }
}

#ifdef Q_OS_LINUX
// The readers are the system's: decoding the two pictures maps Debian's
// libpng, zlib and libjpeg into the process.
TEST(Pictures, AreDecodedWithTheSystemsImageLibraries) {
    ASSERT_FALSE(QImage(QStringLiteral(":/pictures/logo.png")).isNull());
    ASSERT_FALSE(QImage(QStringLiteral(":/pictures/status.jpg")).isNull());
    const QByteArray maps = fileBytes(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.contains("/libpng16.so"));
    EXPECT_TRUE(maps.contains("/libz.so"));
    EXPECT_TRUE(maps.contains("/libjpeg.so"));
}
#endif

} // namespace
} // namespace dorvane
