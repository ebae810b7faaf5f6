// dorvane-convert --send-to against real servers on 127.0.0.1: an FTP
// server (pyftpdlib) and OpenSSH's sshd over a receiver's folder, and the
// receiver's web interface, all started and stopped here.
#include "receiver/Send.h"
#include "ConvertRunner.h"
#include "HttpTestServer.h"
#include "ReceiverServers.h"
#include "TestFiles.h"
#include "playlist/Errors.h"

#include <gtest/gtest.h>

#include "QtPrinters.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <pwd.h>
#include <unistd.h>

using namespace dorvane::testing;

namespace {

const QByteArray kPlaylist = "#EXTM3U\n"
                             "#EXTINF:-1 group-title=\"News\",Daily\nhttp://tv/news/1\n"
                             "#EXTINF:-1 group-title=\"Kids\",Cartoons\nhttp://tv/kids/1\n"
                             "#EXTINF:-1 group-title=\"News\",Evening\nhttp://tv/news/2\n"
                             "#EXTINF:-1 group-title=\"Film & Series\",Drama\nhttp://tv/film/1\n";

const QByteArray kForeignIndex =
    "#NAME User - bouquets (TV)\r\n"
    "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.favourites.tv\" ORDER BY bouquet\r\n"
    "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvanex.tv\" ORDER BY bouquet  \r\n";

const QByteArray kReloaded = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<e2simplexmlresult>\n"
                             "<e2state>True</e2state>\n<e2statetext>reloaded</e2statetext>\n"
                             "</e2simplexmlresult>\n";

const QByteArray kReloadPath = "/web/servicelistreload?mode=2";

class SendTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeTestFile(path("list.m3u"), kPlaylist);
        m_web.route(kReloadPath, HttpResponse{200, "OK", {}, kReloaded});
    }

    QString path(const char* name) const { return m_dir.path() + u'/' + QLatin1String(name); }
    QString home() const { return m_dir.path() + QStringLiteral("/home"); }

    // The receiver as the user left it: an index and a bouquet of theirs,
    // and a file whose name only looks like ours.
    static void fillReceiver(const QString& folder) {
        writeTestFile(folder + QStringLiteral("/bouquets.tv"), kForeignIndex);
        writeTestFile(folder + QStringLiteral("/userbouquet.favourites.tv"), "#NAME Favourites\n");
        writeTestFile(folder + QStringLiteral("/userbouquet.dorvanex.tv"), "#NAME Not ours\n");
        writeTestFile(folder + QStringLiteral("/lamedb"), "eDVB services /4/\n");
    }

    QProcessEnvironment environment(const QByteArray& password = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home());
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("SSH_AUTH_SOCK"));
        env.remove(QStringLiteral("DORVANE_BOX_PASSWORD"));
        if (!password.isEmpty())
            env.insert(QStringLiteral("DORVANE_BOX_PASSWORD"), QString::fromUtf8(password));
        return env;
    }

    QStringList reloadArgs() const { return {QStringLiteral("--reload-url"), m_web.base()}; }

    ConvertRun send(const QStringList& arguments, const QByteArray& password) {
        return runConvert(arguments, {}, environment(password));
    }

    int reloads() const {
        int n = 0;
        for (const QByteArray& request : m_web.requests())
            n += request.startsWith("GET " + kReloadPath + " ");
        return n;
    }

    QTemporaryDir m_dir;
    HttpTestServer m_web;
};

QByteArray ourLine(const char* file) {
    return QByteArray("#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"") + file +
           "\" ORDER BY bouquet\r\n";
}

TEST_F(SendTest, FirstSendThenAGroupRenamedAndOneDropped) {
    const QByteArray password = "p@ss:w/o#r%d";
    FtpBox box(QString::fromUtf8(password));
    ASSERT_TRUE(box.running());
    fillReceiver(box.folder());
    const QMap<QString, QByteArray> before = filesIn(box.folder());
    // What a send that failed half-way left behind, to be cleared.
    writeTestFile(box.folder() + QStringLiteral("/userbouquet.dorvane_news.tv.part"), "#NAME");
    writeTestFile(box.folder() + QStringLiteral("/bouquets.tv.dorvane.part-old"), "#NAME");
    writeTestFile(path("box-password"), password + "\n");

    // A recipe that sends, one bouquet per group.
    QJsonObject recipe{{"dorvane-recipe", 1},
                       {"source", QJsonObject{{"file", "list.m3u"}}},
                       {"send-to", box.address()},
                       {"per-group", true}};
    writeTestFile(path("box.dorvane"), QJsonDocument(recipe).toJson());
    const QStringList arguments =
        QStringList{"--recipe", path("box.dorvane"), "--box-password-file", path("box-password")} +
        reloadArgs();
    ConvertRun run = send(arguments, {});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_FALSE(run.err.contains(password)) << run.err.constData();
    EXPECT_FALSE(run.err.contains("p@ss")) << run.err.constData();

    QMap<QString, QByteArray> after = filesIn(box.folder());
    EXPECT_EQ(after.value("bouquets.tv"), kForeignIndex + ourLine("userbouquet.dorvane_news.tv") +
                                              ourLine("userbouquet.dorvane_kids.tv") +
                                              ourLine("userbouquet.dorvane_film_series.tv"));
    EXPECT_TRUE(after.value("userbouquet.dorvane_news.tv").startsWith("#NAME News\n"));
    EXPECT_TRUE(after.value("userbouquet.dorvane_news.tv").contains("Evening"));
    for (const char* foreign : {"userbouquet.favourites.tv", "userbouquet.dorvanex.tv", "lamedb"})
        EXPECT_EQ(after.value(foreign), before.value(foreign)) << foreign;
    EXPECT_EQ(after.size(), before.size() + 3); // no temporary file left
    EXPECT_EQ(reloads(), 1);
    // Basic auth with the same user and password.
    const QByteArray auth =
        "Authorization: Basic " + (userName().toUtf8() + ':' + password).toBase64();
    ASSERT_FALSE(m_web.requests().isEmpty());
    EXPECT_TRUE(m_web.requests().last().contains(auth)) << m_web.requests().last().constData();

    // The receiver's index as it was is in the backup.
    const QMap<QString, QByteArray> backups =
        filesIn(home() + QStringLiteral("/.local/share/dorvane/backups/127.0.0.1"));
    ASSERT_EQ(backups.size(), 1) << backups.keys().join(u' ').toStdString();
    EXPECT_EQ(backups.first(), kForeignIndex);

    // The recipe keeps the files' names.
    const QJsonObject kept = QJsonDocument::fromJson(readFile(path("box.dorvane"))).object();
    ASSERT_EQ(kept.value("slugs").toArray().size(), 3);
    EXPECT_EQ(kept.value("send-to").toString(), box.address());
    EXPECT_FALSE(readFile(path("box.dorvane")).contains(password));

    // The user moves our lines between theirs; then News is renamed and
    // Kids dropped.
    const QByteArray moved =
        "#NAME User - bouquets (TV)\r\n" + ourLine("userbouquet.dorvane_news.tv") +
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.favourites.tv\" ORDER BY "
        "bouquet\r\n" +
        ourLine("userbouquet.dorvane_kids.tv") + ourLine("userbouquet.dorvane_film_series.tv") +
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvanex.tv\" ORDER BY bouquet  "
        "\r\n";
    writeTestFile(box.folder() + QStringLiteral("/bouquets.tv"), moved);
    QJsonObject next = kept;
    next.insert("group-names", QJsonArray{QJsonObject{{"group", "News"}, {"name", "Headlines"}}});
    next.insert("exclude-groups", QJsonArray{"Kids"});
    writeTestFile(path("box.dorvane"), QJsonDocument(next).toJson());
    run = send(arguments, {});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();

    after = filesIn(box.folder());
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
    EXPECT_EQ(reloads(), 2);
    EXPECT_EQ(filesIn(home() + QStringLiteral("/.local/share/dorvane/backups/127.0.0.1")).size(),
              1 + 4); // the index and our three files
}

TEST_F(SendTest, AFailureBeforeTheIndexLeavesTheReceiversLists) {
    const struct {
        const char* what;
        QStringList serverOptions;
        QByteArray password; // the one given
        const char* said;
    } cases[] = {
        {"login refused", {}, "Wr0ngPass", "refused the user name or password"},
        {"disk full at the second bouquet", {"--full-after", "1"}, "secret", "Uploading"},
        {"disk full at the index", {"--full-after", "3"}, "secret", "Writing the index"},
        {"connection dropped mid-upload", {"--drop-after", "1"}, "secret", "Uploading"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FtpBox box(QStringLiteral("secret"), c.serverOptions);
        ASSERT_TRUE(box.running());
        fillReceiver(box.folder());
        const QMap<QString, QByteArray> before = filesIn(box.folder());
        const int reloadsBefore = reloads();
        const ConvertRun run = send(
            QStringList{"--send-to", box.address(), "--per-group", path("list.m3u")} + reloadArgs(),
            c.password);
        EXPECT_EQ(run.exitCode, 5) << run.err.constData();
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.constData();
        EXPECT_TRUE(run.err.contains("keeps its old lists")) << run.err.constData();
        EXPECT_FALSE(run.err.contains(c.password)) << run.err.constData();
        const QMap<QString, QByteArray> after = filesIn(box.folder());
        EXPECT_EQ(after.value("bouquets.tv"), kForeignIndex);
        for (auto it = before.begin(); it != before.end(); ++it)
            EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
        EXPECT_EQ(reloads(), reloadsBefore);
    }
}

TEST_F(SendTest, AFailedReloadSaysToReloadByHand) {
    FtpBox box(QStringLiteral("secret"));
    ASSERT_TRUE(box.running());
    const struct {
        const char* what;
        HttpResponse reply;
        const char* said;
    } cases[] = {
        {"401", HttpResponse{401, "Unauthorized", {}, "no"}, "HTTP 401"},
        {"500", HttpResponse{500, "Internal Server Error", {}, "oops"}, "HTTP 500"},
        {"not confirmed", HttpResponse{200, "OK", {}, "<e2state>False</e2state>"}, "confirm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_web.route(kReloadPath, c.reply);
        const ConvertRun run = send(
            QStringList{"--send-to", box.address(), path("list.m3u")} + reloadArgs(), "secret");
        EXPECT_EQ(run.exitCode, 6) << run.err.constData();
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.constData();
        EXPECT_TRUE(run.err.contains("Reload the lists on the receiver or restart it"))
            << run.err.constData();
        EXPECT_FALSE(run.err.contains("secret")) << run.err.constData();
        // Sent all the same: a new index with our one bouquet.
        EXPECT_EQ(readFile(box.folder() + QStringLiteral("/bouquets.tv")),
                  "#NAME User - bouquets (TV)\n"
                  "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvane.tv\" ORDER BY "
                  "bouquet\n");
    }
    // No web interface at all.
    const ConvertRun run =
        send({"--send-to", box.address(), "--reload-url",
              QStringLiteral("http://127.0.0.1:%1").arg(freePort()), path("list.m3u")},
             "secret");
    EXPECT_EQ(run.exitCode, 6) << run.err.constData();
    EXPECT_TRUE(run.err.contains("restart it")) << run.err.constData();
    // And none asked for.
    const ConvertRun quiet =
        send({"--send-to", box.address(), "--no-reload", path("list.m3u")}, "secret");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err.constData();
}

// sshd as this user, with a host key made here, logging in by key.
class SshBox {
public:
    explicit SshBox(const QString& home) : m_port(freePort()) {
        const QString dir = m_dir.path();
        QDir().mkpath(home + QStringLiteral("/.ssh"));
        QDir().mkpath(folder());
        const auto keygen = [](const QString& file) {
            return QProcess::execute(QStringLiteral("ssh-keygen"),
                                     {"-q", "-t", "ed25519", "-N", "", "-f", file}) == 0;
        };
        if (!keygen(dir + QStringLiteral("/host_key")) ||
            !keygen(home + QStringLiteral("/.ssh/id_ed25519")))
            return;
        QFile::copy(home + QStringLiteral("/.ssh/id_ed25519.pub"),
                    dir + QStringLiteral("/authorized_keys"));
        writeTestFile(dir + QStringLiteral("/sshd_config"),
                      QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host_key\n"
                                     "PidFile %2/sshd.pid\nAuthorizedKeysFile %2/authorized_keys\n"
                                     "UsePAM no\nStrictModes no\nPasswordAuthentication no\n"
                                     "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                                     "PermitRootLogin prohibit-password\n"
                                     "Subsystem sftp internal-sftp\n")
                          .arg(m_port)
                          .arg(dir)
                          .toUtf8());
        // sshd run by root wants its privilege separation folder.
        if (getuid() == 0)
            QDir().mkpath(QStringLiteral("/run/sshd"));
        m_server.process.start(QStringLiteral("/usr/sbin/sshd"),
                               {"-D", "-e", "-f", dir + QStringLiteral("/sshd_config")});
        m_running = waitForPort(m_port);
    }
    bool running() const { return m_running; }
    QString folder() const { return m_dir.path() + QStringLiteral("/box/etc/enigma2"); }
    QString address() const {
        return QStringLiteral("sftp://%1@127.0.0.1:%2%3/")
            .arg(userName())
            .arg(m_port)
            .arg(folder());
    }
    // The known_hosts line of its host key.
    QByteArray knownHostsLine() const {
        const QList<QByteArray> key =
            readFile(m_dir.path() + QStringLiteral("/host_key.pub")).split(' ');
        return "[127.0.0.1]:" + QByteArray::number(m_port) + ' ' + key.value(0) + ' ' +
               key.value(1) + '\n';
    }

private:
    QTemporaryDir m_dir;
    int m_port;
    Server m_server;
    bool m_running = false;
};

TEST_F(SendTest, SftpChecksTheHostKeyAsSshDoes) {
    SshBox box(home());
    ASSERT_TRUE(box.running());
    fillReceiver(box.folder());
    const QString knownHosts = home() + QStringLiteral("/.ssh/known_hosts");
    const QStringList arguments{"--send-to", box.address(), "--per-group", "--no-reload",
                                path("list.m3u")};

    // Unknown: refused, nothing touched.
    const QMap<QString, QByteArray> before = filesIn(box.folder());
    ConvertRun run = send(arguments, {});
    EXPECT_EQ(run.exitCode, 5) << run.err.constData();
    EXPECT_TRUE(run.err.contains("host key is unknown")) << run.err.constData();
    EXPECT_EQ(filesIn(box.folder()), before);

    // Taken when asked, and remembered.
    run = send(arguments + QStringList{"--box-accept-new-host-key"}, {});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(readFile(knownHosts).contains(box.knownHostsLine().split(' ').value(2).trimmed()));
    QMap<QString, QByteArray> after = filesIn(box.folder());
    EXPECT_EQ(after.value("bouquets.tv"), kForeignIndex + ourLine("userbouquet.dorvane_news.tv") +
                                              ourLine("userbouquet.dorvane_kids.tv") +
                                              ourLine("userbouquet.dorvane_film_series.tv"));

    // Known: a second send replaces the files in place (SFTP's rename
    // replaces nothing by itself).
    writeTestFile(knownHosts, box.knownHostsLine());
    run = send({"--send-to", box.address(), "--no-reload", path("list.m3u")}, {});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    after = filesIn(box.folder());
    EXPECT_EQ(after.value("bouquets.tv"), kForeignIndex + ourLine("userbouquet.dorvane.tv"));
    EXPECT_FALSE(after.contains("userbouquet.dorvane_news.tv"));
    EXPECT_EQ(after.size(), before.size() + 1);

    // A different key under that name is refused, even when new ones are taken.
    const QString other = m_dir.path() + QStringLiteral("/other_key");
    ASSERT_EQ(QProcess::execute(QStringLiteral("ssh-keygen"),
                                {"-q", "-t", "ed25519", "-N", "", "-f", other}),
              0);
    const QList<QByteArray> otherKey = readFile(other + QStringLiteral(".pub")).split(' ');
    writeTestFile(knownHosts, box.knownHostsLine().split(' ').value(0) + ' ' + otherKey.value(0) +
                                  ' ' + otherKey.value(1) + '\n');
    run = send(arguments + QStringList{"--box-accept-new-host-key"}, {});
    EXPECT_EQ(run.exitCode, 5) << run.err.constData();
    EXPECT_TRUE(run.err.contains("differs")) << run.err.constData();
}

TEST_F(SendTest, CancelledBeforeTheIndexLeavesItAsItWas) {
    FtpBox box(QStringLiteral("secret"));
    ASSERT_TRUE(box.running());
    fillReceiver(box.folder());
    std::vector<dorvane::Bouquet> bouquets(3);
    for (size_t k = 0; k < bouquets.size(); ++k) {
        bouquets[k].file = dorvane::bouquetFileName(u"dorvane", QString::number(k));
        bouquets[k].bytes = "#NAME x\n";
    }
    std::atomic<bool> cancel{false};
    dorvane::SendPlan plan;
    plan.folder = dorvane::receiverFolder(box.address());
    plan.password = QStringLiteral("secret");
    plan.backupRoot = path("backups");
    plan.reload = false;
    plan.cancel = &cancel;
    // Esc while the second bouquet goes.
    int uploads = 0;
    plan.progress = [&](dorvane::SendStep step, const QString&) {
        if (step == dorvane::SendStep::Uploading && ++uploads == 2)
            cancel = true;
    };
    try {
        dorvane::sendBouquets(bouquets, plan);
        ADD_FAILURE() << "not cancelled";
    } catch (const dorvane::Exception& error) {
        EXPECT_TRUE(error.Message().contains(u"Cancelled")) << error.Message().toStdString();
    }
    EXPECT_EQ(readFile(box.folder() + QStringLiteral("/bouquets.tv")), kForeignIndex);
}

} // namespace
