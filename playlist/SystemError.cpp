#include "playlist/SystemError.h"

#include <QDir>

#include <algorithm>
#include <cstring>

namespace dorvane {

QString sysErrorMessage(int errorCode) {
    char buffer[512];
    const char* text = nullptr;
#if defined(_WIN32)
    text = strerror_s(buffer, sizeof buffer, errorCode) == 0 ? buffer : nullptr;
#else
    // The GNU strerror_r returns the text; the POSIX one fills the buffer.
    auto result = strerror_r(errorCode, buffer, sizeof buffer);
    if constexpr (std::is_same_v<decltype(result), char*>)
        text = result;
    else
        text = result == 0 ? buffer : nullptr;
#endif
    if (!text)
        return {};
    QString message = QString::fromLocal8Bit(text);
    if (message.size() > 255)
        return {};
    qsizetype end = message.size();
    while (end > 0 && (message.at(end - 1).unicode() <= 0x20 || message.at(end - 1) == u'.'))
        --end;
    message.truncate(end);
    return message;
}

QString visibleText(QStringView text) {
    const auto shown = [](char16_t c) {
        return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && !(c >= 0xDC80 && c <= 0xDCFF);
    };
    if (std::all_of(text.begin(), text.end(), [&](QChar c) { return shown(c.unicode()); }))
        return text.toString();
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t c = text[k].unicode();
        // A high surrogate and its low half are one character.
        if (QChar::isHighSurrogate(c) && k + 1 < text.size() && text[k + 1].isLowSurrogate()) {
            out += text.sliced(k, 2);
            ++k;
        } else if (shown(c)) {
            out += QChar(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += u"\\x";
            out += QLatin1Char(kHex[(c >> 4) & 0xF]);
            out += QLatin1Char(kHex[c & 0xF]);
        }
    }
    return out;
}

QString expandFileName(const QString& fileName) {
    if (fileName.isEmpty())
        return fileName;
    // By hand: QFileInfo would turn the bytes of a name that is not UTF-8
    // (see decodeFileName) into U+FFFD.
    QString path = QDir::cleanPath(
        QDir::isAbsolutePath(fileName) ? fileName : QDir::currentPath() + u'/' + fileName);
    // "adir/" names a folder: cleanPath would make it a file's name.
    if (fileName.endsWith(u'/') && !path.endsWith(u'/'))
        path += u'/';
    return visibleText(QDir::toNativeSeparators(path));
}

QString cannotOpenText(const QString& fileName) {
    return QStringLiteral("Cannot open file \"%1\"").arg(expandFileName(fileName));
}

QString cannotOpenMessage(const QString& fileName, int errorCode) {
    return QStringLiteral("%1. %2").arg(cannotOpenText(fileName), sysErrorMessage(errorCode));
}

QString cannotCreateMessage(const QString& fileName, int errorCode) {
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(expandFileName(fileName), sysErrorMessage(errorCode));
}

QString cannotWriteMessage(const QString& fileName, int errorCode) {
    return cannotWriteMessage(fileName, sysErrorMessage(errorCode));
}

QString cannotWriteMessage(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot write file \"%1\". %2").arg(expandFileName(fileName), reason);
}

} // namespace dorvane
