#include "ChoosingFixture.h"
#include "InProcessConvert.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>

using namespace dorvane;
using namespace dorvane::testing;

namespace {

// News (two channels), Sport (one by group-title, one by #EXTGRP), and a
// channel without a group.
const QString kPlaylist = QStringLiteral("#EXTM3U\r\n"
                                         "#EXTINF:-1 group-title=\"News\",News One HD\r\n"
                                         "http://a/1\r\n"
                                         "#EXTINF:-1 group-title=\"Sport\",Sport HD\r\n"
                                         "http://a/2\r\n"
                                         "#EXTINF:-1 group-title=\"News\",News Two\r\n"
                                         "http://a/5\r\n"
                                         "#EXTINF:-1,Plain\r\n"
                                         "#EXTGRP:Sport\r\n"
                                         "http://a/3\r\n"
                                         "#EXTINF:-1,Loose\r\n"
                                         "http://a/4\r\n");

QByteArray readAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// dorvane-convert run in this process; its exit status.
int convert(const QStringList& arguments) {
    return runConvertInProcess(
        QStringList{QStringLiteral("dorvane-convert"), QStringLiteral("-q")} + arguments);
}

class RecipeWindow : public ChoosingWindowTest {
protected:
    static void accept(ChannelsDialog& dialog) {
        QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    }

    // The rows in order, channels indented.
    static QStringList rows(ChannelsDialog& dialog) {
        const QAbstractItemModel* model = tree(dialog)->model();
        QStringList text;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex group = model->index(row, 0);
            text << group.data().toString();
            for (int k = 0; k < model->rowCount(group); ++k)
                text << QStringLiteral("  ") + model->index(k, 0, group).data().toString();
        }
        return text;
    }

    // Makes the row shown as `text` the current one, walking the tree with
    // the arrow keys as a user would.
    static void goTo(ChannelsDialog& dialog, const QString& text) {
        QTreeView* view = tree(dialog);
        view->setFocus();
        view->setCurrentIndex(view->model()->index(0, 0));
        for (int step = 0; step < 50; ++step) {
            if (view->currentIndex().data().toString() == text)
                return;
            if (view->model()->rowCount(view->currentIndex()) > 0 &&
                !view->isExpanded(view->currentIndex()))
                QTest::keyClick(view, Qt::Key_Right);
            QTest::keyClick(view, Qt::Key_Down);
        }
        ADD_FAILURE() << "no row " << text.toStdString();
    }

    // F2 on the row, the editor's text replaced by `name`, then `key`
    // (Enter commits, Esc cancels).
    static void rename(ChannelsDialog& dialog, const QString& row, const QString& name,
                       Qt::Key key = Qt::Key_Return) {
        goTo(dialog, row);
        QTreeView* view = tree(dialog);
        QTest::keyClick(view, Qt::Key_F2);
        // The editor open now; those closed before may linger hidden.
        QLineEdit* editor = nullptr;
        for (QLineEdit* open : view->viewport()->findChildren<QLineEdit*>())
            if (open->isVisible())
                editor = open;
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        editor->insert(name); // typed; QTest types ASCII only
        QTest::keyClick(editor, key);
        QCoreApplication::processEvents(); // the editor commits and closes then
    }

    static void move(ChannelsDialog& dialog, const QString& row, Qt::Key key) {
        goTo(dialog, row);
        QTest::keyClick(tree(dialog), key, Qt::ControlModifier);
    }

    // The renames and moves that the tests make: News renamed, Sport moved
    // to the top with Plain first in it, Sport HD renamed.
    static void edit(ChannelsDialog& dialog) {
        rename(dialog, QStringLiteral("News (2)"), QStringLiteral("Новости"));
        rename(dialog, QStringLiteral("Sport HD"), QStringLiteral("Спорт HD"));
        move(dialog, QStringLiteral("Sport (2)"), Qt::Key_Up);
        move(dialog, QStringLiteral("Plain"), Qt::Key_Up);
    }

    // A path in the test's folder, with no file there yet.
    QString filePath(const QString& name) {
        return QFileInfo(writeFile(QStringLiteral("folder"), {})).dir().filePath(name);
    }
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        memo()->setFocus();
        QTest::keyClick(memo(), key, modifiers);
    }
    QLabel* refreshLabel() const { return child<QLabel>(QStringLiteral("RefreshLabel1")); }
};

TEST_F(RecipeWindow, RenamesAndMovesThroughTheDialogKeys) {
    pastePlaylist(kPlaylist);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        edit(dialog);
        // Esc leaves the name as it was; the top row moves no further up,
        // and a channel stays in its group.
        rename(dialog, QStringLiteral("Loose"), QStringLiteral("Gone"), Qt::Key_Escape);
        move(dialog, QStringLiteral("Sport (2)"), Qt::Key_Up);
        move(dialog, QStringLiteral("Plain"), Qt::Key_Up);
        EXPECT_EQ(rows(dialog),
                  QStringList({"Sport (2)", "  Plain", "  Спорт HD", "Новости (2)", "  News One HD",
                               "  News Two", "(без группы) (1)", "  Loose"}));
        accept(dialog);
    }));
    const QString edited =
        joined(QStringLiteral("#EXTM3U\r\n"
                              "#EXTINF:-1,Plain\r\n"
                              "#EXTGRP:Sport\r\n"
                              "http://a/3\r\n"
                              "#EXTINF:-1 group-title=\"Sport\",Спорт HD\r\n"
                              "http://a/2\r\n"
                              "#EXTINF:-1 group-title=\"Новости\",News One HD\r\n"
                              "http://a/1\r\n"
                              "#EXTINF:-1 group-title=\"Новости\",News Two\r\n"
                              "http://a/5\r\n"
                              "#EXTINF:-1,Loose\r\n"
                              "http://a/4\r\n"));
    EXPECT_EQ(shown(), edited);

    // Reopened, the dialog shows the edits; an empty name brings the
    // playlist's back, and the source order the playlist's order.
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        EXPECT_EQ(rows(dialog).first(), "Sport (2)");
        rename(dialog, QStringLiteral("Новости (2)"), QString());
        rename(dialog, QStringLiteral("Спорт HD"), QString());
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("sourceOrder")),
                          Qt::LeftButton);
        accept(dialog);
    }));
    EXPECT_EQ(shown(), joined(kPlaylist));

    // Moves go with the other edits through Undo's memory as the
    // playlist's state: Undo after a new playlist brings them back.
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        edit(dialog);
        accept(dialog);
    }));
    pastePlaylist(QStringLiteral("#EXTM3U\r\n#EXTINF:-1,Other\r\nhttp://b/1\r\n"));
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(shown(), edited);
}

// A drag ends in the model's drop, as the tree hands it on: the row moves
// among the groups, or within its own group, and nowhere else.
TEST_F(RecipeWindow, DraggingMovesARowWithinItsParentOnly) {
    pastePlaylist(kPlaylist);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        QAbstractItemModel* model = tree(dialog)->model();
        const auto drag = [&](const QModelIndex& row, int before, const QModelIndex& parent) {
            std::unique_ptr<QMimeData> mime(model->mimeData({row}));
            EXPECT_FALSE(model->dropMimeData(mime.get(), Qt::MoveAction, before, 0, parent));
        };
        // Loose's group to the top; News One HD below News Two; Sport HD
        // into News, refused.
        drag(model->index(2, 0), 0, {});
        const QModelIndex news = model->index(1, 0);
        const QModelIndex sport = model->index(2, 0);
        drag(model->index(0, 0, news), 2, news);
        std::unique_ptr<QMimeData> mime(model->mimeData({model->index(0, 0, sport)}));
        EXPECT_FALSE(model->canDropMimeData(mime.get(), Qt::MoveAction, 0, 0, news));
        EXPECT_EQ(rows(dialog),
                  QStringList({"(без группы) (1)", "  Loose", "News (2)", "  News Two",
                               "  News One HD", "Sport (2)", "  Sport HD", "  Plain"}));
        accept(dialog);
    }));
    EXPECT_EQ(shown(), joined(QStringLiteral("#EXTM3U\r\n"
                                             "#EXTINF:-1,Loose\r\n"
                                             "http://a/4\r\n"
                                             "#EXTINF:-1 group-title=\"News\",News Two\r\n"
                                             "http://a/5\r\n"
                                             "#EXTINF:-1 group-title=\"News\",News One HD\r\n"
                                             "http://a/1\r\n"
                                             "#EXTINF:-1 group-title=\"Sport\",Sport HD\r\n"
                                             "http://a/2\r\n"
                                             "#EXTINF:-1,Plain\r\n"
                                             "#EXTGRP:Sport\r\n"
                                             "http://a/3\r\n")));
}

TEST_F(RecipeWindow, SortByNameSortsGroupsAndChannels) {
    pastePlaylist(QStringLiteral("#EXTM3U\n"
                                 "#EXTINF:-1 group-title=\"b\",zeta\nhttp://a/1\n"
                                 "#EXTINF:-1 group-title=\"B\",Alpha\nhttp://a/2\n"
                                 "#EXTINF:-1 group-title=\"a\",beta\nhttp://a/3\n"
                                 "#EXTINF:-1 group-title=\"b\",Gamma\nhttp://a/4\n"));
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("sortByName")),
                          Qt::LeftButton);
        // Case-insensitive; names equal but for case keep their order.
        EXPECT_EQ(rows(dialog), QStringList({"a (1)", "  beta", "b (2)", "  Gamma", "  zeta",
                                             "B (1)", "  Alpha"}));
        accept(dialog);
    }));
    EXPECT_EQ(shown(), joined(QStringLiteral("#EXTM3U\n"
                                             "#EXTINF:-1 group-title=\"a\",beta\nhttp://a/3\n"
                                             "#EXTINF:-1 group-title=\"b\",Gamma\nhttp://a/4\n"
                                             "#EXTINF:-1 group-title=\"b\",zeta\nhttp://a/1\n"
                                             "#EXTINF:-1 group-title=\"B\",Alpha\nhttp://a/2\n")));
}

TEST_F(RecipeWindow, SavedRecipeRunByTheConverterGivesTheWindowsSaveByteForByte) {
    const QString source = writeFile(QStringLiteral("list.m3u"), kPlaylist.toUtf8());
    openFile(source);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        edit(dialog);
        goTo(dialog, QStringLiteral("Loose"));
        QTest::keyClick(tree(dialog), Qt::Key_Space); // left out
        accept(dialog);
    }));
    for (const TTargetKind kind : {TTargetKind::tkEnigma2, TTargetKind::tkM3U}) {
        click(radio(kind));
        ASSERT_TRUE(waitForRunEnd());
        const QString name = formatFor(kind).cliName().toString();
        const QString saved =
            filePath(QStringLiteral("window") + formatFor(kind).extension().toString());
        FileDialog::setNextFileName(saved);
        pressKey(Qt::Key_S, Qt::ControlModifier);
        const QString recipe = filePath(name + QStringLiteral(".dorvane"));
        FileDialog::setNextFileName(recipe);
        pressKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(QFile::exists(recipe));
        EXPECT_TRUE(MessageBox::shown().isEmpty());

        const QString converted =
            filePath(QStringLiteral("converted") + formatFor(kind).extension().toString());
        ASSERT_EQ(convert({QStringLiteral("--recipe"), recipe, QStringLiteral("-o"), converted}),
                  0);
        EXPECT_FALSE(readAll(saved).isEmpty());
        EXPECT_EQ(readAll(converted), readAll(saved)) << name.toStdString();
        // The recipe names the file saved: the converter rewrites it alike.
        EXPECT_TRUE(readAll(recipe).contains(QFileInfo(saved).fileName().toUtf8()));
    }
}

TEST_F(RecipeWindow, RefreshReadsTheSourceAgainAndCountsNewAndGoneChannels) {
    const QString source = writeFile(QStringLiteral("list.m3u"), kPlaylist.toUtf8());
    openFile(source);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        rename(dialog, QStringLiteral("News Two"), QStringLiteral("Второй"));
        accept(dialog);
    }));

    // The provider drops Loose, adds a channel to News and a new group,
    // which is left out.
    QString changed = kPlaylist;
    changed.replace(QStringLiteral("#EXTINF:-1,Loose\r\nhttp://a/4\r\n"), QString());
    changed += QStringLiteral("#EXTINF:-1 group-title=\"News\",News Three\r\nhttp://a/6\r\n"
                              "#EXTINF:-1 group-title=\"Kids\",Cartoons\r\nhttp://a/7\r\n");
    writeFile(QStringLiteral("list.m3u"), changed.toUtf8());
    pressKey(Qt::Key_F5);
    EXPECT_TRUE(refreshLabel()->isVisible());
    EXPECT_EQ(refreshLabel()->text(), QStringLiteral("новых: 1, пропало: 1"));
    // The names in a box of their own.
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown().first().details,
              QStringLiteral("Новые каналы:\n  News Three\nПропавшие каналы:\n  Loose\n"));
    MessageBox::clearShown();
    const QString refreshed = shown();
    EXPECT_TRUE(refreshed.contains(u"News Three"));
    EXPECT_TRUE(refreshed.contains(u",Второй"));
    EXPECT_FALSE(refreshed.contains(u"Cartoons"));
    EXPECT_FALSE(refreshed.contains(u"Loose"));

    // A refresh that cannot read, or finds no channel, keeps the playlist;
    // the count is gone with the next action.
    writeFile(QStringLiteral("list.m3u"), "#EXTM3U\n");
    pressKey(Qt::Key_F5);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown().last().text.contains(u"no channels"));
    EXPECT_EQ(shown(), refreshed);
    EXPECT_FALSE(refreshLabel()->isVisible());
    QFile::remove(source);
    pressKey(Qt::Key_F5);
    EXPECT_EQ(MessageBox::shown().size(), 2);
    EXPECT_EQ(shown(), refreshed);

    // Undo brings back the playlist the refresh replaced, with its rename.
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(shown().contains(u",Второй"));
    EXPECT_TRUE(shown().contains(u"Loose"));
}

TEST_F(RecipeWindow, OpenRecipeTakesItsSourceFromItsFolder) {
    writeFile(QStringLiteral("list.m3u"), kPlaylist.toUtf8());
    const QString recipe = writeFile(
        QStringLiteral("evening.dorvane"),
        R"({"dorvane-recipe": 1, "source": {"file": "list.m3u"}, "exclude-groups": ["Sport"],
            "group-names": [{"group": "News", "name": "Новости"}], "target": "m3u8"})");
    // The window's own folder is elsewhere: the path is the recipe's.
    const QString before = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    FileDialog::setNextFileName(recipe);
    item("OpenRecipe1")->trigger();
    QDir::setCurrent(before);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_TRUE(radio(TTargetKind::tkM3U8)->isChecked());
    EXPECT_EQ(shown(), joined(QStringLiteral("#EXTM3U\r\n"
                                             "#EXTINF:-1 group-title=\"Новости\",News One HD\r\n"
                                             "http://a/1\r\n"
                                             "#EXTINF:-1 group-title=\"Новости\",News Two\r\n"
                                             "http://a/5\r\n"
                                             "#EXTINF:-1,Loose\r\n"
                                             "http://a/4\r\n")));

    // The dialog shows the recipe's choice and names.
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        EXPECT_EQ(rows(dialog).first(), "Новости (2)");
        EXPECT_TRUE(dialog.findChild<QCheckBox*>(QStringLiteral("takeNewGroups"))->isChecked());
    }));

    // A recipe that cannot be read says so and changes nothing.
    const QString bad =
        writeFile(QStringLiteral("bad.dorvane"),
                  R"({"dorvane-recipe": 1, "source": {"file": "list.m3u"}, "colour": 1})");
    FileDialog::setNextFileName(bad);
    item("OpenRecipe1")->trigger();
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown().first().text.contains(u"colour"));
    EXPECT_TRUE(shown().contains(u"Новости"));
}

// A recipe's playlist as the provider changes it, refreshed with F5 and
// refreshed again once the change is undone: what is gone for a while
// comes back with its choice, names and place.
const QString kProvided = QStringLiteral("#EXTM3U\n"
                                         "#EXTINF:-1 group-title=\"News\",One\n"
                                         "http://p/live/joe/pw/1.ts\n"
                                         "#EXTINF:-1 group-title=\"News\",Two\n"
                                         "http://p/live/joe/pw/2.ts\n"
                                         "#EXTINF:-1 group-title=\"Sport\",Match\n"
                                         "http://p/live/joe/pw/3.ts\n"
                                         "#EXTINF:-1 group-title=\"Sport\",Goal\n"
                                         "http://p/live/joe/pw/4.ts\n");

// Each channel shown as "group:name", joined by "|".
QString channelsIn(const QString& text) {
    QStringList channels;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r?\n")))) {
        if (!line.startsWith(u"#EXTINF"))
            continue;
        const qsizetype title = line.indexOf(u"group-title=\"");
        const qsizetype end = line.indexOf(u'"', title + 13);
        channels << (title < 0 ? QString() : line.mid(title + 13, end - title - 13)) + u':' +
                        line.mid(line.lastIndexOf(u',') + 1);
    }
    return channels.join(u'|');
}

TEST_F(RecipeWindow, RefreshTwiceBringsBackWhatWasGoneForAWhile) {
    const QString source = writeFile(QStringLiteral("list.m3u"), kProvided.toUtf8());
    const QString recipe = writeFile(QStringLiteral("tv.dorvane"), R"({
        "dorvane-recipe": 1, "source": {"file": "list.m3u"},
        "groups": ["News", "Sport"],
        "channels-off": [{"group": "News", "name": "Two"}],
        "names": [{"channel": {"group": "Sport", "name": "Match"}, "name": "Матч"}],
        "group-names": [{"group": "Sport", "name": "Спорт"}],
        "group-order": ["Sport", "News"],
        "target": "m3u8"})");
    FileDialog::setNextFileName(recipe);
    item("OpenRecipe1")->trigger();
    ASSERT_TRUE(MessageBox::shown().isEmpty());
    const QString all = QStringLiteral("Спорт:Матч|Спорт:Goal|News:One");
    ASSERT_EQ(channelsIn(shown()), all);

    const auto changed = [](const QString& from, const QString& to) {
        QString text = kProvided;
        EXPECT_TRUE(text.contains(from)) << from.toStdString();
        return text.replace(from, to);
    };
    const struct {
        const char* change;
        QString playlist;
        QString channels;
        QString status;
        QStringList named; // in the box's details
    } changes[] = {
        {"a group renamed",
         changed("\"Sport\"", "\"Sports\""),
         "News:One",
         "новых: 0, пропало: 2; нет в списке: групп: 1, каналов: 1",
         {"  Матч\n  Goal\n", "Нет в списке:\n  Sport\n  Match (Sport)\n"}},
        {"a channel renamed",
         changed(",Match\n", ",Match HD\n"),
         "Спорт:Match HD|Спорт:Goal|News:One",
         "новых: 0, пропало: 0; нет в списке: групп: 0, каналов: 1",
         {"  Match (Sport)\n"}},
        {"a channel moved between groups",
         changed("\"Sport\",Goal", "\"News\",Goal"),
         "Спорт:Матч|News:One|News:Goal",
         "новых: 0, пропало: 0",
         {}},
        {"a group gone",
         changed("#EXTINF:-1 group-title=\"Sport\",Match\nhttp://p/live/joe/pw/3.ts\n"
                 "#EXTINF:-1 group-title=\"Sport\",Goal\nhttp://p/live/joe/pw/4.ts\n",
                 {}),
         "News:One",
         "новых: 0, пропало: 2; нет в списке: групп: 1, каналов: 1",
         {"  Sport\n"}},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.change);
        MessageBox::clearShown();
        writeFile(QStringLiteral("list.m3u"), change.playlist.toUtf8());
        pressKey(Qt::Key_F5);
        EXPECT_EQ(channelsIn(shown()), change.channels);
        EXPECT_EQ(refreshLabel()->text(), change.status);
        const QString details =
            MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().details;
        for (const QString& name : change.named)
            EXPECT_TRUE(details.contains(name)) << details.toStdString();

        // And back, refreshed again: all as it was.
        writeFile(QStringLiteral("list.m3u"), kProvided.toUtf8());
        pressKey(Qt::Key_F5);
        EXPECT_EQ(channelsIn(shown()), all);
        ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
            EXPECT_EQ(rows(dialog),
                      QStringList({"Спорт (2)", "  Матч", "  Goal", "News (2)", "  One", "  Two"}));
            // Back, so not gone (the group renamed for a while is).
            const QString gone =
                dialog.findChild<QPushButton*>(QStringLiteral("forgetGone"))->toolTip();
            EXPECT_FALSE(gone.contains(u"  Sport\n") || gone.contains(u"Match"))
                << gone.toStdString();
        }));
    }

    // The provider down: the playlist stays.
    QFile::remove(source);
    MessageBox::clearShown();
    pressKey(Qt::Key_F5);
    EXPECT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(channelsIn(shown()), all);

    // Gone, forgotten in the Channels dialog: not back with its group.
    writeFile(QStringLiteral("list.m3u"), changes[0].playlist.toUtf8());
    pressKey(Qt::Key_F5);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        auto* forget = dialog.findChild<QPushButton*>(QStringLiteral("forgetGone"));
        EXPECT_FALSE(forget->isHidden());
        EXPECT_TRUE(forget->toolTip().contains(u"Sport"));
        QTest::mouseClick(forget, Qt::LeftButton);
        accept(dialog);
    }));
    writeFile(QStringLiteral("list.m3u"), kProvided.toUtf8());
    pressKey(Qt::Key_F5);
    EXPECT_EQ(channelsIn(shown()), QStringLiteral("News:One"));
}

// Save proposes the target's own name; Save Recipe names the file the list
// was saved to, or asks for one; a recipe is named after its playlist and
// always ends in .dorvane.
TEST_F(RecipeWindow, SavesWhatItSays) {
    const QString source = writeFile(QStringLiteral("list.m3u"), kPlaylist.toUtf8());
    openFile(source);
    click(radio(TTargetKind::tkEnigma2));
    ASSERT_TRUE(waitForRunEnd());

    // Not saved yet: where the list goes is asked first.
    const QString first = filePath(QStringLiteral("first"));
    FileDialog::setNextFileName(filePath(QStringLiteral("userbouquet.first")));
    FileDialog::setNextFileName(first);
    pressKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_GE(FileDialog::shown().size(), 2);
    const FileDialog::Shown askedOutput = FileDialog::shown()[FileDialog::shown().size() - 2];
    EXPECT_EQ(QFileInfo(askedOutput.fileName).fileName(), QStringLiteral("userbouquet.dorvane.tv"));
    EXPECT_EQ(QFileInfo(FileDialog::shown().last().fileName).fileName(),
              QStringLiteral("list.dorvane"));
    EXPECT_EQ(FileDialog::shown().last().filter,
              QStringLiteral("Dorvane recipe (*.dorvane)|*.dorvane"));
    EXPECT_TRUE(readAll(first + QStringLiteral(".dorvane"))
                    .contains("\"output\": \"userbouquet.first.tv\""));

    const QString bouquet = filePath(QStringLiteral("userbouquet.news"));
    FileDialog::setNextFileName(bouquet);
    pressKey(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(QFileInfo(FileDialog::shown().last().fileName).fileName(),
              QStringLiteral("userbouquet.dorvane.tv"));
    ASSERT_TRUE(QFile::exists(bouquet + QStringLiteral(".tv")));

    // Saved: the recipe names the file written, extension and all.
    const QString recipe = filePath(QStringLiteral("tv.dorvane"));
    const qsizetype asked = FileDialog::shown().size();
    FileDialog::setNextFileName(recipe);
    pressKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(FileDialog::shown().size(), asked + 1);
    EXPECT_TRUE(readAll(recipe).contains("\"output\": \"userbouquet.news.tv\""));
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

// Two sources whose channels overlap: "Add Source..." joins the second
// file's channels, chosen; the recipe names both, and runs as the window
// shows it; Refresh reads both again.
TEST_F(RecipeWindow, AddSourceJoinsAnotherPlaylist) {
    const QString source = writeFile(QStringLiteral("list.m3u"), kPlaylist.toUtf8());
    const QByteArray free = "#EXTM3U\r\n"
                            "#EXTINF:-1 group-title=\"News\",News One HD\r\nhttp://a/1\r\n"
                            "#EXTINF:-1 group-title=\"Kids\",Toons\r\nhttp://f/2\r\n";
    const QString second = writeFile(QStringLiteral("free.m3u"), free);
    openFile(source);
    ASSERT_TRUE(chooseChannels([](ChannelsDialog& dialog) {
        goTo(dialog, QStringLiteral("Loose"));
        QTest::keyClick(tree(dialog), Qt::Key_Space); // left out
        accept(dialog);
    }));
    FileDialog::setNextFileName(second);
    form->N1Click(); // the File menu opened
    ASSERT_TRUE(item("AddSource1")->isEnabled());
    item("AddSource1")->trigger();
    ASSERT_TRUE(MessageBox::shown().isEmpty()) << MessageBox::shown().first().text.toStdString();
    EXPECT_EQ(channelsIn(shown()), QStringLiteral("News:News One HD|Sport:Sport HD|News:News Two|"
                                                  ":Plain|News:News One HD|Kids:Toons"));

    click(radio(TTargetKind::tkM3U8));
    const QString saved = filePath(QStringLiteral("joined.m3u8"));
    FileDialog::setNextFileName(saved);
    pressKey(Qt::Key_S, Qt::ControlModifier);
    const QString recipe = filePath(QStringLiteral("joined.dorvane"));
    FileDialog::setNextFileName(recipe);
    pressKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    const QByteArray text = readAll(recipe);
    EXPECT_TRUE(text.contains("\"sources\": [\n        {\"file\": \"list.m3u\"},\n"
                              "        {\"file\": \"free.m3u\"}\n    ]"))
        << text.data();
    const QString converted = filePath(QStringLiteral("converted.m3u8"));
    ASSERT_EQ(convert({QStringLiteral("--recipe"), recipe, QStringLiteral("-o"), converted}), 0);
    EXPECT_EQ(readAll(converted), readAll(saved));

    // The second source changes; both are read again, the choice kept.
    writeFile(QStringLiteral("free.m3u"),
              free + "#EXTINF:-1 group-title=\"Kids\",More\r\nhttp://f/3\r\n");
    MessageBox::clearShown();
    pressKey(Qt::Key_F5);
    EXPECT_EQ(channelsIn(shown()), QStringLiteral("News:News One HD|Sport:Sport HD|News:News Two|"
                                                  ":Plain|News:News One HD|Kids:Toons|Kids:More"));
    EXPECT_EQ(refreshLabel()->text(), QStringLiteral("новых: 1, пропало: 0"));

    // Undone, the list as it was before the source was added, and a recipe
    // of one source again.
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(shown().contains(u"Toons"));
    FileDialog::setNextFileName(recipe);
    pressKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(readAll(recipe).contains("free.m3u"));

    // Opened as a recipe: both sources, as saved.
    const QByteArray both = text;
    writeFile(QStringLiteral("joined.dorvane"), both);
    openFile(source);
    FileDialog::setNextFileName(recipe);
    item("OpenRecipe1")->trigger();
    EXPECT_TRUE(shown().contains(u"Kids\",More"));
    EXPECT_FALSE(shown().contains(u"Loose"));
}

// The rows at every depth in order, each level indented.
QStringList treeRows(const QAbstractItemModel* model, const QModelIndex& parent = {},
                     const QString& indent = {}) {
    QStringList text;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex at = model->index(row, 0, parent);
        text << indent + at.data().toString();
        text += treeRows(model, at, indent + QStringLiteral("  "));
    }
    return text;
}

// Two sources: each a top row over its own groups, a group both have under
// both with that source's channels. A choice, a rename and a move under
// each are the recipe's, and come back when it is opened again.
TEST_F(RecipeWindow, ChannelsDialogListsEachSourceAboveItsGroups) {
    const QString source = writeFile(QStringLiteral("list.m3u"), kPlaylist.toUtf8());
    const QString second = writeFile(QStringLiteral("free.m3u"),
                                     "#EXTM3U\r\n"
                                     "#EXTINF:-1 group-title=\"News\",Free News\r\nhttp://f/1\r\n"
                                     "#EXTINF:-1 group-title=\"Kids\",Toons\r\nhttp://f/2\r\n"
                                     "#EXTINF:-1 group-title=\"Kids\",Cartoons\r\nhttp://f/3\r\n");
    openFile(source);
    FileDialog::setNextFileName(second);
    form->N1Click(); // the File menu opened
    item("AddSource1")->trigger();
    ASSERT_TRUE(MessageBox::shown().isEmpty());
    const QStringList edited = {
        "list (5)",     "  Новости (2)", "    News One HD",    "    News Two",  "  Sport (2)",
        "    Спорт HD", "    Plain",     "  (без группы) (1)", "    Loose",     "free (3)",
        "  Дети (2)",   "    Cartoons",  "    Toons",          "  Новости (1)", "    Free News"};
    ASSERT_TRUE(chooseChannels([&](ChannelsDialog& dialog) {
        EXPECT_EQ(treeRows(tree(dialog)->model()),
                  QStringList({"list (5)", "  News (2)", "    News One HD", "    News Two",
                               "  Sport (2)", "    Sport HD", "    Plain", "  (без группы) (1)",
                               "    Loose", "free (3)", "  News (1)", "    Free News", "  Kids (2)",
                               "    Toons", "    Cartoons"}));
        // A source keeps its place; its groups and channels move within it.
        move(dialog, QStringLiteral("free (3)"), Qt::Key_Up);
        move(dialog, QStringLiteral("Kids (2)"), Qt::Key_Up);
        move(dialog, QStringLiteral("Cartoons"), Qt::Key_Up);
        rename(dialog, QStringLiteral("Sport HD"), QStringLiteral("Спорт HD"));
        rename(dialog, QStringLiteral("Kids (2)"), QStringLiteral("Дети"));
        // One group, one name: renamed under the second source, under both.
        rename(dialog, QStringLiteral("News (1)"), QStringLiteral("Новости"));
        goTo(dialog, QStringLiteral("Loose"));
        QTest::keyClick(tree(dialog), Qt::Key_Space);
        goTo(dialog, QStringLiteral("Toons"));
        QTest::keyClick(tree(dialog), Qt::Key_Space);
        EXPECT_EQ(treeRows(tree(dialog)->model()), edited);
        const QAbstractItemModel* model = tree(dialog)->model();
        EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole), Qt::PartiallyChecked);
        EXPECT_EQ(model->index(1, 0).data(Qt::CheckStateRole), Qt::PartiallyChecked);
        EXPECT_EQ(model->index(1, 0, model->index(1, 0)).data(Qt::CheckStateRole), Qt::Checked);
        accept(dialog);
    }));
    EXPECT_EQ(channelsIn(shown()), QStringLiteral("Дети:Cartoons|Новости:News One HD|"
                                                  "Новости:News Two|Новости:Free News|"
                                                  "Sport:Спорт HD|:Plain"));

    click(radio(TTargetKind::tkM3U8));
    const QString saved = filePath(QStringLiteral("joined.m3u8"));
    FileDialog::setNextFileName(saved);
    pressKey(Qt::Key_S, Qt::ControlModifier);
    const QString recipe = filePath(QStringLiteral("joined.dorvane"));
    FileDialog::setNextFileName(recipe);
    pressKey(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    const QString converted = filePath(QStringLiteral("converted.m3u8"));
    ASSERT_EQ(convert({QStringLiteral("--recipe"), recipe, QStringLiteral("-o"), converted}), 0);
    EXPECT_EQ(readAll(converted), readAll(saved));

    // Opened again over another playlist: the same two sources, as edited.
    openFile(second);
    FileDialog::setNextFileName(recipe);
    item("OpenRecipe1")->trigger();
    ASSERT_TRUE(MessageBox::shown().isEmpty());
    ASSERT_TRUE(chooseChannels([&](ChannelsDialog& dialog) {
        EXPECT_EQ(treeRows(tree(dialog)->model()), edited);
        // The shared group has one place among all: moved under the second
        // source before Дети, it goes before Sport, which went before it,
        // under the first.
        move(dialog, QStringLiteral("Sport (2)"), Qt::Key_Up);
        move(dialog, QStringLiteral("Новости (1)"), Qt::Key_Up);
        const QAbstractItemModel* model = tree(dialog)->model();
        EXPECT_EQ(model->index(0, 0, model->index(0, 0)).data().toString(), u"Новости (2)");
        EXPECT_EQ(model->index(1, 0, model->index(0, 0)).data().toString(), u"Sport (2)");
        EXPECT_EQ(model->index(0, 0, model->index(1, 0)).data().toString(), u"Новости (1)");
        // A group is dropped among its own source's groups only.
        std::unique_ptr<QMimeData> mime(model->mimeData({model->index(1, 0, model->index(1, 0))}));
        EXPECT_FALSE(model->canDropMimeData(mime.get(), Qt::MoveAction, 0, 0, model->index(0, 0)));
        EXPECT_TRUE(model->canDropMimeData(mime.get(), Qt::MoveAction, 0, 0, model->index(1, 0)));
        dialog.reject();
    }));
}

} // namespace
