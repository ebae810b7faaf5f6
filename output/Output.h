#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace dorvane {

class TEncoding;
class TargetFormat;

// The name a file is finally written under: the chosen name with the target's
// extension appended, unless it already ends with it (compared without regard
// to case): "list.m3u" stays, "internettv.feed" becomes "internettv.feed.m3u".
QString finalSaveFileName(const QString& chosen, QStringView extension);

// The save dialog's one filter: description "Плейлист (*.ext)" and pattern
// "*.ext", and both as the dialog takes them ("description|pattern").
QString saveFilterDescription(QStringView extension);
QString saveFilterPattern(QStringView extension);
QString saveDialogFilter(QStringView extension);

// True when saving under fileName would replace a file that is there: such a
// file is only replaced once the user has agreed. A folder of that name is
// not a file to replace; saving reports that it cannot be created.
bool replacesExistingFile(const QString& fileName);
// The question asked before an existing file is replaced.
QString replaceQuestionText(const QString& fileName);

// The bytes a save writes for a text in `encoding`, its preamble first, and
// how many characters the encoding had no bytes for and wrote a substitute
// ("?" or a best fit) for: only a code page lacks any.
struct SaveBytes {
    QByteArray bytes;
    qsizetype replaced = 0;
};
SaveBytes encodeForSave(QStringView text, const TEncoding& encoding);

// The question asked before a text is saved in a code page that lacks some of
// its characters.
QString replacedCharactersQuestionText(qsizetype count, int codePage);

// Writes the text unchanged, as UTF-8 with its preamble or in the ANSI code
// page without one. The file is replaced only after every byte is written.
void saveText(const QString& fileName, QStringView text, bool utf8);

// Puts the whole text on the clipboard, replacing what it held.
void copyText(const QString& text);

} // namespace dorvane
