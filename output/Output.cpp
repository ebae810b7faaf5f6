#include "output/Output.h"

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
    return QStringLiteral("Файл «%1» уже существует. Заменить?").arg(ExpandFileName(fileName));
}

void saveText(const QString& fileName, QStringView text, bool utf8) {
    saveTextToFile(fileName, text, utf8 ? TEncoding::UTF8() : TEncoding::Default());
}

void copyText(const QString& text) {
    setClipboardText(text);
}

} // namespace dorvane
