#include "cli/ScanAhead.h"

#include "playlist/Errors.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace dorvane {

ScanAhead::ScanAhead(int fd, const QString& fileName, const TargetFormat& target)
    : m_fd(fd), m_fileName(fileName), m_scanner(target), m_thread([this] { read(); }) {}

ScanAhead::~ScanAhead() {
    m_sync.stop();
    m_thread.join();
}

const ScannedPiece* ScanAhead::next() {
    std::unique_lock lock(m_sync.mutex);
    if (m_held) {
        m_held = false;
        m_sync.changed.notify_all(); // a slot is free again
    }
    m_sync.changed.wait(lock, [this] { return m_filled > m_taken || m_sync.finished; });
    if (m_sync.error)
        std::rethrow_exception(m_sync.error);
    if (m_verdict != Verdict::Utf8 || m_filled == m_taken)
        return nullptr;
    m_held = true;
    return &m_slots[m_taken++ % kSlots].scanned;
}

ScanAhead::Verdict ScanAhead::verdict() const {
    std::lock_guard lock(m_sync.mutex);
    return m_verdict;
}

int ScanAhead::channels() const {
    std::lock_guard lock(m_sync.mutex);
    return m_channels;
}

void ScanAhead::read() {
    m_sync.run([this] {
        bool first = true;
        while (true) {
            Slot* slot = nullptr;
            {
                std::unique_lock lock(m_sync.mutex);
                m_sync.changed.wait(lock, [this] {
                    return m_sync.stopping || m_filled - m_taken + (m_held ? 1 : 0) < kSlots;
                });
                if (m_sync.stopping)
                    break;
                slot = &m_slots[m_filled % kSlots]; // neither queued nor held
            }
            qsizetype size = 0;
            const Verdict verdict = readPiece(slot->bytes, size);
            if (verdict == Verdict::Utf8 && size == 0)
                break; // the end of the file
            QByteArrayView piece(slot->bytes.constData(), size);
            bool utf8 = verdict == Verdict::Utf8;
            if (utf8 && first) {
                first = false;
                // A piece shorter than three bytes is the whole file or ends
                // with an LF: it has neither a preamble nor a UTF-16 mark.
                if (platform::startsWithUtf16Mark(piece))
                    utf8 = false;
                else if (platform::startsWithUtf8Mark(piece))
                    piece = piece.sliced(3);
            }
            if (utf8 && !isWellFormedUtf8(piece))
                utf8 = false;
            if (!utf8) {
                std::lock_guard lock(m_sync.mutex);
                m_verdict = verdict == Verdict::Utf8 ? Verdict::NotUtf8 : verdict;
                break;
            }
            m_scanner.scan(piece, slot->scanned);
            {
                std::lock_guard lock(m_sync.mutex);
                ++m_filled;
            }
            m_sync.changed.notify_all();
        }
        std::lock_guard lock(m_sync.mutex);
        m_channels = m_scanner.channels();
    });
}

ScanAhead::Verdict ScanAhead::readPiece(QByteArray& bytes, qsizetype& size) {
    // The start of a line left over from the last piece comes first.
    qsizetype used = m_tail.size();
    if (bytes.size() < std::max(kPieceSize, used * 2))
        bytes.resize(std::max(kPieceSize, used * 2));
    if (used > 0)
        std::memcpy(bytes.data(), m_tail.constData(), static_cast<size_t>(used));
    m_tail.resize(0);

    while (true) {
        // A regular file gives all that is asked for unless at its end.
        bool atEnd = false;
        while (used < bytes.size()) {
            const long long got =
                platform::readSome(m_fd, bytes.data() + used, bytes.size() - used);
            if (got < 0)
                throw EFOpenError(cannotOpenMessage(m_fileName, errno));
            if (got == 0) {
                atEnd = true;
                break;
            }
            used += got;
            m_total += got;
            if (m_total > kMaxPlaylistBytes)
                return Verdict::TooLarge;
        }
        size = used;
        if (atEnd)
            return Verdict::Utf8;
        // Back to the last LF: only the start of one line lies after it.
        const char* data = bytes.constData();
        while (size > 0 && data[size - 1] != '\n')
            --size;
        if (size > 0) {
            m_tail.resize(used - size);
            std::memcpy(m_tail.data(), data + size, static_cast<size_t>(used - size));
            return Verdict::Utf8;
        }
        bytes.resize(bytes.size() * 2); // a line longer than the piece
    }
}

} // namespace dorvane
