// UTF-8 and the ANSI code pages: bytes to text, text to bytes, and which code
// page a locale name stands for.
#include "playlist/Encoding.h"
#include "QtPrinters.h"
#include "playlist/AnsiCodePage.h"
#include "playlist/TextFile.h"
#include "simd/Kernels.h"
#include "simd/Utf8.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <cctype>
#include <random>
#include <thread>
#include <vector>

using namespace dorvane;
using namespace Qt::StringLiterals;

namespace {

QByteArray hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced));
}

QString units(std::initializer_list<char16_t> codeUnits) {
    QString s;
    for (char16_t c : codeUnits)
        s.append(QChar(c));
    return s;
}

// ---------------------------------------------------------------------------
// UTF-8 decoding

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    bool wellFormed;
    QString text; // when well-formed
};

std::vector<DecodeCase> decodeCases() {
    return {
        {"empty", {}, true, {}},
        {"ascii", "abc", true, u"abc"_s},
        {"nul is a character", QByteArray("a\0b", 3), true, units({u'a', 0, u'b'})},
        {"two bytes, lowest", hex("C280"), true, units({0x80})},
        {"two bytes, highest", hex("DFBF"), true, units({0x7FF})},
        {"three bytes, lowest", hex("E0A080"), true, units({0x800})},
        {"last before surrogates", hex("ED9FBF"), true, units({0xD7FF})},
        {"first after surrogates", hex("EE8080"), true, units({0xE000})},
        {"three bytes, highest", hex("EFBFBF"), true, units({0xFFFF})},
        {"byte-order mark kept", hex("EFBBBF61"), true, units({0xFEFF, u'a'})},
        {"four bytes, lowest", hex("F0908080"), true, units({0xD800, 0xDC00})},
        {"four bytes, highest", hex("F48FBFBF"), true, units({0xDBFF, 0xDFFF})},
        {"emoji", hex("F09F9880"), true, units({0xD83D, 0xDE00})},
        {"cyrillic", hex("D0BAD0B0D0BDD0B0D0BB"), true, u"канал"_s},
        {"mixed", hex("61D0BAE4B8AD F09F988062"), true,
         units({u'a', 0x43A, 0x4E2D, 0xD83D, 0xDE00, u'b'})},

        {"stray continuation", hex("80"), false, {}},
        {"stray continuation BF", hex("61BF62"), false, {}},
        {"C0 overlong nul", hex("C080"), false, {}},
        {"C1 overlong", hex("C1BF"), false, {}},
        {"overlong three bytes", hex("E08080"), false, {}},
        {"overlong three bytes, highest", hex("E09FBF"), false, {}},
        {"overlong four bytes", hex("F0808080"), false, {}},
        {"overlong four bytes, highest", hex("F08FBFBF"), false, {}},
        {"encoded high surrogate", hex("EDA080"), false, {}},
        {"encoded low surrogate", hex("EDBFBF"), false, {}},
        {"encoded surrogate pair", hex("EDA0BDEDB880"), false, {}},
        {"above U+10FFFF", hex("F4908080"), false, {}},
        {"F5", hex("F5808080"), false, {}},
        {"FE", hex("FE"), false, {}},
        {"FF", hex("61FF"), false, {}},
        {"cut after lead of two", hex("61C3"), false, {}},
        {"cut inside three", hex("E282"), false, {}},
        {"cut inside four", hex("F09F98"), false, {}},
        {"ascii instead of continuation", hex("C341"), false, {}},
        {"second continuation missing", hex("E228A1"), false, {}},
        {"third continuation missing", hex("F09F4180"), false, {}},
        {"latin-1 e acute between letters", hex("61E962"), false, {}},
    };
}

class Utf8Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8Decode, AloneAndInsideLongAsciiRuns) {
    const DecodeCase& c = GetParam();
    bool ok = !c.wellFormed;
    const QString text = decodeUtf8Strict(c.bytes, &ok);
    EXPECT_EQ(ok, c.wellFormed);
    EXPECT_EQ(text, c.wellFormed ? c.text : QString());
    EXPECT_EQ(TEncoding::UTF8().GetString(c.bytes), c.wellFormed ? c.text : QString());

    // The same bytes after and before runs of ASCII long enough for the
    // block-wise path, at every offset within a block.
    for (int pad = 1; pad <= 33; pad += 4) {
        const QByteArray before(pad, 'x'), after(40 - pad, 'y');
        const QString padded = decodeUtf8Strict(before + c.bytes + after, &ok);
        EXPECT_EQ(ok, c.wellFormed) << "pad " << pad;
        if (c.wellFormed)
            EXPECT_EQ(padded, QString::fromLatin1(before) + c.text + QString::fromLatin1(after))
                << "pad " << pad;
        else
            EXPECT_TRUE(padded.isEmpty()) << "pad " << pad;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8Decode, ::testing::ValuesIn(decodeCases()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// Each vector check this processor runs against the walk one sequence at a
// time (decoding's): every run of up to four bytes drawn from the values
// where the rules change (and every pair of any bytes), placed across the
// 32- and 64-byte block edges, after ASCII and after multi-byte text, and
// cut by the end.
TEST(Utf8Vector, AgreesWithTheWalkAcrossEveryBlockEdge) {
    const std::vector<simd::Utf8Check> checks = simd::availableUtf8Checks();
    ASSERT_FALSE(checks.empty());
    const auto walk = [](const QByteArray& bytes) {
        bool ok = false;
        decodeUtf8Strict(bytes, &ok);
        return ok;
    };
    QByteArray text;
    text.reserve(256);
    // Each part before ends a complete sequence, so the walk's verdict on
    // the whole is its verdict on the run and what follows.
    const auto agree = [&text, &checks](const QByteArray& front, const QByteArray& run,
                                        const QByteArray& back, bool expected) {
        text.resize(0);
        text.append(front).append(run).append(back);
        for (const simd::Utf8Check& check : checks) {
            const bool vector = check.isWellFormed(text.constData(), size_t(text.size()));
            if (vector != expected) {
                ADD_FAILURE() << text.toHex(' ').toStdString() << ": the check of " << check.name
                              << " says " << vector;
                return false;
            }
        }
        if (isWellFormedUtf8(text) == expected)
            return true;
        ADD_FAILURE() << text.toHex(' ').toStdString() << ": isWellFormedUtf8 says " << !expected;
        return false;
    };
    const QByteArray cyrillic = hex("D0B6").repeated(31); // 62 bytes
    const QByteArray before[] = {QByteArray(30, 'a'),
                                 QByteArray(31, 'a'),
                                 QByteArray(61, 'a'),
                                 QByteArray(62, 'a'),
                                 QByteArray(63, 'a'),
                                 QByteArray(64 + 29, 'a'),
                                 cyrillic,
                                 cyrillic + 'a',
                                 QByteArray(64, 'a') + cyrillic};
    const QByteArray after[] = {{}, "b", QByteArray(40, 'b'), hex("D0B6") + QByteArray(70, 'b')};

    const uint8_t values[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                              0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                              0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    const auto bytes = [](std::initializer_list<int> list) {
        QByteArray run;
        for (int b : list)
            run.append(char(b));
        return run;
    };
    std::vector<QByteArray> runs;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            runs.push_back(bytes({a, b}));
    for (uint8_t a : values)
        for (uint8_t b : values)
            for (uint8_t c : values) {
                runs.push_back(bytes({a, b, c}));
                for (uint8_t d : values)
                    runs.push_back(bytes({a, b, c, d}));
            }
    int wellFormed = 0;
    for (const QByteArray& run : runs) {
        for (const QByteArray& back : after) {
            const bool expected = walk(run + back);
            for (const QByteArray& front : before)
                if (!agree(front, run, back, expected))
                    return; // one failing input is enough to read
        }
        wellFormed += walk(run);
    }
    EXPECT_GT(wellFormed, 1000); // the runs hold good sequences as well as bad
}

// ---------------------------------------------------------------------------
// Almost-UTF-8: ill-formed parts as U+FFFD, and when that reading wins

TEST(AlmostUtf8, EachMaximalSubpartBecomesOneReplacement) {
    const QString r = units({0xFFFD});
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
        int illFormed;
        int multiByte;
    } cases[] = {
        {"well-formed", hex("61D0BAF09F9880"), units({u'a', 0x43A, 0xD83D, 0xDE00}), 0, 2},
        {"stray continuations, one each", hex("8080"), r + r, 2, 0},
        {"C0 cannot begin a sequence", hex("C0AF"), r + r, 2, 0},
        {"E0 80: the lead alone", hex("E080"), r + r, 2, 0},
        {"surrogate ED A0 80: three parts", hex("EDA080"), r + r + r, 3, 0},
        {"above U+10FFFF: four parts", hex("F4908080"), r + r + r + r, 4, 0},
        {"cut four-byte sequence: one part", hex("F09F98") + "a", r + u"a"_s, 1, 0},
        {"cut three-byte sequence before a good one", hex("E282D0BA"), r + u"к"_s, 1, 1},
        {"F5 and FF", hex("F5FF"), r + r, 2, 0},
        {"latin-1 letter between ASCII", hex("61E962"), u"a"_s + r + u"b"_s, 1, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeUtf8Lenient(c.bytes), c.text) << c.name;
        QByteArray repaired("x");
        repairUtf8(c.bytes, repaired);
        bool ok = false;
        EXPECT_EQ(decodeUtf8Strict(repaired, &ok), u"x"_s + c.text) << c.name;
        EXPECT_TRUE(ok) << c.name;
        Utf8Tally tally;
        tally.add(c.bytes);
        EXPECT_EQ(tally.illFormed, c.illFormed) << c.name;
        EXPECT_EQ(tally.multiByte, c.multiByte) << c.name;
    }
}

TEST(AlmostUtf8, TenGoodSequencesForEachBrokenPartKeepUtf8) {
    const TEncoding& cp1251 = *TEncoding::ansi(1251);
    const auto repeat = [](const QByteArray& bytes, int n) { return bytes.repeated(n); };
    const QByteArray k = hex("D0BA"); // "к" in UTF-8, "Рє" in 1251
    const QByteArray bad = hex("FF"); // "я" in 1251
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"10 good, 1 bad: UTF-8", repeat(k, 10) + bad, u"к"_s.repeated(10) + QChar(0xFFFD)},
        {"9 good, 1 bad: code page", repeat(k, 9) + bad, u"Рє"_s.repeated(9) + u"я"_s},
        {"20 good, 2 bad: UTF-8", bad + repeat(k, 20) + bad,
         QChar(0xFFFD) + u"к"_s.repeated(20) + QChar(0xFFFD)},
        {"19 good, 2 bad: code page", bad + repeat(k, 19) + bad,
         u"я"_s + u"Рє"_s.repeated(19) + u"я"_s},
        // ASCII does not count: only multi-byte sequences show the encoding.
        {"ASCII and 1 bad: code page", QByteArray(100, 'a') + bad, u"a"_s.repeated(100) + u"я"_s},
        {"the mark is not a sequence", hex("EFBBBF") + repeat(k, 9) + bad,
         u"Рє"_s.repeated(9) + u"я"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeFileBytes(c.bytes, TEncoding::UTF8(), cp1251), c.text) << c.name;
}

// ---------------------------------------------------------------------------
// UTF-8 encoding

// The bounds the converter takes instead of the tally, where they decide,
// hold the tally in between: on random bytes, code-page text and UTF-8.
TEST(AlmostUtf8, TallyBoundsHoldTheTally) {
    std::mt19937 random(65001);
    const QByteArray samples[] = {
        TEncoding::ansi(1251)->GetBytes(u"Первый канал, \"Россия\" HD"_s),
        u"Первый канал, \"Россия\" 😀 中文"_s.toUtf8(),
    };
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes;
        const int parts = static_cast<int>(random() % 12);
        for (int k = 0; k < parts; ++k) {
            if (random() % 3 == 0)
                bytes += samples[random() % 2].left(static_cast<qsizetype>(random() % 40));
            else
                bytes += static_cast<char>(random() % 256);
        }
        Utf8Tally tally;
        tally.add(bytes);
        size_t upper = 0, lower = 0;
        simd::kernels().utf8TallyBounds(bytes.constData(), size_t(bytes.size()), upper, lower);
        ASSERT_LE(qint64(lower), tally.illFormed) << bytes.toHex(' ').toStdString();
        ASSERT_GE(qint64(upper), tally.multiByte) << bytes.toHex(' ').toStdString();
    }
}

TEST(Utf8Encode, Table) {
    const struct {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {{}, {}},
        {units({0}), QByteArray(1, '\0')},
        {units({0x7F, 0x80}), hex("7FC280")},
        {units({0x7FF, 0x800}), hex("DFBFE0A080")},
        {units({0xFFFF}), hex("EFBFBF")},
        {u"канал"_s, hex("D0BAD0B0D0BDD0B0D0BB")},
        {units({0xD83D, 0xDE00}), hex("F09F9880")},
        {units({0xDBFF, 0xDFFF}), hex("F48FBFBF")},
        // Unpaired surrogates: each one becomes U+FFFD.
        {units({0xD800}), hex("EFBFBD")},
        {units({0xDC00}), hex("EFBFBD")},
        {units({0xD800, u'a'}), hex("EFBFBD61")},
        {units({0xDC00, 0xD800}), hex("EFBFBDEFBFBD")},
        {units({0xD800, 0xD800, 0xDC00}), hex("EFBFBDF0908080")},
        {units({u'a', 0xDBFF}), hex("61EFBFBD")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TEncoding::UTF8().GetBytes(c.text), c.bytes) << c.text.toStdString();
        // The same after a run of ASCII, so the block-wise path leads into it.
        const QString run(21, u'q');
        EXPECT_EQ(TEncoding::UTF8().GetBytes(run + c.text + run),
                  run.toLatin1() + c.bytes + run.toLatin1());
    }
}

TEST(Utf8Encode, AppendsToWhatIsThere) {
    QByteArray out = TEncoding::UTF8().GetPreamble();
    TEncoding::UTF8().appendBytes(u"ё", out);
    EXPECT_EQ(out, hex("EFBBBFD191"));
    EXPECT_EQ(TEncoding::UTF8().CodePage(), 65001);
}

TEST(Utf8, EveryCodePointRoundTrips) {
    QString all;
    for (char32_t cp = 0; cp <= 0x10FFFF; cp += (cp < 0x10000 ? 1 : 37))
        if (cp < 0xD800 || cp > 0xDFFF)
            all.append(QChar::fromUcs4(cp));
    const QByteArray bytes = TEncoding::UTF8().GetBytes(all);
    EXPECT_EQ(bytes, all.toUtf8());
    bool ok = false;
    EXPECT_EQ(decodeUtf8Strict(bytes, &ok), all);
    EXPECT_TRUE(ok);
}

TEST(Utf8, RandomTextAgreesWithQt) {
    // Random mixtures weighted towards what playlists hold, so that ASCII
    // runs of every length meet multi-byte characters at every alignment.
    std::mt19937 random(20240611);
    const char32_t pool[] = {u'a', u'/', u' ', 0xE9, 0x43A, 0x4E2D, 0xFEFF, 0x1F600, 0x10FFFF, 0};
    for (int round = 0; round < 300; ++round) {
        QString text;
        const int length = static_cast<int>(random() % 200);
        for (int k = 0; k < length; ++k) {
            const auto pick = random() % 20;
            text.append(QChar::fromUcs4(pick < std::size(pool) ? pool[pick] : u'a' + pick));
        }
        const QByteArray bytes = TEncoding::UTF8().GetBytes(text);
        ASSERT_EQ(bytes, text.toUtf8());
        bool ok = false;
        ASSERT_EQ(decodeUtf8Strict(bytes, &ok), text);
        ASSERT_TRUE(ok);
        // One wrong byte anywhere loses the whole text.
        if (!bytes.isEmpty()) {
            QByteArray broken = bytes;
            broken[static_cast<qsizetype>(random() % bytes.size())] = '\xFF';
            EXPECT_TRUE(decodeUtf8Strict(broken, &ok).isEmpty());
            EXPECT_FALSE(ok);
        }
    }
}

// ---------------------------------------------------------------------------
// ANSI code pages

TEST(AnsiCodePages, WhichAreSupported) {
    for (int cp : {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950}) {
        EXPECT_TRUE(isSupportedAnsiCodePage(cp)) << cp;
        ASSERT_NE(TEncoding::ansi(cp), nullptr) << cp;
        EXPECT_EQ(TEncoding::ansi(cp)->CodePage(), cp);
        EXPECT_EQ(TEncoding::ansi(cp), TEncoding::ansi(cp)) << "made once";
        EXPECT_TRUE(TEncoding::ansi(cp)->GetPreamble().isEmpty());
    }
    for (int cp : {0, 437, 1249, 1259, 65001, 20127, -1}) {
        EXPECT_FALSE(isSupportedAnsiCodePage(cp)) << cp;
        EXPECT_EQ(TEncoding::ansi(cp), nullptr) << cp;
    }
}

struct AnsiCase {
    int codePage;
    QString text;
    QByteArray bytes;
    int replaced; // characters written as a substitute, not as themselves
};

// Each case through the UTF-16 encoder, counting and not, and through the
// UTF-8 one where the text has a UTF-8 form: the same bytes and the same
// count everywhere.
TEST(AnsiEncode, Table) {
    const AnsiCase cases[] = {
        {1251, u"канал"_s, hex("EAE0EDE0EB"), 0},
        {1251, u"€"_s, hex("88"), 0},
        {1252, u"€"_s, hex("80"), 0},
        {1251, u"中"_s, hex("3F"), 1},
        {1252, u"a中b"_s, hex("613F62"), 1},
        {1252, u"a?b"_s, hex("613F62"), 0}, // the page's own "?"
        // Best fit: the letter without its accent, when the page lacks it.
        {1251, u"é"_s, hex("65"), 1},
        {1252, u"é"_s, hex("E9"), 0},
        {1251, u"Café Ł"_s, hex("43616665204C"), 2},
        {1252, u"ﬀ"_s, hex("3F"), 1},      // decomposes into two letters: no single stand-in
        {1252, u"ё"_s, hex("3F"), 1},      // the base letter is Cyrillic, which 1252 lacks
        {1252, u"ＡＢ"_s, hex("4142"), 2}, // full-width forms
        {1256, u"٣"_s, hex("33"), 1},      // Arabic-Indic digit
        {874, u"─"_s, hex("3F"), 1},       // box drawing is no Thai letter
        // Outside the BMP: one "?" per character; unpaired surrogates too.
        {1252, units({u'a', 0xD83D, 0xDE00, u'b'}), hex("613F62"), 1},
        {932, units({0xD83D, 0xDE00}), hex("3F"), 1},
        {1251, units({0xD800, u'a', 0xDC00}), hex("3F613F"), 2},
        {1252, units({0}), QByteArray(1, '\0'), 0},
        {1251, units({0x98}), hex("98"), 0}, // the byte 1251 leaves undefined comes back
        {1250, u"Łódź"_s, hex("A3F3649F"), 0},
        {1253, u"Ωμέγα"_s, hex("D9ECDDE3E1"), 0},
        {874, u"ไทย"_s, hex("E4B7C2"), 0},
        {932, u"日本語"_s, hex("93FA967B8CEA"), 0},
        {932, u"ｱ"_s, hex("B1"), 0},                       // half-width katakana: one byte
        {932, u"\\~\x1A\x1C\x7F"_s, hex("5C7E1A1C7F"), 0}, // ASCII stays ASCII
        {936, u"中文"_s, hex("D6D0CEC4"), 0},
        {949, u"한국어"_s, hex("C7D1B1B9BEEE"), 0},
        {950, u"中文"_s, hex("A4A4A4E5"), 0},
    };
    for (const AnsiCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.text.toStdString());
        const auto& encoding = static_cast<const TAnsiEncoding&>(*TEncoding::ansi(c.codePage));
        EXPECT_EQ(encoding.GetBytes(c.text), c.bytes);

        QByteArray counted("head");
        EXPECT_EQ(encoding.appendBytesCounting(c.text, counted), c.replaced);
        EXPECT_EQ(counted, "head" + c.bytes);

        bool wellFormed = false;
        const QByteArray utf8 = TEncoding::UTF8().GetBytes(c.text);
        if (decodeUtf8Strict(utf8, &wellFormed) != c.text)
            continue; // unpaired surrogates have no UTF-8 form
        for (const bool count : {false, true}) {
            QByteArray out(utf8.size() * 2, '\0');
            qsizetype replaced = 0;
            char* end = count
                            ? encoding.encodeUtf8(utf8.cbegin(), utf8.cend(), out.data(), replaced)
                            : encoding.encodeUtf8(utf8.cbegin(), utf8.cend(), out.data());
            out.resize(end - out.data());
            EXPECT_EQ(out, c.bytes) << "from UTF-8";
            EXPECT_EQ(replaced, count ? c.replaced : 0);
        }
    }
    // UTF-8 has every character.
    QByteArray out;
    EXPECT_EQ(TEncoding::UTF8().appendBytesCounting(u"中 é \U0001F600"_s, out), 0);
}

// A character counts as replaced exactly when its bytes do not read back as
// it: every BMP character of every code page, against the decoder. The
// longest character's bytes are what maxBytesPerChar says.
TEST(AnsiEncode, ReplacedMeansItDoesNotReadBack) {
    for (int cp : {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950}) {
        const TEncoding& encoding = *TEncoding::ansi(cp);
        int mismatches = 0;
        qsizetype longest = 0;
        for (char32_t c = 1; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue; // never read back; the table above has them
            const QChar ch(static_cast<char16_t>(c));
            QByteArray bytes;
            const qsizetype replaced = encoding.appendBytesCounting(QStringView(&ch, 1), bytes);
            const bool readsBack = encoding.GetString(bytes) == QStringView(&ch, 1);
            if (replaced != (readsBack ? 0 : 1) && ++mismatches <= 5)
                ADD_FAILURE() << cp << ": U+" << std::hex << unsigned(c) << " counted " << replaced
                              << ", reads back " << readsBack;
            longest = std::max(longest, bytes.size());
        }
        EXPECT_EQ(mismatches, 0) << cp;
        EXPECT_EQ(longest, encoding.maxBytesPerChar()) << cp;
    }
}

TEST(AnsiEncode, AppendsAndNeverExceedsTheBound) {
    const QString text = u"Ünïcödé 中文 \U0001F600 \xD800 ok"_s;
    for (int cp : {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950}) {
        const TEncoding& encoding = *TEncoding::ansi(cp);
        QByteArray out("head");
        encoding.appendBytes(text, out);
        EXPECT_TRUE(out.startsWith("head"));
        EXPECT_TRUE(out.endsWith(" ok"));
        EXPECT_LE(out.size() - 4, text.size() * encoding.maxBytesPerChar()) << cp;
    }
}

TEST(AnsiDecode, Table) {
    const struct {
        int codePage;
        QString text;
        QByteArray bytes;
    } cases[] = {
        {1251, u"канал"_s, hex("EAE0EDE0EB")},
        {1251, units({0x98}), hex("98")}, // undefined in 1251: the C1 control
        {1252, u"€"_s, hex("80")},
        {1252, units({0x81, 0x8D}), hex("818D")},
        {1253, units({0xD2}), hex("D2")},
        {1252, units({u'a', 0, u'b'}), QByteArray("a\0b", 3)},
        {932, u"日本語"_s, hex("93FA967B8CEA")},
        {932, u"\\~"_s, hex("5C7E")},
        {932, units({u'a', 0xFFFD}), hex("6193")},           // lead byte at the end
        {932, units({0xFFFD, u'\r', u'\n'}), hex("930D0A")}, // a bad trail is read again
        {932, units({0xFFFD}), hex("85A0")},                 // a pair with no character
        {936, u"中文"_s, hex("D6D0CEC4")},
        {949, u"한국어"_s, hex("C7D1B1B9BEEE")},
        {950, u"中文"_s, hex("A4A4A4E5")},
        {874, u"ไทย"_s, hex("E4B7C2")},
    };
    for (const auto& c : cases) {
        const TEncoding& encoding = *TEncoding::ansi(c.codePage);
        EXPECT_EQ(encoding.GetString(c.bytes), c.text)
            << c.codePage << " " << c.bytes.toHex().toStdString();
    }
}

// The converter reads code-page input as the UTF-8 of what GetString
// decodes: every byte, every pair of a double-byte page (its lead bytes
// before CR, LF and the end included), and runs long enough for the ASCII
// stretches to take the vector loop.
TEST(AnsiDecode, ToUtf8IsTheUtf8OfTheText) {
    std::mt19937 random(1251);
    for (const int codePage :
         {1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950}) {
        const auto& encoding = dynamic_cast<const TAnsiEncoding&>(*TEncoding::ansi(codePage));
        std::vector<QByteArray> inputs;
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
        inputs.push_back(all);
        QByteArray pairs;
        for (int lead = 0x81; lead < 256; ++lead)
            for (int trail = 0; trail < 256; ++trail)
                pairs += QByteArray{static_cast<char>(lead), static_cast<char>(trail)};
        inputs.push_back(pairs);
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes;
            const int length = static_cast<int>(random() % 100);
            for (int k = 0; k < length; ++k) {
                const unsigned kind = random() % 4;
                bytes += kind == 0   ? QByteArray(static_cast<int>(random() % 40), 'a')
                         : kind == 1 ? QByteArray("\r\n")
                                     : QByteArray(1, static_cast<char>(random() % 256));
            }
            inputs.push_back(bytes);
        }
        for (const QByteArray& bytes : inputs) {
            QByteArray out(TAnsiEncoding::decodedUtf8Room(bytes.size()), Qt::Uninitialized);
            const char* end = encoding.decodeToUtf8(bytes.cbegin(), bytes.cend(), out.data());
            EXPECT_EQ(QByteArrayView(out.constData(), end), encoding.GetString(bytes).toUtf8())
                << codePage << " " << bytes.toHex().left(200).toStdString();
        }
    }
}

TEST(AnsiCodePages, EveryDefinedSingleByteRoundTrips) {
    // Bytes the code pages leave undefined above 9F read as the Latin-1
    // character of that value, which is then written by its own best fit.
    const struct {
        int codePage;
        QByteArray undefined;
    } pages[] = {
        {1250, {}},          {1251, {}},          {1252, {}},
        {1253, hex("D2FF")}, {1254, {}},          {1255, hex("CAD9DADBDCDDDEDFFBFCFF")},
        {1256, {}},          {1257, hex("A1A5")}, {1258, {}},
        {874, {}},
    };
    for (const auto& page : pages) {
        const TEncoding& encoding = *TEncoding::ansi(page.codePage);
        for (int b = 0; b < 256; ++b) {
            const QByteArray byte(1, static_cast<char>(b));
            if (page.undefined.contains(byte))
                continue;
            const QString text = encoding.GetString(byte);
            ASSERT_EQ(text.size(), 1);
            EXPECT_EQ(encoding.GetBytes(text), byte) << page.codePage << " byte " << b;
        }
    }
}

TEST(AnsiCodePages, DoubleByteTextRoundTrips) {
    const struct {
        int codePage;
        QString text;
    } cases[] = {
        {932, u"#EXTINF:-1,ＮＨＫ総合 テレビ ｶﾀｶﾅ\r\nhttp://example.jp/日本\r\n"_s},
        {936, u"#EXTINF:-1,中央电视台 综合频道\r\nhttp://example.cn/\r\n"_s},
        {949, u"#EXTINF:-1,한국 방송 공사\r\nhttp://example.kr/\r\n"_s},
        {950, u"#EXTINF:-1,臺灣 電視\r\nhttp://example.tw/\r\n"_s},
    };
    for (const auto& c : cases) {
        const TEncoding& encoding = *TEncoding::ansi(c.codePage);
        const QByteArray bytes = encoding.GetBytes(c.text);
        EXPECT_FALSE(bytes.contains('?')) << c.codePage;
        EXPECT_EQ(encoding.GetString(bytes), c.text) << c.codePage;
    }
}

TEST(AnsiCodePages, FirstUseFromManyThreads) {
    // Several threads reach a code page not yet built; all must see one
    // complete object.
    std::vector<std::thread> threads;
    std::vector<QByteArray> results(8);
    for (int k = 0; k < 8; ++k)
        threads.emplace_back(
            [&results, k] { results[k] = TEncoding::ansi(1257)->GetBytes(u"Ąžuolas"); });
    for (std::thread& t : threads)
        t.join();
    for (const QByteArray& r : results)
        EXPECT_EQ(r, hex("C0FE756F6C6173"));
}

// ---------------------------------------------------------------------------
// Locale names

TEST(AnsiCodePageForLocale, Table) {
    const struct {
        const char16_t* locale;
        int codePage;
    } cases[] = {
        {u"ru_RU.UTF-8", 1251}, {u"uk_UA", 1251},       {u"be_BY.UTF-8", 1251},
        {u"bg_BG", 1251},       {u"sr_RS@latin", 1251}, {u"kk_KZ", 1251},
        {u"mn_MN", 1251},       {u"ru", 1251},          {u"pl_PL.ISO-8859-2", 1250},
        {u"cs_CZ", 1250},       {u"hr_HR", 1250},       {u"bs_BA", 1250},
        {u"el_GR.UTF-8", 1253}, {u"tr_TR", 1254},       {u"az_AZ", 1254},
        {u"uz_UZ", 1254},       {u"he_IL", 1255},       {u"ar_EG", 1256},
        {u"fa_IR", 1256},       {u"ur_PK", 1256},       {u"et_EE", 1257},
        {u"lv_LV", 1257},       {u"lt_LT", 1257},       {u"vi_VN", 1258},
        {u"th_TH.UTF-8", 874},  {u"ja_JP.eucJP", 932},  {u"zh_CN.GBK", 936},
        {u"zh_SG", 936},        {u"zh_TW", 950},        {u"zh_HK.UTF-8", 950},
        {u"zh_MO", 950},        {u"ko_KR.UTF-8", 949},  {u"C", 1252},
        {u"POSIX", 1252},       {u"C.UTF-8", 1252},     {u"en_US", 1252},
        {u"de_DE@euro", 1252},  {u"fr_FR.UTF-8", 1252}, {u"", 1252},
        {u"rus", 1252},         {u"RU_ru", 1251},       {u"zh", 1252},
        {u"zh.UTF-8", 1252},    {u"zh@stroke", 1252},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ansiCodePageForLocale(c.locale), c.codePage)
            << QString::fromUtf16(c.locale).toStdString();
}

TEST(AnsiCodePageForLocale, TheTestEnvironmentGivesWindowsLatin1) {
    // Registered with LC_ALL=C.UTF-8.
    EXPECT_EQ(systemAnsiCodePage(), 1252);
    EXPECT_EQ(TEncoding::Default().CodePage(), 1252);
    EXPECT_EQ(TEncoding::Default().GetBytes(u"café €"), hex("636166E92080"));
}

} // namespace
