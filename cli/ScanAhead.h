#pragma once

#include "playlist/PieceBuffer.h"
#include "cli/ReadAhead.h"
#include "convert/ByteConversion.h"
#include "playlist/MemoryAdvice.h"

#include <QByteArray>

#include <array>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace dorvane {

class InputReader;
class TAnsiEncoding;
class TargetFormat;

// The pieces of UTF-8 input (InputReader), read, checked and scanned
// (ByteScanner) a few ahead of the caller, who writes them in their order
// (runConversion over a ScannedPieceSource); the first piece has its UTF-8
// preamble removed. Input in a code page takes the same way, each piece
// decoded into UTF-8 first.
//
// Two threads do the work: a thread of this object's own, and the caller
// whenever its next piece is not ready yet. Each takes a piece whole: it
// reads it (one thread at a time, the pieces in order), then checks and
// scans it while the other thread does the same with the next, and resolves
// it (ByteScanner::resolve, in order, in a moment) once the pieces before it
// are. So a piece is read and scanned in the cache of one processor, and
// the two threads share the work whichever of them is the faster: on two
// cores the whole takes little more than half.
class ScanAhead {
public:
    enum class Mode {
        Strict, // stop at the first piece that is not well-formed UTF-8
        Repair, // take each ill-formed part of a piece as U+FFFD (repairUtf8)
        // Bytes in a code page, each piece decoded into UTF-8
        // (TAnsiEncoding::decodeToUtf8) before it is scanned. Every piece
        // ends after an LF byte, which is an LF and part of nothing else in
        // every code page, so the pieces decode as the whole would. Whether
        // the bytes read as UTF-8 after all (Utf8Tally::readsAsUtf8) is told
        // on the way: mostly from bounds on the tally, taken in one pass
        // (simd::Kernels::utf8TallyBounds), a piece they do not settle
        // tallied in full (Verdict::ReadsAsUtf8, Verdict::Unsure).
        CodePage,
    };

    // The reader, read from where it stands, the target and the code page
    // (for Mode::CodePage) must outlive this object.
    ScanAhead(InputReader& reader, const TargetFormat& target, Mode mode,
              const TAnsiEncoding* codePage = nullptr);
    // Stops the other thread and waits for it.
    ~ScanAhead();
    ScanAhead(const ScanAhead&) = delete;
    ScanAhead& operator=(const ScanAhead&) = delete;

    // The next scanned piece, valid until the next call; nullptr at the end,
    // and as soon as the input turns out not to be for this path (see
    // verdict). An error of either thread's reading is thrown here.
    const ScannedPiece* next();

    enum class Verdict {
        Utf8,    // all of it scanned
        NotUtf8, // Strict: ill-formed UTF-8
        Utf16,   // a UTF-16 byte-order mark in front
        // CodePage: all of it scanned, but at its end the tally found the
        // bytes mostly well-formed UTF-8 (Utf8Tally::readsAsUtf8).
        ReadsAsUtf8,
        // CodePage: all of it scanned, but the bounds did not tell whether
        // the bytes read as UTF-8: the caller tallies them whole.
        Unsure,
    };
    // Once next() has given nullptr.
    Verdict verdict() const;
    // Once next() has given nullptr: the channel count of all the lines.
    int channels() const;

private:
    struct Slot {
        // Read and scanned, waiting for the pieces before it to be resolved;
        // reading and scanning are done without the lock.
        bool scanDone = false;
        PieceBuffer bytes;
        QByteArray repaired; // or decoded from the code page
        bool wellFormed = true;
        // CodePage: bounds on the tally of the piece's bytes, or with
        // `exact` the tally itself.
        qint64 multiByteAtMost = 0;
        qint64 illFormedAtLeast = 0;
        bool exact = false;
        ScannedPiece scanned;
        std::vector<quint64> marks; // the scan's room
    };
    static constexpr int kSlots = 4;

    Slot& slot(int piece) { return m_slots[piece % kSlots]; }
    // Under the lock held by `lock`: reads the next piece and scans it, the
    // lock released meanwhile; false when no piece can be read now.
    bool work(std::unique_lock<std::mutex>& lock);
    // Checks (or repairs) and scans a piece just read.
    void scanPiece(int index, Slot& slot, QByteArrayView bytes, bool mayHoldNul);
    // Under the lock: resolves the scanned pieces next in order.
    void resolve();
    // Under the lock, once every piece is resolved: the verdict on input in
    // a code page.
    Verdict codePageVerdict() const;
    void help(); // the other thread's whole work

    InputReader& m_reader;
    const Mode m_mode;
    const TAnsiEncoding* const m_codePage;
    ByteScanner m_scanner; // resolves under the lock, scans without

    mutable ReadAhead m_sync;
    std::optional<HugePageBlock> m_storage; // the slots' memory, on one huge page
    std::array<Slot, kSlots> m_slots;
    int m_read = 0;          // pieces read, in all
    bool m_reading = false;  // a thread reads the next one
    bool m_inputEnd = false; // every piece is read
    int m_resolved = 0;      // pieces resolved, in all
    int m_taken = 0;         // pieces the caller has taken, in all
    bool m_held = false;     // the caller still holds piece m_taken - 1
    int m_bad = -1;          // the first piece that is not well-formed UTF-8
    Verdict m_verdict = Verdict::Utf8;
    // CodePage: the bounds on the tally of the pieces resolved, and whether
    // they are the tally itself.
    qint64 m_multiByteAtMost = 0;
    qint64 m_illFormedAtLeast = 0;
    bool m_exact = true;

    std::thread m_thread; // started once everything above is set up
};

} // namespace dorvane
