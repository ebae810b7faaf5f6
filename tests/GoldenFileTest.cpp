// Every tests/data/<case>/expected/<target> must be exactly what
// dorvane-convert writes for that case's input.m3u (scripts/regen-golden
// rewrites them for review). The input is given as a file, or on standard
// input where the case holds a file named "from-stdin" (as for a pasted
// playlist, which has no file name).
#include "ConvertRunner.h"

#include "convert/TargetFormat.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct GoldenFile {
    QString caseDir;
    QString target;
};

void PrintTo(const GoldenFile& file, std::ostream* os) {
    *os << (QDir(file.caseDir).dirName() + QStringLiteral("/expected/") + file.target)
               .toStdString();
}

std::vector<GoldenFile> goldenFiles() {
    std::vector<GoldenFile> files;
    const QDir data(QStringLiteral(DORVANE_TEST_DATA));
    for (const QString& name : data.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir caseDir(data.filePath(name));
        if (!caseDir.exists(QStringLiteral("input.m3u")))
            continue;
        for (const QString& target :
             QDir(caseDir.filePath(QStringLiteral("expected"))).entryList(QDir::Files, QDir::Name))
            files.push_back({caseDir.path(), target});
    }
    return files;
}

// One output line as it can be read in a terminal: control characters (the
// line's own CR too) and the byte-order mark spelled out.
std::string shown(QByteArray line) {
    std::string text;
    if (line.startsWith("\xEF\xBB\xBF")) {
        text = "<BOM>";
        line.remove(0, 3);
    }
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (u < 0x20 || u == 0x7F)
            text += "\\x" + QByteArray(1, c).toHex().toStdString();
        else
            text += c;
    }
    return text;
}

// The first differing line with a little context on both sides.
std::string lineDiff(const QByteArray& expected, const QByteArray& actual) {
    const auto linesOf = [](const QByteArray& bytes) {
        QList<QByteArray> lines = bytes.split('\n');
        if (bytes.endsWith('\n'))
            lines.removeLast();
        return lines;
    };
    const QList<QByteArray> want = linesOf(expected);
    const QList<QByteArray> got = linesOf(actual);
    qsizetype first = 0;
    while (first < want.size() && first < got.size() && want[first] == got[first])
        ++first;
    std::string text;
    const auto add = [&](const char* mark, const QList<QByteArray>& lines, qsizetype from,
                         qsizetype to) {
        for (qsizetype k = from; k < std::min(to, lines.size()); ++k)
            text += std::string(mark) + std::to_string(k + 1) + ": " + shown(lines[k]) + "\n";
    };
    add("  ", want, std::max<qsizetype>(0, first - 2), first);
    add("- expected ", want, first, first + 4);
    add("+ actual   ", got, first, first + 4);
    return text;
}

std::string testName(const GoldenFile& file) {
    std::string name = (QDir(file.caseDir).dirName() + u'_' + file.target).toStdString();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

class GoldenFileTest : public testing::TestWithParam<GoldenFile> {};

TEST_P(GoldenFileTest, OutputMatchesExpectedBytes) {
    const GoldenFile& file = GetParam();
    const QString expectedPath = file.caseDir + QStringLiteral("/expected/") + file.target;
    const QString inputPath = file.caseDir + QStringLiteral("/input.m3u");
    const ConvertRun run =
        QFile::exists(file.caseDir + QStringLiteral("/from-stdin"))
            ? runConvert({QStringLiteral("--to"), file.target}, readFile(inputPath))
            : runConvert({QStringLiteral("--to"), file.target, inputPath});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    const QByteArray expected = readFile(expectedPath);
    EXPECT_TRUE(run.out == expected)
        << expectedPath.toStdString() << " differs from the output, first at the lines marked:\n"
        << lineDiff(expected, run.out);

    const dorvane::TargetFormat* format = dorvane::formatByCliName(file.target);
    ASSERT_NE(format, nullptr) << "no target is named " << file.target.toStdString();
    if (format->isXml()) {
        QXmlStreamReader xml(run.out);
        while (!xml.atEnd())
            xml.readNext();
        EXPECT_FALSE(xml.hasError()) << "not well-formed XML: " << xml.errorString().toStdString()
                                     << " at line " << xml.lineNumber();
    }
}

// Each converting target shows its lines on the worked example, and each
// XML target on the XML specials.
TEST(GoldenFiles, CoverEveryTarget) {
    const QDir data(QStringLiteral(DORVANE_TEST_DATA));
    for (const dorvane::TargetFormat* format : dorvane::allFormats()) {
        const QString name = format->cliName().toString();
        EXPECT_TRUE(data.exists(QStringLiteral("worked-example/expected/") + name))
            << name.toStdString();
        if (format->isXml()) {
            EXPECT_TRUE(data.exists(QStringLiteral("xml-escaping/expected/") + name))
                << name.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenFileTest, testing::ValuesIn(goldenFiles()),
                         [](const testing::TestParamInfo<GoldenFile>& info) {
                             return testName(info.param);
                         });

} // namespace
