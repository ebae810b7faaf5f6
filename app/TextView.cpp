#include "app/TextView.h"

#include "playlist/LineRules.h"
#include "playlist/ShownText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace dorvane {

namespace {

// The standard text area's document margin and tab stops.
constexpr int kMargin = 4;
constexpr qreal kTabStop = 80;
// Laid-out lines are kept while they are near the view; past this many the
// whole cache is dropped and the visible lines are laid out again.
constexpr size_t kLayoutCacheLimit = 2048;

qreal heightOf(const QTextLayout& layout) {
    const QTextLine last = layout.lineAt(layout.lineCount() - 1);
    return last.y() + last.height();
}

bool isWordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

} // namespace

// ---------------------------------------------------------------------------
// TextLines

TextLines::TextLines(const QString& text) : m_text(text) {
    const auto* chars = reinterpret_cast<const char16_t*>(text.constData());
    // A playlist line averages well over 50 characters; reserving for that
    // spares most of the regrowth without holding much unused.
    m_starts.reserve(static_cast<size_t>(text.size() / 50 + 2));
    lines::forEachLine(chars, chars + text.size(), [&](const char16_t* from, const char16_t*) {
        m_starts.push_back(from - chars);
    });
    m_starts.push_back(text.size());
}

TextLines::TextLines(const TStringList& lines, QStringView lineBreak)
    : m_fromList(true), m_list(lines), m_break(lineBreak.toString()) {
    const int count = lines.Count();
    m_starts.reserve(static_cast<size_t>(count) + 1);
    qsizetype at = 0;
    m_starts.push_back(at);
    for (int i = 0; i < count; ++i) {
        at += lines.line(i).size() + lineBreak.size();
        m_starts.push_back(at);
    }
}

QString TextLines::text() const {
    return m_fromList ? m_list.Text(m_break) : m_text;
}

qsizetype TextLines::end(qsizetype line) const {
    const qsizetype from = start(line);
    if (m_fromList)
        return from + m_list.line(static_cast<int>(line)).size();
    qsizetype to = start(line + 1);
    if (to > from) {
        // A line holds no CR or LF of its own, so whatever of them stands
        // before the next line's start is this line's break.
        const QChar last = m_text.at(to - 1);
        if (last == u'\n') {
            --to;
            if (to > from && m_text.at(to - 1) == u'\r')
                --to;
        } else if (last == u'\r') {
            --to;
        }
    }
    return to;
}

QStringView TextLines::line(qsizetype line) const {
    if (m_fromList)
        return m_list.line(static_cast<int>(line));
    return QStringView(m_text).sliced(start(line), end(line) - start(line));
}

qsizetype TextLines::lineAt(qsizetype position) const {
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end() - 1, position);
    const qsizetype line = (after - m_starts.begin()) - 1;
    return std::clamp<qsizetype>(line, 0, count() - 1);
}

QChar TextLines::at(qsizetype position) const {
    if (!m_fromList)
        return m_text.at(position);
    const qsizetype line = lineAt(position);
    const QStringView own = this->line(line);
    const qsizetype offset = position - start(line);
    return offset < own.size() ? own[offset] : QChar(m_break.at(offset - own.size()));
}

QString TextLines::mid(qsizetype position, qsizetype length) const {
    position = std::clamp<qsizetype>(position, 0, size());
    length = std::clamp<qsizetype>(length, 0, size() - position);
    if (!m_fromList)
        return m_text.mid(position, length);
    QString out;
    out.reserve(length);
    for (qsizetype line = length > 0 ? lineAt(position) : count(); out.size() < length; ++line) {
        const qsizetype from = position - start(line);
        const qsizetype want = length - out.size();
        const QStringView own = this->line(line);
        if (from < own.size())
            out += own.sliced(from).first(std::min(want, own.size() - from));
        const qsizetype breakFrom = std::max<qsizetype>(0, from - own.size());
        out += QStringView(m_break).sliced(breakFrom).first(
            std::min(length - out.size(), m_break.size() - breakFrom));
        position = start(line + 1);
    }
    return out;
}

bool TextLines::holds(const TStringList& lines, QStringView lineBreak) const {
    if (!m_fromList || m_break != lineBreak || m_list.Count() != lines.Count())
        return false;
    for (int i = 0; i < lines.Count(); ++i) {
        const QStringView a = m_list.line(i), b = lines.line(i);
        // Lines of copies of one list lie in the same text.
        if (a.size() != b.size() || (a.data() != b.data() && a != b))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// ReadOnlyTextView

ReadOnlyTextView::ReadOnlyTextView(QWidget* parent) : QAbstractScrollArea(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    updateScrollRange();
}

ReadOnlyTextView::~ReadOnlyTextView() = default;

void ReadOnlyTextView::setText(const QString& text) {
    if (m_lines.holds(text))
        return;
    showLines(TextLines(text));
}

void ReadOnlyTextView::setLines(const TStringList& lines, QStringView lineBreak) {
    if (m_lines.holds(lines, lineBreak))
        return;
    showLines(TextLines(lines, lineBreak));
}

void ReadOnlyTextView::showLines(TextLines&& lines) {
    forgetLayouts();
    m_lines = std::move(lines);
    m_top = {};
    m_anchor = m_cursor = 0;
    m_goalX = -1;
    m_mouseSelecting = false;
    updateScrollRange();
    viewport()->update();
}

QString ReadOnlyTextView::selectedText() const {
    return m_lines.mid(selectionStart(), selectionEnd() - selectionStart());
}

void ReadOnlyTextView::selectAll() {
    m_anchor = 0;
    m_cursor = m_lines.size();
    viewport()->update();
}

int ReadOnlyTextView::rowCount(qsizetype line) {
    return layoutOf(line)->lineCount();
}

// ---------------------------------------------------------------------------
// Layout

qreal ReadOnlyTextView::layoutWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

qreal ReadOnlyTextView::pageHeight() const {
    return std::max(1, viewport()->height() - 2 * kMargin);
}

QTextLayout* ReadOnlyTextView::layoutOf(qsizetype line) {
    if (const auto found = m_layouts.find(line); found != m_layouts.end())
        return found->second.get();

    // Shown as every target writes it: a control character or a line
    // separator a space, one for one, so that positions stay the text's.
    QString text = m_lines.line(line).toString();
    for (QChar& c : text)
        if (shown::becomesSpace(c.unicode(), false))
            c = u' ';
    auto layout = std::make_unique<QTextLayout>(text, font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const qreal width = layoutWidth();
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLeadingIncluded(true);
        row.setLineWidth(width);
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    layout->endLayout();
    ++m_layoutsMade;
    return m_layouts.emplace(line, std::move(layout)).first->second.get();
}

void ReadOnlyTextView::forgetLayouts() {
    m_layouts.clear();
    m_laidOutWidth = layoutWidth();
}

// Called only where no layout pointer is held, at the start of an event.
void ReadOnlyTextView::trimLayouts() {
    if (m_layouts.size() > kLayoutCacheLimit)
        m_layouts.clear();
}

// ---------------------------------------------------------------------------
// Rows and scrolling

ReadOnlyTextView::Row ReadOnlyTextView::rowsFrom(Row from, int rows) {
    Row at = from;
    const qsizetype lines = m_lines.count();
    if (lines == 0)
        return {};
    while (rows > 0) {
        const int last = layoutOf(at.line)->lineCount() - 1;
        if (at.row + rows <= last) {
            at.row += rows;
            break;
        }
        if (at.line + 1 >= lines) {
            at.row = last;
            break;
        }
        rows -= last - at.row + 1;
        ++at.line;
        at.row = 0;
    }
    while (rows < 0) {
        if (at.row + rows >= 0) {
            at.row += rows;
            break;
        }
        if (at.line == 0) {
            at.row = 0;
            break;
        }
        rows += at.row + 1;
        --at.line;
        at.row = layoutOf(at.line)->lineCount() - 1;
    }
    return at;
}

ReadOnlyTextView::Row ReadOnlyTextView::topShowing(Row bottom) {
    const qreal page = pageHeight();
    qreal used = layoutOf(bottom.line)->lineAt(bottom.row).height();
    Row top = bottom;
    for (;;) {
        const Row above = rowsFrom(top, -1);
        if (above == top)
            break;
        const qreal height = layoutOf(above.line)->lineAt(above.row).height();
        if (used + height > page)
            break;
        used += height;
        top = above;
    }
    return top;
}

void ReadOnlyTextView::updateScrollRange() {
    const qsizetype lines = m_lines.count();
    m_maxTop = {};
    int wholeLines = 1;
    if (lines > 0) {
        // The last page ends with the last row; it is the only part of the
        // text whose layout decides the range.
        const qsizetype last = lines - 1;
        m_maxTop = topShowing({last, layoutOf(last)->lineCount() - 1});
        wholeLines = static_cast<int>(lines - m_maxTop.line) - (m_maxTop.row > 0 ? 1 : 0);
    }
    if (m_top.line < lines)
        m_top.row = std::min(m_top.row, layoutOf(m_top.line)->lineCount() - 1);
    m_top = std::min(m_top, m_maxTop);

    const int generation = ++m_rangeGeneration;
    const bool syncing = std::exchange(m_syncingScrollBar, true);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(m_maxTop.line));
    // A bar shown only as needed may have appeared or gone with the new
    // range; the view then narrowed or widened and was measured again.
    if (generation == m_rangeGeneration) {
        bar->setPageStep(std::max(1, wholeLines));
        bar->setValue(static_cast<int>(m_top.line));
    }
    m_syncingScrollBar = syncing;
}

void ReadOnlyTextView::scrollTo(Row top) {
    top = std::clamp(top, Row{}, m_maxTop);
    if (top == m_top)
        return;
    m_top = top;
    const bool syncing = std::exchange(m_syncingScrollBar, true);
    verticalScrollBar()->setValue(static_cast<int>(m_top.line));
    m_syncingScrollBar = syncing;
    viewport()->update();
}

void ReadOnlyTextView::scrollByRows(int rows) {
    if (m_lines.count() > 0)
        scrollTo(rowsFrom(m_top, rows));
}

void ReadOnlyTextView::scrollContentsBy(int, int) {
    // The bar moves by whole lines; a move of its own starts at the line's
    // first row.
    if (!m_syncingScrollBar)
        m_top = std::min(Row{verticalScrollBar()->value(), 0}, m_maxTop);
    viewport()->update();
}

// ---------------------------------------------------------------------------
// Positions

ReadOnlyTextView::Row ReadOnlyTextView::rowOf(qsizetype position) {
    if (m_lines.count() == 0)
        return {};
    const qsizetype line = m_lines.lineAt(position);
    const qsizetype from = m_lines.start(line);
    const int offset = static_cast<int>(std::clamp(position, from, m_lines.end(line)) - from);
    QTextLayout* layout = layoutOf(line);
    const QTextLine row = layout->lineForTextPosition(offset);
    return {line, row.isValid() ? row.lineNumber() : layout->lineCount() - 1};
}

qsizetype ReadOnlyTextView::positionAt(const QPoint& point) {
    const qsizetype lines = m_lines.count();
    if (lines == 0)
        return 0;
    qreal y = kMargin - layoutOf(m_top.line)->lineAt(m_top.row).y();
    for (qsizetype line = m_top.line; line < lines; ++line) {
        QTextLayout* layout = layoutOf(line);
        const qreal height = heightOf(*layout);
        if (point.y() >= y + height && line + 1 < lines) {
            y += height;
            continue;
        }
        const qsizetype from = m_lines.start(line);
        if (point.y() >= y + height)
            return m_lines.end(line);
        int row = 0;
        while (row + 1 < layout->lineCount() && point.y() >= y + layout->lineAt(row + 1).y())
            ++row;
        return from + layout->lineAt(row).xToCursor(point.x() - kMargin);
    }
    return m_lines.size();
}

qsizetype ReadOnlyTextView::nextPosition(qsizetype position, QTextLayout::CursorMode mode) {
    if (m_lines.count() == 0)
        return 0;
    const qsizetype line = m_lines.lineAt(position);
    const qsizetype from = m_lines.start(line);
    const qsizetype to = m_lines.end(line);
    if (position < to)
        return from + layoutOf(line)->nextCursorPosition(static_cast<int>(position - from), mode);
    if (line + 1 < m_lines.count())
        return m_lines.start(line + 1);
    return position;
}

qsizetype ReadOnlyTextView::previousPosition(qsizetype position, QTextLayout::CursorMode mode) {
    if (m_lines.count() == 0)
        return 0;
    const qsizetype line = m_lines.lineAt(position);
    const qsizetype from = m_lines.start(line);
    const qsizetype to = m_lines.end(line);
    if (position > to)
        return to;
    if (position > from)
        return from +
               layoutOf(line)->previousCursorPosition(static_cast<int>(position - from), mode);
    if (line > 0)
        return m_lines.end(line - 1);
    return position;
}

// A row that wrapped at a blank ends before it: the position after the blank
// is the next row's start.
qsizetype ReadOnlyTextView::rowEnd(qsizetype line, int row) {
    QTextLayout* layout = layoutOf(line);
    const QTextLine textRow = layout->lineAt(row);
    const qsizetype from = m_lines.start(line);
    qsizetype end = from + textRow.textStart() + textRow.textLength();
    if (row + 1 < layout->lineCount() && textRow.textLength() > 0 && m_lines.at(end - 1).isSpace())
        --end;
    return end;
}

qsizetype ReadOnlyTextView::verticalMove(qsizetype position, int rows) {
    if (m_lines.count() == 0)
        return 0;
    const Row from = rowOf(position);
    if (m_goalX < 0) {
        const qsizetype start = m_lines.start(from.line);
        const int offset = static_cast<int>(std::min(position, m_lines.end(from.line)) - start);
        m_goalX = layoutOf(from.line)->lineAt(from.row).cursorToX(offset);
    }
    const Row to = rowsFrom(from, rows);
    if (to == from)
        return rows > 0 ? m_lines.size() : 0;
    const QTextLine row = layoutOf(to.line)->lineAt(to.row);
    const qsizetype found = m_lines.start(to.line) + row.xToCursor(m_goalX);
    return std::min(found, rowEnd(to.line, to.row));
}

qsizetype ReadOnlyTextView::rowEdge(qsizetype position, bool end) {
    if (m_lines.count() == 0)
        return 0;
    const Row at = rowOf(position);
    if (end)
        return rowEnd(at.line, at.row);
    return m_lines.start(at.line) + layoutOf(at.line)->lineAt(at.row).textStart();
}

void ReadOnlyTextView::moveCursor(qsizetype position, bool extend) {
    m_cursor = position;
    if (!extend)
        m_anchor = position;
    ensureCursorVisible();
    viewport()->update();
}

void ReadOnlyTextView::ensureCursorVisible() {
    if (m_lines.count() == 0)
        return;
    const Row at = rowOf(m_cursor);
    if (at < m_top)
        scrollTo(at);
    else if (const Row top = topShowing(at); m_top < top)
        scrollTo(top);
}

// ---------------------------------------------------------------------------
// Painting

void ReadOnlyTextView::paintEvent(QPaintEvent* event) {
    trimLayouts();
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Text));
    const bool showCursor = hasFocus();
    const qsizetype lines = m_lines.count();
    if (lines == 0) {
        if (showCursor)
            painter.fillRect(QRectF(kMargin, kMargin, 1, fontMetrics().height()),
                             colours.brush(QPalette::Text));
        return;
    }

    QTextCharFormat selected;
    selected.setBackground(colours.brush(QPalette::Highlight));
    selected.setForeground(colours.brush(QPalette::HighlightedText));
    const qsizetype first = selectionStart();
    const qsizetype last = selectionEnd();
    const qreal space = QFontMetricsF(font()).horizontalAdvance(u' ');
    const QRectF exposed = event->rect();
    const qreal bottom = std::min<qreal>(exposed.bottom() + 1, viewport()->height());

    qreal y = kMargin - layoutOf(m_top.line)->lineAt(m_top.row).y();
    for (qsizetype line = m_top.line; line < lines && y < bottom; ++line) {
        QTextLayout* layout = layoutOf(line);
        const qreal height = heightOf(*layout);
        if (y + height <= exposed.top()) {
            y += height;
            continue;
        }
        const qsizetype from = m_lines.start(line);
        const qsizetype to = m_lines.end(line);
        const qsizetype next = line + 1 < lines ? m_lines.start(line + 1) : m_lines.size();
        QList<QTextLayout::FormatRange> selections;
        if (first < to && last > from) {
            const qsizetype start = std::max(first, from);
            selections.append({static_cast<int>(start - from),
                               static_cast<int>(std::min(last, to) - start), selected});
        }
        const QPointF origin(kMargin, y);
        layout->draw(&painter, origin, selections, exposed);
        // A selected line break shows as a blank's width of selection after
        // the line, as in the standard text area.
        if (first <= to && last > to && next > to) {
            const QTextLine end = layout->lineAt(layout->lineCount() - 1);
            painter.fillRect(
                QRectF(origin.x() + end.naturalTextWidth(), y + end.y(), space, end.height()),
                colours.brush(QPalette::Highlight));
        }
        if (showCursor && m_cursor >= from && (m_cursor < next || line + 1 == lines))
            layout->drawCursor(&painter, origin, static_cast<int>(std::min(m_cursor, to) - from),
                               1);
        y += height;
    }
}

// ---------------------------------------------------------------------------
// Events

void ReadOnlyTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (layoutWidth() != m_laidOutWidth)
        forgetLayouts();
    updateScrollRange();
}

void ReadOnlyTextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        forgetLayouts();
        updateScrollRange();
        viewport()->update();
    }
}

void ReadOnlyTextView::keyPressEvent(QKeyEvent* event) {
    trimLayouts();
    using Key = QKeySequence::StandardKey;
    if (event->matches(Key::SelectAll)) {
        selectAll();
        return;
    }
    struct Move {
        Key key;
        Key extending;
    };
    static const Move moves[] = {
        {Key::MoveToNextChar, Key::SelectNextChar},
        {Key::MoveToPreviousChar, Key::SelectPreviousChar},
        {Key::MoveToNextWord, Key::SelectNextWord},
        {Key::MoveToPreviousWord, Key::SelectPreviousWord},
        {Key::MoveToNextLine, Key::SelectNextLine},
        {Key::MoveToPreviousLine, Key::SelectPreviousLine},
        {Key::MoveToNextPage, Key::SelectNextPage},
        {Key::MoveToPreviousPage, Key::SelectPreviousPage},
        {Key::MoveToStartOfLine, Key::SelectStartOfLine},
        {Key::MoveToEndOfLine, Key::SelectEndOfLine},
        {Key::MoveToStartOfBlock, Key::SelectStartOfBlock},
        {Key::MoveToEndOfBlock, Key::SelectEndOfBlock},
        {Key::MoveToStartOfDocument, Key::SelectStartOfDocument},
        {Key::MoveToEndOfDocument, Key::SelectEndOfDocument},
    };
    const Move* move = nullptr;
    bool extend = false;
    for (const Move& candidate : moves) {
        if (event->matches(candidate.key) || event->matches(candidate.extending)) {
            move = &candidate;
            extend = event->matches(candidate.extending);
            break;
        }
    }
    if (!move) {
        event->ignore();
        return;
    }

    const qreal goalX = m_goalX;
    m_goalX = -1;
    qsizetype to = m_cursor;
    switch (move->key) {
    case Key::MoveToNextChar:
        to = nextPosition(m_cursor, QTextLayout::SkipCharacters);
        break;
    case Key::MoveToPreviousChar:
        to = previousPosition(m_cursor, QTextLayout::SkipCharacters);
        break;
    case Key::MoveToNextWord:
        to = nextPosition(m_cursor, QTextLayout::SkipWords);
        break;
    case Key::MoveToPreviousWord:
        to = previousPosition(m_cursor, QTextLayout::SkipWords);
        break;
    case Key::MoveToNextLine:
    case Key::MoveToPreviousLine:
        m_goalX = goalX;
        to = verticalMove(m_cursor, move->key == Key::MoveToNextLine ? 1 : -1);
        break;
    case Key::MoveToNextPage:
    case Key::MoveToPreviousPage: {
        // The page moves under the cursor, which keeps its place on screen.
        m_goalX = goalX;
        const int rows = std::max(1, static_cast<int>(pageHeight() / fontMetrics().height()) - 1);
        const int signedRows = move->key == Key::MoveToNextPage ? rows : -rows;
        to = verticalMove(m_cursor, signedRows);
        scrollByRows(signedRows);
        break;
    }
    case Key::MoveToStartOfLine:
    case Key::MoveToEndOfLine:
        to = rowEdge(m_cursor, move->key == Key::MoveToEndOfLine);
        break;
    case Key::MoveToStartOfBlock:
    case Key::MoveToEndOfBlock:
        if (m_lines.count() > 0) {
            const qsizetype line = m_lines.lineAt(m_cursor);
            to = move->key == Key::MoveToEndOfBlock ? m_lines.end(line) : m_lines.start(line);
        }
        break;
    case Key::MoveToStartOfDocument:
        to = 0;
        break;
    case Key::MoveToEndOfDocument:
        to = m_lines.size();
        break;
    default:
        break;
    }
    moveCursor(to, extend);
}

void ReadOnlyTextView::mousePressEvent(QMouseEvent* event) {
    trimLayouts();
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_goalX = -1;
    m_mouseSelecting = true;
    moveCursor(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void ReadOnlyTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_mouseSelecting || !(event->buttons() & Qt::LeftButton))
        return;
    trimLayouts();
    QPoint point = event->position().toPoint();
    // Dragging past an edge pulls the text along a row per move.
    if (point.y() < 0)
        scrollByRows(-1);
    else if (point.y() >= viewport()->height())
        scrollByRows(1);
    point.setY(std::clamp(point.y(), 0, std::max(0, viewport()->height() - 1)));
    m_cursor = positionAt(point);
    viewport()->update();
}

void ReadOnlyTextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_mouseSelecting = false;
    else
        QAbstractScrollArea::mouseReleaseEvent(event);
}

void ReadOnlyTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_lines.count() == 0) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    trimLayouts();
    m_mouseSelecting = false;
    const qsizetype position = positionAt(event->position().toPoint());
    const qsizetype line = m_lines.lineAt(position);
    const qsizetype from = m_lines.start(line);
    const qsizetype to = m_lines.end(line);
    const TextLines& all = m_lines;
    qsizetype start = position;
    qsizetype end = position;
    // On the right edge of a word the word is meant, not what follows it.
    if ((end == to || !isWordCharacter(all.at(end))) && end > from &&
        isWordCharacter(all.at(end - 1)))
        --start, --end;
    if (end < to && isWordCharacter(all.at(end))) {
        while (start > from && isWordCharacter(all.at(start - 1)))
            --start;
        while (end < to && isWordCharacter(all.at(end)))
            ++end;
    } else if (end < to) {
        ++end;
    }
    m_anchor = start;
    m_cursor = end;
    ensureCursorVisible();
    viewport()->update();
}

void ReadOnlyTextView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    trimLayouts();
    // High-resolution wheels send parts of a notch; they add up to rows.
    m_wheelRemainder += delta * QApplication::wheelScrollLines();
    const int rows = m_wheelRemainder / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRemainder -= rows * QWheelEvent::DefaultDeltasPerStep;
    scrollByRows(-rows);
    event->accept();
}

void ReadOnlyTextView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ReadOnlyTextView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

} // namespace dorvane
