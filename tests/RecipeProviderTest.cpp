// dorvane-convert --recipe left to a timer, against a fake provider of the
// test's own on 127.0.0.1 that changes its playlist from one run to the next.
#include "ConvertRunner.h"
#include "FakeProvider.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace dorvane::testing {
namespace {

using namespace Qt::StringLiterals;

// The provider's categories and live streams, as its interface gives them.
struct Streams {
    QByteArray categories;
    QByteArray streams;
};

const Streams kUsual = {
    R"([{"category_id":"1","category_name":"News"},{"category_id":"2","category_name":"Sport"}])",
    R"([{"name":"One","stream_id":1,"category_id":"1"},)"
    R"({"name":"Two","stream_id":2,"category_id":"1"},)"
    R"({"name":"Match","stream_id":3,"category_id":"2"},)"
    R"({"name":"Goal","stream_id":4,"category_id":"2"}])"};

QByteArray replacedIn(QByteArray text, const QByteArray& from, const QByteArray& to) {
    EXPECT_TRUE(text.contains(from)) << from.data();
    return text.replace(from, to);
}

// Each channel of an M3U file as "group:name", joined by "|".
QString channelsOf(const QByteArray& bytes) {
    QStringList channels;
    for (const QByteArray& line : bytes.split('\n')) {
        if (!line.startsWith("#EXTINF"))
            continue;
        const qsizetype title = line.indexOf("group-title=\"");
        const qsizetype end = line.indexOf('"', title + 13);
        const QByteArray group = title < 0 ? QByteArray() : line.mid(title + 13, end - title - 13);
        channels << QString::fromUtf8(group + ':' + line.mid(line.lastIndexOf(',') + 1).trimmed());
    }
    return channels.join(u'|');
}

QProcessEnvironment withPassword(const QString& password = u"s3cret"_s) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DORVANE_PASSWORD"_s, password);
    return environment;
}

unsigned modeOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode & 0777;
}

class RecipeProvider : public ::testing::Test {
protected:
    void SetUp() override {
        serve(kUsual);
        m_recipe = write(u"tv.dorvane"_s, R"({
            "dorvane-recipe": 1,
            "source": {"provider": ")" + m_provider.server.base().toUtf8() +
                                              R"(", "user": "joe"},
            "groups": ["News", "Sport"],
            "channels-off": [{"group": "News", "name": "Two"}],
            "names": [{"channel": {"group": "Sport", "name": "Match"}, "name": "Матч"}],
            "group-order": ["Sport", "News"],
            "target": "m3u8",
            "output": "out.m3u8"
        })");
    }

    void serve(const Streams& streams) {
        m_provider.answer({}, kActive);
        m_provider.answer("get_live_categories", streams.categories);
        m_provider.answer("get_live_streams", streams.streams);
    }
    // The provider down: every request fails.
    void down() {
        for (const QByteArrayView action : {"", "get_live_categories", "get_live_streams"})
            m_provider.answer(action, HttpResponse{503, "Service Unavailable", {}, "down"});
    }

    QString write(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString output() const { return path(u"out.m3u8"_s); }

    ConvertRun run(const QStringList& more = {},
                   const QProcessEnvironment& environment = withPassword()) {
        return runConvert(QStringList{u"--recipe"_s, m_recipe, u"--verbose"_s} + more, {},
                          environment);
    }

    QTemporaryDir m_dir;
    FakeProvider m_provider;
    QString m_recipe;
};

const QString kAll = u"Sport:Матч|Sport:Goal|News:One"_s;

// Each change of the provider's, from the list the recipe wrote the day
// before: what is written, what is said, and the exit status a timer sees.
TEST_F(RecipeProvider, RunsThroughTheProvidersChanges) {
    const QByteArray recipe = readFile(m_recipe);
    const ConvertRun first = run();
    ASSERT_EQ(first.exitCode, 0) << first.err.data();
    ASSERT_EQ(channelsOf(readFile(output())), kAll);
    const QByteArray written = readFile(output());

    const QByteArray sportRenamed = replacedIn(kUsual.categories, "\"category_name\":\"Sport\"",
                                               "\"category_name\":\"Sports\"");
    const struct {
        const char* change;
        Streams streams;
        QString channels;
        int exitCode;
        const char* counts;
        QList<QByteArray> said;
        bool fromUsual = true; // else from the list of the change before
    } changes[] = {
        {"nothing", kUsual, kAll, 0, "new: 0, gone: 0", {}},
        {"a group renamed",
         {sportRenamed, kUsual.streams},
         u"News:One"_s,
         4,
         "new: 0, gone: 2",
         {"1 group and 1 channel the recipe names are no longer in the playlist:", "  Sport\n",
          "  Match (Sport)\n", "gone: Матч, Goal\n",
          "written, but 1 group and 1 channel the recipe names are gone\n"}},
        // Its stream is the same: not new, not gone; but its name in the
        // recipe names nothing now.
        {"a channel renamed",
         {kUsual.categories, replacedIn(kUsual.streams, "\"Match\"", "\"Match HD\"")},
         u"Sport:Match HD|Sport:Goal|News:One"_s,
         4,
         "new: 0, gone: 0",
         {"  Match (Sport)\n", "written, but 0 groups and 1 channel"}},
        {"a channel moved between groups",
         {kUsual.categories, replacedIn(kUsual.streams, R"("stream_id":4,"category_id":"2")",
                                        R"("stream_id":4,"category_id":"1")")},
         u"Sport:Матч|News:One|News:Goal"_s,
         0,
         "new: 0, gone: 0",
         {}},
        {"a group gone",
         {R"([{"category_id":"1","category_name":"News"}])",
          R"([{"name":"One","stream_id":1,"category_id":"1"},)"
          R"({"name":"Two","stream_id":2,"category_id":"1"}])"},
         u"News:One"_s,
         4,
         "new: 0, gone: 2",
         {"  Sport\n"}},
        {"and back", kUsual, kAll, 0, "new: 2, gone: 0", {"new: Матч, Goal\n"}, false},
        // Nothing left to write: the list stays, and what is gone is named.
        {"every chosen group gone",
         {R"([{"category_id":"1","category_name":"Other"}])",
          R"([{"name":"One","stream_id":1,"category_id":"1"}])"},
         kAll,
         3,
         nullptr,
         {"  News\n", "  Sport\n", "No channels chosen by the recipe\n"}},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.change);
        if (change.fromUsual) {
            serve(kUsual);
            ASSERT_EQ(run().exitCode, 0);
        }
        serve(change.streams);
        const ConvertRun next = run();
        EXPECT_EQ(next.exitCode, change.exitCode) << next.err.data();
        EXPECT_EQ(channelsOf(readFile(output())), change.channels);
        if (change.counts) {
            EXPECT_TRUE(next.err.contains(QByteArray("(") + change.counts + ")"))
                << next.err.data();
        }
        for (const QByteArray& text : change.said)
            EXPECT_TRUE(next.err.contains(text)) << text.data() << "\n" << next.err.data();
        if (change.exitCode == 0) {
            EXPECT_FALSE(next.err.contains("no longer")) << next.err.data();
        }
        // The recipe is left as it was: what is gone applies when it is back.
        EXPECT_EQ(readFile(m_recipe), recipe);
        EXPECT_FALSE(next.err.contains("s3cret")) << next.err.data();
    }

    // The provider down: the list stays as it was.
    serve(kUsual);
    ASSERT_EQ(run().exitCode, 0);
    down();
    const ConvertRun failed = run();
    EXPECT_EQ(failed.exitCode, 1) << failed.err.data();
    EXPECT_EQ(readFile(output()), written);
}

TEST_F(RecipeProvider, GoneIsAcceptedOrForgottenWhenAsked) {
    serve({R"([{"category_id":"1","category_name":"News"}])",
           R"([{"name":"One","stream_id":1,"category_id":"1"}])"});
    const QByteArray recipe = readFile(m_recipe);
    const ConvertRun accepted = run({u"--accept-gone"_s});
    EXPECT_EQ(accepted.exitCode, 0) << accepted.err.data();
    // Still named: accepted is not silent.
    EXPECT_TRUE(accepted.err.contains("  Sport\n")) << accepted.err.data();
    EXPECT_EQ(readFile(m_recipe), recipe);

    const QByteArray accepting = replacedIn(recipe, "\"output\": \"out.m3u8\"",
                                            "\"output\": \"out.m3u8\", \"gone\": \"accept\"");
    write(u"tv.dorvane"_s, accepting);
    EXPECT_EQ(run().exitCode, 0);

    write(u"tv.dorvane"_s, recipe);
    const ConvertRun forgot = run({u"--forget-gone"_s});
    EXPECT_EQ(forgot.exitCode, 0) << forgot.err.data();
    const QByteArray after = readFile(m_recipe);
    EXPECT_FALSE(after.contains("Sport")) << after.data();
    EXPECT_TRUE(after.contains("\"News\"")) << after.data();
    // Nothing is gone now.
    const ConvertRun again = run();
    EXPECT_EQ(again.exitCode, 0) << again.err.data();
}

// A provider's password reaches no file others can read, unless the user
// made it so; and a login is saved as a recipe from the command line.
TEST_F(RecipeProvider, KeepsThePasswordToItsOwner) {
    const ConvertRun done = run();
    ASSERT_EQ(done.exitCode, 0) << done.err.data();
    // Its addresses hold the password.
    EXPECT_EQ(modeOf(output()), 0600u);

    const QString passwordFile = write(u"password"_s, "s3cret\n");
    const QString saved = path(u"login.dorvane"_s);
    const QString base = m_provider.server.base();
    const QStringList login = {u"--save-recipe"_s, saved,     u"--provider"_s, base,    u"--user"_s,
                               u"joe"_s,           u"--to"_s, u"m3u8"_s,       u"-o"_s, output(),
                               u"--group"_s,       u"News"_s};
    ConvertRun save = runConvert(login, {}, withPassword(u"wrong"_s));
    ASSERT_EQ(save.exitCode, 0) << save.err.data();
    EXPECT_EQ(save.err.count('\n'), 1) << save.err.data();
    EXPECT_TRUE(save.err.startsWith("dorvane-convert: recipe saved to " + saved.toUtf8()))
        << save.err.data();
    EXPECT_FALSE(readFile(saved).contains("password"));

    // Without a stored password, from --password-file.
    m_recipe = saved;
    const ConvertRun fromFile = run({u"--password-file"_s, passwordFile}, withPassword(u"wrong"_s));
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err.data();
    EXPECT_EQ(channelsOf(readFile(output())), u"News:One|News:Two"_s);

    save =
        runConvert(login + QStringList{u"--store-password"_s, u"--password-file"_s, passwordFile});
    ASSERT_EQ(save.exitCode, 0) << save.err.data();
    EXPECT_TRUE(save.err.contains("password stored")) << save.err.data();
    EXPECT_TRUE(readFile(saved).contains("\"password\": \"s3cret\""));
    EXPECT_EQ(modeOf(saved), 0600u);
    const ConvertRun stored = run({}, withPassword(u"wrong"_s));
    EXPECT_EQ(stored.exitCode, 0) << stored.err.data();
    EXPECT_FALSE(stored.err.contains("warning")) << stored.err.data();

    // Saved again from the recipe: the password only when asked to.
    const QString again = path(u"again.dorvane"_s);
    ASSERT_EQ(runConvert({u"--recipe"_s, saved, u"--save-recipe"_s, again}).exitCode, 0);
    EXPECT_FALSE(readFile(again).contains("s3cret"));
    ASSERT_EQ(runConvert({u"--recipe"_s, saved, u"--save-recipe"_s, again, u"--store-password"_s})
                  .exitCode,
              0);
    EXPECT_TRUE(readFile(again).contains("s3cret"));
    EXPECT_EQ(modeOf(again), 0600u);

    // Made readable by others: it still works, with a word.
    ASSERT_TRUE(QFile::setPermissions(saved, QFile::ReadOwner | QFile::WriteOwner |
                                                 QFile::ReadGroup | QFile::ReadOther));
    const ConvertRun readable = run({}, withPassword(u"wrong"_s));
    EXPECT_EQ(readable.exitCode, 0) << readable.err.data();
    EXPECT_TRUE(readable.err.contains("warning: " + saved.toUtf8() +
                                      " holds a password and others can read it"))
        << readable.err.data();

    // --store-password without a login to store is refused.
    EXPECT_EQ(runConvert({u"--save-recipe"_s, saved, u"--store-password"_s, u"x.m3u"_s}).exitCode,
              2);
}

// The provider and a free list whose channels overlap, read in order and
// joined; a source down fails the run unless it is optional.
TEST_F(RecipeProvider, JoinsSourcesWhoseChannelsOverlap) {
    serve({kUsual.categories, replacedIn(kUsual.streams, R"("name":"One","stream_id":1,)",
                                         R"("name":"One","stream_id":1,"epg_channel_id":"one",)")});
    write(u"free.m3u"_s, "#EXTM3U\n"
                         "#EXTINF:-1 tvg-id=\"one\" group-title=\"News\",One Free\nhttp://free/1\n"
                         "#EXTINF:-1 group-title=\"Kids\",Toons\nhttp://free/2\n");
    const QByteArray sources = R"("sources": [{"provider": ")" + m_provider.server.base().toUtf8() +
                               R"(", "user": "joe"}, {"file": "free.m3u"}])";
    const auto recipe = [&](const QByteArray& more) {
        write(u"tv.dorvane"_s, "{\"dorvane-recipe\": 1, " + sources + more +
                                   ", \"target\": \"m3u8\", \"output\": \"out.m3u8\"}");
    };
    const QString joined = u"News:One|News:Two|Sport:Match|Sport:Goal|News:One Free|Kids:Toons"_s;
    recipe({});
    ConvertRun done = run();
    EXPECT_EQ(done.exitCode, 0) << done.err.data();
    EXPECT_EQ(channelsOf(readFile(output())), joined);
    recipe(", \"dedupe\": \"guide-id\"");
    done = run();
    EXPECT_EQ(done.exitCode, 0) << done.err.data();
    EXPECT_EQ(channelsOf(readFile(output())), QString(joined).remove(u"|News:One Free"_s));
    const QByteArray written = readFile(output());

    // The free list gone: nothing written.
    QFile::rename(path(u"free.m3u"_s), path(u"free.old"_s));
    done = run();
    EXPECT_EQ(done.exitCode, 1) << done.err.data();
    EXPECT_TRUE(done.err.contains("free.m3u")) << done.err.data();
    EXPECT_EQ(readFile(output()), written);
    // Optional, it is left out, and said so.
    write(u"tv.dorvane"_s,
          readFile(m_recipe).replace("{\"file\": \"free.m3u\"}",
                                     "{\"file\": \"free.m3u\", \"optional\": true}"));
    done = run();
    EXPECT_EQ(done.exitCode, 0) << done.err.data();
    EXPECT_TRUE(done.err.contains("optional source " + path(u"free.m3u"_s).toUtf8() + " left out"))
        << done.err.data();
    EXPECT_EQ(channelsOf(readFile(output())), u"News:One|News:Two|Sport:Match|Sport:Goal"_s);

    // Several INPUTs make a recipe of several sources.
    QFile::rename(path(u"free.old"_s), path(u"free.m3u"_s));
    const QString other = write(u"other.m3u"_s, "#EXTM3U\n#EXTINF:-1,Other\nhttp://o/1\n");
    const QString saved = path(u"files.dorvane"_s);
    const ConvertRun save = runConvert({u"--save-recipe"_s, saved, u"-t"_s, u"m3u8"_s, u"-o"_s,
                                        output(), path(u"free.m3u"_s), other});
    ASSERT_EQ(save.exitCode, 0) << save.err.data();
    EXPECT_TRUE(save.err.contains(path(u"free.m3u"_s).toUtf8() + " + " + other.toUtf8()))
        << save.err.data();
    EXPECT_TRUE(readFile(saved).contains("\"sources\": [")) << readFile(saved).data();
    m_recipe = saved;
    done = run();
    EXPECT_EQ(done.exitCode, 0) << done.err.data();
    EXPECT_EQ(channelsOf(readFile(output())), u"News:One Free|Kids:Toons|:Other"_s);
    EXPECT_EQ(runConvert({u"-t"_s, u"m3u8"_s, path(u"free.m3u"_s), other}).exitCode, 2);
}

} // namespace
} // namespace dorvane::testing
