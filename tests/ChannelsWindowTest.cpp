#include "ChoosingFixture.h"
#include "InProcessConvert.h"
#include "convert/Choice.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTreeView>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace dorvane;
using namespace dorvane::testing;

namespace {

// Three groups in order of first appearance: News (two channels, one address
// twice), Sport (one by group-title, one by #EXTGRP), and no group.
const QString kPlaylist = QStringLiteral("#EXTM3U\r\n"
                                         "#EXTINF:-1 group-title=\"News\",News One HD\r\n"
                                         "http://a/1\r\n"
                                         "#EXTINF:-1 group-title=\"Sport\",Sport HD\r\n"
                                         "http://a/2\r\n"
                                         "#EXTINF:-1 group-title=\"News\",News Two\r\n"
                                         "http://a/1\r\n"
                                         "#EXTINF:-1,Plain\r\n"
                                         "#EXTGRP:Sport\r\n"
                                         "http://a/3\r\n"
                                         "#EXTINF:-1,Loose\r\n"
                                         "http://a/4\r\n");

// The playlist's lines for the named channels, in its order.
QString chosenText(const QStringList& names) {
    TStringList lines;
    lines.setText(QStringView(kPlaylist));
    TStringList out;
    bool keep = true;
    for (int k = 0; k < lines.Count(); ++k) {
        const QString line = lines.Strings(k);
        if (line.startsWith(u"#EXTINF"))
            keep = names.contains(line.mid(line.indexOf(u',') + 1));
        if (keep)
            out.Add(line);
    }
    return out.Text();
}

// The playlists of the test corpus: the golden files' inputs and the fuzz
// corpora, whatever their bytes.
QStringList corpusFiles() {
    QStringList files;
    for (const char* root : {DORVANE_TEST_DATA, DORVANE_TEST_DATA "/../fuzz/corpus"}) {
        QDirIterator it(QString::fromUtf8(root), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (!file.contains(u"/expected"))
                files << file;
        }
    }
    files.sort();
    return files;
}

// dorvane-convert run in this process, with its summary read from standard
// error: the channels it says it wrote, 0 when it found none.
int convertCount(const QStringList& arguments, const QString& output) {
    QStringList all = {QStringLiteral("dorvane-convert"), QStringLiteral("--to=pls"),
                       QStringLiteral("-o"), output};
    all += arguments;
    const QString errors = output + QStringLiteral(".err");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(errors.toUtf8().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
    const int status = runConvertInProcess(all);
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);

    QFile said(errors);
    EXPECT_TRUE(said.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(said.readAll());
    if (status == 3)
        return 0;
    EXPECT_EQ(status, 0) << text.toStdString();
    const QRegularExpressionMatch summary =
        QRegularExpression(QStringLiteral("(\\d+) channels?, ")).match(text);
    EXPECT_TRUE(summary.hasMatch()) << text.toStdString();
    return summary.captured(1).toInt();
}

// A group name passes the command line unchanged: no control characters,
// no unpaired surrogates.
bool passesCommandLine(const QString& name) {
    for (QChar c : name)
        if (c.unicode() < 0x20 || c.isSurrogate())
            return false;
    return true;
}

class ChannelsWindow : public ChoosingWindowTest {
protected:
    static void press(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // The number the status bar begins with: 0 for "Каналы не найдены".
    int statusCount() const { return child<QLabel>("sLabel2")->text().section(u' ', 0, 0).toInt(); }
    static QString count(ChannelsDialog& dialog) {
        return dialog.findChild<QLabel*>(QStringLiteral("count"))->text();
    }
    // The tree as text: each group row, then its channels indented, with
    // their boxes as [x], [-] or [ ].
    static QStringList rows(ChannelsDialog& dialog) {
        const QAbstractItemModel* model = tree(dialog)->model();
        const auto box = [](const QModelIndex& index) {
            switch (index.data(Qt::CheckStateRole).toInt()) {
            case Qt::Checked:
                return QStringLiteral("[x] ");
            case Qt::PartiallyChecked:
                return QStringLiteral("[-] ");
            default:
                return QStringLiteral("[ ] ");
            }
        };
        QStringList text;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex group = model->index(row, 0);
            text << box(group) + group.data().toString();
            for (int k = 0; k < model->rowCount(group); ++k) {
                const QModelIndex channel = model->index(k, 0, group);
                text << QStringLiteral("  ") + box(channel) + channel.data().toString();
            }
        }
        return text;
    }
    // Walks the tree with the arrow keys to the row shown as `text` and
    // presses Space on it.
    static void toggle(ChannelsDialog& dialog, const QString& text) {
        QTreeView* view = tree(dialog);
        view->setFocus();
        view->setCurrentIndex(view->model()->index(0, 0));
        for (int step = 0; step < 50; ++step) {
            if (view->currentIndex().data().toString() == text) {
                QTest::keyClick(view, Qt::Key_Space);
                return;
            }
            if (view->model()->rowCount(view->currentIndex()) > 0 &&
                !view->isExpanded(view->currentIndex()))
                QTest::keyClick(view, Qt::Key_Right); // opens the group
            QTest::keyClick(view, Qt::Key_Down);
        }
        ADD_FAILURE() << "no row " << text.toStdString();
    }
};

TEST_F(ChannelsWindow, OffersChannelsOnlyWhileAPlaylistIsLoaded) {
    EXPECT_FALSE(chooseChannels([](ChannelsDialog&) {}));
    pastePlaylist(kPlaylist);
    EXPECT_TRUE(item("N8")->isEnabled());
    EXPECT_TRUE(child<QMenu>("PopupMenu1")->actions().contains(item("N8")));
    EXPECT_TRUE(child<QMenu>("N1")->actions().contains(item("N8")));
    EXPECT_TRUE(chooseChannels([](ChannelsDialog&) {}));
    memo()->setFocus(); // Clear
    QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_FALSE(chooseChannels([](ChannelsDialog&) {}));
}

TEST_F(ChannelsWindow, UncheckingAGroupChoosesTheRestAndReopensAsLeft) {
    pastePlaylist(kPlaylist);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        EXPECT_EQ(rows(dialog), QStringList({"[x] News (2)", "  [x] News One HD", "  [x] News Two",
                                             "[x] Sport (2)", "  [x] Sport HD", "  [x] Plain",
                                             "[x] (без группы) (1)", "  [x] Loose"}));
        EXPECT_EQ(count(dialog), "5 of 5");
        toggle(dialog, "Sport (2)");
        EXPECT_EQ(count(dialog), "3 of 5");
        QTest::keyClick(tree(dialog), Qt::Key_Return); // Enter is OK
    }));
    EXPECT_EQ(shown(), chosenText({"News One HD", "News Two", "Loose"}));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "3 канала из 5");

    // Reopened, the dialog shows that choice; one channel back in Sport
    // makes its box partly checked.
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        toggle(dialog, "Plain");
        EXPECT_EQ(rows(dialog), QStringList({"[x] News (2)", "  [x] News One HD", "  [x] News Two",
                                             "[-] Sport (2)", "  [ ] Sport HD", "  [x] Plain",
                                             "[x] (без группы) (1)", "  [x] Loose"}));
        press(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    }));
    EXPECT_EQ(shown(), chosenText({"News One HD", "News Two", "Plain", "Loose"}));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "4 канала из 5");

    // Everything chosen again: the count as before any choice.
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        press(dialog.findChild<QPushButton*>(QStringLiteral("all")));
        QTest::keyClick(&dialog, Qt::Key_Enter);
    }));
    EXPECT_EQ(shown(), joined(kPlaylist));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "5 каналов");
}

TEST_F(ChannelsWindow, SearchNarrowsTheTreeAndAllAndNoneActOnWhatItShows) {
    pastePlaylist(kPlaylist);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        auto* search = dialog.findChild<QLineEdit*>(QStringLiteral("search"));
        QTest::keyClicks(search, "hd");
        QTRY_VERIFY(!dialog.model()->searching());
        EXPECT_EQ(rows(dialog), QStringList({"[x] News (2)", "  [x] News One HD", "[x] Sport (2)",
                                             "  [x] Sport HD"}));
        press(dialog.findChild<QPushButton*>(QStringLiteral("none")));
        EXPECT_EQ(rows(dialog), QStringList({"[-] News (2)", "  [ ] News One HD", "[-] Sport (2)",
                                             "  [ ] Sport HD"}));
        EXPECT_EQ(count(dialog), "3 of 5");
        // Nothing found: no group shown.
        QTest::keyClicks(search, "x");
        QTRY_VERIFY(!dialog.model()->searching());
        EXPECT_EQ(rows(dialog), QStringList());
        search->clear();
        QTRY_COMPARE(tree(dialog)->model()->rowCount(), 3);
        press(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    }));
    EXPECT_EQ(shown(), chosenText({"News Two", "Plain", "Loose"}));
}

TEST_F(ChannelsWindow, OneChannelPerAddressDropsLaterDuplicates) {
    pastePlaylist(kPlaylist);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        press(dialog.findChild<QCheckBox*>(QStringLiteral("onePerAddress")));
        EXPECT_EQ(count(dialog), "4 of 5");
        // Without the first, the second of the same address stays.
        toggle(dialog, "News One HD");
        EXPECT_EQ(count(dialog), "4 of 5");
        toggle(dialog, "News Two");
        EXPECT_EQ(count(dialog), "3 of 5");
        toggle(dialog, "News One HD");
        press(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    }));
    EXPECT_EQ(shown(), chosenText({"News One HD", "Sport HD", "Plain", "Loose"}));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "4 канала из 5");
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        EXPECT_TRUE(dialog.findChild<QCheckBox*>(QStringLiteral("onePerAddress"))->isChecked());
        EXPECT_EQ(count(dialog), "4 of 5");
    }));
}

TEST_F(ChannelsWindow, CancelAndEscapeChangeNothing) {
    pastePlaylist(kPlaylist);
    const auto leaveNews = [](ChannelsDialog& dialog) { toggle(dialog, "News (2)"); };
    ASSERT_TRUE(chooseChannels([&](ChannelsDialog& dialog) {
        leaveNews(dialog);
        press(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
    }));
    ASSERT_TRUE(chooseChannels([&](ChannelsDialog& dialog) {
        EXPECT_EQ(count(dialog), "5 of 5");
        leaveNews(dialog);
        QTest::keyClick(tree(dialog), Qt::Key_Escape);
    }));
    // Nothing chosen: OK cannot apply it.
    ASSERT_TRUE(chooseChannels([&](ChannelsDialog& dialog) {
        press(dialog.findChild<QPushButton*>(QStringLiteral("none")));
        EXPECT_FALSE(
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());
        QTest::keyClick(tree(dialog), Qt::Key_Return);
    }));
    EXPECT_EQ(shown(), joined(kPlaylist));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "5 каналов");
}

TEST_F(ChannelsWindow, ApplyingConvertsAndANewPlaylistChoosesAllAgain) {
    pastePlaylist(kPlaylist);
    click(radio(TTargetKind::tkWizardHD));
    ASSERT_TRUE(waitForRunEnd());
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        toggle(dialog, "News (2)");
        QTest::keyClick(tree(dialog), Qt::Key_Return);
    }));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown(),
              convertedText(TTargetKind::tkWizardHD, chosenText({"Sport HD", "Plain", "Loose"})));
    EXPECT_TRUE(radio(TTargetKind::tkWizardHD)->isChecked());

    // An Open of a new playlist: all of its channels, and none left out.
    openFile(writeFile("new.m3u", kPlaylist.toUtf8()));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "5 каналов");
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) { EXPECT_EQ(count(dialog), "5 of 5"); }));
}

} // namespace

namespace {

// The dialog, the status bar and dorvane-convert count one choice alike, by
// the rule of the count, on every playlist of the corpus: all channels, one
// per address, without the first group, and both. A choice without a
// channel cannot be accepted.
TEST_F(ChannelsWindow, DialogStatusBarAndConverterCountAlikeOnTheCorpus) {
    const QStringList files = corpusFiles();
    ASSERT_GT(files.size(), 100);
    QTemporaryDir out;
    const QString output = out.filePath(QStringLiteral("out.pls"));
    int checked = 0, differing = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        form->loadPlaylistFile(file);
        const int loaded = statusCount();
        ASSERT_EQ(loaded, convertCount({file}, output));
        if (loaded == 0)
            continue;
        for (const bool dedupe : {false, true}) {
            for (const bool dropFirst : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "dedupe " << dedupe << ", drop " << dropFirst);
                form->loadPlaylistFile(file);
                QString group;
                {
                    const ChannelIndex index(*form->sourceList());
                    if (index.blockCount() == 0)
                        continue;
                    group = index.groupName(0).toString();
                }
                if (dropFirst && !passesCommandLine(group))
                    continue;
                int chosen = -1, total = -1;
                bool accepted = false;
                ASSERT_TRUE(chooseChannels([&](ChannelsDialog& dialog) {
                    if (dedupe)
                        dialog.findChild<QCheckBox*>(QStringLiteral("onePerAddress"))
                            ->setChecked(true);
                    if (dropFirst)
                        dialog.model()->setData(dialog.model()->index(0, 0), Qt::Unchecked,
                                                Qt::CheckStateRole);
                    const QStringList counts = count(dialog).split(QStringLiteral(" of "));
                    chosen = counts.value(0).toInt();
                    total = counts.value(1).toInt();
                    QPushButton* ok =
                        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
                    EXPECT_EQ(ok->isEnabled(), chosen > 0);
                    if (ok->isEnabled()) {
                        press(ok);
                        accepted = true;
                    }
                }));
                EXPECT_EQ(total, loaded);
                if (accepted) {
                    EXPECT_EQ(statusCount(), chosen);
                }
                QStringList arguments;
                if (dedupe)
                    arguments << QStringLiteral("--dedupe");
                if (dropFirst)
                    arguments << QStringLiteral("--exclude-group=") + group;
                EXPECT_EQ(convertCount(arguments << file, output), chosen);
                ++checked;
                differing += chosen != loaded ? 1 : 0;
            }
        }
    }
    // The corpus holds choices that leave channels out, not only all of them.
    EXPECT_GT(checked, 400);
    EXPECT_GT(differing, 20);
}

// Blocks without an address are no channels: a choice of only those holds
// none, and OK stays disabled.
TEST_F(ChannelsWindow, AChoiceWithoutAChannelCannotBeAccepted) {
    pastePlaylist(kPlaylist + QStringLiteral("#EXTINF:-1 group-title=\"Radio\",Silent\r\n"
                                             "#EXTINF:-1 group-title=\"Radio\",Quiet\r\n"));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "5 каналов");
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        EXPECT_EQ(count(dialog), "5 of 5");
        press(dialog.findChild<QPushButton*>(QStringLiteral("none")));
        toggle(dialog, "Radio (2)");
        EXPECT_EQ(count(dialog), "0 of 5");
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        EXPECT_FALSE(ok->isEnabled());
        press(ok);
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible()); // left open: cancelled
    }));
    EXPECT_EQ(child<QLabel>("sLabel2")->text(), "5 каналов");
    EXPECT_EQ(shown(),
              joined(kPlaylist + QStringLiteral("#EXTINF:-1 group-title=\"Radio\",Silent\r\n"
                                                "#EXTINF:-1 group-title=\"Radio\",Quiet\r\n")));
}

} // namespace
