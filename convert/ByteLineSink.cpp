#include "ByteLineSink.h"

#include "Encoding.h"
#include "LineSink.h"

#include <algorithm>

namespace dorvane {

ByteLineSink::ByteLineSink(QByteArray& out, qsizetype expectedSize)
    : m_out(out), m_start(out.size()), m_used(out.size()) {
    // Pages of the guess that are never written are never touched either.
    m_out.resize(m_used + std::max<qsizetype>(expectedSize, 4096));
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

void ByteLineSink::grow(qsizetype more) {
    m_out.resize(std::max(m_out.size() * 2, m_used + more));
}

void ByteLineSink::finish() {
    m_out.resize(m_used);
}

void ByteLineSink::replaceLine(int index, std::initializer_list<BytePiece> pieces) {
    const auto [begin, end] = findEncodedLine(m_out.constData(), m_start, m_used, index);

    // Build the new line at the end, then move it into place.
    const qsizetype tail = m_used;
    addLine(pieces);
    const QByteArray line(m_out.constData() + tail, m_used - tail - 2);
    m_used = tail;
    const qsizetype spare = m_out.size() - m_used;
    m_out.resize(m_used);
    m_out.replace(begin, end - begin, line);
    m_used = m_out.size();
    m_out.resize(m_used + spare);
}

} // namespace dorvane
