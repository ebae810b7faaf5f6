#pragma once

#include <QString>
#include <QStringView>

namespace dorvane {

// The clipboard's Unicode text, behind a port so that the core needs no GUI
// library: the window installs an implementation over QClipboard, tests may
// install their own.
class ClipboardPort {
public:
    virtual ~ClipboardPort() = default;
    // The clipboard's text, empty when it holds none. EClipboardException when
    // the clipboard cannot be opened.
    virtual QString text() = 0;
    // Replaces the clipboard's content by the text. EClipboardException when it
    // cannot be opened.
    virtual void setText(const QString& text) = 0;
};

// Installs the port (nullptr: none); until one is installed, the clipboard
// cannot be opened.
void setClipboardPort(ClipboardPort* port);

// The clipboard's text up to its first U+0000 (Paste reads this).
QString clipboardText();
// Puts the text on the clipboard, replacing what it held.
void setClipboardText(const QString& text);

} // namespace dorvane
