#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

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

// A playlist file's text: what decodeFileBytes(readWholeFile(fileName),
// UTF-8, fallback, reading) gives. The file is decoded as it is read, a piece
// at a time (InputReader), in UTF-8 and, when it proves not to be UTF-8, in
// the code page, so that its bytes are never held whole beside its text (a
// million channels: 277 MB of bytes, 528 MB of text); only a file with a
// UTF-16 mark is read whole. EFOpenError as readWholeFile; EReadError when
// reading fails or the file changes size meanwhile.
struct TextReading;
QString readTextFile(const QString& fileName, const TEncoding& fallback,
                     TextReading* reading = nullptr);

// The text of a playlist file's bytes, read with `encoding` (the program always
// passes UTF-8). A leading preamble of that encoding is skipped. Beyond the
// plain rule, so that no readable playlist comes out empty:
// - bytes that begin with a UTF-16 byte-order mark (FF FE, FE FF) are read as
//   UTF-16 of that byte order, the mark skipped;
// - bytes that are not well-formed UTF-8 are read whole with `fallback`, the
//   ANSI code page (Cyrillic lists in Windows-1251 are common), unless they
//   are almost UTF-8 (Utf8Tally), when each broken part becomes U+FFFD.
//
// `reading`, when given, is told how the bytes were read.
struct TextReading;
QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding);
QString decodeFileBytes(const QByteArray& bytes, const TEncoding& encoding,
                        const TEncoding& fallback, TextReading* reading = nullptr);

// How a playlist's bytes were read: the name of the encoding ("UTF-8",
// "UTF-16 LE", "Windows-1251") and, for UTF-8 with broken parts, how many
// bytes were not UTF-8 (each part became U+FFFD).
struct TextReading {
    QString encoding;
    qint64 invalidBytes = 0;
    // "UTF-8", "UTF-8 (3 invalid bytes)", "Windows-1251".
    QString text() const;
};

// An encoding the user may choose to read a playlist in: UTF-8, UTF-16 of
// either byte order, the Windows code pages 1250 to 1258, and the Cyrillic
// ones of DOS and Unix (866, KOI8-R, KOI8-U, ISO-8859-5).
struct InputEncoding {
    QString name; // as shown: "Windows-1251"
    int codePage; // Windows' number for it (65001 UTF-8, 1200/1201 UTF-16)
};
const std::vector<InputEncoding>& inputEncodings();
// The encoding of that name, in any case, also by its number or as
// "cp1251", "windows-1251", "utf8", "utf-16le"; nullptr when there is none.
const InputEncoding* inputEncodingByName(QStringView name);
// The bytes read in that encoding: its byte-order mark, if they start with
// one, skipped; for UTF-8, each broken part becomes U+FFFD.
QString decodeAs(const QByteArray& bytes, const InputEncoding& encoding,
                 TextReading* reading = nullptr);

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
