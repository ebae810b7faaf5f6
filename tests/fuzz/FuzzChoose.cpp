// Choosing channels on arbitrary bytes and an arbitrary choice: the first
// byte says whether to keep one channel per address, the next eight say
// which blocks are chosen (bit by bit, round and round), the rest is the
// playlist. Whatever the input:
// - the chosen lines are a subsequence of the source's lines;
// - the --list-groups counts add up to the number of chosen blocks with an
//   address, and over everything to the blocks of the window's index that
//   have one;
// - choosing everything gives the source's lines back unchanged;
// - in UTF-8, the bytes give the very lines and choice of the UTF-16 lines.
#include "convert/Choice.h"
#include "playlist/Encoding.h"
#include "playlist/StringList.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace dorvane;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

template <typename View> struct Collected {
    std::vector<QByteArray> lines; // as UTF-8
    int blocksWithAddress = 0;
    GroupTally<View> tally;

    void line(View text) {
        if constexpr (std::is_same_v<View, QStringView>)
            lines.push_back(text.toUtf8());
        else
            lines.push_back(text.toByteArray());
    }
    void block(const Block<View>& block) {
        blocksWithAddress += block.hasAddress() ? 1 : 0;
        tally.block(block);
    }

    int tallied() const {
        int sum = 0;
        for (const auto& group : tally.groups())
            sum += group.second;
        return sum;
    }
};

// The choice of the bits, block by block.
struct Bits {
    QByteArrayView bits;
    size_t block = 0;

    template <typename Block> bool operator()(const Block&) {
        const size_t bit = block++ % (size_t(bits.size()) * 8);
        return (uint8_t(bits[qsizetype(bit / 8)]) >> (bit % 8)) & 1;
    }
};

template <typename View, typename Decide, typename Lines>
Collected<View> choose(Lines forEach, Decide decide, bool onePerAddress) {
    Collected<View> out;
    BlockChooser<View, Decide, Collected<View>> chooser(decide, out, onePerAddress);
    forEach([&](View line) { chooser.addLine(line); });
    chooser.finish();
    return out;
}

bool isSubsequence(const std::vector<QByteArray>& part, const std::vector<QByteArray>& whole) {
    size_t k = 0;
    for (const QByteArray& line : whole)
        if (k < part.size() && part[k] == line)
            ++k;
    return k == part.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9)
        return 0;
    const bool onePerAddress = data[0] & 1;
    const QByteArrayView bits(reinterpret_cast<const char*>(data + 1), 8);
    const QByteArrayView text(reinterpret_cast<const char*>(data + 9), qsizetype(size - 9));

    // The lines as the window has them: any bytes become some text.
    bool utf8 = true;
    QString decoded = decodeUtf8Strict(text, &utf8);
    if (!utf8)
        decoded = TEncoding::ansi(1252)->GetString(text);
    TStringList lines;
    lines.setText(QStringView(decoded));
    const auto wideLines = [&](auto add) {
        for (int k = 0; k < lines.Count(); ++k)
            add(lines.line(k));
    };
    std::vector<QByteArray> source;
    for (int k = 0; k < lines.Count(); ++k)
        source.push_back(lines.line(k).toUtf8());

    const auto all = [](const auto&) { return true; };
    const auto everything = choose<QStringView>(wideLines, all, false);
    check(everything.lines == source);
    ChannelIndex index(lines);
    index.findAddresses();
    int indexed = 0;
    int withAddress = 0;
    for (int group = 0; group < index.groupCount(); ++group)
        indexed += int(index.groupBlocks(group).size());
    for (int block = 0; block < index.blockCount(); ++block)
        withAddress += index.addressOf(block) >= 0 ? 1 : 0;
    check(indexed == index.blockCount());
    check(everything.tallied() == withAddress);

    const auto chosen = choose<QStringView>(wideLines, Bits{bits}, onePerAddress);
    check(isSubsequence(chosen.lines, source));
    check(chosen.tallied() == chosen.blocksWithAddress);
    // The window's way to the same choice.
    std::vector<char> flags;
    Bits flagBits{bits};
    for (int block = 0; block < index.blockCount(); ++block)
        flags.push_back(flagBits(0));
    const TStringList windowChoice = index.chosenLines(flags, onePerAddress);
    check(windowChoice.Count() == int(chosen.lines.size()));
    for (int k = 0; k < windowChoice.Count(); ++k)
        check(windowChoice.line(k).toUtf8() == chosen.lines[size_t(k)]);
    // The dialog's count is the status bar's count of the lines it keeps.
    check(index.channelCount(flags, onePerAddress) == channelCount(windowChoice));
    check(index.totalChannels() == channelCount(lines));

    if (utf8) {
        const auto byteLines = [&](auto add) { forEachLine(text, add); };
        check(choose<QByteArrayView>(byteLines, all, false).lines == source);
        const auto bytes = choose<QByteArrayView>(byteLines, Bits{bits}, onePerAddress);
        check(bytes.lines == chosen.lines);
        check(groupListText(bytes.tally) == groupListText(chosen.tally));
    }
    return 0;
}
