// The direct UTF-8 conversion against the UTF-16 one it stands in for: the
// same bytes out, the same counts, for every target, on inputs made to hit
// every rule the two apply separately (line ends, the end at 00, markers,
// the name's comma, XML escaping and the characters XML leaves out).
#include "ConvertRunner.h"
#include "ReferenceConversion.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/TextFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace dorvane;

namespace {

using Output = test::ConvertedOutput;
using test::throughUtf16;

// The direct path, the text cut into pieces after LF bytes chosen by `random`.
Output throughBytes(QByteArrayView text, const TargetFormat& target, QRandomGenerator& random,
                    const TEncoding& encoding) {
    Output result;
    result.bytes = target.preamble(encoding);
    ByteLineSink sink(result.bytes, 0, encoding, target.lineEnd());
    Utf8Source source(target, text, [&random](QByteArrayView rest) {
        for (qsizetype k = 0; k < rest.size(); ++k)
            if (rest[k] == '\n' && random.bounded(3) == 0)
                return k + 1;
        return rest.size();
    });
    const ConversionCounts counts = runConversion(target, source, sink);
    EXPECT_TRUE(source.wellFormed());
    sink.finish();
    result.channels = counts.channels;
    result.entries = counts.entries;
    return result;
}

// The direct path as dorvane-convert's two threads take it: pieces cut after
// LF bytes chosen by `random`, scanned in any order (here the last first),
// then resolved in their order.
Output throughPiecesScannedOutOfOrder(QByteArrayView text, const TargetFormat& target,
                                      QRandomGenerator& random, const TEncoding& encoding) {
    std::vector<QByteArrayView> pieces;
    for (qsizetype start = 0, k = 0; k < text.size(); ++k) {
        if ((text[k] == '\n' && random.bounded(3) == 0) || k + 1 == text.size()) {
            pieces.push_back(text.sliced(start, k + 1 - start));
            start = k + 1;
        }
    }
    ByteScanner scanner(target);
    static std::vector<ScannedPiece> scanned; // kept: the calls are many, their lists alike
    if (scanned.size() < pieces.size())
        scanned.resize(pieces.size());
    static std::vector<quint64> marks;
    for (size_t k = pieces.size(); k-- > 0;)
        scanner.scanPiece(pieces[k], scanned[k], marks);
    struct Resolved {
        ByteScanner& scanner;
        std::vector<ScannedPiece>& pieces;
        size_t next = 0;
        size_t count;
        const ScannedPiece* nextPiece() {
            if (next == count)
                return nullptr;
            scanner.resolve(pieces[next]);
            return &pieces[next++];
        }
    };
    struct Reader {
        Resolved resolved;
        const ScannedPiece* next() { return resolved.nextPiece(); }
        int channels() const { return resolved.scanner.channels(); }
    } reader{{scanner, scanned, 0, pieces.size()}};
    Output result;
    result.bytes = target.preamble(encoding);
    ByteLineSink sink(result.bytes, 0, encoding, target.lineEnd());
    ScannedPieceSource source(reader);
    const ConversionCounts counts = runConversion(target, source, sink);
    sink.finish();
    result.channels = counts.channels;
    result.entries = counts.entries;
    return result;
}

// In UTF-8, and when `codePage` is given in that ANSI code page too.
void expectSameOutput(QByteArrayView text, QRandomGenerator& random, const QString& what,
                      int codePage = 0) {
    if (codePage)
        expectSameOutput(text, random, what);
    const TEncoding& encoding = codePage ? *TEncoding::ansi(codePage) : TEncoding::UTF8();
    for (const TargetFormat* target : allFormats()) {
        SCOPED_TRACE(what.toStdString() + " to " + target->cliName().toString().toStdString() +
                     " in " + std::to_string(encoding.CodePage()));
        const Output expected = throughUtf16(text, *target, encoding);
        // The scan is the same whatever the encoding.
        for (const auto way : {throughBytes, throughPiecesScannedOutOfOrder}) {
            if (codePage && way != throughBytes)
                continue;
            const Output actual = way(text, *target, random, encoding);
            EXPECT_EQ(actual.bytes, expected.bytes);
            EXPECT_EQ(actual.channels, expected.channels);
            EXPECT_EQ(actual.entries, expected.entries);
        }
    }
}

// Bits of lines, all well-formed UTF-8, chosen to meet each rule.
const char* const kPieces[] = {
    "#EXTINF:-1,",
    "#EXTINF:0 tvg-name=\"News, Weather\",",
    "#EXTINF",
    "EXTINF",
    "#EXTIN",
    "EXTIN",
    "#",
    "#EXTGRP:News",
    "#EXTVLCOPT:x=1",
    "#EXTVLCOPT:http-referrer=",
    "#EXTM3U x-tvg-url=",
    "#EXTVLCOPT:http-user-agent=",
    "  #EXTVLCOPT:http-origin=",
    "#EXTGRP:",
    " tvg-logo=\"",
    " group-title=\"",
    " user-agent=\"",
    "|User-Agent=",
    "&Referer=",
    "%41",
    "%",
    "%e2%82",
    "#",
    "http://a.b/c",
    "https://x/?a=1&b=2",
    "rtmp://s",
    "udp://@239.0.0.1:1234",
    "rtsp://r",
    "rtp://p",
    "mms://m",
    "xhttp://glued",
    "http:/",
    "http:",
    "://",
    "ftp://f",
    "HTTP://up",
    ":",
    "/",
    ",",
    ",",
    "\"",
    "\"",
    " ",
    "\t",
    "Первый канал",
    "Канал, \"кавычки\"",
    "😀",
    "中文",
    "&",
    "<",
    ">",
    "&amp;",
    "]]>",
    "]]",
    "]",
    "]]]>",
    "\x01",
    "\x0B",
    "\x0C",
    "\x1F",
    "\x7F",
    "\xEF\xBF\xBE",
    "\xEF\xBF\xBF",
    "\xEF\xBF\xBD",
    "\xEF\xBB\xBF",
    "\xC2\x85",
    "\xE2\x80\xA8",
    "\xE2\x80\xA9",
    "\xE2\x80\xA6",
    "\xC2\x9F",
    "\xC2\xA0",
    "\x1B[2J",
    "\x07",
    "E",
    "name",
};
const char* const kLineEnds[] = {"\n", "\r\n", "\r", "\n\r", "\n", "\r\n"};

QByteArray randomPlaylist(QRandomGenerator& random) {
    QByteArray text;
    const int lines = random.bounded(1, 40);
    for (int line = 0; line < lines; ++line) {
        const int pieces = random.bounded(0, 7);
        for (int k = 0; k < pieces; ++k)
            text += kPieces[random.bounded(int(std::size(kPieces)))];
        if (random.bounded(60) == 0)
            text += '\0'; // the text ends here, the bytes go on
        if (line + 1 < lines || random.bounded(2))
            text += kLineEnds[random.bounded(int(std::size(kLineEnds)))];
    }
    return text;
}

// Single- and double-byte code pages, with best-fit letters (1252 has no
// Cyrillic, 1251 has no CJK) and the "?" for what they lack.
const int kCodePages[] = {1251, 1252, 932, 950};

TEST(FastPath, GivesTheUtf16PathsBytesForGeneratedPlaylists) {
    QRandomGenerator random(20261210);
    for (int round = 0; round < 3000; ++round) {
        const QByteArray text = randomPlaylist(random);
        const int codePage = round % 3 ? 0 : kCodePages[round / 3 % std::size(kCodePages)];
        expectSameOutput(text, random, QStringLiteral("playlist %1").arg(round), codePage);
        if (HasFailure())
            return; // one failing input is enough to read
    }
}

TEST(FastPath, GivesTheUtf16PathsBytesForTheFuzzCorpus) {
    // The converter's fuzz inputs are UTF-16 code units; in UTF-8 they are
    // what a playlist file would hold (an unpaired surrogate becomes U+FFFD).
    QRandomGenerator random(7);
    const QDir corpus(QStringLiteral(DORVANE_TEST_DATA "/../fuzz/corpus/convert"));
    const QStringList names = corpus.entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QStringView units(reinterpret_cast<const char16_t*>(bytes.constData()),
                                bytes.size() / 2);
        expectSameOutput(units.toUtf8(), random, name, 1251);
        if (isWellFormedUtf8(bytes))
            expectSameOutput(bytes, random, name + QStringLiteral(" as bytes"));
    }
}

TEST(FastPath, TakesExactlyTheBytesStrictDecodingTakes) {
    QRandomGenerator random(99);
    const QByteArray bad[] = {"\x80",
                              "\xC0\x80",
                              "\xC1\xBF",
                              "\xC2",
                              "\xE0\x80\x80",
                              "\xED\xA0\x80",
                              "\xE2\x82",
                              "\xF0\x80\x80\x80",
                              "\xF4\x90\x80\x80",
                              "\xF5\x80\x80\x80",
                              "\xFF",
                              "\xF0\x9F\x98"};
    for (int round = 0; round < 2000; ++round) {
        QByteArray text = randomPlaylist(random);
        if (round % 2)
            text.insert(random.bounded(text.size() + 1), bad[random.bounded(int(std::size(bad)))]);
        else if (!text.isEmpty())
            text[random.bounded(text.size())] = char(random.bounded(256));
        bool ok = false;
        decodeUtf8Strict(text, &ok);
        ASSERT_EQ(isWellFormedUtf8(text), ok) << text.toHex(' ').toStdString();
        if (ok)
            continue;
        QByteArray out;
        ByteLineSink sink(out, 0);
        Utf8Source source(formatFor(TTargetKind::tkPLS), text);
        runConversion(formatFor(TTargetKind::tkPLS), source, sink);
        EXPECT_FALSE(source.wellFormed()) << text.toHex(' ').toStdString();
    }
}

// The pieces Utf8Source cuts by itself: each ends after the first LF at or
// past its size, so a line or a character that straddles that point stays
// whole; a bad byte in a later piece still voids the run.
TEST(FastPath, DefaultPiecesKeepLinesWholeAndStillCheckTheirForm) {
    QByteArray text;
    // One name line longer than a piece, Cyrillic all through it, so the
    // size falls inside a line and inside a character.
    text += "#EXTINF:-1 x=\"" + QByteArray(200, 'a') + "\"," +
            QString(Utf8Source::kPieceSize / 2 + 7, u'ж').toUtf8() + "\n";
    for (int k = 0; k < 10000; ++k)
        text += "http://a.b/" + QByteArray::number(k) + "\r\n#EXTINF:-1,Канал " +
                QByteArray::number(k) + "\n";
    const TargetFormat& pls = formatFor(TTargetKind::tkPLS);
    ASSERT_GT(text.size(), 2 * Utf8Source::kPieceSize);

    QByteArray bytes = TEncoding::UTF8().GetPreamble();
    ByteLineSink sink(bytes, 0);
    Utf8Source source(pls, text);
    const ConversionCounts counts = runConversion(pls, source, sink);
    sink.finish();
    EXPECT_TRUE(source.wellFormed());
    const Output expected = throughUtf16(text, pls);
    EXPECT_EQ(bytes, expected.bytes);
    EXPECT_EQ(counts.channels, expected.channels);
    EXPECT_EQ(counts.entries, 10000);

    text[text.size() - 3] = '\xFF'; // in the last piece
    QByteArray spoilt;
    ByteLineSink spoiltSink(spoilt, 0);
    Utf8Source spoiltSource(pls, text);
    runConversion(pls, spoiltSource, spoiltSink);
    EXPECT_FALSE(spoiltSource.wellFormed());
}

// Draining every so many bytes gives the bytes the sink gives whole, in
// order: the preamble first, lines longer than the chunk among them, and,
// when nothing had to be drained, everything left in `out`.
TEST(FastPath, ByteSinkDrainsTheSameBytesInOrder) {
    constexpr qsizetype kChunk = 64;
    const struct {
        const char* name;
        std::vector<int> lineSizes;
    } cases[] = {
        {"nothing drained", {10, 20}},
        {"chunk by chunk", {30, 30, 30, 30, 30}},
        {"a line fills the chunk", {kChunk - 3 - 2, 1, kChunk - 2}},
        {"longer than the chunk", {10, 3 * kChunk, 5, 2 * kChunk, 1}},
        {"long line first", {5 * kChunk}},
    };
    for (const auto& c : cases) {
        for (const TEncoding* encoding : {&TEncoding::UTF8(), TEncoding::ansi(1251)}) {
            QByteArray whole = "\xEF\xBB\xBF";
            QByteArray out = whole;
            QByteArray drained;
            ByteLineSink reference(whole, 0, *encoding);
            ByteLineSink sink(out, 0, *encoding);
            sink.drainEvery(kChunk, [&](QByteArrayView bytes) { drained += bytes; });
            char letter = 'a';
            for (int size : c.lineSizes) {
                const QByteArray line = QByteArray(size / 2, letter++) + "ж";
                reference.addLine({QByteArrayView(line)});
                sink.addLine({QByteArrayView(line)});
            }
            reference.finish();
            sink.finish();
            EXPECT_EQ(sink.drained(), !drained.isEmpty()) << c.name;
            EXPECT_EQ(drained + out, whole) << c.name;
            if (sink.drained()) {
                EXPECT_TRUE(out.isEmpty()) << c.name;
            }
        }
    }
}

TEST(FastPath, ByteSinkEncodesTemplateTextThatIsNotAscii) {
    // No format has such text today; the sink must not turn it into nonsense
    // when one does.
    for (const TEncoding* encoding : {&TEncoding::UTF8(), TEncoding::ansi(1251)}) {
        QByteArray expected;
        EncodingSink reference(expected, *encoding);
        reference.addLine({u"ä=", u"Привет, 中文 😀 \uFFFF и ещё немного текста", u"-"});
        reference.addLine({QStringView(u"Ключ"), u"x"});
        reference.flush();

        QByteArray actual;
        ByteLineSink sink(actual, 0, *encoding);
        sink.addLine({u"ä=", u"Привет, 中文 😀 \uFFFF и ещё немного текста", QByteArrayView("-")});
        sink.addLine({QStringView(u"Ключ"), u"x"});
        sink.finish();
        EXPECT_EQ(actual, expected) << encoding->CodePage();
    }
}

// The program itself: reading in pieces (a line longer than a piece, CR LF
// across the boundary of two reads), the preamble, standard input.
TEST(FastPath, ProgramGivesTheUtf16PathsBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray body =
        "#EXTINF:-1 tvg-name=\"a, b\",Первый & <канал>\r\n#EXTGRP:x\r\nhttp://a/1\r\n";
    body += "#EXTINF:-1," + QByteArray(300 * 1024, 'N') + "\nhttps://b/]]>?\xEF\xBF\xBF\n";
    while (body.size() < 256 * 1024 * 3)
        body += "#EXTINF:0,Канал\r\nudp://@1.2.3.4:5\r\n";
    body += "#EXTINF:0,last\rrtp://x";
    const QByteArray inputs[] = {body, "\xEF\xBB\xBF" + body,
                                 body.first(256 * 1024 - 1) + "\r\n" + body.sliced(256 * 1024 - 1)};
    for (const QByteArray& input : inputs) {
        const QString path = dir.filePath(QStringLiteral("in.m3u"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(input);
        file.close();
        const QByteArrayView text =
            input.startsWith("\xEF\xBB\xBF") ? QByteArrayView(input).sliced(3) : input;
        for (const TargetFormat* target : allFormats()) {
            SCOPED_TRACE(target->cliName().toString().toStdString());
            // A list named after its playlist takes the file's name.
            const QByteArray fromFile =
                throughUtf16(text, *target, TEncoding::UTF8(), SourceName::ofFile(path)).bytes;
            const QByteArray fromStdin = throughUtf16(text, *target).bytes;
            const QString to = QStringLiteral("--to=") + target->cliName().toString();
            EXPECT_EQ(runConvert({to, path}).out, fromFile);
            EXPECT_EQ(runConvert({to}, input).out, fromStdin);
            if (!target->allowsAnsi())
                continue;
            const QByteArray ansi =
                throughUtf16(text, *target, *TEncoding::ansi(1251), SourceName::ofFile(path)).bytes;
            EXPECT_EQ(
                runConvert({to, QStringLiteral("--ansi"), QStringLiteral("--codepage=1251"), path})
                    .out,
                ansi);
        }
    }
}

// Input that is not UTF-8, read by the program as the window reads the file
// (decodeFileBytes, then the UTF-16 lines): in single- and double-byte code
// pages, with bytes the pages leave undefined, lead bytes before a line end,
// a line longer than a piece, a UTF-8 preamble; and almost-UTF-8, which the
// tally sends back the UTF-8 way.
TEST(FastPath, ProgramReadsCodePagesAsTheWindowDoes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("in.m3u"));
    QRandomGenerator random(1252);
    const auto playlistIn = [&random](const TEncoding& encoding) {
        QByteArray bytes;
        while (bytes.size() < 900 * 1024) {
            QByteArray text = randomPlaylist(random);
            text.replace('\0', ' '); // the text ends at the first 00: not yet
            bytes += encoding.GetBytes(decodeUtf8Strict(text)) + "\r\n";
            if (random.bounded(4) == 0)
                bytes += "#EXTINF:-1,\x98\xFF\x81\x85\xA0\x80\x93\r\nhttp://x/\xC6\x93\n";
            if (random.bounded(300) == 0)
                bytes += "#EXTINF:0," + QByteArray(300 * 1024, '\xC6') + "\nhttp://long/\n";
        }
        return bytes;
    };
    struct Case {
        int codePage;
        QByteArray input;
    };
    std::vector<Case> cases;
    for (const int codePage : {1251, 1252, 1255, 874, 932, 936, 949, 950})
        cases.push_back({codePage, playlistIn(*TEncoding::ansi(codePage))});
    cases.push_back({1251, "\xEF\xBB\xBF" + cases[0].input});
    // A stray byte among good sequences: almost-UTF-8; a dozen: the code page.
    QByteArray almost = playlistIn(TEncoding::UTF8());
    almost.insert(almost.size() / 2, "\xE0\x80");
    cases.push_back({1251, almost});
    for (int k = 0; k < 5000; ++k)
        almost.insert(almost.size() * k / 5000, '\xFE');
    cases.push_back({1251, almost});
    // A first piece whose bytes are plainly a code page's, then UTF-8: the
    // quick bounds on the tally cannot tell the whole, the tally can (the
    // stray 80 to BF bytes are broken parts the bounds do not see).
    const auto mixed = [](int strays, int cyrillicLines) {
        QByteArray bytes = "#EXTINF:-1," +
                           QByteArray("\xC0"
                                      "a")
                               .repeated(1000) +
                           QByteArray("\xA8"
                                      "a")
                               .repeated(strays) +
                           "\nhttp://a/\n";
        while (bytes.size() < 300 * 1024)
            bytes += "#EXTINF:-1,plain\nhttp://b/\n";
        for (int k = 0; k < cyrillicLines; ++k)
            bytes += "#EXTINF:-1,\xD0\x9A\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB\nhttp://c/\n";
        return bytes;
    };
    cases.push_back({1251, mixed(20000, 10000)}); // 50,000 good, 21,000 broken: 1251
    cases.push_back({1251, mixed(0, 10000)});     // 50,000 good, 1,000 broken: UTF-8
    // A 00 byte ends the text, in either way.
    cases.push_back({932, cases[4].input.first(400 * 1024) + '\0' + cases[4].input});

    for (const Case& c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.input);
        file.close();
        const TEncoding& ansi = *TEncoding::ansi(c.codePage);
        const QByteArray text = decodeFileBytes(c.input, TEncoding::UTF8(), ansi).toUtf8();
        const QString codePage = QStringLiteral("--codepage=%1").arg(c.codePage);
        for (const char* to : {"pls", "webtv", "m3u", "wmp"}) {
            const TargetFormat& target = *formatByCliName(QString::fromLatin1(to));
            SCOPED_TRACE(std::to_string(c.codePage) + " " + std::to_string(c.input.size()) +
                         " to " + to);
            EXPECT_EQ(
                runConvert({QStringLiteral("--to=") + QLatin1String(to), codePage, path}).out,
                throughUtf16(text, target, TEncoding::UTF8(), SourceName::ofFile(path)).bytes);
            if (target.allowsAnsi()) {
                EXPECT_EQ(runConvert({QStringLiteral("--to=") + QLatin1String(to),
                                      QStringLiteral("--ansi"), codePage, path})
                              .out,
                          throughUtf16(text, target, ansi, SourceName::ofFile(path)).bytes);
            }
        }
    }
}

} // namespace
