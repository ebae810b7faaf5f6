#pragma once

#include "convert/Conversion.h"
#include "playlist/LineRules.h"
#include "playlist/Playlist.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace dorvane {

// Choosing channels works on blocks of lines. The header is the lines before
// the first name line (one that contains "#EXTINF"); every name line starts a
// block that runs up to the next one. A block has
// - a name: channelNameOf its first line;
// - an address: its first stream line after the first line, if any;
// - a group: the text inside group-title="..." in its first line; failing
//   that, the rest of its first line that starts with "#EXTGRP:"; failing
//   that, none (empty).
// Choosing keeps the header and the chosen blocks, line for line, in order.
//
// The rules are written once, as templates over the kind of line: UTF-16
// (QStringView: the window's line lists) and UTF-8 (QByteArrayView: the
// converter's bytes). Every text they look for is ASCII, so in UTF-8 it is
// found at the same characters as in UTF-16.

// The line rules (playlist/LineRules.h) on a UTF-8 line, beside those on a
// UTF-16 line in Conversion.h and Playlist.h.
inline bool isNameLine(QByteArrayView line) {
    return lines::isNameLine(line.data(), line.data() + line.size());
}
inline bool isStreamLine(QByteArrayView line) {
    return lines::isStreamLine(line.data(), line.data() + line.size());
}
inline QByteArrayView channelNameOf(QByteArrayView nameLine) {
    const char* begin = nameLine.data();
    const char* end = begin + nameLine.size();
    return QByteArrayView(lines::channelNameStart(begin, end), end);
}

namespace choice {

// The code unit at k as a number, whatever the view.
inline char32_t unit(QStringView text, qsizetype k) {
    return text[k].unicode();
}
inline char32_t unit(QByteArrayView text, qsizetype k) {
    return static_cast<unsigned char>(text[k]);
}

// Where the ASCII character c first stands in `text` from `from` on, or -1.
inline qsizetype indexOfUnit(QStringView text, char c, qsizetype from) {
    return text.indexOf(QChar(char16_t(c)), from);
}
inline qsizetype indexOfUnit(QByteArrayView text, char c, qsizetype from) {
    return text.indexOf(c, from);
}

// Where the ASCII text `what` first stands in `text` from `from` on, or -1.
template <typename View>
qsizetype indexOfAscii(View text, std::string_view what, qsizetype from = 0) {
    const auto size = static_cast<qsizetype>(what.size());
    while (true) {
        const qsizetype at = indexOfUnit(text, what.front(), from);
        if (at < 0 || at + size > text.size())
            return -1;
        qsizetype k = 1;
        while (k < size && unit(text, at + k) == static_cast<unsigned char>(what[k]))
            ++k;
        if (k == size)
            return at;
        from = at + 1;
    }
}

template <typename View> bool startsWithAscii(View text, std::string_view what) {
    if (text.size() < static_cast<qsizetype>(what.size()))
        return false;
    for (size_t k = 0; k < what.size(); ++k)
        if (unit(text, static_cast<qsizetype>(k)) != static_cast<unsigned char>(what[k]))
            return false;
    return true;
}

// The owned form of a view's text, for names given on the command line.
inline void assign(QString& to, const QString& text) {
    to = text;
}
inline void assign(QByteArray& to, const QString& text) {
    to = text.toUtf8();
}

// A view's text, owned.
inline QString owned(QStringView text) {
    return text.toString();
}
inline QByteArray owned(QByteArrayView text) {
    return text.toByteArray();
}

// Copies of texts that stay where they are, in blocks that never move, so
// that views of them stay valid without an allocation per text.
template <typename View> class TextStore {
    using Unit = std::remove_const_t<std::remove_pointer_t<decltype(View().data())>>;

public:
    View keep(View text) {
        const qsizetype size = text.size();
        if (m_room < size) {
            const qsizetype block = std::max<qsizetype>(size, 64 * 1024);
            m_blocks.push_back(std::make_unique_for_overwrite<Unit[]>(size_t(block)));
            m_free = m_blocks.back().get();
            m_room = block;
        }
        Unit* const copy = m_free;
        std::copy(text.data(), text.data() + size, copy);
        m_free += size;
        m_room -= size;
        return View(copy, size);
    }

private:
    std::vector<std::unique_ptr<Unit[]>> m_blocks;
    Unit* m_free = nullptr;
    qsizetype m_room = 0;
};

template <typename View> struct Owned;
template <> struct Owned<QStringView> { using Type = QString; };
template <> struct Owned<QByteArrayView> { using Type = QByteArray; };

} // namespace choice

// The text inside NAME="..." of a name line, for an attribute NAME. An
// attribute whose closing quote is missing gives nothing, as if it were not
// there.
template <typename View> bool attributeOf(View nameLine, std::string_view name, View& value) {
    // From '=' to '=': a name line holds few of them, but many a 'g'.
    const auto length = static_cast<qsizetype>(name.size());
    for (qsizetype at = choice::indexOfUnit(nameLine, '=', length); at >= 0;
         at = choice::indexOfUnit(nameLine, '=', at + 1)) {
        if (at + 1 >= nameLine.size() || choice::unit(nameLine, at + 1) != '"' ||
            !choice::startsWithAscii(nameLine.sliced(at - length), name))
            continue;
        const qsizetype begin = at + 2;
        const qsizetype end = choice::indexOfUnit(nameLine, '"', begin);
        if (end < 0)
            return false;
        value = nameLine.sliced(begin, end - begin);
        return true;
    }
    return false;
}

// The text inside group-title="..." of a name line (attributeOf).
template <typename View> bool groupTitleOf(View nameLine, View& group) {
    return attributeOf(nameLine, "group-title", group);
}

// Calls line(QByteArrayView) for each line of UTF-8 text as
// TStringList::setText splits it: a line ends at CR, LF or CR LF, and the
// text at its first 00 byte.
template <typename Line> void forEachLine(QByteArrayView text, Line line) {
    const char* begin = text.data();
    const char* end = lines::find(begin, begin + text.size(), '\0');
    lines::forEachLine(begin, end, [&](const char* from, const char* to) {
        line(QByteArrayView(from, to - from));
    });
}

// What the rules say about the block being read, a line at a time. The views
// point into the lines given, which must stay as they are meanwhile.
template <typename View> class Block {
public:
    // Starts a block with its name line.
    void start(View firstLine) {
        m_first = firstLine;
        m_group = View();
        m_address = View();
        m_hasAddress = false;
        m_groupFinal = groupTitleOf(firstLine, m_group);
        takeGroupLine(firstLine);
    }
    // A further line of the block.
    void add(View line) {
        if (!m_hasAddress && isStreamLine(line)) {
            m_address = line;
            m_hasAddress = true;
        }
        takeGroupLine(line);
    }

    View firstLine() const { return m_first; }
    View name() const { return channelNameOf(m_first); }
    View group() const { return m_group; }
    bool hasAddress() const { return m_hasAddress; }
    View address() const { return m_address; }

private:
    void takeGroupLine(View line) {
        if (!m_groupFinal && choice::startsWithAscii(line, "#EXTGRP:")) {
            m_group = line.sliced(8);
            m_groupFinal = true;
        }
    }

    View m_first;
    View m_group;
    View m_address;
    bool m_hasAddress = false;
    bool m_groupFinal = false; // from group-title, or the first #EXTGRP line
};

// The choice itself, streaming: lines go in one at a time and the kept ones
// come out in order as soon as their block is decided, so at most one block
// is held. `Decide` is called as bool(const Block<View>&) once per block;
// `Keep` has line(View) for every kept line and block(const Block<View>&) for
// every kept block, just before its lines. With onePerAddress, a decided
// block whose address equals that of an earlier kept block is left out. The
// lines of a block must stay valid until it is decided: when the next block
// starts, or at finish(), after which lines may go on with a new block.
template <typename View, typename Decide, typename Keep> class BlockChooser {
public:
    BlockChooser(Decide decide, Keep& keep, bool onePerAddress)
        : m_decide(std::move(decide)), m_keep(keep), m_onePerAddress(onePerAddress) {}

    void addLine(View line) {
        if (isNameLine(line)) {
            endBlock();
            m_inBlock = true;
            m_block.start(line);
            m_lines.push_back(line);
        } else if (m_inBlock) {
            m_block.add(line);
            m_lines.push_back(line);
        } else {
            m_keep.line(line);
        }
    }

    void finish() { endBlock(); }

private:
    void endBlock() {
        if (!m_inBlock)
            return;
        m_inBlock = false;
        bool kept = m_decide(std::as_const(m_block));
        if (kept && m_onePerAddress && m_block.hasAddress()) {
            kept = !m_addresses.contains(m_block.address());
            if (kept)
                m_addresses.insert(m_kept.keep(m_block.address()));
        }
        if (kept) {
            m_keep.block(std::as_const(m_block));
            for (View line : m_lines)
                m_keep.line(line);
        }
        m_lines.clear();
    }

    Decide m_decide;
    Keep& m_keep;
    const bool m_onePerAddress;
    bool m_inBlock = false;
    Block<View> m_block;
    std::vector<View> m_lines;
    // The addresses of the kept blocks, kept here: the lines may be gone.
    choice::TextStore<View> m_kept;
    QSet<View> m_addresses;
};

// Appends the simple case folding of each code point of the text (QChar's,
// which is Unicode's CaseFolding.txt, statuses C and S) to `out`. UTF-16 is
// read with its surrogate pairs, UTF-8 as well-formed; anything else stands
// as U+FFFD.
void appendCaseFolded(QStringView text, std::u32string& out);
void appendCaseFolded(QByteArrayView text, std::u32string& out);

// Whether `text` contains `foldedNeedle` (already case folded) when folded.
// `scratch` keeps its memory from call to call.
template <typename View>
bool containsFolded(View text, std::u32string_view foldedNeedle, std::u32string& scratch) {
    if (foldedNeedle.empty())
        return true;
    scratch.clear();
    appendCaseFolded(text, scratch);
    return std::u32string_view(scratch).find(foldedNeedle) != std::u32string_view::npos;
}

// What dorvane-convert chooses by: every filter given must hold.
struct ChannelFilter {
    QStringList groups;         // keep only these (exact; "" is no group); none: any
    QStringList excludedGroups; // leave these out
    QString match;              // keep names that contain it, case-insensitively
    bool onePerAddress = false;

    bool choosesAll() const {
        return groups.isEmpty() && excludedGroups.isEmpty() && match.isEmpty() && !onePerAddress;
    }
};

// ChannelFilter's decision for blocks of one kind of line.
template <typename View> class FilterDecision {
public:
    explicit FilterDecision(const ChannelFilter& filter) {
        // The sets view the names kept here, which never move.
        m_names.reserve(size_t(filter.groups.size() + filter.excludedGroups.size()));
        for (const QString& group : filter.groups) {
            choice::assign(m_names.emplace_back(), group);
            m_groups.insert(View(m_names.back()));
        }
        for (const QString& group : filter.excludedGroups) {
            choice::assign(m_names.emplace_back(), group);
            m_excluded.insert(View(m_names.back()));
        }
        appendCaseFolded(QStringView(filter.match), m_match);
    }
    // A copy would view the names of the original.
    FilterDecision(const FilterDecision&) = delete;
    FilterDecision(FilterDecision&&) = default;

    bool operator()(const Block<View>& block) {
        const View group = block.group();
        if (!m_groups.isEmpty() && !m_groups.contains(group))
            return false;
        if (m_excluded.contains(group))
            return false;
        return containsFolded(block.name(), m_match, m_scratch);
    }

private:
    using Owned = typename choice::Owned<View>::Type;
    std::vector<Owned> m_names;
    QSet<View> m_groups;
    QSet<View> m_excluded;
    std::u32string m_match;
    std::u32string m_scratch;
};

// The groups of the kept blocks in order of first appearance, each with the
// number of its blocks that have an address. A Keep for BlockChooser.
template <typename View> class GroupTally {
public:
    void line(View) {}
    void block(const Block<View>& block) {
        const View group = block.group();
        auto at = m_index.constFind(group);
        if (at == m_index.cend()) {
            const View kept = addGroup(group);
            at = m_index.insert(kept, qsizetype(m_groups.size()) - 1);
        }
        m_groups[size_t(*at)].second += block.hasAddress() ? 1 : 0;
    }

    // Group names, kept here (the lines may be gone by now), and counts.
    const std::vector<std::pair<typename choice::Owned<View>::Type, int>>& groups() const {
        return m_groups;
    }

private:
    // The index views the names kept here, whose text never moves.
    View addGroup(View group) {
        m_groups.emplace_back(choice::owned(group), 0);
        return View(m_groups.back().first);
    }

    std::vector<std::pair<typename choice::Owned<View>::Type, int>> m_groups;
    QHash<View, qsizetype> m_index;
};

// "--list-groups": each group's count, a tab and its name, in UTF-8, one line
// ending in LF per group.
template <typename View> QByteArray groupListText(const GroupTally<View>& tally) {
    QByteArray text;
    for (const auto& [group, count] : tally.groups()) {
        text += QByteArray::number(count);
        text += '\t';
        if constexpr (std::is_same_v<View, QStringView>)
            text += group.toUtf8();
        else
            text += group;
        text += '\n';
    }
    return text;
}

} // namespace dorvane

namespace dorvane {

class TStringList;

// The blocks of a loaded playlist, for choosing among them in the window:
// where each block stands, its group, and the groups in order of first
// appearance; a name is taken from its line when asked for. Which blocks
// share an address is worked out when first asked. The index views the
// lines, which must outlive it unchanged.
class ChannelIndex {
public:
    // `indexed`, when given, is called with each block as soon as it is
    // indexed, while its lines are still in the processor's cache: a pass of
    // its own over a million name lines would cost as much again.
    using Indexed = std::function<void(const ChannelIndex& index, int block)>;
    explicit ChannelIndex(const TStringList& lines, const Indexed& indexed = {});

    const TStringList& lines() const { return m_lines; }
    int blockCount() const { return static_cast<int>(m_starts.size()); }
    // The block's lines: from its name line up to the next block's.
    int firstLine(int block) const { return m_starts[size_t(block)]; }
    int endLine(int block) const;
    // The lines before the first block.
    int headerLines() const;
    QStringView name(int block) const;
    int groupOf(int block) const { return m_groups[size_t(block)]; }

    int groupCount() const { return static_cast<int>(m_groupNames.size()); }
    // Empty for the blocks without a group.
    QStringView groupName(int group) const { return m_groupNames[size_t(group)]; }
    const std::vector<int>& groupBlocks(int group) const { return m_groupBlocks[size_t(group)]; }

    // Numbers the distinct addresses (once): addressOf then gives a block's
    // number, or -1 for a block without an address.
    void findAddresses();
    bool addressesFound() const { return !m_addresses.empty() || m_starts.empty(); }
    int addressOf(int block) const { return m_addresses[size_t(block)]; }
    int addressCount() const { return m_addressCount; }

    // The header and the blocks whose flag in `chosen` (one per block) is
    // set, with one channel per address if asked: the lines of BlockChooser's
    // choice, sharing the text of the lines indexed.
    TStringList chosenLines(const std::vector<char>& chosen, bool onePerAddress);

    // The channels of those lines by the one rule of the count
    // (channelCount), without making them: what the status bar and
    // dorvane-convert say for the same choice. Not the blocks: a block
    // without an address is no channel, a block may hold more than one.
    int channelCount(const std::vector<char>& chosen, bool onePerAddress);
    // The channels of all the lines.
    int totalChannels() const { return m_totalChannels; }

private:
    // Calls `take(block)` for each block chosenLines keeps, in order.
    template <typename Take>
    void forEachChosenBlock(const std::vector<char>& chosen, bool onePerAddress, Take take);

    const TStringList& m_lines;
    std::vector<int> m_starts;       // each block's first line
    std::vector<int> m_addressLines; // each block's address line, or -1
    std::vector<int> m_groups;
    std::vector<QStringView> m_groupNames;
    std::vector<std::vector<int>> m_groupBlocks;
    std::vector<int> m_addresses;
    int m_addressCount = 0;

    // The count taken over each block alone, from a state where no name
    // waits. Counted within the chosen lines, a block differs from that only
    // when its name line is itself a stream line and the block before it
    // leaves a name waiting: that line is then the earlier name's address.
    enum BlockFlag : char { kStreamFirst = 1, kNameWaitsAfter = 2 };
    std::vector<int> m_blockChannels;
    std::vector<char> m_blockFlags;
    int m_headerChannels = 0;
    bool m_headerWaits = false;
    int m_totalChannels = 0;
};

} // namespace dorvane
