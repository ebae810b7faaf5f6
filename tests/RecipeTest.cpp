// Recipes: reading and writing the files, and applying them to playlists as
// the provider changes them from one day to the next.
#include "convert/Recipe.h"

#include "QtPrinters.h"
#include "playlist/Errors.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace dorvane;

namespace {

TStringList listOf(const QString& text) {
    TStringList list;
    list.setText(text);
    return list;
}

// The lines joined by LF, for comparing with a playlist's text.
QString textOf(const TStringList& lines) {
    QString text;
    for (int k = 0; k < lines.Count(); ++k)
        text += lines.Strings(k) + u'\n';
    return text;
}

Recipe recipeOf(const char* json) {
    return parseRecipe(QByteArray(json), QStringLiteral("/recipes"));
}

// The reason parseRecipe gives, or "<read>" when it reads the text.
QString reasonOf(const QByteArray& json) {
    try {
        parseRecipe(json, QStringLiteral("/recipes"));
        return QStringLiteral("<read>");
    } catch (const EReadError& error) {
        return error.Message();
    }
}

// The first day's playlist: two groups by group-title, one by #EXTGRP, a
// tvg-id two channels share (so it names neither), and a group left out.
const QString kDayOne = QStringLiteral("#EXTM3U url-tvg=\"http://epg/x.xml\"\n"
                                       "#EXTINF:-1 tvg-id=\"bbc\" group-title=\"News\",BBC\n"
                                       "http://a/bbc\n"
                                       "#EXTINF:-1 tvg-id=\"cnn\" group-title=\"News\",CNN\n"
                                       "http://a/cnn\n"
                                       "#EXTINF:-1 group-title=\"Sport\",Match\n"
                                       "http://a/match\n"
                                       "#EXTINF:-1,Eurosport\n"
                                       "#EXTGRP:Sport\n"
                                       "http://a/euro\n"
                                       "#EXTINF:-1 group-title=\"Adult\",X\n"
                                       "http://a/x\n"
                                       "#EXTINF:-1 tvg-id=\"dup\" group-title=\"Kids\",Cartoon\n"
                                       "http://a/c\n"
                                       "#EXTINF:-1 tvg-id=\"dup\" group-title=\"Kids\",Toons\n"
                                       "http://a/t\n");

const char kRecipe[] = R"({
    "dorvane-recipe": 1,
    "source": {"file": "list.m3u"},
    "exclude-groups": ["Adult"],
    "channels-off": [{"group": "Kids", "name": "Toons"}],
    "names": [
        {"channel": {"id": "bbc"}, "name": "BBC One"},
        {"channel": {"group": "Sport", "name": "Eurosport"}, "name": "Euro"}
    ],
    "group-names": [{"group": "Sport", "name": "Спорт"}],
    "group-order": ["Sport", "News"],
    "channel-order": [{"group": "Sport", "name": "Eurosport"}]
})";

const QString kSportAndNews =
    QStringLiteral("#EXTM3U url-tvg=\"http://epg/x.xml\"\n"
                   "#EXTINF:-1,Euro\n"
                   "#EXTGRP:Спорт\n"
                   "http://a/euro\n"
                   "#EXTINF:-1 group-title=\"Спорт\",Match\n"
                   "http://a/match\n"
                   "#EXTINF:-1 tvg-id=\"bbc\" group-title=\"News\",BBC One\n"
                   "http://a/bbc\n"
                   "#EXTINF:-1 tvg-id=\"cnn\" group-title=\"News\",CNN\n"
                   "http://a/cnn\n");
const QString kKids = QStringLiteral("#EXTINF:-1 tvg-id=\"dup\" group-title=\"Kids\",Cartoon\n"
                                     "http://a/c\n");

QString replaced(QString text, const QString& from, const QString& to) {
    EXPECT_TRUE(text.contains(from)) << from.toStdString();
    return text.replace(from, to);
}

struct Day {
    const char* change;
    QString playlist;
    QString expected;
    int missingChannels;
    int missingGroups;
    int added;
    int gone;
};

TEST(Recipe, AppliesTheSameRecipeToTheNextDaysPlaylist) {
    const Recipe recipe = recipeOf(kRecipe);
    const AppliedRecipe first = applyRecipe(recipe, listOf(kDayOne));
    ASSERT_EQ(textOf(first.lines), kSportAndNews + kKids);
    EXPECT_EQ(first.missingChannels, 0);
    EXPECT_EQ(first.missingGroups, 0);

    const QString aj = QStringLiteral("#EXTINF:-1 tvg-id=\"aj\" group-title=\"News\",Al Jazeera\n"
                                      "http://a/aj\n");
    const QString mtv = QStringLiteral("#EXTINF:-1 group-title=\"Music\",MTV\nhttp://a/mtv\n");
    const QString bbc = QStringLiteral("#EXTINF:-1 tvg-id=\"bbc\" group-title=\"News\",BBC\n"
                                       "http://a/bbc\n");
    const std::vector<Day> days = {
        {"nothing", kDayOne, kSportAndNews + kKids, 0, 0, 0, 0},
        // A new channel goes to its group, after those ordered.
        {"a channel added", kDayOne + aj,
         replaced(kSportAndNews + kKids, "http://a/cnn\n", "http://a/cnn\n" + aj), 0, 0, 1, 0},
        // A renamed channel the provider dropped is skipped, and counted.
        {"a renamed channel removed", replaced(kDayOne, bbc, {}),
         replaced(kSportAndNews + kKids,
                  "#EXTINF:-1 tvg-id=\"bbc\" group-title=\"News\",BBC One\nhttp://a/bbc\n", {}),
         1, 0, 0, 1},
        // By tvg-id a channel keeps its new name whatever the provider calls
        // it; by name it is a new channel, in the playlist's order.
        {"channels renamed by the provider",
         replaced(replaced(kDayOne, ",BBC\n", ",BBC World\n"), ",Eurosport\n", ",Eurosport 1\n"),
         replaced(replaced(kSportAndNews, "#EXTINF:-1,Euro\n#EXTGRP:Спорт\nhttp://a/euro\n", {}),
                  "http://a/match\n",
                  "http://a/match\n#EXTINF:-1,Eurosport 1\n#EXTGRP:Спорт\nhttp://a/euro\n") +
             kKids,
         1, 0, 0, 0},
        // A new group comes after the ordered ones, in order of appearance.
        {"a group added",
         replaced(kDayOne, "#EXTINF:-1 group-title=\"Adult\"",
                  mtv + "#EXTINF:-1 group-title=\"Adult\""),
         kSportAndNews + mtv + kKids, 0, 0, 1, 0},
        {"a group renamed by the provider", replaced(kDayOne, "\"Sport\"", "\"Sports\""),
         replaced(replaced(kSportAndNews,
                           "#EXTINF:-1 group-title=\"Спорт\",Match\nhttp://a/match\n", {}),
                  "http://a/cnn\n",
                  "http://a/cnn\n#EXTINF:-1 group-title=\"Sports\",Match\nhttp://a/match\n") +
             kKids,
         0, 0, 0, 0},
    };
    for (const Day& day : days) {
        SCOPED_TRACE(day.change);
        const AppliedRecipe next = applyRecipe(recipe, listOf(day.playlist));
        EXPECT_EQ(textOf(next.lines), day.expected);
        EXPECT_EQ(next.missingChannels, day.missingChannels);
        EXPECT_EQ(next.missingGroups, day.missingGroups);
        const ChannelChanges changes = compareChannels(first.lines, next.lines);
        EXPECT_EQ(changes.added, day.added);
        EXPECT_EQ(changes.gone, day.gone);
    }
}

TEST(Recipe, ChoosesAsTheOptionsThenTurnsChannelsOffAndOn) {
    // Two channels share an address; dedupe keeps the first, and the
    // second comes back at its place when turned on.
    const TStringList playlist = listOf(QStringLiteral("#EXTM3U\n"
                                                       "#EXTINF:-1,Первый HD\n"
                                                       "http://a/1\n"
                                                       "#EXTINF:-1,первый\n"
                                                       "http://a/2\n"
                                                       "#EXTINF:-1 group-title=\"G\",Первый SD\n"
                                                       "http://a/1\n"
                                                       "#EXTINF:-1,Второй\n"
                                                       "http://a/3\n"));
    const auto names = [&](const char* json) {
        QStringList names;
        const AppliedRecipe applied = applyRecipe(recipeOf(json), playlist);
        const ChannelIndex index(applied.lines);
        for (int block = 0; block < index.blockCount(); ++block)
            names << index.name(block).toString();
        return names.join(u'|');
    };
    EXPECT_EQ(names(R"({"dorvane-recipe": 1, "source": {"file": "x"}})"),
              u"Первый HD|первый|Первый SD|Второй");
    EXPECT_EQ(names(R"({"dorvane-recipe": 1, "source": {"file": "x"}, "match": "ПЕРВЫЙ"})"),
              u"Первый HD|первый|Первый SD");
    EXPECT_EQ(names(R"({"dorvane-recipe": 1, "source": {"file": "x"}, "groups": [""],
                        "dedupe": true})"),
              u"Первый HD|первый|Второй");
    EXPECT_EQ(names(R"({"dorvane-recipe": 1, "source": {"file": "x"}, "dedupe": true,
                        "channels-on": [{"group": "G", "name": "Первый SD"}],
                        "channels-off": [{"group": "", "name": "первый"}]})"),
              u"Первый HD|Первый SD|Второй");
    // A channel missing is counted once however often it is named; only
    // what the recipe chose is missing from its list.
    const AppliedRecipe applied =
        applyRecipe(recipeOf(R"({"dorvane-recipe": 1, "source": {"file": "x"},
                     "channels-off": [{"id": "gone"}, {"group": "", "name": "Второй"}],
                     "channel-order": [{"id": "gone"}], "groups": ["", "Old"],
                     "group-order": ["Old", "Older"]})"),
                    playlist);
    EXPECT_EQ(applied.gone.channels.size(), 1u);
    EXPECT_EQ(applied.gone.groups, QStringList({"Old", "Older"}));
    EXPECT_EQ(applied.missingChannels, 0); // turned off
    EXPECT_EQ(applied.missingGroups, 1);   // Older was never chosen
    EXPECT_EQ(applied.lines.Count(), 5);
}

TEST(Recipe, SortsByNameAndOrdersGroupsAndChannels) {
    const TStringList playlist = listOf(QStringLiteral("#EXTM3U\n"
                                                       "#EXTINF:-1 group-title=\"b\",zeta\n"
                                                       "http://a/1\n"
                                                       "#EXTINF:-1 group-title=\"C\",Beta\n"
                                                       "http://a/2\n"
                                                       "#EXTINF:-1 group-title=\"b\",Alpha\n"
                                                       "http://a/3\n"
                                                       "#EXTINF:-1 group-title=\"a\",x\n"
                                                       "http://a/4\n"
                                                       "#EXTINF:-1 group-title=\"b\",beta\n"
                                                       "http://a/5\n"));
    const auto order = [&](const char* members) {
        const QByteArray json =
            QByteArray(R"({"dorvane-recipe": 1, "source": {"file": "x"})") + members + '}';
        const AppliedRecipe applied = applyRecipe(parseRecipe(json, {}), playlist);
        QStringList addresses;
        for (int k = 0; k < applied.lines.Count(); ++k)
            if (applied.lines.line(k).startsWith(u"http"))
                addresses << applied.lines.Strings(k).right(1);
        return addresses.join(u' ');
    };
    EXPECT_EQ(order(""), u"1 2 3 4 5");
    EXPECT_EQ(order(R"(, "sort": "source")"), u"1 2 3 4 5");
    // Group by group, in order of appearance.
    EXPECT_EQ(order(R"(, "group-order": ["a"])"), u"4 1 3 5 2");
    EXPECT_EQ(order(R"(, "channel-order": [{"group": "b", "name": "beta"}])"), u"5 1 3 2 4");
    // By name, in any case; a renamed group sorts by its new name.
    EXPECT_EQ(order(R"(, "sort": "name")"), u"4 3 5 1 2");
    EXPECT_EQ(order(R"(, "sort": "name", "group-names": [{"group": "a", "name": "d"}])"),
              u"3 5 1 2 4");
    EXPECT_EQ(order(R"(, "sort": "name", "group-order": ["C"],
                       "channel-order": [{"group": "b", "name": "zeta"}],
                       "names": [{"channel": {"group": "b", "name": "Alpha"}, "name": "yota"}])"),
              u"2 4 1 5 3");
}

TEST(Recipe, RenamesTheNameAfterItsCommaAndTheGroupWhereItComesFrom) {
    const TStringList playlist =
        listOf(QStringLiteral("#EXTM3U\n"
                              "#EXTINF:-1 tvg-name=\"A, B\" group-title=\"G\",A, B\n"
                              "http://a/1\n"
                              "#EXTINF:-1\n"
                              "#EXTGRP:G\n"
                              "#EXTGRP:Second\n"
                              "http://a/2\n"
                              "#EXTINF:-1 group-title=\"G\",Kept\n"
                              "http://a/3\n"));
    const Recipe recipe = recipeOf(R"({"dorvane-recipe": 1, "source": {"file": "x"},
        "names": [{"channel": {"group": "G", "name": "A, B"}, "name": "C"},
                  {"channel": {"group": "G", "name": "#EXTINF:-1"}, "name": "D"},
                  {"channel": {"group": "G", "name": "Kept"}, "name": "K"},
                  {"channel": {"group": "G", "name": "Kept"}, "name": ""}],
        "group-names": [{"group": "G", "name": "Новая"}]})");
    const TStringList before = playlist.linesIn({{0, playlist.Count()}});
    EXPECT_EQ(textOf(applyRecipe(recipe, playlist).lines),
              u"#EXTM3U\n"
              "#EXTINF:-1 tvg-name=\"A, B\" group-title=\"Новая\",C\n"
              "http://a/1\n"
              "#EXTINF:-1,D\n"
              "#EXTGRP:Новая\n"
              "#EXTGRP:Second\n"
              "http://a/2\n"
              "#EXTINF:-1 group-title=\"Новая\",Kept\n"
              "http://a/3\n");
    EXPECT_EQ(textOf(playlist), textOf(before));
}

// A tvg-id names a channel only when no other channel has it.
TEST(Recipe, KeysChannelsByUniqueTvgIdElseByGroupAndName) {
    const TStringList playlist =
        listOf(QStringLiteral("#EXTINF:-1 tvg-id=\"one\" group-title=\"G\",A\nhttp://a/1\n"
                              "#EXTINF:-1 tvg-id=\"two\",B\nhttp://a/2\n"
                              "#EXTINF:-1 tvg-id=\"two\",C\nhttp://a/3\n"
                              "#EXTINF:-1 tvg-id=\"\" group-title=\"G\",D\nhttp://a/4\n"));
    const ChannelIndex index(playlist);
    const ChannelKeys keys(index);
    EXPECT_EQ(keys.key(0), (ChannelKey{"one", {}, {}}));
    EXPECT_EQ(keys.key(1), (ChannelKey{{}, {}, "B"}));
    EXPECT_EQ(keys.key(2), (ChannelKey{{}, {}, "C"}));
    EXPECT_EQ(keys.key(3), (ChannelKey{{}, "G", "D"}));
}

TEST(Recipe, RefusesWhatIsNoRecipeAndSaysWhy) {
    const struct {
        QByteArray json;
        QString reason;
    } cases[] = {
        {"{\n  \"dorvane-recipe\": 1,\n  \"source\": {\"file\": \"a\"}\n  \"groups\": []\n}",
         "Not JSON at line 4, column 4: unterminated object."},
        {"{\"dorvane-recipe\": 1, \"source\": {\"file\": \"Ф\"},}",
         "Not JSON at line 1, column 48: object is missing after a comma."},
        {"", "Not JSON at line 1, column 1: illegal value."},
        {"[1]", "A recipe is a JSON object: { ... }."},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "grups": ["A"]})",
         R"(Unknown member "grups".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a", "user": "u"}})",
         R"(Unknown member "user" in "source".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"},
             "channels-off": [{"id": "x", "name": "y"}]})",
         R"(Unknown member "name" in item 1 of "channels-off".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "dedupe": "yes"})",
         R"("dedupe" must be true, false, "address" or "guide-id", not "yes".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "groups": ["A", 2]})",
         R"(item 2 of "groups" must be a string, not 2.)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"},
             "names": [{"channel": {"group": "G"}, "name": "N"}]})",
         R"("channel" in item 1 of "names" needs "id", or "group" and "name".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "sort": "random"})",
         R"("sort" must be "source" or "name", not "random".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "target": "vhs"})",
         R"(Unknown target "vhs" in "target".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "codepage": 1234})",
         R"(Unsupported code page 1234 in "codepage".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "codepage": "1251"})",
         R"("codepage" must be a code page's number, not "1251".)"},
        {R"({"dorvane-recipe": 1, "source": {"file": "a"}, "enigma2-type": 4098})",
         R"("enigma2-type" must be 4097, 5001 or 5002, not 4098.)"},
        {R"({"dorvane-recipe": 2, "source": {"file": "a"}})",
         "Recipe version 2 is not supported (only 1 is)."},
        {R"({"source": {"file": "a"}})", R"("dorvane-recipe" is missing: this is no recipe.)"},
        {R"({"dorvane-recipe": 1})", R"("source" is missing.)"},
        {R"({"dorvane-recipe": 1, "source": {}})",
         R"("source" needs "file", "url" or "provider".)"},
        {R"({"dorvane-recipe": 1, "source": {"url": ""}})",
         R"("url" in "source" must be a text that is not empty, not "".)"},
        {R"({"dorvane-recipe": 1, "source": {"provider": "http://s", "user": "u", "live": 1}})",
         R"("live" in "source" must be true or false, not 1.)"},
    };
    for (const auto& [json, reason] : cases)
        EXPECT_EQ(reasonOf(json), reason) << json.toStdString();
}

TEST(Recipe, FilesKeepPathsBesideThemAndThePasswordPrivate) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("recipes"));
    const QString folder = dir.filePath("recipes");
    const QString path = folder + "/tv.dorvane";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"dorvane-recipe": 1, "source": {"file": "lists/tv.m3u"},
                       "output": "../out/tv.bouquet", "target": "enigma2", "ansi": false})");
    }
    Recipe recipe = readRecipe(path);
    EXPECT_EQ(recipe.source.file, folder + "/lists/tv.m3u");
    EXPECT_EQ(recipe.output, dir.filePath("out/tv.bouquet"));

    // Written back: a path in the recipe's folder relative, one outside it whole.
    writeRecipe(path, recipe, false);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "{\n"
                                 "    \"dorvane-recipe\": 1,\n"
                                 "    \"source\": {\"file\": \"lists/tv.m3u\"},\n"
                                 "    \"target\": \"enigma2\",\n"
                                 "    \"output\": \"" +
                                     dir.filePath("out/tv.bouquet").toUtf8() + "\"\n}\n");

    // Every member survives a round trip.
    Recipe full = recipeOf(kRecipe);
    full.source = {
        RecipeSource::Kind::Provider, {}, {}, "http://tv.example:8080", "ю", "p\"w", true, true};
    full.filter.groups = {"A", ""};
    full.filter.match = "m";
    full.filter.onePerAddress = true;
    full.channelsOn = {{"id", {}, {}}};
    full.sort = RecipeSort::Name;
    full.codePage = 1251;
    full.ansi = true;
    full.target = "pls";
    writeRecipe(path, full, true);
    EXPECT_EQ(recipeText(readRecipe(path), folder, true), recipeText(full, folder, true));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_TRUE(recipeText(full, folder, true).contains("\"password\": \"p\\\"w\""));
    EXPECT_FALSE(recipeText(full, folder, false).contains("password"));
    EXPECT_EQ(readRecipe(path).source.password, "p\"w");

    const QString other = folder + "/other.dorvane";
    const mode_t mask = ::umask(022);
    writeRecipe(other, full, false);
    ::umask(mask);
    ASSERT_EQ(::stat(QFile::encodeName(other).constData(), &status), 0);
    EXPECT_NE(status.st_mode & 0077, 0u);
    EXPECT_TRUE(readRecipe(other).source.password.isEmpty());

    try {
        readRecipe(folder + "/none.dorvane");
        ADD_FAILURE() << "a missing recipe was read";
    } catch (const EReadError& error) {
        EXPECT_EQ(error.Message(),
                  "Cannot read recipe \"" + folder + "/none.dorvane\". No such file or directory");
    }
}

} // namespace

namespace {

// The window's Channels dialog keeps a choice and edits block by block and
// hands them on as a recipe: from a recipe and back, the same playlist, today
// and after the provider's next change.
TEST(Recipe, TheDialogsStateAndItsRecipeMakeTheSamePlaylist) {
    const Recipe recipe = recipeOf(kRecipe);
    const TStringList today = listOf(kDayOne);
    ChannelIndex index(today);
    const RecipeChoice choice = recipeChoice(recipe, index);
    // Exclusions only: groups that appear later are taken, as the recipe
    // takes them.
    EXPECT_TRUE(choice.edits.takeNewGroups);
    EXPECT_EQ(choice.edits.names.size(), 2);
    const Recipe back = editedRecipe(index, choice.chosen, choice.onePerAddress, choice.edits);
    EXPECT_EQ(textOf(applyRecipe(back, today).lines), textOf(applyRecipe(recipe, today).lines));

    const TStringList tomorrow =
        listOf(kDayOne + QStringLiteral("#EXTINF:-1 group-title=\"Films\",Movie\nhttp://a/m\n"
                                        "#EXTINF:-1 group-title=\"News\",Later\nhttp://a/l\n"));
    const QString applied = textOf(applyRecipe(recipe, tomorrow).lines);
    EXPECT_TRUE(applied.contains(u"Movie"));
    EXPECT_EQ(textOf(applyRecipe(back, tomorrow).lines), applied);

    // Without "take new groups" the groups chosen are named: Films stays
    // out, the new News channel comes in.
    ChannelEdits closed = choice.edits;
    closed.takeNewGroups = false;
    const Recipe listed = editedRecipe(index, choice.chosen, choice.onePerAddress, closed);
    EXPECT_EQ(listed.filter.groups, QStringList({"News", "Sport", "Kids"}));
    const QString shut = textOf(applyRecipe(listed, tomorrow).lines);
    EXPECT_FALSE(shut.contains(u"Movie"));
    EXPECT_TRUE(shut.contains(u"Later"));
}

// What the dialog's state says in a recipe: only the orders that differ
// from the playlist's, whole; unchecked channels of a group partly chosen.
TEST(Recipe, TheDialogsStateSaysOnlyWhatDiffersFromThePlaylist) {
    const TStringList lines = listOf(kDayOne);
    const ChannelIndex index(lines);
    // Groups: News 0, Sport 1, Adult 2, Kids 3; blocks 0..6 in order.
    ASSERT_EQ(index.groupCount(), 4);
    std::vector<char> chosen(size_t(index.blockCount()), 1);
    chosen[4] = 0; // Adult, the whole group
    chosen[6] = 0; // Toons: Kids partly
    ChannelEdits edits;
    edits.groupOrder = {1, 0, 2, 3};
    edits.channelOrder = {{0, 1}, {3, 2}, {4}, {5, 6}};
    edits.names.insert(1, QStringLiteral("CNN International"));
    const Recipe recipe = editedRecipe(index, chosen, false, edits);
    EXPECT_EQ(recipe.filter.groups, QStringList({"News", "Sport", "Kids"}));
    EXPECT_TRUE(recipe.filter.excludedGroups.isEmpty());
    ASSERT_EQ(recipe.channelsOff.size(), 1u);
    EXPECT_EQ(recipe.channelsOff[0], (ChannelKey{{}, "Kids", "Toons"}));
    EXPECT_EQ(recipe.groupOrder, QStringList({"Sport", "News", "Adult", "Kids"}));
    ASSERT_EQ(recipe.channelOrder.size(), 2u); // Sport's, the one group reordered
    EXPECT_EQ(recipe.channelOrder[0], (ChannelKey{{}, "Sport", "Eurosport"}));
    ASSERT_EQ(recipe.names.size(), 1u);
    EXPECT_EQ(recipe.names[0].channel, (ChannelKey{"cnn", {}, {}}));
    EXPECT_EQ(recipe.sort, RecipeSort::Source);

    // Sorted by name and left so: the sort says it all, no order is listed.
    ChannelEdits sorted;
    sorted.sortByName = true;
    sorted.groupOrder = {2, 3, 0, 1};
    sorted.channelOrder = {{0, 1}, {3, 2}, {4}, {5, 6}};
    const Recipe byName = editedRecipe(index, {}, false, sorted);
    EXPECT_EQ(byName.sort, RecipeSort::Name);
    EXPECT_TRUE(byName.groupOrder.isEmpty());
    EXPECT_TRUE(byName.channelOrder.empty());
}

} // namespace

namespace {

// A channel is what its address is, whatever the provider calls it, the
// login it is read with, or the options a player takes after "|".
TEST(Recipe, ChannelsAreCountedByTheirAddressOrStream) {
    const struct {
        const char* address;
        const char* identity;
    } cases[] = {
        {"http://joe:pw@Host:8080/a/b.ts|User-Agent=x", "http://host:8080/a/b.ts"},
        {" http://h/a/b.ts ", "http://h/a/b.ts"},
        {"http://h/live/joe/s3cret/42.ts", "http://h/live/42"},
        {"http://h/live/ann/other/42.m3u8", "http://h/live/42"},
        {"http://h/joe/s3cret/42", "http://h/live/42"},
        {"http://h/movie/joe/s3cret/42.mkv", "http://h/movie/42"},
        {"http://h/play?username=joe&password=x&ch=5#t", "http://h/play?ch=5"},
        {"http://h/a/news/b.ts", "http://h/a/news/b.ts"},
        {"rtmp://h/live", "rtmp://h/live"},
        {"udp@239.0.0.1:1234", "udp@239.0.0.1:1234"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(channelIdentity(QString::fromUtf8(c.address)), QString::fromUtf8(c.identity))
            << c.address;

    // Renamed, regrouped, read with a new password: neither new nor gone.
    const TStringList before = listOf(QStringLiteral("#EXTM3U\n"
                                                     "#EXTINF:-1 group-title=\"A\",One\n"
                                                     "http://h/live/joe/old/1.ts\n"
                                                     "#EXTINF:-1,Two\n"
                                                     "http://h/live/joe/old/2.ts\n"
                                                     "#EXTINF:-1,No address\n"));
    const TStringList after = listOf(QStringLiteral("#EXTM3U\n"
                                                    "#EXTINF:-1 group-title=\"B\",One HD\n"
                                                    "http://h/live/joe/new/1.ts\n"
                                                    "#EXTINF:-1,Three\n"
                                                    "http://h/live/joe/new/3.ts\n"));
    const ChannelChanges changes = compareChannels(before, after);
    EXPECT_EQ(changesText(changes), "new: 1, gone: 1");
    EXPECT_EQ(changes.addedNames, QStringList{"Three"});
    EXPECT_EQ(changes.goneNames, QStringList{"Two"});

    // The count whole, the names the first 20.
    QString many = QStringLiteral("#EXTM3U\n");
    for (int k = 0; k < 25; ++k)
        many += QStringLiteral("#EXTINF:-1,C%1\nhttp://n/%1\n").arg(k);
    const ChannelChanges lots = compareChannels(before, listOf(many));
    EXPECT_EQ(lots.added, 25);
    EXPECT_EQ(lots.addedNames.size(), ChannelChanges::kChangeNames);
    EXPECT_EQ(lots.addedNames.first(), "C0");
    EXPECT_EQ(firstNamesText(QStringList{"a", "b", "c"}, 5, u"and %1 more", 2),
              "  a\n  b\n  and 3 more\n");
}

// What a recipe chose that the playlist lacks is named; what it left out
// is not lost. Renamed and ordered channels count as chosen.
TEST(Recipe, NamesTheChosenGroupsAndChannelsThatAreGone) {
    const Recipe recipe = recipeOf(kRecipe);
    const QString noSport = replaced(
        replaced(replaced(kDayOne, "#EXTINF:-1 group-title=\"Sport\",Match\nhttp://a/match\n", {}),
                 "#EXTINF:-1,Eurosport\n#EXTGRP:Sport\nhttp://a/euro\n", {}),
        "#EXTINF:-1 tvg-id=\"dup\" group-title=\"Kids\",Toons\nhttp://a/t\n", {});
    const AppliedRecipe applied = applyRecipe(recipe, listOf(noSport));
    EXPECT_EQ(applied.gone.groups, QStringList{"Sport"});
    EXPECT_EQ(applied.gone.chosenGroups, QStringList{"Sport"});
    // Toons was turned off: gone, not lost.
    EXPECT_EQ(applied.gone.channels.size(), 2u);
    EXPECT_EQ(lostNames(applied.gone), QStringList({"Sport", "Eurosport (Sport)"}));
    EXPECT_EQ(applied.missingGroups, 1);
    EXPECT_EQ(applied.missingChannels, 1);

    // A group left out is not lost either.
    const AppliedRecipe noAdult =
        applyRecipe(recipe, listOf(replaced(kDayOne, "\"Adult\"", "\"Other\"")));
    EXPECT_EQ(noAdult.gone.groups, QStringList{"Adult"});
    EXPECT_FALSE(noAdult.gone.lost());
}

// The window makes its recipe anew from what it shows: what the provider
// took away for a day comes back with its choice, names and place.
TEST(Recipe, KeepsWhatIsGoneUntilItComesBack) {
    const char json[] = R"({
        "dorvane-recipe": 1,
        "source": {"file": "list.m3u"},
        "groups": ["News", "Sport", "Kids"],
        "channels-off": [{"group": "Sport", "name": "Match"}],
        "names": [{"channel": {"group": "Sport", "name": "Eurosport"}, "name": "Euro"}],
        "group-names": [{"group": "Sport", "name": "Спорт"}],
        "group-order": ["Kids", "Sport", "News"],
        "channel-order": [{"id": "cnn"}, {"id": "bbc"}]
    })";
    const Recipe recipe = recipeOf(json);
    const TStringList dayOne = listOf(kDayOne);
    const QString expected = textOf(applyRecipe(recipe, dayOne).lines);
    ASSERT_TRUE(expected.contains(u"Спорт") && expected.contains(u"Euro\n"));

    // As the window does it: the recipe taken, the dialog's state made of it
    // and a recipe made of that state, with what is gone kept.
    const auto roundTrip = [](const Recipe& taken, const TStringList& lines) {
        ChannelIndex index(lines);
        const RecipeChoice choice = recipeChoice(taken, index);
        Recipe made = editedRecipe(index, choice.chosen, choice.onePerAddress, choice.edits);
        keepGone(made, taken, goneFrom(taken, index), index);
        return made;
    };
    const struct {
        const char* change;
        QString playlist;
    } days[] = {
        {"a group renamed",
         replaced(replaced(kDayOne, "\"Sport\"", "\"Sports\""), "#EXTGRP:Sport", "#EXTGRP:Sports")},
        {"a channel gone", replaced(replaced(kDayOne, "http://a/cnn\n", "http://a/cnn2\n"),
                                    "tvg-id=\"cnn\"", "tvg-id=\"cnn2\"")},
        {"a group gone",
         replaced(replaced(kDayOne, "#EXTINF:-1 group-title=\"Sport\",Match\nhttp://a/match\n", {}),
                  "#EXTINF:-1,Eurosport\n#EXTGRP:Sport\nhttp://a/euro\n", {})},
    };
    for (const auto& day : days) {
        SCOPED_TRACE(day.change);
        const TStringList changed = listOf(day.playlist);
        const Recipe meanwhile = roundTrip(recipe, changed);
        // Made again while it is gone, then back.
        const Recipe again = roundTrip(meanwhile, changed);
        EXPECT_EQ(textOf(applyRecipe(again, dayOne).lines), expected);
        EXPECT_EQ(textOf(applyRecipe(roundTrip(again, dayOne), dayOne).lines), expected);

        // Forgotten, it is gone for good.
        ChannelIndex index(changed);
        const Recipe forgotten = withoutGone(again, goneFrom(again, index));
        EXPECT_TRUE(goneFrom(forgotten, index).empty());
        EXPECT_NE(textOf(applyRecipe(forgotten, dayOne).lines), expected);
    }
}

} // namespace

namespace {

// Several sources: read in order and joined, the first's header kept; a
// dedupe by guide id keeps the first channel of each tvg-id.
TEST(Recipe, JoinsSeveralSourcesAndKeepsTheFirstOfEachGuideId) {
    const Recipe recipe = recipeOf(R"({
        "dorvane-recipe": 1,
        "sources": [{"file": "a.m3u"}, {"url": "http://b/list.m3u", "optional": true}],
        "dedupe": "guide-id"
    })");
    ASSERT_EQ(recipe.sources().size(), 2u);
    EXPECT_EQ(recipe.source.file, "/recipes/a.m3u");
    EXPECT_FALSE(recipe.source.optional);
    EXPECT_TRUE(recipe.moreSources[0].optional);
    EXPECT_TRUE(recipe.onePerGuideId);
    EXPECT_FALSE(recipe.filter.onePerAddress);
    // Written as it was read.
    const Recipe again = parseRecipe(recipeText(recipe, "/recipes", false), "/recipes");
    EXPECT_EQ(recipeText(again, "/recipes", false), recipeText(recipe, "/recipes", false));
    EXPECT_TRUE(recipeText(recipe, "/recipes", false).contains("\"sources\": [\n"));
    EXPECT_TRUE(recipeOf(R"({"dorvane-recipe": 1, "source": {"file": "a"}, "dedupe": "address"})")
                    .filter.onePerAddress);

    const TStringList joined =
        joinedPlaylists({listOf(QStringLiteral("#EXTM3U url-tvg=\"a\"\n"
                                               "#EXTINF:-1 tvg-id=\"one\",One\nhttp://a/1\n"
                                               "#EXTINF:-1 tvg-id=\"two\",Two\nhttp://a/2\n")),
                         listOf(QStringLiteral("#EXTM3U url-tvg=\"b\"\n"
                                               "#EXTINF:-1 tvg-id=\"two\",Two B\nhttp://b/2\n"
                                               "#EXTINF:-1,Three\nhttp://b/3\n"))});
    EXPECT_EQ(textOf(joined), "#EXTM3U url-tvg=\"a\"\n"
                              "#EXTINF:-1 tvg-id=\"one\",One\nhttp://a/1\n"
                              "#EXTINF:-1 tvg-id=\"two\",Two\nhttp://a/2\n"
                              "#EXTINF:-1 tvg-id=\"two\",Two B\nhttp://b/2\n"
                              "#EXTINF:-1,Three\nhttp://b/3\n");
    EXPECT_EQ(textOf(applyRecipe(recipe, joined).lines),
              "#EXTM3U url-tvg=\"a\"\n"
              "#EXTINF:-1 tvg-id=\"one\",One\nhttp://a/1\n"
              "#EXTINF:-1 tvg-id=\"two\",Two\nhttp://a/2\n"
              "#EXTINF:-1,Three\nhttp://b/3\n");

    EXPECT_EQ(reasonOf(R"({"dorvane-recipe": 1, "source": {"file": "a"}, "sources": []})"),
              "\"source\" and \"sources\" cannot both be given.");
    EXPECT_EQ(reasonOf(R"({"dorvane-recipe": 1, "sources": []})"),
              "\"sources\" must be a list of sources, not [].");
    EXPECT_EQ(reasonOf(R"({"dorvane-recipe": 1, "sources": [{"file": "a", "optional": 1}]})"),
              "\"optional\" in item 1 of \"sources\" must be true or false, not 1.");
    EXPECT_EQ(reasonOf(R"({"dorvane-recipe": 1, "source": {"file": "a"}, "dedupe": "name"})"),
              "\"dedupe\" must be true, false, \"address\" or \"guide-id\", not \"name\".");
}

} // namespace
