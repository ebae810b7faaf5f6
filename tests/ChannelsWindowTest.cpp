#include "WindowFixture.h"
#include "app/ChannelsDialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QTreeView>

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

class ChannelsWindow : public WindowTest {
protected:
    void TearDown() override {
        ChannelsDialog::setDriver({});
        WindowTest::TearDown();
    }

    // Opens "Channels..." with Ctrl+K from the text area and lets `work` act
    // in the dialog; false when no dialog opened.
    bool chooseChannels(const std::function<void(ChannelsDialog&)>& work) {
        bool opened = false;
        ChannelsDialog::setDriver([&](ChannelsDialog& dialog) {
            opened = true;
            work(dialog);
        });
        memo()->setFocus();
        QTest::keyClick(memo(), Qt::Key_K, Qt::ControlModifier);
        return opened;
    }

    static void press(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    static QTreeView* tree(ChannelsDialog& dialog) {
        return dialog.findChild<QTreeView*>(QStringLiteral("tree"));
    }
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
