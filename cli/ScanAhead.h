#pragma once

#include "cli/ReadAhead.h"
#include "convert/ByteConversion.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <thread>

namespace dorvane {

class TargetFormat;

// Reads a UTF-8 playlist file in pieces on a thread of its own, checks each
// piece's form and scans it (ByteScanner), a few pieces ahead of the caller,
// who writes them (runConversion over a ScannedPieceSource). Reading,
// checking and scanning take about as long as writing, so on two cores the
// whole takes little more than half.
//
// Pieces end just after an LF byte, so that no line and no UTF-8 sequence is
// cut; the first has its UTF-8 preamble removed.
class ScanAhead {
public:
    // `fd` is an open regular file, read from where it stands; it and the
    // target must outlive the reader. `fileName` is for error messages.
    ScanAhead(int fd, const QString& fileName, const TargetFormat& target);
    // Stops the reading thread and waits for it.
    ~ScanAhead();
    ScanAhead(const ScanAhead&) = delete;
    ScanAhead& operator=(const ScanAhead&) = delete;

    // The next scanned piece, valid until the next call; nullptr at the end,
    // and as soon as the input turns out not to be for this path (see
    // verdict). An error of the reading thread is thrown here.
    const ScannedPiece* next();

    enum class Verdict {
        Utf8,     // all of it well-formed UTF-8, all of it scanned
        NotUtf8,  // ill-formed UTF-8, or a UTF-16 byte-order mark in front
        TooLarge, // it grew past the size limit while it was read
    };
    // Once next() has given nullptr.
    Verdict verdict() const;
    // Once next() has given nullptr: the channel count of all the lines.
    int channels() const;

    static constexpr qsizetype kPieceSize = 256 * 1024;

private:
    // A piece's bytes and what the scan found in them. The reading thread
    // fills the slots in turn; the caller holds one at a time.
    struct Slot {
        QByteArray bytes;
        ScannedPiece scanned;
    };
    static constexpr int kSlots = 4;

    void read();
    // Reads the next piece into `bytes`, its size into `size` (0 at the end
    // of the file); TooLarge when the file has grown past the limit.
    Verdict readPiece(QByteArray& bytes, qsizetype& size);

    const int m_fd;
    const QString m_fileName;
    ByteScanner m_scanner;
    QByteArray m_tail; // the start of a line, read but not yet in a piece
    qsizetype m_total = 0;

    mutable ReadAhead m_sync;
    std::array<Slot, kSlots> m_slots;
    int m_filled = 0;    // slots filled by the reading thread, in all
    int m_taken = 0;     // slots the caller has taken, in all
    bool m_held = false; // the caller still holds slot m_taken - 1
    Verdict m_verdict = Verdict::Utf8;
    int m_channels = 0;

    std::thread m_thread; // last: starts once everything above is set up
};

} // namespace dorvane
