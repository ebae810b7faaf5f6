// Runs under a Russian locale (registered twice: through LC_ALL, and through
// LC_CTYPE with LC_ALL empty and LANG naming another language). The locale
// need not be installed: only the variable's value counts.
#include "QtPrinters.h"
#include "playlist/Encoding.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kKanalIn1251 = QByteArray::fromHex("EAE0EDE0EB");

TEST(RussianLocale, AnsiIsWindowsCyrillic) {
    EXPECT_EQ(systemAnsiCodePage(), 1251);
    EXPECT_EQ(TEncoding::Default().CodePage(), 1251);
    EXPECT_EQ(&TEncoding::Default(), TEncoding::ansi(1251));
    EXPECT_EQ(TEncoding::Default().GetBytes(u"канал"), kKanalIn1251);
}

TEST(RussianLocale, SavesInAnsiAndReadsItBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"list.m3u"_s);
    saveTextToFile(path, u"канал\r\n", TEncoding::Default());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kKanalIn1251 + "\r\n");
    file.close();

    // Read as the program reads every playlist, as UTF-8: the bytes are not
    // UTF-8, so the whole file is read in the ANSI code page instead.
    TStringList lines;
    lines.LoadFromFile(path, TEncoding::UTF8());
    ASSERT_EQ(lines.Count(), 1);
    EXPECT_EQ(lines.Strings(0), u"канал"_s);
}

TEST(RussianLocale, ReadsAWindowsCyrillicPlaylist) {
    TStringList lines;
    lines.LoadFromFile(QStringLiteral(DORVANE_TEST_DATA "/files/cyrillic-1251.m3u"),
                       TEncoding::UTF8());
    ASSERT_EQ(lines.Count(), 6);
    EXPECT_EQ(lines.Strings(1), u"#EXTINF:-1,Первый канал"_s);
    EXPECT_EQ(lines.Strings(4), u"#EXTGRP:Новости"_s);
}

} // namespace
