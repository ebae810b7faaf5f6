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

} // namespace dorvane::platform
