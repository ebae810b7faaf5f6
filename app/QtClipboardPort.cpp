#include "app/QtClipboardPort.h"

#include "playlist/Errors.h"

#include <QClipboard>
#include <QGuiApplication>

namespace dorvane {

namespace {
QClipboard& clipboard() {
    QClipboard* board = QGuiApplication::clipboard();
    if (!board)
        throw EClipboardException(QStringLiteral("Cannot open clipboard: %1")
                                      .arg(QStringLiteral("No clipboard is available")));
    return *board;
}
} // namespace

QString QtClipboardPort::text() {
    return clipboard().text(QClipboard::Clipboard);
}

void QtClipboardPort::setText(const QString& text) {
    clipboard().setText(text, QClipboard::Clipboard);
}

} // namespace dorvane
