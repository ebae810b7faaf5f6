#include "playlist/SystemError.h"

#include <QDir>
#include <QFileInfo>

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

QString expandFileName(const QString& fileName) {
    if (fileName.isEmpty())
        return fileName;
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(fileName).absoluteFilePath()));
}

QString cannotOpenMessage(const QString& fileName, int errorCode) {
    return QStringLiteral("Cannot open file \"%1\". %2")
        .arg(expandFileName(fileName), sysErrorMessage(errorCode));
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
