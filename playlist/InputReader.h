#pragma once

#include "playlist/LineRules.h"
#include "playlist/PieceBuffer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace dorvane {

// The bytes of a playlist's input in pieces, whatever the input is: a file,
// standard input (a pipe, a terminal, a regular file, a device), or bytes
// already in memory (a download); dorvane-convert's input and the window's
// files. Every piece ends just after an LF
// byte, but the last; so no line and no UTF-8 sequence is ever cut, and in
// every ANSI code page an LF byte is an LF and part of nothing else.
//
// The input is opened once by the caller and read once from the system.
// When it has to be read again (in another encoding), a regular file is read
// again from where it began, and any other input from the copy the reader
// kept of it: a pipe or a FIFO cannot be read twice.
//
// What the reader refuses, by throwing EFOpenError or EReadError with
// `failure` and the reason:
// - more than kMaxPlaylistBytes: a regular file at once, by its size; a
//   stream once it passes the limit, having held at most that much;
// - a regular file whose size changes while it is read, which would give
//   half a playlist or a mix of two;
// - any error of the system's read().
class InputReader {
public:
    // Reads `fd` (left open) from where it stands. `failure` begins the
    // message of a failure ("Cannot open file "/path""), to which ". " and
    // the reason are added.
    InputReader(int fd, QString failure);
    // Bytes already read.
    InputReader(QByteArray bytes, QString failure);

    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    // The next piece; empty at the end. It lies in `buffer` or in the
    // reader's own memory, and stays valid until `buffer` is used again.
    QByteArrayView next(PieceBuffer& buffer);
    // Back to the first piece.
    void rewind();
    // The pieces not yet given, in one piece: for input read whole.
    QByteArray rest();

    // The size a regular file or bytes in memory have; 0 for a stream.
    qsizetype sizeHint() const {
        return m_kind == Kind::Memory ? m_memory.size() : qsizetype(m_expected);
    }
    // The input's size in bytes, once it has been read to its end.
    qint64 size() const { return m_size; }
    // The offset of the first 00 byte among the bytes read so far, or -1.
    qint64 nulOffset() const { return m_nulOffset; }
    // The first bytes of the input, up to kHeadSize, once a piece is read.
    const QByteArray& head() const { return m_head; }

    static constexpr qsizetype kPieceSize = lines::kPieceBytes;
    static constexpr qsizetype kHeadSize = 1024;

private:
    enum class Kind { RegularFile, Stream, Memory };

    QByteArrayView readPiece(PieceBuffer& buffer);
    void readFromFile(char* data, qsizetype want, qsizetype& got);
    void takeNote(QByteArrayView piece);
    [[noreturn]] void fail(int error) const;
    [[noreturn]] void failChanged() const;

    const int m_fd = -1;
    const QString m_failure;
    Kind m_kind = Kind::Stream;
    qint64 m_start = 0;    // a regular file: where it was when handed over
    qint64 m_expected = 0; // a regular file: its size from there on
    qint64 m_read = 0;     // bytes read from the system in this pass
    bool m_atEnd = false;  // the system has given the last byte
    QByteArray m_tail;     // the start of a line, read but not yet in a piece

    // A stream: a copy of every piece read, and the next one to give again.
    std::vector<QByteArray> m_kept;
    size_t m_replay = 0;
    // Bytes in memory, and where the next piece begins in them.
    const QByteArray m_memory;
    qsizetype m_memoryOffset = 0;

    qint64 m_offset = 0; // where the next piece begins in the input
    qint64 m_noted = 0;  // the bytes looked at for the head and the first 00
    qint64 m_size = -1;
    qint64 m_nulOffset = -1;
    QByteArray m_head;
};

} // namespace dorvane
