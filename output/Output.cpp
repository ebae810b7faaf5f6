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

void saveText(const QString& fileName, QStringView text, const TargetFormat& target, bool utf8) {
    const TEncoding& encoding = target.fileEncoding(!utf8, TEncoding::Default());
    QByteArray bytes = target.preamble(encoding);
    if (target.lineEnd() == LineEnd::CrLf) {
        bytes.reserve(bytes.size() + text.size() + 16);
        encoding.appendBytes(text, bytes);
    } else {
        QString lines = text.toString();
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        bytes.reserve(bytes.size() + lines.size() + 16);
        encoding.appendBytes(lines, bytes);
    }
    saveBytesToFile(fileName, bytes);
}

void saveWithDialogs(const TargetFormat& target, SaveDialogs& dialogs) {
    const QStringView extension = target.extension();
    QString chosen;
    if (!dialogs.chooseFileName(target.defaultFileName(), saveDialogFilter(extension), chosen))
        return;
    const QString fileName = finalSaveFileName(chosen, extension);
    if (replacesExistingFile(fileName) && !dialogs.confirm(replaceQuestionText(fileName)))
        return;
    saveText(fileName, dialogs.text(), target, dialogs.utf8Ticked());
}

void copyText(const QString& text) {
    setClipboardText(text);
}

} // namespace dorvane
