// dorvane-convert --per-group -o FOLDER: the bouquet set and its index saved
// into a folder here, as a send leaves them on a receiver.
#include "ConvertRunner.h"
#include "ReceiverServers.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace dorvane::testing;

namespace {

const QByteArray kPlaylist = "#EXTM3U\n"
                             "#EXTINF:-1 group-title=\"News\",Daily\nhttp://tv/news/1\n"
                             "#EXTINF:-1 group-title=\"Kids\",Cartoons\nhttp://tv/kids/1\n"
                             "#EXTINF:-1 group-title=\"News\",Evening\nhttp://tv/news/2\n"
                             "#EXTINF:-1 group-title=\"Film & Series\",Drama\nhttp://tv/film/1\n";

// The user's own: an index in CR LF with a line of theirs and one whose
// file only looks like ours, a bouquet of theirs, and another file.
const QByteArray kForeignIndex =
    "#NAME User - bouquets (TV)\r\n"
    "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.favourites.tv\" ORDER BY bouquet\r\n"
    "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvanex.tv\" ORDER BY bouquet  \r\n";

QByteArray ourLine(const char* file, const char* end = "\r\n") {
    return QByteArray("#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"") + file +
           "\" ORDER BY bouquet" + end;
}

class BouquetFolder : public ::testing::Test {
protected:
    void SetUp() override { writeTestFile(path("list.m3u"), kPlaylist); }
    QString path(const char* name) const { return m_dir.path() + u'/' + QLatin1String(name); }

    QTemporaryDir m_dir;
};

TEST_F(BouquetFolder, FirstSaveIntoANewFolder) {
    const ConvertRun run = runConvert({"--to", "enigma2", "--per-group", "--enigma2-type", "5001",
                                       "-o", path("box"), path("list.m3u")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("3 bouquets (4 channels) and bouquets.tv written to"))
        << run.err.constData();

    const QMap<QString, QByteArray> files = filesIn(path("box"));
    EXPECT_EQ(files.keys(),
              (QStringList{"bouquets.tv", "userbouquet.dorvane_film_series.tv",
                           "userbouquet.dorvane_kids.tv", "userbouquet.dorvane_news.tv"}));
    EXPECT_EQ(files.value("bouquets.tv"), "#NAME User - bouquets (TV)\n" +
                                              ourLine("userbouquet.dorvane_news.tv", "\n") +
                                              ourLine("userbouquet.dorvane_kids.tv", "\n") +
                                              ourLine("userbouquet.dorvane_film_series.tv", "\n"));
    const QByteArray news = files.value("userbouquet.dorvane_news.tv");
    EXPECT_TRUE(news.startsWith("#NAME News\n")) << news.constData();
    EXPECT_TRUE(news.contains("Daily") && news.contains("Evening")) << news.constData();
    EXPECT_FALSE(news.contains("Cartoons")) << news.constData();
    // The service type chosen holds for every bouquet of the set.
    EXPECT_TRUE(news.contains("#SERVICE 5001:")) << news.constData();
    EXPECT_FALSE(news.contains("#SERVICE 4097:")) << news.constData();
}

// A recipe saves into a folder the user already keeps lists in: theirs stay
// byte for byte, a renamed group keeps its file, a dropped one's is deleted.
TEST_F(BouquetFolder, RecipeAgainAfterAGroupRenamedAndOneDropped) {
    const QString box = path("box");
    QDir().mkpath(box);
    writeTestFile(box + QStringLiteral("/bouquets.tv"), kForeignIndex);
    writeTestFile(box + QStringLiteral("/userbouquet.favourites.tv"), "#NAME Favourites\n");
    writeTestFile(box + QStringLiteral("/userbouquet.dorvanex.tv"), "#NAME Not ours\n");
    writeTestFile(box + QStringLiteral("/lamedb"), "eDVB services /4/\n");
    const QMap<QString, QByteArray> before = filesIn(box);

    // --save-recipe keeps per-group and the folder.
    ConvertRun run = runConvert({"--save-recipe", path("box.dorvane"), "--to", "enigma2",
                                 "--per-group", "-o", box, path("list.m3u")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    run = runConvert({"--recipe", path("box.dorvane")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();

    QMap<QString, QByteArray> after = filesIn(box);
    EXPECT_EQ(after.value("bouquets.tv"), kForeignIndex + ourLine("userbouquet.dorvane_news.tv") +
                                              ourLine("userbouquet.dorvane_kids.tv") +
                                              ourLine("userbouquet.dorvane_film_series.tv"));
    for (const char* foreign : {"userbouquet.favourites.tv", "userbouquet.dorvanex.tv", "lamedb"})
        EXPECT_EQ(after.value(foreign), before.value(foreign)) << foreign;
    EXPECT_EQ(after.size(), before.size() + 3); // no temporary file left
    const QJsonObject kept = QJsonDocument::fromJson(readFile(path("box.dorvane"))).object();
    EXPECT_TRUE(kept.value("per-group").toBool());
    ASSERT_EQ(kept.value("slugs").toArray().size(), 3) << readFile(path("box.dorvane")).constData();

    // The user moves our first line above theirs; then News is renamed and
    // Kids dropped.
    const QByteArray moved =
        "#NAME User - bouquets (TV)\r\n" + ourLine("userbouquet.dorvane_news.tv") +
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.favourites.tv\" ORDER BY "
        "bouquet\r\n" +
        ourLine("userbouquet.dorvane_kids.tv") + ourLine("userbouquet.dorvane_film_series.tv") +
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvanex.tv\" ORDER BY bouquet  "
        "\r\n";
    writeTestFile(box + QStringLiteral("/bouquets.tv"), moved);
    QJsonObject next = kept;
    next.insert("group-names", QJsonArray{QJsonObject{{"group", "News"}, {"name", "Headlines"}}});
    next.insert("exclude-groups", QJsonArray{"Kids"});
    writeTestFile(path("box.dorvane"), QJsonDocument(next).toJson());
    run = runConvert({"--recipe", path("box.dorvane")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.err.contains("deleted userbouquet.dorvane_kids.tv")) << run.err.constData();

    after = filesIn(box);
    EXPECT_EQ(after.value("bouquets.tv"),
              "#NAME User - bouquets (TV)\r\n" + ourLine("userbouquet.dorvane_news.tv") +
                  ourLine("userbouquet.dorvane_film_series.tv") +
                  "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.favourites.tv\" ORDER "
                  "BY bouquet\r\n"
                  "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvanex.tv\" ORDER "
                  "BY bouquet  \r\n");
    EXPECT_TRUE(after.value("userbouquet.dorvane_news.tv").startsWith("#NAME Headlines\n"));
    EXPECT_FALSE(after.contains("userbouquet.dorvane_kids.tv"));
    for (const char* foreign : {"userbouquet.favourites.tv", "userbouquet.dorvanex.tv", "lamedb"})
        EXPECT_EQ(after.value(foreign), before.value(foreign)) << foreign;
    EXPECT_EQ(after.size(), before.size() + 2);
}

TEST_F(BouquetFolder, WhatCannotBeDoneIsRefusedAndTouchesNothing) {
    writeTestFile(path("a-file"), "not a folder\n");
    const struct {
        const char* what;
        QStringList arguments;
        int status;
        const char* said;
    } cases[] = {
        {"no folder", {"--to", "enigma2", "--per-group"}, 2, "give -o FOLDER, or --send-to"},
        {"standard output", {"--per-group", "-o", "-"}, 2, "-o names a folder"},
        {"another target", {"--to", "m3u", "--per-group", "-o", "x"}, 2, "--to m3u cannot"},
        {"a prefix alone",
         {"--to", "enigma2", "--prefix", "tv", "-o", "x"},
         2,
         "--prefix goes with --per-group"},
        {"a bad prefix", {"--per-group", "--prefix", "TV", "-o", "x"}, 2, "[a-z0-9_]+"},
        {"a file, not a folder", {"--per-group", "-o", "a-file"}, 1, "Cannot create folder"},
        {"its parent missing", {"--per-group", "-o", "none/box"}, 1, "Cannot create folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList arguments;
        for (const QString& argument : c.arguments)
            arguments << (argument == u"x" || argument.contains(u'/') || argument == u"a-file"
                              ? m_dir.path() + u'/' + argument
                              : argument);
        const ConvertRun run = runConvert(arguments + QStringList{path("list.m3u")});
        EXPECT_EQ(run.exitCode, c.status) << run.err.constData();
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.constData();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_EQ(filesIn(m_dir.path()).keys(), (QStringList{"a-file", "list.m3u"}));
}

} // namespace
