#pragma once

#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <cstring>
#include <functional>
#include <initializer_list>

namespace dorvane {

class TAnsiEncoding;

// One piece of an output line for ByteLineSink: either UTF-8 bytes (names and
// addresses, sliced from the input) or UTF-16 text (the formats' templates and
// numbers), which the sink encodes as it copies. The formats write their lines
// once, for both sinks; only the piece type differs.
class BytePiece {
public:
    BytePiece(QByteArrayView bytes) : m_data(bytes.data()), m_size(bytes.size()) {}
    BytePiece(QStringView text) : m_data(text.utf16()), m_size(text.size()), m_kind(Kind::Wide) {}
    // Template text: short literals are turned into bytes here, where the
    // compiler sees their characters and does it while compiling (the loop
    // unrolled, each test and byte is a constant). The length is the
    // array's: QStringView would search for the end at run time.
    template <qsizetype N>
    BytePiece(const char16_t (&text)[N]) : m_data(text), m_size(N - 1), m_kind(Kind::Wide) {
        if constexpr (N - 1 <= kInline) {
#if defined(__GNUC__)
#pragma GCC unroll 64
#endif
            for (qsizetype k = 0; k < N - 1; ++k) {
                if (text[k] >= 0x80)
                    return; // stays wide
                m_inline[k] = static_cast<char>(text[k]);
            }
            m_kind = Kind::Inline;
        }
    }
    BytePiece(const DecimalText& number) : m_size(number.view().size()), m_kind(Kind::Inline) {
        const QStringView digits = number.view();
        for (qsizetype k = 0; k < digits.size(); ++k)
            m_inline[k] = static_cast<char>(digits[k].unicode());
    }
    BytePiece(const BytePiece&) = delete;
    BytePiece& operator=(const BytePiece&) = delete;

    // UTF-8 bytes, or (when wide()) UTF-16 code units.
    const void* data() const {
        return m_kind == Kind::Inline ? m_inline : m_data;
    }
    qsizetype size() const {
        return m_size;
    }
    bool isInline() const {
        return m_kind == Kind::Inline;
    }
    bool wide() const {
        return m_kind == Kind::Wide;
    }

private:
    static constexpr qsizetype kInline = 40;
    enum class Kind : char { Bytes, Wide, Inline };

    const void* m_data = nullptr;
    qsizetype m_size;
    Kind m_kind = Kind::Bytes;
    char m_inline[kInline];
};

// Builds the output's bytes from UTF-8 pieces directly, the line end after
// each line: what EncodingSink makes of the same lines, for input that is UTF-8
// already. In UTF-8 the pieces are copied; in an ANSI code page they are
// encoded as they are copied. Bytes already in `out` (a preamble) stay in
// front. Call finish() before reading `out`.
class ByteLineSink {
public:
    // `expectedSize` is a guess of the final size, to grow the buffer less often.
    ByteLineSink(QByteArray& out, qsizetype expectedSize,
                 const TEncoding& encoding = TEncoding::UTF8(), LineEnd lineEnd = LineEnd::CrLf);

    void addLine(std::initializer_list<BytePiece> pieces) {
        if (m_ansi) {
            addAnsiLine(pieces);
            return;
        }
        qsizetype most = 2;
        for (const BytePiece& piece : pieces)
            most += piece.wide() ? piece.size() * 3 : piece.size();
        if (m_out.size() - m_used < most)
            grow(most);
        char* out = m_out.data() + m_used;
        for (const BytePiece& piece : pieces)
            out = piece.wide() ? appendWide(out, piece) : appendBytes(out, piece);
        m_used = endLine(out) - m_out.constData();
    }

    // As LineSink::replaceLine: index counts from the first line this sink
    // was given. EStringListError when there is no such line; std::logic_error
    // once lines have been drained.
    void replaceLine(int index, std::initializer_list<BytePiece> pieces);

    // From now on `out` holds about `chunk` bytes at most: whenever the next
    // line would not fit, the bytes so far (the preamble first) go to `drain`
    // and `out` starts again. So the output is written while it is made, from
    // memory that stays in the cache. Not for a target whose footer fills in
    // a header line (TargetFormat::fillsInHeader).
    void drainEvery(qsizetype chunk, std::function<void(QByteArrayView)> drain);

    // Cuts `out` to the bytes written; once any were drained, drains the
    // last of them and leaves `out` empty.
    void finish();
    // Whether bytes went to the drain: those in `out` are then not all.
    bool drained() const { return m_drained; }

    // The characters the code page had no bytes for, written as substitutes
    // (TEncoding::appendBytesCounting); always 0 in UTF-8.
    qsizetype replaced() const { return m_replaced; }

private:
    char* endLine(char* out) const {
        if (m_crlf)
            *out++ = '\r';
        *out++ = '\n';
        return out;
    }
    static char* appendBytes(char* out, const BytePiece& piece) {
        std::memcpy(out, piece.data(), static_cast<size_t>(piece.size()));
        return out + piece.size();
    }
    // Template text is ASCII: byte by byte, with a general encoder behind.
    static char* appendWide(char* out, const BytePiece& piece);
    void addAnsiLine(std::initializer_list<BytePiece> pieces);
    void grow(qsizetype more);

    QByteArray& m_out;
    const TAnsiEncoding* m_ansi; // null for UTF-8
    bool m_ansiKeepsAscii = false;
    bool m_crlf;
    qsizetype m_start;
    qsizetype m_used;
    qsizetype m_replaced = 0;
    std::function<void(QByteArrayView)> m_drain;
    bool m_drained = false;
};

} // namespace dorvane
