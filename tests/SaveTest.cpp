// Save and Copy as the window does them: names, extensions, bytes, the
// question before a file is replaced, and failures that must not cost the
// user a file.
#include "SaveFixture.h"

#include "convert/HandOff.h"

#include <QDir>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace dorvane;
using namespace dorvane::testing;
using namespace Qt::StringLiterals;

namespace {

const QString kSource = u"#EXTM3U\r\n#EXTINF:-1,канал é\r\nhttp://a.b/1\r\n"_s;

TEST_F(SaveTest, BothEncodingsWriteTheTextAreaByteExact) {
    pastePlaylist(kSource);
    const struct {
        bool utf8;
        QByteArray bytes;
    } cases[] = {
        // M3U goes without a byte-order mark, which players misread.
        {true, "#EXTM3U\r\n#EXTINF:-1,\xD0\xBA\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB "
               "\xC3\xA9\r\nhttp://a.b/1\r\n"},
        // The C locale's code page is Windows-1252: no Cyrillic, no preamble.
        {false, "#EXTM3U\r\n#EXTINF:-1,????? \xE9\r\nhttp://a.b/1\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        const QString file = folder(c.utf8 ? u"utf8"_s : u"ansi"_s) + u"/list.m3u"_s;
        child<QCheckBox>(u"sCheckBox1"_s)->setChecked(c.utf8);
        if (!c.utf8) // agreeing to the "?"s (see the next test)
            MessageBox::setNextAnswer(QMessageBox::Yes);
        save(file);
        EXPECT_EQ(bytesOf(file), c.bytes);
    }
}

// The code page lacks the Cyrillic letters: saving in it asks first, and
// writes nothing unless the user agrees. UTF-8, a text the code page holds
// whole, and copying (the clipboard holds Unicode) ask nothing.
TEST_F(SaveTest, SavingInTheCodePageAsksBeforeReplacingCharacters) {
    pastePlaylist(kSource);
    child<QCheckBox>(u"sCheckBox1"_s)->setChecked(false);
    const QString dir = folder(u"ansi"_s);
    save(dir + u"/list.m3u"_s); // the question is left to its default
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const MessageBox::Shown& box = MessageBox::shown()[0];
    // "é" is in Windows-1252; the five letters of "канал" are not.
    EXPECT_EQ(box.text, u"5 символов нельзя записать в кодовой странице 1252, они будут заменены. "
                        u"Сохранить?"_s);
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.caption, applicationTitle());
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(filesIn(dir).isEmpty()) << "the default answer must be No";

    MessageBox::setNextAnswer(QMessageBox::No);
    save(dir + u"/list.m3u"_s);
    EXPECT_TRUE(filesIn(dir).isEmpty());
    MessageBox::setNextAnswer(QMessageBox::Yes);
    save(dir + u"/list.m3u"_s);
    EXPECT_EQ(bytesOf(dir + u"/list.m3u"_s),
              "#EXTM3U\r\n#EXTINF:-1,????? \xE9\r\nhttp://a.b/1\r\n");
    ASSERT_EQ(MessageBox::shown().size(), 3);

    clipboard().clear();
    click(child(u"sButton3"_s));
    EXPECT_EQ(clipboard().text(), joined(kSource));
    child<QCheckBox>(u"sCheckBox1"_s)->setChecked(true);
    save(folder(u"utf8"_s) + u"/list.m3u"_s);
    EXPECT_EQ(filesIn(folder(u"utf8"_s)), QStringList{u"list.m3u"_s});

    pastePlaylist(u"#EXTM3U\r\n#EXTINF:-1,Café ü\r\nhttp://a.b/1\r\n"_s);
    child<QCheckBox>(u"sCheckBox1"_s)->setChecked(false);
    save(folder(u"fits"_s) + u"/list.m3u"_s);
    EXPECT_EQ(bytesOf(folder(u"fits"_s) + u"/list.m3u"_s),
              "#EXTM3U\r\n#EXTINF:-1,Caf\xE9 \xFC\r\nhttp://a.b/1\r\n");
    EXPECT_EQ(MessageBox::shown().size(), 3);
}

// File > Code Page chooses what Save writes without UTF-8, and the question
// names it; File > Byte-order Mark shows whether UTF-8 starts with EF BB BF:
// by default where the target writes it (not M3U), once set by the user
// wherever a target may have it (never a bouquet).
TEST_F(SaveTest, CodePageAndByteOrderMarkAreTheUsers) {
    pastePlaylist(kSource);
    auto* box = child<QCheckBox>(u"sCheckBox1"_s);
    EXPECT_TRUE(item("CodePage1252")->isChecked()) << "the system's, as the locale names it";
    EXPECT_FALSE(item("ByteOrderMark1")->isChecked()) << "M3U goes without";

    item("CodePage1251")->trigger();
    EXPECT_FALSE(item("CodePage1252")->isChecked());
    box->setChecked(false);
    MessageBox::setNextAnswer(QMessageBox::Yes); // "é" becomes "e"
    save(folder(u"1251"_s) + u"/list.m3u"_s);
    EXPECT_EQ(bytesOf(folder(u"1251"_s) + u"/list.m3u"_s),
              "#EXTM3U\r\n#EXTINF:-1,\xEA\xE0\xED\xE0\xEB e\r\nhttp://a.b/1\r\n");
    ASSERT_EQ(MessageBox::shown().size(), 1) << "1251 has no \"é\"";
    EXPECT_EQ(MessageBox::shown()[0].text,
              u"1 символов нельзя записать в кодовой странице 1251, они будут заменены. "
              u"Сохранить?"_s);

    box->setChecked(true);
    const QByteArray utf8 = kSource.toUtf8();
    click(radio(TTargetKind::tkXSPF));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(item("ByteOrderMark1")->isChecked()) << "XSPF has one";
    item("ByteOrderMark1")->trigger();
    EXPECT_FALSE(item("ByteOrderMark1")->isChecked());
    save(folder(u"nobom"_s) + u"/list"_s);
    EXPECT_TRUE(bytesOf(folder(u"nobom"_s) + u"/list.xspf"_s).startsWith("<?xml"));
    click(radio(TTargetKind::tkM3U8));
    EXPECT_FALSE(item("ByteOrderMark1")->isChecked());
    save(folder(u"nobom"_s) + u"/list.m3u8"_s);
    EXPECT_EQ(bytesOf(folder(u"nobom"_s) + u"/list.m3u8"_s), utf8);

    item("ByteOrderMark1")->trigger(); // on: M3U8 takes one now
    EXPECT_TRUE(item("ByteOrderMark1")->isChecked());
    save(folder(u"bom"_s) + u"/list.m3u8"_s);
    EXPECT_EQ(bytesOf(folder(u"bom"_s) + u"/list.m3u8"_s), "\xEF\xBB\xBF" + utf8);
    click(radio(TTargetKind::tkEnigma2));
    ASSERT_TRUE(waitForRunEnd());
    save(folder(u"bom"_s) + u"/list"_s); // still none for a bouquet
    EXPECT_TRUE(bytesOf(folder(u"bom"_s) + u"/list.tv"_s).startsWith("#NAME"));
}

// The targets whose receivers read only UTF-8 take "Save as UTF8" out of
// the user's hands: the box is disabled and ticked while one is selected,
// as the file is written, and the user's choice comes back for the others.
// The text area and Copy hold the very text written, line ends included.
TEST_F(SaveTest, UtfOnlyTargetsIgnoreTheEncodingChoice) {
    pastePlaylist(kSource);
    auto* box = child<QCheckBox>(u"sCheckBox1"_s);
    box->setChecked(false);
    const QByteArray name = "\xD0\xBA\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB \xC3\xA9"; // канал é
    const struct {
        TTargetKind kind;
        QByteArray bytes;
    } cases[] = {
        {TTargetKind::tkEnigma2, "#NAME Dorvane\n#SERVICE 4097:0:1:0:0:0:0:0:0:0:http%3a//a.b/1:" +
                                     name + "\n#DESCRIPTION " + name + "\n"},
        {TTargetKind::tkXSPF, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                              "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\" "
                              "xmlns:vlc=\"http://www.videolan.org/vlc/playlist/ns/0/\">\r\n"
                              "  <trackList>\r\n    <track>\r\n      <title>" +
                                  name +
                                  "</title>\r\n      <location>http://a.b/1</location>\r\n"
                                  "    </track>\r\n  </trackList>\r\n</playlist>\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatFor(c.kind).caption().toString().toStdString());
        click(radio(c.kind));
        ASSERT_TRUE(waitForRunEnd());
        EXPECT_FALSE(box->isEnabled());
        EXPECT_TRUE(box->isChecked());
        const QString file = folder(formatFor(c.kind).cliName().toString()) + u"/list"_s;
        save(file);
        EXPECT_EQ(bytesOf(file + formatFor(c.kind).extension().toString()), c.bytes);
        const QByteArray text = c.bytes.startsWith("\xEF\xBB\xBF") ? c.bytes.sliced(3) : c.bytes;
        EXPECT_EQ(shown().toUtf8(), text);
        click(child(u"sButton3"_s));
        EXPECT_EQ(clipboard().text().toUtf8(), text);
    }

    // Back on a target with a choice, the box offers it again, unticked.
    click(radio(TTargetKind::tkWizardHD));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());
    const QString file = folder(u"wizard"_s) + u"/list"_s;
    MessageBox::setNextAnswer(QMessageBox::Yes); // agreeing to the "?"s
    save(file);
    EXPECT_EQ(bytesOf(file + u".txt"_s), QByteArray("????? \xE9,http://a.b/1\r\n"));
    EXPECT_EQ(MessageBox::shown().size(), 1) << "UTF-8 targets never ask about the code page";
}

// Each target's proposal and filter, and the file the accepted proposal
// becomes, holding what the text area shows.
TEST_F(SaveTest, EveryTargetProposesItsNameAndSavesUnderIt) {
    const QString source = playlist(12);
    pastePlaylist(source);
    for (const TargetFormat* format : allFormats()) {
        SCOPED_TRACE(format->caption().toString().toStdString());
        const TTargetKind kind = format->kind();
        const QString extension = format->extension().toString();
        click(radio(kind));
        ASSERT_TRUE(waitForRunEnd());
        ASSERT_EQ(shown(), format->converts() ? convertedText(kind, source) : joined(source));

        // Cancelled first, to read the proposal; then accepted.
        save(QString());
        ASSERT_FALSE(FileDialog::shown().isEmpty());
        const FileDialog::Shown dialog = FileDialog::shown().constLast();
        EXPECT_EQ(dialog.mode, FileDialog::Mode::Save);
        EXPECT_EQ(dialog.filter, u"Плейлист (*%1)|*%1"_s.arg(extension));
        // The date name is checked under the locale tests.
        if (kind != TTargetKind::tkU2CRadio) {
            EXPECT_EQ(dialog.fileName, format->defaultFileName() + extension);
        }

        const QString dir = folder(QString::number(static_cast<int>(kind)));
        save(dir + u'/' + dialog.fileName);
        EXPECT_EQ(filesIn(dir), QStringList{finalSaveFileName(dialog.fileName, extension)});
        // UTF-8 as ticked, with the target's own preamble and line ends.
        EXPECT_EQ(bytesOf(dir + u'/' + finalSaveFileName(dialog.fileName, extension)),
                  (format->utf8ByteOrderMarkByDefault() ? "\xEF\xBB\xBF"_ba : QByteArray()) +
                      shown().replace(u"\r\n"_s, format->lineEndText().toString()).toUtf8());
    }
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(SaveTest, ExtensionIsAppendedUnlessTheNameEndsWithIt) {
    pastePlaylist(kSource);
    const struct {
        TTargetKind kind;
        QString chosen;
        QString written;
    } cases[] = {
        {TTargetKind::tkM3U, u"list"_s, u"list.m3u"_s},
        {TTargetKind::tkM3U, u"list.m3u"_s, u"list.m3u"_s},
        {TTargetKind::tkM3U, u"LIST.M3U"_s, u"LIST.M3U"_s},
        {TTargetKind::tkM3U, u"list.m3u8"_s, u"list.m3u8.m3u"_s},
        {TTargetKind::tkM3U, u"list.txt"_s, u"list.txt.m3u"_s},
        {TTargetKind::tkM3U8, u"list.m3u"_s, u"list.m3u.m3u8"_s},
        {TTargetKind::tkM3U8, u"list.M3u8"_s, u"list.M3u8"_s},
        {TTargetKind::tkOpenBox, u"internettv.feed"_s, u"internettv.feed.m3u"_s},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen.toStdString());
        click(radio(c.kind));
        ASSERT_TRUE(waitForRunEnd());
        const QString dir = folder(QString::number(++n));
        save(dir + u'/' + c.chosen);
        EXPECT_EQ(filesIn(dir), QStringList{c.written});
    }
}

// The file holds what the text area shows when it is written: the progress
// text while the run goes on, even though the run's result follows.
TEST_F(SaveTest, SavingDuringARunWritesTheProgressText) {
    pastePlaylist(playlist(100000, u"Big"_s));
    click(radio(TTargetKind::tkWebTV));
    // One slice of lines has run and the worker waits for the next.
    while (!HandOff::instance().servePending())
        QThread::yieldCurrentThread();
    ASSERT_EQ(shown(), kProgress);

    const QString file = folder(u"run"_s) + u"/webtv_usr.xml"_s;
    save(file);
    EXPECT_NE(form->convertThread(), nullptr) << "the run ended before the file was written";
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_NE(shown(), kProgress);
    EXPECT_EQ(bytesOf(file), "\xEF\xBB\xBF" + kProgress.toUtf8());
}

TEST_F(SaveTest, ExistingFileIsReplacedOnlyWhenTheUserAgrees) {
    pastePlaylist(kSource);
    const QString dir = folder(u"ask"_s);
    const QString file = dir + u"/list.m3u"_s;
    const QByteArray former = "former";
    writeBytes(file, former);
    const QString question = u"Файл «%1» уже существует. Заменить?"_s.arg(file);

    // The question is about the final name, extension included.
    MessageBox::setNextAnswer(QMessageBox::No);
    save(dir + u"/list"_s);
    EXPECT_EQ(bytesOf(file), former);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const MessageBox::Shown box = MessageBox::shown().constFirst();
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.caption, applicationTitle());
    EXPECT_EQ(box.text, question);
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);

    // Closing the box in any other way declines too.
    MessageBox::setNextAnswer(QMessageBox::Escape);
    save(file);
    EXPECT_EQ(bytesOf(file), former);

    MessageBox::setNextAnswer(QMessageBox::Yes);
    save(file);
    EXPECT_EQ(bytesOf(file), joined(kSource).toUtf8());
    EXPECT_EQ(MessageBox::shown().size(), 3);
    EXPECT_EQ(filesIn(dir), QStringList{u"list.m3u"_s});
}

// Files may grow only to a few bytes while it lives, for every user, root
// too: writes beyond fail as on a full disk. (A full device such as /dev/full
// cannot stand in: Save writes a new file beside the target and renames it
// over the target, so the device itself is never written to.)
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_former);
        rlimit limit = m_former;
        limit.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_former);
        std::signal(SIGXFSZ, m_signal);
    }
    bool isSet() const { return m_set; }

private:
    rlimit m_former{};
    void (*m_signal)(int);
    bool m_set = false;
};

// Whether the text fits the write buffer or is written past it, a failing
// write leaves the former file as it was and no partial file beside it.
TEST_F(SaveTest, FailedWriteKeepsTheFormerFile) {
    const struct {
        const char* what;
        int channels;
    } cases[] = {{"small text", 1}, {"text beyond the buffer", 3000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        newWindow();
        MessageBox::clearShown();
        pastePlaylist(playlist(c.channels));
        const QString dir = folder(QString::fromLatin1(c.what));
        const QString file = dir + u"/list.m3u"_s;
        const QByteArray former = "former content";
        writeBytes(file, former);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        {
            FileSizeLimit limit(64);
            ASSERT_TRUE(limit.isSet());
            save(file);
        }
        EXPECT_EQ(bytesOf(file), former);
        EXPECT_EQ(filesIn(dir), QStringList{u"list.m3u"_s});
        ASSERT_EQ(MessageBox::shown().size(), 2);
        EXPECT_EQ(MessageBox::shown()[1].text, u"Stream write error."_s);
        EXPECT_EQ(MessageBox::shown()[1].icon, QMessageBox::Critical);
        EXPECT_EQ(shown(), joined(playlist(c.channels)));
    }
}

TEST_F(SaveTest, FileThatCannotBeCreatedIsReportedWithItsFinalPath) {
    pastePlaylist(kSource);
    const QString dir = folder(u"base"_s);
    writeBytes(dir + u"/plain.txt"_s, "a file, not a folder");
    QDir(dir).mkdir(u"folder.m3u"_s);
    const struct {
        QString chosen;
        QString written;
        QString reason;
    } cases[] = {
        {dir + u"/no/such/list"_s, dir + u"/no/such/list.m3u"_s, u"No such file or directory"_s},
        {dir + u"/plain.txt/list"_s, dir + u"/plain.txt/list.m3u"_s, u"Not a directory"_s},
        // A folder of the final name is not a file to replace: nothing asked.
        {dir + u"/folder"_s, dir + u"/folder.m3u"_s, u"Is a directory"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen.toStdString());
        MessageBox::clearShown();
        save(c.chosen);
        ASSERT_EQ(MessageBox::shown().size(), 1);
        EXPECT_EQ(MessageBox::shown()[0].text,
                  u"Cannot create file \"%1\". %2."_s.arg(c.written, c.reason));
    }
    EXPECT_EQ(filesIn(dir), (QStringList{u"folder.m3u"_s, u"plain.txt"_s}));
    EXPECT_TRUE(QFileInfo(dir + u"/folder.m3u"_s).isDir());
    EXPECT_TRUE(filesIn(dir + u"/folder.m3u"_s).isEmpty());
    EXPECT_EQ(shown(), joined(kSource));
}

TEST_F(SaveTest, FolderWithoutWritePermission) {
    if (geteuid() == 0)
        GTEST_SKIP() << "the administrator may write into any folder";
    pastePlaylist(kSource);
    const QString dir = folder(u"locked"_s);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    save(dir + u"/list"_s);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text,
              u"Cannot create file \"%1/list.m3u\". Permission denied."_s.arg(dir));
    EXPECT_TRUE(filesIn(dir).isEmpty());
}

TEST_F(SaveTest, CopyPutsTheExactTextOnTheClipboard) {
    const QString source = playlist(9);
    pastePlaylist(source);
    click(radio(TTargetKind::tkWebTV));
    ASSERT_TRUE(waitForRunEnd());
    const QString converted = convertedText(TTargetKind::tkWebTV, source);
    ASSERT_EQ(shown(), converted);

    const struct {
        const char* how;
        std::function<void()> copy;
    } ways[] = {
        {"Copy to buffer", [this] { click(child(u"sButton3"_s)); }},
        {"Copy all", [this] { item("N6")->trigger(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        clipboard().setText(u"before"_s);
        way.copy();
        EXPECT_EQ(clipboard().text(), converted);
    }

    // "Copy all" stays available with nothing to copy, and copies that.
    item("N5")->trigger();
    clipboard().setText(u"before"_s);
    item("N6")->trigger();
    EXPECT_EQ(clipboard().text(), QString());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

// The File menu's Save follows the Save button: when the menu opens, and
// before its shortcut acts.
TEST_F(SaveTest, FileSaveAndCtrlSDoNothingWithoutAPlaylist) {
    auto* fileMenu = child<QMenu>(u"N1"_s);
    auto saveItemWhenMenuOpens = [&] {
        fileMenu->popup(form->mapToGlobal(QPoint(0, 0)));
        const bool enabled = item("N3")->isEnabled();
        fileMenu->hide();
        return enabled;
    };
    auto ctrlS = [&] { QTest::keyClick(memo(), Qt::Key_S, Qt::ControlModifier); };

    // A dialog asked for would show in the seam, cancelled.
    EXPECT_FALSE(saveItemWhenMenuOpens());
    ctrlS();
    EXPECT_TRUE(FileDialog::shown().isEmpty());

    pastePlaylist(kSource);
    EXPECT_TRUE(saveItemWhenMenuOpens());
    FileDialog::setNextFileName(folder(u"keys"_s) + u"/list"_s);
    ctrlS();
    EXPECT_EQ(filesIn(folder(u"keys"_s)), QStringList{u"list.m3u"_s});
    save(folder(u"menu"_s) + u"/list"_s, item("N3"));
    EXPECT_EQ(filesIn(folder(u"menu"_s)), QStringList{u"list.m3u"_s});
    ASSERT_EQ(FileDialog::shown().size(), 2);

    // Clear leaves the item enabled from the last opening; the shortcut
    // still does nothing.
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
    ASSERT_FALSE(child(u"sButton1"_s)->isEnabled());
    ASSERT_TRUE(item("N3")->isEnabled());
    ctrlS();
    EXPECT_EQ(FileDialog::shown().size(), 2);
    EXPECT_FALSE(saveItemWhenMenuOpens());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

} // namespace
