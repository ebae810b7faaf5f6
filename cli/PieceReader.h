#pragma once

#include "cli/ReadAhead.h"
#include "playlist/StringList.h"

#include <QByteArrayView>

#include <deque>
#include <thread>

namespace dorvane {

class TEncoding;

// Reads the lines of a playlist's bytes in pieces, on a thread of its own, a
// few pieces ahead of the caller who converts them: decoding and splitting
// take about as long as converting, and a big playlist's text never exists
// whole.
//
// Every piece ends just after an LF byte. In UTF-8 and in every ANSI code page
// an LF byte is an LF and part of nothing else, so the pieces decode and split
// exactly as the whole would (TStringList::setText: a line ends at CR, LF or
// CR LF, the text at its first U+0000).
class PieceReader {
public:
    // `bytes` must outlive the reader. With UTF-8 the bytes must be wholly
    // well-formed (see wellFormed); a code page reads any bytes.
    PieceReader(QByteArrayView bytes, const TEncoding& encoding);
    // Stops the reading thread and waits for it.
    ~PieceReader();
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    // Replaces `lines` by those of the next piece. False at the end of the
    // text, or as soon as the bytes turn out not to be well-formed. An error
    // of the reading thread is thrown here.
    bool next(TStringList& lines);

    // Once next() has given false: whether the bytes were all well-formed,
    // and the channel count (channelCount) of all the lines.
    bool wellFormed() const;
    int channelCount() const;

    static constexpr qsizetype kPieceSize = 512 * 1024;
    static constexpr size_t kPiecesAhead = 4;

private:
    void read();

    const QByteArrayView m_bytes;
    const TEncoding& m_encoding;

    mutable ReadAhead m_sync;
    std::deque<TStringList> m_ready;
    bool m_wellFormed = true;
    int m_channels = 0;

    std::thread m_thread; // last: starts once everything above is set up
};

} // namespace dorvane
