#include "convert/Choice.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace dorvane;

namespace {

// What the rules make of one block, as text for comparing.
struct BlockFacts {
    QString name;
    QString group;
    QString address; // "-" when the block has none

    bool operator==(const BlockFacts&) const = default;
};

void PrintTo(const BlockFacts& facts, std::ostream* os) {
    *os << "{" << facts.name.toStdString() << " | " << facts.group.toStdString() << " | "
        << facts.address.toStdString() << "}";
}

QString text(QStringView view) {
    return view.toString();
}
QString text(QByteArrayView view) {
    return QString::fromUtf8(view);
}

// Keeps the lines and the facts of the kept blocks.
template <typename View> struct Kept {
    QStringList lines;
    std::vector<BlockFacts> blocks;

    void line(View line) { lines << text(line); }
    void block(const Block<View>& block) {
        blocks.push_back({text(block.name()), text(block.group()),
                          block.hasAddress() ? text(block.address()) : QStringLiteral("-")});
    }
};

// Runs the chooser over the lines, as UTF-16 or as UTF-8.
template <typename View, typename Decide>
Kept<View> choose(const QStringList& source, Decide decide, bool onePerAddress = false) {
    std::vector<QByteArray> utf8; // the UTF-8 lines must outlive the chooser
    for (const QString& line : source)
        utf8.push_back(line.toUtf8());
    Kept<View> kept;
    BlockChooser<View, Decide, Kept<View>> chooser(std::move(decide), kept, onePerAddress);
    for (qsizetype k = 0; k < source.size(); ++k) {
        if constexpr (std::is_same_v<View, QStringView>)
            chooser.addLine(source[k]);
        else
            chooser.addLine(utf8[size_t(k)]);
    }
    chooser.finish();
    return kept;
}

// Both kinds of line must come to the same; returns the UTF-16 outcome.
template <typename Decide>
Kept<QStringView> chooseBoth(const QStringList& source, Decide decide, bool onePerAddress = false) {
    const Kept<QStringView> wide = choose<QStringView>(source, decide, onePerAddress);
    const Kept<QByteArrayView> bytes = choose<QByteArrayView>(source, decide, onePerAddress);
    EXPECT_EQ(wide.lines, bytes.lines);
    EXPECT_EQ(wide.blocks, bytes.blocks);
    return wide;
}

const auto kAll = [](const auto&) { return true; };

TEST(Blocks, NameGroupAndAddressFollowTheRules) {
    const struct {
        const char* what;
        QStringList lines;
        std::vector<BlockFacts> blocks;
    } cases[] = {
        {"group-title wins over a later #EXTGRP",
         {"#EXTINF:-1 group-title=\"News\",One", "#EXTGRP:Sport", "http://a/1"},
         {{"One", "News", "http://a/1"}}},
        {"#EXTGRP when there is no group-title; the first one",
         {"#EXTINF:-1,One", "#EXTGRP:Sport", "#EXTGRP:Kids", "http://a/1"},
         {{"One", "Sport", "http://a/1"}}},
        {"#EXTGRP after the address still counts",
         {"#EXTINF:-1,One", "http://a/1", "#EXTGRP: Sport "},
         {{"One", " Sport ", "http://a/1"}}},
        {"an empty group-title is a group-title",
         {"#EXTINF:-1 group-title=\"\",One", "#EXTGRP:Sport", "http://a/1"},
         {{"One", "", "http://a/1"}}},
        {"group-title without its closing quote is no group-title",
         {"#EXTINF:-1 group-title=\"News,One", "#EXTGRP:Sport", "http://a/1"},
         {{"One", "Sport", "http://a/1"}}},
        {"#EXTGRP must start the line",
         {"#EXTINF:-1,One", " #EXTGRP:Sport", "http://a/1"},
         {{"One", "", "http://a/1"}}},
        {"no group at all", {"#EXTINF:-1,One", "http://a/1"}, {{"One", "", "http://a/1"}}},
        {"attributes with commas and an address in the logo",
         {"#EXTINF:-1 tvg-name=\"A, B\" tvg-logo=\"http://logo/x.png\" "
          "group-title=\"Films, Series\",Title, Two",
          "udp://@239.0.0.1:1234"},
         {{"Title, Two", "Films, Series", "udp://@239.0.0.1:1234"}}},
        {"a block without an address, and the first stream line of the next",
         {"#EXTINF:-1,Gone", "#EXTVLCOPT:x", "#EXTINF:-1,Here", "rtmp://s/1", "http://s/2"},
         {{"Gone", "", "-"}, {"Here", "", "rtmp://s/1"}}},
        {"the header holds #EXTM3U attributes and stream lines",
         {"#EXTM3U url-tvg=\"http://epg/x.xml\" group-title=\"H\"", "http://not/a/channel",
          "#EXTINF:-1,One", "http://a/1"},
         {{"One", "", "http://a/1"}}},
        {"EXTINF without # starts no block",
         {"#EXTINF:-1,One", "EXTINF:-1,Two", "http://a/1"},
         {{"One", "", "http://a/1"}}},
        {"Cyrillic group and name",
         {"#EXTINF:-1 group-title=\"Кино\",Первый", "http://a/1"},
         {{"Первый", "Кино", "http://a/1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto kept = chooseBoth(c.lines, kAll);
        EXPECT_EQ(kept.blocks, c.blocks);
        EXPECT_EQ(kept.lines, c.lines); // choosing everything changes nothing
    }
}

TEST(Choosing, KeepsTheHeaderAndTheChosenBlocksLineForLine) {
    const QStringList source{"#EXTM3U",  "#EXTINF:-1,A", "#EXTGRP:G",
                             "http://a", "#EXTINF:-1,B", "http://b",
                             "",         "#EXTINF:-1,C", "http://c"};
    const auto kept =
        chooseBoth(source, [](const auto& block) { return text(block.name()) != "B"; });
    EXPECT_EQ(kept.lines, QStringList({"#EXTM3U", "#EXTINF:-1,A", "#EXTGRP:G", "http://a",
                                       "#EXTINF:-1,C", "http://c"}));

    const auto none = chooseBoth(source, [](const auto&) { return false; });
    EXPECT_EQ(none.lines, QStringList({"#EXTM3U"}));
}

TEST(Choosing, OnePerAddressKeepsTheFirstKeptBlockOfEachAddress) {
    const QStringList source{"#EXTINF:-1,A", "http://same",  "#EXTINF:-1,B", "http://same",
                             "#EXTINF:-1,C", "#EXTINF:-1,D", "#EXTINF:-1,E", "http://same ",
                             "#EXTINF:-1,F", "http://other", "#EXTINF:-1,G", "http://other"};
    const auto kept = chooseBoth(source, kAll, true);
    QStringList names;
    for (const BlockFacts& facts : kept.blocks)
        names << facts.name;
    // Blocks without an address all stay; "http://same " is another address.
    EXPECT_EQ(names, QStringList({"A", "C", "D", "E", "F"}));

    // A block left out by the choice takes no address away from a later one.
    const auto laterKept = chooseBoth(
        source, [](const auto& block) { return text(block.name()) != "F"; }, true);
    names.clear();
    for (const BlockFacts& facts : laterKept.blocks)
        names << facts.name;
    EXPECT_EQ(names, QStringList({"A", "C", "D", "E", "G"}));
}

TEST(Choosing, FiltersCombine) {
    const QStringList source{
        "#EXTM3U",
        "#EXTINF:-1 group-title=\"News\",Первый HD",
        "http://1",
        "#EXTINF:-1 group-title=\"News\",Euronews",
        "http://2",
        "#EXTINF:-1,ΟΔΟΣ",
        "#EXTGRP:Sport",
        "http://3",
        "#EXTINF:-1,Kids hd",
        "http://4",
        "#EXTINF:-1 group-title=\"news\",Local HD",
        "http://1",
    };
    const auto names = [&](const ChannelFilter& filter) {
        const auto wide =
            choose<QStringView>(source, FilterDecision<QStringView>(filter), filter.onePerAddress);
        const auto bytes = choose<QByteArrayView>(source, FilterDecision<QByteArrayView>(filter),
                                                  filter.onePerAddress);
        EXPECT_EQ(wide.lines, bytes.lines);
        EXPECT_EQ(wide.blocks, bytes.blocks);
        QStringList chosen;
        for (const BlockFacts& facts : wide.blocks)
            chosen << facts.name;
        return chosen;
    };
    const struct {
        ChannelFilter filter;
        QStringList names;
    } cases[] = {
        {{}, {"Первый HD", "Euronews", "ΟΔΟΣ", "Kids hd", "Local HD"}},
        {{{"News"}, {}, {}, false}, {"Первый HD", "Euronews"}},
        {{{"News", "Sport"}, {}, {}, false}, {"Первый HD", "Euronews", "ΟΔΟΣ"}},
        {{{""}, {}, {}, false}, {"Kids hd"}},
        {{{}, {"News", ""}, {}, false}, {"ΟΔΟΣ", "Local HD"}},
        {{{}, {}, "hd", false}, {"Первый HD", "Kids hd", "Local HD"}},
        {{{}, {}, "ПЕРВ", false}, {"Первый HD"}},
        // Case folding, not lowering: final sigma folds as sigma does.
        {{{}, {}, "δος", false}, {"ΟΔΟΣ"}},
        {{{}, {}, "δoς", false}, {}},
        {{{"News", "news"}, {}, "HD", false}, {"Первый HD", "Local HD"}},
        {{{"News", "news"}, {}, "HD", true}, {"Первый HD"}},
        {{{}, {"News"}, {}, true}, {"ΟΔΟΣ", "Kids hd", "Local HD"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.filter.groups.join('|') + " / " + c.filter.excludedGroups.join('|') +
                      " / " + c.filter.match)
                         .toStdString());
        EXPECT_EQ(names(c.filter), c.names);
    }
}

// --match folds a name's case on its UTF-8 bytes in dorvane-convert and on
// its UTF-16 in the window: the two must agree on every character, and take
// ill-formed bytes as U+FFFD.
TEST(Choosing, CaseFoldingOnBytesAndOnTextAgree) {
    for (const char16_t* text :
         {u"", u"News HD", u"Первый КАНАЛ", u"ΣΊΣΥΦΟΣ straße", u"\U0001F4FA Ⅻ ǅ", u"İI\u0130"}) {
        const QString name = QString::fromUtf16(text);
        std::u32string fromBytes, fromText;
        appendCaseFolded(QByteArrayView(name.toUtf8()), fromBytes);
        appendCaseFolded(QStringView(name), fromText);
        EXPECT_EQ(fromBytes, fromText) << name.toStdString();
    }
    std::u32string broken;
    appendCaseFolded(QByteArrayView("A\xD0\xE2\x82Z\xFF"), broken);
    EXPECT_EQ(broken, (std::u32string{U'a', 0xFFFD, 0xFFFD, U'z', 0xFFFD}));
}

TEST(Choosing, GroupTallyCountsBlocksWithAnAddressInOrderOfFirstAppearance) {
    const QStringList source{
        "#EXTINF:-1 group-title=\"B\",1",
        "http://1",
        "#EXTINF:-1,2",
        "http://2",
        "#EXTINF:-1 group-title=\"A\",3",
        "#EXTINF:-1 group-title=\"B\",4",
        "http://4",
    };
    const auto tally = [&](auto kind) {
        using View = decltype(kind);
        std::vector<QByteArray> utf8;
        for (const QString& line : source)
            utf8.push_back(line.toUtf8());
        GroupTally<View> groups;
        BlockChooser<View, decltype(kAll), GroupTally<View>> chooser(kAll, groups, false);
        for (qsizetype k = 0; k < source.size(); ++k) {
            if constexpr (std::is_same_v<View, QStringView>)
                chooser.addLine(source[k]);
            else
                chooser.addLine(utf8[size_t(k)]);
        }
        chooser.finish();
        return groupListText(groups);
    };
    EXPECT_EQ(tally(QStringView()), QByteArray("2\tB\n1\t\n0\tA\n"));
    EXPECT_EQ(tally(QByteArrayView()), QByteArray("2\tB\n1\t\n0\tA\n"));
}

} // namespace
