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

// The descriptors of standard output, and of what the program writes into:
// the output's own file operations, one call each, so that the code that
// streams an output never calls the system itself.
inline constexpr int kStandardOutput = 1;
// Whether the descriptor is open.
bool isOpen(int fd);
// Opens an existing file (a device, a FIFO) for writing: a descriptor, or -1
// with errno set.
int openForWriting(const QByteArray& path);
// Closes the descriptor: false with errno set when the close reported an
// error (a write that failed late).
bool closeFile(int fd);
// Flushes the file's bytes to its disk and closes it; false with errno set.
bool syncAndClose(int fd);
// Whether the name exists and is neither a regular file nor a folder.
bool isDeviceOrFifo(const QByteArray& path);
// Where the name leads: its symbolic links followed, byte for byte, to a name
// that is no link (or none yet); a chain too long is given back as it is.
QByteArray followLinks(QByteArray path);
// Widens a pipe to hold 1 MiB when a big output goes through it; nothing for
// any other file, or where the system has no such call.
void widenPipe(int fd, qint64 outputSize);
// An unnamed file in `folder`, gone once closed; -1 when none can be made.
int openAnonymousFile(const QByteArray& folder);
// A new file beside `path` ("path.XXXXXX"), with the permissions `path` has,
// or those a new file gets: its descriptor (and `temporary` its name), or -1
// with errno set. Fails with EACCES when `path` exists and cannot be written.
int createBeside(const QByteArray& path, QByteArray& temporary);
// Renames `from` over `to`; false with errno set.
bool replaceFile(const QByteArray& from, const QByteArray& to);
// Removes the name.
void removeFile(const QByteArray& path);
// Where a regular file, open for writing at `fd`, takes its next byte (its
// end when appended to), and -1 for anything else or a file that is the
// same as the one open at `otherFd` (>= 0).
qint64 regularFileOffset(int fd, int otherFd);
// The file's offset, -1 with errno set on failure; and back to `offset`.
qint64 currentOffset(int fd);
bool seekTo(int fd, qint64 offset);
// Cuts the file back to `size` bytes and goes there.
void cutBack(int fd, qint64 size);
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
