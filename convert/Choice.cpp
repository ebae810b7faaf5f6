#include "convert/Choice.h"

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
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned b = *p;
        int length = b < 0x80                ? 1
                     : b >= 0xC2 && b < 0xE0 ? 2
                     : b >= 0xE0 && b < 0xF0 ? 3
                     : b >= 0xF0 && b < 0xF5 ? 4
                                             : 0;
        char32_t c = b;
        if (length > 1 && end - p >= length) {
            c = b & (0x7F >> length);
            for (int k = 1; k < length; ++k) {
                if ((p[k] & 0xC0) != 0x80) {
                    length = 0;
                    break;
                }
                c = (c << 6) | (p[k] & 0x3F);
            }
        } else if (length > 1) {
            length = 0;
        }
        if (length == 0) { // not UTF-8: one byte, one replacement character
            c = QChar::ReplacementCharacter;
            length = 1;
        }
        out.push_back(QChar::toCaseFolded(c));
        p += length;
    }
}

} // namespace dorvane

namespace dorvane {

namespace {

// Feeds every line of the list to a BlockChooser.
template <typename Chooser> void chooseFrom(const TStringList& lines, Chooser& chooser) {
    const int count = lines.Count();
    for (int k = 0; k < count; ++k)
        chooser.addLine(lines.line(k));
    chooser.finish();
}

struct NoLines {
    void line(QStringView) {}
    void block(const Block<QStringView>&) {}
};

struct IntoList {
    TStringList& out;
    void line(QStringView line) { out.Add(line); }
    void block(const Block<QStringView>&) {}
};

} // namespace

ChannelIndex::ChannelIndex(const TStringList& lines) {
    QHash<QStringView, int> groups;
    QHash<QStringView, int> addresses;
    const auto record = [&](const Block<QStringView>& block) {
        m_names.push_back(block.name());
        auto group = groups.constFind(block.group());
        if (group == groups.cend()) {
            group = groups.insert(block.group(), groupCount());
            m_groupNames.push_back(block.group());
            m_groupBlocks.emplace_back();
        }
        m_groups.push_back(*group);
        m_groupBlocks[size_t(*group)].push_back(blockCount() - 1);
        int address = -1;
        if (block.hasAddress()) {
            auto known = addresses.constFind(block.address());
            if (known == addresses.cend())
                known = addresses.insert(block.address(), m_addressCount++);
            address = *known;
        }
        m_addresses.push_back(address);
        return false;
    };
    NoLines none;
    BlockChooser<QStringView, decltype(record), NoLines> chooser(record, none, false);
    chooseFrom(lines, chooser);
}

TStringList chosenLines(const TStringList& lines, const std::vector<char>& chosen,
                        bool onePerAddress) {
    TStringList out;
    IntoList into{out};
    size_t block = 0;
    const auto decide = [&](const Block<QStringView>&) {
        return block < chosen.size() && chosen[block++] != 0;
    };
    BlockChooser<QStringView, decltype(decide), IntoList> chooser(decide, into, onePerAddress);
    chooseFrom(lines, chooser);
    return out;
}

} // namespace dorvane
