#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace dorvane {

// The read-only text area. The text it shows is kept whole beside the view,
// exactly as it was put in: the view's document turns CR LF into bare line
// breaks, so Save and Copy read the stored text, never the document.
class MemoView : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MemoView(QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    // The same text again keeps the view where it is (a run's result that
    // equals what is shown must not throw the reader back to the top); any
    // other text is shown from its start.
    void setText(const QString& text);

private:
    QString m_text;
};

} // namespace dorvane
