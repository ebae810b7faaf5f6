#include "convert/LineSink.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/StringList.h"

#include <cstring>

namespace dorvane {

void StringListSink::addLine(std::initializer_list<QStringView> pieces) {
    m_list.Add(pieces);
}

void StringListSink::replaceLine(int index, std::initializer_list<QStringView> pieces) {
    m_list.setStrings(index, pieces);
}

namespace {

// Big enough that calls into the encoding are rare, small enough to stay in
// the cache.
constexpr qsizetype kBatchSize = 16 * 1024;

} // namespace

EncodedLine findEncodedLine(const char* bytes, qsizetype start, qsizetype size, int index) {
    qsizetype begin = start;
    for (int k = 0; k < index && begin < size; ++k) {
        const void* lf = std::memchr(bytes + begin, '\n', static_cast<size_t>(size - begin));
        begin = lf ? static_cast<const char*>(lf) - bytes + 1 : size;
    }
    if (index < 0 || begin >= size)
        throw EStringListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    const void* lf = std::memchr(bytes + begin, '\n', static_cast<size_t>(size - begin));
    qsizetype end = static_cast<const char*>(lf) - bytes;
    if (end > begin && bytes[end - 1] == '\r') // a line holds no CR of its own
        --end;
    return {begin, end};
}

EncodingSink::EncodingSink(QByteArray& out, const TEncoding& encoding, LineEnd lineEnd)
    : m_out(out), m_encoding(encoding), m_crlf(lineEnd == LineEnd::CrLf), m_start(out.size()) {
    m_text.reserve(kBatchSize + 1024);
}

void EncodingSink::addLine(std::initializer_list<QStringView> pieces) {
    // One resize and plain copies: QString::append per piece costs more than
    // the copying itself.
    qsizetype length = m_crlf ? 2 : 1;
    for (QStringView piece : pieces)
        length += piece.size();
    const qsizetype at = m_text.size();
    m_text.resize(at + length);
    char16_t* out = reinterpret_cast<char16_t*>(m_text.data()) + at;
    for (QStringView piece : pieces) {
        std::memcpy(out, piece.utf16(), static_cast<size_t>(piece.size()) * sizeof(char16_t));
        out += piece.size();
    }
    if (m_crlf)
        *out++ = u'\r';
    *out = u'\n';
    if (m_text.size() >= kBatchSize)
        flush();
}

void EncodingSink::flush() {
    if (m_text.isEmpty())
        return;
    // Through a buffer of its own: an encoding may trim the spare capacity of
    // the array it appends to, and the output's spare capacity is what keeps
    // appending to it cheap.
    m_bytes.resize(0);
    m_encoding.appendBytes(m_text, m_bytes);
    m_out.append(m_bytes);
    m_text.resize(0);
}

void EncodingSink::replaceLine(int index, std::initializer_list<QStringView> pieces) {
    flush();
    const auto [begin, end] = findEncodedLine(m_out.constData(), m_start, m_out.size(), index);

    QByteArray line;
    for (QStringView piece : pieces)
        m_encoding.appendBytes(piece, line);
    m_out.replace(begin, end - begin, line);
}

} // namespace dorvane
