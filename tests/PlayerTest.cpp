// Our files as a real player reads them (libvlc, with no audio or video
// output): the addresses of the source in the same order, the names where
// the format holds them, and for the formats that carry headers the
// User-Agent and Referer a server on 127.0.0.1 receives when each channel
// plays.
#include "ConvertRunner.h"
#include "HttpTestServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <vlc/vlc.h>

#include <functional>
#include <vector>

using namespace dorvane;
using dorvane::testing::HttpResponse;
using dorvane::testing::HttpTestServer;

namespace {

struct Entry {
    QString address;
    QString name;
};

// Waits for `done`, a few milliseconds at a time, at most `ms`.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(10);
    }
    return true;
}

class Player {
public:
    Player() {
        const char* const args[] = {"--intf=dummy",
                                    "--vout=dummy",
                                    "--aout=dummy",
                                    "--no-video-title-show",
                                    "--no-stats",
                                    "--quiet",
                                    "--no-media-library",
                                    "--no-metadata-network-access",
                                    "--network-caching=100",
                                    "--verbose=-1"};
        m_vlc = libvlc_new(int(std::size(args)), args);
    }
    ~Player() {
        if (m_vlc)
            libvlc_release(m_vlc);
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool ready() const { return m_vlc != nullptr; }

    // The entries the player's parser finds in a playlist file.
    std::vector<Entry> entries(const QString& file) {
        std::vector<Entry> found;
        libvlc_media_t* media = libvlc_media_new_path(m_vlc, QFile::encodeName(file).constData());
        if (!media)
            return found;
        libvlc_media_parse_with_options(media, libvlc_media_parse_local, 10000);
        const bool parsed =
            waitFor([media] { return libvlc_media_get_parsed_status(media) != 0; }, 15000);
        EXPECT_TRUE(parsed) << file.toStdString();
        if (libvlc_media_list_t* list = libvlc_media_subitems(media)) {
            libvlc_media_list_lock(list);
            for (int k = 0; k < libvlc_media_list_count(list); ++k) {
                libvlc_media_t* item = libvlc_media_list_item_at_index(list, k);
                char* mrl = libvlc_media_get_mrl(item);
                char* title = libvlc_media_get_meta(item, libvlc_meta_Title);
                found.push_back({QString::fromUtf8(mrl), QString::fromUtf8(title)});
                libvlc_free(mrl);
                libvlc_free(title);
                libvlc_media_release(item);
            }
            libvlc_media_list_unlock(list);
            libvlc_media_list_release(list);
        }
        libvlc_media_release(media);
        return found;
    }

    // Plays each entry of a playlist file until `requested(k)` says the
    // server has its request (at most a few seconds each).
    void playEach(const QString& file, const std::function<bool(int)>& requested) {
        libvlc_media_t* media = libvlc_media_new_path(m_vlc, QFile::encodeName(file).constData());
        ASSERT_NE(media, nullptr);
        libvlc_media_parse_with_options(media, libvlc_media_parse_local, 10000);
        ASSERT_TRUE(waitFor([media] { return libvlc_media_get_parsed_status(media) != 0; }, 15000));
        libvlc_media_list_t* list = libvlc_media_subitems(media);
        ASSERT_NE(list, nullptr);
        libvlc_media_list_lock(list);
        const int count = libvlc_media_list_count(list);
        std::vector<libvlc_media_t*> items;
        for (int k = 0; k < count; ++k)
            items.push_back(libvlc_media_list_item_at_index(list, k));
        libvlc_media_list_unlock(list);
        for (int k = 0; k < count; ++k) {
            libvlc_media_player_t* player = libvlc_media_player_new_from_media(items[size_t(k)]);
            libvlc_media_player_play(player);
            EXPECT_TRUE(waitFor([&] { return requested(k); }, 8000)) << "channel " << k;
            libvlc_media_player_stop(player);
            libvlc_media_player_release(player);
            libvlc_media_release(items[size_t(k)]);
        }
        libvlc_media_list_release(list);
        libvlc_media_release(media);
    }

private:
    libvlc_instance_t* m_vlc = nullptr;
};

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

// Our file of the target, converted from `source` by dorvane-convert.
QString converted(const QTemporaryDir& dir, const QString& source, const char* target,
                  const char* extension) {
    const QString path = dir.filePath(QStringLiteral("out.") + QLatin1String(extension));
    const ConvertRun run = runConvert({"-q", "--to", target, "-o", path, source});
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    return path;
}

std::vector<QString> addressesOf(const std::vector<Entry>& entries) {
    std::vector<QString> addresses;
    for (const Entry& entry : entries)
        addresses.push_back(entry.address);
    return addresses;
}
std::vector<QString> namesOf(const std::vector<Entry>& entries) {
    std::vector<QString> names;
    for (const Entry& entry : entries)
        names.push_back(entry.name);
    return names;
}

TEST(Player, FindsTheSourcesAddressesAndNamesInOurFiles) {
    Player player;
    ASSERT_TRUE(player.ready());
    QTemporaryDir dir;
    const QString source = QStringLiteral(DORVANE_TEST_DATA "/headers-and-logos/input.m3u");
    const std::vector<Entry> expected = player.entries(source);
    ASSERT_EQ(expected.size(), 4u);
    const struct {
        const char* target;
        const char* extension;
        bool names;
    } cases[] = {{"m3u", "m3u", true},
                 {"m3u8", "m3u8", true},
                 {"pls", "pls", true},
                 {"xspf", "xspf", true},
                 {"wmp", "wpl", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const std::vector<Entry> found =
            player.entries(converted(dir, source, c.target, c.extension));
        EXPECT_EQ(addressesOf(found), addressesOf(expected));
        if (c.names) {
            EXPECT_EQ(namesOf(found), namesOf(expected));
        }
    }
}

// The headers a channel needs reach the server, whichever way the source
// gave them.
TEST(Player, SendsEachChannelsHeadersFromOurM3u8AndXspf) {
    Player player;
    ASSERT_TRUE(player.ready());
    HttpTestServer server;
    for (int k = 0; k < 3; ++k)
        server.route("/ch" + QByteArray::number(k), HttpResponse{404, "Not Found", {}, {}});
    const QString base = server.base();
    QTemporaryDir dir;
    // M3U8 keeps its text: the player's own option lines.
    const QByteArray options = ("#EXTM3U\n"
                                "#EXTINF:-1,Zero\n#EXTVLCOPT:http-user-agent=Agent/0\n"
                                "#EXTVLCOPT:http-referrer=http://ref.example/0\n" +
                                base +
                                "/ch0\n"
                                "#EXTINF:-1,One\n#EXTVLCOPT:http-user-agent=Agent/1\n"
                                "#EXTVLCOPT:http-referrer=http://ref.example/1\n" +
                                base + "/ch1\n")
                                   .toUtf8();
    // XSPF carries them from attributes and an address's suffix as well.
    const QByteArray forms =
        ("#EXTM3U\n"
         "#EXTINF:-1 user-agent=\"Agent/0\" referrer=\"http://ref.example/0\",Zero\n" +
         base +
         "/ch0\n"
         "#EXTINF:-1,One\n" +
         base +
         "/ch1|User-Agent=Agent%2F1&Referer=http%3A%2F%2Fref.example%2F1\n"
         "#EXTINF:-1,Two\n#EXTVLCOPT:http-user-agent=Agent/2\n"
         "#EXTVLCOPT:http-referrer=http://ref.example/2\n" +
         base + "/ch2\n")
            .toUtf8();
    const struct {
        const char* target;
        const char* extension;
        QByteArray source;
        int channels;
    } cases[] = {{"m3u8", "m3u8", options, 2}, {"xspf", "xspf", forms, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const QString source = writeFile(dir, QStringLiteral("source.m3u"), c.source);
        const QString ours = converted(dir, source, c.target, c.extension);
        const auto requestFor = [&](int k) -> QByteArray {
            for (const QByteArray& head : server.requests())
                if (head.startsWith("GET /ch" + QByteArray::number(k) + " "))
                    return head;
            return {};
        };
        const qsizetype before = server.requests().size();
        player.playEach(ours, [&](int k) {
            return server.requests().size() > before && !requestFor(k).isEmpty();
        });
        for (int k = 0; k < c.channels; ++k) {
            const QByteArray head = requestFor(k).toLower();
            EXPECT_TRUE(head.contains("\r\nuser-agent: agent/" + QByteArray::number(k)))
                << k << "\n"
                << head.data();
            EXPECT_TRUE(head.contains("\r\nreferer: http://ref.example/" + QByteArray::number(k)))
                << k << "\n"
                << head.data();
        }
    }
}

} // namespace
