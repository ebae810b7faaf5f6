// dorvane-convert's options that choose channels, on the built program.
#include "ConvertRunner.h"
#include "TestFiles.h"

#include "QtPrinters.h"
#include "playlist/Encoding.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

// News: two channels sharing an address; Спорт: one by group-title, one by
// #EXTGRP; no group: one, and one without an address.
const QString kPlaylist = QStringLiteral("#EXTM3U url-tvg=\"http://epg/x.xml\"\n"
                                         "#EXTINF:-1 group-title=\"News\",News One HD\n"
                                         "http://a/1\n"
                                         "#EXTINF:-1 group-title=\"Спорт\",Матч ТВ\n"
                                         "http://a/2\n"
                                         "#EXTINF:-1 group-title=\"News\",news two\n"
                                         "http://a/1\n"
                                         "#EXTINF:-1,Футбол hd\n"
                                         "#EXTGRP:Спорт\n"
                                         "http://a/3\n"
                                         "#EXTINF:-1,Loose\n"
                                         "http://a/4\n"
                                         "#EXTINF:-1,No address\n");

// Wizard HD's lines, "name,address", without the byte-order mark.
QStringList entries(const QByteArray& out) {
    QString text = QString::fromUtf8(out);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

class ChoiceCli : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        writeTestFile(path, bytes);
        return path;
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(ChoiceCli, FiltersAloneAndCombined) {
    const QString utf8 = write("list.m3u", kPlaylist.toUtf8());
    // The same playlist in other encodings goes the way through UTF-16 lines.
    const QString withMark = write("mark.m3u", "\xEF\xBB\xBF" + kPlaylist.toUtf8());
    const QString cp1251 = write("ansi.m3u", dorvane::TEncoding::ansi(1251)->GetBytes(kPlaylist));
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(kPlaylist.utf16()), kPlaylist.size() * 2);
    const QString wide = write("wide.m3u", utf16);

    const struct {
        QStringList options;
        QStringList entries;
    } cases[] = {
        {{"--group", "News"}, {"News One HD,http://a/1", "news two,http://a/1"}},
        {{"--group=Спорт", "--group", "News"},
         {"News One HD,http://a/1", "Матч ТВ,http://a/2", "news two,http://a/1",
          "Футбол hd,http://a/3"}},
        {{"--group", ""}, {"Loose,http://a/4"}},
        {{"--group="}, {"Loose,http://a/4"}},
        {{"--group", "news"}, {}}, // exact
        {{"--exclude-group", "News", "--exclude-group="},
         {"Матч ТВ,http://a/2", "Футбол hd,http://a/3"}},
        {{"--match", "HD"}, {"News One HD,http://a/1", "Футбол hd,http://a/3"}},
        {{"--match=мАТЧ"}, {"Матч ТВ,http://a/2"}},
        {{"--dedupe"},
         {"News One HD,http://a/1", "Матч ТВ,http://a/2", "Футбол hd,http://a/3",
          "Loose,http://a/4"}},
        {{"--match", "news", "--dedupe"}, {"News One HD,http://a/1"}},
        {{"--group", "News", "--match", "two", "--dedupe"}, {"news two,http://a/1"}},
        {{"--exclude-group", "Спорт", "--match", "o", "--group", "News", "--group", ""},
         {"News One HD,http://a/1", "news two,http://a/1", "Loose,http://a/4"}},
    };
    for (const auto& c : cases) {
        for (const QString& input : {utf8, withMark, cp1251, wide}) {
            SCOPED_TRACE((c.options.join(' ') + " " + input).toStdString());
            const ConvertRun run =
                runConvert(QStringList{"--to", "wizard-hd", "--codepage", "1251"} + c.options +
                           QStringList{input});
            if (c.entries.isEmpty()) {
                EXPECT_EQ(run.exitCode, 3);
                // Told apart from a playlist without channels.
                EXPECT_EQ(run.err, "dorvane-convert: The choice leaves no channel of the 5 in " +
                                       input.toUtf8() + "\n");
                EXPECT_TRUE(run.out.isEmpty());
            } else {
                EXPECT_EQ(run.exitCode, 0) << run.err.data();
                EXPECT_EQ(entries(run.out), c.entries);
            }
        }
    }
}

TEST_F(ChoiceCli, ChoosingKeepsTheChosenBlocksLineForLineFromStandardInput) {
    const ConvertRun run =
        runConvert({"--to", "m3u", "--exclude-group", "News", "--match", " "}, kPlaylist.toUtf8());
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_EQ(run.out, QStringLiteral("#EXTM3U url-tvg=\"http://epg/x.xml\"\r\n"
                                      "#EXTINF:-1 group-title=\"Спорт\",Матч ТВ\r\nhttp://a/2\r\n"
                                      "#EXTINF:-1,Футбол hd\r\n#EXTGRP:Спорт\r\nhttp://a/3\r\n"
                                      "#EXTINF:-1,No address\r\n")
                           .toUtf8());
    EXPECT_EQ(run.err, "dorvane-convert: 2 channels, 2 entries, m3u\n");
}

// The kept lines go to the conversion straight from the input, with their
// own line ends; leaving blocks out must not join, split or add lines.
TEST_F(ChoiceCli, EveryKindOfLineEndSurvivesLeavingBlocksOut) {
    const QByteArray input = "#EXTM3U\r\n"
                             "#EXTINF:-1,A\rhttp://a\r\n"
                             "#EXTINF:-1 group-title=\"X\",B\nhttp://b\r"
                             "#EXTINF:-1,C\r\n\r\nhttp://c\r"
                             "#EXTINF:-1 group-title=\"X\",D\r\nhttp://d\n"
                             "#EXTINF:-1,E\nhttp://e\x00#EXTINF:-1,F\nhttp://f\n";
    const QByteArray chosen = "#EXTM3U\n"
                              "#EXTINF:-1,A\nhttp://a\n"
                              "#EXTINF:-1,C\n\nhttp://c\n"
                              "#EXTINF:-1,E\nhttp://e";
    const QString path = write("ends.m3u", input);
    for (const char* target : {"m3u", "pls", "wizard-hd"}) {
        SCOPED_TRACE(target);
        const ConvertRun run = runConvert({"--to", target, "--exclude-group", "X", path});
        const ConvertRun expected = runConvert({"--to", target}, chosen);
        EXPECT_EQ(run.exitCode, 0) << run.err.data();
        EXPECT_EQ(run.out, expected.out);
        EXPECT_EQ(run.err, expected.err);
    }
}

// The converter chooses as it reads, in pieces of a few hundred kilobytes,
// holding the block that a piece leaves open; one block here is longer than
// a piece, and many a block is cut between two.
TEST_F(ChoiceCli, BlocksAcrossThePiecesOfABigInputAreChosenWhole) {
    QByteArray input = "#EXTM3U\r\n";
    QByteArray chosen = input;
    QByteArray groups;
    for (int k = 0; k < 6000; ++k) {
        const bool inA = k % 3 != 0;
        QByteArray block = k % 2
                               ? "#EXTINF:-1,"
                               : "#EXTINF:-1 group-title=\"" + QByteArray(inA ? "A" : "B") + "\",";
        block += "Channel " + QByteArray::number(k) + (k % 5 ? "\n" : "\r\n");
        if (k % 2)
            block += "#EXTGRP:" + QByteArray(inA ? "A" : "B") + "\n";
        if (k == 2500) // a block longer than a piece
            for (int line = 0; line < 20000; ++line)
                block += "#EXTVLCOPT:http-user-agent=Player/" + QByteArray::number(line) + "\n";
        block += "http://example.net/live/" + QByteArray::number(k) + "/index.m3u8\n";
        input += block;
        if (inA)
            chosen += block;
    }
    ASSERT_GT(input.size(), 3 * 256 * 1024);
    const QString path = write("big.m3u", input);
    const ConvertRun expected = runConvert({"--to", "m3u"}, chosen);
    ASSERT_EQ(expected.exitCode, 0);
    const ConvertRun fromFile = runConvert({"--to", "m3u", "--group", "A", path});
    const ConvertRun fromPipe = runConvert({"--to", "m3u", "--group", "A"}, input);
    EXPECT_EQ(fromFile.err, expected.err);
    EXPECT_TRUE(fromFile.out == expected.out);
    EXPECT_TRUE(fromPipe.out == expected.out);
    // Every address differs: remembering them across the pieces keeps all.
    EXPECT_TRUE(runConvert({"--to", "m3u", "--group", "A", "--dedupe", path}).out == expected.out);
    EXPECT_EQ(runConvert({"--list-groups", path}).out, "2000\tB\n4000\tA\n");
}

TEST_F(ChoiceCli, ListGroupsCountsTheChosenBlocksWithAnAddress) {
    const QString input = write("list.m3u", kPlaylist.toUtf8());
    const struct {
        QStringList options;
        QByteArray out;
    } cases[] = {
        {{}, "2\tNews\n2\tСпорт\n1\t\n"},
        {{"--dedupe"}, "1\tNews\n2\tСпорт\n1\t\n"},
        {{"--match", "hd"}, "1\tNews\n1\tСпорт\n"},
        // Nothing chosen with an address: no channel, no list.
        {{"--match", "address"}, ""},
        {{"--group", "", "--match", "o"}, "1\t\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const ConvertRun run =
            runConvert(QStringList{"--list-groups"} + c.options + QStringList{input});
        if (c.out.isEmpty()) {
            EXPECT_EQ(run.exitCode, 3);
            EXPECT_TRUE(run.err.startsWith("dorvane-convert: The choice leaves no channel of the "))
                << run.err.data();
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.err.data();
            EXPECT_TRUE(run.err.isEmpty()) << run.err.data();
        }
        EXPECT_EQ(run.out, c.out);
    }

    const QString output = write("groups.txt", "old");
    const ConvertRun toFile = runConvert({"--list-groups", "-o", output}, kPlaylist.toUtf8());
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err.data();
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("2\tNews\n2\tСпорт\n1\t\n"));
}

TEST_F(ChoiceCli, OptionsWithoutTheirValueAreUsageErrors) {
    for (const char* option : {"--group", "--exclude-group", "--match"}) {
        const ConvertRun run = runConvert({"--to", "pls", option});
        EXPECT_EQ(run.exitCode, 2) << option;
        EXPECT_TRUE(run.err.contains("needs a value")) << run.err.data();
    }
    const ConvertRun help = runConvert({"--help"});
    for (const char* option :
         {"--group NAME", "--exclude-group NAME", "--match TEXT", "--dedupe", "--list-groups"})
        EXPECT_TRUE(help.out.contains(option)) << option;
}

} // namespace
