#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace dorvane {

class TEncoding;
class TargetFormat;

// What Save asks of the window: its two dialogs, through the window's seams,
// and the text and encoding to write, read only once both have closed (a run
// may end while a dialog is open).
class SaveDialogs {
public:
    virtual ~SaveDialogs() = default;
    // Shows the save dialog with the proposed name and its one filter
    // ("description|pattern"); false when the user cancels, else the chosen
    // name (a full path) in `chosen`.
    virtual bool chooseFileName(const QString& proposed, const QString& filter,
                                QString& chosen) = 0;
    // Asks the question; true when the user agrees.
    virtual bool confirm(const QString& question) = 0;
    // The text area's text, and whether "Save as UTF8" is ticked.
    virtual QString text() = 0;
    virtual bool utf8Ticked() = 0;
    // The code page written in when UTF-8 is not wanted, and whether UTF-8
    // starts with a byte-order mark where the target allows one (without a
    // wish, where the target writes one).
    virtual const TEncoding& codePage();
    virtual std::optional<bool> byteOrderMark() { return std::nullopt; }
    // The file has been written under `fileName` (the name finally used).
    virtual void saved(const QString& fileName) { (void)fileName; }
};

// The whole of Save for the target: proposes its default name with its
// extension (finalSaveFileName) and that extension as the one filter, appends the extension to the
// chosen name (finalSaveFileName), asks before replacing a file (replacesExistingFile), asks again
// when the code page lacks some of the text's characters, and writes the text as saveText does.
// Nothing happens when a question is declined.
void saveWithDialogs(const TargetFormat& target, SaveDialogs& dialogs);

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

// The bytes saveText writes for the text, and how many characters the
// file's encoding had no bytes for and wrote a substitute ("?" or a best
// fit) for: only a code page lacks any.
struct SaveBytes {
    QByteArray bytes;
    qsizetype replaced = 0;
    int codePage = 0; // of the encoding written in
};
// `codePage` is the one written in when `utf8` is false (by default the
// system's); `byteOrderMark` is the wish for UTF-8's EF BB BF
// (TargetFormat::preamble).
SaveBytes encodeForSave(QStringView text, const TargetFormat& target, bool utf8,
                        const TEncoding* codePage = nullptr,
                        std::optional<bool> byteOrderMark = std::nullopt);

// The question asked before a text is saved in a code page that lacks some of
// its characters.
QString replacedCharactersQuestionText(qsizetype count, int codePage);

// Writes the text as a file of the target: as UTF-8 (with the preamble
// where the target has one) or, when `utf8` is false and the target allows
// it, in the ANSI code page without one; lines end as the target ends them
// (the text's own line breaks are CR LF, as joined lines are). Nothing else
// in the text changes. The file is replaced only after every byte is
// written.
void saveText(const QString& fileName, QStringView text, const TargetFormat& target, bool utf8);

// Puts the whole text on the clipboard, replacing what it held.
void copyText(const QString& text);

} // namespace dorvane
