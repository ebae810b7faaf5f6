#pragma once

#include "cli/PieceBuffer.h"
#include "cli/ReadAhead.h"
#include "convert/ByteConversion.h"
#include "playlist/MemoryAdvice.h"

#include <QByteArray>

#include <array>
#include <mutex>
#include <optional>
#include <thread>

namespace dorvane {

class InputReader;
class TargetFormat;

// Takes the pieces of UTF-8 input (InputReader) on a thread of its own and
// scans each one (ByteScanner), a few pieces ahead of the caller, who writes
// them (runConversion over a ScannedPieceSource). The check of a piece's form
// is done by whichever thread is free for it: the reading thread while it
// waits for a slot, the caller when it takes a piece not yet checked. So the
// two threads share the work whichever of them is the faster, and on two
// cores the whole takes little more than half. The first piece has its UTF-8
// preamble removed.
class ScanAhead {
public:
    enum class Mode {
        Strict, // stop at the first piece that is not well-formed UTF-8
        Repair, // take each ill-formed part of a piece as U+FFFD (repairUtf8)
    };

    // The reader, read from where it stands, and the target must outlive
    // this object.
    ScanAhead(InputReader& reader, const TargetFormat& target, Mode mode);
    // Stops the reading thread and waits for it.
    ~ScanAhead();
    ScanAhead(const ScanAhead&) = delete;
    ScanAhead& operator=(const ScanAhead&) = delete;

    // The next scanned piece, valid until the next call; nullptr at the end,
    // and as soon as the input turns out not to be for this path (see
    // verdict). An error of the reading thread is thrown here.
    const ScannedPiece* next();

    enum class Verdict {
        Utf8,    // all of it scanned
        NotUtf8, // Strict: ill-formed UTF-8
        Utf16,   // a UTF-16 byte-order mark in front
    };
    // Once next() has given nullptr.
    Verdict verdict() const;
    // Once next() has given nullptr: the channel count of all the lines.
    int channels() const;

private:
    // Where a piece's check of form stands.
    enum class Check { Pending, Running, Good, Bad };
    // A piece's bytes and what the scan found in them. The reading thread
    // fills the slots in turn; the caller holds one at a time.
    struct Slot {
        PieceBuffer bytes;
        QByteArray repaired;
        QByteArrayView piece; // the text scanned: in `bytes` or in `repaired`
        Check check = Check::Pending;
        ScannedPiece scanned;
    };
    static constexpr int kSlots = 4;
    // A slot's share of m_storage: a piece and a long line's start before it.
    static constexpr qsizetype kSlotStorage = 512 * 1024;

    void read();
    // Under the lock held by `lock`: checks the oldest queued piece whose
    // check is still pending, the lock released meanwhile. False when there
    // is none.
    bool checkAhead(std::unique_lock<std::mutex>& lock);
    // Under the lock: checks the slot, the lock released meanwhile, and
    // tells the other thread.
    void check(Slot& slot, std::unique_lock<std::mutex>& lock);

    InputReader& m_reader;
    const Mode m_mode;
    ByteScanner m_scanner;

    mutable ReadAhead m_sync;
    // The slots' memory, on one huge page, for input read into them (not for
    // a small file, nor bytes already in memory).
    std::optional<HugePageBlock> m_storage;
    std::array<Slot, kSlots> m_slots;
    int m_filled = 0;        // slots filled by the reading thread, in all
    int m_taken = 0;         // slots the caller has taken, in all
    bool m_held = false;     // the caller still holds slot m_taken - 1
    bool m_badAhead = false; // a queued piece proved not to be UTF-8
    Verdict m_verdict = Verdict::Utf8;
    int m_channels = 0;

    std::thread m_thread; // last: starts once everything above is set up
};

} // namespace dorvane
