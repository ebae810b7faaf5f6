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

#if defined(_WIN32)
int openRaw(const QString& fileName) {
    return ::_wopen(reinterpret_cast<const wchar_t*>(fileName.utf16()), _O_RDONLY | _O_BINARY);
}
long long readRaw(int fd, char* buffer, long long size) {
    return ::_read(fd, buffer, static_cast<unsigned>(size));
}
long long writeRaw(int fd, const char* buffer, long long size) {
    return ::_write(fd, buffer, static_cast<unsigned>(size));
}
void closeRaw(int fd) {
    ::_close(fd);
}
#else
int openRaw(const QString& fileName) {
    return ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
}
long long readRaw(int fd, char* buffer, long long size) {
    return ::read(fd, buffer, static_cast<size_t>(size));
}
long long writeRaw(int fd, const char* buffer, long long size) {
    return ::write(fd, buffer, static_cast<size_t>(size));
}
void closeRaw(int fd) {
    ::close(fd);
}
#endif

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
    return retried([=] { return writeRaw(fd, buffer, std::min(size, kMostPerCall)); });
}

FileCloser::~FileCloser() {
    if (m_fd >= 0)
        closeRaw(m_fd);
}

} // namespace dorvane::platform
