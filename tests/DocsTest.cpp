// The documents list the targets the registry holds: the README's table of
// targets is exactly the one written here from the registry, and the
// benchmarks' README has a row for each converting target.
#include "convert/TargetFormat.h"
#include "source/PlaylistReader.h"

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
    const QString utf8 = format.utf8ByteOrderMarkByDefault() ? QStringLiteral("UTF-8 with BOM")
                                                             : QStringLiteral("UTF-8");
    return format.allowsAnsi() ? utf8 + QStringLiteral(", or ANSI") : utf8;
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

QString readerTable() {
    QString table = QStringLiteral("| Reader | `--from` | Extensions |\n|---|---|---|\n");
    for (const PlaylistReader* reader : allReaders()) {
        QStringList names, extensions;
        for (const QString& name : reader->formats())
            names += u'`' + name + u'`';
        for (const QString& extension : reader->extensions())
            extensions += u'.' + extension;
        table += QStringLiteral("| %1 | %2 | %3 |\n")
                     .arg(reader->caption(), names.join(u", "), extensions.join(u", "));
    }
    return table;
}

// The text between README.md's markers "<!-- NAME: begin -->" and "end".
void expectReadmeTable(const char* name, const QString& table) {
    const QString readme = documentText("README.md");
    const QString begin = QStringLiteral("<!-- %1: begin -->\n").arg(QLatin1String(name));
    const qsizetype from = readme.indexOf(begin);
    const qsizetype to =
        readme.indexOf(QStringLiteral("<!-- %1: end -->").arg(QLatin1String(name)));
    ASSERT_TRUE(from >= 0 && to > from) << "README.md has lost its table markers for " << name;
    EXPECT_EQ(readme.sliced(from + begin.size(), to - from - begin.size()), table)
        << "Put this table between the markers in README.md:\n"
        << table.toStdString();
}

TEST(Docs, ReadmeTablesAreTheRegistries) {
    expectReadmeTable("targets", targetTable());
    expectReadmeTable("formats", readerTable());
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
