#pragma once

#include <QString>
#include <QStringView>

namespace dorvane {

class TargetFormat;

// The name a file is finally written under: the chosen name with the target's
// extension appended, unless it already ends with it (compared without regard
// to case): "list.m3u" stays, "internettv.feed" becomes "internettv.feed.m3u".
QString finalSaveFileName(const QString& chosen, QStringView extension);

// The save dialog's one filter: description "Плейлист (*.ext)" and pattern
// "*.ext".
QString saveFilterDescription(QStringView extension);
QString saveFilterPattern(QStringView extension);

// Writes the text unchanged, as UTF-8 with its preamble or in the ANSI code
// page without one. The file is replaced only after every byte is written.
void saveText(const QString& fileName, QStringView text, bool utf8);

// Puts the whole text on the clipboard, replacing what it held.
void copyText(const QString& text);

} // namespace dorvane
