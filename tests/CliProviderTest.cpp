// dorvane-convert reading a provider's interface, against a fake provider of
// the test's own on 127.0.0.1.
#include "ConvertRunner.h"
#include "FakeProvider.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace dorvane::testing {
namespace {

using namespace Qt::StringLiterals;

QProcessEnvironment withPassword(const QString& password) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DORVANE_PASSWORD"_s, password);
    return environment;
}

QProcessEnvironment withoutPassword() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DORVANE_PASSWORD"_s);
    return environment;
}

const QByteArray kFilms = R"([{"name":"Film","stream_id":2,"container_extension":"mkv"}])";

// The provider's playlist converts as the same M3U given on standard input
// does; the Enigma2 bouquet is named after the server's host.
TEST(CliProvider, ConvertsTheInterfacesPlaylistAsAnyInput) {
    FakeProvider provider(u"joe"_s, u"pa ss"_s);
    provider.answerLiveTv();
    provider.answer("get_vod_categories", "[]");
    provider.answer("get_vod_streams", kFilms);
    const QString base = provider.server.base();
    const QByteArray header =
        "#EXTM3U url-tvg=\"" + base.toUtf8() + "/xmltv.php?username=joe&password=pa%20ss\"\n";
    const QByteArray live = "#EXTINF:-1 tvg-id=\"\" tvg-name=\"One\" tvg-logo=\"\" "
                            "group-title=\"News\",One\n" +
                            base.toUtf8() + "/live/joe/pa%20ss/1.ts\n";
    const QByteArray film = "#EXTINF:-1 tvg-name=\"Film\" tvg-logo=\"\" group-title=\"\",Film\n" +
                            base.toUtf8() + "/movie/joe/pa%20ss/2.mkv\n";

    QTemporaryDir dir;
    QFile passwordFile(dir.filePath(u"password"_s));
    ASSERT_TRUE(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("pa ss\r\nsecond line\n");
    passwordFile.close();

    const struct {
        QStringList options;
        QProcessEnvironment environment;
        QByteArray playlist;
    } cases[] = {
        {{"--to", "enigma2"}, withPassword(u"pa ss"_s), header + live},
        {{"--to", "pls", "--movies"}, withPassword(u"pa ss"_s), header + live + film},
        {{"--to", "m3u8", "--movies", "--no-live", "--password-file", passwordFile.fileName()},
         withPassword(u"wrong"_s),
         header + film},
    };
    for (const auto& c : cases) {
        const ConvertRun expected =
            runConvert(c.options.mid(0, 2) + QStringList{u"-"_s}, c.playlist);
        ASSERT_EQ(expected.exitCode, 0) << expected.err.data();
        const ConvertRun run =
            runConvert(c.options + QStringList{u"--provider"_s, base, u"--user"_s, u"joe"_s}, {},
                       c.environment);
        EXPECT_EQ(run.exitCode, 0) << run.err.data();
        // The same output but for the Enigma2 bouquet's name.
        EXPECT_EQ(run.out, QByteArray(expected.out).replace("#NAME Dorvane", "#NAME 127.0.0.1"))
            << c.options.join(u' ').toStdString();
        EXPECT_FALSE(run.err.contains("pa ss")) << run.err.data();
    }
}

TEST(CliProvider, FailuresWriteNothingAndNeverShowThePassword) {
    FakeProvider provider(u"joe"_s, u"s3cret"_s);
    provider.answer({}, R"({"user_info":{"auth":0}})");
    QTemporaryDir dir;
    const QString output = dir.filePath(u"out.pls"_s);
    const QString base = provider.server.base();
    const QString login = u"Cannot log in to \""_s + base + u"\". Wrong user name or password"_s;
    const struct {
        QStringList arguments;
        QProcessEnvironment environment;
        int exitCode;
        QString message;
    } cases[] = {
        {{"--provider", base, "--user", "joe"}, withPassword(u"s3cret"_s), 1, login},
        {{"--provider", base, "--user", "joe"},
         withoutPassword(),
         1,
         u"No password for \""_s + base +
             u"\": give --password-file FILE or set DORVANE_PASSWORD"_s},
        {{"--provider", base, "--user", "joe", "--password-file", dir.filePath(u"none"_s)},
         withoutPassword(),
         1,
         u"Cannot open file"_s},
        {{"--provider", base}, withPassword(u"s3cret"_s), 2, u"--provider needs --user NAME"_s},
        {{"--provider", base, "--user", "joe", "--no-live"},
         withPassword(u"s3cret"_s),
         2,
         u"--no-live without --movies leaves nothing to read"_s},
        {{"--provider", base, "--user", "joe", "--stream-format", "rtmp"},
         withPassword(u"s3cret"_s),
         2,
         u"--stream-format is ts or m3u8, not \"rtmp\""_s},
        {{"--provider", base, "--user", "joe", "list.m3u"},
         withPassword(u"s3cret"_s),
         2,
         u"--provider cannot be used with an INPUT"_s},
        {{"--movies", "list.m3u"}, withPassword(u"s3cret"_s), 2, u"go with --provider"_s},
        // No way to give it on the command line.
        {{"--provider", base, "--user", "joe", "--password", "s3cret"},
         withoutPassword(),
         2,
         u"unknown option"_s},
    };
    for (const auto& c : cases) {
        const ConvertRun run = runConvert(
            QStringList{u"--to"_s, u"pls"_s, u"-o"_s, output} + c.arguments, {}, c.environment);
        const QString err = QString::fromUtf8(run.err);
        EXPECT_EQ(run.exitCode, c.exitCode) << err.toStdString();
        EXPECT_TRUE(err.contains(c.message)) << err.toStdString();
        if (!c.arguments.contains(u"--password"_s)) {
            EXPECT_FALSE(err.contains(u"s3cret"_s)) << err.toStdString();
        }
        EXPECT_FALSE(QFile::exists(output));
    }
}

// A provider that echoes the password in the text it sends, in any case or
// form the message makes of it: no message shows it, nor its start.
TEST(CliProvider, AnEchoingServerNeverShowsThePassword) {
    const QString password = u"S3cr et"_s;
    const QByteArray statuses[] = {
        "Locked S3cr et",
        "LOCKED S3CR ET",
        "locked s3cr%20et",
        "locked s3cr  et",
        "\\u001b[2J evil " + QByteArray(86, 'x') + "S3cr et",
    };
    for (const QByteArray& status : statuses) {
        FakeProvider provider(u"joe"_s, password);
        provider.answer({}, R"({"user_info":{"auth":1,"status":")" + status + R"("}})");
        const ConvertRun run = runConvert(
            {u"--to"_s, u"pls"_s, u"--provider"_s, provider.server.base(), u"--user"_s, u"joe"_s},
            {}, withPassword(password));
        const QString err = QString::fromUtf8(run.err);
        EXPECT_EQ(run.exitCode, 1) << status.data();
        EXPECT_TRUE(err.contains(u"The account is"_s)) << err.toStdString();
        EXPECT_FALSE(err.contains(u"s3cr"_s, Qt::CaseInsensitive)) << err.toStdString();
        EXPECT_FALSE(err.contains(u'\x1b')) << err.toStdString();
    }
}

// A provider whose answer never ends, a byte at a time well within the
// stall limit, is given up at the run's deadline.
TEST(CliProvider, AnAnswerThatNeverEndsStopsAtTheRunsDeadline) {
    FakeProvider provider(u"joe"_s, u"s3cret"_s);
    provider.answer({}, kActive);
    provider.answer("get_live_categories",
                    HttpResponse::raw("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                      "Connection: close\r\n\r\n[" +
                                          QByteArray(400, ' '),
                                      HttpResponse::Send::Drip, 10));
    const QString base = provider.server.base();
    const ConvertRun run = runConvert({u"--to"_s, u"pls"_s, u"--max-time"_s, u"2"_s,
                                       u"--provider"_s, base, u"--user"_s, u"joe"_s},
                                      {}, withPassword(u"s3cret"_s));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Timed out: the run took longer than 2 seconds"))
        << run.err.data();
    EXPECT_FALSE(run.err.contains("s3cret")) << run.err.data();
    EXPECT_TRUE(run.out.isEmpty());
    const ConvertRun wrong = runConvert({u"--to"_s, u"pls"_s, u"--max-time"_s, u"0"_s, u"-"_s});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.contains("invalid --max-time \"0\"")) << wrong.err.data();
}

// A get.php address whose M3U is blocked is read through the interface.
TEST(CliProvider, GetAddressFallsBackToTheInterface) {
    FakeProvider provider;
    provider.answerLiveTv();
    provider.server.route("/get.php", HttpResponse{403, "Forbidden", {}, "blocked"});
    const ConvertRun run = runConvert(
        {u"--to"_s, u"enigma2"_s,
         provider.server.url(u"/get.php?username=joe&password=s3cret&type=m3u_plus"_s).toString()});
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_TRUE(run.out.contains("/live/joe/s3cret/1.ts")) << run.out.data();
    // Named after the server, as the interface's playlist always is.
    EXPECT_TRUE(run.out.startsWith("#NAME 127.0.0.1\n")) << run.out.data();
    EXPECT_TRUE(run.err.contains("gave no playlist: read through the provider's interface"))
        << run.err.data();
    EXPECT_FALSE(run.err.contains("s3cret")) << run.err.data();
}

} // namespace
} // namespace dorvane::testing
