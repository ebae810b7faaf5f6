#include "playlist/TextFile.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/InputReader.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace dorvane {

namespace {

[[noreturn]] void failOpen(const QString& fileName, int error) {
    throw EFOpenError(cannotOpenMessage(fileName, error));
}

QString decodeUtf16(QByteArrayView bytes, bool bigEndian) {
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype k = 0; k < units; ++k) {
        const unsigned a = in[2 * k], b = in[2 * k + 1];
        out[k] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    // An odd byte at the end is half a code unit, not a character: it is
    // dropped, as a file cut short within a character loses that character.
    return text;
}

bool isReadOnlyFile(const QFileInfo& info) {
    // Not writable by this user, or by nobody at all: the administrator may
    // write anything, but a file marked read-only stays read-only for it too.
    const QFile::Permissions permissions = info.permissions();
    const auto anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return !(permissions & QFile::WriteUser) || !(permissions & anyWrite);
}

// Opens a playlist file for reading: EFOpenError when it cannot be opened,
// is a folder, or is a regular file beyond the limit.
int openPlaylistFile(const QString& fileName, struct stat& st) {
    const int fd = platform::openForReading(fileName);
    if (fd < 0)
        failOpen(fileName, errno);
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
        (S_ISREG(st.st_mode) && st.st_size > kMaxPlaylistBytes)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? EFBIG : errno;
        const platform::FileCloser closer(fd);
        failOpen(fileName, error);
    }
    return fd;
}

// Reads at most `size` bytes into `into`; how many, 0 at the end. `total`
// counts what the file has given so far, which may not pass the limit.
qsizetype readChecked(int fd, const QString& fileName, char* into, qsizetype size,
                      qsizetype& total) {
    const long long got = platform::readSome(fd, into, size);
    if (got < 0)
        failOpen(fileName, errno);
    total += static_cast<qsizetype>(got);
    if (total > kMaxPlaylistBytes) // a pipe or device without a size, or a file that grew
        failOpen(fileName, EFBIG);
    return static_cast<qsizetype>(got);
}

void tell(TextReading* reading, QString encoding, qint64 invalid = 0) {
    if (reading)
        *reading = {std::move(encoding), invalid};
}

} // namespace

QByteArray readWholeFile(const QString& fileName) {
    struct stat st {};
    const int fd = openPlaylistFile(fileName, st);
    const platform::FileCloser closer(fd);
    QByteArray bytes;
    // One byte beyond the size, so that the read which finds the end needs no
    // more room (growing would double a big playlist's buffer for nothing).
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(static_cast<qsizetype>(st.st_size) + 1);
    // Read to the end rather than trusting the size: files may grow, and pipes
    // and special files report none.
    qsizetype used = 0;
    qsizetype total = 0;
    while (true) {
        if (bytes.capacity() == used)
            bytes.reserve(std::max<qsizetype>(used * 2, used + 65536));
        bytes.resize(bytes.capacity());
        const qsizetype got =
            readChecked(fd, fileName, bytes.data() + used, bytes.size() - used, total);
        if (got == 0)
            break;
        used += got;
    }
    bytes.resize(used);
    return bytes;
}

QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding) {
    return decodeFileBytes(bytes, encoding, TEncoding::Default());
}

namespace {

// The bytes of the ill-formed parts of UTF-8 text.
qint64 invalidUtf8Bytes(QByteArrayView bytes) {
    qint64 invalid = 0;
    for (qsizetype k = 0; k < bytes.size();) {
        if (static_cast<unsigned char>(bytes[k]) < 0x80) {
            ++k;
            continue;
        }
        const int length = utf8SequenceAt(bytes.sliced(k));
        if (length < 0)
            invalid -= length;
        k += length < 0 ? -length : length;
    }
    return invalid;
}

QString codePageName(int codePage) {
    switch (codePage) {
    case 866:
        return QStringLiteral("CP866");
    case 20866:
        return QStringLiteral("KOI8-R");
    case 21866:
        return QStringLiteral("KOI8-U");
    case 28595:
        return QStringLiteral("ISO-8859-5");
    default:
        return QStringLiteral("Windows-%1").arg(codePage);
    }
}

} // namespace

QString TextReading::text() const {
    if (invalidBytes > 0)
        return QStringLiteral("%1 (%2 invalid bytes)").arg(encoding).arg(invalidBytes);
    return encoding;
}

const std::vector<InputEncoding>& inputEncodings() {
    static const std::vector<InputEncoding> encodings = [] {
        std::vector<InputEncoding> list{{QStringLiteral("UTF-8"), 65001},
                                        {QStringLiteral("UTF-16 LE"), 1200},
                                        {QStringLiteral("UTF-16 BE"), 1201}};
        for (int codePage :
             {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 866, 20866, 21866, 28595})
            list.push_back({codePageName(codePage), codePage});
        return list;
    }();
    return encodings;
}

const InputEncoding* inputEncodingByName(QStringView name) {
    // "Windows-1251", "windows-1251", "cp1251", "1251", "UTF-16 LE", "utf16le".
    QString key = name.toString().toLower().remove(u' ').remove(u'-').remove(u'_');
    if (key.startsWith(u"windows"))
        key = key.sliced(7);
    else if (key.startsWith(u"cp"))
        key = key.sliced(2);
    for (const InputEncoding& encoding : inputEncodings()) {
        const QString own = encoding.name.toLower().remove(u' ').remove(u'-');
        const QString number = QString::number(encoding.codePage);
        if (key == own || key == number || key == own.sliced(own.startsWith(u"windows") ? 7 : 0) ||
            (own.startsWith(u"cp") && key == own.sliced(2)))
            return &encoding;
    }
    return nullptr;
}

QString decodeAs(const QByteArray& bytes, const InputEncoding& encoding, TextReading* reading) {
    QByteArrayView view(bytes);
    switch (encoding.codePage) {
    case 65001: {
        if (platform::startsWithUtf8Mark(view))
            view = view.sliced(3);
        tell(reading, encoding.name, invalidUtf8Bytes(view));
        return decodeUtf8Lenient(view);
    }
    case 1200:
    case 1201: {
        const bool big = encoding.codePage == 1201;
        if (view.startsWith(big ? "\xFE\xFF" : "\xFF\xFE"))
            view = view.sliced(2);
        tell(reading, encoding.name);
        return decodeUtf16(view, big);
    }
    default:
        tell(reading, encoding.name);
        return TEncoding::ansi(encoding.codePage)->GetString(view);
    }
}

QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding,
                        const TEncoding& fallback, TextReading* reading) {
    QByteArrayView view(bytes);
    const QByteArray preamble = encoding.GetPreamble();
    if (!preamble.isEmpty() && view.startsWith(preamble))
        view = view.sliced(preamble.size());

    if (encoding.CodePage() != 65001) {
        tell(reading, codePageName(encoding.CodePage()));
        return encoding.GetString(view);
    }

    // A UTF-16 mark counts only at the very start, not after the UTF-8 one.
    if (view.data() == bytes.constData() && platform::startsWithUtf16Mark(view)) {
        const bool big = view.startsWith("\xFE\xFF");
        tell(reading, big ? QStringLiteral("UTF-16 BE") : QStringLiteral("UTF-16 LE"));
        return decodeUtf16(view.sliced(2), big);
    }

    bool ok = true;
    QString text = decodeUtf8Strict(view, &ok);
    if (ok) {
        tell(reading, QStringLiteral("UTF-8"));
        return text;
    }
    Utf8Tally tally;
    tally.add(view);
    if (tally.readsAsUtf8()) {
        QByteArray repaired;
        repairUtf8(view, repaired);
        if (reading)
            tell(reading, QStringLiteral("UTF-8"), invalidUtf8Bytes(view));
        return decodeUtf8Strict(repaired);
    }
    tell(reading, codePageName(fallback.CodePage()));
    return fallback.GetString(view);
}

QString readTextFile(const QString& fileName, const TEncoding& fallback, TextReading* reading) {
    struct stat st {};
    const int fd = openPlaylistFile(fileName, st);
    const platform::FileCloser closer(fd);
    InputReader reader(fd, cannotOpenText(fileName));
    PieceBuffer buffer;
    // A UTF-16 mark counts only at the very start; such text is rare, and
    // read whole.
    if (platform::startsWithUtf16Mark(reader.next(buffer))) {
        reader.rewind();
        return decodeFileBytes(reader.rest(), TEncoding::UTF8(), fallback, reading);
    }

    // Neither a UTF-8 byte nor a code page's gives more than one UTF-16
    // unit: room for the whole text at once, of which only what the text
    // fills is ever touched.
    QString text;
    text.reserve(reader.sizeHint());
    adviseHugePages(text.data(), text.capacity() * qsizetype(sizeof(char16_t)));
    // Each way of reading decodes the pieces one by one, the mark left out:
    // a piece ends after an LF, which is part of no UTF-8 sequence and of no
    // code page's character, so the pieces decode as the whole would.
    const auto readAs = [&](auto decode) {
        reader.rewind();
        text.resize(0);
        bool first = true;
        for (QByteArrayView piece; !(piece = reader.next(buffer)).isEmpty(); first = false) {
            if (first && platform::startsWithUtf8Mark(piece))
                piece = piece.sliced(3);
            if (!decode(piece))
                return false;
        }
        return true;
    };
    const bool utf8 = readAs([&](QByteArrayView piece) {
        const qsizetype at = text.size();
        text.resize(at + piece.size()); // beyond the room only for a stream
        const qsizetype units =
            decodeUtf8Into(piece, reinterpret_cast<char16_t*>(text.data()) + at);
        text.resize(at + std::max<qsizetype>(units, 0));
        return units >= 0;
    });
    if (utf8) {
        tell(reading, QStringLiteral("UTF-8"));
        return text;
    }
    // Not UTF-8: the code page, tallied on the way, unless the tally finds
    // the bytes almost UTF-8 after all (as decodeFileBytes decides).
    Utf8Tally tally;
    readAs([&](QByteArrayView piece) {
        tally.add(piece);
        text += fallback.GetString(piece);
        return true;
    });
    if (!tally.readsAsUtf8()) {
        tell(reading, codePageName(fallback.CodePage()));
        return text;
    }
    qint64 invalid = 0;
    readAs([&](QByteArrayView piece) {
        invalid += invalidUtf8Bytes(piece);
        text += decodeUtf8Lenient(piece);
        return true;
    });
    tell(reading, QStringLiteral("UTF-8"), invalid);
    return text;
}

void writeText(QIODevice& device, QStringView text, const TEncoding& encoding) {
    QByteArray bytes = encoding.GetPreamble();
    bytes.reserve(bytes.size() + text.size() * 1 + 16);
    encoding.appendBytes(text, bytes);
    if (device.write(bytes) != bytes.size())
        throw EWriteError(QStringLiteral("Stream write error"));
}

std::unique_ptr<QSaveFile> openSaveFile(const QString& fileName) {
    const QFileInfo info(fileName);
    if (info.isDir())
        throw EFCreateError(cannotCreateMessage(fileName, EISDIR));
    if (info.exists() && isReadOnlyFile(info))
        throw EFCreateError(cannotCreateMessage(fileName, EACCES));

    auto file = std::make_unique<QSaveFile>(fileName);
    errno = 0;
    if (!file->open(QIODevice::WriteOnly)) {
        const int error = errno ? errno : EACCES;
        throw EFCreateError(cannotCreateMessage(fileName, error));
    }
    return file;
}

void saveBytesToFile(const QString& fileName, const QByteArray& bytes) {
    const auto writeError = [] { return EWriteError(QStringLiteral("Stream write error")); };
    const std::unique_ptr<QSaveFile> saved = openSaveFile(fileName);
    QSaveFile& file = *saved;
    // A small text only reaches the buffer here; its write fails, if at all,
    // when the buffer is flushed, and commit() would not notice: it would put
    // the truncated file in place of the former one.
    // In slices: the system copies one big write far slower (platform::writeSome).
    constexpr qsizetype kSlice = 1 << 20;
    bool written = true;
    for (qsizetype done = 0; written && done < bytes.size(); done += kSlice) {
        const qsizetype size = std::min(kSlice, bytes.size() - done);
        written = file.write(bytes.constData() + done, size) == size;
    }
    if (!written || !file.flush()) {
        file.cancelWriting();
        throw writeError();
    }
    if (!file.commit())
        throw writeError();
}

void saveTextToFile(const QString& fileName, QStringView text, const TEncoding& encoding) {
    QByteArray bytes = encoding.GetPreamble();
    bytes.reserve(bytes.size() + text.size() + 16);
    encoding.appendBytes(text, bytes);
    saveBytesToFile(fileName, bytes);
}

} // namespace dorvane
