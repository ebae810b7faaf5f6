// The documents list the targets the registry holds: the README's table of
// targets is exactly the one written here from the registry, and the
// benchmarks' README has a row for each converting target.
#include "convert/TargetFormat.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace dorvane;

namespace {

QString documentText(const char* path) {
    QFile file(QStringLiteral(DORVANE_TEST_DATA "/../../") + QLatin1String(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(file.readAll());
}

QString writtenIn(const TargetFormat& format) {
    if (format.allowsAnsi())
        return QStringLiteral("UTF-8 with BOM, or ANSI");
    return format.utf8ByteOrderMark() ? QStringLiteral("UTF-8 with BOM") : QStringLiteral("UTF-8");
}

QString targetTable() {
    QString table =
        QStringLiteral("| Window caption | `--to` | Extension | Written in | Line end |\n"
                       "|---|---|---|---|---|\n");
    for (const TargetFormat* format : allFormats())
        table +=
            QStringLiteral("| %1 | `%2` | %3 | %4 | %5 |\n")
                .arg(format->caption(), format->cliName(), format->extension(), writtenIn(*format),
                     format->lineEnd() == LineEnd::Lf ? QStringLiteral("LF")
                                                      : QStringLiteral("CR LF"));
    return table;
}

TEST(Docs, ReadmeTableOfTargetsIsTheRegistry) {
    const QString readme = documentText("README.md");
    const QString begin = QStringLiteral("<!-- targets: begin -->\n");
    const qsizetype from = readme.indexOf(begin);
    const qsizetype to = readme.indexOf(QStringLiteral("<!-- targets: end -->"));
    ASSERT_TRUE(from >= 0 && to > from) << "README.md has lost its table markers";
    EXPECT_EQ(readme.sliced(from + begin.size(), to - from - begin.size()), targetTable())
        << "Put this table between the markers in README.md:\n"
        << targetTable().toStdString();
}

TEST(Docs, BenchmarksMeasureEveryConvertingTarget) {
    const QString bench = documentText("bench/README.md");
    for (const TargetFormat* format : allFormats()) {
        if (!format->converts())
            continue;
        EXPECT_TRUE(bench.contains(QStringLiteral("\n| %1 | ").arg(format->caption())))
            << "bench/README.md has no row for " << format->caption().toString().toStdString();
    }
}

} // namespace
