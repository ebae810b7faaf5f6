#pragma once

#include "simd/Ascii.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstring>

// The characters no name, group, id or address is written with: the C0
// controls (CR and LF would break the line; ESC, BEL and the like act on the
// terminal a list is written to), DEL, the C1 controls (NEL among them) and
// the line and paragraph separators U+2028 and U+2029. Each becomes a space:
// in the M3U a reader or a provider's answer is given on, and in every
// target's output, whatever the list came from. TAB is one of them only in
// that M3U (`tab`): a target writes it as it stands. Messages show them
// otherwise, as \xNN (visibleText).
namespace dorvane::shown {

inline bool becomesSpace(char32_t c, bool tab) {
    return (c < 0x20 && (tab || c != u'\t')) || (c >= 0x7F && c <= 0x9F) || c == 0x2028 ||
           c == 0x2029;
}

// How many bytes at p[k] make one of those characters (or, with `quote`, a
// '"'), or 0.
inline size_t changedAt(const char* p, size_t k, size_t size, bool quote, bool tab) {
    const auto at = [p](size_t n) { return static_cast<unsigned char>(p[n]); };
    const unsigned char b = at(k);
    if ((b == '"' && quote) || (b < 0x20 && (tab || b != '\t')) || b == 0x7F)
        return 1;
    if (b == 0xC2 && k + 1 < size && at(k + 1) >= 0x80 && at(k + 1) <= 0x9F)
        return 2; // U+0080-U+009F
    if (b == 0xE2 && k + 2 < size && at(k + 1) == 0x80 && (at(k + 2) == 0xA8 || at(k + 2) == 0xA9))
        return 3; // U+2028, U+2029
    return 0;
}

// The UTF-8 bytes [p, p + size) into `at` with each such character a space
// and, with `quote`, each '"' an apostrophe; returns the end. At most as many
// bytes as were read.
inline char* putShown(char* at, const char* p, size_t size, bool quote, bool tab) {
    for (size_t k = 0; k < size;) {
        const size_t plain = simd::skipM3uPlain(p, k, size, quote);
        if (plain > k) {
            std::memcpy(at, p + k, plain - k);
            at += plain - k;
            k = plain;
        }
        if (k == size)
            break;
        if (const size_t changed = changedAt(p, k, size, quote, tab)) {
            *at++ = p[k] == '"' ? '\'' : ' ';
            k += changed;
        } else {
            *at++ = p[k++];
        }
    }
    return at;
}

// The text as a target writes it: the view itself when it holds none of
// those characters (as nearly every one does), else `scratch` made of it.
// Where the first byte from k on that may start one of those characters
// stands, or size: skipM3uPlain, whose vectors leave the last bytes, with
// those bytes in a vector of their own (a name or an address ends with
// up to fifteen of them, and this runs on every one).
inline size_t nextMaybeChanged(const char* p, size_t k, size_t size) {
    k = simd::skipM3uPlain(p, k, size, false);
    if (size - k >= 16 || k == size)
        return k;
    char tail[16];
    std::memset(tail, 'a', sizeof tail);
    std::memcpy(tail, p + k, size - k);
    const size_t at = simd::skipM3uPlain(tail, 0, sizeof tail, false);
    return at < size - k ? k + at : size;
}

inline QByteArrayView forTarget(QByteArrayView utf8, QByteArray& scratch) {
    const char* const p = utf8.data();
    const auto size = static_cast<size_t>(utf8.size());
    for (size_t k = nextMaybeChanged(p, 0, size); k < size; k = nextMaybeChanged(p, k + 1, size)) {
        if (!changedAt(p, k, size, false, false))
            continue;
        scratch.resize(utf8.size());
        char* const end = putShown(scratch.data(), p, size, false, false);
        scratch.resize(end - scratch.constData());
        return scratch;
    }
    return utf8;
}

inline QStringView forTarget(QStringView text, QString& scratch) {
    const char16_t* const begin = text.utf16();
    const char16_t* const end = begin + text.size();
    for (const char16_t* p = begin; p < end; ++p) {
        if (!becomesSpace(*p, false))
            continue;
        scratch = text.toString();
        for (QChar& c : scratch)
            if (becomesSpace(c.unicode(), false))
                c = u' ';
        return scratch;
    }
    return text;
}

} // namespace dorvane::shown
