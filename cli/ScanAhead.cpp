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
    Slot& slot = m_slots[m_taken % kSlots];
    if (slot.check == Check::Pending)
        check(slot, lock);
    else
        m_sync.changed.wait(lock, [&slot] { return slot.check != Check::Running; });
    if (slot.check == Check::Bad) {
        m_verdict = Verdict::NotUtf8;
        m_sync.changed.notify_all(); // the reading thread stops
        return nullptr;
    }
    m_held = true;
    ++m_taken;
    return &slot.scanned;
}

ScanAhead::Verdict ScanAhead::verdict() const {
    std::lock_guard lock(m_sync.mutex);
    return m_verdict;
}

int ScanAhead::channels() const {
    std::lock_guard lock(m_sync.mutex);
    return m_channels;
}

void ScanAhead::check(Slot& slot, std::unique_lock<std::mutex>& lock) {
    slot.check = Check::Running;
    lock.unlock();
    const bool wellFormed = isWellFormedUtf8(slot.piece);
    lock.lock();
    slot.check = wellFormed ? Check::Good : Check::Bad;
    if (!wellFormed)
        m_badAhead = true;
    m_sync.changed.notify_all();
}

bool ScanAhead::checkAhead(std::unique_lock<std::mutex>& lock) {
    for (int k = m_taken; k < m_filled; ++k) {
        Slot& slot = m_slots[k % kSlots];
        if (slot.check == Check::Pending) {
            check(slot, lock);
            return true;
        }
    }
    return false;
}

void ScanAhead::read() {
    m_sync.run([this] {
        // The slots are this thread's until they are filled.
        const qsizetype size = m_reader.sizeHint();
        if (size == 0 || size >= kSlots * InputReader::kPieceSize) {
            m_storage.emplace(kSlots * kSlotStorage);
            for (int k = 0; k < kSlots; ++k)
                m_slots[k].bytes = PieceBuffer(m_storage->data() + k * kSlotStorage, kSlotStorage);
        }
        bool first = true;
        while (true) {
            Slot* slot = nullptr;
            {
                std::unique_lock lock(m_sync.mutex);
                const auto done = [this] {
                    return m_sync.stopping || m_verdict != Verdict::Utf8 || m_badAhead;
                };
                // While every slot is queued or held, the checks the caller
                // has not come to yet.
                while (!done() && m_filled - m_taken + (m_held ? 1 : 0) >= kSlots)
                    if (!checkAhead(lock))
                        m_sync.changed.wait(lock);
                if (done())
                    break;                          // the caller stops at a piece that is not UTF-8
                slot = &m_slots[m_filled % kSlots]; // neither queued nor held
            }
            QByteArrayView piece = m_reader.next(slot->bytes);
            if (piece.isEmpty())
                break; // the end of the input
            if (first) {
                first = false;
                // A piece shorter than three bytes is the whole input or ends
                // with an LF: it has neither a preamble nor a UTF-16 mark.
                if (platform::startsWithUtf16Mark(piece)) {
                    std::lock_guard lock(m_sync.mutex);
                    m_verdict = Verdict::Utf16;
                    break;
                }
                if (platform::startsWithUtf8Mark(piece))
                    piece = piece.sliced(3);
            }
            // The slot is neither queued nor held: no lock is needed.
            slot->check = Check::Pending;
            if (m_mode == Mode::Repair) {
                // Repairing must come before the scan.
                if (!isWellFormedUtf8(piece)) {
                    slot->repaired.resize(0);
                    repairUtf8(piece, slot->repaired);
                    piece = slot->repaired;
                }
                slot->check = Check::Good;
            }
            slot->piece = piece;
            // Bytes that prove not to be UTF-8 are scanned all the same, to no
            // harm: the caller stops before it writes them. The reader looks
            // for the first 00 byte as it reads.
            m_scanner.scan(piece, slot->scanned, m_reader.nulOffset() >= 0);
            {
                std::lock_guard lock(m_sync.mutex);
                ++m_filled;
            }
            m_sync.changed.notify_all();
        }
        std::unique_lock lock(m_sync.mutex);
        m_channels = m_scanner.channels();
        // The input is all read: the checks still pending, while the caller
        // writes.
        while (!m_sync.stopping && m_verdict == Verdict::Utf8 && !m_badAhead && checkAhead(lock)) {
        }
    });
}

} // namespace dorvane
