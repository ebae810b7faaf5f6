// dorvane-convert's recipes, on the built program: --recipe runs and
// --save-recipe writes.
#include "ConvertRunner.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QByteArray kPlaylist = "#EXTM3U\n"
                             "#EXTINF:-1 tvg-id=\"bbc\" group-title=\"News\",BBC\n"
                             "http://a/bbc\n"
                             "#EXTINF:-1 group-title=\"Sport\",Матч\n"
                             "http://a/match\n"
                             "#EXTINF:-1 group-title=\"Adult\",X\n"
                             "http://a/x\n"
                             "#EXTINF:-1 group-title=\"News\",CNN\n"
                             "http://a/cnn\n";

// What the recipe below makes of it.
const QByteArray kEdited = "#EXTM3U\n"
                           "#EXTINF:-1 group-title=\"Спорт\",Матч\n"
                           "http://a/match\n"
                           "#EXTINF:-1 tvg-id=\"bbc\" group-title=\"News\",BBC One\n"
                           "http://a/bbc\n"
                           "#EXTINF:-1 group-title=\"News\",CNN\n"
                           "http://a/cnn\n";

const QByteArray kRecipe = R"({
    "dorvane-recipe": 1,
    "source": {"file": "lists/tv.m3u"},
    "exclude-groups": ["Adult"],
    "names": [{"channel": {"id": "bbc"}, "name": "BBC One"}],
    "group-names": [{"group": "Sport", "name": "Спорт"}],
    "group-order": ["Sport"],
    "target": "pls",
    "output": "out/tv.pls"
})";

class RecipeCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("lists"));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("out"));
        write("lists/tv.m3u", kPlaylist);
        write("edited.m3u", kEdited);
    }

    QString folder() const { return m_dir.path(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString write(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path(name);
    }

    // The plain conversion, for comparing byte for byte.
    QByteArray converted(const QStringList& arguments) {
        const ConvertRun run = runConvert(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out;
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(RecipeCli, RunsTheRecipeFromItsFolderAsTheSameConversionWouldWrite) {
    const QString recipe = write("tv.dorvane", kRecipe);
    const ConvertRun run = runConvert({"--recipe", recipe});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err,
              "dorvane-convert: 3 channels written to " + path("out/tv.pls").toUtf8() + "\n");
    EXPECT_EQ(readFile(path("out/tv.pls")), converted({"--to", "pls", path("edited.m3u")}));

    // The options replace the recipe's target, encoding and output.
    EXPECT_EQ(runConvert({"--recipe", recipe, "-q", "--to", "wizard-hd", "--ansi", "--codepage",
                          "1251", "-o", "-"})
                  .out,
              converted({"--to", "wizard-hd", "--ansi", "--codepage", "1251", path("edited.m3u")}));
    // A choice option replaces the whole choice.
    const ConvertRun chosen =
        runConvert({"--recipe", recipe, "--match", "x", "--to", "m3u", "-o", "-"});
    EXPECT_EQ(chosen.out, "#EXTM3U\r\n#EXTINF:-1 group-title=\"Adult\",X\r\nhttp://a/x\r\n");
    // So does INPUT the source.
    write("other.m3u", "#EXTINF:-1,Y\nhttp://b/y\n");
    EXPECT_EQ(runConvert({"--recipe", recipe, "--to", "m3u", "-o", "-", path("other.m3u")}).out,
              "#EXTINF:-1,Y\r\nhttp://b/y\r\n");
    EXPECT_EQ(runConvert({"--recipe", recipe, "--to", "m3u", "-o", "-", "-"},
                         "#EXTINF:-1,Z\nhttp://b/z\n")
                  .out,
              "#EXTINF:-1,Z\r\nhttp://b/z\r\n");
}

TEST_F(RecipeCli, TellsWhichChannelsAreNewAndGoneSinceTheFileItReplaces) {
    QByteArray recipe = kRecipe;
    recipe.replace("\"pls\"", "\"m3u\"").replace("tv.pls", "tv.m3u");
    const QString file = write("tv.dorvane", recipe);
    const QByteArray written =
        "dorvane-convert: 3 channels written to " + path("out/tv.m3u").toUtf8();
    EXPECT_EQ(runConvert({"--recipe", file}).err, written + "\n");
    EXPECT_EQ(runConvert({"--recipe", file}).err, written + " (new: 0, gone: 0)\n");

    // The provider drops CNN and the renamed BBC, and adds two channels.
    QByteArray next = kPlaylist;
    next.replace("#EXTINF:-1 group-title=\"News\",CNN\nhttp://a/cnn\n", "");
    next.replace("BBC\nhttp://a/bbc", "BBC\nhttp://a/bbc\n#EXTINF:-1,New\nhttp://a/n");
    next.replace("tvg-id=\"bbc\"", "tvg-id=\"bbc2\"");
    next += "#EXTINF:-1 group-title=\"Music\",MTV\nhttp://a/mtv\n";
    write("lists/tv.m3u", next);
    // Counted by address: BBC is no new channel, but its rename names
    // nothing now, and the run says so.
    const QByteArray gone = "dorvane-convert: 0 groups and 1 channel the recipe names are no "
                            "longer in the playlist:\ndorvane-convert:   tvg-id bbc\n";
    const QByteArray failed = "dorvane-convert: written, but 0 groups and 1 channel the recipe "
                              "names are gone\n";
    const ConvertRun run = runConvert({"--recipe", file});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err, gone + "dorvane-convert: 4 channels written to " +
                           path("out/tv.m3u").toUtf8() + " (new: 2, gone: 1)\n" + failed);
    const ConvertRun verbose = runConvert({"--recipe", file, "--verbose"});
    EXPECT_TRUE(verbose.err.contains(" (new: 0, gone: 0)\n")) << verbose.err.data();
    EXPECT_EQ(runConvert({"--recipe", file, "-q"}).err, gone + failed);
    EXPECT_EQ(runConvert({"--recipe", file, "-q", "--accept-gone"}).err, gone);
}

TEST_F(RecipeCli, SavesTheCommandLineAsARecipeThatRunsTheSame) {
    const QStringList options = {"--to",
                                 "enigma2",
                                 "--group",
                                 "News",
                                 "--group",
                                 "Sport",
                                 "--dedupe",
                                 "--match",
                                 "а",
                                 "-o",
                                 path("out/bouquet.tv")};
    const QString recipe = path("saved.dorvane");
    const ConvertRun saved = runConvert(QStringList{"--save-recipe", recipe} + options +
                                        QStringList{path("lists/tv.m3u")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.toStdString();
    EXPECT_EQ(readFile(recipe), "{\n"
                                "    \"dorvane-recipe\": 1,\n"
                                "    \"source\": {\"file\": \"lists/tv.m3u\"},\n"
                                "    \"groups\": [\"News\", \"Sport\"],\n"
                                "    \"match\": \"а\",\n"
                                "    \"dedupe\": true,\n"
                                "    \"target\": \"enigma2\",\n"
                                "    \"output\": \"out/bouquet.tv\"\n"
                                "}\n");
    ASSERT_EQ(runConvert({"--recipe", recipe, "-q"}).exitCode, 0);
    const QByteArray direct =
        converted(QStringList{"-o", "-"} + options.mid(0, 9) + QStringList{path("lists/tv.m3u")});
    EXPECT_EQ(readFile(path("out/bouquet.tv")), direct);

    // A recipe saved from a recipe keeps what the options do not replace.
    const QString again = path("again.dorvane");
    ASSERT_EQ(runConvert({"--recipe", recipe, "--save-recipe", again, "--to", "pls"}).exitCode, 0);
    EXPECT_EQ(readFile(again), QByteArray(readFile(recipe)).replace("enigma2", "pls"));
}

TEST_F(RecipeCli, FailsClearlyOnWhatItCannotRun) {
    const struct {
        QByteArray recipe;
        QStringList options;
        int exitCode;
        QByteArray message;
    } cases[] = {
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"lists/tv.m3u\"}, \"grups\": []}",
         {},
         2,
         "Cannot read recipe \"RECIPE\". Unknown member \"grups\".\n"},
        {"{\"dorvane-recipe\": 1,\n\"source\": {\"file\" \"lists/tv.m3u\"}}",
         {},
         2,
         "Cannot read recipe \"RECIPE\". Not JSON at line 2, column 20: missing name separator.\n"},
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"lists/tv.m3u\"}}",
         {},
         2,
         "--to TARGET is required: the recipe names none (see \"dorvane-convert --help\")\n"},
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"lists/tv.m3u\"}, \"target\": \"xspf\","
         " \"ansi\": true}",
         {},
         2,
         "--ansi cannot be used with xspf: that target is always written in UTF-8 (see "
         "\"dorvane-convert --help\")\n"},
        // The output's folder is not made.
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"lists/tv.m3u\"}, \"output\": "
         "\"none/tv.pls\"}",
         {"--to", "pls"},
         1,
         "Cannot create file \"DIR/none/tv.pls\". No such file or directory\n"},
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"lists/none.m3u\"}}",
         {"--to", "pls"},
         1,
         "Cannot open file \"DIR/lists/none.m3u\". No such file or directory\n"},
        {"{\"dorvane-recipe\": 1, \"source\": {\"provider\": \"http://127.0.0.1:9\", \"user\": "
         "\"u\"}}",
         {"--to", "pls"},
         1,
         // A recipe without the password and none in the environment.
         "No password for \"http://127.0.0.1:9\": store it in the recipe, give --password-file "
         "FILE or set DORVANE_PASSWORD\n"},
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"lists/tv.m3u\"}, \"groups\": [\"No\"]}",
         {"--to", "pls"},
         3,
         // The group the recipe chose is named first.
         "1 group and 0 channels the recipe names are no longer in the playlist:\n"
         "dorvane-convert:   No\ndorvane-convert: No channels chosen by the recipe\n"},
    };
    const QString recipe = path("r.dorvane");
    for (const auto& c : cases) {
        write("r.dorvane", c.recipe);
        const ConvertRun run = runConvert(QStringList{"--recipe", recipe} + c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.recipe.toStdString();
        EXPECT_EQ(run.err, "dorvane-convert: " + QByteArray(c.message)
                                                     .replace("RECIPE", recipe.toUtf8())
                                                     .replace("DIR", folder().toUtf8()));
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path("none")));
    EXPECT_EQ(runConvert({"--save-recipe", path("x.dorvane"), "--to", "pls"}).exitCode, 2);
    EXPECT_EQ(runConvert({"--save-recipe", path("x.dorvane"), "--to", "pls", "-"}).exitCode, 2);
    EXPECT_FALSE(QFile::exists(path("x.dorvane")));
}

} // namespace
