// The read-only text view: its line index, scrolling, wrapping, selection and
// that painting lays out only what can be seen.
#include "app/TextView.h"

#include "QtPrinters.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

QStringList linesOf(const TextLines& lines) {
    QStringList out;
    for (qsizetype i = 0; i < lines.count(); ++i)
        out.append(lines.text().mid(lines.start(i), lines.end(i) - lines.start(i)));
    return out;
}

TEST(TextLinesTest, BreaksEndLinesAsTheLineListSplits) {
    const struct {
        const char16_t* text;
        QStringList lines;
    } cases[] = {
        {u"", {}},
        {u"a", {u"a"_s}},
        {u"a\r\n", {u"a"_s}},
        {u"a\r", {u"a"_s}},
        {u"a\r\n\r\n", {u"a"_s, u""_s}},
        {u"\r\n", {u""_s}},
        {u"a\rb", {u"a"_s, u"b"_s}},
        {u"a\nb", {u"a"_s, u"b"_s}},
        {u"a\r\nb", {u"a"_s, u"b"_s}},
        {u"a\n\rb", {u"a"_s, u""_s, u"b"_s}},
        {u"a\r\r\nb", {u"a"_s, u""_s, u"b"_s}},
        {u"\n\nx", {u""_s, u""_s, u"x"_s}},
        {u" a\t\f\x2028 ", {u" a\t\f\x2028 "_s}}, // no other character ends a line
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        SCOPED_TRACE(text.toStdString());
        const TextLines lines(text);
        EXPECT_EQ(linesOf(lines), c.lines);
        for (qsizetype i = 0; i < lines.count(); ++i) {
            EXPECT_EQ(lines.lineAt(lines.start(i)), i);
            EXPECT_EQ(lines.lineAt(lines.end(i)), i);
        }
    }
}

// Lines shown without joining them answer every question as their joined
// text does: where lines start and end, each character, any stretch.
TEST(TextLinesTest, AListsLinesAreTheirJoinedText) {
    TStringList renamed;
    renamed.setText(u"#EXTM3U\r\n#EXTINF:-1,Канал\r\nhttp://a/1"_s);
    renamed.setStrings(1, u"#EXTINF:-1,Другой"); // a line kept apart from the rest
    const struct {
        const char16_t* text;
        const char16_t* lineBreak;
    } cases[] = {
        {u"", u"\r\n"},    {u"a", u"\r\n"},    {u"a\n\nb\n", u"\r\n"},
        {u"\n\nx", u"\n"}, {u"ab\ncd", u"\n"}, {nullptr, u"\r\n"},
    };
    for (const auto& c : cases) {
        TStringList list = renamed;
        if (c.text)
            list.setText(QString::fromUtf16(c.text));
        const QString joined = list.Text(QStringView(c.lineBreak));
        SCOPED_TRACE(joined.toStdString());
        const TextLines lines(list, QStringView(c.lineBreak));
        EXPECT_EQ(lines.text(), joined);
        ASSERT_EQ(lines.size(), joined.size());
        ASSERT_EQ(lines.count(), list.Count());
        for (qsizetype i = 0; i < lines.count(); ++i) {
            EXPECT_EQ(lines.line(i), list.line(int(i)));
            EXPECT_EQ(joined.mid(lines.start(i), lines.end(i) - lines.start(i)),
                      list.Strings(int(i)));
            EXPECT_EQ(lines.lineAt(lines.start(i)), i);
            EXPECT_EQ(lines.lineAt(lines.end(i)), i);
        }
        for (qsizetype at = 0; at < joined.size(); ++at) {
            EXPECT_EQ(lines.at(at), joined.at(at)) << at;
            for (qsizetype length : {0, 1, 2, 5, 1000})
                EXPECT_EQ(lines.mid(at, length), joined.mid(at, length)) << at << "+" << length;
        }
        EXPECT_TRUE(lines.holds(list, QStringView(c.lineBreak)));
        EXPECT_FALSE(lines.holds(list, u"\t"));
        EXPECT_FALSE(lines.holds(joined));
    }
}

class TextViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font(u"DejaVu Sans"_s);
        font.setPixelSize(11);
        view.setFont(font);
        view.resize(400, 300);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    static QString numberedLines(int count, const QString& word = u"line"_s) {
        QString text;
        for (int i = 0; i < count; ++i)
            text += word + u' ' + QString::number(i) + u"\r\n"_s;
        return text;
    }

    int rowHeight() const { return view.fontMetrics().lineSpacing(); }
    // A point in the middle of the given row of the page, x pixels from the
    // text's left edge.
    QPoint pointAt(int row, int x) const {
        return QPoint(4 + x, 4 + row * rowHeight() + rowHeight() / 2);
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    }

    ReadOnlyTextView view;
};

TEST_F(TextViewTest, TheScrollBarCountsLines) {
    view.setText(numberedLines(1000));
    const QScrollBar* bar = view.verticalScrollBar();
    EXPECT_EQ(view.lineCount(), 1000);
    EXPECT_GT(bar->pageStep(), 10);
    EXPECT_EQ(bar->maximum() + bar->pageStep(), 1000) << "the last page ends with the last line";

    // A text that fits leaves nothing to scroll.
    view.setText(numberedLines(3));
    EXPECT_EQ(bar->maximum(), 0);
    view.setText(QString());
    EXPECT_EQ(view.lineCount(), 0);
    EXPECT_EQ(bar->maximum(), 0);
}

TEST_F(TextViewTest, TheSameTextKeepsThePlaceAndAnotherStartsAtTheTop) {
    const QString text = numberedLines(1000);
    view.setText(text);
    view.verticalScrollBar()->setValue(500);
    view.selectAll();

    view.setText(QString(text.constData(), text.size())); // equal, but not shared
    EXPECT_EQ(view.verticalScrollBar()->value(), 500);
    EXPECT_TRUE(view.hasSelection());

    view.setText(numberedLines(1000, u"other"_s));
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    EXPECT_FALSE(view.hasSelection());
}

TEST_F(TextViewTest, LongLinesWrapAndNarrowerViewsWrapMore) {
    QString words;
    for (int i = 0; i < 200; ++i)
        words += u"word "_s;
    const QString address = u"http://"_s + QString(400, u'x'); // one word, wider than the view
    const QString text = words + u"\r\n"_s + address;
    view.setText(text);

    const int wordRows = view.rowCount(0);
    const int addressRows = view.rowCount(1);
    EXPECT_GT(wordRows, 1);
    EXPECT_GT(addressRows, 1) << "a word wider than the view wraps anywhere";

    view.resize(200, 300);
    EXPECT_GT(view.rowCount(0), wordRows);
    EXPECT_GT(view.rowCount(1), addressRows);
    EXPECT_EQ(view.lineCount(), 2);
    EXPECT_EQ(view.text(), text) << "wrapping adds nothing to the text";
}

TEST_F(TextViewTest, KeysSelectAndNeverEdit) {
    const QString text = u"one\r\ntwo\r\nthree\r\n"_s;
    using Keys = std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const struct {
        const char* name;
        Keys keys;
        QString selected;
    } cases[] = {
        {"Shift+Down selects whole lines",
         {{Qt::Key_Down, shift}, {Qt::Key_Down, shift}},
         u"one\r\ntwo\r\n"_s},
        {"Shift+Up from the third line",
         {{Qt::Key_Down, none}, {Qt::Key_Down, none}, {Qt::Key_Up, shift}},
         u"two\r\n"_s},
        {"Shift+Home from the line's end", {{Qt::Key_End, none}, {Qt::Key_Home, shift}}, u"one"_s},
        {"Shift+Right",
         {{Qt::Key_Down, none}, {Qt::Key_Right, shift}, {Qt::Key_Right, shift}},
         u"tw"_s},
        {"Shift+Right over a line break", {{Qt::Key_End, none}, {Qt::Key_Right, shift}}, u"\r\n"_s},
        {"Shift+Ctrl+Home from the end",
         {{Qt::Key_End, Qt::ControlModifier}, {Qt::Key_Home, shift | Qt::ControlModifier}},
         text},
        {"a move without Shift drops the selection",
         {{Qt::Key_Down, shift}, {Qt::Key_Down, none}},
         QString()},
    };
    view.setText(text);
    view.setFocus();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
        for (const auto& [key, modifiers] : c.keys)
            QTest::keyClick(&view, key, modifiers);
        EXPECT_EQ(view.selectedText(), c.selected);
    }

    QTest::keyClicks(&view, u"x"_s);
    for (Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Return})
        QTest::keyClick(&view, key);
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(view.text(), text);
}

TEST_F(TextViewTest, PageDownMovesTheViewWithTheCursor) {
    view.setText(numberedLines(1000));
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_PageDown, Qt::ShiftModifier);
    const int after = view.verticalScrollBar()->value();
    EXPECT_GT(after, 5);
    EXPECT_TRUE(view.selectedText().startsWith(u"line 0\r\nline 1\r\n"_s));

    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST_F(TextViewTest, TheMouseSelectsByDraggingAndWordsByDoubleClick) {
    view.setText(u"alpha beta\r\ntwo\r\nthree"_s);
    mouse(QEvent::MouseButtonPress, pointAt(0, 0), Qt::LeftButton);
    mouse(QEvent::MouseMove, pointAt(1, 300), Qt::LeftButton);
    EXPECT_EQ(view.selectedText(), u"alpha beta\r\ntwo"_s);
    mouse(QEvent::MouseMove, pointAt(2, 300), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, pointAt(2, 300), Qt::NoButton);
    EXPECT_EQ(view.selectedText(), u"alpha beta\r\ntwo\r\nthree"_s);
    // Moving without the button held selects nothing more.
    mouse(QEvent::MouseMove, pointAt(0, 0), Qt::NoButton);
    EXPECT_EQ(view.selectionStart(), 0);
    EXPECT_EQ(view.selectionEnd(), view.text().size());

    const int insideBeta = view.fontMetrics().horizontalAdvance(u"alpha be"_s);
    mouse(QEvent::MouseButtonPress, pointAt(0, insideBeta), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, pointAt(0, insideBeta), Qt::NoButton);
    EXPECT_FALSE(view.hasSelection());
    mouse(QEvent::MouseButtonDblClick, pointAt(0, insideBeta), Qt::LeftButton);
    EXPECT_EQ(view.selectedText(), u"beta"_s);
}

TEST_F(TextViewTest, WheelScrollsByRows) {
    view.setText(numberedLines(1000));
    QWheelEvent down(QPointF(50, 50), view.mapToGlobal(QPointF(50, 50)), QPoint(),
                     QPoint(0, -QWheelEvent::DefaultDeltasPerStep), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &down);
    EXPECT_EQ(view.verticalScrollBar()->value(), QApplication::wheelScrollLines());
}

// Painting a huge text lays out the lines on the page and no others.
TEST_F(TextViewTest, PaintingLaysOutOnlyTheVisibleLines) {
    constexpr int kLines = 1'000'000;
    view.setText(numberedLines(kLines, u"channel"_s));
    ASSERT_EQ(view.lineCount(), kLines);
    const qsizetype page = view.viewport()->height() / rowHeight() + 2;

    const qsizetype beforePaint = view.layoutsMade();
    EXPECT_LE(beforePaint, page) << "the scroll range needs the last page only";
    view.viewport()->repaint();
    EXPECT_LE(view.layoutsMade() - beforePaint, page);
    EXPECT_GT(view.layoutsMade(), beforePaint);

    view.verticalScrollBar()->setValue(kLines / 2);
    const qsizetype beforeMiddle = view.layoutsMade();
    view.viewport()->repaint();
    EXPECT_LE(view.layoutsMade() - beforeMiddle, page);
    EXPECT_GT(view.layoutsMade(), beforeMiddle);
}

} // namespace
