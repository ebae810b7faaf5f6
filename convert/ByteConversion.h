#pragma once

#include "convert/ByteLineSink.h"
#include "convert/SourceName.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace dorvane {

class TargetFormat;

// True when the bytes are wholly well-formed UTF-8 (RFC 3629, as
// decodeUtf8Strict takes it).
bool isWellFormedUtf8(QByteArrayView bytes);

// The classification's rules on one UTF-8 line, as Conversion.h and
// Playlist.h state them for a UTF-16 line.
bool isNameLine(QByteArrayView line);
bool isStreamLine(QByteArrayView line);
QByteArrayView channelNameOf(QByteArrayView nameLine);

// The conversion of UTF-8 input without UTF-16 in between: the lines a
// TStringList would make of the decoded text, classified and counted as
// Conversion and ChannelCounter do, the target's lines written as bytes.
// Every rule the line list and the classification apply is about ASCII
// characters (CR, LF, U+0000, '#', ',', '"', ':', '/', the markers), whose
// bytes in UTF-8 stand for themselves and are part of nothing else, so
// applying them to the bytes gives the same lines, the same names and the
// same output as decoding, converting and encoding again.
//
// It comes in two halves that may run on two threads: ByteScanner finds the
// lines and what they are, and lists the output's entries in a ScannedPiece;
// ByteWriter writes them. ByteConversion runs the two one after the other.

// What the scan of one piece leaves for the writer: the entries as views of
// the piece's bytes, which must stay as they are until it is written.
struct ScannedPiece {
    struct Entry {
        // The M3U targets write every line as it is: there `channel` is empty.
        QByteArrayView channel;
        QByteArrayView line;
    };
    std::vector<Entry> entries;
    // A name from an earlier piece, still waiting for its address when this
    // one began; entries view it here.
    QByteArray carriedName;

    void clear() {
        entries.clear();
        carriedName.resize(0);
    }
};

class ByteScanner {
public:
    explicit ByteScanner(const TargetFormat& target);

    // Scans the next piece of the text, its preamble removed, into `scanned`
    // (cleared first). Every piece but the last must end just after an LF
    // byte, so that no line and no UTF-8 sequence is cut, and must be
    // well-formed UTF-8 (isWellFormedUtf8).
    void scan(QByteArrayView piece, ScannedPiece& scanned);

    // The channel count (channelCount of the lines) so far.
    int channels() const { return m_channels; }

private:
    void addLine(const char* begin, const char* end, bool name, bool extinf, bool stream,
                 ScannedPiece& scanned);

    const bool m_converts;
    QByteArrayView m_channel; // the current channel name, in this piece or m_carried
    QByteArray m_carried;     // m_channel, kept past the end of its piece
    int m_channels = 0;
    bool m_pending = false; // a name line waits for its address (the count)
    bool m_textEnded = false;
};

class ByteWriter {
public:
    // `out` gets the output after what it holds already (the preamble), in
    // `encoding` (UTF-8 or an ANSI code page), lines ended as the target
    // ends them; `expectedSize` is a guess of the output's size. Writes the
    // target's header, which `source` may name.
    ByteWriter(const TargetFormat& target, QByteArray& out, qsizetype expectedSize,
               const TEncoding& encoding = TEncoding::UTF8(), const SourceName& source = {});

    void write(const ScannedPiece& scanned);
    // After the last piece: writes the footer and cuts `out` to size.
    void finish();

    // The entries written, for the converting targets.
    int count() const { return m_count; }

private:
    const TargetFormat& m_target;
    const bool m_converts;
    ByteLineSink m_sink;
    int m_count = 0;
};

// Both halves on one thread.
class ByteConversion {
public:
    ByteConversion(const TargetFormat& target, QByteArray& out, qsizetype expectedSize,
                   const TEncoding& encoding = TEncoding::UTF8(), const SourceName& source = {});

    // Adds the next piece of the text, its preamble removed. Every piece but
    // the last must end just after an LF byte. False when the piece is not
    // well-formed UTF-8: the input must then be read another way, and this
    // conversion is void.
    bool addPiece(QByteArrayView piece);
    // The same for a piece known to be well-formed UTF-8.
    void addWellFormedPiece(QByteArrayView piece);

    // After the last piece: writes the footer and cuts `out` to size.
    void finish() { m_writer.finish(); }

    // The channel count (channelCount of the lines).
    int channels() const { return m_scanner.channels(); }
    // The entries written; the M3U targets write the playlist itself, and
    // there an entry is a channel.
    int entries() const;

private:
    const bool m_converts;
    ByteScanner m_scanner;
    ByteWriter m_writer;
    ScannedPiece m_scanned;
};

} // namespace dorvane
