// Reading playlist files into lines and writing text to files: the exact
// bytes, the marks, and the error messages.
#include "playlist/TextFile.h"
#include "QtPrinters.h"
#include "TestFiles.h"
#include "playlist/Encoding.h"
#include "playlist/EncodingGuess.h"
#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/StringList.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

QByteArray hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced));
}

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString write(const QString& name, const QByteArray& bytes) const {
        writeTestFile(path(name), bytes);
        return path(name);
    }

    static QByteArray read(const QString& fileName) {
        QFile file(fileName);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << fileName.toStdString();
        return file.readAll();
    }

    static QStringList linesOf(const TStringList& list) {
        QStringList lines;
        for (int k = 0; k < list.Count(); ++k)
            lines.append(list.Strings(k));
        return lines;
    }

    QTemporaryDir m_dir;
};

// The test environment's ANSI code page is 1252, the fallback for bytes that
// are not UTF-8.
TEST_F(TextFileTest, LoadFromFile) {
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"mark and CR LF", hex("EFBBBF610D0A"), {u"a"_s}},
        {"CR LF", hex("610D0A"), {u"a"_s}},
        {"one letter", hex("61"), {u"a"_s}},
        {"empty file", {}, {}},
        {"mark alone", hex("EFBBBF"), {}},
        {"second mark is text", hex("EFBBBFEFBBBF61"), {u"\uFEFFa"_s}},
        {"nul ends the text", hex("61626300646566"), {u"abc"_s}},
        {"cyrillic", hex("EFBBBFD0BAD0B0D0BDD0B0D0BB0D0A"), {u"канал"_s}},
        // UTF-16 with its mark, either byte order.
        {"UTF-16 LE", hex("FFFE61000D000A00620000040D000A00"), {u"a"_s, u"b\u0400"_s}},
        {"UTF-16 BE", hex("FEFF0061000D000A00620400"), {u"a"_s, u"b\u0400"_s}},
        {"UTF-16 mark alone", hex("FFFE"), {}},
        {"UTF-16 odd last byte dropped", hex("FFFE610062"), {u"a"_s}},
        {"UTF-16 BE odd last byte dropped", hex("FEFF0061000D000A62"), {u"a"_s}},
        // Not UTF-8: the whole file in the ANSI code page, nothing lost.
        {"latin-1 letter", hex("61E9620D0A63"), {u"aéb"_s, u"c"_s}},
        {"euro sign", hex("80"), {u"€"_s}},
        // A UTF-16 mark counts only at the very start, not after the UTF-8 one.
        {"UTF-16 mark after UTF-8 mark", hex("EFBBBFFFFE6100"), {u"ÿþa"_s}},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.Add(u"previous");
        list.LoadFromFile(write(u"in.m3u"_s, c.bytes), TEncoding::UTF8());
        EXPECT_EQ(linesOf(list), c.lines) << c.name;
    }
}

TEST_F(TextFileTest, WindowsCyrillicFileThroughTheFallback) {
    const QByteArray bytes = read(QStringLiteral(DORVANE_TEST_DATA "/files/cyrillic-1251.m3u"));
    TStringList list;
    list.setText(decodeFileBytes(bytes, TEncoding::UTF8(), *TEncoding::ansi(1251)));
    EXPECT_EQ(linesOf(list), (QStringList{u"#EXTM3U"_s, u"#EXTINF:-1,Первый канал"_s,
                                          u"http://example.com/1"_s, u"#EXTINF:-1,Россия 1"_s,
                                          u"#EXTGRP:Новости"_s, u"http://example.com/2"_s}));
    // Well-formed UTF-8 is never handed to the fallback.
    EXPECT_EQ(decodeFileBytes(hex("D0BA"), TEncoding::UTF8(), *TEncoding::ansi(1251)), u"к"_s);
    EXPECT_EQ(decodeFileBytes(hex("EA"), TEncoding::UTF8(), *TEncoding::ansi(1251)), u"к"_s);
}

TEST_F(TextFileTest, LoadingAMissingFileKeepsTheLines) {
    TStringList list;
    list.Add(u"kept");
    const QString missing = path(u"missing.m3u"_s);
    try {
        list.LoadFromFile(missing, TEncoding::UTF8());
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(),
                  u"Cannot open file \"%1\". No such file or directory"_s.arg(missing));
    }
    EXPECT_EQ(linesOf(list), QStringList{u"kept"_s});
}

TEST_F(TextFileTest, ErrorMessagesNameTheFullPath) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    try {
        readWholeFile(u"sub/../missing.m3u"_s);
        ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), u"Cannot open file \"%1\". No such file or directory"_s.arg(
                                   path(u"missing.m3u"_s)));
    }
    QDir::setCurrent(before);
}

// A name in Windows-1251 ("канал.m3u") is not UTF-8; its bytes must reach the
// system unchanged, or the file cannot be opened.
TEST_F(TextFileTest, FileNamesKeepTheirBytes) {
    for (const QByteArray& bytes : {hex("EAE0EDE0EB2E6D3375"), QByteArray("plain.m3u"),
                                    hex("D0BAF09F93BA80C0AFFF"), hex("F09F93BAEDA080")}) {
        const QString name = decodeFileName(bytes);
        EXPECT_EQ(encodeFileName(name), bytes) << bytes.toHex().constData();
    }
    EXPECT_EQ(decodeFileName("plain/канал.m3u"), u"plain/канал.m3u"_s);
    const QByteArray folder = QFile::encodeName(m_dir.path());
    const QByteArray cp1251 = folder + "/" + hex("EAE0EDE0EB2E6D3375");
    QFile file;
    ASSERT_TRUE(file.open(::fopen(cp1251.constData(), "wb"), QIODevice::WriteOnly,
                          QFileDevice::AutoCloseHandle));
    file.write("#EXTINF:-1,a\nhttp://a/1\n");
    file.close();
    TStringList list;
    list.LoadFromFile(decodeFileName(cp1251), TEncoding::UTF8());
    EXPECT_EQ(linesOf(list), (QStringList{u"#EXTINF:-1,a"_s, u"http://a/1"_s}));
    // Dropped, the same file comes as a file: URL with the bytes escaped.
    const QUrl dropped = QUrl::fromEncoded("file://" + cp1251.toPercentEncoding("/"));
    EXPECT_EQ(encodeFileName(localFileOf(dropped)), cp1251);
    list.LoadFromFile(localFileOf(dropped), TEncoding::UTF8());
    EXPECT_EQ(list.Count(), 2);
    ::unlink(cp1251.constData()); // QTemporaryDir cannot spell the name to remove it
}

TEST_F(TextFileTest, ReadingAFolderFails) {
    EXPECT_THROW(readWholeFile(m_dir.path()), EFOpenError);
}

TEST_F(TextFileTest, SavedBytes) {
    const struct {
        const char* name;
        const TEncoding* encoding;
        QString text;
        QByteArray bytes;
    } cases[] = {
        {"UTF-8", &TEncoding::UTF8(), u"канал"_s, hex("EFBBBFD0BAD0B0D0BDD0B0D0BB")},
        {"UTF-8 empty", &TEncoding::UTF8(), u""_s, hex("EFBBBF")},
        {"UTF-8 line ends kept", &TEncoding::UTF8(), u"a\r\nb\r\n"_s, hex("EFBBBF610D0A620D0A")},
        {"ANSI", TEncoding::ansi(1251), u"канал"_s, hex("EAE0EDE0EB")},
        {"ANSI empty", TEncoding::ansi(1251), u""_s, {}},
        {"ANSI goes on after a missing character", TEncoding::ansi(1252), u"a中b\r\n"_s,
         hex("613F620D0A")},
    };
    for (const auto& c : cases) {
        const QString file = path(u"out.txt"_s);
        saveTextToFile(file, c.text, *c.encoding);
        EXPECT_EQ(read(file), c.bytes) << c.name;
    }
}

TEST_F(TextFileTest, SavingOverALongerFileLeavesNoTrace) {
    const QString file = write(u"out.m3u"_s, QByteArray(10000, 'z'));
    saveTextToFile(file, u"a", TEncoding::UTF8());
    EXPECT_EQ(read(file), hex("EFBBBF61"));
    saveTextToFile(file, u"", TEncoding::Default());
    EXPECT_EQ(read(file), QByteArray());
}

TEST_F(TextFileTest, SavedListLoadsBackAsTheSameLines) {
    TStringList list;
    list.setText(u"#EXTM3U\r\n#EXTINF:-1,Канал 中文 \U0001F4FA\r\n\r\nhttp://x/y\r\n"_s);
    const QString file = path(u"round.m3u"_s);
    saveTextToFile(file, list.Text(), TEncoding::UTF8());
    TStringList back;
    back.LoadFromFile(file, TEncoding::UTF8());
    EXPECT_EQ(linesOf(back), linesOf(list));
}

TEST_F(TextFileTest, BigFileReadsWhole) {
    QByteArray bytes;
    for (int k = 0; k < 20000; ++k)
        bytes += "#EXTINF:-1,Канал " + QByteArray::number(k) + "\r\nhttp://example.com/" +
                 QByteArray::number(k) + "\r\n";
    const QString file = write(u"big.m3u"_s, bytes);
    EXPECT_EQ(readWholeFile(file), bytes);
    TStringList list;
    list.LoadFromFile(file, TEncoding::UTF8());
    ASSERT_EQ(list.Count(), 40000);
    EXPECT_EQ(list.Strings(39999), u"http://example.com/19999"_s);
}

// A file is read in pieces of 1 MiB; whatever the pieces' ends cut (a
// sequence, the mark), the text and how it was read are decodeFileBytes's of
// the whole.
TEST_F(TextFileTest, ReadingInPiecesGivesTheWholeFilesText) {
    constexpr qsizetype kPiece = qsizetype(1) << 20;
    // Filler up to just before a megabyte's end, then the bytes to cut there.
    const auto across = [](qsizetype before, QByteArray bytes) {
        return QByteArray(before, 'a') + bytes + "\r\nend";
    };
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", {}},
        {"one byte", "a"},
        {"only the mark", hex("EFBBBF")},
        {"mark and text", hex("EFBBBF") + "#EXTM3U\r\n"},
        {"UTF-16 LE", hex("FFFE") + QByteArray("#\0E\0", 4)},
        {"UTF-16 BE", hex("FEFF") + QByteArray("\0#\0E", 4)},
        {"two-byte sequence cut", across(kPiece - 1, "Канал")},
        {"three-byte sequence cut", across(kPiece - 2, "€€€")},
        {"four-byte sequence cut", across(kPiece - 3, "\xF0\x9F\x93\xBA\xF0\x9F\x93\xBA")},
        {"sequence after the mark cut", hex("EFBBBF") + across(kPiece - 4, "ЖЖ")},
        {"several pieces", across(3 * kPiece + 5, "ЯЯЯ")},
        {"code page in the second piece", across(kPiece + 10, "\xCA\xE0\xED\xE0\xEB")},
        {"double-byte characters across pieces", QByteArray("\x83\x60\n\x82\xA0").repeated(300000)},
        {"a broken byte among UTF-8",
         across(kPiece + 10, QByteArray("Канал").repeated(20) + "\xFF")},
        {"cut before a stray continuation", across(kPiece - 1, "\x80\x80\x80\x80\x80")},
    };
    for (const TEncoding* fallback : {&TEncoding::Default(), TEncoding::ansi(932)}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const QString file = write(u"pieces.m3u"_s, c.bytes);
            TextReading whole, pieces;
            const QString expected = decodeFileBytes(c.bytes, TEncoding::UTF8(), *fallback, &whole);
            EXPECT_EQ(readTextFile(file, *fallback, &pieces), expected);
            EXPECT_EQ(pieces.text(), whole.text());
        }
    }
    EXPECT_THROW(readTextFile(path(u"missing.m3u"_s), TEncoding::Default()), EFOpenError);
    EXPECT_THROW(readTextFile(m_dir.path(), TEncoding::Default()), EFOpenError);
}

TEST_F(TextFileTest, CannotCreate) {
    const QString readOnly = write(u"locked.txt"_s, "old");
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadUser);
    const struct {
        QString file;
        QString reason;
    } cases[] = {
        {path(u"no/such/folder/out.m3u"_s), u"No such file or directory"_s},
        {m_dir.path(), u"Is a directory"_s},
        {readOnly, u"Permission denied"_s},
    };
    for (const auto& c : cases) {
        try {
            saveTextToFile(c.file, u"new", TEncoding::UTF8());
            ADD_FAILURE() << "no error for " << c.file.toStdString();
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(), u"Cannot create file \"%1\". %2"_s.arg(c.file, c.reason));
        }
    }
    EXPECT_FALSE(QFile::exists(path(u"no"_s)));
    EXPECT_EQ(read(readOnly), "old");
}

// A device that takes only the first few bytes of what is written.
class ShortDevice : public QIODevice {
public:
    explicit ShortDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        const qint64 taken = std::min(size, m_room - static_cast<qint64>(written.size()));
        if (taken <= 0)
            return -1;
        written.append(data, taken);
        return taken;
    }

private:
    qint64 m_room;
};

TEST(WriteText, PreambleThenText) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeText(buffer, u"ok", TEncoding::UTF8());
    writeText(buffer, u"é", *TEncoding::ansi(1252));
    EXPECT_EQ(buffer.data(), hex("EFBBBF6F6BE9"));
}

TEST(WriteText, ShortWriteIsAnError) {
    ShortDevice device(5);
    try {
        writeText(device, u"abcdef", TEncoding::UTF8());
        FAIL() << "no error";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), u"Stream write error"_s);
    }
}

} // namespace

namespace {

// "Первый канал" in each encoding a playlist may be read in, by name.
struct Spelling {
    const char* name;
    QByteArray bytes;
};

TEST(ReadingEncodings, EachChosenEncodingReadsItsBytes) {
    const QString text = QStringLiteral("Первый канал");
    const QList<Spelling> spellings{
        {"UTF-8", "\xEF\xBB\xBF" + text.toUtf8()},
        {"utf-16le",
         "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2)},
        {"Windows-1251", "\xCF\xE5\xF0\xE2\xFB\xE9 \xEA\xE0\xED\xE0\xEB"},
        {"cp1251", "\xCF\xE5\xF0\xE2\xFB\xE9 \xEA\xE0\xED\xE0\xEB"},
        {"866", "\x8F\xA5\xE0\xA2\xEB\xA9 \xAA\xA0\xAD\xA0\xAB"},
        {"KOI8-R", "\xF0\xC5\xD2\xD7\xD9\xCA \xCB\xC1\xCE\xC1\xCC"},
        {"koi8-u", "\xF0\xC5\xD2\xD7\xD9\xCA \xCB\xC1\xCE\xC1\xCC"},
        {"ISO-8859-5", "\xBF\xD5\xE0\xD2\xEB\xD9 \xDA\xD0\xDD\xD0\xDB"},
    };
    for (const Spelling& row : spellings) {
        const InputEncoding* encoding = inputEncodingByName(QString::fromLatin1(row.name));
        ASSERT_NE(encoding, nullptr) << row.name;
        TextReading reading;
        EXPECT_EQ(decodeAs(row.bytes, *encoding, &reading), text) << row.name;
        EXPECT_EQ(reading.text(), encoding->name);
    }
    // UTF-16 big-endian without its mark.
    QByteArray big;
    for (const QChar c : text)
        big += char(c.unicode() >> 8), big += char(c.unicode() & 0xFF);
    EXPECT_EQ(decodeAs(big, *inputEncodingByName(u"UTF-16 BE")), text);
    EXPECT_EQ(inputEncodingByName(u"Windows-874"), nullptr);
    EXPECT_EQ(inputEncodingByName(u"latin1"), nullptr);
    EXPECT_EQ(inputEncodings().size(), size_t(16));
}

TEST(ReadingEncodings, TheUsualRulesSayHowTheyRead) {
    const struct {
        QByteArray bytes;
        const char* said;
    } cases[] = {
        {"plain ASCII", "UTF-8"},
        {"\xFF\xFE"
         "a\0",
         "UTF-16 LE"},
        {QStringLiteral("Первый канал, Первый канал, Первый канал").toUtf8() + "\xFF\xC0",
         "UTF-8 (2 invalid bytes)"},
        {"\xCF\xE5\xF0\xE2\xFB\xE9", "Windows-1251"},
    };
    for (const auto& row : cases) {
        TextReading reading;
        decodeFileBytes(row.bytes, TEncoding::UTF8(), *TEncoding::ansi(1251), &reading);
        EXPECT_EQ(reading.text(), QLatin1String(row.said)) << row.bytes.toHex().toStdString();
    }
}

TEST(ReadingEncodings, TheDetectorNamesCyrillicCodePages) {
    const QString text = QStringLiteral(
        "#EXTM3U\n#EXTINF:-1,Первый канал\nhttp://a/1\n#EXTINF:-1,Россия 24 новости\nhttp://a/2\n"
        "#EXTINF:-1,Культура и спорт, детский канал, музыка\nhttp://a/3\n");
    for (const char* name : {"Windows-1251", "KOI8-R"}) {
        const InputEncoding* encoding = inputEncodingByName(QString::fromLatin1(name));
        const QByteArray bytes = TEncoding::ansi(encoding->codePage)->GetBytes(text);
        const InputEncoding* guessed = guessedEncoding(bytes);
        ASSERT_NE(guessed, nullptr) << name;
        EXPECT_EQ(guessed->name, QLatin1String(name));
    }
    EXPECT_EQ(guessedEncoding(QByteArrayView()), nullptr);
}

} // namespace
