#include "playlist/Platform.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace dorvane::platform {

namespace {

// The most one call is asked for: within every platform's limits.
constexpr long long kMostPerCall = 1 << 30;

} // namespace

#if defined(_WIN32)
int openForReading(const QString& fileName) {
    return ::_wopen(reinterpret_cast<const wchar_t*>(fileName.utf16()), _O_RDONLY | _O_BINARY);
}
long long readSome(int fd, char* buffer, long long size) {
    while (true) {
        const int got = ::_read(fd, buffer, static_cast<unsigned>(std::min(size, kMostPerCall)));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}
long long writeSome(int fd, const char* buffer, long long size) {
    while (true) {
        const int put = ::_write(fd, buffer, static_cast<unsigned>(std::min(size, kMostPerCall)));
        if (put >= 0 || errno != EINTR)
            return put;
    }
}
FileCloser::~FileCloser() {
    if (m_fd >= 0)
        ::_close(m_fd);
}
#else
int openForReading(const QString& fileName) {
    return ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
}
long long readSome(int fd, char* buffer, long long size) {
    while (true) {
        const ssize_t got = ::read(fd, buffer, static_cast<size_t>(std::min(size, kMostPerCall)));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}
long long writeSome(int fd, const char* buffer, long long size) {
    while (true) {
        const ssize_t put = ::write(fd, buffer, static_cast<size_t>(std::min(size, kMostPerCall)));
        if (put >= 0 || errno != EINTR)
            return put;
    }
}
FileCloser::~FileCloser() {
    if (m_fd >= 0)
        ::close(m_fd);
}
#endif

} // namespace dorvane::platform
