#include "playlist/Platform.h"

#include "playlist/FileName.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sys/sendfile.h>
#endif

#include <cstdlib>
#include <sys/stat.h>

namespace dorvane::platform {

namespace {

// The most one call is asked for: within every platform's limits.
constexpr long long kMostPerCall = 1 << 30;
// The most one write is given. Linux copies a big write into the page cache
// far slower than the same bytes in slices: 162 MB into a new file took
// 0.52 s in one call and 0.06 s in calls of 1 MiB.
constexpr long long kMostPerWrite = 1 << 20;

// The system's calls: the same on both kinds of system but for an
// underscore, the type of a size, and how a file name is passed.
#if defined(_WIN32)
#define DORVANE_SYSTEM_CALL(name) ::_##name
using CallSize = unsigned;
int openRaw(const QString& fileName) {
    return ::_wopen(reinterpret_cast<const wchar_t*>(fileName.utf16()), _O_RDONLY | _O_BINARY);
}
#else
#define DORVANE_SYSTEM_CALL(name) ::name
using CallSize = size_t;
int openRaw(const QString& fileName) {
    return ::open(encodeFileName(fileName).constData(), O_RDONLY | O_CLOEXEC);
}
#endif

long long readRaw(int fd, char* buffer, long long size) {
    return DORVANE_SYSTEM_CALL(read)(fd, buffer, static_cast<CallSize>(size));
}
long long writeRaw(int fd, const char* buffer, long long size) {
    return DORVANE_SYSTEM_CALL(write)(fd, buffer, static_cast<CallSize>(size));
}
void closeRaw(int fd) {
    DORVANE_SYSTEM_CALL(close)(fd);
}

// Repeats the call while a signal interrupts it.
template <typename Call> long long retried(Call call) {
    while (true) {
        const long long done = call();
        if (done >= 0 || errno != EINTR)
            return done;
    }
}

} // namespace

int openForReading(const QString& fileName) {
    return openRaw(fileName);
}

long long readSome(int fd, char* buffer, long long size) {
    return retried([=] { return readRaw(fd, buffer, std::min(size, kMostPerCall)); });
}

long long writeSome(int fd, const char* buffer, long long size) {
    return retried([=] { return writeRaw(fd, buffer, std::min(size, kMostPerWrite)); });
}

long long sendSome(int to, int from, long long size) {
#if defined(__linux__)
    return retried([=] {
        return static_cast<long long>(
            ::sendfile(to, from, nullptr, static_cast<size_t>(std::min(size, kMostPerCall))));
    });
#else
    (void)to;
    (void)from;
    (void)size;
    errno = ENOSYS;
    return -1;
#endif
}

bool restrictToOwner(int fd) {
#if defined(_WIN32)
    (void)fd;
    return true;
#else
    return ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
#endif
}

FileCloser::~FileCloser() {
    if (m_fd >= 0)
        closeRaw(m_fd);
}

// The output's file operations, as POSIX has them; Windows needs its own.
#if !defined(_WIN32)

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) >= 0;
}

int openForWriting(const QByteArray& path) {
    return ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
}

bool closeFile(int fd) {
    return ::close(fd) == 0;
}

bool syncAndClose(int fd) {
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    const bool closed = ::close(fd) == 0;
    if (!synced)
        errno = error;
    return synced && closed;
}

bool isDeviceOrFifo(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

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

int openAnonymousFile(const QByteArray& folder) {
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

int createBeside(const QByteArray& path, QByteArray& temporary) {
    struct stat st {};
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (exists && ::access(path.constData(), W_OK) != 0)
        return -1;
    temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    mode_t mode = st.st_mode & 07777;
    if (!exists) {
        mode = ::umask(0);
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    ::fchmod(fd, mode);
    return fd;
}

bool replaceFile(const QByteArray& from, const QByteArray& to) {
    return ::rename(from.constData(), to.constData()) == 0;
}

void removeFile(const QByteArray& path) {
    ::unlink(path.constData());
}

qint64 regularFileOffset(int fd, int otherFd) {
    struct stat st {};
    struct stat other {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    if (otherFd >= 0 && ::fstat(otherFd, &other) == 0 && other.st_dev == st.st_dev &&
        other.st_ino == st.st_ino)
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    // Appended to (>>), every write goes to the end, wherever the offset
    // stands.
    return flags >= 0 && (flags & O_APPEND) ? st.st_size : ::lseek(fd, 0, SEEK_CUR);
}

qint64 currentOffset(int fd) {
    return ::lseek(fd, 0, SEEK_CUR);
}

bool seekTo(int fd, qint64 offset) {
    return ::lseek(fd, offset, SEEK_SET) == offset;
}

void cutBack(int fd, qint64 size) {
    if (::ftruncate(fd, size) == 0)
        ::lseek(fd, size, SEEK_SET);
}

#endif

} // namespace dorvane::platform
