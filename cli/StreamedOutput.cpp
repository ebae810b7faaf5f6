#include "cli/StreamedOutput.h"

#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvane {

void writeAll(int fd, QByteArrayView bytes, const QString& failure) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const long long written = platform::writeSome(fd, data, left);
        if (written < 0)
            throw EWriteError(QStringLiteral("%1. %2").arg(failure, sysErrorMessage(errno)));
        data += written;
        left -= written;
    }
}

std::unique_ptr<StreamedOutput> StreamedOutput::standardOutput() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    // Appended to (>>), every write goes to the end, wherever the offset is.
    const off_t start =
        flags >= 0 && (flags & O_APPEND) ? st.st_size : ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (start < 0)
        return nullptr;
    std::unique_ptr<StreamedOutput> out(new StreamedOutput);
    out->m_fd = STDOUT_FILENO;
    out->m_start = start;
    return out;
}

std::unique_ptr<StreamedOutput> StreamedOutput::file(const QString& fileName) {
    const QByteArray path = encodeFileName(fileName);
    struct stat st {};
    // Replacing /dev/null with a file would break the system.
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return nullptr;
    std::unique_ptr<StreamedOutput> out(new StreamedOutput);
    out->m_fileName = fileName;
    out->m_path = path;
    return out;
}

// The file beside -o's FILE. Through QSaveFile, as the window saves, when Qt
// can spell the name; otherwise (see decodeFileName) the same way by hand:
// a file beside it with FILE's permissions, renamed over it.
void StreamedOutput::open() {
    if (QFile::encodeName(m_fileName) == m_path) {
        m_saveFile = openSaveFile(m_fileName);
        m_fd = m_saveFile->handle(); // written directly: QSaveFile buffers nothing then
        return;
    }
    struct stat st {};
    const bool exists = ::stat(m_path.constData(), &st) == 0;
    if (exists && ::access(m_path.constData(), W_OK) != 0)
        throw EFCreateError(cannotCreateMessage(m_fileName, errno));
    QByteArray temporary = m_path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw EFCreateError(cannotCreateMessage(m_fileName, errno));
    mode_t mode = st.st_mode & 07777;
    if (!exists) {
        mode = ::umask(0);
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    ::fchmod(fd, mode);
    m_temporary = temporary;
    m_fd = fd;
}

void StreamedOutput::write(QByteArrayView bytes) {
    if (m_fd < 0)
        open();
    m_wrote = true;
    writeAll(m_fd, bytes,
             m_fileName.isEmpty()
                 ? QStringLiteral("Cannot write to standard output")
                 : QStringLiteral("Cannot write file \"%1\"").arg(expandFileName(m_fileName)));
}

void StreamedOutput::cutBack() const {
    if (m_wrote && m_fd >= 0 && ::ftruncate(m_fd, m_start) == 0)
        ::lseek(m_fd, m_start, SEEK_SET);
}

void StreamedOutput::restart() {
    cutBack();
    m_wrote = false;
}

void StreamedOutput::commit() {
    m_committed = true;
    if (m_fileName.isEmpty())
        return;
    if (m_fd < 0)
        open(); // nothing written: FILE becomes empty
    if (m_saveFile) {
        if (!m_saveFile->commit())
            throw EWriteError(cannotWriteMessage(m_fileName, m_saveFile->errorString()));
        return;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(m_temporary.constData());
        throw EWriteError(cannotWriteMessage(m_fileName, error));
    }
    if (::rename(m_temporary.constData(), m_path.constData()) != 0) {
        const int error = errno;
        ::unlink(m_temporary.constData());
        throw EFCreateError(cannotCreateMessage(m_fileName, error));
    }
}

StreamedOutput::~StreamedOutput() {
    if (m_committed)
        return;
    if (m_fileName.isEmpty()) {
        cutBack();
    } else if (!m_temporary.isEmpty() && m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.constData());
    }
    // QSaveFile removes its own file unless committed.
}

} // namespace dorvane
