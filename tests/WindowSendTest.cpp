// File > Send to Receiver, and the Refresh of a recipe that holds a
// receiver, against an FTP server started here; "One bouquet per group"
// beside the Enigma2 target, which Save writes into a folder.
#include "ReceiverServers.h"
#include "WindowFixture.h"

#include "app/SendDialog.h"

#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>

using namespace dorvane;
using namespace dorvane::testing;

namespace {

const QByteArray kPlaylist = "#EXTM3U\n"
                             "#EXTINF:-1 group-title=\"News\",Daily\nhttp://tv/news/1\n"
                             "#EXTINF:-1 group-title=\"Kids\",Cartoons\nhttp://tv/kids/1\n";

class WindowSend : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SendDialog::setHeadless(true);
        SendDialog::clearProposed();
    }

    // File's items, as opening the menu leaves them, then one of them.
    void trigger(const char* name) {
        for (QMenu* menu : form->findChildren<QMenu*>())
            if (menu->title() == u"&File")
                emit menu->aboutToShow();
        QAction* action = item(name);
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }
};

TEST_F(WindowSend, SendsTheChosenChannelsAndRefreshSendsAgainOnceConfirmed) {
    FtpBox box(QStringLiteral("secret"));
    ASSERT_TRUE(box.running());
    const QByteArray index = "#NAME Mine\n#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET "
                             "\"userbouquet.favourites.tv\" ORDER BY bouquet\n";
    writeTestFile(box.folder() + QStringLiteral("/bouquets.tv"), index);
    openFile(writeFile(QStringLiteral("list.m3u"), kPlaylist));
    ASSERT_TRUE(waitForRunEnd());

    SendAnswer answer;
    QUrl address(box.address());
    address.setUserInfo(QString());
    answer.address = address.toString();
    answer.user = userName();
    answer.password = QStringLiteral("secret");
    answer.perGroup = true;
    answer.reload = false;
    SendDialog::setNextAnswer(answer);
    trigger("SendToReceiver1");
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << MessageBox::shown().value(0).text.toStdString();
    QMap<QString, QByteArray> files = filesIn(box.folder());
    EXPECT_EQ(files.value("bouquets.tv"),
              index + "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvane_news.tv\" "
                      "ORDER BY bouquet\n"
                      "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvane_kids.tv\" "
                      "ORDER BY bouquet\n");
    EXPECT_TRUE(files.value("userbouquet.dorvane_kids.tv").contains("Cartoons"));

    // The recipe keeps the receiver, without the password it was not to keep.
    const QString recipe = writeFile(QStringLiteral("box.dorvane"), {});
    FileDialog::setNextFileName(recipe);
    trigger("SaveRecipe1");
    const QByteArray saved = readFile(recipe);
    EXPECT_TRUE(saved.contains("\"send-to\"")) << saved.constData();
    EXPECT_TRUE(saved.contains("\"per-group\": true")) << saved.constData();
    EXPECT_TRUE(saved.contains("\"slug\": \"kids\"")) << saved.constData();
    EXPECT_FALSE(saved.contains("secret")) << saved.constData();

    // Refresh asks, then sends again: the bouquet taken away is back.
    QFile::remove(box.folder() + QStringLiteral("/userbouquet.dorvane_kids.tv"));
    MessageBox::clearShown();
    MessageBox::setNextAnswer(QMessageBox::Yes);
    trigger("Refresh1");
    ASSERT_FALSE(MessageBox::shown().isEmpty());
    EXPECT_TRUE(MessageBox::shown().first().text.contains(u"Отправить списки на ресивер"));
    EXPECT_TRUE(QFile::exists(box.folder() + QStringLiteral("/userbouquet.dorvane_kids.tv")));

    // Declined: nothing is sent.
    QFile::remove(box.folder() + QStringLiteral("/userbouquet.dorvane_kids.tv"));
    MessageBox::setNextAnswer(QMessageBox::No);
    trigger("Refresh1");
    EXPECT_FALSE(QFile::exists(box.folder() + QStringLiteral("/userbouquet.dorvane_kids.tv")));
}

TEST_F(WindowSend, AFailedSendSaysSoAndKeepsTheIndex) {
    FtpBox box(QStringLiteral("secret"), {QStringLiteral("--full-after"), QStringLiteral("0")});
    ASSERT_TRUE(box.running());
    const QByteArray index = "#NAME Mine\n";
    writeTestFile(box.folder() + QStringLiteral("/bouquets.tv"), index);
    openFile(writeFile(QStringLiteral("list.m3u"), kPlaylist));
    ASSERT_TRUE(waitForRunEnd());
    SendAnswer answer;
    QUrl address(box.address());
    address.setUserInfo(QString());
    answer.address = address.toString();
    answer.user = userName();
    answer.password = QStringLiteral("secret");
    answer.reload = false;
    SendDialog::setNextAnswer(answer);
    trigger("SendToReceiver1");
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown().first().text.contains(u"keeps its old lists"))
        << MessageBox::shown().first().text.toStdString();
    EXPECT_EQ(readFile(box.folder() + QStringLiteral("/bouquets.tv")), index);
}

TEST_F(WindowSend, EscStopsTheSendAndTheReceiverKeepsItsIndex) {
    FtpBox box(QStringLiteral("secret"), {QStringLiteral("--slow"), QStringLiteral("1")});
    ASSERT_TRUE(box.running());
    const QByteArray index = "#NAME Mine\n";
    writeTestFile(box.folder() + QStringLiteral("/bouquets.tv"), index);
    openFile(writeFile(QStringLiteral("list.m3u"), kPlaylist));
    ASSERT_TRUE(waitForRunEnd());
    SendAnswer answer;
    QUrl address(box.address());
    address.setUserInfo(QString());
    answer.address = address.toString();
    answer.user = userName();
    answer.password = QStringLiteral("secret");
    answer.perGroup = true;
    answer.reload = false;
    SendDialog::setNextAnswer(answer);
    // Esc in the progress window while the first bouquet goes.
    QString lines;
    QTimer::singleShot(500, [&] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || window->objectName() != u"SendProgress")
            return;
        lines = window->findChild<QPlainTextEdit*>()->toPlainText();
        QTest::keyClick(window, Qt::Key_Escape);
    });
    trigger("SendToReceiver1");
    EXPECT_TRUE(lines.contains(u"Отправка: userbouquet.dorvane_news.tv")) << lines.toStdString();
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown().first().text.contains(u"Cancelled"))
        << MessageBox::shown().first().text.toStdString();
    EXPECT_EQ(readFile(box.folder() + QStringLiteral("/bouquets.tv")), index);
}

TEST_F(WindowSend, OneBouquetPerGroupBesideTheTargetSavesIntoAFolder) {
    const QByteArray index = "#NAME Mine\r\n#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET "
                             "\"userbouquet.favourites.tv\" ORDER BY bouquet\r\n";
    const QString folder = QFileInfo(writeFile(QStringLiteral("box/bouquets.tv"), index)).path();
    writeFile(QStringLiteral("box/userbouquet.favourites.tv"), "#NAME Favourites\n");
    writeFile(QStringLiteral("box/userbouquet.dorvane_old.tv"), "#NAME Old\n");
    openFile(writeFile(QStringLiteral("list.m3u"), kPlaylist));
    ASSERT_TRUE(waitForRunEnd());

    auto* perGroup = child<QCheckBox>(QStringLiteral("PerGroupCheck1"));
    EXPECT_EQ(perGroup->toolTip(), u"One bouquet per group");
    EXPECT_FALSE(perGroup->isEnabled()) << "M3U is the target";
    click(radio(TTargetKind::tkEnigma2));
    ASSERT_TRUE(waitForRunEnd());
    ASSERT_TRUE(perGroup->isEnabled());
    // After the service type, in the targets' column: neither lies over the
    // text.
    const QRect type = child<QComboBox>(QStringLiteral("Enigma2Type1"))->geometry();
    const QRect text = child<QWidget>(QStringLiteral("sMemo1"))->geometry();
    EXPECT_GT(perGroup->x(), type.right());
    EXPECT_LT(perGroup->geometry().right(), text.x());
    EXPECT_FALSE(type.intersects(text));
    click(perGroup);
    ASSERT_TRUE(perGroup->isChecked());

    // Save asks for a folder and writes the set there: the user's files and
    // index line kept byte for byte, our file no longer written gone.
    FileDialog::clearShown();
    FileDialog::setNextFileName(folder);
    click(child<QPushButton>(QStringLiteral("sButton1")));
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << MessageBox::shown().value(0).text.toStdString();
    ASSERT_EQ(FileDialog::shown().size(), 1);
    EXPECT_EQ(FileDialog::shown().first().mode, FileDialog::Mode::Folder);
    const QMap<QString, QByteArray> files = filesIn(folder);
    EXPECT_EQ(files.keys(),
              (QStringList{"bouquets.tv", "userbouquet.dorvane_kids.tv",
                           "userbouquet.dorvane_news.tv", "userbouquet.favourites.tv"}));
    EXPECT_EQ(files.value("bouquets.tv"),
              index + "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvane_news.tv\" "
                      "ORDER BY bouquet\r\n"
                      "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.dorvane_kids.tv\" "
                      "ORDER BY bouquet\r\n");
    EXPECT_TRUE(files.value("userbouquet.dorvane_kids.tv").startsWith("#NAME Kids\n"));
    EXPECT_EQ(files.value("userbouquet.favourites.tv"), "#NAME Favourites\n");

    // The Send dialog starts from the box.
    trigger("SendToReceiver1"); // cancelled: no answer queued
    ASSERT_FALSE(SendDialog::proposed().isEmpty());
    EXPECT_TRUE(SendDialog::proposed().last().perGroup);

    // Save Recipe keeps it and the folder; Open Recipe ticks it again.
    const QString recipe = writeFile(QStringLiteral("box.dorvane"), {});
    FileDialog::setNextFileName(recipe);
    trigger("SaveRecipe1");
    const QByteArray saved = readFile(recipe);
    EXPECT_TRUE(saved.contains("\"per-group\": true")) << saved.constData();
    EXPECT_TRUE(saved.contains("\"output\": \"box\"")) << saved.constData();
    click(perGroup);
    click(radio(TTargetKind::tkM3U));
    EXPECT_FALSE(perGroup->isChecked());
    EXPECT_FALSE(perGroup->isEnabled());
    FileDialog::setNextFileName(recipe);
    trigger("OpenRecipe1");
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(radio(TTargetKind::tkEnigma2)->isChecked());
    EXPECT_TRUE(perGroup->isChecked());
    EXPECT_TRUE(perGroup->isEnabled());
}

} // namespace
