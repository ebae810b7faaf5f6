#include "ByteLineSink.h"

#include "Encoding.h"
#include "Errors.h"

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
    // Lines hold no CR or LF, and no other UTF-8 sequence contains 0D or 0A,
    // so the line is found by counting line breaks; this happens once per run,
    // near the start of the output.
    const char* bytes = m_out.constData();
    const qsizetype size = m_used;
    qsizetype begin = m_start;
    for (int k = 0; k < index && begin < size; ++k) {
        const void* lf = std::memchr(bytes + begin, '\n', static_cast<size_t>(size - begin));
        begin = lf ? static_cast<const char*>(lf) - bytes + 1 : size;
    }
    if (index < 0 || begin >= size)
        throw EStringListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    const void* lf = std::memchr(bytes + begin, '\n', static_cast<size_t>(size - begin));
    const qsizetype end = static_cast<const char*>(lf) - bytes - 1; // at the CR

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
