#include "ChoosingFixture.h"
#include "app/GuideDialog.h"

#include <QFileInfo>
#include <QLabel>

using namespace dorvane;
using namespace dorvane::testing;

namespace {

// One by its tvg-id, one by its name, one the guide has nothing for.
const QByteArray kPlaylist = "#EXTM3U\r\n"
                             "#EXTINF:-1 tvg-id=\"one.tv\" group-title=\"News\",First\r\n"
                             "http://a/1\r\n"
                             "#EXTINF:-1 group-title=\"News\",Two HD\r\n"
                             "http://a/2\r\n"
                             "#EXTINF:-1 group-title=\"News\",Nowhere\r\n"
                             "http://a/3\r\n";

const QByteArray kGuide = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<tv generator-info-name=\"test\">\n"
                          "<channel id=\"one.tv\"><display-name>One</display-name></channel>\n"
                          "<channel id=\"two.tv\"><display-name>Two</display-name></channel>\n"
                          "<channel id=\"other.tv\"><display-name>Other</display-name></channel>\n"
                          "<programme start=\"20260101100000 +0000\" stop=\"20260101110000 +0000\" "
                          "channel=\"one.tv\"><title>Morning</title></programme>\n"
                          "<programme start=\"20260101100000 +0000\" stop=\"20260101110000 +0000\" "
                          "channel=\"two.tv\"><title>Match</title></programme>\n"
                          "<programme start=\"20260101100000 +0000\" stop=\"20260101110000 +0000\" "
                          "channel=\"other.tv\"><title>Elsewhere</title></programme>\n"
                          "</tv>\n";

QByteArray readAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

class GuideWindow : public ChoosingWindowTest {
protected:
    static void SetUpTestSuite() {
        ChoosingWindowTest::SetUpTestSuite();
        GuideDialog::setHeadless(true);
    }
    void SetUp() override {
        ChoosingWindowTest::SetUp();
        GuideDialog::clearProposed();
    }

    void addGuide(const QString& guide) {
        GuideDialog::setNextGuide(guide);
        item("Guide1")->trigger();
    }
    void save(const QString& fileName) {
        FileDialog::setNextFileName(fileName);
        memo()->setFocus();
        QTest::keyClick(memo(), Qt::Key_S, Qt::ControlModifier);
    }
    bool waitForCut() {
        return QTest::qWaitFor([&] { return !form->guideCutRunning(); }, 60000);
    }
};

TEST_F(GuideWindow, SavingTheListCutsTheGuideBesideItAndNamesTheUnmatched) {
    openFile(writeFile(QStringLiteral("list.m3u"), kPlaylist));
    const QString guide = writeFile(QStringLiteral("guide.xml"), kGuide);
    addGuide(guide);
    ASSERT_EQ(form->guides(), QStringList{guide});

    const QString saved = QFileInfo(guide).dir().filePath(QStringLiteral("saved.m3u"));
    save(saved);
    ASSERT_TRUE(QFile::exists(saved));
    ASSERT_TRUE(waitForCut());
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    const QByteArray cut = readAll(QFileInfo(saved).dir().filePath(QStringLiteral("saved.xml")));
    EXPECT_TRUE(cut.contains("generator-info-name=\"test\"")) << cut.constData();
    EXPECT_TRUE(cut.contains("Morning"));
    EXPECT_TRUE(cut.contains("Match"));
    EXPECT_FALSE(cut.contains("other.tv"));
    EXPECT_FALSE(cut.contains("Elsewhere"));
    // First's channel comes before Two HD's, as in the list.
    EXPECT_LT(cut.indexOf("\"one.tv\""), cut.indexOf("\"two.tv\""));

    const QString status = child<QLabel>(QStringLiteral("RefreshLabel1"))->text();
    EXPECT_TRUE(status.contains(QStringLiteral("1 из 3"))) << status.toStdString();

    // The guide dialog lists the channel left without a guide.
    item("Guide1")->trigger(); // headless: cancelled
    ASSERT_FALSE(GuideDialog::proposed().isEmpty());
    EXPECT_EQ(GuideDialog::proposed().last(), QStringList{QStringLiteral("Nowhere")});
}

TEST_F(GuideWindow, TheRecipeKeepsTheGuidesAndOpeningItBringsThemBack) {
    const QString list = writeFile(QStringLiteral("list.m3u"), kPlaylist);
    openFile(list);
    const QString guide = writeFile(QStringLiteral("guide.xml"), kGuide);
    addGuide(guide);
    addGuide(guide); // once only
    const QString recipe = QFileInfo(list).dir().filePath(QStringLiteral("list.dorvane"));
    FileDialog::setNextFileName(QFileInfo(list).dir().filePath(QStringLiteral("out.m3u")));
    FileDialog::setNextFileName(recipe);
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(QFile::exists(recipe));
    EXPECT_TRUE(readAll(recipe).contains("guides")) << readAll(recipe).constData();

    newWindow();
    ASSERT_TRUE(form->guides().isEmpty());
    form->openRecipe(recipe);
    EXPECT_EQ(form->guides(), QStringList{guide});
}

TEST_F(GuideWindow, AGuideFileThatIsNotThereIsRefused) {
    addGuide(QStringLiteral("/nonexistent/guide.xml"));
    EXPECT_TRUE(form->guides().isEmpty());
    ASSERT_EQ(MessageBox::shown().size(), 1);
}

} // namespace
