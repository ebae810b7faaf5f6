// Guides downloaded as they come, from servers on 127.0.0.1: the playlist's
// url-tvg, a provider's xmltv.php, and a download broken off.
#include "ConvertRunner.h"
#include "FakeProvider.h"
#include "HttpTestServer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace dorvane::testing;
using namespace dorvane;

namespace {

const QString kData = QStringLiteral(DORVANE_TEST_DATA "/guide/");

QByteArray gzipped(const QByteArray& bytes) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(bytes.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

} // namespace

// The playlist's url-tvg names two addresses: one a .gz file, one packed by
// the server's Content-Encoding; the cut is the one the files give.
TEST(GuideWeb, PlaylistGuidesDownloadedPackedOrNot) {
    HttpTestServer server;
    const QByteArray guide = readFile(kData + "shifts/guide.xml");
    server.route("/a.xml.gz", {200, "OK", {}, gzipped(guide), HttpResponse::Send::Chunked});
    server.route("/b.xml", {200, "OK", {"Content-Encoding: gzip"}, gzipped(guide)});
    QTemporaryDir out;
    const QString list = out.filePath(QStringLiteral("list.m3u"));
    QByteArray playlist = readFile(kData + "shifts/input.m3u");
    playlist.replace("url-tvg=\"guide.xml\"", "url-tvg=\"" + server.url("/a.xml.gz").toEncoded() +
                                                  "," + server.url("/b.xml").toEncoded() + "\"");
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(playlist);
    file.close();
    const ConvertRun run = runConvert(
        {"--to", "m3u", "--guide-out", out.filePath("cut.xml"), "-o", out.filePath("o.m3u"), list});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(out.filePath("cut.xml")), readFile(kData + "shifts/expected/cut.xml"));
    EXPECT_EQ(server.requests().size(), 2);
}

// A provider's get.php address: its guide is its xmltv.php, with the login.
TEST(GuideWeb, ProviderGuideFromItsLogin) {
    HttpTestServer server;
    server.route("/get.php?username=joe&password=s3cret",
                 {200, "OK", {}, readFile(kData + "two-guides/input.m3u")});
    server.route("/xmltv.php?username=joe&password=s3cret",
                 {200, "OK", {}, readFile(kData + "two-guides/second.xml")});
    QTemporaryDir out;
    const ConvertRun run = runConvert(
        {"--to", "m3u", "--guide-out", out.filePath("cut.xml"), "-o", out.filePath("o.m3u"),
         "--guide-partial-ok", server.url("/get.php?username=joe&password=s3cret").toString()});
    const QByteArray cut = readFile(out.filePath("cut.xml"));
    EXPECT_TRUE(cut.contains("<programme start=\"20261212000000 +0000\" channel=\"b\">"))
        << cut.data();
    bool asked = false;
    for (const QByteArray& request : server.requests())
        asked = asked || request.startsWith("GET /xmltv.php?username=joe&password=s3cret ");
    EXPECT_TRUE(asked);
    EXPECT_FALSE(run.err.contains("s3cret")) << run.err.data();
}

// A download broken off mid-guide: what came whole is kept, and said.
TEST(GuideWeb, ABrokenDownloadIsAGuideCutShort) {
    HttpTestServer server;
    const QByteArray guide = readFile(kData + "shifts/guide.xml");
    HttpResponse cut{200, "OK", {}, guide, HttpResponse::Send::CutAfter};
    cut.stallAfter = guide.indexOf("<programme start=\"20261212003000");
    server.route("/guide.xml", cut);
    QTemporaryDir out;
    const QString list = out.filePath("list.m3u");
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#EXTM3U\n#EXTINF:-1 tvg-id=\"one.tv\",One\nhttp://s/1\n"
               "#EXTINF:-1 tvg-id=\"two.tv\",Two\nhttp://s/2\n");
    file.close();
    const QStringList args{"--to",        "m3u",
                           "--guide",     server.url("/guide.xml").toString(),
                           "--guide-out", out.filePath("cut.xml"),
                           "-o",          out.filePath("o.m3u"),
                           list};
    const ConvertRun run = runConvert(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("was cut short")) << run.err.data();
    const QByteArray written = readFile(out.filePath("cut.xml"));
    EXPECT_TRUE(written.contains("<channel id=\"two.tv\">")) << written.data();
    EXPECT_TRUE(written.contains("channel=\"one.tv\">")) << written.data();
    EXPECT_FALSE(written.contains("channel=\"two.tv\">")) << written.data();
    EXPECT_EQ(runConvert(QStringList(args) << "--guide-partial-ok").exitCode, 0);
}

// A guide that cannot be read is said and passed over; the others are cut,
// and the run fails.
TEST(GuideWeb, AGuideMissingIsPassedOver) {
    HttpTestServer server;
    server.route("/second.xml", {200, "OK", {}, readFile(kData + "two-guides/second.xml")});
    server.route("/first.xml", {404, "Not Found", {}, {}});
    QTemporaryDir out;
    const QString list = out.filePath("list.m3u");
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#EXTM3U url-tvg=\"" + server.url("/first.xml").toEncoded() + ", " +
               server.url("/second.xml").toEncoded() +
               "\"\n#EXTINF:-1 tvg-id=\"b\",Beta\nhttp://s/b\n");
    file.close();
    const ConvertRun run = runConvert(
        {"--to", "m3u", "--guide-out", out.filePath("cut.xml"), "-o", out.filePath("o.m3u"), list});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("404 Not Found")) << run.err.data();
    EXPECT_TRUE(readFile(out.filePath("cut.xml")).contains("<channel id=\"b\">"));
    EXPECT_TRUE(readFile(out.filePath("o.m3u")).contains("Beta"));
}

// --provider with --guide-out: the interface's channels, the provider's guide.
TEST(GuideWeb, ProviderInterfaceWithItsGuide) {
    FakeProvider provider;
    provider.answerLiveTv();
    provider.server.route("/xmltv.php?username=joe&password=s3cret",
                          {200, "OK", {}, gzipped(R"(<?xml version="1.0"?><tv>
<channel id="one.news"><display-name>ONE HD</display-name></channel>
<programme start="20261212000000 +0000" channel="one.news"><title>N</title></programme></tv>)")});
    QTemporaryDir out;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DORVANE_PASSWORD", "s3cret");
    const ConvertRun run =
        runConvert({"--to", "m3u", "--provider", provider.server.base(), "--user", "joe",
                    "--guide-out", out.filePath("cut.xml"), "-o", out.filePath("o.m3u")},
                   {}, environment);
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_TRUE(readFile(out.filePath("cut.xml")).contains("channel=\"one.news\"><title>N"))
        << run.err.data();
    EXPECT_FALSE(run.err.contains("s3cret")) << run.err.data();
}
