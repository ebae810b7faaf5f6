#pragma once

#include <QString>
#include <QStringView>

namespace dorvane {

// The system's text for an error code, as the error messages quote it: at most
// 255 characters, trailing blanks, control characters and full stops cut off.
QString sysErrorMessage(int errorCode);

// The text with every character a terminal would act on (below U+0020,
// U+007F and U+0080 to U+009F) written as \xNN, and so is every byte of a
// file name that is not UTF-8 (see decodeFileName): a name or an address in
// a message can neither break it into lines nor send escape sequences.
QString visibleText(QStringView text);

// The full path of a file name, for error messages: a relative name is
// resolved against the current folder, a "/" at its end kept; nothing is
// looked up on disk. Written with visibleText.
QString expandFileName(const QString& fileName);

// "Cannot open file "%s". %s" and "Cannot create file "%s". %s".
QString cannotOpenMessage(const QString& fileName, int errorCode);
// "Cannot open file "%s"", for a reason to follow.
QString cannotOpenText(const QString& fileName);
QString cannotCreateMessage(const QString& fileName, int errorCode);
// "Cannot write file "%s". %s", with the system's text or a reason given.
QString cannotWriteMessage(const QString& fileName, int errorCode);
QString cannotWriteMessage(const QString& fileName, const QString& reason);

} // namespace dorvane
