#pragma once

#include "convert/TargetFormat.h"
#include "convert/TargetOptions.h"
#include "playlist/Encoding.h"
#include "playlist/MemoryAdvice.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>

// The sink's per-line work is a few short copies; a call for each costs as
// much as the copy.
#if defined(__GNUC__)
#define DORVANE_INLINE [[gnu::always_inline]] inline
#else
#define DORVANE_INLINE inline
#endif

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
    // The number's bytes, which live as long as the number.
    BytePiece(const DecimalText& number)
        : m_data(number.bytes().data()), m_size(number.bytes().size()), m_kind(Kind::Ascii) {}
    BytePiece(const BytePiece&) = delete;
    BytePiece& operator=(const BytePiece&) = delete;

    // UTF-8 bytes, or (when wide()) UTF-16 code units.
    const void* data() const {
        return m_kind == Kind::Inline ? m_inline : m_data;
    }
    qsizetype size() const {
        return m_size;
    }
    // Template text and numbers: ASCII bytes.
    bool isAscii() const {
        return m_kind == Kind::Inline || m_kind == Kind::Ascii;
    }
    bool wide() const {
        return m_kind == Kind::Wide;
    }

private:
    static constexpr qsizetype kInline = 40;
    enum class Kind : char { Bytes, Ascii, Wide, Inline };

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

    DORVANE_INLINE void addLine(std::initializer_list<BytePiece> pieces) {
        if (m_ansi) {
            addAnsiLine(pieces);
            return;
        }
        qsizetype most = 2;
        for (const BytePiece& piece : pieces)
            most += piece.wide() ? piece.size() * 3 : piece.size();
        if (m_room - m_used < most)
            grow(most);
        char* out = m_base + m_used;
        for (const BytePiece& piece : pieces)
            out = piece.wide() ? appendWide(out, piece) : appendBytes(out, piece);
        m_used = endLine(out) - m_base;
    }

    // As LineSink::replaceLine: index counts from the first line this sink
    // was given. EStringListError when there is no such line; std::logic_error
    // once lines have been drained.
    void replaceLine(int index, std::initializer_list<BytePiece> pieces);

    // From now on the sink holds about `chunk` bytes at most: whenever the
    // next line would not fit, the bytes so far (the preamble first) go to
    // `drain` and the sink starts again. So the output is written while it is
    // made, from memory that stays in the cache: a HugePageBlock of the
    // sink's own, `out` only for a line longer than the chunk. Not for a
    // target whose footer fills in a header line (TargetFormat::fillsInHeader).
    void drainEvery(qsizetype chunk, std::function<void(QByteArrayView)> drain);

    // Cuts `out` to the bytes written; once any were drained, drains the
    // last of them and leaves `out` empty.
    void finish();
    // Whether bytes went to the drain: those in `out` are then not all.
    bool drained() const { return m_drained; }

    // The user's choices for the target's lines (LineSink::options).
    TargetOptions options;
    // What the target's lines left out (LineSink::lost).
    LostAttributes lost;

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
    DORVANE_INLINE static char* appendBytes(char* out, const BytePiece& piece) {
        return copyBytes(out, static_cast<const char*>(piece.data()),
                         static_cast<size_t>(piece.size()));
    }
    // A line's pieces are short (a key, a number, a name, an address): two
    // overlapping moves of a fixed size copy any of them without the call
    // and the size dispatch of memcpy, which took a third of the writing.
    DORVANE_INLINE static char* copyBytes(char* out, const char* from, size_t size) {
        const auto move = [](char* to, const char* p, auto word) {
            std::memcpy(&word, p, sizeof word);
            std::memcpy(to, &word, sizeof word);
        };
        if (size >= 16) {
            if (size > 64) {
                std::memcpy(out, from, size);
            } else {
                struct Block {
                    quint64 a, b;
                };
                for (size_t k = 0; k + 16 < size; k += 16)
                    move(out + k, from + k, Block{});
                move(out + size - 16, from + size - 16, Block{});
            }
        } else if (size >= 8) {
            move(out, from, quint64{});
            move(out + size - 8, from + size - 8, quint64{});
        } else if (size >= 4) {
            move(out, from, quint32{});
            move(out + size - 4, from + size - 4, quint32{});
        } else if (size > 0) {
            out[0] = from[0];
            out[size / 2] = from[size / 2];
            out[size - 1] = from[size - 1];
        }
        return out + size;
    }
    // Template text is ASCII: byte by byte, with a general encoder behind.
    static char* appendWide(char* out, const BytePiece& piece);
    void addAnsiLine(std::initializer_list<BytePiece> pieces);
    void grow(qsizetype more);

    // After every change of `out`'s size: its bytes and size, so that a line
    // need not ask the array (and its sharing) again.
    void remember() {
        m_base = m_out.data();
        m_room = m_out.size();
    }

    QByteArray& m_out;
    // The bytes not yet drained: in m_out, or once drainEvery is called in
    // m_chunk (but for a line longer than it).
    char* m_base = nullptr;
    qsizetype m_room = 0;
    const TAnsiEncoding* m_ansi; // null for UTF-8
    bool m_ansiKeepsAscii = false;
    bool m_crlf;
    qsizetype m_start;
    qsizetype m_used;
    qsizetype m_replaced = 0;
    std::function<void(QByteArrayView)> m_drain;
    std::optional<HugePageBlock> m_chunk;
    bool m_drained = false;
};

} // namespace dorvane
