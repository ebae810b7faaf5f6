#pragma once

#include "playlist/LineRules.h"

#include <QByteArrayView>
#include <QStringView>

#include <algorithm>
#include <type_traits>
#include <utility>

// What the line formats' readers split a line by, asked of a name or an
// address as either text or UTF-8 bytes (the rules are about ASCII
// characters: playlist/LineRules.h).
namespace dorvane::delimiters {

inline std::pair<const char16_t*, const char16_t*> range(QStringView text) {
    return {text.utf16(), text.utf16() + text.size()};
}
inline std::pair<const char*, const char*> range(QByteArrayView text) {
    return {text.data(), text.data() + text.size()};
}

// Whether the two are the same text.
template <typename Text> bool same(Text a, Text b) {
    const auto [aBegin, aEnd] = range(a);
    const auto [bBegin, bEnd] = range(b);
    return std::equal(aBegin, aEnd, bBegin, bEnd);
}

// Whether the text holds a stream marker ("http://", ...).
template <typename Text> bool holdsMarker(Text text) {
    const auto [begin, end] = range(text);
    return lines::isStreamLine(begin, end);
}

// Whether the text holds the ASCII word.
template <typename Text, size_t N> bool holds(Text text, const char (&word)[N]) {
    const auto [begin, end] = range(text);
    return lines::containsAscii(begin, end, word);
}

// Whether the ASCII word stands in the text before its first stream marker
// (a marker holds none of the words asked about, so it stands wholly before
// or after).
template <typename Text, size_t N> bool beforeMarker(Text text, const char (&word)[N]) {
    const auto [begin, end] = range(text);
    using Char = std::remove_cv_t<std::remove_pointer_t<decltype(begin)>>;
    constexpr auto length = static_cast<ptrdiff_t>(N - 1);
    for (const Char* at = lines::find(begin, end, static_cast<Char>(word[0])); end - at >= length;
         at = lines::find(at + 1, end, static_cast<Char>(word[0])))
        if (lines::equalsAscii(at, word))
            return !lines::isStreamLine(begin, at);
    return false;
}

} // namespace dorvane::delimiters
