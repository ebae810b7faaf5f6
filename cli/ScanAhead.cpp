#include "cli/ScanAhead.h"

#include "cli/InputReader.h"
#include "playlist/Encoding.h"
#include "playlist/Platform.h"

namespace dorvane {

ScanAhead::ScanAhead(InputReader& reader, const TargetFormat& target, Mode mode)
    : m_reader(reader), m_mode(mode), m_scanner(target), m_thread([this] { read(); }) {}

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
            QByteArrayView piece = m_reader.next(slot->bytes);
            if (piece.isEmpty())
                break; // the end of the input
            Verdict verdict = Verdict::Utf8;
            if (first) {
                first = false;
                // A piece shorter than three bytes is the whole input or ends
                // with an LF: it has neither a preamble nor a UTF-16 mark.
                if (platform::startsWithUtf16Mark(piece))
                    verdict = Verdict::Utf16;
                else if (platform::startsWithUtf8Mark(piece))
                    piece = piece.sliced(3);
            }
            if (verdict == Verdict::Utf8 && !isWellFormedUtf8(piece)) {
                if (m_mode == Mode::Strict) {
                    verdict = Verdict::NotUtf8;
                } else {
                    slot->repaired.resize(0);
                    repairUtf8(piece, slot->repaired);
                    piece = slot->repaired;
                }
            }
            if (verdict != Verdict::Utf8) {
                std::lock_guard lock(m_sync.mutex);
                m_verdict = verdict;
                break;
            }
            // The reader looks for the first 00 byte as it reads.
            m_scanner.scan(piece, slot->scanned, m_reader.nulOffset() >= 0);
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

} // namespace dorvane
