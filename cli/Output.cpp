#include "cli/Output.h"

#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvane {

namespace {

QString standardOutputFailure() {
    return QStringLiteral("Cannot write to standard output");
}

EReadError spoolReadError(int error) {
    return EReadError(
        QStringLiteral("Cannot read the temporary file. %1").arg(sysErrorMessage(error)));
}

QString fileFailure(const QString& fileName) {
    return QStringLiteral("Cannot write file \"%1\"").arg(expandFileName(fileName));
}

// A pipe holds 64 KiB by default, so a big output goes through it in many
// small turns, each a switch to the reading process and back; with 1 MiB
// (the most Linux grants without privileges) writing 150 MB into `cat` took
// 40 % less time. Best effort: where the call does not exist or is refused,
// the pipe stays as it is.
void widenPipe(int fd, qint64 outputSize) {
#ifdef F_SETPIPE_SZ
    struct stat st {};
    if (outputSize > 65536 && ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode))
        ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#else
    (void)fd;
    (void)outputSize;
#endif
}

// True for a name that exists and is neither a regular file nor a folder: a
// device or a FIFO, written into as it is (replacing /dev/null with a file
// would break the system).
bool isDeviceOrFifo(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// Where -o's name leads: its symbolic links followed to the name that is no
// link (or none yet), as the system's open() follows them, byte for byte,
// whatever the names are made of. Replacing that name, not the link, is
// what "sort -o" does. A chain too long (a loop) is left as it is: the
// write fails there as open() would.
QByteArray followLinks(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(st.st_size > 0 ? st.st_size + 1 : 4096, Qt::Uninitialized);
        const ssize_t size = ::readlink(path.constData(), target.data(), target.size());
        if (size < 0 || size >= target.size())
            return path;
        target.truncate(size);
        if (target.startsWith('/')) {
            path = target;
        } else {
            const qsizetype slash = path.lastIndexOf('/');
            path = slash >= 0 ? path.first(slash + 1) + target : target;
        }
    }
    return path;
}

// Opens -o's device or FIFO for writing.
int openDevice(const QString& fileName) {
    const int fd = ::open(encodeFileName(fileName).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw EFCreateError(cannotCreateMessage(fileName, errno));
    return fd;
}

void closeDevice(int fd, const QString& fileName) {
    if (::close(fd) != 0)
        throw EWriteError(cannotWriteMessage(fileName, errno));
}

// An unnamed file in the folder for temporary files, gone once closed; -1
// when none can be made.
int openSpool() {
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
#ifdef O_TMPFILE
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    QByteArray name = folder + "/dorvane-convert.XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

} // namespace

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

void checkStandardOutput() {
    if (::fcntl(STDOUT_FILENO, F_GETFD) < 0)
        throw EWriteError(
            QStringLiteral("%1. %2").arg(standardOutputFailure(), sysErrorMessage(errno)));
}

void writeOutput(const QString& fileName, const QByteArray& bytes) {
    if (fileName.isEmpty()) {
        widenPipe(STDOUT_FILENO, bytes.size());
        writeAll(STDOUT_FILENO, bytes, standardOutputFailure());
        return;
    }
    if (!isDeviceOrFifo(encodeFileName(fileName))) {
        const std::unique_ptr<StreamedOutput> out =
            StreamedOutput::open(fileName); // the file beside
        out->write(bytes);
        out->commit();
        return;
    }
    const int fd = openDevice(fileName);
    try {
        writeAll(fd, bytes, fileFailure(fileName));
    } catch (...) {
        ::close(fd);
        throw;
    }
    closeDevice(fd, fileName);
}

std::unique_ptr<StreamedOutput> StreamedOutput::open(const QString& fileName, int inputFd) {
    std::unique_ptr<StreamedOutput> out;
    if (fileName.isEmpty()) {
        struct stat st {};
        struct stat input {};
        // Appended to the input itself (>>), the output would make the input
        // grow while it is read: it goes through the spool then.
        const auto isInput = [&] {
            return inputFd >= 0 && ::fstat(inputFd, &input) == 0 && input.st_dev == st.st_dev &&
                   input.st_ino == st.st_ino;
        };
        if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && !isInput()) {
            const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
            // Appended to (>>), every write goes to the end, wherever the
            // offset stands.
            const off_t start =
                flags >= 0 && (flags & O_APPEND) ? st.st_size : ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
            if (start >= 0) {
                out.reset(new StreamedOutput(Kind::StandardOutputFile));
                out->m_fd = STDOUT_FILENO;
                out->m_start = start;
                return out;
            }
        }
    } else if (!isDeviceOrFifo(encodeFileName(fileName))) {
        out.reset(new StreamedOutput(Kind::NamedFile));
        out->m_fileName = fileName;
        out->m_path = followLinks(encodeFileName(fileName));
        return out; // the file beside is made by the first write
    }
    const int spool = openSpool();
    if (spool < 0)
        return nullptr;
    out.reset(new StreamedOutput(Kind::Spool));
    out->m_fileName = fileName;
    out->m_fd = spool;
    return out;
}

// The file beside -o's FILE. Through QSaveFile, as the window saves, when Qt
// can spell the name and it is no link; otherwise (see decodeFileName) the
// same way by hand: a file beside the link's target, or FILE, with its
// permissions, renamed over it.
void StreamedOutput::openBeside() {
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

QString StreamedOutput::failure() const {
    return m_fileName.isEmpty() ? standardOutputFailure() : fileFailure(m_fileName);
}

void StreamedOutput::write(QByteArrayView bytes) {
    if (m_fd < 0)
        openBeside();
    m_wrote = true;
    if (m_kind != Kind::Spool) {
        writeAll(m_fd, bytes, failure());
        return;
    }
    try {
        writeAll(m_fd, bytes, failure());
    } catch (const EWriteError&) {
        throw SpoolFailed{};
    }
}

void StreamedOutput::cutBack() const {
    if (m_wrote && m_fd >= 0 && ::ftruncate(m_fd, m_start) == 0)
        ::lseek(m_fd, m_start, SEEK_SET);
}

void StreamedOutput::restart() {
    cutBack();
    m_wrote = false;
}

// The spool's bytes into standard output or -o's device or FIFO, a slice at
// a time.
void StreamedOutput::copySpool() const {
    const qint64 size = ::lseek(m_fd, 0, SEEK_CUR);
    if (size < 0 || ::lseek(m_fd, 0, SEEK_SET) != 0)
        throw spoolReadError(errno);
    const int to = m_fileName.isEmpty() ? STDOUT_FILENO : openDevice(m_fileName);
    widenPipe(to, size);
    try {
        // Inside the system where it can; else through a slice of memory.
        qint64 done = 0;
        while (done < size) {
            const long long sent = platform::sendSome(to, m_fd, size - done);
            if (sent > 0) {
                done += sent;
                continue;
            }
            if (sent < 0 && (errno == ENOSYS || errno == EINVAL))
                break;
            if (sent == 0)
                throw spoolReadError(EIO);
            // A failure of either side: the spool's is as unlikely as it is
            // indistinguishable, the destination's is the one to report.
            throw EWriteError(QStringLiteral("%1. %2").arg(failure(), sysErrorMessage(errno)));
        }
        QByteArray slice(1 << 20, Qt::Uninitialized);
        while (done < size) {
            const long long got = platform::readSome(m_fd, slice.data(), slice.size());
            if (got <= 0)
                throw spoolReadError(got < 0 ? errno : EIO);
            writeAll(to, QByteArrayView(slice.constData(), got), failure());
            done += got;
        }
    } catch (...) {
        if (to != STDOUT_FILENO)
            ::close(to);
        throw;
    }
    if (to != STDOUT_FILENO)
        closeDevice(to, m_fileName);
}

void StreamedOutput::commit() {
    m_committed = true;
    switch (m_kind) {
    case Kind::StandardOutputFile:
        return;
    case Kind::Spool:
        copySpool();
        return;
    case Kind::NamedFile:
        break;
    }
    if (m_fd < 0)
        openBeside(); // nothing written: FILE becomes empty
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
    switch (m_kind) {
    case Kind::StandardOutputFile:
        if (!m_committed)
            cutBack();
        break;
    case Kind::Spool:
        ::close(m_fd);
        break;
    case Kind::NamedFile:
        // QSaveFile removes its own file unless committed.
        if (!m_committed && !m_temporary.isEmpty() && m_fd >= 0) {
            ::close(m_fd);
            ::unlink(m_temporary.constData());
        }
        break;
    }
}

} // namespace dorvane
