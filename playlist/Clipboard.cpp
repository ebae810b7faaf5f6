#include "playlist/Clipboard.h"

#include "playlist/Errors.h"

#include <atomic>

namespace dorvane {

namespace {
std::atomic<ClipboardPort*> g_port{nullptr};

ClipboardPort& port() {
    ClipboardPort* p = g_port.load();
    if (!p)
        throw EClipboardException(QStringLiteral("Cannot open clipboard: %1")
                                      .arg(QStringLiteral("No clipboard is available")));
    return *p;
}
} // namespace

void setClipboardPort(ClipboardPort* p) {
    g_port.store(p);
}

QString clipboardText() {
    QString text = port().text();
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

void setClipboardText(const QString& text) {
    port().setText(text);
}

} // namespace dorvane
