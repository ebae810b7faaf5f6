// Save under the locale named in the environment (registered once for each
// locale of the table): the ANSI code page it brings, and the U2C Radio name
// made of today's date in its short format.
#include "SaveFixture.h"

#include <QDate>
#include <QLocale>

using namespace dorvane;
using namespace dorvane::testing;
using namespace Qt::StringLiterals;

namespace {

struct LocaleCase {
    QString locale;
    // Today's date as the proposed name must show it, with "." for what a
    // file name cannot hold.
    QString dateName;
    QByteArray kanal; // "канал" in the locale's code page
};

const LocaleCase* localeCase() {
    static const LocaleCase cases[] = {
        {u"ru_RU"_s, u"dd.MM.yyyy"_s, QByteArray::fromHex("EAE0EDE0EB")},
        // "M/d/yy": the slashes would turn the name into folders.
        {u"en_US"_s, u"M.d.yy"_s, "?????"},
    };
    for (const LocaleCase& c : cases)
        if (c.locale == QLocale::system().name())
            return &c;
    return nullptr;
}

class SaveLocaleTest : public SaveTest {
protected:
    void SetUp() override {
        SaveTest::SetUp();
        m_case = localeCase();
        ASSERT_NE(m_case, nullptr) << "no case for " << QLocale::system().name().toStdString();
    }
    const LocaleCase* m_case = nullptr;
};

TEST_F(SaveLocaleTest, AnsiIsTheLocalesCodePage) {
    pastePlaylist(u"#EXTM3U\r\n#EXTINF:-1,канал\r\nhttp://a.b/1\r\n"_s);
    child<QCheckBox>(u"sCheckBox1"_s)->setChecked(false);
    const QString file = folder(u"ansi"_s) + u"/list.m3u"_s;
    // Where the code page lacks the letters, saving asks first.
    const bool replaces = m_case->kanal.contains('?');
    if (replaces)
        MessageBox::setNextAnswer(QMessageBox::Yes);
    save(file);
    EXPECT_EQ(bytesOf(file), "#EXTM3U\r\n#EXTINF:-1," + m_case->kanal + "\r\nhttp://a.b/1\r\n");
    EXPECT_EQ(MessageBox::shown().size(), replaces ? 1 : 0);
}

TEST_F(SaveLocaleTest, U2CRadioProposesTodayAsAPlainFileName) {
    pastePlaylist(playlist(3));
    click(radio(TTargetKind::tkU2CRadio));
    ASSERT_TRUE(waitForRunEnd());

    const QDate before = QDate::currentDate();
    save(QString());
    const QDate after = QDate::currentDate();
    ASSERT_EQ(FileDialog::shown().size(), 1);
    const QString proposed = FileDialog::shown()[0].fileName;
    const QStringList today = {before.toString(m_case->dateName) + u".RadioList.txt"_s,
                               after.toString(m_case->dateName) + u".RadioList.txt"_s};
    EXPECT_TRUE(today.contains(proposed)) << proposed.toStdString();

    const QString dir = folder(u"u2c"_s);
    save(dir + u'/' + proposed);
    EXPECT_EQ(filesIn(dir), QStringList{proposed});
}

} // namespace
