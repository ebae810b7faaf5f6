#include "ConvertRunner.h"
#include "TestFiles.h"

#include "QtPrinters.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kData = QStringLiteral(DORVANE_TEST_DATA);

void writeFile(const QString& path, const QByteArray& bytes) {
    writeTestFile(path, bytes);
}

QProcessEnvironment withLocale(const QString& locale) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    return environment;
}

TEST(Cli, InformationOptionsPrintAndSucceed) {
    const ConvertRun help = runConvert({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: dorvane-convert --to TARGET")) << help.out.data();
    EXPECT_TRUE(help.out.contains("--codepage N")) << help.out.data();

    const ConvertRun version = runConvert({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("dorvane-convert ")) << version.out.data();

    const ConvertRun list = runConvert({"--list-targets"});
    EXPECT_EQ(list.exitCode, 0);
    // One line per target, in the window's member order: name, caption.
    const QList<QByteArray> lines = list.out.trimmed().split('\n');
    QByteArrayList listed;
    for (const QByteArray& line : lines)
        listed << line.simplified();
    QByteArrayList registered;
    for (const dorvane::TargetFormat* format : dorvane::allFormats())
        registered << (format->cliName().toString() + u' ' + format->caption().toString()).toUtf8();
    EXPECT_EQ(listed, registered);
    EXPECT_EQ(lines.value(3).simplified(), "openbox-sx OpenBox SX");
}

TEST(Cli, UsageErrorsExitWithTwo) {
    const QString input = kData + QStringLiteral("/worked-example/input.m3u");
    const QList<QStringList> cases{
        {},
        {input},
        {"--to"},
        {"--to", "nope", input},
        {"--to=PLS", input},
        {"--to", "pls", "--codepage", "1234", input},
        {"--to", "pls", "--codepage=abc", input},
        {"--to", "pls", "--codepage", " 1251", input},
        {"--to", "pls", "--codepage", "+1251", input},
        {"--to", "pls", input, input},
        {"--to", "pls", "--frobnicate", input},
        {"--to", "pls", input, "-o"},
        {"--to", "pls", "--from", "nope", input},
        {"--to", "pls", "--from"},
        {"--to", "pls", "--input-encoding", "ebcdic", input},
        {"--to", "nope", "--to", "pls", input}, // every value is checked, not just the last
        {"--to", "pls", "--quiet=yes", input},
        {"--to", "pls", "-qx", input},
    };
    for (const QStringList& arguments : cases) {
        const ConvertRun run = runConvert(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        // One line, naming the program and where to read more, once.
        EXPECT_TRUE(run.err.startsWith("dorvane-convert: ")) << run.err.data();
        EXPECT_TRUE(run.err.endsWith("(see \"dorvane-convert --help\")\n") ||
                    run.err.endsWith("(see --list-targets)\n") ||
                    run.err.endsWith("(see --list-formats)\n"))
            << run.err.data();
        EXPECT_EQ(run.err.count("(see "), 1) << run.err.data();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.data();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

// Every target's file is read back by its content, from a file or standard
// input, and written as that target again gives the same bytes.
TEST(Cli, EveryTargetsFileIsReadBackAndWrittenTheSame) {
    const QString dir = kData + QStringLiteral("/worked-example/expected/");
    for (const dorvane::TargetFormat* format : dorvane::allFormats()) {
        const QString name = format->cliName().toString();
        const QByteArray file = readFile(dir + name);
        const ConvertRun fromFile = runConvert({"-q", "-t", name, dir + name});
        EXPECT_EQ(fromFile.exitCode, 0) << name.toStdString() << fromFile.err.data();
        EXPECT_EQ(fromFile.out, file) << name.toStdString();
        const ConvertRun fromInput = runConvert({"-q", "-t", name}, file);
        EXPECT_EQ(fromInput.out, file) << name.toStdString() << fromInput.err.data();
    }
}

TEST(Cli, FromNamesTheReaderAndListFormatsListsThem) {
    // A Wizard HD list behind an M3U header is M3U by its content: no channel.
    const QByteArray list = "#EXTM3U\nOne,http://a/1\n";
    EXPECT_EQ(runConvert({"-t", "m3u"}, list).exitCode, 3);
    const ConvertRun forced = runConvert({"-q", "-t", "m3u", "--from", "wizard-hd"}, list);
    EXPECT_EQ(forced.exitCode, 0) << forced.err.data();
    EXPECT_EQ(forced.out, "#EXTM3U\r\n#EXTINF:-1,One\r\nhttp://a/1\r\n");

    const ConvertRun listed = runConvert({"--list-formats"});
    EXPECT_EQ(listed.exitCode, 0);
    const QList<QByteArray> lines = listed.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), qsizetype(dorvane::allFormats().size()));
    EXPECT_EQ(lines[3].simplified(), "openbox-sx OpenBox Feed");
}

TEST(Cli, AnotherFormatIsDecodedAsAnyInputAndItsNulReported) {
    // A PLS list in Windows-1251, and text after a 00 byte.
    const QByteArray pls = QByteArray("[playlist]\nFile1=http://a/1\nTitle1=") +
                           "\xCF\xE5\xF0\xE2\xFB\xE9" + "\nFile2=http://a/2\n" +
                           QByteArray(1, '\0') + "junk";
    const ConvertRun run = runConvert({"-t", "wizard-hd", "--codepage", "1251"}, pls);
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_EQ(run.out, "\xEF\xBB\xBF\xD0\x9F\xD0\xB5\xD1\x80\xD0\xB2\xD1\x8B\xD0\xB9,http://a/1\r\n"
                       "http://a/2,http://a/2\r\n");
    EXPECT_TRUE(run.err.contains("text after a NUL byte at offset")) << run.err.data();
}

TEST(Cli, InputEncodingReadsTheInputInTheEncodingNamed) {
    // KOI8-R, which the usual rules would read in the code page.
    const QByteArray koi8 = "#EXTM3U\n#EXTINF:-1,\xF0\xC5\xD2\xD7\xD9\xCA\nhttp://a/1\n";
    const ConvertRun run =
        runConvert({"-q", "-t", "wizard-hd", "--input-encoding", "koi8-r"}, koi8);
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_EQ(run.out,
              "\xEF\xBB\xBF\xD0\x9F\xD0\xB5\xD1\x80\xD0\xB2\xD1\x8B\xD0\xB9,http://a/1\r\n");
}

// Arguments of any bytes: QProcess would spell those that are not UTF-8 as
// "?". Each goes through the shell's printf as octal escapes.
ConvertRun runConvertBytes(const QList<QByteArray>& arguments) {
    QByteArray script;
    QByteArray call = "exec \"$0\"";
    for (qsizetype k = 0; k < arguments.size(); ++k) {
        const QByteArray name = "a" + QByteArray::number(k);
        QByteArray octal;
        for (const char c : arguments[k])
            octal +=
                '\\' + QByteArray::number(static_cast<unsigned char>(c), 8).rightJustified(3, '0');
        // The "x" keeps a line end at the end, which $( ) would drop.
        script += name + "=$(printf '" + octal + "x'); " + name + "=${" + name + "%x}\n";
        call += " \"$" + name + "\"";
    }
    return runConvert({"-c", QString::fromLatin1(script + call), convertProgram()}, {},
                      QProcessEnvironment::systemEnvironment(), QStringLiteral("/bin/sh"));
}

// Names a terminal would act on and names that are not UTF-8: a message
// stays one line, with such characters and bytes written as \xNN; and the
// smaller faults of how names are reported.
TEST(Cli, OddNamesAreReportedOnOneLine) {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    ASSERT_TRUE(QDir(dir.path()).mkdir("adir"));
    const QByteArray input = QFile::encodeName(kData + "/worked-example/input.m3u");
    const QByteArray missing = ". No such file or directory\n";
    const struct {
        QList<QByteArray> arguments;
        int exitCode;
        QByteArray message;
    } cases[] = {
        // No file has an empty name: not standard input.
        {{"-t", "pls", ""}, 1, "Cannot open file \"\"" + missing},
        {{"-t", "pls", base + "new\nline.m3u"},
         1,
         "Cannot open file \"" + base + "new\\x0Aline.m3u\"" + missing},
        {{"-t", "pls", base + "\x1b]0;pwned\a\xc2\x9b\x7f\xff.m3u"},
         1,
         "Cannot open file \"" + base + "\\x1B]0;pwned\\x07\\x9B\\x7F\\xFF.m3u\"" + missing},
        {{"-t", "pls", "-o", base + "cr\r.pls", "--", "-\n"},
         1,
         "Cannot open file \"" + QFile::encodeName(QDir::currentPath()) + "/-\\x0A\"" + missing},
        {{"-t", "pls", "-o", base + "adir/", input},
         1,
         "Cannot create file \"" + base + "adir/\". Is a directory\n"},
        {{"-t", "pls", "--group", "Nope", input},
         3,
         "The choice leaves no channel of the 2 in " + input + "\n"},
        {{"-t", "pls", "--match", "x", base + "\x1b.m3u"},
         1,
         "Cannot open file \"" + base + "\\x1B.m3u\"" + missing},
        {{"-t", "nope\n", input}, 2, "unknown target \"nope\\x0A\" (see --list-targets)\n"},
    };
    for (const auto& c : cases) {
        const ConvertRun run = runConvertBytes(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').data();
        EXPECT_EQ(run.err, "dorvane-convert: " + c.message);
        EXPECT_TRUE(run.out.isEmpty());
    }
}

qsizetype entryCount(const QByteArray& folder) {
    qsizetype count = 0;
    if (DIR* listing = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(listing))
            count += qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0;
        ::closedir(listing);
    }
    return count;
}

// -o writes where the system's open() would, through every kind of link,
// whatever the link's or its target's name is made of; the links stay.
TEST(Cli, OutputFollowsLinksByteForByte) {
    const QByteArray input = QFile::encodeName(kData + "/worked-example/input.m3u");
    const QByteArray expected = readFile(kData + "/worked-example/expected/pls");
    const struct {
        const char* why;
        QList<std::pair<QByteArray, QByteArray>> links; // name, target
        QByteArray file;                                // where the output lands
        bool exists;
    } cases[] = {
        {"the link's name not UTF-8", {{"l\xfe", "target"}}, "target", true},
        {"the target's name not UTF-8", {{"link", "t\xff"}}, "t\xff", true},
        {"a chain through one not UTF-8",
         {{"l1", "l\xfe"}, {"l\xfe", "sub/t\xff"}},
         "sub/t\xff",
         true},
        {"a link to nothing yet", {{"link", "new\xfd"}}, "new\xfd", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        QTemporaryDir dir;
        const QByteArray base = QFile::encodeName(dir.path()) + '/';
        ASSERT_EQ(::mkdir(base + "sub", 0755), 0);
        if (c.exists) {
            QFile old(QString::fromLatin1("%1/old").arg(dir.path()));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
            old.close();
            ASSERT_EQ(::rename(base + "old", base + c.file), 0);
        }
        for (const auto& [name, target] : c.links)
            ASSERT_EQ(::symlink(target.constData(), (base + name).constData()), 0);
        const ConvertRun run =
            runConvertBytes({"-q", "-t", "pls", "-o", base + c.links.first().first, input});
        EXPECT_EQ(run.exitCode, 0) << run.err.data();
        for (const auto& [name, target] : c.links) {
            struct stat st {};
            EXPECT_TRUE(::lstat(base + name, &st) == 0 && S_ISLNK(st.st_mode)) << name.data();
        }
        QFile written;
        const int fd = ::open(base + c.file, O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(written.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        EXPECT_EQ(written.readAll(), expected);
        // Nothing else: no file beside left, no name spelt with U+FFFD.
        // Listed and removed by hand: Qt spells such names with U+FFFD too.
        EXPECT_EQ(entryCount(base), c.links.size() + 1 + (c.file.startsWith("sub/") ? 0 : 1));
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), dir.path()});
    }
}

// A target read only as UTF-8 has no code-page form to ask for.
TEST(Cli, AnsiIsRefusedForTargetsAlwaysInUtf8) {
    const QString input = kData + QStringLiteral("/worked-example/input.m3u");
    for (const dorvane::TargetFormat* format : dorvane::allFormats()) {
        if (format->allowsAnsi())
            continue;
        const QString name = format->cliName().toString();
        SCOPED_TRACE(name.toStdString());
        const ConvertRun run = runConvert({"--to", name, "--ansi", input});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains("always written in UTF-8")) << run.err.data();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(runConvert({"--to", name, "--codepage", "1251", input}).exitCode, 0);
    }
}

TEST(Cli, FileErrorsExitWithOneAndTheWindowsMessage) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.m3u");
    const ConvertRun unreadable = runConvert({"--to", "pls", missing});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.err.startsWith("dorvane-convert: Cannot open file \"" +
                                          missing.toUtf8() + "\". "))
        << unreadable.err.data();
    EXPECT_TRUE(unreadable.out.isEmpty());

    const QString target = dir.filePath("no-such-folder/out.pls");
    const ConvertRun uncreatable =
        runConvert({"--to", "pls", "-o", target, kData + "/worked-example/input.m3u"});
    EXPECT_EQ(uncreatable.exitCode, 1);
    EXPECT_TRUE(uncreatable.err.startsWith("dorvane-convert: Cannot create file \"" +
                                           target.toUtf8() + "\". "))
        << uncreatable.err.data();
    EXPECT_TRUE(uncreatable.out.isEmpty());
}

TEST(Cli, AFileOverTheSizeLimitIsRefusedOnEveryPath) {
    // Sparse: 2 GB that take no room. Both the UTF-8 path and the one of
    // --ansi must refuse it as the window does, before reading it.
    QTemporaryDir dir;
    const QString huge = dir.filePath("huge.m3u");
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(2) << 30));
    file.close();
    for (const QStringList& arguments :
         {QStringList{"--to", "pls", huge}, QStringList{"--to", "pls", "--ansi", huge}}) {
        const ConvertRun run = runConvert(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.err.trimmed(),
                  "dorvane-convert: Cannot open file \"" + huge.toUtf8() + "\". File too large");
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(Cli, NoChannelsExitsWithThreeAndWritesNothing) {
    QTemporaryDir dir;
    const QString input = dir.filePath("empty.m3u");
    writeFile(input, "#EXTM3U\nhttp://no-name.example/1\n#EXTINF:-1,A\nnot an address\n");
    const QString output = dir.filePath("out.pls");

    const ConvertRun fromFile = runConvert({"--to", "pls", "-o", output, input});
    EXPECT_EQ(fromFile.exitCode, 3);
    EXPECT_EQ(fromFile.err, "dorvane-convert: No channels found in " + input.toUtf8() + "\n");
    EXPECT_FALSE(QFile::exists(output));

    const ConvertRun fromStdin = runConvert({"--to", "pls"}, readFile(input));
    EXPECT_EQ(fromStdin.exitCode, 3);
    EXPECT_EQ(fromStdin.err, "dorvane-convert: No channels found in standard input\n");
    EXPECT_TRUE(fromStdin.out.isEmpty());
}

TEST(Cli, ReadsStandardInputWithoutInputOrWithDash) {
    const QByteArray playlist = readFile(kData + "/worked-example/input.m3u");
    const QByteArray expected = readFile(kData + "/worked-example/expected/azbox");
    for (const QStringList& arguments : {QStringList{"--to", "azbox"}, {"--to", "azbox", "-"}}) {
        const ConvertRun run = runConvert(arguments, playlist);
        EXPECT_EQ(run.exitCode, 0) << run.err.data();
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, "dorvane-convert: 2 channels, 2 entries, azbox\n");
    }
}

TEST(Cli, SummaryCountsChannelsAndEntriesApart) {
    const struct {
        const char* target;
        const char* input;
        const char* summary;
    } cases[] = {
        {"pls", "/two-addresses/input.m3u", "dorvane-convert: 1 channel, 2 entries, pls\n"},
        {"pls", "/empty-name/input.m3u", "dorvane-convert: 1 channel, 0 entries, pls\n"},
        {"m3u8", "/two-addresses/input.m3u", "dorvane-convert: 1 channel, 1 entry, m3u8\n"},
    };
    for (const auto& c : cases) {
        const ConvertRun run = runConvert({"--to", c.target, kData + c.input});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, c.summary);
    }
}

// What a target cannot carry is left out and said, once, as a warning; the
// byte way (UTF-8) and the text way (a code page) leave out the same.
TEST(Cli, ChannelsATargetCannotCarryAreLeftOutAndCounted) {
    const QByteArray input = "#EXTM3U\n#EXTINF:-1,A\nhttp://a/][x\n#EXTINF:-1,B\nhttp://b/][y\n"
                             "#EXTINF:-1,C\nhttp://c\n";
    for (const QByteArray& bytes : {input, input + "#EXTINF:-1,\xC0\nhttp://d\n"}) {
        const ConvertRun run = runConvert({"--to", "u2c-radio", "-"}, bytes);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.err.contains("dorvane-convert: 2 channels left out: u2c-radio cannot "
                                     "hold their name or address"))
            << run.err.data();
        EXPECT_TRUE(run.out.contains("[0][C][http://c]")) << run.out.data();
        EXPECT_FALSE(run.out.contains("][x")) << run.out.data();
    }
}

// The spellings of the options a shell user expects, and "-o -".
TEST(Cli, ShortLongAndDashSpellingsMeanTheSame) {
    const QString input = kData + QStringLiteral("/worked-example/input.m3u");
    const QByteArray expected = readFile(kData + "/worked-example/expected/pls");
    const QList<QStringList> cases{
        {"--to", "pls", input},
        {"-t", "pls", input},
        {"-tpls", input},
        {"--to=pls", "-o", "-", input},
        {"-t", "pls", "--output=-", input},
        {"-t", "pls", "-o-", input},
    };
    for (const QStringList& arguments : cases) {
        const ConvertRun run = runConvert(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments.join(' ').toStdString() << run.err.data();
        EXPECT_EQ(run.out, expected) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.err, "dorvane-convert: 2 channels, 2 entries, pls\n");
    }

    // Only "-" itself is standard output; any other name is a file.
    QTemporaryDir dir;
    const QString dash = dir.filePath("-");
    const ConvertRun toFile = runConvert({"-t", "pls", "-o", dash, input});
    EXPECT_TRUE(toFile.out.isEmpty());
    EXPECT_EQ(readFile(dash), expected);
}

TEST(Cli, QuietSilencesTheSummaryOnly) {
    const QString input = kData + QStringLiteral("/worked-example/input.m3u");
    for (const char* quiet : {"-q", "--quiet"}) {
        const ConvertRun run = runConvert({quiet, "-t", "pls", input});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, readFile(kData + "/worked-example/expected/pls"));
        EXPECT_TRUE(run.err.isEmpty()) << run.err.data();
    }
    // Errors and warnings still speak.
    const ConvertRun missing = runConvert({"-q", "-t", "pls", kData + "/no-such.m3u"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.startsWith("dorvane-convert: Cannot open file")) << missing.err.data();
}

// Every way the input is read (a UTF-8 file, UTF-8 on standard input,
// UTF-16) encodes into the code page its own way; each counts what it had
// to replace. "é" has a stand-in ("e") but is replaced all the same.
TEST(Cli, AnsiWarnsOfReplacedCharactersAndStillSucceeds) {
    const QString name = u"Канал 中文 \U0001F600 é"_s;
    const QString playlist = u"#EXTINF:-1,"_s + name + u"\r\nhttp://a/1\r\n"_s;
    QByteArray utf16("\xFF\xFE");
    for (const QChar c : playlist)
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTemporaryDir dir;
    const QString file = dir.filePath("list.m3u");
    writeFile(file, playlist.toUtf8());
    const QByteArray expected = "\xCA\xE0\xED\xE0\xEB ?? ? e,http://a/1\r\n";
    const QByteArray warning =
        "dorvane-convert: 4 characters could not be written in code page 1251 and were "
        "replaced\n";

    const QStringList ansi = {"-t", "wizard-hd", "--ansi", "--codepage", "1251"};
    const struct {
        const char* way;
        QStringList arguments;
        QByteArray input;
    } cases[] = {
        {"file", ansi + QStringList{file}, {}},
        {"standard input", ansi, playlist.toUtf8()},
        {"UTF-16", ansi, utf16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        const ConvertRun run = runConvert(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, warning + "dorvane-convert: 1 channel, 1 entry, wizard-hd\n");
        EXPECT_EQ(runConvert(c.arguments + QStringList{"-q"}, c.input).err, warning);
    }

    // Nothing to say when the code page has every character, or in UTF-8.
    EXPECT_EQ(runConvert(ansi, "#EXTINF:-1,Канал\nhttp://a/1\n").err,
              "dorvane-convert: 1 channel, 1 entry, wizard-hd\n");
    EXPECT_EQ(runConvert({"-q", "-t", "wizard-hd", file}).err, "");
}

TEST(Cli, OutputFileIsReplacedWhole) {
    QTemporaryDir dir;
    const QString output = dir.filePath("out.pls");
    writeFile(output, QByteArray(4096, 'x'));
    const ConvertRun run =
        runConvert({"--to", "pls", "-o", output, kData + "/worked-example/input.m3u"});
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(readFile(output), readFile(kData + "/worked-example/expected/pls"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.pls"});
}

// --no-bom leaves out only the three bytes of the mark, whichever way the
// input goes (UTF-8 directly, a code page, UTF-16, a choice); --bom puts
// them in front of M3U8, which goes without by default; a target that
// writes no mark is unchanged.
TEST(Cli, BomAndNoBomChangeOnlyTheMark) {
    const QString playlist =
        u"#EXTM3U\n#EXTINF:-1,Канал\nhttp://a/1\n#EXTINF:-1,Два\nhttp://a/1\n"_s;
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(playlist.utf16()), playlist.size() * 2);
    const struct {
        const char* name;
        QByteArray input;
        QStringList options;
    } cases[] = {
        {"utf-8", playlist.toUtf8(), {}},
        {"1251", dorvane::TEncoding::ansi(1251)->GetBytes(playlist), {"--codepage=1251"}},
        {"utf-16", utf16, {}},
        {"chosen", playlist.toUtf8(), {"--dedupe"}},
    };
    for (const auto& c : cases) {
        for (const char* target : {"pls", "m3u8", "xspf"}) {
            SCOPED_TRACE(std::string(c.name) + " " + target);
            const bool m3u = QByteArrayView(target) == "m3u8";
            const ConvertRun byDefault =
                runConvert(QStringList{"--to", target} + c.options, c.input);
            const ConvertRun marked =
                runConvert(QStringList{"--to", target, "--bom"} + c.options, c.input);
            const ConvertRun bare =
                runConvert(QStringList{"--to", target, "--no-bom"} + c.options, c.input);
            EXPECT_EQ(bare.exitCode, 0) << bare.err.data();
            EXPECT_EQ(marked.exitCode, 0) << marked.err.data();
            ASSERT_TRUE(marked.out.startsWith("\xEF\xBB\xBF"));
            EXPECT_EQ(bare.out, marked.out.sliced(3));
            EXPECT_EQ(byDefault.out, m3u ? bare.out : marked.out);
        }
    }
    for (const char* option : {"--bom", "--no-bom"})
        EXPECT_EQ(runConvert({"--to", "enigma2", option}, playlist.toUtf8()).out,
                  runConvert({"--to", "enigma2"}, playlist.toUtf8()).out);
}

// The bouquet's service type and name are the user's, and a recipe keeps
// them.
TEST(Cli, Enigma2TypeAndBouquetNameAreTheUsers) {
    const QByteArray playlist = "#EXTM3U\n#EXTINF:-1,A\nhttp://a/1\n";
    const ConvertRun run = runConvert(
        {"-q", "--to", "enigma2", "--enigma2-type", "5001", "--bouquet-name", "My TV"}, playlist);
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_EQ(run.out, "#NAME My TV\n#SERVICE 5001:0:1:0:0:0:0:0:0:0:http%3a//a/1:A\n"
                       "#DESCRIPTION A\n");
    EXPECT_EQ(runConvert({"--to", "enigma2", "--enigma2-type", "1"}, playlist).exitCode, 2);

    QTemporaryDir dir;
    const QString input = dir.filePath("list.m3u");
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(playlist);
    file.close();
    const QString recipe = dir.filePath("r.json");
    const ConvertRun saved =
        runConvert({"--save-recipe", recipe, "--to", "enigma2", "--enigma2-type", "5002",
                    "--bouquet-name", "Kept", input});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.data();
    const ConvertRun again = runConvert({"-q", "--recipe", recipe, "-o", "-"});
    EXPECT_EQ(again.out, "#NAME Kept\n#SERVICE 5002:0:1:0:0:0:0:0:0:0:http%3a//a/1:A\n"
                         "#DESCRIPTION A\n")
        << again.err.data();
}

// A target that cannot hold a channel's headers or logo still writes the
// list, and says so once.
TEST(Cli, SaysHowManyChannelsLostHeadersAndLogos) {
    const QByteArray playlist = "#EXTM3U\n"
                                "#EXTINF:-1 tvg-logo=\"http://l/a.png\",A\n"
                                "#EXTVLCOPT:http-referrer=http://r/\nhttp://a/1\n"
                                "#EXTINF:-1 user-agent=\"UA\",B\nhttp://a/2\n"
                                "#EXTINF:-1,C\nhttp://a/3|User-Agent=x\n"
                                "#EXTINF:-1 tvg-logo=\"\",D\nhttp://a/4\n";
    const ConvertRun pls = runConvert({"--to", "pls"}, playlist);
    EXPECT_EQ(pls.exitCode, 0);
    EXPECT_TRUE(pls.out.contains("File3=http://a/3|User-Agent=x"));
    EXPECT_EQ(pls.err, "dorvane-convert: 3 channels lost their headers: PLS cannot hold them\n"
                       "dorvane-convert: 1 channel lost their logos: PLS cannot hold them\n"
                       "dorvane-convert: 4 channels, 4 entries, pls\n");
    EXPECT_EQ(runConvert({"--to", "xspf"}, playlist).err,
              "dorvane-convert: 4 channels, 4 entries, xspf\n");
    EXPECT_EQ(runConvert({"--to", "enigma2"}, "#EXTINF:-1 user-agent=\"a&b\",A\nhttp://a/1\n").err,
              "dorvane-convert: 1 channel lost their headers: Enigma2 Bouquet cannot hold them\n"
              "dorvane-convert: 1 channel, 1 entry, enigma2\n");
}

// A file:// INPUT is that file, percent-encoded, with an empty host or
// "localhost"; another host's file is refused.
TEST(Cli, FileAddressInputIsThatFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"мой список.m3u"_s);
    writeFile(path, readFile(kData + "/worked-example/input.m3u"));
    const QString address = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    ASSERT_TRUE(address.contains(u"%20"_s));
    for (const QString& input : {address, u"file://localhost"_s + address.mid(7)}) {
        SCOPED_TRACE(input.toStdString());
        const ConvertRun run = runConvert({"--to", "pls", input});
        EXPECT_EQ(run.exitCode, 0) << run.err.data();
        EXPECT_EQ(run.out, readFile(kData + "/worked-example/expected/pls"));
    }
    const ConvertRun remote = runConvert({"--to", "pls", "file://elsewhere/list.m3u"});
    EXPECT_EQ(remote.exitCode, 1);
    EXPECT_EQ(remote.err, "dorvane-convert: Cannot open URL \"file://elsewhere/list.m3u\". Only "
                          "files on this computer can be opened, not on elsewhere\n");
}

TEST(Cli, AnsiOutputUsesTheChosenOrTheLocalesCodePage) {
    const QByteArray playlist = "#EXTINF:-1,Канал\nhttp://a/1\n";
    const QByteArray cp1251 = "\xCA\xE0\xED\xE0\xEB,http://a/1\r\n";

    const ConvertRun chosen = runConvert({"--to", "wizard-hd", "--ansi", "--codepage", "1251"},
                                         playlist, withLocale("C.UTF-8"));
    EXPECT_EQ(chosen.exitCode, 0) << chosen.err.data();
    EXPECT_EQ(chosen.out, cp1251);

    const ConvertRun locale =
        runConvert({"--to", "wizard-hd", "--ansi"}, playlist, withLocale("ru_RU.UTF-8"));
    EXPECT_EQ(locale.out, cp1251);
}

TEST(Cli, InputThatIsNotUtf8IsReadInTheAnsiCodePage) {
    const QByteArray playlist = "#EXTINF:-1,\xCA\xE0\xED\xE0\xEB\nhttp://a/1\n";
    const QByteArray utf8 = "\xEF\xBB\xBF\xD0\x9A\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB,http://a/1\r\n";

    const ConvertRun chosen =
        runConvert({"--to", "wizard-hd", "--codepage=1251"}, playlist, withLocale("C.UTF-8"));
    EXPECT_EQ(chosen.exitCode, 0) << chosen.err.data();
    EXPECT_EQ(chosen.out, utf8);

    const ConvertRun locale =
        runConvert({"--to", "wizard-hd"}, playlist, withLocale("ru_RU.UTF-8"));
    EXPECT_EQ(locale.out, utf8);
}

TEST(Cli, InputWithAUtf16ByteOrderMarkIsReadAsUtf16) {
    const QString playlist = QStringLiteral("#EXTINF:-1,Канал\r\nhttp://a/1\r\n");
    QByteArray littleEndian("\xFF\xFE");
    for (const QChar c : playlist)
        littleEndian.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    const ConvertRun run = runConvert({"--to", "wizard-hd"}, littleEndian);
    EXPECT_EQ(run.exitCode, 0) << run.err.data();
    EXPECT_EQ(run.out, "\xEF\xBB\xBF\xD0\x9A\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB,http://a/1\r\n");
}

// Big playlists are read a piece at a time; channels that straddle two
// pieces, line ends, the choice between UTF-8 and the code page and the end of
// the text at a U+0000 must come out as they do for the whole.
struct BigPlaylist {
    QByteArray input;
    QByteArray wizardHd; // the expected output
};

BigPlaylist bigPlaylist(int channels, const QByteArray& firstName, const QByteArray& firstNameOut,
                        int nulAfter = -1) {
    BigPlaylist playlist;
    playlist.wizardHd = "\xEF\xBB\xBF";
    for (int n = 0; n < channels; ++n) {
        const QByteArray number = QByteArray::number(n);
        const QByteArray name = n == 0 ? firstName : "Channel, no. " + number;
        const QByteArray url = "http://host.example/" + number + "?a=1&b=2";
        playlist.input += "#EXTINF:-1 tvg-name=\"A, " + number + "\"," + name + "\r\n";
        playlist.input += "#EXTGRP:Group\r\n" + url + "\r\n";
        if (n == nulAfter)
            playlist.input += QByteArray("after the end\0", 14);
        if (nulAfter < 0 || n <= nulAfter)
            playlist.wizardHd += (n == 0 ? firstNameOut : name) + "," + url + "\r\n";
    }
    return playlist;
}

TEST(Cli, BigPlaylistsConvertAsAWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("big.m3u");

    // About 5 MB: several pieces. The file is mapped, standard input read.
    const BigPlaylist utf8 = bigPlaylist(60000, "Канал", "Канал");
    writeFile(path, utf8.input);
    const ConvertRun fromFile = runConvert({"--to", "wizard-hd", path});
    EXPECT_EQ(fromFile.err, "dorvane-convert: 60000 channels, 60000 entries, wizard-hd\n");
    EXPECT_TRUE(fromFile.out == utf8.wizardHd);
    const ConvertRun fromStdin = runConvert({"--to", "wizard-hd"}, utf8.input);
    EXPECT_TRUE(fromStdin.out == utf8.wizardHd);

    // Well-formed UTF-8 at the start ("Ж" is D0 96), a U+0000 further on, and
    // after it a byte that is not UTF-8: the whole is read in Windows-1251 (D0
    // 96 is "Р–") and ends at the U+0000.
    BigPlaylist late = bigPlaylist(60000, "Ж", "Р–", 40000);
    late.input += "#EXTINF:-1,\xFF\r\nhttp://late.example/\r\n";
    writeFile(path, late.input);
    const ConvertRun notUtf8 = runConvert({"--to", "wizard-hd", "--codepage", "1251", path});
    const qsizetype nul = late.input.indexOf('\0');
    EXPECT_EQ(notUtf8.err, "dorvane-convert: text after a NUL byte at offset " +
                               QByteArray::number(nul) +
                               " was ignored\ndorvane-convert: 40001 channels, 40001 entries, "
                               "wizard-hd\n");
    EXPECT_TRUE(notUtf8.out == late.wizardHd);

    // The same two in the code page: the UTF-8 file is encoded piece by
    // piece, the other read again from the start.
    const auto inCodePage = [](const QByteArray& utf8Output) {
        return dorvane::TEncoding::ansi(1251)->GetBytes(QString::fromUtf8(utf8Output.sliced(3)));
    };
    const QStringList ansi = {"--to", "wizard-hd", "--ansi", "--codepage", "1251", path};
    EXPECT_TRUE(runConvert(ansi).out == inCodePage(late.wizardHd));
    writeFile(path, utf8.input);
    EXPECT_TRUE(runConvert(ansi).out == inCodePage(utf8.wizardHd));
}

} // namespace
