#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>

class QSaveFile;

class QIODevice;

namespace dorvane {

class TEncoding;

// The whole content of a file, read in one piece. EFOpenError when it
// cannot be opened or read (the message names the full path and the cause).
// A playlist holds text for a few million channels at the most; a bigger file
// is refused before reading it ("File too large"), since its text would need
// several times its size in memory.
inline constexpr qsizetype kMaxPlaylistBytes = qsizetype(1) << 30; // 1 GiB

QByteArray readWholeFile(const QString& fileName);

// The text of a playlist file's bytes, read with `encoding` (the program always
// passes UTF-8). A leading preamble of that encoding is skipped. Beyond the
// plain rule, so that no readable playlist comes out empty:
// - bytes that begin with a UTF-16 byte-order mark (FF FE, FE FF) are read as
//   UTF-16 of that byte order, the mark skipped;
// - bytes that are not well-formed UTF-8 are read whole with `fallback`, the
//   ANSI code page (Cyrillic lists in Windows-1251 are common), unless they
//   are almost UTF-8 (Utf8Tally), when each broken part becomes U+FFFD.
QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding);
QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding,
                        const TEncoding& fallback);

// Writes the encoding's preamble (if any) and then `text` in that encoding.
// EWriteError when the device does not take every byte.
void writeText(QIODevice& device, QStringView text, const TEncoding& encoding);

// Saves `text` to fileName in `encoding`, preamble first. The file is replaced
// only once every byte has been written: a failure leaves a former file as it
// was and no partial file behind. EFCreateError when the file cannot be
// created (or is read-only, or a folder); EWriteError when writing fails.
void saveTextToFile(const QString& fileName, QStringView text, const TEncoding& encoding);
// The same for bytes already encoded.
void saveBytesToFile(const QString& fileName, const QByteArray& bytes);
// The file beside `fileName` that such a save writes into, open for
// writing; commit() puts it in its place. EFCreateError as those two.
std::unique_ptr<QSaveFile> openSaveFile(const QString& fileName);

} // namespace dorvane
