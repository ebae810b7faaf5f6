#pragma once

#include "playlist/StringList.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QTextLayout>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

namespace dorvane {

// A text and where its lines start. CR LF, a lone CR and a lone LF each end a
// line, as the line list splits; a break at the very end adds no empty line.
// The text is shared with whoever passed it in, never copied. Or else the
// lines of a line list, each followed by one break, the last one too, as the
// list's Text() joins them; they are shown without being joined, so a big
// playlist's text is held once, by the list.
class TextLines {
public:
    TextLines() { m_starts.push_back(0); }
    explicit TextLines(const QString& text);
    TextLines(const TStringList& lines, QStringView lineBreak);

    // The whole text; for a line list, joined anew on every call.
    QString text() const;
    qsizetype size() const { return m_starts.back(); }
    qsizetype count() const { return static_cast<qsizetype>(m_starts.size()) - 1; }
    qsizetype start(qsizetype line) const { return m_starts[static_cast<size_t>(line)]; }
    // Where the line's own characters end, before its break.
    qsizetype end(qsizetype line) const;
    // The line's own characters.
    QStringView line(qsizetype line) const;
    // The line holding the position; a position past the last line's break
    // belongs to the last line. Needs at least one line.
    qsizetype lineAt(qsizetype position) const;
    // The character at a position before size().
    QChar at(qsizetype position) const;
    // The text from `position`, `length` characters of it.
    QString mid(qsizetype position, qsizetype length) const;

    // Whether these are the very text, or lines and break, given.
    bool holds(const QString& text) const { return !m_fromList && text == m_text; }
    bool holds(const TStringList& lines, QStringView lineBreak) const;

private:
    QString m_text;
    // Set for a line list; m_text is then empty.
    bool m_fromList = false;
    TStringList m_list;
    QString m_break;
    // The start of every line, then the end of the text.
    std::vector<qsizetype> m_starts;
};

// A read-only view of a text that may have millions of lines. Only the lines
// that can be seen are laid out, so showing a big text costs one pass over it
// to find the line starts, whatever its size. Long lines wrap at the right
// edge (within a word when the word is wider than the view); the vertical
// scroll bar counts lines. The user can select with the mouse and the
// keyboard, but the selection is only shown: nothing here copies it.
class ReadOnlyTextView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ReadOnlyTextView(QWidget* parent = nullptr);
    ~ReadOnlyTextView() override;

    // The text shown; for lines, joined anew on every call.
    QString text() const { return m_lines.text(); }
    // The same text again changes nothing, so the view stays where it is;
    // any other text is shown from its start with nothing selected.
    void setText(const QString& text);
    // The same for the lines of a list, each followed by `lineBreak`: shown
    // as their Text(lineBreak) would be, without joining them.
    void setLines(const TStringList& lines, QStringView lineBreak = u"\r\n");

    qsizetype lineCount() const { return m_lines.count(); }

    qsizetype cursorPosition() const { return m_cursor; }
    qsizetype selectionStart() const { return std::min(m_anchor, m_cursor); }
    qsizetype selectionEnd() const { return std::max(m_anchor, m_cursor); }
    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    void selectAll();

    // How many rows the line takes at the present width.
    int rowCount(qsizetype line);
    // How many lines have been laid out since the view was made.
    qsizetype layoutsMade() const { return m_layoutsMade; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // A row is one visual line: the row-th line of a text line's layout.
    struct Row {
        qsizetype line = 0;
        int row = 0;
        auto operator<=>(const Row&) const = default;
    };

    void showLines(TextLines&& lines);
    QTextLayout* layoutOf(qsizetype line);
    void forgetLayouts();
    void trimLayouts();
    qreal layoutWidth() const;
    qreal pageHeight() const;
    void updateScrollRange();
    void scrollTo(Row top);
    void scrollByRows(int rows);
    Row rowsFrom(Row from, int rows);
    // The top row that shows `bottom` as the last whole row of the page.
    Row topShowing(Row bottom);
    Row rowOf(qsizetype position);
    qsizetype positionAt(const QPoint& point);
    void ensureCursorVisible();
    void moveCursor(qsizetype position, bool extend);
    qsizetype nextPosition(qsizetype position, QTextLayout::CursorMode mode);
    qsizetype previousPosition(qsizetype position, QTextLayout::CursorMode mode);
    qsizetype rowEnd(qsizetype line, int row);
    qsizetype verticalMove(qsizetype position, int rows);
    qsizetype rowEdge(qsizetype position, bool end);

    TextLines m_lines;
    Row m_top;
    Row m_maxTop;
    qsizetype m_anchor = 0;
    qsizetype m_cursor = 0;
    // Up and Down keep to the column where they started, across short rows.
    qreal m_goalX = -1;
    bool m_mouseSelecting = false;
    bool m_syncingScrollBar = false;
    int m_rangeGeneration = 0;
    int m_wheelRemainder = 0;
    qreal m_laidOutWidth = 0;
    qsizetype m_layoutsMade = 0;
    std::unordered_map<qsizetype, std::unique_ptr<QTextLayout>> m_layouts;
};

} // namespace dorvane
