#include "convert/ByteConversion.h"

#include "convert/Conversion.h"
#include "convert/TargetFormat.h"
#include "simd/Kernels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace dorvane {

namespace {

// The marks of the last block of a piece, shorter than 64 bytes.
quint64 lastBlockMarks(const char* block, const char* end) {
    char padded[64] = {};
    std::memcpy(padded, block, static_cast<size_t>(end - block));
    quint64 marks = 0;
    simd::kernels().lineMarks(padded, 1, &marks);
    return marks;
}

} // namespace

void ScannedPiece::EntryList::grow() {
    const size_t capacity = std::max<size_t>(1024, m_capacity * 2);
    auto data = std::make_unique<Entry[]>(capacity);
    std::copy(begin(), end(), data.get());
    m_data = std::move(data);
    m_capacity = capacity;
}

ByteScanner::ByteScanner(const TargetFormat& target)
    : m_converts(target.converts()), m_attributes(target.wantsAttributes()) {}

namespace {

// Appends to `block` the directive lines of `text` (its first line as well
// when `named`: the name line), each after an LF, as the text conversion
// keeps a block's lines.
void appendBlockLines(QByteArray& block, QByteArrayView text, bool named) {
    lines::forEachLine(text.data(), text.data() + text.size(),
                       [&](const char* from, const char* to) {
                           if (named) {
                               named = false;
                               block.append(QByteArrayView(from, to - from));
                           } else if (lines::isDirective(from, to)) {
                               block.append('\n');
                               block.append(QByteArrayView(from, to - from));
                           }
                       });
}

} // namespace

// One piece's walk through its lines, as Conversion::processLine and
// ChannelCounter take them, with the name the piece began with unknown.
struct ByteScanner::PieceWalk {
    const bool converts;
    const bool attributes;
    ScannedPiece& scanned;
    const char* const pieceStart;
    QByteArrayView channel;           // the current name, once the piece named one
    const char* blockStart = nullptr; // of its name line
    bool named = false;
    ChannelCounter counters[2] = {ChannelCounter(false), ChannelCounter(true)};

    void addLine(const char* begin, const char* end, bool name, bool extinf, bool stream) {
        stream = stream && !lines::isDirective(begin, end);
        const bool keepsWaiting = lines::keepsNameWaiting(begin, end);
        counters[0].addLine(extinf, stream, keepsWaiting);
        counters[1].addLine(extinf, stream, keepsWaiting);
        const QByteArrayView line(begin, end - begin);
        if (!converts) {
            scanned.entries.append({}, line);
        } else if (name) {
            channel = QByteArrayView(lines::channelNameStart(begin, end), end);
            blockStart = begin;
            named = true;
        } else if (stream) {
            if (!named) {
                // The name the piece began with, if any; the lines before
                // are the end of its block.
                scanned.entries.append(
                    {}, line, attributes ? QByteArrayView(pieceStart, begin) : QByteArrayView());
                ++scanned.leading;
            } else if (!channel.isEmpty()) {
                scanned.entries.append(channel, line,
                                       attributes ? QByteArrayView(blockStart, begin)
                                                  : QByteArrayView());
            }
        }
    }
};

void ByteScanner::scan(QByteArrayView piece, ScannedPiece& scanned, bool mayHoldNul) {
    scanPiece(piece, scanned, m_marks, mayHoldNul);
    resolve(scanned);
}

void ByteScanner::scanPiece(QByteArrayView piece, ScannedPiece& scanned,
                            std::vector<quint64>& marks, bool mayHoldNul) const {
    scanned.clear();
    const char* const text = piece.data();
    const char* const end =
        mayHoldNul ? lines::find(text, text + piece.size(), '\0') : text + piece.size();
    scanned.endsText = end != text + piece.size();

    // One pass over the bytes marks where something may happen: a line end
    // (CR, LF), an 'E' (of "EXTINF") or a ':' (of "://"); the lines are then
    // walked from mark to mark. A search per line and per marker costs more
    // than the whole conversion on the short lines of a playlist.
    PieceWalk walk{m_converts, m_attributes, scanned, text, {}};
    const char* lineStart = text;
    bool extinf = false;
    bool name = false;
    bool stream = false;
    const auto blocks = static_cast<size_t>(end - text) / 64; // whole ones
    if (marks.size() < blocks)
        marks.resize(blocks);
    simd::kernels().lineMarks(text, blocks, marks.data());
    for (const char* block = text; block < end; block += 64) {
        const auto index = static_cast<size_t>(block - text) / 64;
        quint64 blockMarks = index < blocks ? marks[index] : lastBlockMarks(block, end);
        while (blockMarks) {
            const char* at = block + __builtin_ctzll(blockMarks);
            blockMarks &= blockMarks - 1;
            const char c = *at;
            if (c == '\r' || c == '\n') {
                if (at < lineStart)
                    continue; // the LF of a CR LF
                walk.addLine(lineStart, at, name, extinf, stream);
                lineStart = lines::afterLineEnd(at, end);
                extinf = name = stream = false;
            } else if (c == 'E') {
                // "EXTINF" holds no line end, so a match lies within the line.
                if (!name && end - at >= 6 && lines::equalsAscii(at, "EXTINF")) {
                    extinf = true;
                    name = at > lineStart && at[-1] == '#';
                }
            } else if (!stream && lines::slashesFollow(at, end)) {
                stream = lines::endsWithScheme(lineStart, at);
            }
        }
    }
    if (lineStart < end)
        walk.addLine(lineStart, end, name, extinf, stream);

    scanned.namesChannel = walk.named;
    scanned.lastName = walk.channel;
    if (m_attributes)
        scanned.lastBlock =
            walk.named ? QByteArrayView(walk.blockStart, end) : QByteArrayView(text, end);
    for (int waiting : {0, 1}) {
        scanned.channels[waiting] = walk.counters[waiting].count();
        scanned.waitingAfter[waiting] = walk.counters[waiting].waiting();
    }
}

void ByteScanner::resolve(ScannedPiece& scanned) {
    if (m_textEnded) { // after a 00 byte nothing counts
        scanned.first = scanned.entries.size();
        return;
    }
    if (scanned.leading > 0) {
        if (m_channel.isEmpty()) {
            scanned.first = scanned.leading;
        } else {
            // The name's line was in an earlier piece, whose bytes may be
            // gone by the time this piece's entries are written.
            scanned.carriedName = m_channel;
            if (m_attributes && scanned.carriedBlocks.size() < scanned.leading)
                scanned.carriedBlocks.resize(scanned.leading);
            for (size_t k = 0; k < scanned.leading; ++k) {
                scanned.entries.setChannel(k, scanned.carriedName);
                if (m_attributes) {
                    QByteArray& block = scanned.carriedBlocks[k];
                    block = m_block;
                    appendBlockLines(block, scanned.entries.begin()[k].block, false);
                    scanned.entries.setBlock(k, block);
                }
            }
        }
    }
    if (m_attributes) {
        if (scanned.namesChannel) {
            m_block.resize(0);
            appendBlockLines(m_block, scanned.lastBlock, true);
        } else if (!m_channel.isEmpty()) {
            appendBlockLines(m_block, scanned.lastBlock, false);
        }
    }
    m_channels += scanned.channels[m_waiting];
    m_waiting = scanned.waitingAfter[m_waiting];
    if (scanned.namesChannel)
        m_channel = scanned.lastName.toByteArray();
    m_textEnded = scanned.endsText;
}

Utf8Source::Utf8Source(const TargetFormat& target, QByteArrayView text, Cut cut)
    : m_scanner(target), m_rest(text), m_cut(std::move(cut)) {}

bool Utf8Source::scanNextPiece() {
    if (m_rest.isEmpty() || !m_wellFormed)
        return false;
    qsizetype size = m_rest.size();
    if (m_cut) {
        size = std::clamp<qsizetype>(m_cut(m_rest), 1, m_rest.size()); // always on
    } else {
        size = lines::pieceEnd(m_rest.data(), m_rest.data() + m_rest.size()) - m_rest.data();
    }
    const QByteArrayView piece = m_rest.first(size);
    m_rest = m_rest.sliced(size);
    if (!isWellFormedUtf8(piece)) {
        m_wellFormed = false;
        return false;
    }
    m_scanner.scan(piece, m_scanned);
    return true;
}

} // namespace dorvane
