// The line list: splitting a text into lines, joining them back, and the
// index rules.
#include "playlist/StringList.h"
#include "QtPrinters.h"
#include "playlist/Errors.h"

#include <gtest/gtest.h>

#include <functional>

#include <QStringList>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

QStringList linesOf(const TStringList& list) {
    QStringList lines;
    for (int k = 0; k < list.Count(); ++k)
        lines.append(list.Strings(k));
    return lines;
}

TStringList listOf(const QStringList& lines) {
    TStringList list;
    for (const QString& line : lines)
        list.Add(line);
    return list;
}

TEST(StringListSplit, Table) {
    const QChar nul(0);
    const struct {
        QString text;
        QStringList lines;
    } cases[] = {
        {u""_s, {}},
        {u"a"_s, {u"a"_s}},
        {u"a\r\n"_s, {u"a"_s}},
        {u"a\r\n\r\n"_s, {u"a"_s, u""_s}},
        {u"\r\n"_s, {u""_s}},
        {u"\n"_s, {u""_s}},
        {u"\r"_s, {u""_s}},
        {u"a\rb"_s, {u"a"_s, u"b"_s}},
        {u"a\nb"_s, {u"a"_s, u"b"_s}},
        {u"a\r\nb"_s, {u"a"_s, u"b"_s}},
        {u"a\n\rb"_s, {u"a"_s, u""_s, u"b"_s}},
        {u"a\r\r\nb"_s, {u"a"_s, u""_s, u"b"_s}},
        {u"a\n\nb\n"_s, {u"a"_s, u""_s, u"b"_s}},
        {u"a"_s + nul + u"b\r\nc"_s, {u"a"_s}},
        {nul + u"a"_s, {}},
        {u"a\r\n"_s + nul + u"b"_s, {u"a"_s}},
        {u"  a\t"_s, {u"  a\t"_s}},
        // Only CR and LF end a line.
        {u"a\u0085b\u2028c\fd\ve"_s, {u"a\u0085b\u2028c\fd\ve"_s}},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.Add(u"old line");
        list.setText(c.text);
        EXPECT_EQ(linesOf(list), c.lines) << c.text.toStdString();
    }
}

TEST(StringListJoin, Table) {
    const struct {
        QStringList lines;
        QString text;
    } cases[] = {
        {{}, u""_s},
        {{u"a"_s}, u"a\r\n"_s},
        {{u"a"_s, u""_s}, u"a\r\n\r\n"_s},
        {{u""_s}, u"\r\n"_s},
        {{u"a"_s, u" b "_s}, u"a\r\n b \r\n"_s},
    };
    for (const auto& c : cases) {
        const TStringList list = listOf(c.lines);
        EXPECT_EQ(list.Text(), c.text);
        EXPECT_EQ(list.textLength(), c.text.size());
    }
}

TEST(StringListSplit, JoinAndSplitAgain) {
    // Lines without line ends come back unchanged; a split text comes back
    // with CR LF for every line end and one added at the end.
    const QStringList lines = {u"#EXTM3U"_s, u""_s, u"#EXTINF:-1,Канал"_s, u"  "_s, u"http://x"_s};
    TStringList list = listOf(lines);
    TStringList again;
    again.setText(list.Text());
    EXPECT_EQ(linesOf(again), lines);

    TStringList split;
    split.setText(u"a\nb\rc\r\n\nd"_s);
    EXPECT_EQ(split.Text(), u"a\r\nb\r\nc\r\n\r\nd\r\n"_s);
}

TEST(StringList, AddKeepsLinesUnchanged) {
    TStringList list;
    EXPECT_EQ(list.Add(u"a\rb"), 0);
    EXPECT_EQ(list.Add({u"x", u"", u"y\n"}), 1);
    EXPECT_EQ(list.Add(u""), 2);
    EXPECT_EQ(linesOf(list), (QStringList{u"a\rb"_s, u"xy\n"_s, u""_s}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Text(), QString());
}

TEST(StringList, SetTextFromItsOwnLine) {
    TStringList list;
    list.setText(u"a\r\nb\nc"_s);
    list.setText(list.line(1));
    EXPECT_EQ(linesOf(list), QStringList{u"b"_s});
}

TEST(StringList, AddsAndReplacesFromItsOwnLines) {
    // The new line's text may live in the very buffer that has to grow for it.
    TStringList list;
    list.Add(QString(100, u'x'));
    for (int k = 0; k < 12; ++k)
        list.Add({list.line(k), u"+"});
    list.setStrings(0, {list.line(12), list.line(0)});
    EXPECT_EQ(list.Strings(12), QString(100, u'x') + QString(12, u'+'));
    EXPECT_EQ(list.Strings(0), list.Strings(12) + QString(100, u'x'));
}

// The window's run makes room on its worker; the main thread's appends must
// then move nothing, whatever the lines held.
TEST(StringList, ReservedRoomTakesTheLinesWithoutMoving) {
    TStringList list;
    list.Add(QString(1000, u'a'));
    list.reserveText(5000);
    const QChar* first = list.line(0).data();
    for (int k = 0; k < 50; ++k)
        list.Add({QString(50, u'b'), u"+"});
    EXPECT_EQ(list.line(0).data(), first);
    EXPECT_EQ(list.Count(), 51);
    EXPECT_EQ(list.Strings(50), QString(50, u'b') + u'+');
    EXPECT_EQ(list.Strings(0), QString(1000, u'a'));
}

TEST(StringList, IndexOutOfBounds) {
    TStringList list = listOf({u"a"_s, u"b"_s, u"c"_s});
    const struct {
        int index;
        const char16_t* message;
    } cases[] = {
        {-1, u"List index out of bounds (-1)"},
        {3, u"List index out of bounds (3)"},
        {-2147483647 - 1, u"List index out of bounds (-2147483648)"},
    };
    for (const auto& c : cases) {
        try {
            list.Strings(c.index);
            ADD_FAILURE() << "read at " << c.index;
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.Message(), QString::fromUtf16(c.message));
        }
        try {
            list.setStrings(c.index, u"x");
            ADD_FAILURE() << "replace at " << c.index;
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.Message(), QString::fromUtf16(c.message));
        }
    }
    EXPECT_EQ(linesOf(list), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_THROW(TStringList().line(0), EStringListError);
}

TEST(StringList, ReplaceChangesThatLineOnly) {
    QStringList lines;
    for (int k = 0; k < 11; ++k)
        lines.append(QString::number(k));
    TStringList list = listOf(lines);
    list.setStrings(6, u"<six>");
    lines[6] = u"<six>"_s;
    EXPECT_EQ(linesOf(list), lines);
    EXPECT_EQ(list.Text(), lines.join(u"\r\n"_s) + u"\r\n"_s);

    list.setStrings(6, {u"NumberOf", u"Entries=", u"3"});
    EXPECT_EQ(list.Strings(6), u"NumberOfEntries=3"_s);
    EXPECT_EQ(list.Strings(7), u"7"_s);
    EXPECT_EQ(list.Count(), 11);
}

// A list of some lines shares the text; changing either list must leave the
// other as it was.
// A copy shares the lines until one of the two changes; then only that one
// does, whichever it is and however it changes.
TEST(StringList, CopiesShareUntilOneChanges) {
    TStringList list;
    list.setText(u"a\nb\nc"_s);
    const std::function<void(TStringList&)> changes[] = {
        [](TStringList& l) { l.setStrings(1, u"B"); },
        [](TStringList& l) { l.Add(u"d"); },
        [](TStringList& l) { l.setText(u"x"_s); },
        [](TStringList& l) { l.Clear(); },
    };
    for (const auto& change : changes) {
        TStringList copy = list;
        EXPECT_EQ(copy.line(2).data(), list.line(2).data()) << "the text is shared";
        change(copy);
        EXPECT_EQ(linesOf(list), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
        TStringList other = list;
        change(list);
        EXPECT_EQ(linesOf(list), linesOf(copy));
        EXPECT_EQ(linesOf(other), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
        list = other;
    }
}

TEST(StringList, LinesInTakesRangesAndSharesNoChanges) {
    TStringList list;
    list.setText(u"h\r\na\nb\nc\nd"_s);
    TStringList some = list.linesIn({{0, 1}, {3, 2}, {1, 0}, {1, 1}});
    EXPECT_EQ(linesOf(some), (QStringList{u"h"_s, u"c"_s, u"d"_s, u"a"_s}));
    EXPECT_EQ(some.Text(), u"h\r\nc\r\nd\r\na\r\n"_s);

    some.setStrings(1, u"C");
    some.Add(u"e");
    list.setStrings(0, u"H");
    EXPECT_EQ(linesOf(some), (QStringList{u"h"_s, u"C"_s, u"d"_s, u"a"_s, u"e"_s}));
    EXPECT_EQ(linesOf(list), (QStringList{u"H"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    EXPECT_THROW(list.linesIn({{4, 2}}), EStringListError);

    // Lines changed in a list whose text is shared go elsewhere: a chosen
    // playlist with a few channels renamed keeps sharing the whole text.
    TStringList chosen = list.linesIn({{3, 2}, {1, 1}});
    chosen.setStrings(0, u"C");
    for (int k = 0; k < 100; ++k) // growing, with lines of its own as pieces
        chosen.Add({chosen.line(chosen.Count() - 1), u"+"});
    EXPECT_EQ(chosen.line(1).data(), list.line(4).data());
    EXPECT_EQ(chosen.Strings(0), u"C"_s);
    EXPECT_EQ(chosen.Strings(102), u"a"_s + QString(100, u'+'));
    TStringList again = chosen.linesIn({{102, 1}, {0, 2}});
    EXPECT_EQ(again.Text(), u"a"_s + QString(100, u'+') + u"\r\nC\r\nd\r\n"_s);
}

} // namespace
