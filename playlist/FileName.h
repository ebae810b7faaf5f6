#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

namespace dorvane {

// File names as the system holds them, bytes on POSIX systems, carried in a
// QString without losing any. Names are decoded as UTF-8; a byte that is not
// part of a well-formed sequence (a name in Windows-1251, say) becomes the
// lone surrogate U+DC00 plus the byte, which no well-formed UTF-8 gives, and
// becomes that byte again on the way back. QFile::decodeName would make it
// U+FFFD, and the file could not be opened any more.
//
// Names so decoded must be opened through encodeFileName; Qt's own file
// classes would write each escaped byte as "?". Where the names are UTF-16
// (Windows) the two are QFile's.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(const QString& fileName);

// The local file a file: URL names (a dropped file), decoded as
// decodeFileName decodes names: QUrl::toLocalFile would turn the bytes of a
// name that is not UTF-8 into U+FFFD.
QString localFileOf(const QUrl& url);

} // namespace dorvane
