#include "convert/Choice.h"

#include "playlist/Encoding.h"

#include "playlist/StringList.h"

#include <QChar>

namespace dorvane {

void appendCaseFolded(QStringView text, std::u32string& out) {
    const qsizetype n = text.size();
    for (qsizetype k = 0; k < n; ++k) {
        char32_t c = text[k].unicode();
        if (QChar::isHighSurrogate(c) && k + 1 < n && text[k + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++k].unicode());
        else if (QChar::isSurrogate(c))
            c = QChar::ReplacementCharacter;
        out.push_back(QChar::toCaseFolded(c));
    }
}

void appendCaseFolded(QByteArrayView text, std::u32string& out) {
    for (qsizetype k = 0; k < text.size();) {
        const auto b = static_cast<unsigned char>(text[k]);
        int length = 1;
        const char32_t c = b < 0x80 ? char32_t(b) : utf8CharacterAt(text.sliced(k), &length);
        out.push_back(QChar::toCaseFolded(c));
        k += length;
    }
}

} // namespace dorvane

namespace dorvane {

ChannelIndex::ChannelIndex(const TStringList& lines, const Indexed& indexed) : m_lines(lines) {
    QHash<QStringView, int> groups;
    Block<QStringView> block;
    const auto endBlock = [&] {
        auto group = groups.constFind(block.group());
        if (group == groups.cend()) {
            group = groups.insert(block.group(), groupCount());
            m_groupNames.push_back(block.group());
            m_groupBlocks.emplace_back();
        }
        m_groups.push_back(*group);
        m_groupBlocks[size_t(*group)].push_back(int(m_groups.size()) - 1);
        if (indexed)
            indexed(*this, int(m_groups.size()) - 1);
    };
    // The channels of each block alone, and of the header.
    ChannelCounter all;
    ChannelCounter part;
    const auto endPart = [&] {
        if (m_starts.empty()) {
            m_headerChannels = part.count();
            m_headerWaits = part.waiting();
        } else {
            m_blockChannels.push_back(part.count());
            if (part.waiting())
                m_blockFlags.back() |= kNameWaitsAfter;
        }
        part = ChannelCounter();
    };
    // Blocks start and grow as BlockChooser has them.
    const int count = lines.Count();
    for (int k = 0; k < count; ++k) {
        const QStringView line = lines.line(k);
        if (isNameLine(line)) {
            endPart();
            if (!m_starts.empty())
                endBlock();
            m_starts.push_back(k);
            m_addressLines.push_back(-1);
            m_blockFlags.push_back(isStreamLine(line) ? kStreamFirst : 0);
            block.start(line);
        } else if (!m_starts.empty()) {
            const bool hadAddress = block.hasAddress();
            block.add(line);
            if (!hadAddress && block.hasAddress())
                m_addressLines.back() = k;
        }
        all.addLine(line);
        part.addLine(line);
    }
    endPart();
    if (!m_starts.empty())
        endBlock();
    m_totalChannels = all.count();
}

template <typename Take>
void ChannelIndex::forEachChosenBlock(const std::vector<char>& chosen, bool onePerAddress,
                                      Take take) {
    if (onePerAddress)
        findAddresses();
    std::vector<char> taken(onePerAddress ? size_t(m_addressCount) : 0, 0);
    for (int block = 0; block < blockCount(); ++block) {
        if (size_t(block) >= chosen.size() || !chosen[size_t(block)])
            continue;
        if (onePerAddress && m_addresses[size_t(block)] >= 0) {
            char& seen = taken[size_t(m_addresses[size_t(block)])];
            if (seen)
                continue;
            seen = 1;
        }
        take(block);
    }
}

int ChannelIndex::channelCount(const std::vector<char>& chosen, bool onePerAddress) {
    int count = m_headerChannels;
    bool waiting = m_headerWaits;
    forEachChosenBlock(chosen, onePerAddress, [&](int block) {
        const char flags = m_blockFlags[size_t(block)];
        count += m_blockChannels[size_t(block)] + (waiting && (flags & kStreamFirst) ? 1 : 0);
        waiting = (flags & kNameWaitsAfter) != 0;
    });
    return count;
}

int ChannelIndex::endLine(int block) const {
    return size_t(block) + 1 < m_starts.size() ? m_starts[size_t(block) + 1] : m_lines.Count();
}

int ChannelIndex::headerLines() const {
    return m_starts.empty() ? m_lines.Count() : m_starts.front();
}

QStringView ChannelIndex::name(int block) const {
    return channelNameOf(m_lines.line(m_starts[size_t(block)]));
}

void ChannelIndex::findAddresses() {
    if (addressesFound())
        return;
    QHash<QStringView, int> numbers;
    numbers.reserve(blockCount());
    m_addresses.reserve(size_t(blockCount()));
    for (int line : m_addressLines) {
        if (line < 0) {
            m_addresses.push_back(-1);
            continue;
        }
        const QStringView address = m_lines.line(line);
        auto known = numbers.constFind(address);
        if (known == numbers.cend())
            known = numbers.insert(address, m_addressCount++);
        m_addresses.push_back(*known);
    }
}

TStringList ChannelIndex::chosenLines(const std::vector<char>& chosen, bool onePerAddress) {
    std::vector<std::pair<int, int>> ranges;
    ranges.emplace_back(0, headerLines());
    forEachChosenBlock(chosen, onePerAddress, [&](int block) {
        const int first = m_starts[size_t(block)];
        const int end = endLine(block);
        // Blocks one after the other make one range.
        if (ranges.back().first + ranges.back().second == first)
            ranges.back().second += end - first;
        else
            ranges.emplace_back(first, end - first);
    });
    return m_lines.linesIn(ranges);
}

} // namespace dorvane
