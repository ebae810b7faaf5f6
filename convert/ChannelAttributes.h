#pragma once

#include "convert/Choice.h"
#include "playlist/LineRules.h"
#include "simd/Ascii.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace dorvane {

// What an M3U block says of its channel beyond the name, for the targets
// that carry it (TargetFormat::wantsAttributes). A block is its name line
// and the directive lines after it, up to the channel's address: the text
// conversion keeps those lines, the byte scan gives a view of them as they
// stand (with whatever other lines between, which say nothing here).
//
// Written once over the view (UTF-16 lines, UTF-8 bytes): every text looked
// for is ASCII.
enum class Header { UserAgent, Referer, Origin };
inline constexpr int kHeaderCount = 3;

template <typename View> struct ChannelAttributes {
    View tvgId, tvgName, logo, chno, group, catchup, catchupDays, catchupSource;
    // The address without a "|Name=Value&..." suffix.
    View address;
    // Each header's value and where it came from: 0 nowhere, 1 the
    // address's suffix (percent-encoded), 2 an attribute of the name line,
    // 3 an #EXTVLCOPT line. The higher wins.
    std::array<View, kHeaderCount> headers{};
    std::array<char, kHeaderCount> headerRank{};

    bool hasHeaders() const { return headerRank[0] || headerRank[1] || headerRank[2]; }
};

namespace attributes {

using choice::startsWithAscii;
using choice::unit;

// Where the ASCII character c first stands in `text` from `from` on, or -1:
// the line rules' search, inline (attributes are looked for on every entry).
inline qsizetype indexOfUnit(QStringView text, char c, qsizetype from) {
    const char16_t* begin = text.utf16();
    const char16_t* at = lines::find(begin + from, begin + text.size(), char16_t(c));
    return at == begin + text.size() ? -1 : at - begin;
}
inline qsizetype indexOfUnit(QByteArrayView text, char c, qsizetype from) {
    const char* begin = text.data();
    const char* at = lines::find(begin + from, begin + text.size(), c);
    return at == begin + text.size() ? -1 : at - begin;
}

// Whether the ASCII texts are equal, letters in either case.
template <typename View> bool equalsAsciiFolded(View text, std::string_view word) {
    if (text.size() != static_cast<qsizetype>(word.size()))
        return false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        char32_t c = unit(text, k);
        if (c >= 'A' && c <= 'Z')
            c += 'a' - 'A';
        if (c != static_cast<unsigned char>(word[size_t(k)]))
            return false;
    }
    return true;
}

template <typename View>
void setHeader(ChannelAttributes<View>& channel, Header header, View value, char rank) {
    const auto k = static_cast<size_t>(header);
    if (rank >= channel.headerRank[k]) {
        channel.headers[k] = value;
        channel.headerRank[k] = rank;
    }
}

// An #EXTVLCOPT line's option, the '#' and what precedes it removed.
template <typename View> void takeOption(ChannelAttributes<View>& channel, View option) {
    constexpr char kRank = 3;
    const struct {
        std::string_view key;
        Header header;
    } keys[] = {{"http-user-agent=", Header::UserAgent},
                {"http-referrer=", Header::Referer},
                {"http-referer=", Header::Referer},
                {"http-origin=", Header::Origin}};
    for (const auto& key : keys)
        if (startsWithAscii(option, key.key)) {
            setHeader(channel, key.header, option.sliced(qsizetype(key.key.size())), kRank);
            return;
        }
}

// The name line's attributes, in one walk from '=' to '=' (a name line
// holds few of them and long values); whether it has a group-title (which an
// #EXTGRP line then does not replace, even when empty). The group is the
// choice's (groupTitleOf). The first attribute of a name counts.
template <typename View> bool takeNameLine(ChannelAttributes<View>& channel, View line) {
    const bool titled = groupTitleOf(line, channel.group);
    constexpr char kRank = 2;
    bool seen[10] = {};
    const auto take = [&](int key, View value) {
        if (seen[key])
            return;
        seen[key] = true;
        switch (key) {
        case 0:
            channel.tvgId = value;
            break;
        case 1:
            channel.tvgName = value;
            break;
        case 2:
            channel.logo = value;
            break;
        case 3:
            channel.chno = value;
            break;
        case 4:
            channel.catchup = value;
            break;
        case 5:
            channel.catchupDays = value;
            break;
        case 6:
            channel.catchupSource = value;
            break;
        case 7:
            setHeader(channel, Header::UserAgent, value, kRank);
            break;
        case 8:
            setHeader(channel, Header::Referer, value, kRank);
            break;
        }
    };
    // The names, each matched as the end of the text before its '='
    // (attributeOf): "user-agent" also in "http-user-agent", "referrer" in
    // "http-referrer"; " catchup" with its space, not in "catchup-days".
    static constexpr std::string_view kNames[] = {"tvg-id",         "tvg-name",   "tvg-logo",
                                                  "tvg-chno",       " catchup",   "catchup-days",
                                                  "catchup-source", "user-agent", "referrer"};
    for (qsizetype at = indexOfUnit(line, '=', 0); at >= 0;) {
        if (at + 1 >= line.size() || unit(line, at + 1) != '"') {
            at = indexOfUnit(line, '=', at + 1);
            continue;
        }
        const qsizetype begin = at + 2;
        const qsizetype end = indexOfUnit(line, '"', begin);
        if (end < 0)
            break; // no closing quote: as if it were not there
        const View before = line.first(at);
        for (int key = 0; key < int(std::size(kNames)); ++key) {
            const auto length = qsizetype(kNames[key].size());
            // The last character first: it tells nearly every name apart.
            if (before.size() >= length &&
                unit(before, before.size() - 1) == static_cast<unsigned char>(kNames[key].back()) &&
                startsWithAscii(before.sliced(before.size() - length), kNames[key])) {
                take(key, line.sliced(begin, end - begin));
                break;
            }
        }
        at = indexOfUnit(line, '=', end + 1);
    }
    return titled;
}

// The address line: the address, and the headers of a "|Name=Value&..."
// suffix, which is no part of the address.
template <typename View> void takeAddress(ChannelAttributes<View>& channel, View line) {
    channel.address = line;
    const qsizetype bar = indexOfUnit(line, '|', 0);
    if (bar < 0 || indexOfUnit(line, '=', bar) < 0)
        return;
    channel.address = line.first(bar);
    constexpr char kRank = 1;
    View rest = line.sliced(bar + 1);
    while (!rest.isEmpty()) {
        const qsizetype amp = indexOfUnit(rest, '&', 0);
        const View pair = amp < 0 ? rest : rest.first(amp);
        rest = amp < 0 ? View() : rest.sliced(amp + 1);
        const qsizetype equals = indexOfUnit(pair, '=', 0);
        if (equals < 0)
            continue;
        const View name = pair.first(equals);
        const View value = pair.sliced(equals + 1);
        if (equalsAsciiFolded(name, "user-agent"))
            setHeader(channel, Header::UserAgent, value, kRank);
        else if (equalsAsciiFolded(name, "referer") || equalsAsciiFolded(name, "referrer"))
            setHeader(channel, Header::Referer, value, kRank);
        else if (equalsAsciiFolded(name, "origin"))
            setHeader(channel, Header::Origin, value, kRank);
    }
}

// The code units of a view, as the line rules take them.
inline const char16_t* units(QStringView text) {
    return text.utf16();
}
inline const char* units(QByteArrayView text) {
    return text.data();
}

// The text after the blanks (spaces, tabs) a line starts with.
template <typename View> View afterBlanks(View line) {
    qsizetype k = 0;
    while (k < line.size() && (unit(line, k) == ' ' || unit(line, k) == '\t'))
        ++k;
    return line.sliced(k);
}

} // namespace attributes

// The attributes of the channel of `block` (its name line first) at the
// address line `addressLine`.
template <typename View> ChannelAttributes<View> channelAttributes(View block, View addressLine) {
    ChannelAttributes<View> channel;
    bool first = true;
    bool groupLine = false;
    const auto* begin = attributes::units(block);
    using Char = std::remove_const_t<std::remove_pointer_t<decltype(begin)>>;
    lines::forEachLine(begin, begin + block.size(), [&](const Char* from, const Char* to) {
        const View line(from, to - from);
        if (first) {
            first = false;
            groupLine = attributes::takeNameLine(channel, line);
            return;
        }
        const View directive = attributes::afterBlanks(line);
        if (attributes::startsWithAscii(directive, "#EXTVLCOPT:"))
            attributes::takeOption(channel, directive.sliced(11));
        else if (!groupLine && attributes::startsWithAscii(line, "#EXTGRP:")) {
            channel.group = line.sliced(8);
            groupLine = true;
        }
    });
    attributes::takeAddress(channel, addressLine);
    return channel;
}

// Whether a channel's block and address give it headers or a logo: what a
// target that holds neither leaves out. Quicker than channelAttributes,
// for the targets that only count them.
struct LostParts {
    bool headers = false;
    bool logo = false;
};
template <typename View> LostParts lostParts(View block, View addressLine) {
    LostParts lost;
    const auto* begin = attributes::units(block);
    const auto* end = begin + block.size();
    using Char = std::remove_const_t<std::remove_pointer_t<decltype(begin)>>;
    const Char* lineEnd = lines::find(begin, end, Char('\n'));
    if (const Char* cr = lines::find(begin, lineEnd, Char('\r')); cr != lineEnd)
        lineEnd = cr;
    // The name line's attributes, walked as takeNameLine walks them: the
    // short stretches between values a unit at a time, each long value
    // skipped by the search for its closing quote.
    const View first(begin, lineEnd - begin);
    bool logoSeen = false;
    for (qsizetype at = 0; at + 1 < first.size(); ++at) {
        if (attributes::unit(first, at) != '=' || attributes::unit(first, at + 1) != '"')
            continue;
        const qsizetype close = attributes::indexOfUnit(first, '"', at + 2);
        if (close < 0)
            break;
        const View before = first.first(at);
        const auto endsWith = [&](std::string_view name) {
            return before.size() >= qsizetype(name.size()) &&
                   attributes::startsWithAscii(
                       before.sliced(before.size() - qsizetype(name.size())), name);
        };
        if (!logoSeen && endsWith("tvg-logo")) {
            logoSeen = true;
            lost.logo = close > at + 2;
        } else if (endsWith("user-agent") || endsWith("referrer")) {
            lost.headers = true;
        }
        at = close; // the loop steps past it
    }
    // The option lines after it, seldom more than one or two.
    if (!lost.headers && lineEnd != end) {
        lines::forEachLine(lineEnd, end, [&](const Char* from, const Char* to) {
            const View option = attributes::afterBlanks(View(from, to - from));
            if (attributes::startsWithAscii(option, "#EXTVLCOPT:http-user-agent=") ||
                attributes::startsWithAscii(option, "#EXTVLCOPT:http-referrer=") ||
                attributes::startsWithAscii(option, "#EXTVLCOPT:http-referer=") ||
                attributes::startsWithAscii(option, "#EXTVLCOPT:http-origin="))
                lost.headers = true;
        });
    }
    // An address's suffix.
    if (!lost.headers) {
        ChannelAttributes<View> suffix;
        attributes::takeAddress(suffix, addressLine);
        lost.headers = suffix.hasHeaders();
    }
    return lost;
}

// The same for the converter's bytes, which every channel of a target that
// only counts them passes: the name line's quotes and its end found sixteen
// bytes at a time (simd::quotesAndEnds; a search from quote to quote cost
// more than writing the entry). A '"' after '=' opens a value, the next '"'
// closes it, as the walk above takes them: a '"' right after a closing one
// follows no '='.
inline LostParts lostParts(QByteArrayView block, QByteArrayView addressLine) {
    LostParts lost;
    const char* const p = block.data();
    const qsizetype size = block.size();
    const auto endsWith = [p](qsizetype end, std::string_view name) {
        const auto length = qsizetype(name.size());
        return end >= length && std::memcmp(p + end - length, name.data(), name.size()) == 0;
    };
    bool logoSeen = false;
    qsizetype opened = -1; // the quote that opened the value walked
    qsizetype lineEnd = size;
    for (qsizetype from = 0; from < size; from += 16) {
        unsigned quotes = 0, ends = 0;
        if (size - from >= 16) {
            simd::quotesAndEnds(p + from, quotes, ends);
        } else {
            char tail[16] = {}; // past the end: 00, which is none of them
            std::memcpy(tail, p + from, size_t(size - from));
            simd::quotesAndEnds(tail, quotes, ends);
        }
        if (ends) {
            const int end = __builtin_ctz(ends);
            lineEnd = from + end;
            quotes &= (1u << end) - 1;
        }
        for (; quotes; quotes &= quotes - 1) {
            const qsizetype at = from + __builtin_ctz(quotes);
            if (opened < 0) {
                if (at > 0 && p[at - 1] == '=')
                    opened = at;
                continue;
            }
            const qsizetype name = opened - 1; // where the '=' stands
            if (!logoSeen && endsWith(name, "tvg-logo")) {
                logoSeen = true;
                lost.logo = at > opened + 1;
            } else if (endsWith(name, "user-agent") || endsWith(name, "referrer")) {
                lost.headers = true;
            }
            opened = -1;
        }
        if (ends)
            break;
    }
    // The option lines after it, if any: a block is mostly its name line.
    const char* const rest =
        lineEnd == size ? p + size : lines::afterLineEnd(p + lineEnd, p + size);
    if (!lost.headers && rest != p + size) {
        lines::forEachLine(rest, p + size, [&](const char* from, const char* to) {
            const QByteArrayView option = attributes::afterBlanks(QByteArrayView(from, to - from));
            if (attributes::startsWithAscii(option, "#EXTVLCOPT:http-user-agent=") ||
                attributes::startsWithAscii(option, "#EXTVLCOPT:http-referrer=") ||
                attributes::startsWithAscii(option, "#EXTVLCOPT:http-referer=") ||
                attributes::startsWithAscii(option, "#EXTVLCOPT:http-origin="))
                lost.headers = true;
        });
    }
    // An address's suffix; the attributes, made only for an address with a
    // '|', took a tenth of the count to clear.
    if (!lost.headers && attributes::indexOfUnit(addressLine, '|', 0) >= 0) {
        ChannelAttributes<QByteArrayView> suffix;
        attributes::takeAddress(suffix, addressLine);
        lost.headers = suffix.hasHeaders();
    }
    return lost;
}

// A header's value as it is to be written: a suffix's value percent-decoded
// (into `buffer`), any other as it stands.
QStringView headerValue(const ChannelAttributes<QStringView>& channel, Header header,
                        QString& buffer);
QByteArrayView headerValue(const ChannelAttributes<QByteArrayView>& channel, Header header,
                           QByteArray& buffer);

// The header names as written: "User-Agent", "Referer", "Origin".
QStringView headerName(Header header);

} // namespace dorvane
