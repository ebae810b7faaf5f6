#pragma once

#include <QString>

namespace dorvane {

// The system's text for an error code, as the error messages quote it: at most
// 255 characters, trailing blanks, control characters and full stops cut off.
QString sysErrorMessage(int errorCode);

// The full path of a file name, for error messages: a relative name is
// resolved against the current folder; nothing is looked up on disk.
QString expandFileName(const QString& fileName);

// "Cannot open file "%s". %s" and "Cannot create file "%s". %s".
QString cannotOpenMessage(const QString& fileName, int errorCode);
QString cannotCreateMessage(const QString& fileName, int errorCode);
// "Cannot write file "%s". %s", with the system's text or a reason given.
QString cannotWriteMessage(const QString& fileName, int errorCode);
QString cannotWriteMessage(const QString& fileName, const QString& reason);

} // namespace dorvane
