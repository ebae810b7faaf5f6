#pragma once

#include "cli/ReadAhead.h"
#include "playlist/StringList.h"

#include <deque>
#include <thread>

namespace dorvane {

class InputReader;
class TEncoding;

// Decodes the pieces of input in an ANSI code page (InputReader) and splits
// them into lines, on a thread of its own, a few pieces ahead of the caller
// who converts them: decoding and splitting take about as long as
// converting, and a big playlist's text never exists whole.
//
// Every piece ends just after an LF byte, and in every ANSI code page an LF
// byte is an LF and part of nothing else, so the pieces decode and split
// exactly as the whole would (TStringList::setText: a line ends at CR, LF or
// CR LF, the text at its first U+0000). A UTF-8 preamble in front is skipped,
// as decodeFileBytes skips it.
class PieceReader {
public:
    // The reader, read from where it stands, and the encoding must outlive
    // this object.
    PieceReader(InputReader& reader, const TEncoding& codePage);
    // Stops the reading thread and waits for it.
    ~PieceReader();
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    // Replaces `lines` by those of the next piece; false at the end of the
    // text. An error of the reading thread is thrown here.
    bool next(TStringList& lines);

    // Once next() has given false: the channel count (channelCount) of all
    // the lines.
    int channelCount() const;

    static constexpr size_t kPiecesAhead = 4;

private:
    void read();

    InputReader& m_reader;
    const TEncoding& m_encoding;

    mutable ReadAhead m_sync;
    std::deque<TStringList> m_ready;
    int m_channels = 0;

    std::thread m_thread; // last: starts once everything above is set up
};

} // namespace dorvane
