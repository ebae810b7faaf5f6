#include "convert/ByteConversion.h"

#include "convert/TargetFormat.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DORVANE_SSE2 1
#endif

namespace dorvane {

namespace {

// The first c in [p, end), or end.
const char* find(const char* p, const char* end, char c) {
    if (p == end) // an empty piece may come without any storage (null)
        return end;
    const void* at = std::memchr(p, c, static_cast<size_t>(end - p));
    return at ? static_cast<const char*>(at) : end;
}

bool endsWith(const char* begin, const char* end, QByteArrayView suffix) {
    return end - begin >= suffix.size() &&
           std::memcmp(end - suffix.size(), suffix.data(), static_cast<size_t>(suffix.size())) == 0;
}

// Whether [begin, colon) ends with one of the stream markers' schemes.
bool endsWithScheme(const char* begin, const char* colon) {
    static constexpr QByteArrayView schemes[] = {"http", "https", "rtmp", "udp",
                                                 "rtsp", "rtp",   "mms"};
    for (QByteArrayView scheme : schemes)
        if (endsWith(begin, colon, scheme))
            return true;
    return false;
}

// Whether [p, end) holds an odd number of '"', sixteen bytes at a time:
// name lines carry long attribute lists in front of the name.
bool oddQuotes(const char* p, const char* end) {
    unsigned parity = 0;
#ifdef DORVANE_SSE2
    const __m128i quote = _mm_set1_epi8('"');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        parity ^= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote)));
    }
#endif
    for (; p < end; ++p)
        parity ^= *p == '"';
    return __builtin_parity(parity);
}

QByteArrayView channelNameOf(const char* begin, const char* end) {
    const char* firstComma = find(begin, end, ',');
    if (firstComma == end)
        return QByteArrayView(begin, end - begin);
    if (!oddQuotes(begin, firstComma))
        return QByteArrayView(firstComma + 1, end - firstComma - 1);
    bool quoted = true;
    for (const char* p = firstComma + 1; p < end; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (*p == ',' && !quoted)
            return QByteArrayView(p + 1, end - p - 1);
    }
    return QByteArrayView(firstComma + 1, end - firstComma - 1);
}

// One bit per byte of the 64 from `block` (not beyond `end`) that is CR,
// LF, 'E' or ':'.
quint64 blockMarks(const char* block, const char* end) {
    char padded[64];
    if (end - block < 64) {
        std::memset(padded, 0, sizeof padded);
        std::memcpy(padded, block, static_cast<size_t>(end - block));
        block = padded;
    }
#ifdef DORVANE_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i e = _mm_set1_epi8('E');
    const __m128i colon = _mm_set1_epi8(':');
    quint64 marks = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block) + k);
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, e), _mm_cmpeq_epi8(v, colon)));
        marks |= static_cast<quint64>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
    }
    return marks;
#else
    quint64 marks = 0;
    for (int k = 0; k < 64; ++k) {
        const char c = block[k];
        if (c == '\r' || c == '\n' || c == 'E' || c == ':')
            marks |= quint64(1) << k;
    }
    return marks;
#endif
}

} // namespace

bool isWellFormedUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = p + bytes.size();
    while (p < end) {
#ifdef DORVANE_SSE2
        // Mostly ASCII: 64 bytes at a time, then 16.
        while (end - p >= 64) {
            const auto* q = reinterpret_cast<const __m128i*>(p);
            const __m128i any =
                _mm_or_si128(_mm_or_si128(_mm_loadu_si128(q), _mm_loadu_si128(q + 1)),
                             _mm_or_si128(_mm_loadu_si128(q + 2), _mm_loadu_si128(q + 3)));
            if (_mm_movemask_epi8(any) != 0)
                break;
            p += 64;
        }
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const int nonAscii = _mm_movemask_epi8(v);
            if (nonAscii == 0) {
                p += 16;
                continue;
            }
            p += __builtin_ctz(static_cast<unsigned>(nonAscii));
            break;
        }
#endif
        // One sequence at a time until the next ASCII byte.
        while (p < end) {
            const unsigned b = *p;
            if (b < 0x80) {
                ++p;
                break;
            }
            if (b < 0xC2) // a stray continuation byte, or C0/C1 (always overlong)
                return false;
            if (b < 0xE0) {
                if (end - p < 2 || (p[1] & 0xC0) != 0x80)
                    return false;
                p += 2;
            } else if (b < 0xF0) {
                if (end - p < 3)
                    return false;
                // E0 needs A0 or more (else overlong); ED at most 9F (else a surrogate).
                const unsigned low = b == 0xE0 ? 0xA0 : 0x80;
                const unsigned high = b == 0xED ? 0x9F : 0xBF;
                if (p[1] < low || p[1] > high || (p[2] & 0xC0) != 0x80)
                    return false;
                p += 3;
            } else if (b < 0xF5) {
                if (end - p < 4)
                    return false;
                // F0 needs 90 or more (else overlong); F4 at most 8F (else above U+10FFFF).
                const unsigned low = b == 0xF0 ? 0x90 : 0x80;
                const unsigned high = b == 0xF4 ? 0x8F : 0xBF;
                if (p[1] < low || p[1] > high || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80)
                    return false;
                p += 4;
            } else {
                return false; // F5 to FF never occur in UTF-8
            }
        }
    }
    return true;
}

bool isNameLine(QByteArrayView line) {
    const char* const end = line.data() + line.size();
    for (const char* p = line.data(); (p = find(p, end, '#')) != end; ++p)
        if (end - p >= 7 && std::memcmp(p, "#EXTINF", 7) == 0)
            return true;
    return false;
}

bool isStreamLine(QByteArrayView line) {
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    for (const char* p = begin; (p = find(p, end, ':')) != end; ++p)
        if (end - p >= 3 && p[1] == '/' && p[2] == '/' && endsWithScheme(begin, p))
            return true;
    return false;
}

QByteArrayView channelNameOf(QByteArrayView nameLine) {
    return channelNameOf(nameLine.data(), nameLine.data() + nameLine.size());
}

ByteScanner::ByteScanner(const TargetFormat& target) : m_converts(target.converts()) {}

void ByteScanner::scan(QByteArrayView piece, ScannedPiece& scanned) {
    scanned.clear();
    if (!m_channel.isEmpty()) {
        // The name's line was in an earlier piece, whose bytes may be gone by
        // the time this piece's entries are written.
        scanned.carriedName = m_carried;
        m_channel = scanned.carriedName;
    }

    // After a 00 byte the rest is only checked, for the verdict on its form.
    if (m_textEnded)
        return;
    const char* const text = piece.data();
    const char* const end = find(text, text + piece.size(), '\0');
    m_textEnded = end != text + piece.size();

    // One pass over the bytes marks where something may happen: a line end
    // (CR, LF), an 'E' (of "EXTINF") or a ':' (of "://"); the lines are then
    // walked from mark to mark. A search per line and per marker costs more
    // than the whole conversion on the short lines of a playlist.
    const char* lineStart = text;
    bool extinf = false;
    bool name = false;
    bool stream = false;
    for (const char* block = text; block < end; block += 64) {
        quint64 marks = blockMarks(block, end);
        while (marks) {
            const char* at = block + __builtin_ctzll(marks);
            marks &= marks - 1;
            const char c = *at;
            if (c == '\r' || c == '\n') {
                if (at < lineStart)
                    continue; // the LF of a CR LF
                addLine(lineStart, at, name, extinf, stream, scanned);
                lineStart = at + 1;
                if (c == '\r' && lineStart < end && *lineStart == '\n')
                    ++lineStart;
                extinf = name = stream = false;
            } else if (c == 'E') {
                // "EXTINF" holds no line end, so a match lies within the line.
                if (!name && end - at >= 6 && std::memcmp(at, "EXTINF", 6) == 0) {
                    extinf = true;
                    name = at > lineStart && at[-1] == '#';
                }
            } else if (!stream && end - at >= 3 && at[1] == '/' && at[2] == '/') {
                stream = endsWithScheme(lineStart, at);
            }
        }
    }
    if (lineStart < end)
        addLine(lineStart, end, name, extinf, stream, scanned);

    if (!m_channel.isEmpty() && m_channel.data() != scanned.carriedName.constData())
        m_carried = m_channel.toByteArray();
}

void ByteScanner::addLine(const char* begin, const char* end, bool name, bool extinf, bool stream,
                          ScannedPiece& scanned) {
    const QByteArrayView line(begin, end - begin);

    // As ChannelCounter::addLine.
    if (stream && m_pending) {
        ++m_channels;
        m_pending = false;
    }
    if (extinf)
        m_pending = true;
    else if (stream)
        m_pending = false;
    else if (line.isEmpty() || line.front() == '#')
        ; // group and option lines keep a name line waiting for its address
    else
        m_pending = false;

    // As Conversion::processLine.
    if (!m_converts)
        scanned.entries.push_back({{}, line});
    else if (name)
        m_channel = channelNameOf(begin, end);
    else if (stream && !m_channel.isEmpty())
        scanned.entries.push_back({m_channel, line});
}

ByteWriter::ByteWriter(const TargetFormat& target, QByteArray& out, qsizetype expectedSize,
                       const TEncoding& encoding, const SourceName& source)
    : m_target(target), m_converts(target.converts()),
      m_sink(out, expectedSize, encoding, target.lineEnd()) {
    if (m_converts)
        m_target.header(m_sink, source);
}

void ByteWriter::write(const ScannedPiece& scanned) {
    if (!m_converts) {
        for (const ScannedPiece::Entry& entry : scanned.entries)
            m_sink.addLine({entry.line});
        return;
    }
    for (const ScannedPiece::Entry& entry : scanned.entries)
        m_target.entry(m_sink, entry.channel, entry.line, ++m_count);
}

void ByteWriter::finish() {
    if (m_converts)
        m_target.footer(m_sink, m_count);
    m_sink.finish();
}

ByteConversion::ByteConversion(const TargetFormat& target, QByteArray& out, qsizetype expectedSize,
                               const TEncoding& encoding, const SourceName& source)
    : m_converts(target.converts()), m_scanner(target),
      m_writer(target, out, expectedSize, encoding, source) {}

int ByteConversion::entries() const {
    return m_converts ? m_writer.count() : m_scanner.channels();
}

bool ByteConversion::addPiece(QByteArrayView piece) {
    if (!isWellFormedUtf8(piece))
        return false;
    addWellFormedPiece(piece);
    return true;
}

void ByteConversion::addWellFormedPiece(QByteArrayView piece) {
    m_scanner.scan(piece, m_scanned);
    m_writer.write(m_scanned);
}

} // namespace dorvane
