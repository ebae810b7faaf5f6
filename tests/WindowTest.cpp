// The window: layout, enabling rules, target selection, shortcuts, intake and
// web links, driven with Qt Test's mouse and key events.
#include "WindowFixture.h"

#include "app/WebLinks.h"
#include "playlist/Encoding.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>

using namespace dorvane;
using namespace dorvane::testing;
using namespace Qt::StringLiterals;

namespace {

TEST_F(WindowTest, LayoutCaptionsAndColours) {
    // Targets beyond the designed eleven stand below them, one 25-pixel row
    // each; the controls under the column move down and the window grows
    // (to 851 by 510 with thirteen).
    const int grown = 25 * (kTargetCount - 11);
    EXPECT_EQ(form->windowTitle(), u"Dorvane"_s);
    EXPECT_EQ(form->centralWidget()->size(), QSize(851, 460 + grown));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the user must not resize it";
    EXPECT_FALSE(form->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_GT(form->centralWidget()->y(), 0) << "the menu bar stands above the client area";

    const struct {
        const char* name;
        QRect geometry;
        const char16_t* caption;
    } controls[] = {
        {"sImage1", {0, 0, 70, 70}, nullptr},
        {"sMemo1", {144, 8, 697, 427 + grown}, nullptr},
        {"sRadioButton1", {8, 8, 82, 19}, u"M3U Playlist"},
        {"sRadioButton10", {8, 33, 81, 19}, u"IPTVx XML"},
        {"sRadioButton2", {8, 58, 59, 19}, u"WebTV"},
        {"sRadioButton3", {8, 83, 69, 19}, u"OpenBox"},
        {"sRadioButton4", {8, 108, 84, 19}, u"OpenBox SX"},
        {"sRadioButton5", {8, 133, 75, 19}, u"Wizard HD"},
        {"sRadioButton6", {8, 158, 55, 19}, u"AzBox"},
        {"sRadioButton7", {8, 183, 78, 19}, u"PLS Playlist"},
        {"sRadioButton9", {8, 208, 85, 19}, u"WMP Playlist"},
        {"sRadioButton8", {8, 233, 88, 19}, u"M3U8 Playlist"},
        {"sRadioButton11", {8, 258, 75, 19}, u"U2C Radio"},
        {"sCheckBox1", {8, 296 + grown, 117, 19}, u"Save as UTF8"},
        {"sButton1", {8, 340 + grown, 130, 25}, u"Save"},
        {"sButton3", {8, 380 + grown, 130, 25}, u"Copy to buffer"},
        {"sStatusBar1", {0, 441 + grown, 851, 19}, nullptr},
        {"sImage2", {8, 5, 25, 12}, nullptr},
        {"sLabel1", {730, 3, 78, 15}, u"Dorvane"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = child(QLatin1String(c.name));
        ASSERT_NE(widget, nullptr);
        // A radio button grows where the fallback font needs more room.
        if (qobject_cast<QRadioButton*>(widget)) {
            EXPECT_EQ(widget->pos(), c.geometry.topLeft());
            EXPECT_EQ(widget->height(), 19);
            EXPECT_GE(widget->width(), c.geometry.width());
        } else {
            EXPECT_EQ(widget->geometry(), c.geometry);
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromUtf16(c.caption));
        }
        if (auto* label = qobject_cast<QLabel*>(widget); label && c.caption) {
            EXPECT_EQ(label->text(), QString::fromUtf16(c.caption));
        }
    }
    for (int k = 11; k < kTargetCount; ++k) {
        QRadioButton* button = radio(k + 1);
        EXPECT_EQ(button->pos(), QPoint(8, 8 + 25 * k)) << k + 1;
        EXPECT_EQ(button->height(), 19);
        EXPECT_EQ(button->text(), formatFor(static_cast<TTargetKind>(k)).caption());
    }
    EXPECT_EQ(child<QLabel>(u"sLabel1"_s)->cursor().shape(), Qt::PointingHandCursor);

    const struct {
        const char* name;
        const char16_t* caption;
        QKeySequence key;
    } items[] = {
        {"N2", u"Open", QKeySequence(u"Ctrl+O"_s)},
        {"OpenUrl1", u"Open URL...", QKeySequence(u"Ctrl+U"_s)},
        {"N3", u"Save", QKeySequence(u"Ctrl+S"_s)},
        {"D1", u"Exit", QKeySequence(u"Alt+F4"_s)},
        {"N4", u"Paste", QKeySequence(u"Ctrl+C"_s)},
        {"N6", u"Copy all", QKeySequence(u"Ctrl+A"_s)},
        {"N5", u"Clear ", QKeySequence(u"Ctrl+H"_s)},
        {"N8", u"Channels...", QKeySequence(u"Ctrl+K"_s)},
        {"Undo1", u"Undo", QKeySequence(u"Ctrl+Z"_s)},
    };
    for (const auto& i : items) {
        SCOPED_TRACE(i.name);
        EXPECT_EQ(displayed(item(i.name)->text()), QString::fromUtf16(i.caption));
        EXPECT_EQ(item(i.name)->shortcut(), i.key);
    }
    EXPECT_EQ(displayed(child<QMenu>(u"N1"_s)->title()), u"File"_s);
    EXPECT_EQ(child<QMenu>(u"PopupMenu1"_s)->actions(),
              (QList<QAction*>{item("N4"), item("N6"), item("N5"), item("Undo1"), item("N8")}));
    EXPECT_EQ(child<QMenuBar>(u"MainMenu1"_s), form->menuBar());

    EXPECT_EQ(form->centralWidget()->palette().color(QPalette::Window), QColor(166, 202, 240));
    EXPECT_EQ(memo()->palette().color(QPalette::Base), QColor(255, 251, 240));
    EXPECT_EQ(memo()->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(radio(1)->font().family(), u"Verdana"_s);
    EXPECT_EQ(radio(1)->font().pixelSize(), 11);
    EXPECT_EQ(memo()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

// What intake and Clear switch, in both states; N3 and N4 as their menus set
// them when they open.
TEST_F(WindowTest, EnablingFollowsThePlaylistState) {
    auto check = [&](bool loaded, const char* when) {
        SCOPED_TRACE(when);
        EXPECT_TRUE(radio(1)->isEnabled());
        for (int n = 2; n <= kTargetCount; ++n)
            EXPECT_EQ(radio(n)->isEnabled(), loaded) << n;
        EXPECT_EQ(child(u"sButton1"_s)->isEnabled(), loaded);
        EXPECT_EQ(child(u"sButton3"_s)->isEnabled(), loaded);
        EXPECT_TRUE(child(u"sCheckBox1"_s)->isEnabled());
        EXPECT_EQ(child(u"sImage2"_s)->isVisible(), loaded);
        EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), loaded ? u"2 канала"_s : QString());
        auto* file = child<QMenu>(u"N1"_s);
        file->popup(form->mapToGlobal(QPoint(0, 0)));
        EXPECT_EQ(item("N3")->isEnabled(), loaded);
        file->hide();
        for (const char* always : {"N2", "D1", "N5", "N6", "J1", "N7", "V1"})
            EXPECT_TRUE(item(always)->isEnabled()) << always;
    };

    // At start: nothing loaded, no target handler has run, the text area has
    // the focus.
    EXPECT_TRUE(radio(1)->isChecked());
    EXPECT_TRUE(child<QCheckBox>(u"sCheckBox1"_s)->isChecked());
    EXPECT_EQ(shown(), QString());
    EXPECT_EQ(form->convertThread(), nullptr);
    EXPECT_EQ(form->focusWidget(), memo());
    check(false, "at start");

    pastePlaylist(playlist(2));
    check(true, "after paste");

    auto* popup = child<QMenu>(u"PopupMenu1"_s);
    for (int selected : {2, 1}) {
        click(radio(selected));
        popup->popup(form->mapToGlobal(QPoint(200, 200)));
        EXPECT_EQ(item("N4")->isEnabled(), selected == 1) << selected;
        popup->hide();
    }

    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
    check(false, "after Clear");
}

// A channel the target cannot carry (an address holding U2C's "][") is
// left out, and said until the next action.
TEST_F(WindowTest, WhatATargetCannotCarryIsLeftOutAndSaid) {
    pastePlaylist(QStringLiteral("#EXTM3U\r\n#EXTINF:-1,A\r\nhttp://a/][x\r\n"
                                 "#EXTINF:-1,B\r\nhttp://b\r\n"));
    auto* note = child<QLabel>(QStringLiteral("RefreshLabel1"));
    click(radio(TTargetKind::tkU2CRadio));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_FALSE(shown().contains(u"http://a"));
    EXPECT_TRUE(shown().contains(u"[0][B][http://b]"));
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), QStringLiteral("Не записано каналов: 1 — в имени или адресе то, чем "
                                           "U2C Radio разделяет поля"));
    click(radio(TTargetKind::tkPLS));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_FALSE(note->isVisible());
    EXPECT_TRUE(shown().contains(u"http://a/][x"));
}

TEST_F(WindowTest, ReselectingTheSelectedTargetRunsNothing) {
    pastePlaylist(playlist(30));
    click(radio(TTargetKind::tkPLS));
    ASSERT_TRUE(waitForRunEnd());
    const QString result = shown();
    ASSERT_EQ(result, convertedText(TTargetKind::tkPLS, playlist(30)));

    // Any handler would at least put the progress text up at once.
    click(radio(TTargetKind::tkPLS));
    QTest::keyClick(radio(TTargetKind::tkPLS), Qt::Key_Space);
    EXPECT_EQ(shown(), result);
    EXPECT_EQ(form->convertThread(), nullptr);

    click(radio(1));
    EXPECT_EQ(shown(), joined(playlist(30)));
    QTest::keyClick(radio(1), Qt::Key_Space);
    EXPECT_EQ(shown(), joined(playlist(30)));
}

// The service type beside the Enigma2 target writes its bouquet again.
TEST_F(WindowTest, Enigma2TypeBesideItsTargetChoosesTheServiceType) {
    pastePlaylist(playlist(3));
    click(radio(TTargetKind::tkEnigma2));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(shown().contains(u"#SERVICE 4097:"));
    auto* type = child<QComboBox>(QStringLiteral("Enigma2Type1"));
    type->setCurrentIndex(type->findData(5002));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(shown().contains(u"#SERVICE 5002:"));
    EXPECT_FALSE(shown().contains(u"#SERVICE 4097:"));
}

// The status bar says what a target could not hold, until the next run.
TEST_F(WindowTest, StatusBarSaysWhatTheTargetCouldNotHold) {
    pastePlaylist(u"#EXTM3U\r\n#EXTINF:-1 tvg-logo=\"http://l/a.png\",A\r\n"
                  u"#EXTVLCOPT:http-user-agent=UA\r\nhttp://a/1\r\n"_s);
    click(radio(TTargetKind::tkPLS));
    ASSERT_TRUE(waitForRunEnd());
    auto* lost = child<QLabel>(QStringLiteral("LostLabel1"));
    EXPECT_FALSE(lost->isHidden());
    EXPECT_EQ(lost->text(), u"1 канал потерял заголовки: PLS не может их хранить; "
                            u"1 канал потерял логотипы: PLS не может их хранить"_s);
    click(radio(TTargetKind::tkXSPF));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(lost->isHidden());
}

// The arrow keys walk the tab order (member order), not the screen, skip
// disabled controls, wrap round, and select a target they land on.
TEST_F(WindowTest, ArrowKeysFollowTheTabOrder) {
    const struct {
        bool loaded;
        const char* from; // a radio button is selected first; "last": the last target
        Qt::Key key;
        const char* to;
        int checked; // number of the checked radio button afterwards
    } cases[] = {
        {true, "sRadioButton1", Qt::Key_Down, "sRadioButton2", 2}, // not IPTVx XML
        {true, "sRadioButton1", Qt::Key_Right, "sRadioButton2", 2},
        {true, "sRadioButton2", Qt::Key_Up, "sRadioButton1", 1},
        {true, "sRadioButton2", Qt::Key_Left, "sRadioButton1", 1},
        {true, "sRadioButton1", Qt::Key_Up, "sMemo1", 1},
        {true, "sRadioButton7", Qt::Key_Down, "sRadioButton8", 8}, // not WMP Playlist
        {true, "sRadioButton9", Qt::Key_Up, "sRadioButton8", 8},
        {true, "sRadioButton11", Qt::Key_Down, "sRadioButton12", 12}, // below the eleven
        {true, "last", Qt::Key_Down, "sButton1", kTargetCount},
        {true, "sButton1", Qt::Key_Up, "last", kTargetCount},
        {true, "sCheckBox1", Qt::Key_Up, "sButton1", 1},
        {true, "sButton3", Qt::Key_Down, "sMemo1", 1},           // wraps round
        {false, "sRadioButton1", Qt::Key_Down, "sCheckBox1", 1}, // disabled ones skipped
        {false, "sCheckBox1", Qt::Key_Up, "sRadioButton1", 1},
        {false, "sCheckBox1", Qt::Key_Down, "sMemo1", 1},
    };
    const auto control = [&](const char* name) {
        return qstrcmp(name, "last") == 0 ? static_cast<QWidget*>(radio(kTargetCount))
                                          : child(QLatin1String(name));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        newWindow();
        if (c.loaded)
            pastePlaylist(playlist(3));
        QWidget* from = control(c.from);
        if (auto* button = qobject_cast<QRadioButton*>(from))
            click(button);
        from->setFocus();
        ASSERT_EQ(form->focusWidget(), from);

        QTest::keyClick(from, c.key);
        EXPECT_EQ(form->focusWidget(), control(c.to));
        EXPECT_TRUE(radio(c.checked)->isChecked());
    }
}

TEST_F(WindowTest, LandingOnATargetByArrowStartsItsRun) {
    pastePlaylist(playlist(3));
    radio(1)->setFocus();
    QTest::keyClick(radio(1), Qt::Key_Down);
    EXPECT_TRUE(radio(TTargetKind::tkWebTV)->isChecked());
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown(), convertedText(TTargetKind::tkWebTV, playlist(3)));
}

TEST_F(WindowTest, TabStopsOnlyAtTheCheckedTarget) {
    pastePlaylist(playlist(3));
    click(radio(5));
    memo()->setFocus();
    const char* forward[] = {"sRadioButton5", "sButton1", "sCheckBox1", "sButton3", "sMemo1"};
    for (const char* name : forward) {
        QTest::keyClick(form->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(form->focusWidget()->objectName(), QLatin1String(name));
    }
    QTest::keyClick(form->focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(form->focusWidget(), child(u"sButton3"_s));
    EXPECT_TRUE(radio(5)->isChecked());
}

TEST_F(WindowTest, MousePressFocusesAndReleaseSelects) {
    pastePlaylist(playlist(3));
    QTest::mousePress(radio(3), Qt::LeftButton);
    EXPECT_EQ(form->focusWidget(), radio(3));
    EXPECT_TRUE(radio(1)->isChecked());
    QTest::mouseRelease(radio(3), Qt::LeftButton);
    EXPECT_TRUE(radio(3)->isChecked());
}

TEST_F(WindowTest, DisabledTargetsTakeNoClick) {
    click(radio(2));
    EXPECT_TRUE(radio(1)->isChecked());
    EXPECT_NE(form->focusWidget(), radio(2));
    EXPECT_EQ(form->convertThread(), nullptr);
}

TEST_F(WindowTest, CtrlCPastesOnlyWhileM3UIsSelectedAndNeverCopies) {
    pastePlaylist(playlist(4));
    EXPECT_EQ(shown(), joined(playlist(4)));

    click(radio(TTargetKind::tkAzBox));
    ASSERT_TRUE(waitForRunEnd());
    const QString converted = shown();
    clipboard().setText(playlist(9));
    memo()->setFocus();
    memo()->selectAll();
    QTest::keyClick(memo(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(shown(), converted);
    EXPECT_EQ(clipboard().text(), playlist(9)) << "the selection must not be copied";
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"4 канала"_s);
}

TEST_F(WindowTest, CtrlACopiesTheWholeStoredTextWithoutSelecting) {
    pastePlaylist(playlist(2));
    clipboard().clear();
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(clipboard().text(), joined(playlist(2)));
    EXPECT_TRUE(clipboard().text().contains(u"\r\n"_s));
    EXPECT_FALSE(memo()->hasSelection());
}

TEST_F(WindowTest, ContextMenuKeysActOnlyInTheTextArea) {
    pastePlaylist(playlist(2));
    clipboard().setText(u"untouched"_s);
    for (const char* name : {"sButton3", "sRadioButton1", "sCheckBox1"}) {
        QWidget* focus = child(QLatin1String(name));
        focus->setFocus();
        for (Qt::Key key : {Qt::Key_C, Qt::Key_A, Qt::Key_H})
            QTest::keyClick(focus, key, Qt::ControlModifier);
    }
    EXPECT_EQ(clipboard().text(), u"untouched"_s);
    EXPECT_EQ(shown(), joined(playlist(2)));
    EXPECT_TRUE(child(u"sButton1"_s)->isEnabled());
}

TEST_F(WindowTest, FileMenuKeysActAnywhere) {
    const QString path = writeFile(u"list.m3u"_s, playlist(5).toUtf8());
    openFile(path, child(u"sCheckBox1"_s));
    EXPECT_EQ(shown(), joined(playlist(5)));

    // Ctrl+S runs the File menu's handler first: with no playlist Save is
    // disabled and nothing is asked.
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
    item("N3")->setEnabled(true);
    QTest::keyClick(child(u"sCheckBox1"_s), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(item("N3")->isEnabled());
    ASSERT_EQ(FileDialog::shown().size(), 1);

    QTest::keyClick(radio(1), Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->sourceList(), nullptr);
}

TEST_F(WindowTest, OpenShowsThePlaylistAndItsCount) {
    const QString path = writeFile(u"first.m3u8"_s, "\xEF\xBB\xBF" + playlist(21).toUtf8());
    openFile(path);
    ASSERT_EQ(FileDialog::shown().size(), 1);
    // All playlists, each format, all files.
    const QString filter = FileDialog::shown()[0].filter;
    EXPECT_TRUE(filter.startsWith(u"All playlists (*.m3u;*.m3u8;*.pls;"_s)) << filter.toStdString();
    EXPECT_TRUE(filter.contains(u"|Enigma2 Bouquet (*.tv;*.radio)|*.tv;*.radio|"_s));
    EXPECT_TRUE(filter.endsWith(u"|All files (*)|*"_s));
    EXPECT_EQ(FileDialog::shown()[0].fileName, QString());
    EXPECT_EQ(FileDialog::shown()[0].folder, QString()) << "none used yet in this run";
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"21 канал"_s);
    EXPECT_TRUE(child(u"sImage2"_s)->isVisible());
    EXPECT_EQ(shown(), joined(playlist(21)));

    // The dialog proposes the last file, in its folder; cancelling it
    // changes nothing.
    openFile(QString());
    ASSERT_EQ(FileDialog::shown().size(), 2);
    EXPECT_EQ(FileDialog::shown()[1].fileName, u"first.m3u8"_s);
    EXPECT_EQ(FileDialog::shown()[1].folder, QFileInfo(path).absolutePath());
    // Save starts there too, with its own name.
    FileDialog::setNextFileName(QString());
    click(child(u"sButton1"_s));
    ASSERT_EQ(FileDialog::shown().size(), 3);
    EXPECT_EQ(FileDialog::shown()[2].mode, FileDialog::Mode::Save);
    EXPECT_EQ(FileDialog::shown()[2].fileName,
              formatFor(TTargetKind::tkM3U).defaultFileName() +
                  formatFor(TTargetKind::tkM3U).extension().toString());
    EXPECT_EQ(FileDialog::shown()[2].folder, QFileInfo(path).absolutePath());
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"21 канал"_s);
    EXPECT_EQ(shown(), joined(playlist(21)));
    EXPECT_EQ(form->sourceList()->Count(), 21 * 2 + 1 + 3);
}

// A bouquet opened, dropped or pasted becomes the M3U of its channels, and
// the bouquet written again keeps its name.
TEST_F(WindowTest, ABouquetIsReadAsTheM3uOfItsChannels) {
    const QByteArray bouquet = "#NAME Favourites\n"
                               "#SERVICE 1:64:0:0:0:0:0:0:0:0::News\n#DESCRIPTION News\n"
                               "#SERVICE 4097:0:1:0:0:0:0:0:0:0:http%3a//a.example/1:One\n"
                               "#DESCRIPTION One\n";
    const QString m3u =
        u"#EXTM3U\r\n#EXTINF:-1 group-title=\"News\",One\r\nhttp://a.example/1\r\n"_s;
    openFile(writeFile(u"favourites.tv"_s, bouquet));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"1 канал"_s);
    EXPECT_EQ(shown(), m3u);
    click(radio(TTargetKind::tkEnigma2));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(shown().startsWith(u"#NAME Favourites\n"_s) ||
                shown().startsWith(u"#NAME Favourites\r\n"_s))
        << shown().toStdString();

    click(radio(1));
    pastePlaylist(QString::fromUtf8(bouquet));
    EXPECT_EQ(shown(), m3u);
}

TEST_F(WindowTest, PlaylistWithoutChannelsIsDiscarded) {
    pastePlaylist(playlist(3));
    click(radio(TTargetKind::tkWMP));
    ASSERT_TRUE(waitForRunEnd());

    const QString path = writeFile(u"bare.m3u"_s, "http://a.example/1\r\nhttp://a.example/2\r\n");
    openFile(path);
    EXPECT_EQ(form->sourceList()->Count(), 0);
    EXPECT_EQ(shown(), QString());
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"Каналы не найдены"_s);
    EXPECT_FALSE(child(u"sImage2"_s)->isVisible());
    // The converting target stays selected, now disabled; M3U stays reachable.
    EXPECT_TRUE(radio(TTargetKind::tkWMP)->isChecked());
    EXPECT_FALSE(radio(TTargetKind::tkWMP)->isEnabled());
    click(radio(1));
    EXPECT_TRUE(radio(1)->isChecked());

    clipboard().clear();
    pastePlaylist(QString());
    EXPECT_EQ(form->sourceList()->Count(), 0);
}

// The selected target and the text area agree whichever way a playlist
// comes in: under a converting target it is converted for that target at
// once, under M3U8 it is shown as it is.
TEST_F(WindowTest, APlaylistLoadedUnderATargetShowsThatTargetsText) {
    pastePlaylist(playlist(3));
    click(radio(TTargetKind::tkU2CRadio));
    ASSERT_TRUE(waitForRunEnd());

    const QString next = playlist(6, u"Next"_s);
    openFile(writeFile(u"next.m3u"_s, next.toUtf8()));
    EXPECT_TRUE(radio(TTargetKind::tkU2CRadio)->isChecked());
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown(), convertedText(TTargetKind::tkU2CRadio, next));
    // Re-clicking the target still starts nothing: its text is there already.
    click(radio(TTargetKind::tkU2CRadio));
    EXPECT_EQ(form->convertThread(), nullptr);

    click(radio(TTargetKind::tkM3U8));
    const QString third = playlist(2, u"Third"_s);
    openFile(writeFile(u"third.m3u"_s, third.toUtf8()));
    EXPECT_EQ(form->convertThread(), nullptr);
    EXPECT_EQ(shown(), joined(third));
}

TEST_F(WindowTest, CtrlVPastesAsCtrlCDoes) {
    clipboard().setText(playlist(5));
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(), joined(playlist(5)));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"5 каналов"_s);

    // Like Ctrl+C, it is used up and does nothing while another target is
    // selected, and never reaches the text area.
    click(radio(TTargetKind::tkPLS));
    ASSERT_TRUE(waitForRunEnd());
    const QString converted = shown();
    clipboard().setText(playlist(8));
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(), converted);
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"5 каналов"_s);
}

// The text area shows a text from its start, but putting in the text it
// already shows leaves the reader where they were.
TEST_F(WindowTest, ShowingTheSameTextAgainKeepsTheScrollPosition) {
    pastePlaylist(playlist(500));
    QScrollBar* scroll = memo()->verticalScrollBar();
    scroll->setValue(scroll->maximum() / 2);
    const int middle = scroll->value();
    ASSERT_GT(middle, 0);

    click(radio(TTargetKind::tkM3U8)); // the same playlist text again
    EXPECT_EQ(scroll->value(), middle);
    click(radio(TTargetKind::tkPLS));
    EXPECT_EQ(scroll->value(), 0);
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(scroll->value(), 0);
}

TEST_F(WindowTest, MissingFileShowsTheErrorBoxAndChangesNothing) {
    pastePlaylist(playlist(2));
    const QString missing = QDir::temp().filePath(u"dorvane-no-such-dir/absent.m3u"_s);
    openFile(missing);

    ASSERT_EQ(MessageBox::shown().size(), 1);
    const MessageBox::Shown& box = MessageBox::shown()[0];
    EXPECT_EQ(box.text, u"Cannot open file \"%1\". No such file or directory."_s.arg(missing));
    EXPECT_EQ(box.caption, applicationTitle());
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(shown(), joined(playlist(2)));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"2 канала"_s);

    // The window goes on working.
    click(radio(TTargetKind::tkOpenBox));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(shown(), convertedText(TTargetKind::tkOpenBox, playlist(2)));
}

TEST_F(WindowTest, ClearStopsTheRunAndSelectsM3U) {
    pastePlaylist(playlist(20000));
    click(radio(TTargetKind::tkWizardHD));
    ASSERT_NE(form->convertThread(), nullptr);
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(radio(1)->isChecked());
    EXPECT_EQ(form->convertThread(), nullptr);
    EXPECT_EQ(form->resultList()->Count(), 0);
    EXPECT_EQ(form->sourceList()->Count(), 0);
    EXPECT_EQ(shown(), QString());
    QTest::qWait(50);
    EXPECT_EQ(shown(), QString());
}

TEST_F(WindowTest, DroppingOnePlaylistFileLoadsItAsOpenDoes) {
    const QString path = writeFile(u"dropped.m3u"_s, playlist(7).toUtf8());
    const QUrl file = QUrl::fromLocalFile(path);
    EXPECT_FALSE(acceptsDrop({file, file}));
    EXPECT_FALSE(acceptsDrop({QUrl::fromLocalFile(QDir::tempPath())}));
    // A web link is accepted too (it is downloaded); other schemes are not.
    EXPECT_FALSE(acceptsDrop({QUrl(u"ftp://example.net/list.m3u"_s)}));
    drop({file});
    EXPECT_EQ(shown(), joined(playlist(7)));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"7 каналов"_s);
}

// Every action that replaces the playlist can be taken back, up to ten of
// them, with the choice and the target the playlist had.
TEST_F(WindowTest, UndoBringsBackWhatEachReplacingActionReplaced) {
    EXPECT_FALSE(item("Undo1")->isEnabled());
    openFile(writeFile(u"first.m3u"_s, playlist(3).toUtf8()));
    click(radio(TTargetKind::tkPLS));
    ASSERT_TRUE(waitForRunEnd());
    const QString firstAsPls = shown();

    // Another Open replaces it; Ctrl+Z brings it back, under its target.
    openFile(writeFile(u"second.m3u"_s, playlist(5).toUtf8()));
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"5 каналов"_s);
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(radio(TTargetKind::tkPLS)->isChecked());
    EXPECT_EQ(shown(), firstAsPls);
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"3 канала"_s);

    // Paste (Ctrl+C in the text area, as ever), Clear, and a file without
    // channels are taken back too.
    click(radio(1));
    pastePlaylist(playlist(5));
    QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(shown(), joined(playlist(3)));
    QTest::keyClick(memo(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(form->sourceList()->Count(), 0);
    openFile(writeFile(u"bare.m3u"_s, "no channels here\n"));
    EXPECT_EQ(child<QLabel>(u"sLabel2"_s)->text(), u"Каналы не найдены"_s);
    // The empty file replaced nothing loaded: Undo goes back past Clear.
    QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(shown(), joined(playlist(3)));

    // Twelve pastes: ten steps back, no more.
    for (int k = 1; k <= 12; ++k)
        pastePlaylist(playlist(k));
    for (int k = 0; k < 15; ++k)
        QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(shown(), joined(playlist(2)));
    EXPECT_FALSE(item("Undo1")->isEnabled());
}

// A Windows-1251 list on an English system is read in 1252: the status bar
// says so and what it looks like, and Reopen with Encoding reads it right.
TEST_F(WindowTest, TheStatusBarSaysHowTheListWasReadAndItCanBeReadAgain) {
    const QString text = u"#EXTM3U\r\n#EXTINF:-1,Первый канал Россия новости\r\nhttp://a/1\r\n"
                         u"#EXTINF:-1,Культура и спорт, детский канал, музыка\r\nhttp://a/2\r\n"_s;
    const QString path = writeFile(u"cyrillic.m3u"_s, TEncoding::ansi(1251)->GetBytes(text));
    openFile(path);
    auto* status = child<QLabel>(u"EncodingLabel1"_s);
    EXPECT_EQ(status->text(),
              u"Windows-1252 · Похоже на Windows-1251: File > Reopen with Encoding"_s);
    EXPECT_NE(shown(), joined(text));

    ASSERT_TRUE(child<QMenu>(u"ReopenEncoding1"_s)->isEnabled());
    child<QAction>(u"Reopen Windows-1251"_s)->trigger();
    EXPECT_EQ(shown(), joined(text));
    EXPECT_EQ(status->text(), u"Windows-1251"_s);

    // Undo gives back the first reading; a pasted text has no bytes to read again.
    QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(status->text().startsWith(u"Windows-1252"_s));
    pastePlaylist(playlist(2));
    EXPECT_FALSE(child<QMenu>(u"ReopenEncoding1"_s)->isEnabled());

    openFile(writeFile(u"broken.m3u"_s, playlist(40).toUtf8() + "\xFF\r\n"));
    EXPECT_EQ(status->text(), u"UTF-8 (1 invalid bytes)"_s);
}

// A bouquet carries the name of the playlist: the opened file's name without
// its extension, "Dorvane" for a pasted one.
TEST_F(WindowTest, BouquetIsNamedAfterTheOpenedFile) {
    const QString source = playlist(3);
    const QString path = writeFile(u"russia.m3u"_s, source.toUtf8());
    const auto bouquet = [&] {
        click(radio(TTargetKind::tkEnigma2));
        EXPECT_TRUE(waitForRunEnd());
        const QString text = shown();
        click(radio(1));
        return text.section(u'\n', 0, 0);
    };

    openFile(path);
    EXPECT_EQ(bouquet(), u"#NAME russia"_s);
    pastePlaylist(source);
    EXPECT_EQ(bouquet(), u"#NAME Dorvane"_s);
}

// Alt and a menu's marked letter open it; within each menu the letters
// differ, so that each one reaches its item.
TEST_F(WindowTest, MenusOpenByTheirAccessKeys) {
    auto* file = child<QMenu>(u"N1"_s);
    QTest::keyClick(memo(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 5000));
    QTest::keyClick(file, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !file->isVisible(); }, 5000));

    const QList<QAction*> bar = form->menuBar()->actions();
    for (const QList<QAction*>& items :
         {bar, file->actions(), child<QMenu>(u"PopupMenu1"_s)->actions()}) {
        QSet<QString> keys;
        for (QAction* item : items) {
            if (item->isSeparator())
                continue;
            const QKeySequence key = QKeySequence::mnemonic(item->text());
            SCOPED_TRACE(item->text().toStdString());
            EXPECT_FALSE(key.isEmpty());
            EXPECT_FALSE(keys.contains(key.toString())) << "twice";
            keys.insert(key.toString());
        }
    }
}

TEST_F(WindowTest, LinksOpenTheirPages) {
    QList<QUrl> opened;
    WebLinks::setOpener([&](const QUrl& url) { opened.append(url); });
    click(child(u"sLabel1"_s));
    for (const char* name : {"J1", "N7", "V1"})
        item(name)->trigger();
    WebLinks::setOpener({});
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QLatin1String(WebLinks::kHomePage)),
                                   QUrl(QLatin1String(WebLinks::kProgramPage)),
                                   QUrl(QLatin1String(WebLinks::kDiscussionPage)),
                                   QUrl(QLatin1String(WebLinks::kAnnouncementsPage))}));
}

} // namespace
