#include "FakeProvider.h"
#include "QtPrinters.h"
#include "playlist/Errors.h"
#include "source/provider/ProviderLogin.h"
#include "source/provider/ProviderPlaylist.h"
#include "source/provider/ProviderRead.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <tuple>

namespace dorvane::testing {
namespace {

using namespace std::chrono_literals;

// The message of what `run` throws, or "<nothing thrown>".
template <typename Run> QString failureOf(Run run) {
    try {
        run();
    } catch (const EFOpenError& error) {
        return error.Message();
    }
    return QStringLiteral("<nothing thrown>");
}

TEST(ProviderLoginTest, ServerIsTheOriginOfWhatWasTyped) {
    const struct {
        const char* typed;
        const char* server;
    } cases[] = {
        {"http://tv.example:8080", "http://tv.example:8080"},
        {"  tv.example:8080/player_api.php?username=a&password=b ", "http://tv.example:8080"},
        {"HTTPS://user:pw@TV.example/get.php?x=1#top", "https://tv.example"},
        {"tv.example", "http://tv.example"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(serverText(providerServer(QString::fromUtf8(c.typed))),
                  QString::fromUtf8(c.server))
            << c.typed;
    for (const char* typed : {"", "ftp://tv.example", "http://"})
        EXPECT_THROW(providerServer(QString::fromUtf8(typed)), EFOpenError) << typed;
}

TEST(ProviderLoginTest, RequestsEncodeTheLoginByteByByte) {
    const ProviderLogin login = loginTo(QStringLiteral("http://tv.example:8080/x"),
                                        QStringLiteral("a b+é/~"), QStringLiteral("p@ss&=%-._~"));
    EXPECT_EQ(providerRequest(login).toEncoded(),
              "http://tv.example:8080/player_api.php?username=a%20b%2B%C3%A9%2F~"
              "&password=p%40ss%26%3D%25-._~");
    EXPECT_EQ(providerRequest(login, "get_live_streams").toEncoded(),
              "http://tv.example:8080/player_api.php?username=a%20b%2B%C3%A9%2F~"
              "&password=p%40ss%26%3D%25-._~&action=get_live_streams");
}

TEST(ProviderLoginTest, GetAddressesCarryALogin) {
    const auto login = loginOfGetAddress(QUrl(
        QStringLiteral("http://tv.example:8080/get.php?username=joe&password=p%26w&type=m3u")));
    ASSERT_TRUE(login);
    EXPECT_EQ(serverText(login->server), QStringLiteral("http://tv.example:8080"));
    EXPECT_EQ(login->user, QStringLiteral("joe"));
    EXPECT_EQ(login->password, QStringLiteral("p&w"));
    EXPECT_TRUE(login->live);
    EXPECT_FALSE(login->movies);
    for (const char* other : {"http://tv.example/get.php?username=joe",
                              "http://tv.example/list.m3u?username=joe&password=x",
                              "ftp://tv.example/get.php?username=joe&password=x"})
        EXPECT_FALSE(loginOfGetAddress(QUrl(QString::fromUtf8(other)))) << other;
}

// The playlist the answers make, each answer given in turn.
QByteArray playlistOf(const ProviderLogin& login, const QList<QByteArray>& answers) {
    ProviderPlaylist playlist(login);
    EXPECT_EQ(playlist.requests().size(), size_t(answers.size()));
    for (qsizetype k = 0; k < answers.size(); ++k)
        playlist.take(size_t(k), answers[k]);
    return playlist.takePlaylist();
}

const QByteArray kHeader =
    "#EXTM3U url-tvg=\"http://tv.example:8080/xmltv.php?username=joe&password=s3cret\"\n";

TEST(ProviderPlaylistTest, AnswersMakeTheseLines) {
    const struct {
        const char* what;
        QByteArray account, categories, streams, expected;
    } cases[] = {
        {"numbers as numbers, catch-up", kActive,
         R"([{"category_id":"1","category_name":"News","parent_id":0}])",
         R"([{"num":1,"name":"BBC One","stream_type":"live","stream_id":101,
              "stream_icon":"http://i/b.png","epg_channel_id":"bbc.uk","category_id":"1",
              "tv_archive":1,"tv_archive_duration":7}])",
         "#EXTINF:-1 tvg-id=\"bbc.uk\" tvg-name=\"BBC One\" tvg-logo=\"http://i/b.png\" "
         "group-title=\"News\" catchup=\"xc\" catchup-days=\"7\",BBC One\n"
         "http://tv.example:8080/live/joe/s3cret/101.ts\n"},
        {"numbers as strings", kActive, R"([{"category_id":2,"category_name":"Sport"}])",
         R"([{"name":"A","stream_id":"7","category_id":"2","tv_archive":"1",
              "tv_archive_duration":"3"},
             {"name":"B","stream_id":8,"category_id":2,"tv_archive":"0"}])",
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"A\" tvg-logo=\"\" group-title=\"Sport\" "
         "catchup=\"xc\" catchup-days=\"3\",A\nhttp://tv.example:8080/live/joe/s3cret/7.ts\n"
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"B\" tvg-logo=\"\" group-title=\"Sport\",B\n"
         "http://tv.example:8080/live/joe/s3cret/8.ts\n"},
        {"nulls, missing fields, an unknown category, no stream_id", kActive,
         R"([{"category_id":"1","category_name":"News"}])",
         R"([{"name":null,"stream_id":5,"stream_icon":null,"epg_channel_id":null,
              "category_id":"99"},
             {"stream_id":6},
             {"name":"no address","category_id":"1"}])",
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"\" tvg-logo=\"\" group-title=\"\",\n"
         "http://tv.example:8080/live/joe/s3cret/5.ts\n"
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"\" tvg-logo=\"\" group-title=\"\",\n"
         "http://tv.example:8080/live/joe/s3cret/6.ts\n"},
        {"quotes, line breaks, tabs and escapes in values; non-ASCII", kActive,
         R"([{"category_id":"1","category_name":"Дети \"и\"\tсемья"}])",
         R"([{"name":"Say \"Hi\"\r\nNow\u00e9","stream_id":1,"category_id":"1",
              "epg_channel_id":"x\ny","stream_icon":"http://i/\u043b.png"}])",
         "#EXTINF:-1 tvg-id=\"x y\" tvg-name=\"Say 'Hi'  Nowé\" tvg-logo=\"http://i/л.png\" "
         "group-title=\"Дети 'и' семья\",Say \"Hi\"  Nowé\n"
         "http://tv.example:8080/live/joe/s3cret/1.ts\n"},
        {"an id that is no plain text", kActive, "[]", R"([{"name":"A","stream_id":"7/8 é~.-_%"}])",
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"A\" tvg-logo=\"\" group-title=\"\",A\n"
         "http://tv.example:8080/live/joe/s3cret/7%2F8%20%C3%A9~.-_%25.ts\n"},
        {"the account allows m3u8 and not ts",
         R"({"user_info":{"auth":"1","status":"Active","allowed_output_formats":["m3u8","rtmp"]}})",
         "[]", R"([{"name":"A","stream_id":1}])",
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"A\" tvg-logo=\"\" group-title=\"\",A\n"
         "http://tv.example:8080/live/joe/s3cret/1.m3u8\n"},
        {"the account allows both",
         R"({"user_info":{"auth":1,"status":"Active","allowed_output_formats":["m3u8","ts"]}})",
         "[]", R"([{"name":"A","stream_id":1}])",
         "#EXTINF:-1 tvg-id=\"\" tvg-name=\"A\" tvg-logo=\"\" group-title=\"\",A\n"
         "http://tv.example:8080/live/joe/s3cret/1.ts\n"},
    };
    const ProviderLogin login = loginTo(QStringLiteral("tv.example:8080"));
    for (const auto& c : cases)
        EXPECT_EQ(playlistOf(login, {c.account, c.categories, c.streams}), kHeader + c.expected)
            << c.what;
}

TEST(ProviderPlaylistTest, FilmsFollowLiveTvAndTheFormatCanBeForced) {
    ProviderLogin login =
        loginTo(QStringLiteral("tv.example:8080"), QStringLiteral("j o"), QStringLiteral("p/w"));
    login.movies = true;
    login.streamFormat = StreamFormat::M3u8;
    const QByteArray playlist =
        // Live TV's answers come first, as the playlist lists it.
        playlistOf(login, {kActive, R"([{"category_id":"1","category_name":"News"}])",
                           R"([{"name":"Live","stream_id":1,"category_id":"1","tv_archive":1}])",
                           R"([{"category_id":"1","category_name":"Drama"}])",
                           R"([{"name":"Film \"1\"","stream_id":"9","category_id":"1",
                                "container_extension":"mkv","tv_archive":1},
                               {"name":"Film 2","stream_id":10}])"});
    EXPECT_EQ(playlist,
              "#EXTM3U url-tvg=\"http://tv.example:8080/xmltv.php?username=j%20o&password=p%2Fw\"\n"
              "#EXTINF:-1 tvg-id=\"\" tvg-name=\"Live\" tvg-logo=\"\" group-title=\"News\" "
              "catchup=\"xc\" catchup-days=\"0\",Live\n"
              "http://tv.example:8080/live/j%20o/p%2Fw/1.m3u8\n"
              "#EXTINF:-1 tvg-name=\"Film '1'\" tvg-logo=\"\" group-title=\"Drama\",Film \"1\"\n"
              "http://tv.example:8080/movie/j%20o/p%2Fw/9.mkv\n"
              "#EXTINF:-1 tvg-name=\"Film 2\" tvg-logo=\"\" group-title=\"\",Film 2\n"
              "http://tv.example:8080/movie/j%20o/p%2Fw/10.mp4\n");

    login.live = false;
    ProviderPlaylist filmsOnly(login);
    ASSERT_EQ(filmsOnly.requests().size(), 3u);
    EXPECT_EQ(filmsOnly.requests()[1].action, "get_vod_categories");
    EXPECT_EQ(filmsOnly.requests()[2].action, "get_vod_streams");
}

// A list of several megabytes is read in batches, cut between entries
// whatever their strings hold; the caller's copy of the answer is left whole.
TEST(ProviderPlaylistTest, ALargeListGivesEveryEntryAndLeavesTheCallersCopy) {
    QByteArray streams = "[";
    QByteArray expected;
    for (int k = 0; k < 30000; ++k) {
        // Brackets, braces, commas and escaped quotes in strings, nested
        // values the lines leave out.
        streams += QStringLiteral(R"({"name":"A [%1], {\"b\"}\\","stream_id":%1,)"
                                  R"("extra":{"list":[1,{"x":"]"}]}},)")
                       .arg(k)
                       .toUtf8();
        expected += QStringLiteral("#EXTINF:-1 tvg-id=\"\" tvg-name=\"A [%1], {'b'}\\\" "
                                   "tvg-logo=\"\" group-title=\"\",A [%1], {\"b\"}\\\n"
                                   "http://tv.example:8080/live/joe/s3cret/%1.ts\n")
                        .arg(k)
                        .toUtf8();
    }
    streams.back() = ']';
    ASSERT_GT(streams.size(), 2 * 1024 * 1024);                 // three batches
    const QByteArray copy(streams.constData(), streams.size()); // not shared
    ProviderPlaylist playlist(loginTo(QStringLiteral("tv.example:8080")));
    playlist.take(0, kActive);
    playlist.take(1, "[]");
    playlist.take(2, streams);
    EXPECT_EQ(playlist.entries(), 30000);
    EXPECT_TRUE(playlist.takePlaylist() == kHeader + expected);
    EXPECT_TRUE(streams == copy);
}

// A list of a few megabytes, its entries made by `entry` (JSON, its name's
// attribute text, its name), and the lines they give.
struct LargeList {
    QByteArray json, lines;
};
template <typename Entry>
LargeList largeList(const char* open, const char* comma, const char* close, Entry entry) {
    LargeList list{open, {}};
    for (int k = 0; list.json.size() < 3 * 1024 * 1024; ++k) {
        const auto [json, attribute, name] = entry(k);
        if (k > 0)
            list.json += comma;
        list.json += json;
        list.lines += "#EXTINF:-1 tvg-id=\"\" tvg-name=\"" + attribute +
                      "\" tvg-logo=\"\" group-title=\"\"," + name +
                      "\nhttp://tv.example:8080/live/joe/s3cret/" + QByteArray::number(k) + ".ts\n";
    }
    list.json += close;
    return list;
}

// What the answer gives, as a download gives it: in pieces of `piece`
// bytes.
QByteArray linesOf(const QByteArray& streams, qsizetype piece) {
    ProviderPlaylist playlist(loginTo(QStringLiteral("tv.example:8080")));
    playlist.take(0, kActive);
    playlist.take(1, "[]");
    BodySink& sink = playlist.answer(2);
    sink.begin(streams.size());
    for (qsizetype at = 0; at < streams.size(); at += piece)
        sink.write(QByteArrayView(streams).sliced(at, std::min(piece, streams.size() - at)));
    playlist.finish();
    return playlist.takePlaylist().sliced(kHeader.size());
}

// A batch is cut where an entry most likely ends ("},{", the next entry
// opening as the first did), and simdjson's reading of it says whether it
// did; where it did not, the batch is cut again by the scan. Whatever a cut
// falls in, every entry is read once, and in whatever pieces the answer
// comes.
TEST(ProviderPlaylistTest, BatchesAreCutBetweenEntriesWhateverTheCutFallsIn) {
    using Entry = std::tuple<QByteArray, QByteArray, QByteArray>;
    const auto plain = [](int k) {
        const QByteArray n = QByteArray::number(k);
        return Entry{R"({"name":"N)" + n + R"(","stream_id":)" + n + "}", "N" + n, "N" + n};
    };
    const struct {
        const char* what;
        LargeList list;
    } cases[] = {
        {"\"},{\" and escaped quotes and backslashes in every name",
         largeList("[", ",", "]",
                   [](int k) {
                       const QByteArray n = QByteArray::number(k);
                       return Entry{R"({"name":"A\\\"},{\"name\":\")" + n + R"(\\","stream_id":)" +
                                        n + "}",
                                    "A\\'},{'name':'" + n + "\\", "A\\\"},{\"name\":\"" + n + "\\"};
                   })},
        {"nested lists of objects opening as the entries do",
         largeList("[", ",", "]",
                   [](int k) {
                       const QByteArray n = QByteArray::number(k);
                       return Entry{R"({"name":"B)" + n + R"(","stream_id":)" + n +
                                        R"(,"x":[{"name":1},{"name":[{"name":2},{}]}]})",
                                    "B" + n, "B" + n};
                   })},
        {"more \"},{\" in a string than are tried",
         largeList("[", ",", "]",
                   [](int k) {
                       const QByteArray n = QByteArray::number(k);
                       const QByteArray braces = QByteArray("},{x").repeated(70);
                       return Entry{R"({"name":")" + braces + n + R"(","stream_id":)" + n + "}",
                                    braces + n, braces + n};
                   })},
        {"spaces and line breaks between entries",
         largeList("[\n  ", " ,\r\n  ", "\n]\n",
                   [](int k) {
                       const QByteArray n = QByteArray::number(k);
                       return Entry{R"({"name": "D)" + n + R"(", "stream_id": )" + n + " }",
                                    "D" + n, "D" + n};
                   })},
        {"megabytes of blank space before, between and inside entries and after the list",
         largeList("[", ",", " \n]\n",
                   [&plain](int k) {
                       if (k != 0 && k != 5000)
                           return plain(k);
                       const QByteArray n = QByteArray::number(k);
                       const QByteArray blank(k == 0 ? 600 * 1024 : 150 * 1024,
                                              k == 0 ? ' ' : '\n');
                       return Entry{blank + R"({"name":)" + blank + R"("S)" + n +
                                        R"(","stream_id":)" + n + blank + "}" + blank,
                                    "S" + n, "S" + n};
                   })},
        {"an entry longer than a batch",
         largeList("[", ",", "]",
                   [&plain](int k) {
                       if (k != 3)
                           return plain(k);
                       const QByteArray name(2500 * 1024, 'L');
                       return Entry{R"({"name":")" + name + R"(","stream_id":3})", name, name};
                   })},
    };
    for (const auto& c : cases) {
        ASSERT_GT(c.list.json.size(), 2 * 1024 * 1024) << c.what; // three batches
        for (const qsizetype piece : {qsizetype(1) << 30, qsizetype(4093), qsizetype(977)})
            EXPECT_TRUE(linesOf(c.list.json, piece) == c.list.lines) << c.what << ", " << piece;
    }
}

// A large list that is no list of objects fails as a small one does,
// wherever its fault is.
TEST(ProviderPlaylistTest, ALargeListsFaultIsFoundWhereverItIs) {
    QByteArray entries;
    for (int k = 0; entries.size() < 3 * 1024 * 1024; ++k)
        entries += R"({"name":"N","stream_id":)" + QByteArray::number(k) + "},";
    entries.chop(1);
    const qsizetype middle = entries.indexOf("},{", 900 * 1024) + 1;
    const QString answer =
        QStringLiteral("Cannot read the provider's answer from \"http://tv.example:8080\". "
                       "get_live_streams: ");
    const struct {
        const char* what;
        QByteArray streams;
        QString reason;
    } cases[] = {
        {"the list closed early", "[" + entries.first(middle) + "]" + entries.sliced(middle) + "]",
         "not valid JSON"},
        {"a string left open at the end", "[" + entries + R"(,{"name":"N]})", "not valid JSON"},
        {"no closing bracket", "[" + entries, "not valid JSON"},
        {"a number among the objects",
         "[" + entries.first(middle) + ",7" + entries.sliced(middle) + "]",
         "an entry is not a JSON object"},
    };
    for (const auto& c : cases) {
        for (const qsizetype piece : {qsizetype(1) << 30, qsizetype(65521)}) {
            const QString message = failureOf([&] { linesOf(c.streams, piece); });
            EXPECT_EQ(message, answer + c.reason) << c.what << ", " << piece;
        }
    }
}

TEST(ProviderPlaylistTest, FailuresSayWhatWentWrongAndNeverShowThePassword) {
    const QString login = QStringLiteral("Cannot log in to \"http://tv.example:8080\". ");
    const QString answer =
        QStringLiteral("Cannot read the provider's answer from \"http://tv.example:8080\". ");
    const struct {
        QList<QByteArray> answers;
        QString message;
    } cases[] = {
        {{R"({"user_info":{"auth":0}})"}, login + "Wrong user name or password"},
        {{R"({"user_info":{"auth":1,"status":"Banned"}})"}, login + "The account is banned"},
        {{R"({"user_info":{"auth":1,"status":"Disabled","exp_date":"1706659200"}})"},
         login + "The account is disabled"},
        {{R"({"user_info":{"auth":1,"status":"Expired","exp_date":"1706659200"}})"},
         login + "The account is expired since 2024-01-31"},
        {{R"({"user_info":{"auth":1,"status":"Expired","exp_date":1706745599}})"},
         login + "The account is expired since 2024-01-31"},
        {{R"({"user_info":{"auth":1,"status":"Expired","exp_date":null}})"},
         login + "The account is expired"},
        // A provider echoing the password back in what it says.
        {{R"({"user_info":{"auth":1,"status":"Locked s3cret"}})"},
         login + "The account is locked ***"},
        // Lower-cased for the message, and cut to its first 100 characters.
        {{R"({"user_info":{"auth":1,"status":"EVIL\u001b[2J S3CRET"}})"},
         login + "The account is evil\x1b[2j ***"},
        {{R"({"user_info":{"auth":1,"status":")" + QByteArray(97, 'x') + R"(s3cret"}})"},
         login + "The account is " + QString(97, u'x') + "***"},
        {{"<html>Forbidden</html>"}, answer + "player_api.php: not valid JSON"},
        {{""}, answer + "player_api.php: an empty answer"},
        {{"[]"}, answer + "player_api.php: not a JSON object"},
        {{R"({"server_info":{}})"}, answer + "player_api.php: no user_info"},
        {{kActive, R"({"error":"no"})"}, answer + "get_live_categories: not a JSON array"},
        {{kActive, "[]", "null"}, answer + "get_live_streams: not a JSON array"},
        {{kActive, "[]", "[1]"}, answer + "get_live_streams: an entry is not a JSON object"},
    };
    for (const auto& c : cases) {
        const QString message = failureOf([&] {
            ProviderPlaylist playlist(loginTo(QStringLiteral("http://tv.example:8080")));
            for (qsizetype k = 0; k < c.answers.size(); ++k)
                playlist.take(size_t(k), c.answers[k]);
        });
        EXPECT_EQ(message, c.message);
    }
    // Broken JSON deep in an answer, found once its entries are written.
    const QString broken = failureOf([] {
        playlistOf(loginTo(QStringLiteral("http://tv.example:8080")),
                   {kActive, "[]", R"([{"name":"A","stream_id":1},{"name":"B)"});
    });
    EXPECT_EQ(broken, answer + "get_live_streams: not valid JSON");
    EXPECT_FALSE(broken.contains(u"s3cret"));
}

// What is wrong with the list made, not with an address: a list past the
// limit, and an account past its date that the provider still serves.
TEST(ProviderPlaylistTest, ListsPastTheLimitAndExpiredAccountsAreSaidAsSuch) {
    ProviderPlaylist large(loginTo(QStringLiteral("http://tv.example:8080")));
    large.limitPlaylist(64 * 1024);
    QByteArray streams = "[";
    for (int k = 0; k < 2000; ++k)
        streams +=
            QByteArray(k ? "," : "") + R"({"name":"N","stream_id":)" + QByteArray::number(k) + "}";
    streams += "]";
    const QString message = failureOf([&] {
        large.take(0, kActive);
        large.take(1, "[]");
        large.take(2, streams);
    });
    EXPECT_EQ(message, QStringLiteral("Cannot read from \"http://tv.example:8080\". The list "
                                      "made from the provider would pass 1 GiB"));

    ProviderPlaylist expired(loginTo(QStringLiteral("tv.example:8080")));
    expired.take(0, R"({"user_info":{"auth":1,"status":"Active","exp_date":"1706659200"}})");
    expired.take(1, "[]");
    expired.take(2, R"([{"name":"A","stream_id":1}])");
    EXPECT_EQ(expired.warnings(),
              QStringList{QStringLiteral(
                  "The account expired on 2024-01-31, but the provider still answers")});
    EXPECT_EQ(expired.entries(), 1);
    ProviderPlaylist current(loginTo(QStringLiteral("tv.example:8080")));
    current.take(0, R"({"user_info":{"auth":1,"status":"Active","exp_date":"4102444800"}})");
    EXPECT_TRUE(current.warnings().isEmpty());
}

void fetchWhole(const QUrl& url, BodySink& sink) {
    downloadInto(url, DownloadLimits{}, sink);
}

TEST(ProviderReadTest, ReadsTheAnswersInTurnFromTheServer) {
    FakeProvider provider(QStringLiteral("jo é"), QStringLiteral("p&w=%"));
    provider.answerLiveTv();
    const QByteArray playlist = readProviderPlaylist(provider.login, fetchWhole);
    EXPECT_TRUE(
        playlist.endsWith(provider.server.base().toUtf8() + "/live/jo%20%C3%A9/p%26w%3D%25/1.ts\n"))
        << playlist.toStdString();
    const QList<QByteArray> requests = provider.server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_TRUE(requests[0].startsWith(
        "GET /player_api.php?username=jo%20%C3%A9&password=p%26w%3D%25 HTTP/1.1"))
        << requests[0].toStdString();
    EXPECT_TRUE(requests[2].contains("&action=get_live_streams HTTP")) << requests[2].toStdString();
}

TEST(ProviderReadTest, HttpFailuresAreOpenUrlsWithThePasswordMasked) {
    FakeProvider provider(QStringLiteral("joe"), QStringLiteral("pw s3cret"));
    provider.answer({}, kActive);
    provider.answer("get_live_categories", HttpResponse{403, "Forbidden", {}, "go away"});
    const QString message = failureOf([&] { readProviderPlaylist(provider.login, fetchWhole); });
    EXPECT_EQ(message,
              QStringLiteral("Cannot open URL \"%1/player_api.php?username=joe&password=***"
                             "&action=get_live_categories\". 403 Forbidden")
                  .arg(provider.server.base()));

    provider.login.server = providerServer(QStringLiteral("http://127.0.0.1:%1").arg(unusedPort()));
    const QString refused = failureOf([&] { readProviderPlaylist(provider.login, fetchWhole); });
    EXPECT_TRUE(refused.startsWith(u"Cannot open URL")) << refused.toStdString();
    EXPECT_FALSE(refused.contains(u"s3cret")) << refused.toStdString();
    EXPECT_FALSE(refused.contains(u"pw%20s3cret")) << refused.toStdString();
}

TEST(ProviderReadTest, GetAddressFallsBackToTheInterface) {
    const QByteArray m3u = "#EXTM3U\n#EXTINF:-1,Own\nhttp://x/own\n";
    const struct {
        const char* what;
        HttpResponse getAnswer;
        bool fellBack;
    } cases[] = {
        {"the playlist itself", HttpResponse{200, "OK", {}, m3u}, false},
        {"a blocked M3U address", HttpResponse{403, "Forbidden", {}, "blocked"}, true},
        {"no channels", HttpResponse{200, "OK", {}, "#EXTM3U\n"}, true},
    };
    for (const auto& c : cases) {
        FakeProvider provider;
        provider.answerLiveTv();
        provider.server.route("/get.php", c.getAnswer);
        const QUrl address =
            provider.server.url(QStringLiteral("/get.php?username=joe&password=s3cret&type=m3u"));
        const auto login = loginOfGetAddress(address);
        ASSERT_TRUE(login);
        bool fellBack = false;
        const QByteArray playlist = readGetAddress(address, *login, fetchWhole, fellBack);
        EXPECT_EQ(fellBack, c.fellBack) << c.what;
        EXPECT_EQ(playlist.contains("/live/joe/s3cret/1.ts"), c.fellBack) << c.what;

        // The same on the event loop, as the window reads it.
        ProviderRead read(*login, address);
        QEventLoop loop;
        QObject::connect(&read, &ProviderRead::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20s, &loop, &QEventLoop::quit);
        loop.exec();
        ASSERT_EQ(read.status(), ProviderRead::Status::Succeeded) << c.what;
        EXPECT_EQ(read.fellBack(), c.fellBack) << c.what;
        EXPECT_EQ(read.takeBytes(), playlist) << c.what;
    }
}

TEST(ProviderReadTest, TheWindowsReadStopsAtTheFirstFailure) {
    FakeProvider provider(QStringLiteral("joe"), QStringLiteral("s3cret"));
    provider.answer({}, R"({"user_info":{"auth":0}})");
    ProviderRead read(provider.login);
    QEventLoop loop;
    QObject::connect(&read, &ProviderRead::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20s, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(read.status(), ProviderRead::Status::Failed);
    EXPECT_EQ(read.errorMessage(),
              QStringLiteral("Cannot log in to \"%1\". Wrong user name or password")
                  .arg(provider.server.base()));
    EXPECT_EQ(provider.server.requests().size(), 1);
}

} // namespace
} // namespace dorvane::testing
