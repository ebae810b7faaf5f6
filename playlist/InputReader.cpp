#include "playlist/InputReader.h"

#include "playlist/Errors.h"
#include "playlist/LineRules.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvane {

InputReader::InputReader(int fd, QString failure) : m_fd(fd), m_failure(std::move(failure)) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail(errno);
    if (S_ISDIR(st.st_mode))
        fail(EISDIR);
    // An empty regular file may still have content: those of /proc do.
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        const off_t start = ::lseek(fd, 0, SEEK_CUR);
        if (start >= 0) {
            m_kind = Kind::RegularFile;
            m_start = start;
            m_expected = std::max<qint64>(0, st.st_size - start);
            if (m_expected > kMaxPlaylistBytes)
                fail(EFBIG);
        }
    }
}

InputReader::InputReader(QByteArray bytes, QString failure)
    : m_failure(std::move(failure)), m_kind(Kind::Memory), m_memory(std::move(bytes)) {
    if (m_memory.size() > kMaxPlaylistBytes)
        fail(EFBIG);
}

QByteArrayView InputReader::next(PieceBuffer& buffer) {
    QByteArrayView piece;
    switch (m_kind) {
    case Kind::Memory: {
        const char* const from = m_memory.constData() + m_memoryOffset;
        const qsizetype size = lines::pieceEnd(from, m_memory.constData() + m_memory.size()) - from;
        piece = QByteArrayView(m_memory).sliced(m_memoryOffset, size);
        m_memoryOffset += size;
        break;
    }
    case Kind::Stream:
        if (m_replay < m_kept.size()) {
            piece = m_kept[m_replay++];
        } else {
            piece = readPiece(buffer);
            if (!piece.isEmpty()) {
                m_kept.push_back(piece.toByteArray());
                m_replay = m_kept.size();
            }
        }
        break;
    case Kind::RegularFile:
        piece = readPiece(buffer);
        break;
    }
    takeNote(piece);
    return piece;
}

QByteArray InputReader::rest() {
    QByteArray bytes;
    bytes.reserve(std::max<qsizetype>(0, sizeHint() - qsizetype(m_offset)));
    PieceBuffer buffer;
    for (QByteArrayView piece; !(piece = next(buffer)).isEmpty();)
        bytes.append(piece);
    return bytes;
}

void InputReader::rewind() {
    switch (m_kind) {
    case Kind::Memory:
        m_memoryOffset = 0;
        break;
    case Kind::Stream:
        m_replay = 0; // the line begun after the last piece stays in m_tail
        break;
    case Kind::RegularFile:
        if (::lseek(m_fd, m_start, SEEK_SET) < 0)
            fail(errno);
        m_read = 0;
        m_atEnd = false;
        m_tail.clear();
        break;
    }
    m_offset = 0;
}

void InputReader::takeNote(QByteArrayView piece) {
    const qint64 begin = m_offset;
    m_offset += piece.size();
    if (piece.isEmpty()) {
        m_size = m_offset;
        return;
    }
    if (m_offset <= m_noted)
        return; // read before
    const QByteArrayView fresh = piece.sliced(m_noted - begin);
    if (m_head.size() < kHeadSize)
        m_head += fresh.first(std::min(fresh.size(), kHeadSize - m_head.size()));
    if (m_nulOffset < 0) {
        if (const void* nul = std::memchr(fresh.data(), 0, static_cast<size_t>(fresh.size())))
            m_nulOffset = m_noted + (static_cast<const char*>(nul) - fresh.data());
    }
    m_noted = m_offset;
}

QByteArrayView InputReader::readPiece(PieceBuffer& buffer) {
    // Never more room than the rest of the file or of the size limit needs,
    // plus one byte to see it passed: a stream without line ends (/dev/zero)
    // must not make the buffer double past the limit.
    qsizetype used = m_tail.size();
    const qint64 limit = m_kind == Kind::RegularFile ? m_expected : kMaxPlaylistBytes;
    const auto room = [&](qsizetype wanted) {
        return std::min<qsizetype>(wanted, used + (limit + 1 - m_read));
    };
    const auto resize = [&](qsizetype size) { buffer.resize(size); };
    if (m_atEnd && used == 0)
        return {};
    if (buffer.size() < room(std::max(kPieceSize, used * 2)))
        resize(room(std::max(kPieceSize, used * 2)));
    if (used > 0)
        std::memcpy(buffer.data(), m_tail.constData(), static_cast<size_t>(used));
    m_tail.resize(0);

    qsizetype searched = used; // the tail holds no LF
    while (true) {
        while (used < buffer.size() && !m_atEnd) {
            qsizetype got = 0;
            readFromFile(buffer.data() + used, buffer.size() - used, got);
            used += got;
        }
        if (m_atEnd)
            return QByteArrayView(buffer.constData(), used);
        // Back to the last LF: only the start of one line lies after it.
        const char* data = buffer.constData();
        if (const void* lf =
                ::memrchr(data + searched, '\n', static_cast<size_t>(used - searched))) {
            const qsizetype size = static_cast<const char*>(lf) + 1 - data;
            m_tail = QByteArray(data + size, used - size);
            return QByteArrayView(data, size);
        }
        searched = used;
        resize(room(buffer.size() * 2)); // a line longer than the piece
    }
}

void InputReader::readFromFile(char* data, qsizetype want, qsizetype& got) {
    const long long n = platform::readSome(m_fd, data, want);
    if (n < 0)
        fail(errno);
    got = n;
    m_read += n;
    if (m_kind == Kind::RegularFile) {
        if (m_read > m_expected)
            failChanged(); // it grew
        if (n == 0) {
            struct stat st {};
            if (m_read < m_expected || ::fstat(m_fd, &st) != 0 ||
                st.st_size != m_start + m_expected)
                failChanged(); // it shrank, or was cut and grew again
        }
    } else if (m_read > kMaxPlaylistBytes) {
        fail(EFBIG);
    }
    if (n == 0)
        m_atEnd = true;
}

void InputReader::fail(int error) const {
    throw EReadError(QStringLiteral("%1. %2").arg(m_failure, sysErrorMessage(error)));
}

void InputReader::failChanged() const {
    throw EReadError(QStringLiteral("%1. It changed while it was read").arg(m_failure));
}

} // namespace dorvane
