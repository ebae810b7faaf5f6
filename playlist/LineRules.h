#pragma once

#include <QStringView>

#include <cstring>

// The rules that classify playlist lines, written once over the code unit:
// char16_t for the window's UTF-16 lines, char for the converter's UTF-8
// bytes. Every rule is about ASCII characters, whose code units are the same
// in both and, in UTF-8, part of nothing else, so one rule gives the same
// answer on a line and on its bytes.
namespace dorvane::lines {

// The first c in [p, end), or end; the platform's vectorised search for each
// code unit (a plain loop is several times slower on long attribute lists).
inline const char* find(const char* p, const char* end, char c) {
    if (p == end) // an empty piece may come without any storage (null)
        return end;
    const void* at = std::memchr(p, c, static_cast<size_t>(end - p));
    return at ? static_cast<const char*>(at) : end;
}
inline const char16_t* find(const char16_t* p, const char16_t* end, char16_t c) {
    const qsizetype at = QStringView(p, end - p).indexOf(QChar(c));
    return at < 0 ? end : p + at;
}

// Where the line after a line end at `at` (a CR or an LF) begins: a CR LF
// is one line end.
template <typename Char> const Char* afterLineEnd(const Char* at, const Char* end) {
    return *at == Char('\r') && at + 1 < end && at[1] == Char('\n') ? at + 2 : at + 1;
}

// Calls line(lineBegin, lineEnd) for each line of [begin, end): a line ends
// at CR, LF or CR LF, and the last one at `end` (none after a final line
// end). Where the text stops at a U+0000 is the caller's to say by `end`.
template <typename Char, typename Line>
void forEachLine(const Char* begin, const Char* end, Line line) {
    const Char* p = begin;
    while (p < end) {
        const Char* lineEnd = find(p, end, Char('\n'));
        if (const Char* cr = find(p, lineEnd, Char('\r')); cr != lineEnd)
            lineEnd = cr;
        line(p, lineEnd);
        p = lineEnd < end ? afterLineEnd(lineEnd, end) : end;
    }
}

// Input is taken a piece at a time, about this many bytes: a piece is read,
// checked and scanned while it is in one processor's cache.
inline constexpr qsizetype kPieceBytes = 256 * 1024;

// The end of the piece of [begin, end) that begins at `begin`: the first LF
// at or past kPieceBytes ends it, so that no line is cut (nor a UTF-8
// sequence: an LF byte is part of none, nor of any code page's character);
// `end` when no LF follows.
inline const char* pieceEnd(const char* begin, const char* end) {
    if (end - begin <= kPieceBytes)
        return end;
    const char* const lf = find(begin + kPieceBytes, end, '\n');
    return lf == end ? end : lf + 1;
}

// Whether [p, p + N - 1) holds the ASCII word.
template <typename Char, size_t N> bool equalsAscii(const Char* p, const char (&word)[N]) {
    for (size_t k = 0; k + 1 < N; ++k)
        if (p[k] != static_cast<Char>(word[k]))
            return false;
    return true;
}

// Whether [begin, end) contains the ASCII word, case-sensitively: by way of
// the search for its first character.
template <typename Char, size_t N>
bool containsAscii(const Char* begin, const Char* end, const char (&word)[N]) {
    constexpr auto length = static_cast<ptrdiff_t>(N - 1);
    for (const Char* at = find(begin, end, static_cast<Char>(word[0])); end - at >= length;
         at = find(at + 1, end, static_cast<Char>(word[0])))
        if (equalsAscii(at, word))
            return true;
    return false;
}

// Whether [begin, colon) ends with the scheme of a stream marker. Every
// marker is a scheme name followed by "://"; a line only has to contain one,
// so the scheme may be glued to whatever precedes it.
template <typename Char> bool endsWithScheme(const Char* begin, const Char* colon) {
    const auto endsWith = [begin, colon](const auto& scheme) {
        constexpr auto length = static_cast<ptrdiff_t>(sizeof scheme - 1);
        return colon - begin >= length && equalsAscii(colon - length, scheme);
    };
    return endsWith("http") || endsWith("https") || endsWith("rtmp") || endsWith("udp") ||
           endsWith("rtsp") || endsWith("rtp") || endsWith("mms");
}

// Whether "://" follows the colon at `colon`.
template <typename Char> bool slashesFollow(const Char* colon, const Char* end) {
    return end - colon >= 3 && colon[1] == Char('/') && colon[2] == Char('/');
}

// A directive: the line's first character other than a space or a tab is
// '#'. Directives (#EXTVLCOPT:http-referrer=https://..., a second #EXTM3U
// x-tvg-url="https://..." of two lists joined, a commented-out address) may
// hold an address but never are one.
template <typename Char> bool isDirective(const Char* begin, const Char* end) {
    while (begin != end && (*begin == Char(' ') || *begin == Char('\t')))
        ++begin;
    return begin != end && *begin == Char('#');
}

// Whether the line holds a stream marker (below) anywhere, whatever it is.
template <typename Char> bool holdsStreamMarker(const Char* begin, const Char* end) {
    for (const Char* at = find(begin, end, Char(':')); at != end; at = find(at + 1, end, Char(':')))
        if (slashesFollow(at, end) && endsWithScheme(begin, at))
            return true;
    return false;
}

// True when the line holds one of the stream markers "http://", "https://",
// "rtmp://", "udp://", "rtsp://", "rtp://", "mms://" anywhere (case-sensitive)
// and is no directive. Looks at each ':': far faster on long lines than
// searching for "://". A name line (isNameLine) is a name line first,
// whatever address it holds.
template <typename Char> bool isStreamLine(const Char* begin, const Char* end) {
    return holdsStreamMarker(begin, end) && !isDirective(begin, end);
}

// A name line for the conversion: it contains "#EXTINF" (case-sensitive).
template <typename Char> bool isNameLine(const Char* begin, const Char* end) {
    return containsAscii(begin, end, "#EXTINF");
}

// A name line for the channel count: it contains "EXTINF".
template <typename Char> bool hasExtinf(const Char* begin, const Char* end) {
    return containsAscii(begin, end, "EXTINF");
}

// Group and option lines (and empty ones) between a name line and its address
// keep the name waiting.
template <typename Char> bool keepsNameWaiting(const Char* begin, const Char* end) {
    return begin == end || *begin == Char('#');
}

} // namespace dorvane::lines
