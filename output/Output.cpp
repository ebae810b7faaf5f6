#include "Output.h"

#include "Clipboard.h"
#include "Encoding.h"
#include "TextFile.h"

namespace dorvane {

QString finalSaveFileName(const QString& chosen, QStringView extension) {
    if (chosen.endsWith(extension, Qt::CaseInsensitive))
        return chosen;
    return chosen + extension.toString();
}

QString saveFilterDescription(QStringView extension) {
    return QStringLiteral("Плейлист (*") + extension.toString() + u')';
}

QString saveFilterPattern(QStringView extension) { return u'*' + extension.toString(); }

void saveText(const QString& fileName, QStringView text, bool utf8) {
    saveTextToFile(fileName, text, utf8 ? TEncoding::UTF8() : TEncoding::Default());
}

void copyText(const QString& text) { setClipboardText(text); }

} // namespace dorvane
