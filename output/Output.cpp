#include "output/Output.h"

#include "convert/TargetFormat.h"
#include "playlist/Clipboard.h"
#include "playlist/Encoding.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QFileInfo>

namespace dorvane {

QString finalSaveFileName(const QString& chosen, QStringView extension) {
    if (chosen.endsWith(extension, Qt::CaseInsensitive))
        return chosen;
    return chosen + extension.toString();
}

QString saveFilterDescription(QStringView extension) {
    return QStringLiteral("Плейлист (*") + extension.toString() + u')';
}

QString saveFilterPattern(QStringView extension) {
    return u'*' + extension.toString();
}

QString saveDialogFilter(QStringView extension) {
    return saveFilterDescription(extension) + u'|' + saveFilterPattern(extension);
}

bool replacesExistingFile(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() && !info.isDir();
}

QString replaceQuestionText(const QString& fileName) {
    return QStringLiteral("Файл «%1» уже существует. Заменить?").arg(expandFileName(fileName));
}

const TEncoding& SaveDialogs::codePage() {
    return TEncoding::Default();
}

SaveBytes encodeForSave(QStringView text, const TargetFormat& target, bool utf8,
                        const TEncoding* codePage, std::optional<bool> byteOrderMark) {
    const TEncoding& encoding =
        target.fileEncoding(!utf8, codePage ? *codePage : TEncoding::Default());
    SaveBytes result{target.preamble(encoding, byteOrderMark), 0, encoding.CodePage()};
    if (target.lineEnd() == LineEnd::CrLf) {
        result.bytes.reserve(result.bytes.size() + text.size() + 16);
        result.replaced = encoding.appendBytesCounting(text, result.bytes);
    } else {
        QString lines = text.toString();
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        result.bytes.reserve(result.bytes.size() + lines.size() + 16);
        result.replaced = encoding.appendBytesCounting(lines, result.bytes);
    }
    return result;
}

QString replacedCharactersQuestionText(qsizetype count, int codePage) {
    return QStringLiteral("%1 символов нельзя записать в кодовой странице %2, они будут заменены. "
                          "Сохранить?")
        .arg(count)
        .arg(codePage);
}

void saveText(const QString& fileName, QStringView text, const TargetFormat& target, bool utf8) {
    saveBytesToFile(fileName, encodeForSave(text, target, utf8).bytes);
}

void saveWithDialogs(const TargetFormat& target, SaveDialogs& dialogs) {
    const QStringView extension = target.extension();
    QString chosen;
    if (!dialogs.chooseFileName(finalSaveFileName(target.defaultFileName(), extension),
                                saveDialogFilter(extension), chosen))
        return;
    const QString fileName = finalSaveFileName(chosen, extension);
    if (replacesExistingFile(fileName) && !dialogs.confirm(replaceQuestionText(fileName)))
        return;
    // The text and the tick are read once the questions are answered; the
    // code page's question comes last, about exactly the bytes written.
    const SaveBytes bytes = encodeForSave(dialogs.text(), target, dialogs.utf8Ticked(),
                                          &dialogs.codePage(), dialogs.byteOrderMark());
    if (bytes.replaced > 0 &&
        !dialogs.confirm(replacedCharactersQuestionText(bytes.replaced, bytes.codePage)))
        return;
    saveBytesToFile(fileName, bytes.bytes);
    dialogs.saved(fileName);
}

void copyText(const QString& text) {
    setClipboardText(text);
}

} // namespace dorvane
