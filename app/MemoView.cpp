#include "MemoView.h"

namespace dorvane {

MemoView::MemoView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Only one undo step would ever exist, and keeping it doubles the memory a
    // big playlist costs.
    setUndoRedoEnabled(false);
}

void MemoView::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    setPlainText(m_text);
}

} // namespace dorvane
