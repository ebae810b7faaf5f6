#pragma once

#include "ByteLineSink.h"

#include <QByteArray>
#include <QByteArrayView>

namespace dorvane {

class TargetFormat;

// True when the bytes are wholly well-formed UTF-8 (RFC 3629, as
// decodeUtf8Strict takes it).
bool isWellFormedUtf8(QByteArrayView bytes);

// The conversion of UTF-8 input without UTF-16 in between:
// the lines a TStringList would make of the decoded text, classified and
// counted as Conversion and ChannelCounter do, the target's lines written as
// bytes. Every rule the line list and the classification apply is about
// ASCII characters (CR, LF, U+0000, '#', ',', '"', ':', '/', the markers),
// whose bytes in UTF-8 stand for themselves and are part of nothing else, so
// applying them to the bytes gives the same lines, the same names and the
// same output as decoding, converting and encoding again.
class ByteConversion {
public:
    // `out` gets the output after what it holds already (the preamble), in
    // `encoding` (UTF-8 or an ANSI code page); `expectedSize` is a guess of
    // the output's size.
    ByteConversion(const TargetFormat& target, QByteArray& out, qsizetype expectedSize,
                   const TEncoding& encoding = TEncoding::UTF8());

    // Adds the next piece of the text, its preamble removed. Every piece but
    // the last must end just after an LF byte, so that no line and no UTF-8
    // sequence is cut. False when the piece is not well-formed UTF-8: the
    // input must then be read another way, and this conversion is void.
    bool addPiece(QByteArrayView piece);
    // The same for a piece known to be well-formed UTF-8.
    void addWellFormedPiece(QByteArrayView piece);

    // After the last piece: writes the footer and cuts `out` to size.
    void finish();

    // The channel count (channelCount of the lines).
    int channels() const { return m_channels; }
    // The entries written; the M3U targets write the playlist itself, and
    // there an entry is a channel.
    int entries() const;

private:
    void addLine(const char* begin, const char* end, bool name, bool extinf, bool stream);

    const TargetFormat& m_target;
    const bool m_converts;
    ByteLineSink m_sink;
    QByteArray m_channel; // the current channel name
    int m_count = 0;      // entries written
    int m_channels = 0;
    bool m_pending = false; // a name line waits for its address (the count)
    bool m_textEnded = false;
};

} // namespace dorvane
