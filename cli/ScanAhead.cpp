#include "cli/ScanAhead.h"

#include "playlist/InputReader.h"
#include "playlist/AnsiCodePage.h"
#include "playlist/Encoding.h"
#include "playlist/Platform.h"
#include "simd/Kernels.h"

namespace dorvane {

namespace {

// A slot's share of the slots' memory: a piece and a long line's start
// before it.
constexpr qsizetype kSlotStorage = 512 * 1024;

} // namespace

ScanAhead::ScanAhead(InputReader& reader, const TargetFormat& target, Mode mode,
                     const TAnsiEncoding* codePage)
    : m_reader(reader), m_mode(mode), m_codePage(codePage), m_scanner(target) {
    // Not for a small file, nor for bytes already in memory, which are never
    // copied into a slot.
    const qsizetype size = reader.sizeHint();
    if (size == 0 || size >= kSlots * InputReader::kPieceSize) {
        m_storage.emplace(kSlots * kSlotStorage);
        for (int k = 0; k < kSlots; ++k)
            m_slots[k].bytes = PieceBuffer(m_storage->data() + k * kSlotStorage, kSlotStorage);
    }
    m_thread = std::thread([this] { help(); });
}

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
    while (true) {
        if (m_sync.error)
            std::rethrow_exception(m_sync.error);
        if (m_verdict != Verdict::Utf8)
            return nullptr;
        if (m_taken == m_bad) {
            m_verdict = Verdict::NotUtf8;
            m_sync.changed.notify_all(); // the other thread stops
            return nullptr;
        }
        if (m_taken < m_resolved) {
            Slot& next = slot(m_taken);
            ++m_taken;
            m_held = true;
            return &next.scanned;
        }
        if (m_inputEnd && m_taken == m_read) {
            if (m_mode == Mode::CodePage)
                m_verdict = codePageVerdict();
            return nullptr;
        }
        if (!work(lock))
            m_sync.changed.wait(lock);
    }
}

ScanAhead::Verdict ScanAhead::verdict() const {
    std::lock_guard lock(m_sync.mutex);
    return m_verdict;
}

int ScanAhead::channels() const {
    std::lock_guard lock(m_sync.mutex);
    return m_scanner.channels();
}

void ScanAhead::help() {
    m_sync.run([this] {
        std::unique_lock lock(m_sync.mutex);
        while (!m_sync.stopping)
            if (!work(lock))
                m_sync.changed.wait(lock);
    });
}

bool ScanAhead::work(std::unique_lock<std::mutex>& lock) {
    const int occupied = m_read - m_taken + (m_held ? 1 : 0);
    if (m_sync.stopping || m_sync.error || m_verdict != Verdict::Utf8 || m_reading || m_inputEnd ||
        m_bad >= 0 || occupied >= kSlots)
        return false;

    const int index = m_read;
    Slot& piece = slot(index);
    piece.scanDone = false;
    m_reading = true; // stays set should reading fail: the run ends with the error
    lock.unlock();
    const QByteArrayView bytes = m_reader.next(piece.bytes);
    // The reader looks for the first 00 byte as it reads.
    const bool mayHoldNul = m_reader.nulOffset() >= 0;
    lock.lock();
    m_reading = false;
    if (bytes.isEmpty()) {
        m_inputEnd = true;
        m_sync.changed.notify_all();
        return true;
    }
    ++m_read;
    m_sync.changed.notify_all(); // the next piece may be read
    lock.unlock();

    const bool utf16 = index == 0 && platform::startsWithUtf16Mark(bytes);
    if (!utf16)
        scanPiece(index, piece, bytes, mayHoldNul);

    lock.lock();
    if (utf16) {
        m_verdict = Verdict::Utf16;
    } else {
        piece.scanDone = true;
        if (!piece.wellFormed && (m_bad < 0 || index < m_bad))
            m_bad = index;
        resolve();
    }
    m_sync.changed.notify_all();
    return true;
}

void ScanAhead::scanPiece(int index, Slot& slot, QByteArrayView bytes, bool mayHoldNul) {
    // A piece shorter than three bytes is the whole input or ends with an
    // LF: it has no preamble.
    if (index == 0 && platform::startsWithUtf8Mark(bytes))
        bytes = bytes.sliced(3);
    slot.wellFormed = true;
    if (m_mode == Mode::CodePage) {
        // Code-page text is mostly bytes C0 to FF followed by no
        // continuation byte, each an ill-formed part of its own: the bounds
        // tell such a piece at once, where tallying it took a quarter of the run.
        size_t upper = 0, lower = 0;
        simd::kernels().utf8TallyBounds(bytes.data(), size_t(bytes.size()), upper, lower);
        slot.exact = !(upper < 10 * lower);
        if (slot.exact) {
            Utf8Tally tally;
            tally.add(bytes);
            upper = size_t(tally.multiByte);
            lower = size_t(tally.illFormed);
        }
        slot.multiByteAtMost = qint64(upper);
        slot.illFormedAtLeast = qint64(lower);
        // Sized for the worst case; the slot keeps the room for the next
        // piece it takes.
        slot.repaired.resize(TAnsiEncoding::decodedUtf8Room(bytes.size()));
        char* const end =
            m_codePage->decodeToUtf8(bytes.begin(), bytes.end(), slot.repaired.data());
        bytes = QByteArrayView(slot.repaired.constData(), end);
    } else if (m_mode == Mode::Repair) {
        // Repairing must come before the scan.
        if (!isWellFormedUtf8(bytes)) {
            slot.repaired.resize(0);
            repairUtf8(bytes, slot.repaired);
            bytes = slot.repaired;
        }
    } else {
        slot.wellFormed = isWellFormedUtf8(bytes);
    }
    if (slot.wellFormed) // a piece that is not is never written
        m_scanner.scanPiece(bytes, slot.scanned, slot.marks, mayHoldNul);
}

ScanAhead::Verdict ScanAhead::codePageVerdict() const {
    // Fewer than ten good sequences for each broken part, at most: the code
    // page, as the whole tally would say.
    if (m_illFormedAtLeast > 0 && m_multiByteAtMost < 10 * m_illFormedAtLeast)
        return Verdict::Utf8;
    if (m_exact) {
        const Utf8Tally tally{m_multiByteAtMost, m_illFormedAtLeast};
        return tally.readsAsUtf8() ? Verdict::ReadsAsUtf8 : Verdict::Utf8;
    }
    return Verdict::Unsure;
}

void ScanAhead::resolve() {
    for (; m_resolved < m_read; ++m_resolved) {
        Slot& piece = slot(m_resolved);
        if (!piece.scanDone || !piece.wellFormed)
            return;
        m_scanner.resolve(piece.scanned);
        m_multiByteAtMost += piece.multiByteAtMost;
        m_illFormedAtLeast += piece.illFormedAtLeast;
        m_exact = m_exact && piece.exact;
    }
}

} // namespace dorvane
