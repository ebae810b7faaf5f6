// Files made to break the reading and the writing: nesting deeper than any
// stack, control characters that act on a terminal, lines that cut a
// format's fields wrongly. Each reads into the channels it holds, and no
// target writes a control character of it.
#include "QtPrinters.h"
#include "RoundTrip.h"

#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Errors.h"
#include "source/Intake.h"
#include "source/provider/ProviderPlaylist.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace dorvane;

namespace {

QString nested(int depth, QStringView text) {
    QString deep;
    for (int k = 0; k < depth; ++k)
        deep += u"<b>";
    deep += text;
    for (int k = 0; k < depth; ++k)
        deep += u"</b>";
    return deep;
}

// The characters that must never reach a target's file as they are.
bool holdsControl(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\r' && u != u'\n') || (u >= 0x7F && u <= 0x9F) ||
            u == 0x2028 || u == 0x2029)
            return true;
    }
    return false;
}

using Channels = std::vector<std::pair<QString, QString>>;

struct Hostile {
    const char* what;
    QString text;
    Channels channels; // as the conversion finds them
};

std::vector<Hostile> hostileFiles() {
    const QString deep = nested(70000, u"x");
    const QString controls = QStringLiteral("A\x1B[2J\x07\x0B\x0C") + QChar(0x85) + QChar(0x2028) +
                             QChar(0x2029) + QChar(0x7F) + QStringLiteral("Z");
    const QString spaced = QStringLiteral("A [2J") + QString(7, u' ') + QStringLiteral("Z");
    return {
        {"XSPF nested 70,000 deep",
         QStringLiteral("<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList><track><title>A") +
             deep +
             QStringLiteral("</title><location>http://a</location></track></trackList></playlist>"),
         {{QStringLiteral("Ax"), QStringLiteral("http://a")}}},
        {"IPTVx nested 70,000 deep",
         QStringLiteral("<items><channel><title>A") + deep +
             QStringLiteral("</title><stream_url>http://a</stream_url></channel></items>"),
         {{QStringLiteral("Ax"), QStringLiteral("http://a")}}},
        {"IPTVx nested 70,000 deep outside any field",
         QStringLiteral("<items>") +
             nested(70000, u"<channel><title>A</title><stream_url>http://a</stream_url>"
                           u"</channel>") +
             QStringLiteral("</items>"),
         {{QStringLiteral("A"), QStringLiteral("http://a")}}},
        {"control characters in an M3U's name, group and address",
         QStringLiteral("#EXTM3U\n#EXTINF:-1 group-title=\"") + controls + QStringLiteral("\",") +
             controls + QStringLiteral("\n#EXTGRP:") + controls + QStringLiteral("\nhttp://a/") +
             controls + QStringLiteral("\n"),
         {{spaced, QStringLiteral("http://a/") + spaced}}},
        {"control characters in a PLS's title and file",
         QStringLiteral("[playlist]\nFile1=http://a/") + controls + QStringLiteral("\nTitle1=") +
             controls + QStringLiteral("\n"),
         {{spaced, QStringLiteral("http://a/") + spaced}}},
        {"an AzBox line without a name",
         QStringLiteral("1,256,http://a\n2,B,256,http://b\n"),
         {{QStringLiteral("http://a"), QStringLiteral("http://a")},
          {QStringLiteral("B"), QStringLiteral("http://b")}}},
    };
}

TEST(Hostile, FilesReadIntoTheirChannelsAndNoTargetWritesAControlCharacter) {
    for (const Hostile& file : hostileFiles()) {
        const TakenPlaylist taken = takeText(file.text);
        EXPECT_EQ(test::channelsOf(taken.lines), file.channels) << file.what;
        for (const TargetFormat* target : allFormats()) {
            const QString written =
                QString::fromUtf8(test::writtenAs(taken.lines, *target, QStringLiteral("List")));
            EXPECT_FALSE(holdsControl(written))
                << file.what << " as " << target->cliName().toString().toStdString();
        }
    }
}

// A name or an address holding what a line format splits its lines by:
// written when the reader takes it back whole, else left out and counted.
TEST(Hostile, EachTargetCarriesItsOwnDelimitersOrLeavesTheChannelOut) {
    const struct {
        const char* target;
        const char* name;
        const char* address;
        bool carried;
    } cases[] = {
        {"u2c-radio", "A][B]", "http://a/[x]", true},
        {"u2c-radio", "A", "http://a/][x", false},
        {"wizard-hd", "A, B", "http://a,b", true},
        {"wizard-hd", "A", "x,http://a", false},
        {"wizard-hd", "see http://x", "http://a", false},
        {"azbox", "A,256,B", "http://a,256,x", true},
        {"azbox", "A", "x,256,http://a", false},
        {"azbox", "rtp://x", "http://a", false},
        {"openbox", "[TITLE]", "http://a", true},
        {"openbox-sx", "[URL]", "http://a", true},
        {"openbox-sx", "[TYPE]", "http://a", true},
        {"pls", "Title2=B", "http://a?File2=b", true},
    };
    for (const auto& c : cases) {
        const TargetFormat& target = *formatByCliName(QString::fromLatin1(c.target));
        TStringList lines;
        lines.setText(QStringLiteral("#EXTM3U\n#EXTINF:-1,%1\n%2\n#EXTINF:-1,B\nhttp://b\n")
                          .arg(QString::fromUtf8(c.name), QString::fromUtf8(c.address)));
        const std::string what = std::string(c.target) + " " + c.name + " " + c.address;
        TStringList out;
        StringListSink sink(out);
        const ConversionCounts counts = convertLines(target, lines, sink);
        EXPECT_EQ(counts.refused, c.carried ? 0 : 1) << what;
        EXPECT_EQ(counts.entries, c.carried ? 2 : 1) << what;
        const test::RoundTrip trip = test::roundTrip(lines, target);
        EXPECT_TRUE(trip.holds()) << what << "\n"
                                  << trip.written.toStdString() << "\n"
                                  << trip.again.toStdString();
        Channels expected{{QStringLiteral("B"), QStringLiteral("http://b")}};
        if (c.carried)
            expected.insert(expected.begin(),
                            {QString::fromUtf8(c.name), QString::fromUtf8(c.address)});
        EXPECT_EQ(test::channelsOf(takeBytes(trip.written).lines), expected) << what;
    }
}

// A provider's live TV answer, made into lines as it comes in pieces of
// 64 KiB: its M3U without the head line, or the message it failed with.
QString providerOutcome(const QByteArray& account, const QByteArray& streams) {
    ProviderLogin login;
    login.server = providerServer(QStringLiteral("http://tv.example"));
    login.user = QStringLiteral("joe");
    login.password = QStringLiteral("Pa55 word");
    ProviderPlaylist playlist(login);
    try {
        playlist.take(0, account);
        playlist.take(1, R"([{"category_id":"1","category_name":"G\u001b]0;t\u0007"}])");
        BodySink& sink = playlist.answer(2);
        sink.begin(-1);
        for (qsizetype at = 0; at < streams.size(); at += 65536)
            sink.write(QByteArrayView(streams).sliced(
                at, std::min<qsizetype>(65536, streams.size() - at)));
        playlist.finish();
    } catch (const Exception& error) {
        return error.Message();
    }
    const QString text = QString::fromUtf8(playlist.takePlaylist());
    return text.sliced(text.indexOf(u'\n') + 1);
}

TEST(Hostile, ProviderAnswersGiveTheirEntriesOrSayWhatIsWrong) {
    const QByteArray active = R"({"user_info":{"auth":1,"status":"Active"}})";
    const QByteArray entry = R"({"name":"A","stream_id":1,"category_id":"1"})";
    const QString line = QStringLiteral(
        "#EXTINF:-1 tvg-id=\"\" tvg-name=\"A\" tvg-logo=\"\" group-title=\"G ]0;t \",A\n"
        "http://tv.example/live/joe/Pa55%20word/1.ts\n");
    const QString cannotRead =
        QStringLiteral("Cannot read the provider's answer from \"http://tv.example\". ");
    const struct {
        const char* what;
        QByteArray account, streams;
        QString outcome;
    } cases[] = {
        {"blank space before the first entry", active, "[" + QByteArray(8 << 20, ' ') + entry + "]",
         line},
        {"blank space between entries and after the list", active,
         "[" + entry + QByteArray(4 << 20, '\n') + "," + entry + QByteArray(4 << 20, ' ') + "]" +
             QByteArray(1 << 20, ' '),
         line + line},
        {"blank space inside an entry", active,
         R"([{"name":)" + QByteArray(3 << 20, ' ') + R"("A","stream_id":1,"category_id":"1"})" +
             "]",
         line},
        {"control characters in every field", active,
         R"([{"name":"N\u001b[2J\u0085\u2028","stream_id":"1\u001b","category_id":"1",)"
         R"("epg_channel_id":"e\u000b","stream_icon":"i\u009b"}])",
         QStringLiteral("#EXTINF:-1 tvg-id=\"e \" tvg-name=\"N [2J  \" tvg-logo=\"i \" "
                        "group-title=\"G ]0;t \",N [2J  \n"
                        "http://tv.example/live/joe/Pa55%20word/1%1B.ts\n")},
        {"lists nested 100,000 deep", active, QByteArray(100000, '[') + QByteArray(100000, ']'),
         cannotRead + "get_live_streams: an entry is not a JSON object"},
        // Skipped as a field nobody asks for, without a call per level.
        {"objects nested 100,000 deep in an entry", active,
         "[{\"stream_id\":1,\"x\":" + QByteArray("{\"a\":").repeated(100000) + "1" +
             QByteArray(100000, '}') + "}]",
         QStringLiteral("#EXTINF:-1 tvg-id=\"\" tvg-name=\"\" tvg-logo=\"\" group-title=\"\",\n"
                        "http://tv.example/live/joe/Pa55%20word/1.ts\n")},
        {"an echoing status", R"({"user_info":{"auth":1,"status":"Gone PA55 WORD"}})", "[]",
         QStringLiteral("Cannot log in to \"http://tv.example\". The account is gone ***")},
        {"not JSON at all", active, "<html>" + QByteArray(1 << 20, 'x'),
         cannotRead + "get_live_streams: not valid JSON"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(providerOutcome(c.account, c.streams), c.outcome) << c.what;
}

} // namespace
