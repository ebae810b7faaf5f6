#pragma once

#include "playlist/Encoding.h"
#include "playlist/LineRules.h"
#include "playlist/Playlist.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <memory>
#include <vector>

namespace dorvane {

class TargetFormat;

// The conversion of UTF-8 input without UTF-16 in between: the lines a
// TStringList would make of the decoded text, classified and counted by the
// same rules as Conversion and ChannelCounter (playlist/LineRules.h), each
// applied to the bytes. Every rule is about ASCII characters (CR, LF,
// U+0000, '#', ',', '"', ':', '/', the markers), whose bytes in UTF-8 stand
// for themselves and are part of nothing else, so applying them to the bytes
// gives the same lines, the same names and the same output as decoding,
// converting and encoding again.
//
// ByteScanner finds the lines and what they are, and lists the output's
// entries in a ScannedPiece; runConversion writes them (into a ByteLineSink),
// through Utf8Source on one thread or ScannedPieceSource behind a reader
// that scans pieces on two (ScanAhead).

// What the scan of one piece leaves for the writer: the entries as views of
// the piece's bytes, which must stay as they are until it is written.
struct ScannedPiece {
    struct Entry {
        // The M3U targets write every line as it is: there `channel` is empty.
        QByteArrayView channel;
        QByteArrayView line;
        // The channel's name line and the lines after it up to `line`, for
        // a target that wantsAttributes().
        QByteArrayView block;
    };
    // A list that only grows and empties: its append, once per entry, is
    // inline (a std::vector's was not, and cost a tenth of the scan).
    class EntryList {
    public:
        void clear() { m_size = 0; }
        void append(QByteArrayView channel, QByteArrayView line, QByteArrayView block = {}) {
            if (m_size == m_capacity)
                grow();
            m_data[m_size++] = {channel, line, block};
        }
        void setChannel(size_t index, QByteArrayView channel) { m_data[index].channel = channel; }
        void setBlock(size_t index, QByteArrayView block) { m_data[index].block = block; }
        const Entry* begin() const { return m_data.get(); }
        const Entry* end() const { return m_data.get() + m_size; }
        size_t size() const { return m_size; }

    private:
        void grow();

        std::unique_ptr<Entry[]> m_data;
        size_t m_size = 0;
        size_t m_capacity = 0;
    };
    EntryList entries;
    // The entries from here on are the piece's (ByteScanner::resolve); those
    // before are the `leading` ones, left out.
    size_t first = 0;
    // A name from an earlier piece, still waiting for its address when this
    // one began; entries view it here.
    QByteArray carriedName;
    // The blocks of those entries, for a target that wantsAttributes(): the
    // name's block carried, then the piece's lines before the address.
    std::vector<QByteArray> carriedBlocks;
    // The block of the piece's last name line to the piece's end; the whole
    // piece when it has no name line (wantsAttributes() only).
    QByteArrayView lastBlock;

    // What the piece's lines give whatever came before them (scanPiece),
    // for resolve to apply once that is known:
    // - `leading` entries at the front are the stream lines before the
    //   piece's first name line, whose channel is the name the piece began
    //   with: entries only if that name is not empty;
    size_t leading = 0;
    // - the name of the piece's last name line, which the next piece begins
    //   with, when it has one;
    bool namesChannel = false;
    QByteArrayView lastName;
    // - a 00 byte, which ends the text: nothing after it counts;
    bool endsText = false;
    // - the channel count of its lines, and whether a name line still waits
    //   for its address after them, for either start: [0] with no name line
    //   waiting, [1] with one (ChannelCounter).
    int channels[2] = {0, 0};
    bool waitingAfter[2] = {false, false};

    void clear() {
        entries.clear();
        first = 0;
        carriedName.resize(0);
        lastBlock = {};
        leading = 0;
        namesChannel = false;
        lastName = {};
        endsText = false;
        channels[0] = channels[1] = 0;
        waitingAfter[0] = waitingAfter[1] = false;
    }

    // The entries runConversion writes.
    int entryCount() const { return static_cast<int>(entries.size() - first); }

    // Gives each entry to runConversion's write.
    template <typename Write> void writeTo(Write& write) const {
        for (const Entry* entry = entries.begin() + first; entry != entries.end(); ++entry)
            write(entry->channel, entry->line, entry->block);
    }
};

class ByteScanner {
public:
    explicit ByteScanner(const TargetFormat& target);

    // Scans the next piece of the text, its preamble removed, into `scanned`
    // (cleared first): scanPiece, then resolve. Every piece but the last must
    // end just after an LF byte, so that no line and no UTF-8 sequence is
    // cut. Bytes that are not well-formed UTF-8 (isWellFormedUtf8) are
    // scanned to no harm, but their entries are not to be written. A reader
    // that already knows the piece holds no 00 byte says so (`mayHoldNul`
    // false), which spares the search for one.
    void scan(QByteArrayView piece, ScannedPiece& scanned, bool mayHoldNul = true);

    // The two halves of scan, so that pieces can be scanned on several
    // threads at once and resolved in their order after: scanPiece finds
    // what the piece's lines give whatever came before them (it keeps no
    // state; `marks` is room it may use); resolve applies what the pieces
    // before left, in the order of the pieces.
    void scanPiece(QByteArrayView piece, ScannedPiece& scanned, std::vector<quint64>& marks,
                   bool mayHoldNul = true) const;
    void resolve(ScannedPiece& scanned);

    // The channel count (channelCount of the lines) of the pieces resolved.
    int channels() const { return m_channels; }

private:
    struct PieceWalk;

    const bool m_converts;
    const bool m_attributes; // the target wantsAttributes()
    // What the pieces resolved so far leave for the next.
    QByteArray m_channel; // the current channel name
    QByteArray m_block;   // its name line and directive lines (m_attributes)
    bool m_waiting = false;
    int m_channels = 0;
    bool m_textEnded = false;
    std::vector<quint64> m_marks; // scan's room for scanPiece
};

// A source for runConversion: UTF-8 text in memory, its preamble removed, in
// pieces that each end just after an LF (the last one excepted); each is
// checked and scanned while it is still in the cache, then written.
class Utf8Source {
public:
    // The size of the next piece of `rest`; by default lines::pieceEnd's.
    using Cut = std::function<qsizetype(QByteArrayView rest)>;

    Utf8Source(const TargetFormat& target, QByteArrayView text, Cut cut = {});

    template <typename Write> bool next(Write& write) {
        if (!scanNextPiece())
            return false;
        m_scanned.writeTo(write);
        return true;
    }
    int channels() const { return m_scanner.channels(); }
    // False once a piece has proved not to be well-formed UTF-8: the run then
    // ended early and its output is void; the input must be read another way.
    bool wellFormed() const { return m_wellFormed; }

    static constexpr qsizetype kPieceSize = lines::kPieceBytes;

private:
    bool scanNextPiece();

    ByteScanner m_scanner;
    QByteArrayView m_rest;
    Cut m_cut;
    ScannedPiece m_scanned;
    bool m_wellFormed = true;
};

// A source for runConversion over a reader that scans pieces ahead
// (ScanAhead): reader.next() gives the next ScannedPiece, or nullptr at the
// end; reader.channels() the channel count.
template <typename Reader> class ScannedPieceSource {
public:
    explicit ScannedPieceSource(Reader& reader) : m_reader(reader) {}

    template <typename Write> bool next(Write& write) {
        const ScannedPiece* piece = m_reader.next();
        if (!piece)
            return false;
        piece->writeTo(write);
        return true;
    }
    int channels() const { return m_reader.channels(); }

private:
    Reader& m_reader;
};

} // namespace dorvane
