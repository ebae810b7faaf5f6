// Each kernel in every form the processor runs (simd/Kernels.h's tables, and
// simd/Ascii.h's vector loops) against its plain form, on the same inputs:
// bytes dense with what the kernel looks for and with its near misses, at
// every length and offset around the vectors' widths.
#include "simd/Ascii.h"
#include "simd/Kernels.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace dorvane;

namespace {

QByteArray randomBytes(QRandomGenerator& random, qsizetype size, const char* alphabet) {
    const int choices = static_cast<int>(std::strlen(alphabet));
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = alphabet[random.bounded(choices)];
    return bytes;
}

TEST(Simd, TheChosenTableIsTheWidestThisProcessorRuns) {
    const std::vector<const simd::Kernels*> tables = simd::availableKernels();
    ASSERT_FALSE(tables.empty());
    EXPECT_STREQ(tables.front()->name, "scalar");
    EXPECT_EQ(&simd::kernels(), tables.back());
}

TEST(Simd, LineMarksAgree) {
    QRandomGenerator random(5);
    for (int round = 0; round < 50; ++round) {
        const QByteArray bytes = randomBytes(random, 64 * 40, "\r\n\t E:e;/#\x80\xD0\xFF\x0b\x0c");
        std::vector<quint64> expected(40);
        for (int k = 0; k < bytes.size(); ++k) {
            const char c = bytes[k];
            if (c == '\r' || c == '\n' || c == 'E' || c == ':')
                expected[size_t(k / 64)] |= quint64(1) << (k % 64);
        }
        for (const simd::Kernels* table : simd::availableKernels()) {
            std::vector<quint64> marks(41, 0xDEAD);
            table->lineMarks(bytes.constData(), 40, marks.data());
            EXPECT_EQ(marks[40], 0xDEADu) << table->name << ": past the last block";
            marks.pop_back();
            ASSERT_EQ(marks, expected) << table->name;
        }
    }
}

TEST(Simd, FirstCommaAgrees) {
    QRandomGenerator random(7);
    // Sparse and dense commas and quotes, at every length up to a few
    // vectors and from every offset in a buffer (the tails read backwards).
    for (const char* alphabet :
         {"a\"", "a,\"", "aaaaaaaaaaaaaaaaaaaaaaa,\"", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"\""}) {
        for (int round = 0; round < 300; ++round) {
            const QByteArray buffer = randomBytes(random, 200, alphabet);
            const qsizetype start = random.bounded(40);
            const qsizetype size = random.bounded(int(buffer.size() - start) + 1);
            const char* begin = buffer.constData() + start;
            const char* end = begin + size;
            bool expectedOdd = false;
            const char* expected =
                simd::availableKernels().front()->firstComma(begin, end, expectedOdd);
            for (const simd::Kernels* table : simd::availableKernels()) {
                bool odd = !expectedOdd;
                const char* found = table->firstComma(begin, end, odd);
                ASSERT_EQ(found - begin, expected - begin)
                    << table->name << " in " << QByteArray(begin, size).toStdString();
                ASSERT_EQ(odd, expectedOdd)
                    << table->name << " in " << QByteArray(begin, size).toStdString();
            }
        }
    }
}

TEST(Simd, Utf8TallyBoundsAgree) {
    QRandomGenerator random(11);
    // Leads, continuations, the bytes around their edges, and ASCII runs
    // that the vector loops skip whole.
    const char* alphabet =
        "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\x7f\x80\xbf\xc0\xc1\xc2\xdf\xe0\xf4\xf5\xff";
    for (int round = 0; round < 3000; ++round) {
        const QByteArray bytes = randomBytes(random, random.bounded(120), alphabet);
        size_t expectedUpper = 0, expectedLower = 0;
        simd::availableKernels().front()->utf8TallyBounds(bytes.constData(), size_t(bytes.size()),
                                                          expectedUpper, expectedLower);
        for (const simd::Kernels* table : simd::availableKernels()) {
            size_t upper = 7, lower = 7;
            table->utf8TallyBounds(bytes.constData(), size_t(bytes.size()), upper, lower);
            ASSERT_EQ(upper, expectedUpper) << table->name << " " << bytes.toHex(' ').toStdString();
            ASSERT_EQ(lower, expectedLower) << table->name << " " << bytes.toHex(' ').toStdString();
        }
    }
}

TEST(Simd, QuotesAndEndsAgree) {
    QRandomGenerator random(13);
    for (int round = 0; round < 2000; ++round) {
        const QByteArray bytes = randomBytes(random, 16, "\"\r\n=a\xD0\x22\x8d\x0a\xa2");
        unsigned quotes = 0, ends = 0, plainQuotes = 0, plainEnds = 0;
        simd::quotesAndEnds(bytes.constData(), quotes, ends);
        simd::scalar::quotesAndEnds(bytes.constData(), plainQuotes, plainEnds);
        ASSERT_EQ(quotes, plainQuotes) << bytes.toHex(' ').toStdString();
        ASSERT_EQ(ends, plainEnds) << bytes.toHex(' ').toStdString();
        for (int k = 0; k < 16; ++k) {
            ASSERT_EQ(bool(plainQuotes >> k & 1), bytes[k] == '"');
            ASSERT_EQ(bool(plainEnds >> k & 1), bytes[k] == '\r' || bytes[k] == '\n');
        }
    }
}

// The vector loops stop at the first byte that stops the plain loop, or
// earlier; never later, and what they wrote is what the plain loop writes.
TEST(Simd, AsciiRunsAgree) {
    QRandomGenerator random(9);
    const char* alphabet =
        "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa&<>\"\x01\x1f \x7f\x80\xef\xff\r\n\t";
    for (int round = 0; round < 2000; ++round) {
        const QByteArray bytes = randomBytes(random, random.bounded(100), alphabet);
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
        const auto size = static_cast<size_t>(bytes.size());
        const std::string what = bytes.toHex(' ').toStdString();

        const size_t ascii = simd::scalar::skipAscii(p, p + size) - p;
        EXPECT_EQ(size_t(simd::skipAscii(p, p + size) - p), ascii) << what;

        std::vector<uint8_t> copied(size + 16), expectedCopy(size + 16);
        const size_t copyCount = simd::copyAscii(p, size, copied.data());
        EXPECT_LE(copyCount, ascii) << what;
        EXPECT_EQ(simd::scalar::copyAscii(p, size, expectedCopy.data()), ascii) << what;
        EXPECT_TRUE(std::equal(copied.begin(), copied.begin() + copyCount, p)) << what;

        std::vector<char16_t> widened(size + 16);
        const size_t widenCount = simd::widenAscii(p, size, widened.data());
        EXPECT_LE(widenCount, ascii) << what;
        for (size_t k = 0; k < widenCount; ++k)
            EXPECT_EQ(widened[k], p[k]) << what;

        std::vector<char16_t> units(p, p + size);
        if (random.bounded(3) == 0 && size > 0)
            units[random.bounded(quint32(size))] = u'\x100'; // the high byte alone is not ASCII
        size_t unitsAscii = 0;
        while (unitsAscii < size && units[unitsAscii] < 0x80)
            ++unitsAscii;
        std::vector<uint8_t> narrowed(size + 16);
        const size_t narrowCount = simd::narrowAscii(units.data(), size, narrowed.data());
        EXPECT_LE(narrowCount, unitsAscii) << what;
        EXPECT_EQ(simd::scalar::narrowAscii(units.data(), size, narrowed.data() + 0), unitsAscii);
        for (size_t k = 0; k < narrowCount; ++k)
            EXPECT_EQ(narrowed[k], units[k]) << what;

        for (const bool quote : {false, true}) {
            const size_t from = size ? random.bounded(quint32(size)) : 0;
            const size_t plain = simd::scalar::skipXmlPlain(bytes.constData(), from, size, quote);
            const size_t vector = simd::skipXmlPlain(bytes.constData(), from, size, quote);
            EXPECT_GE(vector, from) << what;
            EXPECT_LE(vector, plain) << what;
            // Sixteen bytes or more from where it stopped, it stopped where
            // the plain loop does.
            if (size - vector >= 16) {
                EXPECT_EQ(vector, plain) << what << " quote " << quote;
            }

            const size_t m3uPlain =
                simd::scalar::skipM3uPlain(bytes.constData(), from, size, quote);
            const size_t m3uVector = simd::skipM3uPlain(bytes.constData(), from, size, quote);
            EXPECT_GE(m3uVector, from) << what;
            EXPECT_LE(m3uVector, m3uPlain) << what;
            if (size - m3uVector >= 16) {
                EXPECT_EQ(m3uVector, m3uPlain) << what << " quote " << quote;
            }
        }
    }
}

} // namespace
