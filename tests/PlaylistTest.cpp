// Stream lines, the channel count of a playlist and the Russian word for it.
#include "playlist/Playlist.h"
#include "QtPrinters.h"
#include "playlist/StringList.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

TEST(StreamLine, Table) {
    const struct {
        const char16_t* line;
        bool stream;
    } cases[] = {
        {u"http://a", true},
        {u"https://a", true},
        {u"rtmp://a", true},
        {u"udp://@239.0.0.1:1234", true},
        {u"rtsp://a", true},
        {u"rtp://a", true},
        {u"mms://a", true},
        {u"#EXTINF:-1 logo=\"http://logo\",Name", false},
        {u"xhttp://glued", true},
        {u"see  mms://", true},
        {u"HTTP://a", false},
        {u"Rtmp://a", false},
        {u"ftp://a", false},
        {u"http:/a", false},
        {u"http//a", false},
        {u"://", false},
        {u"udp:// then rtp:/", true},
        {u"", false},
        // A directive holds addresses but is none; '#' further in is text.
        {u"#EXTVLCOPT:http-referrer=https://site/", false},
        {u"#EXTVLCOPT:http-user-agent=Box", false},
        {u"#EXTM3U x-tvg-url=\"https://guide/a.xml\"", false},
        {u"  #http://commented-out", false},
        {u"\t#rtmp://commented-out", false},
        {u"http://a/#fragment", true},
        {u" http://indented", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isStreamLine(c.line), c.stream) << QString::fromUtf16(c.line).toStdString();
}

TEST(ChannelCount, Table) {
    const struct {
        const char* name;
        QStringList lines;
        int count;
    } cases[] = {
        {"empty", {}, 0},
        {"address on the first line", {u"http://a"_s}, 0},
        {"name then address", {u"#EXTINF:-1,A"_s, u"http://a"_s}, 1},
        {"without #", {u"EXTINF A"_s, u"http://a"_s}, 1},
        {"two addresses after one name", {u"#EXTINF:-1,A"_s, u"http://a"_s, u"http://b"_s}, 1},
        {"address that contains EXTINF",
         {u"#EXTINF:-1,A"_s, u"http://a/EXTINF"_s, u"http://b"_s},
         2},
        {"marker in capitals", {u"#EXTINF:-1,A"_s, u"HTTP://a"_s}, 0},
        {"extinf in small letters", {u"#extinf:-1,A"_s, u"http://a"_s}, 0},
        {"addresses only", {u"http://a"_s, u"udp://b"_s, u"rtp://c"_s}, 0},
        {"text between", {u"#EXTINF:-1,A"_s, u"News"_s, u"http://a"_s}, 0},
        // Group and option lines, and empty lines, may stand between.
        {"group line between", {u"#EXTINF:-1,A"_s, u"#EXTGRP:News"_s, u"http://a"_s}, 1},
        {"option and empty lines between",
         {u"#EXTINF:-1,A"_s, u"#EXTVLCOPT:http-user-agent=x"_s, u""_s, u"#EXTGRP:N"_s,
          u"rtmp://a"_s},
         1},
        {"indented directive is text", {u"#EXTINF:-1,A"_s, u" #EXTGRP:N"_s, u"http://a"_s}, 0},
        {"blank line is text", {u"#EXTINF:-1,A"_s, u" "_s, u"http://a"_s}, 0},
        {"a second name line waits as well",
         {u"#EXTINF:-1,A"_s, u"#EXTINF:-1,B"_s, u"http://a"_s},
         1},
        {"a name that holds an address",
         {u"#EXTINF:-1,http://a"_s, u"http://b"_s, u"#EXTINF:-1,C"_s, u"mms://c"_s},
         2},
        // Directives that hold an address are no channel of their own.
        {"option line with an address",
         {u"#EXTINF:-1,A"_s, u"#EXTVLCOPT:http-referrer=https://site/"_s, u"http://a"_s},
         1},
        {"list header mid-file",
         {u"#EXTINF:-1,A"_s, u"http://a"_s, u"#EXTM3U x-tvg-url=\"https://g/x.xml\""_s,
          u"#EXTINF:-1,B"_s, u"http://b"_s},
         2},
        {"commented-out address", {u"#EXTINF:-1,A"_s, u"#http://old"_s, u"http://a"_s}, 1},
        {"every marker",
         {u"#EXTINF:1"_s, u"http://a"_s, u"#EXTINF:2"_s, u"https://a"_s, u"#EXTINF:3"_s,
          u"rtmp://a"_s, u"#EXTINF:4"_s, u"udp://a"_s, u"#EXTINF:5"_s, u"rtsp://a"_s,
          u"#EXTINF:6"_s, u"rtp://a"_s, u"#EXTINF:7"_s, u"mms://a"_s},
         7},
    };
    for (const auto& c : cases) {
        TStringList list;
        for (const QString& line : c.lines)
            list.Add(line);
        EXPECT_EQ(channelCount(list), c.count) << c.name;
    }
}

TEST(PluralForm, Table) {
    const struct {
        int n;
        const char16_t* text;
    } cases[] = {
        {1, u"1 канал"},       {2, u"2 канала"},
        {3, u"3 канала"},      {4, u"4 канала"},
        {5, u"5 каналов"},     {11, u"11 каналов"},
        {12, u"12 каналов"},   {14, u"14 каналов"},
        {19, u"19 каналов"},   {20, u"20 каналов"},
        {21, u"21 канал"},     {22, u"22 канала"},
        {25, u"25 каналов"},   {100, u"100 каналов"},
        {101, u"101 канал"},   {111, u"111 каналов"},
        {112, u"112 каналов"}, {122, u"122 канала"},
        {1001, u"1001 канал"}, {1000000, u"1000000 каналов"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(channelCountText(c.n), QString::fromUtf16(c.text));
    EXPECT_EQ(PluralForm(0, u"one", u"few", u"many"), u"many"_s);
}

} // namespace
