// The intake's readers: which reader a text goes to, what each makes of its
// format, and that every target's file reads back into the channels it was
// written from.
#include "QtPrinters.h"
#include "RoundTrip.h"

#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/SourceName.h"
#include "convert/TargetFormat.h"
#include "source/Intake.h"
#include "source/PlaylistReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <vector>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

struct Detection {
    const char* what;
    const char16_t* text;
    const char* reader; // the reader's first format name
};

const Detection kDetections[] = {
    {"M3U header", u"#EXTM3U\n#EXTINF:-1,A\nhttp://a\n", "m3u"},
    {"M3U header after a mark and blank lines", u"\xFEFF\n  \n#EXTM3U\n", "m3u"},
    {"a name line without header", u"junk\n  #EXTINF:-1,A\nhttp://a\n", "m3u"},
    {"an M3U line wins over a later PLS look", u"[playlist]\n#EXTINF:-1,A\nhttp://a\n", "m3u"},
    {"nothing anyone claims", u"hello\nworld\n", "m3u"},
    {"empty", u"", "m3u"},
    {"PLS", u"\n[playlist]\nFile1=http://a\n", "pls"},
    {"PLS signature is case-sensitive", u"[Playlist]\nFile1=http://a\n", "m3u"},
    {"XSPF", u"<?xml version=\"1.0\"?><playlist xmlns=\"http://xspf.org/ns/0/\"/>", "xspf"},
    {"a playlist root in another namespace", u"<playlist xmlns=\"urn:x\"/>", "m3u"},
    {"WPL by its declaration", u"<?wpl version=\"1.0\"?>\n<smil/>", "wmp"},
    {"WPL by its root", u"<smil><body/></smil>", "wmp"},
    {"Enigma2", u"#NAME Fav\n#SERVICE 1:0:1:0:0:0:0:0:0:0:\n", "enigma2"},
    {"a #NAME without services", u"#NAME Fav\nhttp://a\n", "m3u"},
    {"WebTV", u"<?xml version=\"1.0\"?>\n<webtvs></webtvs>", "webtv"},
    {"IPTVx", u"<items><channel/></items>", "iptvx"},
    {"OpenBox", u"[TITLE]\nOPENBOX\n[URL]\nhttp://a\n", "openbox"},
    {"U2C", u"[NetRadioStart]\n[0][A][http://a]\n[NetRadioEnd]\n", "u2c-radio"},
    {"AzBox", u"1,A,256,http://a\n\n2,B,256,udp://b\n", "azbox"},
    {"Wizard HD", u"A,http://a\nB,C,udp://b\n", "wizard-hd"},
    {"a line without a comma is no Wizard HD", u"A,http://a\nB http://b\n", "m3u"},
};

TEST(Readers, EachTextGoesToTheReaderThatClaimsIt) {
    for (const Detection& row : kDetections)
        EXPECT_EQ(readerFor(QStringView(row.text)).name(), QLatin1String(row.reader)) << row.what;
}

TEST(Readers, EveryTargetNameHasItsReader) {
    for (const TargetFormat* format : allFormats()) {
        const PlaylistReader* reader = readerByFormat(format->cliName());
        ASSERT_NE(reader, nullptr) << format->cliName().toString().toStdString();
        EXPECT_TRUE(reader->extensions().contains(format->extension().sliced(1)))
            << format->cliName().toString().toStdString();
    }
    EXPECT_EQ(readerByFormat(u"nope"), nullptr);
}

struct Reading {
    const char* what;
    const char16_t* text;
    const char16_t* m3u; // the lines the intake gives, each ended by \n here
    const char16_t* name = u"";
};

const Reading kReadings[] = {
    {"PLS by ascending number, keys in any case, an entry without file left out",
     u"[playlist]\nTITLE2=Two\nfile2=http://b\nFile1=http://a\nTitle1=One\nTitle3=Nothing\n",
     u"#EXTM3U\n#EXTINF:-1,One\nhttp://a\n#EXTINF:-1,Two\nhttp://b\n"},
    {"PLS without entries", u"[playlist]\nNumberOfEntries=0\n", u"#EXTM3U\n"},
    {"XSPF: first location, title, image; entities decoded",
     u"<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>"
     u"<track><location>http://a/?x=1&amp;y=2</location><location>http://z</location>"
     u"<title>Tom &amp; \"Jerry\"</title><image>http://i/\"a\".png</image></track>"
     u"<track><title>No address</title></track>"
     u"<track><location>udp://b</location></track></trackList></playlist>",
     u"#EXTM3U\n#EXTINF:-1 tvg-logo=\"http://i/'a'.png\",Tom & \"Jerry\"\nhttp://a/?x=1&y=2\n"
     u"#EXTINF:-1,udp://b\nudp://b\n"},
    {"XSPF that breaks off is read as far as it goes",
     u"<playlist xmlns=\"http://xspf.org/ns/0/\"><track><location>http://a</location>"
     u"<title>A</title></track><track><location>http://b</loc",
     u"#EXTM3U\n#EXTINF:-1,A\nhttp://a\n"},
    {"WPL: sources only",
     u"<?wpl version=\"1.0\"?><smil><body><seq><media src=\"http://a\"/>"
     u"<media src=\"mms://b\"/><media/></seq></body></smil>",
     u"#EXTM3U\n#EXTINF:-1,http://a\nhttp://a\n#EXTINF:-1,mms://b\nmms://b\n"},
    {"Enigma2: markers, descriptions, tuner services skipped, colons decoded",
     u"#NAME My TV\n"
     u"#SERVICE 1:64:0:0:0:0:0:0:0:0::News\n#DESCRIPTION News \"daily\"\n"
     u"#SERVICE 4097:0:1:0:0:0:0:0:0:0:http%3a//a%3A8080/x:Service name\n#DESCRIPTION Described\n"
     u"#SERVICE 1:0:1:1:1:1:C00000:0:0:0:\n#DESCRIPTION Tuner\n"
     u"#SERVICE 4097:0:1:0:0:0:0:0:0:0:udp%3a//b:Own: name\n"
     u"#SERVICE 4097:0:1:0:0:0:0:0:0:0:rtp%3a//c\n#DESCRIPTION \n",
     u"#EXTM3U\n#EXTINF:-1 group-title=\"News 'daily'\",Described\nhttp://a:8080/x\n"
     u"#EXTINF:-1 group-title=\"News 'daily'\",Own: name\nudp://b\n"
     u"#EXTINF:-1 group-title=\"News 'daily'\",rtp://c\nrtp://c\n",
     u"My TV"},
    {"Enigma2 read as the receiver does: every %xx decoded, headers after the first #",
     u"#NAME B\n"
     u"#SERVICE 4097:0:1:0:0:0:0:0:0:0:http%3a//a/x%2520y#User-Agent=Box%201&Referer=http%3a//r/"
     u":N%3aame%25\n"
     u"#SERVICE 4097:0:1:0:0:0:0:0:0:0:rtmp%3a//b/c#d:B\n",
     u"#EXTM3U\n#EXTINF:-1,N:ame%\n#EXTVLCOPT:http-user-agent=Box 1\n"
     u"#EXTVLCOPT:http-referrer=http://r/\nhttp://a/x%20y\n#EXTINF:-1,B\nrtmp://b/c#d\n",
     u"B"},
    {"XSPF: the player's options give the headers",
     u"<playlist xmlns=\"http://xspf.org/ns/0/\" "
     u"xmlns:vlc=\"http://www.videolan.org/vlc/playlist/ns/0/\"><trackList><track>"
     u"<location>http://a</location><title>A</title>"
     u"<extension application=\"http://www.videolan.org/vlc/playlist/0\">"
     u"<vlc:option>http-user-agent=UA 1</vlc:option><vlc:option>network-caching=1000</vlc:option>"
     u"<vlc:option>http-referrer=http://r/</vlc:option></extension></track></trackList></playlist>",
     u"#EXTM3U\n#EXTINF:-1,A\n#EXTVLCOPT:http-user-agent=UA 1\n#EXTVLCOPT:http-referrer=http://r/\n"
     u"http://a\n"},
    {"WebTV attributes",
     u"<webtvs><webtv title=\"A&amp;B\" url=\"http://a\"/><webtv title=\"C\"/></webtvs>",
     u"#EXTM3U\n#EXTINF:-1,A&B\nhttp://a\n"},
    {"IPTVx with a CDATA split around ]]>",
     u"<items><channel><title>A</title><stream_url><![CDATA[http://a]]]]><![CDATA[>b]]></"
     u"stream_url>"
     u"</channel></items>",
     u"#EXTM3U\n#EXTINF:-1,A\nhttp://a]]>b\n"},
    {"OpenBox: the description names the channel",
     u"[TITLE]\nOPENBOX\n[URL]\nhttp://a\n[DESCRIPTION]\nOne\n[TYPE]\nFILE\n\n"
     u"[TITLE]\nTwo\n[URL]\nudp://b\n[DESCRIPTION]\n\n[TYPE]\nLIVE\n",
     u"#EXTM3U\n#EXTINF:-1,One\nhttp://a\n#EXTINF:-1,udp://b\nudp://b\n"},
    {"U2C: the address after the last ][",
     u"[NetRadioStart]\n[0][A][B][http://a]\n[1][http://b]\n[NetRadioEnd]\n",
     u"#EXTM3U\n#EXTINF:-1,A][B\nhttp://a\n#EXTINF:-1,http://b\nhttp://b\n"},
    {"AzBox: the name up to the last ,256, before the marker", u"1,A,256,B,256,http://a,256,x\n",
     u"#EXTM3U\n#EXTINF:-1,A,256,B\nhttp://a,256,x\n"},
    {"AzBox: a line without a name is named by its address", u"1,256,http://a\n",
     u"#EXTM3U\n#EXTINF:-1,http://a\nhttp://a\n"},
    {"Wizard HD: the name up to the last comma before the marker", u"A, B,http://a,b\n",
     u"#EXTM3U\n#EXTINF:-1,A, B\nhttp://a,b\n"},
    {"a tab in a name becomes a space", u"[playlist]\nFile1=http://a\nTitle1=A\tB\n",
     u"#EXTM3U\n#EXTINF:-1,A B\nhttp://a\n"},
};

QString linesOf(const TStringList& lines) {
    QString text;
    for (int k = 0; k < lines.Count(); ++k) {
        text += lines.line(k);
        text += u"\n";
    }
    return text;
}

TEST(Readers, EachFormatBecomesTheM3uOfItsChannels) {
    for (const Reading& row : kReadings) {
        const TakenPlaylist taken = takeText(QString::fromUtf16(row.text));
        EXPECT_EQ(linesOf(taken.lines), QString::fromUtf16(row.m3u)) << row.what;
        EXPECT_EQ(taken.name, QString::fromUtf16(row.name)) << row.what;
    }
}

TEST(Readers, TextAfterAU0000IsNotRead) {
    const QString text = QStringLiteral("[playlist]\nFile1=http://a\n") + QChar(0) +
                         QStringLiteral("File2=http://b\n");
    EXPECT_EQ(linesOf(takeText(text).lines),
              QStringLiteral("#EXTM3U\n#EXTINF:-1,http://a\nhttp://a\n"));
}

TEST(Readers, AForcedReaderReadsWhatTheContentWouldNot) {
    const QString azbox = QStringLiteral("#EXTM3U\n1,A,256,http://a\n");
    EXPECT_EQ(takeText(azbox).reader->name(), u"m3u");
    const TakenPlaylist forced = takeText(azbox, readerByFormat(u"azbox"));
    EXPECT_EQ(linesOf(forced.lines), QStringLiteral("#EXTM3U\n#EXTINF:-1,A\nhttp://a\n"));
}

// M3U to a bouquet and back keeps each channel's address, name, group and
// headers, whatever characters they hold.
TEST(Readers, Enigma2RoundTripKeepsAddressNameGroupAndHeaders) {
    const QString source =
        QStringLiteral("#EXTM3U\r\n"
                       "#EXTINF:-1 group-title=\"Новости: 24%\",STVR: 24% ü\r\n"
                       "#EXTVLCOPT:http-user-agent=Box/1.0 (a:b%)\r\n"
                       "#EXTVLCOPT:http-referrer=https://site/x?a=1\r\n"
                       "http://a.example/ch=STVR%20%3A24?user=a b&pass=p%25:x\r\n"
                       "#EXTINF:-1 group-title=\"Новости: 24%\",Плюс\r\n"
                       "#EXTVLCOPT:http-origin=https://o\r\n"
                       "rtsp://b.example/live\r\n"
                       "#EXTINF:-1 group-title=\"Films\",Hash\r\n"
                       "rtmp://c.example/app#pass\r\n");
    TStringList lines;
    lines.setText(source);
    TStringList bouquet;
    StringListSink sink(bouquet);
    convertLines(formatFor(TTargetKind::tkEnigma2), lines, sink);
    QString text;
    for (int k = 0; k < bouquet.Count(); ++k) {
        text += bouquet.line(k);
        text += u"\n";
    }
    const TakenPlaylist back = takeText(text);
    EXPECT_EQ(back.reader->name(), u"enigma2");
    EXPECT_EQ(linesOf(back.lines), QString(source).replace(u"\r\n"_s, u"\n"_s))
        << text.toStdString();
}

// Every playlist the tests hold: the golden cases' inputs and the fuzz
// corpus of the conversion.
std::vector<QString> playlistFiles() {
    std::vector<QString> files;
    const QDir data(QStringLiteral(DORVANE_TEST_DATA));
    for (const QString& name : data.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFile::exists(data.filePath(name + QStringLiteral("/input.m3u"))))
            files.push_back(data.filePath(name + QStringLiteral("/input.m3u")));
    const QDir corpus(QStringLiteral(DORVANE_TEST_DATA "/../fuzz/corpus/convert"));
    for (const QString& name : corpus.entryList(QDir::Files, QDir::Name))
        files.push_back(corpus.filePath(name));
    return files;
}

TEST(Readers, EveryTargetsFileReadsBackIntoItsChannels) {
    int held = 0, excused = 0;
    for (const QString& file : playlistFiles()) {
        QFile in(file);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        const TakenPlaylist playlist = takeBytes(in.readAll());
        for (const TargetFormat* target : allFormats()) {
            const test::RoundTrip trip = test::roundTrip(playlist.lines, *target);
            if (trip.holds()) {
                ++held;
            } else if (test::cannotCarry(playlist.lines, *target)) {
                ++excused;
            } else {
                ADD_FAILURE() << QDir(file).dirName().toStdString() << " as "
                              << target->cliName().toString().toStdString() << ":\n"
                              << trip.written.toStdString() << "\nread back and written again:\n"
                              << trip.again.toStdString();
            }
        }
    }
    EXPECT_GT(held, 20 * excused) << "the excused cases crowd out the ones that hold";
}

} // namespace
