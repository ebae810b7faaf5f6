// Files made to break the reading and the writing: nesting deeper than any
// stack, control characters that act on a terminal, lines that cut a
// format's fields wrongly. Each reads into the channels it holds, and no
// target writes a control character of it.
#include "QtPrinters.h"
#include "RoundTrip.h"

#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "source/Intake.h"

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

} // namespace
