#include "convert/ByteLineSink.h"

#include "convert/LineSink.h"
#include "playlist/AnsiCodePage.h"

#include <algorithm>
#include <stdexcept>

namespace dorvane {

ByteLineSink::ByteLineSink(QByteArray& out, qsizetype expectedSize, const TEncoding& encoding,
                           LineEnd lineEnd)
    : m_out(out), m_ansi(dynamic_cast<const TAnsiEncoding*>(&encoding)),
      m_crlf(lineEnd == LineEnd::CrLf), m_start(out.size()), m_used(out.size()) {
    m_ansiKeepsAscii = m_ansi && m_ansi->keepsAscii();
    // Pages of the guess that are never written are never touched either.
    m_out.resize(m_used + std::max<qsizetype>(expectedSize, 4096));
    remember();
}

char* ByteLineSink::appendWide(char* out, const BytePiece& piece) {
    const auto* text = static_cast<const char16_t*>(piece.data());
    const qsizetype size = piece.size();
    for (qsizetype k = 0; k < size; ++k) {
        if (text[k] >= 0x80) {
            const QByteArray rest = TEncoding::UTF8().GetBytes(QStringView(text + k, size - k));
            std::memcpy(out, rest.constData(), static_cast<size_t>(rest.size()));
            return out + rest.size();
        }
        *out++ = static_cast<char>(text[k]);
    }
    return out;
}

void ByteLineSink::addAnsiLine(std::initializer_list<BytePiece> pieces) {
    // A code page takes at most two bytes for a UTF-8 byte or a UTF-16 unit.
    qsizetype most = 2;
    for (const BytePiece& piece : pieces)
        most += piece.size() * 2;
    if (m_room - m_used < most)
        grow(most);
    char* out = m_base + m_used;
    for (const BytePiece& piece : pieces) {
        if (piece.wide()) {
            QByteArray bytes;
            m_replaced += m_ansi->appendBytesCounting(
                QStringView(static_cast<const char16_t*>(piece.data()), piece.size()), bytes);
            std::memcpy(out, bytes.constData(), static_cast<size_t>(bytes.size()));
            out += bytes.size();
        } else if (piece.isAscii() && m_ansiKeepsAscii) { // template text, numbers: ASCII
            out = appendBytes(out, piece);
        } else {
            const auto* bytes = static_cast<const char*>(piece.data());
            out = m_ansi->encodeUtf8(bytes, bytes + piece.size(), out, m_replaced);
        }
    }
    m_used = endLine(out) - m_base;
}

void ByteLineSink::grow(qsizetype more) {
    if (!m_drain) {
        m_out.resize(std::max(m_out.size() * 2, m_used + more));
        remember();
        return;
    }
    if (m_used > 0) {
        m_drain(QByteArrayView(m_base, m_used));
        m_drained = true;
        m_used = m_start = 0;
    }
    if (m_chunk && more <= m_chunk->size()) {
        m_base = m_chunk->data();
        m_room = m_chunk->size();
        return;
    }
    if (m_out.size() < more)
        m_out.resize(more); // a line longer than the chunk
    remember();
}

void ByteLineSink::drainEvery(qsizetype chunk, std::function<void(QByteArrayView)> drain) {
    m_drain = std::move(drain);
    if (m_used > chunk) {
        m_out.resize(m_used); // drained with the next line
        remember();
        return;
    }
    // The preamble moves into the chunk; `out` gets the bytes back in
    // finish() if none were drained.
    m_chunk.emplace(chunk);
    std::memcpy(m_chunk->data(), m_out.constData(), static_cast<size_t>(m_used));
    m_base = m_chunk->data();
    m_room = m_chunk->size();
}

void ByteLineSink::finish() {
    if (m_drained) {
        if (m_used > 0)
            m_drain(QByteArrayView(m_base, m_used));
        m_used = m_start = 0;
    }
    const bool inChunk = m_base != m_out.constData(); // nothing was drained
    m_out.resize(m_used);
    if (inChunk)
        std::memcpy(m_out.data(), m_base, static_cast<size_t>(m_used));
    remember();
}

void ByteLineSink::replaceLine(int index, std::initializer_list<BytePiece> pieces) {
    if (m_drain)
        throw std::logic_error("ByteLineSink::replaceLine: the line may have been drained");
    const auto [begin, end] = findEncodedLine(m_out.constData(), m_start, m_used, index);

    // Build the new line at the end, then move it into place.
    const qsizetype tail = m_used;
    addLine(pieces);
    const QByteArray line(m_out.constData() + tail, m_used - tail - (m_crlf ? 2 : 1));
    m_used = tail;
    const qsizetype spare = m_out.size() - m_used;
    m_out.resize(m_used);
    m_out.replace(begin, end - begin, line);
    m_used = m_out.size();
    m_out.resize(m_used + spare);
    remember();
}

} // namespace dorvane
