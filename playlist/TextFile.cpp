#include "playlist/TextFile.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace dorvane {

namespace {

#if defined(_WIN32)
int openForReading(const QString& fileName) {
    return ::_wopen(reinterpret_cast<const wchar_t*>(fileName.utf16()), _O_RDONLY | _O_BINARY);
}
long long readSome(int fd, char* buffer, long long size) {
    return ::_read(fd, buffer, static_cast<unsigned>(std::min<long long>(size, 1 << 30)));
}
void closeFile(int fd) {
    ::_close(fd);
}
#else
int openForReading(const QString& fileName) {
    return ::open(encodeFileName(fileName).constData(), O_RDONLY | O_CLOEXEC);
}
long long readSome(int fd, char* buffer, long long size) {
    return ::read(fd, buffer, static_cast<size_t>(std::min<long long>(size, 1 << 30)));
}
void closeFile(int fd) {
    ::close(fd);
}
#endif

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
    // An odd byte at the end cannot be a character; it stands for one U+FFFD.
    if (bytes.size() % 2)
        text.append(QChar(0xFFFD));
    return text;
}

bool isReadOnlyFile(const QFileInfo& info) {
    // Not writable by this user, or by nobody at all: the administrator may
    // write anything, but a file marked read-only stays read-only for it too.
    const QFile::Permissions permissions = info.permissions();
    const auto anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return !(permissions & QFile::WriteUser) || !(permissions & anyWrite);
}

} // namespace

QByteArray readWholeFile(const QString& fileName) {
    const int fd = openForReading(fileName);
    if (fd < 0)
        failOpen(fileName, errno);
    struct Closer {
        int fd;
        ~Closer() { closeFile(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        failOpen(fileName, errno);
    if (S_ISDIR(st.st_mode))
        failOpen(fileName, EISDIR);
    if (S_ISREG(st.st_mode) && st.st_size > kMaxPlaylistBytes)
        failOpen(fileName, EFBIG);

    QByteArray bytes;
    // One byte beyond the size, so that the read which finds the end needs no
    // more room (growing would double a big playlist's buffer for nothing).
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(static_cast<qsizetype>(st.st_size) + 1);
    // Read to the end rather than trusting the size: files may grow, and pipes
    // and special files report none.
    qsizetype used = 0;
    while (true) {
        if (bytes.capacity() == used)
            bytes.reserve(std::max<qsizetype>(used * 2, used + 65536));
        bytes.resize(bytes.capacity());
        const long long got = readSome(fd, bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failOpen(fileName, errno);
        }
        if (got == 0)
            break;
        used += static_cast<qsizetype>(got);
        if (used > kMaxPlaylistBytes) // a pipe or device without a size
            failOpen(fileName, EFBIG);
    }
    bytes.resize(used);
    return bytes;
}

QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding) {
    return decodeFileBytes(bytes, encoding, TEncoding::Default());
}

QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding,
                        const TEncoding& fallback) {
    QByteArrayView view(bytes);
    const QByteArray preamble = encoding.GetPreamble();
    if (!preamble.isEmpty() && view.startsWith(preamble))
        view = view.sliced(preamble.size());

    if (encoding.CodePage() != 65001)
        return encoding.GetString(view);

    if (view.size() >= 2 && view.data() == bytes.constData()) {
        const auto b0 = static_cast<unsigned char>(view[0]);
        const auto b1 = static_cast<unsigned char>(view[1]);
        if (b0 == 0xFF && b1 == 0xFE)
            return decodeUtf16(view.sliced(2), false);
        if (b0 == 0xFE && b1 == 0xFF)
            return decodeUtf16(view.sliced(2), true);
    }

    bool ok = true;
    QString text = decodeUtf8Strict(view, &ok);
    if (ok)
        return text;
    Utf8Tally tally;
    tally.add(view);
    if (tally.readsAsUtf8()) {
        QByteArray repaired;
        repairUtf8(view, repaired);
        return decodeUtf8Strict(repaired);
    }
    return fallback.GetString(view);
}

void writeText(QIODevice& device, QStringView text, const TEncoding& encoding) {
    QByteArray bytes = encoding.GetPreamble();
    bytes.reserve(bytes.size() + text.size() * 1 + 16);
    encoding.appendBytes(text, bytes);
    if (device.write(bytes) != bytes.size())
        throw EWriteError(QStringLiteral("Stream write error"));
}

void saveBytesToFile(const QString& fileName, const QByteArray& bytes, WriteErrorText errorText) {
    const auto writeError = [&](const QString& reason) {
        if (errorText == WriteErrorText::Stream)
            return EWriteError(QStringLiteral("Stream write error"));
        return EWriteError(cannotWriteMessage(fileName, reason));
    };
    const QFileInfo info(fileName);
    if (info.isDir())
        throw EFCreateError(cannotCreateMessage(fileName, EISDIR));
    if (info.exists() && isReadOnlyFile(info))
        throw EFCreateError(cannotCreateMessage(fileName, EACCES));

    QSaveFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int error = errno ? errno : EACCES;
        throw EFCreateError(cannotCreateMessage(fileName, error));
    }
    // A small text only reaches the buffer here; its write fails, if at all,
    // when the buffer is flushed, and commit() would not notice: it would put
    // the truncated file in place of the former one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw writeError(reason);
    }
    if (!file.commit())
        throw writeError(file.errorString());
}

void saveTextToFile(const QString& fileName, QStringView text, const TEncoding& encoding) {
    QByteArray bytes = encoding.GetPreamble();
    bytes.reserve(bytes.size() + text.size() + 16);
    encoding.appendBytes(text, bytes);
    saveBytesToFile(fileName, bytes);
}

} // namespace dorvane
