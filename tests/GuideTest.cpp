// The programme guide: reading XMLTV as it comes (packed, in any pieces,
// hostile), the matching of channels, the shifting of times, and the cut
// dorvane-convert writes, against golden guides.
#include "ConvertRunner.h"
#include "convert/Recipe.h"
#include "convert/guide/EpgImport.h"
#include "convert/guide/GuideCut.h"
#include "convert/guide/GuideMatch.h"
#include "convert/guide/GuideTime.h"
#include "playlist/Errors.h"
#include "source/guide/GuideReader.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <lzma.h>
#include <sys/resource.h>
#include <zlib.h>

#include <functional>

using namespace dorvane;
using namespace dorvane::guide;

namespace {

const QString kData = QStringLiteral(DORVANE_TEST_DATA "/guide/");

// What a reader handed on, as text: one line per element.
class Recorder : public GuideHandler {
public:
    std::function<bool(QByteArrayView)> wants = [](QByteArrayView) { return true; };
    QByteArray text;

    void root(const std::vector<Attribute>& attributes) override {
        text += "root";
        for (const Attribute& a : attributes)
            text += ' ' + a.name + '=' + a.value;
        text += '\n';
    }
    void channel(const Element& e) override {
        text += "channel " + e.attribute("id").toByteArray() + " [" +
                QByteArrayList(e.displayNames.begin(), e.displayNames.end()).join('|') + "] " +
                e.content + '\n';
    }
    bool wantsProgramme(QByteArrayView id) override { return wants(id); }
    void programme(const Element& e) override {
        text += "programme " + e.attribute("channel").toByteArray() + ' ' + e.content + '\n';
    }
};

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

QByteArray xzPacked(const QByteArray& bytes) {
    QByteArray out(bytes.size() + 1024, Qt::Uninitialized);
    size_t size = 0;
    lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                            reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size()),
                            reinterpret_cast<uint8_t*>(out.data()), &size, size_t(out.size()));
    out.resize(qsizetype(size));
    return out;
}

// Reads `bytes` in pieces of `piece` bytes; the reader's error, if any,
// goes to `error`.
QByteArray readAll(const QByteArray& bytes, qsizetype piece, bool* cutShort = nullptr,
                   QString* error = nullptr, GuideLimits limits = {}) {
    Recorder recorder;
    GuideReader reader(recorder, QStringLiteral("test.xml"), limits);
    try {
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            reader.write(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        reader.finish();
    } catch (const Exception& e) {
        if (error)
            *error = e.Message();
        return recorder.text;
    }
    if (cutShort)
        *cutShort = reader.cutShort();
    return recorder.text;
}

const QByteArray kSmallGuide = R"(<?xml version="1.0"?>
<tv date="1"><channel id="a&amp;b"><display-name>A &amp; B</display-name><icon src="x"/></channel>
<programme channel="a&amp;b" start="1"><title><![CDATA[<t>]]></title></programme>
<programme channel="other"><title>skipped</title></programme></tv>
)";

} // namespace

TEST(GuideReader, ElementsWholeWhateverThePiecesAndThePacking) {
    const QByteArray expected = "root date=1\n"
                                "channel a&b [A & B] <display-name>A &amp; B</display-name>"
                                "<icon src=\"x\"/>\n"
                                "programme a&b <title>&lt;t&gt;</title>\n"
                                "programme other <title>skipped</title>\n";
    for (const QByteArray& bytes :
         {kSmallGuide, gzipped(kSmallGuide), xzPacked(kSmallGuide),
          gzipped(kSmallGuide.first(50)) + gzipped(kSmallGuide.sliced(50))})
        for (qsizetype piece : {qsizetype(1), qsizetype(7), bytes.size()}) {
            QString error;
            EXPECT_EQ(readAll(bytes, piece, nullptr, &error), expected) << piece;
            EXPECT_EQ(error, QString());
        }
}

TEST(GuideReader, WhatFollowsTheRootIsNoPartOfIt) {
    bool cutShort = true;
    QString error;
    const QByteArray text = readAll(kSmallGuide + "<junk &x; <<", 5, &cutShort, &error);
    EXPECT_FALSE(cutShort);
    EXPECT_EQ(error, QString());
    EXPECT_TRUE(text.endsWith("programme other <title>skipped</title>\n")) << text.toStdString();
}

TEST(GuideReader, ProgrammesNotWantedAreSkipped) {
    Recorder recorder;
    recorder.wants = [](QByteArrayView id) { return id == "a&b"; };
    GuideReader reader(recorder, QStringLiteral("test.xml"));
    reader.write(kSmallGuide);
    reader.finish();
    EXPECT_FALSE(recorder.text.contains("skipped"));
    EXPECT_TRUE(recorder.text.contains("programme a&b"));
}

TEST(GuideReader, ACutGuideKeepsWhatCameBefore) {
    const QByteArray whole = kSmallGuide;
    const QByteArray cut = whole.first(whole.indexOf("<title>skipped") + 5);
    for (const QByteArray& bytes : {cut, gzipped(cut), gzipped(whole).chopped(20)}) {
        bool cutShort = false;
        QString error;
        const QByteArray text = readAll(bytes, 3, &cutShort, &error);
        EXPECT_TRUE(cutShort) << error.toStdString();
        EXPECT_TRUE(text.contains("programme a&b")) << text.toStdString();
    }
}

TEST(GuideReader, HostileGuidesAreRefused) {
    struct Case {
        const char* what;
        QByteArray guide;
        const char* error;
    };
    const QByteArray laughs = R"(<?xml version="1.0"?><!DOCTYPE tv [<!ENTITY a "aaaaaaaaaa">
<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]>
<tv><channel id="x"><display-name>&c;</display-name></channel></tv>)";
    const QByteArray external = R"(<?xml version="1.0"?><!DOCTYPE tv [
<!ENTITY x SYSTEM "file:///etc/passwd">]><tv><channel id="x"><display-name>&x;</display-name></channel></tv>)";
    const QByteArray undeclared =
        R"(<?xml version="1.0"?><tv><channel id="x"><display-name>&x;</display-name></channel></tv>)";
    const QByteArray deep = "<tv><programme channel=\"x\">" + QByteArray("<a>").repeated(5000) +
                            QByteArray("</a>").repeated(5000) + "</programme></tv>";
    QByteArray brokenGzip = gzipped(kSmallGuide);
    for (qsizetype k = 12; k < brokenGzip.size() - 12; k += 3)
        brokenGzip[k] = char(~brokenGzip[k]);
    const Case cases[] = {
        {"entity expansion", laughs, "DOCTYPE"},
        {"external entity", external, "DOCTYPE"},
        {"deep nesting", deep, "nested deeper than 1000"},
        {"another root", "<rss><channel/></rss>", "not <tv>"},
        {"no XML", "hello", "not well-formed"},
        {"empty", "", "is empty"},
        {"broken gzip", brokenGzip, "cannot be unpacked"},
    };
    for (const Case& c : cases) {
        QString error;
        const QByteArray text = readAll(c.guide, 4096, nullptr, &error);
        EXPECT_TRUE(error.contains(QLatin1String(c.error)))
            << c.what << ": " << error.toStdString();
        EXPECT_FALSE(text.contains("passwd") || text.contains("root:")) << c.what;
    }
    // An entity never declared breaks the guide where it stands: what came
    // before is kept, nothing of it is expanded.
    bool cutShort = false;
    QString error;
    const QByteArray text = readAll(undeclared, 4096, &cutShort, &error);
    EXPECT_TRUE(cutShort) << error.toStdString();
    EXPECT_EQ(text, "root\n");
}

// A text node of 100 MB: in a programme kept it is refused at the limit; in
// one skipped, or between elements, it is read through; either way the
// memory stays far below its size.
TEST(GuideReader, AHugeTextNodeIsReadInBoundedMemory) {
    const QByteArray chunk(1 << 20, 'x');
    const auto feed = [&](const QByteArray& head, const QByteArray& tail, bool wanted,
                          QString& error) {
        Recorder recorder;
        recorder.wants = [wanted](QByteArrayView) { return wanted; };
        GuideReader reader(recorder, QStringLiteral("huge.xml"));
        try {
            reader.write(head);
            for (int k = 0; k < 100; ++k)
                reader.write(chunk);
            reader.write(tail);
            reader.finish();
        } catch (const Exception& e) {
            error = e.Message();
        }
    };
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QString kept, skipped, between, tag;
    feed("<tv><programme channel=\"x\"><title>", "</title></programme></tv>", true, kept);
    feed("<tv><programme channel=\"x\"><title>", "</title></programme></tv>", false, skipped);
    feed("<tv>", "</tv>", true, between);
    feed("<tv><programme channel=\"", "\"/></tv>", true, tag);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_TRUE(kept.contains(QLatin1String("larger than"))) << kept.toStdString();
    EXPECT_EQ(skipped, QString());
    EXPECT_EQ(between, QString());
    EXPECT_TRUE(tag.contains(QLatin1String("refused"))) << tag.toStdString();
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 80 * 1024) << "KB more at the peak";
}

TEST(GuideMatch, NamesNormalise) {
    const std::pair<const char*, const char*> cases[] = {
        {"UK: BBC One HD", "bbcone"},
        {"DE | Das Erste FHD", "daserste"},
        {"Café Noir", "cafenoir"},
        {"ＣＡＦＥ", "cafe"},
        {"Первый канал HD", "первыиканал"}, // й is и and a mark
        {"Россия 1 4K", "россия1"},
        {"Sport 2 UHD", "sport2"},
        {"HDTV", "hdtv"},
        {"SD", ""},
        {"ABC: News", "abcnews"}, // three letters: no country
        {"Straße", "strasse"},
    };
    for (const auto& [name, normalised] : cases)
        EXPECT_EQ(normalisedName(QString::fromUtf8(name)), QString::fromUtf8(normalised)) << name;
}

TEST(GuideMatch, TheFirstRuleWithACandidateDecides) {
    GuideChannels guide;
    guide.add(QStringLiteral("bbc1.uk"), {QStringLiteral("BBC One")});
    guide.add(QStringLiteral("BBC1.uk"), {QStringLiteral("BBC One London")});
    guide.add(QStringLiteral("news.de"), {QStringLiteral("News")});
    guide.add(QStringLiteral("news.at"), {QStringLiteral("NEWS HD")});
    guide.add(QStringLiteral("kino"), {QStringLiteral("Kino"), QStringLiteral("Kino HD")});
    struct Case {
        const char* tvgId;
        const char* name;
        const char* handId;
        Match::Kind kind;
        const char* id;
        const char* rule;
    };
    using K = Match::Kind;
    const Case cases[] = {
        {"bbc1.uk", "whatever", "", K::Matched, "bbc1.uk", "id"},
        {"BBC1.uk", "", "", K::Matched, "BBC1.uk", "id"},
        {"Bbc1.UK", "BBC One", "", K::Ambiguous, "bbc1.uk", "id-case"},
        {"unknown", "UK: BBC One HD", "", K::Matched, "bbc1.uk", "name"},
        {"", "News", "", K::Ambiguous, "news.de", "name"},
        {"", "Kino", "", K::Matched, "kino", "name"}, // two names, one channel
        {"news.de", "News", "", K::Matched, "news.de", "id"},
        {"news.de", "News", "NEWS.AT", K::Matched, "news.at", "hand"},
        {"news.de", "News", "gone", K::None, "", ""}, // a hand-set id stands alone
        {"", "Nothing", "", K::None, "", ""},
    };
    for (const Case& c : cases) {
        const Match m = guide.match(
            {QString::fromUtf8(c.tvgId), QString::fromUtf8(c.name), QString::fromUtf8(c.handId)});
        EXPECT_EQ(int(m.kind), int(c.kind)) << c.tvgId << " " << c.name;
        if (m.kind != K::None) {
            EXPECT_EQ(guide.id(m.channel), QString::fromUtf8(c.id)) << c.tvgId << " " << c.name;
        }
        EXPECT_STREQ(m.rule, c.rule) << c.tvgId << " " << c.name;
    }
}

TEST(GuideTime, ShiftsKeepTheZoneAndThePrecision) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"20261231230000 +0300", 4, "20270101010000 +0300"},
        {"20260301003000 -0500", -3, "20260228230000 -0500"},
        {"20240229233000", 2, "20240301003000"},
        {"202612120100 +0000", 1, "202612120130 +0000"},
        {"2026121202 +0000", 2, "2026121203 +0000"},
        {"2026121202", 1, "202612120230"},
        {"20261212", -2, "2026121123"},
        {"20261212000000 +0300", 0, "20261212000000 +0300"},
        {"garbage", 2, "garbage"},
        {"20261332000000", 2, "20261332000000"},
    };
    for (const auto& [time, halfHours, shifted] : cases)
        EXPECT_EQ(shiftGuideTime(time, halfHours), QByteArray(shifted)) << time;
    int halfHours = 0;
    for (const char* good : {"2", "-1", "+1.5", "0,5", "24", "-24"})
        EXPECT_TRUE(parseGuideShift(QString::fromLatin1(good), halfHours)) << good;
    for (const char* bad : {"", "1.25", "25", "x", "1e3", "--1"})
        EXPECT_FALSE(parseGuideShift(QString::fromLatin1(bad), halfHours)) << bad;
}

// The golden guides: dorvane-convert cuts guide.xml (named by the playlist's
// url-tvg) to the channels of input.m3u; the cut and the list written are
// those of expected/.
TEST(GuideCli, GoldenGuides) {
    const std::pair<const char*, int> cases[] = {
        {"shifts", 0}, {"broken-tail", 1}, {"two-guides", 0}};
    for (const auto& [name, exitCode] : cases) {
        QTemporaryDir out;
        const QString dir = kData + QLatin1String(name) + u'/';
        for (const char* cut : {"cut.xml", "cut.xml.gz"}) {
            const QString cutFile = out.filePath(QLatin1String(cut));
            const ConvertRun run =
                runConvert({QStringLiteral("--to"), QStringLiteral("m3u"),
                            QStringLiteral("--guide-out"), cutFile, QStringLiteral("-o"),
                            out.filePath(QStringLiteral("output.m3u")), dir + "input.m3u"});
            EXPECT_EQ(run.exitCode, exitCode) << name << run.err.toStdString();
            QByteArray written = readFile(cutFile);
            if (QByteArrayView(cut).endsWith(".gz")) {
                QByteArray plain(1 << 20, Qt::Uninitialized);
                z_stream z{};
                inflateInit2(&z, 15 + 16);
                z.next_in = reinterpret_cast<Bytef*>(written.data());
                z.avail_in = uInt(written.size());
                z.next_out = reinterpret_cast<Bytef*>(plain.data());
                z.avail_out = uInt(plain.size());
                EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << name;
                plain.resize(qsizetype(z.total_out));
                inflateEnd(&z);
                written = plain;
            }
            EXPECT_EQ(written, readFile(dir + "expected/cut.xml")) << name << " " << cut;
            EXPECT_EQ(readFile(out.filePath(QStringLiteral("output.m3u"))),
                      readFile(dir + "expected/output.m3u"))
                << name;
        }
    }
}

TEST(GuideCli, CutShortSaysSoAndFailsUnlessAllowed) {
    QTemporaryDir out;
    const QString input = kData + QLatin1String("broken-tail/input.m3u");
    const QStringList args{QStringLiteral("--to"),
                           QStringLiteral("m3u"),
                           QStringLiteral("--guide-out"),
                           out.filePath(QStringLiteral("c.xml")),
                           QStringLiteral("-o"),
                           out.filePath(QStringLiteral("o.m3u")),
                           input};
    const ConvertRun strict = runConvert(args);
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_TRUE(strict.err.contains("was cut short")) << strict.err.toStdString();
    const ConvertRun allowed =
        runConvert(QStringList(args) << QStringLiteral("--guide-partial-ok"));
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err.toStdString();
    EXPECT_TRUE(allowed.err.contains("was cut short"));
}

TEST(GuideCli, UnmatchedChannelsCountedAndNamedWhenVerbose) {
    QTemporaryDir out;
    const QStringList args{QStringLiteral("--to"),
                           QStringLiteral("m3u"),
                           QStringLiteral("--guide-out"),
                           out.filePath(QStringLiteral("c.xml")),
                           QStringLiteral("-o"),
                           out.filePath(QStringLiteral("o.m3u")),
                           kData + QLatin1String("shifts/input.m3u")};
    const ConvertRun plain = runConvert(args);
    EXPECT_TRUE(plain.err.contains("6 of 8 channels matched")) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.contains("2 channels have no guide (see --verbose)"));
    EXPECT_FALSE(plain.err.contains("Nothing"));
    const ConvertRun verbose = runConvert(QStringList(args) << QStringLiteral("--verbose"));
    EXPECT_TRUE(verbose.err.contains("no guide: Kino (ambiguous: kino.de, kino.at)"))
        << verbose.err.toStdString();
    EXPECT_TRUE(verbose.err.contains("no guide: Nothing"));
}

// A recipe keeps the ids set by hand and the shifts; run again, it matches
// anew and the hand-set id wins.
TEST(GuideCli, RecipeHandIdsAndShiftsSurviveARun) {
    QTemporaryDir out;
    const QString recipeFile = out.filePath(QStringLiteral("r.dorvane"));
    const QString input = kData + QLatin1String("two-guides/input.m3u");
    Recipe recipe;
    recipe.source.file = input;
    recipe.target = QStringLiteral("m3u");
    recipe.output = out.filePath(QStringLiteral("o.m3u"));
    recipe.guide.output = out.filePath(QStringLiteral("c.xml"));
    recipe.guide.ids.push_back(
        {QString(), QString(), QStringLiteral("Gamma"), QStringLiteral("g2")});
    GuideSettings::Shift shift;
    shift.channelId = QStringLiteral("a");
    shift.halfHours = 3;
    recipe.guide.shifts.push_back(shift);
    writeRecipe(recipeFile, recipe, false);
    const Recipe back = readRecipe(recipeFile);
    ASSERT_EQ(back.guide.ids.size(), 1u);
    EXPECT_EQ(back.guide.ids[0].guideId, QStringLiteral("g2"));
    ASSERT_EQ(back.guide.shifts.size(), 1u);
    EXPECT_EQ(back.guide.shifts[0].halfHours, 3);
    EXPECT_EQ(back.guide.output, recipe.guide.output);

    const ConvertRun run = runConvert({QStringLiteral("--recipe"), recipeFile});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray cut = readFile(recipe.guide.output);
    EXPECT_TRUE(cut.contains("<channel id=\"g2\">")) << cut.toStdString();
    EXPECT_TRUE(cut.contains("start=\"20261212013000 +0000\" channel=\"a\"")) << cut.toStdString();
    EXPECT_TRUE(run.err.contains("3 of 3 channels matched")) << run.err.toStdString();

    // Run again without the id set by hand: Gamma is ambiguous again, and
    // named as a channel the last cut had.
    Recipe without = back;
    without.guide.ids.clear();
    writeRecipe(recipeFile, without, false);
    const ConvertRun again = runConvert({QStringLiteral("--recipe"), recipeFile});
    EXPECT_TRUE(again.err.contains("No guide any more: Gamma")) << again.err.toStdString();
    EXPECT_FALSE(again.err.contains("No guide any more: Alpha"));
}

TEST(GuideEnigma2, ServiceIdsStableUniqueAndNeverZero) {
    const QStringList keys{QStringLiteral("id\na"), QStringLiteral("id\nb"),
                           QStringLiteral("name\nG\nC")};
    const std::vector<ServiceIds> first = serviceIdsFor(QStringLiteral("list"), keys, {});
    EXPECT_EQ(first, serviceIdsFor(QStringLiteral("list"), keys, {}));
    EXPECT_NE(first, serviceIdsFor(QStringLiteral("other"), keys, {}));
    // Kept ids stand; one another channel's hash would give moves on.
    QHash<QString, ServiceIds> kept;
    kept.insert(keys[2], first[0]);
    const std::vector<ServiceIds> again = serviceIdsFor(QStringLiteral("list"), keys, kept);
    EXPECT_EQ(again[2], first[0]);
    EXPECT_EQ(again[0].tid, first[0].tid);
    EXPECT_NE(again[0], first[0]);
    for (const ServiceIds& ids : again)
        EXPECT_NE(ids.sid, 0);
    EXPECT_EQ(ServiceIds::fromText(first[1].text()), first[1]);
    EXPECT_TRUE(ServiceIds::fromText(QStringLiteral("0:1:1")).isNull());
}

// With a guide, the Enigma2 bouquet's references are unique, the importer's
// files lie beside it, and a recipe keeps the ids from run to run.
TEST(GuideEnigma2, BouquetAndImporterFilesAgree) {
    QTemporaryDir out;
    const QString recipeFile = out.filePath(QStringLiteral("news.dorvane"));
    Recipe recipe;
    recipe.source.file = kData + QLatin1String("shifts/input.m3u");
    recipe.target = QStringLiteral("enigma2");
    recipe.output = out.filePath(QStringLiteral("userbouquet.news.tv"));
    recipe.guide.output = out.filePath(QStringLiteral("cut.xml"));
    writeRecipe(recipeFile, recipe, false);
    const ConvertRun run = runConvert({QStringLiteral("--recipe"), recipeFile});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    const QByteArray bouquet = readFile(recipe.output);
    QSet<QByteArray> references;
    for (const QByteArray& line : bouquet.split('\n'))
        if (line.startsWith("#SERVICE ") && !line.startsWith("#SERVICE 1:64:")) // not a group
            references.insert(line.sliced(9).split(':').mid(0, 10).join(':'));
    EXPECT_EQ(references.size(), 8) << bouquet.toStdString();
    EXPECT_FALSE(bouquet.contains("4097:0:1:0:0:0:")) << bouquet.toStdString();

    const QByteArray channels = readFile(out.filePath(QStringLiteral("dorvane.channels.xml")));
    EXPECT_EQ(channels.count("<channel id="), 6) << channels.toStdString();
    EXPECT_TRUE(channels.contains("<channel id=\"one.tv@+2\">1:0:1:"));
    // Each channel's reference there is its bouquet's, with service type 1.
    int inChannels = 0;
    for (const QByteArray& reference : std::as_const(references))
        inChannels += channels.contains(reference.sliced(reference.indexOf(':'))) ? 1 : 0;
    EXPECT_EQ(inChannels, 6); // all but the two without a guide
    const QByteArray sources = readFile(out.filePath(QStringLiteral("dorvane.sources.xml")));
    EXPECT_TRUE(sources.contains("<source type=\"gen_xmltv\" nocheck=\"1\" "
                                 "channels=\"dorvane.channels.xml\">"));
    EXPECT_TRUE(sources.contains("<url><![CDATA[" + kData.toUtf8() + "shifts/guide.xml]]></url>"))
        << sources.toStdString();

    const Recipe kept = readRecipe(recipeFile);
    EXPECT_EQ(kept.guide.serviceIds.size(), 8u);
    // A run again gives the same bouquet, the recipe unchanged.
    const QByteArray recipeText = readFile(recipeFile);
    ASSERT_EQ(runConvert({QStringLiteral("--recipe"), recipeFile}).exitCode, 0);
    EXPECT_EQ(readFile(recipe.output), bouquet);
    EXPECT_EQ(readFile(recipeFile), recipeText);
}
