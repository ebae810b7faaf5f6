// The desktop program's command line: what it asks for, the playlist it
// opens at start, and help and version answered without a display.
#include "WindowFixture.h"

#include "app/Application.h"

#include <QProcess>

#include <unistd.h>

using namespace dorvane;
using namespace dorvane::testing;
using namespace Qt::StringLiterals;

namespace {

TEST(StartArguments, Table) {
    using Action = StartArguments::Action;
    const struct {
        QStringList arguments;
        Action action;
        QString file;
    } cases[] = {
        {{}, Action::Run, {}},
        {{u"list.m3u"_s}, Action::Run, u"list.m3u"_s},
        {{u"--"_s, u"-odd name.m3u"_s}, Action::Run, u"-odd name.m3u"_s},
        {{u"-"_s}, Action::Run, u"-"_s},
        {{u"--help"_s}, Action::Help, {}},
        {{u"-h"_s}, Action::Help, {}},
        {{u"list.m3u"_s, u"--version"_s}, Action::Version, {}},
        // Answered wherever they stand, whatever else is wrong.
        {{u"--nope"_s, u"--help"_s}, Action::Help, {}},
        {{u"--"_s, u"--help"_s}, Action::Run, u"--help"_s},
        {{u"--nope"_s}, Action::UsageError, {}},
        {{u"a.m3u"_s, u"b.m3u"_s}, Action::UsageError, {}},
        {{QString()}, Action::UsageError, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const StartArguments start = parseStartArguments(c.arguments);
        EXPECT_EQ(start.action, c.action);
        EXPECT_EQ(start.file, c.file);
        EXPECT_EQ(start.error.isEmpty(), c.action != Action::UsageError);
    }
}

// Help and version print and end before a window or a display is needed: a
// platform that cannot start (xcb without a display) must not be touched.
TEST(StartArguments, HelpAndVersionNeedNoDisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    const struct {
        QString argument;
        QByteArray output;
    } cases[] = {
        {u"--help"_s, "Usage: dorvane [FILE | ADDRESS]\n"},
        {u"--version"_s, "dorvane "},
    };
    for (const auto& c : cases) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(DORVANE_BINARY_DIR "/app/dorvane"), {c.argument});
        ASSERT_TRUE(process.waitForFinished(30000)) << c.argument.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_TRUE(process.readAllStandardOutput().startsWith(c.output));
    }

    // An unknown option is refused before any window opens.
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DORVANE_BINARY_DIR "/app/dorvane"), {u"--nope"_s});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("dorvane: unknown option \"--nope\""));
}

// Whether a display is there is judged before Qt is asked, from the
// platform that would be loaded; the platforms that need none always start.
TEST(StartArguments, MissingDisplayTable) {
    const struct {
        const char16_t* platformArgument;
        const char16_t* qpaPlatform;
        const char16_t* display;
        const char16_t* waylandDisplay;
        bool missing;
    } cases[] = {
        {u"", u"", u"", u"", true},
        {u"", u"", u":0", u"", false},
        {u"", u"", u"", u"wayland-1", false},
        {u"", u"xcb", u"", u"wayland-1", true},
        {u"", u"wayland", u":0", u"", true},
        {u"", u"wayland;xcb", u":0", u"", false},
        {u"", u"xcb:nograb", u":1", u"", false},
        {u"", u"offscreen", u"", u"", false},
        {u"vnc", u"xcb", u"", u"", false},
        {u"xcb", u"offscreen", u"", u"", true},
    };
    for (const auto& c : cases) {
        DisplayEnvironment environment;
        environment.platformArgument = QString::fromUtf16(c.platformArgument);
        environment.qpaPlatform = QString::fromUtf16(c.qpaPlatform);
        environment.display = QString::fromUtf16(c.display);
        environment.waylandDisplay = QString::fromUtf16(c.waylandDisplay);
        SCOPED_TRACE((environment.platformArgument + u'|' + environment.qpaPlatform + u'|' +
                      environment.display + u'|' + environment.waylandDisplay)
                         .toStdString());
        EXPECT_EQ(!missingDisplay(environment).isEmpty(), c.missing);
    }
}

// Without a display the program says so in one line and ends with 1, whether
// the environment already tells or Qt finds out (a display nobody serves).
TEST(StartArguments, WithoutADisplayOneLineAndStatusOne) {
    const QString missingServer = u":%1"_s.arg(900 + ::getpid() % 90);
    const struct {
        const char* platform;
        QString display;
    } cases[] = {{nullptr, {}}, {"xcb", missingServer}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display.toStdString());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"QT_QPA_PLATFORM"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"XDG_RUNTIME_DIR"_s);
        environment.remove(u"DISPLAY"_s);
        if (c.platform)
            environment.insert(u"QT_QPA_PLATFORM"_s, QString::fromLatin1(c.platform));
        if (!c.display.isEmpty())
            environment.insert(u"DISPLAY"_s, c.display);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(DORVANE_BINARY_DIR "/app/dorvane"), {u"list.m3u"_s});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        const QByteArray said = process.readAllStandardError();
        EXPECT_TRUE(said.startsWith("dorvane: cannot connect to the display: ")) << said.data();
        EXPECT_EQ(said.count('\n'), 1) << said.data();
        EXPECT_TRUE(said.endsWith('\n'));
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    }
}

class StartFileTest : public WindowTest {};

// `dorvane FILE` under the target the window starts with, and a file that
// is not there: the error box, as for Open.
TEST_F(StartFileTest, OpensTheFileAsOpenDoes) {
    const QString path = writeFile(u"start.m3u"_s, playlist(4).toUtf8());
    openStartFile(*form, path);
    EXPECT_EQ(shown(), joined(playlist(4)));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"4 канала"_s);
    EXPECT_TRUE(child(u"sButton1"_s)->isEnabled());
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    const QString missing = path + u".gone"_s;
    openStartFile(*form, missing);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text,
              u"Cannot open file \"%1\". No such file or directory."_s.arg(missing));
    EXPECT_EQ(MessageBox::shown()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(shown(), joined(playlist(4)));
}

// The target and the text agree for a file argument too, and what Save
// writes is the target's text under the target's name.
TEST_F(StartFileTest, UnderWebTVSaveWritesTheWebTVText) {
    pastePlaylist(playlist(2));
    click(radio(TTargetKind::tkWebTV));
    ASSERT_TRUE(waitForRunEnd());

    const QString next = playlist(3, u"Next"_s);
    openStartFile(*form, writeFile(u"next.m3u"_s, next.toUtf8()));
    ASSERT_TRUE(waitForRunEnd());
    const QString webtv = convertedText(TTargetKind::tkWebTV, next);
    EXPECT_EQ(shown(), webtv);

    const QString file = writeFile(u"webtv_usr.xml"_s, {});
    MessageBox::setNextAnswer(QMessageBox::Yes); // replace the empty file
    FileDialog::setNextFileName(file);
    click(child(u"sButton1"_s));
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_EQ(bytes, "\xEF\xBB\xBF" + webtv.toUtf8());
    EXPECT_FALSE(bytes.contains("#EXTM3U"));
}

} // namespace
