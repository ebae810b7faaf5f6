#pragma once

#include <QByteArrayView>
#include <QString>

// The one seam between the program's file handling and the system's calls:
// opening, reading, writing and closing a file descriptor, with the retries
// an interrupted call needs; and the byte-order marks a playlist may begin
// with.
namespace dorvane::platform {

// A descriptor open for reading, or -1 with errno set.
int openForReading(const QString& fileName);

// One read() or write() of at most `size` bytes (a large request is cut to
// what one call takes), repeated while a signal interrupts it: the number of
// bytes, 0 at the end of the input, or -1 with errno set.
long long readSome(int fd, char* buffer, long long size);
long long writeSome(int fd, const char* buffer, long long size);
// Copies at most `size` bytes from the file `from`, where its offset stands,
// into `to`, inside the system where it can (Linux's sendfile: no copy
// through this process's memory): the number of bytes, 0 at the end of
// `from`, or -1 with errno set; ENOSYS or EINVAL when the system cannot copy
// between these two, and nothing was copied.
long long sendSome(int to, int from, long long size);

// Lets only the owner read and write the open file (mode 0600), for a file
// that holds a password: false with errno set when the system refuses. Where
// files have no such modes (Windows), true and nothing done.
bool restrictToOwner(int fd);

// Closes the descriptor it holds when it goes out of scope.
class FileCloser {
public:
    explicit FileCloser(int fd) : m_fd(fd) {}
    ~FileCloser();
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int m_fd;
};

// Whether the bytes begin with the UTF-8 byte-order mark (EF BB BF), and
// with a UTF-16 one (FF FE, little-endian; FE FF, big-endian).
inline bool startsWithUtf8Mark(QByteArrayView bytes) {
    return bytes.startsWith("\xEF\xBB\xBF");
}
inline bool startsWithUtf16Mark(QByteArrayView bytes) {
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

} // namespace dorvane::platform
